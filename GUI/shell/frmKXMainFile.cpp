// frmKXMain, the File, Edit and Project commands: new, save all and close of source files, the
// close-all walk the project commands use, the clipboard and undo on the active editor, find
// and replace, go to line, the previous and next compiler error, creating, opening, saving and
// closing the project, and the commands' enabled states, which one update pass sets whenever
// the event loop goes idle.
#include "frmKXMain.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>

#include <filesystem>
#include <system_error>

#include "driver/CC_GO.h"
#include "core/CC_MISC.h"
#include "options/frmKXEditProperties.h"
#include "options/frmKXEnvOptions.h"
#include "editor/frmKXLineNumber.h"
#include "frmKXMessages.h"
#include "guiHosts.h"
#include "settings/guiKXPreferences.h"
#include "guiMruMenu.h"
#include "options/guiOptionsHost.h"
#include "settings/guiProjects.h"
#include "guiStore.h"

namespace {

namespace fs = std::filesystem;

// New stops counting here: past it no further name is tried.
constexpr int kLastUntitled = 65500;

QAction *add_action(QMenu *menu, const QString &caption, const QString &hint,
                    const QKeySequence &shortcut = {})
{
    QAction *action = menu->addAction(caption);
    action->setStatusTip(hint);
    action->setShortcut(shortcut);
    return action;
}

// The messages window counts as active when it holds the focus or is the active workspace
// window.
bool messages_window_active(const QMdiArea *workspace)
{
    if (!frmMessages || !frmMessages->IsShown())
        return false;
    if (frmMessages->isAncestorOf(QApplication::focusWidget()))
        return true;
    return frmMessages->SubWindow() && workspace->activeSubWindow() == frmMessages->SubWindow();
}

} // namespace

// ---- menus and the update pass -----------------------------------------------------------------

void TfrmMainWindow::Connect(QAction *action, std::function<bool()> allowed,
                             std::function<void()> execute)
{
    connect(action, &QAction::triggered, this, [this, action, allowed, execute] {
        guarded([&] {
            UpdateContext(action);
            if (allowed && !allowed())
                return;
            execute();
        });
    });
}

void TfrmMainWindow::BuildFileMenu()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    actFileNew = add_action(file, tr("&New"), tr("Create a new file"), Qt::CTRL | Qt::Key_N);
    Connect(actFileNew, nullptr, [this] { actFileNewExecute(); });
    actFileOpen = add_action(file, tr("&Open..."), tr("Open a file"), Qt::CTRL | Qt::Key_O);
    Connect(actFileOpen, nullptr, [this] { actFileOpenExecute(); });
    actFileSave = add_action(file, tr("&Save"), tr("Save current file"), Qt::CTRL | Qt::Key_S);
    Connect(actFileSave,
            [this] { return ActiveEditorWindow() && ActiveEditorWindow()->IsModified(); },
            [this] { SaveFile(ActiveEditorWindow()); });
    actFileSaveAs = add_action(file, tr("Save &As..."), tr("Save current file with different name"));
    Connect(actFileSaveAs, [this] { return EditorActive(); },
            [this] { SaveAs(ActiveEditorWindow()); });
    actFileSaveAll = add_action(file, tr("Sa&ve All"), tr("Save All Edited Files"),
                                Qt::SHIFT | Qt::CTRL | Qt::Key_S);
    Connect(actFileSaveAll, nullptr, [this] { actFileSaveAllExecute(); });
    actFileClose = add_action(file, tr("&Close"), tr("Close current file"));
    Connect(actFileClose, [this] { return EditorActive(); }, [this] { actFileCloseExecute(); });
    file->addSeparator();
    BuildPrintActions(file);
    file->addSeparator();
    actFileExit = add_action(file, tr("E&xit"), tr("Exit application"), Qt::ALT | Qt::Key_F4);
    connect(actFileExit, &QAction::triggered, this, [this] { close(); });
    // The recently-used files follow; with none, the menu hides this last separator.
    file->addSeparator();
    m_file_menu = file;
    m_mru_separator = MruSeparatorIndexOf(file);
    ide_store().MruSetSeparatorIndex(m_mru_separator);
    connect(file, &QMenu::aboutToShow, this, [this] {
        guarded([&] {
            UpdateActions();
            File1Click();
        });
    });
    // The update pass: whenever the event loop is about to wait.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                [this] { guarded([&] { UpdateActions(); }); });
}

void TfrmMainWindow::BuildEditMenu()
{
    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    actUndo = add_action(edit, tr("&Undo"), tr("Undo"), Qt::CTRL | Qt::Key_Z);
    Connect(actUndo, [this] { return EditorActive(); }, [this] { actUndoExecute(); });
    actRedo = add_action(edit, tr("Re&do"), tr("Redo"), Qt::SHIFT | Qt::CTRL | Qt::Key_Z);
    Connect(actRedo, [this] { return EditorActive(); }, [this] { actRedoExecute(); });
    edit->addSeparator();
    actEditCut = add_action(edit, tr("Cu&t"), tr("Cut"));
    Connect(actEditCut, nullptr, [this] { actEditCutExecute(); });
    actEditCopy = add_action(edit, tr("&Copy"), tr("Copy"));
    Connect(actEditCopy, [this] { return actEditCopyUpdate(); },
            [this] { actEditCopyExecute(); });
    actEditPaste = add_action(edit, tr("&Paste"), tr("Paste"));
    Connect(actEditPaste, nullptr, [this] { actEditPasteExecute(); });
    edit->addSeparator();
    actFind = add_action(edit, tr("&Find"), tr("Find text in document"), Qt::CTRL | Qt::Key_F);
    Connect(actFind, [this] { return EditorActive(); }, [this] { actFindExecute(); });
    actReplace = add_action(edit, tr("&Replace"), tr("Replace"), Qt::Key_F6);
    Connect(actReplace, [this] { return EditorActive(); }, [this] { actReplaceExecute(); });
    actFindNext = add_action(edit, tr("Find Ne&xt"), tr("Find Next"), Qt::Key_F3);
    Connect(actFindNext, [this] { return EditorActive(); }, [this] { actFindNextExecute(); });
    actAltFindNext = add_action(edit, tr("&Alternate Find Next"), tr("Repeat the last search"));
    Connect(actAltFindNext, [this] { return EditorActive(); }, [this] { actAltFindNextExecute(); });
    actGrep = add_action(edit, tr("Find in F&iles..."), tr("Find text in files"),
                         Qt::CTRL | Qt::SHIFT | Qt::Key_F);
    Connect(actGrep, nullptr, [this] { actGrepExecute(); });
    actGoto = add_action(edit, tr("Go to &Line Number..."), tr("Goto..."), Qt::CTRL | Qt::Key_G);
    Connect(actGoto, [this] { return EditorActive(); }, [this] { actGotoExecute(); });
    edit->addSeparator();
    actPreviousError = add_action(edit, tr("Pre&vious Error"), tr("Previous Error"),
                                  Qt::CTRL | Qt::ALT | Qt::Key_P);
    Connect(actPreviousError, [this] { return MessagesVisible(); },
            [this] { actPreviousErrorExecute(); });
    actNextError = add_action(edit, tr("&Next Error"), tr("Next Error"),
                              Qt::CTRL | Qt::ALT | Qt::Key_N);
    Connect(actNextError, [this] { return MessagesVisible(); },
            [this] { actNextErrorExecute(); });
    edit->addSeparator();
    actShowCodeTemplates = add_action(edit, tr("&Insert Code Template..."), QString());
    Connect(actShowCodeTemplates, [this] { return EditorActive(); },
            [this] { ActiveEditorWindow()->ShowCodeTemplates(); });
    connect(edit, &QMenu::aboutToShow, this, [this] { guarded([&] { UpdateActions(); }); });
}

void TfrmMainWindow::BuildProjectMenu()
{
    QMenu *project = menuBar()->addMenu(tr("&Project"));
    actProjectCreate =
        add_action(project, tr("Create..."), tr("Create a new project with factory settings..."));
    Connect(actProjectCreate, nullptr, [this] { actProjectCreateExecute(); });
    actProjectOpen = add_action(project, tr("Open..."), tr("Open Project..."));
    Connect(actProjectOpen, nullptr, [this] { actProjectOpenExecute(); });
    actProjectSave = add_action(project, tr("Save"), tr("Save Project"));
    Connect(actProjectSave, nullptr, [this] { actProjectSaveExecute(); });
    actProjectSaveAs = add_action(project, tr("Save As..."), tr("Save Project As..."));
    Connect(actProjectSaveAs, nullptr, [this] { actProjectSaveAsExecute(); });
    actProjectClose =
        add_action(project, tr("Close"), tr("Close Project and return to Default Project"));
    Connect(actProjectClose, nullptr, [this] { actProjectCloseExecute(); });
    project->addSeparator();
    actProjectOptions = add_action(project, tr("&Project Options"), tr("Project Options"));
    Connect(actProjectOptions, nullptr, [this] { actProjectOptionsExecute(this); });
}

void TfrmMainWindow::BuildOptionsMenu()
{
    QMenu *options = menuBar()->addMenu(tr("&Options"));
    actEnvOptions = add_action(options, tr("&Environment Options"), tr("Environment Options"));
    Connect(actEnvOptions, nullptr, [this] {
        TfrmEdit *editor = ActiveEditorWindow();
        actEnvOptionsExecute(this, editor ? editor->Editor() : nullptr, false);
    });
}

// The dialog lives for one showing; the main window holds it meanwhile.
TfrmEditProperties *TfrmMainWindow::CreateEditPropertiesForm()
{
    if (!m_edit_properties)
        m_edit_properties = new TfrmEditProperties(this);
    return m_edit_properties;
}

void TfrmMainWindow::FreeEditPropertiesForm()
{
    delete m_edit_properties;
    m_edit_properties = nullptr;
}

TfrmEdit *TfrmMainWindow::ActiveEditorWindow() const
{
    // The current window, not the active one: the workspace forgets its active window while the
    // application is not in front (a dialog, another program), and the commands then still act
    // on the editor the user sees in front.
    auto *editor = dynamic_cast<TfrmEdit *>(m_workspace->currentSubWindow());
    return editor && !editor->Closing() ? editor : nullptr;
}

bool TfrmMainWindow::MessagesVisible() const { return frmMessages && frmMessages->IsShown(); }

// Close, Undo and Redo keep their state while another workspace window is in front of the
// editors (the messages window), so that they do not flicker; with no editor open at all they
// have nothing to act on and are off.
void TfrmMainWindow::UpdateActions()
{
    if (!actFileSave)
        return;
    TfrmEdit *editor = ActiveEditorWindow();
    actFileSave->setEnabled(editor && editor->IsModified());
    actFileSaveAs->setEnabled(editor != nullptr);
    const std::vector<TfrmEdit *> editors = Editors();
    actFileSaveAll->setEnabled(std::any_of(editors.begin(), editors.end(),
                                           [](TfrmEdit *e) { return e->IsModified(); }));
    if (editor) {
        actFileClose->setEnabled(true);
        actUndo->setEnabled(editor->Editor()->isUndoAvailable());
        actRedo->setEnabled(editor->Editor()->isRedoAvailable());
    } else if (editors.empty()) {
        for (QAction *action : {actFileClose, actUndo, actRedo})
            action->setEnabled(false);
    }
    actEditCut->setEnabled(editor && editor->Editor()->hasSelectedText() &&
                           !editor->IsReadOnly());
    actEditCopy->setEnabled(actEditCopyUpdate());
    actEditPaste->setEnabled(
        editor && editor->Editor()->SendScintilla(QsciScintillaBase::SCI_CANPASTE) != 0);
    for (QAction *action : {actFind, actReplace, actFindNext, actGoto, actShowCodeTemplates})
        action->setEnabled(editor != nullptr);
    actPreviousError->setEnabled(MessagesVisible());
    actNextError->setEnabled(MessagesVisible());
    UpdateCommandActions();
    UpdateWindowActions();
    UpdateToolBarActions();
}

// ---- File ----------------------------------------------------------------------------------------

// The new file is named where Save As will offer to put it: beside the active editor's file,
// else in the folder last used, else in the home folder; never in the process's working folder,
// which may be the program's own.
TfrmEdit *TfrmMainWindow::actFileNewExecute()
{
    std::error_code ec;
    const fs::path folder = DialogStartFolder();
    for (;;) {
        if (m_untitled_counter >= kLastUntitled) {
            ShowAppMessageBox("No new file name is free in '" + folder.string() +
                                  "': Untitled1.c to Untitled" +
                                  std::to_string(kLastUntitled) + ".c are all taken.",
                              GetResString(kMsgErrorCaption), kMbOk | kMbIconError);
            return nullptr;
        }
        ++m_untitled_counter;
        const fs::path name = folder / ("Untitled" + std::to_string(m_untitled_counter) + ".c");
        if (!fs::exists(name, ec) && !fs::is_symlink(name, ec))
            return OpenFile(name.string());
    }
}

// Editors sharing one text are saved once: the first save leaves the others unmodified.
void TfrmMainWindow::actFileSaveAllExecute()
{
    for (TfrmEdit *editor : Editors())
        if (editor->IsModified())
            SaveFile(editor);
}

void TfrmMainWindow::actFileCloseExecute()
{
    if (TfrmEdit *editor = ActiveEditorWindow())
        editor->close();
}

bool TfrmMainWindow::SaveEditorFile(const std::string &name)
{
    const std::string wanted = upper_case(normalize_separators(name));
    for (TfrmEdit *editor : Editors())
        if (upper_case(normalize_separators(editor->FileName())) == wanted)
            return SaveFile(editor);
    return true;
}

bool TfrmMainWindow::CloseAllWindows()
{
    const QList<QMdiSubWindow *> windows = m_workspace->subWindowList(QMdiArea::CreationOrder);
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        QMdiSubWindow *window = *it;
        if (auto *editor = dynamic_cast<TfrmEdit *>(window); editor && editor->Closing())
            continue;
        if (!window->close())
            return false;
    }
    return true;
}

// ---- Edit ----------------------------------------------------------------------------------------

void TfrmMainWindow::actEditCutExecute()
{
    TfrmEdit *editor = ActiveEditorWindow();
    if (editor && editor->Editor()->hasSelectedText() && !editor->IsReadOnly())
        editor->Editor()->cut();
}

// The messages window when it is active, else the active editor.
void TfrmMainWindow::actEditCopyExecute()
{
    if (!actEditCopyUpdate())
        return;
    if (messages_window_active(m_workspace)) {
        frmMessages->actCopyExecute();
        return;
    }
    if (TfrmEdit *editor = ActiveEditorWindow())
        editor->Editor()->copy();
}

bool TfrmMainWindow::actEditCopyUpdate() const
{
    if (messages_window_active(m_workspace))
        return frmMessages->actCopyUpdate();
    TfrmEdit *editor = ActiveEditorWindow();
    return editor && editor->Editor()->hasSelectedText();
}

void TfrmMainWindow::actEditPasteExecute()
{
    TfrmEdit *editor = ActiveEditorWindow();
    if (editor && editor->Editor()->SendScintilla(QsciScintillaBase::SCI_CANPASTE) != 0)
        editor->Editor()->paste();
}

void TfrmMainWindow::actUndoExecute()
{
    if (TfrmEdit *editor = ActiveEditorWindow())
        editor->Editor()->undo();
}

void TfrmMainWindow::actRedoExecute()
{
    if (TfrmEdit *editor = ActiveEditorWindow())
        editor->Editor()->redo();
}

void TfrmMainWindow::actFindExecute() { RunFindDialog(false); }
void TfrmMainWindow::actReplaceExecute() { RunFindDialog(true); }

void TfrmMainWindow::actFindNextExecute()
{
    TfrmEdit *editor = ActiveEditorWindow();
    if (!editor)
        return;
    if (m_last_search.text.isEmpty()) {
        RunFindDialog(false);
        return;
    }
    search_next(editor->Editor(), m_last_search);
}

// The dialog starts with the selection (one line of it) when there is one, else with the last
// search. What it ended with is the last search, also when it was cancelled with a text.
void TfrmMainWindow::RunFindDialog(bool replace)
{
    TfrmEdit *editor = ActiveEditorWindow();
    if (!editor)
        return;
    TSearchRequest start = m_last_search;
    const QString selected = editor->Editor()->selectedText();
    if (!selected.isEmpty() && !selected.contains(QLatin1Char('\n')) &&
        !selected.contains(QLatin1Char('\r')))
        start.text = selected;
    TfrmFindText dialog(this, replace, start);
    if (options_shell().ExecModal(dialog) != QDialog::Accepted)
        return;
    m_last_search = dialog.Request();
    RunSearch(static_cast<int>(dialog.Chosen()));
}

void TfrmMainWindow::RunSearch(int command)
{
    TfrmEdit *editor = ActiveEditorWindow();
    if (!editor)
        return;
    switch (static_cast<TfrmFindText::Command>(command)) {
    case TfrmFindText::Command::None:
        return;
    case TfrmFindText::Command::FindNext:
        search_next(editor->Editor(), m_last_search);
        return;
    case TfrmFindText::Command::Replace:
        replace_and_search_next(editor->Editor(), m_last_search);
        return;
    case TfrmFindText::Command::ReplaceAll: {
        if (editor->IsReadOnly()) {
            ShowAppMessageBox("'" + editor->FileName() + "' is read-only: nothing was replaced.",
                              "Replace", kMbOk | kMbIconWarning);
            return;
        }
        const int count = replace_all(editor->Editor(), m_last_search);
        if (count >= 0)
            ShowAppMessageBox(std::to_string(count) + (count == 1 ? " occurrence" : " occurrences") +
                                  " of '" + m_last_search.text.toStdString() + "' replaced.",
                              "Replace", kMbOk | kMbIconInformation);
        return;
    }
    }
}

void TfrmMainWindow::actGotoExecute()
{
    TfrmLineNumber dialog(this);
    if (options_shell().ExecModal(dialog) != QDialog::Accepted)
        return;
    GoToLineNumber(ActiveEditorWindow(), line_number_of(dialog.edtLineNumber->text()));
}

void TfrmMainWindow::actPreviousErrorExecute()
{
    if (MessagesVisible())
        frmMessages->PreviousMessage();
}

void TfrmMainWindow::actNextErrorExecute()
{
    if (MessagesVisible())
        frmMessages->NextMessage();
}

// ---- Project -------------------------------------------------------------------------------------

namespace {

// The project dialogs: the project filter (message 23 with the project extension), one file.
std::unique_ptr<TFileDialog> project_dialog(FileDialogRequest::Kind kind, const char *title,
                                            const std::string &directory,
                                            const std::string &file, const std::string &filter)
{
    FileDialogRequest request;
    request.kind = kind;
    request.title = title;
    // No project folder used yet: the home folder, not the process's working folder.
    std::error_code ec;
    request.directory = !directory.empty() && fs::is_directory(directory, ec)
                            ? directory
                            : QDir::homePath().toStdString();
    request.file_name = file;
    request.filter = filter;
    request.must_exist = kind == FileDialogRequest::Kind::Open;
    return make_file_dialog(request);
}

} // namespace

// The dialog may name a file that does not exist yet: that is what a new project is.
void TfrmMainWindow::actProjectCreateExecute()
{
    std::unique_ptr<TFileDialog> dialog =
        project_dialog(FileDialogRequest::Kind::Save, "Create", m_last_project_dir,
                       m_last_project_file, m_project_filter);
    if (!dialog->Execute() || dialog->FileName().empty())
        return;
    const std::string chosen = dialog->FileName();
    std::error_code ec;
    if (fs::exists(normalize_separators(chosen), ec) &&
        ShowAppMessageBox(chosen + "Exists. Overwrite?", "",
                          kMbYesNoCancel | kMbIconExclamation) != kIdYes)
        return;
    ide_store().SaveProject();
    if (!CloseAllWindows())
        return;
    m_last_project_file = chosen;
    m_last_project_dir = fs::path(normalize_separators(chosen)).parent_path().string();
    IdePreferences().project = chosen;
    gProject.reset();
    gProject = std::make_unique<TKXProject>(chosen);
    (void)gProject->Update();
    set_compile_mode(1);
    SetMainWindowTitle();
    ShowCommSummary();
}

void TfrmMainWindow::actProjectOpenExecute()
{
    std::unique_ptr<TFileDialog> dialog =
        project_dialog(FileDialogRequest::Kind::Open, "Open", m_last_project_dir,
                       m_last_project_file, m_project_filter);
    if (!dialog->Execute() || dialog->FileName().empty())
        return;
    const std::string chosen = dialog->FileName();
    m_last_project_file = chosen;
    m_last_project_dir = fs::path(normalize_separators(chosen)).parent_path().string();
    if (gProject)
        gProject->SetProjectDirectory(m_last_project_dir);
    ide_store().SaveProject();
    if (!CloseAllWindows())
        return;
    IdePreferences().project = chosen;
    QueueOpenProject();
}

void TfrmMainWindow::actProjectSaveExecute() { ide_store().SaveProject(); }

void TfrmMainWindow::actProjectSaveAsExecute()
{
    const std::string current = gProject ? gProject->FileName() : std::string();
    std::unique_ptr<TFileDialog> dialog =
        project_dialog(FileDialogRequest::Kind::Save, "Save As", m_last_project_dir, current,
                       m_project_filter);
    if (!dialog->Execute() || dialog->FileName().empty() || !gProject)
        return;
    const std::string chosen = dialog->FileName();
    m_last_project_dir = fs::path(normalize_separators(chosen)).parent_path().string();
    gProject->SetProjectDirectory(m_last_project_dir);
    gProject->SaveAs(chosen);
    IdePreferences().project = chosen;
    SetMainWindowTitle();
}

void TfrmMainWindow::actProjectCloseExecute()
{
    ide_store().SaveProject();
    if (!CloseAllWindows())
        return;
    IdePreferences().project = gDefaultProjectPath;
    QueueOpenProject();
}

void TfrmMainWindow::QueueOpenProject()
{
    QMetaObject::invokeMethod(
        this, [this] { guarded([&] { OpenProject(); }); }, Qt::QueuedConnection);
}

// A project file that cannot be used is told (message 5148) and the default project takes its
// place, so that title, settings and the next save all speak of one project.
void TfrmMainWindow::OpenProject()
{
    const std::string name = IdePreferences().project;
    gProject.reset();
    gProject = std::make_unique<TKXProject>(name);
    if (!gProject->CheckWritable()) {
        ShowAppMessageBox(GetResString(5148, name.c_str()), GetResString(kMsgErrorCaption),
                          kMbOk | kMbIconError);
        LoadStartUpProject(gDefaultProjectPath);
    }
    set_compile_mode(1);
    SetMainWindowTitle();
    ShowCommSummary();
}
