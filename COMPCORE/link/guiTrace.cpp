// guiTrace: the execution-trace store and its text (see guiTrace.h).
#include "guiTrace.h"

#include "BoundedFormat.h"
#include "core/CC_ADDR.h"
#include "DB_GO.h"
#include "debugger/DB_ML.h"
#include "debugger/DB_SRC.h"
#include "linker/MAPFILE.h"
#include "core/SEAM_TARGET.h"
#include "TC.h"
#include "core/guiInterface.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

namespace {

constexpr uint32_t kMsgTraceSizeRefused = 7894; // "Trace Buf Size" of %d MB cannot be used ...
constexpr uint32_t kMsgTraceNoMemory = 7895;    // no memory for %d MB
constexpr uint32_t kMsgTraceFolder = 7896;      // the folder of '%s' cannot be made
constexpr uint32_t kMsgTraceWrite = 7897;       // '%s' cannot be written
constexpr uint32_t kMsgTraceErrorCaption = 7898;     // "Error"

constexpr uint32_t kMegabyte = 1048576;
// How far back from a record's address its source position is looked for.
constexpr int32_t kSourceSearchSpan = 0x800;

constexpr const char *kRegisterHeader =
    "  A    BC     DE     HL     AF'    BC'    DE'    HL'    IX     IY     SP     PC     XPC  Flags";

// Register block offsets.
constexpr int kBlockSP = 0, kBlockXpc = 2, kBlockAF2 = 4, kBlockBC2 = 6, kBlockDE2 = 8,
              kBlockHL2 = 10, kBlockAF = 12, kBlockBC = 14, kBlockDE = 16, kBlockHL = 18,
              kBlockIX = 20, kBlockIY = 22, kBlockPC = 25;

uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t *p) { return uint32_t(le16(p) | uint32_t(le16(p + 2)) << 16); }
void put16(std::vector<uint8_t> &out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t> &out, uint32_t v)
{
    put16(out, uint16_t(v));
    put16(out, uint16_t(v >> 16));
}

bool has_registers(int kind) { return kind >= 0 && kind <= 3; }
bool has_address(int kind) { return kind >= 0 && kind <= 7; }
bool has_time(int kind) { return kind == 1 || kind == 3 || kind == 5 || kind == 7 || kind == 8 || kind == 10; }
bool has_action(int kind) { return kind == 2 || kind == 3 || kind == 6 || kind == 7 || kind == 9 || kind == 10; }

// "%-*s" without a length limit: a full path or a long name keeps every character.
std::string left(const std::string &text, int width)
{
    std::string out = text;
    if (width > 0 && out.size() < std::size_t(width))
        out.append(std::size_t(width) - out.size(), ' ');
    return out;
}

std::string short_name(const std::string &path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Without the IDE the trace actions send the trace flags as the main window's do.
class WindowlessTraceShell : public TTraceShell {
public:
    void TraceOn() override
    {
        trace_buf().EnableTrace(false);
        target_operations().TcClearTraceFlags();
        target_operations().TcSetTraceFlag(7, true);
    }
    void TraceOff() override
    {
        target_operations().TcClearTraceFlags();
        target_operations().TcSetTraceFlag(6, true);
    }
    void ToggleTraceWindow() override {}
    bool TraceWindowShown() override { return false; }
};
WindowlessTraceShell g_windowless_shell;
TTraceShell *g_shell = &g_windowless_shell;

// The show-repeats state while no trace window holds it.
bool g_show_repeats = true;

} // namespace

TQBTraceBuf &trace_buf()
{
    static TQBTraceBuf store;
    return store;
}

// Made with the program, so that whoever reads the pointer finds the store.
TQBTraceBuf *gTraceBuf = &trace_buf();

void set_trace_shell(TTraceShell *shell) { g_shell = shell ? shell : &g_windowless_shell; }
TTraceShell &trace_shell() { return *g_shell; }

TQBTraceBuf::TQBTraceBuf()
    : m_action_names{{kTraceMacro, "MACRO"}, {kTraceExecute, "Execute"}, {kTraceEnter, "Enter"},
                     {kTraceExit, "Exit"}}
{
}

TQBTraceBuf::~TQBTraceBuf() = default;

// ---- options -------------------------------------------------------------------------------------

void TQBTraceBuf::ShowTraceWindow()
{
    if (m_count != 0 && !m_interface.window)
        trace_shell().ToggleTraceWindow();
    if (m_interface.window)
        m_interface.window->BringToFront();
}

bool TQBTraceBuf::BufWrapEnabled() { return IdePreferences().enable_trace_buf_wrap; }
bool TQBTraceBuf::TracingEnabled() { return IdePreferences().enable_tracing; }
bool TQBTraceBuf::TraceRstEnabled() { return IdePreferences().enable_trace_rst; }
bool TQBTraceBuf::TraceFunctionsEnabled() { return IdePreferences().enable_trace_functions; }
bool TQBTraceBuf::InfoReg() { return IdePreferences().trace_info_reg; }
bool TQBTraceBuf::InfoRepeat() { return IdePreferences().trace_info_repeat; }
bool TQBTraceBuf::ShowRepeats()
{
    return m_interface.window ? m_interface.window->ShowRepeats() : g_show_repeats;
}
int32_t TQBTraceBuf::BufSizeMegabytes() { return IdePreferences().trace_buf_size; }
bool TQBTraceBuf::InfoAction() { return IdePreferences().trace_info_action; }
bool TQBTraceBuf::InfoFunc() { return IdePreferences().trace_info_func; }
bool TQBTraceBuf::InfoFile() { return IdePreferences().trace_info_file; }
bool TQBTraceBuf::InfoLineCol() { return IdePreferences().trace_info_line_col; }
bool TQBTraceBuf::InfoTime() { return IdePreferences().trace_info_time; }

void TQBTraceBuf::Report(uint32_t id, const std::string &argument)
{
    ShowAppMessageBox(GetResString(id, argument.c_str()), GetResString(kMsgTraceErrorCaption),
                      kMbOk | kMbIconError);
}

// Whenever the address is recorded the action is too, so kinds 4 and 5 are never chosen.
void TQBTraceBuf::SetTraceOptions()
{
    if (!TracingEnabled() || IdePreferences().tracing)
        return;
    m_record_size = 0;
    const bool address = InfoFunc() || InfoFile() || InfoLineCol();
    const bool regs = InfoReg();
    const bool time = InfoTime();
    const bool action = InfoAction();
    int kind = -1;
    if (address || action)
        kind = regs ? (time ? 3 : 2) : address ? (time ? 7 : 6) : (time ? 10 : 9);
    else if (regs)
        kind = time ? 1 : 0;
    else if (time)
        kind = 8;
    const int old_kind = m_kind;
    const int old_buffer_size = m_buffer_size;
    if (kind >= 0)
        SetTraceRecordKind(kind);
    struct DropOldRecords {
        TQBTraceBuf &store;
        int kind, buffer_size;
        ~DropOldRecords()
        {
            // Records of another layout cannot be read with this one, nor fit another buffer.
            if (store.m_kind != kind || store.m_buffer_size != buffer_size)
                store.DropRecords();
        }
    } drop{*this, old_kind, old_buffer_size};

    m_capacity = 0;
    m_buffer_size = 0;
    if (m_record_size == 0)
        return;
    const int64_t megabytes = BufSizeMegabytes();
    if (megabytes < 0 || megabytes > kTraceBufMaxMegabytes) {
        if (!m_size_reported)
            Report(kMsgTraceSizeRefused, std::to_string(megabytes));
        m_size_reported = true;
        return;
    }
    m_size_reported = false;
    const int64_t bytes = megabytes * kMegabyte;
    m_capacity = int(bytes / m_record_size);
    m_buffer_size = m_capacity * m_record_size;
}

void TQBTraceBuf::DropRecords()
{
    m_buffer.reset();
    m_allocated = 0;
    m_count = 0;
    m_write_offset = 0;
    m_rows.clear();
    m_repeats.clear();
    m_pending.clear();
}

void TQBTraceBuf::SetTraceRecordKind(int kind)
{
    if (kind < 0 || kind >= kTraceRecordKinds)
        return;
    m_kind = kind;
    m_record_size = kTraceRecordSize[kind];
}

// A wrap starts the store over, so the rows and repeats of the last pass go with it.
void TQBTraceBuf::ClearTraceStore()
{
    m_write_offset = 0;
    m_idle = false;
    m_widest_short_file.clear();
    m_widest_file = 9;
    m_widest_function = 8;
    m_count = 0;
    m_rows.clear();
    m_repeats.clear();
    if (m_buffer_size == 0) {
        m_buffer.reset();
        return;
    }
    if (m_buffer && m_allocated == m_buffer_size)
        return;
    m_buffer.reset();
    m_allocated = 0;
    try {
        m_buffer = std::make_unique_for_overwrite<uint8_t[]>(std::size_t(m_buffer_size));
        m_allocated = m_buffer_size;
        m_size_reported = false;
    } catch (const std::bad_alloc &) {
        if (!m_size_reported)
            Report(kMsgTraceNoMemory, std::to_string(m_buffer_size / kMegabyte));
        m_size_reported = true;
    }
}

void TQBTraceBuf::EnableTrace(bool force)
{
    // The trace-on action enables the trace again: that call must not start over.
    if (m_enabling)
        return;
    struct Enabling {
        bool &flag;
        explicit Enabling(bool &f) : flag(f) { flag = true; }
        ~Enabling() { flag = false; }
    } enabling(m_enabling);

    if (m_buffer && !force) {
        SendTraceFlags();
        return;
    }
    ClearTraceStore();
    if (m_interface.window)
        m_interface.window->ClearLists();
    std::vector<uint8_t> pending;
    pending.swap(m_pending);
    if (m_record_size > 0)
        for (std::size_t at = 0; at + std::size_t(m_record_size) <= pending.size();
             at += std::size_t(m_record_size))
            AppendTraceRecord(pending.data() + at);
    SendTraceFlags();
    if (IdePreferences().tracing)
        UpdateTraceActions(true);
}

void TQBTraceBuf::ResetTrace(bool finish)
{
    TraceStopNotify();
    m_state0 = m_state1 = false;
    m_idle = true;
    if (!TracingEnabled() || !finish)
        return;
    const TIdePreferences &p = IdePreferences();
    if (p.enable_trace_auto_save && !p.trace_auto_save_file.empty()) {
        IdePreferences().trace_info_repeat = false;
        if (m_interface.window)
            m_interface.window->SetShowRepeats(true);
        else
            g_show_repeats = true;
        RefreshTraceView();
        MeasureTraceColumns();
        (void)WriteTraceToFile(p.trace_auto_save_file);
    }
    ShowTraceWindow();
}

void TQBTraceBuf::EndTraceForEditMode()
{
    m_state0 = m_state1 = false;
    m_idle = true;
}

void TQBTraceBuf::SendTraceFlags()
{
    if (!TracingEnabled())
        return;
    target_operations().TcClearTraceFlags();
    target_operations().TcSetTraceFlag(0, TraceRstEnabled());
}

// ---- records ---------------------------------------------------------------------------------------

void TQBTraceBuf::DecodeTracePacket(const uint8_t *packet, std::size_t length)
{
    if (!packet || length < kTracePacketSize)
        return;
    const uint8_t flags = packet[0];
    m_state0 = (flags & 0x01) != 0;
    m_state1 = (flags & 0x02) != 0;
    const bool macro = (flags & kTraceMacro) != 0;
    const uint8_t xpc = packet[3];
    const uint16_t pc = le16(packet + 26);

    if (!m_state0 && !macro && !FunctionNameAt(make_addr(xpc, pc)).empty()) {
        const std::vector<uint8_t> stack = m_stack_data;
        onStackData(stack.empty() ? nullptr : stack.data(), uint16_t(stack.size()));
        RefreshRegisterView();
        TraceStopNotify();
        showExecutionPoint();
    }

    std::vector<uint8_t> record;
    const uint32_t time = has_time(m_kind) ? TraceTimestamp() : 0;
    if (has_registers(m_kind))
        record.assign(packet + 1, packet + 1 + kTraceRegisterBlock);
    else if (has_address(m_kind)) {
        put16(record, le16(packet + 3));
        put16(record, pc);
    }
    if (has_time(m_kind))
        put32(record, time);
    if (has_action(m_kind))
        record.push_back(flags);
    if (int(record.size()) == m_record_size && m_record_size > 0)
        AppendTraceRecord(record.data());

    if (m_stop_requested) {
        TraceStopNotify();
        m_state0 = m_state1 = false;
        m_stop_requested = false;
    }
}

void TQBTraceBuf::AppendTraceRecord(const uint8_t *record)
{
    if (m_count == 0)
        ClearTraceStore();
    if (m_idle)
        m_pending.insert(m_pending.end(), record, record + m_record_size);
    if (!m_buffer || m_count >= m_capacity)
        return;
    std::memcpy(m_buffer.get() + m_write_offset, record, std::size_t(m_record_size));
    if (!KeepTraceRecord(m_count))
        return;
    m_write_offset += m_record_size;
    if (m_interface.window)
        AddTraceRow(m_count);
    ++m_count;
    if (BufWrapEnabled() && m_count == m_capacity)
        m_count = 0;
}

bool TQBTraceBuf::KeepTraceRecord(int index)
{
    if (m_idle)
        return false;
    UnpackRecord(index);
    if (FunctionNameAt(RecordAddress()).empty())
        return false;
    const uint8_t action = uint8_t(m_current.action & 0xFC);
    if (!IdePreferences().tracing && action != kTraceMacro)
        return false;
    return TraceRstEnabled() || action != kTraceExecute;
}

void TQBTraceBuf::UnpackTraceRecord(int index)
{
    if (InfoRepeat() && index >= 0 && std::size_t(index) < m_rows.size())
        index = int(m_rows[std::size_t(index)]);
    UnpackRecord(index);
}

// Fields the kind does not hold stay 0.
void TQBTraceBuf::UnpackRecord(int index)
{
    m_current = Unpacked{};
    if (!m_buffer || index < 0 || index >= m_capacity)
        return;
    const uint8_t *r = m_buffer.get() + std::size_t(index) * std::size_t(m_record_size);
    int at = 0;
    if (has_registers(m_kind)) {
        std::memcpy(m_current.regs, r, kTraceRegisterBlock);
        m_current.xpc = le16(r + kBlockXpc);
        m_current.pc = le16(r + kBlockPC);
        at = int(kTraceRegisterBlock);
    } else if (has_address(m_kind)) {
        m_current.xpc = le16(r);
        m_current.pc = le16(r + 2);
        at = 4;
    }
    if (has_time(m_kind)) {
        m_current.time = le32(r + at);
        at += 4;
    }
    if (has_action(m_kind))
        m_current.action = r[at];
}

uint32_t TQBTraceBuf::RecordAddress() const
{
    return has_address(m_kind) ? make_addr(uint8_t(m_current.xpc), m_current.pc) : 0;
}

std::string TQBTraceBuf::GetTraceActionName(int index)
{
    UnpackTraceRecord(index);
    const auto it = m_action_names.find(uint8_t(m_current.action & 0xFC));
    return it == m_action_names.end() ? std::string() : it->second;
}

// The name of the last entry strictly below the address.
std::string TQBTraceBuf::FunctionNameAt(uint32_t address) const
{
    const uint32_t physical = addr_to_physical(address);
    std::string name;
    for (const auto &[entry_physical, entry] : gAddressNameMap) {
        if (entry_physical >= physical)
            break;
        name = entry.name;
    }
    return name;
}

void TQBTraceBuf::ResolveTraceEntry(int index, std::string &function, std::string &file,
                                    std::string &line_col)
{
    UnpackTraceRecord(index);
    const uint32_t address = RecordAddress();
    const uint32_t physical = addr_to_physical(address);

    function.clear();
    uint32_t start = address;
    for (const auto &[entry_physical, entry] : gAddressNameMap) {
        if (entry_physical >= physical)
            break;
        function = entry.name;
        start = entry.address;
    }

    // The nearest source position at or before the address, within 2 KB.
    std::vector<source_item> items;
    uint32_t at = address;
    while (addr_diff(address, at) < kSourceSearchSpan) {
        if (getSourceItemsAtAddress(at, gStatementTable, items) ||
            getSourceItemsAtAddress(at, gAsmSourceTable, items))
            break;
        if (addr_to_physical(at) == 0)
            break;
        at = addr_add(at, -1);
    }
    uint16_t line = 0, column = 0;
    file.clear();
    if (!items.empty()) {
        file = items.back().file;
        line = items.back().line;
        column = uint16_t(items.back().column & 0xFF);
    }

    // An entry is shown at the function's own definition line.
    if ((m_current.action & 0xFC) == kTraceEnter) {
        std::vector<source_item> definitions;
        getSourceItemsAtAddress(start, gAsmSourceTable, definitions);
        for (const source_item &d : definitions)
            if (d.file == file && d.line < line) {
                line = d.line;
                column = d.column;
                break;
            }
    }
    line_col = std::to_string(line) + "," + std::to_string(column);

    m_widest_function = std::max<uint32_t>(m_widest_function, uint32_t(function.size()));
    const bool full_path = m_interface.window ? m_interface.window->FullPath() : true;
    if (!full_path) {
        file = short_name(file);
        if (file.size() > m_widest_short_file.size())
            m_widest_short_file = file;
    }
    m_widest_file = std::max<uint32_t>(m_widest_file, uint32_t(file.size()));
}

std::string TQBTraceBuf::RepeatKey(int index)
{
    std::string function, file, line_col;
    const std::string action = GetTraceActionName(index);
    ResolveTraceEntry(index, function, file, line_col);
    return action + function + file + ":" + line_col;
}

void TQBTraceBuf::AddTraceRow(int index)
{
    const std::string key = RepeatKey(index);
    if (!InfoRepeat()) {
        AddTraceLine("xxx");
        return;
    }
    auto it = m_repeats.find(key);
    if (it != m_repeats.end()) {
        ++it->second.further;
        return;
    }
    m_repeats.emplace(key, Repeat{uint32_t(index), 0});
    AddTraceLine("xxx");
    m_rows.push_back(uint32_t(index));
}

const uint32_t *TQBTraceBuf::TraceMapFind(const std::string &key) const
{
    const auto it = m_repeats.find(key);
    return it == m_repeats.end() ? nullptr : &it->second.further;
}

void TQBTraceBuf::RefreshTraceView()
{
    TTraceWindow *window = m_interface.window;
    if (!window || m_count == 0)
        return;
    window->SetRegisterPanelVisible(has_registers(m_kind));
    window->SetBusyCursor(true);
    if (InfoRepeat()) {
        m_repeats.clear();
        m_rows.clear();
    }
    window->ClearLists();
    window->BeginUpdate();
    for (int i = 0; i < m_count; ++i)
        AddTraceRow(i);
    window->EndUpdate();
    window->SetBusyCursor(false);
}

void TQBTraceBuf::AddTraceLine(const std::string &text)
{
    if (m_interface.window)
        m_interface.window->AddLine(text);
}

void TQBTraceBuf::StartTraceClock()
{
    m_clock_start = GetMillisecondClock();
    m_clock_started = true;
}

uint32_t TQBTraceBuf::TraceTimestamp() const
{
    return m_clock_started ? GetMillisecondClock() - m_clock_start : 0;
}

void TQBTraceBuf::TraceStopNotify()
{
    if (!gMainWindowInterface->IsStopped())
        gMainWindowInterface->SetRunState(1);
}

void TQBTraceBuf::RefreshRegisterView()
{
    if (TRegisterInterface *view = gMainWindowInterface->GetRegisterInterface(false))
        formatRegisterLines(*view, gTargetRegisters);
}

void TQBTraceBuf::PrepareTraceForCompile()
{
    m_count = 0;
    m_pending.clear();
    if (TracingEnabled())
        gAddressNameMap.clear();
}

void TQBTraceBuf::UpdateTraceActions(bool on)
{
    if (on)
        trace_shell().TraceOn();
    else
        trace_shell().TraceOff();
}

void TQBTraceBuf::ToggleTraceWindow() { trace_shell().ToggleTraceWindow(); }
bool TQBTraceBuf::TraceWindowShown() { return trace_shell().TraceWindowShown(); }

// ---- text ---------------------------------------------------------------------------------------------

namespace {

int file_column_width(TQBTraceBuf &store)
{
    const TTraceWindow *window = store.Interface().window;
    if (!window || window->FullPath())
        return int(store.WidestFile()) + 2;
    return int(std::max<std::size_t>(store.WidestShortFile().size(), 9)) + 2;
}

std::string hex_column(unsigned value, int digits, int width)
{
    return left(bounded_format("0x%0*X", digits, value), width);
}

} // namespace

std::string TQBTraceBuf::FormatTraceHeader()
{
    std::string line;
    if (InfoAction())
        line += left("Action", 9);
    if (InfoFunc())
        line += left("Function", int(m_widest_function) + 2);
    if (InfoFile())
        line += left("File Name", file_column_width(*this));
    if (InfoLineCol())
        line += left("Line/Col", 10);
    if (InfoTime())
        line += left("mSec", 8);
    if (InfoRepeat() && ShowRepeats())
        line += left("Reps", 5);
    if (InfoReg())
        line += kRegisterHeader;
    return line;
}

std::string TQBTraceBuf::FormatTraceLine(int index)
{
    if (m_count == 0)
        return {};
    std::string line;
    std::string key;
    if (InfoAction()) {
        key = GetTraceActionName(index);
        line += left(key, 9);
    }
    if (InfoFunc() || InfoFile() || InfoLineCol()) {
        std::string function, file, line_col;
        ResolveTraceEntry(index, function, file, line_col);
        if (InfoFunc())
            line += left(function, int(m_widest_function) + 2);
        if (InfoFile())
            line += left(file, file_column_width(*this));
        if (InfoLineCol())
            line += left(line_col, 10);
        key += function + file + ":" + line_col;
    }
    if (InfoTime()) {
        UnpackTraceRecord(index);
        line += left(std::to_string(m_current.time), 8);
    }
    if (InfoRepeat() && ShowRepeats() && !m_repeats.empty())
        if (const uint32_t *further = TraceMapFind(key))
            line += left(std::to_string(*further), 5);
    if (InfoReg()) {
        UnpackTraceRecord(index);
        const uint8_t *r = m_current.regs;
        line += hex_column(le16(r + kBlockAF) >> 8, 2, 5);
        for (int offset : {kBlockBC, kBlockDE, kBlockHL, kBlockAF2, kBlockBC2, kBlockDE2, kBlockHL2,
                           kBlockIX, kBlockIY, kBlockSP, kBlockPC, kBlockXpc})
            line += hex_column(le16(r + offset), 4, 7);
        line += hex_column(r[kBlockAF], 2, 7);
    }
    return line;
}

void TQBTraceBuf::MeasureTraceColumns()
{
    if (!InfoFunc() && !InfoFile() && !InfoLineCol())
        return;
    std::string function, file, line_col;
    for (int i = 0; i < m_count; ++i)
        ResolveTraceEntry(i, function, file, line_col);
}

void TQBTraceBuf::AppendOutputLine(const std::string &text)
{
    if (!m_interface.lines)
        m_interface.lines = std::make_unique<std::vector<std::string>>();
    m_interface.lines->push_back(text);
}

bool TQBTraceBuf::SaveOutputLines(const std::string &file_name)
{
    if (!m_interface.lines)
        return true;
    std::ofstream out(file_name, std::ios::binary | std::ios::trunc);
    for (const std::string &line : *m_interface.lines)
        out << line << "\r\n";
    out.flush();
    return bool(out);
}

bool TQBTraceBuf::WriteTraceToFile(const std::string &file_name)
{
    AppendOutputLine(FormatTraceHeader());
    const int lines = InfoRepeat() && ShowRepeats() ? int(m_rows.size()) : m_count;
    for (int i = 0; i < lines; ++i)
        AppendOutputLine(FormatTraceLine(i));

    struct FreeLines {
        TQBTraceInterface &i;
        ~FreeLines() { i.lines.reset(); }
    } free_lines{m_interface};

    std::string path = file_name;
    std::replace(path.begin(), path.end(), '\\', '/');
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec) &&
        !std::filesystem::create_directory(folder, ec)) {
        Report(kMsgTraceFolder, file_name);
        return false;
    }
    if (!SaveOutputLines(path)) {
        Report(kMsgTraceWrite, file_name);
        return false;
    }
    return true;
}
