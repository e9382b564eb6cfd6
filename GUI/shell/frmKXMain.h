// frmKXMain: `TfrmMainWindow`, the IDE's main window. Editor windows and the debug windows
// that are MDI children live in its workspace (a QMdiArea), the other debug windows in its dock
// widgets; its status bar has the eight panels every part writes into; it serves the host
// services as the main window (`TMainWindowHost`) behind the one adapter `cMainWindow`.
// frmKXMain.cpp covers how it comes up and goes down, opening, finding and saving source files,
// and the source lines the compiler reads (an open editor's text, else the file);
// frmKXMainStatus.cpp what follows the first show (start-up project, title, compiler start),
// the status bar, the file watch, the messages window and the list services;
// frmKXMainDebug.cpp the poll timer, the run state, debug mode and the debug windows.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "editor/frmKXEditor.h"
#include "editor/frmKXFind.h"
#include "settings/guiEnvironment.h"
#include "debug/guiDebugWindows.h"
#include "core/guiInterface.h"
#include "guiToolbars.h"

class QFont;
class QFrame;
class QLabel;
class QMimeData;
class QToolBar;
class TfrmCustomToolBars;
class QListWidget;
class QMdiArea;
class TfrmEditProperties;
class QMdiSubWindow;
class QMenu;
class QTimer;
class TDebuggerOperations;
class TfrmDockable;
class TfrmMessages;
class TfrmMemoryDump;
class TTraceShell;
class TKorvexPrinter;

// A debug window that could not be shown, with the error that said why. The command runner
// reports it and changes nothing else: the session and the stopped program stay as they were.
class xWindowNotShown : public xErr {
public:
    // Called inside the handler of the cause.
    explicit xWindowNotShown(const xErr &cause);
    int ShowError() override;
    void GetMessage(char *buf, std::size_t size) const override;

private:
    std::exception_ptr m_cause;
};

class TfrmMainWindow : public QMainWindow, public TMainWindowHost, public TToolbarHost {
    Q_OBJECT
public:
    static constexpr int kStatusPanels = 8;
    // The width each status panel has at least; a longer text widens its panel to fit.
    static constexpr std::array<int, kStatusPanels> kStatusPanelWidths = {144, 80, 80, 80,
                                                                          80,  80, 120, 50};

    explicit TfrmMainWindow(QWidget *parent = nullptr);
    ~TfrmMainWindow() override;

    cMainWindow *Adapter() { return &m_adapter; }
    QMdiArea *Workspace() const { return m_workspace; }
    QTimer *FirstTimeOnly() const { return m_first_time_only; }
    // 0 until the first FormShow has finished, 1 afterwards, 0 again once closing passed.
    int Tag() const { return m_tag; }

    void FormCreate();
    // The close query: every editor is asked first; a Cancel (or a save that fails) keeps every
    // window open and changes nothing. Then the project and the settings are saved, once.
    [[nodiscard]] bool FormCloseQuery();
    void CloseIde();
    void FirstTimeOnlyTimer();
    void UpdateContext(QObject *sender);
    QAction *CurrentAction() const { return m_current_action; }
    TfrmEdit *ActiveEditor() const { return m_active_editor; }
    // The current editor's window state changed (the user maximized or restored it): new and
    // newly activated editors follow it.
    void NoteEditorState(TfrmEdit *editor)
    {
        if (editor == ActiveEditorWindow())
            m_editors_maximized = editor->isMaximized();
    }
    bool EditorsMaximized() const { return m_editors_maximized; }

    // Editors in the workspace's creation order.
    std::vector<TfrmEdit *> Editors() const;
    // Flags: bit 0 or 1 opens the file when no editor has it; bit 1 also brings a found editor
    // to the front. An empty name means the current source file.
    TfrmEdit *GetEditorForFile(const std::string &name, int flags) override;
    // A new editor on the file (a second one on an open file shares its text), placed as the
    // file's recently-used entry remembers it, which then leaves the list. A file that exists
    // but cannot be read opens nothing: a box names it and the reason.
    TfrmEdit *OpenFile(const std::string &name);
    // A new editor placed, scrolled and with its caret as the record says; the file's
    // recently-used entry leaves the list. Nothing when the file does not exist.
    TfrmEdit *OpenFileFromEditInfo(const EditorState &info);
    // Editors front first, as the project file lists them.
    std::vector<TfrmEdit *> EditorsFrontFirst() const;
    // The File menu opens: its numbered recently-used items are rebuilt from the list.
    void File1Click();
    // A numbered item was chosen: the file opens when it still exists; otherwise nothing
    // happens and its entry stays.
    void actFileMRUOpen(const std::string &path);
    QMenu *FileMenu() const { return m_file_menu; }
    static bool IsSameFile(const std::string &a, const std::string &b);
    void ShareMemoSource(TfrmEdit *editor);
    // Saves the editor to its own file: a read-only file is refused with a box, a file never
    // saved goes to Save As. True when the text reached the file.
    bool SaveFile(TfrmEdit *editor);
    bool SaveAs(TfrmEdit *editor);
    // Writes the editor's text to `target` (empty: its own file) and leaves the old file whole
    // when that fails (reason set).
    [[nodiscard]] bool WriteToFile(TfrmEdit *editor, const std::string &target,
                                   std::string &reason);
    // The File Open command: the open dialog with several files; each chosen file opens.
    void actFileOpenExecute();
    // Where Open and Save As start, and the folder New names its file in: the folder of the
    // active editor's file, else the folder last used by Open or Save As, else the user's
    // home; never the process's working folder.
    std::string DialogStartFolder() const;
    const std::string &LastFileDir() const { return m_last_file_dir; }
    void ShowAbout();

    // ---- the File, Edit and Project commands (frmKXMainFile.cpp) ----
    // The commands' actions; each one's enabled state comes from UpdateActions, and each
    // execute checks its rule again.
    QAction *actFileNew = nullptr, *actFileOpen = nullptr, *actFileSave = nullptr,
            *actFileSaveAs = nullptr, *actFileSaveAll = nullptr, *actFileClose = nullptr,
            *actFileExit = nullptr;
    QAction *actEditCut = nullptr, *actEditCopy = nullptr, *actEditPaste = nullptr,
            *actUndo = nullptr, *actRedo = nullptr, *actFind = nullptr, *actReplace = nullptr,
            *actFindNext = nullptr, *actAltFindNext = nullptr, *actGrep = nullptr,
            *actGoto = nullptr, *actPreviousError = nullptr,
            *actNextError = nullptr;
    // "&Insert Code Template...": the active editor's code-template list.
    QAction *actShowCodeTemplates = nullptr;
    // Every command's enabled state from the windows as they are now (run when the event loop
    // goes idle, when a menu opens and when an editor's state changes).
    void UpdateActions();
    // The active workspace window when it is a source editor.
    TfrmEdit *ActiveEditorWindow() const;
    // New: the next "Untitled<n>.c" of the current folder that does not exist opens in a new
    // editor (n counts on from the last New); none past 65500 (a box says so, nothing opens).
    TfrmEdit *actFileNewExecute();
    void actFileSaveAllExecute();
    void actFileCloseExecute();
    // Saves the open editor of the file (names compared without regard to case) as Save does;
    // nothing when no editor has it. False when an editor had it and it was not saved.
    bool SaveEditorFile(const std::string &name);
    // Closes every workspace window, last first. False when an editor refused (the command that
    // asked is abandoned; the windows after it in the walk stay).
    [[nodiscard]] bool CloseAllWindows();
    // The clipboard and undo commands on the active editor; Copy by the active window (a source
    // editor, or the compiler messages window).
    void actEditCutExecute();
    void actEditCopyExecute();
    bool actEditCopyUpdate() const;
    void actEditPasteExecute();
    void actUndoExecute();
    void actRedoExecute();
    // Find and Replace open the dialog on the active editor; Find Next repeats the last search
    // there (the Find dialog when there was none).
    void actFindExecute();
    void actReplaceExecute();
    void actFindNextExecute();
    // Find in Files: the setup dialog, then the search with its progress and results windows.
    void actGrepExecute();
    const TSearchRequest &LastSearch() const { return m_last_search; }
    // Go to Line: the dialog; on OK the caret goes to column 0 of the line it names.
    void actGotoExecute();
    void actPreviousErrorExecute();
    void actNextErrorExecute();
    // The Project commands. Create names a new project file (asking before one is overwritten),
    // writes it with the factory settings and makes it the project; Open and Close choose the
    // project that OpenProject opens on a queued call; each saves the project and closes every
    // workspace window first, and an editor that refuses stops it with the project unchanged.
    QAction *actProjectCreate = nullptr, *actProjectOpen = nullptr, *actProjectSave = nullptr,
            *actProjectSaveAs = nullptr, *actProjectClose = nullptr, *actProjectOptions = nullptr;
    void actProjectCreateExecute();
    void actProjectOpenExecute();
    void actProjectSaveExecute();
    void actProjectSaveAsExecute();
    void actProjectCloseExecute();
    // Opens the settings' "Project" as the project; one that cannot be used is told (message
    // 5148) and the default project opens instead. Then the BIOS is to be loaded again, and the
    // title and the connection panel follow.
    void OpenProject();
    // Panel 0 and the caption from the project.
    void UpdateTitle() { SetMainWindowTitle(); }
    const std::string &LastProjectDir() const { return m_last_project_dir; }

    // ---- printing and the other main-window services (frmKXMainPrint.cpp) ----
    // The Options menu's "&Environment Options", and the dialog it shows while it is up.
    QAction *actEnvOptions = nullptr;
    TfrmEditProperties *CreateEditPropertiesForm();
    void FreeEditPropertiesForm();
    TfrmEditProperties *EditPropertiesForm() const { return m_edit_properties; }
    QAction *actPrint = nullptr, *actPrintPreview = nullptr, *actPrintSetup = nullptr;
    // The preview of the active editor's text (an empty one without an editor).
    void actPrintPreviewExecute();
    // The print dialog; on OK the active editor's text, titled with its full file name.
    void actPrintExecute();
    // The page setup dialog; on OK its orientation and margins are the print setup's (saved).
    void actPrintSetupExecute();
    // Prints the editor's text on the printer with the print setup; the pages printed.
    int PrintEditor(TKorvexPrinter &printer, TfrmEdit *editor);
    // The print setup in force (read from the settings when printing is first asked for).
    TPreviewPrinter &PrintSetup() { return m_print_setup; }
    // Find Next on the current editor without a dialog: nothing when no search was made.
    void actAltFindNextExecute();
    // Prints a text that is not an editor's (a function description), through the print
    // dialog, as the document `title`.
    void PrintMemo(QsciScintilla *memo, const std::string &title);
    // The files of every open editor, sorted, each once.
    void GetOpenFileNames(std::vector<std::string> &names) const;
    // The editor in front (the current one, else the top-most), or none.
    TfrmEdit *FirstEditor() const;

    // Status bar. A locked panel keeps its text until it is unlocked.
    void SetStatusPanelText(const std::string &text, int panel) override;
    void LockStatusPanel(int panel, bool locked);
    QLabel *StatusPanel(int panel) const { return m_panels.at(static_cast<std::size_t>(panel)); }
    void SetStatusText(const std::string &text) override { SetStatusPanelText(text, 7); }
    // Panel 7: "%s: %d" with the IP address and TCP port over TCP/IP, else "COM%d: %d" with the
    // serial port and baud rate, from the target link's communication settings.
    void ShowCommSummary();
    // Panel 0 the current project's base name; the caption (and the application's name) that
    // name, " - " and the "Distribution" text, or that text alone for the default project.
    void SetMainWindowTitle();

    // After an outside program changed the file of an open editor: asks once per change (once
    // for editors sharing one text) whether to load it again; Yes keeps the caret.
    void CheckFileTimeStamps();
    // Opens each file as a source file, in the order given (files dropped on the window).
    void DropFiles(const std::vector<std::string> &files);

    // The compiler messages window, brought up and filled.
    TfrmMessages *ShowMessagesWindow();
    // The window's toggle: made (as an MDI child when its "Child" setting is on) and shown, or
    // shown again, or closed when it is up.
    void actToggleMessagesExecute();
    void SetMessagesShown(bool shown) { m_messages_shown = shown; }
    bool MessagesShown() const { return m_messages_shown; }
    QAction *actToggleMessages = nullptr;

    // The selected lines of a list, in order, appended to `strings`.
    void CollectListSelection(const QListWidget *list, std::vector<std::string> &strings) const;
    // The selected lines on the clipboard, each ended by a line break; nothing when none.
    void CopyListSelectionToClipboard(const QListWidget *list);
    // The selected lines into the file chosen in the dialog, one per line. False when nothing
    // was written (cancelled, nothing selected, or the write failed: a box says why).
    bool SaveListSelectionToFile(TFileDialog &dialog, const QListWidget *list);

    // The dockable windows, in the order they were made.
    void AddDockable(TfrmDockable *window);
    void RemoveDockable(TfrmDockable *window);
    const std::vector<TfrmDockable *> &Dockables() const { return m_dockables; }

    // TMainWindowHost.
    void SetCurrentFile(const std::string &file) override { m_current_file = file; }
    const std::string &CurrentFile() const { return m_current_file; }
    int GetSourceLineCount() override;
    std::string GetSourceLine(int line) override; // 1-based
    // How often a source file was read for the line service.
    int FileLoads() const { return m_file_lines.Loads(); }
    // The first editor of the file: the same file on disk first, else a path equal without
    // regard to case.
    TfrmEdit *FindEditor(const std::string &file) override;
    TRegisterInterface *ShowRegistersWindow(bool force) override;
    TAssemblyInterface *ShowDisassemblyWindow(bool force) override;
    TStackInterface *ShowStackWindow(bool force) override;
    TWatchInterface *ShowWatchesWindow(bool force) override;
    TDumpInterface *ShowDumpWindow(bool force) override;
    TStdioWindow *ShowStdioWindow(int flags) override;
    TWatchesWindow *WatchesWindow() override;
    // Every updateable dump window reads its rows again (with change marking when its
    // highlighting is on): on each stop of the target.
    void RefreshDumpWindows() override;
    bool IsStopped() override { return m_run_state == 1; }
    bool IsEditMode() const { return m_run_state == 0; }
    int RunState() const { return m_run_state; }
    // Stores the state and shows it in panel 5: 0 "Edit" and the communication summary, 1
    // "Stopped", 2 "Run Polled" while the poll timer runs, else "Run NoPoll"; with the
    // communication state the target link names its errors by.
    void SetRunState(int state) override;
    void BringToFront() override;

    // The poll timer (100 ms): paused around every other operation on the target, resumed
    // only while polling is enabled.
    bool IsPolling() override;
    void PausePolling() override;
    void ResumePolling() override;
    // One tick: a link error the transport recorded ends the run (shown once, by its kind);
    // else every poll period's worth of ticks one poll goes out (a DBG poll over TCP/IP, a SYS
    // poll over a serial line). Nothing happens while the timer is paused.
    void tmrPollTimer();
    QTimer *PollTimer() const { return m_poll_timer; }
    uint32_t PollTicks() const { return m_poll_ticks; }
    bool LinkLost() const { return m_link_lost; }

    // 0 leaves debug mode (the link closed over TCP/IP, else the target reset unless the link
    // was lost; debug windows closed; editors writable again), 1 or 2 enters or stays in it
    // (editors read-only; the debug windows whose auto-show flag is set opened). A link error
    // on the way is thrown once everything else is done.
    void SetDebugMode(int mode);
    int DebugMode() const { return m_debug_mode; }
    bool AutoShow(DebugWindow window) const
    {
        return m_auto_show[static_cast<std::size_t>(window)];
    }
    void SetAutoShow(DebugWindow window, bool on)
    {
        m_auto_show[static_cast<std::size_t>(window)] = on;
    }
    // Trace on and off in the target.
    void actTraceOnExecute();
    void actTraceOffExecute();
    bool actTraceOnUpdate() const;
    bool actTraceOffUpdate() const;
    QAction *actTraceOn = nullptr;
    QAction *actTraceOff = nullptr;
    // The trace window's toggle (Window menu): enabled while the store holds entries, or in
    // debug mode with "Enable Tracing" on.
    QAction *actToggleTrace = nullptr;
    bool actToggleTraceUpdate() const;

    // The memory dump windows: the list of open ones (in the order they were made) and the
    // current one, which receives the next dump lines.
    void AddDumpWindow(TfrmMemoryDump *window);
    void RemoveDumpWindow(TfrmMemoryDump *window);
    void SetCurrentDumpWindow(TfrmMemoryDump *window);
    TfrmMemoryDump *CurrentDumpWindow() const;
    std::vector<TfrmMemoryDump *> DumpWindows() const;
    // The memory dump part of the settings handed to every dump window.
    void ApplyDumpWindowOptions(const DumpWindowSettings &options);
    // One look handed to every dump window (the Environment Options while "Apply changes to
    // all" is checked).
    void SetDumpWindowsTextColor(TColor colour);
    void SetDumpWindowsColor(TColor colour);
    void SetDumpWindowsFont(const QFont &font);

    // The compile statistics window, modally.
    QAction *actInformation = nullptr;

    // ---- the compile commands (frmKXMainCompile.cpp) ----
    QAction *actCompile = nullptr, *actCompileToTargetFlash = nullptr,
            *actCompileToTargetRAM = nullptr, *actCompileToTargetFlashRam = nullptr,
            *actCompileToBinFlash = nullptr, *actCompileToBinFlashRam = nullptr,
            *actCompileBIOS = nullptr;
    // Runs one compile or debug operation under the error policy: a Cancel in the status box
    // ends it without a message (over TCP/IP the link's pending error is fetched and the link
    // closed); a window that could not be shown (`xWindowNotShown`) is shown and changes
    // nothing else; any other error of ours resets the compile mode, closes the status box, is
    // shown and leaves debug mode; anything else is shown as an internal error. Never throws.
    void RunCompileOperation(const std::function<void()> &operation);
    // The action is off while the operation runs and on again however it ends.
    void RunLocked(QAction *action, const std::function<void()> &operation, bool through_runner);
    // True when the file to compile is on the libraries list and the user declines.
    [[nodiscard]] bool ConfirmLibraryCompile();
    // The editor to compile: the front one, or the project's default source file's.
    TfrmEdit *GetCompileEditor();
    // The fixed preparation; the file to compile (empty for the BIOS).
    std::string PrepareCompile();
    void AfterCompile(int status);
    void CompileToTarget();
    void CompileToBinFile();
    void CompileBios();
    // 0 flash, 1 RAM, 2 flash and run in RAM: "BIOS Memory Mode" is that mode for this one
    // compile and reads as before afterwards, whatever happened.
    void CompileToTargetMode(int mode);
    void CompileToBinMode(int mode);
    void actCompileExecute();
    bool CompilingBios() const { return m_compiling_bios; }
    // Whether an action of the Compile or Run menus may run now: its rule, and not while its
    // own locked operation runs.
    bool CommandAllowed(QAction *action) const;
    void UpdateCommandActions();
    const std::vector<QAction *> &CommandActions() const { return m_command_actions; }

    // ---- the debug commands (frmKXMainRun.cpp) ----
    QAction *actRun = nullptr, *actRunNoPoll = nullptr, *actStop = nullptr,
            *actStepOver = nullptr, *actTraceInto = nullptr, *actSourceStepOver = nullptr,
            *actSourceTraceInto = nullptr, *actToggleBreakpoint = nullptr,
            *actToggleHardBrkPt = nullptr, *actClearAllBrkPts = nullptr,
            *actToggleInterrupts = nullptr, *actPollTarget = nullptr,
            *actResetProgram = nullptr, *actCloseSerialPort = nullptr, *actEditMode = nullptr,
            *actAddWatch = nullptr, *actDeleteWatch = nullptr, *actDeleteWatchButton = nullptr,
            *actDeleteAllWatches = nullptr, *actUpdateWatchWindow = nullptr,
            *actEvaluateExpression = nullptr, *actDisassembleAtCursor = nullptr,
            *actDisassembleAtAddress = nullptr, *actDumpAtAddress = nullptr;
    // Go to Execution Point: the source at the PC, while stopped with the PC in the line table.
    QAction *actGotoExePoint = nullptr;
    // Run: in edit mode compiles to the target first and runs what stays stopped after it.
    void actRunExecute();
    // A step (source level or as the disassembly window allows; over 1 or into 0) unless one
    // is pending; a step that fails to start is no longer pending.
    void StartStep(bool source_level, int over);
    void actStepOverExecute();
    void actTraceIntoExecute();
    void actPollTargetExecute();
    void actResetProgramExecute();
    void actCloseSerialPortExecute();
    void actEditModeExecute();
    void actAddWatchExecute();
    void DeleteWatches(bool all);
    void actUpdateWatchWindowExecute();
    void actEvaluateExpressionExecute();
    void actDisassembleAtAddressExecute();
    void actDumpAtAddressExecute();
    // The memory dump request the debugger reads.
    void SetDumpPhysical(uint8_t physical);
    uint8_t GetDumpPhysical() const;
    void SetDumpXpcOffset(uint8_t xpc_offset);
    uint8_t GetDumpXpcOffset() const;
    void SetDumpAddress(uint32_t address);
    uint32_t GetDumpAddress() const;
    void SetDumpDataSpace(uint8_t data_space);
    uint8_t GetDumpDataSpace() const;

    // ---- the Window and Help menus (frmKXMainWindows.cpp) ----
    QAction *actMinimizeDebug = nullptr, *actMinimizeEditors = nullptr,
            *actWindowMinimizeAll = nullptr, *actWindowCascade = nullptr,
            *actWindowTileHorizontal = nullptr, *actWindowTileVertical = nullptr,
            *actWindowArrangeAll = nullptr, *actCloseAllWindows = nullptr,
            *actCloseEditors = nullptr, *actCloseDebugWindows = nullptr,
            *actRestoreAllWindows = nullptr, *actRestoreEditors = nullptr,
            *actRestoreDebugWindows = nullptr;
    QAction *actToggleStdio = nullptr, *actToggleAsm = nullptr, *actToggleStack = nullptr,
            *actToggleReg = nullptr, *actToggleWatch = nullptr;
    QAction *actHelpAbout = nullptr, *actTip = nullptr, *actSplash = nullptr,
            *actFunctionLookup = nullptr, *actOnlineDoc = nullptr, *actKeyWords = nullptr,
            *actOperators = nullptr, *actFuncRef = nullptr, *actInstructionRef = nullptr,
            *actKeystrokes = nullptr, *actContents = nullptr, *actTechSupport = nullptr,
            *actIORegisters = nullptr;
    // The I/O register reference ("Registers.chm" of the program directory) on the desktop.
    void actIORegistersExecute();
    QMenu *WindowMenu() const { return m_window_menu; }
    // The Window menu's list of workspace windows brought up to date: an item for each window
    // (in the workspace's creation order), none for a window that is gone, every caption the
    // window's own, numbered "&1 " to "1&0 " while there are fewer than eleven.
    void WindowListUpdate();
    // The list's items in menu order.
    std::vector<QAction *> WindowListItems() const;
    // A list item chosen: its window restored when minimized, else shown and activated; nothing
    // when the window is gone.
    void actWinOpenExecute(QAction *item);
    // The workspace windows that are dockable debug windows, and the editors (snapshots).
    std::vector<QMdiSubWindow *> WorkspaceWindows() const;
    std::vector<QMdiSubWindow *> DebugWorkspaceWindows() const;
    std::vector<QMdiSubWindow *> EditorWorkspaceWindows() const;
    // Our own geometry: the windows that are not minimized in strips one below the other
    // (horizontally) or side by side (vertically), the minimized ones in a row along the
    // bottom of the workspace.
    void TileWorkspace(bool horizontally);
    void ArrangeIcons();
    // A debug window's toggle command: the window shown (made when needed) or closed, its shown
    // flag kept, and a window just shown filled. The action is off meanwhile and on again
    // however the toggle ends.
    void ToggleDebugWindow(DebugWindow window);
    // The value of the help settings (the default when missing, empty or a stale absolute
    // path) opened through OpenHelpLocation.
    void OpenHelpUrl(const std::string &value_name, const std::string &def);
    // A help location opened: a web address goes to the opener as one URL, which it may refuse
    // (message 4004); anything else is a file (relative to the program directory unless
    // absolute) that goes to the opener as a file, or "File not found".
    void OpenHelpLocation(const std::string &location);
    // The help file (the user guide): 0 closes help, 2 opens the keystrokes page beside it,
    // any other value the guide itself.
    void ShowHelpContext(uint32_t context);
    // The word at the cursor of the active editor (or of the active description window) looked
    // up in the library function index: a word naming exactly one function shows its
    // description, anything else the lookup window.
    void actFunctionLookupExecute();
    void actTipExecute();
    // The tip of the day as start-up shows it: only when "Show Tips" is on.
    void ShowStartUpTip();

    // ---- toolbars, docking and layout (frmKXMainToolbars.cpp) ----
    static constexpr int kToolBarCount = 10;
    // The control bar above the workspace that holds the docked toolbars.
    QWidget *ToolBarControl() const { return m_toolbar_control; }
    // The toolbar table: one record per toolbar, its index the group of the toolbar's buttons.
    const std::vector<TToolbarEntry> &ToolBarTable() const { return m_toolbar_table; }
    QToolBar *ToolBar(int group) const;
    // The record's index of the toolbar; -1 for a toolbar outside the table.
    int ToolBarIndex(const QToolBar *toolbar) const;
    QToolBar *ConsolidatedToolBar() const { return m_consolidated; }
    // Rebuilds the layout order, lays out now and posts a layout.
    void RelayoutToolBars();
    // The deferred layout: the docked toolbars in rows (nothing before the window's tag is 1).
    void LayoutToolBars();
    void PostLayout();
    // Posts the rebuild of the layout order, which then posts a layout.
    void PostRelayout();
    // Every button of the toolbar normalised from its tag: width by the rule, index renumbered.
    void ArrangeToolBarButtons(QToolBar *toolbar);
    // The sum of the toolbar's button widths by the rule: a separator 7 (a plain button's
    // width while customising), a drop-down 36, any other button 23.
    int ToolBarWidth(const QToolBar *toolbar) const;
    // A copy of the source button on the toolbar before `before` (at its end without).
    QWidget *CopyToolButton(QToolBar *toolbar, QWidget *source, QAction *before = nullptr);
    // The record restored from the stored layout under the prefix; the record as it was when
    // the load fails.
    TToolbarEntry LoadToolBar(const TToolbarEntry &record, const std::string &prefix);
    bool AnyToolBarVisible() const;
    // Layouts done since the window was made.
    int LayoutsDone() const { return m_layouts_done; }
    // The idle work of the toolbars: a toolbar newly floating lays the others out again; the
    // consolidated toolbar floating or docking again lays it out.
    void ToolBarIdle();
    void FloatToolBar(QToolBar *toolbar, const QPoint &at);
    void DockToolBar(QToolBar *toolbar, int x);
    // A drag of a toolbar button, a palette button or a palette label starts: its data.
    QMimeData *StartToolDrag(QObject *dragged);
    bool AcceptsToolDrag(const QMimeData *mime) const;
    // The dragged button dropped on the target at the point (the target's own coordinates).
    void ToolBarDrop(QWidget *target, const QPoint &at);
    bool Customizing() const { return m_customizing; }
    void actConsolidateExecute();
    void actShowAllButtonsExecute();
    void actDefaultToolBarsExecute();
    QAction *actViewToolBars = nullptr, *actViewAllToolBar = nullptr, *actConsolidate = nullptr,
            *actDefaultToolBars = nullptr, *actShowAllButtons = nullptr,
            *actCustomizeToolBars = nullptr, *actSeparator = nullptr;
    const std::vector<QAction *> &ViewToolBarActions() const { return m_view_actions; }
    // TToolbarHost.
    QMainWindow *MainWindow() override { return this; }
    QAction *CommandAction(const std::string &command) override;
    int CommandNumber(const std::string &command) override;
    void SetUpToolbar(QToolBar *toolbar) override;
    QWidget *ControlBar() override { return m_toolbar_control; }
    // The group of the table's toolbar with the caption; -1 for none.
    int ToolBarGroup(const std::string &caption) const;
    // The customise command: the dialog opened (every button draggable and on), or closed.
    void actCustomizeToolBarsExecute();
    // The dialog closed: the buttons back to their styles and their commands' states.
    void EndCustomizing();
    bool eventFilter(QObject *watched, QEvent *event) override;
    // The window's system menu gives up the keys the menus' commands answer to (Ctrl+W).
    void LeaveCommandKeys(QMdiSubWindow *window);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void FormShow();
    void BuildMenus();
    void BuildStatusBar();
    void BuildDebugActions(QMenu *window_menu);
    void BuildWindowMenu();
    void BuildHelpMenu();
    void UpdateWindowActions();
    // Toolbars (frmKXMainToolbars.cpp).
    struct DraggedButton;
    void BuildToolBars(QMenu *window_menu);
    void BuildActionNames();
    TToolbarEntry &RecordOf(const QToolBar *toolbar);
    void SetButtonTag(QToolBar *toolbar, QAction *action, int kind, int group, int index);
    int ButtonWidth(const QWidget *button) const;
    QAction *ActionOfButton(const QObject *source) const;
    void RebuildLayoutOrder();
    void RecheckWidths(QToolBar *toolbar);
    void LayoutConsolidated();
    void ViewToolBar(int index);
    bool ConsolidatePossible() const;
    void UpdateToolBarActions();
    void FreeConsolidated();
    void BuildConsolidated();
    void RebuildConsolidated();
    void RestoreToolBars();
    void SaveToolBars();
    void CloseCustomizeDialog();
    QToolBar *MainToolBarOf(const QObject *button) const;
    QAction *ActionAt(QToolBar *toolbar, const QWidget *button) const;
    void RemoveAction(QToolBar *toolbar, QAction *action);
    QAction *HomeAction(int tag) const;
    void RemoveFromHome(int tag);
    void InsertCopy(QToolBar *toolbar, const DraggedButton &dragged, QAction *before, int group);
    void RemoveToolButton(QWidget *button);
    bool ToolBarEvent(QObject *watched, QEvent *event);
    bool IsDragSource(const QObject *object) const;
    QToolBar *ToolBarAtGrip(const QPoint &at) const;
    void AssignGroup(QToolBar *toolbar, int group);
    void ToggleAndFill(DebugWindow window, TDebugWindows &windows, TDebuggerOperations &dbg);
    void ApplyWindowPlacement();
    TfrmEdit *CreateEditor(const std::string &name, bool exists, const EditorState *remembered);
    void PlaceNewEditor(TfrmEdit *editor);
    // The dockable windows made before the first show that were up when the IDE last closed.
    void ShowDockablesLeftOpen();
    // First-show steps 4 to 9; false when one failed (its reason is in the message list).
    bool StartUpProjectAndCompiler();
    // Shows the window (through its toggle) when its flag asks (and "None" is off) or `force`.
    // A window that fails to show is reported (a text once per debug session) and the caller
    // goes on without it.
    void AutoShowWindow(DebugWindow window, bool force);
    void SetEditorsReadOnly(bool read_only);
    // The File, Edit and Project menus with their commands (frmKXMainFile.cpp).
    void BuildFileMenu();
    void BuildEditMenu();
    void BuildProjectMenu();
    void BuildOptionsMenu();
    void BuildPrintActions(QMenu *file);
    // The Compile menu and the debug commands of the Run menu.
    void BuildCompileMenu();
    void BuildRunCommands(QMenu *run);
    bool CompileRule(QAction *action) const;
    bool DebugRule(QAction *action) const;
    bool BoardConfigured() const;
    void HandleCommandError(xErr &error);
    void WriteBackupFile(TfrmEdit *editor);
    // The after-compile step's end: the messages toggle, the status box, the alert.
    void FinishCompile();
    TKorvexPrinter &Printer();
    // The action runs its execute when its update rule still allows it.
    void Connect(QAction *action, std::function<bool()> allowed, std::function<void()> execute);
    bool EditorActive() const { return ActiveEditorWindow() != nullptr; }
    bool MessagesVisible() const;
    void RunFindDialog(bool replace);
    void RunSearch(int command);
    void QueueOpenProject();

    cMainWindow m_adapter;
    QMdiArea *m_workspace = nullptr;
    QTimer *m_first_time_only = nullptr;
    std::array<QLabel *, kStatusPanels> m_panels{};
    std::array<bool, kStatusPanels> m_panel_locks{};
    std::array<std::string, 4> m_run_state_texts;
    std::string m_current_file;
    std::string m_source_filter;  // message 21
    std::string m_project_filter; // message 23 with the project extension
    std::string m_last_file_dir, m_last_open_file;
    SourceFileLines m_file_lines;
    int m_run_state = 0;
    int m_debug_mode = 0;
    std::set<std::string> m_window_failures_told; // this debug session's
    QTimer *m_poll_timer = nullptr;
    uint32_t m_poll_ticks = 0;
    bool m_poll_pending = false;
    bool m_link_lost = false;
    std::array<bool, kDebugWindowCount> m_auto_show{};
    bool m_messages_shown = false;
    bool m_checking_files = false;
    std::vector<TfrmDockable *> m_dockables;
    std::vector<QPointer<TfrmMemoryDump>> m_dump_windows;
    QPointer<TfrmMemoryDump> m_current_dump;
    std::unique_ptr<TTraceShell> m_trace_shell;
    int m_tag = 0;
    bool m_shown_once = false;
    bool m_close_done = false;
    QAction *m_current_action = nullptr;
    QMenu *m_file_menu = nullptr;
    int m_mru_separator = -1; // the File menu's last separator: recently-used items follow it
    TfrmEdit *m_active_editor = nullptr;
    bool m_editors_maximized = false; // the state the current editor had last
    int m_untitled_counter = 0;
    std::string m_last_project_file, m_last_project_dir;
    TfrmEditProperties *m_edit_properties = nullptr;
    TPreviewPrinter m_print_setup;
    std::shared_ptr<TKorvexPrinter> m_printer; // shared: deleted where it was made
    TSearchRequest m_last_search;
    bool m_compiling_bios = false;
    int m_operations_running = 0;
    std::set<QAction *> m_locked_actions;
    std::vector<QAction *> m_command_actions;
    QMenu *m_window_menu = nullptr;
    QAction *m_window_list_separator = nullptr;
    std::vector<std::pair<QAction *, QPointer<QMdiSubWindow>>> m_window_items;
    QFrame *m_toolbar_control = nullptr;
    QMenu *m_toolbar_menu = nullptr;
    std::vector<TToolbarEntry> m_toolbar_table;
    std::map<std::string, int> m_toolbar_map;
    TToolbarEntry m_scratch_record;
    std::vector<int> m_layout_order;
    std::vector<QAction *> m_view_actions;
    std::map<std::string, QAction *> m_actions_by_name;
    QToolBar *m_consolidated = nullptr;
    bool m_consolidated_floats = false;
    bool m_consolidated_seen_floating = false;
    QPoint m_consolidated_float_pos;
    int m_consolidated_width = 0;
    bool m_customizing = false;
    bool m_layout_posted = false;
    bool m_relayout_posted = false;
    int m_layouts_done = 0;
    int m_floating_before = 0;
    QPointer<QObject> m_drag_source;
    QPointer<QObject> m_press_source;
    QPoint m_press_at;
    QPointer<QToolBar> m_hand_moved;
    QPointer<TfrmCustomToolBars> m_customize;
};

// The main form while it exists.
extern TfrmMainWindow *frmMainWindow;
