// What follows the main window's first show (the start-up project, the title, the status bar,
// the compiler start and its failures), the file watch, dropped files and the list services.
#include "GuiHarness.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <fstream>

#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "SeamDoubles.h"
#include "driver/Temporaryglobals.h"
#include "shell/frmKXMessages.h"
#include "settings/guiEnvironment.h"
#include "settings/guiKXPreferences.h"
#include "settings/guiProjects.h"
#include "shell/guiHelpHost.h"
#include "shell/kxwStartup.h"

namespace {

namespace fs = std::filesystem;

// The tip of the day shown at start-up, recorded (the program's own would wait in its dialog).
class StartUpTips : public THelpWindows {
public:
    std::vector<int> shown;
    std::optional<std::string> DescriptionWord() override { return std::nullopt; }
    void ShowDescription(const std::string &) override {}
    void ShowLookup(const std::vector<std::string> &, const std::string &, int) override {}
    int ShowTipOfTheDay(int index) override
    {
        shown.push_back(index);
        return index;
    }
};

class FirstShow : public GuiTest {
protected:
    StartUpTips m_tips;
    void SetUp() override
    {
        GuiTest::SetUp();
        set_help_windows(&m_tips);
    }
    void TearDown() override
    {
        set_help_windows(nullptr);
        GuiTest::TearDown();
        install_seam_doubles();
        setenv("XDG_CONFIG_HOME", test_config_home().c_str(), 1);
    }
    // The IDE as the program starts it, up to the end of its first-show timer.
    TfrmMainWindow *Start(std::vector<std::string> args = {"kxw"})
    {
        TfrmMainWindow *main = StartIde(args, Path("kxw"));
        m_main = main;
        [&] { QTRY_VERIFY(!main->FirstTimeOnly()->isActive()); }();
        return main;
    }
    std::string Panel(int panel) { return m_main->StatusPanel(panel)->text().toStdString(); }
    std::vector<std::string> MessageLines()
    {
        std::vector<std::string> lines;
        if (frmMessages)
            for (int i = 0; i < frmMessages->lbxMessages->count(); ++i)
                lines.push_back(frmMessages->lbxMessages->item(i)->text().toStdString());
        return lines;
    }
};

// As a new user: nothing stored anywhere. The factory and default projects are written, the
// default one opens, and the window says so.
TEST_F(FirstShow, NewUserGetsTheDefaultProject)
{
    const std::string config = Path("home-config");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    set_ide_store(nullptr);
    set_settings_registry_path("");
    Start();
    EXPECT_TRUE(fs::is_regular_file(config + "/korvex/Factory.kxp"));
    EXPECT_TRUE(fs::is_regular_file(config + "/korvex/Default.kxp"));
    ASSERT_TRUE(gProject);
    EXPECT_EQ(gProject->FileName(), config + "/korvex/Default.kxp");
    EXPECT_EQ(IdePreferences().project, gProject->FileName());
    EXPECT_FALSE(IdePreferences().distribution.empty());
    EXPECT_EQ(m_main->windowTitle().toStdString(), IdePreferences().distribution);
    EXPECT_EQ(Panel(0), "Default");
    EXPECT_EQ(Panel(5), "Edit");
    EXPECT_EQ(Panel(7), "COM1: 115200");
    EXPECT_EQ(m_tips.shown, std::vector<int>{0}) << "the first tip, once, with \"Show Tips\" on";
    EXPECT_EQ(IdePreferences().tips_index, 1);
    EXPECT_EQ(start_up_stage(), 3);
    EXPECT_TRUE(frmMessages.isNull()) << "a clean start shows no messages";
    EXPECT_EQ(gDialogControl.Box(), nullptr);
    EXPECT_TRUE(m_boxes.shown.empty());
    m_main->close();
    FinishIde();
    EXPECT_TRUE(fs::is_regular_file(config + "/korvex/registry.kxreg"));
}

// With its "Child" setting off the messages window is made at start-up, floating and hidden;
// bringing it up shows that one.
TEST_F(FirstShow, FloatingMessagesWindowIsMadeAtStartUp)
{
    IdePreferences().messages.child = false;
    TfrmMainWindow *main = Start();
    ASSERT_FALSE(frmMessages.isNull());
    TfrmMessages *made = frmMessages;
    EXPECT_TRUE(made->IsFloating());
    EXPECT_FALSE(made->IsShown());
    EXPECT_EQ(main->ShowMessagesWindow(), made);
    EXPECT_TRUE(made->IsShown());
}

class MessagesLeftOpen : public FirstShow, public ::testing::WithParamInterface<bool> {
protected:
    void Restart()
    {
        m_main->close();
        FinishIde();
        m_main = nullptr;
        Settle();
        ASSERT_TRUE(frmMessages.isNull());
        Start();
    }
};

// The messages window, up when the IDE closed, is up again at the next start, where it was;
// closed by the user, it stays closed.
TEST_P(MessagesLeftOpen, ComesBackAtTheNextStart)
{
    const bool child = GetParam();
    IdePreferences().messages.child = child;
    Start();
    TfrmMessages *window = m_main->ShowMessagesWindow();
    ASSERT_NE(window, nullptr);
    window->Host()->setGeometry(30, 40, 350, 150);
    Restart();
    ASSERT_FALSE(frmMessages.isNull());
    EXPECT_TRUE(frmMessages->IsShown());
    EXPECT_EQ(frmMessages->IsMdiChild(), child);
    EXPECT_EQ(frmMessages->Host()->geometry(), QRect(30, 40, 350, 150));

    frmMessages->CloseWindow();
    Settle();
    Restart();
    EXPECT_TRUE(frmMessages.isNull() || !frmMessages->IsShown());
    EXPECT_TRUE(m_boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(All, MessagesLeftOpen, ::testing::Bool(),
                         [](const auto &i) { return i.param ? "Child" : "Floating"; });

// "Project" names a file that is gone: the default project opens and becomes "Project".
TEST_F(FirstShow, VanishedProjectGivesWayToTheDefault)
{
    IdePreferences().project = Path("gone.kxp");
    Start();
    ASSERT_TRUE(gProject);
    EXPECT_EQ(gProject->FileName(), gDefaultProjectPath);
    EXPECT_EQ(IdePreferences().project, gDefaultProjectPath);
    EXPECT_EQ(Panel(0), "Default");
    EXPECT_TRUE(m_boxes.shown.empty());
}

// A project named on the command line opens; the caption joins its name and the
// distribution.
TEST_F(FirstShow, CommandLineProjectNamesTheWindow)
{
    IdePreferences().distribution = "Korvex Dist";
    const std::string project = Write("mine.kxp", "[Debug Options]\r\nMax Breakpoints=7\r\n");
    Start({"kxw", "mine"});
    ASSERT_TRUE(gProject);
    EXPECT_EQ(gProject->FileName(), project);
    EXPECT_EQ(IdePreferences().project, project);
    EXPECT_EQ(IdePreferences().max_breakpoints, 7);
    EXPECT_EQ(Panel(0), "mine");
    EXPECT_EQ(m_main->windowTitle(), "mine - Korvex Dist");
    // Not Qt's display name, which the platform appends to every title a second time.
    EXPECT_FALSE(QGuiApplication::applicationDisplayName().contains("Korvex Dist"));
}

// A project that is there but cannot be read: said once, and the default project opens.
TEST_F(FirstShow, UnreadableProjectIsReportedOnce)
{
    const std::string project = Write("locked.kxp", "[Debug Options]\r\nMax Breakpoints=7\r\n");
    fs::permissions(project, fs::perms::none);
    if (std::ifstream(project))
        GTEST_SKIP() << "this user reads any file: an unreadable project cannot be made";
    IdePreferences().project = project;
    Start();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_NE(m_boxes.shown[0].text.find(project), std::string::npos);
    EXPECT_EQ(gProject->FileName(), gDefaultProjectPath);
    EXPECT_EQ(IdePreferences().max_breakpoints, 32);
}

struct ConfigCase {
    const char *name;
    std::string bytes;
    const char *listed; // a part of the one line listed
};
const ConfigCase kConfigs[] = {
    {"UnknownKey", "lit = 15000\nnonsense = 3\n", "Line 2 of the compiler configuration file sets no known key"},
    {"Binary", std::string("\x01\x02\x00\xff\x7f", 5), "holds binary characters"},
    {"HugeLine", std::string(1 << 20, 'x') + "\n", "is too long"},
    {"OutOfRange", "sym = 99999999\n", "must lie between"},
};

class BadConfig : public FirstShow, public ::testing::WithParamInterface<ConfigCase> {};

// A bad "kxw.cfg": the status box is closed, the messages window is in front and lists the
// line, no box is shown; the compiler's tables stand on their defaults.
TEST_P(BadConfig, ListedInTheMessagesWindow)
{
    Write("kxw.cfg", GetParam().bytes);
    IdePreferences().messages.child = true;
    Start();
    EXPECT_EQ(gDialogControl.Box(), nullptr);
    EXPECT_FALSE(gStatusBoxShown);
    ASSERT_FALSE(frmMessages.isNull());
    EXPECT_TRUE(frmMessages->IsShown());
    EXPECT_EQ(m_main->Workspace()->subWindowList(QMdiArea::StackingOrder).last(),
              frmMessages->SubWindow())
        << "in front";
    const std::vector<std::string> lines = MessageLines();
    ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
    EXPECT_NE(lines[0].find(GetParam().listed), std::string::npos) << lines[0];
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_TRUE(m_main->isVisible());
}

INSTANTIATE_TEST_SUITE_P(All, BadConfig, ::testing::ValuesIn(kConfigs),
                         [](const auto &i) { return std::string(i.param.name); });

// A library index that does not load fails the compiler's start as well.
TEST_F(FirstShow, LibraryIndexThatFailsShowsTheMessagesWindow)
{
    m_linker.index_result = 1;
    Start();
    EXPECT_FALSE(frmMessages.isNull());
    EXPECT_EQ(gDialogControl.Box(), nullptr);
    EXPECT_TRUE(m_boxes.shown.empty());
}

// Without a target link panel 7 cannot be written: the reason is listed with the others, and
// the compiler still starts.
TEST_F(FirstShow, MissingTargetLinkIsListedAndTheCompilerStillStarts)
{
    set_target_operations(nullptr);
    Write("kxw.cfg", "nonsense = 1\n");
    Start();
    const std::vector<std::string> lines = MessageLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("The target link is not part of this build."), std::string::npos);
    EXPECT_NE(lines[1].find("sets no known key"), std::string::npos);
    EXPECT_EQ(start_up_stage(), 3);
    EXPECT_EQ(Panel(5), "Edit");
    // (The project's own load tells of the missing link in its boxes.)
}

// A start-up that failed closes the window at the first tick, before any project or
// "kxw.cfg".
TEST_F(FirstShow, StartupErrorClosesBeforeAnything)
{
    Main();
    gStartupErrorText = "broken";
    Main().FirstTimeOnlyTimer();
    EXPECT_FALSE(Main().isVisible());
    EXPECT_FALSE(gProject);
    EXPECT_EQ(start_up_stage(), 0);
    EXPECT_TRUE(m_linker.calls.empty());
}

struct CommCase {
    const char *name;
    uint32_t tcp;
    const char *address;
    uint16_t port;
    uint32_t com, baud;
    const char *device;
    const char *shown;
};
const CommCase kComms[] = {
    {"Serial", 0, "10.1.1.1", 4244, 3, 57600, "", "COM3: 57600"},
    {"SerialDevice", 0, "", 0, 1, 115200, "/dev/pts/3", "/dev/pts/3: 115200"},
    {"SerialLongDevice", 0, "", 0, 1, 460800,
     "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
     "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0: 460800"},
    {"Tcp", 1, "10.1.1.1", 4244, 3, 57600, "", "10.1.1.1: 4244"},
    {"TcpFullAddress", 2, "192.168.100.200", 65535, 1, 115200, "", "192.168.100.200: 65535"},
    {"TcpNoAddress", 1, "", 0, 1, 115200, "", ": 0"},
};

class CommSummary : public FirstShow, public ::testing::WithParamInterface<CommCase> {};

TEST_P(CommSummary, PanelSevenNamesTheLink)
{
    const CommCase &c = GetParam();
    HeadlessTargetOperations link;
    link.settings.link_kind = c.tcp;
    ASSERT_TRUE(set_comm_text(link.settings.network_address, c.address));
    link.settings.control_port = c.port;
    link.settings.com_port = c.com;
    link.settings.baud_rate = c.baud;
    std::snprintf(link.settings.serial_device.data(), link.settings.serial_device.size(), "%s",
                  c.device);
    set_target_operations(&link);
    Main().resize(640, 480);
    Main().ShowCommSummary();
    QLabel *panel = Main().StatusPanel(7);
    EXPECT_EQ(panel->text().toStdString(), c.shown);
    // The whole text shows, however narrow the window: the panel is at least as wide as it.
    Settle();
    EXPECT_GE(panel->width(), panel->sizeHint().width()) << c.shown;
    EXPECT_GE(panel->width(), panel->fontMetrics().horizontalAdvance(panel->text()));
}

INSTANTIATE_TEST_SUITE_P(All, CommSummary, ::testing::ValuesIn(kComms),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FirstShow, LockedPanelKeepsItsTextUntilUnlocked)
{
    Main().SetStatusPanelText("watch", 7);
    Main().LockStatusPanel(7, true);
    Main().SetStatusText("Sending Poll");
    Main().SetStatusPanelText("other", 7);
    EXPECT_EQ(Main().StatusPanel(7)->text(), "watch");
    Main().SetStatusPanelText("five", 5);
    EXPECT_EQ(Main().StatusPanel(5)->text(), "five") << "the other panels are free";
    Main().LockStatusPanel(7, false);
    Main().SetStatusText("");
    EXPECT_EQ(Main().StatusPanel(7)->text(), "");
    Main().SetStatusPanelText("out of range", 8);
    Main().LockStatusPanel(-1, true);
}

// ---- file watch ------------------------------------------------------------------------------

class FileWatch : public GuiTest {
protected:
    // Rewrites the file as another program would, with a later time stamp.
    void ChangeOutside(const std::string &path, const std::string &bytes)
    {
        const auto before = fs::last_write_time(path);
        Write(fs::path(path).filename().string(), bytes);
        fs::last_write_time(path, before + std::chrono::seconds(2));
    }
    static constexpr const char *kQuestion =
        " has changed.  Would you like to reload the file?";
};

TEST_F(FileWatch, NoKeepsTheTextAndAsksOncePerChange)
{
    const std::string path = Write("a.c", "int a;\n");
    TfrmEdit *editor = Main().OpenFile(path);
    Main().CheckFileTimeStamps();
    EXPECT_TRUE(m_boxes.shown.empty()) << "nothing changed";
    ChangeOutside(path, "int b;\n");
    m_boxes.answers = {kIdNo};
    Main().CheckFileTimeStamps();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "The time stamp for " + path + kQuestion);
    EXPECT_EQ(m_boxes.shown[0].caption, "Reload File?");
    EXPECT_EQ(m_boxes.shown[0].flags & kMbButtonsMask, kMbYesNo);
    EXPECT_EQ(editor->Text(), "int a;\n");
    Main().CheckFileTimeStamps();
    EXPECT_EQ(m_boxes.shown.size(), 1u) << "the same change is asked about once";
    ChangeOutside(path, "int c;\n");
    Main().CheckFileTimeStamps();
    EXPECT_EQ(m_boxes.shown.size(), 2u);
}

TEST_F(FileWatch, YesReloadsAndKeepsTheCaret)
{
    const std::string path = Write("a.c", "int a;\nint b;\n");
    TfrmEdit *editor = Main().OpenFile(path);
    Type(editor, "q"); // unsaved changes are lost on Yes
    editor->Editor()->setCursorPosition(1, 2);
    ChangeOutside(path, "long x;\nlong y;\nlong z;\n");
    m_boxes.answers = {kIdYes};
    Main().CheckFileTimeStamps();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(editor->Text(), "long x;\nlong y;\nlong z;\n");
    EXPECT_FALSE(editor->IsModified());
    int line = -1, column = -1;
    editor->Editor()->getCursorPosition(&line, &column);
    EXPECT_EQ(line, 1);
    EXPECT_EQ(column, 2);
    Main().CheckFileTimeStamps();
    EXPECT_EQ(m_boxes.shown.size(), 1u);
}

// Two editors on one text: one question.
TEST_F(FileWatch, SharedTextIsAskedAboutOnce)
{
    const std::string path = Write("a.c", "int a;\n");
    TfrmEdit *first = Main().OpenFile(path);
    TfrmEdit *second = Main().OpenFile(path);
    ASSERT_NE(first, second);
    ChangeOutside(path, "int z;\n");
    m_boxes.answers = {kIdYes};
    Main().CheckFileTimeStamps();
    EXPECT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(first->Text(), "int z;\n");
    EXPECT_EQ(second->Text(), "int z;\n");
    Main().CheckFileTimeStamps();
    EXPECT_EQ(m_boxes.shown.size(), 1u);
}

// A reload that cannot read the file keeps the text and says why.
TEST_F(FileWatch, ReloadThatCannotReadKeepsTheText)
{
    const std::string path = Write("a.c", "int a;\n");
    TfrmEdit *editor = Main().OpenFile(path);
    ChangeOutside(path, "int b;\n");
    fs::permissions(path, fs::perms::none);
    if (std::ifstream(path))
        GTEST_SKIP() << "this user reads any file: an unreadable file cannot be made";
    m_boxes.answers = {kIdYes};
    Main().CheckFileTimeStamps();
    ASSERT_EQ(m_boxes.shown.size(), 2u);
    EXPECT_NE(m_boxes.shown[1].text.find(path), std::string::npos);
    EXPECT_NE(m_boxes.shown[1].text.find("keeps its text"), std::string::npos);
    EXPECT_EQ(editor->Text(), "int a;\n");
}

TEST_F(FileWatch, OffOrNewFilesAskNothing)
{
    const std::string path = Write("a.c", "int a;\n");
    Main().OpenFile(path);
    Main().OpenFile(Path("new.c")); // not on disk
    ChangeOutside(path, "int b;\n");
    IdePreferences().detect_outside_changes = false;
    Main().CheckFileTimeStamps();
    EXPECT_TRUE(m_boxes.shown.empty());
    IdePreferences().detect_outside_changes = true;
    Main().CheckFileTimeStamps();
    EXPECT_EQ(m_boxes.shown.size(), 1u);
}

// Restoring the main window from minimized runs the watch.
TEST_F(FileWatch, RestoreRunsTheWatch)
{
    const std::string path = Write("a.c", "int a;\n");
    Main().OpenFile(path);
    ChangeOutside(path, "int b;\n");
    Main().setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(m_boxes.shown.empty());
    Main().setWindowState(Qt::WindowNoState);
    EXPECT_EQ(m_boxes.shown.size(), 1u);
}

// ---- dropped files and the list services -------------------------------------------------------

TEST_F(FirstShow, ThreeDroppedFilesOpenInOrder)
{
    const std::vector<std::string> files = {Write("c.c", "c"), Write("a.c", "a"),
                                            Write("b.lib", "b")};
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string &f : files)
        urls << QUrl::fromLocalFile(QString::fromStdString(f));
    data.setUrls(urls);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    // Delivered as the window system's drag would deliver it (outside a drag, the application
    // passes no drop on).
    static_cast<QObject &>(Main()).event(&drop);
    EXPECT_TRUE(drop.isAccepted());
    const std::vector<TfrmEdit *> editors = Main().Editors();
    ASSERT_EQ(editors.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(editors[i]->FileName(), files[i]);
}

class ListServices : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        for (const char *line : {"zero", "one", "two", "three"})
            m_list.addItem(line);
        m_list.setSelectionMode(QAbstractItemView::MultiSelection);
    }
    QListWidget m_list;
};

// The selected lines in order, appended to what the list held; none selected adds nothing.
TEST_F(ListServices, CollectAppendsTheSelectionInOrder)
{
    std::vector<std::string> lines = {"kept", "also kept"};
    Main().CollectListSelection(&m_list, lines);
    EXPECT_EQ(lines.size(), 2u);
    m_list.item(3)->setSelected(true);
    m_list.item(1)->setSelected(true);
    Main().CollectListSelection(&m_list, lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"kept", "also kept", "one", "three"}));
}

TEST_F(ListServices, CopyPutsTheLinesOnTheClipboard)
{
    QApplication::clipboard()->setText("before");
    Main().CopyListSelectionToClipboard(&m_list);
    EXPECT_EQ(QApplication::clipboard()->text(), "before");
    m_list.item(2)->setSelected(true);
    m_list.item(0)->setSelected(true);
    Main().CopyListSelectionToClipboard(&m_list);
    EXPECT_EQ(QApplication::clipboard()->text(), "zero\ntwo\n");
}

TEST_F(ListServices, SaveWritesTheLinesToTheChosenFile)
{
    m_list.item(1)->setSelected(true);
    m_list.item(2)->setSelected(true);
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    m_dialogs.choices = {{Path("out.txt")}, {}};
    auto dialog = make_file_dialog(request);
    EXPECT_TRUE(Main().SaveListSelectionToFile(*dialog, &m_list));
    EXPECT_EQ(Read(Path("out.txt")), "one\ntwo\n");
    // Cancelled: nothing written.
    auto cancelled = make_file_dialog(request);
    EXPECT_FALSE(Main().SaveListSelectionToFile(*cancelled, &m_list));
    EXPECT_TRUE(m_boxes.shown.empty());
}

// A file that cannot be written keeps what it held, and the user hears why.
TEST_F(ListServices, SaveThatFailsSaysWhy)
{
    m_list.item(1)->setSelected(true);
    fs::create_directories(Path("taken.txt"));
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Save;
    m_dialogs.choices = {{Path("taken.txt")}};
    auto dialog = make_file_dialog(request);
    EXPECT_FALSE(Main().SaveListSelectionToFile(*dialog, &m_list));
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_NE(m_boxes.shown[0].text.find("taken.txt"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(Path("taken.txt")));
}

} // namespace
