// The statistics every compile leaves for the compile statistics window: its areas, the lines
// it read, its start and end ticks (across a wrap of the millisecond count), whichever way it
// ended.
#include "CompileRunFixture.h"

#include "driver/CC_STATS.h"
#include "core/SEAM_TARGET.h"

namespace {

uint32_t g_tick = 0;
// Every reading is 100 ms after the one before.
uint32_t stepping_clock() { return g_tick += 100; }

class CompileStatisticsRun : public CompileRun {
protected:
    void SetUp() override
    {
        CompileRun::SetUp();
        set_compile_statistics(CompileStatistics{});
        g_tick = 0xFFFFF000u; // the count wraps during the compile
        SetMillisecondClock(&stepping_clock);
    }
    void TearDown() override
    {
        SetMillisecondClock(nullptr);
        set_compile_statistics(CompileStatistics{});
        CompileRun::TearDown();
    }
};

TEST_F(CompileStatisticsRun, CompiledProgramRecordsItsAreasLinesAndTime)
{
    ASSERT_FALSE(compile_statistics().recorded);
    ASSERT_EQ(compile("#asm\n ld hl,0x1234\n ld de,0x5678\n#endasm\n"), 0) << compile_run::messages_text();
    const CompileStatistics &s = compile_statistics();
    EXPECT_TRUE(s.recorded);
    const uint32_t elapsed = s.end_tick - s.start_tick;
    EXPECT_GT(elapsed, 0u);
    EXPECT_LT(elapsed, 0x100000u) << "start and end read across the wrap";
    EXPECT_GE(s.lines_compiled, 4u);
    EXPECT_GE(s.root_code_top, s.root_code_base + 5) << "the six bytes of the two loads";
    EXPECT_LE(s.root_code_top, 0x5FFF);
    EXPECT_EQ(s.stack_base, 0xD000);
    EXPECT_EQ(s.stack_top, 0xDFFF);
}

TEST_F(CompileStatisticsRun, FailedCompileStillRecordsItsEnd)
{
    EXPECT_NE(compile("#asm\n ld hl,\n#endasm\n") & 2, 0);
    const CompileStatistics &s = compile_statistics();
    EXPECT_TRUE(s.recorded);
    EXPECT_NE(s.end_tick, s.start_tick);
    EXPECT_GE(s.lines_compiled, 3u);
}

} // namespace
