// Value conversions: the constant table (values, lost digits and the demotion warning), the
// check and value tables, the code for values in registers and on the stack (exact lines, the
// runtime routines called, the stack depth), stacked conversions run with the registers kept,
// and for every pair of types a variable converted on the simulated CPU gives the bits the
// same constant converted at compile time gives.
#include "CodegenFixture.h"

#include "codegen/CC_CONV.h"
#include "driver/CC_GO.h"
#include "codegen/CC_Z80LOAD.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <ostream>
#include <limits>

namespace {

using namespace codegen_test;

constexpr uint32_t kSizeFlag = 1u << 12;
constexpr uint16_t kSp = kData + 0x100;

uint32_t bits(float f)
{
    uint32_t b = 0;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// The demotion-warning switch of the compiler, on while it lives.
struct DemotionWarnings {
    uint16_t was = compiler_options().type_check.demotion;
    explicit DemotionWarnings(bool on) { compiler_options().type_check.demotion = on ? 1 : 0; }
    ~DemotionWarnings() { compiler_options().type_check.demotion = was; }
};

const char *const kDemotion = "Demotion of value may lose digits.";
const char *const kIncompatible = "Operands and/or operator incompatible.";

// ---- type classes --------------------------------------------------------------------------------------

TEST(TypeClass, FollowsTheTypeCodes)
{
    const int expected[] = {0, 0, 1, 2, 3, 4, 7, 5, 7, 7, 7, 7, 6, 7, 7, 7, 7};
    for (int type = 0; type <= 16; ++type)
        EXPECT_EQ(type_class(type), expected[type]) << "type " << type;
    EXPECT_EQ(type_class(-1), kClassInvalid);
}

// ---- constants ---------------------------------------------------------------------------------------------

struct ConstantCase {
    const char *name;
    uint16_t type;
    uint32_t declarator;
    uint32_t value;
    int target;
    bool as_pointer;
    uint16_t type_after;
    uint32_t value_after;
    bool lost;  // warns when asked to
};
void PrintTo(const ConstantCase &c, std::ostream *os) { *os << c.name; }

const float kInf = std::numeric_limits<float>::infinity();
const float kNan = std::numeric_limits<float>::quiet_NaN();

const ConstantCase kConstants[] = {
    {"int_300_to_char", 2, 0, 300, 1, false, 1, 44, true},
    {"int_minus_1_to_unsigned_long", 2, 0, 0xFFFFFFFF, 5, false, 5, 4294967295u, false},
    {"long_minus_1_to_int", 4, 0, 0xFFFFFFFF, 2, false, 2, 0xFFFFFFFF, true},
    {"float_3_9_to_int", 7, 0, bits(3.9f), 2, false, 2, 3, false},
    {"float_minus_3_9_to_int", 7, 0, bits(-3.9f), 2, false, 2, 0xFFFFFFFD, true},
    {"float_1e19_to_long", 7, 0, bits(1e19f), 4, false, 4, 0, true},
    {"float_minus_1e19_to_long", 7, 0, bits(-1e19f), 4, false, 4, 0, true},
    {"float_infinity_to_int", 7, 0, bits(kInf), 2, false, 2, 0, true},
    {"float_minus_infinity_to_char", 7, 0, bits(-kInf), 1, false, 1, 0, true},
    {"float_nan_to_unsigned_long", 7, 0, bits(kNan), 5, false, 5, 0, true},
    {"float_40000_to_unsigned", 7, 0, bits(40000.0f), 3, false, 3, 40000, false},
    {"float_2_31_to_long", 7, 0, bits(2147483648.0f), 4, false, 4, 0x80000000, false},
    {"float_above_2_32_to_unsigned_long", 7, 0, bits(5e9f), 5, false, 5,
     static_cast<uint32_t>(static_cast<int64_t>(5e9f)), true},
    {"unsigned_65535_to_int", 3, 0, 65535, 2, false, 2, 0xFFFFFFFF, false},
    {"unsigned_65535_to_float", 3, 0, 65535, 7, false, 7, bits(65535.0f), false},
    {"int_minus_5_to_float", 2, 0, 0xFFFFFFFB, 7, false, 7, bits(-5.0f), false},
    {"unsigned_long_max_to_float", 5, 0, 0xFFFFFFFF, 7, false, 7, bits(4294967296.0f), false},
    {"long_minus_2_to_float", 4, 0, 0xFFFFFFFE, 7, false, 7, bits(-2.0f), false},
    {"long_to_unsigned_loses", 4, 0, 0x12345, 3, false, 3, 0x2345, true},
    {"char_200_to_float", 1, 0, 200, 7, false, 7, bits(200.0f), false},
    {"char_to_long", 1, 0, 0xF0, 4, false, 4, 0xF0, false},
    {"pointer_to_char", 2, kDeclPointer, 0x8001, 1, false, 1, 1, true},
    {"pointer_to_int", 2, kDeclPointer, 0x8001, 2, false, 2, 0xFFFF8001, false},
    {"pointer_to_long", 2, kDeclPointer, 0x8001, 4, false, 4, 0x8001, false},
    {"int_to_pointer", 2, 0, 0xFFFF8000, 12, true, 12, 0x8000, false},
    {"long_to_pointer_loses", 4, 0, 0x10000, 12, true, 12, 0, true},
    {"int_to_address_type_is_int", 3, 0, 0xFFFF, 12, false, 2, 0xFFFFFFFF, false},
    {"unsigned_to_long", 3, 0, 0xFFFF, 4, false, 4, 0xFFFF, false},
    {"int_to_unsigned", 2, 0, 0xFFFFFFFF, 3, false, 3, 0xFFFF, false},
    {"same_class_untouched", 2, 0, 0x12345678, 2, false, 2, 0x12345678, false},
};

class ConstantConversion : public CodegenTest,
                           public ::testing::WithParamInterface<ConstantCase> {};

TEST_P(ConstantConversion, RewritesTheValue)
{
    const ConstantCase &c = GetParam();
    DemotionWarnings on(true);
    object k = constant(c.type, c.value, c.declarator);
    ConvertCCObject(&k, c.target, c.as_pointer, kConvWarnLostDigits);
    EXPECT_EQ(k.type, c.type_after);
    EXPECT_EQ(k.value, c.value_after);
    EXPECT_EQ(k.kind, 0);
    EXPECT_EQ(decl_level(k.declarator, 0), c.type_after == 12 ? kDeclPointer : kDeclNone);
    EXPECT_EQ(summaries(), c.lost ? std::vector<std::string>{kDemotion} : std::vector<std::string>{});
    EXPECT_EQ(here(), kRootCode) << "a constant takes no code";
}

INSTANTIATE_TEST_SUITE_P(All, ConstantConversion, ::testing::ValuesIn(kConstants),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, LostDigitsWarnOnlyWhenAskedAndSwitchedOn)
{
    {
        DemotionWarnings off(false);
        object k = constant(2, 300);
        ConvertCCObject(&k, 1, false, kConvWarnLostDigits);
        EXPECT_EQ(k.value, 44u);
    }
    {
        DemotionWarnings on(true);
        object k = constant(2, 300);
        ConvertCCObject(&k, 1, false, 0);
    }
    EXPECT_TRUE(summaries().empty());
    object k = constant(2, 300);
    DoConversion<ConvertConstantValue> c(&k, 1, false, 0);
    EXPECT_EQ(c.lost_digits, 1);
}

struct RefusedCase {
    const char *name;
    std::function<object()> value;
    int target;
    bool as_pointer;
};
void PrintTo(const RefusedCase &c, std::ostream *os) { *os << c.name; }

const RefusedCase kRefused[] = {
    {"float_constant_to_pointer", [] { return constant(7, bits(1.0f)); }, 12, true},
    {"float_in_registers_to_pointer", [] { return held(7); }, 12, true},
    {"pointer_to_float", [] { return held(2, kDeclPointer); }, 7, false},
    {"struct_to_int", [] { return variable(16, kData); }, 2, false},
    {"struct_constant_to_long", [] { return constant(18, 0); }, 4, false},
    {"int_to_struct", [] { return held(2); }, 16, false},
};

class RefusedConversion : public CodegenTest,
                          public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedConversion, Reports401AndKeepsTheType)
{
    object v = GetParam().value();
    const object before = v;
    ConvertCCObject(&v, GetParam().target, GetParam().as_pointer, kConvWarnLostDigits);
    EXPECT_EQ(summaries(), std::vector<std::string>{kIncompatible});
    EXPECT_EQ(v.type, before.type);
    EXPECT_EQ(v.declarator, before.declarator);
    EXPECT_EQ(v.kind, before.kind);
    EXPECT_EQ(here(), kRootCode);
}

INSTANTIATE_TEST_SUITE_P(All, RefusedConversion, ::testing::ValuesIn(kRefused),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, TypesAboveNineAreNoRoutineConversion)
{
    object s = stacked(16);
    gen_stack_conversion(&s, 2);
    object r = held(2);
    gen_register_conversion(&r, 12, kFormTargetLong);
    EXPECT_EQ(summaries(), (std::vector<std::string>{
                               "Conversion between these types cannot be performed.",
                               "Conversion between these types cannot be performed."}));
    EXPECT_EQ(r.type, 2);
    EXPECT_EQ(here(), kRootCode);
}

// ---- the check and value tables -------------------------------------------------------------------------

TEST_F(CodegenTest, ValueConversionKeepsSignednessPairs)
{
    object i = held(2);
    { DoConversion<ConvertValue> v(&i, 3, false, 0); }
    EXPECT_EQ(i.type, 2) << "int to unsigned keeps int";
    object l = held(4);
    { DoConversion<ConvertValue> v(&l, 5, false, 0); }
    EXPECT_EQ(l.type, 4);
    object w = held(2);
    { DoConversion<ConvertValue> v(&w, 4, false, 0); }
    EXPECT_EQ(w.type, 4) << "widening is written back";
    object n = held(4);
    {
        DoConversion<ConvertValue> v(&n, 2, false, 0);
        EXPECT_EQ(v.lost_digits, 1);
    }
    object c = held(2);
    {
        DoConversion<ConvertCheck> check(&c, 3, false, 0);
        EXPECT_EQ(check.lost_digits, 0);
    }
    EXPECT_EQ(c.type, 3) << "a check writes the type back";
    object f = held(7);
    {
        DoConversion<ConvertCheck> check(&f, 5, false, 0);
        EXPECT_EQ(check.lost_digits, 1);
    }
    EXPECT_EQ(here(), kRootCode) << "checks take no code";
    EXPECT_TRUE(summaries().empty());
}

// ---- values in registers ----------------------------------------------------------------------------------

struct RegisterCase {
    const char *name;
    int cpu;
    uint32_t options;
    std::function<object()> value;
    int target;
    bool as_pointer;
    uint8_t conversion_options;
    std::vector<std::string> lines;
    const char *routine;  // called last, or null
    uint16_t type_after;
};
void PrintTo(const RegisterCase &c, std::ostream *os) { *os << c.name; }

const RegisterCase kRegisterCases[] = {
    {"long_to_int", 1, 0, [] { return held(4); }, 2, false, 0, {"ex de, hl"}, nullptr, 2},
    {"long_to_char_masked", 1, 0, [] { return held(4); }, 1, false, kConvMaskChar,
     {"ex de, hl", "ld h, 0"}, nullptr, 1},
    {"unsigned_long_to_char_unmasked", 1, 0, [] { return held(5); }, 1, false, 0,
     {"ex de, hl"}, nullptr, 1},
    {"long_to_pointer", 1, 0, [] { return held(4); }, 12, true, 0, {"ex de, hl"}, nullptr, 12},
    {"z180_long_to_int", 0, 0, [] { return held(4); }, 2, false, 0, {"ex de, hl"}, nullptr, 2},
    {"char_to_long", 1, 0, [] { return held(1); }, 4, false, 0,
     {"ld h, 0", "ld b, h", "ld c, h", "ex de, hl"}, nullptr, 4},
    {"char_in_a_to_unsigned_long", 1, 0, [] { return held(1, 0, true); }, 5, false, 0,
     {"ld l, a", "ld h, 0", "ld h, 0", "ld b, h", "ld c, h", "ex de, hl"}, nullptr, 5},
    {"int_to_long", 1, 0, [] { return held(2); }, 4, false, 0,
     {"ex de, hl", "ld a, d", "rla", "sbc hl, hl", "ld b, h", "ld c, l"}, nullptr, 4},
    {"int_to_long_for_size", 1, kSizeFlag, [] { return held(2); }, 4, false, 0, {}, "Hi_Bl", 4},
    // int to unsigned long extends the sign as int to long does
    {"int_to_unsigned_long", 1, 0, [] { return held(2); }, 5, false, 0,
     {"ex de, hl", "ld a, d", "rla", "sbc hl, hl", "ld b, h", "ld c, l"}, nullptr, 5},
    {"int_to_unsigned_long_for_size", 1, kSizeFlag, [] { return held(2); }, 5, false, 0,
     {"ex de, hl", "ld a, d", "rla", "sbc hl, hl", "ld b, h", "ld c, l"}, nullptr, 5},
    {"unsigned_to_long", 1, 0, [] { return held(3); }, 4, false, 0, {"ex de, hl", "ld bc, 0"},
     nullptr, 4},
    {"pointer_to_unsigned_long", 1, 0, [] { return held(2, kDeclPointer); }, 5, false, 0,
     {"ex de, hl", "ld bc, 0"}, nullptr, 5},
    {"int_to_float", 1, 0, [] { return held(2); }, 7, false, 0, {}, "Hi_Bf", 7},
    {"char_to_float", 1, 0, [] { return held(1); }, 7, false, 0, {}, "Hc_Bf", 7},
    {"unsigned_to_float", 1, 0, [] { return held(3); }, 7, false, 0, {}, "Hu_Bf", 7},
    {"long_to_float", 1, 0, [] { return held(4); }, 7, false, 0, {}, "Bl_Bf", 7},
    {"unsigned_long_to_float", 1, 0, [] { return held(5); }, 7, false, 0, {}, "Bg_Bf", 7},
    {"float_to_char", 1, 0, [] { return held(7); }, 1, false, 0, {}, "Bf_Hc", 1},
    {"float_to_int", 1, 0, [] { return held(7); }, 2, false, 0, {}, "Bf_Hi", 2},
    {"float_to_unsigned", 1, 0, [] { return held(7); }, 3, false, 0, {}, "Bf_Hu", 3},
    {"float_to_long", 1, 0, [] { return held(7); }, 4, false, 0, {}, "Bf_Bl", 4},
    {"float_to_unsigned_long", 1, 0, [] { return held(7); }, 5, false, 0, {}, "Bf_Bg", 5},
    {"z180_long_to_float", 0, 0, [] { return held(4); }, 7, false, 0, {}, "Bl_Bf", 7},
    {"z180_int_to_long", 0, 0, [] { return held(2); }, 4, false, 0, {}, "Hi_Bl", 4},
    {"int_global_to_char_is_its_low_byte", 1, 0, [] { return variable(2, kData); }, 1, false,
     kConvMaskChar, {}, nullptr, 1},
    {"int_to_unsigned", 1, 0, [] { return held(2); }, 3, false, 0, {}, nullptr, 3},
    {"int_to_pointer", 1, 0, [] { return held(2); }, 12, true, 0, {}, nullptr, 12},
    {"long_global_to_int", 1, 0, [] { return variable(4, kData); }, 2, false, 0,
     {"ld de, (0x8000)", "ld bc, (0x8002)", "ex de, hl"}, nullptr, 2},
    {"char_global_to_int", 1, 0, [] { return variable(1, kData); }, 2, false, 0,
     {"ld hl, (0x8000)", "ld h, 0"}, nullptr, 2},
    {"pointer_global_to_char_masked", 1, 0, [] { return variable(2, kData, kDeclPointer); }, 1,
     false, kConvMaskChar, {"ld hl, (0x8000)", "ld h, 0"}, nullptr, 1},
};

class RegisterConversion : public RuntimeCodegenTest,
                           public ::testing::WithParamInterface<RegisterCase> {};

TEST_P(RegisterConversion, EmitsTheLinesOrCallsTheRoutine)
{
    const RegisterCase &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    set_codegen_function_context({[&] { return c.options; }, {}, {}, {}, {}});
    object v = c.value();
    const uint32_t start = here();
    ConvertCCObject(&v, c.target, c.as_pointer, c.conversion_options);
    EXPECT_EQ(lines(), c.lines);
    if (c.routine) {
        const uint32_t end = here();
        EXPECT_EQ(bytes(addr_add(end, -3), 3), call_bytes(c.routine));
    }
    EXPECT_EQ(v.type, c.type_after);
    EXPECT_EQ(decl_level(v.declarator, 0), c.type_after == 12 ? kDeclPointer : kDeclNone);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
    (void)start;
}

INSTANTIATE_TEST_SUITE_P(All, RegisterConversion, ::testing::ValuesIn(kRegisterCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, ConversionIntoTheRegistersOfThePendingValuePushesItFirst)
{
    object pending = held(2);
    defer_load(&pending, false);
    object l = held(4);
    ConvertCCObject(&l, 2, false, 0);
    EXPECT_EQ(lines(), (std::vector<std::string>{"push hl", "ex de, hl"}));
    EXPECT_EQ(pending.kind, 254);

    object pending_long = held(5);
    defer_load(&pending_long, false);
    object i = held(2);
    ConvertCCObject(&i, 4, false, 0);
    EXPECT_EQ(pending_long.kind, 254);
    EXPECT_EQ(lines().at(2), "push bc");
    EXPECT_EQ(lines().at(3), "push de");
}

// ---- values on the stack ---------------------------------------------------------------------------------

const std::vector<std::string> kSignExtend = {"exx",  "pop de",  "ld a, d", "rla",
                                              "sbc hl, hl", "push hl", "push de", "exx"};
const std::vector<std::string> kZeroExtend = {"exx", "pop de", "bool hl", "rr hl",
                                              "push hl", "push de", "exx"};
const std::vector<std::string> kNarrow = {"exx", "pop hl", "ld (sp+0), hl", "exx"};

struct StackCase {
    const char *name;
    int cpu;
    uint32_t options;
    uint16_t type;
    uint32_t declarator;
    int target;
    bool as_pointer;
    std::vector<std::string> lines;
    const char *routine;
    int16_t depth_change;  // of the stack offset
};
void PrintTo(const StackCase &c, std::ostream *os) { *os << c.name; }

const StackCase kStackCases[] = {
    {"int_to_long", 1, 0, 2, 0, 4, false, kSignExtend, nullptr, -2},
    {"int_to_unsigned_long", 1, 0, 2, 0, 5, false, kSignExtend, nullptr, -2},
    {"char_to_long", 1, 0, 1, 0, 4, false, kZeroExtend, nullptr, -2},
    {"unsigned_to_unsigned_long", 1, 0, 3, 0, 5, false, kZeroExtend, nullptr, -2},
    {"pointer_to_long", 1, 0, 2, kDeclPointer, 4, false, kZeroExtend, nullptr, -2},
    {"long_to_int", 1, 0, 4, 0, 2, false, kNarrow, nullptr, 2},
    {"unsigned_long_to_char", 1, 0, 5, 0, 1, false, kNarrow, nullptr, 2},
    {"long_to_pointer", 1, 0, 4, 0, 12, true, kNarrow, nullptr, 2},
    {"long_to_int_for_size", 1, kSizeFlag, 4, 0, 2, false, kNarrow, nullptr, 2},
    {"int_to_unsigned", 1, 0, 2, 0, 3, false, {}, nullptr, 0},
    {"int_to_char", 1, 0, 2, 0, 1, false, {}, nullptr, 0},
    {"long_to_unsigned_long", 1, 0, 4, 0, 5, false, {}, nullptr, 0},
    {"int_to_long_for_size", 1, kSizeFlag, 2, 0, 4, false, {}, "I__L", -2},
    {"char_to_long_for_size", 1, kSizeFlag, 1, 0, 4, false, {}, "C__L", -2},
    {"int_to_float", 1, 0, 2, 0, 7, false, {}, "I__F", -2},
    {"float_to_int", 1, 0, 7, 0, 2, false, {}, "F__I", 2},
    {"long_to_float", 1, 0, 4, 0, 7, false, {}, "L__F", 0},
    {"z180_int_to_long", 0, 0, 2, 0, 4, false, {}, "I__L", -2},
    {"z180_unsigned_to_float", 0, 0, 3, 0, 7, false, {}, "U__F", -2},
};

class StackConversion : public RuntimeCodegenTest,
                        public ::testing::WithParamInterface<StackCase> {};

TEST_P(StackConversion, EmitsTheLinesAndFollowsTheDepth)
{
    const StackCase &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    set_codegen_function_context({[&] { return c.options; }, {}, {}, {}, {}});
    object v = stacked(c.type, c.declarator);
    set_stack_offset(-8);
    ConvertCCObject(&v, c.target, c.as_pointer, 0);
    EXPECT_EQ(lines(), c.lines);
    if (c.routine) {
        EXPECT_EQ(bytes(addr_add(here(), -3), 3), call_bytes(c.routine));
    }
    EXPECT_EQ(stack_offset(), -8 + c.depth_change);
    EXPECT_EQ(v.kind, 254);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
}

INSTANTIATE_TEST_SUITE_P(All, StackConversion, ::testing::ValuesIn(kStackCases),
                         [](const auto &i) { return std::string(i.param.name); });

// A stacked value converted in place, run: the stack holds the converted value and the main
// registers are what they were.
struct StackRun {
    const char *name;
    uint32_t options;
    uint16_t type;
    int target;
};
void PrintTo(const StackRun &c, std::ostream *os) { *os << c.name; }

const StackRun kStackRuns[] = {
    {"int_to_long", 0, 2, 4},
    {"int_to_unsigned_long", 0, 2, 5},
    {"unsigned_to_long", 0, 3, 4},
    {"char_to_unsigned_long", 0, 1, 5},
    {"long_to_int", 0, 4, 2},
    {"unsigned_long_to_char", 0, 5, 1},
    {"int_to_long_by_routine", kSizeFlag, 2, 4},
    {"int_to_unsigned_long_by_routine", kSizeFlag, 2, 5},
    {"unsigned_to_unsigned_long_by_routine", kSizeFlag, 3, 5},
    {"char_to_long_by_routine", kSizeFlag, 1, 4},
    {"int_to_float_by_routine", 0, 2, 7},
    {"float_to_int_by_routine", 0, 7, 2},
};

class StackConversionRun : public RuntimeCodegenTest,
                           public ::testing::WithParamInterface<StackRun> {};

TEST_P(StackConversionRun, ConvertsInPlaceAndKeepsTheRegisters)
{
    const StackRun &c = GetParam();
    set_codegen_function_context({[&] { return c.options; }, {}, {}, {}, {}});
    const int from = c.type == 4 || c.type == 5 || c.type == 7 ? 4 : 2;
    const int to = c.target == 4 || c.target == 5 || c.target == 7 ? 4 : 2;
    for (const int32_t sample : {-32768, -1, 0, 32767, 65535}) {
        SCOPED_TRACE(sample);
        // The stacked value as its type holds the sample (a char's high byte is 0, as a push
        // leaves it).
        object source = c.type == 7 ? constant(7, bits(static_cast<float>(sample)))
                                    : constant(4, static_cast<uint32_t>(sample));
        ConvertCCObject(&source, c.type, false, 0);
        object expected = source;
        ConvertCCObject(&expected, c.target, false, 0);

        object v = stacked(c.type);
        const uint32_t start = here();
        ConvertCCObject(&v, c.target, false, 0);
        const uint16_t stop = addr_offset(here());
        data.clear();
        const uint16_t sp = static_cast<uint16_t>(kSp - from);
        for (int i = 0; i < from; ++i)
            data[static_cast<uint16_t>(sp + i)] = static_cast<uint8_t>(source.value >> (8 * i));
        vsim::CpuState initial = fresh_cpu();
        initial.sp = sp;
        initial.set_bc(0x1357);
        initial.set_de(0x2468);
        initial.set_hl(0x9ABC);
        const RunResult r = run(start, stop, &initial);
        ASSERT_TRUE(r.stopped);
        EXPECT_EQ(r.cpu.sp, kSp - to);
        uint32_t got = 0;
        for (int i = 0; i < to; ++i)
            got |= uint32_t(ram(static_cast<uint16_t>(r.cpu.sp + i))) << (8 * i);
        const uint32_t mask = to == 4 ? 0xFFFFFFFF : c.target == 1 ? 0xFF : 0xFFFF;
        EXPECT_EQ(got & mask, expected.value & mask);
        EXPECT_EQ(r.cpu.bc(), 0x1357);
        EXPECT_EQ(r.cpu.de(), 0x2468);
        EXPECT_EQ(r.cpu.hl(), 0x9ABC);
    }
    EXPECT_TRUE(summaries().empty()) << summaries().front();
}

INSTANTIATE_TEST_SUITE_P(All, StackConversionRun, ::testing::ValuesIn(kStackRuns),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- every pair: a variable converted on the target gives the constant's bits ----------------------

struct TypeRow {
    const char *name;
    uint16_t type;
    uint32_t declarator;
    bool pointer;
    int size;
};

const TypeRow kTypes[] = {
    {"char", 1, 0, false, 1},     {"int", 2, 0, false, 2},    {"unsigned", 3, 0, false, 2},
    {"long", 4, 0, false, 4},     {"ulong", 5, 0, false, 4},  {"float", 7, 0, false, 4},
    {"pointer", 2, kDeclPointer, true, 2},
};

struct PairCase {
    std::string name;
    TypeRow from, to;
};
void PrintTo(const PairCase &c, std::ostream *os) { *os << c.name; }

std::vector<PairCase> pairs()
{
    std::vector<PairCase> out;
    for (const TypeRow &a : kTypes)
        for (const TypeRow &b : kTypes)
            if (!((a.type == 7 && b.pointer) || (a.pointer && b.type == 7)))
                out.push_back({std::string(a.name) + "_to_" + b.name, a, b});
    return out;
}

struct Sample {
    bool is_float;
    double value;
};

const Sample kSamples[] = {
    {false, 0},          {false, -1},          {false, -32768}, {false, 32767},
    {false, 65535},      {false, 2147483647},  {false, -2147483648.0},
    {true, 3.9},         {true, -3.9},         {true, 40000.0},
};
constexpr int kSampleCount = sizeof kSamples / sizeof kSamples[0];

// The sample as a constant of the row's type.
object sample_constant(const Sample &s, const TypeRow &row)
{
    object k = s.is_float ? constant(7, bits(static_cast<float>(s.value)))
                          : constant(4, static_cast<uint32_t>(static_cast<int32_t>(s.value)));
    if (row.pointer && s.is_float)
        ConvertCCObject(&k, 4, false, 0);  // no float becomes a pointer
    ConvertCCObject(&k, row.pointer ? 12 : row.type, row.pointer, 0);
    return k;
}

class ConversionAgreement : public RuntimeCodegenTest,
                            public ::testing::WithParamInterface<PairCase> {
protected:
    // Each sample's variable at kData + 4 i, its converted value stored at kData + 0x80 + 4 i.
    void check(bool through_stack)
    {
        const PairCase &c = GetParam();
        data.clear();
        const uint32_t start = here();
        for (int i = 0; i < kSampleCount; ++i) {
            const object k = sample_constant(kSamples[i], c.from);
            const uint16_t at = static_cast<uint16_t>(kData + 4 * i);
            for (int b = 0; b < 4; ++b)
                data[static_cast<uint16_t>(at + b)] = b < c.from.size ? uint8_t(k.value >> (8 * b))
                                                                      : 0xEE;
            object v = variable(c.from.type, at, c.from.declarator);
            if (through_stack) {
                gen_load_value(&v);
                gen_push_value(&v);
                v.type = c.from.type;  // a stacked char keeps its high byte 0
            }
            ConvertCCObject(&v, c.to.pointer ? 12 : c.to.type, c.to.pointer, kConvMaskChar);
            gen_load_value(&v);
            object r = variable(c.to.type, static_cast<uint16_t>(kData + 0x80 + 4 * i),
                                c.to.declarator);
            gen_store_registers(&r);
        }
        EXPECT_EQ(stack_offset(), 0);
        ASSERT_TRUE(summaries().empty()) << summaries().front();
        vsim::CpuState initial = fresh_cpu();
        initial.sp = kSp;
        const RunResult r = run(start, addr_offset(here()), &initial, 200000);
        ASSERT_TRUE(r.stopped);
        for (int i = 0; i < kSampleCount; ++i) {
            object expected = sample_constant(kSamples[i], c.from);
            ConvertCCObject(&expected, c.to.pointer ? 12 : c.to.type, c.to.pointer, 0);
            uint32_t got = 0;
            for (int b = 0; b < c.to.size; ++b)
                got |= uint32_t(ram(static_cast<uint16_t>(kData + 0x80 + 4 * i + b))) << (8 * b);
            const uint32_t mask = c.to.size == 4 ? 0xFFFFFFFF : c.to.size == 2 ? 0xFFFF : 0xFF;
            EXPECT_EQ(got, expected.value & mask)
                << "sample " << kSamples[i].value << (through_stack ? " on the stack" : "");
        }
    }
};

TEST_P(ConversionAgreement, InRegisters) { check(false); }
TEST_P(ConversionAgreement, OnTheStack) { check(true); }

INSTANTIATE_TEST_SUITE_P(All, ConversionAgreement, ::testing::ValuesIn(pairs()),
                         [](const auto &i) { return i.param.name; });

}  // namespace
