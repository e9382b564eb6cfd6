// The C programs of tests/data/cc, each beside the text it must print (its golden file, which
// the host model kxccgold computes): compiled by kxcc for each processor (the Vireon 2000 and
// 3000 and the Z180), for the Vireon 2000 and the Z180 also without the debug kernel's hooks,
// run to their end by kxrun --console, which must print exactly the golden text
// and exit 0. The image's "hex" twin holds the bytes of its "bin" file, no compile reports an
// undefined name, and the map of a program without float names no float routine.
// Extended memory is laid out on every target: xmempages spreads its code over several pages.
//
// While a unit a program needs is not part of this build, kxcc says so ("... is (are) not part of
// this build.") and the run is skipped with that message; every other failure fails.
#include "KxccSupport.h"

#include <algorithm>
#include <sstream>
#include <vector>

namespace {

using namespace kxcc_test;

const fs::path kData = fs::path(KX_TEST_DATA) / "cc";

std::vector<std::string> case_names()
{
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(kData))
        if (e.path().extension() == ".c")
            names.push_back(e.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The first line where two texts differ, for the failure message.
std::string first_difference(const std::string &got, const std::string &expected)
{
    std::istringstream a(got), b(expected);
    std::string la, lb;
    for (int line = 1;; ++line) {
        const bool more_a = static_cast<bool>(std::getline(a, la));
        const bool more_b = static_cast<bool>(std::getline(b, lb));
        if (!more_a && !more_b)
            return "the texts differ in their line ends";
        if (la != lb || more_a != more_b)
            return "line " + std::to_string(line) + ": \"" + (more_a ? la : "<end>") +
                   "\" (expected \"" + (more_b ? lb : "<end>") + "\")";
    }
}

// The golden files are the host model's output.
class CcGolden : public Folder, public ::testing::WithParamInterface<std::string> {};

TEST_P(CcGolden, IsTheHostModelsOutput)
{
    const ToolRun model = run(dir, tool("kxccgold"), GetParam());
    ASSERT_EQ(model.status, 0) << model.err;
    const std::string golden = read_file(kData / (GetParam() + ".out"));
    EXPECT_EQ(model.out, golden) << first_difference(model.out, golden);
}
INSTANTIATE_TEST_SUITE_P(All, CcGolden, ::testing::ValuesIn(case_names()),
                         [](const auto &i) { return i.param; });

struct Variant {
    const char *name;
    const char *kxcc;   // kxcc's options
    const char *kxrun;  // kxrun's
};

const Variant kVariants[] = {
    {"v2000", "--cpu 2000", "--cpu 2000"},
    {"v3000", "--cpu 3000", "--cpu 3000"},
    {"v2000_nodebug", "--cpu 2000 --nodebug", "--cpu 2000"},
    {"z180", "--cpu z180", "--cpu z180"},
    {"z180_nodebug", "--cpu z180 --nodebug", "--cpu z180"},
};

class CcRun : public Folder,
              public ::testing::WithParamInterface<std::tuple<std::string, Variant>> {};

TEST_P(CcRun, PrintsItsGoldenText)
{
    const auto &[name, variant] = GetParam();
    const fs::path image = dir / (name + ".bin");
    const ToolRun cc = run(dir, tool("kxcc"), std::string(variant.kxcc) + " --list -o '" +
                                                   image.string() + "' '" +
                                                   (kData / (name + ".c")).string() + "'");
    if (cc.status != 0) {
        const std::size_t missing = cc.err.find(" not part of this build.");  // "is" or "are"
        if (missing != std::string::npos) {
            const std::size_t start = cc.err.rfind('\n', missing);
            const std::size_t from = start == std::string::npos ? 0 : start + 1;
            GTEST_SKIP() << cc.err.substr(from, cc.err.find('\n', missing) - from);
        }
    }
    ASSERT_EQ(cc.status, 0) << cc.err;
    EXPECT_EQ(cc.err.find("Undefined (but used) global label"), std::string::npos) << cc.err;
    EXPECT_EQ(cc.err.find(" undefined"), std::string::npos) << cc.err;

    const std::string bin = read_file(image);
    ASSERT_FALSE(bin.empty());
    const fs::path from_hex = dir / "from_hex.bin";
    const std::string objcopy = "objcopy -I ihex -O binary '" +
                                fs::path(image).replace_extension(".hex").string() + "' '" +
                                from_hex.string() + "'";
    ASSERT_EQ(std::system(objcopy.c_str()), 0) << objcopy;
    EXPECT_TRUE(read_file(from_hex) == bin) << "the hex file holds other bytes than the bin file";

    const std::string map = read_file(fs::path(image).replace_extension(".map"));
    EXPECT_NE(map.find("premain"), std::string::npos) << "the call graph starts at premain";
    const bool uses_float = read_file(kData / (name + ".c")).find("float") != std::string::npos;
    if (!uses_float) {
        EXPECT_EQ(map.find("F_"), std::string::npos) << "a float routine in the map";
    }
    EXPECT_TRUE(fs::exists(fs::path(image).replace_extension(".lst")));

    const ToolRun program =
        run(dir, tool("kxrun"), std::string("--console ") + variant.kxrun + " '" + image.string() + "'");
    const std::string golden = read_file(kData / (name + ".out"));
    EXPECT_EQ(program.out, golden) << first_difference(program.out, golden);
    EXPECT_EQ(program.status, 0) << program.err;
}
INSTANTIATE_TEST_SUITE_P(All, CcRun,
                         ::testing::Combine(::testing::ValuesIn(case_names()),
                                            ::testing::ValuesIn(kVariants)),
                         [](const auto &i) {
                             return std::get<0>(i.param) + "_" + std::get<1>(i.param).name;
                         });

}  // namespace
