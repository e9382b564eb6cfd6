// The project's remembered and open files: the numbered section names, reading the remembered
// files up to the limit and the first gap, skipping vanished files, writing and reopening the
// open editor windows in order, and a project file that cannot be written.
#include "settings/guiProjects.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "IniFile.h"
#include "ProjectFixture.h"
#include "settings/guiKXPreferences.h"

namespace fs = std::filesystem;

namespace {

// The main window as the file lists see it: editors to report, files it was asked to open.
class RecordingProjectWindow : public TProjectWindowHost {
public:
    std::vector<sEditInfo> editors;
    std::vector<sEditInfo> opened;
    std::vector<sEditInfo> OpenEditors() override { return editors; }
    void OpenFileFromEditInfo(const sEditInfo &info) override { opened.push_back(info); }
};

class ProjectFileLists : public ProjectFixture {
protected:
    RecordingProjectWindow window;

    void SetUp() override
    {
        ProjectFixture::SetUp();
        set_project_window_host(&window);
    }
    void TearDown() override
    {
        set_project_window_host(nullptr);
        ProjectFixture::TearDown();
    }

    // A source file that exists; its path.
    std::string source(const std::string &name) const
    {
        fs::create_directories(dir / "src");
        const fs::path path = dir / "src" / name;
        std::ofstream(path) << "main(){}\n";
        return path.string();
    }
    // The lines of one remembered file's section.
    static std::string mru_section(int k, const std::string &path, int x = 0)
    {
        const std::string s = numbered_section("MRU", k);
        return "[" + s + "]\n" + s + " Path=" + path + "\n" + s + " X=" + std::to_string(x) +
               "\n";
    }
    static std::vector<std::string> mru_paths()
    {
        std::vector<std::string> paths;
        for (int i = 0; i < MruCount(); ++i)
            paths.push_back(MruGetEntry(i, false)->path);
        return paths;
    }
    static sEditInfo editor(const std::string &path, int n)
    {
        sEditInfo e;
        e.path = path;
        e.left = 10 * n;
        e.top = 11 * n;
        e.width = 300 + n;
        e.height = 200 + n;
        e.window_state = n % 3;
        e.caret_line = 40 + n;
        e.caret_column = 50 + n;
        e.top_line = 60 + n;
        e.left_column = 70 + n;
        return e;
    }
};

struct NameCase {
    const char *name;
    const char *prefix;
    int k;
    const char *section;
};

const NameCase kNames[] = {
    {"mru_1_has_a_blank", "MRU", 1, "MRU 1"},
    {"mru_9", "MRU", 9, "MRU 9"},
    {"mru_10_has_none", "MRU", 10, "MRU10"},
    {"open_file_1", "OpenFile", 1, "OpenFile 1"},
    {"open_file_10", "OpenFile", 10, "OpenFile10"},
    {"open_file_99", "OpenFile", 99, "OpenFile99"},
    {"open_file_100_in_full", "OpenFile", 100, "OpenFile100"},
    {"open_file_1234_in_full", "OpenFile", 1234, "OpenFile1234"},
};

class SectionName : public ::testing::TestWithParam<NameCase> {};

} // namespace

TEST_P(SectionName, IsThePrefixAndTheNumberAsTwoCharactersOrMore)
{
    EXPECT_EQ(numbered_section(GetParam().prefix, GetParam().k), GetParam().section);
}

INSTANTIATE_TEST_SUITE_P(All, SectionName, ::testing::ValuesIn(kNames),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ProjectFileLists, RemembersFilesUpToTheLimitFromTheHighestNumberDown)
{
    std::string text = "[MRU Files]\nFileCount=25\n";
    std::vector<std::string> files;
    for (int k = 1; k <= 25; ++k) {
        files.push_back(source("f" + std::to_string(k) + ".c"));
        text += mru_section(k, files.back(), k);
    }
    IdePreferences().mru_file_limit = 10;
    load_text(text);
    ASSERT_EQ(MruCount(), 10) << "entries 11 to 25 are not read";
    EXPECT_EQ(mru_paths().front(), files[0]) << "entry 1 at the front";
    EXPECT_EQ(mru_paths().back(), files[9]);
    EXPECT_EQ(MruGetEntry(0, false)->left, 1);
}

TEST_F(ProjectFileLists, AnEmptyPathEndsTheRemembersFilesAndAVanishedFileIsSkipped)
{
    const std::string one = source("one.c"), two = source("two.c"), four = source("four.c");
    const std::string five = source("five.c");
    const std::string text = "[MRU Files]\nFileCount=6\n" + mru_section(1, one) +
                             mru_section(2, two) + mru_section(3, "") + mru_section(4, four) +
                             mru_section(5, (dir / "src" / "gone.c").string()) +
                             mru_section(6, five);
    const std::string path = write("p.kxp", crlf(text));
    load(path);
    EXPECT_EQ(mru_paths(), (std::vector<std::string>{four, five}))
        << "entries 2 and 1 lie behind the gap; the vanished file is skipped";
    gProject->WriteMru();
    EXPECT_EQ(key(path, "MRU Files", "FileCount"), "2");
    EXPECT_EQ(key(path, "MRU 1", "MRU 1 Path"), four);
    EXPECT_EQ(key(path, "MRU 2", "MRU 2 Path"), five);
    EXPECT_TRUE(boxes().empty()) << box_texts();
}

// Every key of a remembered file; its left column is not stored.
TEST_F(ProjectFileLists, ARememberedFileKeepsItsWindowThroughASaveAndALoad)
{
    const std::string path = write("p.kxp", "");
    gProject = std::make_unique<TKXProject>(path);
    const sEditInfo e = editor(source("a.c"), 4);
    MruAddEntry(e);
    gProject->WriteMru();
    EXPECT_EQ(key(path, "MRU 1", "MRU 1 Top Row"), "64") << "the top line";
    EXPECT_EQ(key(path, "MRU 1", "MRU 1 Cursor Row"), "44");
    EXPECT_EQ(key(path, "MRU 1", "MRU 1 Left Col"), "(missing)");
    MruClear();
    load(path);
    ASSERT_EQ(MruCount(), 1);
    sEditInfo expected = e;
    expected.left_column = 0;
    EXPECT_EQ(*MruGetEntry(0, false), expected);
}

TEST_F(ProjectFileLists, OpenEditorsAreWrittenInOrderAndReopenedLastFirst)
{
    const std::string path = write("p.kxp", "");
    gProject = std::make_unique<TKXProject>(path);
    for (int n = 1; n <= 3; ++n)
        window.editors.push_back(editor(source("e" + std::to_string(n) + ".c"), n));
    gProject->WriteMru();
    EXPECT_EQ(key(path, "Open Files", "Number Open"), "3");
    EXPECT_EQ(key(path, "OpenFile 1", "OpenFile 1 Path"), window.editors[0].path);
    EXPECT_EQ(key(path, "OpenFile 3", "OpenFile 3 Path"), window.editors[2].path);
    EXPECT_EQ(key(path, "OpenFile 2", "OpenFile 2 Top Col"), "62") << "the top line";
    EXPECT_EQ(key(path, "OpenFile 2", "OpenFile 2 Top Row"), "72") << "the left column";
    EXPECT_EQ(key(path, "OpenFile 2", "OpenFile 2 WindowState"), "2");

    window.editors.clear();
    load(path);
    ASSERT_EQ(window.opened.size(), 3u);
    EXPECT_EQ(window.opened[0], editor(window.opened[0].path, 3)) << "entry 3 opens first";
    EXPECT_EQ(window.opened[1], editor(window.opened[1].path, 2));
    EXPECT_EQ(window.opened[2], editor(window.opened[2].path, 1)) << "entry 1 ends in front";
}

TEST_F(ProjectFileLists, OpenFilesStopAtAGapAndSkipVanishedFiles)
{
    const std::string a = source("a.c"), c = source("c.c");
    load_text("[Open Files]\nNumber Open=4\n[OpenFile 1]\nOpenFile 1 Path=" + a +
              "\n[OpenFile 2]\nOpenFile 2 Path=\n[OpenFile 3]\nOpenFile 3 Path=" + c +
              "\n[OpenFile 4]\nOpenFile 4 Path=" + (dir / "src" / "gone.c").string() + "\n");
    ASSERT_EQ(window.opened.size(), 1u);
    EXPECT_EQ(window.opened[0].path, c);
}

// A hundred editors and more: their sections keep apart.
TEST_F(ProjectFileLists, EditorsFromTheHundredthOnGetTheirWholeNumber)
{
    const std::string path = write("p.kxp", "");
    gProject = std::make_unique<TKXProject>(path);
    const std::string file = source("same.c");
    for (int n = 1; n <= 101; ++n)
        window.editors.push_back(editor(file, n));
    gProject->WriteMru();
    EXPECT_EQ(key(path, "Open Files", "Number Open"), "101");
    EXPECT_EQ(key(path, "OpenFile99", "OpenFile99 X"), "990");
    EXPECT_EQ(key(path, "OpenFile100", "OpenFile100 X"), "1000");
    EXPECT_EQ(key(path, "OpenFile101", "OpenFile101 X"), "1010");
    window.editors.clear();
    load(path);
    ASSERT_EQ(window.opened.size(), 101u);
    EXPECT_EQ(window.opened.front().left, 1010);
    EXPECT_EQ(window.opened.back().left, 10);
}

// A save writes the lists; a count that shrinks leaves the old sections, which are not read.
TEST_F(ProjectFileLists, ASaveWritesTheListsAndTheCountsDecideWhatIsRead)
{
    const std::string a = source("a.c"), b = source("b.c");
    const std::string path = write("p.kxp", crlf("[MRU Files]\nFileCount=2\n" +
                                                  mru_section(1, a) + mru_section(2, b)));
    load(path);
    ASSERT_EQ(MruCount(), 2);
    MruRemoveEntry(MruFindFile(b));
    gProject->Save();
    EXPECT_EQ(key(path, "MRU Files", "FileCount"), "1");
    EXPECT_EQ(key(path, "MRU 2", "MRU 2 Path"), b) << "left in the file";
    EXPECT_EQ(key(path, "Open Files", "Number Open"), "0");
    load(path);
    EXPECT_EQ(mru_paths(), (std::vector<std::string>{a}));
}

TEST_F(ProjectFileLists, AReadOnlyProjectFileIsReportedOnce)
{
    const std::string path = write("p.kxp", "");
    gProject = std::make_unique<TKXProject>(path);
    for (const char *name : {"a.c", "b.c"})
        MruAddEntry(editor(source(name), 1));
    window.editors = {editor(source("c.c"), 2)};
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write |
                              fs::perms::others_write, fs::perm_options::remove);
    gProject->WriteMru();
    ASSERT_EQ(boxes().size(), 1u) << box_texts();
    EXPECT_EQ(boxes()[0].caption, "Error");
    EXPECT_NE(boxes()[0].text.find(path), std::string::npos);
    EXPECT_EQ(bytes(path), "") << "nothing written";
}
