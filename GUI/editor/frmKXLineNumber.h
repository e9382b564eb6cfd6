// frmKXLineNumber: `TfrmLineNumber`, the small modal dialog in which the user types the line to
// go to in the active editor. Its edit box takes nothing but a whole number that is not
// negative (or nothing at all): any other change is undone at once, silently, with the caret
// put back where the refused keystroke went in. The Go to Line command reads the text after OK.
#pragma once

#include <QDialog>
#include <QString>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class TfrmEdit;

class TfrmLineNumber : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLineNumber(QWidget *owner = nullptr);

    QLabel *lblLineNumber = nullptr;
    QLineEdit *edtLineNumber = nullptr;
    QPushButton *Button1 = nullptr; // "&OK"
    QPushButton *Button2 = nullptr; // "&Cancel"

    // The check of every change of the edit box.
    void edtLineNumberChange();
    const QString &LastAccepted() const { return m_last_accepted; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString m_last_accepted;
};

// The line a Go to Line text names (from 1), or -1 for an empty text or one that is no whole
// number that is not negative.
int line_number_of(const QString &text);

// After OK: puts the editor's caret at column 0 of the named line (from 1) and scrolls to it. A
// number past the end names the last line; 0 names no line and, like -1 (no number), does
// nothing.
void GoToLineNumber(TfrmEdit *editor, int line_number);
