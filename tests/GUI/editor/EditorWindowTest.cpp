// The editor window: caption, status panels, colouring, closing with unsaved text, opening the
// file named at the cursor.
#include "GuiHarness.h"
#include "FifoGuard.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QStatusBar>
#include <QTest>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "driver/CC_GO.h"
#include "core/CC_MISC.h"
#include "editor/KorvexLexer.h"
#include "settings/guiKXPreferences.h"

namespace {

namespace fs = std::filesystem;

class EditorWindow : public GuiTest {
protected:
    QString Panel(int i) { return Main().StatusPanel(i)->text(); }
};

// Maximized: the name part, with " *" while modified; restored: the whole path. Both as the
// file system spells them (an upper-cased path would name another file here).
TEST_F(EditorWindow, CaptionFollowsStateAndModifiedMark)
{
    const std::string path = Write("Counter.c", "int a;\n");
    TfrmEdit *editor = Main().OpenFile(path);
    editor->showMaximized();
    EXPECT_EQ(editor->windowTitle(), "Counter.c");
    Type(editor, "x");
    EXPECT_EQ(editor->windowTitle(), "Counter.c *");
    ASSERT_TRUE(Main().SaveFile(editor));
    EXPECT_EQ(editor->windowTitle(), "Counter.c");
    editor->showNormal();
    EXPECT_EQ(editor->windowTitle(), QString::fromStdString(path));
    EXPECT_EQ(editor->FileName(), path);
    Type(editor, "y");
    EXPECT_EQ(editor->windowTitle(), QString::fromStdString(path + " *"));
    // The main window's caption is the project's alone: a maximized editor keeps its name in
    // its own title bar, and nothing repeats.
    Main().SetMainWindowTitle();
    const QString title = Main().windowTitle();
    editor->showMaximized();
    Settle();
    EXPECT_EQ(Main().windowTitle(), title);
    EXPECT_FALSE(QGuiApplication::applicationDisplayName().contains(title)) << "appended again";
}

// The error line's mark: light enough that its text stays readable, taken by an edit of that
// line (not of another) and by the next compile; it leaves a maximized editor maximized.
TEST_F(EditorWindow, ErrorLineMarkIsReadableAndGoesWhenTheLineIsEdited)
{
    TfrmEdit *editor = Main().OpenFile(Write("e.c", "int a;\nint b c;\nint d;\n"));
    editor->showMaximized();
    editor->SetErrorLine(1);
    const QColor paper = TfrmEdit::ErrorLinePaper();
    EXPECT_GT(paper.lightness(), 180) << "dark text on it stays readable";
    Settle();
    EXPECT_TRUE(editor->isMaximized());
    editor->Editor()->setCursorPosition(2, 0);
    Type(editor, "x");
    EXPECT_EQ(editor->ErrorLine(), 1) << "an edit of another line keeps the mark";
    editor->Editor()->setCursorPosition(1, 5);
    Type(editor, ",");
    EXPECT_EQ(editor->ErrorLine(), -1);
}

// A new editor with nothing remembered: 80 columns and 25 lines of its font when the editors
// are not maximized, maximized when the current one is.
TEST_F(EditorWindow, NewEditorsShowEightyColumnsOrFollowTheMaximizedOne)
{
    Main().resize(1200, 900);
    Main().show();
    Settle();
    TfrmEdit *first = Main().OpenFile(Write("one.c", "int a;\n"));
    Settle();
    const QsciScintilla *memo = first->Editor();
    const long char_width = memo->SendScintilla(QsciScintillaBase::SCI_TEXTWIDTH,
                                                QsciScintillaBase::STYLE_DEFAULT, "M");
    const long line_height = memo->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0UL);
    EXPECT_GE(memo->viewport()->width(), 80 * char_width) << "80 columns";
    EXPECT_GE(memo->viewport()->height(), 25 * line_height) << "25 lines";
    EXPECT_GT(first->width(), 230);
    first->showMaximized();
    Settle();
    TfrmEdit *second = Main().OpenFile(Write("two.c", "int b;\n"));
    Settle();
    EXPECT_TRUE(second->isMaximized());
    second->showNormal();
    Settle();
    TfrmEdit *third = Main().OpenFile(Write("three.c", "int c;\n"));
    Settle();
    EXPECT_FALSE(third->isMaximized()) << "the last current editor was restored";
}

// Panels 1-4 show caret, modified and insert state; they are permanent widgets, so a status
// tip does not hide them.
TEST_F(EditorWindow, StatusPanelsShowCaretModifiedAndInsertState)
{
    Main();
    EXPECT_EQ(Panel(1), "Line:");
    EXPECT_EQ(Panel(2), "Col:");
    TfrmEdit *editor = Main().OpenFile(Write("p.c", "ab\ncd\n"));
    editor->Editor()->setCursorPosition(1, 1);
    Settle(); // the caret is reported when the memo updates its view
    EXPECT_EQ(Panel(1), "Line: 2");
    EXPECT_EQ(Panel(2), "Col: 2");
    EXPECT_EQ(Panel(3), "");
    Type(editor, "z");
    Settle();
    EXPECT_EQ(Panel(3), "Modified");
    EXPECT_EQ(Panel(2), "Col: 3");
    QTest::keyClick(editor->Editor(), Qt::Key_Insert);
    EXPECT_EQ(Panel(4), "Overwrite");
    QTest::keyClick(editor->Editor(), Qt::Key_Insert);
    EXPECT_EQ(Panel(4), "Insert");
    Main().statusBar()->showMessage("a status tip");
    for (int i = 1; i <= 4; ++i)
        EXPECT_TRUE(Main().StatusPanel(i)->isVisible()) << "panel " << i;
    ASSERT_TRUE(Main().SaveFile(editor));
    EXPECT_EQ(Panel(3), "");
}

TEST_F(EditorWindow, LockedPanelKeepsItsText)
{
    Main().SetStatusPanelText("kept", 7);
    Main().LockStatusPanel(7, true);
    Main().SetStatusText("Sending Read Request");
    EXPECT_EQ(Panel(7), "kept");
    Main().LockStatusPanel(7, false);
    Main().SetStatusText("Sending Read Request");
    EXPECT_EQ(Panel(7), "Sending Read Request");
}

struct ColourCase {
    const char *name;
    const char *types;
    const char *file;
    bool coloured;
};
const ColourCase kColours[] = {
    {"UpperCaseC", "c;lib;h;hh", "MAIN.C", true},
    {"MixedCaseLib", "c;lib;h;hh", "x.Lib", true},
    {"TextIsPlain", "c;lib;h;hh", "notes.txt", false},
    {"NoExtensionIsPlain", "c;lib;h;hh", "Makefile", false},
    {"StarColoursText", "c;*", "notes.txt", true},
    {"StarColoursAnything", "*", "data.bin", true},
};
class Colouring : public GuiTest, public ::testing::WithParamInterface<ColourCase> {};

TEST_P(Colouring, ByExtension)
{
    IdePreferences().syntax_file_types = GetParam().types;
    SetSourceExtensions(GetParam().types);
    TfrmEdit *editor = Main().OpenFile(Write(GetParam().file, "int x; // note\n"));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->HasSyntaxParser(), GetParam().coloured);
    editor->Editor()->SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0UL, -1L);
    const long style = editor->Editor()->SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, 0UL);
    const long comment = editor->Editor()->SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, 9UL);
    if (GetParam().coloured) {
        EXPECT_EQ(style, kStyleReservedWord);
        EXPECT_EQ(comment, kStyleComment);
    }
    // Every editor shows the modified mark, coloured or not.
    Type(editor, "q");
    EXPECT_TRUE(editor->windowTitle().endsWith(" *"));
}
INSTANTIATE_TEST_SUITE_P(All, Colouring, ::testing::ValuesIn(kColours),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(EditorWindow, ReadOnlyAndSyntaxActionsToggle)
{
    TfrmEdit *editor = Main().OpenFile(Write("t.c", "int t;\n"));
    editor->actReadOnly->trigger();
    EXPECT_TRUE(editor->Editor()->isReadOnly());
    Type(editor, "x");
    EXPECT_EQ(editor->Text(), "int t;\n");
    editor->actReadOnly->trigger();
    EXPECT_FALSE(editor->Editor()->isReadOnly());
    EXPECT_TRUE(editor->HasSyntaxParser());
    editor->actUseSyntaxParser->trigger();
    EXPECT_FALSE(editor->HasSyntaxParser());
    editor->actUseSyntaxParser->trigger();
    EXPECT_TRUE(editor->HasSyntaxParser());
}

// Closing with two modified editors asks about each; Cancel keeps every window open, every file
// as it was, and saves no settings.
TEST_F(EditorWindow, CloseAsksEveryEditorAndCancelChangesNothing)
{
    const std::string a = Write("a.c", "a\n"), b = Write("b.c", "b\n");
    TfrmEdit *ea = Main().OpenFile(a);
    TfrmEdit *eb = Main().OpenFile(b);
    Type(ea, "1");
    Type(eb, "2");
    m_boxes.answers = {kIdYes, kIdCancel};
    EXPECT_FALSE(Main().close());
    ASSERT_EQ(m_boxes.shown.size(), 2u);
    EXPECT_EQ(m_boxes.shown[0].text, "Save changes to '" + b + "'?");
    EXPECT_EQ(m_boxes.shown[1].text, "Save changes to '" + a + "'?");
    for (const auto &shown : m_boxes.shown) {
        EXPECT_EQ(shown.caption, "Korvex");
        EXPECT_EQ(shown.flags, kMbYesNoCancel | kMbIconExclamation);
    }
    EXPECT_TRUE(Main().isVisible());
    EXPECT_EQ(Main().Editors().size(), 2u);
    EXPECT_EQ(Read(a), "a\n");
    EXPECT_EQ(Read(b), "b\n");
    EXPECT_TRUE(ea->IsModified());
    EXPECT_EQ(m_store.saves, 0);
    EXPECT_EQ(m_store.project_saves, 0);

    m_boxes.shown.clear();
    m_boxes.answers = {kIdYes, kIdNo};
    EXPECT_TRUE(Main().close());
    EXPECT_EQ(m_boxes.shown.size(), 2u);
    EXPECT_EQ(Read(b), "2b\n");
    EXPECT_EQ(Read(a), "a\n");
    EXPECT_EQ(m_store.saves, 1);
    Settle();
    EXPECT_TRUE(Main().Editors().empty());
}

// Two editors on one text are asked about once.
TEST_F(EditorWindow, SharedTextIsAskedAboutOnce)
{
    const std::string a = Write("a.c", "a\n");
    TfrmEdit *first = Main().OpenFile(a);
    Main().OpenFile(a);
    Type(first, "1");
    m_boxes.answers = {kIdNo};
    EXPECT_TRUE(Main().close());
    EXPECT_EQ(m_boxes.shown.size(), 1u);
}

TEST_F(EditorWindow, EditorCloseCancelKeepsItOpenAndModified)
{
    TfrmEdit *editor = Main().OpenFile(Write("c.c", "c\n"));
    Type(editor, "x");
    m_boxes.answers = {kIdCancel};
    EXPECT_FALSE(editor->close());
    EXPECT_TRUE(editor->IsModified());
    EXPECT_EQ(Main().Editors().size(), 1u);
    m_boxes.answers = {kIdYes};
    EXPECT_TRUE(editor->close());
    EXPECT_EQ(Read(Path("c.c")), "xc\n");
}

// Yes with a save that fails keeps the window and its text.
TEST_F(EditorWindow, EditorCloseWithAFailedSaveStaysOpen)
{
    const std::string path = Write("ro.c", "old\n");
    TfrmEdit *editor = Main().OpenFile(path);
    Type(editor, "x");
    fs::permissions(path, fs::perms::owner_read);
    m_boxes.answers = {kIdYes};
    EXPECT_FALSE(editor->close());
    EXPECT_TRUE(editor->IsModified());
    EXPECT_EQ(Main().Editors().size(), 1u);
}

class OpenAtCursor : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        set_program_directory(Path("prog") + "/");
        fs::create_directories(Path("prog"));
        m_other = Write("elsewhere/libs/X.LIB", "/* the library */\n");
        Write("prog/Lib.dir", "lib/NOTHERE.LIB\r\n" + m_other + "\r\n");
        set_libraries_file(Path("prog/Lib.dir"));
    }
    void TearDown() override
    {
        set_libraries_file("");
        GuiTest::TearDown();
    }
    std::string m_other;
};

// Ctrl+Enter inside the quoted name of a "#use" opens the library of that name through the
// libraries list, though it lies in another folder and its name differs in case.
TEST_F(OpenAtCursor, CtrlEnterOpensTheLibraryFromTheList)
{
    TfrmEdit *editor = Main().OpenFile(Write("main.c", "#use \"x.lib\"\nmain(){}\n"));
    editor->Editor()->setCursorPosition(0, 8);
    // The shortcut belongs to the window that has the focus, as when the user types.
    Main().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
    editor->Editor()->setFocus();
    QTest::keyClick(editor->Editor(), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_EQ(Main().Editors().size(), 2u);
    EXPECT_EQ(Main().Editors()[1]->FileName(), m_other);
    EXPECT_EQ(Main().Editors()[1]->Text(), "/* the library */\n");
    EXPECT_EQ(editor->Text(), "#use \"x.lib\"\nmain(){}\n"); // no line break typed
    EXPECT_TRUE(m_dialogs.requests.empty());
}

TEST_F(OpenAtCursor, ProgramFolderFileComesFirst)
{
    const std::string own = Write("prog/x.lib", "own\n");
    TfrmEdit *editor = Main().OpenFile(Write("main.c", "#use \"x.lib\"\n"));
    editor->Editor()->setCursorPosition(0, 7);
    editor->OpenFileAtCursor();
    ASSERT_EQ(Main().Editors().size(), 2u);
    EXPECT_EQ(Main().Editors()[1]->FileName(), own);
}

TEST_F(OpenAtCursor, UnknownNameRunsTheOpenDialog)
{
    TfrmEdit *editor = Main().OpenFile(Write("main.c", "#use \"nowhere.lib\"\n"));
    editor->Editor()->setCursorPosition(0, 9);
    const std::string picked = Write("picked.c", "p\n");
    m_dialogs.choices.push_back({picked});
    editor->OpenFileAtCursor();
    ASSERT_EQ(m_dialogs.requests.size(), 1u);
    EXPECT_EQ(m_dialogs.requests[0].title, "Open");
    EXPECT_TRUE(m_dialogs.requests[0].multi_select);
    EXPECT_EQ(m_dialogs.requests[0].filter_index, 3);
    ASSERT_EQ(Main().Editors().size(), 2u);
    EXPECT_EQ(Main().Editors()[1]->FileName(), picked);
}

TEST_F(OpenAtCursor, NameInTheCurrentFolder)
{
    const std::string here = Write("here.h", "h\n");
    TfrmEdit *editor = Main().OpenFile(Write("main.c", "#include \"here.h\"\n"));
    editor->Editor()->setCursorPosition(0, 12);
    editor->OpenFileAtCursor();
    ASSERT_EQ(Main().Editors().size(), 2u);
    EXPECT_TRUE(TfrmMainWindow::IsSameFile(Main().Editors()[1]->FileName(), here));
}

// An empty name would name the program folder itself, and a folder is no file: neither opens,
// the open dialog asks instead.
TEST_F(OpenAtCursor, EmptyNameOrAFolderNameOpensOnlyTheDialog)
{
    fs::create_directories(Path("prog/sub"));
    TfrmEdit *editor = Main().OpenFile(Write("main.c", "#use \"\"\n#use \"sub\"\n"));
    for (int line : {0, 1}) {
        editor->Editor()->setCursorPosition(line, 6 + line);
        editor->OpenFileAtCursor();
    }
    EXPECT_EQ(m_dialogs.requests.size(), 2u);
    EXPECT_EQ(Main().Editors().size(), 1u);
    EXPECT_TRUE(m_boxes.shown.empty());
}

// An exception inside a Qt entry point is shown and stops there: the window stays and works.
TEST_F(EditorWindow, ExceptionInAnEventHandlerIsShownAndContained)
{
    TfrmEdit *editor = Main().OpenFile(Write("e.c", "e\n"));
    m_store.fail = [](const std::string &call) {
        if (call == "MruAddEditor")
            throw std::runtime_error("list is full");
    };
    EXPECT_FALSE(editor->close());
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    EXPECT_NE(m_boxes.shown[0].text.find("Internal error."), std::string::npos);
    EXPECT_EQ(Main().Editors().size(), 1u);
    m_store.fail = nullptr;
    EXPECT_TRUE(editor->close());
}

// What File Open may be handed besides a source: none of it is read (a FIFO without a writer
// would hold the IDE, a device would be read until memory ran out), one box names it and why,
// no editor opens, and it stays what it was.
struct NotASourceRow {
    const char *name;
    void (*make)(const fs::path &path);
    const char *why;
};

const NotASourceRow kNotASource[] = {
    {"Folder", [](const fs::path &p) { fs::create_directory(p); }, "It is a folder."},
    {"Fifo", [](const fs::path &p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
     "It is not an ordinary file (a FIFO, socket or device)."},
    {"LinkToDevZero", [](const fs::path &p) { fs::create_symlink("/dev/zero", p); },
     "It is not an ordinary file (a FIFO, socket or device)."},
    {"TooLarge",
     [](const fs::path &p) {
         std::ofstream(p) << "int x;";
         fs::resize_file(p, kEditorMaxFileBytes + 1);
     },
     "It is larger than 64 MB."},
};

class EditorNotASource : public EditorWindow, public ::testing::WithParamInterface<NotASourceRow> {};

TEST_P(EditorNotASource, IsNamedInOneBoxAndNotOpened)
{
    const std::string path = Path("x.c");
    GetParam().make(path);
    const fs::file_type before = fs::symlink_status(path).type();
    FifoGuard guard(path);
    EXPECT_EQ(Main().OpenFile(path), nullptr);
    EXPECT_TRUE(guard.Stop()) << "File Open waited for a writer";
    EXPECT_TRUE(Main().Editors().empty());
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "Cannot open file '" + path + "'.\n" + GetParam().why);
    EXPECT_EQ(fs::symlink_status(path).type(), before);
}

INSTANTIATE_TEST_SUITE_P(All, EditorNotASource, ::testing::ValuesIn(kNotASource),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
