// The unary and postfix levels through the real compile entry: globals from the declaration
// parser, expression statements compiled into root code and run on the board stand-in. Prefix
// operators and their folding, "&" and "*", casts, "sizeof" (also inside declarations and in
// "#asm" operands), increments, subscripts with their checks, members, function designators and
// the spelling of type names.
#include <gtest/gtest.h>

#include "CompileRunFixture.h"
#include "StatementLines.h"
#include "DeclarationDoubles.h"
#include "OutputTestSupport.h"

#include "core/CC_ADDR.h"
#include "parser/CC_DECLR.h"
#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "parser/CC_HIER.h"
#include "input/CC_IN.h"
#include "parser/CC_LABELS.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "core/SEAM_DECL.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace compile_run;

uint32_t float_bits(float f)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// The compile-and-run fixture over declarations and statements, with the runtime routines; function
// declarators go to a recording double.
class UnaryRun : public CompileRun {
protected:
    DeclarationsAndStatements lines;
    RecordingFunctionDefinitions functions;
    CompilerOptions saved_options;
    bool saved_no_bouncers = true;

    void SetUp() override
    {
        CompileRun::SetUp();
        set_declaration_seam(&lines);
        set_function_definition_seam(&functions);
        saved_options = compiler_options();
        saved_no_bouncers = IdePreferences().no_bouncers;
        const std::string lib = std::string(KX_TEST_DATA) + "/../../TARGET/lib/";
        for (const char *name : {"INT16.LIB", "INT32.LIB", "FLOAT.LIB"})
            add_library(name, output_test::read_text(lib + name));
    }
    void TearDown() override
    {
        compiler_options() = saved_options;
        IdePreferences().no_bouncers = saved_no_bouncers;
        set_function_definition_seam(nullptr);
        CompileRun::TearDown();
    }

    // The program with the runtime libraries, a stop behind the statements and our own
    // "abound_e", which marks 0x8F00 and returns. The compile status.
    uint16_t build(const std::string &program)
    {
        return compile("#use INT16.LIB\n#use INT32.LIB\n#use FLOAT.LIB\n" + program +
                       "#asm\n nop\nrterror_::\n jr rterror_\nabound_e::\n push af\n ld a,0xA5\n"
                       " ld (0x8F00),a\n pop af\n ret\n#endasm\n");
    }

    // Runs the statements to their end.
    ::testing::AssertionResult run_statements()
    {
        if (!lines.first_code)
            return ::testing::AssertionFailure() << "no statement";
        preset[0x8F00] = 0;
        const vsim::RunResult r = run(addr_offset(*lines.first_code), 50000,
                                      vsim::Breakpoint{addr_offset(lines.code_end), -1});
        if (r.reason != vsim::StopReason::breakpoint)
            return ::testing::AssertionFailure() << "the run did not reach the end of the code";
        return reg("SP", 0xE000);
    }

    ::testing::AssertionResult compile_and_run(const std::string &program)
    {
        const uint16_t status = build(program);
        if (status != 0)
            return ::testing::AssertionFailure() << "status " << status << "\n" << messages_text();
        return run_statements();
    }

    static const symbol *global(const char *name) { return find_symbol(name, false, kGlobalTable); }
    static uint16_t address_of(const char *name)
    {
        const symbol *s = global(name);
        return s ? addr_offset(s->address[0]) : 0;
    }
    // The value a global holds before the run, little-endian in `bytes` bytes.
    void set(const char *name, uint32_t value, int bytes)
    {
        const uint16_t at = address_of(name);
        for (int i = 0; i < bytes; ++i)
            preset[static_cast<uint16_t>(at + i)] = static_cast<uint8_t>(value >> (8 * i));
    }
    // Ints laid into an array global from its first element.
    void set_array(const char *name, const std::vector<uint16_t> &values)
    {
        for (std::size_t k = 0; k < values.size(); ++k) {
            const auto at = static_cast<uint16_t>(address_of(name) + 2 * k);
            preset[at] = static_cast<uint8_t>(values[k]);
            preset[static_cast<uint16_t>(at + 1)] = static_cast<uint8_t>(values[k] >> 8);
        }
    }
    bool index_check_reached() { return static_cast<bool>(memory(0x8F00, {0xA5})); }

    // Every message's summary, sorted.
    static std::vector<std::string> summaries()
    {
        std::vector<std::string> out;
        for (const Message &m : messages())
            out.push_back(m.summary);
        std::sort(out.begin(), out.end());
        return out;
    }
    uint32_t code_length() const { return lines.code_end - lines.first_code.value_or(lines.code_end); }
};

// The globals of the value cases, each given its value before the run.
const char *const kGlobals = "int a;\nint b;\nchar c;\nlong l;\nfloat f;\nint arr[4];\n"
                             "int *p;\nint i;\nint n;\n"
                             "struct rec { char tag; int m; long total; };\n"
                             "struct rec s;\nstruct rec sa[3];\nstruct rec *ps;\n";

class UnaryValues : public UnaryRun {
protected:
    // a = -7, b = 3, c = 5, l = 70000, f = 0.1, arr = {10, 20, 30, 40}, p = &arr[1], i = 2,
    // n = 9, s = {1, 300, 5}, sa[i].m = 222, ps = &sa[1] with m = 111
    ::testing::AssertionResult compile_and_run_values(const std::string &statement)
    {
        const uint16_t status = build(std::string(kGlobals) + statement + ";\n");
        if (status != 0)
            return ::testing::AssertionFailure() << "status " << status << "\n" << messages_text();
        set("a", static_cast<uint16_t>(-7), 2);
        set("b", 3, 2);
        set("c", 5, 1);
        set("l", 70000, 4);
        set("f", float_bits(0.1f), 4);
        set_array("arr", {10, 20, 30, 40});
        set("p", address_of("arr") + 2, 2);
        set("i", 2, 2);
        set("n", 9, 2);
        const uint16_t rec = 7;  // tag, m, total
        const uint16_t s_at = address_of("s"), sa_at = address_of("sa");
        preset[s_at] = 1;
        preset[static_cast<uint16_t>(s_at + 1)] = 300 & 0xFF;
        preset[static_cast<uint16_t>(s_at + 2)] = 300 >> 8;
        preset[static_cast<uint16_t>(s_at + 3)] = 5;
        preset[static_cast<uint16_t>(sa_at + rec + 1)] = 111;
        preset[static_cast<uint16_t>(sa_at + rec + 2)] = 0;
        preset[static_cast<uint16_t>(sa_at + 2 * rec + 1)] = 222;
        preset[static_cast<uint16_t>(sa_at + 2 * rec + 2)] = 0;
        set("ps", sa_at + rec, 2);
        return run_statements();
    }
};

struct ValueCase {
    const char *name;
    const char *statement;
    const char *reg;
    uint32_t value;
};
const ValueCase kValues[] = {
    {"negate_char_stays_char", "-c + 1", "HL", 252},
    {"complement_char_stays_char", "~c + 1", "HL", 251},
    {"not_of_char", "!c", "HL", 0},
    {"negate_long_low", "-l", "DE", static_cast<uint16_t>(-70000)},
    {"negate_long_high", "-l", "BC", static_cast<uint16_t>(static_cast<uint32_t>(-70000) >> 16)},
    {"complement_long_low", "~l", "DE", static_cast<uint16_t>(~70000u)},
    {"not_of_long", "!l", "HL", 0},
    {"negate_float_high", "-f", "BC", float_bits(-0.1f) >> 16},
    {"not_of_float", "!f", "HL", 0},
    {"folded_float_negation", "-1.5", "BC", 0xBFC0},
    {"folded_not", "!5 + 0", "HL", 0},
    {"folded_complement", "~0", "HL", 0xFFFF},
    {"subtraction_after_a_name", "a-1", "HL", static_cast<uint16_t>(-8)},
    {"address_of_global", "&a", "HL", 0},  // compared with the address below
    {"through_a_pointer", "*p", "HL", 20},
    {"address_then_indirection", "*&b", "HL", 3},
    {"indirection_of_an_array", "*arr", "HL", 10},
    {"cast_folds_to_char", "(char)300 + 0", "HL", 44},
    {"cast_sign_extends_low", "(long)a", "DE", static_cast<uint16_t>(-7)},
    {"cast_sign_extends_high", "(long)a", "BC", 0xFFFF},
    {"cast_constant_to_pointer", "*(int *)0x8F02", "HL", 0x1234},
    {"cast_to_unsigned_shifts_logically", "(unsigned)a >> 12", "HL", 0xF},
    {"sizeof_int", "sizeof(int)", "HL", 2},
    {"sizeof_long", "sizeof(long)", "HL", 4},
    {"sizeof_array", "sizeof(arr)", "HL", 8},
    {"sizeof_pointer", "sizeof(p)", "HL", 2},
    {"sizeof_literal", "sizeof(\"abc\")", "HL", 4},
    {"sizeof_without_parentheses", "sizeof l", "HL", 4},
    {"sizeof_structure", "sizeof(struct rec)", "HL", 7},
    {"sizeof_of_a_cast", "sizeof((char)a)", "HL", 1},
    {"sizeof_of_an_address", "sizeof(&l)", "HL", 2},
    {"sizeof_of_an_element", "sizeof(sa[0])", "HL", 7},
    {"sizeof_is_unsigned", "sizeof(int) - 3 > 0", "HL", 1},
    {"constant_subscript", "arr[3]", "HL", 40},
    {"variable_subscript", "arr[i]", "HL", 30},
    {"pointer_subscript", "p[i]", "HL", 40},
    {"negative_subscript_of_a_pointer", "p[-1]", "HL", 10},
    {"literal_subscript", "\"abc\"[1] + 1", "HL", 'c'},
    {"literal_terminator", "\"abc\"[3] + 1", "HL", 1},
    {"member", "s.m", "HL", 300},
    {"char_member", "s.tag + 1", "HL", 2},
    {"member_through_pointer", "ps->m", "HL", 111},
    {"member_of_an_element", "sa[i].m", "HL", 222},
    {"member_of_an_indirection", "(*ps).m", "HL", 111},
};

class UnaryValueCases : public UnaryValues, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(UnaryValueCases, MatchTheDialect)
{
    const ValueCase &c = GetParam();
    preset[0x8F02] = 0x34;
    preset[0x8F03] = 0x12;
    ASSERT_TRUE(compile_and_run_values(c.statement)) << c.statement;
    const uint32_t expected = std::strcmp(c.name, "address_of_global") == 0 ? address_of("a")
                                                                             : c.value;
    EXPECT_TRUE(reg(c.reg, expected)) << c.statement;
    EXPECT_EQ(messages_text(), "");
}
INSTANTIATE_TEST_SUITE_P(All, UnaryValueCases, ::testing::ValuesIn(kValues),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- increments ------------------------------------------------------------------------------------

struct IncrementCase {
    const char *name;
    const char *statement;
    const char *reg;
    uint32_t value;        // what the expression yields
    const char *variable;  // and what is stored
    uint32_t stored;
    int bytes;
};
// a = -7, c = 255, p = arr, l = 0x10000, f = 0.1, arr = {10, 20, 30, 40}, i = 1, ps = &s
const IncrementCase kIncrements[] = {
    {"post_yields_the_old_value", "(a++)", "HL", static_cast<uint16_t>(-7), "a", static_cast<uint16_t>(-6), 2},
    {"pre_yields_the_new_value", "(++a)", "HL", static_cast<uint16_t>(-6), "a", static_cast<uint16_t>(-6), 2},
    {"post_decrement", "(a--)", "HL", static_cast<uint16_t>(-7), "a", static_cast<uint16_t>(-8), 2},
    {"char_wraps", "(c++) + 0", "HL", 255, "c", 0, 1},
    {"pointer_steps_by_its_element", "(p++)", "HL", 0, "p", 2, 2},
    {"long_decrement_borrows_low", "(l--)", "DE", 0, "l", 0xFFFF, 4},
    {"long_decrement_borrows_high", "(l--)", "BC", 1, "l", 0xFFFF, 4},
    {"float_keeps_its_old_value", "(f++)", "BC", 0x3DCC, "f", 0, 0},
    {"float_keeps_its_old_value_low", "(f++)", "DE", 0xCCCD, "f", 0, 0},
    {"through_a_pointer", "((*p)++)", "HL", 10, "arr", 11, 2},
    {"element_through_a_subscript", "(arr[i]++)", "HL", 20, "arr", 10 | (21u << 16), 4},
    {"pre_through_a_subscript", "(--arr[i])", "HL", 19, "arr", 10 | (19u << 16), 4},
    {"member_through_a_pointer", "(++ps->m)", "HL", 301, "s", 1 | (301u << 8), 3},
    {"float_through_a_pointer", "((*pf)++)", "BC", 0x3DCC, "f", 0, 0},
};

class Increments : public UnaryRun, public ::testing::WithParamInterface<IncrementCase> {};

TEST_P(Increments, YieldAndStore)
{
    const IncrementCase &c = GetParam();
    ASSERT_EQ(build(std::string("int a;\nchar c;\nint *p;\nlong l;\nfloat f;\nfloat *pf;\n"
                                "int arr[4];\nint i;\nstruct rec { char tag; int m; } s;\n"
                                "struct rec *ps;\n") +
                    c.statement + ";\n"),
              0)
        << messages_text();
    set("a", static_cast<uint16_t>(-7), 2);
    set("c", 255, 1);
    set("p", address_of("arr"), 2);
    set("l", 0x10000, 4);
    set("f", float_bits(0.1f), 4);
    set("pf", address_of("f"), 2);
    set_array("arr", {10, 20, 30, 40});
    set("i", 1, 2);
    set("s", 1 | (300u << 8), 3);
    set("ps", address_of("s"), 2);
    ASSERT_TRUE(run_statements());
    const uint32_t expected = std::strcmp(c.name, "pointer_steps_by_its_element") == 0
                                  ? address_of("arr")
                                  : c.value;
    EXPECT_TRUE(reg(c.reg, expected)) << c.statement;
    std::vector<uint8_t> stored;
    uint32_t value = c.stored;
    if (std::strcmp(c.name, "pointer_steps_by_its_element") == 0)
        value = address_of("arr") + 2;
    for (int k = 0; k < c.bytes; ++k)
        stored.push_back(static_cast<uint8_t>(value >> (8 * k)));
    if (c.bytes == 0) {
        const uint32_t bits = float_bits(1.1f);
        stored = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                  static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
    }
    EXPECT_TRUE(memory(address_of(c.variable), stored)) << c.statement;
}
INSTANTIATE_TEST_SUITE_P(All, Increments, ::testing::ValuesIn(kIncrements),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(UnaryRun, AnIncrementWhoseValueIsUnusedHasNoUndo)
{
    const std::string globals = "int a;\n";
    ASSERT_EQ(build(globals + "a++;\n"), 0) << messages_text();
    const uint32_t bare = code_length();
    ASSERT_EQ(build(globals + "++a;\n"), 0) << messages_text();
    const uint32_t pre = code_length();
    ASSERT_EQ(build(globals + "(a++);\n"), 0) << messages_text();
    const uint32_t used = code_length();
    EXPECT_EQ(bare, pre);
    EXPECT_GT(used, bare);

    ASSERT_EQ(build(globals + "a++;\n"), 0) << messages_text();
    set("a", 0x00FF, 2);
    ASSERT_TRUE(run_statements());
    EXPECT_TRUE(memory(address_of("a"), {0, 1}));
}

TEST_F(UnaryRun, ALoopConditionTestsTheValueBeforeTheDecrement)
{
    ASSERT_EQ(build("int n;\nvalue (n--);\n"), 0) << messages_text();
    set("n", 5, 2);
    ASSERT_TRUE(run_statements());
    EXPECT_TRUE(reg("HL", 5));
    EXPECT_TRUE(memory(address_of("n"), {4, 0}));
}

// ---- sizeof ---------------------------------------------------------------------------------------------

TEST_F(UnaryRun, SizeofCompilesNoCodeForItsOperand)
{
    ASSERT_EQ(build("int a;\nint b;\n2;\n"), 0) << messages_text();
    const uint32_t constant = code_length();
    ASSERT_EQ(build("int a;\nint b;\nsizeof(a * b + a++);\n"), 0) << messages_text();
    set("a", 0, 2);
    ASSERT_TRUE(run_statements());
    EXPECT_EQ(code_length(), constant);
    EXPECT_TRUE(reg("HL", 2));
    EXPECT_TRUE(memory(address_of("a"), {0, 0}));  // the increment never ran
}

TEST_F(UnaryRun, SizeofInsideADeclarationKeepsTheDeclaration)
{
    ASSERT_EQ(build("char buf[sizeof(long) * (int)2], after;\n"
                    "typedef int *IP;\nIP ptrs[sizeof((IP)0)], more;\n"),
              0)
        << messages_text();
    ASSERT_NE(global("buf"), nullptr);
    EXPECT_EQ(global("buf")->size, 8);
    ASSERT_NE(global("after"), nullptr);
    EXPECT_EQ(global("after")->type, 1);
    EXPECT_EQ(global("after")->declarator, 0u);
    ASSERT_NE(global("ptrs"), nullptr);
    EXPECT_EQ(global("ptrs")->size, 4);
    EXPECT_EQ(global("ptrs")->declarator, (kDeclPointer << 4) | kDeclArray);
    ASSERT_NE(global("more"), nullptr);
    EXPECT_EQ(global("more")->declarator, static_cast<uint32_t>(kDeclPointer));
}

TEST_F(UnaryRun, AFailingSizeofInsideADeclarationKeepsTheDeclaration)
{
    build("extern int ev[];\nlong e[sizeof(ev) + 1], e2;\nchar q[(int], q2;\n");
    EXPECT_EQ(summaries(), (std::vector<std::string>{"Cannot compute size.", "Invalid expression.",
                                                     "Missing character ')'.",
                                                     "The size of ev cannot be determined."}));
    ASSERT_NE(global("e2"), nullptr);
    EXPECT_EQ(global("e2")->type, 4);
    EXPECT_EQ(global("e2")->declarator, 0u);
    ASSERT_NE(global("q2"), nullptr);
    EXPECT_EQ(global("q2")->type, 1);
}

TEST_F(UnaryRun, SizeofInAssemblyOperands)
{
    ASSERT_EQ(build("long g;\n#asm\n ld hl, sizeof(long)\n ld de, sizeof g\n"
                    " ld bc, sizeof(g) + 1\n#endasm\n"),
              0)
        << messages_text();
    const std::vector<uint8_t> bytes = {0x21, 0x04, 0x00, 0x11, 0x04, 0x00, 0x01, 0x05, 0x00};
    EXPECT_NE(std::search(linker.image.begin(), linker.image.end(), bytes.begin(), bytes.end()),
              linker.image.end());
}

TEST_F(UnaryRun, SizeofInAssemblyReportsABadOperand)
{
    build("extern int ev[];\n#asm\n ld hl, sizeof ev\n#endasm\nint after;\n");
    EXPECT_EQ(summaries(), (std::vector<std::string>{"Bad input to sizeof in asm code",
                                                     "Cannot compute size.",
                                                     "The size of ev cannot be determined."}));
    EXPECT_NE(global("after"), nullptr);
}

// ---- subscripts ------------------------------------------------------------------------------------------

TEST_F(UnaryRun, RunTimeIndexChecksCatchEveryIndexOutsideTheArray)
{
    compiler_options().rtc_indices = 1;
    for (const int16_t index : {2, 3, -1, 0}) {
        ASSERT_EQ(build("int arr[3];\nint i;\narr[i];\n"), 0) << messages_text();
        set("i", static_cast<uint16_t>(index), 2);
        ASSERT_TRUE(run_statements());
        EXPECT_EQ(index_check_reached(), index == 3 || index == -1) << "index " << index;
    }
    const uint32_t checked = code_length();
    compiler_options().rtc_indices = 0;
    ASSERT_EQ(build("int arr[3];\nint i;\narr[i];\n"), 0) << messages_text();
    EXPECT_LT(code_length() + 8, checked);
    set("i", 3, 2);
    ASSERT_TRUE(run_statements());
    EXPECT_FALSE(index_check_reached());
}

TEST_F(UnaryRun, TheIndexCheckKeepsAPointerBeingIndexed)
{
    compiler_options().rtc_indices = 1;
    ASSERT_EQ(build("int arr[3];\nint i;\nint b;\n(b + 1) * arr[i];\n"), 0) << messages_text();
    set_array("arr", {10, 20, 30});
    set("i", 1, 2);
    set("b", 2, 2);
    ASSERT_TRUE(run_statements());
    EXPECT_FALSE(index_check_reached());
    EXPECT_TRUE(reg("HL", 60));
}

// ---- function designators -----------------------------------------------------------------------------------

TEST_F(UnaryRun, AFunctionNameIsItsConstantAddress)
{
    ASSERT_TRUE(compile_and_run("function f 0x1234;\nf;\n"));
    EXPECT_TRUE(reg("HL", 0x1234));
    EXPECT_EQ(global("f")->flags[2] & 1, 1);
}

TEST_F(UnaryRun, AnXmemFunctionAddressNeedsBouncersOrIndirect)
{
    IdePreferences().no_bouncers = false;
    build("function x 0xE100;\nfunction r 0x1234;\nx;\nr;\n");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Xmem function x should be defined 'indirect'."});
}

// ---- type names ---------------------------------------------------------------------------------------------

struct SpellingCase {
    const char *name;
    uint16_t type;
    uint32_t declarator;
    const char *tag;
    const char *text;
};
const SpellingCase kSpellings[] = {
    {"int", 2, 0, nullptr, "int"},
    {"unsigned_long", 5, 0, nullptr, "unsigned long"},
    {"unnamed_code", 9, 0, nullptr, "type 9"},
    {"pointer", 1, 0x2, nullptr, "char*"},
    {"array", 2, 0x1, nullptr, "int[]"},
    {"array_of_pointers", 2, 0x21, nullptr, "int*[]"},
    {"pointer_to_pointer", 7, 0x22, nullptr, "float**"},
    {"const_pointer", 2, 0x6, nullptr, "int* const "},
    {"pointer_to_const", 2, 0x42, nullptr, "const int*"},
    {"const_base", 4, 0x4, nullptr, "const long"},
    {"function", 2, 0x3, nullptr, "int()"},
    {"pointer_to_function", 12, 0x32, nullptr, "void(*)()"},
    {"structure_with_tag", 17, 0x2, "rec", "struct rec*"},
    {"structure_without_tag", 20, 0, nullptr, "struct"},
    {"tag_ignored_below_structures", 2, 0, "n", "int"},
};

class TypeSpelling : public ::testing::TestWithParam<SpellingCase> {};

TEST_P(TypeSpelling, IsTheCSpelling)
{
    const SpellingCase &c = GetParam();
    EXPECT_EQ(format_type_name(c.type, c.declarator, c.tag), c.text);
}
INSTANTIATE_TEST_SUITE_P(All, TypeSpelling, ::testing::ValuesIn(kSpellings),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(TypeSpellingCalls, EachCallKeepsItsOwnText)
{
    const std::string first = format_type_name(2, 0x2, nullptr);
    const std::string second = format_type_name(1, 0, nullptr);
    EXPECT_EQ(first + "/" + second, "int*/char");
}

// ---- messages -------------------------------------------------------------------------------------------------

struct BadCase {
    const char *name;
    const char *statement;
    std::vector<std::string> messages;
};
const BadCase kBad[] = {
    {"address_of_a_constant", "&5;", {"Invalid expression - need lvalue."}},
    {"indirection_of_an_int", "*n;", {"Not a pointer, cannot dereference."}},
    {"complement_of_a_float", "~f;", {"Operands and/or operator incompatible."}},
    {"two_dimensional_cast", "(int [2][3])a;", {"Too many dimensions."}},
    {"unknown_size", "sizeof(ev);", {"Cannot compute size.", "The size of ev cannot be determined."}},
    {"object_too_large", "sizeof(big);", {"Object too large for sizeof."}},
    {"type_too_large", "sizeof(long [10000]);", {"Object too large for sizeof."}},
    {"increment_of_an_initialised_variable", "k++;", {"Assignment to read-only variable not allowed."}},
    {"increment_of_a_constant", "5++;", {"Assignment to read-only variable not allowed.", "Invalid expression - need lvalue."}},
    {"constant_index_past_the_end", "arr[3];", {"Array index out of bounds."}},
    {"negative_constant_index", "arr[-1];", {}},
    {"literal_index_past_the_terminator", "\"abc\"[4];", {"Array index out of bounds."}},
    {"subscript_of_an_int", "n[0];", {"Cannot subscript object 'n' of type 'int'; an array or pointer is required."}},
    {"subscript_of_a_constant", "5[0];", {"Cannot subscript object 'unknown' of type 'int'; an array or pointer is required."}},
    {"arrow_on_a_structure", "s->m;", {"Invalid struct reference."}},
    {"unknown_member", "ps->nothing;", {"Invalid struct reference."}},
    {"dot_on_a_pointer", "ps.m;", {"Invalid struct reference."}},
    {"dot_without_a_member", "s.;", {"Invalid struct reference."}},
    {"arrow_without_a_member", "ps->;", {"Invalid struct reference."}},
    {"cast_unclosed", "(int;", {"Missing character ')'.", "Invalid expression."}},
    {"sizeof_unclosed", "sizeof(a;", {"Missing character ')'."}},
    {"subscript_unclosed", "arr[1;", {"Missing character ']'."}},
    {"indexed_simple_cofunction", "cs[1];", {"Indexed access to simple cofunction."}},
    {"plain_indexed_cofunction", "ci;", {"Simple access to indexed cofunction."}},
    {"call", "g(1);", {}},
    {"call_on_an_int", "n(1);", {"Need a function call."}},
    {"waitfordone_outside_a_costatement", "waitfordone { a; };",
     {"No enclosing costate, construct waitfordone not valid."}},
    {"web_reference_outside_a_guard", "$a;",
     {"Invalid expression.", "Web variable 'a' is not declared."}},
};

class UnaryBad : public UnaryRun, public ::testing::WithParamInterface<BadCase> {};

TEST_P(UnaryBad, ReportedAndTheNextLineIsRead)
{
    const BadCase &c = GetParam();
    build(std::string("int a;\nint n;\nfloat f;\nint arr[3];\nconst int k = 3;\n"
                      "extern int ev[];\nextern long big[10000];\n"
                      "struct rec { char tag; int m; } s;\nstruct rec *ps;\n"
                      "function g 0x1000;\nfunction cs 0x1100 1;\nfunction ci 0x1200 4;\n") +
          c.statement + "\nint after;\n");
    std::vector<std::string> expected = c.messages;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(summaries(), expected) << c.statement;
    EXPECT_NE(global("after"), nullptr);
}
INSTANTIATE_TEST_SUITE_P(All, UnaryBad, ::testing::ValuesIn(kBad),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(UnaryRun, DemotionInACastIsWarnedWhenAskedFor)
{
    compiler_options().type_check.demotion = 1;
    build("(char)300;\n");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Demotion of value may lose digits."});
}

struct DeepCase {
    const char *name;
    std::string text;
};

class DeepNesting : public UnaryRun, public ::testing::WithParamInterface<DeepCase> {};

TEST_P(DeepNesting, IsRefusedOnceWithoutExhaustingTheStack)
{
    build("int a;\nint *p;\nint arr[2];\n" + GetParam().text + ";\nint after;\n");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Expression nested too deeply."});
    EXPECT_NE(global("after"), nullptr);
}
// The piece n times, on lines of a thousand pieces.
std::string repeated(const std::string &piece, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += (i % 1000 == 999) ? piece + "\n" : piece;
    return out;
}
INSTANTIATE_TEST_SUITE_P(
    All, DeepNesting,
    ::testing::Values(DeepCase{"negations", repeated("- ", 100000) + "a"},
                      DeepCase{"indirections", repeated("*", 100000) + "p"},
                      DeepCase{"casts", repeated("(int)", 100000) + "a"},
                      DeepCase{"subscripts", repeated("arr[", 100000) + "0" + repeated("]", 100000)},
                      DeepCase{"sizeofs", repeated("sizeof ", 100000) + "a"}),
    [](const auto &i) { return std::string(i.param.name); });

}  // namespace
