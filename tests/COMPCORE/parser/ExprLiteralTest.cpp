// The bottom of the expression parser: numbers, character constants and escapes, literal text,
// string literals with the literal pool, and the bundle that runs the generated parser.
#include <gtest/gtest.h>

#include "InputHarness.h"

#include "core/CC_ER.h"
#include "parser/CC_HIER.h"
#include "input/CC_IN.h"
#include "core/CC_OBJ.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "parser/cparser/CParserFrame.h"
#include "core/SEAM_SETTINGS.h"
#include "core/guiExceptions.h"
#include "settings/guiKXPreferences.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// The lexer over one line of text (no line crossing), fresh messages and an empty pool.
class ExprText : public ::testing::Test {
protected:
    std::string text;

    void SetUp() override
    {
        reset_errors();
        reset_error_seen_and_fatal();
        reset_input_state();
        set_warning_switches(1, 1);
        set_compile_mode_word(0);
        allocate_symbol_tables(200);
        reset_expression_parser();
        reset_pending_output();
        reset_settings_to_defaults();
    }
    void TearDown() override
    {
        set_no_line_crossing(false);
        reset_settings_to_defaults();
        reset_pending_output();
        reset_expression_parser();
        reset_errors();
        reset_error_seen_and_fatal();
        reset_input_state();
    }
    void read(const std::string &t)
    {
        text = t;
        set_input_pointer(text.c_str());
        set_no_line_crossing(true);
    }
    std::string rest() const { return input_pointer(); }
    static std::vector<std::string> summaries()
    {
        std::vector<std::string> out;
        for (const input_test::Message &m : input_test::collect_messages())
            out.push_back(m.summary);
        return out;
    }
};

float float_of(const object &node)
{
    float f;
    std::memcpy(&f, &node.value, sizeof f);
    return f;
}

// ---- numbers ------------------------------------------------------------------------------------

struct NumberCase {
    const char *name;
    const char *text;
    uint16_t type;
    double value;  // a float's value, or the integer value
    const char *rest;
    std::vector<std::string> messages;
};
const NumberCase kNumbers[] = {
    {"small_decimal", "123", 2, 123, "", {}},
    {"hex", "0x1F", 2, 31, "", {}},
    {"octal", "017;", 2, 15, ";", {}},
    {"hex_8000_unsigned", "0x8000", 3, 0x8000, "", {}},
    {"hex_ffff_unsigned", "0xFFFF", 3, 0xFFFF, "", {}},
    {"octal_100000_unsigned", "0100000", 3, 0x8000, "", {}},
    {"decimal_32768_long", "32768", 4, 32768, "", {}},
    {"decimal_65536_long", "65536", 4, 65536, "", {}},
    {"hex_10000_long", "0x10000", 4, 0x10000, "", {}},
    {"four_thousand_million_unsigned_long", "4000000000", 5, 4000000000u, "", {}},
    {"hex_80000000_unsigned_long", "0x80000000", 5, 0x80000000u, "", {}},
    {"u_suffix", "10U", 3, 10, "", {}},
    {"u_suffix_large", "70000U", 5, 70000, "", {}},
    {"ul_suffix", "7ul", 5, 7, "", {}},
    {"l_suffix", "5L", 4, 5, "", {}},
    {"lu_suffix", "5LU", 5, 5, "", {}},
    {"l_suffix_large", "2147483648L", 5, 0x80000000u, "", {}},
    {"overflow_wraps", "4294967297", 2, 1, "", {}},
    {"thirty_two_digits_wrap", "12345678901234567890123456789012", 5, 2426419732u, "", {}},
    {"octal_digit_8", "08+1", 2, 0, "+1", {"Not octal digit."}},
    {"octal_digit_9_later", "0719 ", 2, 57, " ", {"Not octal digit."}},
    {"float_suffix", "3F", 7, 3.0, "", {}},
    {"exponent_without_digits", "1E", 7, 1.0, "", {}},
    {"exponent", "1e5", 7, 1e5, "", {}},
    {"fraction_exponent", "2.5E-3", 7, 2.5e-3, "", {}},
    {"leading_point", ".5)", 7, 0.5, ")", {}},
    {"fraction_takes_no_suffix", "1.5F", 7, 1.5, "F", {}},
    {"long_fraction", "1.0000000000000000000000000000000000000001", 7, 1.0, "", {}},
    {"float_out_of_range", "1e39", 7, 0, "", {"Floating constant out of range."}},
    {"float_tiny_is_zero", "1e-60", 7, 0, "", {}},
    {"float_far_out_of_range", "1e999", 7, 0, "", {"Floating constant out of range."}},
};

class Numbers : public ExprText, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(Numbers, TypeValueAndWhatIsLeft)
{
    const NumberCase &c = GetParam();
    read(c.text);
    object node;
    ASSERT_EQ(scan_number(&node), 1);
    EXPECT_EQ(node.kind, 0);
    EXPECT_EQ(node.type, c.type);
    if (c.type == 7)
        EXPECT_EQ(float_of(node), static_cast<float>(c.value));
    else
        EXPECT_EQ(node.value, static_cast<uint32_t>(c.value));
    EXPECT_EQ(rest(), c.rest);
    EXPECT_EQ(summaries(), c.messages);
}
INSTANTIATE_TEST_SUITE_P(All, Numbers, ::testing::ValuesIn(kNumbers),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ExprText, NoNumberConsumesNothing)
{
    read("abc");
    object node;
    EXPECT_EQ(scan_number(&node), 0);
    EXPECT_EQ(scan_number_or_char(&node), 0);
    EXPECT_EQ(rest(), "abc");
}

// ---- character constants and escapes -------------------------------------------------------------

struct CharCase {
    const char *name;
    const char *text;
    uint8_t value;
    const char *rest;
    std::vector<std::string> messages;
};
const CharCase kChars[] = {
    {"plain", "'a'", 'a', "", {}},
    {"hex", "'\\x41'", 65, "", {}},
    {"hex_one_digit", "'\\xA'", 10, "", {}},
    {"octal", "'\\101'", 65, "", {}},
    {"octal_zero", "'\\0'", 0, "", {}},
    {"binary", "'\\B101'", 5, "", {}},
    {"u_is_x", "'\\u'", 'x', "", {}},
    {"unknown_letter_itself", "'\\q'", 'q', "", {}},
    {"newline", "'\\n'", 10, "", {}},
    {"b_is_backspace", "'\\b'", 8, "", {}},
    {"quote", "'\\''", '\'', "", {}},
    {"backslash", "'\\\\'", '\\', "", {}},
    {"octal_8", "'\\8'", 8, "", {"Not octal digit."}},
    {"two_characters", "'ab'", 'a', "b'", {"Missing character '''."}},
    {"hex_without_digits", "'\\x'", 0, "", {"Invalid hexadecimal sequence."}},
    {"binary_without_digits", "'\\B'", 0, "", {"Invalid binary sequence."}},
    {"backslash_ends_line", "'\\", '\\', "", {"Missing character '''."}},
    {"quote_ends_line", "'", 0, "", {"Missing character '''."}},
    {"blank_before", "  'z'+", 'z', "+", {}},
};

class Chars : public ExprText, public ::testing::WithParamInterface<CharCase> {};

TEST_P(Chars, ValueAndWhatIsLeft)
{
    const CharCase &c = GetParam();
    read(c.text);
    object node;
    ASSERT_EQ(scan_char_constant(&node), 1);
    EXPECT_EQ(node.kind, 0);
    EXPECT_EQ(node.type, 1);
    EXPECT_EQ(node.value, c.value);
    EXPECT_EQ(rest(), c.rest);
    EXPECT_EQ(summaries(), c.messages);
}
INSTANTIATE_TEST_SUITE_P(All, Chars, ::testing::ValuesIn(kChars),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- literal text -------------------------------------------------------------------------------

TEST_F(ExprText, LiteralTextResolvesEscapesAndKeepsZeroBytes)
{
    read("a\\0b\\x41\\\"q\" tail");
    std::string out;
    EXPECT_EQ(read_literal_text(out, 100, '"'), 6u);
    EXPECT_EQ(out, std::string("a\0bA\"q", 6));
    EXPECT_EQ(rest(), " tail");
    EXPECT_TRUE(summaries().empty());
}

TEST_F(ExprText, LiteralTextWithoutDelimiterEndsAtABlank)
{
    read("name.lib rest");
    std::string out;
    EXPECT_EQ(read_literal_text(out, 100, 0), 8u);
    EXPECT_EQ(out, "name.lib");
    EXPECT_EQ(rest(), " rest");
}

TEST_F(ExprText, LiteralTextTooLongIsCutAndTheRestDropped)
{
    read("abcdefgh\" x");
    std::string out;
    EXPECT_EQ(read_literal_text(out, 4, '"'), 3u);
    EXPECT_EQ(out, "abc");
    EXPECT_EQ(rest(), " x");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Literal string too long, truncated."});
}

TEST_F(ExprText, UnclosedLiteralStopsAtTheEndOfTheLine)
{
    read("abc\\");
    std::string out;
    EXPECT_EQ(read_literal_text(out, 100, '"'), 4u);
    EXPECT_EQ(out, "abc\\");
    EXPECT_EQ(rest(), "");
}

// ---- string literals and the pool ---------------------------------------------------------------

TEST_F(ExprText, StringLiteralIsACharArrayOfItsLengthPlusOne)
{
    read("\"abc\" + 1");
    object node;
    EXPECT_EQ(parse_string_literal(&node, true), 4);
    EXPECT_EQ(node.kind, 3);
    EXPECT_EQ(node.type, 1);
    EXPECT_EQ(decl_level(node.declarator, 0), kDeclArray);
    EXPECT_EQ(node.sym, placeholder_symbol());
    ASSERT_EQ(node.dim_count, 1);
    EXPECT_EQ(node.dims[0], 4);
    EXPECT_EQ(literal_length(&node), 3);
    EXPECT_EQ(obj_array_size(&node), 4u);
    EXPECT_EQ(rest(), " + 1");
    EXPECT_EQ(std::string(node.name).rfind("__STR__QB", 0), 0u) << node.name;
}

TEST_F(ExprText, NoStringLiteralConsumesNothing)
{
    read("abc");
    object node;
    EXPECT_EQ(parse_string_literal(&node, true), 0);
    EXPECT_EQ(rest(), "abc");
}

TEST_F(ExprText, EqualLiteralsShareOnePoolEntry)
{
    read("\"hi\" \"hi\" \"ho\"");
    object a, b, c;
    parse_string_literal(&a, true);
    parse_string_literal(&b, true);
    parse_string_literal(&c, true);
    EXPECT_STREQ(a.name, b.name);
    EXPECT_STRNE(a.name, c.name);
    EXPECT_EQ(literal_pool().size(), 2u);
}

TEST_F(ExprText, WithoutTheOptimizationEveryLiteralHasItsOwnLabel)
{
    IdePreferences().string_literal_optimization = false;
    read("\"hi\" \"hi\"");
    object a, b;
    parse_string_literal(&a, true);
    parse_string_literal(&b, true);
    EXPECT_STRNE(a.name, b.name);
    ASSERT_EQ(literal_pool().size(), 2u);
    for (const auto &[text, entry] : literal_pool())
        EXPECT_EQ(text, "hi");
}

TEST_F(ExprText, LiteralsDifferingAfterAZeroByteAreNotMerged)
{
    read("\"a\\0b\" \"a\\0c\" \"a\\0b\"");
    object a, b, c;
    EXPECT_EQ(parse_string_literal(&a, true), 4);
    EXPECT_EQ(parse_string_literal(&b, true), 4);
    parse_string_literal(&c, true);
    EXPECT_STRNE(a.name, b.name);
    EXPECT_STREQ(a.name, c.name);
    ASSERT_EQ(literal_pool().size(), 2u);
    EXPECT_EQ(literal_pool().begin()->first, std::string("a\0b", 3));
}

TEST_F(ExprText, ANodeKeepsItsTextWhenTheNextLiteralIsRead)
{
    read("\"first\" \"second one\"");
    object a, b;
    parse_string_literal(&a, true);
    const std::string label = a.name;
    parse_string_literal(&b, true);
    EXPECT_STREQ(a.literal, "first");
    EXPECT_EQ(a.name, label);
    EXPECT_EQ(a.dims[0], 6);
    EXPECT_EQ(current_literal(), "second one");
}

// A literal whose pooled copy was written already is still an array of its own dimension there.
TEST_F(ExprText, WrittenPooledLiteralStaysAnArray)
{
    read("\"abc\" \"abc\"");
    object first, again;
    parse_string_literal(&first, true);
    lit_map_entry *entry = find_pooled_literal("abc");
    ASSERT_NE(entry, nullptr);
    entry->emitted = 1;
    entry->address = 0x6000;
    EXPECT_EQ(parse_string_literal(&again, true), 4);
    EXPECT_EQ(again.kind, 3);
    EXPECT_EQ(decl_level(again.declarator, 0), kDeclArray);
    EXPECT_EQ(obj_array_size(&again), 4u);
    EXPECT_STREQ(again.name, first.name);
}

TEST_F(ExprText, UnpooledLiteralIsAConstantArrayUnderItsOwnLabel)
{
    read("\"hi\" \"hi\"");
    object a, b;
    EXPECT_EQ(parse_string_literal(&a, false), 3);
    parse_string_literal(&b, false);
    EXPECT_EQ(a.kind, 0);
    EXPECT_EQ(decl_level(a.declarator, 0), kDeclArray);
    EXPECT_STRNE(a.name, b.name);
    EXPECT_TRUE(literal_pool().empty());
}

TEST_F(ExprText, LiteralOfFortyThousandCharactersIsCut)
{
    read("\"" + std::string(40000, 'x') + "\";");
    object node;
    EXPECT_EQ(parse_string_literal(&node, true), kMaxLiteralLength + 1);
    EXPECT_EQ(literal_length(&node), kMaxLiteralLength);
    EXPECT_EQ(rest(), ";");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Literal string too long, truncated."});
}

// The pool writes what was pooled: each entry once, zero bytes and terminator included.
TEST_F(ExprText, PooledLiteralsAreWrittenWithTheirZeroBytes)
{
    read("\"a\\0b\"");
    object node;
    parse_string_literal(&node, true);
    ASSERT_EQ(literal_pool().size(), 1u);
    const auto &[stored, entry] = *literal_pool().begin();
    EXPECT_EQ(stored.size(), 3u);
    EXPECT_EQ(entry.emitted, 0);
    EXPECT_EQ(entry.label, node.name);
}

// ---- the look-ahead bundle ------------------------------------------------------------------------

TEST(StringParserBlackBox, NestedBundlesPutTheOuterOneBack)
{
    CParserSet *before = currentParserSet();
    {
        StringParserBlackBox outer;
        EXPECT_EQ(currentParserSet(), &outer.set());
        {
            StringParserBlackBox inner;
            EXPECT_EQ(currentParserSet(), &inner.set());
            EXPECT_NE(inner.parse("a == 1;"), nullptr);
        }
        EXPECT_EQ(currentParserSet(), &outer.set());
        AST *tree = outer.parse("b < 2;");
        ASSERT_NE(tree, nullptr);
    }
    EXPECT_EQ(currentParserSet(), before);
}

TEST(StringParserBlackBox, AnExceptionFreesEveryObject)
{
    const int nodes = liveTreeNodeCount();
    const int tokens = liveTokenCount();
    CParserSet *before = currentParserSet();
    try {
        StringParserBlackBox box;
        box.set().set_type_name_query([](std::string_view) -> bool { throw xUserCancel(KX_HERE); });
        (void)box.parse("(T) x;");
        ADD_FAILURE() << "the query's exception did not pass through";
    } catch (const xUserCancel &) {
    }
    EXPECT_EQ(currentParserSet(), before);
    EXPECT_EQ(liveTreeNodeCount(), nodes);
    EXPECT_EQ(liveTokenCount(), tokens);
}

struct HintCase {
    const char *name;
    const char *text;
    bool comparison;
};
const HintCase kHints[] = {
    {"equal", "x == 1;", true},     {"not_equal", "x != 1)", true},
    {"less_equal", "x <= y;", true}, {"greater", "x > y;", true},
    {"assignment", "x = 1;", false}, {"sum", "x + 1;", false},
    {"logical_and", "a < 1 && b;", false}, {"no_tree", "x == ", false},
};
class ComparisonTree : public ::testing::TestWithParam<HintCase> {};
TEST_P(ComparisonTree, TopTokenDecides)
{
    StringParserBlackBox box;
    EXPECT_EQ(is_comparison_tree(box.parse(GetParam().text)), GetParam().comparison);
}
INSTANTIATE_TEST_SUITE_P(All, ComparisonTree, ::testing::ValuesIn(kHints),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
