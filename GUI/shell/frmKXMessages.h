// frmKXMessages: `TfrmMessages`, the compiler messages window. After a compile it lists the
// program-wide message list (CC_ER), one line per message; selecting a line shows its place in
// the file's open editor, a click opens the file there, Previous and Next step through the lines,
// Ctrl+C copies the selected lines and F1 shows a message's detail. Each line keeps a copy of
// what it needs of its message, since the next compile frees the list; the window empties when
// the list is reset.
#pragma once

#include <QPointer>

#include <string>
#include <vector>

#include "frmKXDockable.h"
#include "core/guiInterface.h"

class QAction;
class QListWidget;
class QMenu;
class TfrmEdit;

// What one line needs of its message: its place and its detail (empty: none).
struct TErrorInfo {
    int line = 0;   // from 1
    int column = 0; // from 1
    std::string file; // empty: no file
    std::string detail;
};

class TfrmMessages : public TfrmDockable, public TGuiWindow {
    Q_OBJECT
public:
    // In the workspace when `as_child`, else floating (docking when `dockable`).
    TfrmMessages(TfrmMainWindow *main, bool as_child, bool dockable);
    ~TfrmMessages() override;

    // Fills the list again from the message list (trimmed to the user's maximums first), then
    // selects the first line and acts as a click on it.
    void Update();
    // Forgets every line (the message list was reset).
    void Clear();
    // The line's text for a message: "line %4d : %-60s" with its line and text when the text
    // holds "ERROR" or "WARNING", else the text itself.
    static std::string LineText(int line, const std::string &text);

    // The selected line's message in its editor (opened when the file exists and no editor has
    // it); the messages window keeps the focus when asked, else the editor takes it.
    void GoToMessage(bool keep_focus);
    void PreviousMessage();
    void NextMessage();
    void actCopyExecute();
    bool actCopyUpdate() const;
    // F1 shows the selected message's detail.
    void lbxMessagesKeyDown(int key);
    CloseAction FormClose() override;

    const TErrorInfo *Info(int row) const;
    TfrmEdit *FindEditor(const std::string &file) const;

    QListWidget *lbxMessages = nullptr;
    QAction *actCopy = nullptr;
    QAction *actCopyOldStyle = nullptr;
    QMenu *poMessages = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The editor side of a selected line: caret and "Error line" in an open editor.
    void ShowSelectedInEditor();
    void ShowInEditor(TfrmEdit *editor, const TErrorInfo &info);

    cTextMessage m_adapter;
    std::vector<TErrorInfo> m_infos; // one per list row
};

// The messages window while it exists.
extern QPointer<TfrmMessages> frmMessages;
