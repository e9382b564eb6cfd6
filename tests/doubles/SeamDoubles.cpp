// Recording doubles of the code-generator and target seams, and the global test environment
// that installs them before the first test of every program that links this file.
#include "SeamDoubles.h"

#include "core/CC_ADDR.h"
#include "input/CC_GLINE.h"
#include "core/CC_MISC.h"
#include "core/guiInterface.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>

namespace {

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

class SeamDoublesEnvironment : public ::testing::Environment {
public:
    void SetUp() override { install_seam_doubles(); }
};

const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new SeamDoublesEnvironment);

}  // namespace

HeadlessCodegen &headless_codegen()
{
    static HeadlessCodegen codegen;
    return codegen;
}

HeadlessTargetOperations &headless_target_operations()
{
    static HeadlessTargetOperations ops;
    return ops;
}

HeadlessBreakpointTables &headless_breakpoint_tables()
{
    static HeadlessBreakpointTables tables;
    return tables;
}

void install_seam_doubles()
{
    set_codegen_seam(&headless_codegen());
    set_target_operations(&headless_target_operations());
    set_breakpoint_tables(&headless_breakpoint_tables());
}

// ---- code generator -----------------------------------------------------------------------------

uint16_t HeadlessCodegen::select_target_cpu(uint16_t word, uint8_t cpu_id)
{
    calls.push_back("select_target_cpu " + std::to_string(cpu_id));
    // The Vireon family has the "ipset"/"ipres" instructions; the Z180 does not.
    if (cpu_id == 0)
        cpu = 1;
    else if (cpu_id == 1)
        cpu = 0;
    return word;
}

void HeadlessCodegen::set_bios_compile(uint8_t *bios_marker)
{
    calls.push_back("set_bios_compile");
    if (bios_marker)
        *bios_marker = 1;
}

void HeadlessCodegen::set_program_compile(uint8_t *program_flag)
{
    calls.push_back("set_program_compile");
    if (program_flag)
        *program_flag = 0;
}

void HeadlessCodegen::select_cache_set(int program_flag)
{
    calls.push_back("select_cache_set " + std::to_string(program_flag));
}

void HeadlessCodegen::set_code_address(uint32_t address_word)
{
    calls.push_back("set_code_address " + std::to_string(address_word));
    code_address = address_word;
}

bool HeadlessCodegen::link_required_symbols(int mode)
{
    calls.push_back("link_required_symbols " + std::to_string(mode));
    return link_ok;
}

uint16_t HeadlessCodegen::measure_start_up_block(uint16_t *second_size)
{
    calls.push_back("measure_start_up_block");
    if (second_size)
        *second_size = 0;
    return start_up_size;
}

void HeadlessCodegen::note_required_symbols() { calls.push_back("note_required_symbols"); }

void HeadlessCodegen::output_pending_stubs(int flag)
{
    calls.push_back("output_pending_stubs " + std::to_string(flag));
}

void HeadlessCodegen::delete_pending_asm_object() { calls.push_back("delete_pending_asm_object"); }
void HeadlessCodegen::reset_compile_state() { calls.push_back("reset_compile_state"); }

// ---- target operations --------------------------------------------------------------------------

HeadlessTargetOperations::HeadlessTargetOperations() : memory(0x100000, 0) {}

TCOptionsType HeadlessTargetOperations::GetCommSettings()
{
    return noted_read(calls, "GetCommSettings", settings);
}

void HeadlessTargetOperations::SetCommSettings(TCOptionsType record)
{
    calls.push_back("SetCommSettings");
    settings = record;
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

void HeadlessTargetOperations::TcGetUsbSerialDelay(uint8_t &use_converter, uint32_t &delay_ms)
{
    calls.push_back("TcGetUsbSerialDelay");
    use_converter = usb_serial;
    delay_ms = usb_serial_delay;
}

void HeadlessTargetOperations::TcSetUsbSerialDelay(uint8_t use_converter, uint32_t delay_ms)
{
    calls.push_back("TcSetUsbSerialDelay " + std::to_string(use_converter) + " " +
                    std::to_string(delay_ms));
    usb_serial = use_converter;
    usb_serial_delay = delay_ms;
}

void HeadlessTargetOperations::SetTraceOptions() { calls.push_back("SetTraceOptions"); }

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

bool HeadlessTargetOperations::TcValidateIdBlock(const std::array<uint8_t, 132> &id_block)
{
    return noted_read(calls, "TcValidateIdBlock", id_block_is_valid(id_block));
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
                                              const std::string &extension,
                                              uint32_t address_offset, uint32_t length,
                                              uint32_t image_start, uint32_t block_size)
{
    calls.push_back("TcDownloadFile " + path + " " + extension + " " + hex(address_offset) + " " +
                    hex(length) + " " + hex(image_start) + " " + std::to_string(block_size));
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
    Note("TcReadMemory " + hex(address_word) + " " + std::to_string(count));
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
void HeadlessTargetOperations::TraceStartCapture() { calls.push_back("TraceStartCapture"); }
void HeadlessTargetOperations::TraceStopCapture() { calls.push_back("TraceStopCapture"); }

bool HeadlessTargetOperations::areBreakpointsEnabled()
{
    return noted_read(calls, "areBreakpointsEnabled", breakpoints_enabled);
}
uint8_t HeadlessTargetOperations::getMaxWatches()
{
    return noted_read(calls, "getMaxWatches", max_watches);
}
bool HeadlessTargetOperations::toggleBreakpoint(TEditorInterface &editor)
{
    return Toggle("toggleBreakpoint", editor);
}
bool HeadlessTargetOperations::toggleHardBreakpoint(TEditorInterface &editor)
{
    return Toggle("toggleHardBreakpoint", editor);
}
void HeadlessTargetOperations::forgetBreakpoints()
{
    Note("forgetBreakpoints");
    breakpoints.clear();
}

bool HeadlessTargetOperations::Toggle(const char *name, TEditorInterface &editor)
{
    const uint32_t caret = editor.GetCaretPosition();
    const std::string file = editor.GetFileName();
    calls.push_back(std::string(name) + " " + hex(caret) + " " + file);
    const std::pair<std::string, uint32_t> at{file, caret};
    for (auto it = breakpoints.begin(); it != breakpoints.end(); ++it) {
        if (*it == at) {
            breakpoints.erase(it);
            editor.UpdateMarkers(caret);
            return true;
        }
    }
    if (!toggle_result)
        return false;
    breakpoints.push_back(at);
    editor.SetLineMark(caret, kBreakpointMark);
    return true;
}

void HeadlessTargetOperations::Note(const std::string &call)
{
    calls.push_back(call);
    if (fail)
        fail(call);
}

TcLinkError HeadlessTargetOperations::TcGetLinkError()
{
    Note("TcGetLinkError");
    const TcLinkError taken = link_error;
    link_error = TcLinkError{};
    return taken;
}

void HeadlessTargetOperations::TcShowLinkError(uint8_t kind, uint8_t type, uint8_t subtype)
{
    Note("TcShowLinkError " + std::to_string(kind) + " " + std::to_string(type) + " " +
         std::to_string(subtype));
}

void HeadlessTargetOperations::TcSendSysPoll() { Note("TcSendSysPoll"); }
void HeadlessTargetOperations::TcSendDbgPoll() { Note("TcSendDbgPoll"); }
void HeadlessTargetOperations::TcCheckPendingError() { Note("TcCheckPendingError"); }
void HeadlessTargetOperations::TcCloseConnection() { Note("TcCloseConnection"); }
void HeadlessTargetOperations::TcResetTarget() { Note("TcResetTarget"); }
void HeadlessTargetOperations::TcClearTraceFlags() { Note("TcClearTraceFlags"); }

void HeadlessTargetOperations::TcSetTraceFlag(uint8_t bit, bool on)
{
    Note("TcSetTraceFlag " + std::to_string(bit) + (on ? " on" : " off"));
}

// ---- breakpoint tables --------------------------------------------------------------------------

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
    entries.push_back({table, file, line, column, address, source_line_offset()});
}

void HeadlessBreakpointTables::markStatementPosition(SourceTable table, const std::string &file,
                                                     int line, int column, uint32_t address)
{
    entries.push_back({table, file, line, column, address, source_line_offset()});
}

bool HeadlessBreakpointTables::getSourceItemsAtAddress(uint32_t address, SourceTable table,
                                                       std::vector<source_item> &items)
{
    const std::size_t before = items.size();
    for (const SourceEntry &e : entries)
        if (e.table == table && addr_to_physical(e.address) == addr_to_physical(address))
            items.push_back({e.file, static_cast<uint16_t>(e.line),
                             static_cast<uint16_t>(e.column), e.line_offset});
    return items.size() > before;
}

uint32_t HeadlessBreakpointTables::lookupAddressBySource(const std::string &file, uint16_t line,
                                                        uint16_t column)
{
    const SourceEntry *best = nullptr;
    for (const SourceEntry &e : entries)
        if (e.table == SourceTable::Line && equal_ignoring_case(e.file, file) && e.line == line &&
            e.column <= column && (!best || e.column >= best->column))
            best = &e;
    return best ? best->address : 0;
}

bool HeadlessBreakpointTables::lookupBreakpointByAddress(uint32_t address, SourceTable table,
                                                         source_item &found)
{
    std::vector<source_item> items;
    if (!getSourceItemsAtAddress(address, table, items))
        return false;
    found = items.front();
    return true;
}
