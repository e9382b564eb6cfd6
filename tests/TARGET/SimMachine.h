// A small machine for the simulator tests: a board whose data segment (logical 0x8000-0xCFFF)
// and stack segment (0xD000-0xDFFF) lie in RAM, code loaded into flash at logical 0x0000,
// and helpers to run it.
#pragma once

#include "SimBoard.h"
#include "SimCpu.h"

#include <cstdint>
#include <vector>

namespace simtest {

// Logical 0x8000 -> physical 0x80000 (RAM start); logical 0xD000 -> physical 0x8D000.
inline constexpr uint8_t kSegSize = 0xD8;
inline constexpr uint8_t kDataSeg = 0x78;
inline constexpr uint8_t kStackSeg = 0x80;
inline constexpr uint16_t kData = 0x8100; // a RAM address for operands
inline constexpr uint32_t kDataPhysical = 0x80100;

struct Machine {
    vsim::SimBoard board;
    vsim::CpuState s;
    uint16_t code_end = 0;

    explicit Machine(vsim::CpuModel model = vsim::CpuModel::r2000)
    {
        vsim::cpu_reset(s, model);
        board.io_write(vsim::IoSpace::internal, vsim::kPortSegSize, kSegSize);
        board.io_write(vsim::IoSpace::internal, vsim::kPortDataSeg, kDataSeg);
        board.io_write(vsim::IoSpace::internal, vsim::kPortStackSeg, kStackSeg);
        s.sp = 0xE000;
    }

    // Code at a root logical address (root = physical below the data segment).
    void code(const std::vector<uint8_t> &bytes, uint16_t at = 0)
    {
        bool ok = board.load(at, bytes);
        (void)ok;
        s.pc = at;
        code_end = uint16_t(at + bytes.size());
    }
    void poke_logical(uint16_t logical, const std::vector<uint8_t> &bytes)
    {
        for (size_t i = 0; i < bytes.size(); ++i) {
            bool ok = board.poke(board.to_physical(uint16_t(logical + i), s.xpc), bytes[i]);
            (void)ok;
        }
    }
    uint8_t peek_logical(uint16_t logical) { return board.peek(board.to_physical(logical, s.xpc)); }

    // Steps one instruction to its end: a repeating one takes a step per iteration. Returns the
    // cycles of all of them.
    uint32_t finish_instruction()
    {
        uint32_t cycles = vsim::cpu_step(s, board);
        while (s.repeating && s.fault == vsim::CpuFault::none)
            cycles += vsim::cpu_step(s, board);
        return cycles;
    }

    // Runs until PC reaches the end of the code (or a limit).
    vsim::RunResult run(uint64_t limit = 100000)
    {
        return vsim::cpu_run(s, board, limit, {vsim::Breakpoint{code_end, -1}});
    }
};

} // namespace simtest
