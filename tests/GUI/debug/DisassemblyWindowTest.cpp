// The disassembly window over the debugger core's own lines: DB_ML disassembles code from the
// target double's memory into the window's sink, with the source lines of the breakpoint
// tables' double; the tests check what the window lists, selects, sums, copies, saves, where
// it moves, and what it tells the target when it closes.
#include "CommandTestSupport.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include "core/CC_ADDR.h"
#include "debug/frmKXDisassembly.h"
#include "debug/frmKXMoveToAddress.h"
#include "debugger/DB_ML.h"
#include "editor/frmKXEditor.h"
#include "link/TC.h"
#include "options/frmKXEditProperties.h"
#include "options/guiOptionsHost.h"

namespace {

// Modal dialogs are shown, driven by `drive` and given what they ended with.
class DrivenShell : public TOptionsShell {
public:
    std::function<void(QDialog &)> drive;
    int RunState() override { return 1; }
    bool TraceWindowExists() override { return false; }
    void ShowHelpContext(QWidget *, uint32_t) override {}
    std::vector<std::string> OpenFileNames() override { return {}; }
    void CloseConnection() override {}
    void RefreshConnectionPanel() override {}
    int ExecModal(QDialog &dialog) override
    {
        dialog.setResult(QDialog::Rejected);
        dialog.show();
        if (drive)
            drive(dialog);
        if (!dialog.isVisible())
            return dialog.result();
        dialog.hide();
        return QDialog::Rejected;
    }
};

// The program: ld a,0x05 / ldir / ld hl,0x1234 / nop ... at 0x0100.
constexpr uint8_t kCode[] = {0x3E, 0x05, 0xED, 0xB0, 0x21, 0x34, 0x12, 0x00};
constexpr const char *kSource = "int total;\n"           // 1
                                "\n"                      // 2
                                "main()\n"                // 3
                                "{\n"                     // 4
                                "    int i, x;\n"         // 5
                                "    total = 0;\n"        // 6
                                "    for (i = 0; i < 10; i++)\n" // 7
                                "        total = total + i;  // add\n" // 8
                                "    x = 1; // a/b\n"     // 9
                                "}\n";

class DisassemblyWindow : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        reset_preferences_to_defaults();
        set_options_shell(&m_shell);
        forgetDisassemblyView();
        headless_breakpoint_tables().entries.clear();
        m_link.memory.assign(0x100000, 0);
        std::copy(std::begin(kCode), std::end(kCode), m_link.memory.begin() + 0x100);
        m_source = Write("prog.c", kSource);
        AddSource(SourceTable::Line, 8, 0x0100);
        AddSource(SourceTable::Statement, 9, 0x0104);
        gTargetRegisters = TargetRegisterSet{};
        gTargetRegisters.PC = 0x0100;
        m_window = new TfrmDisassembly(&Main(), false, true);
        m_window->ShowWindow();
    }
    void TearDown() override
    {
        delete m_window;
        headless_breakpoint_tables().entries.clear();
        forgetDisassemblyView();
        set_options_shell(nullptr);
        CommandTest::TearDown();
    }
    void AddSource(SourceTable table, int line, uint32_t address)
    {
        headless_breakpoint_tables().entries.push_back({table, m_source, line, 5, address, 0});
    }
    // The debugger core lists the code at `address`.
    void Fill(uint32_t address)
    {
        fillDisassemblyView(address, 1, *m_window->Adapter(), gTargetRegisters.PC);
    }
    // The row of the instruction at a root address; -1 when none.
    int RowOf(uint16_t address) const
    {
        char text[8];
        std::snprintf(text, sizeof text, " %04x", address);
        for (int row = 0; row < m_window->LineCount(); ++row)
            if (m_window->Item(row).Column(DasmColumn::Address) == text)
                return row;
        return -1;
    }
    std::string FirstAddress() const
    {
        for (int row = 0; row < m_window->LineCount(); ++row)
            if (!m_window->Item(row).IsSource())
                return m_window->Item(row).Column(DasmColumn::Address);
        return {};
    }
    // The Move to Address dialog answers with `text` and OK.
    void TypeAddress(const std::string &text)
    {
        m_shell.drive = [text](QDialog &dialog) {
            auto &form = static_cast<TfrmMoveToAddress &>(dialog);
            form.edtJumpAddress->setEditText(QString::fromStdString(text));
            form.btnOK->click();
        };
    }

    DrivenShell m_shell;
    std::string m_source;
    TfrmDisassembly *m_window = nullptr;
};

TEST_F(DisassemblyWindow, ListsTheCoreLinesWithTheirSourceLines)
{
    Fill(0x0100);
    ASSERT_GE(m_window->LineCount(), 6);
    const TdasmListObject &source = m_window->Item(0);
    ASSERT_TRUE(source.IsSource());
    EXPECT_EQ(source.source_label, "[prog.c(8)]: ");
    EXPECT_EQ(source.source_text, "total = total + i;") << "trimmed, the comment cut";
    const TdasmListObject &ld = m_window->Item(1);
    EXPECT_EQ(ld.columns, (std::array<std::string, 4>{" 0100", " 3E05", " ld     a,0x05", " 4"}))
        << ld.Column(DasmColumn::Opcode);
    EXPECT_EQ(m_window->Item(2).Column(DasmColumn::Cycles), " 6+7n");
    // Line 9 is only in the statement table; its comment holds a '/', so it stays.
    ASSERT_EQ(RowOf(0x0104), 4);
    EXPECT_EQ(m_window->Item(3).source_label, "[prog.c(9)]: ");
    EXPECT_EQ(m_window->Item(3).source_text, "x = 1; // a/b");
    EXPECT_EQ(m_window->ExecutionLine(), 1);
    EXPECT_EQ(m_window->SelectedRows(), std::vector<int>{1});

    // Copying a source line copies its text without the label.
    m_window->SelectRows({0});
    m_window->actCopyExecute();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "total = total + i;\n");

    // Without the file name the listing is made again, labelled by line number only.
    m_window->actShowFileNameExecute();
    EXPECT_FALSE(IdePreferences().assembly.show_file_name_in_source);
    EXPECT_EQ(m_window->Item(0).source_label, "[8]: ");
    EXPECT_EQ(FirstAddress(), " 0100");

    // Without source lines only instructions are listed.
    m_window->actShowSourceExecute();
    EXPECT_FALSE(IdePreferences().assembly.show_source);
    EXPECT_FALSE(m_window->Item(0).IsSource());
    EXPECT_EQ(RowOf(0x0104), 2);
}

TEST_F(DisassemblyWindow, SourceTextFromTheOpenEditorElseTheFile)
{
    TfrmEdit *editor = Open("prog.c", kSource);
    ASSERT_NE(editor, nullptr);
    m_source = editor->GetTextEdit()->GetFileName();
    headless_breakpoint_tables().entries.clear();
    AddSource(SourceTable::Line, 8, 0x0100);
    editor->Editor()->setSelection(7, 0, 7, editor->Editor()->lineLength(7) - 1);
    editor->Editor()->replaceSelectedText("  total += i;");
    Fill(0x0100);
    EXPECT_EQ(m_window->Item(0).source_text, "total += i;") << "the unsaved text";

    // A file that is gone: the label stays, the text is empty.
    headless_breakpoint_tables().entries.clear();
    m_source = Path("gone.c");
    AddSource(SourceTable::Line, 8, 0x0100);
    Fill(0x0100);
    EXPECT_EQ(m_window->Item(0).source_label, "[gone.c(8)]: ");
    EXPECT_EQ(m_window->Item(0).source_text, "");
}

// Lines the core would never write still list, each as one instruction without a source line.
TEST_F(DisassemblyWindow, OddAdapterLinesListWithoutSourceLines)
{
    headless_breakpoint_tables().entries.clear();
    AddSource(SourceTable::Line, 3, 0x0000);
    const std::vector<std::string> lines = {
        "", "      ", "word", "   0100 00       nop", "zzzz 00 nop 4",
        "   0000 00 " + std::string(10240, 'n') + " 4"};
    m_window->BeginUpdate();
    m_window->Clear();
    for (const std::string &line : lines)
        m_window->Adapter()->AddLine(line.c_str());
    m_window->EndUpdate();
    ASSERT_EQ(m_window->LineCount(), 7) << "one source line, for 0000";
    EXPECT_TRUE(m_window->Item(5).IsSource());
    EXPECT_EQ(m_window->Item(6).Column(DasmColumn::Opcode).size(), 10241u);
    m_window->SelectRows({0, 1, 2, 3, 4, 6});
    EXPECT_EQ(m_window->CycleSumPanel(), " Selected Clock Cycles Sum: 8");
}

TEST_F(DisassemblyWindow, ColumnTogglesStoreTheirSettingAndKeepTheOrder)
{
    Fill(0x0100);
    using Captions = std::vector<std::string>;
    EXPECT_EQ(m_window->SectionCaptions(), (Captions{"Address", "Machine Code", "Opcode", "Cycles"}));
    m_window->actShowAddressExecute();
    EXPECT_FALSE(IdePreferences().assembly.show_address);
    EXPECT_FALSE(m_window->actShowAddress->isChecked());
    EXPECT_EQ(m_window->SectionCaptions(), (Captions{"Machine Code", "Opcode", "Cycles"}));
    EXPECT_EQ(m_window->LineText(1).substr(0, 5), " 3E05");
    m_window->actShowMachineExecute();
    m_window->actShowAddressExecute();
    EXPECT_EQ(m_window->SectionCaptions(), (Captions{"Address", "Opcode", "Cycles"}))
        << "Address comes back first";
    m_window->actShowMachineExecute();
    m_window->actShowCyclesExecute();
    EXPECT_FALSE(IdePreferences().assembly.show_cycles);
    EXPECT_EQ(m_window->SectionCaptions(), (Captions{"Address", "Machine Code", "Opcode"}));
    m_window->actShowCyclesExecute();
    EXPECT_EQ(m_window->SectionCaptions(), (Captions{"Address", "Machine Code", "Opcode", "Cycles"}));
    EXPECT_TRUE(IdePreferences().assembly.show_address);
    EXPECT_TRUE(IdePreferences().assembly.show_machine);
    EXPECT_TRUE(IdePreferences().assembly.show_cycles);

    // The context menu's check marks flip through the same handlers.
    m_window->actSumCycles->trigger();
    EXPECT_FALSE(IdePreferences().assembly.sum_cycles);
    EXPECT_FALSE(m_window->actSumCycles->isChecked());
    m_window->actSyntaxHighlight->trigger();
    EXPECT_FALSE(IdePreferences().assembly.syntax_highlight);
}

// The Environment Options' assembly boxes are the window's own commands: an open window shows
// each change at once; Cancel brings back its columns and the settings without a change of
// its own; OK keeps them.
TEST_F(DisassemblyWindow, EnvironmentOptionsChangeTheOpenWindowAndCancelPutsItBack)
{
    Fill(0x0100);
    m_windows.exists[RecordingDebugWindows::Index(DebugWindow::Disassembly)] = true;
    m_windows.windows[RecordingDebugWindows::Index(DebugWindow::Disassembly)] = m_window;
    using Captions = std::vector<std::string>;
    const Captions all{"Address", "Machine Code", "Opcode", "Cycles"};
    auto options = [&](std::function<void(TfrmEditProperties &)> script) {
        m_shell.drive = [&](QDialog &dialog) { script(static_cast<TfrmEditProperties &>(dialog)); };
        Main().actEnvOptions->trigger();
        m_shell.drive = nullptr;
    };
    options([&](TfrmEditProperties &d) {
        d.chkShowAddress->click();
        d.chkShowCycles->click();
        d.chkSumClockCycles->click();
        EXPECT_EQ(m_window->SectionCaptions(), (Captions{"Machine Code", "Opcode"}));
        EXPECT_FALSE(m_window->actSumCycles->isChecked());
        EXPECT_FALSE(IdePreferences().assembly.show_address);
        m_boxes.answers.push_back(kIdYes); // quit without saving
        d.reject();
    });
    EXPECT_EQ(m_window->SectionCaptions(), all);
    EXPECT_TRUE(m_window->actShowAddress->isChecked());
    EXPECT_TRUE(m_window->actSumCycles->isChecked());
    EXPECT_TRUE(IdePreferences().assembly.show_address);
    EXPECT_TRUE(IdePreferences().assembly.show_cycles);
    EXPECT_TRUE(IdePreferences().assembly.sum_cycles);

    options([&](TfrmEditProperties &d) {
        d.chkShowMachine->click();
        d.accept();
    });
    EXPECT_EQ(m_window->SectionCaptions(), (Captions{"Address", "Opcode", "Cycles"}));
    EXPECT_FALSE(IdePreferences().assembly.show_machine);
}

TEST_F(DisassemblyWindow, AllColumnsOffFormatAnInstructionAsNothing)
{
    IdePreferences().assembly.show_assembly = false;
    delete m_window;
    m_window = new TfrmDisassembly(&Main(), false, true);
    Fill(0x0100);
    m_window->actShowAddressExecute();
    m_window->actShowMachineExecute();
    m_window->actShowCyclesExecute();
    EXPECT_TRUE(m_window->SectionCaptions().empty());
    EXPECT_EQ(m_window->LineText(1), "");
}

TEST_F(DisassemblyWindow, ColumnsOnlyWidenAndAResizeHoldsUntilALongerText)
{
    Fill(0x0100);
    const int opcode = m_window->SectionWidth(DasmColumn::Opcode);
    const QFontMetrics metrics(m_window->lbxDisassembled->font());
    EXPECT_GE(opcode, metrics.horizontalAdvance(" ld     hl,0x1234"));
    m_window->hcDisassembly->resizeSection(3, 20);
    Fill(0x0100);
    EXPECT_EQ(m_window->SectionWidth(DasmColumn::Opcode), 20) << "the user's width holds";
    m_window->BeginUpdate();
    m_window->AddDisassemblyLines("   0200 00       " + std::string(40, 'w') + "  4");
    m_window->EndUpdate();
    EXPECT_GE(m_window->SectionWidth(DasmColumn::Opcode), metrics.horizontalAdvance(
                                                              QString(41, QChar('w'))));
}

TEST_F(DisassemblyWindow, OnlyThePcLineIsKeptAsTheExecutionLine)
{
    Fill(0x0100);
    ASSERT_EQ(m_window->ExecutionLine(), 1);
    m_window->MarkExecutionLine(2, 0); // instruction 2: ld hl at 0x0104
    EXPECT_EQ(m_window->SelectedRows(), std::vector<int>{4});
    EXPECT_EQ(m_window->ExecutionLine(), -1);
    m_window->MarkExecutionLine(9999, 0);
    EXPECT_TRUE(m_window->SelectedRows().empty());

    // A line far down comes into view.
    m_window->Host()->resize(400, 200);
    Fill(0x0100);
    m_window->MarkExecutionLine(60, 0);
    const int row = m_window->SelectedRows().at(0);
    const QRect shown = m_window->lbxDisassembled->visualRect(
        m_window->lbxDisassembled->model()->index(row, 0));
    EXPECT_TRUE(m_window->lbxDisassembled->viewport()->rect().intersects(shown));
}

TEST_F(DisassemblyWindow, SumsTheSelectedCyclesLeavingOutBlockMoves)
{
    Fill(0x0100);
    m_window->SelectRows({1, 2, 4}); // 4, 6+7n, 6
    EXPECT_EQ(m_window->CycleSumPanel(), " Selected Clock Cycles Sum: 10");
    m_window->SelectRows({0}); // a source line
    EXPECT_EQ(m_window->CycleSumPanel(), " Selected Clock Cycles Sum: ");
    m_window->SelectRows({});
    EXPECT_EQ(m_window->CycleSumPanel(), " Selected Clock Cycles Sum: ");
    m_window->SelectRows({1});
    m_window->ResetCycleSumStatus();
    EXPECT_EQ(m_window->CycleSumPanel(), "") << "a step empties it";
    m_window->actSumCyclesExecute();
    m_window->SelectRows({1, 4});
    EXPECT_EQ(m_window->CycleSumPanel(), "") << "summing off";
}

TEST_F(DisassemblyWindow, SumsTenThousandLines)
{
    headless_breakpoint_tables().entries.clear();
    m_window->BeginUpdate();
    m_window->Clear();
    for (int i = 0; i < 10000; ++i)
        m_window->AddDisassemblyLines("   0100 00       nop      " + std::string(i % 2 ? "4" : "6+7n"));
    m_window->EndUpdate();
    std::vector<int> all(static_cast<std::size_t>(m_window->LineCount()));
    std::iota(all.begin(), all.end(), 0);
    m_window->SelectRows(all);
    EXPECT_EQ(m_window->CycleSumPanel(), " Selected Clock Cycles Sum: 20000");
}

TEST_F(DisassemblyWindow, CopiesAndSavesTheSelectionInListOrder)
{
    Fill(0x0100);
    m_window->SelectRows({});
    EXPECT_FALSE(m_window->actCopySaveUpdate());
    QGuiApplication::clipboard()->setText("before");
    m_window->actCopy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");

    m_window->SelectRows({4, 1});
    ASSERT_TRUE(m_window->actCopySaveUpdate());
    const std::string expected = m_window->LineText(1) + "\n" + m_window->LineText(4) + "\n";
    m_window->actCopy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected);
    EXPECT_EQ(m_window->LineText(1).substr(0, 9), " 0100    ");

    GuiTest::m_dialogs.choices.push_back({Path("listing")});
    m_window->actSave->trigger();
    ASSERT_EQ(GuiTest::m_dialogs.requests.size(), 1u);
    EXPECT_EQ(GuiTest::m_dialogs.requests[0].kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(Read(Path("listing.dasm")), expected) << "the default extension";
    GuiTest::m_dialogs.choices.push_back({Path("kept.txt")});
    m_window->actSave->trigger();
    EXPECT_EQ(Read(Path("kept.txt")), expected);
}

TEST_F(DisassemblyWindow, MovesInsideTheListOrDisassemblesFromTheAddress)
{
    Fill(0x0100);
    TypeAddress("0x0104");
    m_window->actMove->trigger();
    EXPECT_EQ(m_window->SelectedRows(), std::vector<int>{RowOf(0x0104)});
    EXPECT_EQ(FirstAddress(), " 0100") << "no new listing";

    TypeAddress("00f0");
    m_window->actMove->trigger();
    EXPECT_EQ(FirstAddress(), " 00f0") << "below the first line";
    EXPECT_EQ(m_window->SelectedRows(), std::vector<int>{0});

    TypeAddress("0x0800");
    m_window->actMove->trigger();
    EXPECT_EQ(FirstAddress(), " 0800") << "past the last line";

    // Back to the execution point, and the PC's line is the execution line again.
    m_window->actMoveToExePoint->trigger();
    EXPECT_EQ(FirstAddress(), " 0100");
    EXPECT_EQ(m_window->ExecutionLine(), RowOf(0x0100));
    EXPECT_TRUE(Called("PausePolling"));
}

// An XPC below 0x10 or a root PC below 0x1000 needs its leading zeros to read back.
TEST_F(DisassemblyWindow, MovesToTheExecutionPointInExtendedMemory)
{
    const uint32_t pc = make_addr(0x0E, 0xE123);
    std::copy(std::begin(kCode), std::end(kCode), m_link.memory.begin() + addr_to_physical(pc));
    gTargetRegisters.PC = pc;
    Fill(0x0100);
    m_window->actMoveToExePointExecute();
    EXPECT_EQ(FirstAddress(), " 0e:e123");
    EXPECT_EQ(m_window->ExecutionLine(), 0);
}

TEST_F(DisassemblyWindow, ClosingWhileDebuggingStopsTheAssemblyReports)
{
    Fill(0x0100);
    Enter(1);
    m_journal.fail = [](const std::string &call) {
        if (call == "TcSetSendFlag 2 off")
            throw xTCErr(7151, KX_HERE);
    };
    m_window->CloseWindow();
    EXPECT_TRUE(Called("TcSetSendFlag 2 off"));
    EXPECT_FALSE(m_window->IsShown());
    EXPECT_TRUE(m_boxes.shown.empty()) << "a failure while closing is not shown";
    EXPECT_FALSE(Main().AutoShow(DebugWindow::Disassembly));
    m_journal.fail = nullptr;

    Main().SetDebugMode(0);
    m_journal.calls.clear();
    m_window->ShowWindow();
    m_window->CloseWindow();
    EXPECT_FALSE(Called("TcSetSendFlag 2 off")) << "outside debug mode nothing is sent";
}

} // namespace

namespace {

// The program's own table makes the real windows: F10 and F12 open and close them, filled as
// the toggles fill them.
TEST_F(DisassemblyWindow, TheProgramsTableOpensAndClosesTheRealWindows)
{
    set_debug_windows(nullptr);
    Enter(1);
    TDebugWindows &windows = debug_windows();
    struct Toggle {
        QAction *action;
        DebugWindow window;
        const char *fill;
        const char *report_on;
    };
    for (const Toggle &t : {Toggle{Main().actToggleAsm, DebugWindow::Disassembly,
                                   "fillDisassemblyView", "TcSetSendFlag 2 on"},
                            Toggle{Main().actToggleStack, DebugWindow::Stack, "fillStackView",
                                   "TcSetSendFlag 0 on"}}) {
        m_journal.calls.clear();
        t.action->trigger();
        ASSERT_TRUE(windows.Exists(t.window)) << t.fill;
        EXPECT_TRUE(windows.IsShown(t.window));
        EXPECT_NE(windows.Adapter(t.window), nullptr);
        EXPECT_TRUE(Called(t.fill));
        EXPECT_TRUE(Called(t.report_on));
        t.action->trigger();
        EXPECT_FALSE(windows.IsShown(t.window));
    }
    EXPECT_TRUE(m_boxes.shown.empty()) << m_boxes.shown.front().text;
}

// The program's own command dialogs: Disassemble at Address asks with the dialog, and a step
// empties the disassembly window's cycle sum.
TEST_F(DisassemblyWindow, TheProgramsDialogsReachTheWindow)
{
    set_command_dialogs(nullptr);
    TypeAddress("1e:E123");
    uint32_t address = 0;
    EXPECT_TRUE(command_dialogs().MoveToAddress(address));
    EXPECT_EQ(address, make_addr(0x1E, 0xE123));

    Fill(0x0100);
    m_window->SelectRows({1});
    ASSERT_NE(m_window->CycleSumPanel(), "");
    m_windows.exists[RecordingDebugWindows::Index(DebugWindow::Disassembly)] = true;
    m_windows.adapters[RecordingDebugWindows::Index(DebugWindow::Disassembly)] =
        m_window->Adapter();
    command_dialogs().ResetCycleSumStatus();
    EXPECT_EQ(m_window->CycleSumPanel(), "");
}

} // namespace
