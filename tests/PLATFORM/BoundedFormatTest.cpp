// Bounded formatting: conversions, the floating-point refusal, and cutting at every limit.
#include "BoundedFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Case {
    const char *name;
    std::string got;
    std::string want;
};

std::vector<Case> cases()
{
    return {
        {"plain", bounded_format("abc"), "abc"},
        {"percent", bounded_format("100%%"), "100%"},
        {"int", bounded_format("%d", -42), "-42"},
        {"int_min", bounded_format("%d", -2147483647 - 1), "-2147483648"},
        {"unsigned", bounded_format("%u", 4000000000u), "4000000000"},
        {"hex_lower", bounded_format("%x", 0xBEEFu), "beef"},
        {"hex_upper_zero_pad", bounded_format("%04X", 0xAu), "000A"},
        {"hex_alt", bounded_format("%#x", 255u), "0xff"},
        {"long_is_32_bits", bounded_format("%ld|%lu", -5, 0xFFFFFFFFu), "-5|4294967295"},
        {"long_long", bounded_format("%lld", -1234567890123LL), "-1234567890123"},
        {"short", bounded_format("%hd", 70000), "4464"},
        {"char", bounded_format("[%c]", 'z'), "[z]"},
        {"string_left", bounded_format("ERROR %-10s   : %s", "a.c", "msg"),
         "ERROR a.c          : msg"},
        {"string_right", bounded_format("[%5s]", "ab"), "[   ab]"},
        {"string_precision", bounded_format("[%.3s]", "abcdef"), "[abc]"},
        {"star_width", bounded_format("[%*d]", 4, 7), "[   7]"},
        {"star_width_negative_is_left", bounded_format("[%*d]", -4, 7), "[7   ]"},
        // The smallest int as a width: the largest field, left-aligned, cut at 1023 characters.
        {"star_width_int_min", bounded_format("%*d|", -2147483647 - 1, 7),
         "7" + std::string(1022, ' ')},
        {"star_precision_negative_is_none", bounded_format("[%.*s]", -1, "abc"), "[abc]"},
        {"precision_digits", bounded_format("%.3d", 5), "005"},
        {"null_string", bounded_format("%s", static_cast<const char *>(nullptr)), "(null)"},
        // Floating-point conversions write nothing but keep the arguments in step.
        {"float_f", bounded_format("a%fb%d", 1.5, 7), "ab7"},
        {"float_e_g", bounded_format("%e|%g|%s", 2.0, 3.0, "x"), "||x"},
        {"unknown_conversion", bounded_format("%y%d", 3), "y3"},
        {"trailing_percent", bounded_format("abc%"), "abc"},
        {"pointer", bounded_format("%p", reinterpret_cast<void *>(0x1234)), "00001234"},
    };
}

class BoundedFormatCases : public ::testing::TestWithParam<Case> {};

TEST_P(BoundedFormatCases, Formats) { EXPECT_EQ(GetParam().got, GetParam().want); }

INSTANTIATE_TEST_SUITE_P(All, BoundedFormatCases, ::testing::ValuesIn(cases()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(BoundedFormat, OutputIsCutAt1023Characters)
{
    std::string big(5000, 'x');
    EXPECT_EQ(bounded_format("%s", big.c_str()).size(), 1023u);
    EXPECT_EQ(bounded_format("%s%s", big.c_str(), big.c_str()).size(), 1023u);
    // A huge width is capped rather than looping or overrunning.
    EXPECT_EQ(bounded_format("%999999999d", 1).size(), 1023u);
}

TEST(BoundedFormat, CallerBufferIsNeverPassed)
{
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    std::size_t n = bounded_format_to(buf, 8, "%s-%d", "abcdefgh", 12345);
    EXPECT_EQ(n, 7u);
    EXPECT_STREQ(buf, "abcdefg");
    for (std::size_t i = 8; i < sizeof buf; ++i)
        EXPECT_EQ(buf[i], '#') << "byte " << i << " written past the given size";

    char one[1] = {'#'};
    EXPECT_EQ(bounded_format_to(one, 1, "abc"), 0u);
    EXPECT_EQ(one[0], '\0');

    char none[1] = {'#'};
    EXPECT_EQ(bounded_format_to(none, 0, "abc"), 0u);
    EXPECT_EQ(none[0], '#');

    // A buffer larger than the limit still receives at most 1023 characters.
    std::vector<char> large(4096, '#');
    std::string big(3000, 'y');
    EXPECT_EQ(bounded_format_to(large.data(), large.size(), "%s", big.c_str()), 1023u);
    EXPECT_EQ(large[1023], '\0');
    EXPECT_EQ(large[1024], '#');
}

// "%n" would write through its argument: it is consumed and nothing is written anywhere.
TEST(BoundedFormat, PercentNWritesNothing)
{
    int written = -7;
    EXPECT_EQ(bounded_format("ab%n%d", &written, 5), "ab5");
    EXPECT_EQ(written, -7);
}

TEST(BoundedFormat, NullFormatGivesEmptyText)
{
    char buf[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(bounded_format_to(buf, sizeof buf, nullptr), 0u);
    EXPECT_STREQ(buf, "");
}

TEST(BoundedFormat, CopyAndAppendCut)
{
    char buf[8];
    EXPECT_EQ(bounded_copy(buf, sizeof buf, "abcdefghij"), 7u);
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_EQ(bounded_copy(buf, sizeof buf, "ab"), 2u);
    EXPECT_EQ(bounded_append(buf, sizeof buf, "cdefghij"), 7u);
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_EQ(bounded_copy(buf, sizeof buf, nullptr), 0u);
    EXPECT_STREQ(buf, "");
}

} // namespace
