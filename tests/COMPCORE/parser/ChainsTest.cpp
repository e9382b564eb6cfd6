// Function chains through the real compile entry: the routines the end of the parse emits, their
// labels and symbols, the members run on the board stand-in in the order added, XPC and SP
// restored, and the join onto a chain the BIOS defined.
#include <gtest/gtest.h>

#include "CompileRunFixture.h"
#include "OutputTestSupport.h"

#include "core/CC_ADDR.h"
#include "parser/CC_CHAIN.h"
#include "parser/CC_DECL.h"
#include "parser/CC_PARSE.h"
#include "core/CC_STAB.h"
#include "core/SEAM_DECL.h"
#include "settings/guiKXPreferences.h"

#include <string>
#include <vector>

namespace {

using namespace compile_run;

constexpr uint16_t kStop = 0x5F00;   // the driver jumps there when the chain returned
constexpr uint16_t kTrail = 0x9000;  // the members' trail: each shifts in its own digit

// An "#asm" member: trail = trail * 16 + digit. The trail is a word at 0x9000, or the C global
// "trail" of the segment tests.
std::string member(const std::string &name, int digit)
{
    return "#asm\n" + name + "::\n ld hl, (0x9000)\n add hl, hl\n add hl, hl\n add hl, hl\n"
                              " add hl, hl\n ld de, " +
           std::to_string(digit) + "\n add hl, de\n ld (0x9000), hl\n ret\n#endasm\n";
}

// The driver at the start of root code: the trail cleared, XPC set to 7, the chain called.
std::string driver(const std::string &chain, const std::string &trail = "0x9000")
{
    return "#asm\n ld hl, 0\n ld (" + trail + "), hl\n ld a, 7\n ld xpc, a\n call " + chain +
           "\n jp " + std::to_string(kStop) + "\n#endasm\n";
}

const symbol *chain_symbol(const char *name) { return find_symbol(name, false, kGlobalTable); }

class Chains : public CompileRun {
protected:
    // Runs the driver; the chain must come back to it.
    ::testing::AssertionResult call_chain(uint16_t driver_at = kRootCode)
    {
        const vsim::RunResult r = run(driver_at, 100000, vsim::Breakpoint{kStop, -1});
        if (r.reason != vsim::StopReason::breakpoint)
            return ::testing::AssertionFailure() << "the chain did not return (PC " << std::hex
                                                 << cpu.pc << ")\n" << messages_text();
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult trail(uint16_t expected, uint16_t at = kTrail)
    {
        return memory(at, {static_cast<uint8_t>(expected), static_cast<uint8_t>(expected >> 8)});
    }
};

// ld a, xpc; push af; pop af; ld xpc, a; ret: a chain without members, its label at its start.
TEST_F(Chains, EmptyChainSavesAndRestoresXpcOnly)
{
    ASSERT_EQ(compile("#makechain mychain\n"), 0) << messages_text();
    const symbol *s = chain_symbol("mychain");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->value, 1) << "defined by the program";
    EXPECT_EQ(sent_at(s->address[0], 7),
              (std::vector<uint8_t>{0xED, 0x77, 0xF5, 0xF1, 0xED, 0x67, 0xC9}));
    EXPECT_EQ(addr_offset(s->address[1]), addr_offset(s->address[0]) + 3) << "the end";
}

// The routines follow each other by name, whatever the order of declaration.
TEST_F(Chains, RoutinesComeInAscendingNameOrder)
{
    ASSERT_EQ(compile("#makechain zeta\n#makechain Zeta\n#makechain alpha\n"), 0)
        << messages_text();
    const symbol *upper = chain_symbol("Zeta"), *alpha = chain_symbol("alpha"),
                 *zeta = chain_symbol("zeta");
    ASSERT_TRUE(upper && alpha && zeta);
    EXPECT_EQ(addr_offset(alpha->address[0]), addr_offset(upper->address[0]) + 7);
    EXPECT_EQ(addr_offset(zeta->address[0]), addr_offset(alpha->address[0]) + 7);
}

// Members are called in the order added, a function added twice twice; the caller's XPC and
// SP come back.
TEST_F(Chains, MembersRunInTheOrderAdded)
{
    ASSERT_EQ(compile(driver("order") + "#funcchain order second\n#funcchain order first\n"
                                        "#funcchain order second\n" +
                      member("first", 1) + member("second", 2)),
              0)
        << messages_text();
    ASSERT_TRUE(call_chain());
    EXPECT_TRUE(trail(0x212));
    EXPECT_TRUE(reg("XPC", 7));
    EXPECT_TRUE(reg("SP", 0xE000));
}

// A chain's name already given to a program label: reported; the label keeps its address.
TEST_F(Chains, NameOfAProgramLabelIsPreviouslyDefined)
{
    (void)compile("#makechain mychain\n#asm\nmychain::\n ret\n#endasm\n");
    const std::vector<Message> reported = messages();
    ASSERT_EQ(reported.size(), 1u) << messages_text();
    EXPECT_EQ(reported[0].summary, "mychain previously defined.");
    EXPECT_EQ(chain_symbol("mychain"), nullptr);
}

// A chain the BIOS defined: the program's part gets no label; the BIOS routine's end becomes a
// long jump behind the program routine's saving, and calling the chain runs both parts. A
// later program without a part in it writes the BIOS routine's own end back.
TEST_F(Chains, ProgramPartJoinsTheBiosChainAndALaterProgramUndoesTheJoin)
{
    // (the nop keeps the member off address 0, which stands for an address not yet placed)
    ASSERT_EQ(compile_bios("#asm\n nop\n#endasm\n#makechain boot\n#funcchain boot early\n" +
                           member("early", 1)),
              0)
        << messages_text();
    const symbol *bios = chain_symbol("boot");
    ASSERT_NE(bios, nullptr);
    EXPECT_EQ(bios->value, 2) << "defined by the BIOS";
    const ADDR24 bios_start = bios->address[0], bios_end = bios->address[1];
    EXPECT_EQ(bios_chain_names(), std::vector<std::string>{"boot"});

    ASSERT_EQ(compile(driver("boot") + "#funcchain boot late\n" + member("late", 2)), 0)
        << messages_text();
    bios = chain_symbol("boot");
    ASSERT_NE(bios, nullptr);
    EXPECT_EQ(bios->value, 2) << "still the BIOS's chain";
    EXPECT_EQ(bios->address[0], bios_start);
    const std::vector<uint8_t> jump = sent_at(bios_end, 4);
    ASSERT_EQ(jump[0], 0xC7) << "ljp";
    const ADDR24 body = make_addr(jump[3], static_cast<uint16_t>(jump[1] | jump[2] << 8));
    EXPECT_EQ(sent_at(addr_add(body, -3), 3), (std::vector<uint8_t>{0xED, 0x77, 0xF5}))
        << "the jump lands behind the program routine's ld a, xpc; push af";
    ASSERT_TRUE(call_chain(addr_offset(program_extent().root_start)));
    EXPECT_TRUE(trail(0x12));
    EXPECT_TRUE(reg("XPC", 7));
    EXPECT_TRUE(reg("SP", 0xE000));

    ASSERT_EQ(compile(driver("boot")), 0) << messages_text();
    EXPECT_EQ(sent_at(bios_end, 4), (std::vector<uint8_t>{0xF1, 0xED, 0x67, 0xC9}));
    ASSERT_TRUE(call_chain(addr_offset(program_extent().root_start)));
    EXPECT_TRUE(trail(0x1)) << "only the BIOS part";
}

// ---- segments of function bodies ------------------------------------------------------------

// C functions with "#GLOBAL_INIT" and "segchain" segments, root and xmem, with the runtime
// library for their arithmetic.
class ChainSegments : public Chains {
protected:
    void SetUp() override
    {
        Chains::SetUp();
        set_declaration_seam(nullptr);
        install_function_parser();
        const std::string lib = std::string(KX_TEST_DATA) + "/../../TARGET/lib/";
        for (const char *name : {"RUNTIME.LIB", "INT16.LIB", "INT32.LIB"})
            add_library(name, output_test::read_text(lib + name));
    }
    void TearDown() override
    {
        IdePreferences().no_bouncers = true;
        Chains::TearDown();
    }
    static std::string header()
    {
        return "#nodebug\n#use RUNTIME.LIB\n#use INT16.LIB\n#use INT32.LIB\nint trail;\n";
    }
};

// Segments of root and xmem functions run in the order of the functions; only the xmem one is
// entered with its page loaded (ld a, n; ld xpc, a), and its "lret" agrees with the call
// whether bouncers are in use or not.
class SegmentsBouncers : public ChainSegments, public ::testing::WithParamInterface<bool> {};

TEST_P(SegmentsBouncers, RootAndXmemSegmentsRunInOrder)
{
    IdePreferences().no_bouncers = GetParam();
    const std::string program =
        header() + driver("_GLOBAL_INIT", "trail") +
        "void f()\n{\n#GLOBAL_INIT { trail = trail * 16 + 1; }\n trail = 9;\n}\n"
        "xmem void g()\n{\n#GLOBAL_INIT { trail = trail * 16 + 2; }\n"
        "segchain other { trail = 5; }\n trail = 9;\n}\n"
        "void h()\n{\n#GLOBAL_INIT trail = trail * 16 + 3;\n}\n";
    ASSERT_EQ(compile(program), 0) << messages_text();
    ASSERT_TRUE(call_chain());
    const symbol *global = chain_symbol("trail");
    ASSERT_NE(global, nullptr);
    EXPECT_TRUE(trail(0x123, addr_offset(global->address[0])));
    EXPECT_TRUE(reg("XPC", 7));
    EXPECT_TRUE(reg("SP", 0xE000));

    const symbol *chain = chain_symbol("_GLOBAL_INIT");
    ASSERT_NE(chain, nullptr);
    const std::vector<uint8_t> code = sent_at(chain->address[0], 19);
    // ld a, xpc; push af; call f's segment; ld a, n; ld xpc, a; lcall g's segment; call h's
    EXPECT_EQ(code[2], 0xF5);
    EXPECT_EQ(code[3], 0xCD) << "the root segment: a plain call";
    EXPECT_EQ(code[6], 0x3E) << "ld a, n before the xmem segment";
    EXPECT_EQ(code[8], 0xED);
    EXPECT_EQ(code[9], 0x67);
    EXPECT_EQ(code[10], 0xCF) << "lcall: the segment ends in lret";
    EXPECT_EQ(code[7], code[13]) << "the page loaded is the page called";
    EXPECT_EQ(code[14], 0xCD) << "the last root segment, no page loaded";
    EXPECT_NE(chain_symbol("other"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(All, SegmentsBouncers, ::testing::Bool(),
                         [](const auto &i) { return i.param ? "NoBouncers" : "Bouncers"; });

struct SegmentError {
    const char *name;
    const char *body;
    const char *messages;
};

const SegmentError kSegmentErrors[] = {
    {"segchain_without_name", "segchain { trail = 1; }\n", "8: Chain has no name.\n"},
    {"auto_in_segment", "int k;\n#GLOBAL_INIT { trail = k; }\n",
     "9: Auto (on stack) variable not allowed.\n"},
};

class SegmentErrors : public ChainSegments, public ::testing::WithParamInterface<SegmentError> {};

TEST_P(SegmentErrors, AreReportedAndTheFunctionCompiles)
{
    (void)compile(header() + "void f()\n{\n" + GetParam().body + " trail = 2;\n}\n");
    EXPECT_EQ(messages_text(), GetParam().messages);
    const symbol *f = chain_symbol("f");
    ASSERT_NE(f, nullptr);
    EXPECT_NE(f->address[0], kDummyAddress);
}

INSTANTIATE_TEST_SUITE_P(All, SegmentErrors, ::testing::ValuesIn(kSegmentErrors),
                         [](const auto &i) { return std::string(i.param.name); });

// A program that made itself a BIOS may not add segments to chains.
TEST_F(ChainSegments, SegmentsRefusedInAProgramMarkedAsBios)
{
    (void)compile("#pragma CompileBIOS\n" + header() +
                  "void f()\n{\n#GLOBAL_INIT { trail = 1; }\n}\n");
    EXPECT_EQ(messages_text(), "9: Chains not allowed in BIOS.\n");
    EXPECT_EQ(chain_symbol("_GLOBAL_INIT"), nullptr);
}

}  // namespace
