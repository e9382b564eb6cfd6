// The spin edit: its model's range, step and typing rules, and the widget's keys, clicks, paste
// and leaving.
#include "GuiHarness.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <limits>

#include "controls/QBSpinEdit.h"

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

// ---- the model ---------------------------------------------------------------------------------

struct StepCase {
    const char *name;
    int32_t min, max, increment, value;
    bool up;
    int32_t expected;
};
const StepCase kSteps[] = {
    {"UpInsideRange", 1, 100, 1, 5, true, 6},
    {"UpStopsAtMax", 1, 100, 10, 95, true, 100},
    {"DownStopsAtMin", 1, 100, 10, 5, false, 1},
    {"NoRangeGoesBelowZero", 0, 0, 1, 0, false, -1},
    {"NoRangeGoesFarUp", 0, 0, 1000, 2000000, true, 2001000},
    {"SaturatesAtTheTopWithoutRange", 0, 0, 1, kMax, true, kMax},
    {"SaturatesAtTheBottomWithoutRange", 0, 0, 1, kMin, false, kMin},
    {"LargeStepSaturates", 0, 0, kMax, kMax - 1, true, kMax},
    {"NegativeIncrementStepsDown", 0, 0, -3, 10, true, 7},
    {"ValueOutsideRangeComesBack", 1, 100, 1, 500, true, 100},
};
class SpinStep : public ::testing::TestWithParam<StepCase> {};
TEST_P(SpinStep, StepsSaturatedAndInRange)
{
    const StepCase &c = GetParam();
    TSpinEditModel model;
    model.MinValue = c.min;
    model.MaxValue = c.max;
    model.Increment = c.increment;
    EXPECT_EQ(model.Step(c.value, c.up), c.expected);
}
INSTANTIATE_TEST_SUITE_P(All, SpinStep, ::testing::ValuesIn(kSteps),
                         [](const auto &i) { return std::string(i.param.name); });

struct CharCase {
    const char *name;
    char32_t c;
    bool all_selected, editor_enabled, valid;
};
const CharCase kChars[] = {
    {"DigitTyped", U'7', false, true, true},
    {"LetterRefused", U'a', false, true, false},
    {"PointRefused", U'.', false, true, false},
    {"MinusOverPartRefused", U'-', false, true, false},
    {"MinusOverAllTaken", U'-', true, true, true},
    {"PlusOverAllTaken", U'+', true, true, true},
    {"BackspaceTaken", 8, false, true, true},
    {"EnterTaken", 13, false, true, true},
    {"TabTaken", 9, false, true, true},
    {"EscapeRefusedWhileEditing", 27, false, true, false},
    {"DisabledDigitRefused", U'7', false, false, false},
    {"DisabledMinusRefused", U'-', true, false, false},
    {"DisabledBackspaceRefused", 8, false, false, false},
    {"DisabledEnterTaken", 13, false, false, true},
    {"DisabledTabTaken", 9, false, false, true},
};
class SpinChar : public ::testing::TestWithParam<CharCase> {};
TEST_P(SpinChar, IsValidChar)
{
    const CharCase &c = GetParam();
    TSpinEditModel model;
    model.EditorEnabled = c.editor_enabled;
    EXPECT_EQ(model.IsValidChar(c.c, c.all_selected), c.valid);
}
INSTANTIATE_TEST_SUITE_P(All, SpinChar, ::testing::ValuesIn(kChars),
                         [](const auto &i) { return std::string(i.param.name); });

struct IntegerCase {
    const char *name;
    const char *text;
    std::optional<int32_t> value;
};
const IntegerCase kIntegers[] = {
    {"Plain", "42", 42},
    {"LeadingBlanks", "  42", 42},
    {"Signed", "-17", -17},
    {"PlusSign", "+3", 3},
    {"Lowest", "-2147483648", kMin},
    {"Highest", "2147483647", kMax},
    {"OneAboveHighest", "2147483648", std::nullopt},
    {"OneBelowLowest", "-2147483649", std::nullopt},
    {"Huge", "99999999999999999999999", std::nullopt},
    {"Letters", "abc", std::nullopt},
    {"Empty", "", std::nullopt},
    {"SignAlone", "-", std::nullopt},
    {"TrailingBlank", "12 ", std::nullopt},
    {"Hex", "0x10", std::nullopt},
};
class SpinInteger : public ::testing::TestWithParam<IntegerCase> {};
TEST_P(SpinInteger, ReadsOnlyWholeDecimalNumbers)
{
    EXPECT_EQ(spin_edit_integer(GetParam().text), GetParam().value);
}
INSTANTIATE_TEST_SUITE_P(All, SpinInteger, ::testing::ValuesIn(kIntegers),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- the widget ----------------------------------------------------------------------------------

class SpinEdit : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        edit = std::make_unique<TQBSpinEdit>();
        edit->show();
        beeps = std::make_unique<QSignalSpy>(edit.get(), &TQBSpinEdit::beeped);
    }
    void TearDown() override
    {
        beeps.reset();
        edit.reset();
        GuiTest::TearDown();
    }
    void Leave()
    {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(edit.get(), &out);
    }
    std::unique_ptr<TQBSpinEdit> edit;
    std::unique_ptr<QSignalSpy> beeps;
};

TEST_F(SpinEdit, StartsAtZeroWithStepOneAndTheEditorEnabled)
{
    EXPECT_EQ(edit->text(), "0");
    EXPECT_EQ(edit->Increment(), 1);
    EXPECT_TRUE(edit->EditorEnabled());
    EXPECT_EQ(edit->GetValue(), 0);
}

TEST_F(SpinEdit, TextThatIsNoNumberReadsAsMinimumAndShowsIt)
{
    edit->SetMinValue(5);
    edit->SetMaxValue(10);
    edit->setText("abc");
    EXPECT_EQ(edit->GetValue(), 5);
    EXPECT_EQ(edit->text(), "5");
}

TEST_F(SpinEdit, WithoutRangeNothingIsClamped)
{
    edit->SetValue(-70000);
    EXPECT_EQ(edit->text(), "-70000");
    edit->DownClick();
    EXPECT_EQ(edit->text(), "-70001");
    Leave();
    EXPECT_EQ(edit->text(), "-70001");
}

TEST_F(SpinEdit, ButtonsAndArrowKeysStepWithinTheRange)
{
    edit->SetMinValue(1);
    edit->SetMaxValue(10);
    edit->SetIncrement(4);
    edit->SetValue(2);
    QTest::mouseClick(edit->UpButton(), Qt::LeftButton);
    EXPECT_EQ(edit->text(), "6");
    QTest::keyClick(edit.get(), Qt::Key_Up);
    EXPECT_EQ(edit->text(), "10");
    QTest::keyClick(edit.get(), Qt::Key_Down);
    QTest::mouseClick(edit->DownButton(), Qt::LeftButton);
    QTest::mouseClick(edit->DownButton(), Qt::LeftButton);
    EXPECT_EQ(edit->text(), "1");
    EXPECT_EQ(beeps->count(), 0);
}

TEST_F(SpinEdit, ReadOnlyBeepsOnEveryStep)
{
    edit->SetValue(3);
    edit->setReadOnly(true);
    edit->UpClick();
    QTest::keyClick(edit.get(), Qt::Key_Down);
    EXPECT_EQ(edit->text(), "3");
    EXPECT_EQ(beeps->count(), 2);
}

TEST_F(SpinEdit, SignOverPartOfTheTextBeepsOverAllOfItIsTaken)
{
    edit->setText("12");
    edit->setSelection(1, 1);
    QTest::keyClick(edit.get(), Qt::Key_Minus);
    EXPECT_EQ(edit->text(), "12");
    EXPECT_EQ(beeps->count(), 1);
    edit->selectAll();
    QTest::keyClick(edit.get(), Qt::Key_Minus);
    EXPECT_EQ(edit->text(), "-");
    EXPECT_EQ(beeps->count(), 1);
    QTest::keyClicks(edit.get(), "4x");
    EXPECT_EQ(edit->text(), "-4");
    EXPECT_EQ(beeps->count(), 2);
}

TEST_F(SpinEdit, LeavingClampsIntoTheRange)
{
    edit->SetMinValue(1);
    edit->SetMaxValue(100);
    edit->setText("999");
    Leave();
    EXPECT_EQ(edit->text(), "100");
    edit->setText("oops");
    Leave();
    EXPECT_EQ(edit->text(), "1");
}

// With the editor disabled the text changes only by the buttons: digits, Backspace, Delete and
// paste are refused, while Enter still reaches the dialog and Tab passes.
TEST_F(SpinEdit, EditorDisabledRefusesEditingButPassesEnterAndTab)
{
    edit->SetEditorEnabled(false);
    edit->setText("12");
    edit->setCursorPosition(2);
    QSignalSpy returns(edit.get(), &QLineEdit::returnPressed);
    QTest::keyClick(edit.get(), Qt::Key_5);
    QTest::keyClick(edit.get(), Qt::Key_Backspace);
    edit->setCursorPosition(0);
    QTest::keyClick(edit.get(), Qt::Key_Delete);
    EXPECT_EQ(edit->text(), "12");
    EXPECT_EQ(beeps->count(), 3);
    QTest::keyClick(edit.get(), Qt::Key_Return);
    QTest::keyClick(edit.get(), Qt::Key_Tab);
    EXPECT_EQ(returns.count(), 1);
    EXPECT_EQ(beeps->count(), 3);
    QApplication::clipboard()->setText("77");
    edit->selectAll();
    QTest::keyClick(edit.get(), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(edit.get(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "12");
    edit->UpClick();
    EXPECT_EQ(edit->text(), "13");
}

TEST_F(SpinEdit, PasteWhileEditableGoesInAndReadsAsMinimumWhenNoNumber)
{
    edit->SetMinValue(2);
    edit->SetMaxValue(9);
    QApplication::clipboard()->setText("xy");
    edit->selectAll();
    QTest::keyClick(edit.get(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), "xy");
    EXPECT_EQ(edit->GetValue(), 2);
}

TEST_F(SpinEdit, EnteringSelectsTheTextWhenAutoSelectIsOn)
{
    edit->setText("345");
    edit->deselect();
    QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
    QApplication::sendEvent(edit.get(), &in);
    EXPECT_EQ(edit->selectedText(), "345");
    edit->deselect();
    edit->SetAutoSelect(false);
    QApplication::sendEvent(edit.get(), &in);
    EXPECT_EQ(edit->selectedText(), "");
}

} // namespace
