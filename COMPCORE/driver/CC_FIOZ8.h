// CC_FIOZ8: the compile sequence (`compile_and_load`, `compile_program`) and the path of
// generated code into the target: `outasm` hands each generated assembly line to the
// assembly-line parser, whose bytes reach the current emit cache through `emit_code_byte`.
// Owns the static emit-cache objects and the program-wide cache pointers.
#pragma once

#include "linker/EMITCACHE.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

// ---- assembly lines and bytes ----------------------------------------------------------------

// Assembles one generated line (printf-style). A line longer than 1023 characters, or a call
// made while another line is being assembled, is a fatal compiler error.
void outasm(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Emits one byte through the current code cache. Before the byte that completes an I/O-prefixed
// read-modify-write sequence, a processor below revision 3 gets a 0 byte (a no-operation) first.
void emit_code_byte(uint8_t b);

// Reserves n zero bytes in the root-variable cache (second false) or the cache named by the data
// pointer (second true); returns the cache's address plus 1 (the lowest address of the block
// for a falling cache).
uint32_t emit_zero_bytes(uint32_t n, bool second);

// Overwrite emitted code: one byte, or a word low byte first (the second byte at the address
// that the address arithmetic gives for the first plus 1).
void patch_code_byte(uint32_t addr, uint8_t b);
void patch_code_word(uint32_t addr, uint16_t w);

uint32_t download_block_size();  // 128

// The "bin" output used while compiling to a file. With the BIOS in the image it opens as
// `pad_sectors` sectors of erased flash (0xFF), which the blocks then overwrite.
[[nodiscard]] bool open_bin_output(const std::string &source_path, uint32_t pad_sectors);
void write_bin_block(uint32_t count, uint32_t file_offset, const uint8_t *bytes);
void close_bin_output();  // drops the file as it stands (clean-up after a failure)
// Flushes and closes the file; false (with a message naming it) when any write went wrong.
[[nodiscard]] bool finish_bin_output();

// True while a generated line is being assembled.
bool generated_line_active();
// The xmem code cache's address after the last generated line.
uint32_t last_generated_address();

// I/O-prefix watch of the assembler (true when the byte completes an I/O-prefixed sequence) and
// the board's processor revision; the two decide the no-operation of `emit_code_byte`.
void set_io_prefix_watch(bool (*watch)(uint8_t b));
void set_processor_revision(int revision);

// The code generator's options byte. Bit 0x20: the first flag of the one-line assembly; bit
// 0x10: "^" on 16 bits calls its routine.
void set_codegen_options_byte(uint8_t options);
uint8_t codegen_options_byte();

// ---- the cache objects and the program-wide cache pointers -------------------------------------

// One set of static caches. The live set is used by every compile; the saved set holds the
// BIOS compile's copies.
struct EmitCacheSet {
    RootCache root_code;
    XmemCache xmem_code;
    WatchCache watch_code;
    ConstantCache constants;
    VariableCache root_variables{4};
    VariableCache kind6_variables{6};
    VariableCache second_variables{4};
};

NullCache &null_cache();
EmitCacheSet &live_caches();
EmitCacheSet &saved_caches();

// The program-wide pointers (never null).
EmitCache &root_code_cache();
EmitCache &xmem_code_cache();
EmitCache &watch_code_cache();
EmitCache &constant_cache();
EmitCache &root_variable_cache();
EmitCache &kind6_variable_cache();
EmitCache &data_cache();              // the data pointer
EmitCache &constants_in_code_cache(); // root code unless instruction and data are separate
EmitCache &current_code_cache();      // the one `emit_code_byte` uses
void set_current_code_cache(EmitCache &cache);
// The xmem code cache the parser selects: the live one, or the cache of a "debug" or "nodebug"
// xmem code origin (the start of every compile points it at the live one again).
void set_xmem_code_cache(EmitCache &cache);
// Two optional extra code caches installed by the declaration parser (index 0 or 1); nullptr
// removes one. The origin options "debug" and "nodebug" install theirs as 0 and 1.
void set_extra_code_cache(int which, EmitCache *cache);
EmitCache *extra_code_cache(int which);
// The battery-backed variable cache: the root variable cache until an origin is marked
// "batterybacked".
EmitCache &battery_backed_cache();
void set_battery_backed_cache(EmitCache &cache);
// "#rconorg": constants in code go to the constant cache from now on.
void make_constant_cache_the_constant_target();
// Flushes the root code cache, the xmem code cache and the constant target, in that order.
void flush_emit_caches();

// Points every program-wide pointer at the live set. With `separate_id` the constant cache
// serves constants in code; without it the root code cache does.
void point_caches_at_live_set(bool separate_id);
// "Separate Instruction and Data" and the watch-compile state that the patch routine consults.
void set_separate_instruction_data(bool on);
bool separate_instruction_data();
void set_watch_code_generation(bool watch_compile, bool generating_watch_code);
bool watch_code_generation();  // a watch expression is being compiled

// ---- the compile sequence ----------------------------------------------------------------------

// Compile status word: bit 1 (2) the compile failed, bit 0 (1) messages were recorded.
uint16_t compile_and_load(const std::string &source_path);
// The main source of the compile under way (or of the last one); set before the compile's
// set-up, so the map file can be named after it.
const std::string &compile_source_path();
// The folder a compile writes its own files into (object, image and its "hex" twin, map,
// listing, breakpoint dump), each named after its source; empty (the default) is the source's
// own folder. A tool that must leave nothing beside the source but what it was asked for sets
// it; the source itself and the names it uses are still read from where they are.
void set_output_folder(const std::string &folder);
const std::string &output_folder();
// The path the outputs of the compile of `source_path` are named from (extension replaced).
std::string output_base_path(const std::string &source_path);
// The same for the compile under way (or the last one).
std::string compile_output_path();

// The compile proper. Returns 0 after a fatal-error overflow, else the function count plus 1;
// a watch compile (options bit 0) returns what its line was (`watch_expression_result`).
int16_t compile_program(uint32_t root_code_start, uint32_t data_start, uint32_t constant_start,
                        uint32_t second_data_start, uint32_t linker_a, uint32_t linker_b,
                        uint16_t options);

// Output flags byte (0x31 at the start of every compile): 0x01 the layout's memory words come
// from the configuration, 0x10 the object trace file is written, 0x20 the code goes to the
// target. The download writer and the image builder read it.
uint8_t output_flags();
void set_output_flags(uint8_t flags);

// The memory words of the layout, set from the configuration's ROM and RAM keys by every compile
// that is not a watch compile (output flags bit 0x01); read by the code generator, the directive
// dispatcher and the xdata allocator. Addresses are physical (20 bits); pages are 4096 bytes.
struct MemoryWords {
    uint16_t data_segment = 0;     // "ramg"
    uint32_t xmem_code_base = 0;   // ("roms" + "romx") pages
    uint32_t code_limit = 0;       // "rome" pages
    uint32_t ram_base = 0;         // ("rams" + "logx" - "logr") pages
    uint32_t xmem_data_bound = 0;  // "rame" pages
};
const MemoryWords &memory_words();

// The jump-fixup stack: tables of the jumps still to be patched (the opcode and the code
// position of each), keyed by a 16-bit label number. A compile pushes an empty table when the
// stack is empty and pops it when it ends; the code generator records and resolves its jumps in
// the table on top.
struct JumpFixup {
    uint8_t opcode = 0;
    uint32_t site = 0;  // address word of the jump
};
using JumpFixupTable = std::multimap<uint16_t, JumpFixup>;
// The table on top, nullptr while the stack is empty.
JumpFixupTable *jump_fixups();
std::size_t jump_fixup_depth();
// Pushes an empty table when the stack is empty, and pops what it pushed when it ends, whichever
// way (a compile holds one; so does work outside a compile that records jumps).
struct JumpFixupScope {
    bool pushed = false;
    JumpFixupScope();
    ~JumpFixupScope();
    JumpFixupScope(const JumpFixupScope &) = delete;
    JumpFixupScope &operator=(const JumpFixupScope &) = delete;
};
// A table of one's own on top while it lives (an assignment's, while its right side is
// compiled), popped when it ends, whichever way.
struct JumpFixupLevel {
    JumpFixupLevel();
    ~JumpFixupLevel();
    JumpFixupLevel(const JumpFixupLevel &) = delete;
    JumpFixupLevel &operator=(const JumpFixupLevel &) = delete;
};

// Where the start-up block keeps the program information record and the build time stamp,
// counted from the block's start. The run-time symbol placement of the code generator hands
// them over when it measures the block; a BIOS compile places "prog_param" and "kx_timestamp"
// there, behind the constants in code.
struct StartUpRecordOffsets {
    uint16_t program_info = 0;
    uint16_t time_stamp = 0;
};
void set_start_up_record_offsets(std::optional<StartUpRecordOffsets> offsets);

// The IDE's output mode stored by the compile entry: 0 flash, 1 RAM, 2 flash then run in RAM.
void set_download_mode(uint8_t mode);
uint8_t download_mode();

// End of the BIOS's root code; a program compile starts its root code there.
uint32_t bios_root_code_end();
void set_bios_root_code_end(uint32_t addr);

// Conditions of the compile set outside the sequence. The sequence clears the BIOS marker at
// the start of every compile; the code generator sets it for a BIOS compile (and the
// "CompileBIOS" pragma through it).
struct CompileConditions {
    bool to_file = false;      // the compile-to-file flag of the compile-and-load sequence
    uint8_t bios_marker = 0;   // the compiler's BIOS marker
    bool erase = false;        // erase-before-write flag of the board
    bool one_piece = false;    // "TCP all in one"
    bool bios_present = true;  // the BIOS-included flag: the BIOS is part of the image
    // The BIOS compile keeps its image in memory, for the program compiles that include it.
    bool bios_kept_in_memory = false;
    // The board's flash takes whole sectors (the flash information file's write mode is not 2):
    // its images begin at physical 0.
    bool flash_info = false;
};
CompileConditions &compile_conditions();

// The processor the compile is for, 0 to 5: Z180, F80 (the Vireon family, the default), I8086,
// I80186, I80286, I80386. The compile selects the code generator's CPU by it and a BIOS compile
// names it in "TARGETCPU"; the board and processor definitions may set it.
void set_processor_selector(int selector);
int processor_selector();

// Memory summary filled after a compile for the debugger and the map.
struct MemorySummary {
    uint32_t stack_origin = 0xD000;
    uint32_t stack_top = 0xDFFF;
    uint32_t root_code_start = 0;
    uint32_t root_code_end = 0;
    uint32_t root_code_end_page = 0;       // root code end rounded up to a 256-byte page
    uint32_t root_code_end_page_last = 0;  // that page minus 1
    uint32_t xmem_code_start = 0;
    uint32_t watch_first = 0;
    uint32_t watch_last = 0;
    uint32_t kind2_low = 0;
    uint32_t kind2_high = 0;
    uint32_t highest_code = 0;
    uint32_t kind7_low = 0;
    uint32_t kind7_high = 0;
    uint32_t data_position = 0;   // the data cache's address
    uint32_t xdata_position = 0;  // the second data cache's address
    uint32_t entry_point = 0;
    uint32_t compile_time_stamp = 0xFFFFFFFFu;
};
const MemorySummary &memory_summary();

// The source path with its extension replaced ("brk", "bdl", "bin", ...).
std::string path_with_extension(const std::string &source_path, const char *extension);
