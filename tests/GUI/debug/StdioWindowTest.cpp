// The stdio window in the IDE: reached through StdioWrite, StdioReset and StdioReadChar as the
// debugger core reaches it (the program's debug windows table, the stdio unit installed):
// "Auto Open", the run's first block clearing the screen, edit mode, the log with and without
// "Append" and when it cannot be written, typed keys and the input notification around
// polling, the copy action, the setters and the compile's clear.
#include "CommandTestSupport.h"
#include "FifoGuard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "controls/ColorConsoleView.h"
#include "debug/frmKXStdio.h"
#include "debug/guiDebugWindows.h"
#include "core/guiExceptions.h"

namespace {

namespace fs = std::filesystem;

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

class StdioWindow : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        set_debug_windows(nullptr);
        install_stdio_unit();
        StdioWindowSettings &s = IdePreferences().stdio;
        s = StdioWindowSettings();
        s.log_file = Path("kx.out");
        s.background_colour = 0x203040;
        Main().SetAutoShow(DebugWindow::Stdio, false);
    }
    void TearDown() override
    {
        remove_stdio_unit();
        CommandTest::TearDown();
    }
    TfrmStdio *Window() { return dynamic_cast<TfrmStdio *>(debug_windows().StdioWindow()); }
    void Write(const std::string &text)
    {
        StdioWrite(text.data(), static_cast<uint16_t>(text.size()));
    }
    std::string Row(int row) { return trimmed(Window()->Model().RowText(row)); }
    std::string Log() { return Read(Path("kx.out")); }
    // A run: debug mode, running, the stdio session begun.
    void Run()
    {
        if (Main().IsEditMode())
            Enter(2);
        StdioReset();
    }
};

TEST_F(StdioWindow, AutoOpenShowsTheRunsFirstBlockOnAClearScreen)
{
    Run();
    ASSERT_EQ(Window(), nullptr);
    Write("Hello from the board\n");
    ASSERT_NE(Window(), nullptr) << "the first block opened it";
    EXPECT_TRUE(debug_windows().IsShown(DebugWindow::Stdio));
    Write("second");
    EXPECT_EQ(Row(0), "Hello from the board");
    EXPECT_EQ(Row(1), "second");

    Run();
    Write("next run");
    EXPECT_EQ(Row(0), "next run");
    EXPECT_EQ(Row(1), "");
    EXPECT_EQ(Window()->Model().Cell(70, 5).bk_color, 0x203040u) << "\"Background Color\"";
}

TEST_F(StdioWindow, WithoutAutoOpenOnlyAnOpenWindowShowsOutput)
{
    IdePreferences().stdio.auto_open = false;
    Run();
    Write("lost");
    EXPECT_EQ(Window(), nullptr);

    debug_windows().Toggle(DebugWindow::Stdio);
    ASSERT_NE(Window(), nullptr);
    Write("kept");
    EXPECT_EQ(Row(0), "kept");
}

TEST_F(StdioWindow, InEditModeNothingIsShownOrLogged)
{
    IdePreferences().stdio.log_stdio = true;
    debug_windows().Toggle(DebugWindow::Stdio);
    StdioReset();
    Write("dropped");
    EXPECT_EQ(Row(0), "");
    EXPECT_FALSE(fs::exists(Path("kx.out")));
}

struct LogCase {
    const char *name;
    bool append;
    bool begin_sessions; // each run begins a stdio session (false: output before any run)
    const char *expected;
};

const LogCase kLogCases[] = {
    {"ReplacedByEachRun", false, true, "run2-a|run2-b"},
    {"AppendKeepsAll", true, true, "old|run1-a|run1-b|run2-a|run2-b"},
    {"BeforeAnyRunAppends", false, false, "old|run1-a|run1-b|run2-a|run2-b"},
};

class StdioLog : public StdioWindow, public ::testing::WithParamInterface<LogCase> {};

TEST_P(StdioLog, EveryByteOfEachBlock)
{
    IdePreferences().stdio.log_stdio = true;
    IdePreferences().stdio.append = GetParam().append;
    GuiTest::Write("kx.out", "old|");
    for (const char *run : {"run1", "run2"}) {
        if (GetParam().begin_sessions)
            Run();
        else if (Main().IsEditMode())
            Enter(2);
        Write(std::string(run) + "-a|");
        Write(std::string(run) + "-b");
        if (std::string(run) == "run1")
            Write("|");
    }
    EXPECT_EQ(Log(), GetParam().expected);
    // Every byte: NUL and high bytes included, though the screen shows none of the NUL.
    Run();
    Write(std::string("x\0\xe9y", 4));
    EXPECT_EQ(Log().substr(Log().size() - 4), std::string("x\0\xe9y", 4));
    EXPECT_EQ(Row(0), "x\xe9y");
}

// The largest block the link carries is shown to its end and logged whole.
TEST_F(StdioWindow, ALargestBlockIsShownAndLoggedWhole)
{
    IdePreferences().stdio.log_stdio = true;
    IdePreferences().stdio.auto_open = true;
    Run();
    std::string block(65535, 'a');
    for (std::size_t i = 0; i < block.size(); i += 80)
        block[i] = '\n';
    block.back() = 'z';
    Write(block);
    ASSERT_NE(Window(), nullptr);
    EXPECT_EQ(Log(), block);
    const TConsolePoint cursor = Window()->Model().GetCursor();
    ASSERT_GT(cursor.X, 0);
    EXPECT_EQ(Window()->Model().RowText(cursor.Y)[cursor.X - 1], 'z');
}

INSTANTIATE_TEST_SUITE_P(All, StdioLog, ::testing::ValuesIn(kLogCases),
                         [](const auto &i) { return std::string(i.param.name); });

struct BadLogCase {
    const char *name;
    const char *file; // under the test's folder; "" for none
};

const BadLogCase kBadLogs[] = {
    {"NoName", ""},
    {"AFolder", "folder"},
    {"UnderAFile", "plain.txt/kx.out"},
    {"AFifo", "pipe.out"},
    {"ALinkToADevice", "null.out"},
};

class StdioBadLog : public StdioWindow, public ::testing::WithParamInterface<BadLogCase> {};

TEST_P(StdioBadLog, TextShowsAndTheUserIsToldOnce)
{
    fs::create_directories(Path("folder"));
    GuiTest::Write("plain.txt", "a file");
    // Neither waited on (a FIFO without a reader) nor written into nor replaced.
    ASSERT_EQ(::mkfifo(Path("pipe.out").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", Path("null.out"));
    StdioWindowSettings &s = IdePreferences().stdio;
    s.log_stdio = true;
    s.log_file = *GetParam().file ? Path(GetParam().file) : "";
    Run();
    FifoGuard guard(Path("pipe.out"));
    Write("one ");
    Write("two");
    EXPECT_TRUE(guard.Stop()) << "the log waited for a reader";
    EXPECT_EQ(fs::symlink_status(Path("pipe.out")).type(), fs::file_type::fifo);
    EXPECT_EQ(fs::read_symlink(Path("null.out")), "/dev/null");
    EXPECT_EQ(Row(0), "one two");
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].caption, "Warning");
    EXPECT_NE(m_boxes.shown[0].text.find(*GetParam().file ? GetParam().file : "(none)"),
              std::string::npos)
        << m_boxes.shown[0].text;
    EXPECT_TRUE(s.log_stdio) << "the setting stays the user's";
    EXPECT_EQ(Read(Path("plain.txt")), "a file");
}

INSTANTIATE_TEST_SUITE_P(All, StdioBadLog, ::testing::ValuesIn(kBadLogs),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- keys ----------------------------------------------------------------------------------------

TEST_F(StdioWindow, ATypedKeyWaitsForTheProgramAndIsAnnounced)
{
    Run();
    Write("prompt: ");
    QTest::keyClick(Window()->console, Qt::Key_X);
    EXPECT_EQ(Row(0), "prompt:") << "typed keys are not echoed";
    EXPECT_TRUE(InOrder({"PausePolling", "TcSendStdioCharCount 1", "ResumePolling"}));
    char c = 0;
    EXPECT_EQ(StdioReadChar(c), 'x');
    EXPECT_EQ(c, 'x');
    EXPECT_EQ(StdioReadChar(c), 0) << "none waits";
}

TEST_F(StdioWindow, TheEightyFirstKeyIsDroppedButStillAnnounced)
{
    Run();
    Write("?");
    for (int i = 0; i < 81; ++i)
        QTest::keyClick(Window()->console, Qt::Key_A);
    EXPECT_EQ(Window()->WaitingKeys(), 80);
    EXPECT_EQ(m_journal.Count("TcSendStdioCharCount 80"), 2);
    char c = 0;
    EXPECT_EQ(StdioInputChar(c), 80);
}

struct ArrowCase {
    const char *name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int code; // -1: nothing
};

const ArrowCase kArrows[] = {
    {"Up", Qt::Key_Up, Qt::NoModifier, 0x48},
    {"Down", Qt::Key_Down, Qt::NoModifier, 0x50},
    {"Right", Qt::Key_Right, Qt::NoModifier, 0x4D},
    {"Left", Qt::Key_Left, Qt::NoModifier, 0x4B},
    {"CtrlUp", Qt::Key_Up, Qt::ControlModifier, -1},
    {"ShiftLeft", Qt::Key_Left, Qt::ShiftModifier, 0x4B},
};

class StdioArrows : public StdioWindow, public ::testing::WithParamInterface<ArrowCase> {};

TEST_P(StdioArrows, ScanCodes)
{
    Run();
    Write("?");
    QTest::keyClick(Window()->console, GetParam().key, GetParam().modifiers);
    char c = 0;
    if (GetParam().code < 0) {
        EXPECT_EQ(StdioReadChar(c), 0);
        EXPECT_FALSE(Called("TcSendStdioCharCount 1"));
        return;
    }
    EXPECT_EQ(StdioReadChar(c), static_cast<char>(GetParam().code));
    EXPECT_TRUE(Called("TcSendStdioCharCount 1"));
}

INSTANTIATE_TEST_SUITE_P(All, StdioArrows, ::testing::ValuesIn(kArrows),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(StdioWindow, NoAnnouncementWhileTheCoreReadsOrAnotherIsSent)
{
    Run();
    Write("?");
    m_dbg.waiting_for_stdio_char = true;
    QTest::keyClick(Window()->console, Qt::Key_A);
    EXPECT_FALSE(Called("TcSendStdioCharCount 1"));
    EXPECT_FALSE(Called("PausePolling"));

    m_dbg.waiting_for_stdio_char = false;
    // A key typed while the announcement's request pumps events only goes into the buffer.
    int typed = 0;
    m_journal.fail = [&](const std::string &call) {
        if (call.rfind("TcSendStdioCharCount", 0) == 0 && typed++ == 0)
            QTest::keyClick(Window()->console, Qt::Key_C);
    };
    QTest::keyClick(Window()->console, Qt::Key_B);
    EXPECT_EQ(Window()->WaitingKeys(), 3);
    EXPECT_EQ(m_journal.Count("TcSendStdioCharCount 2"), 1);
    EXPECT_EQ(m_journal.Count("TcSendStdioCharCount 3"), 0);
}

TEST_F(StdioWindow, ALinkFailureWhileAnnouncingEndsTheSession)
{
    Run();
    Write("?");
    m_journal.fail = [](const std::string &call) {
        if (call.rfind("TcSendStdioCharCount", 0) == 0)
            throw xTCErr(7151, KX_HERE);
    };
    QTest::keyClick(Window()->console, Qt::Key_A);
    EXPECT_TRUE(InOrder({"PausePolling", "TcSendStdioCharCount 1", "ResumePolling",
                         "TcCloseConnection"}));
    EXPECT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_TRUE(Main().IsEditMode()) << "debug mode was left";
    // The guard is down again: the next key is announced (in edit mode too).
    m_journal.fail = nullptr;
    QTest::keyClick(Window()->console, Qt::Key_B);
    EXPECT_TRUE(Called("TcSendStdioCharCount 2"));
}

// ---- copy, setters, the compile's clear ---------------------------------------------------------

TEST_F(StdioWindow, CopyOnlyWithASelection)
{
    Run();
    Write("copy me\nand me");
    TfrmStdio *w = Window();
    EXPECT_FALSE(w->actCopyUpdate());
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    w->actCopyExecute();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
    w->Model().SetSelection({5, 0}, {2, 1});
    EXPECT_TRUE(w->actCopyUpdate());
    w->actCopy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "me\nand");
}

TEST_F(StdioWindow, SettersRecolourAndRetrack)
{
    Run();
    Write("text");
    TfrmStdio *w = Window();
    const TColor before = w->Model().Cell(0, 0).color;
    w->SetForegroundColor(0x0000FF);
    EXPECT_EQ(w->Model().Cell(0, 0).color, 0x0000FFu) << before;
    w->SetBackgroundColor(0x00FF00);
    EXPECT_EQ(w->Model().Cell(60, 3).bk_color, 0x00FF00u);
    w->SetSpacesInTab(3);
    Write("\tx");
    EXPECT_EQ(Row(0), "text  x");
    w->SetAutoHScroll(true);
    w->SetAutoVScroll(false);
    EXPECT_EQ(w->Model().Options(), coLazyWrite | coAutoTrackingX);
}

TEST_F(StdioWindow, TheWindowTakesItsSettings)
{
    StdioWindowSettings &s = IdePreferences().stdio;
    s.columns = 20;
    s.rows = 3;
    s.font.name = "Courier New";
    s.font.colour = 0x0000AA;
    debug_windows().Toggle(DebugWindow::Stdio);
    TfrmStdio *w = Window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Model().Cols(), 20);
    EXPECT_EQ(w->Model().Rows(), 3);
    EXPECT_EQ(w->Model().Font().Color, 0x0000AAu);
    EXPECT_EQ(w->console->font().family(), "Courier New");
    EXPECT_EQ(w->windowTitle().isEmpty() ? w->Host()->windowTitle() : w->windowTitle(), "Stdio");
}

TEST_F(StdioWindow, ACompileClearsTheScreen)
{
    Run();
    Write("old output");
    set_command_dialogs(nullptr);
    command_dialogs().ClearStdioScreen();
    EXPECT_EQ(Row(0), "");
}

} // namespace
