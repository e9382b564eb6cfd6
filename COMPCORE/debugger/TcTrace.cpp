// TcTrace: the communication trace file and its frame decoder (see TcTrace.h).
#include "TcTrace.h"

#include "LinkFrame.h"
#include "RegularFile.h"
#include "settings/guiKXPreferences.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <vector>

#include <unistd.h>

namespace {

// --- The file ---------------------------------------------------------------------------------

struct TraceFile {
    std::recursive_mutex lock;
    std::FILE *file = nullptr;
    bool verbose = false;
    bool non_packet_writes = false;
    bool non_packet_reads = false;
    bool packet_data = false;
};

TraceFile &trace()
{
    static TraceFile t;
    return t;
}

void put(TraceFile &t, const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), t.file);
    std::fflush(t.file);
}

// Runs `write` under the lock when a trace is open.
template <class F>
void with_open_trace(F write)
{
    TraceFile &t = trace();
    std::lock_guard<std::recursive_mutex> guard(t.lock);
    if (t.file)
        write(t);
}

[[gnu::format(printf, 2, 3)]] void appendf(std::string &out, const char *format, ...)
{
    char buf[256];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (n > 0)
        out.append(buf, std::min<size_t>(size_t(n), sizeof buf - 1));
}

std::string hex_rows(std::span<const uint8_t> bytes)
{
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        appendf(out, "%02x ", bytes[i]);
        if (i % 16 == 15 || i + 1 == bytes.size())
            out += "\r\n";
    }
    return out;
}

// --- Decoding ---------------------------------------------------------------------------------

// The payload of the frame being decoded; every read is checked against its end.
class Fields {
public:
    Fields(const uint8_t *bytes, size_t size) : m_bytes(bytes), m_size(size) {}
    bool has(size_t at, size_t width) const { return at + width <= m_size; }
    size_t size() const { return m_size; }
    uint8_t u8(size_t at) const { return m_bytes[at]; }
    uint16_t u16(size_t at) const { return uint16_t(m_bytes[at] | m_bytes[at + 1] << 8); }
    uint32_t u32(size_t at) const { return uint32_t(u16(at) | uint32_t(u16(at + 2)) << 16); }
    const uint8_t *at(size_t at) const { return m_bytes + at; }

private:
    const uint8_t *m_bytes;
    size_t m_size;
};

// Names of the set bits, in bit order, each as given (with its trailing spaces).
void bit_names(std::string &out, uint8_t bits, std::initializer_list<const char *> names)
{
    int bit = 0;
    for (const char *name : names) {
        if (bits & (1u << bit))
            out += name;
        ++bit;
    }
}

// Memory request: mode, count, then a 32-bit physical address (mode 0) or a 16-bit logical
// address and the XPC (modes 1 and 3).
void memory_line(std::string &out, const Fields &p, const char *direction)
{
    if (!p.has(0, 3))
        return;
    const uint8_t mode = p.u8(0);
    const uint16_t count = p.u16(1);
    if (mode == 0 && p.has(3, 4))
        appendf(out, "%d bytes %s 0x%05x\r\n", count, direction, p.u32(3));
    else if (mode == 1 && p.has(3, 3))
        appendf(out, "%d bytes %s 0x%02x:%04x\r\n", count, direction, p.u8(5), p.u16(3));
    else if (mode == 3 && p.has(3, 2))
        appendf(out, "%d bytes %s 0x%04x\r\n", count, direction, p.u16(3));
}

// A text field of fixed width: up to its NUL, other unprintable bytes as '.'.
std::string text_field(const Fields &p, size_t at, size_t width)
{
    std::string s;
    for (size_t i = 0; i < width && p.u8(at + i) != 0; ++i) {
        uint8_t c = p.u8(at + i);
        s += c >= 0x20 && c < 0x7F ? char(c) : '.';
    }
    return s;
}

// The ID block of an INFOPROBE reply, which starts at payload byte 8; one line per field.
void id_block_lines(std::string &out, const Fields &reply)
{
    constexpr size_t base = 8;
    enum Kind { dec16, hex16, dec32, hex32, bytes, freq, mac, text, dec8 };
    struct Field {
        const char *name;
        size_t offset, width;
        Kind kind;
    };
    static constexpr Field kFields[] = {
        {"tableVersion", 0, 2, dec16},  {"productID", 2, 2, hex16},
        {"vendorID", 4, 2, hex16},      {"timestamp", 6, 7, bytes},
        {"flashID", 13, 4, hex32},      {"flashType", 17, 2, hex16},
        {"flashSize", 19, 2, dec16},    {"sectorSize", 21, 2, dec16},
        {"numSectors", 23, 2, dec16},   {"flashSpeed", 25, 2, dec16},
        {"flash2ID", 27, 4, hex32},     {"flash2Type", 31, 2, hex16},
        {"flash2Size", 33, 2, dec16},   {"sector2Size", 35, 2, dec16},
        {"num2Sectors", 37, 2, dec16},  {"flash2Speed", 39, 2, dec16},
        {"ramID", 41, 4, hex32},        {"ramSize", 45, 2, dec16},
        {"ramSpeed", 47, 2, dec16},     {"cpuID", 49, 2, hex16},
        {"crystalFreq", 51, 4, freq},   {"macAddr", 55, 6, mac},
        {"serialNumber", 61, 24, text}, {"productName", 85, 30, text},
        {"reserved", 115, 1, dec8},     {"idBlockSize", 116, 4, dec32},
        {"userBlockSize", 120, 2, dec16}, {"userBlockLoc", 122, 2, hex16},
        {"idBlockCRC", 124, 2, hex16},  {"marker", 126, 6, bytes},
    };
    for (const Field &f : kFields) {
        const size_t at = base + f.offset;
        if (!reply.has(at, f.width))
            return;
        appendf(out, "%-14s= ", f.name);
        switch (f.kind) {
        case dec8: appendf(out, "%d", reply.u8(at)); break;
        case dec16: appendf(out, "%d", reply.u16(at)); break;
        case hex16: appendf(out, "0x%04X", reply.u16(at)); break;
        case dec32: appendf(out, "%u", reply.u32(at)); break;
        case hex32: appendf(out, "0x%08X", reply.u32(at)); break;
        case freq: appendf(out, "%8.4f MHz", reply.u32(at) / 1e6); break;
        case text: out += text_field(reply, at, f.width); break;
        case bytes:
        case mac:
            for (size_t i = 0; i < f.width; ++i)
                appendf(out, i == 0 ? "%02x" : (f.kind == mac ? ":%02x" : " %02x"), reply.u8(at + i));
            break;
        }
        out += "\r\n";
    }
}

void sys_lines(std::string &out, uint8_t subtype, bool reply, const Fields &p)
{
    switch (subtype) {
    case kSysRead:
        memory_line(out, p, "from");
        break;
    case kSysWrite:
        memory_line(out, p, "to");
        break;
    case kSysInfoProbe:
        if (reply)
            id_block_lines(out, p);
        break;
    case kSysStartBios:
        if (p.has(0, 1) && p.u8(0) == 1)
            out += "Start BIOS in ram\r\n";
        else if (p.has(0, 1) && p.u8(0) == 2)
            out += "Start BIOS in flash\r\n";
        break;
    case kSysSetBaudRate:
        if (!reply && p.has(0, 4))
            appendf(out, "Baudrate = %u\r\n", p.u32(0));
        break;
    case kSysFlashData:
        if (reply)
            break;
        if (p.has(0, 2))
            appendf(out, "sectorsize = %d\r\n", p.u16(0));
        if (p.has(2, 2))
            appendf(out, "number of sectors = %d\r\n", p.u16(2));
        if (p.has(4, 2))
            appendf(out, "flashsize = %d\r\n", p.u16(4));
        if (p.has(6, 2))
            appendf(out, "write mode = 0x%0x\r\n", p.u16(6));
        break;
    default:
        break;
    }
}

void dbg_lines(std::string &out, uint8_t subtype, bool reply, const Fields &p)
{
    if (reply) {
        if (subtype == kDbgEnabledOptions && p.has(0, 3)) {
            appendf(out, "max watches = %d, max breakpoints = %d\r\n", p.u8(1), p.u8(2));
            out += "options = ";
            bit_names(out, p.u8(0), {"breakpoints  ", "instruction single stepping  ", "watches"});
            out += "\r\n";
        } else if (subtype == kDbgGetDebugTag && p.has(0, 2)) {
            appendf(out, "debug tag = 0x%04x\r\n", p.u16(0));
        }
        return;
    }
    switch (subtype) {
    case kDbgSingleStep:
        if (p.has(0, 1))
            appendf(out, "%s step %s\r\n", p.u8(0) & 0x08 ? "Source" : "Instruction",
                    p.u8(0) & 0x02 ? "over" : "into");
        break;
    case kDbgToggleBp:
        if (p.has(0, 4))
            appendf(out, "address = 0x%05x\r\n", p.u32(0));
        if (p.has(4, 1)) {
            out += "flags = ";
            bit_names(out, p.u8(4), {"inactive ", "active ", "deleted ", "conditional ", "hard"});
            out += "\r\n";
        }
        break;
    case kDbgAddWatch:
        if (p.has(0, 5))
            appendf(out, "address = 0x%05x, size = 0x%04x\r\n", p.u32(0), p.u8(4));
        break;
    case kDbgDeleteWatch:
    case kDbgExecWatch:
        if (p.has(0, 1))
            appendf(out, "index = %d\r\n", p.u8(0));
        break;
    case kDbgSendChar:
        if (p.has(0, 1))
            appendf(out, "char = %c\r\n", p.u8(0) >= 0x20 && p.u8(0) < 0x7F ? p.u8(0) : '.');
        break;
    case kDbgSetSendFlags:
        if (p.has(0, 1)) {
            out += "Set flags = ";
            bit_names(out, p.u8(0), {"SendStackData ", "SendWatchData ", "SendAsmData ",
                                     "SendRegisterData ", "SendStatus ", "SendAck "});
            out += "\r\n";
        }
        break;
    case kDbgSetTraceFlags:
        if (p.has(0, 1)) {
            out += "Set flags = ";
            bit_names(out, p.u8(0), {"SendTraceRST ", "SendTraceFunc "});
            out += "\r\n";
        }
        break;
    case kDbgStdio:
        out.append(reinterpret_cast<const char *>(p.at(0)), std::min<size_t>(p.size(), 256));
        out += "\r\n";
        break;
    case kDbgCharReady:
        if (p.has(0, 1))
            appendf(out, "char count = %d\r\n", p.u8(0));
        break;
    case kDbgSetDebugTag:
        if (p.has(0, 2))
            appendf(out, "debug tag = 0x%04x\r\n", p.u16(0));
        break;
    default:
        break;
    }
}

} // namespace

std::string TcTraceDecode(std::span<const uint8_t> frame, bool escaped)
{
    std::vector<uint8_t> plain;
    plain.reserve(frame.size());
    size_t i = 0;
    if (escaped && !frame.empty() && frame[0] == kLinkFlag)
        i = 1;
    for (; i < frame.size(); ++i) {
        if (escaped && frame[i] == kLinkEscape) {
            if (++i == frame.size())
                break; // a lone escape at the end stands for nothing
            plain.push_back(uint8_t(frame[i] ^ kLinkEscapeXor));
            continue;
        }
        plain.push_back(frame[i]);
    }
    if (plain.size() < kLinkHeaderSize)
        return {};
    const uint8_t type = plain[2];
    if (type != kLinkSys && type != kLinkDbg)
        return {};
    const uint8_t subtype_byte = plain[3];
    const uint8_t subtype = subtype_byte & kLinkSubtypeMask;
    const size_t announced = size_t(plain[4] | plain[5] << 8);
    const Fields payload(plain.data() + kLinkHeaderSize,
                         std::min(announced, plain.size() - kLinkHeaderSize));

    std::string out = type == kLinkSys ? "SYS/" : "DBG/";
    if (const char *name = link_subtype_name(type, subtype))
        out += name;
    else
        out += std::to_string(subtype);
    if (subtype_byte >= 0x80)
        out += " (ACK)";
    else if (subtype_byte >= 0x40)
        out += " (NAK)";
    out += "\r\n";
    const bool reply = (subtype_byte & (kLinkAck | kLinkNak)) != 0;
    if (type == kLinkSys)
        sys_lines(out, subtype, reply, payload);
    else
        dbg_lines(out, subtype, reply, payload);
    return out;
}

// --- The file ---------------------------------------------------------------------------------

std::string TcTraceFolder()
{
    std::string base;
    if (const char *state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        base = state;
    else if (const char *home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/state";
    else
        base = std::filesystem::temp_directory_path().string();
    return base + "/korvex";
}

std::string TcTraceFilePath() { return TcTraceFolder() + "/tcout.txt"; }

bool TcOpenTraceFile()
{
    const TIdePreferences &prefs = IdePreferences();
    if (!prefs.tc_logging)
        return true;
    TraceFile &t = trace();
    std::lock_guard<std::recursive_mutex> guard(t.lock);
    if (t.file)
        return true;
    std::error_code ec;
    std::filesystem::create_directories(TcTraceFolder(), ec);
    // A FIFO or a device in the trace's place is neither waited on nor written into.
    std::string why;
    const int fd = open_regular_for_writing(TcTraceFilePath(), false, why);
    if (fd < 0)
        return false;
    t.file = ::fdopen(fd, "wb");
    if (!t.file) {
        ::close(fd);
        return false;
    }
    t.verbose = prefs.tc_log_verbose;
    t.non_packet_writes = prefs.tc_log_non_packet_writes;
    t.non_packet_reads = prefs.tc_log_non_packet_reads;
    t.packet_data = prefs.tc_log_packet_data;
    return true;
}

void TcCloseTraceFile()
{
    TraceFile &t = trace();
    std::lock_guard<std::recursive_mutex> guard(t.lock);
    if (t.file)
        std::fclose(t.file);
    t.file = nullptr;
}

bool TcTraceFileIsOpen()
{
    TraceFile &t = trace();
    std::lock_guard<std::recursive_mutex> guard(t.lock);
    return t.file != nullptr;
}

TcTraceCallbacks TcTraceWriters()
{
    TcTraceCallbacks c;
    c.time_stamp = [] {
        with_open_trace([](TraceFile &t) {
            using namespace std::chrono;
            const auto now = system_clock::now();
            const std::time_t seconds = system_clock::to_time_t(now);
            const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
            std::tm local{};
            localtime_r(&seconds, &local);
            std::string s;
            appendf(s, "\r\n(%02d:%02d:%02d:%02d)", local.tm_hour, local.tm_min, local.tm_sec,
                    int(ms));
            put(t, s);
        });
    };
    c.send_header = [] { with_open_trace([](TraceFile &t) { put(t, " send \r\n"); }); };
    c.receive_header = [] { with_open_trace([](TraceFile &t) { put(t, " receive\r\n"); }); };
    c.dump = [](std::span<const uint8_t> bytes, bool frame, bool escaped) {
        with_open_trace([&](TraceFile &t) {
            if (t.verbose && frame)
                put(t, TcTraceDecode(bytes, escaped));
            if ((frame && t.packet_data) || (!frame && (t.non_packet_writes || t.non_packet_reads)))
                put(t, hex_rows(bytes));
        });
    };
    c.port_opened = [](const SerialLineSettings &line, uint32_t port, bool ok) {
        with_open_trace([&](TraceFile &t) {
            std::string s;
            appendf(s, " COM%u %sopened\r\n", port, ok ? "" : "not ");
            if (t.verbose) {
                appendf(s, "Baud rate: %u\r\n", line.baud_rate);
                appendf(s, "DTR flow control type: %u\r\n", line.dtr_control);
                appendf(s, "RTS flow control: %u\r\n", line.rts_control);
                appendf(s, "Stop Bits (0,1,2 = 1, 1.5, 2): %u\r\n", line.stop_bits);
            }
            put(t, s);
        });
    };
    c.port_closed = [] { with_open_trace([](TraceFile &t) { put(t, " port closed \r\n"); }); };
    const TIdePreferences &prefs = IdePreferences();
    c.log_non_packet_writes = prefs.tc_log_non_packet_writes;
    c.log_non_packet_reads = prefs.tc_log_non_packet_reads;
    c.event_lock = &trace().lock;
    return c;
}
