// CC_INIT: the compiler limits from "kxw.cfg", the one-time allocation of the compiler's tables
// from them, and the per-compile resets. The file is read once at the first compiler start-up
// (CC_GO); the tables are allocated right after it and only reset by later compiles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The 24 values of "kxw.cfg", with their defaults. All are 16 bits.
struct CompilerConfig {
    uint16_t error = 1;      // stored only
    uint16_t lit = 15000;    // compiler option 6
    uint16_t mac = 0;        // compiler option 7
    uint16_t sym = 4000;     // compiler option 8; sizes the symbol tables
    uint16_t ustk = 0x800;   // stored only
    uint16_t astk = 0xD0;
    uint16_t heap = 0;
    uint16_t free = 0;
    uint16_t logr = 2;
    uint16_t logx = 0xE;     // the xmem window starts at logx * 4096
    uint16_t logxs = 0x600;  // stored only
    uint16_t logrs = 0xA00;  // stored only
    uint16_t roms = 2;
    uint16_t rome = 0xF;
    uint16_t romx = 0xB;
    uint16_t romg = 0;       // stored only
    uint16_t ramcfg = 1;     // stored only
    uint16_t rams = 0x80;
    uint16_t rame = 0xA0;
    uint16_t ramx = 0xC;     // stored only
    uint16_t ramg = 0;
    uint16_t romc = 0;       // output mode, compiler option 12
    uint16_t cchexf = 0;     // compiler option 10
    uint16_t ccsvrm = 0;
};

CompilerConfig &compiler_config();

// One problem found in "kxw.cfg": the 1-based line and what is wrong with it.
struct ConfigProblem {
    int line;
    std::string text;
};

// Receives every problem as a compiler message; nullptr keeps only the list below.
using ConfigReporter = void (*)(const ConfigProblem &problem);
void set_config_reporter(ConfigReporter reporter);
// The problems of the last read.
const std::vector<ConfigProblem> &config_problems();

// Sets every value to its default, then reads the file when it exists; result 0. Each line sets
// one key ("key = value", blanks around "=" optional); decimal keys take a decimal number, the
// others a hexadecimal one without prefix. A line that is too long, holds binary characters,
// names no key, or carries a value that is not a number or out of the key's range is reported
// (naming the line) and leaves the value as it was. The later of two good lines wins. A path
// that is no ordinary file (a folder, FIFO or device) or is larger than kCompilerConfigMaxBytes
// is not read: one problem at line 0 names it, and the defaults stand.
inline constexpr std::size_t kCompilerConfigMaxBytes = std::size_t(16) << 20;
int ReadCompilerConfig(const std::string &path);

// Longest line accepted (79 characters and the line end).
inline constexpr std::size_t kConfigLineMax = 79;

// ---- tables sized from the limits ---------------------------------------------------------------

struct CompilerTableSizes {
    uint32_t symbol_records = 0;   // S
    uint32_t global_records = 0;   // three quarters of S
    uint32_t local_records = 0;    // the last quarter
    uint32_t global_hash_slots = 0;  // S + S/4
    uint32_t local_hash_slots = 0;   // max(S/4, 128)
    uint32_t recorded_slots = 0;     // S + S/4
    uint32_t name_bytes = 0;         // S * 33
    uint32_t local_names_offset = 0; // three quarters of the name area
    uint32_t prototype_entries = 0;
    uint32_t token_entries = 4096;
    uint32_t line_buffer_bytes = 512;
    uint32_t word_table_words = 256;
    uint32_t scratch_bytes = 400;
};

// The sizes for a "sym" value and a prototype-table size.
CompilerTableSizes compiler_table_sizes(uint16_t sym, uint32_t prototype_entries);

// The function prototype table's size in entries ("Function Prototype Table Size", an IDE
// setting that the settings load sets and its save reads back), used by the first allocation.
inline constexpr uint32_t kDefaultPrototypeTableSize = 8192;
void set_prototype_table_size(uint32_t entries);
uint32_t prototype_table_size();

// Per-compile steps that other units own; each one runs when installed. The compiler facade
// (CC_GO) installs the real ones at the first start-up or compile.
struct CompileResetHooks {
    void (*reset_tables)(bool bios_compile) = nullptr;  // step 2-5 of the full reset
    void (*reset_for_watch)() = nullptr;                // the lighter reset
    void (*teardown)() = nullptr;                       // after a failed watch compile
};
void set_compile_reset_hooks(const CompileResetHooks &hooks);

// Allocates the tables on its first call (the symbol tables through CC_STAB, from "sym") and
// resets the compile state on every call.
void allocate_compiler_tables(bool bios_compile);
// Back to the state before the first allocation, so that the next call sizes the tables from
// the limits again (tests; the IDE sizes them once per run).
void release_compiler_tables();
// Whether the tables exist, and the sizes they were allocated with.
bool compiler_tables_allocated();
const CompilerTableSizes &allocated_table_sizes();
// Number of allocation rounds made (1 after the first call; later calls only reset).
int compiler_table_allocations();

void reset_compile_state();
void teardown_compile();
void reset_numeric_state();
