// The frame around the generated C parser: the current parser set, the parse entry's ownership
// of nodes and tokens (nothing outlives a parse that failed, nothing outlives its set), the rule
// budget and depth limit, and input that must end with a tree or with none.
#include "parser/cparser/CParserFrame.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

// ---- the current parser set ---------------------------------------------------------------------

TEST(ParserSetScope, NestedSetLeavesTheOuterSetCurrent)
{
    ASSERT_EQ(currentParserSet(), nullptr);
    CParserSet outer;
    {
        CurrentParserSetScope outer_scope(outer);
        AST *outer_tree = parseExpressionTree("a == b;");
        ASSERT_NE(outer_tree, nullptr);
        {
            CParserSet inner;
            CurrentParserSetScope inner_scope(inner);
            EXPECT_EQ(currentParserSet(), &inner);
            AST *inner_tree = parseExpressionTree("c = d;");
            ASSERT_NE(inner_tree, nullptr);
            EXPECT_EQ(inner_tree->token_type(), ctok::ASSIGNEQUAL);
            destroyExpressionTree(inner_tree);
        }
        EXPECT_EQ(currentParserSet(), &outer);
        // The outer tree is untouched by the inner parse.
        EXPECT_EQ(cparserTreeText(outer_tree), "#(EQUAL a b) SEMICOLON");
        destroyExpressionTree(outer_tree);
    }
    EXPECT_EQ(currentParserSet(), nullptr);
}

TEST(ParserSetScope, ExceptionRestoresThePreviousSet)
{
    CParserSet outer;
    CurrentParserSetScope outer_scope(outer);
    try {
        CParserSet inner;
        CurrentParserSetScope inner_scope(inner);
        throw std::runtime_error("cancelled");
    } catch (const std::runtime_error &) {
    }
    EXPECT_EQ(currentParserSet(), &outer);
}

TEST(ParserSetReuse, NextParseOnTheSameSetReplacesTheTree)
{
    CParserSet set;
    CurrentParserSetScope scope(set);
    AST *first = parseExpressionTree("a + b + c;");
    ASSERT_NE(first, nullptr);
    const int first_nodes = liveTreeNodeCount();
    EXPECT_EQ(first_nodes, 6);  // PLUS PLUS a b c SEMICOLON

    AST *second = parseExpressionTree("x < 1;");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(cparserTreeText(second), "#(LESSTHAN x 1) SEMICOLON");
    EXPECT_EQ(liveTreeNodeCount(), 4);
    EXPECT_EQ(second->first_child()->line(), 1);  // the lexer started again at line 1
    destroyExpressionTree(second);
    EXPECT_EQ(liveTreeNodeCount(), 0);
}

TEST(ParserSetReuse, SemanticErrorsBelongToOneParse)
{
    CParserSet set;
    CurrentParserSetScope scope(set);
    EXPECT_EQ(parseExpressionTree("sizeof(long long);"), nullptr);
    EXPECT_EQ(set.semantic_errors().size(), 1u);
    EXPECT_EQ(generatedParserErrorTotal(), 1);
    AST *tree = parseExpressionTree("sizeof(long);");
    EXPECT_NE(tree, nullptr);
    EXPECT_TRUE(set.semantic_errors().empty());
    EXPECT_EQ(generatedParserErrorTotal(), 0);
    destroyExpressionTree(tree);
}

// ---- nothing outlives a parse -------------------------------------------------------------------

struct LeakCase {
    const char *name;
    std::string text;
    bool tree;
};

const LeakCase kLeaks[] = {
    {"Success", "f(a, b) == c->d;", true},
    {"SyntaxErrorAfterPartialTree", "(a+b)*c;", false},
    {"AssignmentToSum", "x + 1 = 2;", false},
    {"SemanticError", "sizeof(long long);", false},
    {"LexicalError", "a $ b;", false},
    {"ErrorInsideNestedExpression", "f(a[i]);", false},
    {"MismatchInBracedWaitfordone", "waitfordone { f(x); g(y); };", false},
};

class Ownership : public ::testing::TestWithParam<LeakCase> {};

TEST_P(Ownership, NodesAndTokensGoBackToZero)
{
    ASSERT_EQ(liveTreeNodeCount(), 0);
    ASSERT_EQ(liveTokenCount(), 0);
    {
        CParserSet set;
        CParserMessageLog log;
        set.attach_message_log(&log);
        CurrentParserSetScope scope(set);
        AST *tree = parseExpressionTree(GetParam().text.c_str());
        EXPECT_EQ(tree != nullptr, GetParam().tree);
        if (tree == nullptr) {
            // A failed parse frees its partial trees at once.
            EXPECT_EQ(liveTreeNodeCount(), 0);
        }
        destroyExpressionTree(tree);
        EXPECT_EQ(liveTreeNodeCount(), 0);
    }
    EXPECT_EQ(liveTokenCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, Ownership, ::testing::ValuesIn(kLeaks),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(OwnershipOnException, HookExceptionPassesThroughAndFreesEverything)
{
    {
        CParserSet set;
        set.set_type_name_query([](std::string_view text) -> bool {
            if (text == "boom")
                throw std::runtime_error("cancelled by user");
            return true;
        });
        CurrentParserSetScope scope(set);
        EXPECT_THROW(parseExpressionTree("a + b * (int)(boom)x;"), std::runtime_error);
        EXPECT_EQ(liveTreeNodeCount(), 0);
        EXPECT_TRUE(set.spent());
        EXPECT_EQ(parseExpressionTree("a;"), nullptr);
    }
    EXPECT_EQ(liveTokenCount(), 0);
    EXPECT_EQ(currentParserSet(), nullptr);
}

// ---- limits -------------------------------------------------------------------------------------

std::string nested_parentheses(int levels)
{
    // A parenthesised primary takes its own ")" and one more.
    return std::string(levels, '(') + "1" + std::string(2 * levels, ')') + ";";
}

TEST(ParseLimits, WithinTheBudgetNestingParses)
{
    CParserSet set;
    CurrentParserSetScope scope(set);
    AST *tree = parseExpressionTree(nested_parentheses(6).c_str());
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->token_type(), ctok::LPARENTHESIS);
    EXPECT_LT(set.rule_entries(), CParserLimits{}.rule_budget);
    destroyExpressionTree(tree);
}

TEST(ParseLimits, BudgetStopsTheParseAndSpendsTheSet)
{
    {
        CParserSet set;
        CParserLimits limits;
        limits.rule_budget = 1000;
        set.set_limits(limits);
        CurrentParserSetScope scope(set);
        EXPECT_EQ(parseExpressionTree(nested_parentheses(8).c_str()), nullptr);
        EXPECT_EQ(set.rule_entries(), limits.rule_budget + 1);
        EXPECT_EQ(generatedParserErrorTotal(), 1);
        EXPECT_TRUE(set.spent());
        EXPECT_EQ(liveTreeNodeCount(), 0);
        // A spent set parses nothing more, not even a short text.
        EXPECT_EQ(parseExpressionTree("a;"), nullptr);
        EXPECT_EQ(generatedParserErrorTotal(), 1);
    }
    EXPECT_EQ(liveTokenCount(), 0);
}

TEST(ParseLimits, DepthLimitStopsDeepNesting)
{
    CParserSet set;
    CParserLimits limits;
    limits.depth_limit = 50;
    set.set_limits(limits);
    CurrentParserSetScope scope(set);
    // Each "!" opens two rules (unary and cast), whatever the budget.
    EXPECT_EQ(parseExpressionTree((std::string(30, '!') + "a;").c_str()), nullptr);
    EXPECT_TRUE(set.spent());
}

TEST(ParseLimits, DepthWithinTheLimitParses)
{
    CParserSet set;
    CurrentParserSetScope scope(set);
    AST *tree = parseExpressionTree((std::string(300, '!') + "a;").c_str());
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->token_type(), ctok::NOT);
    destroyExpressionTree(tree);
}

// ---- bad input ----------------------------------------------------------------------------------

struct BadInputCase {
    const char *name;
    std::string text;
};

std::string repeated(const std::string &fragment, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count; ++i)
        out += fragment;
    return out;
}

const BadInputCase kBadInput[] = {
    {"FortyNestedParentheses", nested_parentheses(40)},
    {"TwentyThousandOpenParentheses", std::string(20000, '(')},
    {"HundredKilobyteSum", repeated("a+", 50000) + "a;"},
    {"HundredKilobyteStringList", repeated("\"s\" ", 25000) + ";"},
    {"LongIdentifier", std::string(3000, 'i') + " == 1;"},
    {"LongLiteral", "s == \"" + std::string(3000, 'l') + "\";"},
    {"LongNumber", std::string(3000, '7') + ";"},
    {"UnterminatedString", "a == \"abc"},
    {"UnterminatedCharacter", "a == 'b"},
    {"UnterminatedComment", "a == /* b;"},
    {"ControlBytes", std::string("a\x01 == \x02\x1b b;")},
    {"HighBytes", std::string("a \x80== \xff\xfe b;")},
    {"HashWithTwentyDigits", "# 99999999999999999999 x\na;"},
    {"OnlyOpenBraces", std::string(5000, '{')},
    {"DeepCasts", repeated("(int)", 5000) + "a;"},
    {"DeepUnaryMinus", repeated("- ", 20000) + "a;"},
};

class BadInput : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(BadInput, EndsWithATreeOrNone)
{
    {
        CParserSet set;
        CParserMessageLog log;
        set.attach_message_log(&log);
        CurrentParserSetScope scope(set);
        AST *tree = parseExpressionTree(GetParam().text.c_str());
        if (tree != nullptr) {
            EXPECT_EQ(generatedParserErrorTotal(), 0);
            EXPECT_FALSE(cparserTreeText(tree).empty());
        }
        destroyExpressionTree(tree);
        EXPECT_LE(log.text.size(), CParserMessageLog::kCapacity);
    }
    EXPECT_EQ(liveTreeNodeCount(), 0);
    EXPECT_EQ(liveTokenCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, BadInput, ::testing::ValuesIn(kBadInput),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(BadInputOutcome, LongIdentifierIsCutAndStillCompared)
{
    CParserSet set;
    CurrentParserSetScope scope(set);
    AST *tree = parseExpressionTree((std::string(3000, 'i') + " == 1;").c_str());
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->token_type(), ctok::EQUAL);
    EXPECT_EQ(std::string(tree->first_child()->text()), std::string(1999, 'i'));
    destroyExpressionTree(tree);
}

TEST(BadInputOutcome, LexicalErrorAloneDoesNotStopTheParse)
{
    // "$" is reported and skipped with the blank after it; the rest still parses.
    CParserSet set;
    CParserMessageLog log;
    set.attach_message_log(&log);
    CurrentParserSetScope scope(set);
    AST *tree = parseExpressionTree("a $ == b;");
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(cparserTreeText(tree), "#(EQUAL a b) SEMICOLON");
    EXPECT_EQ(log.count, 1);
    destroyExpressionTree(tree);
}

TEST(BadInputOutcome, MessageLogKeepsItsCapacityAndCountsEveryMessage)
{
    CParserSet set;
    CParserMessageLog log;
    set.attach_message_log(&log);
    CurrentParserSetScope scope(set);
    EXPECT_EQ(parseExpressionTree(repeated("$ ", 5000).c_str()), nullptr);
    EXPECT_EQ(log.count, 5000);
    EXPECT_EQ(log.text.size(), CParserMessageLog::kCapacity);
}

}  // namespace
