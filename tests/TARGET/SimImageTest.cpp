// Image loading into the board stand-in: "bin" at a physical address and Intel HEX records;
// a bad image is refused with a clear error and leaves memory as it was.
#include "SimImage.h"

#include <gtest/gtest.h>

#include <string>

using namespace vsim;

namespace {

TEST(BinImage, LandsAtThePhysicalAddress)
{
    SimBoard board;
    LoadResult r = load_bin_image(board, std::string("\x01\x02\x03", 3), 0x80FFE);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.bytes, 3u);
    EXPECT_EQ(r.lowest, 0x80FFEu);
    EXPECT_EQ(r.highest, 0x81000u);
    EXPECT_EQ(board.peek(0x80FFE), 1);
    EXPECT_EQ(board.peek(0x81000), 3);
}

TEST(BinImage, GoesIntoFlashToo)
{
    SimBoard board;
    ASSERT_TRUE(load_bin_image(board, std::string("\xAA\xBB", 2), 0x00000).ok);
    EXPECT_EQ(board.peek(0x00001), 0xBB);
}

TEST(BinImage, RefusesBytesPastMappedMemory)
{
    BoardConfig small;
    small.flash_size = 0x1000;
    small.ram_size = 0x1000;
    SimBoard board(small);
    LoadResult r = load_bin_image(board, std::string("\x01\x02", 2), 0x00FFF);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("outside"), std::string::npos) << r.error;
    EXPECT_EQ(board.peek(0x00FFF), kOpenBus) << "nothing written";
    EXPECT_FALSE(load_bin_image(board, std::string("\x01", 1), 0x100000).ok);
}

// A data record of "01 02 03" at 0x0010 after an extended linear address 0x0008 (physical
// 0x80010), then end of file.
const char *const kGoodHex = ":020000040008F2\n"
                             ":03001000010203E7\n"
                             ":00000001FF\n";

TEST(HexImage, ExtendedLinearAddress)
{
    SimBoard board;
    LoadResult r = load_hex_image(board, kGoodHex);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.bytes, 3u);
    EXPECT_EQ(board.peek(0x80010), 1);
    EXPECT_EQ(board.peek(0x80012), 3);
}

TEST(HexImage, ExtendedSegmentAddressAndCrLf)
{
    SimBoard board;
    // segment 0x1000 -> base 0x10000; one byte 0x5A at offset 0x0002
    LoadResult r = load_hex_image(board, ":020000021000EC\r\n:010002005AA3\r\n:00000001FF\r\n");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(board.peek(0x10002), 0x5A);
}

struct BadHex {
    const char *name;
    const char *text;
    const char *error_part;
};
// Test output names the case, not its bytes.
void PrintTo(const BadHex &c, std::ostream *os) { *os << c.name; }
const BadHex kBadHex[] = {
    {"bad_checksum", ":03001000010203E8\n:00000001FF\n", "line 1: checksum"},
    {"no_colon", "03001000010203E7\n:00000001FF\n", "line 1: record does not start"},
    {"not_hex", ":0300100001020GE7\n:00000001FF\n", "not a hexadecimal digit"},
    {"count_mismatch", ":04001000010203E6\n:00000001FF\n", "length"},
    {"short_record", ":0000\n", "too short"},
    {"unknown_type", ":00000007F9\n", "unknown record type"},
    {"missing_eof", ":03001000010203E7\n", "no end-of-file"},
    {"beyond_1mb", ":020000040010EA\n:0100000055AA\n:00000001FF\n", "outside"},
};

class HexImageError : public ::testing::TestWithParam<BadHex> {};

TEST_P(HexImageError, RefusedAndNothingWritten)
{
    const BadHex &c = GetParam();
    SimBoard board;
    // a valid record first: it must not land when a later one is bad
    std::string text = std::string(":01000000AA55\n") + c.text;
    LoadResult r = load_hex_image(board, text);
    EXPECT_FALSE(r.ok);
    std::string shifted = c.error_part;
    if (shifted.rfind("line 1", 0) == 0)
        shifted.replace(0, 6, "line 2");
    EXPECT_NE(r.error.find(shifted), std::string::npos) << r.error;
    EXPECT_EQ(board.peek(0), kOpenBus) << "the valid record was not written either";
}

INSTANTIATE_TEST_SUITE_P(All, HexImageError, ::testing::ValuesIn(kBadHex),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(BoardConfig, InvalidSizesFallBackToTheDefault)
{
    BoardConfig overlapping;
    overlapping.ram_base = 0x40000;
    SimBoard a(overlapping);
    EXPECT_EQ(a.config().ram_base, 0x80000u);
    BoardConfig odd;
    odd.flash_size = 1000;
    SimBoard b(odd);
    EXPECT_EQ(b.config().flash_size, 0x80000u);

    BoardConfig big;
    big.flash_size = 0x40000;
    big.ram_base = 0x40000;
    big.ram_size = 0xC0000;
    SimBoard c(big);
    EXPECT_EQ(c.config().ram_size, 0xC0000u);
    EXPECT_TRUE(c.is_ram(0x40000));
    EXPECT_EQ(c.peek(0x3FFFF), kOpenBus) << "erased flash";
}

TEST(BoardConfig, UnmappedMemoryReadsOpenBusAndIgnoresWrites)
{
    BoardConfig small;
    small.flash_size = 0x1000;
    small.ram_size = 0x1000;
    SimBoard board(small);
    board.write_physical(0x40000, 0x12);
    EXPECT_EQ(board.read_physical(0x40000), kOpenBus);
    EXPECT_FALSE(board.poke(0x40000, 0x12));
    board.write_physical(0x80000, 0x12);
    EXPECT_EQ(board.read_physical(0x80000), 0x12);
}

struct HexText {
    const char *name;
    std::string contents;
    bool hex;
};

const HexText kHexTexts[] = {
    {"record", ":00000001FF\n", true},
    {"record_crlf", ":050000003E7732008094\r\n:00000001FF\r\n", true},
    {"record_without_line_end", ":00000001FF", true},
    {"empty", "", false},
    {"ld_a_mn_first", std::string("\x3A\x05\x00\x00", 4), false},
    {"too_few_digits", ":0000001\n", false},
    {"blank_first", " :00000001FF\n", false},
    {"text", "hello\n", false},
};

class HexDetection : public ::testing::TestWithParam<HexText> {};

TEST_P(HexDetection, ByContent)
{
    EXPECT_EQ(looks_like_hex_image(GetParam().contents), GetParam().hex);
}

INSTANTIATE_TEST_SUITE_P(All, HexDetection, ::testing::ValuesIn(kHexTexts),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
