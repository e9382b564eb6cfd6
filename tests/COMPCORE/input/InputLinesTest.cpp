// Source input: preamble, line ends, "#use", brackets, logical lines and conditional sections.
#include "InputHarness.h"

#include "parser/CC_DECL.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "core/SEAM_TARGET.h"
#include "SeamDoubles.h"

#include <gtest/gtest.h>

using namespace input_test;

TEST(InputPreamble, ProgramCompileUsesDefaultLibraryThenLineOne) {
    TempSource src("int x;\n");
    FakeLibraryIndex idx = default_index();
    idx.libs[0].headers = "int from_default;\n";
    Result r = run_input(src.path(), &idx);
    ASSERT_EQ(r.lines.size(), 2u) << dump(r);
    EXPECT_EQ(r.lines[0].text, "int from_default;");
    EXPECT_EQ(r.lines[1].text, "int x;");
    EXPECT_EQ(r.lines[1].line, 1);
    EXPECT_TRUE(r.messages.empty()) << dump(r);
}

TEST(InputPreamble, BiosCompileDefinesVersionMacros) {
    TempSource src("CC_VER __Korvex__ ROM\n");
    InputSeamsGuard seams;
    reset_errors();
    set_compile_mode_word(0);
    set_library_index(nullptr);
    set_program_file(src.path());
    set_preamble_context(true, 0x851, false);
    reset_input_state();
    reset_line_position(0, 0);
    std::vector<std::string> raw;
    for (int i = 0; i < 5; ++i) {
        const char *l = get_source_line();
        ASSERT_NE(l, nullptr);
        raw.push_back(l);
    }
    EXPECT_EQ(raw[0], "#define ROM 1");
    EXPECT_EQ(raw[1], "#define CC_VER 0x851");
    EXPECT_EQ(raw[2], "");
    EXPECT_EQ(raw[3], "#define __Korvex__ 0x851");
    EXPECT_EQ(raw[4], "CC_VER __Korvex__ ROM");
    EXPECT_EQ(get_source_line(), nullptr);
    set_preamble_context(false, 0x851, false);
}

struct LineEndCase {
    const char *name;
    const char *text;
};
static const LineEndCase kLineEnds[] = {
    {"lf", "a1\nb2\n\nc3\n"},
    {"crlf", "a1\r\nb2\r\n\r\nc3\r\n"},
    {"cr", "a1\rb2\r\rc3\r"},
    {"no_final_newline", "a1\nb2\n\nc3"},
};
class InputLineEnds : public ::testing::TestWithParam<LineEndCase> {};
TEST_P(InputLineEnds, SameLinesAndNumbers) {
    Result r = run_text(GetParam().text);
    ASSERT_EQ(r.lines.size(), 3u) << dump(r);
    EXPECT_EQ(r.lines[0].text, "a1");
    EXPECT_EQ(r.lines[1].text, "b2");
    EXPECT_EQ(r.lines[2].text, "c3");
    EXPECT_EQ(r.lines[2].line, 4);
}
TEST_P(InputLineEnds, LibraryLinesSplitTheSameWay) {
    EXPECT_EQ(split_source_lines(GetParam().text), (std::vector<std::string>{"a1", "b2", "", "c3"}));
}
INSTANTIATE_TEST_SUITE_P(All, InputLineEnds, ::testing::ValuesIn(kLineEnds),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(InputLines, LongPhysicalLineIsReadWholeAndLaterLinesKeepTheirNumbers) {
    std::string longline(5000, 'x');
    Result r = run_text(longline + "\nnext\n");
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0].text, longline);
    EXPECT_EQ(r.lines[1].text, "next");
    EXPECT_EQ(r.lines[1].line, 2);
}

TEST(InputLines, NulByteIsReportedAndReadAsBlank) {
    Result r = run_text(std::string("a\0b\nc\n", 6));
    ASSERT_EQ(r.lines.size(), 2u) << dump(r);
    EXPECT_EQ(r.lines[0].text, "a b");
    EXPECT_TRUE(has_message(r, "Null character in source line.", 1)) << dump(r);
}

TEST(InputLines, MissingSourceFileIsReported) {
    FakeLibraryIndex idx = default_index();
    Result r = run_input("/nonexistent/dir/missing.c", &idx);
    EXPECT_TRUE(r.lines.empty());
    EXPECT_TRUE(has_message(r, "Cannot open source file /nonexistent/dir/missing.c.")) << dump(r);
}

TEST(InputUse, LibraryHeadersAreReadOnceAndMissingOneIsReported) {
    TempSource src("#use \"util.lib\"\n#use \"UTIL.LIB\"\n#use \"nope.lib\"\nmain\n");
    FakeLibraryIndex idx = default_index();
    idx.add({"C:\\LIB\\Util.lib", "util_header;\n", "util_body;\n"});
    Result r = run_input(src.path(), &idx);
    EXPECT_EQ(r.texts(), "util_header;\nmain\nutil_body;\n") << dump(r);
    ASSERT_EQ(r.messages.size(), 1u) << dump(r);
    EXPECT_EQ(r.messages[0].summary, "'NOPE.LIB' cannot be found.");
    EXPECT_EQ(r.messages[0].line, 3);
    EXPECT_EQ(r.lines[0].file, "C:\\LIB\\Util.lib");
    EXPECT_EQ(r.lines[1].line, 4);
}

TEST(InputUse, CycleBetweenLibrariesEnds) {
    TempSource src("#use \"a.lib\"\nend\n");
    FakeLibraryIndex idx = default_index();
    idx.add({"a.lib", "#use \"b.lib\"\nin_a\n", ""});
    idx.add({"b.lib", "#use \"a.lib\"\nin_b\n", ""});
    Result r = run_input(src.path(), &idx);
    EXPECT_EQ(r.texts(), "in_b\nin_a\nend\n") << dump(r);
    EXPECT_TRUE(r.messages.empty()) << dump(r);
}

struct BracketCase {
    const char *name;
    const char *source;
    const char *message;
    int line;
};
static const BracketCase kBrackets[] = {
    {"close_paren_alone", "a\n)\n", "Unmatched ')'.", 2},
    {"open_brace_left", "{\nx\n", "Unmatched '{'.", 1},
    {"mismatch_names_open_line", "(\n\n]\n", "']' doesn't match open token on line 1.", 3},
    {"comment_open_at_end", "x\n/* never\nclosed\n", "Comment open at end of file.", 2},
};
class InputBrackets : public ::testing::TestWithParam<BracketCase> {};
TEST_P(InputBrackets, Reported) {
    TempSource src(GetParam().source);
    FakeLibraryIndex idx = default_index();
    reset_errors();
    InputSeamsGuard seams;
    Result r;
    {
        // Brackets are noted by the parsers as they read; here every character is noted.
        reset_error_seen_and_fatal();
        set_compile_mode_word(0);
        set_library_index(&idx);
        set_program_file(src.path());
        set_preamble_context(false, 0x851, false);
        reset_input_state();
        reset_line_position(0, 0);
        for (;;) {
            fetch_next_line();
            dispatch_directive();
            while (char c = *input_pointer()) {
                note_bracket(c, current_line(), current_column());
                advance_input(1);
            }
            if (end_of_input())
                break;
        }
        report_unmatched_brackets();
        r.messages = collect_messages();
    }
    EXPECT_TRUE(has_message(r, GetParam().message, GetParam().line)) << dump(r);
    EXPECT_EQ(bracket_depth(), 0u);
}
INSTANTIATE_TEST_SUITE_P(All, InputBrackets, ::testing::ValuesIn(kBrackets),
                         [](const auto &i) { return std::string(i.param.name); });

struct LogicalCase {
    const char *name;
    const char *source;
    const char *expected;
};
static const LogicalCase kLogical[] = {
    {"block_comment_is_one_blank", "a /* c */ b\n", "a  b\n"},
    {"blank_runs_shrink", "  a \t\t b   c\n", "a b c\n"},
    {"continuation_joins", "int \\\nx;\n", "int x;\n"},
    {"line_comment_backslash_swallows_next", "x = 1; // note \\\ny = 2;\nz\n", "x = 1;\nz\n"},
    {"string_keeps_comment_marks", "s = \"/* no */ // no\";\n", "s = \"/* no */ // no\";\n"},
    {"string_continued_by_backslash", "s = \"ab\\\ncd\";\n", "s = \"abcd\";\n"},
    {"multi_line_comment", "a /* 1\n2\n3 */ b\nc\n", "a  b\nc\n"},
    {"unterminated_literal_ends_line", "s = \"open\nnext\n", "s = \"open\nnext\n"},
};
class InputLogicalLines : public ::testing::TestWithParam<LogicalCase> {};
TEST_P(InputLogicalLines, Text) {
    Result r = run_text(GetParam().source);
    EXPECT_EQ(r.texts(), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(All, InputLogicalLines, ::testing::ValuesIn(kLogical),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(InputLogicalLines, ContinuedDefineKeepsBothLineNumbers) {
    Result r = run_text("#define A 1 + \\\n   2\nA\n");
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].text, "1 + 2");
    EXPECT_EQ(r.lines[0].line, 3);
    macroinfo *a = find_macro_value("A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text, "1 + 2");
}

TEST(InputLogicalLines, ColumnsMapBackThroughCommentsAndBlanks) {
    Result r = run_text("   /* xx */  word\n");
    ASSERT_EQ(r.lines.size(), 1u);
    // The line starts after the comment's blank; the word keeps its column in the file.
    EXPECT_EQ(r.lines[0].text, "word");
    EXPECT_EQ(r.lines[0].column, 14);
}

TEST(InputAssembly, SemicolonCommentAndRegisterApostrophe) {
    Result r = run_text("ld a, b ; load\nex af, af'\nc x = 1; y = 2;\n", [] { set_asm_context(0); });
    set_asm_context(1);
    EXPECT_EQ(r.texts(), "ld a, b\nex af, af'\nc x = 1; y = 2;\n");
}

struct CondCase {
    const char *name;
    const char *source;
    const char *expected;
};
static const CondCase kConds[] = {
    {"if0_nested_if1_else", "#if 0\n#if 1\nA\n#endif\nB\n#else\nC\n#endif\n", "C\n"},
    {"if1_elif1_else", "#if 1\nA\n#elif 1/0\nB\n#else\nC\n#endif\n", "A\n"},
    {"if0_elif1", "#if 0\nA\n#elif 2 > 1\nB\n#else\nC\n#endif\n", "B\n"},
    {"elif_holding_group_then_else", "#if 1\nA\n#elif 1\n#ifdef X\n#endif\n#else\nC\n#endif\n", "A\n"},
    {"ifdef_ifndef", "#define X\n#ifdef X\nA\n#endif\n#ifndef X\nB\n#endif\n#ifndef Y\nC\n#endif\n",
     "A\nC\n"},
    {"if_uses_macros", "#define N 3\n#if N * 2 == 6 && (N | 4) == 7\nyes\n#else\nno\n#endif\n",
     "yes\n"},
    {"skipped_directives_not_run", "#if 0\n#define Q 1\n#error \"no\"\n#endif\nQ\n", "Q\n"},
};
class InputConditionals : public ::testing::TestWithParam<CondCase> {};
TEST_P(InputConditionals, Sections) {
    Result r = run_text(GetParam().source);
    EXPECT_EQ(r.texts(), GetParam().expected) << dump(r);
    EXPECT_TRUE(r.messages.empty()) << dump(r);
}
INSTANTIATE_TEST_SUITE_P(All, InputConditionals, ::testing::ValuesIn(kConds),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(InputConditionals, StrayEndifAndUnclosedGroupsInnerFirst) {
    Result r = run_text("#endif\n#if 1\n#ifdef Z\nx\n");
    ASSERT_EQ(r.messages.size(), 3u) << dump(r);
    EXPECT_EQ(r.messages[0].summary, "No matching #if, #ifdef, or #ifndef.");
    EXPECT_EQ(r.messages[1].summary, "Unterminated conditional directive.");
    EXPECT_EQ(r.messages[2].summary, "Unterminated conditional directive.");
    EXPECT_EQ(r.messages[1].line, 2);
    EXPECT_EQ(r.messages[2].line, 3);
}

TEST(InputConditionals, MissingIdentifierOpensGroupAsSpecified) {
    Result r = run_text("#ifndef\nA\n#endif\n#ifdef\nB\n#endif\n");
    EXPECT_EQ(r.texts(), "A\n");
    ASSERT_EQ(r.messages.size(), 2u) << dump(r);
    EXPECT_EQ(r.messages[0].summary, "Invalid or missing macro identifier.");
}

TEST(InputConditionals, IfExpressionEndsWithItsLine) {
    Result r = run_text("#if 1 +\n0\nA\n#endif\n");
    EXPECT_EQ(summaries(r), std::vector<std::string>{"Invalid expression."}) << dump(r);
    EXPECT_TRUE(has_message(r, "Invalid expression.", 1)) << dump(r);
    EXPECT_EQ(r.texts(), "0\nA\n") << "the line after the condition is no part of it";
}

class EditorText : public SourceEditorText {
public:
    std::vector<std::string> lines;
    int GetSourceLineCount() override { return static_cast<int>(lines.size()); }
    std::string GetSourceLine(int line) override { return lines[line]; }
};

TEST(InputEditor, ExpressionCompileReadsEditorTextFromItsPosition) {
    InputSeamsGuard seams;
    EditorText ed;
    ed.lines = {"int a;", "  x = y + 1;", "z"};
    set_source_editor_text(&ed);
    reset_errors();
    set_compile_mode_word(1);
    set_program_file("prog.c");
    reset_input_state();
    reset_line_position(2, 7);
    fetch_next_line();
    dispatch_directive();
    EXPECT_STREQ(input_pointer(), "y + 1;");
    EXPECT_EQ(current_line(), 2);
    EXPECT_EQ(current_column(), 7);
    fetch_next_line();
    dispatch_directive();
    EXPECT_STREQ(input_pointer(), "z");
    set_compile_mode_word(0);
}

TEST(InputEditor, ErrorInExpressionCompileThrowsWatch) {
    set_compile_mode_word(1);
    EXPECT_THROW(error_here("%s", "bad"), xWatch);
    set_compile_mode_word(0);
}

// The same text read from the file, from an open editor's unsaved text and, in an expression
// compile, from the editor's lines gives the same lines at the same positions.
TEST(InputEditor, FileUnsavedTextAndEditorLinesGiveTheSameLines) {
    const std::string text = "int a;\r\n  b = 2; /* c */\r\n\r\nlast";
    Result from_file = run_text(text);
    FakeLibraryIndex idx = default_index();
    Result unsaved = run_input("unsaved.c", &idx, [&] { set_program_text(text); });
    set_program_file("");
    ASSERT_EQ(from_file.texts(), "int a;\nb = 2;\nlast\n");
    EXPECT_EQ(unsaved.texts(), from_file.texts());
    for (std::size_t i = 0; i < from_file.lines.size(); ++i) {
        EXPECT_EQ(unsaved.lines[i].line, from_file.lines[i].line);
        EXPECT_EQ(unsaved.lines[i].column, from_file.lines[i].column);
    }
    EXPECT_TRUE(unsaved.messages.empty()) << dump(unsaved);

    InputSeamsGuard seams;
    EditorText ed;
    ed.lines = split_lines(text);
    set_source_editor_text(&ed);
    reset_errors();
    set_compile_mode_word(1);
    set_program_file("prog.c");
    reset_input_state();
    reset_line_position(1, 1);
    std::vector<OutLine> got;
    for (;;) {
        fetch_next_line();
        dispatch_directive();
        if (*input_pointer())
            got.push_back({input_pointer(), current_line(), current_column(), ""});
        if (end_of_input())
            break;
    }
    set_compile_mode_word(0);
    ASSERT_EQ(got.size(), from_file.lines.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].text, from_file.lines[i].text);
        EXPECT_EQ(got[i].line, from_file.lines[i].line);
        EXPECT_EQ(got[i].column, from_file.lines[i].column);
    }
}

// Bad input ends with a message and loses no later line; nothing hangs.
struct BadInputCase {
    const char *name;
    std::string source;
    const char *expected_text;
    const char *message; // "" when none
    int line;
    bool stops;
};
static const BadInputCase kBadInput[] = {
    {"literal_open_at_end_of_file", "a;\ns = \"never closed", "a;\ns = \"never closed\n",
     "\" is missing/expected.", 2, false},
    {"char_literal_open_at_end_of_file", "c = 'x", "c = 'x\n", "' is missing/expected.", 1, false},
    {"comment_open_at_end_of_file", "a;\n/* open", "a;\n", "Comment open at end of file.", 2, false},
    {"backslash_at_end_of_file", "a \\", "a\n", "", 0, false},
    {"nul_bytes", std::string("x\0\0y;\nz;\n", 9), "x y;\nz;\n", "Null character in source line.", 1,
     false},
    {"line_past_the_buffer_limit", std::string(40000, 'q') + "\nafter\n", "",
     "Not enough memory for long line.", 1, true},
    {"arguments_open_at_end_of_file", "#define FN(a) a\nFN(1,\n2\n", "", "')' is missing/expected.", 2,
     false},
    {"function_name_at_end_of_file", "#define FN(a) a\nx FN", "x FN\n", "", 0, false},
};
class InputBadInput : public ::testing::TestWithParam<BadInputCase> {};
TEST_P(InputBadInput, ClearMessageAndNoHang) {
    const BadInputCase &c = GetParam();
    Result r = run_text(c.source);
    EXPECT_EQ(r.stopped, c.stops);
    if (!c.stops) {
        EXPECT_EQ(r.texts(), c.expected_text) << dump(r);
    }
    if (*c.message == 0) {
        EXPECT_TRUE(r.messages.empty()) << dump(r);
        return;
    }
    ASSERT_EQ(r.messages.size(), 1u) << dump(r);
    EXPECT_EQ(r.messages[0].summary, c.message);
    EXPECT_EQ(r.messages[0].line, c.line);
}
INSTANTIATE_TEST_SUITE_P(All, InputBadInput, ::testing::ValuesIn(kBadInput),
                         [](const auto &i) { return std::string(i.param.name); });

struct ApostropheCase {
    const char *name;
    const char *text;
    int expected;
};
static const ApostropheCase kApostrophes[] = {
    {"alternate_pair", "ex af,af'", 1},
    {"after_blank", "ex af, af'", 1},
    {"upper_case_pair", "EX AF,AF'", 1},
    {"alone_at_start", "bc'", 1},
    {"literal_after_comma", "ld a,'", 0},
    {"literal_after_blank", "db '", 0},
    {"not_a_register", "ld a,x'", 0},
    {"number", "ld a,12'", 0},
    {"c_statement_assignment", "c ch='", 0},
    {"bracketed_operand", "ld a,(hl)'", 0},
    {"non_ascii_byte", "ld a,\xe9'", 0},
    {"no_apostrophe_at_end", "ex af,af", 0},
    {"empty", "", 0},
};
class InputRegisterApostrophe : public ::testing::TestWithParam<ApostropheCase> {};
TEST_P(InputRegisterApostrophe, FollowsARegisterName) {
    reset_errors();
    EXPECT_EQ(is_register_apostrophe(GetParam().text), GetParam().expected);
    EXPECT_EQ(gMessageList, nullptr) << "no internal error for user text";
}
INSTANTIATE_TEST_SUITE_P(All, InputRegisterApostrophe, ::testing::ValuesIn(kApostrophes),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(InputAssembly, CharacterLiteralsInAssemblyAndCStatementsStayWhole) {
    Result r = run_text("ld a,';'\nc ch=';'; x = 1;\nld a, 'q' ; remark\n", [] { set_asm_context(0); });
    set_asm_context(1);
    EXPECT_EQ(r.texts(), "ld a,';'\nc ch=';'; x = 1;\nld a, 'q'\n") << dump(r);
    EXPECT_TRUE(r.messages.empty()) << dump(r);
}

// The line and its number, as the pending-module reads below note each line.
static std::string line_at_number(const std::string &line) {
    return line + "@" + std::to_string(current_line()) + " ";
}

// The top-level loop calls compile_pending_modules between declarations; here every line is one.
// `note` says what each line read contributes to the result.
static std::string read_with_pending_modules(
    uint16_t pending, const std::function<std::string(const std::string &)> &note = line_at_number) {
    TempSource src("a\nb\nc\n");
    FakeLibraryIndex idx = default_index();
    idx.add({"LIB/MODS.LIB", "", "body1\nbody2\n"});
    std::string out;
    run_input(src.path(), &idx, [&] {
        reset_line_position(0, 0);
        fetch_next_line();
        dispatch_directive();
        for (;;) {
            std::string line = input_pointer();
            if (!line.empty())
                out += note(line);
            clear_line();
            if (line == "a") {
                find_use_library("mods.lib"); // registers the library's modules
                idx.pending = pending;
            }
            compile_pending_modules(false);
            if (!*input_pointer()) {
                if (end_of_input())
                    break;
                fetch_next_line();
                dispatch_directive();
            }
        }
    });
    return out;
}

TEST(InputPendingModules, MoreThanSixtyFourPendingItemsCompileBeforeTheNextDeclaration) {
    EXPECT_EQ(read_with_pending_modules(64), "a@1 b@2 c@3 body1@1 body2@2 ");
    EXPECT_EQ(read_with_pending_modules(65), "a@1 b@2 body1@1 body2@2 c@3 ");
}

TEST(InputProgress, ShownAtTheFirstProgramLineAndEveryTenthAfter) {
    InputSeamsGuard seams;
    std::vector<int> shown;
    std::string text;
    for (int i = 1; i <= 25; ++i)
        text += "l" + std::to_string(i) + "\n";
    run_text(text, [&] { set_progress_reporter([&](uint16_t line) { shown.push_back(line); }); });
    EXPECT_EQ(shown, (std::vector<int>{1, 11, 21}));
}

TEST(InputInMemory, ExpressionLinesComeFromTheTableUntilANullEntry) {
    InputSeamsGuard seams;
    static const char *const kLines[] = {"x + 1", "  y", nullptr, "never"};
    reset_errors();
    set_compile_mode_word(1);
    reset_input_state();
    set_in_memory_lines(kLines, 4);
    clear_line_position();
    std::string got;
    for (;;) {
        fetch_next_line();
        dispatch_directive();
        got += std::string(input_pointer()) + "|";
        if (end_of_input())
            break;
    }
    EXPECT_EQ(got, "x + 1|y||");
}

// ---- debugger source ranges, line counts and the xmem code-cache selection ------------------

// Every stretch of source read without a change of file is one source range of the debugger:
// the program text up to a "#use", the library's headers, the program text again from the
// "#use" on. The preamble's own "#use" gives the default library's range and nothing for the
// preamble itself.
TEST(InputSourceRanges, ProgramTextAndUsedHeadersEachGetTheirRange) {
    TempSource src("a\n#use \"util.lib\"\nb\nc\n");
    FakeLibraryIndex idx = default_index();
    idx.add({"LIB/UTIL.LIB", "u1\nu2\n", ""});
    HeadlessBreakpointTables &tables = headless_breakpoint_tables();
    tables.clearBreakpoints();
    Result r = run_input(src.path(), &idx, [] { root_code_cache().SetAddress(0x4000); });
    set_current_code_cache(root_code_cache());
    EXPECT_EQ(r.texts(), "a\nu1\nu2\nb\nc\n") << dump(r);
    struct Seen {
        std::string file;
        int line, end_line;
        bool operator==(const Seen &) const = default;
    };
    std::vector<Seen> seen;
    for (const HeadlessBreakpointTables::Range &range : tables.ranges) {
        seen.push_back({range.file, range.line, range.end_line});
        EXPECT_EQ(range.start, 0x4000u);
    }
    const std::vector<Seen> expected = {{"LIB/DEFAULT.H", 0, 0},
                                        {src.path(), 0, 2},
                                        {"LIB/UTIL.LIB", 0, 2},
                                        {src.path(), 2, 4}};
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].file, expected[i].file) << "range " << i;
        EXPECT_EQ(seen[i].line, expected[i].line) << "range " << i;
        EXPECT_EQ(seen[i].end_line, expected[i].end_line) << "range " << i;
    }
    EXPECT_FALSE(tables.range_open) << "the last range is closed at the end of the text";
}

// An expression compiled at a source position opens its range there.
TEST(InputSourceRanges, ExpressionCompileOpensItsRangeAtItsPosition) {
    InputSeamsGuard seams;
    HeadlessBreakpointTables &tables = headless_breakpoint_tables();
    tables.clearBreakpoints();
    set_program_file("watched.c");
    set_compile_mode_word(1);
    reset_line_position(12, 5);
    set_compile_mode_word(0);
    ASSERT_TRUE(tables.range_open);
    EXPECT_EQ(tables.pending.file, "watched.c");
    EXPECT_EQ(tables.pending.line, 11);
    EXPECT_EQ(tables.pending.column, 4);
    tables.clearBreakpoints();
}

// The lines read of each file are counted under its number in the file-name list.
TEST(InputLineCounts, TheProgramFileCountsItsLines) {
    run_text("a\nb\nc\n");
    EXPECT_EQ(file_line_count(error_file_name_count() - 1), 3);
}

// Program text starts with debug code selected; pending library bodies compile without it,
// and the program's selection comes back after them.
TEST(InputCodeCacheSelection, ProgramDebugAndLibraryBodiesWithout) {
    const uint8_t kernel = gDebugRstState;
    gDebugRstState = 0;
    persistent_decl_flags().word = 0;
    const std::string seen = read_with_pending_modules(65, [](const std::string &line) {
        return line + ((persistent_decl_flags().word & 0x10) ? ":debug " : ":nodebug ");
    });
    gDebugRstState = kernel;
    persistent_decl_flags().word = 0;
    EXPECT_EQ(seen, "a:debug b:debug body1:nodebug body2:nodebug c:debug ");
}

// Pending library bodies compiled between two declarations interrupt the program text's range:
// it ends before them and starts again after them.
TEST(InputSourceRanges, PendingBodiesInterruptTheProgramRange) {
    HeadlessBreakpointTables &tables = headless_breakpoint_tables();
    tables.clearBreakpoints();
    (void)read_with_pending_modules(65);
    std::vector<std::pair<int, int>> program;
    for (const HeadlessBreakpointTables::Range &range : tables.ranges)
        if (range.file.find("LIB/") == std::string::npos)
            program.emplace_back(range.line, range.end_line);
    EXPECT_EQ(program, (std::vector<std::pair<int, int>>{{0, 1}, {1, 2}, {2, 3}}));
    tables.clearBreakpoints();
}
