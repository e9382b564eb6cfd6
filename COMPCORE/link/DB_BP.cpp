// DB_BP: breakpoints, program start and the run-time error report (see DB_BP.h).
//
// "Toggling breakpoint" address argument: XPC << 16 | (offset - 1), the offset of the hook in
// front of the statement. A root breakpoint is added through the xmem form of the hook's physical
// address and removed through its root offset with XPC 0.
#include "DB_BP.h"

#include "core/CC_ADDR.h"
#include "core/CC_MOD.h"
#include "DB_GO.h"
#include "debugger/DB_SRC.h"
#include "TC.h"
#include "TConnection.h"
#include "guiCompilerInterface.h"
#include "core/guiInterface.h"
#include "settings/guiKXPreferences.h"
#include "guiTrace.h"
#include "linker/list_files.h"

#include <QTimer>

#include <algorithm>
#include <filesystem>

namespace {

constexpr uint32_t kMsgProductName = 16;
constexpr uint32_t kMsgFirstRuntimeError = 7860; // texts of codes 224..253 in order
constexpr uint32_t kMsgRuntimeErrorAt = 7890;     // "Run Time Error : %s.\nfile: %s\nline: %d"
constexpr uint32_t kMsgRuntimeErrorAddress = 7891; // "Run Time Error : %s.\nAddress %02x:%04x"
constexpr uint32_t kMsgProgramTerminated = 7892;  // "Program Terminated. Exit Code %d."

constexpr uint8_t kFirstRuntimeError = 224;
constexpr uint8_t kLastRuntimeError = 253;
// A faulting address at or above this is XPC-qualified.
constexpr uint16_t kFaultXmemStart = 0xE000;

std::list<BreakpointRecord> g_breakpoints;
int g_count = 0;
bool g_starting = false;

uint32_t toggle_argument(uint32_t address)
{
    return uint32_t(addr_xpc(address)) << 16 | uint16_t(addr_offset(address) - 1);
}

// Root code is added through the xmem form of the hook's physical address. The hook is the byte
// before the statement; converting the statement's address and then stepping back one byte
// would leave the window at a 4 KB boundary and name the stack segment instead.
uint32_t add_argument(uint32_t address)
{
    if (!addr_is_root(address))
        return toggle_argument(address);
    const uint32_t hook = physical_to_addr((addr_to_physical(address) - 1) & kPhysicalMask);
    return uint32_t(addr_xpc(hook)) << 16 | addr_offset(hook);
}

// The first record at `address`, searching in address order and stopping past it.
std::list<BreakpointRecord>::iterator find_at(uint32_t address)
{
    const uint32_t physical = addr_to_physical(address);
    for (auto it = g_breakpoints.begin(); it != g_breakpoints.end(); ++it) {
        if (addr_to_physical(it->address) > physical)
            break;
        if (addr_equal(it->address, address))
            return it;
    }
    return g_breakpoints.end();
}

void unmark(const BreakpointRecord &record)
{
    showBreakpointMark(record.line - 1, record.column - 1, false, record.file.c_str());
}

std::string file_name_only(const std::string &path)
{
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    return std::filesystem::path(p).filename().string();
}

void show_report(const std::string &text)
{
    ShowAppMessageBox(text, GetResString(kMsgProductName), kMbOk);
}

// Starts the ended program again and resumes polling when it ran. The start's own report is a
// message of the target, which cannot be taken while the message that told of the end is still
// being handled: inside a handler the start waits until that has returned.
void restart_program(bool resume_polling)
{
    if (TConnection::InCallback()) {
        QTimer::singleShot(0, [resume_polling] { restart_program(resume_polling); });
        return;
    }
    try {
        startLoadedProgram();
    } catch (xErr &e) {
        e.ShowError();
    }
    if (resume_polling)
        gMainWindowInterface->ResumePolling();
}

} // namespace

const std::list<BreakpointRecord> &breakpointList() { return g_breakpoints; }
bool programStarting() { return g_starting; }
int breakpointCount() { return g_count; }

bool toggleBreakpointAt(uint32_t address, int kind, uint16_t &line, uint16_t &column,
                        std::string &file)
{
    if (!lookupBreakpointByAddress(address, line, column, file, gLineTable))
        return true;
    if (findBreakpointAtPosition(line, column, file)) {
        removeBreakpointAt(address);
        return true;
    }
    if (g_count >= int(getMaxBreakpoints()))
        return false;

    const uint32_t physical = addr_to_physical(address);
    auto at = std::find_if(g_breakpoints.begin(), g_breakpoints.end(), [&](const auto &r) {
        return addr_to_physical(r.address) >= physical;
    });
    auto record = g_breakpoints.insert(at, BreakpointRecord{address, line, column, QBString(file)});
    ++g_count;

    const uint8_t flags = kind == kHardBreakpoint ? kBreakpointAddHard : kBreakpointAddSoft;
    try {
        TcToggleBreakpoint(add_argument(address), flags, 0);
    } catch (...) {
        // The target holds no such breakpoint: neither may the list nor the count.
        g_breakpoints.erase(record);
        --g_count;
        throw;
    }
    showBreakpointMark(line - 1, column - 1, true, file);
    return true;
}

void removeBreakpointAt(uint32_t address)
{
    auto it = find_at(address);
    if (it == g_breakpoints.end())
        return;
    TcToggleBreakpoint(toggle_argument(address), kBreakpointRemove, 0);
    --g_count;
    const BreakpointRecord record = *it;
    g_breakpoints.erase(it);
    unmark(record);
}

void removeAllBreakpoints()
{
    for (const BreakpointRecord &record : g_breakpoints) {
        unmark(record);
        TcRemoveAllBreakpoints();
    }
    g_breakpoints.clear();
    g_count = 0;
}

void forgetBreakpoints()
{
    std::list<BreakpointRecord> records;
    records.swap(g_breakpoints);
    for (const BreakpointRecord &record : records)
        unmark(record);
}

void resetBreakpointCount() { g_count = 0; }

bool findBreakpointAtPosition(uint16_t line, uint16_t column, const std::string &file)
{
    const QBString name(file);
    return std::any_of(g_breakpoints.begin(), g_breakpoints.end(), [&](const auto &r) {
        return r.line == line && r.column == column && r.file == name;
    });
}

uint16_t startLoadedProgram()
{
    struct Starting {
        Starting() { g_starting = true; }
        ~Starting() { g_starting = false; }
    } starting;

    StdioReset();
    if (TEditorInterface *editor =
            gMainWindowInterface->GetEditorInterface(gMainWindowInterface->GetCurrentSourceFile().c_str(), 0))
        editor->ClearExecutionPoint();
    TcSetSendFlag(3, true);

    // On a serial line the start waits once for the whole span instead of retrying: the
    // program may run a while before its first statement.
    const uint32_t retries = TcGetRetryCount();
    const uint32_t timeout = TcGetResponseTimeout();
    TCOptionsType settings;
    GetCommSettings(settings);
    if (settings.link_kind == 0) {
        TcSetRetryCount(0);
        TcSetResponseTimeout(retries ? retries * timeout : timeout);
    }
    struct Restore {
        uint32_t retries, timeout;
        ~Restore()
        {
            TcSetRetryCount(retries);
            TcSetResponseTimeout(timeout);
        }
    } restore{retries, timeout};

    if (IdePreferences().enable_tracing)
        trace_buf().StartTraceClock();
    TcStartProgram();
    return checkProgramExit(gTargetRegisters);
}

uint16_t checkProgramExit(const TargetRegisterSet &registers)
{
    if (!exit_hook_initialised() || addr_offset(registers.PC) != exit_hook_address())
        return 1;
    const bool polling = gMainWindowInterface->IsPollingEnabled();
    if (polling)
        gMainWindowInterface->PausePolling();
    reportTargetRuntimeError(registers.HL, registers.HL2);
    if (!g_starting) {
        restart_program(polling);
        return 1;
    }
    if (polling)
        gMainWindowInterface->ResumePolling();
    return 0;
}

std::string runtimeErrorText(uint8_t code)
{
    if (code < kFirstRuntimeError || code > kLastRuntimeError)
        return {};
    return GetResString(kMsgFirstRuntimeError + (code - kFirstRuntimeError));
}

void reportTargetRuntimeError(uint16_t code_word, uint16_t address)
{
    const uint8_t code = uint8_t(code_word);
    const uint8_t xpc = uint8_t(code_word >> 8);
    const uint32_t fault = address >= kFaultXmemStart ? make_addr(xpc, address) : address;

    if (code >= kFirstRuntimeError && code <= kLastRuntimeError) {
        const std::string text = runtimeErrorText(code);
        const int function = function_start_index(fault);

        // The nearest statement before the fault, by walking back a byte at a time.
        uint32_t at = fault;
        bool found = false;
        uint16_t line = 0, column = 0;
        std::string file;
        while (addr_to_physical(at) != 0) {
            found = lookupBreakpointByAddress(at, line, column, file, gLineTable);
            at = addr_add(at, -1);
            if (found)
                break;
        }
        if (found && function >= 0 && function_start_index(at) == function)
            show_report(GetResString(kMsgRuntimeErrorAt, text.c_str(),
                                     file_name_only(file).c_str(), int(line)));
        else
            show_report(GetResString(kMsgRuntimeErrorAddress, text.c_str(), unsigned(xpc),
                                     unsigned(address)));
    } else {
        show_report(GetResString(kMsgProgramTerminated, int(code)));
    }
    if (IdePreferences().enable_tracing)
        trace_buf().ResetTrace(true);
}
