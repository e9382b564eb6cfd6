// "#ximport" and "#zimport" through the compile entry: what is placed in xmem and where, the
// name's macro, where the file is looked for, the compression utility (our stand-in, kxztest,
// linked into the program directory under the utility's name), the xmem code-space allocator
// with its follow-on origins, and every way the directive fails.
#include "CompileRunFixture.h"

#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "parser/CC_IMPORT.h"
#include "input/CC_IN.h"
#include "driver/CC_INIT.h"
#include "parser/CC_XDATA.h"
#include "HostDoubles.h"
#include "core/SEAM_SETTINGS.h"
#include "core/guiInterface.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace compile_run;

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kXmemPhysical = 0x10000;  // kXmemCode, where the first import lands

Bytes bytes_of(const std::string &text) { return Bytes(text.begin(), text.end()); }

// kxztest's output: run-length pairs.
Bytes packed(const std::string &text)
{
    Bytes out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = 1;
        while (i + n < text.size() && n < 255 && text[i + n] == text[i])
            ++n;
        out.push_back(static_cast<uint8_t>(n));
        out.push_back(static_cast<uint8_t>(text[i]));
        i += n;
    }
    return out;
}

// The length word (low byte first) and the bytes.
Bytes placed(uint32_t length_word, const Bytes &bytes)
{
    Bytes out;
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(length_word >> shift));
    for (const uint8_t b : bytes)
        out.push_back(b);
    return out;
}

}  // namespace

class ImportRun : public CompileRun {
protected:
    void SetUp() override
    {
        CompileRun::SetUp();
        fs::create_directories(dir / "prog" / "sub");
        fs::create_directories(dir / "elsewhere");
    }

    // The bytes the compile sent to physical addresses.
    Bytes image_at(uint32_t physical, std::size_t n) const
    {
        return Bytes(linker.image.begin() + physical, linker.image.begin() + physical + n);
    }
    std::string macro(const char *name) const
    {
        const macroinfo *m = find_macro_value(name);
        return m ? m->text : "(undefined)";
    }
    // Our stand-in utility in a folder (the program directory unless another is given) under the
    // name the settings give it.
    void install_utility(const fs::path &folder = {})
    {
        const fs::path where = folder.empty() ? dir : folder;
        fs::create_directories(where);
        fs::create_symlink(fs::path(KX_TOOLS_DIR) / "kxztest", where / gZimportUtility);
    }
    static void set_time(const std::string &file, fs::file_time_type when)
    {
        fs::last_write_time(file, when);
    }
};

// ---- what is placed ---------------------------------------------------------------------------------

// The length word and then the file's bytes at the end of the xmem code, the name a macro of the
// length word's physical address; a program reads both through the xmem window.
TEST_F(ImportRun, XimportPlacesTheLengthWordAndTheBytesAndNamesTheirAddress)
{
    write("prog/data.bin", std::string("ab\0\xFF", 4));
    ASSERT_EQ(compile("#ximport \"data.bin\" DATA\n"
                      "#asm\n"
                      " ld a, 2\n"
                      " ld xpc, a\n"
                      " ld hl, (0xE000)\n"
                      " ld de, (0xE002)\n"
                      " ld bc, (0xE004)\n"
                      " ld a, (0xE007)\n"
                      "#endasm\n"),
              0)
        << messages_text();
    EXPECT_EQ(macro("DATA"), "0x10000L");
    EXPECT_EQ(image_at(kXmemPhysical, 8), placed(4, bytes_of(std::string("ab\0\xFF", 4))));
    EXPECT_EQ(xmem_code_cache().current, make_addr(2, 0xE008)) << "xmem code goes on after it";
    run(kRootCode);
    EXPECT_TRUE(reg("HL", 4));
    EXPECT_TRUE(reg("DE", 0));
    EXPECT_TRUE(reg("BC", 0x6261));
    EXPECT_TRUE(reg("A", 0xFF));
}

// Two imports lie one after the other; each name has its own address.
TEST_F(ImportRun, ImportsFollowEachOther)
{
    write("prog/a.bin", "xyz");
    write("prog/b.bin", "Q");
    ASSERT_EQ(compile("#ximport \"a.bin\" FIRST\n#ximport \"b.bin\" SECOND\n"), 0)
        << messages_text();
    EXPECT_EQ(macro("FIRST"), "0x10000L");
    EXPECT_EQ(macro("SECOND"), "0x10007L");
    EXPECT_EQ(image_at(kXmemPhysical, 12),
              (Bytes{3, 0, 0, 0, 'x', 'y', 'z', 1, 0, 0, 0, 'Q'}));
}

// Each import is a global data item of the map: its name, the length word's address, the low 16
// bits of the placed length, the directive's file and line, and its kind.
TEST_F(ImportRun, EachImportIsAGlobalDataItemOfTheMap)
{
    install_utility();
    write("prog/a.bin", "abc");
    write("prog/b.bin", "zzzzzz");
    ASSERT_EQ(compile("#ximport \"a.bin\" FIRST\n\n#zimport \"b.bin\" SECOND\n"), 0)
        << messages_text();
    ASSERT_EQ(linker.data_items.size(), 2u);
    struct Expected {
        const char *name;
        ADDR24 address;
        uint16_t size;
        uint16_t line;
        uint8_t kind;
    };
    const Expected expected[] = {{"FIRST", make_addr(2, 0xE000), 3, 1, 1},
                                 {"SECOND", make_addr(2, 0xE007), 2, 3, 2}};
    for (std::size_t i = 0; i < 2; ++i) {
        const auto &item = linker.data_items[i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(item.name, expected[i].name);
        EXPECT_EQ(item.record.address[0], expected[i].address);
        EXPECT_EQ(item.record.size, expected[i].size);
        EXPECT_EQ(item.record.line, expected[i].line);
        EXPECT_EQ(item.file, source);
        EXPECT_EQ((item.record.flags[0] >> 3) & 3, expected[i].kind);
    }
}

// The listing shows the placed range as data.
TEST_F(ImportRun, PlacedRangeIsListedAsData)
{
    write("prog/data.bin", "abc");
    ASSERT_EQ(compile("#ximport \"data.bin\" DATA\n"), 0) << messages_text();
    const RecordingLinker::ListRecord data{ListTable::CodeBlocks, make_addr(2, 0xE000),
                                           make_addr(2, 0xE007), 2};
    EXPECT_NE(std::find(linker.list_records.begin(), linker.list_records.end(), data),
              linker.list_records.end());
}

// Data that runs past the first 4 KB of the window goes on at the next xpc page: one run of
// physical addresses, no byte above 0xEFFF in the window.
TEST_F(ImportRun, DataCrossingThePageEndGoesOnAtTheNextPage)
{
    parser.layout = [](OriginContainer &origins) {
        origins.select_origin(
            add_origin("xmemcode", kOriginXmemCode, make_addr(2, 0xEFF0), 0x1000, xmem_code_cache()));
    };
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += char('A' + i);
    write("prog/data.bin", text);
    ASSERT_EQ(compile("#ximport \"data.bin\" DATA\n"), 0) << messages_text();
    EXPECT_EQ(macro("DATA"), "0x10ff0L");
    EXPECT_EQ(image_at(0x10FF0, 44), placed(40, bytes_of(text)));
    EXPECT_EQ(linker.sent.count(make_addr(2, 0xEFFF)), 1u);
    EXPECT_EQ(linker.sent.count(make_addr(3, 0xE000)), 1u) << "the next page";
    EXPECT_EQ(linker.sent.count(make_addr(2, 0xF000)), 0u) << "not past the page end";
    EXPECT_EQ(xmem_code_cache().current, make_addr(3, 0xE000 + 28));
}

struct LengthCase {
    const char *name;
    const char *directive;
    std::string contents;
    Bytes expected;
};

const LengthCase kLengths[] = {
    {"ximport_empty", "#ximport", "", {0, 0, 0, 0}},
    {"zimport_empty", "#zimport", "", {0, 0, 0, 0x80}},
    {"ximport_bytes", "#ximport", "aaab", {4, 0, 0, 0, 'a', 'a', 'a', 'b'}},
    {"zimport_packed_with_bit_31", "#zimport", "aaab", {4, 0, 0, 0x80, 3, 'a', 1, 'b'}},
};

class ImportLength : public ImportRun, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(ImportLength, LengthWordThenTheBytes)
{
    const LengthCase &c = GetParam();
    install_utility();
    write("prog/data.bin", c.contents);
    ASSERT_EQ(compile(std::string(c.directive) + " \"data.bin\" DATA\n"), 0) << messages_text();
    EXPECT_EQ(image_at(kXmemPhysical, c.expected.size()), c.expected);
    EXPECT_EQ(image_at(kXmemPhysical + uint32_t(c.expected.size()), 1), Bytes{0xFF})
        << "nothing after the data";
}

INSTANTIATE_TEST_SUITE_P(All, ImportLength, ::testing::ValuesIn(kLengths),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- where the file is looked for -------------------------------------------------------------------

// A name as written is first looked for below the program directory (whatever the process's
// working folder); then beside the current source file; then in the program directory.
struct SearchCase {
    const char *name;
    std::vector<std::pair<std::string, std::string>> files;  // below the temporary folder
    std::string written;  // "@" stands for the temporary folder
    std::string found;
};

const SearchCase kSearches[] = {
    {"beside_the_source", {{"prog/d.bin", "src"}}, "d.bin", "src"},
    {"in_the_program_directory", {{"d.bin", "prg"}}, "d.bin", "prg"},
    {"as_written_first", {{"d.bin", "cwd"}, {"prog/d.bin", "src"}}, "d.bin", "cwd"},
    {"full_path", {{"elsewhere/d.bin", "abs"}, {"prog/d.bin", "src"}}, "@/elsewhere/d.bin", "abs"},
    {"backslashes", {{"prog/sub/d.bin", "sub"}}, "sub\\d.bin", "sub"},
    {"forward_slashes", {{"prog/sub/d.bin", "sub"}}, "sub/d.bin", "sub"},
    {"blanks_in_the_name", {{"prog/my data.bin", "blk"}}, "my data.bin", "blk"},
    // A folder of that name is no data file: the search goes on.
    {"folder_skipped", {{"d.bin/x", "no"}, {"prog/d.bin", "src"}}, "d.bin", "src"},
};

class ImportSearch : public ImportRun, public ::testing::WithParamInterface<SearchCase> {};

TEST_P(ImportSearch, FirstCandidateThatIsAFileIsPlaced)
{
    const SearchCase &c = GetParam();
    for (const auto &[name, text] : c.files) {
        fs::create_directories((dir / name).parent_path());
        write(name, text);
    }
    std::string written = c.written;
    if (written.starts_with('@'))
        written = dir.string() + written.substr(1);
    ASSERT_EQ(compile("#ximport \"" + written + "\" FOUND\n"), 0) << messages_text();
    EXPECT_EQ(image_at(kXmemPhysical + 4, 3), bytes_of(c.found));
}

INSTANTIATE_TEST_SUITE_P(All, ImportSearch, ::testing::ValuesIn(kSearches),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- failures ----------------------------------------------------------------------------------------

// Each failure is one report at the directive; the parse goes on with the next line.
struct FaultCase {
    const char *name;
    std::string program;
    std::string messages;  // "@" stands for the source's folder
    std::string macro = "(undefined)";
};

const FaultCase kFaults[] = {
    // The input layer reports the quote left open on the line too.
    {"unclosed_name", "#ximport \"data.bin DATA\n",
     "1: Expecting\".\n1: \" is missing/expected.\n"},
    {"no_name", "#zimport\n", "1: Expecting\".\n"},
    {"name_of_260_characters", "#ximport \"" + std::string(260, 'n') + "\" DATA\n",
     "1: Expecting\".\n"},
    {"missing_file", "#ximport \"none.bin\" DATA\n", "1: Unable to open input file: @none.bin.\n"},
    {"missing_file_zimport", "#zimport \"none.bin\" DATA\n",
     "1: Unable to open input file: @none.bin.\n"},
    {"folder", "#ximport \"sub\" DATA\n", "1: Unable to open input file: @sub.\n"},
    {"fifo", "#ximport \"fifo\" DATA\n", "1: Unable to open input file: @fifo.\n"},
    {"device", "#ximport \"/dev/zero\" DATA\n", "1: Unable to open input file: /dev/zero.\n"},
    {"no_identifier", "#ximport \"data.bin\"\n", "1: Invalid symbol ''.\n"},
    {"number_for_identifier", "#ximport \"data.bin\" 12ab\n", "1: Invalid symbol '12ab'.\n"},
    {"punctuation_for_identifier", "#ximport \"data.bin\" ;\n", "1: Invalid symbol ';'.\n"},
    // A directive that failed takes the rest of its line with it.
    {"rest_of_the_line_after_a_failure", "#ximport \"none.bin\" DATA ; garbage\n",
     "1: Unable to open input file: @none.bin.\n"},
    {"keyword_for_identifier", "#ximport \"data.bin\" int\n", "1: Invalid symbol 'int'.\n"},
    // A file beyond the physical address space cannot be placed: nothing is, the name is 0.
    {"larger_than_xmem", "#ximport \"huge.bin\" DATA\n",
     "1: Out of xmem code space, use a larger ROM/RAM.\n", "0x0L"},
};

class ImportFault : public ImportRun, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ImportFault, IsOneReportAndPlacesNothing)
{
    const FaultCase &c = GetParam();
    declarations.refuse = true;
    write("prog/data.bin", "abc");
    ASSERT_EQ(::mkfifo(path("prog/fifo").c_str(), 0600), 0);
    {
        std::ofstream(path("prog/huge.bin"));
        fs::resize_file(path("prog/huge.bin"), 0x100001);  // sparse: nothing is written
    }
    EXPECT_EQ(compile(c.program + "#asm\n nop\n#endasm\n") & 2, 2);
    std::string expected = c.messages;
    for (std::size_t at; (at = expected.find('@')) != std::string::npos;)
        expected.replace(at, 1, path("prog/"));
    EXPECT_EQ(messages_text(), expected);
    EXPECT_EQ(macro("DATA"), c.macro);
    EXPECT_TRUE(linker.data_items.empty()) << "nothing for the map";
    EXPECT_EQ(sent_at(kXmemCode, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF})) << "nothing placed";
    EXPECT_EQ(sent_at(kRootCode, 1), Bytes{0x00}) << "the next item was compiled";
}

INSTANTIATE_TEST_SUITE_P(All, ImportFault, ::testing::ValuesIn(kFaults),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- xmem code space -----------------------------------------------------------------------------

class ImportSpace : public ImportRun {
protected:
    // An xmem origin of `size` bytes at physical 0x20000, followed (when `follower_size` is not
    // 0) by one of that size at physical 0x30000.
    void origins(uint32_t size, uint32_t follower_size)
    {
        parser.layout = [=](OriginContainer &table) {
            int32_t next = -1;
            if (follower_size)
                next = add_origin("next", kOriginXmemCode, make_addr(0x22, 0xE000), follower_size,
                                  xmem_code_cache());
            table.select_origin(add_origin("first", kOriginXmemCode, make_addr(0x12, 0xE000),
                                           size, xmem_code_cache(), next));
        };
    }
};

// Data that exactly fills the origin fits.
TEST_F(ImportSpace, DataFillingTheOriginExactlyFits)
{
    origins(8, 0);
    write("prog/data.bin", "1234");
    ASSERT_EQ(compile("#ximport \"data.bin\" DATA\n"), 0) << messages_text();
    EXPECT_EQ(macro("DATA"), "0x20000L");
    EXPECT_EQ(image_at(0x20000, 8), placed(4, bytes_of("1234")));
}

// Data that does not fit goes whole to the follow-on origin.
TEST_F(ImportSpace, DataThatDoesNotFitGoesToTheFollowOnOrigin)
{
    origins(8, 0x100);
    write("prog/data.bin", "12345");
    ASSERT_EQ(compile("#ximport \"data.bin\" DATA\n"), 0) << messages_text();
    EXPECT_EQ(macro("DATA"), "0x30000L");
    EXPECT_EQ(image_at(0x30000, 9), placed(5, bytes_of("12345")));
    EXPECT_EQ(image_at(0x20000, 1), Bytes{0xFF}) << "nothing in the first origin";
    EXPECT_EQ(xmem_code_cache().current, make_addr(0x22, 0xE00A)) << "made even at the end";
}

// Without a follow-on origin there is no room: one report, nothing placed over what lies past
// the origin, the name 0; a later import that fits is still placed.
TEST_F(ImportSpace, NoRoomPlacesNothingAndTheNameIsZero)
{
    origins(8, 0);
    write("prog/big.bin", "12345");
    write("prog/small.bin", "1");
    EXPECT_EQ(compile("#ximport \"big.bin\" BIG\n#ximport \"small.bin\" SMALL\n") & 2, 2);
    EXPECT_EQ(messages_text(), "1: Out of xmem code space, use a larger ROM/RAM.\n");
    EXPECT_EQ(macro("BIG"), "0x0L");
    EXPECT_EQ(macro("SMALL"), "0x20000L");
    // A failed compile builds no image: what it sent is what it placed. The one byte more makes
    // the xmem code end even, as every compile does.
    EXPECT_EQ(sent_at(make_addr(0x12, 0xE000), 8), (Bytes{1, 0, 0, 0, '1', 0, 0xFF, 0xFF}));
    EXPECT_EQ(sent_at(0, 1), Bytes{0xFF}) << "nothing at physical 0";
}

// Origins whose followers lead back to one already tried end the search.
TEST_F(ImportSpace, FollowerChainBackToItselfEnds)
{
    parser.layout = [](OriginContainer &table) {
        const int32_t a =
            add_origin("a", kOriginXmemCode, make_addr(0x12, 0xE000), 8, xmem_code_cache());
        const int32_t b =
            add_origin("b", kOriginXmemCode, make_addr(0x22, 0xE000), 8, xmem_code_cache(), a);
        table.at(a)->follower = b;
        table.at(a)->next = "b";
        table.select_origin(a);
    };
    write("prog/data.bin", "12345");
    EXPECT_EQ(compile("#ximport \"data.bin\" DATA\n") & 2, 2);
    EXPECT_EQ(messages_text(), "1: Out of xmem code space, use a larger ROM/RAM.\n");
    EXPECT_EQ(macro("DATA"), "0x0L");
}

// The compile sets the allocator up from the "rame" bound, starting where the xmem code stands.
TEST_F(ImportSpace, CompileSetsTheAllocatorUp)
{
    ASSERT_EQ(compile(""), 0) << messages_text();
    EXPECT_EQ(xdata_bound(), uint32_t(compiler_config().rame) * 4096);
    EXPECT_FALSE(separate_xdata_mode());
    EXPECT_EQ(next_xdata_address(), addr_to_physical(xmem_code_cache().current));
}

// In separate-data mode xdata has its own area up to the bound; the end is reported and the
// area left as it was.
TEST_F(ImportSpace, SeparateXdataAreaEndsAtItsBound)
{
    ASSERT_EQ(compile(""), 0) << messages_text();
    init_xdata_allocator(0x40010, 0x40000);
    EXPECT_EQ(reserve_xdata_space(0x8), std::optional<uint32_t>(0x40000));
    EXPECT_EQ(reserve_xdata_space(0x8), std::optional<uint32_t>(0x40008));
    EXPECT_EQ(next_xdata_address(), 0x40010u);
    EXPECT_EQ(reserve_xdata_space(1), std::nullopt);
    EXPECT_EQ(next_xdata_address(), 0x40010u);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].summary, "Out of XMEM-RAM, try a bigger RAM and/or use deluxe verion.");
}

// ---- the compression utility -----------------------------------------------------------------------

TEST_F(ImportRun, ZimportPlacesWhatTheUtilityWrote)
{
    install_utility();
    write("prog/data.bin", "xxxxy");
    ASSERT_EQ(compile("#zimport \"data.bin\" DATA\n"), 0) << messages_text();
    EXPECT_EQ(macro("DATA"), "0x10000L");
    EXPECT_EQ(image_at(kXmemPhysical, 8), placed(0x80000004, packed("xxxxy")));
    std::ifstream kxz(path("prog/data.bin.KXZ"), std::ios::binary);
    EXPECT_TRUE(kxz.good()) << "written beside the input";
}

// The utility is started directly: blanks and quotes in its folder, blanks in the file's path
// change nothing (our stand-in refuses more or fewer than one argument). A quote cannot stand
// in the file's name: it ends the name.
TEST_F(ImportRun, BlanksAndQuotesInThePathsReachTheUtilityWhole)
{
    const fs::path folder = dir / "program \"dir\"";
    install_utility(folder);
    set_program_directory(folder.string());
    fs::create_directories(dir / "prog" / "a b c");
    write("prog/a b c/my data.bin", "zz");
    ASSERT_EQ(compile("#zimport \"a b c/my data.bin\" DATA\n"), 0) << messages_text();
    EXPECT_EQ(image_at(kXmemPhysical, 6), placed(0x80000002, packed("zz")));
}

// A ".KXZ" newer than its input is used as it is; one written at the same time as the input is
// made again.
struct CurrentCase {
    const char *name;
    int kxz_seconds_later;
    Bytes placed_bytes;
};

const CurrentCase kCurrent[] = {
    {"newer_is_used", 1, {'o', 'l', 'd'}},
    {"same_time_is_made_again", 0, {2, 'n'}},
    {"older_is_made_again", -1, {2, 'n'}},
};

class CompressedCurrent : public ImportRun, public ::testing::WithParamInterface<CurrentCase> {};

TEST_P(CompressedCurrent, DecidesWhetherTheUtilityRuns)
{
    install_utility();
    write("prog/data.bin", "nn");
    write("prog/data.bin.KXZ", "old");
    const auto t = fs::last_write_time(path("prog/data.bin"));
    set_time(path("prog/data.bin.KXZ"), t + std::chrono::seconds(GetParam().kxz_seconds_later));
    EXPECT_EQ(compressed_file_is_current(path("prog/data.bin"), path("prog/data.bin.KXZ")),
              GetParam().kxz_seconds_later > 0);
    ASSERT_EQ(compile("#zimport \"data.bin\" DATA\n"), 0) << messages_text();
    const Bytes &b = GetParam().placed_bytes;
    EXPECT_EQ(image_at(kXmemPhysical + 4, b.size()), b);
}

INSTANTIATE_TEST_SUITE_P(All, CompressedCurrent, ::testing::ValuesIn(kCurrent),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(CompressedFileIsCurrent, NeedsBothNamesAndBothFiles)
{
    EXPECT_FALSE(compressed_file_is_current("", "x.KXZ"));
    EXPECT_FALSE(compressed_file_is_current("x", ""));
    EXPECT_FALSE(compressed_file_is_current("/nonexistent/x", "/nonexistent/x.KXZ"));
}

struct UtilityFaultCase {
    const char *name;
    std::string contents;      // of the input: our stand-in's instructions
    bool installed;
    const char *utility_name;  // nullptr: the default
    std::string messages;
};

const UtilityFaultCase kUtilityFaults[] = {
    {"exits_with_an_error", "!exit 3", true, nullptr,
     "1: Error in Compression utility or utility not found.\n"},
    {"not_found", "abc", false, nullptr,
     "1: Error in Compression utility or utility not found.\n"},
    {"no_utility_name", "abc", true, "", "1: Error in Compression utility or utility not found.\n"},
    {"writes_nothing", "!none", true, nullptr,
     "1: Compression utility output file not found.\n"},
};

class UtilityFault : public ImportRun, public ::testing::WithParamInterface<UtilityFaultCase> {};

TEST_P(UtilityFault, IsOneReportAndPlacesNothing)
{
    const UtilityFaultCase &c = GetParam();
    if (c.installed)
        install_utility();
    if (c.utility_name)
        gZimportUtility = c.utility_name;
    write("prog/data.bin", c.contents);
    EXPECT_EQ(compile("#zimport \"data.bin\" DATA\n#asm\n nop\n#endasm\n") & 2, 2);
    EXPECT_EQ(messages_text(), c.messages);
    EXPECT_EQ(macro("DATA"), "(undefined)");
    EXPECT_EQ(sent_at(kXmemCode, 1), Bytes{0xFF});
    EXPECT_EQ(sent_at(kRootCode, 1), Bytes{0x00}) << "the next item was compiled";
}

INSTANTIATE_TEST_SUITE_P(All, UtilityFault, ::testing::ValuesIn(kUtilityFaults),
                         [](const auto &i) { return std::string(i.param.name); });

// Cancel in the status box while the utility runs ends the compile, and the utility is gone.
TEST_F(ImportRun, CancelWhileTheUtilityRunsEndsTheCompileAndKillsIt)
{
    install_utility();
    write("prog/data.bin", "!hang");
    const std::string pid_file = path("prog/data.bin.pid");
    gDialogControl.SetBoxFactory([pid_file] {
        auto box = std::make_unique<HeadlessStatusBox>();
        box->on_message = [pid_file](HeadlessStatusBox &b) {
            if (fs::exists(pid_file))
                b.closed_by_user = true;
        };
        return box;
    });
    EXPECT_THROW(compile("#zimport \"data.bin\" DATA\n"), xUserCancel);
    int pid = 0;
    std::ifstream(pid_file) >> pid;
    ASSERT_NE(pid, 0);
    EXPECT_EQ(::kill(pid, 0), -1) << "no child left";
    EXPECT_EQ(errno, ESRCH);

    // The next compile is not troubled by the one that was cancelled.
    gDialogControl.SetBoxFactory(nullptr);
    reset_errors();
    write("prog/data.bin", "ok");
    ASSERT_EQ(compile("#zimport \"data.bin\" DATA\n"), 0) << messages_text();
    EXPECT_EQ(image_at(kXmemPhysical, 8), placed(0x80000004, packed("ok")));
}
