// frmKXEvalExpression: the Evaluate Expression dialog.
#include "frmKXEvalExpression.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>

#include <memory>

#include "frmKXWatches.h"
#include "driver/CC_FIOZ8.h"
#include "shell/frmKXMain.h"
#include "settings/guiEnvironment.h"
#include "core/guiExceptions.h"
#include "shell/guiHosts.h"
#include "options/guiOptionsHost.h"
#include "link/DB_GO.h"

namespace {

constexpr uint32_t kEvaluateHelpContext = 7;

std::vector<std::string> combo_items(const QComboBox *combo)
{
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i)
        items.push_back(combo->itemText(i).toStdString());
    return items;
}

void set_combo_items(QComboBox *combo, const std::vector<std::string> &items)
{
    const QString text = combo->currentText();
    combo->clear();
    for (const std::string &item : items)
        combo->addItem(QString::fromStdString(item));
    combo->setCurrentText(text);
}

}  // namespace

TfrmEvalExpression::TfrmEvalExpression(QWidget *owner, TfrmMainWindow *main)
    : QDialog(owner), m_main(main)
{
    setObjectName(QStringLiteral("frmEvalExpression"));
    setWindowTitle(tr("Evaluate Expression"));
    setAttribute(Qt::WA_DeleteOnClose);
    lblExpression = named_control<QLabel>(this, "lblExpression", "E&xpression");
    cboExpression = named_control<QComboBox>(this, "cboExpression");
    cboExpression->setEditable(true);
    cboExpression->setInsertPolicy(QComboBox::NoInsert);
    cboExpression->setMinimumWidth(420);
    lblExpression->setBuddy(cboExpression);
    lblResult = named_control<QLabel>(this, "lblResult", "&Result");
    edtResult = named_control<QLineEdit>(this, "edtResult");
    edtResult->setReadOnly(true);
    lblResult->setBuddy(edtResult);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    edtResult->setFont(mono);
    btnOK = named_control<QPushButton>(this, "btnOK", "&Evaluate");
    btnOK->setDefault(true);
    btnCancel = named_control<QPushButton>(this, "btnCancel", "&Close");
    btnHelp = named_control<QPushButton>(this, "btnHelp", "&Help");

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {btnOK, btnCancel, btnHelp})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblExpression);
    layout->addWidget(cboExpression);
    layout->addWidget(lblResult);
    layout->addWidget(edtResult);
    layout->addLayout(buttons);

    actCopy = new QAction(tr("Copy"), this);
    actCopy->setToolTip(tr("Copy"));
    actCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    actPaste = new QAction(tr("Paste"), this);
    actPaste->setToolTip(tr("Paste"));
    actPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    PopupMenu1 = new QMenu(this);
    PopupMenu1->addAction(actCopy);
    PopupMenu1->addAction(actPaste);
    connect(actCopy, &QAction::triggered, this, [this] {
        if (QLineEdit *edit = cboExpression->lineEdit(); edit && edit->hasSelectedText())
            QApplication::clipboard()->setText(edit->selectedText());
    });
    connect(actPaste, &QAction::triggered, this, [this] {
        if (QLineEdit *edit = cboExpression->lineEdit())
            edit->insert(QApplication::clipboard()->text());
    });
    cboExpression->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(cboExpression, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(cboExpression->mapToGlobal(at)); });

    // The history as the watch history file keeps it beside the program's main source.
    std::vector<std::string> watches, history;
    if (const std::string source = compile_source_path(); !source.empty())
        LoadWatchHistory(source, watches, &history);
    set_combo_items(cboExpression, history);
    cboExpression->setCurrentText(QString());

    connect(btnOK, &QPushButton::clicked, this, [this] { guarded([&] { btnOKClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::close);
    connect(btnHelp, &QPushButton::clicked, this,
            [this] { guarded([&] { options_shell().ShowHelpContext(this, kEvaluateHelpContext); }); });
}

void TfrmEvalExpression::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    cboExpression->setFocus();
    if (QLineEdit *edit = cboExpression->lineEdit())
        edit->selectAll();
}

void TfrmEvalExpression::btnOKClick()
{
    const std::string text = cboExpression->currentText().toStdString();
    if (text.empty()) {
        ShowAppMessageBox("Expression cannot be blank", GetResString(kMsgErrorCaption),
                          kMbOk | kMbIconError);
        cboExpression->setFocus();
        return;
    }
    std::vector<std::string> items = combo_items(cboExpression);
    UpdateExpressionHistory(items, text);
    set_combo_items(cboExpression, items);
    cboExpression->setCurrentText(QString::fromStdString(text));

    if (m_main)
        m_main->PausePolling();
    TfrmWatches *watches = frmWatches;
    std::unique_ptr<TFlyOverWatch> own;
    bool auto_show = false;
    struct Restore {
        TfrmEvalExpression *form;
        TfrmMainWindow *main;
        bool had_own;
        bool auto_show;
        ~Restore()
        {
            if (main) {
                main->LockStatusPanel(7, false);
                main->ResumePolling();
                if (had_own)
                    main->SetAutoShow(DebugWindow::Watches, auto_show);
            }
            form->cboExpression->setFocus();
            if (QLineEdit *edit = form->cboExpression->lineEdit())
                edit->selectAll();
        }
    };
    if (!watches && m_main) {
        auto_show = m_main->AutoShow(DebugWindow::Watches);
        m_main->SetAutoShow(DebugWindow::Watches, false);
    }
    Restore restore{this, m_main, !watches, auto_show};
    try {
        if (!watches)
            own = make_flyover_watch();
        if (watches && watches->WatchCount() >= int(uint8_t(getMaxWatches()))) {
            ShowWatchLimitMessage();
            return;
        }
        if (!watches) {
            if (const std::string source = compile_source_path(); !source.empty()) {
                std::vector<std::string> stored, history;
                LoadWatchHistory(source, stored, &history);
                SaveWatchHistory(source, stored, combo_items(cboExpression));
            }
        } else {
            std::vector<std::string> &history = watches->History();
            if (std::find(history.begin(), history.end(), text) == history.end() &&
                text.find_first_not_of(" \t\r\n") != std::string::npos)
                history.insert(history.begin(), text);
        }
        if (m_main)
            m_main->LockStatusPanel(7, true);
        const std::string result =
            watches ? watches->EvaluateExpression(text, true) : own->Evaluate(text, true);
        edtResult->setText(QString::fromLatin1(result.c_str()));
        // The line read from its start: the expression, then its type and value.
        edtResult->setCursorPosition(0);
    } catch (xErr &e) {
        // Not a compile error (those come back as the result): the link failed. The result
        // box keeps no old value beside the new expression.
        edtResult->clear();
        e.ShowError();
    }
}
