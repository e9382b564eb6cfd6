// Emit caches: where bytes go, where patches land (also across the end of the xmem window),
// page crossing, running out of room and moving on to a following origin.
#include <gtest/gtest.h>

#include "FrameDoubles.h"

#include "core/CC_ADDR.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_IN.h"
#include "linker/ORIGINS.h"
#include "core/SEAM_PARSER.h"

namespace {

class FrameCaches : public ::testing::Test {
protected:
    RecordingCacheHost host;
    TestOrigins origins;

    void SetUp() override
    {
        reset_addr_state();
        set_window_start(0xE000);
        set_xpc_base(14);
        set_emit_cache_host(&host);
        set_emit_origin_table(nullptr);
        point_caches_at_live_set(false);
        set_extra_code_cache(0, nullptr);
        set_extra_code_cache(1, nullptr);
        set_io_prefix_watch(nullptr);
        set_processor_revision(3);
        live_caches().root_code.Reset();
        live_caches().xmem_code.Reset();
        live_caches().root_variables.Reset();
    }
    void TearDown() override
    {
        set_emit_cache_host(nullptr);
        install_origin_table();
        set_io_prefix_watch(nullptr);
    }
};

TEST_F(FrameCaches, BytesReachTheCurrentCacheAndLeaveInOneBlock)
{
    EmitCache &root = root_code_cache();
    root.SetAddress(0x1000);
    set_current_code_cache(root);
    for (uint8_t b : {0x3E, 0x01, 0xC9})
        emit_code_byte(b);
    EXPECT_EQ(root.current, 0x1003u);
    EXPECT_TRUE(host.sent.empty()) << "bytes stay in the buffer until a flush";
    EXPECT_EQ(root.Flush(), 1);
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.sent[0].addr, 0x1000u);
    EXPECT_EQ(host.sent[0].bytes, (std::vector<uint8_t>{0x3E, 0x01, 0xC9}));
    EXPECT_EQ(root.Flush(), 0) << "an empty cache writes nothing";
}

TEST_F(FrameCaches, FullBufferIsWrittenBeforeTheNextByte)
{
    RootCache small(16);
    small.SetAddress(0x2000);
    for (int i = 0; i < 17; ++i)
        small.EmitByte(static_cast<uint8_t>(i));
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.sent[0].addr, 0x2000u);
    EXPECT_EQ(host.sent[0].bytes.size(), 16u);
    EXPECT_EQ(small.window_start, 0x2010u);
    EXPECT_EQ(small.count, 1);
}

TEST_F(FrameCaches, SuppressedOutputSendsNothing)
{
    host.no_output = 1;
    EmitCache &root = root_code_cache();
    root.SetAddress(0x1000);
    root.EmitByte(1);
    root.Flush();
    EXPECT_TRUE(host.sent.empty());
}

TEST_F(FrameCaches, PatchInsideTheBufferChangesTheHeldBytes)
{
    EmitCache &root = root_code_cache();
    root.SetAddress(0x1000);
    set_current_code_cache(root);
    for (int i = 0; i < 4; ++i)
        emit_code_byte(0);
    patch_code_word(0x1001, 0xBEEF);
    // the patch routine flushes the cache first, so the patch reaches the output directly
    ASSERT_EQ(host.sent.size(), 3u);
    EXPECT_EQ(host.sent[0].bytes, (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(host.sent[1].addr, 0x1001u);
    EXPECT_EQ(host.sent[1].bytes, (std::vector<uint8_t>{0xEF}));
    EXPECT_EQ(host.sent[2].addr, 0x1002u);
    EXPECT_EQ(host.sent[2].bytes, (std::vector<uint8_t>{0xBE}));
}

TEST_F(FrameCaches, EmitByteAtInsideTheWindowLandsInTheBuffer)
{
    EmitCache &root = root_code_cache();
    root.SetAddress(0x1000);
    root.EmitRepeat(0, 4);
    root.EmitByteAt(0x1002, 0x77);
    EXPECT_EQ(root.PeekByte(0x1002), 0x77);
    root.Flush();
    ASSERT_EQ(host.sent.size(), 1u);
    EXPECT_EQ(host.sent[0].bytes, (std::vector<uint8_t>{0, 0, 0x77, 0}));
}

TEST_F(FrameCaches, PatchedWordCrossesTheEndOfTheXmemWindowToTheNextPage)
{
    // xpc 4, offset 0xFFFF is physical 0x13FFF; the next byte is physical 0x14000, which the
    // window expresses as xpc 6, offset 0xE000.
    EmitCache &xmem = xmem_code_cache();
    xmem.SetAddress(make_addr(4, 0xFFF0));
    xmem.EmitRepeat(0, 0x10);
    patch_code_word(make_addr(4, 0xFFFF), 0x1234);
    ASSERT_EQ(host.sent.size(), 3u);
    EXPECT_EQ(host.sent[1].addr, make_addr(4, 0xFFFF));
    EXPECT_EQ(host.sent[1].bytes, (std::vector<uint8_t>{0x34}));
    EXPECT_EQ(host.sent[2].addr, make_addr(6, 0xE000));
    EXPECT_EQ(host.sent[2].bytes, (std::vector<uint8_t>{0x12}));
}

TEST_F(FrameCaches, PatchOfAnXmemAddressPrefersTheExtraCacheHoldingIt)
{
    XmemCache debug_cache(64);
    const int32_t o = origins.add(make_addr(2, 0xE000), 0x100, &debug_cache);
    set_emit_origin_table(&origins);
    debug_cache.origin_index = o;
    debug_cache.SetAddress(make_addr(2, 0xE000));
    debug_cache.EmitRepeat(0, 8);
    set_extra_code_cache(1, &debug_cache);
    patch_code_byte(make_addr(2, 0xE003), 0x55);
    // flushed by the patch routine, then patched straight to the output
    ASSERT_EQ(host.sent.size(), 2u);
    EXPECT_EQ(host.sent[1].addr, make_addr(2, 0xE003));
    set_extra_code_cache(1, nullptr);
}

TEST_F(FrameCaches, UnpositionedCacheRefusesPatches)
{
    RootCache fresh;
    fresh.EmitByteAt(0x1000, 1);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0], "Internal Error: Using uninitialized cache.");
    EXPECT_TRUE(host.sent.empty());
}

TEST_F(FrameCaches, PeekBeyondTheEmittedCodeIsAnError)
{
    EmitCache &root = root_code_cache();
    root.SetAddress(0x1000);
    root.EmitByte(9);
    EXPECT_EQ(root.PeekByte(0x1000), 9);
    EXPECT_EQ(root.PeekByte(0x1001), 0);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0], "Internal error: Peek beyond end of emitted code.");
    host.target_memory[0x0FFF] = 0x42;
    EXPECT_EQ(root.PeekByte(0x0FFF), 0x42) << "a byte already written out is read back";
}

TEST_F(FrameCaches, ZeroBytesInTheFallingCacheReturnTheLowestAddress)
{
    EmitCache &vars = root_variable_cache();
    vars.SetAddress(0xBFFF);
    EXPECT_EQ(emit_zero_bytes(4, false), 0xBFFCu);
    EXPECT_EQ(vars.current, 0xBFFBu);
    EXPECT_EQ(emit_zero_bytes(0, false), 0xBFFCu) << "n 0 returns the current address plus 1";
}

TEST_F(FrameCaches, CopyIsDeep)
{
    RootCache a(32), b(32);
    a.SetAddress(0x1000);
    a.EmitByte(1);
    b = a;
    a.EmitByteAt(0x1000, 2);
    EXPECT_EQ(b.PeekByte(0x1000), 1);
    EXPECT_EQ(b.current, 0x1001u);
    EXPECT_NE(a.buffer.get(), b.buffer.get());
}

TEST_F(FrameCaches, IoPrefixOnOldProcessorGetsANoOperationFirst)
{
    EmitCache &root = root_code_cache();
    root.SetAddress(0x1000);
    set_current_code_cache(root);
    set_io_prefix_watch([](uint8_t b) { return b == 0xCB; });
    set_processor_revision(2);
    emit_code_byte(0xCB);
    EXPECT_EQ(root.current, 0x1002u);
    EXPECT_EQ(root.PeekByte(0x1000), 0x00);
    EXPECT_EQ(root.PeekByte(0x1001), 0xCB);
    set_processor_revision(3);
    emit_code_byte(0xCB);
    EXPECT_EQ(root.current, 0x1003u);
}

TEST_F(FrameCaches, UsedFlagOfCodeCaches)
{
    RootCache root;
    root.SetAddress(0x1000);
    EXPECT_FALSE(root.IsUsed());
    root.Finish();
    EXPECT_TRUE(root.IsUsed());
    root.ClearUsed();
    EXPECT_FALSE(root.IsUsed());
    ConstantCache constants;
    constants.SetAddress(0x100);
    constants.Finish();
    EXPECT_FALSE(constants.IsUsed());
}

// ---- page crossing -------------------------------------------------------------------------

struct CrossCase {
    const char *name;
    uint16_t offset;
    uint32_t n;
    bool z180;
    int result;
    uint32_t expected;  // address word after the call
    const char *line;   // the first line emitted, "" for none
};

const CrossCase kCross[] = {
    {"F80PastPage", 0xF002, 0, false, 1, make_addr(3, 0xE006), "ljp 253958"},
    {"F80ClampedToWindowStart", 0xEFF0, 0x20, false, 1, make_addr(3, 0xE004), "ljp 253956"},
    {"BelowPageEndNothing", 0xEF00, 0x20, false, 0, make_addr(2, 0xEF00), ""},
    // "ld a, 3" and "call" (5 bytes) stay: code goes on behind them, 4 KB lower in the window.
    {"Z180BehindTheCall", 0xF002, 0, true, 1, make_addr(3, 0xE007), "ld a, 3"},
};

class FrameCrossPage : public FrameCaches, public ::testing::WithParamInterface<CrossCase> {};

TEST_P(FrameCrossPage, MovesToTheNextPage)
{
    const CrossCase &c = GetParam();
    XmemCache xmem(256);
    host.z180 = c.z180;
    host.emitter = &xmem;
    xmem.SetAddress(make_addr(2, c.offset));
    EXPECT_EQ(xmem.CrossPage(c.n, true), c.result);
    EXPECT_EQ(xmem.current, c.expected);
    if (*c.line) {
        ASSERT_FALSE(host.lines.empty());
        EXPECT_EQ(host.lines[0], c.line);
    } else {
        EXPECT_TRUE(host.lines.empty());
    }
    if (c.z180 && c.result) {
        EXPECT_EQ(host.lines.at(1), "call 4660");
    }
}

INSTANTIATE_TEST_SUITE_P(All, FrameCrossPage, ::testing::ValuesIn(kCross),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FrameCaches, CrossPageWithoutEmittingMovesOnlyTheAddress)
{
    XmemCache xmem(256);
    host.emitter = nullptr;  // another cache is the emitter: no jump is needed
    xmem.SetAddress(make_addr(2, 0xF002));
    EXPECT_EQ(xmem.CrossPage(0, true), 1);
    EXPECT_EQ(xmem.current, make_addr(3, 0xE002));
    EXPECT_TRUE(host.lines.empty());
}

// ---- room and followers ------------------------------------------------------------------------

TEST_F(FrameCaches, OutOfRootSpaceOnlyOncePastTheEnd)
{
    set_emit_origin_table(&origins);
    RootCache root(64);
    root.origin_index = origins.add(0x1000, 0x10, &root);
    root.SetAddress(0x100E);  // 2 bytes left: fewer than n + 5, still inside
    EXPECT_NO_THROW(root.EnsureRoom(8, false));
    EXPECT_TRUE(host.fatals.empty());
    root.SetAddress(0x1011);  // beyond the high end + 1
    EXPECT_THROW(root.EnsureRoom(8, false), FatalStop);
    ASSERT_EQ(host.fatals.size(), 1u);
    EXPECT_EQ(host.fatals[0], "Out of root code space, try moving code to XMEM.");
}

struct SpaceCase {
    const char *name;
    int which;  // 0 xmem, 1 constants, 2 variables
    const char *message;
};

const SpaceCase kSpace[] = {
    {"Xmem", 0, "Out of xmem code space, use a larger ROM/RAM."},
    {"Constants", 1, "Out of constant data space."},
    {"Variables", 2, "Out of variable data space."},
};

class FrameOutOfSpace : public FrameCaches, public ::testing::WithParamInterface<SpaceCase> {};

TEST_P(FrameOutOfSpace, ReportsTheClassMessage)
{
    XmemCache xmem(64);
    ConstantCache constants;
    VariableCache vars(4);
    EmitCache *caches[] = {&xmem, &constants, &vars};
    EmitCache &cache = *caches[GetParam().which];
    EXPECT_THROW(cache.OutOfSpace(), FatalStop);
    ASSERT_EQ(host.fatals.size(), 1u);
    EXPECT_EQ(host.fatals[0], GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(All, FrameOutOfSpace, ::testing::ValuesIn(kSpace),
                         [](const auto &i) { return std::string(i.param.name); });

// The jump lands where the code goes on: the follower's fill point.
TEST_F(FrameCaches, FullXmemOriginMovesToItsFollowerAtALineBoundary)
{
    set_emit_origin_table(&origins);
    XmemCache xmem(256);
    host.emitter = &xmem;
    const int32_t b = origins.add(make_addr(8, 0xE000), 0x800, &xmem);
    const int32_t a = origins.add(make_addr(4, 0xE000), 0x40, &xmem, b);
    origins.entries[static_cast<size_t>(b)].extent.end = make_addr(8, 0xE100);  // B's fill point
    xmem.origin_index = a;
    xmem.SetAddress(make_addr(4, 0xE030));
    host.marker = xmem.current;
    xmem.EnsureRoom(0x20, false);
    ASSERT_EQ(host.lines.size(), 1u);
    EXPECT_EQ(host.lines[0], "ljp " + std::to_string(make_addr(8, 0xE100)));
    EXPECT_EQ(xmem.origin_index, b);
    EXPECT_EQ(xmem.current, make_addr(8, 0xE100));
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(FrameCaches, MissingOriginIsReportedOncePerCache)
{
    set_emit_origin_table(&origins);
    RootCache root(64);
    root.SetAddress(0x1000);
    root.EmitByte(1);
    root.EmitByte(2);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0], "Must define at least one test origin directive.");
    WatchCache watch;  // watch code needs an origin only when the settings ask for one
    watch.SetAddress(0x100);
    watch.EmitByte(1);
    EXPECT_EQ(host.errors.size(), 1u);
}

// The Z180 has no origin directives: its caches stay where the driver put them, and a compile
// that gives none must not be told to.
TEST_F(FrameCaches, NoOriginIsDemandedWhileOriginDirectivesAreOff)
{
    set_emit_origin_table(&origins);
    set_origin_switch(0);
    RootCache root(64);
    root.SetAddress(0x1000);
    root.EmitByte(1);
    root.Finish();
    set_origin_switch(1);
    EXPECT_TRUE(host.errors.empty());
    RootCache again(64);  // switched back on, the same emit is reported again
    again.SetAddress(0x1000);
    again.EmitByte(1);
    EXPECT_EQ(host.errors.size(), 1u);
}

}  // namespace
