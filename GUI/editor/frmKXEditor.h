// frmKXEditor: `TfrmEdit`, the child window of the main window that edits one source or library
// file on a QScintilla memo. It keeps the file's bytes exactly (Latin-1 mode: every byte one
// character, NUL and 0x80-0xFF included, line ends as they are), shows caret, modified and
// insert state in the main window's status bar, colours sources by their extension, asks before
// unsaved text is lost, and serves the compiler and the debugger through its two adapters.
// Saving and opening go through the main window, which owns those decisions.
//
// The debugger's marks (breakpoints, the execution point) and the numbered bookmarks belong to
// the text, which several windows of one file share (`TMemoSourceTag`); bookmarks are kept
// from one opening to the next in the ".bmk" file beside the source. While a program is
// stopped, resting the mouse on a word or inside the selection evaluates it as a watch and
// shows the value in a fly-over hint.
#pragma once

#include <QMdiSubWindow>

#include <Qsci/qsciscintilla.h>

#include <cstdint>
#include <memory>
#include <string>

#include "MemoSourceTag.h"
#include "core/guiInterface.h"
#include "shell/guiStore.h"

class QAction;
class QLabel;
class QMenu;
class QTimer;
class TfrmMainWindow;
class TKorvexLexer;
class TMemoOptionsLink;

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

// The largest file an editor opens; the compiler reads no larger program either.
inline constexpr std::size_t kEditorMaxFileBytes = std::size_t(64) << 20;

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
    // The memo's size that shows the columns and lines in its font, margins and scroll bars
    // included.
    QSize TextAreaSize(int columns, int lines) const;
    void UpdateCaretStatus();
    // The caption: the name part when maximized, else the path, both as the file system spells
    // them, and " *" while the text is modified.
    void UpdateCaption();
    void OpenFileAtCursor();
    // Asks "Save changes to '%s'?" when the text is modified: kIdYes, kIdNo or kIdCancel; kIdNo
    // when there is nothing to save.
    int AskToSave() const;
    // Closes without asking again: the main window asked every editor before.
    void CloseDecided();
    bool Closing() const { return m_closing; }
    // Panels 1 and 2 from the caret kept last, panel 3 from the modified flag (when the window
    // becomes active).
    void FormActivate();
    // This editor is the main window's current one (its panels show this editor's state).
    bool IsCurrent() const;
    // The memo's read-only state and colour (the main window sets it while it debugs).
    void SetReadOnly(bool read_only);
    bool IsReadOnly() const { return m_editor->isReadOnly(); }
    // Gives one line (from 0) the "Error line" look, taking it from the line that had it; -1
    // takes it from every line. The line that has it, or -1.
    void SetErrorLine(int line);
    int ErrorLine() const;
    // The colour behind the error line: light, whatever the style's colour, so that the line's
    // text stays readable on it.
    static QColor ErrorLinePaper();
    static QColor SearchMatchPaper();
    // The line Find in Files went to (0-based; -1 for none), in the "Search Match" look.
    void SetSearchMatchLine(int line);
    int SearchMatchLine() const;

    // The popup menu: the editor's own commands among the main window's.
    QMenu *Popup() const { return m_popup; }
    QAction *actOpenFileAtCursor = nullptr;
    QAction *actReadOnly = nullptr;
    QAction *actUseSyntaxParser = nullptr;
    // The popup's last item: the Environment Options on the Editor page.
    QAction *actEditorProperties = nullptr;
    // "&Insert Code Template...": the program-wide templates listed at the caret (nothing in a
    // read-only memo or without templates).
    QAction *actShowCodeTemplates = nullptr;
    void ShowCodeTemplates();
    // The popup menu's "To&ggle Bookmark" and "Go to Boo&kmark" items, in menu order
    // ("Bookmark &0" to "Bookmark &9"); each carries its bookmark number as its data.
    QMenu *ToggleBookmarkMenu = nullptr;
    QMenu *GotoBookmarkMenu = nullptr;

    // ---- marks, breakpoints and bookmarks ----
    TMemoSourceTag &MarkerState() { return *m_tag; }
    // This window shows the other's text from now on, with its marks and bookmarks.
    void JoinMemoSource(TfrmEdit *other);
    // Leaving debug mode: every mark goes, the debugger forgets its breakpoints; the caret stays.
    void ClearDebugMarks();
    // A soft (or hard) breakpoint at the caret, through the debugger.
    void ToggleBreakpointAtCursor();
    void ToggleHardBreakpointAtCursor();
    // The source's path with the extension ".bmk".
    std::string BookmarkFileName() const;
    // After the file was loaded: the bookmarks of its ".bmk" file; a line that cannot be read
    // ends the reading with a warning, the bookmarks before it kept.
    void LoadBookmarks();
    // At closing: the set bookmarks into the ".bmk" file (replaced whole), or the old file
    // removed when none is set. Nothing for a file that is not on disk.
    void SaveBookmarks();
    // The menus' items: their numbers 1 to 9 and 10 for "Bookmark &0".
    void ToggleBookmarkClick(int number);
    void GotoBookmarkClick(int number);

    // ---- the fly-over hint ----
    // What the mouse does over the text (point in the memo's viewport).
    void EditorMouseMove(const QPoint &at, bool left_button);
    // One tick of the hint timer: evaluates the word under the mouse while the program is
    // stopped, and shows the value.
    void tmrWatchHintTimer();
    // A key, the popup menu or the mouse leaving: the hint goes; a tick to come is dropped.
    void HideHint();
    QTimer *WatchHintTimer() const { return m_watch_hint; }
    QLabel *HintWindow() const { return m_hint_window; }
    const std::string &HintExpression() const;
    bool Marking() const { return m_marking; }

    // TEditWindow: what the compiler and the debugger read through the adapters. Lines and
    // columns of packed positions count from 0.
    std::string FileName() const override { return m_file_name; }
    bool IsModified() const override;
    void WriteText(std::ostream &out) const override;
    // Through the main window's save (a read-only file is refused there).
    bool Save() override;
    // Lines and columns past 65535 cannot be packed: the caret's saturate at 0xFFFF, and a
    // next position that would not fit is the position itself.
    uint32_t GetCaretPosition() const override;
    uint32_t GetNextPosition(uint32_t packed) const override;
    std::string GetLineText(int line) const override; // 0-based; without its line end
    // The execution point also takes the caret to its byte.
    void SetLineMark(uint32_t packed, const TMarkKind &kind) override;
    void ClearLineMark(uint32_t packed) override;
    void ClearExecutionPoint() override;
    TEditorInterface *GetTextEdit() override { return &m_text_edit; }
    TEditorInterface *GetEditFrame() override { return &m_edit_frame; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void EditorStateChange(bool modified);
    void OverwriteChanged(bool overwrite);
    bool FormCloseQuery();
    void FormClose();
    void PopupMenu(const QPoint &at);
    void BuildBookmarkMenus();
    void ShowHint(const std::string &text);
    // An edit of the error line clears its mark.
    void TextModified(int position, int type);
    // After the program-wide editor options changed.
    void OptionsChanged();

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
    std::shared_ptr<TMemoSourceTag> m_tag;
    QTimer *m_watch_hint = nullptr;   // tmrWatchHint
    QLabel *m_hint_window = nullptr;  // FHintWindow
    bool m_hint_just_shown = false;   // FHintJustShown
    bool m_hint_just_hidden = false;  // FHintJustHidden
    bool m_evaluating = false;        // FEvaluating
    bool m_skip_tick = false;         // FSkipTick
    bool m_hide_while_evaluating = false;
    std::unique_ptr<TMemoOptionsLink> m_options;
    bool m_color_syntax = true; // the options' colouring switch as last seen
    cEditFrame m_edit_frame;
    cTextEdit m_text_edit;
};
