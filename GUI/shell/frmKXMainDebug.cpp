// frmKXMain, debug side: the poll timer and the run state, entering and leaving debug mode,
// the debug windows the debugger asks for, and the trace on and off commands.
#include "frmKXMain.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include <algorithm>
#include <exception>

#include "debug/frmKXStdio.h"
#include "debug/frmKXWatches.h"
#include "driver/CC_GO.h"
#include "core/SEAM_TARGET.h"
#include "guiHosts.h"
#include "link/cWatchList.h"
#include "debug/frmKXMemoryDump.h"
#include "link/guiTrace.h"
#include "settings/guiKXPreferences.h"
#include "settings/guiProjects.h"

namespace {

constexpr uint32_t kMsgLinkError = 5033; // "Target communication error."

// The windows that entering debug mode opens and leaving it closes, in that order.
constexpr std::array<DebugWindow, 5> kModeWindows = {
    DebugWindow::Disassembly, DebugWindow::Stack, DebugWindow::Registers, DebugWindow::Stdio,
    DebugWindow::Watches};

// The "Show" setting of a window that has one.
bool *show_setting(TIdePreferences &prefs, DebugWindow window)
{
    switch (window) {
    case DebugWindow::Disassembly:
        return &prefs.assembly.show;
    case DebugWindow::Stdio:
        return &prefs.stdio.show;
    case DebugWindow::Registers:
        return &prefs.registers.show;
    case DebugWindow::Watches:
        return &prefs.watch.show;
    case DebugWindow::Stack:
        return &prefs.stack.show;
    case DebugWindow::Trace:
        return &prefs.trace.show;
    case DebugWindow::MemoryDump:
        return nullptr;
    }
    return nullptr;
}

// Runs one step of a sequence that must go on: an error of ours is kept (the first one) for
// the end, the next step still runs.
class KeepFirstError {
public:
    template <class Step>
    void operator()(Step step)
    {
        try {
            step();
        } catch (xErr &) {
            if (!m_error)
                m_error = std::current_exception();
        }
    }
    void RethrowIfAny()
    {
        if (m_error)
            std::rethrow_exception(m_error);
    }

private:
    std::exception_ptr m_error;
};

} // namespace

// ---- poll timer and run state ------------------------------------------------------------------

bool TfrmMainWindow::IsPolling() { return m_poll_timer && m_poll_timer->isActive(); }

void TfrmMainWindow::PausePolling()
{
    if (m_poll_timer)
        m_poll_timer->stop();
    SetRunState(m_run_state);
}

void TfrmMainWindow::ResumePolling()
{
    if (!gPollEnabled)
        return;
    m_poll_timer->start();
    SetRunState(m_run_state);
}

void TfrmMainWindow::SetRunState(int state)
{
    m_run_state = state;
    switch (state) {
    case 0:
        SetStatusPanelText(m_run_state_texts[0], 5);
        ShowCommSummary();
        break;
    case 1:
    case 2:
        gTCState = comm_state_for_run_state(state, IsPolling());
        SetStatusPanelText(m_run_state_texts[state == 1 ? 1 : IsPolling() ? 2 : 3], 5);
        break;
    default:
        break;
    }
}

void TfrmMainWindow::tmrPollTimer()
{
    // A tick that reaches a paused timer counts nothing.
    if (!IsPolling())
        return;
    TargetOperations &link = target_operations();
    bool resume = true;
    try {
        PausePolling();
        const TcLinkError error = link.TcGetLinkError();
        if (error.pending) {
            m_poll_timer->stop();
            link.TcShowLinkError(error.kind, error.type, error.subtype);
            resume = false;
            throw xTCErr(kMsgLinkError, KX_HERE);
        }
        ++m_poll_ticks;
        const TCOptionsType settings = link.GetCommSettings();
        const uint32_t period =
            settings.link_kind ? settings.tcp_poll_period : settings.serial_poll_period;
        // A period shorter than a tick polls on every tick, and the count never passes the
        // ticks of a period (lowered meanwhile, it polls at the next tick).
        const uint32_t ticks_per_poll =
            std::max<uint32_t>(1, period / static_cast<uint32_t>(m_poll_timer->interval()));
        if (m_poll_ticks >= ticks_per_poll && !m_poll_pending) {
            m_poll_ticks = 0;
            m_poll_pending = true;
            if (settings.link_kind)
                link.TcSendDbgPoll();
            else
                link.TcSendSysPoll();
            m_poll_pending = false;
        }
        ResumePolling();
    } catch (xTCErr &e) {
        m_poll_timer->stop();
        reset_compile_mode();
        m_link_lost = true;
        m_poll_pending = false;
        gDialogControl.CloseStatusBox();
        if (resume)
            e.ShowError();
        // The link is gone: each step below may fail on it again, which tells nobody anything
        // new; every step still runs.
        auto quietly = [](auto step) {
            try {
                step();
            } catch (xErr &) {
            }
        };
        if (m_run_state != 0)
            quietly([&] { SetDebugMode(0); });
        quietly([&] { link.TcCheckPendingError(); });
        quietly([&] { link.TcCloseConnection(); });
    } catch (xErr &e) {
        m_poll_pending = false;
        e.ShowError();
    } catch (...) {
        m_poll_pending = false;
        xInternal(KX_HERE).ShowError();
    }
}

// ---- debug mode ----------------------------------------------------------------------------------

void TfrmMainWindow::SetEditorsReadOnly(bool read_only)
{
    for (TfrmEdit *editor : Editors())
        editor->SetReadOnly(read_only);
}

void TfrmMainWindow::SetDebugMode(int mode)
{
    TargetOperations &link = target_operations();
    TIdePreferences &prefs = IdePreferences();
    KeepFirstError keep;
    m_debug_mode = mode;
    if (mode == 0) {
        m_adapter.ShowIP(0xFF);
        keep([&] { PausePolling(); });
        keep([&] {
            if (link.GetCommSettings().link_kind) {
                KeepFirstError close;
                close([&] { link.TcCheckPendingError(); });
                close([&] { link.TcCloseConnection(); });
                set_compile_mode(1);
                close.RethrowIfAny();
            } else if (!m_link_lost) {
                try {
                    link.TcResetTarget();
                } catch (xErr &) {
                    // A reset that fails while debugging ends changes nothing.
                }
            } else {
                m_link_lost = false;
            }
        });
        for (TfrmEdit *editor : Editors())
            keep([&] { editor->ClearDebugMarks(); });
        if (m_run_state != 0) {
            TDebugWindows &windows = debug_windows();
            std::array<bool, kDebugWindowCount> visible{};
            for (DebugWindow window : kModeWindows)
                visible[static_cast<std::size_t>(window)] = windows.IsShown(window);
            // The windows close without retrying a link that may be gone.
            uint32_t retries = 0;
            bool have_retries = false;
            keep([&] {
                retries = link.TcGetRetryCount();
                have_retries = true;
                link.TcSetRetryCount(0);
            });
            for (DebugWindow window : kModeWindows)
                if (visible[static_cast<std::size_t>(window)])
                    keep([&] { windows.Toggle(window); });
            if (have_retries)
                keep([&] { link.TcSetRetryCount(retries); });
            for (DebugWindow window : kModeWindows) {
                bool *show = show_setting(prefs, window);
                if (prefs.open_selected)
                    *show = visible[static_cast<std::size_t>(window)];
                SetAutoShow(window, *show);
            }
            keep([&] { m_adapter.SetRunState(0); });
            SetEditorsReadOnly(false);
        }
    } else if (m_run_state == 0) {
        m_window_failures_told.clear();
        // The load reset the target: its watch table starts empty, whatever an earlier
        // session left in it.
        forget_target_watches();
        SetEditorsReadOnly(true);
        if (prefs.open_selected)
            for (DebugWindow window : kDebugWindows)
                if (const bool *show = show_setting(prefs, window))
                    SetAutoShow(window, *show);
        if (prefs.open_all)
            m_auto_show.fill(true);
        if (prefs.open_none)
            m_auto_show.fill(false);
        for (DebugWindow window : kModeWindows)
            if (AutoShow(window))
                keep([&] { AutoShowWindow(window, true); });
    }
    if (mode == 1 || mode == 2)
        keep([&] { ResumePolling(); });
    else if (mode == 0)
        keep([&] { PausePolling(); });
    m_run_state = mode;
    keep([&] { SetRunState(mode); });
    keep.RethrowIfAny();
}

// ---- the debug windows the debugger asks for ------------------------------------------------------

void TfrmMainWindow::AutoShowWindow(DebugWindow window, bool force)
{
    const bool wanted = (AutoShow(window) && !IdePreferences().open_none) || force;
    TDebugWindows &windows = debug_windows();
    if (!wanted || (windows.Exists(window) && windows.IsShown(window)))
        return;
    try {
        windows.Toggle(window);
    } catch (xUserCancel &) {
        throw;
    } catch (xErr &e) {
        // The operation that asked for the window goes on without it; the same reason is told
        // once a session, not once for each window or each stop.
        const std::string text = e.GetText();
        if (m_window_failures_told.insert(text).second)
            e.ShowError();
    }
}

TRegisterInterface *TfrmMainWindow::ShowRegistersWindow(bool force)
{
    AutoShowWindow(DebugWindow::Registers, force);
    return dynamic_cast<TRegisterInterface *>(debug_windows().Adapter(DebugWindow::Registers));
}

TAssemblyInterface *TfrmMainWindow::ShowDisassemblyWindow(bool force)
{
    AutoShowWindow(DebugWindow::Disassembly, force);
    return dynamic_cast<TAssemblyInterface *>(
        debug_windows().Adapter(DebugWindow::Disassembly));
}

TStackInterface *TfrmMainWindow::ShowStackWindow(bool force)
{
    AutoShowWindow(DebugWindow::Stack, force);
    return dynamic_cast<TStackInterface *>(debug_windows().Adapter(DebugWindow::Stack));
}

TWatchInterface *TfrmMainWindow::ShowWatchesWindow(bool force)
{
    AutoShowWindow(DebugWindow::Watches, force);
    return dynamic_cast<TWatchInterface *>(debug_windows().Adapter(DebugWindow::Watches));
}

// The watches window while it exists: the debugger core refreshes it, the editor's hint and
// the Evaluate dialog evaluate with its list.
TWatchesWindow *TfrmMainWindow::WatchesWindow() { return frmWatches.data(); }

TStdioWindow *TfrmMainWindow::ShowStdioWindow(int flags)
{
    // With the stdio unit installed the debugger core talks to it: it logs, keeps the typed
    // characters and opens the window itself as its options say, also while none is there.
    if (TStdioWindow *unit = installed_stdio_unit())
        return unit;
    AutoShowWindow(DebugWindow::Stdio, (flags & 1) != 0);
    return debug_windows().StdioWindow();
}

// Only the current dump window is shown, and only when there is one.
TDumpInterface *TfrmMainWindow::ShowDumpWindow(bool)
{
    if (TfrmMemoryDump *current = CurrentDumpWindow())
        return current->Adapter();
    TDebugWindows &windows = debug_windows();
    if (windows.Exists(DebugWindow::MemoryDump))
        AutoShowWindow(DebugWindow::MemoryDump, false);
    return dynamic_cast<TDumpInterface *>(windows.Adapter(DebugWindow::MemoryDump));
}

// ---- memory dump windows -------------------------------------------------------------------------

void TfrmMainWindow::AddDumpWindow(TfrmMemoryDump *window)
{
    if (window && std::find(m_dump_windows.begin(), m_dump_windows.end(), window) ==
                      m_dump_windows.end())
        m_dump_windows.emplace_back(window);
}

void TfrmMainWindow::RemoveDumpWindow(TfrmMemoryDump *window)
{
    std::erase_if(m_dump_windows, [window](const QPointer<TfrmMemoryDump> &w) {
        return w.isNull() || w.data() == window;
    });
    if (m_current_dump == window)
        m_current_dump = m_dump_windows.empty() ? nullptr : m_dump_windows.front().data();
}

void TfrmMainWindow::SetCurrentDumpWindow(TfrmMemoryDump *window) { m_current_dump = window; }
TfrmMemoryDump *TfrmMainWindow::CurrentDumpWindow() const { return m_current_dump.data(); }

std::vector<TfrmMemoryDump *> TfrmMainWindow::DumpWindows() const
{
    std::vector<TfrmMemoryDump *> windows;
    for (const QPointer<TfrmMemoryDump> &w : m_dump_windows)
        if (w)
            windows.push_back(w.data());
    return windows;
}

void TfrmMainWindow::RefreshDumpWindows()
{
    for (TfrmMemoryDump *window : DumpWindows())
        if (window->Updateable())
            window->ReRequest(window->ChangeHighlight());
}

void TfrmMainWindow::ApplyDumpWindowOptions(const DumpWindowSettings &options)
{
    for (TfrmMemoryDump *window : DumpWindows())
        window->ApplyOptions(options);
}

void TfrmMainWindow::SetDumpWindowsTextColor(TColor colour)
{
    for (TfrmMemoryDump *window : DumpWindows())
        window->SetTextColor(colour);
}

void TfrmMainWindow::SetDumpWindowsColor(TColor colour)
{
    for (TfrmMemoryDump *window : DumpWindows())
        window->SetBackgroundColor(colour);
}

void TfrmMainWindow::SetDumpWindowsFont(const QFont &font)
{
    for (TfrmMemoryDump *window : DumpWindows())
        window->SetDumpFont(font);
}

// ---- trace on and off ----------------------------------------------------------------------------

void TfrmMainWindow::actTraceOnExecute()
{
    TargetOperations &link = target_operations();
    PausePolling();
    link.TcClearTraceFlags();
    link.TcSetTraceFlag(7, true);
    ResumePolling();
}

void TfrmMainWindow::actTraceOffExecute()
{
    TargetOperations &link = target_operations();
    PausePolling();
    link.TcClearTraceFlags();
    link.TcSetTraceFlag(6, true);
    ResumePolling();
}

bool TfrmMainWindow::actTraceOnUpdate() const
{
    const TIdePreferences &prefs = IdePreferences();
    return prefs.enable_tracing && m_run_state != 0 && !prefs.tracing;
}

bool TfrmMainWindow::actToggleTraceUpdate() const
{
    return gTraceBuf && (gTraceBuf->Count() > 0 || (IdePreferences().enable_tracing && m_run_state != 0));
}

bool TfrmMainWindow::actTraceOffUpdate() const
{
    const TIdePreferences &prefs = IdePreferences();
    return prefs.enable_tracing && m_run_state != 0 && prefs.tracing;
}

void TfrmMainWindow::BuildDebugActions(QMenu *window_menu)
{
    window_menu->addSeparator();
    actToggleMessages = window_menu->addAction(tr("Compiler Messa&ges"));
    actToggleMessages->setStatusTip(tr("Warning and error messages"));
    connect(actToggleMessages, &QAction::triggered, this, [this] {
        guarded([&] {
            UpdateContext(actToggleMessages);
            actToggleMessagesExecute();
        });
    });

    BuildCompileMenu();
    QMenu *run = menuBar()->addMenu(tr("&Run"));
    actTraceOn = run->addAction(tr("Trace O&n"));
    actTraceOff = run->addAction(tr("Trace O&ff"));
    for (QAction *action : {actTraceOn, actTraceOff})
        action->setCheckable(true);
    connect(actTraceOn, &QAction::triggered, this, [this] {
        guarded([&] {
            UpdateContext(actTraceOn);
            if (actTraceOnUpdate())
                actTraceOnExecute();
        });
    });
    connect(actTraceOff, &QAction::triggered, this, [this] {
        guarded([&] {
            UpdateContext(actTraceOff);
            if (actTraceOffUpdate())
                actTraceOffExecute();
        });
    });
    BuildRunCommands(run);
    connect(run, &QMenu::aboutToShow, this, [this] {
        guarded([&] {
            actTraceOn->setEnabled(actTraceOnUpdate());
            actTraceOff->setEnabled(actTraceOffUpdate());
            UpdateCommandActions();
        });
    });
}
