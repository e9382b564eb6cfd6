// The expression levels through the real compile entry: expression statements over globals in
// RAM compiled into root code and run on the board stand-in, "#if" conditions, string literals
// in the constant area, and the comparison hint of a condition.
#include <gtest/gtest.h>

#include "CompileRunFixture.h"
#include "OutputTestSupport.h"

#include "core/CC_ADDR.h"
#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "parser/CC_HIER.h"
#include "input/CC_IN.h"
#include "parser/CC_LABELS.h"
#include "core/CC_OBJ.h"
#include "core/CC_STAB.h"
#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80GEN.h"
#include "core/SEAM_DECL.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace compile_run;

// Globals and statements for the compile-and-run fixture until the declaration and statement
// parsers exist, one per top-level line:
//   "typedef" name ";"             an int type name
//   type name [ "=" number ] ";"   a global in RAM (from 0x9000), its value laid into memory
//                                  before the run; type: char int unsigned long "unsigned long"
//                                  float void
//   "if" "(" condition ")" statement [ "else" statement ]
//                                  the condition compiled as a condition is (with the look-ahead
//                                  tree unless `lookahead` is off) and a jump on it
//   expression ";"                 an expression statement
// The code of the statements runs from `first_code` to `code_end`.
class ExpressionLines : public DeclarationSeam {
public:
    std::map<uint16_t, uint8_t> *preset = nullptr;
    bool lookahead = true;
    std::optional<uint32_t> first_code;
    uint32_t code_end = 0;  // behind the last statement (library modules follow the program)
    std::vector<bool> hints;  // the comparison hint of each condition
    std::map<std::string, uint16_t> addresses;

    bool parse_external_declaration() override
    {
        skip_blanks_across_lines();
        if (declare_type_name() || declare_global())
            return true;
        if (!first_code)
            first_code = current_code_cache().current;
        if (match_keyword("if"))
            if_statement();
        else
            statement();
        code_end = current_code_cache().current;
        return true;
    }

private:
    uint16_t m_next = 0x9000;

    // A statement that does not end with its ";" is reported, and the rest of its line left.
    void statement()
    {
        parse_expression_statement();
        skip_blanks_across_lines();
        if (!match_text(";")) {
            report_missing(";");
            clear_line();
        }
    }

    void if_statement()
    {
        expect_text("(");
        object condition;
        parse_expression_list(&condition, 1, 0, lookahead ? 1 : 0);
        hints.push_back(comparison_hint());
        expect_text(")");
        const BranchRecord to_else = gen_conditional_jump(&condition, kDummyAddress, 1, false);
        statement();
        skip_blanks_across_lines();
        if (!match_keyword("else")) {
            patch_jump(to_else, current_code_cache().current);
            return;
        }
        const BranchRecord to_end = gen_jump(kDummyAddress, kOpJp);
        patch_jump(to_else, current_code_cache().current);
        statement();
        patch_jump(to_end, current_code_cache().current);
    }

    // "typedef" name ";": an int type name.
    bool declare_type_name()
    {
        if (!match_keyword("typedef"))
            return false;
        char name[kMaxIdentifier + 1];
        (void)scan_identifier(name, false, false);
        (void)add_symbol(name, 0, 2, 0, 7, nullptr, 0);
        expect_text(";");
        return true;
    }

    bool declare_global()
    {
        struct Type {
            const char *words;
            uint16_t code;
            uint16_t size;
        };
        static const Type kTypes[] = {{"unsigned long", 5, 4}, {"unsigned", 3, 2}, {"char", 1, 1},
                                      {"int", 2, 2},           {"long", 4, 4},     {"float", 7, 4},
                                      {"void", 12, 2}};
        const Type *type = nullptr;
        for (const Type &t : kTypes) {
            const LexerPlace start = lexer_place();
            std::istringstream words(t.words);
            std::string word;
            bool all = true;
            while (all && words >> word) {
                (void)skip_blanks();
                all = match_keyword(word.c_str());
            }
            if (all) {
                type = &t;
                break;
            }
            restore_lexer_place(start);
        }
        if (!type)
            return false;
        char name[kMaxIdentifier + 1];
        (void)scan_identifier(name, false, false);
        symbol *entry = add_symbol(name, 0, type->code, 0, 1, nullptr, 0);
        entry->address[0] = make_addr(0, m_next);
        addresses[name] = m_next;
        if (skip_blanks() == '=') {
            advance_input(1);
            (void)skip_blanks();
            char *end = nullptr;
            const char *text = input_pointer();
            uint32_t bits = 0;
            if (type->code == 7) {
                const float f = std::strtof(text, &end);
                std::memcpy(&bits, &f, sizeof bits);
            } else {
                bits = static_cast<uint32_t>(std::strtoll(text, &end, 0));
            }
            advance_input(static_cast<std::size_t>(end - text));
            for (uint16_t i = 0; i < type->size; ++i)
                (*preset)[static_cast<uint16_t>(m_next + i)] = static_cast<uint8_t>(bits >> (8 * i));
        }
        m_next = static_cast<uint16_t>(m_next + type->size);
        expect_text(";");
        return true;
    }
};

// The compile-and-run fixture with the lines above and the 16- and 32-bit runtime routines.
class ExprRun : public CompileRun {
protected:
    ExpressionLines lines;

    void SetUp() override
    {
        CompileRun::SetUp();
        lines.preset = &preset;
        set_declaration_seam(&lines);
        const std::string lib = std::string(KX_TEST_DATA) + "/../../TARGET/lib/";
        add_library("INT16.LIB", output_test::read_text(lib + "INT16.LIB"));
        add_library("INT32.LIB", output_test::read_text(lib + "INT32.LIB"));
    }

    // Compiles the program (the runtime libraries used) and runs its statements.
    ::testing::AssertionResult compile_and_run(const std::string &program)
    {
        // The run stops at the "nop" behind the statements; the library modules follow it. A
        // run-time error (the BIOS's routine) would end the run in a loop.
        const uint16_t status = compile("#use INT16.LIB\n#use INT32.LIB\n" + program +
                                        "#asm\n nop\nrterror_::\n jr rterror_\n#endasm\n");
        if (status != 0)
            return ::testing::AssertionFailure() << "status " << status << "\n" << messages_text();
        if (!lines.first_code)
            return ::testing::AssertionFailure() << "no statement";
        const vsim::RunResult r = run(addr_offset(*lines.first_code), 20000,
                                      vsim::Breakpoint{addr_offset(lines.code_end), -1});
        if (r.reason != vsim::StopReason::breakpoint)
            return ::testing::AssertionFailure() << "the run did not reach the end of the code";
        return reg("SP", 0xE000);
    }
    uint32_t code_end() const { return lines.code_end; }
    std::vector<std::string> summaries() const
    {
        std::vector<std::string> out;
        for (const Message &m : messages())
            out.push_back(m.summary);
        return out;
    }
};

// ---- values against C ---------------------------------------------------------------------------

const char *const kGlobals = "int a = -7;\n"
                             "int b = 3;\n"
                             "int c = 1;\n"
                             "int z = 0;\n"
                             "unsigned u = 0xFFF9;\n"
                             "long l = 70000;\n"
                             "char ch = 200;\n";

struct ValueCase {
    const char *name;
    const char *expression;
    const char *reg;
    uint32_t value;
};
// a = -7, b = 3, c = 1, z = 0, u = 0xFFF9, l = 70000, ch = 200
const ValueCase kValues[] = {
    {"precedence", "(a + 3) * b - a / 4", "HL", static_cast<uint16_t>((-7 + 3) * 3 - -7 / 4)},
    {"remainder_of_negative", "a % b", "HL", static_cast<uint16_t>(-7 % 3)},
    {"shift_right_signed", "a >> 3", "HL", static_cast<uint16_t>(-7 >> 3)},
    {"shift_right_unsigned", "u >> 3", "HL", 0xFFF9 >> 3},
    {"division_truncates", "a / 8", "HL", 0},
    {"relational_groups_left", "a < b < c", "HL", 0},
    {"shift_before_relational", "a << 2 < b", "HL", 1},
    {"long_times_int_plus_int_low", "l * 3 + a", "DE", static_cast<uint16_t>(70000 * 3 - 7)},
    {"long_times_int_plus_int_high", "l * 3 + a", "BC", (70000 * 3 - 7) >> 16},
    {"equality_below_bitwise_and", "b & 1 == 1", "HL", 1},
    {"bitwise_levels", "b | c ^ 2 & 6", "HL", 3 | (1 ^ (2 & 6))},
    {"additive_left_to_right", "b - c - 1", "HL", 1},
    {"comma_takes_the_last", "(a, b)", "HL", 3},
    {"unary_minus_of_a_variable", "-a", "HL", 7},
    {"logical_not_of_a_variable", "!z", "HL", 1},
    {"complement_of_a_variable", "~b", "HL", static_cast<uint16_t>(~3)},
    {"char_promotes", "ch + 100", "HL", 300},
    {"nested_parentheses", "((((b))))", "HL", 3},
};

class ExprValues : public ExprRun, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ExprValues, MatchC)
{
    const ValueCase &c = GetParam();
    ASSERT_TRUE(compile_and_run(std::string(kGlobals) + c.expression + ";\n"));
    EXPECT_TRUE(reg(c.reg, c.value)) << c.expression;
}
INSTANTIATE_TEST_SUITE_P(All, ExprValues, ::testing::ValuesIn(kValues),
                         [](const auto &i) { return std::string(i.param.name); });

// "&&" and "||" give 0 or 1 on every path, whatever the type of the operand that decides.
struct TruthCase {
    const char *name;
    const char *expression;
    uint16_t value;
};
const TruthCase kTruths[] = {
    {"and_both_true", "a && b", 1},       {"and_left_false", "z && b", 0},
    {"and_right_false", "a && z", 0},     {"or_both_false", "z || z", 0},
    {"or_left_true", "a || z", 1},        {"or_right_true", "z || b", 1},
    {"or_long_left_true", "l || z", 1},   {"and_long_left_true", "l && b", 1},
    {"or_char_left_true", "ch || z", 1},  {"and_char_left_true", "ch && c", 1},
    {"constant_left_decides_or", "1 || z", 1},
    {"constant_left_decides_and", "0 && b", 0},
    {"constant_left_hands_over_or", "0 || b", 1},
    {"constant_left_hands_over_and", "1 && z", 0},
    {"chained", "z || a && b", 1},
};

class ExprTruths : public ExprRun, public ::testing::WithParamInterface<TruthCase> {};

TEST_P(ExprTruths, AreZeroOrOne)
{
    const TruthCase &c = GetParam();
    ASSERT_TRUE(compile_and_run(std::string(kGlobals) + c.expression + ";\n"));
    EXPECT_TRUE(reg("HL", c.value)) << c.expression;
}
INSTANTIATE_TEST_SUITE_P(All, ExprTruths, ::testing::ValuesIn(kTruths),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ExprRun, DecidedOperandLeavesNoCode)
{
    const std::string globals = "int a = 5;\nint b = 0;\n";
    ASSERT_TRUE(compile_and_run(globals + "1;\n"));
    const uint32_t plain_end = code_end();
    ASSERT_TRUE(compile_and_run(globals + "1 || a / b;\n"));
    EXPECT_TRUE(reg("HL", 1));
    EXPECT_EQ(code_end(), plain_end) << "neither the division nor the routine it calls is there";
    ASSERT_TRUE(compile_and_run(globals + "0 && a / b;\n"));
    EXPECT_TRUE(reg("HL", 0));
    EXPECT_EQ(code_end(), plain_end);
}

// ---- the conditional ----------------------------------------------------------------------------

TEST_F(ExprRun, ConditionalWithALongBranchIsLong)
{
    const std::string globals = "int s = 0;\nint t = 1;\nlong l = 70000;\nint b = -7;\n";
    ASSERT_TRUE(compile_and_run(globals + "s ? l : b;\n"));
    EXPECT_TRUE(reg("BC", 0xFFFF)) << "b sign-extended";
    EXPECT_TRUE(reg("DE", 0xFFF9));
    ASSERT_TRUE(compile_and_run(globals + "t ? l : b;\n"));
    EXPECT_TRUE(reg("BC", 1));
    EXPECT_TRUE(reg("DE", 70000 - 65536));
    ASSERT_TRUE(compile_and_run(globals + "t ? b : l;\n"));
    EXPECT_TRUE(reg("BC", 0xFFFF)) << "converted behind the long branch";
    EXPECT_TRUE(reg("DE", 0xFFF9));
    ASSERT_TRUE(compile_and_run(globals + "s ? b : l;\n"));
    EXPECT_TRUE(reg("BC", 1));
}

TEST_F(ExprRun, ConstantConditionStillEmitsBothBranches)
{
    const std::string globals = "int a = 11;\nint b = 22;\n";
    ASSERT_TRUE(compile_and_run(globals + "1 ? a : b;\n"));
    EXPECT_TRUE(reg("HL", 11));
    const std::vector<uint8_t> load_b = {0x2A, 0x02, 0x90};  // ld hl, (b)
    bool found = false;
    for (uint32_t at = *lines.first_code; at + 3 <= code_end() && !found; ++at)
        found = sent_at(at, 3) == load_b;
    EXPECT_TRUE(found) << "the third operand is compiled too";
}

TEST_F(ExprRun, MissingColonIsReportedAndTheParseGoesOn)
{
    compile("int a = 1;\nint b = 2;\na ? a b;\nb;\n");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Missing character ':'."});
}

// ---- conditions and the comparison hint ----------------------------------------------------------

struct HintCase {
    const char *name;
    const char *condition;
    bool hint;
};
const HintCase kConditions[] = {
    {"equal", "x == 1", true},         {"not_equal", "x != 1", true},
    {"less", "x < 2", true},           {"greater_equal", "x >= 2", true},
    {"comparison_of_a_comparison", "x == y < 2", true},
    {"parenthesised_comparison", "x == (y < 2)", false},
    {"and_of_comparisons", "x == 1 && y == 2", false},
    {"plain_value", "x", false},       {"sum", "x + y", false},
};

class ExprConditions : public ExprRun, public ::testing::WithParamInterface<HintCase> {};

// Each condition runs for three values of x with the hints and without: the same results.
TEST_P(ExprConditions, SameResultsWithAndWithoutTheHints)
{
    const HintCase &c = GetParam();
    for (const char *x : {"0", "1", "2"}) {
        std::map<bool, uint32_t> results;
        for (bool lookahead : {true, false}) {
            lines = ExpressionLines{};
            lines.preset = &preset;
            lines.lookahead = lookahead;
            preset.clear();
            const std::string program = std::string("int x = ") + x + ";\nint y = 1;\n" +
                                        "if (" + c.condition + ") 100; else 200;\n";
            ASSERT_TRUE(compile_and_run(program)) << program;
            results[lookahead] = cpu.hl();
            ASSERT_EQ(lines.hints.size(), 1u);
            EXPECT_EQ(lines.hints[0], lookahead && c.hint) << c.condition;
        }
        EXPECT_EQ(results[true], results[false]) << c.condition << " with x = " << x;
    }
}
INSTANTIATE_TEST_SUITE_P(All, ExprConditions, ::testing::ValuesIn(kConditions),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ExprRun, AComparisonConditionJumpsOnTheFlags)
{
    const std::string program = "int x = 1;\nif (x == 1) 100; else 200;\n";
    lines.lookahead = false;
    ASSERT_TRUE(compile_and_run(program));
    EXPECT_TRUE(reg("HL", 100));
    const uint32_t without = code_end() - *lines.first_code;
    lines = ExpressionLines{};
    lines.preset = &preset;
    ASSERT_TRUE(compile_and_run(program));
    EXPECT_TRUE(reg("HL", 100));
    EXPECT_LT(code_end() - *lines.first_code, without) << "no truth value is formed in HL";
}

// ---- string literals in the constant area ----------------------------------------------------------

TEST_F(ExprRun, EqualLiteralsShareOneCopy)
{
    ASSERT_TRUE(compile_and_run("\"abc\";\n"));
    const uint16_t first = static_cast<uint16_t>(cpu.hl());
    EXPECT_TRUE(memory(first, {'a', 'b', 'c', 0}));
    ASSERT_TRUE(compile_and_run("\"abc\";\n\"xyz\";\n\"abc\";\n"));
    const uint16_t shared = static_cast<uint16_t>(cpu.hl());
    EXPECT_TRUE(memory(shared, {'a', 'b', 'c', 0}));
    EXPECT_EQ(constant_cache().current - kConstants, 8u) << "one copy each";
}

TEST_F(ExprRun, WithoutTheOptimizationEveryLiteralHasItsCopy)
{
    IdePreferences().string_literal_optimization = false;
    ASSERT_TRUE(compile_and_run("\"abc\";\n\"abc\";\n"));
    EXPECT_TRUE(memory(static_cast<uint16_t>(cpu.hl()), {'a', 'b', 'c', 0}));
    EXPECT_EQ(constant_cache().current - kConstants, 8u);
}

TEST_F(ExprRun, LiteralsWithZeroBytesKeepThemAndStayApart)
{
    ASSERT_TRUE(compile_and_run("\"a\\0c\";\n\"a\\0b\";\n"));
    EXPECT_TRUE(memory(static_cast<uint16_t>(cpu.hl()), {'a', 0, 'b', 0}));
    EXPECT_EQ(constant_cache().current - kConstants, 8u);
}

// ---- "#if" through the compile ------------------------------------------------------------------------

struct IfCase {
    const char *name;
    const char *condition;
    bool active;
    std::vector<std::string> messages;
};
const IfCase kIfs[] = {
    {"division_by_zero", "10 / 0", true, {"Division by constant zero."}},
    {"conditional", "1 ? 1 : 0", false, {"Constant expression expected."}},
    {"global", "g", false, {"Constant expression expected."}},
    {"undeclared", "NOPE", false, {"NOPE is out of scope/ not declared."}},
    {"operand_missing", "1 +", true, {"Invalid expression."}},
    {"upper_bits_count", "0x10000", true, {}},
    {"variable_times_zero", "g * 0", false, {}},
    {"long_compare", "70000 > 65535", true, {}},
    {"stray_text", "1 2", true, {"Invalid expression."}},
    {"octal", "08", false, {"Not octal digit."}},
};

class ExprIf : public ExprRun, public ::testing::WithParamInterface<IfCase> {};

TEST_P(ExprIf, DecidesTheSectionAndReports)
{
    const IfCase &c = GetParam();
    compile(std::string("int g = 5;\n#if ") + c.condition + "\ng;\n#endif\nint after;\n");
    EXPECT_EQ(summaries(), c.messages);
    EXPECT_EQ(lines.first_code.has_value(), c.active) << "the section's statement";
    EXPECT_EQ(lines.addresses.count("after"), 1u) << "the line after the group is read";
}
INSTANTIATE_TEST_SUITE_P(All, ExprIf, ::testing::ValuesIn(kIfs),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ExprRun, FaultyConditionLeavesNoCode)
{
    ASSERT_EQ(compile("int g = 5;\n1;\n"), 0) << messages_text();
    const uint32_t end = code_end();
    compile("int g = 5;\n#if g ? g + 1 : g\n#endif\n1;\n");
    EXPECT_EQ(code_end(), end);
}

// ---- bad input -----------------------------------------------------------------------------------------

struct BadCase {
    const char *name;
    const char *statement;
    std::vector<std::string> messages;
};
const BadCase kBad[] = {
    {"operand_missing", "a +;", {"Invalid expression."}},
    {"operand_missing_before_parenthesis", "(a * );", {"Invalid expression."}},
    {"stray_character", "a @ b;", {"; is missing/expected."}},
    {"unclosed_parenthesis", "(a + 1;", {"Missing character ')'."}},
    {"void_operand", "v || a;", {"Illegal use of type void."}},
    {"type_name", "t + 1;", {"Expecting function or variable name."}},
    {"call_of_an_undefined_function", "f(1, 2);", {"Undefined (but used) global label f"}},
    {"assignment_to_a_constant", "1 = a;", {"Invalid expression - need lvalue."}},
    {"waitfordone_outside_a_costatement", "waitfordone { a; };",
     {"No enclosing costate, construct waitfordone not valid."}},
    {"web_reference_outside_a_guard", "$a;",
     {"Invalid expression.", "Web variable 'a' is not declared."}},
    {"character_with_two", "'ab';", {"Missing character '''.", "; is missing/expected."}},
};

class ExprBad : public ExprRun, public ::testing::WithParamInterface<BadCase> {};

TEST_P(ExprBad, ReportedAndTheNextLineIsRead)
{
    const BadCase &c = GetParam();
    compile(std::string("int a = 1;\nvoid v;\ntypedef t;\n") + c.statement + "\nint after;\n");
    std::vector<std::string> got = summaries(), expected = c.messages;
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected) << c.statement;
    EXPECT_EQ(lines.addresses.count("after"), 1u);
}
INSTANTIATE_TEST_SUITE_P(All, ExprBad, ::testing::ValuesIn(kBad),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ExprRun, DeepNestingIsRefusedWithoutExhaustingTheStack)
{
    const std::string deep = std::string(15000, '(') + "1" + std::string(15000, ')');
    compile(deep + ";\nint after;\n");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Expression nested too deeply."});
    EXPECT_EQ(lines.addresses.count("after"), 1u);
}

TEST_F(ExprRun, DeepNestingAcrossLinesIsOneGroup)
{
    // 100,000 parentheses on ten lines, and ten lines that close them.
    std::string across;
    for (int i = 0; i < 10; ++i)
        across += std::string(10000, '(') + "\n";
    across += "1\n";
    for (int i = 0; i < 10; ++i)
        across += std::string(10000, ')') + "\n";
    compile(across + ";\nint after2;\n");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Expression nested too deeply."});
    EXPECT_EQ(lines.addresses.count("after2"), 1u);
}

}  // namespace
