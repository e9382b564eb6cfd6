// Simulator behaviour beyond single ALU forms: block moves, calls and returns across pages,
// alternate destinations, the XPC window and the segment registers, I/O prefixes, physical
// loads, undefined opcodes and cycle counts. Programs are hand-encoded bytes.
#include "SimCycles.h"
#include "SimMachine.h"

#include <gtest/gtest.h>

using namespace vsim;
using namespace simtest;

namespace {

// ---- block moves ------------------------------------------------------------------------------

TEST(BlockMove, LdirCopiesUpwardAndCounts6Plus7PerByte)
{
    Machine m;
    m.code({0xED, 0xB0}); // ldir
    m.poke_logical(kData, {1, 2, 3, 4, 5});
    m.s.set_hl(kData);
    m.s.set_de(kData + 0x100);
    m.s.set_bc(5);
    m.s.main[rF] = kFlagV;
    uint32_t cycles = m.finish_instruction();
    for (uint16_t i = 0; i < 5; ++i)
        EXPECT_EQ(m.peek_logical(kData + 0x100 + i), i + 1) << i;
    EXPECT_EQ(m.peek_logical(kData + 0x105), 0);
    EXPECT_EQ(m.s.hl(), kData + 5);
    EXPECT_EQ(m.s.de(), kData + 0x105);
    EXPECT_EQ(m.s.bc(), 0);
    EXPECT_EQ(m.s.main[rF] & kFlagV, 0);
    EXPECT_EQ(cycles, 6u + 7u * 5u);
    EXPECT_EQ(m.s.pc, 2);
}

TEST(BlockMove, LddrMovesAnOverlappingBlockUp)
{
    // Moving 1..5 one byte up must go from the top down so nothing is overwritten early.
    Machine m;
    m.code({0xED, 0xB8}); // lddr
    m.poke_logical(kData, {1, 2, 3, 4, 5, 0});
    m.s.set_hl(kData + 4);
    m.s.set_de(kData + 5);
    m.s.set_bc(5);
    m.finish_instruction();
    const uint8_t expected[] = {1, 1, 2, 3, 4, 5};
    for (uint16_t i = 0; i < 6; ++i)
        EXPECT_EQ(m.peek_logical(kData + i), expected[i]) << i;
    EXPECT_EQ(m.s.hl(), kData - 1);
    EXPECT_EQ(m.s.de(), kData);
}

TEST(BlockMove, LdiMovesOneByteAndReportsRemainingCount)
{
    Machine m;
    m.code({0xED, 0xA0, 0xED, 0xA0}); // ldi ; ldi
    m.poke_logical(kData, {0xAA, 0xBB});
    m.s.set_hl(kData);
    m.s.set_de(kData + 0x10);
    m.s.set_bc(2);
    EXPECT_EQ(cpu_step(m.s, m.board), 10u);
    EXPECT_EQ(m.s.bc(), 1);
    EXPECT_NE(m.s.main[rF] & kFlagV, 0) << "bytes remain";
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.main[rF] & kFlagV, 0) << "count reached 0";
    EXPECT_EQ(m.peek_logical(kData + 0x10), 0xAA);
    EXPECT_EQ(m.peek_logical(kData + 0x11), 0xBB);
}

TEST(BlockMove, IoPrefixMovesBetweenIoRegistersWithItsCycles)
{
    // ioe ldir: both sides in external I/O space; memory stays as it was.
    Machine m;
    m.code({0xDB, 0xED, 0xB0});
    for (uint16_t i = 0; i < 3; ++i)
        m.board.io_write(IoSpace::external, uint16_t(kData + i), uint8_t(0x10 + i));
    m.s.set_hl(kData);
    m.s.set_de(kData + 0x20);
    m.s.set_bc(3);
    uint32_t cycles = m.finish_instruction();
    for (uint16_t i = 0; i < 3; ++i)
        EXPECT_EQ(m.board.io_read(IoSpace::external, uint16_t(kData + 0x20 + i)), 0x10 + i);
    EXPECT_EQ(m.peek_logical(kData + 0x20), 0);
    EXPECT_EQ(cycles, 8u + 7u * 3u);

    Machine n;
    n.code({0xD3, 0xED, 0xB0}); // ioi ldir
    n.s.set_bc(3);
    EXPECT_EQ(n.finish_instruction(), 8u + 6u * 3u);
}

TEST(BlockMove, R3000FixedSideMoves)
{
    // ldisr: the destination stays (an I/O data register under ioi), the source steps up.
    Machine m(CpuModel::r3000);
    m.code({0xD3, 0xED, 0x90});
    m.poke_logical(kData, {7, 8, 9});
    m.s.set_hl(kData);
    m.s.set_de(0x0040);
    m.s.set_bc(3);
    m.finish_instruction();
    EXPECT_EQ(m.board.io_read(IoSpace::internal, 0x40), 9) << "last byte written";
    EXPECT_EQ(m.s.hl(), kData + 3);
    EXPECT_EQ(m.s.de(), 0x0040);
    EXPECT_EQ(m.s.bc(), 0);

    // lsidr: the source stays, the destination steps up.
    Machine n(CpuModel::r3000);
    n.code({0xED, 0xD0});
    n.poke_logical(kData, {5});
    n.s.set_hl(kData);
    n.s.set_de(kData + 0x10);
    n.s.set_bc(2);
    n.finish_instruction();
    EXPECT_EQ(n.peek_logical(kData + 0x10), 5);
    EXPECT_EQ(n.peek_logical(kData + 0x11), 5);
    EXPECT_EQ(n.s.hl(), kData);
    EXPECT_EQ(n.s.de(), kData + 0x12);
}

TEST(R3000, MultiplyAccumulateOverBytes)
{
    // uma over two bytes: result[i] = x[i] + y[i] * DE + carry, carry in DE'.
    Machine m(CpuModel::r3000);
    m.code({0xED, 0xC0});
    m.poke_logical(kData, {0x10, 0x00});        // x at ix
    m.poke_logical(kData + 0x10, {0x80, 0x01}); // y at iy
    m.s.ix = kData;
    m.s.iy = kData + 0x10;
    m.s.set_hl(kData + 0x20);
    m.s.set_de(0x0003);
    m.s.set_bc(2);
    m.finish_instruction();
    // byte 0: 0x10 + 0x80 * 3 = 0x190 -> 0x90, carry 1; byte 1: 0 + 1 * 3 + 1 = 4
    EXPECT_EQ(m.peek_logical(kData + 0x20), 0x90);
    EXPECT_EQ(m.peek_logical(kData + 0x21), 0x04);
    EXPECT_EQ(m.s.de2(), 0);
    EXPECT_EQ(m.s.bc(), 0);
    EXPECT_EQ(m.s.ix, kData + 2);
}

// A repeating instruction does one iteration per step and stays at its address (prefixes
// included) until BC is 0; the first step carries the base cycles, so the whole move costs
// what the disassembly window shows.
struct RepeatCase {
    const char *name;
    CpuModel model;
    std::vector<uint8_t> code;
    uint16_t count;
    uint32_t first_step, later_step;  // cycles
};

const RepeatCase kRepeats[] = {
    {"ldir", CpuModel::r2000, {0xED, 0xB0}, 3, 6 + 7, 7},
    {"lddr", CpuModel::r2000, {0xED, 0xB8}, 3, 6 + 7, 7},
    {"ioi_ldir", CpuModel::r2000, {0xD3, 0xED, 0xB0}, 3, 8 + 6, 6},
    {"ioe_ldir", CpuModel::r2000, {0xDB, 0xED, 0xB0}, 3, 8 + 7, 7},
    {"altd_ldir", CpuModel::r2000, {0x76, 0xED, 0xB0}, 2, 8 + 7, 7},
    {"lsir", CpuModel::r3000, {0xED, 0xF0}, 4, 6 + 6, 6},
    {"ldisr", CpuModel::r3000, {0xED, 0x90}, 2, 6 + 6, 6},
    {"lsddr", CpuModel::r3000, {0xED, 0xD8}, 2, 6 + 6, 6},
    {"uma", CpuModel::r3000, {0xED, 0xC0}, 3, 6 + 8, 8},
    {"ums", CpuModel::r3000, {0xED, 0xC8}, 2, 6 + 8, 8},
};

class Repeating : public ::testing::TestWithParam<RepeatCase> {};

TEST_P(Repeating, OneIterationPerStepAtItsOwnAddress)
{
    const RepeatCase &c = GetParam();
    Machine m(c.model);
    m.code(c.code, 0x0100);
    m.s.set_hl(kData);
    m.s.set_de(kData + 0x40);
    m.s.ix = kData + 0x80;
    m.s.iy = kData + 0xC0;
    m.s.set_bc(c.count);
    uint64_t total = 0;
    for (uint16_t i = 1; i <= c.count; ++i) {
        const uint32_t cycles = cpu_step(m.s, m.board);
        total += cycles;
        EXPECT_EQ(cycles, i == 1 ? c.first_step : c.later_step) << "step " << i;
        EXPECT_EQ(m.s.bc(), c.count - i) << "step " << i;
        EXPECT_EQ(m.s.pc, i < c.count ? 0x0100 : m.code_end) << "step " << i;
        EXPECT_EQ(m.s.instructions, i);
    }
    EXPECT_FALSE(m.s.repeating);
    EXPECT_EQ(total, c.first_step + uint64_t(c.count - 1) * c.later_step);
    EXPECT_EQ(m.s.cycles, total);
}

INSTANTIATE_TEST_SUITE_P(All, Repeating, ::testing::ValuesIn(kRepeats),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(BlockMove, StepBudgetBoundsALongMove)
{
    // BC = 0 moves 65536 bytes; ten steps move ten of them and leave the ldir to go on.
    Machine m;
    m.code({0xED, 0xB0, 0x18, 0xFC}); // ldir ; jr -4
    m.s.set_hl(kData);
    m.s.set_de(kData + 0x1000);
    m.s.set_bc(0);
    const RunResult run = cpu_run(m.s, m.board, 10);
    EXPECT_EQ(run.instructions, 10u);
    EXPECT_EQ(run.cycles, 6u + 7u * 10u);
    EXPECT_EQ(m.s.bc(), 0x10000 - 10);
    EXPECT_EQ(m.s.hl(), kData + 10);
    EXPECT_EQ(m.s.pc, 0);
    EXPECT_NE(m.s.main[rF] & kFlagV, 0) << "bytes remain";
}

TEST(BlockMove, MoveStartedAfreshAfterItEndsOrWhenPcMoves)
{
    Machine m;
    m.code({0xED, 0xB0, 0x00}); // ldir ; nop
    m.s.set_bc(2);
    EXPECT_EQ(m.finish_instruction(), 6u + 7u * 2u);
    m.s.pc = 0;
    m.s.set_bc(2);
    EXPECT_EQ(cpu_step(m.s, m.board), 6u + 7u) << "a new move pays its base again";
    EXPECT_TRUE(m.s.repeating);
    m.s.pc = 2; // the debugger moved the program on
    EXPECT_EQ(cpu_step(m.s, m.board), 2u) << "nop";
    EXPECT_FALSE(m.s.repeating);
    m.s.pc = 0;
    EXPECT_EQ(cpu_step(m.s, m.board), 6u + 7u) << "back at the ldir: a fresh start";
}

TEST(BlockMove, BreakpointOnTheMoveStopsBeforeItNotInsideIt)
{
    Machine m;
    m.code({0x00, 0xED, 0xB0, 0x00}); // nop ; ldir ; nop
    m.poke_logical(kData, {1, 2, 3});
    m.s.set_hl(kData);
    m.s.set_de(kData + 0x10);
    m.s.set_bc(3);
    const std::vector<Breakpoint> at_ldir = {Breakpoint{1, -1}, Breakpoint{m.code_end, -1}};
    RunResult run = cpu_run(m.s, m.board, 100, at_ldir);
    EXPECT_EQ(run.reason, StopReason::breakpoint);
    EXPECT_EQ(m.s.pc, 1);
    EXPECT_EQ(m.s.bc(), 3);
    run = cpu_run(m.s, m.board, 100, at_ldir);
    EXPECT_EQ(run.reason, StopReason::breakpoint);
    EXPECT_EQ(m.s.bc(), 0) << "the move finished before the run stopped";
    EXPECT_EQ(run.instructions, 4u) << "three iterations and the nop";
    EXPECT_EQ(m.peek_logical(kData + 0x12), 3);
}

TEST(R3000, UserModeStack)
{
    Machine m(CpuModel::r3000);
    m.code({0xED, 0x6F, 0xED, 0x7F, 0xED, 0x7D, 0xED, 0x7F}); // setusr rdmode sures rdmode
    cpu_step(m.s, m.board);
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.main[rF] & kFlagC, kFlagC) << "user mode";
    cpu_step(m.s, m.board);
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.main[rF] & kFlagC, 0) << "back to system mode";
}

// ---- calls, returns, jumps ----------------------------------------------------------------------

TEST(Flow, LcallAndLretAcrossPages)
{
    Machine m;
    // root 0x0000: lcall 0x04:0xE345 ; ld b,a     xmem physical 0x12345: ld a,0x42 ; lret
    m.code({0xCF, 0x45, 0xE3, 0x04, 0x47});
    ASSERT_TRUE(m.board.load(0x12345, std::vector<uint8_t>{0x3E, 0x42, 0xED, 0x45}));
    m.s.xpc = 0x07;
    m.s.sp = 0xDFF0;

    EXPECT_EQ(cpu_step(m.s, m.board), 19u);
    EXPECT_EQ(m.s.xpc, 0x04);
    EXPECT_EQ(m.s.pc, 0xE345);
    EXPECT_EQ(m.s.sp, 0xDFED) << "return address and XPC pushed";
    EXPECT_EQ(m.peek_logical(0xDFED), 0x04) << "return address low";
    EXPECT_EQ(m.peek_logical(0xDFEE), 0x00) << "return address high";
    EXPECT_EQ(m.peek_logical(0xDFEF), 0x07) << "caller's XPC";

    RunResult r = m.run();
    EXPECT_EQ(r.reason, StopReason::breakpoint);
    EXPECT_EQ(m.s.main[rB], 0x42) << "the xmem function ran and returned";
    EXPECT_EQ(m.s.xpc, 0x07);
    EXPECT_EQ(m.s.sp, 0xDFF0);
}

TEST(Flow, LjpLoadsXpcAndPc)
{
    Machine m;
    m.code({0xC7, 0x00, 0xE0, 0x21}); // ljp 0x21:0xE000
    ASSERT_TRUE(m.board.load(0x21000 + 0xE000, std::vector<uint8_t>{0x3E, 0x99}));
    EXPECT_EQ(cpu_step(m.s, m.board), 10u);
    EXPECT_EQ(m.s.xpc, 0x21);
    EXPECT_EQ(m.s.pc, 0xE000);
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.main[rA], 0x99);
}

TEST(Flow, CallRetPushPop)
{
    Machine m;
    // 0: ld hl,0x1234 ; push hl ; call 0x0010 ; pop de ; (end)   0x10: ld a,5 ; ret
    m.code({0x21, 0x34, 0x12, 0xE5, 0xCD, 0x10, 0x00, 0xD1});
    ASSERT_TRUE(m.board.load(0x10, std::vector<uint8_t>{0x3E, 0x05, 0xC9}));
    m.s.sp = 0xDFF0;
    RunResult r = m.run();
    EXPECT_EQ(r.reason, StopReason::breakpoint);
    EXPECT_EQ(r.instructions, 6u);
    EXPECT_EQ(r.cycles, 6u + 10u + 12u + 4u + 8u + 7u);
    EXPECT_EQ(m.s.main[rA], 5);
    EXPECT_EQ(m.s.de(), 0x1234);
    EXPECT_EQ(m.s.sp, 0xDFF0);
}

TEST(Flow, DjnzLoop)
{
    Machine m;
    // ld b,5 ; xor a ; loop: add a,b ; djnz loop
    m.code({0x06, 0x05, 0xAF, 0x80, 0x10, 0xFD});
    m.run();
    EXPECT_EQ(m.s.main[rA], 15);
    EXPECT_EQ(m.s.main[rB], 0);
}

TEST(Flow, AltdDjnzCountsInTheAlternateB)
{
    Machine m;
    // altd djnz +2 ; nop ; nop  -- B' = B - 1 = 4, not 0: jumps over the two nops
    m.code({0x76, 0x10, 0x02, 0x00, 0x00});
    m.s.main[rB] = 5;
    m.s.alt[rB] = 0x20;
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.alt[rB], 4);
    EXPECT_EQ(m.s.main[rB], 5) << "main B untouched";
    EXPECT_EQ(m.s.pc, 5);
    // B = 1: B' becomes 0 and the jump is not taken
    m.code({0x76, 0x10, 0x02, 0x00, 0x00});
    m.s.main[rB] = 1;
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.alt[rB], 0);
    EXPECT_EQ(m.s.main[rB], 1);
    EXPECT_EQ(m.s.pc, 3);
}

TEST(Flow, RstGoesThroughTheInternalVectorTable)
{
    Machine m;
    // ld a,0x10 ; ld iir,a ; rst 0x28
    m.code({0x3E, 0x10, 0xED, 0x4F, 0xEF});
    m.s.sp = 0xDFF0;
    cpu_step(m.s, m.board);
    cpu_step(m.s, m.board);
    EXPECT_EQ(cpu_step(m.s, m.board), 8u);
    EXPECT_EQ(m.s.pc, 0x1050);
    EXPECT_EQ(m.s.sp, 0xDFEE);
    EXPECT_EQ(m.peek_logical(0xDFEE), 0x05) << "return address";
}

TEST(Flow, InterruptPriorityStack)
{
    Machine m;
    // ipset 1 ; push ip ; ipset 3 ; ipres ; pop ip
    m.code({0xED, 0x56, 0xED, 0x76, 0xED, 0x5E, 0xED, 0x5D, 0xED, 0x7E});
    m.s.sp = 0xDFF0;
    EXPECT_EQ(m.s.ip, 0xFF);
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.ip, 0xFD);
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.peek_logical(0xDFEF), 0xFD);
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.ip, 0xF7);
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.ip, 0xFD) << "ipres pops one level";
    m.s.ip = 0;
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.ip, 0xFD);
    EXPECT_EQ(m.s.sp, 0xDFF0);
}

TEST(Flow, RetiPopsPriorityThenAddress)
{
    Machine m;
    m.code({0xED, 0x4D});
    m.s.sp = 0xDFF0;
    m.poke_logical(0xDFF0, {0x03, 0x78, 0x56});
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.ip, 0x03);
    EXPECT_EQ(m.s.pc, 0x5678);
    EXPECT_EQ(m.s.sp, 0xDFF3);
}

// ---- alternate registers ----------------------------------------------------------------------

TEST(Altd, DestinationsGoToTheAlternateSet)
{
    Machine m;
    m.code({
        0x76, 0x16, 0x11,       // altd ld d,0x11
        0x76, 0xCB, 0x23,       // altd sla e         E' = E << 1
        0x76, 0x80,             // altd add a,b       A' = A + B, F' gets the flags
        0x76, 0x21, 0x34, 0x12, // altd ld hl,0x1234
        0x76, 0xC1,             // altd pop bc
        0x76, 0x2A, 0x00, 0x81, // altd ld hl,(0x8100)
    });
    m.s.main[rA] = 0xF0;
    m.s.main[rB] = 0x10;
    m.s.main[rE] = 0x81;
    m.s.main[rF] = 0x00;
    m.s.sp = 0xDFF0;
    m.poke_logical(0xDFF0, {0xCD, 0xAB});
    m.poke_logical(kData, {0x22, 0x11});
    RunResult r = m.run();
    ASSERT_EQ(r.reason, StopReason::breakpoint);
    EXPECT_EQ(m.s.alt[rD], 0x11);
    EXPECT_EQ(m.s.main[rD], 0x00);
    EXPECT_EQ(m.s.alt[rE], 0x02);
    EXPECT_EQ(m.s.main[rE], 0x81);
    EXPECT_EQ(m.s.main[rA], 0xF0) << "main A untouched";
    EXPECT_EQ(m.s.alt[rA], 0x00) << "A' = 0xF0 + 0x10";
    EXPECT_EQ(m.s.alt[rF], 0x41) << "F': Z and C of the add";
    EXPECT_EQ(m.s.main[rF], 0x00) << "main F untouched";
    EXPECT_EQ(m.s.hl2(), 0x1122);
    EXPECT_EQ(m.s.hl(), 0x0000);
    EXPECT_EQ(m.s.bc2(), 0xABCD);
    EXPECT_EQ(m.s.main[rB], 0x10);
    EXPECT_EQ(r.cycles, (4u + 2) + (4u + 2) + (2u + 2) + (6u + 2) + (7u + 2) + (11u + 2));
}

TEST(Altd, ExchangesWithTheAlternateSet)
{
    Machine m;
    m.code({
        0xEB,       // ex de,hl          DE <-> HL
        0x76, 0xEB, // ex de,hl'         DE <-> HL'
        0xE3,       // ex de',hl         DE' <-> HL
        0xED, 0x41, // ld bc',de
        0x08,       // ex af,af'
    });
    m.s.set_de(0x1111);
    m.s.set_hl(0x2222);
    m.s.set_af(0x3344);
    m.s.alt[rH] = 0x55;
    m.s.alt[rL] = 0x55;
    m.s.alt[rD] = 0x66;
    m.s.alt[rE] = 0x66;
    m.run();
    // after ex de,hl: DE 2222 HL 1111; after ex de,hl': DE 5555 HL' 2222;
    // after ex de',hl: DE' 1111 HL 6666
    EXPECT_EQ(m.s.de(), 0x5555);
    EXPECT_EQ(m.s.hl2(), 0x2222);
    EXPECT_EQ(m.s.de2(), 0x1111);
    EXPECT_EQ(m.s.hl(), 0x6666);
    EXPECT_EQ(m.s.bc2(), 0x5555);
    EXPECT_EQ(m.s.af2(), 0x3344);
    EXPECT_EQ(m.s.af(), 0x0000);
}

TEST(Altd, ExxSwapsThreePairs)
{
    Machine m;
    m.code({0xD9});
    m.s.set_bc(1);
    m.s.set_de(2);
    m.s.set_hl(3);
    m.s.set_af(4);
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.bc2(), 1);
    EXPECT_EQ(m.s.de2(), 2);
    EXPECT_EQ(m.s.hl2(), 3);
    EXPECT_EQ(m.s.af(), 4) << "af is not part of exx";
    EXPECT_EQ(m.s.bc() | m.s.de() | m.s.hl(), 0);
}

// ---- memory: XPC window, segments, flash, ldp --------------------------------------------------

TEST(Memory, XpcWindowReadsTheRightPhysicalByte)
{
    Machine m;
    ASSERT_TRUE(m.board.poke(0x12345, 0xA5));
    ASSERT_TRUE(m.board.poke(0x13345, 0x5A));
    // ld a,0x04 ; ld xpc,a ; ld a,(0xE345) ; ld b,a ; ld a,0x05 ; ld xpc,a ; ld a,(0xE345) ;
    // ld c,a ; ld a,xpc
    m.code({0x3E, 0x04, 0xED, 0x67, 0x3A, 0x45, 0xE3, 0x47, 0x3E, 0x05, 0xED, 0x67, 0x3A,
            0x45, 0xE3, 0x4F, 0xED, 0x77});
    m.run();
    EXPECT_EQ(m.s.main[rB], 0xA5);
    EXPECT_EQ(m.s.main[rC], 0x5A);
    EXPECT_EQ(m.s.main[rA], 0x05);
    EXPECT_EQ(m.s.xpc, 0x05);
}

TEST(Memory, WindowWrapsAtTheTopOfThePhysicalSpace)
{
    SimBoard board;
    EXPECT_EQ(board.to_physical(0xE000, 0xF2), 0x00000u);
    EXPECT_EQ(board.to_physical(0xFFFF, 0x72), 0x81FFFu);
}

struct MapCase {
    const char *name;
    uint8_t segsize, dataseg, stackseg;
    uint16_t logical;
    uint8_t xpc;
    uint32_t physical;
};
// Test output names the case, not its bytes.
void PrintTo(const MapCase &c, std::ostream *os) { *os << c.name; }
const MapCase kMapCases[] = {
    {"reset_root_low", 0xFF, 0x00, 0x00, 0x1234, 0x00, 0x01234},
    {"reset_root_below_window", 0xFF, 0x00, 0x00, 0xDFFF, 0x33, 0x0DFFF},
    {"window_uses_xpc", 0xFF, 0x00, 0x00, 0xE000, 0x72, 0x80000},
    {"root_below_data_segment", 0xD8, 0x78, 0x80, 0x7FFF, 0x00, 0x07FFF},
    {"data_segment_start", 0xD8, 0x78, 0x80, 0x8000, 0x00, 0x80000},
    {"data_segment_end", 0xD8, 0x78, 0x80, 0xCFFF, 0x00, 0x84FFF},
    {"stack_segment", 0xD8, 0x78, 0x80, 0xD010, 0x00, 0x8D010},
    {"no_data_segment", 0x66, 0x00, 0x7A, 0x6000, 0x00, 0x80000},
    {"below_equal_boundaries_is_root", 0x66, 0x00, 0x7A, 0x5FFF, 0x00, 0x05FFF},
};

class SegmentMap : public ::testing::TestWithParam<MapCase> {};

TEST_P(SegmentMap, LogicalToPhysical)
{
    const MapCase &c = GetParam();
    SimBoard board;
    board.io_write(IoSpace::internal, kPortSegSize, c.segsize);
    board.io_write(IoSpace::internal, kPortDataSeg, c.dataseg);
    board.io_write(IoSpace::internal, kPortStackSeg, c.stackseg);
    EXPECT_EQ(board.to_physical(c.logical, c.xpc), c.physical);
}

INSTANTIATE_TEST_SUITE_P(All, SegmentMap, ::testing::ValuesIn(kMapCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(Memory, ProgramSetsTheSegmentsThroughInternalIo)
{
    SimBoard board;
    CpuState s;
    cpu_reset(s);
    // ld a,0x78 ; ioi ld (0x12),a ; ld a,0xD8 ; ioi ld (0x13),a ; ld a,(0x8000) ; ld (0x8001),a
    std::vector<uint8_t> code{0x3E, 0x78, 0xD3, 0x32, 0x12, 0x00, 0x3E, 0xD8, 0xD3, 0x32,
                              0x13, 0x00, 0x3A, 0x00, 0x80, 0x32, 0x01, 0x80};
    ASSERT_TRUE(board.load(0, code));
    ASSERT_TRUE(board.poke(0x80000, 0x3C));
    cpu_run(s, board, 6);
    EXPECT_EQ(board.dataseg(), 0x78);
    EXPECT_EQ(board.segsize(), 0xD8);
    EXPECT_EQ(s.main[rA], 0x3C);
    EXPECT_EQ(board.peek(0x80001), 0x3C);
    EXPECT_EQ(board.io_read(IoSpace::internal, kPortDataSeg), 0x78) << "reads back";
}

TEST(Memory, CpuStoresIntoFlashAreIgnored)
{
    Machine m;
    // ld a,0x55 ; ld (0x2000),a ; ld (0x8100),a
    m.code({0x3E, 0x55, 0x32, 0x00, 0x20, 0x32, 0x00, 0x81});
    uint8_t before = m.board.peek(0x2000);
    m.run();
    EXPECT_EQ(m.board.peek(0x2000), before);
    EXPECT_EQ(m.board.peek(kDataPhysical), 0x55);
    EXPECT_TRUE(m.board.flash_write(0x2000, 0x12));
    EXPECT_EQ(m.board.peek(0x2000), 0x12) << "the firmware side writes flash directly";
    EXPECT_FALSE(m.board.flash_write(0x80000, 0x12)) << "not flash";
}

TEST(Memory, LdpUsesAAsThePhysicalBank)
{
    Machine m;
    // ld a,0x09 ; ld hl,0x1234 ; ldp (0xFFFF),hl ; ld hl,0 ; ldp hl,(0xFFFF) ; ld ix,0x0020 ;
    // ldp (ix),hl ; ldp ix,(0x0020)
    m.code({0x3E, 0x09, 0x21, 0x34, 0x12, 0xED, 0x65, 0xFF, 0xFF, 0x21, 0x00, 0x00, 0xED,
            0x6D, 0xFF, 0xFF, 0xDD, 0x21, 0x20, 0x00, 0xDD, 0x64, 0xDD, 0x6D, 0x20, 0x00});
    m.run();
    EXPECT_EQ(m.board.peek(0x9FFFF), 0x34);
    EXPECT_EQ(m.board.peek(0x90000), 0x12) << "the address wraps inside the bank";
    EXPECT_EQ(m.s.hl(), 0x1234);
    EXPECT_EQ(m.board.peek(0x90020), 0x34);
    EXPECT_EQ(m.s.ix, 0x1234);
}

TEST(Memory, StackAndIndexRelativeWordLoads)
{
    Machine m;
    m.code({
        0xC4, 0x02,       // ld hl,(sp+2)
        0xDD, 0xC4, 0x04, // ld ix,(sp+4)
        0xE4, 0x01,       // ld hl,(ix+1)  -> ix = kData-1
        0xFD, 0xF4, 0xFE, // ld (iy-2),hl
        0x27, 0xFC,       // add sp,-4
        0xDD, 0x7C,       // ld hl,ix
    });
    m.s.sp = 0xDFF0;
    m.poke_logical(0xDFF2, {0xCD, 0xAB, 0xFF, 0x80});
    m.poke_logical(kData, {0x78, 0x56});
    m.s.iy = kData + 0x12;
    m.run();
    EXPECT_EQ(m.s.ix, 0x80FF);
    EXPECT_EQ(m.peek_logical(kData + 0x10), 0x78);
    EXPECT_EQ(m.peek_logical(kData + 0x11), 0x56);
    EXPECT_EQ(m.s.sp, 0xDFEC);
    EXPECT_EQ(m.s.hl(), 0x80FF);
}

// ---- I/O prefixes -----------------------------------------------------------------------------

TEST(IoPrefix, TurnsMemoryOperandsIntoIoAccesses)
{
    Machine m;
    m.code({
        0xD3, 0x7E,             // ioi ld a,(hl)
        0xDB, 0x77,             // ioe ld (hl),a
        0xD3, 0x3A, 0x80, 0x00, // ioi ld a,(0x0080)
        0xDB, 0xDD, 0x34, 0x01, // ioe inc (ix+1)
    });
    m.s.set_hl(kData);
    m.s.ix = kData;
    m.board.io_write(IoSpace::internal, kData, 0x66);
    m.board.io_write(IoSpace::internal, 0x0080, 0x44);
    m.board.io_write(IoSpace::external, kData + 1, 0x09);
    m.poke_logical(kData, {0x11});
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.main[rA], 0x66);
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.board.io_read(IoSpace::external, kData), 0x66);
    EXPECT_EQ(m.peek_logical(kData), 0x11) << "memory untouched";
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.s.main[rA], 0x44);
    cpu_step(m.s, m.board);
    EXPECT_EQ(m.board.io_read(IoSpace::external, kData + 1), 0x0A);
}

// ---- cycles -----------------------------------------------------------------------------------

struct CycleCase {
    const char *name;
    std::vector<uint8_t> bytes;
    uint32_t cycles;
};
// Test output names the case, not its bytes.
void PrintTo(const CycleCase &c, std::ostream *os) { *os << c.name; }
const CycleCase kCycleCases[] = {
    {"nop", {0x00}, 2},
    {"ld_bc_mn", {0x01, 0x00, 0x00}, 6},
    {"ld_a_hl", {0x7E}, 5},
    {"ld_hl_n", {0x36, 0x00}, 7},
    {"jp", {0xC3, 0x00, 0x00}, 7},
    {"call", {0xCD, 0x00, 0x00}, 12},
    {"rst_38", {0xFF}, 8},
    {"bit_hl", {0xCB, 0x46}, 7},
    {"rlc_hl", {0xCB, 0x06}, 10},
    {"res_hl", {0xCB, 0x86}, 10},
    {"bit_ix", {0xDD, 0xCB, 0x00, 0x46}, 10},
    {"set_ix", {0xDD, 0xCB, 0x00, 0xC6}, 13},
    {"add_ix_bc", {0xDD, 0x09}, 4},
    {"ld_ix_mn", {0xDD, 0x21, 0x00, 0x00}, 8},
    {"inc_ix_disp", {0xDD, 0x34, 0x00}, 12},
    {"ld_mn_bc", {0xED, 0x43, 0x00, 0x81}, 15},
    {"neg", {0xED, 0x44}, 4},
    {"altd_ld_a_b", {0x76, 0x78}, 4},
    {"ioi_ld_mn_a_fast", {0xD3, 0x32, 0x00, 0x81}, 11},
    {"ioe_ld_mn_a", {0xDB, 0x32, 0x00, 0x81}, 12},
    {"ioi_ld_a_hl", {0xD3, 0x7E}, 7},
};

class Cycles : public ::testing::TestWithParam<CycleCase> {};

TEST_P(Cycles, MatchTheShownFigure)
{
    const CycleCase &c = GetParam();
    Machine m;
    m.code(c.bytes, 0x0100);
    m.s.set_hl(kData);
    m.s.ix = kData;
    uint32_t cycles = cpu_step(m.s, m.board);
    ASSERT_EQ(m.s.fault, CpuFault::none);
    EXPECT_EQ(cycles, c.cycles);
    EXPECT_EQ(instruction_cycle_value(c.bytes), c.cycles);
    EXPECT_EQ(m.s.cycles, c.cycles) << "the state counts them too";
}

INSTANTIATE_TEST_SUITE_P(All, Cycles, ::testing::ValuesIn(kCycleCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(CycleFigures, SpecialValuesOfTheDisassemblyWindow)
{
    EXPECT_EQ(instruction_cycle_value(std::vector<uint8_t>{0xED, 0xB0}), kCyclesBlockMove);
    EXPECT_EQ(instruction_cycle_value(std::vector<uint8_t>{0xD3, 0xED, 0xB0}), kCyclesBlockMoveIoi);
    EXPECT_EQ(instruction_cycle_value(std::vector<uint8_t>{0xDB, 0xED, 0xB8}), kCyclesBlockMoveIoe);
    EXPECT_EQ(instruction_cycle_value(std::vector<uint8_t>{0xC8}), kCyclesCondReturn);
    EXPECT_EQ(instruction_cycle_value(std::vector<uint8_t>{0x76, 0xE3}), 4u);
    EXPECT_EQ(ioi_extra_cycles(0xED800000), 1u);
    EXPECT_EQ(ioi_extra_cycles(0x7E000000), 2u);
}

// ---- undefined opcodes -------------------------------------------------------------------------

struct UndefinedCase {
    const char *name;
    CpuModel model;
    std::vector<uint8_t> bytes;
};
// Test output names the case, not its bytes.
void PrintTo(const UndefinedCase &c, std::ostream *os) { *os << c.name; }
const UndefinedCase kUndefinedCases[] = {
    {"ed_00", CpuModel::r2000, {0xED, 0x00}},
    {"ed_ff", CpuModel::r2000, {0xED, 0xFF}},
    {"sll_not_on_this_family", CpuModel::r2000, {0xCB, 0x30}},
    {"dd_nop", CpuModel::r2000, {0xDD, 0x00}},
    {"fd_ld_b_h", CpuModel::r2000, {0xFD, 0x44}},
    {"dd_cb_register_form", CpuModel::r2000, {0xDD, 0xCB, 0x05, 0x00}},
    {"push_su_needs_3000", CpuModel::r2000, {0xED, 0x66}},
    {"uma_needs_3000", CpuModel::r2000, {0xED, 0xC0}},
    {"ioi_before_undefined", CpuModel::r2000, {0xD3, 0xED, 0x00}},
    {"altd_before_undefined", CpuModel::r3000, {0x76, 0xDD, 0x76}},
    {"ed_in_on_3000", CpuModel::r3000, {0xED, 0x78}},
};

class Undefined : public ::testing::TestWithParam<UndefinedCase> {};

TEST_P(Undefined, StopsTheRunWithItsAddress)
{
    const UndefinedCase &c = GetParam();
    Machine m(c.model);
    std::vector<uint8_t> program{0x3E, 0x01, 0x06, 0x02}; // ld a,1 ; ld b,2
    program.insert(program.end(), c.bytes.begin(), c.bytes.end());
    program.push_back(0x00);
    m.code(program, 0x0200);
    m.s.xpc = 0x3C;
    RunResult r = cpu_run(m.s, m.board, 100);
    EXPECT_EQ(r.reason, StopReason::undefined_opcode);
    EXPECT_EQ(r.instructions, 2u);
    EXPECT_EQ(m.s.fault, CpuFault::undefined_opcode);
    EXPECT_EQ(m.s.fault_pc, 0x0204);
    EXPECT_EQ(m.s.fault_xpc, 0x3C);
    EXPECT_EQ(m.s.pc, 0x0204) << "PC stays on the opcode";
    EXPECT_EQ(m.s.main[rA], 1);
    EXPECT_EQ(m.s.alt[rA], 0) << "nothing executed";
    EXPECT_EQ(cpu_step(m.s, m.board), 0u) << "a faulted CPU does not step";
    EXPECT_EQ(m.s.pc, 0x0204);
}

INSTANTIATE_TEST_SUITE_P(All, Undefined, ::testing::ValuesIn(kUndefinedCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(Run, StopsAtTheLimitAndResumesPastABreakpoint)
{
    Machine m;
    m.code({0x00, 0x00, 0x00, 0x00});
    RunResult r = cpu_run(m.s, m.board, 3);
    EXPECT_EQ(r.reason, StopReason::limit);
    EXPECT_EQ(r.instructions, 3u);
    EXPECT_EQ(r.cycles, 6u);

    Machine b;
    b.code({0x00, 0x00, 0x00, 0x00});
    std::vector<Breakpoint> bps{{0x0002, -1}};
    r = cpu_run(b.s, b.board, 100, bps);
    EXPECT_EQ(r.reason, StopReason::breakpoint);
    EXPECT_EQ(b.s.pc, 0x0002);
    r = cpu_run(b.s, b.board, 1, bps);
    EXPECT_EQ(r.reason, StopReason::limit) << "a run starting on a breakpoint executes it";
    EXPECT_EQ(b.s.pc, 0x0003);

    Machine x;
    x.code({0x00, 0x00, 0x00});
    x.s.xpc = 0x10;
    r = cpu_run(x.s, x.board, 10, {{0x0001, 0x11}});
    EXPECT_EQ(r.reason, StopReason::limit) << "a breakpoint for another XPC does not stop";
}

} // namespace
