// Unary operators and truth values: the inline F80 forms and the routine calls (size flag,
// Z180, long and float), run on the simulated CPU; the truth test of every type (a float -0.0
// is false), what the code generator's truth markers let it skip, and the Z180 form of the
// value from the zero flag.
#include "OperatorRun.h"

#include "codegen/CC_Z80UN.h"

#include <ostream>

namespace {

using namespace codegen_test;

constexpr uint32_t kSizeFlag = 1u << 12;  // the function is compiled for size

void use_function(uint32_t options)
{
    set_codegen_function_context({[=] { return options; }, {}, {}, {}, {}});
}

// ---- lines and routines ---------------------------------------------------------------------------------

struct UnaryCase {
    const char *name;
    int cpu;  // 1 F80, 0 Z180
    bool size_flag;
    void (*emit)();
    std::vector<std::string> lines;
    const char *routine;  // or nullptr
};
void PrintTo(const UnaryCase &c, std::ostream *os) { *os << c.name; }

const UnaryCase kUnary[] = {
    {"negate_f80", 1, false, gen_negate_int,
     {"ex de, hl", "bool hl", "ld l, h", "sbc hl, de"}, nullptr},
    {"negate_for_size", 1, true, gen_negate_int, {}, "c_neg"},
    {"negate_z180", 0, false, gen_negate_int, {}, "c_neg"},
    {"complement_f80", 1, false, gen_complement_int,
     {"ex de, hl", "bool hl", "rr hl", "scf", "sbc hl, de"}, nullptr},
    {"complement_for_size", 1, true, gen_complement_int, {}, "c_com"},
    {"complement_z180", 0, false, gen_complement_int, {}, "c_com"},
    {"logical_not_f80", 1, false, gen_logical_not_int, {"bool hl", "dec hl", "bool hl"}, nullptr},
    {"logical_not_f80_for_size", 1, true, gen_logical_not_int,
     {"bool hl", "dec hl", "bool hl"}, nullptr},
    {"logical_not_z180", 0, false, gen_logical_not_int, {}, "c_not"},
    {"negate_long", 1, false, gen_negate_long, {}, "L_neg"},
    {"complement_long", 0, false, gen_complement_long, {}, "L_com"},
    {"logical_not_long", 1, false, gen_logical_not_long, {}, "L_not"},
    {"negate_float", 1, false, gen_negate_float, {}, "F_neg"},
    {"logical_not_float", 0, false, gen_logical_not_float, {}, "F_not"},
};

class UnaryLines : public RuntimeCodegenTest, public ::testing::WithParamInterface<UnaryCase> {};

TEST_P(UnaryLines, AreExact)
{
    const UnaryCase &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    define_label("c_not", 0x3F00, kLabelGlobal);  // a Z180 routine the library leaves out
    use_function(c.size_flag ? kSizeFlag : 0);
    const uint32_t start = here();
    c.emit();
    EXPECT_EQ(lines(), c.lines);
    if (c.routine) {
        const std::vector<uint8_t> call = std::string(c.routine) == "c_not"
                                              ? std::vector<uint8_t>{0xCD, 0x00, 0x3F}
                                              : call_bytes(c.routine);
        EXPECT_EQ(emitted(current_code_cache(), start), call);
    }
    EXPECT_TRUE(summaries().empty()) << summaries().front();
}

INSTANTIATE_TEST_SUITE_P(All, UnaryLines, ::testing::ValuesIn(kUnary),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- runs ---------------------------------------------------------------------------------------------

// Each value loaded, the operator applied, the result stored: inline and through the routines.
TEST_F(OperatorRun, UnaryIntOperatorsRun)
{
    struct Row {
        void (*emit)();
        uint16_t value;
        uint16_t expected;
    };
    const Row rows[] = {
        {gen_negate_int, 0x8000, 0x8000},      {gen_negate_int, 5, 0xFFFB},
        {gen_negate_int, 0, 0},                {gen_complement_int, 0, 0xFFFF},
        {gen_complement_int, 0x1234, 0xEDCB},  {gen_logical_not_int, 0, 1},
        {gen_logical_not_int, 5, 0},           {gen_logical_not_int, 0x8000, 0},
    };
    std::vector<std::pair<uint16_t, uint16_t>> outs;
    for (bool size : {false, true}) {
        use_function(size ? kSizeFlag : 0);
        for (const Row &r : rows) {
            object v = variable(2, variable_at(2, r.value));
            gen_load_value(&v);
            r.emit();
            const uint16_t out = next_slot(2);
            object slot = variable(2, out);
            gen_store_registers(&slot);
            outs.emplace_back(out, r.expected);
        }
    }
    use_function(0);
    run_all();
    for (const auto &[at, expected] : outs)
        EXPECT_EQ(ram(at) | ram(static_cast<uint16_t>(at + 1)) << 8, expected) << "slot " << at;
}

TEST_F(OperatorRun, UnaryLongAndFloatOperatorsRun)
{
    struct Row {
        void (*emit)();
        uint16_t type;
        uint32_t value;
        uint32_t expected;
        uint16_t result_type;
    };
    const Row rows[] = {
        {gen_negate_long, 4, 0x80000000, 0x80000000, 4},
        {gen_negate_long, 4, 1, 0xFFFFFFFF, 4},
        {gen_complement_long, 5, 0x0F0F0F0F, 0xF0F0F0F0, 5},
        {gen_logical_not_long, 4, 0x10000, 0, 2},
        {gen_logical_not_long, 4, 0, 1, 2},
        {gen_negate_float, 7, float_bits(1.5f), float_bits(-1.5f), 7},
        {gen_logical_not_float, 7, float_bits(-0.0f), 1, 2},
        {gen_logical_not_float, 7, float_bits(1e-40f), 0, 2},
    };
    std::vector<std::pair<uint16_t, const Row *>> outs;
    for (const Row &r : rows) {
        object v = variable(r.type, variable_at(r.type, r.value));
        gen_load_value(&v);
        r.emit();
        const uint16_t out = next_slot(4);
        object slot = variable(r.result_type, out);
        gen_store_registers(&slot);
        outs.emplace_back(out, &r);
    }
    run_all();
    for (const auto &[at, row] : outs) {
        uint32_t got = 0;
        for (int b = 0; b < type_size(row->result_type); ++b)
            got |= uint32_t(ram(static_cast<uint16_t>(at + b))) << (8 * b);
        EXPECT_EQ(got, row->expected) << "slot " << at;
    }
}

// ---- truth values -----------------------------------------------------------------------------------------

struct TruthCase {
    const char *name;
    uint16_t type;
    uint32_t declarator;
    uint32_t value;
    bool truth;
};
void PrintTo(const TruthCase &c, std::ostream *os) { *os << c.name; }

const TruthCase kTruths[] = {
    {"char_zero", 1, 0, 0, false},
    {"char_high_bit", 1, 0, 0x80, true},
    {"int_zero", 2, 0, 0, false},
    {"int_high_byte_only", 2, 0, 0x100, true},
    {"unsigned_top", 3, 0, 0x8000, true},
    {"long_zero", 4, 0, 0, false},
    {"long_high_word_only", 4, 0, 0x10000, true},
    {"unsigned_long_top_bit", 5, 0, 0x80000000, true},
    {"float_zero", 7, 0, 0, false},
    {"float_minus_zero", 7, 0, 0x80000000, false},
    {"float_smallest", 7, 0, 1, true},
    {"float_minus_one", 7, 0, 0xBF800000, true},
    {"pointer_null", 2, kDeclPointer, 0, false},
    {"pointer_set", 2, kDeclPointer, 0x8000, true},
};

class TruthTest : public OperatorRun, public ::testing::WithParamInterface<TruthCase> {};

// The value, from memory and from registers, becomes 1 or 0 in HL (a char widened from A).
TEST_P(TruthTest, MakesZeroOrOne)
{
    const TruthCase &c = GetParam();
    std::vector<uint16_t> outs;
    for (bool loaded : {false, true}) {
        object v = variable(c.type, variable_at(c.type, c.value), c.declarator);
        if (loaded)
            gen_load_value_as_int(&v);
        gen_truth_test(&v);
        EXPECT_EQ(v.type, 2);
        EXPECT_EQ(v.declarator, 0u);
        EXPECT_FALSE(obj_flag(&v, inByteRegister));
        outs.push_back(next_slot(2));
        object slot = variable(2, outs.back());
        gen_store_registers(&slot);
        (void)clear_condition_state();
    }
    run_all();
    for (uint16_t at : outs)
        EXPECT_EQ(ram(at) | ram(static_cast<uint16_t>(at + 1)) << 8, c.truth ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(All, TruthTest, ::testing::ValuesIn(kTruths),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, TruthTestAfterLogicalNotEmitsNothing)
{
    object v = variable(2, kData);
    gen_load_value(&v);
    gen_logical_not_int();
    const size_t before = lines().size();
    gen_truth_test(&v);
    EXPECT_EQ(lines().size(), before);
    EXPECT_EQ(v.type, 2);
    EXPECT_TRUE(comparison_result_in_registers());
}

// With only the flags set from the value, the value is formed from them.
TEST_F(CodegenTest, TruthTestFromTheFlags)
{
    object v = variable(2, kData);
    gen_load_value(&v);
    set_condition_state(false, true);
    const size_t before = lines().size();
    gen_truth_test(&v);
    EXPECT_EQ(std::vector<std::string>(lines().begin() + static_cast<long>(before), lines().end()),
              std::vector<std::string>{"bool hl"});
    EXPECT_TRUE(comparison_result_in_registers());
}

// On the Z180, HL is cleared and a fresh label skips the "inc hl" when the zero flag is set.
TEST_F(CodegenTest, Z180ValueFromTheFlagsUsesAFreshLabel)
{
    (void)select_target_cpu(0, 1);
    gen_bool_from_flags(true);
    gen_bool_from_flags(false);
    ASSERT_EQ(lines().size(), 6u);
    EXPECT_EQ(lines()[0], "ld hl, 0x0");
    EXPECT_EQ(lines()[1].rfind("jr z, KXLAB__QB", 0), 0u) << lines()[1];
    EXPECT_EQ(lines()[2], "inc hl");
    EXPECT_EQ(lines()[4].rfind("jr nz, KXLAB__QB", 0), 0u) << lines()[4];
    EXPECT_NE(lines()[1].substr(6), lines()[4].substr(7)) << "each use has its own label";
    EXPECT_TRUE(summaries().empty()) << summaries().front();
}

// The Z180 value from the flags runs: 1 exactly when the zero flag was clear.
TEST_F(OperatorRun, Z180ValueFromTheFlagsRuns)
{
    (void)select_target_cpu(0, 1);
    std::vector<std::pair<uint16_t, uint16_t>> outs;
    for (uint16_t value : {uint16_t(0), uint16_t(0x100), uint16_t(0x8001)}) {
        object v = variable(2, variable_at(2, value));
        gen_truth_test(&v);
        outs.emplace_back(next_slot(2), value != 0);
        object slot = variable(2, outs.back().first);
        gen_store_registers(&slot);
        (void)clear_condition_state();
    }
    run_all();
    for (const auto &[at, expected] : outs)
        EXPECT_EQ(ram(at) | ram(static_cast<uint16_t>(at + 1)) << 8, expected);
}

}  // namespace
