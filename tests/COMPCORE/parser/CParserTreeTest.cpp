// Trees of the generated C parser, written #(ROOT child ...): expressions, type names through
// casts and sizeof, texts that give no tree, the combination checks of specifiers and qualifiers,
// and the type-name hook.
#include "parser/cparser/CParserFrame.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// Parses a text with a fresh parser set and gives the tree text, or "none".
struct Parsed {
    std::string tree;
    int errors = 0;
    std::vector<std::string> semantic_errors;
    std::string messages;
};

Parsed parse(const std::string &text, std::function<bool(std::string_view)> query = nullptr)
{
    CParserSet set;
    CParserMessageLog log;
    set.attach_message_log(&log);
    if (query)
        set.set_type_name_query(std::move(query));
    CurrentParserSetScope scope(set);
    AST *tree = parseExpressionTree(text.c_str());
    Parsed parsed;
    parsed.tree = tree != nullptr ? cparserTreeText(tree) : "none";
    parsed.errors = generatedParserErrorTotal();
    parsed.semantic_errors = set.semantic_errors();
    parsed.messages = log.text;
    destroyExpressionTree(tree);
    return parsed;
}

// ---- trees --------------------------------------------------------------------------------------

struct TreeCase {
    const char *name;
    std::string text;
    std::string tree;
};

const TreeCase kTrees[] = {
    // start rule, assignment and conditional levels
    {"Name", "a;", "a SEMICOLON"},
    {"Comparison", "x == 1;", "#(EQUAL x 1) SEMICOLON"},
    {"CommaListClosedByParenthesis", "a, b)", "#(COMMA a b RPARENTHESIS)"},
    {"CommaIsLeftAssociative", "a, b, c;", "#(COMMA #(COMMA a b) c SEMICOLON)"},
    {"AssignmentsNestRight", "x += y = 2;", "#(PLUSEQUAL x #(ASSIGNEQUAL y 2)) SEMICOLON"},
    {"AssignmentInCommaList", "a = b, c;", "#(COMMA #(ASSIGNEQUAL a b) c SEMICOLON)"},
    {"AssignmentToMember", "p->m <<= 2;", "#(SHIFTLEFTEQUAL #(POINTERTO p m) 2) SEMICOLON"},
    {"Conditional", "c ? a : b;", "#(QUESTIONMARK c a b) SEMICOLON"},
    {"ConditionalWithCommaMiddle", "c ? a, b : d;", "#(QUESTIONMARK c #(COMMA a b) d) SEMICOLON"},
    {"ConditionalNestsRight", "c ? a : d ? e : f;",
     "#(QUESTIONMARK c a #(QUESTIONMARK d e f)) SEMICOLON"},
    // precedence levels
    {"LeftAssociative", "a - b + c;", "#(PLUS #(MINUS a b) c) SEMICOLON"},
    {"EqualityChain", "a == b != c;", "#(NOTEQUAL #(EQUAL a b) c) SEMICOLON"},
    {"ProductBindsTighter", "a + b * c;", "#(PLUS a #(STAR b c)) SEMICOLON"},
    {"AndBelowEquality", "a & b == c;", "#(AMPERSAND a #(EQUAL b c)) SEMICOLON"},
    {"LogicalLevels", "a || b && c | d ^ e;",
     "#(OR a #(AND b #(BITWISEOR c #(BITWISEXOR d e)))) SEMICOLON"},
    {"RelationalAndShift", "a << 1 < b >> 2;",
     "#(LESSTHAN #(SHIFTLEFT a 1) #(SHIFTRIGHT b 2)) SEMICOLON"},
    {"UnaryOperandIsAList", "a * -b;", "#(STAR a MINUS b) SEMICOLON"},
    {"UnaryLeftOperand", "-a * b;", "#(STAR MINUS a b) SEMICOLON"},
    {"DoubleNot", "!!a;", "NOT NOT a SEMICOLON"},
    // cast, unary, sizeof, waitfordone
    {"PrefixIncrement", "++a;", "#(PLUSPLUS a) SEMICOLON"},
    {"SizeofName", "sizeof x;", "#(SIZEOF x) SEMICOLON"},
    {"SizeofParenthesisedNameIsAType", "sizeof(a);", "#(SIZEOF a) SEMICOLON"},
    {"CastOfName", "(T)a;", "LPARENTHESIS T RPARENTHESIS a SEMICOLON"},
    {"CastOfUnaryPlus", "(a) + b;", "LPARENTHESIS a RPARENTHESIS PLUS b SEMICOLON"},
    {"CastByKeyword", "(int)a;", "LPARENTHESIS PCCTS_INT RPARENTHESIS a SEMICOLON"},
    {"WaitfordoneOneCall", "waitfordone f();", "#(WAITFORDONE #(LPARENTHESIS f)) SEMICOLON"},
    {"WaitfordoneBraced", "waitfordone { f(a); g() };",
     "#(WAITFORDONE #(LPARENTHESIS f a) #(LPARENTHESIS g)) SEMICOLON"},
    // postfix and primary
    {"CallWithArguments", "f(a, b);", "#(LPARENTHESIS f #(COMMA a b)) SEMICOLON"},
    {"CallOfCall", "f(a)(b);", "#(LPARENTHESIS #(LPARENTHESIS f a) b) SEMICOLON"},
    {"MemberChain", "a.m->m;", "#(POINTERTO #(DOT a m) m) SEMICOLON"},
    {"PostfixIncrement", "a++;", "#(PLUSPLUS a) SEMICOLON"},
    {"SubscriptTakesItsOwnTerminator", "a[i)];", "#(LSQUAREBRACKET a i RPARENTHESIS) SEMICOLON"},
    {"ParenthesisedNeedsTwoClosings", "(1 + b));",
     "#(LPARENTHESIS #(PLUS 1 b) RPARENTHESIS RPARENTHESIS) SEMICOLON"},
    {"AdjacentStrings", R"("a" "b";)", R"("a" "b" SEMICOLON)"},
    {"CallOnString", R"("a"(b);)", R"(#(LPARENTHESIS "a" b) SEMICOLON)"},
    {"Constants", "0x1F + 07 + 1.5 + 'c';",
     "#(PLUS #(PLUS #(PLUS 0x1F 07) 1.5) 'c') SEMICOLON"},
    // declarations through type names
    {"SizeofUnsignedLongInt", "sizeof(unsigned long int);",
     "#(SIZEOF UNSIGNED PCCTS_LONG PCCTS_INT) SEMICOLON"},
    {"SizeofLongDouble", "sizeof(long double);", "#(SIZEOF PCCTS_LONG PCCTS_DOUBLE) SEMICOLON"},
    {"SizeofDoubleLong", "sizeof(double long);", "#(SIZEOF PCCTS_DOUBLE PCCTS_LONG) SEMICOLON"},
    {"SizeofShortInt", "sizeof(short int);", "#(SIZEOF PCCTS_SHORT PCCTS_INT) SEMICOLON"},
    {"SizeofSignedChar", "sizeof(signed char);", "#(SIZEOF SIGNED PCCTS_CHAR) SEMICOLON"},
    {"SizeofConstVolatileUnsigned", "sizeof(const unsigned volatile);",
     "#(SIZEOF PCCTS_CONST UNSIGNED VOLATILE) SEMICOLON"},
    {"CastToPointerToArray", "(int (*)[3])p;",
     "LPARENTHESIS PCCTS_INT LPARENTHESIS STAR RPARENTHESIS LSQUAREBRACKET 3 RSQUAREBRACKET "
     "RPARENTHESIS p SEMICOLON"},
    {"SizeofAnonymousStruct", "sizeof(struct { int a; });",
     "#(SIZEOF STRUCT LCURLYBRACE PCCTS_INT a SEMICOLON RCURLYBRACE) SEMICOLON"},
    {"SizeofTaggedUnion", "sizeof(union u { char c; long l; });",
     "#(SIZEOF UNION u LCURLYBRACE PCCTS_CHAR c SEMICOLON PCCTS_LONG l SEMICOLON RCURLYBRACE) "
     "SEMICOLON"},
    {"SizeofStructTag", "sizeof(struct s *);", "#(SIZEOF STRUCT s STAR) SEMICOLON"},
    {"SizeofEnum", "sizeof(enum { A, B = 2 });",
     "#(SIZEOF ENUM LCURLYBRACE A COMMA B ASSIGNEQUAL 2 RCURLYBRACE) SEMICOLON"},
    {"SizeofFunctionPointer", "sizeof(int (*)(int, ...));",
     "#(SIZEOF PCCTS_INT LPARENTHESIS STAR RPARENTHESIS LPARENTHESIS PCCTS_INT COMMA ELLIPSIS "
     "RPARENTHESIS) SEMICOLON"},
    {"BitFields", "sizeof(struct { int *p : 3, : 2; });",
     "#(SIZEOF STRUCT LCURLYBRACE PCCTS_INT STAR p COLON 3 COMMA COLON 2 SEMICOLON RCURLYBRACE) "
     "SEMICOLON"},
    {"QualifiedPointers", "sizeof(char * const * volatile);",
     "#(SIZEOF PCCTS_CHAR STAR PCCTS_CONST STAR VOLATILE) SEMICOLON"},
    {"NamedPointerParameter", "sizeof(int (*)(int *x[2]));",
     "#(SIZEOF PCCTS_INT LPARENTHESIS STAR RPARENTHESIS LPARENTHESIS PCCTS_INT STAR x "
     "LSQUAREBRACKET 2 RSQUAREBRACKET RPARENTHESIS) SEMICOLON"},
};

class Tree : public ::testing::TestWithParam<TreeCase> {};

TEST_P(Tree, Text)
{
    const Parsed parsed = parse(GetParam().text);
    EXPECT_EQ(parsed.tree, GetParam().tree);
    EXPECT_EQ(parsed.errors, 0);
    EXPECT_EQ(parsed.messages, "");
}

INSTANTIATE_TEST_SUITE_P(Rows, Tree, ::testing::ValuesIn(kTrees),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- no tree ------------------------------------------------------------------------------------

struct NoTreeCase {
    const char *name;
    std::string text;
    std::string semantic_error;  // the one semantic error counted, or ""
};

const NoTreeCase kNoTrees[] = {
    {"AssignmentToSum", "x + 1 = 2;", ""},
    {"NoTerminator", "x + 1", ""},
    {"EmptyText", "", ""},
    {"OperatorWithoutOperand", "a +;", ""},
    {"StartsWithBinaryOperator", "|| a;", ""},
    // "(a + b)" is a cast of a type named a: the hook answers true for every name.
    {"ParenthesisedSumIsACast", "(a + b) * c;", ""},
    {"ParenthesisedPrimaryNeedsSecondClosing", "(1 + b) * c;", ""},
    {"SubscriptWithoutTerminator", "a[i];", ""},
    {"CastWithoutOperand", "(int);", ""},
    {"IncrementIsNeverACast", "++(T)a;", ""},
    {"FunctionTypeInCast", "(int ())a;", ""},
    {"ArrayOfFunctionsInCast", "(int [2](void))a;", ""},
    {"TrailingEnumeratorComma", "sizeof(enum { A, });", ""},
    {"EnumTagThenSemicolon", "sizeof(enum E;);", ""},
    {"EllipsisAlone", "sizeof(int (*)(...));", ""},
    {"InitialisedMember", "sizeof(struct { int x = 3; });", ""},
    {"BoundNotClosed", "sizeof(int [3 5]);", ""},
    {"WaitfordoneSemicolonBeforeBrace", "waitfordone { f(); };", ""},
    {"WaitfordoneEmptyBraces", "waitfordone { };", ""},
    {"WaitfordoneWithoutArguments", "waitfordone f;", ""},
    {"WaitfordoneOfConstant", "waitfordone 1;", ""},
    {"LongLong", "sizeof(long long);", "multiple incompatible type specifiers"},
    {"ShortLong", "sizeof(short long);", "multiple incompatible type specifiers"},
    {"SignedUnsigned", "sizeof(signed unsigned);", "multiple incompatible type specifiers"},
    {"CharInt", "sizeof(char int);", "multiple incompatible type specifiers"},
    {"IntChar", "sizeof(int char);", "multiple incompatible type specifiers"},
    {"IntInt", "sizeof(int int);", "multiple incompatible type specifiers"},
    {"UnsignedLongDouble", "sizeof(unsigned long double);",
     "multiple incompatible type specifiers"},
    {"LongFloat", "sizeof(long float);", "multiple incompatible type specifiers"},
    {"IntVoid", "sizeof(int void);", "multiple incompatible type specifiers"},
    {"DoubleInt", "sizeof(double int);", "multiple incompatible type specifiers"},
    {"StructInt", "sizeof(struct s int);", "multiple incompatible type specifiers"},
    {"ConstConst", "(const const int)a;", "multiple type qualifier"},
    {"PointerConstConst", "sizeof(int * const const);", "multiple type qualifier"},
    {"StaticExtern", "sizeof(int (*)(static extern int));", "multiple storage classes"},
    // A member name before ":" and a parameter name before ")" are read as type names.
    {"BitFieldNameIsATypeName", "sizeof(struct { unsigned a : 3; });",
     "multiple incompatible type specifiers"},
    {"ParameterNameIsATypeName", "(int (*)(int x))p;", "multiple incompatible type specifiers"},
    {"ArrayParameterNameIsATypeName", "sizeof(int (*)(int x[2]));",
     "multiple incompatible type specifiers"},
};

class NoTree : public ::testing::TestWithParam<NoTreeCase> {};

TEST_P(NoTree, NoneAndTheError)
{
    const Parsed parsed = parse(GetParam().text);
    EXPECT_EQ(parsed.tree, "none");
    EXPECT_GE(parsed.errors, 1);
    if (GetParam().semantic_error.empty()) {
        EXPECT_TRUE(parsed.semantic_errors.empty());
    } else {
        ASSERT_EQ(parsed.semantic_errors.size(), 1u);
        EXPECT_EQ(parsed.semantic_errors[0], GetParam().semantic_error);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, NoTree, ::testing::ValuesIn(kNoTrees),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- the root and its links ---------------------------------------------------------------------

TEST(TreeLinks, RootMarkAndLeftAndUpLinks)
{
    CParserSet set;
    CurrentParserSetScope scope(set);
    AST *root = parseExpressionTree("x == 1;");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->token_type(), ctok::EQUAL);
    EXPECT_EQ(root->mark, 1);
    EXPECT_EQ(root->left_sibling(), nullptr);
    EXPECT_EQ(root->parent(), nullptr);

    AST *x = root->first_child();
    ASSERT_NE(x, nullptr);
    AST *one = x->right_sibling();
    ASSERT_NE(one, nullptr);
    EXPECT_STREQ(x->text(), "x");
    EXPECT_EQ(x->mark, 0);
    EXPECT_EQ(x->parent(), root);
    EXPECT_EQ(x->left_sibling(), nullptr);
    EXPECT_EQ(one->parent(), root);
    EXPECT_EQ(one->left_sibling(), x);
    EXPECT_EQ(one->line(), 1);

    AST *terminator = root->right_sibling();
    ASSERT_NE(terminator, nullptr);
    EXPECT_EQ(terminator->token_type(), ctok::SEMICOLON);
    EXPECT_EQ(terminator->left_sibling(), root);
    EXPECT_EQ(terminator->parent(), nullptr);
    EXPECT_EQ(terminator->right_sibling(), nullptr);
    destroyExpressionTree(root);
}

TEST(TreeLinks, NodesCarryTheirLines)
{
    CParserSet set;
    CurrentParserSetScope scope(set);
    AST *root = parseExpressionTree("a\n+\n# 40\nb;");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->line(), 2);
    EXPECT_EQ(root->first_child()->line(), 1);
    EXPECT_EQ(root->first_child()->right_sibling()->line(), 40);
    destroyExpressionTree(root);
}

// ---- the type-name hook -------------------------------------------------------------------------

// isTypeName answers from a set of names, as the symbol tables will.
struct HookCase {
    const char *name;
    std::string text;
    std::string tree;
};

const HookCase kHook[] = {
    {"TypeNameStartsCast", "(T)a;", "LPARENTHESIS T RPARENTHESIS a SEMICOLON"},
    {"OtherNameAfterOperatorIsParenthesisedPrimary", "b * (a + b));",
     "#(STAR b #(LPARENTHESIS #(PLUS a b) RPARENTHESIS RPARENTHESIS)) SEMICOLON"},
    // At the start of an assignment level the cast's question decides alone: a "(" followed
    // by a name that is not a type ends the parse there.
    {"OtherNameFirstInParenthesesEndsTheParse", "(a + b)) * c;", "none"},
    {"AssignmentThroughParentheses", "(a)) = 1;",
     "#(ASSIGNEQUAL #(LPARENTHESIS a RPARENTHESIS RPARENTHESIS) 1) SEMICOLON"},
    {"KeywordsNeedNoAnswer", "(unsigned int)a;",
     "LPARENTHESIS UNSIGNED PCCTS_INT RPARENTHESIS a SEMICOLON"},
    {"SizeofOfTypeName", "sizeof(T);", "#(SIZEOF T) SEMICOLON"},
    {"SizeofOfOtherName", "sizeof(a));",
     "#(SIZEOF #(LPARENTHESIS a RPARENTHESIS RPARENTHESIS)) SEMICOLON"},
    {"ParameterNameAfterTypeName", "(int (*)(T x))p;",
     "LPARENTHESIS PCCTS_INT LPARENTHESIS STAR RPARENTHESIS LPARENTHESIS T x RPARENTHESIS "
     "RPARENTHESIS p SEMICOLON"},
    {"IdentifierListOfOtherNames", "sizeof(int (*)(int (*g)(a, b)));",
     "#(SIZEOF PCCTS_INT LPARENTHESIS STAR RPARENTHESIS LPARENTHESIS PCCTS_INT LPARENTHESIS STAR g "
     "RPARENTHESIS LPARENTHESIS a COMMA b RPARENTHESIS RPARENTHESIS) SEMICOLON"},
    {"ParameterOfOtherNameFails", "sizeof(int (*)(a));", "none"},
    {"BitFieldNamedByOtherName", "sizeof(struct { unsigned a : 3; });",
     "#(SIZEOF STRUCT LCURLYBRACE UNSIGNED a COLON 3 SEMICOLON RCURLYBRACE) SEMICOLON"},
};

class Hook : public ::testing::TestWithParam<HookCase> {};

TEST_P(Hook, AnswersFromNames)
{
    const std::set<std::string, std::less<>> types = {"T", "size_t"};
    std::vector<std::string> asked;
    const Parsed parsed = parse(GetParam().text, [&](std::string_view text) {
        asked.emplace_back(text);
        return types.count(text) != 0;
    });
    EXPECT_EQ(parsed.tree, GetParam().tree);
    const std::set<std::string, std::less<>> keywords = {"int", "unsigned", "struct", "sizeof"};
    for (const std::string &text : asked)
        EXPECT_EQ(keywords.count(text), 0u) << text << " went to the hook";
}

INSTANTIATE_TEST_SUITE_P(Rows, Hook, ::testing::ValuesIn(kHook),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(HookValidation, ChangedAnswerIsReportedAndTheRuleGoesOn)
{
    // The assignment level's decision asks first, then the cast's decision (a cast); the cast
    // asks again as it begins and now hears no. Later questions (the type name) hear yes.
    int calls = 0;
    const Parsed parsed = parse("(T)a;", [&](std::string_view) { return ++calls != 3; });
    EXPECT_EQ(parsed.tree, "LPARENTHESIS T RPARENTHESIS a SEMICOLON");
    EXPECT_EQ(parsed.messages,
              "line 1: semantic error; failed predicate: '  isTypeName(LT(2)->getText())'\n");
}

}  // namespace
