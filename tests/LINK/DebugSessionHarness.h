// A debug session on the board stand-in without the compiler: a program of hooked code
// assembled here and loaded into the stand-in's flash, the line table, function records and
// start list, name map and exit routine a compile of it would leave, run control installed as the link's debugger
// events, and a headless editor for its source "t.c". The program is three functions: main
// (four statements, one calls func), func (two statements) and the exit routine, whose trap
// ends the program with the exit code in L, its XPC in H and the faulting address in HL'.
#pragma once

#include "BoardHost.h"
#include "core/CC_ADDR.h"
#include "core/CC_MOD.h"
#include "link/DB_BP.h"
#include "link/DB_GO.h"
#include "debugger/DB_SRC.h"
#include "linker/MAPFILE.h"
#include "TcHarness.h"
#include "link/guiCompilerInterface.h"
#include "link/guiTrace.h"
#include "linker/list_files.h"

#include <cstdio>

namespace dbgtest {

using linktest::Bytes;
using tctest::BoardFirmware;
using tctest::BoardPhase;
using tctest::StandInConfig;

inline constexpr const char *kSource = "t.c";

// The statements: each label names the address after its hook (the line table's address).
// `exit_hl` and `fault` are what the program leaves in HL and HL' at the exit trap.
inline std::string program_text(uint16_t exit_hl, uint16_t fault)
{
    char tail[256];
    std::snprintf(tail, sizeof tail, R"(
        rst 0x28
m3:     ld hl, 0x%04X
        exx
        ld hl, 0x%04X
        exx
        jp xexit
)",
                  exit_hl, fault);
    return std::string(boardtest::kProgramPrologue) + R"(
main:   rst 0x28
m0:     ld a, 1
        ld (0x8000), a
        rst 0x28
m1:     call func
        rst 0x28
m2:     ld a, 3
        ld (0x8001), a)" + tail +
           R"(func:   rst 0x28
f0:     ld b, 2
        rst 0x28
f1:     ret
xexit:  ioe ld (0xFFF2), a
)";
}

// Source positions of the statements (line, column from 1), in code order.
struct Statement {
    const char *label;
    uint16_t line;
    uint16_t column;
};
inline constexpr Statement kStatements[] = {
    {"m0", 10, 5}, {"m1", 11, 5}, {"m2", 12, 5}, {"m3", 13, 5}, {"f0", 20, 5}, {"f1", 21, 5},
};

class DebugSession : public tctest::TcTest {
protected:
    void SetUp() override
    {
        TcTest::SetUp();
        reset_debugger_state();
        IdePreferences().enable_tracing = false;
        install_debugger_core();
    }
    void TearDown() override
    {
        TcTest::TearDown();
        reset_debugger_state();
        set_protected_file_test(nullptr);
    }

    static void reset_debugger_state()
    {
        forgetBreakpoints();
        resetBreakpointCount();
        reset_run_control();
        clearBreakpoints();
        reset_function_records_state();
        gAddressNameMap.clear();
        gTargetRegisters = {};
        gMainWindowInterface->SetCurrentSourceFile(QBString(""));
        gMainWindowInterface->GetSourcePosition() = 0;
    }

    // Assembles the program, fills the tables a compile would, starts the stand-in with the
    // program in flash and opens the link (serial, or TCP with `tcp`).
    void start(bool tcp = false, StandInConfig config = {}, uint16_t exit_hl = 0, uint16_t fault = 0)
    {
        program = boardtest::assemble(program_text(exit_hl, fault));
        ASSERT_TRUE(program.errors.empty()) << program.errors;
        for (const Statement &s : kStatements)
            markStatementPosition(kSource, s.line, s.column, at(s.label), gLineTable);
        endSourceRange(22, 1, at("xexit"));
        // Every function starts an entry of the start list; the exit routine, compiled without
        // debug code, leaves no function record.
        const uint32_t none = 0;
        add_function_record(0, 0, 0, at("main"), at("func"), none, 0, 0, "main");
        add_function_record(0, 0, 0, at("func"), at("xexit"), none, 0, 0, "func");
        for (const char *name : {"main", "func", "xexit"})
            add_function_start(at(name));
        for (const char *name : {"main", "func", "xexit"})
            gAddressNameMap[at(name)] = {at(name), name};
        set_exit_hook(uint16_t(at("xexit")));

        board = start_board(BoardPhase::bios, config);
        ASSERT_TRUE(board);
        ASSERT_TRUE(board->with_firmware([&](BoardFirmware &f) { return f.board().load(0, program.bytes); }));
        const TCOptionsType settings =
            tcp ? tctest::tcp_settings(board->tcp_port()) : tctest::serial_settings();
        SetCommSettings(settings);
        TcOpenConnection(settings, ReaderMode::threaded);
        TcRegisterHandlers();
    }

    uint32_t at(const std::string &label) const { return program.labels.at(label); }

    // The board's PC now.
    uint16_t board_pc()
    {
        return board->with_firmware([](BoardFirmware &f) { return f.cpu().pc; });
    }

    // Waits (running events) until the target has reported a stop and run control took it.
    bool until_stopped() { return linktest::pump_until([] { return headless_main_window().run_state == 1; }); }

    HeadlessEditWindow *editor() { return static_cast<HeadlessEditWindow *>(headless_main_window().FindEditor(kSource)); }

    // The frames of one DBG subtype the board received, their payloads.
    std::vector<Bytes> payloads(uint8_t subtype)
    {
        std::vector<Bytes> out;
        for (const auto &f : frames_of(*board, kLinkDbg, subtype))
            out.push_back(f.payload);
        return out;
    }

    // TOGGLEBP payload: the address word, the flags, 0.
    static Bytes toggle_payload(uint32_t word, uint8_t flags)
    {
        Bytes b;
        boardtest::put32(b, word);
        b.push_back(flags);
        boardtest::put16(b, 0);
        return b;
    }

    std::vector<std::string> boxes()
    {
        std::vector<std::string> out;
        for (const auto &b : headless_message_box_host().shown)
            out.push_back(b.text);
        return out;
    }

    boardtest::Program program;
    std::unique_ptr<tctest::BoardStandIn> board;
};

} // namespace dbgtest
