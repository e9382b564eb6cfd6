// The download writer: where the bytes of `ui_send` go by the output flags and the compile
// mode, the object trace file's records and trailer, the pieces of `ui_send_block`, the
// touched-block bitmap and the download segment list.
#include "OutputTestSupport.h"

#include "core/SEAM_LINKER.h"

#include <sstream>

namespace {

using namespace output_test;

class DownloadWriter : public OutputFiles {
protected:
    HeadlessTargetOperations &target = headless_target_operations();

    std::vector<std::string> target_calls(const std::string &prefix) const
    {
        std::vector<std::string> out;
        for (const std::string &c : target.calls)
            if (c.rfind(prefix, 0) == 0)
                out.push_back(c);
        return out;
    }
    // The trace file's lines that are records (trailer lines begin with "*").
    std::vector<std::string> record_headers() const
    {
        std::vector<std::string> out;
        std::istringstream in(read_text(file("rom")));
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && line[0] != '*' && line[0] != ' ')
                out.push_back(line.substr(0, line.find("->") + 2));
        return out;
    }
};

TEST_F(DownloadWriter, ThousandBytesMakeThreeRecordsOfAtMost400)
{
    ASSERT_EQ(open_object_file(source, false), 0);
    const std::vector<uint8_t> bytes = pattern(1000);
    ui_send(1000, make_addr(0x10, 0xE000), bytes.data());
    close_object_file();
    EXPECT_EQ(record_headers(), (std::vector<std::string>{
                                    "10:e000[190] ->", "10:e190[190] ->", "10:e320[ c8] ->"}));
    EXPECT_TRUE(target.calls.empty()) << "the trace file, not the target";
    // Bytes 0x1E000 .. 0x1E3E7 lie in the 8 blocks from 0x1E000.
    EXPECT_EQ(count_flash_sectors(), 8u);
}

// One record, byte for byte: sixteen bytes a line, a continuation line opened by 16 blanks.
TEST_F(DownloadWriter, RecordLayoutAndTrailer)
{
    set_bios_root_code_end(make_addr(0, 0x2100));
    set_image_layout({0x1F00, 0, std::nullopt, std::nullopt});
    ASSERT_EQ(open_object_file(source, false), 0);
    const std::vector<uint8_t> bytes = pattern(17, 0xA0);
    ui_send(17, make_addr(0x10, 0xE000), bytes.data());
    close_object_file();
    EXPECT_EQ(read_text(file("rom")),
              "10:e000[ 11] -> a0 a1 a2 a3 a4 a5 a6 a7 a8 a9 aa ab ac ad ae af \n"
              "                b0 \n"
              "*1F00ivec_base\n"
              "*2100scod_base\n"
              "*0002roms\n"
              "*0000version=kxw\n"
              "*0000library=kxw\n");
}

TEST_F(DownloadWriter, SendBlockCutsAt65535AndSendsEachPieceAtItsXmemAddress)
{
    set_output_flags(0x20);  // straight to the target: each piece is one request
    const std::vector<uint8_t> bytes = pattern(70000);
    ui_send_block(70000, make_addr(0, 0x1000), bytes.data());
    EXPECT_EQ(target_calls("TcWritePhysicalMemory"),
              (std::vector<std::string>{"TcWritePhysicalMemory 0x1000 65535",
                                        "TcWritePhysicalMemory 0x10FFF 4465"}));
    EXPECT_EQ(target.memory[0x1000 + 69999], bytes[69999]);
}

// A root address goes into the trace file in its xmem form; readers recover the physical
// address from it.
TEST_F(DownloadWriter, SendBlockWritesRootCodeInItsXmemForm)
{
    ASSERT_EQ(open_object_file(source, false), 0);
    const uint8_t bytes[2] = {0x3E, 0x12};
    ui_send_block(2, make_addr(0, 0x0000), bytes);
    close_object_file();
    EXPECT_EQ(record_headers(), std::vector<std::string>{"f2:e000[  2] ->"});
}

struct RouteCase {
    const char *name;
    uint8_t flags;
    uint16_t mode;
    uint16_t page_limit;
    int requests;  // write requests to the target
    int records;   // records in the trace file
    uint32_t marked;
};
void PrintTo(const RouteCase &c, std::ostream *os) { *os << c.name; }

// 1000 bytes at physical 0x1E000.
const RouteCase kRoutes[] = {
    {"target_only_is_one_request", 0x20, 0, 0, 1, 0, 0},
    {"trace_file_and_target_write_records", 0x30, 0, 0, 0, 3, 8},
    {"trace_file_only_writes_records", 0x10, 0, 0, 0, 3, 8},
    {"no_output_flag_sends_nothing", 0x01, 0, 0, 0, 0, 0},
    {"watch_compile_sends_nothing", 0x30, 1, 0, 0, 0, 0},
    {"mode_2_below_the_page_limit_is_one_request", 0x30, 2, 0x1F, 1, 0, 0},
    {"mode_2_at_the_page_limit_goes_in_pieces", 0x30, 2, 0x1E, 3, 0, 0},
    {"mode_2_target_only_goes_in_pieces", 0x20, 2, 0, 3, 0, 0},
};

class DownloadRoute : public DownloadWriter, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(DownloadRoute, GoesWhereTheFlagsAndModeSay)
{
    const RouteCase &c = GetParam();
    set_output_flags(c.flags);
    ASSERT_EQ(open_object_file(source, false), 0);
    set_compile_mode_word(c.mode);
    set_image_layout({0, c.page_limit, std::nullopt, std::nullopt});
    const std::vector<uint8_t> bytes = pattern(1000);
    ui_send(1000, make_addr(0x10, 0xE000), bytes.data());
    set_compile_mode_word(0);
    close_object_file();
    EXPECT_EQ(target_calls("TcWritePhysicalMemory").size(), std::size_t(c.requests));
    EXPECT_EQ(record_headers().size(), std::size_t(c.records));
    EXPECT_EQ(count_flash_sectors(), c.marked);
    EXPECT_EQ(fs::exists(file("rom")), (c.flags & 0x30) != 0)
        << "without output flags no trace file is made";
}

INSTANTIATE_TEST_SUITE_P(All, DownloadRoute, ::testing::ValuesIn(kRoutes),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(DownloadWriter, SendingWhileCodeIsSuppressedIsReportedAndGoesOn)
{
    ASSERT_EQ(open_object_file(source, false), 0);
    set_code_suppression_counter(1);
    const uint8_t byte = 0;
    ui_send(1, make_addr(0x10, 0xE000), &byte);
    set_code_suppression_counter(0);
    close_object_file();
    ASSERT_NE(gMessageList, nullptr);
    EXPECT_NE(std::string(gMessageList->summary).find("Internal error:  Improper use of ui_send()."),
              std::string::npos)
        << gMessageList->summary;
    EXPECT_EQ(record_headers().size(), 1u);
}

struct MarkCase {
    const char *name;
    uint32_t start, count;
    std::vector<uint32_t> blocks;  // the marked blocks' numbers
};
void PrintTo(const MarkCase &c, std::ostream *os) { *os << c.name; }

const MarkCase kMarks[] = {
    {"last_byte_of_a_block", 0x7F, 1, {0}},
    {"last_two_bytes_cross_into_the_next", 0x7F, 2, {0, 1}},
    {"one_whole_block", 0x80, 128, {1}},
    {"one_byte_more_than_a_block", 0x80, 129, {1, 2}},
    {"nothing", 0x80, 0, {}},
    {"top_of_memory", 0xFFFFF, 1, {8191}},
};

class BlockMarks : public DownloadWriter, public ::testing::WithParamInterface<MarkCase> {};

TEST_P(BlockMarks, SetTheBitsOfTheBlocksTouched)
{
    const MarkCase &c = GetParam();
    mark_flash_sectors(c.start, c.count);
    EXPECT_EQ(count_flash_sectors(), c.blocks.size());
    for (uint32_t b : c.blocks)
        EXPECT_TRUE(flash_sector_marked(b * 128, 128)) << "block " << b;
    clear_flash_sector_map();
    EXPECT_EQ(count_flash_sectors(), 0u);
}

INSTANTIATE_TEST_SUITE_P(All, BlockMarks, ::testing::ValuesIn(kMarks),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(DownloadWriter, TheBitmapAnswersForLargerBlocksByTheirFirstBit)
{
    mark_flash_sectors(0x400, 1);  // block 8
    EXPECT_TRUE(flash_sector_marked(0x400, 128));
    EXPECT_TRUE(flash_sector_marked(0x200, 0x40)) << "block 8 of 64-byte blocks is bit 8";
    EXPECT_FALSE(flash_sector_marked(0x3FF, 128));
    EXPECT_FALSE(flash_sector_marked(0x100000, 128)) << "beyond the physical space";
}

struct SegmentCase {
    const char *name;
    std::vector<DLSegment> inserted;
    std::vector<DLSegment> expected;
};
void PrintTo(const SegmentCase &c, std::ostream *os) { *os << c.name; }

const SegmentCase kSegments[] = {
    {"apart_stay_apart", {{0x100, 0x10}, {0x200, 0x10}}, {{0x100, 0x10}, {0x200, 0x10}}},
    {"kept_in_order", {{0x200, 0x10}, {0x100, 0x10}}, {{0x100, 0x10}, {0x200, 0x10}}},
    {"adjoining_join", {{0x100, 0x10}, {0x110, 0x10}}, {{0x100, 0x20}}},
    {"one_byte_gap_stays", {{0x100, 0x10}, {0x111, 0x10}}, {{0x100, 0x10}, {0x111, 0x10}}},
    {"overlapping_join", {{0x100, 0x20}, {0x110, 0x20}}, {{0x100, 0x30}}},
    {"inside_changes_nothing", {{0x100, 0x40}, {0x110, 0x10}}, {{0x100, 0x40}}},
    {"bridge_joins_three",
     {{0x100, 0x10}, {0x200, 0x10}, {0x300, 0x10}, {0x110, 0x1F0}},
     {{0x100, 0x210}}},
    {"before_the_first", {{0x200, 0x10}, {0x1F0, 0x10}}, {{0x1F0, 0x20}}},
};

class SegmentList : public ::testing::TestWithParam<SegmentCase> {};

TEST_P(SegmentList, MergesWhatOverlapsOrAdjoins)
{
    DLSegmentList list;
    for (const DLSegment &s : GetParam().inserted)
        list.insert(s.start, s.length);
    EXPECT_EQ(list.segments(), GetParam().expected);
    EXPECT_EQ(list.count(), GetParam().expected.size());
}

INSTANTIATE_TEST_SUITE_P(All, SegmentList, ::testing::ValuesIn(kSegments),
                         [](const auto &i) { return std::string(i.param.name); });

// The BIOS's root region is read back from the target into the trace file before the program,
// in pieces of 32 bytes up to and including the first byte of the program's root code.
TEST_F(DownloadWriter, LibraryFlagsCopyTheBiosRootRegionFromTheTarget)
{
    const std::vector<uint8_t> bios = pattern(0x41, 7);
    std::copy(bios.begin(), bios.end(), target.memory.begin());
    set_bios_root_code_end(make_addr(0, 0x40));
    set_output_flags(0x11);
    ASSERT_EQ(open_object_file(source, false), 0);
    close_object_file();
    EXPECT_EQ(target_calls("TcReadMemory"),
              (std::vector<std::string>{"TcReadMemory 0x0 32", "TcReadMemory 0x20 33"}));
    uint32_t low = 0;
    ASSERT_EQ(build_rom_image(source, "rom", "hex", "bin", nullptr, &low), 0);
    const std::vector<uint8_t> image = read_bytes(file("bin"));
    ASSERT_GE(image.size(), bios.size());
    EXPECT_TRUE(std::equal(bios.begin(), bios.end(), image.begin()));
}

TEST_F(DownloadWriter, WithoutTheBiosNothingIsCopied)
{
    compile_conditions().bios_present = false;
    set_bios_root_code_end(make_addr(0, 0x40));
    set_output_flags(0x11);
    ASSERT_EQ(open_object_file(source, false), 0);
    EXPECT_TRUE(target_calls("TcReadMemory").empty());
}

TEST_F(DownloadWriter, UnwritableFolderGivesNoTraceFile)
{
    EXPECT_EQ(open_object_file((dir / "missing" / "main.c").string(), false), 1);
    EXPECT_FALSE(object_file_open());
    const uint8_t byte = 0x55;
    ui_send(1, make_addr(0x10, 0xE000), &byte);  // records nothing anywhere
    EXPECT_TRUE(target.calls.empty());
}

// Outside tests the linker seam is served by the writer itself.
TEST_F(DownloadWriter, BuiltInLinkerSeamServesTheWriter)
{
    set_linker_seam(nullptr);
    LinkerSeam &linker = linker_seam();
    ASSERT_EQ(linker.open_object_file(source, false), 0);
    const std::vector<uint8_t> bytes = pattern(200);
    linker.ui_send_block(200, make_addr(0x10, 0xE000), bytes.data());
    EXPECT_EQ(linker.count_flash_sectors(), 2u);
    EXPECT_TRUE(linker.flash_sector_marked(0x1E080, 128));
    linker.close_object_file(false);
    uint32_t low = 0;
    ASSERT_EQ(linker.build_rom_image(source, "rom", "hdl", "bdl", &low), 0);
    EXPECT_EQ(low, 0x1E000u / 1024);
    EXPECT_EQ(read_bytes(file("bdl"))[199], bytes[199]);
    linker.clear_flash_sector_map();
    EXPECT_EQ(count_flash_sectors(), 0u);
}

}  // namespace
