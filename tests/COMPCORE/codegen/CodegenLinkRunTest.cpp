// Jumps and calls between xmem pages through the whole compile: the inline assembler hands them to
// the branch emitter, the label tables hand forward ones to its back-patcher, and the program runs
// on the board stand-in across the pages.
#include "CompileRunFixture.h"

#include "settings/guiKXPreferences.h"

namespace {

using namespace compile_run;

// Two xmem origins in different pages, "main" in root code calling into the first one; `xa` and
// `xb` are the assembly of the two origins' blocks.
std::string two_pages(const std::string &xa, const std::string &xb)
{
    return "#asm\nmain::\n lcall xstart\n jp main_end\n#endasm\n"
           "#xcodorg xa 0x12 0xE000 0x100 apply\n#asm xmem\nxstart::\n" +
           xa + "#endasm\n#xcodorg xb 0x16 0xE000 0x100 apply\n#asm xmem\n" + xb +
           "#endasm\n#asm\nmain_end::\n nop\n#endasm\n";
}

TEST_F(CompileRun, ForwardJumpToAnotherXmemPageRunsThroughARootBouncer)
{
    ASSERT_EQ(compile(two_pages(" jp xfar\n", "xfar::\n ld a,0x5A\n lret\n")), 0) << messages_text();
    // main: lcall (4 bytes), jp main_end (3); then the bouncer the patch left in root code
    EXPECT_EQ(sent_at(make_addr(0, 0x0007), 4), (std::vector<uint8_t>{0xC7, 0x00, 0xE0, 0x16}));
    EXPECT_EQ(sent_at(make_addr(0x12, 0xE000), 3), (std::vector<uint8_t>{0xC3, 0x07, 0x00}));
    const vsim::RunResult r = run(kRootCode);
    EXPECT_EQ(r.reason, vsim::StopReason::breakpoint);
    EXPECT_TRUE(reg("A", 0x5A));
    EXPECT_TRUE(reg("XPC", 0x00));
}

TEST_F(CompileRun, BackwardJumpToAnotherXmemPageGetsItsBouncerAtOnce)
{
    const std::string program =
        "#asm\nmain::\n lcall xstart\n jp main_end\n#endasm\n"
        "#xcodorg xb 0x16 0xE000 0x100 apply\n#asm xmem\nxfar::\n ld a,0x5B\n lret\n#endasm\n"
        "#xcodorg xa 0x12 0xE000 0x100 apply\n#asm xmem\nxstart::\n jp xfar\n#endasm\n"
        "#asm\nmain_end::\n nop\n#endasm\n";
    ASSERT_EQ(compile(program), 0) << messages_text();
    EXPECT_EQ(sent_at(make_addr(0, 0x0007), 4), (std::vector<uint8_t>{0xC7, 0x00, 0xE0, 0x16}));
    const vsim::RunResult r = run(kRootCode);
    EXPECT_EQ(r.reason, vsim::StopReason::breakpoint);
    EXPECT_TRUE(reg("A", 0x5B));
}

// Under "No Bouncers" a forward call into another page becomes "lcall" in the room its
// placeholder kept, and no bouncer is written.
TEST_F(CompileRun, ForwardCallToAnotherXmemPageBecomesLcallUnderNoBouncers)
{
    ASSERT_EQ(compile(two_pages(" call xsub\n ld c,0x33\n lret\n", "xsub::\n ld b,7\n lret\n")), 0)
        << messages_text();
    EXPECT_EQ(sent_at(make_addr(0x12, 0xE000), 4), (std::vector<uint8_t>{0xCF, 0x00, 0xE0, 0x16}));
    EXPECT_EQ(sent_at(make_addr(0, 0x0007), 1), std::vector<uint8_t>{0x00}) << "main_end, no bouncer";
    const vsim::RunResult r = run(kRootCode);
    EXPECT_EQ(r.reason, vsim::StopReason::breakpoint);
    EXPECT_TRUE(reg("B", 7));
    EXPECT_TRUE(reg("C", 0x33));
    EXPECT_TRUE(reg("SP", 0xE000));
}

}  // namespace
