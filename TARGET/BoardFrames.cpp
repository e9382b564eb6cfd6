// BoardFrames: the stand-in's frame readers (see BoardFrames.h).
#include "BoardFrames.h"

#include "debugger/LinkFrame.h"

namespace vsim {

namespace {

uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

// The frame check runs over the 8 header bytes and then the payload.
uint16_t frame_check(std::span<const uint8_t> header, std::span<const uint8_t> payload)
{
    return ComputeCheck(payload, ComputeCheck(header));
}

} // namespace

std::optional<LinkHeaderFields> parse_link_header(std::span<const uint8_t, 8> header)
{
    uint16_t length = le16(header.data() + 4);
    if (length > kLinkMaxReceivePayload)
        return std::nullopt;
    if (ComputeCheck(header.first(6)) != le16(header.data() + 6))
        return std::nullopt;
    return LinkHeaderFields{header[2], header[3], length};
}

// --- serial ---------------------------------------------------------------------------------

void SerialFrameReader::reset()
{
    m_state = State::hunt;
    m_escape = false;
    m_count = 0;
    m_length = 0;
    m_payload.clear();
}

LinkMessage SerialFrameReader::finish(bool valid)
{
    LinkMessage m;
    m.type = m_header[2];
    m.subtype = m_header[3];
    m.payload = std::move(m_payload);
    m.valid = valid;
    reset();
    return m;
}

std::optional<LinkMessage> SerialFrameReader::feed(uint8_t byte)
{
    // A flag byte always opens a frame, wherever the reader stood (escape pending or not).
    if (byte == kLinkFlag) {
        reset();
        m_state = State::header;
        return std::nullopt;
    }
    if (m_state == State::hunt)
        return std::nullopt; // noise between frames
    if (byte == kLinkEscape && !m_escape) {
        m_escape = true;
        return std::nullopt;
    }
    uint8_t value = m_escape ? uint8_t(byte ^ kLinkEscapeXor) : byte;
    m_escape = false;
    return take_byte(value);
}

std::optional<LinkMessage> SerialFrameReader::take_byte(uint8_t value)
{
    switch (m_state) {
    case State::hunt:
        return std::nullopt;
    case State::header: {
        m_header[m_count++] = value;
        if (m_count < 8)
            return std::nullopt;
        auto fields = parse_link_header(std::span<const uint8_t, 8>(m_header, 8));
        if (!fields)
            return finish(false);
        m_length = fields->length;
        m_count = 0;
        m_payload.clear();
        m_payload.reserve(m_length);
        m_state = m_length == 0 ? State::check : State::payload;
        return std::nullopt;
    }
    case State::payload:
        m_payload.push_back(value);
        if (m_payload.size() == m_length)
            m_state = State::check;
        return std::nullopt;
    case State::check: {
        m_check[m_count++] = value;
        if (m_count < 2)
            return std::nullopt;
        bool good = frame_check(m_header, m_payload) == le16(m_check);
        return finish(good);
    }
    }
    return std::nullopt;
}

// --- stream (TCP) ---------------------------------------------------------------------------

void StreamFrameReader::reset()
{
    m_buffer.clear();
    m_start = 0;
    m_resyncing = false;
}

std::vector<LinkMessage> StreamFrameReader::feed(std::span<const uint8_t> bytes)
{
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
    std::vector<LinkMessage> out;
    while (m_buffer.size() - m_start >= kLinkHeaderSize) {
        const uint8_t *at = m_buffer.data() + m_start;
        auto fields = parse_link_header(std::span<const uint8_t, 8>(at, 8));
        if (!fields) {
            if (!m_resyncing) {
                LinkMessage bad;
                bad.type = at[2];
                bad.subtype = at[3];
                out.push_back(std::move(bad));
                m_resyncing = true;
            }
            ++m_start;
            continue;
        }
        size_t whole = kLinkHeaderSize + fields->length + kLinkCheckSize;
        if (m_buffer.size() - m_start < whole)
            break;
        m_resyncing = false;
        LinkMessage m;
        m.type = fields->type;
        m.subtype = fields->subtype;
        m.payload.assign(at + kLinkHeaderSize, at + kLinkHeaderSize + fields->length);
        m.valid = frame_check(std::span<const uint8_t>(at, kLinkHeaderSize), m.payload) ==
                  le16(at + kLinkHeaderSize + fields->length);
        out.push_back(std::move(m));
        m_start += whole;
    }
    // Drop what was consumed once it is worth the move.
    if (m_start > 4096 || m_start == m_buffer.size()) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + long(m_start));
        m_start = 0;
    }
    return out;
}

} // namespace vsim
