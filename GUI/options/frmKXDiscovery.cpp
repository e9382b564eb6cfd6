// frmKXDiscovery: the board discovery dialog.
#include "frmKXDiscovery.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/guiExceptions.h"
#include "shell/guiHosts.h"
#include "guiOptionsHost.h"

namespace {

DiscoveryDialogSettings g_settings;


enum Column { kName = 0, kAddress, kPort, kStatus, kMac };

} // namespace

DiscoveryDialogSettings &discovery_dialog_settings() { return g_settings; }

TfrmDiscovery::TfrmDiscovery(QWidget *owner) : QDialog(owner)
{
    setObjectName("frmDiscovery");
    setWindowTitle("Discovery");
    lvDiscovery = new QTreeWidget(this);
    lvDiscovery->setObjectName("lvDiscovery");
    lvDiscovery->setHeaderLabels({"Name", "IP Address", "Control Port", "Status", "MAC Address"});
    lvDiscovery->setRootIsDecorated(false);
    lvDiscovery->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvDiscovery->setSelectionMode(QAbstractItemView::SingleSelection);
    lvDiscovery->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDiscovery->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    actSelect = new QAction("&Select", this);
    actSelect->setObjectName("actSelect");
    actCancel = new QAction("&Cancel", this);
    actCancel->setObjectName("actCancel");
    btnSelect = new QPushButton(actSelect->text(), this);
    btnSelect->setObjectName("btnSelect");
    btnCancel = new QPushButton(actCancel->text(), this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setAutoDefault(false);
    tmrDiscovery = new QTimer(this);
    tmrDiscovery->setObjectName("tmrDiscovery");
    tmrDiscovery->setInterval(g_settings.poll_interval_ms);
    tmrDiscovery->setSingleShot(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnSelect);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lvDiscovery);
    layout->addLayout(buttons);
    resize(560, 260);

    connect(btnSelect, &QPushButton::clicked, actSelect, &QAction::trigger);
    connect(btnCancel, &QPushButton::clicked, actCancel, &QAction::trigger);
    connect(actSelect, &QAction::triggered, this, [this] { guarded([&] { btnSelectClick(); }); });
    connect(actCancel, &QAction::triggered, this, [this] { guarded([&] { btnCancelClick(); }); });
    connect(actSelect, &QAction::enabledChanged, btnSelect, &QPushButton::setEnabled);
    connect(actCancel, &QAction::enabledChanged, btnCancel, &QPushButton::setEnabled);
    connect(tmrDiscovery, &QTimer::timeout, this, [this] { guarded([&] { tmrDiscoveryTimer(); }); });
    actUpdate();
}

// A dialog taken down while discovery still runs (its owner going away) ends it too.
TfrmDiscovery::~TfrmDiscovery()
{
    if (m_busy) {
        try {
            discovery_link().TcEndDiscovery();
        } catch (...) {
        }
    }
    if (m_cursor_set)
        QApplication::restoreOverrideCursor();
}

void TfrmDiscovery::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    guarded([&] { FormShow(); });
}

void TfrmDiscovery::SetBusy(bool busy)
{
    m_busy = busy;
    if (busy && !m_cursor_set) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_cursor_set = true;
    } else if (!busy && m_cursor_set) {
        QApplication::restoreOverrideCursor();
        m_cursor_set = false;
    }
    actUpdate();
}

void TfrmDiscovery::FormShow()
{
    SetBusy(true);
    try {
        discovery_link().TcInitDiscovery(g_settings.port);
    } catch (xErr &e) {
        Fail(e);
        return;
    }
    tmrDiscovery->start();
}

void TfrmDiscovery::tmrDiscoveryTimer()
{
    tmrDiscovery->stop();
    if (!m_busy)
        return;
    if (m_polls_left == 0) {
        EndDiscovery();
        return;
    }
    --m_polls_left;
    DiscoveredBoard board;
    bool answered = false;
    try {
        answered = discovery_link().TcDiscoverLoaders(board);
    } catch (xErr &e) {
        Fail(e);
        return;
    }
    const bool empty = board.name.empty() && board.address.empty() && board.port.empty() &&
                       board.status.empty() && board.mac.empty();
    if (answered && !empty) {
        bool listed = false;
        for (int i = 0; i < lvDiscovery->topLevelItemCount() && !listed; ++i)
            listed = spath(lvDiscovery->topLevelItem(i)->text(kAddress)) == board.address;
        if (!listed)
            new QTreeWidgetItem(lvDiscovery, {qpath(board.name), qpath(board.address), qpath(board.port),
                                              qpath(board.status), qpath(board.mac)});
    }
    tmrDiscovery->start();
}

void TfrmDiscovery::EndDiscovery()
{
    tmrDiscovery->stop();
    try {
        discovery_link().TcEndDiscovery();
    } catch (xErr &e) {
        e.ShowError();
    }
    SetBusy(false);
}

void TfrmDiscovery::Fail(xErr &error)
{
    tmrDiscovery->stop();
    error.ShowError();
    try {
        discovery_link().TcEndDiscovery();
    } catch (xErr &) {
        // The first failure is the one the user needs to hear of.
    }
    SetBusy(false);
}

void TfrmDiscovery::actUpdate()
{
    actSelect->setEnabled(!m_busy);
    actCancel->setEnabled(!m_busy);
    btnSelect->setEnabled(!m_busy);
    btnCancel->setEnabled(!m_busy);
}

void TfrmDiscovery::btnSelectClick()
{
    const QList<QTreeWidgetItem *> chosen = lvDiscovery->selectedItems();
    if (chosen.isEmpty())
        return;
    const QTreeWidgetItem *row = chosen.front();
    m_address = spath(row->text(kAddress));
    m_name = spath(row->text(kName));
    m_port = spath(row->text(kPort));
    accept();
}

void TfrmDiscovery::btnCancelClick() { reject(); }

void TfrmDiscovery::closeEvent(QCloseEvent *event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmDiscovery::done(int result)
{
    if (!FormCloseQuery())
        return;
    QDialog::done(result);
}
