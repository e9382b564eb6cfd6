// frmKXAddCodeTemplate: `TfrmAddCodeTemplate`, the small dialog in which the "Code Templates"
// page of the Environment Options asks for a template's name and description, when one is
// added and when one is renamed. It refuses OK with an empty name; anything else (blanks only
// included) is taken as typed.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

class TfrmAddCodeTemplate : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAddCodeTemplate(QWidget *owner);

    void FormShow();
    // OK or Cancel (QDialog's results); false keeps the dialog open.
    bool FormCloseQuery(int result);

    QLineEdit *Name = nullptr;
    QLineEdit *Description = nullptr;
    QPushButton *OkButton = nullptr;
    QPushButton *CancelButton = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;
};
