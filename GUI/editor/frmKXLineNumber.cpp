// frmKXLineNumber: the Go to Line dialog.
#include "frmKXLineNumber.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "controls/QBSpinEdit.h"
#include "frmKXEditor.h"
#include "shell/guiHosts.h"

TfrmLineNumber::TfrmLineNumber(QWidget *owner) : QDialog(owner)
{
    setWindowTitle(tr("Go to Line Number"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    lblLineNumber = new QLabel(tr("Enter New Line Number:"), this);
    edtLineNumber = new QLineEdit(this);
    lblLineNumber->setBuddy(edtLineNumber);
    Button1 = new QPushButton(tr("&OK"), this);
    Button2 = new QPushButton(tr("&Cancel"), this);
    Button1->setDefault(true);
    Button1->setFocusPolicy(Qt::ClickFocus);
    Button2->setFocusPolicy(Qt::ClickFocus);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(edtLineNumber, &QLineEdit::textChanged, this,
            [this] { guarded([&] { edtLineNumberChange(); }); });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblLineNumber);
    layout->addWidget(edtLineNumber);
    layout->addLayout(buttons);
}

void TfrmLineNumber::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (QWidget *main = parentWidget())
        move(main->window()->geometry().center() - rect().center());
    edtLineNumber->setFocus();
}

// An empty text passes (without becoming the last accepted one); a whole number that is not
// negative becomes the last accepted text; anything else is put back to the last accepted text
// with the caret one character before where it stood.
void TfrmLineNumber::edtLineNumberChange()
{
    const int caret = edtLineNumber->cursorPosition();
    const QString text = edtLineNumber->text();
    if (text.isEmpty())
        return;
    const std::optional<int32_t> value = spin_edit_integer(text.toStdString());
    if (value && *value >= 0) {
        m_last_accepted = text;
        return;
    }
    edtLineNumber->setText(m_last_accepted);
    edtLineNumber->setCursorPosition(std::max(0, caret - 1));
}

int line_number_of(const QString &text)
{
    const std::optional<int32_t> value = spin_edit_integer(text.toStdString());
    return value && *value >= 0 ? *value : -1;
}

void GoToLineNumber(TfrmEdit *editor, int line_number)
{
    if (!editor || line_number < 1)
        return;
    QsciScintilla *memo = editor->Editor();
    const int line = std::clamp(line_number - 1, 0, std::max(0, memo->lines() - 1));
    memo->setCursorPosition(line, 0);
    memo->ensureLineVisible(line);
}
