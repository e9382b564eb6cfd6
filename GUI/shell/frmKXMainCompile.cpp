// frmKXMain, the compile commands: the command runner that owns the error policy of every
// compile and debug command, the library question, choosing the editor to compile, the fixed
// preparation before a compile and the after-compile step, and the compiles to the target, to
// an image file and of the BIOS. The compile-and-load sequence and the target link are reached
// through the debugger operations (guiDebugger), the dialogs through the command dialogs.
#include "frmKXMain.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>

#include <filesystem>
#include <sstream>

#include "driver/CC_DUM.h"
#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "core/CC_MISC.h"
#include "core/SEAM_SETTINGS.h"
#include "core/SEAM_TARGET.h"
#include "frmKXMessages.h"
#include "debug/guiDebugger.h"
#include "guiHosts.h"
#include "RegularFile.h"
#include "settings/guiKXPreferences.h"
#include "guiMainServices.h"
#include "settings/guiProjects.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMsgCompiledToFlash = 4001;
constexpr uint32_t kMsgBiosCompiled = 4002;
constexpr uint32_t kMsgCompiledToRam = 4024;
constexpr uint32_t kMsgBinForRam = 4025;

// How long the BIOS success note stays, and the pause after the reset before a compile.
constexpr uint32_t kBiosNoteMs = 2500;
constexpr uint32_t kResetSettleMs = 250;

bool exists_as_file(const std::string &path)
{
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(normalize_separators(path), ec);
}

// The program directory joined with the name when that file exists, else the name.
std::string prefer_program_directory(const std::string &name)
{
    std::string dir = program_directory();
    if (!dir.empty() && dir.back() != '/')
        dir.push_back('/');
    const std::string joined = dir + name;
    return exists_as_file(joined) ? joined : name;
}

bool same_path_ignoring_case(const std::string &a, const std::string &b)
{
    return equal_ignoring_case(normalize_separators(a), normalize_separators(b));
}

// Shows an error; another xErr raised while showing is shown too, and then the internal error.
// Whatever those raise is swallowed: the command has ended.
template <class Steps>
void show_failure(Steps steps)
{
    try {
        steps();
    } catch (xErr &again) {
        try {
            again.ShowError();
            xInternal(KX_HERE).ShowError();
        } catch (...) {
        }
    } catch (...) {
        try {
            xInternal(KX_HERE).ShowError();
        } catch (...) {
        }
    }
}

// Runs a step and puts a value back afterwards, whichever way the step ends.
template <class T>
class RestoreOnExit {
public:
    explicit RestoreOnExit(T &value) : m_value(value), m_saved(value) {}
    ~RestoreOnExit() { m_value = m_saved; }
    RestoreOnExit(const RestoreOnExit &) = delete;
    RestoreOnExit &operator=(const RestoreOnExit &) = delete;

private:
    T &m_value;
    T m_saved;
};

// Runs `last` when the scope ends, also by a throw (its own failure is then not reported over
// the one in flight).
template <class Last>
class Finally {
public:
    explicit Finally(Last last) : m_last(std::move(last)) {}
    ~Finally() noexcept(false)
    {
        if (std::uncaught_exceptions() > m_pending) {
            try {
                m_last();
            } catch (...) {
            }
        } else {
            m_last();
        }
    }
    Finally(const Finally &) = delete;
    Finally &operator=(const Finally &) = delete;

private:
    Last m_last;
    int m_pending = std::uncaught_exceptions();
};

} // namespace

// ---- the runner ----------------------------------------------------------------------------------

xWindowNotShown::xWindowNotShown(const xErr &cause)
    : xErr(cause), m_cause(std::current_exception())
{
}

int xWindowNotShown::ShowError()
{
    try {
        std::rethrow_exception(m_cause);
    } catch (xErr &cause) {
        return cause.ShowError();
    }
}

void xWindowNotShown::GetMessage(char *buf, std::size_t size) const
{
    try {
        std::rethrow_exception(m_cause);
    } catch (const xErr &cause) {
        cause.GetMessage(buf, size);
    }
}

void TfrmMainWindow::HandleCommandError(xErr &error)
{
    // A window that did not come up is only told: the program stays stopped where it was, its
    // breakpoints set, and the compile mode as it was.
    if (dynamic_cast<xWindowNotShown *>(&error)) {
        show_failure([&] {
            while (QApplication::overrideCursor())
                QApplication::restoreOverrideCursor();
            gDialogControl.CloseStatusBox();
            error.ShowError();
        });
        return;
    }
    show_failure([&] {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        reset_compile_mode();
        gDialogControl.CloseStatusBox();
        error.ShowError();
        if (m_run_state != 0)
            SetDebugMode(0);
    });
}

void TfrmMainWindow::RunCompileOperation(const std::function<void()> &operation)
{
    TDebuggerOperations &dbg = debugger_operations();
    ++m_operations_running;
    Finally done([this] { --m_operations_running; });
    try {
        operation();
    } catch (xUserCancel &) {
        dbg.CloseCompilerSource();
        // A pending error of the link ends the command as any other error does, and the link
        // is closed all the same.
        try {
            if (dbg.LinkIsTcp()) {
                try {
                    dbg.TcCheckPendingError();
                } catch (xErr &pending) {
                    try {
                        dbg.TcCloseConnection();
                    } catch (xErr &) {
                    }
                    HandleCommandError(pending);
                    return;
                }
                dbg.TcCloseConnection();
            }
            gDialogControl.CloseStatusBox();
        } catch (xErr &e) {
            HandleCommandError(e);
        }
    } catch (xErr &e) {
        HandleCommandError(e);
    } catch (...) {
        // Nothing outside our own errors may reach the event loop.
        show_failure([] {
            gDialogControl.CloseStatusBox();
            xInternal(KX_HERE).ShowError();
        });
    }
}

void TfrmMainWindow::RunLocked(QAction *action, const std::function<void()> &operation,
                               bool through_runner)
{
    m_locked_actions.insert(action);
    action->setEnabled(false);
    // The action comes back on every way out, also when the operation throws.
    Finally unlock([this, action] {
        m_locked_actions.erase(action);
        action->setEnabled(true);
    });
    if (through_runner)
        RunCompileOperation(operation);
    else
        operation();
}

// ---- what is compiled ----------------------------------------------------------------------------

bool TfrmMainWindow::ConfirmLibraryCompile()
{
    const TIdePreferences &prefs = IdePreferences();
    if (!prefs.confirm_lib_compile)
        return false;
    std::string file;
    if (prefs.use_default_source_file) {
        file = prefer_program_directory(prefs.default_source_file);
    } else if (TfrmEdit *front = FirstEditor()) {
        file = front->FileName();
    }
    if (file.empty())
        return false;
    // A list that cannot be read (nor a FIFO or device in its place) asks nothing: the
    // compile reports it.
    std::string text;
    (void)read_regular_text(normalize_separators(libraries_file()), kLibrariesListMaxBytes, text);
    std::istringstream list(text);
    for (std::string line; std::getline(list, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        if (line.empty())
            continue;
        if (!same_path_ignoring_case(prefer_program_directory(line), file))
            continue;
        return ShowAppMessageBox("The file being compiled is a library file. Would you like to "
                                 "proceed with the compilation?",
                                 "Library file compilation",
                                 kMbOkCancel | kMbIconExclamation) == kIdCancel;
    }
    return false;
}

TfrmEdit *TfrmMainWindow::GetCompileEditor()
{
    const TIdePreferences &prefs = IdePreferences();
    if (m_compiling_bios || !prefs.use_default_source_file)
        return FirstEditor();
    for (;;) {
        const std::string name = prefer_program_directory(prefs.default_source_file);
        if (exists_as_file(name)) {
            if (TfrmEdit *editor = GetEditorForFile(name, 0))
                return editor;
            return OpenFile(name);
        }
        const int answer = ShowAppMessageBox(
            "Cannot find " + prefs.default_source_file +
                ".  Would you like to specify a default file for this project?",
            "File does not exist", kMbYesNo | kMbIconQuestion);
        if (answer != kIdYes)
            return FirstEditor();
        command_dialogs().AdvancedCompilerOptions(this);
    }
}

void TfrmMainWindow::WriteBackupFile(TfrmEdit *editor)
{
    fs::path backup(normalize_separators(editor->FileName()));
    backup.replace_extension(".bak");
    std::string reason;
    // The compile goes on without the copy: the source itself is untouched.
    if (!WriteToFile(editor, backup.string(), reason))
        ShowAppMessageBox("Unable to write the backup file \"" + backup.string() + "\"\n" +
                              reason,
                          GetResString(kMsgWarningCaption), kMbOk | kMbIconWarning);
}

std::string TfrmMainWindow::PrepareCompile()
{
    TDebuggerOperations &dbg = debugger_operations();
    const TIdePreferences &prefs = IdePreferences();
    if (MessagesVisible())
        actToggleMessagesExecute();
    if (debug_windows().Exists(DebugWindow::Stdio))
        command_dialogs().ClearStdioScreen();
    TfrmEdit *editor = GetCompileEditor();
    // The marks of the last compile's errors go; this compile's messages mark their own.
    for (TfrmEdit *open : Editors())
        open->SetErrorLine(-1);
    if (prefs.auto_save)
        actFileSaveAllExecute();
    if (editor && prefs.create_backup_file && editor->IsModified())
        WriteBackupFile(editor);
    if (!m_compiling_bios) {
        PausePolling();
        try {
            if (dbg.TcIsConnectionOpen() && !dbg.LinkIsTcp() && !dbg.CompilingToFile() &&
                !dbg.FlashWriteMode()) {
                dbg.TcResetTarget();
                dbg.Wait(kResetSettleMs);
            }
        } catch (xUserCancel &) {
            throw;
        } catch (xErr &) {
            // A target that does not take the reset still gets the compile.
        }
    } else {
        gTCState = 3;
        PausePolling();
    }
    if (m_run_state != 0)
        SetDebugMode(0);
    if (m_compiling_bios || !editor)
        return {};
    SetCurrentFile(editor->FileName());
    m_adapter.SetCurrentSourceFile(QBString(editor->FileName()));
    return editor->FileName();
}

// ---- after the compile ---------------------------------------------------------------------------

void TfrmMainWindow::AfterCompile(int status)
{
    TDebuggerOperations &dbg = debugger_operations();
    TIdePreferences &prefs = IdePreferences();
    gDialogControl.CloseStatusBox();
    const bool tcp = dbg.LinkIsTcp();
    if (status & 2) {
        if (tcp) {
            dbg.TcCheckPendingError();
            dbg.TcCloseConnection();
        }
        gDialogControl.CloseStatusBox();
        if (m_compiling_bios)
            set_compile_mode(1);
        if (message_record_count() != 0 || warning_count() != 0) {
            if (TfrmMessages *messages = ShowMessagesWindow()) {
                if (!messages->IsShown())
                    messages->show();
                messages->setFocus();
            }
        }
        if (tcp) {
            set_compile_mode(1);
            dbg.TcCloseConnection();
        }
        FinishCompile();
        return;
    }
    const bool to_file = dbg.CompilingToFile();
    if (gDebugRstState == 1 && !m_compiling_bios && !to_file) {
        const uint32_t note = prefs.output_mode == 1 ? kMsgCompiledToRam : kMsgCompiledToFlash;
        ShowMessageLine(true, "%s", GetResString(note).c_str());
        gDebugRstState = 2;
    } else if (to_file && prefs.output_mode == 1 && !m_compiling_bios) {
        ShowMessageLine(true, "%s", GetResString(kMsgBinForRam).c_str());
    }
    const bool loaded_with_kernel = gDebugRstState == 0 && !m_compiling_bios && !to_file;
    const bool download_only = tcp && prefs.tcp_download_only;
    if (loaded_with_kernel) {
        dbg.readEnabledOptions();
        if (download_only) {
            dbg.TcResetTargetWithMode();
            dbg.TcCloseConnection();
            set_compile_mode(1);
        } else {
            SetDebugMode(1);
        }
    }
    if (status & 1)
        ShowMessagesWindow();
    if (loaded_with_kernel) {
        if (download_only) {
            ShowAppMessageBox("Program Successfully loaded and running on target", "Success",
                              kMbOk);
            return;
        }
        dbg.SetStartAfterLoad(true);
        if (dbg.startLoadedProgram(true) == 0) {
            // The cause was told where the start failed; the flag stays until the next load.
            SetDebugMode(0);
            return;
        }
        dbg.clearTargetBreakpoints();
        ResumePolling();
        dbg.refreshAfterStop(false);
        dbg.SetStartAfterLoad(false);
    }
    FinishCompile();
}

void TfrmMainWindow::FinishCompile()
{
    if (actToggleMessages)
        actToggleMessages->setEnabled(frmMessages && frmMessages->lbxMessages->count() > 0);
    gDialogControl.CloseStatusBox();
    FlashAndBeepAfterCompile(this);
}

// ---- the compiles --------------------------------------------------------------------------------

void TfrmMainWindow::CompileToTarget()
{
    TDebuggerOperations &dbg = debugger_operations();
    const std::string file = PrepareCompile();
    // The flags of this compile never outlive it.
    Finally clear([&dbg] { dbg.ClearCompileFlags(); });
    const int status = dbg.CompileWithBiosCheck(file);
    if (status >= 0)
        AfterCompile(status);
}

void TfrmMainWindow::CompileToBinFile()
{
    TDebuggerOperations &dbg = debugger_operations();
    const std::string file = PrepareCompile();
    // An attached target's BIOS is loaded again after any image compile.
    Finally clear([&dbg] {
        dbg.ClearCompileFlags();
        set_compile_mode(1);
    });
    const int status = dbg.CompileFile(file, IdePreferences().compile_to_bin_with_target);
    if (status >= 0)
        AfterCompile(status);
}

void TfrmMainWindow::CompileToTargetMode(int mode)
{
    if (ConfirmLibraryCompile())
        return;
    TIdePreferences &prefs = IdePreferences();
    if (debugger_operations().CompilingToFile() || mode != prefs.output_mode)
        set_compile_mode(1);
    RestoreOnExit<uint16_t> restore(prefs.output_mode);
    prefs.output_mode = static_cast<uint16_t>(mode);
    RunCompileOperation([this] { CompileToTarget(); });
}

void TfrmMainWindow::CompileToBinMode(int mode)
{
    set_compile_mode(1);
    TIdePreferences &prefs = IdePreferences();
    RestoreOnExit<uint16_t> restore(prefs.output_mode);
    prefs.output_mode = static_cast<uint16_t>(mode);
    RunCompileOperation([this] { CompileToBinFile(); });
}

void TfrmMainWindow::CompileBios()
{
    TDebuggerOperations &dbg = debugger_operations();
    RestoreOnExit<bool> bios(m_compiling_bios);
    m_compiling_bios = true;
    (void)PrepareCompile();
    const int status = dbg.ResetAndLoadBios();
    if (status >= 0)
        AfterCompile(status);
    // Only a BIOS that was really loaded is announced.
    if (status >= 0 && !(status & 2)) {
        gDialogControl.ShowStatusBox(false, "", "");
        gDialogControl.SizeStatusBoxToText(GetResString(kMsgBiosCompiled));
        Finally close([] { gDialogControl.CloseStatusBox(); });
        dbg.Wait(kBiosNoteMs);
    }
}

void TfrmMainWindow::actCompileExecute()
{
    if (ConfirmLibraryCompile())
        return;
    if (IdePreferences().compile_to_target)
        RunCompileOperation([this] { CompileToTarget(); });
    else
        RunCompileOperation([this] { CompileToBinFile(); });
}

// ---- enabled states ------------------------------------------------------------------------------

bool TfrmMainWindow::BoardConfigured() const { return gBoardParameters.boardType != 0; }

bool TfrmMainWindow::CompileRule(QAction *action) const
{
    const bool editor = EditorActive();
    if (action == actCompile)
        return IdePreferences().compile_to_target ? editor : editor && BoardConfigured();
    if (action == actCompileToTargetFlash || action == actCompileToTargetRAM ||
        action == actCompileToTargetFlashRam)
        return editor;
    if (action == actCompileToBinFlash || action == actCompileToBinFlashRam)
        return editor && BoardConfigured();
    if (action == actCompileBIOS)
        return !debugger_operations().LinkIsTcp();
    return DebugRule(action);
}

void TfrmMainWindow::BuildCompileMenu()
{
    QMenu *compile = menuBar()->addMenu(tr("&Compile"));
    auto add = [&](QMenu *menu, const QString &caption, const QString &hint,
                   const QKeySequence &shortcut, std::function<void()> execute) {
        QAction *action = menu->addAction(caption);
        action->setStatusTip(hint);
        action->setShortcut(shortcut);
        m_command_actions.push_back(action);
        connect(action, &QAction::triggered, this, [this, action, execute] {
            guarded([&] {
                UpdateContext(action);
                if (!CommandAllowed(action))
                    return;
                execute();
            });
        });
        return action;
    };
    actCompile = add(compile, tr("&Compile"), tr("Compile using compiler preferences"),
                     Qt::Key_F5, [this] { actCompileExecute(); });
    QMenu *target = compile->addMenu(tr("Compile to &Target"));
    actCompileToTargetFlash = add(target, tr("&Compile to Flash"), tr("Compile To Target Flash"),
                                  {}, [this] { CompileToTargetMode(0); });
    actCompileToTargetRAM = add(target, tr("Compile to &RAM"), tr("Compile to Target RAM"), {},
                                [this] { CompileToTargetMode(1); });
    actCompileToTargetFlashRam =
        add(target, tr("Compile to &Flash, Run in RAM"), tr("Compile to Target Flash, Run in RAM"),
            {}, [this] { CompileToTargetMode(2); });
    QMenu *bin = compile->addMenu(tr("Compile to .&bin File"));
    actCompileToBinFlash = add(bin, tr("&Compile to Flash"), tr("Compile to .bin file"), {},
                               [this] { CompileToBinMode(0); });
    actCompileToBinFlashRam =
        add(bin, tr("Compile to &Flash, Run in RAM"), tr("Compile to .bin file to run in RAM"), {},
            [this] { CompileToBinMode(2); });
    compile->addSeparator();
    actCompileBIOS = add(compile, tr("&Reset Target / Compile BIOS"), tr("Compile BIOS"),
                         Qt::CTRL | Qt::Key_Y, [this] { RunCompileOperation([this] {
                             CompileBios();
                         }); });
    connect(compile, &QMenu::aboutToShow, this, [this] { guarded([&] { UpdateActions(); }); });
}

bool TfrmMainWindow::CommandAllowed(QAction *action) const
{
    if (m_locked_actions.contains(action))
        return false;
    try {
        return CompileRule(action);
    } catch (xErr &) {
        // A unit that cannot answer offers nothing to run.
        return false;
    }
}

void TfrmMainWindow::UpdateCommandActions()
{
    for (QAction *action : m_command_actions)
        action->setEnabled(CommandAllowed(action));
    if (actPollTarget)
        actPollTarget->setChecked(gPollEnabled);
}
