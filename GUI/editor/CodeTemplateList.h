// CodeTemplateList: the list an editor's "&Insert Code Template..." shows over the memo, at the
// caret: the templates' names and descriptions. Enter or a double click inserts the chosen
// template's code at the caret as one undo step; Escape or leaving the list inserts nothing.
#pragma once

#include <QTreeWidget>

#include "MemoCodeTemplates.h"

class QsciScintilla;

class TCodeTemplateList : public QTreeWidget {
    Q_OBJECT
public:
    // Shown at once over `memo`, the focus in it, the first template selected; it deletes
    // itself when it closes.
    TCodeTemplateList(QsciScintilla *memo, const TMemoCodeTemplates &templates);

    // The chosen row's code into the memo; the list closes.
    void InsertChosen();
    void Dismiss();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QsciScintilla *m_memo;
    TMemoCodeTemplates m_templates;
    bool m_done = false;
};

// Inserts `code` at the memo's caret as one undo step, the caret after it.
void insert_code_template(QsciScintilla *memo, const std::string &code);
