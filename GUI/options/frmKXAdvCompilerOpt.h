// frmKXAdvCompilerOpt: `TfrmAdvCompilerOpt`, the modal "Advanced Compiler Options" dialog: the
// project's own BIOS source file and libraries list file, its default source file, the
// restriction on watch expressions, and the switches "Include BIOS" and "Include RST 28
// instructions". Opened by the Project Options dialog's "&Advanced..." button (which may force
// "Include BIOS" first) and by the main window when the project's default source file is missing.
//
// The dialog loads itself from the settings object when it is made. OK checks that a BIOS or
// libraries list file in use names an existing file (a relative name is looked for in the program
// directory), then stores the values, writes the project's two switch sections and sets the BIOS
// and libraries list files the compiler uses. Cancel changes nothing.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

class TfrmAdvCompilerOpt : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAdvCompilerOpt(QWidget *owner);

    // Enabling: the path control and its "..." button follow the "Use" box.
    void chkUseUserBIOSClick();
    void chkUseUserLibClick();
    void chkDefaultSourceClick();
    // Browsing with the file dialog, each from its own remembered folder.
    void btnUserBIOSClick();
    void btnUserLibClick();
    void btnDefaultSourceClick();
    [[nodiscard]] bool FormCloseQuery();
    void FormClose(int result);

    QGroupBox *gbxDefaultSource = nullptr;
    QCheckBox *chkDefaultSource = nullptr;
    QComboBox *cboDefaultSource = nullptr;
    QPushButton *btnDefaultSource = nullptr;
    QGroupBox *gbxUserBIOS = nullptr;
    QCheckBox *chkUseUserBIOS = nullptr;
    QLineEdit *edtUserBIOSPath = nullptr;
    QPushButton *btnUserBIOS = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QCheckBox *chkUseUserLib = nullptr;
    QLineEdit *edtUserLibPath = nullptr;
    QPushButton *btnUserLib = nullptr;
    QGroupBox *gbxWatchCode = nullptr;
    QRadioButton *rdbAllowAllWatches = nullptr;
    QRadioButton *rdbRestrictWatches = nullptr;
    QGroupBox *GroupBox4 = nullptr;
    QCheckBox *chkIncludeBIOS = nullptr;
    QCheckBox *chkIncludeRST28 = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;

protected:
    // OK asks FormCloseQuery first; every close runs FormClose.
    void done(int result) override;
};
