// frmKXMain, after the first show: the start-up project and the compiler start, the title and
// the status bar, the file watch, files dropped on the window, the compiler messages window and
// the list services of the debug windows' menus.
#include "frmKXMain.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "BoundedFormat.h"
#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "core/CC_MISC.h"
#include "FileReplace.h"
#include "core/SEAM_TARGET.h"
#include "driver/Temporaryglobals.h"
#include "frmKXDockable.h"
#include "frmKXMessages.h"
#include "guiHosts.h"
#include "settings/guiKXPreferences.h"
#include "settings/guiProjects.h"
#include "kxwStartup.h"

namespace {

namespace fs = std::filesystem;

bool file_exists(const std::string &path)
{
    std::error_code ec;
    return fs::is_regular_file(normalize_separators(path), ec);
}

// An error of a start-up step as a line of the message list, where the messages window shows
// it with the other reasons the start-up gives.
void record_failure(xErr &e)
{
    char text[kErrBoxTextSize];
    e.GetMessage(text, sizeof text);
    new_message_record(kMsgKindError, 1, 1, "%s", text);
}

// The main window's text of a message: the bytes as the locale reads them.
std::string item_text(const QListWidgetItem *item) { return item->text().toLocal8Bit().toStdString(); }

} // namespace

// ---- first show ----------------------------------------------------------------------------------

void TfrmMainWindow::FirstTimeOnlyTimer()
{
    m_first_time_only->stop();
    if (!gStartupErrorText.empty()) {
        close();
        return;
    }
    RelayoutToolBars();
    if (!StartUpProjectAndCompiler()) {
        reinit_compiler();
        gDialogControl.CloseStatusBox();
        ShowMessagesWindow();
    }
    ShowStartUpTip();
}

// A tips file that cannot be used is one line in the status bar: start-up goes on, and nobody
// has to dismiss a box about a tip.
void TfrmMainWindow::ShowStartUpTip()
{
    if (!IdePreferences().show_tips)
        return;
    try {
        actTipExecute();
    } catch (xErr &e) {
        SetStatusText(e.GetText());
    }
}

// Each step runs even when one before it failed: every reason reaches the messages window.
bool TfrmMainWindow::StartUpProjectAndCompiler()
{
    const int records_before = message_record_count();
    bool ok = true;
    auto step = [&](auto work) {
        try {
            work();
        } catch (xErr &e) {
            record_failure(e);
            ok = false;
        }
    };
    step([&] { LoadStartUpProject(gCmdLineProject); });
    step([&] { SetMainWindowTitle(); });
    step([&] { SetRunState(0); });
    step([&] {
        gDialogControl.ShowStatusBox(false, "", "");
        const int16_t status = start_compiler();
        gDialogControl.CloseStatusBox();
        if (status != 0)
            ok = false;
    });
    return ok && message_record_count() == records_before;
}

void TfrmMainWindow::SetMainWindowTitle()
{
    const std::string path = gProject ? gProject->FileName() : std::string();
    const std::string base = TKXProject::ProjectBaseName(path);
    SetStatusPanelText(base, 0);
    const std::string &distribution = IdePreferences().distribution;
    const bool is_default = gProject && gProject->IsDefaultProject();
    const std::string caption = is_default ? distribution : base + " - " + distribution;
    // The caption is the application's title on the desktop too. It is not made Qt's display
    // name: the platform would append that to every window title, this one included.
    setWindowTitle(QString::fromLocal8Bit(caption.c_str()));
}

// ---- status bar ------------------------------------------------------------------------------------

void TfrmMainWindow::SetStatusPanelText(const std::string &text, int panel)
{
    if (panel < 0 || panel >= kStatusPanels || m_panel_locks[static_cast<std::size_t>(panel)])
        return;
    QLabel *label = m_panels[static_cast<std::size_t>(panel)];
    label->setText(QString::fromLocal8Bit(text.c_str()));
    // The whole text shows ("/dev/pts/3: 115200" in the link panel): the panel is as wide as
    // its text needs, and never narrower than its own width.
    label->setMinimumWidth(std::max(kStatusPanelWidths[static_cast<std::size_t>(panel)],
                                    label->sizeHint().width()));
}

void TfrmMainWindow::LockStatusPanel(int panel, bool locked)
{
    if (panel >= 0 && panel < kStatusPanels)
        m_panel_locks[static_cast<std::size_t>(panel)] = locked;
}

void TfrmMainWindow::ShowCommSummary()
{
    const TCOptionsType settings = target_operations().GetCommSettings();
    const std::string text =
        settings.link_kind
            ? bounded_format("%s: %d", comm_text(settings.network_address).c_str(),
                             static_cast<int>(settings.control_port))
            : bounded_format("%s: %d", serial_port_text(settings).c_str(),
                             static_cast<int>(settings.baud_rate));
    SetStatusPanelText(text, 7);
}

// ---- file watch and dropped files ------------------------------------------------------------------

void TfrmMainWindow::CheckFileTimeStamps()
{
    // The question's box takes the focus from the application and gives it back: that return
    // must not ask again while the first question is open.
    if (!IdePreferences().detect_outside_changes || m_checking_files)
        return;
    const QScopedValueRollback<bool> checking(m_checking_files, true);

    std::vector<const void *> asked; // texts already asked about, shared by several editors
    for (TfrmEdit *editor : Editors()) {
        const std::string &name = editor->FileName();
        if (!file_exists(name) || file_write_time(name) == editor->FileTime())
            continue;
        const void *text = reinterpret_cast<const void *>(
            editor->Editor()->SendScintilla(QsciScintillaBase::SCI_GETDOCPOINTER));
        if (std::find(asked.begin(), asked.end(), text) == asked.end()) {
            asked.push_back(text);
            const std::string question = "The time stamp for " + name +
                                         " has changed.  Would you like to reload the file?";
            if (ShowAppMessageBox(question, "Reload File?", kMbYesNo | kMbIconQuestion) ==
                kIdYes) {
                int line = 0, column = 0;
                editor->Editor()->getCursorPosition(&line, &column);
                std::string reason;
                if (editor->LoadFromFile(reason)) {
                    editor->MarkUnmodified();
                    editor->Editor()->setCursorPosition(line, column);
                } else {
                    ShowAppMessageBox(GetResString(5023, name.c_str()) + "\n" + reason +
                                          "\nThe editor keeps its text.",
                                      GetResString(kMsgErrorCaption), kMbOk | kMbIconError);
                }
            }
        }
        editor->SetFileTime(file_write_time(name));
    }
}

void TfrmMainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const auto *change = static_cast<QWindowStateChangeEvent *>(event);
    if ((change->oldState() & Qt::WindowMinimized) && !isMinimized() && m_tag != 0)
        guarded([&] { CheckFileTimeStamps(); });
}

void TfrmMainWindow::DropFiles(const std::vector<std::string> &files)
{
    for (const std::string &file : files)
        OpenFile(file);
}

void TfrmMainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TfrmMainWindow::dropEvent(QDropEvent *event)
{
    std::vector<std::string> files;
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            files.push_back(spath(url.toLocalFile()));
    event->acceptProposedAction();
    guarded([&] { DropFiles(files); });
}

// ---- the compiler messages window ------------------------------------------------------------------

TfrmMessages *TfrmMainWindow::ShowMessagesWindow()
{
    if (frmMessages && frmMessages->IsShown()) {
        frmMessages->BringToFront();
        frmMessages->Update();
        return frmMessages;
    }
    actToggleMessagesExecute();
    return frmMessages;
}

void TfrmMainWindow::actToggleMessagesExecute()
{
    actToggleMessages->setEnabled(false);
    struct Enable {
        QAction *action;
        ~Enable() { action->setEnabled(true); }
    } enable{actToggleMessages};
    const MessageWindowSettings &settings = IdePreferences().messages;
    if (!frmMessages) {
        new TfrmMessages(this, settings.child, settings.dockable);
        frmMessages->ShowWindow();
    } else if (!frmMessages->IsShown()) {
        frmMessages->ShowWindow();
    } else {
        frmMessages->CloseWindow();
    }
    m_messages_shown = frmMessages && frmMessages->IsShown();
    if (!m_messages_shown)
        return;
    frmMessages->BringToFront();
    frmMessages->Update();
}

// ---- list services ---------------------------------------------------------------------------------

void TfrmMainWindow::CollectListSelection(const QListWidget *list,
                                          std::vector<std::string> &strings) const
{
    const qsizetype selected = list->selectedItems().size();
    qsizetype collected = 0;
    for (int i = 0; i < list->count() && collected < selected; ++i) {
        const QListWidgetItem *item = list->item(i);
        if (!item->isSelected())
            continue;
        strings.push_back(item_text(item));
        ++collected;
    }
}

void TfrmMainWindow::CopyListSelectionToClipboard(const QListWidget *list)
{
    std::vector<std::string> lines;
    CollectListSelection(list, lines);
    if (lines.empty())
        return;
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    QGuiApplication::clipboard()->setText(QString::fromLocal8Bit(text.c_str()));
}

bool TfrmMainWindow::SaveListSelectionToFile(TFileDialog &dialog, const QListWidget *list)
{
    if (!ProbeDialogDirectory(dialog))
        return false;
    std::vector<std::string> lines;
    CollectListSelection(list, lines);
    if (lines.empty())
        return false;
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    const std::string path = dialog.FileName();
    std::string reason;
    if (!replace_file_contents(normalize_separators(path), text, reason)) {
        ShowAppMessageBox("Unable to save file \"" + path + "\"\n" + reason, "File Save Error",
                          kMbOk | kMbIconError);
        return false;
    }
    return true;
}

// ---- dockable windows ------------------------------------------------------------------------------

void TfrmMainWindow::AddDockable(TfrmDockable *window) { m_dockables.push_back(window); }

void TfrmMainWindow::ShowDockablesLeftOpen()
{
    for (TfrmDockable *window : m_dockables)
        if (window->Placement().visible)
            window->ShowWindow();
}

void TfrmMainWindow::RemoveDockable(TfrmDockable *window)
{
    const auto it = std::find(m_dockables.begin(), m_dockables.end(), window);
    if (it != m_dockables.end())
        m_dockables.erase(it);
}
