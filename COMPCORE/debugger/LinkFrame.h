// LinkFrame: the pure codec of the target link's frames, shared by the host's transports and
// the board stand-in: the message table (types and subtypes), the two-sum check with
// end-around carry, the frame layout with its serial escaping, and the CRC of the board's
// ID block. No I/O and no state: each side keeps its own reader and its own writer on top.
// Std-only.
//
// Frame (all multi-byte fields little-endian):
//   [0x7E]          flag byte, serial link only, never escaped
//   version 2, 0    header bytes 0-1 (ignored on receipt)
//   type            header byte 2: 0 SYS, 1 DBG
//   subtype         header byte 3: bits 0-5 the subtype, 0x40 NAK, 0x80 ACK
//   length          header bytes 4-5: payload length
//   header check    header bytes 6-7: check over header bytes 0-5
//   payload         length bytes
//   frame check     2 bytes: check over the 8 header bytes and the payload
// On the serial link every byte after the flag that equals 0x7E or 0x7D goes as 0x7D and the
// byte XOR 0x20; over TCP the frame goes without flag and without escaping.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr uint8_t kLinkFlag = 0x7E;
inline constexpr uint8_t kLinkEscape = 0x7D;
inline constexpr uint8_t kLinkEscapeXor = 0x20;
inline constexpr uint8_t kLinkVersion = 2;
inline constexpr size_t kLinkHeaderSize = 8;
inline constexpr size_t kLinkCheckSize = 2;
// A payload handed to a send may hold at most this many bytes...
inline constexpr size_t kLinkMaxSendPayload = 16384;
// ...and a received header announcing more than this makes the frame bad.
inline constexpr size_t kLinkMaxReceivePayload = 32768;

inline constexpr uint8_t kLinkAck = 0x80;
inline constexpr uint8_t kLinkNak = 0x40;
inline constexpr uint8_t kLinkSubtypeMask = 0x3F;

// Message types.
inline constexpr uint8_t kLinkSys = 0; // loader and pilot BIOS
inline constexpr uint8_t kLinkDbg = 1; // debug kernel

// SYS subtypes.
enum SysSubtype : uint8_t {
    kSysNak = 0,
    kSysNoop = 1,
    kSysRead = 2,
    kSysWrite = 3,
    kSysInfoProbe = 4,
    kSysStartBios = 5,
    kSysSetBaudRate = 6,
    kSysSetOptions = 7, // no handler on the host
    kSysRelocate = 8,   // no handler on the host
    kSysEraseFlash = 9,
    kSysFlashData = 10,
    kSysText = 63, // text message from the target
};

// DBG subtypes. 53 to 63 are the loader's requests, without names of their own in the table.
enum DbgSubtype : uint8_t {
    kDbgSingleStep = 1,
    kDbgToggleBp = 2,
    kDbgClearBps = 3,
    kDbgToggleAllBps = 4, // no handler on the host
    kDbgAtBp = 5,
    kDbgStartProgram = 6,
    kDbgRunProgram = 7,
    kDbgStopProgram = 8,
    kDbgAddWatch = 9,
    kDbgDeleteWatch = 10,
    kDbgDeleteAllWatches = 11,
    kDbgExecWatch = 12,
    kDbgExecAllWatches = 13,
    kDbgSendChar = 14,
    kDbgReset = 15,
    kDbgSetSendFlags = 16,
    kDbgRegData = 17,
    kDbgWatchData = 18,
    kDbgAsmData = 19,
    kDbgStackData = 20,
    kDbgStdio = 21,
    kDbgWriteRegData = 22,
    kDbgCharReady = 23,
    kDbgNoop = 24,
    kDbgEnabledOptions = 25,
    kDbgSetDebugTag = 26,
    kDbgGetDebugTag = 27,
    kDbgTrace = 28, // execution-trace packet
    kDbgSetTraceFlags = 29,
    kDbgSetTargetBaud = 53,
    kDbgPilotHeader = 54,
    kDbgResetWithMode = 55,
    kDbgLinkRequest = 56, // sent by the host after a TCP connect
    kDbgLoaderDropped = 57,
    kDbgPilotImage = 60,
    kDbgColdLoader = 61,       // the cold loader sent over TCP
    kDbgChallengeResponse = 62,
    kDbgChallenge = 63, // the board's challenge after a TCP connect
};

// The table name of a subtype ("READ", "SINGLESTEP", ...; bits 6-7 ignored), or null for a
// subtype the table does not name.
const char *link_subtype_name(uint8_t type, uint8_t subtype);

// The two-sum check: A (high byte) and B (low byte) start from `state`; for each byte
// A += byte, B += A, each sum folding its carry back in (end-around carry). Returns A*256+B,
// which goes on the wire little-endian (B first).
uint16_t ComputeCheck(std::span<const uint8_t> bytes, uint16_t state = 0);

// The 8 header bytes of a frame, header check included.
std::array<uint8_t, kLinkHeaderSize> link_header(uint8_t type, uint8_t subtype, uint16_t length);

// One whole frame as it goes on the wire: with flag and escaping for the serial link, plain
// for TCP. The payload length must fit 16 bits (callers hold the send limit).
std::vector<uint8_t> build_link_frame(uint8_t type, uint8_t subtype,
                                      std::span<const uint8_t> payload, bool serial);

// Appends bytes to `out` with 0x7E and 0x7D escaped.
void escape_link_bytes(std::span<const uint8_t> bytes, std::vector<uint8_t> &out);

// --- Receiving ----------------------------------------------------------------------------------

// The host's frame reader: takes the bytes of a link one at a time and says when a frame ends,
// good or bad. One state machine serves both links; they differ only in how a frame starts:
// - serial: only the flag 0x7E starts a frame, and a flag anywhere (but while dropping)
//   restarts reception at that byte; bytes between frames are skipped; 0x7D escapes the next
//   byte.
// - stream (TCP): frames lie back to back, so any byte in hand when none is being received
//   starts one as its header byte 0; after a header whose check failed, a byte 2 (the protocol
//   version) starts the next frame at once, any other byte is dropped first.
// A header announcing more than 32,768 payload bytes, a header check or a frame check that
// does not hold, and a frame cut short by a restarting flag are bad frames. Every buffer is
// bounded by the frame limits, whatever the bytes.
class LinkFrameReader {
public:
    enum class Event : uint8_t {
        none, // the byte was taken; no frame ended
        good, // a frame with both checks holding ended with this byte
        bad,  // a frame was spoiled (its header fields are those received, maybe garbage)
    };
    // Parser states, in the order a frame passes them.
    enum class State : uint8_t {
        hunting = 0,
        header = 1,
        payload = 2,
        check = 3,
        after_bad_header = 5, // the next byte restarts the parser or is dropped
        drop = 6,             // the next byte is dropped, then hunting
    };

    explicit LinkFrameReader(bool serial) : m_serial(serial) {}

    // Takes one byte. At most one frame ends per byte; a flag that cuts a frame short ends
    // that frame as bad and starts the next one.
    Event take(uint8_t byte);

    // The frame that ended last (valid until the next take): its header fields, its payload
    // (good frames: exactly the announced length) and the bytes as they came on the link.
    uint8_t type() const { return m_ended_type; }
    uint8_t subtype() const { return m_ended_subtype; }
    std::span<const uint8_t> payload() const { return m_ended_payload; }
    std::span<const uint8_t> raw() const { return m_ended_raw; }

    State state() const { return m_state; }
    // True while a frame is partly received (header, payload or check).
    bool in_frame() const;
    // True while the payload or check of a frame of this type and subtype (bits 0-5) is
    // being received.
    bool receiving(uint8_t type, uint8_t subtype) const;
    // The next byte is dropped and whatever was partly received is forgotten, without a report.
    void drop();
    // Ends a partly received frame as bad (the link went away under it); `none` when no frame
    // was being received.
    Event abandon();
    // Forgets everything: hunting, nothing received.
    void reset();

private:
    Event end_frame(Event event);
    void start_frame(uint8_t byte);
    bool store(uint8_t byte, uint8_t *&out);
    Event header_byte(uint8_t byte);
    Event payload_byte(uint8_t byte);
    Event check_byte(uint8_t byte);

    bool m_serial;
    State m_state = State::hunting;
    bool m_escape = false;
    // The frame being received: 8 header bytes, the payload, 2 check bytes.
    std::array<uint8_t, kLinkHeaderSize> m_header{};
    size_t m_header_count = 0;
    std::vector<uint8_t> m_payload;
    size_t m_expected = 0;
    std::array<uint8_t, kLinkCheckSize> m_check{};
    size_t m_check_count = 0;
    std::vector<uint8_t> m_raw;
    // The frame that ended last.
    uint8_t m_ended_type = 0;
    uint8_t m_ended_subtype = 0;
    std::vector<uint8_t> m_ended_payload;
    std::vector<uint8_t> m_ended_raw;
};

// CRC-16/XMODEM: polynomial 0x1021, most significant bit first, no final inversion.
uint16_t crc16_xmodem(std::span<const uint8_t> bytes, uint16_t crc = 0);

// The board's ID block (132 bytes): the marker 55 AA 55 AA 55 AA at 126 and the CRC at 124,
// taken over bytes 0-114 and 116-131 with bytes 124-125 counted as 0.
inline constexpr size_t kIdBlockSize = 132;
inline constexpr size_t kIdBlockCrcOffset = 124;
inline constexpr size_t kIdBlockMarkerOffset = 126;
uint16_t id_block_crc(std::span<const uint8_t, kIdBlockSize> block);
bool id_block_marker_ok(std::span<const uint8_t, kIdBlockSize> block);
// Writes the marker and then the CRC into the block.
void seal_id_block(std::span<uint8_t, kIdBlockSize> block);
