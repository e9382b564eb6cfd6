// The profile-file reader: sections and keys without regard to case, comments, blanks, line
// ends, missing files and keys, and integer values.
#include <gtest/gtest.h>

#include "IniFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

IniFile from(const char *text)
{
    IniFile ini;
    ini.load_text(text);
    return ini;
}

}  // namespace

TEST(IniFile, FindsKeysOfTheirSectionWithoutRegardToCase)
{
    const IniFile ini = from("text above the first section = ignored\r\n"
                             "[01a4]\r\n"
                             "; a comment = no key\r\n"
                             "  Sector Size   =  4096  \r\n"
                             "num sectors=64\r\n"
                             "[0100]\n"
                             "sector size = 128\n");
    EXPECT_EQ(ini.read_string("01A4", "sector size"), "4096");
    EXPECT_EQ(ini.read_string("01a4", "NUM SECTORS"), "64");
    EXPECT_EQ(ini.read_string("0100", "sector size"), "128");
    EXPECT_EQ(ini.read_string("01a4", "flash size"), std::nullopt);
    EXPECT_EQ(ini.read_string("01a4", "; a comment"), std::nullopt);
    EXPECT_EQ(ini.read_string("missing", "sector size"), std::nullopt);
    EXPECT_TRUE(ini.section_has_keys("01a4"));
    EXPECT_FALSE(ini.section_has_keys("missing"));
    EXPECT_EQ(ini.lines().size(), 7u) << "the lines are kept as read";
}

TEST(IniFile, SectionWithoutKeysHoldsNothing)
{
    const IniFile ini = from("[empty]\n; only a comment\n\n[next]\na=1\n");
    EXPECT_FALSE(ini.section_has_keys("empty"));
    EXPECT_TRUE(ini.section_has_keys("next"));
}

TEST(IniFile, FirstLineOfAKeyWins)
{
    EXPECT_EQ(from("[s]\nk = 1\nk = 2\n").read_string("s", "k"), "1");
}

TEST(IniFile, MissingFileLoadsNothing)
{
    IniFile ini;
    EXPECT_FALSE(ini.load("/nonexistent/folder/Flash.ini"));
    EXPECT_TRUE(ini.lines().empty());
}

TEST(IniFile, LoadsAFile)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("kx-ini-" + std::to_string(::getpid()) + ".ini");
    std::ofstream(path) << "[a]\nb = c\n";
    IniFile ini;
    ASSERT_TRUE(ini.load(path.string()));
    EXPECT_EQ(ini.read_string("A", "B"), "c");
    std::filesystem::remove(path);
}

struct IntegerCase {
    const char *name;
    const char *text;
    std::optional<int64_t> value;
};

const IntegerCase kIntegers[] = {
    {"decimal", "4096", 4096},
    {"blanks", "  12 ", 12},
    {"hexadecimal", "0x1A4", 0x1A4},
    {"upper_hex", "0XFF", 255},
    {"negative", "-5", -5},
    {"plus", "+7", 7},
    {"word", "abc", std::nullopt},
    {"trailing_text", "12kb", std::nullopt},
    {"empty", "", std::nullopt},
    {"bare_prefix", "0x", std::nullopt},
    {"too_large", "99999999999", std::nullopt},
};

class IniInteger : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IniInteger, Parses)
{
    EXPECT_EQ(parse_ini_integer(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(All, IniInteger, ::testing::ValuesIn(kIntegers),
                         [](const auto &i) { return std::string(i.param.name); });
