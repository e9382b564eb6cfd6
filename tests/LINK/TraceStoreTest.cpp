// The execution-trace store and its text: record layouts and capacity from the options, the
// packets it keeps or drops, stops under tracing, folded repeats, wrapping, the records that wait
// while the store is idle, and the fixed-column text and files written from it.
#include "core/CC_ADDR.h"
#include "link/DB_GO.h"
#include "debugger/DB_SRC.h"
#include "HostDoubles.h"
#include "linker/MAPFILE.h"
#include "SeamDoubles.h"
#include "link/TC.h"
#include "link/TcTargetOperations.h"
#include "settings/guiKXPreferences.h"
#include "link/guiTrace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

constexpr uint16_t kMain = 0x1000;
constexpr uint16_t kFunc = 0x1100;
constexpr uint16_t kEnd = 0x1200;

// The trace window as a test sees it.
struct RecordingTraceWindow : TTraceWindow {
    std::vector<std::string> rows;
    int clears = 0;
    bool register_panel = false;
    bool show_repeats = true;
    bool full_path = true;
    void AddLine(const std::string &text) override { rows.push_back(text); }
    void ClearLists() override
    {
        rows.clear();
        ++clears;
    }
    void BeginUpdate() override {}
    void EndUpdate() override {}
    void SetRegisterPanelVisible(bool visible) override { register_panel = visible; }
    bool ShowRepeats() const override { return show_repeats; }
    void SetShowRepeats(bool on) override { show_repeats = on; }
    bool FullPath() const override { return full_path; }
    void BringToFront() override {}
    void SetBusyCursor(bool) override {}
};

// The main window's trace actions: counted; trace-on enables the store as the real one does.
struct RecordingTraceShell : TTraceShell {
    TQBTraceBuf *store = nullptr;
    int on = 0, off = 0, toggles = 0;
    void TraceOn() override
    {
        ++on;
        if (store)
            store->EnableTrace(false);
    }
    void TraceOff() override { ++off; }
    void ToggleTraceWindow() override { ++toggles; }
    bool TraceWindowShown() override { return false; }
};

// One DBG 28 payload: flags and action, the register block with XPC, PC, A and F.
std::vector<uint8_t> packet(uint8_t flags, uint16_t pc, uint8_t a = 0, uint8_t f = 0, uint8_t xpc = 0)
{
    std::vector<uint8_t> p(kTracePacketSize, 0);
    p[0] = flags;
    p[3] = xpc;
    p[13] = f;
    p[14] = a;
    p[26] = uint8_t(pc);
    p[27] = uint8_t(pc >> 8);
    return p;
}

constexpr uint8_t kRunsOn = 0x01;
constexpr uint8_t kExecute = kTraceExecute | kRunsOn;

uint32_t g_clock = 0;
uint32_t test_clock() { return g_clock; }

struct Fields {
    bool func, file, line_col, regs, time, action;
};

class TraceStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_host_services();
        reset_preferences_to_defaults();
        reset_run_control();
        clearBreakpoints();
        headless_target_operations().calls.clear();
        gAddressNameMap.clear();
        gAddressNameMap[kMain] = {kMain, "main"};
        gAddressNameMap[kFunc] = {kFunc, "func"};
        gAddressNameMap[kEnd] = {kEnd, "end"};
        TIdePreferences &p = IdePreferences();
        p.enable_tracing = true;
        p.trace_buf_size = 1;
        p.enable_trace_buf_wrap = false;
        p.enable_trace_rst = true;
        p.trace_info_repeat = false;
        folder = fs::temp_directory_path() /
                 ("kx-trace-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        shell.store = &store;
        set_trace_shell(&shell);
    }
    void TearDown() override
    {
        set_trace_shell(nullptr);
        reset_preferences_to_defaults();
        gAddressNameMap.clear();
        clearBreakpoints();
        SetMillisecondClock(nullptr);
        std::error_code ec;
        fs::remove_all(folder, ec);
    }

    // The options, then the layout taken while tracing does not run; then tracing runs.
    void choose(Fields f)
    {
        TIdePreferences &p = IdePreferences();
        p.trace_info_func = f.func;
        p.trace_info_file = f.file;
        p.trace_info_line_col = f.line_col;
        p.trace_info_reg = f.regs;
        p.trace_info_time = f.time;
        p.trace_info_action = f.action;
        p.tracing = false;
        store.SetTraceOptions();
        p.tracing = true;
    }

    void feed(const std::vector<uint8_t> &p) { store.DecodeTracePacket(p.data(), p.size()); }

    std::vector<std::string> boxes()
    {
        std::vector<std::string> out;
        for (const auto &b : headless_message_box_host().shown)
            out.push_back(b.text);
        return out;
    }

    TQBTraceBuf store;
    RecordingTraceShell shell;
    fs::path folder;
};

constexpr Fields kAddressTimeAction{true, true, true, false, true, true};

// ---- record layouts -----------------------------------------------------------------------------------

struct KindCase {
    const char *name;
    Fields fields;
    int kind;
    int size;
};

const KindCase kKinds[] = {
    {"address_time", {true, true, true, false, true, false}, 7, 9},
    {"function_only", {true, false, false, false, false, false}, 6, 5},
    {"address_registers_time", {false, false, true, true, true, false}, 3, 32},
    {"address_registers", {false, true, false, true, false, true}, 2, 28},
    {"registers_only", {false, false, false, true, false, false}, 0, 27},
    {"registers_time", {false, false, false, true, true, false}, 1, 31},
    {"action_only", {false, false, false, false, false, true}, 9, 1},
    {"action_time", {false, false, false, false, true, true}, 10, 5},
    {"action_registers_time", {false, false, false, true, true, true}, 3, 32},
    {"time_only", {false, false, false, false, true, false}, 8, 4},
};

class RecordKind : public TraceStore, public ::testing::WithParamInterface<KindCase> {};

TEST_P(RecordKind, FromTheChosenFields)
{
    choose(GetParam().fields);
    EXPECT_EQ(store.RecordKind(), GetParam().kind);
    EXPECT_EQ(store.RecordSize(), GetParam().size);
    EXPECT_EQ(store.Capacity(), 1048576 / GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(All, RecordKind, ::testing::ValuesIn(kKinds),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(TraceStore, NoFieldLeavesNoBufferAndKeepsNothing)
{
    choose({false, false, false, false, false, false});
    EXPECT_EQ(store.RecordSize(), 0);
    EXPECT_EQ(store.BufferSize(), 0);
    feed(packet(kExecute, kMain + 4));
    EXPECT_EQ(store.Count(), 0);
    EXPECT_FALSE(store.HasBuffer());
}

TEST_F(TraceStore, OneMegabyteOfNineByteRecords)
{
    choose(kAddressTimeAction);
    EXPECT_EQ(store.Capacity(), 116508);
    EXPECT_EQ(store.BufferSize(), 1048572);
}

TEST_F(TraceStore, SizesOf2048MegabytesAndMoreAreRefusedAndToldOnce)
{
    for (int32_t megabytes : {2048, 4096, -1}) {
        SCOPED_TRACE(megabytes);
        reset_host_services();
        IdePreferences().trace_buf_size = 1;
        choose(kAddressTimeAction);
        IdePreferences().trace_buf_size = megabytes;
        choose(kAddressTimeAction);
        choose(kAddressTimeAction);
        EXPECT_EQ(store.Capacity(), 0);
        EXPECT_EQ(store.BufferSize(), 0);
        ASSERT_EQ(boxes().size(), 1u);
        EXPECT_NE(boxes()[0].find(std::to_string(megabytes) + " MB"), std::string::npos) << boxes()[0];
        feed(packet(kExecute, kMain + 4));
        EXPECT_EQ(store.Count(), 0) << "nothing is kept without a buffer";
    }
    IdePreferences().trace_buf_size = kTraceBufMaxMegabytes;
    choose(kAddressTimeAction);
    EXPECT_EQ(int64_t(store.BufferSize()), int64_t(kTraceBufMaxMegabytes) * 1048576 / 9 * 9);
}

TEST_F(TraceStore, ANewLayoutOrSizeDropsTheRecordsOfTheOldOne)
{
    choose(kAddressTimeAction);
    feed(packet(kExecute, kMain + 4));
    choose(kAddressTimeAction);
    EXPECT_EQ(store.Count(), 1) << "the same layout keeps them";
    IdePreferences().trace_buf_size = 2;
    choose(kAddressTimeAction);
    EXPECT_EQ(store.Count(), 0);
    EXPECT_FALSE(store.HasBuffer());
    feed(packet(kExecute, kMain + 4));
    choose({true, true, true, true, true, true});
    EXPECT_EQ(store.Count(), 0);
    EXPECT_EQ(store.FormatTraceLine(0), "");
}

TEST_F(TraceStore, TheLayoutStaysWhileTracingRuns)
{
    choose(kAddressTimeAction);
    IdePreferences().trace_info_reg = true;
    store.SetTraceOptions();
    EXPECT_EQ(store.RecordKind(), 7) << "tracing runs on the target";
}

// ---- keeping and dropping ---------------------------------------------------------------------------

struct KeepCase {
    const char *name;
    bool tracing;
    bool rst;
    uint8_t flags;
    uint16_t pc;
    bool kept;
};

const KeepCase kKeeps[] = {
    {"execute", true, true, kExecute, kMain + 4, true},
    {"tracing_off_execute", false, true, kExecute, kMain + 4, false},
    {"tracing_off_macro", false, true, kTraceMacro | kRunsOn, kMain + 4, true},
    {"rst_off_execute", true, false, kExecute, kMain + 4, false},
    {"rst_off_enter", true, false, kTraceEnter | kRunsOn, kMain + 4, true},
    {"below_every_function", true, true, kExecute, kMain - 1, false},
    {"first_byte_of_a_function", true, true, kExecute, kMain, false},
};

class KeepRecord : public TraceStore, public ::testing::WithParamInterface<KeepCase> {};

TEST_P(KeepRecord, ByTheFilters)
{
    choose(kAddressTimeAction);
    IdePreferences().tracing = GetParam().tracing;
    IdePreferences().enable_trace_rst = GetParam().rst;
    feed(packet(GetParam().flags, GetParam().pc));
    EXPECT_EQ(store.Count(), GetParam().kept ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(All, KeepRecord, ::testing::ValuesIn(kKeeps),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(TraceStore, AnAddressAtAFunctionsFirstByteBelongsToTheFunctionBelow)
{
    EXPECT_EQ(store.FunctionNameAt(kFunc), "main");
    EXPECT_EQ(store.FunctionNameAt(kFunc + 1), "func");
    EXPECT_EQ(store.FunctionNameAt(kMain), "");
}

TEST_F(TraceStore, APayloadShorterThanAPacketIsDropped)
{
    choose(kAddressTimeAction);
    std::vector<uint8_t> p = packet(kExecute, kMain + 4);
    p.pop_back();
    feed(p);
    EXPECT_EQ(store.Count(), 0);
    store.DecodeTracePacket(nullptr, 0);
    EXPECT_EQ(store.Count(), 0);
}

// ---- stops under tracing ---------------------------------------------------------------------------------

struct StopCase {
    const char *name;
    uint8_t flags;
    uint16_t pc;
    bool stops;
};

const StopCase kStops[] = {
    {"exit_in_a_function", kTraceExit, kFunc + 8, true},
    {"macro", kTraceMacro, kFunc + 8, false},
    {"exit_running_on", kTraceExit | kRunsOn, kFunc + 8, false},
    {"exit_in_no_function", kTraceExit, kMain - 8, false},
};

class TraceStop : public TraceStore, public ::testing::WithParamInterface<StopCase> {};

TEST_P(TraceStop, ReportedWhenTheTargetStaysInAKnownFunction)
{
    choose(kAddressTimeAction);
    markStatementPosition("t.c", 7, 3, kFunc + 8, gLineTable);
    endSourceRange(8, 1, kFunc + 8);
    gTargetRegisters.PC = kFunc + 8;
    headless_main_window().run_state = 2;
    feed(packet(GetParam().flags, GetParam().pc));
    EXPECT_EQ(headless_main_window().run_state, GetParam().stops ? 1 : 2);
    EXPECT_EQ(executionPointShown(), GetParam().stops);
    EXPECT_EQ(store.StateBit0(), (GetParam().flags & kRunsOn) != 0);
}

INSTANTIATE_TEST_SUITE_P(All, TraceStop, ::testing::ValuesIn(kStops),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(TraceStore, AStopAskedForIsTakenAtTheNextPacket)
{
    choose(kAddressTimeAction);
    headless_main_window().run_state = 2;
    store.RequestStop();
    feed(packet(kExecute | 0x02, kMain + 4));
    EXPECT_EQ(headless_main_window().run_state, 1);
    EXPECT_FALSE(store.StateBit0());
    EXPECT_FALSE(store.StateBit1());
}

// ---- repeats, wrap, the idle store ---------------------------------------------------------------------

TEST_F(TraceStore, RepeatsFoldIntoOneRowByTheirKey)
{
    IdePreferences().trace_info_repeat = true;
    choose(kAddressTimeAction);
    RecordingTraceWindow window;
    store.Interface().window = &window;
    feed(packet(kExecute, kMain + 4));
    feed(packet(kExecute, kMain + 4));
    feed(packet(kExecute, kFunc + 2));
    EXPECT_EQ(store.Count(), 3);
    EXPECT_EQ(store.RowCount(), 2u);
    EXPECT_EQ(window.rows.size(), 2u);
    const uint32_t *further = store.TraceMapFind("Executemain:0,0");
    ASSERT_NE(further, nullptr);
    EXPECT_EQ(*further, 1u);
    store.Interface().window = nullptr;
}

TEST_F(TraceStore, WithWrapTheRecordAfterTheCapacityStartsOver)
{
    IdePreferences().enable_trace_buf_wrap = true;
    choose({false, false, true, false, false, true}); // kind 6, 5 bytes
    const std::vector<uint8_t> p = packet(kExecute, kMain + 4);
    const int capacity = store.Capacity();
    for (int i = 0; i < capacity; ++i)
        feed(p);
    EXPECT_EQ(store.Count(), 0) << "full: the next record empties the store";
    feed(p);
    EXPECT_EQ(store.Count(), 1);

    IdePreferences().enable_trace_buf_wrap = false;
    for (int i = 0; i < capacity + 5; ++i)
        feed(p);
    EXPECT_EQ(store.Count(), capacity) << "without wrap the rest is dropped";
}

TEST_F(TraceStore, RecordsArrivingWhileIdleAreReplayedInOrderByTheNextRun)
{
    choose(kAddressTimeAction);
    feed(packet(kExecute, kMain + 1));
    feed(packet(kExecute, kMain + 2));
    store.ResetTrace(false);
    EXPECT_TRUE(store.Idle());
    for (uint16_t pc : {uint16_t(kFunc + 1), uint16_t(kFunc + 2), uint16_t(kFunc + 3)})
        feed(packet(kExecute, pc));
    EXPECT_EQ(store.Count(), 2) << "nothing is kept while idle";
    EXPECT_EQ(store.PendingBytes(), 3u * 9u);

    store.EnableTrace(true);
    ASSERT_EQ(store.Count(), 3);
    EXPECT_EQ(store.PendingBytes(), 0u);
    for (int i = 0; i < 3; ++i) {
        store.UnpackTraceRecord(i);
        EXPECT_EQ(store.Current().pc, kFunc + 1 + i);
    }
    const auto &calls = headless_target_operations().calls;
    EXPECT_NE(std::find(calls.begin(), calls.end(), "TcSetTraceFlag 0 on"), calls.end())
        << "the run sends the trace flags";
}

TEST_F(TraceStore, TheTraceOnActionDoesNotEnableTheTraceOverAndOver)
{
    choose({false, false, false, false, false, false}); // no buffer, tracing runs
    store.EnableTrace(false);
    EXPECT_EQ(shell.on, 1) << "the trace-on action, which enables the store again, ran once";
}

TEST_F(TraceStore, TimeStampsCountFromTheClocksStartAndAreZeroBefore)
{
    SetMillisecondClock(test_clock);
    g_clock = 5000;
    EXPECT_EQ(store.TraceTimestamp(), 0u);
    choose(kAddressTimeAction);
    feed(packet(kExecute, kMain + 4));
    store.StartTraceClock();
    g_clock = 5250;
    feed(packet(kExecute, kMain + 5));
    store.UnpackTraceRecord(0);
    EXPECT_EQ(store.Current().time, 0u);
    store.UnpackTraceRecord(1);
    EXPECT_EQ(store.Current().time, 250u);
}

TEST_F(TraceStore, LeavingDebugModeEndsTheTraceRunAndStaysInEditMode)
{
    install_target_link();
    struct PutBack {
        ~PutBack()
        {
            install_seam_doubles();
            TcSetDebuggerEvents(nullptr);
        }
    } put_back;
    TQBTraceBuf &program_store = trace_buf();
    ASSERT_EQ(gTraceBuf, &program_store) << "the program's one store, there from the start";
    choose(kAddressTimeAction);
    IdePreferences().tracing = false;
    program_store.SetTraceOptions();
    IdePreferences().tracing = true;
    const std::vector<uint8_t> p = packet(kExecute, kMain + 4);
    program_store.DecodeTracePacket(p.data(), p.size());
    ASSERT_FALSE(program_store.Idle());
    headless_main_window().run_state = 2;
    gMainWindowInterface->SetRunState(0);
    EXPECT_EQ(headless_main_window().run_state, 0) << "not turned into a stop";
    EXPECT_TRUE(program_store.Idle());
}

// ---- text --------------------------------------------------------------------------------------------------

TEST_F(TraceStore, ActionAndLineColumnColumns)
{
    choose({false, false, true, false, false, true});
    addSourceEntry("t.c", 12, 5, kFunc + 8, gStatementTable);
    feed(packet(kTraceMacro | kRunsOn, kFunc + 8));
    feed(packet(kTraceMacro | kRunsOn, kEnd + 0x900));
    ASSERT_EQ(store.Count(), 2);
    EXPECT_EQ(store.FormatTraceLine(0), "MACRO    12,5      ");
    EXPECT_EQ(store.FormatTraceLine(1), "MACRO    0,0       ") << "no source within 2 KB";
    EXPECT_EQ(store.FormatTraceHeader(), "Action   Line/Col  ");
}

TEST_F(TraceStore, RegisterColumns)
{
    choose({false, false, false, true, false, false});
    feed(packet(kTraceMacro | kRunsOn, kMain + 4, 0x1F, 0x44));
    // Kind 0 holds no action: "MACRO" is not recorded, so it is the tracing state that keeps it.
    ASSERT_EQ(store.Count(), 1);
    const std::string line = store.FormatTraceLine(0);
    EXPECT_EQ(line.substr(0, 5), "0x1F ");
    EXPECT_EQ(line.substr(line.size() - 7), "0x44   ");
    EXPECT_NE(line.find("0x1004 "), std::string::npos) << "the PC";
}

TEST_F(TraceStore, HeaderOfActionTimeAndRegisters)
{
    choose({false, false, false, true, true, true});
    EXPECT_EQ(store.FormatTraceHeader(),
              "Action   mSec    "
              "  A    BC     DE     HL     AF'    BC'    DE'    HL'    IX     IY     SP     PC     XPC  Flags");
    EXPECT_EQ(store.FormatTraceLine(0), "") << "no records: no text";
}

TEST_F(TraceStore, ShortFileNamesTakeTheirOwnWidth)
{
    choose({false, true, false, false, false, false});
    RecordingTraceWindow window;
    window.full_path = false;
    store.Interface().window = &window;
    addSourceEntry("/very/long/folder/name/t.c", 3, 1, kMain + 4, gStatementTable);
    feed(packet(kExecute, kMain + 4));
    EXPECT_EQ(store.FormatTraceLine(0), "t.c        ") << "11 characters: the width of \"File Name\" + 2";
    window.full_path = true;
    store.MeasureTraceColumns();
    EXPECT_EQ(store.FormatTraceLine(0).size(), std::string("/very/long/folder/name/t.c").size() + 2);
    store.Interface().window = nullptr;
}

TEST_F(TraceStore, NamesLongerThanALineBufferKeepEveryCharacter)
{
    choose({true, true, false, false, false, false});
    const std::string name(1500, 'f');
    const std::string file = "/" + std::string(1100, 'd') + "/t.c";
    gAddressNameMap[kFunc] = {kFunc, name};
    addSourceEntry(file, 3, 1, kFunc + 4, gStatementTable);
    feed(packet(kExecute, kFunc + 4));
    const std::string line = store.FormatTraceLine(0);
    EXPECT_EQ(line, name + "  " + file + "  ");
    EXPECT_EQ(store.FormatTraceHeader().size(), line.size());
}

std::string read_file(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(TraceStore, WritingMakesAMissingFolderOneLevelDeep)
{
    choose({false, false, true, false, false, true});
    addSourceEntry("t.c", 12, 5, kFunc + 8, gStatementTable);
    feed(packet(kTraceMacro | kRunsOn, kFunc + 8));
    const fs::path file = folder / "new" / "trace.txt";
    EXPECT_TRUE(store.WriteTraceToFile(file.string()));
    EXPECT_EQ(read_file(file), "Action   Line/Col  \r\nMACRO    12,5      \r\n");
    EXPECT_TRUE(boxes().empty());

    const fs::path deep = folder / "a" / "b" / "trace.txt";
    EXPECT_FALSE(store.WriteTraceToFile(deep.string()));
    EXPECT_FALSE(fs::exists(folder / "a"));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_NE(boxes()[0].find(deep.string()), std::string::npos) << "the path is told";

    EXPECT_TRUE(store.WriteTraceToFile(file.string()));
    EXPECT_EQ(read_file(file), "Action   Line/Col  \r\nMACRO    12,5      \r\n")
        << "every write starts with no lines";
}

TEST_F(TraceStore, TheEndOfARunSavesTheTraceAndAFailedSaveIsOnlyTold)
{
    choose({false, false, true, false, false, true});
    addSourceEntry("t.c", 12, 5, kFunc + 8, gStatementTable);
    feed(packet(kTraceMacro | kRunsOn, kFunc + 8));
    feed(packet(kTraceMacro | kRunsOn, kFunc + 8));
    IdePreferences().trace_info_repeat = true;
    IdePreferences().enable_trace_auto_save = true;
    IdePreferences().trace_auto_save_file = (folder / "auto.txt").string();
    store.ResetTrace(true);
    EXPECT_FALSE(IdePreferences().trace_info_repeat) << "a saved trace shows every record";
    EXPECT_EQ(read_file(folder / "auto.txt"),
              "Action   Line/Col  \r\nMACRO    12,5      \r\nMACRO    12,5      \r\n");

    IdePreferences().trace_auto_save_file = (folder / "x" / "y" / "auto.txt").string();
    EXPECT_NO_THROW(store.ResetTrace(true));
    EXPECT_EQ(boxes().size(), 1u);
    EXPECT_EQ(shell.toggles, 2) << "each end with records brings the trace window up";
}

} // namespace
