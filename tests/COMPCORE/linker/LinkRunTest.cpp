// Labels, fix-ups and origins through the compile entry: assembly programs compiled by
// `compile_file` and run on the board stand-in. Forward references of every instruction form,
// the range checks, interrupt vectors, xmem origins that run full into their follower, a long
// xmem routine across pages, and the origins a BIOS compile leaves to the program.
#include "CompileRunFixture.h"

#include "driver/CC_FIOZ8.h"
#include "linker/ORIGINS.h"
#include "settings/guiKXPreferences.h"

#include <string>

using namespace compile_run;

namespace {

// `count` lines of one statement.
std::string repeat(const std::string &statement, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += " " + statement + "\n";
    return text;
}

// `count` zero bytes as "db" lines.
std::string zero_bytes(int count)
{
    std::string text;
    while (count > 0) {
        const int n = count < 16 ? count : 16;
        text += " db 0";
        for (int i = 1; i < n; ++i)
            text += ",0";
        text += "\n";
        count -= n;
    }
    return text;
}

bool has_message(const std::string &summary)
{
    for (const Message &m : messages())
        if (m.summary == summary)
            return true;
    return false;
}

int count_messages(const std::string &summary)
{
    int n = 0;
    for (const Message &m : messages())
        n += m.summary == summary ? 1 : 0;
    return n;
}

}  // namespace

// Each instruction form that names a label defined further down is patched; the run takes
// every jump and call and reads every patched value.
TEST_F(CompileRun, ForwardReferencesOfEveryFormArePatchedAndRun)
{
    // Without "No Bouncers" a forward call keeps no room for a page byte: the layout below.
    IdePreferences().no_bouncers = false;
    ASSERT_EQ(compile("#asm\n"
                      "main::\n"
                      " jp over\n"           // 0000 C3
                      "bytes:\n"
                      " db lowlab\n"         // 0003
                      "lowlab:\n"
                      " nop\n"               // 0004
                      "over:\n"
                      " ld a,(bytes)\n"      // 0005
                      " ld c,a\n"            // 0008
                      " call subr\n"         // 0009 CD
                      " jr skip\n"           // 000C 18
                      " ld d,0x99\n"         // 000E
                      "skip:\n"
                      " ld b,2\n"            // 0010
                      " djnz fwd\n"          // 0012 10
                      " ld d,0x98\n"         // 0014
                      "fwd:\n"
                      " ld hl,words\n"       // 0016 21
                      " ld e,(hl)\n"         // 0019
                      " ljp far\n"           // 001A C7
                      " ld d,0x97\n"         // 001E
                      "far:\n"
                      " lcall lsub\n"        // 0020 CF
                      " jp done\n"           // 0024
                      "subr:\n"
                      " ld d,0x44\n"         // 0027
                      " ret\n"               // 0029
                      "lsub:\n"
                      " ld iy,0x5555\n"      // 002A
                      " lret\n"              // 002E
                      "words:\n"
                      " dw target\n"         // 0030
                      "target:\n"
                      " nop\n"               // 0032
                      "done:\n"              // 0033
                      "#endasm\n"),
              0)
        << messages_text();
    EXPECT_EQ(sent_at(0x0000, 3), (std::vector<uint8_t>{0xC3, 0x05, 0x00}));
    EXPECT_EQ(sent_at(0x0003, 1), std::vector<uint8_t>{0x04}) << "db";
    EXPECT_EQ(sent_at(0x0009, 3), (std::vector<uint8_t>{0xCD, 0x27, 0x00})) << "call";
    EXPECT_EQ(sent_at(0x000C, 2), (std::vector<uint8_t>{0x18, 0x02})) << "jr";
    EXPECT_EQ(sent_at(0x0012, 2), (std::vector<uint8_t>{0x10, 0x02})) << "djnz";
    EXPECT_EQ(sent_at(0x0016, 3), (std::vector<uint8_t>{0x21, 0x30, 0x00})) << "ld hl";
    EXPECT_EQ(sent_at(0x001A, 4), (std::vector<uint8_t>{0xC7, 0x20, 0x00, 0x00})) << "ljp";
    EXPECT_EQ(sent_at(0x0020, 4), (std::vector<uint8_t>{0xCF, 0x2A, 0x00, 0x00})) << "lcall";
    EXPECT_EQ(sent_at(0x0030, 2), (std::vector<uint8_t>{0x32, 0x00})) << "dw";

    const vsim::RunResult r = run(kRootCode);
    EXPECT_EQ(r.reason, vsim::StopReason::breakpoint);
    EXPECT_TRUE(reg("PC", 0x0033));
    EXPECT_TRUE(reg("C", 0x04));
    EXPECT_TRUE(reg("D", 0x44)) << "the call returned; jr, djnz and ljp skipped their traps";
    EXPECT_TRUE(reg("B", 0x01));
    EXPECT_TRUE(reg("HL", 0x0030));
    EXPECT_TRUE(reg("E", 0x32));
    EXPECT_TRUE(reg("IY", 0x5555)) << "the long call returned";
    EXPECT_TRUE(reg("XPC", 0x00));
}

// A backward reference takes the label's address at once: nothing is left to patch.
TEST_F(CompileRun, BackwardReferencesNeedNoFixup)
{
    ASSERT_EQ(compile("#asm\n"
                      "main::\n"
                      " ld b,3\n"
                      " xor a\n"
                      "again:\n"
                      " inc a\n"
                      " djnz again\n"
                      " ld hl,again\n"
                      "#endasm\n"),
              0)
        << messages_text();
    run(kRootCode);
    EXPECT_TRUE(reg("A", 3));
    EXPECT_TRUE(reg("HL", 0x0003));
}

struct RangeCase {
    const char *name;
    std::string program;
    ADDR24 operand;
    uint8_t byte;         // the operand byte afterwards
    const char *message;  // "" for none
};

const RangeCase kRanges[] = {
    // jr at 0: its displacement at 1, the byte after it at 2.
    {"jr_127_ahead", "#asm\n jr far\n" + zero_bytes(127) + "far:\n nop\n#endasm\n", 1, 127, ""},
    {"jr_128_ahead", "#asm\n jr far\n" + zero_bytes(128) + "far:\n nop\n#endasm\n", 1, 0,
     "Jump out of Range"},
    {"db_255", "#asm\n db low\n" + zero_bytes(254) + "low:\n nop\n#endasm\n", 0, 0xFF, ""},
    {"db_256", "#asm\n db low\n" + zero_bytes(255) + "low:\n nop\n#endasm\n", 0, 0,
     "8 bit value out of range."},
    {"ld_a_256", "#asm\n ld a,low\n" + zero_bytes(254) + "low:\n nop\n#endasm\n", 1, 0,
     "8 bit value out of range."},
};

class CompileRunRange : public CompileRun, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(CompileRunRange, PatchedOrReportedWithTheByteAsEmitted)
{
    const RangeCase &c = GetParam();
    const uint16_t status = compile(c.program);
    EXPECT_EQ(sent_at(c.operand, 1), std::vector<uint8_t>{c.byte});
    if (*c.message) {
        EXPECT_EQ(status & 2, 2);
        EXPECT_EQ(count_messages(c.message), 1) << messages_text();
    } else {
        EXPECT_EQ(status, 0) << messages_text();
    }
}

INSTANTIATE_TEST_SUITE_P(All, CompileRunRange, ::testing::ValuesIn(kRanges),
                         [](const auto &i) { return std::string(i.param.name); });

// Only jumps and calls go to the jump patcher: a value operand naming an xmem label gets its
// 16-bit address, and a long call gets the page with it.
TEST_F(CompileRun, ValueOperandOfAnXmemLabelIsAPlainWord)
{
    ASSERT_EQ(compile("#asm\n"
                      "main::\n"
                      " ld hl,xsub\n"
                      " lcall xsub\n"
                      " jp done\n"
                      "#endasm\n"
                      "#asm xmem\n"
                      "xsub::\n"
                      " ld a,0x5A\n"
                      " lret\n"
                      "#endasm\n"
                      "#asm\n"
                      "done::\n"
                      "#endasm\n"),
              0)
        << messages_text();
    EXPECT_EQ(sent_at(0x0000, 3), (std::vector<uint8_t>{0x21, 0x00, 0xE0}));
    EXPECT_EQ(sent_at(0x0003, 4), (std::vector<uint8_t>{0xCF, 0x00, 0xE0, 0x02}));
    const vsim::RunResult r = run(kRootCode);
    EXPECT_EQ(r.reason, vsim::StopReason::breakpoint);
    EXPECT_TRUE(reg("A", 0x5A));
    EXPECT_TRUE(reg("HL", 0xE000));
    EXPECT_TRUE(reg("XPC", 0x00));
}

struct LabelMessageCase {
    const char *name;
    const char *program;
    std::vector<std::string> messages;
};

const LabelMessageCase kLabelMessages[] = {
    {"undefined_reported_once", "#asm\n jp nowhere\n jp nowhere\n ld hl,nowhere\n#endasm\n",
     {"Undefined (but used) global label nowhere"}},
    {"global_defined_twice", "#asm\ntwice:: nop\ntwice:: nop\n#endasm\n",
     {"Redefining already defined global symbol twice"}},
    {"local_defined_twice", "#asm\nloc: nop\nloc: nop\n#endasm\n",
     {"Redefining already defined local symbol loc"}},
    {"local_of_another_block", "#asm\n jp there\n#endasm\n#asm\nthere: nop\n#endasm\n",
     {"Undefined (but used) global label there"}},
    {"global_of_another_block", "#asm\n jp there\n#endasm\n#asm\nthere:: nop\n#endasm\n", {}},
};

class CompileRunLabels : public CompileRun, public ::testing::WithParamInterface<LabelMessageCase> {};

TEST_P(CompileRunLabels, ReportsWhatIsLeftOrDefinedTwice)
{
    const LabelMessageCase &c = GetParam();
    const uint16_t status = compile(c.program);
    std::vector<std::string> got;
    for (const Message &m : messages())
        got.push_back(m.summary);
    EXPECT_EQ(got, c.messages);
    EXPECT_EQ(status & 2, c.messages.empty() ? 0 : 2);
}

INSTANTIATE_TEST_SUITE_P(All, CompileRunLabels, ::testing::ValuesIn(kLabelMessages),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- interrupt vectors ------------------------------------------------------------------------

TEST_F(CompileRun, InterruptVectorJumpsToItsRoutineAndRootCodeGoesOn)
{
    ASSERT_EQ(compile("#rcodorg vec 0x0 0x7000 0x10\n"
                      "#asm\n"
                      "main::\n"
                      " call 0x7000\n"
                      " jp done\n"
                      "#endasm\n"
                      "interrupt_vector vec isr\n"
                      "#asm\n"
                      "isr::\n"
                      " ld a,0x2A\n"
                      " ret\n"
                      "done::\n"
                      "#endasm\n"),
              0)
        << messages_text();
    EXPECT_EQ(sent_at(0x7000, 3), (std::vector<uint8_t>{0xC3, 0x06, 0x00})) << "jp isr at vec's start";
    EXPECT_EQ(sent_at(0x0006, 2), (std::vector<uint8_t>{0x3E, 0x2A}))
        << "the root code went on right after main";
    const vsim::RunResult r = run(kRootCode);
    EXPECT_EQ(r.reason, vsim::StopReason::breakpoint);
    EXPECT_TRUE(reg("A", 0x2A));
    EXPECT_TRUE(reg("PC", 0x0009));
}

struct VectorCase {
    const char *name;
    const char *line;
    const char *message;
};

const VectorCase kVectors[] = {
    {"unknown_vector", "interrupt_vector nowhere isr", "Vector nowhere undefined"},
    {"no_routine", "interrupt_vector vec", "Need an interrupt service routine name"},
    {"no_vector", "interrupt_vector", "Invalid name for origin directive."},
    {"number_for_vector", "interrupt_vector 0x10 handler", "Invalid name for origin directive."},
};

class CompileRunVector : public CompileRun, public ::testing::WithParamInterface<VectorCase> {};

TEST_P(CompileRunVector, ReportedAndNothingEmitted)
{
    const VectorCase &c = GetParam();
    const uint16_t status = compile("#rcodorg vec 0x0 0x7000 0x10\n" + std::string(c.line) +
                                    "\n#asm\nisr:: nop\n#endasm\n");
    EXPECT_EQ(status & 2, 2);
    EXPECT_EQ(count_messages(c.message), 1) << messages_text();
    EXPECT_EQ(sent_at(0x7000, 1), std::vector<uint8_t>{0xFF});
    EXPECT_EQ(sent_at(0x0000, 1), std::vector<uint8_t>{0x00}) << "root code where it was";
    EXPECT_TRUE(declarations.lines.empty()) << "the rest of the line went with the report";
}

INSTANTIATE_TEST_SUITE_P(All, CompileRunVector, ::testing::ValuesIn(kVectors),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- origins ------------------------------------------------------------------------------------

TEST_F(CompileRun, ApplyStartsAnOriginAgainAndResumeContinuesIt)
{
    ASSERT_EQ(compile("#asm\n ld a,1\n#endasm\n"
                      "#rcodorg second 0x0 0x7800 0x100 apply\n"
                      "#asm\n ld b,2\n#endasm\n"
                      "#rcodorg rootcode resume\n"
                      "#asm\n ld c,3\n#endasm\n"
                      "#rcodorg second apply\n"
                      "#asm\n ld d,4\n#endasm\n"),
              0)
        << messages_text();
    EXPECT_EQ(sent_at(0x0000, 4), (std::vector<uint8_t>{0x3E, 0x01, 0x0E, 0x03}));
    EXPECT_EQ(sent_at(0x7800, 2), (std::vector<uint8_t>{0x16, 0x04})) << "ld d,4 over ld b,2";
}

// A block that does not fit in an xmem origin moves to the follower with a long jump there; the
// routine runs across.
TEST_F(CompileRun, XmemCodeRunsOnIntoTheFollowingOrigin)
{
    const std::string sixty = repeat("inc a", 60);
    ASSERT_EQ(compile("#xcodorg xa 0x12 0xE000 0x80 apply\n"
                      "#xcodorg xb 0x16 0xE000 0x1000 follows xa\n"
                      "#asm xmem\nxfunc::\n ld a,0\n" + sixty + "#endasm\n"
                      "#asm xmem\n" + sixty + "#endasm\n"
                      "#asm xmem\n" + sixty + " lret\n#endasm\n"
                      "#asm\nmain::\n lcall xfunc\n#endasm\n"),
              0)
        << messages_text();
    EXPECT_EQ(sent_at(make_addr(0x12, 0xE07A), 4), (std::vector<uint8_t>{0xC7, 0x00, 0xE0, 0x16}))
        << "ljp to the follower where xa ran full";
    EXPECT_EQ(sent_at(make_addr(0x16, 0xE000), 1), std::vector<uint8_t>{0x3C}) << "the third block";
    const vsim::RunResult r = run(kRootCode);
    EXPECT_EQ(r.reason, vsim::StopReason::breakpoint);
    EXPECT_TRUE(reg("A", 180));
    EXPECT_TRUE(reg("XPC", 0x00));
}

// 5 KB of code in one routine: the xmem code cache moves on to the next page once it runs past
// the first 4 KB of the window, with a long jump that keeps the code running.
TEST_F(CompileRun, LongXmemRoutineCrossesPagesAndRuns)
{
    std::string program = "#asm xmem\nxlong::\n ld hl,0\n#endasm\n";
    for (int i = 0; i < 20; ++i)
        program += "#asm xmem\n" + repeat("inc hl", 256) + "#endasm\n";
    program += "#asm xmem\n lret\n#endasm\n#asm\nmain::\n lcall xlong\n#endasm\n";
    ASSERT_EQ(compile(program), 0) << messages_text();
    // Block 15 ends at offset 0xF003: the jump, then the code at the next page.
    EXPECT_EQ(sent_at(make_addr(2, 0xF003), 4), (std::vector<uint8_t>{0xC7, 0x07, 0xE0, 0x03}));
    const vsim::RunResult r = run(kRootCode, 200000);
    EXPECT_EQ(r.reason, vsim::StopReason::breakpoint);
    EXPECT_TRUE(reg("HL", 20 * 256));
}

TEST_F(CompileRun, RootCodeRunsOutOnlyPastTheEndOfItsOrigin)
{
    const std::string tiny = "#rcodorg tiny 0x0 0x7000 0x10 apply\n#asm\n";
    EXPECT_EQ(compile(tiny + zero_bytes(16) + "#endasm\n"), 0) << messages_text();
    EXPECT_EQ(compile(tiny + zero_bytes(17) + "#endasm\n") & 2, 2);
    EXPECT_TRUE(has_message("Out of root code space, try moving code to XMEM.")) << messages_text();
}

TEST_F(CompileRun, MissingOriginIsReportedOncePerCache)
{
    parser.declare_layout = false;
    EXPECT_EQ(compile("#asm\n nop\n#endasm\n#asm\n nop\n#endasm\n") & 2, 2);
    EXPECT_EQ(count_messages("Must define at least one #rcodorg origin directive."), 1)
        << messages_text();
}

// The program compile takes the origins the BIOS declared, with their fill points, and binds
// its caches as the BIOS left them; nothing is declared twice.
TEST_F(CompileRun, ProgramTakesTheOriginsOfTheBios)
{
    gTargetlessCompile = 1;  // no board to read
    ASSERT_EQ(compile_bios("#rcodorg biosonly 0x0 0x7000 0x100\n#asm\n ld a,1\n#endasm\n"), 0)
        << messages_text();
    const ADDR24 bios_end = origin_table().origins.at(0).end;
    ASSERT_EQ(compile("#asm\n ld b,2\n#endasm\n"), 0) << messages_text();
    OriginContainer &t = origin_table();
    ASSERT_EQ(t.origins.size(), 5u);
    EXPECT_EQ(t.origins[0].name, "rootcode");
    EXPECT_EQ(t.origins[4].name, "biosonly");
    EXPECT_EQ(root_code_cache().origin_index, 0) << "bound to the BIOS's root code origin";
    EXPECT_EQ(bios_end, 0x0002u) << "the BIOS's fill point";
}
