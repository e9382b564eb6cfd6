// The message table: ordered, unique, and looked up exactly.
#include "StringResources.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

TEST(StringTable, IdsAscendAndAreUnique)
{
    const StringResource *prev = nullptr;
    for (const StringResource *row = string_table_begin(); row != string_table_end(); ++row) {
        if (prev) {
            EXPECT_LT(prev->id, row->id) << "row " << row->id << " after " << prev->id;
        }
        ASSERT_NE(row->text, nullptr) << "id " << row->id;
        prev = row;
    }
}

TEST(StringTable, LookupFindsExactTextAndMissingIsEmpty)
{
    EXPECT_EQ(string_resource(5016), "Operation canceled by user.");
    EXPECT_EQ(string_resource(16), "Korvex");
    EXPECT_TRUE(string_resource(1).empty());
    EXPECT_TRUE(string_resource(0xFFFFFFFFu).empty());
}

// Every message of the foundation, the message records and the node pool, byte for byte
// (typos included: they are the system's own).
struct TextCase {
    const char *name;
    uint32_t id;
    std::string_view text;
};
const TextCase kTexts[] = {
    {"product", 16, "Korvex"},
    {"previously_defined", 491,
     "%s previously defined.\a\aThe symbol is defined elsewhere in the program.\nEither rename "
     "the symbol, or use it as it was previously defined.\nLocal #asm labels must be renamed if "
     "they collide with a global label."},
    {"compile_overflow", 616, "Too many or fatal compilation error."},
    {"address_constant", 635,
     "Internal error: attempt to address a constant value.\a\aThis is an internal compiler "
     "error.\nPlease report it, with the program that caused it,\nto Korvex technical support."},
    {"no_file", 739, "ERROR"},
    {"warning_line", 743, "WARNING %-10s   : %s"},
    {"error_line", 809, "ERROR %-10s   : %s"},
    {"include_refused", 2128, "\"#include\" not supported. Please use \"#use\" instead."},
    {"unclosed_nowarn", 2160,
     "Unclosed #pragma nowarn.\a\aThe end of file compilation was reached without\nencoutering "
     "a #pragma nowarn end."},
    {"both_suppressed", 4018, "%d errors and %d warnings reached; further messages suppressed."},
    {"errors_suppressed", 4019, "%d errors reached; further errors suppressed."},
    {"warnings_suppressed", 4020, "%d warnings reached; further warnings suppressed."},
    {"error_caption", 5000, "Error"},
    {"warning_caption", 5001, "Warning"},
    {"user_cancel", 5016, "Operation canceled by user."},
    {"internal_error", 5017, "Internal error."},
    {"cannot_open", 5023, "Cannot open file '%s'."},
};
class MessageText : public ::testing::TestWithParam<TextCase> {};
TEST_P(MessageText, Exact) { EXPECT_EQ(string_resource(GetParam().id), GetParam().text); }
INSTANTIATE_TEST_SUITE_P(All, MessageText, ::testing::ValuesIn(kTexts),
                         [](const auto &i) { return std::string(i.param.name); });
