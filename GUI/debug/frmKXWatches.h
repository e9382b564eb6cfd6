// frmKXWatches: `TfrmWatches`, the watches window. One line per watch expression, the value the
// target computed for it at the last stop ("%-30.30s %-16.16s %-29.29s": expression, C type,
// value). The list and its lines are the watch list's (link/cWatchList); the window shows them,
// keeps the expression history that Add Watch and Evaluate share, stores the watches beside the
// program's main source ("prog.DBG") when it closes and brings them back when it is shown.
// The debugger core refreshes it through `cMainWindow::RefreshWatches`.
#pragma once

#include <QPointer>

#include <string>
#include <vector>

#include "shell/frmKXDockable.h"
#include "core/guiInterface.h"
#include "link/cWatchList.h"

class QAction;
class QListWidget;
class QMenu;

class TfrmWatches : public TfrmDockable, public TWatchesWindow {
    Q_OBJECT
public:
    // In the workspace when `as_child`, else floating (docking when `dockable`).
    TfrmWatches(TfrmMainWindow *main, bool as_child, bool dockable);
    ~TfrmWatches() override;

    // TWatchesWindow: every line again, from the target's last results.
    void UpdateResults(int argument) override;
    int WatchCount() override;
    // One evaluation behind the window's watches; the target's table holds exactly the
    // window's watches again afterwards. On an error: its text with `keep_error`, else nothing.
    std::string EvaluateExpression(const std::string &expression, bool keep_error) override;

    // Adds a watch at the end (empty scope: the function at the program counter) and shows its
    // line; false for a duplicate. Errors (xWatch, xTCErr) are passed on.
    bool AddWatch(const std::string &expression, const std::string &scope_name);
    // The selected watch goes; the target's table is rebuilt from the rest.
    void DeleteSelectedWatch();
    // Every watch goes, on the target too; the watch-code area starts again at its origin.
    void DeleteAllWatches(bool clear_list_box);
    bool HasSelectedWatch() const;

    // The watch set and the expression history: "<main source>.DBG".
    void SaveWatchSet();
    void LoadWatchSet();

    // The adapter the debugger core reaches the window through.
    TWatchInterface *Adapter() { return &m_adapter; }
    std::vector<std::string> &History() { return m_history; }
    cWatchList &List() { return m_list; }

    void FormShow();
    CloseAction FormClose() override;

    QListWidget *lbxWatches = nullptr;
    QAction *actDeleteWatch = nullptr;
    QAction *actDeleteAllWatches = nullptr;
    QAction *actCopy = nullptr;
    QAction *actCopyOldStyle = nullptr;
    QAction *actFullExpand = nullptr;
    QAction *actFullCollapse = nullptr;
    QAction *actSelectAll = nullptr;
    QMenu *poWatches = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void actDeleteWatchExecute();
    void actDeleteAllWatchesExecute();
    void CopySelection();

    cTextWatch m_adapter;
    cWatchList m_list{1};
    bool m_created = false;
    bool m_loading = false;
    std::vector<std::string> m_history;
};

// The watches window while it exists.
extern QPointer<TfrmWatches> frmWatches;

// "Cannot add any more watches.\nRemove a watch, or increase the number of watches supported in
// the debugger options", captioned "Error".
void ShowWatchLimitMessage();

// The history rule of both dialogs: a present text that is not blank leaves its place, then an
// absent text that is not blank goes to the front.
void UpdateExpressionHistory(std::vector<std::string> &history, const std::string &text);
