// The library function index: scanning libraries into modules and descriptions, the "MD1" and
// "HX1" index files (byte for byte, damaged ones rebuilt), loading from the libraries list,
// rescans of changed libraries, libraries edited in an editor, and the function look-up.
#include "LibraryTestSupport.h"

#include "core/CC_ER.h"
#include "input/CC_GLINE.h"
#include "HostDoubles.h"
#include "linker/LB_CAT.h"
#include "RuntimeLibrary.h"
#include "core/SEAM_TARGET.h"
#include "core/guiExceptions.h"
#include "core/guiInterface.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace library_test;

constexpr int64_t kLibraryTime = 1600000000;

// The fixture library: two modules (the first lists two names, the second continues its list
// on the next line), two descriptions, and text before the first module.
const std::string kFixture =
    "/* FIXTURE.LIB: the library of the index tests. */\n"
    "\n"
    "/*** BeginHeader alpha, beta */\n"
    "int alpha(void);\n"
    "/*** EndHeader */\n"
    "\n"
    "/* START FUNCTION DESCRIPTION ********************\n"
    "alpha                      <FIXTURE.LIB>\n"
    "\n"
    "SYNTAX: int alpha(void);\n"
    "END DESCRIPTION **********************************/\n"
    "\n"
    "#asm\n"
    "alpha::\n"
    "beta::\n"
    "        ret\n"
    "#endasm\n"
    "\n"
    "/*** BeginHeader gamma,\n"
    "        delta */\n"
    "int gamma(void);\n"
    "int delta(void);\n"
    "/*** EndHeader */\n"
    "/* START FUNCTION DESCRIPTION\n"
    "\r\n"
    "   gamma <FIXTURE.LIB> */\n"
    "#asm\n"
    "gamma::\n"
    "delta::\n"
    "        ret\n"
    "#endasm\n";

uint32_t offset_of(const std::string &text, const std::string &marker, std::size_t from = 0)
{
    const std::size_t at = text.find(marker, from);
    EXPECT_NE(at, std::string::npos) << marker;
    return static_cast<uint32_t>(at);
}

// The start of the line after the one holding `at`.
uint32_t next_line(const std::string &text, uint32_t at)
{
    return static_cast<uint32_t>(text.find('\n', at) + 1);
}

uint16_t line_of(const std::string &text, uint32_t at)
{
    return static_cast<uint16_t>(std::count(text.begin(), text.begin() + at, '\n'));
}

// The index file format, written out independently of the unit.
struct Record {
    uint32_t header_start, header_end;
    uint16_t header_line;
    uint32_t body_start, module_end;
    uint16_t end_header_line;
    std::vector<std::string> names;
};

void le(std::string &out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string index_bytes(uint32_t time, const std::string &path, const std::vector<Record> &records)
{
    std::string out;
    le(out, time, 4);
    le(out, static_cast<uint32_t>(path.size() + 1), 2);
    out += path + '\0';
    le(out, static_cast<uint32_t>(records.size()), 2);
    for (const Record &r : records) {
        le(out, r.header_start, 4);
        le(out, r.header_end, 4);
        le(out, r.header_line, 2);
        le(out, 0, 2);
        le(out, r.body_start, 4);
        le(out, r.module_end, 4);
        le(out, r.end_header_line, 2);
        le(out, 0, 2);
        le(out, static_cast<uint32_t>(r.names.size()), 2);
        for (const std::string &n : r.names) {
            le(out, static_cast<uint32_t>(n.size() + 1), 2);
            out += n + '\0';
        }
    }
    return out;
}

class LibIndex : public ::testing::Test {
protected:
    TempFolder dir{"libindex"};

    void SetUp() override
    {
        reset_host_services();
        reset_errors();
        reset_error_seen_and_fatal();
        SetCompilingBios(0);
        gDialogControl.ShowStatusBox(false, "", "");
        create_library_index();
    }
    void TearDown() override
    {
        gDialogControl.CloseStatusBox();
        reset_host_services();
        reset_errors();
        reset_error_seen_and_fatal();
    }

    void list(const std::string &text) { dir.write("Lib.dir", text); }
    // The list's time changes: without `keep`, every library is indexed again.
    int reload_all()
    {
        set_file_time(dir / "Lib.dir", kLibraryTime + ++m_list_times);
        return load();
    }
    std::string lib(const std::string &name) const { return dir / name; }
    int load(bool keep = false) { return load_library_index(dir.path().string(), "Lib.dir", keep, true); }

    std::vector<std::string> status() const
    {
        auto *box = dynamic_cast<HeadlessStatusBox *>(gDialogControl.Box());
        return box ? box->message_history : std::vector<std::string>{};
    }
    bool status_shows(const std::string &text) const
    {
        const std::vector<std::string> s = status();
        return std::find(s.begin(), s.end(), text) != s.end();
    }
    void clear_status()
    {
        if (auto *box = dynamic_cast<HeadlessStatusBox *>(gDialogControl.Box()))
            box->message_history.clear();
    }

    // The module index entry of a library, by its position in the list.
    const ZLibEntry &modules(std::size_t i) const { return *module_index()->libraries.at(i); }
    const ZLibEntry &descriptions(std::size_t i) const
    {
        return *description_index()->libraries.at(i);
    }
    static std::vector<std::string> names(const ZLibEntry &e)
    {
        std::vector<std::string> out;
        for (const auto &m : e.modules) {
            std::string joined;
            for (const QBString &n : m->names)
                joined += (joined.empty() ? "" : ",") + std::string(n.c_str());
            out.push_back(joined);
        }
        return out;
    }
    int m_list_times = 0;
    // Writes the fixture library with its time stamp and lists it.
    void fixture(const std::string &name = "fixture.lib")
    {
        dir.write(name, kFixture);
        set_file_time(lib(name), kLibraryTime);
        list(name + "\n");
    }
};

// ---- scanning and the index files ---------------------------------------------------------------

TEST_F(LibIndex, FixtureGivesByteExactIndexFiles)
{
    fixture();
    ASSERT_EQ(load(), 0);
    const std::string &t = kFixture;
    const uint32_t begin1 = offset_of(t, "/*** BeginHeader alpha");
    const uint32_t end1 = offset_of(t, "/*** EndHeader");
    const uint32_t begin2 = offset_of(t, "/*** BeginHeader gamma");
    const uint32_t end2 = offset_of(t, "/*** EndHeader", begin2);
    const uint32_t list2_end = offset_of(t, "delta */");
    const std::vector<Record> modules = {
        {next_line(t, begin1), end1, line_of(t, begin1), end1, begin2, line_of(t, end1),
         {"alpha", "beta"}},
        {next_line(t, list2_end), end2, line_of(t, list2_end), end2,
         static_cast<uint32_t>(t.size()), line_of(t, end2), {"gamma", "delta"}},
    };
    const uint32_t desc1 = offset_of(t, "/* START FUNCTION DESCRIPTION ****");
    const uint32_t desc2 = offset_of(t, "/* START FUNCTION DESCRIPTION\n");
    const std::vector<Record> descriptions = {
        {0, 0, 0, next_line(t, desc1), next_line(t, offset_of(t, "END DESCRIPTION")), 0, {"alpha"}},
        {0, 0, 0, next_line(t, desc2), next_line(t, offset_of(t, "<FIXTURE.LIB> */")), 0,
         {"gamma"}},
    };
    const std::string path = lib("fixture.lib");
    EXPECT_EQ(dir.read("fixture.lib.MD1"), index_bytes(kLibraryTime, path, modules));
    EXPECT_EQ(dir.read("fixture.lib.HX1"), index_bytes(kLibraryTime, path, descriptions));
}

TEST_F(LibIndex, IndexFilesAreReadBackWithoutAScan)
{
    fixture();
    ASSERT_EQ(load(), 0);
    const std::string md1 = dir.read("fixture.lib.MD1");
    // A different library text with the same time: only the index files are read.
    std::string changed = kFixture;
    changed.replace(changed.find("alpha, beta"), 11, "other, xxxx");
    dir.write("fixture.lib", changed);
    set_file_time(lib("fixture.lib"), kLibraryTime);
    clear_status();
    ASSERT_EQ(reload_all(), 0);
    EXPECT_EQ(names(modules(0)), (std::vector<std::string>{"alpha,beta", "gamma,delta"}));
    EXPECT_EQ(dir.read("fixture.lib.MD1"), md1);
    EXPECT_FALSE(status_shows("Rescanning library " + lib("fixture.lib") + " due to update."));
}

// With an index folder (the IDE's: the user's cache), the index files lie there under the
// library's name and a hash of its path, nothing is written beside the library, and they are
// read back from there; two libraries of one name in different folders keep apart.
TEST_F(LibIndex, AnIndexFolderKeepsTheIndexFilesAwayFromTheLibrary)
{
    fs::create_directories(lib("other"));
    dir.write("other/fixture.lib", kFixture);
    fixture();
    const std::string index_folder = lib("cache");
    set_library_index_folder(index_folder);
    struct Reset {
        ~Reset() { set_library_index_folder(""); }
    } reset;
    const std::string md1 = library_index_file(lib("fixture.lib"), "MD1");
    EXPECT_EQ(fs::path(md1).parent_path().string(), index_folder);
    EXPECT_EQ(fs::path(md1).filename().string().rfind("fixture.lib-", 0), 0u) << md1;
    EXPECT_EQ(fs::path(md1).extension().string(), ".MD1");
    EXPECT_NE(library_index_file(lib("other/fixture.lib"), "MD1"), md1);

    ASSERT_EQ(load(), 0);
    EXPECT_TRUE(fs::is_regular_file(md1));
    EXPECT_TRUE(fs::is_regular_file(library_index_file(lib("fixture.lib"), "HX1")));
    EXPECT_FALSE(fs::exists(lib("fixture.lib.MD1")));
    EXPECT_FALSE(fs::exists(lib("fixture.lib.HX1")));

    // Read back from the folder: a changed text with the same time is not scanned.
    std::string changed = kFixture;
    changed.replace(changed.find("alpha, beta"), 11, "other, xxxx");
    dir.write("fixture.lib", changed);
    set_file_time(lib("fixture.lib"), kLibraryTime);
    clear_status();
    ASSERT_EQ(reload_all(), 0);
    EXPECT_EQ(names(modules(0)), (std::vector<std::string>{"alpha,beta", "gamma,delta"}));
}

struct ListCase {
    const char *name;
    std::string library;
    std::vector<std::string> modules;  // names of each module, joined by ","
};

const ListCase kLists[] = {
    {"TwoNames", "/*** BeginHeader foo, bar */\n/*** EndHeader */\n", {"foo,bar"}},
    {"ContinuedAfterAComma", "/*** BeginHeader foo,\n   bar */\n/*** EndHeader */\n", {"foo,bar"}},
    {"CommentClosedOnTheNextLine", "/*** BeginHeader foo, bar\n*/\n/*** EndHeader */\n",
     {"foo,bar"}},
    {"Empty", "/*** BeginHeader */\n/*** EndHeader */\n", {""}},
    {"MarksWithoutCase", "  /*** beginheader foo */\n\t/*** ENDHEADER */\n", {"foo"}},
    {"StarsSkipped", "/*** BeginHeader foo, * bar ****/\n/*** EndHeader */\n", {"foo,bar"}},
    {"NamesCutTo32Characters",
     "/*** BeginHeader a234567890123456789012345678901234567 */\n/*** EndHeader */\n",
     {"a2345678901234567890123456789012"}},
    {"OtherTextEndsTheListWhereTheCommentCloses",
     "/*** BeginHeader foo (bar) */\nint x;\n/*** EndHeader */\n", {"foo"}},
    {"ThreeModules",
     "/*** BeginHeader a */\n/*** EndHeader */\n/*** BeginHeader b */\n/*** EndHeader */\n"
     "/*** BeginHeader c */\n/*** EndHeader */\n",
     {"a", "b", "c"}},
    {"AFileWithoutModulesIsOneHeader", "#define X 1\nint y;\n", {""}},
};

class HeaderList : public LibIndex, public ::testing::WithParamInterface<ListCase> {};

TEST_P(HeaderList, GivesTheModulesNames)
{
    dir.write("l.lib", GetParam().library);
    list("l.lib\n");
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(names(modules(0)), GetParam().modules);
    EXPECT_EQ(message_record_count(), 0);
}

INSTANTIATE_TEST_SUITE_P(All, HeaderList, ::testing::ValuesIn(kLists),
                         [](const auto &i) { return std::string(i.param.name); });

struct StructureCase {
    const char *name;
    std::string library;
    const char *summary;
    int line;
};

const StructureCase kStructures[] = {
    {"Nested", "/*** BeginHeader a */\nint a;\n/*** BeginHeader b */\n/*** EndHeader */\n",
     "Module headers cannot be nested.", 3},
    {"MissingBegin", "int a;\n\n/*** EndHeader */\n", "Module is missing a BeginHeader.", 3},
    {"MissingEnd",
     "/*** BeginHeader a */\n/*** EndHeader */\n#asm\n#endasm\n/*** BeginHeader b */\nint b;\n",
     "Module is missing an EndHeader.", 5},
};

class LibraryStructure : public LibIndex,
                         public ::testing::WithParamInterface<StructureCase> {};

TEST_P(LibraryStructure, IsAFatalErrorNamingTheLibraryAndLine)
{
    dir.write("bad.lib", GetParam().library);
    list("bad.lib\n");
    EXPECT_THROW(load(), xCCErrOvflo);
    ASSERT_EQ(message_record_count(), 1);
    const sError &e = *gMessageList;
    EXPECT_EQ(e.kind, kMsgKindError);
    EXPECT_NE(e.summary.find(GetParam().summary), std::string::npos) << e.summary;
    EXPECT_NE(e.detail, kNoFurtherInformation) << "the message has its detail text";
    EXPECT_EQ(e.file, lib("bad.lib"));
    EXPECT_EQ(e.line, GetParam().line);
    EXPECT_FALSE(fs::exists(lib("bad.lib.MD1"))) << "no index of a broken library";
    EXPECT_TRUE(modules(0).modules.empty());
}

INSTANTIATE_TEST_SUITE_P(All, LibraryStructure, ::testing::ValuesIn(kStructures),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(LibIndex, LinesLongerThan512BytesAreReadWhole)
{
    const std::string long_line = "/* " + std::string(1500, 'x') + " */\n";
    dir.write("long.lib", long_line + "/*** BeginHeader after */\n" + long_line +
                              "/*** EndHeader */\n/*** BeginHeader b */\n");
    list("long.lib\n");
    EXPECT_THROW(load(), xCCErrOvflo);
    ASSERT_EQ(message_record_count(), 1);
    EXPECT_EQ(gMessageList->line, 5) << "each long line counts once";
    dir.write("long.lib", long_line + "/*** BeginHeader after */\n" + long_line +
                              "/*** EndHeader */\n");
    reset_errors();
    reset_error_seen_and_fatal();
    ASSERT_EQ(reload_all(), 0);
    EXPECT_EQ(names(modules(0)), std::vector<std::string>{"after"});
    EXPECT_EQ(modules(0).modules[0]->end_header_line, 3);
}

// ---- damaged index files ------------------------------------------------------------------------

struct DamageCase {
    const char *name;
    // Makes the damaged file from the good one and the library's path.
    std::string (*damage)(const std::string &good, const std::string &path);
};

std::string set16(std::string s, std::size_t at, uint32_t v)
{
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
    return s;
}

// Where the first record's first name length lies in an "MD1" file of a path.
std::size_t first_name_at(const std::string &path) { return 4 + 2 + path.size() + 1 + 2 + 24 + 2; }

const DamageCase kDamages[] = {
    {"Truncated", [](const std::string &g, const std::string &) { return g.substr(0, g.size() - 3); }},
    {"Empty", [](const std::string &, const std::string &) { return std::string(); }},
    {"PathLengthPastTheEnd",
     [](const std::string &g, const std::string &) { return set16(g, 4, 0xFFFF); }},
    {"PathLengthZero", [](const std::string &g, const std::string &) { return set16(g, 4, 0); }},
    {"RecordCountBeyondTheData",
     [](const std::string &g, const std::string &p) { return set16(g, 4 + 2 + p.size() + 1, 500); }},
    {"NameOfZeroBytes",
     [](const std::string &g, const std::string &p) { return set16(g, first_name_at(p), 0); }},
    {"NameOver33Bytes",
     [](const std::string &g, const std::string &p) { return set16(g, first_name_at(p), 34); }},
    {"NameWithoutItsZero",
     [](const std::string &g, const std::string &p) {
         std::string s = g;
         s[first_name_at(p) + 2 + 5] = 'x';  // "alpha" then its zero
         return s;
     }},
    {"TrailingBytes", [](const std::string &g, const std::string &) { return g + "xx"; }},
    {"PositionPastTheLibrary",
     [](const std::string &g, const std::string &p) {
         std::string s = g;
         const std::size_t end = 4 + 2 + p.size() + 1 + 2 + 16;  // the first module end
         s[end + 3] = 0x7F;
         return s;
     }},
    {"AnotherLibrarysIndex",
     [](const std::string &g, const std::string &p) {
         std::string s = g;
         s[6 + p.size() - 1] = 'X';  // the path's last character
         return s;
     }},
};

class DamagedIndex : public LibIndex, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedIndex, IsRebuiltSilently)
{
    fixture();
    ASSERT_EQ(load(), 0);
    const std::string good = dir.read("fixture.lib.MD1");
    dir.write("fixture.lib.MD1", GetParam().damage(good, lib("fixture.lib")));
    clear_status();
    ASSERT_EQ(reload_all(), 0);
    EXPECT_EQ(names(modules(0)), (std::vector<std::string>{"alpha,beta", "gamma,delta"}));
    EXPECT_EQ(dir.read("fixture.lib.MD1"), good) << "written again";
    EXPECT_EQ(message_record_count(), 0);
    EXPECT_FALSE(status_shows("Rescanning library " + lib("fixture.lib") + " due to update."));
}

INSTANTIATE_TEST_SUITE_P(All, DamagedIndex, ::testing::ValuesIn(kDamages),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(LibIndex, DecodingRefusesWithoutTouchingTheEntry)
{
    ZLibEntry entry;
    entry.path = "kept";
    EXPECT_FALSE(decode_library_index(std::string("\x01\x02", 2), entry));
    EXPECT_EQ(entry.path, "kept");
    ZLibEntry good;
    good.path = "a.lib";
    good.time = 7;
    good.modules.push_back(std::make_unique<ZModEntry>());
    good.modules[0]->names = {QBString("f")};
    ASSERT_TRUE(decode_library_index(encode_library_index(good), entry));
    EXPECT_EQ(entry.path, "a.lib");
    EXPECT_EQ(entry.time, 7u);
    ASSERT_EQ(entry.modules.size(), 1u);
    EXPECT_EQ(entry.modules[0]->library, &entry);
}

TEST_F(LibIndex, AnUnreadableIndexFileIsReportedAndRebuilt)
{
    fixture();
    fs::create_directories(lib("fixture.lib.MD1"));  // there, but no file to open
    ASSERT_EQ(load(), 0);
    ASSERT_EQ(message_record_count(), 1);
    EXPECT_EQ(gMessageList->kind, kMsgKindSerious);
    EXPECT_NE(gMessageList->summary.find("Cannot open library file " + lib("fixture.lib.MD1") + "."),
              std::string::npos)
        << gMessageList->summary;
    EXPECT_EQ(names(modules(0)), (std::vector<std::string>{"alpha,beta", "gamma,delta"}));
    EXPECT_TRUE(lib_find_function("gamma", nullptr, nullptr));
}

// ---- loading ------------------------------------------------------------------------------------

TEST_F(LibIndex, TouchingALibraryRescansItAndRewritesBothIndexFiles)
{
    fixture();
    dir.write("other.lib", "/*** BeginHeader o */\n/*** EndHeader */\n");
    set_file_time(lib("other.lib"), kLibraryTime);
    list("fixture.lib\nother.lib\n");
    ASSERT_EQ(load(), 0);
    set_file_time(lib("fixture.lib"), kLibraryTime + 10);
    clear_status();
    ASSERT_EQ(load(true), 0);
    EXPECT_TRUE(status_shows("Rescanning library " + lib("fixture.lib") + " due to update."));
    EXPECT_FALSE(status_shows("Rescanning library " + lib("other.lib") + " due to update."));
    const std::string md1 = dir.read("fixture.lib.MD1");
    const std::string hx1 = dir.read("fixture.lib.HX1");
    const uint32_t stored = static_cast<uint8_t>(md1[0]) | static_cast<uint8_t>(md1[1]) << 8 |
                            static_cast<uint8_t>(md1[2]) << 16 | static_cast<uint32_t>(
                                                                     static_cast<uint8_t>(md1[3]))
                                                                     << 24;
    EXPECT_EQ(stored, kLibraryTime + 10);
    EXPECT_EQ(hx1.substr(0, 4), md1.substr(0, 4));
    clear_status();
    ASSERT_EQ(load(true), 0);
    EXPECT_FALSE(status_shows("Rescanning library " + lib("fixture.lib") + " due to update."))
        << "once indexed, not again";
}

TEST_F(LibIndex, DeletingTheDescriptionIndexRebuildsBothSilently)
{
    fixture();
    ASSERT_EQ(load(), 0);
    const std::string md1 = dir.read("fixture.lib.MD1");
    fs::remove(lib("fixture.lib.HX1"));
    dir.write("fixture.lib.MD1", "stale");
    clear_status();
    ASSERT_EQ(reload_all(), 0);
    EXPECT_EQ(dir.read("fixture.lib.MD1"), md1);
    EXPECT_TRUE(fs::exists(lib("fixture.lib.HX1")));
    EXPECT_EQ(message_record_count(), 0);
    for (const std::string &s : status())
        EXPECT_EQ(s.find("Rescanning"), std::string::npos) << s;
}

TEST_F(LibIndex, AChangedListRebuildsAll)
{
    fixture();
    ASSERT_EQ(load(), 0);
    EXPECT_FALSE(lib_find_function("late", nullptr, nullptr));
    dir.write("late.lib",
              "/* START FUNCTION DESCRIPTION\nlate\n*/\n/*** BeginHeader late */\n/*** EndHeader */\n");
    list("fixture.lib\nlate.lib\n");
    ASSERT_EQ(load(true), 0) << "also when the libraries indexed before are kept";
    ASSERT_EQ(module_index()->libraries.size(), 2u);
    EXPECT_TRUE(lib_find_function("late", nullptr, nullptr));
    EXPECT_TRUE(lib_find_function("alpha", nullptr, nullptr));
}

TEST_F(LibIndex, TheListSkipsCommentsCutsLinesAndFindsNamesWithoutCase)
{
    dir.write("lib/First.lib", "/*** BeginHeader first */\n/*** EndHeader */\n");
    dir.write("lib/second.LIB", "/*** BeginHeader second */\n/*** EndHeader */\n");
    dir.write("lib/third.h", "#define THIRD 3\n");
    list("* a comment line\n"
         "lib/first.lib\t; tab then comment\n"
         "LIB\\SECOND  ; default extension, backslash\n"
         "\n"
         "lib/third.h\r\n"
         "lib/missing.lib\n" +
         std::string(300, 'y') + "\n");
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(library_files(), (std::vector<std::string>{lib("lib/First.lib"), lib("lib/second.LIB"),
                                                         lib("lib/third.h")}))
        << "files keep their own case";
    EXPECT_TRUE(status_shows("Cannot open library file LIB/MISSING.LIB."));
    EXPECT_TRUE(status_shows("Cannot open library file " + std::string(300, 'Y') + "."));
    EXPECT_TRUE(fs::exists(lib("lib/First.lib.MD1")));
}

TEST_F(LibIndex, ANameMatchingTwoFilesTakesTheOneOfItsOwnCase)
{
    dir.write("Util.lib", "/*** BeginHeader from_mixed */\n/*** EndHeader */\n");
    dir.write("UTIL.LIB", "/*** BeginHeader from_upper */\n/*** EndHeader */\n");
    list("Util.lib\n");
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(library_files(), std::vector<std::string>{lib("Util.lib")});
    EXPECT_EQ(names(modules(0)), std::vector<std::string>{"from_mixed"});
    EXPECT_TRUE(fs::exists(lib("Util.lib.MD1")));
    EXPECT_FALSE(fs::exists(lib("UTIL.LIB.MD1")));
}

// Our runtime libraries (copied: the index files are written beside them) index without a
// message, every module listing a name; their descriptions are found.
TEST_F(LibIndex, TheRuntimeLibrariesIndexCleanly)
{
    std::string listed;
    for (const fs::path &source : rtlib::runtime_sources()) {
        if (source.extension() != ".LIB")
            continue;
        fs::copy_file(source, dir.path() / source.filename());
        listed += source.filename().string() + "\n";
    }
    ASSERT_FALSE(listed.empty());
    list(listed);
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(message_record_count(), 0);
    for (std::size_t i = 0; i < module_index()->libraries.size(); ++i) {
        SCOPED_TRACE(modules(i).path);
        ASSERT_FALSE(modules(i).modules.empty());
        for (const auto &m : modules(i).modules)
            EXPECT_FALSE(m->names.empty()) << "the module at line " << m->header_line + 1;
    }
    const ZModEntry *found = nullptr;
    ASSERT_TRUE(lib_find_function("putchar in STDIO.LIB", &found, nullptr));
    EXPECT_EQ(found->library->path, lib("STDIO.LIB"));
    EXPECT_TRUE(lib_find_function("exit", &found, nullptr));
}

TEST_F(LibIndex, AMissingListIsResultOne)
{
    EXPECT_EQ(load(), 1);
}

TEST_F(LibIndex, LoadingKeepsTheWorkingDirectory)
{
    fixture();
    const fs::path before = fs::current_path();
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(fs::current_path(), before);
}

TEST_F(LibIndex, TheBiosCompileRebuildsAll)
{
    fixture();
    ASSERT_EQ(load(), 0);
    const ZLibEntry *before = &modules(0);
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(&modules(0), before) << "the same list: the entries stay";
    SetCompilingBios(1);
    ASSERT_EQ(load(), 0);
    SetCompilingBios(0);
    EXPECT_EQ(names(modules(0)), (std::vector<std::string>{"alpha,beta", "gamma,delta"}));
}

// ---- libraries open in an editor -----------------------------------------------------------------

TEST_F(LibIndex, AnEditedLibraryIsSavedOnYesAndRescanned)
{
    fixture();
    ASSERT_EQ(load(), 0);
    HeadlessEditWindow &editor = headless_main_window().OpenEditor(lib("fixture.lib"));
    editor.text_lines = {"/*** BeginHeader edited */", "/*** EndHeader */"};
    editor.modified = true;
    headless_message_box_host().answer = kIdNo;
    ASSERT_EQ(load(true), 0);
    ASSERT_EQ(headless_message_box_host().shown.size(), 1u);
    EXPECT_EQ(headless_message_box_host().shown[0].text,
              lib("fixture.lib") + " has been edited. Save?");
    EXPECT_EQ(editor.saves, 0);
    EXPECT_EQ(names(modules(0)), (std::vector<std::string>{"alpha,beta", "gamma,delta"}));

    headless_message_box_host().answer = kIdYes;  // the save gives the file a new time
    ASSERT_EQ(load(true), 0);
    EXPECT_EQ(editor.saves, 1);
    EXPECT_FALSE(editor.modified);
    EXPECT_EQ(names(modules(0)), std::vector<std::string>{"edited"});
}

TEST_F(LibIndex, SaveIfEditedSavesOnlyAModifiedLibraryAfterYes)
{
    dir.write("x.lib", "");
    EXPECT_FALSE(lib_save_if_edited(lib("x.lib"))) << "no editor";
    HeadlessEditWindow &editor = headless_main_window().OpenEditor(lib("x.lib"));
    EXPECT_FALSE(lib_save_if_edited(lib("x.lib"))) << "not modified: nothing asked";
    EXPECT_TRUE(headless_message_box_host().shown.empty());
    editor.modified = true;
    editor.text_lines = {"int saved;"};
    headless_message_box_host().answer = kIdCancel;
    EXPECT_FALSE(lib_save_if_edited(lib("x.lib")));
    headless_message_box_host().answer = kIdYes;
    EXPECT_TRUE(lib_save_if_edited(lib("x.lib")));
    EXPECT_EQ(dir.read("x.lib"), "int saved;\n");
}

// ---- the function look-up -----------------------------------------------------------------------

class FunctionLookup : public LibIndex {
protected:
    void SetUp() override
    {
        LibIndex::SetUp();
        const std::string printf_description =
            "/* START FUNCTION DESCRIPTION\nprintf\n*/\n";
        dir.write("STDIO.LIB", printf_description + "/* START FUNCTION DESCRIPTION\nputs */\n");
        dir.write("x.lib", printf_description);
        list("stdio.lib\nx.lib\n");
        ASSERT_EQ(load(), 0);
    }
};

TEST_F(FunctionLookup, ANameInTwoLibrariesIsNotFoundAlone)
{
    const ZModEntry *found = nullptr;
    EXPECT_FALSE(lib_find_function("printf", &found, nullptr));
    EXPECT_TRUE(lib_find_function("puts", &found, nullptr));
    EXPECT_EQ(found->library->path, lib("STDIO.LIB"));
}

TEST_F(FunctionLookup, NameInLibraryFindsIt)
{
    const ZModEntry *found = nullptr;
    ASSERT_TRUE(lib_find_function("printf in X.LIB", &found, nullptr));
    EXPECT_EQ(found->library->path, lib("x.lib"));
    EXPECT_EQ(found->body_start, std::string("/* START FUNCTION DESCRIPTION\n").size());
    ASSERT_TRUE(lib_find_function("printf in " + lib("STDIO.LIB"), &found, nullptr));
    EXPECT_EQ(found->library->path, lib("STDIO.LIB"));
    EXPECT_TRUE(lib_find_function("printf", &found, "stdio.lib")) << "the caller's filter";
    EXPECT_FALSE(lib_find_function("puts in X.LIB", &found, nullptr));
    EXPECT_FALSE(lib_find_function("nothing", &found, nullptr));
}

TEST_F(FunctionLookup, EveryDescriptionIsListedWithItsLibrary)
{
    std::vector<std::string> seen;
    lib_for_each_function([&](const std::string &name, const std::string &library) {
        seen.push_back(name + " " + library);
    });
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"printf " + lib("STDIO.LIB"),
                                              "printf " + lib("x.lib"),
                                              "puts " + lib("STDIO.LIB")}));
}

// ---- the tables and protected libraries ---------------------------------------------------------

TEST_F(LibIndex, UseEntersModulesAndRemovingForgetsOnlyWhatTheProgramEntered)
{
    fixture();
    dir.write("b.lib", "/*** BeginHeader bios_only */\n/*** EndHeader */\n");
    list("fixture.lib\nb.lib\n");
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(lib_find_module("alpha"), nullptr) << "not before a \"#use\"";
    lib_index_unmark_all();  // a compile's set-up: no item pending
    set_library_index_recording(false);  // the BIOS's "#use"
    library_catalogue().add_modules(1);
    set_library_index_recording(true);   // the program's
    library_catalogue().add_modules(0);
    EXPECT_EQ(library_catalogue().pending_item_count(), 3);
    const ZModEntry *alpha = lib_find_module("alpha");
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(lib_find_module("beta"), alpha);
    lib_index_remove_used_modules();
    EXPECT_EQ(lib_find_module("alpha"), nullptr);
    EXPECT_NE(lib_find_module("bios_only"), nullptr) << "the BIOS's names stay";
}

TEST_F(LibIndex, AProtectedLibraryIsIndexedThroughItsContainer)
{
    ProtectionScope protection;
    dir.write("p.lib", protect(kFixture));
    list("p.lib\n");
    ASSERT_EQ(load(), 0);
    EXPECT_TRUE(is_encrypted_file(lib("p.lib")));
    EXPECT_EQ(names(modules(0)), (std::vector<std::string>{"alpha,beta", "gamma,delta"}));
    EXPECT_EQ(names(descriptions(0)), (std::vector<std::string>{"alpha", "gamma"}));
    // Positions are positions in the stored file: the header text and block come first.
    const uint32_t content = static_cast<uint32_t>(protect("").size());
    EXPECT_EQ(modules(0).modules[0]->header_end, content + offset_of(kFixture, "/*** EndHeader"));

    // The readers deliver the text of a header range.
    LibReader reader;
    ASSERT_TRUE(lib_reader_next_file(reader, *module_index()->libraries[0]));
    const ZModEntry &m = *modules(0).modules[1];
    lib_reader_set_position(reader, m.header_start, m.header_end);
    std::string line;
    std::vector<std::string> lines;
    while (lib_reader_get_line(reader, line))
        lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"int gamma(void);", "int delta(void);"}));
    EXPECT_TRUE(lib_reader_at_eof(reader));
    close_input_file(reader);
}

TEST_F(LibIndex, AHeaderStreamReadsEveryModulesHeaderWithItsLineNumbers)
{
    fixture();
    ASSERT_EQ(load(), 0);
    OneLbHdrThread stream(*module_index()->libraries[0]);
    stream.Open();
    std::vector<std::string> lines;
    std::string text;
    while (stream.HasLine() && stream.ReadLine(text))
        lines.push_back(std::to_string(stream.line) + " " + text);
    stream.Close();
    EXPECT_EQ(lines, (std::vector<std::string>{"4 int alpha(void);", "21 int gamma(void);",
                                               "22 int delta(void);"}));
}

}  // namespace
