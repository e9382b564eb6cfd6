// frmKXFind: find and replace in a source editor. `TfrmFindText` is the small dialog (the text,
// the replacement, case, whole words, regular expression); the search itself works on the
// memo's bytes (one Latin-1 character a byte, so a match's offsets are the memo's positions)
// with QRegularExpression, and is reachable without the dialog, which the main window's Find,
// Replace and Find Next commands use.
//
// A pattern that matches the empty text is no match anywhere: a search must move on, and a
// replacement of nothing would only insert. A pattern that is no valid regular expression is
// refused with a box that says why, before anything is searched.
#pragma once

#include <QDialog>
#include <QString>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QsciScintilla;

struct TSearchRequest {
    QString text;
    QString replacement;
    bool case_sensitive = false;
    bool whole_words = false;
    bool regular_expression = false;
};

// A match: the byte offset of its first character and its length (never 0).
struct TSearchMatch {
    long start = 0;
    long length = 0;
    bool operator==(const TSearchMatch &) const = default;
};

// The first match that starts at or after `from`, or nothing. An invalid pattern gives nothing
// and sets `error` (when given) to why.
std::optional<TSearchMatch> find_match(const QString &text, long from,
                                       const TSearchRequest &request, QString *error = nullptr);
// The replacement of one match: with a regular expression "\0" to "\9" stand for its groups and
// "\\" for a backslash; otherwise the replacement as it stands.
QString replacement_for(const QString &text, const TSearchMatch &match,
                        const TSearchRequest &request);

// On an editor: each refuses an invalid pattern with a box; false when nothing was found.
// The next match after the selection (after the caret without one) is selected and scrolled to.
bool search_next(QsciScintilla *memo, const TSearchRequest &request);
// Replaces the selection when it is exactly a match, then selects the next match. False when no
// further match is found.
bool replace_and_search_next(QsciScintilla *memo, const TSearchRequest &request);
// Replaces every match of the whole text in one undo step; how many. -1 for an invalid pattern.
int replace_all(QsciScintilla *memo, const TSearchRequest &request);

class TfrmFindText : public QDialog {
    Q_OBJECT
public:
    enum class Command { None, FindNext, Replace, ReplaceAll };

    // The Find dialog, or the Replace dialog with its replacement line and buttons.
    TfrmFindText(QWidget *owner, bool replace, const TSearchRequest &start);
    TSearchRequest Request() const;
    // The button that ended the dialog (None for Cancel).
    Command Chosen() const { return m_chosen; }

    QComboBox *cbxFind = nullptr;
    QLineEdit *edtReplace = nullptr;
    QCheckBox *chkCase = nullptr;
    QCheckBox *chkWholeWords = nullptr;
    QCheckBox *chkRegularExpression = nullptr;
    QPushButton *btnFindNext = nullptr;
    QPushButton *btnReplace = nullptr;
    QPushButton *btnReplaceAll = nullptr;
    QPushButton *btnCancel = nullptr;

private:
    void Choose(Command command);
    Command m_chosen = Command::None;
};
