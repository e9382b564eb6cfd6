// frmKXGrepSetup: `TfrmGrepSetup`, the "Find Text" dialog of Find in Files: the expression (with
// its history "GrepText"), case and whole words, directories or open files, the path masks (with
// their history "GrepDirectory") and subdirectories. OK checks the expression and the mask,
// builds the search list from the masks and stores the choices. Shown by the main window's
// Find in Files (frmKXGrepProgress runs the search). GUI thread only.
#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

#include "editor/RegularExpression.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;

// The search list of a mask text: the text split at ";"; a piece whose folder part names a
// folder under the program directory is searched there (a piece without a folder part searches
// the program directory; an absolute folder stays as it is); a piece that names a folder is
// that folder with "*.c" inside it; blank pieces are passed over. "\" separates like "/".
std::vector<std::string> BuildSearchList(const std::string &masks, const std::string &program_dir);

class TfrmGrepSetup : public QDialog {
    Q_OBJECT
public:
    explicit TfrmGrepSetup(QWidget *owner = nullptr);

    // The folder chooser behind "..." (title, start folder; empty when cancelled). Tests
    // install their own; null restores the program's.
    using FolderChooser = std::function<QString(QWidget *owner, const QString &title,
                                                const QString &start)>;
    static void SetFolderChooser(FolderChooser chooser);

    // OK: true when the dialog may close (the search is set up and the choices stored).
    bool btnSearchClick();
    void btnBrowseClick();
    void EnableDirectoryControls(bool on);

    RegularExpression Regex;
    std::vector<std::string> SearchList;
    bool SearchDirectories() const;

    QComboBox *cboSearch = nullptr, *cboFileName = nullptr;
    QCheckBox *chkCaseSensitive = nullptr, *chkWholeWords = nullptr, *chkRecurse = nullptr;
    QRadioButton *rdbSearchDirectories = nullptr, *rdbSearchOpen = nullptr;
    QPushButton *btnBrowse = nullptr, *btnSearch = nullptr, *btnCancel = nullptr,
                *btnHelp = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};
