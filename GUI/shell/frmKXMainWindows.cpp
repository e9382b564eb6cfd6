// frmKXMain, the Window and Help menus: the list of workspace windows, the minimize, close and
// restore groups, cascade, tiling and icon arrangement, the debug windows' toggles, and the
// about box, tip of the day, splash option, library function lookup, the help file and the
// documentation pages.
#include "frmKXMain.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "AsciiCase.h"
#include "core/CC_MISC.h"
#include "linker/LB_CAT.h"
#include "core/SEAM_LINKER.h"
#include "frmKXDockable.h"
#include "frmKXInfo.h"
#include "debug/guiDebugger.h"
#include "settings/guiEnvironment.h"
#include "guiHelpHost.h"
#include "guiHosts.h"
#include "settings/guiKXPreferences.h"
#include "options/guiOptionsHost.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMsgBrowserNotFound = 4004; // "Browser path or URL not found"
constexpr int kNumberedItems = 10;             // with more windows the list is not numbered
constexpr uint32_t kHelpContextKeystrokes = 2;
constexpr const char *kKeystrokesPage = "keystrokes.html";  // beside the help file

// Where technical support is found unless the settings say otherwise.
constexpr const char *kTechSupportPage = "https://korvex.example/support";

QAction *add_action(QMenu *menu, const QString &caption, const QString &hint = {},
                    const QKeySequence &shortcut = {})
{
    QAction *action = menu->addAction(caption);
    action->setStatusTip(hint);
    action->setShortcut(shortcut);
    return action;
}

void show_error(const std::string &text)
{
    ShowAppMessageBox(text, GetResString(kMsgErrorCaption), kMbOk | kMbIconError);
}

std::string program_file(const std::string &relative)
{
    std::string name = relative;
    std::replace(name.begin(), name.end(), '\\', '/');
    return (fs::path(program_directory()) / name).string();
}

std::string fold_case(const std::string &text)
{
    std::string folded = text;
    std::transform(folded.begin(), folded.end(), folded.begin(), fold_ascii);
    return folded;
}

// The caption of the n-th list item (1-based) among `count`.
QString list_caption(int n, int count, const QString &caption)
{
    if (count > kNumberedItems)
        return caption;
    if (n == kNumberedItems)
        return QStringLiteral("1&0 ") + caption;
    return QStringLiteral("&%1 ").arg(n) + caption;
}

// The entry to select for the word: its first exact entry, else the first that begins with it
// (without regard to case), else the first that sorts after it; -1 when none.
int best_entry(const std::vector<std::string> &names, const std::string &word)
{
    const auto exact = std::find(names.begin(), names.end(), word);
    if (exact != names.end())
        return static_cast<int>(exact - names.begin());
    const std::string folded = fold_case(word);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (fold_case(names[i]).compare(0, folded.size(), folded) == 0)
            return static_cast<int>(i);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (fold_case(names[i]) > folded)
            return static_cast<int>(i);
    return -1;
}

} // namespace

// ---- building the menus ----------------------------------------------------------------------------

void TfrmMainWindow::BuildWindowMenu()
{
    QMenu *window = m_window_menu;
    auto toggle = [&](const QString &caption, const QString &hint, const QKeySequence &key,
                      DebugWindow which) {
        QAction *action = add_action(window, caption, hint, key);
        Connect(action, [this] { return !IsEditMode(); },
                [this, which] { ToggleDebugWindow(which); });
        return action;
    };
    actToggleStdio = toggle(tr("&Stdio"), tr("Standard I/O Window"), {}, DebugWindow::Stdio);
    actToggleAsm = toggle(tr("Assem&bly"), tr("Assembly Window"), Qt::Key_F10,
                          DebugWindow::Disassembly);
    actToggleStack = toggle(tr("S&tack"), tr("Stack"), Qt::Key_F12, DebugWindow::Stack);
    actToggleReg = toggle(tr("&Register"), tr("Registers"), Qt::Key_F11, DebugWindow::Registers);
    actToggleWatch = toggle(tr("&Watch"), tr("Toggle Watch list item"), {}, DebugWindow::Watches);
    actToggleTrace = add_action(window, tr("Tr&ace"), tr("Trace Window"), {});
    Connect(actToggleTrace, [this] { return actToggleTraceUpdate(); },
            [this] { ToggleDebugWindow(DebugWindow::Trace); });
    window->addSeparator();

    // The three groups: each acts on a snapshot taken before any window changes.
    auto minimize = [](const std::vector<QMdiSubWindow *> &windows) {
        for (QMdiSubWindow *w : windows)
            w->showMinimized();
    };
    auto restore = [](const std::vector<QMdiSubWindow *> &windows) {
        for (QMdiSubWindow *w : windows)
            if (w->isMinimized())
                w->showNormal();
    };
    auto close_last_first = [](const std::vector<QMdiSubWindow *> &windows) {
        for (auto it = windows.rbegin(); it != windows.rend(); ++it)
            (*it)->close();
    };
    const auto any_window = [this] { return !WorkspaceWindows().empty(); };
    const auto any_editor = [this] { return !Editors().empty(); };
    const auto debug_mode = [this] { return !IsEditMode(); };

    QMenu *min = window->addMenu(tr("&Minimize"));
    actMinimizeDebug = add_action(min, tr("&Debug Windows"), tr("Minimize Debug Windows"));
    Connect(actMinimizeDebug, debug_mode, [=, this] { minimize(DebugWorkspaceWindows()); });
    actMinimizeEditors = add_action(min, tr("&Editors"));
    Connect(actMinimizeEditors, any_editor, [=, this] { minimize(EditorWorkspaceWindows()); });
    actWindowMinimizeAll = add_action(min, tr("&All"), tr("Minimize all workspace files"));
    Connect(actWindowMinimizeAll, any_window, [=, this] { minimize(WorkspaceWindows()); });

    QMenu *close = window->addMenu(tr("C&lose"));
    actCloseDebugWindows = add_action(close, tr("&Debug Windows"));
    Connect(actCloseDebugWindows, debug_mode,
            [=, this] { close_last_first(DebugWorkspaceWindows()); });
    actCloseEditors = add_action(close, tr("&Editors"));
    Connect(actCloseEditors, any_editor,
            [=, this] { close_last_first(EditorWorkspaceWindows()); });
    actCloseAllWindows = add_action(close, tr("&All"));
    Connect(actCloseAllWindows, any_window, [=, this] { close_last_first(WorkspaceWindows()); });

    QMenu *res = window->addMenu(tr("R&estore"));
    actRestoreDebugWindows = add_action(res, tr("&Debug Windows"));
    Connect(actRestoreDebugWindows, debug_mode, [=, this] { restore(DebugWorkspaceWindows()); });
    actRestoreEditors = add_action(res, tr("&Editors"));
    Connect(actRestoreEditors, any_editor, [=, this] { restore(EditorWorkspaceWindows()); });
    actRestoreAllWindows = add_action(res, tr("&All"));
    Connect(actRestoreAllWindows, any_window, [=, this] { restore(WorkspaceWindows()); });

    actWindowCascade = add_action(window, tr("&Cascade"), tr("Cascade"));
    Connect(actWindowCascade, any_window, [this] { m_workspace->cascadeSubWindows(); });
    actWindowTileHorizontal = add_action(window, tr("Tile &Horizontally"),
                                         tr("Tile all workspace files horizontally"));
    Connect(actWindowTileHorizontal, any_window, [this] { TileWorkspace(true); });
    actWindowTileVertical = add_action(window, tr("Tile &Vertically"),
                                       tr("Tile all workspace files vertically"));
    Connect(actWindowTileVertical, any_window, [this] { TileWorkspace(false); });
    actWindowArrangeAll = add_action(window, tr("&Arrange Icons"),
                                     tr("Arrange all minimized workspace files"));
    Connect(actWindowArrangeAll, any_window, [this] { ArrangeIcons(); });

    m_window_list_separator = window->addSeparator();
    connect(window, &QMenu::aboutToShow, this, [this] {
        guarded([&] {
            WindowListUpdate();
            UpdateWindowActions();
        });
    });
    connect(m_workspace, &QMdiArea::subWindowActivated, this,
            [this] { guarded([&] { WindowListUpdate(); }); });
}

void TfrmMainWindow::BuildHelpMenu()
{
    QMenu *help = menuBar()->addMenu(tr("&Help"));
    actContents = add_action(help, tr("&Contents"));
    Connect(actContents, nullptr, [this] { ShowHelpContext(1); });
    actKeystrokes = add_action(help, tr("&Keystrokes"));
    Connect(actKeystrokes, nullptr, [this] { ShowHelpContext(2); });
    actFunctionLookup = add_action(help, tr("&Function Lookup"), tr("Library Function Lookup"),
                                   Qt::CTRL | Qt::Key_H);
    Connect(actFunctionLookup, nullptr, [this] { actFunctionLookupExecute(); });
    actInstructionRef = add_action(help, tr("&Instruction Set Reference"), {},
                                   Qt::ALT | Qt::Key_F1);
    Connect(actInstructionRef, nullptr,
            [this] { OpenHelpUrl("", IdePreferences().help_ir_file); });
    help->addSeparator();
    actOnlineDoc = add_action(help, tr("Online &Documentation"));
    Connect(actOnlineDoc, nullptr,
            [this] { OpenHelpUrl("DefaultURL", IdePreferences().default_url); });
    actKeyWords = add_action(help, tr("Key &Words"));
    Connect(actKeyWords, nullptr,
            [this] { OpenHelpUrl("DefaultKeywordURL", IdePreferences().default_keyword_url); });
    actOperators = add_action(help, tr("&Operators"));
    Connect(actOperators, nullptr, [this] {
        OpenHelpUrl("DefaultOperatorURL", IdePreferences().default_operator_url);
    });
    actFuncRef = add_action(help, tr("HTML Function &Reference"));
    Connect(actFuncRef, nullptr, [this] {
        OpenHelpUrl("DefaultFunctionURL", IdePreferences().default_function_url);
    });
    actTechSupport = add_action(help, tr("Tech &Support"), tr("Tech Support Bulletin Board"));
    Connect(actTechSupport, nullptr, [this] { OpenHelpUrl("TechSupportURL", kTechSupportPage); });
    actIORegisters = add_action(help, tr("I/O &Registers"), tr("I/O register reference"));
    Connect(actIORegisters, nullptr, [this] { actIORegistersExecute(); });
    help->addSeparator();
    actTip = add_action(help, tr("&Tip of the day..."), tr("Show helpful Korvex tips"));
    Connect(actTip, nullptr, [this] { actTipExecute(); });
    actSplash = add_action(help, tr("Show splas&h screen at startup"));
    actSplash->setCheckable(true);
    actSplash->setChecked(IdePreferences().show_splash_screen);
    Connect(actSplash, nullptr, [this] {
        IdePreferences().show_splash_screen = actSplash->isChecked();
    });
    actInformation = add_action(help, tr("Information"), tr("Show Information Window"));
    Connect(actInformation, nullptr, [this] {
        TfrmInfo info(this);
        options_shell().ExecModal(info);
    });
    actHelpAbout = add_action(help, tr("&About..."),
                              tr("Displays program information, version number, and copyright"));
    Connect(actHelpAbout, nullptr, [this] { ShowAbout(); });
}

void TfrmMainWindow::UpdateWindowActions()
{
    if (!actWindowCascade)
        return;
    const bool any_window = !WorkspaceWindows().empty();
    const bool any_editor = !Editors().empty();
    const bool debug_mode = !IsEditMode();
    for (QAction *a : {actWindowMinimizeAll, actWindowCascade, actWindowTileHorizontal,
                       actWindowTileVertical, actWindowArrangeAll, actCloseAllWindows,
                       actRestoreAllWindows})
        a->setEnabled(any_window);
    for (QAction *a : {actMinimizeEditors, actCloseEditors, actRestoreEditors})
        a->setEnabled(any_editor);
    for (QAction *a : {actMinimizeDebug, actCloseDebugWindows, actRestoreDebugWindows})
        a->setEnabled(debug_mode);
    // A toggle that runs keeps its action off until it ends.
    for (QAction *a : {actToggleStdio, actToggleAsm, actToggleStack, actToggleReg, actToggleWatch})
        if (!m_locked_actions.count(a))
            a->setEnabled(debug_mode);
    if (!m_locked_actions.count(actToggleTrace))
        actToggleTrace->setEnabled(actToggleTraceUpdate());
}

// ---- the window list -----------------------------------------------------------------------------

std::vector<QMdiSubWindow *> TfrmMainWindow::WorkspaceWindows() const
{
    std::vector<QMdiSubWindow *> windows;
    for (QMdiSubWindow *w : m_workspace->subWindowList(QMdiArea::CreationOrder))
        if (auto *editor = dynamic_cast<TfrmEdit *>(w); !editor || !editor->Closing())
            windows.push_back(w);
    return windows;
}

std::vector<QMdiSubWindow *> TfrmMainWindow::DebugWorkspaceWindows() const
{
    std::vector<QMdiSubWindow *> windows;
    const std::vector<QMdiSubWindow *> all = WorkspaceWindows();
    for (QMdiSubWindow *w : all)
        if (std::any_of(m_dockables.begin(), m_dockables.end(),
                        [w](TfrmDockable *d) { return d->SubWindow() == w; }))
            windows.push_back(w);
    return windows;
}

std::vector<QMdiSubWindow *> TfrmMainWindow::EditorWorkspaceWindows() const
{
    std::vector<QMdiSubWindow *> windows;
    for (TfrmEdit *editor : Editors())
        windows.push_back(editor);
    return windows;
}

void TfrmMainWindow::WindowListUpdate()
{
    if (!m_window_menu)
        return;
    const std::vector<QMdiSubWindow *> windows = WorkspaceWindows();
    // Items whose window is gone leave the menu.
    for (auto it = m_window_items.begin(); it != m_window_items.end();) {
        QMdiSubWindow *w = it->second.data();
        if (w && std::find(windows.begin(), windows.end(), w) != windows.end()) {
            ++it;
            continue;
        }
        m_window_menu->removeAction(it->first);
        it->first->deleteLater();
        it = m_window_items.erase(it);
    }
    for (QMdiSubWindow *w : windows) {
        const bool listed = std::any_of(m_window_items.begin(), m_window_items.end(),
                                        [w](const auto &item) { return item.second == w; });
        if (listed)
            continue;
        auto *item = new QAction(m_window_menu);
        m_window_menu->addAction(item);
        connect(item, &QAction::triggered, this,
                [this, item] { guarded([&] { actWinOpenExecute(item); }); });
        m_window_items.emplace_back(item, w);
    }
    const int count = static_cast<int>(m_window_items.size());
    for (int i = 0; i < count; ++i) {
        const auto &[item, w] = m_window_items[static_cast<std::size_t>(i)];
        item->setText(list_caption(i + 1, count, w->windowTitle()));
    }
}

std::vector<QAction *> TfrmMainWindow::WindowListItems() const
{
    std::vector<QAction *> items;
    for (const auto &item : m_window_items)
        items.push_back(item.first);
    return items;
}

void TfrmMainWindow::actWinOpenExecute(QAction *item)
{
    const auto found = std::find_if(m_window_items.begin(), m_window_items.end(),
                                    [item](const auto &entry) { return entry.first == item; });
    if (found == m_window_items.end())
        return;
    QMdiSubWindow *w = found->second.data();
    const std::vector<QMdiSubWindow *> windows = WorkspaceWindows();
    if (!w || std::find(windows.begin(), windows.end(), w) == windows.end()) {
        WindowListUpdate();
        return;
    }
    if (w->isMinimized()) {
        w->showNormal();
    } else {
        w->show();
        m_workspace->setActiveSubWindow(w);
    }
}

// ---- tiling --------------------------------------------------------------------------------------

void TfrmMainWindow::TileWorkspace(bool horizontally)
{
    std::vector<QMdiSubWindow *> windows;
    for (QMdiSubWindow *w : WorkspaceWindows())
        if (!w->isMinimized() && w->isVisible())
            windows.push_back(w);
    if (windows.empty())
        return;
    const QRect area = m_workspace->viewport()->rect();
    const int n = static_cast<int>(windows.size());
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow *w = windows[static_cast<std::size_t>(i)];
        if (w->isMaximized())
            w->showNormal();
        // The strips share the area; the last one takes what the division left over.
        if (horizontally) {
            const int top = area.height() * i / n, bottom = area.height() * (i + 1) / n;
            w->setGeometry(0, top, area.width(), bottom - top);
        } else {
            const int left = area.width() * i / n, right = area.width() * (i + 1) / n;
            w->setGeometry(left, 0, right - left, area.height());
        }
    }
}

void TfrmMainWindow::ArrangeIcons()
{
    const QRect area = m_workspace->viewport()->rect();
    int x = 0, y = area.height();
    int row_height = 0;
    for (QMdiSubWindow *w : WorkspaceWindows()) {
        if (!w->isMinimized())
            continue;
        const QSize size = w->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            y -= row_height;
            row_height = 0;
        }
        row_height = std::max(row_height, size.height());
        w->move(x, y - size.height());
        x += size.width();
    }
}

// ---- the debug windows' toggles --------------------------------------------------------------

void TfrmMainWindow::ToggleDebugWindow(DebugWindow window)
{
    QAction *action = nullptr;
    bool through_runner = false;
    switch (window) {
    case DebugWindow::Stdio:
        action = actToggleStdio;
        break;
    case DebugWindow::Disassembly:
        action = actToggleAsm;
        through_runner = true;
        break;
    case DebugWindow::Stack:
        action = actToggleStack;
        through_runner = true;
        break;
    case DebugWindow::Registers:
        action = actToggleReg;
        break;
    case DebugWindow::Watches:
        action = actToggleWatch;
        through_runner = true;
        break;
    case DebugWindow::Trace:
        action = actToggleTrace;
        through_runner = true;
        break;
    case DebugWindow::MemoryDump:
        break;
    }
    // A toggle that is still running (the status box pumps meanwhile) is not started again.
    if (!action || m_locked_actions.count(action))
        return;
    RunLocked(action, [this, window] {
        TDebugWindows &windows = debug_windows();
        TDebuggerOperations &dbg = debugger_operations();
        const bool watches = window == DebugWindow::Watches;
        if (!watches) {
            ToggleAndFill(window, windows, dbg);
            return;
        }
        // Polling comes back however the watches' toggle ends.
        PausePolling();
        try {
            ToggleAndFill(window, windows, dbg);
        } catch (...) {
            ResumePolling();
            throw;
        }
        ResumePolling();
    }, through_runner);
}

void TfrmMainWindow::ToggleAndFill(DebugWindow window, TDebugWindows &windows,
                                   TDebuggerOperations &dbg)
{
    try {
        windows.Toggle(window);
    } catch (xUserCancel &) {
        throw;
    } catch (xErr &e) {
        throw xWindowNotShown(e);
    }
    const bool shown = windows.Exists(window) && windows.IsShown(window);
    SetAutoShow(window, shown);
    if (!shown)
        return;
    switch (window) {
    case DebugWindow::Disassembly:
        dbg.fillDisassemblyView();
        dbg.TcSetSendFlag(2, true);
        break;
    case DebugWindow::Stack:
        dbg.TcSetSendFlag(0, true);
        dbg.fillStackView();
        break;
    case DebugWindow::Registers:
        dbg.formatRegisterLines();
        break;
    case DebugWindow::Watches:
        dbg.TcSetSendFlag(1, true);
        break;
    default:
        break;
    }
}

// ---- help ----------------------------------------------------------------------------------------

void TfrmMainWindow::OpenHelpUrl(const std::string &value_name, const std::string &def)
{
    std::string target = def;
    if (!value_name.empty()) {
        TKXRegistry reg;
        if (reg.open_key(settings_key(kSectionPersonality), false))
            target = help_location_or_default(ReadRegString(reg, value_name, def), def);
    }
    OpenHelpLocation(target);
}

// A web address goes to the browser whole; anything else is a file, relative to the program
// directory unless absolute, and a file that is not there is said so (a browser would only
// show an error page).
void TfrmMainWindow::OpenHelpLocation(const std::string &location)
{
    if (location.empty()) {
        show_error("File not found");
        return;
    }
    if (is_web_address(location)) {
        if (!document_opener().OpenUrl(location))
            ShowAppMessageBox(GetResString(kMsgBrowserNotFound), "Online Documents",
                              kMbOk | kMbIconError);
        return;
    }
    const std::string file = help_location_path(location);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        show_error("File not found");
        return;
    }
    if (!document_opener().OpenFile(file))
        show_error("The file \"" + file + "\" could not be opened.");
}

void TfrmMainWindow::actIORegistersExecute()
{
    const std::string reference = program_file("Registers.chm");
    std::error_code ec;
    if (!fs::is_regular_file(reference, ec)) {
        show_error("File not found");
        return;
    }
    if (!document_opener().OpenFile(reference))
        show_error("The file \"" + reference + "\" could not be opened.");
}

// The help file is the user guide: context 1 (contents) and the dialogs' contexts open it,
// context 2 (keystrokes) the keystrokes page beside it when there is one.
void TfrmMainWindow::ShowHelpContext(uint32_t context)
{
    // No help session is kept open, so there is none to close.
    if (context == 0)
        return;
    const std::string &help_file = IdePreferences().help_file;
    if (context == kHelpContextKeystrokes && !is_web_address(help_file)) {
        const fs::path keys = fs::path(help_location_path(help_file)).parent_path() / kKeystrokesPage;
        std::error_code ec;
        if (fs::is_regular_file(keys, ec)) {
            OpenHelpLocation(keys.string());
            return;
        }
    }
    OpenHelpLocation(help_file);
}

void TfrmMainWindow::actTipExecute()
{
    TIdePreferences &prefs = IdePreferences();
    prefs.tips_index = help_windows().ShowTipOfTheDay(prefs.tips_index) + 1;
}

void TfrmMainWindow::actFunctionLookupExecute()
{
    THelpWindows &windows = help_windows();
    std::string word;
    if (TfrmEdit *editor = ActiveEditorWindow()) {
        int line = 0, index = 0;
        editor->Editor()->getCursorPosition(&line, &index);
        word = editor->Editor()->wordAtLineIndex(line, index).toStdString();
    } else if (const std::optional<std::string> described = windows.DescriptionWord()) {
        word = *described;
    }
    // A list file that cannot be read leaves the index as it was: the lookup shows what is
    // known.
    (void)linker_seam().load_library_index(program_directory(), true);
    std::vector<std::string> names;
    lib_for_each_function([&](const std::string &name, const std::string &) {
        names.push_back(name);
    });
    std::stable_sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        return fold_case(a) < fold_case(b);
    });
    const int selected = word.empty() ? -1 : best_entry(names, word);
    if (selected >= 0) {
        const std::size_t at = static_cast<std::size_t>(selected);
        // The last entry has no next one: it counts as not matching.
        const bool next_matches = at + 1 < names.size() && names[at + 1] == word;
        if (names[at] == word && !next_matches) {
            windows.ShowDescription(word);
            return;
        }
    }
    windows.ShowLookup(names, word, selected);
}
