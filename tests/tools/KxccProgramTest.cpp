// Programs compiled by kxcc and run by kxrun --console as a user runs them: main's value is the
// exit code, a failed compile reports its own errors only (at their real lines, however long
// the file), a function chain is called from C by its name, and a program too large for its
// code space gets the allocator's message and no image.
#include "KxccSupport.h"

#include <set>
#include <sstream>

namespace {

using namespace kxcc_test;

// Compiles `source` (written as prog.c) with `options`; the compile's result.
ToolRun compile(const fs::path &dir, const std::string &source, const std::string &options = "")
{
    write_file(dir / "prog.c", source);
    return run(dir, tool("kxcc"), options + " '" + (dir / "prog.c").string() + "'");
}

ToolRun run_program(const fs::path &dir)
{
    return run(dir, tool("kxrun"), "--console '" + (dir / "prog.bin").string() + "'");
}

// ---- main's value ------------------------------------------------------------------------------

struct ExitCase {
    const char *name;
    const char *source;
    int status;
};

const ExitCase kExits[] = {
    {"return_value", "int main() { return 3; }\n", 3},
    {"return_expression", "int f(int v) { return v * 20; }\nint main() { return f(2) + 1; }\n",
     41},
    {"falls_off_the_end", "int n;\nint main() { n = 9; }\n", 0},
    {"void_main_returns", "int n;\nvoid main() { n = 9; return; }\n", 0},
    {"return_zero_after_a_call", "int main() { printf(\"x\\n\"); return 0; }\n", 0},
    {"exit_call", "int main() { exit(5); return 3; }\n", 5},
    {"main_in_xmem", "xmem int main() { return 7; }\n", 7},
    {"low_byte_of_the_value", "int main() { return 0x1234; }\n", 0x34},
};

class KxccExit : public Folder,
                 public ::testing::WithParamInterface<std::tuple<ExitCase, const char *>> {};

TEST_P(KxccExit, MainsValueIsTheExitCode)
{
    const auto &[c, options] = GetParam();
    const ToolRun cc = compile(dir, c.source, options);
    ASSERT_EQ(cc.status, 0) << cc.err;
    const ToolRun program = run_program(dir);
    EXPECT_EQ(program.status, c.status) << program.err;
    char ended[32];
    std::snprintf(ended, sizeof ended, "exit %d", c.status);
    EXPECT_NE(program.err.find(ended), std::string::npos) << program.err;
}
INSTANTIATE_TEST_SUITE_P(All, KxccExit,
                         ::testing::Combine(::testing::ValuesIn(kExits),
                                            ::testing::Values("", "--nodebug")),
                         [](const auto &i) {
                             return std::string(std::get<0>(i.param).name) +
                                    (std::get<1>(i.param)[0] ? "_nodebug" : "_debug");
                         });

// ---- failed compiles ------------------------------------------------------------------------------

// The messages of a failed compile, one per line, without the trailing lines kxcc adds.
std::vector<std::string> message_lines(const std::string &err)
{
    std::vector<std::string> out;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

struct FailedCase {
    const char *name;
    std::string source;
    std::string expected;  // the one error the compile reports
};

std::string lines_then(int blank_lines, const std::string &text)
{
    return std::string(static_cast<std::size_t>(blank_lines), '\n') + text;
}

// A waitfordone of `calls` calls in a costatement of main, one call a line from line 4 on.
std::string waitfordone_program(int calls)
{
    std::string text = "cofunc int cf(int a) { return a; }\nint main()\n{\n";
    text += "    costate {\n    waitfordone {\n";
    for (int i = 0; i < calls; ++i)
        text += "        cf(" + std::to_string(i) + ");\n";
    text += "    }\n    }\n    return 0;\n}\n";
    return text;
}

const FailedCase kFailed[] = {
    {"missing_semicolon", "main()\n{\n  int x\n}\n", "error prog.c:4:1: ; is missing/expected."},
    {"undeclared_name", "int main()\n{\n    return nothing;\n}\n",
     "error prog.c:3:19: nothing is out of scope/ not declared."},
    // A cofunction called outside "waitfordone": the language's error alone.
    {"cofunction_outside_waitfordone",
     "cofunc int cf(int a) { return a + 1; }\nint main()\n{\n    int r;\n    r = cf(3);\n"
     "    return r;\n}\n",
     "error prog.c:5:12: Cofunctions must be called from a waitfordone statement."},
    // Past the 16-bit signed range of the position tables: the message names the real line.
    {"line_35001", lines_then(35000, "int main() { return nothing; }\n"),
     "error prog.c:35001:28: nothing is out of scope/ not declared."},
    {"line_65000", lines_then(64999, "int main() { return nothing; }\n"),
     "error prog.c:65000:28: nothing is out of scope/ not declared."},
    // One call past the limit of a waitfordone: the language's error, at that call.
    {"waitfordone_of_17_calls", waitfordone_program(17),
     "error prog.c:22:9: Too many calls in one waitfordone."},
};

class KxccFailed : public Folder, public ::testing::WithParamInterface<FailedCase> {};

TEST_P(KxccFailed, ReportsItsOwnErrorsOnlyAndLeavesNoImage)
{
    const FailedCase &c = GetParam();
    const ToolRun cc = compile(dir, c.source);
    EXPECT_EQ(cc.status, 1);
    std::vector<std::string> errors;
    for (const std::string &line : message_lines(cc.err))
        if (line.rfind("error", 0) == 0)
            errors.push_back(line);
    EXPECT_EQ(errors, std::vector<std::string>{c.expected}) << cc.err;
    EXPECT_EQ(cc.err.find("premain"), std::string::npos) << cc.err;
    EXPECT_FALSE(fs::exists(dir / "prog.bin"));
    EXPECT_FALSE(fs::exists(dir / "prog.hex"));
}
INSTANTIATE_TEST_SUITE_P(All, KxccFailed, ::testing::ValuesIn(kFailed),
                         [](const auto &i) { return std::string(i.param.name); });

class KxccProgram : public Folder {};

// ---- function chains called from C -------------------------------------------------------------

const char *const kChainProgram =
    "int total;\n"
    "%s"
    "#makechain mychain\n"
    "#funcchain mychain first\n"
    "#funcchain mychain second\n"
    "void first() { total = total + 1; }\n"
    "xmem void second() { total = total * 10; }\n"
    "int main()\n"
    "{\n"
    "    total = 4;\n"
    "    mychain();\n"
    "    mychain();\n"
    "    printf(\"%%d\\n\", total);\n"
    "    return 0;\n"
    "}\n";

struct ChainCase {
    const char *name;
    const char *before;  // what the program declares before the chain
};

const ChainCase kChains[] = {
    {"without_a_prototype", ""},
    {"with_a_prototype", "void mychain(void);\n"},
};

class KxccChain : public Folder, public ::testing::WithParamInterface<ChainCase> {};

TEST_P(KxccChain, CallingTheChainRunsEveryMember)
{
    char source[1024];
    std::snprintf(source, sizeof source, kChainProgram, GetParam().before);
    const ToolRun cc = compile(dir, source);
    ASSERT_EQ(cc.status, 0) << cc.err;
    EXPECT_EQ(cc.err.find("error"), std::string::npos) << cc.err;
    const ToolRun program = run_program(dir);
    EXPECT_EQ(program.out, "510\n");  // (4 + 1) * 10 = 50, (50 + 1) * 10 = 510
    EXPECT_EQ(program.status, 0) << program.err;
}
INSTANTIATE_TEST_SUITE_P(All, KxccChain, ::testing::ValuesIn(kChains),
                         [](const auto &i) { return std::string(i.param.name); });

// A chain named like a variable: error 491 at the directive that redefines the name.
TEST_F(KxccProgram, AChainNamedLikeAVariableIsReportedAtItsDirective)
{
    write_file(dir / "prog.c", "int mychain;\n\n#makechain mychain\nint main() { return 0; }\n");
    const ToolRun cc = run(dir, tool("kxcc"), "'" + (dir / "prog.c").string() + "'");
    EXPECT_EQ(cc.status, 1);
    EXPECT_NE(cc.err.find("error prog.c:3:"), std::string::npos) << cc.err;
    EXPECT_NE(cc.err.find("mychain previously defined."), std::string::npos) << cc.err;
    EXPECT_EQ(cc.err.find("SYS.LIB"), std::string::npos) << cc.err;
    EXPECT_FALSE(fs::exists(dir / "prog.bin"));
}

// The listing echoes each source line above the code it produced, as the IDE's does.
TEST_F(KxccProgram, TheListingEchoesTheSourceLines)
{
    write_file(dir / "prog.c", "int total;\nint main()\n{\n    total = 41;\n    return 0;\n}\n");
    const ToolRun cc = run(dir, tool("kxcc"), "--list '" + (dir / "prog.c").string() + "'");
    ASSERT_EQ(cc.status, 0) << cc.err;
    const std::string listing = read_file(dir / "prog.lst");
    EXPECT_NE(listing.find("[prog.c(4:5)]: total = 41;"), std::string::npos) << listing;
    EXPECT_NE(listing.find("[prog.c(5:5)]: return 0;"), std::string::npos);
}

// Sixteen calls, the limit, compile and run.
TEST_F(KxccProgram, AWaitfordoneOfSixteenCallsRuns)
{
    std::string source = "int total;\ncofunc int cf(int a) { total = total + a; return a; }\n"
                         "int main()\n{\n    for (;;) {\n    costate {\n    waitfordone {\n";
    for (int i = 1; i <= 16; ++i)
        source += "        cf(" + std::to_string(i) + ");\n";
    source += "    }\n    printf(\"%d\\n\", total);\n    exit(0);\n    }\n    }\n}\n";
    const ToolRun cc = compile(dir, source);
    ASSERT_EQ(cc.status, 0) << cc.err;
    const ToolRun program = run_program(dir);
    EXPECT_EQ(program.out, "136\n") << program.err;
    EXPECT_EQ(program.status, 0) << program.err;
}

// ---- where the compile reads and writes ----------------------------------------------------------

// The source is compiled where it stands: "#ximport" finds its file beside it though kxcc runs
// in another folder, "__FILE__" is the path as given, and nothing but the outputs lands beside
// the source; the work folder goes too.
TEST_F(KxccProgram, NamesResolveBesideTheSourceAndOnlyTheOutputsAreWritten)
{
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "tmp");
    write_file(dir / "src" / "data.txt", "hello\n");
    write_file(dir / "src" / "prog.c",
               "#ximport \"data.txt\" data\n"
               "int twice(int v) { return v + v; }\n"
               "char text[8];\n"
               "int main()\n{\n"
               "    xmem2root(text, data + 4, 5);\n"
               "    printf(\"%s %ld %s %d\\n\", __FILE__, xgetlong(data), text, twice(21));\n"
               "    return 0;\n}\n");
    const ToolRun cc = run(dir, "/bin/sh",
                           "-c \"cd '" + dir.string() + "' && TMPDIR='" + (dir / "tmp").string() +
                               "' '" + tool("kxcc") + "' src/prog.c\"");
    ASSERT_EQ(cc.status, 0) << cc.err;
    std::set<std::string> beside;
    for (const auto &e : fs::directory_iterator(dir / "src"))
        beside.insert(e.path().filename().string());
    EXPECT_EQ(beside, (std::set<std::string>{"data.txt", "prog.c", "prog.bin", "prog.hex",
                                             "prog.map"}));
    EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "the work folder was removed";
    const ToolRun program = run(dir, tool("kxrun"), "--console '" + (dir / "src" / "prog.bin").string() + "'");
    EXPECT_EQ(program.out, "src/prog.c 6 hello 42\n") << program.err;
    EXPECT_EQ(program.status, 0) << program.err;
}

// A source whose folder takes no files, compiled to an image beside it: a clear message, no
// image, and nothing left in the work folder's place either.
TEST_F(KxccProgram, ASourceInAReadOnlyFolderFailsClearly)
{
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "tmp");
    write_file(dir / "src" / "prog.c", "int main() { return 0; }\n");
    fs::permissions(dir / "src", fs::perms::owner_read | fs::perms::owner_exec);
    struct Writable {
        fs::path folder;
        ~Writable() { fs::permissions(folder, fs::perms::owner_all); }
    } writable{dir / "src"};
    if (::access((dir / "src").c_str(), W_OK) == 0)
        GTEST_SKIP() << "this user writes into read-only folders";
    const ToolRun cc = run(dir, "/bin/sh",
                           "-c \"TMPDIR='" + (dir / "tmp").string() + "' '" + tool("kxcc") +
                               "' '" + (dir / "src" / "prog.c").string() + "'\"");
    EXPECT_EQ(cc.status, 1);
    EXPECT_NE(cc.err.find("kxcc: cannot write '" + (dir / "src" / "prog.bin").string() + "'"),
              std::string::npos)
        << cc.err;
    std::set<std::string> beside;
    for (const auto &e : fs::directory_iterator(dir / "src"))
        beside.insert(e.path().filename().string());
    EXPECT_EQ(beside, std::set<std::string>{"prog.c"});
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

// ---- too large -----------------------------------------------------------------------------------

// Root functions whose code cannot fit in root code space: the allocator's message, no image.
TEST_F(KxccProgram, AProgramTooLargeForItsCodeSpaceGetsTheAllocatorsMessageAndNoImage)
{
    std::string source = "int x;\n";
    for (int i = 0; i < 300; ++i) {
        source += "root void r" + std::to_string(i) + "()\n{\n";
        for (int k = 0; k < 20; ++k)
            source += "    x = x * 3 + " + std::to_string(k) + ";\n";
        source += "}\n";
    }
    source += "int main() { r0(); return 0; }\n";
    write_file(dir / "prog.c", source);
    write_file(dir / "prog.bin", "an image of an earlier run");
    const ToolRun cc = run(dir, tool("kxcc"), "'" + (dir / "prog.c").string() + "'");
    EXPECT_EQ(cc.status, 1);
    EXPECT_NE(cc.err.find("Out of root code space, try moving code to XMEM."), std::string::npos)
        << cc.err;
    EXPECT_FALSE(fs::exists(dir / "prog.bin"));
    EXPECT_FALSE(fs::exists(dir / "prog.hex"));
}

}  // namespace
