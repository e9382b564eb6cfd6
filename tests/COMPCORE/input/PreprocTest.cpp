// Preprocessor: keyword matching, the macro table, reporters by compile mode, expansion limits.
#include "driver/CC_DUM.h"
#include "InputHarness.h"

#include <gtest/gtest.h>

using namespace input_test;

struct KeywordCase {
    const char *name;
    const char *input;
    const char *word;
    int matched;
    std::size_t advance;
};
static const KeywordCase kKeywords[] = {
    {"int_not_in_integer", "integer", "int", 0, 0},
    {"int_before_blank", "int x", "int", 1, 3},
    {"operator_needs_no_boundary", "++", "+", 1, 1},
    {"use_not_in_useix", "#useix", "#use", 0, 0},
    {"use_before_quote", "#use\"a\"", "#use", 1, 4},
};
class PreprocKeyword : public ::testing::TestWithParam<KeywordCase> {};
TEST_P(PreprocKeyword, WordBoundary) {
    set_input_pointer(GetParam().input);
    EXPECT_EQ(match_keyword(GetParam().word), GetParam().matched);
    EXPECT_EQ(static_cast<std::size_t>(input_pointer() - GetParam().input), GetParam().advance);
}
INSTANTIATE_TEST_SUITE_P(All, PreprocKeyword, ::testing::ValuesIn(kKeywords),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(PreprocMacroTable, RedefinitionRulesAndBuiltins) {
    Result r = run_text("#define X 1\n#define X  1 \n#define X 2\nX\n#undef __DATE__\n#undef NOPE\n");
    EXPECT_EQ(r.texts(), "1\n");
    EXPECT_EQ(summaries(r), (std::vector<std::string>{"Invalid redefinition of macro 'X'.",
                                                      "The builtin macro __DATE__ cannot be undefined."}));
}

// The name hash over signed bytes, with the top nibble folded back in on long names; the macro
// table and the named emit-cache table both spread their names with it.
TEST(PreprocMacroTable, NameHashFoldsSignedBytes) {
    EXPECT_EQ(macro_name_hash(""), 0u);
    EXPECT_EQ(macro_name_hash("AB"), 0x452u);
    EXPECT_EQ(macro_name_hash("\xFF"), 0x0FFFFF0Fu) << "a byte above 127 counts as negative";
    EXPECT_EQ(macro_name_hash("long_macro_name"), 0x0DA404F5u);
    EXPECT_EQ(MacroSymbolTable<macroinfo>::bucket_of("long_macro_name"), 0x0DA404F5u % 4001);
}

TEST(PreprocMacroTable, BoardTypeIsKeptWithoutPermission) {
    Result r = run_text("#undef _BOARD_TYPE_\n_BOARD_TYPE_\n", [] {
        set_board_type_permission(false);
        define_macro("_BOARD_TYPE_", "0x1200");
    });
    EXPECT_EQ(r.texts(), "0x1200\n");
    EXPECT_EQ(summaries(r), std::vector<std::string>{"Redefinition of _BOARD_TYPE_ is not allowed."});
}

TEST(PreprocMacroTable, FlashSizeFollowsMacrosAndStopsOnCycles) {
    macro_table().clear();
    EXPECT_EQ(get_flash_size(), 0u);
    define_macro("FLASH_SIZE", "FLASH_MB");
    define_macro("FLASH_MB", "0x40");
    EXPECT_EQ(get_flash_size(), 0x40000u);
    macro_table().clear();
    define_macro("FLASH_SIZE", "FLASH_SIZE");
    EXPECT_EQ(get_flash_size(), 0u);
}

TEST(PreprocReporters, CompileModesDecideBetweenRecordAndThrow) {
    reset_errors();
    reset_input_state();
    set_warning_switches(1, 1);
    set_compile_mode_word(1);
    EXPECT_NO_THROW(trivial_warning_here("%s", "quiet"));
    EXPECT_THROW(error_here("%s", "bad"), xWatch);
    set_compile_mode_word(2);
    EXPECT_THROW(serious_warning_here("%s", "loud"), xWatch);
    set_warning_switches(0, 1);
    EXPECT_NO_THROW(serious_warning_here("%s", "off"));
    set_compile_mode_word(0);
    set_warning_switches(1, 1);
    EXPECT_EQ(gMessageList, nullptr);
    EXPECT_THROW(fatal_here("%s", "first"), xCCErrOvflo);
    EXPECT_NO_THROW(fatal_here("%s", "second"));
    EXPECT_EQ(message_record_count(), 1);
    reset_error_seen_and_fatal();
    reset_input_state();
}

TEST(PreprocExpansion, LimitsOfDefinitionsAndCalls) {
    std::string params, args;
    for (int i = 0; i < 33; ++i) {
        params += (i ? ",p" : "p") + std::to_string(i);
        args += i ? ",1" : "1";
    }
    Result r = run_text("#define M(" + params + ") x\n#define G(a) a\nG(" + args + ")\n");
    EXPECT_EQ(summaries(r), (std::vector<std::string>{"Parameter limit exceeded in macro definition.",
                                                      "Too many arguments in macro call."}));
    EXPECT_EQ(find_macro_value("M"), nullptr);
}

TEST(PreprocExpansion, At128DifferentMacrosInOneLineTheCallIsRemoved) {
    std::string src, line;
    for (int i = 0; i < 128; ++i) {
        src += "#define M" + std::to_string(i) + " v\n";
        line += "M" + std::to_string(i) + " ";
    }
    Result r = run_text(src + line + "\n");
    ASSERT_EQ(r.lines.size(), 1u);
    std::size_t vs = std::count(r.lines[0].text.begin(), r.lines[0].text.end(), 'v');
    EXPECT_EQ(vs, 127u);
    EXPECT_EQ(summaries(r), std::vector<std::string>{"Too many nested macros."});
}

TEST(PreprocExpansion, RunawayExpansionEndsWithFatalMessage) {
    std::string src = "#define A0 x x\n";
    for (int i = 1; i < 20; ++i)
        src += "#define A" + std::to_string(i) + " A" + std::to_string(i - 1) + " A" +
               std::to_string(i - 1) + "\n";
    Result r = run_text(src + "A19\nnever\n");
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(summaries(r), std::vector<std::string>{"Not enough memory for long line."});
}

TEST(PreprocExpansion, EscapeByteInParameterisedBodyIsRefused) {
    Result r = run_text("#define F(a) a \x1b" "0\x1b\nF(1)\n");
    EXPECT_EQ(find_macro_value("F"), nullptr);
    EXPECT_EQ(summaries(r), std::vector<std::string>{"Illegal control character in macro body."});
}

TEST(PreprocExpansion, ExpandedCharactersKeepTheMacroNamePosition) {
    Result r = run_text("#define TWO 1 + 1\nx =   TWO;\n");
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].text, "x = 1 + 1;");
    EXPECT_EQ(r.lines[0].line, 2);
}

// Expansion markers travel beside the characters, so the marker bytes in user text are text
// (26 is a blank of the logical line, like any other blank).
struct ControlByteCase {
    const char *name;
    std::string source;
    std::string expected;
};
static const ControlByteCase kControlBytes[] = {
    {"marker_sequence_in_plain_text", "x \x1b\x1a\x1d\x05 y\n", "x \x1b \x1d\x05 y\n"},
    {"marker_sequence_in_object_body", "#define M a\x1b\x1a\x1d\x01 b\nM M\n",
     "a\x1b \x1d\x01 b a\x1b \x1d\x01 b\n"},
    {"escape_digit_escape_in_object_body", "#define EM a\x1b" "0\x1b\nEM\n", "a\x1b" "0\x1b\n"},
    {"escape_digit_escape_without_parameters", "#define EM() q\x1b" "0\x1b\nEM()\n", "q\x1b" "0\x1b\n"},
    // Inside a literal the sequence survives whole: read as an exit marker of F's slot it would
    // reopen F, and G's F(1) would expand a second time.
    {"exit_marker_sequence_in_literal_argument",
     "#define G F(1)\n#define F(a) a G\nF(\"\x1b\x1a\x1d\x01\")\n",
     "\"\x1b\x1a\x1d\x01\" F(1)\n"},
    // Read as an entry marker it would leave M open, and the second M would stay unexpanded.
    {"entry_marker_sequence_in_literal_body", "#define M 'm' \"\x1b\x1a\x1d\xff\"\nM M\n",
     "'m' \"\x1b\x1a\x1d\xff\" 'm' \"\x1b\x1a\x1d\xff\"\n"},
};
class PreprocControlBytes : public ::testing::TestWithParam<ControlByteCase> {};
TEST_P(PreprocControlBytes, KeptAsWritten) {
    Result r = run_text(GetParam().source);
    EXPECT_EQ(r.texts(), GetParam().expected);
    EXPECT_TRUE(r.messages.empty());
}
INSTANTIATE_TEST_SUITE_P(All, PreprocControlBytes, ::testing::ValuesIn(kControlBytes),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(PreprocExpansion, SelfAndMutualReferenceExpandOnceAcrossLines) {
    Result r = run_text("#define SELF (SELF + 1)\n#define P Q\n#define Q P\nSELF\nP\nQ\nSELF P\n");
    EXPECT_EQ(r.texts(), "(SELF + 1)\nP\nQ\n(SELF + 1) P\n");
}

TEST(PreprocExpansion, OneHundredTwentySevenNestedMacrosAreAccepted) {
    std::string src = "#define N0 end\n";
    for (int i = 1; i < 127; ++i)
        src += "#define N" + std::to_string(i) + " N" + std::to_string(i - 1) + "\n";
    Result r = run_text(src + "N126\n");
    EXPECT_EQ(r.texts(), "end\n");
    EXPECT_TRUE(r.messages.empty());
    Result deeper = run_text(src + "#define N127 N126\nN127\n");
    EXPECT_EQ(summaries(deeper), std::vector<std::string>{"Too many nested macros."});
}

struct PredefinedCase {
    const char *name;
    PredefinedMacroContext ctx;
    const char *targetcpu, *no_bios, *debug_rst, *targetless;
};
static const PredefinedCase kPredefined[] = {
    {"vireon_with_bios", {true, 1, true, 0, false}, "F80", "0", "1", "0"},
    {"z180_without_bios_rst_kernel", {true, 0, false, 1, true}, "Z180", "1", "0", "1"},
    {"i80386", {true, 5, true, 0, false}, "I80386", "0", "1", "0"},
};
class PreprocPredefined : public ::testing::TestWithParam<PredefinedCase> {};
TEST_P(PreprocPredefined, BiosCompileInstallsThemInAnEmptyTable) {
    const PredefinedCase &c = GetParam();
    macro_table().clear();
    define_macro("LEFT_OVER", "1");
    install_predefined_macros(c.ctx);
    EXPECT_EQ(find_macro_value("LEFT_OVER"), nullptr);
    const char *cpus[] = {"Z180", "F80", "I8086", "I80186", "I80286", "I80386"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(find_macro_value(cpus[i])->text, std::to_string(i)) << cpus[i];
    EXPECT_EQ(find_macro_value("TARGETCPU")->text, c.targetcpu);
    EXPECT_EQ(find_macro_value("NO_BIOS")->text, c.no_bios);
    EXPECT_EQ(find_macro_value("DEBUG_RST")->text, c.debug_rst);
    EXPECT_EQ(find_macro_value("_TARGETLESS_COMPILE_")->text, c.targetless);
    EXPECT_EQ(macro_table().size(), 10u);
}
INSTANTIATE_TEST_SUITE_P(All, PreprocPredefined, ::testing::ValuesIn(kPredefined),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(PreprocPredefinedProgram, ProgramCompileKeepsWhatTheBiosLeft) {
    macro_table().clear();
    define_macro("FROM_BIOS", "1");
    install_predefined_macros(PredefinedMacroContext{});
    EXPECT_NE(find_macro_value("FROM_BIOS"), nullptr);
    EXPECT_EQ(find_macro_value("TARGETCPU"), nullptr);
}

TEST(PreprocBuiltins, DateAndTimeAreQuotedTexts) {
    macro_table().clear();
    update_builtin_macros(false, 0, false);
    const std::string date = find_macro_value("__DATE__")->text;
    const std::string time = find_macro_value("__TIME__")->text;
    ASSERT_EQ(date.size(), 13u) << date;
    EXPECT_EQ(date.front(), '"');
    EXPECT_EQ(date.back(), '"');
    EXPECT_EQ(date[4], ' ');
    EXPECT_EQ(date[7], ' ');
    ASSERT_EQ(time.size(), 10u) << time;
    EXPECT_EQ(time[3], ':');
    EXPECT_EQ(time[6], ':');
    update_builtin_macros(true, 42, false);
    EXPECT_EQ(find_macro_value("__LINE__")->text, "42");
    EXPECT_EQ(find_macro_value("__DATE__")->text, date) << "a line update leaves the date";
}

struct ConstExprCase {
    const char *name;
    const char *operand;
    uint8_t severity;
    int32_t value;
    const char *message; // "" none
    bool stops;
};
static const ConstExprCase kConstExpr[] = {
    {"value", "0x10 + 2 * 3", 1, 22, "", false},
    {"identifier_fatal", "addr", 0, 0, "Constant expression expected.", true},
    {"identifier_error", "addr", 1, 0, "Constant expression expected.", false},
    {"identifier_warning", "addr", 2, 0, "Constant expression expected.", false},
    {"identifier_silent", "addr", 3, 0, "", false},
};
class PreprocConstExpr : public ::testing::TestWithParam<ConstExprCase> {};
TEST_P(PreprocConstExpr, SeverityDecidesTheReport) {
    const ConstExprCase &c = GetParam();
    reset_errors();
    reset_error_seen_and_fatal();
    reset_input_state();
    set_warning_switches(1, 1);
    set_input_pointer(c.operand);
    int32_t v = -1;
    bool stopped = false;
    try {
        v = expect_const_expr(c.severity);
    } catch (const xCCErrOvflo &) {
        stopped = true;
    }
    EXPECT_EQ(stopped, c.stops);
    if (!stopped) {
        EXPECT_EQ(v, c.value);
    }
    auto got = collect_messages();
    if (*c.message == 0) {
        EXPECT_TRUE(got.empty());
    } else {
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].summary, c.message);
    }
    reset_error_seen_and_fatal();
    reset_input_state();
}
INSTANTIATE_TEST_SUITE_P(All, PreprocConstExpr, ::testing::ValuesIn(kConstExpr),
                         [](const auto &i) { return std::string(i.param.name); });

// The preprocessor reads names by the scanner's one rule: a byte from 128 up is a letter, so
// such a name is defined, expanded and undefined like any other.
struct IdentifierCase {
    const char *name;
    const char *input;
    const char *texts;
    std::vector<std::string> summaries;
};
static const IdentifierCase kIdentifiers[] = {
    {"e9_first", "#define \xE9t 7\n\xE9t\n", "7\n", {}},
    {"high_byte_inside", "#define a\xFF\x80 2\na\xFF\x80 a\n", "2 a\n", {}},
    {"undef", "#define \xE9 1\n#undef \xE9\n\xE9\n", "\xE9\n", {}},
    {"ifdef", "#define \xE9t\n#ifdef \xE9t\nyes\n#endif\n", "yes\n", {}},
    {"digit_first", "#define 9x 1\n", "", {"Illegal symbol name '9x'."}},
};
class PreprocIdentifier : public ::testing::TestWithParam<IdentifierCase> {};
TEST_P(PreprocIdentifier, OneRuleWithTheScanner) {
    Result r = run_text(GetParam().input);
    EXPECT_EQ(r.texts(), GetParam().texts);
    EXPECT_EQ(summaries(r), GetParam().summaries);
}
INSTANTIATE_TEST_SUITE_P(All, PreprocIdentifier, ::testing::ValuesIn(kIdentifiers),
                         [](const auto &i) { return std::string(i.param.name); });
