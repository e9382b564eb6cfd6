// frmKXPassPhrase: the TCP/IP pass-phrase form and the holder's dialog on it.
#include "frmKXPassPhrase.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>
#include <memory>
#include <string>

#include "BoundedFormat.h"
#include "shell/guiHosts.h"

TfrmPassPhrase::TfrmPassPhrase(QWidget *owner, char *phrase) : QDialog(owner), m_phrase(phrase)
{
    setObjectName("frmPassPhrase");
    setWindowTitle(tr("TCP/IP Pass Phrase Required"));
    setModal(true);
    lblPassPhrase = named_control<QLabel>(this, "lblPassPhrase", "&Pass Phrase");
    edtPassPhrase = named_control<QLineEdit>(this, "edtPassPhrase");
    lblPassPhrase->setBuddy(edtPassPhrase);
    chkPassPhrase = named_control<QCheckBox>(this, "chkPassPhrase", "&Remember Pass Phrase");
    btnOK = named_control<QPushButton>(this, "btnOK", "&OK");
    btnCancel = named_control<QPushButton>(this, "btnCancel", "&Cancel");
    // The form takes Enter and Escape itself; no button is pressed by them behind its back.
    btnOK->setAutoDefault(false);
    btnCancel->setAutoDefault(false);
    connect(btnOK, &QPushButton::clicked, this, [this] { guarded([&] { btnOKClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { guarded([&] { btnCancelClick(); }); });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblPassPhrase);
    layout->addWidget(edtPassPhrase);
    layout->addWidget(chkPassPhrase);
    layout->addLayout(buttons);
    setTabOrder(edtPassPhrase, chkPassPhrase);
    setTabOrder(chkPassPhrase, btnOK);
    setTabOrder(btnOK, btnCancel);
    edtPassPhrase->setFocus();
}

void TfrmPassPhrase::btnOKClick()
{
    // The digest reads the buffer as a zero-terminated text: a phrase of 256 bytes or more is
    // cut to 255, as the holder keeps it.
    const std::string text = edtPassPhrase->text().toStdString();
    if (m_phrase)
        (void)bounded_copy(m_phrase, kPassPhraseBufferSize, text.c_str());
    m_accepted = 1;
    m_remember = chkPassPhrase->isChecked() ? 1 : 0;
    accept();
}

void TfrmPassPhrase::btnCancelClick() { reject(); }

void TfrmPassPhrase::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        guarded([&] { btnOKClick(); });
        return;
    case Qt::Key_Escape:
        guarded([&] { btnCancelClick(); });
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

namespace {

// The holder's dialog: the form over a buffer of its own, from which the holder takes the
// phrase when the user accepted.
class TQtPassPhraseDialog : public TPassPhraseDialog {
public:
    TQtPassPhraseDialog(QWidget *owner, PassPhraseModalRunner run)
        : m_form(owner, m_phrase.data()), m_run(std::move(run))
    {
    }
    bool Execute() override
    {
        if (m_run)
            (void)m_run(m_form);
        else
            (void)m_form.exec();
        return m_form.Accepted();
    }
    std::string Phrase() const override { return m_phrase.data(); }
    bool Remember() const override { return m_form.Remember(); }

private:
    std::array<char, kPassPhraseBufferSize> m_phrase{};
    TfrmPassPhrase m_form;
    PassPhraseModalRunner m_run;
};

}  // namespace

PassPhraseDialogFactory qt_pass_phrase_dialogs(QWidget *owner, PassPhraseModalRunner run)
{
    return [owner, run]() -> std::unique_ptr<TPassPhraseDialog> {
        return std::make_unique<TQtPassPhraseDialog>(owner, run);
    };
}
