// The image files: the image built from an object trace file (bytes in place, erased flash
// elsewhere, the kept BIOS laid in, the CRC), its Intel HEX twin as objcopy reads it, the
// pieces cut at "splitbin" origins, and the trace files that are refused.
#include "OutputTestSupport.h"

#include "debugger/LinkFrame.h"
#include "linker/ORIGINS.h"
#include "SimImage.h"

#include <numeric>
#include <sstream>

namespace {

using namespace output_test;

// One trace record as the writer writes it (the reader takes any line breaks between bytes).
std::string record(uint8_t xpc, uint16_t offset, const std::vector<uint8_t> &bytes)
{
    char head[32];
    std::snprintf(head, sizeof head, "%02x:%04x[%3x] -> ", xpc, offset,
                  static_cast<unsigned>(bytes.size()));
    std::string text = head;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02x ", bytes[i]);
        text += cell;
        if ((i + 1) % 16 == 0 && i + 1 < bytes.size())
            text += "\n                ";
    }
    return text + "\n";
}

constexpr const char *kTrailer =
    "*0000ivec_base\n*0000scod_base\n*0002roms\n*0000version=kxw\n*0000library=kxw\n";

// The CRC-16/XMODEM of the host: a plain bitwise loop, kept apart from the system's.
uint16_t host_crc(const std::vector<uint8_t> &bytes)
{
    uint16_t crc = 0;
    for (uint8_t b : bytes) {
        crc ^= static_cast<uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i)
            crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

class ImageFiles : public OutputFiles {
protected:
    void write_trace(const std::string &text) { std::ofstream(file("rom")) << text; }

    // Builds from main.rom; the result and the low sector.
    int build(const char *hex_ext, const char *image_ext, uint32_t *low = nullptr,
              DLSegmentList *segments = nullptr)
    {
        uint32_t l = 0;
        const int r = build_rom_image(source, "rom", hex_ext, image_ext, segments, &l);
        if (low)
            *low = l;
        return r;
    }
    // main.bin holding the image, and main.hex written from it.
    void hex_of(const std::vector<uint8_t> &image)
    {
        write_bytes(file("bin"), image);
        std::FILE *bin = std::fopen(file("bin").c_str(), "rb");
        std::FILE *hex = std::fopen(file("hex").c_str(), "w");
        ASSERT_TRUE(bin && hex);
        EXPECT_TRUE(write_hex_end(bin, hex));
        std::fclose(bin);
        std::fclose(hex);
    }
};

TEST_F(ImageFiles, RecordsLieInPlaceAndErasedFlashElsewhere)
{
    const std::vector<uint8_t> a = pattern(40, 1), b = pattern(3, 9);
    // 0x1E010 and 0x1E300: sector 0x78 is the image's first.
    write_trace(record(0x10, 0xE010, a) + record(0x10, 0xE300, b) + kTrailer);
    uint32_t low = 0;
    ASSERT_EQ(build("hdl", "bdl", &low), 0);
    EXPECT_EQ(low, 0x78u);
    const std::vector<uint8_t> image = read_bytes(file("bdl"));
    ASSERT_EQ(image.size(), 4u * 1024) << "up to four sectors above the last byte's";
    std::vector<uint8_t> expected(4 * 1024, 0xFF);
    std::copy(a.begin(), a.end(), expected.begin() + 0x10);
    std::copy(b.begin(), b.end(), expected.begin() + 0x300);
    EXPECT_EQ(image, expected);
    ASSERT_TRUE(last_built_image());
    EXPECT_EQ(last_built_image()->first_address, 0x1E000u);
}

// A board that takes whole sectors, or a kept image, begins the image at physical 0.
TEST_F(ImageFiles, FlashInformationBeginsTheImageAtZero)
{
    compile_conditions().flash_info = true;
    // 0x200 bytes at 0x3FF00: the last byte 0x400FF, so (0x400FF >> 10) + 4 = 260 sectors.
    write_trace(record(0x3F, 0x0F00, pattern(0x200)) + kTrailer);
    uint32_t low = 99;
    ASSERT_EQ(build("hdl", "bdl", &low), 0);
    EXPECT_EQ(low, 0u);
    const std::vector<uint8_t> image = read_bytes(file("bdl"));
    EXPECT_EQ(image.size(), 260u * 1024);
    EXPECT_EQ(image[0x3FF00], 0);
    EXPECT_EQ(image[0x3FEFF], 0xFF);
}

TEST_F(ImageFiles, NetworkLinkBeginsTheImageAtZero)
{
    headless_target_operations().settings.link_kind = 1;
    write_trace(record(0x10, 0xE000, pattern(4)) + kTrailer);
    uint32_t low = 99;
    ASSERT_EQ(build("hdl", "bdl", &low), 0);
    EXPECT_EQ(low, 0u);
    EXPECT_EQ(read_bytes(file("bdl"))[0x1E003], 3);
}

// A "bin" image begins at physical 0 with the zero pad, else at the lowest byte written.
TEST_F(ImageFiles, BinImageBeginsAtZeroOrAtItsLowestByte)
{
    const std::vector<uint8_t> a = pattern(10, 5);
    write_trace(record(0x10, 0xE010, a) + kTrailer);
    ASSERT_EQ(build("hex", "bin"), 0);
    EXPECT_EQ(read_bytes(file("bin"))[0x1E010], a[0]);
    IdePreferences().zero_pad_bin_file = false;
    ASSERT_EQ(build("hex", "bin"), 0);
    const std::vector<uint8_t> cut = read_bytes(file("bin"));
    EXPECT_EQ(cut.size(), (0x78u + 4) * 1024 - 0x1E010);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), cut.begin()));
    EXPECT_EQ(last_built_image()->first_address, 0x1E010u);
}

TEST_F(ImageFiles, TrailersAloneGiveAnEmptyImage)
{
    write_trace(kTrailer);
    uint32_t low = 99;
    ASSERT_EQ(build("hdl", "bdl", &low), 0);
    EXPECT_EQ(low, 0u);
    EXPECT_TRUE(read_bytes(file("bdl")).empty());
    EXPECT_EQ(read_text(file("hdl")), ":00000001FF\n");
}

// Code near the top of the 1 MB: the spare sectors stop at the end of memory, and the last HEX
// window is 0xF8000 (a two-digit segment field).
TEST_F(ImageFiles, TopOfMemoryCapsTheImageAt1024Sectors)
{
    if (!have_objcopy())
        GTEST_SKIP() << "objcopy (binutils) is not installed";
    compile_conditions().flash_info = true;
    write_trace(record(0xF1, 0xEF00, pattern(0x100)) + kTrailer);  // 0xFFF00 .. 0xFFFFF
    ASSERT_EQ(build("hdl", "bdl"), 0);
    const std::vector<uint8_t> image = read_bytes(file("bdl"));
    ASSERT_EQ(image.size(), 1024u * 1024);
    EXPECT_EQ(image[0xFFFFF], 0xFF % 251);
    EXPECT_NE(read_text(file("hdl")).find(":02000002F80004\n"), std::string::npos);
    EXPECT_EQ(objcopy_binary(file("hdl")), image);
}

struct BadTrace {
    const char *name;
    std::string text;
};
void PrintTo(const BadTrace &c, std::ostream *os) { *os << c.name; }

const BadTrace kBadTraces[] = {
    {"record_of_513_bytes", record(0x10, 0xE000, pattern(513))},
    {"header_without_arrow", "10:e000[  2] 01 02\n"},
    {"header_without_brackets", "10:e000  2 -> 01 02\n"},
    {"garbage_line", "hello\n"},
    {"non_hex_byte", "10:e000[  2] -> 01 zz\n"},
    {"cut_mid_record", "10:e000[ 10] -> 01 02 03\n"},
    {"more_bytes_than_counted", "10:e000[  1] -> 01 02\n"},
    {"runs_past_the_end_of_memory", record(0xF1, 0xEFF0, pattern(0x20))},
};

class RefusedTrace : public ImageFiles, public ::testing::WithParamInterface<BadTrace> {};

// A malformed trace file fails the build (the compile says "Unable to Open Object File."), and
// the image and HEX files of an earlier build are left as they were.
TEST_P(RefusedTrace, FailsAndWritesNoImage)
{
    write_bytes(file("bdl"), {1, 2, 3});
    write_trace(record(0x10, 0xE000, pattern(8)) + GetParam().text + kTrailer);
    EXPECT_NE(build("hdl", "bdl"), 0);
    EXPECT_EQ(read_bytes(file("bdl")), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(fs::exists(file("hdl")));
    EXPECT_FALSE(last_built_image());
}

INSTANTIATE_TEST_SUITE_P(All, RefusedTrace, ::testing::ValuesIn(kBadTraces),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ImageFiles, MissingTraceFileOrUnwritableImageFails)
{
    EXPECT_NE(build("hdl", "bdl"), 0) << "no trace file";
    write_trace(record(0x10, 0xE000, pattern(8)) + kTrailer);
    fs::create_directories(file("bdl"));  // a folder where the image should go
    EXPECT_NE(build("hdl", "bdl"), 0);
    EXPECT_FALSE(last_built_image());
}

// ---- Intel HEX ------------------------------------------------------------------------------------

TEST_F(ImageFiles, HexOf64KilobytesHasTwoWindowsOf1024Records)
{
    const std::vector<uint8_t> image = pattern(0x10000);
    hex_of(image);
    std::vector<std::string> lines;
    std::istringstream in(read_text(file("hex")));
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    ASSERT_EQ(lines.size(), 1u + 1024 + 1 + 1024 + 1);
    EXPECT_EQ(lines[0], ":020000020000FC");
    EXPECT_EQ(lines[1].substr(0, 9), ":20000000");
    EXPECT_EQ(lines[1024].substr(0, 9), ":207FE000");
    EXPECT_EQ(lines[1025], ":020000020800F4");
    EXPECT_EQ(lines[1026].substr(0, 9), ":20000000");
    EXPECT_EQ(lines[2050], ":00000001FF");
    if (have_objcopy()) {
        EXPECT_EQ(objcopy_binary(file("hex")), image);
    }
}

// A file that is not a whole number of 32-byte records ends with a record of its real length.
TEST_F(ImageFiles, ShortLastReadMakesAShortRecord)
{
    const std::vector<uint8_t> image = pattern(100, 3);
    hex_of(image);
    const std::string text = read_text(file("hex"));
    EXPECT_NE(text.find("\n:04006000"), std::string::npos) << text;
    vsim::SimBoard board;
    const vsim::LoadResult loaded = vsim::load_hex_image(board, text);
    ASSERT_TRUE(loaded.ok) << loaded.error;
    EXPECT_EQ(loaded.bytes, 100u);
    if (have_objcopy()) {
        EXPECT_EQ(objcopy_binary(file("hex")), image);
    }
}

TEST_F(ImageFiles, EveryBuiltHexFileReadsBackAsItsImage)
{
    if (!have_objcopy())
        GTEST_SKIP() << "objcopy (binutils) is not installed";
    write_trace(record(0x10, 0xE010, pattern(400)) + record(0x10, 0xE1A0, pattern(400)) +
                record(0x20, 0xE800, pattern(33)) + kTrailer);
    ASSERT_EQ(build("hdl", "bdl"), 0);
    EXPECT_EQ(objcopy_binary(file("hdl")), read_bytes(file("bdl")));
    ASSERT_EQ(build("hex", "bin"), 0);
    EXPECT_EQ(objcopy_binary(file("hex")), read_bytes(file("bin")));
}

TEST_F(ImageFiles, PadWritesErasedSectors)
{
    std::FILE *f = std::fopen(file("bin").c_str(), "wb");
    ASSERT_TRUE(f);
    EXPECT_TRUE(pad_bin_file(f, 2, 5));
    std::fclose(f);
    EXPECT_EQ(read_bytes(file("bin")), std::vector<uint8_t>(3 * 1024, 0xFF));
}

// ---- CRC ------------------------------------------------------------------------------------------

TEST(ImageCrc, StepOfAbc)
{
    uint16_t crc = 0;
    for (char c : std::string("abc"))
        crc = crc16_update(static_cast<uint8_t>(c), 0x1021, crc);
    EXPECT_EQ(crc, 0x9DD6);
    EXPECT_EQ(crc16_xmodem(std::vector<uint8_t>{'a', 'b', 'c'}), 0x9DD6) << "one CRC routine";
}

struct CrcCase {
    const char *name;
    bool time_stamp;
    uint32_t crc_field, excluded_field;
    bool written;
};
void PrintTo(const CrcCase &c, std::ostream *os) { *os << c.name; }

// The image is [0x2000, 0x2000 + 4 sectors), with bytes at 0x2000 .. 0x23FF.
const CrcCase kCrcs[] = {
    {"stamped", true, 0x2100, 0x2200, true},
    {"without_time_stamp_ff_ff", false, 0x2100, 0x2200, true},
    {"fields_adjoining", true, 0x2100, 0x2102, true},
    {"crc_field_below_the_image", true, 0x1000, 0x2200, false},
    {"excluded_field_beyond_the_image", true, 0x2100, 0x3400, false},
};

class ImageCrcField : public ImageFiles, public ::testing::WithParamInterface<CrcCase> {};

TEST_P(ImageCrcField, HoldsTheHostCrcWithBothFieldsZero)
{
    const CrcCase &c = GetParam();
    IdePreferences().include_time_stamp = c.time_stamp;
    set_image_layout({0, 0, c.crc_field, c.excluded_field});
    const std::vector<uint8_t> bytes = pattern(0x400, 17);
    write_trace(record(0x00, 0x2000, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 0x200)) +
                record(0x00, 0x2200, std::vector<uint8_t>(bytes.begin() + 0x200, bytes.end())) +
                kTrailer);
    ASSERT_EQ(build("hdl", "bdl"), 0);
    std::vector<uint8_t> image = read_bytes(file("bdl"));
    ASSERT_EQ(image.size(), 4u * 1024);
    if (!c.written) {
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.begin()))
            << "no field outside the image is written";
        return;
    }
    const uint32_t p1 = c.crc_field - 0x2000, p2 = c.excluded_field - 0x2000;
    const uint16_t stored = static_cast<uint16_t>(image[p1] | image[p1 + 1] << 8);
    for (uint32_t i = 0; i < 2; ++i)
        image[p1 + i] = 0;
    for (uint32_t i = 0; i < 4; ++i)
        image[p2 + i] = 0;
    EXPECT_EQ(stored, c.time_stamp ? host_crc(image) : 0xFFFF);
}

INSTANTIATE_TEST_SUITE_P(All, ImageCrcField, ::testing::ValuesIn(kCrcs),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ImageFiles, WithoutTheBiosNoCrcIsWritten)
{
    compile_conditions().bios_present = false;
    set_image_layout({0, 0, 0x2100u, 0x2200u});
    write_trace(record(0x00, 0x2000, std::vector<uint8_t>(0x200, 0)) +
                record(0x00, 0x2200, std::vector<uint8_t>(0x200, 0)) + kTrailer);
    ASSERT_EQ(build("hdl", "bdl"), 0);
    EXPECT_EQ(read_bytes(file("bdl"))[0x100], 0);
}

// ---- the BIOS kept in memory -------------------------------------------------------------------

// The BIOS compile keeps its records; a program compile that includes the BIOS lays them into
// its image and marks their blocks, so that they are sent and go into the "bin" file too.
TEST_F(ImageFiles, KeptBiosGoesIntoTheProgramsImage)
{
    compile_conditions().bios_kept_in_memory = true;
    const std::vector<uint8_t> bios = pattern(0x180, 40);
    write_trace(record(0xF2, 0xE000, bios) + kTrailer);  // physical 0
    ASSERT_EQ(build("hdl", "bdl"), 0);
    EXPECT_EQ(kept_bios_records().size(), 1u);
    EXPECT_EQ(kept_bios_records()[0].sum,
              std::accumulate(bios.begin(), bios.end(), 0u) & 0xFFFF);

    compile_conditions().bios_kept_in_memory = false;
    clear_flash_sector_map();
    const std::vector<uint8_t> program = pattern(0x40, 3);
    write_trace(record(0xF4, 0xE000, program) + kTrailer);  // physical 0x2000
    uint32_t low = 99;
    ASSERT_EQ(build("hex", "bin", &low), 0);
    EXPECT_EQ(low, 0u);
    const std::vector<uint8_t> image = read_bytes(file("bin"));
    ASSERT_EQ(image.size(), (0x2000u / 1024 + 4) * 1024);
    EXPECT_TRUE(std::equal(bios.begin(), bios.end(), image.begin()));
    EXPECT_EQ(image[0x180], 0xFF);
    EXPECT_TRUE(std::equal(program.begin(), program.end(), image.begin() + 0x2000));
    EXPECT_EQ(count_flash_sectors(), 3u) << "the BIOS's blocks are marked";
}

TEST_F(ImageFiles, ABiosCompileThatKeepsItsImageStartsTheKeptRecordsAnew)
{
    compile_conditions().bios_kept_in_memory = true;
    write_trace(record(0xF2, 0xE000, pattern(8)) + kTrailer);
    ASSERT_EQ(build("hdl", "bdl"), 0);
    ASSERT_EQ(open_object_file(source, false), 0);
    EXPECT_TRUE(kept_bios_records().empty());
}

TEST_F(ImageFiles, SegmentListReceivesEveryRecordsRange)
{
    write_trace(record(0x10, 0xE000, pattern(400)) + record(0x10, 0xE190, pattern(400)) +
                record(0x10, 0xE800, pattern(2)) + kTrailer);
    DLSegmentList segments;
    ASSERT_EQ(build("hdl", "bdl", nullptr, &segments), 0);
    EXPECT_EQ(segments.segments(),
              (std::vector<DLSegment>{{0x1E000, 800}, {0x1E800, 2}}));
}

// ---- split images ---------------------------------------------------------------------------------

class SplitImage : public ImageFiles {
protected:
    void TearDown() override
    {
        origin_table().Clear();
        ImageFiles::TearDown();
    }
    // An ascending xmem origin at a physical address.
    int32_t origin(const char *name, uint32_t physical, uint32_t size)
    {
        OriginDirective o;
        o.name = name;
        o.kind = kOriginXmemCode;
        o.start = o.end = physical_to_addr(physical);
        o.size = size;
        origin_table().origins.push_back(o);
        return static_cast<int32_t>(origin_table().origins.size() - 1);
    }
    void follows(int32_t follower, int32_t followed)
    {
        OriginContainer &t = origin_table();
        t.origins[static_cast<std::size_t>(followed)].next = t.origins[static_cast<std::size_t>(follower)].name;
        t.origins[static_cast<std::size_t>(followed)].follower = follower;
        t.origins[static_cast<std::size_t>(follower)].splitbin = 1;
        ++t.split_count;
    }
};

// b follows a with "splitbin", d follows c: three pieces, each ending with the high end of the
// origin that the next piece's origin follows (that byte included).
TEST_F(SplitImage, PiecesHoldExactlyTheirBytes)
{
    origin_table().Clear();
    const int32_t c = origin("c", 0x30000, 0x800);
    const int32_t a = origin("a", 0x10000, 0x1000);
    const int32_t d = origin("d", 0x38000, 0x1000);
    const int32_t b = origin("b", 0x20000, 0x1000);
    follows(b, a);
    follows(d, c);
    const std::vector<uint8_t> image = pattern(0x40000, 11);
    write_bytes(file("bin"), image);
    ASSERT_TRUE(write_bin_hex_files(source, 0));
    const auto slice = [&](uint32_t from, uint32_t to) {
        return std::vector<uint8_t>(image.begin() + from, image.begin() + to);
    };
    EXPECT_EQ(read_bytes(dir / "main0.bin"), slice(0, 0x11000));
    EXPECT_EQ(read_bytes(dir / "main1.bin"), slice(0x20000, 0x30800));
    EXPECT_EQ(read_bytes(dir / "main2.bin"), slice(0x38000, 0x40000));
    EXPECT_FALSE(fs::exists(dir / "main3.bin"));
    if (have_objcopy()) {
        for (const char *piece : {"main0", "main1", "main2"})
            EXPECT_EQ(objcopy_binary(dir / (std::string(piece) + ".hex")),
                      read_bytes(dir / (std::string(piece) + ".bin")))
                << piece;
    }
}

// A "bin" file cut at its image's start: its byte 0 is the physical address given.
TEST_F(SplitImage, BinFileWithABaseIsCutAtPhysicalAddresses)
{
    origin_table().Clear();
    const int32_t a = origin("a", 0x10000, 0x1000);
    const int32_t b = origin("b", 0x20000, 0x1000);
    follows(b, a);
    const std::vector<uint8_t> image = pattern(0x18000, 2);  // physical 0x8000 .. 0x1FFFF
    write_bytes(file("bin"), image);
    ASSERT_TRUE(write_bin_hex_files(source, 0x8000));
    EXPECT_EQ(read_bytes(dir / "main0.bin"),
              std::vector<uint8_t>(image.begin(), image.begin() + 0x9000));
    EXPECT_FALSE(fs::exists(dir / "main1.bin")) << "the image ends before the next piece";
}

TEST_F(SplitImage, WithoutSplitbinNothingIsWritten)
{
    origin_table().Clear();
    const int32_t a = origin("a", 0x10000, 0x1000);
    const int32_t b = origin("b", 0x20000, 0x1000);
    origin_table().origins[static_cast<std::size_t>(a)].follower = b;  // follows, no splitbin
    write_bytes(file("bin"), pattern(0x30000));
    ASSERT_TRUE(write_bin_hex_files(source, 0));
    EXPECT_FALSE(fs::exists(dir / "main0.bin"));
    EXPECT_FALSE(fs::exists(dir / "main0.hex"));
}

TEST_F(SplitImage, PieceThatCannotBeWrittenFails)
{
    origin_table().Clear();
    follows(origin("b", 0x20000, 0x100), origin("a", 0x10000, 0x100));
    write_bytes(file("bin"), pattern(0x30000));
    fs::create_directories(dir / "main1.bin");
    EXPECT_FALSE(write_bin_hex_files(source, 0));
    EXPECT_TRUE(fs::exists(dir / "main0.bin"));
}

}  // namespace
