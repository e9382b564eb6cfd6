// End to end: programs written in assembly (tests/data/sim/*.asm) are assembled by kxasm,
// written as a "bin" image, run by kxrun up to their "done:" line, and kxrun's report
// (stop reason, counts, registers, memory) must equal the golden file NAME.out beside them.
// A program's first lines may say "; kxrun: ARGS" (extra kxrun arguments) and "; cpu: 3000".
#include "SimKxrun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using simtest::RunOutput;
using simtest::run_tool;

namespace {

std::string read_text(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

bool is_hex4(const std::string &s)
{
    if (s.size() < 5 || s[4] != ' ')
        return false;
    for (int i = 0; i < 4; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(s[i])))
            return false;
    return true;
}

// The listing "AAAA  BB BB ..." has one address line per source line (diagnostics between).
struct Listing {
    std::vector<uint16_t> line_address; // by source line
    std::map<uint16_t, uint8_t> bytes;
};

Listing parse_listing(const std::string &text)
{
    Listing l;
    for (const std::string &line : lines_of(text)) {
        if (!is_hex4(line))
            continue;
        uint16_t address = uint16_t(std::stoul(line.substr(0, 4), nullptr, 16));
        l.line_address.push_back(address);
        std::istringstream rest(line.substr(5));
        std::string byte;
        uint16_t at = address;
        while (rest >> byte)
            l.bytes[at++] = uint8_t(std::stoul(byte, nullptr, 16));
    }
    return l;
}

class Program : public ::testing::TestWithParam<std::string> {};

TEST_P(Program, RunsToTheGoldenResult)
{
    const std::string name = GetParam();
    fs::path data = fs::path(KX_TEST_DATA) / "sim";
    fs::path source = data / (name + ".asm");
    std::vector<std::string> src = lines_of(read_text(source));
    ASSERT_FALSE(src.empty()) << source;

    std::string cpu = "2000", extra;
    int done_line = -1;
    for (size_t i = 0; i < src.size(); ++i) {
        const std::string &s = src[i];
        if (s.rfind("; kxrun:", 0) == 0)
            extra = s.substr(8);
        if (s.rfind("; cpu:", 0) == 0)
            cpu = s.substr(7);
        if (s.rfind("done:", 0) == 0)
            done_line = int(i);
    }
    ASSERT_GE(done_line, 0) << "the program needs a done: line";

    RunOutput asm_out = run_tool("kxasm --cpu " + cpu + " --org 0 " + source.string());
    ASSERT_EQ(asm_out.status, 0) << asm_out.text;
    Listing listing = parse_listing(asm_out.text);
    ASSERT_EQ(listing.line_address.size(), src.size()) << asm_out.text;

    fs::path dir = fs::temp_directory_path() /
                   ("kxsim_prog_" + name + "_" +
                    std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(dir);
    fs::path bin = dir / (name + ".bin");
    {
        std::string image;
        for (auto [address, byte] : listing.bytes) {
            if (image.size() < size_t(address) + 1)
                image.resize(size_t(address) + 1, '\0');
            image[address] = char(byte);
        }
        std::ofstream(bin, std::ios::binary) << image;
    }
    char brk[16];
    std::snprintf(brk, sizeof brk, "0x%04X", listing.line_address[size_t(done_line)]);
    RunOutput run = run_tool("kxrun --cpu " + cpu + " --max 100000 --break " + brk + " " +
                             extra + " " + bin.string());
    fs::remove_all(dir);

    std::vector<std::string> got = lines_of(run.text);
    std::vector<std::string> want = lines_of(read_text(data / (name + ".out")));
    ASSERT_FALSE(want.empty()) << "no golden file; kxrun printed:\n" << run.text;
    for (size_t i = 0; i < std::max(got.size(), want.size()); ++i) {
        std::string g = i < got.size() ? got[i] : "<missing>";
        std::string w = i < want.size() ? want[i] : "<missing>";
        ASSERT_EQ(g, w) << name << ".out line " << i + 1 << " differs; kxrun printed:\n" << run.text;
    }
    EXPECT_EQ(run.status, 0);
}

INSTANTIATE_TEST_SUITE_P(All, Program, ::testing::Values("alu", "blockmove", "lcall", "altd"),
                         [](const auto &i) { return i.param; });

} // namespace
