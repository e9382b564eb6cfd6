// The recently-used list: matching without regard to case, the limit of 30, closing editors of
// files that are gone, File-menu indices around the separator, the ten menu items and their
// captions.
#include "settings/guiMru.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class MruList : public ::testing::Test {
protected:
    fs::path dir;

    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("kx-mru-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        MruClear();
        SetMruSeparatorIndex(-1);
    }
    void TearDown() override
    {
        MruClear();
        SetMruSeparatorIndex(-1);
        fs::remove_all(dir);
    }

    // A file that exists; its path.
    std::string file(const std::string &name) const
    {
        const fs::path path = dir / name;
        std::ofstream(path) << name;
        return path.string();
    }
    static sEditInfo editor(const std::string &path, int caret_line = 0)
    {
        sEditInfo info;
        info.path = path;
        info.left = 10;
        info.top = 20;
        info.width = 300;
        info.height = 200;
        info.window_state = 2;
        info.caret_line = caret_line;
        info.caret_column = 4;
        info.top_line = 5;
        info.left_column = 6;
        return info;
    }
    static std::vector<std::string> paths()
    {
        std::vector<std::string> all;
        for (int i = 0; i < MruCount(); ++i)
            all.push_back(MruGetEntry(i, false)->path);
        return all;
    }
};

} // namespace

TEST_F(MruList, AClosingEditorGoesToTheFrontWithItsWindow)
{
    const std::string a = file("a.c"), b = file("b.c");
    MruAddEditor(editor(a));
    MruAddEditor(editor(b, 7));
    EXPECT_EQ(paths(), (std::vector<std::string>{b, a}));
    EXPECT_EQ(*MruGetEntry(0, false), editor(b, 7)) << "every field of the window kept";
    // Closing a again moves its entry: one entry per file.
    MruAddEditor(editor(a, 9));
    EXPECT_EQ(paths(), (std::vector<std::string>{a, b}));
    EXPECT_EQ(MruGetEntry(0, false)->caret_line, 9);
}

TEST_F(MruList, APathMatchesInAnyCaseAndWithEitherSeparator)
{
    const std::string path = file("Main.C");
    MruAddEditor(editor(path));
    std::string other = path;
    for (char &c : other)
        c = static_cast<char>(std::islower(static_cast<unsigned char>(c)) ? std::toupper(c)
                                                                          : std::tolower(c));
    EXPECT_EQ(MruFindFile(other), 0);
    std::string backslashed = path;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    EXPECT_EQ(MruFindFile(backslashed), 0);
    EXPECT_EQ(MruFindFile(path + "x"), -1);
    // Opening the file in another case takes its entry off.
    MruRemoveEntry(MruFindFile(other));
    EXPECT_EQ(MruCount(), 0);
}

TEST_F(MruList, ThirtyOneClosedEditorsKeepThirtyAndDropTheFirstClosed)
{
    std::vector<std::string> files;
    for (int i = 0; i < 31; ++i) {
        files.push_back(file("f" + std::to_string(i) + ".c"));
        MruAddEditor(editor(files.back()));
    }
    EXPECT_EQ(MruCount(), 30);
    EXPECT_EQ(MruFindFile(files[0]), -1) << "the first closed is dropped";
    EXPECT_EQ(MruFindFile(files[1]), 29);
    EXPECT_EQ(MruFindFile(files[30]), 0);
}

TEST_F(MruList, AnEditorOfADeletedFileLosesItsOldEntryAndAddsNone)
{
    const std::string a = file("a.c"), b = file("b.c");
    MruAddEditor(editor(a));
    MruAddEditor(editor(b));
    fs::remove(a);
    MruAddEditor(editor(a));
    EXPECT_EQ(paths(), (std::vector<std::string>{b}));
}

TEST_F(MruList, ProjectEntriesGoToTheFrontWhetherTheirFilesExistOrNot)
{
    // The project reader checks the files; the list takes what it is given.
    MruAddEntry(editor("/gone/one.c"));
    MruAddEntry(editor("/gone/two.c"));
    MruAddEntry(editor("/GONE/ONE.C"));
    EXPECT_EQ(paths(), (std::vector<std::string>{"/GONE/ONE.C", "/gone/two.c"}));
    for (int i = 0; i < 40; ++i)
        MruAddEntry(editor("/gone/" + std::to_string(i) + ".c"));
    EXPECT_EQ(MruCount(), 30);
    EXPECT_EQ(MruGetEntry(0, false)->path, "/gone/39.c");
    EXPECT_EQ(MruGetEntry(29, false)->path, "/gone/10.c");
}

// The File menu: separator at index 5, so the front entry is item 6.
TEST_F(MruList, MenuIndicesCountFromTheItemAfterTheSeparator)
{
    SetMruSeparatorIndex(5);
    for (const char *name : {"c.c", "b.c", "a.c"})
        MruAddEditor(editor(file(name)));
    EXPECT_EQ(MruFindFile((dir / "a.c").string()), 6);
    EXPECT_EQ(MruFindFile((dir / "c.c").string()), 8);
    EXPECT_EQ(MruGetEntry(7, true)->path, (dir / "b.c").string());
    EXPECT_EQ(MruGetEntry(1, false)->path, (dir / "b.c").string());
    EXPECT_FALSE(MruGetEntry(5, true)) << "the separator is no entry";
    EXPECT_FALSE(MruGetEntry(9, true)) << "past the end";
    EXPECT_FALSE(MruGetEntry(-1, false));
    MruRemoveEntry(5);
    MruRemoveEntry(-3);
    MruRemoveEntry(9);
    EXPECT_EQ(MruCount(), 3) << "nothing removed at or before the separator or past the end";
    MruRemoveEntry(7);
    EXPECT_EQ(paths(), (std::vector<std::string>{(dir / "a.c").string(), (dir / "c.c").string()}));
    MruClear();
    EXPECT_EQ(MruCount(), 0);
}

TEST_F(MruList, TheMenuShowsTenOfTwelveEntriesNumberedOneToTen)
{
    for (int i = 12; i >= 1; --i)
        MruAddEntry(editor("/p/" + std::to_string(i) + ".c"));
    const std::vector<std::string> items = MruMenuPaths();
    ASSERT_EQ(items.size(), 10u);
    EXPECT_EQ(items.front(), "/p/1.c");
    EXPECT_EQ(items.back(), "/p/10.c");
    EXPECT_EQ(MruMenuCaption(1, items.front()), "&1 /p/1.c");
    EXPECT_EQ(MruMenuCaption(9, "/p/9.c"), "&9 /p/9.c");
    EXPECT_EQ(MruMenuCaption(10, items.back()), "1&0 /p/10.c");
    MruClear();
    EXPECT_TRUE(MruMenuPaths().empty());
}
