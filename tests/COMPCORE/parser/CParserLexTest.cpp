// The generated C lexer: token numbers and names, the longest-match rows, escapes inside literals,
// line counting, and input that must end without a crash.
#include "parser/cparser/CParserFrame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "NAME:text" per token, the end-of-input token left out.
std::string lexed(const std::vector<CLexedToken> &tokens)
{
    std::string out;
    for (const CLexedToken &token : tokens) {
        if (token.type == ctok::Eof)
            break;
        if (!out.empty())
            out += ' ';
        out += cparserTokenName(token.type);
        out += ':';
        out += token.text;
    }
    return out;
}

// ---- token numbers and names --------------------------------------------------------------------

struct NumberCase {
    const char *name;
    int number;
};

const NumberCase kNumbers[] = {
    {"Eof", ctok::Eof},
    {"LCURLYBRACE", 2},
    {"ELLIPSIS", 12},
    {"ASSIGNEQUAL", 13},
    {"BITWISEOREQUAL", 23},
    {"EQUAL", 29},
    {"SHIFTRIGHT", 36},
    {"POINTERTO", 47},
    {"PCCTS_AUTO", 48},
    {"SIZEOF", 70},
    {"WAITFORDONE", 80},
    {"OCTALINT", 81},
    {"FLOATONE", 86},
    {"IDENTIFIER", 88},
    {"STRING", 99},
    {"CHARACTER", 116},
};

class TokenNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(TokenNumber, NameTableEntry)
{
    EXPECT_STREQ(cparserTokenName(GetParam().number), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Named, TokenNumber, ::testing::ValuesIn(kNumbers),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(TokenNames, ExportedNumbersMatchTheTable)
{
    EXPECT_EQ(ctok::EQUAL, 29);
    EXPECT_EQ(ctok::WAITFORDONE, 80);
    EXPECT_EQ(ctok::IDENTIFIER, 88);
    EXPECT_EQ(ctok::STRING, 99);
    EXPECT_EQ(ctok::CHARACTER, 116);
    EXPECT_STREQ(cparserTokenName(ctok::GREATERTHANOREQUALTO), "GREATERTHANOREQUALTO");
    EXPECT_STREQ(cparserTokenName(ctok::PCCTS_VOID), "PCCTS_VOID");
}

TEST(TokenNames, TableHas133EntriesAndNamesUnnamedTokensByTheirExpression)
{
    EXPECT_STREQ(cparserTokenName(0), "Invalid");
    EXPECT_STREQ(cparserTokenName(84), "'");
    EXPECT_STREQ(cparserTokenName(89), "/\\*");
    EXPECT_STREQ(cparserTokenName(92), "[\\n\\r]");
    EXPECT_STREQ(cparserTokenName(93), "#pragma ~[\\n]*");
    EXPECT_STREQ(cparserTokenName(96), "\\*/");
    EXPECT_STREQ(cparserTokenName(131), "[\\n\\r]");
    EXPECT_STRNE(cparserTokenName(ctok::kTokenNameCount - 1), "");
    EXPECT_STREQ(cparserTokenName(ctok::kTokenNameCount), "");
    EXPECT_STREQ(cparserTokenName(-1), "");
}

// ---- lexer rows ---------------------------------------------------------------------------------

struct LexCase {
    const char *name;
    std::string text;
    std::string tokens;  // lexed()
    int errors;          // lexical error reports
};

const LexCase kLex[] = {
    {"OneSuffixLetter", "0ul", "OCTALINT:0u IDENTIFIER:l", 0},
    {"OctalWithSuffix", "07u", "OCTALINT:07u", 0},
    {"HexWithSuffix", "0x1fL", "HEXADECIMALINT:0x1fL", 0},
    {"DecimalThenName", "12ux", "DECIMALINT:12u IDENTIFIER:x", 0},
    {"EightDotIsFloat", "08.", "FLOATONE:08.", 0},
    {"NineDotFive", "09.5", "FLOATONE:09.5", 0},
    {"LeadingDot", ".5", "FLOATONE:.5", 0},
    {"SignedExponent", "1.5e-3", "FLOATONE:1.5e-3", 0},
    {"ExponentOnly", "1e5F", "FLOATTWO:1e5F", 0},
    {"DotThenName", ".e5", "DOT:. IDENTIFIER:e5", 0},
    {"NoLineComments", "//", "DIVIDE:/ DIVIDE:/", 0},
    {"BlockCommentSkipped", "a /* * b */ c", "IDENTIFIER:a IDENTIFIER:c", 0},
    {"KeywordBeatsName", "int intx", "PCCTS_INT:int IDENTIFIER:intx", 0},
    {"WaitfordoneKeyword", "waitfordone waitforfirstdone",
     "WAITFORDONE:waitfordone IDENTIFIER:waitforfirstdone", 0},
    {"LongestOperators", "<<= >>= -> ... || &&=",
     "SHIFTLEFTEQUAL:<<= SHIFTRIGHTEQUAL:>>= POINTERTO:-> ELLIPSIS:... OR:|| AND:&& "
     "ASSIGNEQUAL:=", 0},
    {"NumericEscapes", R"("\65\065\0x41")", R"(STRING:"A5A")", 0},
    {"NamedEscapes", R"("\t\\\"")", "STRING:\"\t\\\"\"", 0},
    {"OctalEscapeThenDigit", R"("\09")", R"(STRING:"9")", 0},
    {"CharacterConstant", "'a'", "CHARACTER:'a'", 0},
    {"EmptyCharacter", "''", "CHARACTER:''", 0},
    {"EscapedCharacter", R"('\n')", "CHARACTER:'\n'", 0},
    {"TwoCharacters", "'ab'", "", 1},
    {"AdjacentStrings", R"("a" "b")", R"(STRING:"a" STRING:"b")", 0},
    {"DollarLosesNextCharacter", "a$b", "IDENTIFIER:a", 1},
    {"AtSign", "a @ b", "IDENTIFIER:a IDENTIFIER:b", 1},
    {"EightAlone", "08", "", 1},
    {"HexWithoutDigits", "0x", "", 1},
    {"ExponentWithoutDigits", "1e", "", 1},
    {"HashWithoutNumber", "#line 12", "IDENTIFIER:ine DECIMALINT:12", 1},
    {"UnknownEscape", R"("\x41")", R"(STRING:41")", 1},
    {"VerticalTabAndFormFeed", "a\v\fb", "IDENTIFIER:a IDENTIFIER:b", 0},
};

class Lex : public ::testing::TestWithParam<LexCase> {};

TEST_P(Lex, Tokens)
{
    CParserMessageLog log;
    EXPECT_EQ(lexed(cparserLexText(GetParam().text.c_str(), &log)), GetParam().tokens);
    EXPECT_EQ(log.count, GetParam().errors) << log.text;
    if (GetParam().errors > 0) {
        EXPECT_NE(log.text.find("invalid token"), std::string::npos) << log.text;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Lex, ::testing::ValuesIn(kLex),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- line counting ------------------------------------------------------------------------------

struct LineCase {
    const char *name;
    std::string text;
    int line_of_last_name;  // line of the last IDENTIFIER
};

const LineCase kLines[] = {
    {"LineFeed", "a\nb", 2},
    {"CarriageReturnLineFeedCountsTwice", "a\r\nb", 3},
    {"LineDirective", "a\n# 12 x\nb", 12},
    {"LineDirectiveWithTab", "#\t7\nb", 7},
    {"PragmaLineCountsTwice", "#pragma foo\nb", 3},
    {"CommentLines", "/* 1\n2\r\n */ b", 4},
    {"LineBreakInsideString", "\"a\nb\" c", 2},
    {"TwentyDigitDirectiveSaturates", "# 99999999999999999999 x\nb", 1000000000},
};

class Lines : public ::testing::TestWithParam<LineCase> {};

TEST_P(Lines, LastNameLine)
{
    const std::vector<CLexedToken> tokens = cparserLexText(GetParam().text.c_str());
    int line = 0;
    for (const CLexedToken &token : tokens) {
        if (token.type == ctok::IDENTIFIER)
            line = token.line;
    }
    EXPECT_EQ(line, GetParam().line_of_last_name) << lexed(tokens);
}

INSTANTIATE_TEST_SUITE_P(Rows, Lines, ::testing::ValuesIn(kLines),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- input that must end cleanly ----------------------------------------------------------------

struct EndCase {
    const char *name;
    std::string text;
    std::string tokens;
};

const EndCase kEnds[] = {
    {"UnterminatedString", "a \"bc", "IDENTIFIER:a"},
    {"UnterminatedCharacter", "a 'b", "IDENTIFIER:a"},
    {"UnterminatedComment", "a /* b", "IDENTIFIER:a"},
    {"UnterminatedEscape", "\"\\", ""},
    {"ControlBytes", std::string("a\x01\x02 b"), "IDENTIFIER:a IDENTIFIER:b"},
    {"HighBytes", std::string("a \x80\xff\xfe b"), "IDENTIFIER:a IDENTIFIER:b"},
    {"HighBytesInString", std::string("\"\x80\xff\""), std::string("STRING:\"\x80\xff\"")},
};

class LexEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(LexEnd, ReachesEndOfInput)
{
    CParserMessageLog log;
    const std::vector<CLexedToken> tokens = cparserLexText(GetParam().text.c_str(), &log);
    ASSERT_FALSE(tokens.empty());
    EXPECT_EQ(tokens.back().type, ctok::Eof);
    EXPECT_EQ(lexed(tokens), GetParam().tokens);
    EXPECT_EQ(liveTokenCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, LexEnd, ::testing::ValuesIn(kEnds),
                         [](const auto &i) { return std::string(i.param.name); });

// A token longer than the 2000-character text buffer keeps its first 1999 characters (the last
// place holds the terminator); what follows it is read as usual.
TEST(LexLongToken, IdentifierIsCutAtTheBuffer)
{
    const std::string name(3000, 'n');
    const std::vector<CLexedToken> tokens = cparserLexText((name + " x").c_str());
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0].type, ctok::IDENTIFIER);
    EXPECT_EQ(tokens[0].text, name.substr(0, 1999));
    EXPECT_EQ(tokens[1].text, "x");
}

TEST(LexLongToken, LiteralWithEscapesPastTheBufferIsCut)
{
    // Escapes beyond the buffer's end have no room for their character; the text stays cut and
    // nothing is written past the buffer.
    std::string literal = "\"" + std::string(1998, 's');
    for (int i = 0; i < 500; ++i)
        literal += "\\n\\065";
    literal += "\" x";
    const std::vector<CLexedToken> tokens = cparserLexText(literal.c_str());
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0].type, ctok::STRING);
    EXPECT_EQ(tokens[0].text, literal.substr(0, 1999));
    EXPECT_EQ(tokens[1].text, "x");
}

TEST(LexLongToken, EscapeAtTheLastPlaceIsKept)
{
    std::string literal = "\"" + std::string(1997, 's') + "\\n\"";
    const std::vector<CLexedToken> tokens = cparserLexText(literal.c_str());
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].text, literal.substr(0, 1998) + "\n");
}

}  // namespace
