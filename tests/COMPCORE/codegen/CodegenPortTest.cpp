// The port built-ins: inline on the F80 when their ports and shadows are known, ordinary calls of
// the runtime library's functions otherwise and on the Z180; their lines, their errors and runs
// against the simulator's internal I/O registers.
#include "BuiltinCallFixture.h"

#include "codegen/CC_STUBS.h"
#include "codegen/CC_Z80PIO.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <regex>
#include <set>

namespace {

using namespace codegen_test;

constexpr uint16_t kShadow = kData + 0x30;  // a char array: the shadow bytes
constexpr uint16_t kPortVariable = kData + 0x40;
constexpr uint16_t kX = kData + 0x42, kY = kData + 0x44;
constexpr uint16_t kFlags = kData + 0x50;

class Port : public BuiltinCallTest {
protected:
    void SetUp() override
    {
        BuiltinCallTest::SetUp();
        (void)array("shadow", 1, kShadow);
        (void)global("p", 2, kPortVariable);
        (void)global("x", 2, kX);
        (void)global("y", 2, kY);
    }
    // The lines from the first that begins with `first`.
    std::vector<std::string> lines_from(const std::string &first) const
    {
        auto it = std::find_if(lines().begin(), lines().end(),
                               [&](const std::string &l) { return l.rfind(first, 0) == 0; });
        return std::vector<std::string>(it, lines().end());
    }
    bool has_line(const std::string &prefix) const { return !lines_from(prefix).empty(); }
    // Compiles the expression and runs it; the internal registers and data as preset. The
    // compile reports nothing but `expected`.
    RunResult compile_and_run(const std::string &expression,
                              const std::vector<std::string> &expected = {})
    {
        recorder.lines.clear();
        const uint32_t start = here();
        (void)compile(expression);
        EXPECT_EQ(summaries(), expected) << expression;
        EXPECT_EQ(stack_offset(), 0) << expression;
        const uint16_t stop = addr_offset(here());
        outasm("nop");
        RunResult r = run(start, stop);
        EXPECT_TRUE(r.stopped) << expression;
        EXPECT_EQ(r.cpu.sp, kStackTop) << expression;
        return r;
    }
};

// The first reading of the arguments, whose code is thrown away, pools nothing: a string given
// as the shadow is written once, with every copy under a label of its own.
TEST_F(Port, AStringArgumentIsPooledOnce)
{
    struct KeepOptimization {
        bool saved = IdePreferences().string_literal_optimization;
        ~KeepOptimization() { IdePreferences().string_literal_optimization = saved; }
    } keep;
    IdePreferences().string_literal_optimization = false;
    (void)compile("WrPortI(0x31, \"pooled once\", 0x66)");
    EXPECT_TRUE(summaries().empty()) << summaries().front();
    EXPECT_EQ(literal_pool().count("pooled once"), 1u);
}

// ---- inline lines --------------------------------------------------------------------------------------

struct InlineCase {
    const char *name;
    const char *expression;
    const char *first;  // the first line of the expansion proper
    std::vector<std::string> lines;
};

const InlineCase kInline[] = {
    {"write_without_shadow", "WrPortI(0x30, 0, 0x5A)", "ld a,l", {"ld a,l", "ioi ld (48),a"}},
    {"write_with_shadow", "WrPortI(0x31, shadow, 0x66)", "ld a,l",
     {"ld a,l", "ipset 1", "ioi ld (49),a", "ld (32816),a", "ipres"}},
    {"bit_write_clear", "BitWrPortI(0x32, shadow, 0, 3)", "ld a,",
     {"ld a, -9", "ipset 1", "ld hl,32816", "and (hl)", "ld (hl),a", "ioi ld (50),a", "ipres"}},
    {"bit_write_set", "BitWrPortI(0x32, shadow, 1, 6)", "ld a,",
     {"ld a, 64", "ipset 1", "ld hl,32816", "or (hl)", "ld (hl),a", "ioi ld (50),a", "ipres"}},
    {"read", "RdPortI(0x33)", "ioi", {"ioi ld a, (51)", "bool hl", "ld l,a"}},
    {"bit_read", "BitRdPortI(0x34, 5)", "ioi",
     {"ioi ld a,(52)", "and 32", "bool hl", "ld l,a", "bool hl"}},
};

class InlineLines : public Port, public ::testing::WithParamInterface<InlineCase> {};

TEST_P(InlineLines, AreEmittedAsDescribed)
{
    (void)compile(GetParam().expression);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
    EXPECT_EQ(lines_from(GetParam().first), GetParam().lines);
    EXPECT_EQ(rest(), "");
    EXPECT_EQ(stack_offset(), 0);
}

INSTANTIATE_TEST_SUITE_P(All, InlineLines, ::testing::ValuesIn(kInline),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- runs ---------------------------------------------------------------------------------------------

TEST_F(Port, WritesReachThePortAndTheShadow)
{
    (void)compile_and_run("WrPortI(0x30, 0, 0x5A)");
    EXPECT_EQ(io_register(0x30), 0x5A);
    data[kShadow] = 0x00;
    (void)compile_and_run("WrPortI(0x31, shadow, 0x66)");
    EXPECT_EQ(io_register(0x31), 0x66);
    EXPECT_EQ(ram(kShadow), 0x66);
}

TEST_F(Port, BitWritesChangeOneBitOfShadowAndPort)
{
    data[kShadow] = 0xFF;
    (void)compile_and_run("BitWrPortI(0x32, shadow, 0, 3)");
    EXPECT_EQ(ram(kShadow), 0xF7);
    EXPECT_EQ(io_register(0x32), 0xF7);
    data[kShadow] = 0x01;
    (void)compile_and_run("BitWrPortI(0x32, shadow, 1, 6)");
    EXPECT_EQ(ram(kShadow), 0x41);
    EXPECT_EQ(io_register(0x32), 0x41);
}

TEST_F(Port, ReadsGiveTheByteAndTheBit)
{
    io[0x33] = 0xC5;
    EXPECT_EQ(compile_and_run("RdPortI(0x33)").cpu.hl(), 0x00C5);
    io[0x34] = 0x20;
    EXPECT_EQ(compile_and_run("BitRdPortI(0x34, 5)").cpu.hl(), 1);
    EXPECT_EQ(compile_and_run("BitRdPortI(0x34, 4)").cpu.hl(), 0);
}

// Arguments that are not known at compile time: the library's functions are called with every
// argument pushed, and released afterwards.
TEST_F(Port, UnknownArgumentsCallTheFunctions)
{
    data[kPortVariable] = 0x35;
    data[kPortVariable + 1] = 0;
    (void)compile_and_run("WrPortI(p, 0, 7)");
    EXPECT_EQ(std::count(lines().begin(), lines().end(), "push hl"), 3);
    EXPECT_EQ(lines()[lines().size() - 2], "add sp, 6") << "before the stop's nop";
    EXPECT_FALSE(has_line("ioi"));
    EXPECT_EQ(io_register(0x35), 7);

    io[0x35] = 0x81;
    EXPECT_EQ(compile_and_run("RdPortI(p)").cpu.hl(), 0x0081);
    EXPECT_FALSE(has_line("ioi"));
    data[kX] = 7;
    data[kX + 1] = 0;
    EXPECT_EQ(compile_and_run("BitRdPortI(0x35, x)").cpu.hl(), 1);
    EXPECT_FALSE(has_line("ioi"));

    data[kShadow] = 0x00;
    (void)compile_and_run("BitWrPortI(p, shadow, 1, x)");
    EXPECT_EQ(std::count(lines().begin(), lines().end(), "push hl"), 4);
    EXPECT_EQ(ram(kShadow), 0x80);
    EXPECT_EQ(io_register(0x35), 0x80);
}

// A value that compiles code with a label of its own (a bit test, itself a built-in with its
// list reversed inside this one): the reading that finds the arguments known throws its code
// away with the labels it made, so the expansion holds the value's code once and runs.
TEST_F(Port, TheTrialReadingLeavesNoCodeOrLabelBehind)
{
    (void)array("flags", 1, kFlags);
    const auto length = [&](const std::string &expression) {
        const uint32_t start = here();
        (void)compile(expression);
        return emitted(root_code_cache(), start).size();
    };
    const size_t value = length("BIT(flags, 3)");
    const size_t constant = length("WrPortI(0x36, shadow, 5)");  // "ld hl, 5" is 3 bytes
    recorder.lines.clear();
    EXPECT_EQ(length("WrPortI(0x36, shadow, BIT(flags, 3))"), value + constant - 3);
    // The value's lines were read three times (the checking pass of the built-in's arguments,
    // the trial that finds them known, the expansion); only the label of the last exists.
    std::set<std::string> labels;
    const std::regex label("KXLAB__QB[0-9A-F]{8}");
    for (const std::string &line : lines())
        for (std::sregex_iterator it(line.begin(), line.end(), label), end; it != end; ++it)
            labels.insert(it->str());
    ASSERT_EQ(labels.size(), 3u);
    size_t defined = 0;
    for (const std::string &name : labels)
        if (const QBFixupRec *r = find_label(name.c_str(), kLabelLocal | kLabelGlobal); r && r->defined)
            ++defined;
    EXPECT_EQ(defined, 1u);

    for (const uint8_t flags : {0x08, 0xF7}) {
        data[kFlags] = flags;
        // The value's code is made by the checking pass too: reported, and compiled once.
        reset_errors();
        (void)compile_and_run("WrPortI(0x36, shadow, BIT(flags, 3))",
                              {"Internal error: Code generated when checking parameters of "
                               "builtin function."});
        EXPECT_EQ(io_register(0x36), flags == 0x08 ? 1 : 0);
        EXPECT_EQ(ram(kShadow), flags == 0x08 ? 1 : 0);
    }
}

// A static whose address is not assigned yet: written as 0 with a label reference on the
// operand's two bytes, completed when the label is defined.
TEST_F(Port, AnUnplacedStaticIsCompletedByItsLabel)
{
    (void)unplaced("later", 1);
    const uint32_t start = here();
    (void)compile("WrPortI(later, 0, 1)");
    EXPECT_EQ(lines_from("ld a,l"), (std::vector<std::string>{"ld a,l", "ioi ld (0),a"}));
    define_label("later", make_addr(0, 0x0038), kLabelGlobal);
    const std::vector<uint8_t> code = emitted(root_code_cache(), start);
    ASSERT_GE(code.size(), 4u);
    EXPECT_EQ(std::vector<uint8_t>(code.end() - 4, code.end()),
              (std::vector<uint8_t>{0xD3, 0x32, 0x38, 0x00}));
}

// ---- errors and the Z180 ------------------------------------------------------------------------------

TEST_F(Port, ShadowZeroInABitWriteIsReportedAndCompiled)
{
    (void)compile("BitWrPortI(0x32, 0, 1, 2)");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Shadow register required for this operation."});
    EXPECT_TRUE(has_line("ipset 1"));
}

TEST_F(Port, KnownBitsOutsideTheByteAreTooLarge)
{
    for (const char *expression : {"BitWrPortI(0x32, shadow, 1, 8)", "BitRdPortI(0x34, 9)",
                                   "BitRdPortI(0x34, -1)"}) {
        recorder.lines.clear();
        reset_errors();
        (void)compile(expression);
        EXPECT_EQ(summaries(), std::vector<std::string>{"Bit number too large."}) << expression;
        EXPECT_TRUE(lines().empty()) << expression << ": " << lines().front();
        EXPECT_EQ(stack_offset(), 0);
    }
}

TEST_F(Port, MissingParenthesisOrCommaIsReported)
{
    text = " 0x30, 0, 1";
    set_input_pointer(text.c_str());
    set_no_line_crossing(true);
    gen_io_builtin_call(kBuiltinWrPortI);
    set_no_line_crossing(false);
    EXPECT_EQ(summaries(), std::vector<std::string>{"Missing character '('."});
    EXPECT_TRUE(lines().empty());
    reset_errors();
    (void)compile("WrPortI(0x30 0)");
    // The checking pass counts one argument: the expansion is left out.
    EXPECT_EQ(summaries(), std::vector<std::string>{"Wrong number of arguments to builtin inline function."});
    EXPECT_EQ(stack_offset(), 0);
}

TEST_F(Port, TheZ180CallsTheFunctions)
{
    (void)select_target_cpu(0, 1);
    for (const char *expression : {"WrPortI(0x30, shadow, 1)", "RdPortI(0x30)",
                                   "BitWrPortI(0x30, shadow, 1, 2)", "BitRdPortI(0x30, 2)"}) {
        recorder.lines.clear();
        reset_errors();
        (void)compile(expression);
        EXPECT_TRUE(summaries().empty()) << expression << ": " << summaries().front();
        EXPECT_FALSE(has_line("ioi")) << expression;
        EXPECT_FALSE(has_line("ipset")) << expression;
        EXPECT_TRUE(has_line("push hl")) << expression;
        EXPECT_EQ(stack_offset(), 0) << expression;
    }
}

}  // namespace
