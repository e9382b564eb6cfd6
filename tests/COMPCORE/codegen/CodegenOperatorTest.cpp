// The binary operators at compile time: folding of two constants (32-bit wrap-around, shift
// counts modulo 32, the edges of division, floats), the refusals and warnings, the identities
// that need no code, the operand order, pointer scaling; and the exact lines the operators'
// code consists of, on both instruction sets, with the runtime routines each one calls. On the
// Z180 set every operator of every type assembles.
#include "CodegenFixture.h"

#include "driver/CC_FIOZ8.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80EX.h"
#include "codegen/CC_Z80LOAD.h"

#include <cstring>
#include <functional>
#include <ostream>

namespace {

using namespace codegen_test;

constexpr uint32_t s(int32_t v) { return static_cast<uint32_t>(v); }
uint32_t fbits(float f)
{
    uint32_t b = 0;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

const char *const kIncompatible = "Operands and/or operator incompatible.";
const char *const kDivideByZero = "Division by constant zero.";

// ---- folding ----------------------------------------------------------------------------------------

struct FoldCase {
    const char *name;
    const char *op;
    uint16_t left_type;
    uint32_t left_value;
    uint16_t right_type;
    uint32_t right_value;
    uint16_t type;    // of the result
    uint32_t value;
    std::vector<std::string> messages;
    uint32_t left_declarator = 0;
};
void PrintTo(const FoldCase &c, std::ostream *os) { *os << c.name; }

const FoldCase kFolds[] = {
    {"seven_divided_by_zero", "/", 2, 7, 2, 0, 2, 7, {kDivideByZero}},
    {"seven_modulo_zero", "%", 2, 7, 2, 0, 2, 7, {kDivideByZero}},
    {"float_divided_by_zero", "/", 7, fbits(7.0f), 7, 0, 7, fbits(7.0f), {kDivideByZero}},
    {"minus_eight_shifted_right", ">>", 2, s(-8), 2, 1, 2, s(-4), {}},
    {"unsigned_65520_shifted_right", ">>", 3, 65520, 3, 4, 3, 4095, {}},
    {"int_product_is_not_cut", "*", 2, 200, 2, 200, 2, 40000, {}},
    {"macro_product_keeps_its_value", "*", 2, 256, 2, 1024, 2, 262144, {}},
    {"long_less_is_an_int", "<", 4, 1, 4, 2, 2, 1, {}},
    {"long_equal_is_an_int", "==", 4, 1, 4, 1, 2, 1, {}},
    {"long_not_equal_is_an_int", "!=", 4, 70000, 4, 70000, 2, 0, {}},
    {"int_less_is_signed", "<", 2, s(-1), 2, 1, 2, 1, {}},
    {"unsigned_less_is_unsigned", "<", 3, 65535, 2, 1, 2, 0, {}},
    {"char_and_int_give_int", "+", 1, 200, 2, 100, 2, 300, {}},
    {"long_minimum_divided_by_minus_one", "/", 4, 0x80000000, 4, s(-1), 4, 0x80000000, {}},
    {"long_minimum_modulo_minus_one", "%", 4, 0x80000000, 4, s(-1), 4, 0, {}},
    {"signed_sum_wraps", "+", 4, 0x7FFFFFFF, 4, 1, 4, 0x80000000, {}},
    {"signed_product_wraps", "*", 4, 0x10000, 4, 0x10000, 4, 0, {}},
    {"unsigned_difference_wraps", "-", 3, 0, 3, 1, 3, 0xFFFFFFFF, {}},
    {"shift_count_minus_one_is_31", "<<", 4, 1, 2, s(-1), 4, 0x80000000, {}},
    {"shift_count_33_is_1", "<<", 4, 1, 4, 33, 4, 2, {}},
    {"arithmetic_shift_of_a_negative_long", ">>", 4, s(-256), 4, 40, 4, s(-1), {}},
    {"logical_shift_of_an_unsigned_long", ">>", 5, 0x80000000, 5, 31, 5, 1, {}},
    {"bitwise_and", "&", 2, 0x1234, 2, 0x0FF0, 2, 0x0230, {}},
    {"bitwise_or", "|", 2, 0x1234, 2, 0x0FF0, 2, 0x1FF4, {}},
    {"bitwise_xor", "^", 2, 0x1234, 2, 0x0FF0, 2, 0x1DC4, {}},
    {"logical_and_folds_as_bitwise", "&&", 2, 1, 2, 1, 2, 1, {}},
    {"logical_or_folds_as_bitwise", "||", 2, 0, 2, 1, 2, 1, {}},
    {"float_sum", "+", 7, fbits(1.5f), 7, fbits(2.25f), 7, fbits(3.75f), {}},
    {"int_and_float_give_float", "+", 2, 1, 7, fbits(0.5f), 7, fbits(1.5f), {}},
    {"float_equal_is_an_int", "==", 7, fbits(2.0f), 7, fbits(2.0f), 2, 1, {}},
    {"float_not_equal_is_an_int", "!=", 7, fbits(2.0f), 7, fbits(0.5f), 2, 1, {}},
    {"minus_zero_equals_zero", "==", 7, fbits(-0.0f), 7, fbits(0.0f), 2, 1, {}},
    {"float_less_is_an_int", "<", 7, fbits(1.0f), 7, fbits(2.0f), 2, 1, {}},
    {"five_modulo_two_point_zero", "%", 2, 5, 7, fbits(2.0f), 2, 5, {kIncompatible}},
    {"float_shift_is_refused", "<<", 7, fbits(1.0f), 2, 1, 7, fbits(1.0f),
     {"Invalid type for '<<' operator"}},
    {"float_and_float_is_refused", "&", 7, fbits(1.0f), 7, fbits(3.0f), 7, fbits(1.0f),
     {kIncompatible}},
    {"pointer_compares_as_unsigned", "<", 2, 0x8000, 2, 1, 2, 0, {}, kDeclPointer},
    {"unknown_operator", "@", 2, 1, 2, 2, 2, 1, {"Internal error: unknown operator @."}},
    {"assignment_text_does_nothing", "=", 2, 1, 2, 2, 2, 1, {}},
};

class OperatorFold : public CodegenTest, public ::testing::WithParamInterface<FoldCase> {};

TEST_P(OperatorFold, GivesTheConstant)
{
    const FoldCase &c = GetParam();
    object left = constant(c.left_type, c.left_value, c.left_declarator);
    object right = constant(c.right_type, c.right_value);
    gen_binary_operation(c.op, &left, &right);
    EXPECT_EQ(left.kind, 0);
    EXPECT_EQ(left.type, c.type);
    EXPECT_EQ(left.value, c.value);
    EXPECT_EQ(summaries(), c.messages);
    EXPECT_EQ(here(), kRootCode) << "folding takes no code";
}

INSTANTIATE_TEST_SUITE_P(All, OperatorFold, ::testing::ValuesIn(kFolds),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- identities, order and refusals -------------------------------------------------------------------

// Operands: a the int at 0x8000, c the char at 0x8002, p an int pointer at 0x8004, q another
// at 0x8006, cp a char pointer at 0x8008, arr an int array at 0x8100, fp a function pointer, v
// a void pointer at 0x800A.
object operand_named(const std::string &name)
{
    if (name == "a") return variable(2, 0x8000);
    if (name == "c") return variable(1, 0x8002);
    if (name == "p") return variable(2, 0x8004, kDeclPointer);
    if (name == "q") return variable(2, 0x8006, kDeclPointer);
    if (name == "cp") return variable(1, 0x8008, kDeclPointer);
    if (name == "v") return variable(12, 0x800A, kDeclPointer);
    if (name == "arr") {
        static const uint16_t kTen[] = {10};
        object o = variable(2, 0x8100, kDeclArray);
        o.dims = kTen;
        o.dim_count = 1;
        return o;
    }
    if (name == "fp") return variable(2, 0x8200, kDeclPointer | kDeclFunction << 4);
    if (name == "1.0") return constant(7, fbits(1.0f));
    return constant(2, s(std::stoi(name)));
}

struct ShapeCase {
    const char *name;
    const char *left;
    const char *op;
    const char *right;
    std::vector<std::string> lines;  // exactly these, or
    bool any_code;                   // some code when `lines` is empty
    std::vector<std::string> messages;
    std::function<void(const object &)> result;
};
void PrintTo(const ShapeCase &c, std::ostream *os) { *os << c.name; }

auto is_variable_at(uint16_t address, uint16_t type)
{
    return [=](const object &o) {
        EXPECT_EQ(o.kind, 1);
        EXPECT_EQ(o.value, address);
        EXPECT_EQ(o.type, type);
    };
}
auto is_constant_zero(uint16_t type)
{
    return [=](const object &o) {
        EXPECT_EQ(o.kind, 0);
        EXPECT_EQ(o.value, 0u);
        EXPECT_EQ(o.type, type);
    };
}
auto in_registers(uint16_t type, uint32_t declarator = 0)
{
    return [=](const object &o) {
        EXPECT_EQ(o.kind, 255);
        EXPECT_EQ(o.type, type);
        EXPECT_EQ(decl_level(o.declarator, 0), declarator);
    };
}

const char *const kLoadA = "ld hl, (0x8000)";

const ShapeCase kShapes[] = {
    {"constant_plus_a_becomes_a_plus_constant", "3", "+", "a",
     {kLoadA, "inc hl", "inc hl", "inc hl"}, false, {}, in_registers(2)},
    {"a_minus_small_constant", "a", "-", "2", {kLoadA, "dec hl", "dec hl"}, false, {},
     in_registers(2)},
    {"a_plus_minus_three", "a", "+", "-3", {kLoadA, "dec hl", "dec hl", "dec hl"}, false, {},
     in_registers(2)},
    {"a_plus_zero", "a", "+", "0", {}, false, {}, is_variable_at(0x8000, 2)},
    {"zero_plus_a", "0", "+", "a", {}, false, {}, is_variable_at(0x8000, 2)},
    {"a_times_one", "a", "*", "1", {}, false, {}, is_variable_at(0x8000, 2)},
    {"one_times_a", "1", "*", "a", {}, false, {}, is_variable_at(0x8000, 2)},
    {"a_divided_by_one", "a", "/", "1", {}, false, {}, is_variable_at(0x8000, 2)},
    {"a_times_zero", "a", "*", "0", {}, false, {}, is_constant_zero(2)},
    {"a_modulo_one", "a", "%", "1", {}, false, {}, is_constant_zero(2)},
    {"zero_divided_by_a", "0", "/", "a", {}, false, {}, is_constant_zero(2)},
    {"zero_modulo_a", "0", "%", "a", {}, false, {}, is_constant_zero(2)},
    {"a_divided_by_zero", "a", "/", "0", {}, false, {kDivideByZero},
     is_variable_at(0x8000, 2)},
    {"a_modulo_zero", "a", "%", "0", {}, false, {kDivideByZero}, is_variable_at(0x8000, 2)},
    {"char_plus_zero_is_only_loaded", "c", "+", "0", {"ld hl, (0x8002)", "ld h, 0"}, false,
     {}, in_registers(2)},
    {"two_minus_a_needs_code", "2", "-", "a", {}, true, {}, in_registers(2)},
    {"two_shifted_by_a_needs_code", "2", "<<", "a", {}, true, {}, in_registers(2)},
    {"constant_and_a_needs_code", "5", "&", "a", {}, true, {}, in_registers(2)},
    {"array_plus_three_is_an_address", "arr", "+", "3", {}, false, {},
     [](const object &o) {
         EXPECT_EQ(o.kind, 1);
         EXPECT_EQ(o.value, 0x8106u);
         EXPECT_EQ(decl_level(o.declarator, 0), kDeclArray);
     }},
    {"three_plus_array", "3", "+", "arr", {}, false, {},
     [](const object &o) { EXPECT_EQ(o.value, 0x8106u); }},
    {"array_minus_one", "arr", "-", "1", {}, false, {},
     [](const object &o) { EXPECT_EQ(o.value, 0x80FEu); }},
    {"pointer_plus_three_adds_six", "p", "+", "3",
     {"ld de, 0x6", "ld hl, (0x8004)", "add hl, de"}, false, {},
     in_registers(2, kDeclPointer)},
    {"pointer_plus_one_steps_two", "p", "+", "1", {"ld hl, (0x8004)", "inc hl", "inc hl"},
     false, {}, in_registers(2, kDeclPointer)},
    {"pointer_minus_one", "p", "-", "1", {"ld hl, (0x8004)", "dec hl", "dec hl"}, false, {},
     in_registers(2, kDeclPointer)},
    {"pointer_plus_variable_doubles_it", "p", "+", "a",
     {kLoadA, "add hl, hl", "ex de, hl", "ld hl, (0x8004)", "add hl, de"}, false, {},
     in_registers(2, kDeclPointer)},
    {"pointer_difference_counts_elements", "p", "-", "q",
     {"ld de, (0x8006)", "ld hl, (0x8004)", "or a", "sbc hl, de", "ld b, 0x0", "ld a, 1"},
     false, {}, in_registers(2)},
    {"pointer_plus_pointer", "p", "+", "q", {}, false, {kIncompatible}, nullptr},
    {"pointer_plus_float", "p", "+", "1.0", {}, false, {kIncompatible}, nullptr},
    {"int_minus_pointer", "2", "-", "p", {}, false, {kIncompatible}, nullptr},
    {"pointers_to_unlike_types", "p", "-", "cp", {}, false, {kIncompatible}, nullptr},
    {"pointer_times_pointer", "p", "*", "q", {}, false,
     {"Pointers or references to variables cannot be used in this expression.",
      kIncompatible},
     nullptr},
    {"pointer_times_two_warns", "p", "*", "2", {}, true,
     {"Pointers or references to variables cannot be used in this expression."},
     in_registers(2)},
    {"function_address_arithmetic_warns", "fp", "+", "1", {}, true,
     {"Arithmetic expressions cannot contain function addresses."}, nullptr},
    {"void_pointer_has_no_size", "v", "+", "1", {}, false,
     {"Size of type is unknown or zero."}, nullptr},
    {"float_remainder_of_a_value", "1.0", "%", "a", {}, false,
     {"Invalid type for '%' operator"}, nullptr},
};

class OperatorShape : public RuntimeCodegenTest, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(OperatorShape, TakesItsCode)
{
    const ShapeCase &c = GetParam();
    object left = operand_named(c.left);
    object right = operand_named(c.right);
    gen_binary_operation(c.op, &left, &right);
    if (!c.lines.empty()) {
        EXPECT_EQ(lines(), c.lines);
    } else if (c.any_code) {
        EXPECT_FALSE(lines().empty());
    } else {
        EXPECT_EQ(here(), kRootCode) << "no code";
    }
    EXPECT_EQ(summaries(), c.messages);
    if (c.result)
        c.result(left);
    EXPECT_EQ(stack_offset(), 0);
}

INSTANTIATE_TEST_SUITE_P(All, OperatorShape, ::testing::ValuesIn(kShapes),
                         [](const auto &i) { return std::string(i.param.name); });

// A structure of 7 bytes: a pointer to it steps by 7.
TEST_F(RuntimeCodegenTest, StructurePointerStepsByItsSize)
{
    const int32_t tag = add_tag(kTagStruct, "seven");
    ASSERT_GE(tag, 16);
    ASSERT_EQ(set_tag_size(tag, 7), 0);
    object p = variable(static_cast<uint16_t>(tag), 0x8004, kDeclPointer);
    object two = constant(2, 2);
    gen_binary_operation("+", &p, &two);
    EXPECT_EQ(lines(), (std::vector<std::string>{"ld de, 0xe", "ld hl, (0x8004)", "add hl, de"}));
    EXPECT_TRUE(summaries().empty());
}

// An operand that a constant factor 0 makes useless is dropped from the stack it lies on.
TEST_F(RuntimeCodegenTest, DroppedStackedOperandIsReleased)
{
    object a = variable(2, 0x8000);
    gen_load_value(&a);
    gen_push_value(&a);
    ASSERT_EQ(stack_offset(), -2);
    object zero = constant(2, 0);
    gen_binary_operation("*", &a, &zero);
    EXPECT_EQ(a.kind, 0);
    EXPECT_EQ(stack_offset(), 0);
    EXPECT_EQ(lines().back(), "add sp, 2");
}

// An addressable operand: a fixed address or a frame variable without a short displacement has
// its address in HL; a constant stays.
TEST_F(RuntimeCodegenTest, AddressablePlacement)
{
    object a = variable(2, 0x8000);
    object k = constant(2, 5);
    {
        TargetExpressionHandling handling(&a, &k);
        handling.place_operand(&a, kPlaceAddressable, 2);
        handling.place_operand(&k, kPlaceAddressable, 2);
    }
    EXPECT_EQ(lines(), std::vector<std::string>{"ld hl, 0x8000"});
    EXPECT_TRUE(obj_flag(&a, addressInRegisters));
    EXPECT_EQ(k.kind, 0);
}

// ---- exact lines and routines ------------------------------------------------------------------------------

// i the int at 0x8000, j the int at 0x8002, u the unsigned at 0x8004, l and m longs at 0x8010
// and 0x8014, x and y floats at 0x8020 and 0x8024.
object value_named(const std::string &name)
{
    if (name == "i") return variable(2, 0x8000);
    if (name == "j") return variable(2, 0x8002);
    if (name == "u") return variable(3, 0x8004);
    if (name == "l") return variable(4, 0x8010);
    if (name == "m") return variable(4, 0x8014);
    if (name == "x") return variable(7, 0x8020);
    if (name == "y") return variable(7, 0x8024);
    if (name == "i_loaded") {
        object o = variable(2, 0x8000);
        gen_load_value(&o);
        return o;
    }
    return constant(2, s(std::stoi(name)));
}

struct LinesCase {
    const char *name;
    int cpu;  // 1 F80, 0 Z180
    const char *left;
    const char *op;
    const char *right;
    std::vector<std::string> lines;
    const char *routine;  // the call the code ends with, or nullptr
    bool tracking = false;
    uint8_t options = 0;
};
void PrintTo(const LinesCase &c, std::ostream *os) { *os << c.name; }

const std::vector<std::string> kFH = {"add hl, hl", "ccf", "rr hl"};
const std::vector<std::string> kFD = {"rl de", "ccf", "rr de"};

std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> out;
    for (const auto &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const char *const kI = "ld hl, (0x8000)";
const char *const kJtoDE = "ld de, (0x8002)";

const LinesCase kLines[] = {
    {"int_plus_three", 1, "i", "+", "3", {kI, "inc hl", "inc hl", "inc hl"}, nullptr},
    {"int_plus_four", 1, "i", "+", "4", {"ld de, 0x4", kI, "add hl, de"}, nullptr},
    {"int_times_ten", 1, "i", "*", "10",
     {kI, "add hl, hl", "push hl", "add hl, hl", "add hl, hl", "pop de", "add hl, de"}, nullptr},
    {"int_times_minus_four", 1, "i", "*", "-4", {kI, "add hl, hl", "add hl, hl"}, "c_neg"},
    {"int_times_twelve", 1, "i", "*", "12",
     {kI, "add hl, hl", "add hl, hl", "push hl", "add hl, hl", "pop de", "add hl, de"}, nullptr},
    {"int_times_seven_f80", 1, "i", "*", "7",
     {"ld de, 0x7", kI, "ld b, h", "ld c, l", "mul", "ld h, b", "ld l, c"}, nullptr},
    {"int_times_seven_z180", 0, "i", "*", "7", {"ld de, 0x7", kI}, "c_mult"},
    {"int_divided_by_eight", 1, "i", "/", "8", {kI, "ld b, 0x0", "ld a, 3"}, "c_divt"},
    {"int_divided_by_minus_eight", 1, "i", "/", "-8", {kI, "ld b, 0x80", "ld a, 3"}, "c_divt"},
    {"int_divided_by_eight_z180", 0, "i", "/", "8", {"ld de, (0x8000)", "ld hl, 0x8"},
     "c_div"},
    {"unsigned_divided_by_eight", 1, "u", "/", "8", {"ld de, (0x8004)", "ld hl, 0x3"}, "c_usr"},
    {"int_divided_by_int", 1, "i", "/", "j", {"ld de, (0x8000)", "ld hl, (0x8002)"}, "c_div"},
    {"int_modulo_int", 1, "i", "%", "j", {"ld de, (0x8000)", "ld hl, (0x8002)", "ex de, hl"},
     "c_div"},
    {"int_shifted_left", 1, "i", "<<", "j", {"ld de, (0x8000)", "ld hl, (0x8002)"}, "c_asl"},
    {"unsigned_shifted_right", 1, "u", ">>", "j", {"ld de, (0x8004)", "ld hl, (0x8002)"},
     "c_usr"},
    {"int_xor", 1, "i", "^", "j",
     {"ld de, (0x8000)", "ld hl, (0x8002)", "ld a, l", "xor e", "ld l, a", "ld a, h", "xor d",
      "ld h, a"},
     nullptr},
    {"int_xor_z180", 0, "i", "^", "j",
     {"ld de, (0x8000)", "ld hl, (0x8002)", "ld a, l", "xor e", "ld l, a", "ld a, h", "xor d",
      "ld h, a"},
     nullptr},
    {"int_xor_by_routine", 1, "i", "^", "j", {kI, "push hl", "ld hl, (0x8002)"}, "x_", false,
     kOptionXorRoutine},
    {"int_or_f80", 1, "i", "|", "j", {"ld de, (0x8000)", "ld hl, (0x8002)", "or hl, de"},
     nullptr},
    {"int_and_z180", 0, "i", "&", "j", {kI, "push hl", "ld hl, (0x8002)"}, "a_"},
    {"int_less_as_a_value", 1, "i", "<", "j",
     join({{kJtoDE, kI}, kFD, kFH, {"sbc hl, de", "sbc hl, hl", "bool hl"}}), nullptr},
    {"int_less_as_a_condition", 1, "i", "<", "j", join({{kJtoDE, kI}, kFD, kFH, {"sbc hl, de"}}),
     nullptr, true},
    {"int_less_z180", 0, "i", "<", "j",
     {kJtoDE, kI, "ld a, d", "xor 0x80", "ld d, a", "ld a, h", "xor 0x80", "ld h, a",
      "sbc hl, de", "ld hl, 0", "adc hl, hl"},
     nullptr},
    {"int_less_equal_is_reversed", 1, "i", "<=", "j",
     join({{"ld de, (0x8000)", "ld hl, (0x8002)"}, kFD, kFH,
           {"sbc hl, de", "ccf", "sbc hl, hl", "bool hl"}}),
     nullptr},
    {"int_less_than_constant", 1, "i", "<", "5",
     join({{"ld de, 0x8005", kI}, kFH, {"sbc hl, de", "sbc hl, hl", "bool hl"}}), nullptr},
    {"int_greater_than_constant", 1, "i", ">", "5",
     join({{"ld de, 0x8006", kI}, kFH, {"sbc hl, de", "ccf", "sbc hl, hl", "bool hl"}}), nullptr},
    {"constant_less_than_int", 1, "5", "<", "i",
     join({{"ld de, 0x8006", kI}, kFH, {"sbc hl, de", "ccf", "sbc hl, hl", "bool hl"}}), nullptr},
    {"largest_int_less_than_int", 1, "32767", "<", "i",
     join({{"ld de, 0xffff", kI}, kFH, {"scf", "sbc hl, de", "ccf", "sbc hl, hl", "bool hl"}}),
     nullptr},
    {"largest_int_less_than_int_as_a_condition", 1, "32767", "<", "i",
     join({{"ld de, 0xffff", kI}, kFH, {"scf", "sbc hl, de"}}), nullptr, true},
    {"unsigned_less_equal", 1, "u", "<=", "j",
     {kJtoDE, "ld hl, (0x8004)", "scf", "sbc hl, de", "sbc hl, hl", "bool hl"}, nullptr},
    {"int_equal", 1, "i", "==", "j",
     {"ld de, (0x8000)", "ld hl, (0x8002)", "or a", "sbc hl, de", "bool hl", "dec hl",
      "bool hl"},
     nullptr},
    {"int_equal_as_a_condition", 1, "i", "==", "j",
     {"ld de, (0x8000)", "ld hl, (0x8002)", "or a", "sbc hl, de"}, nullptr, true},
    {"int_not_equal", 1, "i", "!=", "j",
     {"ld de, (0x8000)", "ld hl, (0x8002)", "or a", "sbc hl, de", "bool hl"}, nullptr},
    {"int_equal_z180", 0, "i", "==", "j", {kI, "push hl", "ld hl, (0x8002)"}, "e_"},
    {"long_less", 1, "l", "<", "m",
     {"ld de, (0x8010)", "ld bc, (0x8012)", "push bc", "push de", "ld de, (0x8014)",
      "ld bc, (0x8016)"},
     "cl_lt"},
    {"long_less_with_the_right_computed_first", 1, "l", "<", "i_loaded", {}, "cl_gt"},
    {"long_difference", 1, "l", "-", "m", {}, "L_sub"},
    {"float_quotient", 1, "x", "/", "y", {}, "F_div"},
    {"float_remainder", 1, "x", "%", "y", {}, nullptr},
};

class OperatorLines : public RuntimeCodegenTest, public ::testing::WithParamInterface<LinesCase> {
protected:
    void SetUp() override
    {
        RuntimeCodegenTest::SetUp();
        // The Z180 set's routines, which the runtime library leaves out.
        uint16_t at = 0x3F00;
        for (const char *name : {"c_mult", "c_not", "e_", "n_", "o_", "a_", "long_0", "flt_0"})
            define_label(name, at += 4, kLabelGlobal);
    }
    void TearDown() override
    {
        set_flag_tracking(nullptr);
        set_codegen_options_byte(0);
        RuntimeCodegenTest::TearDown();
    }
    // The routine a call at `at` goes to.
    std::string called(uint32_t at)
    {
        const std::vector<uint8_t> b = bytes(at, 3);
        if (b[0] != 0xCD)
            return "";
        const uint16_t target = static_cast<uint16_t>(b[1] | b[2] << 8);
        if (std::string name = routine_at(target); !name.empty())
            return name;
        const std::pair<const char *, uint16_t> kExtra[] = {
            {"c_mult", 0x3F04}, {"c_not", 0x3F08}, {"e_", 0x3F0C}, {"n_", 0x3F10},
            {"o_", 0x3F14}, {"a_", 0x3F18}, {"long_0", 0x3F1C}, {"flt_0", 0x3F20}};
        for (const auto &[name, address] : kExtra)
            if (address == target)
                return name;
        return "?";
    }
};

TEST_P(OperatorLines, AreExact)
{
    const LinesCase &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    set_codegen_options_byte(c.options);
    const bool tracking = c.tracking;
    set_flag_tracking([tracking] { return tracking; });
    object left = value_named(c.left);
    if (left.kind == 255)
        defer_load(&left, false);
    object right = value_named(c.right);
    (void)claim_pending_value(&left);
    const size_t before = lines().size();
    const uint32_t start = here();
    gen_binary_operation(c.op, &left, &right);
    const std::vector<std::string> got(lines().begin() + static_cast<long>(before), lines().end());
    if (!c.lines.empty()) {
        EXPECT_EQ(got, c.lines);
    }
    if (c.routine) {
        // The call is the last instruction, or the one before the stack is released.
        std::string last;
        for (uint32_t at = start; addr_diff(here(), at) >= 3; at = addr_add(at, 1)) {
            if (std::string r = called(at); !r.empty() && r != "?")
                last = r;
        }
        EXPECT_EQ(last, c.routine);
    }
    if (std::string(c.name) == "float_remainder") {
        EXPECT_EQ(summaries(), std::vector<std::string>{"Invalid type for '%' operator"});
    } else {
        EXPECT_TRUE(summaries().empty()) << summaries().front();
    }
    EXPECT_EQ(stack_offset(), 0);
}

INSTANTIATE_TEST_SUITE_P(All, OperatorLines, ::testing::ValuesIn(kLines),
                         [](const auto &i) { return std::string(i.param.name); });

// On the Z180 set, every operator of every type assembles: no F80 mnemonic reaches it.
TEST_F(RuntimeCodegenTest, Z180AssemblesEveryOperator)
{
    (void)select_target_cpu(0, 1);
    for (const char *name : {"c_mult", "c_not", "e_", "n_", "o_", "a_", "long_0", "flt_0"})
        define_label(name, 0x3F00, kLabelGlobal);
    const char *const ops[] = {"+", "-", "*", "/", "%", "<<", ">>", "==", "!=",
                               "<", "<=", ">", ">=", "|", "^", "&"};
    for (uint16_t type : {uint16_t(1), uint16_t(2), uint16_t(3), uint16_t(4), uint16_t(5)})
        for (const char *op : ops)
            for (uint32_t k : {1u, 4u, 7u, 8u, 32767u}) {
                object a = variable(type, 0x8000);
                object b = variable(type, 0x8010);
                gen_binary_operation(op, &a, &b);
                object c = variable(type, 0x8000);
                object d = constant(type, k);
                gen_binary_operation(op, &c, &d);
                object e = constant(type, k);
                object f = variable(type, 0x8000);
                gen_binary_operation(op, &e, &f);
            }
    for (const char *op : {"+", "-", "*", "/", "==", "!=", "<", "<=", ">", ">="}) {
        object x = variable(7, 0x8000);
        object y = variable(7, 0x8010);
        gen_binary_operation(op, &x, &y);
    }
    for (const char *op : {"+", "-", "<", "==", ">="}) {
        object p = variable(2, 0x8000, kDeclPointer);
        object q = variable(2, 0x8010, op[0] == '+' ? 0u : uint32_t(kDeclPointer));
        gen_binary_operation(op, &p, &q);
    }
    EXPECT_TRUE(summaries().empty()) << summaries().front();
    EXPECT_EQ(stack_offset(), 0);
}

}  // namespace
