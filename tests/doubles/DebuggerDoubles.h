// Recording doubles of the IDE's debugger operations and command dialogs (GUI tests only):
// every call goes into one journal as a text line ("CompileWithBiosCheck /tmp/a.c",
// "startStep 3 1", "AddWatch a\r\nb"), answers come from public fields, and `fail` may throw
// for a call (after it was recorded).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "debug/guiDebugger.h"
#include "link/TC.h"

class DebuggerJournal {
public:
    std::vector<std::string> calls;
    // Called with each call's line after it was recorded; may throw.
    std::function<void(const std::string &call)> fail;

    void Note(const std::string &call)
    {
        calls.push_back(call);
        if (fail)
            fail(call);
    }
    int Count(const std::string &call) const
    {
        int n = 0;
        for (const std::string &c : calls)
            n += c == call;
        return n;
    }
    // The position of the first line equal to `call` at or after `from`; -1 when none.
    int Find(const std::string &call, int from = 0) const
    {
        for (int i = from; i < static_cast<int>(calls.size()); ++i)
            if (calls[static_cast<std::size_t>(i)] == call)
                return i;
        return -1;
    }
};

class RecordingDebugger : public TDebuggerOperations {
public:
    explicit RecordingDebugger(DebuggerJournal &journal) : m_journal(journal) {}

    int compile_status = 0;     // of every compile entry
    bool tcp = false;
    bool connection_open = true;
    bool to_file = false;       // what CompilingToFile answers (CompileFile sets it)
    bool flash_write_mode = false;
    bool watches_enabled = true;
    bool instruction_steps = true;
    int max_watches = 8;
    int start_result = 1;
    int breakpoints = 0;
    bool trace_running = false;
    bool step_pending = false;
    bool start_after_load = false;
    bool waiting_for_stdio_char = false;
    // Runs after formatRegisterLines is recorded (a test may format into its window).
    std::function<void()> on_format_registers;
    // Run inside the compile entries (a test's view of the state while it compiles).
    std::function<void()> during_compile;

    int CompileWithBiosCheck(const std::string &file) override
    {
        Note("CompileWithBiosCheck " + file);
        if (during_compile)
            during_compile();
        return compile_status;
    }
    int CompileFile(const std::string &file, bool attached) override
    {
        to_file = true;
        Note("CompileFile " + file + (attached ? " attached" : " alone"));
        if (during_compile)
            during_compile();
        return compile_status;
    }
    int ResetAndLoadBios() override
    {
        Note("ResetAndLoadBios");
        if (during_compile)
            during_compile();
        return compile_status;
    }
    void ClearCompileFlags() override
    {
        to_file = false;
        Note("ClearCompileFlags");
    }
    bool CompilingToFile() override { return to_file; }
    bool FlashWriteMode() override { return flash_write_mode; }
    void CloseCompilerSource() override { Note("CloseCompilerSource"); }
    bool TcIsConnectionOpen() override { return connection_open; }
    bool LinkIsTcp() override { return tcp; }
    void TcCheckPendingError() override { Note("TcCheckPendingError"); }
    void TcCloseConnection() override { Note("TcCloseConnection"); }
    void TcResetTarget() override { Note("TcResetTarget"); }
    void TcResetTargetWithMode() override { Note("TcResetTargetWithMode"); }
    void TcRunWatches() override { Note("TcRunWatches"); }
    void readEnabledOptions() override { Note("readEnabledOptions"); }
    bool areWatchesEnabled() override { return watches_enabled; }
    bool canStepInstructions() override { return instruction_steps; }
    int getMaxWatches() override { return max_watches; }
    int startLoadedProgram(bool after_load) override
    {
        Note(std::string("startLoadedProgram ") + (after_load ? "1" : "0"));
        return start_result;
    }
    void runProgram() override { Note("runProgram"); }
    void stopProgram() override { Note("stopProgram"); }
    void clearTargetBreakpoints() override { Note("clearTargetBreakpoints"); }
    void refreshAfterStop(bool flag) override
    {
        Note(std::string("refreshAfterStop ") + (flag ? "1" : "0"));
    }
    void toggleInterruptPriority() override { Note("toggleInterruptPriority"); }
    void removeAllBreakpoints() override { Note("removeAllBreakpoints"); }
    int userBreakpointCount() override { return breakpoints; }
    void startStep(int kind, int over) override
    {
        Note("startStep " + std::to_string(kind) + " " + std::to_string(over));
    }
    bool StepPending() override { return step_pending; }
    void SetStepPending(bool pending) override { step_pending = pending; }
    void SetStartAfterLoad(bool on) override
    {
        start_after_load = on;
        Note(std::string("SetStartAfterLoad ") + (on ? "1" : "0"));
    }
    bool TraceRunning() override { return trace_running; }
    void ResetTrace(bool save) override { Note(std::string("ResetTrace ") + (save ? "1" : "0")); }
    void disassembleAtCursor(TEditorInterface *) override { Note("disassembleAtCursor"); }
    void disassembleAtAddress(uint32_t address) override
    {
        Note("disassembleAtAddress " + Hex(address));
    }
    void fillMemoryDump(uint32_t physical, int blocks, bool change_marking) override
    {
        Note("fillMemoryDump " + Hex(physical) + " " + std::to_string(blocks) +
             (change_marking ? " marked" : ""));
    }
    // Eight lines a block, each naming its 16 bytes' physical address.
    void fillMemoryDumpToFile(uint32_t physical, int blocks, std::ostream &file) override
    {
        Note("fillMemoryDumpToFile " + Hex(physical) + " " + std::to_string(blocks));
        for (int line = 0; line < blocks * 8; ++line)
            file << "line " << Hex((physical & ~0xFu) + uint32_t(line) * 16) << '\n';
    }
    // The physical memory's bytes: `flash(address)` (its low byte by default).
    std::function<uint8_t(uint32_t)> flash = [](uint32_t a) { return uint8_t(a ^ (a >> 8)); };
    void TcReadPhysicalMemory(uint32_t physical, uint32_t length, uint8_t *buffer) override
    {
        Note("TcReadPhysicalMemory " + Hex(physical) + " " + std::to_string(length));
        for (uint32_t i = 0; i < length; ++i)
            buffer[i] = flash(physical + i);
    }
    void refreshWatchWindow() override { Note("refreshWatchWindow"); }
    void showExecutionPoint() override { Note("showExecutionPoint"); }
    void TcSetSendFlag(int bit, bool on) override
    {
        Note("TcSetSendFlag " + std::to_string(bit) + (on ? " on" : " off"));
    }
    void fillDisassemblyView() override { Note("fillDisassemblyView"); }
    void fillStackView() override { Note("fillStackView"); }
    void formatRegisterLines() override
    {
        Note("formatRegisterLines");
        if (on_format_registers)
            on_format_registers();
    }
    void TcReadRegisters() override { Note("TcReadRegisters"); }
    // Recorded as "TcWriteRegisters AF=12C5 BC=... IY=2222"; the set is the core's once taken.
    void TcWriteRegisters(const TargetRegisterSet &r) override
    {
        Note("TcWriteRegisters " + RegisterText(r));
        gTargetRegisters = r;
    }
    void TcSendStdioCharCount(uint8_t count) override
    {
        Note("TcSendStdioCharCount " + std::to_string(count));
    }
    bool isWaitingForStdioChar() override { return waiting_for_stdio_char; }
    static std::string RegisterText(const TargetRegisterSet &r)
    {
        char text[160];
        std::snprintf(text, sizeof text,
                      "AF=%04X BC=%04X DE=%04X HL=%04X AF'=%04X BC'=%04X DE'=%04X HL'=%04X "
                      "IX=%04X IY=%04X",
                      r.AF, r.BC, r.DE, r.HL, r.AF2, r.BC2, r.DE2, r.HL2, r.IX, r.IY);
        return text;
    }
    void Wait(uint32_t ms) override { Note("Wait " + std::to_string(ms)); }
    void Sleep(uint32_t ms) override { Note("Sleep " + std::to_string(ms)); }

    static std::string Hex(uint32_t value)
    {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X", value);
        return text;
    }

private:
    void Note(const std::string &call) { m_journal.Note(call); }
    DebuggerJournal &m_journal;
};

class RecordingCommandDialogs : public TCommandDialogs {
public:
    explicit RecordingCommandDialogs(DebuggerJournal &journal) : m_journal(journal) {}

    bool add_watch_result = true;
    uint32_t move_address = 0;
    bool move_result = true;
    bool dump_result = true;
    DumpRequest dump;
    int dump_blocks = 4;
    int watch_count = 0;
    bool watch_selected = false;

    void AdvancedCompilerOptions(QWidget *) override
    {
        Note("AdvancedCompilerOptions");
        if (on_advanced)
            on_advanced();
    }
    std::function<void()> on_advanced;
    bool AddWatch(const std::string &expression) override
    {
        Note("AddWatch " + expression);
        return add_watch_result;
    }
    void EvaluateExpression(const std::string &expression) override
    {
        Note("EvaluateExpression " + expression);
    }
    bool MoveToAddress(uint32_t &address) override
    {
        Note("MoveToAddress");
        address = move_address;
        return move_result;
    }
    bool DumpAtAddress(DumpRequest &request) override
    {
        Note("DumpAtAddress");
        request = dump;
        return dump_result;
    }
    int OpenMemoryDump(uint8_t data_space, uint8_t xpc_offset, uint8_t physical) override
    {
        Note("OpenMemoryDump " + std::to_string(data_space) + " " + std::to_string(xpc_offset) +
             " " + std::to_string(physical));
        return dump_blocks;
    }
    void BeginDumpUpdate() override { Note("BeginDumpUpdate"); }
    void EndDumpUpdate() override { Note("EndDumpUpdate"); }
    void ShowMemoryDump(const std::string &caption) override { Note("ShowMemoryDump " + caption); }
    int WatchCount() override { return watch_count; }
    bool HasSelectedWatch() override { return watch_selected; }
    void DeleteSelectedWatch() override { Note("DeleteSelectedWatch"); }
    void DeleteAllWatches() override { Note("DeleteAllWatches"); }
    void ShowWatchLimitMessage() override { Note("ShowWatchLimitMessage"); }
    void FocusWatches() override { Note("FocusWatches"); }
    void SaveRegistersPosition() override { Note("SaveRegistersPosition"); }
    void ResetCycleSumStatus() override { Note("ResetCycleSumStatus"); }
    void ClearStdioScreen() override { Note("ClearStdioScreen"); }

private:
    void Note(const std::string &call) { m_journal.Note(call); }
    DebuggerJournal &m_journal;
};
