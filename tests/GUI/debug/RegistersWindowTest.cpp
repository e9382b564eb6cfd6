// The registers window: its lines and value texts without the window, then the window in the
// IDE over the recording debugger: the editable view, increment, decrement, flags, the two
// dialogs (scripted, never exec()), refused texts and refused writes, the history view, the
// view switch and the left pane's width.
#include "CommandTestSupport.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>

#include "link/TC.h"
#include "debug/frmKXRegisters.h"
#include "debug/guiDebugWindows.h"
#include "debugger/DB_ML.h"
#include "core/guiExceptions.h"

namespace {

TargetRegisterSet sample_set()
{
    TargetRegisterSet r;
    r.AF = 0x12C5;
    r.BC = 0x1234;
    r.DE = 0xDE00;
    r.HL = 0x0FF1;
    r.SP = 0xDFF0;
    r.PC = 0x0E4321;
    r.IX = 0x1111;
    r.IY = 0x2222;
    r.AF2 = 0xAF00;
    r.BC2 = 0xBC00;
    r.DE2 = 0xDE01;
    r.HL2 = 0x4100;
    return r;
}

TEST(RegisterLines, EveryRegisterAndFlag)
{
    const auto lines = register_lines(sample_set());
    const std::array<std::string, kRegisterLineCount> expected = {
        "A  : 0x12",   "BC : 0x1234", "DE : 0xDE00", "HL : 0x0FF1", "AF': 0xAF00",
        "BC': 0xBC00", "DE': 0xDE01", "HL': 0x4100", "IX : 0x1111", "IY : 0x2222",
        "SP : 0xDFF0", "PC : 0x4321", "XPC: 0x000E"};
    EXPECT_EQ(lines, expected);
    // F = 0xC5: bits 0, 2, 6 and 7.
    const std::array<std::string, 8> flags = {"C: 1", "x: 0", "O: 1", "x: 0",
                                              "x: 0", "x: 0", "Z: 1", "S: 1"};
    EXPECT_EQ(flag_lines(sample_set()), flags);
}

struct StepCase {
    const char *name;
    int line;
    int delta;
    uint16_t TargetRegisterSet::*word;
    uint16_t before, after;
};

const StepCase kSteps[] = {
    {"AWrapsUpKeepingF", 0, +1, &TargetRegisterSet::AF, 0xFF5A, 0x005A},
    {"AWrapsDown", 0, -1, &TargetRegisterSet::AF, 0x0001, 0xFF01},
    {"BCWrapsDown", 1, -1, &TargetRegisterSet::BC, 0x0000, 0xFFFF},
    {"HLPrimeUp", 7, +1, &TargetRegisterSet::HL2, 0x12FF, 0x1300},
    {"IYWrapsUp", 9, +1, &TargetRegisterSet::IY, 0xFFFF, 0x0000},
    {"SPIsLeft", 10, +1, &TargetRegisterSet::SP, 0x1000, 0x1000},
    {"NoLine", -1, +1, &TargetRegisterSet::AF, 0x1234, 0x1234},
};

class RegisterSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(RegisterSteps, OnlyTheLinesRegister)
{
    const StepCase &c = GetParam();
    TargetRegisterSet before = sample_set();
    before.*c.word = c.before;
    TargetRegisterSet expected = before;
    expected.*c.word = c.after;
    EXPECT_EQ(step_register(before, c.line, c.delta), expected);
}

INSTANTIATE_TEST_SUITE_P(All, RegisterSteps, ::testing::ValuesIn(kSteps),
                         [](const auto &i) { return std::string(i.param.name); });

struct ValueCase {
    const char *name;
    const char *text;
    std::optional<int32_t> value;
};

const ValueCase kValues[] = {
    {"Hex", "0x12", 0x12},
    {"Decimal", "18", 18},
    {"UpperHexWithBlanks", " 0X1f ", 0x1F},
    {"Minus", "-1", -1},
    {"Plus", "+7", 7},
    {"AboveSixteenBits", "70000", 70000},
    {"HexAllBits", "0xFFFFFFFF", -1},
    {"Lowest", "-2147483648", INT32_MIN},
    {"Empty", "", std::nullopt},
    {"Letters", "xyz", std::nullopt},
    {"PrefixOnly", "0x", std::nullopt},
    {"TooLarge", "99999999999", std::nullopt},
    {"JustAboveInt", "2147483648", std::nullopt},
    {"HexTooLong", "0x100000000", std::nullopt},
    {"HexDigitInDecimal", "12a", std::nullopt},
    {"SignOnly", "-", std::nullopt},
};

class RegisterValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(RegisterValues, Converted)
{
    EXPECT_EQ(register_value(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(All, RegisterValues, ::testing::ValuesIn(kValues),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(RegisterPrompts, OnePerWritableLine)
{
    const char *expected[] = {"A", "BC", "DE", "HL", "AF'", "BC'", "DE'", "HL'", "IX", "IY"};
    for (int line = 0; line < 10; ++line)
        EXPECT_EQ(register_prompt(line), std::string("Enter new value for ") + expected[line]);
    for (int line : {-1, 10, 11, 12, 13})
        EXPECT_EQ(register_prompt(line), "") << line;
}

// ---- the window -----------------------------------------------------------------------------------

std::string set_text(const TargetRegisterSet &r)
{
    char text[160];
    std::snprintf(text, sizeof text,
                  "AF=%04X BC=%04X DE=%04X HL=%04X AF'=%04X BC'=%04X DE'=%04X HL'=%04X "
                  "IX=%04X IY=%04X",
                  r.AF, r.BC, r.DE, r.HL, r.AF2, r.BC2, r.DE2, r.HL2, r.IX, r.IY);
    return text;
}

class RegistersWindow : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        set_debug_windows(nullptr);
        IdePreferences().registers = RegisterWindowSettings();
        gTargetRegisters = sample_set();
        // The recording debugger formats with the real formatting, into the window's sink.
        m_dbg.on_format_registers = [] {
            if (TRegisterInterface *view = gMainWindowInterface->GetRegisterInterface(false))
                formatRegisterLines(*view, gTargetRegisters);
        };
        Enter(1);
        debug_windows().Toggle(DebugWindow::Registers);
        m_window = qobject_cast<TfrmRegisters *>(
            static_cast<ProgramDebugWindows &>(debug_windows()).Window(DebugWindow::Registers));
        ASSERT_NE(m_window, nullptr);
        m_journal.calls.clear();
    }
    void TearDown() override
    {
        set_registers_modal_runner(nullptr);
        CommandTest::TearDown();
    }
    std::string Line(int row) { return m_window->lbxMainRegisters->item(row)->text().toStdString(); }
    std::string Flag(int bit) { return m_window->lbxFlags->item(bit)->text().toStdString(); }
    void SelectRegister(int row)
    {
        m_window->lbxMainRegisters->setCurrentRow(row);
        m_window->UpdateActions();
    }
    // The dialog is shown, filled by the script and OK pressed; it closes unless it refused.
    void ScriptDialog(std::function<void(QDialog &)> fill)
    {
        set_registers_modal_runner([this, fill](QDialog &dialog) {
            dialog.show();
            fill(dialog);
            m_dialog_title = dialog.windowTitle().toStdString();
            dialog.findChild<QPushButton *>(QString(), Qt::FindDirectChildrenOnly);
            for (QPushButton *button : dialog.findChildren<QPushButton *>())
                if (button->text() == "&OK")
                    button->click();
            m_dialog_stayed = dialog.isVisible();
            if (m_dialog_stayed)
                dialog.reject();
            return dialog.result();
        });
    }

    TfrmRegisters *m_window = nullptr;
    std::string m_dialog_title;
    bool m_dialog_stayed = false;
};

TEST_F(RegistersWindow, ShowsTheSetAndTheHistory)
{
    EXPECT_EQ(Line(0), "A  : 0x12");
    EXPECT_EQ(Line(12), "XPC: 0x000E");
    EXPECT_EQ(Flag(6), "Z: 1");
    EXPECT_TRUE(m_window->pnlRegister->isVisible()) << "\"Show Editable\" by default";
    // The debugger core's lines go into the hidden history view, the newest in view.
    for (int i = 0; i < 12; ++i)
        formatRegisterLines(m_window->Sink(), gTargetRegisters);
    QListWidget *history = m_window->lbxRegisters;
    ASSERT_GT(history->count(), 40);
    m_window->actSwitchHistoryExecute();
    EXPECT_TRUE(history->isVisible());
    const QRect last = history->visualItemRect(history->item(history->count() - 1));
    EXPECT_TRUE(history->viewport()->rect().intersects(last)) << "the newest line is in view";
}

struct EditCase {
    const char *name;
    int line;
    bool increment;
    std::function<void(TargetRegisterSet &)> change;
};

const EditCase kEdits[] = {
    {"IncrementA", 0, true, [](TargetRegisterSet &r) { r.AF = 0x13C5; }},
    {"DecrementBC", 1, false, [](TargetRegisterSet &r) { r.BC = 0x1233; }},
    {"IncrementNothingSelected", -1, true, [](TargetRegisterSet &) {}},
};

class RegisterEdits : public RegistersWindow, public ::testing::WithParamInterface<EditCase> {};

TEST_P(RegisterEdits, WriteTheWholeSetThenReformat)
{
    const EditCase &c = GetParam();
    TargetRegisterSet expected = gTargetRegisters;
    c.change(expected);
    SelectRegister(c.line);
    (c.increment ? m_window->actIncrementRegister : m_window->actDecrementRegister)->trigger();
    EXPECT_TRUE(InOrder({"TcWriteRegisters " + set_text(expected), "formatRegisterLines"}));
    EXPECT_EQ(gTargetRegisters, expected);
    EXPECT_EQ(Line(0), register_lines(expected)[0]);
    EXPECT_EQ(Line(1), register_lines(expected)[1]);
}

INSTANTIATE_TEST_SUITE_P(All, RegisterEdits, ::testing::ValuesIn(kEdits),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(RegistersWindow, SPPCAndXPCCannotBeChangedNorAnythingWhileRunning)
{
    for (int line : {10, 11, 12}) {
        SelectRegister(line);
        EXPECT_FALSE(m_window->actIncrementRegister->isEnabled()) << line;
        EXPECT_FALSE(m_window->actDecrementRegister->isEnabled()) << line;
        EXPECT_FALSE(m_window->actNewRegisterValue->isEnabled()) << line;
    }
    SelectRegister(3);
    EXPECT_TRUE(m_window->actIncrementRegister->isEnabled());
    Main().SetDebugMode(2);
    m_journal.calls.clear();
    m_window->UpdateActions();
    EXPECT_FALSE(m_window->actIncrementRegister->isEnabled());
    EXPECT_FALSE(m_window->actToggleFlag->isEnabled());
    EXPECT_FALSE(m_window->actChangeRegisters->isEnabled());
    m_window->actIncrementRegister->trigger();
    EXPECT_FALSE(Called("TcWriteRegisters " + set_text(step_register(sample_set(), 3, 1))));
}

TEST_F(RegistersWindow, ToggleZeroFlipsBitSixOnly)
{
    m_window->lbxFlags->setCurrentRow(6);
    m_window->UpdateActions();
    m_window->actToggleFlag->trigger();
    EXPECT_EQ(gTargetRegisters.AF, 0x1285);
    EXPECT_EQ(Flag(6), "Z: 0");
    EXPECT_EQ(m_window->lbxFlags->currentRow(), 6) << "the selection is kept";
}

TEST_F(RegistersWindow, ARefusedWriteKeepsTheBoardsValues)
{
    m_journal.fail = [](const std::string &call) {
        if (call.rfind("TcWriteRegisters", 0) == 0)
            throw xTCErr(7151, KX_HERE);
    };
    SelectRegister(3);
    m_window->actIncrementRegister->trigger();
    EXPECT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(gTargetRegisters, sample_set());
    EXPECT_EQ(Line(3), "HL : 0x0FF1");
    EXPECT_FALSE(Called("formatRegisterLines"));
    EXPECT_TRUE(Main().IsEditMode()) << "a link error leaves debug mode";
}

TEST_F(RegistersWindow, ChangeAllRegistersReadsFirstAndWritesTheDialogsValues)
{
    ScriptDialog([](QDialog &dialog) {
        auto &form = static_cast<TfrmChangeRegisters &>(dialog);
        EXPECT_EQ(form.edtA->text(), "0x12C5") << "A shows the whole of AF";
        form.edtA->setText("0x3400");
        form.edtBC->setText("18");
        form.edtIY->setText("70000");
        form.edtaltHL->setText("-1");
    });
    m_window->actChangeRegisters->trigger();
    TargetRegisterSet expected = sample_set();
    expected.AF = 0x3400;
    expected.BC = 0x0012;
    expected.IY = 0x1170;
    expected.HL2 = 0xFFFF;
    EXPECT_EQ(m_dialog_title, "Change Register Values");
    EXPECT_TRUE(InOrder({"TcReadRegisters", "TcWriteRegisters " + set_text(expected),
                         "formatRegisterLines"}));
    EXPECT_EQ(gTargetRegisters, expected);
}

TEST_F(RegistersWindow, ABadTextIsNamedAndNothingIsWritten)
{
    for (const char *bad : {"", "xyz", "0x", "99999999999"}) {
        m_boxes.shown.clear();
        m_journal.calls.clear();
        QLineEdit *focused = nullptr;
        ScriptDialog([&](QDialog &dialog) {
            auto &form = static_cast<TfrmChangeRegisters &>(dialog);
            form.edtBC->setText("0x1");
            form.edtDE->setText(bad);
            focused = form.edtDE;
        });
        m_window->actChangeRegisters->trigger();
        EXPECT_TRUE(m_dialog_stayed) << bad;
        ASSERT_EQ(m_boxes.shown.size(), 1u) << bad;
        EXPECT_EQ(m_boxes.shown[0].text, std::string("'") + bad + "' is not a valid integer value");
        EXPECT_EQ(m_boxes.shown[0].caption, "Error");
        EXPECT_EQ(gTargetRegisters, sample_set()) << bad;
        EXPECT_FALSE(Called("TcWriteRegisters " + set_text(sample_set()))) << bad;
        for (const std::string &call : m_journal.calls)
            EXPECT_NE(call.rfind("TcWriteRegisters", 0), 0u) << bad;
    }
}

struct SingleCase {
    const char *name;
    int line;
    const char *text;
    const char *prompt;
    uint16_t TargetRegisterSet::*word;
    uint16_t after;
};

const SingleCase kSingles[] = {
    {"AKeepsF", 0, "0x1FF", "Enter new value for A", &TargetRegisterSet::AF, 0xFFC5},
    {"BCPrime", 5, "0x1234", "Enter new value for BC'", &TargetRegisterSet::BC2, 0x1234},
    {"HLMinusOne", 3, "-1", "Enter new value for HL", &TargetRegisterSet::HL, 0xFFFF},
};

class SingleRegister : public RegistersWindow, public ::testing::WithParamInterface<SingleCase> {};

TEST_P(SingleRegister, NewValue)
{
    const SingleCase &c = GetParam();
    ScriptDialog([&](QDialog &dialog) {
        static_cast<TfrmChangeSingleReg &>(dialog).edtNewRegisterValue->setText(c.text);
    });
    SelectRegister(c.line);
    m_window->actNewRegisterValue->trigger();
    EXPECT_EQ(m_dialog_title, c.prompt);
    TargetRegisterSet expected = sample_set();
    expected.*c.word = c.after;
    EXPECT_EQ(gTargetRegisters, expected);
    EXPECT_TRUE(Called("TcWriteRegisters " + set_text(expected)));
}

INSTANTIATE_TEST_SUITE_P(All, SingleRegister, ::testing::ValuesIn(kSingles),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(RegistersWindow, TheViewChoiceIsStored)
{
    RegisterWindowSettings &s = IdePreferences().registers;
    m_window->actSwitchHistoryExecute();
    EXPECT_FALSE(s.show_editable);
    EXPECT_TRUE(s.show_history);
    EXPECT_TRUE(m_window->lbxRegisters->isVisible());
    EXPECT_FALSE(m_window->pnlRegister->isVisible());
    m_window->actSwitchEditableExecute();
    EXPECT_TRUE(s.show_editable);
    EXPECT_FALSE(s.show_history);
    EXPECT_TRUE(m_window->pnlRegister->isVisible());
}

TEST_F(RegistersWindow, TheLeftPaneTakesItsWidthAndAStepSavesIt)
{
    EXPECT_EQ(m_window->splRegister->sizes().value(0), 169);
    const QList<int> sizes = m_window->splRegister->sizes();
    m_window->splRegister->setSizes({120, sizes.value(0) + sizes.value(1) - 120});
    set_command_dialogs(nullptr);
    command_dialogs().SaveRegistersPosition();
    EXPECT_EQ(IdePreferences().registers.child_main_width, 120);
}

} // namespace
