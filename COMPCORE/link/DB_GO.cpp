// DB_GO: run control (see DB_GO.h).
//
// Source positions: editors count lines and columns from 0, the position tables and the
// breakpoint list from 1; a packed position is line << 16 | column.
#include "DB_GO.h"

#include "core/CC_ADDR.h"
#include "DB_BP.h"
#include "debugger/DB_ML.h"
#include "debugger/DB_SRC.h"
#include "TC.h"
#include "core/guiInterface.h"
#include "settings/guiKXPreferences.h"
#include "guiTrace.h"
#include "linker/list_files.h"

#include <algorithm>
#include <cstring>

bool gStepPending = false;
bool gStartAfterLoad = false;

namespace {

constexpr uint32_t kMsgFileEncrypted = 7893; // "This file is encrypted"
constexpr std::size_t kAsmDataLimit = 260;

struct EnabledOptions {
    uint8_t options = 0;
    uint8_t max_watches = 0;
    uint8_t max_breakpoints = 0;
};
EnabledOptions g_options;
bool g_waiting_for_stdio = false;
bool g_execution_point = false;
uint8_t g_asm_data[kAsmDataLimit] = {};
uint16_t g_asm_length = 0;

bool tracing_enabled() { return IdePreferences().enable_tracing; }

uint32_t &saved_position() { return gMainWindowInterface->GetSourcePosition(); }
std::string current_source_file() { return gMainWindowInterface->GetCurrentSourceFile().c_str(); }

// Takes the execution point's marks off its editor and puts back a breakpoint mark under it.
void remove_execution_mark(TEditorInterface *editor)
{
    const uint32_t saved = saved_position();
    if (editor)
        editor->UpdateMarkers(saved);
    g_execution_point = false;
    const std::string file = current_source_file();
    if (findBreakpointAtPosition(uint16_t(position_line(saved) + 1),
                                 uint16_t(position_column(saved) + 1), file))
        showBreakpointMark(int(position_line(saved)), int(position_column(saved)), true, file);
}

class RunControlEvents : public TcDebuggerEvents {
public:
    void onTargetStopped(uint16_t stop_reason) override { ::onTargetStopped(stop_reason); }
    void onStatusByte(uint8_t status) override { ::onStatusByte(status); }
    void onStackData(const uint8_t *data, uint16_t length) override { ::onStackData(data, length); }
    void onAsmData(const uint8_t *data, uint16_t length) override { ::onAsmData(data, length); }
    void onStdio(const uint8_t *data, uint16_t length) override
    {
        StdioWrite(reinterpret_cast<const char *>(data), length);
    }
    void onTracePacket(const uint8_t *data, uint16_t length) override
    {
        trace_buf().DecodeTracePacket(data, length);
    }
    void onSendChar() override { ::onSendChar(); }
};
RunControlEvents g_events;

} // namespace

// ---- commands ------------------------------------------------------------------------------------

int runProgram()
{
    hideExecutionPoint();
    gMainWindowInterface->SetRunState(2);
    TcRunProgram();
    return 0;
}

int startStep(int mode, int over)
{
    gMainWindowInterface->SetRunState(2);
    hideExecutionPoint();
    TcSingleStep(mode, over);
    return 0;
}

int stopProgram()
{
    TcStopProgram();
    if (tracing_enabled()) {
        TQBTraceBuf &trace = trace_buf();
        trace.TraceStopNotify();
        trace.ClearStateBits();
        trace.RequestStop();
    }
    return 0;
}

bool toggleBreakpoint(TEditorInterface *editor)
{
    return toggleBreakpointAtCaret(kSoftBreakpoint, editor);
}

bool toggleHardBreakpoint(TEditorInterface *editor)
{
    return toggleBreakpointAtCaret(kHardBreakpoint, editor);
}

bool toggleBreakpointAtCaret(int kind, TEditorInterface *editor)
{
    if (!editor)
        return false;
    const uint32_t caret = editor->GetCaretPosition();
    std::string file = editor->GetFileName();
    uint16_t line = uint16_t(position_line(caret) + 1);
    uint16_t column = uint16_t(position_column(caret) + 1);
    const uint32_t address = lookupAddressBySource(file, line, column);
    if (addr_offset(address) == 0)
        return true;
    return toggleBreakpointAt(address, kind, line, column, file);
}

int disassembleAtCursor(TEditorInterface *editor)
{
    if (!editor)
        return 1;
    const uint32_t caret = editor->GetCaretPosition();
    const uint32_t address =
        lookupAddressBySource(editor->GetFileName(), uint16_t(position_line(caret) + 1),
                              uint16_t(position_column(caret) + 1));
    if (addr_offset(address) == 0)
        return 1;
    if (TAssemblyInterface *view = gMainWindowInterface->GetAssemblyInterface(true))
        fillDisassemblyView(address, 3, *view, gTargetRegisters.PC);
    return 1;
}

int disassembleAtAddress(uint32_t address)
{
    if (TAssemblyInterface *view = gMainWindowInterface->GetAssemblyInterface(true))
        fillDisassemblyView(address, 3, *view, gTargetRegisters.PC);
    return 1;
}

int fillMemoryDump(uint32_t address, int block_count, std::ostream *file, bool change_marking)
{
    if (file) {
        const uint32_t start = address & ~uint32_t(0xF);
        fillMemoryDumpView(start, nullptr, block_count, file, false);
        return 1;
    }
    if (TDumpInterface *view = gMainWindowInterface->GetDumpInterface())
        fillMemoryDumpView(address, view, block_count, nullptr, change_marking);
    return 1;
}

int toggleInterruptPriority(uint8_t value)
{
    const uint8_t shown = (value & 0x03) ? uint8_t(value & ~0x03) : uint8_t(value | 0x03);
    gMainWindowInterface->ShowIP(shown);
    return 0;
}

// ---- enabled options -----------------------------------------------------------------------------

void readEnabledOptions()
{
    EnabledOptions o;
    TcGetEnabledOptions(o.options, o.max_watches, o.max_breakpoints);
    g_options = o;
}

bool areBreakpointsEnabled() { return (g_options.options & 0x01) != 0; }
bool canStepInstructions() { return (g_options.options & 0x02) != 0; }
bool areWatchesEnabled() { return (g_options.options & 0x04) != 0; }
uint8_t getMaxWatches() { return g_options.max_watches; }
uint8_t getMaxBreakpoints() { return g_options.max_breakpoints; }

void clearTargetBreakpoints()
{
    if (!areBreakpointsEnabled())
        return;
    resetBreakpointCount();
    TcRemoveAllBreakpoints();
}

void refreshWatchWindow()
{
    if (gMainWindowInterface->GetWatchInterface(false) && areWatchesEnabled())
        gMainWindowInterface->RefreshWatches(int(gTargetRegisters.PC));
}

// ---- stops -----------------------------------------------------------------------------------------

void onTargetStopped(uint16_t stop_reason)
{
    TQBTraceBuf &trace = trace_buf();
    if (tracing_enabled() && !trace.StateBit1()) {
        trace.TraceStopNotify();
        trace.ClearStateBits();
    }
    refreshAfterStop(false);
    gMainWindowInterface->ShowIP(uint8_t(stop_reason));
    if (TAssemblyInterface *view = gMainWindowInterface->GetAssemblyInterface(false))
        fillDisassemblyView(gTargetRegisters.PC, 0, *view, gTargetRegisters.PC);
    gMainWindowInterface->SetRunState(1);
    refreshWatchWindow();
    gMainWindowInterface->RefreshDumpWindows();
    if (tracing_enabled() && gMainWindowInterface->GetWatchInterface(false) && gStepPending) {
        TcClearTraceFlags();
        TcSetTraceFlag(2, true);
    }
    gStepPending = false;
}

void refreshAfterStop(bool skip_register_check)
{
    if (!skip_register_check) {
        // While a start is in progress the start itself checks for the end, once.
        if (!programStarting())
            checkProgramExit(gTargetRegisters);
        if (TRegisterInterface *view = gMainWindowInterface->GetRegisterInterface(false))
            formatRegisterLines(*view, gTargetRegisters);
    }
    if (!tracing_enabled()) {
        showExecutionPoint();
        return;
    }
    TQBTraceBuf &trace = trace_buf();
    if (!gMainWindowInterface->IsStopped() && trace.StateBit0())
        return;
    showExecutionPoint();
    trace.RefreshRegisterView();
    std::vector<uint8_t> &saved = trace.SavedStackData();
    if (!saved.empty()) {
        const std::vector<uint8_t> copy = saved;
        onStackData(copy.data(), uint16_t(copy.size()));
    }
}

void showExecutionPoint()
{
    uint16_t line = 0, column = 0;
    std::string file;
    if (!lookupBreakpointByAddress(gTargetRegisters.PC, line, column, file, gLineTable) ||
        line == 0 || column == 0)
        return;
    if (is_protected_source(file)) {
        ShowAppMessageBox(GetResString(kMsgFileEncrypted), file, kMbOk | kMbIconWarning);
        return;
    }
    if (!gMainWindowInterface->GetEditorInterface(file, gStartAfterLoad ? 0 : 1))
        return;
    const uint32_t position = pack_position(line - 1u, column - 1u);

    if (g_execution_point)
        remove_execution_mark(GetEditorInterfaceForFile(current_source_file()));
    g_execution_point = true;
    saved_position() = position;
    gMainWindowInterface->SetCurrentSourceFile(QBString(file));

    TEditorInterface *frame = GetEditorInterfaceForFile(file);
    TEditorInterface *editor = frame ? frame->GetWindowInterface() : nullptr;
    if (!editor)
        return;
    editor->UpdateMarkers(position);
    editor->SetLineMark(position, kExecutionPointMark);
}

void hideExecutionPoint()
{
    TEditorInterface *editor = GetEditorInterfaceForFile(current_source_file());
    if (!editor || !g_execution_point)
        return;
    remove_execution_mark(editor);
}

void showBreakpointMark(int line, int column, bool on, const std::string &file)
{
    if (g_execution_point && saved_position() == pack_position(uint32_t(line), uint32_t(column)) &&
        gMainWindowInterface->GetCurrentSourceFile() == QBString(file))
        return;
    TEditorInterface *editor = gMainWindowInterface->GetEditorInterface(file, 1);
    if (!editor)
        return;
    const uint32_t position = pack_position(uint32_t(line), uint32_t(column));
    if (on)
        editor->SetLineMark(position, kBreakpointMark);
    else
        editor->UpdateMarkers(position);
}

bool executionPointShown() { return g_execution_point; }

void onStackData(const uint8_t *data, uint16_t length)
{
    if (tracing_enabled()) {
        std::vector<uint8_t> &saved = trace_buf().SavedStackData();
        if (length != 0 && length != saved.size())
            saved.assign(length, 0);
        if (data && length != 0)
            std::memcpy(saved.data(), data, length);
    }
    TStackInterface *view = gMainWindowInterface->GetStackInterface(false);
    if (view && data && (!tracing_enabled() || !trace_buf().StateBit0()))
        fillStackFromData(*view, gTargetRegisters, data, int16_t(length));
}

// ---- the other messages ------------------------------------------------------------------------

void onAsmData(const uint8_t *data, uint16_t length)
{
    g_asm_length = uint16_t(std::min<std::size_t>(length, kAsmDataLimit));
    if (data)
        std::memcpy(g_asm_data, data, g_asm_length);
}

uint16_t asmDataLength() { return g_asm_length; }

void onStatusByte(uint8_t status) { IdePreferences().tracing = (status & 0x80) != 0; }

void onSendChar()
{
    struct Waiting {
        Waiting() { g_waiting_for_stdio = true; }
        ~Waiting() { g_waiting_for_stdio = false; }
    } waiting;
    char c = 0;
    if (StdioReadChar(c) != 0)
        TcSendStdioChar(c);
}

bool isWaitingForStdioChar() { return g_waiting_for_stdio; }

void install_debugger_core() { TcSetDebuggerEvents(&g_events); }

void reset_run_control()
{
    g_options = {};
    gStepPending = false;
    gStartAfterLoad = false;
    g_waiting_for_stdio = false;
    g_execution_point = false;
    g_asm_length = 0;
}
