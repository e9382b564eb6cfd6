// Function records: lookups by name and by address, the exit hook and the code limits.
#include "core/CC_MOD.h"

#include "core/CC_ER.h"
#include "input/CC_IN.h"
#include "driver/CC_INIT.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using ::testing::HasSubstr;

namespace {

class FunctionFixture : public ::testing::Test {
protected:
    CurrentOriginFn installed = nullptr;
    void SetUp() override {
        installed = current_origin_provider();
        reset_addr_state();
        reset_function_records_state();
        reset_input_state();
        reset_errors();
        set_compile_mode_word(0);
        set_warning_switches(1, 1);
        set_local_scope(false);
        allocate_symbol_tables(200);
        // No global label left by an earlier compile, live or closed.
        start_global_scope_with({});
        reset_labels(kCloseGlobal | kCloseSilent);
    }
    void TearDown() override {
        reset_function_records_state();
        reset_errors();
        set_current_origin_provider(installed);
        release_compiler_tables(); // the next compile sizes the tables from "kxw.cfg" again
    }
    static FunctionRecord *add(const char *name, ADDR24 start, ADDR24 end, uint16_t id16 = 0,
                               uint32_t word_a = 0) {
        const uint32_t b = 0xB0 + id16;
        return add_function_record(id16, static_cast<uint8_t>(id16), word_a, start, end, b, 0xC0,
                                   0xD0, name);
    }
};

TEST_F(FunctionFixture, AddressByNameSkipsEmptyRecords) {
    add("init", make_addr(0, 0x1000), make_addr(0, 0x1000));
    EXPECT_EQ(function_address("init"), kDummyAddress);
    add("init", make_addr(0, 0x2000), make_addr(0, 0x2040));
    EXPECT_EQ(function_address("init"), make_addr(0, 0x2000));
    EXPECT_EQ(function_address("Init"), kDummyAddress);
    EXPECT_EQ(function_address("missing"), kDummyAddress);
}

struct AtCase {
    const char *name;
    ADDR24 address;
    const char *function; // nullptr: none
};

// root "alpha" 0x1000..0x1040, xmem "beta" 04:E000..04:E100, empty "gamma" at 0x3000
const AtCase kAtCases[] = {
    {"before_first", make_addr(0, 0x0FFF), nullptr},
    {"at_start", make_addr(0, 0x1000), "alpha"},
    {"inside", make_addr(0, 0x1020), "alpha"},
    {"at_end", make_addr(0, 0x1040), "alpha"},
    {"after_end", make_addr(0, 0x1041), nullptr},
    {"xmem_start", make_addr(0x04, 0xE000), "beta"},
    {"xmem_end", make_addr(0x04, 0xE100), "beta"},
    {"xmem_same_physical_other_xpc", make_addr(0x03, 0xF080), "beta"},
    {"xmem_other_page", make_addr(0x05, 0xE080), nullptr},
    {"empty_record_never_answers", make_addr(0, 0x3000), nullptr},
};

class FunctionAt : public FunctionFixture, public ::testing::WithParamInterface<AtCase> {};

TEST_P(FunctionAt, NameAndIds) {
    add("alpha", make_addr(0, 0x1000), make_addr(0, 0x1040), 1);
    add("beta", make_addr(0x04, 0xE000), make_addr(0x04, 0xE100), 2);
    add("gamma", make_addr(0, 0x3000), make_addr(0, 0x3000), 3);
    const AtCase &c = GetParam();
    const char *name = function_name_at(c.address);
    uint16_t id16 = 0x7777;
    uint8_t id8 = 0x77;
    bool found = function_ids_at(c.address, &id16, &id8);
    if (!c.function) {
        EXPECT_EQ(name, nullptr);
        EXPECT_FALSE(found);
        EXPECT_EQ(id16, 0x7777);
        EXPECT_EQ(id8, 0x77);
        return;
    }
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, c.function);
    EXPECT_TRUE(found);
    EXPECT_EQ(id16, std::string(c.function) == "alpha" ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(All, FunctionAt, ::testing::ValuesIn(kAtCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FunctionFixture, InfoAtAnswersWithLastOfRecordsSharingAStart) {
    const uint32_t opts[3] = {11, 22, 33};
    set_function_record_context(opts, 5);
    add("stub", make_addr(0, 0x1000), make_addr(0, 0x1000), 1, 0xA1);
    add("real", make_addr(0, 0x1000), make_addr(0, 0x1080), 2, 0xA2);
    add("next", make_addr(0, 0x1081), make_addr(0, 0x1100), 3, 0xA3);
    uint32_t a = 0, b = 0, c = 0, d = 0, o[3] = {0, 0, 0};
    ADDR24 start = 0;
    uint8_t cls = 0;
    ASSERT_TRUE(function_info_at(make_addr(0, 0x1000), &a, &start, &b, &c, &d, o, &cls));
    EXPECT_EQ(a, 0xA2u);
    EXPECT_EQ(b, 0xB2u);
    EXPECT_EQ(c, 0xC0u);
    EXPECT_EQ(d, 0xD0u);
    EXPECT_EQ(start, make_addr(0, 0x1000));
    EXPECT_EQ(o[2], 33u);
    EXPECT_EQ(cls, 5);
    ASSERT_TRUE(function_info_at(make_addr(0, 0x1090), &a, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr));
    EXPECT_EQ(a, 0xA3u);
}

TEST_F(FunctionFixture, InfoAtMissChangesNothing) {
    add("f", make_addr(0, 0x1000), make_addr(0, 0x1010));
    uint32_t a = 1, b = 2, c = 3, d = 4, o[3] = {5, 6, 7};
    ADDR24 start = 8;
    uint8_t cls = 9;
    EXPECT_FALSE(function_info_at(make_addr(0, 0x2000), &a, &start, &b, &c, &d, o, &cls));
    EXPECT_EQ(a + b + c + d + o[0] + o[1] + o[2] + start + cls, 45u);
}

TEST_F(FunctionFixture, FreeEmptiesTheList) {
    add("f", make_addr(0, 0x1000), make_addr(0, 0x1010));
    free_function_records();
    EXPECT_EQ(function_records(), nullptr);
    EXPECT_EQ(function_name_at(make_addr(0, 0x1000)), nullptr);
    add("g", make_addr(0, 0x1000), make_addr(0, 0x1010));
    EXPECT_STREQ(function_name_at(make_addr(0, 0x1008)), "g");
}

TEST_F(FunctionFixture, MissingExitRoutineWarnsEveryResolution) {
    init_exit_hook();
    EXPECT_TRUE(exit_hook_initialised());
    init_exit_hook();
    int warnings = 0;
    for (const sError *e = gMessageList; e; e = e->next) {
        EXPECT_EQ(e->kind, kMsgKindSerious);
        EXPECT_THAT(e->summary,
                    HasSubstr("__xexit__ is not defined; C statement debugging may not work correctly"));
        ++warnings;
    }
    EXPECT_EQ(warnings, 2);
    EXPECT_EQ(exit_hook_address(), 0);
}

std::optional<OriginWindow> root_code_origin() {
    return OriginWindow{make_addr(0, 0x0000), 0xE000, true};
}

TEST_F(FunctionFixture, ExitRoutineResolvedFromItsSecondAddress) {
    set_current_origin_provider(root_code_origin);
    symbol *s = add_symbol("__xexit__", 3, 2, 0, 1, nullptr, 0);
    s->address[1] = make_addr(0, 0x1A2B);
    init_exit_hook();
    EXPECT_EQ(exit_hook_address(), 0x1A2B);
    EXPECT_EQ(gMessageList, nullptr);
    uint16_t out = 0;
    set_current_origin_provider(nullptr); // no current origin: qualified to 0
    EXPECT_TRUE(resolve_target_symbol("__xexit__", out));
    EXPECT_EQ(out, 0);
}

// The exit routine is an "#asm" global label of the BIOS: resolved while the compile runs (the
// directive at the BIOS's end) and after its label scope closed (the link after the download).
TEST_F(FunctionFixture, ExitRoutineResolvedFromAnAsmGlobalLabel) {
    define_label("__xexit__", make_addr(0, 0x0123), kLabelGlobal);
    init_exit_hook();
    EXPECT_EQ(exit_hook_address(), 0x0123);
    reset_labels(kCloseGlobal);
    uint16_t out = 0;
    EXPECT_TRUE(resolve_target_symbol("__xexit__", out));
    EXPECT_EQ(out, 0x0123);
    EXPECT_EQ(gMessageList, nullptr);
    EXPECT_FALSE(resolve_target_symbol("__xexit", out)) << "only the name itself";
}

TEST_F(FunctionFixture, RuntimeLibraryMissingAndCodeLimits) {
    EXPECT_FALSE(runtime_library_missing_flag());
    EXPECT_EQ(runtime_library_missing(), 1);
    EXPECT_TRUE(runtime_library_missing_flag());
    set_compile_code_limits(0x4000, 0x5000, false);
    EXPECT_EQ(memory_map().code_limit_low, 0x3FFFu);
    EXPECT_EQ(memory_map().code_limit_high, 0x5001u);
    set_compile_code_limits(0x100, 0x200, true); // a watch compile leaves them
    EXPECT_EQ(memory_map().code_limit_low, 0x3FFFu);
}

} // namespace
