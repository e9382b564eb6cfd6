// The frame of the expression levels on the code generator's fixture: constant expressions and
// what they keep, the stack check at the end of an outermost expression, the types of a
// conditional's branches, the built-in names, and the hints a nested entry leaves.
#include <gtest/gtest.h>

#include "CodegenFixture.h"

#include "driver/CC_GO.h"
#include "parser/CC_HIER.h"
#include "input/CC_IN.h"
#include "core/CC_OBJ.h"
#include "core/CC_STAB.h"
#include "codegen/CC_Z80.h"
#include "codegen/CC_Z80CPU.h"

#include <string>
#include <vector>

namespace {

using namespace codegen_test;

// Globals at fixed addresses in the data segment; text compiled at the lexer's input pointer.
class ExprFrame : public CodegenTest {
protected:
    std::string text;

    void SetUp() override
    {
        CodegenTest::SetUp();
        allocate_symbol_tables(200);
        reset_expression_parser();
        set_stack_offset(0);
        set_pending_stack_adjustments(0, 0);
        compiler_options() = CompilerOptions{};
    }
    void TearDown() override
    {
        set_no_line_crossing(false);
        set_stack_offset(0);
        set_pending_stack_adjustments(0, 0);
        set_expression_stack_allowance(0);
        compiler_options() = CompilerOptions{};
        reset_expression_parser();
        CodegenTest::TearDown();
    }
    symbol *global(const char *name, int32_t type, uint32_t declarator = 0, uint16_t address = 0)
    {
        symbol *s = add_symbol(name, declarator, type, 0, 1, nullptr, 0);
        s->address[0] = make_addr(0, address ? address : static_cast<uint16_t>(kData + 2 * m_count));
        ++m_count;
        return s;
    }
    void read(const std::string &t)
    {
        text = t;
        set_input_pointer(text.c_str());
        set_no_line_crossing(true);
    }
    std::string rest() const { return input_pointer(); }

private:
    int m_count = 0;
};

// ---- constant expressions -------------------------------------------------------------------------

struct ConstantCase {
    const char *name;
    const char *text;
    uint16_t value16;
    uint32_t value32;
    uint16_t type;
    std::vector<std::string> messages;
};
const ConstantCase kConstants[] = {
    {"long_keeps_all_bits", "70000", 4464, 70000, 4, {}},
    {"folded", "2 * (3 + 4) - 1", 13, 13, 2, {}},
    {"unsigned_long", "70000U", 4464, 70000, 5, {}},
    {"variable_times_zero", "g * 0", 0, 0, 2, {}},
    {"zero_times_variable", "0 * g", 0, 0, 2, {}},
    {"divided_by_zero_keeps_the_dividend", "7 / 0", 7, 7, 2, {"Division by constant zero."}},
    {"comparison_is_int", "70000L > 3", 1, 1, 2, {}},
    {"logical_of_constants", "3 && 0 || 2", 1, 1, 2, {}},
    {"unary_minus", "-(5)", 0xFFFB, 0xFFFFFFFB, 2, {}},
    {"not_of_zero_float", "!0.0", 1, 1, 2, {}},
};

class ConstantExpressions : public ExprFrame, public ::testing::WithParamInterface<ConstantCase> {};

TEST_P(ConstantExpressions, ValueAndType)
{
    const ConstantCase &c = GetParam();
    global("g", 2);
    read(c.text);
    EXPECT_EQ(parse_constant_expression(), c.value16);
    EXPECT_EQ(last_constant_type(), c.type);
    EXPECT_EQ(last_constant_value(), c.value32);
    read(c.text);
    EXPECT_EQ(parse_long_constant_expression(), c.value32);
    EXPECT_EQ(rest(), "");
    std::vector<std::string> expected;
    for (const std::string &m : c.messages)
        expected.insert(expected.end(), {m, m});  // once per read
    EXPECT_EQ(summaries(), expected);
}
INSTANTIATE_TEST_SUITE_P(All, ConstantExpressions, ::testing::ValuesIn(kConstants),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ExprFrame, NonConstantIsReportedAndGivesZero)
{
    global("g", 2);
    read("70000");
    (void)parse_constant_expression();
    for (const char *t : {"g", "g + 1", "1 ? 2 : 3", "g && 1"}) {
        read(t);
        EXPECT_EQ(parse_constant_expression(), 0) << t;
        EXPECT_EQ(last_constant_type(), 4) << t << ": the last constant's type stays";
        read(t);
        EXPECT_EQ(parse_long_constant_expression(), 0u) << t;
    }
    EXPECT_EQ(summaries(), std::vector<std::string>(8, "Constant expression expected."));
}

// ---- the stack check ---------------------------------------------------------------------------------

TEST_F(ExprFrame, TemporaryStackOffBalanceIsReportedOnceAndReset)
{
    global("g", 2);
    read("g + 1");
    set_stack_offset(-2);
    parse_expression_statement();
    EXPECT_EQ(summaries(), std::vector<std::string>{"Internal Error: Expression temporary stack usage."});
    EXPECT_EQ(stack_offset(), 0);
    reset_errors();
    read("g + 2");
    parse_expression_statement();
    EXPECT_TRUE(summaries().empty()) << "the next expression is checked afresh";
}

TEST_F(ExprFrame, NegativeAutomaticStackIsReportedOnceAndReset)
{
    global("g", 2);
    read("g");
    set_pending_stack_adjustments(-2, 0);
    parse_expression_statement();
    EXPECT_EQ(summaries(), std::vector<std::string>{"Internal Error: Automatic stack usage."});
    EXPECT_EQ(value_model_obj_host().pending_adjust_1(), 0);
}

TEST_F(ExprFrame, TheFunctionsAllowanceIsExpected)
{
    global("g", 2);
    set_expression_stack_allowance(2);
    set_stack_offset(-2);
    read("g * 3");
    parse_expression_statement();
    EXPECT_TRUE(summaries().empty());
    EXPECT_EQ(stack_offset(), -2);
}

TEST_F(ExprFrame, AResetRequestSkipsTheCheck)
{
    global("g", 2);
    set_stack_offset(-4);
    request_stack_tracking_reset();
    read("g");
    parse_expression_statement();
    EXPECT_TRUE(summaries().empty());
    EXPECT_EQ(stack_offset(), 0);
}

TEST_F(ExprFrame, NestingCountsOnlyWhileAnExpressionIsOpen)
{
    global("g", 2);
    read("(g, (g + 1))");
    parse_expression_statement();
    EXPECT_EQ(expression_nesting_count(), 0);
    EXPECT_EQ(gObjectPool.mark_depth(), 0u) << "every entry gave its nodes back";
}

// A loop condition's value: a constant needs no load when it is not used, anything else is loaded
// as an int.
TEST_F(ExprFrame, ValueExpressionLoadsWhatIsUsedOrComputed)
{
    global("g", 2, 0, 0x8010);
    read("5");
    parse_value_expression(0);
    EXPECT_TRUE(lines().empty());
    read("5");
    parse_value_expression(1);
    EXPECT_EQ(lines(), std::vector<std::string>{"ld hl, 0x5"});
    recorder.lines.clear();
    read("g");
    parse_value_expression(0);
    EXPECT_EQ(lines(), std::vector<std::string>{"ld hl, (0x8010)"});
}

// ---- conditional branches -------------------------------------------------------------------------

struct BranchCase {
    const char *name;
    const char *text;
    uint16_t type;
    uint32_t first_level;
    std::vector<std::string> messages;
};
const BranchCase kBranches[] = {
    // A const flag (bit 2 of a level) is no declarator level.
    {"const_int_and_int", "c ? k : i", 2, kDeclNone, {}},
    {"int_and_const_int", "c ? i : k", 2, kDeclNone, {}},
    {"pointer_and_zero", "c ? p : 0", 2, kDeclPointer, {}},
    {"zero_and_pointer", "c ? 0 : p", 2, kDeclPointer, {}},
    {"pointer_and_one", "c ? p : 1", 2, kDeclPointer, {"Operands and/or operator incompatible."}},
    {"one_and_pointer", "c ? 1 : p", 2, kDeclNone, {"Operands and/or operator incompatible."}},
    {"int_and_long", "c ? i : l", 4, kDeclNone, {}},
    {"int_and_unsigned", "c ? i : u", 3, kDeclNone, {}},
};

class ConditionalBranches : public ExprFrame, public ::testing::WithParamInterface<BranchCase> {};

TEST_P(ConditionalBranches, TypeOfTheResult)
{
    const BranchCase &c = GetParam();
    global("c", 2);
    global("i", 2);
    global("k", 2, 0x4);  // const int
    global("p", 2, kDeclPointer);
    global("l", 4);
    global("u", 3);
    read(c.text);
    object result;
    parse_expression(&result, 1, 0, 0);
    EXPECT_EQ(result.type, c.type);
    EXPECT_EQ(decl_level(result.declarator, 0), c.first_level);
    EXPECT_EQ(summaries(), c.messages);
}
INSTANTIATE_TEST_SUITE_P(All, ConditionalBranches, ::testing::ValuesIn(kBranches),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- built-in names --------------------------------------------------------------------------------

struct BuiltinCase {
    const char *name;
    const char *text;
    int code;
    bool inline_io;
    int cpu;  // 0 the Vireon family (the flag 1), 1 the Z180
    const char *rest;
};
const BuiltinCase kBuiltins[] = {
    {"bit_upper", "BIT(x, 3)", 4, false, 0, "(x, 3)"},
    {"bit_lower", "bit (x, 3)", 4, false, 0, "(x, 3)"},
    {"set", "SET(x, 1)", 5, false, 0, "(x, 1)"},
    {"res_lower", "res(x, 1)", 6, false, 0, "(x, 1)"},
    {"cofunc_max", "CofuncMaxInstance(f)", 1, false, 0, "(f)"},
    {"port_io_with_option", "WrPortI(1, 0, 2)", 32, true, 0, "(1, 0, 2)"},
    {"port_io_without_option", "WrPortI(1, 0, 2)", 0, false, 0, "WrPortI(1, 0, 2)"},
    {"bit_port_read", "BitRdPortI(1, 2)", 34, true, 0, "(1, 2)"},
    {"ipset_on_the_vireon", "ipset(1)", 17, false, 0, "(1)"},
    {"ipres_on_the_vireon", "ipres()", 18, false, 0, "()"},
    {"ipset_on_the_z180", "ipset(1)", 0, false, 1, "ipset(1)"},
    {"no_parenthesis", "BIT x", 0, false, 0, "BIT x"},
    {"longer_name", "BITS(x)", 0, false, 0, "BITS(x)"},
    {"defined_function", "RES(x, 1)", 0, false, 0, "RES(x, 1)"},
    {"local_name", "SET(x, 1)", 0, false, 0, "SET(x, 1)"},
};

class BuiltinNames : public ExprFrame, public ::testing::WithParamInterface<BuiltinCase> {};

TEST_P(BuiltinNames, CodeByTableAndConditions)
{
    const BuiltinCase &c = GetParam();
    for (const char *name : {"BIT", "bit", "SET", "set", "RES", "res", "CofuncMaxInstance",
                             "WrPortI", "RdPortI", "BitRdPortI", "BitWrPortI", "ipset", "ipres"})
        (void)add_symbol(name, kDeclFunction, 2, 0, 1, nullptr, 0);  // prototypes without a body
    if (std::string(c.name) == "defined_function")
        find_symbol("RES", false, kGlobalTable)->address[0] = make_addr(0, 0x4100);
    if (std::string(c.name) == "local_name") {
        set_local_scope(true);
        (void)add_symbol("SET", 0, 2, 0, 2, nullptr, 0);
    }
    compiler_options().inline_io = c.inline_io ? 1 : 0;
    (void)select_target_cpu(0, static_cast<uint8_t>(c.cpu));
    read(c.text);
    EXPECT_EQ(builtin_function_code(), c.code);
    EXPECT_EQ(rest(), c.rest);
    set_local_scope(false);
    clear_local_symbols();
}
INSTANTIATE_TEST_SUITE_P(All, BuiltinNames, ::testing::ValuesIn(kBuiltins),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ExprFrame, AUserFunctionNamedBitIsNoBuiltin)
{
    symbol *bit = add_symbol("bit", kDeclFunction, 2, 0, 1, nullptr, 0);
    bit->address[0] = make_addr(0, 0x4200);
    read("bit(1)");
    object node;
    parse_expression(&node, 1, 0, 0);
    EXPECT_EQ(summaries(), std::vector<std::string>{})
        << "an ordinary call, not the built-in (whose prototype is missing)";
}

// ---- names -------------------------------------------------------------------------------------------

TEST_F(ExprFrame, NamesByTheirKind)
{
    (void)add_symbol("RED", 0, 2, 5, 8, nullptr, 0);  // an enumeration constant
    (void)add_symbol("T", 0, 2, 0, 7, nullptr, 0);    // a type name
    global("g", 3);
    set_local_scope(true);
    symbol *local = add_symbol("loc", 0, 2, -4, 2, nullptr, 0);
    ASSERT_EQ(local->kind, 2);

    object node;
    read("RED");
    parse_expression(&node, 1, 0, 0);
    EXPECT_EQ(node.kind, 0);
    EXPECT_EQ(node.value, 5u);
    read("g");
    parse_expression(&node, 1, 0, 0);
    EXPECT_EQ(node.kind, 1);
    EXPECT_EQ(node.type, 3);
    EXPECT_EQ(automatic_reference_count(), 0);
    read("loc");
    parse_expression(&node, 1, 0, 0);
    EXPECT_EQ(node.kind, 2);
    EXPECT_EQ(static_cast<int16_t>(node.value), -4);
    EXPECT_EQ(automatic_reference_count(), 1);
    block_auto_references(true);
    read("loc");
    parse_expression(&node, 1, 0, 0);
    block_auto_references(false);
    EXPECT_EQ(node.kind, 0);
    read("T");
    parse_expression(&node, 1, 0, 0);
    EXPECT_EQ(summaries(), (std::vector<std::string>{"Auto (on stack) variable not allowed.",
                                                     "Expecting function or variable name."}));
    set_local_scope(false);
    clear_local_symbols();
}

TEST_F(ExprFrame, UndeclaredNameFollowedByACallIsDeclaredAFunction)
{
    read("f(1)");
    object node;
    parse_expression(&node, 1, 0, 0);
    const symbol *f = find_symbol("f", false, kGlobalTable);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(decl_level(f->declarator, 0), kDeclFunction);
    EXPECT_EQ(f->type, 2);
    read("h + 1");
    parse_expression(&node, 1, 0, 0);
    EXPECT_EQ(summaries(), (std::vector<std::string>{"h is out of scope/ not declared."}));
}

// ---- hints -----------------------------------------------------------------------------------------

TEST_F(ExprFrame, ConditionEntryTakesTheComparisonHint)
{
    global("x", 2);
    read("x == 1)");
    object node;
    parse_expression_list(&node, 1, 0, 1);
    EXPECT_TRUE(comparison_hint()) << "kept for the jump on the condition";
    EXPECT_TRUE(condition_flag_tracking());
    read("x + 1;");
    parse_expression(&node, 1, 0, 0);
    EXPECT_FALSE(comparison_hint()) << "every entry sets it anew";
    EXPECT_FALSE(assignment_hint());
}

}  // namespace
