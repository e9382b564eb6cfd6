// Switch dispatch through "_switch" with its table in the constant cache and inline in xmem code,
// and the inline bit operations: the exact lines, and runs on the simulated CPU.
#include "CodegenFixture.h"

#include "codegen/CC_Z80BLT.h"

namespace {

using namespace codegen_test;

constexpr uint16_t kConstants = 0x6000;

// ---- switch --------------------------------------------------------------------------------------

TEST_F(CodegenTest, SwitchWithoutCasesEmitsNothing)
{
    const uint32_t start = here();
    gen_switch_dispatch(constant_cache(), nullptr, 0);
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(here(), start);
}

TEST_F(CodegenTest, SwitchLoadsTheCountAndTheTableAndCallsSwitch)
{
    constant_cache().SetAddress(kConstants);
    const SwitchCase cases[2] = {{5, 0x4321}, {-2, make_addr(0x12, 0xE456)}};
    gen_switch_dispatch(constant_cache(), cases, 2);
    ASSERT_EQ(lines().size(), 3u);
    EXPECT_EQ(lines()[0], "ld bc, 2");
    EXPECT_EQ(lines()[1].rfind("ld de, KXLAB__QB", 0), 0u) << lines()[1];
    EXPECT_EQ(lines()[2], "call _switch");
    constant_cache().Flush();
    EXPECT_EQ(bytes(kConstants, 10), (std::vector<uint8_t>{0x05, 0x00, 0x21, 0x43, 0x00, 0xFE, 0xFF,
                                                           0x56, 0xE4, 0x12}));
}

struct SwitchRun {
    const char *name;
    bool inline_table;
};

class Switch : public CodegenTest, public ::testing::WithParamInterface<SwitchRun> {};

// Case bodies load A with their number; the default loads 0xDD. Every case value reaches its
// label; the values around them and the ends of the range reach the default.
TEST_P(Switch, EveryValueReachesItsLabelOrTheDefault)
{
    load_runtime_library();
    constant_cache().SetAddress(kConstants);
    if (GetParam().inline_table)
        set_current_code_cache(xmem_code_cache());
    const int16_t values[] = {5, 100, -7, 0x4000};
    SwitchCase cases[4];
    for (int i = 0; i < 4; ++i) {
        cases[i] = {values[i], here()};
        outasm("ld a, %d", i + 1);
        outasm("jp done");
    }
    const uint32_t start = here();
    gen_switch_dispatch(GetParam().inline_table ? xmem_code_cache() : constant_cache(), cases, 4);
    outasm("ld a, 0xDD");
    define_label("done", here(), kLabelLocal);
    const uint16_t stop = addr_offset(here());
    outasm("nop");
    constant_cache().Flush();

    const std::pair<int16_t, uint8_t> expected[] = {{5, 1},      {100, 2},     {-7, 3},
                                                    {0x4000, 4}, {-32768, 0xDD}, {-1, 0xDD},
                                                    {0, 0xDD},   {32767, 0xDD}, {6, 0xDD}};
    for (const auto &[value, a] : expected) {
        vsim::CpuState initial = fresh_cpu();
        initial.set_hl(static_cast<uint16_t>(value));
        const RunResult r = run(start, stop, &initial);
        ASSERT_TRUE(r.stopped) << value;
        EXPECT_EQ(r.cpu.main[vsim::rA], a) << "value " << value;
        EXPECT_EQ(r.cpu.sp, kStackTop) << "value " << value;
    }
}

INSTANTIATE_TEST_SUITE_P(All, Switch,
                         ::testing::Values(SwitchRun{"table_in_constants", false},
                                           SwitchRun{"table_inline_in_xmem", true}),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, InlineTableIsSkippedWithJpOnTheZ180)
{
    (void)select_target_cpu(0, 1);
    set_current_code_cache(xmem_code_cache());
    const SwitchCase cases[1] = {{1, 0x4000}};
    gen_switch_dispatch(xmem_code_cache(), cases, 1);
    ASSERT_EQ(lines().size(), 4u);
    EXPECT_EQ(lines()[3].rfind("jp KXLAB__QB", 0), 0u) << lines()[3];
}

// ---- bits ----------------------------------------------------------------------------------------

struct BitLineCase {
    const char *name;
    BitOperation operation;
    int32_t bit;
    std::vector<std::string> lines;
};

const BitLineCase kBitLines[] = {
    {"set_bit_0", kBitSet, 0, {"set 0, (hl)"}},
    {"reset_bit_8_next_byte", kBitReset, 8, {"inc hl", "res 0, (hl)"}},
    {"set_bit_31_fourth_byte", kBitSet, 31, {"inc hl", "inc hl", "inc hl", "set 7, (hl)"}},
};

class BitLines : public CodegenTest, public ::testing::WithParamInterface<BitLineCase> {};

TEST_P(BitLines, AreEmittedAsDescribed)
{
    gen_constant_bit_operation(GetParam().operation, kBitMemory, GetParam().bit);
    EXPECT_EQ(lines(), GetParam().lines);
    EXPECT_TRUE(summaries().empty());
}

INSTANTIATE_TEST_SUITE_P(All, BitLines, ::testing::ValuesIn(kBitLines),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, BitTestOfBit8ReadsTheNextByte)
{
    gen_constant_bit_operation(kBitTest, kBitMemory, 8);
    ASSERT_EQ(lines().size(), 5u);
    EXPECT_EQ(lines()[0], "inc hl");
    EXPECT_EQ(lines()[1], "bit 0, (hl)");
    EXPECT_EQ(lines()[2], "ld hl, 0");
    EXPECT_EQ(lines()[3].rfind("jr z, KXLAB__QB", 0), 0u);
    EXPECT_EQ(lines()[4], "inc hl");
}

TEST_F(CodegenTest, BitNumbersOutsideTheLongAreRefused)
{
    for (int32_t bit : {32, -1, 1000}) {
        reset_errors();
        gen_constant_bit_operation(kBitSet, kBitMemory, bit);
        EXPECT_EQ(summaries(), std::vector<std::string>{"Bit number too large."}) << bit;
    }
    EXPECT_TRUE(lines().empty());
}

TEST_F(CodegenTest, BitInIoSpaceIsPrefixedAndRefusedOnTheZ180)
{
    const uint32_t start = here();
    gen_constant_bit_operation(kBitSet, kBitInternalIo, 2);
    EXPECT_EQ(emitted(root_code_cache(), start), (std::vector<uint8_t>{0xD3, 0xCB, 0xD6}));
    (void)select_target_cpu(0, 1);
    gen_constant_bit_operation(kBitSet, kBitExternalIo, 2);
    EXPECT_EQ(summaries(), std::vector<std::string>{"Unknown opcode for target CPU."});
}

// Test, set and reset of every bit of a 32-bit value in memory, at address 0x8000 and at 0 (where
// the address itself is 0 and must not be taken for the result).
TEST_F(CodegenTest, BitOperationsRunOnMemory)
{
    for (const uint16_t address : {uint16_t{kData}, uint16_t{0x0000}}) {
        for (int32_t bit : {0, 7, 8, 13, 31}) {
            SCOPED_TRACE("address " + std::to_string(address) + " bit " + std::to_string(bit));
            for (const BitOperation op : {kBitTest, kBitSet, kBitReset}) {
                for (const bool was_set : {false, true}) {
                    recorder.lines.clear();
                    const uint32_t start = here();
                    gen_constant_bit_operation(op, kBitMemory, bit);
                    const uint16_t stop = addr_offset(here());
                    outasm("nop");
                    const uint32_t value = was_set ? (1u << bit) : ~(1u << bit);
                    data.clear();
                    std::vector<uint8_t> bytes_before(4);
                    for (int i = 0; i < 4; ++i)
                        bytes_before[i] = static_cast<uint8_t>(value >> (8 * i));
                    vsim::CpuState initial = fresh_cpu();
                    initial.set_hl(address);
                    if (address == 0) {
                        // Root address 0 is code: test only, on the bytes the code holds there.
                        if (op != kBitTest || !was_set)
                            continue;
                        const RunResult r = run(start, stop, &initial);
                        ASSERT_TRUE(r.stopped);
                        const uint8_t byte = bytes(addr_add(0, bit / 8), 1)[0];
                        EXPECT_EQ(r.cpu.hl(), (byte >> (bit % 8)) & 1u);
                        continue;
                    }
                    for (int i = 0; i < 4; ++i)
                        data[address + i] = bytes_before[i];
                    const RunResult r = run(start, stop, &initial);
                    ASSERT_TRUE(r.stopped);
                    uint32_t after = 0;
                    for (int i = 0; i < 4; ++i)
                        after |= uint32_t(ram(static_cast<uint16_t>(address + i))) << (8 * i);
                    if (op == kBitTest) {
                        EXPECT_EQ(r.cpu.hl(), was_set ? 1u : 0u);
                        EXPECT_EQ(after, value);
                    } else {
                        EXPECT_EQ(after, op == kBitSet ? (value | 1u << bit) : (value & ~(1u << bit)));
                    }
                }
            }
        }
    }
}

}  // namespace
