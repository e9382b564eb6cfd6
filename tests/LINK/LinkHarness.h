// The transports' test harness: the QCoreApplication (made by a global test environment), a
// raw peer at the other end of a pseudo-terminal or a loopback TCP connection that logs the
// frames it gets and writes whatever a test scripts, a pump for the GUI thread's events, and
// counts of descriptors and threads.
#pragma once

#include "debugger/LinkFrame.h"
#include "link/TConnection.h"
#include "link/TSerialConnection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace linktest {

using Bytes = std::vector<uint8_t>;
using Ms = std::chrono::milliseconds;

// Runs the GUI thread's events until pred holds, at most `ms`; true when it holds.
bool pump_until(const std::function<bool()> &pred, int ms = 3000);
// Runs the GUI thread's events for `ms`.
void pump_for(int ms);

// The result code f throws as xConnectionErr, or 0 when it throws nothing.
int code_of(const std::function<void()> &f);
// How long f took, in milliseconds.
int64_t elapsed_ms(const std::function<void()> &f);

// Puts the timing record back after a test that shortened it.
struct TimingGuard {
    TLinkTimings saved = link_timings();
    ~TimingGuard() { link_timings() = saved; }
};

size_t open_descriptors();
size_t thread_count();

// A frame the peer received.
struct PeerFrame {
    uint8_t type = 0;
    uint8_t subtype = 0;
    Bytes payload;
    bool good = true;
    Bytes raw; // as it came on the link
};

// The other end of a link, on a thread of its own. Every frame it gets is logged and handed
// to the responder, whose bytes (if any) go back at once.
class RawPeer {
public:
    using Responder = std::function<Bytes(const PeerFrame &)>;

    // A pseudo-terminal: the connection opens device().
    static std::unique_ptr<RawPeer> serial();
    // A listener on 127.0.0.1: the connection connects to port(). One client at a time.
    static std::unique_ptr<RawPeer> tcp();
    ~RawPeer();

    const std::string &device() const { return m_device; }
    uint16_t port() const { return m_port; }
    bool serial_link() const { return m_serial; }

    void respond(Responder responder);
    // Writes the bytes to the link (to the current client over TCP).
    void write(const Bytes &bytes);
    // Closes the current client (TCP), or both ends of the pseudo-terminal (serial): the line
    // is gone, as when a USB adapter is unplugged.
    void hang_up();

    std::vector<PeerFrame> frames();
    size_t frame_count();
    Bytes received();
    // Waits (without running the GUI thread's events) until n frames have come.
    bool wait_frames(size_t n, int ms = 3000);
    bool client_connected();

    // A frame for this link.
    Bytes frame(uint8_t type, uint8_t subtype, const Bytes &payload = {}) const
    {
        return build_link_frame(type, subtype, payload, m_serial);
    }
    // A responder that answers every request with an empty ACK (requests only: frames with the
    // ACK or NAK bit get nothing).
    Responder ack_all() const;

private:
    explicit RawPeer(bool serial);
    void loop();
    void take(const uint8_t *bytes, size_t count);

    bool m_serial;
    std::string m_device;
    uint16_t m_port = 0;
    int m_master = -1, m_slave = -1; // pty
    int m_listen = -1, m_client = -1;  // tcp
    int m_wake = -1;
    std::mutex m_mutex;
    Responder m_responder;
    std::vector<PeerFrame> m_frames;
    Bytes m_received;
    LinkFrameReader m_reader;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A serial connection on `device`, entered in the port table as the settings' COM port,
// opened in `mode` (expected to succeed), with the test requests registered.
std::unique_ptr<TSerialConnection> open_serial_on(const std::string &device, const TCOptionsType &o,
                                                  ReaderMode mode = ReaderMode::threaded);

// Registers, as the request layer will, the requests these tests send: SYS NOOP, DBG NOOP,
// SYS READ (waits, reply kept) and SYS STARTBIOS (reply kept, no wait).
void register_requests(TConnection &c);

} // namespace linktest
