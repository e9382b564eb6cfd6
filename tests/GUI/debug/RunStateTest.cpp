// The poll timer and the run state, entering and leaving debug mode, the debug windows that
// come up with it, and the trace commands; the target link is a recording double.
#include "GuiHarness.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include "driver/CC_GO.h"
#include "SeamDoubles.h"
#include "settings/guiKXPreferences.h"
#include "settings/guiProjects.h"

namespace {

class Polling : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        set_target_operations(&m_link);
    }
    void TearDown() override
    {
        GuiTest::TearDown();
        install_seam_doubles();
    }
    // A program running with the poll timer on.
    void Run()
    {
        gPollEnabled = true;
        Main().SetDebugMode(2);
        ASSERT_TRUE(Main().IsPolling());
        m_link.calls.clear();
    }
    int Count(const std::string &call) const
    {
        return static_cast<int>(std::count(m_link.calls.begin(), m_link.calls.end(), call));
    }
    bool Called(const std::string &call) const { return Count(call) > 0; }
    std::string Panel(int panel) { return Main().StatusPanel(panel)->text().toStdString(); }
    HeadlessTargetOperations m_link;
};

struct PollCase {
    const char *name;
    bool tcp;
    uint32_t period;
    int ticks;
    std::vector<int> polled_at; // tick numbers that sent a poll
};

const PollCase kPolls[] = {
    {"SerialEveryTenthTick", false, 1000, 25, {10, 20}},
    {"TcpEveryTwentiethTick", true, 2000, 45, {20, 40}},
    {"PeriodZeroEveryTick", false, 0, 3, {1, 2, 3}},
    {"PeriodShorterThanATick", false, 50, 3, {1, 2, 3}},
    {"PeriodOfOneAndAHalfTicks", true, 150, 3, {1, 2, 3}},
    {"PeriodOfTwoTicks", false, 250, 6, {2, 4, 6}},
};

class PollTicks : public Polling, public ::testing::WithParamInterface<PollCase> {};

// Ticks are the handler called directly: no test waits for the timer.
TEST_P(PollTicks, OnePollPerPeriod)
{
    const PollCase &c = GetParam();
    m_link.settings.link_kind = c.tcp ? 1 : 0;
    m_link.settings.serial_poll_period = c.tcp ? 99999 : c.period;
    m_link.settings.tcp_poll_period = c.tcp ? c.period : 99999;
    Run();
    const std::string poll = c.tcp ? "TcSendDbgPoll" : "TcSendSysPoll";
    std::vector<int> polled_at;
    for (int tick = 1; tick <= c.ticks; ++tick) {
        const int before = Count(poll);
        Main().tmrPollTimer();
        if (Count(poll) > before)
            polled_at.push_back(tick);
    }
    EXPECT_EQ(polled_at, c.polled_at);
    EXPECT_FALSE(Called(c.tcp ? "TcSendSysPoll" : "TcSendDbgPoll"));
    EXPECT_TRUE(Main().IsPolling());
    EXPECT_EQ(Panel(5), "Run Polled");
    EXPECT_TRUE(m_boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(All, PollTicks, ::testing::ValuesIn(kPolls),
                         [](const auto &i) { return std::string(i.param.name); });

// A period lowered below the ticks already counted polls at the next tick.
TEST_F(Polling, LoweredPeriodPollsAtTheNextTick)
{
    m_link.settings.serial_poll_period = 1000;
    Run();
    for (int i = 0; i < 7; ++i)
        Main().tmrPollTimer();
    EXPECT_EQ(Main().PollTicks(), 7u);
    EXPECT_FALSE(Called("TcSendSysPoll"));
    m_link.settings.serial_poll_period = 300;
    Main().tmrPollTimer();
    EXPECT_EQ(Count("TcSendSysPoll"), 1);
    EXPECT_EQ(Main().PollTicks(), 0u);
}

TEST_F(Polling, PausedTimerCountsNoTick)
{
    m_link.settings.serial_poll_period = 200;
    Run();
    Main().tmrPollTimer();
    EXPECT_EQ(Main().PollTicks(), 1u);
    Main().PausePolling();
    EXPECT_FALSE(Main().IsPolling());
    EXPECT_EQ(Panel(5), "Run NoPoll");
    m_link.calls.clear();
    Main().tmrPollTimer();
    Main().tmrPollTimer();
    EXPECT_EQ(Main().PollTicks(), 1u);
    EXPECT_TRUE(m_link.calls.empty());
    Main().ResumePolling();
    Main().tmrPollTimer();
    EXPECT_EQ(Count("TcSendSysPoll"), 1);
}

TEST_F(Polling, ResumeNeedsPollingEnabled)
{
    gPollEnabled = false;
    Main().SetDebugMode(2);
    EXPECT_FALSE(Main().IsPolling());
    EXPECT_EQ(Panel(5), "Run NoPoll");
    EXPECT_EQ(gTCState, 7);
    gPollEnabled = true;
    Main().ResumePolling();
    EXPECT_TRUE(Main().IsPolling());
    EXPECT_EQ(Main().PollTimer()->interval(), 100);
    EXPECT_EQ(Panel(5), "Run Polled");
    EXPECT_EQ(gTCState, 6);
}

struct RunStateCase {
    const char *name;
    int state;
    bool polling;
    const char *panel;
    int comm_state; // -1: left as it was
};
const RunStateCase kRunStates[] = {
    {"Edit", 0, false, "Edit", -1},
    {"Stopped", 1, false, "Stopped", 7},
    {"RunPolled", 2, true, "Run Polled", 6},
    {"RunNoPoll", 2, false, "Run NoPoll", 7},
    {"OtherOnlyStored", 5, false, "before", -1},
};

class RunStates : public Polling, public ::testing::WithParamInterface<RunStateCase> {};

TEST_P(RunStates, PanelFiveAndTheCommunicationState)
{
    const RunStateCase &c = GetParam();
    if (c.polling)
        Main().PollTimer()->start();
    Main().SetStatusPanelText("before", 5);
    gTCState = 3;
    Main().SetRunState(c.state);
    EXPECT_EQ(Main().RunState(), c.state);
    EXPECT_EQ(Panel(5), c.panel);
    EXPECT_EQ(gTCState, c.comm_state < 0 ? 3 : c.comm_state);
    EXPECT_EQ(Main().IsStopped(), c.state == 1);
    EXPECT_EQ(Main().IsEditMode(), c.state == 0);
}

INSTANTIATE_TEST_SUITE_P(All, RunStates, ::testing::ValuesIn(kRunStates),
                         [](const auto &i) { return std::string(i.param.name); });

// Edit mode brings the communication summary back to panel 7.
TEST_F(Polling, EditModeShowsTheCommunicationSummary)
{
    Main().SetStatusText("Sending Poll");
    Main().SetRunState(0);
    EXPECT_EQ(Panel(7), "COM1: 115200");
}

struct LinkErrorCase {
    const char *name;
    uint8_t kind;
};
const LinkErrorCase kLinkErrors[] = {
    {"NakReceived", 0}, {"NoHandler", 1}, {"BadPacket", 2}, {"LoaderDropped", 3}};

class LinkErrors : public Polling, public ::testing::WithParamInterface<LinkErrorCase> {};

// A link error the transport recorded: shown once, by its kind; the timer stays off, debug
// mode is left without a reset (the link is lost), the link is closed, panel 5 is current.
TEST_P(LinkErrors, ShownOnceAndTheRunEnds)
{
    set_compile_mode(0);
    Run();
    m_link.link_error = {GetParam().kind, 2, 0x13, true};
    Main().tmrPollTimer();
    EXPECT_EQ(Count("TcShowLinkError " + std::to_string(GetParam().kind) + " 2 19"), 1);
    EXPECT_TRUE(m_boxes.shown.empty()) << m_boxes.shown[0].text;
    EXPECT_FALSE(Main().IsPolling());
    EXPECT_EQ(Main().RunState(), 0);
    EXPECT_EQ(Panel(5), "Edit");
    EXPECT_FALSE(Called("TcResetTarget"));
    EXPECT_FALSE(Main().LinkLost()) << "the leave took the skipped reset";
    EXPECT_TRUE(Called("TcCloseConnection"));
    EXPECT_EQ(get_compile_mode(), 1);
    EXPECT_FALSE(Called("TcSendSysPoll"));
    // Nothing more comes of later ticks.
    m_link.calls.clear();
    Main().tmrPollTimer();
    EXPECT_TRUE(m_link.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(All, LinkErrors, ::testing::ValuesIn(kLinkErrors),
                         [](const auto &i) { return std::string(i.param.name); });

// A poll that fails is shown, once; the run ends as for a link error.
TEST_F(Polling, FailedPollIsShownAndTheRunEnds)
{
    m_link.settings.serial_poll_period = 100;
    Run();
    m_link.fail = [](const std::string &call) {
        if (call == "TcSendSysPoll")
            throw xTCErr(5033, KX_HERE);
    };
    Main().tmrPollTimer();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    EXPECT_NE(m_boxes.shown[0].text.find("Target communication error."), std::string::npos);
    EXPECT_FALSE(Main().IsPolling());
    EXPECT_EQ(Main().RunState(), 0);
}

// Over a dead link every step of the clean-up fails again: nothing leaves the handler, every
// step still runs, and only the first failure is shown.
TEST_F(Polling, DeadLinkCleanUpStaysInsideTheTick)
{
    const std::string path = Write("a.c", "int a;\n");
    TfrmEdit *editor = Main().OpenFile(path);
    m_link.settings.link_kind = 1;
    m_link.settings.tcp_poll_period = 100;
    Run();
    ASSERT_TRUE(editor->IsReadOnly());
    m_link.fail = [](const std::string &call) {
        if (call != "GetCommSettings" && call != "TcGetLinkError")
            throw xTCErr(5033, KX_HERE);
    };
    EXPECT_NO_THROW(Main().tmrPollTimer());
    EXPECT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(Main().RunState(), 0);
    EXPECT_FALSE(editor->IsReadOnly());
    EXPECT_EQ(Count("TcCloseConnection"), 2) << "by the leave and by the handler";
    EXPECT_EQ(Count("TcCheckPendingError"), 2);
    EXPECT_EQ(Panel(5), "Edit");
}

// Any other error of ours is shown; polling stays off until an operation resumes it.
TEST_F(Polling, OtherErrorsAreShownAndPollingStaysOff)
{
    m_link.settings.serial_poll_period = 100;
    Run();
    m_link.fail = [](const std::string &call) {
        if (call == "TcSendSysPoll")
            throw xUserCancel(KX_HERE);
    };
    Main().tmrPollTimer();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "Operation canceled by user.");
    EXPECT_FALSE(Main().IsPolling());
    EXPECT_EQ(Main().RunState(), 2) << "the run goes on, unpolled";
    m_link.fail = nullptr;
    Main().ResumePolling();
    m_link.calls.clear();
    Main().tmrPollTimer();
    EXPECT_EQ(Count("TcSendSysPoll"), 1) << "no poll was left pending";
}

// ---- debug mode -------------------------------------------------------------------------------

struct EnterCase {
    const char *name;
    bool none, last, all, selected;
    std::vector<DebugWindow> show_at_start; // "Show" settings when the main window is made
    std::vector<DebugWindow> show_later;    // ... set afterwards
    std::vector<std::string> toggles;
};

const EnterCase kEnters[] = {
    {"NoneBeatsAll", true, false, true, false, {DebugWindow::Stdio}, {}, {}},
    {"AllOpensTheFive", false, false, true, false, {}, {},
     {"Toggle Assembly", "Toggle Stack", "Toggle Registers", "Toggle Stdio", "Toggle Watch"}},
    {"LastKeepsTheFlagsOfTheStart", false, true, false, false,
     {DebugWindow::Watches, DebugWindow::Disassembly}, {DebugWindow::Stack},
     {"Toggle Assembly", "Toggle Watch"}},
    {"SelectedTakesTheShowSettingsNow", false, false, false, true, {DebugWindow::Watches},
     {DebugWindow::Stack}, {"Toggle Stack", "Toggle Watch"}},
    {"TraceAndDumpAreNotOpened", false, false, true, false, {DebugWindow::Trace}, {},
     {"Toggle Assembly", "Toggle Stack", "Toggle Registers", "Toggle Stdio", "Toggle Watch"}},
};

bool &show_of(DebugWindow window)
{
    TIdePreferences &p = IdePreferences();
    switch (window) {
    case DebugWindow::Disassembly:
        return p.assembly.show;
    case DebugWindow::Stdio:
        return p.stdio.show;
    case DebugWindow::Registers:
        return p.registers.show;
    case DebugWindow::Watches:
        return p.watch.show;
    case DebugWindow::Stack:
        return p.stack.show;
    case DebugWindow::Trace:
        return p.trace.show;
    case DebugWindow::MemoryDump:
        break;
    }
    static bool none = false;
    return none;
}

class EnterDebug : public Polling, public ::testing::WithParamInterface<EnterCase> {};

TEST_P(EnterDebug, OpensTheWindowsTheOptionsAsk)
{
    const EnterCase &c = GetParam();
    TIdePreferences &p = IdePreferences();
    p.open_none = c.none;
    p.open_last = c.last;
    p.open_all = c.all;
    p.open_selected = c.selected;
    for (DebugWindow w : c.show_at_start)
        show_of(w) = true;
    Main();
    for (DebugWindow w : c.show_later)
        show_of(w) = true;
    Main().SetDebugMode(2);
    EXPECT_EQ(m_windows.calls, c.toggles);
    EXPECT_EQ(Main().RunState(), 2);
    EXPECT_EQ(Main().DebugMode(), 2);
    // Staying in debug mode opens nothing again.
    m_windows.calls.clear();
    Main().SetDebugMode(1);
    EXPECT_TRUE(m_windows.calls.empty());
    EXPECT_EQ(Panel(5), "Stopped");
}

INSTANTIATE_TEST_SUITE_P(All, EnterDebug, ::testing::ValuesIn(kEnters),
                         [](const auto &i) { return std::string(i.param.name); });

// A window that is up already is not toggled shut by entering.
TEST_F(Polling, EnteringLeavesAWindowThatIsUp)
{
    IdePreferences().open_all = true;
    m_windows.exists[RecordingDebugWindows::Index(DebugWindow::Stdio)] = true;
    m_windows.shown[RecordingDebugWindows::Index(DebugWindow::Stdio)] = true;
    Main().SetDebugMode(2);
    EXPECT_EQ(std::count(m_windows.calls.begin(), m_windows.calls.end(), "Toggle Stdio"), 0);
    EXPECT_EQ(m_windows.calls.size(), 4u);
}

TEST_F(Polling, LeavingOverTcpClosesTheConnectionAndSendsNoReset)
{
    m_link.settings.link_kind = 1;
    ASSERT_TRUE(set_comm_text(m_link.settings.network_address, "10.0.0.5"));
    m_link.settings.control_port = 4244;
    Run();
    set_compile_mode(0);
    Main().SetDebugMode(0);
    EXPECT_TRUE(Called("TcCheckPendingError"));
    EXPECT_TRUE(Called("TcCloseConnection"));
    EXPECT_FALSE(Called("TcResetTarget"));
    EXPECT_EQ(get_compile_mode(), 1);
    EXPECT_EQ(Main().RunState(), 0);
    EXPECT_FALSE(Main().IsPolling());
    EXPECT_EQ(Panel(6), "IP = ff");
    EXPECT_EQ(Panel(7), "10.0.0.5: 4244");
}

TEST_F(Polling, LeavingOverSerialResetsTheTargetAndAfterALinkLossSkipsOneReset)
{
    Run();
    Main().SetDebugMode(0);
    EXPECT_EQ(Count("TcResetTarget"), 1);
    EXPECT_FALSE(Called("TcCloseConnection"));

    // The link is lost while running: that leave skips the reset...
    Run();
    m_link.link_error = {3, 0, 0, true};
    Main().tmrPollTimer();
    EXPECT_EQ(Main().RunState(), 0);
    EXPECT_FALSE(Called("TcResetTarget"));
    // ...and only that one.
    Run();
    Main().SetDebugMode(0);
    EXPECT_EQ(Count("TcResetTarget"), 1);
}

// A reset that fails while debugging ends changes nothing.
TEST_F(Polling, FailedResetIsIgnored)
{
    Run();
    m_link.fail = [](const std::string &call) {
        if (call == "TcResetTarget")
            throw xTCErr(5033, KX_HERE);
    };
    EXPECT_NO_THROW(Main().SetDebugMode(0));
    EXPECT_EQ(Main().RunState(), 0);
    EXPECT_TRUE(m_boxes.shown.empty());
}

// Leaving closes the windows that are up, without link retries, then restores the retries;
// with "Selected" their visibility becomes their "Show" settings.
TEST_F(Polling, LeavingClosesTheWindowsAndSelectedRemembersThem)
{
    IdePreferences().open_selected = true;
    IdePreferences().open_last = false;
    Run();
    m_windows.calls.clear();
    m_windows.shown[RecordingDebugWindows::Index(DebugWindow::Registers)] = true;
    m_windows.shown[RecordingDebugWindows::Index(DebugWindow::Stdio)] = true;
    m_windows.shown[RecordingDebugWindows::Index(DebugWindow::Trace)] = true;
    m_link.retry_count = 3;
    Main().SetDebugMode(0);
    EXPECT_EQ(m_windows.calls, (std::vector<std::string>{"Toggle Registers", "Toggle Stdio"}));
    const auto get = std::find(m_link.calls.begin(), m_link.calls.end(), "TcGetRetryCount");
    ASSERT_NE(get, m_link.calls.end());
    EXPECT_EQ(*(get + 1), "TcSetRetryCount 0");
    EXPECT_EQ(m_link.retry_count, 3u);
    EXPECT_TRUE(IdePreferences().registers.show);
    EXPECT_TRUE(IdePreferences().stdio.show);
    EXPECT_FALSE(IdePreferences().stack.show);
    EXPECT_TRUE(Main().AutoShow(DebugWindow::Registers));
    EXPECT_FALSE(Main().AutoShow(DebugWindow::Watches));
}

// Over a TCP link that fails while it closes, debug mode is still left (the editors' marks
// gone, the debugger told); the failure comes last.
TEST_F(Polling, LeavingOverAFailingLinkFinishesThenThrows)
{
    const std::string path = Write("a.c", "int a;\n");
    TfrmEdit *editor = Main().OpenFile(path);
    m_link.settings.link_kind = 1;
    Run();
    editor->GetTextEdit()->SetLineMark(pack_position(0, 4), kBreakpointMark);
    editor->GetTextEdit()->SetLineMark(pack_position(0, 0), kExecutionPointMark);
    ASSERT_EQ(editor->MarkerState().Breakpoints().size(), 1u);
    m_link.fail = [](const std::string &call) {
        if (call == "TcCloseConnection")
            throw xTCErr(5033, KX_HERE);
    };
    EXPECT_THROW(Main().SetDebugMode(0), xTCErr);
    EXPECT_EQ(Main().RunState(), 0);
    EXPECT_FALSE(editor->IsReadOnly());
    EXPECT_TRUE(editor->MarkerState().Breakpoints().empty());
    EXPECT_EQ(editor->MarkerState().ExecutionPoint(), std::nullopt);
    EXPECT_TRUE(Called("forgetBreakpoints"));
    EXPECT_FALSE(Main().IsPolling());
}

// Editors are read-only while debugging, an editor opened meanwhile too.
TEST_F(Polling, EditorsAreReadOnlyWhileDebugging)
{
    const std::string a = Write("a.c", "int a;\n");
    const std::string b = Write("b.c", "int b;\n");
    TfrmEdit *first = Main().OpenFile(a);
    Run();
    EXPECT_TRUE(first->IsReadOnly());
    Type(first, "x");
    EXPECT_EQ(first->Text(), "int a;\n");
    TfrmEdit *second = Main().OpenFile(b);
    EXPECT_TRUE(second->IsReadOnly());
    Main().SetDebugMode(0);
    EXPECT_FALSE(first->IsReadOnly());
    EXPECT_FALSE(second->IsReadOnly());
    Type(first, "x");
    EXPECT_EQ(first->Text(), "xint a;\n");
}

// Closing the IDE while debugging leaves debug mode first.
TEST_F(Polling, ClosingLeavesDebugMode)
{
    Run();
    Main().close();
    EXPECT_EQ(Main().RunState(), 0);
    EXPECT_EQ(Count("TcResetTarget"), 1);
    EXPECT_EQ(m_store.project_saves, 1);
}

// ---- trace commands ----------------------------------------------------------------------------

TEST_F(Polling, TraceOnAndOff)
{
    TIdePreferences &p = IdePreferences();
    EXPECT_FALSE(Main().actTraceOnUpdate()) << "edit mode";
    EXPECT_FALSE(Main().actTraceOn->isChecked());
    EXPECT_TRUE(Main().actTraceOff->isChecked());
    Run();
    EXPECT_TRUE(Main().actTraceOnUpdate());
    EXPECT_FALSE(Main().actTraceOffUpdate());
    Main().actTraceOn->trigger();
    EXPECT_EQ(m_link.calls, (std::vector<std::string>{"TcClearTraceFlags", "TcSetTraceFlag 7 on"}));
    EXPECT_TRUE(Main().IsPolling());
    // The target reports tracing on.
    p.tracing = true;
    EXPECT_FALSE(Main().actTraceOnUpdate());
    EXPECT_TRUE(Main().actTraceOffUpdate());
    m_link.calls.clear();
    Main().actTraceOff->trigger();
    EXPECT_EQ(m_link.calls, (std::vector<std::string>{"TcClearTraceFlags", "TcSetTraceFlag 6 on"}));
    p.enable_tracing = false;
    EXPECT_FALSE(Main().actTraceOffUpdate());
}

} // namespace
