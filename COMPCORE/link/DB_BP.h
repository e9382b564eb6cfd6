// DB_BP: the user's breakpoints, the start of a loaded program, and the report of its end or of
// the run-time error it died with. Breakpoints are set at source positions; the code address of
// a position comes from the line table (DB_SRC) and the target's debug kernel executes them: the
// host only asks it to add or remove one, within the limit the kernel reported (DB_GO's enabled
// options). Target requests go through TC; editors are reached through `gMainWindowInterface`.
// Called by run control (DB_GO), the editor's toggle commands and the IDE's load and reset
// commands. GUI thread only.
#pragma once

#include "core/QBSTRING.h"
#include "core/SEAM_TARGET.h"

#include <cstdint>
#include <list>
#include <string>

// Breakpoint kinds as the editor commands pass them.
inline constexpr int kSoftBreakpoint = -33;
inline constexpr int kHardBreakpoint = -25;

// Flags of the "Toggling breakpoint" request.
inline constexpr uint8_t kBreakpointAddSoft = 0x02;
inline constexpr uint8_t kBreakpointAddHard = 0x12;
inline constexpr uint8_t kBreakpointRemove = 0x04;

// One user breakpoint: the code address as the line table gives it (ADDR24 word), the source
// position from 1 and the file as the compile recorded it.
struct BreakpointRecord {
    uint32_t address = 0;
    uint16_t line = 0;
    uint16_t column = 0;
    QBString file;
};

// The list, in ascending physical address (among equal addresses the newest first).
const std::list<BreakpointRecord> &breakpointList();
// The breakpoints the target holds by our count (compared with the kernel's limit).
int breakpointCount();

// Toggles the breakpoint of the line-table statement at `address`. On entry line, column and
// file are the caret's; on return the statement's. A position without code is accepted and
// nothing happens (true). A position that holds a breakpoint loses it (true). False when the
// limit is reached and nothing changed. When the target refuses the new breakpoint, the record
// is taken out again and the failure goes on to the caller.
[[nodiscard]] bool toggleBreakpointAt(uint32_t address, int kind, uint16_t &line,
                                      uint16_t &column, std::string &file);
// Removes the first breakpoint at `address` (XPC compared only above the window) from the target,
// the list and its editor.
void removeBreakpointAt(uint32_t address);
// Clears every mark and asks the target to remove its breakpoints; the list is emptied.
void removeAllBreakpoints();
// Clears every mark and empties the list without the target; the count stays (debug mode ended).
void forgetBreakpoints();
void resetBreakpointCount();
// True when a breakpoint has that position (from 1) in that file.
[[nodiscard]] bool findBreakpointAtPosition(uint16_t line, uint16_t column, const std::string &file);

// Starts the loaded program and waits for the target's start report. 1: the program runs (is
// stopped at its first statement); 0: it ended during the start (reported once).
uint16_t startLoadedProgram();
// True while `startLoadedProgram` runs.
bool programStarting();
// When the PC stands at the exit routine "__xexit__", reports the end (L: code, H: XPC of the
// faulting address, HL': the faulting address) and, unless a start is in progress, starts the
// program again; returns 0 only for an end during a start.
uint16_t checkProgramExit(const TargetRegisterSet &registers);
// The end of the program: codes 224-253 are run-time errors, reported with the source position
// of the fault when the same function has a statement before it, else with its address; any
// other code is the exit code.
void reportTargetRuntimeError(uint16_t code_word, uint16_t address);
// The text of a run-time error code (224-253); empty for any other code.
std::string runtimeErrorText(uint8_t code);
