// frmKXMoveToAddress: `TfrmMoveToAddress`, the "Disassemble at Address" dialog. The user types
// a code address as "[0x]nnnn" (logical, below 0xE000) or "mm:nnnn" (XPC and offset); the
// dialog reads it with `ParseAddressText`, says what is wrong with a text it cannot use and
// stays open, and on OK leaves the address and the parse result in the caller's places. The
// combo box keeps the ten most recent texts between runs ("Jump addresses"). Used by the
// disassembly window's Move to Address and the main window's Disassemble at Address.
#pragma once

#include <QDialog>

#include <cstdint>

#include "debugger/ParseAddressText.h"

class QComboBox;
class QLabel;
class QPushButton;

class TfrmMoveToAddress : public QDialog {
    Q_OBJECT
public:
    // `address` and `result` are filled on OK (the caller's, not owned).
    TfrmMoveToAddress(QWidget *owner, uint32_t &address, TAddressParseResult &result);

    // Loads the history and focuses the combo box.
    void FormShow();
    // Saves the history (at most 10 entries).
    void FormClose();
    // Closes with OK for an XPC:offset or a logical address below 0xE000; any other text gets
    // a box captioned "Error", and the combo box the focus back.
    void btnOKClick();
    void btnCancelClick();

    QLabel *Label1 = nullptr;
    QComboBox *edtJumpAddress = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    uint32_t &m_address;
    TAddressParseResult &m_result;
    bool m_history_saved = false;
};

// The settings name of the dialog's history and how many entries it keeps.
inline constexpr const char *kJumpAddressHistory = "Jump addresses";
inline constexpr int kJumpAddressHistoryMax = 10;
