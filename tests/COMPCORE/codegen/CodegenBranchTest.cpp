// The branch emitters: short and long forms by where the target lies, root bouncers between xmem
// pages, calls under "No Bouncers" and the long-call rules, back-patching of jumps and calls once
// their target is known, conditional calls, and the inline assembler's jumps and calls that come
// through these emitters. Runs check where the CPU arrives and with which XPC.
#include "CodegenFixture.h"

#include <array>
#include <functional>

namespace {

using namespace codegen_test;

// A landing place in page B: "ld a, 0x55" and the stop address behind it.
constexpr uint32_t kLandingB = make_addr(kPageB, 0xE100);
constexpr uint16_t kLandedB = 0xE102;

class Branch : public CodegenTest {
protected:
    std::vector<std::array<uint32_t, 3>> listing;

    void SetUp() override
    {
        CodegenTest::SetUp();
        set_listing_recorder([this](ADDR24 s, ADDR24 e, int k) { listing.push_back({s, e, uint32_t(k)}); });
    }

    // "ld a, 0x55" at kLandingB, the xmem cache left where it was.
    void land_in_page_b()
    {
        EmitCache &x = xmem_code_cache();
        EmitCache &was = current_code_cache();
        const uint32_t saved = x.current;
        x.SetAddress(kLandingB);
        set_current_code_cache(x);
        outasm("ld a, 0x55");
        x.SetAddress(saved);
        set_current_code_cache(was);
    }
    void emit_in_xmem() { set_current_code_cache(xmem_code_cache()); }
    RunResult run_to_landing(uint32_t start, uint8_t flags = 0)
    {
        vsim::CpuState initial = fresh_cpu();
        initial.main[vsim::rF] = flags;
        return run(start, kLandedB, &initial);
    }
    // A "jp z" to the landing in page B at `start`: taken with Z, else the code goes on behind
    // it with "ld a, 0x11" up to `fell_through`.
    void expect_taken_only_with_z(uint32_t start, uint16_t fell_through)
    {
        RunResult r = run_to_landing(start, vsim::kFlagZ);
        ASSERT_TRUE(r.stopped);
        EXPECT_EQ(r.cpu.xpc, kPageB);
        vsim::CpuState initial = fresh_cpu();
        r = run(start, fell_through, &initial);
        ASSERT_TRUE(r.stopped) << "without Z the code goes on behind the jump";
        EXPECT_EQ(r.cpu.main[vsim::rA], 0x11);
    }
};

// ---- gen_jump ------------------------------------------------------------------------------------

TEST_F(Branch, JumpBetweenXmemPagesGoesThroughARootBouncer)
{
    land_in_page_b();
    emit_in_xmem();
    const uint32_t start = here();
    const uint32_t bouncer = root_code_cache().current;
    const BranchRecord b = gen_jump(kLandingB, kOpJp);
    EXPECT_EQ(b.opcode, kOpLjp);
    EXPECT_EQ(b.operand, addr_add(bouncer, 1));
    EXPECT_EQ(emitted(xmem_code_cache(), start),
              (std::vector<uint8_t>{0xC3, uint8_t(bouncer), uint8_t(bouncer >> 8)}));
    EXPECT_EQ(emitted(root_code_cache(), bouncer), (std::vector<uint8_t>{0xC7, 0x00, 0xE1, kPageB}));
    ASSERT_EQ(listing.size(), 2u);
    EXPECT_EQ(listing[0], (std::array<uint32_t, 3>{bouncer, addr_add(bouncer, 4), 4}));
    EXPECT_EQ(listing[1], (std::array<uint32_t, 3>{start, addr_add(start, 3), 4}));

    const RunResult r = run_to_landing(start);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.xpc, kPageB);
    EXPECT_EQ(r.cpu.main[vsim::rA], 0x55);
}

// A measured block (a dry run or a trial pass) is written again for real: its jumps leave the
// root code alone.
TEST_F(Branch, MeasuredJumpBetweenXmemPagesWritesNoBouncer)
{
    emit_in_xmem();
    const uint32_t start = here();
    const uint32_t root_before = root_code_cache().current;
    set_asm_dry_run_depth(1);
    (void)gen_jump(kLandingB, kOpJp);
    set_asm_dry_run_depth(0);
    EXPECT_EQ(root_code_cache().current, root_before);
    EXPECT_EQ(here(), addr_add(start, 3)) << "as long as the real jump";
    EXPECT_TRUE(listing.empty());
}

struct JumpCase {
    const char *name;
    bool from_xmem;
    uint32_t target;
    uint8_t opcode;
    uint8_t written;
    std::vector<uint8_t> bytes;
};

const JumpCase kJumps[] = {
    {"root_to_root", false, 0x4321, kOpJp, kOpJp, {0xC3, 0x21, 0x43}},
    {"xmem_to_root", true, 0x4321, 0xCA, 0xCA, {0xCA, 0x21, 0x43}},
    {"same_xmem_page", true, make_addr(kPageA, 0xE200), kOpJp, kOpJp, {0xC3, 0x00, 0xE2}},
    {"relative_never_long", true, kLandingB, 0x18, 0x18, {0x18, 0x00}},
    {"relative_from_root", false, make_addr(kPageB, 0xE105), 0x20, 0x20, {0x20, 0x05}},
    {"ljp_to_root_keeps_its_page_byte", false, 0x4321, kOpLjp, kOpLjp, {0xC7, 0x21, 0x43, 0x00}},
    {"ljp_to_xmem", true, kLandingB, kOpLjp, kOpLjp, {0xC7, 0x00, 0xE1, kPageB}},
    {"root_to_xmem_long", false, kLandingB, kOpJp, kOpLjp, {0xC7, 0x00, 0xE1, kPageB}},
    // a condition skips the long jump on its inverse
    {"root_to_xmem_conditional", false, kLandingB, 0xCA, kOpLjp,
     {0xC2, 0x07, 0x40, 0xC7, 0x00, 0xE1, kPageB}},
};

class Jump : public Branch, public ::testing::WithParamInterface<JumpCase> {};

TEST_P(Jump, TakesTheFormTheTargetNeeds)
{
    const JumpCase &c = GetParam();
    if (c.from_xmem)
        emit_in_xmem();
    const uint32_t start = here();
    const uint32_t root_before = root_code_cache().current;
    const BranchRecord b = gen_jump(c.target, c.opcode);
    EXPECT_EQ(b.opcode, c.written);
    EXPECT_EQ(emitted(current_code_cache(), start), c.bytes);
    if (c.from_xmem) {
        EXPECT_EQ(root_code_cache().current, root_before) << "no bouncer";
    }
    EXPECT_EQ(last_instruction_address(), here());
}

INSTANTIATE_TEST_SUITE_P(All, Jump, ::testing::ValuesIn(kJumps),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(Branch, ConditionalJumpFromRootToXmemIsTakenOnlyUnderItsCondition)
{
    land_in_page_b();
    const uint32_t start = here();
    (void)gen_jump(kLandingB, 0xCA);  // jp z
    outasm("ld a, 0x11");
    expect_taken_only_with_z(start, addr_offset(here()));
}

TEST_F(Branch, JumpFromRootArrivesInTheTargetsPage)
{
    land_in_page_b();
    const uint32_t start = here();
    (void)gen_jump(kLandingB, kOpJp);
    const RunResult r = run_to_landing(start);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.xpc, kPageB);
}

// ---- calls ---------------------------------------------------------------------------------------

struct CallCase {
    const char *name;
    bool from_xmem;
    bool no_bouncers;
    int long_nesting;
    int cpu;
    uint32_t target;
    std::vector<uint8_t> bytes;
};

const CallCase kCalls[] = {
    {"xmem_call_no_bouncers_is_lcall", true, true, 0, 1, kLandingB,
     {0xCF, 0x00, 0xE1, kPageB}},
    {"xmem_call_with_bouncers_stays_call", true, false, 0, 1, 0x4321, {0xCD, 0x21, 0x43}},
    // a root function returns with "ret": it is called short from xmem too
    {"xmem_call_to_root_stays_call", true, true, 0, 1, 0x4321, {0xCD, 0x21, 0x43}},
    {"root_call", false, true, 0, 1, 0x4321, {0xCD, 0x21, 0x43}},
    {"placeholder_call_keeps_room_for_the_page", false, true, 0, 1, kDummyAddress,
     {0xCD, 0x00, 0x00, 0x00}},
    {"placeholder_call_with_bouncers", false, false, 0, 1, kDummyAddress, {0xCD, 0x00, 0x00}},
    {"long_call_nesting", false, false, 1, 1, 0x4321, {0xCF, 0x21, 0x43, 0x00}},
    {"z180_never_long", false, true, 1, 0, 0x4321, {0xCD, 0x21, 0x43}},
};

class Call : public Branch, public ::testing::WithParamInterface<CallCase> {};

TEST_P(Call, IsWrittenWithTheCallRules)
{
    const CallCase &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    IdePreferences().no_bouncers = c.no_bouncers;
    set_codegen_function_context({{}, {}, [&] { return c.long_nesting; }, {}, {}});
    if (c.from_xmem)
        emit_in_xmem();
    const uint32_t start = here();
    const uint32_t root_before = root_code_cache().current;
    uint32_t operand = 0;
    emit_branch_instruction(c.target, kOpCall, &operand, nullptr);
    EXPECT_EQ(operand, addr_add(start, 1));
    EXPECT_EQ(emitted(current_code_cache(), start), c.bytes);
    if (c.from_xmem) {
        EXPECT_EQ(root_code_cache().current, root_before) << "no bouncer";
    }
    EXPECT_TRUE(summaries().empty());
}

INSTANTIATE_TEST_SUITE_P(All, Call, ::testing::ValuesIn(kCalls),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(Branch, LongCallFunctionIsCalledWithLcall)
{
    symbol f;
    set_codegen_function_context({{}, {}, {}, [&](const symbol *s) { return s == &f; }, {}});
    const uint32_t start = here();
    emit_branch_instruction(0x4321, kOpCall, nullptr, &f);
    EXPECT_EQ(emitted(root_code_cache(), start), (std::vector<uint8_t>{0xCF, 0x21, 0x43, 0x00}));
}

TEST_F(Branch, LongFormsOnTheZ180AreErrorsNotRestarts)
{
    (void)select_target_cpu(0, 1);
    const uint32_t start = here();
    emit_far_branch(kLandingB, kOpLjp, nullptr, nullptr);
    EXPECT_EQ(summaries(), (std::vector<std::string>{"Unknown opcode for target CPU."}));
    const std::vector<uint8_t> got = emitted(root_code_cache(), start);
    for (uint8_t b : got)
        EXPECT_TRUE(b != 0xC7 && b != 0xCF) << "a restart instead of a long branch";
}

// The Z180 maps another page into the window (CBR) in a root bouncer: the branch keeps its
// condition at the site, the bouncer keeps A and the flags. (tests/data/cc/xmempages runs it.)
TEST_F(Branch, JumpIntoAnotherPageOnTheZ180GoesThroughAPageBouncer)
{
    (void)select_target_cpu(0, 1);
    for (const bool from_xmem : {true, false}) {
        if (from_xmem)
            emit_in_xmem();
        else
            set_current_code_cache(root_code_cache());
        const uint32_t start = here();
        const uint32_t bouncer = root_code_cache().current;
        const BranchRecord b = gen_jump(kLandingB, 0xCA);  // jp z
        EXPECT_EQ(b.opcode, kOpJp);
        EXPECT_EQ(b.operand, addr_add(bouncer, 8));
        std::vector<uint8_t> bounce = emitted(root_code_cache(), bouncer);
        bounce.resize(10);  // from root the site follows the bouncer
        EXPECT_EQ(bounce, (std::vector<uint8_t>{0xF5, 0x3E, kPageB, 0xED, 0x39, 0x38, 0xF1, 0xC3,
                                                0x00, 0xE1}))
            << "push af; ld a, page; out0 (0x38), a; pop af; jp offset";
        const uint32_t site = from_xmem ? start : addr_add(bouncer, 10);
        EXPECT_EQ(emitted(current_code_cache(), site),
                  (std::vector<uint8_t>{0xCA, uint8_t(bouncer), uint8_t(bouncer >> 8)}));
    }
    EXPECT_TRUE(summaries().empty());
}

TEST_F(Branch, LcallToXmemRunsAndReturns)
{
    // in page B: "ld a, 0x66", "lret"
    EmitCache &x = xmem_code_cache();
    x.SetAddress(kLandingB);
    set_current_code_cache(x);
    outasm("ld a, 0x66");
    outasm("lret");
    x.SetAddress(kXmemA);
    const uint32_t start = here();
    emit_branch_instruction(kLandingB, kOpCall, nullptr, nullptr);
    const uint16_t back = addr_offset(here());
    const RunResult r = run(start, back);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.xpc, kPageA);
    EXPECT_EQ(r.cpu.main[vsim::rA], 0x66);
    EXPECT_EQ(r.cpu.sp, kStackTop);
}

// ---- back-patching -------------------------------------------------------------------------------

TEST_F(Branch, ForwardJumpToRootIsPatchedInPlace)
{
    const uint32_t start = here();
    const BranchRecord b = gen_jump(kDummyAddress, kOpJp);
    outasm("ld a, 0x11");
    const uint32_t target = here();
    outasm("ld a, 0x22");
    patch_jump(b, target);
    const RunResult r = run(start, addr_offset(here()));
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.main[vsim::rA], 0x22);
}

TEST_F(Branch, ForwardJumpInXmemToTheSamePageIsPatchedInPlace)
{
    emit_in_xmem();
    const uint32_t start = here();
    const uint32_t root_before = root_code_cache().current;
    const BranchRecord b = gen_jump(kDummyAddress, kOpJp);
    outasm("ld a, 0x11");
    const uint32_t target = here();
    outasm("ld a, 0x22");
    const uint32_t end = here();
    patch_jump(b, target);
    EXPECT_EQ(here(), end) << "emission goes on where it was";
    EXPECT_EQ(root_code_cache().current, root_before);
    const RunResult r = run(start, addr_offset(end));
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.main[vsim::rA], 0x22);
}

TEST_F(Branch, ForwardJumpInXmemToAnotherPageGetsARootBouncer)
{
    land_in_page_b();
    emit_in_xmem();
    const uint32_t start = here();
    const BranchRecord b = gen_jump(kDummyAddress, kOpJp);
    outasm("nop");
    const uint32_t end = here();
    const uint32_t bouncer = root_code_cache().current;
    patch_jump(b, kLandingB);
    EXPECT_EQ(here(), end);
    EXPECT_EQ(bytes(bouncer, 4), (std::vector<uint8_t>{0xC7, 0x00, 0xE1, kPageB}));
    const RunResult r = run_to_landing(start);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.xpc, kPageB);
}

// A root jump to an xmem target goes to a bouncer at the end of the root code, which survives:
// the root code goes on behind it.
TEST_F(Branch, ForwardJumpFromRootToXmemGoesThroughABouncerThatStays)
{
    land_in_page_b();
    for (bool no_bouncers : {true, false}) {
        SCOPED_TRACE(no_bouncers ? "No Bouncers" : "bouncers");
        IdePreferences().no_bouncers = no_bouncers;
        const uint32_t start = here();
        const BranchRecord b = gen_jump(kDummyAddress, kOpJp);
        outasm("nop");
        const uint32_t bouncer = here();
        patch_jump(b, kLandingB);
        EXPECT_EQ(bytes(start, 3),
                  (std::vector<uint8_t>{0xC3, uint8_t(bouncer), uint8_t(bouncer >> 8)}));
        EXPECT_EQ(bytes(bouncer, 4), (std::vector<uint8_t>{0xC7, 0x00, 0xE1, kPageB}));
        EXPECT_EQ(here(), addr_add(bouncer, 4)) << "root code goes on behind the bouncer";
        const RunResult r = run_to_landing(start);
        ASSERT_TRUE(r.stopped);
        EXPECT_EQ(r.cpu.xpc, kPageB);
    }
}

TEST_F(Branch, ForwardConditionalJumpFromRootToXmemKeepsItsCondition)
{
    land_in_page_b();
    const uint32_t start = here();
    const BranchRecord b = gen_jump(kDummyAddress, 0xCA);  // jp z
    outasm("ld a, 0x11");
    const uint16_t fell_through = addr_offset(here());
    outasm("nop");
    patch_jump(b, kLandingB);
    expect_taken_only_with_z(start, fell_through);
}

TEST_F(Branch, ForwardCallToXmemUnderNoBouncersBecomesLcallWithoutBouncer)
{
    EmitCache &x = xmem_code_cache();
    x.SetAddress(kLandingB);
    set_current_code_cache(x);
    outasm("ld a, 0x77");
    outasm("lret");
    x.SetAddress(kXmemA);
    const uint32_t start = here();
    uint32_t operand = 0;
    emit_branch_instruction(kDummyAddress, kOpCall, &operand, nullptr);
    const uint16_t back = addr_offset(here());
    const uint32_t root_before = root_code_cache().current;
    patch_jump({kOpCall, operand}, kLandingB);
    EXPECT_EQ(bytes(start, 4), (std::vector<uint8_t>{0xCF, 0x00, 0xE1, kPageB}));
    EXPECT_EQ(root_code_cache().current, root_before) << "no bouncer left";
    const RunResult r = run(start, back);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.main[vsim::rA], 0x77);
    EXPECT_EQ(r.cpu.xpc, kPageA);
}

TEST_F(Branch, PatchReadsTheOpcodeBackWhenTheRecordHasNone)
{
    emit_in_xmem();
    const uint32_t start = here();
    uint32_t operand = 0;
    emit_branch_instruction(kDummyAddress, kOpCall, &operand, nullptr);
    patch_jump({0, operand}, kLandingB);
    EXPECT_EQ(bytes(start, 4), (std::vector<uint8_t>{0xCF, 0x00, 0xE1, kPageB}));
}

TEST_F(Branch, ForwardCallToRootIsPatchedInPlace)
{
    IdePreferences().no_bouncers = false;
    uint32_t operand = 0;
    const uint32_t start = here();
    emit_branch_instruction(kDummyAddress, kOpCall, &operand, nullptr);
    patch_jump({kOpCall, operand}, 0x4567);
    EXPECT_EQ(bytes(start, 3), (std::vector<uint8_t>{0xCD, 0x67, 0x45}));
}

TEST_F(Branch, RelativeBranchIsPatchedOnlyWithinReach)
{
    const uint32_t start = here();
    const BranchRecord b = gen_jump(0, 0x18);
    patch_jump(b, make_addr(kPageB, 0xE000));
    EXPECT_EQ(summaries(), std::vector<std::string>{"Jump out of Range"});
    EXPECT_EQ(bytes(start, 2), (std::vector<uint8_t>{0x18, 0x00}));
}

// ---- conditional calls -------------------------------------------------------------------------------

struct ConditionCase {
    const char *name;
    int cc;
    uint8_t holds;    // flags under which the condition holds
    uint8_t fails;    // flags under which it does not
};

const ConditionCase kConditions[] = {
    {"nz", 0, 0, vsim::kFlagZ},          {"z", 1, vsim::kFlagZ, 0},
    {"nc", 2, 0, vsim::kFlagC},          {"c", 3, vsim::kFlagC, 0},
    {"lz", 4, 0, vsim::kFlagV},          {"lo", 5, vsim::kFlagV, 0},
    {"p", 6, 0, vsim::kFlagS},           {"m", 7, vsim::kFlagS, 0},
};

class ConditionalCall : public Branch, public ::testing::WithParamInterface<ConditionCase> {};

TEST_P(ConditionalCall, CallsExactlyWhenTheConditionHolds)
{
    // f: "ld b, 1", "ret"
    const uint32_t f = here();
    outasm("ld b, 1");
    outasm("ret");
    define_label("f", f, kLabelGlobal);
    const uint32_t start = here();
    const uint32_t call = gen_conditional_call("f", GetParam().cc);
    EXPECT_EQ(lines().back(), "call f");
    const uint16_t after = addr_offset(here());
    EXPECT_EQ(bytes(call, 3), (std::vector<uint8_t>{0xCD, uint8_t(f), uint8_t(f >> 8)}));
    for (bool holds : {true, false}) {
        SCOPED_TRACE(holds ? "holds" : "does not hold");
        vsim::CpuState initial = fresh_cpu();
        initial.main[vsim::rF] = holds ? GetParam().holds : GetParam().fails;
        const RunResult r = run(start, after, &initial);
        ASSERT_TRUE(r.stopped);
        EXPECT_EQ(r.cpu.main[vsim::rB], holds ? 1 : 0);
        EXPECT_EQ(r.cpu.sp, kStackTop);
    }
}

TEST_P(ConditionalCall, IsOneInstructionOnTheZ180)
{
    (void)select_target_cpu(0, 1);
    define_label("f", 0x4321, kLabelGlobal);
    const uint32_t start = here();
    EXPECT_EQ(gen_conditional_call("f", GetParam().cc), start);
    EXPECT_EQ(emitted(root_code_cache(), start),
              (std::vector<uint8_t>{uint8_t(0xC4 | GetParam().cc << 3), 0x21, 0x43}));
}

INSTANTIATE_TEST_SUITE_P(All, ConditionalCall, ::testing::ValuesIn(kConditions),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(Branch, ConditionalCallForAnUnknownCpuIsRefused)
{
    set_asm_target(2, 0);
    const uint32_t start = here();
    gen_conditional_call("f", 1);
    EXPECT_EQ(summaries(), std::vector<std::string>{"Unknown opcode for target CPU."});
    EXPECT_EQ(here(), start);
}

// ---- the assembler's jumps and calls -------------------------------------------------------------

TEST_F(Branch, AssembledJumpBetweenXmemPagesUsesABouncer)
{
    land_in_page_b();
    define_label("far_away", kLandingB, kLabelGlobal);
    emit_in_xmem();
    const uint32_t start = here();
    const uint32_t bouncer = root_code_cache().current;
    outasm("jp far_away");
    EXPECT_EQ(emitted(xmem_code_cache(), start),
              (std::vector<uint8_t>{0xC3, uint8_t(bouncer), uint8_t(bouncer >> 8)}));
    const RunResult r = run_to_landing(start);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.xpc, kPageB);
}

TEST_F(Branch, AssembledCallInXmemUnderNoBouncersIsLcall)
{
    define_label("far_away", kLandingB, kLabelGlobal);
    emit_in_xmem();
    const uint32_t start = here();
    outasm("call far_away");
    EXPECT_EQ(emitted(xmem_code_cache(), start), (std::vector<uint8_t>{0xCF, 0x00, 0xE1, kPageB}));
    IdePreferences().no_bouncers = false;
    const uint32_t second = here();
    outasm("call 0x4321");
    EXPECT_EQ(emitted(xmem_code_cache(), second), (std::vector<uint8_t>{0xCD, 0x21, 0x43}));
}

TEST_F(Branch, AssembledForwardJumpIsQueuedAtItsOperand)
{
    const uint32_t start = here();
    outasm("jp later");
    outasm("ld a, 0x11");
    define_label("later", here(), kLabelLocal);
    outasm("ld a, 0x22");
    const RunResult r = run(start, addr_offset(here()));
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.main[vsim::rA], 0x22);
}

TEST_F(Branch, BlockMoveReplacementCallsThroughTheBranchEmitter)
{
    set_asm_block_move_replacement(true);
    define_label("ldir_func", 0x4321, kLabelGlobal);
    emit_in_xmem();
    const uint32_t start = here();
    outasm("ldir");
    EXPECT_EQ(emitted(xmem_code_cache(), start), (std::vector<uint8_t>{0xCD, 0x21, 0x43}));
}

TEST_F(Branch, XmemCacheAddressIsTheXmemCachesEmitAddress)
{
    EXPECT_EQ(xmem_cache_address(), kXmemA);
    emit_in_xmem();
    outasm("nop");
    EXPECT_EQ(xmem_cache_address(), addr_add(kXmemA, 1));
}

}  // namespace
