// The argument list of a call read from its last argument to its first: the text the lexer reads
// instead, the argument count, the source positions every character keeps, nesting, the limit
// of 50 arguments, and the input put back behind the list.
#include "InputHarness.h"

#include "CC_ARGREV.h"
#include "CC_ER.h"
#include "CC_IN.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class ArgumentReversal : public ::testing::Test {
protected:
    std::string text;
    void SetUp() override
    {
        reset_errors();
        set_reporting(true);
    }
    void TearDown() override
    {
        set_input_pointer("");
        reset_errors();
    }
    std::vector<std::string> summaries() const
    {
        std::vector<std::string> out;
        for (const input_test::Message &m : input_test::collect_messages())
            out.push_back(m.summary);
        return out;
    }
};

struct ListCase {
    const char *name;
    const char *list;  // behind the call's "("
    const char *reversed;
    int count;
};

const ListCase kLists[] = {
    {"empty", ") + 1", ")", 0},
    {"blank", "  ) + 1", ")", 0},
    {"one", "x) + 1", "x)", 1},
    {"two", "a, b) + 1", " b,a)", 2},
    {"inner_call_unchanged", "n, f(1, 2), \"s,t\") + 1", " \"s,t\", f(1, 2),n)", 3},
    {"commas_in_characters", "',', '\\'', c) + 1", " c, '\\'',',')", 3},
    {"escaped_quote_in_string", "\"a\\\",b\", 2) + 1", " 2,\"a\\\",b\")", 2},
    {"parentheses_group", "(a, b), c) + 1", " c,(a, b))", 2},
};

class Lists : public ArgumentReversal, public ::testing::WithParamInterface<ListCase> {};

TEST_P(Lists, AreReadLastArgumentFirst)
{
    text = GetParam().list;
    set_input_pointer(text.c_str());
    {
        ReverseFunctionArguments reversed;
        ASSERT_TRUE(reversed.active());
        EXPECT_EQ(std::string(input_pointer()), GetParam().reversed);
        EXPECT_EQ(reversed_argument_count(), GetParam().count);
        EXPECT_EQ(reversed_argument_depth(), 1);
    }
    EXPECT_EQ(std::string(input_pointer()), " + 1") << "behind the list's \")\"";
    EXPECT_EQ(reversed_argument_depth(), 0);
    EXPECT_TRUE(summaries().empty());
}

INSTANTIATE_TEST_SUITE_P(All, Lists, ::testing::ValuesIn(kLists),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ArgumentReversal, NestedListsAreReversedInTheirTurn)
{
    text = "a, g(b, c)) ;";
    set_input_pointer(text.c_str());
    ReverseFunctionArguments outer;
    ASSERT_EQ(std::string(input_pointer()), " g(b, c),a)");
    advance_input(3);  // " g("
    {
        ReverseFunctionArguments inner;
        EXPECT_EQ(std::string(input_pointer()), " c,b)");
        EXPECT_EQ(reversed_argument_depth(), 2);
    }
    EXPECT_EQ(std::string(input_pointer()), ",a)") << "the inner guard puts back the outer text";
}

TEST_F(ArgumentReversal, FiftyArgumentsAreTheMost)
{
    std::string fifty;
    for (int i = 0; i < 50; ++i)
        fifty += (i ? "," : "") + std::to_string(i);
    text = fifty + ") ;";
    set_input_pointer(text.c_str());
    {
        ReverseFunctionArguments reversed;
        EXPECT_TRUE(reversed.active());
        EXPECT_EQ(reversed_argument_count(), 50);
        EXPECT_EQ(std::string(input_pointer()).substr(0, 6), "49,48,");
    }
    EXPECT_TRUE(summaries().empty());

    text = fifty + ",50,51) ;";
    set_input_pointer(text.c_str());
    {
        ReverseFunctionArguments reversed;
        EXPECT_FALSE(reversed.active());
        EXPECT_EQ(std::string(input_pointer()), " ;") << "the list is read over";
    }
    EXPECT_EQ(summaries(), std::vector<std::string>{"Function call too long."});
    EXPECT_EQ(std::string(input_pointer()), " ;");
}

// A list over three source lines: each character of the reversed text reports the line and
// column it stands at in the source.
TEST_F(ArgumentReversal, CharactersKeepTheirSourcePositions)
{
    struct Seen {
        char c;
        int line;
        int column;
    };
    std::vector<Seen> seen;
    std::string after;
    bool done = false;
    input_test::TempSource src("int v = f(first,\n          second,\n  third) + 1;\n");
    input_test::FakeLibraryIndex index = input_test::default_index();
    input_test::InputSeamsGuard seams;
    macro_table().clear();
    reset_errors();
    set_library_index(&index);
    set_program_file(src.path());
    set_preamble_context(false, 0x851, false);
    reset_input_state();
    reset_line_position(0, 0);
    update_builtin_macros(false, 0, false);
    read_all_lines([&](const char *line) {
        const char *call = std::strstr(line, "f(");
        if (done || !call)
            return;
        advance_input(static_cast<size_t>(call - line) + 2);
        {
            ReverseFunctionArguments reversed;
            ASSERT_TRUE(reversed.active());
            while (*input_pointer()) {
                seen.push_back({*input_pointer(), current_line(), current_column()});
                advance_input(1);
            }
        }
        after = input_pointer();
        done = true;
    });
    close_line_input();
    ASSERT_TRUE(done);
    std::string reversed_text;
    for (const Seen &s : seen)
        reversed_text += s.c;
    EXPECT_EQ(reversed_text, "third,second,first)");
    const auto at = [&](size_t i) { return std::pair{seen.at(i).line, seen.at(i).column}; };
    EXPECT_EQ(at(0), (std::pair{3, 3})) << "t of third";
    EXPECT_EQ(at(6), (std::pair{2, 11})) << "s of second";
    EXPECT_EQ(at(13), (std::pair{1, 11})) << "f of first";
    EXPECT_EQ(at(18).first, 3) << "the \")\" stands where the list's own did";
    EXPECT_EQ(after, " + 1;");
}

}  // namespace
