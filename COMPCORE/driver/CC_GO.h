// CC_GO: the compiler facade, the only door through which the user-interface side starts the
// compiler core: the compile entry, the staged start-up that reads "kxw.cfg" and loads the
// library index, the compiler options and the compile-settings record, the compile mode, and
// the saved state of the BIOS compile that every program compile starts from.
#pragma once

#include "CC_FIOZ8.h"
#include "linker/CC_RELOC.h"
#include "linker/ORIGINS.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// ---- directories and paths ---------------------------------------------------------------------

// Where "kxw.cfg" is looked for, in order: the program directory, the working directory the
// program started in, then the system configuration directories.
void set_compiler_directories(const std::string &program_dir, const std::string &startup_dir,
                              const std::vector<std::string> &system_dirs);
// $XDG_CONFIG_HOME/korvex (or ~/.config/korvex), then /etc/korvex.
std::vector<std::string> default_system_config_dirs();
const std::string &program_directory();
// The program's own directory alone (start-up sets it before the settings are loaded).
void set_program_directory(const std::string &dir);
// The directory of the chosen "kxw.cfg" followed by the file name.
const std::string &config_path();

void set_libraries_file(const std::string &path);
const std::string &libraries_file();
// The BIOS source file that the BIOS compile and the BIOS loader use.
void set_bios_file(const std::string &path);
const std::string &bios_file();
void set_current_source(const std::string &path);
const std::string &current_source();

// ---- compile entry and start-up ----------------------------------------------------------------

// The compile entry: bit 1 (2) of the result means the compile failed.
uint16_t compile_file();
// 0 ready, 1 the library index failed to load.
int16_t start_compiler();
int16_t prepare_compile();
int16_t reinit_compiler();
// Non-zero when the libraries list cannot be opened, or when it or a BIOS library was saved.
int16_t save_edited_bios_libraries();
// Start-up stage: 0 configuration not read, 1 library index still to load, 3 done.
uint8_t start_up_stage();
// Back to stage 0 (tests).
void reset_start_up_stage();

// ---- compiler options --------------------------------------------------------------------------

struct TypeCheckOptions {
    uint16_t prototypes = 0;
    uint16_t pointers = 0;
    uint16_t demotion = 0;
};

// The 15 compiler options, in their positions.
struct CompilerOptions {
    uint16_t warning_level = 2;   // 1: 0 none, 1 serious only, 2 all
    uint16_t rtc_indices = 0;     // 2
    uint16_t rtc_pointers = 0;    // 3
    uint16_t option4 = 0;         // 4: options bit 3
    uint16_t optimize_size = 0;   // 5
    uint16_t lit = 15000;         // 6 "kxw.cfg" lit
    uint16_t mac = 0;             // 7 "kxw.cfg" mac
    uint16_t sym = 4000;          // 8 "kxw.cfg" sym
    // 9 not used
    uint16_t hex_output = 0;      // 10 "kxw.cfg" cchexf
    TypeCheckOptions type_check;  // 11
    uint16_t output_mode = 0;     // 12 "kxw.cfg" romc
    uint8_t separate_id = 0;      // 13
    uint8_t list_files = 0;       // 14
    uint8_t inline_io = 0;        // 15
};

CompilerOptions &compiler_options();

void get_compiler_options(uint16_t *warning_level, uint16_t *rtc_indices, uint16_t *rtc_pointers,
                          uint16_t *option4, uint16_t *optimize_size, uint16_t *lit, uint16_t *mac,
                          uint16_t *sym, void *unused, uint16_t *hex_output,
                          TypeCheckOptions *type_check, uint16_t *output_mode,
                          uint8_t *separate_id, uint8_t *list_files, uint8_t *inline_io);
// No position 12: the output mode is always reset to 0.
void set_compiler_options(uint16_t warning_level, uint16_t rtc_indices, uint16_t rtc_pointers,
                          uint16_t option4, uint16_t optimize_size, uint16_t lit, uint16_t mac,
                          uint16_t sym, uint16_t unused, const uint16_t *hex_output,
                          const TypeCheckOptions *type_check, uint8_t separate_id,
                          uint8_t list_files, uint8_t inline_io);
// The options as the compile-settings record holds them.
std::array<int32_t, 15> compiler_options_array();

// The options word of `compile_program`, packed from the options.
uint16_t pack_compile_options();

// ---- compile mode and compile settings ---------------------------------------------------------

uint8_t set_compile_mode(uint8_t mode);
uint8_t get_compile_mode();
void reset_compile_mode();
void save_compile_settings();
[[nodiscard]] bool compile_settings_changed();

// The upper-cased library names recorded while the BIOS is compiled.
void record_bios_library_name(const std::string &name);
const std::vector<std::string> &bios_library_names();

// ---- saved state of the BIOS compile ------------------------------------------------------------

// State of other units that the cache carries; each unit installs its save and restore.
// `start_fresh` runs in place of `restore` while no BIOS compile has saved anything: the
// program compile then starts from empty tables, not from what the last compile left.
struct BiosStateHooks {
    void (*save)() = nullptr;
    void (*restore)() = nullptr;
    void (*start_fresh)() = nullptr;
};

class BIOSCompileInfoCache {
public:
    void save();
    void restore();
    void set_hooks(const BiosStateHooks &hooks) { hooks_ = hooks; }
    bool saved() const { return saved_; }
    // Back to the start-up state: nothing saved (the next program compile starts fresh).
    void forget()
    {
        saved_ = false;
        origins = OriginTableCopy{};
        labels.clear();
    }

    // The origins the BIOS declared, with their fill points.
    OriginTableCopy origins;
    // The BIOS's global labels: the program compile starts its global scope with them, so that
    // its code and its start-up block reach the BIOS's entry points.
    std::vector<CarriedLabel> labels;
    // Memory-layout values carried into the program compile.
    uint32_t bios_code_end = 0;
    uint16_t program_root_code_start = 0;
    uint16_t program_data_start = 0;

private:
    BiosStateHooks hooks_;
    bool saved_ = false;
};

BIOSCompileInfoCache &bios_compile_info_cache();

// ---- the units joined into one compile -----------------------------------------------------------

// Connects the compiler units to each other: the per-compile resets of the symbol tables, the
// macro table (predefined macros and project defines), the input state, the node pool, the
// assembler and the error state; the BIOS compile-state copies of the global symbols, tags and
// macros; the current origin that qualifies logical addresses; the "%d lines compiled" progress
// line; the open editor's text for expression compiles; the project-define hand-over; the
// assembler's I/O-prefix watch; the source positions of a C statement inside a replayed
// assembly line; and the listing ranges of the emitters, which go to the linker's code-block
// list (`add_list_record`). `start_compiler`, `compile_file` and `compile_program` call
// `ensure_compiler_joins` (once per run); `install_compiler_joins` puts every connection back,
// for a host or a test that replaced one.
void install_compiler_joins();
void ensure_compiler_joins();
