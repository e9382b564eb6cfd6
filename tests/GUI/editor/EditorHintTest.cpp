// The fly-over hint: the mouse over a word (or the selection) while the program is stopped
// starts the hint timer; its tick evaluates through a watch list of its own and shows the
// value. The timer is never waited for: the tests run its tick themselves.
#include "GuiHarness.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include <functional>

#include "core/guiExceptions.h"
#include "PollRecordingMain.h"
#include "settings/guiKXPreferences.h"

namespace {

constexpr const char *kSource = "int counter;\n"
                                "x = alpha + beta;\n";

class EditorHint : public GuiTest {
protected:
    struct Evaluation {
        std::string expression;
        bool keep_error;
    };
    // The watch list the hint makes without a watches window: records, runs `during` (the
    // events that arrive while the target is asked), then answers or throws.
    class RecordingWatch : public TFlyOverWatch {
    public:
        explicit RecordingWatch(EditorHint &test) : m_test(test) {}
        std::string Evaluate(const std::string &expression, bool keep_error) override
        {
            m_test.evaluations.push_back({expression, keep_error});
            m_test.paused_during.push_back(m_test.main->pauses > m_test.main->resumes);
            if (m_test.during)
                m_test.during();
            if (m_test.fails)
                throw xErr(5065, KX_HERE);
            return expression + " = 5";
        }

    private:
        EditorHint &m_test;
    };

    void SetUp() override
    {
        GuiTest::SetUp();
        set_flyover_watch_factory([this] { return std::make_unique<RecordingWatch>(*this); });
        main = &PollRecordingMain::Make(m_main);
        editor = Main().OpenFile(Write("h.c", kSource));
        ASSERT_NE(editor, nullptr);
        Main().SetRunState(1);
        Main().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
        editor->Editor()->setFocus();
        ASSERT_TRUE(editor->Editor()->hasFocus());
        // The expression is shared by all editors: a move past a line's end forgets an
        // earlier one.
        MoveTo(At(0, 12) + QPoint(300, 0));
        ASSERT_EQ(editor->HintExpression(), "");
    }
    // A point inside the byte at (line, column), in the memo's viewport.
    QPoint At(int line, int column)
    {
        QsciScintilla *memo = editor->Editor();
        const long pos = memo->positionFromLineIndex(line, column);
        return {static_cast<int>(memo->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION,
                                                     0UL, pos)) + 2,
                static_cast<int>(memo->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION,
                                                     0UL, pos)) + 2};
    }
    // The mouse moves there, as the viewport reports it.
    void Move(int line, int column, Qt::MouseButtons buttons = Qt::NoButton)
    {
        MoveTo(At(line, column), buttons);
    }
    void MoveTo(QPoint at, Qt::MouseButtons buttons = Qt::NoButton)
    {
        QMouseEvent move(QEvent::MouseMove, at, editor->Editor()->viewport()->mapToGlobal(at),
                         Qt::NoButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(editor->Editor()->viewport(), &move);
    }
    void Key()
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
        QApplication::sendEvent(editor->Editor(), &press);
    }
    bool TimerOn() { return editor->WatchHintTimer()->isActive(); }
    bool HintShown() { return editor->HintWindow()->isVisible(); }
    QString HintText() { return editor->HintWindow()->text(); }

public:
    TfrmEdit *editor = nullptr;
    PollRecordingMain *main = nullptr;

protected:
    std::vector<Evaluation> evaluations;
    std::vector<bool> paused_during; // polling paused while each evaluation ran
    std::function<void()> during;
    bool fails = false;
};

TEST_F(EditorHint, StoppedTheValueShowsAfterTheInterval)
{
    Move(0, 6);
    EXPECT_TRUE(TimerOn());
    EXPECT_EQ(editor->WatchHintTimer()->interval(), 1000);
    EXPECT_EQ(editor->HintExpression(), "counter");
    EXPECT_FALSE(HintShown());
    editor->tmrWatchHintTimer();
    ASSERT_EQ(evaluations.size(), 1u);
    EXPECT_EQ(evaluations[0].expression, "counter");
    EXPECT_FALSE(evaluations[0].keep_error);
    EXPECT_TRUE(HintShown());
    EXPECT_EQ(HintText(), "counter = 5");
    EXPECT_FALSE(TimerOn());
    EXPECT_EQ(paused_during, std::vector<bool>{true});
    EXPECT_EQ(main->pauses, main->resumes) << "polling resumed afterwards";
    // The move the showing itself causes is passed over; a key takes the hint away.
    Move(1, 5);
    EXPECT_FALSE(TimerOn());
    Key();
    EXPECT_FALSE(HintShown());
}

TEST_F(EditorHint, RunningShowsNothing)
{
    Main().SetRunState(2);
    Move(0, 6);
    ASSERT_TRUE(TimerOn());
    editor->tmrWatchHintTimer();
    EXPECT_TRUE(evaluations.empty());
    EXPECT_FALSE(HintShown());
    EXPECT_FALSE(TimerOn());
}

struct QuietCase {
    const char *name;
    std::function<void(EditorHint &)> arrange;
};

class EditorHintQuiet : public EditorHint, public ::testing::WithParamInterface<QuietCase> {};

// None of these starts the timer.
TEST_P(EditorHintQuiet, NoTimer)
{
    GetParam().arrange(*this);
    Move(0, 6);
    EXPECT_FALSE(TimerOn());
    EXPECT_TRUE(evaluations.empty());
}

const QuietCase kQuiet[] = {
    {"EditMode", [](EditorHint &) { frmMainWindow->SetRunState(0); }},
    {"WatchesInFlyoverOff",
     [](EditorHint &) { IdePreferences().watch.watches_in_flyover = false; }},
    {"NoFocus", [](EditorHint &) { frmMainWindow->StatusPanel(0)->setFocus(); }},
    {"NoWordThere", [](EditorHint &t) { t.editor->Editor()->setText("   \n   \n"); }},
};
INSTANTIATE_TEST_SUITE_P(All, EditorHintQuiet, ::testing::ValuesIn(kQuiet),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(EditorHint, LeftButtonStopsTheTimer)
{
    Move(0, 6);
    ASSERT_TRUE(TimerOn());
    Move(0, 7, Qt::LeftButton);
    EXPECT_FALSE(TimerOn());
}

TEST_F(EditorHint, FailedEvaluationShowsTheErrorText)
{
    fails = true;
    IdePreferences().watch.errors_in_flyover = true;
    Move(1, 6);
    editor->tmrWatchHintTimer();
    ASSERT_EQ(evaluations.size(), 1u);
    EXPECT_EQ(evaluations[0].expression, "alpha");
    EXPECT_TRUE(evaluations[0].keep_error);
    EXPECT_TRUE(HintShown());
    EXPECT_EQ(HintText(), "An error occurred while attempting to evaluate the expression");
    EXPECT_EQ(main->pauses, 1);
    EXPECT_EQ(main->resumes, 1);
}

// Without the watches built, the evaluation is refused: the hint says it failed.
TEST_F(EditorHint, WithoutTheWatchesTheEvaluationFails)
{
    set_flyover_watch_factory(nullptr);
    Move(0, 6);
    editor->tmrWatchHintTimer();
    EXPECT_EQ(HintText(), "An error occurred while attempting to evaluate the expression");
}

// A key while the target is asked: the finished evaluation shows nothing and the next tick is
// dropped; the one after evaluates.
TEST_F(EditorHint, KeyDuringEvaluationSkipsTheNextTick)
{
    during = [this] { Key(); };
    Move(0, 6);
    editor->tmrWatchHintTimer();
    ASSERT_EQ(evaluations.size(), 1u);
    EXPECT_FALSE(HintShown());
    during = nullptr;
    Move(1, 14);
    ASSERT_TRUE(TimerOn());
    EXPECT_EQ(editor->HintExpression(), "beta");
    editor->tmrWatchHintTimer();
    EXPECT_EQ(evaluations.size(), 1u);
    EXPECT_TRUE(TimerOn()) << "a dropped tick leaves the timer running";
    editor->tmrWatchHintTimer();
    ASSERT_EQ(evaluations.size(), 2u);
    EXPECT_EQ(evaluations[1].expression, "beta");
    EXPECT_TRUE(HintShown());
}

// While the target is asked, panel 7 keeps its text.
TEST_F(EditorHint, StatusPanelSevenIsLockedDuringTheEvaluation)
{
    Main().SetStatusText("before");
    during = [] { frmMainWindow->SetStatusText("during"); };
    Move(0, 6);
    editor->tmrWatchHintTimer();
    EXPECT_EQ(Main().StatusPanel(7)->text(), "before");
    Main().SetStatusText("after");
    EXPECT_EQ(Main().StatusPanel(7)->text(), "after");
}

// Inside the selection (down to one line below its end) the selected text is the expression,
// its trailing line end dropped; outside it nothing is.
TEST_F(EditorHint, SelectionIsTheExpressionInsideItsArea)
{
    editor->Editor()->setSelection(1, 4, 2, 0);
    Move(1, 10);
    EXPECT_TRUE(TimerOn());
    EXPECT_EQ(editor->HintExpression(), "alpha + beta;");
    Move(0, 2);
    EXPECT_FALSE(TimerOn());
    EXPECT_EQ(editor->HintExpression(), "");
}

} // namespace
