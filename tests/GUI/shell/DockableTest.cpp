// The dockable window base: the dock zones, the settings sections, where a window lives and
// what closing does to it, its placement through the settings store (each test its own file),
// and drops on another one.
#include "GuiHarness.h"

#include <QDockWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTest>

#include "shell/frmKXDockable.h"

namespace {

struct ZoneCase {
    const char *name;
    int x, y;
    DockAlign align;
    DockRect rect;
};

// One client area of 500 x 400: fifths are 100 wide and 80 high.
const ZoneCase kZones[] = {
    {"Left", 10, 200, DockAlign::Left, {0, 0, 250, 400}},
    {"Top", 250, 10, DockAlign::Top, {0, 0, 500, 200}},
    {"Right", 490, 200, DockAlign::Right, {250, 0, 500, 400}},
    {"Bottom", 250, 390, DockAlign::Bottom, {0, 200, 500, 400}},
    {"Centre", 250, 200, DockAlign::Client, {100, 80, 400, 320}},
    {"LeftWinsTheCorner", 50, 10, DockAlign::Left, {0, 0, 250, 400}},
    {"TopFifthEndsAt80", 250, 80, DockAlign::Client, {100, 80, 400, 320}},
    {"RightStartsAt400", 400, 10, DockAlign::Right, {250, 0, 500, 400}},
    {"NegativeX", -1, 200, DockAlign::None, {}},
    {"NegativeY", 250, -5, DockAlign::None, {}},
    {"BeyondTheRight", 500, 200, DockAlign::None, {}},
};

class DockZones : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(DockZones, OneTableForTheWholeArea)
{
    const ZoneCase &c = GetParam();
    const DockZone zone = dock_zone(500, 400, c.x, c.y);
    EXPECT_EQ(zone.align, c.align);
    EXPECT_EQ(zone.rect, c.rect) << zone.rect.left << "," << zone.rect.top << ","
                                 << zone.rect.right << "," << zone.rect.bottom;
}

INSTANTIATE_TEST_SUITE_P(All, DockZones, ::testing::ValuesIn(kZones),
                         [](const auto &i) { return std::string(i.param.name); });

struct SectionCase {
    const char *name;
    const char *component;
    const char *section;
};

const SectionCase kSectionCases[] = {
    {"Disassembly", "frmDisassembly", "Assembly Window"},
    {"Dump", "frmMemoryDump", "Dump Window"},
    {"SecondDump", "frmMemoryDump2", "Dump Window"},
    {"Stack", "frmStack", "Stack Window"},
    {"Trace", "frmTrace", "Trace Window"},
    {"Stdio", "frmStdio", "Stdio Window"},
    {"Watches", "frmWatches", "Watch Window"},
    {"Messages", "frmMessages", "Message Window"},
    {"Registers", "frmRegisters", "Register Window"},
    {"OthersExactly", "frmWatches2", ""},
    {"CaseCounts", "frmstack", ""},
};

class DockSections : public ::testing::TestWithParam<SectionCase> {};

TEST_P(DockSections, ByComponentName)
{
    EXPECT_EQ(DockStateSection(GetParam().component), GetParam().section);
}

INSTANTIATE_TEST_SUITE_P(All, DockSections, ::testing::ValuesIn(kSectionCases),
                         [](const auto &i) { return std::string(i.param.name); });

// A dockable window with nothing of its own.
class TestWindow : public TfrmDockable {
public:
    TestWindow(TfrmMainWindow *main, const char *name, bool child, bool dockable = true)
        : TfrmDockable(main, QString::fromLatin1(name), child, dockable, kBounds)
    {
    }
    static inline const QRect kBounds{20, 30, 300, 200};
};

class Dockable : public GuiTest {
protected:
    // What the settings store holds for a section (nothing stored: all zero).
    static TDockPlacement Stored(const std::string &section)
    {
        TDockPlacement placement;
        ReadDockState(section, placement);
        return placement;
    }
};

TEST_F(Dockable, ChildLivesInTheWorkspaceAndClosingFreesIt)
{
    QPointer<TestWindow> window = new TestWindow(&Main(), "frmWatches", true);
    ASSERT_NE(window->SubWindow(), nullptr);
    EXPECT_TRUE(Main().Workspace()->subWindowList().contains(window->SubWindow()));
    window->ShowWindow();
    window->SubWindow()->setGeometry(60, 70, 250, 150);
    window->CloseWindow();
    Settle();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(Main().Dockables().empty());
    const TDockPlacement saved = Stored("Watch Window");
    EXPECT_TRUE(saved.child);
    EXPECT_FALSE(saved.visible);
    EXPECT_EQ(QRect(saved.child_left, saved.child_top, saved.child_width, saved.child_height),
              QRect(60, 70, 250, 150));
}

TEST_F(Dockable, FloatingOneIsOnlyHiddenAndComesBackWhereItWas)
{
    QPointer<TestWindow> window = new TestWindow(&Main(), "frmStack", false);
    ASSERT_NE(window->DockWidget(), nullptr);
    EXPECT_TRUE(window->IsFloating());
    window->ShowWindow();
    EXPECT_TRUE(window->IsShown());
    window->Host()->setGeometry(110, 120, 333, 222);
    window->CloseWindow();
    Settle();
    ASSERT_FALSE(window.isNull());
    EXPECT_FALSE(window->IsShown());
    EXPECT_FALSE(window->Placement().child);
    window->Host()->setGeometry(0, 0, 100, 100);
    window->ShowWindow();
    EXPECT_EQ(window->Host()->geometry(), QRect(110, 120, 333, 222));
    delete window->Host();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(Stored("Stack Window").float_width, 333);
    EXPECT_TRUE(Stored("Stack Window").visible) << "it was up again when it went";
}

// The stored placement replaces the form's own; showing the child applies it.
TEST_F(Dockable, StoredPlacementIsRestoredWhenShown)
{
    TDockPlacement stored;
    stored.child_left = 40;
    stored.child_top = 50;
    stored.child_width = 320;
    stored.child_height = 180;
    stored.child = true;
    WriteDockState("Register Window", stored);
    auto *window = new TestWindow(&Main(), "frmRegisters", true);
    EXPECT_EQ(window->Placement(), stored);
    window->ShowWindow();
    EXPECT_EQ(window->SubWindow()->geometry(), QRect(40, 50, 320, 180));

    stored.window_state = 2;
    WriteDockState("Trace Window", stored);
    auto *maximized = new TestWindow(&Main(), "frmTrace", true);
    maximized->ShowWindow();
    EXPECT_TRUE(maximized->SubWindow()->isMaximized());
    maximized->CloseWindow();
    Settle();
    // The normal bounds are kept under the maximized state.
    EXPECT_EQ(Stored("Trace Window").window_state, 2);
    EXPECT_EQ(Stored("Trace Window").child_width, 320);
}

// Without a stored value the form's own bounds stand.
TEST_F(Dockable, MissingValuesKeepTheFormsBounds)
{
    auto *window = new TestWindow(&Main(), "frmStdio", true);
    EXPECT_EQ(window->Placement().child_left, TestWindow::kBounds.left());
    EXPECT_EQ(window->Placement().float_width, TestWindow::kBounds.width());
    EXPECT_FALSE(window->Placement().visible);
    EXPECT_FALSE(window->IsShown());
}

// "Visible" shows a window only once the main window has been shown.
TEST_F(Dockable, VisibleShowsOnlyAfterTheMainWindowsFirstShow)
{
    TDockPlacement stored;
    stored.child_width = 200;
    stored.child_height = 100;
    stored.visible = true;
    WriteDockState("Watch Window", stored);
    TfrmMainWindow hidden;
    hidden.FormCreate();
    ASSERT_EQ(hidden.Tag(), 0);
    auto *early = new TestWindow(&hidden, "frmWatches", true);
    EXPECT_FALSE(early->IsShown());

    // The main window's first show brings it up.
    hidden.show();
    EXPECT_TRUE(early->IsShown());

    ASSERT_EQ(Main().Tag(), 1);
    auto *late = new TestWindow(&Main(), "frmWatches", true);
    EXPECT_FALSE(late->IsShown()) << "not before the window is whole";
    Settle();
    EXPECT_TRUE(late->IsShown());
    EXPECT_EQ(late->SubWindow()->geometry(), QRect(0, 0, 200, 100));
}

TEST_F(Dockable, MainWindowListsItsLiveWindowsInOrder)
{
    auto *a = new TestWindow(&Main(), "frmStack", true);
    auto *b = new TestWindow(&Main(), "frmTrace", false);
    auto *c = new TestWindow(&Main(), "frmStdio", true);
    EXPECT_EQ(Main().Dockables(), (std::vector<TfrmDockable *>{a, b, c}));
    delete b->Host();
    EXPECT_EQ(Main().Dockables(), (std::vector<TfrmDockable *>{a, c}));
    delete c; // the form alone: its host goes with it
    Settle();
    EXPECT_EQ(Main().Dockables(), (std::vector<TfrmDockable *>{a}));
    EXPECT_EQ(Main().Workspace()->subWindowList().size(), 1);
}

// Closing the IDE saves every window's placement.
TEST_F(Dockable, MainWindowTakesItsWindowsAlong)
{
    new TestWindow(&Main(), "frmStack", true);
    new TestWindow(&Main(), "frmTrace", false);
    delete m_main;
    m_main = nullptr;
    EXPECT_TRUE(Stored("Stack Window").child);
    EXPECT_EQ(Stored("Trace Window").float_width, TestWindow::kBounds.width());
}

struct LeftOpenCase {
    const char *name;
    bool child;
    bool shown;
    bool closed_by_user; // after it was shown
    bool docked;         // a floating one docked into the main window first
    bool visible;        // "Visible" as stored when the IDE went
};
const LeftOpenCase kLeftOpen[] = {
    {"ChildUp", true, true, false, false, true},
    {"FloatingUp", false, true, false, false, true},
    {"DockedUp", false, true, false, true, true},
    {"ChildClosedByTheUser", true, true, true, false, false},
    {"FloatingClosedByTheUser", false, true, true, false, false},
    {"NeverShown", false, false, false, false, false},
};

class LeftOpen : public Dockable, public ::testing::WithParamInterface<LeftOpenCase> {};

// "Visible" says whether the window was up when the IDE closed; the next start brings an open
// one back at the main window's first show.
TEST_P(LeftOpen, VisibleIsWhetherTheWindowWasUp)
{
    const LeftOpenCase &c = GetParam();
    auto *window = new TestWindow(&Main(), "frmStdio", c.child);
    if (c.shown)
        window->ShowWindow();
    if (c.docked) {
        Main().addDockWidget(Qt::LeftDockWidgetArea, window->DockWidget());
        window->DockWidget()->setFloating(false);
    }
    if (c.closed_by_user)
        window->CloseWindow();
    Settle();
    ASSERT_TRUE(Main().FormCloseQuery());
    delete m_main;
    m_main = nullptr;
    EXPECT_EQ(Stored("Stdio Window").visible, c.visible);

    // The next start: a window made before the main window's first show.
    TfrmMainWindow next;
    next.FormCreate();
    QPointer<TestWindow> again = new TestWindow(&next, "frmStdio", c.child);
    Settle();
    EXPECT_FALSE(again->IsShown());
    next.show();
    Settle();
    ASSERT_FALSE(again.isNull());
    EXPECT_EQ(again->IsShown(), c.visible);
}

INSTANTIATE_TEST_SUITE_P(All, LeftOpen, ::testing::ValuesIn(kLeftOpen),
                         [](const auto &i) { return std::string(i.param.name); });

struct DropCase {
    const char *name;
    int x, y; // in a site of 500 x 400
    DockAlign align;
};
const DropCase kDrops[] = {
    {"Left", 10, 200, DockAlign::Left},     {"Top", 250, 10, DockAlign::Top},
    {"Right", 490, 200, DockAlign::Right},  {"Bottom", 250, 390, DockAlign::Bottom},
    {"Centre", 250, 200, DockAlign::Client},
};

class DockDrops : public GuiTest, public ::testing::WithParamInterface<DropCase> {};

// A window dropped on another one docks beside it on the zone's side, or in a tab with it.
TEST_P(DockDrops, SplitOrTabbedByZone)
{
    Main().resize(1000, 800);
    auto *site = new TestWindow(&Main(), "frmWatches", false);
    auto *source = new TestWindow(&Main(), "frmStack", false);
    site->ShowWindow();
    source->ShowWindow();
    site->Host()->resize(500, 400);
    const DropCase &c = GetParam();
    ASSERT_TRUE(site->DockOnto(source, c.x * site->width() / 500, c.y * site->height() / 400));
    Settle();
    QDockWidget *s = site->DockWidget();
    QDockWidget *d = source->DockWidget();
    EXPECT_FALSE(s->isFloating());
    EXPECT_FALSE(d->isFloating());
    const QRect sg = s->geometry(), dg = d->geometry();
    switch (c.align) {
    case DockAlign::Left:
        EXPECT_LE(dg.right(), sg.left());
        EXPECT_EQ(dg.top(), sg.top());
        break;
    case DockAlign::Right:
        EXPECT_GE(dg.left(), sg.right());
        EXPECT_EQ(dg.top(), sg.top());
        break;
    case DockAlign::Top:
        EXPECT_LE(dg.bottom(), sg.top());
        break;
    case DockAlign::Bottom:
        EXPECT_GE(dg.top(), sg.bottom());
        break;
    case DockAlign::Client:
        EXPECT_TRUE(Main().tabifiedDockWidgets(s).contains(d));
        break;
    case DockAlign::None:
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(All, DockDrops, ::testing::ValuesIn(kDrops),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(Dockable, DropsThatCannotDock)
{
    auto *site = new TestWindow(&Main(), "frmWatches", false);
    auto *fixed = new TestWindow(&Main(), "frmStack", false, false);
    auto *child = new TestWindow(&Main(), "frmStdio", true);
    site->ShowWindow();
    EXPECT_FALSE(site->DockOnto(fixed, 10, 200)) << "a window that may not dock";
    EXPECT_FALSE(site->DockOnto(child, 10, 200)) << "an MDI child";
    EXPECT_FALSE(site->DockOnto(site, 10, 200)) << "itself";
    EXPECT_FALSE(site->DockOnto(nullptr, 10, 200));
    EXPECT_TRUE(site->IsFloating());
    DockZone zone;
    EXPECT_FALSE(site->FormDockOver(nullptr, 10, 200, zone));
    EXPECT_EQ(zone.align, DockAlign::None);
}

// Over a zone the rectangle is given on the screen, and both windows save their placement.
TEST_F(Dockable, DockOverGivesTheScreenRectangle)
{
    auto *site = new TestWindow(&Main(), "frmWatches", false);
    auto *source = new TestWindow(&Main(), "frmStack", false);
    site->ShowWindow();
    source->ShowWindow();
    source->Host()->move(77, 88);
    site->Host()->resize(500, 400);
    DockZone zone;
    ASSERT_TRUE(site->FormDockOver(source, site->width() - 1, site->height() / 2, zone));
    EXPECT_EQ(zone.align, DockAlign::Right);
    const QPoint origin = site->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(zone.rect, (DockRect{origin.x() + site->width() / 2, origin.y(),
                                   origin.x() + site->width(), origin.y() + site->height()}));
    EXPECT_EQ(source->Placement().float_left, source->Host()->geometry().left());
    EXPECT_EQ(source->Placement().float_top, source->Host()->geometry().top());
}

} // namespace
