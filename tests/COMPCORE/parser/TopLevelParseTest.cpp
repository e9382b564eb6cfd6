// The whole-program parse through the compile entry: top-level "#asm" blocks that run on the
// board stand-in, the top-level directives, the option stacks, garbage and the end of the parse.
#include "CompileRunFixture.h"

#include "parser/CC_DECL.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "input/CC_IN.h"
#include "core/CC_STAB.h"
#include "core/SEAM_SETTINGS.h"
#include "core/SEAM_TARGET.h"

#include <map>

#include <string>
#include <vector>

using namespace compile_run;

namespace {

// How many recorded messages carry the summary.
int count_of(const std::string &summary)
{
    int n = 0;
    for (const Message &m : messages())
        n += m.summary == summary;
    return n;
}

}  // namespace

// ---- top-level "#asm" ---------------------------------------------------------------------------

TEST_F(CompileRun, TopLevelAsmBlockRunsOnTheBoardAndLeavesItsRegisters)
{
    ASSERT_EQ(compile("#asm\n"
                      "  ld hl, 0x1234\n"
                      "  ld de, 0x5678\n"
                      "  add hl, de\n"
                      "  ld a, 0x2A\n"
                      "#endasm\n"),
              0)
        << messages_text();
    const vsim::RunResult r = run(kRootCode);
    EXPECT_EQ(r.reason, vsim::StopReason::breakpoint);
    EXPECT_TRUE(reg("HL", 0x68AC));
    EXPECT_TRUE(reg("DE", 0x5678));
    EXPECT_TRUE(reg("A", 0x2A));
}

// Two blocks follow each other in root code; what the first stores the second reads back.
TEST_F(CompileRun, ConsecutiveBlocksRunInOrderAndShareMemory)
{
    ASSERT_EQ(compile("#asm\n ld hl, 0x4321\n ld (0x9000), hl\n#endasm\n"
                      "#asm\n ld de, (0x9000)\n inc de\n#endasm\n"),
              0)
        << messages_text();
    run(kRootCode);
    EXPECT_TRUE(reg("DE", 0x4322));
    EXPECT_TRUE(memory(0x9000, {0x21, 0x43}));
}

TEST_F(CompileRun, CommentsOnlyProgramCompilesWithStatusZero)
{
    EXPECT_EQ(compile("// nothing here\n/* nor\n   here */\n\n   \n"), 0) << messages_text();
    EXPECT_TRUE(declarations.lines.empty());
    EXPECT_EQ(program_extent().root_start, program_extent().root_end) << "no chain, no code";
}

// Debug code ("rst 0x28", 0xEF, before each instruction) in a top-level block: only with the
// "debug" option, and only while the debug kernel breaks with RST 28 (state 0).
struct DebugCase {
    const char *name;
    const char *program;
    uint8_t rst_state;
    std::vector<uint8_t> bytes;
};

const DebugCase kDebugCases[] = {
    {"debug_option", "#asm debug\n ld a,1\n nop\n#endasm\n", 0, {0xEF, 0x3E, 0x01, 0xEF, 0x00}},
    {"plain", "#asm\n ld a,1\n nop\n#endasm\n", 0, {0x3E, 0x01, 0x00}},
    {"plain_after_rst", "#rst\n#asm\n ld a,1\n nop\n#endasm\n", 0, {0x3E, 0x01, 0x00}},
    {"nodebug_option", "#asm nodebug\n ld a,1\n nop\n#endasm\n", 0, {0x3E, 0x01, 0x00}},
    {"debug_without_rst_kernel", "#asm debug\n ld a,1\n nop\n#endasm\n", 1, {0x3E, 0x01, 0x00}},
    {"nodebug_after_debug", "#asm debug nodebug\n ld a,1\n#endasm\n", 0, {0x3E, 0x01}},
};

// A table of compiles that set the debug kernel's state, which each gives back.
template <class Case>
class KernelStateRun : public CompileRun, public ::testing::WithParamInterface<Case> {
protected:
    uint8_t saved_state = gDebugRstState;
    void TearDown() override
    {
        gDebugRstState = saved_state;
        CompileRun::TearDown();
    }
};

class AsmDebugCode : public KernelStateRun<DebugCase> {};

TEST_P(AsmDebugCode, RestartsOnlyWhereAsked)
{
    gDebugRstState = GetParam().rst_state;
    ASSERT_EQ(compile(GetParam().program), 0) << messages_text();
    EXPECT_EQ(sent_at(kRootCode, GetParam().bytes.size() + 1),
              [&] {
                  std::vector<uint8_t> v = GetParam().bytes;
                  v.push_back(0xFF);
                  return v;
              }());
}

INSTANTIATE_TEST_SUITE_P(All, AsmDebugCode, ::testing::ValuesIn(kDebugCases),
                         [](const auto &i) { return std::string(i.param.name); });

// The debug bit of the persistent flags: "#rst" and "#step" set it, "#norst" and "#nostep"
// clear it; the later one wins.
struct DebugBitCase {
    const char *name;
    const char *program;
    bool on;
};

const DebugBitCase kDebugBitCases[] = {
    {"rst", "#rst\n", true},
    {"step", "#step\n", true},
    {"step_then_norst", "#step\n#norst\n", false},
    {"rst_then_nostep", "#rst\n#nostep\n", false},
    {"norst_then_step", "#norst\n#step\n", true},
};

class DebugBit : public CompileRun, public ::testing::WithParamInterface<DebugBitCase> {};

TEST_P(DebugBit, LaterDirectiveWins)
{
    gDebugRstState = 1;  // keep the parse start from setting the bit itself
    ASSERT_EQ(compile(std::string(GetParam().program) + "int after;\n"), 0) << messages_text();
    gDebugRstState = 0;
    ASSERT_EQ(declarations.lines.size(), 1u);
    EXPECT_EQ((declarations.lines[0].flags & kDeclDebug) != 0, GetParam().on);
    EXPECT_EQ((persistent_decl_flags().word & kDeclDebug) != 0, GetParam().on);
}

INSTANTIATE_TEST_SUITE_P(All, DebugBit, ::testing::ValuesIn(kDebugBitCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CompileRun, AsmXmemBlockRunsInTheXmemWindow)
{
    ASSERT_EQ(compile("#asm xmem\n ld hl, 0x0BAD\n ld a, 7\n#endasm\n"), 0) << messages_text();
    EXPECT_EQ(sent_at(kXmemCode, 5), (std::vector<uint8_t>{0x21, 0xAD, 0x0B, 0x3E, 0x07}));
    EXPECT_EQ(sent_at(kRootCode, 1), std::vector<uint8_t>{0xFF}) << "nothing in root code";
    run(0xE000, 100, vsim::Breakpoint{0xE005, 2}, 2);
    EXPECT_EQ(last_run.reason, vsim::StopReason::breakpoint);
    EXPECT_TRUE(reg("HL", 0x0BAD));
    EXPECT_TRUE(reg("A", 0x07));
}

// Xmem origins declared "debug" and "nodebug" take the xmem code of their kind; the xmem code
// cache of all code keeps what neither takes, and code of a kind without its origin.
struct XmemKindCase {
    const char *name;
    const char *origins;
    std::vector<uint8_t> in_debug, in_nodebug, in_all;  // first bytes of each origin
};
const XmemKindCase kXmemKinds[] = {
    {"both_origins",
     "#xcodorg dbg 0x20 0xE000 0x1000 debug apply\n#xcodorg nod 0x30 0xE000 0x1000 nodebug apply\n",
     {0xEF, 0x3E, 0x01, 0xFF}, {0x3E, 0x02, 0x3E, 0x03}, {0xFF}},
    {"debug_origin_only", "#xcodorg dbg 0x20 0xE000 0x1000 debug apply\n",
     {0xEF, 0x3E, 0x01, 0xFF}, {0xFF}, {0x3E, 0x02, 0x3E, 0x03}},
    {"declared_not_applied", "#xcodorg dbg 0x20 0xE000 0x1000 debug\n", {0xFF}, {0xFF},
     {0xEF, 0x3E, 0x01, 0x3E}},
};

class XmemCodeKind : public KernelStateRun<XmemKindCase> {};

TEST_P(XmemCodeKind, GoesToTheOriginOfItsKind)
{
    const XmemKindCase &c = GetParam();
    gDebugRstState = 0;
    ASSERT_EQ(compile(std::string(c.origins) +
                      "#asm xmem debug\n ld a,1\n#endasm\n"
                      "#asm xmem nodebug\n ld a,2\n#endasm\n"
                      "#asm xmem\n ld a,3\n#endasm\n"),
              0)
        << messages_text();
    EXPECT_EQ(sent_at(make_addr(0x20, 0xE000), c.in_debug.size()), c.in_debug);
    EXPECT_EQ(sent_at(make_addr(0x30, 0xE000), c.in_nodebug.size()), c.in_nodebug);
    EXPECT_EQ(sent_at(kXmemCode, c.in_all.size()), c.in_all);
    EXPECT_EQ(&xmem_code_cache(), &live_caches().xmem_code) << "the parse ends on the cache of all code";
}

INSTANTIATE_TEST_SUITE_P(All, XmemCodeKind, ::testing::ValuesIn(kXmemKinds),
                         [](const auto &i) { return std::string(i.param.name); });

// A "const" block goes to the root code cache whatever the placement says.
TEST_F(CompileRun, ConstBlockStaysInRoot)
{
    ASSERT_EQ(compile("#memmap xmem\n#asm const\n db 1, 2, 3\n#endasm\n"), 0) << messages_text();
    EXPECT_EQ(sent_at(kRootCode, 3), (std::vector<uint8_t>{1, 2, 3}));
}

struct BadOptionCase {
    const char *name;
    const char *line;
    const char *summary;
};

const BadOptionCase kBadOptions[] = {
    {"identifier", "#asm foo", "Unknown assembler directive \"foo\"."},
    {"plus_sign", "#asm +", "Unknown assembler directive \"+\"."},
    {"after_a_good_option", "#asm nodebug bar", "Unknown assembler directive \"bar\"."},
};

class AsmBadOption : public CompileRun, public ::testing::WithParamInterface<BadOptionCase> {};

// The bad option is reported once and consumed: the block still compiles.
TEST_P(AsmBadOption, ReportedOnceAndTheBlockCompiles)
{
    EXPECT_EQ(compile(std::string(GetParam().line) + "\n nop\n ld a, 3\n#endasm\n") & 2, 2);
    const std::vector<Message> got = messages();
    ASSERT_EQ(got.size(), 1u) << messages_text();
    EXPECT_EQ(got[0].summary, GetParam().summary);
    EXPECT_EQ(got[0].line, 1);
    EXPECT_EQ(sent_at(kRootCode, 3), (std::vector<uint8_t>{0x00, 0x3E, 0x03}));
}

INSTANTIATE_TEST_SUITE_P(All, AsmBadOption, ::testing::ValuesIn(kBadOptions),
                         [](const auto &i) { return std::string(i.param.name); });

// Between items the xmem code cache moves on to the next page where no jump is needed: an xmem
// item that ended at xpc 2, 0xF002 lets the next item begin at xpc 3, 0xE002 (the same physical
// address, 0x11002, with no jump before it).
TEST_F(CompileRun, NextItemAfterAPageEndStartsOnTheNextPageWithoutAJump)
{
    declarations.on_line = [](const std::string &) {
        // an xmem item that leaves the cache 0x1002 bytes into the window
        set_current_code_cache(xmem_code_cache());
        xmem_code_cache().EmitRepeat(0x00, 0x1002);
    };
    ASSERT_EQ(compile("int filler;\n#asm xmem\n ld a, 9\n#endasm\n"), 0) << messages_text();
    EXPECT_EQ(xmem_code_cache().current, make_addr(3, 0xE004));
    EXPECT_EQ(linker.image[0x11002], 0x3E);
    EXPECT_EQ(linker.image[0x11003], 0x09);
}

// An xmem block that itself runs past the first 4 KB of the window reserves room after its last
// line, and that reservation crosses the page with a jump.
TEST_F(CompileRun, XmemBlockRunningPastThePageEndJumpsToTheNextPage)
{
    std::string block = "#asm xmem\n";
    for (int i = 0; i < 0x1002 / 2; ++i)
        block += " dw 0\n";
    block += "#endasm\n#asm xmem\n ld a, 9\n#endasm\n";
    ASSERT_EQ(compile(block), 0) << messages_text();
    EXPECT_EQ(linker.image[0x11002], 0xC7) << "ljp";
    EXPECT_EQ(linker.image[0x11006], 0x3E);
    EXPECT_EQ(xmem_code_cache().current, make_addr(3, 0xE008));
}

// ---- option stacks -----------------------------------------------------------------------------

TEST_F(CompileRun, TwentiethMemmapPushIsOneTooMany)
{
    std::string program;
    for (int i = 0; i < 20; ++i)
        program += "#memmap push xmem\n";
    EXPECT_EQ(compile(program) & 2, 2);
    EXPECT_EQ(count_of("Too many options stacked up."), 1) << messages_text();
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].line, 20);
    EXPECT_EQ(current_placement(), kPlaceXmem);
    EXPECT_EQ(placement_stack_index(), 19);
}

TEST_F(CompileRun, PopAtTheBaseIsReportedAndChangesNothing)
{
    EXPECT_EQ(compile("#memmap push root\n#memmap pop\n#memmap pop\n") & 2, 2);
    EXPECT_EQ(messages_text(), "3: No more options to pop.\n");
    EXPECT_EQ(placement_stack_index(), 0);
    EXPECT_EQ(current_placement(), kPlaceAnymem);
}

// Pushes left unbalanced by one compile do not carry into the next.
TEST_F(CompileRun, EveryCompileStartsFromTheBaseEntries)
{
    EXPECT_EQ(compile("#memmap push xmem\n#class push static\n"), 0) << messages_text();
    EXPECT_EQ(placement_stack_index(), 1);
    EXPECT_EQ(compile("#memmap pop\n") & 2, 2);
    EXPECT_EQ(messages_text(), "1: No more options to pop.\n");
    EXPECT_EQ(storage_class_stack_index(), 0);
    EXPECT_EQ(current_storage_class(), kClassAuto);
}

struct ThresholdCase {
    const char *name;
    const char *value;
    bool accepted;
    uint32_t threshold;
};

const ThresholdCase kThresholds[] = {
    {"zero", "0", true, 0},
    {"largest", "65536", true, 65536},
    {"hexadecimal", "0x1000", true, 0x1000},
    {"one_too_many", "65537", false, kDefaultAnymemThreshold},
    {"negative", "-1", false, kDefaultAnymemThreshold},
};

class AnymemThreshold : public CompileRun, public ::testing::WithParamInterface<ThresholdCase> {};

TEST_P(AnymemThreshold, AcceptedInRangeElseReportedAndKept)
{
    const uint16_t status = compile(std::string("#memmap anymem ") + GetParam().value + "\n");
    EXPECT_EQ(anymem_threshold(), GetParam().threshold);
    EXPECT_EQ(current_placement(), kPlaceAnymem);
    if (GetParam().accepted) {
        EXPECT_EQ(status, 0) << messages_text();
    } else {
        EXPECT_EQ(messages_text(), "1: Threshold out of range.\n");
    }
}

INSTANTIATE_TEST_SUITE_P(All, AnymemThreshold, ::testing::ValuesIn(kThresholds),
                         [](const auto &i) { return std::string(i.param.name); });

// Anymem code goes to xmem once less than the threshold is left in root code space (0x6000
// bytes here). A threshold of 65536 is more than any root space: xmem, not the root that a
// 16-bit threshold of 0 would give.
struct PlacementCase {
    const char *name;
    const char *directives;
    bool xmem;
};

const PlacementCase kPlacements[] = {
    {"root", "#memmap root\n", false},
    {"xmem", "#memmap xmem\n", true},
    {"anymem_with_room", "#memmap anymem 0x1000\n", false},
    {"anymem_without_room", "#memmap anymem 0x6001\n", true},
    {"anymem_65536", "#memmap anymem 65536\n", true},
    {"nothing_means_root", "#memmap xmem\n#memmap\n", false},
    {"pushed_then_popped", "#memmap root\n#memmap push xmem\n#memmap pop\n", false},
};

class Placement : public CompileRun, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(Placement, SetsTheXmemBitOfTheNextItem)
{
    ASSERT_EQ(compile(std::string(GetParam().directives) + "int x;\n"), 0) << messages_text();
    ASSERT_EQ(declarations.lines.size(), 1u);
    EXPECT_EQ((declarations.lines[0].flags & kDeclXmem) != 0, GetParam().xmem);
}

INSTANTIATE_TEST_SUITE_P(All, Placement, ::testing::ValuesIn(kPlacements),
                         [](const auto &i) { return std::string(i.param.name); });

struct ClassCase {
    const char *name;
    const char *line;
    uint16_t top;
    const char *messages;
};

const ClassCase kClasses[] = {
    {"auto", "#class auto", kClassAuto, ""},
    {"static", "#class static", kClassStatic, ""},
    {"register", "#class register", kClassAuto, "1: Bad or missing option to #class.\n"},
    {"missing", "#class", kClassAuto, "1: Bad or missing option to #class.\n"},
    {"garbage_after", "#class static auto", kClassStatic,
     "1: Garbage at end of #class statement.\n"},
};

class ClassDirective : public CompileRun, public ::testing::WithParamInterface<ClassCase> {};

TEST_P(ClassDirective, SetsTheTopEntry)
{
    (void)compile(std::string("#class static\n") + GetParam().line + "\n");
    EXPECT_EQ(current_storage_class(), GetParam().top);
    std::string expected = GetParam().messages;
    if (!expected.empty())
        expected[0] = '2';  // the line after the first "#class static"
    EXPECT_EQ(messages_text(), expected);
}

INSTANTIATE_TEST_SUITE_P(All, ClassDirective, ::testing::ValuesIn(kClasses),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- "#begincommon" / "#endcommon" -------------------------------------------------------------

// Each variable takes two bytes; those of a common area lie at the top of the data area, and
// the variables after it continue where those before it ended.
TEST_F(CompileRun, CommonAreaReturnsTheVariablesToWhereTheyWere)
{
    std::map<std::string, ADDR24> at;
    ADDR24 common_start = 0;
    declarations.on_line = [&](const std::string &text) {
        at[text] = data_cache().current;
        common_start = logical_to_addr(static_cast<uint16_t>(memory_map().data_top));
        (void)emit_zero_bytes(2, true);
    };
    ASSERT_EQ(compile("int a;\nint b;\n#begincommon\nint c;\n#endcommon\nint d;\n"), 0)
        << messages_text();
    EXPECT_EQ(at["int b;"], addr_add(at["int a;"], -2));
    EXPECT_EQ(at["int c;"], common_start);
    EXPECT_EQ(at["int d;"], addr_add(at["int b;"], -2));
}

struct CommonCase {
    const char *name;
    const char *program;
    const char *messages;
};

const CommonCase kCommonFaults[] = {
    {"end_without_begin", "#endcommon\n",
     "1: #endcommon without #begincommon.\n"},
    {"second_end", "#begincommon\n#endcommon\n#endcommon\n",
     "3: #endcommon without #begincommon.\n"},
    {"nested_begin", "#begincommon\n#begincommon\n#endcommon\n",
     "2: #begincommon inside a common area.\n"},
};

class CommonFault : public CompileRun, public ::testing::WithParamInterface<CommonCase> {};

// An unmatched end or a nested begin is an error and moves nothing.
TEST_P(CommonFault, IsReportedAndMovesNothing)
{
    EXPECT_EQ(compile(GetParam().program) & 2, 2);
    EXPECT_EQ(messages_text(), GetParam().messages);
    EXPECT_EQ(data_cache().current, kVariables) << "the variables are where they began";
}

INSTANTIATE_TEST_SUITE_P(All, CommonFault, ::testing::ValuesIn(kCommonFaults),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- garbage and the end of the parse ----------------------------------------------------------

TEST_F(CompileRun, GarbageGivesOneReportPerRun)
{
    declarations.refuse = true;
    EXPECT_EQ(compile("$%^ abc 123\n") & 2, 2);
    EXPECT_EQ(count_of("Syntax error - or garbage at end of program."), 3) << messages_text();
    EXPECT_EQ(messages().size(), 3u);
}

TEST_F(CompileRun, OpenConditionalIsReportedAtTheEnd)
{
    EXPECT_EQ(compile("#if 1\n#asm\n nop\n#endasm\n") & 2, 2);
    EXPECT_EQ(messages_text(), "1: Unterminated conditional directive.\n");
}

TEST_F(CompileRun, WebLinesThatNameNoVariableAreReportedAndDropped)
{
    EXPECT_EQ(compile("#web x\n#web_update y z\n") & 2, 2);
    EXPECT_EQ(messages_text(), "1: Expecting web variable name.\n"
                               "2: Expecting web variable name.\n");
    EXPECT_TRUE(declarations.lines.empty()) << "the rest of each line went with it";
}

// Every byte from 1 to 255 at top level, or after a directive word: the parse ends, with one
// report for the byte at most, besides the report of the input layer for an unclosed quote and
// what the directive always says (3039 for "#precompile" in a program compile).
struct FuzzCase {
    const char *name;
    const char *prefix;
    const char *suffix;
    const char *always = "";
    int skipped = 0;  // a byte whose meaning is another test's ("\\" joins the next line)
};

const FuzzCase kFuzz[] = {
    {"top_level", "", ""},
    {"memmap", "#memmap ", ""},
    {"memmap_push", "#memmap push ", ""},
    {"memmap_anymem", "#memmap anymem ", ""},
    {"class", "#class ", ""},
    {"asm_option", "#asm ", "\n#endasm", "", '\\'},
    {"use", "#use ", ""},
    {"error", "#error ", ""},
    {"precompile", "#precompile ", "",
     "#precompile must be used in the BIOS, or in a library used by the BIOS."},
    {"funcchain", "#funcchain ", ""},
    {"makechain", "#makechain ", ""},
    {"ximport", "#ximport ", ""},
    {"zimport", "#zimport ", ""},
    {"ximport_name", "#ximport \"f\" ", ""},
};

class EveryByte : public CompileRun, public ::testing::WithParamInterface<FuzzCase> {};

TEST_P(EveryByte, EndsWithAtMostOneReport)
{
    declarations.refuse = true;
    for (int b = 1; b < 256; ++b) {
        if (b == '\n' || b == '\r' || b == GetParam().skipped)
            continue;
        reset_errors();
        const std::string program =
            std::string(GetParam().prefix) + char(b) + GetParam().suffix + "\n";
        (void)compile(program);
        int reports = 0;
        for (const Message &m : messages())
            reports += m.summary != GetParam().always && m.summary != "\" is missing/expected." &&
                       m.summary != "' is missing/expected.";
        EXPECT_LE(reports, 1) << "byte " << b << ":\n" << messages_text();
    }
}

INSTANTIATE_TEST_SUITE_P(All, EveryByte, ::testing::ValuesIn(kFuzz),
                         [](const auto &i) { return std::string(i.param.name); });

// A watch expression's compile reads its in-memory lines with the same parse, but builds no
// chains and leaves the open conditionals to the expression.
TEST_F(CompileRun, WatchCompileSkipsTheChainsAndTheOpenConditionalCheck)
{
    ASSERT_EQ(compile(""), 0) << messages_text();
    reset_errors();
    const char *lines[] = {"#if 1", "#makechain watched_chain", "int watched;", nullptr};
    set_watch_compile(true);
    set_compile_mode_word(1);
    set_in_memory_lines(lines, 4);
    clear_line_position();
    clear_line();
    clear_end_of_input();
    struct Back {
        ~Back()
        {
            set_watch_compile(false);
            set_compile_mode_word(0);
            ifdef_stack().clear();
        }
    } back;
    EXPECT_NO_THROW((void)compile_program(kDummyAddress, kDummyAddress, kDummyAddress,
                                          kDummyAddress, kDummyAddress, kDummyAddress, 0x01));
    EXPECT_EQ(declarations.texts(), std::vector<std::string>{"int watched;"});
    EXPECT_EQ(find_symbol("watched_chain", false, kGlobalTable), nullptr) << "no chain routine";
    EXPECT_EQ(messages_text(), "");
}

// Where the BIOS part ended goes into the memory map: its highest code (here its xmem code, at
// physical 0x10001) and its root code address (behind "ld a,1" and the jump) - unless the BIOS
// part had errors.
struct BiosPartCase {
    const char *name;
    const char *bios_part;
    uint32_t code_end;
    uint16_t root_end;
};
const BiosPartCase kBiosParts[] = {
    {"clean", "#asm xmem\n nop\n#endasm\n#asm\n ld a, 1\n#endasm\n", 0x10001, 5},
    {"root_only", "#asm\n ld a, 1\n#endasm\n", 5, 5},
    {"with_an_error", "#asm\n ld a, 1\n#endasm\n#error stop\n", 0, 0},
};

class BiosPartEnd : public CompileRun, public ::testing::WithParamInterface<BiosPartCase> {};

TEST_P(BiosPartEnd, IsRecordedInTheMemoryMap)
{
    gTargetlessCompile = 1;
    (void)compile_bios(std::string(GetParam().bios_part) +
                       "#pragma CompileProgram\n#asm\n ld b, 2\n#endasm\n");
    EXPECT_EQ(memory_map().bios_part_code_end, GetParam().code_end) << messages_text();
    EXPECT_EQ(memory_map().bios_part_root_end, GetParam().root_end);
}

INSTANTIATE_TEST_SUITE_P(All, BiosPartEnd, ::testing::ValuesIn(kBiosParts),
                         [](const auto &i) { return std::string(i.param.name); });

// "#pragma CompileProgram" ends the BIOS part with a jump that the end of the parse makes lead
// to the code after the program (here the end of the root code). Compiled without a target, the
// pragma also looks for the exit hook, which this program lacks: one warning.
TEST_F(CompileRun, CompileProgramPragmaLeavesAJumpToTheEndOfTheCode)
{
    gTargetlessCompile = 1;
    ASSERT_EQ(compile_bios("#asm\n ld a, 1\n#endasm\n"
                           "#pragma CompileProgram\n"
                           "#asm\n ld b, 2\n#endasm\n") &
                  2,
              0)
        << messages_text();
    EXPECT_EQ(messages_text(),
              "4: __xexit__ is not defined; C statement debugging may not work correctly\n");
    // ld a,1 (2 bytes), jp end (3 bytes), ld b,2 (2 bytes): the jump leads to 0x0007.
    EXPECT_EQ(sent_at(kRootCode, 7),
              (std::vector<uint8_t>{0x3E, 0x01, 0xC3, 0x07, 0x00, 0x06, 0x02}));
    EXPECT_EQ(bios_end_jump(), kDummyAddress) << "completed";
    run(kRootCode);
    EXPECT_TRUE(reg("A", 0x01));
    EXPECT_TRUE(reg("B", 0x00)) << "the jump passed over the program part";
}
