// SEAM_TARGET: shared flags of the compile-and-load sequence, the millisecond clock, and the
// headless doubles of the target operations and the breakpoint tables.
#include "SEAM_TARGET.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ostream>

uint8_t gTCState = 0;
uint8_t gDebugRstState = 0;
uint8_t gTargetlessCompile = 0;
uint8_t gBiosLoadFlag = 0;

namespace {
uint8_t g_compiling_bios = 0;
MillisecondClockFn g_clock = nullptr;

uint32_t steady_milliseconds()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

// The double's settings: every read is noted by name, every write by name and value.
template <typename T>
const T &noted_read(std::vector<std::string> &calls, const char *name, const T &setting)
{
    calls.push_back(name);
    return setting;
}

void noted_write(std::vector<std::string> &calls, const char *name, uint32_t value,
                 uint32_t &setting)
{
    calls.push_back(std::string(name) + " " + std::to_string(value));
    setting = value;
}

TargetOperations *g_ops = nullptr;
BreakpointTables *g_tables = nullptr;
} // namespace

bool IsCompilingBios() { return g_compiling_bios != 0; }
void SetCompilingBios(uint8_t flag) { g_compiling_bios = flag; }

uint32_t GetMillisecondClock() { return g_clock ? g_clock() : steady_milliseconds(); }
void SetMillisecondClock(MillisecondClockFn clock) { g_clock = clock; }

// --- Target operations ------------------------------------------------------------------------

HeadlessTargetOperations &headless_target_operations()
{
    static HeadlessTargetOperations ops;
    return ops;
}

TargetOperations &target_operations()
{
    return g_ops ? *g_ops : headless_target_operations();
}

void set_target_operations(TargetOperations *ops) { g_ops = ops; }

HeadlessTargetOperations::HeadlessTargetOperations() : memory(0x100000, 0) {}

TCOptionsType HeadlessTargetOperations::GetCommSettings()
{
    return noted_read(calls, "GetCommSettings", settings);
}

std::array<uint32_t, 3> HeadlessTargetOperations::GetLoaderBaudRates()
{
    return noted_read(calls, "GetLoaderBaudRates", loader_rates);
}

void HeadlessTargetOperations::SetLoaderBaudRates(const std::array<uint32_t, 3> &rates)
{
    calls.push_back("SetLoaderBaudRates " + std::to_string(rates[0]) + " " +
                    std::to_string(rates[1]) + " " + std::to_string(rates[2]));
    loader_rates = rates;
}

uint32_t HeadlessTargetOperations::TcGetRetryCount()
{
    return noted_read(calls, "TcGetRetryCount", retry_count);
}

void HeadlessTargetOperations::TcSetRetryCount(uint32_t count)
{
    noted_write(calls, "TcSetRetryCount", count, retry_count);
}

uint32_t HeadlessTargetOperations::TcGetResponseTimeout()
{
    return noted_read(calls, "TcGetResponseTimeout", response_timeout);
}

void HeadlessTargetOperations::TcSetResponseTimeout(uint32_t ms)
{
    noted_write(calls, "TcSetResponseTimeout", ms, response_timeout);
}

TcBoardInfo HeadlessTargetOperations::TcReadBoardInfo()
{
    return noted_read(calls, "TcReadBoardInfo", board);
}

bool HeadlessTargetOperations::TcValidateIdBlock(const std::array<uint8_t, 132> &)
{
    return noted_read(calls, "TcValidateIdBlock", id_block_valid);
}

void HeadlessTargetOperations::TcSendFlashParameters(uint32_t flash_size, uint32_t sector_size,
                                                     uint32_t sector_count, uint32_t write_mode)
{
    calls.push_back("TcSendFlashParameters " + hex(flash_size) + " " + hex(sector_size) + " " +
                    std::to_string(sector_count) + " " + std::to_string(write_mode));
}

bool HeadlessTargetOperations::TcEraseFlash(uint32_t physical_end)
{
    calls.push_back("TcEraseFlash " + hex(physical_end));
    return erase_fails;
}

void HeadlessTargetOperations::TcDownloadFile(const std::string &path,
                                              const std::string &extension, uint32_t base,
                                              uint32_t start_offset, uint32_t sector_filter,
                                              uint32_t block_size)
{
    calls.push_back("TcDownloadFile " + path + " " + extension + " " + hex(base) + " " +
                    hex(start_offset) + " " + hex(sector_filter) + " " +
                    std::to_string(block_size));
}

void HeadlessTargetOperations::TcWritePhysicalMemory(uint32_t physical, const uint8_t *bytes,
                                                     uint32_t count)
{
    calls.push_back("TcWritePhysicalMemory " + hex(physical) + " " + std::to_string(count));
    for (uint32_t i = 0; i < count && bytes; ++i)
        memory[(physical + i) & 0xFFFFFu] = bytes[i];
}

void HeadlessTargetOperations::TcReadMemory(uint32_t address_word, uint8_t *buffer,
                                            uint32_t count)
{
    calls.push_back("TcReadMemory " + hex(address_word) + " " + std::to_string(count));
    // XPC:offset word to a physical address: offsets from 0xE000 are paged by the XPC value.
    uint32_t offset = address_word & 0xFFFFu;
    uint32_t xpc = (address_word >> 16) & 0xFFu;
    uint32_t physical = offset >= 0xE000 ? ((xpc << 12) + offset) & 0xFFFFFu : offset;
    for (uint32_t i = 0; i < count && buffer; ++i)
        buffer[i] = memory[(physical + i) & 0xFFFFFu];
}

void HeadlessTargetOperations::ShowCompileStatusCaption()
{
    calls.push_back("ShowCompileStatusCaption");
}
void HeadlessTargetOperations::ReconnectAtDebugBaud() { calls.push_back("ReconnectAtDebugBaud"); }
void HeadlessTargetOperations::selectDisasmTables() { calls.push_back("selectDisasmTables"); }
void HeadlessTargetOperations::TraceStartCapture() { calls.push_back("TraceStartCapture"); }
void HeadlessTargetOperations::TraceStopCapture() { calls.push_back("TraceStopCapture"); }

// --- Breakpoint tables ------------------------------------------------------------------------

HeadlessBreakpointTables &headless_breakpoint_tables()
{
    static HeadlessBreakpointTables tables;
    return tables;
}

BreakpointTables &breakpoint_tables()
{
    return g_tables ? *g_tables : headless_breakpoint_tables();
}

void set_breakpoint_tables(BreakpointTables *tables) { g_tables = tables; }

void HeadlessBreakpointTables::clearBreakpoints()
{
    entries.clear();
    ranges.clear();
    range_open = false;
}

void HeadlessBreakpointTables::dumpBreakpoints(std::ostream &out)
{
    for (const SourceEntry &e : entries)
        out << static_cast<int>(e.table) << ' ' << e.file << ' ' << e.line << ' ' << e.column
            << ' ' << hex(e.address) << '\n';
}

void HeadlessBreakpointTables::beginSourceRange(const std::string &file, int line, int column,
                                                uint32_t address)
{
    pending = Range{file, line, column, address, 0, 0, 0};
    range_open = true;
}

void HeadlessBreakpointTables::endSourceRange(int line, int column, uint32_t address)
{
    if (!range_open)
        return;
    pending.end_line = line;
    pending.end_column = column;
    pending.end = address;
    ranges.push_back(pending);
    range_open = false;
}

void HeadlessBreakpointTables::addSourceEntry(SourceTable table, const std::string &file,
                                              int line, int column, uint32_t address)
{
    entries.push_back({table, file, line, column, address});
}

void HeadlessBreakpointTables::markStatementPosition(SourceTable table, const std::string &file,
                                                     int line, int column, uint32_t address)
{
    entries.push_back({table, file, line, column, address});
}
