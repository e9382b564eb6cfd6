// Golden files: each tests/data/pp/<case>.c beside <case>.out, the output of tools/kxpp -p.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string run_kxpp(const std::string &source) {
    std::string cmd = std::string(KX_TOOLS_DIR) + "/kxpp -p -L " + KX_TEST_DATA + "/pp/lib " + source;
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    std::array<char, 4096> buf{};
    while (std::size_t n = fread(buf.data(), 1, buf.size(), p))
        out.append(buf.data(), n);
    pclose(p);
    return out;
}

std::string read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

} // namespace

TEST(PreprocGolden, EveryCaseMatchesItsExpectedOutput) {
    int cases = 0;
    for (const auto &e : std::filesystem::directory_iterator(std::string(KX_TEST_DATA) + "/pp")) {
        if (e.path().extension() != ".c")
            continue;
        ++cases;
        std::string expected_path = e.path().string();
        expected_path.replace(expected_path.size() - 2, 2, ".out");
        std::istringstream got(run_kxpp(e.path().string()));
        std::istringstream want(read_file(expected_path));
        std::string g, w;
        for (int line = 1;; ++line) {
            bool more_g = static_cast<bool>(std::getline(got, g));
            bool more_w = static_cast<bool>(std::getline(want, w));
            if (!more_g && !more_w)
                break;
            if (!more_g || !more_w || g != w) {
                ADD_FAILURE() << e.path().filename() << " line " << line << ":\n  got:      "
                              << (more_g ? g : "<end>") << "\n  expected: " << (more_w ? w : "<end>");
                break;
            }
        }
    }
    EXPECT_GE(cases, 7);
}
