// The kxrun tool: loads images, runs, stops at a breakpoint, a limit or an undefined opcode,
// and prints registers and memory; bad arguments and images give a clear error.
#include "SimKxrun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using simtest::RunOutput;
using simtest::run_tool;

namespace {

class Kxrun : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("kxrun_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string &name, const std::string &bytes)
    {
        fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }

    fs::path dir;
};

TEST_F(Kxrun, RunsToABreakpointAndPrintsRegistersAndMemory)
{
    // ld a,0x12 ; ld hl,0x3456 ; exx ; ld bc,0x789A ; ld ix,0xBCDE ; ld iy,0xF012 ; nop
    std::string prog = write("p.bin", std::string("\x3E\x12\x21\x56\x34\xD9\x01\x9A\x78\xDD\x21"
                                                  "\xDE\xBC\xFD\x21\x12\xF0\x00",
                                                  18));
    RunOutput out = run_tool("kxrun " + prog + " --break 0x11 --sp 0xDFF0 --dump 0x0:4");
    EXPECT_EQ(out.status, 0) << out.text;
    EXPECT_NE(out.text.find("stop: breakpoint at 00:0011"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("instructions: 6"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("AF   1200"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("HL   0000  HL'  3456"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("BC   789A"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("IX   BCDE  IY   F012"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("SP   DFF0  PC   0011"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("00000: 3E 12 21 56"), std::string::npos) << out.text;
}

TEST_F(Kxrun, UndefinedOpcodeReportsItsAddress)
{
    std::string prog = write("u.bin", std::string("\x00\x00\xED\x00", 4));
    RunOutput out = run_tool("kxrun " + prog + "@0x80000 --xpc 0x72 --start 0xE000");
    EXPECT_EQ(out.status, 2) << out.text;
    EXPECT_NE(out.text.find("undefined opcode at 72:E002 (physical 80002)"), std::string::npos)
        << out.text;
}

TEST_F(Kxrun, LoadsIntelHexAndStopsAtTheLimit)
{
    // ld a,0x77 ; ld (0x8000),a at physical 0 ; a data record in RAM at 0x80010
    std::string hex = write("p.hex", ":050000003E7732008094\n"
                                     ":020000040008F2\n"
                                     ":01001000AB44\n"
                                     ":00000001FF\n");
    RunOutput out = run_tool("kxrun " + hex + " --max 1 --dump 0x80010:1");
    EXPECT_EQ(out.status, 0) << out.text;
    EXPECT_NE(out.text.find("stop: instruction limit"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("AF   7700"), std::string::npos) << out.text;
    EXPECT_NE(out.text.find("80010: AB"), std::string::npos) << out.text;
}

// HEX is known by its text, whatever the name; a "bin" image that starts with ld a,(mn) (0x3A,
// the character ':') stays a "bin" image.
struct ImageKind {
    const char *name;
    const char *file;
    std::string contents;
    const char *expect;
};

const std::string kHexProgram = ":050000003E7732008094\r\n:00000001FF\r\n";

const ImageKind kImageKinds[] = {
    {"ihx", "p.ihx", kHexProgram, "AF   7700"},
    {"hdl", "p.HDL", kHexProgram, "AF   7700"},
    {"no_extension", "image", kHexProgram, "AF   7700"},
    // ld a,(0x0005) loads the image's last byte, 0x42
    {"bin_starting_with_colon", "p.bin", std::string("\x3A\x05\x00\x00\x00\x42", 6),
     "AF   4200"},
};

class KxrunImage : public Kxrun, public ::testing::WithParamInterface<ImageKind> {};

TEST_P(KxrunImage, LoadsByContent)
{
    std::string image = write(GetParam().file, GetParam().contents);
    RunOutput out = run_tool("kxrun " + image + " --max 1");
    EXPECT_EQ(out.status, 0) << out.text;
    EXPECT_NE(out.text.find(GetParam().expect), std::string::npos) << out.text;
}

INSTANTIATE_TEST_SUITE_P(All, KxrunImage, ::testing::ValuesIn(kImageKinds),
                         [](const auto &i) { return std::string(i.param.name); });

struct BadArgs {
    const char *name;
    const char *args;
    const char *message;
};
// Test output names the case, not its bytes.
void PrintTo(const BadArgs &c, std::ostream *os) { *os << c.name; }
const BadArgs kBadArgs[] = {
    {"no_image", "", "usage"},
    {"unknown_option", "--frob IMG", "bad argument"},
    {"cpu_value", "--cpu 4000 IMG", "bad argument"},
    {"start_too_big", "--start 0x10000 IMG", "bad argument"},
    {"break_not_number", "--break here IMG", "bad argument"},
    {"dump_without_length", "--dump 0x100 IMG", "bad argument"},
    {"dump_past_1mb", "--dump 0xFFFF0:0x20 IMG", "bad argument"},
    {"missing_file", "/nonexistent/x.bin", "cannot read"},
    {"load_address_beyond_1mb", "IMG@0x100000", "bad load address"},
    {"image_outside_memory", "IMG@0xFFFFF", "outside flash and RAM"},
    {"bad_hex", "BADHEX", "checksum"},
    {"ram_size_odd", "--ram 1000 IMG", "multiples of 4 KB"},
};

class KxrunError : public Kxrun, public ::testing::WithParamInterface<BadArgs> {};

TEST_P(KxrunError, ExitsWithStatus1AndAMessage)
{
    std::string img = write("img.bin", std::string("\x00\x00", 2));
    std::string bad = write("bad.hex", ":01000000AA56\n:00000001FF\n");
    std::string args = GetParam().args;
    for (auto [key, value] : {std::pair{std::string("BADHEX"), bad}, std::pair{std::string("IMG"), img}}) {
        size_t at = args.find(key);
        if (at != std::string::npos)
            args.replace(at, key.size(), value);
    }
    RunOutput out = run_tool("kxrun " + args);
    EXPECT_EQ(out.status, 1) << out.text;
    EXPECT_NE(out.text.find(GetParam().message), std::string::npos) << out.text;
}
// The Z180 set: its console goes through "out (c),a" to the same ports; a Vireon-only "ldp"
// ends the run at its address.
TEST_F(Kxrun, Z180ConsoleProgramAndVireonOnlyOpcode)
{
    // ld bc,0xfff0 ; ld a,'Z' ; out (c),a ; ld a,0x0a ; out (c),a ; ld c,0xf2 ; ld a,7
    // ; out (c),a
    std::string prog = write("z.bin", std::string("\x01\xF0\xFF\x3E\x5A\xED\x79\x3E\x0A\xED"
                                                  "\x79\x0E\xF2\x3E\x07\xED\x79",
                                                  17));
    RunOutput out = run_tool("kxrun --console --cpu z180 " + prog);
    EXPECT_EQ(out.status, 7) << out.text;
    EXPECT_EQ(out.text, "Z\nexit 7\n");
    RunOutput vireon = run_tool("kxrun --console " + prog);
    EXPECT_EQ(vireon.status, 255) << vireon.text; // ED 79 is no Vireon instruction

    std::string ldp = write("l.bin", std::string("\x00\xED\x65\x00\x80", 5));
    out = run_tool("kxrun --z180 " + ldp);
    EXPECT_EQ(out.status, 2) << out.text;
    EXPECT_NE(out.text.find("undefined opcode at 00:0001 (physical 00001)"), std::string::npos)
        << out.text;
}


INSTANTIATE_TEST_SUITE_P(All, KxrunError, ::testing::ValuesIn(kBadArgs),
                         [](const auto &i) { return std::string(i.param.name); });

// Every option the help text lists is accepted with a value of the form it shows, and the help
// text goes to stdout with status 0.
TEST_F(Kxrun, HelpListsEveryAcceptedOption)
{
    static const std::pair<const char *, const char *> kOptions[] = {
        {"--cpu", "3000"}, {"--start", "0"},  {"--xpc", "0"},         {"--sp", "0xDFF0"},
        {"--max", "1"},    {"--break", "3:0x10"}, {"--dump", "0x80000:2"}, {"--flash", "0x40000"},
        {"--ram", "0x40000"}, {"--z180", ""},
    };
    RunOutput help = run_tool("kxrun --help");
    EXPECT_EQ(help.status, 0) << help.text;
    EXPECT_NE(help.text.find("-h, --help"), std::string::npos) << help.text;
    std::string img = write("nop.bin", std::string("\x00\x00", 2));
    for (const auto &[option, value] : kOptions) {
        EXPECT_NE(help.text.find(std::string("  ") + option + " "), std::string::npos)
            << option << " is not in the help text";
        RunOutput out = run_tool("kxrun " + img + " " + option + " " + value);
        EXPECT_EQ(out.status, 0) << option << " " << value << ": " << out.text;
    }
}

} // namespace
