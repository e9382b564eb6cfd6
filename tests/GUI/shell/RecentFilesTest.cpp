// The recently-used files on the File menu, a project's open files reopened and written from
// the main window's editors, and combo box histories on Qt's combo box.
#include "GuiHarness.h"

#include <QComboBox>
#include <QMdiArea>
#include <QMenu>
#include <QTest>

#include <filesystem>
#include <memory>

#include "IniFile.h"
#include "controls/guiComboHistory.h"
#include "settings/guiEnvironment.h"
#include "settings/guiMru.h"
#include "shell/guiMruMenu.h"
#include "settings/guiProjects.h"

namespace {

namespace fs = std::filesystem;

class RecentFiles : public GuiTest {
protected:
    // The File menu's items after the separator, as captions.
    QStringList NumberedItems()
    {
        QMenu *menu = Main().FileMenu();
        const QList<QAction *> items = menu->actions();
        QStringList captions;
        for (qsizetype i = MruSeparatorIndexOf(menu) + 1; i < items.size(); ++i)
            captions << items[i]->text();
        return captions;
    }
    // Opens the File menu as a click would.
    void OpenFileMenu() { emit Main().FileMenu()->aboutToShow(); }
    QAction *Item(int n)
    {
        QMenu *menu = Main().FileMenu();
        return menu->actions().at(MruSeparatorIndexOf(menu) + n);
    }
    static EditorState Remembered(const std::string &path)
    {
        EditorState state;
        state.path = path;
        state.left = 15;
        state.top = 25;
        state.width = 320;
        state.height = 210;
        state.caret_line = 1;
        state.caret_column = 2;
        return state;
    }
};

TEST_F(RecentFiles, TheFileMenuShowsTenOfTwelveEntriesNumberedAfterItsLastSeparator)
{
    for (int i = 1; i <= 12; ++i)
        m_store.mru.push_back(Remembered(Path("f" + std::to_string(i) + ".c")));
    OpenFileMenu();
    const QStringList items = NumberedItems();
    ASSERT_EQ(items.size(), 10);
    EXPECT_EQ(items.front(), QString::fromStdString("&1 " + Path("f1.c")));
    EXPECT_EQ(items[8], QString::fromStdString("&9 " + Path("f9.c")));
    EXPECT_EQ(items.back(), QString::fromStdString("1&0 " + Path("f10.c")));
    EXPECT_EQ(m_store.separator_index, MruSeparatorIndexOf(Main().FileMenu()))
        << "the list counts menu indices from the same separator";
    // Opened again with a shorter list: the items follow the list.
    m_store.mru.resize(2);
    OpenFileMenu();
    EXPECT_EQ(NumberedItems().size(), 2);
    m_store.mru.clear();
    OpenFileMenu();
    EXPECT_TRUE(NumberedItems().empty());
    EXPECT_EQ(Main().FileMenu()->actions().size(), MruSeparatorIndexOf(Main().FileMenu()) + 1);
}

TEST_F(RecentFiles, ChoosingAnItemOpensTheFileAsItWasAndTakesItsEntryOff)
{
    const std::string path = Write("r.c", "l0\nl1 abc\n");
    m_store.mru = {Remembered(path)};
    OpenFileMenu();
    Item(1)->trigger();
    ASSERT_EQ(Main().Editors().size(), 1u);
    TfrmEdit *editor = Main().Editors()[0];
    EXPECT_EQ(editor->geometry(), QRect(15, 25, 320, 210));
    EXPECT_EQ(editor->GetCaretPosition(), pack_position(1, 2));
    EXPECT_TRUE(m_store.mru.empty());
}

TEST_F(RecentFiles, ChoosingTheItemOfADeletedFileDoesNothingAndKeepsIt)
{
    const std::string path = Write("gone.c", "x\n");
    m_store.mru = {Remembered(path)};
    OpenFileMenu();
    fs::remove(path);
    Item(1)->trigger();
    EXPECT_TRUE(Main().Editors().empty());
    ASSERT_EQ(m_store.mru.size(), 1u);
    OpenFileMenu();
    EXPECT_EQ(NumberedItems().size(), 1);
    EXPECT_TRUE(m_boxes.shown.empty());
}

// The item holds its own copy of the path: the list may change between the menu's opening and
// the choice.
TEST_F(RecentFiles, AnItemOutlivesItsEntry)
{
    const std::string path = Write("a.c", "a\n");
    m_store.mru = {Remembered(path)};
    OpenFileMenu();
    QAction *item = Item(1);
    m_store.mru.clear();
    item->trigger();
    ASSERT_EQ(Main().Editors().size(), 1u);
    EXPECT_EQ(Main().Editors()[0]->FileName(), path);
}

// With the program's own store: a project's open files come back in their editors, the first
// one in front, and the project writes them back front first.
class ProjectOpenFiles : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        set_ide_store(nullptr);
        reset_projects();
    }
    void TearDown() override
    {
        reset_projects();
        GuiTest::TearDown();
    }
    static std::string Section(int k, const std::string &path, int top_line, int caret_line)
    {
        const std::string s = numbered_section("OpenFile", k);
        return "[" + s + "]\r\n" + s + " Path=" + path + "\r\n" + s + " X=" +
               std::to_string(10 * k) + "\r\n" + s + " Y=" + std::to_string(5 * k) + "\r\n" +
               s + " W=300\r\n" + s + " H=200\r\n" + s + " Top Col=" +
               std::to_string(top_line) + "\r\n" + s + " Cursor Row=" +
               std::to_string(caret_line) + "\r\n";
    }
};

TEST_F(ProjectOpenFiles, AreReopenedWithTheFirstInFrontAndWrittenBackFrontFirst)
{
    std::string text;
    for (int line = 0; line < 80; ++line)
        text += "line " + std::to_string(line) + "\n";
    const std::string one = Write("one.c", text), two = Write("two.c", text);
    const std::string three = Write("three.c", text);
    const std::string project =
        Write("p.kxp", "[MRU Files]\r\nFileCount=1\r\n[MRU 1]\r\nMRU 1 Path=" + two +
                           "\r\n[Open Files]\r\nNumber Open=3\r\n" + Section(1, one, 20, 30) +
                           Section(2, two, 0, 0) + Section(3, three, 0, 5));
    Main();
    gProject = std::make_unique<TKXProject>(project);
    gProject->ReadMruOpenFiles();
    ASSERT_EQ(Main().Editors().size(), 3u);
    EXPECT_EQ(Main().Editors()[0]->FileName(), three) << "the last entry opens first";
    auto *active = dynamic_cast<TfrmEdit *>(Main().Workspace()->activeSubWindow());
    ASSERT_NE(active, nullptr);
    EXPECT_EQ(active->FileName(), one) << "entry 1 ends in front";
    EXPECT_EQ(active->geometry(), QRect(10, 5, 300, 200));
    EXPECT_EQ(active->Editor()->firstVisibleLine(), 20);
    EXPECT_EQ(active->GetCaretPosition(), pack_position(30, 0));
    EXPECT_EQ(MruCount(), 0) << "opening two took its entry off";

    // Brought to the front, three becomes the first open file.
    Main().Workspace()->setActiveSubWindow(Main().Editors()[0]);
    gProject->WriteMru();
    const IniFile ini(project);
    EXPECT_EQ(ini.read_string("Open Files", "Number Open", ""), "3");
    EXPECT_EQ(ini.read_string("OpenFile 1", "OpenFile 1 Path", ""), three);
    EXPECT_EQ(ini.read_string("OpenFile 2", "OpenFile 2 Path", ""), one);
    EXPECT_EQ(ini.read_string("OpenFile 2", "OpenFile 2 Top Col", ""), "20") << "the top line";
    EXPECT_EQ(ini.read_string("OpenFile 3", "OpenFile 3 Path", ""), two);
    EXPECT_EQ(ini.read_string("MRU Files", "FileCount", ""), "0");
}

// The file named on the command line is open before the project's files are reopened: the
// project's entry for it opens no second window.
TEST_F(ProjectOpenFiles, AFileAlreadyOpenIsNotOpenedTwice)
{
    const std::string one = Write("one.c", "int a;\n"), two = Write("two.c", "int b;\n");
    const std::string project = Write("p.kxp", "[Open Files]\r\nNumber Open=2\r\n" +
                                                   Section(1, one, 0, 0) + Section(2, two, 0, 0));
    ASSERT_NE(Main().OpenFile(one), nullptr);
    gProject = std::make_unique<TKXProject>(project);
    gProject->ReadMruOpenFiles();
    ASSERT_EQ(Main().Editors().size(), 2u);
    EXPECT_EQ(Main().Editors()[0]->FileName(), one);
    EXPECT_EQ(Main().Editors()[1]->FileName(), two);
}

// Closing an editor puts its file at the front of the real list, which the File menu shows.
TEST_F(ProjectOpenFiles, AClosedEditorComesBackOnTheFileMenu)
{
    const std::string a = Write("a.c", "a\n"), b = Write("b.c", "b\n");
    Main().OpenFile(a);
    Main().OpenFile(b);
    for (TfrmEdit *editor : Main().Editors())
        editor->CloseDecided();
    Settle();
    emit Main().FileMenu()->aboutToShow();
    QMenu *menu = Main().FileMenu();
    const QList<QAction *> items = menu->actions();
    const int separator = MruSeparatorIndexOf(menu);
    ASSERT_EQ(items.size(), separator + 3);
    EXPECT_EQ(items.back()->text(), QString::fromStdString("&2 " + a)) << "a closed first";
    EXPECT_EQ(MruFindFile(b), separator + 1) << "the front entry is the first item";
    EXPECT_EQ(MruFindFile(a), separator + 2);
    items.back()->trigger();
    ASSERT_EQ(Main().Editors().size(), 1u);
    EXPECT_EQ(Main().Editors()[0]->FileName(), a);
    EXPECT_EQ(MruCount(), 1);
    EXPECT_EQ(MruFindFile(b), separator + 1);
}

// ---- combo box histories --------------------------------------------------------------------

class ComboHistories : public GuiTest {
protected:
    QComboBox box;
    void SetUp() override
    {
        GuiTest::SetUp();
        set_settings_registry_path(Path("registry.kxreg"));
        box.setEditable(true);
        box.addItems({"form 1", "form 2"});
    }
    void TearDown() override
    {
        set_settings_registry_path("");
        GuiTest::TearDown();
    }
    QStringList Items() const
    {
        QStringList items;
        for (int i = 0; i < box.count(); ++i)
            items << box.itemText(i);
        return items;
    }
    static void MakePersonality()
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key("Personality"), true));
        ASSERT_TRUE(reg.flush());
    }
};

TEST_F(ComboHistories, WithoutTheKeyTheBoxKeepsItsItemsAndWithoutTheValueItEmpties)
{
    LoadComboHistory(&box, "DumpAt addresses");
    EXPECT_EQ(Items(), (QStringList{"form 1", "form 2"}));
    EXPECT_FALSE(TKXRegistry().key_exists(settings_key("Personality"))) << "never created";
    MakePersonality();
    LoadComboHistory(&box, "DumpAt addresses");
    EXPECT_TRUE(Items().isEmpty());
    EXPECT_EQ(box.currentIndex(), -1);
    LoadComboHistory(nullptr, "DumpAt addresses");
    SaveComboHistory(nullptr, "DumpAt addresses", 10);
}

TEST_F(ComboHistories, ASavedTextGoesToTheTopAndComesBackSelected)
{
    box.clear();
    box.addItems({"0x100", "main", "0xE000"});
    box.setCurrentIndex(1);
    SaveComboHistory(&box, "Jump addresses", 10);
    EXPECT_EQ(Items(), (QStringList{"main", "0x100", "0xE000"}));
    EXPECT_EQ(box.currentIndex(), 0);
    box.setEditText("MAIN");
    SaveComboHistory(&box, "Jump addresses", 2);
    EXPECT_EQ(Items(), (QStringList{"MAIN", "0x100"})) << "new spelling, cut to two";

    QComboBox other;
    other.setEditable(true);
    LoadComboHistory(&other, "Jump addresses");
    EXPECT_EQ(other.count(), 2);
    EXPECT_EQ(other.itemText(0), "MAIN");
    EXPECT_EQ(other.currentIndex(), 0);
    EXPECT_EQ(other.currentText(), "MAIN");
}

TEST_F(ComboHistories, AStoredIndexPastTheEndSelectsNothing)
{
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key("Personality"), true));
        ASSERT_TRUE(reg.write_string("GrepText", "a\r\nb\r\nc\r\n"));
        ASSERT_TRUE(reg.write_integer("GrepText Index", 25));
        ASSERT_TRUE(reg.flush());
    }
    LoadComboHistory(&box, "GrepText");
    EXPECT_EQ(Items(), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(box.currentIndex(), -1);
}

} // namespace
