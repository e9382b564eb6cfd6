// BoardFirmware: the firmware side of the target link on the simulated board: the cold-loader
// bootstrap, the pilot BIOS, the network loader and the BIOS's debug kernel, answering the
// frames, payloads and raw exchanges that the host's target link sends. It owns the SimBoard
// and the CPU, reads the links' bytes (serial stream or TCP stream), keeps a log of what
// arrived, runs the program in slices, and writes its answers through `FirmwareOutput`.
// It does no I/O of its own and has no thread: BoardStandIn drives it on a pty and on loopback
// sockets, and serialises every call. Tests script faults through it.
// Where the protocol leaves the board's side open, the choices are listed in TARGET/README.md.
// Std-only (plus compcore's frame codec and MD5).
#pragma once

#include "BoardFrames.h"
#include "debugger/LinkFrame.h"
#include "SimBoard.h"
#include "SimCpu.h"

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vsim {

enum class LinkKind : uint8_t { serial, tcp };

// What runs on the board. cold: the bootstrap port, waiting for or reading the cold loader's
// records (raw bytes); pilot_load: the cold loader runs and takes the pilot BIOS (raw bytes);
// pilot: the pilot BIOS answers framed SYS requests; bios: the BIOS and its debug kernel
// answer SYS and DBG.
enum class BoardPhase : uint8_t { cold, pilot_load, pilot, bios };

// The debug hook: "rst 0x28".
inline constexpr uint8_t kHookOpcode = 0xEF;

// Action codes of an execution-trace packet (byte 0, bits 2-7); bit 0: the target runs on.
inline constexpr uint8_t kTraceMacro = 0x04;
inline constexpr uint8_t kTraceExecute = 0x08;
inline constexpr uint8_t kTraceEnter = 0x10;
inline constexpr uint8_t kTraceExit = 0x20;
inline constexpr uint8_t kTraceRunsOn = 0x01;

// Sizes of the debug kernel's payloads.
inline constexpr size_t kRegisterBlockSize = 27;
inline constexpr size_t kTracePacketSize = 28;
inline constexpr size_t kWatchEntrySize = 18;
inline constexpr size_t kWatchValueSize = 12;
inline constexpr size_t kInfoProbeSize = 8 + kIdBlockSize;

// How a watch run ended (byte 12 of its WATCHDATA entry).
enum WatchStatus : uint8_t {
    kWatchReturned = 0,  // the code returned; bytes 0-11 are what HL points to
    kWatchTooLong = 1,   // it did not return within the instruction limit
    kWatchBadOpcode = 2, // it reached an undefined opcode
    kWatchExited = 3,    // it reached the exit trap
};

struct FirmwareConfig {
    BoardConfig board;
    CpuModel model = CpuModel::r2000;
    BoardPhase initial_phase = BoardPhase::cold;

    // Where STARTPROGRAM starts the program (the reset address by default).
    uint16_t start_pc = 0;
    uint8_t start_xpc = 0;
    uint16_t start_sp = 0;

    // SETBAUDRATE is accepted up to this rate and refused above it.
    uint32_t max_baud = 460800;
    // The rate at which the BIOS talks once STARTBIOS has started it.
    uint32_t debug_baud = 115200;
    // Frames (and raw bytes) that arrive at another line speed than the agreed one are lost,
    // as a real line garbles them; so are answers while the host's line runs at another rate.
    bool strict_line_speed = false;

    // The ENABLEDOPTIONS reply: bit 0 breakpoints, bit 1 instruction stepping, bit 2 watches.
    uint8_t enabled_options = 0x07;
    uint8_t max_watches = 16;
    uint8_t max_breakpoints = 16;
    // SETSENDFLAGS mask at power-on (SendRegisterData).
    uint8_t power_on_send_flags = 0x08;

    // INFOPROBE: the four values before the ID block (the flash id is the board's), and the
    // block itself. Without a block of its own the firmware builds one from these values and
    // the memory map, sealed with marker and CRC.
    uint8_t ram_size_code = 0;  // 0: RAM size in KB / 32
    uint8_t freq_divider = 36;  // crystal = divider * 614400 Hz
    uint16_t cpu_id = 0xFFFF;   // 0xFFFF: 0x0003 for the 2000, 0x0101 for the 3000
    uint16_t product_id = 0x2A00;
    std::array<uint8_t, 6> mac{0x02, 0x4B, 0x58, 0x00, 0x00, 0x01}; // locally administered
    std::optional<std::array<uint8_t, kIdBlockSize>> id_block;

    // TCP: the challenge sent on every accept. Method 0 expects 16 zero bytes back; method 1
    // MD5(challenge || MD5(pass phrase)). Without fixed bytes each challenge is random.
    uint8_t challenge_method = 0;
    std::string pass_phrase;
    std::optional<std::array<uint8_t, 16>> challenge;

    // Running: instructions per slice between looks at the links; the bound of a watch run;
    // the sizes of STACKDATA (words at SP) and ASMDATA (code bytes at PC); program output is
    // sent in STDIO frames of at most stdio_chunk bytes.
    uint32_t slice_instructions = 20000;
    uint64_t watch_instruction_limit = 100000;
    uint16_t stack_data_words = 16;
    uint16_t asm_data_bytes = 32;
    size_t stdio_chunk = 128;

    // At most this many received frames and raw byte runs are kept in the log (oldest go).
    size_t log_limit = 100000;
};

// The ID block the firmware sends when the configuration holds none.
std::array<uint8_t, kIdBlockSize> default_id_block(const FirmwareConfig &config);

// Where the firmware's bytes go. `rate` is the line speed the firmware talked at when it sent
// them (0: no agreed speed); a serial line running at another speed loses them in strict mode.
class FirmwareOutput {
public:
    virtual ~FirmwareOutput() = default;
    virtual void link_write(LinkKind link, std::vector<uint8_t> bytes, uint32_t rate) = 0;
    virtual void link_close_tcp() = 0;
};

// The log.
struct ReceivedFrame {
    LinkKind link = LinkKind::serial;
    uint32_t baud = 0; // line speed it arrived at (0 over TCP)
    uint8_t type = 0;
    uint8_t subtype = 0;
    std::vector<uint8_t> payload;
    bool valid = false;
};
struct ReceivedBytes {
    LinkKind link = LinkKind::serial;
    uint32_t baud = 0;
    std::vector<uint8_t> bytes;
};
struct LoaderLog {
    std::vector<std::array<uint8_t, 3>> cold_records; // up to and including 80 24 80
    bool cold_complete = false;
    std::vector<uint8_t> pilot_header; // the 7 header bytes as received
    std::vector<uint8_t> pilot_image;  // 0xCC and the image
    uint32_t pilot_baud = 0;           // line speed the image arrived at
    bool pilot_complete = false;
    std::vector<uint8_t> tcp_cold_loader;  // DBG 61: the file
    std::vector<uint8_t> tcp_pilot_header; // DBG 54: the 7 header bytes
    std::vector<uint8_t> tcp_pilot_image;  // DBG 60: the image from 0xCC
    uint32_t tcp_pilot_baud = 0;
    std::optional<std::array<uint16_t, 4>> flash_parameters; // FLASHDATA, in wire order
};

struct Watch {
    uint32_t address = 0; // XPC << 16 | offset of the watch code
    uint8_t size = 0;
    std::array<uint8_t, kWatchEntrySize> entry{};
};

class BoardFirmware : private ConsoleDevice {
public:
    BoardFirmware(const FirmwareConfig &config, FirmwareOutput &output);
    BoardFirmware(const BoardFirmware &) = delete;
    BoardFirmware &operator=(const BoardFirmware &) = delete;

    // --- input from the links ---
    // Bytes off the serial line and the speed the host's side of the line is set to.
    void serial_input(std::span<const uint8_t> bytes, uint32_t baud);
    void tcp_connected();
    void tcp_input(std::span<const uint8_t> bytes);
    void tcp_closed();

    // --- the program ---
    // True while the CPU has work (running or stepping, not waiting for a console character).
    bool wants_cpu() const;
    // Runs one slice of the program and sends what it produced.
    void run_slice();

    // --- inspection ---
    SimBoard &board() { return m_board; }
    const SimBoard &board() const { return m_board; }
    CpuState &cpu() { return m_cpu; }
    const CpuState &cpu() const { return m_cpu; }
    const FirmwareConfig &config() const { return m_config; }
    BoardPhase phase() const { return m_phase; }
    uint32_t agreed_baud() const { return m_agreed_baud; } // 0: none agreed
    bool running() const;
    bool waiting_for_input() const { return m_waiting_input; }
    bool tracing() const { return m_tracing; }
    uint8_t trace_flags() const { return m_trace_flags; }
    uint8_t send_flags() const { return m_send_flags; }
    uint16_t debug_tag() const { return m_debug_tag; }
    bool tcp_authenticated() const { return m_tcp_auth == TcpAuth::ok; }
    const std::array<uint8_t, 16> &last_challenge() const { return m_challenge; }
    const std::set<uint32_t> &breakpoints() const { return m_breakpoints; }
    const std::vector<Watch> &watches() const { return m_watches; }
    const std::deque<ReceivedFrame> &frames() const { return m_frames; }
    const std::deque<ReceivedBytes> &raw() const { return m_raw; }
    const LoaderLog &loader() const { return m_loader; }
    uint8_t chars_ready() const { return m_chars_ready; }
    size_t stdio_acks() const { return m_stdio_acks; }
    void clear_log();

    // --- faults, scripted by tests ---
    // Answer the next `times` requests of this type and subtype with a NAK, doing nothing.
    void nak_next(uint8_t type, uint8_t subtype, int times = 1);
    // Take the next n requests without answering or acting on them.
    void stay_silent(int requests);
    // Spoil the frame check of the next frame sent.
    void corrupt_next_check();
    // Send a frame of one's own (any type and subtype, flags included) on the current link.
    void inject_frame(uint8_t type, uint8_t subtype, std::vector<uint8_t> payload);
    // SYS 63: a text for the host to show (size of its buffer at bytes 2-3, text from 4).
    void inject_text(std::string_view text);
    // A one-byte REGDATA status.
    void inject_status(uint8_t status);
    // An execution-trace packet with the current registers.
    void inject_trace(uint8_t flags_and_action);
    // Drop the TCP connection.
    void close_tcp();
    // Power off and on: RAM, debug tag, breakpoints and watches are lost; cold phase.
    void power_cycle();

private:
    enum class RunMode : uint8_t {
        stopped,
        running,
        starting,         // STARTPROGRAM: to the first hook, then the start report
        step_instruction, // one instruction
        step_return,      // an instruction step over a call: until it returns
        source_into,      // to the next hook
        source_over,      // to the next hook at this call depth or above
    };
    enum class TcpAuth : uint8_t { none, waiting, ok };
    enum class RawStage : uint8_t { idle, records, header, expect_cc, image };

    // ConsoleDevice
    uint8_t console_read(uint16_t port) override;
    void console_write(uint16_t port, uint8_t value) override;

    // links
    void raw_byte(uint8_t byte, uint32_t baud);
    void enter_cold();
    void reset_kernel();
    void deliver(LinkKind link, LinkMessage message, uint32_t baud);
    void dispatch(const LinkMessage &m);
    void dispatch_sys(const LinkMessage &m);
    void dispatch_dbg(const LinkMessage &m);
    void dispatch_loader(const LinkMessage &m);
    void check_challenge_response(const LinkMessage &m);
    void send(uint8_t type, uint8_t subtype, std::span<const uint8_t> payload = {});
    void send_raw(std::span<const uint8_t> bytes);
    void ack(const LinkMessage &m, std::span<const uint8_t> payload = {});
    void nak(const LinkMessage &m);
    bool refused_short(const LinkMessage &m, size_t size);
    void log_frame(LinkKind link, const LinkMessage &m, uint32_t baud);

    // requests
    void memory_read(const LinkMessage &m);
    void memory_write(const LinkMessage &m);
    void erase_flash(const LinkMessage &m);
    void toggle_breakpoint(const LinkMessage &m);
    void single_step(const LinkMessage &m);
    void start_program(const LinkMessage &m);
    void write_registers(const LinkMessage &m);
    void set_trace_flags(const LinkMessage &m);
    // The physical address of each byte of a memory request, or nothing when one falls
    // outside flash and RAM.
    std::optional<std::vector<uint32_t>> request_addresses(std::span<const uint8_t> p,
                                                            size_t count) const;

    // the program
    void reset_cpu();
    bool step_once();
    bool hook_stops();
    void settle_on_hook();
    void stop_run();
    void report_stop(bool start);
    std::array<uint8_t, kRegisterBlockSize> register_block() const;
    std::vector<uint8_t> logical_bytes(uint16_t address, size_t count) const;
    void send_trace(uint8_t flags_and_action);
    void run_watch(Watch &w);
    std::vector<uint8_t> watch_data() const;
    void flush_stdio();
    uint32_t physical_of(uint32_t address_word) const;
    uint8_t call_length(uint16_t pc, uint8_t xpc) const;

    FirmwareConfig m_config;
    FirmwareOutput &m_out;
    SimBoard m_board;
    CpuState m_cpu;
    std::mt19937 m_random;

    BoardPhase m_phase = BoardPhase::cold;
    uint32_t m_agreed_baud = 0;
    uint32_t m_last_baud = 0;
    LinkKind m_link = LinkKind::serial; // where answers and the board's own messages go

    // serial raw stages
    RawStage m_raw_stage = RawStage::idle;
    std::array<uint8_t, 6> m_window{}; // the last six raw bytes, for the bootstrap sequence
    std::vector<uint8_t> m_raw_collect;
    size_t m_image_left = 0;
    SerialFrameReader m_serial_reader;
    StreamFrameReader m_tcp_reader;

    // TCP
    TcpAuth m_tcp_auth = TcpAuth::none;
    std::array<uint8_t, 16> m_challenge{};
    std::array<uint8_t, 16> m_expected_response{};

    // debug kernel
    RunMode m_mode = RunMode::stopped;
    bool m_step_over = false;
    uint16_t m_step_sp = 0;
    uint16_t m_return_pc = 0;
    uint16_t m_return_sp = 0;
    uint8_t m_send_flags = 0;
    uint8_t m_trace_flags = 0;
    bool m_tracing = false;
    uint16_t m_debug_tag = 0xFFFF;
    std::set<uint32_t> m_breakpoints;
    std::vector<Watch> m_watches;

    // console
    std::deque<uint8_t> m_input;
    std::vector<uint8_t> m_stdio;
    bool m_want_char = false;    // a status read found no input during this instruction
    bool m_waiting_input = false; // the CPU waits for a character from the host
    bool m_sendchar_sent = false;
    bool m_exit_trap = false;
    bool m_in_watch = false;
    uint8_t m_chars_ready = 0;
    size_t m_stdio_acks = 0;

    // faults
    struct NakRule {
        uint8_t type;
        uint8_t subtype;
        int times;
    };
    std::vector<NakRule> m_nak_rules;
    int m_silent = 0;
    bool m_corrupt_next = false;

    // log
    std::deque<ReceivedFrame> m_frames;
    std::deque<ReceivedBytes> m_raw;
    LoaderLog m_loader;
};

} // namespace vsim
