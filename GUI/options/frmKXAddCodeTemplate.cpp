#include "frmKXAddCodeTemplate.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/guiInterface.h"
#include "shell/guiHosts.h"

TfrmAddCodeTemplate::TfrmAddCodeTemplate(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmAddCodeTemplate"));
    setWindowTitle(tr("Add a Code Template"));
    auto *layout = new QVBoxLayout(this);
    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto *grid = new QGridLayout(panel);
    Name = named_control<QLineEdit>(panel, "Name");
    Description = named_control<QLineEdit>(panel, "Description");
    Name->setMinimumWidth(280);
    auto *name_label = new QLabel(tr("Name:"), panel);
    name_label->setObjectName(QStringLiteral("NameLbl"));
    name_label->setBuddy(Name);
    auto *description_label = new QLabel(tr("Description:"), panel);
    description_label->setObjectName(QStringLiteral("DescriptionLbl"));
    description_label->setBuddy(Description);
    grid->addWidget(name_label, 0, 0);
    grid->addWidget(Name, 0, 1);
    grid->addWidget(description_label, 1, 0);
    grid->addWidget(Description, 1, 1);
    layout->addWidget(panel);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    OkButton = named_control<QPushButton>(this, "OkButton", "&OK");
    OkButton->setDefault(true);
    CancelButton = named_control<QPushButton>(this, "CancelButton", "&Cancel");
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(Name, Description);
}

void TfrmAddCodeTemplate::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfrmAddCodeTemplate::FormShow() { Name->setFocus(); }

bool TfrmAddCodeTemplate::FormCloseQuery(int result)
{
    if (result != QDialog::Accepted || !Name->text().isEmpty())
        return true;
    ShowAppMessageBox("Name cannot be blank", "Error", kMbOk | kMbIconError);
    Name->setFocus();
    return false;
}

void TfrmAddCodeTemplate::done(int result)
{
    bool closes = true;
    guarded([&] { closes = FormCloseQuery(result); });
    if (closes)
        QDialog::done(result);
}
