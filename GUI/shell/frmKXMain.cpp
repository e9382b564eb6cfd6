// frmKXMain: the main window: start and end, editors, saving, the status bar and the source
// lines the compiler reads.
#include "frmKXMain.h"

#include <QAction>
#include <QDir>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "BoundedFormat.h"
#include "driver/CC_GO.h"
#include "core/CC_MISC.h"
#include "FileReplace.h"
#include "core/SEAM_TARGET.h"
#include "driver/Temporaryglobals.h"
#include "frmKXAbout.h"
#include "frmKXDockable.h"
#include "editor/MemoCodeTemplates.h"
#include "editor/MemoOptions.h"
#include "options/frmKXEnvOptions.h"
#include "frmKXInfo.h"
#include "controls/frmKXMessageBox.h"
#include "guiHosts.h"
#include "settings/guiKXPreferences.h"
#include "guiMruMenu.h"
#include "options/guiOptionsHost.h"
#include "settings/guiProjects.h"
#include "guiStore.h"
#include "kxwStartup.h"
#include "debug/frmKXMemoryDump.h"
#include "link/guiTrace.h"

TfrmMainWindow *frmMainWindow = nullptr;

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRunStateTextIds[4] = {721, 724, 735, 736};

// Whether a command of the menus, or of their submenus, answers to the key.
bool menu_takes_key(const QList<QAction *> &items, const QKeySequence &key)
{
    for (QAction *item : items) {
        if (item->shortcuts().contains(key))
            return true;
        if (QMenu *sub = item->menu(); sub && menu_takes_key(sub->actions(), key))
            return true;
    }
    return false;
}

std::string parent_folder(const std::string &path)
{
    return fs::path(normalize_separators(path)).parent_path().string();
}

std::string name_part(const std::string &path)
{
    return fs::path(normalize_separators(path)).filename().string();
}

// A file counts as read-only when we may not write it, or when nobody may (so that a user who
// may write anything still keeps a file marked read-only).
bool is_read_only(const QFileInfo &info)
{
    const QFile::Permissions write = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return !info.isWritable() || !(info.permissions() & write);
}

// Message 5023 with the whole name (the formatted text would be cut at 1023 bytes), then why.
std::string cannot_open_text(const std::string &name, const std::string &reason)
{
    std::string text = GetResString(5023);
    const std::size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, name);
    return text + "\n" + reason;
}

// The project's file lists reach the main window through this: the editors it writes as open
// files, and the files a loaded project opens.
class MainWindowFileLists : public TProjectWindowHost {
public:
    std::vector<sEditInfo> OpenEditors() override
    {
        std::vector<sEditInfo> states;
        if (frmMainWindow)
            for (TfrmEdit *editor : frmMainWindow->EditorsFrontFirst())
                states.push_back(editor->State());
        return states;
    }
    // A file already open (the one named on the command line opens before the project) keeps
    // its one editor: a second window on the same text only confuses which one is compiled.
    void OpenFileFromEditInfo(const sEditInfo &info) override
    {
        if (frmMainWindow && !frmMainWindow->FindEditor(info.path))
            frmMainWindow->OpenFileFromEditInfo(info);
    }
};

MainWindowFileLists g_file_lists;

// A maximized workspace window keeps its own title bar instead of merging its caption into the
// main window's: the main window's caption stays the project's, set in one place, and no stale
// copy of it comes back when the child is restored.
class WorkspaceStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *answer) const override
    {
        if (hint == QStyle::SH_Workspace_FillSpaceOnMaximize)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, answer);
    }
};

void install_workspace_style()
{
    if (dynamic_cast<WorkspaceStyle *>(QApplication::style()))
        return;
    QApplication::setStyle(new WorkspaceStyle(QApplication::style()->name()));
}

// The trace store reaches the main window's trace actions and the trace window's toggle.
class MainTraceShell : public TTraceShell {
public:
    explicit MainTraceShell(TfrmMainWindow *main) : m_main(main) {}
    void TraceOn() override { m_main->actTraceOnExecute(); }
    void TraceOff() override { m_main->actTraceOffExecute(); }
    void ToggleTraceWindow() override { m_main->ToggleDebugWindow(DebugWindow::Trace); }
    bool TraceWindowShown() override
    {
        TDebugWindows &windows = debug_windows();
        return windows.Exists(DebugWindow::Trace) && windows.IsShown(DebugWindow::Trace);
    }

private:
    TfrmMainWindow *m_main;
};

} // namespace

TfrmMainWindow::TfrmMainWindow(QWidget *parent) : QMainWindow(parent), m_adapter(this)
{
    frmMainWindow = this;
    install_workspace_style();
    set_project_window_host(&g_file_lists);
    setWindowTitle(QString::fromLatin1(GetResString(16).c_str()));
    resize(812, 660);
    m_workspace = new QMdiArea(this);
    m_workspace->setBackground(colour_of(IdePreferences().workspace_color));
    setCentralWidget(m_workspace);
    // Editors pass the maximized state among themselves; the messages and debug windows come
    // up over a maximized editor without taking the state from it (the workspace would
    // otherwise maximize them and so restore the editor).
    m_workspace->setOption(QMdiArea::DontMaximizeSubWindowOnActivation);
    // Each window of the workspace gives up the keys of the menus' commands once it is
    // polished (see eventFilter).
    m_workspace->viewport()->installEventFilter(this);
    connect(m_workspace, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow *window) {
        guarded([&] {
            auto *editor = dynamic_cast<TfrmEdit *>(window);
            if (!editor)
                return;
            if (m_editors_maximized && !editor->isMaximized() && !editor->isMinimized())
                editor->showMaximized();
            m_editors_maximized = editor->isMaximized();
            editor->FormActivate();
        });
    });
    m_source_filter = GetResString(21);
    const std::string project_ext = fs::path("default.kxp").extension().string();
    m_project_filter = GetResString(23, project_ext.c_str(), project_ext.c_str());
    m_first_time_only = new QTimer(this);
    m_first_time_only->setSingleShot(true);
    m_first_time_only->setInterval(1);
    connect(m_first_time_only, &QTimer::timeout, this,
            [this] { guarded([&] { FirstTimeOnlyTimer(); }); });
    m_poll_timer = new QTimer(this);
    m_poll_timer->setInterval(100);
    connect(m_poll_timer, &QTimer::timeout, this, [this] { guarded([&] { tmrPollTimer(); }); });
    const TIdePreferences &prefs = IdePreferences();
    SetAutoShow(DebugWindow::Disassembly, prefs.assembly.show);
    SetAutoShow(DebugWindow::Stdio, prefs.stdio.show);
    SetAutoShow(DebugWindow::Registers, prefs.registers.show);
    SetAutoShow(DebugWindow::Watches, prefs.watch.show);
    SetAutoShow(DebugWindow::Stack, prefs.stack.show);
    SetAutoShow(DebugWindow::Trace, prefs.trace.show);
    setAcceptDrops(true);
    BuildStatusBar();
    BuildMenus();
    m_trace_shell = std::make_unique<MainTraceShell>(this);
    set_trace_shell(m_trace_shell.get());
}

// The editors go first, while the window they report to is whole.
TfrmMainWindow::~TfrmMainWindow()
{
    // The dockable windows leave the list and save their placement while the list is whole;
    // one still up takes its place as it is now.
    while (!m_dockables.empty()) {
        TfrmDockable *window = m_dockables.back();
        window->SavePosition();
        if (QWidget *host = window->Host())
            delete host;
        else
            delete window;
        if (!m_dockables.empty() && m_dockables.back() == window)
            m_dockables.pop_back();
    }
    // Closed windows waiting for their deferred delete are children too, though no longer in
    // the workspace's list; the workspace could not take them down itself.
    for (QMdiSubWindow *window : m_workspace->viewport()->findChildren<QMdiSubWindow *>(
             QString(), Qt::FindDirectChildrenOnly))
        delete window;
    if (&trace_shell() == m_trace_shell.get())
        set_trace_shell(nullptr);
    if (frmMainWindow == this) {
        frmMainWindow = nullptr;
        set_project_window_host(nullptr);
    }
}

// A workspace window's system menu closes it with Ctrl+F4 and, as Qt binds it on this platform,
// with Ctrl+W, which is Add Watch here. Qt drops a key that two actions of the focused window
// answer to, so with the focus in an editor or a debug window Ctrl+W did nothing at all. The
// system menu keeps the keys no command of the menus has.
void TfrmMainWindow::LeaveCommandKeys(QMdiSubWindow *window)
{
    QMenu *system = window->systemMenu();
    if (!system)
        return;
    const QList<QAction *> commands = menuBar()->actions();
    for (QAction *item : system->actions()) {
        QList<QKeySequence> keys = item->shortcuts();
        const auto taken = std::remove_if(keys.begin(), keys.end(), [&](const QKeySequence &key) {
            return menu_takes_key(commands, key);
        });
        if (taken == keys.end())
            continue;
        keys.erase(taken, keys.end());
        item->setShortcuts(keys);
    }
}

// Eight panels, added as permanent widgets so that status tips do not hide them. Panels 1 and
// 2 start as "Line:" and "Col:".
void TfrmMainWindow::BuildStatusBar()
{
    for (int i = 0; i < kStatusPanels; ++i) {
        auto *panel = new QLabel(this);
        panel->setMinimumWidth(kStatusPanelWidths[static_cast<std::size_t>(i)]);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addPermanentWidget(panel, i == kStatusPanels - 1 ? 1 : 0);
        m_panels[static_cast<std::size_t>(i)] = panel;
    }
    m_panels[1]->setText(QStringLiteral("Line:"));
    m_panels[2]->setText(QStringLiteral("Col:"));
}

void TfrmMainWindow::BuildMenus()
{
    BuildFileMenu();
    BuildEditMenu();
    BuildProjectMenu();
    BuildOptionsMenu();

    m_window_menu = menuBar()->addMenu(tr("&Window"));
    BuildDebugActions(m_window_menu);
    BuildWindowMenu();
    BuildHelpMenu();
    BuildToolBars(m_window_menu);
    // Button drags dropped on the window itself take the button off its toolbar.
    installEventFilter(this);
}

void TfrmMainWindow::ShowAbout()
{
    auto *about = new TfrmAbout(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->setWindowModality(Qt::ApplicationModal);
    about->show();
}

void TfrmMainWindow::FormCreate()
{
    for (std::size_t i = 0; i < m_run_state_texts.size(); ++i)
        m_run_state_texts[i] = GetResString(kRunStateTextIds[i]);
    // No folder used yet: Open and Save As start beside the active file, else in the home
    // folder, never in the installation's folder.
    m_last_file_dir.clear();
    TIdePreferences &prefs = IdePreferences();
    for (std::string *dir : {&prefs.open_file_dir, &prefs.project_dir, &prefs.adv_bios_dir,
                             &prefs.adv_lib_dir, &prefs.adv_source_dir, &prefs.board_file_dir})
        *dir = program_directory();
    gDialogControl.SetBoxFactory(qt_status_box_factory(this));
    // The code templates every editor inserts: ours under the configuration folder, first
    // seeded from the program directory's file.
    std::string seed = program_directory();
    if (!seed.empty() && seed.back() != '/')
        seed.push_back('/');
    const std::string problem = TemplatesSource().Load(TTemplatesSource::DefaultPath(),
                                                       seed.empty() ? seed : seed + "kxwd.ctx");
    if (!problem.empty())
        ShowAppMessageBox(problem, "Error", kMbOk | kMbIconError);
}

void TfrmMainWindow::ApplyWindowPlacement()
{
    const TIdePreferences &prefs = IdePreferences();
    switch (prefs.window_state) {
    case TWindowState::Normal:
        setWindowState(Qt::WindowNoState);
        setGeometry(prefs.left, prefs.top, prefs.width, prefs.height);
        break;
    case TWindowState::Minimized:
        setWindowState(Qt::WindowMinimized);
        break;
    case TWindowState::Maximized:
        setWindowState(Qt::WindowMaximized);
        break;
    }
}

void TfrmMainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shown_once)
        return;
    m_shown_once = true;
    FormShow();
}

// Whatever fails here becomes the start-up failure text; the first-show timer then closes the
// window and the start-up reports the text.
void TfrmMainWindow::FormShow()
{
    try {
        ApplyWindowPlacement();
        std::error_code ec;
        std::string start = fs::current_path(ec).string();
        if (start.empty() || start.back() != '/')
            start += '/';
        set_compiler_directories(program_directory(), start, default_system_config_dirs());
        // The file watch runs when the application comes back to the front (the main window not
        // minimized) and when the main window is restored (changeEvent).
        connect(qApp, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) {
                    guarded([&] {
                        if (state == Qt::ApplicationActive && !isMinimized())
                            CheckFileTimeStamps();
                    });
                });
        if (!gCmdLineSource.empty())
            OpenFile(gCmdLineSource);
        actTraceOn->setChecked(false);
        actTraceOff->setChecked(true);
        m_tag = 1;
        RestoreToolBars();
        ShowDockablesLeftOpen();
    } catch (xErr &e) {
        gStartupErrorText = e.GetText();
    } catch (const std::exception &e) {
        gStartupErrorText = e.what();
    } catch (...) {
        gStartupErrorText = gStartupErrorCaption;
    }
    if (m_tag != 1 && gStartupErrorText.empty())
        gStartupErrorText = gStartupErrorCaption;
}

void TfrmMainWindow::UpdateContext(QObject *sender)
{
    m_current_action = qobject_cast<QAction *>(sender);
    m_active_editor = ActiveEditorWindow();
}

std::vector<TfrmEdit *> TfrmMainWindow::Editors() const
{
    std::vector<TfrmEdit *> editors;
    for (QMdiSubWindow *window : m_workspace->subWindowList(QMdiArea::CreationOrder))
        if (auto *editor = dynamic_cast<TfrmEdit *>(window); editor && !editor->Closing())
            editors.push_back(editor);
    return editors;
}

bool TfrmMainWindow::FormCloseQuery()
{
    if (!gStartupErrorText.empty()) {
        for (QMdiSubWindow *window : m_workspace->subWindowList())
            window->close();
        return true;
    }
    // Every editor is asked before anything happens; an editor sharing its text with one
    // already asked is not asked again.
    std::vector<TfrmEdit *> editors = Editors();
    std::vector<TfrmEdit *> to_save;
    std::vector<const void *> asked;
    for (auto it = editors.rbegin(); it != editors.rend(); ++it) {
        TfrmEdit *editor = *it;
        if (!editor->IsModified())
            continue;
        const void *document = reinterpret_cast<const void *>(editor->Editor()->SendScintilla(
            QsciScintillaBase::SCI_GETDOCPOINTER));
        if (std::find(asked.begin(), asked.end(), document) != asked.end())
            continue;
        asked.push_back(document);
        const int answer = editor->AskToSave();
        if (answer == kIdCancel)
            return false;
        if (answer == kIdYes)
            to_save.push_back(editor);
    }
    for (TfrmEdit *editor : to_save) {
        SaveFile(editor);
        if (editor->IsModified())
            return false;
    }
    // Debug mode is left first (the Edit Mode command); a link that fails on the way is
    // reported and the close goes on.
    if (!IsEditMode()) {
        gTCState = 0;
        try {
            ResumePolling();
            SetDebugMode(0);
        } catch (xErr &e) {
            e.ShowError();
        }
        QCoreApplication::processEvents();
    }
    ide_store().SaveProject();
    for (auto it = editors.rbegin(); it != editors.rend(); ++it)
        (*it)->CloseDecided();
    CloseCustomizeDialog();
    SaveToolBars();
    TIdePreferences &prefs = IdePreferences();
    const QRect bounds = normalGeometry().isValid() ? normalGeometry() : geometry();
    prefs.top = bounds.top();
    prefs.left = bounds.left();
    prefs.height = bounds.height();
    prefs.width = bounds.width();
    prefs.window_state = isMaximized()   ? TWindowState::Maximized
                         : isMinimized() ? TWindowState::Minimized
                                         : TWindowState::Normal;
    ide_store().SaveEnvironment();
    SaveEditorOptions();
    m_tag = 0;
    return true;
}

void TfrmMainWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    guarded([&] {
        if (!m_close_done && !FormCloseQuery())
            return;
        m_close_done = true;
        event->accept();
    });
}

void TfrmMainWindow::CloseIde()
{
    if (!m_close_done && !FormCloseQuery())
        return;
    m_close_done = true;
    close();
    QApplication::quit();
}

bool TfrmMainWindow::IsSameFile(const std::string &a, const std::string &b)
{
    std::error_code ec;
    const fs::path pa(normalize_separators(a)), pb(normalize_separators(b));
    if (fs::exists(pa, ec) && fs::exists(pb, ec)) {
        const bool same = fs::equivalent(pa, pb, ec);
        return !ec && same;
    }
    const fs::path abs_a = fs::absolute(pa, ec).lexically_normal();
    const fs::path abs_b = fs::absolute(pb, ec).lexically_normal();
    return !ec && abs_a == abs_b;
}

TfrmEdit *TfrmMainWindow::FindEditor(const std::string &file)
{
    const std::vector<TfrmEdit *> editors = Editors();
    for (TfrmEdit *editor : editors)
        if (IsSameFile(editor->FileName(), file))
            return editor;
    for (TfrmEdit *editor : editors)
        if (equal_ignoring_case(normalize_separators(editor->FileName()),
                                normalize_separators(file)))
            return editor;
    return nullptr;
}

TfrmEdit *TfrmMainWindow::GetEditorForFile(const std::string &name, int flags)
{
    const std::string file = name.empty() ? m_current_file : name;
    TfrmEdit *editor = FindEditor(file);
    if (!editor)
        return (flags & 3) ? OpenFile(file) : nullptr;
    if (flags & 2) {
        editor->show();
        m_workspace->setActiveSubWindow(editor);
        editor->raise();
    }
    return editor;
}

void TfrmMainWindow::ShareMemoSource(TfrmEdit *editor)
{
    for (TfrmEdit *other : Editors()) {
        if (other == editor || !IsSameFile(other->FileName(), editor->FileName()))
            continue;
        editor->JoinMemoSource(other);
        return;
    }
}

TfrmEdit *TfrmMainWindow::CreateEditor(const std::string &name, bool exists,
                                       const EditorState *remembered)
{
    auto editor = std::make_unique<TfrmEdit>(this, name);
    if (exists) {
        std::string reason;
        if (!editor->LoadFromFile(reason)) {
            ShowAppMessageBox(cannot_open_text(name, reason), GetResString(kMsgErrorCaption),
                              kMbOk | kMbIconError);
            return nullptr;
        }
    }
    TfrmEdit *opened = editor.release();
    m_workspace->addSubWindow(opened);
    if (!IsEditMode())
        opened->SetReadOnly(true);
    if (remembered)
        opened->ApplyPlacement(*remembered);
    else
        PlaceNewEditor(opened);
    opened->MarkUnmodified();
    ShareMemoSource(opened);
    if (opened->MarkerState().ShareCount() == 0)
        opened->LoadBookmarks();
    if (remembered)
        opened->RestoreCaret(*remembered);
    opened->show();
    m_workspace->setActiveSubWindow(opened);
    return opened;
}

// Without a remembered place: maximized when the editors are, else sized for 80 columns and
// 25 lines, each new one a step down and right of the one before (back to the corner when the
// next would leave the workspace).
void TfrmMainWindow::PlaceNewEditor(TfrmEdit *editor)
{
    if (m_editors_maximized) {
        editor->showMaximized();
        return;
    }
    const QSize text = editor->TextAreaSize(80, 25);
    // The window's frame and title bar around the memo, by the style (the window is not laid
    // out before it is shown).
    const int border = editor->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr,
                                                    editor);
    const int title = editor->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, editor);
    QSize wanted = text + QSize(2 * border, title + border);
    const QSize room = m_workspace->viewport()->size();
    if (room.width() > 0 && room.height() > 0)
        wanted = wanted.boundedTo(room);
    constexpr int kStep = 24;
    const int step = kStep * static_cast<int>(Editors().size() - 1);
    QPoint at(step, step);
    if (at.x() + wanted.width() > room.width() || at.y() + wanted.height() > room.height())
        at = QPoint(0, 0);
    editor->setGeometry(QRect(at, wanted));
}

TfrmEdit *TfrmMainWindow::OpenFile(const std::string &name)
{
    const int index = ide_store().MruFindFile(name);
    const std::optional<EditorState> remembered =
        index >= 0 ? ide_store().MruGetEntry(index) : std::nullopt;
    std::error_code ec;
    const bool exists = fs::exists(normalize_separators(name), ec);
    if (remembered && !exists)
        return nullptr;
    TfrmEdit *opened = CreateEditor(name, exists, remembered ? &*remembered : nullptr);
    if (!opened)
        return nullptr;
    if (index >= 0)
        ide_store().MruRemoveEntry(index);
    opened->UpdateCaption();
    return opened;
}

TfrmEdit *TfrmMainWindow::OpenFileFromEditInfo(const EditorState &info)
{
    std::error_code ec;
    if (!fs::is_regular_file(normalize_separators(info.path), ec))
        return nullptr;
    TfrmEdit *opened = CreateEditor(info.path, true, &info);
    if (!opened)
        return nullptr;
    const int index = ide_store().MruFindFile(info.path);
    if (index >= 0)
        ide_store().MruRemoveEntry(index);
    opened->UpdateCaption();
    return opened;
}

std::vector<TfrmEdit *> TfrmMainWindow::EditorsFrontFirst() const
{
    std::vector<TfrmEdit *> editors;
    const QList<QMdiSubWindow *> stacked = m_workspace->subWindowList(QMdiArea::StackingOrder);
    for (auto it = stacked.rbegin(); it != stacked.rend(); ++it)
        if (auto *editor = dynamic_cast<TfrmEdit *>(*it); editor && !editor->Closing())
            editors.push_back(editor);
    return editors;
}

void TfrmMainWindow::File1Click()
{
    MruBuildMenu(m_file_menu, m_mru_separator, ide_store().MruMenuPaths(),
                 [this](const std::string &path) { actFileMRUOpen(path); });
}

void TfrmMainWindow::actFileMRUOpen(const std::string &path)
{
    std::error_code ec;
    if (fs::is_regular_file(normalize_separators(path), ec))
        OpenFile(path);
}

bool TfrmMainWindow::SaveFile(TfrmEdit *editor)
{
    const std::string name = editor->FileName();
    const QFileInfo info(qpath(normalize_separators(name)));
    if (!info.exists())
        return SaveAs(editor);
    if (is_read_only(info)) {
        ShowAppMessageBox("Unable to save readonly file \"" + name + "\"", "File Save Error",
                          kMbOk | kMbIconError);
        return false;
    }
    std::string reason;
    if (!WriteToFile(editor, "", reason)) {
        ShowAppMessageBox("Unable to save file \"" + name + "\"\n" + reason, "File Save Error",
                          kMbOk | kMbIconError);
        return false;
    }
    return true;
}

bool TfrmMainWindow::WriteToFile(TfrmEdit *editor, const std::string &target,
                                 std::string &reason)
{
    const std::string path = target.empty() ? editor->FileName() : target;
    if (!replace_file_contents(normalize_separators(path), editor->Text(), reason))
        return false;
    if (target.empty())
        editor->MarkSaved();
    return true;
}

std::string TfrmMainWindow::DialogStartFolder() const
{
    const std::string &last_used = m_last_file_dir;
    std::error_code ec;
    if (const TfrmEdit *editor = ActiveEditorWindow(); editor && !editor->FileName().empty()) {
        const std::string folder = parent_folder(editor->FileName());
        if (!folder.empty() && fs::is_directory(folder, ec))
            return folder;
    }
    if (!last_used.empty() && fs::is_directory(last_used, ec))
        return last_used;
    return QDir::homePath().toStdString();
}

// A failed write keeps the old name, so the text still belongs to the file it came from.
bool TfrmMainWindow::SaveAs(TfrmEdit *editor)
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.title = "Save As";
    request.directory = DialogStartFolder();
    request.file_name = editor->FileName();
    request.filter = m_source_filter;
    request.must_exist = false;
    std::unique_ptr<TFileDialog> dialog = make_file_dialog(request);
    if (!dialog->Execute() || dialog->FileName().empty())
        return false;
    const std::string chosen = dialog->FileName();
    const std::string old_name = editor->FileName();
    const std::string old_short = editor->ShortName();
    editor->SetFileName(chosen);
    editor->SetShortName(name_part(chosen));
    std::string reason;
    if (!WriteToFile(editor, "", reason)) {
        editor->SetFileName(old_name);
        editor->SetShortName(old_short);
        ShowAppMessageBox("Unable to save file \"" + chosen + "\"\n" + reason, "File Save Error",
                          kMbOk | kMbIconError);
        return false;
    }
    m_last_file_dir = parent_folder(chosen);
    editor->UpdateCaption();
    editor->SelectSyntaxParser();
    return true;
}

void TfrmMainWindow::actFileOpenExecute()
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.title = "Open";
    request.directory = DialogStartFolder();
    // The file last opened is offered again only in its own folder: a path elsewhere would take
    // the dialog there.
    if (!m_last_open_file.empty() && parent_folder(m_last_open_file) == request.directory)
        request.file_name = m_last_open_file;
    request.filter = m_source_filter;
    request.filter_index = 3;
    request.multi_select = true;
    request.must_exist = true;
    std::unique_ptr<TFileDialog> dialog = make_file_dialog(request);
    if (!dialog->Execute())
        return;
    const std::vector<std::string> files = dialog->FileNames();
    if (files.empty())
        return;
    m_last_open_file = dialog->FileName();
    m_last_file_dir = parent_folder(files.front());
    for (const std::string &file : files)
        OpenFile(file);
}

int TfrmMainWindow::GetSourceLineCount()
{
    if (TfrmEdit *editor = FindEditor(m_current_file))
        return editor->SourceLineCount();
    return static_cast<int>(m_file_lines.Lines(m_current_file).size());
}

std::string TfrmMainWindow::GetSourceLine(int line)
{
    if (TfrmEdit *editor = FindEditor(m_current_file))
        return line >= 1 && line <= editor->SourceLineCount() ? editor->GetLineText(line - 1)
                                                              : std::string();
    const std::vector<std::string> &lines = m_file_lines.Lines(m_current_file);
    if (line < 1 || static_cast<std::size_t>(line) > lines.size())
        return {};
    return lines[static_cast<std::size_t>(line) - 1];
}

void TfrmMainWindow::BringToFront()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}
