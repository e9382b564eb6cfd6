// The stdio console without a window: the escape machine over the console model (one table of
// sequences, also split between blocks and malformed), and the key buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/ColorConsole.h"
#include "debug/frmKXStdio.h"
#include "shell/frmKXMain.h"

namespace {

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// ---- the escape machine ----------------------------------------------------------------------------

constexpr TColor kBackground = 0x336699; // "Background Color" of the tests' window
constexpr TColor kText = 0x102030;

struct EscapeCase {
    const char *name;
    std::vector<std::string> blocks; // fed one after the other
    TConsolePoint start;             // the cursor before
    TConsolePoint cursor;            // and after
    std::string row;                 // the start row's text after (trailing blanks dropped)
    int clears = 0;
    TColor text = kText;             // the font's colours after
    TColor background = clWhite;
    bool in_sequence = false;
};

const std::string kRow = "0123456789";
const std::string k30Digits(30, '1');

const EscapeCase kEscapes[] = {
    {"ClearScreen", {"\x1b[2J"}, {3, 2}, {0, 0}, "", 1, kText, kBackground},
    {"JWithoutTwo", {"\x1b[J"}, {3, 2}, {3, 2}, kRow},
    {"ZeroJ", {"\x1b[0J"}, {3, 2}, {3, 2}, kRow},
    {"TwentyJ", {"\x1b[22J"}, {3, 2}, {3, 2}, kRow},
    {"ClearToLineEnd", {"\x1b[K"}, {3, 2}, {3, 2}, "012"},
    {"ZeroKNothing", {"\x1b[0K"}, {3, 2}, {3, 2}, kRow},
    {"RowAndColumn", {"\x1b[5;10H"}, {3, 2}, {9, 4}, kRow},
    {"HomeKeepsRow", {"\x1b[H"}, {3, 2}, {0, 2}, kRow},
    {"ColumnOnly", {"\x1b[;7H"}, {3, 2}, {6, 2}, kRow},
    {"Up", {"\x1b[A"}, {3, 2}, {3, 1}, kRow},
    {"DownTwo", {"\x1b[2B"}, {3, 2}, {3, 4}, kRow},
    {"RightFour", {"\x1b[4C"}, {3, 2}, {7, 2}, kRow},
    {"Left", {"\x1b[D"}, {3, 2}, {2, 2}, kRow},
    {"SaveAndRestore", {"\x1b[s\x1b[9;9H\x1b[u"}, {4, 2}, {4, 2}, kRow},
    {"BoldThenRed", {"\x1b[1;31m"}, {0, 2}, {0, 2}, kRow, 0, 0x5555FF},
    {"RedThenBold", {"\x1b[31;1m"}, {0, 2}, {0, 2}, kRow, 0, 0x0000AA},
    {"ResetIsBlackOnWhite", {"\x1b[0m"}, {0, 2}, {0, 2}, kRow, 0, clBlack, clWhite},
    {"InverseIsWhiteOnBlack", {"\x1b[7m"}, {0, 2}, {0, 2}, kRow, 0, clWhite, clBlack},
    {"EmptySgrNothing", {"\x1b[m"}, {0, 2}, {0, 2}, kRow},
    {"Background", {"\x1b[44m"}, {0, 2}, {0, 2}, kRow, 0, kText, 0xAA0000},
    {"AttributeMakesBright", {"\x1b" "G1\x1b[31m"}, {0, 2}, {0, 2}, kRow, 0, 0x5555FF},
    {"AttributeZeroClears", {"\x1b" "G1\x1bG0\x1b[31m"}, {0, 2}, {0, 2}, kRow, 0, 0x0000AA},
    {"PositionBytes", {"\x1b=!#"}, {5, 0}, {1, 3}, kRow},
    {"ThirtyDigitsEndTheSequence", {"\x1b[" + k30Digits + "ab"}, {0, 2}, {2, 2}, "ab23456789"},
    {"SplitOverTwoBlocks", {"\x1b[5;", "10H"}, {3, 2}, {9, 4}, kRow},
    {"SplitAfterEscape", {"x\x1b", "[Ky"}, {3, 2}, {5, 2}, "012xy"},
    {"UnlistedAfterEscDropped", {"\x1bQab"}, {0, 2}, {2, 2}, "ab23456789"},
    {"EscTClears", {"\x1bt"}, {3, 2}, {0, 0}, "", 1, kText, kBackground},
    {"EscCapitalTClearsLine", {"\x1bT"}, {3, 2}, {3, 2}, "012"},
    {"NulShowsNothing", {std::string("a\0b", 3)}, {0, 2}, {2, 2}, "ab23456789"},
    {"HighBytesAreText", {"\xe9\x80"}, {0, 2}, {2, 2}, "\xe9\x80" "23456789"},
    // Bad input: only the sequence is lost.
    {"EmptyBlock", {""}, {3, 2}, {3, 2}, kRow},
    {"FinalEscWaits", {"ab\x1b"}, {0, 2}, {2, 2}, "ab23456789", 0, kText, clWhite, true},
    {"FarUpStaysOnScreen", {"\x1b[500A"}, {3, 2}, {3, 0}, kRow},
    {"PositionBelow32", {"\x1b=\x01\x02"}, {5, 2}, {0, 0}, kRow},
    {"UnknownSgr", {"\x1b[99m\x1b[65535m"}, {0, 2}, {0, 2}, kRow},
    {"HugeRow", {"\x1b[99999999999999999999;5H"}, {3, 2}, {4, 2}, kRow},
};

class Escapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(Escapes, OneSequence)
{
    const EscapeCase &c = GetParam();
    TColorConsole console;
    int clears = 0;
    TStdioEscapeMachine machine(console, [&] {
        ++clears;
        console.Font().SetBkColor(kBackground);
        console.ClrScr();
    });
    console.SetProcessControlCodes(
        [&](const uint8_t *bytes, std::size_t count) { machine.Feed(bytes, count); });
    for (int row = 0; row < 6; ++row) {
        console.SetCursor({0, row});
        console.WriteString(kRow);
    }
    console.Font().SetColor(kText);
    console.SetCursor(c.start);
    for (const std::string &block : c.blocks)
        console.WriteString(block);
    EXPECT_EQ(console.GetCursor(), c.cursor)
        << "cursor " << console.GetCursor().X << "," << console.GetCursor().Y;
    EXPECT_EQ(trimmed(console.RowText(c.start.Y)), c.row);
    EXPECT_EQ(clears, c.clears);
    EXPECT_EQ(console.Font().Color, c.text);
    EXPECT_EQ(console.Font().BkColor, c.background);
    EXPECT_EQ(machine.InSequence(), c.in_sequence);
}

INSTANTIATE_TEST_SUITE_P(All, Escapes, ::testing::ValuesIn(kEscapes),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(EscapeMachine, ThousandDigitsLoseOnlyTheSequence)
{
    TColorConsole console;
    TStdioEscapeMachine machine(console, [] {});
    console.SetProcessControlCodes(
        [&](const uint8_t *bytes, std::size_t count) { machine.Feed(bytes, count); });
    console.WriteString("\x1b[" + std::string(1000, '7') + "Hz");
    EXPECT_FALSE(machine.InSequence());
    // 29 digits are the parameters, the 30th ends the sequence, the other 970 and "Hz" print.
    EXPECT_EQ(console.UsedRows(), 13);
    EXPECT_EQ(trimmed(console.RowText(12)), std::string(970 - 12 * 80, '7') + "Hz");
}

TEST(EscapeMachine, TextWrittenAfterSgrTakesItsColours)
{
    TColorConsole console;
    TStdioEscapeMachine machine(console, [] {});
    console.SetProcessControlCodes(
        [&](const uint8_t *bytes, std::size_t count) { machine.Feed(bytes, count); });
    console.WriteString("a\x1b[1;31mred\x1b[0mb");
    EXPECT_EQ(console.Cell(1, 0).color, 0x5555FFu);
    EXPECT_EQ(console.Cell(3, 0).color, 0x5555FFu);
    EXPECT_EQ(console.Cell(4, 0).color, clBlack);
    EXPECT_EQ(console.Cell(4, 0).bk_color, clWhite);
}

// ---- the key buffer -------------------------------------------------------------------------------

TEST(StdioKeys, RingOfEighty)
{
    TStdioKeyBuffer keys;
    char c = '?';
    EXPECT_EQ(keys.Take(c), 0);
    EXPECT_EQ(c, '?');
    for (int i = 0; i < 81; ++i)
        EXPECT_EQ(keys.Put(static_cast<uint8_t>('A' + i % 26)), i < 80) << i;
    EXPECT_EQ(keys.Waiting(), 80);
    EXPECT_EQ(keys.Take(c), 80);
    EXPECT_EQ(c, 'A');
    EXPECT_TRUE(keys.Put('!'));
    for (int i = 1; i < 80; ++i)
        keys.Take(c);
    EXPECT_EQ(keys.Take(c), 1);
    EXPECT_EQ(c, '!');
    EXPECT_EQ(keys.Waiting(), 0);
}

} // namespace
