// guiToolbars: toolbar layouts on Qt's toolbars and main window. The main window calls these
// when it is shown (the built-in layouts stored once under "Default ", then the user's
// restored) and when it closes (the user's stored), and its command that goes back to the
// built-in layout loads with "Default ".
#include "guiToolbars.h"

#include <QAction>
#include <QLayout>
#include <QMainWindow>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <vector>

#include "settings/guiEnvironment.h"
#include "guiHosts.h"
#include "core/guiInterface.h"

namespace {

enum : uint32_t {
    kMsgToolbarNotRestored = 7351,
};

enum class ItemKind : uint8_t { Button, DropDown, Separator };

// Tag kinds of the buttons.
constexpr int kTagDropDown = 2;
constexpr int kTagSeparator = 3;

struct Item {
    ItemKind kind;
    std::string command;  // empty for a separator
};

struct Component {
    std::string name;
    std::vector<Item> items;
};

bool usable_name(const std::string &name)
{
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) <= ' ' || c == 0x7F;
    });
}

// "Keyword rest": the keyword and what follows its one blank (empty without one).
std::pair<std::string, std::string> split_word(const std::string &line)
{
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return {line, {}};
    return {line.substr(0, blank), line.substr(blank + 1)};
}

// The description of a toolbar, or why it cannot be used. Every command must be one the main
// window knows.
std::optional<Component> parse_component(const std::string &text, TToolbarHost &host,
                                         std::string &why)
{
    const std::vector<std::string> lines = SplitTextLines(text);
    Component component;
    const auto [head, name] = lines.empty() ? std::pair<std::string, std::string>()
                                            : split_word(lines[0]);
    if (head != "ToolBar" || !usable_name(name)) {
        why = "it does not begin with \"ToolBar\" and the toolbar's name.";
        return std::nullopt;
    }
    component.name = name;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        const auto [kind, command] = split_word(lines[i]);
        if (kind == "Separator" && command.empty()) {
            component.items.push_back({ItemKind::Separator, {}});
            continue;
        }
        if ((kind != "Button" && kind != "DropDown") || !usable_name(command)) {
            why = "line " + number + " (\"" + lines[i] + "\") is no button.";
            return std::nullopt;
        }
        if (!host.CommandAction(command)) {
            why = "line " + number + " names the command \"" + command +
                  "\", which the main window does not have.";
            return std::nullopt;
        }
        component.items.push_back(
            {kind == "Button" ? ItemKind::Button : ItemKind::DropDown, command});
    }
    return component;
}

// A toolbar of the description, owned by the main window, set up as the main window's own.
QToolBar *build_toolbar(const Component &component, TToolbarHost &host)
{
    QMainWindow *main = host.MainWindow();
    QWidget *bar = host.ControlBar();
    auto *toolbar = bar ? new QToolBar(bar) : new QToolBar(main);
    toolbar->setObjectName(QString::fromLatin1(component.name.c_str()));
    toolbar->setWindowTitle(toolbar->objectName());
    toolbar->setMovable(true);
    toolbar->setFloatable(true);
    for (std::size_t i = 0; i < component.items.size(); ++i) {
        const Item &item = component.items[i];
        QAction *action = item.kind == ItemKind::Separator ? toolbar->addSeparator()
                                                           : host.CommandAction(item.command);
        if (item.kind != ItemKind::Separator)
            toolbar->addAction(action);
        QWidget *button = toolbar->widgetForAction(action);
        const int number = item.kind == ItemKind::Separator ? -1 : host.CommandNumber(item.command);
        const int kind = item.kind == ItemKind::Separator  ? kTagSeparator
                         : item.kind == ItemKind::DropDown ? kTagDropDown
                                                           : 0;
        // Stated both ways: Qt makes an action with a menu a drop-down unless told.
        if (auto *tool_button = qobject_cast<QToolButton *>(button))
            tool_button->setPopupMode(item.kind == ItemKind::DropDown
                                          ? QToolButton::MenuButtonPopup
                                          : QToolButton::DelayedPopup);
        if (button)
            button->setProperty(kToolButtonTagProperty,
                                (static_cast<int>(i) << 16) + ((number & 0xFF) << 8) + kind);
    }
    host.SetUpToolbar(toolbar);
    return toolbar;
}

// The top-left corner of the top toolbar area, in the main window: right below its menu bar.
QPoint dock_origin(const QMainWindow *main)
{
    const QWidget *menu = main->menuWidget();
    return QPoint(0, menu && !menu->isHidden() ? menu->geometry().bottom() + 1 : 0);
}

void settle_layout(QMainWindow *main)
{
    if (main->layout()) {
        main->layout()->invalidate();
        main->layout()->activate();
    }
}

// A toolbar that floats becomes a window of its own at (x, y); one that floats already moves.
void place_floating(QMainWindow *main, QToolBar *toolbar, int x, int y)
{
    if (!toolbar->isWindow()) {
        if (toolbar->parentWidget() == main)
            main->removeToolBar(toolbar);
        toolbar->setParent(main, Qt::Tool | Qt::FramelessWindowHint);
        toolbar->adjustSize();
    }
    toolbar->move(x, y);
}

// A toolbar of the main window's control bar stands at (x, y) in it; one that floated comes
// back into it.
void place_in_bar(QWidget *bar, QToolBar *toolbar, int x, int y)
{
    if (toolbar->parentWidget() != bar || toolbar->isWindow())
        toolbar->setParent(bar, Qt::Widget);
    toolbar->move(x, y);
}

// The toolbar goes to (x, y) in the top area: the visible docked toolbars there are put in
// order of their lines (equal tops) and, within a line, of their left edges, the toolbar among
// them at its stored place; a top no other toolbar has starts a line of its own.
void place_docked(QMainWindow *main, QToolBar *toolbar, int x, int y)
{
    if (toolbar->isWindow())
        toolbar->setWindowFlags(Qt::Widget);
    settle_layout(main);
    const QPoint origin = dock_origin(main);
    struct Placed {
        QToolBar *bar;
        int x, y;
    };
    std::vector<Placed> bars;
    for (QToolBar *other : main->findChildren<QToolBar *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (other == toolbar || other->isWindow() || other->isHidden() ||
            main->toolBarArea(other) != Qt::TopToolBarArea)
            continue;
        bars.push_back({other, other->x() - origin.x(), other->y() - origin.y()});
    }
    bars.push_back({toolbar, x, y});
    std::stable_sort(bars.begin(), bars.end(), [](const Placed &a, const Placed &b) {
        return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    for (const Placed &placed : bars)
        main->removeToolBar(placed.bar);
    for (std::size_t i = 0; i < bars.size(); ++i) {
        if (i > 0 && bars[i].y != bars[i - 1].y)
            main->addToolBarBreak(Qt::TopToolBarArea);
        main->addToolBar(Qt::TopToolBarArea, bars[i].bar);
        bars[i].bar->show();
    }
    settle_layout(main);
}

} // namespace

std::optional<std::string> ToolbarComponentString(const QToolBar *toolbar)
{
    const std::string name = toolbar->objectName().toStdString();
    if (!usable_name(name))
        return std::nullopt;
    std::string text = "ToolBar " + name;
    for (QAction *action : toolbar->actions()) {
        if (action->isSeparator()) {
            text += "\nSeparator";
            continue;
        }
        const std::string command = action->objectName().toStdString();
        if (!usable_name(command))
            return std::nullopt;
        const auto *button = qobject_cast<const QToolButton *>(toolbar->widgetForAction(action));
        const bool drop_down = button && button->popupMode() == QToolButton::MenuButtonPopup;
        text += (drop_down ? "\nDropDown " : "\nButton ") + command;
    }
    return text;
}

void LoadToolbarLayout(TToolbarEntry &entry, const std::string &prefix, TToolbarHost &host)
{
    QMainWindow *main = host.MainWindow();
    QToolBar *toolbar = entry.toolbar;
    if (!toolbar || !main)
        return;
    const std::string name = toolbar->objectName().toStdString();
    const std::optional<ToolbarValues> values = ReadToolbarValues(prefix, name);
    if (!values)
        return;
    if (!values->component.empty()) {
        std::string why;
        std::optional<Component> component = parse_component(values->component, host, why);
        if (component && component->name != name) {
            why = "it describes the toolbar \"" + component->name + "\".";
            component.reset();
        }
        if (component) {
            // Built whole before the old one goes, so that a failure leaves the entry as it was.
            QToolBar *fresh = build_toolbar(*component, host);
            const bool shown = !toolbar->isHidden();
            if (host.ControlBar())
                fresh->move(toolbar->pos());
            else if (!toolbar->isWindow() && main->toolBarArea(toolbar) != Qt::NoToolBarArea)
                main->insertToolBar(toolbar, fresh);
            else
                main->addToolBar(Qt::TopToolBarArea, fresh);
            if (!host.ControlBar())
                main->removeToolBar(toolbar);
            toolbar->hide();
            toolbar->deleteLater();
            fresh->setVisible(shown);
            toolbar = fresh;
        } else {
            ShowAppMessageBox(GetResString(kMsgToolbarNotRestored, name.c_str(), why.c_str()),
                              GetResString(kMsgErrorCaption), kMbOk | kMbIconError);
        }
    }
    const bool shown = !toolbar->isHidden();
    entry.visible = values->visible;
    entry.width = values->width;
    if (values->floating) {
        place_floating(main, toolbar, values->x, values->y);
        if (name == kConsolidatedToolbar)
            toolbar->resize(entry.width, toolbar->height());
    } else if (QWidget *bar = host.ControlBar()) {
        place_in_bar(bar, toolbar, values->x, values->y);
    } else {
        place_docked(main, toolbar, values->x, values->y);
    }
    toolbar->setVisible(shown);
    entry.toolbar = toolbar;
}

void SaveToolbarLayout(const std::string &prefix, bool visible, int32_t width, QToolBar *toolbar)
{
    if (!toolbar)
        return;
    const std::string name = toolbar->objectName().toStdString();
    ToolbarValues values;
    values.visible = visible;
    values.width = width;
    values.floating = toolbar->isWindow();
    QPoint at = toolbar->pos();
    if (!values.floating)
        if (auto *main = qobject_cast<QMainWindow *>(toolbar->parentWidget()))
            at -= dock_origin(main);
    values.x = at.x();
    values.y = at.y();
    // A toolbar that cannot be described (an action without a name) keeps only its place: the
    // next load leaves its buttons as the program builds them.
    const std::optional<std::string> component = ToolbarComponentString(toolbar);
    if (component)
        values.component = *component;
    (void)WriteToolbarValues(prefix, name, values, component && name != kConsolidatedToolbar);
}
