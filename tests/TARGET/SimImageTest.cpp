// Image loading into the board stand-in: "bin" at a physical address and Intel HEX records;
// a bad image is refused with a clear error and leaves memory as it was.
#include "SimImage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

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
    EXPECT_TRUE(r.warnings.empty());
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


// Records that are loaded, but not as their writer may have meant: said once per record, with
// its line; the later record's bytes are the ones in memory.
struct HexWarning {
    const char *name;
    const char *text;
    const char *warning;
    uint32_t address;  // a byte to look at
    uint8_t value;
};
void PrintTo(const HexWarning &c, std::ostream *os) { *os << c.name; }
const HexWarning kHexWarnings[] = {
    {"overlapping_records", ":01000000AA55\n:0100000055AA\n:00000001FF\n",
     "line 2: the record gives bytes an earlier record gave", 0x00000, 0x55},
    // two bytes at offset 0xFFFF: the second lands at 0x10000, not back at 0x0000
    {"record_wrapping_at_64k", ":02FFFF00AABB9B\n:00000001FF\n",
     "line 1: the record runs past the end of its 64 KB segment", 0x10000, 0xBB},
};

class HexImageWarning : public ::testing::TestWithParam<HexWarning> {};

TEST_P(HexImageWarning, LoadsAndSaysWhy)
{
    const HexWarning &c = GetParam();
    SimBoard board;
    LoadResult r = load_hex_image(board, c.text);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find(c.warning), std::string::npos) << r.warnings[0];
    EXPECT_EQ(board.peek(c.address), c.value);
}

INSTANTIATE_TEST_SUITE_P(All, HexImageWarning, ::testing::ValuesIn(kHexWarnings),
                         [](const auto &i) { return std::string(i.param.name); });

// Image files that cannot be loaded: named, with what is wrong, and nothing written. A file too
// large for the board is said to be so, whether it is read (1 MB and 5 bytes) or too large to
// read at all (a sparse 200 MB file); a FIFO is not waited for.
struct ImageFileCase {
    const char *name;
    void (*make)(const std::filesystem::path &path);
    const char *error;  // after "<path>: "
};
void PrintTo(const ImageFileCase &c, std::ostream *os) { *os << c.name; }
const ImageFileCase kImageFiles[] = {
    {"one_mb_and_5_bytes",
     [](const std::filesystem::path &p) {
         std::ofstream(p, std::ios::binary) << std::string(0x100005, '\0');
     },
     "the image (1048581 bytes) is larger than flash and RAM (1048576 bytes)"},
    {"sparse_200_mb",
     [](const std::filesystem::path &p) {
         std::ofstream(p, std::ios::binary).put('\0');
         std::filesystem::resize_file(p, 200u << 20);
     },
     "the image is larger than flash and RAM (1048576 bytes)"},
    {"fifo", [](const std::filesystem::path &p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
     "is not a regular file"},
    {"folder", [](const std::filesystem::path &p) { std::filesystem::create_directory(p); },
     "is not a regular file"},
};

class ImageFile : public ::testing::TestWithParam<ImageFileCase> {};

TEST_P(ImageFile, IsRefusedByName)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("kx-image-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path path = dir / "image.bin";
    std::filesystem::remove_all(path);
    GetParam().make(path);
    SimBoard board;
    LoadResult r = load_image_argument(board, path.string());
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(path.string()), std::string::npos) << r.error;
    EXPECT_NE(r.error.find(GetParam().error), std::string::npos) << r.error;
    EXPECT_EQ(board.peek(0), kOpenBus) << "nothing written";
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(All, ImageFile, ::testing::ValuesIn(kImageFiles),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
