// C declarations through the real compile entry: type specifiers and declarators as the symbol
// table keeps them, structure and union layout, enumerations, initialised data among the
// constants and zeroed variables, and the messages of faulty declarations. Function bodies go
// to a recording double (which can read the declarations at the start of a body); initialisers
// are checked as assignments are.
#include <gtest/gtest.h>

#include "CompileRunFixture.h"
#include "DeclarationDoubles.h"

#include "core/CC_ADDR.h"
#include "parser/CC_DECL.h"
#include "parser/CC_DECLR.h"
#include "driver/CC_FIOZ8.h"
#include "core/SEAM_CODEGEN.h"
#include "core/CC_STAB.h"
#include "core/SEAM_DECL.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace compile_run;

class Declarations : public CompileRun {
protected:
    RecordingFunctionDefinitions functions;

    void SetUp() override
    {
        CompileRun::SetUp();
        set_declaration_seam(nullptr);  // the declaration parser
        set_function_definition_seam(&functions);
    }
    void TearDown() override
    {
        set_function_definition_seam(nullptr);
        CompileRun::TearDown();
    }

    // Every message's summary, in order.
    static std::vector<std::string> summaries()
    {
        std::vector<std::string> out;
        for (const Message &m : messages())
            out.push_back(m.summary);
        return out;
    }

    static const symbol *global(const char *name) { return find_symbol(name, false, kGlobalTable); }

    // The members of a tag: offsets in declaration order.
    static std::vector<int> offsets(const char *tag)
    {
        std::vector<int> out;
        int32_t cursor = -1;
        while (const symbol *m = next_tag_member(find_tag(tag), cursor))
            out.push_back(m->value);
        return out;
    }
};

// ---- the program a new user tries ------------------------------------------------------------------

TEST_F(Declarations, StructureArrayStringAndVariableReachTheirPlaces)
{
    ASSERT_EQ(compile("struct rec { char tag; int count; long total; };\n"
                      "const struct rec r = { 7, 300, 70000 };\n"
                      "const int tbl[] = { 10, 20, 30 };\n"
                      "const char name[5] = \"abcd\";\n"
                      "int counter;\n"
                      "#asm\n"
                      " ld hl,(tbl+4)\n"
                      " ld a,(r+tag)\n"
                      " ld de,(r+count)\n"
                      "#endasm\n"),
              0)
        << messages_text();
    EXPECT_EQ(messages_text(), "");
    run(kRootCode);
    EXPECT_TRUE(reg("HL", 30));
    EXPECT_TRUE(reg("A", 7));
    EXPECT_TRUE(reg("DE", 300));

    const symbol *r = global("r");
    const symbol *name = global("name");
    ASSERT_NE(r, nullptr);
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(memory(static_cast<uint16_t>(addr_offset(r->address[0]) + 3), {0x70, 0x11, 0x01, 0x00}));
    EXPECT_TRUE(memory(addr_offset(name->address[0]), {'a', 'b', 'c', 'd', 0}));
    EXPECT_EQ(global("tbl")->dims[0], 3);
    EXPECT_EQ(global("tbl")->size, 6);

    const symbol *counter = global("counter");
    ASSERT_NE(counter, nullptr);
    EXPECT_EQ(counter->kind, 1);
    EXPECT_EQ(counter->size, 2);
    EXPECT_GE(addr_offset(counter->address[0]), 0x9000);
    EXPECT_LE(addr_offset(counter->address[0]), kVariables - 1);
    EXPECT_TRUE(counter->flags[kSymNotInitialised.byte] & kSymNotInitialised.mask);
    EXPECT_FALSE(r->flags[kSymNotInitialised.byte] & kSymNotInitialised.mask);
    EXPECT_TRUE(counter->flags[kSymDefined.byte] & kSymDefined.mask);

    // Each global enters the global data list; the data ranges go to the listing.
    std::vector<std::string> listed;
    for (const auto &item : linker.data_items)
        listed.push_back(item.name);
    EXPECT_EQ(listed, (std::vector<std::string>{"r", "tbl", "name", "counter"}));
    bool data = false, list = false;
    for (const auto &rec : linker.list_records) {
        data |= rec.kind == 2 && rec.start == r->address[0];
        list |= rec.kind == 4 && rec.start == r->address[0];
    }
    EXPECT_TRUE(data);
    EXPECT_TRUE(list);
}

// A brace list's range is listed with the code of the compile it belongs to: 4 in a program,
// 3 in the BIOS; its data as data (2) in both.
TEST_F(Declarations, BraceListsAreListedAsTheirCompilesCode)
{
    for (const bool bios : {false, true}) {
        linker.list_records.clear();
        const std::string text = "const int t[] = { 1, 2 };\n";
        ASSERT_EQ(bios ? compile_bios(text) : compile(text), 0) << messages_text();
        const symbol *t = global("t");
        ASSERT_NE(t, nullptr);
        std::set<int> kinds;
        for (const auto &rec : linker.list_records)
            if (rec.start == t->address[0])
                kinds.insert(rec.kind);
        EXPECT_EQ(kinds, (std::set<int>{2, bios ? 3 : 4})) << (bios ? "BIOS" : "program");
    }
}

// ---- declarators ---------------------------------------------------------------------------------

struct Shape {
    const char *name;
    const char *program;
    int32_t type;
    uint32_t word;
    std::vector<uint16_t> dims;
    uint16_t size;
};

const Shape kShapes[] = {
    {"Unsigned", "unsigned a;", 3, 0, {}, 2},
    {"UnsignedShortInt", "unsigned short int a;", 3, 0, {}, 2},
    {"Char", "char a;", 1, 0, {}, 1},
    {"UnsignedChar", "unsigned char a;", 1, 0, {}, 1},
    {"Short", "short a;", 2, 0, {}, 2},
    {"LongInt", "long int a;", 4, 0, {}, 4},
    {"UnsignedLong", "unsigned long a;", 5, 0, {}, 4},
    {"Double", "double a;", 7, 0, {}, 4},
    {"ArrayOfPointers", "int *a[3];", 2, 0x21, {3}, 6},
    {"PointerToArray", "int (*a)[3];", 2, 0x12, {3}, 2},
    {"TwoDimensions", "long a[2][3];", 4, 0x11, {2, 3}, 24},
    {"ConstPointerLevel", "int * const * a;", 2, 0x62, {}, 2},
    {"ConstArrayElements", "const char a[4] = \"abc\";", 1, 0x45, {4}, 4},
    {"TypedefArray", "typedef int row[4];\nrow a[2];", 2, 0x11, {2, 4}, 16},
    {"TypedefPointer", "typedef char *text;\ntext a[3];", 1, 0x21, {3}, 6},
    {"TypedefPointerToIt", "typedef long quad[2];\nquad *a;", 4, 0x12, {2}, 2},
    {"UnsizedFromList", "const int a[] = {1, 2, 3, 4};", 2, 0x45, {4}, 8},
    {"UnsizedFromString", "const char a[] = \"hi\";", 1, 0x45, {3}, 3},
    {"Structure", "struct p { char x; long y; };\nstruct p a[2];", 16, 0x1, {2}, 10},
    {"Enumeration", "enum e { E0 };\nenum e a;", 2, 0, {}, 2},
};

class DeclaratorShapes : public Declarations, public ::testing::WithParamInterface<Shape> {};

TEST_P(DeclaratorShapes, TypeWordDimensionsAndSize)
{
    const Shape &c = GetParam();
    compile(c.program);
    const symbol *a = global("a");
    ASSERT_NE(a, nullptr) << messages_text();
    if (c.type >= 16)
        EXPECT_TRUE(is_tag_type(a->type));
    else
        EXPECT_EQ(a->type, c.type);
    EXPECT_EQ(a->declarator, c.word) << std::hex << a->declarator;
    EXPECT_EQ(std::vector<uint16_t>(a->dims, a->dims + a->dim_count), c.dims);
    EXPECT_EQ(a->size, c.size);
}

INSTANTIATE_TEST_SUITE_P(All, DeclaratorShapes, ::testing::ValuesIn(kShapes),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- messages ------------------------------------------------------------------------------------

struct Fault {
    const char *name;
    std::string program;
    std::vector<std::string> expected;
};

const std::string kDeepParentheses = "int " + std::string(5000, '(') + "a;\n";
const std::string kDeepStructures = [] {
    std::string s;
    for (int i = 0; i < 200; ++i)
        s += "struct s" + std::to_string(i) + " {\n";
    return s;
}();

const Fault kFaults[] = {
    {"EightLevels", "int ********a;", {"Declaration is too complicated."}},
    {"EightDimensions", "char a[1][1][1][1][1][1][1][1];", {"Too many dimensions."}},
    {"DimensionTooLarge", "char a[40000];",
     {"Array dimension is too large; the size of a dimension cannot exceed 32767."}},
    {"ProductTooLarge", "char a[200][200];",
     {"Total size of dimensions is too large; the product of the dimensions cannot exceed 32767."}},
    {"NegativeDimension", "char a[-40000];", {"Array dimension must be at least 1."}},
    {"ZeroDimension", "char a[0];", {"Array dimension must be at least 1."}},
    {"TypedefLevelsMergedPastSeven", "typedef int *******p7;\np7 *a;",
     {"Declaration is too complicated."}},
    {"TypedefDimensionsMergedPastSeven", "typedef char d7[1][1][1][1][1][1][1];\nd7 a[1];",
     {"Too many dimensions."}},
    {"DeepParentheses", kDeepParentheses, {"Declaration is too complicated."}},
    {"DeepStructures", kDeepStructures, {"Declaration is too complicated."}},
    {"MissingBracket", "char a[4;", {"']' expected."}},
    {"IndexedFunction", "int f[4]();", {"Only cofunctions can be indexed."}},
    {"CofunctionOfNoInstances", "cofunc int f[64]();",
     {"A cofunction can have from 1 to 62 instances."}},
    {"GlobalAuto", "auto int g;", {"Auto is not a valid choice for global objects."}},
    {"GlobalRegister", "register int g;",
     {"Register is not a valid choice for global objects."}},
    {"InitialisedWithoutConst", "int x = 5;",
     {"Initialized variables are placed in flash as constants. Use keyword 'const' to remove this warning."}},
    {"InitialisedConst", "const int x = 5;", {}},
    {"ConstWithoutValue", "const int y;", {"Variables declared 'const' must have an initializer."}},
    {"InitialisedPointer", "char *p = 0;",
     {"Initialized variables are placed in flash as constants. Use keyword 'const' to remove this warning.",
      "Use \"* const\" for constant pointers. For example, a constant pointer to type int is \"int * const\", not \"const int *\".",
      "Type mismatch: incompatible types char* and int used in expression."}},
    {"DuplicateConst", "const int const c = 1;",
     {"Duplicate 'const' keywords not allowed in this context."}},
    {"VoidObject", "void v;", {"No variable can be of type void."}},
    {"OwnTagAsMember", "struct s { int a; struct s inner; };",
     {"A definition cannot contain itself as a data member."}},
    {"ArrayOfOwnTag", "struct s { struct s many[2]; };",
     {"A definition cannot contain itself as a data member."}},
    {"PointerToOwnTag", "struct s { struct s *next; int v; };", {}},
    {"DefinitionReadTwice", "struct s { int a; char b; };\nstruct s { int a; char b; };",
     {"s previously defined."}},
    {"MemberTwice", "struct s { int a; char a; };", {"a previously defined."}},
    {"BadMemberType", "struct s { int a; widget w; };\nint after;", {"Bad type widget."}},
    {"UndefinedEnumTag", "enum colour c;", {"enum colour is not previously defined."}},
    {"StructOnUnionTag", "union u { int a; };\nstruct u x;", {"u previously used as union tag."}},
    {"EnumOnStructTag", "struct t { int a; };\nenum t x;", {"t previously used as struct tag."}},
    {"UnsignedEnumValue", "enum { A = 40000u };", {"enum initializer should be of type int."}},
    {"LongEnumValue", "enum { A = 70000 };", {"enum initializer should be of type int."}},
    {"FloatEnumValue", "enum { A = 1.5 };", {"enum initializer must be of type int."}},
    {"EnumWithoutName", "enum { A, 5 };", {"Expecting a symbol name for an enum member."}},
    {"EnumWithoutComma", "enum { A B };", {"Expecting '}' or ',' in the enum list."}},
    {"StringFits", "const char s[5] = \"abcd\";", {}},
    {"StringWithoutTerminator", "const char s[5] = \"abcde\";",
     {"A char array that has an initializer the same length as the array will not be null-terminated."}},
    {"StringTooLong", "const char s[5] = \"abcdef\";", {"String is too long."}},
    {"NonConstantInitialiser", "int v;\nconst int w = v;", {"Constant initializer expected."}},
    {"TooManyInitialisers", "const char t[2] = {1, 2, 3};", {"} is missing/expected."}},
    {"ListOpenAtEnd", "const int t[] = {1, 2", {"} is missing/expected."}},
    {"ImplicitVariable", "x;",
     {"Need function definition or declaration.", "Syntax error - or garbage at end of program."}},
    {"UnsizedWithoutInitialiser", "int a[];", {"Dimension missing."}},
    {"StructureNotDefined", "struct later s;", {"Struct use before definition."}},
    {"ExternThenDefinition", "extern int e;\nint e;", {}},
    {"NoSeparatorAfterDeclarator", "int a b;", {"Bad declaration: ',' ';' or '=' expected."}},
    {"InconsistentSharing", "extern shared int g;\nint g;",
     {"g has inconsistent shared attribute declaration."}},
    {"SharedPointer", "shared char *p;\nprotected long l;", {}},
    {"Port", "ioi char p @ 0x30;\nioe int q @ 0x4000, r @ 0x4002;", {}},
    {"ExternPortThenItsAddress", "extern ioi char p;\nioi char p @ 0x30;", {}},
    {"PortAddressNotConstant", "int v;\nioi char p @ v;",
     {"Only constant values allowed for IO addresses."}},
    {"PortWithoutAddress", "ioe int p;", {"Only constant values allowed for IO addresses."}},
    {"PortPointer", "ioi char *p @ 0x30;", {"No IO address fixing for pointer types."}},
    {"PortInitialised", "ioi char p = 5;", {"No ititializers allowed with IO attribute."}},
    {"SharedPort", "shared ioi char p @ 0x30;",
     {"Shared & protected: for Global,External and Pointers only."}},
};

class DeclarationFaults : public Declarations, public ::testing::WithParamInterface<Fault> {};

TEST_P(DeclarationFaults, ReportOnce)
{
    compile(GetParam().program);
    std::vector<std::string> got = summaries();
    std::vector<std::string> expected = GetParam().expected;
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected) << messages_text();
}

INSTANTIATE_TEST_SUITE_P(All, DeclarationFaults, ::testing::ValuesIn(kFaults),
                         [](const auto &i) { return std::string(i.param.name); });

// A port lies at its address in its I/O space, and nothing of it in the variable area.
TEST_F(Declarations, PortsTakeTheirAddressAndSpace)
{
    ASSERT_EQ(compile("int before;\nioi char p @ 0x30;\nioe int q @ 0x4000;\nint after;"), 0)
        << messages_text();
    const symbol *p = global("p");
    const symbol *q = global("q");
    ASSERT_NE(p, nullptr);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(p->address[0], make_addr(0, 0x30));
    EXPECT_EQ(q->address[0], make_addr(0, 0x4000));
    EXPECT_EQ(p->flags[2] & 3, kIoInternal);
    EXPECT_EQ(q->flags[2] & 3, kIoExternal);
    EXPECT_EQ(global("before")->flags[2] & 3, kIoNone);
    // The variables around them are next to each other.
    EXPECT_EQ(addr_offset(global("before")->address[0]) - addr_offset(global("after")->address[0]),
              2);
}

TEST_F(Declarations, GlobalAutoGoesOnAsAGlobal)
{
    compile("auto int g;\nint h;");
    ASSERT_NE(global("g"), nullptr);
    EXPECT_EQ(global("g")->kind, 1);
    ASSERT_NE(global("h"), nullptr);
}

TEST_F(Declarations, StorageClassesGiveTheirKinds)
{
    compile("static int s;\nextern int e;\ntypedef int t;\nint g;");
    EXPECT_EQ(global("s")->kind, 3);  // a static global is kept as a static
    EXPECT_EQ(global("e")->kind, 252);
    EXPECT_EQ(global("e")->address[0], kDummyAddress);
    EXPECT_EQ(global("t")->kind, 7);
    EXPECT_EQ(global("g")->kind, 1);
}

TEST_F(Declarations, ExternReceivesItsDefinitionsPlace)
{
    compile("extern int e;\nint other;\nint e;");
    const symbol *e = global("e");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->kind, 1);
    EXPECT_NE(e->address[0], kDummyAddress);
    EXPECT_NE(e->address[0], global("other")->address[0]);
}

TEST_F(Declarations, InitialisedDataLiesAmongTheConstants)
{
    compile("int x = 5;\nint y;");
    const symbol *x = global("x");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(addr_offset(x->address[0]), kConstants);
    EXPECT_EQ(sent_at(x->address[0], 2), (std::vector<uint8_t>{5, 0}));
    EXPECT_GE(addr_offset(global("y")->address[0]), 0x9000);
}

// An initialiser is checked as the same value assigned to the object: its messages, and its
// data all the same.
struct InitialiserCase {
    const char *name;
    const char *declaration;
    std::vector<std::string> messages;
};
const InitialiserCase kInitialisers[] = {
    {"converted_scalar", "const long l = 3;", {}},
    {"demoted_scalar", "const char c = 70000;", {}},
    {"string_to_char_pointer", "const char *const s = \"ab\";", {}},
    {"int_to_int_pointer",
     "const int *const p = 7;",
     {"Type mismatch: assigning a value of type 'int' to 'const int* const '."}},
    {"int_to_char_pointer",
     "const char *const p = 7;",
     {"Type mismatch: incompatible types const char* const  and int used in expression."}},
};

class DeclarationInitialisers : public Declarations,
                                public ::testing::WithParamInterface<InitialiserCase> {};

TEST_P(DeclarationInitialisers, ReportAsAnAssignmentWould)
{
    const InitialiserCase &c = GetParam();
    compile(std::string(c.declaration) + "\nint after;");
    EXPECT_EQ(summaries(), c.messages) << c.declaration;
    EXPECT_NE(global("after"), nullptr) << "the compile goes on";
}
INSTANTIATE_TEST_SUITE_P(All, DeclarationInitialisers, ::testing::ValuesIn(kInitialisers),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(Declarations, ScalarsAreConvertedToTheirType)
{
    compile("const char c = 0x1234;\nconst long l = -2;\nconst float f = 1;\n"
            "const unsigned u[3] = {1, 2};");
    EXPECT_EQ(sent_at(global("c")->address[0], 1), (std::vector<uint8_t>{0x34}));
    EXPECT_EQ(sent_at(global("l")->address[0], 4), (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(sent_at(global("f")->address[0], 4), (std::vector<uint8_t>{0, 0, 0x80, 0x3F}));
    EXPECT_EQ(sent_at(global("u")->address[0], 6), (std::vector<uint8_t>{1, 0, 2, 0, 0, 0}));
}

TEST_F(Declarations, TooManyInitialisersWriteNothingPastTheObject)
{
    compile("const char t[2] = {1, 2, 3};\nconst char after = 9;");
    const symbol *t = global("t");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(sent_at(t->address[0], 3), (std::vector<uint8_t>{1, 2, 9}));
}

TEST_F(Declarations, NestedBracesAndElidedBraces)
{
    compile("struct pt { char x; int y; };\n"
            "const struct pt line[2] = { {1, 2}, 3, 4 };\n"
            "const char grid[2][2] = { {5}, {6, 7} };");
    EXPECT_EQ(sent_at(global("line")->address[0], 6), (std::vector<uint8_t>{1, 2, 0, 3, 4, 0}));
    EXPECT_EQ(sent_at(global("grid")->address[0], 4), (std::vector<uint8_t>{5, 0, 6, 7}));
}

TEST_F(Declarations, UnionFromABraceListSetsItsFirstMemberOnly)
{
    compile("union u { char c; long l; };\nconst union u x = { 0x41 };\nconst char next = 1;");
    EXPECT_EQ(messages_text(), "");
    EXPECT_EQ(sent_at(global("x")->address[0], 5), (std::vector<uint8_t>{0x41, 0, 0, 0, 1}));
}

TEST_F(Declarations, PointerToAStringLiteralHoldsItsAddress)
{
    compile("const char *const p = \"ok\";");
    const symbol *p = global("p");
    ASSERT_NE(p, nullptr);
    const std::vector<uint8_t> bytes = sent_at(p->address[0], 2);
    const ADDR24 text = make_addr(0, static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)));
    EXPECT_EQ(sent_at(text, 3), (std::vector<uint8_t>{'o', 'k', 0}));
}

// ---- structures and enumerations ------------------------------------------------------------------

TEST_F(Declarations, StructureMembersFollowEachOtherAndUnionMembersOverlap)
{
    compile("struct s { char a; int b; long c; };\nunion u { char a; int b; long c; };");
    EXPECT_EQ(offsets("s"), (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(tag_size(find_tag("s")), 7);
    EXPECT_EQ(offsets("u"), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(tag_size(find_tag("u")), 4);
}

TEST_F(Declarations, DefinitionReadTwiceKeepsOneMemberList)
{
    compile("struct s { int a; char b; };\nstruct s { int a; char b; };");
    EXPECT_EQ(offsets("s"), (std::vector<int>{0, 2}));
}

TEST_F(Declarations, StructurePastSixtyFourKilobytesLeavesTheMemberOut)
{
    compile("struct big { char a[30000]; char b[30000]; char c[30000]; char d; };");
    ASSERT_EQ(summaries().size(), 1u) << messages_text();
    EXPECT_EQ(summaries()[0], "Structure is too large; its size cannot exceed 65535 bytes.");
    EXPECT_EQ(tag_size(find_tag("big")), 60001);
}

TEST_F(Declarations, EnumeratorsCountOnFromTheLastValue)
{
    compile("enum {A, B = 10, C};\nenum e { D = -2, E };");
    const char *names[] = {"A", "B", "C", "D", "E"};
    const int values[] = {0, 10, 11, -2, -1};
    for (int i = 0; i < 5; ++i) {
        const symbol *s = global(names[i]);
        ASSERT_NE(s, nullptr) << names[i];
        EXPECT_EQ(s->value, values[i]) << names[i];
        EXPECT_EQ(s->kind, 9);
        EXPECT_EQ(s->type, 2);
    }
}

TEST_F(Declarations, EnumerationConstantsServeAsDimensions)
{
    compile("enum { N = 6 };\nchar a[N * 2];");
    EXPECT_EQ(global("a")->size, 12);
}

// ---- functions -------------------------------------------------------------------------------------

TEST_F(Declarations, FunctionDeclaratorsGoToTheFunctionCompiler)
{
    compile("int f(int a, char b);\nlong g() { return 1; }\nh() {}\ncofunc int k[4](void);\n"
            "int after;");
    EXPECT_EQ(messages_text(), "");
    ASSERT_EQ(functions.calls.size(), 4u);
    EXPECT_EQ(functions.calls[0].name, "f");
    EXPECT_EQ(functions.calls[0].result, 2);
    EXPECT_EQ(functions.calls[1].name, "g");
    EXPECT_EQ(functions.calls[1].result, 1);
    EXPECT_EQ(functions.calls[1].type, 4);
    EXPECT_EQ(functions.calls[2].type, 2);  // without a type: int
    EXPECT_EQ(functions.calls[3].word, 3u);  // a function level, no array level
    EXPECT_EQ(functions.calls[3].instances, 4u);
    EXPECT_NE(global("after"), nullptr);
}

// A function cannot return a const value: const places data in flash. A pointer to const data
// as the result is an ordinary function.
TEST_F(Declarations, ConstFunctionIsReported)
{
    compile("const int f();\nconst char *g();\nint const h();\n");
    EXPECT_EQ(summaries(),
              (std::vector<std::string>{
                  "Keyword 'const' can only be used with globals and static locals.",
                  "Keyword 'const' can only be used with globals and static locals."}));
    ASSERT_EQ(functions.calls.size(), 3u) << "each still goes to the function compiler";
}

// "interrupt retn" is read on the Z180 instruction set, which has the instruction; on the
// Vireon set the word is left to the type reader, so the declaration is refused.
struct RetnCase {
    const char *name;
    int processor_selector;
    uint8_t cpu_flag;
    uint32_t kind;  // 0: refused
};

class InterruptKind : public Declarations, public ::testing::WithParamInterface<RetnCase> {
protected:
    void TearDown() override
    {
        set_processor_selector(1);
        Declarations::TearDown();
    }
};

TEST_P(InterruptKind, RetnDependsOnTheInstructionSet)
{
    const RetnCase &c = GetParam();
    set_processor_selector(c.processor_selector);
    uint32_t word = 0;
    functions.body = [&word] { word = current_decl_flags().word; };
    compile("interrupt reti void a() {}\ninterrupt retn void b() {}\n");
    EXPECT_EQ(codegen_seam().cpu_flag(), c.cpu_flag) << "the instruction set compiled for";
    ASSERT_GE(functions.calls.size(), 1u);
    EXPECT_EQ(functions.calls[0].name, "a");
    if (c.kind) {
        EXPECT_EQ(messages_text(), "");
        ASSERT_EQ(functions.calls.size(), 2u);
        EXPECT_EQ(functions.calls[1].name, "b");
        EXPECT_EQ((word & kDeclInterruptMask) >> kDeclInterruptShift, c.kind);
    } else {
        EXPECT_NE(messages_text(), "");
        for (const auto &call : functions.calls)
            EXPECT_NE(call.name, "b");
    }
}

INSTANTIATE_TEST_SUITE_P(Sets, InterruptKind,
                         ::testing::Values(RetnCase{"Z180", 0, 0, 3}, RetnCase{"Vireon", 1, 1, 0}),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- local scope ------------------------------------------------------------------------------------

class LocalDeclarations : public Declarations {
protected:
    std::vector<std::string> seen;  // what the body's declarations entered
    void SetUp() override
    {
        Declarations::SetUp();
        functions.body = [this] {
            set_local_scope(true);
            local_declaration_scope() = LocalDeclarationScope{"f", false, 0};
            (void)parse_declarations(0);
            for (const char *name : {"a", "b", "s"})
                if (const symbol *e = find_symbol(name, false, kLocalTable))
                    seen.push_back(std::string(name) + " " + std::to_string(e->kind) + " " +
                                   std::to_string(e->value));
            set_local_scope(false);
        };
    }
};

TEST_F(LocalDeclarations, AutosCountDownwardAndStaticsArePlacedAsGlobals)
{
    compile("void f() { auto int a; auto long b; static char s; x = 1; }");
    EXPECT_EQ(messages_text(), "");
    EXPECT_EQ(seen, (std::vector<std::string>{"a 2 -2", "b 2 -6", "s 3 0"}));
    ASSERT_EQ(linker.data_items.size(), 1u);
    EXPECT_EQ(linker.data_items[0].name, "f:s");
}

TEST_F(LocalDeclarations, InitialisedAutoWrittenAutoIsRefused)
{
    compile("void f() { auto int a = 1; int b; }");
    EXPECT_EQ(summaries(), (std::vector<std::string>{"Cannot initialize an auto variable."}));
    EXPECT_EQ(seen, (std::vector<std::string>{"a 2 -2", "b 2 -4"}));
}

TEST_F(LocalDeclarations, InitialisedAutoByClassNamesTheClassDirective)
{
    compile("#class auto\nvoid f() { int a = 1; }");
    EXPECT_EQ(summaries(), (std::vector<std::string>{
                               "Cannot initialize an auto variable: \"#class auto\" made it auto."}));
}

TEST_F(LocalDeclarations, SharingIsForGlobalsAndPointersOnly)
{
    compile("void f() { shared static int s; shared static char *p; }");
    EXPECT_EQ(summaries(), (std::vector<std::string>{
                               "Shared & protected: for Global,External and Pointers only."}));
}

TEST_F(LocalDeclarations, BiosLocalWithoutClassWarnsWhenAsked)
{
    IdePreferences().storage_class_warning = true;
    compile_bios("void f() { int a; static int b; auto int c; }");
    IdePreferences().storage_class_warning = false;
    EXPECT_EQ(summaries(),
              (std::vector<std::string>{"To support #class, declare locals variables in library "
                                        "files with an explicit storage class (i.e., static or "
                                        "auto)."}));
}

TEST_F(LocalDeclarations, FunctionDeclaredInABlockIsAnExtern)
{
    compile("void f() { int g(int x, char y), a; }");
    EXPECT_EQ(messages_text(), "");
    EXPECT_EQ(seen, (std::vector<std::string>{"a 2 -2"}));
    const symbol *g = find_symbol("g", false, kGlobalTable);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->kind, 252);
    EXPECT_EQ(g->declarator & 0xF, 3u);
}

TEST_F(LocalDeclarations, ClassStaticPlacesLocalsWithoutClass)
{
    compile("#class static\nvoid f() { int a; }");
    EXPECT_EQ(seen, (std::vector<std::string>{"a 3 0"}));
}

TEST_F(LocalDeclarations, AutosPastTheFrameAreLeftOut)
{
    compile("void f() { char a[30000]; char b[3000]; }");
    EXPECT_EQ(summaries(),
              (std::vector<std::string>{
                  "Local variables of a block are too large; together they cannot exceed 32767 bytes."}));
    EXPECT_EQ(seen, (std::vector<std::string>{"a 2 -30000"}));
}

}  // namespace
