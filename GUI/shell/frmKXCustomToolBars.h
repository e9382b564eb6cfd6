// frmKXCustomToolBars: `TfrmCustomToolBars`, the "Customize Menu Buttons" palette. Ten groups
// of command buttons, each on a vertical palette toolbar with a label per button, from which
// the user drags buttons onto the main window's toolbars; a button dragged onto the dialog is
// taken off its toolbar. The drops are the main window's: every label, palette button, panel,
// the scroll box, the group list and the dialog itself report to it. One dialog at a time,
// opened and closed by the main window's customise command; it stays on top and is freed when
// it closes.
#pragma once

#include <QDialog>

#include <vector>

class QLabel;
class QListWidget;
class QPushButton;
class QScrollArea;
class QToolBar;
class TfrmMainWindow;

class TfrmCustomToolBars : public QDialog {
    Q_OBJECT
public:
    static constexpr int kGroupCount = 10;

    explicit TfrmCustomToolBars(TfrmMainWindow *main);
    ~TfrmCustomToolBars() override;

    QListWidget *lbToolButtonGroups = nullptr;
    QScrollArea *ScrollBox1 = nullptr;
    QPushButton *btnClose = nullptr;
    QPushButton *BitBtn1 = nullptr;

    // Shows only the group's panel; the scroll range: the panel's width plus 20 across, its
    // height down.
    void lbToolButtonGroupsClick(int row);
    QWidget *CurrentPanel() const { return m_current; }
    QWidget *Panel(int group) const { return m_panels.at(static_cast<std::size_t>(group)); }
    // The palette toolbars in the group order.
    const std::vector<QToolBar *> &Palettes() const { return m_palettes; }
    // The labels of a group's panel, top to bottom.
    std::vector<QLabel *> Labels(int group) const;
    QSize ScrollRange() const;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void AddGroup(int group);

    TfrmMainWindow *m_main;
    std::vector<QWidget *> m_panels;
    std::vector<QToolBar *> m_palettes;
    QWidget *m_current = nullptr;
    QWidget *m_holder = nullptr;
};
