// The whole-program parse through the compile entry: top-level "#asm" blocks that run on the
// board stand-in, the top-level directives, the option stacks, garbage and the end of the parse.
#include "CompileRunFixture.h"

#include "CC_DECL.h"
#include "CC_FIOZ8.h"

#include <string>

using namespace compile_run;

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

TEST_F(CompileRun, CommentsOnlyProgramCompilesWithStatusZero)
{
    EXPECT_EQ(compile("// nothing here\n/* nor\n   here */\n\n   \n"), 0) << messages_text();
    EXPECT_TRUE(declarations.lines.empty());
    EXPECT_EQ(chains.calls, std::vector<std::string>{"emit"}) << "the chain code is still emitted";
}
