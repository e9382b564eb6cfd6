// "xstring" and "xdata" through the compile entry and the real declaration parser: the tables
// and blocks placed in xmem code space, the 4-byte root variable that holds their physical
// address, label fix-ups of addresses not known yet, the allocator's follow-on origins and its
// end, and every way a declaration fails (the name then holds 0 and nothing is placed).
#include "CompileRunFixture.h"
#include "OutputTestSupport.h"

#include "core/CC_ADDR.h"
#include "driver/CC_FIOZ8.h"
#include "parser/CC_PARSE.h"
#include "core/CC_STAB.h"
#include "parser/CC_XDATA.h"
#include "linker/ORIGINS.h"
#include "core/SEAM_DECL.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace compile_run;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kXmemPhysical = 0x10000;  // kXmemCode, where the first table lands

Bytes le32(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

class XmemData : public CompileRun {
protected:
    void SetUp() override
    {
        CompileRun::SetUp();
        set_declaration_seam(nullptr);  // the declaration parser, which offers xstring and xdata
    }

    // The function compiler and the runtime libraries its prologues and epilogues call.
    void compile_functions()
    {
        install_function_parser();
        const std::string lib = std::string(KX_TEST_DATA) + "/../../TARGET/lib/";
        for (const char *name : {"RUNTIME.LIB", "INT16.LIB", "INT32.LIB"})
            add_library(name, output_test::read_text(lib + name));
    }
    static constexpr const char *kLibraries =
        "#nodebug\n#use RUNTIME.LIB\n#use INT16.LIB\n#use INT32.LIB\n";

    Bytes image_at(uint32_t physical, std::size_t n) const
    {
        return Bytes(linker.image.begin() + physical, linker.image.begin() + physical + n);
    }
    static const symbol *global(const char *name)
    {
        return find_symbol(name, false, kGlobalTable);
    }
    // The value the compile left in a name's 4-byte root variable.
    uint32_t held(const char *name) const
    {
        const symbol *s = global(name);
        if (!s)
            return 0xDEADBEEF;
        const Bytes b = sent_at(s->address[0], 4);
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    static std::vector<std::string> summaries()
    {
        std::vector<std::string> out;
        for (const Message &m : messages())
            out.push_back(m.summary);
        return out;
    }
    // An xmem origin of `size` bytes at physical 0x20000, followed (when `follower_size` is not
    // 0) by one of that size at physical 0x30000.
    void origins(uint32_t size, uint32_t follower_size)
    {
        parser.layout = [=](OriginContainer &table) {
            int32_t next = -1;
            if (follower_size)
                next = add_origin("next", kOriginXmemCode, make_addr(0x22, 0xE000), follower_size,
                                  xmem_code_cache());
            table.select_origin(add_origin("first", kOriginXmemCode, make_addr(0x12, 0xE000),
                                           size, xmem_code_cache(), next));
        };
    }
};

// ---- what is placed ---------------------------------------------------------------------------------

// The strings, then their table; the name is a 4-byte root variable holding the table's physical
// address, which a program reads, and which leads it to the strings through the xmem window.
TEST_F(XmemData, XstringPlacesStringsThenTheirTableAndTheNameHoldsTheTable)
{
    ASSERT_EQ(compile("xstring msgs { \"ab\", \"\" };\n"
                      "#asm\n"
                      "start::\n"
                      " ld hl,(msgs)\n"
                      " ld de,(msgs+2)\n"
                      " ld a,2\n"
                      " ld xpc,a\n"
                      " ld bc,(0xE004)\n"
                      "#endasm\n"),
              0)
        << messages_text();
    EXPECT_EQ(messages_text(), "");
    const Bytes expected = concat({{'a', 'b', 0, 0}, le32(kXmemPhysical), le32(kXmemPhysical + 3)});
    EXPECT_EQ(image_at(kXmemPhysical, 12), expected);

    const symbol *msgs = global("msgs");
    ASSERT_NE(msgs, nullptr);
    EXPECT_EQ(msgs->type, 5) << "unsigned long";
    EXPECT_EQ(msgs->size, 4);
    EXPECT_LT(addr_offset(msgs->address[0]), window_start()) << "a root variable";
    EXPECT_EQ(held("msgs"), kXmemPhysical + 4);
    EXPECT_EQ(xmem_code_cache().current, make_addr(2, 0xE00C)) << "xmem code goes on after it";

    run(static_cast<uint16_t>(addr_offset(msgs->address[0]) + 4));
    EXPECT_TRUE(reg("HL", 0x0004));
    EXPECT_TRUE(reg("DE", 0x0001));
    EXPECT_TRUE(reg("BC", 0x0000)) << "the first entry: the first string at physical 0x10000";
    EXPECT_TRUE(memory(0xE000, {'a', 'b', 0, 0}));
}

// Each value of a block, little-endian, by its type.
struct XdataCase {
    const char *name;
    const char *values;
    Bytes bytes;
};

class XdataValues : public XmemData, public ::testing::WithParamInterface<XdataCase> {};

TEST_P(XdataValues, PlaceTheirBytes)
{
    const XdataCase &c = GetParam();
    ASSERT_EQ(compile(std::string("xdata d { ") + c.values + " };\n"), 0) << messages_text();
    EXPECT_EQ(messages_text(), "");
    EXPECT_EQ(image_at(kXmemPhysical, c.bytes.size()), c.bytes);
    EXPECT_EQ(held("d"), kXmemPhysical);
}

INSTANTIATE_TEST_SUITE_P(
    Types, XdataValues,
    ::testing::Values(
        XdataCase{"IntLongFloat", "1, 70000L, 1.5",
                  {0x01, 0x00, 0x70, 0x11, 0x01, 0x00, 0x00, 0x00, 0xC0, 0x3F}},
        XdataCase{"String", "\"abc\"", {'a', 'b', 'c', 0}},
        XdataCase{"CharUnsignedAndNegative", "(char)0x41, 0xFFFFu, -2, (unsigned long)7",
                  {0x41, 0xFF, 0xFF, 0xFE, 0xFF, 7, 0, 0, 0}},
        XdataCase{"StringsAndValuesMixed", "\"\", 2, \"x\"", {0, 2, 0, 'x', 0}},
        XdataCase{"ConstantExpression", "3 * 4 + 1", {13, 0}}),
    [](const auto &i) { return std::string(i.param.name); });

// The address of an object plus a constant (in the expression's own arithmetic: `&v + 2` is two
// ints on) is its 2-byte logical address.
TEST_F(XmemData, AddressesAreTwoByteLogicalAddresses)
{
    ASSERT_EQ(compile("int v;\n"
                      "const int tbl[] = { 1, 2, 3 };\n"
                      "xdata d { &v + 2, tbl, &tbl[1] };\n"),
              0)
        << messages_text();
    const uint16_t v = static_cast<uint16_t>(addr_offset(global("v")->address[0]));
    const uint16_t tbl = static_cast<uint16_t>(addr_offset(global("tbl")->address[0]));
    EXPECT_EQ(image_at(kXmemPhysical, 6),
              (Bytes{uint8_t(v + 4), uint8_t((v + 4) >> 8), uint8_t(tbl), uint8_t(tbl >> 8),
                     uint8_t(tbl + 2), uint8_t((tbl + 2) >> 8)}));
}

// An extern whose definition comes later: the block is patched once it is defined, and a
// program reads the patched address.
TEST_F(XmemData, ExternDefinedLaterIsPatched)
{
    ASSERT_EQ(compile("extern int v;\n"
                      "xdata d { 5, (char *)&v + 2 };\n"
                      "int v;\n"
                      "#asm\n"
                      "start::\n"
                      " ld a,2\n"
                      " ld xpc,a\n"
                      " ld hl,(0xE002)\n"
                      "#endasm\n"),
              0)
        << messages_text();
    EXPECT_EQ(messages_text(), "");
    const uint16_t v = static_cast<uint16_t>(addr_offset(global("v")->address[0]));
    ASSERT_NE(v, 0);
    EXPECT_EQ(image_at(kXmemPhysical, 4), (Bytes{5, 0, uint8_t(v + 2), uint8_t((v + 2) >> 8)}));
    run(static_cast<uint16_t>(addr_offset(global("d")->address[0]) + 4));
    EXPECT_TRUE(reg("HL", uint16_t(v + 2)));
}

// A name declared extern unsigned long before is completed by the declaration, and code that
// used it before reads the table's address.
TEST_F(XmemData, ExternNameIsCompletedByTheDeclaration)
{
    ASSERT_EQ(compile("extern unsigned long msgs;\n"
                      "#asm\n"
                      "start::\n"
                      " ld hl,(msgs)\n"
                      " jp done\n"
                      "#endasm\n"
                      "xstring msgs { \"a\" };\n"
                      "#asm\n"
                      "done::\n"
                      "#endasm\n"),
              0)
        << messages_text();
    EXPECT_EQ(messages_text(), "");
    EXPECT_EQ(held("msgs"), kXmemPhysical + 2);
    run(kRootCode, 1000, vsim::Breakpoint{0, static_cast<uint16_t>(addr_offset(
                                                  global("msgs")->address[0]) + 4)});
    EXPECT_TRUE(reg("HL", (kXmemPhysical + 2) & 0xFFFF));
}

// Tables follow each other in xmem code; the names have their own root variables.
TEST_F(XmemData, DeclarationsFollowEachOther)
{
    ASSERT_EQ(compile("xstring a { \"x\" };\nxdata b { 7 };\nxstring c { \"yz\", \"w\" };\n"), 0)
        << messages_text();
    EXPECT_EQ(held("a"), kXmemPhysical + 2);
    EXPECT_EQ(held("b"), kXmemPhysical + 6);
    EXPECT_EQ(held("c"), kXmemPhysical + 8 + 5);
    EXPECT_EQ(image_at(kXmemPhysical + 8, 13),
              concat({{'y', 'z', 0, 'w', 0}, le32(kXmemPhysical + 8), le32(kXmemPhysical + 11)}));
    EXPECT_NE(global("a")->address[0], global("c")->address[0]);
}

// Data that runs past the first 4 KB of the window goes on at the next xpc page, without a gap
// in the physical addresses the table holds.
TEST_F(XmemData, TableCrossingThePageEndGoesOnAtTheNextPage)
{
    parser.layout = [](OriginContainer &origins) {
        origins.select_origin(add_origin("xmemcode", kOriginXmemCode, make_addr(2, 0xEFFC),
                                         0x1000, xmem_code_cache()));
    };
    ASSERT_EQ(compile("xstring m { \"abcdef\" };\n"), 0) << messages_text();
    EXPECT_EQ(image_at(0x10FFC, 11), concat({{'a', 'b', 'c', 'd', 'e', 'f', 0}, le32(0x10FFC)}));
    EXPECT_EQ(held("m"), 0x11003u);
    EXPECT_EQ(linker.sent.count(make_addr(3, 0xE000)), 1u) << "the next page";
    EXPECT_EQ(linker.sent.count(make_addr(2, 0xF000)), 0u) << "not past the page end";
}

// ---- xmem code space -------------------------------------------------------------------------------

TEST_F(XmemData, DataThatDoesNotFitGoesToTheFollowOnOrigin)
{
    origins(8, 0x100);
    ASSERT_EQ(compile("xdata d { 1L, 2L, 3 };\n"), 0) << messages_text();
    EXPECT_EQ(held("d"), 0x30000u);
    EXPECT_EQ(image_at(0x30000, 10), (Bytes{1, 0, 0, 0, 2, 0, 0, 0, 3, 0}));
    EXPECT_EQ(image_at(0x20000, 1), Bytes{0xFF}) << "nothing in the first origin";
}

// Without room: one report, nothing placed past the origin, the name entered with 0; a later
// table that fits is placed.
TEST_F(XmemData, NoRoomPlacesNothingAndTheNameHoldsZero)
{
    origins(8, 0);
    EXPECT_EQ(compile("xstring big { \"12345\", \"6\" };\nxdata small { 9 };\n") & 2, 2);
    EXPECT_EQ(messages_text(), "1: Out of xmem code space, use a larger ROM/RAM.\n");
    EXPECT_EQ(held("big"), 0u);
    EXPECT_EQ(held("small"), 0x20000u);
    EXPECT_EQ(sent_at(make_addr(0x12, 0xE000), 3), (Bytes{9, 0, 0xFF}));
}

// ---- bad input ----------------------------------------------------------------------------------------

struct BadCase {
    const char *name;
    const char *program;
    std::vector<std::string> messages;
    const char *declared;  // the name entered (holding 0), or nullptr when none is
};

class XmemBadInput : public XmemData, public ::testing::WithParamInterface<BadCase> {};

// Each failure is reported once; the name is still entered, holding 0, nothing is placed, and
// the declaration after it is read as usual.
TEST_P(XmemBadInput, ReportsAndPlacesNothing)
{
    const BadCase &c = GetParam();
    EXPECT_EQ(compile(std::string(c.program) + "\nconst int after = 3;\n") & 2, 2);
    // Reports of one line come in the order of their columns.
    std::vector<std::string> got = summaries(), expected = c.messages;
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);
    if (c.declared) {
        EXPECT_EQ(held(c.declared), 0u);
    }
    EXPECT_EQ(sent_at(kXmemCode, 1), Bytes{0xFF}) << "nothing placed";
    ASSERT_NE(global("after"), nullptr) << "the next declaration is read";
}

INSTANTIATE_TEST_SUITE_P(
    Declarations, XmemBadInput,
    ::testing::Values(
        BadCase{"StructureValue", "struct r { int a; }; struct r s;\nxdata d { 1, s };",
                {"Type not allowed.  Basic types needed."}, "d"},
        BadCase{"PointerConstant", "xdata d { (char *)5 };",
                {"Type not allowed.  Basic types needed."}, "d"},
        BadCase{"NonConstant", "int i;\nxdata d { 1, i + 1 };", {"Constant expression expected."},
                "d"},
        BadCase{"OnlyRefusedValues", "int i;\nxdata d { i, i };",
                {"Constant expression expected.", "Constant expression expected."}, "d"},
        BadCase{"SizedXdata", "xdata d[10];",
                {"Non-constant xdata not supported in this version of Korvex. Use xalloc instead.",
                 "; is missing/expected."},
                "d"},
        BadCase{"XdataWithoutList", "xdata d 5;", {"{...} / [...] is missing/expected."}, "d"},
        BadCase{"XstringWithoutList", "xstring m \"a\";", {"{...} is missing/expected."}, "m"},
        BadCase{"MissingSeparator", "xdata d { 1 2 };", {", / { is missing/expected."}, "d"},
        BadCase{"StrayToken", "xdata d { 1, ) };", {", / { is missing/expected."}, "d"},
        BadCase{"MissingSeparatorBeforeAWord", "xdata d { 1 x 2 };",
                {", / { is missing/expected.", "x is out of scope/ not declared.",
                 ", / { is missing/expected."},
                "d"},
        BadCase{"ListWithoutItsBrace", "xdata d { 1, 2 ;", {"} is missing/expected."}, "d"}),
    [](const auto &i) { return std::string(i.param.name); });

// A token that is neither "," nor a string is reported and stepped over; the strings read are
// placed as written (adjacent literals are one string, as in C).
TEST_F(XmemData, XstringStepsOverAStrayToken)
{
    EXPECT_EQ(compile("xstring m { \"a\" ) \"b\", c };\n") & 2, 2);
    std::vector<std::string> got = summaries();
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"\" is missing/expected.", "\" is missing/expected.",
                                             ", is missing/expected.", ", is missing/expected."}));
    EXPECT_EQ(sent_at(kXmemCode, 12),
              concat({{'a', 0, 'b', 0}, le32(kXmemPhysical), le32(kXmemPhysical + 2)}));
}

// A list open at the end of the input: one report, and the compile ends.
class XmemOpenList : public XmemData, public ::testing::WithParamInterface<const char *> {};

TEST_P(XmemOpenList, IsReportedOnce)
{
    EXPECT_EQ(compile(GetParam()) & 2, 2);
    EXPECT_EQ(summaries(), std::vector<std::string>{"} is missing/expected."});
}

INSTANTIATE_TEST_SUITE_P(AtTheEnd, XmemOpenList,
                         ::testing::Values("xdata d { 1,", "xstring m { \"a\",", "xdata d {",
                                           "xstring m {", "xdata d { 1\n\n"));

// More than 1024 strings: one report, the first 1024 kept.
TEST_F(XmemData, TooManyXstringsKeepsTheFirst1024)
{
    std::string program = "xstring m {";
    for (int i = 0; i < 1030; ++i)
        program += std::string(i ? "," : "") + "\"" + char('a' + i % 26) + "\"";
    program += "};\n";
    EXPECT_EQ(compile(program) & 2, 2);
    EXPECT_EQ(summaries(),
              std::vector<std::string>{"Internal limit: Too many xstrings, the rest ignored."});
    EXPECT_EQ(held("m"), kXmemPhysical + 2 * 1024);
    EXPECT_EQ(sent_at(physical_to_addr(kXmemPhysical + 2 * 1024 + 4 * 1023), 5),
              concat({le32(kXmemPhysical + 2 * 1023), {0xFF}}))
        << "the table ends with the 1024th string";
}

// A string over 255 characters is cut to 255 with a report.
TEST_F(XmemData, LongStringIsCut)
{
    (void)compile("xstring m { \"" + std::string(300, 'q') + "\" };\n");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Literal string too long, truncated."});
    EXPECT_EQ(held("m"), kXmemPhysical + 256);
    EXPECT_EQ(image_at(kXmemPhysical + 254, 3), (Bytes{'q', 0, 0}));
}

// A name defined before keeps its definition.
TEST_F(XmemData, NameDefinedBeforeIsReported)
{
    EXPECT_EQ(compile("int m;\nxstring m { \"a\" };\n") & 2, 2);
    EXPECT_EQ(summaries(), std::vector<std::string>{"m previously defined."});
    EXPECT_EQ(global("m")->type, 2);
}

// ---- in a function body --------------------------------------------------------------------------

// Declared in a function body, the tables are placed as at the top level, and the name's 4 bytes
// in root code lie out of the function's path (the code jumps over them): the function runs and
// returns its value.
TEST_F(XmemData, InAFunctionBodyTheCodeJumpsOverWhatIsPlaced)
{
    compile_functions();
    // "call f" takes 4 bytes (room for a long call), the loads 4 each: the nop lies at 12.
    ASSERT_EQ(compile(std::string(kLibraries) +
                      "#asm\n call f\n ld de,(m)\n ld bc,(d)\n nop\n#endasm\n"
                      "root int f() {\n"
                      "  xstring m { \"ab\", \"c\" };\n"
                      "  int r;\n"
                      "  xdata d { 7 };\n"
                      "  r = 5;\n"
                      "  return r + 1;\n"
                      "}\n"),
              0)
        << messages_text();
    EXPECT_EQ(messages_text(), "");
    EXPECT_EQ(image_at(kXmemPhysical, 15),
              concat({{'a', 'b', 0, 'c', 0}, le32(kXmemPhysical), le32(kXmemPhysical + 3),
                      {7, 0}}));
    const vsim::RunResult r = run(kRootCode, 100000, vsim::Breakpoint{12, -1});
    ASSERT_EQ(r.reason, vsim::StopReason::breakpoint) << "f returned";
    EXPECT_TRUE(reg("HL", 6));
    EXPECT_TRUE(reg("DE", (kXmemPhysical + 5) & 0xFFFF));
    EXPECT_TRUE(reg("BC", (kXmemPhysical + 13) & 0xFFFF));
}

// A function's address is its own logical address, without the constant; one defined later is
// patched once it is.
TEST_F(XmemData, FunctionAddressesArePatchedWhenDefined)
{
    compile_functions();
    ASSERT_EQ(compile(std::string(kLibraries) +
                      "root int f() { return 1; }\n"
                      "int g();\n"
                      "xdata d { f, g, 9 };\n"
                      "root int g() { return 2; }\n"),
              0)
        << messages_text();
    EXPECT_EQ(messages_text(), "");
    const uint16_t f = static_cast<uint16_t>(addr_offset(global("f")->address[0]));
    const uint16_t g = static_cast<uint16_t>(addr_offset(global("g")->address[0]));
    ASSERT_NE(g, 0);
    EXPECT_EQ(image_at(kXmemPhysical, 6),
              (Bytes{uint8_t(f), uint8_t(f >> 8), uint8_t(g), uint8_t(g >> 8), 9, 0}));
}
