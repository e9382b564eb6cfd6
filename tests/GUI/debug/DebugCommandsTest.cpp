// The debug commands: each action's enabled state against the run state and what the windows
// and the debugger report, run and stop, the steps, polling, resetting the program, closing
// the connection, the watch commands, disassembly and the memory dump at an address. The
// debugger, the link and the dialogs are recording doubles.
#include "CommandTestSupport.h"

#include <QMdiArea>
#include <QAction>
#include <QLabel>
#include <QMenu>

#include <map>
#include <set>

#include "core/guiExceptions.h"
#include "link/TC.h"

namespace {

using DebugCommands = CommandTest;

// ---- enabled states -------------------------------------------------------------------------------

struct EnableCase {
    const char *name;
    int run_state;
    bool editor = false;
    bool step_pending = false;
    bool tracing = false;       // "Enable Tracing" on and the trace store reports a running program
    bool disassembly = false;   // the disassembly window exists and is shown
    int breakpoints = 0;
    bool connection = false;
    bool watches = false;       // the watches window exists and is shown
    int watch_count = 0;
    bool watch_selected = false;
    std::set<std::string> enabled; // every other debug action is off
    bool pc_in_line_table = false;
};

const std::set<std::string> kDebugModeAlways = {
    "actToggleBreakpoint", "actToggleHardBrkPt",   "actPollTarget",
    "actEditMode",         "actAddWatch",          "actUpdateWatchWindow",
    "actEvaluateExpression", "actDisassembleAtCursor", "actDisassembleAtAddress",
    "actDumpAtAddress"};

std::set<std::string> with(std::set<std::string> names, const std::set<std::string> &more)
{
    names.insert(more.begin(), more.end());
    return names;
}

const EnableCase kEnableCases[] = {
    {"EditWithoutEditor", 0, false, false, false, false, 0, false, false, 0, false, {}},
    {"EditWithEditor", 0, true, false, false, false, 0, false, false, 0, false, {"actRun"}},
    {"EditConnectionOpen", 0, false, false, false, false, 0, true, false, 0, false,
     {"actCloseSerialPort"}},
    {"Stopped", 1, true, false, false, false, 0, false, false, 0, false,
     with(kDebugModeAlways, {"actRun", "actRunNoPoll", "actStepOver", "actTraceInto",
                             "actToggleInterrupts", "actResetProgram"})},
    {"StoppedStepPending", 1, true, true, false, false, 0, false, false, 0, false,
     with(kDebugModeAlways,
          {"actRun", "actRunNoPoll", "actToggleInterrupts", "actResetProgram"})},
    {"StoppedTraceRunning", 1, true, false, true, false, 0, false, false, 0, false,
     with(kDebugModeAlways, {"actStop", "actRunNoPoll", "actToggleInterrupts",
                             "actResetProgram"})},
    {"StoppedWithDisassembly", 1, false, false, false, true, 0, false, false, 0, false,
     with(kDebugModeAlways, {"actRun", "actRunNoPoll", "actStepOver", "actTraceInto",
                             "actSourceStepOver", "actSourceTraceInto", "actToggleInterrupts",
                             "actResetProgram"})},
    {"StoppedWithBreakpoints", 1, false, false, false, false, 2, false, false, 0, false,
     with(kDebugModeAlways, {"actRun", "actRunNoPoll", "actStepOver", "actTraceInto",
                             "actToggleInterrupts", "actResetProgram", "actClearAllBrkPts"})},
    {"Running", 2, true, false, false, false, 0, false, false, 0, false,
     with(kDebugModeAlways, {"actStop"})},
    {"StoppedAtASourceLine", 1, false, false, false, false, 0, false, false, 0, false,
     with(kDebugModeAlways, {"actRun", "actRunNoPoll", "actStepOver", "actTraceInto",
                             "actToggleInterrupts", "actResetProgram", "actGotoExePoint"}),
     true},
    {"RunningAtASourceLine", 2, false, false, false, false, 0, false, false, 0, false,
     with(kDebugModeAlways, {"actStop"}), true},
    {"RunningWatchesEmpty", 2, false, false, false, false, 0, false, true, 0, true,
     with(kDebugModeAlways, {"actStop", "actDeleteWatchButton"})},
    {"RunningWatchSelected", 2, false, false, false, false, 0, false, true, 3, true,
     with(kDebugModeAlways,
          {"actStop", "actDeleteWatchButton", "actDeleteWatch", "actDeleteAllWatches"})},
    {"RunningWatchesNothingSelected", 2, false, false, false, false, 0, false, true, 3, false,
     with(kDebugModeAlways, {"actStop", "actDeleteWatchButton", "actDeleteAllWatches"})},
};

class Enabling : public DebugCommands, public ::testing::WithParamInterface<EnableCase> {
protected:
    std::map<std::string, QAction *> Actions()
    {
        TfrmMainWindow &m = Main();
        return {{"actRun", m.actRun},
                {"actRunNoPoll", m.actRunNoPoll},
                {"actStop", m.actStop},
                {"actStepOver", m.actStepOver},
                {"actTraceInto", m.actTraceInto},
                {"actSourceStepOver", m.actSourceStepOver},
                {"actSourceTraceInto", m.actSourceTraceInto},
                {"actToggleBreakpoint", m.actToggleBreakpoint},
                {"actToggleHardBrkPt", m.actToggleHardBrkPt},
                {"actClearAllBrkPts", m.actClearAllBrkPts},
                {"actToggleInterrupts", m.actToggleInterrupts},
                {"actPollTarget", m.actPollTarget},
                {"actResetProgram", m.actResetProgram},
                {"actCloseSerialPort", m.actCloseSerialPort},
                {"actEditMode", m.actEditMode},
                {"actAddWatch", m.actAddWatch},
                {"actDeleteWatch", m.actDeleteWatch},
                {"actDeleteWatchButton", m.actDeleteWatchButton},
                {"actDeleteAllWatches", m.actDeleteAllWatches},
                {"actUpdateWatchWindow", m.actUpdateWatchWindow},
                {"actEvaluateExpression", m.actEvaluateExpression},
                {"actDisassembleAtCursor", m.actDisassembleAtCursor},
                {"actDisassembleAtAddress", m.actDisassembleAtAddress},
                {"actDumpAtAddress", m.actDumpAtAddress},
                {"actGotoExePoint", m.actGotoExePoint}};
    }
};

TEST_P(Enabling, EachActionFollowsItsRule)
{
    const EnableCase &c = GetParam();
    if (c.editor)
        Open("a.c", "main(){}\n");
    if (c.run_state)
        Enter(c.run_state);
    m_dbg.step_pending = c.step_pending;
    IdePreferences().enable_tracing = c.tracing;
    m_dbg.trace_running = c.tracing;
    const auto disassembly = RecordingDebugWindows::Index(DebugWindow::Disassembly);
    const auto watches = RecordingDebugWindows::Index(DebugWindow::Watches);
    m_windows.exists[disassembly] = m_windows.shown[disassembly] = c.disassembly;
    m_windows.exists[watches] = m_windows.shown[watches] = c.watches;
    m_dbg.breakpoints = c.breakpoints;
    m_dbg.connection_open = c.connection;
    m_dialogs.watch_count = c.watch_count;
    m_dialogs.watch_selected = c.watch_selected;
    headless_breakpoint_tables().entries.clear();
    gTargetRegisters.PC = 0x0123;
    if (c.pc_in_line_table)
        headless_breakpoint_tables().entries.push_back(
            {SourceTable::Line, Path("a.c"), 3, 1, 0x0123, 0});
    Main().UpdateActions();
    headless_breakpoint_tables().entries.clear();
    const auto actions = Actions();
    ASSERT_EQ(actions.size(), 25u);
    for (const auto &[name, action] : actions)
        EXPECT_EQ(action->isEnabled(), c.enabled.contains(name)) << name;
}

TEST_F(DebugCommands, GoToExecutionPointIsARunCommand)
{
    Enter(1);
    headless_breakpoint_tables().entries.push_back(
        {SourceTable::Line, Path("a.c"), 3, 1, gTargetRegisters.PC, 0});
    Main().UpdateActions();
    QAction *go = Main().actGotoExePoint;
    EXPECT_TRUE(go->isEnabled());
    go->trigger();
    headless_breakpoint_tables().entries.clear();
    EXPECT_TRUE(Called("showExecutionPoint"));
}

INSTANTIATE_TEST_SUITE_P(States, Enabling, ::testing::ValuesIn(kEnableCases),
                         [](const auto &info) { return std::string(info.param.name); });

// A unit that cannot answer (here: the link) leaves the actions that ask it off.
TEST_F(DebugCommands, RefusingLinkLeavesItsActionsOff)
{
    set_debugger_operations(nullptr);
    Main().UpdateActions();
    EXPECT_FALSE(Main().actCloseSerialPort->isEnabled());
    EXPECT_FALSE(Main().actCompileBIOS->isEnabled());
}

// ---- polling ------------------------------------------------------------------------------------

class PollRecordingProject : public TKXProject {
public:
    using TKXProject::TKXProject;
    std::vector<bool> written;
    void WritePollTarget() override { written.push_back(gPollEnabled); }
};

TEST_F(DebugCommands, PollTargetTogglesTheTimerAtOnceAndWritesTheProject)
{
    auto project = std::make_unique<PollRecordingProject>(Path("p.kxp"));
    PollRecordingProject *recording = project.get();
    gProject = std::move(project);
    Enter(2);
    ASSERT_TRUE(Main().IsPolling());
    Main().UpdateActions();
    EXPECT_TRUE(Main().actPollTarget->isChecked());
    Main().actPollTarget->trigger();
    EXPECT_FALSE(gPollEnabled);
    EXPECT_FALSE(Main().IsPolling());
    EXPECT_FALSE(Main().actPollTarget->isChecked());
    Main().actPollTarget->trigger();
    EXPECT_TRUE(Main().IsPolling());
    EXPECT_TRUE(Main().actPollTarget->isChecked());
    EXPECT_EQ(recording->written, (std::vector<bool>{false, true}));
    EXPECT_TRUE(Main().actPollTarget->isEnabled()) << "unlocked after the command";
}

// ---- run, stop, steps ---------------------------------------------------------------------------

TEST_F(DebugCommands, RunInEditModeCompilesThenRunsWhatStaysStopped)
{
    TfrmEdit *editor = Open("a.c", "main(){}\n");
    Main().actRun->trigger();
    EXPECT_TRUE(InOrder({"CompileWithBiosCheck " + editor->FileName(), "startLoadedProgram 1",
                         "ResumePolling", "runProgram"}));
    EXPECT_TRUE(Main().actRun->isEnabled()) << "unlocked after the command";
}

TEST_F(DebugCommands, RunAfterAFailedStartRunsNothing)
{
    Open("a.c", "main(){}\n");
    m_dbg.start_result = 0;
    Main().actRun->trigger();
    EXPECT_FALSE(Called("runProgram"));
}

struct BracketCase {
    const char *name;
    int run_state;
    QAction *TfrmMainWindow::*action;
    std::vector<std::string> calls;
};

class PollingBracket : public DebugCommands, public ::testing::WithParamInterface<BracketCase> {};

// The target call lies between a pause and a resume of polling.
TEST_P(PollingBracket, TargetCallBetweenPauseAndResume)
{
    const BracketCase &c = GetParam();
    Enter(c.run_state);
    (Main().*(c.action))->trigger();
    EXPECT_EQ(m_journal.calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, PollingBracket,
    ::testing::Values(
        BracketCase{"Stop", 2, &TfrmMainWindow::actStop,
                    {"PausePolling", "stopProgram", "ResumePolling"}},
        BracketCase{"RunNoPoll", 1, &TfrmMainWindow::actRunNoPoll, {"PausePolling", "runProgram"}},
        BracketCase{"StepOver", 1, &TfrmMainWindow::actStepOver,
                    {"PausePolling", "startStep 3 1", "ResumePolling"}},
        BracketCase{"DisassembleAtCursor", 1, &TfrmMainWindow::actDisassembleAtCursor,
                    {"PausePolling", "disassembleAtCursor", "ResumePolling"}},
        BracketCase{"ResetProgram", 1, &TfrmMainWindow::actResetProgram,
                    {"ResetTrace 0", "TcResetTarget", "Sleep 500", "startLoadedProgram 0",
                     "refreshAfterStop 0"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(DebugCommands, TwoStepsBeforeTheStopStartOneStep)
{
    Enter(1);
    Main().actStepOver->trigger();
    Main().actStepOver->trigger(); // F8 again before the target reported its stop
    EXPECT_EQ(m_journal.Count("startStep 3 1"), 1);
    m_dbg.step_pending = false; // the stop arrived
    Main().actStepOver->trigger();
    EXPECT_EQ(m_journal.Count("startStep 3 1"), 2);
}

struct StepCase {
    const char *name;
    bool disassembly_adapter; // the disassembly window answers as the assembly interface
    bool instruction_steps;
    bool over;
    const char *call;
};

class StepKind : public DebugCommands, public ::testing::WithParamInterface<StepCase> {};

TEST_P(StepKind, InstructionLevelOnlyWithDisassemblyAndTargetSupport)
{
    const StepCase &c = GetParam();
    IdePreferences().enable_tracing = false;
    m_dbg.instruction_steps = c.instruction_steps;
    cTextAssembly assembly;
    const auto disassembly = RecordingDebugWindows::Index(DebugWindow::Disassembly);
    Enter(1);
    m_windows.exists[disassembly] = c.disassembly_adapter;
    Main().SetAutoShow(DebugWindow::Disassembly, false);
    if (c.disassembly_adapter)
        m_windows.adapters[disassembly] = &assembly;
    (c.over ? Main().actStepOver : Main().actTraceInto)->trigger();
    EXPECT_TRUE(Called(c.call)) << ::testing::PrintToString(m_journal.calls);
    EXPECT_EQ(Called("ResetCycleSumStatus"), c.disassembly_adapter);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, StepKind,
    ::testing::Values(StepCase{"TraceIntoWithoutInstructionSteps", true, false, false,
                               "startStep 3 0"},
                      StepCase{"TraceIntoAtInstructionLevel", true, true, false, "startStep 2 0"},
                      StepCase{"StepOverWithoutDisassembly", false, true, true, "startStep 3 1"},
                      StepCase{"StepOverAtInstructionLevel", true, true, true, "startStep 2 1"}),
    [](const auto &info) { return std::string(info.param.name); });

// A step that fails (or is cancelled) is not waited for: the next one starts.
TEST_F(DebugCommands, FailedStepIsNoLongerPending)
{
    Enter(1);
    m_journal.fail = [](const std::string &call) {
        if (call == "startStep 3 1")
            throw xUserCancel(KX_HERE);
    };
    Main().actStepOver->trigger();
    EXPECT_FALSE(m_dbg.step_pending);
    Main().UpdateActions();
    EXPECT_TRUE(Main().actStepOver->isEnabled());
}

// A locked command's action comes back after its operation failed.
TEST_F(DebugCommands, LockedActionComesBackAfterAFailure)
{
    Enter(1);
    bool enabled_while_running = true;
    m_journal.fail = [&](const std::string &call) {
        if (call == "toggleInterruptPriority") {
            enabled_while_running = Main().actToggleInterrupts->isEnabled();
            Main().UpdateActions(); // the update pass while the status box pumps
            enabled_while_running |= Main().actToggleInterrupts->isEnabled();
            throw xTCErr(5033, KX_HERE);
        }
    };
    Main().actToggleInterrupts->trigger();
    EXPECT_FALSE(enabled_while_running);
    EXPECT_TRUE(Main().actToggleInterrupts->isEnabled());
    EXPECT_EQ(Main().RunState(), 0) << "the error ended debugging";
}

TEST_F(DebugCommands, CloseConnectionLeavesDebugModeWithoutResetting)
{
    Enter(1);
    m_link.calls.clear();
    Main().actCloseSerialPort->trigger();
    EXPECT_EQ(Main().RunState(), 0);
    EXPECT_TRUE(Called("TcCloseConnection"));
    EXPECT_EQ(std::count(m_link.calls.begin(), m_link.calls.end(), "TcResetTarget"), 0)
        << "the link is gone: no reset";
}

// ---- watches ------------------------------------------------------------------------------------

TEST_F(DebugCommands, AddWatchTakesTheSelectionWithoutItsLastLineEnds)
{
    TfrmEdit *editor = Open("a.c", "a\r\nb\r\nc\r\n");
    m_windows.exists[RecordingDebugWindows::Index(DebugWindow::Watches)] = true;
    Enter(1);
    editor->Editor()->SendScintilla(QsciScintillaBase::SCI_SETSEL, 0L, 6L);
    Main().actAddWatchExecute();
    EXPECT_TRUE(InOrder({"PausePolling", "AddWatch a\r\nb", "FocusWatches", "ResumePolling"}));
}

TEST_F(DebugCommands, AddWatchWithoutSelectionTakesTheWordAtTheCaret)
{
    TfrmEdit *editor = Open("a.c", "int counter;\n");
    m_windows.exists[RecordingDebugWindows::Index(DebugWindow::Watches)] = true;
    Enter(1);
    editor->Editor()->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, 6L);
    Main().actAddWatchExecute();
    EXPECT_TRUE(Called("AddWatch counter"));
}

// Without a watches window Add Watch makes one, in the workspace or floating as its "Child"
// setting says, and opens the dialog: the command never does nothing.
TEST_F(DebugCommands, AddWatchMakesTheWatchesWindowInTheWorkspaceOrFloating)
{
    TfrmEdit *editor = Open("a.c", "int counter;\n");
    for (const bool child : {true, false}) {
        SCOPED_TRACE(child ? "child" : "floating");
        Main().Workspace()->setActiveSubWindow(editor);
        editor->Editor()->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, 6L);
        IdePreferences().watch.child = child;
        m_windows.exists[RecordingDebugWindows::Index(DebugWindow::Watches)] = false;
        Enter(1);
        m_windows.calls.clear();
        Main().actAddWatchExecute();
        EXPECT_EQ(m_windows.calls, std::vector<std::string>{"Toggle Watch"});
        EXPECT_TRUE(Called("AddWatch counter")) << ::testing::PrintToString(m_journal.calls);
    }
}

TEST_F(DebugCommands, AddWatchAtTheLimitShowsTheLimitAndNoDialog)
{
    Open("a.c", "int x;\n");
    m_windows.exists[RecordingDebugWindows::Index(DebugWindow::Watches)] = true;
    m_dbg.max_watches = 4;
    m_dialogs.watch_count = 4;
    Enter(1);
    Main().actAddWatchExecute();
    EXPECT_TRUE(Called("ShowWatchLimitMessage"));
    for (const std::string &call : m_journal.calls)
        EXPECT_NE(call.rfind("AddWatch", 0), 0u) << call;
}

struct NoWatchCase {
    const char *name;
    QAction *TfrmMainWindow::*action;
    const char *caption;
};

class WatchesNotEnabled : public DebugCommands,
                          public ::testing::WithParamInterface<NoWatchCase> {};

TEST_P(WatchesNotEnabled, SaysSoAndDoesNothingElse)
{
    const NoWatchCase &c = GetParam();
    m_windows.exists[RecordingDebugWindows::Index(DebugWindow::Watches)] = true;
    m_dbg.watches_enabled = false;
    Enter(1);
    (Main().*(c.action))->trigger();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "Watch support not enabled on target.");
    EXPECT_EQ(m_boxes.shown[0].caption, c.caption);
    EXPECT_FALSE(Called("TcRunWatches"));
    EXPECT_EQ(Main().RunState(), 1);
}

INSTANTIATE_TEST_SUITE_P(Commands, WatchesNotEnabled,
                         ::testing::Values(NoWatchCase{"AddWatch", &TfrmMainWindow::actAddWatch,
                                                       "Error"},
                                           NoWatchCase{"UpdateWatchWindow",
                                                       &TfrmMainWindow::actUpdateWatchWindow,
                                                       "error"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(DebugCommands, DeletingWatchesRunsTheRestAndRefreshes)
{
    const auto watches = RecordingDebugWindows::Index(DebugWindow::Watches);
    m_windows.exists[watches] = m_windows.shown[watches] = true;
    m_dialogs.watch_count = 2;
    m_dialogs.watch_selected = true;
    Enter(1);
    Main().actDeleteWatch->trigger();
    Main().actDeleteAllWatches->trigger();
    EXPECT_EQ(m_journal.calls,
              (std::vector<std::string>{"DeleteSelectedWatch", "TcRunWatches",
                                        "refreshWatchWindow", "DeleteAllWatches", "TcRunWatches",
                                        "refreshWatchWindow"}));
}

// ---- disassembly and dump -----------------------------------------------------------------------

TEST_F(DebugCommands, DumpAtAddressReadsAlignedAndStoresWhereTheNextReadStarts)
{
    Enter(1);
    Main().SetDumpPhysical(1);
    Main().SetDumpXpcOffset(0);
    Main().SetDumpDataSpace(1);
    m_dialogs.dump.physical = 0x12345;
    m_dialogs.dump.logical = 0x2345;
    m_dialogs.dump.address_text = "0x12345";
    m_dialogs.dump_blocks = 3;
    Main().actDumpAtAddress->trigger();
    EXPECT_EQ(m_journal.calls,
              (std::vector<std::string>{"DumpAtAddress", "OpenMemoryDump 1 0 1",
                                        "BeginDumpUpdate", "fillMemoryDump 0x12340 3",
                                        "EndDumpUpdate", "ShowMemoryDump 0x12345"}));
    EXPECT_EQ(Main().GetDumpAddress(), 0x2340u + 128u * 3u);
}

TEST_F(DebugCommands, DumpToFileOrCancelledDumpOpensNoWindow)
{
    Enter(1);
    m_dialogs.dump.to_file = true;
    Main().actDumpAtAddress->trigger();
    m_dialogs.dump.to_file = false;
    m_dialogs.dump_result = false;
    Main().actDumpAtAddress->trigger();
    EXPECT_EQ(m_journal.calls, (std::vector<std::string>{"DumpAtAddress", "DumpAtAddress"}));
}

TEST_F(DebugCommands, DisassembleAtAddressOnlyOnOk)
{
    Enter(1);
    m_dialogs.move_address = 0x1F00;
    Main().actDisassembleAtAddress->trigger();
    m_dialogs.move_result = false;
    Main().actDisassembleAtAddress->trigger();
    EXPECT_EQ(m_journal.Count("disassembleAtAddress 0x1F00"), 1);
}

} // namespace

namespace {

// The editor's popup menu carries the main window's own actions, so its items follow their
// enabled states and run their commands.
TEST_F(DebugCommands, EditorPopupCarriesTheMainWindowsCommands)
{
    TfrmEdit *editor = Open("a.c", "int x;\n");
    std::vector<QAction *> items;
    for (QAction *item : editor->Popup()->actions())
        if (!item->isSeparator() && !item->menu())
            items.push_back(item);
    TfrmMainWindow &m = Main();
    EXPECT_EQ(items, (std::vector<QAction *>{m.actFileNew, editor->actOpenFileAtCursor,
                                             m.actFileClose, editor->actShowCodeTemplates,
                                             m.actEditCut, m.actEditCopy,
                                             m.actEditPaste, m.actFind, m.actEditMode,
                                             m.actAddWatch, editor->actReadOnly,
                                             editor->actUseSyntaxParser,
                                             editor->actEditorProperties}));
    Enter(1);
    m.UpdateActions();
    EXPECT_TRUE(m.actEditMode->isEnabled());
    m.actEditMode->trigger();
    EXPECT_EQ(m.RunState(), 0);
}

} // namespace

// The IDE's own adapter reaches the debugger core: the toggle starts from the priority the
// status bar shows and never talks to the target.
TEST_F(DebugCommands, TheIdesAdapterTogglesTheShownInterruptPriority)
{
    install_debugger_link();
    Enter(1);
    m_link.calls.clear();
    Main().Adapter()->ShowIP(0x41);
    Main().actToggleInterrupts->trigger();
    EXPECT_EQ(Main().StatusPanel(6)->text(), "IP = 40");
    Main().actToggleInterrupts->trigger();
    EXPECT_EQ(Main().StatusPanel(6)->text(), "IP = 43");
    EXPECT_TRUE(m_link.calls.empty()) << "nothing goes to the target";
}
