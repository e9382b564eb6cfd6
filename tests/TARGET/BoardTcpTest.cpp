// The stand-in on loopback TCP: the digest challenge, the network loader's requests, one host
// at a time, and network discovery over UDP.
#include "BoardHost.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace boardtest;
using vsim::BoardFirmware;
using vsim::BoardPhase;
using vsim::BoardStandIn;
using vsim::StandInConfig;

namespace {

StandInConfig tcp_config(uint8_t method = 0, std::string phrase = "")
{
    StandInConfig c;
    c.serial = false;
    c.firmware.challenge_method = method;
    c.firmware.pass_phrase = std::move(phrase);
    return c;
}


struct ChallengeCase {
    const char *name;
    uint8_t method;
    const char *board_phrase;
    const char *host_phrase;
    bool zeros; // the host answers 16 zero bytes, else MD5(challenge || MD5(host phrase))
    bool accepted;
};
void PrintTo(const ChallengeCase &c, std::ostream *os) { *os << c.name; }

const ChallengeCase kChallenges[] = {
    {"method0_zeros", 0, "", "", true, true},
    {"method0_digest_refused", 0, "", "", false, false},
    {"method1_right_phrase", 1, "open sesame", "open sesame", false, true},
    {"method1_wrong_phrase", 1, "open sesame", "open sesame!", false, false},
    {"method1_zeros_refused", 1, "open sesame", "", true, false},
    {"method1_empty_phrase", 1, "", "", false, true},
};

class Challenge : public ::testing::TestWithParam<ChallengeCase> {};

TEST_P(Challenge, AnswerDecidesTheConnection)
{
    const ChallengeCase &c = GetParam();
    auto board = start_board(tcp_config(c.method, c.board_phrase));
    ASSERT_TRUE(board);
    auto host = open_tcp(*board);
    ASSERT_TRUE(host);
    auto challenge = host->next();
    ASSERT_TRUE(challenge);
    EXPECT_EQ(challenge->type, kLinkDbg);
    EXPECT_EQ(challenge->subtype, kDbgChallenge);
    ASSERT_EQ(challenge->payload.size(), 17u);
    EXPECT_EQ(challenge->payload[0], c.method);
    Bytes response = Bytes(16, 0);
    if (!c.zeros) {
        Bytes as_method1 = challenge->payload;
        as_method1[0] = 1;
        response = challenge_response(as_method1, c.host_phrase);
    }
    host->send(kLinkDbg, kDbgChallengeResponse, response);
    if (!c.accepted) {
        EXPECT_TRUE(host->closed_by_board());
        return;
    }
    auto link = host->request(kLinkDbg, kDbgLinkRequest, {3});
    ASSERT_TRUE(link);
    EXPECT_TRUE(link->ack());
    EXPECT_TRUE(board->with_firmware([](BoardFirmware &fw) { return fw.tcp_authenticated(); }));
}

INSTANTIATE_TEST_SUITE_P(Cases, Challenge, ::testing::ValuesIn(kChallenges),
                         [](const auto &i) { return std::string(i.param.name); });

// Each accept sends a fresh challenge; a fixed one is sent as configured.
TEST(BoardTcp, ChallengeBytesFixedOrFresh)
{
    StandInConfig c = tcp_config(1, "x");
    c.firmware.challenge = std::array<uint8_t, 16>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    auto fixed = start_board(c);
    ASSERT_TRUE(fixed);
    auto host = open_tcp(*fixed);
    ASSERT_TRUE(host);
    auto ch = host->next();
    ASSERT_TRUE(ch);
    EXPECT_EQ(ch->payload, (Bytes{1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));

    auto fresh = start_board(tcp_config(1, "x"));
    ASSERT_TRUE(fresh);
    auto a = open_tcp(*fresh);
    auto first = a->next();
    a.reset();
    auto b = open_tcp(*fresh);
    auto second = b->next();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->payload, second->payload);
}

// Before the challenge is answered the board acts on nothing.
TEST(BoardTcp, NothingIsAnsweredBeforeTheChallenge)
{
    auto board = start_board(tcp_config());
    ASSERT_TRUE(board);
    auto host = open_tcp(*board);
    ASSERT_TRUE(host);
    ASSERT_TRUE(host->next());
    host->send(kLinkDbg, kDbgLinkRequest, {3});
    host->send(kLinkDbg, kDbgChallengeResponse, Bytes(16, 0));
    auto link = host->request(kLinkDbg, kDbgLinkRequest, {3});
    ASSERT_TRUE(link && link->ack());
    EXPECT_TRUE(host->others.empty()) << describe(host->others.front());
    auto count = board->with_firmware([](BoardFirmware &fw) { return fw.frames().size(); });
    EXPECT_EQ(count, 3u) << "all three frames are in the log";
}

// The network loader: cold loader, pilot header and pilot image in frames, each ACKed and
// kept; a length that does not match its payload is refused.
TEST(BoardTcp, LoaderRequestsAreAckedAndLogged)
{
    auto board = start_board(tcp_config());
    ASSERT_TRUE(board);
    auto host = open_tcp_session(*board);
    ASSERT_TRUE(host);

    Bytes cold = {0x80, 0x0E, 0x20, 0x11, 0x22, 0x33, 0x80, 0x24, 0x80};
    Bytes p61;
    put16(p61, uint16_t(cold.size()));
    p61.insert(p61.end(), cold.begin(), cold.end());
    auto a61 = host->request(kLinkDbg, kDbgColdLoader, p61);
    ASSERT_TRUE(a61 && a61->ack());
    EXPECT_EQ(board->with_firmware([](BoardFirmware &fw) { return fw.phase(); }), BoardPhase::pilot_load);

    Bytes header = {0x00, 0x40, 0x00, 0x00, 0x03, 0x00, 0x43};
    Bytes p54;
    put32(p54, 57600);
    put16(p54, 7);
    p54.insert(p54.end(), header.begin(), header.end());
    auto a13 = host->request(kLinkDbg, kDbgPilotHeader, p54);
    EXPECT_TRUE(a13 && a13->nak()) << "the header message holds 14 bytes, the last one spare";
    p54.push_back(0);
    auto a54 = host->request(kLinkDbg, kDbgPilotHeader, p54);
    ASSERT_TRUE(a54 && a54->ack());

    Bytes image = {0xCC, 0x01, 0x02};
    Bytes p60;
    put32(p60, 57600);
    put16(p60, uint16_t(image.size()));
    p60.insert(p60.end(), image.begin(), image.end());
    auto a60 = host->request(kLinkDbg, kDbgPilotImage, p60);
    ASSERT_TRUE(a60 && a60->ack());

    auto log = board->with_firmware([](BoardFirmware &fw) { return std::make_pair(fw.loader(), fw.phase()); });
    EXPECT_EQ(log.first.tcp_cold_loader, cold);
    EXPECT_EQ(log.first.tcp_pilot_header, header);
    EXPECT_EQ(log.first.tcp_pilot_image, image);
    EXPECT_EQ(log.first.tcp_pilot_baud, 57600u);
    EXPECT_EQ(log.second, BoardPhase::pilot);

    Bytes short61 = {0x09, 0x00, 0x01};
    auto bad = host->request(kLinkDbg, kDbgColdLoader, short61);
    ASSERT_TRUE(bad);
    EXPECT_TRUE(bad->nak());
    Bytes no_cc = p60;
    no_cc[6] = 0x00;
    bad = host->request(kLinkDbg, kDbgPilotImage, no_cc);
    ASSERT_TRUE(bad);
    EXPECT_TRUE(bad->nak());
    for (uint8_t s : {kDbgSetTargetBaud, kDbgResetWithMode}) {
        auto a = host->request(kLinkDbg, s, {0x00, 0xC2, 0x01, 0x00});
        ASSERT_TRUE(a);
        EXPECT_TRUE(a->ack()) << int(s);
    }
}

// One host at a time: a second connection replaces the first, which the board closes.
TEST(BoardTcp, NewConnectionReplacesTheOld)
{
    auto board = start_board(tcp_config());
    ASSERT_TRUE(board);
    auto first = open_tcp_session(*board);
    ASSERT_TRUE(first);
    auto second = open_tcp_session(*board);
    ASSERT_TRUE(second);
    EXPECT_TRUE(first->closed_by_board());
    auto link = second->request(kLinkDbg, kDbgLinkRequest, {3});
    ASSERT_TRUE(link && link->ack());
}

TEST(BoardTcp, ScriptedCloseDropsTheConnection)
{
    auto board = start_board(tcp_config());
    ASSERT_TRUE(board);
    auto host = open_tcp_session(*board);
    ASSERT_TRUE(host);
    board->with_firmware([](BoardFirmware &fw) { fw.close_tcp(); });
    EXPECT_TRUE(host->closed_by_board());
    auto again = open_tcp_session(*board);
    EXPECT_TRUE(again);
}

// --- discovery --------------------------------------------------------------------------

struct Udp {
    int fd = -1;
    uint16_t port = 0;
    bool bound = false;
    explicit Udp(uint16_t at = 0)
    {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(at);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        bound = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Udp() { ::close(fd); }
    void send_to(uint16_t to, const Bytes &b) const
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(to);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(fd, b.data(), b.size(), 0, reinterpret_cast<sockaddr *>(&a), sizeof a);
    }
    Bytes receive(Ms wait) const
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(wait.count())) <= 0)
            return {};
        uint8_t buf[512];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        return n > 0 ? Bytes(buf, buf + n) : Bytes{};
    }
};

Bytes discovery_request()
{
    Bytes r = {0x01, 0x00, 0x00, 0x01, 'm', 'y', 'n', 'a', 'm', 'e', 0};
    r.resize(84, 0);
    return r;
}

StandInConfig discovery_config(uint16_t reply_port)
{
    StandInConfig c = tcp_config();
    c.udp = true;
    c.discovery_reply_port = reply_port;
    c.board_name = "bench board";
    c.board_address = {10, 0, 0, 7};
    c.discovery_status = 1;
    return c;
}

TEST(BoardDiscovery, RequestGetsTheBoardsReply)
{
    Udp host;
    auto board = start_board(discovery_config(host.port));
    ASSERT_TRUE(board);
    host.send_to(board->discovery_port(), discovery_request());
    Bytes reply = host.receive(board->config().wait_timeout);
    ASSERT_EQ(reply.size(), 86u);
    EXPECT_EQ(le16(reply, 2), 1) << "status";
    EXPECT_STREQ(reinterpret_cast<const char *>(reply.data() + 4), "bench board");
    EXPECT_EQ(Bytes(reply.begin() + 44, reply.begin() + 48), (Bytes{10, 0, 0, 7}));
    auto mac = board->config().firmware.mac;
    EXPECT_EQ(Bytes(reply.begin() + 48, reply.begin() + 54), Bytes(mac.begin(), mac.end()));
    EXPECT_EQ(le16(reply, 54), board->tcp_port());
    EXPECT_EQ(board->discovery_requests(), 1u);
}

// A datagram of another length is no request: nothing comes back, the next request is
// answered; a scripted short reply is cut at 40 bytes.
TEST(BoardDiscovery, OtherLengthsIgnoredAndShortReplyScripted)
{
    Udp host;
    auto board = start_board(discovery_config(host.port));
    ASSERT_TRUE(board);
    host.send_to(board->discovery_port(), Bytes(83, 0));
    board->short_discovery_reply();
    host.send_to(board->discovery_port(), discovery_request());
    EXPECT_EQ(host.receive(board->config().wait_timeout).size(), 40u);
    host.send_to(board->discovery_port(), discovery_request());
    EXPECT_EQ(host.receive(board->config().wait_timeout).size(), 86u);
    EXPECT_EQ(board->discovery_requests(), 2u);
}

// Without a reply port of its own the board answers on the discovery port + 1, where the
// host listens.
TEST(BoardDiscovery, RepliesToDiscoveryPortPlusOne)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        auto board = start_board(discovery_config(0));
        ASSERT_TRUE(board);
        Udp host(uint16_t(board->discovery_port() + 1));
        if (!host.bound || board->discovery_port() == 0xFFFF)
            continue; // the port above the board's was taken: another pair
        host.send_to(board->discovery_port(), discovery_request());
        EXPECT_EQ(host.receive(board->config().wait_timeout).size(), 86u);
        return;
    }
    FAIL() << "no free pair of adjacent UDP ports on 127.0.0.1";
}

} // namespace
