// frmKXMemoryDump: a memory dump window (see frmKXMemoryDump.h).
#include "frmKXMemoryDump.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

#include "core/CC_ADDR.h"
#include "core/guiExceptions.h"
#include "debug/guiDebugger.h"
#include "debugger/ParseAddressText.h"
#include "FontRecord.h"
#include "shell/frmKXMain.h"
#include "shell/guiHosts.h"

namespace {

const QRect kFormBounds(0, 0, 600, 400);

// Process-wide, shared by every dump window: a request in progress, a scroll being handled.
bool g_request_done = true;
bool g_scrolling = false;

constexpr int kRoleAddress = Qt::UserRole;      // ADDR24 of the line (physical mode: physical)
constexpr int kRolePhysical = Qt::UserRole + 1; // physical address of its first byte
constexpr int kRoleWidth = Qt::UserRole + 2;    // characters of its address column

constexpr const char *kBadAddress =
    "Bad Address\nFormat should be either:\n[0x]nnnn\t(logical address) or\nmm:nnnn\t(xpc:offset "
    "physical address) or\n[0x]nnnnn (physical address)";
constexpr const char *kNeedsXpc = "Logical addresses above 0xe000 require an XPC value (mm:nnnn).";

int dump_window_count = 0;

// Each line on one row in the window's font; with change highlighting, the value groups that
// hold a changed byte again with the text and background colours exchanged.
class DumpLineDelegate : public QStyledItemDelegate {
public:
    explicit DumpLineDelegate(TfrmMemoryDump *window)
        : QStyledItemDelegate(window), m_window(window)
    {
    }
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QColor back = selected ? option.palette.color(QPalette::Highlight)
                                     : option.palette.color(QPalette::Base);
        const QColor fore = selected ? option.palette.color(QPalette::HighlightedText)
                                     : option.palette.color(QPalette::Text);
        painter->save();
        painter->fillRect(option.rect, back);
        painter->setFont(option.font);
        painter->setPen(fore);
        const QString text = index.data(Qt::DisplayRole).toString();
        painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          text);
        const int width = index.data(kRoleWidth).toInt();
        const int value_width = m_window->ValueWidth();
        const QFontMetrics metrics(option.font);
        for (int g = 0; g < dump_group_count(value_width); ++g) {
            if (!m_window->GroupChanged(index.row(), g))
                continue;
            const int column = dump_group_column(width, value_width, g);
            const QString group = text.mid(column, dump_group_digits(value_width));
            const int left = option.rect.left() + metrics.horizontalAdvance(text.left(column));
            const QRect cell(left, option.rect.top(), metrics.horizontalAdvance(group),
                             option.rect.height());
            painter->fillRect(cell, fore);
            painter->setPen(back);
            painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, group);
            painter->setPen(fore);
        }
        if (option.state & QStyle::State_HasFocus) {
            painter->setPen(QPen(fore, 1, Qt::DotLine));
            painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        }
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(QFontMetrics(option.font).height());
        return size;
    }

private:
    TfrmMemoryDump *m_window;
};

DumpMode mode_of(uint8_t physical, uint8_t xpc_offset)
{
    return physical ? DumpMode::Physical : xpc_offset ? DumpMode::XpcOffset : DumpMode::Logical;
}

} // namespace

bool TfrmMemoryDump::RequestDone() { return g_request_done; }

TfrmMemoryDump::TfrmMemoryDump(TfrmMainWindow *main, uint8_t physical, uint8_t xpc_offset,
                               uint8_t data_space)
    : TfrmDockable(main, QStringLiteral("frmMemoryDump%1").arg(++dump_window_count),
                   IdePreferences().memory_dump.child, IdePreferences().memory_dump.dockable,
                   kFormBounds),
      m_data_space(data_space)
{
    const DumpWindowSettings &prefs = IdePreferences().memory_dump;
    m_adapter.SetWindow(this);
    m_layout.mode = mode_of(physical, xpc_offset);
    m_layout.range = prefs.range;
    if (main) {
        const uint32_t start = main->GetDumpAddress();
        m_layout.xpc = addr_xpc(start);
        m_layout.page_base = addr_offset(start) & 0xF000;
    }
    m_updateable = prefs.allow_updates;
    m_show_address_in_hint = prefs.display_flags[kDumpShowAddressInHint];
    m_show_byte_in_hint = prefs.display_flags[kDumpShowByteInHint];
    m_show_byte_in_caption = prefs.display_flags[kDumpShowByteInCaption];
    m_show_tool_bar = prefs.display_flags[kDumpShowToolBar];

    tbMemoryDump = named_control<QToolBar>(this, "tbMemoryDump");
    cboDumpAddress = named_control<QComboBox>(this, "cboDumpAddress");
    cboDumpAddress->setEditable(true);
    cboDumpAddress->setInsertPolicy(QComboBox::NoInsert);
    cboDumpAddress->setMinimumWidth(120);
    lbxMemoryDump = named_control<QListWidget>(this, "lbxMemoryDump");
    lbxMemoryDump->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbxMemoryDump->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lbxMemoryDump->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lbxMemoryDump->setUniformItemSizes(true);
    lbxMemoryDump->setItemDelegate(new DumpLineDelegate(this));
    lbxMemoryDump->setMouseTracking(true);
    lbxMemoryDump->viewport()->setMouseTracking(true);
    lbxMemoryDump->installEventFilter(this);
    lbxMemoryDump->viewport()->installEventFilter(this);
    sbMemoryDump = named_control<QScrollBar>(this, "sbMemoryDump");
    sbMemoryDump->setOrientation(Qt::Vertical);
    btnPrevXPC = named_control<QToolButton>(this, "btnPrevXPC");
    btnNextXPC = named_control<QToolButton>(this, "btnNextXPC");
    m_address_hint = named_control<QLabel>(this, "AddressHint");
    m_value_hint = named_control<QLabel>(this, "ValueHint");
    for (QLabel *hint : {m_address_hint, m_value_hint}) {
        hint->setAutoFillBackground(true);
        hint->setFrameShape(QFrame::Box);
        hint->setPalette(QPalette(QColor(255, 255, 225)));
        hint->hide();
    }

    TFont font;
    ApplyFontRecord(font, prefs.font);
    lbxMemoryDump->setFont(font.font);
    QPalette palette = lbxMemoryDump->palette();
    palette.setColor(QPalette::Base, colour_of(prefs.background_colour));
    palette.setColor(QPalette::Text, colour_of(font.colour));
    lbxMemoryDump->setPalette(palette);

    BuildActions();

    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(btnPrevXPC);
    column->addWidget(sbMemoryDump, 1);
    column->addWidget(btnNextXPC);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(lbxMemoryDump, 1);
    row->addLayout(column);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tbMemoryDump);
    layout->addLayout(row, 1);

    connect(sbMemoryDump, &QScrollBar::valueChanged, this, [this](int) {
        if (m_setting_scroll)
            return;
        if (sbMemoryDump->isSliderDown()) {
            ShowAddressHint();
            return;
        }
        ShowAddressHint();
        ScrollEnded();
    });
    connect(sbMemoryDump, &QScrollBar::sliderReleased, this, [this] { ScrollEnded(); });
    connect(cboDumpAddress->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        actDoMemoryDumpExecute();
        cboDumpAddress->lineEdit()->selectAll();
        lbxMemoryDump->setFocus();
    });

    SetCaption(QString::fromStdString(m_caption_base));
    SetRowLimit();
    LayoutControls();
}

TfrmDockable *TfrmMemoryDump::Make(TfrmMainWindow &main)
{
    auto *window = new TfrmMemoryDump(&main, main.GetDumpPhysical(), main.GetDumpXpcOffset(),
                                      main.GetDumpDataSpace());
    main.SetCurrentDumpWindow(window);
    main.AddDumpWindow(window);
    return window;
}

TGuiInterface *TfrmMemoryDump::AdapterOf(TfrmDockable &window)
{
    auto *dump = qobject_cast<TfrmMemoryDump *>(&window);
    return dump ? dump->Adapter() : nullptr;
}

TfrmDockable *TfrmMemoryDump::Current(TfrmMainWindow &main) { return main.CurrentDumpWindow(); }

TfrmMemoryDump::~TfrmMemoryDump()
{
    if (TfrmMainWindow *main = MainWindow())
        main->RemoveDumpWindow(this);
}

// ---- actions -----------------------------------------------------------------------------------

void TfrmMemoryDump::BuildActions()
{
    puMemoryDump = new QMenu(this);
    auto add = [this](const char *caption, const QKeySequence &key, auto execute) {
        auto *action = new QAction(QString::fromUtf8(caption), this);
        if (!key.isEmpty()) {
            action->setShortcut(key);
            action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        }
        addAction(action);
        connect(action, &QAction::triggered, this, [this, execute] { guarded(execute); });
        return action;
    };
    auto toggle = [](QAction *action, bool on) {
        action->setCheckable(true);
        action->setChecked(on);
    };
    actUpdateable = add("Updateable", {}, [this] { m_updateable = actUpdateable->isChecked(); });
    toggle(actUpdateable, m_updateable);
    actShowDumpMenu = add("Show tool bar", {}, [this] {
        m_show_tool_bar = actShowDumpMenu->isChecked();
        if (m_started)
            ReRequest();
        LayoutControls();
    });
    toggle(actShowDumpMenu, m_show_tool_bar);
    actShowAddressInHint = add("Show Address While Scrolling", {}, [this] {
        m_show_address_in_hint = actShowAddressInHint->isChecked();
        m_address_hint->hide();
    });
    toggle(actShowAddressInHint, m_show_address_in_hint);
    actShowByteInHint = add("Show Byte As Mouse Moves in Flyover Hint", {}, [this] {
        m_show_byte_in_hint = actShowByteInHint->isChecked();
        m_value_hint->hide();
    });
    toggle(actShowByteInHint, m_show_byte_in_hint);
    actShowByteInCaption = add("Show Byte As Mouse Moves in Window Title Bar", {}, [this] {
        m_show_byte_in_caption = actShowByteInCaption->isChecked();
        SetCaption(QString::fromStdString(m_caption_base));
    });
    toggle(actShowByteInCaption, m_show_byte_in_caption);
    actUpdate = add("&Update", {}, [this] {
        actUpdate->setEnabled(false);
        struct Enable {
            QAction *a;
            ~Enable() { a->setEnabled(true); }
        } enable{actUpdate};
        ReRequest();
        LayoutControls();
    });
    actUpdate->setToolTip(QStringLiteral("Update dump region"));
    actDumpAtAddress = add("Dump At Address", {}, [this] {
        m_show_tool_bar = true;
        LayoutControls();
        cboDumpAddress->setFocus();
        cboDumpAddress->lineEdit()->selectAll();
    });
    actDoMemoryDump = add("Dump", {}, [this] { actDoMemoryDumpExecute(); });
    actCopy = add("Copy", QKeySequence(Qt::CTRL | Qt::Key_C),
                  [this] { MainWindow()->CopyListSelectionToClipboard(lbxMemoryDump); });
    actCopyOldStyle = add("Copy", QKeySequence(Qt::CTRL | Qt::Key_Insert),
                          [this] { MainWindow()->CopyListSelectionToClipboard(lbxMemoryDump); });
    actSaveToFile = add("Save Selection to File", {}, [this] {
        FileDialogRequest request;
        request.kind = FileDialogRequest::Kind::Save;
        request.must_exist = false;
        request.filter = "Text (*.txt)|*.txt|All (*.*)|*.*|";
        std::unique_ptr<TFileDialog> dialog = make_file_dialog(request);
        (void)MainWindow()->SaveListSelectionToFile(*dialog, lbxMemoryDump);
    });
    actNextXPC = add("+", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_N), [this] { ChangeXpc(1); });
    actNextXPC->setToolTip(QStringLiteral("Increment XPC Value"));
    actPrevXPC = add("-", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_P), [this] { ChangeXpc(-1); });
    actPrevXPC->setToolTip(QStringLiteral("Decrement XPC Value"));
    actShowAsBytes = add("Show as bytes", {}, [this] { SetValueWidth(0); });
    actShowAsWords = add("Show as words", {}, [this] { SetValueWidth(1); });
    actShowAsDwords = add("Show as double words", {}, [this] { SetValueWidth(2); });
    for (QAction *a : {actShowAsBytes, actShowAsWords, actShowAsDwords})
        a->setCheckable(true);
    actDiffEnable = add("Enable dump window change highlights", {}, [this] {
        IdePreferences().memory_dump.enable_diffs = actDiffEnable->isChecked();
        if (m_started)
            ReRequest();
    });
    toggle(actDiffEnable, ChangeHighlight());
    btnPrevXPC->setDefaultAction(actPrevXPC);
    btnNextXPC->setDefaultAction(actNextXPC);

    tbMemoryDump->addWidget(cboDumpAddress);
    tbMemoryDump->addAction(actDoMemoryDump);
    tbMemoryDump->addAction(actUpdate);

    for (QAction *a : {actUpdateable, actShowDumpMenu, actShowAddressInHint, actShowByteInHint,
                       actShowByteInCaption, actUpdate, actDumpAtAddress})
        puMemoryDump->addAction(a);
    puMemoryDump->addSeparator();
    for (QAction *a : {actCopy, actSaveToFile, actNextXPC, actPrevXPC})
        puMemoryDump->addAction(a);
    lbxMemoryDump->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lbxMemoryDump, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        UpdateActions();
        puMemoryDump->popup(lbxMemoryDump->viewport()->mapToGlobal(at));
    });
    connect(lbxMemoryDump, &QListWidget::itemSelectionChanged, this, [this] { UpdateActions(); });
    UpdateActions();
}

void TfrmMemoryDump::UpdateActions()
{
    const bool selection = !lbxMemoryDump->selectedItems().isEmpty();
    actCopy->setEnabled(selection);
    actCopyOldStyle->setEnabled(selection);
    actSaveToFile->setEnabled(selection);
    const int width = ValueWidth();
    actShowAsBytes->setChecked(width == 0);
    actShowAsWords->setChecked(width == 1);
    actShowAsDwords->setChecked(width == 2);
}

bool TfrmMemoryDump::ChangeHighlight() const { return IdePreferences().memory_dump.enable_diffs; }
int TfrmMemoryDump::ValueWidth() const
{
    const int32_t format = IdePreferences().memory_dump.format;
    return format >= 0 && format <= 2 ? int(format) : 0;
}

void TfrmMemoryDump::SetValueWidth(int width)
{
    IdePreferences().memory_dump.format = width;
    UpdateActions();
    if (m_started)
        ReRequest();
}

bool TfrmMemoryDump::GroupChanged(int line, int group) const
{
    if (!ChangeHighlight() || m_adapter.changed.empty())
        return false;
    const QListWidgetItem *item = lbxMemoryDump->item(line);
    if (!item)
        return false;
    const int bytes = dump_group_bytes(ValueWidth());
    const uint32_t first = item->data(kRolePhysical).toUInt() + uint32_t(group * bytes);
    for (int i = 0; i < bytes; ++i)
        if (m_adapter.changed.count((first + uint32_t(i)) & kPhysicalMask))
            return true;
    return false;
}

// ---- lines and requests ------------------------------------------------------------------------

int TfrmMemoryDump::VisibleRows() const
{
    const int height = QFontMetrics(lbxMemoryDump->font()).height();
    return height > 0 ? lbxMemoryDump->viewport()->height() / height : 0;
}

int TfrmMemoryDump::BlockCountForView() const
{
    constexpr int kRowsPerBlock = kDumpBlockBytes / kDumpRowBytes;
    return (VisibleRows() + kRowsPerBlock - 1) / kRowsPerBlock;
}

// A line's row follows from its address and the mode. Rows at or past the limit are dropped.
// The first line since clearing fixes the first row; a line is kept only from that row on and
// while it fits the visible rows.
void TfrmMemoryDump::AddDumpLine(const std::string &line)
{
    const std::optional<DumpLineAddress> address = parse_dump_line_address(line);
    if (!address)
        return;
    const int64_t row = dump_row_of(m_layout, *address);
    if (row < 0 || row >= RowLimit())
        return;
    if (m_first_row < 0)
        m_first_row = row;
    m_last_row = row;
    if (row < m_first_row || row - m_first_row >= VisibleRows())
        return;
    auto *item = new QListWidgetItem(QString::fromStdString(line));
    item->setData(kRoleAddress, address->address);
    item->setData(kRolePhysical, address->physical);
    item->setData(kRoleWidth, address->column_width);
    lbxMemoryDump->addItem(item);
}

void TfrmMemoryDump::ClearLines()
{
    lbxMemoryDump->clear();
    m_first_row = -1;
    m_last_row = -1;
    UpdateActions();
}

void TfrmMemoryDump::ResetView()
{
    if (lbxMemoryDump->count() > 0)
        lbxMemoryDump->scrollToItem(lbxMemoryDump->item(0), QAbstractItemView::PositionAtTop);
    if (m_first_row >= 0)
        SetScrollRow(m_first_row);
    m_address_hint->hide();
}

void TfrmMemoryDump::SetScrollRow(int64_t row)
{
    const QScopedValueRollback<bool> setting(m_setting_scroll, true);
    sbMemoryDump->setValue(int(std::clamp<int64_t>(row, 0, RowLimit() - 1)));
}

void TfrmMemoryDump::RequestDumpPage(bool change_marking)
{
    // The flag comes back however the request ends: after a target error every dump window
    // must still close and resize.
    g_request_done = false;
    struct Done {
        ~Done() { g_request_done = true; }
    } done;
    TfrmMainWindow *main = MainWindow();
    if (!main)
        return;
    const int64_t row = sbMemoryDump->value();
    const uint32_t address = dump_address_of_row(m_layout, row);
    const bool physical = m_layout.mode == DumpMode::Physical;
    const uint32_t start = physical ? physical_to_addr(address) : address;
    main->SetDumpAddress(start);
    main->SetDumpXpcOffset(m_layout.mode == DumpMode::XpcOffset);
    main->SetDumpPhysical(physical);
    main->SetDumpDataSpace(m_data_space);
    main->SetCurrentDumpWindow(this);
    debugger_operations().fillMemoryDump(dump_physical_of_row(m_layout, row), BlockCountForView(),
                                         change_marking);
    main->SetDumpAddress(start);
}

void TfrmMemoryDump::ReRequest(bool change_marking)
{
    ClearLines();
    struct Reset {
        TfrmMemoryDump *w;
        ~Reset() { w->ResetView(); }
    } reset{this};
    RequestDumpPage(change_marking);
}

void TfrmMemoryDump::Guard(const std::function<void()> &work)
{
    if (TfrmMainWindow *main = MainWindow())
        main->RunCompileOperation(work);
    else
        guarded(work);
}

void TfrmMemoryDump::SetDumpAddress(const std::string &text)
{
    cboDumpAddress->setEditText(QString::fromStdString(text));
}

void TfrmMemoryDump::SetRowLimit()
{
    const QScopedValueRollback<bool> setting(m_setting_scroll, true);
    sbMemoryDump->setRange(0, int(RowLimit() - 1));
    sbMemoryDump->setSingleStep(1);
    sbMemoryDump->setPageStep(std::max(VisibleRows(), 1));
}

void TfrmMemoryDump::LayoutControls()
{
    tbMemoryDump->setVisible(m_show_tool_bar);
    const bool xpc_buttons = m_layout.mode == DumpMode::XpcOffset && m_layout.range <= 1;
    btnPrevXPC->setVisible(xpc_buttons);
    btnNextXPC->setVisible(xpc_buttons);
    actNextXPC->setEnabled(xpc_buttons);
    actPrevXPC->setEnabled(xpc_buttons);
    SetRowLimit();
}

void TfrmMemoryDump::actDoMemoryDumpExecute()
{
    const std::string text = cboDumpAddress->currentText().toStdString();
    uint32_t address = 0;
    TAddressParseResult result;
    ParseAddressText(text, address, true, result, true, true);
    if (result.kind == kAddressBad || result.kind == kAddressHighLogical) {
        ShowAppMessageBox(result.kind == kAddressBad ? kBadAddress : kNeedsXpc, "Error",
                          kMbOk | kMbIconExclamation);
        cboDumpAddress->setFocus();
        return;
    }
    if (!m_show_tool_bar)
        tbMemoryDump->hide();
    const uint32_t start = make_addr(addr_xpc(address), addr_offset(address) & 0xFFF0);
    m_layout.mode = result.kind == kAddressPhysical   ? DumpMode::Physical
                    : result.kind == kAddressXpcOffset ? DumpMode::XpcOffset
                                                       : DumpMode::Logical;
    m_layout.xpc = addr_xpc(start);
    m_layout.page_base = addr_offset(start) & 0xF000;
    m_started = true;
    SetRowLimit();
    DumpLineAddress placed;
    placed.address = start;
    placed.physical = addr_to_physical(start);
    SetScrollRow(dump_row_of(m_layout, placed));
    if (TfrmMainWindow *main = MainWindow()) {
        main->AddDumpWindow(this);
        main->SetCurrentDumpWindow(this);
    }
    Guard([this] { ReRequest(); });
    LayoutControls();
}

void TfrmMemoryDump::DumpShown(const std::string &address_text)
{
    SetCaption(QString::fromStdString(m_caption_base + address_text));
    SetDumpAddress(address_text);
    m_started = true;
    ResetView();
    LayoutControls();
}

void TfrmMemoryDump::ChangeXpc(int delta)
{
    if (m_layout.mode != DumpMode::XpcOffset || m_layout.range > 1)
        return;
    m_layout.xpc = uint8_t(m_layout.xpc + delta);
    Guard([this] { ReRequest(); });
}

void TfrmMemoryDump::SetTextColor(TColor colour)
{
    QPalette palette = lbxMemoryDump->palette();
    palette.setColor(QPalette::Text, colour_of(colour));
    lbxMemoryDump->setPalette(palette);
    lbxMemoryDump->viewport()->update();
}

void TfrmMemoryDump::SetBackgroundColor(TColor colour)
{
    QPalette palette = lbxMemoryDump->palette();
    palette.setColor(QPalette::Base, colour_of(colour));
    lbxMemoryDump->setPalette(palette);
    lbxMemoryDump->viewport()->update();
}

// A font of another height shows another number of rows: they are read again.
void TfrmMemoryDump::SetDumpFont(const QFont &font)
{
    if (lbxMemoryDump->font() == font)
        return;
    lbxMemoryDump->setFont(font);
    lbxMemoryDump->viewport()->update();
    if (m_started)
        Guard([this] { ReRequest(); });
}

void TfrmMemoryDump::ApplyOptions(const DumpWindowSettings &options)
{
    TFont font;
    ApplyFontRecord(font, options.font);
    lbxMemoryDump->setFont(font.font);
    QPalette palette = lbxMemoryDump->palette();
    palette.setColor(QPalette::Base, colour_of(options.background_colour));
    palette.setColor(QPalette::Text, colour_of(font.colour));
    lbxMemoryDump->setPalette(palette);
    m_updateable = options.allow_updates;
    m_show_byte_in_hint = options.display_flags[kDumpShowByteInHint];
    m_show_address_in_hint = options.display_flags[kDumpShowAddressInHint];
    m_show_byte_in_caption = options.display_flags[kDumpShowByteInCaption];
    m_show_tool_bar = options.display_flags[kDumpShowToolBar];
    actUpdateable->setChecked(m_updateable);
    actShowByteInHint->setChecked(m_show_byte_in_hint);
    actShowAddressInHint->setChecked(m_show_address_in_hint);
    actShowByteInCaption->setChecked(m_show_byte_in_caption);
    actShowDumpMenu->setChecked(m_show_tool_bar);
    const int range = std::clamp<int>(options.range, 0, 2);
    if (m_layout.mode == DumpMode::XpcOffset && range != m_layout.range) {
        // The rows of a smaller range are read at the same place of the page or space.
        int64_t row = sbMemoryDump->value();
        if (range == 0)
            row %= 256;
        else if (range == 1 && m_layout.range == 2)
            row %= 4096;
        m_layout.range = range;
        SetRowLimit();
        SetScrollRow(row);
    } else {
        m_layout.range = range;
    }
    LayoutControls();
    if (m_started)
        Guard([this] { ReRequest(); });
}

// ---- scrolling, keys, hints ----------------------------------------------------------------------

void TfrmMemoryDump::ScrollEnded()
{
    if (g_scrolling)
        return;
    const QScopedValueRollback<bool> scrolling(g_scrolling, true);
    m_address_hint->hide();
    if (m_started)
        Guard([this] { ReRequest(); });
}

void TfrmMemoryDump::ScrollRows(int64_t delta)
{
    if (g_scrolling)
        return;
    SetScrollRow(sbMemoryDump->value() + delta);
    ShowAddressHint();
    ScrollEnded();
    lbxMemoryDump->setFocus();
}

void TfrmMemoryDump::ShowAddressHint()
{
    if (!m_show_address_in_hint || !m_started)
        return;
    const uint32_t address = dump_address_of_row(m_layout, sbMemoryDump->value());
    m_address_hint->setText(QString::fromStdString(dump_address_text(m_layout.mode, address)));
    m_address_hint->adjustSize();
    const QPoint at = sbMemoryDump->geometry().topLeft();
    m_address_hint->move(std::max(0, at.x() - m_address_hint->width() - 2), at.y() + 2);
    m_address_hint->raise();
    m_address_hint->show();
}

std::string TfrmMemoryDump::ValueHintAt(const QPoint &position) const
{
    const QListWidgetItem *item = lbxMemoryDump->itemAt(position);
    if (!item)
        return {};
    const QString text = item->text();
    const int width = item->data(kRoleWidth).toInt();
    const QFontMetrics metrics(lbxMemoryDump->font());
    const int x = position.x() + lbxMemoryDump->horizontalScrollBar()->value();
    int column = 0;
    while (column < text.size() && metrics.horizontalAdvance(text.left(column + 1)) <= x)
        ++column;
    const int value_width = ValueWidth();
    const std::optional<int> group = dump_group_at(width, value_width, column);
    if (!group)
        return {};
    const int start = dump_group_column(width, value_width, *group);
    const uint32_t offset = uint32_t(*group * dump_group_bytes(value_width));
    const uint32_t line_address = item->data(kRoleAddress).toUInt();
    const uint32_t address = m_layout.mode == DumpMode::Physical
                                 ? (line_address + offset) & kPhysicalMask
                                 : make_addr(addr_xpc(line_address),
                                             uint16_t(addr_offset(line_address) + offset));
    return dump_address_text(m_layout.mode, address) + " : " +
           text.mid(start, dump_group_digits(value_width)).toStdString();
}

void TfrmMemoryDump::ShowValueHint(const QPoint &position)
{
    const std::string hint = ValueHintAt(position);
    if (hint.empty()) {
        HideValueHint();
        return;
    }
    if (m_show_byte_in_hint) {
        m_value_hint->setText(QString::fromStdString(hint));
        m_value_hint->adjustSize();
        const QPoint at = lbxMemoryDump->viewport()->mapTo(this, position) + QPoint(12, 12);
        m_value_hint->move(std::min(at.x(), std::max(0, width() - m_value_hint->width())),
                           std::min(at.y(), std::max(0, height() - m_value_hint->height())));
        m_value_hint->raise();
        m_value_hint->show();
    }
    if (m_show_byte_in_caption)
        SetCaption(QString::fromStdString(m_caption_base + hint));
}

void TfrmMemoryDump::HideValueHint() { m_value_hint->hide(); }

void TfrmMemoryDump::TrimToVisibleRows(int rows)
{
    while (lbxMemoryDump->count() > std::max(rows, 0))
        delete lbxMemoryDump->takeItem(lbxMemoryDump->count() - 1);
}

bool TfrmMemoryDump::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lbxMemoryDump && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool keypad = key->modifiers() & Qt::KeypadModifier;
        switch (key->key()) {
        case Qt::Key_Down:
            ScrollRows(1);
            return true;
        case Qt::Key_Up:
            ScrollRows(-1);
            return true;
        case Qt::Key_PageDown:
            ScrollRows(VisibleRows());
            return true;
        case Qt::Key_PageUp:
            ScrollRows(-VisibleRows());
            return true;
        case Qt::Key_Plus:
            if (keypad) {
                ChangeXpc(1);
                lbxMemoryDump->setFocus();
                return true;
            }
            break;
        case Qt::Key_Minus:
            if (keypad) {
                ChangeXpc(-1);
                lbxMemoryDump->setFocus();
                return true;
            }
            break;
        default:
            break;
        }
    }
    if (watched == lbxMemoryDump->viewport()) {
        switch (event->type()) {
        case QEvent::MouseMove:
            ShowValueHint(static_cast<QMouseEvent *>(event)->position().toPoint());
            break;
        case QEvent::Leave:
            HideValueHint();
            break;
        case QEvent::Resize:
            if (isVisible() && g_request_done) {
                const int rows = VisibleRows();
                TrimToVisibleRows(rows);
                SetRowLimit();
                if (m_started && lbxMemoryDump->count() < rows)
                    Guard([this] { ReRequest(); });
            }
            break;
        default:
            break;
        }
    }
    return TfrmDockable::eventFilter(watched, event);
}

// ---- closing -----------------------------------------------------------------------------------

bool TfrmMemoryDump::FormCloseQuery() { return g_request_done; }

TfrmDockable::CloseAction TfrmMemoryDump::FormClose()
{
    if (TfrmMainWindow *main = MainWindow())
        main->RemoveDumpWindow(this);
    return TfrmDockable::FormClose();
}
