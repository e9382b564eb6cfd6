// Golden files for the test tools: each source under tests/data/asm is assembled (kxasm) or
// disassembled (kxdis) and the output must match the expected file beside it; a mismatch
// names the first differing line.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ToolCase {
    const char *name;
    const char *tool;
    const char *args;
    const char *input;
    const char *expected;
};

const ToolCase kTools[] = {
    {"asm_f2000", "kxasm", "--cpu 2000 --org 0x100", "f2000.asm", "f2000.expected"},
    {"asm_z180", "kxasm", "--z180 --org 0x100", "z180.asm", "z180.expected"},
    {"asm_directives", "kxasm", "--cpu 2000 --org 0x4000", "directives.asm", "directives.expected"},
    {"asm_bad_lines", "kxasm", "--cpu 2000 --org 0x100", "errors.asm", "errors.expected"},
    {"asm_debug", "kxasm", "--cpu 3000 --debug --org 0x100", "debug.asm", "debug.expected"},
    {"asm_wrap", "kxasm", "--cpu 2000 --org 0xFFFD", "wrap.asm", "wrap.expected"},
    {"dis_2000", "kxdis", "--cpu 2000 --org 0x4000", "dis.bin", "dis2000.expected"},
    {"dis_3000", "kxdis", "--cpu 3000 --org 0x4000", "dis.bin", "dis3000.expected"},
};

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) out.push_back(l);
    return out;
}

class Golden : public ::testing::TestWithParam<ToolCase> {};

TEST_P(Golden, OutputMatches)
{
    const ToolCase &c = GetParam();
    std::string data = KX_TEST_DATA "/asm/";
    std::string cmd = std::string(KX_TOOLS_DIR "/") + c.tool + " " + c.args + " " + data + c.input;
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    std::ifstream in(data + c.expected);
    ASSERT_TRUE(in) << c.expected;
    std::stringstream ss;
    ss << in.rdbuf();
    auto got = lines_of(out), want = lines_of(ss.str());
    for (size_t i = 0; i < got.size() && i < want.size(); ++i)
        ASSERT_EQ(got[i], want[i]) << "first difference at line " << i + 1;
    EXPECT_EQ(got.size(), want.size());
}

INSTANTIATE_TEST_SUITE_P(Files, Golden, ::testing::ValuesIn(kTools),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
