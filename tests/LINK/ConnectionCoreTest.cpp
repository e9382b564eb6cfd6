// The transport base on a serial link to a raw peer: callbacks on the GUI thread in arrival
// order, requests inside callbacks, waits that end only on their own answer, cancel, close
// while the reader waits in a hand-over, quitting, open and close cycles, and the trace.
#include "LinkHarness.h"

#include "link/TEthernetConnection.h"
#include "link/TSerialConnection.h"
#include "debugger/TcTrace.h"
#include "TraceSandbox.h"
#include "settings/guiKXPreferences.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace linktest;

namespace {

constexpr uint32_t kPort = 8;

std::unique_ptr<TSerialConnection> open_serial(const RawPeer &peer, uint32_t timeout_ms = 2000,
                                               uint32_t retries = 0)
{
    TCOptionsType o;
    o.com_port = kPort;
    o.serial_response_timeout = timeout_ms;
    o.serial_retry_count = retries;
    return open_serial_on(peer.device(), o);
}

bool on_gui_thread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

class ConnectionCore : public ::testing::Test {
protected:
    void SetUp() override
    {
        peer = RawPeer::serial();
        ASSERT_TRUE(peer);
    }
    void TearDown() override { SetSerialDevice(kPort, ""); }
    Bytes stdio(uint8_t index) const { return peer->frame(kLinkDbg, kDbgStdio, {index, 'x'}); }

    std::unique_ptr<RawPeer> peer;
    TimingGuard timings;
};

TEST_F(ConnectionCore, HandlersOutsideTheTableAreRefused)
{
    auto c = open_serial(*peer);
    auto noop = [](const uint8_t *, uint16_t, uintptr_t) -> uint32_t { return 0; };
    EXPECT_THROW(c->RegisterHandler(2, kSysNoop, noop, 0, true, false), std::invalid_argument);
    EXPECT_THROW(c->RegisterHandler(kLinkSys, kSysNoop | kLinkAck, noop, 0, true, false),
                 std::invalid_argument);
    EXPECT_FALSE(c->GetHandlerEntry(kLinkSys, kSysNoop).callback) << "no entry taken instead";
}

TEST_F(ConnectionCore, CallbacksRunOnTheGuiThreadInArrivalOrder)
{
    auto c = open_serial(*peer);
    std::vector<int> order;
    bool all_on_gui = true;
    c->RegisterHandler(kLinkDbg, kDbgStdio,
                       [&](const uint8_t *p, uint16_t n, uintptr_t context) {
                           all_on_gui = all_on_gui && on_gui_thread() && n == 3 && context == 77;
                           order.push_back(p[0] | p[1] << 8);
                           return 0u;
                       },
                       77, false, false);
    Bytes burst;
    for (int i = 0; i < 100; ++i) {
        Bytes f = peer->frame(kLinkDbg, kDbgStdio, {uint8_t(i), uint8_t(i >> 8), 'x'});
        burst.insert(burst.end(), f.begin(), f.end());
    }
    peer->write(burst);
    ASSERT_TRUE(pump_until([&] { return order.size() == 100; }));
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(order[i], i);
    EXPECT_TRUE(all_on_gui);
    EXPECT_TRUE(c->GetArrived(kLinkDbg, kDbgStdio));
    EXPECT_EQ(c->GetHandlerEntry(kLinkDbg, kDbgStdio).payload, nullptr) << "only while it runs";
}

// A request sent inside a callback completes; the callbacks that arrive meanwhile wait until
// the first has returned and then run in their order.
TEST_F(ConnectionCore, RequestInsideACallbackCompletesWithNoCallbackWithinIt)
{
    peer->respond([&](const PeerFrame &f) {
        if (f.type != kLinkDbg || f.subtype != kDbgNoop)
            return Bytes{};
        Bytes out;
        for (uint8_t i : {1, 2, 3}) {
            Bytes s = stdio(i);
            out.insert(out.end(), s.begin(), s.end());
        }
        Bytes ack = peer->frame(kLinkDbg, kDbgNoop | kLinkAck);
        out.insert(out.end(), ack.begin(), ack.end());
        return out;
    });
    auto c = open_serial(*peer);
    int depth = 0, deepest = 0, request = -1;
    std::vector<int> order;
    c->RegisterHandler(kLinkDbg, kDbgStdio,
                       [&](const uint8_t *p, uint16_t, uintptr_t) {
                           deepest = std::max(deepest, ++depth);
                           order.push_back(p[0]);
                           if (p[0] == 0)
                               request = code_of([&] { c->Send(kLinkDbg, kDbgNoop, nullptr, 0); });
                           --depth;
                           return 0u;
                       },
                       0, false, false);
    peer->write(stdio(0));
    ASSERT_TRUE(pump_until([&] { return order.size() == 4; }));
    EXPECT_EQ(request, 0);
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}

// A request inside a callback while another request waits: the outer one's answer arriving
// first does not end the inner wait, which ends on its own answer.
TEST_F(ConnectionCore, AWaitEndsOnlyOnItsOwnAnswer)
{
    bool inner_answer_sent = false;
    peer->respond([&](const PeerFrame &f) {
        if (f.type == kLinkSys && f.subtype == kSysNoop)
            return stdio(0); // the outer request: a message first, its answer later
        if (f.type == kLinkDbg && f.subtype == kDbgNoop)
            return peer->frame(kLinkSys, kSysNoop | kLinkAck); // the outer one's answer
        return Bytes{};
    });
    auto c = open_serial(*peer);
    int inner = -1;
    bool inner_ended_on_its_own = false;
    c->RegisterHandler(kLinkDbg, kDbgStdio,
                       [&](const uint8_t *, uint16_t, uintptr_t) {
                           QTimer::singleShot(80, [&] {
                               inner_answer_sent = true;
                               peer->write(peer->frame(kLinkDbg, kDbgNoop | kLinkAck));
                           });
                           inner = code_of([&] { c->Send(kLinkDbg, kDbgNoop, nullptr, 0); });
                           inner_ended_on_its_own = inner_answer_sent;
                           return 0u;
                       },
                       0, false, false);
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);
    EXPECT_EQ(inner, 0);
    EXPECT_TRUE(inner_ended_on_its_own);
}

// A callback message that a request waits for (registered with a callback and "waits") ends
// the wait once the callback has run.
TEST_F(ConnectionCore, ACallbackMessageEndsTheRequestWaitingForIt)
{
    peer->respond([&](const PeerFrame &f) {
        if (f.type == kLinkDbg && f.subtype == kDbgRegData)
            return peer->frame(kLinkDbg, kDbgRegData, Bytes(27, 0x33));
        return Bytes{};
    });
    auto c = open_serial(*peer);
    int calls = 0;
    c->RegisterHandler(kLinkDbg, kDbgRegData,
                       [&](const uint8_t *p, uint16_t n, uintptr_t) {
                           calls += n == 27 && p[26] == 0x33;
                           return 0u;
                       },
                       0, true, false);
    EXPECT_EQ(code_of([&] { c->Send(kLinkDbg, kDbgRegData, nullptr, 0); }), 0);
    EXPECT_EQ(calls, 1);
}

TEST_F(ConnectionCore, CancelFailsTheWaitingRequestNotTheNext)
{
    std::atomic<int> requests{0}; // counted on the peer's thread
    peer->respond([&](const PeerFrame &f) {
        if (++requests == 1)
            return Bytes{}; // the first one is never answered
        return peer->frame(f.type, f.subtype | kLinkAck);
    });
    auto c = open_serial(*peer, 5000);
    QTimer::singleShot(30, [&] { c->Cancel(); });
    int code = 0;
    auto ms = elapsed_ms([&] { code = code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }); });
    EXPECT_EQ(code, kLinkUserCancel);
    EXPECT_LT(ms, 2000);
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);

    // From another thread, too, once the request is on the line (and so waits).
    requests = 0;
    std::thread canceller([&] {
        if (peer->wait_frames(3))
            c->Cancel();
    });
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), kLinkUserCancel);
    canceller.join();

    // With nothing waiting a cancel touches nothing.
    c->Cancel();
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);
}

TEST_F(ConnectionCore, ACallbackThatThrowsGoesToTheReadExceptionHandler)
{
    auto c = open_serial(*peer);
    int handled = 0, calls = 0;
    c->SetReadExceptionHandler([&] { ++handled; });
    c->RegisterHandler(kLinkDbg, kDbgStdio,
                       [&](const uint8_t *p, uint16_t, uintptr_t) -> uint32_t {
                           ++calls;
                           if (p[0] == 0)
                               throw std::runtime_error("a handler's fault");
                           return 0;
                       },
                       0, false, false);
    Bytes both = stdio(0);
    Bytes second = stdio(1);
    both.insert(both.end(), second.begin(), second.end());
    peer->write(both);
    ASSERT_TRUE(pump_until([&] { return calls == 2; }));
    EXPECT_EQ(handled, 1);
    EXPECT_TRUE(c->ReaderRunning());
}

// The reader has handed a frame over and waits; the GUI thread has not taken it. Close returns
// at once, and the frame is never delivered.
TEST_F(ConnectionCore, CloseWhileTheReaderWaitsInAHandOverReturnsAtOnce)
{
    auto c = open_serial(*peer);
    int calls = 0;
    c->RegisterHandler(kLinkDbg, kDbgStdio, [&](const uint8_t *, uint16_t, uintptr_t) { return uint32_t(++calls); }, 0, false, false);
    peer->write(stdio(0));
    std::this_thread::sleep_for(Ms(50)); // the GUI thread runs no events meanwhile
    EXPECT_LT(elapsed_ms([&] { c->Close(); }), 500);
    EXPECT_FALSE(c->IsOpen());
    EXPECT_FALSE(c->ReaderRunning());
    pump_for(30);
    EXPECT_EQ(calls, 0);
}

TEST_F(ConnectionCore, CloseOrDestroyInsideACallback)
{
    auto c = open_serial(*peer);
    int calls = 0;
    c->RegisterHandler(kLinkDbg, kDbgStdio,
                       [&](const uint8_t *, uint16_t, uintptr_t) {
                           ++calls;
                           c->Close();
                           return 0u;
                       },
                       0, false, false);
    Bytes two = stdio(0);
    Bytes more = stdio(1);
    two.insert(two.end(), more.begin(), more.end());
    peer->write(two);
    ASSERT_TRUE(pump_until([&] { return calls == 1; }));
    pump_for(30);
    EXPECT_EQ(calls, 1) << "nothing is delivered after the close";
    EXPECT_FALSE(c->IsOpen());

    auto d = open_serial(*peer);
    d->RegisterHandler(kLinkDbg, kDbgStdio,
                       [&](const uint8_t *, uint16_t, uintptr_t) {
                           ++calls;
                           d.reset();
                           return 0u;
                       },
                       0, false, false);
    peer->write(two);
    ASSERT_TRUE(pump_until([&] { return calls == 2; }));
    pump_for(30);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(d, nullptr);
}

// Quitting the application while a request waits ends it with 4125. The test runs inside the
// application's loop, which the quit ends too (a guard timer bounds it).
TEST_F(ConnectionCore, QuittingWhileARequestWaits)
{
    auto c = open_serial(*peer, 5000);
    int code = -1;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(30, [] { QCoreApplication::quit(); });
        code = code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); });
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(3000);
    QCoreApplication::exec();
    EXPECT_EQ(code, kLinkQuit);
    peer->respond(peer->ack_all());
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0)
        << "the next request waits again";
}

TEST_F(ConnectionCore, OpenAndCloseCyclesLeakNoThreadOrDescriptor)
{
    peer->respond(peer->ack_all());
    auto tcp = RawPeer::tcp();
    ASSERT_TRUE(tcp);
    {
        auto warm = open_serial(*peer);
        EXPECT_EQ(code_of([&] { warm->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);
    }
    const size_t fds = open_descriptors();
    const size_t threads = thread_count();
    for (int i = 0; i < 50; ++i) {
        auto c = open_serial(*peer);
        ASSERT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0) << i;
        c->Close();
        ASSERT_EQ(code_of([&] { c->SetReaderMode(ReaderMode::threaded); }), kLinkNoReader)
            << "no reader without a port";
    }
    for (int i = 0; i < 50; ++i) {
        TEthernetConnection c;
        TCOptionsType o;
        (void)set_comm_text(o.network_address, "127.0.0.1");
        o.control_port = tcp->port();
        c.SetOptions(o);
        ASSERT_EQ(code_of([&] { c.connectTcp(ReaderMode::threaded); }), 0) << i;
        c.SendFrame(kLinkDbg, kDbgStdio | kLinkAck, nullptr, 0);
        c.Close();
    }
    // A joined thread may take a moment to leave the process's list, so the counts are
    // awaited; a leak of one per cycle would leave fifty.
    EXPECT_TRUE(pump_until([&] { return thread_count() <= threads; })) << thread_count() << " > " << threads;
    EXPECT_TRUE(pump_until([&] { return open_descriptors() <= fds; })) << open_descriptors() << " > " << fds;
}

// --- the trace ----------------------------------------------------------------------------------

class ConnectionTrace : public ConnectionCore {
protected:
    std::string trace_text() { return sandbox.text(); }
    TraceSandbox sandbox;
};

TEST_F(ConnectionTrace, FramesBothWaysWithVerboseDecoding)
{
    IdePreferences().tc_logging = true;
    IdePreferences().tc_log_verbose = true;
    ASSERT_TRUE(TcOpenTraceFile());
    peer->respond(peer->ack_all());
    auto c = open_serial(*peer);
    c->SetTraceCallbacks(TcTraceWriters());
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);
    pump_for(20);
    c->Close();
    std::string text = trace_text();
    const size_t sent = text.find(") send \r\nSYS/NOOP\r\n7e 02 00 00 01 00 00 0f 03 36 15 \r\n");
    const size_t received = text.find(") receive\r\nSYS/NOOP (ACK)\r\n7e 02 00 00 81 00 00 90 83 ");
    EXPECT_NE(sent, std::string::npos) << text;
    EXPECT_NE(received, std::string::npos) << text;
    EXPECT_LT(sent, received) << "the request is traced before its answer\n" << text;
}

TEST_F(ConnectionTrace, RawBytesWithTheNonPacketSwitches)
{
    IdePreferences().tc_logging = true;
    IdePreferences().tc_log_verbose = true;
    IdePreferences().tc_log_non_packet_writes = true;
    IdePreferences().tc_log_non_packet_reads = true;
    ASSERT_TRUE(TcOpenTraceFile());
    SetSerialDevice(kPort, peer->device());
    TSerialConnection c;
    TCOptionsType o;
    o.com_port = kPort;
    c.SetOptions(o);
    c.SetTraceCallbacks(TcTraceWriters());
    c.openSerialPort(ReaderMode::synchronous);
    Bytes out = {0x80, 0x0E, 0x30};
    c.WriteRaw(out.data(), out.size());
    peer->write({0x42});
    uint8_t in = 0;
    c.ReadRaw(&in, 1);
    c.Close();
    std::string text = trace_text();
    EXPECT_NE(text.find(" COM8 opened\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find(") send \r\n80 0e 30 \r\n"), std::string::npos) << "raw bytes are not decoded\n" << text;
    EXPECT_NE(text.find(") receive\r\n42 \r\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" port closed \r\n"), std::string::npos) << text;
}

TEST_F(ConnectionTrace, LoggingOffWritesNoFile)
{
    ASSERT_TRUE(TcOpenTraceFile());
    peer->respond(peer->ack_all());
    auto c = open_serial(*peer);
    c->SetTraceCallbacks(TcTraceWriters());
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysNoop, nullptr, 0); }), 0);
    c->Close();
    EXPECT_FALSE(std::filesystem::exists(TcTraceFilePath()));
}

} // namespace
