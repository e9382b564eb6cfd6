// frmKXMessages: the compiler messages window.
#include "frmKXMessages.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

#include "core/CC_ER.h"
#include "core/CC_MISC.h"
#include "editor/frmKXEditor.h"
#include "frmKXMain.h"
#include "guiHosts.h"
#include "guiListCopy.h"

QPointer<TfrmMessages> frmMessages;

namespace {

constexpr uint32_t kMsgMessageLine = 737;    // "line %4d : %-60s"
constexpr uint32_t kMsgNoInformation = 4014; // "No further information available."
// The form's own bounds, then the ones its constructor sets.
const QRect kFormBounds(379, 423, 753, 196);
const QRect kStartBounds(0, 0, 400, 200);
constexpr int kItemHeight = 16;

// Each line on one fixed-height row: the selected ones on red, the others on the window colour,
// the text from the row's top-left corner.
class MessageLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        painter->fillRect(option.rect, selected ? QColor(255, 0, 0)
                                                : option.palette.color(QPalette::Base));
        painter->setFont(option.font);
        painter->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                                 : option.palette.color(QPalette::Text));
        painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(kItemHeight);
        return size;
    }
};

// The message list's reset: the lines it gave the window are gone.
void forget_message_lines()
{
    if (frmMessages)
        frmMessages->Clear();
}

bool file_exists(const std::string &path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(normalize_separators(path), ec);
}

} // namespace

TfrmMessages::TfrmMessages(TfrmMainWindow *main, bool as_child, bool dockable)
    : TfrmDockable(main, QStringLiteral("frmMessages"), as_child, dockable, kFormBounds)
{
    SetCaption(QStringLiteral("Compiler Messages"));
    m_adapter.SetWindow(this);
    lbxMessages = new QListWidget(this);
    lbxMessages->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbxMessages->setUniformItemSizes(true);
    lbxMessages->setItemDelegate(new MessageLineDelegate(lbxMessages));
    lbxMessages->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(11);
    lbxMessages->setFont(font);
    lbxMessages->installEventFilter(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lbxMessages);

    const TListCopyActions copying = AddListCopyActions(
        this, lbxMessages, [this] { return actCopyUpdate(); }, [this] { actCopyExecute(); });
    actCopy = copying.copy;
    actCopyOldStyle = copying.copy_old_style;
    poMessages = copying.popup;
    connect(lbxMessages, &QListWidget::itemClicked, this,
            [this] { guarded([&] { GoToMessage(true); }); });
    connect(lbxMessages, &QListWidget::itemDoubleClicked, this,
            [this] { guarded([&] { GoToMessage(false); }); });
    connect(lbxMessages, &QListWidget::currentRowChanged, this,
            [this] { guarded([&] { ShowSelectedInEditor(); }); });

    if (Host())
        Host()->setGeometry(kStartBounds);
    frmMessages = this;
    set_message_list_reset_hook(&forget_message_lines);
}

TfrmMessages::~TfrmMessages()
{
    m_adapter.SetWindow(nullptr);
    if (frmMessages == this)
        set_message_list_reset_hook(nullptr);
}

std::string TfrmMessages::LineText(int line, const std::string &text)
{
    if (text.find("ERROR") == std::string::npos && text.find("WARNING") == std::string::npos)
        return text;
    return GetResString(kMsgMessageLine, line, text.c_str());
}

void TfrmMessages::Clear()
{
    const QSignalBlocker quiet(lbxMessages);
    lbxMessages->clear();
    m_infos.clear();
}

void TfrmMessages::Update()
{
    Clear();
    TrimMessageList();
    {
        const QSignalBlocker quiet(lbxMessages);
        for (const sError *record = gMessageList; record; record = record->next) {
            if (record->summary.empty())
                continue;
            TErrorInfo info;
            info.line = record->line;
            info.column = record->column;
            // "ERROR" stands for no file in a record.
            info.file = record->file == "ERROR" ? std::string() : record->file;
            if (record->detail != kNoFurtherInformation)
                info.detail = record->detail;
            m_infos.push_back(std::move(info));
            lbxMessages->addItem(
                QString::fromLocal8Bit(LineText(record->line, record->summary).c_str()));
        }
    }
    if (lbxMessages->count() == 0)
        return;
    lbxMessages->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    GoToMessage(true);
}

const TErrorInfo *TfrmMessages::Info(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_infos.size())
        return nullptr;
    return &m_infos[static_cast<std::size_t>(row)];
}

TfrmEdit *TfrmMessages::FindEditor(const std::string &file) const
{
    if (file.empty() || !MainWindow())
        return nullptr;
    return MainWindow()->FindEditor(file);
}

void TfrmMessages::ShowInEditor(TfrmEdit *editor, const TErrorInfo &info)
{
    editor->Editor()->setCursorPosition(info.line - 1, info.column - 1);
    editor->SetErrorLine(info.line - 1);
}

void TfrmMessages::ShowSelectedInEditor()
{
    const TErrorInfo *info = Info(lbxMessages->currentRow());
    if (!info || !lbxMessages->currentItem() || !lbxMessages->currentItem()->isSelected())
        return;
    if (TfrmEdit *editor = FindEditor(info->file))
        ShowInEditor(editor, *info);
}

void TfrmMessages::GoToMessage(bool keep_focus)
{
    const TErrorInfo *info = Info(lbxMessages->currentRow());
    if (!info)
        return;
    const TErrorInfo copy = *info; // opening a file may reset the list
    TfrmEdit *editor = FindEditor(copy.file);
    if (!editor && file_exists(copy.file) && MainWindow())
        editor = MainWindow()->OpenFile(copy.file);
    if (!editor)
        return;
    if (keep_focus) {
        BringToFront();
        lbxMessages->setFocus();
    } else {
        editor->show();
        if (MainWindow())
            MainWindow()->Workspace()->setActiveSubWindow(editor);
        editor->raise();
        editor->Editor()->setFocus();
    }
    ShowInEditor(editor, copy);
    editor->Editor()->ensureCursorVisible();
}

void TfrmMessages::PreviousMessage()
{
    const int row = lbxMessages->currentRow();
    if (row >= 1)
        lbxMessages->setCurrentRow(row - 1, QItemSelectionModel::ClearAndSelect);
}

void TfrmMessages::NextMessage()
{
    const int row = lbxMessages->currentRow();
    if (row < lbxMessages->count() - 1)
        lbxMessages->setCurrentRow(row + 1, QItemSelectionModel::ClearAndSelect);
}

void TfrmMessages::actCopyExecute()
{
    if (MainWindow())
        MainWindow()->CopyListSelectionToClipboard(lbxMessages);
}

bool TfrmMessages::actCopyUpdate() const { return !lbxMessages->selectedItems().isEmpty(); }

void TfrmMessages::lbxMessagesKeyDown(int key)
{
    if (key != Qt::Key_F1)
        return;
    const QListWidgetItem *item = lbxMessages->currentItem();
    const TErrorInfo *info = Info(lbxMessages->currentRow());
    if (!item || !item->isSelected() || !info)
        return;
    if (!info->detail.empty())
        ShowAppMessageBox(info->detail, "Information", kMbOk | kMbIconInformation);
    else
        ShowAppMessageBox(GetResString(kMsgNoInformation), "No Information",
                          kMbOk | kMbIconInformation);
}

TfrmDockable::CloseAction TfrmMessages::FormClose()
{
    if (MainWindow())
        MainWindow()->SetMessagesShown(false);
    const CloseAction action = TfrmDockable::FormClose();
    // A freed window is gone for everyone from here on, though its deletion waits for the
    // event loop.
    if (action == CloseAction::Free && frmMessages == this)
        frmMessages = nullptr;
    return action;
}

// The list would copy its current line itself on Ctrl+C: the copy keys go to the actions.
bool TfrmMessages::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != lbxMessages || event->type() != QEvent::KeyPress)
        return TfrmDockable::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const QKeySequence pressed(key->keyCombination());
    if (pressed == actCopy->shortcut() || pressed == actCopyOldStyle->shortcut()) {
        guarded([&] {
            if (actCopyUpdate())
                actCopyExecute();
        });
        return true;
    }
    if (key->key() == Qt::Key_F1) {
        guarded([&] { lbxMessagesKeyDown(Qt::Key_F1); });
        return true;
    }
    return TfrmDockable::eventFilter(watched, event);
}
