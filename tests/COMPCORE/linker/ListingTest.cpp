// The listing's pieces: constant dumps, one marker line per run of protected or unknown bytes,
// code lines as the disassembly window shows them, source echoes, and the listing's refusals.
#include "OutputTestSupport.h"

#include "debugger/DB_DA.h"
#include "debugger/DB_ML.h"

namespace {

using namespace output_test;

class Listing : public OutputFiles {
protected:
    HeadlessBreakpointTables &tables = headless_breakpoint_tables();

    void SetUp() override
    {
        OutputFiles::SetUp();
        clear_list_records(code_block_list());
        tables.clearBreakpoints();
        set_watch_compile(false);
    }
    void TearDown() override
    {
        clear_list_records(code_block_list());
        tables.clearBreakpoints();
        set_watch_compile(false);
        OutputFiles::TearDown();
    }
    std::string last_box() const
    {
        const auto &shown = headless_message_box_host().shown;
        return shown.empty() ? std::string() : shown.back().text;
    }
};

// 0x41 .. 0x50 ("A" .. "P"), then a blank, a carriage return, 0xC1 and "~".
const std::vector<uint8_t> kTwenty = {0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A,
                                      0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x20, 0x0D, 0xC1, 0x7E};

TEST_F(Listing, ConstantDumpOfTwentyBytes)
{
    add_list_record(code_block_list(), 0x6000, 0x6014, 2);
    code_block_list().normalise();
    ListFile list;
    uint32_t count = 32;  // more is available than the constant data
    const std::string text = list.constant_data_text(kTwenty.data(), count, 0x6000);
    EXPECT_EQ(count, 20u);
    EXPECT_EQ(text, "*** Constant Data ***\n"
                    "   6000 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 \tABCDEFGHIJKLMNOP\n"
                    "   6010 20 0D C1 7E " + std::string(12 * 3, ' ') + " " + "   ~\n"
                    "*** End Constant Data ***");
}

TEST_F(Listing, ConstantDumpOfSixteenBytesEndsWithAnEmptyLine)
{
    add_list_record(code_block_list(), make_addr(3, 0xE000), make_addr(3, 0xE010), 2);
    code_block_list().normalise();
    ListFile list;
    uint32_t count = 16;
    const std::string text = list.constant_data_text(kTwenty.data(), count, make_addr(3, 0xE000));
    EXPECT_EQ(text, "*** Constant Data ***\n"
                    "03:e000 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 \tABCDEFGHIJKLMNOP\n"
                    "03:e010 " + std::string(49, ' ') + "\n"
                    "*** End Constant Data ***");
}

// Code, a run of three unknown bytes, a run of protected code, constant data: one record each
// but the code, which gets one line per instruction.
TEST_F(Listing, ChunkGivesOneMarkerPerRun)
{
    CodeBlockList &map = code_block_list();
    add_list_record(map, 0x100, 0x103, 4);
    set_protected_file_test([](const std::string &) { return true; });
    add_list_record(map, 0x106, 0x108, 4);
    set_protected_file_test(nullptr);
    add_list_record(map, 0x108, 0x10C, 2);
    std::vector<uint8_t> bytes = {0x00, 0x3E, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 1, 2, 3, 4};
    bytes.resize(bytes.size() + 16, 0);
    tables.entries.push_back({SourceTable::Line, "a.c", 3, 5, 0x101, 40});
    ListFile list;
    DisInfoList records;
    EXPECT_EQ(list.list_chunk(0x100, bytes, 12, records), 0x10Cu);
    ASSERT_EQ(records.size(), 5u);
    std::string nop, ld;
    formatInstructionLine(0x100, bytes, 1, "nop    ", nop);
    formatInstructionLine(0x101, std::span<const uint8_t>(bytes).subspan(1), 2, "ld     a,0x07", ld);
    EXPECT_EQ(records[0].text.substr(0, 16), nop.substr(0, 16));
    EXPECT_EQ(records[1].text.substr(0, 16), ld.substr(0, 16));
    EXPECT_EQ(records[1].line, 3);
    EXPECT_EQ(records[1].column, 5);
    EXPECT_EQ(records[1].offset, 40);
    EXPECT_EQ(records[0].line, -1) << "no position for the first";
    EXPECT_EQ(records[2].text, "*** Unknown Code or Data ***");
    EXPECT_EQ(records[2].address, 0x103u);
    EXPECT_EQ(records[3].text, "*** Encrypted library code ***");
    EXPECT_EQ(records[4].kind, 2);
    EXPECT_EQ(records[4].text.substr(0, 21), "*** Constant Data ***");
}

TEST_F(Listing, UnknownRunGoesOnIntoTheNextChunkWithoutAnotherMarker)
{
    add_list_record(code_block_list(), 0x200, 0x201, 4);
    const std::vector<uint8_t> bytes(64, 0);
    ListFile list;
    DisInfoList records;
    EXPECT_EQ(list.list_chunk(0x100, bytes, 8, records), 0x108u);
    EXPECT_EQ(records.size(), 1u) << "the first run of a listing has its marker";
    EXPECT_EQ(list.list_chunk(0x108, bytes, 8, records), 0x110u);
    EXPECT_TRUE(records.empty());
}

TEST_F(Listing, EmptyMapListsEverythingAsUnknown)
{
    const std::vector<uint8_t> bytes(32, 0);
    ListFile list;
    DisInfoList records;
    (void)list.list_chunk(0x100, bytes, 16, records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].text, "*** Unknown Code or Data ***");
}

TEST_F(Listing, EchoShowsTheLineFromItsColumn)
{
    const std::string long_line(300, 'x');
    std::ofstream(dir / "lib.c", std::ios::binary) << "first line\n  int a = 1;\r\n" << long_line << "\n";
    const std::string lib = (dir / "lib.c").string();
    ListFile list;
    list.base_name = source;
    EXPECT_EQ(list.source_echo(lib, 2, 3, 11), "[lib.c(2:3)]: int a = 1;");
    EXPECT_EQ(list.source_echo(lib, 1, 1, 0), "[lib.c(1:1)]: first line");
    EXPECT_EQ(list.source_echo(lib, 3, 1, 25), "[lib.c(3:1)]: " + std::string(255, 'x'));
    EXPECT_EQ(list.source_echo(lib, 9, 2, -1), "[lib.c(9:2)]: ") << "no offset: no text";
    EXPECT_TRUE(list.success);
}

TEST_F(Listing, MissingSourceFileEchoesTheErrorEveryTime)
{
    const std::string missing = (dir / "gone.c").string();
    ListFile list;
    list.base_name = source;
    EXPECT_EQ(list.source_echo(missing, 1, 1, 0), "Internal Error: Could not open source file.");
    EXPECT_EQ(list.source_echo(missing, 2, 1, 5), "Internal Error: Could not open source file.");
    EXPECT_FALSE(list.success);
}

TEST_F(Listing, WatchCompileWritesNothingAndKeepsTheMap)
{
    add_list_record(code_block_list(), 0x100, 0x110, 4);
    set_watch_compile(true);
    ListFile list;
    EXPECT_FALSE(write_list_file(list, source, 0));
    EXPECT_FALSE(fs::exists(file("lst")));
    code_block_list().normalise();
    EXPECT_EQ(code_block_list().kind_at(0x100), 4);
}

TEST_F(Listing, UnwritableListingIsReported)
{
    const std::string elsewhere = (dir / "missing" / "main.c").string();
    ListFile list;
    EXPECT_FALSE(write_list_file(list, elsewhere, 0));
    EXPECT_EQ(last_box(),
              "Could not open list file \"" + (dir / "missing" / "main.lst").string() + "\" for output.");
}

// An image left by an earlier compile is not this compile's: it is not listed.
TEST_F(Listing, ImageNotBuiltByThisCompileIsNotListed)
{
    write_bytes(file("bdl"), std::vector<uint8_t>(64, 0));
    ASSERT_EQ(open_object_file(source, false), 0);  // a new compile: nothing built yet
    close_object_file();
    ListFile list;
    EXPECT_FALSE(write_list_file(list, source, 0));
    EXPECT_EQ(last_box(), "Internal error: Could not find input file \"" + file("bdl").string() +
                              "\" for list file generation.");
    EXPECT_TRUE(fs::exists(file("lst")));
    EXPECT_EQ(fs::file_size(file("lst")), 0u);
}

}  // namespace
