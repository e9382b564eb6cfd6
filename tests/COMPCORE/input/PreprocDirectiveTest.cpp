// Directive dispatch: "#pragma" words, origin directives, "#linenum", "#useix", the nowarn forms
// and regions, "__FILE__" across files, and the source positions of expanded characters.
#include "InputHarness.h"
#include "SeamDoubles.h"
#include "core/SEAM_TARGET.h"

#include <gtest/gtest.h>

using namespace input_test;

namespace {

// Directive state that outlives one compile is put back after every test.
class PreprocDirective : public ::testing::Test {
protected:
    std::vector<std::string> calls;

    CodegenSeam *m_codegen = nullptr;

    void SetUp() override {
        m_codegen = &codegen_seam();
        restore();
    }
    void TearDown() override {
        restore();
        set_codegen_seam(m_codegen);
    }

    static void restore() {
        set_directive_handlers({});
        set_origin_switch(1);
        set_decl_flag_word(0);
        set_board_type_permission(false);
        set_asm_context(1);
        set_compile_mode_word(0);
        set_warning_switches(1, 1);
        set_codegen_seam(&headless_codegen());
        headless_codegen().calls.clear();
    }

    // Handlers that note which of them ran.
    DirectiveHandlers recording_handlers() {
        DirectiveHandlers h;
        h.compile_bios = [this] { calls.push_back("bios"); };
        h.compile_program = [this] { calls.push_back("program"); };
        h.origin = [this](int kind, std::string_view word) {
            calls.push_back("origin " + std::to_string(kind) + " " + std::string(word));
        };
        h.select_target_cpu = [this](int cpu) { calls.push_back("cpu " + std::to_string(cpu)); };
        h.select_xmem_code_cache = [this](int d) { calls.push_back("debug " + std::to_string(d)); };
        h.corg = [this] { calls.push_back("corg"); };
        h.dorg = [this] { calls.push_back("dorg"); };
        return h;
    }
};

} // namespace

struct PragmaCase {
    const char *name;
    const char *line;
    std::vector<std::string> calls;
    const char *targetcpu; // "TARGETCPU" afterwards
    std::vector<std::string> messages;
};
static const PragmaCase kPragmas[] = {
    {"compile_bios", "#pragma CompileBIOS", {"bios"}, "F80", {}},
    {"compile_program", "#pragma CompileProgram", {"program"}, "F80", {}},
    {"two_words_on_one_line", "#pragma CompileBIOS  CompileProgram", {"bios", "program"}, "F80", {}},
    {"zilog180", "#pragma Zilog180", {"cpu 1"}, "Z180", {}},
    {"vireon_then_nowarn", "#pragma Vireon nowarn", {"cpu 0"}, "F80", {}},
    {"unknown_word_stops_the_line", "#pragma Frobnicate Zilog180", {}, "F80",
     {"unrecognized token 'Frobnicate Zilog180' ignored"}},
    {"word_needs_its_boundary", "#pragma CompileBIOSX", {}, "F80",
     {"unrecognized token 'CompileBIOSX' ignored"}},
    {"datawait_bad_word", "#pragma DATAWAITSUSED maybe", {}, "F80",
     {"Value of DATAWAITSUSED unchanged by pragma."}},
    {"macro_in_pragma_line", "#define WORD CompileProgram\n#pragma WORD", {"program"}, "F80", {}},
};
class PreprocPragma : public PreprocDirective, public ::testing::WithParamInterface<PragmaCase> {};
TEST_P(PreprocPragma, WordsRunInOrder) {
    const PragmaCase &c = GetParam();
    Result r = run_text(std::string(c.line) + "\nnext\n", [this] {
        set_directive_handlers(recording_handlers());
        define_macro("TARGETCPU", "F80");
    });
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(find_macro_value("TARGETCPU")->text, c.targetcpu);
    EXPECT_EQ(origin_switch(), std::string(c.targetcpu) == "Z180" ? 0 : 1);
    EXPECT_EQ(summaries(r), c.messages) << dump(r);
    EXPECT_EQ(r.texts(), "next\n");
}
INSTANTIATE_TEST_SUITE_P(All, PreprocPragma, ::testing::ValuesIn(kPragmas),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(PreprocDirective, DataWaitWordsSetAndClearTheFlag) {
    run_text("#pragma DATAWAITSUSED on\n");
    EXPECT_EQ(data_wait_flag(), 1);
    run_text("#pragma DATAWAITSUSED on\n#pragma DATAWAITSUSED off\n");
    EXPECT_EQ(data_wait_flag(), 0);
}

TEST_F(PreprocDirective, ProcessorPragmaReachesTheCodeGeneratorWithoutAHandler) {
    run_text("#pragma Zilog180\n#pragma Vireon\n");
    EXPECT_EQ(headless_codegen().calls,
              (std::vector<std::string>{"select_target_cpu 1", "select_target_cpu 0"}));
}

struct OriginCase {
    const char *name;
    const char *line;
    int kind;
};
static const OriginCase kOrigins[] = {
    {"rcodorg", "#rcodorg root 0x0 0x6000 0x2000", 1},
    {"xcodorg", "#xcodorg xmem 0x0 0xE000 0x1000", 2},
    {"wcodorg", "#wcodorg w 0x0 0x100 0x100", 3},
    {"rvarorg", "#rvarorg v 0x0 0xC000 0x1000", 4},
    {"wvarorg", "#wvarorg w 0x0 0xB000 0x100", 4},
    {"rconorg", "#rconorg c 0x0 0x3000 0x100", 7},
};
class PreprocOrigin : public PreprocDirective, public ::testing::WithParamInterface<OriginCase> {};
TEST_P(PreprocOrigin, DispatchedWithItsKindOnlyForTheVireonFamily) {
    const OriginCase &c = GetParam();
    Result on = run_text(std::string(c.line) + "\n", [this] { set_directive_handlers(recording_handlers()); });
    EXPECT_EQ(calls, std::vector<std::string>{"origin " + std::to_string(c.kind) + " #" + c.name});
    EXPECT_EQ(on.texts(), "");

    calls.clear();
    Result off = run_text(std::string(c.line) + "\n", [this] {
        set_directive_handlers(recording_handlers());
        set_origin_switch(0);
    });
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(off.texts(), std::string(c.line) + "\n") << "handed on to the parser";
}
INSTANTIATE_TEST_SUITE_P(All, PreprocOrigin, ::testing::ValuesIn(kOrigins),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(PreprocDirective, DeprecatedOriginsWarnAndStillRun) {
    Result r = run_text("#corg 0 0x100\n#dorg 0 0x200\n", [this] { set_directive_handlers(recording_handlers()); });
    EXPECT_EQ(calls, (std::vector<std::string>{"corg", "dorg"}));
    EXPECT_EQ(summaries(r), (std::vector<std::string>{"#corg is depricated. Use #rcodorg or #xcodorg instead.",
                                                      "#dorg is depricated. Use #rvarorg instead."}));
}

TEST_F(PreprocDirective, FlagDirectivesAndUseIsNotTakenForUseix) {
    // Without the RST 28 debug kernel the program text starts with the debug bits clear, so only
    // the directives' own bits show.
    const uint8_t kernel = gDebugRstState;
    gDebugRstState = 1;
    struct RestoreKernel {
        uint8_t state;
        ~RestoreKernel() { gDebugRstState = state; }
    } restore_kernel{kernel};
    Result r = run_text("#useix\n#step\n#debug\n", [this] { set_directive_handlers(recording_handlers()); });
    EXPECT_EQ(decl_flag_word(), 0x810);
    EXPECT_EQ(no_ix_word(), 0);
    EXPECT_EQ(calls, std::vector<std::string>{"debug 1"});
    EXPECT_TRUE(r.messages.empty()) << dump(r) << "#useix must not look up a library";
    run_text("#useix\n#nouseix\n#step\n#nostep\n#nodebug\n");
    EXPECT_EQ(decl_flag_word(), 0);
    EXPECT_EQ(no_ix_word(), 1);
}

TEST_F(PreprocDirective, IncludeIsRefused) {
    Result r = run_text("#include \"stdio.h\"\nx\n");
    EXPECT_EQ(summaries(r), std::vector<std::string>{"\"#include\" not supported. Please use \"#use\" instead."});
    EXPECT_EQ(r.texts(), "x\n");
}

// "#linenum n" names its own line n: the next line is n + 1, the lines after it count on from
// there, and so do their messages.
TEST_F(PreprocDirective, LinenumRenumbersTheFollowingProgramLines) {
    Result r = run_text("a\n#linenum 100\nb\n#define N 9\n#linenum N\nc\n#error \"here\"\n");
    ASSERT_EQ(r.lines.size(), 3u) << dump(r);
    EXPECT_EQ(r.lines[0].line, 1);
    EXPECT_EQ(r.lines[1].line, 101);
    EXPECT_EQ(r.lines[2].line, 10);
    ASSERT_EQ(r.messages.size(), 1u) << dump(r);
    EXPECT_EQ(r.messages[0].line, 11);
}

TEST_F(PreprocDirective, FunctnumSetsTheCounterBelowTheNextNumber) {
    run_text("#functnum 40\n");
    EXPECT_EQ(function_number(), 39);
}

// "#pragma nowarn" forms. Register-named macros give the trivial warnings; "#warns" the serious.
struct NowarnCase {
    const char *name;
    const char *source;
    std::vector<std::string> messages; // "line: summary"
};
static const NowarnCase kNowarn[] = {
    {"one_line_covers_the_next_line_only", "#pragma nowarn\n#define HL 1\n#define BC 1\n",
     {"3: Macro name \"BC\" matches a register name. Change the macro name to remove this warning."}},
    {"plain_form_keeps_serious_warnings", "#pragma nowarn\n#warns \"s\"\n", {"2: s"}},
    {"warns_switches_both_for_one_line", "#pragma nowarn warns\n#warns \"s\"\n#warns \"t\"\n", {"3: t"}},
    {"region_until_end", "#pragma nowarn warns start\n#warns \"a\"\n#define HL 1\n#pragma nowarn end\n#warns \"b\"\n",
     {"5: b"}},
    {"end_without_start", "#pragma nowarn end\n", {"1: Unmatched #pragma nowarn end."}},
    {"nested_start_reports_and_end_restores_reduced",
     "#pragma nowarn warns start\n#pragma nowarn start\n#pragma nowarn end\n#warns \"hidden\"\n#define HL 1\n",
     {"2: Cannot nest #pragma nowarn."}},
    {"unknown_option", "#pragma nowarn warnt bogus words\n#define HL 1\n",
     {"1: Unrecognized option \"bogus words\" for #pragma nowarn."}},
    {"errors_are_never_suppressed", "#pragma nowarn warns start\n#error \"e\"\n#pragma nowarn end\n", {"2: e"}},
};
class PreprocNowarn : public PreprocDirective, public ::testing::WithParamInterface<NowarnCase> {};
TEST_P(PreprocNowarn, Messages) {
    Result r = run_text(GetParam().source);
    std::vector<std::string> got;
    for (const auto &m : r.messages)
        got.push_back(std::to_string(m.line) + ": " + m.summary);
    EXPECT_EQ(got, GetParam().messages) << dump(r);
}
INSTANTIATE_TEST_SUITE_P(All, PreprocNowarn, ::testing::ValuesIn(kNowarn),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(PreprocDirective, RegionLeftOpenInALibraryIsReportedWhenTheFileChanges) {
    TempSource src("#use \"quiet.lib\"\n#define HL 1\n");
    FakeLibraryIndex idx = default_index();
    idx.add({"C:\\LIB\\QUIET.LIB", "x\n  #pragma nowarn start\ny\n", ""});
    Result r = run_input(src.path(), &idx);
    ASSERT_EQ(r.messages.size(), 2u) << dump(r);
    EXPECT_EQ(r.messages[0].summary, "Unclosed #pragma nowarn.");
    EXPECT_EQ(r.messages[0].file, "C:\\LIB\\QUIET.LIB");
    EXPECT_EQ(r.messages[0].line, 2);
    EXPECT_EQ(r.messages[1].line, 2) << "warnings are back on in the program";
    EXPECT_EQ(r.messages[1].file, src.path());
}

TEST_F(PreprocDirective, RegionLeftOpenAtTheEndOfAllInputIsReported) {
    Result r = run_text("a\n#pragma nowarn start\n#define HL 1\n");
    ASSERT_EQ(r.messages.size(), 1u) << dump(r);
    EXPECT_EQ(r.messages[0].summary, "Unclosed #pragma nowarn.");
    EXPECT_EQ(r.messages[0].line, 2);
    EXPECT_FALSE(nowarn_region_open());
}

TEST_F(PreprocDirective, FileMacroFollowsTheFileBeingRead) {
    TempSource src("__FILE__\n#use \"util.lib\"\n__FILE__ __LINE__\n");
    FakeLibraryIndex idx = default_index();
    idx.add({"C:\\LIB\\UTIL.LIB", "hdr __FILE__ __LINE__\n", "body __FILE__\n"});
    Result r = run_input(src.path(), &idx);
    ASSERT_EQ(r.lines.size(), 4u) << dump(r);
    EXPECT_EQ(r.lines[0].text, "\"" + src.path() + "\"");
    EXPECT_EQ(r.lines[1].text, "hdr \"C:\\\\LIB\\\\UTIL.LIB\" 1");
    EXPECT_EQ(r.lines[2].text, "\"" + src.path() + "\" 3");
    EXPECT_EQ(r.lines[3].text, "body \"C:\\\\LIB\\\\UTIL.LIB\"");
}

TEST_F(PreprocDirective, UndefOfABuiltinOrTheBoardTypeKeepsTheMacro) {
    Result r = run_text("#undef __LINE__\n#undef _BOARD_TYPE_\n#undef\n__LINE__ _BOARD_TYPE_\n",
                        [] { define_macro("_BOARD_TYPE_", "0x2100"); });
    EXPECT_EQ(summaries(r), (std::vector<std::string>{"The builtin macro __LINE__ cannot be undefined.",
                                                      "Redefinition of _BOARD_TYPE_ is not allowed.",
                                                      "Illegal symbol name ''."}));
    EXPECT_EQ(r.texts(), "4 0x2100\n");
    Result allowed = run_text("#undef _BOARD_TYPE_\n_BOARD_TYPE_\n", [] {
        set_board_type_permission(true);
        define_macro("_BOARD_TYPE_", "0x2100");
    });
    EXPECT_TRUE(allowed.messages.empty()) << dump(allowed);
    EXPECT_EQ(allowed.texts(), "_BOARD_TYPE_\n");
}

// Columns of every character of an expanded line: body text at the macro name, argument text
// where the user wrote it, also when the argument list runs over two lines. The lexer's pointer
// walks each line; the reporters' position is asked at every character.
struct CharPos {
    char c;
    int line;
    int column;
};

static std::vector<std::vector<CharPos>> walk_positions(const std::string &source) {
    TempSource src(source);
    FakeLibraryIndex idx = default_index();
    std::vector<std::vector<CharPos>> lines;
    run_input(src.path(), &idx, [&] {
        // Read the whole input here, character by character, before the harness does.
        reset_line_position(0, 0);
        for (;;) {
            fetch_next_line();
            dispatch_directive();
            std::vector<CharPos> line;
            for (const char *p = input_pointer(); *p; advance_input(1), p = input_pointer())
                line.push_back({*p, current_line(), current_column()});
            if (!line.empty())
                lines.push_back(line);
            if (end_of_input())
                break;
        }
    });
    return lines;
}

static std::string text_of(const std::vector<CharPos> &line) {
    std::string s;
    for (const CharPos &p : line)
        s += p.c;
    return s;
}

TEST_F(PreprocDirective, ArgumentCharactersKeepTheirOwnLineAndColumn) {
    auto lines = walk_positions("#define ID(a) [a]\n#define W 5\nx = ID(  yy) + W;\n"
                                "#define P(a, b) a b\nP(q,\n    zz)\n");
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_EQ(text_of(lines[0]), "x = [yy] + 5;");
    const int want_cols[] = {1, 2, 3, 4, 5, 10, 11, 5, 13, 14, 15, 16, 17};
    for (std::size_t i = 0; i < lines[0].size(); ++i) {
        EXPECT_EQ(lines[0][i].line, 3) << "char " << i;
        EXPECT_EQ(lines[0][i].column, want_cols[i]) << "char " << i << " '" << lines[0][i].c << "'";
    }
    ASSERT_EQ(text_of(lines[1]), "q zz");
    EXPECT_EQ(lines[1][0].line, 5);
    EXPECT_EQ(lines[1][0].column, 3);
    EXPECT_EQ(lines[1][2].line, 6);
    EXPECT_EQ(lines[1][2].column, 5);
}

TEST_F(PreprocDirective, NestedArgumentsKeepTheirPositionsThroughTwoMacros) {
    auto lines = walk_positions("#define IN(a) (a)\n#define OUT(b) IN(b)\nOUT( k )\n");
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(text_of(lines[0]), "(k)");
    EXPECT_EQ(lines[0][0].column, 1) << "body text: the outer macro name";
    EXPECT_EQ(lines[0][1].column, 6) << "the argument as written";
}

TEST_F(PreprocDirective, DefineInsideAnAssemblyBlockIsReportedAndStillDefines) {
    Result r = run_text("#define WIDTH 8\n", [] { set_asm_context(0); });
    EXPECT_EQ(summaries(r), std::vector<std::string>{
                                "Using #define forbidden in assembly blocks is forbidden. Place the #define before or after the block"});
    ASSERT_NE(find_macro_value("WIDTH"), nullptr);
    EXPECT_EQ(find_macro_value("WIDTH")->text, "8");
}
