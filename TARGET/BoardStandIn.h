// BoardStandIn: the simulated board on real links. It runs BoardFirmware on a thread of its
// own and connects it to a pseudo-terminal (the serial line), a TCP listener on 127.0.0.1 and,
// when asked, a UDP discovery port, with poll() over non-blocking descriptors. It keeps the
// pty's slave side open itself, so a host that closes and reopens the line never leaves the
// master in hang-up. The line speed of each byte is the one the host set on its side of the
// pty (its termios); the paced mode delivers bytes no faster than that speed.
// Used by tools/kxboard, the tests (in-process, pty or 127.0.0.1 port 0) and the download
// benchmark. No Qt: POSIX only.
#pragma once

#include "BoardFirmware.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vsim {

struct StandInConfig {
    FirmwareConfig firmware;

    bool serial = true; // a pseudo-terminal
    bool tcp = true;    // a TCP listener on 127.0.0.1
    uint16_t tcp_port = 0; // 0: any free port (see tcp_port())

    // Network discovery: an 84-byte request on the discovery port is answered with an 86-byte
    // reply to the sender's address, on the reply port (0: discovery port + 1, where the
    // host listens).
    bool udp = false;
    uint16_t discovery_port = 0; // 0: any free port
    uint16_t discovery_reply_port = 0;
    bool discovery_any_address = false; // listen on all addresses (hears broadcasts)
    uint16_t discovery_status = 2;      // 0 Running, 1 Programmed, 2 Waiting, 255 Error
    std::string board_name = "Vireon stand-in";
    std::array<uint8_t, 4> board_address{127, 0, 0, 1};

    // Bytes in and out of the pty no faster than the line speed the host set (10 bits each).
    bool paced = false;
    // The longest wait_until() waits.
    std::chrono::milliseconds wait_timeout{5000};
    // Bytes queued for a link that nobody reads, beyond which new output is lost.
    size_t output_limit = size_t(1) << 20;
};

class BoardStandIn : private FirmwareOutput {
public:
    explicit BoardStandIn(const StandInConfig &config);
    ~BoardStandIn() override;
    BoardStandIn(const BoardStandIn &) = delete;
    BoardStandIn &operator=(const BoardStandIn &) = delete;

    // Opens the links and starts the thread; false with a message when a link cannot open.
    [[nodiscard]] bool start(std::string &error);
    // Ends the thread at once and closes every link. Called by the destructor.
    void stop();

    const std::string &pty_path() const { return m_pty_path; }
    uint16_t tcp_port() const { return m_tcp_port; }
    uint16_t discovery_port() const { return m_discovery_port; }
    const StandInConfig &config() const { return m_config; }

    // Runs f(firmware) under the stand-in's lock: inspect memory, registers and logs, or script
    // faults. What f sends goes out when the thread wakes, right after.
    template <class F>
    decltype(auto) with_firmware(F &&f)
    {
        Waker waker{this};
        std::lock_guard<std::mutex> lock(m_mutex);
        return f(*m_firmware);
    }

    // Waits at most the configured time until pred(firmware) holds; true when it does.
    bool wait_until(const std::function<bool(const BoardFirmware &)> &pred);

    // The next discovery reply is cut short (40 bytes).
    void short_discovery_reply();
    // Both may be read inside a wait_until() predicate.
    size_t discovery_requests() const { return m_discovery_requests; }
    // Output bytes lost: queued beyond the limit, or (strict line speed) sent while the
    // host's line ran at another speed.
    size_t dropped_output() const { return m_dropped; }

private:
    struct Waker {
        BoardStandIn *self;
        ~Waker() { self->wake(); }
    };
    struct Chunk {
        std::vector<uint8_t> bytes;
        size_t sent = 0;
        uint32_t rate = 0;
    };
    using Clock = std::chrono::steady_clock;

    // FirmwareOutput (called with the lock held)
    void link_write(LinkKind link, std::vector<uint8_t> bytes, uint32_t rate) override;
    void link_close_tcp() override;

    void wake();
    void loop();
    uint32_t line_baud() const;
    void read_serial(Clock::time_point now);
    void write_serial(Clock::time_point now);
    void accept_client();
    void read_client();
    void write_client();
    void close_client();
    void drop_client();
    void answer_discovery();

    StandInConfig m_config;
    std::unique_ptr<BoardFirmware> m_firmware;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    bool m_started = false;

    int m_wake = -1;
    int m_master = -1, m_slave = -1;
    int m_listen = -1, m_client = -1;
    int m_udp = -1;
    std::string m_pty_path;
    uint16_t m_tcp_port = 0;
    uint16_t m_discovery_port = 0;

    std::deque<Chunk> m_serial_out;
    size_t m_serial_queued = 0;
    std::deque<Chunk> m_tcp_out;
    size_t m_tcp_queued = 0;
    Clock::time_point m_in_next{};  // paced: the line delivers its next byte then
    Clock::time_point m_out_next{}; // paced: the line takes the next byte then

    bool m_short_reply = false;
    std::atomic<size_t> m_discovery_requests{0};
    std::atomic<size_t> m_dropped{0};
};

} // namespace vsim
