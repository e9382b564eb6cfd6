// Editors and their files: byte-exact loading and saving, the files that cannot be read or
// written, two editors on one file, finding editors, and the source lines the compiler reads.
#include "GuiHarness.h"

#include <QMdiArea>
#include <QTest>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <sstream>

#include "input/CC_GLINE.h"
#include "core/CC_MISC.h"
#include "settings/guiEnvironment.h"
#include "settings/guiKXPreferences.h"

namespace {

namespace fs = std::filesystem;

std::string all_bytes()
{
    std::string s;
    for (int i = 0; i < 256; ++i)
        s.push_back(static_cast<char>(i));
    return s;
}

struct BytesCase {
    const char *name;
    std::string bytes;
};
const BytesCase kBytes[] = {
    {"Lf", "int a;\nint b;\n"},
    {"CrLf", "int a;\r\nint b;\r\n"},
    {"NoLastNewline", "int a;\nint b;"},
    {"HighBytes", "char *s = \"\x80\xA9\xFF\";\n"},
    {"Nul", std::string("a\0b\n\0\0\n", 7)},
    {"LongLine", std::string(100000, 'x') + "\n"},
    {"Binary", all_bytes() + all_bytes()},
    {"Empty", ""},
};

class ByteExact : public GuiTest, public ::testing::WithParamInterface<BytesCase> {};

// Opened, served to the compiler and saved again, the file keeps every byte.
TEST_P(ByteExact, LoadServeAndSaveKeepEveryByte)
{
    const std::string &bytes = GetParam().bytes;
    const std::string path = Write("f.c", bytes);
    TfrmEdit *editor = Main().OpenFile(path);
    ASSERT_NE(editor, nullptr);
    EXPECT_FALSE(editor->IsModified());
    EXPECT_EQ(editor->Text(), bytes);
    // The compile's two paths: the editor adapter's text, and the line service.
    TEditorInterface *adapter = GetEditorInterfaceForFile(path);
    ASSERT_NE(adapter, nullptr);
    std::ostringstream out;
    adapter->WriteText(out);
    EXPECT_EQ(out.str(), bytes);
    gMainWindowInterface->SetCurrentSourceFile(QBString(path.c_str()));
    const std::vector<std::string> lines = split_source_lines(bytes);
    ASSERT_EQ(gMainWindowInterface->GetSourceLineCount(), static_cast<int>(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(gMainWindowInterface->GetSourceLine(static_cast<int>(i) + 1), lines[i])
            << "line " << i + 1;
    // An edit undone leaves the text modified; saving writes the same bytes.
    Type(editor, "q");
    editor->Editor()->SendScintilla(QsciScintillaBase::SCI_DELETEBACK);
    EXPECT_TRUE(editor->IsModified());
    std::remove(path.c_str());
    Write("f.c", "old");
    ASSERT_TRUE(Main().SaveFile(editor));
    EXPECT_EQ(Read(path), bytes);
    EXPECT_FALSE(editor->IsModified());
}

INSTANTIATE_TEST_SUITE_P(All, ByteExact, ::testing::ValuesIn(kBytes),
                         [](const auto &i) { return std::string(i.param.name); });

class EditorFiles : public GuiTest {};

TEST_F(EditorFiles, ReadOnlyFileIsNeverSaved)
{
    const std::string path = Write("ro.c", "old\n");
    TfrmEdit *editor = Main().OpenFile(path);
    Type(editor, "new ");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_FALSE(Main().SaveFile(editor));
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].caption, "File Save Error");
    EXPECT_EQ(m_boxes.shown[0].text, "Unable to save readonly file \"" + path + "\"");
    EXPECT_EQ(Read(path), "old\n");
    EXPECT_TRUE(editor->IsModified());
}

TEST_F(EditorFiles, NeverSavedFileGoesToSaveAs)
{
    const std::string path = Path("new.c");
    TfrmEdit *editor = Main().OpenFile(path);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->Text(), "");
    Type(editor, "int n;");
    const std::string chosen = Path("chosen.lib");
    m_dialogs.choices.push_back({chosen});
    EXPECT_TRUE(Main().SaveFile(editor));
    ASSERT_EQ(m_dialogs.requests.size(), 1u);
    EXPECT_EQ(m_dialogs.requests[0].kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(m_dialogs.requests[0].file_name, path);
    EXPECT_EQ(Read(chosen), "int n;");
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(editor->FileName(), chosen);
    EXPECT_EQ(editor->ShortName(), "chosen.lib");
    EXPECT_FALSE(editor->IsModified());
    EXPECT_TRUE(editor->HasSyntaxParser());
}

TEST_F(EditorFiles, SaveAsCancelledKeepsEverything)
{
    TfrmEdit *editor = Main().OpenFile(Path("new.c"));
    Type(editor, "x");
    EXPECT_FALSE(Main().SaveFile(editor)); // no choice scripted: the dialog is cancelled
    EXPECT_EQ(editor->FileName(), Path("new.c"));
    EXPECT_TRUE(editor->IsModified());
}

// A folder, or a file that cannot be read, opens nothing; a box names it and says why.
TEST_F(EditorFiles, FolderOpensNothing)
{
    fs::create_directories(Path("dir.c"));
    EXPECT_EQ(Main().OpenFile(Path("dir.c")), nullptr);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    EXPECT_EQ(m_boxes.shown[0].text.rfind("Cannot open file '" + Path("dir.c") + "'.\n", 0), 0u);
    EXPECT_TRUE(Main().Editors().empty());
}

TEST_F(EditorFiles, UnreadableFileOpensNothing)
{
    const std::string locked = Write("locked.c", "secret");
    fs::permissions(locked, fs::perms::none);
    if (std::FILE *f = std::fopen(locked.c_str(), "rb")) {
        std::fclose(f);
        GTEST_SKIP() << "this user reads any file: an unreadable file cannot be made";
    }
    EXPECT_EQ(Main().OpenFile(locked), nullptr);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_NE(m_boxes.shown[0].text.find("Permission denied"), std::string::npos);
    EXPECT_TRUE(Main().Editors().empty());
}

// A write that fails part-way (the file-size limit stands in for a full disk) leaves the old
// file whole, no scratch file behind, and the editor modified.
TEST_F(EditorFiles, FailedSaveLeavesTheOldFileWhole)
{
    const std::string path = Write("big.c", "old text\n");
    TfrmEdit *editor = Main().OpenFile(path);
    editor->Editor()->insert(QString(2000, 'x'));
    struct rlimit old_limit {};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit;
    small.rlim_cur = 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool saved = Main().SaveFile(editor);
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(Read(path), "old text\n");
    EXPECT_TRUE(editor->IsModified());
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].caption, "File Save Error");
    EXPECT_NE(m_boxes.shown[0].text.find(path), std::string::npos);
    // The settings store's file (and its lock), which the harness keeps here, do not count.
    const std::string store = fs::path(settings_registry_path()).filename().string();
    std::vector<std::string> files;
    for (const auto &entry : fs::directory_iterator(m_dir))
        if (entry.path().filename().string().rfind(store, 0) != 0)
            files.push_back(entry.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"big.c"});
}

TEST_F(EditorFiles, SaveKeepsModeAndLinks)
{
    const std::string target = Write("real.c", "old\n");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write |
                                fs::perms::group_read);
    fs::create_symlink("real.c", Path("link.c"));
    TfrmEdit *editor = Main().OpenFile(Path("link.c"));
    Type(editor, "new ");
    ASSERT_TRUE(Main().SaveFile(editor));
    EXPECT_TRUE(fs::is_symlink(Path("link.c")));
    EXPECT_EQ(Read(target), "new old\n");
    EXPECT_EQ(fs::status(target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// Saving clears the undo history unless "Undo After Save" keeps it.
TEST_F(EditorFiles, UndoAfterSaveSetting)
{
    const std::string path = Write("u.c", "");
    for (bool keep : {false, true}) {
        IdePreferences().undo_after_save = keep;
        TfrmEdit *editor = Main().OpenFile(path);
        Type(editor, "z");
        ASSERT_TRUE(Main().SaveFile(editor));
        EXPECT_EQ(editor->Editor()->isUndoAvailable(), keep);
        editor->CloseDecided();
        Settle();
    }
}

// The same file opened twice: two editors over one text; an edit in one marks both.
TEST_F(EditorFiles, SameFileTwiceSharesOneDocument)
{
    const std::string path = Write("a.c", "int a;\n");
    TfrmEdit *first = Main().OpenFile(path);
    TfrmEdit *second = Main().OpenFile("./a.c");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(first, second);
    EXPECT_EQ(first->Editor()->SendScintilla(QsciScintillaBase::SCI_GETDOCPOINTER),
              second->Editor()->SendScintilla(QsciScintillaBase::SCI_GETDOCPOINTER));
    Type(second, "x");
    EXPECT_TRUE(first->IsModified());
    EXPECT_TRUE(second->IsModified());
    EXPECT_TRUE(first->windowTitle().endsWith(" *"));
    EXPECT_TRUE(second->windowTitle().endsWith(" *"));
    EXPECT_EQ(first->Text(), "xint a;\n");
    // Closing one leaves the other with the text.
    second->CloseDecided();
    Settle();
    EXPECT_EQ(first->Text(), "xint a;\n");
}

struct SameFileCase {
    const char *name;
    const char *a, *b;
    bool same;
};
const SameFileCase kSameFiles[] = {
    {"RelativeAndDotted", "a.c", "./a.c", true},
    {"AbsoluteAndRelative", "@/a.c", "a.c", true},
    {"OtherCase", "a.c", "A.c", false},
    {"GoneFolderIsNotHere", "/gone/a.c", "a.c", false},
    {"SymbolicLink", "a.c", "link.c", true},
    {"BackslashSeparator", "sub\\b.c", "sub/b.c", true},
    {"BothMissingSamePath", "new.c", "./new.c", true},
    {"BothMissingOtherPaths", "new.c", "other/new.c", false},
};
class SameFile : public GuiTest, public ::testing::WithParamInterface<SameFileCase> {};

// Same file: one file on disk, else the same absolute path; the current folder never moves.
TEST_P(SameFile, ComparesFilesNotNames)
{
    Write("a.c", "a");
    Write("A.c", "A");
    Write("sub/b.c", "b");
    fs::create_symlink("a.c", Path("link.c"));
    auto expand = [&](std::string s) {
        if (s.rfind("@", 0) == 0)
            s = m_dir.string() + s.substr(1);
        return s;
    };
    const fs::path cwd = fs::current_path();
    EXPECT_EQ(TfrmMainWindow::IsSameFile(expand(GetParam().a), expand(GetParam().b)),
              GetParam().same);
    EXPECT_EQ(fs::current_path(), cwd);
}
INSTANTIATE_TEST_SUITE_P(All, SameFile, ::testing::ValuesIn(kSameFiles),
                         [](const auto &i) { return std::string(i.param.name); });

// Two files whose names differ in case are two texts: neither editor shows the other's.
TEST_F(EditorFiles, NamesDifferingInCaseStayApart)
{
    Write("a.c", "lower\n");
    Write("A.c", "upper\n");
    TfrmEdit *lower = Main().OpenFile(Path("a.c"));
    TfrmEdit *upper = Main().OpenFile(Path("A.c"));
    EXPECT_EQ(lower->Text(), "lower\n");
    EXPECT_EQ(upper->Text(), "upper\n");
    EXPECT_EQ(Main().FindEditor(Path("A.c")), upper);
    EXPECT_EQ(Main().FindEditor(Path("a.c")), lower);
    // A name that matches only without case still finds an editor.
    EXPECT_NE(Main().FindEditor(upper_case(Path("a.c"))), nullptr);
}

TEST_F(EditorFiles, GetEditorForFileFlags)
{
    const std::string path = Write("g.c", "g");
    EXPECT_EQ(Main().GetEditorForFile(path, 0), nullptr); // flags 0 never open
    EXPECT_TRUE(Main().Editors().empty());
    Write("h.c", "h");
    TfrmEdit *h = Main().GetEditorForFile(Path("h.c"), 1);
    ASSERT_NE(h, nullptr);
    TfrmEdit *g = Main().GetEditorForFile(path, 2); // bit 1 opens ...
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(Main().Workspace()->activeSubWindow(), g);
    Main().Workspace()->setActiveSubWindow(h);
    EXPECT_EQ(Main().GetEditorForFile(path, 2), g); // ... and brings a found one to the front
    EXPECT_EQ(Main().Workspace()->activeSubWindow(), g);
    EXPECT_EQ(Main().GetEditorForFile(Path("h.c"), 0), h); // flags 0 still find
    EXPECT_EQ(Main().Workspace()->activeSubWindow(), g);
    EXPECT_EQ(Main().GetEditorForFile(Path("none.c"), 0), nullptr);
    // An empty name is the current source file.
    Main().SetCurrentFile(Path("h.c"));
    EXPECT_EQ(Main().GetEditorForFile("", 0), h);
    EXPECT_EQ(Main().Editors().size(), 2u);
}

// Without an editor the lines come from the file, read once while it stays the same.
TEST_F(EditorFiles, SourceLinesFromTheEditorElseTheFileOnce)
{
    const std::string path = Write("s.c", "one\ntwo\n");
    Main().SetCurrentFile(path);
    EXPECT_EQ(Main().GetSourceLineCount(), 2);
    for (int pass = 0; pass < 3; ++pass)
        for (int line = 1; line <= 2; ++line)
            Main().GetSourceLine(line);
    EXPECT_EQ(Main().GetSourceLine(2), "two");
    EXPECT_EQ(Main().FileLoads(), 1);
    TfrmEdit *editor = Main().OpenFile(path);
    Type(editor, "zero\n");
    EXPECT_EQ(Main().GetSourceLineCount(), 3);
    EXPECT_EQ(Main().GetSourceLine(1), "zero");
    EXPECT_EQ(Main().GetSourceLine(3), "two");
    EXPECT_EQ(Main().GetSourceLine(4), "");
    EXPECT_EQ(Main().GetSourceLine(0), "");
    EXPECT_EQ(Read(path), "one\ntwo\n");
}

// A recently-used entry restores placement and caret, and is taken off the list.
TEST_F(EditorFiles, RecentlyUsedEntryRestoresTheEditor)
{
    const std::string path = Write("r.c", "l0\nl1\nl2 abc\n");
    EditorState remembered;
    remembered.path = path;
    remembered.left = 10;
    remembered.top = 20;
    remembered.width = 300;
    remembered.height = 200;
    remembered.caret_line = 2;
    remembered.caret_column = 3;
    m_store.mru = {remembered};
    TfrmEdit *editor = Main().OpenFile(path);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->geometry(), QRect(10, 20, 300, 200));
    EXPECT_EQ(editor->GetCaretPosition(), pack_position(2, 3));
    EXPECT_TRUE(m_store.mru.empty());
    // Closed, it goes back on the list with its caret.
    editor->CloseDecided();
    Settle();
    ASSERT_EQ(m_store.mru.size(), 1u);
    EXPECT_EQ(m_store.mru[0].path, path);
    EXPECT_EQ(m_store.mru[0].caret_line, 2);
    // A remembered file that is gone opens nothing.
    std::remove(path.c_str());
    EXPECT_EQ(Main().OpenFile(path), nullptr);
}

} // namespace
