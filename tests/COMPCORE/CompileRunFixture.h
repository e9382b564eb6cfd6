// The shared compile-and-run fixture: compile a source through the real compile entry
// (`compile_file`), load what the compile sent toward the target into the board stand-in, run
// it, and read registers and memory. Every compiler test that can run what it compiles uses it;
// extend it here rather than writing another.
//
// What is real: the compile entry and sequence, the source input and preprocessor, the
// whole-program parse with its directives and function chains, the "#asm" block reader and the
// inline assembler, the emit caches, the origin table and the label tables. The origins of the layout below are
// declared (as a BIOS declares them) at the start of every parse whose origin table is empty: a
// BIOS compile, or a program compile without a BIOS state; a program compiled after a BIOS
// compile takes the BIOS's origins. A test's own origin directives add to them.
// What stands in (until each unit lands):
//   - the linker: `ImageLinker` serves the library index (over the libraries list, which lists
//     a default header, "default.h", and any library the test writes) and the map file from
//     their units, serves origins and labels from theirs (recording the calls), sends every
//     byte through the real download writer into the object trace file, builds the real
//     download image from it, lays the bytes of that image's records into a 1 MB physical image
//     (0xFF elsewhere, kept across the compiles of one test), and records the other calls;
//   - the code generator's units not built yet: `FixtureCodegen` records every call and hands
//     what the code generator serves (CPU selection, cache sets, BIOS switches, code addresses,
//     its per-compile reset) on to it; the rest answers from the headless double;
//   - declarations: `RecordingDeclarations` takes each line left to the declaration parser and
//     records it (or, with `refuse`, parses nothing there, which is reported as garbage);
//   - the target: the shared headless target double, whose board reports the board stand-in's
//     flash id and processor (the targetless settings give that processor too); our
//     "Flash.ini" (TARGET/) lies in the program directory.
//
// Memory layout (logical address, physical address):
//   root code      0x0000-0x5FFF   0x00000     kRootCode
//   constants      0x6000-0x6FFF   0x06000     kConstants
//   root variables 0x9000-0xBFFF   0x81000     kVariables (falling from 0xBFFF)
//   stack          0xD000-0xDFFF   0x8D000
//   xmem code      xpc 2, 0xE000   0x10000     kXmemCode (0x8000 bytes)
//
// A test:
//   TEST_F(CompileRun, Something) {
//       ASSERT_EQ(compile("#asm\n ld hl,0x1234\n#endasm\n"), 0) << messages_text();
//       run(kRootCode);
//       EXPECT_TRUE(reg("HL", 0x1234));
//   }
#pragma once

#include <gtest/gtest.h>

#include "FrameDoubles.h"

#include "core/CC_ADDR.h"
#include "input/CC_GLINE.h"
#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_DECL.h"
#include "core/SEAM_PARSER.h"
#include "linker/ORIGINS.h"
#include "HostDoubles.h"
#include "SeamDoubles.h"
#include "SimBoard.h"
#include "SimCpu.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace compile_run {

inline constexpr uint16_t kRootCode = 0x0000;
inline constexpr uint32_t kRootCodeSize = 0x6000;
inline constexpr uint16_t kConstants = 0x6000;
inline constexpr uint32_t kConstantsSize = 0x1000;
inline constexpr uint16_t kVariables = 0xBFFF;
inline constexpr uint32_t kVariablesSize = 0x3000;
inline constexpr ADDR24 kXmemCode = make_addr(2, 0xE000);
inline constexpr uint32_t kXmemCodeSize = 0x8000;
// The processor id the board stand-in reports for its 2000.
inline constexpr uint16_t kStandInCpuId = 0x0003;

// The linker stand-in: the real library index over the libraries list and the real map file
// (each call also recorded), origins and labels from their units, the real download writer,
// image builder and code-block map; what the built images hold in a 1 MB physical image (0xFF
// where nothing was built), and every byte sent by address word.
class ImageLinker : public RecordingLinker {
public:
    std::vector<uint8_t> image = std::vector<uint8_t>(1u << 20, 0xFF);
    std::map<uint32_t, uint8_t> sent;

    void create_library_index() override;
    int load_library_index(const std::string &dir, bool register_modules) override;
    void lib_index_register_all() override;
    void lib_index_unmark_all() override;
    void lib_index_reset() override;
    void set_library_index_bios_owned(bool bios_owned) override;
    std::vector<std::string> library_files() override;
    int ask_save_edited_library(const std::string &path) override;
    int lib_save_if_edited(const std::string &path) override;
    void init_map_file() override;
    void write_map_file() override;
    void mapfile_add_symbol(const symbol &record) override;
    void ui_send_block(uint32_t count, uint32_t addr, const uint8_t *bytes) override;
    int open_object_file(const std::string &path, bool from_file) override;
    void close_object_file(bool from_file) override;
    int build_rom_image(const std::string &path, const std::string &obj, const std::string &hex,
                        const std::string &img, uint32_t *low_sector) override;
    void write_list_file(const std::string &path, uint32_t image_start) override;
    void clear_list_records() override;
    void add_list_record(ListTable table, uint32_t start, uint32_t end, int kind) override;
    uint32_t count_flash_sectors() override;
    bool flash_sector_marked(uint32_t physical, uint32_t block_size) override;
    void clear_flash_sector_map() override;
    bool write_bin_hex_files(const std::string &path, uint32_t bin_base) override;
    bool write_hex_end(std::FILE *bin, std::FILE *hex) override;
    bool pad_bin_file(std::FILE *bin, uint32_t first_sector, uint32_t last_sector) override;
    void origins_clear() override;
    void resolve_origins() override;
    uint32_t origins_lowest_address(uint8_t kind) override;
    uint32_t origins_highest_address(uint8_t kind) override;
    uint32_t origins_highest_code_address() override;
    bool check_origin_range(uint32_t addr) override;
    void init_label_tables() override;
    void reset_labels(int bits) override;
    void define_label(const std::string &name, uint32_t addr, int scope) override;
    std::optional<uint32_t> global_label_address(const std::string &name) override;
};

// Adds an origin to the program's origin table as its directive would (unbound; `follower` is
// the index of the origin that follows it, or -1); its index.
int32_t add_origin(const char *name, uint8_t kind, ADDR24 start, uint32_t size, EmitCache &cache,
                   int32_t follower = -1);

// Records every call (the headless double) and passes what the code generator serves on to it;
// with `start_up` also the start-up block (measured, checked and written by the code generator).
class FixtureCodegen : public HeadlessCodegen {
public:
    bool start_up = false;
    uint16_t root_code_size() const override;
    bool link_required_symbols(int mode) override;
    uint16_t measure_start_up_block(uint16_t *second_size) override;
    void note_required_symbols() override;
    void want_start_up_routines() override;
    uint16_t select_target_cpu(uint16_t word, uint8_t cpu_id) override;
    uint8_t cpu_flag() const override;
    void set_bios_compile(uint8_t *bios_marker) override;
    void set_program_compile(uint8_t *program_flag) override;
    void select_cache_set(int program_flag) override;
    void set_code_address(uint32_t address_word) override;
    uint32_t xmem_cache_address() const override;
    void reset_compile_state() override;
};

// Every run here: the physical image loaded into the board, data (from 0x8000) and the stack
// (0xD000-0xDFFF) mapped to RAM.
void prepare_board(vsim::SimBoard &board, const std::vector<uint8_t> &image);

// Each line left to the declaration parser is recorded (text, line, file, the current
// declaration flag word) and consumed, after `on_line` has seen it; with `refuse` nothing is
// parsed.
class RecordingDeclarations : public DeclarationSeam {
public:
    struct Line {
        std::string text;
        int line;
        std::string file;
        uint32_t flags;
    };
    std::vector<Line> lines;
    bool refuse = false;
    std::function<void(const std::string &text)> on_line;
    bool parse_external_declaration() override;
    std::vector<std::string> texts() const;
};

// The top-level parser behind the block reader, with the test origins bound at the start of
// each parse whose origin table is empty: the layout above, or with `layout` the test's own
// xmem code origins (it adds and selects them; root code, constants and variables stay as
// above); with `declare_layout` off, none.
class OriginBindingParser : public ParserSeam {
public:
    std::function<void(OriginContainer &)> layout;
    bool declare_layout = true;
    void parse_asm_block(int, int, int) override {}
    void parse_program() override;
    void web_reset() override { real().web_reset(); }
    void reset_declaration_defaults() override { real().reset_declaration_defaults(); }
    int function_count() const override { return 0; }
    LexerInputPointers save_input() override { return real().save_input(); }
    void point_input_at(const char *text) override { real().point_input_at(text); }
    void restore_input(const LexerInputPointers &saved) override { real().restore_input(saved); }
    void error_here(const char *text) override { real().error_here(text); }
    void fatal_here(const char *text) override { real().fatal_here(text); }

private:
    static ParserSeam &real();
};

// One recorded message: its kind, line, summary (without the "ERROR name : " prefix) and file.
struct Message {
    int16_t kind;
    int line;
    std::string summary;
    std::string file;
};
std::vector<Message> messages();
std::string messages_text();  // one line per message: "line: summary"

}  // namespace compile_run

class CompileRun : public ::testing::Test {
protected:
    compile_run::ImageLinker linker;
    compile_run::FixtureCodegen codegen;
    compile_run::RecordingDeclarations declarations;
    compile_run::OriginBindingParser parser;
    std::filesystem::path dir, saved_cwd;
    std::string source;  // prog/main.c

    vsim::SimBoard board;
    vsim::CpuState cpu;
    vsim::RunResult last_run;

    void SetUp() override;
    void TearDown() override;

    // Writes a file relative to the temporary folder.
    void write(const std::string &name, const std::string &text);
    std::string path(const std::string &name) const;
    // Adds a library to the libraries list (written under lib/).
    void add_library(const std::string &name, const std::string &text);

    // Writes the program as prog/main.c and compiles it; the compile status word.
    uint16_t compile(const std::string &program);
    // The same as a BIOS compile.
    uint16_t compile_bios(const std::string &program);

    // Bytes laid into the board's memory (logical addresses, XPC 0) after the image, before
    // every run: the values a test gives its variables.
    std::map<uint16_t, uint8_t> preset;

    // Loads the captured image into the board, resets the CPU (Vireon 3000 instruction set) and
    // runs from `start` (with XPC `xpc`) until `stop` (default: the end of the root code the
    // compile left) or until the instruction budget is spent.
    vsim::RunResult run(uint16_t start, uint64_t budget = 100000,
                        std::optional<vsim::Breakpoint> stop = std::nullopt, uint8_t xpc = 0);

    // "HL: 0x1234 (expected 0x1235)". Names: A B C D E H L F AF BC DE HL IX IY SP PC XPC.
    ::testing::AssertionResult reg(const std::string &name, uint32_t expected) const;
    // Bytes at a logical address as the running CPU sees it (its XPC).
    ::testing::AssertionResult memory(uint16_t logical, const std::vector<uint8_t> &expected);
    // Bytes the compile sent to an address word (0xFF where nothing was sent).
    std::vector<uint8_t> sent_at(ADDR24 from, std::size_t n) const;
    uint8_t physical(uint32_t address) const { return board.peek(address); }

private:
    std::vector<std::string> m_libraries;
    void write_library_list();
};
