// Test side of the board stand-in: a minimal host that writes frames with the shared codec and
// reads the board's frames with a parser of its own (serial: flag and escapes; TCP: plain), on
// the stand-in's pty or on a loopback TCP connection; and a small assembler front for the
// programs the debug tests run. Every wait is bounded by the stand-in's configured wait and
// returns as soon as what it waits for has come.
#pragma once

#include "../COMPCORE/AsmTestSupport.h"
#include "BoardStandIn.h"
#include "debugger/LinkFrame.h"
#include "linker/MD5.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace boardtest {

using Bytes = std::vector<uint8_t>;
using Ms = std::chrono::milliseconds;

inline std::string hex(const Bytes &b) { return asm_hex(b); }

inline uint16_t le16(const Bytes &b, size_t at) { return uint16_t(b.at(at) | b.at(at + 1) << 8); }
inline uint32_t le32(const Bytes &b, size_t at) { return uint32_t(le16(b, at) | le16(b, at + 2) << 16); }
inline void put16(Bytes &b, uint16_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void put32(Bytes &b, uint32_t v)
{
    put16(b, uint16_t(v));
    put16(b, uint16_t(v >> 16));
}

// --- programs ---------------------------------------------------------------------------------

struct Program {
    Bytes bytes;                             // from the origin
    std::map<std::string, uint32_t> labels;  // name -> address
    std::string errors;
    uint16_t at(const std::string &label) const { return uint16_t(labels.at(label)); }
};

// Assembles Vireon 2000 assembly text (one statement per line) at `origin`, leaving the
// assembler as it found it.
inline Program assemble(const std::string &text, uint32_t origin = 0)
{
    Program p;
    AsmStateGuard guard;
    set_asm_target(1, 0);
    init_asm_mnemonics();
    AsmImageHost host(origin);
    set_asm_host(&host);
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        assemble_line(line.c_str(), false);
        ++host.line;
    }
    host.finish();
    for (const auto &m : host.messages)
        p.errors += std::to_string(m.line) + ": " + m.text + "\n";
    p.bytes = host.bytes(origin, host.address);
    p.labels = host.labels;
    return p;
}

// The memory map every debug program starts with: logical 0x8000-0xCFFF is RAM from
// physical 0x80000, 0xD000-0xDFFF is the stack (RAM at 0x8D000), SP 0xE000.
inline const char *kProgramPrologue = R"(
        ld a, 0xD8
        ioi ld (0x13), a
        ld a, 0x78
        ioi ld (0x12), a
        ld a, 0x80
        ioi ld (0x11), a
        ld sp, 0xE000
)";

// --- a host on one link -------------------------------------------------------------------------

struct Frame {
    uint8_t type = 0;
    uint8_t subtype = 0;
    Bytes payload;
    bool valid = true;
    uint8_t kind() const { return subtype & kLinkSubtypeMask; }
    bool ack() const { return (subtype & kLinkAck) != 0; }
    bool nak() const { return (subtype & kLinkNak) != 0; }
};

inline bool acked(const std::optional<Frame> &f) { return f && f->ack(); }
inline bool refused(const std::optional<Frame> &f) { return f && f->nak(); }

inline std::string describe(const Frame &f)
{
    const char *name = link_subtype_name(f.type, f.subtype);
    std::string s = std::string(f.type == kLinkSys ? "SYS/" : "DBG/") +
                    (name ? name : std::to_string(f.kind()));
    if (f.ack())
        s += " (ACK)";
    if (f.nak())
        s += " (NAK)";
    if (!f.valid)
        s += " (bad check)";
    return s + " [" + hex(f.payload) + "]";
}

class Host {
public:
    Host(int fd, bool serial, Ms wait) : m_fd(fd), m_serial(serial), m_wait(wait) {}
    ~Host() { close(); }
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    bool is_open() const { return m_fd >= 0; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    int fd() const { return m_fd; }

    void write_bytes(const Bytes &b)
    {
        size_t done = 0;
        while (done < b.size()) {
            ssize_t n = ::write(m_fd, b.data() + done, b.size() - done);
            if (n > 0) {
                done += size_t(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
            pollfd p{m_fd, POLLOUT, 0};
            ::poll(&p, 1, int(m_wait.count()));
        }
    }

    void send(uint8_t type, uint8_t subtype, const Bytes &payload = {})
    {
        write_bytes(build_link_frame(type, subtype, payload, m_serial));
    }

    // The next frame from the board, or nothing when none came within the wait.
    std::optional<Frame> next()
    {
        auto deadline = std::chrono::steady_clock::now() + m_wait;
        for (;;) {
            if (auto f = parse())
                return f;
            if (!fill(deadline))
                return std::nullopt;
        }
    }

    // Sends a request and returns its answer (same type and subtype, ACK or NAK); the board's
    // own messages that come first are kept in `others`.
    std::optional<Frame> request(uint8_t type, uint8_t subtype, const Bytes &payload = {})
    {
        send(type, subtype, payload);
        return answer(type, subtype);
    }
    std::optional<Frame> answer(uint8_t type, uint8_t subtype)
    {
        for (;;) {
            auto f = next();
            if (!f)
                return std::nullopt;
            if (f->type == type && f->kind() == (subtype & kLinkSubtypeMask) && (f->ack() || f->nak()))
                return f;
            others.push_back(*f);
        }
    }
    // The next board message, from `others` first.
    std::optional<Frame> message()
    {
        if (!others.empty()) {
            Frame f = others.front();
            others.pop_front();
            return f;
        }
        return next();
    }

    // Raw bytes (the serial loader stages): exactly n, or what came within the wait.
    Bytes read_raw(size_t n)
    {
        auto deadline = std::chrono::steady_clock::now() + m_wait;
        while (m_in.size() < n && fill(deadline)) {
        }
        size_t k = std::min(n, m_in.size());
        Bytes out(m_in.begin(), m_in.begin() + long(k));
        m_in.erase(m_in.begin(), m_in.begin() + long(k));
        return out;
    }
    // Whatever has arrived already, without waiting.
    Bytes pending()
    {
        fill(std::chrono::steady_clock::now());
        Bytes out(m_in.begin(), m_in.end());
        m_in.clear();
        return out;
    }
    // True when the board closed the connection (TCP) within the wait.
    bool closed_by_board()
    {
        auto deadline = std::chrono::steady_clock::now() + m_wait;
        while (!m_eof && fill(deadline)) {
        }
        return m_eof;
    }

    std::deque<Frame> others;

private:
    bool fill(std::chrono::steady_clock::time_point deadline)
    {
        if (m_fd < 0)
            return false;
        auto left = std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now());
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, int(std::max<int64_t>(0, left.count()))) <= 0)
            return false;
        uint8_t buf[4096];
        ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n == 0 && !m_serial)
            m_eof = true;
        if (n <= 0)
            return false;
        m_in.insert(m_in.end(), buf, buf + n);
        return true;
    }

    static bool checks_hold(const Bytes &plain, Frame &f)
    {
        uint16_t length = le16(plain, 4);
        f.type = plain[2];
        f.subtype = plain[3];
        f.payload.assign(plain.begin() + 8, plain.begin() + 8 + length);
        std::span<const uint8_t> all(plain);
        bool header = ComputeCheck(all.first(6)) == le16(plain, 6);
        bool frame = ComputeCheck(all.first(8 + size_t(length))) == le16(plain, 8 + length);
        return header && frame;
    }

    std::optional<Frame> parse() { return m_serial ? parse_serial() : parse_stream(); }

    std::optional<Frame> parse_stream()
    {
        if (m_in.size() < 8)
            return std::nullopt;
        size_t whole = 10 + le16(m_in, 4);
        if (m_in.size() < whole)
            return std::nullopt;
        Bytes plain(m_in.begin(), m_in.begin() + long(whole));
        m_in.erase(m_in.begin(), m_in.begin() + long(whole));
        Frame f;
        f.valid = checks_hold(plain, f);
        return f;
    }

    std::optional<Frame> parse_serial()
    {
        for (;;) {
            auto flag = std::find(m_in.begin(), m_in.end(), kLinkFlag);
            m_in.erase(m_in.begin(), flag);
            if (m_in.empty())
                return std::nullopt;
            Bytes plain;
            bool escape = false;
            size_t i = 1;
            size_t whole = 0;
            for (; i < m_in.size(); ++i) {
                uint8_t b = m_in[i];
                if (b == kLinkFlag)
                    break;
                if (b == kLinkEscape && !escape) {
                    escape = true;
                    continue;
                }
                plain.push_back(escape ? uint8_t(b ^ kLinkEscapeXor) : b);
                escape = false;
                if (plain.size() == 8)
                    whole = 10 + le16(plain, 4);
                if (whole && plain.size() == whole)
                    break;
            }
            if (i < m_in.size() && m_in[i] == kLinkFlag) {
                m_in.erase(m_in.begin(), m_in.begin() + long(i)); // restart at the new flag
                continue;
            }
            if (!whole || plain.size() < whole)
                return std::nullopt;
            m_in.erase(m_in.begin(), m_in.begin() + long(i + 1));
            Frame f;
            f.valid = checks_hold(plain, f);
            return f;
        }
    }

    int m_fd;
    bool m_serial;
    Ms m_wait;
    Bytes m_in;
    bool m_eof = false;
};

// --- opening links --------------------------------------------------------------------------

inline speed_t speed_constant(uint32_t baud)
{
    switch (baud) {
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    default: return B0;
    }
}

// Sets the host's side of the line to `baud` (raw bytes, 8N1), as a serial port open does.
inline void set_line_speed(int fd, uint32_t baud)
{
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, speed_constant(baud));
    tcsetattr(fd, TCSANOW, &t);
}

inline std::unique_ptr<Host> open_serial(const vsim::BoardStandIn &board, uint32_t baud)
{
    int fd = ::open(board.pty_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    set_line_speed(fd, baud);
    return std::make_unique<Host>(fd, true, board.config().wait_timeout);
}

inline std::unique_ptr<Host> open_tcp(const vsim::BoardStandIn &board)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(board.tcp_port());
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
    return std::make_unique<Host>(fd, false, board.config().wait_timeout);
}

// The answer to a board's challenge (DBG 63 payload: method, 16 challenge bytes).
inline Bytes challenge_response(const Bytes &challenge, const std::string &phrase)
{
    if (challenge.at(0) != 1)
        return Bytes(16, 0);
    auto digest = md5_digest(std::span<const uint8_t>(
        reinterpret_cast<const uint8_t *>(phrase.data()), phrase.size()));
    Bytes both(challenge.begin() + 1, challenge.begin() + 17);
    both.insert(both.end(), digest.begin(), digest.end());
    auto r = md5_digest(both);
    return Bytes(r.begin(), r.end());
}

// Connects, answers the challenge and sends the link request, as the host's TCP open does.
inline std::unique_ptr<Host> open_tcp_session(const vsim::BoardStandIn &board, const std::string &phrase = "")
{
    auto host = open_tcp(board);
    if (!host)
        return nullptr;
    auto challenge = host->next();
    if (!challenge || challenge->kind() != kDbgChallenge)
        return nullptr;
    host->send(kLinkDbg, kDbgChallengeResponse, challenge_response(challenge->payload, phrase));
    auto link = host->request(kLinkDbg, kDbgLinkRequest, {3});
    if (!link || !link->ack())
        return nullptr;
    return host;
}

// --- payloads ------------------------------------------------------------------------------

// Memory request: mode, count, then a u32 physical address (mode 0) or a u16 logical address
// and the XPC twice (modes 1, 3); WRITE data after.
inline Bytes memory_payload(uint8_t mode, uint32_t address, uint16_t count, uint8_t xpc = 0,
                            const Bytes &data = {})
{
    Bytes p{mode};
    put16(p, count);
    if (mode == 0) {
        put32(p, address);
    } else {
        put16(p, uint16_t(address));
        p.push_back(xpc);
        p.push_back(xpc);
    }
    p.insert(p.end(), data.begin(), data.end());
    return p;
}

// Registers of a REGDATA block.
struct Registers {
    uint16_t sp, af2, bc2, de2, hl2, af, bc, de, hl, ix, iy, pc;
    uint8_t xpc, status;
};
inline Registers registers_of(const Bytes &p)
{
    return {le16(p, 0),  le16(p, 4),  le16(p, 6),  le16(p, 8),  le16(p, 10), le16(p, 12), le16(p, 14),
            le16(p, 16), le16(p, 18), le16(p, 20), le16(p, 22), le16(p, 25), p.at(2),     p.at(24)};
}

// A started stand-in, or null (with a test failure saying why).
inline std::unique_ptr<vsim::BoardStandIn> start_board(const vsim::StandInConfig &config)
{
    auto board = std::make_unique<vsim::BoardStandIn>(config);
    std::string error;
    if (!board->start(error)) {
        ADD_FAILURE() << "board: " << error;
        return nullptr;
    }
    return board;
}

// --- a board ready for a debug session over TCP ---------------------------------------------------

inline vsim::StandInConfig debug_config()
{
    vsim::StandInConfig c;
    c.serial = false;
    c.firmware.initial_phase = vsim::BoardPhase::bios;
    return c;
}

struct DebugBoard {
    std::unique_ptr<vsim::BoardStandIn> board;
    std::unique_ptr<Host> host;
    Program program;

    // Starts the board with `text` assembled at 0 in flash (after the memory-map prologue
    // when `prologue`), and opens a TCP session to it.
    bool start(const std::string &text, vsim::StandInConfig config = debug_config(), bool prologue = true)
    {
        program = assemble((prologue ? std::string(kProgramPrologue) : std::string()) + text);
        if (!program.errors.empty()) {
            ADD_FAILURE() << "program: " << program.errors;
            return false;
        }
        board = std::make_unique<vsim::BoardStandIn>(config);
        bool loaded = board->with_firmware(
            [&](vsim::BoardFirmware &fw) { return fw.board().load(0, program.bytes); });
        std::string error;
        if (!loaded || !board->start(error)) {
            ADD_FAILURE() << "board: " << error;
            return false;
        }
        host = open_tcp_session(*board);
        if (!host)
            ADD_FAILURE() << "no TCP session";
        return host != nullptr;
    }

    // Sends a request that starts or steps the program and collects the stop report: the
    // frames up to and including ATBP (or the STARTPROGRAM answer).
    std::vector<Frame> until_stop()
    {
        std::vector<Frame> out;
        for (;;) {
            auto f = host->message();
            if (!f)
                return out;
            out.push_back(*f);
            if (f->type == kLinkDbg && (f->kind() == kDbgAtBp || (f->kind() == kDbgStartProgram && f->ack())))
                return out;
        }
    }
    // The registers of the last REGDATA in a stop report.
    static std::optional<Registers> stop_registers(const std::vector<Frame> &report)
    {
        std::optional<Registers> r;
        for (const Frame &f : report)
            if (f.type == kLinkDbg && f.kind() == kDbgRegData && f.payload.size() == vsim::kRegisterBlockSize)
                r = registers_of(f.payload);
        return r;
    }
};

inline std::vector<std::string> names(const std::vector<Frame> &frames)
{
    std::vector<std::string> out;
    for (const Frame &f : frames) {
        const char *n = link_subtype_name(f.type, f.subtype);
        std::string s = n ? n : std::to_string(f.kind());
        if (f.ack())
            s += "+ACK";
        if (f.nak())
            s += "+NAK";
        out.push_back(s);
    }
    return out;
}

} // namespace boardtest
