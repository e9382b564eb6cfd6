// A new user's first debugging session in the IDE, on the real compiler, target link and
// debugger core with the board stand-in on a pseudo-terminal: a C file with a loop compiles
// with F5 (our BIOS loaded first), F2 sets a breakpoint in the loop, F9 runs to it and round it
// with the global read over the link, F2 takes it away, Stop stops the program where it loops
// on, and the compile statistics window shows the lines and sizes of the compile. The same
// session runs once more on a real X server (Xvfb), stopped at the breakpoint with the
// statistics window up, and the screenshot shows the execution point on the source. A program
// of three functions goes through the whole session on the pseudo-terminal and on loopback TCP
// with a pass phrase the board's challenge asks for.
#include "BoardSession.h"
#include "OptionsDoubles.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMdiArea>
#include <QScreen>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "BoardStandIn.h"
#include "driver/BiosCache.h"
#include "linker/LB_CAT.h"
#include "core/CC_ADDR.h"
#include "driver/CC_GO.h"
#include "core/CC_STAB.h"
#include "link/DB_BP.h"
#include "debugger/DB_DA.h"
#include "debug/frmKXDisassembly.h"
#include "debug/frmKXStack.h"
#include "debugger/DB_SRC.h"
#include "link/DB_GO.h"
#include "debugger/LinkFrame.h"
#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_LINKER.h"
#include "SeamDoubles.h"
#include "link/TC.h"
#include "link/TConnection.h"
#include "link/TSerialConnection.h"
#include "link/TcRequests.h"
#include "link/TcTargetOperations.h"
#include "controls/ColorCombo.h"
#include "editor/KorvexLexer.h"
#include "editor/MemoOptions.h"
#include "editor/frmKXEditor.h"
#include "options/frmKXEditProperties.h"
#include "shell/frmKXInfo.h"
#include "options/frmKXPassPhrase.h"
#include "link/guiCompilerInterface.h"
#include "controls/ColorConsoleView.h"
#include "debug/frmKXRegisters.h"
#include "debug/frmKXStdio.h"
#include "debug/frmKXDumpAtAddress.h"
#include "debug/frmKXMemoryDump.h"
#include "debug/frmKXTrace.h"
#include "debugger/DumpRows.h"
#include "link/guiTrace.h"
#include "options/guiOptionsHost.h"
#include "debug/guiDebugger.h"
#include "settings/guiKXPreferences.h"
#include "settings/guiProjects.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kComPort = 11;

constexpr const char *kLoop = "int total;\n"              // line 1
                              "\n"                         // 2
                              "main()\n"                   // 3
                              "{\n"                        // 4
                              "    int i;\n"               // 5
                              "    total = 0;\n"           // 6
                              "    for (i = 0; i < 10; i++) {\n"
                              "        total = total + i;\n" // 8
                              "    }\n"                    // 9
                              "    for (;;) {\n"          // 10: a board's program runs on
                              "    }\n"                    // 11
                              "}\n";                       // 12

constexpr const char *kThreeFunctions = "int g;\n"                 // 1
                                        "int twice(int x)\n"       // 2
                                        "{\n"                      // 3
                                        "    return x * 2;\n"      // 4
                                        "}\n"                      // 5
                                        "void count(void)\n"       // 6
                                        "{\n"                      // 7
                                        "    g = g + 1;\n"         // 8
                                        "}\n"                      // 9
                                        "int main()\n"             // 10
                                        "{\n"                      // 11
                                        "    g = 5;\n"             // 12
                                        "    count();\n"           // 13
                                        "    g = twice(g);\n"      // 14
                                        "    return 0;\n"          // 15
                                        "}\n";                     // 16

class NewUser : public BoardSession {
protected:
    NewUser() : BoardSession(kComPort) {}

    // What the board took in while the compile loaded it, one line per step, in order: the
    // loaders, each rate asked for, the runs of memory writes with the line speed they came
    // at (none over TCP), the BIOS start and the debug rate told over TCP.
    std::vector<std::string> LoadSteps()
    {
        return m_board->with_firmware([](vsim::BoardFirmware &f) {
            std::vector<std::string> steps;
            const vsim::LoaderLog &loader = f.loader();
            if (loader.cold_complete || !loader.tcp_cold_loader.empty())
                steps.push_back("cold loader");
            if (loader.pilot_complete)
                steps.push_back("pilot at " + std::to_string(loader.pilot_baud));
            if (!loader.tcp_pilot_image.empty())
                steps.push_back("pilot");
            const auto word = [](const std::vector<uint8_t> &p) {
                return p.size() < 4 ? 0u
                                    : unsigned(p[0] | p[1] << 8 | p[2] << 16 | unsigned(p[3]) << 24);
            };
            for (const vsim::ReceivedFrame &r : f.frames()) {
                const uint8_t subtype = r.subtype & kLinkSubtypeMask;
                std::string step;
                if (r.type == kLinkSys && subtype == kSysSetBaudRate)
                    step = "rate " + std::to_string(word(r.payload));
                else if (r.type == kLinkSys && subtype == kSysWrite)
                    step = r.baud ? "writes at " + std::to_string(r.baud) : "writes";
                else if (r.type == kLinkSys && subtype == kSysStartBios && !r.payload.empty())
                    step = "start BIOS " + std::to_string(r.payload[0]);
                else if (r.type == kLinkDbg && subtype == kDbgSetTargetBaud)
                    step = "debug rate " + std::to_string(word(r.payload));
                if (!step.empty() && (steps.empty() || steps.back() != step))
                    steps.push_back(step);
            }
            return steps;
        });
    }

    // Bytes of the board's memory that differ from the compiled image (its first byte at
    // physical 0): "0x0012: 0xFF (expected 0x21)", the first few; empty when they agree.
    std::string ImageDifferences(const fs::path &image_file)
    {
        std::ifstream in(image_file, std::ios::binary);
        const std::vector<uint8_t> image{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
        if (image.empty())
            return "no image in " + image_file.string();
        return m_board->with_firmware([&](vsim::BoardFirmware &f) {
            std::string out;
            int shown = 0;
            for (uint32_t a = 0; a < image.size() && shown < 4; ++a) {
                if (f.board().peek(a) == image[a])
                    continue;
                char line[64];
                std::snprintf(line, sizeof line, "0x%05X: 0x%02X (expected 0x%02X)\n", a,
                              f.board().peek(a), image[a]);
                out += line;
                ++shown;
            }
            return out;
        });
    }

    // Compiled with F5, a breakpoint on the loop's body (F2, after a click into the editor);
    // the address of the body's statement.
    uint32_t CompileAndSetTheBreakpoint(TfrmEdit *&editor)
    {
        editor = Main().OpenFile(Write("loop.c", kLoop));
        if (!editor) {
            ADD_FAILURE() << "loop.c did not open";
            return 0;
        }
        Press(Main().actCompile);
        for (const auto &box : m_boxes.shown)
            ADD_FAILURE() << box.caption << ": " << box.text;
        EXPECT_EQ(Main().RunState(), 1) << "the program was loaded and started";
        EXPECT_TRUE(executionPointShown()) << "stopped at main's first statement";
        Main().Workspace()->setActiveSubWindow(editor);
        editor->Editor()->setCursorPosition(7, 8);
        Press(Main().actToggleBreakpoint);
        EXPECT_EQ(breakpointList().size(), 1u);
        return lookupAddressBySource(editor->GetTextEdit()->GetFileName(), 8, 9);
    }

    // The global as the debugger reads it over the link, which must be what the board holds.
    int Total(ADDR24 at)
    {
        uint8_t bytes[2] = {};
        target_operations().TcReadMemory(at, bytes, 2);
        const uint16_t logical = addr_offset(at);
        const int on_board = m_board->with_firmware([&](vsim::BoardFirmware &f) {
            return f.board().read(logical, 0) | f.board().read(uint16_t(logical + 1), 0) << 8;
        });
        EXPECT_EQ(bytes[0] | bytes[1] << 8, on_board);
        return bytes[0] | bytes[1] << 8;
    }
};

TEST_F(NewUser, CompilesRunsToABreakpointAndStops)
{
    TfrmEdit *editor = nullptr;
    const uint32_t body = CompileAndSetTheBreakpoint(editor);
    ASSERT_FALSE(HasFailure());
    const symbol *total = find_symbol("total", false, kGlobalTable);
    ASSERT_NE(total, nullptr);
    const ADDR24 total_at = total->address[0];
    ASSERT_EQ(breakpointList().front().line, 8);

    // Each F9 goes once round the loop, back to the breakpoint.
    for (int round = 0; round < 3; ++round) {
        Press(Main().actRun);
        ASSERT_TRUE(UntilStopped()) << "the breakpoint stops the program, round " << round;
        EXPECT_EQ(gTargetRegisters.PC, body);
        EXPECT_EQ(Total(total_at), round * (round - 1) / 2) << "round " << round;
        EXPECT_EQ(Main().StatusPanel(5)->text(), "Stopped");
    }

    // F2 again takes the breakpoint away; F9 runs the loop out into the endless one; Stop.
    Press(Main().actToggleBreakpoint);
    EXPECT_TRUE(breakpointList().empty());
    Press(Main().actRun);
    EXPECT_EQ(Main().RunState(), 2);
    QTest::qWait(50);
    Press(Main().actStop);
    ASSERT_TRUE(UntilStopped()) << "Stop leaves the program stopped";
    EXPECT_EQ(Total(total_at), 45);
    EXPECT_NE(gTargetRegisters.PC, body);

    // The statistics of the compile.
    TfrmInfo info(&Main());
    info.show();
    EXPECT_NE(info.linesCompiled->text(), "");
    EXPECT_NE(info.linesCompiled->text(), "0");
    EXPECT_NE(info.totalCode->text(), "");
    EXPECT_NE(info.rootSize->text(), "");
    info.close();
}

// Every entry below a folder with its size (files) and modification time: what a session may
// not change there.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> Snapshot(const fs::path &folder)
{
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> entries;
    for (const auto &e : fs::recursive_directory_iterator(folder))
        entries[fs::relative(e.path(), folder).string()] = {
            e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
    return entries;
}

void SetWritable(const fs::path &folder, bool writable)
{
    const fs::perms write = fs::perms::owner_write | fs::perms::group_write |
                            fs::perms::others_write;
    const fs::perm_options how = writable ? fs::perm_options::add : fs::perm_options::remove;
    for (const auto &e : fs::recursive_directory_iterator(folder))
        fs::permissions(e.path(), writable ? fs::perms::owner_write : write, how);
    fs::permissions(folder, writable ? fs::perms::owner_write : write, how);
}

// An installed copy whose resources nobody may write: F5 compiles our BIOS from there and the
// program with the libraries from there, loads both and stops at main, and nothing in the
// resources folder changes (not even for a user who may write anywhere): the BIOS's files and
// the libraries' index files are in the user's cache folder.
TEST_F(NewUser, AReadOnlyResourcesFolderStaysAsItWas)
{
    const fs::path staged = fs::path(KX_TOOLS_DIR).parent_path() / "korvex";
    const fs::path resources = m_dir / "installed" / "korvex";
    fs::create_directories(resources.parent_path());
    fs::copy(staged, resources, fs::copy_options::recursive);
    set_compiler_directories(resources.string(), "", {});
    set_libraries_file((resources / IdePreferences().lib_dir_file).string());
    set_bios_file((resources / "bios" / "Vireonbios.c").string());
    // As the IDE's start-up sets it.
    set_library_index_folder((fs::path(user_cache_folder()) / "libindex").string());
    const auto before = Snapshot(resources);
    SetWritable(resources, false);

    TfrmEdit *editor = Main().OpenFile(Write("loop.c", kLoop));
    ASSERT_NE(editor, nullptr);
    Press(Main().actCompile);
    const bool stopped = Main().RunState() == 1 && executionPointShown();
    SetWritable(resources, true);
    set_library_index_folder("");

    for (const auto &box : m_boxes.shown)
        ADD_FAILURE() << box.caption << ": " << box.text;
    EXPECT_TRUE(stopped) << "loaded, and stopped at main's first statement";
    EXPECT_TRUE(Snapshot(resources) == before) << "the resources folder changed";
    EXPECT_EQ(last_bios_cache_set().rfind(user_cache_folder() + "/bios/Vireonbios-", 0), 0u)
        << last_bios_cache_set();
    EXPECT_TRUE(bios_cache_set_complete(last_bios_cache_set(), bios_file()));
}

// The board goes away while the program is stopped (the stand-in ends, as a USB adapter is
// unplugged): the next command reports it once, the IDE is back in edit mode, and the editor
// keeps its text.
TEST_F(NewUser, ABoardThatGoesAwayIsReportedOnceAndTheIdeEditsAgain)
{
    TfrmEdit *editor = nullptr;
    (void)CompileAndSetTheBreakpoint(editor);
    ASSERT_FALSE(HasFailure());
    m_board.reset();
    m_boxes.shown.clear();
    // The poll finds the line gone; without polling, the next command does.
    for (int i = 0; i < 300 && Main().DebugMode() != 0; ++i)
        QTest::qWait(10);
    Main().UpdateActions();
    if (Main().DebugMode() != 0 && Main().actRun->isEnabled())
        Main().actRun->trigger();
    for (int i = 0; i < 300 && Main().DebugMode() != 0; ++i)
        QTest::qWait(10);
    QTest::qWait(200);
    Type(editor, "/* kept */");
    EXPECT_EQ(Main().DebugMode(), 0) << "back in edit mode";
    std::string shown;
    for (const auto &box : m_boxes.shown)
        shown += box.caption + ": " + box.text + "\n";
    EXPECT_EQ(m_boxes.shown.size(), 1u) << shown;
    EXPECT_NE(editor->Text().find("/* kept */"), std::string::npos) << "the editor edits again";
    EXPECT_NE(editor->Text().find("total = total + i;"), std::string::npos);
    EXPECT_TRUE(editor->IsModified());
}

// Stopped at the breakpoint, F10 lists the code round the execution point with the statement's
// source line above it and the execution line marked; F12 shows sixteen words from SP on, as
// the board holds them.
TEST_F(NewUser, AssemblyAndStackWindowsShowTheBoardsCodeAndStack)
{
    set_debug_windows(nullptr);
    TfrmEdit *editor = nullptr;
    const uint32_t body = CompileAndSetTheBreakpoint(editor);
    ASSERT_FALSE(HasFailure());
    Press(Main().actRun);
    ASSERT_TRUE(UntilStopped());
    ASSERT_EQ(gTargetRegisters.PC, body);

    Press(Main().actToggleAsm);
    auto *dasm = Main().findChild<TfrmDisassembly *>();
    ASSERT_NE(dasm, nullptr);
    int source_row = -1;
    for (int row = 0; row < dasm->LineCount() && source_row < 0; ++row)
        if (dasm->Item(row).IsSource() && dasm->Item(row).source_text == "total = total + i;")
            source_row = row;
    ASSERT_GE(source_row, 0) << "no source line of the breakpoint's statement";
    EXPECT_EQ(dasm->Item(source_row).source_label, "[loop.c(8)]: ");
    ASSERT_EQ(dasm->ExecutionLine(), source_row + 1) << "the statement's first instruction";
    char pc[8];
    std::snprintf(pc, sizeof pc, "%04x", unsigned(body & 0xFFFF));
    EXPECT_NE(QString::fromStdString(dasm->Item(dasm->ExecutionLine()).Column(DasmColumn::Address))
                  .toLower()
                  .indexOf(pc),
              -1)
        << dasm->LineText(dasm->ExecutionLine());

    Press(Main().actToggleStack);
    auto *stack = Main().findChild<TfrmStack *>();
    ASSERT_NE(stack, nullptr);
    std::vector<std::pair<unsigned, unsigned>> words;
    for (int row = 0; row < stack->lbxStack->count(); ++row) {
        unsigned address = 0, value = 0;
        const std::string line = stack->lbxStack->item(row)->text().toStdString();
        if (std::sscanf(line.c_str(), "%4X: %4X", &address, &value) == 2)
            words.emplace_back(address, value);
    }
    ASSERT_EQ(words.size(), 16u);
    EXPECT_EQ(words.front().first, gTargetRegisters.SP);
    for (const auto &[address, value] : words) {
        if (address >= 0xE000)
            continue; // the extended-memory window: its bytes depend on the page mapped
        const unsigned on_board = m_board->with_firmware([&](vsim::BoardFirmware &f) {
            return unsigned(f.board().read(uint16_t(address), 0) |
                            f.board().read(uint16_t(address + 1), 0) << 8);
        });
        EXPECT_EQ(value, on_board) << std::hex << "at " << address;
    }
}

// The Environment Options through a debugging session: larger, red comments stay, and stopped
// at a breakpoint the read-only text has the debug-mode colour chosen in the dialog.
TEST_F(NewUser, StoppedAtABreakpointTheEditorHasTheDebugModeColourChosen)
{
    Journal journal;
    RecordingShell shell(journal);
    shell.modal = [](QDialog &dialog) {
        auto &d = static_cast<TfrmEditProperties &>(dialog);
        d.FontSizeEdit->setEditText("16");
        d.Elements->setCurrentRow(2); // Comment
        if (d.chkDefFore->isChecked())
            d.chkDefFore->click();
        d.SyntaxForeColor->ChooseColor(0x0000FF);  // red
        d.ReadOnlyColorEd->ChooseColor(0xE0FFFF);  // light yellow
        d.accept();
    };
    set_options_shell(&shell);
    Main().actEnvOptions->trigger();
    set_options_shell(nullptr);

    TfrmEdit *editor = nullptr;
    CompileAndSetTheBreakpoint(editor);
    ASSERT_FALSE(HasFailure());
    Press(Main().actRun);
    ASSERT_TRUE(UntilStopped());
    EXPECT_TRUE(editor->IsReadOnly());
    QsciScintilla *memo = editor->Editor();
    const auto style = [&](unsigned message, int index) {
        return memo->SendScintilla(message, static_cast<unsigned long>(index));
    };
    EXPECT_EQ(style(QsciScintillaBase::SCI_STYLEGETBACK, kStyleIdentifier), 0xE0FFFF);
    EXPECT_EQ(style(QsciScintillaBase::SCI_STYLEGETFORE, kStyleComment), 0x0000FF);
    EXPECT_EQ(style(QsciScintillaBase::SCI_STYLEGETSIZE, kStyleComment), 16);
    reset_memo_options();
}

// One session on each link: what the load sends and the steps the board takes.
struct LinkCase {
    const char *name;
    bool tcp;
    std::vector<std::string> load; // LoadSteps of the first compile
    int phrases_asked;
};
void PrintTo(const LinkCase &c, std::ostream *out) { *out << c.name; }

const LinkCase kLinks[] = {
    {"serial", false, {"cold loader", "pilot at 57600", "rate 460800", "writes at 460800",
                       "start BIOS 2", "writes at 115200"}, 0},
    // Over TCP the program is a file transfer too, after which the BIOS starts again.
    {"tcp_pass_phrase", true, {"cold loader", "pilot", "rate 460800", "writes", "start BIOS 2",
                               "debug rate 115200", "writes", "start BIOS 2", "debug rate 115200"},
     1},
};

class NewUserOnEachLink : public NewUser, public ::testing::WithParamInterface<LinkCase> {
protected:
    bool OverTcp() const override { return GetParam().tcp; }
};

// Three functions: compiled and loaded with the BIOS (the loaders, the negotiated rate, the
// BIOS and the program as the board logged them, its memory the image); the start stops at
// main's first statement; a breakpoint at the caret is hit with the global as the board holds
// it; a source step over a call stops at the caller's next line; an instruction step moves the
// PC by the instruction's length; the program's end is told.
TEST_P(NewUserOnEachLink, StepsOverACallStepsAnInstructionAndRunsToTheEnd)
{
    TfrmEdit *editor = Main().OpenFile(Write("three.c", kThreeFunctions));
    ASSERT_NE(editor, nullptr);
    Press(Main().actCompile);
    for (const auto &box : m_boxes.shown)
        ADD_FAILURE() << box.caption << ": " << box.text;
    ASSERT_EQ(Main().RunState(), 1);
    EXPECT_EQ(LoadSteps(), GetParam().load);
    EXPECT_EQ(ImageDifferences(m_dir / "three.bdl"), "");
    EXPECT_EQ(m_phrases_asked, GetParam().phrases_asked);
    EXPECT_EQ(m_board->with_firmware([](vsim::BoardFirmware &f) { return f.tcp_authenticated(); }),
              GetParam().tcp);
    const std::string file = editor->GetTextEdit()->GetFileName();
    auto statement = [&](uint16_t line) { return lookupAddressBySource(file, line, 5); };
    EXPECT_EQ(gTargetRegisters.PC, statement(12)) << "stopped at main's first statement";
    const symbol *g = find_symbol("g", false, kGlobalTable);
    ASSERT_NE(g, nullptr);

    Main().Workspace()->setActiveSubWindow(editor);
    editor->Editor()->setCursorPosition(12, 0); // the caret at the line's start
    Press(Main().actToggleBreakpoint);
    ASSERT_EQ(breakpointList().size(), 1u);
    Press(Main().actRun);
    ASSERT_TRUE(UntilStopped());
    EXPECT_EQ(gTargetRegisters.PC, statement(13));
    EXPECT_EQ(Total(g->address[0]), 5);

    Press(Main().actStepOver); // without the disassembly window, a source-level step
    ASSERT_TRUE(UntilStopped());
    EXPECT_EQ(gTargetRegisters.PC, statement(14)) << "the step stops after the call, not in it";
    EXPECT_EQ(Total(g->address[0]), 6);

    uint8_t code[4] = {};
    target_operations().TcReadMemory(gTargetRegisters.PC, code, sizeof code);
    const uint16_t length = instructionLength(code, true);
    const uint32_t before = gTargetRegisters.PC;
    startStep(kStepInstruction, kStepInto);
    ASSERT_TRUE(UntilStopped());
    EXPECT_EQ(gTargetRegisters.PC, before + length);

    editor->Editor()->setCursorPosition(12, 0); // back on the breakpoint's line
    Press(Main().actToggleBreakpoint);
    EXPECT_TRUE(breakpointList().empty());
    m_boxes.shown.clear();
    Press(Main().actRun);
    for (int i = 0; i < 300 && m_boxes.shown.empty(); ++i)
        QTest::qWait(10);
    ASSERT_FALSE(m_boxes.shown.empty()) << "the end is told";
    EXPECT_EQ(m_boxes.shown.front().text, "Program Terminated. Exit Code 0.");
    EXPECT_TRUE(UntilStopped()) << "the program was started again";
    for (int i = 0; i < 300 && gTargetRegisters.PC != statement(12); ++i)
        QTest::qWait(10);
    EXPECT_EQ(gTargetRegisters.PC, statement(12)) << "the restart stops at main's first statement";
    EXPECT_EQ(Main().RunState(), 1);
}

INSTANTIATE_TEST_SUITE_P(Links, NewUserOnEachLink, ::testing::ValuesIn(kLinks),
                         [](const auto &i) { return std::string(i.param.name); });

// Runs only as the child of the test below, on the X server it started.
class NewUserUnderX : public NewUser {};

TEST_F(NewUserUnderX, DISABLED_StoppedAtTheBreakpoint)
{
    const QString out = qEnvironmentVariable("KX_SCREENSHOT");
    if (out.isEmpty())
        GTEST_SKIP() << "runs as the child of NewUserScreenshot only";
    TfrmEdit *editor = nullptr;
    const uint32_t body = CompileAndSetTheBreakpoint(editor);
    ASSERT_FALSE(HasFailure());
    editor->showMaximized();
    Press(Main().actRun);
    ASSERT_TRUE(UntilStopped());
    EXPECT_EQ(gTargetRegisters.PC, body);
    ASSERT_TRUE(executionPointShown());
    TfrmInfo info(&Main());
    info.move(Main().geometry().right() - 420, Main().geometry().top() + 80);
    info.show();
    EXPECT_NE(info.linesCompiled->text(), "0");
    EXPECT_NE(info.totalCode->text(), "");
    QTest::qWait(300);
    const QPixmap shot = Main().screen()->grabWindow(0);
    ASSERT_TRUE(shot.save(out, "PNG"));
    info.close();
}

TEST(NewUserScreenshot, StoppedAtTheBreakpointUnderX)
{
    const XScreenshot shot =
        screenshot_under_x("NewUserUnderX.DISABLED_StoppedAtTheBreakpoint", "debug_session.png");
    if (shot.skipped)
        GTEST_SKIP() << "Xvfb is not installed (./kx installs it): no screenshot taken";
    ASSERT_TRUE(shot.failure.empty()) << shot.failure;
    // The execution point's lime behind the statement the program stopped at.
    EXPECT_GT(count_pixels(shot.image, qRgb(0, 255, 0)), 40);
}

// The same stop with the disassembly and stack windows up, on a real X server.
TEST_F(NewUserUnderX, DISABLED_AssemblyAndStackWindows)
{
    const QString out = qEnvironmentVariable("KX_SCREENSHOT");
    if (out.isEmpty())
        GTEST_SKIP() << "runs as the child of NewUserScreenshot only";
    set_debug_windows(nullptr);
    TfrmEdit *editor = nullptr;
    CompileAndSetTheBreakpoint(editor);
    ASSERT_FALSE(HasFailure());
    Press(Main().actRun);
    ASSERT_TRUE(UntilStopped());
    Press(Main().actToggleAsm);
    Press(Main().actToggleStack);
    // The stack beside the disassembly, not over its marked line.
    auto *stack = Main().findChild<TfrmStack *>();
    ASSERT_NE(stack, nullptr);
    if (QWidget *host = stack->Host())
        host->move(Main().Workspace()->width() - host->width(), 0);
    QTest::qWait(300);
    const QPixmap shot = Main().screen()->grabWindow(0);
    ASSERT_TRUE(shot.save(out, "PNG"));
}

TEST(NewUserScreenshot, AssemblyAndStackWindowsUnderX)
{
    const XScreenshot shot = screenshot_under_x("NewUserUnderX.DISABLED_AssemblyAndStackWindows",
                                                "assembly_and_stack.png");
    if (shot.skipped)
        GTEST_SKIP() << "Xvfb is not installed (./kx installs it): no screenshot taken";
    ASSERT_TRUE(shot.failure.empty()) << shot.failure;
    // The disassembly's green arrow before the execution line.
    EXPECT_GT(count_pixels_near(shot.image, qRgb(0, 160, 0), 24), 10);
}

// ---- the stdio and registers windows on the board ------------------------------------------------

constexpr const char *kConsole = "main()\n"
                                 "{\n"
                                 "    int c;\n"
                                 "    printf(\"Hello from the board\\n\");\n"
                                 "    printf(\"\\x1b[1;31mred\\x1b[0m\\n\");\n"
                                 "    c = getchar();\n"
                                 "    printf(\"got %c\\n\", c);\n"
                                 "    for (;;) {\n"
                                 "    }\n"
                                 "}\n";

// The IDE's own debug windows and stdio unit over the whole build.
class NewUserWindows : public NewUser {
protected:
    void SetUp() override
    {
        NewUser::SetUp();
        set_debug_windows(nullptr);
        install_stdio_unit();
    }
    void TearDown() override
    {
        NewUser::TearDown();
        remove_stdio_unit();
        set_registers_modal_runner(nullptr);
    }
    TfrmStdio *Stdio() { return dynamic_cast<TfrmStdio *>(debug_windows().StdioWindow()); }
    std::string Row(int row)
    {
        std::string text = Stdio() ? Stdio()->Model().RowText(row) : std::string();
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        return text;
    }
    // Runs events until the stdio window shows the text on the row.
    bool UntilRow(int row, const std::string &text)
    {
        for (int i = 0; i < 300 && Row(row) != text; ++i)
            QTest::qWait(10);
        return Row(row) == text;
    }
    // F5 and F9 on the console program, its first two lines shown.
    void RunTheConsoleProgram()
    {
        ASSERT_NE(Main().OpenFile(Write("console.c", kConsole)), nullptr);
        Press(Main().actCompile);
        for (const auto &box : m_boxes.shown)
            ADD_FAILURE() << box.caption << ": " << box.text;
        ASSERT_EQ(Main().RunState(), 1);
        Press(Main().actRun);
        ASSERT_TRUE(UntilRow(1, "red")) << "row 0: " << Row(0) << ", row 1: " << Row(1);
    }
};

TEST_F(NewUserWindows, TheStdioWindowShowsTheOutputAndTakesAKey)
{
    RunTheConsoleProgram();
    ASSERT_FALSE(HasFailure());
    EXPECT_TRUE(debug_windows().IsShown(DebugWindow::Stdio)) << "it opened by itself";
    EXPECT_EQ(Row(0), "Hello from the board");
    EXPECT_EQ(Stdio()->Model().Cell(0, 1).color, 0x5555FFu) << "bright red";
    EXPECT_EQ(Stdio()->Model().Cell(0, 0).color, clBlack);
    QTest::keyClick(Stdio()->console, Qt::Key_Q);
    EXPECT_TRUE(UntilRow(2, "got q")) << "row 2: " << Row(2);
}

TEST_F(NewUserWindows, ANewRegisterValueReachesTheBoard)
{
    TfrmEdit *editor = nullptr;
    const uint32_t body = CompileAndSetTheBreakpoint(editor);
    ASSERT_FALSE(HasFailure());
    Press(Main().actRun);
    ASSERT_TRUE(UntilStopped());
    ASSERT_EQ(gTargetRegisters.PC, body);
    if (!debug_windows().IsShown(DebugWindow::Registers))
        Press(Main().actToggleReg); // F11
    ASSERT_TRUE(debug_windows().IsShown(DebugWindow::Registers));
    auto *registers = qobject_cast<TfrmRegisters *>(
        static_cast<ProgramDebugWindows &>(debug_windows()).Window(DebugWindow::Registers));
    ASSERT_NE(registers, nullptr);
    set_registers_modal_runner([](QDialog &dialog) {
        dialog.show();
        auto &single = static_cast<TfrmChangeSingleReg &>(dialog);
        single.edtNewRegisterValue->setText("0x1234");
        single.btnOK->click();
        return dialog.result();
    });
    registers->lbxMainRegisters->setCurrentRow(3);
    registers->UpdateActions();
    registers->actNewRegisterValue->trigger();
    for (const auto &box : m_boxes.shown)
        ADD_FAILURE() << box.caption << ": " << box.text;
    EXPECT_EQ(m_board->with_firmware([](vsim::BoardFirmware &f) { return f.cpu().hl(); }), 0x1234);
    TcReadRegisters();
    EXPECT_EQ(gTargetRegisters.HL, 0x1234) << "read back from the board";
    EXPECT_EQ(registers->lbxMainRegisters->item(3)->text(), "HL : 0x1234");
}

// Runs only as the child of the test below, on the X server it started.
class NewUserWindowsUnderX : public NewUserWindows {};

TEST_F(NewUserWindowsUnderX, DISABLED_ConsoleOutput)
{
    const QString out = qEnvironmentVariable("KX_SCREENSHOT");
    if (out.isEmpty())
        GTEST_SKIP() << "runs as the child of NewUserStdioScreenshot only";
    RunTheConsoleProgram();
    ASSERT_FALSE(HasFailure());
    QTest::keyClick(Stdio()->console, Qt::Key_Q);
    ASSERT_TRUE(UntilRow(2, "got q"));
    Stdio()->BringToFront();
    QTest::qWait(300);
    const QPixmap shot = Main().screen()->grabWindow(0);
    ASSERT_TRUE(shot.save(out, "PNG"));
}

TEST(NewUserStdioScreenshot, ConsoleOutputUnderX)
{
    const XScreenshot shot =
        screenshot_under_x("NewUserWindowsUnderX.DISABLED_ConsoleOutput", "stdio_window.png");
    if (shot.skipped)
        GTEST_SKIP() << "Xvfb is not installed (./kx installs it): no screenshot taken";
    ASSERT_TRUE(shot.failure.empty()) << shot.failure;
    // "red" drawn in the bright red of SGR 1;31 (0xFF5555; the glyphs' edges are smoothed,
    // so the colour is taken within a tolerance).
    int red = 0;
    for (int y = 0; y < shot.image.height(); ++y)
        for (int x = 0; x < shot.image.width(); ++x) {
            const QColor c = shot.image.pixelColor(x, y);
            red += c.red() > 0xE0 && std::abs(c.green() - 0x55) < 0x30 &&
                   std::abs(c.blue() - 0x55) < 0x30;
        }
    EXPECT_GT(red, 10);
}

// ---- the memory dump and trace windows on the board ----------------------------------------------

// Modal dialogs are shown and driven as the user would, then given what they ended with.
class DrivenDialogs : public TOptionsShell {
public:
    std::function<void(QDialog &)> drive;
    int RunState() override { return frmMainWindow ? frmMainWindow->RunState() : 0; }
    bool TraceWindowExists() override { return debug_windows().Exists(DebugWindow::Trace); }
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

// Tracing enabled and change highlighting on, as a user sets them before the session.
class NewUserDumpTrace : public NewUserWindows {
protected:
    void SetUp() override
    {
        NewUserWindows::SetUp();
        set_options_shell(&m_shell);
        // As the environment options apply "Enable Tracing": the store takes its record layout.
        IdePreferences().enable_tracing = true;
        trace_buf().SetTraceOptions();
        IdePreferences().memory_dump.enable_diffs = true;
    }
    void TearDown() override
    {
        if (frmTrace)
            delete frmTrace->Host();
        NewUserWindows::TearDown();
        set_options_shell(nullptr);
    }
    // Ctrl+D, the Memory Dump Setup dialog filled and OK pressed: a window dump, or with a file
    // name the range of `count` bytes written to it.
    void DumpAtAddress(const std::string &address, const std::string &file = {}, int count = 0)
    {
        m_shell.drive = [&](QDialog &dialog) {
            auto &form = static_cast<TfrmDumpAtAddress &>(dialog);
            if (form.chkSaveFlash->isChecked())
                form.chkSaveFlash->click();
            if (form.chkSaveToFile->isChecked() != !file.empty())
                form.chkSaveToFile->click();
            form.cboDumpAddress->setEditText(QString::fromStdString(address));
            form.edtNumBytes->setText(QString::number(count));
            form.edtFileName->setText(QString::fromStdString(file));
            form.btnOK->click();
        };
        Press(Main().actDumpAtAddress);
        m_shell.drive = nullptr;
        for (const auto &box : m_boxes.shown)
            ADD_FAILURE() << box.caption << ": " << box.text;
    }
    // The dump window's lines.
    static std::vector<std::string> Lines(TfrmMemoryDump *dump)
    {
        std::vector<std::string> lines;
        for (int i = 0; i < dump->lbxMemoryDump->count(); ++i)
            lines.push_back(dump->lbxMemoryDump->item(i)->text().toStdString());
        return lines;
    }
    // The low byte of `total` in the first line of the dump (two hex digits).
    std::string TotalByte(TfrmMemoryDump *dump) const
    {
        const std::string line = dump->lbxMemoryDump->item(0)->text().toStdString();
        return line.substr(std::size_t(dump_group_column(4, 0, TotalColumn())), 2);
    }
    int TotalColumn() const { return addr_offset(m_total_at) & 0xF; }

    // The whole session: stopped twice at the breakpoint (total 0), Ctrl+D on total's address,
    // F9 once more (total 1), the range written to "range.out", Trace On and F9 (the trace
    // window fills), and the trace saved to "trace.txt".
    void RunSession()
    {
        TfrmEdit *editor = nullptr;
        CompileAndSetTheBreakpoint(editor);
        ASSERT_FALSE(HasFailure());
        const symbol *total = find_symbol("total", false, kGlobalTable);
        ASSERT_NE(total, nullptr);
        m_total_at = total->address[0];
        for (int round = 0; round < 2; ++round) {
            Press(Main().actRun);
            ASSERT_TRUE(UntilStopped());
        }
        ASSERT_EQ(Total(m_total_at), 0);

        char address[8];
        std::snprintf(address, sizeof address, "%04X", unsigned(addr_offset(m_total_at)));
        DumpAtAddress(address);
        m_dump = Main().CurrentDumpWindow();
        ASSERT_NE(m_dump, nullptr);
        ASSERT_GT(m_dump->lbxMemoryDump->count(), 8);
        char row[8];
        std::snprintf(row, sizeof row, "%04x", unsigned(addr_offset(m_total_at) & 0xFFF0));
        EXPECT_EQ(Lines(m_dump)[0].substr(0, 4), row);
        EXPECT_EQ(TotalByte(m_dump), "00");

        Press(Main().actRun);
        ASSERT_TRUE(UntilStopped());
        ASSERT_EQ(Total(m_total_at), 1);
        EXPECT_EQ(TotalByte(m_dump), "01") << "the stop read the window's rows again";
        EXPECT_TRUE(m_dump->GroupChanged(0, TotalColumn()));
        EXPECT_FALSE(m_dump->GroupChanged(0, TotalColumn() + 1)) << "total's high byte stayed 0";

        DumpAtAddress(address, Path("range.out"), 128);
        std::ifstream range(Path("range.out"));
        std::vector<std::string> written;
        for (std::string line; std::getline(range, line);)
            written.push_back(line);
        const std::vector<std::string> shown = Lines(m_dump);
        EXPECT_EQ(written, std::vector<std::string>(shown.begin(), shown.begin() + 8));

        Press(Main().actTraceOn);
        Press(Main().actRun);
        ASSERT_TRUE(UntilStopped());
        Press(Main().actToggleTrace); // Window > Trace
        for (int i = 0; i < 300 && (!frmTrace || frmTrace->lbxTrace->count() == 0); ++i)
            QTest::qWait(10);
        ASSERT_TRUE(frmTrace) << "the trace window opened";
        ASSERT_GT(frmTrace->lbxTrace->count(), 0);
        const int last = frmTrace->lbxTrace->count() - 1;
        EXPECT_EQ(frmTrace->CellText(last, TfrmTrace::Field::Action), "Execute");
        EXPECT_EQ(frmTrace->CellText(last, TfrmTrace::Field::Function), "main");
        EXPECT_NE(frmTrace->CellText(last, TfrmTrace::Field::File).find("loop.c"),
                  std::string::npos);

        m_dialogs.choices.push_back({Path("trace.txt")});
        frmTrace->actWriteToFile->trigger();
        const std::string saved = Read(Path("trace.txt"));
        EXPECT_NE(saved.find("Action"), std::string::npos) << saved;
        EXPECT_NE(saved.find("Execute"), std::string::npos) << saved;
        EXPECT_NE(saved.find("main"), std::string::npos) << saved;
    }

    DrivenDialogs m_shell;
    ADDR24 m_total_at = 0;
    TfrmMemoryDump *m_dump = nullptr;
};

TEST_F(NewUserDumpTrace, DumpsAGlobalMarksItsChangeWritesTheRangeAndTracesTheLoop)
{
    RunSession();
}

class NewUserDumpTraceUnderX : public NewUserDumpTrace {};

TEST_F(NewUserDumpTraceUnderX, DISABLED_DumpAndTrace)
{
    const QString out = qEnvironmentVariable("KX_SCREENSHOT");
    if (out.isEmpty())
        GTEST_SKIP() << "runs as the child of NewUserDumpTraceScreenshot only";
    RunSession();
    ASSERT_FALSE(HasFailure());
    // The two windows one above the other, as a user would place them.
    const QRect screen = Main().screen()->availableGeometry();
    Main().setGeometry(screen);
    frmTrace->Host()->setGeometry(screen.left() + 20, screen.top() + 400, 760, 300);
    m_dump->Host()->setGeometry(screen.left() + 20, screen.top() + 60, 620, 300);
    frmTrace->BringToFront();
    m_dump->BringToFront();
    QTest::qWait(300);
    const QPixmap shot = Main().screen()->grabWindow(0);
    ASSERT_TRUE(shot.save(out, "PNG"));
    // The changed byte's group drawn inverted: the list's text colour fills its cell.
    const QImage list = m_dump->lbxMemoryDump->viewport()->grab().toImage();
    const QRect line = m_dump->lbxMemoryDump->visualItemRect(m_dump->lbxMemoryDump->item(0));
    const QFontMetrics metrics(m_dump->lbxMemoryDump->font());
    const QString text = m_dump->lbxMemoryDump->item(0)->text();
    const int column = dump_group_column(4, 0, TotalColumn());
    const QRect cell(line.left() + metrics.horizontalAdvance(text.left(column)), line.top(),
                     metrics.horizontalAdvance(text.mid(column, 2)), line.height());
    const QColor ink = m_dump->lbxMemoryDump->palette().color(QPalette::Text);
    int inked = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            inked += list.pixelColor(x * list.width() / m_dump->lbxMemoryDump->viewport()->width(),
                                     y * list.height() / m_dump->lbxMemoryDump->viewport()->height())
                         .rgb() == ink.rgb();
    EXPECT_GT(inked, cell.width() * cell.height() / 2) << "of " << cell.width() * cell.height();
}

TEST(NewUserDumpTraceScreenshot, DumpAndTraceUnderX)
{
    const XScreenshot shot = screenshot_under_x("NewUserDumpTraceUnderX.DISABLED_DumpAndTrace",
                                                "dump_trace_windows.png");
    if (shot.skipped)
        GTEST_SKIP() << "Xvfb is not installed (./kx installs it): no screenshot taken";
    ASSERT_TRUE(shot.failure.empty()) << shot.failure;
}

} // namespace
