// Target addresses: conversions, arithmetic and comparisons on every window boundary, the
// qualification by the current origin and the memory-map layout.
#include "core/CC_ADDR.h"

#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "linker/EMITCACHE.h"
#include "FrameDoubles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class AddrFixture : public ::testing::Test {
protected:
    CurrentOriginFn installed = nullptr; // the compiler's own provider, when joined
    void SetUp() override {
        installed = current_origin_provider();
        reset_addr_state(); // window 0xE000, xpc base 14
    }
    void TearDown() override {
        reset_addr_state();
        set_current_origin_provider(installed);
    }
};

// ---- physical <-> word ---------------------------------------------------------------------

struct PhysCase {
    const char *name;
    std::uint32_t physical;
    ADDR24 word; // physical_to_addr(physical)
};

const PhysCase kPhysCases[] = {
    {"spec_example", 0x12345, make_addr(0x04, 0xE345)},
    {"page_start", 0x12000, make_addr(0x04, 0xE000)},
    {"page_last_byte", 0x12FFF, make_addr(0x04, 0xEFFF)},
    {"next_page_first", 0x13000, make_addr(0x05, 0xE000)},
    {"window_base_page", 0x0E000, make_addr(0x00, 0xE000)},
    {"top_of_space", 0xFFFFF, make_addr(0xF1, 0xEFFF)},
    // below the window: still expressed in the window, XPC wraps in 8 bits
    {"below_window", 0x01234, make_addr(0xF3, 0xE234)},
    {"zero", 0x00000, make_addr(0xF2, 0xE000)},
    // bits above 20 are dropped first
    {"beyond_20_bits", 0x112345, make_addr(0x04, 0xE345)},
};

class PhysToAddr : public AddrFixture, public ::testing::WithParamInterface<PhysCase> {};

TEST_P(PhysToAddr, ConvertsAndComesBack) {
    const PhysCase &c = GetParam();
    ADDR24 w = physical_to_addr(c.physical);
    EXPECT_EQ(w, c.word) << std::hex << "got 0x" << w << " (expected 0x" << c.word << ")";
    EXPECT_FALSE(addr_is_root(w));
    EXPECT_EQ(addr_to_physical(w), c.physical & kPhysicalMask);
}

INSTANTIATE_TEST_SUITE_P(All, PhysToAddr, ::testing::ValuesIn(kPhysCases),
                         [](const auto &i) { return std::string(i.param.name); });

struct ToPhysCase {
    const char *name;
    ADDR24 word;
    std::uint32_t physical;
};

const ToPhysCase kToPhysCases[] = {
    {"root_zero", make_addr(0, 0x0000), 0x00000},
    {"root_last_below_window", make_addr(0, 0xDFFF), 0x0DFFF},
    {"root_ignores_xpc", make_addr(0x7F, 0xDFFF), 0x0DFFF},
    {"window_first_xpc0", make_addr(0, 0xE000), 0x0E000},
    {"window_xpc4", make_addr(0x04, 0xE345), 0x12345},
    {"window_top_offset", make_addr(0x04, 0xFFFF), 0x13FFF},
    {"wraps_20_bits", make_addr(0xFF, 0xF000), 0x0E000},
};

class AddrToPhys : public AddrFixture, public ::testing::WithParamInterface<ToPhysCase> {};

TEST_P(AddrToPhys, Physical) {
    const ToPhysCase &c = GetParam();
    EXPECT_EQ(addr_to_physical(c.word), c.physical)
        << std::hex << "0x" << addr_to_physical(c.word) << " (expected 0x" << c.physical << ")";
}

INSTANTIATE_TEST_SUITE_P(All, AddrToPhys, ::testing::ValuesIn(kToPhysCases),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- addition -------------------------------------------------------------------------------

struct AddCase {
    const char *name;
    ADDR24 word;
    std::int32_t displacement;
    ADDR24 result;
};

const AddCase kAddCases[] = {
    {"root_wraps_down", make_addr(0, 0x0010), -0x20, make_addr(0, 0xFFF0)},
    {"root_keeps_xpc_byte", make_addr(0x33, 0x0010), 0x10, make_addr(0x33, 0x0020)},
    {"root_runs_into_window_offset", make_addr(0, 0xDFF0), 0x20, make_addr(0, 0xE010)},
    {"xmem_page_crossing", make_addr(0x04, 0xEFF0), 0x20, make_addr(0x05, 0xE010)},
    {"xmem_exact_page_end", make_addr(0x04, 0xEFFF), 1, make_addr(0x05, 0xE000)},
    {"xmem_backwards_crossing", make_addr(0x05, 0xE000), -1, make_addr(0x04, 0xEFFF)},
    {"xmem_within_page", make_addr(0x04, 0xE100), 0x10, make_addr(0x04, 0xE110)},
    {"xmem_upper_window_normalised", make_addr(0x04, 0xF000), 0, make_addr(0x05, 0xE000)},
    {"xmem_wraps_20_bits", make_addr(0xF1, 0xEFFF), 1, make_addr(0xF2, 0xE000)},
};

class AddrAdd : public AddrFixture, public ::testing::WithParamInterface<AddCase> {};

TEST_P(AddrAdd, Result) {
    const AddCase &c = GetParam();
    ADDR24 r = addr_add(c.word, c.displacement);
    EXPECT_EQ(r, c.result) << std::hex << "0x" << r << " (expected 0x" << c.result << ")";
}

INSTANTIATE_TEST_SUITE_P(All, AddrAdd, ::testing::ValuesIn(kAddCases),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- comparisons and differences -------------------------------------------------------------

struct CmpCase {
    const char *name;
    ADDR24 a, b;
    bool equal;        // addr_equal(a, b)
    bool less;         // addr_less(a, b)
    std::int32_t diff; // addr_diff(a, b)
};

const CmpCase kCmpCases[] = {
    {"root_xpc_byte_ignored", make_addr(0, 0x1234), make_addr(0x05, 0x1234), true, false, 0},
    {"xmem_vs_xpc0_same_offset", make_addr(0x05, 0xE234), make_addr(0, 0xE234), false, false,
     0x5000},
    {"root_first_only_offsets", make_addr(0x01, 0x0100), make_addr(0x02, 0x0100), true, false, 0},
    {"xmem_xpc_differs", make_addr(0x04, 0xE000), make_addr(0x05, 0xE000), false, true, -0x1000},
    {"same_physical_two_spellings", make_addr(0x04, 0xF000), make_addr(0x05, 0xE000), false,
     false, 0},
    {"root_below_window_edge", make_addr(0, 0xDFFF), make_addr(0, 0xE000), false, true, -1},
    {"across_page_end", make_addr(0x05, 0xE000), make_addr(0x04, 0xEFFF), false, false, 1},
    {"identical_xmem", make_addr(0x10, 0xE800), make_addr(0x10, 0xE800), true, false, 0},
    {"large_span", make_addr(0xF1, 0xEFFF), make_addr(0, 0x0000), false, false, 0xFFFFF},
};

class AddrCompare : public AddrFixture, public ::testing::WithParamInterface<CmpCase> {};

TEST_P(AddrCompare, EqualLessDiff) {
    const CmpCase &c = GetParam();
    EXPECT_EQ(addr_equal(c.a, c.b), c.equal);
    EXPECT_EQ(addr_equal(c.b, c.a), c.equal);
    EXPECT_EQ(addr_less(c.a, c.b), c.less);
    EXPECT_EQ(addr_diff(c.a, c.b), c.diff);
    EXPECT_EQ(addr_diff(c.b, c.a), -c.diff);
}

INSTANTIATE_TEST_SUITE_P(All, AddrCompare, ::testing::ValuesIn(kCmpCases),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- stored form and window settings ------------------------------------------------------------

TEST_F(AddrFixture, StoredThreeBytesOffsetLowFirst) {
    const std::uint8_t stored[3] = {0x45, 0xE3, 0x04};
    EXPECT_EQ(addr_from_addr24(stored), make_addr(0x04, 0xE345));
    std::uint8_t out[3] = {0, 0, 0};
    addr_to_addr24(make_addr(0xAB, 0x1234), out);
    EXPECT_EQ(out[0], 0x34);
    EXPECT_EQ(out[1], 0x12);
    EXPECT_EQ(out[2], 0xAB);
}

TEST_F(AddrFixture, OtherWindowMovesRootTestAndConversions) {
    ASSERT_TRUE(set_xmem_window(0xD));
    EXPECT_EQ(window_start(), 0xD000);
    EXPECT_TRUE(addr_is_root(make_addr(0, 0xCFFF)));
    EXPECT_FALSE(addr_is_root(make_addr(0, 0xD000)));
    EXPECT_EQ(physical_to_addr(0x12345), make_addr(0x05, 0xD345));
    EXPECT_FALSE(set_xmem_window(16));
    EXPECT_EQ(window_start(), 0xD000);
}

// ---- logical_to_addr -----------------------------------------------------------------------

std::optional<OriginWindow> g_window;
std::optional<OriginWindow> provide_window() { return g_window; }

struct LogicalCase {
    const char *name;
    OriginWindow window;
    std::uint16_t logical;
    ADDR24 result;
};

const LogicalCase kLogicalCases[] = {
    {"up_first", {make_addr(0x20, 0xE000), 0x1000, true}, 0xE000, make_addr(0x20, 0xE000)},
    {"up_last", {make_addr(0x20, 0xE000), 0x1000, true}, 0xEFFF, make_addr(0x20, 0xEFFF)},
    {"up_one_past", {make_addr(0x20, 0xE000), 0x1000, true}, 0xF000, make_addr(0, 0xF000)},
    {"up_one_below", {make_addr(0x20, 0xE000), 0x1000, true}, 0xDFFF, make_addr(0, 0xDFFF)},
    {"down_start", {make_addr(0x30, 0xEFFF), 0x100, false}, 0xEFFF, make_addr(0x30, 0xEFFF)},
    {"down_last", {make_addr(0x30, 0xEFFF), 0x100, false}, 0xEF00, make_addr(0x30, 0xEF00)},
    {"down_one_below", {make_addr(0x30, 0xEFFF), 0x100, false}, 0xEEFF, make_addr(0, 0xEEFF)},
    {"empty_origin", {make_addr(0x30, 0xE000), 0, true}, 0xE000, make_addr(0, 0xE000)},
};

class LogicalToAddr : public AddrFixture, public ::testing::WithParamInterface<LogicalCase> {};

TEST_P(LogicalToAddr, QualifiedByOrigin) {
    const LogicalCase &c = GetParam();
    g_window = c.window;
    set_current_origin_provider(provide_window);
    EXPECT_EQ(logical_to_addr(c.logical), c.result);
}

INSTANTIATE_TEST_SUITE_P(All, LogicalToAddr, ::testing::ValuesIn(kLogicalCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(AddrFixture, LogicalWithoutOriginIsZero) {
    set_current_origin_provider(nullptr);
    EXPECT_EQ(logical_to_addr(0x1234), 0u); // no provider
    g_window.reset();
    set_current_origin_provider(provide_window);
    EXPECT_EQ(logical_to_addr(0x1234), 0u); // provider says: no origin
}

// The compiler's own provider asks the current code cache for its origin: an unbound cache
// reports the missing origin once and qualifies to 0; a bound one lends its window.
TEST_F(AddrFixture, CompilerProviderReportsMissingOriginOnce) {
    install_compiler_joins();
    EmitCache &previous_cache = current_code_cache();
    EmitOriginTable *previous_table = emit_origin_table();
    RecordingCacheHost host;
    TestOrigins origins;
    EmitCache code(+1, 64);
    set_emit_cache_host(&host);
    set_emit_origin_table(&origins);
    set_current_code_cache(code);

    EXPECT_EQ(logical_to_addr(0xE010), 0u);
    EXPECT_EQ(logical_to_addr(0xE010), 0u);
    ASSERT_EQ(host.errors.size(), 1u) << "the missing origin is reported once per cache";
    EXPECT_NE(host.errors[0].find("test"), std::string::npos) << host.errors[0];

    origins.select_origin(origins.add(make_addr(0x20, 0xE000), 0x1000, &code));
    EXPECT_EQ(logical_to_addr(0xE010), make_addr(0x20, 0xE010));
    EXPECT_EQ(logical_to_addr(0xF010), make_addr(0, 0xF010));
    EXPECT_EQ(host.errors.size(), 1u);

    set_current_code_cache(previous_cache);
    set_emit_origin_table(previous_table);
    set_emit_cache_host(nullptr);
}

// ---- memory map ------------------------------------------------------------------------------

TEST_F(AddrFixture, DefaultsRoundRootCodeStartUp) {
    set_xpc_base(3);
    memory_map_defaults(0x1234, 0x3000);
    EXPECT_EQ(memory_map().root_code_start, 0x1400);
    EXPECT_EQ(xpc_base(), 14);
    memory_map_defaults(0x1200, 0x3000);
    EXPECT_EQ(memory_map().root_code_start, 0x1300); // a multiple stays: only + 256
}

TEST_F(AddrFixture, LayoutCarvesAreasBelowTop) {
    memory_map_defaults(0x0000, 0x2000);
    MemoryLayoutInputs in;
    in.free_size = 0x10;
    in.astk_size = 0xD0;
    in.heap_size = 0x100;
    ASSERT_TRUE(LayoutMemoryMap(0xE000, in));
    const MemoryMap &m = memory_map();
    EXPECT_EQ(m.data_top, 0xDFFFu);
    EXPECT_EQ(m.free_area.first, 0xDFF0u);
    EXPECT_EQ(m.free_area.last, 0xDFFFu);
    EXPECT_EQ(m.astk_area.first, 0xDF20u);
    EXPECT_EQ(m.astk_area.last, 0xDFEFu);
    EXPECT_EQ(m.heap_area.first, 0xDE20u);
    EXPECT_EQ(m.heap_area.last, 0xDF1Fu);
    EXPECT_EQ(m.root_code.first, 0x100u);
    EXPECT_EQ(m.root_code.last, 0x1FFu);
    EXPECT_EQ(m.next_range.first, 0x200u);
    EXPECT_EQ(m.next_range.last, 0x20FFu);
}

TEST_F(AddrFixture, LayoutSecondFamilyUsesCachesAndCodeSize) {
    memory_map_defaults(0x0000, 0x2000);
    MemoryLayoutInputs in;
    in.processor_selector = 1;
    in.astk_size = 0;
    in.data_cache_offset = 0xC000;
    in.xmem_code_range = AddrRange{0x20000, 0x2FFFF, 0x10000};
    ASSERT_TRUE(LayoutMemoryMap(0, in));
    const MemoryMap &m = memory_map();
    EXPECT_EQ(m.root_code.first, 0x100u);
    EXPECT_EQ(m.root_code.last, 0x20FFu);
    EXPECT_EQ(m.next_range.first, 0x20000u);
    EXPECT_EQ(m.data_top, 0xC000u);
    EXPECT_EQ(m.free_area.size, 0u);
}

TEST_F(AddrFixture, LayoutAreasThatDoNotFitAreCutAtZero) {
    memory_map_defaults(0, 0);
    MemoryLayoutInputs in;
    in.free_size = 0x80;
    in.astk_size = 0x100;
    in.heap_size = 0x100;
    EXPECT_FALSE(LayoutMemoryMap(0x100, in)); // top 0xFF
    const MemoryMap &m = memory_map();
    EXPECT_EQ(m.free_area.first, 0x80u);
    EXPECT_EQ(m.astk_area.first, 0u);
    EXPECT_EQ(m.astk_area.last, 0x7Fu);
    EXPECT_EQ(m.astk_area.size, 0x80u);
    EXPECT_EQ(m.heap_area.size, 0u);
    EXPECT_EQ(m.heap_area.last, 0u);
}

} // namespace
