// outasm: a generated line reaches the one-line assembler with the lexer pointed at it, and the
// lexer is given back afterwards; over-long lines and re-entry are fatal.
#include <gtest/gtest.h>

#include "FrameDoubles.h"

#include "core/CC_ADDR.h"
#include "driver/CC_FIOZ8.h"
#include "linker/ORIGINS.h"

namespace {

RecordingParser *g_parser = nullptr;

class FrameOutasm : public ::testing::Test {
protected:
    RecordingCacheHost host;
    RecordingParser parser;

    void SetUp() override
    {
        reset_addr_state();
        set_emit_cache_host(&host);
        set_emit_origin_table(nullptr);  // lines into caches without origins
        set_parser_seam(&parser);
        g_parser = &parser;
        point_caches_at_live_set(false);
        root_code_cache().SetAddress(0x1000);
        xmem_code_cache().SetAddress(make_addr(2, 0xE000));
        set_current_code_cache(root_code_cache());
        set_codegen_options_byte(0);
    }
    void TearDown() override
    {
        set_parser_seam(nullptr);
        set_emit_cache_host(nullptr);
        install_origin_table();
        root_code_cache().Reset();
        xmem_code_cache().Reset();
        set_current_code_cache(root_code_cache());  // the next test's code goes to root again
        g_parser = nullptr;
    }
};

struct LengthCase {
    const char *name;
    size_t length;
    bool assembled;
};

const LengthCase kLengths[] = {
    {"Short", 3, true},
    {"Longest", 1023, true},
    {"OneTooLong", 1024, false},
    {"FarTooLong", 5000, false},
};

class FrameOutasmLength : public FrameOutasm, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(FrameOutasmLength, AssemblesUpTo1023Characters)
{
    const std::string line(GetParam().length, 'n');
    outasm("%s", line.c_str());
    if (GetParam().assembled) {
        ASSERT_EQ(parser.assembled.size(), 1u);
        EXPECT_EQ(parser.assembled[0], line);
        EXPECT_TRUE(parser.fatals.empty());
        EXPECT_EQ(root_code_cache().current, 0x1001u) << "the line's bytes reach the cache";
    } else {
        EXPECT_TRUE(parser.assembled.empty());
        ASSERT_EQ(parser.fatals.size(), 1u);
        EXPECT_EQ(parser.fatals[0].substr(0, parser.fatals[0].find('\a')),
                  "Internal error: internal assembly buffer exceeded");
    }
    EXPECT_STREQ(parser.input, "original") << "the lexer's pointers are given back";
}

INSTANTIATE_TEST_SUITE_P(All, FrameOutasmLength, ::testing::ValuesIn(kLengths),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FrameOutasm, FormatsItsArguments)
{
    outasm("ld a, %d", 42);
    outasm("jp %s", "main");
    EXPECT_EQ(parser.assembled, (std::vector<std::string>{"ld a, 42", "jp main"}));
}

TEST_F(FrameOutasm, ReentryIsFatalAndNotAssembled)
{
    parser.during_assembly = [] { outasm("nop"); };
    outasm("call f");
    ASSERT_EQ(parser.fatals.size(), 1u);
    EXPECT_EQ(parser.fatals[0], "Internal error: recursion on outasm");
    EXPECT_EQ(parser.assembled.size(), 1u);
    parser.during_assembly = nullptr;
    outasm("ret");
    EXPECT_EQ(parser.assembled.size(), 2u) << "the busy flag is cleared afterwards";
}

TEST_F(FrameOutasm, FailingAssemblyGivesBackTheLexerAndClearsBusy)
{
    parser.throw_in_assembly = true;
    EXPECT_THROW(outasm("bad"), std::runtime_error);
    EXPECT_STREQ(parser.input, "original");
    EXPECT_FALSE(generated_line_active());
    parser.throw_in_assembly = false;
    outasm("nop");
    EXPECT_TRUE(parser.fatals.empty());
}

TEST_F(FrameOutasm, DebugFlagComesFromTheCodegenOptions)
{
    set_codegen_options_byte(0x20);
    outasm("nop");
    set_codegen_options_byte(0x00);
    outasm("nop");
    EXPECT_EQ(parser.debug_flags, (std::vector<int>{1, 0}));
}

TEST_F(FrameOutasm, RemembersTheXmemAddressAfterEachLine)
{
    set_current_code_cache(xmem_code_cache());
    outasm("nop");
    EXPECT_EQ(last_generated_address(), make_addr(2, 0xE001));
}

}  // namespace
