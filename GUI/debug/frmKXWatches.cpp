// frmKXWatches: the watches window over the watch list.
#include "frmKXWatches.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

#include "shell/frmKXMain.h"
#include "guiDebugger.h"
#include "settings/guiEnvironment.h"
#include "core/guiExceptions.h"
#include "shell/guiHosts.h"
#include "settings/guiKXPreferences.h"
#include "link/DB_GO.h"
#include "link/TC.h"
#include "FontRecord.h"
#include "driver/CC_FIOZ8.h"

QPointer<TfrmWatches> frmWatches;

namespace {

const QRect kFormBounds(0, 0, 400, 200);
constexpr const char *kWatchLimitText =
    "Cannot add any more watches.\nRemove a watch, or increase the number of watches supported "
    "in the debugger options";

bool is_blank(const std::string &text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

// The program's main source, whose ".DBG" file keeps the watches; none before a compile.
std::string main_source() { return compile_source_path(); }

}  // namespace

void ShowWatchLimitMessage()
{
    ShowAppMessageBox(kWatchLimitText, GetResString(kMsgErrorCaption), kMbOk | kMbIconError);
}

void UpdateExpressionHistory(std::vector<std::string> &history, const std::string &text)
{
    if (is_blank(text))
        return;
    history.erase(std::remove(history.begin(), history.end(), text), history.end());
    history.insert(history.begin(), text);
}

TfrmWatches::TfrmWatches(TfrmMainWindow *main, bool as_child, bool dockable)
    : TfrmDockable(main, QStringLiteral("frmWatches"), as_child, dockable, kFormBounds)
{
    SetCaption(QStringLiteral("Watch"));
    lbxWatches = new QListWidget(this);
    lbxWatches->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbxWatches->setUniformItemSizes(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lbxWatches);
    m_created = true;
    m_list.Activate();
    m_adapter.SetWindow(this);

    const WatchWindowSettings &settings = IdePreferences().watch;
    TFont font;
    ApplyFontRecord(font, settings.font);
    lbxWatches->setFont(font.font);
    QPalette palette = lbxWatches->palette();
    palette.setColor(QPalette::Text, QColor::fromRgb(font.colour & 0xFF, (font.colour >> 8) & 0xFF,
                                                     (font.colour >> 16) & 0xFF));
    palette.setColor(QPalette::Base,
                     QColor::fromRgb(settings.background_colour & 0xFF,
                                     (settings.background_colour >> 8) & 0xFF,
                                     (settings.background_colour >> 16) & 0xFF));
    lbxWatches->setPalette(palette);

    actDeleteWatch = new QAction(tr("&Delete Watch"), this);
    actDeleteWatch->setShortcut(QKeySequence(Qt::Key_Delete));
    actDeleteAllWatches = new QAction(tr("Delete all &Watches"), this);
    actDeleteAllWatches->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    actCopy = new QAction(tr("&Copy"), this);
    actCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    actCopyOldStyle = new QAction(this);
    actCopyOldStyle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
    actFullExpand = new QAction(tr("Expand All"), this);
    actFullCollapse = new QAction(tr("Collapse All"), this);
    actSelectAll = new QAction(tr("Select All"), this);
    actSelectAll->setStatusTip(tr("Select all watch items"));
    for (QAction *a : {actDeleteWatch, actDeleteAllWatches, actCopy, actCopyOldStyle}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        lbxWatches->addAction(a);
    }
    connect(actDeleteWatch, &QAction::triggered, this,
            [this] { guarded([&] { actDeleteWatchExecute(); }); });
    connect(actDeleteAllWatches, &QAction::triggered, this,
            [this] { guarded([&] { actDeleteAllWatchesExecute(); }); });
    for (QAction *a : {actCopy, actCopyOldStyle})
        connect(a, &QAction::triggered, this, [this] { guarded([&] { CopySelection(); }); });

    poWatches = new QMenu(this);
    if (main && main->actAddWatch)
        poWatches->addAction(main->actAddWatch);
    poWatches->addAction(actDeleteWatch);
    poWatches->addAction(actDeleteAllWatches);
    poWatches->addAction(actCopy);
    lbxWatches->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lbxWatches, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        guarded([&] {
            actCopy->setEnabled(!lbxWatches->selectedItems().isEmpty());
            actDeleteWatch->setEnabled(HasSelectedWatch());
            actDeleteAllWatches->setEnabled(lbxWatches->count() > 0);
            poWatches->popup(lbxWatches->viewport()->mapToGlobal(at));
        });
    });

    if (Host())
        Host()->setGeometry(kFormBounds);
    frmWatches = this;
    // A window made while debugging starts from an empty target table.
    guarded([&] {
        if (main && main->DebugMode() != 0 && areWatchesEnabled())
            DeleteAllWatches(true);
    });
}

TfrmWatches::~TfrmWatches()
{
    m_adapter.SetWindow(nullptr);
    if (frmWatches == this)
        frmWatches = nullptr;
}

int TfrmWatches::WatchCount() { return m_list.GetCount(); }

bool TfrmWatches::HasSelectedWatch() const { return lbxWatches->currentRow() >= 0; }

void TfrmWatches::UpdateResults(int)
{
    lbxWatches->setUpdatesEnabled(false);
    const int selected = lbxWatches->currentRow();
    lbxWatches->clear();
    for (int i = 0; i < m_list.GetCount(); ++i)
        lbxWatches->addItem(QString::fromLatin1(m_list.FormatLine(i).substr(0, 255).c_str()));
    if (selected >= 0 && selected < lbxWatches->count())
        lbxWatches->setCurrentRow(selected);
    lbxWatches->setUpdatesEnabled(true);
}

bool TfrmWatches::AddWatch(const std::string &expression, const std::string &scope_name)
{
    const int at = m_list.GetCount();
    if (!m_list.Add(-1, expression, scope_name))
        return false;
    lbxWatches->insertItem(at, QString::fromLatin1(m_list.FormatLine(at).substr(0, 255).c_str()));
    return true;
}

std::string TfrmWatches::EvaluateExpression(const std::string &expression, bool keep_error)
{
    lbxWatches->setUpdatesEnabled(false);
    struct EndUpdate {
        QListWidget *list;
        ~EndUpdate() { list->setUpdatesEnabled(true); }
    } end_update{lbxWatches};
    std::string error_text;
    std::string result;
    bool failed = false;
    try {
        result = m_list.EvaluateOnce(expression, error_text);
    } catch (const xErr &) {
        failed = true;
    }
    // However the evaluation ended, the target holds the window's watches again, in order.
    try {
        m_list.RebuildTarget();
    } catch (const xErr &) {
        failed = true;
        if (error_text.empty())
            error_text = "????";
    }
    if (failed)
        return keep_error ? error_text : std::string();
    return result;
}

void TfrmWatches::DeleteSelectedWatch()
{
    const int index = lbxWatches->currentRow();
    if (index < 0)
        return;
    m_list.Delete(index);
    delete lbxWatches->takeItem(index);
    m_list.RebuildTarget();
}

void TfrmWatches::DeleteAllWatches(bool clear_list_box)
{
    delete_target_watches();
    m_list.Clear();
    if (clear_list_box)
        lbxWatches->clear();
}

void TfrmWatches::actDeleteWatchExecute()
{
    const int index = lbxWatches->currentRow();
    if (MainWindow() && MainWindow()->actDeleteWatch)
        MainWindow()->actDeleteWatch->trigger();
    if (lbxWatches->count() > 0)
        lbxWatches->setCurrentRow(std::max(index - 1, 0));
}

void TfrmWatches::actDeleteAllWatchesExecute()
{
    if (MainWindow() && MainWindow()->actDeleteAllWatches)
        MainWindow()->actDeleteAllWatches->trigger();
    lbxWatches->setFocus();
    if (lbxWatches->count() > 0)
        lbxWatches->setCurrentRow(0);
}

void TfrmWatches::CopySelection()
{
    if (lbxWatches->selectedItems().isEmpty() || !MainWindow())
        return;
    MainWindow()->CopyListSelectionToClipboard(lbxWatches);
}

void TfrmWatches::SaveWatchSet()
{
    const std::string source = main_source();
    if (!source.empty()) {
        std::vector<std::string> lines;
        for (int i = 0; i < m_list.GetCount(); ++i)
            lines.push_back(m_list.ExpressionText(i) + ":" + m_list.ScopeName(i));
        SaveWatchHistory(source, lines, m_history);
    }
    m_list.Clear();
}

void TfrmWatches::LoadWatchSet()
{
    if (!areWatchesEnabled())
        return;
    lbxWatches->setUpdatesEnabled(false);
    struct EndUpdate {
        QListWidget *list;
        ~EndUpdate() { list->setUpdatesEnabled(true); }
    } end_update{lbxWatches};
    // The target's table starts again with what the file gives.
    delete_target_watches();
    m_list.Clear();
    lbxWatches->clear();
    m_history.clear();
    const std::string source = main_source();
    if (source.empty())
        return;
    std::vector<std::string> lines;
    LoadWatchHistory(source, lines, &m_history);
    m_list.Activate();
    const std::size_t most = getMaxWatches();
    for (std::size_t i = 0; i < lines.size() && i < most; ++i) {
        const auto [expression, scope] = split_watch_history_line(lines[i]);
        if (is_blank(expression))
            continue;
        try {
            (void)AddWatch(expression, scope);
        } catch (const xTCErr &) {
            throw;
        } catch (const xErr &) {
            // A stored watch that no longer compiles is left out.
        }
    }
}

void TfrmWatches::showEvent(QShowEvent *event)
{
    TfrmDockable::showEvent(event);
    if (!event->spontaneous())
        guarded([&] { FormShow(); });
}

void TfrmWatches::FormShow()
{
    if (m_loading)
        return;
    m_loading = true;
    struct Done {
        bool &flag;
        ~Done() { flag = false; }
    } done{m_loading};
    // Debug mode starts before the program's first stop: a window that the start opens loads
    // its watches then, and the stop brings their values.
    TfrmMainWindow *main = MainWindow();
    if (!main || main->DebugMode() == 0 || !areWatchesEnabled())
        return;
    // Only a window that closed (which stores its watches and empties the list) loads them
    // again: one that was merely hidden still holds them, newer than the file.
    const bool load = m_list.GetCount() == 0;
    if (load)
        LoadWatchSet();
    // However the window came up (its command, Add Watch, the start of debugging), the target
    // sends the watches' results with every stop while it shows them.
    TcSetSendFlag(1, true);
    if (load && main->IsStopped() && m_list.GetCount() > 0) {
        TcRunWatches();
        UpdateResults(0);
    }
}

TfrmDockable::CloseAction TfrmWatches::FormClose()
{
    try {
        SaveWatchSet();
        if (MainWindow() && MainWindow()->DebugMode() != 0) {
            delete_target_watches();
            TcSetSendFlag(1, false);
        } else {
            // Debug mode ended first: the target was reset or its link closed, and its table
            // went with it.
            forget_target_watches();
        }
    } catch (const xErr &) {
        // The target may be gone: the window closes all the same.
    }
    const CloseAction action = TfrmDockable::FormClose();
    if (MainWindow())
        MainWindow()->SetAutoShow(DebugWindow::Watches, false);
    return action;
}
