// The bit built-ins as the expression parser meets them, structure copies and calls through a
// function pointer: the lines that matter, the errors, and runs on the simulated CPU with the
// runtime library's bit functions.
#include "BuiltinCallFixture.h"

#include "codegen/CC_Z80BLT.h"
#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80LOAD.h"

#include <algorithm>
#include <tuple>

namespace {

using namespace codegen_test;

constexpr uint16_t kFlags = kData;             // four bytes tested, set and reset
constexpr uint16_t kBitNumber = kData + 0x10;  // an int holding a bit number

class BitBuiltin : public BuiltinCallTest {
protected:
    void SetUp() override
    {
        BuiltinCallTest::SetUp();
        (void)array("flags", 1, kFlags);
        (void)global("n", 2, kBitNumber);
    }
    bool has_line(const std::string &prefix) const
    {
        return std::any_of(lines().begin(), lines().end(),
                           [&](const std::string &l) { return l.rfind(prefix, 0) == 0; });
    }
};

// ---- lines and errors --------------------------------------------------------------------------------

TEST_F(BitBuiltin, ConstantBit8TestsBit0OfTheNextByte)
{
    (void)compile("BIT(flags, 8)");
    ASSERT_EQ(lines().size(), 6u);
    EXPECT_EQ(lines()[1], "inc hl");
    EXPECT_EQ(lines()[2], "bit 0, (hl)");
    EXPECT_EQ(lines()[3], "ld hl, 0");
    EXPECT_EQ(lines()[4].rfind("jr z, KXLAB__QB", 0), 0u) << lines()[4];
    EXPECT_EQ(lines()[5], "inc hl");
    EXPECT_TRUE(summaries().empty()) << summaries().front();
    EXPECT_EQ(rest(), "");
}

TEST_F(BitBuiltin, ConstantBit31MovesOnThreeBytes)
{
    (void)compile("SET(flags, 31)");
    EXPECT_EQ(std::vector<std::string>(lines().begin() + 1, lines().end()),
              (std::vector<std::string>{"inc hl", "inc hl", "inc hl", "set 7, (hl)"}));
}

TEST_F(BitBuiltin, Bit32IsTooLargeAndEmitsNothingAfterTheAddress)
{
    (void)compile("SET(flags, 32)");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Bit number too large."});
    EXPECT_EQ(lines().size(), 1u) << "only the address is loaded";
    EXPECT_FALSE(has_line("set"));
    EXPECT_EQ(stack_offset(), 0);
}

// A bit number that is not constant: pushed under the address, the library's function called,
// both released (HL kept for the test only). A bit number that needs code to compute is
// reported by the checking pass of the arguments, and compiled all the same.
TEST_F(BitBuiltin, VariableBitCallsTheFunctionAndReleasesBothArguments)
{
    for (const char *expression : {"BIT(flags, n)", "RES(flags, n + 1)"}) {
        recorder.lines.clear();
        reset_errors();
        (void)compile(expression);
        if (std::string(expression) == "BIT(flags, n)")
            EXPECT_TRUE(summaries().empty()) << expression;
        else
            EXPECT_EQ(summaries(), std::vector<std::string>{"Internal error: Code generated when "
                                                            "checking parameters of builtin function."});
        EXPECT_EQ(std::count(lines().begin(), lines().end(), "push hl"), 2) << expression;
        EXPECT_EQ(lines().back(), "add sp, 4") << expression;
        EXPECT_EQ(stack_offset(), 0) << expression;
    }
}

struct BadBitCall {
    const char *name;
    const char *text;  // at the name's end
    const char *message;
};

const BadBitCall kBadBitCalls[] = {
    {"no_open_parenthesis", " flags, 3", "Missing character '('."},
    {"no_comma_constant", "(3)", "Missing character ','."},
    {"no_comma_variable", "(n)", "Missing character ','."},
};

class BadBitCalls : public BitBuiltin, public ::testing::WithParamInterface<BadBitCall> {};

TEST_P(BadBitCalls, AreReportedOnceAndLeaveTheStackAsItWas)
{
    text = GetParam().text;
    set_input_pointer(text.c_str());
    set_no_line_crossing(true);
    gen_bit_builtin(kBitSet, kBitMemory);
    set_no_line_crossing(false);
    EXPECT_EQ(summaries(), std::vector<std::string>{GetParam().message});
    EXPECT_EQ(stack_offset(), 0);
    EXPECT_FALSE(has_line("set"));
}

INSTANTIATE_TEST_SUITE_P(All, BadBitCalls, ::testing::ValuesIn(kBadBitCalls),
                         [](const auto &i) { return std::string(i.param.name); });

// A bit of an I/O space goes through the function of its space when its number is not constant,
// and on the Z180 (which has no I/O prefix) whatever the number.
struct IoBitCall {
    const char *name;
    int cpu;  // 0 F80, 1 Z180
    BitOperation operation;
    BitSpace space;
    const char *list;
    const char *function;
};

const IoBitCall kIoBitCalls[] = {
    {"z180_internal_constant", 1, kBitSet, kBitInternalIo, "(0x30, 2)", "ISET"},
    {"z180_external_constant", 1, kBitTest, kBitExternalIo, "(0x30, 2)", "EBIT"},
    {"f80_internal_variable", 0, kBitReset, kBitInternalIo, "(0x30, n)", "IRES"},
    {"f80_external_variable", 0, kBitTest, kBitExternalIo, "(0x30, n)", "EBIT"},
};

class IoBitCalls : public BitBuiltin, public ::testing::WithParamInterface<IoBitCall> {};

TEST_P(IoBitCalls, CallTheFunctionOfTheSpace)
{
    const IoBitCall &c = GetParam();
    (void)select_target_cpu(0, static_cast<uint8_t>(c.cpu));
    text = c.list;
    set_input_pointer(text.c_str());
    set_no_line_crossing(true);
    const uint32_t start = here();
    gen_bit_builtin(c.operation, c.space);
    set_no_line_crossing(false);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
    EXPECT_FALSE(has_line("set") || has_line("res") || has_line("bit"));
    const std::vector<uint8_t> code = emitted(root_code_cache(), start);
    const std::vector<uint8_t> call = call_bytes(c.function);
    EXPECT_NE(std::search(code.begin(), code.end(), call.begin(), call.end()), code.end());
    EXPECT_EQ(stack_offset(), 0);
}

INSTANTIATE_TEST_SUITE_P(All, IoBitCalls, ::testing::ValuesIn(kIoBitCalls),
                         [](const auto &i) { return std::string(i.param.name); });

// On the board: bit 10 of the internal registers from 0x30 is bit 2 of register 0x31.
TEST_F(BitBuiltin, IoBitFunctionsRunOnTheInternalRegisters)
{
    data[kBitNumber] = 10;
    data[kBitNumber + 1] = 0;
    for (const auto &[operation, before, after, hl] :
         {std::tuple{kBitSet, 0x00, 0x04, -1}, std::tuple{kBitReset, 0xFF, 0xFB, -1},
          std::tuple{kBitTest, 0x04, 0x04, 1}, std::tuple{kBitTest, 0xFB, 0xFB, 0}}) {
        text = "(0x30, n)";
        set_input_pointer(text.c_str());
        set_no_line_crossing(true);
        const uint32_t start = here();
        gen_bit_builtin(operation, kBitInternalIo);
        set_no_line_crossing(false);
        const uint16_t stop = addr_offset(here());
        outasm("nop");
        io[0x31] = static_cast<uint8_t>(before);
        const RunResult r = run(start, stop);
        ASSERT_TRUE(r.stopped);
        EXPECT_EQ(io_register(0x31), after) << int(operation);
        if (hl >= 0) {
            EXPECT_EQ(r.cpu.hl(), hl);
        }
        EXPECT_EQ(r.cpu.sp, kStackTop);
    }
}

// ---- runs ----------------------------------------------------------------------------------------------

struct BitRun {
    const char *name;
    const char *function;
    bool variable;  // the bit number from the int n, else a constant
};

const BitRun kBitRuns[] = {
    {"test_constant", "BIT", false}, {"test_variable", "BIT", true},
    {"set_constant", "SET", false},  {"set_variable", "SET", true},
    {"reset_constant", "RES", false}, {"reset_variable", "RES", true},
};

class BitRuns : public BitBuiltin, public ::testing::WithParamInterface<BitRun> {};

TEST_P(BitRuns, WorkOnEveryByteOfTheLong)
{
    const std::string function = GetParam().function;
    for (const int bit : {0, 5, 8, 13, 23, 31}) {
        for (const bool was_set : {false, true}) {
            SCOPED_TRACE("bit " + std::to_string(bit) + (was_set ? " set" : " clear"));
            recorder.lines.clear();
            const uint32_t start = here();
            const std::string number = GetParam().variable ? "n" : std::to_string(bit);
            (void)compile(function + "(flags, " + number + ")");
            ASSERT_TRUE(summaries().empty()) << summaries().front();
            const uint16_t stop = addr_offset(here());
            outasm("nop");
            const uint32_t before = was_set ? (1u << bit) : ~(1u << bit);
            data.clear();
            for (int i = 0; i < 4; ++i)
                data[kFlags + i] = static_cast<uint8_t>(before >> (8 * i));
            data[kBitNumber] = static_cast<uint8_t>(bit);
            data[kBitNumber + 1] = 0;
            const RunResult r = run(start, stop);
            ASSERT_TRUE(r.stopped);
            EXPECT_EQ(r.cpu.sp, kStackTop);
            uint32_t after = 0;
            for (int i = 0; i < 4; ++i)
                after |= uint32_t(ram(static_cast<uint16_t>(kFlags + i))) << (8 * i);
            if (function == "BIT") {
                EXPECT_EQ(r.cpu.hl(), was_set ? 1u : 0u);
                EXPECT_EQ(after, before);
            } else {
                EXPECT_EQ(after, function == "SET" ? (before | 1u << bit) : (before & ~(1u << bit)));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, BitRuns, ::testing::ValuesIn(kBitRuns),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- structure copies ------------------------------------------------------------------------------------

constexpr uint16_t kSource = kData + 0x40;
constexpr uint16_t kTarget = kData + 0x80;
constexpr uint16_t kSourcePointer = kData + 0x20;  // a pointer variable holding kSource
constexpr uint16_t kCount = 10;

struct CopyCase {
    const char *name;
    // Sets up the two nodes (and the code that puts them where they are); returns nothing.
    void (*arrange)(object &source, object &destination);
};

const CopyCase kCopies[] = {
    {"both_in_memory",
     [](object &s, object &d) {
         s = variable(1, kSource, kDeclArray);
         d = variable(1, kTarget, kDeclArray);
     }},
    {"source_held_in_hl",
     [](object &s, object &d) {
         outasm("ld hl, %d", kSource);
         s = held_address(1);
         d = variable(1, kTarget, kDeclArray);
     }},
    {"destination_pushed_source_in_hl",
     [](object &s, object &d) {
         outasm("ld hl, %d", kTarget);
         d = held_address(1);
         gen_push_value(&d);
         outasm("ld hl, %d", kSource);
         s = held_address(1);
     }},
    {"destination_held_in_hl",
     [](object &s, object &d) {
         outasm("ld hl, %d", kTarget);
         d = held_address(1);
         s = variable(1, kSource, kDeclArray);
     }},
    {"source_through_a_pointer",
     [](object &s, object &d) {
         s = variable(1, kSourcePointer, kDeclPointer);
         d = variable(1, kTarget, kDeclArray);
     }},
};

class Copies : public RuntimeCodegenTest, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(Copies, CopyTheBytesAndLeaveTheDestinationInHl)
{
    const uint32_t start = here();
    object source{}, destination{};
    GetParam().arrange(source, destination);
    gen_block_copy(&source, &destination, kCount);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
    EXPECT_EQ(stack_offset(), 0);
    EXPECT_EQ(destination.kind, 255);
    const uint16_t stop = addr_offset(here());
    outasm("nop");
    for (uint16_t i = 0; i < kCount + 2; ++i) {
        data[kSource + i] = static_cast<uint8_t>(0xA0 + i);
        data[kTarget + i] = 0x55;
    }
    data[kSourcePointer] = static_cast<uint8_t>(kSource);
    data[kSourcePointer + 1] = static_cast<uint8_t>(kSource >> 8);
    const RunResult r = run(start, stop);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.hl(), kTarget);
    EXPECT_EQ(r.cpu.sp, kStackTop);
    for (uint16_t i = 0; i < kCount; ++i)
        EXPECT_EQ(ram(kTarget + i), 0xA0 + i) << i;
    EXPECT_EQ(ram(kTarget + kCount), 0x55) << "one byte too many";
}

INSTANTIATE_TEST_SUITE_P(All, Copies, ::testing::ValuesIn(kCopies),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, CopyOfNoBytesMovesNothing)
{
    object source = variable(1, kSource, kDeclArray);
    object destination = variable(1, kTarget, kDeclArray);
    gen_block_copy(&source, &destination, 0);
    EXPECT_EQ(std::count(lines().begin(), lines().end(), "ldir"), 0);
    EXPECT_TRUE(std::none_of(lines().begin(), lines().end(),
                             [](const std::string &l) { return l.rfind("ld bc", 0) == 0; }));
    EXPECT_EQ(lines().back(), "pop hl");
    EXPECT_EQ(stack_offset(), 0);
}

TEST_F(CodegenTest, CopyFromIoSpaceIsReportedAndGoesOn)
{
    object source = variable(1, kSource, kDeclArray);
    set_obj_flag(&source, internalIo, true);
    object destination = variable(1, kTarget, kDeclArray);
    gen_block_copy(&source, &destination, 4);
    EXPECT_EQ(summaries(), std::vector<std::string>{"IO transfer for destination only."});
    EXPECT_EQ(std::count(lines().begin(), lines().end(), "ldir"), 1);
}

TEST_F(CodegenTest, CopyIntoIoSpaceKeepsThePrefix)
{
    object source = variable(1, kSource, kDeclArray);
    object destination = variable(1, kTarget, kDeclArray);
    set_obj_flag(&destination, externalIo, true);
    gen_block_copy(&source, &destination, 4);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
    EXPECT_EQ(std::count(lines().begin(), lines().end(), "ioe ldir"), 1);
}

// ---- calls through a function pointer ----------------------------------------------------------------------

struct IndirectCase {
    const char *name;
    bool pending;  // the pointer still waits in HL, else it lies on the stack
    std::vector<std::string> jump;
};

const IndirectCase kIndirect[] = {
    {"pointer_on_the_stack", false, {"ex (sp), hl", "jp (hl)"}},
    {"pointer_pending_in_hl", true, {"pop iy", "push de", "jp (iy)"}},
};

class IndirectCalls : public CodegenTest, public ::testing::WithParamInterface<IndirectCase> {};

// The callee stores a marker and its argument (at SP+2, as a direct call leaves it) and returns;
// the caller goes on behind the jump and removes the argument.
TEST_P(IndirectCalls, RunTheTargetAndReturnBehindTheJump)
{
    const uint32_t callee = here();
    outasm("ld a, 0x5A");
    outasm("ld (0x%x), a", kData);
    outasm("ld hl, (sp+2)");
    outasm("ld (0x%x), hl", kData + 2);
    outasm("ld hl, 0x4321");  // the result
    outasm("ret");
    const uint32_t start = here();
    outasm("ld de, 0x1234");
    gen_push_register(kRidDE);  // the argument
    outasm("ld hl, 0x%x", addr_offset(callee));
    object pointer = held(2, kDeclPointer | kDeclFunction << 4);
    if (GetParam().pending)
        set_pending_value(&pointer, false);
    else
        gen_push_value(&pointer);
    recorder.lines.clear();
    gen_indirect_call(&pointer);
    for (const std::string &line : GetParam().jump)
        EXPECT_NE(std::find(lines().begin(), lines().end(), line), lines().end()) << line;
    EXPECT_EQ(stack_offset(), -2) << "the argument is left";
    gen_pop_register(kRidDE);
    EXPECT_EQ(stack_offset(), 0);
    const uint16_t stop = addr_offset(here());
    outasm("nop");
    const RunResult r = run(start, stop);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(ram(kData), 0x5A);
    EXPECT_EQ(ram(kData + 2) | ram(kData + 3) << 8, 0x1234);
    EXPECT_EQ(r.cpu.hl(), 0x4321);
    EXPECT_EQ(r.cpu.sp, kStackTop);
}

INSTANTIATE_TEST_SUITE_P(All, IndirectCalls, ::testing::ValuesIn(kIndirect),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
