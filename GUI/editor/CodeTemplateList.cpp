#include "CodeTemplateList.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>

#include "shell/guiHosts.h"

void insert_code_template(QsciScintilla *memo, const std::string &code)
{
    if (!memo || memo->isReadOnly() || code.empty())
        return;
    const long at = memo->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS);
    memo->beginUndoAction();
    // Through the target, so that a NUL byte in the code goes in with the rest.
    memo->SendScintilla(QsciScintillaBase::SCI_SETTARGETRANGE, static_cast<unsigned long>(at), at);
    memo->SendScintilla(QsciScintillaBase::SCI_REPLACETARGET,
                        static_cast<unsigned long>(code.size()), code.data());
    memo->SendScintilla(QsciScintillaBase::SCI_GOTOPOS,
                        static_cast<unsigned long>(at + static_cast<long>(code.size())));
    memo->endUndoAction();
}

TCodeTemplateList::TCodeTemplateList(QsciScintilla *memo, const TMemoCodeTemplates &templates)
    : QTreeWidget(memo), m_memo(memo), m_templates(templates)
{
    setObjectName(QStringLiteral("CodeTemplateList"));
    setAttribute(Qt::WA_DeleteOnClose);
    setColumnCount(2);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setAllColumnsShowFocus(true);
    for (const TCodeTemplate &item : m_templates.Items)
        addTopLevelItem(new QTreeWidgetItem(
            {QString::fromStdString(item.Name), QString::fromStdString(item.Description)}));
    resizeColumnToContents(0);
    resizeColumnToContents(1);
    const int rows = std::min(10, std::max(1, topLevelItemCount()));
    const int width = std::min(memo->width(), columnWidth(0) + columnWidth(1) + 24);
    const int height = rows * std::max(16, sizeHintForRow(0)) + 6;
    // Below the caret's line, kept inside the memo.
    const long pos = memo->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS);
    const int x = static_cast<int>(memo->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0, pos));
    const int y = static_cast<int>(memo->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0, pos)) +
                  static_cast<int>(memo->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0));
    setGeometry(std::clamp(x, 0, std::max(0, memo->width() - width)),
                std::clamp(y, 0, std::max(0, memo->height() - height)), width, height);
    if (topLevelItemCount() > 0)
        setCurrentItem(topLevelItem(0));
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this] { guarded([&] { InsertChosen(); }); });
    show();
    raise();
    setFocus();
}

void TCodeTemplateList::InsertChosen()
{
    if (m_done)
        return;
    const int row = currentIndex().row();
    m_done = true;
    if (row >= 0 && row < m_templates.Count())
        insert_code_template(m_memo, m_templates.Items[static_cast<std::size_t>(row)].Code);
    m_memo->setFocus();
    close();
}

void TCodeTemplateList::Dismiss()
{
    if (m_done)
        return;
    m_done = true;
    m_memo->setFocus();
    close();
}

void TCodeTemplateList::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        guarded([&] { InsertChosen(); });
        return;
    case Qt::Key_Escape:
        guarded([&] { Dismiss(); });
        return;
    default:
        QTreeWidget::keyPressEvent(event);
    }
}

void TCodeTemplateList::focusOutEvent(QFocusEvent *event)
{
    QTreeWidget::focusOutEvent(event);
    // Leaving the list (a click in the memo, another window) closes it without inserting.
    if (!m_done && !isAncestorOf(QApplication::focusWidget()))
        QMetaObject::invokeMethod(this, [this] { if (!m_done && !hasFocus()) Dismiss(); },
                                  Qt::QueuedConnection);
}
