// kxcc: the BIOS compile with the program's, and what a failed compile leaves: the messages,
// exit status 1 and no image (not even one an earlier run wrote), nothing of the user's lost.
#include "KxccSupport.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <vector>

#include <sys/stat.h>

namespace {

using namespace kxcc_test;

// A private copy of the tool with its staged resources beside it, so that a test can take one
// of them away.
class KxccCopy : public Folder {
protected:
    fs::path kxcc, resources;
    void SetUp() override
    {
        Folder::SetUp();
        fs::create_directories(dir / "tools");
        kxcc = dir / "tools" / "kxcc";
        fs::copy_file(tool("kxcc"), kxcc);
        resources = dir / "korvex";
        fs::copy(fs::path(KX_TOOLS_DIR).parent_path() / "korvex", resources,
                 fs::copy_options::recursive);
        write_file(dir / "prog.c", "#asm\nmain::\n        ret\n#endasm\n");
    }
};

struct MissingCase {
    const char *name;
    const char *removed;  // below the resources
    const char *message;  // %s: the removed file's path
};

const MissingCase kMissing[] = {
    {"libraries_list", "Lib.dir", "Could not find Libraries file: %s\n"},
    {"bios", "bios/Vireonbios.c", "Cannot open file '%s'.\n"},
};

class KxccMissing : public KxccCopy, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(KxccMissing, ExitsOneWithTheMessageAndNoImage)
{
    const MissingCase &c = GetParam();
    const fs::path removed = resources / c.removed;
    fs::remove(removed);
    write_file(dir / "prog.bin", "an image of an earlier run");
    const ToolRun r = run(dir, kxcc.string(), (dir / "prog.c").string());
    EXPECT_EQ(r.status, 1) << r.err;
    char expected[512];
    std::snprintf(expected, sizeof expected, c.message, removed.lexically_normal().c_str());
    EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "prog.bin"));
    EXPECT_FALSE(fs::exists(dir / "prog.hex"));
    EXPECT_TRUE(fs::exists(dir / "prog.c"));
}
INSTANTIATE_TEST_SUITE_P(All, KxccMissing, ::testing::ValuesIn(kMissing),
                         [](const auto &i) { return std::string(i.param.name); });

// No compile leaves its own files (object, download image, breakpoint dump) beside the source
// or beside the staged BIOS.
TEST_F(KxccCopy, CompilesLeaveNothingBesideTheSourceOrTheBios)
{
    fs::create_directories(dir / "out");
    (void)run(dir, kxcc.string(), (dir / "prog.c").string() + " -o " + (dir / "out" / "p.bin").string());
    std::vector<std::string> beside;
    for (const auto &e : fs::directory_iterator(dir))
        if (e.is_regular_file())
            beside.push_back(e.path().filename().string());
    EXPECT_EQ(beside, std::vector<std::string>{"prog.c"});
    std::vector<std::string> bios;
    for (const auto &e : fs::directory_iterator(resources / "bios"))
        bios.push_back(e.path().filename().string());
    std::sort(bios.begin(), bios.end());
    EXPECT_EQ(bios, (std::vector<std::string>{"Vireonbios.c", "coldload.bin", "pilot.bin"}));
}

// Every entry below a folder with its size (files) and modification time: what a run may not
// change there.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> snapshot(const fs::path &folder)
{
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> entries;
    for (const auto &e : fs::recursive_directory_iterator(folder)) {
        const uintmax_t size = e.is_regular_file() ? e.file_size() : 0;
        entries[fs::relative(e.path(), folder).string()] = {size, e.last_write_time()};
    }
    return entries;
}

// An installed copy's resources, made read-only: a C program compiles with the BIOS and the
// libraries from there and runs, and nothing in that folder changes (not even for a user who
// may write anywhere); nothing lands in the user's cache either.
TEST_F(KxccCopy, AReadOnlyResourcesFolderStaysAsItWas)
{
    write_file(dir / "prog.c", "int main() { printf(\"read-only\\n\"); return 0; }\n");
    const auto before = snapshot(resources);
    for (const auto &e : fs::recursive_directory_iterator(resources))
        fs::permissions(e.path(), fs::perms::owner_write | fs::perms::group_write |
                                      fs::perms::others_write, fs::perm_options::remove);
    fs::permissions(resources, fs::perms::owner_write | fs::perms::group_write |
                                   fs::perms::others_write, fs::perm_options::remove);
    const char *old_cache = std::getenv("XDG_CACHE_HOME");
    const std::string saved = old_cache ? old_cache : "";
    setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    const ToolRun compiled = run(dir, kxcc.string(), (dir / "prog.c").string());
    const ToolRun ran = run(dir, tool("kxrun"), "--console '" + (dir / "prog.bin").string() + "'");
    if (saved.empty())
        unsetenv("XDG_CACHE_HOME");
    else
        setenv("XDG_CACHE_HOME", saved.c_str(), 1);
    fs::permissions(resources, fs::perms::owner_all, fs::perm_options::add);
    for (const auto &e : fs::recursive_directory_iterator(resources))
        fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);

    EXPECT_EQ(compiled.status, 0) << compiled.err;
    EXPECT_EQ(ran.out, "read-only\n") << ran.err;
    EXPECT_TRUE(snapshot(resources) == before) << "the resources folder changed";
    EXPECT_FALSE(fs::exists(dir / "cache"));
}

class Kxcc : public Folder {};

struct BadCase {
    const char *name;
    const char *arguments;  // %s: the folder
    const char *message;
};

const BadCase kBad[] = {
    {"no_source", "", "usage: kxcc"},
    {"missing_source", "%s/none.c", "error: Cannot open file '%s/none.c'."},
    {"two_sources", "%s/prog.c %s/prog.c", "one source file only"},
    {"unknown_option", "--fast %s/prog.c", "unknown option '--fast'"},
    {"unknown_cpu", "--cpu 4000 %s/prog.c", "--cpu takes 2000, 3000 or z180, not '4000'"},
    {"image_is_the_source", "-o %s/prog.c %s/prog.c", "would replace the source"},
    {"hex_twin_is_the_source", "-o %s/prog.bin %s/prog.hex", "would replace the source"},
};

class KxccBadArguments : public Kxcc, public ::testing::WithParamInterface<BadCase> {};

TEST_P(KxccBadArguments, ExitOneAndTheSourceIsKept)
{
    const BadCase &c = GetParam();
    const std::string program = "#asm\nmain::\n        ret\n#endasm\n";
    write_file(dir / "prog.c", program);
    write_file(dir / "prog.hex", program);
    char arguments[1024], message[1024];
    const std::string d = dir.string();
    std::snprintf(arguments, sizeof arguments, c.arguments, d.c_str(), d.c_str());
    std::snprintf(message, sizeof message, c.message, d.c_str());
    const ToolRun r = run(dir, tool("kxcc"), arguments);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir / "prog.c"), program);
    EXPECT_EQ(read_file(dir / "prog.hex"), program);
    EXPECT_EQ(r.out, "");
}
INSTANTIATE_TEST_SUITE_P(All, KxccBadArguments, ::testing::ValuesIn(kBad),
                         [](const auto &i) { return std::string(i.param.name); });

// A compile error: the messages as kxpp prints them; exit 1; no image, also where an earlier run
// left one.
TEST_F(Kxcc, CompileErrorsExitOneWithTheMessagesAndNoImage)
{
    write_file(dir / "bad.c", "#asm\nmain::\n        ld q,1\n        jp nowhere_at_all\n#endasm\n");
    write_file(dir / "bad.bin", "old");
    write_file(dir / "bad.hex", "old");
    const ToolRun r = run(dir, tool("kxcc"), (dir / "bad.c").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(("\n" + r.err).find("\nerror"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "bad.bin"));
    EXPECT_FALSE(fs::exists(dir / "bad.hex"));
    EXPECT_EQ(r.out, "");
}

// What stands at an output's name and is no file (a FIFO, a folder, a device) is refused before
// the compile: exit 1, the name in the message, and nothing there removed or written.
struct NotAFileCase {
    const char *name;
    const char *output;  // beside the source
    void (*make)(const fs::path &path);
};

const NotAFileCase kNotAFile[] = {
    {"fifo_at_the_image", "prog.bin",
     [](const fs::path &p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
    {"empty_folder_at_the_image", "prog.bin", [](const fs::path &p) { fs::create_directory(p); }},
    {"folder_at_the_hex_twin", "prog.hex", [](const fs::path &p) { fs::create_directory(p); }},
    {"fifo_at_the_map", "prog.map",
     [](const fs::path &p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
    {"link_to_a_device_at_the_image", "prog.bin",
     [](const fs::path &p) { fs::create_symlink("/dev/null", p); }},
};

class KxccNotAFile : public Kxcc, public ::testing::WithParamInterface<NotAFileCase> {};

TEST_P(KxccNotAFile, IsRefusedAndLeftAlone)
{
    const NotAFileCase &c = GetParam();
    write_file(dir / "prog.c", "#asm\nmain::\n        ret\n#endasm\n");
    const fs::path output = dir / c.output;
    c.make(output);
    const fs::file_type before = fs::symlink_status(output).type();
    const ToolRun r = run(dir, tool("kxcc"), (dir / "prog.c").string() + " -o " +
                                                 (dir / "prog.bin").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("'" + output.string() + "' exists and is not a regular file"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(fs::symlink_status(output).type(), before);
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected{c.output, "prog.c"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected) << "nothing else written";
}
INSTANTIATE_TEST_SUITE_P(All, KxccNotAFile, ::testing::ValuesIn(kNotAFile),
                         [](const auto &i) { return std::string(i.param.name); });

// An image name that is a link to a file elsewhere: the compile writes the link's target, the
// link stays, and no scratch file is left in either folder.
TEST_F(Kxcc, ALinkedImageIsWrittenThroughAndStaysALink)
{
    write_file(dir / "prog.c", "#asm\nmain::\n        ret\n#endasm\n");
    fs::create_directories(dir / "kept");
    write_file(dir / "kept" / "real.bin", "old");
    fs::create_symlink(fs::path("kept") / "real.bin", dir / "prog.bin");
    const ToolRun r = run(dir, tool("kxcc"), (dir / "prog.c").string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir / "prog.bin"));
    const std::string image = read_file(dir / "kept" / "real.bin");
    EXPECT_NE(image, "old");
    EXPECT_GT(image.size(), 1000u) << "the BIOS is in the image";
    std::vector<std::string> names;
    for (const auto &e : fs::recursive_directory_iterator(dir))
        names.push_back(e.path().lexically_relative(dir).string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"kept", "kept/real.bin", "prog.bin", "prog.c",
                                               "prog.hex", "prog.map"}));
}

// The BIOS compiles alone without an error or a missing origin, for both processors, with and
// without the debug kernel's hooks: whatever the program's compile says, no error names the
// BIOS.
TEST_F(Kxcc, TheBiosCompilesWithoutAnErrorOrAMissingOrigin)
{
    write_file(dir / "prog.c", "#asm\nmain::\n        ret\n#endasm\n");
    for (const char *options : {"--cpu 2000", "--cpu 3000", "--cpu 2000 --nodebug", "--cpu z180"}) {
        const ToolRun r = run(dir, tool("kxcc"), std::string(options) + " " + (dir / "prog.c").string());
        std::istringstream lines(r.err);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_NE(line.rfind("error Vireonbios.c", 0), 0u) << options << ": " << line;
            EXPECT_EQ(line.find("origin directive"), std::string::npos) << options << ": " << line;
        }
    }
}

// The Z180 lays extended memory out as the Vireon does, CBR being the page: its xmem functions
// lie in xmem pages one behind the other, and a function longer than a page goes on into the
// pages after its start (the next function starts two pages on).
TEST_F(Kxcc, Z180XmemFunctionsLieInXmemPages)
{
    const fs::path source = fs::path(KX_TEST_DATA) / "cc" / "xmempages.c";
    const ToolRun cc = run(dir, tool("kxcc"), "--cpu z180 -o '" + (dir / "pages.bin").string() +
                                                  "' '" + source.string() + "'");
    ASSERT_EQ(cc.status, 0) << cc.err;
    const std::string map = read_file(dir / "pages.map");
    std::vector<int> pages;
    for (const char *name : {"mix_a", "mix_b", "mix_c"}) {
        const std::regex line(std::string("([0-9a-f]{2}):([0-9a-f]{4}) +[0-9]+ +") + name + " ");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(map, m, line)) << name << " in xmem in the map";
        EXPECT_GE(std::stoi(m[2].str(), nullptr, 16), 0xE000) << name << " in the window";
        pages.push_back(std::stoi(m[1].str(), nullptr, 16));
    }
    EXPECT_GE(pages[0], 2);
    EXPECT_GE(pages[1], pages[0] + 2) << "mix_a (over 8 KB) spans pages";
    EXPECT_GE(pages[2], pages[1] + 2) << "mix_b spans pages";
}

// Names relative to the current folder are the user's: the image lands there. It runs, and
// premain's chain runs the program's "#GLOBAL_INIT" segment before main: the segment ends the
// program with 42, main would end it with 0.
TEST_F(Kxcc, RelativeNamesAndTheInitChainRun)
{
    write_file(dir / "init.c", "void f()\n{\n#GLOBAL_INIT\n#asm\n        ld hl, 42\n"
                               "        push hl\n        call exit\n#endasm\n}\n"
                               "int main()\n{\n    return 0;\n}\n");
    struct InFolder {
        fs::path before = fs::current_path();
        explicit InFolder(const fs::path &to) { fs::current_path(to); }
        ~InFolder() { fs::current_path(before); }
    } in_folder(dir);
    const ToolRun cc = run(dir, tool("kxcc"), "init.c -o init.bin");
    ASSERT_EQ(cc.status, 0) << cc.err;
    ASSERT_TRUE(fs::exists(dir / "init.bin"));
    const ToolRun program = run(dir, tool("kxrun"), "--console init.bin");
    EXPECT_EQ(program.status, 42) << program.err;
}

// Two declarations on one line, the first of them where the libraries the BIOS pulled in are
// compiled in between: the second is still declared, and the rest of the line still read.
TEST_F(Kxcc, EveryDeclarationOfALineIsRead)
{
    write_file(dir / "line.c", "int c; int e; int f = 3;\n"
                               "int main()\n{\n    c = 2;\n    e = 5;\n"
                               "    return c * 100 + e * 10 + f;\n}\n");
    const ToolRun cc = run(dir, tool("kxcc"), "-o '" + (dir / "line.bin").string() + "' '" +
                                                  (dir / "line.c").string() + "'");
    ASSERT_EQ(cc.status, 0) << cc.err;
    const ToolRun program = run(dir, tool("kxrun"), "--console '" + (dir / "line.bin").string() + "'");
    EXPECT_EQ(program.status, 253) << program.err;  // 2 * 100 + 5 * 10 + 3
}

// A statement that reads nothing after its fault (a stray ")", or what an undeclared name leaves
// inside a waitfordone list) is reported and passed over: a few messages, never the message limit.
struct StuckStatementCase {
    const char *name;
    const char *body;     // of main, in a costate where it needs one
    const char *message;  // one of the reports
};

const StuckStatementCase kStuckStatements[] = {
    {"stray_parenthesis", "    x = 1;\n    ) x = 2;\n", "prog.c:6:5: Invalid expression."},
    {"undeclared_in_waitfordone",
     "    for (;;) {\n        costate {\n            x = waitfordone { n = twice(21); }\n"
     "        }\n    }\n",
     "n is out of scope/ not declared."},
};

class KxccStuckStatement : public Folder,
                           public ::testing::WithParamInterface<StuckStatementCase> {};

TEST_P(KxccStuckStatement, IsReportedAndPassedOver)
{
    write_file(dir / "prog.c", std::string("int x;\ncofunc int twice(int a) { yield; return a * 2; }\n"
                                           "int main()\n{\n") +
                                   GetParam().body + "    return 0;\n}\n");
    const ToolRun r = run(dir, tool("kxcc"), "'" + (dir / "prog.c").string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
    const auto lines = std::count(r.err.begin(), r.err.end(), '\n');
    EXPECT_LT(lines, 40) << r.err.substr(0, 2000);
}
INSTANTIATE_TEST_SUITE_P(All, KxccStuckStatement, ::testing::ValuesIn(kStuckStatements),
                         [](const auto &i) { return std::string(i.param.name); });

// Stores through pointers checked at run time in a compile to a file: a store into a page the
// program may write goes through, one into flash ends the run with run-time error 228 at the
// store; without the checks the same program runs to its end.
struct PointerCheckCase {
    const char *name;
    const char *options;
    const char *target;  // what p points to when it is stored through
    int status;
};

const PointerCheckCase kPointerChecks[] = {
    {"writable_page", "--pointer-checks", "buffer", 0},
    {"flash_page_caught", "--pointer-checks", "(char *)0x0100", 228},
    {"flash_page_unchecked", "", "(char *)0x0100", 0},
    {"without_debug_code_unchecked", "--pointer-checks --nodebug", "(char *)0x0100", 0},
};

class KxccPointerChecks : public Folder, public ::testing::WithParamInterface<PointerCheckCase> {};

TEST_P(KxccPointerChecks, AStoreThroughAPointerIsCheckedAgainstTheWritablePages)
{
    const PointerCheckCase &c = GetParam();
    write_file(dir / "store.c", std::string("char buffer[4];\n"
                                            "main()\n{\n    char *p;\n    p = buffer;\n"
                                            "    *p = 'k';\n    p = ") +
                                    c.target + ";\n    *p = 1;\n}\n");
    const ToolRun compiled = run(dir, tool("kxcc"), std::string(c.options) + " " +
                                                        (dir / "store.c").string());
    ASSERT_EQ(compiled.status, 0) << compiled.err;
    const ToolRun ran = run(dir, tool("kxrun"), "--console " + (dir / "store.bin").string());
    EXPECT_EQ(ran.status, c.status) << ran.err;
    if (c.status == 228) {
        EXPECT_NE(ran.err.find("exit 228 (run-time error at "), std::string::npos) << ran.err;
    }
}
INSTANTIATE_TEST_SUITE_P(All, KxccPointerChecks, ::testing::ValuesIn(kPointerChecks),
                         [](const auto &i) { return std::string(i.param.name); });

// A Z180 program that calls a library function only the Vireon has is refused with the
// function's name; the same program compiles for the Vireon. (The xmem copies and paddr have
// Z180 forms through the MMU: tests/data/cc/xmemread runs them on both.)
struct VireonOnlyCase {
    const char *name;
    const char *call;
    const char *named;
};

const VireonOnlyCase kVireonOnly[] = {
    {"internal_io_port", "WrPortI(0x10, 0, 5)", "WrPortI"},
    {"internal_io_bit", "BitRdPortI(0x10, 3)", "BitRdPortI"},
};

class KxccVireonOnly : public Folder, public ::testing::WithParamInterface<VireonOnlyCase> {};

TEST_P(KxccVireonOnly, IsAZ180CompileErrorNamingTheFunction)
{
    const VireonOnlyCase &c = GetParam();
    write_file(dir / "uses.c", std::string("char buffer[8];\nint main()\n{\n    ") + c.call +
                                   ";\n    return 0;\n}\n");
    const ToolRun z180 = run(dir, tool("kxcc"), "--cpu z180 " + (dir / "uses.c").string());
    EXPECT_EQ(z180.status, 1);
    EXPECT_NE(z180.err.find(std::string("error ")), std::string::npos) << z180.err;
    EXPECT_NE(z180.err.find(c.named), std::string::npos) << z180.err;
    EXPECT_NE(z180.err.find("Vireon functions"), std::string::npos) << z180.err;
    EXPECT_FALSE(fs::exists(dir / "uses.bin"));

    const ToolRun vireon = run(dir, tool("kxcc"), (dir / "uses.c").string());
    EXPECT_EQ(vireon.status, 0) << vireon.err;
}
INSTANTIATE_TEST_SUITE_P(All, KxccVireonOnly, ::testing::ValuesIn(kVireonOnly),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
