// Breakpoints, the program's start and end, and run control on the board stand-in: the start
// shows the execution point, a breakpoint set at the caret is hit by a run, steps stop where the
// kernel says, the end of the program and its run-time errors are reported, and the target's
// small messages (status byte, assembly data) are kept as run control keeps them.
#include "DebugSessionHarness.h"

using namespace dbgtest;
using linktest::Bytes;

namespace {

uint32_t caret_at(uint16_t line, uint16_t column) { return pack_position(line - 1u, column - 1u); }

// The editor of t.c with its caret on a statement's line.
TEditorInterface &caret_editor(uint16_t line, uint16_t column)
{
    HeadlessEditWindow &e = headless_main_window().OpenEditor(kSource);
    e.caret = caret_at(line, column);
    return *e.GetTextEdit();
}

// ---- start, breakpoint, run: over both links ------------------------------------------------------

class StartAndBreak : public DebugSession, public ::testing::WithParamInterface<bool> {};

TEST_P(StartAndBreak, StartsAtMainThenRunsToTheBreakpointAtTheCaret)
{
    start(GetParam());
    readEnabledOptions();
    EXPECT_EQ(getMaxBreakpoints(), 16);

    ASSERT_EQ(startLoadedProgram(), 1);
    EXPECT_EQ(gTargetRegisters.PC, at("m0"));
    ASSERT_TRUE(editor()) << "the start opens the source at the execution point";
    ASSERT_FALSE(editor()->line_marks.empty());
    EXPECT_EQ(editor()->line_marks.back(), std::make_pair(caret_at(10, 5), true));

    clearTargetBreakpoints();
    EXPECT_EQ(payloads(kDbgClearBps).size(), 1u);

    ASSERT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(13, 1)));
    ASSERT_EQ(breakpointList().size(), 1u);
    EXPECT_EQ(breakpointList().front().line, 13);
    EXPECT_EQ(breakpointList().front().column, 5) << "the statement's position, not the caret's";
    const uint32_t xmem_form = physical_to_addr(addr_to_physical(at("m3")) - 1);
    EXPECT_EQ(payloads(kDbgToggleBp).back(), toggle_payload(xmem_form, kBreakpointAddSoft))
        << "root code is set through the xmem form of its physical address";

    runProgram();
    ASSERT_TRUE(until_stopped());
    EXPECT_EQ(gTargetRegisters.PC, at("m3"));
    EXPECT_EQ(uint16_t(gTargetRegisters.PC), board_pc()) << "the registers are the board's";
    const auto cpu = board->with_firmware([](BoardFirmware &f) { return f.cpu(); });
    EXPECT_EQ(gTargetRegisters.SP, cpu.sp);
    EXPECT_EQ(gTargetRegisters.AF >> 8, 3) << "main's code ran up to the breakpoint";
    const auto &panels = headless_main_window().panel_texts;
    ASSERT_FALSE(panels.empty());
    EXPECT_EQ(panels.back().second.rfind("IP = ", 0), 0u) << panels.back().second;

    ASSERT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(13, 3)));
    EXPECT_TRUE(breakpointList().empty());
    EXPECT_EQ(breakpointCount(), 0);
    EXPECT_EQ(payloads(kDbgToggleBp).back(), toggle_payload(at("m3") - 1, kBreakpointRemove))
        << "removed through its root offset with XPC 0";
}

INSTANTIATE_TEST_SUITE_P(Links, StartAndBreak, ::testing::Values(false, true),
                         [](const auto &i) { return std::string(i.param ? "tcp" : "serial"); });

// ---- breakpoint addresses ----------------------------------------------------------------------------

struct ToggleCase {
    const char *name;
    uint32_t address;
    uint32_t added;   // the address word sent to add it
    uint32_t removed; // and to remove it
};

const ToggleCase kToggles[] = {
    // The hook before 0x4000 is physical 0x03FFF: XPC 0xF5 over the window at 0xE000.
    {"root_at_a_page_start", 0x4000, 0x00F5EFFF, 0x00003FFF},
    {"root", 0x4010, 0x00F6E00F, 0x0000400F},
    {"xmem", make_addr(0x72, 0xE100), 0x0072E0FF, 0x0072E0FF},
};

class ToggleAddress : public DebugSession, public ::testing::WithParamInterface<ToggleCase> {};

TEST_P(ToggleAddress, AddedAndRemovedAsTheKernelExpects)
{
    start();
    readEnabledOptions();
    ASSERT_EQ(startLoadedProgram(), 1) << "the program's memory map is set up";
    const ToggleCase &c = GetParam();
    markStatementPosition("u.c", 5, 2, c.address, gLineTable);
    endSourceRange(6, 1, c.address);
    uint16_t line = 5, column = 2;
    std::string file = "u.c";
    ASSERT_TRUE(toggleBreakpointAt(c.address, kHardBreakpoint, line, column, file));
    ASSERT_TRUE(toggleBreakpointAt(c.address, kHardBreakpoint, line, column, file));
    EXPECT_EQ(payloads(kDbgToggleBp), (std::vector<Bytes>{toggle_payload(c.added, kBreakpointAddHard),
                                                           toggle_payload(c.removed, kBreakpointRemove)}));
    EXPECT_TRUE(board->with_firmware([](BoardFirmware &f) { return f.breakpoints().empty(); }));
}

INSTANTIATE_TEST_SUITE_P(All, ToggleAddress, ::testing::ValuesIn(kToggles),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(DebugSession, TwoCaretPositionsOfOneStatementToggleOneBreakpoint)
{
    start();
    readEnabledOptions();
    ASSERT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(12, 1)));
    ASSERT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(12, 9)));
    EXPECT_TRUE(breakpointList().empty());
    EXPECT_EQ(payloads(kDbgToggleBp).size(), 2u);

    EXPECT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(30, 1)))
        << "a line without code is accepted";
    EXPECT_EQ(payloads(kDbgToggleBp).size(), 2u) << "and nothing is sent for it";
    EXPECT_FALSE(toggleBreakpointAtCaret(kSoftBreakpoint, nullptr));
}

TEST_F(DebugSession, TheLimitRefusesANewBreakpointButStillRemovesOne)
{
    StandInConfig config;
    config.firmware.max_breakpoints = 2;
    start(false, config);
    readEnabledOptions();
    ASSERT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(10, 1)));
    ASSERT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(20, 1)));
    EXPECT_FALSE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(11, 1)));
    EXPECT_EQ(payloads(kDbgToggleBp).size(), 2u) << "a refused position sends nothing";
    EXPECT_EQ(breakpointCount(), 2);

    EXPECT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(20, 1)));
    EXPECT_EQ(breakpointCount(), 1);
    ASSERT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(11, 1)));

    clearTargetBreakpoints();
    EXPECT_EQ(breakpointCount(), 0);
    EXPECT_EQ(breakpointList().size(), 2u) << "the user's list stays";
    EXPECT_EQ(payloads(kDbgClearBps).size(), 1u);
}

TEST_F(DebugSession, ABreakpointTheTargetRefusesIsNotKept)
{
    start();
    readEnabledOptions();
    board->with_firmware([](BoardFirmware &f) { f.nak_next(kLinkDbg, kDbgToggleBp); });
    EXPECT_THROW((void)toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(12, 1)), xTCErr);
    EXPECT_TRUE(breakpointList().empty());
    EXPECT_EQ(breakpointCount(), 0) << "the failed breakpoint takes no place under the limit";
    ASSERT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(12, 1)));
    EXPECT_EQ(breakpointCount(), 1);
}

TEST_F(DebugSession, RemovingEveryBreakpointAsksTheTargetAndClearsTheMarks)
{
    start();
    readEnabledOptions();
    ASSERT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(10, 1)));
    ASSERT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(21, 1)));
    EXPECT_TRUE(findBreakpointAtPosition(21, 5, kSource));
    ASSERT_EQ(editor()->line_marks.size(), 2u);
    removeAllBreakpoints();
    EXPECT_TRUE(breakpointList().empty());
    EXPECT_EQ(breakpointCount(), 0);
    EXPECT_EQ(payloads(kDbgClearBps).size(), 2u) << "one request per breakpoint";
    EXPECT_TRUE(editor()->line_marks.empty()) << "their marks are gone";
    EXPECT_TRUE(board->with_firmware([](BoardFirmware &f) { return f.breakpoints().empty(); }));

    ASSERT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(10, 1)));
    forgetBreakpoints();
    EXPECT_TRUE(breakpointList().empty());
    EXPECT_EQ(breakpointCount(), 1) << "forgetting leaves the count to the next load";
    EXPECT_EQ(payloads(kDbgClearBps).size(), 2u) << "and sends nothing";
}

// ---- steps ----------------------------------------------------------------------------------------------

struct StepCase {
    const char *name;
    int mode, over;
    uint8_t byte;
};

const StepCase kSteps[] = {
    {"instruction_over", kStepInstruction, kStepOver, 0x06},
    {"instruction_into", kStepInstruction, kStepInto, 0x05},
    {"source_over", kStepSource, kStepOver, 0x0A},
    {"source_into", kStepSource, kStepInto, 0x09},
};

class StepRequest : public DebugSession, public ::testing::WithParamInterface<StepCase> {};

TEST_P(StepRequest, SendsItsByteAndTheStopClearsThePendingStep)
{
    start();
    readEnabledOptions();
    ASSERT_EQ(startLoadedProgram(), 1);
    gStepPending = true;
    headless_main_window().run_state = 0;
    startStep(GetParam().mode, GetParam().over);
    ASSERT_TRUE(until_stopped()) << "running, then stopped";
    EXPECT_FALSE(gStepPending);
    EXPECT_EQ(payloads(kDbgSingleStep), (std::vector<Bytes>{{GetParam().byte}}));
}

INSTANTIATE_TEST_SUITE_P(All, StepRequest, ::testing::ValuesIn(kSteps),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(DebugSession, ASourceStepOverACallStopsAtTheNextStatementOfTheCaller)
{
    start();
    readEnabledOptions();
    ASSERT_EQ(startLoadedProgram(), 1);
    startStep(kStepSource, kStepOver);
    ASSERT_TRUE(until_stopped());
    ASSERT_EQ(gTargetRegisters.PC, at("m1"));
    startStep(kStepSource, kStepOver);
    ASSERT_TRUE(until_stopped());
    EXPECT_EQ(gTargetRegisters.PC, at("m2")) << "not inside func";
    EXPECT_EQ(editor()->line_marks.back(), std::make_pair(caret_at(12, 5), true));

    startStep(kStepSource, kStepInto);
    ASSERT_TRUE(until_stopped());
    EXPECT_EQ(gTargetRegisters.PC, at("m3"));
}

TEST_F(DebugSession, AnInstructionStepMovesThePcByTheInstructionsLength)
{
    start();
    readEnabledOptions();
    ASSERT_EQ(startLoadedProgram(), 1);
    startStep(kStepInstruction, kStepOver);
    ASSERT_TRUE(until_stopped());
    EXPECT_EQ(gTargetRegisters.PC, at("m0") + 2) << "ld a, 1 is two bytes";
    EXPECT_EQ(uint16_t(gTargetRegisters.PC), board_pc());
}

// ---- the program's end -------------------------------------------------------------------------------

TEST_F(DebugSession, AnEndDuringTheStartIsReportedOnceAndNotRestarted)
{
    boardtest::Program p = boardtest::assemble(program_text(0, 0));
    StandInConfig config;
    config.firmware.start_pc = uint16_t(p.labels.at("xexit"));
    start(false, config);
    EXPECT_EQ(startLoadedProgram(), 0);
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Program Terminated. Exit Code 0."}));
    EXPECT_EQ(payloads(kDbgStartProgram).size(), 1u);
}

TEST_F(DebugSession, ALaterEndIsReportedAndTheProgramStartedAgain)
{
    start(false, {}, 0x0007);
    readEnabledOptions();
    ASSERT_EQ(startLoadedProgram(), 1);
    runProgram();
    ASSERT_TRUE(linktest::pump_until([&] {
        return payloads(kDbgStartProgram).size() == 2 && !programStarting() &&
               gTargetRegisters.PC == at("m0");
    })) << "started again, at its first statement";
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Program Terminated. Exit Code 7."}));
    EXPECT_EQ(headless_main_window().run_state, 1);
}

struct ErrorCase {
    const char *name;
    uint16_t code_word;
    const char *fault;    // the label of the faulting address, or "" for none
    int fault_offset;     // bytes after it
    bool no_functions;    // the compile left no function start list
    const char *text;     // %04x: the faulting address
};

const ErrorCase kErrors[] = {
    {"statement_of_the_function", 229, "f0", 1, false,
     "Run Time Error : Array index out of bounds.\nfile: t.c\nline: 20"},
    // The exit routine has no function record, only its start: its fault is not func's.
    {"no_statement_in_the_function", 240, "xexit", 1, false,
     "Run Time Error : Integer divide by zero.\nAddress 00:%04x"},
    {"no_function_list", 229, "f0", 1, true, "Run Time Error : Array index out of bounds.\nAddress 00:%04x"},
    {"last_code", 253, "m1", 0, false,
     "Run Time Error : Socket must be class 'static', not 'auto'.\nfile: t.c\nline: 11"},
    {"exit_code", 0x0012, "", 0, false, "Program Terminated. Exit Code 18."},
    {"exit_code_above_the_errors", 254, "", 0, false, "Program Terminated. Exit Code 254."},
};

class RuntimeError : public DebugSession, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(RuntimeError, ReportedWithTheNearestStatementOfTheSameFunction)
{
    const ErrorCase &c = GetParam();
    start();
    if (c.no_functions)
        clear_function_starts();
    const uint16_t fault = *c.fault ? uint16_t(at(c.fault) + c.fault_offset) : 0;
    reportTargetRuntimeError(c.code_word, fault);
    char expected[256];
    std::snprintf(expected, sizeof expected, c.text, unsigned(fault));
    EXPECT_EQ(boxes(), (std::vector<std::string>{expected}));
    EXPECT_EQ(headless_message_box_host().shown.back().caption, "Korvex");
}

INSTANTIATE_TEST_SUITE_P(All, RuntimeError, ::testing::ValuesIn(kErrors),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(DebugSession, TheExitTrapOfAFaultReportsTheFaultsStatement)
{
    boardtest::Program p = boardtest::assemble(program_text(0, 0));
    start(false, {}, 229, uint16_t(p.labels.at("f0") + 1));
    readEnabledOptions();
    ASSERT_EQ(startLoadedProgram(), 1);
    runProgram();
    ASSERT_TRUE(linktest::pump_until([&] { return !boxes().empty(); }));
    EXPECT_EQ(boxes().front(), "Run Time Error : Array index out of bounds.\nfile: t.c\nline: 20");
}

// ---- the execution point ------------------------------------------------------------------------------

TEST_F(DebugSession, AStopWithoutSourceLeavesTheExecutionPointHidden)
{
    start();
    gTargetRegisters.PC = at("xexit");
    showExecutionPoint();
    EXPECT_FALSE(executionPointShown());
    EXPECT_EQ(editor(), nullptr);
}

TEST_F(DebugSession, AStartRightAfterALoadOpensNoSourceButMarksAnOpenOne)
{
    start();
    gStartAfterLoad = true;
    gTargetRegisters.PC = at("m1");
    showExecutionPoint();
    EXPECT_EQ(editor(), nullptr) << "a start after a load opens no source file";
    EXPECT_FALSE(executionPointShown());

    gStartAfterLoad = false;
    showExecutionPoint();
    ASSERT_NE(editor(), nullptr) << "a later stop opens the source";
    gStartAfterLoad = true;
    gTargetRegisters.PC = at("m2");
    showExecutionPoint();
    ASSERT_FALSE(editor()->line_marks.empty());
    EXPECT_EQ(editor()->line_marks.back(), std::make_pair(caret_at(12, 5), true))
        << "an editor already open still gets the execution point";
}

TEST_F(DebugSession, AStopInAnEncryptedFileIsToldOnEveryStopAndNoEditorOpens)
{
    start();
    set_protected_file_test([](const std::string &path) { return path == kSource; });
    gTargetRegisters.PC = at("m1");
    showExecutionPoint();
    showExecutionPoint();
    ASSERT_EQ(boxes(), (std::vector<std::string>{"This file is encrypted", "This file is encrypted"}));
    EXPECT_EQ(headless_message_box_host().shown.back().caption, kSource);
    EXPECT_EQ(editor(), nullptr);
}

TEST_F(DebugSession, HidingTheExecutionPointPutsABreakpointUnderItBack)
{
    start();
    readEnabledOptions();
    ASSERT_TRUE(toggleBreakpointAtCaret(kSoftBreakpoint, &caret_editor(11, 1)));
    gTargetRegisters.PC = at("m1");
    showExecutionPoint();
    EXPECT_EQ(editor()->line_marks.back(), std::make_pair(caret_at(11, 5), true));
    showBreakpointMark(10, 4, true, kSource);
    EXPECT_EQ(editor()->line_marks.back(), std::make_pair(caret_at(11, 5), true))
        << "the execution point's mark wins";
    hideExecutionPoint();
    EXPECT_FALSE(executionPointShown());
    EXPECT_EQ(editor()->line_marks.back(), std::make_pair(caret_at(11, 5), false));
}

// ---- the target's small messages -------------------------------------------------------------------------

TEST_F(DebugSession, InterruptPriorityShownToggled)
{
    toggleInterruptPriority(0x41);
    toggleInterruptPriority(0x40);
    const auto &panels = headless_main_window().panel_texts;
    ASSERT_EQ(panels.size(), 2u);
    EXPECT_EQ(panels[0], std::make_pair(6, std::string("IP = 40")));
    EXPECT_EQ(panels[1], std::make_pair(6, std::string("IP = 43")));
}

TEST_F(DebugSession, AStatusByteFromTheTargetSetsTheTracingState)
{
    start();
    board->with_firmware([](BoardFirmware &f) { f.inject_status(0x80); });
    ASSERT_TRUE(linktest::pump_until([] { return IdePreferences().tracing; }));
    board->with_firmware([](BoardFirmware &f) { f.inject_status(0x7F); });
    EXPECT_TRUE(linktest::pump_until([] { return !IdePreferences().tracing; }));
}

struct AsmDataCase {
    const char *name;
    uint16_t length;
    uint16_t kept;
};
const AsmDataCase kAsmData[] = {{"short", 32, 32}, {"limit", 260, 260}, {"long", 300, 260}};

class AsmData : public DebugSession, public ::testing::WithParamInterface<AsmDataCase> {};

TEST_P(AsmData, KeepsAtMost260Bytes)
{
    const Bytes data(GetParam().length, 0xEF);
    onAsmData(data.data(), uint16_t(data.size()));
    EXPECT_EQ(asmDataLength(), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(All, AsmData, ::testing::ValuesIn(kAsmData),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(DebugSession, AStdioCharacterIsSentWhenTheWindowHasOne)
{
    start();
    headless_main_window().debug_window.input = "x";
    onSendChar();
    EXPECT_FALSE(isWaitingForStdioChar());
    ASSERT_TRUE(linktest::pump_until([&] { return !payloads(kDbgSendChar).empty(); }));
    EXPECT_EQ(payloads(kDbgSendChar), std::vector<Bytes>{Bytes{'x'}});
    onSendChar();
    linktest::pump_for(20);
    EXPECT_EQ(payloads(kDbgSendChar).size(), 1u) << "no character typed: nothing sent";
}

} // namespace
