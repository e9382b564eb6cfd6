// The single-line emitters, pushes and pops, the stack adjuster, the primary/stack swap and block
// moves: the exact lines, what they do on the simulated CPU, and the refusals of bad arguments.
#include "CodegenFixture.h"

#include <functional>

namespace {

using namespace codegen_test;

// ---- single lines ---------------------------------------------------------------------------------

struct LineCase {
    const char *name;
    std::function<void()> emit;
    std::vector<std::string> lines;
};

const LineCase kLines[] = {
    {"ipset", [] { gen_ipset(3); }, {"ipset 3"}},
    {"ipres", [] { gen_ipres(); }, {"ipres"}},
    {"exchange_de_hl", [] { gen_exchange_de_hl(); }, {"ex de, hl"}},
    {"add_hl_sp", [] { gen_add_hl_sp(); }, {"add hl, sp"}},
    {"add_hl_hl", [] { gen_add_hl_hl(); }, {"add hl, hl"}},
    {"add_hl_de", [] { gen_add_hl_de(); }, {"add hl, de"}},
    {"sub_hl_de", [] { gen_sub_hl_de(); }, {"or a", "sbc hl, de"}},
    {"ld_a_l", [] { gen_ld_a_l(); }, {"ld a, l"}},
    {"debug_rst", [] { gen_debug_rst(); }, {"rst 0x28"}},
    {"widen_a_to_hl", [] { gen_widen_a_to_hl(); }, {"ld l, a", "ld h, 0"}},
    {"push_each", [] { for (int id = kRidBC; id <= kRidIY; ++id) gen_push_register(id); },
     {"push bc", "push de", "push hl", "push af", "push ix", "push iy"}},
    {"pop_each", [] { for (int id = kRidBC; id <= kRidIY; ++id) gen_pop_register(id); },
     {"pop bc", "pop de", "pop hl", "pop af", "pop ix", "pop iy"}},
    {"swap_int", [] { gen_swap_primary_with_stack(2); }, {"ex (sp), hl"}},
    {"swap_address", [] { gen_swap_primary_with_stack(12); }, {"ex (sp), hl"}},
    {"swap_long", [] { gen_swap_primary_with_stack(5); }, {"call swap4_"}},
};

class Line : public CodegenTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(Line, IsAssembledAsWritten)
{
    GetParam().emit();
    EXPECT_EQ(lines(), GetParam().lines);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
}

INSTANTIATE_TEST_SUITE_P(All, Line, ::testing::ValuesIn(kLines),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, WidenedAHoldsTheCharInHl)
{
    const uint32_t start = here();
    gen_widen_a_to_hl();
    vsim::CpuState initial = fresh_cpu();
    initial.main[vsim::rA] = 0xF0;
    initial.set_hl(0xFFFF);
    const RunResult r = run(start, addr_offset(here()), &initial);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.hl(), 0x00F0);
}

// ---- bad arguments --------------------------------------------------------------------------------

struct BadCase {
    const char *name;
    std::function<void()> emit;
    const char *message;
    int16_t offset;  // the stack offset afterwards
};

const BadCase kBad[] = {
    {"push_from_a", [] { gen_push_register(kRidA); }, "Internal error: Push stack from invalid register.",
     -2},
    {"push_from_none", [] { gen_push_register(13); },
     "Internal error: Push stack from invalid register.", -2},
    {"pop_into_h", [] { gen_pop_register(kRidH); }, "Internal error: Pop stack into invalid register.",
     2},
    {"ipset_4", [] { gen_ipset(4); }, "Range error", 0},
    {"ipset_minus_1", [] { gen_ipset(-1); }, "Range error", 0},
    {"swap_char", [] { gen_swap_primary_with_stack(1); },
     "Internal error: Unable to swap primary values.", 0},
    {"swap_structure", [] { gen_swap_primary_with_stack(16); },
     "Internal error: Unable to swap primary values.", 0},
};

class Bad : public CodegenTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(Bad, IsReportedWithoutALine)
{
    const uint32_t start = here();
    EXPECT_NO_THROW(GetParam().emit());
    EXPECT_EQ(summaries(), std::vector<std::string>{GetParam().message});
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(here(), start);
    EXPECT_EQ(stack_offset(), GetParam().offset);
}

INSTANTIATE_TEST_SUITE_P(All, Bad, ::testing::ValuesIn(kBad),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- stack adjustment -------------------------------------------------------------------------------

struct AdjustCase {
    const char *name;
    int cpu;  // 1 F80, 0 Z180
    bool size_flag;
    int16_t n;
    bool keep_hl;
    std::vector<std::string> lines;
};

const std::vector<std::string> kThroughHl = {"ld hl, 382", "add hl, sp", "ld sp, hl"};

const AdjustCase kAdjust[] = {
    {"f80_381", 1, false, 381, false, {"add sp, 127", "add sp, 127", "add sp, 127"}},
    {"f80_minus_381", 1, false, -381, false, {"add sp, -128", "add sp, -128", "add sp, -125"}},
    {"f80_382", 1, false, 382, false, kThroughHl},
    {"f80_382_keeping_hl", 1, false, 382, true,
     {"exx", "ld hl, 382", "add hl, sp", "ld sp, hl", "exx"}},
    {"f80_minus_6", 1, false, -6, true, {"add sp, -6"}},
    {"f80_odd", 1, false, 3, false, {"add sp, 3"}},
    {"z180_minus_4", 0, false, -4, false, {"push af", "push af"}},
    {"z180_plus_4", 0, false, 4, true, {"pop af", "pop af"}},
    {"z180_odd", 0, false, 3, false, {"ld hl, 3", "add hl, sp", "ld sp, hl"}},
    {"z180_odd_keeping_hl", 0, false, -3, true, {"exx", "ld hl, -3", "add hl, sp", "ld sp, hl", "exx"}},
    {"z180_6_through_hl", 0, false, 6, false, {"ld hl, 6", "add hl, sp", "ld sp, hl"}},
    {"z180_size_10", 0, true, 10, false, {"pop af", "pop af", "pop af", "pop af", "pop af"}},
    {"z180_size_12_through_hl", 0, true, 12, false, {"ld hl, 12", "add hl, sp", "ld sp, hl"}},
    {"z180_size_14_keeping_hl", 0, true, -14, true,
     {"push af", "push af", "push af", "push af", "push af", "push af", "push af"}},
    {"nothing_for_0", 1, false, 0, true, {}},
};

class Adjust : public CodegenTest, public ::testing::WithParamInterface<AdjustCase> {};

TEST_P(Adjust, MovesSpByExactlyNKeepingHlWhenAsked)
{
    const AdjustCase &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    set_codegen_function_context({[&] { return c.size_flag ? 1u << 12 : 0u; }, {}, {}, {}, {}});
    set_condition_state(true, true);
    const uint32_t start = here();
    gen_adjust_stack(c.n, c.keep_hl);
    EXPECT_EQ(lines(), c.lines);
    EXPECT_TRUE(summaries().empty());
    EXPECT_EQ(stack_offset(), 0) << "the tracked offset is the caller's";
    if (c.n == 0)
        return;
    EXPECT_FALSE(comparison_flags_set()) << "the flags no longer reflect the value";

    vsim::CpuState initial = fresh_cpu();
    initial.sp = 0xD800;
    initial.set_hl(0x1234);
    const RunResult r = run(start, addr_offset(here()), &initial);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.sp, static_cast<uint16_t>(0xD800 + c.n));
    if (c.keep_hl) {
        EXPECT_EQ(r.cpu.hl(), 0x1234);
    }
}

INSTANTIATE_TEST_SUITE_P(All, Adjust, ::testing::ValuesIn(kAdjust),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, StackAdjustmentForAnUnknownCpuEmitsNothing)
{
    set_asm_target(2, 0);
    gen_adjust_stack(8, false);
    EXPECT_TRUE(lines().empty());
}

// ---- block moves -----------------------------------------------------------------------------------

struct MoveCase {
    const char *name;
    int cpu;
    bool data_wait;
    uint16_t count;
    std::function<void(object &)> destination;
    std::vector<std::string> lines;
};

const MoveCase kMoves[] = {
    {"plain_ldir", 1, false, 10, [](object &) {}, {"ldir"}},
    {"storage_space_1", 1, false, 10, [](object &o) { o.flags[0] |= 1 << 2; }, {"call doldir_s"}},
    {"storage_space_1_of_the_symbol", 1, true, 10,
     [](object &o) {
         static symbol s;
         s.flags[0] = 1 << 2;
         o.sym = &s;
     },
     {"call doldir_s"}},
    {"data_waits_10", 1, true, 10, [](object &) {}, {"ldi", "jp lo, KXLAB__QB00000000"}},
    {"data_waits_25", 1, true, 25, [](object &) {}, {"ldi", "jp lo, KXLAB__QB00000000"}},
    {"data_waits_26", 1, true, 26, [](object &) {}, {"call ldir_func"}},
    {"internal_io", 1, false, 4, [](object &o) { set_obj_flag(&o, internalIo, true); },
     {"ioi ldir"}},
    {"external_io_with_data_waits", 1, true, 4,
     [](object &o) { set_obj_flag(&o, externalIo, true); }, {"ioe ldir"}},
};

class BlockMove : public CodegenTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(BlockMove, ChoosesTheInstructionOrRoutine)
{
    const MoveCase &c = GetParam();
    set_data_wait_flag(c.data_wait ? 1 : 0);
    object destination = global_at(kData + 0x40, 1);
    c.destination(destination);
    const uint32_t start = here();
    gen_block_move(&destination, c.count);
    EXPECT_EQ(lines(), c.lines);
    EXPECT_TRUE(summaries().empty());
    if (c.lines.front() == "ioi ldir" || c.lines.front() == "ioe ldir") {
        EXPECT_EQ(emitted(root_code_cache(), start),
                  (std::vector<uint8_t>{c.lines.front() == "ioi ldir" ? uint8_t(0xD3) : uint8_t(0xDB),
                                        0xED, 0xB0}));
    }
}

INSTANTIATE_TEST_SUITE_P(All, BlockMove, ::testing::ValuesIn(kMoves),
                         [](const auto &i) { return std::string(i.param.name); });

// The "ldi" loop and "ldir" copy exactly the count, and nothing behind it.
TEST_F(CodegenTest, BlockMovesCopyExactlyTheCount)
{
    for (bool data_wait : {true, false}) {
        SCOPED_TRACE(data_wait ? "ldi loop" : "ldir");
        set_data_wait_flag(data_wait ? 1 : 0);
        object destination = global_at(kData + 0x40, 1);
        const uint32_t start = here();
        gen_block_move(&destination, 10);
        data.clear();
        for (uint16_t i = 0; i < 16; ++i) {
            data[kData + i] = static_cast<uint8_t>(0xA0 + i);
            data[kData + 0x40 + i] = 0;
        }
        vsim::CpuState initial = fresh_cpu();
        initial.set_hl(kData);
        initial.set_de(kData + 0x40);
        initial.set_bc(10);
        const RunResult r = run(start, addr_offset(here()), &initial);
        ASSERT_TRUE(r.stopped);
        for (uint16_t i = 0; i < 10; ++i)
            EXPECT_EQ(ram(kData + 0x40 + i), 0xA0 + i) << "byte " << i;
        EXPECT_EQ(ram(kData + 0x40 + 10), 0) << "one byte too many";
        EXPECT_EQ(r.cpu.bc(), 0);
    }
}

TEST_F(CodegenTest, IoBlockMoveOnTheZ180IsAnError)
{
    (void)select_target_cpu(0, 1);
    object destination = global_at(0x40, 1);
    set_obj_flag(&destination, internalIo, true);
    const uint32_t start = here();
    gen_block_move(&destination, 4);
    EXPECT_EQ(summaries(), std::vector<std::string>{"Unknown opcode for target CPU."});
    EXPECT_EQ(here(), start);
}

}  // namespace
