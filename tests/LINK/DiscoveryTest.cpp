// Network discovery against the stand-in's UDP port on 127.0.0.1 (the discovery address is a
// setting): the request sent three times one interval apart on the millisecond clock, the
// replies' texts, and a reply cut short, which is no reply.
#include "TcHarness.h"

using namespace tctest;

namespace {

uint32_t g_now = 1000;
uint32_t fake_clock() { return g_now; }

class DiscoveryTest : public TcTest {
protected:
    void SetUp() override
    {
        TcTest::SetUp();
        IdePreferences().discovery_address = "127.0.0.1";
        link_timings().discovery_interval_ms = 1000;
        SetMillisecondClock(fake_clock);
    }
    void TearDown() override
    {
        TcEndDiscovery();
        SetMillisecondClock(nullptr);
        TcTest::TearDown();
    }

    // A stand-in answering discovery (to `reply_port`, 0: the port above the discovery port)
    // with discovery started on it. The host's reply port may be taken by someone else: then
    // another pair is tried.
    std::unique_ptr<BoardStandIn> start_discovery(uint16_t status, bool answer = true)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            StandInConfig config;
            config.serial = config.tcp = false;
            config.udp = true;
            config.discovery_status = status;
            config.board_name = "Bench board";
            config.board_address = {10, 0, 0, 7};
            config.firmware.mac = {0x02, 0x4B, 0x58, 0xA0, 0x0B, 0xFF};
            if (!answer)
                config.discovery_reply_port = 9; // a port nobody here listens on
            auto board = start_board(BoardPhase::bios, config);
            try {
                TcInitDiscovery(board->discovery_port());
                return board;
            } catch (const xTCErr &) {
                TcEndDiscovery();
            }
        }
        ADD_FAILURE() << "no free discovery port pair";
        return nullptr;
    }

    // Polls (the clock standing still) until a reply comes, at most a few seconds.
    bool reply_comes(DiscoveryReply &reply)
    {
        return linktest::pump_until([&] { return TcDiscoverLoaders(reply); }, 3000);
    }
};

TEST_F(DiscoveryTest, WithoutRepliesTheRequestGoesThreeTimesOneIntervalApart)
{
    auto board = start_discovery(2, false);
    ASSERT_TRUE(board);
    // A request sent would reach the board at once: a short look shows whether one went.
    auto requests = [&] {
        linktest::pump_for(30);
        return board->discovery_requests();
    };
    DiscoveryReply reply{"untouched", "", "", "", ""};
    ASSERT_TRUE(linktest::pump_until([&] { return board->discovery_requests() == 1; }));
    g_now += 999;
    EXPECT_FALSE(TcDiscoverLoaders(reply));
    EXPECT_EQ(requests(), 1u) << "not before the interval";
    g_now += 1;
    EXPECT_FALSE(TcDiscoverLoaders(reply));
    ASSERT_TRUE(linktest::pump_until([&] { return board->discovery_requests() == 2; }));
    g_now += 1000;
    EXPECT_FALSE(TcDiscoverLoaders(reply));
    ASSERT_TRUE(linktest::pump_until([&] { return board->discovery_requests() == 3; }));
    g_now += 5000;
    EXPECT_FALSE(TcDiscoverLoaders(reply));
    EXPECT_EQ(requests(), 3u) << "three in all";
    EXPECT_EQ(reply.name, "untouched");
}

struct StatusCase {
    const char *name;
    uint16_t status;
    const char *text;
};

const StatusCase kStatuses[] = {
    {"running", 0, "Running"},       {"programmed", 1, "Programmed"}, {"waiting", 2, "Waiting"},
    {"error", 255, "Error"},         {"three", 3, "unknown status"},
};

class DiscoveryStatus : public DiscoveryTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(DiscoveryStatus, ReplyTexts)
{
    const StatusCase &c = GetParam();
    auto board = start_discovery(c.status);
    ASSERT_TRUE(board);
    DiscoveryReply reply;
    ASSERT_TRUE(reply_comes(reply));
    EXPECT_EQ(reply.name, "Bench board");
    EXPECT_EQ(reply.address, "10.0.0.7");
    EXPECT_EQ(reply.mac, "02:4b:58:a0:0b:ff");
    EXPECT_EQ(reply.port, std::to_string(board->tcp_port()));
    EXPECT_EQ(reply.status, c.text);
    EXPECT_EQ(status_history().back(), "");
}

INSTANTIATE_TEST_SUITE_P(All, DiscoveryStatus, ::testing::ValuesIn(kStatuses),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(DiscoveryTest, AReplyCutShortIsNoReply)
{
    auto board = start_discovery(0, true);
    ASSERT_TRUE(board);
    DiscoveryReply reply;
    ASSERT_TRUE(reply_comes(reply)) << "the first, whole reply";
    board->short_discovery_reply();
    g_now += 1000;
    reply = DiscoveryReply{"untouched", "", "", "", ""};
    EXPECT_FALSE(linktest::pump_until([&] { return TcDiscoverLoaders(reply); }, 200))
        << "the 40 bytes are dropped";
    EXPECT_EQ(reply.name, "untouched");
    g_now += 1000;
    ASSERT_TRUE(reply_comes(reply)) << "the next whole reply is read whole";
    EXPECT_EQ(reply.name, "Bench board");
    EXPECT_EQ(reply.address, "10.0.0.7");
}

TEST_F(DiscoveryTest, ABadDiscoveryAddress)
{
    IdePreferences().discovery_address = "not an address";
    EXPECT_EQ(failure_of([] { TcInitDiscovery(4242); }), "Target communication error.");
    EXPECT_EQ(status_history().back(), "Communication error");
}

} // namespace
