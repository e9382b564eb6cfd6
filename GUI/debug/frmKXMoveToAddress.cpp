// frmKXMoveToAddress: the "Disassemble at Address" dialog.
#include "frmKXMoveToAddress.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "controls/guiComboHistory.h"
#include "core/guiInterface.h"
#include "shell/guiHosts.h"

namespace {

constexpr const char *kBadAddress =
    "Bad Address\nFormat should be either:\n[0x]nnnn\t(logical address) or\n"
    "mm:nnnn\t(xpc:offset address) ";
constexpr const char *kNeedsXpc = "Logical addresses above 0xe000 require an XPC value (mm:nnnn).";

} // namespace

TfrmMoveToAddress::TfrmMoveToAddress(QWidget *owner, uint32_t &address,
                                     TAddressParseResult &result)
    : QDialog(owner), m_address(address), m_result(result)
{
    setObjectName(QStringLiteral("frmMoveToAddress"));
    setWindowTitle(QStringLiteral("Disassemble at Address"));
    Label1 = named_control<QLabel>(this, "Label1");
    Label1->setText(tr("&Address:"));
    edtJumpAddress = named_control<QComboBox>(this, "edtJumpAddress");
    edtJumpAddress->setEditable(true);
    edtJumpAddress->setInsertPolicy(QComboBox::NoInsert);
    edtJumpAddress->setMinimumWidth(160);
    Label1->setBuddy(edtJumpAddress);
    btnOK = named_control<QPushButton>(this, "btnOK");
    btnOK->setText(tr("&OK"));
    btnOK->setDefault(true);
    btnCancel = named_control<QPushButton>(this, "btnCancel");
    btnCancel->setText(tr("&Cancel"));

    auto *row = new QHBoxLayout;
    row->addWidget(Label1);
    row->addWidget(edtJumpAddress, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, [this] { guarded([&] { btnOKClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this,
            [this] { guarded([&] { btnCancelClick(); }); });
}

void TfrmMoveToAddress::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded([&] { FormShow(); });
}

void TfrmMoveToAddress::FormShow()
{
    LoadComboHistory(edtJumpAddress, kJumpAddressHistory);
    edtJumpAddress->setFocus();
    if (QLineEdit *line = edtJumpAddress->lineEdit())
        line->selectAll();
}

void TfrmMoveToAddress::FormClose()
{
    if (m_history_saved)
        return;
    m_history_saved = true;
    SaveComboHistory(edtJumpAddress, kJumpAddressHistory, kJumpAddressHistoryMax);
}

void TfrmMoveToAddress::done(int result)
{
    guarded([&] { FormClose(); });
    QDialog::done(result);
}

void TfrmMoveToAddress::btnOKClick()
{
    uint32_t address = 0;
    TAddressParseResult parsed;
    ParseAddressText(edtJumpAddress->currentText().toStdString(), address, true, parsed, true,
                     true);
    const char *complaint = nullptr;
    switch (parsed.kind) {
    case kAddressBad:
    case kAddressPhysical:
        complaint = kBadAddress;
        break;
    case kAddressHighLogical:
        complaint = kNeedsXpc;
        break;
    default:
        break;
    }
    if (complaint) {
        ShowAppMessageBox(complaint, "Error", kMbOk | kMbIconExclamation);
        edtJumpAddress->setFocus();
        return;
    }
    m_address = address;
    m_result = parsed;
    accept();
}

void TfrmMoveToAddress::btnCancelClick() { reject(); }
