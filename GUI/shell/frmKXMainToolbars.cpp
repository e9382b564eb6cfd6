// frmKXMain, toolbars: the ten toolbars of the main window in its control bar, their table and
// button tags, the layout in rows, the deferred layouts, the view commands, consolidation into
// one toolbar, dragging buttons between toolbars and off them, floating and docking again, and
// keeping the layout between runs.
#include "frmKXMain.h"

#include "frmKXCustomToolBars.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

#include "settings/guiEnvironment.h"
#include "guiHosts.h"
#include "settings/guiKXPreferences.h"
#include "guiIcons.h"
#include "guiToolbars.h"

namespace {

// The toolbars as the main window makes them: name, caption, shown at first, buttons.
struct ToolBarDefinition {
    const char *name;
    const char *caption;
    bool visible;
    std::vector<const char *> actions;
};

const std::array<ToolBarDefinition, TfrmMainWindow::kToolBarCount> kToolBars = {{
    {"tbarFile", "File", true, {"actFileNew", "actFileOpen", "actFileSave"}},
    {"tbarPrint", "Print", true, {"actPrint"}},
    {"tbarEdit",
     "Edit",
     true,
     {"actEditCut", "actEditCopy", "actEditPaste", "actFind", "actReplace", "actFindNext"}},
    {"tbarCompile", "Compile", true, {"actEditMode", "actCompile"}},
    {"tbarRun", "Run", true, {"actRun", "actStop"}},
    {"tbarWatch", "Inspect", false, {"actAddWatch", "actDeleteWatch", "actEvaluateExpression"}},
    {"tbarDebugWindows", "Debug Window", true, {"actToggleAsm", "actToggleStack", "actToggleReg"}},
    {"tbarOptions", "Options", false, {"actEnvOptions", "actProjectOptions"}},
    {"tbarWindowView",
     "Window View",
     false,
     {"actWindowCascade", "actWindowTileHorizontal", "actWindowTileVertical",
      "actWindowMinimizeAll", "actWindowArrangeAll"}},
    {"tbarHelp", "Help", false, {"actContents"}},
}};

const char *const kViewCaptions[TfrmMainWindow::kToolBarCount] = {
    "&File", "&Print", "&Edit", "&Compile", "&Run", "&Inspect", "&Debug Windows", "&Options",
    "&Window Views", "&Help"};

constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;
constexpr int kSeparatorWidth = 7;
constexpr int kDropDownExtra = 13;
constexpr int kRecordExtra = 13;  // a record's width: the toolbar's one-row width and this
constexpr int kRowLeft = 11;
constexpr int kRowTop = 2;
constexpr int kRowSize = 26;

constexpr int kTagButton = 0;
constexpr int kTagDropDown = 2;
constexpr int kTagSeparator = 3;

const char *const kToolDragFormat = "application/x-korvex-tool-button";

int tag_of(const QObject *object)
{
    return object ? object->property(kToolButtonTagProperty).toInt() : 0;
}
int tag_kind(int tag) { return tag & 0xFF; }
int tag_group(int tag) { return static_cast<int8_t>((tag >> 8) & 0xFF); }
int tag_index(int tag) { return static_cast<int16_t>((tag >> 16) & 0xFFFF); }
int make_tag(int kind, int group, int index)
{
    return static_cast<int>((static_cast<uint32_t>(index & 0xFFFF) << 16) |
                            (static_cast<uint32_t>(group & 0xFF) << 8) |
                            static_cast<uint32_t>(kind & 0xFF));
}

} // namespace

// ---- the toolbars and their table --------------------------------------------------------------

void TfrmMainWindow::BuildToolBars(QMenu *window_menu)
{
    // The control bar sits above the workspace.
    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_toolbar_control = new QFrame(central);
    m_toolbar_control->setObjectName(QStringLiteral("ToolBarControl"));
    m_toolbar_control->setAcceptDrops(true);
    m_toolbar_control->installEventFilter(this);
    m_toolbar_control->setFixedHeight(kRowSize);
    column->addWidget(m_toolbar_control);
    m_workspace->setParent(central);
    column->addWidget(m_workspace, 1);
    setCentralWidget(central);

    BuildActionNames();
    m_toolbar_menu = new QMenu(tr("T&oolbars"), this);
    window_menu->insertMenu(m_window_list_separator, m_toolbar_menu);
    for (int i = 0; i < kToolBarCount; ++i) {
        const ToolBarDefinition &definition = kToolBars[static_cast<std::size_t>(i)];
        auto *toolbar = new QToolBar(m_toolbar_control);
        toolbar->setObjectName(QString::fromLatin1(definition.name));
        toolbar->setWindowTitle(QString::fromLatin1(definition.caption));
        for (const char *name : definition.actions)
            if (QAction *action = CommandAction(name))
                toolbar->addAction(action);
        SetUpToolbar(toolbar);
        for (QAction *action : toolbar->actions())
            SetButtonTag(toolbar, action, kTagButton, i, 0);
        ArrangeToolBarButtons(toolbar);
        TToolbarEntry entry;
        entry.visible = definition.visible;
        entry.toolbar = toolbar;
        entry.width = ToolBarWidth(toolbar) + kRecordExtra;
        toolbar->setVisible(definition.visible);
        m_toolbar_table.push_back(entry);
        m_toolbar_map[definition.caption] = i;

        QAction *view = m_toolbar_menu->addAction(tr(kViewCaptions[i]));
        view->setCheckable(true);
        view->setChecked(definition.visible);
        m_view_actions.push_back(view);
        Connect(view, [this] { return !m_consolidated && actViewToolBars->isChecked(); },
                [this, i] { ViewToolBar(i); });
    }
    m_toolbar_menu->addSeparator();
    actViewAllToolBar = m_toolbar_menu->addAction(tr("Consolidated"));
    actViewAllToolBar->setCheckable(true);
    Connect(actViewAllToolBar,
            [this] { return m_consolidated != nullptr && actViewToolBars->isChecked(); }, [this] {
                m_toolbar_control->setVisible(m_toolbar_control->isHidden());
                if (!m_toolbar_control->isHidden())
                    PostLayout();
            });
    actViewToolBars = m_toolbar_menu->addAction(tr("&View Menu Buttons"));
    actViewToolBars->setCheckable(true);
    actViewToolBars->setChecked(IdePreferences().show_menu_buttons);
    Connect(actViewToolBars, nullptr, [this] {
        m_toolbar_control->setVisible(actViewToolBars->isChecked() && AnyToolBarVisible());
        if (!m_toolbar_control->isHidden())
            PostLayout();
    });
    actConsolidate = m_toolbar_menu->addAction(tr("Co&nsolidate visible buttons to one toolbar"));
    actConsolidate->setCheckable(true);
    Connect(actConsolidate, [this] { return ConsolidatePossible(); },
            [this] { actConsolidateExecute(); });
    actDefaultToolBars = m_toolbar_menu->addAction(tr("&Default Toolbars"));
    actDefaultToolBars->setStatusTip(tr("Default Toolbars"));
    Connect(actDefaultToolBars, [this] { return !m_customizing; },
            [this] { actDefaultToolBarsExecute(); });
    actShowAllButtons = m_toolbar_menu->addAction(tr("&Show All Buttons"));
    Connect(actShowAllButtons, [this] { return !m_customizing; },
            [this] { actShowAllButtonsExecute(); });
    actCustomizeToolBars = m_toolbar_menu->addAction(tr("C&ustomize Button Groups..."));
    actCustomizeToolBars->setCheckable(true);
    Connect(actCustomizeToolBars, [this] { return actViewToolBars->isChecked(); },
            [this] { actCustomizeToolBarsExecute(); });
    // The separator source of the customise dialog: it stands for a separator and does nothing.
    actSeparator = new QAction(tr("Separator"), this);
    actSeparator->setEnabled(false);
    BuildActionNames();
    connect(m_toolbar_menu, &QMenu::aboutToShow, this,
            [this] { guarded([&] { UpdateToolBarActions(); }); });
    // Idle work: only what changed posts anything.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                [this] { guarded([&] { ToolBarIdle(); }); });
}

QToolBar *TfrmMainWindow::ToolBar(int group) const
{
    if (group < 0 || group >= static_cast<int>(m_toolbar_table.size()))
        return nullptr;
    return m_toolbar_table[static_cast<std::size_t>(group)].toolbar;
}

int TfrmMainWindow::ToolBarIndex(const QToolBar *toolbar) const
{
    if (!toolbar)
        return -1;
    const auto found = m_toolbar_map.find(toolbar->windowTitle().toStdString());
    if (found == m_toolbar_map.end() || ToolBar(found->second) != toolbar)
        return -1;
    return found->second;
}

// A toolbar outside the table (the consolidated one) works on a scratch record.
TToolbarEntry &TfrmMainWindow::RecordOf(const QToolBar *toolbar)
{
    const int index = ToolBarIndex(toolbar);
    if (index < 0) {
        m_scratch_record = TToolbarEntry{};
        return m_scratch_record;
    }
    return m_toolbar_table[static_cast<std::size_t>(index)];
}

void TfrmMainWindow::SetUpToolbar(QToolBar *toolbar)
{
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(16, 16));
    toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolbar->setMinimumSize(kButtonWidth, kButtonHeight);
    toolbar->setContentsMargins(0, 0, 0, 0);
    if (toolbar->layout()) {
        toolbar->layout()->setSpacing(0);
        toolbar->layout()->setContentsMargins(0, 0, 0, 0);
    }
    toolbar->setAcceptDrops(true);
    toolbar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(toolbar, &QWidget::customContextMenuRequested, this, [this, toolbar](const QPoint &at) {
        if (m_toolbar_menu)
            m_toolbar_menu->popup(toolbar->mapToGlobal(at));
    });
    toolbar->installEventFilter(this);
    for (QAction *action : toolbar->actions()) {
        if (!action->isSeparator() && action->icon().isNull())
            apply_command_icon(action);
        if (QWidget *button = toolbar->widgetForAction(action))
            button->installEventFilter(this);
    }
}

// Every button of a toolbar of the table belongs to the toolbar's group.
void TfrmMainWindow::AssignGroup(QToolBar *toolbar, int group)
{
    for (QAction *action : toolbar->actions())
        if (QWidget *button = toolbar->widgetForAction(action)) {
            const int tag = tag_of(button);
            button->setProperty(kToolButtonTagProperty,
                                make_tag(tag_kind(tag), group, tag_index(tag)));
        }
}

void TfrmMainWindow::SetButtonTag(QToolBar *toolbar, QAction *action, int kind, int group,
                                  int index)
{
    if (QWidget *button = toolbar->widgetForAction(action))
        button->setProperty(kToolButtonTagProperty,
                            make_tag(action->isSeparator() ? kTagSeparator : kind, group, index));
}

QAction *TfrmMainWindow::CommandAction(const std::string &command)
{
    const auto found = m_actions_by_name.find(command);
    return found == m_actions_by_name.end() ? nullptr : found->second;
}

// The command's home group: the toolbar whose palette offers it.
int TfrmMainWindow::CommandNumber(const std::string &command)
{
    for (int i = 0; i < kToolBarCount; ++i)
        for (const char *name : kToolBars[static_cast<std::size_t>(i)].actions)
            if (command == name)
                return i;
    return CommandAction(command) ? 0 : -1;
}

// ---- widths -------------------------------------------------------------------------------------

int TfrmMainWindow::ButtonWidth(const QWidget *button) const
{
    switch (tag_kind(tag_of(button))) {
    case kTagSeparator:
        return m_customizing ? kButtonWidth : kSeparatorWidth;
    case kTagDropDown:
        return kButtonWidth + kDropDownExtra;
    default:
        return kButtonWidth;
    }
}

int TfrmMainWindow::ToolBarWidth(const QToolBar *toolbar) const
{
    int width = 0;
    for (QAction *action : toolbar->actions()) {
        QWidget *button = toolbar->widgetForAction(action);
        if (!button || !action->isVisible())
            continue;
        width += ButtonWidth(button);
    }
    return width;
}

void TfrmMainWindow::ArrangeToolBarButtons(QToolBar *toolbar)
{
    if (!toolbar)
        return;
    const bool consolidated = toolbar == m_consolidated;
    int position = 0, running = 0, last_group = 0x7FFFFFFF;
    for (QAction *action : toolbar->actions()) {
        QWidget *button = toolbar->widgetForAction(action);
        if (!button)
            continue;
        const int tag = tag_of(button);
        int index = position++;
        if (consolidated) {
            if (tag_group(tag) != last_group) {
                last_group = tag_group(tag);
                running = 0;
            }
            index = running++;
        }
        button->setProperty(kToolButtonTagProperty, make_tag(tag_kind(tag), tag_group(tag), index));
        const int width = ButtonWidth(button);
        button->setFixedSize(width, kButtonHeight);
        if (auto *tool = qobject_cast<QToolButton *>(button))
            tool->setPopupMode(tag_kind(tag) == kTagDropDown ? QToolButton::MenuButtonPopup
                                                             : QToolButton::DelayedPopup);
    }
    toolbar->setFixedSize(std::max(kButtonWidth, ToolBarWidth(toolbar)), kButtonHeight);
}

QWidget *TfrmMainWindow::CopyToolButton(QToolBar *toolbar, QWidget *source, QAction *before)
{
    const int tag = tag_of(source);
    QAction *action = nullptr;
    if (tag_kind(tag) == kTagSeparator) {
        action = before ? toolbar->insertSeparator(before) : toolbar->addSeparator();
    } else {
        action = ActionOfButton(source);
        if (!action)
            return nullptr;
        toolbar->insertAction(before, action);
    }
    QWidget *button = toolbar->widgetForAction(action);
    if (!button)
        return nullptr;
    button->setProperty(kToolButtonTagProperty, tag);
    button->installEventFilter(this);
    button->setFixedSize(ButtonWidth(button), kButtonHeight);
    return button;
}

// The command a button or palette label stands for.
QAction *TfrmMainWindow::ActionOfButton(const QObject *source) const
{
    if (const auto *tool = qobject_cast<const QToolButton *>(source))
        return tool->defaultAction();
    if (const auto *label = qobject_cast<const QLabel *>(source))
        return ActionOfButton(label->property(kToolButtonTagProperty).value<QObject *>());
    return nullptr;
}

// ---- layout -------------------------------------------------------------------------------------

bool TfrmMainWindow::AnyToolBarVisible() const
{
    for (QToolBar *toolbar : m_toolbar_control->findChildren<QToolBar *>(
             QString(), Qt::FindDirectChildrenOnly))
        if (!toolbar->isHidden())
            return true;
    return false;
}

void TfrmMainWindow::RebuildLayoutOrder()
{
    m_layout_order.clear();
    for (int i = 0; i < static_cast<int>(m_toolbar_table.size()); ++i) {
        QToolBar *toolbar = m_toolbar_table[static_cast<std::size_t>(i)].toolbar;
        if (toolbar && !toolbar->isHidden() && !toolbar->isWindow())
            m_layout_order.push_back(i);
    }
    std::stable_sort(m_layout_order.begin(), m_layout_order.end(), [this](int a, int b) {
        const QToolBar *ta = ToolBar(a), *tb = ToolBar(b);
        return ta->y() != tb->y() ? ta->y() < tb->y() : ta->x() < tb->x();
    });
}

void TfrmMainWindow::RelayoutToolBars()
{
    RebuildLayoutOrder();
    LayoutToolBars();
    PostLayout();
}

void TfrmMainWindow::PostLayout()
{
    if (m_layout_posted)
        return;
    m_layout_posted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_layout_posted = false;
            guarded([&] { LayoutToolBars(); });
        },
        Qt::QueuedConnection);
}

void TfrmMainWindow::PostRelayout()
{
    if (m_relayout_posted)
        return;
    m_relayout_posted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_relayout_posted = false;
            guarded([&] {
                RebuildLayoutOrder();
                PostLayout();
            });
        },
        Qt::QueuedConnection);
}

void TfrmMainWindow::LayoutToolBars()
{
    if (m_tag == 0)
        return;
    ++m_layouts_done;
    if (m_consolidated) {
        LayoutConsolidated();
        return;
    }
    if (m_layout_order.empty())
        return;
    int x = 0, row_top = kRowTop, total = kRowSize;
    const int available = m_toolbar_control->width();
    for (std::size_t n = 0; n < m_layout_order.size(); ++n) {
        TToolbarEntry &record = m_toolbar_table[static_cast<std::size_t>(m_layout_order[n])];
        QToolBar *toolbar = record.toolbar;
        if (toolbar->isHidden() || toolbar->x() != x + kRowLeft || toolbar->y() != row_top) {
            toolbar->hide();
            toolbar->move(x + kRowLeft, row_top);
        }
        x += record.width;
        if (n + 1 < m_layout_order.size()) {
            const int next = m_toolbar_table[static_cast<std::size_t>(m_layout_order[n + 1])].width;
            if (x + next > available) {
                row_top += kRowSize;
                total += kRowSize;
                x = 0;
            }
        }
    }
    if (m_toolbar_control->height() != total)
        m_toolbar_control->setFixedHeight(total);
    for (int index : m_layout_order) {
        TToolbarEntry &record = m_toolbar_table[static_cast<std::size_t>(index)];
        record.toolbar->setVisible(record.visible);
        if (m_customizing)
            RecheckWidths(record.toolbar);
    }
}

void TfrmMainWindow::RecheckWidths(QToolBar *toolbar)
{
    if (ToolBarWidth(toolbar) != toolbar->width())
        ArrangeToolBarButtons(toolbar);
}

// The consolidated toolbar when it is docked. Nothing is laid out while the bar has no height or
// the toolbar no button: the rows would be a division by nothing.
void TfrmMainWindow::LayoutConsolidated()
{
    QToolBar *toolbar = m_consolidated;
    if (toolbar->isWindow())
        return;
    toolbar->move(kRowLeft, toolbar->y());
    const int client_width = m_toolbar_control->width();
    const int client_height = m_toolbar_control->height();
    const int buttons = static_cast<int>(toolbar->actions().size());
    if (client_height <= 0 || client_width <= 0 || buttons == 0 || m_toolbar_control->isHidden())
        return;
    const int rows = client_height / kButtonHeight;
    const int room = client_width - kButtonWidth;
    const double need = static_cast<double>(buttons * kButtonWidth) / client_width;
    int width = toolbar->width();
    if (rows != 0 && (need >= rows || need / rows < 0.6))
        width = room;
    if (room < width) {
        toolbar->setFixedHeight(toolbar->height() + kButtonHeight);
        width = room;
        m_consolidated_width = width;
    }
    if (width == m_consolidated_width && width * 2 >= room) {
        toolbar->setFixedWidth(std::max(kButtonWidth, width));
        return;
    }
    ArrangeToolBarButtons(toolbar);
    toolbar->setFixedWidth(std::max(kButtonWidth, room));
    m_consolidated_width = room;
}

// ---- the view commands -----------------------------------------------------------------------

void TfrmMainWindow::ViewToolBar(int index)
{
    if (m_toolbar_control->isHidden())
        m_toolbar_control->show();
    QAction *view = m_view_actions[static_cast<std::size_t>(index)];
    TToolbarEntry &record = m_toolbar_table[static_cast<std::size_t>(index)];
    record.visible = view->isChecked();
    record.toolbar->setVisible(record.visible);
    if (!AnyToolBarVisible()) {
        m_toolbar_control->hide();
        return;
    }
    RelayoutToolBars();
}

bool TfrmMainWindow::ConsolidatePossible() const
{
    return !m_customizing && actViewToolBars->isChecked() &&
           (m_consolidated || AnyToolBarVisible());
}

void TfrmMainWindow::UpdateToolBarActions()
{
    if (!actViewToolBars)
        return;
    const bool buttons = actViewToolBars->isChecked();
    for (int i = 0; i < static_cast<int>(m_view_actions.size()); ++i) {
        QAction *view = m_view_actions[static_cast<std::size_t>(i)];
        view->setChecked(!ToolBar(i)->isHidden());
        view->setEnabled(!m_consolidated && buttons);
    }
    actViewAllToolBar->setChecked(m_consolidated && !m_consolidated->isHidden() &&
                                  !m_toolbar_control->isHidden());
    actViewAllToolBar->setEnabled(m_consolidated && buttons);
    actConsolidate->setEnabled(ConsolidatePossible());
    actConsolidate->setChecked(m_consolidated != nullptr);
    actDefaultToolBars->setEnabled(!m_customizing);
    actShowAllButtons->setEnabled(!m_customizing);
    actSeparator->setEnabled(m_customizing);
    actCustomizeToolBars->setEnabled(buttons);
    actCustomizeToolBars->setChecked(m_customizing);
}

// ---- consolidation -----------------------------------------------------------------------------

void TfrmMainWindow::actConsolidateExecute()
{
    if (m_consolidated) {
        FreeConsolidated();
        actConsolidate->setChecked(false);
        for (const TToolbarEntry &record : m_toolbar_table)
            record.toolbar->setVisible(record.visible);
    } else {
        BuildConsolidated();
        actConsolidate->setChecked(true);
    }
    PostRelayout();
}

void TfrmMainWindow::FreeConsolidated()
{
    if (!m_consolidated)
        return;
    m_consolidated_floats = m_consolidated->isWindow();
    if (m_consolidated_floats)
        m_consolidated_float_pos = m_consolidated->pos();
    // Later: the toolbar may be the one whose drop is being handled.
    m_consolidated->hide();
    m_consolidated->deleteLater();
    m_consolidated = nullptr;
}

void TfrmMainWindow::BuildConsolidated()
{
    FreeConsolidated();
    // The shown toolbars in the order they stand: by top, then by left.
    std::vector<QToolBar *> shown;
    for (const TToolbarEntry &record : m_toolbar_table)
        if (!record.toolbar->isHidden())
            shown.push_back(record.toolbar);
    std::stable_sort(shown.begin(), shown.end(), [](QToolBar *a, QToolBar *b) {
        return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x();
    });
    for (const TToolbarEntry &record : m_toolbar_table)
        record.toolbar->hide();
    auto *consolidated = new QToolBar(m_toolbar_control);
    consolidated->setObjectName(QString::fromLatin1(kConsolidatedToolbar));
    consolidated->setWindowTitle(QString::fromLatin1(kConsolidatedToolbar));
    m_consolidated = consolidated;
    SetUpToolbar(consolidated);
    for (QToolBar *toolbar : shown)
        for (QAction *action : toolbar->actions()) {
            QWidget *button = toolbar->widgetForAction(action);
            if (button && !action->isSeparator() && action->isVisible())
                CopyToolButton(consolidated, button);
        }
    ArrangeToolBarButtons(consolidated);
    consolidated->move(kRowLeft, kRowTop);
    consolidated->show();
    if (m_consolidated_floats)
        FloatToolBar(consolidated, m_consolidated_float_pos);
}

// Consolidation goes off and on again, so that the consolidated toolbar shows what its home
// toolbars hold now.
void TfrmMainWindow::RebuildConsolidated()
{
    FreeConsolidated();
    for (const TToolbarEntry &record : m_toolbar_table)
        record.toolbar->setVisible(record.visible);
    BuildConsolidated();
    PostRelayout();
}

void TfrmMainWindow::actShowAllButtonsExecute()
{
    for (std::size_t i = 0; i < m_toolbar_table.size(); ++i) {
        TToolbarEntry &record = m_toolbar_table[i];
        record.visible = true;
        record.toolbar->setVisible(true);
        for (QAction *action : record.toolbar->actions())
            action->setVisible(true);
        record.width = ToolBarWidth(record.toolbar) + kRecordExtra;
    }
    CloseCustomizeDialog();
    if (m_consolidated) {
        FreeConsolidated();
        actConsolidate->setChecked(false);
    }
    m_toolbar_control->setVisible(actViewToolBars->isChecked());
    PostLayout();
    PostRelayout();
}

void TfrmMainWindow::actDefaultToolBarsExecute()
{
    if (m_consolidated && !m_customizing)
        FreeConsolidated();
    for (TToolbarEntry &record : m_toolbar_table)
        record = LoadToolBar(record, "Default ");
    if (m_consolidated)
        FreeConsolidated();
    actConsolidate->setChecked(false);
    for (const TToolbarEntry &record : m_toolbar_table)
        record.toolbar->setVisible(record.visible);
    m_toolbar_control->setVisible(actViewToolBars->isChecked() && AnyToolBarVisible());
    PostRelayout();
}

// ---- keeping the layout ------------------------------------------------------------------------

TToolbarEntry TfrmMainWindow::LoadToolBar(const TToolbarEntry &record, const std::string &prefix)
{
    TToolbarEntry loaded = record;
    const QString caption = record.toolbar->windowTitle();
    const int group = ToolBarGroup(caption.toStdString());
    try {
        LoadToolbarLayout(loaded, prefix, *this);
        // A toolbar built anew from its description is named, not captioned, by it.
        loaded.toolbar->setWindowTitle(caption);
        if (group >= 0)
            AssignGroup(loaded.toolbar, group);
        ArrangeToolBarButtons(loaded.toolbar);
        loaded.width = ToolBarWidth(loaded.toolbar) + kRecordExtra;
        loaded.toolbar->setVisible(loaded.visible);
    } catch (...) {
        return record;
    }
    return loaded;
}

void TfrmMainWindow::RestoreToolBars()
{
    // The layout the program builds is kept once as the default to go back to.
    for (const TToolbarEntry &record : m_toolbar_table) {
        const std::string name = record.toolbar->objectName().toStdString();
        if (!ToolbarKeyExists("Default ", name))
            SaveToolbarLayout("Default ", record.visible, record.width, record.toolbar);
    }
    for (TToolbarEntry &record : m_toolbar_table)
        record = LoadToolBar(record, "");
    m_toolbar_control->setVisible(actViewToolBars->isChecked() && AnyToolBarVisible());
    if (IdePreferences().consolidate_buttons && !m_consolidated) {
        BuildConsolidated();
        actConsolidate->setChecked(true);
    }
    RelayoutToolBars();
}

void TfrmMainWindow::SaveToolBars()
{
    for (const TToolbarEntry &record : m_toolbar_table)
        SaveToolbarLayout("", record.visible, record.width, record.toolbar);
}

// ---- idle ----------------------------------------------------------------------------------------

void TfrmMainWindow::ToolBarIdle()
{
    if (m_tag == 0)
        return;
    int floating = 0;
    for (const TToolbarEntry &record : m_toolbar_table)
        if (record.toolbar->isWindow())
            ++floating;
    if (floating > m_floating_before)
        RelayoutToolBars();
    if (m_consolidated && m_consolidated->isWindow() != m_consolidated_seen_floating) {
        m_consolidated_seen_floating = m_consolidated->isWindow();
        m_consolidated_floats = m_consolidated_seen_floating;
        RebuildLayoutOrder();
        PostLayout();
    }
    m_floating_before = floating;
}

// ---- floating and docking ---------------------------------------------------------------------

void TfrmMainWindow::FloatToolBar(QToolBar *toolbar, const QPoint &at)
{
    if (!toolbar->isWindow()) {
        toolbar->setParent(this, Qt::Tool | Qt::FramelessWindowHint);
        toolbar->setWindowTitle(toolbar == m_consolidated
                                    ? QString::fromLatin1(kConsolidatedToolbar)
                                    : toolbar->windowTitle());
    }
    toolbar->move(at);
    toolbar->show();
    if (toolbar == m_consolidated)
        m_consolidated_float_pos = at;
}

void TfrmMainWindow::DockToolBar(QToolBar *toolbar, int x)
{
    const bool shown = toolbar->isWindow() ? true : !toolbar->isHidden();
    toolbar->setParent(m_toolbar_control, Qt::Widget);
    toolbar->move(std::max(0, x), kRowTop);
    toolbar->setFixedHeight(kButtonHeight);
    toolbar->setVisible(shown);
    PostRelayout();
}

// ---- dragging buttons ----------------------------------------------------------------------------

QMimeData *TfrmMainWindow::StartToolDrag(QObject *dragged)
{
    m_drag_source = dragged;
    auto *mime = new QMimeData;
    mime->setData(QString::fromLatin1(kToolDragFormat), QByteArray("button"));
    return mime;
}

bool TfrmMainWindow::AcceptsToolDrag(const QMimeData *mime) const
{
    if (!mime || !mime->hasFormat(QString::fromLatin1(kToolDragFormat)) || !m_drag_source)
        return false;
    QObject *source = m_drag_source.data();
    if (qobject_cast<QToolButton *>(source))
        return true;
    if (qobject_cast<QLabel *>(source))
        return source->property(kToolButtonTagProperty).value<QObject *>() != nullptr;
    return qobject_cast<QWidget *>(source) &&
           tag_kind(tag_of(source)) == kTagSeparator;
}

// The toolbar a button sits on, when it is one of the main window's (the table's or the
// consolidated one).
QToolBar *TfrmMainWindow::MainToolBarOf(const QObject *button) const
{
    auto *toolbar = button ? qobject_cast<QToolBar *>(button->parent()) : nullptr;
    if (!toolbar)
        return nullptr;
    if (toolbar == m_consolidated || ToolBarIndex(toolbar) >= 0)
        return toolbar;
    return nullptr;
}

QAction *TfrmMainWindow::ActionAt(QToolBar *toolbar, const QWidget *button) const
{
    for (QAction *action : toolbar->actions())
        if (toolbar->widgetForAction(action) == button)
            return action;
    return nullptr;
}

// What is dragged, taken before any button changes (a button moved within its toolbar is made
// anew by Qt, which keeps one button per command and toolbar).
struct TfrmMainWindow::DraggedButton {
    QAction *action = nullptr;
    int tag = 0;
    QToolBar *bar = nullptr;  // a main-window toolbar it sits on; none for a palette button
};

void TfrmMainWindow::RemoveAction(QToolBar *toolbar, QAction *action)
{
    toolbar->removeAction(action);
    if (action->isSeparator())
        action->deleteLater();
    ArrangeToolBarButtons(toolbar);
    RecordOf(toolbar).width = ToolBarWidth(toolbar) + kRecordExtra;
}

// The button at the group and index of the tag on its home toolbar.
QAction *TfrmMainWindow::HomeAction(int tag) const
{
    QToolBar *home = ToolBar(tag_group(tag));
    if (!home)
        return nullptr;
    for (QAction *action : home->actions())
        if (tag_index(tag_of(home->widgetForAction(action))) == tag_index(tag))
            return action;
    return nullptr;
}

void TfrmMainWindow::RemoveFromHome(int tag)
{
    if (QAction *action = HomeAction(tag))
        RemoveAction(ToolBar(tag_group(tag)), action);
}

// A copy of the dragged button on the toolbar before `before` (at the end without), in the
// toolbar's group.
void TfrmMainWindow::InsertCopy(QToolBar *toolbar, const DraggedButton &dragged, QAction *before,
                                int group)
{
    QAction *action = nullptr;
    if (tag_kind(dragged.tag) == kTagSeparator || dragged.action->isSeparator())
        action = toolbar->insertSeparator(before);
    else if (before != dragged.action)
        toolbar->insertAction(before, action = dragged.action);
    else
        action = dragged.action;
    if (QWidget *button = toolbar->widgetForAction(action)) {
        button->setProperty(kToolButtonTagProperty,
                            make_tag(tag_kind(dragged.tag), group, tag_index(dragged.tag)));
        button->installEventFilter(this);
    }
    ArrangeToolBarButtons(toolbar);
    RecordOf(toolbar).width = ToolBarWidth(toolbar) + kRecordExtra;
}

void TfrmMainWindow::RemoveToolButton(QWidget *button)
{
    QToolBar *toolbar = MainToolBarOf(button);
    QAction *action = toolbar ? ActionAt(toolbar, button) : nullptr;
    if (!action)
        return;
    const int tag = tag_of(button);
    RemoveAction(toolbar, action);
    if (toolbar == m_consolidated) {
        RemoveFromHome(tag);
        RebuildConsolidated();
        return;
    }
    RelayoutToolBars();
}

void TfrmMainWindow::ToolBarDrop(QWidget *target, const QPoint &at)
{
    QObject *source_object = m_drag_source.data();
    m_drag_source = nullptr;
    auto *source = qobject_cast<QWidget *>(source_object);
    // A palette label stands for its palette button.
    if (auto *label = qobject_cast<QLabel *>(source))
        source = qobject_cast<QWidget *>(label->property(kToolButtonTagProperty).value<QObject *>());
    if (!source)
        return;
    auto *toolbar = qobject_cast<QToolBar *>(target);
    if (!toolbar || (toolbar != m_consolidated && ToolBarIndex(toolbar) < 0)) {
        // Onto the window, the control bar or the customise dialog: the button goes.
        RemoveToolButton(source);
        return;
    }
    QAction *before = toolbar->actionAt(at);
    if (before && toolbar->widgetForAction(before) == source)
        return;
    DraggedButton dragged;
    dragged.bar = MainToolBarOf(source);
    dragged.action = dragged.bar ? ActionAt(dragged.bar, source) : ActionOfButton(source);
    dragged.tag = tag_of(source);
    if (!dragged.action)
        return;
    if (toolbar == m_consolidated) {
        // The copy goes to the home toolbar at the matching place; an empty consolidated
        // toolbar takes it at the end of the dragged button's group.
        const int group = before ? tag_group(tag_of(toolbar->widgetForAction(before)))
                                 : tag_group(dragged.tag);
        QToolBar *home = ToolBar(group);
        if (!home)
            return;
        QAction *home_before = nullptr;
        if (before)
            for (QAction *action : home->actions())
                if (tag_index(tag_of(home->widgetForAction(action))) ==
                    tag_index(tag_of(toolbar->widgetForAction(before)))) {
                    home_before = action;
                    break;
                }
        const bool moves_within_home = dragged.bar == home && !dragged.action->isSeparator();
        if (dragged.bar == m_consolidated)
            RemoveFromHome(dragged.tag);
        else if (dragged.bar && !moves_within_home)
            RemoveAction(dragged.bar, dragged.action);
        InsertCopy(home, dragged, home_before, group);
        RebuildConsolidated();
        return;
    }
    const int group = ToolBarIndex(toolbar);
    if (dragged.bar == m_consolidated) {
        // Its home button goes first: the home toolbar's indexes change with the insertion.
        QAction *home_action = HomeAction(dragged.tag);
        if (home_action && home_action == before) {
            const QList<QAction *> actions = toolbar->actions();
            const qsizetype at = actions.indexOf(before);
            before = at + 1 < actions.size() ? actions[at + 1] : nullptr;
        }
        RemoveFromHome(dragged.tag);
        InsertCopy(toolbar, dragged, before, group);
        RebuildConsolidated();
        return;
    }
    const bool moves_within = dragged.bar == toolbar && !dragged.action->isSeparator();
    InsertCopy(toolbar, dragged, before, group);
    if (dragged.bar && !moves_within)
        RemoveAction(dragged.bar, dragged.action);
    RelayoutToolBars();
}

// ---- events of the toolbars, the control bar and the palette -----------------------------------

bool TfrmMainWindow::ToolBarEvent(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (!AcceptsToolDrag(drag->mimeData()))
            return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        if (!AcceptsToolDrag(drop->mimeData()))
            return false;
        drop->acceptProposedAction();
        auto *target = qobject_cast<QWidget *>(watched);
        // A drop on a button is a drop on its toolbar at the button's place.
        if (auto *bar = target ? qobject_cast<QToolBar *>(target->parentWidget()) : nullptr;
            bar && !qobject_cast<QToolBar *>(target)) {
            const QPoint at = target->mapTo(bar, drop->position().toPoint());
            guarded([&] { ToolBarDrop(bar, at); });
        } else {
            guarded([&] { ToolBarDrop(target, drop->position().toPoint()); });
        }
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && m_customizing && IsDragSource(watched)) {
            // While customising a press starts a drag, never the command.
            m_press_source = watched;
            m_press_at = mouse->globalPosition().toPoint();
            return true;
        }
        if (watched == m_toolbar_control && mouse->button() == Qt::LeftButton)
            m_hand_moved = ToolBarAtGrip(mouse->position().toPoint());
        return false;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_press_source == watched && (mouse->buttons() & Qt::LeftButton) &&
            (mouse->globalPosition().toPoint() - m_press_at).manhattanLength() >=
                QApplication::startDragDistance()) {
            m_press_source = nullptr;
            auto *drag = new QDrag(watched);
            drag->setMimeData(StartToolDrag(watched));
            drag->exec(Qt::MoveAction | Qt::CopyAction);
            return true;
        }
        if (watched == m_toolbar_control && m_hand_moved && (mouse->buttons() & Qt::LeftButton)) {
            const QPoint global = mouse->globalPosition().toPoint();
            if (!m_toolbar_control->rect().contains(mouse->position().toPoint()))
                guarded([&] {
                    FloatToolBar(m_hand_moved, global);
                    m_hand_moved = nullptr;
                });
        }
        return false;
    }
    case QEvent::MouseButtonRelease: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        m_press_source = nullptr;
        if (watched == m_toolbar_control && mouse->button() == Qt::LeftButton) {
            m_hand_moved = nullptr;
            guarded([&] { RelayoutToolBars(); });
        }
        return false;
    }
    case QEvent::Move: {
        // A floating toolbar moved over the control bar docks there, at the pointer's x.
        auto *toolbar = qobject_cast<QToolBar *>(watched);
        if (!toolbar || !toolbar->isWindow() || m_toolbar_control->isHidden())
            return false;
        const QPoint inside = m_toolbar_control->mapFromGlobal(toolbar->pos());
        if (m_toolbar_control->rect().contains(inside))
            QMetaObject::invokeMethod(
                this, [this, toolbar = QPointer<QToolBar>(toolbar), x = inside.x()] {
                    if (toolbar && toolbar->isWindow())
                        guarded([&] { DockToolBar(toolbar, x); });
                },
                Qt::QueuedConnection);
        else if (toolbar == m_consolidated)
            m_consolidated_float_pos = toolbar->pos();
        return false;
    }
    default:
        return false;
    }
}

bool TfrmMainWindow::IsDragSource(const QObject *object) const
{
    if (qobject_cast<const QToolButton *>(object))
        return true;
    if (qobject_cast<const QLabel *>(object))
        return object->property(kToolButtonTagProperty).value<QObject *>() != nullptr;
    const auto *widget = qobject_cast<const QWidget *>(object);
    return widget && qobject_cast<QToolBar *>(widget->parentWidget()) &&
           tag_kind(tag_of(widget)) == kTagSeparator;
}

// The docked toolbar whose grip (the 11 pixels left of it) holds the point.
QToolBar *TfrmMainWindow::ToolBarAtGrip(const QPoint &at) const
{
    for (QToolBar *toolbar : m_toolbar_control->findChildren<QToolBar *>(
             QString(), Qt::FindDirectChildrenOnly)) {
        if (toolbar->isHidden())
            continue;
        const QRect grip(toolbar->x() - kRowLeft, toolbar->y(), kRowLeft, toolbar->height());
        if (grip.contains(at))
            return toolbar;
    }
    return nullptr;
}

void TfrmMainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (m_toolbar_control)
        PostLayout();
}
void TfrmMainWindow::BuildActionNames()
{
    const std::pair<const char *, QAction *> actions[] = {
        {"actFileNew", actFileNew},
        {"actFileOpen", actFileOpen},
        {"actFileSave", actFileSave},
        {"actFileSaveAs", actFileSaveAs},
        {"actFileSaveAll", actFileSaveAll},
        {"actFileClose", actFileClose},
        {"actFileExit", actFileExit},
        {"actEditCut", actEditCut},
        {"actEditCopy", actEditCopy},
        {"actEditPaste", actEditPaste},
        {"actUndo", actUndo},
        {"actRedo", actRedo},
        {"actFind", actFind},
        {"actReplace", actReplace},
        {"actFindNext", actFindNext},
        {"actAltFindNext", actAltFindNext},
        {"actGrep", actGrep},
        {"actShowCodeTemplates", actShowCodeTemplates},
        {"actGoto", actGoto},
        {"actPreviousError", actPreviousError},
        {"actNextError", actNextError},
        {"actProjectCreate", actProjectCreate},
        {"actProjectOpen", actProjectOpen},
        {"actProjectSave", actProjectSave},
        {"actProjectSaveAs", actProjectSaveAs},
        {"actProjectClose", actProjectClose},
        {"actProjectOptions", actProjectOptions},
        {"actEnvOptions", actEnvOptions},
        {"actPrint", actPrint},
        {"actPrintPreview", actPrintPreview},
        {"actPrintSetup", actPrintSetup},
        {"actToggleMessages", actToggleMessages},
        {"actTraceOn", actTraceOn},
        {"actTraceOff", actTraceOff},
        {"actInformation", actInformation},
        {"actCompile", actCompile},
        {"actCompileToTargetFlash", actCompileToTargetFlash},
        {"actCompileToTargetRAM", actCompileToTargetRAM},
        {"actCompileToTargetFlashRam", actCompileToTargetFlashRam},
        {"actCompileToBinFlash", actCompileToBinFlash},
        {"actCompileToBinFlashRam", actCompileToBinFlashRam},
        {"actCompileBIOS", actCompileBIOS},
        {"actRun", actRun},
        {"actRunNoPoll", actRunNoPoll},
        {"actStop", actStop},
        {"actStepOver", actStepOver},
        {"actTraceInto", actTraceInto},
        {"actSourceStepOver", actSourceStepOver},
        {"actSourceTraceInto", actSourceTraceInto},
        {"actToggleBreakpoint", actToggleBreakpoint},
        {"actToggleHardBrkPt", actToggleHardBrkPt},
        {"actClearAllBrkPts", actClearAllBrkPts},
        {"actToggleInterrupts", actToggleInterrupts},
        {"actPollTarget", actPollTarget},
        {"actResetProgram", actResetProgram},
        {"actCloseSerialPort", actCloseSerialPort},
        {"actEditMode", actEditMode},
        {"actAddWatch", actAddWatch},
        {"actDeleteWatch", actDeleteWatch},
        {"actDeleteWatchButton", actDeleteWatchButton},
        {"actDeleteAllWatches", actDeleteAllWatches},
        {"actUpdateWatchWindow", actUpdateWatchWindow},
        {"actEvaluateExpression", actEvaluateExpression},
        {"actDisassembleAtCursor", actDisassembleAtCursor},
        {"actDisassembleAtAddress", actDisassembleAtAddress},
        {"actDumpAtAddress", actDumpAtAddress},
        {"actGotoExePoint", actGotoExePoint},
        {"actMinimizeDebug", actMinimizeDebug},
        {"actMinimizeEditors", actMinimizeEditors},
        {"actWindowMinimizeAll", actWindowMinimizeAll},
        {"actWindowCascade", actWindowCascade},
        {"actWindowTileHorizontal", actWindowTileHorizontal},
        {"actWindowTileVertical", actWindowTileVertical},
        {"actWindowArrangeAll", actWindowArrangeAll},
        {"actCloseAllWindows", actCloseAllWindows},
        {"actCloseEditors", actCloseEditors},
        {"actCloseDebugWindows", actCloseDebugWindows},
        {"actRestoreAllWindows", actRestoreAllWindows},
        {"actRestoreEditors", actRestoreEditors},
        {"actRestoreDebugWindows", actRestoreDebugWindows},
        {"actToggleStdio", actToggleStdio},
        {"actToggleAsm", actToggleAsm},
        {"actToggleStack", actToggleStack},
        {"actToggleReg", actToggleReg},
        {"actToggleWatch", actToggleWatch},
        {"actHelpAbout", actHelpAbout},
        {"actTip", actTip},
        {"actSplash", actSplash},
        {"actFunctionLookup", actFunctionLookup},
        {"actOnlineDoc", actOnlineDoc},
        {"actKeyWords", actKeyWords},
        {"actOperators", actOperators},
        {"actFuncRef", actFuncRef},
        {"actInstructionRef", actInstructionRef},
        {"actKeystrokes", actKeystrokes},
        {"actContents", actContents},
        {"actTechSupport", actTechSupport},
        {"actIORegisters", actIORegisters},
        {"actViewToolBars", actViewToolBars},
        {"actViewAllToolBar", actViewAllToolBar},
        {"actConsolidate", actConsolidate},
        {"actDefaultToolBars", actDefaultToolBars},
        {"actShowAllButtons", actShowAllButtons},
        {"actCustomizeToolBars", actCustomizeToolBars},
        {"actSeparator", actSeparator},
    };
    for (const auto &[name, action] : actions)
        if (action) {
            action->setObjectName(QString::fromLatin1(name));
            m_actions_by_name[name] = action;
            apply_command_icon(action);
        }
}

// ---- customising ---------------------------------------------------------------------------------

int TfrmMainWindow::ToolBarGroup(const std::string &caption) const
{
    const auto found = m_toolbar_map.find(caption);
    return found == m_toolbar_map.end() ? -1 : found->second;
}

void TfrmMainWindow::actCustomizeToolBarsExecute()
{
    if (m_customize) {
        m_customize->close();
        return;
    }
    m_customize = new TfrmCustomToolBars(this);
    m_customizing = true;
    // Every button can be dragged now, separators too, and every button is on.
    std::vector<QToolBar *> toolbars;
    if (m_consolidated)
        toolbars.push_back(m_consolidated);
    else
        for (const TToolbarEntry &record : m_toolbar_table)
            toolbars.push_back(record.toolbar);
    for (QToolBar *toolbar : toolbars) {
        ArrangeToolBarButtons(toolbar);
        for (QAction *action : toolbar->actions())
            if (QWidget *button = toolbar->widgetForAction(action))
                button->setEnabled(true);
        RecordOf(toolbar).width = ToolBarWidth(toolbar) + kRecordExtra;
    }
    UpdateToolBarActions();
    m_customize->show();
    RelayoutToolBars();
}

void TfrmMainWindow::EndCustomizing()
{
    m_customizing = false;
    m_customize = nullptr;
    m_press_source = nullptr;
    m_drag_source = nullptr;
    std::vector<QToolBar *> toolbars;
    if (m_consolidated)
        toolbars.push_back(m_consolidated);
    for (const TToolbarEntry &record : m_toolbar_table)
        toolbars.push_back(record.toolbar);
    for (QToolBar *toolbar : toolbars) {
        ArrangeToolBarButtons(toolbar);
        for (QAction *action : toolbar->actions())
            if (QWidget *button = toolbar->widgetForAction(action))
                button->setEnabled(action->isSeparator() || action->isEnabled());
        RecordOf(toolbar).width = ToolBarWidth(toolbar) + kRecordExtra;
    }
    UpdateToolBarActions();
    RelayoutToolBars();
}

void TfrmMainWindow::CloseCustomizeDialog()
{
    if (m_customize)
        m_customize->close();
}

bool TfrmMainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // A window of the workspace is polished before it first shows, whoever made it.
    if (m_workspace && watched == m_workspace->viewport() && event->type() == QEvent::ChildPolished)
        if (auto *window = qobject_cast<QMdiSubWindow *>(static_cast<QChildEvent *>(event)->child()))
            LeaveCommandKeys(window);
    if (m_toolbar_control && ToolBarEvent(watched, event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}
