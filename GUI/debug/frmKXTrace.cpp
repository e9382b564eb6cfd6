// frmKXTrace: the trace window (see frmKXTrace.h).
#include "frmKXTrace.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include <algorithm>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/guiInterface.h"
#include "debug/guiDebugger.h"
#include "editor/frmKXEditor.h"
#include "FontRecord.h"
#include "settings/guiKXPreferences.h"
#include "shell/frmKXMain.h"
#include "shell/guiHosts.h"

QPointer<TfrmTrace> frmTrace;

namespace {

const QRect kFormBounds(0, 0, 200, 400);
constexpr int kSendTraceData = 6;

// Register block of an entry: where each register lies.
struct RegisterRow {
    const char *label;
    int offset;
};
constexpr RegisterRow kWordRegisters[] = {
    {"BC : ", 14}, {"DE : ", 16}, {"HL : ", 18}, {"AF': ", 4}, {"BC': ", 6}, {"DE': ", 8},
    {"HL': ", 10}, {"IX : ", 20}, {"IY : ", 22}, {"SP : ", 0},  {"PC : ", 25}, {"XPC: ", 2}};
constexpr int kBlockF = 12, kBlockA = 13;
constexpr const char *kFlagLabels[] = {"C: ", "x: ", "O: ", "x: ", "x: ", "x: ", "Z: ", "S: "};

// Each row cleared, then the text of each present column clipped to its header section.
class TraceRowDelegate : public QStyledItemDelegate {
public:
    explicit TraceRowDelegate(TfrmTrace *window) : QStyledItemDelegate(window), m_window(window) {}
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        painter->save();
        painter->fillRect(option.rect, option.palette.color(selected ? QPalette::Highlight
                                                                     : QPalette::Base));
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText
                                                      : QPalette::Text));
        painter->setFont(option.font);
        const auto &sections = m_window->Sections();
        for (int s = 0; s < int(sections.size()); ++s) {
            const int left = m_window->hcTrace->sectionViewportPosition(s);
            const int width = m_window->hcTrace->sectionSize(s);
            const QRect cell(option.rect.left() + left + 2, option.rect.top(), width - 4,
                             option.rect.height());
            painter->setClipRect(cell);
            painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                              QString::fromStdString(m_window->CellText(index.row(), sections[s])));
        }
        painter->setClipping(false);
        if (option.state & QStyle::State_HasFocus) {
            painter->setPen(QPen(option.palette.color(QPalette::Text), 1, Qt::DotLine));
            painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        }
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(QFontMetrics(option.font).height() + 2);
        return size;
    }

private:
    TfrmTrace *m_window;
};

std::string hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

} // namespace

TfrmTrace::TfrmTrace(TfrmMainWindow *main, bool as_child, bool dockable)
    : TfrmDockable(main, QStringLiteral("frmTrace"), as_child, dockable, kFormBounds)
{
    frmTrace = this;
    IdePreferences().trace_info_repeat = false;
    m_show_repeats = true;

    pnlInfo = named_control<QWidget>(this, "pnlInfo");
    hcTrace = new QHeaderView(Qt::Horizontal, pnlInfo);
    hcTrace->setObjectName(QStringLiteral("hcTrace"));
    hcTrace->setModel(new QStandardItemModel(0, 0, hcTrace));
    hcTrace->setSectionsMovable(false);
    hcTrace->setStretchLastSection(false);
    // One line of titles: the list below takes the height.
    hcTrace->setFixedHeight(hcTrace->fontMetrics().height() + 8);
    lbxTrace = named_control<QListWidget>(pnlInfo, "lbxTrace");
    lbxTrace->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbxTrace->setUniformItemSizes(true);
    lbxTrace->setItemDelegate(new TraceRowDelegate(this));
    auto *info = new QVBoxLayout(pnlInfo);
    info->setContentsMargins(0, 0, 0, 0);
    info->setSpacing(0);
    info->addWidget(hcTrace);
    info->addWidget(lbxTrace, 1);

    pnlRegisters = named_control<QWidget>(this, "pnlRegisters");
    splRegister = named_control<QSplitter>(pnlRegisters, "splRegister");
    splRegister->setOrientation(Qt::Vertical);
    lbxMainRegisters = named_control<QListWidget>(splRegister, "lbxMainRegisters");
    lbxFlags = named_control<QListWidget>(splRegister, "lbxFlags");
    splRegister->addWidget(lbxMainRegisters);
    splRegister->addWidget(lbxFlags);
    auto *registers = new QVBoxLayout(pnlRegisters);
    registers->setContentsMargins(0, 0, 0, 0);
    registers->addWidget(splRegister);
    splTrace = named_control<QSplitter>(this, "splTrace");
    splTrace->addWidget(pnlInfo);
    splTrace->addWidget(pnlRegisters);
    splTrace->setStretchFactor(0, 1);
    pnlRegisters->hide();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splTrace);

    const TraceWindowSettings &prefs = IdePreferences().trace;
    TFont font;
    ApplyFontRecord(font, prefs.font);
    for (QListWidget *list : {lbxTrace, lbxMainRegisters, lbxFlags}) {
        list->setFont(font.font);
        QPalette palette = list->palette();
        palette.setColor(QPalette::Base, colour_of(prefs.background_colour));
        palette.setColor(QPalette::Text, colour_of(font.colour));
        list->setPalette(palette);
    }

    auto add = [this](const char *caption, const char *hint, const QKeySequence &key,
                      auto execute) {
        auto *action = new QAction(QString::fromUtf8(caption), this);
        if (hint)
            action->setToolTip(QString::fromUtf8(hint));
        if (!key.isEmpty()) {
            action->setShortcut(key);
            action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        }
        addAction(action);
        connect(action, &QAction::triggered, this, [execute] { guarded(execute); });
        return action;
    };
    actEnableRepeats = add("Group repeated statements", nullptr, {}, [this] { actEnableRepeatsExecute(); });
    actShowRepeats = add("Show Repeat Count", "Show column of repeat counts", {},
                         [this] { actShowRepeatsExecute(); });
    actOpenSource = add("Open Source", nullptr, {}, [this] { actOpenSourceExecute(); });
    actWriteToFile = add("Save trace window to file", nullptr, {}, [this] { actWriteToFileExecute(); });
    actCopy = add("Copy selected traces", "Copy selected items", QKeySequence(Qt::CTRL | Qt::Key_C),
                  [this] { CopySelection(false); });
    actCopyWithHeader = add("Copy with header", "Include header with selected traces",
                            QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C),
                            [this] { CopySelection(true); });
    actAutoScroll = add("Auto Scroll", "Automatically scroll trace entries to bottom of window", {},
                        [this] { IdePreferences().trace.auto_scroll = actAutoScroll->isChecked(); });
    actFullPath = add("Full file pathname", "Show full file pathname", {}, [this] {
        IdePreferences().trace.full_path = actFullPath->isChecked();
        lbxTrace->viewport()->update();
    });
    for (QAction *a : {actEnableRepeats, actShowRepeats, actAutoScroll, actFullPath})
        a->setCheckable(true);
    puTrace = new QMenu(this);
    for (QAction *a : {actEnableRepeats, actShowRepeats, actOpenSource, actWriteToFile, actCopy,
                       actCopyWithHeader, actAutoScroll, actFullPath})
        puTrace->addAction(a);
    lbxTrace->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lbxTrace, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        UpdateActions();
        puTrace->popup(lbxTrace->viewport()->mapToGlobal(at));
    });
    connect(lbxTrace, &QListWidget::itemDoubleClicked, this,
            [this] { guarded([this] { actOpenSourceExecute(); }); });
    connect(lbxTrace, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            FillRegisterLists(row);
        UpdateActions();
    });
    connect(lbxTrace, &QListWidget::itemSelectionChanged, this, [this] { UpdateActions(); });
    connect(hcTrace, &QHeaderView::sectionResized, this,
            [this] { lbxTrace->viewport()->update(); });

    BuildSections();
    SetCaption(QString::fromStdString(
        std::string(gMainWindowInterface->GetCurrentSourceFile().c_str()) + " Trace"));
    trace_buf().Interface().window = this;

    FirstTimeTimer = new QTimer(this);
    FirstTimeTimer->setSingleShot(true);
    FirstTimeTimer->setInterval(1);
    connect(FirstTimeTimer, &QTimer::timeout, this, [this] { guarded([this] { FirstTimeTimerTimer(); }); });
    FirstTimeTimer->start();
    UpdateActions();
}

TfrmDockable *TfrmTrace::Make(TfrmMainWindow &main)
{
    const TraceWindowSettings &prefs = IdePreferences().trace;
    return new TfrmTrace(&main, prefs.child, prefs.dockable);
}

TfrmTrace::~TfrmTrace()
{
    if (trace_buf().Interface().window == this)
        trace_buf().Interface().window = nullptr;
    StoreWidths();
}

// ---- header --------------------------------------------------------------------------------------

const char *TfrmTrace::SectionTitle(Field field)
{
    switch (field) {
    case Field::Action:
        return "Action";
    case Field::Function:
        return "Function";
    case Field::File:
        return "File Name";
    case Field::LineCol:
        return "Line/Col";
    case Field::Time:
        return "Timestamp";
    case Field::Repeat:
        return "Repeat Count";
    }
    return "";
}

int32_t *TfrmTrace::WidthSetting(Field field)
{
    TraceWindowSettings &prefs = IdePreferences().trace;
    switch (field) {
    case Field::Action:
        return &prefs.hc_action_width;
    case Field::Function:
        return &prefs.hc_func_width;
    case Field::File:
        return &prefs.hc_file_width;
    case Field::LineCol:
        return &prefs.hc_rowcol_width;
    case Field::Time:
        return &prefs.hc_time_width;
    case Field::Repeat:
        return &prefs.hc_repeat_width;
    }
    return nullptr;
}

void TfrmTrace::StoreWidths()
{
    for (int s = 0; s < int(m_sections.size()); ++s)
        *WidthSetting(m_sections[std::size_t(s)]) = hcTrace->sectionSize(s);
}

// The store's columns that are on, then the repeat count while grouping and showing it.
void TfrmTrace::BuildSections()
{
    if (!m_sections.empty())
        StoreWidths();
    TQBTraceBuf &store = trace_buf();
    m_sections.clear();
    if (store.InfoAction())
        m_sections.push_back(Field::Action);
    if (store.InfoFunc())
        m_sections.push_back(Field::Function);
    if (store.InfoFile())
        m_sections.push_back(Field::File);
    if (store.InfoLineCol())
        m_sections.push_back(Field::LineCol);
    if (store.InfoTime())
        m_sections.push_back(Field::Time);
    m_repeat_section = store.InfoRepeat() && m_show_repeats;
    if (m_repeat_section)
        m_sections.push_back(Field::Repeat);
    auto *model = static_cast<QStandardItemModel *>(hcTrace->model());
    model->setColumnCount(int(m_sections.size()));
    for (int s = 0; s < int(m_sections.size()); ++s) {
        model->setHeaderData(s, Qt::Horizontal, QString::fromUtf8(SectionTitle(m_sections[std::size_t(s)])));
        hcTrace->resizeSection(s, std::max(*WidthSetting(m_sections[std::size_t(s)]), 8));
    }
    lbxTrace->viewport()->update();
}

// ---- rows ----------------------------------------------------------------------------------------

std::string TfrmTrace::CellText(int row, Field field)
{
    TQBTraceBuf &store = trace_buf();
    if (row < 0 || store.Count() == 0)
        return {};
    std::string function, file, line_col;
    switch (field) {
    case Field::Action:
        return store.GetTraceActionName(row);
    case Field::Function:
        store.ResolveTraceEntry(row, function, file, line_col);
        return function;
    case Field::File:
        store.ResolveTraceEntry(row, function, file, line_col);
        return file;
    case Field::LineCol:
        store.ResolveTraceEntry(row, function, file, line_col);
        std::replace(line_col.begin(), line_col.end(), ',', ':');
        return line_col;
    case Field::Time:
        store.UnpackTraceRecord(row);
        return std::to_string(store.Current().time);
    case Field::Repeat: {
        const std::string action = store.GetTraceActionName(row);
        store.ResolveTraceEntry(row, function, file, line_col);
        const uint32_t *further = store.TraceMapFind(action + function + file + ":" + line_col);
        return further ? std::to_string(*further) : std::string();
    }
    }
    return {};
}

void TfrmTrace::FillRegisterLists(int row)
{
    const int main_index = lbxMainRegisters->currentRow();
    const int flag_index = lbxFlags->currentRow();
    lbxMainRegisters->clear();
    lbxFlags->clear();
    TQBTraceBuf &store = trace_buf();
    if (row < 0 || store.Count() == 0)
        return;
    store.UnpackTraceRecord(row);
    const uint8_t *r = store.Current().regs;
    lbxMainRegisters->addItem(QString::fromStdString("A  : " + hex(r[kBlockA], 2)));
    for (const RegisterRow &reg : kWordRegisters)
        lbxMainRegisters->addItem(QString::fromStdString(
            reg.label + hex(unsigned(r[reg.offset] | r[reg.offset + 1] << 8), 4)));
    for (int bit = 0; bit < 8; ++bit)
        lbxFlags->addItem(QString::fromStdString(std::string(kFlagLabels[bit]) +
                                                 ((r[kBlockF] >> bit) & 1 ? "1" : "0")));
    lbxMainRegisters->setCurrentRow(std::min(main_index, lbxMainRegisters->count() - 1));
    lbxFlags->setCurrentRow(std::min(flag_index, lbxFlags->count() - 1));
}

void TfrmTrace::AddLine(const std::string &text)
{
    lbxTrace->addItem(QString::fromStdString(text));
    if (IdePreferences().trace.auto_scroll || lbxTrace->selectedItems().isEmpty()) {
        const int last = IdePreferences().trace.auto_scroll ? lbxTrace->count() - 1 : 0;
        lbxTrace->setCurrentRow(last, QItemSelectionModel::ClearAndSelect);
        lbxTrace->scrollToBottom();
        FillRegisterLists(last);
    }
    UpdateActions();
}

void TfrmTrace::ClearLists()
{
    lbxTrace->clear();
    lbxMainRegisters->clear();
    lbxFlags->clear();
    UpdateActions();
}

void TfrmTrace::BeginUpdate() { lbxTrace->setUpdatesEnabled(false); }
void TfrmTrace::EndUpdate()
{
    lbxTrace->setUpdatesEnabled(true);
    lbxTrace->viewport()->update();
}

void TfrmTrace::SetRegisterPanelVisible(bool visible) { pnlRegisters->setVisible(visible); }

void TfrmTrace::SetShowRepeats(bool on)
{
    m_show_repeats = on;
    BuildSections();
}

bool TfrmTrace::FullPath() const
{
    return m_force_full_path || IdePreferences().trace.full_path;
}

void TfrmTrace::SetBusyCursor(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TfrmTrace::FirstTimeTimerTimer()
{
    TQBTraceBuf &store = trace_buf();
    pnlRegisters->setVisible(store.RecordKind() >= 0 && store.RecordKind() <= 3 &&
                             store.Count() > 0);
    if (store.Count() == 0)
        return;
    store.RefreshTraceView();
    const int row = IdePreferences().trace.auto_scroll ? lbxTrace->count() - 1 : 0;
    lbxTrace->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    FillRegisterLists(row);
    lbxMainRegisters->setCurrentRow(0);
    lbxFlags->setCurrentRow(0);
}

// ---- actions -------------------------------------------------------------------------------------

void TfrmTrace::UpdateActions()
{
    TQBTraceBuf &store = trace_buf();
    // The store counts an entry only once its row is in: the rows decide.
    const bool lines = lbxTrace->count() > 0;
    const bool selection = lines && !lbxTrace->selectedItems().isEmpty();
    actEnableRepeats->setEnabled(lines);
    actEnableRepeats->setChecked(store.InfoRepeat());
    actShowRepeats->setEnabled(lines && store.InfoRepeat());
    actShowRepeats->setChecked(m_show_repeats);
    actOpenSource->setEnabled(selection);
    actWriteToFile->setEnabled(lines);
    actCopy->setEnabled(selection);
    actCopyWithHeader->setEnabled(selection);
    actAutoScroll->setChecked(IdePreferences().trace.auto_scroll);
    actFullPath->setEnabled(store.InfoFile());
    actFullPath->setChecked(IdePreferences().trace.full_path);
}

void TfrmTrace::actEnableRepeatsExecute()
{
    if (lbxTrace->count() == 0)
        return;
    IdePreferences().trace_info_repeat = !IdePreferences().trace_info_repeat;
    trace_buf().RefreshTraceView();
    BuildSections();
    UpdateActions();
}

void TfrmTrace::actShowRepeatsExecute()
{
    if (lbxTrace->count() == 0 || !IdePreferences().trace_info_repeat)
        return;
    m_show_repeats = !m_show_repeats;
    BuildSections();
    UpdateActions();
}

void TfrmTrace::actOpenSourceExecute()
{
    const int row = lbxTrace->currentRow();
    if (row < 0 || trace_buf().Count() == 0 || lbxTrace->selectedItems().isEmpty())
        return;
    std::string function, file, line_col;
    {
        const QScopedValueRollback<bool> full(m_force_full_path, true);
        trace_buf().ResolveTraceEntry(row, function, file, line_col);
    }
    int line = 0, column = 0;
    if (file.empty() || std::sscanf(line_col.c_str(), "%d,%d", &line, &column) < 1)
        return;
    TfrmMainWindow *main = MainWindow();
    if (!main)
        return;
    // Linux names are case-sensitive: only the very same path reuses an editor.
    TfrmEdit *editor = nullptr;
    for (TfrmEdit *e : main->Editors())
        if (e->FileName() == file) {
            editor = e;
            break;
        }
    std::error_code ec;
    if (!editor) {
        if (!std::filesystem::is_regular_file(file, ec))
            return;
        editor = main->OpenFile(file);
    }
    if (!editor)
        return;
    main->GetEditorForFile(file, 2);
    editor->Editor()->setCursorPosition(std::max(line - 1, 0), std::max(column - 1, 0));
}

std::string TfrmTrace::SelectionText(bool with_header)
{
    TQBTraceBuf &store = trace_buf();
    std::string text;
    if (with_header)
        text = store.FormatTraceHeader() + "\n";
    for (int row = 0; row < lbxTrace->count(); ++row)
        if (lbxTrace->item(row)->isSelected())
            text += store.FormatTraceLine(row) + "\n";
    return text;
}

void TfrmTrace::CopySelection(bool with_header)
{
    if (lbxTrace->selectedItems().isEmpty() || trace_buf().Count() == 0)
        return;
    QApplication::clipboard()->setText(QString::fromStdString(SelectionText(with_header)));
}

void TfrmTrace::actWriteToFileExecute()
{
    if (lbxTrace->count() == 0)
        return;
    TIdePreferences &prefs = IdePreferences();
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    request.must_exist = false;
    request.directory = prefs.trace_save_dir;
    request.file_name = prefs.trace_save_file;
    request.filter = prefs.trace_save_filter;
    std::unique_ptr<TFileDialog> dialog = make_file_dialog(request);
    if (!dialog || !dialog->Execute())
        return;
    const std::string file = dialog->FileName();
    prefs.trace_save_file = file;
    (void)trace_buf().WriteTraceToFile(file);
}

// ---- closing -------------------------------------------------------------------------------------

void TfrmTrace::SendFlagOff()
{
    TfrmMainWindow *main = MainWindow();
    if (!main || main->IsEditMode())
        return;
    // The target's error is shown; the window closes all the same.
    guarded([] { debugger_operations().TcSetSendFlag(kSendTraceData, false); });
}

TfrmDockable::CloseAction TfrmTrace::FormClose()
{
    SendFlagOff();
    if (TfrmMainWindow *main = MainWindow())
        main->SetAutoShow(DebugWindow::Trace, false);
    return TfrmDockable::FormClose();
}
