// SimCycles: clock-cycle figures of the Vireon instructions, as the debug windows show them.
// Four tables of 256 entries (main page, and the pages after 0xCB, 0xDD or 0xFD, and 0xED), the
// special values for block moves and conditional returns, and the prefix extras of `altd`,
// `ioi` and `ioe`: the disassembler's cycle table (compcore's DB_DA), which the CPU core counts
// executed cycles by.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vsim {

using CycleTable = std::array<uint8_t, 256>;

struct CycleTables {
    CycleTable main; // 0 for the prefixes 0xCB 0xDD 0xED 0xFD, 255 for conditional returns
    CycleTable cb;
    CycleTable dd;   // also used after 0xFD
    CycleTable ed;
};

const CycleTables &cycle_tables();

// Special values of `instruction_cycle_value`.
inline constexpr uint8_t kCyclesBlockMove = 100;    // "6+7n": 6 plus 7 per byte moved
inline constexpr uint8_t kCyclesBlockMoveIoi = 101; // "8+6n"
inline constexpr uint8_t kCyclesBlockMoveIoe = 102; // "8+7n"
inline constexpr uint8_t kCyclesCondReturn = 255;   // " 8/2": 8 taken, 2 not taken

// Extra cycles of an `ioi` prefix in front of the instruction whose first four bytes (first
// byte in bits 24-31) are `next4`: 1 for the access patterns that the bus serves at once,
// otherwise 2.
uint32_t ioi_extra_cycles(uint32_t next4);

// The figure for one decoded instruction (prefix included), exactly as the disassembly
// window computes it: a plain count, or one of the special values above. Missing bytes read
// as 0.
uint32_t instruction_cycle_value(std::span<const uint8_t> bytes);

} // namespace vsim
