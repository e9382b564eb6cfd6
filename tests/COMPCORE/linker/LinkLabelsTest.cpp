// Labels and fix-ups: references before and after definition, every fix-up kind with its range
// check, closing the local and the global scope (with the global second chance of a local
// reference), redefinition, long calls, the opcode of a jump taken from the byte emitted before
// its operand, and the built-in jump patcher. Bytes are emitted into the root code cache (no
// origin table) and read back from what reached the output.
#include "FrameDoubles.h"
#include "InputHarness.h"

#include "core/CC_ADDR.h"
#include "codegen/CC_ASM.h"
#include "codegen/CC_ASMTAB.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "driver/CC_INIT.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "linker/EMITCACHE.h"
#include "linker/ORIGINS.h"
#include "core/SEAM_SETTINGS.h"
#include "core/guiExceptions.h"
#include "settings/guiKXPreferences.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using input_test::collect_messages;

constexpr ADDR24 kCode = 0x4000;

class LinkLabels : public ::testing::Test {
protected:
    RecordingCacheHost host;

    void SetUp() override
    {
        reset_addr_state();
        reset_settings_to_defaults();
        set_asm_target(1, 0);
        set_emit_cache_host(&host);
        set_emit_origin_table(nullptr);
        point_caches_at_live_set(false);
        root_code_cache().Reset();
        root_code_cache().positioned = 0;
        root_code_cache().SetAddress(kCode);
        xmem_code_cache().Reset();
        xmem_code_cache().positioned = 0;
        xmem_code_cache().SetAddress(make_addr(2, 0xE000));
        set_current_code_cache(root_code_cache());
        reset_errors();
        reset_error_seen_and_fatal();
        set_watch_compile(false);
        set_label_recording(true);
        set_code_suppression_counter(0);
        set_jump_patcher(nullptr);
        init_label_tables();
        reset_labels(kCloseLocal | kCloseGlobal | kCloseSilent);
        reset_errors();
    }
    void TearDown() override
    {
        reset_labels(kCloseLocal | kCloseGlobal | kCloseSilent);
        set_watch_compile(false);
        set_code_suppression_counter(0);
        set_emit_cache_host(nullptr);
        install_origin_table();
        reset_settings_to_defaults();
        reset_errors();
    }

    // Emits bytes into the current code cache; returns the address of the first.
    ADDR24 emit(std::initializer_list<uint8_t> bytes)
    {
        const ADDR24 at = current_code_cache().current;
        for (uint8_t b : bytes)
            current_code_cache().EmitByte(b);
        return at;
    }
    // What reached the output at an address, after the caches are flushed (0xFF: nothing).
    std::vector<uint8_t> output(ADDR24 at, size_t n)
    {
        root_code_cache().Flush();
        xmem_code_cache().Flush();
        std::map<ADDR24, uint8_t> image;
        for (const SentBlock &b : host.sent)
            for (size_t i = 0; i < b.bytes.size(); ++i)
                image[addr_add(b.addr, int32_t(i))] = b.bytes[i];
        std::vector<uint8_t> v;
        for (size_t i = 0; i < n; ++i) {
            auto it = image.find(addr_add(at, int32_t(i)));
            v.push_back(it == image.end() ? 0xFF : it->second);
        }
        return v;
    }
    static std::vector<std::string> summaries()
    {
        std::vector<std::string> s;
        for (const auto &m : collect_messages())
            s.push_back(m.summary);
        return s;
    }
    // Exactly that one message, or none for "".
    static void expect_only(const std::string &message)
    {
        const auto messages = summaries();
        if (message.empty()) {
            EXPECT_TRUE(messages.empty()) << messages.front();
        } else {
            EXPECT_EQ(messages, std::vector<std::string>{message});
        }
    }
};

// ---- references and definitions ---------------------------------------------------------------

TEST_F(LinkLabels, BackwardReferenceGetsTheAddressAndQueuesNothing)
{
    define_label("back", 0x1234, kLabelGlobal);
    EXPECT_EQ(reference_label("back", kCode, kLabelLocal | kLabelGlobal), 0x1234u);
    const QBFixupRec *rec = find_label("back", kLabelGlobal);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->count, 0u);
    EXPECT_TRUE(rec->fixups.empty());
    EXPECT_EQ(pending_global_count(), 0u);
}

TEST_F(LinkLabels, ForwardReferencesArePatchedNewestFirst)
{
    const ADDR24 a = emit({0x21, 0, 0});
    const ADDR24 b = emit({0x11, 0, 0});
    const ADDR24 c = emit({0x01, 0, 0});
    for (ADDR24 at : {a, b, c})
        EXPECT_EQ(reference_label("fwd", addr_add(at, 1), kLabelGlobal), kDummyAddress);
    EXPECT_EQ(find_label("fwd", kLabelGlobal)->count, 3u);
    define_label("fwd", 0x5678, kLabelGlobal);
    EXPECT_EQ(output(a, 9),
              (std::vector<uint8_t>{0x21, 0x78, 0x56, 0x11, 0x78, 0x56, 0x01, 0x78, 0x56}));
    // The patches left the cache one by one: the last reference first.
    std::vector<ADDR24> order;
    for (const SentBlock &s : host.sent)
        if (s.bytes.size() == 1 && s.bytes[0] == 0x78)
            order.push_back(s.addr);
    EXPECT_EQ(order, (std::vector<ADDR24>{addr_add(c, 1), addr_add(b, 1), addr_add(a, 1)}));
    EXPECT_TRUE(find_label("fwd", kLabelGlobal)->fixups.empty());
    EXPECT_TRUE(summaries().empty());
}

TEST_F(LinkLabels, ProbeNeverCreatesNorQueues)
{
    EXPECT_EQ(reference_label("probe", kCode, kLabelGlobal | kLabelProbe), kDummyAddress);
    EXPECT_EQ(find_label("probe", kLabelGlobal), nullptr);
    reference_label("probe", kCode, kLabelGlobal);
    EXPECT_EQ(reference_label("probe", kCode, kLabelGlobal | kLabelProbe), kDummyAddress);
    EXPECT_EQ(find_label("probe", kLabelGlobal)->count, 1u) << "only the plain reference queued";
}

TEST_F(LinkLabels, NothingIsRecordedWhileCodeIsThrownAwayOrRecordingIsOff)
{
    raise_code_suppression();
    EXPECT_EQ(reference_label("x", kCode, kLabelGlobal), kDummyAddress);
    define_label("x", 0x10, kLabelGlobal);
    lower_code_suppression();
    EXPECT_EQ(find_label("x", kLabelGlobal), nullptr) << "thrown-away code defines nothing";
    set_label_recording(false);
    EXPECT_EQ(reference_label("x", kCode, kLabelGlobal), kDummyAddress);
    set_label_recording(true);
    EXPECT_EQ(find_label("x", kLabelGlobal), nullptr);
    set_expression_nesting_reader([] { return 1; });
    EXPECT_EQ(reference_label("x", kCode, kLabelGlobal), kDummyAddress);
    define_label("x", 0x10, kLabelGlobal);
    set_expression_nesting_reader(nullptr);
    EXPECT_EQ(find_label("x", kLabelGlobal), nullptr) << "nested: not even defined";
}

// ---- fix-up kinds -----------------------------------------------------------------------------

struct KindCase {
    const char *name;
    uint32_t flags;
    uint16_t addend;
    ADDR24 label;                  // where the label is defined
    std::vector<uint8_t> emitted;  // the operand bytes as emitted (at kCode + 1)
    std::vector<uint8_t> patched;  // after the definition
    std::string message;
};
// The operand lies at 0x4001, behind a one-byte opcode at 0x4000.
const KindCase kKinds[] = {
    {"word", 0, 0, 0x1234, {0, 0}, {0x34, 0x12}, ""},
    {"word_with_addend", 0, 6, 0x1234, {0, 0}, {0x3A, 0x12}, ""},
    {"relative_forward_127", kFixRelative, 0, 0x4002 + 127, {0}, {0x7F}, ""},
    {"relative_forward_128", kFixRelative, 0, 0x4002 + 128, {0x55}, {0x55}, "Jump out of Range"},
    {"relative_backward_128", kFixRelative, 0, 0x4002 - 128, {0}, {0x80}, ""},
    {"relative_backward_129", kFixRelative, 0, 0x4002 - 129, {0x55}, {0x55}, "Jump out of Range"},
    {"byte_255", kFixByteInRange, 0, 0x00FF, {0}, {0xFF}, ""},
    {"byte_256", kFixByteInRange, 0, 0x0100, {0x55}, {0x55}, "8 bit value out of range."},
    {"byte_addend_to_256", kFixByteInRange, 1, 0x00FF, {0x55}, {0x55}, "8 bit value out of range."},
    {"byte_unchecked", kFixByteUnchecked, 2, 0x12FF, {0}, {0x01}, ""},
    {"long_in_xmem", kFixLongAddress, 0, make_addr(5, 0xE123), {0, 0, 0}, {0x23, 0xE1, 0x05}, ""},
    {"page_byte", kFixPageByte, 1, make_addr(5, 0xE123), {0}, {0x06}, ""},
    {"page_word", kFixPageWord, 0x100, make_addr(5, 0xE123), {0, 0}, {0x05, 0x01}, ""},
    {"disabled", kFixDisabled, 0, 0x1234, {0x55, 0x55}, {0x55, 0x55}, ""},
    {"root_only_in_root", kFixRootOnly, 0, 0x1234, {0, 0}, {0x34, 0x12}, ""},
    {"root_only_in_xmem", kFixRootOnly, 0, make_addr(5, 0xE123), {0x55, 0x55}, {0x55, 0x55},
     "Label L needs to be defined in root."},
};

class LinkFixupKind : public LinkLabels, public ::testing::WithParamInterface<KindCase> {};

TEST_P(LinkFixupKind, PatchesByItsKind)
{
    const KindCase &c = GetParam();
    emit({0x00});
    for (uint8_t b : c.emitted)
        current_code_cache().EmitByte(b);
    reference_label("L", kCode + 1, kLabelGlobal | c.flags, c.addend);
    define_label("L", c.label, kLabelGlobal);
    EXPECT_EQ(output(kCode + 1, c.patched.size()), c.patched);
    expect_only(c.message);
}

INSTANTIATE_TEST_SUITE_P(All, LinkFixupKind, ::testing::ValuesIn(kKinds),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- jumps and calls: the opcode goes to the jump patcher ---------------------------------------

struct JumpCase {
    const char *name;
    uint8_t opcode;
    ADDR24 from;      // where the jump lies
    ADDR24 target;
    std::vector<uint8_t> patched;  // opcode and operand afterwards
    std::string message;
};
const JumpCase kJumps[] = {
    {"jp_root", 0xC3, kCode, 0x1234, {0xC3, 0x34, 0x12}, ""},
    {"call_root", 0xCD, kCode, 0x1234, {0xCD, 0x34, 0x12}, ""},
    {"jp_nz_root", 0xC2, kCode, 0x1234, {0xC2, 0x34, 0x12}, ""},
    {"ljp_xmem", 0xC7, kCode, make_addr(5, 0xE123), {0xC7, 0x23, 0xE1, 0x05}, ""},
    {"lcall_xmem", 0xCF, kCode, make_addr(5, 0xE123), {0xCF, 0x23, 0xE1, 0x05}, ""},
    {"jp_same_page", 0xC3, make_addr(5, 0xE000), make_addr(5, 0xE123), {0xC3, 0x23, 0xE1}, ""},
    {"jp_root_to_xmem", 0xC3, kCode, make_addr(5, 0xE123), {0xC3, 0, 0},
     "The jump patcher for xmem targets is not part of this build."},
    {"call_other_page", 0xCD, make_addr(2, 0xE000), make_addr(5, 0xE123), {0xCD, 0, 0},
     "The jump patcher for xmem targets is not part of this build."},
};

class LinkJump : public LinkLabels, public ::testing::WithParamInterface<JumpCase> {};

TEST_P(LinkJump, BuiltInPatcherWritesWhatNeedsNoBouncer)
{
    const JumpCase &c = GetParam();
    EmitCache &cache = addr_offset(c.from) < window_start() ? root_code_cache() : xmem_code_cache();
    cache.SetAddress(c.from);
    set_current_code_cache(cache);
    const bool long_form = c.opcode == 0xC7 || c.opcode == 0xCF;
    emit({c.opcode, 0, 0});
    if (long_form)
        emit({0});
    const uint32_t flags = kLabelLocal | kLabelGlobal | kFixOpcodeFollows | (long_form ? uint32_t(kFixLongAddress) : 0u);
    reference_label("T", addr_add(c.from, 1), flags, 0, c.opcode);
    define_label("T", c.target, kLabelGlobal);
    reset_labels(kCloseLocal);  // the global definition reaches the function's reference here
    EXPECT_EQ(output(c.from, c.patched.size()), c.patched);
    expect_only(c.message);
}

INSTANTIATE_TEST_SUITE_P(All, LinkJump, ::testing::ValuesIn(kJumps),
                         [](const auto &i) { return std::string(i.param.name); });

// The jump patcher gets the opcode emitted right before the operand, the target and the flags.
TEST_F(LinkLabels, OpcodeEmittedAfterTheReferenceGoesWithTheFixup)
{
    static std::vector<std::string> calls;
    calls.clear();
    set_jump_patcher([](ADDR24 at, uint8_t op, ADDR24 target, uint32_t flags) {
        char text[80];
        std::snprintf(text, sizeof text, "%04X %02X %04X %X", at, op, target, flags);
        calls.emplace_back(text);
    });
    reference_label("T", kCode + 1, kLabelGlobal | kFixOpcodeFollows);  // opcode not known yet
    (void)find_label("T", kLabelLocal | kLabelGlobal);  // lookups and other labels between
    define_label("other", 0x10, kLabelGlobal);
    emit({0xCD, 0, 0});
    reference_label("T", kCode + 4, kLabelGlobal | kFixOpcodeFollows, 3, 0xC3);
    emit({0xC3, 0, 0});
    define_label("T", 0x2000, kLabelGlobal);
    EXPECT_EQ(calls, (std::vector<std::string>{"4004 C3 2003 102", "4001 CD 2000 102"}))
        << "the addend moves the target";
}

// ---- closing the local scope ----------------------------------------------------------------------

TEST_F(LinkLabels, LocalReferenceIsPatchedByTheProgramsGlobalLabel)
{
    const ADDR24 at = emit({0xC3, 0, 0});
    reference_label("later", addr_add(at, 1), kLabelLocal | kLabelGlobal, 0, 0);
    const ADDR24 at2 = emit({0x21, 0, 0});
    reference_label("early", addr_add(at2, 1), kLabelLocal | kLabelGlobal);
    define_label("early", 0x1111, kLabelGlobal);
    reset_labels(kCloseLocal);
    EXPECT_EQ(output(at2, 3), (std::vector<uint8_t>{0x21, 0x11, 0x11})) << "defined before the close";
    EXPECT_EQ(find_label("later", kLabelGlobal)->count, 1u) << "queued on the global label";
    EXPECT_EQ(pending_global_head(), "later") << "and wanted from the libraries";
    define_label("later", 0x2222, kLabelGlobal);
    EXPECT_EQ(output(at, 3), (std::vector<uint8_t>{0xC3, 0x22, 0x22}));
    EXPECT_TRUE(summaries().empty());
    EXPECT_EQ(prune_pending_globals(), 1);
    EXPECT_EQ(pending_global_count(), 0u);
}

// A reset entry at logical address 0 is a defined label like any other.
TEST_F(LinkLabels, GlobalLabelAtAddressZeroPatchesALocalReference)
{
    const ADDR24 at = emit({0x21, 0x55, 0x55});
    reference_label("reset", addr_add(at, 1), kLabelLocal | kLabelGlobal, 4);
    define_label("reset", 0x0000, kLabelGlobal);
    reset_labels(kCloseLocal);
    EXPECT_EQ(output(at, 3), (std::vector<uint8_t>{0x21, 0x04, 0x00}));
    EXPECT_TRUE(summaries().empty());
}

TEST_F(LinkLabels, UndefinedLocalLabelIsReportedOncePerLabel)
{
    for (int i = 0; i < 3; ++i)
        reference_label("nowhere", kCode, kLabelLocal);
    reference_label("gone", kCode, kLabelLocal);
    reset_labels(kCloseLocal);
    auto got = summaries();
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"Undefined (but used) local symbol gone",
                                             "Undefined (but used) local symbol nowhere"}));
    EXPECT_TRUE(undefined_label_found());
    EXPECT_EQ(find_label("nowhere", kLabelLocal), nullptr) << "the local table is empty";
}

TEST_F(LinkLabels, UndefinedGlobalIsReportedAtItsDeclaration)
{
    struct ReleaseTables {
        ~ReleaseTables() { release_compiler_tables(); }
    } release;
    allocate_symbol_tables(200);
    set_local_scope(false);
    symbol *s = add_symbol("declared", 3, 2, 0, 254, nullptr, 0);
    s->line = 12;
    s->column = 5;
    s->file = "lib.c";
    reference_label("declared", kCode, kLabelGlobal);
    reference_label("unknown", kCode, kLabelGlobal);
    reset_labels(kCloseLocal | kCloseGlobal);
    std::vector<std::tuple<std::string, int, std::string>> got;
    for (const auto &m : collect_messages())
        got.emplace_back(m.summary, m.line, m.file);
    std::sort(got.begin(), got.end());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], std::make_tuple(std::string("Undefined (but used) global label declared"), 12,
                                      std::string("lib.c")));
    EXPECT_EQ(std::get<0>(got[1]), "Undefined (but used) global label unknown");
    EXPECT_EQ(std::get<1>(got[1]), 1);
    EXPECT_EQ(find_label("declared", kLabelGlobal), nullptr);
}

TEST_F(LinkLabels, SilentCloseReportsNothingAndEmptiesBothTables)
{
    reference_label("l", kCode, kLabelLocal);
    reference_label("g", kCode, kLabelGlobal);
    define_label("d", 0x10, kLabelGlobal);
    set_watch_compile(true);
    EXPECT_NO_THROW(reset_labels(kCloseLocal | kCloseGlobal | kCloseSilent));
    set_watch_compile(false);
    EXPECT_TRUE(summaries().empty());
    for (const char *name : {"l", "g", "d"})
        EXPECT_EQ(find_label(name, kLabelLocal | kLabelGlobal), nullptr) << name;
    EXPECT_EQ(pending_global_count(), 0u);
}

TEST_F(LinkLabels, WatchCompileEndsInOneXWatchAfterBothScopesAreCleared)
{
    set_watch_compile(true);
    reference_label("a", kCode, kLabelLocal);
    reference_label("b", kCode, kLabelGlobal);
    EXPECT_EQ(pending_global_count(), 0u) << "a watch expression wants nothing from libraries";
    try {
        reset_labels(kCloseLocal | kCloseGlobal);
        ADD_FAILURE() << "no xWatch";
    } catch (const xWatch &w) {
        char text[200];
        w.GetMessage(text, sizeof text);
        EXPECT_STREQ(text, "Cannot link b in watch expression.") << "the last one wins";
    }
    set_watch_compile(false);
    EXPECT_TRUE(summaries().empty());
    EXPECT_EQ(find_label("a", kLabelLocal), nullptr);
    EXPECT_EQ(find_label("b", kLabelGlobal), nullptr);
}

// ---- redefinition -------------------------------------------------------------------------------

TEST_F(LinkLabels, SecondGlobalDefinitionIsReportedAndKeepsTheFirstAddress)
{
    define_label("twice", 0x1000, kLabelGlobal);
    define_label("twice", 0x2000, kLabelGlobal);
    EXPECT_EQ(summaries(), std::vector<std::string>{"Redefining already defined global symbol twice"});
    EXPECT_EQ(find_label("twice", kLabelGlobal)->address, 0x1000u);
    define_label("loc", 0x1000, kLabelLocal);
    define_label("loc", 0x2000, kLabelLocal);
    EXPECT_EQ(summaries().back(), "Redefining already defined local symbol loc");
}

TEST_F(LinkLabels, RepeatableDefinitionUnderNoBouncersMovesTheLabel)
{
    IdePreferences().no_bouncers = true;
    define_label("stub", 0x1000, kLabelGlobal | kLabelRepeatable);
    EXPECT_EQ(reference_label("stub", kCode + 1, kLabelGlobal), 0x1000u) << "plain: the address";
    emit({0x21, 0, 0});
    EXPECT_EQ(reference_label("stub", kCode + 1, kLabelGlobal | kLabelRepeatable), kDummyAddress)
        << "repeatable: queued all the same";
    define_label("stub", 0x3000, kLabelGlobal | kLabelRepeatable);
    EXPECT_TRUE(summaries().empty());
    EXPECT_EQ(find_label("stub", kLabelGlobal)->address, 0x3000u);
    EXPECT_EQ(output(kCode, 3), (std::vector<uint8_t>{0x21, 0x00, 0x30}));

    IdePreferences().no_bouncers = false;
    define_label("stub", 0x4000, kLabelGlobal | kLabelRepeatable);
    EXPECT_EQ(summaries(), std::vector<std::string>{"Redefining already defined global symbol stub"});
    EXPECT_EQ(find_label("stub", kLabelGlobal)->address, 0x3000u);
}

TEST_F(LinkLabels, AsmLabelLeavesItsTableOncePatched)
{
    const ADDR24 at = emit({0x18, 0});
    reference_label("lab", addr_add(at, 1), kLabelLocal | kLabelGlobal | kFixRelative, 0, 0x18);
    define_asm_label("lab", kCode + 4, kLabelLocal);
    EXPECT_EQ(find_label("lab", kLabelLocal), nullptr);
    EXPECT_EQ(output(at, 2), (std::vector<uint8_t>{0x18, 0x02}));

    reference_label("glob", kCode, kLabelGlobal);
    EXPECT_EQ(pending_global_count(), 1u);
    define_asm_label("glob", 0x10, kLabelGlobal);
    EXPECT_EQ(pending_global_count(), 0u) << "pruned before its pair went";
    EXPECT_EQ(find_label("glob", kLabelGlobal), nullptr);
}

// ---- "No Bouncers": a word that names an xmem function --------------------------------------------

struct NoBouncerCase {
    const char *name;
    bool no_bouncers;
    ADDR24 label;        // where the label is defined
    ADDR24 stub;         // the function's root entry stub (kDummyAddress: none yet)
    bool placed_in_xmem; // the function symbol's xmem flag
    uint16_t patched;    // the word afterwards
};
const NoBouncerCase kNoBouncers[] = {
    {"xmem_label_takes_the_stub", true, make_addr(5, 0xE123), 0x1200, true, 0x1200},
    {"xmem_flag_alone_takes_the_stub", true, 0x3456, 0x1200, true, 0x1200},
    {"xmem_label_without_flag_takes_the_stub", true, make_addr(5, 0xE123), 0x1200, false, 0x1200},
    {"no_stub_yet_keeps_the_label", true, make_addr(5, 0xE123), kDummyAddress, true, 0xE123},
    {"root_function_keeps_the_label", true, 0x3456, 0x1200, false, 0x3456},
    {"bouncers_keep_the_label", false, make_addr(5, 0xE123), 0x1200, true, 0xE123},
};

class LinkNoBouncers : public LinkLabels, public ::testing::WithParamInterface<NoBouncerCase> {};

TEST_P(LinkNoBouncers, WordTakesTheRootEntryStub)
{
    const NoBouncerCase &c = GetParam();
    struct Restore {
        ~Restore()
        {
            IdePreferences().no_bouncers = false;
            release_compiler_tables();
        }
    } restore;
    IdePreferences().no_bouncers = c.no_bouncers;
    allocate_symbol_tables(200);
    set_local_scope(false);
    symbol *f = add_symbol("f", 3, 2, 0, 254, nullptr, 0);
    f->address[kRootStubAddressSlot] = c.stub;
    f->flags[0] = c.placed_in_xmem ? 1 : 0;
    emit({0x21, 0, 0});
    reference_label("f", kCode + 1, kLabelGlobal);
    define_label("f", c.label, kLabelGlobal);
    EXPECT_EQ(output(kCode + 1, 2), (std::vector<uint8_t>{uint8_t(c.patched), uint8_t(c.patched >> 8)}));
    expect_only("");
}

INSTANTIATE_TEST_SUITE_P(All, LinkNoBouncers, ::testing::ValuesIn(kNoBouncers),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- long calls ---------------------------------------------------------------------------------

TEST_F(LinkLabels, LongCallToALabelInXmemWarnsAtTheCallAndKeepsItsPage)
{
    set_error_file_name("prog.c", 0);
    LcallFixup call{1, "", 0x07, 21};
    emit({0xCF, 0, 0, 0x07});
    reference_label("far", kCode + 1, kLabelGlobal | kFixLongAddress, 0, 0, &call);
    set_error_file_name("other.c", 0);
    define_label("far", make_addr(5, 0xE123), kLabelGlobal);
    const auto m = collect_messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].summary, "Label already in xmem called by lcall.");
    EXPECT_EQ(m[0].kind, kMsgKindSerious);
    EXPECT_EQ(m[0].line, 21);
    EXPECT_EQ(m[0].file, "prog.c") << "the call's own file";
    EXPECT_STREQ(get_error_file_name(), "other.c") << "put back afterwards";
    EXPECT_EQ(output(kCode, 4), (std::vector<uint8_t>{0xCF, 0x23, 0xE1, 0x07}));
}

// ---- the tables ---------------------------------------------------------------------------------

TEST_F(LinkLabels, TablesHaveTheirBucketCounts)
{
    EXPECT_EQ(global_label_table().bucket_count(), 503u);
    EXPECT_EQ(local_label_table().bucket_count(), 127u);
    auto *rec = new QBFixupRec;
    ASSERT_TRUE(label_table_insert(local_label_table(), QBString("x"), rec));
    auto *again = new QBFixupRec;
    EXPECT_FALSE(label_table_insert(local_label_table(), QBString("x"), again));
    delete again;
    EXPECT_EQ(label_table_remove(local_label_table(), QBString("x")), rec);
    delete rec;
    EXPECT_EQ(label_table_find(local_label_table(), QBString("x")), nullptr);
}

TEST_F(LinkLabels, OriginRangeOfTheCurrentCodeCache)
{
    TestOrigins origins;
    set_emit_origin_table(&origins);
    EXPECT_FALSE(check_origin_range(0x4000)) << "unbound";
    const int32_t up = origins.add(0x4000, 0x100, &root_code_cache());
    origins.select_origin(up);
    EXPECT_TRUE(check_origin_range(0x4000));
    EXPECT_TRUE(check_origin_range(0x40FF));
    EXPECT_FALSE(check_origin_range(0x4100));
    EXPECT_FALSE(check_origin_range(0x3FFF));
    VariableCache down(4);
    const int32_t d = origins.add(0xC000, 0x100, &down);
    origins.select_origin(d);
    set_current_code_cache(down);
    EXPECT_TRUE(check_origin_range(0xC000));
    EXPECT_TRUE(check_origin_range(0xBF01));
    EXPECT_FALSE(check_origin_range(0xBF00));
    EXPECT_FALSE(check_origin_range(0xC001));
    set_current_code_cache(root_code_cache());
    down.Unbind();
    root_code_cache().Unbind();
    set_emit_origin_table(nullptr);
}

}  // namespace
