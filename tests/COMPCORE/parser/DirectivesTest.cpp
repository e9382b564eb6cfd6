// The library, chain, precompile and message directives through the compile entry.
#include "CompileRunFixture.h"

#include "parser/CC_DECL.h"
#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "input/CC_IN.h"
#include "core/CC_STAB.h"
#include "HostDoubles.h"
#include "core/guiInterface.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace compile_run;

namespace {

std::string macro(const char *name)
{
    const macroinfo *m = find_macro_value(name);
    return m ? m->text : "(undefined)";
}

}  // namespace

// ---- "#use" ------------------------------------------------------------------------------------

// Quoted or not, the name is one library: entered once, recorded once (upper case) as a library
// of the BIOS.
TEST_F(CompileRun, QuotedAndUnquotedUseNameOneLibrary)
{
    add_library("x.lib", "#define FROM_X 1\nint x_value;\n");
    ASSERT_EQ(compile_bios("#use \"x.lib\"\n#use x.lib\n"), 0) << messages_text();
    EXPECT_EQ(macro("FROM_X"), "1");
    EXPECT_EQ(bios_library_names(), std::vector<std::string>{"X.LIB"});
    EXPECT_EQ(declarations.texts(), std::vector<std::string>{"int x_value;"})
        << "the headers were read once";
}

TEST_F(CompileRun, ProgramCompileRecordsNoBiosLibrary)
{
    add_library("x.lib", "");
    (void)compile_bios("");
    ASSERT_EQ(compile("#use x.lib\n"), 0) << messages_text();
    EXPECT_TRUE(bios_library_names().empty());
}

// The line input reports the open quote; the name is the rest of the line.
TEST_F(CompileRun, UseWithoutClosingQuoteTakesTheRestOfTheLine)
{
    add_library("x.lib", "#define FROM_X 1\n");
    (void)compile("#use \"x.lib\n");
    EXPECT_EQ(messages_text(), "1: \" is missing/expected.\n");
    EXPECT_EQ(macro("FROM_X"), "1");
}

TEST_F(CompileRun, UseNameFromAMacro)
{
    add_library("x.lib", "#define FROM_X 1\n");
    ASSERT_EQ(compile("#define LIB \"x.lib\"\n#use LIB\n"), 0) << messages_text();
    EXPECT_EQ(macro("FROM_X"), "1");
}

// A name longer than 259 characters is cut there, with the warning, and then looked up (the
// record keeps the beginning of the name it reports).
TEST_F(CompileRun, OverlongUseNameIsCut)
{
    EXPECT_EQ(compile("#use \"" + std::string(300, 'a') + "\"\n") & 2, 2);
    const std::vector<Message> got = messages();
    ASSERT_EQ(got.size(), 2u) << messages_text();
    EXPECT_EQ(got[0].summary.rfind("'" + std::string(100, 'A'), 0), 0u) << got[0].summary;
    EXPECT_EQ(got[1].summary, "Literal string too long, truncated.");
}

// ---- messages ----------------------------------------------------------------------------------

struct MessageCase {
    const char *name;
    const char *line;
    int16_t kind;
    const char *summary;
};

const MessageCase kMessages[] = {
    {"error_quoted", "#error \"a b\"", kMsgKindError, "a b"},
    {"error_unquoted", "#error a b  c", kMsgKindError, "a b c"},  // blanks come collapsed
    {"error_empty", "#error", kMsgKindError, ""},
    {"warns", "#warns \"careful\"", kMsgKindSerious, "careful"},
    {"warnt", "#warnt \"note\"", kMsgKindTrivial, "note"},
    {"macro_text", "#define WHY \"because\"\n#error WHY", kMsgKindError, "because"},
    {"quote_stops", "#error \"first\" second", kMsgKindError, "first"},
};

class MessageDirective : public CompileRun, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(MessageDirective, ReportsItsText)
{
    (void)compile(std::string(GetParam().line) + "\n");
    const std::vector<Message> got = messages();
    ASSERT_EQ(got.size(), 1u) << messages_text();
    EXPECT_EQ(got[0].kind, GetParam().kind);
    EXPECT_EQ(got[0].summary, GetParam().summary);
}

INSTANTIATE_TEST_SUITE_P(All, MessageDirective, ::testing::ValuesIn(kMessages),
                         [](const auto &i) { return std::string(i.param.name); });

// "#fatal" reports its text as an error and ends the compile: nothing after it is read.
TEST_F(CompileRun, FatalReportsThenEndsTheCompile)
{
    const uint16_t status = compile("#fatal \"stop here\"\n#error \"never\"\nint x;\n");
    EXPECT_EQ(status & 2, 2);
    EXPECT_EQ(messages_text(), "1: stop here\n");
    EXPECT_TRUE(declarations.lines.empty());
    EXPECT_TRUE(fatal_error_flag()) << "the compile ended by the fatal-error overflow (616)";
}

// ---- "#precompile" -----------------------------------------------------------------------------

class Precompile : public CompileRun {
protected:
    std::string status_line;
    void SetUp() override
    {
        CompileRun::SetUp();
        // "int f();" declares f; the line after the directive sees what it showed.
        declarations.on_line = [this](const std::string &text) {
            if (text == "int f();")
                (void)add_symbol("f", 3, 2, 0, 1, nullptr, 0);
            else if (auto *box = dynamic_cast<HeadlessStatusBox *>(gDialogControl.Box()))
                status_line = box->message_text;
        };
    }
};

TEST_F(Precompile, MarksKnownFunctionsAndReportsUnknownOnes)
{
    EXPECT_EQ(compile_bios("int f();\n#precompile f, g\nint after;\n") & 2, 2);
    EXPECT_EQ(messages_text(), "2: Precompile function undefined: g.\n");
    const symbol *f = find_symbol("f", false, kGlobalTable);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->precompile_mark, 1);
    EXPECT_EQ(status_line, "Pre-compiling f");
    EXPECT_FALSE(precompile_in_progress()) << "cleared at the end of the parse";
}

// A function that only "#precompile" names is wanted all the same: its library module is
// compiled with the BIOS, and a symbol that something referenced is marked for it (state 2).
TEST_F(Precompile, NamedFunctionsModuleIsCompiledWithTheBios)
{
    add_library("pre.lib", "/*** BeginHeader pre_one */\n/*** EndHeader */\n"
                           "#asm\npre_one::\n ld hl,0x1111\n ret\n#endasm\n"
                           "/*** BeginHeader pre_two */\n/*** EndHeader */\n"
                           "#asm\npre_two::\n ld hl,0x2222\n ret\n#endasm\n");
    declarations.on_line = [](const std::string &text) {
        if (text == "int pre_one();")
            add_symbol("pre_one", 3, 2, 0, 1, nullptr, 0)->reference_state = 1;
        else if (text == "int pre_two();")
            (void)add_symbol("pre_two", 3, 2, 0, 1, nullptr, 0);
    };
    ASSERT_EQ(compile_bios("#use pre.lib\nint pre_one();\nint pre_two();\n"
                           "#precompile pre_one, pre_two\n") & 2, 0)
        << messages_text();
    const auto sent = [this](std::vector<uint8_t> bytes) {
        return std::search(linker.image.begin(), linker.image.end(), bytes.begin(), bytes.end()) !=
               linker.image.end();
    };
    EXPECT_TRUE(sent({0x21, 0x11, 0x11, 0xC9})) << "pre_one compiled";
    EXPECT_TRUE(sent({0x21, 0x22, 0x22, 0xC9})) << "pre_two compiled";
    EXPECT_EQ(find_symbol("pre_one", false, kGlobalTable)->reference_state, 2);
    EXPECT_EQ(find_symbol("pre_two", false, kGlobalTable)->reference_state, 0)
        << "an unreferenced symbol stays unreferenced";
}

// Nothing defines the named function: its label is wanted and stays undefined.
TEST_F(Precompile, UndefinedNamedFunctionIsReportedAtTheEnd)
{
    EXPECT_EQ(compile_bios("int f();\n#precompile f\n") & 2, 2);
    EXPECT_EQ(messages_text(), "1: Undefined (but used) global label f\n");
}

TEST_F(Precompile, ProgramCompileWarnsFirst)
{
    EXPECT_EQ(compile("int f();\n#precompile f\n#asm\nf::\n ret\n#endasm\n"), 1) << messages_text();
    EXPECT_EQ(messages_text(),
              "2: #precompile must be used in the BIOS, or in a library used by the BIOS.\n");
    EXPECT_EQ(status_line, "") << "nothing after the directive";
}

TEST_F(Precompile, NeedsArguments)
{
    EXPECT_EQ(compile_bios("#precompile\n") & 2, 2);
    EXPECT_EQ(messages_text(), "1: The #precompile directive must have arguments.\n");
}

// ---- chains ------------------------------------------------------------------------------------

// A chain the directives made gets its routine and, as a program's chain, its symbol (state 1);
// a refused line makes none.
struct ChainCase {
    const char *name;
    const char *line;
    const char *messages;
    bool made;  // "mychain" was made
};

const ChainCase kChains[] = {
    {"funcchain", "#funcchain mychain setup\n#asm\nsetup::\n ret\n#endasm", "", true},
    {"funcchain_alone", "#funcchain", "1: Chain has no name.\n", false},
    {"funcchain_chain_only", "#funcchain mychain", "1: Missing function name.\n", false},
    {"makechain", "#makechain mychain", "", true},
    {"makechain_alone", "#makechain   ", "1: Chain has no name.\n", false},
    {"makechain_not_a_name", "#makechain 9lives", "1: Chain has no name.\n", false},
};

class ChainDirective : public CompileRun, public ::testing::WithParamInterface<ChainCase> {};

TEST_P(ChainDirective, DeclaresAddsOrReports)
{
    (void)compile(std::string(GetParam().line) + "\n");
    EXPECT_EQ(messages_text(), GetParam().messages);
    const symbol *chain = find_symbol("mychain", false, kGlobalTable);
    ASSERT_EQ(chain != nullptr, GetParam().made);
    if (chain) {
        EXPECT_EQ(chain->value, 1) << "defined by the program";
    }
}

INSTANTIATE_TEST_SUITE_P(All, ChainDirective, ::testing::ValuesIn(kChains),
                         [](const auto &i) { return std::string(i.param.name); });

// A program that made itself a BIOS with the pragma may not add to chains.
TEST_F(CompileRun, ChainsRefusedInAProgramMarkedAsBios)
{
    EXPECT_EQ(compile("#pragma CompileBIOS\n#funcchain c f\n") & 2, 2);
    EXPECT_EQ(messages_text(), "2: Chains not allowed in BIOS.\n");
    EXPECT_EQ(find_symbol("c", false, kGlobalTable), nullptr);
}
