// frmKXPassPhrase: `TfrmPassPhrase`, the modal form that asks for the pass phrase a TCP/IP
// board's challenge needs, and the pass-phrase dialog the holder (`gTCPPassPhraseControl`,
// guiInterface) shows on it. The holder asks only when no phrase is remembered; the form
// writes the phrase into the caller's 256-byte buffer on OK, always zero-terminated (a longer
// phrase is cut to 255 bytes), and leaves it untouched on Cancel or Escape.
#pragma once

#include <QDialog>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/guiInterface.h"

class QCheckBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

inline constexpr std::size_t kPassPhraseBufferSize = 256;

class TfrmPassPhrase : public QDialog {
    Q_OBJECT
public:
    // `phrase` is the caller's buffer of kPassPhraseBufferSize bytes.
    TfrmPassPhrase(QWidget *owner, char *phrase);

    QLabel *lblPassPhrase = nullptr;
    QLineEdit *edtPassPhrase = nullptr;
    QCheckBox *chkPassPhrase = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;

    // OK: the text into the buffer, accepted, the remember choice taken; the form closes.
    void btnOKClick();
    // Cancel: the form closes; nothing is accepted and the buffer stays as it was.
    void btnCancelClick();

    bool Accepted() const { return m_accepted != 0; }
    bool Remember() const { return m_remember != 0; }

protected:
    // Enter acts as OK, Escape as Cancel.
    void keyPressEvent(QKeyEvent *event) override;

private:
    uint8_t m_accepted = 0;
    uint8_t m_remember = 0;
    char *m_phrase;
};

// Runs a modal dialog and gives its result; the program's runs exec(), a test drives the shown
// dialog instead.
using PassPhraseModalRunner = std::function<int(QDialog &)>;

// The holder's dialogs on TfrmPassPhrase, owned by `owner`; `run` null runs exec().
PassPhraseDialogFactory qt_pass_phrase_dialogs(QWidget *owner, PassPhraseModalRunner run = {});
