// The trace window over the program's trace store: its header sections by the store's options,
// the cells and register lists of an entry, grouping, copying with the header, the actions of
// an empty trace, opening an entry's source, closing in debug mode, the stored widths, and the
// main window's toggle.
#include "CommandTestSupport.h"
#include "HostDoubles.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QListWidget>

#include <filesystem>

#include "debug/frmKXTrace.h"
#include "debugger/DB_SRC.h"
#include "link/DB_GO.h"
#include "link/guiTrace.h"
#include "linker/MAPFILE.h"

namespace {

namespace fs = std::filesystem;

constexpr uint16_t kMain = 0x1000;
constexpr uint16_t kFunc = 0x1100;
constexpr uint16_t kEnd = 0x1200;
constexpr uint8_t kExecute = kTraceExecute | 0x01;

std::vector<uint8_t> packet(uint8_t flags, uint16_t pc, uint8_t a = 0, uint8_t f = 0)
{
    std::vector<uint8_t> p(kTracePacketSize, 0);
    p[0] = flags;
    p[13] = f;
    p[14] = a;
    p[26] = uint8_t(pc);
    p[27] = uint8_t(pc >> 8);
    return p;
}

class TraceWindow : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        reset_run_control();
        clearBreakpoints();
        gAddressNameMap.clear();
        gAddressNameMap[kMain] = {kMain, "main"};
        gAddressNameMap[kFunc] = {kFunc, "func"};
        gAddressNameMap[kEnd] = {kEnd, "end"};
        TIdePreferences &p = IdePreferences();
        p.enable_tracing = true;
        p.trace_buf_size = 1;
        p.enable_trace_buf_wrap = false;
        p.enable_trace_rst = true;
        p.trace_info_func = p.trace_info_file = p.trace_info_line_col = true;
        p.trace_info_time = p.trace_info_action = p.trace_info_reg = true;
        p.tracing = false;
        trace_buf().SetTraceOptions();
        p.tracing = true;
        trace_buf().EnableTrace(true);
        m_main_c = Write("main.c", "int main()\n{\n  x();\n}\n");
        addSourceEntry(m_main_c, 3, 3, kMain + 4, gStatementTable);
    }
    void TearDown() override
    {
        if (frmTrace)
            delete frmTrace->Host();
        IdePreferences().tracing = false;
        trace_buf().EnableTrace(true);
        gAddressNameMap.clear();
        clearBreakpoints();
        CommandTest::TearDown();
    }
    TfrmTrace *Open()
    {
        auto *w = new TfrmTrace(&Main(), true, false);
        w->ShowWindow();
        Settle();
        return w;
    }
    void Feed(const std::vector<uint8_t> &p) { trace_buf().DecodeTracePacket(p.data(), p.size()); }
    static std::vector<std::string> Titles(TfrmTrace *w)
    {
        std::vector<std::string> titles;
        for (TfrmTrace::Field f : w->Sections())
            titles.push_back(TfrmTrace::SectionTitle(f));
        return titles;
    }

    std::string m_main_c;
};

TEST_F(TraceWindow, SectionsFollowTheStoreAndTheRepeatOptions)
{
    IdePreferences().trace_info_time = false;
    TfrmTrace *w = Open();
    EXPECT_EQ(Titles(w), (std::vector<std::string>{"Action", "Function", "File Name", "Line/Col"}));
    EXPECT_EQ(w->hcTrace->count(), 4);
    EXPECT_EQ(w->hcTrace->model()->headerData(2, Qt::Horizontal).toString(), "File Name");
    // Show Repeat Count is on from the start; the column needs grouping too.
    EXPECT_TRUE(w->ShowRepeats());
    Feed(packet(kExecute, kMain + 4));
    w->actEnableRepeats->trigger();
    EXPECT_EQ(Titles(w).back(), "Repeat Count");
    w->actShowRepeats->trigger();
    EXPECT_EQ(Titles(w).back(), "Line/Col");
    w->actShowRepeats->trigger();
    w->actEnableRepeats->trigger();
    EXPECT_EQ(Titles(w).back(), "Line/Col") << "grouping off: no repeat column";
}

TEST_F(TraceWindow, RowsShowTheEntryAndItsRegisters)
{
    TfrmTrace *w = Open();
    Feed(packet(kExecute, kMain + 4, 0x12, 0xC1));
    Feed(packet(kExecute, kMain + 4, 0x34, 0x00));
    ASSERT_EQ(w->lbxTrace->count(), 2);
    EXPECT_EQ(w->CellText(0, TfrmTrace::Field::Action), "Execute");
    EXPECT_EQ(w->CellText(0, TfrmTrace::Field::Function), "main");
    EXPECT_EQ(w->CellText(0, TfrmTrace::Field::File), m_main_c);
    EXPECT_EQ(w->CellText(0, TfrmTrace::Field::LineCol), "3:3");
    // Auto scroll: the last entry is selected and its registers are listed.
    EXPECT_EQ(w->lbxTrace->currentRow(), 1);
    ASSERT_EQ(w->lbxMainRegisters->count(), 13);
    EXPECT_EQ(w->lbxMainRegisters->item(0)->text(), "A  : 0x34");
    EXPECT_EQ(w->lbxMainRegisters->item(11)->text(), "PC : 0x1004");
    EXPECT_EQ(w->lbxMainRegisters->item(12)->text(), "XPC: 0x0000");
    w->FillRegisterLists(0);
    EXPECT_EQ(w->lbxMainRegisters->item(0)->text(), "A  : 0x12");
    ASSERT_EQ(w->lbxFlags->count(), 8);
    EXPECT_EQ(w->lbxFlags->item(0)->text(), "C: 1");
    EXPECT_EQ(w->lbxFlags->item(1)->text(), "x: 0");
    EXPECT_EQ(w->lbxFlags->item(6)->text(), "Z: 1");
    EXPECT_EQ(w->lbxFlags->item(7)->text(), "S: 1");
}

TEST_F(TraceWindow, CopyWithHeaderOfOneEntryGivesTwoLines)
{
    TfrmTrace *w = Open();
    Feed(packet(kExecute, kMain + 4));
    Feed(packet(kExecute, kMain + 4));
    w->lbxTrace->clearSelection();
    w->lbxTrace->item(0)->setSelected(true);
    w->actCopyWithHeader->trigger();
    const std::string text = QApplication::clipboard()->text().toStdString();
    EXPECT_EQ(text, trace_buf().FormatTraceHeader() + "\n" + trace_buf().FormatTraceLine(0) + "\n");
    EXPECT_NE(text.find("Execute"), std::string::npos);
    EXPECT_EQ(w->actCopyWithHeader->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C));
}

TEST_F(TraceWindow, AnEmptyTraceDisablesItsActions)
{
    TfrmTrace *w = Open();
    w->UpdateActions();
    for (QAction *a : {w->actWriteToFile, w->actCopy, w->actCopyWithHeader, w->actOpenSource,
                       w->actEnableRepeats, w->actShowRepeats})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    Feed(packet(kExecute, kMain + 4));
    EXPECT_TRUE(w->actWriteToFile->isEnabled());
    EXPECT_TRUE(w->actCopy->isEnabled());
    EXPECT_TRUE(w->actOpenSource->isEnabled());
}

TEST_F(TraceWindow, SaveWritesTheHeaderAndEveryEntry)
{
    TfrmTrace *w = Open();
    Feed(packet(kExecute, kMain + 4));
    Feed(packet(kExecute, kMain + 4));
    const std::string file = Path("trace.trc");
    GuiTest::m_dialogs.choices.push_back({file});
    w->actWriteToFile->trigger();
    EXPECT_EQ(Read(file), trace_buf().FormatTraceHeader() + "\r\n" + trace_buf().FormatTraceLine(0) +
                              "\r\n" + trace_buf().FormatTraceLine(1) + "\r\n");
}

TEST_F(TraceWindow, OpenSourceReusesOnlyTheSameFile)
{
    TfrmTrace *w = Open();
    TfrmEdit *main_c = Main().OpenFile(m_main_c);
    ASSERT_NE(main_c, nullptr);
    Feed(packet(kExecute, kMain + 4));
    w->lbxTrace->setCurrentRow(0);
    w->actOpenSource->trigger();
    EXPECT_EQ(Main().Editors().size(), 1u) << "the editor of the file is reused";
    int line = -1, index = -1;
    main_c->Editor()->getCursorPosition(&line, &index);
    EXPECT_EQ(line, 2);
    EXPECT_EQ(index, 2);
    // "Main.c" is another file on this system: its own editor.
    const std::string other = Write("Main.c", "int a;\n\nint b;\n");
    addSourceEntry(other, 3, 1, kFunc + 4, gStatementTable);
    Feed(packet(kExecute, kFunc + 4));
    w->lbxTrace->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    w->actOpenSource->trigger();
    ASSERT_EQ(Main().Editors().size(), 2u);
    EXPECT_EQ(Main().Editors().back()->FileName(), other);
    // An entry whose file is gone opens nothing.
    const std::string gone = Write("gone.c", "x\n");
    addSourceEntry(gone, 1, 1, kEnd + 4, gStatementTable);
    fs::remove(gone);
    Feed(packet(kExecute, kEnd + 4));
    w->lbxTrace->setCurrentRow(2, QItemSelectionModel::ClearAndSelect);
    w->actOpenSource->trigger();
    EXPECT_EQ(Main().Editors().size(), 2u);
}

TEST_F(TraceWindow, ClosingInDebugModeSwitchesTheTraceDataOffEvenWhenThatFails)
{
    Enter(1);
    TfrmTrace *w = Open();
    Main().SetAutoShow(DebugWindow::Trace, true);
    m_journal.fail = [](const std::string &call) {
        if (call == "TcSetSendFlag 6 off")
            throw xTCErr(5033, KX_HERE);
    };
    QPointer<TfrmTrace> alive(w);
    w->CloseWindow();
    Settle();
    EXPECT_TRUE(Called("TcSetSendFlag 6 off"));
    EXPECT_EQ(m_boxes.shown.size(), 1u) << "the target's error is shown";
    EXPECT_FALSE(Main().AutoShow(DebugWindow::Trace));
    EXPECT_TRUE(alive.isNull()) << "a child window is freed";
    EXPECT_EQ(trace_buf().Interface().window, nullptr);
}

TEST_F(TraceWindow, WidthsAreStoredWhenTheWindowGoes)
{
    TfrmTrace *w = Open();
    w->hcTrace->resizeSection(0, 123);
    w->hcTrace->resizeSection(4, 77);
    delete w->Host();
    EXPECT_EQ(IdePreferences().trace.hc_action_width, 123);
    EXPECT_EQ(IdePreferences().trace.hc_time_width, 77);
}

TEST_F(TraceWindow, ToggleIsEnabledWithEntriesOrTracingInDebugMode)
{
    Main().UpdateCommandActions();
    EXPECT_EQ(Main().actToggleTrace->text(), "Tr&ace");
    EXPECT_EQ(Main().actToggleTrace->statusTip().isEmpty() ? Main().actToggleTrace->toolTip()
                                                          : Main().actToggleTrace->statusTip(),
              "Trace Window");
    EXPECT_FALSE(Main().actToggleTraceUpdate());
    Enter(1);
    EXPECT_TRUE(Main().actToggleTraceUpdate());
    IdePreferences().enable_tracing = false;
    EXPECT_FALSE(Main().actToggleTraceUpdate());
    IdePreferences().enable_tracing = true;
    Main().SetRunState(0);
    Feed(packet(kExecute, kMain + 4));
    EXPECT_TRUE(Main().actToggleTraceUpdate()) << "the store holds an entry";
    Main().actToggleTrace->trigger();
    ASSERT_FALSE(m_windows.calls.empty());
    EXPECT_EQ(m_windows.calls.back(), "Toggle Trace");
}

} // namespace

namespace {

// The program's table makes the trace window, which becomes the store's window; the next
// toggle closes it.
TEST_F(TraceWindow, TheTableMakesItAsTheStoresWindow)
{
    ProgramDebugWindows table(kProgramDebugWindows, &Main());
    EXPECT_FALSE(table.Exists(DebugWindow::Trace));
    table.Toggle(DebugWindow::Trace);
    ASSERT_TRUE(table.IsShown(DebugWindow::Trace));
    EXPECT_EQ(table.Window(DebugWindow::Trace), frmTrace.data());
    EXPECT_EQ(trace_buf().Interface().window, frmTrace.data());
    table.Toggle(DebugWindow::Trace);
    Settle();
    EXPECT_FALSE(table.IsShown(DebugWindow::Trace));
}

} // namespace
