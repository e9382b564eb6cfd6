// frmKXMain: `TfrmMainWindow`, the IDE's main window. Editor windows are children of its
// workspace (a QMdiArea); its status bar has the eight panels every part writes into; it
// serves the host services as the main window (`TMainWindowHost`) behind the one adapter
// `cMainWindow`. This unit covers how it comes up and goes down, opening, finding and saving
// source files, and the source lines the compiler reads (an open editor's text, else the file).
#pragma once

#include <QMainWindow>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "frmKXEditor.h"
#include "guiInterface.h"

class QLabel;
class QMdiArea;
class QMenu;
class QTimer;

class TfrmMainWindow : public QMainWindow, public TMainWindowHost {
    Q_OBJECT
public:
    static constexpr int kStatusPanels = 8;

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
    // Where the open and the save dialogs start next.
    const std::string &LastOpenDir() const { return m_last_open_dir; }
    const std::string &LastSaveDir() const { return m_last_save_dir; }
    void ShowAbout();

    // Status bar.
    void SetStatusPanelText(const std::string &text, int panel) override;
    void LockStatusPanel(int panel, bool locked);
    QLabel *StatusPanel(int panel) const { return m_panels.at(static_cast<std::size_t>(panel)); }
    void SetStatusText(const std::string &text) override { SetStatusPanelText(text, 7); }

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
    TWatchesWindow *WatchesWindow() override { return nullptr; }
    void RefreshDumpWindows() override {}
    bool IsStopped() override { return m_run_state == 1; }
    bool IsEditMode() const { return m_run_state == 0; }
    void SetRunState(int state) override;
    bool IsPolling() override { return false; }
    void PausePolling() override {}
    void ResumePolling() override {}
    void BringToFront() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormShow();
    void BuildMenus();
    void BuildStatusBar();
    void ApplyWindowPlacement();
    TfrmEdit *CreateEditor(const std::string &name, bool exists, const EditorState *remembered);

    cMainWindow m_adapter;
    QMdiArea *m_workspace = nullptr;
    QTimer *m_first_time_only = nullptr;
    std::array<QLabel *, kStatusPanels> m_panels{};
    std::array<bool, kStatusPanels> m_panel_locks{};
    std::array<std::string, 4> m_run_state_texts;
    std::string m_current_file;
    std::string m_source_filter;  // message 21
    std::string m_project_filter; // message 23 with the project extension
    std::string m_last_open_dir, m_last_open_file, m_last_save_dir;
    SourceFileLines m_file_lines;
    int m_run_state = 0;
    int m_tag = 0;
    bool m_shown_once = false;
    bool m_close_done = false;
    QAction *m_current_action = nullptr;
    QMenu *m_file_menu = nullptr;
    int m_mru_separator = -1; // the File menu's last separator: recently-used items follow it
    TfrmEdit *m_active_editor = nullptr;
};

// The main form while it exists.
extern TfrmMainWindow *frmMainWindow;
