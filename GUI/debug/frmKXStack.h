// frmKXStack: `TfrmStack`, the stack window. The debugger core writes the words on top of the
// target's stack into it through its text sink (`cTextStack`, lines "%04X: %04X" from
// DB_ML's `fillStackView`); the window appends each line and keeps the newest in view, copies
// the selected lines, and tells the target to stop sending stack data when it is hidden or
// closed while debugging. The main window makes, shows and hides it through the debug windows
// table.
#pragma once

#include <string>

#include "core/guiInterface.h"
#include "shell/frmKXDockable.h"

class QAction;
class QListWidget;
class QMenu;

class TfrmStack : public TfrmDockable, public TStackWindow {
    Q_OBJECT
public:
    // In the workspace when `as_child`, else floating (docking when `dockable`); left and top
    // 0, 200 x 400.
    TfrmStack(TfrmMainWindow *main, bool as_child, bool dockable);
    ~TfrmStack() override;

    // The sink the debugger core writes into.
    TStackInterface *Adapter() { return &m_adapter; }

    // TStackWindow: appends the line and scrolls so that it is in view.
    void AddLine(const std::string &text) override;

    void actCopyExecute();
    bool actCopyUpdate() const;
    // The stack reports stop while debugging (failures ignored); the auto-show flag clears.
    void FormHide();
    CloseAction FormClose() override;
    // The list's colour and font from the stack window's settings.
    void ApplyOptions();

    QListWidget *lbxStack = nullptr;
    QMenu *poStack = nullptr;
    QAction *actCopy = nullptr;
    QAction *actCopyOldStyle = nullptr;

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void StopStackReports();

    cTextStack m_adapter;
};
