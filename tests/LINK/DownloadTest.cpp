// The program download on the board stand-in: packets of 128 bytes sent back to back, the
// filter, the progress texts, refusals, missing acknowledgements, files shorter than asked, a
// cancel and a quit during the wait; SYS WRITE's registration is back on every path.
#include "TcHarness.h"

#include <QCoreApplication>
#include <QTimer>

using namespace tctest;

namespace {

constexpr uint32_t kRam = 0x80000;

Bytes image(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(i * 31 + 7);
    return b;
}

struct DownloadCase {
    const char *name;
    size_t file_size;
    uint32_t length;
    std::function<bool(uint32_t)> filter; // empty: every block
    std::function<void(BoardFirmware &)> fault;
    const char *message;                  // "" for success
    std::vector<uint32_t> blocks;         // the block addresses that reach the board's memory
};

const DownloadCase kDownloads[] = {
    {"three_packets", 300, 300, {}, {}, "", {0, 128, 256}},
    {"refused_blocks_advance_the_file", 300, 300, [](uint32_t b) { return b == 128; }, {}, "",
     {128}},
    {"filter_refusing_all", 300, 300, [](uint32_t) { return false; }, {}, "", {}},
    {"refused_packet", 1280, 1280, {},
     [](BoardFirmware &f) { f.nak_next(kLinkSys, kSysWrite); }, "Target communication error.", {}},
    {"missing_acknowledgements", 300, 300, {}, [](BoardFirmware &f) { f.stay_silent(1); },
     "Timeout while waiting for response from target.", {}},
    {"file_shorter_than_asked", 200, 300, {}, {}, "Target communication error.", {0}},
};

class Download : public TcTest, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(Download, Packets)
{
    const DownloadCase &c = GetParam();
    auto board = open_board(100);
    if (c.fault)
        board->with_firmware(c.fault);
    const Bytes data = image(c.file_size);
    const std::string file = write_file("prog.bdl", data);
    DownloadFilter filter;
    if (c.filter)
        filter = [&](uint32_t block, uint16_t argument) {
            EXPECT_EQ(argument, 0x1234);
            return c.filter(block);
        };
    EXPECT_EQ(failure_of([&] {
                  TcDownloadFile(write_file("prog.c", {}), ".bdl", 0, kRam, c.length, filter,
                                 0x1234, 0);
              }),
              c.message);

    const MessageHandlerEntry e = CurrentConnection()->GetHandlerEntry(kLinkSys, kSysWrite);
    EXPECT_TRUE(e.registered && e.waits && e.keep_reply && !e.callback)
        << "SYS WRITE's registration is back";
    auto count_writes = [&](const BoardFirmware &f) {
        size_t n = 0;
        for (const auto &r : f.frames())
            n += r.type == kLinkSys && (r.subtype & kLinkSubtypeMask) == kSysWrite;
        return n;
    };
    // Packets go without waiting: the board may still be taking the last ones.
    board->wait_until([&](const BoardFirmware &f) { return count_writes(f) >= c.blocks.size(); });
    auto writes = frames_of(*board, kLinkSys, kSysWrite);
    if (*c.message) {
        if (!c.blocks.empty()) {
            EXPECT_EQ(writes.size(), c.blocks.size()) << "nothing after the failing block";
        }
        return;
    }
    ASSERT_EQ(writes.size(), c.blocks.size());
    board->with_firmware([&](BoardFirmware &f) {
        for (size_t i = 0; i < c.blocks.size(); ++i) {
            const uint32_t block = c.blocks[i];
            const size_t n = std::min<size_t>(128, c.length - block);
            EXPECT_EQ(writes[i].payload.size(), 7 + n);
            for (size_t k = 0; k < n; ++k)
                ASSERT_EQ(f.board().peek(kRam + block + uint32_t(k)), data[block + k])
                    << "block " << block << " byte " << k;
        }
    });
}

INSTANTIATE_TEST_SUITE_P(All, Download, ::testing::ValuesIn(kDownloads),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(TcTest, DownloadProgressCountsTheAcceptedPackets)
{
    auto board = open_board();
    const std::string file = write_file("prog.bdl", image(300));
    status_history().clear();
    TcDownloadFile(file, ".bdl", 0x100, kRam, 300, {}, 0, 0);
    std::vector<std::string> progress;
    for (const std::string &s : status_history())
        if (s.find("packets") != std::string::npos)
            progress.push_back(s);
    ASSERT_GE(progress.size(), 4u);
    EXPECT_EQ(progress[0], "1 of 3 packets sent");
    EXPECT_EQ(progress[1], "2 of 3 packets sent");
    EXPECT_EQ(progress[2], "3 of 3 packets sent");
    EXPECT_EQ(progress.back(), "3 of 3 packets acknowledged");
    EXPECT_EQ(status_history().front(), "Sending Write Packets");
    EXPECT_EQ(status_history().back(), "");
    auto writes = frames_of(*board, kLinkSys, kSysWrite);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[2].payload[3] | writes[2].payload[4] << 8 | writes[2].payload[5] << 16,
              int(kRam + 0x100 + 256)) << "address offset plus block address";
}

TEST_F(TcTest, AMissingImageFile)
{
    auto board = open_board();
    EXPECT_EQ(failure_of([&] { TcDownloadFile((folder / "none.c").string(), ".bdl", 0, kRam, 300, {}, 0, 0); }),
              "Target communication error.");
    EXPECT_TRUE(frames_of(*board, kLinkSys, kSysWrite).empty());
}

TEST_F(TcTest, ADownloadWithoutAConnectionLoadsNothingAndSaysSo)
{
    const std::string file = write_file("prog.bdl", image(300));
    EXPECT_EQ(failure_of([&] { TcDownloadFile(file, ".bdl", 0, kRam, 300, {}, 0, 0); }),
              "Target communication error.");
    EXPECT_EQ(failure_of([&] {
                  TcDownloadFile(file, ".bdl", 0, kRam, 300, [](uint32_t, uint16_t) { return false; }, 0, 0);
              }),
              "") << "nothing to load: nothing missing";
}

TEST_F(TcTest, ACancelDuringTheWaitEndsTheDownload)
{
    auto board = open_board(5000);
    board->with_firmware([](BoardFirmware &f) { f.stay_silent(3); });
    const std::string file = write_file("prog.bdl", image(300));
    QTimer::singleShot(30, [] { TcCancelRequest(); });
    EXPECT_EQ(failure_of([&] { TcDownloadFile(file, ".bdl", 0, kRam, 300, {}, 0, 0); }), "cancel");
    const MessageHandlerEntry e = CurrentConnection()->GetHandlerEntry(kLinkSys, kSysWrite);
    EXPECT_TRUE(e.waits && !e.callback);
}

// Packets not acknowledged when the application quits are not taken as loaded. The test runs
// inside the application's loop, which the quit ends too.
TEST_F(TcTest, AQuitDuringTheWaitFailsTheDownload)
{
    auto board = open_board(5000);
    board->with_firmware([](BoardFirmware &f) { f.stay_silent(3); });
    const std::string file = write_file("prog.bdl", image(300));
    std::string failure = "none";
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(30, [] { QCoreApplication::quit(); });
        failure = failure_of([&] { TcDownloadFile(file, ".bdl", 0, kRam, 300, {}, 0, 0); });
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(5000);
    QCoreApplication::exec();
    EXPECT_EQ(failure, "Target communication error.");
}

} // namespace
