// Costatements, slices, waitfor, yield, abort, cofunctions and waitfordone compiled through the
// real compile entry with the runtime library (COSTATE.LIB) and run on the board stand-in: a
// driver in "#asm" runs "_GLOBAL_INIT" (the start-up table of the state blocks), then f, whose
// loop makes N passes over the constructs; the run stops when f returns, and the test reads the
// globals the constructs wrote. Also the text of the generated sequences and the diagnostics.
#include <gtest/gtest.h>

#include "DrivenRunFixture.h"

#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace compile_run;

class Costates : public DrivenRun {
protected:
    void SetUp() override
    {
        set_up_with({"RUNTIME.LIB", "INT16.LIB", "INT32.LIB", "COSTATE.LIB"});
    }

    // The globals every program has: a trace of what ran (`order`, written at `pos`) and a few
    // counters.
    std::string program_text(const std::string &program) const override
    {
        return "#nodebug\n#use RUNTIME.LIB\n#use INT16.LIB\n#use INT32.LIB\n#use COSTATE.LIB\n"
               "char order[32]; int pos; int c; int d; int n;\n"
               "#asm\n ld hl, 0\n ld (pos), hl\n ld (c), hl\n ld (d), hl\n ld (n), hl\n"
               " call _GLOBAL_INIT\n call f\n jp " +
               std::to_string(kDriverStop) +
               // A run-time error (the cofunction runtime's bad instance) spins here.
               "\nrterror_::\n jr rterror_\n#endasm\n" + program;
    }

    // The constructs' loops run longer than a plain call.
    ::testing::AssertionResult compile_and_call(const std::string &program)
    {
        return DrivenRun::compile_and_call(program, 4000000);
    }

    int global_int(const char *name)
    {
        const uint16_t at = global_address(name);
        return physical_word(at);
    }

    int physical_word(uint16_t logical)
    {
        // Root variables lie at 0x9000-0xBFFF, mapped as the fixture maps them.
        const uint32_t at = 0x81000u + (logical - 0x9000u);
        return board.peek(at) | (board.peek(at + 1) << 8);
    }

    std::vector<int> trace()
    {
        const uint16_t at = global_address("order");
        const int count = global_int("pos");
        std::vector<int> out;
        for (int i = 0; i < count && i < 32; ++i)
            out.push_back(board.peek(0x81000u + (at + i - 0x9000u)));
        return out;
    }

    // The records of the start-up table at `chain` as (address, status) pairs: the bytes behind
    // the call of funcblk_init up to the end mark.
    std::vector<std::pair<int, int>> init_table(ADDR24 chain) const
    {
        const std::vector<uint8_t> code = sent_at(chain, 64);
        std::vector<std::pair<int, int>> out;
        std::size_t at = 0;
        while (at < code.size() && code[at] != 0xCD)  // "call funcblk_init"
            ++at;
        for (at += 3; at + 3 <= code.size(); at += 3) {
            const int address = code[at] | (code[at + 1] << 8);
            if (address == 0 && code[at + 2] == 0)
                return out;
            out.push_back({address, code[at + 2]});
        }
        ADD_FAILURE() << "no end mark";
        return out;
    }

    std::vector<std::string> lines_from(const std::string &from) const
    {
        auto it = std::find_if(recorder.lines.begin(), recorder.lines.end(),
                               [&](const std::string &l) { return l.rfind(from, 0) == 0; });
        return {it, recorder.lines.end()};
    }
};

// ---- costatements that run -------------------------------------------------------------------------

struct RunCase {
    const char *name;
    std::string program;
    std::vector<int> order;  // the trace the constructs leave
    int c;                   // and the counter c
};
void PrintTo(const RunCase &c, std::ostream *os) { *os << c.name; }

// "mark(k)" appends k to the trace.
const std::string kMark = "void mark(int k) { order[pos] = k; pos++; }\n";

// A function of `count` costatements, each counting once per pass.
std::string many_costatements(int count)
{
    std::string body;
    for (int i = 0; i < count; ++i)
        body += " costate { c++; yield; }\n";
    return "void f() {\n" + body + "}\n";
}

std::vector<RunCase> run_cases()
{
    return {
        // Every block is set by the start-up table, however many there are: a block left out
        // would be entered at a resume point it never had.
        {"ManyCostatementsAreAllInTheStartUpTable", kMark + many_costatements(90), {}, 90},
        // A name declared without storage gets its block where the costatement is compiled;
        // the resume points are written at their offsets in that block.
        {"NameDeclaredExternGetsItsBlock",
         kMark + "extern FuncBlk w;\nvoid f() { int k; for (k = 0; k < 5; k++) { costate w "
                 "init_on { c++; yield; mark(c); } } }\n",
         {1}, 1},
        {"YieldAndWaitforInterleave",
         kMark + "void f() { int k; for (k = 0; k < 4; k++) {\n"
                 " costate { mark(1); yield; mark(2); }\n"
                 " costate { mark(3); waitfor(c >= 2); mark(4); }\n"
                 " c++; } }\n",
         {1, 3, 2, 1, 4, 2, 3, 4}, 4},
        {"UnnamedRestartsAfterItsEnd",
         kMark + "void f() { int k; for (k = 0; k < 5; k++) { costate { c++; yield; mark(c); } } }\n",
         {1, 2}, 3},
        {"NamedStaysStoppedWithoutOption",
         kMark + "void f() { int k; for (k = 0; k < 5; k++) { costate w { c++; } } }\n", {}, 0},
        {"InitOnRunsOnceThenStops",
         kMark + "void f() { int k; for (k = 0; k < 5; k++) { costate w init_on { c++; yield; "
                 "mark(c); } } }\n",
         {1}, 1},
        {"AlwaysOnRestartsLikeAnUnnamedOne",
         kMark + "void f() { int k; for (k = 0; k < 4; k++) { costate w always_on { c++; yield; "
                 "mark(c); } } }\n",
         {1, 2}, 2},
        {"AbortOfAnUnnamedOneRestartsIt",
         kMark + "void f() { int k; for (k = 0; k < 3; k++) { costate { c++; abort; c += 100; } } }\n",
         {}, 3},
        {"AbortOfANamedOneStopsIt",
         kMark + "void f() { int k; for (k = 0; k < 4; k++) { costate w init_on { c++; yield; "
                 "abort; c += 100; } } }\n",
         {}, 1},
        // A suspended costatement resumes at the function's own stack depth: a block's
        // automatics kept across a yield or waitfor, and the function's own beside them.
        {"BlockAutomaticsAcrossAYield",
         kMark + "void f() { int k; int guard; guard = 77; for (k = 0; k < 4; k++) { costate "
                 "{ { int u; long v; u = 5; v = 70000L; yield; { char w; w = 3; waitfor(k >= 1); "
                 "mark(u + w); mark(v == 70000L); } } mark(guard); } } }\n",
         {8, 1, 77, 8, 1, 77}, 0},
        {"WaitforResumesAtItsCondition",
         kMark + "void f() { int k; for (k = 0; k < 6; k++) { costate { waitfor(n == 3); "
                 "mark(k); n = 0; } n++; } }\n",
         {3}, 0},
        {"NestedCostatementsKeepTheirOwnPoints",
         kMark + "void f() { int k; for (k = 0; k < 4; k++) { costate { mark(1); "
                 "costate { mark(2); yield; mark(3); } yield; mark(4); } } }\n",
         {1, 2, 4, 1, 3, 4}, 0},
        {"CostatementInAnXmemFunction",
         kMark + "xmem void f() { int k; for (k = 0; k < 4; k++) {\n"
                 " costate { mark(1); yield; mark(2); } c++; } }\n",
         {1, 2, 1, 2}, 4},
        // Slices run cooperatively: each pass goes on where the last one left the body.
        {"SliceRunsItsBodyWithYieldAndWaitfor",
         kMark + "void f() { int k; for (k = 0; k < 4; k++) {\n"
                 " slice(40, 10) { mark(1); yield; mark(2); waitfor(c >= 3); mark(3); }\n"
                 " c++; } }\n",
         {1, 2, 3}, 4},
        {"SliceInAStaticBufferRestartsAfterItsEnd",
         kMark + "char buf[64];\nvoid f() { int k; for (k = 0; k < 5; k++) {\n"
                 " slice(buf, sizeof(buf), 5) { c++; yield; mark(c); } } }\n",
         {1, 2}, 3},
        {"SliceAbortRunsItFromTheTopNextTime",
         kMark + "void f() { int k; for (k = 0; k < 3; k++) { slice(30, 1) { c++; abort; "
                 "c += 100; } } }\n",
         {}, 3},
        {"SliceBodyReadsTheFunctionsAutomatics",
         kMark + "void f() { int k; int t; t = 0; for (k = 0; k < 4; k++) {\n"
                 " slice(30, k + 1) { t += k; mark(t); yield; mark(k); } } }\n",
         {0, 1, 2, 3}, 0},
        {"BreakOutOfASliceReleasesItsWords",
         kMark + "void f() { int k; for (k = 0; k < 3; k++) { slice(30, 1) { c++; "
                 "if (c == 2) break; mark(c); } } mark(9); }\n",
         {1, 9}, 2},
        {"SliceYieldInsideANestedBlock",
         kMark + "void f() { int k; for (k = 0; k < 4; k++) { slice(30, 1) {\n"
                 " { int x; x = k; mark(x); yield; mark(7); } c++; } } }\n",
         {0, 7, 2, 7}, 2},
        {"SliceInAnXmemFunction",
         kMark + "xmem void f() { int k; for (k = 0; k < 4; k++) {\n"
                 " slice(30, 1) { mark(1); yield; mark(2); } c++; } }\n",
         {1, 2, 1, 2}, 4},
        {"SliceInsideACostatement",
         kMark + "void f() { int k; for (k = 0; k < 4; k++) { costate { mark(1); "
                 "slice(30, 1) { mark(2); yield; mark(3); } yield; mark(4); } } }\n",
         {1, 2, 4, 1, 3, 4}, 0},
    };
}

class CostatePrograms : public Costates, public ::testing::WithParamInterface<RunCase> {};

TEST_P(CostatePrograms, Run)
{
    const RunCase &p = GetParam();
    ASSERT_TRUE(compile_and_call(p.program)) << p.program;
    EXPECT_EQ(trace(), p.order) << p.program;
    EXPECT_EQ(global_int("c"), p.c);
}

INSTANTIATE_TEST_SUITE_P(All, CostatePrograms, ::testing::ValuesIn(run_cases()),
                         [](const auto &i) { return std::string(i.param.name); });

// Costatements nested as deep as statements may be open (each costatement is two levels, the
// statement and its block): in f's loop, 126 of them and a block at the innermost fill the 256
// levels, and compile and run on the board stand-in, each pass running every body through;
// one level more is refused with the limit's message, before the parser descends further.
std::string nested_costatements(int costatements, int blocks)
{
    std::string body = std::string(blocks, '{') + "c++;" + std::string(blocks, '}');
    std::string text = "void f() { int k; for (k = 0; k < 3; k++) {\n";
    for (int i = 0; i < costatements; ++i)
        text += "costate {\n";
    text += body + "\n";
    for (int i = 0; i < costatements; ++i)
        text += "}\n";
    return text + "} }\n";
}

TEST_F(Costates, NestedToTheStatementLimitTheyRun)
{
    ASSERT_TRUE(compile_and_call(nested_costatements(126, 1))) << messages_text();
    EXPECT_EQ(global_int("c"), 3);
}

TEST_F(Costates, NestedPastTheStatementLimitTheyAreRefused)
{
    for (const auto &[costatements, blocks] : {std::pair{126, 2}, std::pair{127, 0}}) {
        EXPECT_NE(compile(program_text(nested_costatements(costatements, blocks))), 0);
        std::vector<std::string> out;
        for (const Message &m : messages())
            out.push_back(m.summary);
        ASSERT_FALSE(out.empty()) << costatements;
        EXPECT_NE(out[0].find("Statements nested too deep."), std::string::npos)
            << costatements << " costatements: " << out[0];
    }
}

// ---- the start-up table and the generated text --------------------------------------------------

TEST_F(Costates, StartUpTableListsTheBlocksLastToFirst)
{
    ASSERT_EQ(compile(program_text("void f() { costate { c++; } costate a { c++; }\n"
                                   " costate b init_on { c++; } costate e always_on { c++; } }\n")),
              0)
        << messages_text();
    const symbol *chain = find_symbol("_GLOBAL_INIT", false, kGlobalTable);
    ASSERT_NE(chain, nullptr);
    const std::vector<std::pair<int, int>> table = init_table(chain->address[0]);
    ASSERT_EQ(table.size(), 4u);
    // Named ones are variables at their blocks; the unnamed one's block lies next to the first.
    EXPECT_EQ(table[0], std::make_pair(int(global_address("e")), 2));
    EXPECT_EQ(table[1], std::make_pair(int(global_address("b")), 2));
    EXPECT_EQ(table[2], std::make_pair(int(global_address("a")), 3));
    EXPECT_EQ(table[3].second, 2);
    EXPECT_EQ(table[3].first, global_address("a") + 13);
}

TEST_F(Costates, StartUpTableLiesInConstantDataUnderSeparateSpaces)
{
    compiler_options().separate_id = 1;
    set_separate_instruction_data(true);
    struct Restore {
        ~Restore()
        {
            compiler_options().separate_id = 0;
            set_separate_instruction_data(false);
        }
    } restore;
    // What the board set-up announces to every compile of the separate spaces.
    ASSERT_TRUE(compile_and_call("#define __SEPARATE_INST_DATA__ 1\n" + kMark +
                                 "void f() { int k; for (k = 0; k < 4; k++) {\n"
                                         " costate { mark(1); yield; mark(2); }\n"
                                         " costate w init_on { mark(3); } c++; } }\n"));
    EXPECT_EQ(trace(), (std::vector<int>{1, 3, 2, 1, 2}));
    // "ld hl, table" and the call; nothing of the table in the code behind it.
    const symbol *chain = find_symbol("_GLOBAL_INIT", false, kGlobalTable);
    ASSERT_NE(chain, nullptr);
    const std::vector<uint8_t> code = sent_at(chain->address[0], 16);
    const auto at = std::find(code.begin(), code.end(), uint8_t(0x21));  // ld hl, nn
    ASSERT_NE(at, code.end()) << ::testing::PrintToString(code);
    ASSERT_LT(at + 6, code.end());
    EXPECT_EQ(at[3], 0xCD);  // call funcblk_init
    EXPECT_EQ(at[6], 0xF1);  // the chain's "pop af" follows at once
    const uint16_t table = static_cast<uint16_t>(at[1] | (at[2] << 8));
    EXPECT_GE(table, kConstants);
    EXPECT_LT(table, kConstants + kConstantsSize);
    const std::vector<uint8_t> bytes = sent_at(make_addr(0, table), 9);
    const uint16_t w = global_address("w");
    EXPECT_EQ(bytes, (std::vector<uint8_t>{uint8_t(w & 0xFF), uint8_t(w >> 8), 2,
                                           uint8_t((w + 13) & 0xFF), uint8_t((w + 13) >> 8), 2,
                                           0, 0, 0}));
}

// The library declares the two chains of single-user cofunctions: a program calls them with or
// without members; members run at each call.
TEST_F(Costates, LoopChainsComeFromTheLibraryAndRunTheirMembers)
{
    const std::string calls = "void f() {\n#asm\n call _loopinit\n call _loophead\n"
                              " call _loophead\n#endasm\n}\n";
    ASSERT_TRUE(compile_and_call(calls));
    EXPECT_EQ(global_int("c"), 0);
    ASSERT_TRUE(compile_and_call("void g() { c += 1; }\nvoid h() { c += 10; }\n"
                                 "#funcchain _loophead g\n#funcchain _loopinit h\n" +
                                 calls));
    EXPECT_EQ(global_int("c"), 12);
}

// Entry: the block's address, "call funcblk_entry", "jp z" to the end; exit: the address,
// "ld b, 3" for a named costatement without option (2 otherwise) and "call funcblk_exit", the
// entry jump landing right behind it.
TEST_F(Costates, EntryAndExitBytes)
{
    ASSERT_EQ(compile(program_text("void f() { costate w { c++; } costate v always_on { c++; } "
                                   "costate { c++; } }\n")),
              0)
        << messages_text();
    const symbol *f = find_symbol("f", false, kGlobalTable);
    ASSERT_NE(f, nullptr);
    const std::vector<uint8_t> code = sent_at(f->address[0], 256);
    const uint16_t start = addr_offset(f->address[0]);
    const uint16_t unnamed = global_address("v") - 13;
    for (const auto &[block, status] : std::vector<std::pair<uint16_t, uint8_t>>{
             {global_address("w"), 3}, {global_address("v"), 2}, {unnamed, 2}}) {
        const uint8_t lo = block & 0xFF, hi = block >> 8;
        const std::vector<uint8_t> entry = {0x21, lo, hi, 0xCD};
        const std::vector<uint8_t> exit = {0x21, lo, hi, 0x06, status, 0xCD};
        const auto in = std::search(code.begin(), code.end(), entry.begin(), entry.end());
        const auto out = std::search(code.begin(), code.end(), exit.begin(), exit.end());
        ASSERT_NE(in, code.end()) << block;
        ASSERT_NE(out, code.end()) << block;
        const auto jump = std::find(in + 6, in + 8, 0xCA);  // jp z, behind the call
        ASSERT_NE(jump, in + 8) << ::testing::PrintToString(code);
        const long call_size = jump - (in + 3);
        const uint16_t target = static_cast<uint16_t>(jump[1] | (jump[2] << 8));
        EXPECT_EQ(target, start + (out - code.begin()) + 5 + call_size) << block;
    }
}

TEST_F(Costates, EntryExitAndYieldText)
{
    ASSERT_EQ(compile(program_text("void f() { costate w always_on { yield; abort; } "
                                   "costate v { waitfor(c); } }\n")),
              0)
        << messages_text();
    const uint16_t w = global_address("w");
    const std::vector<std::string> &l = recorder.lines;
    // The last store of the yield holds the real resume point: address, page and check byte.
    const std::string low = "ld (" + std::to_string(w + 1) + "), hl";
    const std::string high = "ld (" + std::to_string(w + 3) + "), hl";
    auto it = std::find(l.rbegin(), l.rend(), high);
    ASSERT_NE(it, l.rend()) << ::testing::PrintToString(l);
    const int page_check = std::stoi((it + 1)->substr(7));
    auto it2 = std::find(it, l.rend(), low);
    ASSERT_NE(it2, l.rend());
    const int resume = std::stoi((it2 + 1)->substr(7));
    EXPECT_EQ(page_check >> 8, (resume & 0xFF) ^ (resume >> 8) ^ (page_check & 0xFF));
    for (const char *line : {"jp fbb0001", "jp fba0001", "jp fbb0002"})
        EXPECT_NE(std::find(l.begin(), l.end(), line), l.end()) << line;
    // The waitfor byte goes with the waitfor's resume point only.
    const uint16_t v = global_address("v");
    EXPECT_NE(std::find(l.begin(), l.end(), "ld (" + std::to_string(v + 5) + "), a"), l.end());
    EXPECT_EQ(std::find(l.begin(), l.end(), "ld (" + std::to_string(w + 5) + "), a"), l.end());
}

// A single-user cofunction's loop-head segment hands the runtime its instance, its abandon
// block's address and page and its state block (the instance + parameter bytes + 6); its
// loop-init segment marks the byte before that block free. Both end in "ret".
TEST_F(Costates, SingleUserChainSegmentsText)
{
    ASSERT_EQ(compile(program_text("scofunc int s(int a) { abandon { c++; } yield; return a; }\n"
                                   "void f() { }\n")),
              0)
        << messages_text();
    const std::vector<std::string> &l = recorder.lines;
    const auto at = std::find(l.begin(), l.end(), "lcall __scofabandon");
    ASSERT_NE(at, l.end()) << ::testing::PrintToString(l);
    const auto i = static_cast<std::size_t>(at - l.begin());
    ASSERT_GE(i, 8u);
    ASSERT_LT(i + 7, l.size());
    std::vector<int> pushed;
    for (std::size_t k = i - 8; k < i; k += 2) {
        ASSERT_EQ(l[k].rfind("ld hl, ", 0), 0u) << l[k];
        EXPECT_EQ(l[k + 1], "push hl");
        pushed.push_back(std::stoi(l[k].substr(7)));
    }
    const int instance = pushed[0], abandon = pushed[1], page = pushed[2], state = pushed[3];
    EXPECT_EQ(state, instance + 2 + 6);
    EXPECT_NE(abandon, 0);
    EXPECT_EQ(page, 0);  // abandon blocks lie in root code
    const std::vector<std::string> tail = {"add sp, 8", "ret", "ld hl, " + std::to_string(state),
                                           "dec hl", "ld (hl), 0xff", "ret"};
    EXPECT_EQ(std::vector<std::string>(at + 1, at + 7), tail);
}

// ---- diagnostics -------------------------------------------------------------------------------------

struct MessageCase {
    const char *name;
    std::string program;
    std::string message;
    bool with_library = true;
};
void PrintTo(const MessageCase &c, std::ostream *os) { *os << c.name; }

std::vector<MessageCase> message_cases()
{
    const std::string no = "No enclosing costate, construct ";
    return {
        {"WaitforOutside", "void f() { waitfor(c); }\n", no + "waitfor not valid."},
        {"YieldOutside", "void f() { yield; }\n", no + "yield not valid."},
        {"AbortOutside", "void f() { abort; }\n", no + "abort not valid."},
        {"ReservedWordAsName", "void f() { costate always_on { c++; } }\n",
         "Invalid costate name (\"init_on\" and \"always_on\" are reserved words)."},
        {"NameOfAnotherType", "int x;\nvoid f() { costate x { c++; } }\n",
         "x is not of type FuncBlk."},
        {"ArrayElementName", "FuncBlk arr[2];\nvoid f() { costate arr[1] { c++; } }\n",
         "Variable: arr is invalid for costate name. "},
        {"FunctionAsName", "int g();\nvoid f() { costate g { c++; } }\n",
         "g should be a variable of type FuncBlk."},
        {"UnknownOption", "void f() { costate w sometimes { c++; } }\n",
         "Unknown symbol sometimes."},
        {"LocalBlock", "void f() { FuncBlk w; costate w { c++; } }\n", "FuncBlk w cannot be local."},
        {"NoFuncBlkType", "void f() { costate { c++; } }\n",
         "CoData type not defined, cannot use named costate.", false},
        {"IncompleteFuncBlkType",
         "struct S;\ntypedef struct S FuncBlk;\nvoid f() { costate { c++; } }\n",
         "CoData type not defined, cannot use named costate.", false},
        {"SliceSizeNotAConstant", "void f() { slice(n, 5) { c++; } }\n",
         "Buffer size must be a constant integer."},
        {"SliceBufferSizeNotAConstant", "char buf[40];\nvoid f() { slice(buf, n, 5) { c++; } }\n",
         "Buffer size must be a constant integer."},
        {"SliceBufferTooSmallForItsBlock", "void f() { slice(18, 5) { c++; yield; } }\n",
         "The slice context buffer of 18 bytes cannot hold its state block: it needs at least 19 "
         "bytes."},
        {"SliceArraySmallerThanItsGivenSize",
         "char buf[10];\nvoid f() { slice(buf, 40, 5) { c++; } }\n",
         "The slice context buffer of 10 bytes cannot hold its state block: it needs at least 19 "
         "bytes."},
        {"SliceBufferOnTheStack", "void f() { char b[40]; slice(b, 40, 5) { c++; } }\n",
         "The slice context buffer must be statically allocated."},
        {"SliceWithoutParenthesis", "void f() { slice 40, 5 { c++; } }\n", "Expecting '('."},
        {"SliceWithoutComma", "void f() { slice(40 5) { c++; } }\n", "Expecting ','."},
        {"SliceWithoutCloseParenthesis", "void f() { slice(40, 5 { c++; } }\n", "')' expected."},
    };
}

class CostateMessages : public Costates, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(CostateMessages, AreReported)
{
    const MessageCase &p = GetParam();
    std::string text = program_text(p.program);
    if (!p.with_library) {
        const std::string use = "#use COSTATE.LIB\n";
        text.erase(text.find(use), use.size());
    }
    (void)compile(text);
    std::vector<std::string> out;
    for (const Message &m : messages())
        out.push_back(m.summary);
    EXPECT_EQ(out, std::vector<std::string>{p.message});
}

INSTANTIATE_TEST_SUITE_P(All, CostateMessages, ::testing::ValuesIn(message_cases()),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- cofunctions and waitfordone ----------------------------------------------------------------------

std::vector<RunCase> cofunction_cases()
{
    // Each program's costatements run in f's loop of N passes; "mark" traces what they saw.
    const auto loop = [](int passes, const std::string &body) {
        return "void f() { int k; for (k = 0; k < " + std::to_string(passes) + "; k++) { " + body +
               " } }\n";
    };
    const std::string twice = "cofunc int twice(int a) { yield; return a * 2; }\n";
    return {
        {"WaitfordoneAssignsTheResult",
         kMark + twice + loop(5, "costate { d = waitfordone { n = twice(21); } mark(n); mark(d); }"),
         {42, 1, 42, 1}, 0},
        {"WaitfordoneOfOneCallWithoutBraces",
         kMark + twice + loop(3, "costate { c = waitfordone twice(4); mark(c); }"), {1}, 1},
        {"AbortedCofunctionGivesANegativeValue",
         kMark + "cofunc int stop(int a) { n = a; abort; return 1; }\n" +
             loop(2, "costate { d = waitfordone { c = stop(7); } mark(d + 10); mark(n); }"),
         {9, 7, 9, 7}, 0},
        {"WaitforfirstdoneEndsWithTheFirstToReturn",
         kMark + "cofunc int slow(int a) { yield; yield; yield; return a; }\n"
                 "cofunc int quick(int a) { yield; return a; }\n" +
             loop(3, "costate w init_on { d = waitforfirstdone { n = slow(1); c = quick(2); }; "
                     "mark(d); mark(n); mark(c); }"),
         {2, 0, 2}, 2},
        {"TwoWaitfordonesInARowPassTheirOwnArguments",
         kMark + twice +
             loop(6, "costate w init_on { waitfordone { n = twice(1); } waitfordone { c = twice(5); } "
                     "mark(n); mark(c); }"),
         {2, 10}, 10},
        {"WaitfordoneOfSeveralWaitsForAll",
         kMark + "cofunc int slow(int a) { yield; yield; return a; }\n"
                 "cofunc int quick(int a) { yield; return a; }\n" +
             loop(5, "costate w init_on { d = waitfordone { n = slow(3); c = quick(4); } "
                     "mark(d); mark(n); mark(c); }"),
         {1, 3, 4}, 4},
        {"EverytimeRunsAtEachEntry",
         kMark + "cofunc int counted() { everytime { d++; } yield; yield; return 0; }\n" +
             loop(4, "costate w init_on { waitfordone counted(); mark(d); }"),
         {3}, 0},
        {"IndexedInstancesKeepTheirOwnLocals",
         kMark + "cofunc int acc[2](int a) { int t; t = a; yield; t = t + 1; yield; return t; }\n" +
             loop(4, "costate w init_on { waitfordone { n = acc[0](10); c = acc[1](20); } "
                     "mark(n); mark(c); }"),
         {11, 21}, 21},
        {"IndexedInstancesKeepTheirBlockAutomatics",
         kMark + "cofunc int blk[2](int a) { int t; t = a; { int u; u = t * 2; yield; "
                 "{ int v; v = u + 1; yield; t = v; } } return t; }\n" +
             loop(4, "costate w init_on { waitfordone { n = blk[0](3); c = blk[1](5); } "
                     "mark(n); mark(c); }"),
         {7, 11}, 11},
        {"CofunctionWaitsForAnotherCofunction",
         kMark + "cofunc int inner(int a) { yield; return a + 1; }\n"
                 "cofunc int outer(int a) { int r; waitfordone { r = inner(a); } yield; "
                 "return r * 2; }\n" +
             loop(5, "costate w init_on { waitfordone { n = outer(3); } mark(n); }"),
         {8}, 0},
        {"BlockAutomaticsAndWaitforInACofunction",
         kMark + "cofunc int waiter(int a) { int i; i = a; { int j; j = i + 1; waitfor(c >= 2); "
                 "yield; { int m; m = j * 2; n = m; } } return i; }\n"
                 "void f() { int k; for (k = 0; k < 6; k++) { costate w init_on { "
                 "d = waitfordone { n = waiter(5); } mark(n); } c++; } }\n",
         {5}, 6},
        {"XmemCofunction",
         kMark + "xmem cofunc int far(int a) { yield; return a + 100; }\n" +
             loop(3, "costate w init_on { waitfordone { n = far(5); } mark(n); }"),
         {105}, 0},
        {"ResultStoredThroughAComputedAddress",
         kMark + twice + "int arr[3];\nint at;\n" +
             loop(3, "costate w init_on { at = 2; arr[1] = 0; waitfordone { arr[at] = twice(300); } "
                     "mark(arr[2] == 600); mark(arr[1]); }"),
         {1, 0}, 0},
        {"ConvertedResultStoredThroughAPointer",
         kMark + twice + "struct two { int a; long b; } v;\nstruct two *tp;\n" +
             loop(3, "costate w init_on { tp = &v; v.a = 5; waitfordone { tp->b = twice(-300); } "
                     "mark(v.b == -600L); mark(v.a); }"),
         {1, 5}, 0},
        {"CharResultConvertedToTheVariable",
         kMark + "cofunc char small(int a) { yield; return a; }\n"
                 "long big;\n" +
             loop(3, "costate w init_on { waitfordone { big = small(300); } n = (int)big; "
                     "mark(n == 44); }"),
         {1}, 0},
    };
}

INSTANTIATE_TEST_SUITE_P(Cofunctions, CostatePrograms, ::testing::ValuesIn(cofunction_cases()),
                         [](const auto &i) { return std::string(i.param.name); });

// Single-user cofunctions: one costatement at a time holds the instance; another one's call is
// not run until the holder's waitfordone ends. "head" runs the loop-head chain at each pass: a
// holder that keeps calling keeps the instance, one that stops calling loses it at the second
// loop head after its last call, and the abandon block runs with the holder's parameters.
std::vector<RunCase> single_user_cases()
{
    const std::string head = "void head() {\n#asm\n call _loophead\n#endasm\n}\n";
    const std::string sq = "scofunc int sq(int a) { abandon { d = a + 76; } mark(a); yield; "
                           "mark(a + 1); return a * 10; }\n";
    const std::string q = "costate q init_on { waitfordone { c = sq(2); } mark(c); mark(d); }";
    const auto loop = [&](int passes, const std::string &body) {
        return kMark + head + sq + "void f() { int k; for (k = 0; k < " + std::to_string(passes) +
               "; k++) { head(); " + body + " } }\n";
    };
    return {
        {"SecondCallerWaitsForTheFirst",
         loop(4, "costate p init_on { waitfordone { n = sq(1); } mark(n); } " + q),
         {1, 2, 10, 2, 3, 20, 0}, 20},
        {"HolderThatStopsCallingIsAbandoned",
         loop(5, "if (k < 1) { costate p init_on { waitfordone { n = sq(1); } mark(n); } } " + q),
         {1, 2, 3, 20, 77}, 20},
        {"SameCallerCallsAgainAfterItsWaitfordone",
         loop(5, "costate p init_on { waitfordone { n = sq(1); } waitfordone { n = sq(4); } "
                 "mark(n); } " + q),
         {1, 2, 4, 5, 40, 2, 3, 20, 0}, 20},
        {"LoopinitFreesAHeldInstance",
         kMark + head + sq +
             "void init() {\n#asm\n call _loopinit\n#endasm\n}\n"
             "void f() { int k; for (k = 0; k < 4; k++) { head(); if (k == 1) init(); "
             "if (k < 1) { costate p init_on { waitfordone { n = sq(1); } } } " + q + " } }\n",
         {1, 2, 3, 20, 0}, 20},
        // Each instance of an indexed one has its own holder: p and q run side by side on
        // instances 0 and 1, then p stops calling and only instance 0 is abandoned (with its
        // own parameter), while r, waiting for it, takes it over.
        {"IndexedInstancesAreHeldApart",
         kMark + head +
             "scofunc int sx[2](int a) { abandon { d = d + a; } mark(a); yield; yield; "
             "mark(a + 1); return a * 10; }\n"
             "void f() { int k; for (k = 0; k < 6; k++) { head(); "
             "if (k < 2) { costate p init_on { waitfordone { n = sx[0](1); } } } "
             "costate q init_on { waitfordone { c = sx[1](4); } } "
             "costate r init_on { waitfordone { n = sx[0](7); } mark(d); } } }\n",
         {1, 4, 5, 7, 8, 1}, 40},
    };
}

INSTANTIATE_TEST_SUITE_P(SingleUser, CostatePrograms, ::testing::ValuesIn(single_user_cases()),
                         [](const auto &i) { return std::string(i.param.name); });

// The prologue's bytes by placement: "push ix", the room that makes the frame the same for every
// placement, the everytime and descriptor words, the call of the runtime and the jump to the
// return point; then a yield at cofunction level resumes behind its "xor a" and "jp".
struct PrologueCase {
    const char *name;
    const char *prefix;
    bool root_stubs;
    std::vector<uint8_t> room;
    const char *epilogue;  // the line before the return
    const char *ret;
};
void PrintTo(const PrologueCase &c, std::ostream *os) { *os << c.name; }

const PrologueCase kPrologues[] = {
    {"Root", "", false, {0x27, 0xFD}, "add sp, 7", "ret"},
    {"Xmem", "xmem ", false, {}, "add sp, 4", "lret"},
    {"XmemWithRootStubs", "xmem ", true, {0x27, 0xFE}, "add sp, 6", "lret"},
};

class CofunctionPrologues : public Costates, public ::testing::WithParamInterface<PrologueCase> {};

TEST_P(CofunctionPrologues, BytesAndEpilogue)
{
    const PrologueCase &p = GetParam();
    struct Stubs {
        explicit Stubs(bool on) { IdePreferences().root_stubs = on; }
        ~Stubs() { IdePreferences().root_stubs = false; }
    } stubs(p.root_stubs);
    ASSERT_EQ(compile(program_text(std::string(p.prefix) +
                                   "cofunc int y(int a) { everytime { c++; } yield; return a; }\n"
                                   "void f() { costate { c++; } }\n")),
              0)
        << messages_text();
    const symbol *y = find_symbol("y", false, kGlobalTable);
    ASSERT_NE(y, nullptr);
    const ADDR24 at = y->address[0];
    const std::vector<uint8_t> code = sent_at(at, 64);
    std::vector<uint8_t> head = {0xDD, 0xE5};
    head.insert(head.end(), p.room.begin(), p.room.end());
    ASSERT_GE(code.size(), head.size() + 17);
    EXPECT_EQ(std::vector<uint8_t>(code.begin(), code.begin() + head.size()), head);
    std::size_t i = head.size();
    EXPECT_EQ(code[i], 0x11);
    EXPECT_NE(code[i + 1] | (code[i + 2] << 8), 0);  // the everytime block
    EXPECT_EQ(code[i + 3], 0xD5);
    EXPECT_EQ(code[i + 4], 0x11);
    EXPECT_EQ(code[i + 7], 0xD5);
    EXPECT_EQ(code[i + 8], 0xCD);  // call cofprolog_ (a routine not placed yet: with a page byte)
    i += code[i + 11] == 0 ? 12 : 11;
    EXPECT_EQ(code[i], 0xC3);  // jp cofr0001
    // The yield: two word stores of the resume point, "xor a", "jp": the point lies behind.
    i += 3;
    ASSERT_EQ(code[i], 0x21);
    const uint16_t resume = code[i + 1] | (code[i + 2] << 8);
    EXPECT_EQ(code[i + 12], 0xAF);
    EXPECT_EQ(code[i + 13], 0xC3);
    EXPECT_EQ(resume, static_cast<uint16_t>(addr_offset(at) + i + 16));
    const std::vector<std::string> tail = lines_from("exx");
    const std::vector<std::string> expected = {"exx", "ld a, 0x18"};
    ASSERT_GE(tail.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(tail.begin(), tail.begin() + 2), expected);
    // Then the return point: the block's address for "cofepilog_", the frame taken down.
    const std::vector<std::string> end = lines_from("set 1, (hl)");
    ASSERT_GE(end.size(), 5u);
    EXPECT_EQ(end[1], tail[2]);  // the same "ld hl" of the block
    EXPECT_EQ(end[2], p.epilogue);
    EXPECT_EQ(end[3], "pop ix");
    EXPECT_EQ(end[4], p.ret);
}

INSTANTIATE_TEST_SUITE_P(All, CofunctionPrologues, ::testing::ValuesIn(kPrologues),
                         [](const auto &i) { return std::string(i.param.name); });

std::vector<MessageCase> cofunction_message_cases()
{
    const std::string cof = "cofunc int g(int a) { yield; return a; }\n";
    return {
        {"WaitfordoneOutside", cof + "void f() { waitfordone g(1); }\n",
         "No enclosing costate, construct waitfordone not valid."},
        {"CostatementInIndexedCofunction",
         "cofunc int ix[2]() { costate { c++; } return 0; }\nvoid f() { }\n",
         "Costatements/slice statements not allowed in indexed cofuctions."},
        {"YieldInEverytime", "cofunc int e() { everytime { yield; } return 0; }\nvoid f() { }\n",
         "Cannot return, yield, abort, waitfor, or goto in an everytime statement."},
        {"ReturnInEverytime",
         "cofunc int e() { everytime { return 1; } return 0; }\nvoid f() { }\n",
         "Cannot return, yield, abort, waitfor, or goto in an everytime statement."},
        {"SecondEverytime",
         "cofunc int e() { everytime { c++; } everytime { d++; } return 0; }\nvoid f() { }\n",
         "Only one everytime statement valid for each cofunction."},
        {"SecondAbandon",
         "cofunc int e() { abandon { c++; } abandon { d++; } return 0; }\nvoid f() { }\n",
         "Only one abandon block for each cofunction."},
        {"NotACofunction", "int h(int a);\nvoid f() { costate { waitfordone h(1); } }\n",
         "Expecting a cofunction or firsttime function."},
        {"BracesNotClosed", cof + "void f() { costate { waitfordone { g(1); \n",
         "Expecting '}'."},
        {"NoSemicolon", cof + "void f() { costate { waitfordone g(1) } }\n", "Expects ';'."},
        {"InstancesTooBig",
         "cofunc int big[40]() { char b[2000]; b[0] = 1; return 0; }\nvoid f() { }\n",
         "Insufficent free memory for declarations."},
    };
}

class CofunctionMessages : public Costates, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(CofunctionMessages, AreReported)
{
    const MessageCase &p = GetParam();
    (void)compile(program_text(p.program));
    std::vector<std::string> out;
    for (const Message &m : messages())
        out.push_back(m.summary);
    EXPECT_NE(std::find(out.begin(), out.end(), p.message), out.end())
        << ::testing::PrintToString(out);
}

INSTANTIATE_TEST_SUITE_P(All, CofunctionMessages, ::testing::ValuesIn(cofunction_message_cases()),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
