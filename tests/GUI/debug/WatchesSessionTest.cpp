// A new user's watches, through the keys and the mouse, in the IDE on the board stand-in: the
// loop program stops at its breakpoint; Ctrl+W in the editor opens Add Watch with the word at
// the caret selected, "total" typed over it and Enter show total's line with the value the
// board's memory holds; F9 to the next stop brings the new value; Evaluate "total * 2" shows
// twice that; the mouse resting on `total` in the editor shows the window's line in the hint,
// and on a name the program lacks the compiler's text when errors are to be shown, the
// target's watch table as it was after each. Closing the IDE keeps the watch in "prog.DBG"
// beside the source; after a restart it comes back, whether the Watch command or the start of
// debugging opens the window. The same session runs on a real X server for screenshots.
#include "BoardSession.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <Qsci/qsciscintilla.h>

#include <functional>
#include <string>

#include "core/CC_ADDR.h"
#include "core/CC_STAB.h"
#include "debug/frmKXAddWatch.h"
#include "debug/frmKXEvalExpression.h"
#include "debug/frmKXWatches.h"
#include "editor/frmKXEditor.h"
#include "link/DB_BP.h"
#include "link/TC.h"
#include "link/cWatchList.h"
#include "options/guiOptionsHost.h"
#include "shell/kxwStartup.h"

namespace {

constexpr uint32_t kComPort = 13;

constexpr const char *kLoop = "int total;\n"                                   // 1
                              "/* nosuch: a name this program never declares */\n"
                              "main()\n"                                       // 3
                              "{\n"                                            // 4
                              "    int i;\n"                                   // 5
                              "    total = 0;\n"                               // 6
                              "    for (i = 0; i < 10; i++) {\n"               // 7
                              "        total = total + i;\n"                   // 8: the breakpoint
                              "    }\n"                                        // 9
                              "    for (;;) {\n"                               // 10
                              "    }\n"                                        // 11
                              "}\n";                                           // 12

// The modal dialogs of the session: shown, then the user's keys (`type`), then what the
// dialog ended with, as exec() would give it.
class TypingShell : public TOptionsShell {
public:
    std::function<void(QDialog &)> type;
    std::vector<std::string> titles; // of the dialogs shown, in order

    int RunState() override { return frmMainWindow ? frmMainWindow->RunState() : 0; }
    bool TraceWindowExists() override { return false; }
    void ShowHelpContext(QWidget *, uint32_t) override {}
    std::vector<std::string> OpenFileNames() override { return {}; }
    void CloseConnection() override {}
    void RefreshConnectionPanel() override {}
    int ExecModal(QDialog &dialog) override
    {
        titles.push_back(dialog.windowTitle().toStdString());
        dialog.setResult(QDialog::Rejected);
        dialog.show();
        if (type)
            type(dialog);
        if (!dialog.isVisible())
            return dialog.result();
        dialog.hide();
        return QDialog::Rejected;
    }
};

class WatchesSession : public BoardSession {
protected:
    WatchesSession() : BoardSession(kComPort) {}
    void SetUp() override
    {
        BoardSession::SetUp();
        // The program's own debug windows, the fly-over hint through real watches, as kxw.
        set_debug_windows(nullptr);
        install_flyover_watches();
        set_options_shell(&m_shell);
    }
    void TearDown() override
    {
        BoardSession::TearDown();
        set_options_shell(nullptr);
        set_flyover_watch_factory(nullptr);
    }

    // The IDE with prog.c open, in front, the editor focused as after a click into it.
    void OpenTheProgram()
    {
        const std::string path = Path("prog.c");
        if (!std::filesystem::exists(path))
            Write("prog.c", kLoop);
        m_editor = Main().OpenFile(path);
        ASSERT_NE(m_editor, nullptr);
        FocusTheEditor();
    }
    // The IDE in front (the compile's status box and the dialogs took that from it), the
    // editor's window active and its text focused.
    void Activate()
    {
        Main().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
    }
    void FocusTheEditor()
    {
        Activate();
        ASSERT_FALSE(HasFailure());
        Main().Workspace()->setActiveSubWindow(m_editor);
        // On an X server the activation arrives as the server's event: the focus follows it.
        ASSERT_TRUE(QTest::qWaitFor([&] {
            m_editor->Editor()->setFocus();
            return m_editor->Editor()->hasFocus();
        }));
    }
    // A key as the user presses it in the editor.
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(m_editor->Editor(), Qt::Key(key), modifiers);
    }
    // F5: compiled, loaded and stopped at main's first statement.
    void CompileAndLoad()
    {
        FocusTheEditor();
        ASSERT_FALSE(HasFailure());
        Key(Qt::Key_F5);
        for (const auto &box : m_boxes.shown)
            ADD_FAILURE() << box.caption << ": " << box.text;
        ASSERT_TRUE(UntilStopped()) << "loaded and stopped at main's first statement";
        FocusTheEditor();
    }
    // The caret into the loop's body (line 8, on `total`), F2, F9 to it.
    void StopAtTheBreakpoint()
    {
        CompileAndLoad();
        ASSERT_FALSE(HasFailure());
        m_editor->Editor()->setCursorPosition(7, 10);
        Key(Qt::Key_F2);
        ASSERT_EQ(breakpointList().size(), 1u);
        RunOnce();
    }
    // F9 to the next stop.
    void RunOnce()
    {
        FocusTheEditor();
        ASSERT_FALSE(HasFailure());
        Key(Qt::Key_F9);
        ASSERT_TRUE(UntilStopped());
    }
    // Ctrl+W in the editor, "total" typed and Enter in the dialog.
    void AddTheWatch()
    {
        FocusTheEditor();
        ASSERT_FALSE(HasFailure());
        std::string offered;
        m_shell.type = [&](QDialog &dialog) {
            auto *add = qobject_cast<TfrmAddWatch *>(&dialog);
            ASSERT_NE(add, nullptr) << dialog.windowTitle().toStdString();
            QLineEdit *edit = add->cboWatchExpression->lineEdit();
            offered = edit->selectedText().toStdString();
            QTest::keyClicks(edit, "total");
            QTest::keyClick(edit, Qt::Key_Return);
        };
        Key(Qt::Key_W, Qt::ControlModifier);
        m_shell.type = nullptr;
        ASSERT_EQ(m_shell.titles, std::vector<std::string>{"Add Watch Expression"})
            << "Ctrl+W opened the Add Watch dialog";
        EXPECT_EQ(offered, "total") << "the word at the caret, selected";
        for (const auto &box : m_boxes.shown)
            ADD_FAILURE() << box.caption << ": " << box.text;
        ASSERT_FALSE(frmWatches.isNull());
        ASSERT_EQ(frmWatches->WatchCount(), 1);
    }

    // total as the board's memory holds it.
    int TotalOnTheBoard()
    {
        const symbol *total = find_symbol("total", false, kGlobalTable);
        EXPECT_NE(total, nullptr);
        if (!total)
            return -1;
        const uint16_t at = addr_offset(total->address[0]);
        return m_board->with_firmware([&](vsim::BoardFirmware &f) {
            return f.board().read(at, 0) | f.board().read(uint16_t(at + 1), 0) << 8;
        });
    }
    static std::string Line(const std::string &expression, int value)
    {
        char text[32];
        std::snprintf(text, sizeof text, "%d (0x%04X)", value, unsigned(value) & 0xFFFF);
        const std::string type = "int";
        return watch_line(expression, &type, text);
    }
    // The watches window's lines.
    static std::vector<std::string> WindowLines()
    {
        std::vector<std::string> lines;
        if (frmWatches)
            for (int i = 0; i < frmWatches->lbxWatches->count(); ++i)
                lines.push_back(frmWatches->lbxWatches->item(i)->text().toStdString());
        return lines;
    }

    // Evaluate Expression from the Run menu, the text typed over the word offered and Enter:
    // the dialog, still open, with its result.
    TfrmEvalExpression *Evaluate(const char *text)
    {
        Press(Main().actEvaluateExpression);
        auto *dialog = Main().findChild<TfrmEvalExpression *>();
        if (!dialog) {
            ADD_FAILURE() << "no Evaluate Expression dialog";
            return nullptr;
        }
        QLineEdit *edit = dialog->cboExpression->lineEdit();
        EXPECT_EQ(edit->selectedText(), edit->text()) << "what it offers is selected";
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        return dialog;
    }

    // The mouse resting on the word at (line, column) of the editor until the hint's tick.
    std::string Hover(int line, int column)
    {
        QsciScintilla *memo = m_editor->Editor();
        const auto move = [&](QPoint at) {
            QMouseEvent event(QEvent::MouseMove, at, memo->viewport()->mapToGlobal(at),
                              Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(memo->viewport(), &event);
        };
        const auto point = [&](int l, int c) {
            const long pos = memo->positionFromLineIndex(l, c);
            return QPoint(int(memo->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL,
                                                  pos)) + 2,
                          int(memo->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0UL,
                                                  pos)) + 2);
        };
        FocusTheEditor();
        // The hint of a word hovered before goes, and the mouse leaves every word: the word
        // hovered now counts as new.
        m_editor->HideHint();
        move(point(line, 0) + QPoint(600, 0));
        move(point(line, 0) + QPoint(600, 0));
        // The hint goes below the mouse pointer: the pointer rests on the word.
        QCursor::setPos(memo->viewport()->mapToGlobal(point(line, column)));
        move(point(line, column));
        if (!m_editor->WatchHintTimer()->isActive()) {
            ADD_FAILURE() << "no hint timer over the word at " << line << ":" << column;
            return {};
        }
        m_editor->tmrWatchHintTimer();
        return m_editor->HintWindow()->isVisible()
                   ? m_editor->HintWindow()->text().toStdString()
                   : std::string();
    }

    // The IDE closed as the user closes it, and started again.
    void Restart()
    {
        m_main->close();
        FinishIde();
        m_main = nullptr;
        m_editor = nullptr;
        // A new process starts without breakpoints.
        forgetBreakpoints();
        Settle();
        ASSERT_TRUE(frmWatches.isNull());
        OpenTheProgram();
    }

    TypingShell m_shell;
    TfrmEdit *m_editor = nullptr;
};

// Ctrl+W, with the focus in the editor or in the watches window, opens the Add Watch dialog:
// no window of the workspace keeps the key for itself; Ctrl+F4 still closes one.
TEST_F(WatchesSession, CtrlWOpensAddWatchWhereverTheFocusIs)
{
    OpenTheProgram();
    StopAtTheBreakpoint();
    ASSERT_FALSE(HasFailure());
    AddTheWatch();
    ASSERT_FALSE(HasFailure());

    m_shell.titles.clear();
    Activate();
    frmWatches->BringToFront();
    frmWatches->lbxWatches->setFocus();
    ASSERT_TRUE(frmWatches->lbxWatches->hasFocus());
    QTest::keyClick(frmWatches->lbxWatches, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(m_shell.titles, std::vector<std::string>{"Add Watch Expression"});

    // The breakpoint off first: the editor's marks go with it.
    FocusTheEditor();
    ASSERT_FALSE(HasFailure());
    m_editor->Editor()->setCursorPosition(7, 10);
    Key(Qt::Key_F2);
    ASSERT_TRUE(breakpointList().empty());
    Key(Qt::Key_F4, Qt::ControlModifier);
    Settle();
    EXPECT_FALSE(Main().Workspace()->subWindowList().contains(m_editor))
        << "Ctrl+F4 closed the editor";
    m_editor = nullptr;
}

// The whole session by the keys: the watch's line as the board holds total, at each stop; the
// evaluation of "total * 2"; the hint over `total` shows the window's line, over `nosuch` the
// compiler's text; the target keeps the window's one watch throughout.
TEST_F(WatchesSession, WatchEvaluateAndHintFollowTheBoard)
{
    IdePreferences().watch.watches_in_flyover = true;
    IdePreferences().watch.errors_in_flyover = true;
    OpenTheProgram();
    StopAtTheBreakpoint();
    ASSERT_FALSE(HasFailure());
    AddTheWatch();
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(WindowLines(), std::vector<std::string>{Line("total", TotalOnTheBoard())});

    // Twice round the loop: each stop shows the new total.
    for (int round = 0; round < 2; ++round) {
        RunOnce();
        ASSERT_FALSE(HasFailure());
        const int total = TotalOnTheBoard();
        EXPECT_EQ(total, round * (round + 1) / 2);
        EXPECT_EQ(WindowLines(), std::vector<std::string>{Line("total", total)})
            << "after the stop of round " << round;
    }
    const int total = TotalOnTheBoard();
    ASSERT_EQ(total, 1);

    TfrmEvalExpression *evaluate = Evaluate("total * 2");
    ASSERT_NE(evaluate, nullptr);
    EXPECT_EQ(evaluate->edtResult->text().toStdString(), Line("total * 2", 2 * total));
    EXPECT_TRUE(m_boxes.shown.empty());
    evaluate->close();
    Settle();
    EXPECT_EQ(BoardWatches(), 1u) << "the evaluation left the window's watch alone";

    const std::string shown = Hover(7, 10);
    EXPECT_EQ(shown, Line("total", total));
    EXPECT_EQ(std::vector<std::string>{shown}, WindowLines());
    QLabel *hint = m_editor->HintWindow();
    EXPECT_LT(hint->height(), 2 * hint->fontMetrics().lineSpacing()) << "the line on one line";
    EXPECT_EQ(BoardWatches(), 1u);

    const std::string error = Hover(1, 4);
    EXPECT_EQ(m_editor->HintExpression(), "nosuch");
    EXPECT_NE(error.find("nosuch"), std::string::npos) << error;
    EXPECT_EQ(BoardWatches(), 1u);

    // The target's table still answers for the window's watch, in its place.
    TcRunWatches();
    frmWatches->UpdateResults(0);
    EXPECT_EQ(WindowLines(), std::vector<std::string>{Line("total", total)});
}

// Closing the IDE writes "prog.DBG" beside the source; after a restart the watch comes back
// with the board's value, opened by the Watch command or by the start of debugging.
struct ComesBackCase {
    const char *name;
    bool shown_by_the_start; // the watches window's "Show" setting
};
void PrintTo(const ComesBackCase &c, std::ostream *out) { *out << c.name; }

class WatchComesBack : public WatchesSession,
                       public ::testing::WithParamInterface<ComesBackCase> {};

TEST_P(WatchComesBack, AfterARestart)
{
    OpenTheProgram();
    StopAtTheBreakpoint();
    ASSERT_FALSE(HasFailure());
    AddTheWatch();
    ASSERT_FALSE(HasFailure());
    Restart();
    ASSERT_FALSE(HasFailure());
    const std::string stored = Read(Path("prog.DBG"));
    EXPECT_NE(stored.find("Watch0=total:main"), std::string::npos) << stored;
    // As the watches window's "Show" option says.
    IdePreferences().watch.show = GetParam().shown_by_the_start;
    Main().SetAutoShow(DebugWindow::Watches, GetParam().shown_by_the_start);

    CompileAndLoad();
    ASSERT_FALSE(HasFailure());
    if (!GetParam().shown_by_the_start) {
        EXPECT_TRUE(frmWatches.isNull());
        Press(Main().actToggleWatch);
    }
    ASSERT_FALSE(frmWatches.isNull());
    EXPECT_EQ(frmWatches->WatchCount(), 1);
    EXPECT_EQ(BoardWatches(), 1u);
    EXPECT_EQ(WindowLines(), std::vector<std::string>{Line("total", TotalOnTheBoard())});

    // And it follows the board from there.
    FocusTheEditor();
    m_editor->Editor()->setCursorPosition(7, 10);
    Key(Qt::Key_F2);
    ASSERT_EQ(breakpointList().size(), 1u);
    RunOnce();
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(WindowLines(), std::vector<std::string>{Line("total", TotalOnTheBoard())});
}

const ComesBackCase kComesBack[] = {
    {"opened_by_the_watch_command", false},
    {"opened_by_the_start", true},
};
INSTANTIATE_TEST_SUITE_P(Watches, WatchComesBack, ::testing::ValuesIn(kComesBack),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- on a real X server ---------------------------------------------------------------------------

// Runs only as the child of the tests below, on the X server they start.
class WatchesSessionUnderX : public WatchesSession {
protected:
    // The IDE filling the screen, the editor to the left, the watches window to the right.
    void Arrange()
    {
        const QRect screen = Main().screen()->availableGeometry();
        Main().setGeometry(screen);
        QTest::qWait(100);
        const QRect area = Main().Workspace()->rect();
        m_editor->showNormal();
        m_editor->setGeometry(0, 0, area.width() / 2, area.height() - 120);
        if (QWidget *host = frmWatches ? frmWatches->Host() : nullptr)
            host->setGeometry(area.width() / 2, 0, area.width() / 2, 200);
        QTest::qWait(100);
    }
    void Shoot()
    {
        QTest::qWait(300);
        const QPixmap shot = Main().screen()->grabWindow(0);
        ASSERT_TRUE(shot.save(qEnvironmentVariable("KX_SCREENSHOT"), "PNG"));
    }
};

TEST_F(WatchesSessionUnderX, DISABLED_StoppedWithTheWatchAndTheHint)
{
    if (qEnvironmentVariable("KX_SCREENSHOT").isEmpty())
        GTEST_SKIP() << "runs as the child of WatchesScreenshot only";
    OpenTheProgram();
    StopAtTheBreakpoint();
    ASSERT_FALSE(HasFailure());
    AddTheWatch();
    ASSERT_FALSE(HasFailure());
    RunOnce();
    RunOnce();
    ASSERT_FALSE(HasFailure());
    const int total = TotalOnTheBoard();
    ASSERT_EQ(WindowLines(), std::vector<std::string>{Line("total", total)});
    Arrange();
    TfrmEvalExpression *evaluate = Evaluate("total * 2");
    ASSERT_NE(evaluate, nullptr);
    ASSERT_EQ(evaluate->edtResult->text().toStdString(), Line("total * 2", 2 * total));
    evaluate->move(Main().geometry().left() + Main().width() / 2,
                   Main().geometry().top() + 320);
    ASSERT_EQ(Hover(7, 10), Line("total", total));
    Shoot();
}

TEST_F(WatchesSessionUnderX, DISABLED_RestartedWithTheWatchBack)
{
    if (qEnvironmentVariable("KX_SCREENSHOT").isEmpty())
        GTEST_SKIP() << "runs as the child of WatchesScreenshot only";
    OpenTheProgram();
    StopAtTheBreakpoint();
    ASSERT_FALSE(HasFailure());
    AddTheWatch();
    ASSERT_FALSE(HasFailure());
    Restart();
    ASSERT_FALSE(HasFailure());
    CompileAndLoad();
    ASSERT_FALSE(HasFailure());
    Press(Main().actToggleWatch);
    ASSERT_FALSE(frmWatches.isNull());
    ASSERT_EQ(WindowLines(), std::vector<std::string>{Line("total", TotalOnTheBoard())});
    Arrange();
    Shoot();
}

TEST(WatchesScreenshot, StoppedWithTheWatchAndTheHintUnderX)
{
    const XScreenshot shot = screenshot_under_x(
        "WatchesSessionUnderX.DISABLED_StoppedWithTheWatchAndTheHint", "watches_session.png");
    if (shot.skipped)
        GTEST_SKIP() << "Xvfb is not installed (./kx installs it): no screenshot taken";
    ASSERT_TRUE(shot.failure.empty()) << shot.failure;
    // The execution point's lime behind the statement the program stopped at.
    EXPECT_GT(count_pixels(shot.image, qRgb(0, 255, 0)), 40);
}

TEST(WatchesScreenshot, RestartedWithTheWatchBackUnderX)
{
    const XScreenshot shot = screenshot_under_x(
        "WatchesSessionUnderX.DISABLED_RestartedWithTheWatchBack", "watches_restart.png");
    if (shot.skipped)
        GTEST_SKIP() << "Xvfb is not installed (./kx installs it): no screenshot taken";
    ASSERT_TRUE(shot.failure.empty()) << shot.failure;
    EXPECT_GT(count_pixels(shot.image, qRgb(0, 255, 0)), 40);
}

} // namespace
