// Expression nodes: the pool with marks, fills from symbols, sizes, value types, constants,
// stack offsets and target addresses.
#include "core/CC_OBJ.h"

#include "core/CC_ER.h"
#include "input/CC_IN.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using ::testing::HasSubstr;

namespace {

// ---- the pool ---------------------------------------------------------------------------------

TEST(ObjectPoolTest, GrowsOnThe53rdTake) {
    ObjectPool pool(64);
    for (int i = 0; i < 52; ++i)
        pool.new_object();
    EXPECT_EQ(pool.capacity(), 64u);
    object *n53 = pool.new_object(); // index 52: only 12 slots left after it
    EXPECT_EQ(pool.capacity(), 128u);
    EXPECT_EQ(pool.index(), 53u);
    n53->value = 1; // still usable memory
}

TEST(ObjectPoolTest, NodesStayValidAcrossGrowth) {
    ObjectPool pool(16);
    std::vector<object *> taken;
    for (int i = 0; i < 200; ++i) {
        object *n = pool.new_object();
        n->value = static_cast<uint32_t>(i);
        taken.push_back(n);
    }
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(taken[static_cast<std::size_t>(i)]->value, static_cast<uint32_t>(i));
}

TEST(ObjectPoolTest, PopMarkGivesBackEverythingAfterIt) {
    ObjectPool pool(64);
    object *before = pool.new_object();
    pool.push_mark();
    object *a = pool.new_object();
    object *b = pool.new_object();
    object *c = pool.new_object();
    a->kind = 3;
    a->value = 99;
    b->kind = 255;
    c->type = 7;
    pool.pop_mark();
    EXPECT_EQ(pool.mark_depth(), 0u);
    object *again = pool.new_object();
    EXPECT_EQ(again, a);
    EXPECT_EQ(again->value, 0u);
    EXPECT_EQ(again->kind, 0);
    EXPECT_EQ(pool.new_object(), b); // its kind 255 was given back with the mark
    EXPECT_NE(before, a);
}

TEST(ObjectPoolTest, NestedMarks) {
    ObjectPool pool(64);
    pool.push_mark();
    object *outer = pool.new_object();
    pool.push_mark();
    pool.new_object();
    pool.new_object();
    pool.pop_mark();
    EXPECT_EQ(pool.index(), 1u);
    pool.pop_mark();
    EXPECT_EQ(pool.index(), 0u);
    EXPECT_EQ(pool.new_object(), outer);
}

TEST(ObjectPoolTest, HeldNodesAreSkipped) {
    ObjectPool pool(64);
    pool.push_mark();
    object *a = pool.new_object();
    pool.pop_mark();
    a->kind = 255; // marked free-but-held after its statement ended
    object *b = pool.new_object();
    EXPECT_NE(b, a);
    EXPECT_EQ(pool.index(), 2u);
}

TEST(ObjectPoolTest, ResetGivesBackAllAndDropsMarks) {
    ObjectPool pool(64);
    object *first = pool.new_object();
    pool.push_mark();
    pool.push_mark();
    pool.new_object()->kind = 255;
    pool.reset();
    EXPECT_EQ(pool.mark_depth(), 0u);
    EXPECT_EQ(pool.index(), 0u);
    EXPECT_EQ(pool.new_object(), first);
    EXPECT_EQ(pool.index(), 1u); // the second node is no longer held
    EXPECT_EQ(pool.new_object()->kind, 0);
}

// ---- sizes, types, constants ------------------------------------------------------------------

struct SizeCase {
    const char *name;
    int32_t type;
    uint16_t size;
};
const SizeCase kSizeCases[] = {
    {"char", 1, 1},  {"int", 2, 2},   {"uint", 3, 2},     {"long", 4, 4},
    {"ulong", 5, 4}, {"float", 7, 4}, {"address", 12, 0}, {"void_like", 11, 0},
    {"zero", 0, 0},  {"unknown_tag", 500, 0},
};
class TypeSize : public ::testing::TestWithParam<SizeCase> {};
TEST_P(TypeSize, Bytes) { EXPECT_EQ(type_size(GetParam().type), GetParam().size); }
INSTANTIATE_TEST_SUITE_P(All, TypeSize, ::testing::ValuesIn(kSizeCases),
                         [](const auto &i) { return std::string(i.param.name); });

object make_const_float(float f) {
    object n;
    obj_set(&n, 0, 7, 0, true);
    std::memcpy(&n.value, &f, sizeof f);
    return n;
}

TEST(ObjectQueries, ConstEquals) {
    object f = make_const_float(1.5f);
    EXPECT_TRUE(obj_const_equals(&f, 1.5));
    EXPECT_FALSE(obj_const_equals(&f, 1.25));
    object i;
    obj_set_int_const(&i, 2);
    EXPECT_TRUE(obj_const_equals(&i, 2.0));
    obj_set_short_const(&i, -1);
    EXPECT_EQ(i.value, 0xFFFFFFFFu);
    EXPECT_TRUE(obj_const_equals(&i, -1.0));
    obj_set_ulong_const(&i, 0xFFFFFFFFu); // compared as a signed 32-bit value
    EXPECT_TRUE(obj_const_equals(&i, -1.0));
    object addr;
    obj_set_address_value(&addr, 5);
    EXPECT_EQ(addr.type, 12);
    EXPECT_EQ(addr.declarator, kDeclPointer);
    EXPECT_FALSE(obj_const_equals(&addr, 5.0));
    object var;
    obj_set(&var, 1, 2, 0, true);
    EXPECT_FALSE(obj_const_equals(&var, 0.0));
}

TEST(ObjectQueries, SizesAndValueTypes) {
    uint16_t dims[2] = {3, 5};
    object arr;
    set_object(&arr, 1, 4, 0x11, nullptr, 0, dims, 2, false, false); // long arr[3][5]
    EXPECT_EQ(obj_size(&arr, 0), 2u);   // the pointer itself
    EXPECT_EQ(obj_size(&arr, 1), 60u);  // the whole array
    EXPECT_EQ(obj_size(&arr, 2), 4u);   // the element type
    EXPECT_EQ(obj_value_type(&arr, 0), 12);
    EXPECT_EQ(obj_value_type(&arr, 2), 4);
    EXPECT_EQ(obj_value_type(&arr, 1), 12); // one level down is still an array

    object ptr;
    obj_set(&ptr, 1, 1, kDeclPointer, true); // char *p
    EXPECT_EQ(obj_size(&ptr, 1), 2u);
    EXPECT_EQ(obj_value_type(&ptr, 1), 1);

    object open;
    set_object(&open, 1, 2, kDeclArray, nullptr, 0, nullptr, 0, false, false); // int a[]
    EXPECT_EQ(obj_size(&open, 1), 0u);

    object lit;
    set_object(&lit, 254, 1, kDeclArray, placeholder_symbol(), 0, nullptr, 0, false, false);
    lit.literal = "hello";
    EXPECT_EQ(obj_array_size(&lit), 6u);

    object stacked;
    obj_set(&stacked, 254, 1, 0, true);
    EXPECT_EQ(obj_type_size(&stacked), 2); // a char on the stack takes a word
}

TEST(ObjectQueries, FunctionTests) {
    symbol fn;
    fn.kind = 1;
    fn.declarator = kDeclFunction;
    object n;
    obj_from_symbol(&n, &fn);
    EXPECT_TRUE(obj_is_function(&n));
    EXPECT_FALSE(obj_is_function_pointer(&n));
    object fp;
    obj_set(&fp, 1, 2, kDeclPointer | (kDeclFunction << 4), true);
    EXPECT_TRUE(obj_is_function_pointer(&fp));
    object c;
    obj_set_int_const(&c, 0);
    EXPECT_FALSE(obj_kind_has_storage(&c, c.kind));
}

TEST(ObjectQueries, FromSymbolCopiesAndMapsFlags) {
    symbol s;
    s.kind = 4;
    s.type = 2;
    s.declarator = 0;
    s.value = -6;
    s.flags[0] = 0x0C | 0x20 | 0x40 | 0x80; // bits 2-3, 5, 6, 7
    s.flags[1] = 0x20 | 0x40 | 0x80 | 0x1F; // made, 6, 7, bits 8-12 of the word
    object n;
    obj_from_symbol(&n, &s);
    EXPECT_EQ(n.kind, 3);
    EXPECT_EQ(static_cast<int32_t>(n.value), -6);
    EXPECT_EQ(n.flags[0] & 0x0F, 0x0D);           // plain flag, bits 2-3
    uint32_t word = n.flags[0] | (n.flags[1] << 8);
    EXPECT_EQ((word >> 4) & 0x3F, 0x3Fu);         // from sym word bits 7-12
    EXPECT_EQ(n.flags[1] & 0x0C, 0x0C);           // from sym[0] bits 6 and 5
    EXPECT_EQ(n.flags[1] & 0x30, 0);              // cleared
    EXPECT_EQ(n.flags[1] & 0x40, 0x40);           // sym[1] bit 5
    EXPECT_EQ(n.flags[1] & 0x80, 0x80);           // sym[1] bit 6
    EXPECT_EQ(n.flags[2], 1);                     // sym[1] bit 7
    EXPECT_EQ(n.flags[3], 1);
    s.flags[1] = 0;
    obj_from_symbol(&n, &s);
    EXPECT_EQ(n.flags[1] & 0x40, 0); // not writable without the made bit
}

// ---- host-dependent queries -----------------------------------------------------------------------

class RecordingHost : public ObjHost {
public:
    struct Ref {
        std::string name;
        uint32_t flags;
        bool data;
    };
    std::vector<Ref> refs;
    ADDR24 label_address = make_addr(0x04, 0xEFF0);
    bool short_option = true;
    int16_t depth = 4;
    bool frame_bits = false;
    int16_t adjust1 = -2, adjust2 = 3;
    uint16_t kind = 0;
    ADDR24 reference_label(const char *name, uint32_t flags, bool data) override {
        refs.push_back({name, flags, data});
        return label_address;
    }
    bool label_defined(const char *name) override { return std::string(name) == "known"; }
    bool short_displacement_option() override { return short_option; }
    int16_t stack_depth() override { return depth; }
    bool frame_option_bits() override { return frame_bits; }
    int16_t pending_adjust_1() override { return adjust1; }
    int16_t pending_adjust_2() override { return adjust2; }
    uint16_t compile_kind() override { return kind; }
};

class ObjHostFixture : public ::testing::Test {
protected:
    RecordingHost host;
    void SetUp() override {
        reset_addr_state();
        reset_input_state();
        reset_errors();
        reset_error_seen_and_fatal();
        set_compile_mode_word(0);
        set_obj_host(&host);
    }
    void TearDown() override {
        set_obj_host(nullptr);
        reset_errors();
        reset_error_seen_and_fatal();
    }
};

struct ShortCase {
    const char *name;
    int16_t offset;
    int16_t result;
};
const ShortCase kShortCases[] = {
    {"low_edge", -128, -128}, {"below", -129, 0}, {"high_edge", 125, 125},
    {"just_above", 126, 0},   {"zero", 0, 0},
};
class ShortOffset : public ObjHostFixture, public ::testing::WithParamInterface<ShortCase> {};
TEST_P(ShortOffset, Range) {
    object n;
    obj_set(&n, 2, 2, 0, true); // automatic variable
    n.value = static_cast<uint32_t>(static_cast<int32_t>(GetParam().offset));
    EXPECT_EQ(obj_short_offset(&n), GetParam().result);
}
INSTANTIATE_TEST_SUITE_P(All, ShortOffset, ::testing::ValuesIn(kShortCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ObjHostFixture, ShortOffsetNeedsOptionAndAutomatic) {
    object n;
    obj_set(&n, 2, 2, 0, true);
    n.value = 10;
    host.short_option = false;
    EXPECT_EQ(obj_short_offset(&n), 0);
    host.short_option = true;
    n.kind = 1;
    EXPECT_EQ(obj_short_offset(&n), 0);
}

TEST_F(ObjHostFixture, StackOffsetAddsDepthAndPendingAdjustments) {
    object n;
    obj_set(&n, 2, 2, 0, true);
    n.value = static_cast<uint32_t>(-6);
    EXPECT_EQ(obj_stack_offset(&n), -6 + 4 + 2 + 3);
    host.frame_bits = true;
    EXPECT_EQ(obj_stack_offset(&n), -6 + 4);
}

TEST_F(ObjHostFixture, AddressOfPlaceholderIsLabelReferencePlusDisplacement) {
    object n;
    set_object(&n, 254, 2, 0, placeholder_symbol(), 0x10, nullptr, 0, true, false);
    n.name = "table";
    ADDR24 a = obj_address(&n, 0x10, 0x10000);
    ASSERT_EQ(host.refs.size(), 1u);
    EXPECT_EQ(host.refs[0].name, "table");
    EXPECT_EQ(host.refs[0].flags, 0x10000u | 2u);
    EXPECT_TRUE(host.refs[0].data);
    EXPECT_EQ(a, make_addr(0x05, 0xE010)); // 0xEFF0 + 0x20 crosses the page end
}

TEST_F(ObjHostFixture, AddressOfFunctionKnownOrReferenced) {
    symbol fn;
    fn.kind = 1;
    fn.declarator = kDeclFunction;
    char name[] = "main";
    fn.name = name;
    object n;
    obj_from_symbol(&n, &fn);
    EXPECT_FALSE(obj_address_known(&n));
    EXPECT_EQ(obj_address(&n, 0, 0), host.label_address);
    ASSERT_EQ(host.refs.size(), 1u);
    EXPECT_EQ(host.refs[0].flags, 3u);
    fn.address[0] = make_addr(0, 0x1234);
    obj_from_symbol(&n, &fn);
    EXPECT_TRUE(obj_address_known(&n));
    EXPECT_EQ(obj_address(&n, 2, 0), make_addr(0, 0x1236));
    EXPECT_EQ(host.refs.size(), 1u);
}

TEST_F(ObjHostFixture, AddressOfVariableUsesSymbolAddressAndOffset) {
    symbol v;
    v.kind = 1;
    v.type = 2;
    v.value = -6;
    v.address[0] = make_addr(0, 0x0002);
    char name[] = "v";
    v.name = name;
    object n;
    obj_from_symbol(&n, &v);
    EXPECT_EQ(obj_address(&n, 2, 0), make_addr(0, 0xFFFE)); // root offsets wrap in 16 bits
    EXPECT_TRUE(host.refs.empty());
}

TEST_F(ObjHostFixture, WatchCompileReferencesCarryBit6) {
    host.kind = 1;
    object n;
    set_object(&n, 254, 2, 0, placeholder_symbol(), 0, nullptr, 0, true, false);
    n.name = "x";
    obj_address(&n, 0, 0);
    ASSERT_EQ(host.refs.size(), 1u);
    EXPECT_EQ(host.refs[0].flags & 0x40, 0x40u);
}

TEST_F(ObjHostFixture, LabelKnownThroughLabelTable) {
    symbol l;
    l.kind = 252;
    char known[] = "known";
    l.name = known;
    object n;
    obj_from_symbol(&n, &l);
    EXPECT_TRUE(obj_address_known(&n));
    char other[] = "other";
    l.name = other;
    EXPECT_FALSE(obj_address_known(&n));
}

TEST_F(ObjHostFixture, AddressOfConstantReportedOnceBeforeOtherErrors) {
    object c;
    obj_set_int_const(&c, 5);
    EXPECT_EQ(obj_address(&c, 0, 0), kDummyAddress);
    ASSERT_NE(gMessageList, nullptr);
    EXPECT_THAT(gMessageList->summary, HasSubstr("Internal error: attempt to address a constant value."));
    EXPECT_EQ(gMessageList->next, nullptr);
    obj_address(&c, 0, 0); // an error has been seen now: not reported again
    EXPECT_EQ(gMessageList->next, nullptr);
}

// Without a host of the code generator's, labels come from the label tables.
TEST(ObjBuiltinHost, LabelsComeFromTheLabelTables) {
    set_obj_host(nullptr);
    reset_addr_state();
    reset_labels(kCloseLocal | kCloseGlobal | kCloseSilent);
    define_label("here", make_addr(0, 0x1234), kLabelGlobal);

    symbol l;
    l.kind = 252;
    char here[] = "here";
    l.name = here;
    object label;
    obj_from_symbol(&label, &l);
    EXPECT_TRUE(obj_address_known(&label));
    char absent[] = "absent";
    l.name = absent;
    EXPECT_FALSE(obj_address_known(&label));

    object n;
    set_object(&n, 254, 2, 0, placeholder_symbol(), 0x10, nullptr, 0, true, false);
    n.name = "here";
    EXPECT_EQ(obj_address(&n, 2, 0), make_addr(0, 0x1246)); // the label plus 0x10 + 2
    reset_labels(kCloseLocal | kCloseGlobal | kCloseSilent);
    EXPECT_FALSE(obj_address_known(&label));
}

} // namespace
