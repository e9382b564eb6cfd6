// The map file: what the recording calls give, written whole and compared with golden files
// (tests/data/map/, the first differing line printed): the six sections with their columns,
// root and xmem addresses, the pending-size rule, hidden names of protected libraries, the call
// graph; then a fixture compile's map. Also the address-to-name map, watch compiles, the map's
// own file name and a map that cannot be created.
#include "CompileRunFixture.h"
#include "LibraryTestSupport.h"

#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "HostDoubles.h"
#include "linker/LB_CAT.h"
#include "linker/MAPFILE.h"
#include "core/guiInterface.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace library_test;

std::string read_text(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Equal texts, or the first line where they differ.
::testing::AssertionResult same_text(const std::string &got, const std::string &golden_name)
{
    const std::string golden = read_text(std::string(KX_TEST_DATA) + "/map/" + golden_name);
    if (got == golden)
        return ::testing::AssertionSuccess();
    std::istringstream a(got), b(golden);
    std::string la, lb;
    for (int line = 1;; ++line) {
        const bool more_a = static_cast<bool>(std::getline(a, la));
        const bool more_b = static_cast<bool>(std::getline(b, lb));
        if (!more_a && !more_b)
            return ::testing::AssertionFailure() << "the texts differ in their last line end";
        if (la != lb || more_a != more_b)
            return ::testing::AssertionFailure()
                   << golden_name << " line " << line << ":\n  got:      \"" << la
                   << "\"\n  expected: \"" << lb << "\"";
    }
}

// The caches whose addresses the layout section reads, put back after a test.
class SavedCaches {
public:
    SavedCaches()
        : m_root(root_code_cache().current), m_data(data_cache().current),
          m_xmem(xmem_code_cache().current), m_xmem_window(xmem_code_cache().window_start)
    {
    }
    ~SavedCaches()
    {
        root_code_cache().current = m_root;
        data_cache().current = m_data;
        xmem_code_cache().current = m_xmem;
        xmem_code_cache().window_start = m_xmem_window;
        (void)set_xmem_window(0xE);
    }

private:
    uint32_t m_root, m_data, m_xmem, m_xmem_window;
};

class MapFile : public ::testing::Test {
protected:
    TempFolder dir{"map"};
    SavedCaches caches;

    void SetUp() override
    {
        reset_host_services();
        reset_errors();
        set_watch_compile(false);
        gDialogControl.ShowStatusBox(false, "", "");
    }
    void TearDown() override
    {
        clear_map_tables();
        gDialogControl.CloseStatusBox();
        reset_host_services();
        set_watch_compile(false);
    }
    std::string map_path() const { return dir / "prog/main.map"; }
    void open_map()
    {
        fs::create_directories(dir.path() / "prog");
        init_map_file(dir / "prog/main.c");
    }
    MapSourcePosition main_c(int line) const { return {dir / "prog/main.c", line}; }
};

// Every section with every kind of row. The window starts at 0xD000 here: an offset at or above
// it prints in the xmem form, while the two function lists still split at 0xE000.
TEST_F(MapFile, RecordedProgramIsWrittenWhole)
{
    ProtectionScope protection;
    // A protected library that describes "shownfn" (so it is shown) but not "secretfn".
    dir.write("p.lib", protect("/* START FUNCTION DESCRIPTION\nshownfn\n*/\n"));
    dir.write("Lib.dir", "p.lib\n");
    ASSERT_EQ(load_library_index(dir.path().string(), "Lib.dir", false, true), 0);
    const std::string protected_lib = dir / "p.lib";
    ASSERT_TRUE(is_encrypted_file(protected_lib));

    (void)set_xmem_window(0xD);
    root_code_cache().current = make_addr(0, 0x1234);
    data_cache().current = make_addr(0, 0xB000);
    xmem_code_cache().window_start = make_addr(0x02, 0xD000);
    xmem_code_cache().current = make_addr(0x02, 0xD480);

    open_map();
    mapfile_add_macro("NO_FILE");
    mapfile_add_function("premain", make_addr(0, 0x0100), true, main_c(10));
    mapfile_add_call("secretfn");
    mapfile_add_call("main");
    mapfile_add_call("missing");
    mapfile_add_call("helper");
    mapfile_add_call("main");  // once only
    mapfile_end_function("premain", make_addr(0, 0x0110));
    mapfile_add_function("main", make_addr(0, 0x0110), true, main_c(20));
    mapfile_add_call("main");
    mapfile_add_call("leaf");
    mapfile_add_call("helper");
    mapfile_end_function("main", make_addr(0, 0x0110));  // an alias follows at its address
    mapfile_add_function("alias", make_addr(0, 0x0110), true, main_c(21));
    mapfile_end_function("alias", make_addr(0, 0x0120));  // main takes these 16 bytes too
    mapfile_add_function("lbl", make_addr(0, 0x0120), false, main_c(30));
    mapfile_end_function("lbl", make_addr(0, 0x0124));
    mapfile_add_function("twice", make_addr(0, 0x0200), true, main_c(40));
    mapfile_add_function("twice", make_addr(0, 0x0300), true, main_c(50));
    mapfile_end_function("twice", make_addr(0, 0x0210));  // the first one
    mapfile_add_function("leaf", make_addr(0, 0xD800), true,
                         MapSourcePosition{"/a/very/long/directory/name/aaaaaaaaaaaa.c", 7});
    mapfile_add_function("noline", make_addr(0, 0x0400), false);
    mapfile_add_function("helper", make_addr(0x02, 0xE000), true,
                         MapSourcePosition{"0123456789012345678901234567890123456789", 12});
    mapfile_add_call("leaf");
    mapfile_end_function("helper", make_addr(0x02, 0xE030));
    mapfile_add_function("far_label", make_addr(0, 0xE800), false, main_c(60));
    mapfile_add_function("secretfn", make_addr(0x03, 0xE000), true,
                         MapSourcePosition{protected_lib, 7});
    mapfile_add_function("shownfn", make_addr(0x03, 0xE010), true,
                         MapSourcePosition{protected_lib, 9});

    MapSymbol counter{"counter", 0, 2, 0, 0, make_addr(0, 0x9000), 0, 5, dir / "prog/main.c", 2};
    MapSymbol table{"table", 0, 1, 0, 0x1, make_addr(0x05, 0xE100), 0, 6, dir / "prog/main.c", 10};
    MapSymbol image{"image", 0x08, 1, 0, 0x1, make_addr(0x06, 0xE000), 0, 7, dir / "prog/main.c",
                    100};
    MapSymbol packed{"packed", 0x10, 1, 0, 0x1, make_addr(0x07, 0xE000), 0, 8,
                     dir / "prog/main.c", 50};
    MapSymbol secret{"secret", 0, 2, 0, 0, make_addr(0, 0x9002), 0, 3, protected_lib, 2};
    MapSymbol i{"i", 0, 2, 2, 0, kDummyAddress, -2, 22, dir / "prog/main.c", 2};
    MapSymbol p{"p", 0x02, 1, 2, 0x2, kDummyAddress, 4, 20, dir / "prog/main.c", 2};
    MapSymbol fp{"fp", 0, 2, 2, 0x32, kDummyAddress, 6, 20, dir / "prog/main.c", 2};
    for (const MapSymbol *s : {&counter, &i, &table, &p, &image, &packed, &secret, &fp})
        mapfile_add_symbol(*s);

    write_map_file();
    EXPECT_TRUE(same_text(read_text(map_path()), "recorded.map"));
}

TEST_F(MapFile, WithoutPremainThereIsNoCallGraph)
{
    open_map();
    mapfile_add_function("main", make_addr(0, 0x0100), true, main_c(1));
    mapfile_add_call("f");
    write_map_file();
    const std::string text = read_text(map_path());
    EXPECT_NE(text.find("// Function call graph.\nNo call graph information available.\n"),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 37), "No call graph information available.\n");
    EXPECT_EQ(text.find("Encrypted file symbols"), std::string::npos);
}

TEST_F(MapFile, WritingEmptiesTheTablesAndClosesTheFile)
{
    open_map();
    mapfile_add_function("premain", make_addr(0, 0x0100), true, main_c(1));
    write_map_file();
    const std::string first = read_text(map_path());
    write_map_file();  // nothing open: nothing written
    EXPECT_EQ(read_text(map_path()), first);
    open_map();
    write_map_file();
    EXPECT_NE(read_text(map_path()).find("No call graph information available."), std::string::npos)
        << "the entries of the last compile are gone";
}

TEST_F(MapFile, TheAddressNameMapKeepsTheFirstNameAndOutlivesTheTables)
{
    const ADDR24 at = make_addr(0x02, 0xE123);
    const uint32_t physical = addr_to_physical(at);
    gAddressNameMap.erase(physical);
    open_map();
    mapfile_add_function("first", at, true, main_c(1));
    // The same physical address through another XPC and offset.
    mapfile_add_function("second", make_addr(0x01, 0xF123), false, main_c(2));
    ASSERT_EQ(gAddressNameMap.count(physical), 1u);
    EXPECT_EQ(gAddressNameMap.at(physical).name, "first");
    EXPECT_EQ(gAddressNameMap.at(physical).address, at);
    clear_map_tables();
    write_map_file();
    EXPECT_EQ(gAddressNameMap.at(physical).name, "first");
    EXPECT_EQ(map_address_name(make_addr(0x01, 0xF123)), std::optional<std::string>("first"))
        << "the disassembler's lookup, by physical address";
    EXPECT_EQ(map_address_name(make_addr(0x02, 0xE124)), std::nullopt);
    gAddressNameMap.erase(physical);
}

TEST_F(MapFile, AWatchCompileRecordsNothing)
{
    const ADDR24 at = make_addr(0, 0x0777);
    gAddressNameMap.erase(addr_to_physical(at));
    open_map();
    set_watch_compile(true);
    mapfile_add_function("premain", at, true, main_c(1));
    mapfile_add_macro("M");
    mapfile_add_call("x");
    mapfile_add_symbol(MapSymbol{"v", 0, 2, 0, 0, 0x9000, 0, 1, "", 2});
    set_watch_compile(false);
    write_map_file();
    const std::string text = read_text(map_path());
    EXPECT_EQ(text.find("premain"), std::string::npos);
    EXPECT_EQ(text.find(" M "), std::string::npos);
    EXPECT_EQ(text.find(" v "), std::string::npos);
    EXPECT_EQ(gAddressNameMap.count(addr_to_physical(at)), 0u);
}

TEST_F(MapFile, TheMapOfAnExtensionlessSourceInADottedFolderStaysBesideIt)
{
    fs::create_directories(dir.path() / "a.b");
    dir.write("a.map", "someone else's file");
    init_map_file(dir / "a.b/prog");
    write_map_file();
    EXPECT_TRUE(fs::exists(dir.path() / "a.b" / "prog.map"));
    EXPECT_EQ(read_text(dir / "a.map"), "someone else's file");
}

TEST_F(MapFile, AMapThatCannotBeCreatedIsAStatusLineAndNothingElse)
{
    fs::create_directories(dir.path() / "prog" / "main.map");  // a folder in its place
    init_map_file(dir / "prog/main.c");
    auto *box = dynamic_cast<HeadlessStatusBox *>(gDialogControl.Box());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->message_text, "Cannot open file '" + map_path() + "'.");
    mapfile_add_function("premain", make_addr(0, 0x0100), true, main_c(1));
    write_map_file();
    EXPECT_EQ(message_record_count(), 0) << "no compile error";
}

TEST_F(MapFile, WithoutASourceNoMapIsOpened)
{
    init_map_file("");
    mapfile_add_function("f", make_addr(0, 0x0100), true, main_c(1));
    write_map_file();
    auto *box = dynamic_cast<HeadlessStatusBox *>(gDialogControl.Box());
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->message_history.empty());
}

}  // namespace

// ---- the map of a compile ------------------------------------------------------------------------

using namespace compile_run;

namespace {

// The map without the macros the compile's set-up defines from the settings (they have no
// file and change with the settings): every other macro line names its file.
std::string without_set_up_macros(const std::string &map)
{
    std::istringstream in(map);
    std::string out;
    bool macros = false;
    for (std::string line; std::getline(in, line);) {
        if (line == "// Macro listing and source reference.")
            macros = true;
        if (line == "// Function call graph.")
            macros = false;
        const bool no_file = line.size() == 35 && line.rfind("   ", 0) == 0 && line[3] != ' ' &&
                             line.find_first_not_of(' ', line.find(' ', 3)) == std::string::npos;
        if (macros && no_file)
            continue;
        out += line + "\n";
    }
    return out;
}

// A program with a "premain" that calls main, a library module, macros, labels in root and xmem
// code, a recursion and a callee reached twice.
TEST_F(CompileRun, TheMapOfACompileIsWrittenWhole)
{
    // A compile before it leaves nothing behind: what the next one's set-up defines belongs to
    // no file, not to the file the last compile read last.
    ASSERT_EQ(compile("#asm\n nop\n#endasm\n"), 0) << messages_text();
    add_library("maplib.lib", "/*** BeginHeader lib_fn */\n"
                              "#define LIB_MACRO 1\n"
                              "/*** EndHeader */\n"
                              "#asm\n"
                              "lib_fn::\n"
                              "        call leaf\n"
                              "        ret\n"
                              "#endasm\n");
    ASSERT_EQ(compile("#use maplib.lib\n"
                      "#define TWO 2\n"
                      "#asm\n"
                      "premain::\n"
                      "        call main\n"
                      "        call lib_fn\n"
                      "main::\n"
                      "        call main\n"
                      "inner:\n"
                      "        call leaf\n"
                      "        lcall far_fn\n"
                      "leaf::\n"
                      "        ret\n"
                      "#endasm\n"
                      "#asm xmem\n"
                      "far_fn::\n"
                      "        call leaf\n"
                      "        lret\n"
                      "#endasm\n"),
              0)
        << messages_text();
    EXPECT_TRUE(same_text(without_set_up_macros(read_text(path("prog/main.map"))), "program.map"));
}

}  // namespace

namespace {

// An import is a global data row of the map: the length word's address, the low 16 bits of the
// length, the directive's file and line, and "#ximport" as its type.
TEST_F(CompileRun, AnImportIsAGlobalDataRowOfTheMap)
{
    write("prog/a.bin", "abcde");
    ASSERT_EQ(compile("\n#ximport \"a.bin\" FIRST\n"), 0) << messages_text();
    const std::string map = read_text(path("prog/main.map"));
    const std::string row = " 02:e000        5   FIRST                           /main.c"
                            "                             2  #ximport        \n";
    EXPECT_NE(map.find("Type\n" + row + "\n// Parameter"), std::string::npos) << map;
}

}  // namespace
