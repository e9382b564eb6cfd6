// DB_GO: run control, the debugger's state machine on the host. Runs, stops and single-steps the
// loaded program, reacts when the target reports a stop (at a breakpoint, after a step or after
// the start), moves the execution point in the source editor, refreshes the register, stack,
// disassembly, memory-dump and watch windows, answers the target's request for a stdio
// character, keeps the target's enabled debugging options and toggles breakpoints at an editor's
// caret. The IDE's Run, Stop, Step and Reset commands call it (through the IDE's debugger
// interface); the target's own messages reach it through TC's debugger events, which
// `install_debugger_core` installs. Windows are reached through `gMainWindowInterface`.
// GUI thread only.
#pragma once

#include "core/SEAM_TARGET.h"

#include <cstdint>
#include <iosfwd>
#include <string>

class TEditorInterface;

// A step command is queued and the target has not yet reported the stop. The shell sets it and
// ignores further step commands while it is set; the stop report clears it.
extern bool gStepPending;
// Set by the shell while it starts a program it has just loaded: showing the execution point
// then opens no source file (an editor already open still gets the mark).
extern bool gStartAfterLoad;

// Step modes and directions of `startStep`.
inline constexpr int kStepInstruction = 2;
inline constexpr int kStepSource = 3;
inline constexpr int kStepOver = 1;
inline constexpr int kStepInto = 0;

// ---- commands ----------------------------------------------------------------------------------

// Hides the execution point, run state 2, "Running program".
int runProgram();
// Run state 2, hides the execution point, sends the step byte (1 << mode) | (1 << over).
int startStep(int mode, int over);
// "Stopping program"; under tracing the store takes the stop (run state 1).
int stopProgram();
// The editor's toggle commands: a soft or hard breakpoint at the caret; false when the limit
// of the target is reached (the caller shows the message).
bool toggleBreakpoint(TEditorInterface *editor);
bool toggleHardBreakpoint(TEditorInterface *editor);
bool toggleBreakpointAtCaret(int kind, TEditorInterface *editor);
// The disassembly window at the statement under the editor's caret, or at an address.
int disassembleAtCursor(TEditorInterface *editor);
int disassembleAtAddress(uint32_t address);
// 128-byte blocks of target memory as dump lines: into `file` when given (from the address
// rounded down to 16), else into the memory-dump window.
int fillMemoryDump(uint32_t address, int block_count, std::ostream *file, bool change_marking);
// Shows the value with its low two bits cleared when either is set, both set when both are clear.
int toggleInterruptPriority(uint8_t value);

// ---- the target's enabled options --------------------------------------------------------------

// "Getting enabled options": options byte, most watches, most breakpoints.
void readEnabledOptions();
bool areBreakpointsEnabled();
bool canStepInstructions();
bool areWatchesEnabled();
uint8_t getMaxWatches();
uint8_t getMaxBreakpoints();
// After a load: the target has forgotten its breakpoints. The count goes to 0 and "Removing all
// breakpoints" is sent; the user's list stays.
void clearTargetBreakpoints();
void refreshWatchWindow();

// ---- stops and the execution point -------------------------------------------------------------

void onTargetStopped(uint16_t stop_reason);
// The exit check (unless skipped), the registers window, the execution point.
void refreshAfterStop(bool skip_register_check);
void showExecutionPoint();
void hideExecutionPoint();
// A breakpoint mark on (or off) at a zero-based position, unless the execution point is there.
void showBreakpointMark(int line, int column, bool on, const std::string &file);
bool executionPointShown();
void onStackData(const uint8_t *data, uint16_t length);

// ---- the other messages of the target ----------------------------------------------------------

// Keeps at most 260 bytes of the payload.
void onAsmData(const uint8_t *data, uint16_t length);
uint16_t asmDataLength();
// A one-byte register data: bit 7 is the tracing state of the target.
void onStatusByte(uint8_t status);
void onSendChar();
[[nodiscard]] bool isWaitingForStdioChar();

// Run control's handlers become the target link's debugger events.
void install_debugger_core();
// Back to start-up state: options, step and stdio flags, the execution point, the assembly data
// (tests, and a new debugging session).
void reset_run_control();
