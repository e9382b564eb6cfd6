// Function definitions and statements through the real compile entry: the declaration parser
// hands function declarators to the function-definition compiler, bodies compile statement by
// statement, and a driver in "#asm" at the start of root code calls a function; the run stops
// when it returns. Counting is done by "#asm" stores into globals (`bump`).
#include <gtest/gtest.h>

#include "CompileRunFixture.h"
#include "OutputTestSupport.h"

#include "core/CC_ADDR.h"
#include "parser/CC_DECL.h"
#include "driver/CC_FIOZ8.h"
#include "driver/CC_INIT.h"
#include "core/CC_MOD.h"
#include "parser/CC_PARSE.h"
#include "core/CC_STAB.h"
#include "core/SEAM_DECL.h"
#include "core/guiExceptions.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace compile_run;

// Where the driver stops: it jumps there once the function returned (no code lies there).
constexpr uint16_t kDriverStop = 0x5F00;
// SP as a run begins.
constexpr uint16_t kStackTop = 0xE000;

// The globals every program declares in RAM: c, i, j, n and m.
const char *const kGlobals = "int c; int i; int j; int n; int m;\n";

// The driver: "jp 0x0051"; "init" (c, i, j, n and m set to 0, then the lines of `init`, each one
// instruction of 3 bytes); a "ret" at 0x0050, where the debug restart of statement hooks lands
// with IIR 0 (the stand-in has no debug kernel); at 0x0051 "call init", `call` (default "call f")
// and the jump to the stop.
std::string driver(const std::string &init, const std::string &call = " call f\n")
{
    std::string text = std::string(kGlobals) + "#asm\n jp 0x0051\ninit::\n ld hl, 0\n"
                       " ld (c), hl\n ld (i), hl\n ld (j), hl\n ld (n), hl\n ld (m), hl\n" +
                       init + " ret\n";
    const int lines = 6 + static_cast<int>(std::count(init.begin(), init.end(), '\n'));
    for (int at = 3 + 3 * lines + 1; at < 0x50; ++at)
        text += " nop\n";
    return text + " ret\n call init\n" + call + " jp " + std::to_string(kDriverStop) +
           "\n#endasm\n";
}

// One "#asm" step adding 1 to a global int.
std::string bump(const char *name)
{
    return std::string("\n#asm\n ld hl, (") + name + ")\n inc hl\n ld (" + name +
           "), hl\n#endasm\n";
}

// The init lines that set n (and m).
std::string set_n(int n, int m = 0)
{
    return " ld hl, " + std::to_string(n) + "\n ld (n), hl\n ld hl, " + std::to_string(m) +
           "\n ld (m), hl\n";
}

class Statements : public CompileRun {
protected:
    void SetUp() override
    {
        CompileRun::SetUp();
        set_declaration_seam(nullptr);
        install_function_parser();
        const std::string lib = std::string(KX_TEST_DATA) + "/../../TARGET/lib/";
        for (const char *name : {"RUNTIME.LIB", "INT16.LIB", "INT32.LIB"})
            add_library(name, output_test::read_text(lib + name));
    }
    void TearDown() override
    {
        IdePreferences().root_stubs = false;
        set_prototype_table_size(kDefaultPrototypeTableSize);
        CompileRun::TearDown();
    }

    static std::string header(bool debug)
    {
        return std::string(debug ? "" : "#nodebug\n") +
               "#use RUNTIME.LIB\n#use INT16.LIB\n#use INT32.LIB\n";
    }

    // A driver that calls the xmem entry stub, which follows it in root code at 0x0100.
    static std::string stub_driver()
    {
        std::string text = header(false) + kGlobals + "#asm\n call 0x0100\n jp " +
                           std::to_string(kDriverStop) + "\n";
        for (int at = 6; at < 0x100; ++at)
            text += " nop\n";
        return text + "#endasm\n";
    }

    // Compiles the program behind the driver and runs it; the call must return to the driver.
    ::testing::AssertionResult compile_and_call(const std::string &program, bool debug = false,
                                                const std::string &init = "",
                                                const std::string &call = " call f\n")
    {
        const uint16_t status = compile(header(debug) + driver(init, call) + program);
        if (status != 0)
            return ::testing::AssertionFailure() << "status " << status << "\n" << messages_text();
        const vsim::RunResult r = run(kRootCode, 400000, vsim::Breakpoint{kDriverStop, -1});
        if (r.reason != vsim::StopReason::breakpoint)
            return ::testing::AssertionFailure()
                   << "the call did not return (PC " << std::hex << cpu.pc << ")\n"
                   << messages_text() << dump();
        return ::testing::AssertionSuccess();
    }

    std::string dump()
    {
        std::string out;
        char buf[8];
        for (ADDR24 a = 0; a < 0x80; ++a) {
            std::snprintf(buf, sizeof buf, "%02X ", physical(a));
            out += buf;
            if ((a & 15) == 15)
                out += "\n";
        }
        return out;
    }

    // Compiles and returns the summaries of the messages.
    std::vector<std::string> compile_messages(const std::string &program)
    {
        (void)compile(header(false) + driver("") + program);
        std::vector<std::string> out;
        for (const Message &m : messages())
            out.push_back(m.summary);
        return out;
    }

    static const symbol *global(const char *name)
    {
        return find_symbol(name, false, kGlobalTable);
    }
};

// ---- a table of small programs ------------------------------------------------------------------

struct Program {
    const char *name;
    std::string text;
    std::string init;
    uint16_t result;  // what f returns
    bool result_in_c = false;  // f is void: the result is what it left in c
};

std::vector<Program> programs()
{
    return {
        {"ReturnConstant", "int f() { return 1234; }\n", "", 1234},
        {"ReturnComparisonTrue", "int f() { return n < 5; }\n", set_n(3), 1},
        {"ReturnComparisonFalse", "int f() { return n >= 5; }\n", set_n(3), 0},
        {"IfElseChainFirst",
         "int f() { if (n == 1) return 10; else if (n == 2) return 20; else return 30;\n"
         " return 0; }\n",
         set_n(1), 10},
        {"IfElseChainMiddle",
         "int f() { if (n == 1) return 10; else if (n == 2) return 20; else return 30;\n"
         " return 0; }\n",
         set_n(2), 20},
        {"IfElseChainLast",
         "int f() { if (n == 1) return 10; else if (n == 2) return 20; else return 30;\n"
         " return 0; }\n",
         set_n(7), 30},
        {"IfWithoutElse", "int f() { if (n) " + bump("c") + " return c; }\n", set_n(0), 0},
        {"While", "int f() { while (i < 5) {" + bump("i") + bump("c") + "} return c; }\n", "", 5},
        {"WhileNeverEntered", "int f() { while (n) {" + bump("c") + "} return c; }\n", "", 0},
        {"DoWhile", "int f() { do {" + bump("c") + "} while (c < 3); return c; }\n", "", 3},
        {"DoWhileRunsOnce", "int f() { do {" + bump("c") + "} while (0); return c; }\n", "", 1},
        {"ForWithEmptyParts",
         "int f() { for (;;) {" + bump("c") + " if (c == 4) break; } return c; }\n", "", 4},
        {"ForConditionOverLines",
         "int f() { for (;\n     i <\n     6;\n     i) {" + bump("i") + bump("c") +
             "} return c; }\n",
         "", 6},
        {"NestedLoopsBreakContinue",
         "int f() {\n while (i < 5) {" + bump("i") +
             " if (i == 3) continue;\n if (i == 5) break;\n"
             "#asm\n ld hl, 0\n ld (j), hl\n#endasm\n"
             " while (1) {" + bump("j") + " if (j == 2) break;" + bump("c") + "}\n"
             "}\n return c; }\n",
         "", 3},
        {"ContinueInSwitchInLoop",
         "int f() { while (i < 4) {" + bump("i") +
             " switch (i) { case 2: continue; default: break; }" + bump("c") +
             "} return c; }\n",
         "", 3},
        {"GotoBackwardAndForward",
         "int f() {\nagain:" + bump("c") + " if (c < 3) goto again;\n goto done;" + bump("c") +
             bump("c") + "done:\n return c; }\n",
         "", 3},
        {"SwitchFallsThrough",
         "int f() { switch (n) { case 1:" + bump("c") + " case 2:" + bump("c") +
             " break; case 3:" + bump("c") + " } return c; }\n",
         set_n(1), 2},
        {"SwitchBreaks",
         "int f() { switch (n) { case 1:" + bump("c") + " case 2:" + bump("c") +
             " break; case 3:" + bump("c") + " } return c; }\n",
         set_n(2), 1},
        {"SwitchNoMatchNoDefault",
         "int f() { switch (n) { case 1:" + bump("c") + " case 2:" + bump("c") +
             " break; } return c; }\n",
         set_n(9), 0},
        {"SwitchDefault",
         "int f() { switch (n) { case 1: return 10; default: return 30; case 2: return 20; }\n"
         " return 0; }\n",
         set_n(5), 30},
        {"SwitchWithoutCases", "int f() { switch (n) {" + bump("c") + "} return c; }\n",
         set_n(1), 0},
        {"NestedSwitchRepeatsOuterValues",
         "int f() { switch (n) { case 1: switch (m) { case 1: return 11; case 2: return 12; }\n"
         " return 10; case 2: return 20; } return 0; }\n",
         set_n(1, 2), 12},
        {"ImplicitReturnOfVoid", "void f() {" + bump("c") + "}\n", "", 1, true},
    };
}

class StatementPrograms : public Statements, public ::testing::WithParamInterface<Program> {};

TEST_P(StatementPrograms, RunWithoutAndWithDebugHooks)
{
    const Program &p = GetParam();
    for (bool debug : {false, true}) {
        ASSERT_TRUE(compile_and_call(p.text, debug, p.init)) << (debug ? "debug" : "nodebug");
        if (p.result_in_c) {
            const uint16_t c = addr_offset(global("c")->address[0]);
            EXPECT_TRUE(memory(c, {static_cast<uint8_t>(p.result), 0}));
        } else {
            EXPECT_TRUE(reg("HL", p.result)) << (debug ? "debug" : "nodebug");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, StatementPrograms, ::testing::ValuesIn(programs()),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- parameters and frames ----------------------------------------------------------------------------

// The driver pushes 2 and 40 (the first argument on top), calls f and drops them again.
TEST_F(Statements, ParametersAreReadAtTheirOffsetsWithAndWithoutAnIxFrame)
{
    for (const char *ix : {"", "useix "}) {
        const std::string program = std::string(ix) +
                                    "int f(int a, int b) { int k; if (a > b) return a - b; "
                                    "return b - a; }\n";
        ASSERT_TRUE(compile_and_call(program, false, "",
                                     " ld hl, 2\n push hl\n ld hl, 40\n push hl\n call f\n"
                                     " pop de\n pop de\n"))
            << ix;
        EXPECT_TRUE(reg("HL", 38)) << ix;
        EXPECT_TRUE(reg("SP", kStackTop)) << ix;
    }
}

struct FrameCase {
    const char *name;
    const char *prefix;
    bool root_stubs;
    int a, b;  // the offsets of "f:a" (parameter) and "f:b" (automatic)
};

const FrameCase kFrames[] = {
    {"Root", "root ", false, 4, 0},
    {"RootIx", "root useix ", false, 4, -2},
    {"Xmem", "xmem ", false, 7, 0},
    {"XmemIx", "xmem useix ", false, 7, -2},
    {"XmemRootStub", "xmem ", true, 5, 0},
    {"XmemRootStubIx", "xmem useix ", true, 5, -2},
};

class FrameOffsets : public Statements, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(FrameOffsets, LocalVariableRecordsCarryTheFrameOffsets)
{
    const FrameCase &c = GetParam();
    IdePreferences().root_stubs = c.root_stubs;
    ASSERT_EQ(compile(header(false) + std::string(c.prefix) +
                      "int f(int a) { int b; return a; }\n"),
              0)
        << messages_text();
    int found = 0;
    for (const LocalVariableRecord &r : local_variable_records()) {
        if (r.name == "f:a") {
            EXPECT_EQ(r.offset, c.a);
            ++found;
        } else if (r.name == "f:b") {
            EXPECT_EQ(r.offset, c.b);
            ++found;
        }
    }
    EXPECT_EQ(found, 2);
}

INSTANTIATE_TEST_SUITE_P(All, FrameOffsets, ::testing::ValuesIn(kFrames),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- prototypes ------------------------------------------------------------------------------------------

TEST_F(Statements, PrototypesRecordTheirParametersAndTerminator)
{
    ASSERT_EQ(compile(header(false) + "int g(void);\nint h(int, ...);\nint k(char *p, long q);\n"),
              0)
        << messages_text();
    const auto classes = [](const char *name) {
        std::vector<int> out;
        for (const PrototypeEntry &e : function_prototype(name))
            out.push_back(e.passing);
        return out;
    };
    EXPECT_EQ(classes("g"), (std::vector<int>{255}));
    EXPECT_EQ(classes("h"), (std::vector<int>{2, 254}));
    EXPECT_EQ(classes("k"), (std::vector<int>{2, 4, 255}));
}

struct Mismatch {
    const char *name;
    std::string program;
    std::string message;
};

class PrototypeMismatch : public Statements, public ::testing::WithParamInterface<Mismatch> {};

TEST_P(PrototypeMismatch, IsReportedAndLaterFunctionsStillCompile)
{
    const std::vector<std::string> got =
        compile_messages(GetParam().program + "int f() { return 77; }\n");
    EXPECT_NE(std::find(got.begin(), got.end(), GetParam().message), got.end())
        << messages_text();
    ASSERT_NE(global("f"), nullptr);
    EXPECT_NE(global("f")->address[0], kDummyAddress);
}

INSTANTIATE_TEST_SUITE_P(
    All, PrototypeMismatch,
    ::testing::Values(
        Mismatch{"ParameterType", "int g(int a);\nint g(long a) { return 0; }\n",
                 "Redefinition of parameter 1 different."},
        Mismatch{"MoreParameters", "int g(int a);\nint g(int a, int b) { return 0; }\n",
                 "Redefinition of function prototype different."},
        Mismatch{"FewerParameters", "int g(int a, int b);\nint g(int a) { return 0; }\n",
                 "Redefinition of function prototype different."},
        Mismatch{"XmemThenRoot", "xmem int g(void);\nroot int g(void) { return 1; }\n",
                 "Memmap prefix 'root' for function g does not match previous prototype "
                 "declaration."},
        Mismatch{"InvalidName", "int g(int if) { return 1; }\n", "Invalid argument name."}),
    [](const auto &i) { return std::string(i.param.name); });

// ---- xmem entry stubs -----------------------------------------------------------------------------------

TEST_F(Statements, AnXmemFunctionIsEnteredThroughItsRootStubAndReturnsToItsCaller)
{
    // The stub follows the driver in root code, at 0x0100; the driver calls it there.
    ASSERT_EQ(compile(stub_driver() + "xmem int f() { return 4321; }\n"), 0) << messages_text();
    const symbol *f = global("f");
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(addr_is_root(f->address[0]));
    EXPECT_EQ(addr_offset(f->address[1]), 0x100);
    EXPECT_EQ(sent_at(make_addr(0, 0x100), 5),
              (std::vector<uint8_t>{0xCF, static_cast<uint8_t>(addr_offset(f->address[0])),
                                    static_cast<uint8_t>(addr_offset(f->address[0]) >> 8),
                                    addr_xpc(f->address[0]), 0xC9}));
    const vsim::RunResult r = run(kRootCode, 100000, vsim::Breakpoint{kDriverStop, -1});
    ASSERT_EQ(r.reason, vsim::StopReason::breakpoint);
    EXPECT_TRUE(reg("HL", 4321));
    EXPECT_TRUE(reg("SP", kStackTop));
}

TEST_F(Statements, UnderTheRootStubOptionTheStubMovesTheReturnAddressAboveTheCallersXpc)
{
    IdePreferences().root_stubs = true;
    ASSERT_EQ(compile(stub_driver() + "xmem int f() { return 4321; }\n"), 0) << messages_text();
    const symbol *f = global("f");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(addr_offset(f->address[1]), 0x100);
    // pop de; ld a, xpc; ld h, a; push hl; inc sp; push de; then ljp to the function.
    const std::vector<uint8_t> stub = sent_at(make_addr(0, 0x100), 8);
    EXPECT_EQ(stub[0], 0xD1);  // pop de
    const vsim::RunResult r = run(kRootCode, 100000, vsim::Breakpoint{kDriverStop, -1});
    ASSERT_EQ(r.reason, vsim::StopReason::breakpoint);
    EXPECT_TRUE(reg("HL", 4321));
    EXPECT_TRUE(reg("SP", kStackTop));
}

// The empty statement leaves only its hook ("rst 0x28"); the label behind it is placed on the
// hook, so the goto enters it.
TEST_F(Statements, ALabelRightBehindADebugHookIsDefinedAtTheHook)
{
    ASSERT_TRUE(compile_and_call("int f() { goto lbl; " + bump("c") + " ; lbl: return 5; }\n", true));
    EXPECT_TRUE(reg("HL", 5));
    const ADDR24 start = global("f")->address[0];
    const std::vector<uint8_t> code = sent_at(start, 64);
    const auto jp = std::find(code.begin(), code.end(), 0xC3);
    ASSERT_NE(jp, code.end());
    const uint16_t target = static_cast<uint16_t>(jp[1] | jp[2] << 8);
    // The hook is "rst 0x28", after a "nop" when code came since the hook before it.
    const std::vector<uint8_t> hook = sent_at(make_addr(0, target), 2);
    EXPECT_TRUE(hook[0] == 0xEF || (hook[0] == 0x00 && hook[1] == 0xEF))
        << int(hook[0]) << " " << int(hook[1]);
}

TEST_F(Statements, AnInterruptFunctionStaysInRootThoughXmemIsAsked)
{
    ASSERT_EQ(compile(header(false) + "xmem interrupt void isr() { }\n"), 0) << messages_text();
    ASSERT_NE(global("isr"), nullptr);
    EXPECT_TRUE(addr_is_root(global("isr")->address[0]));
}

// Under "#precompile" every function compiled goes without debug code, and in xmem unless
// "root" was written; one named in the list that asked for debug code is warned about.
TEST_F(Statements, FunctionsCompiledWhilePrecompilingLoseDebugCodeAndGoToXmem)
{
    (void)compile(header(true) + driver("") +
                  "int f(void);\n#precompile f\nint f(void) { return 1; }\n"
                  "int h(void) { return 3; }\nroot int g(void) { return 2; }\n");
    const std::vector<std::string> got = [&] {
        std::vector<std::string> out;
        for (const Message &m : messages())
            out.push_back(m.summary);
        return out;
    }();
    EXPECT_EQ(std::count(got.begin(), got.end(), "Precompiling a function marked debug: f."), 1)
        << messages_text();
    EXPECT_EQ(std::count_if(got.begin(), got.end(),
                            [](const std::string &m) { return m.rfind("Precompiling", 0) == 0; }),
              1)
        << messages_text();
    for (const char *name : {"f", "h", "g"}) {
        ASSERT_NE(global(name), nullptr) << name;
        EXPECT_EQ(global(name)->precompile_mark, 1) << name;
        EXPECT_EQ(function_address(name), kDummyAddress) << name << ": no function record";
    }
    EXPECT_FALSE(addr_is_root(global("f")->address[0]));
    EXPECT_FALSE(addr_is_root(global("h")->address[0]));
    EXPECT_TRUE(addr_is_root(global("g")->address[0]));
}

TEST_F(Statements, EachDebugFunctionLeavesAFunctionRecordOverItsCode)
{
    ASSERT_EQ(compile(header(true) + driver("") + "int f() { return 1; }\nint g() { return 2; }\n"),
              0)
        << messages_text();
    for (const char *name : {"f", "g"}) {
        const ADDR24 start = function_address(name);
        ASSERT_NE(start, kDummyAddress) << name;
        EXPECT_EQ(start, global(name)->address[0]) << name;
        EXPECT_STREQ(function_name_at(addr_add(start, 2)), name);
    }
}

// Every body starts an entry of the start list in compile order, a "nodebug" one too, which
// leaves no function record: code inside it is its own function's, not the one before.
TEST_F(Statements, EveryFunctionBodyStartsAnEntryOfTheStartList)
{
    clear_function_starts();
    ASSERT_EQ(compile(header(true) + driver("") +
                      "int f() { return 1; }\nnodebug int g() { return 2; }\n"
                      "xmem int h() { return 3; }\n"),
              0)
        << messages_text();
    EXPECT_EQ(function_address("g"), kDummyAddress) << "no record for a nodebug function";
    const std::vector<ADDR24> &starts = function_starts();
    int previous = -1;
    for (const char *name : {"f", "g", "h"}) {
        ASSERT_NE(global(name), nullptr) << name;
        const ADDR24 start = global(name)->address[0];
        const auto it = std::find(starts.begin(), starts.end(), start);
        ASSERT_NE(it, starts.end()) << name << " is not in the start list";
        const int index = static_cast<int>(it - starts.begin());
        EXPECT_GT(index, previous) << name << ": compile order";
        EXPECT_EQ(function_start_index(addr_add(start, 1)), index) << name;
        previous = index;
    }
    EXPECT_FALSE(addr_is_root(global("h")->address[0]));
}

// ---- messages --------------------------------------------------------------------------------------------

struct Fault {
    const char *name;
    std::string program;
    std::string message;
};

std::string nested_loops(int depth)
{
    std::string text = "int f() {\n";
    for (int k = 0; k < depth; ++k)
        text += "while (n) {\n";
    for (int k = 0; k < depth; ++k)
        text += "}\n";
    return text + "return 0; }\n";
}

std::vector<Fault> faults()
{
    return {
        {"MisplacedCase", "int f() { case 1: return 0; }\n",
         "Misplaced case, no enclosing switch."},
        {"DuplicateCase", "int f() { switch (n) { case 1: case 1: break; } return 0; }\n",
         "Duplicate case statements are not allowed."},
        {"LongCase", "int f() { switch (n) { case 70000L: break; } return 0; }\n",
         "Need 2-byte or smaller constant value."},
        {"SecondDefault", "int f() { switch (n) { default: default: break; } return 0; }\n",
         "Only one default label allowed per switch statement."},
        {"TwentyLoops", nested_loops(20), "Internal limit: too many active whiles."},
        {"BadGoto", "int f() { goto 5; return 0; }\n", "Bad label in goto."},
        {"DoWithoutWhile", "int f() { do ; until (n); return 0; }\n",
         "while is missing/expected."},
        {"NoReturnValue", "int f() { }\n", "Function should return a value."},
        {"VoidReturnsValue", "void f() { return 1; }\n", "Function of type void returning a value."},
        {"ReturnsAPointerAsInt", "char *p;\nint f() { return p; }\n",
         "Returned object incompatible with prototype."},
        {"ReturnsAnotherStructure",
         "struct A { int x; } a;\nstruct B { int x; } b;\nstruct A f() { return b; }\n",
         "Returned object incompatible with prototype."},
        {"XmemAsm", "int f() {\n#asm xmem\n nop\n#endasm\n return 0; }\n",
         "Directive xmem ignored in #asm block."},
        {"BreakOutsideLoop", "int f() { break; return 0; }\n", "No active whiles."},
        {"ContinueInSwitchOutsideLoop", "int f() { switch (n) { case 1: continue; } return 0; }\n",
         "No active whiles."},
        {"GotoUndefinedLabel", "int f() { goto nowhere; return 0; }\nint g() { nowhere: return 1; }\n",
         "Undefined (but used) local symbol nowhere"},
        {"BodyOpenAtEnd", "int f() { return 0;\n", "A block is open at the end of the input."},
        {"ForHeaderOpenAtEnd", "int f() { for (; n\n", "A for statement is open at the end of the input."},
        {"SwitchOpenAtEnd", "int f() { switch (n) { case 1:\n", "A block is open at the end of the input."},
    };
}

class StatementFaults : public Statements, public ::testing::WithParamInterface<Fault> {};

TEST_P(StatementFaults, AreReported)
{
    const std::vector<std::string> got = compile_messages(GetParam().program);
    EXPECT_NE(std::find(got.begin(), got.end(), GetParam().message), got.end())
        << messages_text();
}

INSTANTIATE_TEST_SUITE_P(All, StatementFaults, ::testing::ValuesIn(faults()),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(Statements, ReturnedValuesThatConvertToThePrototypeAreQuiet)
{
    const std::string quiet = "Returned object incompatible with prototype.";
    const std::vector<std::string> got = compile_messages(
        "char *p;\nstruct A { int x; } a;\n"
        "int f() { char k; k = 1; return k; }\nlong g() { return 5; }\n"
        "char *h() { return p; }\nstruct A s() { return a; }\n");
    EXPECT_EQ(std::count(got.begin(), got.end(), quiet), 0) << messages_text();
    IdePreferences().function_prototypes = false;
    const std::vector<std::string> unchecked = compile_messages("char *q;\nint f() { return q; }\n");
    IdePreferences().function_prototypes = true;
    EXPECT_EQ(std::count(unchecked.begin(), unchecked.end(), quiet), 0) << messages_text();
}

// The caller reserved room for the declared structure only: a larger one returned in its place
// (with the warning) must not run over the caller's frame.
TEST_F(Statements, ALargerStructureReturnedFillsOnlyTheDeclaredOne)
{
    const std::string program =
        "struct Small { int x; };\nstruct Big { int a; int b; int c; int d; } big;\n"
        "struct Small s() { big.a = 5; big.b = 6; big.c = 7; big.d = 8; return big; }\n"
        "int f() { int guard; struct Small r; guard = 77; r = s(); return guard * 10 + r.x; }\n";
    (void)compile(header(false) + driver("") + program);
    ASSERT_EQ(messages().size(), 1u) << messages_text();
    EXPECT_EQ(messages()[0].summary, "Returned object incompatible with prototype.");
    const vsim::RunResult r = run(kRootCode, 400000, vsim::Breakpoint{kDriverStop, -1});
    ASSERT_EQ(r.reason, vsim::StopReason::breakpoint) << dump();
    EXPECT_TRUE(reg("HL", 775));
    EXPECT_TRUE(reg("SP", kStackTop));
}

TEST_F(Statements, AnErrorInAForIncrementIsReportedOnceAtItsOwnPosition)
{
    const std::string before = header(false) + driver("");
    const int line = static_cast<int>(std::count(before.begin(), before.end(), '\n')) + 3;
    (void)compile(before + "int f() {\n for (; i < 2;\n      i + ) {" + bump("i") +
                  "}\n return 0; }\n");
    ASSERT_EQ(messages().size(), 1u) << messages_text();
    EXPECT_EQ(messages()[0].line, line) << messages_text();
}

TEST_F(Statements, CStatementsInsideAnAsmBlockCompile)
{
    const std::string program = "int f() {\n#asm\nc  if (n == 1) return 11;\n#endasm\n"
                                " return 22; }\n";
    ASSERT_TRUE(compile_and_call(program, false, set_n(1)));
    EXPECT_TRUE(reg("HL", 11));
    ASSERT_TRUE(compile_and_call(program, false, set_n(0)));
    EXPECT_TRUE(reg("HL", 22));
}

TEST_F(Statements, TheCaseTableAndTheBreakListStopAtTheirLimits)
{
    std::string cases = "int f() { switch (n) {\n";
    for (int k = 0; k <= kMaxCases; ++k)
        cases += "case " + std::to_string(k) + ":\n";
    cases += "break; } return 0; }\n";
    std::vector<std::string> got = compile_messages(cases);
    EXPECT_EQ(std::count(got.begin(), got.end(), "Internal limit: Too many cases."), 1);

    std::string breaks = "int f() { while (n) {\n";
    for (int k = 0; k <= kMaxBreaks; ++k)
        breaks += "if (m) break;\n";
    breaks += "} return 0; }\n";
    got = compile_messages(breaks);
    EXPECT_EQ(std::count(got.begin(), got.end(),
                         "Internal limit: Too many breaks or continues."), 1);
}

TEST_F(Statements, AFullPrototypeAreaEndsTheCompile)
{
    set_prototype_table_size(4);
    EXPECT_THROW((void)compile(header(false) + "int g(int a, int b, int c, int d);\n"), xErr);
    EXPECT_NE(messages_text().find("Too many function prototypes, call Brantel."),
              std::string::npos)
        << messages_text();
}

// ---- jumps ----------------------------------------------------------------------------------------------

TEST_F(Statements, IfThenReturnElseReturnEmitsNoJumpOverTheElse)
{
    ASSERT_TRUE(compile_and_call(
        "int f() { if (n) return 1; else return 2; return 3; }\n", false, set_n(0)));
    EXPECT_TRUE(reg("HL", 2));
    // The then branch's return is the epilogue itself; the else branch and the last return jump
    // to it: two "jp" to the epilogue and no other unconditional jump.
    const ADDR24 start = global("f")->address[0];
    std::vector<uint8_t> code = sent_at(start, 64);
    int jumps = 0;
    for (std::size_t k = 0; k + 2 < code.size(); ++k)
        if (code[k] == 0xC3 && addr_offset(start) <= (code[k + 1] | code[k + 2] << 8) &&
            (code[k + 1] | code[k + 2] << 8) < addr_offset(start) + 64)
            ++jumps;
    EXPECT_EQ(jumps, 2);
}

// A do-while loop whose body is `pad` bytes longer closes with "jr" while its head lies in reach
// and with "jp" beyond; either way it runs three times.
struct Reach {
    int pad;
    int form;  // 1 "jr", 2 "jp", 0 either (around the limit)
};

class LoopReach : public Statements, public ::testing::WithParamInterface<Reach> {};

TEST_P(LoopReach, ClosesWithTheRightJumpAndRunsThreeTimes)
{
    const Reach &reach = GetParam();
    std::string body = "#asm\n";
    for (int k = 0; k < reach.pad; ++k)
        body += " nop\n";
    body += "#endasm\n";
    ASSERT_TRUE(compile_and_call("int f() { do {" + body + bump("c") + "} while (c < 3);\n"
                                 " return c; }\n"));
    EXPECT_TRUE(reg("HL", 3));
    // "return c" is "ld hl, (c)" and "ret": the loop's closing jump lies just before it.
    const uint16_t c = addr_offset(global("c")->address[0]);
    const std::vector<uint8_t> code = sent_at(global("f")->address[0], 400);
    std::size_t ret = 0;
    for (std::size_t k = 3; k + 3 < code.size() && !ret; ++k)
        if (code[k] == 0x2A && code[k + 1] == (c & 0xFF) && code[k + 2] == (c >> 8) &&
            code[k + 3] == 0xC9)
            ret = k;
    ASSERT_NE(ret, 0u);
    const bool relative = (code[ret - 2] & 0xE7) == 0x20;
    const bool absolute = (code[ret - 3] & 0xC7) == 0xC2;
    if (reach.form == 1)
        EXPECT_TRUE(relative) << reach.pad;
    else if (reach.form == 2)
        EXPECT_TRUE(absolute) << reach.pad;
    else
        EXPECT_TRUE(relative || absolute) << reach.pad;
}

INSTANTIATE_TEST_SUITE_P(BodySizes, LoopReach,
                         ::testing::Values(Reach{0, 1}, Reach{90, 1}, Reach{100, 0},
                                           Reach{105, 0}, Reach{110, 0}, Reach{115, 0},
                                           Reach{120, 2}, Reach{125, 2}, Reach{200, 2}),
                         [](const auto &i) { return "Pad" + std::to_string(i.param.pad); });

// A body long enough to carry the xmem code over the end of its page: the loop closes from the
// next page, where its head lies outside the window, and still runs three times.
TEST_F(Statements, ALoopClosingOnTheNextXmemPageReachesItsHead)
{
    std::string body = "#asm\n";
    for (int k = 0; k < 0x1000; ++k)
        body += " nop\n";
    body += "#endasm\n";
    ASSERT_TRUE(compile_and_call("xmem int g() { do {" + body + bump("c") + "} while (c < 3);\n"
                                 " return c; }\nint f() { return g(); }\n"));
    EXPECT_TRUE(reg("HL", 3));
    EXPECT_TRUE(reg("SP", kStackTop));
    EXPECT_NE(addr_xpc(global("g")->address[0]), addr_xpc(xmem_code_cache().current));
}

// ---- blocks with declarations --------------------------------------------------------------------------

// Each program runs with the frame addressed from SP and from IX, with and without debug hooks;
// the stack must be where the driver left it once f returned, however its blocks were left.
std::vector<Program> block_programs()
{
    const std::string returns_in_blocks =
        "int f() { { int t; t = 7; if (n) { char k[3]; k[1] = 9; return t + k[1]; } } return 1; }\n";
    const std::string switch_locals =
        "int f() { switch (n) { int t; case 1: t = 10; return t; default: t = 20; c = t; }\n"
        " return c + 1; }\n";
    return {
        {"BlockLocalsHoldValues",
         "int f() { int a; a = 5; { int t; t = a * 2; a = t + 1; } return a; }\n", "", 11},
        {"InnerNameHidesOuterUntilTheBlockEnds",
         "int f(void) { int x; x = 1; { int x; x = 50; c = x; } return x + c; }\n", "", 51},
        {"NestedBlocksOfMixedSizes",
         "struct rec { char tag; int count; };\n"
         "int f() { int a; a = 1; { int b; b = 2; { long l; struct rec r; int d;\n"
         " l = 70000; r.count = 4; d = b + a; a = d + (int)(l - 69930L) + r.count; }\n"
         " a = a + b; } return a; }\n",
         "", 79},
        {"BreakAndContinueLeaveTheLoopBody",
         "int f() { int s; s = 0; while (i < 6) { int t; t = i; i = i + 1;\n"
         " if (t == 1) continue; if (t == 4) break; s = s + t; } return s; }\n",
         "", 5},
        {"ForBodyWithALocal",
         "int f() { int s; s = 0; for (i = 0; i < 4; i = i + 1) { int sq; sq = i * i; s = s + sq; }\n"
         " return s; }\n",
         "", 14},
        {"ReturnFromInsideBlocks", returns_in_blocks, set_n(1), 16},
        {"ReturnAfterTheBlocks", returns_in_blocks, set_n(0), 1},
        {"GotoOutOfAndBackIntoBlocks",
         "int f() { int s; s = 0;\ntop: if (c < 3) { int t; t = 1; c = c + t; goto top; }\n"
         " { int t; t = 3;\nagain: s = s + t; if (s < 9) goto again; goto out; }\n"
         "out: return s + c; }\n",
         "", 12},
        {"GotoIntoABlock",
         "int f() { goto in; { int t; long l; t = 5; c = t;\nin: c = c + 1; } return c; }\n", "", 1},
        {"SwitchBodyDeclaresLocalsCaseTaken", switch_locals, set_n(1), 10},
        {"SwitchBodyDeclaresLocalsDefaultTaken", switch_locals, set_n(5), 21},
        {"BreakOutOfABlockInASwitchInALoop",
         "int f() { while (i < 3) { int t; t = i; i = i + 1;\n"
         " switch (t) { case 1: { int u; u = 5; c = c + u; break; } default: c = c + 1; } }\n"
         " return c; }\n",
         "", 7},
        {"StaticLocalOfABlockIsInitialised",
         "int f() { { static const int k = 5; c = k; } return c; }\n", "", 5},
    };
}

class BlockPrograms : public Statements, public ::testing::WithParamInterface<Program> {};

TEST_P(BlockPrograms, RunFromSpAndIxFramesWithAndWithoutDebugHooks)
{
    const Program &p = GetParam();
    for (const char *frame : {"", "useix "}) {
        for (bool debug : {false, true}) {
            const std::string where = std::string(frame) + (debug ? "debug" : "nodebug");
            std::string text = p.text;
            const std::size_t f = text.find("int f(");
            text.insert(f, frame);
            ASSERT_TRUE(compile_and_call(text, debug, p.init)) << where;
            EXPECT_TRUE(reg("HL", p.result)) << where;
            EXPECT_TRUE(reg("SP", kStackTop)) << where;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, BlockPrograms, ::testing::ValuesIn(block_programs()),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(Statements, BlockDeclarationsAreCheckedAsTheFunctionsOwn)
{
    const std::vector<std::string> got = compile_messages(
        "int f() { { auto int a = 1; } { int b = 2; } { int t; int t; } return 0; }\n");
    for (const char *message : {"Cannot initialize an auto variable.",
                                "Cannot initialize an auto variable: \"#class auto\" made it auto.",
                                "t previously defined."})
        EXPECT_EQ(std::count(got.begin(), got.end(), message), 1) << message << "\n"
                                                                  << messages_text();
}

// The function's automatics and its blocks' share one frame limit.
TEST_F(Statements, BlockAutomaticsPastTheFrameLimitAreLeftOutAndLaterFunctionsCompile)
{
    const std::vector<std::string> got = compile_messages(
        "int f() { char a[20000]; { char b[20000]; c = 1; } return 0; }\nint g() { return 1; }\n");
    EXPECT_EQ(std::count(got.begin(), got.end(),
                         "Local variables of a block are too large; together they cannot exceed "
                         "32767 bytes."),
              1)
        << messages_text();
    ASSERT_NE(global("g"), nullptr);
    EXPECT_NE(global("g")->address[0], kDummyAddress);
}

TEST_F(Statements, AGotoFromABlockToALabelNeverDefinedIsReportedByName)
{
    const std::vector<std::string> got =
        compile_messages("int f() { { int t; t = 1; goto nowhere; } return 0; }\n");
    EXPECT_EQ(std::count(got.begin(), got.end(), "Undefined (but used) local symbol nowhere"), 1)
        << messages_text();
}

// The debugger finds a block's variables from IX; from SP it could not tell how deep the
// blocks were when the program stopped, so there they get no record.
TEST_F(Statements, BlockVariablesAreRecordedForTheDebuggerOnlyInAnIxFrame)
{
    for (const char *frame : {"useix ", ""}) {
        ASSERT_EQ(compile(header(false) + frame +
                          "int f(int a) { int b; b = a; { int t; t = b; } return b; }\n"),
                  0)
            << messages_text();
        const auto &records = local_variable_records();
        const auto t = std::find_if(records.begin(), records.end(),
                                    [](const LocalVariableRecord &r) { return r.name == "f:t"; });
        if (*frame) {
            ASSERT_NE(t, records.end());
            EXPECT_EQ(t->offset, -4);
            EXPECT_TRUE(t->ix_frame);
        } else {
            EXPECT_EQ(t, records.end());
        }
    }
}

// ---- register variables ----------------------------------------------------------------------------------

// sum(k) keeps k + i in register variable ri, recurses and only then adds its register variables
// to what the deeper calls returned: each call must find its own values again, so the prologue
// saves them and the epilogue restores them. A static declared between them must not split
// their area (a block copy would then miss the last one).
// With `long_result` sum returns a long and adds 70000 at every level.
std::string recursive_sum(int registers, const std::string &prefix, bool long_result = false)
{
    const std::string type = long_result ? "long" : "int";
    std::string declarations, stores, total = long_result ? "t + 70000L" : "t";
    for (int i = 0; i < registers; ++i) {
        const std::string r = "r" + std::to_string(i);
        declarations += " register int " + r + ";" + (i == 0 ? " static int s;" : "");
        stores += " " + r + " = k + " + std::to_string(i) + ";";
        total += " + " + r;
    }
    return type + " sum(int k);\n" + type + " f() { return sum(n); }\n" + prefix + type +
           " sum(int k) {\n" + declarations + " " + type + " t;\n" + stores +
           " s = k;\n if (k > 0) t = sum(k - 1); else t = 0;\n return " + total + "; }\n";
}

struct RegisterCase {
    const char *name;
    int registers;  // 2-byte register variables: below 7 bytes pushed one by one, else one block
    bool long_result;
};

const RegisterCase kRegisterCases[] = {
    {"OneVariable", 1, false},
    {"ThreeVariablesPushed", 3, false},
    {"ThreeVariablesPushedLongResult", 3, true},
    {"FourVariablesCopiedAsABlock", 4, false},
    {"FourVariablesCopiedAsABlockLongResult", 4, true},
    {"FiveVariablesCopiedAsABlock", 5, false},
};

class RegisterVariables : public Statements, public ::testing::WithParamInterface<RegisterCase> {};

// sum(4) with n = 4: the sum over k = 0..4 and i of k + i. Every frame form: from SP, from IX,
// compiled for size (the frame routines, which copy the block themselves with an IX frame), and
// each with the debug hooks (the debug frame routines).
TEST_P(RegisterVariables, SurviveRecursionInEveryFrameForm)
{
    const RegisterCase &c = GetParam();
    const uint32_t expected = 10u * c.registers + 5u * c.registers * (c.registers - 1) / 2 +
                              (c.long_result ? 5u * 70000u : 0u);
    for (const char *frame : {"", "useix ", "size ", "size useix "}) {
        for (bool debug : {false, true}) {
            const std::string where = std::string(frame) + (debug ? "debug" : "nodebug");
            ASSERT_TRUE(compile_and_call(recursive_sum(c.registers, frame, c.long_result), debug,
                                         set_n(4), " ld ix, 0x1357\n call f\n"))
                << where;
            if (c.long_result) {
                EXPECT_TRUE(reg("BC", expected >> 16)) << where;
                EXPECT_TRUE(reg("DE", expected & 0xFFFF)) << where;
            } else {
                EXPECT_TRUE(reg("HL", expected)) << where;
            }
            EXPECT_TRUE(reg("SP", kStackTop)) << where;
            EXPECT_TRUE(reg("IX", 0x1357)) << where;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, RegisterVariables, ::testing::ValuesIn(kRegisterCases),
                         [](const auto &i) { return std::string(i.param.name); });

// A register variable of a nested block cannot be saved (the function's prologue lies behind
// it): it is an automatic there, which recursion leaves alone just the same.
TEST_F(Statements, RegisterVariablesOfANestedBlockAreAutomatics)
{
    const std::string program =
        "int sum(int k);\nint f() { return sum(n); }\n"
        "int sum(int k) { int t; { register int a; a = k; if (k > 0) t = sum(k - 1); else t = 0;\n"
        " t = t + a; } return t; }\n";
    for (const char *frame : {"", "useix "}) {
        std::string text = program;
        text.insert(text.find("int sum(int k) {"), frame);
        ASSERT_TRUE(compile_and_call(text, false, set_n(5))) << frame;
        EXPECT_TRUE(reg("HL", 15)) << frame;
        EXPECT_TRUE(reg("SP", kStackTop)) << frame;
    }
}

// ---- ports --------------------------------------------------------------------------------------------

// One byte a run leaves in an I/O space.
struct PortByte {
    vsim::IoSpace space;
    uint16_t port;
    uint8_t value;
};

struct PortRun {
    const char *name;
    std::string text;
    std::string init;
    uint16_t result;
    std::vector<PortByte> bytes;
    uint32_t ram;  // the physical RAM byte at the address of the last one, which it must not hold
};

constexpr auto kInternal = vsim::IoSpace::internal;
constexpr auto kExternal = vsim::IoSpace::external;

// Stores into ports and reads of them reach the I/O spaces, not memory at the same address
// (0xA000 up is RAM of the variable area, physical 0x82000 up). A constant index or a member
// offset moves the address, a variable index reaches the element through HL.
const PortRun kPortRuns[] = {
    {"Scalars",
     "ioi char port @ 0x30;\nioe int wide @ 0xA000;\n"
     "int f() { ioi char local @ 0x31; port = 0x5A; wide = 0x1234; local = port + 1;\n"
     " return local + wide; }\n",
     "", 0x5B + 0x1234,
     {{kInternal, 0x30, 0x5A}, {kInternal, 0x31, 0x5B}, {kExternal, 0xA000, 0x34},
      {kExternal, 0xA001, 0x12}},
     0x82001},
    {"ElementsAndMembers",
     "struct regs { char ctl; int data; };\nioe char bank[4] @ 0xA010;\n"
     "ioi struct regs dev @ 0x40;\n"
     "int f() { bank[2] = 7; bank[n] = 9; dev.data = 0x1234; dev.ctl = 1;\n"
     " return bank[n] + bank[2] + dev.data + dev.ctl; }\n",
     set_n(3), 9 + 7 + 0x1234 + 1,
     {{kInternal, 0x40, 1}, {kInternal, 0x41, 0x34}, {kInternal, 0x42, 0x12},
      {kExternal, 0xA012, 7}, {kExternal, 0xA013, 9}},
     0x82013},
};

class PortRuns : public Statements, public ::testing::WithParamInterface<PortRun> {};

TEST_P(PortRuns, ReadAndWriteTheirIoSpaces)
{
    const PortRun &p = GetParam();
    ASSERT_TRUE(compile_and_call(p.text, false, p.init));
    EXPECT_TRUE(reg("HL", p.result));
    for (const PortByte &b : p.bytes)
        EXPECT_EQ(board.io_read(b.space, b.port), b.value) << std::hex << b.port;
    EXPECT_NE(physical(p.ram), p.bytes.back().value);
}

INSTANTIATE_TEST_SUITE_P(All, PortRuns, ::testing::ValuesIn(kPortRuns),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(Statements, RegisterVariablesThatAreNotTwoBytesOrInitialisedAreReported)
{
    const std::vector<std::string> got = compile_messages(
        "int f() { register long l; register char ch; register int i = 5; int k; k = 1;\n"
        " return k; }\n");
    for (const char *message : {"Variable has 4 bytes, register only valid for 2 bytes.",
                                "Variable has 1 bytes, register only valid for 2 bytes.",
                                "Cannot initialize an auto variable."})
        EXPECT_EQ(std::count(got.begin(), got.end(), message), 1) << message << "\n"
                                                                  << messages_text();
    EXPECT_EQ(got.size(), 3u) << messages_text();
}

}  // namespace
