// frmKXRegisters: the registers window, its lines and its two dialogs.
#include "frmKXRegisters.h"

#include <QAction>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

#include "link/TC.h"
#include "shell/frmKXMain.h"
#include "guiDebugger.h"
#include "shell/guiHosts.h"
#include "FontRecord.h"

// ---- lines and values ------------------------------------------------------------------------------

namespace {

// One editable register line: its label and where its value lies in the set.
struct RegisterRow {
    const char *label;
    const char *prompt_name; // "" for the lines that cannot be changed
    uint16_t TargetRegisterSet::*word; // null for PC and XPC, which come from PC
};

constexpr std::array<RegisterRow, kRegisterLineCount> kRegisterRows = {{
    {"A  : ", "A", &TargetRegisterSet::AF},
    {"BC : ", "BC", &TargetRegisterSet::BC},
    {"DE : ", "DE", &TargetRegisterSet::DE},
    {"HL : ", "HL", &TargetRegisterSet::HL},
    {"AF': ", "AF'", &TargetRegisterSet::AF2},
    {"BC': ", "BC'", &TargetRegisterSet::BC2},
    {"DE': ", "DE'", &TargetRegisterSet::DE2},
    {"HL': ", "HL'", &TargetRegisterSet::HL2},
    {"IX : ", "IX", &TargetRegisterSet::IX},
    {"IY : ", "IY", &TargetRegisterSet::IY},
    {"SP : ", "", &TargetRegisterSet::SP},
    {"PC : ", "", nullptr},
    {"XPC: ", "", nullptr},
}};
constexpr int kLineA = 0, kLineSP = 10, kLinePC = 11, kLineXPC = 12;

constexpr std::array<const char *, 8> kFlagLabels = {"C: ", "x: ", "O: ", "x: ",
                                                     "x: ", "x: ", "Z: ", "S: "};

std::string hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

RegistersModalRunner g_modal_runner;

int run_modal(QDialog &dialog) { return g_modal_runner ? g_modal_runner(dialog) : dialog.exec(); }

} // namespace

std::array<std::string, kRegisterLineCount> register_lines(const TargetRegisterSet &r)
{
    std::array<std::string, kRegisterLineCount> lines;
    for (int i = 0; i < kRegisterLineCount; ++i) {
        const RegisterRow &row = kRegisterRows[static_cast<std::size_t>(i)];
        std::string value;
        if (i == kLineA)
            value = hex(r.AF >> 8, 2);
        else if (i == kLinePC)
            value = hex(r.PC & 0xFFFF, 4);
        else if (i == kLineXPC)
            value = hex((r.PC >> 16) & 0xFF, 4);
        else
            value = hex(r.*row.word, 4);
        lines[static_cast<std::size_t>(i)] = row.label + value;
    }
    return lines;
}

std::array<std::string, 8> flag_lines(const TargetRegisterSet &r)
{
    std::array<std::string, 8> lines;
    for (std::size_t bit = 0; bit < lines.size(); ++bit)
        lines[bit] = std::string(kFlagLabels[bit]) + (((r.AF >> bit) & 1) ? "1" : "0");
    return lines;
}

bool register_line_editable(int line) { return line < kLineSP; }

TargetRegisterSet step_register(TargetRegisterSet r, int line, int delta)
{
    if (line == kLineA) {
        const auto a = static_cast<uint8_t>((r.AF >> 8) + delta);
        r.AF = static_cast<uint16_t>((a << 8) | (r.AF & 0xFF));
    } else if (line > kLineA && line < kLineSP) {
        uint16_t &word = r.*kRegisterRows[static_cast<std::size_t>(line)].word;
        word = static_cast<uint16_t>(word + delta);
    }
    return r;
}

std::string register_prompt(int line)
{
    if (line < 0 || line >= kLineSP)
        return {};
    return std::string("Enter new value for ") + kRegisterRows[static_cast<std::size_t>(line)].prompt_name;
}

// value = blanks [ "+" | "-" ] ( digits | ( "0x" | "0X" ) hexdigits ) blanks, within 32 bits
// (a hexadecimal value up to 0xFFFFFFFF, taken as its 32-bit pattern).
std::optional<int32_t> register_value(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 10 && value > (negative ? 0x80000000ull : 0x7FFFFFFFull))
        return std::nullopt;
    const auto bits = static_cast<uint32_t>(value);
    return static_cast<int32_t>(negative ? 0u - bits : bits);
}

std::string invalid_value_text(const std::string &text)
{
    return "'" + text + "' is not a valid integer value";
}

void set_registers_modal_runner(RegistersModalRunner runner) { g_modal_runner = std::move(runner); }

// ---- the dialogs -----------------------------------------------------------------------------------

namespace {

QPushButton *ok_button(QDialog *dialog)
{
    auto *button = new QPushButton(QObject::tr("&OK"), dialog);
    button->setDefault(true);
    return button;
}

// Converts an edit's text; a bad one is named in an error box and gets the focus.
std::optional<int32_t> converted(QLineEdit *edit)
{
    const std::string text = edit->text().toStdString();
    if (auto value = register_value(text))
        return value;
    ShowAppMessageBox(invalid_value_text(text), "Error", kMbOk | kMbIconError);
    edit->setFocus();
    edit->selectAll();
    return std::nullopt;
}

} // namespace

TfrmChangeRegisters::TfrmChangeRegisters(QWidget *owner, TargetRegisterSet *registers)
    : QDialog(owner), m_registers(registers)
{
    setObjectName(QStringLiteral("frmChangeRegisters"));
    setWindowTitle(tr("Change Register Values"));
    auto *group = new QGroupBox(tr(" Registers "), this);
    auto *grid = new QGridLayout(group);
    auto edit = [&](const char *label, int row, int column, uint16_t value) {
        auto *line = new QLineEdit(QString::fromStdString(hex(value, 4)), group);
        grid->addWidget(new QLabel(tr(label), group), row, column * 2);
        grid->addWidget(line, row, column * 2 + 1);
        return line;
    };
    const TargetRegisterSet &r = *registers;
    edtA = edit("A :", 0, 0, r.AF);
    edtaltA = edit("AF' :", 0, 1, r.AF2);
    edtBC = edit("BC :", 1, 0, r.BC);
    edtaltBC = edit("BC' :", 1, 1, r.BC2);
    edtDE = edit("DE :", 2, 0, r.DE);
    edtaltDE = edit("DE' :", 2, 1, r.DE2);
    edtHL = edit("HL :", 3, 0, r.HL);
    edtaltHL = edit("HL' :", 3, 1, r.HL2);
    edtIX = edit("IX :", 4, 0, r.IX);
    edtIY = edit("IY : ", 4, 1, r.IY);
    btnOK = ok_button(this);
    btnCancel = new QPushButton(tr("&Cancel"), this);
    connect(btnOK, &QPushButton::clicked, this, [this] { guarded([&] { btnOKClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    QWidget::setTabOrder(edtA, edtaltA);
    QWidget::setTabOrder(edtaltA, edtBC);
    QWidget::setTabOrder(edtBC, edtaltBC);
    QWidget::setTabOrder(edtaltBC, edtDE);
    QWidget::setTabOrder(edtDE, edtaltDE);
    QWidget::setTabOrder(edtaltDE, edtHL);
    QWidget::setTabOrder(edtHL, edtaltHL);
    QWidget::setTabOrder(edtaltHL, edtIX);
    QWidget::setTabOrder(edtIX, edtIY);
}

void TfrmChangeRegisters::btnOKClick()
{
    struct Field {
        QLineEdit *edit;
        uint16_t TargetRegisterSet::*word;
    };
    const std::array<Field, 10> fields = {{{edtA, &TargetRegisterSet::AF},
                                           {edtBC, &TargetRegisterSet::BC},
                                           {edtDE, &TargetRegisterSet::DE},
                                           {edtHL, &TargetRegisterSet::HL},
                                           {edtaltA, &TargetRegisterSet::AF2},
                                           {edtaltBC, &TargetRegisterSet::BC2},
                                           {edtaltDE, &TargetRegisterSet::DE2},
                                           {edtaltHL, &TargetRegisterSet::HL2},
                                           {edtIX, &TargetRegisterSet::IX},
                                           {edtIY, &TargetRegisterSet::IY}}};
    // Every field is converted before any is stored: a bad one changes nothing.
    std::array<uint16_t, 10> values{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::optional<int32_t> value = converted(fields[i].edit);
        if (!value)
            return;
        values[i] = static_cast<uint16_t>(*value);
    }
    for (std::size_t i = 0; i < fields.size(); ++i)
        (*m_registers).*fields[i].word = values[i];
    accept();
}

TfrmChangeSingleReg::TfrmChangeSingleReg(QWidget *owner, bool word16, uint16_t *word)
    : QDialog(owner), m_word16(word16), m_word(word)
{
    setObjectName(QStringLiteral("frmChangeSingleReg"));
    lblNewValue = new QLabel(tr("New Register Value"), this);
    edtNewRegisterValue = new QLineEdit(this);
    btnOK = ok_button(this);
    btnCancel = new QPushButton(tr("&Cancel"), this);
    connect(btnOK, &QPushButton::clicked, this, [this] { guarded([&] { btnOKClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblNewValue);
    layout->addWidget(edtNewRegisterValue);
    layout->addLayout(buttons);
}

void TfrmChangeSingleReg::btnOKClick()
{
    const std::optional<int32_t> converted_value = converted(edtNewRegisterValue);
    if (!converted_value)
        return;
    const auto value = static_cast<uint32_t>(*converted_value);
    const uint16_t old = *m_word;
    *m_word = m_word16 ? static_cast<uint16_t>(value)
                       : static_cast<uint16_t>((old & 0x00FFu) | ((value & 0xFFu) << 8));
    accept();
}

// ---- the window ----------------------------------------------------------------------------------

namespace {
const QRect kFormBounds(0, 0, 300, 300);

void select_row(QListWidget *list, int row)
{
    if (row >= 0 && row < list->count())
        list->setCurrentRow(row);
    else
        list->setCurrentRow(-1);
}
} // namespace

TfrmRegisters::TfrmRegisters(TfrmMainWindow *main, bool as_child, bool dockable)
    : TfrmDockable(main, QStringLiteral("frmRegisters"), as_child, dockable, kFormBounds)
{
    SetCaption(QStringLiteral("Register Contents"));
    if (Host())
        Host()->setGeometry(kFormBounds);
    m_sink.SetWindow(this);

    lbxRegisters = new QListWidget(this);
    lbxRegisters->setSelectionMode(QAbstractItemView::ExtendedSelection);
    pnlRegister = new QWidget(this);
    splRegister = new QSplitter(Qt::Horizontal, pnlRegister);
    lbxMainRegisters = new QListWidget(splRegister);
    lbxFlags = new QListWidget(splRegister);
    splRegister->setChildrenCollapsible(false);
    // The register pane keeps its width; the flags take what the window gains or loses.
    splRegister->setStretchFactor(0, 0);
    splRegister->setStretchFactor(1, 1);
    auto *panel = new QVBoxLayout(pnlRegister);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->addWidget(splRegister);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lbxRegisters);
    layout->addWidget(pnlRegister);

    // The window's actions: caption, short cut, handler.
    struct ActionRow {
        QAction *TfrmRegisters::*action;
        const char *caption;
        QKeyCombination keys;
        void (TfrmRegisters::*run)();
    };
    static const ActionRow kActions[] = {
        {&TfrmRegisters::actChangeRegisters, "&Change Register Value(s)",
         Qt::CTRL | Qt::ALT | Qt::Key_R, &TfrmRegisters::actChangeRegistersExecute},
        {&TfrmRegisters::actSwitchEditable, "Switch to &Editable View",
         Qt::CTRL | Qt::ALT | Qt::Key_E, &TfrmRegisters::actSwitchEditableExecute},
        {&TfrmRegisters::actSwitchHistory, "Switch to &History View",
         Qt::CTRL | Qt::ALT | Qt::Key_H, &TfrmRegisters::actSwitchHistoryExecute},
        {&TfrmRegisters::actIncrementRegister, "&Increment Register",
         Qt::CTRL | Qt::ALT | Qt::Key_I, &TfrmRegisters::actIncrementRegisterExecute},
        {&TfrmRegisters::actDecrementRegister, "&Decrement Register",
         Qt::CTRL | Qt::ALT | Qt::Key_D, &TfrmRegisters::actDecrementRegisterExecute},
        {&TfrmRegisters::actNewRegisterValue, "&New Register Value...",
         Qt::CTRL | Qt::ALT | Qt::Key_N, &TfrmRegisters::actNewRegisterValueExecute},
        {&TfrmRegisters::actToggleFlag, "&Toggle Flag", Qt::CTRL | Qt::ALT | Qt::Key_T,
         &TfrmRegisters::actToggleFlagExecute},
        {&TfrmRegisters::actCopy, "C&opy", Qt::CTRL | Qt::Key_C, &TfrmRegisters::actCopyExecute},
        {&TfrmRegisters::actCopyOldStyle, "", Qt::CTRL | Qt::Key_Insert,
         &TfrmRegisters::actCopyExecute},
    };
    for (const ActionRow &row : kActions) {
        auto *a = new QAction(tr(row.caption), this);
        a->setShortcut(QKeySequence(row.keys));
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(a);
        connect(a, &QAction::triggered, this, [this, run = row.run] {
            UpdateActions();
            guarded([&] { (this->*run)(); });
        });
        this->*row.action = a;
    }
    // The actions act only while they are enabled.
    for (QAction *a : actions())
        a->setEnabled(true);

    puChangeRegisters = new QMenu(this);
    puChangeRegisters->addAction(tr("&Change Register Value(s)..."), this,
                                 [this] { actChangeRegisters->trigger(); });
    puChangeRegisters->addAction(actCopy);
    puChangeRegisters->addSeparator();
    puChangeRegisters->addAction(actSwitchEditable);
    puChangeRegister = new QMenu(this);
    puChangeRegister->addAction(actDecrementRegister);
    puChangeRegister->addAction(actIncrementRegister);
    puChangeRegister->addAction(actNewRegisterValue);
    puChangeRegister->addSeparator();
    puChangeRegister->addAction(actSwitchHistory);
    puFlags = new QMenu(this);
    puFlags->addAction(actToggleFlag);
    puFlags->addSeparator();
    puFlags->addAction(actSwitchHistory);
    auto popup = [this](QListWidget *list, QMenu *menu) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this, [this, list, menu](QPoint at) {
            UpdateActions();
            menu->popup(list->viewport()->mapToGlobal(at));
        });
    };
    popup(lbxRegisters, puChangeRegisters);
    popup(lbxMainRegisters, puChangeRegister);
    popup(lbxFlags, puFlags);
    for (QListWidget *list : {lbxRegisters, lbxMainRegisters, lbxFlags})
        connect(list, &QListWidget::itemSelectionChanged, this, [this] { UpdateActions(); });
    connect(lbxMainRegisters, &QListWidget::itemDoubleClicked, this,
            [this] { actNewRegisterValue->trigger(); });
    connect(lbxFlags, &QListWidget::itemDoubleClicked, this,
            [this] { actToggleFlag->trigger(); });

    const RegisterWindowSettings &settings = IdePreferences().registers;
    TFont font;
    ApplyFontRecord(font, settings.font);
    for (QListWidget *list : {lbxRegisters, lbxMainRegisters, lbxFlags}) {
        QPalette palette = list->palette();
        palette.setColor(QPalette::Base, colour_of(settings.background_colour));
        palette.setColor(QPalette::Text, colour_of(settings.font.colour));
        list->setPalette(palette);
        list->setFont(font.font);
    }
    m_register_line = settings.window_value_1;
    m_flag_line = settings.window_value_2;
    ShowEditable(settings.show_editable);
    RestorePosition();
}

TfrmRegisters::~TfrmRegisters() { m_sink.SetWindow(nullptr); }

TfrmDockable *TfrmRegisters::Make(TfrmMainWindow &main)
{
    const RegisterWindowSettings &settings = IdePreferences().registers;
    return new TfrmRegisters(&main, settings.child, settings.dockable);
}

TGuiInterface *TfrmRegisters::AdapterOf(TfrmDockable &window)
{
    auto *registers = qobject_cast<TfrmRegisters *>(&window);
    return registers ? &registers->Sink() : nullptr;
}

void TfrmRegisters::AddLine(const std::string &text)
{
    lbxRegisters->addItem(QString::fromStdString(text));
    QScrollBar *bar = lbxRegisters->verticalScrollBar();
    bar->setValue(bar->maximum());
    lbxRegisters->scrollToBottom();
}

void TfrmRegisters::BeginUpdate()
{
    const TargetRegisterSet registers = gTargetRegisters;
    lbxMainRegisters->clear();
    for (const std::string &line : register_lines(registers))
        lbxMainRegisters->addItem(QString::fromStdString(line));
    select_row(lbxMainRegisters, m_register_line);
    lbxFlags->clear();
    for (const std::string &line : flag_lines(registers))
        lbxFlags->addItem(QString::fromStdString(line));
    select_row(lbxFlags, m_flag_line);
    UpdateActions();
}

bool TfrmRegisters::Stopped() const
{
    TfrmMainWindow *main = MainWindow();
    return main && main->IsStopped();
}

void TfrmRegisters::UpdateActions()
{
    // The board takes new register values only while the program is stopped.
    const bool stopped = Stopped();
    const int line = lbxMainRegisters->currentRow();
    const bool editable = stopped && register_line_editable(lbxMainRegisters->currentItem() ? line : -1);
    actIncrementRegister->setEnabled(editable);
    actDecrementRegister->setEnabled(editable);
    actNewRegisterValue->setEnabled(editable);
    actToggleFlag->setEnabled(stopped);
    actChangeRegisters->setEnabled(stopped);
    if (lbxRegisters->isVisibleTo(this)) {
        const bool any = !lbxRegisters->selectedItems().isEmpty();
        actCopy->setEnabled(any);
        actCopyOldStyle->setEnabled(any);
    }
}

void TfrmRegisters::RunChange(const std::function<void()> &change)
{
    TfrmMainWindow *main = MainWindow();
    if (main)
        main->RunCompileOperation(change);
    else
        change();
}

void TfrmRegisters::WriteRegisters(const TargetRegisterSet &registers)
{
    TDebuggerOperations &dbg = debugger_operations();
    dbg.TcWriteRegisters(registers);
    dbg.formatRegisterLines();
}

void TfrmRegisters::ChangeRegister(int delta)
{
    if (!actIncrementRegister->isEnabled())
        return;
    const int line = lbxMainRegisters->currentItem() ? lbxMainRegisters->currentRow() : -1;
    m_register_line = line;
    RunChange([&] { WriteRegisters(step_register(gTargetRegisters, line, delta)); });
}

void TfrmRegisters::actNewRegisterValueExecute()
{
    if (!actNewRegisterValue->isEnabled())
        return;
    const int line = lbxMainRegisters->currentItem() ? lbxMainRegisters->currentRow() : -1;
    const std::string prompt = register_prompt(line);
    if (prompt.empty())
        return;
    TargetRegisterSet registers = gTargetRegisters;
    uint16_t *word = &(registers.*kRegisterRows[static_cast<std::size_t>(line)].word);
    TfrmChangeSingleReg dialog(this, line != kLineA, word);
    dialog.setWindowTitle(QString::fromStdString(prompt));
    if (run_modal(dialog) != QDialog::Accepted)
        return;
    m_register_line = line;
    RunChange([&] { WriteRegisters(registers); });
}

void TfrmRegisters::actToggleFlagExecute()
{
    if (!actToggleFlag->isEnabled())
        return;
    const int bit = lbxFlags->currentItem() ? lbxFlags->currentRow() : -1;
    TargetRegisterSet registers = gTargetRegisters;
    if (bit >= 0 && bit < 8)
        registers.AF = static_cast<uint16_t>(registers.AF ^ (1u << bit));
    m_flag_line = bit;
    RunChange([&] { WriteRegisters(registers); });
}

void TfrmRegisters::actChangeRegistersExecute()
{
    if (!actChangeRegisters->isEnabled())
        return;
    bool read = false;
    RunChange([&] {
        debugger_operations().TcReadRegisters();
        read = true;
    });
    if (!read)
        return;
    TargetRegisterSet registers = gTargetRegisters;
    TfrmChangeRegisters dialog(this, &registers);
    if (run_modal(dialog) != QDialog::Accepted)
        return;
    RunChange([&] { WriteRegisters(registers); });
}

void TfrmRegisters::ShowEditable(bool editable)
{
    pnlRegister->setVisible(editable);
    lbxRegisters->setVisible(!editable);
    if (!editable)
        lbxRegisters->scrollToBottom();
    (editable ? static_cast<QWidget *>(lbxMainRegisters) : lbxRegisters)->setFocus();
}

void TfrmRegisters::actSwitchEditableExecute()
{
    ShowEditable(true);
    RegisterWindowSettings &settings = IdePreferences().registers;
    settings.show_editable = true;
    settings.show_history = false;
}

void TfrmRegisters::actSwitchHistoryExecute()
{
    ShowEditable(false);
    RegisterWindowSettings &settings = IdePreferences().registers;
    settings.show_editable = false;
    settings.show_history = true;
}

void TfrmRegisters::actCopyExecute()
{
    if (!actCopy->isEnabled() || !lbxRegisters->isVisibleTo(this))
        return;
    if (TfrmMainWindow *main = MainWindow())
        main->CopyListSelectionToClipboard(lbxRegisters);
}

void TfrmRegisters::showEvent(QShowEvent *event)
{
    TfrmDockable::showEvent(event);
    BeginUpdate();
    ShowEditable(IdePreferences().registers.show_editable);
}

void TfrmRegisters::RestorePosition()
{
    TfrmDockable::RestorePosition();
    const RegisterWindowSettings &settings = IdePreferences().registers;
    const int width = IsFloating() ? settings.float_main_width : settings.child_main_width;
    if (lbxMainRegisters && splRegister) {
        const int total = std::max(splRegister->width(), width + 50);
        splRegister->setSizes({width, std::max(total - width, 1)});
    }
}

void TfrmRegisters::SavePosition()
{
    TfrmDockable::SavePosition();
    if (!lbxMainRegisters)
        return;
    RegisterWindowSettings &settings = IdePreferences().registers;
    const int width = splRegister->sizes().value(0, lbxMainRegisters->width());
    if (IsFloating())
        settings.float_main_width = width;
    else if (IsMdiChild())
        settings.child_main_width = width;
}
