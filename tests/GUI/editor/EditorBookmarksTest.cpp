// Bookmarks: the popup menus, the ".bmk" file beside the source, and what a damaged one does.
#include "GuiHarness.h"
#include "FifoGuard.h"

#include <QAction>
#include <QMenu>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Thirteen lines of ten bytes.
std::string thirteen_lines()
{
    std::string text;
    for (int i = 0; i < 13; ++i)
        text += "line " + std::to_string(100 + i) + "..\n";
    return text;
}

class EditorBookmarks : public GuiTest {
protected:
    TfrmEdit *Open(const std::string &name = "b.c")
    {
        if (!fs::exists(Path(name)))
            Write(name, thirteen_lines());
        TfrmEdit *editor = Main().OpenFile(Path(name));
        EXPECT_NE(editor, nullptr);
        return editor;
    }
    // The menu item "Bookmark &<digit>" of a bookmark submenu.
    static QAction *Item(QMenu *menu, int digit)
    {
        for (QAction *action : menu->actions())
            if (action->text() == QString("Bookmark &%1").arg(digit))
                return action;
        return nullptr;
    }
    void Close(TfrmEdit *editor)
    {
        editor->CloseDecided();
        Settle();
    }
};

// "Bookmark &0" is number 10: alone at column 4 of line 12 it is one line "10,4,12", ended by
// CR LF; opening the file again brings it back, with the caret on it.
TEST_F(EditorBookmarks, MenuBookmarkZeroIsNumberTenInTheFileAndComesBack)
{
    TfrmEdit *editor = Open();
    editor->Editor()->setCursorPosition(12, 4);
    ASSERT_NE(Item(editor->ToggleBookmarkMenu, 0), nullptr);
    Item(editor->ToggleBookmarkMenu, 0)->trigger();
    EXPECT_EQ(editor->MarkerState().Bookmark(10), (TTextPosition{12, 4}));
    EXPECT_FALSE(editor->IsModified());
    Close(editor);
    EXPECT_EQ(Read(Path("b.bmk")), "10,4,12\r\n");

    editor = Open();
    EXPECT_EQ(editor->MarkerState().Bookmark(10), (TTextPosition{12, 4}));
    editor->Editor()->setCursorPosition(0, 0);
    Item(editor->GotoBookmarkMenu, 0)->trigger();
    EXPECT_EQ(editor->GetCaretPosition(), pack_position(12, 4));
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(EditorBookmarks, SeveralAreWrittenInNumberOrderAndToggleOff)
{
    TfrmEdit *editor = Open();
    editor->Editor()->setCursorPosition(5, 1);
    Item(editor->ToggleBookmarkMenu, 7)->trigger();
    editor->Editor()->setCursorPosition(2, 0);
    Item(editor->ToggleBookmarkMenu, 3)->trigger();
    editor->Editor()->setCursorPosition(9, 9);
    Item(editor->ToggleBookmarkMenu, 5)->trigger();
    Item(editor->ToggleBookmarkMenu, 5)->trigger(); // off again where it is
    editor->Editor()->setCursorPosition(3, 0);
    Item(editor->ToggleBookmarkMenu, 3)->trigger(); // elsewhere: moves
    Close(editor);
    EXPECT_EQ(Read(Path("b.bmk")), "3,0,3\r\n7,1,5\r\n");
}

TEST_F(EditorBookmarks, ClosingWithNoneRemovesTheOldFile)
{
    Write("b.bmk", "4,0,1\r\n");
    TfrmEdit *editor = Open();
    ASSERT_TRUE(editor->MarkerState().Bookmark(4));
    editor->Editor()->setCursorPosition(1, 0);
    Item(editor->ToggleBookmarkMenu, 4)->trigger();
    Close(editor);
    EXPECT_FALSE(fs::exists(Path("b.bmk")));
}

TEST_F(EditorBookmarks, FileNeverSavedWritesNone)
{
    TfrmEdit *editor = Main().OpenFile(Path("new.c"));
    ASSERT_NE(editor, nullptr);
    Item(editor->ToggleBookmarkMenu, 1)->trigger();
    editor->MarkUnmodified();
    Close(editor);
    EXPECT_FALSE(fs::exists(Path("new.bmk")));
}

// Both sources of one base name in a folder share its bookmark file, named in the path's own
// case.
TEST_F(EditorBookmarks, SourcesOfOneBaseNameShareTheFile)
{
    Write("Main.C", thirteen_lines());
    Write("Main.LIB", thirteen_lines());
    TfrmEdit *c = Open("Main.C");
    TfrmEdit *lib = Open("Main.LIB");
    EXPECT_EQ(c->BookmarkFileName(), Path("Main.bmk"));
    EXPECT_EQ(lib->BookmarkFileName(), Path("Main.bmk"));
    EXPECT_EQ(TfrmEdit(&Main(), "dir\\Sub.c").BookmarkFileName(), "dir/Sub.bmk");
}

// A bookmark follows its line when lines are put in above it.
TEST_F(EditorBookmarks, BookmarkFollowsItsLine)
{
    TfrmEdit *editor = Open();
    editor->Editor()->setCursorPosition(6, 2);
    Item(editor->ToggleBookmarkMenu, 2)->trigger();
    editor->Editor()->setCursorPosition(0, 0);
    Type(editor, "\n\n");
    EXPECT_EQ(editor->MarkerState().Bookmark(2), (TTextPosition{8, 2}));
}

TEST_F(EditorBookmarks, AFailedWriteKeepsTheOldFile)
{
    Write("b.bmk", "1,0,0\r\n");
    TfrmEdit *editor = Open();
    editor->Editor()->setCursorPosition(4, 4);
    Item(editor->ToggleBookmarkMenu, 2)->trigger();
    fs::permissions(m_dir, fs::perms::owner_write | fs::perms::group_write |
                               fs::perms::others_write, fs::perm_options::remove);
    const bool writable = access(m_dir.c_str(), W_OK) == 0;
    Close(editor);
    fs::permissions(m_dir, fs::perms::owner_write, fs::perm_options::add);
    if (writable)
        GTEST_SKIP() << "this user writes any folder: a failing write cannot be made";
    EXPECT_EQ(Read(Path("b.bmk")), "1,0,0\r\n");
}

// A FIFO or a link to a device in the bookmarks' place: the source opens without waiting for
// a writer or reading without end, with no bookmarks, and closing leaves it what it was.
TEST_F(EditorBookmarks, AFifoOrDeviceInTheirPlaceIsNeitherWaitedForNorReplaced)
{
    ASSERT_EQ(::mkfifo(Path("b.bmk").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", Path("z.bmk"));
    for (const char *name : {"b", "z"}) {
        FifoGuard guard(Path("b.bmk"));
        TfrmEdit *editor = Open(std::string(name) + ".c");
        EXPECT_TRUE(guard.Stop()) << name << ": the editor waited for a writer";
        ASSERT_NE(editor, nullptr);
        EXPECT_FALSE(editor->MarkerState().Bookmark(1).has_value()) << name;
        editor->Editor()->setCursorPosition(4, 4);
        Item(editor->ToggleBookmarkMenu, 2)->trigger();
        Close(editor);
    }
    EXPECT_EQ(fs::symlink_status(Path("b.bmk")).type(), fs::file_type::fifo);
    EXPECT_EQ(fs::read_symlink(Path("z.bmk")), "/dev/zero");
}

// A place past the text's end or past its line's end is taken to the nearest place there is.
TEST_F(EditorBookmarks, HugePlaceIsTakenToTheNearestPlace)
{
    Write("b.bmk", "2,2000000000,2000000000\r\n5,50,3\r\n");
    TfrmEdit *editor = Open();
    EXPECT_EQ(editor->MarkerState().Bookmark(2), (TTextPosition{13, 0}));
    EXPECT_EQ(editor->MarkerState().Bookmark(5), (TTextPosition{3, 10}));
    EXPECT_EQ(editor->GetCaretPosition(), pack_position(3, 10)) << "left at the last one read";
    EXPECT_TRUE(m_boxes.shown.empty());
}

struct DamageCase {
    const char *name;
    const char *file;
    int kept;              // how many bookmarks (numbers 1, 2, ...) were read
    const char *why;       // in the warning; empty: no warning
};
const DamageCase kDamage[] = {
    {"MissingField", "1,0,1\r\n2,3\r\n3,0,3\r\n", 1, "line 2: it needs three numbers"},
    {"NotANumber", "1,0,1\r\n2,x,2\r\n", 1, "line 2: 'x' is not a whole number"},
    {"BlankInANumber", "1, 0,1\r\n", 0, "line 1: ' 0' is not a whole number"},
    {"NumberAboveTen", "1,0,1\r\n11,0,2\r\n", 1, "line 2: there is no bookmark 11"},
    {"NegativeNumber", "-1,0,1\r\n", 0, "line 1: there is no bookmark -1"},
    {"NegativePlace", "1,0,1\r\n2,-4,2\r\n", 1, "line 2: a column or line cannot be negative"},
    {"TooLargeForANumber", "1,0,1\r\n2,0,99999999999\r\n", 1,
     "line 2: '99999999999' is not a whole number"},
    {"ExtraField", "1,0,1\r\n2,0,2,9\r\n", 1, "line 2: it holds more than three fields"},
    {"BlankLinesAreSkipped", "1,0,1\r\n\r\n2,0,2\n", 2, ""},
};
class EditorBookmarkDamage : public EditorBookmarks,
                             public ::testing::WithParamInterface<DamageCase> {};

// The window opens; the bookmarks before the damaged line are kept and a warning names it.
TEST_P(EditorBookmarkDamage, EarlierBookmarksKeptAndTheWindowOpens)
{
    const DamageCase &c = GetParam();
    Write("b.bmk", c.file);
    TfrmEdit *editor = Open();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(Main().Editors().size(), 1u);
    for (int number = 1; number <= 3; ++number)
        EXPECT_EQ(editor->MarkerState().Bookmark(number).has_value(), number <= c.kept)
            << "bookmark " << number;
    if (*c.why) {
        ASSERT_EQ(m_boxes.shown.size(), 1u);
        EXPECT_NE(m_boxes.shown[0].text.find(c.why), std::string::npos) << m_boxes.shown[0].text;
        EXPECT_NE(m_boxes.shown[0].text.find(Path("b.bmk")), std::string::npos);
        EXPECT_EQ(m_boxes.shown[0].caption, "Warning");
    } else {
        EXPECT_TRUE(m_boxes.shown.empty());
    }
}
INSTANTIATE_TEST_SUITE_P(All, EditorBookmarkDamage, ::testing::ValuesIn(kDamage),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
