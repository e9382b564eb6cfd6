// kxrun --console runs an image from reset to its end: the BIOS sets the board up and jumps
// to the program (here the jump the compiler completes at "#pragma CompileProgram" is written
// by the test), the program's console output is kxrun's standard output and nothing else, the
// way it ended is one line on the standard error, and the status is the program's exit code
// (254 stopped before its end, 255 undefined opcode).
#include "RuntimeLibrary.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

using namespace rtlib;
namespace fs = std::filesystem;

namespace {

constexpr uint16_t kProgram = 0x6000;

struct ConsoleCase {
    const char *name;
    std::vector<std::string> program;  // assembly at kProgram; "prog" is entered from the BIOS
    std::string input;
    std::string extra;                 // further kxrun arguments
    std::string output;
    std::string report;                // the standard error (a %04X is the label "fault")
    int status;
};
void PrintTo(const ConsoleCase &c, std::ostream *os) { *os << c.name; }

const ConsoleCase kCases[] = {
    {"puts_then_exit",
     {"prog::", "        ld hl,message", "        push hl", "        call puts", "        pop hl",
      "        ld hl,3", "        push hl", "        call exit", "message:", "        db \"hello\",0"},
     "", "", "hello\n", "exit 3\n", 3},
    // The start-up block as the compiler writes it for the Vireon set without debugging.
    {"startup_block_ends_with_zero",
     {"prog::", "        call dkStartup", "        ld hl,0x0100", "        push hl", "        call main_",
      "        ld hl,0", "        push hl", "        call __xexit", "main_:", "        ld hl,0x1241",
      "        push hl", "        call putchar", "        pop hl", "        ret"},
     "", "", "A", "exit 0\n", 0},
    {"runtime_error_reports_its_fault",
     {"prog::", "        ld de,7", "        ld hl,0", "fault::", "        call c_div", "        jr prog"},
     "", "", "", "exit 240 (run-time error at 00:%04X)\n", 240},
    {"echoes_its_input",
     {"prog::", "        ioe ld a,(0xFFF1)", "        bit 0,a", "        jr z,done", "        ioe ld a,(0xFFF0)",
      "        ld l,a", "        ld h,0", "        push hl", "        call putchar", "        pop hl",
      "        jr prog", "done:", "        ld hl,0", "        push hl", "        call exit"},
     "abc\n", "", "abc\n", "exit 0\n", 0},
    {"never_ends", {"prog::", "        jr prog"}, "", "--max 5000", "",
     "instruction limit (5000 instructions)\n", 254},
    {"undefined_opcode", {"prog::", "        nop", "bad::", "        db 0xED,0x00"}, "", "", "",
     "undefined opcode at 00:%04X (physical %05X)\n", 255},
};

std::string read_file(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class KxrunConsole : public ::testing::TestWithParam<ConsoleCase> {};
TEST_P(KxrunConsole, RunsTheProgramToItsEnd)
{
    const ConsoleCase &c = GetParam();
    // The process id keeps two test runs on one machine (two builds) out of each other's folder.
    const fs::path dir = fs::temp_directory_path() /
                         ("kxrun_console_" + std::to_string(::getpid()) + "_" + c.name);
    fs::create_directories(dir);
    // The image from physical 0: the BIOS, the jump to the program where the BIOS's start-up
    // ends, the libraries, the initialisation chain of a program without members (the BIOS's
    // start-up calls it), then unprogrammed flash (0xFF) up to the program.
    std::ofstream(dir / "jump.c") << "#asm\n        jp " << kProgram << "\n#endasm\n";
    std::ofstream(dir / "chain.c") << "#asm\n_GLOBAL_INIT::\n        ret\n#endasm\n";
    std::vector<fs::path> sources = runtime_sources();
    sources.insert(sources.begin() + 1, dir / "jump.c");
    sources.push_back(dir / "chain.c");
    const Image runtime = assemble(sources, 0, {{"main", 0x7E00}});
    ASSERT_TRUE(runtime.messages.empty()) << runtime.messages.front();
    const Image program = assemble_lines(c.program, kProgram, runtime);
    ASSERT_TRUE(program.messages.empty()) << program.messages.front();
    ASSERT_EQ(program.at("prog"), kProgram);
    std::vector<uint8_t> image = runtime.bytes;
    ASSERT_LE(image.size(), kProgram);
    image.resize(kProgram, 0xFF);
    image.insert(image.end(), program.bytes.begin(), program.bytes.end());

    {
        std::ofstream(dir / "prog.bin", std::ios::binary).write(reinterpret_cast<const char *>(image.data()),
                                                                static_cast<std::streamsize>(image.size()));
        std::ofstream(dir / "in.txt", std::ios::binary) << c.input;
    }
    const std::string command = std::string(KX_TOOLS_DIR) + "/kxrun --console " + c.extra + " " +
                                (dir / "prog.bin").string() + " < " + (dir / "in.txt").string() + " > " +
                                (dir / "out.txt").string() + " 2> " + (dir / "err.txt").string();
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), c.status);
    EXPECT_EQ(read_file(dir / "out.txt"), c.output);
    char report[128];
    const uint16_t at = program.globals.count("fault") ? program.at("fault")
                      : program.globals.count("bad")   ? program.at("bad")
                                                       : 0;
    std::snprintf(report, sizeof report, c.report.c_str(), at, at);
    EXPECT_EQ(read_file(dir / "err.txt"), report);
    fs::remove_all(dir);
}
INSTANTIATE_TEST_SUITE_P(All, KxrunConsole, ::testing::ValuesIn(kCases),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
