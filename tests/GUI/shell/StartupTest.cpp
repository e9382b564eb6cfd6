// Start-up and close of the IDE: the command line, a new user's first run, a main window that
// cannot come up, the splash.
#include "GuiHarness.h"

#include <QLabel>
#include <QMdiArea>
#include <QProgressBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "driver/CC_GO.h"
#include "debugger/DB_DA.h"
#include "linker/MAPFILE.h"
#include "driver/Temporaryglobals.h"
#include "settings/guiEnvironment.h"
#include "shell/frmKXSplash.h"
#include "core/guiExceptions.h"
#include "settings/guiKXPreferences.h"
#include "shell/kxwStartup.h"

namespace {

namespace fs = std::filesystem;

struct ArgCase {
    const char *name;
    std::vector<std::string> args; // without the program
    std::vector<std::string> files; // made in the current folder first
    bool debug;
    std::string key;
    std::string project; // expected, relative to the current folder ("" none)
    std::string source;
};

const ArgCase kArgs[] = {
    {"DebugSecondIsNoSwitch", {"a.c", "/debug"}, {"a.c"}, false, "8.51\\", "", "a.c"},
    {"DashCValueAndSource", {"-c", "x", "a.c"}, {"a.c"}, false, "8.51x\\", "", "a.c"},
    {"DebugThenBareProject", {"/debug", "proj"}, {"proj.kxp"}, true, "8.51\\", "proj.kxp", ""},
    {"CapitalProjectExtension", {"P.KXP"}, {"P.KXP"}, false, "8.51\\", "P.KXP", ""},
    {"MissingFileIsNothing", {"gone.c"}, {}, false, "8.51\\", "", ""},
    {"SecondFileIgnored", {"a.c", "b.kxp"}, {"a.c", "b.kxp"}, false, "8.51\\", "", "a.c"},
    {"DebugAnyCase", {"/DEBUG", "a.c"}, {"a.c"}, true, "8.51\\", "", "a.c"},
    {"DashCNeedsTwoArguments", {"-c"}, {}, false, "8.51\\", "", ""},
    {"FolderIsNothing", {"src.c"}, {"src.c/"}, false, "8.51\\", "", ""},
    {"RelativeFolderStays", {"sub/m.c"}, {"sub/m.c"}, false, "8.51\\", "", "sub/m.c"},
};

class CommandLineArgs : public GuiTest, public ::testing::WithParamInterface<ArgCase> {};

TEST_P(CommandLineArgs, ClassifiesAsTheStartUpWould)
{
    const ArgCase &c = GetParam();
    for (const std::string &f : c.files) {
        if (f.back() == '/')
            fs::create_directories(Path(f));
        else
            Write(f, "x");
    }
    std::vector<std::string> args{"kxw"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CommandLine line = ParseCommandLine(args);
    EXPECT_EQ(line.debug_switch, c.debug);
    EXPECT_FALSE(set_settings_version_key(line.c_value).has_value());
    EXPECT_EQ(SettingsVersionKey, c.key);
    if (line.has_file)
        ClassifyCommandLineFile(line.file);
    auto expected = [&](const std::string &rel) {
        if (rel.empty())
            return std::string();
        return rel.find('/') != std::string::npos ? rel : Path(rel);
    };
    EXPECT_EQ(gCmdLineProject, expected(c.project));
    EXPECT_EQ(gCmdLineSource, expected(c.source));
}

INSTANTIATE_TEST_SUITE_P(All, CommandLineArgs, ::testing::ValuesIn(kArgs),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(CommandLine, DebugMustBeTheWholeWord)
{
    const CommandLine line = ParseCommandLine({"kxw", "/debugging/p.kxp"});
    EXPECT_FALSE(line.debug_switch);
    ASSERT_TRUE(line.has_file);
    EXPECT_EQ(line.file, "/debugging/p.kxp");
}

class StartupFiles : public GuiTest {};

// A name far over the old 260-byte buffers is used whole.
TEST_F(StartupFiles, LongPathIsTakenWhole)
{
    std::string rel;
    for (int i = 0; i < 6; ++i)
        rel += std::string(60, char('a' + i)) + "/";
    rel += "main.c";
    const std::string path = Write(rel, "int x;");
    ASSERT_GT(path.size(), 260u);
    ClassifyCommandLineFile(path);
    EXPECT_EQ(gCmdLineSource, path);
}

TEST_F(StartupFiles, UnreadableFileIsNothing)
{
    const std::string path = Write("locked.c", "x");
    fs::permissions(path, fs::perms::none);
    if (std::ifstream(path))
        GTEST_SKIP() << "this user reads any file: an unreadable file cannot be made";
    ClassifyCommandLineFile(path);
    EXPECT_EQ(gCmdLineSource, "");
}

// A FIFO named on the command line (the project's extension completed) would block the start-up
// until something wrote to it: it is named in one box, and neither a project nor a source.
TEST_F(StartupFiles, AFifoIsNamedOnceAndNeitherOpenedNorWaitedFor)
{
    const std::string fifo = Path("pipe.kxp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ClassifyCommandLineFile(Path("pipe"));
    EXPECT_EQ(gCmdLineProject, "");
    EXPECT_EQ(gCmdLineSource, "");
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_NE(m_boxes.shown[0].text.find(fifo + " is not an ordinary file"), std::string::npos)
        << m_boxes.shown[0].text;
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
}

class Startup : public GuiTest {};

// As a new user: nothing stored yet. The main window comes up; closing it writes the settings
// once and the project once.
TEST_F(Startup, NewUserOpensTheMainWindowAndClosingWritesTheSettingsOnce)
{
    ASSERT_TRUE(fs::is_empty(test_config_home()) || fs::exists(test_config_home()));
    TfrmMainWindow *main = StartIde({"kxw"}, Path("bin/kxw"));
    ASSERT_EQ(main, frmMainWindow);
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(main->windowTitle(), "Korvex");
    EXPECT_EQ(main->Tag(), 1);
    EXPECT_EQ(gMainWindowInterface, main->Adapter());
    {
        // The disassembly names a code address by the function a compile recorded there.
        gAddressNameMap[0x2345] = AddressName{0x2345, "recorded_fn"};
        uint16_t length = 0;
        std::string text;
        disassembleOne(0, std::vector<uint8_t>{0xCD, 0x45, 0x23}, length, text);
        gAddressNameMap.erase(0x2345);
        EXPECT_EQ(text, "call   recorded_fn");
    }
    EXPECT_EQ(SettingsVersionKey, "8.51\\");
    EXPECT_EQ(program_directory(), Path("bin") + "/");
    EXPECT_EQ(m_store.loads, 1);
    EXPECT_EQ(m_store.source_extensions, "c;lib;h;hh");
    EXPECT_TRUE(main->FirstTimeOnly()->isActive());
    QTRY_VERIFY(!main->FirstTimeOnly()->isActive());
    EXPECT_TRUE(main->isVisible()); // a good start leaves it open

    main->close();
    EXPECT_FALSE(main->isVisible());
    main->close(); // a second close request writes nothing again
    EXPECT_EQ(m_store.saves, 1);
    EXPECT_EQ(m_store.project_saves, 1);
    EXPECT_EQ(main->Tag(), 0);
    FinishIde();
    EXPECT_EQ(frmMainWindow, nullptr);
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(Startup, ClosingStoresTheWindowPlacement)
{
    IdePreferences().window_state = TWindowState::Normal;
    IdePreferences().left = 40;
    IdePreferences().top = 30;
    IdePreferences().width = 700;
    IdePreferences().height = 500;
    TfrmMainWindow *main = StartIde({"kxw"}, Path("kxw"));
    EXPECT_FALSE(main->isMaximized());
    main->resize(640, 480);
    main->close();
    EXPECT_EQ(IdePreferences().width, 640);
    EXPECT_EQ(IdePreferences().height, 480);
    EXPECT_EQ(IdePreferences().window_state, TWindowState::Normal);
}

// On the program's own store: the settings written when the IDE closes bring the next start's
// window back where it was left.
TEST_F(Startup, RealSettingsStoreKeepsThePlacementBetweenRuns)
{
    set_ide_store(nullptr);
    const std::string registry = Path("config/korvex/registry.kxreg");
    set_settings_registry_path(registry);
    TfrmMainWindow *main = StartIde({"kxw"}, Path("kxw"));
    main->setWindowState(Qt::WindowNoState);
    main->setGeometry(50, 60, 640, 480);
    main->close();
    FinishIde();
    EXPECT_TRUE(fs::exists(registry));
    EXPECT_TRUE(m_boxes.shown.empty());

    reset_preferences_to_defaults();
    EXPECT_EQ(IdePreferences().window_state, TWindowState::Maximized);
    main = StartIde({"kxw"}, Path("kxw"));
    EXPECT_EQ(IdePreferences().window_state, TWindowState::Normal);
    EXPECT_EQ(IdePreferences().width, 640);
    EXPECT_EQ(main->geometry().size(), QSize(640, 480));
    FinishIde();
    set_settings_registry_path("");
}

// The source named on the command line opens when the main window is shown.
TEST_F(Startup, CommandLineSourceOpensInAnEditor)
{
    Write("a.c", "int a;\n");
    TfrmMainWindow *main = StartIde({"kxw", "a.c"}, Path("kxw"));
    ASSERT_EQ(main->Editors().size(), 1u);
    EXPECT_EQ(main->Editors()[0]->FileName(), Path("a.c"));
    EXPECT_EQ(main->Editors()[0]->Text(), "int a;\n");
}

// A FormShow that throws: the first tick closes the window, then the start-up shows one box.
TEST_F(Startup, ThrowingFormShowClosesOnTheFirstTickThenOneBox)
{
    Write("a.c", "x");
    m_store.fail = [](const std::string &call) {
        if (call == "MruFindFile")
            throw xInternal(KX_HERE);
    };
    TfrmMainWindow *main = StartIde({"kxw", "a.c"}, Path("kxw"));
    EXPECT_EQ(main->Tag(), 0);
    EXPECT_FALSE(gStartupErrorText.empty());
    EXPECT_TRUE(m_boxes.shown.empty());
    QTRY_VERIFY(!main->isVisible());
    EXPECT_EQ(m_store.saves, 0); // a window that never came up saves no settings
    FinishIde();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].caption, "Korvex unable to open");
    EXPECT_EQ(m_boxes.shown[0].text, gStartupErrorText);
    EXPECT_NE(m_boxes.shown[0].text.find("Internal error."), std::string::npos);
    EXPECT_EQ(m_boxes.shown[0].flags, kMbOk | kMbIconError);
}

// The splash reads "Loading..." and, while it exists, status texts land on its line.
TEST_F(Startup, SplashShowsLoadingThenTheStatusTexts)
{
    TfrmSplash splash;
    splash.SetText("Loading...");
    splash.show();
    EXPECT_EQ(splash.lblSplash->text(), "Loading...");
    set_splash_host(&splash);
    gDialogControl.SetSplashMode(true);
    gDialogControl.ShowStatusBox(true, "Compiling", "");
    EXPECT_EQ(gDialogControl.Box(), nullptr); // no status box while the splash is up
    gDialogControl.SetStatusBoxText("Reading kxw.cfg");
    EXPECT_EQ(splash.lblSplash->text(), " Reading kxw.cfg");
    splash.StepIt();
    EXPECT_EQ(splash.pbSplash->value(), 33);
    gDialogControl.SetSplashMode(false);
    set_splash_host(nullptr);
}

TEST_F(Startup, SplashIsGoneAndSplashModeOffOnceStarted)
{
    IdePreferences().show_splash_screen = true;
    StartIde({"kxw"}, Path("kxw"));
    EXPECT_EQ(frmSplash, nullptr);
    EXPECT_FALSE(gDialogControl.SplashMode());
    EXPECT_FALSE(splash_host().IsVisible());
}

} // namespace
