// frmKXGrepResults: the results window of Find in Files (see the header).
#include "frmKXGrepResults.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QMdiArea>
#include <QPainter>
#include <QStyledItemDelegate>
#include <Qsci/qsciscintilla.h>

#include "editor/frmKXEditor.h"
#include "shell/frmKXMain.h"
#include "shell/guiHosts.h"

namespace {

constexpr int kItemRole = Qt::UserRole + 1;

std::string expand(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\t')
            out += "   ";
        else if (c == '\0')
            out += ' ';
        else
            out += c;
    }
    return out;
}

// Draws a result as three runs on one baseline: the text before the match, the match in bold,
// the text after it.
class ResultDelegate : public QStyledItemDelegate {
public:
    explicit ResultDelegate(const TfrmGrepResults *window, QObject *parent)
        : QStyledItemDelegate(parent), m_window(window) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const bool selected = opt.state & QStyle::State_Selected;
        painter->save();
        painter->fillRect(opt.rect, opt.palette.color(selected ? QPalette::Highlight : QPalette::Base));
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QString text = index.data(Qt::DisplayRole).toString();
        const TgrepListItem *item = m_window->Item(index.row());
        QRect area = opt.rect.adjusted(2, 0, -2, 0);
        if (!item || item->start == 0) {
            painter->drawText(area, Qt::AlignVCenter | Qt::AlignLeft, text);
        } else {
            const int start = static_cast<int>(item->start) - 1;
            const QString runs[3] = {text.left(start), text.mid(start, static_cast<int>(item->length)),
                                     text.mid(start + static_cast<int>(item->length))};
            QFont normal = opt.font, bold = opt.font;
            bold.setBold(true);
            const int baseline = area.top() + (area.height() + QFontMetrics(normal).ascent() -
                                               QFontMetrics(normal).descent()) / 2;
            int x = area.left();
            for (int i = 0; i < 3; ++i) {
                const QFont &font = i == 1 ? bold : normal;
                painter->setFont(font);
                painter->drawText(QPoint(x, baseline), runs[i]);
                x += QFontMetrics(font).horizontalAdvance(runs[i]);
            }
        }
        if (opt.state & QStyle::State_HasFocus)
            painter->drawRect(opt.rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }

private:
    const TfrmGrepResults *m_window;
};

} // namespace

std::string grep_display_line(const std::string &file, uint32_t line, const std::string &before,
                              const std::string &match, const std::string &after,
                              TgrepListItem &item)
{
    std::string text = file + "(" + std::to_string(line) + "): " + expand(before);
    item.start = static_cast<uint32_t>(text.size()) + 1;
    const std::string shown = expand(match);
    item.length = static_cast<uint32_t>(shown.size());
    text += shown;
    text += expand(after);
    return text;
}

TfrmGrepResults::TfrmGrepResults(TfrmMainWindow *main) : m_main(main)
{
    setObjectName(QStringLiteral("frmGrepResults"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Search Results"));
    lbxResults = new QListWidget(this);
    lbxResults->setObjectName(QStringLiteral("lbxResults"));
    lbxResults->setUniformItemSizes(true);
    lbxResults->setItemDelegate(new ResultDelegate(this, lbxResults));
    setWidget(lbxResults);
    resize(640, 240);
    connect(lbxResults, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        guarded([&] { OpenResult(lbxResults->row(item), false); });
    });
    connect(lbxResults, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        guarded([&] { OpenResult(lbxResults->row(item), true); });
    });
}

TfrmGrepResults::~TfrmGrepResults() = default;

void TfrmGrepResults::AddResult(const std::string &text, const TgrepListItem &item)
{
    m_items.push_back(item);
    auto *entry = new QListWidgetItem(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    entry->setData(kItemRole, static_cast<int>(m_items.size() - 1));
    lbxResults->addItem(entry);
}

const TgrepListItem *TfrmGrepResults::Item(int row) const
{
    return row >= 0 && row < static_cast<int>(m_items.size()) ? &m_items[static_cast<std::size_t>(row)]
                                                               : nullptr;
}

int TfrmGrepResults::Count() const { return static_cast<int>(m_items.size()); }

void TfrmGrepResults::OpenResult(int row, bool double_click)
{
    const TgrepListItem *item = Item(row);
    if (!item || !m_main)
        return;
    const TgrepListItem chosen = *item; // opening a file may add windows and events
    TfrmEdit *editor = m_main->FindEditor(chosen.file);
    if (!editor) {
        if (!double_click)
            return;
        if (!QFileInfo(qpath(chosen.file)).isFile()) {
            ShowAppMessageBox("File not found: " + chosen.file, "Error", kMbOk | kMbIconError);
            return;
        }
        editor = m_main->OpenFile(chosen.file);
        if (!editor)
            return;
    }
    if (editor->isMinimized())
        editor->showNormal();
    if (QMdiArea *area = m_main->Workspace())
        area->setActiveSubWindow(editor);
    QsciScintilla *memo = editor->Editor();
    const int line = static_cast<int>(chosen.line) - 1;
    memo->setCursorPosition(line, std::max(0, static_cast<int>(chosen.column) - 1));
    editor->SetSearchMatchLine(line);
    const int visible = memo->SendScintilla(QsciScintilla::SCI_LINESONSCREEN);
    memo->setFirstVisibleLine(std::max(0, line - visible / 2));
    if (!double_click) {
        if (QMdiArea *area = m_main->Workspace())
            area->setActiveSubWindow(this);
    } else {
        memo->setFocus();
    }
}

void TfrmGrepResults::closeEvent(QCloseEvent *event)
{
    if (on_close) {
        auto stop = std::move(on_close);
        on_close = nullptr;
        stop();
    }
    QMdiSubWindow::closeEvent(event);
}
