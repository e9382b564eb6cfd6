// The watch list's display line without a target: type texts, value texts by type, quoting of
// characters and strings, the fixed columns, and the split of a stored watch line.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "link/cWatchList.h"

namespace {

struct TypeCase {
    const char *name;
    uint16_t type;
    uint32_t declarator;
    const char *tag;
    const char *text;
};
const TypeCase kTypes[] = {
    {"int", 2, 0, nullptr, "int"},
    {"unsigned_long", 5, 0, nullptr, "unsigned long"},
    {"int_array", 2, 0x1, nullptr, "int []"},
    {"char_pointer", 1, 0x2, nullptr, "char *"},
    {"const_char_pointer", 1, 0x42, nullptr, "const char *"},
    {"const_pointer_to_int", 2, 0x6, nullptr, "int * const "},
    {"pointer_to_pointer", 1, 0x22, nullptr, "char **"},
    {"array_of_pointers", 1, 0x21, nullptr, "char *[]"},
    {"pointer_to_function", 2, 0x32, nullptr, "int (*)()"},
    {"function", 2, 0x3, nullptr, "int ()"},
    {"struct_with_tag", 20, 0, "point", "struct point"},
    {"pointer_to_struct", 17, 0x2, "node", "struct node *"},
    {"label", 11, 0, nullptr, "label"},
    {"unknown_code", 9, 0, nullptr, "type 9"},
};

class WatchType : public ::testing::TestWithParam<TypeCase> {};

TEST_P(WatchType, Text)
{
    const TypeCase &c = GetParam();
    EXPECT_EQ(watch_type_text(c.type, c.declarator, c.tag), c.text);
}

INSTANTIATE_TEST_SUITE_P(All, WatchType, ::testing::ValuesIn(kTypes),
                         [](const auto &i) { return std::string(i.param.name); });

// Eight levels fill the word: no nibble is left to end the chain, so none marks the base const.
TEST(WatchTypeLimits, EightLevelsAndNoMore)
{
    EXPECT_EQ(watch_type_text(2, 0x11111111, nullptr), "int [][][][][][][][]");
    EXPECT_EQ(watch_type_text(2, 0x62222222, nullptr), "int * const *******");
}

struct ValueCase {
    const char *name;
    uint16_t type;
    uint32_t declarator;
    uint32_t value;
    const char *text;
};
const ValueCase kValues[] = {
    {"char_letter", 1, 0, 'A', "'A' (0x41)"},
    {"char_newline", 1, 0, 10, "'\\n' (0x0A)"},
    {"char_high_byte", 1, 0, 0x9C, "'\\x9C' (0x9C)"},
    {"char_zero", 1, 0, 0, "'' (0x00)"},
    {"char_quote", 1, 0, '\'', "'\\'' (0x27)"},
    {"int_minus_one", 2, 0, 0xFFFF, "-1 (0xFFFF)"},
    {"int_45", 2, 0, 45, "45 (0x002D)"},
    {"int_high_word_ignored", 2, 0, 0x1234002D, "45 (0x002D)"},
    {"unsigned_max", 3, 0, 0xFFFF, "65535 (0xFFFF)"},
    {"long_minus_two", 4, 0, 0xFFFFFFFE, "-2 (0xFFFFFFFE)"},
    {"unsigned_long_max", 5, 0, 0xFFFFFFFF, "4294967295 (0xFFFFFFFF)"},
    {"float", 7, 0, 0x3FC00000, "1.5"},
    {"float_small", 7, 0, 0x33D6BF95, "1e-07"},
    {"struct", 20, 0, 0x1234, ""},
    {"void", 12, 0, 0, ""},
    {"int_array", 2, 0x1, 0x8010, "0x8010"},
    {"const_char_pointer", 1, 0x42, 0x8000, "0x8000"},
    {"pointer_to_pointer", 1, 0x22, 0x8000, "0x8000"},
    {"label", 11, 0, 5, "????"},
    {"null_type", 0, 0, 5, "????"},
    {"type_6", 6, 0, 5, "????"},
};

class WatchValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(WatchValue, Text)
{
    const ValueCase &c = GetParam();
    EXPECT_EQ(watch_value_text(c.type, c.declarator, c.value, nullptr), c.text);
}

INSTANTIATE_TEST_SUITE_P(All, WatchValue, ::testing::ValuesIn(kValues),
                         [](const auto &i) { return std::string(i.param.name); });

// A char pointer shows the pointer and the quoted text it reads from the target (64 bytes at
// the pointer), cut to 20 characters; text it cannot read shows "????".
TEST(WatchCharPointer, QuotesTheTextItPointsAt)
{
    uint16_t asked = 0;
    const auto reader = [&](uint16_t pointer) -> std::optional<std::vector<uint8_t>> {
        asked = pointer;
        std::vector<uint8_t> bytes(64, 0);
        std::memcpy(bytes.data(), "a\tb", 3);
        return bytes;
    };
    EXPECT_EQ(watch_value_text(1, 2, 0x12348123, reader), "(0x8123) \"a\\tb\"              ");
    EXPECT_EQ(asked, 0x8123);
    const auto unreadable = [](uint16_t) -> std::optional<std::vector<uint8_t>> {
        return std::nullopt;
    };
    EXPECT_EQ(watch_value_text(1, 2, 0x8123, unreadable), "????");
    EXPECT_EQ(watch_value_text(1, 2, 0x8123, nullptr), "????");
}

struct QuoteCase {
    const char *name;
    std::string bytes;
    const char *quoted;
};
const QuoteCase kQuotes[] = {
    {"empty", std::string(1, '\0'), "\"\""},
    {"plain", "hello", "\"hello\""},
    {"escapes", "\a\b\t\n\v\f\r\"'\\", "\"\\a\\b\\t\\n\\v\\f\\r\\\"\\'\\\\\""},
    {"high_and_control_bytes", "\x01\x80\xFF", "\"\\x01\\x80\\xFF\""},
    {"stops_at_zero", std::string("ab\0cd", 5), "\"ab\""},
    {"long_text_cut_after_32", std::string(40, 'x'), "\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\""},
    {"escape_past_31_kept_whole", std::string(31, 'x') + "\x9C" + "yy",
     "\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\\x9C\""},
};

class WatchQuote : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(WatchQuote, String)
{
    const QuoteCase &c = GetParam();
    const auto *bytes = reinterpret_cast<const uint8_t *>(c.bytes.data());
    EXPECT_EQ(quote_watch_string(bytes, c.bytes.size()), c.quoted);
}

INSTANTIATE_TEST_SUITE_P(All, WatchQuote, ::testing::ValuesIn(kQuotes),
                         [](const auto &i) { return std::string(i.param.name); });

// Expression, type and value in columns of 30, 16 and 29 characters, each cut to its width.
TEST(WatchLine, FixedColumns)
{
    const std::string type = "int";
    EXPECT_EQ(watch_line("total", &type, "45 (0x002D)"),
              "total                          int              45 (0x002D)                  ");
    EXPECT_EQ(watch_line("x", nullptr, "????"),
              "x                              ????             ????                         ");
    const std::string long_type = "unsigned long *[][]";
    const std::string line = watch_line(std::string(10000, 'a'), &long_type, std::string(40, 'v'));
    EXPECT_EQ(line, std::string(30, 'a') + " unsigned long *[ " + std::string(29, 'v'));
}

struct SplitCase {
    const char *name;
    const char *line;
    const char *expression;
    const char *scope;
};
const SplitCase kSplits[] = {
    {"expression_and_scope", "total:main", "total", "main"},
    {"colon_in_expression", "a ? b : c:main", "a ? b : c", "main"},
    {"no_scope_given", "total:", "total", ""},
    {"no_colon", "total", "total", ""},
    {"empty", "", "", ""},
};

class WatchHistoryLine : public ::testing::TestWithParam<SplitCase> {};

TEST_P(WatchHistoryLine, SplitsAtTheLastColon)
{
    const SplitCase &c = GetParam();
    const auto [expression, scope] = split_watch_history_line(c.line);
    EXPECT_EQ(expression, c.expression);
    EXPECT_EQ(scope, c.scope);
}

INSTANTIATE_TEST_SUITE_P(All, WatchHistoryLine, ::testing::ValuesIn(kSplits),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
