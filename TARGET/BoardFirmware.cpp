// BoardFirmware: the firmware side of the target link (see BoardFirmware.h and the choices in
// TARGET/README.md). Reads top to bottom: the ID block, the log and the fault script, the
// serial line's raw stages (cold loader, pilot BIOS), frame delivery, the SYS requests, the
// loader's TCP requests, the debug kernel's requests, and the program runner with its hooks,
// stops, watches, trace packets and console.
#include "BoardFirmware.h"

#include "linker/MD5.h"

#include <algorithm>
#include <cstring>

namespace vsim {

namespace {

uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t *p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }
void put16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t *p, uint32_t v)
{
    put16(p, uint16_t(v));
    put16(p + 2, uint16_t(v >> 16));
}

// The bootstrap sequence that puts the board into its cold phase from any state.
constexpr std::array<uint8_t, 6> kColdStart = {0x80, 0x50, 0x40, 0x80, 0x0E, 0x20};
// The cold loader's last record.
constexpr std::array<uint8_t, 3> kColdEnd = {0x80, 0x24, 0x80};
// The pilot image starts with this byte; its check starts from both sums at this value.
constexpr uint8_t kPilotStart = 0xCC;
constexpr uint16_t kPilotCheckStart = 0xCCCC;
constexpr size_t kPilotHeaderSize = 7;

// SETSENDFLAGS bits.
constexpr uint8_t kSendStackData = 0x01;
constexpr uint8_t kSendWatchData = 0x02;
constexpr uint8_t kSendAsmData = 0x04;
constexpr uint8_t kSendRegisterData = 0x08;
// SETTRACEFLAGS bits that switch tracing.
constexpr uint8_t kTraceOn = 0x80;
constexpr uint8_t kTraceOff = 0x40;
// TOGGLEBP flags.
constexpr uint8_t kBpActive = 0x02;
constexpr uint8_t kBpDeleted = 0x04;
// ENABLEDOPTIONS bits.
constexpr uint8_t kOptBreakpoints = 0x01;
constexpr uint8_t kOptInstructionStep = 0x02;
constexpr uint8_t kOptWatches = 0x04;
// SINGLESTEP bits: 0 into, 1 over, 2 one instruction, 3 one source statement.
constexpr uint8_t kStepOver = 0x02;
constexpr uint8_t kStepInstruction = 0x04;
constexpr uint8_t kStepSource = 0x08;

void put_text(uint8_t *p, size_t width, std::string_view text)
{
    std::memcpy(p, text.data(), std::min(width - 1, text.size()));
}

} // namespace

// --- ID block -------------------------------------------------------------------------------

// Fields at their offsets in the block (little-endian); see the ID block table of the link.
std::array<uint8_t, kIdBlockSize> default_id_block(const FirmwareConfig &c)
{
    std::array<uint8_t, kIdBlockSize> b{};
    uint8_t *p = b.data();
    put16(p + 0, 2);                                    // tableVersion
    put16(p + 2, c.product_id);                         // productID
    put16(p + 4, 0x0001);                               // vendorID
    const uint8_t stamp[7] = {20, 24, 1, 1, 0, 0, 0};   // century .. second
    std::memcpy(p + 6, stamp, 7);
    put32(p + 13, c.board.flash_id);                         // flashID
    put16(p + 19, uint16_t(c.board.flash_size / 4096)); // flashSize, 4 KB units
    put16(p + 21, 4096);                                // sectorSize
    put16(p + 23, uint16_t(c.board.flash_size / 4096)); // numSectors
    put16(p + 25, 70);                                  // flashSpeed
    put16(p + 45, uint16_t(c.board.ram_size / 4096));   // ramSize, 4 KB units
    put16(p + 47, 70);                                  // ramSpeed
    put16(p + 49, c.cpu_id != 0xFFFF ? c.cpu_id : c.model == CpuModel::r3000 ? 0x0101 : 0x0003);
    put32(p + 51, uint32_t(c.freq_divider) * 614400);   // crystalFreq
    std::memcpy(p + 55, c.mac.data(), 6);               // macAddr
    put_text(p + 61, 24, "KX0000001");                  // serialNumber
    put_text(p + 85, 30, "Vireon stand-in board");      // productName
    put32(p + 116, kIdBlockSize);                       // idBlockSize
    seal_id_block(b);
    return b;
}

// --- construction, log and script ------------------------------------------------------------

BoardFirmware::BoardFirmware(const FirmwareConfig &config, FirmwareOutput &output)
    : m_config(config), m_out(output), m_board(config.board), m_random(std::random_device{}())
{
    m_config.board = m_board.config(); // the map the board took (an invalid one falls back)
    m_board.attach_console(this);
    m_send_flags = m_config.power_on_send_flags;
    m_phase = m_config.initial_phase;
    if (m_phase == BoardPhase::pilot_load)
        m_raw_stage = RawStage::header;
    reset_cpu();
}

void BoardFirmware::clear_log()
{
    m_frames.clear();
    m_raw.clear();
    m_loader = LoaderLog{};
}

void BoardFirmware::log_frame(LinkKind link, const LinkMessage &m, uint32_t baud)
{
    m_frames.push_back({link, baud, m.type, m.subtype, m.payload, m.valid});
    while (m_frames.size() > m_config.log_limit)
        m_frames.pop_front();
}

void BoardFirmware::nak_next(uint8_t type, uint8_t subtype, int times)
{
    m_nak_rules.push_back({type, uint8_t(subtype & kLinkSubtypeMask), times});
}

void BoardFirmware::stay_silent(int requests) { m_silent = std::max(0, requests); }

void BoardFirmware::corrupt_next_check() { m_corrupt_next = true; }

void BoardFirmware::inject_frame(uint8_t type, uint8_t subtype, std::vector<uint8_t> payload)
{
    send(type, subtype, payload);
}

// SYS 63 payload: bytes 0-1 zero, bytes 2-3 the size of the text buffer (its zero included),
// the text from byte 4, then the zero.
void BoardFirmware::inject_text(std::string_view text)
{
    std::vector<uint8_t> p(4 + text.size() + 1, 0);
    put16(p.data() + 2, uint16_t(text.size() + 1));
    std::memcpy(p.data() + 4, text.data(), text.size());
    send(kLinkSys, kSysText, p);
}

void BoardFirmware::inject_status(uint8_t status)
{
    const uint8_t p[1] = {status};
    send(kLinkDbg, kDbgRegData, p);
}

void BoardFirmware::inject_trace(uint8_t flags_and_action) { send_trace(flags_and_action); }

void BoardFirmware::close_tcp()
{
    m_out.link_close_tcp();
    tcp_closed();
}

void BoardFirmware::power_cycle()
{
    const BoardConfig &map = m_board.config();
    for (uint32_t a = 0; a < map.ram_size; ++a)
        (void)m_board.poke(map.ram_base + a, 0);
    m_debug_tag = 0xFFFF;
    m_stdio.clear();
    m_chars_ready = 0;
    reset_kernel();
    m_raw_stage = RawStage::idle;
    close_tcp();
}

// --- sending --------------------------------------------------------------------------------

void BoardFirmware::send(uint8_t type, uint8_t subtype, std::span<const uint8_t> payload)
{
    flush_stdio(); // program output goes out before whatever the kernel says next
    bool serial = m_link == LinkKind::serial;
    std::vector<uint8_t> frame = build_link_frame(type, subtype, payload, false);
    if (m_corrupt_next) {
        frame.back() ^= 0xFF;
        m_corrupt_next = false;
    }
    if (serial) {
        std::vector<uint8_t> escaped{kLinkFlag};
        escape_link_bytes(frame, escaped);
        frame = std::move(escaped);
    }
    m_out.link_write(m_link, std::move(frame), serial ? m_agreed_baud : 0);
}

void BoardFirmware::send_raw(std::span<const uint8_t> bytes)
{
    m_out.link_write(LinkKind::serial, std::vector<uint8_t>(bytes.begin(), bytes.end()),
                     m_agreed_baud);
}

void BoardFirmware::ack(const LinkMessage &m, std::span<const uint8_t> payload)
{
    send(m.type, uint8_t((m.subtype & kLinkSubtypeMask) | kLinkAck), payload);
}

void BoardFirmware::nak(const LinkMessage &m)
{
    send(m.type, uint8_t((m.subtype & kLinkSubtypeMask) | kLinkNak));
}

// A request whose payload is shorter than `size` is refused; true when it was.
bool BoardFirmware::refused_short(const LinkMessage &m, size_t size)
{
    if (m.payload.size() >= size)
        return false;
    nak(m);
    return true;
}

// --- the serial line ------------------------------------------------------------------------

void BoardFirmware::serial_input(std::span<const uint8_t> bytes, uint32_t baud)
{
    if (bytes.empty())
        return;
    m_raw.push_back({LinkKind::serial, baud, std::vector<uint8_t>(bytes.begin(), bytes.end())});
    while (m_raw.size() > m_config.log_limit)
        m_raw.pop_front();
    // A frame or an image cannot continue across a change of line speed: the UART would
    // have lost it.
    if (baud != m_last_baud) {
        m_serial_reader.reset();
        if (m_raw_stage == RawStage::image || m_raw_stage == RawStage::expect_cc)
            m_raw_stage = RawStage::header;
        m_last_baud = baud;
    }
    for (uint8_t byte : bytes) {
        // The bootstrap sequence is recognised at any speed, except inside a frame whose
        // header held or inside the pilot image, where it is data.
        std::rotate(m_window.begin(), m_window.begin() + 1, m_window.end());
        m_window.back() = byte;
        bool data = m_serial_reader.inside_frame() || m_raw_stage == RawStage::image;
        if (m_window == kColdStart && !data) {
            enter_cold();
            continue;
        }
        if (m_config.strict_line_speed && m_agreed_baud != 0 && baud != m_agreed_baud)
            continue; // garbled on a line running at another speed
        if (m_phase == BoardPhase::cold || m_phase == BoardPhase::pilot_load) {
            raw_byte(byte, baud);
            continue;
        }
        if (auto frame = m_serial_reader.feed(byte))
            deliver(LinkKind::serial, std::move(*frame), baud);
    }
}

// The board was reset into its bootstrap port: the kernel's state goes, memory and the debug
// tag stay.
void BoardFirmware::enter_cold()
{
    reset_kernel();
    m_raw_stage = RawStage::records;
    m_raw_collect.clear();
    m_loader.cold_records.clear();
    m_loader.cold_complete = false;
}

// What a reset of the processor ends: the debug kernel's tables and the program's run; the
// board is back in its cold phase with no agreed line speed.
void BoardFirmware::reset_kernel()
{
    m_phase = BoardPhase::cold;
    m_agreed_baud = 0;
    m_serial_reader.reset();
    m_window.fill(0);
    m_mode = RunMode::stopped;
    m_waiting_input = m_want_char = m_sendchar_sent = false;
    m_input.clear();
    m_breakpoints.clear();
    m_watches.clear();
    m_tracing = false;
    m_trace_flags = 0;
    m_send_flags = m_config.power_on_send_flags;
    reset_cpu();
}

// Cold loader: three-byte records up to 80 24 80; nothing is answered. Then the pilot BIOS:
// a 7-byte header whose sum byte is echoed, 0xCC, the rest of the image, and the image's
// two-sum check (from 0xCCCC) sent back. Then the pilot runs, framed, at this speed.
void BoardFirmware::raw_byte(uint8_t byte, uint32_t baud)
{
    switch (m_raw_stage) {
    case RawStage::idle:
        return; // the bootstrap port ignores everything before its sequence
    case RawStage::records: {
        m_raw_collect.push_back(byte);
        if (m_raw_collect.size() < 3)
            return;
        std::array<uint8_t, 3> record{m_raw_collect[0], m_raw_collect[1], m_raw_collect[2]};
        m_raw_collect.clear();
        m_loader.cold_records.push_back(record);
        if (record == kColdEnd) {
            m_loader.cold_complete = true;
            m_phase = BoardPhase::pilot_load;
            m_raw_stage = RawStage::header;
        }
        return;
    }
    case RawStage::header: {
        m_raw_collect.push_back(byte);
        if (m_raw_collect.size() < kPilotHeaderSize)
            return;
        m_loader.pilot_header = m_raw_collect;
        uint8_t sum = 0;
        for (size_t i = 0; i < 6; ++i)
            sum = uint8_t(sum + m_raw_collect[i]);
        const uint8_t echo[1] = {sum};
        send_raw(echo);
        uint16_t length = le16(m_raw_collect.data() + 4);
        m_raw_collect.clear();
        // A header whose sum or length does not hold is answered and then forgotten: the
        // host sees the wrong echo and starts again.
        if (sum != m_loader.pilot_header[6] || length == 0)
            return;
        m_image_left = length - 1u;
        m_raw_stage = RawStage::expect_cc;
        return;
    }
    case RawStage::expect_cc:
        if (byte != kPilotStart) {
            m_raw_stage = RawStage::header;
            return;
        }
        m_loader.pilot_image.assign(1, kPilotStart);
        m_loader.pilot_complete = false;
        m_raw_stage = RawStage::image;
        break;
    case RawStage::image:
        m_loader.pilot_image.push_back(byte);
        --m_image_left;
        break;
    }
    if (m_image_left != 0)
        return;
    std::span<const uint8_t> image(m_loader.pilot_image);
    uint16_t check = ComputeCheck(image.subspan(1), kPilotCheckStart);
    const uint8_t reply[2] = {uint8_t(check), uint8_t(check >> 8)};
    send_raw(reply);
    m_loader.pilot_complete = true;
    m_loader.pilot_baud = baud;
    m_raw_stage = RawStage::idle;
    m_phase = BoardPhase::pilot;
    m_agreed_baud = baud;
    m_serial_reader.reset();
}

// --- TCP ------------------------------------------------------------------------------------

void BoardFirmware::tcp_connected()
{
    m_tcp_reader.reset();
    m_link = LinkKind::tcp;
    m_tcp_auth = TcpAuth::waiting;
    if (m_config.challenge) {
        m_challenge = *m_config.challenge;
    } else {
        for (uint8_t &b : m_challenge)
            b = uint8_t(m_random());
    }
    m_expected_response.fill(0);
    if (m_config.challenge_method == 1) {
        auto phrase = md5_digest(std::span<const uint8_t>(
            reinterpret_cast<const uint8_t *>(m_config.pass_phrase.data()), m_config.pass_phrase.size()));
        std::array<uint8_t, 32> both;
        std::copy(m_challenge.begin(), m_challenge.end(), both.begin());
        std::copy(phrase.begin(), phrase.end(), both.begin() + 16);
        m_expected_response = md5_digest(both);
    }
    std::vector<uint8_t> p(1 + 16);
    p[0] = m_config.challenge_method;
    std::copy(m_challenge.begin(), m_challenge.end(), p.begin() + 1);
    send(kLinkDbg, kDbgChallenge, p);
}

void BoardFirmware::tcp_input(std::span<const uint8_t> bytes)
{
    m_raw.push_back({LinkKind::tcp, 0, std::vector<uint8_t>(bytes.begin(), bytes.end())});
    while (m_raw.size() > m_config.log_limit)
        m_raw.pop_front();
    for (LinkMessage &m : m_tcp_reader.feed(bytes)) {
        if (m_tcp_auth == TcpAuth::none)
            break; // the connection was dropped by a frame before
        deliver(LinkKind::tcp, std::move(m), 0);
    }
}

void BoardFirmware::tcp_closed()
{
    m_tcp_auth = TcpAuth::none;
    m_tcp_reader.reset();
    m_link = LinkKind::serial;
}

// A response other than the one expected drops the connection.
void BoardFirmware::check_challenge_response(const LinkMessage &m)
{
    bool good = m.payload.size() >= 16 &&
                std::equal(m_expected_response.begin(), m_expected_response.end(), m.payload.begin());
    if (!good) {
        close_tcp();
        return;
    }
    m_tcp_auth = TcpAuth::ok;
}

// --- frames ---------------------------------------------------------------------------------

void BoardFirmware::deliver(LinkKind link, LinkMessage message, uint32_t baud)
{
    log_frame(link, message, baud);
    if (!message.valid)
        return; // a bad frame is not answered: the host sends it again
    m_link = link;
    if (message.subtype & (kLinkAck | kLinkNak)) {
        if (message.type == kLinkDbg && (message.subtype & kLinkSubtypeMask) == kDbgStdio)
            ++m_stdio_acks;
        return; // the host's acknowledgement of something the board sent
    }
    if (link == LinkKind::tcp && m_tcp_auth != TcpAuth::ok) {
        if (message.type == kLinkDbg && message.subtype == kDbgChallengeResponse)
            check_challenge_response(message);
        return;
    }
    if (m_silent > 0) {
        --m_silent;
        return;
    }
    for (auto it = m_nak_rules.begin(); it != m_nak_rules.end(); ++it) {
        if (it->type == message.type && it->subtype == message.subtype) {
            if (--it->times <= 0)
                m_nak_rules.erase(it);
            nak(message);
            return;
        }
    }
    dispatch(message);
}

void BoardFirmware::dispatch(const LinkMessage &m)
{
    if (m.type == kLinkSys) {
        if (m_phase == BoardPhase::pilot || m_phase == BoardPhase::bios)
            dispatch_sys(m);
        return;
    }
    if (m.type != kLinkDbg)
        return;
    if (m.subtype >= kDbgSetTargetBaud) {
        if (m_link == LinkKind::tcp)
            dispatch_loader(m);
        return;
    }
    // The pilot BIOS keeps the debug tag too: the host sets it right after the baud rate.
    bool tag = m.subtype == kDbgSetDebugTag || m.subtype == kDbgGetDebugTag;
    if (m_phase == BoardPhase::bios || (tag && m_phase == BoardPhase::pilot))
        dispatch_dbg(m);
}

// --- SYS ------------------------------------------------------------------------------------

void BoardFirmware::dispatch_sys(const LinkMessage &m)
{
    const std::vector<uint8_t> &p = m.payload;
    switch (m.subtype) {
    case kSysNoop:
        ack(m);
        return;
    case kSysRead:
        memory_read(m);
        return;
    case kSysWrite:
        memory_write(m);
        return;
    case kSysInfoProbe: {
        std::array<uint8_t, kInfoProbeSize> r{};
        put16(r.data(), m_config.board.flash_id);
        r[2] = m_config.ram_size_code ? m_config.ram_size_code : uint8_t(m_config.board.ram_size / 1024 / 32);
        r[3] = m_config.freq_divider;
        put16(r.data() + 4, m_config.cpu_id != 0xFFFF ? m_config.cpu_id
                            : m_config.model == CpuModel::r3000 ? 0x0101 : 0x0003);
        auto block = m_config.id_block ? *m_config.id_block : default_id_block(m_config);
        std::copy(block.begin(), block.end(), r.begin() + 8);
        ack(m, r);
        return;
    }
    case kSysStartBios:
        if (p.empty() || (p[0] != 1 && p[0] != 2)) {
            nak(m);
            return;
        }
        ack(m);
        m_phase = BoardPhase::bios;
        m_agreed_baud = m_link == LinkKind::serial ? m_config.debug_baud : m_agreed_baud;
        m_mode = RunMode::stopped;
        reset_cpu();
        return;
    case kSysSetBaudRate: {
        uint32_t rate = p.size() >= 4 ? le32(p.data()) : 0;
        if (rate == 0 || rate > m_config.max_baud) {
            nak(m);
            return;
        }
        ack(m); // at the old speed; the new one holds from the next byte
        if (m_link == LinkKind::serial)
            m_agreed_baud = rate;
        return;
    }
    case kSysEraseFlash:
        erase_flash(m);
        return;
    case kSysFlashData:
        if (refused_short(m, 8))
            return;
        m_loader.flash_parameters = {le16(&p[0]), le16(&p[2]), le16(&p[4]), le16(&p[6])};
        ack(m);
        return;
    default:
        return; // not a request this loader knows: no answer
    }
}

// Memory payload: mode (0 physical, 1 XPC window, 3 logical), count (u16), then a u32
// physical address (mode 0) or a u16 logical address and the XPC (modes 1 and 3).
std::optional<std::vector<uint32_t>> BoardFirmware::request_addresses(std::span<const uint8_t> p,
                                                                       size_t count) const
{
    std::vector<uint32_t> out;
    out.reserve(count);
    uint8_t mode = p[0];
    if (mode == 0) {
        uint32_t start = le32(&p[3]);
        for (size_t i = 0; i < count; ++i)
            out.push_back(start + uint32_t(i));
    } else if (mode == 1 || mode == 3) {
        uint16_t logical = le16(&p[3]);
        uint8_t xpc = p[5];
        for (size_t i = 0; i < count; ++i)
            out.push_back(m_board.to_physical(uint16_t(logical + i), xpc));
    } else {
        return std::nullopt;
    }
    for (uint32_t a : out)
        if (!m_board.is_flash(a) && !m_board.is_ram(a))
            return std::nullopt;
    return out;
}

// The reply repeats the request's first 6 bytes; the data follow from offset 6.
void BoardFirmware::memory_read(const LinkMessage &m)
{
    const std::vector<uint8_t> &p = m.payload;
    if (refused_short(m, 7))
        return;
    size_t count = le16(&p[1]);
    auto addresses = count <= 128 ? request_addresses(p, count) : std::nullopt;
    if (!addresses) {
        nak(m);
        return;
    }
    std::vector<uint8_t> r(p.begin(), p.begin() + 6);
    for (uint32_t a : *addresses)
        r.push_back(m_board.peek(a));
    ack(m, r);
}

// All or nothing: a write that names a byte outside flash and RAM, or more data than it
// carries, writes nothing.
void BoardFirmware::memory_write(const LinkMessage &m)
{
    const std::vector<uint8_t> &p = m.payload;
    if (refused_short(m, 7))
        return;
    size_t count = le16(&p[1]);
    auto addresses = count <= p.size() - 7 ? request_addresses(p, count) : std::nullopt;
    if (!addresses) {
        nak(m);
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        uint32_t a = (*addresses)[i];
        if (m_board.is_flash(a))
            (void)m_board.flash_write(a, p[7 + i]);
        else
            (void)m_board.poke(a, p[7 + i]);
    }
    ack(m);
}

// The value is the physical end address: flash from its start up to it reads 0xFF after.
void BoardFirmware::erase_flash(const LinkMessage &m)
{
    const std::vector<uint8_t> &p = m.payload;
    uint32_t flash_end = m_config.board.flash_base + m_config.board.flash_size;
    if (p.size() < 4 || le32(p.data()) > flash_end) {
        nak(m);
        return;
    }
    for (uint32_t a = m_config.board.flash_base; a < le32(p.data()); ++a)
        (void)m_board.flash_write(a, 0xFF);
    ack(m);
}

// --- the network loader's requests (TCP) ------------------------------------------------------

void BoardFirmware::dispatch_loader(const LinkMessage &m)
{
    const std::vector<uint8_t> &p = m.payload;
    switch (m.subtype) {
    case kDbgSetTargetBaud:
    case kDbgResetWithMode:
    case kDbgLinkRequest:
        ack(m);
        return;
    case kDbgColdLoader: // u16 length, the file
        if (p.size() < 2 || le16(p.data()) != p.size() - 2) {
            nak(m);
            return;
        }
        m_loader.tcp_cold_loader.assign(p.begin() + 2, p.end());
        ack(m);
        if (m_phase == BoardPhase::cold)
            m_phase = BoardPhase::pilot_load;
        return;
    case kDbgPilotHeader: // u32 BIOS baud, u16 7, the header, one spare byte (14 bytes)
        if (p.size() != 7 + kPilotHeaderSize || le16(&p[4]) != kPilotHeaderSize) {
            nak(m);
            return;
        }
        m_loader.tcp_pilot_header.assign(p.begin() + 6, p.begin() + 6 + kPilotHeaderSize);
        ack(m);
        return;
    case kDbgPilotImage: // u32 BIOS baud, u16 image length, the image from 0xCC
        if (p.size() < 7 || le16(&p[4]) != p.size() - 6 || p[6] != kPilotStart) {
            nak(m);
            return;
        }
        m_loader.tcp_pilot_image.assign(p.begin() + 6, p.end());
        m_loader.tcp_pilot_baud = le32(p.data());
        ack(m);
        m_phase = BoardPhase::pilot;
        return;
    default:
        return;
    }
}

// --- DBG ------------------------------------------------------------------------------------

void BoardFirmware::dispatch_dbg(const LinkMessage &m)
{
    const std::vector<uint8_t> &p = m.payload;
    switch (m.subtype) {
    case kDbgSingleStep:
        single_step(m);
        return;
    case kDbgToggleBp:
        toggle_breakpoint(m);
        return;
    case kDbgClearBps:
        m_breakpoints.clear();
        ack(m);
        return;
    case kDbgStartProgram:
        start_program(m);
        return;
    case kDbgRunProgram:
        ack(m);
        if (!running())
            m_mode = RunMode::running;
        return;
    case kDbgStopProgram:
        ack(m);
        if (running())
            stop_run();
        return;
    case kDbgAddWatch:
        if (!(m_config.enabled_options & kOptWatches) || p.size() < 5 ||
            m_watches.size() >= m_config.max_watches) {
            nak(m);
            return;
        }
        m_watches.push_back({le32(p.data()), p[4], {}});
        ack(m);
        return;
    case kDbgDeleteWatch:
        if (p.empty() || p[0] >= m_watches.size()) {
            nak(m);
            return;
        }
        m_watches.erase(m_watches.begin() + p[0]);
        ack(m);
        return;
    case kDbgDeleteAllWatches:
        m_watches.clear();
        ack(m);
        return;
    case kDbgExecWatch:
        if (p.empty() || p[0] >= m_watches.size()) {
            nak(m);
            return;
        }
        run_watch(m_watches[p[0]]);
        ack(m);
        return;
    case kDbgExecAllWatches:
        for (Watch &w : m_watches)
            run_watch(w);
        ack(m);
        return;
    case kDbgWatchData:
        ack(m, watch_data());
        return;
    case kDbgSendChar:
        if (refused_short(m, 1))
            return;
        m_input.push_back(p[0]);
        ack(m);
        m_waiting_input = false;
        m_sendchar_sent = false;
        return;
    case kDbgReset:
        ack(m);
        m_mode = RunMode::stopped;
        m_waiting_input = false;
        m_input.clear();
        reset_cpu();
        return;
    case kDbgSetSendFlags:
        if (refused_short(m, 1))
            return;
        m_send_flags = p[0];
        ack(m);
        return;
    case kDbgRegData: {
        auto regs = register_block();
        ack(m, regs);
        return;
    }
    case kDbgWriteRegData:
        write_registers(m);
        return;
    case kDbgCharReady:
        if (refused_short(m, 1))
            return;
        m_chars_ready = p[0];
        ack(m);
        // A program waiting for a character asks for it again now that one is there.
        if (m_chars_ready && m_waiting_input && m_input.empty()) {
            send(kLinkDbg, kDbgSendChar);
            m_sendchar_sent = true;
        }
        return;
    case kDbgNoop:
        ack(m);
        return;
    case kDbgEnabledOptions: {
        const uint8_t r[3] = {m_config.enabled_options, m_config.max_watches, m_config.max_breakpoints};
        ack(m, r);
        return;
    }
    case kDbgSetDebugTag:
        if (refused_short(m, 2))
            return;
        m_debug_tag = le16(p.data());
        ack(m);
        return;
    case kDbgGetDebugTag: {
        uint8_t r[2];
        put16(r, m_debug_tag);
        ack(m, r);
        return;
    }
    case kDbgSetTraceFlags:
        set_trace_flags(m);
        return;
    default:
        return; // the kernel's own messages, or nothing it knows: no answer
    }
}

// TOGGLEBP: u32 address word (XPC << 16 | offset of the hook), u8 flags, u16 value. Kept by
// physical address, so a root hook added in its xmem form is removed by its root form.
void BoardFirmware::toggle_breakpoint(const LinkMessage &m)
{
    const std::vector<uint8_t> &p = m.payload;
    if (!(m_config.enabled_options & kOptBreakpoints) || p.size() < 5) {
        nak(m);
        return;
    }
    uint32_t physical = physical_of(le32(p.data()));
    uint8_t flags = p[4];
    bool on_board = m_board.is_flash(physical) || m_board.is_ram(physical);
    if (flags & kBpDeleted) {
        m_breakpoints.erase(physical);
        ack(m);
        return;
    }
    if (!(flags & kBpActive) || !on_board) {
        nak(m);
        return;
    }
    if (!m_breakpoints.count(physical) && m_breakpoints.size() >= m_config.max_breakpoints) {
        nak(m);
        return;
    }
    m_breakpoints.insert(physical);
    ack(m);
}

void BoardFirmware::single_step(const LinkMessage &m)
{
    const std::vector<uint8_t> &p = m.payload;
    uint8_t how = p.empty() ? 0 : p[0];
    bool instruction = (how & kStepInstruction) != 0;
    bool source = (how & kStepSource) != 0;
    bool allowed = source || (m_config.enabled_options & kOptInstructionStep);
    if (running() || instruction == source || !allowed) {
        nak(m);
        return;
    }
    ack(m);
    m_step_over = (how & kStepOver) != 0;
    m_step_sp = m_cpu.sp;
    if (instruction)
        m_mode = RunMode::step_instruction;
    else
        m_mode = m_step_over ? RunMode::source_over : RunMode::source_into;
}

// The start report (REGDATA and the rest, then STARTPROGRAM) is the answer: it goes out when
// the program reaches its first hook, never before.
void BoardFirmware::start_program(const LinkMessage &)
{
    m_input.clear();
    m_waiting_input = false;
    m_sendchar_sent = false;
    reset_cpu();
    m_mode = RunMode::starting;
}

// WRITEREGDATA: the register block of REGDATA; its status byte is a report, not a register.
void BoardFirmware::write_registers(const LinkMessage &m)
{
    const std::vector<uint8_t> &p = m.payload;
    if (p.size() < kRegisterBlockSize || running()) {
        nak(m);
        return;
    }
    CpuState &s = m_cpu;
    s.sp = le16(&p[0]);
    s.xpc = p[2];
    // Alternate pairs, each little-endian: AF' (F' low), BC', DE', HL'.
    const Reg8 alt_low[4] = {rF, rC, rE, rL};
    const Reg8 alt_high[4] = {rA, rB, rD, rH};
    for (int i = 0; i < 4; ++i) {
        s.alt[alt_low[i]] = p[4 + 2 * i];
        s.alt[alt_high[i]] = p[5 + 2 * i];
    }
    s.set_af(le16(&p[12]));
    s.set_bc(le16(&p[14]));
    s.set_de(le16(&p[16]));
    s.set_hl(le16(&p[18]));
    s.ix = le16(&p[20]);
    s.iy = le16(&p[22]);
    s.pc = le16(&p[25]);
    ack(m);
}

// Bit 7 switches tracing on, bit 6 off; the others are kept. A one-byte REGDATA then tells
// the host whether tracing runs (bit 7).
void BoardFirmware::set_trace_flags(const LinkMessage &m)
{
    if (refused_short(m, 1))
        return;
    uint8_t f = m.payload[0];
    m_trace_flags = f & 0x3F;
    ack(m);
    if (!(f & (kTraceOn | kTraceOff)))
        return;
    m_tracing = (f & kTraceOn) != 0;
    inject_status(m_tracing ? 0x80 : 0x00);
}

// --- the program ----------------------------------------------------------------------------

bool BoardFirmware::running() const { return m_mode != RunMode::stopped; }

bool BoardFirmware::wants_cpu() const { return running() && !m_waiting_input; }

// Power-on registers and MMU, PC at the start address.
void BoardFirmware::reset_cpu()
{
    cpu_reset(m_cpu, m_config.model);
    m_board.reset();
    m_cpu.pc = m_config.start_pc;
    m_cpu.xpc = m_config.start_xpc;
    m_cpu.sp = m_config.start_sp;
    m_want_char = false;
    m_exit_trap = false;
}

uint32_t BoardFirmware::physical_of(uint32_t address_word) const
{
    return m_board.to_physical(uint16_t(address_word), uint8_t(address_word >> 16));
}

// The length of a call-like instruction (call, lcall, rst other than the hook, syscall), or 0.
uint8_t BoardFirmware::call_length(uint16_t pc, uint8_t xpc) const
{
    uint8_t op = m_board.peek(m_board.to_physical(pc, xpc));
    switch (op) {
    case 0xCD: return 3;                                   // call mn
    case 0xCF: return 4;                                   // lcall xpc,mn
    case 0xD7: case 0xDF: case 0xE7: case 0xFF: return 1; // rst v
    case 0xED:                                             // syscall
        if (m_config.model == CpuModel::r3000 &&
            m_board.peek(m_board.to_physical(uint16_t(pc + 1), xpc)) == 0x75)
            return 2;
        return 0;
    default: return 0;
    }
}

void BoardFirmware::run_slice()
{
    for (uint32_t n = 0; n < m_config.slice_instructions && wants_cpu(); ++n)
        if (!step_once())
            break;
    flush_stdio();
}

// One hook or one instruction of a run; false when the run stopped or now waits for input.
bool BoardFirmware::step_once()
{
    if (m_board.read(m_cpu.pc, m_cpu.xpc) == kHookOpcode) {
        if (hook_stops()) {
            stop_run();
            return false;
        }
        return true;
    }
    uint16_t pc = m_cpu.pc;
    uint16_t sp = m_cpu.sp;
    uint8_t call = m_mode == RunMode::step_instruction && m_step_over ? call_length(pc, m_cpu.xpc) : 0;
    m_exit_trap = false;
    m_want_char = false;
    cpu_step(m_cpu, m_board);
    if (m_cpu.fault != CpuFault::none) {
        // An undefined opcode stops the program there; the next run meets it again.
        m_cpu.pc = m_cpu.fault_pc;
        m_cpu.xpc = m_cpu.fault_xpc;
        m_cpu.fault = CpuFault::none;
        stop_run();
        return false;
    }
    if (m_exit_trap) {
        m_cpu.pc = pc; // the trap's own address: `__xexit__`
        stop_run();
        return false;
    }
    if (m_want_char && m_input.empty()) {
        if (!m_sendchar_sent)
            send(kLinkDbg, kDbgSendChar);
        m_sendchar_sent = true;
        m_waiting_input = true;
        return false;
    }
    switch (m_mode) {
    case RunMode::step_instruction:
        if (call && m_cpu.pc != uint16_t(pc + call)) {
            m_mode = RunMode::step_return;
            m_return_pc = uint16_t(pc + call);
            m_return_sp = sp;
            return true;
        }
        settle_on_hook();
        stop_run();
        return false;
    case RunMode::step_return:
        if (m_cpu.pc == m_return_pc && m_cpu.sp == m_return_sp) {
            settle_on_hook();
            stop_run();
            return false;
        }
        return true;
    case RunMode::stopped:
    case RunMode::running:
    case RunMode::starting:
    case RunMode::source_into:
    case RunMode::source_over:
        return true;
    }
    return true;
}

// The CPU stands on a hook: it costs nothing and the PC passes it. Whether the run stops here
// depends on the breakpoints and on what the run is for.
bool BoardFirmware::hook_stops()
{
    uint32_t physical = m_board.to_physical(m_cpu.pc, m_cpu.xpc);
    m_cpu.pc = uint16_t(m_cpu.pc + 1);
    bool stop = m_breakpoints.count(physical) != 0;
    switch (m_mode) {
    case RunMode::starting:
    case RunMode::source_into:
        stop = true;
        break;
    case RunMode::source_over:
        stop = stop || m_cpu.sp >= m_step_sp;
        break;
    case RunMode::step_instruction:
        stop = false; // hooks in front of the stepped instruction are passed
        break;
    case RunMode::stopped:
    case RunMode::running:
    case RunMode::step_return:
        break;
    }
    if (m_tracing)
        send_trace(uint8_t(kTraceExecute | (stop ? 0 : kTraceRunsOn)));
    return stop;
}

// A step that ends in front of a hook passes it, so the PC reported is a statement's address.
void BoardFirmware::settle_on_hook()
{
    if (m_board.read(m_cpu.pc, m_cpu.xpc) != kHookOpcode)
        return;
    m_cpu.pc = uint16_t(m_cpu.pc + 1);
    if (m_tracing)
        send_trace(kTraceExecute);
}

void BoardFirmware::stop_run()
{
    bool start = m_mode == RunMode::starting;
    m_mode = RunMode::stopped;
    m_waiting_input = false;
    report_stop(start);
}

// A stop: REGDATA, STACKDATA, ASMDATA and WATCHDATA as the send flags ask, then ATBP (or the
// STARTPROGRAM answer when the stop ends a start).
void BoardFirmware::report_stop(bool start)
{
    flush_stdio();
    if (m_send_flags & kSendRegisterData) {
        auto regs = register_block();
        send(kLinkDbg, kDbgRegData, regs);
    }
    if (m_send_flags & kSendStackData)
        send(kLinkDbg, kDbgStackData, logical_bytes(m_cpu.sp, size_t(m_config.stack_data_words) * 2));
    if (m_send_flags & kSendAsmData)
        send(kLinkDbg, kDbgAsmData, logical_bytes(m_cpu.pc, m_config.asm_data_bytes));
    if (m_send_flags & kSendWatchData) {
        for (Watch &w : m_watches)
            run_watch(w);
        send(kLinkDbg, kDbgWatchData, watch_data());
    }
    if (start)
        send(kLinkDbg, uint8_t(kDbgStartProgram | kLinkAck));
    else
        send(kLinkDbg, kDbgAtBp);
}

// Register block (REGDATA, WRITEREGDATA, trace packets): SP, XPC, 0, AF' BC' DE' HL',
// AF BC DE HL, IX IY, status (the interrupt priority), PC.
std::array<uint8_t, kRegisterBlockSize> BoardFirmware::register_block() const
{
    const CpuState &s = m_cpu;
    std::array<uint8_t, kRegisterBlockSize> r{};
    put16(&r[0], s.sp);
    r[2] = s.xpc;
    put16(&r[4], s.af2());
    put16(&r[6], s.bc2());
    put16(&r[8], s.de2());
    put16(&r[10], s.hl2());
    put16(&r[12], s.af());
    put16(&r[14], s.bc());
    put16(&r[16], s.de());
    put16(&r[18], s.hl());
    put16(&r[20], s.ix);
    put16(&r[22], s.iy);
    r[24] = s.ip;
    put16(&r[25], s.pc);
    return r;
}

std::vector<uint8_t> BoardFirmware::logical_bytes(uint16_t address, size_t count) const
{
    std::vector<uint8_t> out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = m_board.peek(m_board.to_physical(uint16_t(address + i), m_cpu.xpc));
    return out;
}

// DBG 28: the flags-and-action byte, then the register block.
void BoardFirmware::send_trace(uint8_t flags_and_action)
{
    std::array<uint8_t, kTracePacketSize> p{};
    p[0] = flags_and_action;
    auto regs = register_block();
    std::copy(regs.begin(), regs.end(), p.begin() + 1);
    send(kLinkDbg, kDbgTrace, p);
}

// A watch is a subroutine: called with the registers of the stop, run until it returns (or
// for at most the configured number of instructions), and the registers put back. Its entry:
// the 12 bytes HL points to on return, the status byte, 0, HL, 0, 0.
void BoardFirmware::run_watch(Watch &w)
{
    CpuState saved = m_cpu;
    RunMode mode = m_mode;
    bool exit_trap = m_exit_trap, want_char = m_want_char;
    m_in_watch = true;
    m_exit_trap = false;

    m_cpu.sp = uint16_t(m_cpu.sp - 2);
    m_board.write(m_cpu.sp, m_cpu.xpc, uint8_t(saved.pc));
    m_board.write(uint16_t(m_cpu.sp + 1), m_cpu.xpc, uint8_t(saved.pc >> 8));
    m_cpu.pc = uint16_t(w.address);
    if (m_cpu.pc >= kXmemWindowStart)
        m_cpu.xpc = uint8_t(w.address >> 16);

    uint8_t status = kWatchTooLong;
    for (uint64_t n = 0; n < m_config.watch_instruction_limit; ++n) {
        if (m_cpu.pc == saved.pc && m_cpu.sp == saved.sp) {
            status = kWatchReturned;
            break;
        }
        if (m_board.read(m_cpu.pc, m_cpu.xpc) == kHookOpcode) {
            m_cpu.pc = uint16_t(m_cpu.pc + 1);
            continue;
        }
        cpu_step(m_cpu, m_board);
        if (m_cpu.fault != CpuFault::none) {
            status = kWatchBadOpcode;
            break;
        }
        if (m_exit_trap) {
            status = kWatchExited;
            break;
        }
    }
    w.entry.fill(0);
    if (status == kWatchReturned)
        for (size_t i = 0; i < kWatchValueSize; ++i)
            w.entry[i] = m_board.peek(m_board.to_physical(uint16_t(m_cpu.hl() + i), m_cpu.xpc));
    w.entry[12] = status;
    put16(&w.entry[14], m_cpu.hl());

    m_cpu = saved;
    m_mode = mode;
    m_exit_trap = exit_trap;
    m_want_char = want_char;
    m_in_watch = false;
}

std::vector<uint8_t> BoardFirmware::watch_data() const
{
    std::vector<uint8_t> out;
    out.reserve(m_watches.size() * kWatchEntrySize);
    for (const Watch &w : m_watches)
        out.insert(out.end(), w.entry.begin(), w.entry.end());
    return out;
}

// --- console --------------------------------------------------------------------------------

uint8_t BoardFirmware::console_read(uint16_t port)
{
    switch (port) {
    case kPortConsoleData: {
        if (m_input.empty())
            return 0;
        uint8_t c = m_input.front();
        m_input.pop_front();
        return c;
    }
    case kPortConsoleStatus:
        if (m_input.empty() && !m_in_watch)
            m_want_char = true;
        return uint8_t((m_input.empty() ? 0 : kConsoleInputReady) | kConsoleOutputReady);
    default:
        return 0;
    }
}

void BoardFirmware::console_write(uint16_t port, uint8_t value)
{
    if (port == kPortExit) {
        m_exit_trap = true;
        return;
    }
    if (port != kPortConsoleData)
        return;
    m_stdio.push_back(value);
    if (m_stdio.size() >= m_config.stdio_chunk)
        flush_stdio();
}

void BoardFirmware::flush_stdio()
{
    if (m_stdio.empty())
        return;
    std::vector<uint8_t> out;
    out.swap(m_stdio);
    size_t chunk = std::max<size_t>(1, m_config.stdio_chunk);
    for (size_t at = 0; at < out.size(); at += chunk) {
        size_t n = std::min(chunk, out.size() - at);
        send(kLinkDbg, kDbgStdio, std::span<const uint8_t>(out.data() + at, n));
    }
}

} // namespace vsim
