// CC_Z80START: the program's start-up block and the check of the run-time symbols every program
// needs. The compile sequence measures the block before the compile (its size moves the program's
// root code, and its constants with the two-block layout, past it) and writes it after the
// compile, where the BIOS's last jump leads: the calls of dkStartup, main (or dkInitDebug and
// premain for a program compiled for debugging) and __xexit, the heap set-up, then the program
// information record, 0xFFFF and the build time stamp.
//
// The measured size is the largest the block can take: the steps that depend on symbols the
// compile has not defined yet (the heap steps) are counted, and a written block that leaves one
// out is padded with "nop" up to the measured length, so that the program's code behind the
// block and the record's place (where a BIOS put "prog_param") never move.
#pragma once

#include "core/CC_ADDR.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// What the compile driver's memory layout gives the block.
struct StartUpLayout {
    ADDR24 start = kDummyAddress;          // where the block goes: the program's start
    bool two_blocks = false;               // record, 0xFFFF and time stamp in a block of their own
    ADDR24 second_start = kDummyAddress;   // ... at this address
    bool debug = false;                    // the program is compiled for debugging
    uint16_t heap = 0;                     // "heap" of "kxw.cfg"
    uint16_t heap_low = 0, heap_high = 0;  // the heap's bounds
    uint16_t rams = 0, logr = 0;           // "rams" and "logr" of "kxw.cfg"
    // The Z180's steps: the interrupt-vector base, memory option bit 0, the memory-map word,
    // the stack top, and whether the two vector addresses differ ("vrst30" gets its jump).
    uint16_t vector_base = 0;
    // The vector flag of `link_required_symbols` starts the interrupt-vector register at 0
    // instead, unless the driver keeps the base, or the byte of the program information record
    // at `ram_difference_byte` (when named) holds the "rams" - "logr" difference of this layout:
    // the program was made for the RAM it runs in.
    bool keep_vector_base = false;
    std::optional<size_t> ram_difference_byte;
    bool memory_option_bit0 = false;
    uint16_t map_word = 0;
    uint16_t stack_top = 0xDFFF;
    bool vectors_differ = false;
    // The write-permission table (one byte per 256-byte page, 1 where writes are allowed):
    // pages from the data area's far end up to the stack's page, and a second range.
    bool page_map = false;
    ADDR24 page_map_address = kDummyAddress;
    uint16_t data_far_end = 0, stack_page_end = 0;
    uint16_t second_range_first = 0, second_range_last = 0;
    bool second_range = false;
    std::array<uint8_t, 96> program_info{};  // the compile driver's program information record
};
void set_start_up_layout(const StartUpLayout &layout);
const StartUpLayout &start_up_layout();

// The block's size without writing it (no symbol is looked up): the code part's length; the
// second block's length goes to `second_size` (0 without the two-block layout).
uint16_t measure_start_up_block(uint16_t *second_size);

// Checks the run-time symbols and writes the block (and the page map) to the target image; tells
// the image builder where the CRC goes (the 0xFFFF word) and what it leaves out (the time stamp).
// `vector_flag`: the Z180's interrupt-vector register starts at 0. False (with the messages
// recorded, line and column 0) when a symbol is missing or misplaced; nothing is sent then.
[[nodiscard]] bool link_required_symbols(int vector_flag);

// The names the block calls are asm labels as often as C functions; the compile notes their
// addresses before its label scope closes, and the block reads them afterwards.
void note_required_symbols();

// The routines the block will call (by the layout last set: dkInitDebug only when debugging) and
// premain are wanted as global labels, so that a library that defines one brings its module into
// the program. premain comes with every program that has it in a library, also one the block
// calls main in, so that the map's call graph starts there; wanted and never defined, it is
// reported only when the block calls it. The program's own main is not among them.
void want_start_up_routines();

// The block's size as last measured (0 before the first measure): the code generator's root code.
uint16_t start_up_block_size();

// The build time stamp for a moment (seconds since 1970, UTC): the local time in seconds since
// 1 January 1980.
uint32_t start_up_time_stamp(int64_t utc_seconds);

// Start of a compile: forgets the noted symbols and the image's CRC fields that the last block
// told the image builder.
void reset_start_up_state();
