// Library modules through the compile entry: a program that "#use"s a library and calls some
// of its functions gets those modules' bodies compiled after its own text, and no others; the
// module picked by the label still wanted, the errors of a module that does not keep its
// header's word, duplicates between libraries, and a program's own definition of a library
// symbol. What is compiled runs on the board stand-in.
#include "CompileRunFixture.h"
#include "LibraryTestSupport.h"

#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "HostDoubles.h"
#include "linker/MAPFILE.h"
#include "core/guiInterface.h"
#include "linker/list_files.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace compile_run;

namespace {

// Three modules; util_two calls util_three.
const std::string kUtil = "/* UTIL.LIB */\n"
                          "/*** BeginHeader util_one */\n"
                          "/*** EndHeader */\n"
                          "#asm\n"
                          "util_one::\n"
                          "        ld hl,0x1111\n"
                          "        ret\n"
                          "#endasm\n"
                          "\n"
                          "/*** BeginHeader util_two */\n"
                          "/*** EndHeader */\n"
                          "#asm\n"
                          "util_two::\n"
                          "        call util_three\n"
                          "        ld hl,0x2222\n"
                          "        ret\n"
                          "#endasm\n"
                          "\n"
                          "/*** BeginHeader util_three */\n"
                          "/*** EndHeader */\n"
                          "#asm\n"
                          "util_three::\n"
                          "        ld de,0x3333\n"
                          "        ret\n"
                          "#endasm\n";

// main calls util_two; a run stops at main_end.
const std::string kCallsTwo = "#use util.lib\n"
                              "#asm\n"
                              "main::\n"
                              "        call util_two\n"
                              "main_end::\n"
                              "        nop\n"
                              "#endasm\n";

class LibraryCompile : public CompileRun {
protected:
    void SetUp() override
    {
        CompileRun::SetUp();
        gDialogControl.ShowStatusBox(false, "", "");
        gAddressNameMap.clear();  // as the trace store empties it: names from this test only
    }
    std::vector<std::string> status() const
    {
        auto *box = dynamic_cast<HeadlessStatusBox *>(gDialogControl.Box());
        return box ? box->message_history : std::vector<std::string>{};
    }
    int status_count(const std::string &text) const
    {
        const std::vector<std::string> s = status();
        return static_cast<int>(std::count(s.begin(), s.end(), text));
    }
    int message_count(const std::string &summary) const
    {
        int n = 0;
        for (const Message &m : messages())
            n += m.summary == summary ? 1 : 0;
        return n;
    }
    std::string compiling(const std::string &name, const std::string &library) const
    {
        return "Compiling module " + name + " in file " + path("lib/" + library) + ".";
    }
    // True when the bytes were sent somewhere toward the target.
    bool sent(const std::vector<uint8_t> &bytes) const
    {
        return std::search(linker.image.begin(), linker.image.end(), bytes.begin(), bytes.end()) !=
               linker.image.end();
    }
    // Runs main until the global label (recorded in the address-to-name map) is reached.
    void run_to(const std::string &label)
    {
        for (const auto &[physical, named] : gAddressNameMap) {
            if (named.name != label)
                continue;
            run(kRootCode, 1000, vsim::Breakpoint{addr_offset(named.address), -1});
            return;
        }
        ADD_FAILURE() << "no label " << label;
    }
};

TEST_F(LibraryCompile, OnlyTheModulesTheProgramCallsAreCompiled)
{
    add_library("util.lib", kUtil);
    ASSERT_EQ(compile(kCallsTwo), 0) << messages_text();
    EXPECT_EQ(status_count(compiling("util_two", "util.lib")), 1);
    EXPECT_EQ(status_count(compiling("util_three", "util.lib")), 1) << "called by util_two";
    EXPECT_EQ(status_count(compiling("util_one", "util.lib")), 0);
    EXPECT_TRUE(sent({0x21, 0x22, 0x22, 0xC9})) << "util_two";
    EXPECT_TRUE(sent({0x11, 0x33, 0x33, 0xC9})) << "util_three";
    EXPECT_FALSE(sent({0x21, 0x11, 0x11})) << "util_one left no code";

    run_to("main_end");
    EXPECT_TRUE(reg("HL", 0x2222));
    EXPECT_TRUE(reg("DE", 0x3333));
}

TEST_F(LibraryCompile, AModuleIsReadFromItsLibraryWithItsOwnLineNumbers)
{
    add_library("bad.lib", "/*** BeginHeader bad */\n/*** EndHeader */\n#asm\nbad::\n frobnicate\n"
                           " ret\n#endasm\n");
    ASSERT_EQ(compile("#use bad.lib\n#asm\nmain::\n call bad\n#endasm\n") & 2, 2);
    int in_library = 0;
    for (const Message &m : messages()) {
        if (m.file != path("lib/bad.lib"))
            continue;
        ++in_library;
        EXPECT_EQ(m.line, 5) << m.summary;
    }
    EXPECT_EQ(in_library, 1) << messages_text();
}

TEST_F(LibraryCompile, ABodyThatDoesNotDefineItsNameIsOneErrorAndTheCompileEnds)
{
    add_library("ghost.lib", "/*** BeginHeader ghost */\n"
                             "/*** EndHeader */\n"
                             "#asm\n"
                             "other::\n"
                             "        ret\n"
                             "#endasm\n");
    const uint16_t status = compile("#use ghost.lib\n#asm\nmain::\n call ghost\n#endasm\n");
    EXPECT_EQ(status & 2, 2);
    const std::string text = "Symbol ghost is not defined in file " + path("lib/ghost.lib") + ".";
    EXPECT_EQ(message_count(text), 1) << messages_text();
    EXPECT_EQ(status_count(compiling("ghost", "ghost.lib")), 1) << "read once";
    for (const Message &m : messages())
        if (m.summary == text) {
            EXPECT_EQ(m.file, path("lib/ghost.lib"));
            EXPECT_EQ(m.line, 1) << "at the module's header";
        }
}

TEST_F(LibraryCompile, ModulesAreStillOfferedAfterWarnings)
{
    add_library("util.lib", kUtil);
    ASSERT_EQ(compile("#warns a warning first\n" + kCallsTwo) & 2, 0) << messages_text();
    EXPECT_EQ(status_count(compiling("util_two", "util.lib")), 1);
    run_to("main_end");
    EXPECT_TRUE(reg("HL", 0x2222));
}

TEST_F(LibraryCompile, NoModuleIsOfferedAfterAnError)
{
    add_library("util.lib", kUtil);
    EXPECT_EQ(compile("#error an error first\n" + kCallsTwo) & 2, 2);
    EXPECT_EQ(status_count(compiling("util_two", "util.lib")), 0);
    EXPECT_FALSE(sent({0x21, 0x22, 0x22, 0xC9}));
}

TEST_F(LibraryCompile, TwoUsedLibrariesListingOneNameAreADuplicate)
{
    add_library("util.lib", kUtil);
    add_library("again.lib", "/*** BeginHeader util_two */\n/*** EndHeader */\n");
    EXPECT_EQ(compile("#use util.lib\n#use again.lib\n") & 2, 2);
    const std::string text =
        "Duplicate util_two found in file " + path("lib/again.lib") + " (previous one ignored).";
    EXPECT_EQ(message_count(text), 1) << messages_text();
}

TEST_F(LibraryCompile, AProgramsOwnDefinitionOverridesTheLibrarysWithAWarning)
{
    add_library("util.lib", kUtil);
    ASSERT_EQ(compile("#use util.lib\n#asm\nmain::\n call util_two\nmain_end::\n nop\n"
                      "util_two::\n ld hl,0x4444\n ret\n#endasm\n") & 2,
              0)
        << messages_text();
    EXPECT_EQ(message_count("User symbol 'util_two' overrides library symbol 'util_two' on line "
                            "10 in util.lib."),
              1)
        << messages_text();
    EXPECT_EQ(status_count(compiling("util_two", "util.lib")), 0) << "the program's wins";
    run_to("main_end");
    EXPECT_TRUE(reg("HL", 0x4444));
}

TEST_F(LibraryCompile, MainNeverOverridesALibrarysMain)
{
    add_library("withmain.lib", "/*** BeginHeader MAIN */\n/*** EndHeader */\n");
    ASSERT_EQ(compile("#use withmain.lib\n#asm\nmain::\n ret\n#endasm\n"), 0) << messages_text();
}

TEST_F(LibraryCompile, ALibrarysOwnDefinitionsAreNoOverride)
{
    add_library("util.lib", kUtil);
    ASSERT_EQ(compile(kCallsTwo), 0) << messages_text();
    EXPECT_TRUE(messages().empty()) << messages_text();
}

TEST_F(LibraryCompile, EachCompileStartsWithoutThePreviousProgramsLibraries)
{
    add_library("util.lib", kUtil);
    ASSERT_EQ(compile(kCallsTwo), 0) << messages_text();
    // Without "#use" the names are gone: the call stays undefined.
    EXPECT_EQ(compile("#asm\nmain::\n call util_two\n#endasm\n") & 2, 2);
    EXPECT_EQ(message_count("Undefined (but used) global label util_two"), 1) << messages_text();
    reset_errors();
    ASSERT_EQ(compile(kCallsTwo), 0) << messages_text();
}

TEST_F(LibraryCompile, AModuleInXmemIsReadAndCalled)
{
    add_library("far.lib", "/*** BeginHeader far_fn */\n/*** EndHeader */\n"
                           "#asm xmem\nfar_fn::\n ld hl,0x5151\n lret\n#endasm\n");
    ASSERT_EQ(compile("#use far.lib\n#asm\nmain::\n lcall far_fn\nmain_end::\n nop\n#endasm\n"),
              0)
        << messages_text();
    run_to("main_end");
    EXPECT_TRUE(reg("HL", 0x5151));
}

// A protected library's module is read through its container and compiled; the listing shows
// its code only as protected, and the map hides the name no description of the index tells.
TEST_F(LibraryCompile, AProtectedModulesCodeIsHiddenInTheListingAndTheMap)
{
    library_test::ProtectionScope protection;
    add_library("secret.lib", library_test::protect("/*** BeginHeader secret_fn */\n"
                                                    "/*** EndHeader */\n"
                                                    "#asm\n"
                                                    "secret_fn::\n"
                                                    "        ld hl,0x5EC2\n"
                                                    "        ret\n"
                                                    "#endasm\n"));
    compiler_options().list_files = 1;
    const uint16_t status = compile("#use secret.lib\n#asm\nmain::\n call secret_fn\n"
                                    "main_end::\n nop\n#endasm\n");
    compiler_options().list_files = 0;
    ASSERT_EQ(status, 0) << messages_text();
    EXPECT_TRUE(is_encrypted_file(path("lib/secret.lib")));
    run_to("main_end");
    EXPECT_TRUE(reg("HL", 0x5EC2));

    const auto text_of = [](const std::string &file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    };
    const std::string listing = text_of(path("prog/main.lst"));
    EXPECT_NE(listing.find("*** Encrypted library code ***"), std::string::npos) << listing;
    EXPECT_EQ(listing.find("215EC2"), std::string::npos) << "no byte of it shown";
    const std::string map = text_of(path("prog/main.map"));
    EXPECT_EQ(map.find("secret_fn"), std::string::npos) << map;
    EXPECT_NE(map.find("   ####                            /secret.lib"), std::string::npos) << map;
}

}  // namespace
