// Watch expressions on the board stand-in, through the real compiler, target link and debugger
// core: a program with globals of every kind of type compiles with F5 (our BIOS first), stops at
// a breakpoint in its loop, and each watch's line shows the value the board's memory holds. The
// watch list's entries stay in step with the target's result table through deletes and failed
// compiles; bad expressions give one error and leave the list and the target's table as they
// were; a local watch shows "????" outside its function. The watches window, the Add Watch and
// Evaluate Expression dialogs and the editor's fly-over hint work on the same list.
#include "BoardSession.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QTest>
#include <Qsci/qsciscintilla.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "BoardStandIn.h"
#include "SeamDoubles.h"
#include "core/CC_ADDR.h"
#include "core/CC_ER.h"
#include "core/CC_STAB.h"
#include "core/guiExceptions.h"
#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_LINKER.h"
#include "debug/frmKXAddWatch.h"
#include "debug/frmKXEvalExpression.h"
#include "debug/frmKXWatches.h"
#include "debug/guiDebugger.h"
#include "debugger/DB_SRC.h"
#include "driver/CC_GO.h"
#include "editor/frmKXEditor.h"
#include "link/DB_BP.h"
#include "link/DB_GO.h"
#include "link/TC.h"
#include "link/TSerialConnection.h"
#include "link/TcRequests.h"
#include "link/TcTargetOperations.h"
#include "link/cWatchList.h"
#include "link/guiCompilerInterface.h"
#include "settings/guiEnvironment.h"
#include "settings/guiKXPreferences.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kComPort = 12;

constexpr const char *kProgram = "struct point { int x; int y; };\n"  // 1
                                 "int total;\n"                        // 2
                                 "char letter, newline, high;\n"       // 3
                                 "int minus;\n"                        // 4
                                 "unsigned int big;\n"                 // 5
                                 "long neg;\n"                         // 6
                                 "float half;\n"                       // 7
                                 "char text[8];\n"                     // 8
                                 "char *ptr;\n"                        // 9
                                 "const char *cptr = \"xy\";\n"        // 10
                                 "int numbers[4];\n"                   // 11
                                 "struct point pt;\n"                  // 12
                                 "int twice(int x)\n"                  // 13
                                 "{\n"                                 // 14
                                 "    int doubled;\n"                  // 15
                                 "    doubled = x * 2;\n"              // 16
                                 "    return doubled;\n"               // 17
                                 "}\n"                                 // 18
                                 "main()\n"                            // 19
                                 "{\n"                                 // 20
                                 "    int i;\n"                        // 21
                                 "    letter = 'A'; newline = 10; high = 0x9C;\n"
                                 "    minus = -1; big = 65535; neg = -2; half = 1.5;\n"
                                 "    text[0] = 'a'; text[1] = 9; text[2] = 'b'; text[3] = 0;\n"
                                 "    ptr = text; pt.x = 3;\n"             // 25
                                 "    total = 0;\n"                    // 26
                                 "    for (i = 0; i < 10; i++) {\n"    // 27
                                 "        total = total + i;\n"        // 28
                                 "        twice(i);\n"                 // 29
                                 "    }\n"                             // 30
                                 "    for (;;) {\n"                    // 31
                                 "    }\n"                             // 32
                                 "}\n";                                // 33

class Watches : public BoardSession {
protected:
    Watches() : BoardSession(kComPort) {}
    void SetUp() override
    {
        BoardSession::SetUp();
        install_flyover_watches();
    }
    void TearDown() override
    {
        delete frmWatches.data();
        BoardSession::TearDown();
        set_flyover_watch_factory(nullptr);
    }

    // F5, a breakpoint on line `line` (1-based), F9 to it.
    void CompileAndStopAt(int line)
    {
        m_editor = Main().OpenFile(Write("prog.c", kProgram));
        ASSERT_NE(m_editor, nullptr);
        Press(Main().actCompile);
        for (const auto &box : m_boxes.shown)
            ADD_FAILURE() << box.caption << ": " << box.text;
        std::string messages;
        for (const sError *e = gMessageList; e; e = e->next)
            messages += std::to_string(e->line) + ": " + e->summary + "\n";
        ASSERT_EQ(Main().RunState(), 1) << "loaded and stopped at main's first statement\n"
                                        << messages;
        ToggleBreakpoint(line);
        Press(Main().actRun);
        ASSERT_TRUE(UntilStopped());
    }
    void ToggleBreakpoint(int line)
    {
        Main().Workspace()->setActiveSubWindow(m_editor);
        m_editor->Editor()->setCursorPosition(line - 1, 8);
        Press(Main().actToggleBreakpoint);
    }
    void RunToStop()
    {
        Press(Main().actRun);
        ASSERT_TRUE(UntilStopped());
    }

    uint16_t Address(const char *global)
    {
        const symbol *s = find_symbol(global, false, kGlobalTable);
        EXPECT_NE(s, nullptr) << global;
        return s ? addr_offset(s->address[0]) : 0;
    }
    static std::string Line(const std::string &expression, const std::string &type,
                            const std::string &value)
    {
        return watch_line(expression, &type, value);
    }

    // Adds to the list; an error fails the test with its text.
    bool Add(cWatchList &list, const std::string &expression)
    {
        try {
            return list.Add(-1, expression, "");
        } catch (xErr &e) {
            ADD_FAILURE() << expression << ": " << e.GetText();
            return false;
        }
    }

    TfrmWatches &Window()
    {
        if (!frmWatches)
            (void)new TfrmWatches(&Main(), false, true);
        return *frmWatches;
    }

    TfrmEdit *m_editor = nullptr;
};

// Each watch's line against what the board holds at the stop in the loop's first round.
TEST_F(Watches, ValuesOfEveryKindAsTheBoardHoldsThem)
{
    CompileAndStopAt(28);
    ASSERT_FALSE(HasFailure());
    char hex[64];
    struct Row {
        const char *expression;
        std::string type, value;
    };
    std::snprintf(hex, sizeof hex, "0x%04X", Address("numbers"));
    const std::string numbers = hex;
    std::snprintf(hex, sizeof hex, "0x%04X", Address("text"));
    const std::string text = hex;
    uint8_t word[2] = {};
    target_operations().TcReadMemory(make_addr(0, Address("cptr")), word, 2);
    std::snprintf(hex, sizeof hex, "0x%04X", unsigned(word[0] | word[1] << 8));
    const std::string cptr = hex;
    char quoted[64];
    std::snprintf(quoted, sizeof quoted, "(%s) %-20.20s", text.c_str(), "\"a\\tb\"");
    const Row rows[] = {
        {"total", "int", "0 (0x0000)"},
        {"letter", "char", "'A' (0x41)"},
        {"newline", "char", "'\\n' (0x0A)"},
        {"high", "char", "'\\x9C' (0x9C)"},
        {"minus", "int", "-1 (0xFFFF)"},
        {"big", "unsigned int", "65535 (0xFFFF)"},
        {"neg", "long", "-2 (0xFFFFFFFE)"},
        {"half", "float", "1.5"},
        {"pt", "struct point", ""},
        {"pt.x", "int", "3 (0x0003)"},
        {"numbers", "int []", numbers},
        {"ptr", "char *", quoted},
        {"cptr", "const char *", cptr},
        {"total * 2 + 7", "int", "7 (0x0007)"},
    };
    cWatchList list(1);
    list.Activate();
    for (const Row &r : rows)
        ASSERT_TRUE(Add(list, r.expression)) << r.expression;
    EXPECT_EQ(BoardWatches(), std::size(rows));
    TcRunWatches();
    for (int i = 0; i < int(std::size(rows)); ++i)
        EXPECT_EQ(list.FormatLine(i), Line(rows[i].expression, rows[i].type, rows[i].value));
    EXPECT_EQ(list.ScopeName(0), "main");

    // F9 goes once round the loop: the next run's results show the new total.
    RunToStop();
    TcRunWatches();
    EXPECT_EQ(list.FormatLine(0), Line("total", "int", "0 (0x0000)"));
    RunToStop();
    TcRunWatches();
    EXPECT_EQ(list.FormatLine(0), Line("total", "int", "1 (0x0001)"));
    delete_target_watches();
}

// Watch i shows entry i of the target's table, also after a delete and a re-add, and when one
// watch no longer compiles after a rebuild it keeps its place without shifting the others.
TEST_F(Watches, EachLineShowsItsOwnEntry)
{
    CompileAndStopAt(28);
    ASSERT_FALSE(HasFailure());
    cWatchList list(1);
    list.Activate();
    for (const char *e : {"minus", "big", "letter"})
        ASSERT_TRUE(Add(list, e));
    list.Delete(1);
    list.RebuildTarget();
    ASSERT_TRUE(Add(list, "big"));
    TcRunWatches();
    EXPECT_EQ(BoardWatches(), 3u);
    EXPECT_EQ(list.FormatLine(0), Line("minus", "int", "-1 (0xFFFF)"));
    EXPECT_EQ(list.FormatLine(1), Line("letter", "char", "'A' (0x41)"));
    EXPECT_EQ(list.FormatLine(2), Line("big", "unsigned int", "65535 (0xFFFF)"));
    // The same text in the same function adds nothing.
    EXPECT_FALSE(list.Add(-1, "big", ""));
    EXPECT_EQ(list.GetCount(), 3);
    delete_target_watches();
}

// Bad expressions: one error each, the list and the target's table unchanged.
TEST_F(Watches, BadExpressionsLeaveListAndTargetAsTheyWere)
{
    CompileAndStopAt(28);
    ASSERT_FALSE(HasFailure());
    cWatchList list(1);
    list.Activate();
    ASSERT_TRUE(Add(list, "total"));
    const std::string bad[] = {"",          "   ",     "total +",     "a ? b : c", "nosuch",
                               "total\r\nminus", std::string(10000, 'x'), "\x80\xFF"};
    for (const std::string &expression : bad) {
        SCOPED_TRACE(expression.substr(0, 20));
        std::string error;
        EXPECT_THROW((void)list.EvaluateOnce(expression, error), xErr);
        EXPECT_FALSE(error.empty());
        delete_target_watches();
        list.RebuildTarget();
        EXPECT_EQ(list.GetCount(), 1);
        EXPECT_EQ(BoardWatches(), 1u);
    }
    std::string error;
    EXPECT_THROW((void)list.EvaluateOnce("nosuch", error), xErr);
    EXPECT_NE(error.find("nosuch"), std::string::npos) << error;
    delete_target_watches();
}

// A local watch shows its value in its own function and "????" in another.
TEST_F(Watches, LocalWatchOutOfScopeShowsQuestionMarks)
{
    CompileAndStopAt(16);
    ASSERT_FALSE(HasFailure());
    TfrmWatches &window = Window();
    ASSERT_TRUE(window.AddWatch("x", ""));
    EXPECT_EQ(window.List().ScopeName(0), "twice");
    TcRunWatches();
    window.UpdateResults(0);
    EXPECT_EQ(window.lbxWatches->item(0)->text().toStdString(), Line("x", "int", "0 (0x0000)"));
    ToggleBreakpoint(16);
    ToggleBreakpoint(28);
    RunToStop();
    TcRunWatches();
    window.UpdateResults(0);
    EXPECT_EQ(window.lbxWatches->item(0)->text().toStdString(), Line("x", "int", "????"));
    ToggleBreakpoint(28);
    ToggleBreakpoint(16);
    RunToStop();
    TcRunWatches();
    window.UpdateResults(0);
    EXPECT_EQ(window.lbxWatches->item(0)->text().toStdString(), Line("x", "int", "1 (0x0001)"));
}

// Evaluate through the window: the value, and afterwards the target holds exactly the window's
// watches again; a failed evaluation gives its text and the same.
TEST_F(Watches, EvaluateRestoresTheTargetsTable)
{
    CompileAndStopAt(28);
    ASSERT_FALSE(HasFailure());
    TfrmWatches &window = Window();
    ASSERT_TRUE(window.AddWatch("minus", ""));
    ASSERT_TRUE(window.AddWatch("letter", ""));
    const std::size_t adds_before = m_board->with_firmware([](vsim::BoardFirmware &f) {
        return f.watches().size();
    });
    EXPECT_EQ(adds_before, 2u);
    EXPECT_EQ(window.EvaluateExpression("big", true), Line("big", "unsigned int", "65535 (0xFFFF)"));
    EXPECT_EQ(BoardWatches(), 2u);
    EXPECT_EQ(window.EvaluateExpression("nosuch", false), "");
    EXPECT_NE(window.EvaluateExpression("nosuch", true).find("nosuch"), std::string::npos);
    EXPECT_EQ(BoardWatches(), 2u);
    TcRunWatches();
    window.UpdateResults(0);
    ASSERT_EQ(window.lbxWatches->count(), 2);
    EXPECT_EQ(window.lbxWatches->item(0)->text().toStdString(), Line("minus", "int", "-1 (0xFFFF)"));
    EXPECT_EQ(window.lbxWatches->item(1)->text().toStdString(), Line("letter", "char", "'A' (0x41)"));
}

// Closing the window writes "prog.DBG" beside the source and empties the target's table;
// showing it again brings the watches back.
TEST_F(Watches, ClosingSavesShowingRestores)
{
    CompileAndStopAt(28);
    ASSERT_FALSE(HasFailure());
    TfrmWatches &window = Window();
    window.ShowWindow();
    ASSERT_TRUE(window.AddWatch("total", ""));
    ASSERT_TRUE(window.AddWatch("total * 2", ""));
    UpdateExpressionHistory(window.History(), "total");
    window.CloseWindow();
    EXPECT_EQ(BoardWatches(), 0u);
    const std::string stored = Read(Path("prog.DBG"));
    EXPECT_NE(stored.find("Watch0=total:main"), std::string::npos) << stored;
    EXPECT_NE(stored.find("Watch1=total * 2:main"), std::string::npos) << stored;
    EXPECT_NE(stored.find("cbWatch0=total"), std::string::npos) << stored;
    EXPECT_EQ(window.WatchCount(), 0);

    window.ShowWindow();
    EXPECT_EQ(window.WatchCount(), 2);
    EXPECT_EQ(BoardWatches(), 2u);
    EXPECT_EQ(window.List().ExpressionText(1), "total * 2");
    ASSERT_EQ(window.History().size(), 1u);
}

// A ".DBG" file with broken lines, a colon inside an expression, more lines than the target
// keeps: the window opens with what can be read.
TEST_F(Watches, BrokenHistoryFileLoadsWhatCanBeRead)
{
    CompileAndStopAt(28);
    ASSERT_FALSE(HasFailure());
    std::string file = "Watch0=total ? minus : big:main\nWatch1=no colon at all\n"
                       "Watch2=nosuch:main\nWatch3=letter:nofunction\nWatch4=big:main\n";
    for (int i = 5; i < 40; ++i)
        file += "Watch" + std::to_string(i) + "=total+" + std::to_string(i) + ":main\n";
    Write("prog.DBG", file);
    TfrmWatches &window = Window();
    window.ShowWindow();
    ASSERT_GE(window.WatchCount(), 2);
    EXPECT_EQ(window.List().ExpressionText(0), "total ? minus : big");
    EXPECT_EQ(window.List().ScopeName(0), "main");
    EXPECT_LE(window.WatchCount(), int(getMaxWatches()));
    EXPECT_EQ(BoardWatches(), std::size_t(window.WatchCount()));
}

// Add Watch: a blank text gets its box, a text that does not compile the compiler's box, and
// the dialog stays open; "&Add" keeps it open, "&OK" closes it; the same text twice adds one
// watch and stands once, first, in the history; blanks never enter it.
TEST_F(Watches, AddWatchDialog)
{
    CompileAndStopAt(28);
    ASSERT_FALSE(HasFailure());
    TfrmWatches &window = Window();
    TfrmAddWatch dialog(&Main());
    dialog.show();
    const auto add = [&](const char *text, QPushButton *button) {
        m_boxes.shown.clear();
        dialog.cboWatchExpression->setCurrentText(QString::fromLatin1(text));
        QTest::mouseClick(button, Qt::LeftButton);
    };
    add("", dialog.btnAdd);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "Watch expression cannot be blank");
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    add("   ", dialog.btnAdd);
    EXPECT_EQ(m_boxes.shown.size(), 1u) << "blanks do not compile";
    EXPECT_TRUE(window.History().empty());
    add("nosuch", dialog.btnAdd);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_NE(m_boxes.shown[0].text.find("nosuch"), std::string::npos) << m_boxes.shown[0].text;
    EXPECT_EQ(window.WatchCount(), 0);
    add("total", dialog.btnAdd);
    add("total", dialog.btnAdd);
    add("minus", dialog.btnAdd);
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(window.WatchCount(), 2);
    EXPECT_EQ(BoardWatches(), 2u);
    add("total", dialog.btnOK);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(window.WatchCount(), 2);
    EXPECT_EQ(window.History(), (std::vector<std::string>{"total", "minus", "nosuch"}));
    window.UpdateResults(0);
    ASSERT_EQ(window.lbxWatches->count(), 2);
    EXPECT_EQ(window.lbxWatches->item(1)->text().toStdString(), Line("minus", "int", "-1 (0xFFFF)"));
}

// With as many watches as the target keeps, Add reports the limit and adds nothing.
TEST_F(Watches, AddWatchStopsAtTheTargetsLimit)
{
    CompileAndStopAt(28);
    ASSERT_FALSE(HasFailure());
    TfrmWatches &window = Window();
    const int most = getMaxWatches();
    ASSERT_EQ(most, 16);
    for (int i = 0; i < most; ++i)
        ASSERT_TRUE(window.AddWatch("total + " + std::to_string(i), ""));
    TfrmAddWatch dialog(&Main());
    dialog.show();
    dialog.cboWatchExpression->setCurrentText("minus");
    QTest::mouseClick(dialog.btnAdd, Qt::LeftButton);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text,
              "Cannot add any more watches.\nRemove a watch, or increase the number of watches "
              "supported in the debugger options");
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    EXPECT_EQ(window.WatchCount(), most);
    EXPECT_EQ(BoardWatches(), std::size_t(most));
}

// Evaluate without a watches window: no window opens, the value comes back, a text that does
// not compile puts its message into the result and shows no box, and the target keeps no watch.
TEST_F(Watches, EvaluateDialogWithoutAWatchesWindow)
{
    CompileAndStopAt(28);
    ASSERT_FALSE(HasFailure());
    QPointer<TfrmEvalExpression> dialog = new TfrmEvalExpression(&Main(), &Main());
    dialog->show();
    dialog->cboExpression->setCurrentText("");
    QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "Expression cannot be blank");
    m_boxes.shown.clear();
    dialog->cboExpression->setCurrentText("minus * 2");
    QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    EXPECT_EQ(dialog->edtResult->text().toStdString(), Line("minus * 2", "int", "-2 (0xFFFE)"));
    dialog->cboExpression->setCurrentText("nosuch");
    QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    EXPECT_NE(dialog->edtResult->text().toStdString().find("nosuch"), std::string::npos);
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_TRUE(frmWatches.isNull());
    EXPECT_EQ(BoardWatches(), 0u);
    dialog->close();
    Settle();
    EXPECT_TRUE(dialog.isNull()) << "freed when closed";
}

// The fly-over hint's own watch list (no watches window): the value's line, an error's text
// only when errors are to be shown, and the target's table empty after each evaluation.
TEST_F(Watches, FlyOverWatchLeavesTheTargetsTableEmpty)
{
    CompileAndStopAt(28);
    ASSERT_FALSE(HasFailure());
    std::unique_ptr<TFlyOverWatch> watch = make_flyover_watch();
    EXPECT_EQ(watch->Evaluate("total", false), Line("total", "int", "0 (0x0000)"));
    EXPECT_EQ(BoardWatches(), 0u);
    EXPECT_EQ(watch->Evaluate("nosuch", false), "");
    EXPECT_NE(watch->Evaluate("nosuch", true).find("nosuch"), std::string::npos);
    EXPECT_EQ(BoardWatches(), 0u);
    EXPECT_EQ(watch->Evaluate("letter", true), Line("letter", "char", "'A' (0x41)"));
    EXPECT_EQ(BoardWatches(), 0u);
}

}  // namespace
