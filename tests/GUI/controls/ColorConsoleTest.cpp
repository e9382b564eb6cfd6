// The console model without a window: writing, wrapping at the last column, scrolling,
// control bytes, bytes above 127, the cursor kept on the screen, the extreme sizes, clears and
// recolouring, and the selection.
#include <gtest/gtest.h>

#include <string>

#include "controls/ColorConsole.h"

namespace {

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

TEST(ConsoleModel, WritesWrapsAndScrolls)
{
    TColorConsole console;
    console.SetCols(4);
    console.SetRows(2);
    console.WriteString("abcdef");
    EXPECT_EQ(console.RowText(0), "abcd");
    EXPECT_EQ(console.RowText(1), "ef");
    EXPECT_EQ(console.GetCursor(), (TConsolePoint{2, 1}));
    // A line feed on the last row scrolls: the top row is lost.
    console.WriteString("\nxy");
    EXPECT_EQ(console.RowText(0), "ef");
    EXPECT_EQ(console.RowText(1), "xy");
}

TEST(ConsoleModel, ControlBytes)
{
    TColorConsole console;
    console.SetSpacesInTab(4);
    console.WriteString(std::string("a\tb\rc\bd\a", 8));
    console.WriteString(std::string("\0e", 2));
    // TAB to column 4, CR to 0, BS stays at 0, BEL and NUL show nothing.
    EXPECT_EQ(console.RowText(0), "de  b");
    EXPECT_EQ(console.GetCursor(), (TConsolePoint{2, 0}));
}

TEST(ConsoleModel, BytesAbove127AreKept)
{
    TColorConsole console;
    console.WriteString("caf\xe9 \x80\xff");
    EXPECT_EQ(console.RowText(0), "caf\xe9 \x80\xff");
}

TEST(ConsoleModel, CursorStaysOnTheScreen)
{
    TColorConsole console;
    console.SetCols(10);
    console.SetRows(5);
    console.SetCursor({-3, 99});
    EXPECT_EQ(console.GetCursor(), (TConsolePoint{0, 4}));
    console.SetCursor({1000000, -1});
    EXPECT_EQ(console.GetCursor(), (TConsolePoint{9, 0}));
}

TEST(ConsoleModel, ExtremeSizes)
{
    TColorConsole tiny;
    tiny.SetCols(1);
    tiny.SetRows(1);
    tiny.WriteString("abc\n\n\tz");
    EXPECT_EQ(tiny.RowText(0), "z");
    EXPECT_EQ(tiny.GetCursor(), (TConsolePoint{0, 0}));

    TColorConsole large;
    large.SetCols(512);
    large.SetRows(10000);
    std::string block(65535, 'x');
    for (std::size_t i = 0; i < block.size(); i += 7)
        block[i] = '\n';
    large.WriteString(block);
    large.WriteString(block);
    EXPECT_EQ(large.Rows(), 10000);
    EXPECT_EQ(large.RowText(large.GetCursor().Y - 1), "xxxxxx");

    // Counts beyond the limits are brought inside them.
    TColorConsole bounded;
    bounded.SetCols(0);
    bounded.SetRows(20000);
    EXPECT_EQ(bounded.Cols(), 1);
    EXPECT_EQ(bounded.Rows(), TColorConsole::kMaxRows);
}

TEST(ConsoleModel, ClearsAndRecolours)
{
    TColorConsole console;
    console.Font().SetColor(0x0000FF);
    console.Font().SetBkColor(0x00FF00);
    console.WriteString("red");
    console.Font().SetColor(0x000000);
    console.WriteString("black");
    console.ChangeFgColorTo(0x0000FF, 0x123456);
    EXPECT_EQ(console.Cell(0, 0).color, 0x123456u);
    EXPECT_EQ(console.Cell(3, 0).color, 0x000000u);
    console.ChangeBkColorTo(0x00FF00, 0xABCDEF);
    EXPECT_EQ(console.Cell(4, 0).bk_color, 0xABCDEFu);

    console.Font().SetBkColor(0x111111);
    console.SetCursor({3, 0});
    console.ClrEol();
    EXPECT_EQ(trimmed(console.RowText(0)), "red");
    EXPECT_EQ(console.Cell(79, 0).bk_color, 0x111111u);

    console.Font().SetBkColor(0x222222);
    console.ClrScr();
    EXPECT_EQ(trimmed(console.RowText(0)), "");
    EXPECT_EQ(console.Cell(40, 20).bk_color, 0x222222u);
    EXPECT_EQ(console.GetCursor(), (TConsolePoint{0, 0}));
}

TEST(ConsoleModel, SelectionInReadingOrder)
{
    TColorConsole console;
    console.WriteString("first line  \nsecond\nthird");
    EXPECT_FALSE(console.HasSelection());
    EXPECT_EQ(console.SelectedText(), "");
    // Made backwards: from the "h" of "third" back to the "l" of "line".
    console.SetSelection({2, 2}, {6, 0});
    EXPECT_TRUE(console.HasSelection());
    EXPECT_TRUE(console.IsSelected(0, 1));
    EXPECT_FALSE(console.IsSelected(3, 2));
    EXPECT_EQ(console.SelectedText(), "line\nsecond\nthi");
    console.ClearSelection();
    EXPECT_FALSE(console.HasSelection());
}

} // namespace
