// Toolbar layouts on Qt's toolbars: the buttons rebuilt from the stored description in their
// order with their tags, docked toolbars back at their place in the top area, floating ones in
// their own window, the built-in layout under its prefix, and descriptions that cannot be used.
#include "GuiHarness.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QToolBar>
#include <QToolButton>

#include <map>
#include <memory>

#include "settings/guiEnvironment.h"
#include "shell/guiToolbars.h"

namespace {

// A main window with four commands, a File menu and the toolbars a test builds.
class TestMainWindow : public QMainWindow, public TToolbarHost {
public:
    std::map<std::string, QAction *> commands;
    std::map<std::string, int> numbers = {
        {"actOpen", 1}, {"actSave", 2}, {"actRun", 0x1234}, {"actStop", -1}};
    std::vector<QToolBar *> set_up;

    TestMainWindow()
    {
        menuBar()->addMenu("&File");
        for (const auto &[name, number] : numbers) {
            auto *action = new QAction(QString::fromStdString(name), this);
            action->setObjectName(QString::fromStdString(name));
            commands[name] = action;
        }
        commands["actRun"]->setMenu(new QMenu(this));
        resize(900, 600);
    }
    QToolBar *Bar(const char *name, std::initializer_list<const char *> items)
    {
        auto *toolbar = new QToolBar(this);
        toolbar->setObjectName(name);
        for (const char *item : items) {
            if (std::string(item) == "-")
                toolbar->addSeparator();
            else
                toolbar->addAction(commands.at(item));
        }
        addToolBar(Qt::TopToolBarArea, toolbar);
        return toolbar;
    }

    QMainWindow *MainWindow() override { return this; }
    QAction *CommandAction(const std::string &command) override
    {
        const auto it = commands.find(command);
        return it == commands.end() ? nullptr : it->second;
    }
    int CommandNumber(const std::string &command) override { return numbers.at(command); }
    void SetUpToolbar(QToolBar *toolbar) override { set_up.push_back(toolbar); }
};

// The toolbar's items as text: command names, "-" for separators, "v" after a drop-down.
std::vector<std::string> items_of(QToolBar *toolbar)
{
    std::vector<std::string> items;
    for (QAction *action : toolbar->actions()) {
        if (action->isSeparator()) {
            items.push_back("-");
            continue;
        }
        auto *button = qobject_cast<QToolButton *>(toolbar->widgetForAction(action));
        const bool drop_down = button && button->popupMode() == QToolButton::MenuButtonPopup;
        items.push_back(action->objectName().toStdString() + (drop_down ? "v" : ""));
    }
    return items;
}

std::vector<int> tags_of(QToolBar *toolbar)
{
    std::vector<int> tags;
    for (QAction *action : toolbar->actions())
        tags.push_back(toolbar->widgetForAction(action)->property(kToolButtonTagProperty).toInt());
    return tags;
}

class ToolbarLayout : public GuiTest {
protected:
    std::unique_ptr<TestMainWindow> main;

    void SetUp() override
    {
        GuiTest::SetUp();
        set_settings_registry_path(Path("registry.kxreg"));
        main = std::make_unique<TestMainWindow>();
    }
    void TearDown() override
    {
        main.reset();
        set_settings_registry_path("");
        GuiTest::TearDown();
    }
    // A fresh main window, as the next run builds it.
    void Restart()
    {
        main = std::make_unique<TestMainWindow>();
    }
    void Show(QMainWindow &window)
    {
        window.show();
        Settle();
    }
    static void StoreComponent(const std::string &name, const std::string &component)
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key("ToolBars\\" + name), true));
        ASSERT_TRUE(reg.write_string("ComponentString", component));
        ASSERT_TRUE(reg.write_integer("visible", 1));
        ASSERT_TRUE(reg.write_integer("width", 77));
        ASSERT_TRUE(reg.flush());
    }
};

TEST_F(ToolbarLayout, TheSameButtonsComeBackInTheirOrderWithTheirTags)
{
    QToolBar *saved = main->Bar("tbFile", {"actOpen", "-", "actRun", "actStop"});
    qobject_cast<QToolButton *>(saved->widgetForAction(main->commands["actRun"]))
        ->setPopupMode(QToolButton::MenuButtonPopup);
    SaveToolbarLayout("", true, 140, saved);

    Restart();
    QPointer<QToolBar> built = main->Bar("tbFile", {"actSave"});
    Show(*main);
    TToolbarEntry entry{false, 0, built};
    LoadToolbarLayout(entry, "", *main);
    ASSERT_NE(entry.toolbar, built.data()) << "a new toolbar";
    EXPECT_EQ(entry.toolbar->objectName(), "tbFile");
    EXPECT_EQ(items_of(entry.toolbar),
              (std::vector<std::string>{"actOpen", "-", "actRunv", "actStop"}));
    EXPECT_EQ(tags_of(entry.toolbar),
              (std::vector<int>{(0 << 16) + (1 << 8), (1 << 16) + (0xFF << 8) + 3,
                                (2 << 16) + (0x34 << 8) + 2, (3 << 16) + (0xFF << 8)}));
    EXPECT_EQ(main->set_up, (std::vector<QToolBar *>{entry.toolbar}));
    EXPECT_TRUE(entry.visible);
    EXPECT_EQ(entry.width, 140);
    EXPECT_EQ(main->toolBarArea(entry.toolbar), Qt::TopToolBarArea);
    EXPECT_TRUE(entry.toolbar->isVisible());
    Settle();
    EXPECT_TRUE(built.isNull()) << "the old toolbar is gone";
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(ToolbarLayout, DockedToolbarsComeBackAtTheirPlaceInTheTopArea)
{
    // Two lines: tbB then tbA on the first, tbC alone on the second.
    QToolBar *b = main->Bar("tbB", {"actSave", "actStop"});
    QToolBar *a = main->Bar("tbA", {"actOpen"});
    main->addToolBarBreak(Qt::TopToolBarArea);
    QToolBar *c = main->Bar("tbC", {"actRun", "actOpen", "actSave"});
    Show(*main);
    std::map<std::string, QPoint> places;
    for (QToolBar *bar : {a, b, c}) {
        SaveToolbarLayout("", true, 0, bar);
        places[bar->objectName().toStdString()] = bar->pos();
    }
    ASSERT_EQ(places["tbB"].y(), places["tbA"].y());
    ASSERT_LT(places["tbB"].x(), places["tbA"].x());
    ASSERT_GT(places["tbC"].y(), places["tbA"].y());

    // Built in another order on one line, then restored one by one.
    Restart();
    std::vector<TToolbarEntry> entries;
    for (const char *name : {"tbC", "tbA", "tbB"})
        entries.push_back({false, 0, main->Bar(name, {"actStop"})});
    Show(*main);
    for (TToolbarEntry &entry : entries)
        LoadToolbarLayout(entry, "", *main);
    Settle();
    for (const TToolbarEntry &entry : entries) {
        const std::string name = entry.toolbar->objectName().toStdString();
        EXPECT_FALSE(entry.toolbar->isFloating()) << name;
        EXPECT_EQ(entry.toolbar->pos(), places[name]) << name;
    }
}

TEST_F(ToolbarLayout, AFloatingToolbarComesBackInItsOwnWindowAtItsPlace)
{
    QToolBar *bar = main->Bar("tbDebug", {"actOpen", "actStop"});
    Show(*main);
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key("ToolBars\\tbDebug"), true));
        ASSERT_TRUE(reg.write_bool("Floating", true));
        ASSERT_TRUE(reg.write_integer("X", 320));
        ASSERT_TRUE(reg.write_integer("Y", 240));
        ASSERT_TRUE(reg.flush());
    }
    TToolbarEntry entry{true, 5, bar};
    LoadToolbarLayout(entry, "", *main);
    EXPECT_EQ(entry.toolbar, bar) << "no stored buttons: the toolbar stays";
    EXPECT_TRUE(bar->isFloating());
    EXPECT_EQ(bar->pos(), QPoint(320, 240));
    EXPECT_EQ(items_of(bar), (std::vector<std::string>{"actOpen", "actStop"}));
    EXPECT_FALSE(entry.visible) << "missing values read as their defaults";
    EXPECT_EQ(entry.width, 0);
    // Saved again, it stays where it floats; docked again, it goes back to the top area.
    bar->move(400, 100);
    SaveToolbarLayout("", true, 0, bar);
    const std::optional<ToolbarValues> stored = ReadToolbarValues("", "tbDebug");
    ASSERT_TRUE(stored);
    EXPECT_TRUE(stored->floating);
    EXPECT_EQ(QPoint(stored->x, stored->y), QPoint(400, 100));
    EXPECT_EQ(stored->component, "ToolBar tbDebug\nButton actOpen\nButton actStop");
    ASSERT_TRUE(WriteToolbarValues("", "tbDebug", {"", true, 0, false, 0, 0}, false));
    LoadToolbarLayout(entry, "", *main);
    QToolBar *docked = entry.toolbar;
    EXPECT_NE(docked, bar) << "rebuilt from its stored buttons";
    EXPECT_FALSE(docked->isFloating());
    EXPECT_EQ(main->toolBarArea(docked), Qt::TopToolBarArea);
    EXPECT_TRUE(docked->isVisible());
    EXPECT_EQ(items_of(docked), (std::vector<std::string>{"actOpen", "actStop"}));
    // Without stored buttons the same toolbar floats and docks again.
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key("ToolBars\\tbDebug"), false));
        ASSERT_TRUE(reg.delete_value("ComponentString"));
        ASSERT_TRUE(reg.flush());
    }
    for (const bool floating : {true, false}) {
        ASSERT_TRUE(WriteToolbarValues("", "tbDebug", {"", true, 0, floating, 30, 40}, false));
        LoadToolbarLayout(entry, "", *main);
        EXPECT_EQ(entry.toolbar, docked);
        EXPECT_EQ(docked->isFloating(), floating);
        EXPECT_TRUE(docked->isVisible()) << floating;
    }
    EXPECT_EQ(main->toolBarArea(docked), Qt::TopToolBarArea);
}

TEST_F(ToolbarLayout, TheConsolidatedToolbarKeepsNoButtonsAndFloatsAtItsWidth)
{
    QToolBar *bar = main->Bar(kConsolidatedToolbar, {"actOpen", "actSave"});
    Show(*main);
    SaveToolbarLayout("", true, 0, bar);
    TKXRegistry reg;
    ASSERT_TRUE(reg.open_key(settings_key("ToolBars\\Consolidated"), false));
    EXPECT_FALSE(reg.value_exists("ComponentString"));
    ASSERT_TRUE(WriteToolbarValues("", kConsolidatedToolbar, {"", true, 250, true, 50, 60}, false));
    TToolbarEntry entry{false, 0, bar};
    LoadToolbarLayout(entry, "", *main);
    EXPECT_TRUE(bar->isFloating());
    EXPECT_EQ(bar->width(), 250);
    EXPECT_EQ(entry.width, 250);
}

TEST_F(ToolbarLayout, TheBuiltInLayoutStaysUnderItsPrefix)
{
    QToolBar *bar = main->Bar("tbFile", {"actOpen", "actSave"});
    Show(*main);
    SaveToolbarLayout("Default ", true, 0, bar);
    bar->removeAction(main->commands["actOpen"]);
    SaveToolbarLayout("", true, 0, bar);
    TToolbarEntry entry{false, 0, bar};
    LoadToolbarLayout(entry, "", *main);
    EXPECT_EQ(items_of(entry.toolbar), (std::vector<std::string>{"actSave"}));
    LoadToolbarLayout(entry, "Default ", *main);
    EXPECT_EQ(items_of(entry.toolbar), (std::vector<std::string>{"actOpen", "actSave"}));
}

TEST_F(ToolbarLayout, WithoutAStoredKeyNothingChanges)
{
    QToolBar *bar = main->Bar("tbFile", {"actOpen"});
    Show(*main);
    const QPoint at = bar->pos();
    TToolbarEntry entry{true, 33, bar};
    LoadToolbarLayout(entry, "", *main);
    EXPECT_EQ(entry.toolbar, bar);
    EXPECT_TRUE(entry.visible);
    EXPECT_EQ(entry.width, 33);
    EXPECT_EQ(bar->pos(), at);
    EXPECT_FALSE(TKXRegistry().key_exists(settings_key("ToolBars\\tbFile")));
}

struct BadCase {
    const char *name;
    std::string component;
    const char *reason;  // part of the box's text
};

const BadCase kBad[] = {
    {"no_header", "Button actOpen", "does not begin with"},
    {"binary", std::string("\x01\xff\0ToolBar", 10), "does not begin with"},
    {"header_without_name", "ToolBar", "does not begin with"},
    {"another_toolbar", "ToolBar tbOther\nButton actOpen", "describes the toolbar \"tbOther\""},
    {"unknown_command", "ToolBar tbFile\nButton actOpen\nButton actFormat",
     "line 3 names the command \"actFormat\""},
    {"unknown_kind", "ToolBar tbFile\nWidget actOpen", "line 2 (\"Widget actOpen\") is no button"},
    {"button_without_command", "ToolBar tbFile\nButton", "line 2"},
    {"separator_with_text", "ToolBar tbFile\nSeparator x", "line 2"},
};

class BadComponent : public ToolbarLayout, public ::testing::WithParamInterface<BadCase> {};

// The toolbar stays as built and points nowhere else; the stored place still applies.
TEST_P(BadComponent, KeepsTheToolbarAndIsReportedOnce)
{
    QPointer<QToolBar> bar = main->Bar("tbFile", {"actSave", "actStop"});
    Show(*main);
    StoreComponent("tbFile", GetParam().component);
    TToolbarEntry entry{false, 0, bar};
    LoadToolbarLayout(entry, "", *main);
    Settle();
    ASSERT_FALSE(bar.isNull());
    EXPECT_EQ(entry.toolbar, bar.data());
    EXPECT_EQ(items_of(bar), (std::vector<std::string>{"actSave", "actStop"}));
    EXPECT_TRUE(main->set_up.empty());
    EXPECT_TRUE(entry.visible);
    EXPECT_EQ(entry.width, 77);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    EXPECT_NE(m_boxes.shown[0].text.find("tbFile"), std::string::npos) << m_boxes.shown[0].text;
    EXPECT_NE(m_boxes.shown[0].text.find(GetParam().reason), std::string::npos)
        << m_boxes.shown[0].text;
}

INSTANTIATE_TEST_SUITE_P(All, BadComponent, ::testing::ValuesIn(kBad),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ToolbarLayout, DescriptionsLineByLine)
{
    QToolBar *bar = main->Bar("tbFile", {"actOpen", "-", "actRun"});
    EXPECT_EQ(ToolbarComponentString(bar),
              "ToolBar tbFile\nButton actOpen\nSeparator\nDropDown actRun")
        << "an action with a menu is a drop-down";
    QToolBar *unnamed = main->Bar("", {"actOpen"});
    EXPECT_FALSE(ToolbarComponentString(unnamed));
    QToolBar *odd = main->Bar("tbOdd", {});
    odd->addAction(new QAction("no name", odd));
    EXPECT_FALSE(ToolbarComponentString(odd));
}

} // namespace
