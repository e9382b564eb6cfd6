// The multi-select tree: picked nodes by their data, where the selected node lies, and the
// right-click rule.
#include "GuiHarness.h"

#include <QTest>

#include "controls/MultiSelectTreeView.h"

namespace {

// Three branches of three children each ("b0", "b0.0", ...); absolute indexes run b0 0, b0.0 1,
// b0.1 2, b0.2 3, b1 4, ..., b2 8, b2.0 9, b2.1 10, b2.2 11.
class MultiSelectTree : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        tree = std::make_unique<TMultiSelectTreeView>();
        tree->resize(200, 300);
        for (int b = 0; b < 3; ++b) {
            auto *branch = new QTreeWidgetItem(tree.get(), {QString("b%1").arg(b)});
            for (int c = 0; c < 3; ++c)
                new QTreeWidgetItem(branch, {QString("b%1.%2").arg(b).arg(c)});
        }
        tree->show();
    }
    void TearDown() override
    {
        tree.reset();
        GuiTest::TearDown();
    }
    QTreeWidgetItem *Node(int branch, int child = -1)
    {
        QTreeWidgetItem *b = tree->topLevelItem(branch);
        return child < 0 ? b : b->child(child);
    }
    void RightClick()
    {
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, QPoint(150, 280));
    }
    std::unique_ptr<TMultiSelectTreeView> tree;
    int data = 0;
};

TEST_F(MultiSelectTree, CountsNodesWithDataAndIgnoresTheSelection)
{
    EXPECT_EQ(tree->GetSelCount(), 0);
    TMultiSelectTreeView::SetNodeData(Node(0), &data);
    TMultiSelectTreeView::SetNodeData(Node(1, 2), &data); // inside a collapsed branch
    TMultiSelectTreeView::SetNodeData(Node(2, 0), &data);
    tree->setCurrentItem(Node(2, 1));
    EXPECT_EQ(tree->GetSelCount(), 3);
    TMultiSelectTreeView::SetNodeData(Node(0), nullptr);
    EXPECT_EQ(tree->GetSelCount(), 2);
}

struct WhereCase {
    const char *name;
    int branch, child;
    int level0, index;
};
const WhereCase kWhere[] = {
    {"FirstBranch", 0, -1, 0, 0},
    {"ChildOfTheFirst", 0, 2, 0, 3},
    {"SecondBranch", 1, -1, 1, 4},
    {"ThirdBranch", 2, -1, 2, 8},
    {"ChildOfTheThird", 2, 1, 2, 10},
};
class MultiSelectTreeWhere : public MultiSelectTree,
                             public ::testing::WithParamInterface<WhereCase> {};
TEST_P(MultiSelectTreeWhere, LevelZeroIndexAndAbsoluteIndex)
{
    const WhereCase &c = GetParam();
    tree->setCurrentItem(Node(c.branch, c.child));
    EXPECT_EQ(tree->GetItemLevel0Index(), c.level0);
    EXPECT_EQ(tree->GetItemIndex(), c.index);
}
INSTANTIATE_TEST_SUITE_P(All, MultiSelectTreeWhere, ::testing::ValuesIn(kWhere),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(MultiSelectTree, NothingSelectedGivesZeroAndMinusOne)
{
    EXPECT_EQ(tree->GetItemLevel0Index(), 0);
    EXPECT_EQ(tree->GetItemIndex(), -1);
    TMultiSelectTreeView empty;
    EXPECT_EQ(empty.GetItemLevel0Index(), 0);
    EXPECT_EQ(empty.GetItemIndex(), -1);
}

TEST_F(MultiSelectTree, RightClickWithoutSelectionSelectsTheFirstNode)
{
    RightClick();
    EXPECT_EQ(tree->Selected(), Node(0));
    tree->setCurrentItem(Node(1, 1));
    RightClick();
    EXPECT_EQ(tree->Selected(), Node(1, 1));
    tree->clearSelection();
    RightClick();
    EXPECT_EQ(tree->Selected(), Node(0));
}

// A right-click on a node does not select it: the tree never sees the right button.
TEST_F(MultiSelectTree, RightClickOnANodeKeepsTheSelection)
{
    tree->setCurrentItem(Node(2));
    const QRect second = tree->visualItemRect(Node(1));
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, second.center());
    EXPECT_EQ(tree->Selected(), Node(2));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(tree->Selected(), Node(1));
}

} // namespace
