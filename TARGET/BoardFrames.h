// BoardFrames: the board stand-in's own frame readers, one per link kind (frame layout and
// codec in LinkFrame). The serial reader hunts for the 0x7E flag and undoes the escaping; the
// stream reader (TCP) takes frames back to back and finds its way back into step after noise
// by sliding one byte at a time until a header's check holds. Both hand over every frame they
// finish, good or bad, and never read past an announced payload.
// Used by the stand-in's link loop (BoardStandIn) and the download benchmark. Std-only.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vsim {

// One frame as read: its type, subtype byte (flags included) and payload. A bad frame (header
// or frame check wrong, or a length over the receive limit) carries what was read of it.
struct LinkMessage {
    uint8_t type = 0;
    uint8_t subtype = 0;
    std::vector<uint8_t> payload;
    bool valid = false;
};

class SerialFrameReader {
public:
    // Takes one byte off the line; returns the frame that this byte finished, if any.
    std::optional<LinkMessage> feed(uint8_t byte);
    // True while a frame whose header check held is being read (its payload or its check).
    bool inside_frame() const { return m_state == State::payload || m_state == State::check; }
    // Back to hunting for a flag; a partly read frame is dropped.
    void reset();

private:
    enum class State : uint8_t { hunt, header, payload, check };
    std::optional<LinkMessage> take_byte(uint8_t value);
    LinkMessage finish(bool valid);

    State m_state = State::hunt;
    bool m_escape = false;
    uint8_t m_header[8] = {};
    size_t m_count = 0;
    size_t m_length = 0;
    std::vector<uint8_t> m_payload;
    uint8_t m_check[2] = {};
};

class StreamFrameReader {
public:
    // Takes the bytes received; returns the frames they finished, in order.
    std::vector<LinkMessage> feed(std::span<const uint8_t> bytes);
    void reset();
    size_t pending() const { return m_buffer.size() - m_start; }

private:
    std::vector<uint8_t> m_buffer;
    size_t m_start = 0;
    bool m_resyncing = false; // a bad header was reported; slide quietly until one holds
};

// The header fields of 8 header bytes when their check holds and the length is within the
// receive limit: {type, subtype, length}.
struct LinkHeaderFields {
    uint8_t type;
    uint8_t subtype;
    uint16_t length;
};
std::optional<LinkHeaderFields> parse_link_header(std::span<const uint8_t, 8> header);

} // namespace vsim
