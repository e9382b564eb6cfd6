// The TCP transport on 127.0.0.1: the session with the board stand-in, frames without flag or
// escapes, connects that are refused, never complete or are cancelled, a peer that goes away,
// and bytes between frames.
#include "LinkHarness.h"

#include "BoardHost.h"
#include "link/TEthernetConnection.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace linktest;

namespace {

TCOptionsType tcp_options(uint16_t port, uint32_t timeout_ms = 2000, uint32_t retries = 0,
                          const char *address = "127.0.0.1")
{
    TCOptionsType o;
    o.link_kind = 1;
    EXPECT_TRUE(set_comm_text(o.network_address, address));
    o.control_port = port;
    o.tcp_response_timeout = timeout_ms;
    o.tcp_retry_count = retries;
    return o;
}

std::unique_ptr<TEthernetConnection> connect_to(const TCOptionsType &o, int *code = nullptr)
{
    auto c = std::make_unique<TEthernetConnection>();
    c->SetOptions(o);
    register_requests(*c);
    int result = code_of([&] { c->connectTcp(ReaderMode::threaded); });
    if (code)
        *code = result;
    else
        EXPECT_EQ(result, 0);
    return c;
}

// A listener that takes one connection into its queue and then no more: a second connect
// never completes.
struct FullListener {
    int listen_fd = -1, filler = -1;
    uint16_t port = 0;
    FullListener()
    {
        listen_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        ::bind(listen_fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(listen_fd, 0);
        ::getsockname(listen_fd, reinterpret_cast<sockaddr *>(&a), &size);
        port = ntohs(a.sin_port);
        filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(filler, reinterpret_cast<sockaddr *>(&a), sizeof a);
    }
    ~FullListener()
    {
        ::close(filler);
        ::close(listen_fd);
    }
};

uint16_t closed_port()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &size);
    ::close(fd);
    return ntohs(a.sin_port);
}

class TcpLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        peer = RawPeer::tcp();
        ASSERT_TRUE(peer);
    }
    std::unique_ptr<RawPeer> peer;
    TimingGuard timings;
};

TEST_F(TcpLink, FramesGoWithoutFlagOrEscapes)
{
    auto c = connect_to(tcp_options(peer->port()));
    EXPECT_TRUE(c->IsOpen());
    EXPECT_TRUE(c->ReaderRunning());
    Bytes p = {0x7E, 0x7D};
    c->SendFrame(kLinkDbg, kDbgStdio, p.data(), p.size());
    c->SendFrame(kLinkSys, kSysNoop, nullptr, 0);
    ASSERT_TRUE(peer->wait_frames(2));
    EXPECT_EQ(asm_hex(peer->received()),
              "02 00 01 15 02 00 53 1A 7E 7D D1 83 02 00 00 01 00 00 0F 03 36 15");
    EXPECT_EQ(peer->frames()[1].raw.size(), 10u);
}

TEST_F(TcpLink, RequestIsAnsweredAndRawBytesAreRefused)
{
    peer->respond(peer->ack_all());
    auto c = connect_to(tcp_options(peer->port()));
    EXPECT_EQ(code_of([&] { c->Send(kLinkDbg, kDbgNoop, nullptr, 0); }), 0);
    Bytes b(1);
    EXPECT_EQ(code_of([&] { c->WriteRaw(b.data(), 1); }), kLinkRawInThreadedMode);
    EXPECT_EQ(code_of([&] { c->ReadRaw(b.data(), 1); }), kLinkRawInThreadedMode);
    c->SetReaderMode(ReaderMode::synchronous);
    EXPECT_EQ(code_of([&] { c->WriteRaw(b.data(), 1); }), kLinkRawInThreadedMode)
        << "there are no raw bytes on this link";
}

TEST_F(TcpLink, PeerClosingEndsTheReaderAndFailsTheNextRequest)
{
    auto c = connect_to(tcp_options(peer->port()));
    ASSERT_TRUE(pump_until([&] { return peer->client_connected(); }));
    peer->hang_up();
    ASSERT_TRUE(pump_until([&] { return !c->ReaderRunning(); }));
    EXPECT_EQ(c->ReaderExitCode(), kLinkPeerClosed);
    EXPECT_EQ(code_of([&] { c->Send(kLinkDbg, kDbgNoop, nullptr, 0); }), kLinkPeerClosed);
    EXPECT_FALSE(c->TakeLinkError().pending) << "it went away between frames";
}

TEST_F(TcpLink, PeerGoneWhileARequestWaitsFailsItAtOnce)
{
    peer->respond([&](const PeerFrame &) {
        Bytes half = peer->frame(kLinkDbg, kDbgNoop | kLinkAck, {1, 2, 3, 4});
        half.resize(9);
        return half;
    });
    auto c = connect_to(tcp_options(peer->port(), 5000));
    QTimer::singleShot(40, [&] { peer->hang_up(); });
    int code = 0;
    auto ms = elapsed_ms([&] { code = code_of([&] { c->Send(kLinkDbg, kDbgNoop, nullptr, 0); }); });
    EXPECT_EQ(code, kLinkPeerClosed);
    EXPECT_LT(ms, 2000);
    LinkErrorRecord e = c->TakeLinkError();
    EXPECT_TRUE(e.pending) << "the frame cut short is a bad packet";
    EXPECT_EQ(e.kind, kLinkErrorBadPacket);
    EXPECT_EQ(e.type, kLinkDbg);
    EXPECT_EQ(e.subtype, kDbgNoop);
}

TEST_F(TcpLink, BytesBetweenFramesAreABadPacketAndTheAnswerStillComes)
{
    peer->respond([&](const PeerFrame &f) {
        Bytes out = {0x11, 0x22, 0x01, 0x05, 0x00, 0x00, 0x00, 0x00};
        Bytes ack = peer->frame(f.type, f.subtype | kLinkAck);
        out.insert(out.end(), ack.begin(), ack.end());
        return out;
    });
    auto c = connect_to(tcp_options(peer->port()));
    EXPECT_EQ(code_of([&] { c->Send(kLinkDbg, kDbgNoop, nullptr, 0); }), 0);
    LinkErrorRecord e = c->TakeLinkError();
    EXPECT_TRUE(e.pending);
    EXPECT_EQ(e.kind, kLinkErrorBadPacket);
}

TEST_F(TcpLink, UnregisteredFrameEndsTheReader)
{
    auto c = connect_to(tcp_options(peer->port()));
    ASSERT_TRUE(pump_until([&] { return peer->client_connected(); }));
    peer->write(peer->frame(kLinkSys, 33));
    ASSERT_TRUE(pump_until([&] { return !c->ReaderRunning(); }));
    EXPECT_EQ(code_of([&] { c->Send(kLinkDbg, kDbgNoop, nullptr, 0); }), kLinkNoHandler);
}

struct ConnectFailCase {
    const char *name;
    const char *address;
    int code;
};

const ConnectFailCase kConnectFailCases[] = {
    {"refused", "127.0.0.1", kLinkConnectFailed},
    {"not_an_address", "127.0.0.300", kLinkConnectFailed},
    {"empty_address", "", kLinkConnectFailed},
};

class TcpConnectFails : public ::testing::TestWithParam<ConnectFailCase> {};

TEST_P(TcpConnectFails, LeavesNothingOpen)
{
    const ConnectFailCase &c = GetParam();
    const size_t fds = open_descriptors();
    int code = 0;
    auto conn = connect_to(tcp_options(closed_port(), 2000, 0, c.address), &code);
    EXPECT_EQ(code, c.code);
    EXPECT_FALSE(conn->IsOpen());
    EXPECT_FALSE(conn->ReaderRunning());
    EXPECT_EQ(code_of([&] { conn->Send(kLinkDbg, kDbgNoop, nullptr, 0); }), kLinkNoReader);
    conn.reset();
    EXPECT_EQ(open_descriptors(), fds);
}

INSTANTIATE_TEST_SUITE_P(Connects, TcpConnectFails, ::testing::ValuesIn(kConnectFailCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(TcpConnect, NeverCompletedConnectTimesOutAtTheConfiguredTime)
{
    TimingGuard timings;
    link_timings().connect_ms = 150;
    FullListener full;
    int code = 0;
    std::unique_ptr<TEthernetConnection> c;
    auto ms = elapsed_ms([&] { c = connect_to(tcp_options(full.port), &code); });
    EXPECT_EQ(code, kLinkTimeout);
    EXPECT_GE(ms, 140);
    EXPECT_LT(ms, 2000);
    EXPECT_FALSE(c->IsOpen());
}

TEST(TcpConnect, ConnectCanBeCancelled)
{
    FullListener full;
    auto c = std::make_unique<TEthernetConnection>();
    c->SetOptions(tcp_options(full.port));
    QTimer::singleShot(30, [&] { c->Cancel(); });
    int code = 0;
    auto ms = elapsed_ms([&] { code = code_of([&] { c->connectTcp(ReaderMode::threaded); }); });
    EXPECT_EQ(code, kLinkUserCancel);
    EXPECT_LT(ms, 2000);
    EXPECT_FALSE(c->IsOpen());
}

// The connect's time limit ends with the connect: a request's wait afterwards runs its full
// response time-out.
TEST_F(TcpLink, NoStaleConnectTimerEndsALaterWait)
{
    link_timings().connect_ms = 40;
    auto c = connect_to(tcp_options(peer->port(), 250));
    int code = 0;
    auto ms = elapsed_ms([&] { code = code_of([&] { c->Send(kLinkDbg, kDbgNoop, nullptr, 0); }); });
    EXPECT_EQ(code, kLinkTimeout);
    EXPECT_GE(ms, 240);
}

// --- the board stand-in -----------------------------------------------------------------------

// The host's side of the session the request layer opens: the challenge (method 0: sixteen
// zero bytes back), then the link request.
std::unique_ptr<TEthernetConnection> stand_in_session(const vsim::BoardStandIn &board)
{
    auto c = std::make_unique<TEthernetConnection>();
    c->SetOptions(tcp_options(board.tcp_port()));
    register_requests(*c);
    TEthernetConnection *raw = c.get();
    c->RegisterHandler(kLinkDbg, kDbgChallenge,
                       [raw](const uint8_t *, uint16_t, uintptr_t) {
                           Bytes response(16, 0);
                           raw->SendFrame(kLinkDbg, kDbgChallengeResponse, response.data(), 16);
                           return 0u;
                       },
                       0, true, false);
    EXPECT_EQ(code_of([&] { c->connectTcp(ReaderMode::threaded); }), 0);
    EXPECT_EQ(code_of([&] { c->SendAndWait(kLinkDbg, kDbgChallenge, nullptr, 0, true); }), 0);
    c->RegisterHandler(kLinkDbg, kDbgLinkRequest, nullptr, 0, true, true);
    uint8_t three = 3;
    EXPECT_EQ(code_of([&] { c->Send(kLinkDbg, kDbgLinkRequest, &three, 1); }), 0);
    return c;
}

TEST(TcpStandIn, SessionAnswersRequests)
{
    auto board = boardtest::start_board(boardtest::debug_config());
    ASSERT_TRUE(board);
    auto c = stand_in_session(*board);
    EXPECT_TRUE(board->with_firmware([](vsim::BoardFirmware &fw) { return fw.tcp_authenticated(); }));
    EXPECT_EQ(code_of([&] { c->Send(kLinkDbg, kDbgNoop, nullptr, 0); }), 0);
    Bytes read = boardtest::memory_payload(0, 0x00000, 4);
    read.resize(6 + 4);
    EXPECT_EQ(code_of([&] { c->Send(kLinkSys, kSysRead, read.data(), 7, read.size()); }), 0);
    EXPECT_EQ(c->GetHandlerEntry(kLinkSys, kSysRead).reply_length, 10u);
}

TEST(TcpStandIn, BoardClosingEndsTheReaderWith3007)
{
    auto board = boardtest::start_board(boardtest::debug_config());
    ASSERT_TRUE(board);
    auto c = stand_in_session(*board);
    board->with_firmware([](vsim::BoardFirmware &fw) { fw.close_tcp(); });
    ASSERT_TRUE(pump_until([&] { return !c->ReaderRunning(); }));
    EXPECT_EQ(c->ReaderExitCode(), kLinkPeerClosed);
    EXPECT_EQ(code_of([&] { c->Send(kLinkDbg, kDbgNoop, nullptr, 0); }), kLinkPeerClosed);
}

TEST(TcpStandIn, SilentBoardTimesOutAfterTheRetries)
{
    auto board = boardtest::start_board(boardtest::debug_config());
    ASSERT_TRUE(board);
    auto c = stand_in_session(*board);
    c->SetRetryCount(2);
    c->SetResponseTimeout(60);
    const size_t before = board->with_firmware([](vsim::BoardFirmware &fw) { return fw.frames().size(); });
    board->with_firmware([](vsim::BoardFirmware &fw) { fw.stay_silent(10); });
    EXPECT_EQ(code_of([&] { c->Send(kLinkDbg, kDbgNoop, nullptr, 0); }), kLinkTimeout);
    EXPECT_TRUE(board->wait_until([&](const vsim::BoardFirmware &fw) { return fw.frames().size() >= before + 3; }));
    EXPECT_EQ(board->with_firmware([](vsim::BoardFirmware &fw) { return fw.frames().size(); }), before + 3);
}

} // namespace
