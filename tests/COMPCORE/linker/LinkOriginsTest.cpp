// Origin directives through the directive dispatcher: declarations and their options, "apply"
// and "resume", followers, the battery-backed and debug caches, bad lines; the address queries,
// the overlap check, interrupt vectors and the BIOS state that keeps the origins.
#include "FrameDoubles.h"
#include "InputHarness.h"

#include "core/CC_ADDR.h"
#include "codegen/CC_ASMTAB.h"
#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "parser/CC_INASM.h"
#include "linker/CC_RELOC.h"
#include "linker/ORIGINS.h"
#include "core/SEAM_TARGET.h"
#include "settings/guiKXPreferences.h"

#include <gtest/gtest.h>

using namespace input_test;

namespace {

class LinkOrigins : public ::testing::Test {
protected:
    RecordingCacheHost host;

    void SetUp() override
    {
        reset_addr_state();
        set_emit_cache_host(&host);
        install_origin_table();
        origin_table().Clear();
        point_caches_at_live_set(false);
        set_extra_code_cache(0, nullptr);
        set_extra_code_cache(1, nullptr);
        set_directive_handlers({});
        set_origin_switch(1);
        set_decl_flag_word(0);
        SetCompilingBios(0);
        for (EmitCache *c : all_caches()) {
            c->Unbind();
            c->Reset();
            c->positioned = 0;
        }
    }
    void TearDown() override
    {
        origin_table().Clear();
        set_emit_cache_host(nullptr);
        point_caches_at_live_set(false);
        SetCompilingBios(0);
        set_decl_flag_word(0);
        reset_errors();
    }
    static std::vector<EmitCache *> all_caches()
    {
        EmitCacheSet &s = live_caches();
        return {&s.root_code, &s.xmem_code, &s.watch_code, &s.constants,
                &s.root_variables, &s.kind6_variables, &s.second_variables};
    }
    const OriginDirective &origin(const char *name)
    {
        const OriginDirective *o = origin_table().at(origin_table().Find(name));
        EXPECT_NE(o, nullptr) << name;
        static const OriginDirective none;
        return o ? *o : none;
    }
};

// ---- declarations -------------------------------------------------------------------------------

struct DeclareCase {
    const char *name;
    const char *line;
    uint8_t kind;
    ADDR24 start;
    uint32_t size;
    uint8_t space;
    uint8_t debug;
};
const DeclareCase kDeclarations[] = {
    {"root_code", "#rcodorg rc 0x0 0x6000 0x2000", kOriginRootCode, 0x6000, 0x2000, 0, 0},
    {"xmem_code", "#xcodorg xc 0x2 0xE000 0x1000", kOriginXmemCode, make_addr(2, 0xE000), 0x1000, 0, 0},
    {"watch_code", "#wcodorg wc 0x0 0x100 0x100", kOriginWatchCode, 0x100, 0x100, 0, 0},
    {"root_vars", "#rvarorg rv 0x0 0xC000 0x1000", kOriginRootVars, 0xC000, 0x1000, 0, 0},
    {"watch_vars_record_kind_4", "#wvarorg wv 0x0 0xB000 0x100", kOriginRootVars, 0xB000, 0x100, 0, 0},
    {"root_constants", "#rconorg k 0x0 0x3000 0x100", kOriginRootConst, 0x3000, 0x100, 0, 0},
    {"ispace", "#rcodorg i 0 0x1000 0x100 ispace", kOriginRootCode, 0x1000, 0x100, 1, 0},
    {"dspace", "#rvarorg d 0 0x1000 0x100 dspace", kOriginRootVars, 0x1000, 0x100, 2, 0},
    {"all", "#xcodorg a 2 0xE000 0x100 all", kOriginXmemCode, make_addr(2, 0xE000), 0x100, 0, 0},
    {"macro_in_line", "#define SIZE 0x400\n#rcodorg m 0 0x2000 SIZE", kOriginRootCode, 0x2000, 0x400, 0, 0},
    {"expressions", "#rcodorg e (1-1) 0x2000+0x10 2*0x100", kOriginRootCode, 0x2010, 0x200, 0, 0},
};

class LinkOriginDeclare : public LinkOrigins, public ::testing::WithParamInterface<DeclareCase> {};

TEST_P(LinkOriginDeclare, RecordsTheOriginUnbound)
{
    const DeclareCase &c = GetParam();
    const Result r = run_text(std::string(c.line) + "\n");
    EXPECT_TRUE(r.messages.empty()) << dump(r);
    ASSERT_EQ(origin_table().origins.size(), 1u);
    const OriginDirective &o = origin_table().origins[0];
    EXPECT_EQ(o.kind, c.kind);
    EXPECT_EQ(o.start, c.start);
    EXPECT_EQ(o.end, c.start);
    EXPECT_EQ(o.size, c.size);
    EXPECT_EQ(o.space, c.space);
    EXPECT_EQ(o.debug, c.debug);
    ASSERT_NE(o.cache, nullptr);
    EXPECT_FALSE(o.cache->is_bound()) << "a declaration alone binds nothing";
}

INSTANTIATE_TEST_SUITE_P(All, LinkOriginDeclare, ::testing::ValuesIn(kDeclarations),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(LinkOrigins, EachDirectiveDeclaresForItsOwnCache)
{
    const Result r = run_text("#rcodorg rc 0 0x6000 0x100\n#xcodorg xc 2 0xE000 0x100\n"
                              "#wcodorg wc 0 0x100 0x100\n#rvarorg rv 0 0xC000 0x100\n"
                              "#wvarorg wv 0 0xB000 0x100\n#rconorg k 0 0x3000 0x100\n");
    EXPECT_TRUE(r.messages.empty()) << dump(r);
    EXPECT_EQ(origin("rc").cache, &root_code_cache());
    EXPECT_EQ(origin("xc").cache, &xmem_code_cache());
    EXPECT_EQ(origin("wc").cache, &watch_code_cache());
    EXPECT_EQ(origin("rv").cache, &root_variable_cache());
    EXPECT_EQ(origin("wv").cache, &kind6_variable_cache()) << "the watch variable cache";
    EXPECT_EQ(origin("k").cache, &constant_cache());
    EXPECT_EQ(&constants_in_code_cache(), &constant_cache()) << "#rconorg: the constant target";
}

// ---- apply and resume -------------------------------------------------------------------------

TEST_F(LinkOrigins, ApplyStartsAgainAndResumeContinues)
{
    EmitCache &root = root_code_cache();
    Result r = run_text("#rcodorg main 0x0 0x6000 0x1000 apply\n");
    ASSERT_TRUE(r.messages.empty()) << dump(r);
    EXPECT_EQ(root.origin_index, 0);
    EXPECT_EQ(root.current, 0x6000u);
    root.EmitRepeat(0, 0x10);

    r = run_text("#rcodorg other 0x0 0x7000 0x1000 apply\n");
    ASSERT_TRUE(r.messages.empty()) << dump(r);
    EXPECT_EQ(root.current, 0x7000u);
    EXPECT_EQ(origin("main").end, 0x6010u) << "the fill point kept where the cache left";
    root.EmitRepeat(0, 4);

    r = run_text("#rcodorg main resume\n");
    ASSERT_TRUE(r.messages.empty()) << dump(r);
    EXPECT_EQ(root.current, 0x6010u) << "resume continues at the fill point";
    EXPECT_EQ(origin("other").end, 0x7004u);

    r = run_text("#rcodorg main apply\n");
    ASSERT_TRUE(r.messages.empty()) << dump(r);
    EXPECT_EQ(root.current, 0x6000u) << "apply on the bound origin starts it again";

    r = run_text("#rcodorg other resume\n#rcodorg main resume\n");
    EXPECT_EQ(root.current, 0x6000u);
    root.Flush();
    ASSERT_FALSE(host.sent.empty());
    EXPECT_EQ(host.sent.front().addr, 0x6000u) << "what the cache held left before it moved";
}

TEST_F(LinkOrigins, DuplicateNameIsRefusedAndKeepsTheFirst)
{
    const Result r = run_text("#rcodorg main 0 0x6000 0x1000\n#rcodorg main 0 0x8000 0x10\n");
    EXPECT_EQ(summaries(r), std::vector<std::string>{"Duplicate origin directive defined."});
    EXPECT_EQ(r.messages.at(0).line, 2);
    ASSERT_EQ(origin_table().origins.size(), 1u);
    EXPECT_EQ(origin("main").start, 0x6000u);
    EXPECT_EQ(origin("main").size, 0x1000u);
}

// ---- followers ----------------------------------------------------------------------------------

TEST_F(LinkOrigins, FollowsChainsInTheFollowedOrigin)
{
    const Result r = run_text("#xcodorg a 2 0xE000 0x100\n"
                              "#xcodorg b 4 0xE000 0x100 follows a splitbin\n");
    EXPECT_TRUE(r.messages.empty()) << dump(r);
    EXPECT_EQ(origin("a").next, "b");
    EXPECT_EQ(origin("a").follower, 1);
    EXPECT_EQ(origin("b").next, "");
    EXPECT_EQ(origin("b").splitbin, 1);
    EXPECT_EQ(origin_table().split_count, 1);
    ASSERT_NE(lookup_named_origin(origin("a")), nullptr);
    EXPECT_EQ(lookup_named_origin(origin("a"))->name, "b");
    EXPECT_EQ(lookup_named_origin(origin("b")), nullptr);
}

TEST_F(LinkOrigins, SecondFollowerIsReportedAndTakesTheChain)
{
    const Result r = run_text("#xcodorg a 2 0xE000 0x100\n#xcodorg b 4 0xE000 0x100 follows a\n"
                              "#xcodorg c 6 0xE000 0x100 follows a\n");
    EXPECT_EQ(summaries(r), std::vector<std::string>{
                                "Only one origin directive may immediately follow another origin "
                                "directive."});
    EXPECT_EQ(r.messages.at(0).line, 3);
    EXPECT_EQ(origin("a").next, "c");
}

// ---- bad lines --------------------------------------------------------------------------------

struct BadCase {
    const char *name;
    std::string line;
    std::vector<std::string> messages;
    size_t origins;  // left in the table
};
const BadCase kBad[] = {
    {"no_name", "#rcodorg", {"Invalid name for origin directive."}, 0},
    {"number_for_name", "#rcodorg 0x10 0 0x10", {"Invalid name for origin directive."}, 0},
    {"unknown_action", "#rcodorg main 0 0x6000 0x100\n#rcodorg main restart",
     {"Origin directive is missing a declaration parameters or a apply/resume action."}, 1},
    {"action_on_undeclared", "#rcodorg nowhere resume",
     {"Undefined origin directive 'nowhere'. Origin directive must be declared before use."}, 0},
    {"trailing_text", "#rcodorg main 0 0x6000 0x100 apply )", {"Syntax error in origin directive."}, 1},
    {"trailing_after_action", "#rcodorg main 0 0x6000 0x100\n#rcodorg main resume 5",
     {"Syntax error in origin directive."}, 1},
    {"unknown_option", "#rcodorg main 0 0x6000 0x100 fast", {"Syntax error in origin directive."}, 1},
    {"non_constant_size", "#rcodorg main 0 0x6000 size_of_it", {"Constant expression expected."}, 0},
    {"missing_size", "#rcodorg main 0 0x6000", {"Invalid expression."}, 0},
    {"missing_offset", "#rcodorg main 0", {"Invalid expression."}, 0},
    {"follows_nothing", "#xcodorg a 2 0xE000 0x10 follows", {"Missing origin name in follows expression."}, 1},
    {"follows_unknown", "#xcodorg a 2 0xE000 0x10 follows nowhere",
     {"Undefined origin directive 'nowhere'. Origin directive must be declared before use."}, 1},
    {"follows_itself", "#xcodorg a 2 0xE000 0x10 follows a", {"Origin directive 'a' cannot follow itself."}, 1},
    {"batterybacked_code", "#rcodorg main 0 0x6000 0x100 batterybacked",
     {"An origin marked batterybacked must be an rvarorg."}, 1},
    {"debug_on_data", "#rvarorg v 0 0xC000 0x100 debug",
     {"Debug expressions only apply to root or xmem code origin directives."}, 1},
    {"all_on_constants", "#rconorg k 0 0x3000 0x100 all",
     {"Debug expressions only apply to root or xmem code origin directives."}, 1},
    {"long_name_kept_to_32", "#rcodorg " + std::string(200, 'n') + " 0 0x6000 0x10", {}, 1},
};

class LinkOriginBad : public LinkOrigins, public ::testing::WithParamInterface<BadCase> {};

TEST_P(LinkOriginBad, ReportsOnceAndLosesNothing)
{
    const BadCase &c = GetParam();
    const Result r = run_text(c.line + "\nnext line\n");
    EXPECT_EQ(summaries(r), c.messages) << dump(r);
    EXPECT_EQ(origin_table().origins.size(), c.origins);
    EXPECT_EQ(r.texts(), "next line\n") << "the line after it is read as usual";
    for (const OriginDirective &o : origin_table().origins) {
        EXPECT_EQ(o.next, "") << "no chain from a refused follows";
        EXPECT_EQ(o.debug, 0) << "no debug word taken by a refused origin";
        EXPECT_NE(o.cache, debug_code_cache());
    }
}

INSTANTIATE_TEST_SUITE_P(All, LinkOriginBad, ::testing::ValuesIn(kBad),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- warnings of a declaration ------------------------------------------------------------------

struct WarnCase {
    const char *name;
    const char *line;
    std::vector<std::string> messages;
    int16_t kind;  // of the one message
    ADDR24 start;
};
const WarnCase kWarnings[] = {
    {"xcodorg_below_the_window", "#xcodorg x 0 0x4000 0x100",
     {"Address 00:4000 for #xcodorg not in xmem, converting to F6:E000"}, kMsgKindTrivial,
     make_addr(0xF6, 0xE000)},
    {"xcodorg_page_below_the_window", "#xcodorg x 0x10 0x1234 0x100",
     {"Address 10:1234 for #xcodorg not in xmem, converting to 03:E234"}, kMsgKindTrivial,
     make_addr(0x03, 0xE234)},
    {"rcodorg_below_the_window_is_root", "#rcodorg r 0 0x4000 0x100", {}, 0, 0x4000},
    {"size_zero", "#rcodorg r 0 0x4000 0", {"Size specified in origin directive is zero."},
     kMsgKindTrivial, 0x4000},
    {"size_one_megabyte", "#rcodorg r 0 0x4000 0xFFFFF",
     {"Size specified in origin directive exceeds 1 megabyte memory space."}, kMsgKindSerious, 0x4000},
    {"size_beyond", "#rcodorg r 0 0x4000 0x100000",
     {"Size specified in origin directive exceeds 1 megabyte memory space."}, kMsgKindSerious, 0x4000},
    {"size_just_below", "#rcodorg r 0 0x4000 0xFFFFE", {}, 0, 0x4000},
};

class LinkOriginWarn : public LinkOrigins, public ::testing::WithParamInterface<WarnCase> {};

TEST_P(LinkOriginWarn, DeclaresWithTheWarning)
{
    const WarnCase &c = GetParam();
    const Result r = run_text(std::string(c.line) + "\n");
    EXPECT_EQ(summaries(r), c.messages) << dump(r);
    if (!r.messages.empty()) {
        EXPECT_EQ(r.messages[0].kind, c.kind);
    }
    ASSERT_EQ(origin_table().origins.size(), 1u) << "declared all the same";
    EXPECT_EQ(origin_table().origins[0].start, c.start);
}

INSTANTIATE_TEST_SUITE_P(All, LinkOriginWarn, ::testing::ValuesIn(kWarnings),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- options with caches of their own ------------------------------------------------------------

TEST_F(LinkOrigins, BatteryBackedTakesTheSecondVariableCacheAtItsStart)
{
    EXPECT_EQ(&battery_backed_cache(), &root_variable_cache());
    const Result r = run_text("#rvarorg rv 0 0xC000 0x1000 apply\n#rvarorg bb 0 0xA000 0x400 batterybacked\n");
    EXPECT_TRUE(r.messages.empty()) << dump(r);
    EmitCache &bb = live_caches().second_variables;
    EXPECT_EQ(origin("bb").cache, &bb);
    EXPECT_EQ(&battery_backed_cache(), &bb);
    EXPECT_EQ(bb.origin_index, 1);
    EXPECT_EQ(bb.current, 0xA000u);
    EXPECT_EQ(root_variable_cache().origin_index, 0) << "the root variables stay where they were";
    EXPECT_EQ(memory_map().root_data_base, 0xC000u) << "the root variable cache's address";
}

TEST_F(LinkOrigins, RootVariablesGiveTheDataBase)
{
    const Result r = run_text("#rvarorg rv 0 0xC7FF 0x800 apply\n");
    EXPECT_TRUE(r.messages.empty()) << dump(r);
    EXPECT_EQ(memory_map().root_data_base, 0xC7FFu);
    EXPECT_EQ(origin_low_end(origin("rv")), 0xC000u) << "a falling cache fills down from start";
    EXPECT_EQ(origin_high_end(origin("rv")), 0xC7FFu);
}

TEST_F(LinkOrigins, DebugAndNodebugGiveTheOriginsCachesOfTheirOwn)
{
    const Result r = run_text("#xcodorg d 2 0xE000 0x1000 debug\n#xcodorg n 4 0xE000 0x1000 nodebug\n"
                              "#xcodorg a 6 0xE000 0x1000 all\n");
    EXPECT_TRUE(r.messages.empty()) << dump(r);
    ASSERT_NE(debug_code_cache(), nullptr);
    ASSERT_NE(nodebug_code_cache(), nullptr);
    EXPECT_NE(debug_code_cache(), nodebug_code_cache());
    EXPECT_EQ(origin("d").cache, debug_code_cache());
    EXPECT_EQ(origin("d").debug, 1);
    EXPECT_EQ(origin("n").cache, nodebug_code_cache());
    EXPECT_EQ(origin("n").debug, 2);
    EXPECT_EQ(origin("a").cache, &xmem_code_cache());
    EXPECT_EQ(extra_code_cache(0), debug_code_cache());
    EXPECT_EQ(extra_code_cache(1), nodebug_code_cache());
    EXPECT_EQ(debug_code_cache()->kind, kOriginXmemCode);
    EXPECT_EQ(debug_code_cache()->size, 4096);

    // A debug origin applied binds its own cache, not the xmem code cache.
    run_text("#xcodorg d apply\n");
    EXPECT_EQ(debug_code_cache()->origin_index, 0);
    EXPECT_EQ(debug_code_cache()->current, make_addr(2, 0xE000));
    EXPECT_FALSE(xmem_code_cache().is_bound());
}

// The first xmem code of a BIOS starts one 256-byte page past the next page boundary.
TEST_F(LinkOrigins, FirstXcodorgOfABiosIsAligned)
{
    SetCompilingBios(1);
    set_decl_flag_word(0x08);
    Result r = run_text("#xcodorg x 2 0xE010 0x1000 apply\n");
    EXPECT_TRUE(r.messages.empty()) << dump(r);
    EXPECT_EQ(memory_map().xmem_code_base, make_addr(2, 0xE100));
    EXPECT_EQ(xmem_code_cache().current, make_addr(2, 0xE200));

    // Not the first: the cache was bound already.
    r = run_text("#xcodorg y 4 0xE010 0x1000 apply\n");
    EXPECT_EQ(xmem_code_cache().current, make_addr(4, 0xE010));
}

TEST_F(LinkOrigins, XcodorgOfAProgramIsNotAligned)
{
    set_decl_flag_word(0x08);
    run_text("#xcodorg x 2 0xE010 0x1000 apply\n");
    EXPECT_EQ(xmem_code_cache().current, make_addr(2, 0xE010));
}

// ---- address queries ---------------------------------------------------------------------------

TEST_F(LinkOrigins, HighestAndLowestAddressesFollowTheBoundCaches)
{
    const Result r = run_text("#rcodorg r1 0 0x1000 0x1000\n#rcodorg r2 0 0x4000 0x1000 apply\n"
                              "#xcodorg x 2 0xE000 0x1000 apply\n#rconorg k 0 0x3000 0x100 apply\n");
    ASSERT_TRUE(r.messages.empty()) << dump(r);
    OriginContainer &t = origin_table();
    EXPECT_EQ(t.HighestAddress(kOriginRootCode), kDummyAddress) << "nothing emitted yet";
    root_code_cache().EmitRepeat(0, 0x20);
    xmem_code_cache().EmitRepeat(0, 0x10);
    EXPECT_EQ(t.HighestAddress(kOriginRootCode), 0x4020u) << "r1 holds nothing";
    EXPECT_EQ(origin("r2").end, 0x4020u) << "the query refreshes the fill point";
    EXPECT_EQ(t.HighestAddress(kOriginXmemCode), make_addr(2, 0xE010));
    EXPECT_EQ(t.HighestCodeAddress(), make_addr(2, 0xE010)) << "physical 0x10010 is highest";
    EXPECT_EQ(t.LowestAddress(kOriginRootCode), 0x1000u);
    EXPECT_EQ(t.LowestAddress(kOriginWatchCode), make_addr(0xF0, 0xFFFF)) << "none of the kind";
}

TEST_F(LinkOrigins, ClearUnbindsEveryCacheAndEmptiesTheTable)
{
    run_text("#rcodorg r 0 0x4000 0x1000 apply\n#xcodorg x 2 0xE000 0x1000 follows nothere splitbin\n");
    ASSERT_EQ(root_code_cache().origin_index, 0);
    origin_table().Clear();
    EXPECT_TRUE(origin_table().origins.empty());
    EXPECT_EQ(origin_table().split_count, 0);
    EXPECT_EQ(root_code_cache().origin_index, -1) << "unbound, not left naming index 0";
    run_text("#rcodorg other 0 0x8000 0x100\n");
    EXPECT_FALSE(root_code_cache().is_bound()) << "a new first origin does not bind it";
}

// ---- the overlap check ----------------------------------------------------------------------------

struct CollisionCase {
    const char *name;
    const char *lines;
    std::vector<std::string> warnings;
};
const CollisionCase kCollisions[] = {
    {"overlapping_root",
     "#rcodorg a 0 0x1000 0x1000\n#rcodorg b 0 0x1800 0x1000\n",
     {"Origin a collides with origin b starting at logical address 0x1800.",
      "Origin a collides with origin b starting at physical address 0x1800."}},
    {"touching_end_to_start", "#rcodorg a 0 0x1000 0x1000\n#rcodorg b 0 0x1FFF 0x1000\n", {}},
    {"apart", "#rcodorg a 0 0x1000 0x1000\n#rcodorg b 0 0x3000 0x1000\n", {}},
    {"ispace_against_dspace",
     "#rcodorg a 0 0x1000 0x1000 ispace\n#rvarorg b 0 0x1FFF 0x1000 dspace\n", {}},
    {"two_ispace",
     "#rcodorg a 0 0x1000 0x1000 ispace\n#rcodorg b 0 0x1800 0x1000 ispace\n",
     {"Origin a collides with origin b starting at logical address 0x1800.",
      "Origin a collides with origin b starting at physical address 0x1800."}},
    {"falling_variables_into_code",
     "#rcodorg a 0 0x1000 0x1000\n#rvarorg v 0 0x1900 0x200\n",
     {"Origin a collides with origin v starting at logical address 0x1701.",
      "Origin a collides with origin v starting at physical address 0x1701."}},
    {"xmem_pages_meet_physically",
     "#xcodorg a 2 0xE000 0x2000\n#xcodorg b 3 0xE000 0x1000\n",
     {"Origin a collides with origin b starting at physical address 0x11000."}},
};

class LinkCollision : public LinkOrigins, public ::testing::WithParamInterface<CollisionCase> {};

TEST_P(LinkCollision, SeriousWarningsNameTheFront)
{
    const CollisionCase &c = GetParam();
    Result r = run_text(c.lines);
    ASSERT_TRUE(r.messages.empty()) << dump(r);
    reset_errors();
    resolve_origins();
    std::vector<std::string> got;
    for (const Message &m : collect_messages()) {
        got.push_back(m.summary);
        EXPECT_EQ(m.kind, kMsgKindSerious);
    }
    EXPECT_EQ(got, c.warnings);
}

INSTANTIATE_TEST_SUITE_P(All, LinkCollision, ::testing::ValuesIn(kCollisions),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- the watch-code area and the flush of the current caches ---------------------------------------

TEST_F(LinkOrigins, WatchCodeRewindsToItsOriginStart)
{
    const Result r = run_text("#wcodorg wc 0x0 0x7F00 0x100 apply\n");
    ASSERT_TRUE(r.messages.empty()) << dump(r);
    EmitCache &watch = watch_code_cache();
    watch.EmitRepeat(0x11, 5);
    watch.Flush();
    watch.EmitRepeat(0x22, 3);
    rewind_to_origin_start(watch);
    EXPECT_EQ(watch.current, 0x7F00u);
    EXPECT_EQ(origin("wc").end, 0x7F00u);
    EXPECT_EQ(watch.count, 0) << "what the last watch left is dropped, not written";
    watch.EmitByte(0x33);
    watch.Flush();
    ASSERT_EQ(host.sent.size(), 2u);
    EXPECT_EQ(host.sent[1].addr, 0x7F00u);
    EXPECT_EQ(host.sent[1].bytes, std::vector<uint8_t>{0x33});
}

// A cache whose origin goes with the table stands nowhere afterwards: the next compile, whose
// origins declare no watch-code area, finishes its unbound watch-code cache without measuring the
// old area's address against an origin it does not have.
TEST_F(LinkOrigins, AnEmptiedTableLeavesNoCacheAtItsOldPlace)
{
    Result r = run_text("#wcodorg wc 0xE2 0xE000 0x1000 apply\n");
    ASSERT_TRUE(r.messages.empty()) << dump(r);
    EmitCache &watch = watch_code_cache();
    watch.EmitRepeat(0x11, 4);
    watch.Finish();
    origin_table().Clear();
    EXPECT_FALSE(watch.is_bound());
    EXPECT_EQ(watch.positioned, 0);
    EXPECT_EQ(watch.count, 0);

    r = run_text("#rcodorg r 0 0x4000 0x100 apply\n");
    ASSERT_TRUE(r.messages.empty()) << dump(r);
    host.errors.clear();
    EXPECT_NO_THROW(watch.Finish());
    EXPECT_TRUE(host.errors.empty()) << host.errors.front();
}

TEST_F(LinkOrigins, FlushEmitCachesWritesRootXmemAndTheConstantTarget)
{
    const Result r = run_text("#rcodorg r 0 0x4000 0x100 apply\n#xcodorg x 2 0xE000 0x100 apply\n"
                              "#rconorg k 0 0x3000 0x100 apply\n#rvarorg v 0 0xC000 0x100 apply\n");
    ASSERT_TRUE(r.messages.empty()) << dump(r);
    for (EmitCache *c : {&root_code_cache(), &xmem_code_cache(), &constant_cache(),
                         &root_variable_cache()})
        c->EmitByte(0x5A);
    flush_emit_caches();
    std::vector<ADDR24> written;
    for (const SentBlock &b : host.sent)
        written.push_back(b.addr);
    EXPECT_EQ(written, (std::vector<ADDR24>{0x4000, make_addr(2, 0xE000), 0x3000}))
        << "in that order; the variables stay in their cache";
}

}  // namespace
