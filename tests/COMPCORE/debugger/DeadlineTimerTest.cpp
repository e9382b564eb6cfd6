// The millisecond deadline on a replaced clock: start and expiry, the wrap of the 32-bit count,
// a deadline never 0, and the wait that ends when the user closes the status box.
#include "debugger/MsTimer.h"

#include "HostDoubles.h"
#include "core/SEAM_TARGET.h"
#include "core/guiInterface.h"

#include <gtest/gtest.h>

namespace {

uint32_t g_now = 0;
uint32_t g_step = 0; // added after every reading
uint32_t test_clock()
{
    uint32_t now = g_now;
    g_now += g_step;
    return now;
}

class DeadlineTimer : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_now = 0;
        g_step = 0;
        SetMillisecondClock(test_clock);
        reset_host_services();
    }
    void TearDown() override
    {
        SetMillisecondClock(nullptr);
        gDialogControl.CloseStatusBox();
        reset_host_services();
    }
    // The status box as a reset shows it.
    static HeadlessStatusBox &shown_box()
    {
        gDialogControl.ShowStatusBox(true, "Reseting target", "");
        auto *box = dynamic_cast<HeadlessStatusBox *>(gDialogControl.Box());
        EXPECT_NE(box, nullptr);
        return *box;
    }
};

TEST_F(DeadlineTimer, NowIsTheHostClock)
{
    g_now = 12345;
    EXPECT_EQ(MsTimerNow(), 12345u);
    EXPECT_EQ(GetMillisecondClock(), 12345u);
}

struct ExpiryCase {
    const char *name;
    uint32_t start;
    uint32_t interval;
    uint32_t later; // ms after the start
    bool expired;
};

const ExpiryCase kExpiryCases[] = {
    {"just_started", 1000, 100, 0, false},
    {"one_before", 1000, 100, 99, false},
    {"at_the_deadline", 1000, 100, 100, true},
    {"long_after", 1000, 100, 5000, true},
    {"zero_interval_at_once", 1000, 0, 0, true},
    {"across_the_wrap_before", 0xFFFFFFF0u, 0x40, 0x3F, false},
    {"across_the_wrap_after", 0xFFFFFFF0u, 0x40, 0x40, true},
    {"deadline_past_the_wrap_long_after", 0xFFFFFF00u, 0x200, 0x1000, true},
    {"half_the_range_ahead", 5, 0x7FFFFFFF, 0x7FFFFFFE, false},
};

class DeadlineExpiry : public DeadlineTimer, public ::testing::WithParamInterface<ExpiryCase> {};

TEST_P(DeadlineExpiry, Holds)
{
    const ExpiryCase &c = GetParam();
    g_now = c.start;
    MsTimer t(c.interval);
    EXPECT_EQ(t.MsTimerStart(), c.start);
    g_now = c.start + c.later;
    EXPECT_EQ(t.MsTimerExpired(), c.expired);
    EXPECT_EQ(t.MsTimerLeft(), c.expired ? 0u : c.interval - c.later);
}

INSTANTIATE_TEST_SUITE_P(All, DeadlineExpiry, ::testing::ValuesIn(kExpiryCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(DeadlineTimer, NoDeadlineIsZero)
{
    g_now = 0xFFFFFF9Cu; // 100 ms before the wrap
    MsTimer t(100);
    EXPECT_EQ(t.deadline(), 0u) << "not started";
    EXPECT_TRUE(t.MsTimerExpired()) << "a timer never started has nothing to wait for";
    t.MsTimerStart();
    EXPECT_EQ(t.deadline(), 1u);
    EXPECT_FALSE(t.MsTimerExpired());
    g_now = 1;
    EXPECT_TRUE(t.MsTimerExpired());
}

TEST_F(DeadlineTimer, WaitEndsAtItsDeadline)
{
    g_now = 500;
    g_step = 10;
    MsTimerWait(100);
    EXPECT_GE(g_now, 600u);
    EXPECT_LE(g_now, 630u);
}

TEST_F(DeadlineTimer, WaitPumpsTheStatusBoxOncePerPass)
{
    HeadlessStatusBox *box = &shown_box();
    g_step = 10;
    MsTimerWait(50);
    EXPECT_GE(box->messages_processed, 4);
    EXPECT_LE(box->messages_processed, 6);
}

TEST_F(DeadlineTimer, WaitOfZeroTakesAtMostOneMessage)
{
    HeadlessStatusBox *box = &shown_box();
    g_step = 1;
    MsTimerWait(0);
    EXPECT_LE(box->messages_processed, 1);
}

TEST_F(DeadlineTimer, ClosingTheStatusBoxEndsTheWaitWithUserCancel)
{
    HeadlessStatusBox *box = &shown_box();
    box->on_message = [](HeadlessStatusBox &b) {
        if (b.messages_processed == 3)
            b.closed_by_user = true;
    };
    g_step = 1;
    EXPECT_THROW(MsTimerWait(1000000), xUserCancel);
    EXPECT_LT(g_now, 100u) << "the wait ended when the box closed, not at its deadline";
    EXPECT_EQ(gDialogControl.Box(), nullptr);
}

} // namespace
