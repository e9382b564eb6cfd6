// frmKXEditor: `TfrmEdit`, the child window of the main window that edits one source or library
// file on a QScintilla memo. It keeps the file's bytes exactly (Latin-1 mode: every byte one
// character, NUL and 0x80-0xFF included, line ends as they are), shows caret, modified and
// insert state in the main window's status bar, colours sources by their extension, asks before
// unsaved text is lost, and serves the compiler and the debugger through its two adapters.
// Saving and opening go through the main window, which owns those decisions.
#pragma once

#include <QMdiSubWindow>

#include <Qsci/qsciscintilla.h>

#include <cstdint>
#include <memory>
#include <string>

#include "guiInterface.h"
#include "guiStore.h"

class QAction;
class QMenu;
class TfrmMainWindow;
class TKorvexLexer;

// The memo: reports a change of insert/overwrite mode, which QScintilla keeps to itself.
class TKorvexMemo : public QsciScintilla {
    Q_OBJECT
public:
    explicit TKorvexMemo(QWidget *parent = nullptr) : QsciScintilla(parent) {}
signals:
    void overwriteModeChanged(bool overwrite);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

class TfrmEdit : public QMdiSubWindow, public TEditWindow {
    Q_OBJECT
public:
    // A window for a file, which may not exist yet.
    TfrmEdit(TfrmMainWindow *main, const std::string &file_name);
    ~TfrmEdit() override;
    // The placement of a recently-used entry (once the window is in the workspace).
    void ApplyPlacement(const EditorState &info);

    // The path as given (never changed in case); the name part as given.
    void SetFileName(const std::string &file_name);
    void SetShortName(const std::string &short_name);
    const std::string &ShortName() const { return m_short_name; }
    TKorvexMemo *Editor() const { return m_editor; }

    // The file's bytes into the memo: the text becomes unmodified and its undo history empty.
    // False (reason set) when the file cannot be read; the memo is then left as it was.
    [[nodiscard]] bool LoadFromFile(std::string &reason);
    // The memo's bytes, exactly.
    std::string Text() const;
    // The lines the compiler reads: a last line end does not start another line.
    int SourceLineCount() const;
    // Clears the modified flag (the text now counts as the file's).
    void MarkUnmodified();
    // After the text reached its own file: unmodified, undo history cleared unless the setting
    // "Undo After Save" keeps it, the file's time stamp recorded.
    void MarkSaved();
    int64_t FileTime() const { return m_file_time; }
    void SetFileTime(int64_t time) { m_file_time = time; }
    EditorState State() const;
    void RestoreCaret(const EditorState &info);

    // Colouring on when the extension is one of the syntax file types (or they hold "*").
    void SelectSyntaxParser();
    bool HasSyntaxParser() const;
    void UpdateCaretStatus();
    // The caption: the upper-cased name part when maximized, else the upper-cased path, and
    // " *" while the text is modified.
    void UpdateCaption();
    void OpenFileAtCursor();
    // Asks "Save changes to '%s'?" when the text is modified: kIdYes, kIdNo or kIdCancel; kIdNo
    // when there is nothing to save.
    int AskToSave() const;
    // Closes without asking again: the main window asked every editor before.
    void CloseDecided();
    bool Closing() const { return m_closing; }
    // Panels 1 and 2 from the caret kept last (when the window becomes active).
    void FormActivate();

    QAction *actOpenFileAtCursor = nullptr;
    QAction *actReadOnly = nullptr;
    QAction *actUseSyntaxParser = nullptr;

    // TEditWindow: what the compiler and the debugger read through the adapters. Lines and
    // columns of packed positions count from 0.
    std::string FileName() const override { return m_file_name; }
    bool IsModified() const override;
    void WriteText(std::ostream &out) const override;
    // Through the main window's save (a read-only file is refused there).
    bool Save() override;
    uint32_t GetCaretPosition() const override;
    uint32_t GetNextPosition(uint32_t packed) const override;
    std::string GetLineText(int line) const override; // 0-based; without its line end
    void SetLineMark(uint32_t packed, int mark_kind) override;
    void ClearLineMark(uint32_t packed) override;
    void ClearExecutionPoint() override;
    TEditorInterface *GetTextEdit() override { return &m_text_edit; }
    TEditorInterface *GetEditFrame() override { return &m_edit_frame; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void FormCreate();
    void EditorStateChange(bool modified);
    void OverwriteChanged(bool overwrite);
    bool FormCloseQuery();
    void FormClose();
    void PopupMenu(const QPoint &at);
    void SetReadOnly(bool read_only);

    TfrmMainWindow *m_main;
    TKorvexMemo *m_editor = nullptr;
    TKorvexLexer *m_lexer = nullptr; // this editor's own, on the shared style table
    QMenu *m_popup = nullptr;
    std::string m_file_name;
    std::string m_short_name;
    int m_caret_line = 1, m_caret_column = 1; // as last shown, from 1
    bool m_marking = false;
    bool m_closing = false;
    bool m_close_decided = false;
    int64_t m_file_time = 0;
    cEditFrame m_edit_frame;
    cTextEdit m_text_edit;
};
