// The main window's File and Edit commands as a user meets them: new files, saving, closing,
// the clipboard, undo, find and replace, go to line and the error walk, with their enabled
// states from the update pass.
#include "GuiHarness.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>

#include <cstdlib>
#include <fstream>

#include <unistd.h>

#include "core/CC_ER.h"
#include "core/CC_MISC.h"
#include "OptionsDoubles.h"
#include "editor/frmKXFind.h"
#include "editor/frmKXLineNumber.h"
#include "shell/frmKXMessages.h"
#include "settings/guiKXPreferences.h"

namespace {

class FileCommands : public GuiTest {
protected:
    // The user's home is a folder of the test's own (not the current folder, which New, Open and
    // Save As never use).
    void SetUp() override
    {
        GuiTest::SetUp();
        set_options_shell(&m_shell);
        if (const char *home = std::getenv("HOME"))
            m_saved_home = home;
        std::filesystem::create_directories(m_dir / "home");
        setenv("HOME", (m_dir / "home").c_str(), 1);
    }
    void TearDown() override
    {
        if (m_saved_home.empty())
            unsetenv("HOME");
        else
            setenv("HOME", m_saved_home.c_str(), 1);
        set_options_shell(nullptr);
        GuiTest::TearDown();
    }
    std::string m_saved_home;
    TfrmEdit *Open(const std::string &name, const std::string &text)
    {
        TfrmEdit *editor = Main().OpenFile(Write(name, text));
        EXPECT_NE(editor, nullptr);
        return editor;
    }
    bool Enabled(QAction *action)
    {
        Main().UpdateActions();
        return action->isEnabled();
    }
    std::string Selected(TfrmEdit *editor)
    {
        return editor->Editor()->selectedText().toStdString();
    }
    Journal m_journal;
    RecordingShell m_shell{m_journal};

    // The window entries of the Window menu as it shows them when opened.
    std::vector<std::string> WindowMenuEntries()
    {
        Q_EMIT Main().WindowMenu()->aboutToShow();
        std::vector<std::string> entries;
        for (QAction *item : Main().WindowListItems())
            entries.push_back(item->text().toStdString());
        return entries;
    }
};

// Untitled1.c to Untitled3.c exist beside the active file: New gives 4, the next New 5. Typed
// text saved as b.c is in b.c byte for byte, and the caption follows; saved as notes.txt it is
// no longer coloured.
TEST_F(FileCommands, NewNumbersPastExistingFilesAndSaveAsRenames)
{
    for (int n = 1; n <= 3; ++n)
        Write("Untitled" + std::to_string(n) + ".c", "");
    Open("main.c", "");
    TfrmEdit *first = Main().actFileNewExecute();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->ShortName(), "Untitled4.c");
    EXPECT_FALSE(std::filesystem::exists(Path("Untitled4.c"))) << "nothing is written yet";
    TfrmEdit *second = Main().actFileNewExecute();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->ShortName(), "Untitled5.c");

    Type(second, "int b;\n");
    second->Editor()->SendScintilla(QsciScintillaBase::SCI_APPENDTEXT, 1UL, "\xE9");
    m_dialogs.choices = {{Path("b.c")}, {Path("notes.txt")}};
    Main().actFileSave->trigger(); // never saved: Save As
    EXPECT_EQ(Read(Path("b.c")), "int b;\n\xE9");
    EXPECT_EQ(second->FileName(), Path("b.c"));
    EXPECT_EQ(second->windowTitle().toStdString(), Path("b.c"));
    EXPECT_EQ(WindowMenuEntries(),
              (std::vector<std::string>{"&1 " + Path("main.c"), "&2 " + Path("Untitled4.c"),
                                        "&3 " + Path("b.c")}))
        << "the Window menu names the saved file where it named Untitled5.c";
    EXPECT_TRUE(second->HasSyntaxParser());
    EXPECT_FALSE(Enabled(Main().actFileSave)) << "saved: nothing to save";

    Main().Workspace()->setActiveSubWindow(second);
    Main().actFileSaveAs->trigger();
    EXPECT_EQ(Read(Path("notes.txt")), "int b;\n\xE9");
    EXPECT_FALSE(second->HasSyntaxParser());
    EXPECT_EQ(second->ShortName(), "notes.txt");
    EXPECT_EQ(WindowMenuEntries()[2], "&3 " + Path("notes.txt"));
}

// New names its file, and Open and Save As start, beside the active editor's file, else in the
// folder Open or Save As last used, else in the user's home; never in the current folder (the
// program's own folder for a user who started it from there).
TEST_F(FileCommands, NewOpenAndSaveAsStartBesideTheActiveFileElseTheLastFolderElseHome)
{
    const std::string home = Path("home");
    std::filesystem::create_directories(m_dir / "a");
    std::filesystem::create_directories(m_dir / "b");
    Write("a/x.c", "x\n");
    const auto close_all = [&] {
        for (TfrmEdit *editor : Main().Editors())
            editor->close();
        Settle();
        ASSERT_TRUE(Main().Editors().empty());
    };

    // Nothing open, no folder used: the home folder.
    TfrmEdit *untitled = Main().actFileNewExecute();
    ASSERT_NE(untitled, nullptr);
    EXPECT_EQ(untitled->FileName(), home + "/Untitled1.c");
    m_dialogs.choices = {{}};
    EXPECT_FALSE(Main().SaveAs(untitled));
    ASSERT_EQ(m_dialogs.requests.size(), 1u);
    EXPECT_EQ(m_dialogs.requests[0].directory, home);
    EXPECT_EQ(m_dialogs.requests[0].file_name, home + "/Untitled1.c");
    close_all();
    m_dialogs.choices = {{Path("a/x.c")}};
    Main().actFileOpenExecute();
    ASSERT_EQ(m_dialogs.requests.size(), 2u);
    EXPECT_EQ(m_dialogs.requests[1].directory, home);

    // Beside the active editor's file.
    ASSERT_EQ(Main().Editors().size(), 1u);
    TfrmEdit *beside = Main().actFileNewExecute();
    ASSERT_NE(beside, nullptr);
    EXPECT_EQ(beside->FileName(), Path("a/Untitled2.c"));
    TfrmEdit *other = Open("b/y.c", "y\n");
    m_dialogs.choices = {{}, {}};
    Main().actFileOpenExecute();
    EXPECT_FALSE(Main().SaveAs(other));
    ASSERT_EQ(m_dialogs.requests.size(), 4u);
    EXPECT_EQ(m_dialogs.requests[2].directory, Path("b"));
    EXPECT_EQ(m_dialogs.requests[2].file_name, "") << "a/x.c would take the dialog to a/";
    EXPECT_EQ(m_dialogs.requests[3].directory, Path("b"));

    // Nothing open: the folder last used (Open's a/, then Save As's b/).
    close_all();
    TfrmEdit *last = Main().actFileNewExecute();
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->FileName(), Path("a/Untitled3.c"));
    Type(last, "int z;\n");
    m_dialogs.choices = {{Path("b/z.c")}};
    ASSERT_TRUE(Main().SaveAs(last));
    EXPECT_EQ(m_dialogs.requests.back().directory, Path("a"));
    close_all();
    m_dialogs.choices = {{}};
    Main().actFileOpenExecute();
    EXPECT_EQ(m_dialogs.requests.back().directory, Path("b"));
    EXPECT_EQ(Main().LastFileDir(), Path("b"));
    for (const auto &request : m_dialogs.requests)
        EXPECT_NE(request.directory, m_dir.string()) << "never the current folder";
}

// Past the last number New opens nothing and says so.
TEST_F(FileCommands, NewWithEveryNameTakenOpensNothing)
{
    for (int n = 1; n <= 65500; ++n)
        std::ofstream(m_dir / "home" / ("Untitled" + std::to_string(n) + ".c"));
    EXPECT_EQ(Main().actFileNewExecute(), nullptr);
    EXPECT_TRUE(Main().Editors().empty());
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_NE(m_boxes.shown[0].text.find("Untitled65500.c"), std::string::npos);
    EXPECT_EQ(Main().actFileNewExecute(), nullptr) << "and keeps saying so";
}

TEST_F(FileCommands, SaveIsEnabledWhileModifiedAndSaveAllWritesEveryModifiedEditor)
{
    TfrmEdit *a = Open("a.c", "a\n");
    TfrmEdit *b = Open("b.c", "b\n");
    TfrmEdit *c = Open("c.c", "c\n");
    EXPECT_FALSE(Enabled(Main().actFileSave));
    EXPECT_FALSE(Enabled(Main().actFileSaveAll));
    Type(a, "1");
    Type(c, "3");
    Main().Workspace()->setActiveSubWindow(b);
    EXPECT_FALSE(Enabled(Main().actFileSave)) << "the active editor is not modified";
    EXPECT_TRUE(Enabled(Main().actFileSaveAll));
    Main().Workspace()->setActiveSubWindow(c);
    EXPECT_TRUE(Enabled(Main().actFileSave));

    const auto b_time = std::filesystem::last_write_time(Path("b.c"));
    Main().actFileSaveAll->trigger();
    EXPECT_EQ(Read(Path("a.c")), "1a\n");
    EXPECT_EQ(Read(Path("c.c")), "3c\n");
    EXPECT_EQ(std::filesystem::last_write_time(Path("b.c")), b_time);
    EXPECT_FALSE(a->IsModified());
    EXPECT_FALSE(Enabled(Main().actFileSaveAll));
}

// Save As into a folder that is gone, onto a folder, or into a folder nobody may write: a box
// names the file, the editor keeps its name and stays modified.
TEST_F(FileCommands, SaveAsThatCannotWriteKeepsTheEditorModified)
{
    std::filesystem::create_directory(m_dir / "locked");
    std::filesystem::create_directory(m_dir / "folder.c");
    const std::vector<std::string> targets = {Path("gone/x.c"), Path("folder.c"),
                                              Path("locked/x.c"), Path("n\xE9w/x.c")};
    std::filesystem::permissions(m_dir / "locked", std::filesystem::perms::owner_read |
                                                       std::filesystem::perms::owner_exec);
    TfrmEdit *editor = Open("a.c", "a\n");
    Type(editor, "x");
    for (const std::string &target : targets) {
        SCOPED_TRACE(target);
        if (target == Path("locked/x.c") && access(Path("locked").c_str(), W_OK) == 0)
            continue; // this user writes any folder
        m_boxes.shown.clear();
        m_dialogs.choices = {{target}};
        EXPECT_FALSE(Main().SaveAs(editor));
        ASSERT_EQ(m_boxes.shown.size(), 1u);
        EXPECT_NE(m_boxes.shown[0].text.find(target), std::string::npos);
        EXPECT_EQ(editor->FileName(), Path("a.c"));
        EXPECT_TRUE(editor->IsModified());
        EXPECT_EQ(Read(Path("a.c")), "a\n");
    }
    std::filesystem::permissions(m_dir / "locked", std::filesystem::perms::owner_all);
}

TEST_F(FileCommands, CloseUndoAndRedoAreOffWithNoEditorOpen)
{
    Main().UpdateActions();
    for (QAction *action : {Main().actFileClose, Main().actUndo, Main().actRedo})
        EXPECT_FALSE(Enabled(action)) << action->text().toStdString() << " before any editor";
    TfrmEdit *editor = Open("a.c", "a\n");
    EXPECT_FALSE(Enabled(Main().actUndo));
    Type(editor, "x");
    EXPECT_TRUE(Enabled(Main().actUndo));
    EXPECT_TRUE(Enabled(Main().actFileClose));
    m_boxes.answers = {kIdNo};
    Main().actFileClose->trigger();
    Settle();
    EXPECT_TRUE(Main().Editors().empty());
    Main().UpdateActions();
    for (QAction *action : {Main().actFileClose, Main().actUndo, Main().actRedo})
        EXPECT_FALSE(Enabled(action)) << action->text().toStdString() << " after the last close";
    Main().actUndo->trigger(); // nothing to undo in: nothing happens
    Main().actFileClose->trigger();
    EXPECT_EQ(Read(Path("a.c")), "a\n");
}

TEST_F(FileCommands, UndoAndRedoWorkOnTheActiveEditor)
{
    TfrmEdit *editor = Open("a.c", "a\n");
    Type(editor, "xy");
    Main().actUndo->trigger();
    EXPECT_EQ(editor->Text(), "a\n");
    EXPECT_TRUE(Enabled(Main().actRedo));
    Main().actRedo->trigger();
    EXPECT_EQ(editor->Text(), "xya\n");
}

TEST_F(FileCommands, SaveEditorFileFindsTheEditorWhateverTheCase)
{
    TfrmEdit *editor = Open("Lib.c", "a\n");
    Type(editor, "z");
    EXPECT_TRUE(Main().SaveEditorFile(upper_case(Path("Lib.c"))));
    EXPECT_EQ(Read(Path("Lib.c")), "za\n");
    EXPECT_FALSE(editor->IsModified());
    EXPECT_TRUE(Main().SaveEditorFile(Path("other.c")));
    EXPECT_FALSE(std::filesystem::exists(Path("other.c")));
    EXPECT_TRUE(m_dialogs.requests.empty()) << "no Save As for a file nobody has open";
}

TEST_F(FileCommands, CloseAllStopsAtAnEditorThatRefuses)
{
    TfrmEdit *a = Open("a.c", "a\n");
    TfrmEdit *b = Open("b.c", "b\n");
    Open("c.c", "c\n");
    Type(b, "x");
    m_boxes.answers = {kIdCancel};
    EXPECT_FALSE(Main().CloseAllWindows());
    Settle();
    ASSERT_EQ(Main().Editors().size(), 2u) << "c went, b refused, a was not asked";
    EXPECT_EQ(Main().Editors()[0], a);
    m_boxes.answers = {kIdNo};
    EXPECT_TRUE(Main().CloseAllWindows());
    Settle();
    EXPECT_TRUE(Main().Editors().empty());
    EXPECT_EQ(Read(Path("b.c")), "b\n");
}

// Copy by the active window: the editor's selection, the messages window's selected lines, or
// nothing at all.
TEST_F(FileCommands, CopyTakesTheActiveWindowsText)
{
    EXPECT_FALSE(Enabled(Main().actEditCopy)) << "nothing active";
    TfrmEdit *editor = Open("a.c", "alpha beta\n");
    EXPECT_FALSE(Enabled(Main().actEditCopy)) << "nothing selected";
    editor->Editor()->setSelection(0, 6, 0, 10);
    ASSERT_TRUE(Enabled(Main().actEditCopy));
    Main().actEditCopy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "beta");

    // The messages window as a workspace window, made the active one.
    IdePreferences().messages.child = true;
    new_message_record(kMsgKindError, 1, 1, "%s", "first");
    new_message_record(kMsgKindError, 2, 1, "%s", "second");
    TfrmMessages *messages = Main().ShowMessagesWindow();
    ASSERT_NE(messages, nullptr);
    ASSERT_NE(messages->SubWindow(), nullptr);
    Main().Workspace()->setActiveSubWindow(messages->SubWindow());
    messages->lbxMessages->clearSelection();
    EXPECT_FALSE(Enabled(Main().actEditCopy)) << "no line selected: the window's own rule";
    messages->lbxMessages->item(1)->setSelected(true);
    ASSERT_TRUE(Enabled(Main().actEditCopy));
    Main().actEditCopy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
              messages->lbxMessages->item(1)->text().toStdString() + "\n");
}

TEST_F(FileCommands, CutAndPasteNeedASelectionAndAWritableText)
{
    TfrmEdit *editor = Open("a.c", "alpha beta\n");
    EXPECT_FALSE(Enabled(Main().actEditCut));
    editor->Editor()->setSelection(0, 0, 0, 6);
    ASSERT_TRUE(Enabled(Main().actEditCut));
    Main().actEditCut->trigger();
    EXPECT_EQ(editor->Text(), "beta\n");
    editor->Editor()->setCursorPosition(0, 4);
    ASSERT_TRUE(Enabled(Main().actEditPaste));
    Main().actEditPaste->trigger();
    EXPECT_EQ(editor->Text(), "betaalpha \n");
    editor->SetReadOnly(true);
    editor->Editor()->setSelection(0, 0, 0, 4);
    EXPECT_FALSE(Enabled(Main().actEditCut));
    EXPECT_FALSE(Enabled(Main().actEditPaste));
    Main().actEditPaste->trigger();
    EXPECT_EQ(editor->Text(), "betaalpha \n");
}

// ---- find and replace --------------------------------------------------------------------------

struct MatchCase {
    const char *name;
    const char *text;
    long from;
    TSearchRequest request;
    std::optional<TSearchMatch> match;
};
TSearchRequest plain(const char *text) { return {QString::fromLatin1(text), {}, false, false, false}; }
TSearchRequest cased(const char *text) { return {QString::fromLatin1(text), {}, true, false, false}; }
TSearchRequest words(const char *text) { return {QString::fromLatin1(text), {}, false, true, false}; }
TSearchRequest regex(const char *text) { return {QString::fromLatin1(text), {}, false, false, true}; }
const MatchCase kMatches[] = {
    {"Plain", "int count;", 0, plain("count"), TSearchMatch{4, 5}},
    {"IgnoresCase", "int Count;", 0, plain("count"), TSearchMatch{4, 5}},
    {"CaseSensitive", "int Count; count", 0, cased("count"), TSearchMatch{11, 5}},
    {"FromAnOffset", "ab ab ab", 1, plain("ab"), TSearchMatch{3, 2}},
    {"AtTheOffset", "ab ab ab", 3, plain("ab"), TSearchMatch{3, 2}},
    {"NoneLeft", "ab ab", 4, plain("ab"), std::nullopt},
    {"WholeWordSkipsParts", "counter count", 0, words("count"), TSearchMatch{8, 5}},
    {"WholeWordOfSymbols", "a+=b", 0, words("+="), TSearchMatch{1, 2}},
    {"RegexIsLiteralWhenOff", "a.c abc", 0, plain("a.c"), TSearchMatch{0, 3}},
    {"RegexSkipsLiteral", "axc a.c", 0, regex("a\\.c"), TSearchMatch{4, 3}},
    {"RegexClass", "x = 0x1F;", 0, regex("0x[0-9A-F]+"), TSearchMatch{4, 4}},
    {"EmptyMatchesAreNoMatches", "abc", 0, regex("x*"), std::nullopt},
    {"EmptyMatchesSkippedForARealOne", "abxxc", 0, regex("x*"), TSearchMatch{2, 2}},
    {"HighBytes", "caf\xE9 \xE9t\xE9", 0, plain("\xC9T"), TSearchMatch{5, 2}},
    {"InvalidPattern", "abc", 0, regex("a("), std::nullopt},
    {"EmptyText", "abc", 0, plain(""), std::nullopt},
    {"OffsetPastTheEnd", "abc", 9, plain("a"), std::nullopt},
};
class FindMatch : public ::testing::TestWithParam<MatchCase> {};
TEST_P(FindMatch, FirstMatchAtOrAfterTheOffset)
{
    const MatchCase &c = GetParam();
    EXPECT_EQ(find_match(QString::fromLatin1(c.text), c.from, c.request), c.match);
}
INSTANTIATE_TEST_SUITE_P(All, FindMatch, ::testing::ValuesIn(kMatches),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(FindReplacement, GroupsOnlyWithARegularExpression)
{
    TSearchRequest request = regex("(\\w+)=(\\w+)");
    request.replacement = QStringLiteral("\\2=\\1 \\\\ \\x");
    const QString text = QStringLiteral("  a=bc;");
    const std::optional<TSearchMatch> match = find_match(text, 0, request);
    ASSERT_TRUE(match);
    EXPECT_EQ(replacement_for(text, *match, request), QStringLiteral("bc=a \\ \\x"));
    request.regular_expression = false;
    EXPECT_EQ(replacement_for(text, *match, request), request.replacement);
    QString error;
    EXPECT_FALSE(find_match(text, 0, regex("(["), &error));
    EXPECT_FALSE(error.isEmpty());
}

// The dialog is filled and its button pressed as the user would.
auto find_script(const char *text, TfrmFindText::Command command, const char *with = "")
{
    return [=](QDialog &shown) {
        auto &dialog = dynamic_cast<TfrmFindText &>(shown);
        dialog.cbxFind->setEditText(QString::fromLatin1(text));
        dialog.edtReplace->setText(QString::fromLatin1(with));
        switch (command) {
        case TfrmFindText::Command::None:
            dialog.btnCancel->click();
            return;
        case TfrmFindText::Command::FindNext:
            dialog.btnFindNext->click();
            return;
        case TfrmFindText::Command::Replace:
            dialog.btnReplace->click();
            return;
        case TfrmFindText::Command::ReplaceAll:
            dialog.btnReplaceAll->click();
            return;
        }
    };
}

TEST_F(FileCommands, FindSelectsTheNextMatchAndFindNextRepeats)
{
    TfrmEdit *editor = Open("a.c", "x = 1;\nint x2 = x;\n");
    EXPECT_TRUE(Enabled(Main().actFind));
    m_shell.modal = find_script("X", TfrmFindText::Command::FindNext);
    Main().actFind->trigger();
    EXPECT_EQ(Selected(editor), "x");
    int line = 0, column = 0;
    editor->Editor()->getCursorPosition(&line, &column);
    EXPECT_EQ(line, 0);
    Main().actFindNext->trigger();
    editor->Editor()->getCursorPosition(&line, &column);
    EXPECT_EQ(line, 1);
    EXPECT_EQ(column, 5) << "the selection ends after the x of x2";
    Main().actFindNext->trigger();
    editor->Editor()->getCursorPosition(&line, &column);
    EXPECT_EQ(column, 10) << "the x after the equals sign";
    EXPECT_TRUE(m_boxes.shown.empty());
    Main().actFindNext->trigger();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "Search string 'X' not found");
    EXPECT_EQ(Selected(editor), "x") << "the last match stays selected";
}

TEST_F(FileCommands, FindNextWithoutASearchOpensTheDialog)
{
    TfrmEdit *editor = Open("a.c", "abc\n");
    int shown = 0;
    m_shell.modal = [&](QDialog &dialog) {
        ++shown;
        find_script("c", TfrmFindText::Command::FindNext)(dialog);
    };
    Main().actFindNext->trigger();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(Selected(editor), "c");
}

TEST_F(FileCommands, ReplaceAllCountsAndIsOneUndoStep)
{
    TfrmEdit *editor = Open("a.c", "count = count + counter;\n");
    m_shell.modal = [](QDialog &shown) {
        auto &dialog = dynamic_cast<TfrmFindText &>(shown);
        dialog.cbxFind->setEditText(QStringLiteral("count"));
        dialog.edtReplace->setText(QStringLiteral("n"));
        dialog.chkWholeWords->setChecked(true);
        dialog.btnReplaceAll->click();
    };
    Main().actReplace->trigger();
    EXPECT_EQ(editor->Text(), "n = n + counter;\n");
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "2 occurrences of 'count' replaced.");
    Main().actUndo->trigger();
    EXPECT_EQ(editor->Text(), "count = count + counter;\n");
}

TEST_F(FileCommands, ReplaceTakesTheSelectedMatchAndMovesOn)
{
    TfrmEdit *editor = Open("a.c", "a1 a2 a3\n");
    m_shell.modal = find_script("a", TfrmFindText::Command::FindNext);
    Main().actFind->trigger();
    m_shell.modal = find_script("a", TfrmFindText::Command::Replace, "b");
    Main().actReplace->trigger();
    EXPECT_EQ(editor->Text(), "b1 a2 a3\n");
    EXPECT_EQ(editor->Editor()->selectedText(), "a") << "the next match is selected";
    Main().actReplace->trigger();
    EXPECT_EQ(editor->Text(), "b1 b2 a3\n");
}

TEST_F(FileCommands, InvalidPatternIsToldAndChangesNothing)
{
    TfrmEdit *editor = Open("a.c", "a(b\n");
    m_shell.modal = [](QDialog &shown) {
        auto &dialog = dynamic_cast<TfrmFindText &>(shown);
        dialog.cbxFind->setEditText(QStringLiteral("a("));
        dialog.edtReplace->setText(QStringLiteral("z"));
        dialog.chkRegularExpression->setChecked(true);
        dialog.btnReplaceAll->click();
    };
    Main().actReplace->trigger();
    EXPECT_EQ(editor->Text(), "a(b\n");
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text.rfind("'a(' is not a valid regular expression: ", 0), 0u);
}

TEST_F(FileCommands, ReplaceAllInAReadOnlyTextReplacesNothing)
{
    TfrmEdit *editor = Open("a.c", "aaa\n");
    editor->SetReadOnly(true);
    m_shell.modal = find_script("a", TfrmFindText::Command::ReplaceAll, "b");
    Main().actReplace->trigger();
    EXPECT_EQ(editor->Text(), "aaa\n");
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_NE(m_boxes.shown[0].text.find("read-only"), std::string::npos);
}

// ---- go to line and the error walk ---------------------------------------------------------------

TEST_F(FileCommands, GoToLineOneScrollsTheFirstLineIntoView)
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "line " + std::to_string(i) + "\n";
    TfrmEdit *editor = Open("long.c", text);
    editor->Editor()->setCursorPosition(250, 3);
    editor->Editor()->ensureLineVisible(250);
    ASSERT_GT(editor->Editor()->firstVisibleLine(), 0);
    m_shell.modal = [](QDialog &shown) {
        auto &dialog = dynamic_cast<TfrmLineNumber &>(shown);
        dialog.edtLineNumber->setText(QStringLiteral("1"));
        dialog.Button1->click();
    };
    Main().actGoto->trigger();
    int line = -1, column = -1;
    editor->Editor()->getCursorPosition(&line, &column);
    EXPECT_EQ(line, 0);
    EXPECT_EQ(column, 0);
    EXPECT_EQ(editor->Editor()->firstVisibleLine(), 0);
}

TEST_F(FileCommands, GoToLineCancelledMovesNothing)
{
    TfrmEdit *editor = Open("a.c", "a\nb\nc\n");
    editor->Editor()->setCursorPosition(2, 0);
    m_shell.modal = [](QDialog &shown) {
        auto &dialog = dynamic_cast<TfrmLineNumber &>(shown);
        dialog.edtLineNumber->setText(QStringLiteral("1"));
        dialog.Button2->click();
    };
    Main().actGoto->trigger();
    int line = -1, column = -1;
    editor->Editor()->getCursorPosition(&line, &column);
    EXPECT_EQ(line, 2);
}

TEST_F(FileCommands, ErrorWalkOnlyWhileTheMessagesWindowShows)
{
    EXPECT_FALSE(Enabled(Main().actNextError));
    new_message_record(kMsgKindError, 1, 1, "%s", "first");
    new_message_record(kMsgKindError, 2, 1, "%s", "second");
    new_message_record(kMsgKindError, 3, 1, "%s", "third");
    TfrmMessages *messages = Main().ShowMessagesWindow();
    ASSERT_NE(messages, nullptr);
    EXPECT_TRUE(Enabled(Main().actNextError));
    EXPECT_TRUE(Enabled(Main().actPreviousError));
    ASSERT_EQ(messages->lbxMessages->currentRow(), 0);
    Main().actNextError->trigger();
    Main().actNextError->trigger();
    EXPECT_EQ(messages->lbxMessages->currentRow(), 2);
    Main().actPreviousError->trigger();
    EXPECT_EQ(messages->lbxMessages->currentRow(), 1);
    messages->CloseWindow();
    Settle();
    EXPECT_FALSE(Enabled(Main().actNextError));
    EXPECT_FALSE(Enabled(Main().actPreviousError));
}

} // namespace
