// The colouring of Korvex sources, line by line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/KorvexLexer.h"

namespace {

// Spells the styles of a line as one letter per byte: w whitespace, s string, c comment,
// i identifier, n integer, f float, r reserved word, d delimiter, D define, a assembler,
// g register.
std::string spell(const std::vector<uint8_t> &styles)
{
    std::string out;
    for (uint8_t s : styles) {
        switch (s) {
        case kStyleWhitespace: out += 'w'; break;
        case kStyleString: out += 's'; break;
        case kStyleComment: out += 'c'; break;
        case kStyleIdentifier: out += 'i'; break;
        case kStyleInteger: out += 'n'; break;
        case kStyleFloat: out += 'f'; break;
        case kStyleReservedWord: out += 'r'; break;
        case kStyleDelimiter: out += 'd'; break;
        case kStyleDefine: out += 'D'; break;
        case kStyleAssembler: out += 'a'; break;
        case kStyleRegister: out += 'g'; break;
        default: out += '?'; break;
        }
    }
    return out;
}

struct LineCase {
    const char *name;
    std::vector<std::string> lines;
    std::vector<std::string> styles;
};

const LineCase kLines[] = {
    {"Declaration", {"int x = 0x1F;"}, {"rrrwiwdwnnnnd"}},
    {"KeywordsOfTheLanguage", {"xmem costate"}, {"rrrrwrrrrrrr"}},
    {"NotAKeywordInOtherCase", {"INT"}, {"iii"}},
    {"Floats", {"1.5 2e3 7"}, {"fffwfffwn"}},
    {"StringWithEscapedQuote", {"\"a\\\"b\" c"}, {"sssssswi"}},
    {"CharacterLiteral", {"'x'"}, {"sss"}},
    {"LineComment", {"a // b"}, {"iwcccc"}},
    {"BlockCommentOverLines", {"a /* b", "c */ d"}, {"iwcccc", "ccccwi"}},
    {"Directive", {"#define N 3"}, {"DDDDDDDwiwn"}},
    {"UseDirective", {"#use \"x.lib\""}, {"DDDDwsssssss"}},
    {"AsmBlock",
     {"#asm", "ld a,(hl) ; load", "#endasm", "int y;"},
     {"DDDD", "aawgaaggawcccccc", "DDDDDDD", "rrrwid"}},
    {"AsmRegistersAnyCase", {"#asm", "LD HL,1234h"}, {"DDDD", "aawggannnnn"}},
    {"HighBytesAreDelimiters", {"\xA9"}, {"d"}},
};

class LexerLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(LexerLines, StylesEachByte)
{
    uint8_t state = 0;
    std::vector<uint8_t> styles;
    for (std::size_t i = 0; i < GetParam().lines.size(); ++i) {
        style_korvex_line(GetParam().lines[i], state, styles);
        ASSERT_EQ(styles.size(), GetParam().lines[i].size());
        EXPECT_EQ(spell(styles), GetParam().styles[i]) << "line " << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(All, LexerLines, ::testing::ValuesIn(kLines),
                         [](const auto &i) { return std::string(i.param.name); });

// The table: the 27 syntax styles in list order (colours 0x00BBGGRR), then the two families of
// mark styles, which take their element's colours and differ only in their attributes.
TEST(LexerStyles, TheTwentySevenStylesInListOrderThenTheMarkFamilies)
{
    EXPECT_EQ(korvex_style(kStyleWhitespace).Name, "Whitespace");
    EXPECT_EQ(korvex_style(kStyleReservedWord).Name, "Reserved words");
    EXPECT_EQ(korvex_style(kStyleReservedWord).FontColor, 0xFF0000u); // blue
    EXPECT_TRUE(korvex_style(kStyleReservedWord).Bold);
    EXPECT_TRUE(korvex_style(kStyleComment).Italic);
    EXPECT_EQ(korvex_style(kStyleBreakPoint).Color, 0x0000FFu); // red
    EXPECT_EQ(korvex_style(kStyleExecutionPoint).Name, "ExecutionPoint");
    EXPECT_EQ(korvex_style(kStyleExecutionPoint).Color, 0x00FF00u);
    EXPECT_TRUE(korvex_style(kStyleUrl).UseMemoColor);
    EXPECT_EQ(kKorvexStyleCount, 27);

    const std::vector<TTextStyle> table = korvex_default_styles();
    ASSERT_EQ(table.size(), static_cast<std::size_t>(kKorvexTableSize));
    EXPECT_EQ(table[kStyleBreakpointMarks].Name, "Bp___");
    EXPECT_EQ(table[kStyleBreakpointMarks + 7].Name, "BpBIU");
    EXPECT_EQ(table[kStyleExecutionMarks].Name, "Exe___");
    const TTextStyle &last = table[kStyleExecutionMarks + 7];
    EXPECT_EQ(last.Name, "ExeBIU");
    EXPECT_TRUE(last.Bold && last.Italic && last.Underline);
    EXPECT_EQ(last.Color, table[kStyleExecutionPoint].Color);
    EXPECT_EQ(table[kStyleBreakpointMarks + 5].FontColor, table[kStyleBreakPoint].FontColor);
}

} // namespace
