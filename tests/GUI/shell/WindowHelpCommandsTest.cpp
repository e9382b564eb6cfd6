// The Window and Help menus: the list of workspace windows and its numbering, the minimize,
// close and restore groups, tiling, the debug windows' toggles, the documentation pages and
// the help file through a recording opener, the tip of the day, and Function Lookup over the
// library function index. The debugger, the debug windows and the lookup windows are recording
// doubles.
#include "CommandTestSupport.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <memory>

#include "linker/LB_CAT.h"
#include "settings/guiEnvironment.h"
#include "core/guiExceptions.h"
#include "shell/guiHelpHost.h"

namespace {

class RecordingOpener : public TDocumentOpener {
public:
    std::vector<std::string> calls;
    bool answer = true;
    bool OpenFile(const std::string &path) override
    {
        calls.push_back("file " + path);
        return answer;
    }
    bool OpenUrl(const std::string &url) override
    {
        calls.push_back("url " + url);
        return answer;
    }
};

class RecordingHelpWindows : public THelpWindows {
public:
    std::vector<std::string> calls;
    std::optional<std::string> description_word;
    std::vector<std::string> names;  // the list the lookup window got
    int selected = -2;
    bool refuse_tips = false;
    int tips_browsed = 0; // Next pressed this often before the tip window closes
    std::optional<std::string> DescriptionWord() override { return description_word; }
    void ShowDescription(const std::string &name) override { calls.push_back("describe " + name); }
    void ShowLookup(const std::vector<std::string> &list, const std::string &word,
                    int chosen) override
    {
        calls.push_back("lookup " + word);
        names = list;
        selected = chosen;
    }
    int ShowTipOfTheDay(int index) override
    {
        calls.push_back("tip " + std::to_string(index));
        if (refuse_tips)
            throw xFileOpen(7174, "the tips file \"Tips.dat\" cannot be used: it is missing.",
                            KX_HERE);
        return index + tips_browsed;
    }
};

// Records the order in which windows are asked to close.
class CloseRecorder : public QObject {
public:
    std::vector<QString> closed;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Close)
            if (auto *w = qobject_cast<QMdiSubWindow *>(watched))
                closed.push_back(w->windowTitle());
        return false;
    }
};

class WindowHelp : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        set_document_opener(&m_opener);
        set_help_windows(&m_help);
    }
    void TearDown() override
    {
        set_document_opener(nullptr);
        set_help_windows(nullptr);
        CommandTest::TearDown();
    }
    std::vector<TfrmEdit *> OpenEditors(int count)
    {
        std::vector<TfrmEdit *> editors;
        for (int i = 0; i < count; ++i)
            editors.push_back(Open("w" + std::to_string(i) + ".c", "int x;\n"));
        return editors;
    }
    std::vector<QString> ListCaptions()
    {
        Main().WindowListUpdate();
        std::vector<QString> captions;
        for (QAction *item : Main().WindowListItems())
            captions.push_back(item->text());
        return captions;
    }
    void StoreHelpValue(const std::string &name, const std::string &value)
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key(kSectionPersonality), true));
        ASSERT_TRUE(reg.write_string(name, value));
        ASSERT_TRUE(reg.flush());
    }

    RecordingOpener m_opener;
    RecordingHelpWindows m_help;
};

// ---- the window list ----------------------------------------------------------------------------

struct ListCase {
    int windows;
    int item;             // 0-based
    const char *prefix;   // before the window's caption
};

class WindowListNumbers : public WindowHelp, public ::testing::WithParamInterface<ListCase> {};

TEST_P(WindowListNumbers, ItemsCarryTheirNumberWhileFewerThanElevenAreListed)
{
    const ListCase c = GetParam();
    const std::vector<TfrmEdit *> editors = OpenEditors(c.windows);
    const std::vector<QString> captions = ListCaptions();
    ASSERT_EQ(captions.size(), static_cast<std::size_t>(c.windows));
    EXPECT_EQ(captions[static_cast<std::size_t>(c.item)],
              QString::fromLatin1(c.prefix) +
                  editors[static_cast<std::size_t>(c.item)]->windowTitle());
}

INSTANTIATE_TEST_SUITE_P(All, WindowListNumbers,
                         ::testing::Values(ListCase{1, 0, "&1 "}, ListCase{3, 2, "&3 "},
                                           ListCase{10, 8, "&9 "}, ListCase{10, 9, "1&0 "},
                                           ListCase{11, 0, ""}, ListCase{11, 10, ""}));

TEST_F(WindowHelp, AClosedWindowLeavesTheListAndTheOthersAreNumberedAgain)
{
    std::vector<TfrmEdit *> editors = OpenEditors(3);
    ASSERT_EQ(ListCaptions().size(), 3u);
    const QString last = editors[2]->windowTitle();
    editors[1]->close();
    Settle();
    const std::vector<QString> captions = ListCaptions();
    ASSERT_EQ(captions.size(), 2u);
    EXPECT_EQ(captions[1], "&2 " + last);
}

TEST_F(WindowHelp, ChoosingAnItemRestoresAMinimizedWindowAndActivatesAnother)
{
    std::vector<TfrmEdit *> editors = OpenEditors(2);
    ListCaptions();
    const std::vector<QAction *> items = Main().WindowListItems();
    editors[0]->showMinimized();
    Main().actWinOpenExecute(items[0]);
    EXPECT_FALSE(editors[0]->isMinimized());
    Main().actWinOpenExecute(items[1]);
    EXPECT_EQ(Main().Workspace()->activeSubWindow(), editors[1]);
}

TEST_F(WindowHelp, AnItemWhoseWindowIsGoneDoesNothing)
{
    std::vector<TfrmEdit *> editors = OpenEditors(2);
    ListCaptions();
    QAction *first = Main().WindowListItems()[0];
    delete editors[0];
    Main().actWinOpenExecute(first);  // must neither crash nor show anything
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_EQ(ListCaptions().size(), 1u);
}

// ---- the groups and tiling ----------------------------------------------------------------------

TEST_F(WindowHelp, CloseAllClosesLastToFirst)
{
    std::vector<TfrmEdit *> editors = OpenEditors(3);
    CloseRecorder recorder;
    for (TfrmEdit *editor : editors)
        editor->installEventFilter(&recorder);
    const std::vector<QString> expected = {editors[2]->windowTitle(), editors[1]->windowTitle(),
                                           editors[0]->windowTitle()};
    Main().UpdateActions();
    ASSERT_TRUE(Main().actCloseAllWindows->isEnabled());
    Main().actCloseAllWindows->trigger();
    EXPECT_EQ(recorder.closed, expected);
    Settle();
    EXPECT_TRUE(Main().Editors().empty());
}

TEST_F(WindowHelp, MinimizeAndRestoreAllActOnEveryWindow)
{
    std::vector<TfrmEdit *> editors = OpenEditors(3);
    Main().UpdateActions();
    Main().actWindowMinimizeAll->trigger();
    for (TfrmEdit *editor : editors)
        EXPECT_TRUE(editor->isMinimized());
    Main().UpdateActions();
    Main().actRestoreEditors->trigger();
    for (TfrmEdit *editor : editors)
        EXPECT_FALSE(editor->isMinimized());
}

TEST_F(WindowHelp, GroupsAreOffWithoutTheirWindows)
{
    Main().UpdateActions();
    for (QAction *action : {Main().actWindowMinimizeAll, Main().actCloseAllWindows,
                            Main().actWindowCascade, Main().actWindowTileHorizontal,
                            Main().actCloseEditors, Main().actMinimizeDebug,
                            Main().actToggleAsm})
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
}

TEST_F(WindowHelp, TilingSharesTheWorkspaceInStripsOrColumns)
{
    Main().resize(900, 700);
    std::vector<TfrmEdit *> editors = OpenEditors(3);
    const QRect area = Main().Workspace()->viewport()->rect();
    Main().TileWorkspace(true);
    int top = 0;
    for (TfrmEdit *editor : editors) {
        EXPECT_EQ(editor->geometry().top(), top);
        EXPECT_EQ(editor->geometry().left(), 0);
        EXPECT_EQ(editor->width(), area.width());
        top = editor->geometry().bottom() + 1;
    }
    EXPECT_EQ(top, area.height());
    Main().TileWorkspace(false);
    int left = 0;
    for (TfrmEdit *editor : editors) {
        EXPECT_EQ(editor->geometry().left(), left);
        EXPECT_EQ(editor->height(), area.height());
        left = editor->geometry().right() + 1;
    }
    EXPECT_EQ(left, area.width());
}

TEST_F(WindowHelp, ArrangeIconsLinesMinimizedWindowsAlongTheBottom)
{
    Main().resize(900, 700);
    std::vector<TfrmEdit *> editors = OpenEditors(3);
    editors[0]->showMinimized();
    editors[2]->showMinimized();
    Main().ArrangeIcons();
    const int bottom = Main().Workspace()->viewport()->rect().height();
    EXPECT_EQ(editors[0]->geometry().left(), 0);
    EXPECT_EQ(editors[0]->geometry().bottom() + 1, bottom);
    EXPECT_EQ(editors[2]->geometry().left(), editors[0]->geometry().right() + 1);
    EXPECT_EQ(editors[2]->geometry().bottom() + 1, bottom);
}

// ---- the toggles ----------------------------------------------------------------------------------

struct ToggleCase {
    const char *name;
    DebugWindow window;
    QAction *TfrmMainWindow::*action;
    std::vector<std::string> shown_calls;  // in order, after the window was shown
};

class Toggles : public WindowHelp, public ::testing::WithParamInterface<ToggleCase> {};

TEST_P(Toggles, ShowFillAndFlagTheWindowThenCloseIt)
{
    const ToggleCase &c = GetParam();
    Enter(1);
    QAction *action = Main().*c.action;
    Main().UpdateActions();
    ASSERT_TRUE(action->isEnabled());
    action->trigger();
    EXPECT_EQ(m_windows.calls.back(), std::string("Toggle ") + debug_window_name(c.window));
    EXPECT_TRUE(m_windows.shown[RecordingDebugWindows::Index(c.window)]);
    EXPECT_TRUE(Main().AutoShow(c.window));
    EXPECT_TRUE(InOrder(c.shown_calls));
    EXPECT_TRUE(action->isEnabled());

    m_journal.calls.clear();
    action->trigger();
    EXPECT_FALSE(m_windows.shown[RecordingDebugWindows::Index(c.window)]);
    EXPECT_FALSE(Main().AutoShow(c.window));
    for (const char *fill : {"fillDisassemblyView", "fillStackView", "formatRegisterLines"})
        EXPECT_FALSE(Called(fill)) << fill;
    EXPECT_TRUE(action->isEnabled());
}

// A window that fails to come up is told once and ends nothing: the program stays stopped
// with its execution point and breakpoints, the editors read-only, the link not reset.
TEST_P(Toggles, AWindowThatFailsIsToldAndTheSessionGoesOn)
{
    const ToggleCase &c = GetParam();
    TfrmEdit *editor = Open("loop.c", "main()\n{\n    for (;;) ;\n}\n");
    Enter(1);
    editor->GetTextEdit()->SetLineMark(pack_position(2, 4), kBreakpointMark);
    editor->GetTextEdit()->SetLineMark(pack_position(1, 0), kExecutionPointMark);
    m_windows.fail = [](DebugWindow) { throw xErr(7159, KX_HERE); };
    QAction *action = Main().*c.action;
    action->trigger();
    Settle();
    EXPECT_TRUE(action->isEnabled());
    EXPECT_FALSE(Main().AutoShow(c.window));
    EXPECT_EQ(Texts(), std::vector<std::string>{"The debug windows are not part of this build."});
    if (c.window == DebugWindow::Watches) {
        EXPECT_TRUE(InOrder({"PausePolling", "ResumePolling"}));
    }
    EXPECT_EQ(Main().RunState(), 1) << "still stopped";
    EXPECT_EQ(Main().DebugMode(), 1);
    EXPECT_TRUE(editor->IsReadOnly());
    EXPECT_EQ(editor->MarkerState().Breakpoints(), (std::vector<TTextPosition>{{2, 4}}));
    EXPECT_EQ(editor->MarkerState().ExecutionPoint(), (TTextPosition{1, 0}));
    Main().UpdateActions();
    EXPECT_TRUE(Main().actStepOver->isEnabled()) << "the Run menu is still live";
}

// The windows the debugger asks for on its own (entering debug mode, a stop) fail the same
// way: the reason is told once for the session, and debug mode is entered all the same.
TEST_F(WindowHelp, WindowsThatFailWhileEnteringDebugModeAreToldOnce)
{
    TfrmEdit *editor = Open("loop.c", "main()\n{\n}\n");
    IdePreferences().open_all = true;
    m_windows.fail = [](DebugWindow) { throw xErr(7159, KX_HERE); };
    Main().SetDebugMode(1);
    EXPECT_EQ(Texts(), std::vector<std::string>{"The debug windows are not part of this build."});
    EXPECT_EQ(Main().RunState(), 1);
    EXPECT_TRUE(editor->IsReadOnly());
    EXPECT_EQ(Main().ShowRegistersWindow(true), nullptr);
    EXPECT_EQ(Texts().size(), 1u) << "the same reason is not told again in this session";
}

INSTANTIATE_TEST_SUITE_P(
    All, Toggles,
    ::testing::Values(
        ToggleCase{"Disassembly", DebugWindow::Disassembly, &TfrmMainWindow::actToggleAsm,
                   {"fillDisassemblyView", "TcSetSendFlag 2 on"}},
        ToggleCase{"Stack", DebugWindow::Stack, &TfrmMainWindow::actToggleStack,
                   {"TcSetSendFlag 0 on", "fillStackView"}},
        ToggleCase{"Registers", DebugWindow::Registers, &TfrmMainWindow::actToggleReg,
                   {"formatRegisterLines"}},
        ToggleCase{"Watches", DebugWindow::Watches, &TfrmMainWindow::actToggleWatch,
                   {"PausePolling", "TcSetSendFlag 1 on", "ResumePolling"}},
        ToggleCase{"Stdio", DebugWindow::Stdio, &TfrmMainWindow::actToggleStdio, {}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(WindowHelp, TogglesAreOffInEditMode)
{
    Main().UpdateActions();
    Main().actToggleReg->trigger();
    EXPECT_TRUE(m_windows.calls.empty());
}

// ---- help ------------------------------------------------------------------------------------------

TEST_F(WindowHelp, AnEmptyDocumentAddressIsAFileNotFound)
{
    IdePreferences().default_url.clear();
    Main().actOnlineDoc->trigger();
    EXPECT_TRUE(m_opener.calls.empty());
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "File not found");
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
}

TEST_F(WindowHelp, AStoredFileReachesTheOpenerAsAFile)
{
    const std::string page = Write("kw page.htm", "<html></html>");
    StoreHelpValue("DefaultKeywordURL", page);
    Main().actKeyWords->trigger();
    EXPECT_EQ(m_opener.calls, std::vector<std::string>{"file " + page});
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(WindowHelp, AnAddressReachesTheOpenerWholeBlanksQuotesAndSemicolonsIncluded)
{
    const std::string url = "http://127.0.0.1/a b?q=\"x\";rm -rf ~";
    StoreHelpValue("DefaultOperatorURL", url);
    Main().actOperators->trigger();
    EXPECT_EQ(m_opener.calls, std::vector<std::string>{"url " + url});
}

TEST_F(WindowHelp, AnAddressTheOpenerRefusesIsReportedAsOnlineDocuments)
{
    StoreHelpValue("DefaultFunctionURL", "http://127.0.0.1/none");
    m_opener.answer = false;
    Main().actFuncRef->trigger();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "Browser path or URL not found");
    EXPECT_EQ(m_boxes.shown[0].caption, "Online Documents");
}

TEST_F(WindowHelp, TechSupportHasAnAddressWithoutSettings)
{
    Main().actTechSupport->trigger();
    ASSERT_EQ(m_opener.calls.size(), 1u);
    EXPECT_EQ(m_opener.calls[0].rfind("url http", 0), 0u) << m_opener.calls[0];
}

TEST_F(WindowHelp, TheHelpFileIsOpenedWhenItExistsAndMissedOtherwise)
{
    IdePreferences().help_file = "kxw help.hlp";
    Main().actContents->trigger();
    EXPECT_TRUE(m_opener.calls.empty());
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "File not found");
    const std::string file = Write("kxw help.hlp", "help");
    Main().actKeystrokes->trigger();
    EXPECT_EQ(m_opener.calls, std::vector<std::string>{"file " + file})
        << "without a keystrokes page beside it the help file itself";
}

// The defaults name the pages the build stages below the program directory: the user guide
// for Contents and the dialogs' Help buttons, the keystrokes page beside it for Keystrokes.
TEST_F(WindowHelp, ContentsAndKeystrokesOpenTheStagedGuidePages)
{
    const std::string guide = Write("docs/guide.html", "<html></html>");
    const std::string keys = Write("docs/keystrokes.html", "<html></html>");
    Main().actContents->trigger();
    Main().actKeystrokes->trigger();
    Main().ShowHelpContext(3);  // the Customize Toolbars dialog's Help button
    EXPECT_EQ(m_opener.calls,
              (std::vector<std::string>{"file " + guide, "file " + keys, "file " + guide}));
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(WindowHelp, TheInstructionReferenceIsTheFileBesideTheProgram)
{
    IdePreferences().help_ir_file = "asm.chm";
    const std::string file = Write("asm.chm", "x");
    Main().actInstructionRef->trigger();
    EXPECT_EQ(m_opener.calls, std::vector<std::string>{"file " + file});
    m_opener.calls.clear();
    IdePreferences().help_ir_file = kDefaultHelpIRFile;
    const std::string page = Write("docs/instructions.html", "<html></html>");
    Main().actInstructionRef->trigger();
    EXPECT_EQ(m_opener.calls, std::vector<std::string>{"file " + page}) << "the default";
}

// Each documentation command opens its staged page by default; a stored relative path is
// taken below the program directory, and an absolute one that no longer exists (the program
// moved) gives way to the default.
struct PageCase {
    const char *name;
    QAction *TfrmMainWindow::*action;
    const char *value;  // the setting
    const char *page;   // its default below the program directory
};

class DocumentationPages : public WindowHelp, public ::testing::WithParamInterface<PageCase> {};

TEST_P(DocumentationPages, OpenTheStagedPageARelativeOneAndNotAStaleOne)
{
    const PageCase &c = GetParam();
    const std::string page = Write(c.page, "<html></html>");
    QAction *action = Main().*c.action;
    action->trigger();
    StoreHelpValue(c.value, "/kx-moved-away/build/korvex/" + std::string(c.page));
    action->trigger();
    const std::string own = Write("own/page.htm", "<html></html>");
    StoreHelpValue(c.value, "own\\page.htm");
    action->trigger();
    EXPECT_EQ(m_opener.calls,
              (std::vector<std::string>{"file " + page, "file " + page, "file " + own}));
    EXPECT_TRUE(m_boxes.shown.empty());
    StoreHelpValue(c.value, "own/missing.htm");
    action->trigger();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "File not found");
}

INSTANTIATE_TEST_SUITE_P(
    All, DocumentationPages,
    ::testing::Values(
        PageCase{"Online", &TfrmMainWindow::actOnlineDoc, "DefaultURL", "docs/index.html"},
        PageCase{"KeyWords", &TfrmMainWindow::actKeyWords, "DefaultKeywordURL",
                 "docs/language.html"},
        PageCase{"Operators", &TfrmMainWindow::actOperators, "DefaultOperatorURL",
                 "docs/operators.html"},
        PageCase{"Functions", &TfrmMainWindow::actFuncRef, "DefaultFunctionURL",
                 "docs/functions/index.html"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(WindowHelp, TheTipOfTheDayMovesTheTipsIndexOn)
{
    IdePreferences().tips_index = 4;
    Main().actTip->trigger();
    EXPECT_EQ(m_help.calls, std::vector<std::string>{"tip 4"});
    EXPECT_EQ(IdePreferences().tips_index, 5);
    m_help.tips_browsed = 2;
    Main().actTip->trigger();
    EXPECT_EQ(IdePreferences().tips_index, 8) << "one past the tip on show when it closed";
    m_help.refuse_tips = true;
    Main().actTip->trigger();
    EXPECT_EQ(IdePreferences().tips_index, 8) << "a tip that was not shown does not count";
    EXPECT_EQ(Texts(), std::vector<std::string>{
                           "No tip of the day: the tips file \"Tips.dat\" cannot be used: it is "
                           "missing."});
}

// At start-up with "Show Tips" on, the tip comes after the project and the compiler; a tips
// file that cannot be used is one line in the status bar and no box.
TEST_F(WindowHelp, TheStartUpTipFollowsTheSettingAndABadFileIsAStatusLine)
{
    IdePreferences().show_tips = false;
    Main().ShowStartUpTip();
    EXPECT_TRUE(m_help.calls.empty());
    IdePreferences().show_tips = true;
    m_help.refuse_tips = true;
    Main().ShowStartUpTip();
    EXPECT_EQ(m_help.calls.size(), 1u);
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_NE(Main().StatusPanel(7)->text().toStdString().find("Tips.dat"), std::string::npos);
}

TEST_F(WindowHelp, TheSplashOptionFollowsItsCheckMark)
{
    IdePreferences().show_splash_screen = false;
    Main().actSplash->setChecked(false);
    Main().actSplash->trigger();
    EXPECT_TRUE(IdePreferences().show_splash_screen);
    Main().actSplash->trigger();
    EXPECT_FALSE(IdePreferences().show_splash_screen);
}

// ---- Function Lookup -------------------------------------------------------------------------------

// Descriptions in the library function index: each name once per library listed.
class FunctionLookupCommand : public WindowHelp {
protected:
    void Describe(const std::string &library, const std::vector<std::string> &names)
    {
        create_library_index();
        auto entry = std::make_unique<ZLibEntry>();
        entry->path = Path(library);
        for (const std::string &name : names) {
            auto module = std::make_unique<ZModEntry>();
            module->library = entry.get();
            module->names.push_back(QBString(name.c_str()));
            entry->modules.push_back(std::move(module));
        }
        lib_index_add_modules(*entry, *description_index(), true, true);
        description_index()->libraries.push_back(std::move(entry));
    }
    void LookUp(const std::string &text, int column)
    {
        TfrmEdit *editor = Open("look.c", text + "\n");
        editor->Editor()->setCursorPosition(0, column);
        Main().actFunctionLookup->trigger();
    }
};

TEST_F(FunctionLookupCommand, APrefixOfSeveralFunctionsOpensTheLookupWindow)
{
    Describe("a.lib", {"kxlk_serA", "kxlk_serB", "kxlk_other"});
    LookUp("kxlk_ser();", 3);
    ASSERT_EQ(m_help.calls, std::vector<std::string>{"lookup kxlk_ser"});
    ASSERT_GE(m_help.selected, 0);
    EXPECT_EQ(m_help.names[static_cast<std::size_t>(m_help.selected)], "kxlk_serA");
}

TEST_F(FunctionLookupCommand, AnExactSingleNameOpensItsDescription)
{
    Describe("a.lib", {"kxlk_solo", "kxlk_solo2"});
    LookUp("x = kxlk_solo(1);", 6);
    EXPECT_EQ(m_help.calls, std::vector<std::string>{"describe kxlk_solo"});
}

TEST_F(FunctionLookupCommand, TheLastEntryOfTheListIsFoundToo)
{
    Describe("a.lib", {"zzzzzz_kxlk_last"});
    LookUp("zzzzzz_kxlk_last();", 2);
    EXPECT_EQ(m_help.calls, std::vector<std::string>{"describe zzzzzz_kxlk_last"});
}

TEST_F(FunctionLookupCommand, ANameInTwoLibrariesOpensTheLookupWindow)
{
    Describe("a.lib", {"kxlk_twice"});
    Describe("b.lib", {"kxlk_twice"});
    LookUp("kxlk_twice();", 1);
    EXPECT_EQ(m_help.calls, std::vector<std::string>{"lookup kxlk_twice"});
}

TEST_F(FunctionLookupCommand, WithoutAnEditorTheDescriptionWindowsWordIsLookedUp)
{
    Describe("a.lib", {"kxlk_from_desc"});
    m_help.description_word = "kxlk_from_desc";
    Main().actFunctionLookup->trigger();
    EXPECT_EQ(m_help.calls, std::vector<std::string>{"describe kxlk_from_desc"});
}

} // namespace
