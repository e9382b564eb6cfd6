// frmKXMain, the debug commands: run, stop and the steps, breakpoints, interrupts, polling,
// resetting the program, closing the connection, edit mode, the watch commands, disassembly
// and the memory dump at an address, with each command's enabled state. Every call that talks
// to the target lies between a pause and a resume of polling; the commands that pump messages
// while they run are locked against running twice.
#include "frmKXMain.h"

#include <QAction>
#include <QMenu>

#include <Qsci/qsciscintillabase.h>

#include "core/CC_ADDR.h"
#include "core/SEAM_TARGET.h"
#include "debug/guiDebugger.h"
#include "link/TC.h"
#include "guiHosts.h"
#include "settings/guiKXPreferences.h"
#include "settings/guiProjects.h"

namespace {

constexpr uint32_t kMsgNoWatchSupport = 5166; // "Watch support not enabled on target."
constexpr uint32_t kResetProgramMs = 500;
constexpr uint32_t kDumpBlock = 128;

// The word at the caret (empty where there is none).
std::string word_at_caret(TfrmEdit *editor)
{
    TKorvexMemo *memo = editor->Editor();
    const long at = memo->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS);
    const long start = memo->SendScintilla(QsciScintillaBase::SCI_WORDSTARTPOSITION, at, true);
    const long end = memo->SendScintilla(QsciScintillaBase::SCI_WORDENDPOSITION, at, true);
    if (end <= start)
        return {};
    return editor->Text().substr(static_cast<std::size_t>(start),
                                 static_cast<std::size_t>(end - start));
}

// The selected bytes without the line ends that close them; the word at the caret when nothing
// is selected.
std::string watch_expression(TfrmEdit *editor)
{
    if (!editor)
        return {};
    TKorvexMemo *memo = editor->Editor();
    const long start = memo->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART);
    const long end = memo->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONEND);
    if (end <= start)
        return word_at_caret(editor);
    std::string text = editor->Text().substr(static_cast<std::size_t>(start),
                                             static_cast<std::size_t>(end - start));
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

bool tracing_on() { return IdePreferences().enable_tracing; }

} // namespace

// ---- the dump request of the debugger ------------------------------------------------------------

void TfrmMainWindow::SetDumpPhysical(uint8_t physical) { m_adapter.dump_physical = physical; }
uint8_t TfrmMainWindow::GetDumpPhysical() const { return m_adapter.dump_physical; }
void TfrmMainWindow::SetDumpXpcOffset(uint8_t xpc_offset) { m_adapter.dump_xpc_offset = xpc_offset; }
uint8_t TfrmMainWindow::GetDumpXpcOffset() const { return m_adapter.dump_xpc_offset; }
void TfrmMainWindow::SetDumpAddress(uint32_t address) { m_adapter.dump_start = address; }
uint32_t TfrmMainWindow::GetDumpAddress() const { return m_adapter.dump_start; }
void TfrmMainWindow::SetDumpDataSpace(uint8_t data_space) { m_adapter.dump_data_space = data_space; }
uint8_t TfrmMainWindow::GetDumpDataSpace() const { return m_adapter.dump_data_space; }

// ---- run, stop and steps -------------------------------------------------------------------------

void TfrmMainWindow::actRunExecute()
{
    TDebuggerOperations &dbg = debugger_operations();
    if (m_run_state == 0) {
        if (ConfirmLibraryCompile())
            return;
        CompileToTarget();
        if (m_run_state != 1)
            return;
    } else if (m_run_state != 1) {
        return;
    }
    ResumePolling();
    dbg.runProgram();
}

void TfrmMainWindow::StartStep(bool source_level, int over)
{
    TDebuggerOperations &dbg = debugger_operations();
    if (dbg.StepPending())
        return;
    dbg.SetStepPending(true);
    RunCompileOperation([&] {
        try {
            PausePolling();
            const bool disassembly = m_adapter.GetAssemblyInterface(false) != nullptr;
            if (!source_level && over == 1 && debug_windows().Exists(DebugWindow::Registers))
                command_dialogs().SaveRegistersPosition();
            const int kind = !source_level && disassembly && dbg.canStepInstructions() ? 2 : 3;
            dbg.startStep(kind, over);
            ResumePolling();
            if (disassembly)
                command_dialogs().ResetCycleSumStatus();
        } catch (...) {
            // A step that never started is not waited for.
            dbg.SetStepPending(false);
            throw;
        }
    });
}

void TfrmMainWindow::actStepOverExecute()
{
    if (tracing_on() && m_adapter.GetAssemblyInterface(false) != nullptr)
        StartStep(true, 1);
    else
        StartStep(false, 1);
}

void TfrmMainWindow::actTraceIntoExecute()
{
    if (tracing_on() && debug_windows().Exists(DebugWindow::Disassembly))
        StartStep(true, 0);
    else
        StartStep(false, 0);
}

// ---- polling, reset, connection, edit mode -------------------------------------------------------

void TfrmMainWindow::actPollTargetExecute()
{
    gPollEnabled = !gPollEnabled;
    if (IsPolling())
        PausePolling();
    else
        ResumePolling();
    if (gProject)
        gProject->WritePollTarget();
    actPollTarget->setChecked(gPollEnabled);
}

void TfrmMainWindow::actResetProgramExecute()
{
    TDebuggerOperations &dbg = debugger_operations();
    if (tracing_on())
        dbg.ResetTrace(false);
    dbg.TcResetTarget();
    dbg.Sleep(kResetProgramMs);
    dbg.startLoadedProgram(false);
    dbg.refreshAfterStop(false);
}

void TfrmMainWindow::actCloseSerialPortExecute()
{
    m_link_lost = true;
    if (m_run_state != 0)
        SetDebugMode(0);
    debugger_operations().TcCloseConnection();
}

void TfrmMainWindow::actEditModeExecute()
{
    gTCState = 0;
    ResumePolling();
    SetDebugMode(0);
}

// ---- watches -------------------------------------------------------------------------------------

void TfrmMainWindow::actAddWatchExecute()
{
    TDebuggerOperations &dbg = debugger_operations();
    TCommandDialogs &dialogs = command_dialogs();
    if (!dbg.areWatchesEnabled()) {
        ShowAppMessageBox(GetResString(kMsgNoWatchSupport), GetResString(kMsgErrorCaption),
                          kMbOk | kMbIconError);
        return;
    }
    const std::string expression = watch_expression(ActiveEditorWindow());
    // The watches window is made when first shown, floating or in the workspace as its "Child"
    // setting says: without one the command would do nothing at all.
    TDebugWindows &windows = debug_windows();
    if (!windows.Exists(DebugWindow::Watches))
        windows.Toggle(DebugWindow::Watches);
    GetEditorForFile("", 2);
    PausePolling();
    if (windows.Exists(DebugWindow::Watches)) {
        if (dialogs.WatchCount() < dbg.getMaxWatches()) {
            if (dialogs.AddWatch(expression))
                dialogs.FocusWatches();
        } else {
            dialogs.ShowWatchLimitMessage();
        }
    }
    ResumePolling();
}

void TfrmMainWindow::DeleteWatches(bool all)
{
    if (!debug_windows().Exists(DebugWindow::Watches))
        return;
    TDebuggerOperations &dbg = debugger_operations();
    if (all)
        command_dialogs().DeleteAllWatches();
    else
        command_dialogs().DeleteSelectedWatch();
    dbg.TcRunWatches();
    dbg.refreshWatchWindow();
}

void TfrmMainWindow::actUpdateWatchWindowExecute()
{
    if (!debug_windows().Exists(DebugWindow::Watches))
        return;
    TDebuggerOperations &dbg = debugger_operations();
    if (!dbg.areWatchesEnabled()) {
        // This command's box has always been captioned in lower case.
        ShowAppMessageBox(GetResString(kMsgNoWatchSupport), "error", kMbOk | kMbIconError);
        return;
    }
    PausePolling();
    dbg.TcRunWatches();
    dbg.refreshWatchWindow();
    ResumePolling();
    command_dialogs().FocusWatches();
}

void TfrmMainWindow::actEvaluateExpressionExecute()
{
    TfrmEdit *editor = ActiveEditorWindow();
    command_dialogs().EvaluateExpression(editor ? word_at_caret(editor) : std::string());
}

// ---- disassembly and memory dump -----------------------------------------------------------------

void TfrmMainWindow::actDisassembleAtAddressExecute()
{
    uint32_t address = 0;
    if (command_dialogs().MoveToAddress(address))
        debugger_operations().disassembleAtAddress(address);
}

void TfrmMainWindow::actDumpAtAddressExecute()
{
    TCommandDialogs &dialogs = command_dialogs();
    DumpRequest request;
    if (!dialogs.DumpAtAddress(request) || request.to_file)
        return;
    const uint32_t physical = request.physical & 0xFFFF0u;
    // The start keeps its XPC: the lines of an xpc:offset dump are written with it.
    const uint32_t logical = make_addr(request.xpc, static_cast<uint16_t>(request.logical & 0xFFF0u));
    SetDumpAddress(logical);
    const int blocks =
        dialogs.OpenMemoryDump(GetDumpDataSpace(), GetDumpXpcOffset(), GetDumpPhysical());
    SetDumpAddress(logical);
    dialogs.BeginDumpUpdate();
    debugger_operations().fillMemoryDump(physical, blocks, false);
    SetDumpAddress(logical + kDumpBlock * static_cast<uint32_t>(blocks));
    dialogs.EndDumpUpdate();
    dialogs.ShowMemoryDump(request.address_text);
}

// ---- enabled states ------------------------------------------------------------------------------

bool TfrmMainWindow::DebugRule(QAction *action) const
{
    TDebuggerOperations &dbg = debugger_operations();
    TDebugWindows &windows = debug_windows();
    const bool debug = m_run_state != 0;
    const bool stopped = m_run_state == 1;
    const bool trace_running = tracing_on() && dbg.TraceRunning();
    auto watches_visible = [&] {
        return windows.Exists(DebugWindow::Watches) && windows.IsShown(DebugWindow::Watches);
    };
    if (action == actRun)
        return stopped ? !trace_running : m_run_state == 0 && EditorActive();
    if (action == actStop)
        return m_run_state == 2 || trace_running;
    if (action == actStepOver || action == actTraceInto)
        return stopped && !dbg.StepPending() && !trace_running;
    if (action == actSourceStepOver || action == actSourceTraceInto)
        return stopped && !dbg.StepPending() && windows.Exists(DebugWindow::Disassembly) &&
               windows.IsShown(DebugWindow::Disassembly);
    if (action == actClearAllBrkPts)
        return debug && dbg.userBreakpointCount() > 0;
    if (action == actRunNoPoll || action == actToggleInterrupts || action == actResetProgram)
        return stopped;
    if (action == actCloseSerialPort)
        return dbg.TcIsConnectionOpen();
    if (action == actGotoExePoint) {
        source_item at;
        return stopped && breakpoint_tables().lookupBreakpointByAddress(gTargetRegisters.PC,
                                                                        SourceTable::Line, at);
    }
    if (action == actDeleteWatch)
        return watches_visible() && command_dialogs().HasSelectedWatch() &&
               command_dialogs().WatchCount() > 0;
    if (action == actDeleteWatchButton)
        return watches_visible();
    if (action == actDeleteAllWatches)
        return watches_visible() && command_dialogs().WatchCount() > 0;
    // Breakpoints, polling, edit mode, the other watch commands, disassembly and dump.
    return debug;
}

void TfrmMainWindow::BuildRunCommands(QMenu *run)
{
    // `locked`: the command's own action is off while its operation runs; `runner`: the
    // operation runs under the command runner's error policy.
    enum Mode { Plain = 0, Runner = 1, LockedOnly = 2, Locked = 3 };
    auto add = [&](const QString &caption, const QString &hint, const QKeySequence &shortcut,
                   Mode mode, std::function<void()> execute) {
        QAction *action = run->addAction(caption);
        action->setStatusTip(hint);
        action->setShortcut(shortcut);
        m_command_actions.push_back(action);
        connect(action, &QAction::triggered, this, [this, action, mode, execute] {
            guarded([&] {
                UpdateContext(action);
                if (!CommandAllowed(action))
                    return;
                if (mode & LockedOnly)
                    RunLocked(action, execute, (mode & Runner) != 0);
                else if (mode & Runner)
                    RunCompileOperation(execute);
                else
                    execute();
            });
        });
        return action;
    };
    auto with_polling_paused = [this](std::function<void()> call, bool resume) {
        return [this, call, resume] {
            PausePolling();
            call();
            if (resume)
                ResumePolling();
        };
    };
    run->addSeparator();
    actRun = add(tr("&Run"), tr("Run Korvex source file"), Qt::Key_F9, Locked,
                 [this] { actRunExecute(); });
    actRunNoPoll = add(tr("Run w/No &Polling"), tr("Run w/No Polling"), Qt::ALT | Qt::Key_F9,
                       Locked, with_polling_paused([] { debugger_operations().runProgram(); },
                                                   false));
    actStop = add(tr("&Stop"), tr("Stop execution of running program"), Qt::CTRL | Qt::Key_Q,
                  Locked, with_polling_paused([] { debugger_operations().stopProgram(); }, true));
    actStepOver = add(tr("Step &Over"), tr("Step Over"), Qt::Key_F8, Plain,
                      [this] { actStepOverExecute(); });
    actTraceInto = add(tr("&Trace Into"), tr("Trace Into"), Qt::Key_F7, Plain,
                       [this] { actTraceIntoExecute(); });
    actSourceStepOver = add(tr("Source Step O&ver"), tr("Source Step Over"),
                            Qt::ALT | Qt::Key_F8, Plain, [this] { StartStep(true, 1); });
    actSourceTraceInto = add(tr("Source Trace &Into"), tr("Source Trace Into"),
                             Qt::ALT | Qt::Key_F7, Plain, [this] { StartStep(true, 0); });
    run->addSeparator();
    actToggleBreakpoint = add(tr("Toggle &Breakpoint"), tr("Toggle Breakpoint"), Qt::Key_F2,
                              Locked, [this] {
                                  if (TfrmEdit *editor = ActiveEditorWindow())
                                      editor->ToggleBreakpointAtCursor();
                              });
    actToggleHardBrkPt = add(tr("Toggle &Hard Breakpoint"), tr("Toggle Hard Breakpoint"),
                             Qt::ALT | Qt::Key_F2, Locked, [this] {
                                 if (TfrmEdit *editor = ActiveEditorWindow())
                                     editor->ToggleHardBreakpointAtCursor();
                                 ResumePolling();
                             });
    actClearAllBrkPts = add(tr("Clear &All Breakpoints"), tr("Clear All Breakpoints"),
                            Qt::CTRL | Qt::Key_A, Locked,
                            [] { debugger_operations().removeAllBreakpoints(); });
    actToggleInterrupts = add(tr("To&ggle Interrupts"), tr("Toggle Interrupts"),
                              Qt::CTRL | Qt::Key_I, Locked,
                              [] { debugger_operations().toggleInterruptPriority(); });
    actPollTarget = add(tr("Po&ll Target"), tr("Poll Target"), Qt::CTRL | Qt::Key_L, LockedOnly,
                        [this] { actPollTargetExecute(); });
    actPollTarget->setCheckable(true);
    actResetProgram = add(tr("R&eset Program"), tr("Reset Program"), Qt::CTRL | Qt::Key_F2,
                          Locked, [this] { actResetProgramExecute(); });
    actCloseSerialPort = add(tr("&Close Connection"), tr("Close Connection to Target"), {},
                             Locked, [this] { actCloseSerialPortExecute(); });
    actEditMode = add(tr("&Edit Mode"), tr("Toggle Edit Mode"), Qt::Key_F4, Plain,
                      [this] { actEditModeExecute(); });
    run->addSeparator();
    actAddWatch = add(tr("&Add Watch..."), tr("Add to Watch list"), Qt::CTRL | Qt::Key_W, Runner,
                      [this] { actAddWatchExecute(); });
    actDeleteWatch = add(tr("&Delete Watch"), tr("Delete item from Watch list"), {}, Locked,
                         [this] { DeleteWatches(false); });
    actDeleteWatchButton = add(tr("Delete Watch"), tr("Delete Watch"), {}, Locked,
                               [this] { DeleteWatches(false); });
    run->removeAction(actDeleteWatchButton); // the watches toolbar's button, not a menu item
    actDeleteAllWatches = add(tr("Delete All &Watches"), tr("Delete all watches"), {}, Locked,
                              [this] { DeleteWatches(true); });
    actUpdateWatchWindow = add(tr("&Update Watch Window"), tr("Update Watch Window"),
                               Qt::CTRL | Qt::Key_U, Locked,
                               [this] { actUpdateWatchWindowExecute(); });
    actEvaluateExpression = add(tr("Evaluate Expression..."), tr("Evaluate expression"), {},
                                Plain, [this] { actEvaluateExpressionExecute(); });
    run->addSeparator();
    actDisassembleAtCursor =
        add(tr("D&isassemble at Cursor"), tr("Disassemble at Cursor"), Qt::CTRL | Qt::Key_F10,
            Locked,
            with_polling_paused(
                [this] {
                    TfrmEdit *editor = ActiveEditorWindow();
                    debugger_operations().disassembleAtCursor(editor ? editor->GetTextEdit()
                                                                     : nullptr);
                },
                true));
    actDisassembleAtAddress = add(tr("Disassemble at Address..."), tr("Disassemble at Address"),
                                  Qt::ALT | Qt::Key_F10, Runner,
                                  [this] { actDisassembleAtAddressExecute(); });
    actDumpAtAddress = add(tr("Du&mp At Address..."), tr("Dump at Address"),
                           Qt::CTRL | Qt::Key_D, Runner, [this] { actDumpAtAddressExecute(); });
    run->addSeparator();
    actGotoExePoint = add(tr("&Go to Execution Point"), tr("Go to Execution Point"), {}, Runner,
                          [] { debugger_operations().showExecutionPoint(); });
}
