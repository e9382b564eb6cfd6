// frmKXTargetless: the Targetless page's controls over its headless model.
#include "frmKXTargetless.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include "shell/guiHosts.h"

namespace {

QString qs(const std::string &text) { return QString::fromLocal8Bit(text.c_str()); }
std::string ss(const QString &text) { return text.toLocal8Bit().toStdString(); }

// The locale's decimal separator, when it is one plain character.
char locale_separator()
{
    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() > ' ' && point.at(0).unicode() < 0x7F)
        return static_cast<char>(point.at(0).unicode());
    return '.';
}

// Tabs of pcSpecify, in their order.
constexpr TargetlessTab kTabs[] = {TargetlessTab::Rti, TargetlessTab::Specify,
                                   TargetlessTab::Select};

int tab_index(TargetlessTab tab)
{
    for (int i = 0; i < 3; ++i)
        if (kTabs[i] == tab)
            return i;
    return 2;
}

QLabel *label(QWidget *parent, const char *name, const char *caption, QWidget *buddy = nullptr)
{
    auto *l = new QLabel(QString::fromUtf8(caption), parent);
    l->setObjectName(name);
    if (buddy)
        l->setBuddy(buddy);
    return l;
}

template <class Control>
Control *control(QWidget *parent, const char *name)
{
    auto *c = new Control(parent);
    c->setObjectName(name);
    return c;
}

QPushButton *button(QWidget *parent, const char *name, const char *caption)
{
    auto *b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QPushButton *save_button(QWidget *parent, const char *name)
{
    QPushButton *b = button(parent, name, "&Save as RTI");
    b->setIcon(parent->style()->standardIcon(QStyle::SP_DialogSaveButton));
    b->setToolTip("Save board configuration to a file");
    return b;
}

QComboBox *size_combo(QWidget *parent, const char *name)
{
    auto *c = control<QComboBox>(parent, name);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    return c;
}

void fill(QComboBox *combo, const TComboList &list)
{
    combo->clear();
    for (const std::string &item : list.items)
        combo->addItem(qs(item));
    combo->setCurrentIndex(list.index);
    combo->setEditText(qs(list.text));
}

} // namespace

TTargetlessPage::TTargetlessPage(QWidget *parent, BoardParameters *board, std::string base_path)
    : QWidget(parent), m_board(board),
      m_model(std::make_unique<TTargetlessModel>(locale_separator(), std::move(base_path)))
{
    setObjectName("tsTargetless");
    pcSpecify = control<QTabWidget>(this, "pcSpecify");
    tsRTI = control<QWidget>(pcSpecify, "tsRTI");
    tsSpecify = control<QWidget>(pcSpecify, "tsSpecify");
    tsSelect = control<QWidget>(pcSpecify, "tsSelect");
    pcSpecify->addTab(tsRTI, "RTI File");
    pcSpecify->addTab(tsSpecify, "Specify Parameters");
    pcSpecify->addTab(tsSelect, "Board Selection");
    BuildRtiTab();
    BuildSpecifyTab();
    BuildSelectTab();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pcSpecify);
    pcSpecify->setCurrentWidget(tsSelect);
    Connect();
}

TTargetlessPage::~TTargetlessPage() = default;

void TTargetlessPage::BuildRtiTab()
{
    rtiMemo = control<QPlainTextEdit>(tsRTI, "rtiMemo");
    btnRtiOpen = button(tsRTI, "btnRtiOpen", "Open &RTI File");
    btnRTIUpdate = button(tsRTI, "btnRTIUpdate", "&Update Board Selection");
    btnRtiSaveChanges = button(tsRTI, "btnRtiSaveChanges", "&Save Changes");
    // Shown once the text of an opened file changes.
    btnRtiSaveChanges->setVisible(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnRtiOpen);
    buttons->addWidget(btnRTIUpdate);
    buttons->addWidget(btnRtiSaveChanges);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(tsRTI);
    layout->addWidget(rtiMemo);
    layout->addLayout(buttons);
}

void TTargetlessPage::BuildSpecifyTab()
{
    ID = control<QLineEdit>(tsSpecify, "ID");
    Name = control<QLineEdit>(tsSpecify, "Name");
    CPUId = control<QComboBox>(tsSpecify, "CPUId");
    BaseFreq = size_combo(tsSpecify, "BaseFreq");
    BaseFreq->setToolTip("Not a floating number");
    RAMSize = size_combo(tsSpecify, "RAMSize");
    FlashSize = size_combo(tsSpecify, "FlashSize");
    Label2 = label(tsSpecify, "Label2", "&ID Code (0xFF00 - 0xFFFF):", ID);
    Label4 = label(tsSpecify, "Label4", "&Description:", Name);
    Label3 = label(tsSpecify, "Label3", "Board Configuration");
    CPUIdLbl = label(tsSpecify, "CPUIdLbl", "C&PU (revision shown on chip):", CPUId);
    CrystalSpeedLbl = label(tsSpecify, "CrystalSpeedLbl", "&Base Frequency (MHz):", BaseFreq);
    RAMSizeLbl = label(tsSpecify, "RAMSizeLbl", "&RAM (KBytes):", RAMSize);
    FlashSizeLbl = label(tsSpecify, "FlashSizeLbl", "Primary &Flash (KBytes):", FlashSize);
    btnSpecifyUpdate = button(tsSpecify, "btnSpecifyUpdate", "&Update Board Selection");
    btnRtiSave2 = save_button(tsSpecify, "btnRtiSave2");

    auto *grid = new QGridLayout(tsSpecify);
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(ID, 0, 1);
    grid->addWidget(Label4, 1, 0);
    grid->addWidget(Name, 1, 1);
    grid->addWidget(Label3, 2, 0, 1, 2);
    grid->addWidget(CPUIdLbl, 3, 0);
    grid->addWidget(CPUId, 3, 1);
    grid->addWidget(CrystalSpeedLbl, 4, 0);
    grid->addWidget(BaseFreq, 4, 1);
    grid->addWidget(RAMSizeLbl, 5, 0);
    grid->addWidget(RAMSize, 5, 1);
    grid->addWidget(FlashSizeLbl, 6, 0);
    grid->addWidget(FlashSize, 6, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnSpecifyUpdate);
    buttons->addWidget(btnRtiSave2);
    buttons->addStretch();
    grid->addLayout(buttons, 7, 0, 1, 2);
    grid->setRowStretch(8, 1);
    Name->installEventFilter(this);
}

void TTargetlessPage::BuildSelectTab()
{
    lbBoardType = control<QListWidget>(tsSelect, "lbBoardType");
    lbBoardType->setContextMenuPolicy(Qt::NoContextMenu);
    cboCPUId = control<QComboBox>(tsSelect, "cboCPUId");
    lblIDlbl = label(tsSelect, "lblIDlbl", "Selected Board ID:");
    lblID = label(tsSelect, "lblID", "");
    lblBaseFreqlbl = label(tsSelect, "lblBaseFreqlbl", "Base Frequency (MHz):");
    lblBaseFreq = label(tsSelect, "lblBaseFreq", "");
    lblRAMlbl = label(tsSelect, "lblRAMlbl", "RAM (KBytes):");
    lblRAM = label(tsSelect, "lblRAM", "");
    lblFlashPrimlbl = label(tsSelect, "lblFlashPrimlbl", "Primary Flash (KBytes):");
    lblFlashPrim = label(tsSelect, "lblFlashPrim", "");
    cboCPUIdLbl = label(tsSelect, "cboCPUIdLbl", "C&PU (revision shown on chip):", cboCPUId);
    btnRTISave = save_button(tsSelect, "btnRTISave");

    BoardIDMenu = new QMenu(this);
    BoardIDMenu->setObjectName("BoardIDMenu");
    Delete1 = BoardIDMenu->addAction("Delete");
    Delete1->setObjectName("Delete1");

    auto *values = new QGridLayout;
    values->addWidget(lblIDlbl, 0, 0);
    values->addWidget(lblID, 0, 1);
    values->addWidget(lblBaseFreqlbl, 1, 0);
    values->addWidget(lblBaseFreq, 1, 1);
    values->addWidget(lblRAMlbl, 2, 0);
    values->addWidget(lblRAM, 2, 1);
    values->addWidget(lblFlashPrimlbl, 3, 0);
    values->addWidget(lblFlashPrim, 3, 1);
    values->addWidget(cboCPUIdLbl, 4, 0, 1, 2);
    values->addWidget(cboCPUId, 5, 0, 1, 2);
    values->addWidget(btnRTISave, 6, 0);
    values->setRowStretch(7, 1);
    auto *layout = new QHBoxLayout(tsSelect);
    layout->addWidget(lbBoardType, 1);
    layout->addLayout(values);
}

void TTargetlessPage::Connect()
{
    connect(pcSpecify, &QTabWidget::currentChanged, this, [this](int index) {
        if (index < 0 || index > 2)
            return;
        Run([&] { m_model->SetTab(kTabs[index]); });
        if (kTabs[index] == TargetlessTab::Specify)
            tsSpecifyShow();
        if (kTabs[index] == TargetlessTab::Rti)
            tsRTIShow();
    });
    connect(lbBoardType, &QListWidget::currentRowChanged, this, [this](int row) {
        Run([&] { m_model->SelectRow(row); });
        lbBoardTypeChange();
    });
    connect(lbBoardType, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &where) { BoardIDMenuPopup(where); });
    connect(Delete1, &QAction::triggered, this, [this] { Delete1Click(); });
    connect(CPUId, &QComboBox::currentIndexChanged, this,
            [this] { CPUIdChange(CpuCombo::CPUId); });
    connect(cboCPUId, &QComboBox::currentIndexChanged, this,
            [this] { CPUIdChange(CpuCombo::cboCPUId); });

    // Typing only changes the model's copy; the page is not redrawn under the caret.
    const std::pair<QComboBox *, SizeCombo> combos[] = {{BaseFreq, SizeCombo::BaseFreq},
                                                        {RAMSize, SizeCombo::RAMSize},
                                                        {FlashSize, SizeCombo::FlashSize}};
    for (const auto &[box, which] : combos) {
        connect(box, &QComboBox::editTextChanged, this, [this, which](const QString &text) {
            guarded([&] { m_model->SetComboText(which, ss(text)); });
        });
        connect(box, &QComboBox::currentIndexChanged, this, [this, which](int index) {
            guarded([&] { m_model->SelectCombo(which, index); });
        });
    }
    connect(ID, &QLineEdit::textEdited, this,
            [this](const QString &text) { guarded([&] { m_model->SetIdText(ss(text)); }); });
    connect(Name, &QLineEdit::textEdited, this,
            [this](const QString &text) { guarded([&] { m_model->SetNameText(ss(text)); }); });
    connect(rtiMemo, &QPlainTextEdit::textChanged, this, [this] {
        guarded([&] {
            m_model->SetMemoText(ss(rtiMemo->toPlainText()));
            btnRtiSaveChanges->setVisible(m_model->save_changes_visible());
        });
    });

    connect(btnRTIUpdate, &QPushButton::clicked, this, [this] { btnUpdateClick(); });
    connect(btnSpecifyUpdate, &QPushButton::clicked, this, [this] { btnUpdateClick(); });
    connect(btnRTISave, &QPushButton::clicked, this, [this] { btnRTISaveClick(); });
    connect(btnRtiSave2, &QPushButton::clicked, this, [this] { btnRTISaveClick(); });
    connect(btnRtiOpen, &QPushButton::clicked, this, [this] { btnRtiOpenClick(); });
    connect(btnRtiSaveChanges, &QPushButton::clicked, this, [this] { btnRtiSaveChangesClick(); });
}

bool TTargetlessPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Name && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Run([&] { (void)m_model->NameKeyPress('\r'); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TTargetlessPage::Run(const std::function<void()> &work)
{
    guarded([&] {
        work();
        Push();
    });
}

// ---- the dialog's steps ------------------------------------------------------------------------

void TTargetlessPage::Startup()
{
    Run([&] { m_model->Startup(*m_board); });
}

bool TTargetlessPage::FillBoardParameters()
{
    bool filled = false;
    Run([&] { filled = m_model->FillBoardParameters(*m_board); });
    return filled;
}

bool TTargetlessPage::SaveTargetlessLists()
{
    bool saved = false;
    Run([&] { saved = m_model->SaveTargetlessLists(); });
    return saved;
}

void TTargetlessPage::ShowBoardSelection()
{
    Run([&] { m_model->ShowBoardSelection(); });
}

// ---- handlers ----------------------------------------------------------------------------------

void TTargetlessPage::lbBoardTypeChange()
{
    Run([&] { m_model->lbBoardTypeChange(); });
}

void TTargetlessPage::CPUIdChange(CpuCombo combo)
{
    const QComboBox *box = combo == CpuCombo::CPUId ? CPUId : cboCPUId;
    Run([&] { m_model->CPUIdChange(combo, box->currentIndex()); });
}

void TTargetlessPage::btnUpdateClick()
{
    Run([&] { m_model->btnUpdateClick(); });
}

void TTargetlessPage::BoardIDMenuPopup(const QPoint &where)
{
    if (!m_model->board_menu())
        return;
    Run([&] { m_model->BoardIDMenuPopup(); });
    Delete1->setText(qs(m_model->delete_caption()));
    BoardIDMenu->popup(lbBoardType->viewport()->mapToGlobal(where));
}

void TTargetlessPage::Delete1Click()
{
    Run([&] { m_model->Delete1Click(); });
}

void TTargetlessPage::tsSpecifyShow()
{
    Run([&] { m_model->tsSpecifyShow(); });
}

void TTargetlessPage::tsRTIShow()
{
    Run([&] { m_model->tsRTIShow(); });
}

void TTargetlessPage::btnRTISaveClick()
{
    Run([&] { m_model->btnRTISaveClick(); });
}

void TTargetlessPage::btnRtiOpenClick()
{
    Run([&] { m_model->btnRtiOpenClick(); });
}

void TTargetlessPage::btnRtiSaveChangesClick()
{
    Run([&] { m_model->btnRtiSaveChangesClick(); });
}

// ---- showing the model -------------------------------------------------------------------------

void TTargetlessPage::Push()
{
    const TTargetlessModel &m = *m_model;
    const QSignalBlocker blockers[] = {
        QSignalBlocker(pcSpecify), QSignalBlocker(lbBoardType), QSignalBlocker(CPUId),
        QSignalBlocker(cboCPUId),  QSignalBlocker(BaseFreq),    QSignalBlocker(RAMSize),
        QSignalBlocker(FlashSize), QSignalBlocker(ID),          QSignalBlocker(Name),
        QSignalBlocker(rtiMemo)};
    (void)blockers;

    if (m_rows_shown != m.rows_version()) {
        lbBoardType->clear();
        for (const TBoardRow &row : m.rows())
            lbBoardType->addItem(qs(row.text));
        m_rows_shown = m.rows_version();
        // A board's description is long and its end (memory sizes) matters: the list is as
        // wide as its longest entry, and the dialog grows to hold it.
        lbBoardType->setMinimumWidth(lbBoardType->sizeHintForColumn(0) +
                                     2 * lbBoardType->frameWidth() +
                                     lbBoardType->verticalScrollBar()->sizeHint().width());
    }
    lbBoardType->setCurrentRow(m.selected_row());
    lbBoardType->setContextMenuPolicy(m.board_menu() ? Qt::CustomContextMenu
                                                     : Qt::NoContextMenu);
    lblID->setText(qs(m.lblID()));
    lblBaseFreq->setText(qs(m.lblBaseFreq()));
    lblRAM->setText(qs(m.lblRAM()));
    lblFlashPrim->setText(qs(m.lblFlashPrim()));

    CPUId->clear();
    for (const TCpuEntry &cpu : m.cpus())
        CPUId->addItem(qs(cpu.text));
    CPUId->setCurrentIndex(m.cpu_index());
    cboCPUId->clear();
    for (int index : m.select_cpus())
        cboCPUId->addItem(qs(m.cpus()[static_cast<std::size_t>(index)].text));
    cboCPUId->setCurrentIndex(m.select_cpu_index());
    fill(BaseFreq, m.combo(SizeCombo::BaseFreq));
    fill(RAMSize, m.combo(SizeCombo::RAMSize));
    fill(FlashSize, m.combo(SizeCombo::FlashSize));

    if (ss(ID->text()) != m.id_text())
        ID->setText(qs(m.id_text()));
    if (ss(Name->text()) != m.name_text())
        Name->setText(qs(m.name_text()));
    if (ss(rtiMemo->toPlainText()) != m.memo())
        rtiMemo->setPlainText(qs(m.memo()));
    btnRtiSaveChanges->setVisible(m.save_changes_visible());
    if (pcSpecify->currentIndex() != tab_index(m.tab()))
        pcSpecify->setCurrentIndex(tab_index(m.tab()));

    switch (m_model->take_focus()) {
    case PageFocus::None:
        break;
    case PageFocus::ID:
        ID->setFocus();
        break;
    case PageFocus::Name:
        Name->setFocus();
        break;
    case PageFocus::btnRtiOpen:
        btnRtiOpen->setFocus();
        break;
    }
}
