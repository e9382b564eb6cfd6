// The target operations' test harness: a fixture with fresh recording host windows, the
// request layer shut down at both ends, a board stand-in on a pseudo-terminal or on loopback
// TCP (or a raw peer), and the settings that reach it; recording debugger events; and a
// scripted raw answerer for the loader stages.
#pragma once

#include "BoardStandIn.h"
#include "HostDoubles.h"
#include "LinkHarness.h"
#include "linker/MD5.h"
#include "link/TC.h"
#include "settings/guiKXPreferences.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace tctest {

using linktest::Bytes;
using vsim::BoardFirmware;
using vsim::BoardPhase;
using vsim::BoardStandIn;
using vsim::StandInConfig;

inline constexpr uint32_t kComPort = 11;

// The text of the box last shown, or "" when none was.
inline std::string last_box()
{
    auto &shown = headless_message_box_host().shown;
    return shown.empty() ? std::string() : shown.back().text;
}

// The message of the xTCErr (or xUserCancel: "cancel") that f throws; "" when it throws none.
inline std::string failure_of(const std::function<void()> &f)
{
    try {
        f();
    } catch (const xUserCancel &) {
        return "cancel";
    } catch (xErr &e) {
        return GetResString(e.message_id());
    }
    return "";
}

inline std::array<uint8_t, 16> digest_of(const std::string &phrase)
{
    return md5_digest(std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(phrase.data()),
                                               phrase.size()));
}

// The settings of a serial link on kComPort and of a TCP link to 127.0.0.1.
inline TCOptionsType serial_settings(uint32_t timeout_ms = 2000)
{
    TCOptionsType o;
    o.com_port = kComPort;
    o.serial_response_timeout = timeout_ms;
    o.serial_retry_count = 0;
    o.tcp_response_timeout = timeout_ms;
    o.verify_dsr = 0;
    return o;
}

inline TCOptionsType tcp_settings(uint16_t port, uint32_t timeout_ms = 2000)
{
    TCOptionsType o = serial_settings(timeout_ms);
    o.link_kind = 1;
    EXPECT_TRUE(set_comm_text(o.network_address, "127.0.0.1"));
    o.control_port = port;
    o.tcp_retry_count = 0;
    return o;
}

// Records what the target's own messages hand to the debugger.
struct RecordingEvents : TcDebuggerEvents {
    std::vector<uint16_t> stops;
    std::vector<uint8_t> status_bytes;
    Bytes stdio, stack, assembly;
    std::vector<Bytes> trace_packets;
    int send_char_requests = 0;
    void onTargetStopped(uint16_t stop_reason) override { stops.push_back(stop_reason); }
    void onStatusByte(uint8_t status) override { status_bytes.push_back(status); }
    void onStackData(const uint8_t *d, uint16_t n) override { stack.assign(d, d + n); }
    void onAsmData(const uint8_t *d, uint16_t n) override { assembly.assign(d, d + n); }
    void onStdio(const uint8_t *d, uint16_t n) override { stdio.insert(stdio.end(), d, d + n); }
    void onTracePacket(const uint8_t *d, uint16_t n) override { trace_packets.emplace_back(d, d + n); }
    void onSendChar() override { ++send_char_requests; }
};

class TcTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_host_services();
        reset_preferences_to_defaults();
        ShutdownLink();
        TcSetDebuggerEvents(&events);
        TcClearTraceFlags();
        link_timings().cold_dtr_ms = 1;
        link_timings().cold_start_ms = 1;
        link_timings().cold_end_ms = 1;
        link_timings().cold_drain_ms = 1;
        link_timings().usb_serial_delay_ms = 0;
        link_timings().sync_read_ms = 2000;
        // A raw read looks three times, this far apart, for its first byte: room for a board
        // on a loaded machine.
        link_timings().sync_poll_ms = 100;
        folder = std::filesystem::temp_directory_path() /
                 ("kx-tc-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder);
    }
    void TearDown() override
    {
        ShutdownLink();
        TcSetDebuggerEvents(nullptr);
        TcSetUsbSerialDelay(false, 0);
        SetSerialDevice(kComPort, "");
        SetModemStatusService({});
        reset_preferences_to_defaults();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    // A stand-in on a pty (and TCP) in the given phase.
    std::unique_ptr<BoardStandIn> start_board(BoardPhase phase = BoardPhase::bios,
                                              StandInConfig config = {})
    {
        config.firmware.initial_phase = phase;
        config.wait_timeout = std::chrono::milliseconds(3000);
        auto board = std::make_unique<BoardStandIn>(config);
        std::string error;
        EXPECT_TRUE(board->start(error)) << error;
        if (config.serial)
            SetSerialDevice(kComPort, board->pty_path());
        return board;
    }

    // A stand-in in the BIOS phase with the link open (threaded) and the handlers registered.
    std::unique_ptr<BoardStandIn> open_board(uint32_t timeout_ms = 2000)
    {
        auto board = start_board();
        TcOpenConnection(serial_settings(timeout_ms), ReaderMode::threaded);
        TcRegisterHandlers();
        return board;
    }

    // A raw peer on a pty with the link open (threaded) and the handlers registered.
    std::unique_ptr<linktest::RawPeer> open_peer(uint32_t timeout_ms = 2000)
    {
        auto peer = linktest::RawPeer::serial();
        SetSerialDevice(kComPort, peer->device());
        TcOpenConnection(serial_settings(timeout_ms), ReaderMode::threaded);
        TcRegisterHandlers();
        return peer;
    }

    std::string write_file(const std::string &name, const Bytes &bytes)
    {
        const std::filesystem::path p = folder / name;
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        return p.string();
    }

    static std::vector<vsim::ReceivedFrame> frames_of(BoardStandIn &board, uint8_t type,
                                                      uint8_t subtype)
    {
        return board.with_firmware([&](BoardFirmware &f) {
            std::vector<vsim::ReceivedFrame> out;
            for (const auto &r : f.frames())
                if (r.type == type && (r.subtype & kLinkSubtypeMask) == subtype)
                    out.push_back(r);
            return out;
        });
    }

    std::vector<std::string> &status_history() { return headless_main_window().status_history; }

    RecordingEvents events;
    linktest::TimingGuard timings;
    std::filesystem::path folder;
};

// Writes `answer` to the peer once it has received `after` bytes in all (on a thread of its
// own, so that the host may wait in a raw read meanwhile).
class RawAnswer {
public:
    RawAnswer(linktest::RawPeer &peer, size_t after, Bytes answer)
        : m_thread([&peer, after, answer, this] {
              const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
              while (!m_stop && std::chrono::steady_clock::now() < end) {
                  if (peer.received().size() >= after) {
                      peer.write(answer);
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          })
    {
    }
    ~RawAnswer()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace tctest
