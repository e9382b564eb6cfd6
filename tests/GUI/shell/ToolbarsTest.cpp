// The main window's toolbars: widths by the button rule, the rows of the control bar, the view
// commands, button drops (sent drag and drop events), consolidation, floating and docking with
// the idle work, the built-in layout, Show All Buttons, the customise dialog, and the layout
// kept between runs.
#include "GuiHarness.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QToolBar>
#include <QToolButton>

#include "shell/frmKXCustomToolBars.h"
#include "settings/guiEnvironment.h"
#include "settings/guiKXPreferences.h"
#include "shell/guiToolbars.h"

namespace {

enum Group { kFile, kPrint, kEdit, kCompile, kRun, kInspect, kDebugWindow, kOptions, kWindowView, kHelp };

class Toolbars : public GuiTest {
protected:
    QToolBar *Bar(int group) { return Main().ToolBar(group); }
    // The commands of a toolbar's buttons in order ("-" for a separator).
    std::vector<std::string> Commands(const QToolBar *toolbar)
    {
        std::vector<std::string> names;
        for (QAction *action : toolbar->actions())
            names.push_back(action->isSeparator() ? "-" : action->objectName().toStdString());
        return names;
    }
    QWidget *Button(const QToolBar *toolbar, int index)
    {
        return toolbar->widgetForAction(toolbar->actions().at(index));
    }
    static int Tag(const QWidget *button) { return button->property(kToolButtonTagProperty).toInt(); }
    // A drag of `source` dropped on `target` at `at` (the target's coordinates), as the
    // platform delivers it.
    void Drop(QObject *source, QWidget *target, QPoint at)
    {
        QMimeData *mime = Main().StartToolDrag(source);
        QDragEnterEvent enter(at, Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        ASSERT_TRUE(enter.isAccepted()) << "the target refused the drag";
        QDropEvent drop(QPointF(at), Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        delete mime;
    }
    void DropOnButton(QObject *source, QToolBar *toolbar, int index)
    {
        QWidget *button = Button(toolbar, index);
        Drop(source, toolbar, button->geometry().center());
    }
};

// ---- widths and rows ------------------------------------------------------------------------------

TEST_F(Toolbars, WidthsFollowTheButtonRule)
{
    Main();
    ToolbarValues values;
    values.component = "ToolBar tbarFile\nButton actFileNew\nSeparator\nDropDown actFileOpen";
    values.visible = true;
    ASSERT_TRUE(WriteToolbarValues("", "tbarFile", values, true));
    TToolbarEntry loaded = Main().LoadToolBar(Main().ToolBarTable()[kFile], "");
    EXPECT_EQ(Main().ToolBarWidth(loaded.toolbar), 23 + 7 + 36);
    EXPECT_EQ(loaded.width, 23 + 7 + 36 + 13);
    EXPECT_EQ(Commands(loaded.toolbar),
              (std::vector<std::string>{"actFileNew", "-", "actFileOpen"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Tag(Button(loaded.toolbar, i)) >> 8, (i << 8) | kFile) << "tag of button " << i;
    EXPECT_EQ(Tag(Button(loaded.toolbar, 1)) & 0xFF, 3);
    EXPECT_EQ(Tag(Button(loaded.toolbar, 2)) & 0xFF, 2);
}

TEST_F(Toolbars, AStoredDescriptionThatDoesNotParseLeavesTheToolbarAsBuilt)
{
    ToolbarValues values;
    values.component = "ToolBar tbarRun\nButton actRun\nButton actNoSuchCommand";
    values.visible = true;
    ASSERT_TRUE(WriteToolbarValues("", "tbarRun", values, true));
    Main();
    Settle();
    EXPECT_EQ(Commands(Bar(kRun)), (std::vector<std::string>{"actRun", "actStop"}));
    EXPECT_EQ(Main().ToolBarTable()[kRun].width, 2 * 23 + 13);
    EXPECT_EQ(m_boxes.shown.size(), 1u);
}

TEST_F(Toolbars, RecordsAreTheRuleWidthAndThirteen)
{
    const std::vector<std::pair<int, int>> widths = {{kFile, 3 * 23 + 13}, {kPrint, 23 + 13},
                                                     {kEdit, 6 * 23 + 13}, {kRun, 2 * 23 + 13},
                                                     {kWindowView, 5 * 23 + 13}};
    for (const auto &[group, width] : widths)
        EXPECT_EQ(Main().ToolBarTable()[static_cast<std::size_t>(group)].width, width) << group;
}

TEST_F(Toolbars, RowsWrapWhenTheNextToolbarWouldPassTheWidth)
{
    // The four toolbars hidden at first stored shown, after the others, and Help with four
    // buttons (105 wide with its 13).
    const char *const stored[] = {"tbarWatch", "tbarOptions", "tbarWindowView", "tbarHelp"};
    for (int i = 0; i < 4; ++i) {
        ToolbarValues values;
        values.visible = true;
        values.x = 1000 + i;
        values.y = 2;
        if (i == 3)
            values.component = "ToolBar tbarHelp\nButton actContents\nButton actKeystrokes\n"
                               "Button actTip\nButton actSplash";
        ASSERT_TRUE(WriteToolbarValues("", stored[i], values, i == 3));
    }
    Main().resize(760, 600);
    Settle();
    // In place order (the stored ones after the others): widths 82 36 151 59 59 82 82 59 128
    // end at 738; Help would end at 843.
    const int width = Main().ToolBarControl()->width();
    ASSERT_TRUE(width >= 738 && width < 843) << width;
    Main().RelayoutToolBars();
    Settle();
    const std::vector<std::tuple<int, int, int>> places = {
        {kFile, 11, 2},         {kPrint, 93, 2},    {kEdit, 129, 2},
        {kCompile, 280, 2},     {kRun, 339, 2},     {kDebugWindow, 398, 2},
        {kInspect, 480, 2},     {kOptions, 562, 2}, {kWindowView, 621, 2},
        {kHelp, 11, 28}};
    for (const auto &[group, left, top] : places) {
        EXPECT_EQ(Bar(group)->pos(), QPoint(left, top)) << Bar(group)->windowTitle().toStdString();
        EXPECT_TRUE(Bar(group)->isVisible());
    }
    EXPECT_EQ(Main().ToolBarControl()->height(), 52);
}

TEST_F(Toolbars, NothingIsLaidOutBeforeTheWindowIsShown)
{
    TfrmMainWindow main;
    main.FormCreate();
    main.RelayoutToolBars();
    Settle();
    EXPECT_EQ(main.LayoutsDone(), 0);
}

TEST_F(Toolbars, HidingTheLastToolbarHidesTheBarAndShowingOneShowsIt)
{
    Main();
    for (std::size_t i = 0; i < Main().ToolBarTable().size(); ++i)
        if (!Bar(static_cast<int>(i))->isHidden())
            Main().ViewToolBarActions()[i]->trigger();
    EXPECT_FALSE(Main().ToolBarControl()->isVisible());
    Main().ViewToolBarActions()[kHelp]->trigger();
    EXPECT_TRUE(Main().ToolBarControl()->isVisible());
    EXPECT_TRUE(Bar(kHelp)->isVisible());
}

// ---- drops -------------------------------------------------------------------------------------------

TEST_F(Toolbars, AButtonDroppedOnAnotherToolbarsButtonMovesThereBeforeIt)
{
    Main();
    Settle();
    DropOnButton(Button(Bar(kEdit), 0), Bar(kFile), 1);
    EXPECT_EQ(Commands(Bar(kFile)),
              (std::vector<std::string>{"actFileNew", "actEditCut", "actFileOpen", "actFileSave"}));
    EXPECT_EQ(Commands(Bar(kEdit)), (std::vector<std::string>{"actEditCopy", "actEditPaste",
                                                              "actFind", "actReplace",
                                                              "actFindNext"}));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Tag(Button(Bar(kFile), i)) >> 8, (i << 8) | kFile) << i;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Tag(Button(Bar(kEdit), i)) >> 8, (i << 8) | kEdit) << i;
    EXPECT_EQ(Main().ToolBarTable()[kFile].width, 4 * 23 + 13);
    EXPECT_EQ(Main().ToolBarTable()[kEdit].width, 5 * 23 + 13);
}

TEST_F(Toolbars, AButtonDroppedWithinItsToolbarMovesThere)
{
    Main();
    DropOnButton(Button(Bar(kEdit), 4), Bar(kEdit), 1);
    EXPECT_EQ(Commands(Bar(kEdit)),
              (std::vector<std::string>{"actEditCut", "actReplace", "actEditCopy", "actEditPaste",
                                        "actFind", "actFindNext"}));
}

TEST_F(Toolbars, AButtonDroppedOnItselfChangesNothing)
{
    Main();
    const std::vector<std::string> before = Commands(Bar(kFile));
    const int width = Main().ToolBarTable()[kFile].width;
    DropOnButton(Button(Bar(kFile), 1), Bar(kFile), 1);
    EXPECT_EQ(Commands(Bar(kFile)), before);
    EXPECT_EQ(Main().ToolBarTable()[kFile].width, width);
}

struct OffCase {
    const char *name;
    bool on_window;  // else on the control bar outside any toolbar
};

class DropOff : public Toolbars, public ::testing::WithParamInterface<OffCase> {};

TEST_P(DropOff, RemovesTheButton)
{
    Main();
    Settle();
    QWidget *target = GetParam().on_window ? static_cast<QWidget *>(&Main())
                                           : Main().ToolBarControl();
    const QPoint at = GetParam().on_window ? QPoint(300, 300)
                                           : QPoint(Main().ToolBarControl()->width() - 2, 1);
    Drop(Button(Bar(kRun), 1), target, at);
    EXPECT_EQ(Commands(Bar(kRun)), std::vector<std::string>{"actRun"});
    EXPECT_EQ(Main().ToolBarTable()[kRun].width, 23 + 13);
}

INSTANTIATE_TEST_SUITE_P(All, DropOff,
                         ::testing::Values(OffCase{"OnTheWindow", true},
                                           OffCase{"OnTheControlBar", false}),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- consolidation ----------------------------------------------------------------------------------

TEST_F(Toolbars, ConsolidationGathersTheVisibleButtonsInPlaceOrder)
{
    Main().resize(900, 600);
    Main().RelayoutToolBars();
    Settle();
    Main().actConsolidate->trigger();
    QToolBar *consolidated = Main().ConsolidatedToolBar();
    ASSERT_NE(consolidated, nullptr);
    EXPECT_EQ(consolidated->objectName(), "Consolidated");
    EXPECT_EQ(Commands(consolidated),
              (std::vector<std::string>{"actFileNew", "actFileOpen", "actFileSave", "actPrint",
                                        "actEditCut", "actEditCopy", "actEditPaste", "actFind",
                                        "actReplace", "actFindNext", "actEditMode", "actCompile",
                                        "actRun", "actStop", "actToggleAsm", "actToggleStack",
                                        "actToggleReg"}));
    // Each copy keeps its home group and counts within it.
    EXPECT_EQ(Tag(Button(consolidated, 4)) >> 8, (0 << 8) | kEdit);
    EXPECT_EQ(Tag(Button(consolidated, 5)) >> 8, (1 << 8) | kEdit);
    for (const TToolbarEntry &record : Main().ToolBarTable())
        EXPECT_TRUE(record.toolbar->isHidden());
    Main().actConsolidate->trigger();
    Settle();
    EXPECT_EQ(Main().ConsolidatedToolBar(), nullptr);
    EXPECT_TRUE(Bar(kFile)->isVisible());
    EXPECT_TRUE(Bar(kInspect)->isHidden());
}

TEST_F(Toolbars, AButtonDroppedOffTheConsolidatedToolbarLeavesItsHomeToolbarToo)
{
    Main();
    Main().actConsolidate->trigger();
    Settle();
    QToolBar *consolidated = Main().ConsolidatedToolBar();
    Drop(Button(consolidated, 13), Main().ToolBarControl(), QPoint(Main().ToolBarControl()->width() - 2, 25));
    EXPECT_EQ(Commands(Bar(kRun)), std::vector<std::string>{"actRun"});
    ASSERT_NE(Main().ConsolidatedToolBar(), nullptr);
    const std::vector<std::string> now = Commands(Main().ConsolidatedToolBar());
    EXPECT_EQ(std::count(now.begin(), now.end(), "actStop"), 0);
    EXPECT_EQ(now.size(), 16u);
}

TEST_F(Toolbars, TheIdleWorkLaysOutOnceWhenTheConsolidatedToolbarFloatsAndDocks)
{
    Main();
    Main().actConsolidate->trigger();
    Settle();
    QToolBar *consolidated = Main().ConsolidatedToolBar();
    // Over the workspace, well below the control bar.
    Main().FloatToolBar(consolidated, Main().ToolBarControl()->mapToGlobal(QPoint(40, 300)));
    int before = Main().LayoutsDone();
    Main().ToolBarIdle();
    Main().ToolBarIdle();
    Settle();
    EXPECT_EQ(Main().LayoutsDone(), before + 1);
    // Docked again as a drop into the bar leaves it.
    consolidated->setParent(Main().ToolBarControl(), Qt::Widget);
    consolidated->show();
    before = Main().LayoutsDone();
    Main().ToolBarIdle();
    Main().ToolBarIdle();
    Settle();
    EXPECT_EQ(Main().LayoutsDone(), before + 1);
    before = Main().LayoutsDone();
    Main().ToolBarIdle();
    Settle();
    EXPECT_EQ(Main().LayoutsDone(), before) << "idle without a change posts nothing";
}

TEST_F(Toolbars, AConsolidatedLayoutWithNoRoomLaysNothingOut)
{
    Main();
    Main().actConsolidate->trigger();
    Settle();
    QToolBar *consolidated = Main().ConsolidatedToolBar();
    const QSize before = consolidated->size();
    Main().ToolBarControl()->hide();
    Main().LayoutToolBars();  // the division by the bar's height would be by nothing
    EXPECT_EQ(consolidated->size(), before);
}

// ---- default toolbars and show all -----------------------------------------------------------------

TEST_F(Toolbars, DefaultToolbarsBringBackTheBuiltInLayout)
{
    Main();
    Settle();
    Drop(Button(Bar(kEdit), 0), Main().ToolBarControl(), QPoint(Main().ToolBarControl()->width() - 2, 1));
    Main().ViewToolBarActions()[kHelp]->trigger();
    Main().actConsolidate->trigger();
    Main().actDefaultToolBars->trigger();
    Settle();
    EXPECT_EQ(Main().ConsolidatedToolBar(), nullptr);
    EXPECT_FALSE(Main().actConsolidate->isChecked());
    EXPECT_EQ(Commands(Bar(kEdit)),
              (std::vector<std::string>{"actEditCut", "actEditCopy", "actEditPaste", "actFind",
                                        "actReplace", "actFindNext"}));
    EXPECT_TRUE(Bar(kHelp)->isHidden());
    EXPECT_TRUE(Bar(kEdit)->isVisible());
}

TEST_F(Toolbars, ShowAllButtonsShowsEveryToolbarAndUndoesConsolidation)
{
    Main();
    Main().actConsolidate->trigger();
    Main().actShowAllButtons->trigger();
    Settle();
    EXPECT_EQ(Main().ConsolidatedToolBar(), nullptr);
    for (const TToolbarEntry &record : Main().ToolBarTable()) {
        EXPECT_TRUE(record.visible);
        EXPECT_TRUE(record.toolbar->isVisible()) << record.toolbar->windowTitle().toStdString();
    }
}

// ---- the customise dialog ----------------------------------------------------------------------------

class Customize : public Toolbars {
protected:
    TfrmCustomToolBars *Open()
    {
        Main().actCustomizeToolBars->trigger();
        auto *dialog = Main().findChild<TfrmCustomToolBars *>();
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }
};

TEST_F(Customize, TenGroupsInOrderEachShowingOnlyItsPanel)
{
    TfrmCustomToolBars *dialog = Open();
    ASSERT_NE(dialog, nullptr);
    std::vector<std::string> groups;
    for (int i = 0; i < dialog->lbToolButtonGroups->count(); ++i)
        groups.push_back(dialog->lbToolButtonGroups->item(i)->text().toStdString());
    EXPECT_EQ(groups, (std::vector<std::string>{"File", "Print", "Edit", "Compile", "Run",
                                                "Inspect", "Options", "Debug Windows",
                                                "Window View", "Help"}));
    dialog->lbToolButtonGroups->setCurrentRow(2);
    for (int i = 0; i < TfrmCustomToolBars::kGroupCount; ++i)
        EXPECT_EQ(dialog->Panel(i)->isVisible(), i == 2) << groups[static_cast<std::size_t>(i)];
    EXPECT_EQ(dialog->ScrollRange(),
              QSize(dialog->Panel(2)->width() + 20, dialog->Panel(2)->height()));
}

TEST_F(Customize, PaletteButtonsTakeTheGroupOfTheToolbarOfTheirCaption)
{
    TfrmCustomToolBars *dialog = Open();
    ASSERT_NE(dialog, nullptr);
    const std::vector<std::pair<int, int>> groups = {{0, kFile},    {2, kEdit},    {6, kOptions},
                                                     {7, -1},      {8, kWindowView}, {9, kHelp}};
    for (const auto &[palette, group] : groups) {
        QToolBar *bar = dialog->Palettes()[static_cast<std::size_t>(palette)];
        EXPECT_EQ(static_cast<int8_t>((Tag(Button(bar, 1)) >> 8) & 0xFF), group) << palette;
        EXPECT_EQ(Tag(Button(bar, 1)) >> 16, 1);
    }
}

TEST_F(Customize, WhileUpSeparatorsAreButtonsAndTheSeparatorCommandIsOn)
{
    Main();
    Drop(Button(Bar(kFile), 0), Bar(kFile), Button(Bar(kFile), 0)->geometry().center());
    Open();
    Main().UpdateActions();
    EXPECT_TRUE(Main().actSeparator->isEnabled());
    EXPECT_FALSE(Main().actShowAllButtons->isEnabled());
    EXPECT_TRUE(Main().actCustomizeToolBars->isChecked());
}

TEST_F(Customize, ALabelDroppedOnAToolbarButtonInsertsItsCommandAndThePaletteKeepsIt)
{
    TfrmCustomToolBars *dialog = Open();
    ASSERT_NE(dialog, nullptr);
    const std::vector<QLabel *> labels = dialog->Labels(kFile);
    ASSERT_GE(labels.size(), 4u);
    QLabel *save_all = labels[3];
    EXPECT_EQ(save_all->text(), Main().actFileSaveAll->text().remove('&'));
    DropOnButton(save_all, Bar(kFile), 0);
    EXPECT_EQ(Commands(Bar(kFile)).front(), "actFileSaveAll");
    EXPECT_EQ(Commands(Bar(kFile)).size(), 4u);
    EXPECT_EQ(Commands(dialog->Palettes()[0]).at(3), "actFileSaveAll");
}

TEST_F(Customize, ThePaletteSeparatorInsertsASeparator)
{
    TfrmCustomToolBars *dialog = Open();
    ASSERT_NE(dialog, nullptr);
    QToolBar *palette = dialog->Palettes()[kRun];
    DropOnButton(Button(palette, palette->actions().size() - 1), Bar(kRun), 1);
    EXPECT_EQ(Commands(Bar(kRun)), (std::vector<std::string>{"actRun", "-", "actStop"}));
    EXPECT_EQ(Main().ToolBarTable()[kRun].width, 3 * 23 + 13) << "a separator is a button while customising";
}

TEST_F(Customize, AButtonDroppedOnTheDialogLeavesItsToolbar)
{
    TfrmCustomToolBars *dialog = Open();
    ASSERT_NE(dialog, nullptr);
    Drop(Button(Bar(kCompile), 0), dialog->lbToolButtonGroups, QPoint(5, 5));
    EXPECT_EQ(Commands(Bar(kCompile)), std::vector<std::string>{"actCompile"});
}

TEST_F(Customize, ClosingRestoresTheButtonsByTheirCommands)
{
    TfrmCustomToolBars *dialog = Open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(Button(Bar(kRun), 1)->isEnabled()) << "every button is on while customising";
    dialog->close();
    Settle();
    EXPECT_EQ(Main().findChild<TfrmCustomToolBars *>(), nullptr);
    EXPECT_FALSE(Main().Customizing());
    EXPECT_EQ(Button(Bar(kRun), 1)->isEnabled(), Main().actStop->isEnabled());
    Main().UpdateActions();
    EXPECT_FALSE(Main().actSeparator->isEnabled());
    EXPECT_TRUE(Main().actShowAllButtons->isEnabled());
}

// ---- the layout between runs ------------------------------------------------------------------------

TEST_F(Toolbars, ALayoutSavedAtCloseComesBackAfterARestart)
{
    Main();
    Settle();
    DropOnButton(Button(Bar(kPrint), 0), Bar(kFile), 0);
    Main().ViewToolBarActions()[kHelp]->trigger();
    ASSERT_TRUE(Main().FormCloseQuery());
    delete m_main;
    m_main = nullptr;
    Settle();
    Main();
    Settle();
    EXPECT_EQ(Commands(Bar(kFile)),
              (std::vector<std::string>{"actPrint", "actFileNew", "actFileOpen", "actFileSave"}));
    EXPECT_TRUE(Commands(Bar(kPrint)).empty());
    EXPECT_TRUE(Bar(kHelp)->isVisible());
    EXPECT_EQ(Main().ToolBarTable()[kFile].width, 4 * 23 + 13);
}

} // namespace
