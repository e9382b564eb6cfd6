// Calls and jumps to named routines, conditional jumps on a value's truth (the condition-state
// rules, the zero tests by type, relative distances), and jumps to numbered labels patched
// later, run on the simulated CPU; the assembler's block-move replacement through the named call.
#include "CodegenFixture.h"

#include "driver/CC_INIT.h"
#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80LOAD.h"

#include <functional>
#include <ostream>

namespace {

using namespace codegen_test;

const QBFixupRec *global_label(const char *name) { return find_label(name, kLabelGlobal); }

// ---- fix-up kinds --------------------------------------------------------------------------------------

struct KindCase {
    const char *name;
    bool forced;
    uint32_t flags;
    int kind;
};
void PrintTo(const KindCase &c, std::ostream *os) { *os << c.name; }

const KindCase kKinds[] = {
    {"plain", false, 0, 1},          {"forced", true, 0x1000, 1},
    {"prefixed", false, 0x800, 2},   {"index_prefixed", false, 0x1000, 3},
    {"other_flags", false, 0x100, 1},
};

class FixupKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(FixupKind, IsTheDistanceToTheAddressBytes)
{
    const KindCase &c = GetParam();
    EXPECT_EQ(fixup_kind_from_flags(c.forced, c.flags), c.kind);
    EXPECT_EQ(fixup_flags_for_opcode(c.forced ? 0xCD : 0, c.flags),
              c.kind == 1 ? 0u : c.kind == 2 ? 0x800u : 0x1000u);
}

INSTANTIATE_TEST_SUITE_P(All, FixupKind, ::testing::ValuesIn(kKinds),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, UnknownFixupKindReports622)
{
    EXPECT_EQ(fixup_flags_for_kind(4), 0u);
    EXPECT_EQ(summaries(), std::vector<std::string>{"Internal error: Cannot set fixup flags."});
}

// ---- named calls and jumps -----------------------------------------------------------------------------

TEST_F(CodegenTest, CallOfADottedNameCallsTheUnderscoredLabelOnceItIsDefined)
{
    const uint32_t start = here();
    const BranchRecord call = gen_call_named("a.b");
    EXPECT_EQ(call.opcode, kOpCall);
    EXPECT_EQ(call.operand, addr_add(start, 1));
    ASSERT_NE(global_label("a_b"), nullptr);
    EXPECT_FALSE(global_label("a_b")->defined);
    EXPECT_EQ(global_label("a.b"), nullptr);
    define_label("a_b", 0x1234, kLabelGlobal);
    EXPECT_EQ(bytes(start, 3), (std::vector<uint8_t>{0xCD, 0x34, 0x12}));
    EXPECT_TRUE(summaries().empty()) << summaries().front();
}

TEST_F(CodegenTest, CallOfADefinedLabelIsWrittenAtOnceAfterThePendingValue)
{
    define_label("known_", 0x2345, kLabelGlobal);
    object pending = held(2);
    defer_load(&pending, false);
    const uint32_t start = here();
    (void)gen_call_named("known_");
    EXPECT_EQ(lines(), std::vector<std::string>{"push hl"});
    EXPECT_EQ(emitted(root_code_cache(), start), (std::vector<uint8_t>{0xE5, 0xCD, 0x45, 0x23}));
    EXPECT_EQ(pending.kind, 254);
}

TEST_F(CodegenTest, CallOfAGlobalFunctionTakesItsAddressWithoutALabel)
{
    struct ReleaseTables {
        ~ReleaseTables() { release_compiler_tables(); }
    } release;
    allocate_symbol_tables(200);
    set_local_scope(false);
    symbol *fn = add_symbol("fn", kDeclFunction, 2, 0, 254, nullptr, 0);
    fn->address[0] = 0x3456;
    const uint32_t start = here();
    (void)gen_call_named("fn");
    EXPECT_EQ(emitted(root_code_cache(), start), (std::vector<uint8_t>{0xCD, 0x56, 0x34}));
    EXPECT_EQ(global_label("fn"), nullptr);
}

TEST_F(CodegenTest, JumpToANamedLabelIsPatchedWhenItIsDefined)
{
    const uint32_t start = here();
    const BranchRecord jump = gen_jump_named("x.y");
    EXPECT_EQ(jump.opcode, kOpJp);
    define_label("x_y", 0x1111, kLabelGlobal);
    EXPECT_EQ(emitted(root_code_cache(), start), (std::vector<uint8_t>{0xC3, 0x11, 0x11}));
}

TEST_F(CodegenTest, LabelReferenceLiesAtTheFixupKindFromHere)
{
    const uint32_t at = here();
    EXPECT_EQ(resolve_label_address("later", 0x800, 2), kDummyAddress);
    const QBFixupRec *rec = global_label("later");
    ASSERT_NE(rec, nullptr);
    ASSERT_EQ(rec->count, 1);
    EXPECT_EQ(rec->fixups.front().position, addr_add(at, 2));
    EXPECT_EQ(rec->fixups.front().flags, 0x800u | kLabelGlobal);
    define_label("sooner", 0x4321, kLabelGlobal);
    EXPECT_EQ(resolve_label_address("sooner", 0, 1), 0x4321u);
}

// The assembler's replacement of "ldir" and "lddr" calls the library's routines; the registers
// of the move are in place, so the pending value stays where it is.
TEST_F(RuntimeCodegenTest, BlockMoveReplacementCallsThroughTheNamedCall)
{
    set_asm_block_move_replacement(true);
    object pending = held(2);
    defer_load(&pending, false);
    const uint32_t start = here();
    outasm("ldir");
    outasm("lddr");
    set_asm_block_move_replacement(false);
    const uint16_t ldir = rtlib::runtime_image().at("ldir_func");
    const uint16_t lddr = rtlib::runtime_image().at("lddr_func");
    EXPECT_EQ(emitted(root_code_cache(), start),
              (std::vector<uint8_t>{0xCD, uint8_t(ldir), uint8_t(ldir >> 8), 0xCD, uint8_t(lddr),
                                    uint8_t(lddr >> 8)}));
    EXPECT_EQ(pending_value(), &pending);
    EXPECT_EQ(pending.kind, 255);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
}

TEST_F(CodegenTest, BlockMoveReplacementLeavesAFixupForAnUndefinedRoutine)
{
    set_asm_block_move_replacement(true);
    const uint32_t start = here();
    outasm("ldir");
    set_asm_block_move_replacement(false);
    ASSERT_NE(global_label("ldir_func"), nullptr);
    EXPECT_EQ(global_label("ldir_func")->count, 1);
    define_label("ldir_func", 0x0ABC, kLabelGlobal);
    EXPECT_EQ(bytes(start, 3), (std::vector<uint8_t>{0xCD, 0xBC, 0x0A}));
}

// ---- conditional jumps -----------------------------------------------------------------------------------

struct JumpCase {
    const char *name;
    int cpu;
    bool tracking;
    std::function<object()> value;
    int16_t zero, carry;
    int condition;
    std::vector<std::string> lines;  // the test of the value
    uint8_t opcode;
};
void PrintTo(const JumpCase &c, std::ostream *os) { *os << c.name; }

const JumpCase kJumps[] = {
    {"int_jumps_when_true", 1, false, [] { return held(2); }, 0, 0, 0, {"bool hl"}, 0xC2},
    {"int_jumps_when_false", 1, false, [] { return held(3); }, 0, 0, 1, {"bool hl"}, 0xCA},
    {"char_global_tested_in_a", 1, false, [] { return variable(1, kData); }, 0, 0, 0,
     {"ld a, (0x8000)", "or a"}, 0xC2},
    {"pointer_global", 1, false, [] { return variable(2, kData, kDeclPointer); }, 0, 0, 1,
     {"ld hl, (0x8000)", "bool hl"}, 0xCA},
    {"long", 1, false, [] { return held(5); }, 0, 0, 0, {"ld h, b", "ld l, c", "or hl, de"},
     0xC2},
    {"float_minus_zero_is_zero", 1, false, [] { return held(7); }, 0, 0, 0,
     {"res 7, b", "ld h, b", "ld l, c", "or hl, de"}, 0xC2},
    {"z180_int", 0, false, [] { return held(2); }, 0, 0, 1, {"ld a, h", "or l"}, 0xCA},
    {"z180_char_global", 0, false, [] { return variable(1, kData); }, 0, 0, 0,
     {"ld a, (0x8000)", "or a"}, 0xC2},
    // The zero flag already holds the truth: no test.
    {"untracked_inverted_zero_state", 1, false, [] { return held(2); }, -1, 0, 0, {}, 0xCA},
    {"untracked_zero_state", 1, false, [] { return held(2); }, 1, 0, 0, {}, 0xC2},
    {"tracked_zero_state", 1, true, [] { return held(2); }, 1, 0, 0, {}, 0xCA},
    {"tracked_inverted_zero_state", 1, true, [] { return held(2); }, -1, 0, 0, {}, 0xC2},
    {"tracked_carry_state", 1, true, [] { return held(2); }, 0, 1, 0, {}, 0xD2},
    {"tracked_inverted_carry_state", 1, true, [] { return held(2); }, 0, -1, 0, {}, 0xDA},
    {"untracked_carry_state_is_forgotten", 1, false, [] { return held(2); }, 0, 1, 0,
     {"bool hl"}, 0xC2},
};

class ConditionalJump : public CodegenTest, public ::testing::WithParamInterface<JumpCase> {};

TEST_P(ConditionalJump, TestsTheValueAndPicksTheOpcode)
{
    const JumpCase &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    set_flag_tracking([&] { return c.tracking; });
    object value = c.value();
    set_obj_condition_state(&value, c.zero, c.carry);
    set_condition_state(true, true);
    const BranchRecord jump = gen_conditional_jump(&value, 0x4567, c.condition, false);
    set_flag_tracking(nullptr);
    EXPECT_EQ(lines(), c.lines);
    EXPECT_EQ(jump.opcode, c.opcode);
    EXPECT_EQ(bytes(addr_add(jump.operand, -1), 3),
              (std::vector<uint8_t>{c.opcode, 0x67, 0x45}));
    EXPECT_EQ(obj_zero_state(&value), 0);
    EXPECT_EQ(obj_carry_state(&value), 0);
    EXPECT_FALSE(comparison_result_in_registers());
    EXPECT_TRUE(summaries().empty()) << summaries().front();
}

INSTANTIATE_TEST_SUITE_P(All, ConditionalJump, ::testing::ValuesIn(kJumps),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, ConditionalJumpOnALongCallsTheZ180Test)
{
    (void)select_target_cpu(0, 1);
    object value = held(4);
    (void)gen_conditional_jump(&value, 0x4567, 0, false);
    ASSERT_NE(global_label("long_0"), nullptr);
    object f = held(7);
    (void)gen_conditional_jump(&f, 0x4567, 0, false);
    ASSERT_NE(global_label("flt_0"), nullptr);
}

// A forward distance becomes a "jp" to where a "jr" at the test's place would land; a backward
// one stays a "jr"; both are taken from behind the test.
TEST_F(CodegenTest, RelativeDistancesCountFromBeforeTheTest)
{
    const uint32_t start = here();
    object forward = held(2);
    const BranchRecord far = gen_conditional_jump(&forward, 10, 0, true);
    const uint32_t target = addr_add(start, 2 + 10);
    EXPECT_EQ(far.opcode, 0xC2);
    EXPECT_EQ(emitted(root_code_cache(), start),
              (std::vector<uint8_t>{0xCC, 0xC2, uint8_t(target), uint8_t(target >> 8)}));

    const uint32_t back = here();
    object backward = held(2);
    const BranchRecord near = gen_conditional_jump(&backward, 0xF0, 1, true);
    EXPECT_EQ(near.opcode, 0x28);
    EXPECT_EQ(emitted(root_code_cache(), back), (std::vector<uint8_t>{0xCC, 0x28, 0xEF}));
}

TEST_F(CodegenTest, ConditionalJumpRefusesVoidAndBadConditions)
{
    object v = variable(12, kData);
    EXPECT_EQ(gen_conditional_jump(&v, 0x4567, 0, false).opcode, 0);
    object i = held(2);
    EXPECT_EQ(gen_conditional_jump(&i, 0x4567, 8, false).opcode, 0);
    EXPECT_EQ(summaries(), (std::vector<std::string>{"Illegal use of type void.",
                                                     "Internal error: invalid jump condition."}));
    EXPECT_EQ(here(), kRootCode);
}

// ---- jumps to numbered labels, run ------------------------------------------------------------------

struct TruthCase {
    const char *name;
    uint16_t type;
    uint32_t declarator;
    std::vector<uint8_t> bytes;
    bool truth;
};
void PrintTo(const TruthCase &c, std::ostream *os) { *os << c.name; }

const TruthCase kTruths[] = {
    {"char_zero", 1, 0, {0x00, 0xFF}, false},
    {"char_set", 1, 0, {0x80, 0x00}, true},
    {"int_zero", 2, 0, {0x00, 0x00}, false},
    {"int_high_byte_only", 2, 0, {0x00, 0x01}, true},
    {"unsigned_low_byte_only", 3, 0, {0x01, 0x00}, true},
    {"long_zero", 4, 0, {0, 0, 0, 0}, false},
    {"long_high_word_only", 4, 0, {0, 0, 1, 0}, true},
    {"ulong_top_bit", 5, 0, {0, 0, 0, 0x80}, true},
    {"float_zero", 7, 0, {0, 0, 0, 0}, false},
    {"float_minus_zero", 7, 0, {0, 0, 0, 0x80}, false},
    {"float_one", 7, 0, {0, 0, 0x80, 0x3F}, true},
    {"float_smallest", 7, 0, {1, 0, 0, 0}, true},
    {"pointer_null", 2, kDeclPointer, {0, 0}, false},
    {"pointer_set", 2, kDeclPointer, {0x00, 0x80}, true},
};

class JumpToLabel : public CodegenTest, public ::testing::WithParamInterface<TruthCase> {};

TEST_P(JumpToLabel, IsTakenExactlyWhenItShould)
{
    const TruthCase &c = GetParam();
    JumpFixupScope scope;
    for (int condition : {0, 1}) {
        const uint32_t start = here();
        outasm("ld iy, 0");
        object value = variable(c.type, kData, c.declarator);
        const BranchRecord jump = gen_conditional_jump(&value, kDummyAddress, condition, false);
        add_jump_fixup(3, jump);
        add_jump_fixup(4, jump);  // another label's jump, resolved later
        outasm("ld iy, 1");
        resolve_jump_fixups(3);
        EXPECT_EQ(jump_fixups()->count(3), 0u);
        EXPECT_EQ(jump_fixups()->count(4), 1u);
        jump_fixups()->erase(4);
        const uint16_t stop = addr_offset(here());
        data.clear();
        for (size_t i = 0; i < c.bytes.size(); ++i)
            data[static_cast<uint16_t>(kData + i)] = c.bytes[i];
        const RunResult r = run(start, stop);
        ASSERT_TRUE(r.stopped);
        // Condition 0 jumps past "ld iy, 1" when the value is true, 1 when it is false.
        const bool jumped = r.cpu.iy == 0;
        EXPECT_EQ(jumped, condition == 0 ? c.truth : !c.truth) << "condition " << condition;
    }
    EXPECT_TRUE(summaries().empty()) << summaries().front();
}

INSTANTIATE_TEST_SUITE_P(All, JumpToLabel, ::testing::ValuesIn(kTruths),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, NoTableOutsideACompileRecordsNothing)
{
    ASSERT_EQ(jump_fixups(), nullptr);
    add_jump_fixup(1, {kOpJp, addr_add(here(), 1)});
    resolve_jump_fixups(1);
    EXPECT_EQ(jump_fixups(), nullptr);
}

// ---- small services ----------------------------------------------------------------------------------

TEST_F(CodegenTest, PeekAndRootDataAddress)
{
    const uint32_t start = here();
    outasm("ld a, 0x5A");
    EXPECT_EQ(peek_code_byte(addr_add(start, 1)), 0x5A);
    set_root_data_address(0x9100);
    EXPECT_EQ(root_variable_cache().current, 0x9100u);
}

}  // namespace
