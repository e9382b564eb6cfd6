// The runtime library's routines around the arithmetic, on the simulator: c_divt, the 32-bit
// load, store and swap, the block moves, switch dispatch, the function frames as generated
// prologues and epilogues call them, interrupt entry and exit, the run-time checks, the bit
// and port functions, the string functions, the console, exit and the BIOS's start-up.
#include "RuntimeCheck.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace rtlib;

namespace {

constexpr uint16_t kData = 0x8100;     // a variable in RAM
constexpr uint16_t kTestCode = 0x6000; // where a test's own code goes (flash, free in the image)

// ---- c_divt: HL / 2^A, negated when B bit 7 ----------------------------------------------------

TEST(RuntimeDivt, DividesByPowersOfTwoTowardZero)
{
    Machine m;
    const runtime::Routine &r = row("c_divt");
    const int16_t values[] = {0, 1, -1, 7, -7, 8, -8, 9, -9, 100, -100, 32767, -32767, -32768, 0x1234};
    const int ks[] = {0, 1, 2, 3, 7, 14, 15, 16, 17, 31, 32, 255};
    const int signs[] = {0x00, 0x80, 0x7F, 0xFF};
    uint32_t seed = 1;
    for (int16_t x : values)
        for (int k : ks)
            for (int b : signs) {
                int32_t q = k >= 31 ? 0 : x / (int32_t(1) << k);
                if (b & 0x80)
                    q = -q;
                const uint16_t expected = static_cast<uint16_t>(q);
                const RowCall c = call_row(m, r, static_cast<uint16_t>(x), uint32_t(b) << 8 | uint32_t(k), seed++);
                ASSERT_TRUE(c.problem.empty()) << x << " k " << k << " b " << b << ": " << c.problem;
                ASSERT_EQ(c.hl(), expected) << x << " / " << (b & 0x80 ? "-" : "") << "2^" << k;
            }
}

// ---- 32-bit load, store, swap ------------------------------------------------------------------

TEST(RuntimeLong, SwapExchangesRegistersAndStack)
{
    Machine m;
    const RowCall c = call_row(m, row("swap4_"), 0x11223344u, 0xA1B2C3D4u, 7);
    ASSERT_TRUE(c.problem.empty()) << c.problem;
    EXPECT_EQ(c.bcde(), 0x11223344u);
    const uint16_t sp = c.result.after.sp;
    EXPECT_EQ(m.peek16(sp), 0xC3D4);
    EXPECT_EQ(m.peek16(uint16_t(sp + 2)), 0xA1B2);
}

struct LongAccess {
    const char *name;
    bool shared;  // interrupts held off while it reads or writes
};
void PrintTo(const LongAccess &r, std::ostream *os) { *os << r.name; }
const LongAccess kLoads[] = {{"llong_", false}, {"llong_s", true}, {"llong_ss", true}};
const LongAccess kStores[] = {{"slong_", false}, {"slong_s", true}, {"slong_ss", true}};

// Runs the routine up to its plain form's first instruction: the priority there shows whether
// interrupts are held off while the value moves.
int priority_at_access(Machine &m, const std::string &routine, vsim::CpuState regs,
                       const std::string &plain)
{
    regs.pc = m.image.at(routine);
    regs.sp = Machine::kStackTop;
    if (routine == plain)
        return regs.ip & 3;
    vsim::cpu_run(regs, m.board, 1000, {{m.image.at(plain), -1}});
    return regs.ip & 3;
}

class RuntimeLongLoad : public ::testing::TestWithParam<LongAccess> {};
TEST_P(RuntimeLongLoad, ReadsFourBytesAtHL)
{
    Machine m;
    const runtime::Routine &r = row(GetParam().name);
    m.poke(kData, {0x78, 0x56, 0x34, 0x12});
    vsim::CpuState regs = Machine::pattern(3);
    regs.set_hl(kData);
    const CallResult c = m.call(GetParam().name, regs);
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(uint32_t(c.after.bc()) << 16 | c.after.de(), 0x12345678u);
    EXPECT_EQ(changed_kept_register(r, c.before, c.after), "");
    EXPECT_EQ(c.after.sp, c.entry_sp);
    EXPECT_EQ(priority_at_access(m, GetParam().name, regs, "llong_"), GetParam().shared ? 3 : 0);
}
INSTANTIATE_TEST_SUITE_P(All, RuntimeLongLoad, ::testing::ValuesIn(kLoads),
                         [](const auto &i) { return std::string(i.param.name); });

class RuntimeLongStore : public ::testing::TestWithParam<LongAccess> {};
TEST_P(RuntimeLongStore, WritesBCDEAtHLKeepingEveryRegister)
{
    Machine m;
    const runtime::Routine &r = row(GetParam().name);
    m.poke(kData, {0, 0, 0, 0, 0xEE});
    vsim::CpuState regs = Machine::pattern(4);
    regs.set_hl(kData);
    regs.set_bc(0x8765);
    regs.set_de(0x4321);
    const CallResult c = m.call(GetParam().name, regs);
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(m.peek16(kData), 0x4321);
    EXPECT_EQ(m.peek16(kData + 2), 0x8765);
    EXPECT_EQ(m.peek(kData + 4), 0xEE) << "a fifth byte written";
    EXPECT_EQ(changed_kept_register(r, c.before, c.after), "");
    EXPECT_EQ(priority_at_access(m, GetParam().name, regs, "slong_"), GetParam().shared ? 3 : 0);
}
INSTANTIATE_TEST_SUITE_P(All, RuntimeLongStore, ::testing::ValuesIn(kStores),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- block moves ---------------------------------------------------------------------------------

struct BlockMove {
    const char *name;
    int step;  // +1 as ldir, -1 as lddr
};
void PrintTo(const BlockMove &r, std::ostream *os) { *os << r.name; }
const BlockMove kMoves[] = {{"ldir_func", 1}, {"lddr_func", -1}, {"doldir_s", 1}};

class RuntimeBlockMove : public ::testing::TestWithParam<BlockMove> {};
TEST_P(RuntimeBlockMove, MovesAsTheBlockInstruction)
{
    const BlockMove &bm = GetParam();
    for (uint16_t n : {1, 2, 25, 26, 300}) {
        Machine m;
        const uint16_t src = 0x8200, dst = 0x8800;
        std::vector<uint8_t> bytes(n + 2);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(i * 7 + 1);
        m.poke(src - 1, bytes);
        m.poke(dst - 1, std::vector<uint8_t>(n + 2, 0xEE));
        vsim::CpuState regs = Machine::pattern(n);
        const uint16_t first = bm.step > 0 ? 0 : n - 1;  // offset of the first byte moved
        regs.set_hl(src + first);
        regs.set_de(dst + first);
        regs.set_bc(n);
        const CallResult c = m.call(bm.name, regs);
        ASSERT_EQ(c.end, End::returned) << n;
        for (uint16_t i = 0; i < n; ++i)
            ASSERT_EQ(m.peek(dst + i), bytes[i + 1]) << bm.name << " " << n << " byte " << i;
        EXPECT_EQ(m.peek(dst - 1), 0xEE) << "a byte before the block";
        EXPECT_EQ(m.peek(dst + n), 0xEE) << "a byte after the block";
        EXPECT_EQ(c.after.hl(), uint16_t(src + first + bm.step * n));
        EXPECT_EQ(c.after.de(), uint16_t(dst + first + bm.step * n));
        EXPECT_EQ(c.after.bc(), 0);
        EXPECT_EQ(changed_kept_register(row(bm.name), c.before, c.after), "") << n;
    }
}
INSTANTIATE_TEST_SUITE_P(All, RuntimeBlockMove, ::testing::ValuesIn(kMoves),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(RuntimeBlockMove, SharedCopyHoldsInterruptsOff)
{
    Machine m;
    vsim::CpuState regs = Machine::pattern(9);
    regs.set_hl(0x8200);
    regs.set_de(0x8300);
    regs.set_bc(4);
    regs.pc = m.image.at("doldir_s");
    regs.sp = Machine::kStackTop;
    // push ip (2 bytes), ipset 3 (2 bytes), then the copy.
    vsim::cpu_run(regs, m.board, 100, {{uint16_t(m.image.at("doldir_s") + 4), -1}});
    EXPECT_EQ(regs.ip & 3, 3);
}

// ---- switch ------------------------------------------------------------------------------------

struct SwitchCase {
    const char *name;
    uint16_t value;
    int target;  // index of the entry that must be taken, or -1: the routine returns
};
void PrintTo(const SwitchCase &r, std::ostream *os) { *os << r.name; }
const SwitchCase kSwitchCases[] = {
    {"first_entry", 5, 0},          {"negative_value", 0xFFFF, 1},
    {"xmem_target", 0x1234, 2},     {"last_entry", 0x8000, 3},
    {"no_match", 6, -1},            {"low_byte_only_matches", 0x0105, -1},
    {"high_byte_only_matches", 0x1200, -1},
};

class RuntimeSwitch : public ::testing::TestWithParam<SwitchCase> {};
TEST_P(RuntimeSwitch, TakesTheEntryOfTheValue)
{
    Machine m;
    // Targets: each sets A to its number and goes to the sentinel return address.
    struct Target {
        uint16_t address;
        uint8_t page;
    };
    const Target targets[] = {{0x6100, 0}, {0x6110, 0}, {0xE123, 0x12}, {0x6120, 0}};
    for (int i = 0; i < 4; ++i) {
        const std::vector<uint8_t> stub = {0x3E, uint8_t(0xA0 + i), 0xC3, Machine::kReturn & 0xFF,
                                           Machine::kReturn >> 8};
        if (targets[i].address >= 0xE000)
            (void)m.board.load(targets[i].address + targets[i].page * 0x1000u, stub);
        else
            m.code(targets[i].address, stub);
    }
    const uint16_t values[] = {5, 0xFFFF, 0x1234, 0x8000};
    std::vector<uint8_t> table;
    for (int i = 0; i < 4; ++i) {
        table.push_back(uint8_t(values[i]));
        table.push_back(uint8_t(values[i] >> 8));
        table.push_back(uint8_t(targets[i].address));
        table.push_back(uint8_t(targets[i].address >> 8));
        table.push_back(targets[i].page);
    }
    m.poke(kData, table);
    vsim::CpuState regs = Machine::pattern(11);
    regs.set_hl(GetParam().value);
    regs.set_bc(4);
    regs.set_de(kData);
    const CallResult c = m.call("_switch", regs);
    ASSERT_EQ(c.end, End::returned);
    if (GetParam().target < 0) {
        EXPECT_EQ(c.after.sp, c.entry_sp) << "returns to the instruction after its call";
        EXPECT_EQ(c.after.xpc, 0);
        return;
    }
    EXPECT_EQ(c.after.main[vsim::rA], 0xA0 + GetParam().target);
    EXPECT_EQ(c.after.sp, c.entry_sp) << "the return address is dropped";
    EXPECT_EQ(c.after.xpc, targets[GetParam().target].page);
}
INSTANTIATE_TEST_SUITE_P(All, RuntimeSwitch, ::testing::ValuesIn(kSwitchCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(RuntimeSwitch, EmptyTableReturns)
{
    Machine m;
    vsim::CpuState regs = Machine::pattern(12);
    regs.set_bc(0);
    regs.set_de(kData);
    const CallResult c = m.call("_switch", regs);
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(c.after.sp, c.entry_sp);
}

// ---- function frames ---------------------------------------------------------------------------

// A function as the generator writes it with a frame routine: the prologue ("exx", the size,
// the call), a body that checks nothing itself, and the epilogue ("exx", the size, the call,
// "ret"). The body returns its first argument in HL and 0x12345678 in BC:DE; the label "body"
// marks where the frame stands built.
struct FrameForm {
    const char *name;
    const char *enter;
    const char *leave;
    bool ix;
    bool registers;
};
void PrintTo(const FrameForm &r, std::ostream *os) { *os << r.name; }
const FrameForm kFrames[] = {
    {"ix", "sspixff_", "rspixff_", true, false},
    {"ix_other_flags", "sspixf_", "rspixf_", true, false},
    {"no_ix", "sspixffn_", "rspixffn_", false, false},
    {"no_ix_other_flags", "sspixfn_", "rspixfn_", false, false},
    {"ix_registers", "sspixrff_", "rspixrff_", true, true},
    {"ix_registers_w", "sspixrffw_", "rspixrff_", true, true},
    {"ix_registers_other_flags", "sspixrf_", "rspixrf_", true, true},
};

constexpr int kAutos = 6;                // L
constexpr int kRegisterSize = 8;         // R
constexpr uint16_t kRegisterArea = 0x8500;

// `shift` nops first move every return address by one: a routine that kept a return address
// where the flags change would return one byte off for one of the two.
Image frame_function(const FrameForm &f, int shift)
{
    const int size = kAutos + (f.registers ? kRegisterSize : 0);
    std::vector<std::string> lines(shift, "        nop");
    lines.push_back("        exx");
    lines.push_back("        ld hl," + std::to_string(-size));
    if (f.registers) {
        lines.push_back("        ld de," + std::to_string(kRegisterArea));
        lines.push_back("        ld bc," + std::to_string(kRegisterSize));
    }
    lines.push_back(std::string("        call ") + f.enter);
    lines.push_back("body::");
    // The body: takes the first argument (past the return address, and IX's save).
    lines.push_back(f.ix ? "        ld l,(ix+4)" : "        ld hl,(sp+" + std::to_string(size + 2) + ")");
    if (f.ix)
        lines.push_back("        ld h,(ix+5)");
    lines.push_back("        ld bc,0x1234");
    lines.push_back("        ld de,0x5678");
    lines.push_back("        ld a,0x99");
    if (f.registers) {  // the function uses its register variables
        lines.push_back("        push hl");
        lines.push_back("        ld hl,0");
        lines.push_back("        ld (" + std::to_string(kRegisterArea) + "),hl");
        lines.push_back("        ld (" + std::to_string(kRegisterArea + 6) + "),hl");
        lines.push_back("        pop hl");
    }
    lines.push_back("        exx");
    lines.push_back("        ld hl," + std::to_string(size));
    if (f.registers) {
        lines.push_back("        ld de," + std::to_string(kRegisterArea));
        lines.push_back("        ld bc," + std::to_string(kRegisterSize));
    }
    lines.push_back(std::string("        call ") + f.leave);
    lines.push_back("        ret");
    return assemble_lines(lines, kTestCode, runtime_image());
}

class RuntimeFrame : public ::testing::TestWithParam<FrameForm> {};
TEST_P(RuntimeFrame, BuildsTheInlineFrameAndKeepsTheReturnValue)
{
    for (int shift : {0, 1}) {
        SCOPED_TRACE("shifted by " + std::to_string(shift));
        const FrameForm &f = GetParam();
        const Image fn = frame_function(f, shift);
        ASSERT_TRUE(fn.messages.empty()) << fn.messages.front();
        Machine m;
        m.code(kTestCode, fn.bytes);
        const std::vector<uint8_t> area = {1, 2, 3, 4, 5, 6, 7, 8};
        m.poke(kRegisterArea, area);
        vsim::CpuState regs = Machine::pattern(21);
        const std::vector<uint8_t> argument = {0xCD, 0xAB};

        // Up to the body: the frame as the inline prologue builds it.
        {
            Machine probe;
            probe.code(kTestCode, fn.bytes);
            probe.poke(kRegisterArea, area);
            vsim::CpuState s = regs;
            s.pc = kTestCode;
            s.sp = Machine::kStackTop;
            for (int i = 1; i >= 0; --i)
                probe.board.write(--s.sp, 0, argument[i]);
            probe.board.write(--s.sp, 0, Machine::kReturn >> 8);
            probe.board.write(--s.sp, 0, Machine::kReturn & 0xFF);
            const uint16_t return_at = s.sp;
            vsim::cpu_run(s, probe.board, 1000, {{fn.at("body"), -1}});
            ASSERT_EQ(s.pc, fn.at("body"));
            const int size = kAutos + (f.registers ? kRegisterSize : 0);
            if (f.ix) {
                EXPECT_EQ(s.ix, return_at - 2) << "IX points at the saved IX";
                EXPECT_EQ(probe.peek16(s.ix), regs.ix) << "the caller's IX under the return address";
                EXPECT_EQ(s.sp, s.ix - size);
            } else {
                EXPECT_EQ(s.sp, return_at - size);
                EXPECT_EQ(s.ix, regs.ix);
            }
            vsim::CpuState own = regs;  // the function's own main registers again (F may change)
            own.main[vsim::rF] = s.main[vsim::rF];
            EXPECT_EQ(s.main, own.main);
            if (f.registers) {
                for (int i = 0; i < kRegisterSize; ++i)
                    EXPECT_EQ(probe.peek(uint16_t(s.sp + i)), area[i]) << "saved register byte " << i;
            }
        }

        const CallResult c = m.call_address(kTestCode, regs, argument);
        ASSERT_EQ(c.end, End::returned);
        EXPECT_EQ(c.after.hl(), 0xABCD) << "the return value survives the epilogue";
        EXPECT_EQ(c.after.bc(), 0x1234);
        EXPECT_EQ(c.after.de(), 0x5678);
        EXPECT_EQ(c.after.main[vsim::rA], 0x99);
        EXPECT_EQ(c.after.ix, regs.ix);
        EXPECT_EQ(c.after.iy, regs.iy);
        EXPECT_EQ(c.after.sp, c.entry_sp - 2) << "the caller removes the argument";
        if (f.registers) {
            for (int i = 0; i < kRegisterSize; ++i)
                EXPECT_EQ(m.peek(uint16_t(kRegisterArea + i)), area[i]) << "restored register byte " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, RuntimeFrame, ::testing::ValuesIn(kFrames),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- interrupt entry and exit ------------------------------------------------------------------

class RuntimeInterrupt : public ::testing::TestWithParam<const char *> {};
TEST_P(RuntimeInterrupt, ExitRestoresEveryRegisterAndLowersThePriority)
{
    const std::string exit = GetParam();
    const Image isr = assemble_lines(
        {"        push af", "        push hl", "        call entint_", "        ld hl," + exit,
         "        push hl", "        ld bc,0", "        ld de,0", "        ld hl,0", "        ld ix,0",
         "        ld iy,0", "        exx", "        ld bc,0", "        ld de,0", "        ld hl,0",
         "        exx", "        ex af,af'", "        xor a", "        ex af,af'", "        xor a",
         "        ret"},
        kTestCode, runtime_image());
    ASSERT_TRUE(isr.messages.empty()) << isr.messages.front();
    Machine m;
    m.code(kTestCode, isr.bytes);
    vsim::CpuState regs = Machine::pattern(31);
    regs.ip = 0x01;  // as the acknowledge of a priority-1 interrupt leaves it
    const CallResult c = m.call_address(kTestCode, regs);
    ASSERT_EQ(c.end, End::returned);
    vsim::CpuState expected = c.before;
    expected.ip = 0x40;  // ipres: priority 0 again
    EXPECT_EQ(changed_kept_register(row(exit), expected, c.after), "");
    EXPECT_EQ(c.after.sp, c.entry_sp);
}
INSTANTIATE_TEST_SUITE_P(All, RuntimeInterrupt, ::testing::Values("intr1", "intr2", "intr3"));

// ---- run-time checks, exit and errors ----------------------------------------------------------

struct ErrorCall {
    const char *name;
    uint8_t code;
};
void PrintTo(const ErrorCall &r, std::ostream *os) { *os << r.name; }
const ErrorCall kErrorCalls[] = {{"bound_e", runtime::kErrPointer}, {"abound_e", runtime::kErrIndex}};

class RuntimeCheckFailure : public ::testing::TestWithParam<ErrorCall> {};
TEST_P(RuntimeCheckFailure, EndsTheProgramWithItsErrorAtTheCall)
{
    Machine m;
    const CallResult c = m.call(GetParam().name, Machine::pattern(41));
    ASSERT_EQ(c.end, End::exited);
    EXPECT_EQ(c.exit_code(), GetParam().code);
    EXPECT_EQ(c.after.main[vsim::rH], 0) << "XPC of the fault";
    EXPECT_EQ(c.fault(), Machine::kReturn - 3);
    EXPECT_EQ(m.console.exits, std::vector<uint8_t>{GetParam().code});
}
INSTANTIATE_TEST_SUITE_P(All, RuntimeCheckFailure, ::testing::ValuesIn(kErrorCalls),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(RuntimeExit, ExitReportsItsCodeAndCall)
{
    for (const char *name : {"exit", "__xexit"}) {
        Machine m;
        vsim::CpuState regs = Machine::pattern(42);
        regs.xpc = 0x05;
        const CallResult c = m.call(name, regs, le16(0x1207));
        ASSERT_EQ(c.end, End::exited) << name;
        EXPECT_EQ(c.exit_code(), 0x07) << name;
        EXPECT_EQ(c.after.main[vsim::rH], 0x05) << name;
        EXPECT_EQ(c.fault(), Machine::kReturn - 3) << name;
        EXPECT_EQ(m.console.exits, std::vector<uint8_t>{0x07}) << name;
    }
}

TEST(RuntimeExit, RunTimeErrorLeavesCodeXpcAndFault)
{
    Machine m;
    vsim::CpuState regs = Machine::pattern(43);
    regs.main[vsim::rA] = 234;
    regs.set_hl(0x4321);
    const CallResult c = m.call("rterror_", regs);
    ASSERT_EQ(c.end, End::exited);
    EXPECT_EQ(c.exit_code(), 234);
    EXPECT_EQ(c.fault(), 0x4321);
}

TEST(RuntimeExit, TheTrapStaysOnItselfWhenRunOn)
{
    Machine m;
    const CallResult c = m.call("exit", Machine::pattern(44), le16(3));
    ASSERT_EQ(c.end, End::exited);
    vsim::CpuState s = c.after;
    vsim::cpu_run(s, m.board, 10);
    EXPECT_EQ(s.fault, vsim::CpuFault::none);
    EXPECT_TRUE(s.pc >= m.image.at("__xexit__") && s.pc < m.image.at("__xexit__") + 6);
}

// ---- bit functions ---------------------------------------------------------------------------------

enum class Space { memory, internal, external };
struct BitFunction {
    const char *name;
    int op;  // 0 test, 1 set, 2 reset
    Space space;
};
void PrintTo(const BitFunction &r, std::ostream *os) { *os << r.name; }
const BitFunction kBitFunctions[] = {
    {"BIT", 0, Space::memory},    {"SET", 1, Space::memory},    {"RES", 2, Space::memory},
    {"IBIT", 0, Space::internal}, {"ISET", 1, Space::internal}, {"IRES", 2, Space::internal},
    {"EBIT", 0, Space::external}, {"ESET", 1, Space::external}, {"ERES", 2, Space::external},
};

class RuntimeBitFunction : public ::testing::TestWithParam<BitFunction> {};
TEST_P(RuntimeBitFunction, ActsOnBitOfTheByteAtAddressPlusBitOverEight)
{
    const BitFunction &f = GetParam();
    const runtime::Routine &r = row(f.name);
    const uint16_t base = f.space == Space::memory ? kData : 0x0030;
    const uint8_t pattern[4] = {0xA5, 0x3C, 0x00, 0xFF};
    for (uint16_t bit : {0, 1, 5, 7, 8, 12, 15, 16, 31}) {
        Machine m;
        auto put = [&](uint16_t at, uint8_t v) {
            if (f.space == Space::memory)
                m.poke(at, {v});
            else
                m.board.io_write(f.space == Space::internal ? vsim::IoSpace::internal : vsim::IoSpace::external, at, v);
        };
        auto get = [&](uint16_t at) {
            return f.space == Space::memory
                       ? m.peek(at)
                       : m.board.io_read(f.space == Space::internal ? vsim::IoSpace::internal : vsim::IoSpace::external, at);
        };
        for (int i = 0; i < 4; ++i)
            put(uint16_t(base + i), pattern[i]);
        std::vector<uint8_t> args = le16(base);
        for (uint8_t b : le16(bit))
            args.push_back(b);
        const CallResult c = m.call(label_of(r), Machine::pattern(bit), args);
        ASSERT_EQ(c.end, End::returned) << f.name << " bit " << bit;
        EXPECT_EQ(c.after.sp, c.entry_sp - 4) << "the caller removes the arguments";
        EXPECT_EQ(changed_kept_register(r, c.before, c.after), "");
        const int byte = bit / 8, mask = 1 << (bit & 7);
        for (int i = 0; i < 4; ++i) {
            uint8_t expected = pattern[i];
            if (i == byte && f.op == 1)
                expected |= mask;
            if (i == byte && f.op == 2)
                expected &= ~mask;
            EXPECT_EQ(get(uint16_t(base + i)), expected) << f.name << " bit " << bit << " byte " << i;
        }
        if (f.op == 0) {
            const uint16_t expected = (pattern[byte] & mask) ? 1 : 0;
            EXPECT_EQ(c.after.hl(), expected) << f.name << " bit " << bit;
            EXPECT_EQ((c.after.main[vsim::rF] & vsim::kFlagZ) != 0, expected == 0);
        }
    }
}
INSTANTIATE_TEST_SUITE_P(All, RuntimeBitFunction, ::testing::ValuesIn(kBitFunctions),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- port functions ----------------------------------------------------------------------------

constexpr uint16_t kPort = 0x0030;
constexpr uint16_t kShadow = 0x8400;

CallResult call_c(Machine &m, const std::string &name, std::initializer_list<uint16_t> args,
                  uint32_t seed = 51)
{
    std::vector<uint8_t> bytes;
    for (uint16_t a : args)
        for (uint8_t b : le16(a))
            bytes.push_back(b);
    return m.call(name, Machine::pattern(seed), bytes);
}

TEST(RuntimePorts, WrPortIWritesThePortAndTheShadow)
{
    Machine m;
    m.poke(kShadow, {0x11});
    CallResult c = call_c(m, "WrPortI", {kPort, kShadow, 0x125A});
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(m.board.io_read(vsim::IoSpace::internal, kPort), 0x5A);
    EXPECT_EQ(m.peek(kShadow), 0x5A);
    EXPECT_EQ(c.after.ip, c.before.ip);

    c = call_c(m, "WrPortI", {kPort, 0, 0x33});
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(m.board.io_read(vsim::IoSpace::internal, kPort), 0x33);
    EXPECT_EQ(m.peek(kShadow), 0x5A) << "no shadow: memory untouched";
    EXPECT_EQ(m.peek(0), m.image.bytes[0]) << "address 0 untouched";
}

TEST(RuntimePorts, RdPortIAndBitRdPortIRead)
{
    Machine m;
    m.board.io_write(vsim::IoSpace::internal, kPort, 0x81);
    CallResult c = call_c(m, "RdPortI", {kPort});
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(c.after.hl(), 0x0081);
    for (uint16_t bit : {0, 1, 7, 8, 15}) {
        c = call_c(m, "BitRdPortI", {kPort, bit});
        ASSERT_EQ(c.end, End::returned);
        EXPECT_EQ(c.after.hl(), (0x81 >> (bit & 7)) & 1) << bit;
    }
}

TEST(RuntimePorts, BitWrPortIChangesTheShadowAndWritesIt)
{
    Machine m;
    m.poke(kShadow, {0x0F});
    CallResult c = call_c(m, "BitWrPortI", {kPort, kShadow, 1, 6});
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(m.peek(kShadow), 0x4F);
    EXPECT_EQ(m.board.io_read(vsim::IoSpace::internal, kPort), 0x4F);
    c = call_c(m, "BitWrPortI", {kPort, kShadow, 0, 10});  // bit 10 is bit 2
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(m.peek(kShadow), 0x4B);
    EXPECT_EQ(m.board.io_read(vsim::IoSpace::internal, kPort), 0x4B);
    EXPECT_EQ(c.after.ip, c.before.ip);
}

TEST(RuntimePorts, BitWrPortIWithoutShadowIsARunTimeError)
{
    Machine m;
    m.board.io_write(vsim::IoSpace::internal, kPort, 0x77);
    const CallResult c = call_c(m, "BitWrPortI", {kPort, 0, 1, 3});
    ASSERT_EQ(c.end, End::exited);
    EXPECT_EQ(c.exit_code(), runtime::kErrIoParameter);
    EXPECT_EQ(c.fault(), Machine::kReturn - 3);
    EXPECT_EQ(m.board.io_read(vsim::IoSpace::internal, kPort), 0x77) << "the port is not written";
}

// ---- string functions --------------------------------------------------------------------------

void put_string(Machine &m, uint16_t at, const std::string &s)
{
    std::vector<uint8_t> bytes(s.begin(), s.end());
    bytes.push_back(0);
    m.poke(at, bytes);
}

std::string get_string(Machine &m, uint16_t at)
{
    std::string s;
    while (char c = static_cast<char>(m.peek(at++)))
        s += c;
    return s;
}

struct StrcmpCase {
    const char *name;
    const char *a, *b;
};
void PrintTo(const StrcmpCase &r, std::ostream *os) { *os << r.name; }
const StrcmpCase kStrcmp[] = {
    {"equal", "abc", "abc"},         {"both_empty", "", ""},        {"prefix_shorter", "ab", "abc"},
    {"prefix_longer", "abc", "ab"},  {"less", "abc", "abd"},        {"greater", "b", "a"},
    {"high_characters", "\x80", "\x7F"},
};

class RuntimeStrcmp : public ::testing::TestWithParam<StrcmpCase> {};
TEST_P(RuntimeStrcmp, OrdersAsUnsignedCharacters)
{
    Machine m;
    put_string(m, 0x8200, GetParam().a);
    put_string(m, 0x8300, GetParam().b);
    const CallResult c = call_c(m, "strcmp", {0x8200, 0x8300});
    ASSERT_EQ(c.end, End::returned);
    const int expected = std::strcmp(GetParam().a, GetParam().b);
    const int got = int16_t(c.after.hl());
    EXPECT_EQ(got < 0, expected < 0);
    EXPECT_EQ(got > 0, expected > 0);
    EXPECT_EQ(got == 0, expected == 0);
}
INSTANTIATE_TEST_SUITE_P(All, RuntimeStrcmp, ::testing::ValuesIn(kStrcmp),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(RuntimeString, StrlenStrcpyMemcpyMemset)
{
    Machine m;
    for (const std::string &s : {std::string(), std::string("a"), std::string("hello, world"), std::string(300, 'x')}) {
        put_string(m, 0x8200, s);
        const CallResult c = call_c(m, "strlen", {0x8200});
        ASSERT_EQ(c.end, End::returned);
        EXPECT_EQ(c.after.hl(), s.size());
    }
    put_string(m, 0x8200, "copy me");
    m.poke(0x8300, std::vector<uint8_t>(12, 0xEE));
    CallResult c = call_c(m, "strcpy", {0x8300, 0x8200});
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(c.after.hl(), 0x8300);
    EXPECT_EQ(get_string(m, 0x8300), "copy me");
    EXPECT_EQ(m.peek(0x8308), 0xEE);

    m.poke(0x8400, std::vector<uint8_t>(8, 0xEE));
    c = call_c(m, "memcpy", {0x8400, 0x8200, 4});
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(c.after.hl(), 0x8400);
    EXPECT_EQ(get_string(m, 0x8400).substr(0, 4), "copy");
    EXPECT_EQ(m.peek(0x8404), 0xEE);
    c = call_c(m, "memcpy", {0x8400, 0x8200, 0});
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(m.peek(0x8404), 0xEE) << "a count of 0 copies nothing";

    c = call_c(m, "memset", {0x8400, 0x1241, 3});
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(c.after.hl(), 0x8400);
    EXPECT_EQ(m.peek(0x8400), 0x41);
    EXPECT_EQ(m.peek(0x8402), 0x41);
    EXPECT_EQ(m.peek(0x8403), 'y');
    c = call_c(m, "memset", {0x8400, 0, 0});
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(m.peek(0x8400), 0x41) << "a count of 0 writes nothing";
}

// ---- console -----------------------------------------------------------------------------------

TEST(RuntimeConsole, PutcharAndPutsWriteTheConsolePort)
{
    Machine m;
    CallResult c = call_c(m, "putchar", {0x1241});
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(c.after.hl(), 0x41);
    put_string(m, 0x8200, "line");
    c = call_c(m, "puts", {0x8200});
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(c.after.hl(), 5);
    c = call_c(m, "puts", {0x8300 + 0x10});  // an empty string: only the new line
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(m.console.output, "Aline\n\n");
}

// getchar reads the status port until a character waits, then the data port; without input
// it keeps waiting and never reads the data port.
TEST(RuntimeConsole, GetcharReadsStatusThenData)
{
    Machine m;
    m.console.input = std::string("q\xe9", 2);
    CallResult c = call_c(m, "getchar", {});
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(c.after.hl(), 'q');
    c = call_c(m, "getchar", {});
    EXPECT_EQ(c.after.hl(), 0xE9) << "a byte above 127 is not a negative value";
    EXPECT_EQ(m.console.reads, "SDSD");
    c = call_c(m, "getchar", {});
    EXPECT_EQ(c.end, End::limit);
    EXPECT_EQ(m.console.reads.find('D', 4), std::string::npos);
    EXPECT_GT(m.console.reads.size(), 6u);
}

// ---- start-up ------------------------------------------------------------------------------------

// The BIOS's start-up has run the chain: premain runs main only.
TEST(RuntimeStartup, PremainRunsMainAlone)
{
    Machine m;
    m.poke(0x8000, {7});
    const CallResult c = m.call("premain", Machine::pattern(61));
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(m.peek(0x8000), 7) << "the chain did not run again";
    EXPECT_EQ(m.peek(0x8001), 7) << "main ran";
    EXPECT_EQ(c.after.sp, c.entry_sp);
}

TEST(RuntimeStartup, DebugKernelEntriesReturn)
{
    Machine m;
    for (const char *name : {"dkStartup", "dkInitDebug"}) {
        const CallResult c = m.call(name, Machine::pattern(62));
        ASSERT_EQ(c.end, End::returned) << name;
        EXPECT_EQ(c.after.sp, c.entry_sp) << name;
    }
}

TEST(RuntimeBios, ResetSetsTheBoardUpAndClearsTheVariables)
{
    Machine m;
    for (uint32_t a = 0x80000; a < 0x8E000; a += 0x123)
        (void)m.board.poke(a, 0xAA);
    vsim::CpuState s;
    vsim::cpu_reset(s);
    m.board.reset();
    const vsim::RunResult run = vsim::cpu_run(s, m.board, 200000, {{m.image.at("bios_ready"), -1}});
    ASSERT_EQ(run.reason, vsim::StopReason::breakpoint);
    EXPECT_EQ(s.sp, 0xE000);
    EXPECT_EQ(m.board.segsize(), 0xD8);
    EXPECT_EQ(m.board.dataseg(), 0x78);
    EXPECT_EQ(m.board.stackseg(), 0x80);
    EXPECT_EQ(s.iir, m.image.at("bios_vectors") >> 8);
    EXPECT_EQ(s.eir, s.iir);
    EXPECT_EQ(m.image.at("bios_vectors") & 0xFF, 0) << "the vector page is 256-byte aligned";
    EXPECT_EQ(s.ip & 3, 0) << "the program runs at priority 0";
    // The chain stand-in counts its runs in the first variable byte, after the clearing.
    EXPECT_EQ(m.board.peek(0x80000), 1) << "the initialisation chain ran once";
    for (uint32_t a = 0x80001; a < 0x85000; ++a)
        ASSERT_EQ(m.board.peek(a), 0) << "variable byte at " << std::hex << a;
    // Only the chain's return address stays, below the stack pointer.
    for (uint32_t a = 0x8D000; a < 0x8DFFE; ++a)
        ASSERT_EQ(m.board.peek(a), 0) << "stack byte at " << std::hex << a;
}

TEST(RuntimeBios, DebugHookReturnsWithEveryRegisterAndFlag)
{
    Machine m;
    vsim::CpuState regs = Machine::pattern(71);
    regs.iir = m.image.at("bios_vectors") >> 8;
    const CallResult c = m.call_address(uint16_t(regs.iir << 8 | 0x50), regs);  // rst 0x28
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(c.after.main, c.before.main);
    EXPECT_EQ(c.after.alt, c.before.alt);
    EXPECT_EQ(c.after.ix, c.before.ix);
    EXPECT_EQ(c.after.iy, c.before.iy);
    EXPECT_EQ(c.after.sp, c.entry_sp);
}

TEST(RuntimeBios, OtherVectorsAreRunTimeErrors)
{
    struct Vector {
        uint8_t offset;
        uint8_t code;
    };
    for (const Vector v : {Vector{0x70, 242}, Vector{0x20, 241}, Vector{0x60, 241}, Vector{0xF0, 241}}) {
        Machine m;
        vsim::CpuState regs = Machine::pattern(72);
        regs.iir = m.image.at("bios_vectors") >> 8;
        const CallResult c = m.call_address(uint16_t(regs.iir << 8 | v.offset), regs);
        ASSERT_EQ(c.end, End::exited) << int(v.offset);
        EXPECT_EQ(c.exit_code(), v.code) << int(v.offset);
        EXPECT_EQ(c.fault(), Machine::kReturn - 1) << "the one-byte rst before the return address";
    }
}

} // namespace
