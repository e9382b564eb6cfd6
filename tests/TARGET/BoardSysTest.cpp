// The SYS requests the loader and the pilot BIOS answer, over loopback TCP: memory reads in
// their three address modes, writes to RAM and flash, the board information with its ID
// block, flash erase and flash parameters, the BIOS start.
#include "BoardHost.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace boardtest;
using vsim::BoardFirmware;
using vsim::BoardPhase;
using vsim::BoardStandIn;
using vsim::StandInConfig;

namespace {

StandInConfig sys_config()
{
    StandInConfig c;
    c.serial = false;
    c.firmware.initial_phase = BoardPhase::pilot;
    return c;
}

struct SysBoard {
    std::unique_ptr<BoardStandIn> board;
    std::unique_ptr<Host> host;
    explicit SysBoard(const StandInConfig &c = sys_config())
    {
        board = start_board(c);
        if (!board)
            return;
        host = open_tcp_session(*board);
        if (!host)
            ADD_FAILURE() << "no TCP session";
    }
    uint8_t peek(uint32_t physical)
    {
        return board->with_firmware([&](BoardFirmware &fw) { return fw.board().peek(physical); });
    }
};

// Each mode names memory its own way; the data come from offset 6, after the request's first
// 6 bytes repeated.
struct ReadCase {
    const char *name;
    uint8_t mode;
    uint32_t address;
    uint8_t xpc;
    uint32_t physical; // where the bytes are
};
void PrintTo(const ReadCase &c, std::ostream *os) { *os << c.name; }

const ReadCase kReads[] = {
    {"physical_flash", 0, 0x00123, 0, 0x00123},
    {"physical_ram", 0, 0x9ABCD, 0, 0x9ABCD},
    {"logical_root", 3, 0x1234, 0x55, 0x01234},
    {"xpc_window", 1, 0xE010, 0x80, 0x8E010},
    {"logical_in_window_uses_xpc", 3, 0xF000, 0x72, 0x81000},
};

class SysRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(SysRead, ReturnsTheBytesOfItsAddressMode)
{
    const ReadCase &c = GetParam();
    SysBoard b;
    ASSERT_TRUE(b.host);
    Bytes data = {0x7E, 0x01, 0x7D, 0xFF, 0x00, 0x42};
    b.board->with_firmware([&](BoardFirmware &fw) {
        for (size_t i = 0; i < data.size(); ++i)
            (void)fw.board().poke(c.physical + uint32_t(i), data[i]);
    });
    Bytes request = memory_payload(c.mode, c.address, uint16_t(data.size()), c.xpc);
    auto r = b.host->request(kLinkSys, kSysRead, request);
    ASSERT_TRUE(acked(r));
    ASSERT_EQ(r->payload.size(), 6 + data.size());
    EXPECT_EQ(Bytes(r->payload.begin(), r->payload.begin() + 6), Bytes(request.begin(), request.begin() + 6));
    EXPECT_EQ(Bytes(r->payload.begin() + 6, r->payload.end()), data);
}

INSTANTIATE_TEST_SUITE_P(Modes, SysRead, ::testing::ValuesIn(kReads),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(BoardSys, ReadOfNothingAndOfTheLargestChunk)
{
    SysBoard b;
    ASSERT_TRUE(b.host);
    auto none = b.host->request(kLinkSys, kSysRead, memory_payload(0, 0x80000, 0));
    ASSERT_TRUE(acked(none));
    EXPECT_EQ(none->payload.size(), 6u);
    auto full = b.host->request(kLinkSys, kSysRead, memory_payload(0, 0xFFF80, 128));
    ASSERT_TRUE(acked(full));
    EXPECT_EQ(full->payload.size(), 6u + 128u) << "128 bytes up to the last byte of RAM";
}

// Writes land in RAM directly and in flash through the flash programming path, in every mode.
TEST(BoardSys, WritesReachRamAndFlash)
{
    SysBoard b;
    ASSERT_TRUE(b.host);
    ASSERT_TRUE(acked(b.host->request(kLinkSys, kSysWrite, memory_payload(0, 0x00200, 3, 0, {1, 2, 3}))));
    ASSERT_TRUE(acked(b.host->request(kLinkSys, kSysWrite, memory_payload(0, 0x80200, 2, 0, {4, 5}))));
    ASSERT_TRUE(acked(b.host->request(kLinkSys, kSysWrite, memory_payload(1, 0xE300, 1, 0x80, {6}))));
    EXPECT_EQ(b.peek(0x00200), 1);
    EXPECT_EQ(b.peek(0x00202), 3);
    EXPECT_EQ(b.peek(0x80201), 5);
    EXPECT_EQ(b.peek(0x8E300), 6);
    // A write that runs off the end of RAM writes nothing at all.
    auto off = b.host->request(kLinkSys, kSysWrite, memory_payload(0, 0xFFFFE, 3, 0, {7, 8, 9}));
    ASSERT_TRUE(refused(off));
    EXPECT_EQ(b.peek(0xFFFFE), 0);
}

TEST(BoardSys, InfoProbeCarriesTheFourValuesAndASealedIdBlock)
{
    SysBoard b;
    ASSERT_TRUE(b.host);
    auto r = b.host->request(kLinkSys, kSysInfoProbe);
    ASSERT_TRUE(acked(r));
    ASSERT_EQ(r->payload.size(), 140u);
    const Bytes &p = r->payload;
    EXPECT_EQ(le16(p, 0), 0x01A4) << "flash id";
    EXPECT_EQ(p[2], 16) << "RAM size code: 512 KB / 32";
    EXPECT_EQ(p[3], 36) << "frequency divider";
    EXPECT_EQ(le16(p, 4), 0x0003) << "CPU id of a 2000";
    std::array<uint8_t, kIdBlockSize> block;
    std::copy(p.begin() + 8, p.end(), block.begin());
    EXPECT_TRUE(id_block_marker_ok(block));
    EXPECT_EQ(le16(p, 8 + 124), id_block_crc(block));
    EXPECT_EQ(le16(p, 8 + 2), 0x2A00) << "productID";
    EXPECT_EQ(le16(p, 8 + 19), 128) << "flashSize in 4 KB units";
    EXPECT_EQ(le16(p, 8 + 45), 128) << "ramSize in 4 KB units";
    EXPECT_EQ(le32(p, 8 + 51), 36u * 614400u) << "crystalFreq";
}

// A configured ID block goes out as it is, a broken one included, so the host's check can be
// tried against it.
TEST(BoardSys, ConfiguredIdBlockIsSentAsItIs)
{
    StandInConfig c = sys_config();
    std::array<uint8_t, kIdBlockSize> block{};
    block[2] = 0x34;
    block[126] = 0x55; // marker cut short, no CRC
    c.firmware.id_block = block;
    c.firmware.model = vsim::CpuModel::r3000;
    SysBoard b(c);
    ASSERT_TRUE(b.host);
    auto r = b.host->request(kLinkSys, kSysInfoProbe);
    ASSERT_TRUE(acked(r));
    EXPECT_EQ(Bytes(r->payload.begin() + 8, r->payload.end()), Bytes(block.begin(), block.end()));
    EXPECT_EQ(le16(r->payload, 4), 0x0101) << "CPU id of a 3000";
}

TEST(BoardSys, EraseFlashUpToTheAddress)
{
    SysBoard b;
    ASSERT_TRUE(b.host);
    ASSERT_TRUE(acked(b.host->request(kLinkSys, kSysWrite, memory_payload(0, 0x000FE, 4, 0, {1, 2, 3, 4}))));
    Bytes end;
    put32(end, 0x100);
    ASSERT_TRUE(acked(b.host->request(kLinkSys, kSysEraseFlash, end)));
    EXPECT_EQ(b.peek(0x000FE), 0xFF);
    EXPECT_EQ(b.peek(0x000FF), 0xFF);
    EXPECT_EQ(b.peek(0x00100), 3) << "the end address itself stays";
    Bytes all;
    put32(all, 0x80000);
    ASSERT_TRUE(acked(b.host->request(kLinkSys, kSysEraseFlash, all)));
    EXPECT_EQ(b.peek(0x7FFFF), 0xFF);
}

TEST(BoardSys, FlashParametersAreKept)
{
    SysBoard b;
    ASSERT_TRUE(b.host);
    Bytes p;
    for (uint16_t v : {4096, 128, 128, 2})
        put16(p, v);
    ASSERT_TRUE(acked(b.host->request(kLinkSys, kSysFlashData, p)));
    auto kept = b.board->with_firmware([](BoardFirmware &fw) { return fw.loader().flash_parameters; });
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, (std::array<uint16_t, 4>{4096, 128, 128, 2}));
}

TEST(BoardSys, StartBiosOpensTheDebugKernel)
{
    SysBoard b;
    ASSERT_TRUE(b.host);
    b.host->send(kLinkDbg, kDbgEnabledOptions, {0, 0, 0});
    ASSERT_TRUE(acked(b.host->request(kLinkSys, kSysNoop)));
    EXPECT_TRUE(b.host->others.empty()) << "no debug kernel before the BIOS runs";
    ASSERT_TRUE(acked(b.host->request(kLinkSys, kSysStartBios, {2})));
    EXPECT_EQ(b.board->with_firmware([](BoardFirmware &fw) { return fw.phase(); }), BoardPhase::bios);
    EXPECT_TRUE(acked(b.host->request(kLinkDbg, kDbgEnabledOptions, {0, 0, 0})));
    EXPECT_TRUE(acked(b.host->request(kLinkSys, kSysNoop))) << "the BIOS answers SYS too";
}

} // namespace
