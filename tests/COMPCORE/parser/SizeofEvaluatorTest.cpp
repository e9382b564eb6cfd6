// The type evaluator of "sizeof" operands through the real compile entry: globals from the
// declaration parser, function bodies from the function-definition compiler, and every other
// top-level line compiled as a statement into root code and run on the board stand-in. The
// sizes it gives, that no operand runs and no code is emitted, that they agree with the node the
// code-generating parser builds for the same text, and what it reports for bad operands.
#include <gtest/gtest.h>

#include "CompileRunFixture.h"
#include "OutputTestSupport.h"
#include "StatementLines.h"

#include "core/CC_ADDR.h"
#include "parser/CC_DECLR.h"
#include "driver/CC_GO.h"
#include "parser/CC_HIER.h"
#include "input/CC_IN.h"
#include "parser/CC_LABELS.h"
#include "core/CC_OBJ.h"
#include "parser/CC_PARSE.h"
#include "parser/CC_SIZEOF.h"
#include "core/CC_STAB.h"
#include "core/SEAM_DECL.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace compile_run;

// The declarations every program here starts with. g counts its calls in n.
const char *const kDeclarations =
    "char c, d; int i; long l; float f; char *p; char a[10]; int m[3][4];\n"
    "struct S { char x; int y; long z; } s, *ps;\n"
    "int n; unsigned r; int k(int); int CofuncMaxInstance();\n"
    "long g() { n = n + 1; return 1L; }\n";

// Top-level lines as `DeclarationsAndStatements` reads them, and two forms of its own:
//   "compare" expression ";"   the operand evaluated for its type, then compiled (its code
//                              thrown away) as the code-generating parser compiles it: both sizes
//                              are kept
// and, for every statement, the code address before and after it.
class SizeofLines : public DeclarationsAndStatements {
public:
    struct Sizes {
        uint32_t evaluated = 0;
        uint32_t compiled = 0;
    };
    std::vector<Sizes> compared;
    std::vector<uint32_t> statement_bytes;

    bool parse_external_declaration() override
    {
        skip_blanks_across_lines();
        if (match_keyword("compare")) {
            compare();
            return true;
        }
        const uint32_t before = current_code_cache().current;
        const bool statement = first_code.has_value();
        const bool read = DeclarationsAndStatements::parse_external_declaration();
        if (statement || first_code)
            statement_bytes.push_back(current_code_cache().current - before);
        return read;
    }

private:
    void compare()
    {
        gObjectPool.push_mark();
        const LexerPlace start = lexer_place();
        Sizes sizes;
        object *typed = gObjectPool.new_object();
        sizeof_comma_expression(typed, 1);
        sizes.evaluated = operand_size(typed);
        restore_lexer_place(start);
        object *compiled = gObjectPool.new_object();
        {
            DiscardedCode discard;
            parse_comma_level(compiled, 1, nullptr);
        }
        sizes.compiled = operand_size(compiled);
        compared.push_back(sizes);
        gObjectPool.pop_mark();
        expect_text(";");
    }
};

class SizeofRun : public CompileRun {
protected:
    SizeofLines lines;

    void SetUp() override
    {
        CompileRun::SetUp();
        set_declaration_seam(&lines);
        install_function_parser();
        const std::string lib = std::string(KX_TEST_DATA) + "/../../TARGET/lib/";
        for (const char *name : {"RUNTIME.LIB", "INT16.LIB", "INT32.LIB", "FLOAT.LIB"})
            add_library(name, output_test::read_text(lib + name));
    }

    uint16_t build(const std::string &program)
    {
        return compile("#nodebug\n#use RUNTIME.LIB\n#use INT16.LIB\n#use INT32.LIB\n"
                       "#use FLOAT.LIB\n" +
                       std::string(kDeclarations) + program);
    }

    ::testing::AssertionResult run_statements()
    {
        if (!lines.first_code)
            return ::testing::AssertionFailure() << "no statement";
        const vsim::RunResult result = run(addr_offset(*lines.first_code), 50000,
                                           vsim::Breakpoint{addr_offset(lines.code_end), -1});
        if (result.reason != vsim::StopReason::breakpoint)
            return ::testing::AssertionFailure() << "the run did not reach the end of the code";
        return ::testing::AssertionSuccess();
    }

    static const symbol *global(const char *name) { return find_symbol(name, false, kGlobalTable); }
    static uint16_t address_of(const char *name)
    {
        const symbol *s = global(name);
        return s ? addr_offset(s->address[0]) : 0;
    }
    ::testing::AssertionResult word_at(const char *name, uint16_t expected)
    {
        return memory(address_of(name), {static_cast<uint8_t>(expected),
                                         static_cast<uint8_t>(expected >> 8)});
    }
    static std::vector<std::string> summaries()
    {
        std::vector<std::string> out;
        for (const Message &m : messages())
            out.push_back(m.summary);
        std::sort(out.begin(), out.end());
        return out;
    }
};

// ---- sizes ------------------------------------------------------------------------------------------

// `compiled`: the size of the node the code-generating parser builds for the operand; 0 where
// that parser refuses the operand in a statement outside every costatement ("waitfordone",
// which the evaluator lets through unchanged). It differs in two rows:
// that parser widens a char sum to int, where the additive level of the evaluator keeps the
// larger of the two type codes; and its "*" keeps the address mark "&" left, so that "*&a"
// still counts as an address there.
struct SizeCase {
    const char *name;
    const char *operand;
    uint16_t size;
    uint16_t compiled;
};

const SizeCase kSizes[] = {
    {"comma_takes_the_last", "c, i", 2, 2},
    {"comma_takes_the_last_char", "i, c", 1, 1},
    {"logical_or_is_an_int", "c || d", 2, 2},
    {"bitwise_or_is_an_int", "c | d", 2, 2},
    {"char_sum_stays_char", "c + d", 1, 2},
    {"long_constant_widens", "c + 1L", 4, 4},
    {"float_product", "i * f", 4, 4},
    {"array", "a", 10, 10},
    {"array_element", "a[1]", 1, 1},
    {"two_dimensions", "m", 24, 24},
    {"row", "m[1]", 8, 8},
    {"row_by_indirection", "*m", 8, 8},
    {"pointer_sum", "p + 1", 2, 2},
    {"pointer_target", "*p", 1, 1},
    {"element_behind_a_pointer_sum", "*(p + 1)", 1, 1},
    {"structure", "s", 7, 7},
    {"member", "s.z", 4, 4},
    {"member_through_a_pointer", "ps->y", 2, 2},
    {"assignment_keeps_the_target", "i = l", 2, 2},
    {"compound_assignment_keeps_the_target", "l += c", 4, 4},
    {"narrow_compound_target", "c += l", 1, 1},
    {"conditional_takes_the_larger", "c ? l : i", 4, 4},
    {"conditional_zero_and_pointer", "c ? p : 0", 2, 2},
    {"cast_to_long", "(long)c", 4, 4},
    {"cast_to_char", "(char)i", 1, 1},
    {"not_is_an_int", "!l", 2, 2},
    {"negated_char", "-c", 1, 1},
    {"nested_sizeof", "sizeof i", 2, 2},
    {"nested_sizeof_of_a_structure", "sizeof(s) + c", 2, 2},
    {"address", "&l", 2, 2},
    {"element_behind_an_address", "*&a", 10, 2},
    {"comparison_is_an_int", "l < i", 2, 2},
    {"equality_is_an_int", "l == c", 2, 2},
    {"two_long_constants_fold_to_an_int", "1L == 1L", 2, 2},
    {"two_float_constants_fold_to_an_int", "2 == 2.0", 2, 2},
    {"literal", "\"abc\"", 4, 4},
    {"call", "g()", 4, 4},
    {"undeclared_call", "h()", 2, 2},
    {"waitfordone_changes_nothing", "i + waitfordone", 2, 0},
};

class SizeofSizes : public SizeofRun, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(SizeofSizes, RunOnTheBoardWithNoCodeForTheOperand)
{
    const SizeCase &c = GetParam();
    ASSERT_EQ(build(std::string("r = sizeof(") + c.operand + ");\nsizeof(" + c.operand +
                    ");\n(unsigned)7;\n"),
              0)
        << messages_text();
    EXPECT_TRUE(messages().empty()) << messages_text();
    preset[address_of("r")] = 0xEE;
    ASSERT_TRUE(run_statements());
    EXPECT_TRUE(word_at("r", c.size)) << c.operand;
    // The operand left no code: its statement is as long as that of a constant.
    ASSERT_EQ(lines.statement_bytes.size(), 3u);
    EXPECT_EQ(lines.statement_bytes[1], lines.statement_bytes[2]) << c.operand;
}

TEST_P(SizeofSizes, AgreeWithTheNodeTheCompilerBuilds)
{
    const SizeCase &c = GetParam();
    if (c.compiled == 0) {
        (void)build(std::string("compare ") + c.operand + ";\n");
        EXPECT_EQ(summaries(),
                  std::vector<std::string>{"No enclosing costate, construct waitfordone not valid."})
            << c.operand;
        return;
    }
    ASSERT_EQ(build(std::string("compare ") + c.operand + ";\n"), 0) << messages_text();
    ASSERT_EQ(lines.compared.size(), 1u);
    EXPECT_EQ(lines.compared[0].evaluated, c.size) << c.operand;
    EXPECT_EQ(lines.compared[0].compiled, c.compiled) << c.operand;
}
INSTANTIATE_TEST_SUITE_P(All, SizeofSizes, ::testing::ValuesIn(kSizes),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(SizeofRun, OperandsHaveNoEffect)
{
    ASSERT_EQ(build("i = 5;\nr = sizeof(i++ + g());\n"), 0) << messages_text();
    preset[address_of("n")] = 0;
    preset[static_cast<uint16_t>(address_of("n") + 1)] = 0;
    ASSERT_TRUE(run_statements());
    EXPECT_TRUE(word_at("i", 5));
    EXPECT_TRUE(word_at("n", 0));  // g was never called
    EXPECT_TRUE(word_at("r", 4));
}

TEST_F(SizeofRun, AnUndeclaredCalleeIsDeclaredAsAFunctionReturningInt)
{
    ASSERT_EQ(build("r = sizeof(h());\n"), 0) << messages_text();
    const symbol *h = global("h");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->type, 2);
    EXPECT_EQ(decl_level(h->declarator, 0), static_cast<uint32_t>(kDeclFunction));
}

TEST_F(SizeofRun, ACastInsideADeclarationKeepsTheDeclaration)
{
    ASSERT_EQ(build("char b[sizeof((long)c)], e;\nint q[sizeof(m[1]) + sizeof((char *)p)], w;\n"),
              0)
        << messages_text();
    ASSERT_NE(global("b"), nullptr);
    EXPECT_EQ(global("b")->size, 4u);
    ASSERT_NE(global("e"), nullptr);
    EXPECT_EQ(global("e")->type, 1);
    EXPECT_EQ(global("e")->declarator, 0u);
    ASSERT_NE(global("q"), nullptr);
    EXPECT_EQ(global("q")->size, 20u);
    ASSERT_NE(global("w"), nullptr);
    EXPECT_EQ(global("w")->declarator, 0u);
}

TEST_F(SizeofRun, AssemblyOperandsReachTheEvaluator)
{
    ASSERT_EQ(build("#asm\n ld hl, sizeof(c ? l : i)\n ld de, sizeof(m[1])\n#endasm\n"), 0)
        << messages_text();
    const std::vector<uint8_t> bytes = {0x21, 0x04, 0x00, 0x11, 0x08, 0x00};
    EXPECT_NE(std::search(linker.image.begin(), linker.image.end(), bytes.begin(), bytes.end()),
              linker.image.end());
}

// ---- bad operands -------------------------------------------------------------------------------------

// `operand` stands inside "r = sizeof(" ... ");", unless it holds a ";" itself: then it ends
// the statement.
struct BadCase {
    const char *name;
    const char *operand;
    std::vector<std::string> messages;
};

const BadCase kBad[] = {
    {"conditional_without_colon", "c ? i", {"Missing character ':'."}},
    {"conditional_pointer_and_number", "c ? p : 1", {"Operands and/or operator incompatible."}},
    {"indirection_of_an_int", "*i", {"Not a pointer, cannot dereference."}},
    {"subscript_of_an_int", "i[1]",
     {"Cannot subscript object 'i' of type 'int'; an array or pointer is required."}},
    {"member_of_an_int", "i.x", {"Invalid struct reference."}},
    {"unknown_member", "ps->w", {"Invalid struct reference."}},
    {"call_of_an_int", "i(1)", {"Need a function call."}},
    {"increment_of_a_constant", "++5", {"Assignment to read-only variable not allowed."}},
    {"undeclared_name", "nosuch + 1", {"nosuch is out of scope/ not declared."}},
    {"two_dimensional_cast", "(int[2][3])p", {"Too many dimensions."}},
    {"call_without_closing", "g(1;", {") is missing/expected."}},
    {"too_many_arguments", "k(1, 2)", {"Too many arguments versus prototype."}},
    {"too_few_arguments", "k()", {"Insufficient arguments."}},
    {"instances_of_a_variable", "CofuncMaxInstance(i)", {"Invalid usage CofuncMaxInstance(CofPtr*)."}},
    {"indexed_simple_cofunction", "cs[1]()",
     {"Cofunctions must be called from a waitfordone statement.",
      "Indexed access to simple cofunction."}},
    {"plain_indexed_cofunction", "ci()",
     {"Cofunctions must be called from a waitfordone statement.",
      "Simple access to indexed cofunction."}},
    {"cofunction_call", "cs()", {"Cofunctions must be called from a waitfordone statement."}},
    {"read_only_target", "7 = i", {"Assignment to read-only variable not allowed."}},
    {"void_operand", "(void)i + 1", {"Illegal use of type void."}},
};

class SizeofBad : public SizeofRun, public ::testing::WithParamInterface<BadCase> {};

TEST_P(SizeofBad, ReportedAndTheCompileGoesOn)
{
    const BadCase &c = GetParam();
    const std::string operand = c.operand;
    const bool ends = operand.find(';') != std::string::npos;
    build("function cs 0x1100 1;\nfunction ci 0x1200 4;\nr = sizeof(" + operand +
          (ends ? "\n" : ");\n") + "int after;\n");
    std::vector<std::string> expected = c.messages;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(summaries(), expected) << c.operand;
    EXPECT_NE(global("after"), nullptr);
}
INSTANTIATE_TEST_SUITE_P(All, SizeofBad, ::testing::ValuesIn(kBad),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(SizeofRun, ArgumentCountsAreWarnedAtTheirLevels)
{
    build("r = sizeof(k(1, 2));\nr = sizeof(k());\nr = sizeof(k(3));\n");
    std::vector<std::pair<int16_t, std::string>> got;
    for (const Message &m : messages())
        got.emplace_back(m.kind, m.summary);
    ASSERT_EQ(got.size(), 2u) << messages_text();
    EXPECT_EQ(got[0].second, "Too many arguments versus prototype.");
    EXPECT_EQ(got[1].second, "Insufficient arguments.");
    EXPECT_NE(got[0].first, got[1].first);  // serious, then trivial
}

TEST_F(SizeofRun, CofunctionInstancesAreAConstant)
{
    ASSERT_EQ(build("function ci 0x1200 4;\ni = sizeof(CofuncMaxInstance(ci));\n"), 0)
        << messages_text();
    ASSERT_TRUE(run_statements());
    EXPECT_TRUE(word_at("i", 2));
}

struct CutCase {
    const char *name;
    std::string text;
    std::string expected;  // among the messages
};

class SizeofCut : public SizeofRun, public ::testing::WithParamInterface<CutCase> {};

TEST_P(SizeofCut, IsAnErrorNotACrash)
{
    build(GetParam().text);
    bool found = false;
    for (const Message &m : messages())
        found |= m.summary == GetParam().expected;
    EXPECT_TRUE(found) << messages_text();
}

std::string repeated(const std::string &piece, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += piece;
    return out;
}
INSTANTIATE_TEST_SUITE_P(
    All, SizeofCut,
    ::testing::Values(
        CutCase{"cut_off", "r = sizeof(i + ", "Invalid expression."},
        CutCase{"cut_off_in_a_call", "r = sizeof(g(i, ", "Invalid expression."},
        CutCase{"parentheses", "r = sizeof(" + repeated("(", 500) + "i" + repeated(")", 500) + ");\n",
                "Expression nested too deeply."},
        CutCase{"conditionals", "r = sizeof(" + repeated("c ? ", 500) + "i" + repeated(" : i", 500) + ");\n",
                "Expression nested too deeply."},
        CutCase{"assignments", "r = sizeof(" + repeated("i = ", 500) + "i);\n",
                "Too many assignments in a row."},
        CutCase{"indirections", "r = sizeof(" + repeated("*", 500) + "p);\n",
                "Expression nested too deeply."}),
    [](const auto &i) { return std::string(i.param.name); });

}  // namespace
