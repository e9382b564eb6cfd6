// frmKXAddWatch: the Add Watch Expression dialog.
#include "frmKXAddWatch.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "frmKXWatches.h"
#include "core/guiExceptions.h"
#include "shell/guiHosts.h"
#include "link/DB_GO.h"
#include "link/TC.h"
#include "options/guiOptionsHost.h"
#include "shell/frmKXMain.h"

namespace {

constexpr uint32_t kAddWatchHelpContext = 0x1000500;

void fill_items(QComboBox *combo, const std::vector<std::string> &history)
{
    const QString text = combo->currentText();
    combo->clear();
    for (const std::string &item : history)
        combo->addItem(QString::fromStdString(item));
    combo->setCurrentText(text);
}

}  // namespace

TfrmAddWatch::TfrmAddWatch(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmAddWatch"));
    setWindowTitle(tr("Add Watch Expression"));
    lblWatchExpression = named_control<QLabel>(this, "lblWatchExpression", "Watch Expression");
    cboWatchExpression = named_control<QComboBox>(this, "cboWatchExpression");
    cboWatchExpression->setEditable(true);
    cboWatchExpression->setInsertPolicy(QComboBox::NoInsert);
    cboWatchExpression->setMinimumWidth(260);
    lblWatchExpression->setBuddy(cboWatchExpression);
    btnAdd = named_control<QPushButton>(this, "btnAdd", "&Add");
    btnOK = named_control<QPushButton>(this, "btnOK", "&OK");
    btnOK->setDefault(true);
    btnCancel = named_control<QPushButton>(this, "btnCancel", "&Cancel");
    btnHelp = named_control<QPushButton>(this, "btnHelp", "&Help");

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {btnAdd, btnOK, btnCancel, btnHelp})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblWatchExpression);
    layout->addWidget(cboWatchExpression);
    layout->addLayout(buttons);
    setTabOrder(cboWatchExpression, btnAdd);
    setTabOrder(btnAdd, btnOK);
    setTabOrder(btnOK, btnCancel);
    setTabOrder(btnCancel, btnHelp);

    if (frmWatches)
        fill_items(cboWatchExpression, frmWatches->History());
    cboWatchExpression->setCurrentText(QString());

    connect(btnOK, &QPushButton::clicked, this, [this] { guarded([&] { btnOKClick(); }); });
    connect(btnAdd, &QPushButton::clicked, this, [this] { guarded([&] { btnAddClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this,
            [this] { guarded([&] { options_shell().ShowHelpContext(this, kAddWatchHelpContext); }); });
}

bool TfrmAddWatch::AddWatchFromDialog()
{
    const std::string text = cboWatchExpression->currentText().toStdString();
    if (text.empty()) {
        ShowAppMessageBox("Watch expression cannot be blank", GetResString(kMsgErrorCaption),
                          kMbOk | kMbIconError);
        cboWatchExpression->setFocus();
        return false;
    }
    TfrmWatches *watches = frmWatches;
    if (!watches)
        throw xErr(7159, KX_HERE);
    if (watches->WatchCount() >= int(uint8_t(getMaxWatches()))) {
        ShowWatchLimitMessage();
        return false;
    }
    try {
        UpdateExpressionHistory(watches->History(), text);
        fill_items(cboWatchExpression, watches->History());
        cboWatchExpression->setCurrentText(QString::fromStdString(text));
        watches->ShowWindow();
        (void)watches->AddWatch(text, std::string());
        TcRunWatches();
        refreshWatchWindow();
    } catch (xErr &e) {
        e.ShowError();
        cboWatchExpression->setFocus();
        return false;
    }
    return true;
}

void TfrmAddWatch::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    cboWatchExpression->setFocus();
    if (QLineEdit *edit = cboWatchExpression->lineEdit())
        edit->selectAll();
}

void TfrmAddWatch::btnOKClick()
{
    if (AddWatchFromDialog())
        accept();
}

void TfrmAddWatch::btnAddClick() { (void)AddWatchFromDialog(); }
