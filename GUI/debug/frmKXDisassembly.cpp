// frmKXDisassembly: the disassembly window.
#include "frmKXDisassembly.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <sstream>
#include <iterator>

#include "FileReplace.h"
#include "RegularFile.h"
#include "core/CC_ADDR.h"
#include "core/CC_MISC.h"
#include "core/SEAM_TARGET.h"
#include "frmKXMoveToAddress.h"
#include "guiDebugger.h"
#include "debugger/DB_ML.h"
#include "debugger/ParseAddressText.h"
#include "editor/KorvexLexer.h"
#include "editor/frmKXEditor.h"
#include "shell/guiHosts.h"
#include "link/TC.h"
#include "options/guiOptionsHost.h"
#include "FontRecord.h"
#include "settings/guiKXPreferences.h"
#include "shell/frmKXMain.h"
#include "shell/guiHosts.h"

// ---- the line model ---------------------------------------------------------------------------

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The first word of `rest` (up to a blank), taken off with the blanks after it.
std::string_view take_word(std::string_view &rest)
{
    std::size_t end = 0;
    while (end < rest.size() && !is_blank(rest[end]))
        ++end;
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    while (!rest.empty() && is_blank(rest.front()))
        rest.remove_prefix(1);
    return word;
}

std::string column_text(std::string_view text) { return " " + std::string(text); }

} // namespace

TdasmListObject SplitDisassemblyLine(std::string_view line)
{
    TdasmListObject item;
    std::string_view rest = line;
    while (!rest.empty() && is_blank(rest.back()))
        rest.remove_suffix(1);
    const std::size_t last_blank = rest.find_last_of(" \t");
    const std::string_view cycles =
        last_blank == std::string_view::npos ? rest : rest.substr(last_blank + 1);
    rest = trim(rest.substr(0, rest.size() - cycles.size()));
    const std::string_view address = take_word(rest);
    const std::string_view machine = take_word(rest);
    item.columns[0] = column_text(address);
    item.columns[1] = column_text(machine);
    item.columns[2] = column_text(rest);
    item.columns[3] = column_text(cycles);
    return item;
}

std::string SourceTextForDisplay(std::string_view text)
{
    std::string_view t = trim(text);
    const std::size_t slash = t.rfind('/');
    if (slash != std::string_view::npos && slash > 0 && t[slash - 1] == '/')
        t = trim(t.substr(0, slash - 1));
    return std::string(t);
}

std::string ReadSourceFileLine(const std::string &path, int line)
{
    if (line < 1 || path.empty())
        return {};
    // The source as the editor would open it: an ordinary file within the editor's limit, so
    // a FIFO or a device named by the debug information never holds the window.
    std::string bytes;
    if (read_regular_text(normalize_separators(path), kEditorMaxFileBytes, bytes) !=
        RegularFileStatus::Read)
        return {};
    std::istringstream in(bytes);
    std::string text;
    int at = 1;
    char c;
    while (in.get(c)) {
        if (c == '\n' || c == '\r') {
            if (c == '\r' && in.peek() == '\n')
                in.get();
            if (at == line)
                return text;
            ++at;
            continue;
        }
        if (at == line)
            text += c;
    }
    return at == line ? text : std::string();
}

std::string SourceLabel(const std::string &file, int line, bool with_file_name)
{
    if (!with_file_name)
        return "[" + std::to_string(line) + "]: ";
    const std::size_t cut = file.find_last_of("/\\");
    const std::string name = cut == std::string::npos ? file : file.substr(cut + 1);
    return "[" + name + "(" + std::to_string(line) + ")]: ";
}

std::string FormatDasmItem(const TdasmListObject &item, const TdasmLayout &layout)
{
    if (item.IsSource())
        return layout.show_source ? item.source_text : std::string();
    std::string text;
    for (std::size_t c = 0; c < kDasmColumnCount; ++c) {
        if (!layout.shown[c])
            continue;
        std::string cell = item.columns[c];
        const std::size_t width =
            layout.longest[c] + (c == static_cast<std::size_t>(DasmColumn::Cycles) ? 10 : 2);
        cell.resize(width, ' ');
        text += cell;
    }
    return text;
}

std::optional<int> CyclesValue(std::string_view text)
{
    const std::string_view t = trim(text);
    int value = 0;
    const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (t.empty() || error != std::errc() || end != t.data() + t.size())
        return std::nullopt;
    return value;
}

std::string CycleSumText(long long sum)
{
    std::string text = " Selected Clock Cycles Sum: ";
    if (sum != 0)
        text += std::to_string(sum);
    return text;
}

int TdasmListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(items.size());
}

QVariant TdasmListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !layout || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= items.size())
        return {};
    return QString::fromLatin1(
        FormatDasmItem(items[static_cast<std::size_t>(index.row())], *layout).c_str());
}

void TdasmListModel::Append(TdasmListObject item)
{
    const int row = static_cast<int>(items.size());
    beginInsertRows({}, row, row);
    items.push_back(std::move(item));
    endInsertRows();
}

void TdasmListModel::RemoveAll()
{
    if (items.empty())
        return;
    beginResetModel();
    items.clear();
    endResetModel();
}

void TdasmListModel::Relayout()
{
    if (!items.empty())
        emit dataChanged(index(0), index(static_cast<int>(items.size()) - 1));
}

// ---- drawing ----------------------------------------------------------------------------------

class TdasmItemDelegate : public QStyledItemDelegate {
public:
    TdasmItemDelegate(TfrmDisassembly *window, QObject *parent)
        : QStyledItemDelegate(parent), m_window(window)
    {
    }
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        m_window->lbxDisassembledDrawItem(painter, option.rect, index.row(),
                                          option.state & QStyle::State_Selected);
    }
    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return {m_window->hcDisassembly->length(), m_height};
    }
    int m_height = 14;

private:
    TfrmDisassembly *m_window;
};

namespace {

// The form's own bounds, then the ones its constructor sets.
const QRect kFormBounds(0, 0, 600, 600);
constexpr int kAssemblyBit = 2; // the assembly-data bit of the target's send flags
const QColor kLabelColour(0, 0, 128);
const QColor kExecutionBackground(0xE0, 0xFF, 0xE0);
const QColor kMarkColour(0, 160, 0);

QColor style_colour(int style)
{
    return colour_of(korvex_style(style).FontColor);
}

// Draws `text` from x in runs of one style each (one style per byte), clipped to `clip`.
void draw_styled(QPainter *painter, const QRect &clip, int x, std::string_view text,
                 const std::vector<uint8_t> &styles)
{
    const QFontMetrics metrics(painter->font());
    std::size_t from = 0;
    while (from < text.size() && x < clip.right()) {
        std::size_t to = from + 1;
        while (to < text.size() && styles[to] == styles[from])
            ++to;
        const QString run = QString::fromLatin1(text.data() + from, qsizetype(to - from));
        painter->setPen(style_colour(styles[from]));
        const QRect cell(x, clip.top(), clip.right() - x + 1, clip.height());
        painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, run);
        x += metrics.horizontalAdvance(run);
        from = to;
    }
}

} // namespace

// ---- the window -------------------------------------------------------------------------------

TfrmDisassembly::TfrmDisassembly(TfrmMainWindow *main, bool as_child, bool dockable)
    : TfrmDockable(main, QStringLiteral("frmDisassembly"), as_child, dockable, kFormBounds)
{
    SetCaption(QStringLiteral("Disassembled Code"));
    const AssemblyWindowSettings &settings = IdePreferences().assembly;
    m_layout.shown = {settings.show_address, settings.show_machine, settings.show_assembly,
                      settings.show_cycles};
    m_layout.show_source = settings.show_source;

    pnlListBoxAndHeader = new QWidget(this);
    m_sections = new QStandardItemModel(0, 0, this);
    hcDisassembly = new QHeaderView(Qt::Horizontal, pnlListBoxAndHeader);
    hcDisassembly->setObjectName(QStringLiteral("hcDisassembly"));
    hcDisassembly->setModel(m_sections);
    hcDisassembly->setSectionsClickable(false);
    hcDisassembly->setStretchLastSection(false);
    hcDisassembly->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_model = new TdasmListModel(this);
    m_model->layout = &m_layout;
    lbxDisassembled = new QListView(pnlListBoxAndHeader);
    lbxDisassembled->setObjectName(QStringLiteral("lbxDisassembled"));
    lbxDisassembled->setModel(m_model);
    lbxDisassembled->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbxDisassembled->setUniformItemSizes(true);
    lbxDisassembled->setItemDelegate(new TdasmItemDelegate(this, lbxDisassembled));
    lbxDisassembled->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto *panel = new QVBoxLayout(pnlListBoxAndHeader);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->setSpacing(0);
    panel->addWidget(hcDisassembly);
    panel->addWidget(lbxDisassembled, 1);
    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    m_sum_panel = new QLabel(StatusBar);
    StatusBar->addWidget(m_sum_panel, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pnlListBoxAndHeader, 1);
    layout->addWidget(StatusBar);

    auto action = [this](const QString &caption, const QKeySequence &shortcut, bool checked_by,
                         bool checkable, std::function<void()> execute) {
        auto *a = new QAction(caption, this);
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        if (checkable) {
            a->setCheckable(true);
            a->setChecked(checked_by);
        }
        lbxDisassembled->addAction(a);
        // A checkable action has flipped itself when `triggered` comes: the handler flips
        // it, so it is put back first.
        connect(a, &QAction::triggered, this, [a, checkable, execute] {
            guarded([&] {
                if (checkable)
                    a->setChecked(!a->isChecked());
                execute();
            });
        });
        return a;
    };
    actCopy = action(tr("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C), false, false, [this] {
        if (actCopySaveUpdate())
            actCopyExecute();
    });
    actCopyOldStyle = action({}, QKeySequence(Qt::CTRL | Qt::Key_Insert), false, false, [this] {
        if (actCopySaveUpdate())
            actCopyExecute();
    });
    actSave = action(tr("&Save to File"), QKeySequence(Qt::CTRL | Qt::Key_S), false, false,
                     [this] {
                         if (actCopySaveUpdate())
                             actSaveExecute();
                     });
    actMove = action(tr("&Move to Address"), QKeySequence(Qt::CTRL | Qt::Key_M), false, false,
                     [this] {
                         if (doUpdateActions())
                             actMoveExecute();
                     });
    actMoveToExePoint = action(tr("Move to &Execution Point"), QKeySequence(Qt::CTRL | Qt::Key_E),
                               false, false, [this] { actMoveToExePointExecute(); });
    actShowSource = action(tr("Show Source"), {}, settings.show_source, true,
                           [this] { actShowSourceExecute(); });
    actShowFileName = action(tr("Show File Name in Source Line"), {},
                             settings.show_file_name_in_source, true,
                             [this] { actShowFileNameExecute(); });
    actShowAddress = action(tr("Show Addresses"), {}, settings.show_address, true,
                            [this] { actShowAddressExecute(); });
    actShowMachine = action(tr("Show Machine Code"), {}, settings.show_machine, true,
                            [this] { actShowMachineExecute(); });
    actShowCycles = action(tr("Show Clock Cycles"), {}, settings.show_cycles, true,
                           [this] { actShowCyclesExecute(); });
    actSumCycles = action(tr("Sum Clock Cycles"), {}, settings.sum_cycles, true,
                          [this] { actSumCyclesExecute(); });
    actSyntaxHighlight = action(tr("Use Syntax Highlighting"), {}, settings.syntax_highlight, true,
                                [this] { actSyntaxHighlightExecute(); });
    dasmContextMenu = new QMenu(this);
    for (QAction *a : {actCopy, actSave, actMove, actMoveToExePoint})
        dasmContextMenu->addAction(a);
    dasmContextMenu->addSeparator();
    for (QAction *a : {actShowSource, actShowFileName, actShowAddress, actShowMachine,
                       actShowCycles})
        dasmContextMenu->addAction(a);
    dasmContextMenu->addSeparator();
    dasmContextMenu->addAction(actSumCycles);
    dasmContextMenu->addAction(actSyntaxHighlight);
    lbxDisassembled->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lbxDisassembled, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        guarded([&] {
            UpdateActions();
            dasmContextMenu->popup(lbxDisassembled->viewport()->mapToGlobal(at));
        });
    });
    connect(lbxDisassembled->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] {
                guarded([&] {
                    UpdateCycleSum();
                    UpdateActions();
                });
            });
    connect(hcDisassembly, &QHeaderView::sectionResized, this,
            [this] { guarded([&] { hcDisassemblySectionResize(); }); });
    connect(lbxDisassembled->horizontalScrollBar(), &QScrollBar::valueChanged, hcDisassembly,
            &QHeaderView::setOffset);

    RefreshDisplay();
    // The columns start as wide as their captions with room around them.
    const QFontMetrics metrics(hcDisassembly->font());
    for (std::size_t c = 0; c < kDasmColumnCount; ++c) {
        const QString caption = QString::fromLatin1(kDasmCaptions[c]);
        const QString padded = c == static_cast<std::size_t>(DasmColumn::Cycles)
                                   ? QStringLiteral("  ") + caption + QStringLiteral("        ")
                                   : QStringLiteral("  ") + caption + QStringLiteral("  ");
        m_pixels[c] = metrics.horizontalAdvance(padded);
        m_layout.longest[c] = caption.size();
    }
    m_sections->insertColumn(0);
    m_sections->setHeaderData(0, Qt::Horizontal, QString());
    hcDisassembly->setSectionResizeMode(0, QHeaderView::Fixed);
    hcDisassembly->resizeSection(0, m_mark_width);
    for (std::size_t c = 0; c < kDasmColumnCount; ++c)
        if (m_layout.shown[c])
            InsertSection(m_sections->columnCount(), static_cast<DasmColumn>(c));
    UpdateActions();
    UpdateCycleSum();

    m_adapter.SetWindow(this);
    if (Host())
        Host()->setGeometry(kFormBounds);
}

TfrmDisassembly::~TfrmDisassembly() { m_adapter.SetWindow(nullptr); }

void TfrmDisassembly::RefreshDisplay()
{
    const AssemblyWindowSettings &settings = IdePreferences().assembly;
    TFont font;
    ApplyFontRecord(font, settings.font);
    QPalette palette = lbxDisassembled->palette();
    palette.setColor(QPalette::Base, colour_of(settings.background_colour));
    palette.setColor(QPalette::Text, colour_of(font.colour));
    lbxDisassembled->setPalette(palette);
    lbxDisassembled->setFont(font.font);
    hcDisassembly->setFont(font.font);
    const int height = QFontMetrics(font.font).height();
    static_cast<TdasmItemDelegate *>(lbxDisassembled->itemDelegate())->m_height = height;
    hcDisassembly->setFixedHeight(height + 1 + 4);
    lbxDisassembled->doItemsLayout();
    lbxDisassembled->viewport()->update();
}

// ---- the sink ---------------------------------------------------------------------------------

void TfrmDisassembly::BeginUpdate()
{
    if (m_update_depth++ == 0)
        lbxDisassembled->setUpdatesEnabled(false);
}

void TfrmDisassembly::EndUpdate()
{
    if (m_update_depth > 0 && --m_update_depth > 0)
        return;
    for (std::size_t c = 0; c < kDasmColumnCount; ++c) {
        const int section = SectionOf(static_cast<DasmColumn>(c));
        if (section > 0 && hcDisassembly->sectionSize(section) < m_pixels[c])
            hcDisassembly->resizeSection(section, m_pixels[c]);
    }
    hcDisassembly->resizeSection(0, m_mark_width);
    lbxDisassembled->setUpdatesEnabled(true);
    lbxDisassembled->doItemsLayout();
    lbxDisassembled->viewport()->update();
    UpdateActions();
}

void TfrmDisassembly::Clear()
{
    m_model->RemoveAll();
    m_instruction_rows.clear();
    m_execution_line = -1;
    UpdateActions();
}

void TfrmDisassembly::AddSourceLine(uint32_t address)
{
    source_item at;
    BreakpointTables &tables = breakpoint_tables();
    if (!tables.lookupBreakpointByAddress(address, SourceTable::Line, at) &&
        !tables.lookupBreakpointByAddress(address, SourceTable::Statement, at))
        return;
    std::string text;
    TfrmEdit *editor = MainWindow() ? MainWindow()->FindEditor(at.file) : nullptr;
    if (editor)
        text = editor->GetLineText(at.line - 1);
    else
        text = ReadSourceFileLine(at.file, at.line);
    TdasmListObject item;
    item.source_label =
        SourceLabel(at.file, at.line, IdePreferences().assembly.show_file_name_in_source);
    item.source_text = SourceTextForDisplay(text);
    m_model->Append(std::move(item));
}

void TfrmDisassembly::AddDisassemblyLines(const std::string &text)
{
    TdasmListObject item = SplitDisassemblyLine(text);
    if (m_layout.show_source) {
        uint32_t address = 0;
        TAddressParseResult parsed;
        ParseAddressText(item.Column(DasmColumn::Address), address, true, parsed, true, true);
        if (parsed.kind != kAddressBad)
            AddSourceLine(address);
    }
    const QFontMetrics metrics(lbxDisassembled->font());
    for (std::size_t c = 0; c < kDasmColumnCount; ++c) {
        const std::string &cell = item.columns[c];
        if (cell.size() <= m_layout.longest[c])
            continue;
        m_layout.longest[c] = cell.size();
        m_pixels[c] = metrics.horizontalAdvance(QString::fromLatin1(cell.c_str())) +
                      (c == static_cast<std::size_t>(DasmColumn::Cycles) ? 10 : 0);
    }
    item.instruction = static_cast<int>(m_instruction_rows.size());
    const int row = static_cast<int>(m_model->items.size());
    m_instruction_rows.push_back(row);
    m_model->Append(std::move(item));
}

std::optional<uint32_t> TfrmDisassembly::LineAddress(int row) const
{
    if (row < 0 || row >= LineCount() || Item(row).IsSource())
        return std::nullopt;
    uint32_t address = 0;
    TAddressParseResult parsed;
    ParseAddressText(Item(row).Column(DasmColumn::Address), address, true, parsed, true, true);
    if (parsed.kind == kAddressBad)
        return std::nullopt;
    return address;
}

void TfrmDisassembly::MarkExecutionLine(int instruction_index, int)
{
    lbxDisassembled->clearSelection();
    m_execution_line = -1;
    if (instruction_index < 0 ||
        static_cast<std::size_t>(instruction_index) >= m_instruction_rows.size()) {
        lbxDisassembled->viewport()->update();
        return;
    }
    const int row = m_instruction_rows[static_cast<std::size_t>(instruction_index)];
    const QModelIndex index = m_model->index(row);
    lbxDisassembled->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    const std::optional<uint32_t> address = LineAddress(row);
    if (address && addr_equal(*address, gTargetRegisters.PC))
        m_execution_line = row;
    const QRect shown = lbxDisassembled->visualRect(index);
    if (!lbxDisassembled->viewport()->rect().contains(shown))
        lbxDisassembled->scrollTo(index, QAbstractItemView::PositionAtTop);
    lbxDisassembled->viewport()->update();
}

// ---- columns ----------------------------------------------------------------------------------

int TfrmDisassembly::SectionOf(DasmColumn column) const
{
    const QString caption = QString::fromLatin1(kDasmCaptions[static_cast<std::size_t>(column)]);
    for (int s = 1; s < m_sections->columnCount(); ++s)
        if (m_sections->headerData(s, Qt::Horizontal).toString() == caption)
            return s;
    return -1;
}

void TfrmDisassembly::InsertSection(int position, DasmColumn column)
{
    const std::size_t c = static_cast<std::size_t>(column);
    const int width = m_pixels[c];
    m_sections->insertColumn(position);
    m_sections->setHeaderData(position, Qt::Horizontal, QString::fromLatin1(kDasmCaptions[c]));
    hcDisassembly->setSectionResizeMode(position, QHeaderView::Interactive);
    hcDisassembly->resizeSection(position, width);
    m_pixels[c] = width;
}

std::vector<std::string> TfrmDisassembly::SectionCaptions() const
{
    std::vector<std::string> captions;
    for (int s = 1; s < m_sections->columnCount(); ++s)
        captions.push_back(m_sections->headerData(s, Qt::Horizontal).toString().toStdString());
    return captions;
}

int TfrmDisassembly::SectionWidth(DasmColumn column) const
{
    const int section = SectionOf(column);
    return section < 0 ? -1 : hcDisassembly->sectionSize(section);
}

void TfrmDisassembly::hcDisassemblySectionResize()
{
    for (std::size_t c = 0; c < kDasmColumnCount; ++c) {
        const int section = SectionOf(static_cast<DasmColumn>(c));
        if (m_layout.shown[c] && section > 0)
            m_pixels[c] = std::max(0, hcDisassembly->sectionSize(section));
    }
    lbxDisassembled->doItemsLayout();
    lbxDisassembled->viewport()->update();
}

void TfrmDisassembly::ColumnToggled(DasmColumn column)
{
    AssemblyWindowSettings &settings = IdePreferences().assembly;
    QAction *action = nullptr;
    bool *setting = nullptr;
    switch (column) {
    case DasmColumn::Address:
        action = actShowAddress;
        setting = &settings.show_address;
        break;
    case DasmColumn::Machine:
        action = actShowMachine;
        setting = &settings.show_machine;
        break;
    case DasmColumn::Cycles:
        action = actShowCycles;
        setting = &settings.show_cycles;
        break;
    case DasmColumn::Opcode:
        return; // no command turns the assembly column off
    }
    action->setChecked(!action->isChecked());
    const bool on = action->isChecked();
    *setting = on;
    m_layout.shown[static_cast<std::size_t>(column)] = on;
    const int section = SectionOf(column);
    if (!on && section > 0) {
        m_sections->removeColumn(section);
    } else if (on && section < 0) {
        int position = m_sections->columnCount();
        if (column == DasmColumn::Address)
            position = 1;
        else if (column == DasmColumn::Machine)
            position = SectionOf(DasmColumn::Address) == 1 ? 2 : 1;
        InsertSection(position, column);
    }
    hcDisassembly->resizeSection(0, m_mark_width);
    m_model->Relayout();
    lbxDisassembled->doItemsLayout();
    lbxDisassembled->viewport()->update();
}

void TfrmDisassembly::actShowAddressExecute() { ColumnToggled(DasmColumn::Address); }
void TfrmDisassembly::actShowMachineExecute() { ColumnToggled(DasmColumn::Machine); }
void TfrmDisassembly::actShowCyclesExecute() { ColumnToggled(DasmColumn::Cycles); }

void TfrmDisassembly::SourceToggled()
{
    // Source lines come and go with a new listing from the first instruction shown.
    std::optional<uint32_t> first;
    for (int row = 0; row < LineCount() && !first; ++row)
        first = LineAddress(row);
    if (!first)
        return;
    // Off while the target is asked (Redisassemble lets no error through).
    actShowSource->setEnabled(false);
    actShowFileName->setEnabled(false);
    Redisassemble(*first);
    actShowSource->setEnabled(true);
    actShowFileName->setEnabled(true);
}

void TfrmDisassembly::actShowSourceExecute()
{
    actShowSource->setChecked(!actShowSource->isChecked());
    IdePreferences().assembly.show_source = actShowSource->isChecked();
    m_layout.show_source = actShowSource->isChecked();
    SourceToggled();
}

void TfrmDisassembly::actShowFileNameExecute()
{
    actShowFileName->setChecked(!actShowFileName->isChecked());
    IdePreferences().assembly.show_file_name_in_source = actShowFileName->isChecked();
    SourceToggled();
}

void TfrmDisassembly::actSumCyclesExecute()
{
    actSumCycles->setChecked(!actSumCycles->isChecked());
    IdePreferences().assembly.sum_cycles = actSumCycles->isChecked();
    UpdateCycleSum();
}

void TfrmDisassembly::actSyntaxHighlightExecute()
{
    actSyntaxHighlight->setChecked(!actSyntaxHighlight->isChecked());
    IdePreferences().assembly.syntax_highlight = actSyntaxHighlight->isChecked();
    RefreshDisplay();
}

// ---- cycle sum, copy, save --------------------------------------------------------------------

std::vector<int> TfrmDisassembly::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex &index : lbxDisassembled->selectionModel()->selectedIndexes())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TfrmDisassembly::SelectRows(const std::vector<int> &rows)
{
    QItemSelection selection;
    for (int row : rows)
        if (row >= 0 && row < LineCount())
            selection.select(m_model->index(row), m_model->index(row));
    lbxDisassembled->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TfrmDisassembly::UpdateCycleSum()
{
    if (!IdePreferences().assembly.sum_cycles) {
        m_sum_panel->clear();
        return;
    }
    // A line without a plain count ("6+7n", "8/2") adds nothing; the others still count.
    long long sum = 0;
    for (int row : SelectedRows()) {
        const TdasmListObject &item = Item(row);
        if (item.IsSource())
            continue;
        if (const std::optional<int> cycles = CyclesValue(item.Column(DasmColumn::Cycles)))
            sum += *cycles;
    }
    m_sum_panel->setText(QString::fromLatin1(CycleSumText(sum).c_str()));
}

void TfrmDisassembly::ResetCycleSumStatus() { m_sum_panel->clear(); }

QString TfrmDisassembly::CycleSumPanel() const { return m_sum_panel->text(); }

bool TfrmDisassembly::actCopySaveUpdate() const
{
    return lbxDisassembled->selectionModel()->hasSelection();
}

bool TfrmDisassembly::doUpdateActions() const { return LineCount() > 0; }

void TfrmDisassembly::UpdateActions()
{
    const bool selected = actCopySaveUpdate();
    actCopy->setEnabled(selected);
    actCopyOldStyle->setEnabled(selected);
    actSave->setEnabled(selected);
    actMove->setEnabled(doUpdateActions());
}

void TfrmDisassembly::actCopyExecute()
{
    std::string text;
    for (int row : SelectedRows())
        text += LineText(row) + "\n";
    if (!text.empty())
        QGuiApplication::clipboard()->setText(QString::fromLatin1(text.c_str()));
}

void TfrmDisassembly::actSaveExecute()
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.title = "Save As";
    request.filter = "Disassembly (*.dasm)|*.dasm|All Files (*.*)|*.*|";
    request.must_exist = false;
    std::unique_ptr<TFileDialog> dialog = make_file_dialog(request);
    if (!ProbeDialogDirectory(*dialog) || dialog->FileName().empty())
        return;
    std::string path = dialog->FileName();
    const std::size_t name = path.find_last_of("/\\");
    if (path.find('.', name == std::string::npos ? 0 : name + 1) == std::string::npos)
        path += ".dasm";
    std::string text;
    for (int row : SelectedRows())
        text += LineText(row) + "\n";
    std::string reason;
    if (!replace_file_contents(normalize_separators(path), text, reason))
        ShowAppMessageBox("Unable to save file \"" + path + "\"\n" + reason, "File Save Error",
                          kMbOk | kMbIconError);
}

// ---- moving ------------------------------------------------------------------------------------

void TfrmDisassembly::Redisassemble(uint32_t address)
{
    // Under the main window's error policy, with polling paused while the target is asked.
    TfrmMainWindow *main = MainWindow();
    auto fill = [this, address, main] {
        if (main)
            main->PausePolling();
        try {
            fillDisassemblyView(address, 1, m_adapter, gTargetRegisters.PC);
        } catch (...) {
            if (main)
                main->ResumePolling();
            throw;
        }
        if (main)
            main->ResumePolling();
    };
    if (main)
        main->RunCompileOperation(fill);
    else
        guarded(fill);
}

void TfrmDisassembly::ShowAddress(uint32_t address)
{
    const uint32_t target = addr_to_physical(address);
    bool first = true;
    for (int row = 0; row < LineCount(); ++row) {
        const std::optional<uint32_t> line = LineAddress(row);
        if (!line)
            continue;
        const uint32_t at = addr_to_physical(*line);
        const bool is_first = first;
        first = false;
        if (at < target)
            continue;
        if (is_first && target < at)
            break;
        MarkExecutionLine(Item(row).instruction, 0);
        return;
    }
    Redisassemble(address);
    MarkExecutionLine(0, 0);
}

void TfrmDisassembly::actMoveExecute()
{
    uint32_t address = 0;
    TAddressParseResult result;
    TfrmMoveToAddress dialog(this, address, result);
    if (options_shell().ExecModal(dialog) != QDialog::Accepted)
        return;
    ShowAddress(address);
}

void TfrmDisassembly::actMoveToExePointExecute()
{
    // Both forms with their leading zeros, so that any XPC and any root PC read back.
    const uint32_t pc = gTargetRegisters.PC;
    char text[16];
    if (addr_offset(pc) >= window_start())
        std::snprintf(text, sizeof text, "%02x:%04x", addr_xpc(pc), addr_offset(pc));
    else
        std::snprintf(text, sizeof text, "%04x", addr_offset(pc));
    uint32_t address = 0;
    TAddressParseResult parsed;
    ParseAddressText(text, address, true, parsed, true, true);
    if (parsed.kind != kAddressBad)
        ShowAddress(address);
}

// ---- closing ----------------------------------------------------------------------------------

void TfrmDisassembly::StopAssemblyReports()
{
    if (!MainWindow() || MainWindow()->DebugMode() == 0)
        return;
    try {
        debugger_operations().TcSetSendFlag(kAssemblyBit, false);
    } catch (...) {
        // The window goes whatever the target says.
    }
}

void TfrmDisassembly::FormHide()
{
    if (MainWindow())
        MainWindow()->SetAutoShow(DebugWindow::Disassembly, false);
}

void TfrmDisassembly::hideEvent(QHideEvent *event)
{
    TfrmDockable::hideEvent(event);
    if (!event->spontaneous())
        FormHide();
}

TfrmDockable::CloseAction TfrmDisassembly::FormClose()
{
    StopAssemblyReports();
    FormHide();
    return TfrmDockable::FormClose();
}

// ---- what the window shows --------------------------------------------------------------------

int TfrmDisassembly::LineCount() const { return static_cast<int>(m_model->items.size()); }

const TdasmListObject &TfrmDisassembly::Item(int row) const
{
    return m_model->items[static_cast<std::size_t>(row)];
}

std::string TfrmDisassembly::LineText(int row) const
{
    return FormatDasmItem(Item(row), m_layout);
}

void TfrmDisassembly::lbxDisassembledDrawItem(QPainter *painter, const QRect &rect, int row,
                                              bool selected) const
{
    if (row < 0 || row >= LineCount())
        return;
    const TdasmListObject &item = Item(row);
    const QPalette &palette = lbxDisassembled->palette();
    const bool highlight = IdePreferences().assembly.syntax_highlight;
    QColor background = palette.color(QPalette::Base);
    if (selected)
        background = palette.color(QPalette::Highlight);
    else if (row == m_execution_line)
        background = kExecutionBackground;
    painter->save();
    painter->fillRect(rect, background);
    painter->setFont(lbxDisassembled->font());
    const QColor text_colour =
        selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text);
    const int offset = -hcDisassembly->offset();

    if (row == m_execution_line) {
        const int w = m_mark_width;
        const int cy = rect.center().y();
        const int x = rect.left() + offset + 3;
        const QPoint arrow[3] = {QPoint(x, cy - 4), QPoint(x + w - 7, cy), QPoint(x, cy + 4)};
        painter->setPen(Qt::NoPen);
        painter->setBrush(kMarkColour);
        painter->drawPolygon(arrow, 3);
    }

    if (item.IsSource()) {
        if (!m_layout.show_source) {
            painter->restore();
            return;
        }
        int x = rect.left() + offset + m_mark_width + 2;
        const QFontMetrics metrics(painter->font());
        const QString label = QString::fromLatin1(item.source_label.c_str());
        const QRect all(x, rect.top(), std::max(0, rect.right() - x + 1), rect.height());
        painter->setPen(selected ? text_colour : kLabelColour);
        painter->drawText(all, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, label);
        x += metrics.horizontalAdvance(label);
        if (highlight && !selected) {
            std::vector<uint8_t> styles;
            uint8_t state = 0;
            style_korvex_line(item.source_text, state, styles);
            draw_styled(painter, rect, x, item.source_text, styles);
        } else {
            painter->setPen(text_colour);
            const QRect rest(x, rect.top(), std::max(0, rect.right() - x + 1), rect.height());
            painter->drawText(rest, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                              QString::fromLatin1(item.source_text.c_str()));
        }
        painter->restore();
        return;
    }

    for (std::size_t c = 0; c < kDasmColumnCount; ++c) {
        const DasmColumn column = static_cast<DasmColumn>(c);
        const int section = SectionOf(column);
        if (!m_layout.shown[c] || section < 0)
            continue;
        const QRect cell(rect.left() + hcDisassembly->sectionViewportPosition(section),
                         rect.top(), hcDisassembly->sectionSize(section), rect.height());
        painter->setClipRect(cell);
        const std::string &text = item.columns[c];
        if (column == DasmColumn::Opcode && highlight && !selected) {
            // The assembly text coloured as a line between "#asm" and "#endasm".
            std::vector<uint8_t> styles;
            uint8_t state = kLexInAsm;
            style_korvex_line(text, state, styles);
            draw_styled(painter, cell, cell.left(), text, styles);
        } else {
            painter->setPen(text_colour);
            painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                              QString::fromLatin1(text.c_str()));
        }
    }
    painter->restore();
}
