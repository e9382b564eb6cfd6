// The compiler messages window: the lines of a real compile's messages and where they lead,
// the lines of any message list, stepping, copying, the detail on F1, the window's toggle,
// and a message list that the next compile resets under the window.
#include "IdeCompileRun.h"

#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTest>

#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "shell/frmKXMessages.h"
#include "settings/guiKXPreferences.h"

namespace {

using namespace compile_run;

class MessagesCompile : public IdeCompileRun {
protected:
    void ClickRow(int row)
    {
        QListWidget *list = frmMessages->lbxMessages;
        const QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }
};

// Line 3 holds an instruction with a register that does not exist.
TEST_F(MessagesCompile, BadAsmLineIsListedAndLeadsToItsLine)
{
    EXPECT_NE(compile("int x;\n#asm\n ld q,1\n#endasm\n") & 2, 0) << messages_text();
    TfrmMessages *window = m_main->ShowMessagesWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window, frmMessages);
    ASSERT_GE(window->lbxMessages->count(), 1);
    const std::string first = window->lbxMessages->item(0)->text().toStdString();
    EXPECT_EQ(first.rfind("line    3 : ERROR ", 0), 0u) << first;
    const TErrorInfo *info = window->Info(0);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->line, 3);

    // Bringing the window up acts as a click on the first line: the file opens there.
    ASSERT_EQ(m_main->Editors().size(), 1u);
    TfrmEdit *editor = m_main->Editors()[0];
    EXPECT_EQ(editor->FileName(), source);
    int line = -1, column = -1;
    editor->Editor()->getCursorPosition(&line, &column);
    EXPECT_EQ(line, 2);
    EXPECT_EQ(column, info->column - 1);
    EXPECT_EQ(editor->ErrorLine(), 2);

    // Selecting alone does not open the file again; a click does.
    editor->CloseDecided();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(m_main->Editors().empty());
    window->lbxMessages->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    EXPECT_TRUE(m_main->Editors().empty());
    ClickRow(0);
    ASSERT_EQ(m_main->Editors().size(), 1u);
    editor = m_main->Editors()[0];
    editor->Editor()->getCursorPosition(&line, &column);
    EXPECT_EQ(line, 2);
    EXPECT_EQ(editor->ErrorLine(), 2);
    EXPECT_EQ(m_main->Workspace()->subWindowList(QMdiArea::StackingOrder).last(),
              frmMessages->SubWindow())
        << "a click keeps the messages window in front";
    EXPECT_TRUE(m_boxes.shown.empty());
}

// The next compile resets the list the window was filled from: the window empties, and F1 or
// a click afterwards reads nothing of the old records.
TEST_F(MessagesCompile, NextCompileEmptiesTheWindow)
{
    compile("#asm\n ld q,1\n#endasm\n");
    ASSERT_GE(m_main->ShowMessagesWindow()->lbxMessages->count(), 1);
    reset_errors();
    EXPECT_EQ(frmMessages->lbxMessages->count(), 0);
    EXPECT_EQ(frmMessages->Info(0), nullptr);
    frmMessages->lbxMessagesKeyDown(Qt::Key_F1);
    frmMessages->GoToMessage(false);
    EXPECT_TRUE(m_boxes.shown.empty());
}

class Messages : public GuiTest {
protected:
    // One record in a file (empty: none) with a text that may hold a BEL pair and a detail.
    static void Record(int kind, int line, int column, const std::string &file,
                       const std::string &text)
    {
        set_error_file_name(file.empty() ? nullptr : file.c_str(), 0);
        new_message_record(kind, line, column, "%s", text.c_str());
    }
    QListWidget *List() { return frmMessages->lbxMessages; }
};

struct LineCase {
    const char *name;
    int line;
    std::string text;
    std::string shown;
};
const LineCase kLines[] = {
    {"Error", 3, "ERROR main.c     : Bad", "line    3 : ERROR main.c     : Bad" + std::string(38, ' ')},
    {"Warning", 12345, "WARNING a.c   : w", "line 12345 : WARNING a.c   : w" + std::string(43, ' ')},
    {"NoteAsItIs", 7, "10 errors reached; further errors suppressed.",
     "10 errors reached; further errors suppressed."},
    {"LowerCaseIsNoError", 7, "error here", "error here"},
    {"LongTextWhole", 1, "ERROR " + std::string(100, 'x'), "line    1 : ERROR " + std::string(100, 'x')},
};

class MessageLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(MessageLines, ErrorsAndWarningsCarryTheirLine)
{
    EXPECT_EQ(TfrmMessages::LineText(GetParam().line, GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(All, MessageLines, ::testing::ValuesIn(kLines),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(Messages, PreviousOnTheFirstAndNextOnTheLastDoNothing)
{
    Record(kMsgKindError, 1, 1, "", "ERROR a : one");
    Record(kMsgKindError, 2, 1, "", "ERROR a : two");
    Record(kMsgKindError, 3, 1, "", "ERROR a : three");
    Main().ShowMessagesWindow();
    ASSERT_EQ(List()->count(), 3);
    EXPECT_EQ(List()->currentRow(), 0);
    frmMessages->PreviousMessage();
    EXPECT_EQ(List()->currentRow(), 0);
    frmMessages->NextMessage();
    frmMessages->NextMessage();
    EXPECT_EQ(List()->currentRow(), 2);
    frmMessages->NextMessage();
    EXPECT_EQ(List()->currentRow(), 2);
    EXPECT_EQ(List()->selectedItems().size(), 1);
    frmMessages->PreviousMessage();
    EXPECT_EQ(List()->currentRow(), 1);
}

// F1 shows the message's detail; a message without one gets 4014.
TEST_F(Messages, F1ShowsTheDetailElseNoInformation)
{
    Record(kMsgKindError, 4, 1, "", "ERROR a : Illegal\a\aThe symbol may be a keyword.");
    Record(kMsgKindError, 5, 1, "", "ERROR a : Plain");
    Main().ShowMessagesWindow();
    QTest::keyClick(List(), Qt::Key_F1);
    frmMessages->NextMessage();
    QTest::keyClick(List(), Qt::Key_F1);
    ASSERT_EQ(m_boxes.shown.size(), 2u);
    EXPECT_EQ(m_boxes.shown[0].text, "The symbol may be a keyword.");
    EXPECT_EQ(m_boxes.shown[0].caption, "Information");
    EXPECT_EQ(m_boxes.shown[1].text, "No further information available.");
    EXPECT_EQ(m_boxes.shown[1].caption, "No Information");
    // Nothing selected: nothing to tell.
    List()->clearSelection();
    QTest::keyClick(List(), Qt::Key_F1);
    EXPECT_EQ(m_boxes.shown.size(), 2u);
}

// Ctrl+C copies the selected lines, in order, each with its line break.
TEST_F(Messages, CtrlCCopiesTheSelectedLines)
{
    Record(kMsgKindError, 1, 1, "", "ERROR a : one");
    Record(kMsgKindError, 2, 1, "", "ERROR a : two");
    Record(kMsgKindError, 3, 1, "", "ERROR a : three");
    Main().ShowMessagesWindow();
    QApplication::clipboard()->setText("before");
    List()->clearSelection();
    EXPECT_FALSE(frmMessages->actCopyUpdate());
    QTest::keyClick(List(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "before");
    List()->item(2)->setSelected(true);
    List()->item(0)->setSelected(true);
    QTest::keyClick(List(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(),
              QString::fromStdString(TfrmMessages::LineText(1, "ERROR a : one") + "\n" +
                                     TfrmMessages::LineText(3, "ERROR a : three") + "\n"));
}

// A message of a file that is open shows its place there as soon as it is selected; the
// caret and the error line follow the selection.
TEST_F(Messages, SelectingShowsThePlaceInAnOpenEditor)
{
    const std::string path = Write("a.c", "one\ntwo\nthree\nfour\n");
    TfrmEdit *editor = Main().OpenFile(path);
    Record(kMsgKindError, 2, 3, path, "ERROR a.c : first");
    Record(kMsgKindError, 4, 1, path, "ERROR a.c : second");
    Main().ShowMessagesWindow();
    EXPECT_EQ(editor->ErrorLine(), 1);
    frmMessages->NextMessage();
    EXPECT_EQ(editor->ErrorLine(), 3);
    int line = -1, column = -1;
    editor->Editor()->getCursorPosition(&line, &column);
    EXPECT_EQ(line, 3);
    EXPECT_EQ(column, 0);
    EXPECT_EQ(Main().Editors().size(), 1u);
}

// A message of a file that does not exist opens nothing.
TEST_F(Messages, MessageOfAMissingFileOpensNothing)
{
    Record(kMsgKindError, 2, 1, Path("gone.c"), "ERROR gone.c : x");
    Main().ShowMessagesWindow();
    frmMessages->GoToMessage(false);
    EXPECT_TRUE(Main().Editors().empty());
    EXPECT_TRUE(m_boxes.shown.empty());
}

// The list is trimmed to the user's maximum and its closing note listed as its text.
TEST_F(Messages, TrimmedListEndsWithItsNote)
{
    set_max_errors_shown(2);
    for (int i = 1; i <= 4; ++i)
        Record(kMsgKindError, i, 1, "", "ERROR a : e" + std::to_string(i));
    Main().ShowMessagesWindow();
    ASSERT_EQ(List()->count(), 3);
    EXPECT_EQ(List()->item(2)->text().toStdString(), GetResString(4019, 2));
    set_max_errors_shown(10);
}

// The toggle makes the window as an MDI child when its "Child" setting is on, closes it (the
// child is freed and its pointer null), and makes it again; shown each time it comes up.
TEST_F(Messages, ToggleMakesClosesAndMakesAgain)
{
    Record(kMsgKindError, 1, 1, "", "ERROR a : one");
    ASSERT_TRUE(IdePreferences().messages.child);
    Main().actToggleMessages->trigger();
    QPointer<TfrmMessages> first = frmMessages;
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(first->IsMdiChild());
    EXPECT_TRUE(first->IsShown());
    EXPECT_TRUE(Main().MessagesShown());
    EXPECT_EQ(List()->count(), 1);
    EXPECT_EQ(first->Host()->windowTitle(), "Compiler Messages");

    Main().actToggleMessages->trigger();
    EXPECT_TRUE(frmMessages.isNull());
    EXPECT_FALSE(Main().MessagesShown());
    EXPECT_TRUE(Main().actToggleMessages->isEnabled());
    Settle();
    EXPECT_TRUE(first.isNull());
    TDockPlacement saved;
    ASSERT_TRUE(ReadDockState("Message Window", saved));
    EXPECT_TRUE(saved.child) << "the freed window saved its placement";

    Main().actToggleMessages->trigger();
    ASSERT_FALSE(frmMessages.isNull());
    EXPECT_TRUE(frmMessages->IsShown());
}

// With "Child" off the window floats; closing hides it and the toggle shows it again.
TEST_F(Messages, FloatingWindowIsHiddenAndShownAgain)
{
    IdePreferences().messages.child = false;
    TfrmMessages *window = Main().ShowMessagesWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->IsFloating());
    Main().actToggleMessages->trigger();
    EXPECT_EQ(frmMessages, window);
    EXPECT_FALSE(window->IsShown());
    Record(kMsgKindError, 1, 1, "", "ERROR a : late");
    EXPECT_EQ(Main().ShowMessagesWindow(), window);
    EXPECT_TRUE(window->IsShown());
    EXPECT_EQ(List()->count(), 1);
}

} // namespace
