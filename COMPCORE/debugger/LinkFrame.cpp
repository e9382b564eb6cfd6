// LinkFrame: the pure frame codec of the target link (see LinkFrame.h).
#include "LinkFrame.h"

#include "linker/CC_ROM.h"

#include <utility>

namespace {

struct SubtypeName {
    uint8_t subtype;
    const char *name;
};

constexpr SubtypeName kSysNames[] = {
    {kSysNak, "NAK"},           {kSysNoop, "NOOP"},           {kSysRead, "READ"},
    {kSysWrite, "WRITE"},       {kSysInfoProbe, "INFOPROBE"}, {kSysStartBios, "STARTBIOS"},
    {kSysSetBaudRate, "SETBAUDRATE"}, {kSysSetOptions, "SETOPTIONS"},
    {kSysRelocate, "RELOCATE"}, {kSysEraseFlash, "ERASEFLASH"}, {kSysFlashData, "FLASHDATA"},
};

constexpr SubtypeName kDbgNames[] = {
    {kDbgSingleStep, "SINGLESTEP"},
    {kDbgToggleBp, "TOGGLEBP"},
    {kDbgClearBps, "CLEARBPS"},
    {kDbgToggleAllBps, "TOGGLEALLBPS"},
    {kDbgAtBp, "ATBP"},
    {kDbgStartProgram, "STARTPROGRAM"},
    {kDbgRunProgram, "RUNPROGRAM"},
    {kDbgStopProgram, "STOPPROGRAM"},
    {kDbgAddWatch, "ADDWATCH"},
    {kDbgDeleteWatch, "DELETEWATCH"},
    {kDbgDeleteAllWatches, "DELETEALLWATCHES"},
    {kDbgExecWatch, "EXECWATCH"},
    {kDbgExecAllWatches, "EXECALLWATCHES"},
    {kDbgSendChar, "SENDCHAR"},
    {kDbgReset, "RESET"},
    {kDbgSetSendFlags, "SETSENDFLAGS"},
    {kDbgRegData, "REGDATA"},
    {kDbgWatchData, "WATCHDATA"},
    {kDbgAsmData, "ASMDATA"},
    {kDbgStackData, "STACKDATA"},
    {kDbgStdio, "STDIO"},
    {kDbgWriteRegData, "WRITEREGDATA"},
    {kDbgCharReady, "CHARREADY"},
    {kDbgNoop, "NOOP"},
    {kDbgEnabledOptions, "ENABLEDOPTIONS"},
    {kDbgSetDebugTag, "SETDEBUGTAG"},
    {kDbgGetDebugTag, "GETDEBUGTAG"},
    {kDbgSetTraceFlags, "SETTRACEFLAGS"},
};

void put_le16(std::vector<uint8_t> &out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

} // namespace

const char *link_subtype_name(uint8_t type, uint8_t subtype)
{
    subtype &= kLinkSubtypeMask;
    if (type == kLinkSys) {
        for (const SubtypeName &n : kSysNames)
            if (n.subtype == subtype)
                return n.name;
    } else if (type == kLinkDbg) {
        for (const SubtypeName &n : kDbgNames)
            if (n.subtype == subtype)
                return n.name;
    }
    return nullptr;
}

uint16_t ComputeCheck(std::span<const uint8_t> bytes, uint16_t state)
{
    unsigned a = state >> 8;
    unsigned b = state & 0xFF;
    for (uint8_t byte : bytes) {
        a += byte;
        if (a > 0xFF)
            a = (a + 1) & 0xFF;
        b += a;
        if (b > 0xFF)
            b = (b + 1) & 0xFF;
    }
    return uint16_t(a << 8 | b);
}

std::array<uint8_t, kLinkHeaderSize> link_header(uint8_t type, uint8_t subtype, uint16_t length)
{
    std::array<uint8_t, kLinkHeaderSize> h{kLinkVersion, 0, type, subtype, uint8_t(length),
                                           uint8_t(length >> 8), 0, 0};
    uint16_t check = ComputeCheck(std::span<const uint8_t>(h.data(), 6));
    h[6] = uint8_t(check);
    h[7] = uint8_t(check >> 8);
    return h;
}

void escape_link_bytes(std::span<const uint8_t> bytes, std::vector<uint8_t> &out)
{
    for (uint8_t b : bytes) {
        if (b == kLinkFlag || b == kLinkEscape) {
            out.push_back(kLinkEscape);
            out.push_back(uint8_t(b ^ kLinkEscapeXor));
        } else {
            out.push_back(b);
        }
    }
}

std::vector<uint8_t> build_link_frame(uint8_t type, uint8_t subtype,
                                      std::span<const uint8_t> payload, bool serial)
{
    auto header = link_header(type, subtype, uint16_t(payload.size()));
    std::vector<uint8_t> plain(header.begin(), header.end());
    plain.insert(plain.end(), payload.begin(), payload.end());
    put_le16(plain, ComputeCheck(plain));
    if (!serial)
        return plain;
    std::vector<uint8_t> out;
    out.reserve(plain.size() + plain.size() / 8 + 2);
    out.push_back(kLinkFlag);
    escape_link_bytes(plain, out);
    return out;
}

// --- Receiving ----------------------------------------------------------------------------------

LinkFrameReader::Event LinkFrameReader::take(uint8_t byte)
{
    Event cut = Event::none;
    if (m_serial && byte == kLinkFlag && m_state != State::drop) {
        if (in_frame())
            cut = end_frame(Event::bad);
        m_state = State::hunting;
    }
    if (!m_serial && byte == kLinkVersion && m_state == State::after_bad_header)
        m_state = State::hunting;

    switch (m_state) {
    case State::hunting:
        start_frame(byte);
        return cut;
    case State::header:
        return header_byte(byte);
    case State::payload:
        return payload_byte(byte);
    case State::check:
        return check_byte(byte);
    case State::after_bad_header:
    case State::drop:
        reset();
        return Event::none;
    }
    return Event::none;
}

bool LinkFrameReader::in_frame() const
{
    return m_state == State::header || m_state == State::payload || m_state == State::check;
}

bool LinkFrameReader::receiving(uint8_t type, uint8_t subtype) const
{
    return (m_state == State::payload || m_state == State::check) && m_header[2] == type &&
           (m_header[3] & kLinkSubtypeMask) == (subtype & kLinkSubtypeMask);
}

void LinkFrameReader::drop()
{
    reset();
    m_state = State::drop;
}

LinkFrameReader::Event LinkFrameReader::abandon()
{
    if (!in_frame())
        return Event::none;
    return end_frame(Event::bad);
}

void LinkFrameReader::reset()
{
    m_state = State::hunting;
    m_escape = false;
    m_header_count = 0;
    m_payload.clear();
    m_expected = 0;
    m_check_count = 0;
    m_raw.clear();
}

void LinkFrameReader::start_frame(uint8_t byte)
{
    reset();
    if (m_serial) {
        if (byte != kLinkFlag)
            return; // between frames
        m_raw.push_back(byte);
        m_state = State::header;
        return;
    }
    m_raw.push_back(byte);
    m_header[0] = byte;
    m_header_count = 1;
    m_state = State::header;
}

// Serial: 0x7D only marks the next byte, which is taken XOR 0x20. Either way the byte as it
// came goes to the raw record.
bool LinkFrameReader::store(uint8_t byte, uint8_t *&out)
{
    m_raw.push_back(byte);
    if (m_serial && m_escape) {
        m_escape = false;
        *out++ = uint8_t(byte ^ kLinkEscapeXor);
        return true;
    }
    if (m_serial && byte == kLinkEscape) {
        m_escape = true;
        return false;
    }
    *out++ = byte;
    return true;
}

LinkFrameReader::Event LinkFrameReader::header_byte(uint8_t byte)
{
    uint8_t *at = m_header.data() + m_header_count;
    if (!store(byte, at))
        return Event::none;
    if (++m_header_count < kLinkHeaderSize)
        return Event::none;
    const size_t length = size_t(m_header[4] | m_header[5] << 8);
    const uint16_t check = ComputeCheck(std::span<const uint8_t>(m_header.data(), 6));
    if (length > kLinkMaxReceivePayload || check != uint16_t(m_header[6] | m_header[7] << 8)) {
        Event e = end_frame(Event::bad);
        m_state = State::after_bad_header;
        return e;
    }
    m_expected = length;
    m_payload.reserve(length);
    m_state = State::payload;
    return Event::none;
}

LinkFrameReader::Event LinkFrameReader::payload_byte(uint8_t byte)
{
    if (m_expected == 0) {
        m_state = State::check;
        return check_byte(byte);
    }
    uint8_t value = 0;
    uint8_t *at = &value;
    if (!store(byte, at))
        return Event::none;
    m_payload.push_back(value);
    if (m_payload.size() == m_expected)
        m_state = State::check;
    return Event::none;
}

LinkFrameReader::Event LinkFrameReader::check_byte(uint8_t byte)
{
    uint8_t *at = m_check.data() + m_check_count;
    if (!store(byte, at))
        return Event::none;
    if (++m_check_count < kLinkCheckSize)
        return Event::none;
    uint16_t check = ComputeCheck(m_header);
    check = ComputeCheck(m_payload, check);
    return end_frame(check == uint16_t(m_check[0] | m_check[1] << 8) ? Event::good : Event::bad);
}

LinkFrameReader::Event LinkFrameReader::end_frame(Event event)
{
    m_ended_type = m_header_count > 2 ? m_header[2] : 0;
    m_ended_subtype = m_header_count > 3 ? m_header[3] : 0;
    m_ended_payload.clear();
    if (event == Event::good)
        std::swap(m_ended_payload, m_payload);
    std::swap(m_ended_raw, m_raw);
    reset();
    return event;
}

// The image builder's CRC step, byte after byte, with the polynomial 0x1021.
uint16_t crc16_xmodem(std::span<const uint8_t> bytes, uint16_t crc)
{
    for (uint8_t byte : bytes)
        crc = crc16_update(byte, 0x1021, crc);
    return crc;
}

uint16_t id_block_crc(std::span<const uint8_t, kIdBlockSize> block)
{
    std::array<uint8_t, kIdBlockSize> copy;
    for (size_t i = 0; i < kIdBlockSize; ++i)
        copy[i] = block[i];
    copy[kIdBlockCrcOffset] = copy[kIdBlockCrcOffset + 1] = 0;
    // Byte 115 (reserved) is left out of the run.
    uint16_t crc = crc16_xmodem(std::span<const uint8_t>(copy.data(), 115));
    return crc16_xmodem(std::span<const uint8_t>(copy.data() + 116, kIdBlockSize - 116), crc);
}

bool id_block_marker_ok(std::span<const uint8_t, kIdBlockSize> block)
{
    for (size_t i = 0; i < 6; ++i)
        if (block[kIdBlockMarkerOffset + i] != (i % 2 == 0 ? 0x55 : 0xAA))
            return false;
    return true;
}

void seal_id_block(std::span<uint8_t, kIdBlockSize> block)
{
    for (size_t i = 0; i < 6; ++i)
        block[kIdBlockMarkerOffset + i] = i % 2 == 0 ? 0x55 : 0xAA;
    uint16_t crc = id_block_crc(block);
    block[kIdBlockCrcOffset] = uint8_t(crc);
    block[kIdBlockCrcOffset + 1] = uint8_t(crc >> 8);
}
