// The request layer: memory reads in chunks across the xmem window, writes, replies too short
// or too long for their request, keeping or reopening a connection, a close during a request,
// and the TCP challenge.
#include "TcHarness.h"

#include "debugger/TcTrace.h"
#include "TraceSandbox.h"

#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace tctest;

namespace {

uint16_t le16(const std::vector<uint8_t> &b, size_t at) { return uint16_t(b.at(at) | b.at(at + 1) << 8); }

// --- logical reads ------------------------------------------------------------------------------

struct Chunk {
    uint8_t mode;
    uint16_t count;
    uint16_t address;
    uint8_t xpc;
    bool operator==(const Chunk &) const = default;
};

std::ostream &operator<<(std::ostream &o, const Chunk &c)
{
    return o << "{mode " << int(c.mode) << ", " << c.count << " bytes at " << std::hex
             << int(c.xpc) << ":" << c.address << std::dec << "}";
}

struct ReadCase {
    const char *name;
    uint8_t xpc;
    uint16_t address;
    uint32_t count;
    std::vector<Chunk> chunks;
};

const ReadCase kReads[] = {
    {"across_the_window_end", 0x10, 0xEF80, 300,
     {{1, 128, 0xEF80, 0x10}, {1, 128, 0xE000, 0x11}, {1, 44, 0xE080, 0x11}}},
    {"into_the_window", 0x00, 0xDFC0, 256, {{3, 128, 0xDFC0, 0x00}, {1, 128, 0xE040, 0x00}}},
    {"nothing", 0x10, 0xE000, 0, {}},
};

class LogicalRead : public TcTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(LogicalRead, ChunksAndBytes)
{
    const ReadCase &c = GetParam();
    auto board = open_board();
    board->with_firmware([](BoardFirmware &f) {
        for (uint32_t a = 0; a < 0x100; ++a)
            (void)f.board().poke(0x80000 + a, uint8_t(a * 7));
        for (uint32_t a = 0x1EF00; a < 0x1F200; ++a)
            (void)f.board().load(a, std::array<uint8_t, 1>{uint8_t(a ^ (a >> 8))});
        f.clear_log();
    });
    Bytes got(c.count + 1, 0xA5);
    TcReadMemory(uint32_t(c.xpc) << 16 | c.address, c.count, got.data());

    std::vector<Chunk> chunks;
    for (const auto &f : frames_of(*board, kLinkSys, kSysRead))
        chunks.push_back({f.payload[0], le16(f.payload, 1), le16(f.payload, 3), f.payload[5]});
    EXPECT_EQ(chunks, c.chunks);
    // The bytes are the board's as its MMU maps each chunk.
    Bytes expected;
    board->with_firmware([&](BoardFirmware &f) {
        for (const Chunk &k : c.chunks)
            for (uint16_t i = 0; i < k.count; ++i)
                expected.push_back(f.board().peek(f.board().to_physical(uint16_t(k.address + i), k.xpc)));
    });
    expected.push_back(0xA5);
    EXPECT_EQ(got, expected) << "and nothing past the count is written";
    EXPECT_EQ(status_history().back(), "");
}

INSTANTIATE_TEST_SUITE_P(All, LogicalRead, ::testing::ValuesIn(kReads),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(TcTest, WritesLandInTheBoardsMemory)
{
    auto board = open_board();
    Bytes data(300);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 13 + 1);
    TcWriteMemory(0x82E000, uint32_t(data.size()), data.data()); // xmem window onto 0x90000
    TcWritePhysicalMemory(0x88000, 4, data.data());
    Bytes read(data.size());
    TcReadPhysicalMemory(0x90000, uint32_t(read.size()), read.data());
    EXPECT_EQ(read, data);
    board->with_firmware([&](BoardFirmware &f) {
        for (size_t i = 0; i < data.size(); ++i)
            ASSERT_EQ(f.board().peek(uint32_t(0x90000 + i)), data[i]) << "byte " << i;
        EXPECT_EQ(f.board().peek(0x88003), data[3]);
    });
    auto writes = frames_of(*board, kLinkSys, kSysWrite);
    ASSERT_EQ(writes.size(), 2u) << "one message per write";
    EXPECT_EQ(writes[0].payload[0], 1) << "the window's mode";
    EXPECT_EQ(le16(writes[0].payload, 1), 300);
}

// --- replies that do not fit their request ------------------------------------------------------

struct ReplyCase {
    const char *name;
    uint8_t type, subtype;
    Bytes reply;            // the answer's payload (ACK)
    bool garble;            // the answer's check is spoiled
    std::function<void()> request;
    const char *message;    // the failure's text
};

uint8_t g_buffer[512];

const ReplyCase kReplies[] = {
    {"read_short_of_its_chunk", kLinkSys, kSysRead, Bytes(6 + 127, 0x11), false,
     [] { TcReadMemory(0x000000, 128, g_buffer); }, "Target communication error."},
    {"read_header_only", kLinkSys, kSysRead, Bytes(6, 0x11), false,
     [] { TcReadPhysicalMemory(0x1000, 10, g_buffer); }, "Target communication error."},
    {"read_longer_than_its_buffer", kLinkSys, kSysRead, Bytes(6 + 129, 0x11), false,
     [] { TcReadPhysicalMemory(0x1000, 128, g_buffer); },
     "Timeout while waiting for response from target."},
    {"read_garbled", kLinkSys, kSysRead, Bytes(6 + 10, 0x11), true,
     [] { TcReadPhysicalMemory(0x1000, 10, g_buffer); },
     "Timeout while waiting for response from target."},
    {"enabled_options_of_two", kLinkDbg, kDbgEnabledOptions, Bytes{7, 16}, false,
     [] {
         uint8_t a = 0, b = 0, c = 0;
         TcGetEnabledOptions(a, b, c);
     },
     "Target communication error."},
    {"info_probe_of_139", kLinkSys, kSysInfoProbe, Bytes(139, 0x22), false,
     [] { (void)TcReadBoardInfo(); }, "Target communication error."},
};

class ShortReply : public TcTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ShortReply, FailsAndPassesNoStaleBytes)
{
    const ReplyCase &c = GetParam();
    auto peer = open_peer(100);
    peer->respond([&](const linktest::PeerFrame &f) -> Bytes {
        if (f.type != c.type || f.subtype != c.subtype)
            return {};
        Bytes answer = peer->frame(c.type, uint8_t(c.subtype | kLinkAck), c.reply);
        if (c.garble)
            answer[answer.size() - 2] ^= 0x5A;
        return answer;
    });
    std::fill(std::begin(g_buffer), std::end(g_buffer), 0xA5);
    EXPECT_EQ(failure_of(c.request), c.message);
    EXPECT_EQ(status_history().back(), "Communication error");
    EXPECT_TRUE(std::all_of(std::begin(g_buffer), std::end(g_buffer), [](uint8_t b) { return b == 0xA5; }))
        << "no reply byte reaches the caller";
}

INSTANTIATE_TEST_SUITE_P(All, ShortReply, ::testing::ValuesIn(kReplies),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(TcTest, AShortDebugTagLeavesTheTagAsItWas)
{
    auto peer = open_peer(100);
    peer->respond([&](const linktest::PeerFrame &f) -> Bytes {
        return peer->frame(f.type, uint8_t(f.subtype | kLinkAck), Bytes{0x34});
    });
    uint16_t tag = 0x1234;
    TcGetDebugTag(tag);
    EXPECT_EQ(tag, 0x1234);
    EXPECT_EQ(status_history().back(), "") << "a failure is not reported";
}

TEST_F(TcTest, RequestsWithoutAConnection)
{
    uint8_t b[4] = {1, 2, 3, 4};
    EXPECT_EQ(failure_of([&] { TcWritePhysicalMemory(0, 4, b); }), "") << "nothing to send to";
    EXPECT_EQ(failure_of([&] { TcReadPhysicalMemory(0, 4, b); }), "Target communication error.")
        << "a read that gets nothing is no read";
    EXPECT_EQ(failure_of([] { TcResetTarget(); }), "Target communication error.");
    EXPECT_EQ(b[0], 1);
}

// --- keeping and reopening ------------------------------------------------------------------------

TEST_F(TcTest, AnEqualOpenKeepsTheConnectionAndAModeZeroOpenReopens)
{
    TraceSandbox trace;
    IdePreferences().tc_logging = true;
    auto board = start_board();
    const TCOptionsType o = serial_settings();
    TcOpenConnection(o, ReaderMode::threaded);
    TcRegisterHandlers();
    TConnection *first = CurrentConnection();
    TcSendSysPoll();
    TcOpenConnection(o, ReaderMode::threaded);
    EXPECT_EQ(CurrentConnection(), first);
    EXPECT_EQ(GetReaderMode(), ReaderMode::threaded);
    TcSendSysPoll();
    TcOpenConnection(o, ReaderMode::synchronous);
    EXPECT_EQ(GetReaderMode(), ReaderMode::synchronous);
    TcCloseConnection();

    const std::string text = trace.text();
    size_t opens = 0;
    for (size_t at = text.find("COM11 opened"); at != std::string::npos;
         at = text.find("COM11 opened", at + 1))
        ++opens;
    EXPECT_EQ(opens, 2u) << "the equal open opened nothing:\n" << text;
    EXPECT_NE(text.find(" port closed"), std::string::npos);
    EXPECT_EQ(frames_of(*board, kLinkSys, kSysNoop).size(), 2u);
}

TEST_F(TcTest, AnOpenOnAnotherComPortLeavesTheFirstPort)
{
    auto first = linktest::RawPeer::serial();
    auto second = linktest::RawPeer::serial();
    first->respond(first->ack_all());
    second->respond(second->ack_all());
    SetSerialDevice(kComPort, first->device());
    SetSerialDevice(kComPort + 1, second->device());
    TcOpenConnection(serial_settings(), ReaderMode::threaded);
    TcRegisterHandlers();
    TcSendSysPoll();
    TCOptionsType other = serial_settings();
    other.com_port = kComPort + 1;
    TcOpenConnection(other, ReaderMode::threaded);
    TcRegisterHandlers();
    TcSendSysPoll();
    EXPECT_EQ(first->frame_count(), 1u);
    EXPECT_EQ(second->frame_count(), 1u) << "the poll went to the port the settings name";
    const int fd = ::open(first->device().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << "the first port is free again";
    ::close(fd);
    SetSerialDevice(kComPort + 1, "");
}

TEST_F(TcTest, AnEqualTcpOpenSendsNothing)
{
    StandInConfig config;
    config.serial = false;
    auto board = start_board(BoardPhase::bios, config);
    const TCOptionsType o = tcp_settings(board->tcp_port());
    TcOpenConnection(o, ReaderMode::threaded);
    TcRegisterHandlers();
    TConnection *first = CurrentConnection();
    TcOpenConnection(o, ReaderMode::threaded);
    EXPECT_EQ(CurrentConnection(), first);
    TcSendSysPoll();
    EXPECT_EQ(frames_of(*board, kLinkDbg, kDbgLinkRequest).size(), 1u) << "one connect, one link request";
}

TEST_F(TcTest, ACloseDuringARequestKeepsTheObjectAndEndsTheRequest)
{
    auto peer = open_peer(3000);
    TConnection *c = CurrentConnection();
    int close_result = -1;
    QTimer::singleShot(20, [&] { close_result = CloseLink(); });
    EXPECT_EQ(failure_of([] { TcSendSysPoll(); }), "Target communication error.");
    EXPECT_EQ(close_result, kLinkCloseInRequest);
    EXPECT_EQ(CurrentConnection(), c) << "the object stays while its request waits";
    EXPECT_FALSE(c->IsOpen());
    EXPECT_EQ(CloseLink(), 0);
    EXPECT_EQ(CurrentConnection(), nullptr);
}

TEST_F(TcTest, TcCloseConnectionDuringARequestCancelsIt)
{
    auto peer = open_peer(3000);
    QTimer::singleShot(20, [] { TcCloseConnection(); });
    EXPECT_EQ(failure_of([] { TcSendSysPoll(); }), "cancel");
    EXPECT_TRUE(TcIsConnectionOpen()) << "nothing else changed";
    TcCloseConnection();
    EXPECT_FALSE(TcIsConnectionOpen());
}

// --- the TCP challenge ------------------------------------------------------------------------------

struct ChallengeCase {
    const char *name;
    uint8_t method;
    const char *board_phrase;
    const char *host_phrase; // null: no pass-phrase callback
    bool accepted;
};

const ChallengeCase kChallenges[] = {
    {"digest_of_the_phrase", 1, "open sesame", "open sesame", true},
    {"wrong_phrase", 1, "open sesame", "open says me", false},
    {"method_zero_answers_zeros", 0, "", nullptr, true},
    {"unknown_method_answers_zeros", 7, "", "unused", true},
};

class Challenge : public TcTest, public ::testing::WithParamInterface<ChallengeCase> {};

TEST_P(Challenge, Answer)
{
    const ChallengeCase &c = GetParam();
    StandInConfig config;
    config.serial = false;
    config.firmware.challenge_method = c.method;
    config.firmware.pass_phrase = c.board_phrase;
    auto board = start_board(BoardPhase::bios, config);
    TcPassPhraseCallback phrase;
    if (c.host_phrase)
        phrase = [p = std::string(c.host_phrase)] { return digest_of(p); };
    TcOpenConnection(tcp_settings(board->tcp_port(), 300), ReaderMode::threaded, phrase);
    TcRegisterHandlers();
    EXPECT_EQ(LinkState(), 3);

    auto answers = frames_of(*board, kLinkDbg, kDbgChallengeResponse);
    ASSERT_EQ(answers.size(), 1u);
    std::array<uint8_t, 16> expected{};
    if (c.method == 1) {
        const auto challenge = board->with_firmware([](BoardFirmware &f) { return f.last_challenge(); });
        std::array<uint8_t, 32> both{};
        std::copy(challenge.begin(), challenge.end(), both.begin());
        const auto d = digest_of(c.host_phrase);
        std::copy(d.begin(), d.end(), both.begin() + 16);
        expected = md5_digest(both);
    }
    EXPECT_EQ(answers[0].payload, Bytes(expected.begin(), expected.end()));
    EXPECT_EQ(board->with_firmware([](BoardFirmware &f) { return f.tcp_authenticated(); }), c.accepted);
    if (c.accepted) {
        auto link = frames_of(*board, kLinkDbg, kDbgLinkRequest);
        ASSERT_EQ(link.size(), 1u);
        EXPECT_EQ(link[0].payload, Bytes{3});
        EXPECT_EQ(failure_of([] { TcSendSysPoll(); }), "");
    } else {
        EXPECT_EQ(failure_of([] { TcSendSysPoll(); }), "Target communication error.")
            << "the board dropped the link";
    }
}

INSTANTIATE_TEST_SUITE_P(All, Challenge, ::testing::ValuesIn(kChallenges),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
