// The program's table of debug windows: a window is made by its row the first time it is
// toggled, closed by the next toggle and shown again by the one after; a child window freed by
// its close is made afresh; a row without a maker refuses; the adapter and the stdio window
// come from the window that exists.
#include "GuiHarness.h"

#include <QMdiSubWindow>
#include <QPointer>

#include "debug/guiDebugWindows.h"
#include "shell/frmKXDockable.h"
#include "core/guiExceptions.h"

namespace {

// A window of the test's own with an adapter, counting how often it was made.
class TableTestWindow : public TfrmDockable, public TStdioWindow {
public:
    TableTestWindow(TfrmMainWindow *main, bool as_child)
        : TfrmDockable(main, QStringLiteral("frmTableTest"), as_child, false, QRect(0, 0, 80, 60))
    {
        adapter.SetWindow(this);
    }
    void StdioOutput(const char *, int) override {}
    void StdioBeginSession() override {}
    bool StdioInputChar(char &) override { return false; }
    cTextStdio adapter;
};

int g_made = 0;
bool g_as_child = false;

TfrmDockable *make_test_window(TfrmMainWindow &main)
{
    ++g_made;
    return new TableTestWindow(&main, g_as_child);
}
TGuiInterface *test_adapter(TfrmDockable &window)
{
    return &static_cast<TableTestWindow &>(window).adapter;
}

// Only the stdio row is filled; every other row is not part of this build.
std::array<DebugWindowKind, kDebugWindowCount> test_rows()
{
    std::array<DebugWindowKind, kDebugWindowCount> rows{};
    for (std::size_t i = 0; i < kDebugWindowCount; ++i)
        rows[i] = {kDebugWindows[i], nullptr, nullptr};
    rows[static_cast<std::size_t>(DebugWindow::Stdio)] = {DebugWindow::Stdio, &make_test_window,
                                                           &test_adapter};
    return rows;
}

class DebugWindowsTable : public GuiTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        g_made = 0;
        g_as_child = GetParam();
    }
    std::array<DebugWindowKind, kDebugWindowCount> m_rows = test_rows();
};

TEST_P(DebugWindowsTable, ToggleMakesClosesAndShowsAgain)
{
    ProgramDebugWindows table(m_rows, &Main());
    EXPECT_FALSE(table.Exists(DebugWindow::Stdio));
    EXPECT_EQ(table.Adapter(DebugWindow::Stdio), nullptr);
    EXPECT_EQ(table.StdioWindow(), nullptr);

    table.Toggle(DebugWindow::Stdio);
    ASSERT_TRUE(table.Exists(DebugWindow::Stdio));
    EXPECT_TRUE(table.IsShown(DebugWindow::Stdio));
    auto *window = static_cast<TableTestWindow *>(table.Window(DebugWindow::Stdio));
    EXPECT_EQ(table.Adapter(DebugWindow::Stdio), &window->adapter);
    EXPECT_EQ(table.StdioWindow(), window);
    EXPECT_EQ(g_made, 1);

    table.Toggle(DebugWindow::Stdio);
    Settle();
    EXPECT_FALSE(table.IsShown(DebugWindow::Stdio));
    // A child is freed by its close, a floating window only hidden.
    EXPECT_EQ(table.Exists(DebugWindow::Stdio), !GetParam());

    table.Toggle(DebugWindow::Stdio);
    EXPECT_TRUE(table.IsShown(DebugWindow::Stdio));
    EXPECT_EQ(g_made, GetParam() ? 2 : 1);
}

TEST_P(DebugWindowsTable, RowsWithoutMakerRefuse)
{
    ProgramDebugWindows table(m_rows, &Main());
    for (DebugWindow window : kDebugWindows) {
        if (window == DebugWindow::Stdio)
            continue;
        try {
            table.Toggle(window);
            ADD_FAILURE() << debug_window_name(window) << " toggled";
        } catch (xErr &error) {
            EXPECT_EQ(error.message_id(), 7159u) << debug_window_name(window);
        }
        EXPECT_FALSE(table.Exists(window));
        EXPECT_FALSE(table.IsShown(window));
        EXPECT_EQ(table.Adapter(window), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(ChildOrFloating, DebugWindowsTable, ::testing::Bool(),
                         [](const auto &i) { return i.param ? "Child" : "Floating"; });

} // namespace
