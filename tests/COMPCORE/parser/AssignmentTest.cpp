// Assignments through the real compile entry: globals from the real declaration parser, and
// top-level expression statements compiled into root code and run on the board stand-in; the
// values they store against C, the code of a store, structure copies, the type checks and their
// messages, and the faults an assignment refuses.
#include <gtest/gtest.h>

#include "CodegenFixture.h"
#include "CompileRunFixture.h"
#include "StatementLines.h"
#include "OutputTestSupport.h"

#include "core/CC_ADDR.h"
#include "parser/CC_DECLR.h"
#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "parser/CC_HIER.h"
#include "input/CC_IN.h"
#include "parser/CC_LABELS.h"
#include "core/CC_STAB.h"
#include "codegen/CC_Z80START.h"
#include "core/SEAM_DECL.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace compile_run;

// The compile-and-run fixture over declarations and statements, with the runtime routines.
class AssignRun : public CompileRun {
public:
    // Values laid into named globals before the run (little-endian, `size` bytes).
    struct Preset {
        const char *name;
        uint32_t value;
        int size;
    };

protected:
    DeclarationsAndStatements lines;

    void SetUp() override
    {
        CompileRun::SetUp();
        set_declaration_seam(&lines);
        const std::string lib = std::string(KX_TEST_DATA) + "/../../TARGET/lib/";
        add_library("INT16.LIB", output_test::read_text(lib + "INT16.LIB"));
        add_library("INT32.LIB", output_test::read_text(lib + "INT32.LIB"));
        add_library("FLOAT.LIB", output_test::read_text(lib + "FLOAT.LIB"));
    }

    // Each compile starts the statements afresh.
    uint16_t compile(const std::string &program)
    {
        lines.first_code.reset();
        return CompileRun::compile(program);
    }

    static uint16_t address_of(const char *name)
    {
        const symbol *entry = find_symbol(name, false, kGlobalTable);
        return entry ? addr_offset(entry->address[0]) : 0;
    }

    // Compiles the program (the runtime libraries used) and runs its statements from the first
    // to the last, with the presets laid into memory first; SP must come back where it was.
    ::testing::AssertionResult compile_and_run(const std::string &program,
                                               const std::vector<Preset> &presets = {})
    {
        const uint16_t status = compile("#use INT16.LIB\n#use INT32.LIB\n#use FLOAT.LIB\n" + program +
                                        "\n#asm\n nop\nrterror_::\n jr rterror_\n#endasm\n");
        if (status != 0)
            return ::testing::AssertionFailure() << "status " << status << "\n" << messages_text();
        if (!lines.first_code)
            return ::testing::AssertionFailure() << "no statement";
        preset.clear();
        for (const Preset &p : presets)
            for (int i = 0; i < p.size; ++i)
                preset[static_cast<uint16_t>(address_of(p.name) + i)] =
                    static_cast<uint8_t>(p.value >> (8 * i));
        const vsim::RunResult r = run(addr_offset(*lines.first_code), 20000,
                                      vsim::Breakpoint{addr_offset(lines.code_end), -1});
        if (r.reason != vsim::StopReason::breakpoint)
            return ::testing::AssertionFailure() << "the run did not reach the end of the code";
        return reg("SP", 0xE000);
    }

    // The bytes of a named global after the run.
    ::testing::AssertionResult holds(const char *name, uint32_t value, int size)
    {
        std::vector<uint8_t> bytes;
        for (int i = 0; i < size; ++i)
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        return memory(address_of(name), bytes);
    }

    static std::vector<std::string> summaries()
    {
        std::vector<std::string> out;
        for (const Message &m : messages())
            out.push_back(m.summary);
        std::sort(out.begin(), out.end());
        return out;
    }

    // The code the statements compiled to.
    std::vector<uint8_t> statement_code() const
    {
        return sent_at(*lines.first_code, lines.code_end - *lines.first_code);
    }
};

// ---- values against C -------------------------------------------------------------------------------

const char *const kGlobals = "int a;\nint b;\nunsigned u;\nlong l;\nchar c;\nfloat f;\n";
// a = -7, b = 3, l = 70000, c = 200
const std::vector<AssignRun::Preset> kPresets = {
    {"a", static_cast<uint16_t>(-7), 2}, {"b", 3, 2}, {"l", 70000, 4}, {"c", 200, 1}};

struct Expected {
    const char *name;
    uint32_t value;
    int size;
};
struct ValueCase {
    const char *name;
    const char *statements;
    std::vector<Expected> expected;
};
uint32_t word(int v) { return static_cast<uint16_t>(v); }
const ValueCase kValues[] = {
    {"sum", "a = b + 1;", {{"a", 4, 2}}},
    {"chain_groups_right", "a = b = 7;", {{"a", 7, 2}, {"b", 7, 2}}},
    {"add", "a += 3;", {{"a", word(-4), 2}}},
    {"subtract_variable", "a -= b;", {{"a", word(-10), 2}}},
    {"multiply", "a *= 3;", {{"a", word(-21), 2}}},
    {"divide", "a /= 2;", {{"a", word(-3), 2}}},
    {"remainder", "a %= 5;", {{"a", word(-2), 2}}},
    {"shift_left", "a <<= 2;", {{"a", word(-28), 2}}},
    {"shift_right", "a >>= 1;", {{"a", word(-4), 2}}},
    {"and", "a &= b;", {{"a", word(-7 & 3), 2}}},
    {"xor", "a ^= b;", {{"a", word(-7 ^ 3), 2}}},
    {"or", "b |= 4;", {{"b", 7, 2}}},
    {"char_keeps_the_low_byte", "c = 300;", {{"c", 44, 1}}},
    {"char_compound_wraps", "c += 100;", {{"c", 44, 1}}},
    {"char_from_int_variable", "b = 300;\nc = b;", {{"c", 44, 1}}},
    {"int_from_char", "a = c;", {{"a", 200, 2}}},
    {"long_from_int_sign_extends", "l = a;", {{"l", 0xFFFFFFF9u, 4}}},
    {"int_from_long_keeps_the_low_word", "a = l;", {{"a", 70000 & 0xFFFF, 2}}},
    {"unsigned_from_minus_one", "u = -1;", {{"u", 0xFFFF, 2}}},
    {"long_compound", "l += a;", {{"l", 69993, 4}}},
    {"long_shift", "l <<= 1;", {{"l", 140000, 4}}},
    {"float_from_int", "f = a;", {{"f", 0xC0E00000u, 4}}},
    {"assignment_as_operand", "b = (a = 5) + 1;", {{"a", 5, 2}, {"b", 6, 2}}},
    {"compound_of_a_chain", "a += b += 1;", {{"b", 4, 2}, {"a", word(-3), 2}}},
};

class AssignValues : public AssignRun, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(AssignValues, MatchC)
{
    const ValueCase &c = GetParam();
    ASSERT_TRUE(compile_and_run(std::string(kGlobals) + c.statements, kPresets));
    for (const Expected &e : c.expected)
        EXPECT_TRUE(holds(e.name, e.value, e.size)) << c.statements << " (" << e.name << ")";
}
INSTANTIATE_TEST_SUITE_P(All, AssignValues, ::testing::ValuesIn(kValues),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(AssignRun, TheAssignedValueStaysInTheRegisters)
{
    ASSERT_TRUE(compile_and_run(std::string(kGlobals) + "b = a + 10;", kPresets));
    EXPECT_TRUE(reg("HL", 3));
    ASSERT_TRUE(compile_and_run(std::string(kGlobals) + "l = a;", kPresets));
    EXPECT_TRUE(reg("BC", 0xFFFF));
    EXPECT_TRUE(reg("DE", 0xFFF9));
}

TEST_F(AssignRun, AnInitialisedConstantIsReadWhereItLies)
{
    ASSERT_TRUE(compile_and_run("const int k = 41;\nint a;\na = k + 1;"));
    EXPECT_TRUE(holds("a", 42, 2));
}

// A compound operator that does nothing leaves the load and the store of a plain copy.
TEST_F(AssignRun, IdentitiesFoldToALoadAndAStore)
{
    ASSERT_TRUE(compile_and_run(std::string(kGlobals) + "a = a;", kPresets));
    const std::vector<uint8_t> copy = statement_code();
    for (const char *identity : {"a += 0;", "a *= 1;", "a -= 0;", "a /= 1;"}) {
        ASSERT_TRUE(compile_and_run(std::string(kGlobals) + identity, kPresets));
        EXPECT_EQ(statement_code(), copy) << identity;
        EXPECT_TRUE(holds("a", word(-7), 2)) << identity;
    }
}

// ---- structures ----------------------------------------------------------------------------------------

const char *const kStructures = "struct s { int x; char y; long z; };\n"
                                "struct t { int x; char y; long z; };\n"
                                "struct u { int x; };\n"
                                "struct s s1;\nstruct s s2;\nstruct t t1;\nstruct u u1;\nint a;\n";

TEST_F(AssignRun, AStructureIsCopiedWhole)
{
    ASSERT_TRUE(compile_and_run(std::string(kStructures) + "s1 = s2;"));
    // Every byte of s2 (laid in below) arrives in s1.
    preset.clear();
    for (uint16_t i = 0; i < 7; ++i)
        preset[static_cast<uint16_t>(address_of("s2") + i)] = static_cast<uint8_t>(0xA1 + i);
    run(addr_offset(*lines.first_code), 20000, vsim::Breakpoint{addr_offset(lines.code_end), -1});
    EXPECT_TRUE(memory(address_of("s1"), {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7}));
    EXPECT_TRUE(reg("SP", 0xE000));
    EXPECT_TRUE(messages().empty()) << messages_text();
}

TEST_F(AssignRun, AStructureIsCopiedThroughAPointer)
{
    ASSERT_TRUE(compile_and_run(std::string(kStructures) + "struct s *ps;\nps = &s1;\n*ps = s2;"));
    preset.clear();
    for (uint16_t i = 0; i < 7; ++i)
        preset[static_cast<uint16_t>(address_of("s2") + i)] = static_cast<uint8_t>(0xC1 + i);
    run(addr_offset(*lines.first_code), 20000, vsim::Breakpoint{addr_offset(lines.code_end), -1});
    EXPECT_TRUE(memory(address_of("s1"), {0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7}));
    EXPECT_TRUE(reg("SP", 0xE000));
}

TEST_F(AssignRun, AnotherTagOfEqualSizeIsCopiedAfterAWarning)
{
    compile(std::string(kStructures) + "t1 = s2;");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Can only assign struct to struct of the same type."});
    preset.clear();
    for (uint16_t i = 0; i < 7; ++i)
        preset[static_cast<uint16_t>(address_of("s2") + i)] = static_cast<uint8_t>(0xB1 + i);
    run(addr_offset(*lines.first_code), 20000, vsim::Breakpoint{addr_offset(lines.code_end), -1});
    EXPECT_TRUE(memory(address_of("t1"), {0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7}));
    EXPECT_TRUE(reg("SP", 0xE000));
}

// A structure against anything else it cannot be stored into: reported, nothing stored, and the
// stack as it was.
struct StructFault {
    const char *name;
    const char *statement;
    std::vector<std::string> messages;
};
const StructFault kStructFaults[] = {
    {"different_sizes",
     "u1 = s2;",
     {"Can only assign struct to struct of the same type.",
      "Invalid structure assignment, different sizes."}},
    {"structure_to_scalar",
     "a = s2;",
     {"Can only assign struct to struct of the same type.", "Operands and/or operator incompatible."}},
    {"scalar_to_structure",
     "s1 = a;",
     {"Can only assign struct to struct of the same type.", "Operands and/or operator incompatible."}},
    {"compound_through_a_pointer",
     "ps = &s1;\n*ps += s2;",
     {"Invalid type for '+' operator"}},
    {"into_initialised_structure",
     "cs = s2;",
     {"Assignment to read-only variable not allowed."}},
};

class AssignStructFaults : public AssignRun, public ::testing::WithParamInterface<StructFault> {};

TEST_P(AssignStructFaults, AreReportedAndStoreNothing)
{
    const StructFault &c = GetParam();
    compile(std::string(kStructures) + "const struct s cs = { 1, 2, 3 };\nstruct s *ps;\n" +
            c.statement + "\n" +
            "a = 1;\n");
    std::vector<std::string> expected = c.messages;
    std::sort(expected.begin(), expected.end());
    // Exactly these: no store of the wrong size is tried, and the stack adds up.
    EXPECT_EQ(summaries(), expected) << c.statement;
}
INSTANTIATE_TEST_SUITE_P(All, AssignStructFaults, ::testing::ValuesIn(kStructFaults),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- targets through pointers, subscripts and members ----------------------------------------------------

// buf lies between two guards of 0x55 bytes: a store changes exactly the bytes it names.
const char *const kIndirect = "struct m { char c; int v; long w; };\n"
                              "char lo[4];\nint buf[4];\nchar hi[4];\n"
                              "struct m rec;\nstruct m *ps;\nint *p;\nint i;\nint a;\nint x;\n"
                              "long *lp;\nchar *cp;\n";

struct IndirectCase {
    const char *name;
    const char *statements;
    std::vector<uint8_t> buf;  // buf's 8 bytes after the run
};
const IndirectCase kIndirects[] = {
    {"through_a_pointer", "p = buf + 1;\n*p = 5;", {0x55, 0x55, 5, 0, 0x55, 0x55, 0x55, 0x55}},
    {"subscript_of_a_pointer", "p = buf;\ni = 2;\np[i] = a;", {0x55, 0x55, 0x55, 0x55, 0x34, 0x12, 0x55, 0x55}},
    {"compound_subscript", "i = 3;\nbuf[i] += 2;", {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x57, 0x55}},
    {"char_through_a_pointer", "cp = buf;\ncp[1] = 300;", {0x55, 44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}},
    {"long_through_a_pointer", "lp = buf;\n*lp = a;", {0x34, 0x12, 0, 0, 0x55, 0x55, 0x55, 0x55}},
    {"compound_through_a_pointer", "p = buf;\n*p -= a;", {0x21, 0x43, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}},
    {"chain_through_pointers", "p = buf;\np[0] = p[3] = 7;", {7, 0, 0x55, 0x55, 0x55, 0x55, 7, 0}},
};

class AssignIndirect : public AssignRun, public ::testing::WithParamInterface<IndirectCase> {
protected:
    void lay_guards()
    {
        for (const char *name : {"lo", "hi"})
            for (uint16_t k = 0; k < 4; ++k)
                preset[static_cast<uint16_t>(address_of(name) + k)] = 0x55;
        for (uint16_t k = 0; k < 8; ++k)
            preset[static_cast<uint16_t>(address_of("buf") + k)] = 0x55;
        preset[address_of("a")] = 0x34;
        preset[static_cast<uint16_t>(address_of("a") + 1)] = 0x12;
    }
};

TEST_P(AssignIndirect, ChangesExactlyTheBytesNamed)
{
    const IndirectCase &c = GetParam();
    ASSERT_TRUE(compile_and_run(std::string(kIndirect) + c.statements)) << c.statements;
    lay_guards();
    run(addr_offset(*lines.first_code), 20000, vsim::Breakpoint{addr_offset(lines.code_end), -1});
    EXPECT_TRUE(memory(address_of("buf"), c.buf)) << c.statements;
    EXPECT_TRUE(memory(address_of("lo"), {0x55, 0x55, 0x55, 0x55}));
    EXPECT_TRUE(memory(address_of("hi"), {0x55, 0x55, 0x55, 0x55}));
    EXPECT_TRUE(reg("SP", 0xE000));
}
INSTANTIATE_TEST_SUITE_P(All, AssignIndirect, ::testing::ValuesIn(kIndirects),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(AssignRun, AMemberIsStoredThroughAStructurePointer)
{
    ASSERT_TRUE(compile_and_run(std::string(kIndirect) + "ps = &rec;\nps->v = 3;\nrec.w = a;\nrec.c = 9;",
                                {{"a", 0xFFFE, 2}}));
    EXPECT_TRUE(memory(address_of("rec"), {9, 3, 0, 0xFE, 0xFF, 0xFF, 0xFF}));
}

// As a statement the constant goes through HL into memory ("ld (hl), n"), never into a
// register pair; as an operand it is loaded and stays the assignment's value.
TEST_F(AssignRun, AConstantThroughAPointerIsStoredAsItIs)
{
    ASSERT_TRUE(compile_and_run(std::string(kIndirect) + "p = buf;\n*p = 5;"));
    const std::vector<uint8_t> code = statement_code();
    const std::vector<uint8_t> store_5 = {0x36, 0x05};
    EXPECT_NE(std::search(code.begin(), code.end(), store_5.begin(), store_5.end()), code.end());
    for (const uint8_t load : {0x01, 0x11, 0x21}) {
        const std::vector<uint8_t> pair_5 = {load, 0x05, 0x00};
        EXPECT_EQ(std::search(code.begin(), code.end(), pair_5.begin(), pair_5.end()), code.end())
            << "ld with 5, opcode " << int(load);
    }
    ASSERT_TRUE(compile_and_run(std::string(kIndirect) + "p = buf;\nx = (*p = 5) + 1;"));
    EXPECT_TRUE(holds("x", 6, 2));
    EXPECT_TRUE(holds("buf", 5, 2));
}

TEST_F(AssignRun, AVoidValueCannotBeAssigned)
{
    compile("int a;\na = (void)0;\n");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Cannot assign objects of type void."});
}

TEST_F(AssignRun, ACofunctionCannotBecomeAFunctionPointer)
{
    compile("int (*fp)();\nfunction cf 0x1000 1;\nfunction f 0x1100;\nfp = &cf;\nfp = &f;\n");
    EXPECT_EQ(summaries(), std::vector<std::string>{
                               "Cofunctions cannot be assigned to function pointers or accessed "
                               "indirectly."});
}

// ---- the run-time pointer check in a compile ----------------------------------------------------------

// With the run-time pointer checks (and debug code), the check stands before each store through a
// pointer; the table lies at 0x7000 (root code, physical 0x07000) and marks the pages written.
class AssignChecked : public AssignRun {
protected:
    static constexpr uint16_t kTable = 0x7000;
    StartUpLayout saved_layout;

    void SetUp() override
    {
        AssignRun::SetUp();
        saved_layout = start_up_layout();
        compiler_options().rtc_pointers = 1;
        lines.before_statements = [] {
            StartUpLayout layout = start_up_layout();
            layout.page_map = true;
            layout.page_map_address = make_addr(0, kTable);
            set_start_up_layout(layout);
        };
    }
    void TearDown() override
    {
        compiler_options().rtc_pointers = 0;
        set_pointer_checking(true);
        set_start_up_layout(saved_layout);
        AssignRun::TearDown();
    }
    // How many checks the statements hold: their first bytes "ex de, hl" "ld h, 0x70" "ld l, d".
    size_t checks() const
    {
        const std::vector<uint8_t> code = statement_code();
        const std::vector<uint8_t> head = {0xEB, 0x26, 0x70, 0x6A, 0xAF, 0xED, 0x6C, 0xFC, 0xEB};
        size_t n = 0;
        for (auto at = code.begin(); (at = std::search(at, code.end(), head.begin(), head.end())) != code.end(); ++at)
            ++n;
        return n;
    }
};

const char *const kChecked = "int buf[4];\nint *p;\nint a;\nint i;\n";

TEST_F(AssignChecked, GuardEveryStoreThroughAPointerAndNoNamedOne)
{
    ASSERT_EQ(compile(std::string(kChecked) + "p = buf;\na = 1;\n*p = 5;\ni = 1;\np[i] = a;\n*p += 2;\n"
                      "#asm\nbound_e::\n jr bound_e\n#endasm\n"),
              0) << messages_text();
    EXPECT_EQ(checks(), 3u);
}

TEST_F(AssignChecked, TheStoreLandsOnAWritablePageAndCallsBoundEOtherwise)
{
    const std::string program = std::string(kChecked) + "p = buf;\n*p = 5;\n";
    for (const bool writable : {true, false}) {
        ASSERT_EQ(compile(program + "#asm\n nop\nbound_e::\n jr bound_e\n#endasm\n"), 0)
            << messages_text();
        preset.clear();
        const uint16_t page = address_of("buf") >> 8;
        for (uint16_t k = 0; k < 256; ++k)
            preset[static_cast<uint16_t>(kTable + k)] = k == page && writable ? 1 : 0;
        const vsim::RunResult r = run(addr_offset(*lines.first_code), 20000,
                                      vsim::Breakpoint{addr_offset(lines.code_end), -1});
        EXPECT_EQ(r.reason == vsim::StopReason::breakpoint, writable);
        if (writable)
            EXPECT_TRUE(holds("buf", 5, 2));
        else
            EXPECT_TRUE(reg("PC", addr_offset(lines.code_end) + 1)) << "in bound_e, behind the nop";
    }
}

TEST_F(AssignChecked, SwitchedOffThereIsNone)
{
    set_pointer_checking(false);
    ASSERT_EQ(compile(std::string(kChecked) + "p = buf;\n*p = 5;\n"), 0) << messages_text();
    EXPECT_EQ(checks(), 0u);
    set_pointer_checking(true);
    compiler_options().rtc_pointers = 0;
    ASSERT_EQ(compile(std::string(kChecked) + "p = buf;\n*p = 5;\n"), 0) << messages_text();
    EXPECT_EQ(checks(), 0u);
}

// ---- type checks ------------------------------------------------------------------------------------------

const char *const kPointers = "int a;\nchar c;\nlong l;\nchar *cp;\nint *ip;\nint **ipp;\n"
                              "void *vp;\n";

struct TypeCase {
    const char *name;
    const char *statement;
    bool pointer_check;
    std::vector<std::string> messages;
};
const TypeCase kTypes[] = {
    {"int_to_char_pointer",
     "cp = a;",
     true,
     {"Type mismatch: incompatible types char* and int used in expression."}},
    {"int_to_int_pointer", "ip = a;", true, {"Type mismatch: assigning a value of type 'int' to 'int*'."}},
    {"pointer_level_mismatch",
     "ip = ipp;",
     true,
     {"Type mismatch: assigning a value of type 'int**' to 'int*'."}},
    {"pointer_level_mismatch_unchecked", "ip = ipp;", false, {}},
    {"char_pointer_to_void_pointer", "vp = cp;", true, {}},
    {"void_pointer_to_char_pointer", "cp = vp;", true, {}},
    {"long_to_char", "c = l;", true, {}},
    {"same_pointers", "ip = ip;", true, {}},
};

class AssignTypes : public AssignRun, public ::testing::WithParamInterface<TypeCase> {};

TEST_P(AssignTypes, ReportTheirMismatch)
{
    const TypeCase &c = GetParam();
    compiler_options().type_check.pointers = c.pointer_check ? 1 : 0;
    compile(std::string(kPointers) + c.statement);
    compiler_options().type_check.pointers = 0;
    EXPECT_EQ(summaries(), c.messages) << c.statement;
}
INSTANTIATE_TEST_SUITE_P(All, AssignTypes, ::testing::ValuesIn(kTypes),
                         [](const auto &i) { return std::string(i.param.name); });

struct ClassCase {
    const char *name;
    int32_t target_type, value_type;
    uint32_t target_word, value_word;
    int pointer_check;
    int expected;
};
// Words: 2 pointer, 1 array, 3 function, 0x22 pointer to pointer, 0x32 pointer to function.
const ClassCase kClasses[] = {
    {"array_and_pointer_match", 2, 2, 0x1, 0x2, 1, kAssignCompatible},
    {"const_flags_not_compared", 2, 2, 0x6, 0x2, 1, kAssignCompatible},
    {"deeper_value", 2, 2, 0x2, 0x22, 1, kAssignLevels},
    {"deeper_target", 2, 2, 0x22, 0x2, 1, kAssignLevels},
    {"function_against_pointer", 2, 2, 0x32, 0x22, 1, kAssignLevels},
    {"any_pointers_unchecked", 1, 4, 0x22, 0x2, 0, kAssignCompatible},
    {"void_object", 2, 12, 0, 0, 1, kAssignVoid},
    {"void_target", 12, 2, 0, 0, 1, kAssignVoid},
    {"scalars_convert", 1, 7, 0, 0, 1, kAssignCompatible},
    {"scalar_and_pointer", 1, 2, 0x2, 0, 1, kAssignScalarPointer},
    {"structure_and_scalar", 17, 2, 0, 0, 1, kAssignStructure},
    {"pointers_to_other_tags", 17, 18, 0x2, 0x2, 1, kAssignStructure},
    {"pointers_to_a_tag_and_void", 17, 12, 0x2, 0x2, 1, kAssignCompatible},
};

class AssignClasses : public ::testing::TestWithParam<ClassCase> {};

TEST_P(AssignClasses, FollowTheCompatibilityRules)
{
    const ClassCase &c = GetParam();
    const uint16_t saved = compiler_options().type_check.pointers;
    compiler_options().type_check.pointers = static_cast<uint16_t>(c.pointer_check);
    EXPECT_EQ(classify_assignment(c.target_type, c.value_type, c.target_word, c.value_word),
              c.expected);
    compiler_options().type_check.pointers = saved;
}
INSTANTIATE_TEST_SUITE_P(All, AssignClasses, ::testing::ValuesIn(kClasses),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- faults -------------------------------------------------------------------------------------------------

struct FaultCase {
    const char *name;
    const char *statement;
    std::vector<std::string> messages;
};
const FaultCase kFaults[] = {
    {"constant_target", "5 = a;", {"Invalid expression - need lvalue."}},
    {"sum_target", "(a + b) = 1;", {"Invalid expression - need lvalue."}},
    {"compound_constant_target", "3 += a;", {"Invalid expression - need lvalue."}},
    {"initialised_variable", "k = 2;", {"Assignment to read-only variable not allowed."}},
    {"initialised_variable_compound", "k += 2;", {"Assignment to read-only variable not allowed."}},
    {"value_missing", "a =;", {"Invalid expression."}},
    {"compound_value_missing", "a +=;", {"Invalid expression."}},
    {"target_missing", "= 5;", {"Invalid expression."}},
    {"operator_twice", "a = = b;", {"Invalid expression."}},
};

class AssignFaults : public AssignRun, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(AssignFaults, AreReportedAndTheNextLineIsRead)
{
    const FaultCase &c = GetParam();
    compile(std::string("int a;\nint b;\nconst int k = 1;\n") + c.statement + "\nint after;\n");
    std::vector<std::string> expected = c.messages;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(summaries(), expected) << c.statement;
    EXPECT_NE(find_symbol("after", false, kGlobalTable), nullptr);
}
INSTANTIATE_TEST_SUITE_P(All, AssignFaults, ::testing::ValuesIn(kFaults),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(AssignRun, AVariableInitialisedInItsDeclarationIsReadOnly)
{
    compile("int k = 1;\nk = 2;\n");
    EXPECT_EQ(summaries(),
              (std::vector<std::string>{
                  "Assignment to read-only variable not allowed.",
                  "Initialized variables are placed in flash as constants. Use keyword 'const' to "
                  "remove this warning."}));
}

TEST_F(AssignRun, ALongChainIsRefusedWithoutExhaustingTheStack)
{
    // 100,000 assignments on 100 lines.
    std::string chain;
    for (int line = 0; line < 100; ++line) {
        for (int i = 0; i < 1000; ++i)
            chain += "a = ";
        chain += "\n";
    }
    compile("int a;\n" + chain + "1;\nint after;\n");
    ASSERT_EQ(messages().size(), 1u) << messages_text();
    EXPECT_EQ(messages()[0].summary, "Too many assignments in a row.");
    EXPECT_NE(find_symbol("after", false, kGlobalTable), nullptr);
}

TEST_F(AssignRun, AChainWithinTheLimitRuns)
{
    std::string chain;
    for (int i = 0; i < 50; ++i)
        chain += "a = ";
    ASSERT_TRUE(compile_and_run("int a;\n" + chain + "9;"));
    EXPECT_TRUE(holds("a", 9, 2));
}

// ---- the run-time pointer check ---------------------------------------------------------------------

// The check as emitted before a store whose address is in HL, and what it does on the board:
// the write-permission table (one byte per 256-byte page) lies in root code at kTable.
class PointerCheck : public codegen_test::CodegenTest {
protected:
    static constexpr uint16_t kTable = 0x5000;
    static constexpr uint16_t kBoundE = 0x4800;
    StartUpLayout saved_layout;

    void SetUp() override
    {
        CodegenTest::SetUp();
        saved_layout = start_up_layout();
        place_table(make_addr(0, kTable));
        define_label("bound_e", make_addr(0, kBoundE), kLabelGlobal);
    }
    void TearDown() override
    {
        set_start_up_layout(saved_layout);
        CodegenTest::TearDown();
    }
    static void place_table(ADDR24 at)
    {
        StartUpLayout layout = start_up_layout();
        layout.page_map = true;
        layout.page_map_address = at;
        set_start_up_layout(layout);
    }
    // The table with `allowed` marked 1 (every other page 0) and "bound_e" as a loop on itself.
    void write_table(uint8_t allowed)
    {
        EmitCache &code = root_code_cache();
        const uint32_t saved = code.current;
        code.SetAddress(make_addr(0, kTable));
        for (int page = 0; page < 256; ++page)
            code.EmitByte(page == allowed ? 1 : 0);
        code.SetAddress(make_addr(0, kBoundE));
        code.EmitByte(0x18);  // jr $
        code.EmitByte(0xFE);
        code.SetAddress(saved);
    }
};

TEST_F(PointerCheck, EmitsTheTableTestBeforeTheStore)
{
    gen_pointer_check();
    ASSERT_EQ(lines().size(), 9u);
    const std::vector<std::string> head(lines().begin(), lines().begin() + 7);
    EXPECT_EQ(head, (std::vector<std::string>{"ex de, hl", "ld h, 80", "ld l, d", "xor a",
                                              "ldp hl, (hl)", "rr hl", "ex de, hl"}));
    EXPECT_EQ(lines()[7].rfind("jp c, KXLAB", 0), 0u) << lines()[7];
    EXPECT_EQ(lines()[8], "call bound_e");
    EXPECT_TRUE(summaries().empty()) << summaries().front();
}

struct TablePlace {
    const char *name;
    ADDR24 at;
    const char *high_line;
    const char *page_line;
};
const TablePlace kTablePlaces[] = {
    {"first_page", make_addr(0, 0x0000), "bool hl", "xor a"},
    {"root", make_addr(0, 0x7300), "ld h, 115", "xor a"},
    {"extended_memory", make_addr(0x72, 0xE100), "ld h, 1", "ld a, 8"},
};

class PointerCheckTable : public PointerCheck, public ::testing::WithParamInterface<TablePlace> {};

TEST_P(PointerCheckTable, AddressesThePhysicalTable)
{
    place_table(GetParam().at);
    gen_pointer_check();
    ASSERT_GE(lines().size(), 4u);
    EXPECT_EQ(lines()[1], GetParam().high_line);
    EXPECT_EQ(lines()[3], GetParam().page_line);
}
INSTANTIATE_TEST_SUITE_P(All, PointerCheckTable, ::testing::ValuesIn(kTablePlaces),
                         [](const auto &i) { return std::string(i.param.name); });

// Page 0x82 written (1) lets the store go on with its address in HL again; not written (0)
// calls "bound_e".
TEST_F(PointerCheck, PassesAWritablePageAndCallsBoundEOtherwise)
{
    const uint32_t start = here();
    outasm("ld hl, 0x8234");
    gen_pointer_check();
    const uint16_t stop = addr_offset(here());
    outasm("nop");
    for (const bool writable : {true, false}) {
        write_table(writable ? 0x82 : 0x81);
        const codegen_test::RunResult r = run(start, stop);
        EXPECT_EQ(r.stopped, writable);
        if (writable) {
            EXPECT_EQ(r.cpu.hl(), 0x8234);
            EXPECT_EQ(r.cpu.sp, codegen_test::kStackTop);
        } else {
            EXPECT_EQ(r.cpu.pc, kBoundE);
        }
    }
}

TEST_F(PointerCheck, TheZ180SetGetsNone)
{
    (void)select_target_cpu(0, 1);
    const uint32_t start = here();
    gen_pointer_check();
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(here(), start);
}

}  // namespace
