// The Go to Line dialog's edit box and the move to the line it names.
#include "GuiHarness.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "editor/frmKXLineNumber.h"

namespace {

struct TypingCase {
    const char *name;
    const char *before; // typed first, so that it is the last accepted text
    int caret;          // where the caret stands before the keys
    const char *keys;   // "\b" is Backspace
    const char *after;
    int caret_after;
};
const TypingCase kTyping[] = {
    {"LetterAfterTwelveIsRefused", "12", 2, "a", "12", 2},
    {"LetterInsideTwelveIsRefused", "12", 1, "x", "12", 1},
    {"MinusIntoEmptyIsRefused", "", 0, "-", "", 0},
    {"MinusBeforeTwelveIsRefused", "12", 0, "-", "12", 0},
    {"DigitIsTaken", "12", 2, "3", "123", 3},
    {"ZeroIsTaken", "", 0, "0", "0", 1},
    {"AllDigitsMayGo", "12", 2, "\b\b", "", 0},
    {"LetterIntoEmptyBringsBackTheLastNumber", "45", 2, "\b\bq", "4", 0},
    {"NumberTooLargeIsRefused", "2147483647", 10, "0", "2147483647", 10},
};
class LineNumberTyping : public GuiTest, public ::testing::WithParamInterface<TypingCase> {};

TEST_P(LineNumberTyping, RefusedChangesAreUndoneSilently)
{
    const TypingCase &c = GetParam();
    TfrmLineNumber dialog;
    QTest::keyClicks(dialog.edtLineNumber, c.before);
    dialog.edtLineNumber->setCursorPosition(c.caret);
    for (const char *k = c.keys; *k; ++k) {
        if (*k == '\b')
            QTest::keyClick(dialog.edtLineNumber, Qt::Key_Backspace);
        else
            QTest::keyClick(dialog.edtLineNumber, *k);
    }
    EXPECT_EQ(dialog.edtLineNumber->text(), c.after);
    EXPECT_EQ(dialog.edtLineNumber->cursorPosition(), c.caret_after);
    EXPECT_TRUE(m_boxes.shown.empty());
}
INSTANTIATE_TEST_SUITE_P(All, LineNumberTyping, ::testing::ValuesIn(kTyping),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(GuiTest, LineNumberDialogLooksAsTheUserKnowsIt)
{
    TfrmLineNumber dialog;
    EXPECT_EQ(dialog.windowTitle(), "Go to Line Number");
    EXPECT_EQ(dialog.lblLineNumber->text(), "Enter New Line Number:");
    EXPECT_TRUE(dialog.Button1->isDefault());
    EXPECT_EQ(dialog.Button1->text(), "&OK");
    EXPECT_EQ(dialog.Button2->text(), "&Cancel");
    EXPECT_FALSE(dialog.Button1->focusPolicy() & Qt::TabFocus);
    EXPECT_FALSE(dialog.Button2->focusPolicy() & Qt::TabFocus);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(dialog.isModal());
}

struct GotoCase {
    const char *name;
    const char *text;
    int line; // where the caret ends, from 0
};
const GotoCase kGoto[] = {
    {"First", "1", 0},
    {"Third", "3", 2},
    {"ZeroNamesNoLine", "0", 1},
    {"PastTheEndIsTheLastLine", "99", 4},
    {"EmptyLeavesTheCaret", "", 1},
    {"LettersLeaveTheCaret", "abc", 1},
    {"NegativeLeavesTheCaret", "-4", 1},
};
class GoToLine : public GuiTest, public ::testing::WithParamInterface<GotoCase> {};

TEST_P(GoToLine, CaretAtColumnZeroOfTheLine)
{
    TfrmEdit *editor = Main().OpenFile(Write("g.c", "a\nbb\nccc\ndddd\neeeee"));
    ASSERT_NE(editor, nullptr);
    editor->Editor()->setCursorPosition(1, 1);
    GoToLineNumber(editor, line_number_of(QString::fromLatin1(GetParam().text)));
    int line = -1, column = -1;
    editor->Editor()->getCursorPosition(&line, &column);
    EXPECT_EQ(line, GetParam().line);
    EXPECT_EQ(column, GetParam().line == 1 ? 1 : 0);
    EXPECT_FALSE(editor->IsModified());
}
INSTANTIATE_TEST_SUITE_P(All, GoToLine, ::testing::ValuesIn(kGoto),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
