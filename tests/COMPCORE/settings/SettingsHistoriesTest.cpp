// The small stores beside the settings: watch histories in files beside the sources, combo box
// histories, stored toolbar values and the dock states of the debug windows.
#include "settings/guiEnvironment.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FifoGuard.h"
#include "SettingsDoubles.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class Histories : public ::testing::Test {
protected:
    std::unique_ptr<SettingsSandbox> sandbox;
    fs::path dir;

    void SetUp() override
    {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        sandbox = std::make_unique<SettingsSandbox>("histories-" + name);
        dir = sandbox->config / "src";
        fs::create_directories(dir);
    }
    void TearDown() override { sandbox.reset(); }

    std::vector<HeadlessMessageBoxHost::Shown> &boxes()
    {
        return headless_message_box_host().shown;
    }
    // The store as a fresh reader sees it.
    std::string store_text() const { return TKXRegistry().serialize(); }
    // Writes values into a key of the store, as an earlier run left them.
    static void store(const std::string &section,
                      const std::function<void(TKXRegistry &)> &write)
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key(section), true));
        write(reg);
        ASSERT_TRUE(reg.flush());
    }
};

// ---- watch histories ------------------------------------------------------------------------

struct HistoryFileCase {
    const char *name;
    const char *source;
    const char *history;
};

const HistoryFileCase kHistoryFiles[] = {
    {"extension_replaced", "/w/src/main.c", "/w/src/main.DBG"},
    {"only_the_last_extension", "/w/src/main.x.c", "/w/src/main.x.DBG"},
    {"no_extension", "/w/src/main", "/w/src/main.DBG"},
    {"backslashes_accepted", "\\w\\src\\main.c", "/w/src/main.DBG"},
    {"dotted_folder", "/w/v1.2/main.c", "/w/v1.2/main.DBG"},
};

class HistoryFile : public ::testing::TestWithParam<HistoryFileCase> {};

TEST_P(HistoryFile, LiesBesideTheSource)
{
    EXPECT_EQ(WatchHistoryFile(GetParam().source), GetParam().history);
}

INSTANTIATE_TEST_SUITE_P(All, HistoryFile, ::testing::ValuesIn(kHistoryFiles),
                         [](const auto &i) { return std::string(i.param.name); });

struct LoadCase {
    const char *name;
    std::string file;
    Lines watches;
    Lines history;
};

const LoadCase kLoads[] = {
    {"both_lists", "Watch0=a\r\nWatch1=b+1\r\ncbWatch0=x\r\ncbWatch1=y\r\n", {"a", "b+1"},
     {"x", "y"}},
    {"gap_ends_the_watches", "Watch0=a\r\nWatch2=c\r\n", {"a"}, {}},
    {"only_watches", "Watch0=a\r\nWatch1=b\r\nWatch2=c", {"a", "b", "c"}, {}},
    {"only_history", "cbWatch0=x\r\ncbWatch1=y\r\n", {}, {"x", "y"}},
    {"value_keeps_later_equals", "Watch0=a==b\r\ncbWatch0=c=d\r\n", {"a==b"}, {"c=d"}},
    {"lf_and_cr_lines", "Watch0=a\nWatch1=b\rcbWatch0=x\n", {"a", "b"}, {"x"}},
    {"history_numbers_count_lines_after_the_watches", "Watch0=a\r\njunk\r\ncbWatch1=y\r\n",
     {"a"}, {"y"}},
    {"history_line_out_of_place_skipped", "Watch0=a\r\ncbWatch1=y\r\ncbWatch0=x\r\n", {"a"},
     {}},
    {"line_without_equals_stops_the_watches", "Watch0=a\r\nWatch1\r\nWatch1=b\r\n", {"a"}, {}},
    {"binary_bytes", std::string("Watch0=a") + '\0' + "b\r\n\xff\xfe\x01\r\ncbWatch1=z\r\n",
     {"a"}, {"z"}},
    {"empty_file", "", {}, {}},
    {"empty_entries", "Watch0=\r\ncbWatch0=\r\n", {""}, {""}},
};

class WatchHistoryLoad : public Histories, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(WatchHistoryLoad, AppendsTheStoredEntries)
{
    write_file(dir / "main.DBG", GetParam().file);
    Lines watches = {"kept"}, history = {"kept too"};
    LoadWatchHistory((dir / "main.c").string(), watches, &history);
    Lines expected_watches = {"kept"}, expected_history = {"kept too"};
    expected_watches.insert(expected_watches.end(), GetParam().watches.begin(),
                            GetParam().watches.end());
    expected_history.insert(expected_history.end(), GetParam().history.begin(),
                            GetParam().history.end());
    EXPECT_EQ(watches, expected_watches);
    EXPECT_EQ(history, expected_history);
}

INSTANTIATE_TEST_SUITE_P(All, WatchHistoryLoad, ::testing::ValuesIn(kLoads),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(Histories, AMissingHistoryFileLoadsNothingAndNoHistoryListTakesOnlyTheWatches)
{
    Lines watches;
    LoadWatchHistory((dir / "none.c").string(), watches, nullptr);
    EXPECT_TRUE(watches.empty());
    fs::create_directory(dir / "folder.DBG");
    LoadWatchHistory((dir / "folder.c").string(), watches, nullptr);
    EXPECT_TRUE(watches.empty()) << "a folder of that name is no history";
    write_file(dir / "main.DBG", "Watch0=a\r\ncbWatch0=x\r\n");
    LoadWatchHistory((dir / "main.c").string(), watches, nullptr);
    EXPECT_EQ(watches, Lines{"a"});
}

// Of a file larger than the read limit only the whole lines within it are read.
TEST_F(Histories, AHugeHistoryFileIsReadOnlyUpToTheLimit)
{
    std::string text;
    int lines = 0;
    while (text.size() < kWatchHistoryReadLimit + 4096)
        text += "Watch" + std::to_string(lines++) + "=" + std::string(100, 'x') + "\r\n";
    write_file(dir / "big.DBG", text);
    Lines watches;
    LoadWatchHistory((dir / "big.c").string(), watches, nullptr);
    ASSERT_FALSE(watches.empty());
    EXPECT_LT(watches.size(), static_cast<std::size_t>(lines));
    EXPECT_EQ(watches.back(), std::string(100, 'x')) << "no cut line";
}

TEST_F(Histories, ASavedHistoryLoadsBackAndLineBreaksInsideEntriesBecomeBlanks)
{
    const std::string source = (dir / "main.c").string();
    SaveWatchHistory(source, {"a", "p->next\nq"}, {"x+1", ""});
    EXPECT_EQ(read_file(dir / "main.DBG"),
              "Watch0=a\r\nWatch1=p->next q\r\ncbWatch0=x+1\r\ncbWatch1=\r\n");
    Lines watches, history;
    LoadWatchHistory(source, watches, &history);
    EXPECT_EQ(watches, (Lines{"a", "p->next q"}));
    EXPECT_EQ(history, (Lines{"x+1", ""}));
    EXPECT_TRUE(boxes().empty());
}

// A user who clears every watch finds them cleared next time.
TEST_F(Histories, SavingTwoEmptyListsRemovesTheHistoryFile)
{
    const std::string source = (dir / "main.c").string();
    SaveWatchHistory(source, {"a"}, {"x"});
    ASSERT_TRUE(fs::exists(dir / "main.DBG"));
    SaveWatchHistory(source, {}, {});
    EXPECT_FALSE(fs::exists(dir / "main.DBG"));
    Lines watches, history;
    LoadWatchHistory(source, watches, &history);
    EXPECT_TRUE(watches.empty() && history.empty());
    SaveWatchHistory(source, {}, {});
    EXPECT_TRUE(boxes().empty()) << "nothing to remove is no failure";
}

// The history's place is taken by a folder, which neither a write nor a removal can replace
// (whatever the user's rights): each save fails, and the user hears of it once.
TEST_F(Histories, AHistoryThatCannotBeWrittenIsReportedOnceAndNothingElseChanges)
{
    fs::create_directories(dir / "blocked.DBG" / "inside");
    const std::string source = (dir / "blocked.c").string();
    SaveWatchHistory(source, {"a"}, {});
    SaveWatchHistory(source, {"b"}, {"y"});
    SaveWatchHistory(source, {}, {});
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].caption, "Error");
    EXPECT_NE(boxes()[0].text.find((dir / "blocked.DBG").string()), std::string::npos)
        << boxes()[0].text;
    EXPECT_TRUE(fs::is_directory(dir / "blocked.DBG" / "inside"));
    // A source in a folder that does not exist: reported too, once.
    SaveWatchHistory((dir / "gone" / "main.c").string(), {"a"}, {});
    EXPECT_EQ(boxes().size(), 2u);
}

// A FIFO or a device in the history's place: loading neither waits for a writer nor reads
// without end, and saving names it once and leaves it as it is.
TEST_F(Histories, AFifoOrDeviceHistoryIsNeitherWaitedForNorReplaced)
{
    ASSERT_EQ(::mkfifo((dir / "pipe.DBG").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir / "zero.DBG");
    for (const char *name : {"pipe", "zero"}) {
        const std::string source = (dir / (std::string(name) + ".c")).string();
        const fs::path history_file = dir / (std::string(name) + ".DBG");
        Lines watches, history;
        FifoGuard guard(history_file.string());
        LoadWatchHistory(source, watches, &history);
        EXPECT_TRUE(guard.Stop()) << name << ": the load waited for a writer";
        EXPECT_TRUE(watches.empty() && history.empty()) << name;
        SaveWatchHistory(source, {"a"}, {"x"});
        SaveWatchHistory(source, {"b"}, {});
    }
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_NE(boxes()[0].text.find((dir / "pipe.DBG").string()), std::string::npos)
        << boxes()[0].text;
    EXPECT_NE(boxes()[0].text.find("not an ordinary file"), std::string::npos) << boxes()[0].text;
    EXPECT_NE(boxes()[1].text.find((dir / "zero.DBG").string()), std::string::npos)
        << boxes()[1].text;
    EXPECT_EQ(fs::symlink_status(dir / "pipe.DBG").type(), fs::file_type::fifo);
    EXPECT_EQ(fs::read_symlink(dir / "zero.DBG"), "/dev/zero");
}

// ---- combo box histories --------------------------------------------------------------------

struct PushCase {
    const char *name;
    Lines items;
    std::string text;
    int maximum;
    Lines expected;
    int selected;
};

const PushCase kPushes[] = {
    {"second_of_three_to_the_top", {"a", "b", "c"}, "b", 10, {"b", "a", "c"}, 0},
    {"new_text_on_top", {"a", "b"}, "n", 10, {"n", "a", "b"}, 0},
    {"case_only_difference_takes_the_new_spelling", {"x", "MAIN", "y"}, "Main", 10,
     {"Main", "x", "y"}, 0},
    {"blank_changes_nothing_but_trims", {"a", "b", "c"}, " \t", 2, {"a", "b"}, -1},
    {"empty_text_changes_nothing", {"a", "b"}, "", 10, {"a", "b"}, -1},
    {"blank_entry_selected_when_stored", {"a", ""}, "", 10, {"a", ""}, 1},
    {"eleventh_drops_the_oldest", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}, "11", 10,
     {"11", "1", "2", "3", "4", "5", "6", "7", "8", "9"}, 0},
    {"no_limit", {"1", "2", "3"}, "4", 0, {"4", "1", "2", "3"}, 0},
    {"text_kept_untrimmed", {"a"}, " 0x100 ", 10, {" 0x100 ", "a"}, 0},
    {"two_equal_entries_only_the_first_goes", {"a", "X", "b", "x"}, "x", 10, {"a", "b", "x"},
     2},
};

class ComboPush : public ::testing::TestWithParam<PushCase> {};

TEST_P(ComboPush, BringsTheTextToTheTop)
{
    Lines items = GetParam().items;
    EXPECT_EQ(PushComboHistory(items, GetParam().text, GetParam().maximum), GetParam().selected);
    EXPECT_EQ(items, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(All, ComboPush, ::testing::ValuesIn(kPushes),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(Histories, AComboHistoryIsReadAsItWasWritten)
{
    EXPECT_FALSE(ReadComboHistory("Jump addresses")) << "no key \"Personality\" yet";
    WriteComboHistory("Jump addresses", {{"0x100", "main", "0xE000"}, 1});
    TKXRegistry reg;
    ASSERT_TRUE(reg.open_key(settings_key("Personality"), false));
    EXPECT_EQ(reg.read_string("Jump addresses"), "0x100\r\nmain\r\n0xE000\r\n");
    EXPECT_EQ(reg.read_integer("Jump addresses Index"), 1);
    const std::optional<ComboHistory> read = ReadComboHistory("Jump addresses");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->items, (Lines{"0x100", "main", "0xE000"}));
    EXPECT_EQ(read->index, 1);
    const std::optional<ComboHistory> other = ReadComboHistory("GrepText");
    ASSERT_TRUE(other) << "the key exists";
    EXPECT_TRUE(other->items.empty());
    EXPECT_EQ(other->index, -1);
}

struct StoredComboCase {
    const char *name;
    std::function<void(TKXRegistry &)> write;
    Lines items;
    int index;
};

const StoredComboCase kStoredCombos[] = {
    {"index_past_the_end", [](TKXRegistry &r) {
         (void)r.write_string("H", "a\r\nb\r\nc\r\n");
         (void)r.write_integer("H Index", 25);
     }, {"a", "b", "c"}, -1},
    {"negative_index", [](TKXRegistry &r) {
         (void)r.write_string("H", "a\r\n");
         (void)r.write_integer("H Index", -7);
     }, {"a"}, -1},
    {"index_as_text", [](TKXRegistry &r) {
         (void)r.write_string("H", "a\r\nb\r\n");
         (void)r.write_string("H Index", "1");
     }, {"a", "b"}, -1},
    {"cr_lf_and_pairs_each_end_a_line", [](TKXRegistry &r) {
         (void)r.write_string("H", "a\rb\nc\r\nd");
         (void)r.write_integer("H Index", 3);
     }, {"a", "b", "c", "d"}, 3},
    {"entries_of_another_type", [](TKXRegistry &r) {
         (void)r.write_integer("H", 5);
         (void)r.write_integer("H Index", 0);
     }, {}, -1},
};

class StoredCombo : public Histories, public ::testing::WithParamInterface<StoredComboCase> {};

TEST_P(StoredCombo, Reads)
{
    store("Personality", GetParam().write);
    const std::optional<ComboHistory> read = ReadComboHistory("H");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->items, GetParam().items);
    EXPECT_EQ(read->index, GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(All, StoredCombo, ::testing::ValuesIn(kStoredCombos),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- toolbar values -------------------------------------------------------------------------

TEST_F(Histories, ToolbarValuesComeBackUnderTheirPrefix)
{
    EXPECT_FALSE(ToolbarKeyExists("", "tbFile"));
    EXPECT_FALSE(ReadToolbarValues("", "tbFile"));
    const ToolbarValues user{"file;open;save", true, 120, false, 40, 2};
    ASSERT_TRUE(WriteToolbarValues("", "tbFile", user, true));
    const ToolbarValues factory{"file;open", false, 80, true, -300, 500};
    ASSERT_TRUE(WriteToolbarValues("Default ", "tbFile", factory, true));
    EXPECT_TRUE(ToolbarKeyExists("", "tbFile"));
    EXPECT_TRUE(ToolbarKeyExists("Default ", "tbFile"));
    TKXRegistry reg;
    EXPECT_TRUE(reg.key_exists(settings_key("ToolBars\\tbFile")));
    EXPECT_TRUE(reg.key_exists(settings_key("Default ToolBars\\tbFile")));
    for (const auto &[prefix, values] : {std::pair{"", user}, std::pair{"Default ", factory}}) {
        const std::optional<ToolbarValues> read = ReadToolbarValues(prefix, "tbFile");
        ASSERT_TRUE(read) << prefix;
        EXPECT_EQ(read->component, values.component);
        EXPECT_EQ(read->visible, values.visible);
        EXPECT_EQ(read->width, values.width);
        EXPECT_EQ(read->floating, values.floating);
        EXPECT_EQ(read->x, values.x);
        EXPECT_EQ(read->y, values.y);
    }
}

TEST_F(Histories, TheConsolidatedToolbarStoresNoComponentAndMissingValuesReadAsDefaults)
{
    store("ToolBars\\Consolidated", [](TKXRegistry &r) { (void)r.write_integer("X", 7); });
    ASSERT_TRUE(WriteToolbarValues("", "Consolidated", {"ignored", true, 90, true, 1, 2}, false));
    TKXRegistry reg;
    ASSERT_TRUE(reg.open_key(settings_key("ToolBars\\Consolidated"), false));
    EXPECT_FALSE(reg.value_exists("ComponentString"));
    store("ToolBars\\tbEdit", [](TKXRegistry &r) { (void)r.write_string("visible", "1"); });
    const std::optional<ToolbarValues> read = ReadToolbarValues("", "tbEdit");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->component, "");
    EXPECT_FALSE(read->visible) << "a text is no integer";
    EXPECT_EQ(read->x, 0);
}

TEST_F(Histories, AToolbarNameThatWouldReachAnotherKeyHasNone)
{
    const std::string before = store_text();
    for (const char *name : {"", "a\\b", "..\\Personality"}) {
        EXPECT_FALSE(WriteToolbarValues("", name, {"c", true, 1, false, 0, 0}, true)) << name;
        EXPECT_FALSE(ReadToolbarValues("", name)) << name;
        EXPECT_FALSE(ToolbarKeyExists("", name)) << name;
    }
    EXPECT_EQ(store_text(), before);
}

// ---- dock states ----------------------------------------------------------------------------

struct SectionCase {
    const char *window;
    const char *section;
};

const SectionCase kSections[] = {
    {"frmDisassembly", "Assembly Window"}, {"frmMemoryDump", "Dump Window"},
    {"frmStack", "Stack Window"},          {"frmTrace", "Trace Window"},
    {"frmStdio", "Stdio Window"},          {"frmWatches", "Watch Window"},
    {"frmMessages", "Message Window"},     {"frmRegisters", "Register Window"},
    {"frmmessages", ""},                   {"frmMainWindow", ""},
    {"", ""},
};

class DockSection : public ::testing::TestWithParam<SectionCase> {};

TEST_P(DockSection, FollowsTheWindowName)
{
    EXPECT_EQ(DockStateSection(GetParam().window), GetParam().section);
}

INSTANTIATE_TEST_SUITE_P(All, DockSection, ::testing::ValuesIn(kSections),
                         [](const auto &i) {
                             return std::string(*i.param.window ? i.param.window : "empty") +
                                    (*i.param.section ? "" : "_none");
                         });

class RecordingDockable : public TDockableWindowHost {
public:
    std::string name;
    TDockPlacement placement;
    bool main_shown = false;
    int shows = 0;
    std::string Name() const override { return name; }
    TDockPlacement &Placement() override { return placement; }
    bool MainWindowShown() const override { return main_shown; }
    void ShowWindow() override { ++shows; }
};

const TDockPlacement kCurrent{10, 20, 300, 200, 1, 2, 30, 40, true, false, 0};

TEST_F(Histories, AMissingDockStateKeepsTheWindowsOwnPlacement)
{
    RecordingDockable window;
    window.name = "frmStack";
    window.placement = kCurrent;
    window.placement.window_state = 2;
    LoadDockState(&window);
    TDockPlacement expected = kCurrent;
    expected.window_state = 0;  // the state alone has a fixed default
    EXPECT_EQ(window.placement, expected);
    EXPECT_FALSE(TKXRegistry().key_exists(settings_key("Debug Windows\\Stack Window")))
        << "loading creates no key";
}

TEST_F(Histories, ADockStateComesBackAsItWasSaved)
{
    RecordingDockable window;
    window.name = "frmWatches";
    window.placement = {-5, 7, 640, 480, 11, 12, 13, 14, false, true, 1};
    SaveDockState(&window);
    window.placement = kCurrent;
    LoadDockState(&window);
    EXPECT_EQ(window.placement, (TDockPlacement{-5, 7, 640, 480, 11, 12, 13, 14, false, true, 1}));
    EXPECT_TRUE(boxes().empty());
}

struct StateCase {
    const char *name;
    int32_t stored;
    int loaded;
};

const StateCase kStates[] = {
    {"normal", 0, 0}, {"minimized", 1, 1}, {"maximized", 2, 2},
    {"five_is_maximized", 5, 2}, {"negative_is_maximized", -1, 2},
};

class DockWindowState : public Histories, public ::testing::WithParamInterface<StateCase> {};

TEST_P(DockWindowState, MapsToThreeStatesAndIsSavedAsOne)
{
    store("Debug Windows\\Trace Window",
          [](TKXRegistry &r) { (void)r.write_integer("Window State", GetParam().stored); });
    RecordingDockable window;
    window.name = "frmTrace";
    LoadDockState(&window);
    EXPECT_EQ(window.placement.window_state, GetParam().loaded);
    SaveDockState(&window);
    TKXRegistry reg;
    ASSERT_TRUE(reg.open_key(settings_key("Debug Windows\\Trace Window"), false));
    EXPECT_EQ(reg.read_integer("Window State"), GetParam().loaded);
}

INSTANTIATE_TEST_SUITE_P(All, DockWindowState, ::testing::ValuesIn(kStates),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(Histories, AWindowStoredVisibleIsShownOnlyOnceTheMainWindowWasShown)
{
    store("Debug Windows\\Register Window", [](TKXRegistry &r) { (void)r.write_bool("Visible", true); });
    RecordingDockable window;
    window.name = "frmRegisters";
    LoadDockState(&window);
    EXPECT_TRUE(window.placement.visible);
    EXPECT_EQ(window.shows, 0) << "the main window is not shown yet";
    window.main_shown = true;
    LoadDockState(&window);
    EXPECT_EQ(window.shows, 1);
    store("Debug Windows\\Register Window", [](TKXRegistry &r) { (void)r.write_bool("Visible", false); });
    LoadDockState(&window);
    EXPECT_EQ(window.shows, 1);
}

TEST_F(Histories, AWindowWithoutASectionNeitherReadsNorWrites)
{
    store("Debug Windows\\", [](TKXRegistry &r) { (void)r.write_integer("Float Left", 99); });
    const std::string before = store_text();
    RecordingDockable window;
    window.name = "frmUnknown";
    window.placement = kCurrent;
    window.placement.visible = true;
    window.main_shown = true;
    const TDockPlacement own = window.placement;
    LoadDockState(&window);
    EXPECT_EQ(window.placement, own);
    EXPECT_EQ(window.shows, 0);
    SaveDockState(&window);
    EXPECT_EQ(store_text(), before);
    LoadDockState(nullptr);
    SaveDockState(nullptr);
}

} // namespace
