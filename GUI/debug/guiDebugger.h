// guiDebugger: what the main window's compile, load and debug commands ask of the units behind
// them, through two narrow interfaces.
//
// `TDebuggerOperations`: the compile-and-load sequence, the target link's requests and the
// debugger core's run control, behind one interface installed the way the compiler's target
// operations are. Until one is installed every call refuses with "The target link is not part
// of this build."; the IDE installs `LinkDebuggerOperations` at start-up, which calls the
// sequence, the link and the debugger core. Tests install a recording double. The waits of the
// commands go through it too, so that a test never waits for real.
//
// `TCommandDialogs`: the dialogs and debug windows the commands open or query (Advanced
// Compiler Options, Add Watch, Move To Address, Dump at Address, Evaluate Expression, the
// watches, registers, disassembly, stdio and memory dump windows). The program's own shows the
// Advanced Compiler Options dialog modally, finds no debug window, and refuses a dialog that is
// not built with "The debug windows are not part of this build.".
// GUI thread only.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

class QWidget;
class TEditorInterface;
struct TargetRegisterSet;

class TDebuggerOperations {
public:
    virtual ~TDebuggerOperations() = default;

    // ---- the compile-and-load sequence: each gives the compile status word (negative:
    // nothing compiled; bit of value 2: errors or a failure; bit of value 1: messages)
    virtual int CompileWithBiosCheck(const std::string &file) = 0;
    virtual int CompileFile(const std::string &file, bool use_attached_target) = 0;
    virtual int ResetAndLoadBios() = 0;
    virtual void ClearCompileFlags() = 0;
    // Set while compiling to an image file.
    virtual bool CompilingToFile() = 0;
    // The flash is written in whole sectors for this board: no reset before a compile.
    virtual bool FlashWriteMode() = 0;
    // Closes the compiler's source file when a cancelled compile left it open; a failure to
    // close is not reported.
    virtual void CloseCompilerSource() = 0;

    // ---- the target link
    virtual bool TcIsConnectionOpen() = 0;
    virtual bool LinkIsTcp() = 0;
    virtual void TcCheckPendingError() = 0;
    virtual void TcCloseConnection() = 0;
    virtual void TcResetTarget() = 0;
    // Resets the target into the program just loaded.
    virtual void TcResetTargetWithMode() = 0;
    virtual void TcRunWatches() = 0;

    // ---- the debugger core
    // Asks the target for its options (breakpoints, instruction steps, watches, their limits).
    virtual void readEnabledOptions() = 0;
    virtual bool areWatchesEnabled() = 0;
    virtual bool canStepInstructions() = 0;
    virtual int getMaxWatches() = 0;
    // 0 when the program could not be started. `after_load` tells a start right after a load
    // from a restart; the core starts both alike (the start-after-load flag says the rest).
    virtual int startLoadedProgram(bool after_load) = 0;
    virtual void runProgram() = 0;
    virtual void stopProgram() = 0;
    virtual void clearTargetBreakpoints() = 0;
    virtual void refreshAfterStop(bool flag) = 0;
    // Toggles the interrupt priority the status bar shows (nothing goes to the target).
    virtual void toggleInterruptPriority() = 0;
    virtual void removeAllBreakpoints() = 0;
    virtual int userBreakpointCount() = 0;
    // Kind 2 instruction level, 3 source level; over 1 steps over calls, 0 into them.
    virtual void startStep(int kind, int over) = 0;
    // A step was started and the target has not reported its stop yet.
    virtual bool StepPending() = 0;
    virtual void SetStepPending(bool pending) = 0;
    // While set, the execution-point display opens no source file.
    virtual void SetStartAfterLoad(bool on) = 0;
    // The trace store reports a running program (bit 0 of the last trace packet's flags).
    virtual bool TraceRunning() = 0;
    // Ends the trace run, saving it or not.
    virtual void ResetTrace(bool save) = 0;
    // The disassembly at the statement under the editor's caret (none: nothing happens).
    virtual void disassembleAtCursor(TEditorInterface *editor) = 0;
    virtual void disassembleAtAddress(uint32_t address) = 0;
    // Reads `blocks` blocks of 128 bytes from the physical address into the current dump window;
    // with change marking the bytes that differ from what the window showed last are marked.
    // The lines' address column follows the main window's dump request (its flags, and the XPC
    // of its start address in the xpc:offset form).
    virtual void fillMemoryDump(uint32_t physical, int blocks, bool change_marking) = 0;
    // The same lines into a text stream (from the physical address rounded down to 16).
    virtual void fillMemoryDumpToFile(uint32_t physical, int blocks, std::ostream &file) = 0;
    // Raw bytes from the target's physical memory.
    virtual void TcReadPhysicalMemory(uint32_t physical, uint32_t length, uint8_t *buffer) = 0;
    virtual void refreshWatchWindow() = 0;
    // Opens the source at the execution point (none: nothing happens).
    virtual void showExecutionPoint() = 0;

    // ---- what a debug window's toggle asks when it shows the window
    // Switches one kind of report the target sends (bit 0 stack, 1 watches, 2 disassembly).
    virtual void TcSetSendFlag(int bit, bool on) = 0;
    // The disassembly window listed at the current address, the stack window with 16 words at
    // SP, the registers window with the register set last read.
    virtual void fillDisassemblyView() = 0;
    virtual void fillStackView() = 0;
    virtual void formatRegisterLines() = 0;

    // ---- the registers and stdio windows
    // Reads the target's registers into the debugger core's set (`gTargetRegisters`).
    virtual void TcReadRegisters() = 0;
    // Writes the whole set; once the target took it, it is the debugger core's set.
    virtual void TcWriteRegisters(const TargetRegisterSet &registers) = 0;
    // Tells the target how many typed characters wait.
    virtual void TcSendStdioCharCount(uint8_t count) = 0;
    // The debugger core is itself fetching a stdio character for the target.
    virtual bool isWaitingForStdioChar() = 0;

    // ---- waits: `Wait` pumps the status box's messages (a Cancel ends it by its exception),
    // `Sleep` does not
    virtual void Wait(uint32_t milliseconds) = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
};

// The operations in use (never null: the built-in refusal until one is installed).
TDebuggerOperations &debugger_operations();
// Not owned; null restores the built-in refusal.
void set_debugger_operations(TDebuggerOperations *operations);

// The compile-and-load sequence, the target link and the debugger core of this build.
class LinkDebuggerOperations : public TDebuggerOperations {
public:
    int CompileWithBiosCheck(const std::string &file) override;
    int CompileFile(const std::string &file, bool use_attached_target) override;
    int ResetAndLoadBios() override;
    void ClearCompileFlags() override;
    bool CompilingToFile() override;
    bool FlashWriteMode() override;
    void CloseCompilerSource() override;
    bool TcIsConnectionOpen() override;
    bool LinkIsTcp() override;
    void TcCheckPendingError() override;
    void TcCloseConnection() override;
    void TcResetTarget() override;
    void TcResetTargetWithMode() override;
    void TcRunWatches() override;
    void readEnabledOptions() override;
    bool areWatchesEnabled() override;
    bool canStepInstructions() override;
    int getMaxWatches() override;
    int startLoadedProgram(bool after_load) override;
    void runProgram() override;
    void stopProgram() override;
    void clearTargetBreakpoints() override;
    void refreshAfterStop(bool flag) override;
    void toggleInterruptPriority() override;
    void removeAllBreakpoints() override;
    int userBreakpointCount() override;
    void startStep(int kind, int over) override;
    bool StepPending() override;
    void SetStepPending(bool pending) override;
    void SetStartAfterLoad(bool on) override;
    bool TraceRunning() override;
    void ResetTrace(bool save) override;
    void disassembleAtCursor(TEditorInterface *editor) override;
    void disassembleAtAddress(uint32_t address) override;
    void fillMemoryDump(uint32_t physical, int blocks, bool change_marking) override;
    void fillMemoryDumpToFile(uint32_t physical, int blocks, std::ostream &file) override;
    void TcReadPhysicalMemory(uint32_t physical, uint32_t length, uint8_t *buffer) override;
    void refreshWatchWindow() override;
    void showExecutionPoint() override;
    void TcSetSendFlag(int bit, bool on) override;
    void fillDisassemblyView() override;
    void fillStackView() override;
    void formatRegisterLines() override;
    void TcReadRegisters() override;
    void TcWriteRegisters(const TargetRegisterSet &registers) override;
    void TcSendStdioCharCount(uint8_t count) override;
    bool isWaitingForStdioChar() override;
    void Wait(uint32_t milliseconds) override;
    void Sleep(uint32_t milliseconds) override;
};

// The one adapter of the process, installed as the debugger operations.
void install_debugger_link();

// What the Dump at Address dialog gives back.
struct DumpRequest {
    bool to_file = false;      // the dialog wrote the dump into a file itself
    uint32_t physical = 0;     // 20-bit physical start
    uint16_t logical = 0;      // logical start
    uint8_t xpc = 0;           // the XPC of the start (xpc:offset addresses)
    std::string address_text; // as typed: the dump window's caption
};

class TCommandDialogs {
public:
    virtual ~TCommandDialogs() = default;
    // The Advanced Compiler Options dialog, modally.
    virtual void AdvancedCompilerOptions(QWidget *owner) = 0;
    // Add Watch with the expression in its field, modally; true on OK.
    virtual bool AddWatch(const std::string &expression) = 0;
    // Evaluate Expression, modeless, with the expression in its field.
    virtual void EvaluateExpression(const std::string &expression) = 0;
    // Move To Address, modally; true on OK with the address.
    virtual bool MoveToAddress(uint32_t &address) = 0;
    // Dump at Address, modally; true on OK.
    virtual bool DumpAtAddress(DumpRequest &request) = 0;
    // A new memory dump window with the main window's dump flags, made the one that receives
    // dump lines: the number of 128-byte blocks its visible rows need.
    virtual int OpenMemoryDump(uint8_t data_space, uint8_t xpc_offset, uint8_t physical) = 0;
    virtual void BeginDumpUpdate() = 0;
    virtual void EndDumpUpdate() = 0;
    // The dump window made last gets its caption, is shown and joins the main window's list.
    virtual void ShowMemoryDump(const std::string &caption) = 0;

    // The watches window.
    virtual int WatchCount() = 0;
    virtual bool HasSelectedWatch() = 0;
    virtual void DeleteSelectedWatch() = 0;
    virtual void DeleteAllWatches() = 0;
    virtual void ShowWatchLimitMessage() = 0;
    // Brings the watches window to the front and gives it the focus.
    virtual void FocusWatches() = 0;

    // The registers window keeps its position before a step; the disassembly window's cycle-sum
    // panel starts again after one; the stdio window's screen is cleared before a compile.
    virtual void SaveRegistersPosition() = 0;
    virtual void ResetCycleSumStatus() = 0;
    virtual void ClearStdioScreen() = 0;
};

TCommandDialogs &command_dialogs();
// Not owned; null restores the program's own.
void set_command_dialogs(TCommandDialogs *dialogs);
