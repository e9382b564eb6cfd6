// The line list: its comma text both ways (quoting, blanks, empty lines, unclosed quotes) and
// name=value access.
#include <gtest/gtest.h>

#include "StringList.h"

#include <string>
#include <vector>

namespace {

struct Written {
    const char *name;
    std::vector<std::string> lines;
    std::string comma_text;
};

const Written kWritten[] = {
    {"plain_lines", {"BI=0x0101", "BRS=128"}, "BI=0x0101,BRS=128"},
    {"blank_quotes_the_line", {"BN=22MHz Core", "BRS=128"}, "\"BN=22MHz Core\",BRS=128"},
    {"comma_quotes_the_line", {"BCS=11,0592"}, "\"BCS=11,0592\""},
    {"quote_is_doubled", {"a\"b"}, "\"a\"\"b\""},
    {"control_byte_quotes_the_line", {"a\tb", "c\nd"}, "\"a\tb\",\"c\nd\""},
    {"one_empty_line", {""}, "\"\""},
    {"empty_line_between", {"a", "", "b"}, "a,,b"},
    {"empty_last_line", {"a", ""}, "a,"},
    {"empty_first_line", {"", "a"}, ",a"},
    {"no_lines", {}, ""},
    {"bytes_above_ascii_stay_bare", {"N=\xC3\xA4\xC3\xB6"}, "N=\xC3\xA4\xC3\xB6"},
    {"equals_sign_stays_bare", {"CR=0x101", "x==y"}, "CR=0x101,x==y"},
};

class CommaTextWrite : public ::testing::TestWithParam<Written> {};

// Written as given, and read back to the same lines.
TEST_P(CommaTextWrite, WritesAndReadsBack)
{
    const Written &c = GetParam();
    const TStringList list(c.lines);
    EXPECT_EQ(list.comma_text(), c.comma_text);
    const std::optional<TStringList> back = TStringList::from_comma_text(c.comma_text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->lines, c.lines);
}
INSTANTIATE_TEST_SUITE_P(All, CommaTextWrite, ::testing::ValuesIn(kWritten),
                         [](const auto &i) { return std::string(i.param.name); });

struct Read {
    const char *name;
    std::string comma_text;
    std::vector<std::string> lines;
};

const Read kRead[] = {
    {"blank_separates_bare_lines", "a b,c", {"a", "b", "c"}},
    {"blanks_around_lines_skipped", "  a ,\t b  ", {"a", "b"}},
    {"text_after_closing_quote_is_next_line", "\"ab\"cd", {"ab", "cd"}},
    {"comma_then_blanks_at_end_adds_nothing", "a, ", {"a"}},
    {"quoted_comma_and_blank_kept", "\"x, y\",z", {"x, y", "z"}},
    {"only_blanks", "   ", {}},
    {"quoted_crystal_list", "\"1.8432\",\"3,6864\"", {"1.8432", "3,6864"}},
};

class CommaTextRead : public ::testing::TestWithParam<Read> {};

TEST_P(CommaTextRead, Lines)
{
    const std::optional<TStringList> list = TStringList::from_comma_text(GetParam().comma_text);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->lines, GetParam().lines);
}
INSTANTIATE_TEST_SUITE_P(All, CommaTextRead, ::testing::ValuesIn(kRead),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(CommaText, UnclosedQuoteIsUnreadable)
{
    for (const char *text : {"\"BI=0xFF10,BN=broken", "a,\"b\"\"", "\""})
        EXPECT_FALSE(TStringList::from_comma_text(text)) << text;
}

TEST(StringListValues, NamesWithoutCaseFirstLineCounts)
{
    TStringList list({"BI=0x0101", "no equals here", "bn=first", "BN=second", "BCS=11=0592"});
    EXPECT_EQ(list.index_of_name("BN"), 2);
    EXPECT_EQ(list.value("BN"), "first");
    EXPECT_EQ(list.value("BCS"), "11=0592");      // the first "=" splits
    EXPECT_EQ(list.value("no equals here"), "");  // a line without "=" has no name
    EXPECT_EQ(list.index_of_name("BFS"), -1);
    EXPECT_EQ(list.value("BFS"), "");
}

TEST(StringListValues, SetReplacesInPlaceOrAddsAtTheEnd)
{
    TStringList list({"BI=0xFF01", "BCI=2000r3", "BRS=128"});
    list.set_value("bci", "3000r1");
    list.set_value("BFS", "");
    EXPECT_EQ(list.lines, (std::vector<std::string>{"BI=0xFF01", "bci=3000r1", "BRS=128", "BFS="}));
}

} // namespace
