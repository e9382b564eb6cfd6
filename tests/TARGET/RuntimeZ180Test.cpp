// The Z180 routines of the runtime library (Z180.LIB) on the Z180 simulator: each routine runs
// through its contract row (runtime::kZ180Routines) for a table of operands and must leave what
// a host model computes, keep every register its row does not name and remove the stacked bytes
// it says. Every instruction the routines execute is decoded by the disassembler's Z180 tables
// too: its length must be the simulator's step.
#include "RuntimeLibrary.h"
#include "SimZ180.h"
#include "lib/RuntimeContract.h"

#include "debugger/DB_DA.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

using namespace rtlib;
using runtime::In;
using runtime::Out;

namespace {

constexpr uint16_t kLibraryOrigin = 0x1000;
constexpr uint16_t kCaller = 0x0100;
constexpr uint16_t kStackTop = 0xF000;

const Image &z180_library()
{
    static const Image image = assemble_z180({target_dir() / "lib" / "Z180.LIB"}, kLibraryOrigin);
    return image;
}

// The host's answer for a routine and its operands (`left` the stacked or DE operand, 32 bits
// for a stack conversion; `right` the operand in HL).
uint32_t model(std::string_view name, uint32_t left32, uint16_t right)
{
    const uint16_t left = uint16_t(left32);
    if (name == "c_mult")
        return uint16_t(left * right);
    if (name == "c_not")
        return right == 0 ? 1 : 0;
    if (name == "e_")
        return left == right ? 1 : 0;
    if (name == "n_")
        return left != right ? 1 : 0;
    if (name == "o_")
        return uint16_t(left | right);
    if (name == "a_")
        return uint16_t(left & right);
    if (name == "Hc_Bl" || name == "Hc_Bg")
        return right & 0xFF;
    if (name == "Hu_Bl" || name == "Hu_Bg")
        return right;
    if (name == "Hi_Bg")
        return uint32_t(int32_t(int16_t(right)));
    if (name == "L__C" || name == "G__C")
        return left32 & 0xFF;
    if (name == "L__I" || name == "G__I" || name == "L__U" || name == "G__U")
        return left32 & 0xFFFF;
    if (name == "long_0")
        return left32 == 0 ? 1 : 0; // 1: Z set
    if (name == "flt_0")
        return (left32 & 0x7FFFFFFF) == 0 ? 1 : 0;
    if (name == "st4_" || name == "st4_s" || name == "st4_ss")
        return left32; // the 4 bytes stored
    ADD_FAILURE() << "no model for " << name;
    return 0;
}

constexpr uint16_t kStoreAddress = 0x9000;

struct Operands {
    const char *name;
    uint32_t left;
    uint16_t right;
};
const Operands kOperands[] = {
    {"zeros", 0, 0},          {"one_zero", 1, 0},        {"zero_one", 0, 1},
    {"equal", 0x1234, 0x1234}, {"high_bytes_differ", 0x1234, 0x5634},
    {"low_bytes_differ", 0x1234, 0x1235}, {"min_by_minus_one", 0x8000, 0xFFFF},
    {"halves", 0x00FF, 0xFF00}, {"max_by_two", 0x7FFF, 2}, {"minus3_by_5", 0xFFFD, 5},
    {"overflow", 0x0123, 0x0456}, {"long_negative", 0xFFFF8081, 0xFFFD},
    {"long_wide", 0x12345678, 0x80FF}, {"minus_zero", 0x80000000, 0x8000},
};

struct Row {
    const runtime::Routine *routine;
    Operands operands;
};
std::vector<Row> rows()
{
    std::vector<Row> all;
    for (const runtime::Routine &r : runtime::kZ180Routines)
        for (const Operands &o : kOperands)
            all.push_back({&r, o});
    return all;
}

void put16(std::vector<uint8_t> &code, uint16_t v)
{
    code.push_back(uint8_t(v));
    code.push_back(uint8_t(v >> 8));
}

class Z180Routine : public ::testing::TestWithParam<Row> {};

TEST_P(Z180Routine, FollowsItsRow)
{
    const runtime::Routine &r = *GetParam().routine;
    const Operands &o = GetParam().operands;
    const Image &lib = z180_library();
    ASSERT_TRUE(lib.messages.empty()) << lib.messages.front();
    ASSERT_TRUE(lib.globals.count(std::string(r.name))) << r.name << " is not in Z180.LIB";

    // The caller: the operands placed as the row says, the call, then "halt".
    std::vector<uint8_t> code;
    switch (r.in) {
    case In::de_hl:
        code.push_back(0x11); // ld de,left
        put16(code, uint16_t(o.left));
        break;
    case In::stack2_hl:
        code.push_back(0x21); // ld hl,left ; push hl
        put16(code, uint16_t(o.left));
        code.push_back(0xE5);
        break;
    case In::stack_value:
        code.push_back(0x21); // ld hl,high ; push hl ; ld hl,low ; push hl
        put16(code, uint16_t(o.left >> 16));
        code.push_back(0xE5);
        code.push_back(0x21);
        put16(code, uint16_t(o.left));
        code.push_back(0xE5);
        break;
    case In::bcde:
        code.push_back(0x01); // ld bc,high ; ld de,low
        put16(code, uint16_t(o.left >> 16));
        code.push_back(0x11);
        put16(code, uint16_t(o.left));
        break;
    case In::hl:
    case In::inline_constant:
        break;
    default:
        FAIL() << "no caller for the row's operands";
    }
    // ld hl,right; a stack conversion and a zero test get a value they must keep, a store the
    // address
    uint16_t hl = o.right;
    if (r.in == In::stack_value || r.in == In::bcde)
        hl = 0x5A5A;
    else if (r.in == In::inline_constant)
        hl = kStoreAddress;
    code.push_back(0x21);
    put16(code, hl);
    code.push_back(0xCD); // call
    put16(code, lib.at(std::string(r.name)));
    if (r.in == In::inline_constant) {
        put16(code, uint16_t(o.left)); // the constant behind the call
        put16(code, uint16_t(o.left >> 16));
    }
    const uint16_t halt = uint16_t(kCaller + code.size());
    code.push_back(0x76);

    vsim::SimBoard board;
    ASSERT_TRUE(board.load(kLibraryOrigin, lib.bytes));
    ASSERT_TRUE(board.load(kCaller, code));
    vsim::CpuState s;
    vsim::cpu_reset(s, vsim::CpuModel::z180);
    // Logical 0x8000-0xFFFF in RAM (physical 0x80000): the stack.
    s.z180_io[vsim::kZ180PortCbar] = 0x88;
    s.z180_io[vsim::kZ180PortCbr] = 0x78;
    s.pc = kCaller;
    s.sp = kStackTop;
    s.set_bc(0x1357);
    s.set_de(0x9BDF);
    s.ix = 0x2468;
    s.iy = 0x369C;
    s.alt = {1, 2, 3, 4, 5, 6, 7, 8};
    s.iff1 = s.iff2 = true;
    const vsim::CpuState before = s;

    selectDisasmPageSet(DisasmPageSet::Z180);
    for (int steps = 0; s.pc != halt; ++steps) {
        ASSERT_LT(steps, 10000) << "no return";
        uint8_t bytes[4];
        for (int k = 0; k < 4; ++k)
            bytes[k] = board.read_physical(vsim::z180_physical(s, uint16_t(s.pc + k)));
        const uint16_t at = s.pc;
        const bool flows = instructionFlow(bytes) != kFlowNone || (bytes[0] & 0xE7) == 0x20 ||
                           bytes[0] == 0x18 || bytes[0] == 0x10;
        const uint16_t length = instructionLength(bytes, false);
        ASSERT_GT(vsim::cpu_step(s, board), 0u) << "undefined opcode at " << at;
        if (!flows) {
            ASSERT_EQ(s.pc, uint16_t(at + length)) << "the disassembler's length at " << at;
        }
    }
    selectDisasmPageSet(DisasmPageSet::A);

    const uint32_t expected = model(r.name, o.left, o.right);
    int stacked = 0; // bytes the caller pushed
    switch (r.out) {
    case Out::hl:
        EXPECT_EQ(s.hl(), expected) << "HL";
        break;
    case Out::truth_hl:
        EXPECT_EQ(s.hl(), expected) << "HL";
        EXPECT_EQ((s.main[vsim::rF] & vsim::kFlagZ) != 0, expected == 0) << "Z";
        break;
    case Out::bcde:
        EXPECT_EQ(uint32_t(s.bc()) << 16 | s.de(), expected) << "BC:DE";
        EXPECT_EQ(s.hl(), o.right) << "HL";
        break;
    case Out::stack_value: {
        const uint16_t at = s.sp;
        const uint16_t value = uint16_t(board.read_physical(vsim::z180_physical(s, at)) |
                                        board.read_physical(vsim::z180_physical(s, uint16_t(at + 1))) << 8);
        EXPECT_EQ(value, expected) << "the value on the stack";
        EXPECT_EQ(s.hl(), 0x5A5A) << "HL";
        stacked = runtime::stack_size(r.result);
        break;
    }
    case Out::zero_flag:
        EXPECT_EQ((s.main[vsim::rF] & vsim::kFlagZ) != 0, expected == 1) << "Z";
        EXPECT_EQ(s.hl(), 0x5A5A) << "HL";
        EXPECT_EQ(uint32_t(s.bc()) << 16 | s.de(), o.left) << "BC:DE";
        break;
    case Out::memory: {
        uint32_t stored = 0;
        for (int k = 3; k >= 0; --k)
            stored = stored << 8 |
                     board.read_physical(vsim::z180_physical(s, uint16_t(kStoreAddress + k)));
        EXPECT_EQ(stored, expected) << "the 4 bytes stored";
        EXPECT_EQ(s.hl(), kStoreAddress) << "HL";
        EXPECT_TRUE(s.iff1 && s.iff2) << "interrupts enabled again";
        break;
    }
    default:
        FAIL() << "no check for the row's result";
    }
    if (r.in == In::stack2_hl)
        stacked = 2 - r.pops;
    EXPECT_EQ(s.sp, kStackTop - stacked) << "SP";
    if (r.out != Out::bcde && r.in != In::bcde) {
        EXPECT_EQ(s.de(), r.in == In::de_hl ? uint16_t(o.left) : before.de()) << "DE";
        EXPECT_EQ(s.bc(), before.bc()) << "BC";
    }
    EXPECT_EQ(s.ix, before.ix) << "IX";
    EXPECT_EQ(s.iy, before.iy) << "IY";
    EXPECT_EQ(s.alt, before.alt) << "alternates";
    if (!(r.changes & runtime::kA)) {
        EXPECT_EQ(s.main[vsim::rA], before.main[vsim::rA]) << "A";
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Z180Routine, ::testing::ValuesIn(rows()), [](const auto &i) {
    return std::string(i.param.routine->name) + "_" + i.param.operands.name;
});

// Z180.LIB holds the rows' routines and nothing else global, and none of them reaches the
// Vireon image: its part is passed over outside a Z180 compile.
TEST(Z180Library, DefinesExactlyItsRowsForTheZ180Only)
{
    const Image &lib = z180_library();
    ASSERT_TRUE(lib.messages.empty()) << lib.messages.front();
    std::set<std::string> rows_named, defined;
    for (const runtime::Routine &r : runtime::kZ180Routines)
        rows_named.insert(std::string(r.name));
    for (const auto &[name, address] : lib.globals)
        defined.insert(name);
    EXPECT_EQ(defined, rows_named);
    for (const runtime::Routine &r : runtime::kZ180Routines) {
        EXPECT_EQ(runtime_image().globals.count(std::string(r.name)), 0u) << r.name;
        EXPECT_EQ(runtime::find_routine(r.name), nullptr) << r.name << " is a Vireon row too";
    }
}

} // namespace
