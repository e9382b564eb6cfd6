// frmKXEvalExpression: `TfrmEvalExpression`, "Evaluate Expression". Evaluates the typed
// expression once on the stopped target and shows its line in "&Result" without keeping a watch:
// through the watches window's list when that window exists, else through a watch list of its
// own (the watches window is not opened). A text that does not compile puts its message into
// the result. Modeless; freed when closed. The expression history is the watches window's, or
// the one stored beside the program's main source.
#pragma once

#include <QDialog>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class TfrmMainWindow;

class TfrmEvalExpression : public QDialog {
    Q_OBJECT
public:
    TfrmEvalExpression(QWidget *owner, TfrmMainWindow *main);

    void btnOKClick();

    QLabel *lblExpression = nullptr;
    QComboBox *cboExpression = nullptr;
    QLabel *lblResult = nullptr;
    QLineEdit *edtResult = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnHelp = nullptr;
    QAction *actCopy = nullptr;
    QAction *actPaste = nullptr;
    QMenu *PopupMenu1 = nullptr;

protected:
    // The expression it opens with is selected: what the user types replaces it.
    void showEvent(QShowEvent *event) override;

private:
    TfrmMainWindow *m_main = nullptr;
};
