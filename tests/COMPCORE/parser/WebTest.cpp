// Published variables ("#web", "#web_groups", "#web_update" and "$" in guards) through the real
// compile entry: the tables are read back from the image, and guards and update stubs run on
// the board stand-in. The programs declare the library's three table symbols themselves and
// bring their own `_web_getnewval` and `_web_getwildval`, which record what they were passed
// and answer with the address of a test value.
#include <gtest/gtest.h>

#include "CompileRunFixture.h"
#include "OutputTestSupport.h"

#include "core/CC_ADDR.h"
#include "parser/CC_PARSE.h"
#include "core/CC_STAB.h"
#include "core/SEAM_DECL.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace compile_run;

constexpr uint16_t kDriverStop = 0x5F00;

// The table symbols as the library declares them.
const char *const kTableSymbols =
    "extern char _web_var_info[];\n"
    "extern char _web_update_entry_ary[];\n"
    "extern unsigned _web_update_entry_ary_sz;\n";

// The test's globals: `target` is what the driver calls (twice), `arg` the word it passes;
// `got` what _web_getnewval was passed (name, type, address), `wild` what _web_getwildval was
// passed (name, parameter), two words per call, `calls` its calls; both answer with the address
// of `newval`; `count` is bumped by the update function.
const char *const kGlobals = "int target; int arg; int got[3]; int wild[8]; int calls;\n"
                             "int newval; int count;\n";

// At 0 the driver: two calls of `target` with `arg` pushed, then the stop. The two library
// routines follow it.
const char *const kDriver = "#asm\n"
                            " ld hl, (arg)\n push hl\n ld hl, back1\n push hl\n"
                            " ld hl, (target)\n jp (hl)\n"
                            "back1::\n pop de\n"
                            " ld hl, (arg)\n push hl\n ld hl, back2\n push hl\n"
                            " ld hl, (target)\n jp (hl)\n"
                            "back2::\n pop de\n"
                            " jp 0x5F00\n"
                            "_web_getnewval::\n"
                            " ld hl, 2\n add hl, sp\n ld de, got\n ld bc, 6\n ldir\n"
                            " ld hl, newval\n ret\n"
                            "_web_getwildval::\n"
                            " ld hl, (calls)\n add hl, hl\n add hl, hl\n ld de, wild\n add hl, de\n"
                            " ex de, hl\n ld hl, 2\n add hl, sp\n ld bc, 4\n ldir\n"
                            " ld hl, (calls)\n inc hl\n ld (calls), hl\n"
                            " ld hl, newval\n ret\n"
                            "#endasm\n";

class Web : public CompileRun {
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

    // The program after the driver, the globals and (with `tables`) the table symbols.
    ::testing::AssertionResult build(const std::string &program, bool tables = true)
    {
        const std::string text = std::string("#nodebug\n#use RUNTIME.LIB\n#use INT16.LIB\n") +
                                 kGlobals + kDriver + (tables ? kTableSymbols : "") + program;
        const uint16_t status = compile(text);
        if (status != 0 || !messages().empty())
            return ::testing::AssertionFailure() << "status " << status << "\n" << messages_text();
        return ::testing::AssertionSuccess();
    }

    std::vector<std::string> summaries(const std::string &program)
    {
        (void)compile(std::string("#nodebug\n") + kGlobals + kTableSymbols + program);
        std::vector<std::string> out;
        for (const Message &m : messages())
            out.push_back(m.summary);
        return out;
    }

    static uint16_t address_of(const char *name)
    {
        const symbol *s = find_symbol(name, false, kGlobalTable);
        return s ? addr_offset(s->address[0]) : 0;
    }

    uint16_t word(uint16_t logical) const
    {
        const std::vector<uint8_t> b = sent_at(make_addr(0, logical), 2);
        return static_cast<uint16_t>(b[0] | b[1] << 8);
    }
    uint8_t byte(uint16_t logical) const { return sent_at(make_addr(0, logical), 1)[0]; }
    std::string text(uint16_t logical) const
    {
        std::string out;
        for (uint16_t a = logical; out.size() < 64; ++a) {
            const uint8_t c = byte(a);
            if (c == 0 || c == 0xFF)
                break;
            out += static_cast<char>(c);
        }
        return out;
    }
    // The words of a list up to its 0.
    std::vector<uint16_t> list(uint16_t logical, int stride = 2) const
    {
        std::vector<uint16_t> out;
        for (uint16_t a = logical; word(a) != 0 && out.size() < 32; a += stride)
            out.push_back(word(a));
        return out;
    }

    // Record i of `_web_var_info`.
    struct Record {
        uint16_t name, base, type, dims, guards, updates;
        uint8_t auth;
        uint16_t groups, write, selection;
    };
    Record record(int i) const
    {
        const uint16_t r = address_of("_web_var_info") + 19 * i;
        return {word(r),      word(r + 2),  word(r + 4),  word(r + 6),  word(r + 8),
                word(r + 10), byte(r + 12), word(r + 13), word(r + 15), word(r + 17)};
    }
    int record_count() const
    {
        int n = 0;
        while (n < 32 && word(address_of("_web_var_info") + 19 * n) != 0)
            ++n;
        return n;
    }

    // Runs the driver with `target` and `arg` set and `newval` holding `value`.
    ::testing::AssertionResult call_twice(uint16_t entry, uint16_t value, uint16_t parameter = 0)
    {
        auto put = [this](const char *name, uint16_t v) {
            preset[address_of(name)] = static_cast<uint8_t>(v);
            preset[static_cast<uint16_t>(address_of(name) + 1)] = static_cast<uint8_t>(v >> 8);
        };
        put("target", entry);
        put("arg", parameter);
        put("newval", value);
        // The stand-in's RAM is not cleared: the counters and the update flags start at 0.
        put("count", 0);
        put("calls", 0);
        if (const symbol *flags = find_symbol("_web_update_entry_ary", false, kGlobalTable);
            flags && flags->address[0] != kDummyAddress)
            for (int k = 0; k < 4; ++k)
                preset[static_cast<uint16_t>(addr_offset(flags->address[0]) + k)] = 0;
        const vsim::RunResult r = run(kRootCode, 100000, vsim::Breakpoint{kDriverStop, -1});
        if (r.reason != vsim::StopReason::breakpoint)
            return ::testing::AssertionFailure() << "the calls did not return\n" << messages_text();
        return ::testing::AssertionSuccess();
    }
    uint16_t ram_word(const char *name, int index = 0)
    {
        const uint16_t a = static_cast<uint16_t>(address_of(name) + 2 * index);
        return static_cast<uint16_t>(board.peek(0x81000 + (a - 0x9000)) |
                                     board.peek(0x81000 + (a - 0x9000) + 1) << 8);
    }
};

// ---- the variable records ----------------------------------------------------------------------

TEST_F(Web, RecordsHoldEveryFieldInDeclarationOrder)
{
    ASSERT_TRUE(build("#web_groups admin, user\n"
                      "int rate;\nchar name[16];\n"
                      "struct Cfg { int port; char host[8]; } cfg;\n"
                      "#web rate groups=admin(ro),user auth=basic,digest\n"
                      "#web name\n"
                      "#web cfg.port\n"));
    ASSERT_EQ(record_count(), 3);

    const Record rate = record(0);
    EXPECT_EQ(text(rate.name), "rate");
    EXPECT_EQ(rate.base, address_of("rate"));
    EXPECT_EQ(rate.type, 2);
    EXPECT_EQ(rate.dims, 0);
    EXPECT_EQ(rate.guards, 0);
    EXPECT_EQ(rate.updates, 0);
    EXPECT_EQ(rate.auth, 0x06);
    EXPECT_EQ(rate.groups, 0x0003);
    EXPECT_EQ(rate.write, 0x0002);
    EXPECT_EQ(rate.selection, 0);

    const Record name = record(1);
    EXPECT_EQ(text(name.name), "name");
    EXPECT_EQ(name.base, address_of("name"));
    EXPECT_EQ(name.type, 9);
    EXPECT_EQ(list(name.dims), std::vector<uint16_t>{16});
    EXPECT_EQ(name.auth, 0);
    EXPECT_EQ(name.groups, 0);

    // cfg.port: the record names "cfg.", its type is a head of cfg's structure listing only port.
    const Record cfg = record(2);
    EXPECT_EQ(text(cfg.name), "cfg.");
    EXPECT_EQ(cfg.base, address_of("cfg"));
    EXPECT_EQ(cfg.dims, 0);
    EXPECT_EQ(word(cfg.type), 10) << "the size of struct Cfg";
    const uint16_t members = word(cfg.type + 2);
    EXPECT_EQ(text(word(members)), "port");
    EXPECT_EQ(word(members + 2), 0) << "offset";
    EXPECT_EQ(word(members + 4), 2) << "type";
    EXPECT_EQ(word(members + 6), 0) << "dimensions";
    EXPECT_EQ(word(members + 8), 0) << "the end of the member list";
}

TEST_F(Web, KeysTakeConstantSubscriptsAndARedeclarationKeepsOneRecord)
{
    ASSERT_TRUE(build("int tbl[4];\nint rate;\n"
                      "#web tbl[1+1]\n"
                      "#web rate (1)\n"
                      "#web tbl[2]\n"
                      "#web rate (2)\n"
                      "#web tbl[@]\n"));
    ASSERT_EQ(record_count(), 3);
    EXPECT_EQ(text(record(0).name), "tbl[2]");
    EXPECT_EQ(text(record(1).name), "rate");
    EXPECT_EQ(text(record(2).name), "tbl[@]");
    EXPECT_EQ(list(record(1).guards).size(), 2u) << "both guards listed with one record";
    EXPECT_EQ(record(2).type, 2);
    EXPECT_EQ(list(record(2).dims), std::vector<uint16_t>{4});
}

TEST_F(Web, SelectionListsLayDownLabelsAndRunningValues)
{
    ASSERT_TRUE(build("int mode;\nlong wide;\n"
                      "#web mode select(\"off\", \"slow\", \"fast\" = 5, \"max\")\n"
                      "#web wide select(\"a\" = 70000, \"b\")\n"));
    const uint16_t modes = record(0).selection;
    ASSERT_NE(modes, 0);
    const std::vector<std::pair<std::string, uint16_t>> expected = {
        {"off", 0}, {"slow", 1}, {"fast", 5}, {"max", 6}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(text(word(modes + 4 * i)), expected[i].first);
        EXPECT_EQ(word(modes + 4 * i + 2), expected[i].second) << expected[i].first;
    }
    EXPECT_EQ(word(modes + 16), 0);

    const uint16_t wides = record(1).selection;
    EXPECT_EQ(text(word(wides)), "a");
    EXPECT_EQ(word(wides + 2) | uint32_t(word(wides + 4)) << 16, 70000u);
    EXPECT_EQ(text(word(wides + 6)), "b");
    EXPECT_EQ(word(wides + 8) | uint32_t(word(wides + 10)) << 16, 70001u);
    EXPECT_EQ(word(wides + 12), 0);
}

TEST_F(Web, AWholeStructureLaysItsNestedDescriptorsDownFirst)
{
    ASSERT_TRUE(build("struct In { int a; char t[4]; };\n"
                      "struct Node { int v; struct Node *next; };\n"
                      "struct Out { char c; struct In in; int arr[2][3]; struct Node n; } out;\n"
                      "#web out\n"));
    const Record out = record(0);
    EXPECT_EQ(text(out.name), "out");
    EXPECT_EQ(word(out.type), 1 + 6 + 12 + 4);
    const uint16_t members = word(out.type + 2);
    struct Member {
        const char *name;
        uint16_t offset;
    };
    const Member expected[] = {{"c", 0}, {"in", 1}, {"arr", 7}, {"n", 19}};
    for (int i = 0; i < 4; ++i) {
        const uint16_t m = static_cast<uint16_t>(members + 8 * i);
        EXPECT_EQ(text(word(m)), expected[i].name);
        EXPECT_EQ(word(m + 2), expected[i].offset) << expected[i].name;
    }
    EXPECT_EQ(word(members + 4), 1) << "c is a char";
    EXPECT_EQ(word(members + 32), 0);

    const uint16_t in = word(members + 8 + 4);
    EXPECT_LT(in, members) << "the nested head lies before the list that names it";
    EXPECT_EQ(word(in), 6);
    const uint16_t in_members = word(in + 2);
    EXPECT_EQ(text(word(in_members + 8)), "t");
    EXPECT_EQ(word(in_members + 8 + 4), 9) << "a char array is text";
    EXPECT_EQ(list(word(in_members + 8 + 6)), std::vector<uint16_t>{4});

    EXPECT_EQ(word(members + 16 + 4), 2);
    EXPECT_EQ(list(word(members + 16 + 6)), (std::vector<uint16_t>{2, 3}));

    // A structure that points to its own type: the pointer member is described as a pointer.
    const uint16_t node = word(members + 24 + 4);
    const uint16_t node_members = word(node + 2);
    EXPECT_EQ(text(word(node_members + 8)), "next");
    EXPECT_EQ(word(node_members + 8 + 4), 12);
}

TEST_F(Web, ProgramsWithoutWebOrWithoutTheSymbolsGetNoTables)
{
    ASSERT_TRUE(build("int rate;\n"));
    EXPECT_EQ(find_symbol("_web_var_info", false, kGlobalTable)->address[0], kDummyAddress);

    ASSERT_TRUE(build("int rate;\n#web rate\n", false));
    EXPECT_EQ(find_symbol("_web_var_info", false, kGlobalTable), nullptr);
    // The registry is empty again: the next compile's first variable is its record 0.
    ASSERT_TRUE(build("int other;\n#web other\n"));
    EXPECT_EQ(record_count(), 1);
    EXPECT_EQ(text(record(0).name), "other");
}

// ---- groups ------------------------------------------------------------------------------------

TEST_F(Web, SixteenGroupsGetOneBitEachAsConstants)
{
    std::string names;
    for (int i = 0; i < 16; ++i)
        names += (i ? ", g" : "g") + std::to_string(i);
    ASSERT_TRUE(build("#web_groups " + names + "\n"
                      "int rate;\n#web rate groups=g15,g3(ro)\n"
                      "root int f() { return g0 | g1 | g15; }\n"));
    EXPECT_EQ(record(0).groups, 0x8008);
    EXPECT_EQ(record(0).write, 0x8000);
    ASSERT_TRUE(call_twice(address_of("f"), 0));
    EXPECT_TRUE(reg("HL", 0x8003));
}

TEST_F(Web, AllGroupsWithPermissions)
{
    ASSERT_TRUE(build("#web_groups a\nint x, y, z;\n"
                      "#web x groups=all(ro)\n#web y groups=all\n#web z groups all(rw)\n"));
    EXPECT_EQ(record(0).groups, 0xFFFF);
    EXPECT_EQ(record(0).write, 0);
    EXPECT_EQ(record(1).write, 0) << "all without a permission leaves the permissions";
    EXPECT_EQ(record(2).write, 0xFFFF);
}

// ---- guards ------------------------------------------------------------------------------------

TEST_F(Web, AGuardFetchesTheNewValueAndReturnsItsTruth)
{
    ASSERT_TRUE(build("int rate;\n#web rate ($rate < 100)\n"));
    const uint16_t guard = list(record(0).guards).at(0);
    ASSERT_TRUE(call_twice(guard, 50));
    EXPECT_TRUE(reg("HL", 1));
    EXPECT_TRUE(reg("SP", 0xE000)) << "the guard leaves the stack as it found it";
    EXPECT_EQ(text(ram_word("got", 0)), "rate");
    EXPECT_EQ(ram_word("got", 1), 2) << "the type code";
    EXPECT_EQ(ram_word("got", 2), address_of("rate"));

    ASSERT_TRUE(call_twice(guard, 200));
    EXPECT_TRUE(reg("HL", 0));
}

// The fetch ends with the library call's exact sequence: ld hl, 2; push hl; ld hl, <name>;
// push hl; call _web_getnewval; add sp, 6.
TEST_F(Web, TheFetchPassesTypeAndNameInThatOrder)
{
    ASSERT_TRUE(build("int rate;\n#web rate ($rate < 100)\n"));
    const uint16_t guard = list(record(0).guards).at(0);
    const std::vector<uint8_t> code = sent_at(make_addr(0, guard), 64);
    const std::vector<uint8_t> head = {0x21, 0x02, 0x00, 0xE5, 0x21};
    const auto at = std::search(code.begin(), code.end(), head.begin(), head.end());
    ASSERT_NE(at, code.end());
    const std::size_t i = static_cast<std::size_t>(at - code.begin());
    EXPECT_EQ(text(static_cast<uint16_t>(code[i + 5] | code[i + 6] << 8)), "rate");
    EXPECT_EQ(code[i + 7], 0xE5);
    EXPECT_EQ(code[i + 8], 0xCD) << "call";
    EXPECT_EQ(code[i + 11], 0x27) << "add sp, d";
    EXPECT_EQ(code[i + 12], 0x06);
}

TEST_F(Web, AnElementIsFetchedWithItsOwnTypeAndAddress)
{
    ASSERT_TRUE(build("char name[16];\n#web name ($name[3] == 'a')\n"));
    const uint16_t guard = list(record(0).guards).at(0);
    ASSERT_TRUE(call_twice(guard, 'a'));
    EXPECT_TRUE(reg("HL", 1));
    EXPECT_EQ(text(ram_word("got", 0)), "name[3]");
    EXPECT_EQ(ram_word("got", 1), 1) << "a char";
    EXPECT_EQ(ram_word("got", 2), address_of("name") + 3);
}

TEST_F(Web, WildcardReferencesPassTheirNameWithOffsetAndTheParameter)
{
    ASSERT_TRUE(build("int tbl[4];\n#web tbl[@] ($tbl[@] > 0 && $tbl[@[2]] < 9)\n"));
    const uint16_t guard = list(record(0).guards).at(0);
    ASSERT_TRUE(call_twice(guard, 5, 3));
    EXPECT_TRUE(reg("HL", 1));
    EXPECT_TRUE(reg("SP", 0xE000));
    EXPECT_EQ(text(ram_word("wild", 0)), "tbl[@[0]]");
    EXPECT_EQ(ram_word("wild", 1), 3) << "the guard's parameter";
    EXPECT_EQ(text(ram_word("wild", 2)), "tbl[@[2]]");
    EXPECT_EQ(ram_word("wild", 3), 3);
}

TEST_F(Web, AReferenceInsideAPublishedStructureIsAccepted)
{
    ASSERT_TRUE(build("struct Cfg { int port; int baud; } cfg;\n#web cfg ($cfg.baud > 9600)\n"));
    const uint16_t guard = list(record(0).guards).at(0);
    ASSERT_TRUE(call_twice(guard, 19200));
    EXPECT_TRUE(reg("HL", 1));
    EXPECT_EQ(text(ram_word("got", 0)), "cfg.baud");
    EXPECT_EQ(ram_word("got", 2), address_of("cfg") + 2);
}

// ---- update stubs ------------------------------------------------------------------------------

TEST_F(Web, AnUpdateStubRunsItsFunctionOnceWhileItsFlagIsSet)
{
    ASSERT_TRUE(build("int rate;\nchar name[16];\n#web rate\n#web name\n"
                      "root void on_change() { count = count + 1; }\n"
                      "#web_update rate, name on_change\n"));
    const std::vector<uint16_t> rate = list(record(0).updates);
    ASSERT_EQ(rate.size(), 1u);
    EXPECT_EQ(list(record(1).updates), rate) << "one stub listed with both";
    EXPECT_EQ(word(address_of("_web_update_entry_ary_sz")), 1);

    ASSERT_TRUE(call_twice(rate[0], 0));
    EXPECT_EQ(ram_word("count"), 1);
    const uint16_t flags = address_of("_web_update_entry_ary");
    EXPECT_EQ(board.peek(0x81000 + (flags - 0x9000)) & 1, 1);
}

TEST_F(Web, TwoUpdateLinesUseTwoFlagBytesAndACountThatStartsAgainEachCompile)
{
    const std::string program = "int rate;\n#web rate\n"
                                "root void one() { count = count + 1; }\n"
                                "root void two() { count = count + 16; }\n"
                                "#web_update rate one\n#web_update rate two\n";
    for (int compile = 0; compile < 2; ++compile) {
        ASSERT_TRUE(build(program));
        EXPECT_EQ(word(address_of("_web_update_entry_ary_sz")), 2) << "compile " << compile;
        const std::vector<uint16_t> stubs = list(record(0).updates);
        ASSERT_EQ(stubs.size(), 2u);
        ASSERT_TRUE(call_twice(stubs[1], 0));
        const uint16_t flags = address_of("_web_update_entry_ary");
        auto flag = [&](int k) { return board.peek(0x81000 + (flags + k - 0x9000)); };
        EXPECT_EQ(ram_word("count"), 16);
        EXPECT_EQ(flag(0), 0) << "stub 0's flag";
        EXPECT_EQ(flag(1), 1) << "stub 1's flag";
    }
}

TEST_F(Web, GuardsAndUpdateFunctionsInXmemAreEnteredThroughRootStubs)
{
    ASSERT_TRUE(build("int tbl[4];\n#memmap xmem\n"
                      "#web tbl[@] ($tbl[@] == 7)\n"
                      "xmem void bump() { count = count + 1; }\n"
                      "#web_update tbl[@] bump\n"));
    const uint16_t guard = list(record(0).guards).at(0);
    EXPECT_LT(guard, 0x6000) << "the guard's root entry stub";
    ASSERT_TRUE(call_twice(guard, 7, 2));
    EXPECT_TRUE(reg("HL", 1));
    EXPECT_TRUE(reg("SP", 0xE000));
    EXPECT_EQ(text(ram_word("wild", 0)), "tbl[@[0]]");
    EXPECT_EQ(ram_word("wild", 1), 2) << "the parameter, read behind the long call's return";
    ASSERT_TRUE(call_twice(list(record(0).updates).at(0), 0));
    EXPECT_EQ(ram_word("count"), 1);
}

TEST_F(Web, DebugAndNodebugAreWordsOnlyWhenWholeWords)
{
    ASSERT_TRUE(build("int debugger;\n#web debugger\n#web debug\n#web nodebug\n"));
    ASSERT_EQ(record_count(), 1);
    EXPECT_EQ(text(record(0).name), "debugger");
}

// ---- bad input ---------------------------------------------------------------------------------

struct BadLine {
    const char *name;
    std::string program;
    std::vector<std::string> messages;
};

const char *const kBadDeclarations = "#web_groups admin, user\n"
                                     "int rate; int tbl[4]; char c; int mode; int other;\n"
                                     "struct S { int m; } s, *p;\n";

std::vector<BadLine> bad_lines()
{
    std::string seventeen = "#web_groups ";
    for (int i = 0; i < 14; ++i)  // with admin and user: the seventeenth is "last"
        seventeen += "h" + std::to_string(i) + ", ";
    seventeen += "last\n";
    return {
        {"NoName", "#web 5\n", {"Expecting web variable name."}},
        {"MemberThroughAPointer", "#web p.m\n", {"Invalid struct reference."}},
        {"UnknownMember", "#web s.nope\n", {"Invalid struct reference."}},
        {"NinthSubscript", "#web tbl[@][@][@][@][@][@][@][@][@]\n",
         {"Too many dimensions."}},
        {"FixedIndexOfNoArray", "#web rate[1]\n",
         {"Cannot subscript object 'rate' of type 'int'; an array or pointer is required."}},
        {"NegativeIndex", "#web tbl[-1]\n", {"Array index out of bounds."}},
        {"IndexPastTheEnd", "#web tbl[4]\n", {"Array index out of bounds."}},
        {"MissingBracket", "#web tbl[1\n", {"Missing character ']'."}},
        {"SelectOnAChar", "#web c select(\"a\")\n",
         {"Invalid type for a web selection variables."}},
        {"SelectWithoutList", "#web mode select\n", {"Expecting '('."}},
        {"MissingGuardParen", "#web rate ($rate < 1\n", {"Unmatched ')'."}},
        {"UnknownMethod", "#web rate auth=plain\n",
         {"Authentication method missing (e.g., \"none\", \"basic\", \"digest\", or \"ssl\")."}},
        {"BadPermission", "#web rate groups=admin(rx)\n",
         {"Expecting web permission \"rw\" or \"ro\"."}},
        {"GroupMissing", "#web rate groups=5\n", {"Web group name is missing."}},
        {"UnknownGroup", "#web rate groups=guest\n", {"Web group \"guest\" was not defined"}},
        {"RedeclarationChangesClauses",
         "#web rate groups=admin auth=none\n#web rate groups=user auth=ssl\n",
         {"Groups do not match previously defined groups for web variable \"rate\".",
          "Permissions do not match previously defined permissions for web variable \"rate\".",
          "Authentications do not match previously defined authentications for web variable "
          "\"rate\"."}},
        {"RedeclarationWithoutClauses", "#web rate groups=admin\n#web rate\n#web rate (1)\n",
         {}},
        {"GroupNotAName", "#web_groups 7\n", {"Web group name expected."}},
        {"SeventeenthGroup", seventeen, {"The maximum number of webgroups is 16."}},
        {"UpdateOfAnUndeclaredVariable", "root void f() {}\n#web_update other f\n",
         {"Web variable 'other' is not declared."}},
        {"UpdateWithoutFunction", "#web rate\n#web_update rate 5\n",
         {"No #web_update function specificed."}},
        {"NewValueOutsideAGuard", "#web rate\nroot int f() { return $rate; }\n",
         {"Invalid expression."}},
        {"NewValueOfAnUndeclaredVariable", "#web rate ($other > 1)\n",
         {"Web variable 'other' is not declared."}},
    };
}

class WebBadInput : public Web, public ::testing::WithParamInterface<BadLine> {};

// Each gives its message, and the compile goes on: the variable after it is still published.
TEST_P(WebBadInput, ReportsAndGoesOn)
{
    const BadLine &b = GetParam();
    std::vector<std::string> got = summaries(std::string(kBadDeclarations) + b.program +
                                             "int after;\n#web after\n");
    // Reports at one position may be listed in any order.
    std::vector<std::string> expected = b.messages;
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);
    EXPECT_NE(find_symbol("after", false, kGlobalTable), nullptr);
    EXPECT_EQ(text(record(record_count() - 1).name), "after");
}

INSTANTIATE_TEST_SUITE_P(All, WebBadInput, ::testing::ValuesIn(bad_lines()),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
