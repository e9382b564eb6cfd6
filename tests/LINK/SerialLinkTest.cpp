// The serial transport on a pseudo-terminal: the line set-up and its failures, framed requests
// with retries, NAKs and bad frames, raw bytes in synchronous mode, the port services, and the
// board stand-in at the other end.
#include "LinkHarness.h"

#include "BoardHost.h"
#include "link/TSerialConnection.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace linktest;

namespace {

constexpr uint32_t kPort = 7;

TCOptionsType serial_options(uint32_t retries = 0, uint32_t timeout_ms = 200)
{
    TCOptionsType o;
    o.com_port = kPort;
    o.baud_rate = 57600;
    o.serial_retry_count = retries;
    o.serial_response_timeout = timeout_ms;
    return o;
}

std::unique_ptr<TSerialConnection> open_on(const std::string &device, ReaderMode mode,
                                           const TCOptionsType &o = serial_options())
{
    return open_serial_on(device, o, mode);
}

class SerialLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        peer = RawPeer::serial();
        ASSERT_TRUE(peer);
    }
    void TearDown() override { SetSerialDevice(kPort, ""); }
    std::unique_ptr<RawPeer> peer;
    TimingGuard timings;
};

TEST_F(SerialLink, NoopIsAnsweredWithOneFlaggedFrame)
{
    peer->respond(peer->ack_all());
    auto c = open_on(peer->device(), ReaderMode::threaded);
    EXPECT_TRUE(c->IsOpen());
    EXPECT_TRUE(c->ReaderRunning());
    EXPECT_EQ(c->GetReaderMode(), ReaderMode::threaded);
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);
    ASSERT_EQ(peer->frame_count(), 1u);
    EXPECT_EQ(asm_hex(peer->frames()[0].raw), "7E 02 00 00 01 00 00 0F 03 36 15");
    EXPECT_FALSE(c->IsBusy());
}

// A payload of 0x7E and 0x7D goes escaped; 16,384 bytes are the most a request may carry.
TEST_F(SerialLink, PayloadsAreEscapedAndBounded)
{
    peer->respond(peer->ack_all());
    auto c = open_on(peer->device(), ReaderMode::threaded);
    Bytes two = {0x7E, 0x7D};
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, two.data(), two.size()); }), 0);
    ASSERT_EQ(peer->frame_count(), 1u);
    EXPECT_EQ(asm_hex(peer->frames()[0].raw).substr(27, 11), "7D 5E 7D 5D");
    Bytes most(kLinkMaxSendPayload, 0x7E);
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, most.data(), most.size()); }), 0);
    ASSERT_EQ(peer->frame_count(), 2u);
    EXPECT_EQ(peer->frames()[1].payload, most);
    Bytes over(kLinkMaxSendPayload + 1);
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, over.data(), over.size()); }),
              kLinkPayloadTooLarge);
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysEraseFlash, two.data(), two.size()); }),
              kLinkNoHandler)
        << "a request without a handler";
    EXPECT_EQ(peer->frame_count(), 2u) << "refused requests send nothing";
}

TEST_F(SerialLink, SilentPeerGetsOneSendPerRetryThenTimeout)
{
    auto c = open_on(peer->device(), ReaderMode::threaded, serial_options(2, 60));
    int code = 0;
    auto ms = elapsed_ms([&] { code = code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }); });
    EXPECT_EQ(code, kLinkTimeout);
    EXPECT_EQ(peer->frame_count(), 3u);
    EXPECT_GE(ms, 180);
    EXPECT_FALSE(c->IsBusy());
}

// The NAK reply is still delivered into the buffer, and then the request fails.
TEST_F(SerialLink, NakReplyFillsTheBufferAndFails)
{
    peer->respond([&](const PeerFrame &f) {
        return peer->frame(f.type, f.subtype | kLinkNak, {0xA1, 0xA2, 0xA3, 0xA4});
    });
    auto c = open_on(peer->device(), ReaderMode::threaded);
    Bytes buffer(16, 0x55);
    buffer.resize(7);
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysRead, buffer.data(), 7, 7); }), kLinkRefused);
    EXPECT_EQ(asm_hex(buffer), "A1 A2 A3 A4 55 55 55");
    EXPECT_EQ(c->GetHandlerEntry(kLinkSys, kSysRead).reply_length, 4u);
    EXPECT_FALSE(c->TakeLinkError().pending) << "the request took its NAK";
}

// A reply that does not fit the request's buffer is a bad packet: not copied, not delivered.
TEST_F(SerialLink, ReplyLongerThanItsBufferIsABadPacket)
{
    peer->respond([&](const PeerFrame &f) { return peer->frame(f.type, f.subtype | kLinkAck, Bytes(200, 0xEE)); });
    auto c = open_on(peer->device(), ReaderMode::threaded, serial_options(0, 100));
    Bytes request = {0, 128, 0, 0, 0, 0, 0};
    std::vector<uint8_t> buffer(6 + 128 + 8, 0x11);
    std::copy(request.begin(), request.end(), buffer.begin());
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysRead, buffer.data(), 7, 6 + 128); }), kLinkTimeout);
    EXPECT_EQ(buffer[6], 0x00);
    EXPECT_EQ(buffer[7], 0x11) << "nothing was copied";
    LinkErrorRecord e = c->TakeLinkError();
    EXPECT_TRUE(e.pending);
    EXPECT_EQ(e.kind, kLinkErrorBadPacket);
    EXPECT_EQ(e.type, kLinkSys);
    EXPECT_EQ(e.subtype, kSysRead);

    // A reply that fits is copied, its length kept.
    peer->respond([&](const PeerFrame &f) { return peer->frame(f.type, f.subtype | kLinkAck, Bytes(6 + 128, 0xEE)); });
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysRead, buffer.data(), 7, 6 + 128); }), 0);
    EXPECT_EQ(buffer[6 + 127], 0xEE);
    EXPECT_EQ(buffer[6 + 128], 0x11);
    EXPECT_EQ(c->GetHandlerEntry(kLinkSys, kSysRead).reply_length, 134u);
}

// The request's buffer is the reply buffer only while the request runs: a late reply lands
// nowhere.
TEST_F(SerialLink, ReplyBufferIsTheRequestsOnlyWhileItRuns)
{
    peer->respond(peer->ack_all());
    auto c = open_on(peer->device(), ReaderMode::threaded);
    Bytes mine = {1, 2, 3};
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, mine.data(), mine.size()); }), 0);
    EXPECT_EQ(c->GetHandlerEntry(kLinkSys, kSysNoop).reply_buffer, nullptr);
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysStartBios, mine.data(), 1); }), 0)
        << "a request that keeps its reply but does not wait";
    EXPECT_EQ(c->GetHandlerEntry(kLinkSys, kSysStartBios).reply_buffer, nullptr);
    peer->write(peer->frame(kLinkSys, kSysStartBios | kLinkAck, {9, 9, 9}));
    ASSERT_TRUE(pump_until([&] { return c->GetArrived(kLinkSys, kSysStartBios); }));
    EXPECT_EQ(asm_hex(mine), "01 02 03");
}

// Bad input on the line before the answer: each is recorded (or skipped), and the request that
// waits goes on to its answer.
struct LineNoiseCase {
    const char *name;
    std::function<Bytes(const RawPeer &)> noise;
    bool recorded;
};

const LineNoiseCase kLineNoiseCases[] = {
    {"bytes_between_frames", [](const RawPeer &) { return Bytes{0x11, 0x7D, 0x22, 0x00}; }, false},
    {"bad_frame_check",
     [](const RawPeer &p) {
         Bytes f = p.frame(kLinkDbg, kDbgStdio, {1, 2});
         f.back() ^= 0x01;
         return f;
     },
     true},
    {"bad_header_check",
     [](const RawPeer &p) {
         Bytes f = p.frame(kLinkDbg, kDbgStdio, {1, 2});
         f[7] ^= 0x01;
         return f;
     },
     true},
    {"length_over_the_limit",
     [](const RawPeer &) {
         auto h = link_header(kLinkDbg, kDbgStdio, 0);
         h[4] = 0x01, h[5] = 0x80; // 32,769
         uint16_t check = ComputeCheck(std::span<const uint8_t>(h.data(), 6));
         h[6] = uint8_t(check), h[7] = uint8_t(check >> 8);
         Bytes out{kLinkFlag};
         escape_link_bytes(h, out);
         out.insert(out.end(), {1, 2, 3, 4});
         return out;
     },
     true},
    {"a_frame_cut_by_a_flag",
     [](const RawPeer &p) {
         Bytes f = p.frame(kLinkDbg, kDbgStdio, {1, 2, 3, 4});
         return Bytes(f.begin(), f.begin() + 11);
     },
     true},
    {"a_lone_escape_at_the_end",
     [](const RawPeer &p) {
         Bytes f = p.frame(kLinkDbg, kDbgStdio, {1, 2, 3, 4});
         f.resize(f.size() - 2);
         f.push_back(kLinkEscape);
         return f;
     },
     true},
};

class SerialLineNoise : public SerialLink, public ::testing::WithParamInterface<LineNoiseCase> {};

TEST_P(SerialLineNoise, IsRecordedAndTheAnswerStillComes)
{
    const LineNoiseCase &c = GetParam();
    peer->respond([&](const PeerFrame &f) {
        Bytes out = c.noise(*peer);
        Bytes ack = peer->frame(f.type, f.subtype | kLinkAck);
        out.insert(out.end(), ack.begin(), ack.end());
        return out;
    });
    auto conn = open_on(peer->device(), ReaderMode::threaded);
    conn->RegisterHandler(kLinkDbg, kDbgStdio, [](const uint8_t *, uint16_t, uintptr_t) { return 0u; }, 0, false, false);
    EXPECT_EQ(code_of([&] { conn->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);
    LinkErrorRecord e = conn->TakeLinkError();
    EXPECT_EQ(e.pending, c.recorded);
    if (c.recorded) {
        EXPECT_EQ(e.kind, kLinkErrorBadPacket);
    }
    EXPECT_TRUE(conn->ReaderRunning());
}

INSTANTIATE_TEST_SUITE_P(Bytes, SerialLineNoise, ::testing::ValuesIn(kLineNoiseCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(SerialLink, UnregisteredSubtypeEndsTheReader)
{
    auto c = open_on(peer->device(), ReaderMode::threaded);
    peer->write(peer->frame(kLinkDbg, 40, {1}));
    ASSERT_TRUE(pump_until([&] { return !c->ReaderRunning(); }));
    EXPECT_EQ(c->ReaderExitCode(), kLinkNoHandler);
    LinkErrorRecord e = c->TakeLinkError();
    EXPECT_TRUE(e.pending);
    EXPECT_EQ(e.kind, kLinkErrorNoHandler);
    EXPECT_EQ(e.type, kLinkDbg);
    EXPECT_EQ(e.subtype, 40);
    EXPECT_FALSE(c->TakeLinkError().pending) << "taken once";
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), kLinkNoHandler);
    // The same mode again starts a new reader.
    peer->respond(peer->ack_all());
    c->SetReaderMode(ReaderMode::threaded);
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);
}

// The line goes away under an open connection (the board stand-in ended, a USB adapter
// unplugged): the reader ends with the line's failure instead of waking for ever, and every
// request after it fails with that code at once.
TEST_F(SerialLink, ALineThatGoesAwayEndsTheReader)
{
    peer->respond(peer->ack_all());
    auto c = open_on(peer->device(), ReaderMode::threaded, serial_options(0, 2000));
    ASSERT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);
    peer->hang_up();
    ASSERT_TRUE(pump_until([&] { return !c->ReaderRunning(); }));
    EXPECT_EQ(c->ReaderExitCode(), kLinkLineWaitFailed);
    int code = 0;
    const int64_t ms =
        elapsed_ms([&] { code = code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }); });
    EXPECT_EQ(code, kLinkLineWaitFailed);
    EXPECT_LT(ms, 1000) << "not after the response time";
}

TEST_F(SerialLink, RequestWhileTheReaderIsStoppedFails)
{
    auto c = open_on(peer->device(), ReaderMode::synchronous);
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), kLinkNoReader);
    c->SetReaderMode(ReaderMode::threaded);
    c->Close();
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), kLinkNoReader)
        << "closed: not success";
    EXPECT_EQ(peer->frame_count(), 0u);
}

// --- raw bytes ----------------------------------------------------------------------------------

TEST_F(SerialLink, SynchronousModeMovesRawBytes)
{
    auto c = open_on(peer->device(), ReaderMode::synchronous);
    EXPECT_FALSE(c->ReaderRunning());
    Bytes out = {0x80, 0x0E, 0x30, 0x7E, 0x7D};
    EXPECT_EQ(code_of([&] { c->WriteRaw(out.data(), out.size()); }), 0);
    ASSERT_TRUE(pump_until([&] { return peer->received().size() == out.size(); }));
    EXPECT_EQ(peer->received(), out) << "no flag, no escapes";
    peer->write({0x12, 0x7E, 0x34});
    Bytes in(3);
    EXPECT_EQ(code_of([&] { c->ReadRaw(in.data(), 3); }), 0);
    EXPECT_EQ(asm_hex(in), "12 7E 34");
}

TEST_F(SerialLink, ThreadedModeRefusesRawBytes)
{
    auto c = open_on(peer->device(), ReaderMode::threaded);
    Bytes b(2);
    EXPECT_EQ(code_of([&] { c->WriteRaw(b.data(), 2); }), kLinkRawInThreadedMode);
    EXPECT_EQ(code_of([&] { c->ReadRaw(b.data(), 2); }), kLinkRawInThreadedMode);
    TSerialConnection closed;
    EXPECT_EQ(code_of([&] { closed.WriteRaw(b.data(), 2); }), kLinkRawInThreadedMode);
}

TEST_F(SerialLink, ReadRawWithNothingComingFailsAfterThreeChecks)
{
    link_timings().sync_poll_ms = 25;
    auto c = open_on(peer->device(), ReaderMode::synchronous);
    Bytes b(4);
    int code = 0;
    auto ms = elapsed_ms([&] { code = code_of([&] { c->ReadRaw(b.data(), 4); }); });
    EXPECT_EQ(code, kLinkNothingReceived);
    EXPECT_GE(ms, 50);
    EXPECT_LT(ms, 1000);
}

TEST_F(SerialLink, ReadRawWhoseBytesStopFailsAtTheReadLimit)
{
    link_timings().sync_read_ms = 250;
    // The first byte must be seen by one of the first-byte checks even when the machine is
    // loaded, or the read ends early for the other reason: nothing came at all.
    link_timings().sync_poll_ms = 200;
    auto c = open_on(peer->device(), ReaderMode::synchronous);
    peer->write({0x42});
    Bytes b(2);
    int code = 0;
    auto ms = elapsed_ms([&] { code = code_of([&] { c->ReadRaw(b.data(), 2); }); });
    EXPECT_EQ(code, kLinkNothingReceived);
    EXPECT_GE(ms, 240);
    EXPECT_LT(ms, 2000);
}

TEST_F(SerialLink, PortServices)
{
    auto c = open_on(peer->device(), ReaderMode::synchronous);
    EXPECT_EQ(c->ModemStatus(), std::nullopt) << "a pseudo-terminal has no modem lines";
    peer->write({1, 2, 3, 4, 5});
    pump_for(30);
    c->PurgeInput();
    Bytes b(1);
    EXPECT_EQ(code_of([&] { c->ReadRaw(b.data(), 1); }), kLinkNothingReceived);
    EXPECT_EQ(code_of([&] { c->WaitOutputEmpty(); }), 0);
    EXPECT_GE(elapsed_ms([&] { c->WaitMs(40); }), 39);
    QTimer::singleShot(10, [&] { c->Cancel(); });
    int code = 0;
    auto ms = elapsed_ms([&] { code = code_of([&] { c->WaitMs(5000); }); });
    EXPECT_EQ(code, kLinkUserCancel);
    EXPECT_LT(ms, 2000);
    EXPECT_EQ(code_of([&] { c->WaitMs(1); }), 0) << "the cancel was taken";
}

// --- line set-up ----------------------------------------------------------------------------------

struct SetupCase {
    const char *name;
    std::function<std::string(const RawPeer &)> device;
    std::function<void(TCOptionsType &)> settings;
    int code;
};

const SetupCase kSetupCases[] = {
    {"pty_with_dtr_and_rts", [](const RawPeer &p) { return p.device(); },
     [](TCOptionsType &o) { o.dtr_control = 1; o.rts_control = 1; }, 0},
    {"pty_with_rts_handshake", [](const RawPeer &p) { return p.device(); },
     [](TCOptionsType &o) { o.rts_control = 2; }, 0},
    {"one_stop_bit", [](const RawPeer &p) { return p.device(); },
     [](TCOptionsType &o) { o.stop_bits = 0; }, 0},
    {"one_and_a_half_stop_bits", [](const RawPeer &p) { return p.device(); },
     [](TCOptionsType &o) { o.stop_bits = 1; }, kLinkPortSetupFailed},
    {"unknown_baud_rate", [](const RawPeer &p) { return p.device(); },
     [](TCOptionsType &o) { o.baud_rate = 12345; }, kLinkPortSetupFailed},
    {"zero_baud_rate", [](const RawPeer &p) { return p.device(); },
     [](TCOptionsType &o) { o.baud_rate = 0; }, kLinkPortSetupFailed},
    {"not_a_serial_device", [](const RawPeer &) { return std::string("/dev/null"); },
     [](TCOptionsType &) {}, kLinkPortSetupFailed},
    {"missing_device", [](const RawPeer &) { return std::string("/dev/no-such-port-kx"); },
     [](TCOptionsType &) {}, kLinkPortOpenFailed},
    {"port_zero", [](const RawPeer &p) { return p.device(); },
     [](TCOptionsType &o) { o.com_port = 0; }, kLinkPortOpenFailed},
};

class SerialSetup : public SerialLink, public ::testing::WithParamInterface<SetupCase> {};

TEST_P(SerialSetup, OpensOrStaysClosed)
{
    const SetupCase &c = GetParam();
    SetSerialDevice(kPort, c.device(*peer));
    TCOptionsType o = serial_options();
    c.settings(o);
    std::vector<std::string> events;
    TSerialConnection conn;
    TcTraceCallbacks trace;
    trace.port_opened = [&](const SerialLineSettings &line, uint32_t port, bool ok) {
        events.push_back("COM" + std::to_string(port) + (ok ? " opened " : " not opened ") +
                         std::to_string(line.baud_rate));
    };
    trace.port_closed = [&] { events.push_back("closed"); };
    conn.SetTraceCallbacks(trace);
    conn.SetOptions(o);
    EXPECT_EQ(code_of([&] { conn.openSerialPort(ReaderMode::threaded); }), c.code);
    EXPECT_EQ(conn.IsOpen(), c.code == 0);
    EXPECT_EQ(conn.ReaderRunning(), c.code == 0);
    if (c.code == kLinkPortSetupFailed) {
        EXPECT_EQ(events, std::vector<std::string>{"COM7 not opened " + std::to_string(o.baud_rate)});
    }
    if (c.code == 0) {
        EXPECT_EQ(events, std::vector<std::string>{"COM7 opened " + std::to_string(o.baud_rate)});
        conn.Close();
        EXPECT_EQ(events.back(), "closed");
        EXPECT_FALSE(conn.IsOpen());
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, SerialSetup, ::testing::ValuesIn(kSetupCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(SerialLink, PortInUseIsNotOpened)
{
    int other = ::open(peer->device().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    SetSerialDevice(kPort, peer->device());
    TSerialConnection c;
    c.SetOptions(serial_options());
    EXPECT_EQ(code_of([&] { c.openSerialPort(ReaderMode::threaded); }), kLinkPortOpenFailed);
    EXPECT_FALSE(c.IsOpen());
    ::close(other);
    EXPECT_EQ(code_of([&] { c.openSerialPort(ReaderMode::threaded); }), 0);
}

TEST(SerialDevices, TableAndDefaultNames)
{
    EXPECT_EQ(SerialDeviceName(1), "/dev/ttyS0");
    EXPECT_EQ(SerialDeviceName(12), "/dev/ttyS11");
    EXPECT_EQ(SerialDeviceName(0), "");
    SetSerialDevice(12, "/dev/ttyUSB0");
    EXPECT_EQ(SerialDeviceName(12), "/dev/ttyUSB0");
    SetSerialDevice(12, "");
    EXPECT_EQ(SerialDeviceName(12), "/dev/ttyS11");
}

// The settings' device path names the line; without one the COM port's device does. The
// link opens that path: a pseudo-terminal's, with no table entry for its COM number.
TEST(SerialDevices, TheSettingsDevicePathIsTheLineOpened)
{
    TCOptionsType o;
    o.com_port = 3;
    EXPECT_EQ(SerialDevicePath(o), "/dev/ttyS2");
    ASSERT_TRUE(set_comm_text(o.serial_device, "/dev/ttyACM0"));
    EXPECT_EQ(SerialDevicePath(o), "/dev/ttyACM0");
    EXPECT_EQ(serial_port_text(o), "/dev/ttyACM0");

    auto peer = RawPeer::serial();
    ASSERT_TRUE(peer);
    TSerialConnection c;
    o = serial_options();
    ASSERT_TRUE(set_comm_text(o.serial_device, peer->device()));
    c.SetOptions(o);
    EXPECT_EQ(code_of([&] { c.openSerialPort(ReaderMode::threaded); }), 0);
    EXPECT_TRUE(c.IsOpen());
    c.Close();
    ASSERT_TRUE(set_comm_text(o.serial_device, peer->device() + "-gone"));
    c.SetOptions(o);
    EXPECT_EQ(code_of([&] { c.openSerialPort(ReaderMode::threaded); }), kLinkPortOpenFailed);
}

// The list the Serial Port box offers: the kinds in their order, each sorted; a "ttyS" entry
// that does not answer as a line (here a plain file) is left out, and a missing folder gives
// nothing.
TEST(SerialDevices, ThePortsPresent)
{
    const std::filesystem::path dev =
        std::filesystem::path(::testing::TempDir()) / "kx-dev-ports";
    std::filesystem::remove_all(dev);
    std::filesystem::create_directories(dev / "serial" / "by-id");
    for (const char *name : {"ttyS0", "ttyUSB1", "ttyUSB0", "ttyACM0", "tty0", "ttyprintk",
                             "serial/by-id/usb-Board_A-if00"})
        std::ofstream(dev / name) << "";
    const std::string d = dev.string();
    const std::vector<std::string> expected = {d + "/ttyUSB0", d + "/ttyUSB1", d + "/ttyACM0",
                                               d + "/serial/by-id/usb-Board_A-if00"};
    EXPECT_EQ(SerialPortsPresent(d), expected);
    EXPECT_TRUE(SerialPortsPresent(d + "/none").empty());
    std::filesystem::remove_all(dev);
}

// --- the board stand-in ---------------------------------------------------------------------------

vsim::StandInConfig serial_board(vsim::BoardPhase phase)
{
    vsim::StandInConfig c;
    c.tcp = false;
    c.firmware.initial_phase = phase;
    return c;
}

class SerialStandIn : public ::testing::Test {
protected:
    void TearDown() override { SetSerialDevice(kPort, ""); }
    size_t frames_logged()
    {
        return board->with_firmware([](vsim::BoardFirmware &fw) { return fw.frames().size(); });
    }
    std::unique_ptr<vsim::BoardStandIn> board;
    TimingGuard timings;
};

TEST_F(SerialStandIn, NoopAnsweredThenSilenceRetriedThenTimeout)
{
    board = boardtest::start_board(serial_board(vsim::BoardPhase::pilot));
    ASSERT_TRUE(board);
    auto c = open_on(board->pty_path(), ReaderMode::threaded, serial_options(2, 80));
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);
    EXPECT_EQ(frames_logged(), 1u);
    board->with_firmware([](vsim::BoardFirmware &fw) { fw.stay_silent(10); });
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), kLinkTimeout);
    EXPECT_TRUE(board->wait_until([](const vsim::BoardFirmware &fw) { return fw.frames().size() >= 4; }));
    EXPECT_EQ(frames_logged(), 4u) << "one send and two retries";
}

TEST_F(SerialStandIn, CorruptedCheckIsABadPacketAndTheRetrySucceeds)
{
    board = boardtest::start_board(serial_board(vsim::BoardPhase::pilot));
    ASSERT_TRUE(board);
    auto c = open_on(board->pty_path(), ReaderMode::threaded, serial_options(1, 150));
    board->with_firmware([](vsim::BoardFirmware &fw) { fw.corrupt_next_check(); });
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);
    LinkErrorRecord e = c->TakeLinkError();
    EXPECT_TRUE(e.pending);
    EXPECT_EQ(e.kind, kLinkErrorBadPacket);
    EXPECT_EQ(e.type, kLinkSys);
    EXPECT_EQ(e.subtype, kSysNoop);
    EXPECT_EQ(frames_logged(), 2u);
}

TEST_F(SerialStandIn, NakFromTheBoardFails)
{
    board = boardtest::start_board(serial_board(vsim::BoardPhase::pilot));
    ASSERT_TRUE(board);
    auto c = open_on(board->pty_path(), ReaderMode::threaded);
    board->with_firmware([](vsim::BoardFirmware &fw) { fw.nak_next(kLinkSys, kSysNoop); });
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), kLinkRefused);
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);
}

// The pilot loader's raw stage: the header goes out raw and its sum comes back raw; then the
// image, its check, and framed requests on the same line.
TEST_F(SerialStandIn, PilotHeaderSumComesBackInSynchronousMode)
{
    // The echo may come late on a loaded machine: the read looks for it three times this far
    // apart.
    link_timings().sync_poll_ms = 100;
    board = boardtest::start_board(serial_board(vsim::BoardPhase::pilot_load));
    ASSERT_TRUE(board);
    auto c = open_on(board->pty_path(), ReaderMode::synchronous);
    Bytes image = {0xCC, 0x01, 0x7E, 0x7D, 0x42};
    Bytes header;
    boardtest::put32(header, 16384);
    boardtest::put16(header, uint16_t(image.size()));
    uint8_t sum = 0;
    for (uint8_t b : header)
        sum = uint8_t(sum + b);
    header.push_back(sum);
    ASSERT_EQ(code_of([&] { c->WriteRaw(header.data(), header.size()); }), 0);
    uint8_t echo = 0;
    ASSERT_EQ(code_of([&] { c->ReadRaw(&echo, 1); }), 0);
    EXPECT_EQ(echo, sum);
    ASSERT_EQ(code_of([&] { c->WriteRaw(image.data(), image.size()); }), 0);
    Bytes check(2);
    ASSERT_EQ(code_of([&] { c->ReadRaw(check.data(), 2); }), 0);
    uint16_t expected = ComputeCheck(std::span<const uint8_t>(image).subspan(1), 0xCCCC);
    EXPECT_EQ(check[0] | check[1] << 8, expected);
    c->SetReaderMode(ReaderMode::threaded);
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);
}

} // namespace
