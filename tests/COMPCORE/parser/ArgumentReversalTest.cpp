// The argument list of a call read from its last argument to its first: the text the lexer reads
// instead, the argument count, the source positions every character keeps, nesting, the limit
// of 50 arguments, and the input put back behind the list.
#include "InputHarness.h"

#include "parser/CC_ARGREV.h"
#include "core/CC_ER.h"
#include "input/CC_IN.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
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

struct Seen {
    char c;
    int line;
    int column;
};

// What the lexer reads of a text installed at the "f(" of a source file: every character with
// its position, and the input left behind once the guard is gone.
struct ReadBack {
    std::vector<Seen> seen;
    std::string after;
    bool done = false;
    std::string text() const
    {
        std::string out;
        for (const Seen &s : seen)
            out += s.c;
        return out;
    }
};

// `Guard` is made with the input just behind "f(" (or at the "(" with `at_parenthesis`); `read`
// then takes what the lexer reads.
template <class Guard>
ReadBack read_in_source(const char *source, bool at_parenthesis,
                        const std::function<void(Guard &, ReadBack &)> &read)
{
    ReadBack out;
    input_test::TempSource src(source);
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
        if (out.done || !call)
            return;
        advance_input(static_cast<size_t>(call - line) + (at_parenthesis ? 1 : 2));
        {
            Guard guard;
            read(guard, out);
        }
        out.after = input_pointer();
        out.done = true;
    });
    close_line_input();
    return out;
}

void read_to_end(ReadBack &out)
{
    while (*input_pointer()) {
        out.seen.push_back({*input_pointer(), current_line(), current_column()});
        advance_input(1);
    }
}

ReadBack reversed_in_source(const char *source)
{
    return read_in_source<ReverseFunctionArguments>(
        source, false, [](ReverseFunctionArguments &reversed, ReadBack &out) {
            ASSERT_TRUE(reversed.active());
            read_to_end(out);
        });
}

// A list over three source lines: each character of the reversed text reports the line and
// column it stands at in the source.
TEST_F(ArgumentReversal, CharactersKeepTheirSourcePositions)
{
    const ReadBack r = reversed_in_source("int v = f(first,\n          second,\n  third) + 1;\n");
    ASSERT_TRUE(r.done);
    EXPECT_EQ(r.text(), "third,second,first)");
    const auto at = [&](size_t i) { return std::pair{r.seen.at(i).line, r.seen.at(i).column}; };
    EXPECT_EQ(at(0), (std::pair{3, 3})) << "t of third";
    EXPECT_EQ(at(6), (std::pair{2, 11})) << "s of second";
    EXPECT_EQ(at(13), (std::pair{1, 11})) << "f of first";
    EXPECT_EQ(at(18).first, 3) << "the \")\" stands where the list's own did";
    EXPECT_EQ(r.after, " + 1;");
}

// Lines come without their outer blanks: a line end inside an argument stays a blank.
TEST_F(ArgumentReversal, ALineEndInsideAnArgumentSeparatesItsWords)
{
    const ReadBack r = reversed_in_source("int v = f(a +\n  b, sizeof\nx) + 1;\n");
    ASSERT_TRUE(r.done);
    EXPECT_EQ(r.text(), " sizeof x,a + b)");
    EXPECT_EQ(r.after, " + 1;");
}

// An unclosed string ends the list at the end of the input: nothing is read past it.
TEST_F(ArgumentReversal, AnUnclosedListEndsAtTheEndOfTheInput)
{
    const ReadBack r = reversed_in_source("int v = f(a, \"b, c\n");
    ASSERT_TRUE(r.done);
    EXPECT_EQ(r.text().back(), ')');
    EXPECT_EQ(reversed_argument_depth(), 0);
}

// A built-in's list kept for two readings: both read the same characters at the same places,
// over the lines the list spans, and the input then stands behind it.
TEST_F(ArgumentReversal, AListCopyIsReadTwiceAlike)
{
    ReadBack second;
    const ReadBack first = read_in_source<ArgumentListCopy>(
        "x = f(a,\n   g(b,\n c)) + 1;\n", true, [&](ArgumentListCopy &copy, ReadBack &out) {
            ASSERT_TRUE(copy.active());
            read_to_end(out);
            copy.rewind();
            read_to_end(second);
            EXPECT_TRUE(no_line_crossing()) << "the copy is read without crossing lines";
        });
    ASSERT_TRUE(first.done);
    EXPECT_EQ(first.text(), "(a,g(b, c))");
    EXPECT_EQ(second.text(), first.text());
    for (size_t i = 0; i < first.seen.size(); ++i) {
        EXPECT_EQ(second.seen[i].line, first.seen[i].line) << i;
        EXPECT_EQ(second.seen[i].column, first.seen[i].column) << i;
    }
    EXPECT_EQ(first.seen.at(3).line, 2) << "g of g(";
    EXPECT_EQ(first.after, " + 1;");
    EXPECT_FALSE(no_line_crossing());
}

}  // namespace
