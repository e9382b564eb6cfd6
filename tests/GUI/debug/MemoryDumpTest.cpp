// The memory dump window over the debugger's dump text: the rows it keeps of a request, the
// rows it drops, the xpc:offset ranges and the XPC keys, the refresh at a stop with changed
// bytes drawn inverted, the hints, the close refused while a request runs, and bad input.
// The window reads through the real dump text (DB_ML) over the target double's memory.
#include "GuiHarness.h"
#include "SeamDoubles.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <algorithm>

#include "core/CC_ADDR.h"
#include "debug/frmKXMemoryDump.h"
#include "debug/guiDebugger.h"
#include "settings/guiKXPreferences.h"

namespace {

class MemoryDump : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        set_debugger_operations(&m_link_ops);
        TargetMemory().assign(0x100000, 0);
        for (uint32_t i = 0; i < 0x100000; ++i)
            TargetMemory()[i] = uint8_t(i >> 4);
        headless_target_operations().calls.clear();
    }
    void TearDown() override
    {
        set_debugger_operations(nullptr);
        GuiTest::TearDown();
    }
    static std::vector<uint8_t> &TargetMemory() { return headless_target_operations().memory; }

    // A window in the workspace with exactly `rows` visible rows, answering for the dump.
    TfrmMemoryDump *Open(int rows = 20)
    {
        Main().SetRunState(1);
        auto *w = new TfrmMemoryDump(&Main(), 0, 0, 1);
        w->ShowWindow();
        const int item = QFontMetrics(w->lbxMemoryDump->font()).height();
        for (int i = 0; i < 5 && w->VisibleRows() != rows; ++i) {
            QWidget *host = w->Host();
            host->resize(host->width(), host->height() + (rows - w->VisibleRows()) * item);
            Settle();
        }
        EXPECT_EQ(w->VisibleRows(), rows);
        m_windows.exists[RecordingDebugWindows::Index(DebugWindow::MemoryDump)] = true;
        m_windows.adapters[RecordingDebugWindows::Index(DebugWindow::MemoryDump)] = w->Adapter();
        return w;
    }
    int Reads() const
    {
        return int(std::count_if(headless_target_operations().calls.begin(),
                                 headless_target_operations().calls.end(),
                                 [](const std::string &c) { return c.rfind("TcReadMemory", 0) == 0; }));
    }
    void Dump(TfrmMemoryDump *w, const char *text)
    {
        w->cboDumpAddress->setEditText(QString::fromLatin1(text));
        w->actDoMemoryDumpExecute();
    }
    static std::string Line(TfrmMemoryDump *w, int row)
    {
        return w->lbxMemoryDump->item(row)->text().toStdString();
    }

    LinkDebuggerOperations m_link_ops;
};

TEST_F(MemoryDump, TwentyRowsReadThreeBlocksAndKeepTwenty)
{
    TfrmMemoryDump *w = Open(20);
    EXPECT_EQ(w->BlockCountForView(), 3);
    Dump(w, "0x2345");
    EXPECT_EQ(Reads(), 3);
    ASSERT_EQ(w->lbxMemoryDump->count(), 20);
    EXPECT_EQ(Line(w, 0).substr(0, 8), "2340 34 ");
    EXPECT_EQ(Line(w, 19).substr(0, 4), "2470");
    EXPECT_EQ(w->FirstRow(), 0x234);
    EXPECT_EQ(w->LastRow(), 0x234 + 23); // 24 lines came, 20 stayed
    EXPECT_EQ(w->sbMemoryDump->value(), 0x234);
    EXPECT_EQ(w->sbMemoryDump->maximum(), 4095);
}

// Lines as the debugger may send them: before the first row, past the limit, or spoiled.
TEST_F(MemoryDump, LinesOutsideTheViewOrSpoiledAreDropped)
{
    TfrmMemoryDump *w = Open(20);
    w->ClearLines();
    w->AddDumpLine("2340 00");
    w->AddDumpLine("2330 00");          // before the first row
    w->AddDumpLine(" 00 00");           // no address
    w->AddDumpLine("23450 00");         // five characters
    w->AddDumpLine("23456789 00");      // eight
    w->AddDumpLine("zz40 00");          // not hex
    w->AddDumpLine(std::string(10240, '1'));
    w->AddDumpLine("2350 11");
    ASSERT_EQ(w->lbxMemoryDump->count(), 2);
    EXPECT_EQ(Line(w, 1), "2350 11");
    // Physical rows in a logical window lie past its 4096 rows.
    w->AddDumpLine("0fff00 00");
    EXPECT_EQ(w->lbxMemoryDump->count(), 2);
}

TEST_F(MemoryDump, XpcPageRowsWrapAndAddThePageBase)
{
    TfrmMemoryDump *w = Open(20);
    Dump(w, "1E:EFE0");
    ASSERT_GE(w->lbxMemoryDump->count(), 2);
    EXPECT_EQ(w->Layout().range, 0);
    EXPECT_EQ(w->RowLimit(), 256);
    EXPECT_EQ(w->sbMemoryDump->value(), 0xFE);
    EXPECT_EQ(Line(w, 0).substr(0, 7), "1e:efe0");
    EXPECT_EQ(Line(w, 1).substr(0, 7), "1e:eff0");
    // Past the page's end the row would be 256: dropped, not wrapped into the page.
    EXPECT_EQ(w->lbxMemoryDump->count(), 2);
    // The last row of the page names the page base plus 0xFF0.
    w->SetScrollRow(255);
    EXPECT_EQ(dump_address_text(w->Layout().mode, dump_address_of_row(w->Layout(), 255)),
              "1E:EFF0");
    EXPECT_TRUE(w->btnNextXPC->isVisibleTo(w));
}

TEST_F(MemoryDump, XpcKeysChangeTheXpcAndReadAgain)
{
    TfrmMemoryDump *w = Open(8);
    Dump(w, "1E:E000");
    ASSERT_EQ(w->lbxMemoryDump->count(), 8);
    const int reads = Reads();
    w->actNextXPC->trigger();
    EXPECT_EQ(w->Layout().xpc, 0x1F);
    EXPECT_EQ(Line(w, 0).substr(0, 7), "1f:e000");
    EXPECT_GT(Reads(), reads);
    QTest::keyClick(w->lbxMemoryDump, Qt::Key_Minus, Qt::KeypadModifier);
    QTest::keyClick(w->lbxMemoryDump, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(w->Layout().xpc, 0x1D);
    EXPECT_EQ(Line(w, 0).substr(0, 7), "1d:e000");
    // The bytes are those of XPC 0x1D's page: (0x1D000 + 0xE000) >> 4.
    EXPECT_EQ(Line(w, 0).substr(8, 2), "00");
    EXPECT_EQ(TargetMemory()[0x2B000], uint8_t(0x2B000 >> 4));
}

TEST_F(MemoryDump, FullRangeScrollsPastFff0IntoTheNextXpc)
{
    IdePreferences().memory_dump.range = 2;
    TfrmMemoryDump *w = Open(4);
    Dump(w, "00:FFE0");
    EXPECT_EQ(w->RowLimit(), 1048576);
    EXPECT_FALSE(w->btnNextXPC->isVisibleTo(w)); // the XPC buttons are for ranges 0 and 1
    QTest::keyClick(w->lbxMemoryDump, Qt::Key_Down);
    QTest::keyClick(w->lbxMemoryDump, Qt::Key_Down);
    ASSERT_GE(w->lbxMemoryDump->count(), 1);
    EXPECT_EQ(Line(w, 0).substr(0, 7), "01:0000");
}

TEST_F(MemoryDump, BadAddressesAreRefusedWithTheComboFocused)
{
    TfrmMemoryDump *w = Open(8);
    struct Case {
        const char *text;
        const char *message;
    };
    const Case cases[] = {
        {"12", "Bad Address\nFormat should be either:\n[0x]nnnn\t(logical address) or\nmm:nnnn\t"
               "(xpc:offset physical address) or\n[0x]nnnnn (physical address)"},
        {"E000", "Logical addresses above 0xe000 require an XPC value (mm:nnnn)."},
    };
    for (const Case &c : cases) {
        m_boxes.shown.clear();
        Dump(w, c.text);
        ASSERT_EQ(m_boxes.shown.size(), 1u) << c.text;
        EXPECT_EQ(m_boxes.shown[0].text, c.message);
        EXPECT_EQ(m_boxes.shown[0].caption, "Error");
        EXPECT_EQ(Reads(), 0);
    }
}

// At a stop an updateable window reads again; a changed byte's group is drawn inverted, in
// words mode the whole four-digit group.
TEST_F(MemoryDump, StopRefreshMarksChangedGroups)
{
    IdePreferences().memory_dump.enable_diffs = true;
    TfrmMemoryDump *w = Open(8);
    Dump(w, "2340");
    ASSERT_EQ(w->lbxMemoryDump->count(), 8);
    EXPECT_FALSE(w->GroupChanged(0, 3));
    TargetMemory()[0x2343] ^= 0xFF;
    gMainWindowInterface->RefreshDumpWindows();
    ASSERT_EQ(w->lbxMemoryDump->count(), 8);
    EXPECT_TRUE(w->GroupChanged(0, 3));
    EXPECT_FALSE(w->GroupChanged(0, 2));
    EXPECT_FALSE(w->GroupChanged(1, 3));
    // Words: the group of bytes 2 and 3 is the second.
    IdePreferences().memory_dump.format = 1;
    EXPECT_TRUE(w->GroupChanged(0, 1));
    EXPECT_FALSE(w->GroupChanged(0, 0));
    // A window that is not updateable keeps its lines.
    w->actUpdateable->trigger();
    const int reads = Reads();
    gMainWindowInterface->RefreshDumpWindows();
    EXPECT_EQ(Reads(), reads);
}

TEST_F(MemoryDump, HintsNameTheAddressAndTheValue)
{
    TfrmMemoryDump *w = Open(8);
    w->actShowByteInCaption->setChecked(true);
    w->actShowByteInCaption->trigger(); // toggles off
    w->actShowByteInCaption->trigger(); // and on: caption back to its base
    Dump(w, "2340");
    const QRect first = w->lbxMemoryDump->visualItemRect(w->lbxMemoryDump->item(0));
    const QFontMetrics metrics(w->lbxMemoryDump->font());
    const QString text = w->lbxMemoryDump->item(0)->text();
    // Over the first digit of the third byte ("2340 34 34 34 ...": column 11).
    const QPoint over_third_byte(metrics.horizontalAdvance(text.left(11)) + 1, first.center().y());
    EXPECT_EQ(w->ValueHintAt(over_third_byte), "2342 : 34");
    EXPECT_EQ(w->ValueHintAt(QPoint(metrics.horizontalAdvance(text.left(1)) + 1,
                                    first.center().y())),
              ""); // over the address
    w->ShowValueHint(over_third_byte);
    EXPECT_EQ(w->windowTitle().isEmpty() ? w->Host()->windowTitle() : w->windowTitle(),
              QStringLiteral("Memory Dump - 2342 : 34"));
    EXPECT_EQ(dump_address_text(DumpMode::Physical, 0x1A2B0), "1A2B0");
}

TEST_F(MemoryDump, NoCloseWhileARequestRunsAndATargetErrorLeavesItClosable)
{
    TfrmMemoryDump *w = Open(8);
    QPointer<TfrmMemoryDump> alive(w);
    bool asked = false;
    headless_target_operations().fail = [&](const std::string &call) {
        if (call.rfind("TcReadMemory", 0) != 0)
            return;
        asked = true;
        EXPECT_FALSE(TfrmMemoryDump::RequestDone());
        EXPECT_FALSE(w->FormCloseQuery());
        throw xTCErr(5033, KX_HERE);
    };
    Dump(w, "2340");
    headless_target_operations().fail = nullptr;
    EXPECT_TRUE(asked);
    EXPECT_FALSE(m_boxes.shown.empty()); // the error was shown
    EXPECT_TRUE(TfrmMemoryDump::RequestDone());
    EXPECT_TRUE(w->FormCloseQuery());
    w->CloseWindow();
    Settle();
    EXPECT_TRUE(Main().DumpWindows().empty());
}

TEST_F(MemoryDump, CopyAndSaveNeedASelection)
{
    TfrmMemoryDump *w = Open(8);
    Dump(w, "2340");
    w->lbxMemoryDump->clearSelection();
    EXPECT_FALSE(w->actCopy->isEnabled());
    EXPECT_FALSE(w->actSaveToFile->isEnabled());
    w->lbxMemoryDump->item(1)->setSelected(true);
    EXPECT_TRUE(w->actCopy->isEnabled());
    EXPECT_TRUE(w->actSaveToFile->isEnabled());
}

} // namespace

namespace {

// The program's table answers for the main window's current dump window; its row makes a new
// one with the main window's dump request flags, and that one becomes current.
TEST_F(MemoryDump, TheTableAnswersForTheCurrentWindow)
{
    ProgramDebugWindows table(kProgramDebugWindows, &Main());
    EXPECT_FALSE(table.Exists(DebugWindow::MemoryDump));
    EXPECT_EQ(table.Adapter(DebugWindow::MemoryDump), nullptr);

    TfrmMemoryDump *first = Open();
    Main().SetCurrentDumpWindow(first);
    Main().AddDumpWindow(first);
    EXPECT_TRUE(table.IsShown(DebugWindow::MemoryDump));
    EXPECT_EQ(table.Adapter(DebugWindow::MemoryDump), first->Adapter());

    Main().SetDumpPhysical(1);
    table.Toggle(DebugWindow::MemoryDump); // shown: the current one closes
    Settle();
    EXPECT_FALSE(table.Exists(DebugWindow::MemoryDump));
    table.Toggle(DebugWindow::MemoryDump);
    auto *made = qobject_cast<TfrmMemoryDump *>(table.Window(DebugWindow::MemoryDump));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(Main().CurrentDumpWindow(), made);
    EXPECT_EQ(made->Layout().mode, DumpMode::Physical);
    EXPECT_EQ(Main().DumpWindows(), std::vector<TfrmMemoryDump *>{made});
}

} // namespace
