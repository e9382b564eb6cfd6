// frmKXAddWatch: `TfrmAddWatch`, "Add Watch Expression". The combo box offers the watches
// window's expression history; "&Add" adds the typed expression to the watches window and stays
// open, "&OK" adds it and closes. Bad input (a blank text, the target's limit reached, an
// expression that does not compile) gets its box and the dialog stays open. Opened modally by
// the main window's Add Watch command.
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

class TfrmAddWatch : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAddWatch(QWidget *owner);

    // The add step; true when the watch was handed to the watches window.
    bool AddWatchFromDialog();
    void btnOKClick();
    void btnAddClick();

    QLabel *lblWatchExpression = nullptr;
    QComboBox *cboWatchExpression = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnAdd = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnHelp = nullptr;

protected:
    // The expression it opens with is selected: what the user types replaces it.
    void showEvent(QShowEvent *event) override;
};
