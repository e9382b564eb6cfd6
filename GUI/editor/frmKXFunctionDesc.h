// frmKXFunctionDesc: `TfrmFunctionDesc`, the description a library file holds for one function
// (the lines after its "/* START FUNCTION DESCRIPTION" header, up to the line that closes the
// comment), read-only and coloured. From it the user prints the description, copies from it,
// browses every library function (frmKXLibraryLookup) or opens the library in an editor at the
// description ("Edit library file"). Made by the lookup window and by Function Lookup; it
// deletes itself when closed. GUI thread only.
#pragma once

#include <QDialog>

#include <string>

class QAction;
class QPushButton;
class QsciScintilla;
class TfrmMainWindow;
class TKorvexLexer;
struct ZModEntry;

class TfrmFunctionDesc : public QDialog {
    Q_OBJECT
public:
    // `entry` is the function's description in the library index; without one the name is
    // looked up there. Throws xFileOpen naming the library when there is no description or
    // its file cannot be read (no window is then made).
    TfrmFunctionDesc(TfrmMainWindow *main, const ZModEntry *entry, const std::string &name,
                     QWidget *owner = nullptr);
    ~TfrmFunctionDesc() override;

    // The one the user works with now (the most recently shown still open), or null.
    static TfrmFunctionDesc *Active();
    // The word at the caret of the description.
    std::string WordAtCaret() const;
    const std::string &Name() const { return FName; }
    QsciScintilla *Memo() const { return FncDescBig; }

    // "Edit library file".
    void actEditExecute();
    void btnBrowseClick();
    void btnPrintClick();

    QsciScintilla *FncDescBig = nullptr;
    QPushButton *btnEdit = nullptr, *btnBrowse = nullptr, *btnPrint = nullptr, *btnHelp = nullptr,
                *btnOk = nullptr;
    QAction *actCancel = nullptr, *actEdit = nullptr, *actCopy = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void actCopyUpdate();
    // The library file of the description.
    std::string LibraryPath() const;

    TfrmMainWindow *m_main;
    const ZModEntry *FEntry = nullptr;
    std::string FName;
    TKorvexLexer *m_lexer = nullptr;
};
