// Loads, stores, pushes and pops of value nodes and the pending value: every type copied from
// every place into a variable on the simulated CPU, the exact lines of the register shuffles and
// address loads, the runtime routines of 4-byte moves run with our runtime library, and the
// refusals of what cannot be moved.
#include "CodegenFixture.h"

#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80LOAD.h"

#include <functional>
#include <ostream>

namespace {

using namespace codegen_test;

constexpr uint32_t kSizeFlag = 1u << 12;  // the function is compiled for size
constexpr uint32_t kFieldF = 1u << 14;    // the six-bit field F, not zero

void use_function(uint32_t options, bool ix = false)
{
    set_codegen_function_context({[=] { return options; }, [=] { return ix; }, {}, {}, {}});
}

// ---- every type from every place, loaded and stored into a second variable -----------------------

struct TypeRow {
    const char *name;
    uint16_t type;
    uint32_t declarator;
    int size;
};

const TypeRow kTypes[] = {
    {"char", 1, 0, 1},     {"int", 2, 0, 2},   {"unsigned", 3, 0, 2},
    {"long", 4, 0, 4},     {"ulong", 5, 0, 4}, {"float", 7, 0, 4},
    {"pointer", 1, kDeclPointer, 2},
};

enum class Place { constant, global, sp_near, sp_far, ix_near, ix_far, stacked };

struct PlaceRow {
    const char *name;
    Place place;
    bool z180_too;  // the Z180 set reaches automatic variables through IX only
};

const PlaceRow kPlaces[] = {
    {"constant", Place::constant, true}, {"global", Place::global, true},
    {"sp_near", Place::sp_near, false},  {"sp_far", Place::sp_far, false},
    {"ix_near", Place::ix_near, true},   {"ix_far", Place::ix_far, true},
    {"stacked", Place::stacked, true},
};

struct CopyCase {
    std::string name;
    TypeRow type;
    PlaceRow place;
    int cpu;  // 1 F80, 0 Z180
};
void PrintTo(const CopyCase &c, std::ostream *os) { *os << c.name; }

std::vector<CopyCase> copy_cases()
{
    std::vector<CopyCase> out;
    for (int cpu : {1, 0})
        for (const TypeRow &t : kTypes)
            for (const PlaceRow &p : kPlaces)
                if (cpu == 1 || p.z180_too)
                    out.push_back({std::string(cpu ? "f80_" : "z180_") + t.name + "_" + p.name,
                                   t, p, cpu});
    return out;
}

// Where the source lies, and the registers that reach it.
constexpr uint16_t kSp = kData + 0x100;
constexpr uint16_t kIx = kData + 0x300;
constexpr uint16_t kTarget = kData + 0x40;
constexpr uint8_t kSource[4] = {0x87, 0x65, 0x43, 0x21};  // low byte with its sign bit set

class ValueCopy : public CodegenTest, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(ValueCopy, LoadThenStoreCopiesTheExactBytes)
{
    const CopyCase &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    const bool ix = c.place.place == Place::ix_near || c.place.place == Place::ix_far;
    use_function(0, ix);
    const uint16_t type = c.type.type;
    const uint32_t decl = c.type.declarator;
    uint16_t at = kData;  // where the source's bytes lie
    object source;
    switch (c.place.place) {
    case Place::constant: {
        uint32_t v = 0;
        for (int i = 0; i < c.type.size; ++i)
            v |= uint32_t(kSource[i]) << (8 * i);
        source = constant(type, v, decl);
        break;
    }
    case Place::global:
    case Place::stacked: source = variable(type, kData, decl); break;
    case Place::sp_near: source = automatic(type, 8, decl); at = kSp + 8; break;
    case Place::sp_far: source = automatic(type, 300, decl); at = kSp + 300; break;
    case Place::ix_near: source = automatic(type, -8, decl); at = kIx - 8; break;
    case Place::ix_far: source = automatic(type, -200, decl); at = kIx - 200; break;
    }
    for (int i = 0; i < 4; ++i)
        data[static_cast<uint16_t>(at + i)] = i < c.type.size ? kSource[i] : 0x99;
    for (int i = 0; i < 5; ++i)
        data[static_cast<uint16_t>(kTarget + i)] = 0xEE;

    const uint32_t start = here();
    gen_load_value(&source);
    if (c.place.place == Place::stacked) {
        gen_push_value(&source);
        EXPECT_EQ(source.kind, 254);
        gen_load_value(&source);
    }
    EXPECT_EQ(source.kind, 255);
    object target = variable(type, kTarget, decl);
    gen_store_registers(&target);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
    EXPECT_EQ(stack_offset(), 0);

    vsim::CpuState initial = fresh_cpu();
    initial.sp = kSp;
    initial.ix = kIx;
    const RunResult r = run(start, addr_offset(here()), &initial);
    ASSERT_TRUE(r.stopped);
    for (int i = 0; i < c.type.size; ++i)
        EXPECT_EQ(ram(static_cast<uint16_t>(kTarget + i)), kSource[i]) << "byte " << i;
    EXPECT_EQ(ram(static_cast<uint16_t>(kTarget + c.type.size)), 0xEE) << "a byte too many";
    EXPECT_EQ(r.cpu.sp, kSp);
}

INSTANTIATE_TEST_SUITE_P(All, ValueCopy, ::testing::ValuesIn(copy_cases()),
                         [](const auto &i) { return i.param.name; });

// ---- exact lines -------------------------------------------------------------------------------------

struct LinesCase {
    const char *name;
    int cpu;
    std::function<void()> emit;
    std::vector<std::string> lines;
};
void PrintTo(const LinesCase &c, std::ostream *os) { *os << c.name; }

const LinesCase kLineCases[] = {
    {"char_byte_request_then_into_hl", 1,
     [] {
         object c = variable(1, kData);
         MoveObject byte(&c);
         byte.load(kRidNone, false, true);
         EXPECT_TRUE(obj_flag(&c, inByteRegister));
         gen_load_value(&c);
         EXPECT_FALSE(obj_flag(&c, inByteRegister));
     },
     {"ld a, (0x8000)", "ld l, a", "ld h, 0"}},
    {"char_in_a_into_bc_and_de", 1,
     [] {
         object c = held(1, 0, true);
         MoveObject bc(&c);
         bc.load(kRidBC, false, false);
         object d = held(1, 0, true);
         MoveObject de(&d);
         de.load(kRidDE, false, false);
     },
     {"ld c, a", "ld b, 0", "ld e, a", "ld d, 0"}},
    {"char_global_widened", 1, [] { object c = variable(1, kData); gen_load_value(&c); },
     {"ld hl, (0x8000)", "ld h, 0"}},
    {"io_char_read_alone", 1,
     [] {
         object c = variable(1, kData);
         set_obj_flag(&c, internalIo, true);
         gen_load_value(&c);
     },
     {"ld a, (0x8000)", "ld l, a", "ld h, 0"}},
    {"int_reloads", 1,
     [] {
         object a = held(2), b = held(2), c = held(2), d = held(2);
         MoveObject(&a).load(kRidA, false, false);
         MoveObject(&b).load(kRidBC, false, false);
         MoveObject(&c).load(kRidDE, false, false);
         MoveObject(&d).load(kRidHL, false, false);
     },
     {"ld a, l", "ld b, h", "ld c, l", "ex de, hl"}},
    {"long_stays_in_bc_de", 1, [] { object l = held(5); gen_load_value(&l); }, {}},
    {"pointer_loaded_as_address_word", 1,
     [] { object p = variable(2, kData, kDeclPointer); gen_load_value(&p); },
     {"ld hl, (0x8000)"}},
    {"array_decays_to_its_address", 1,
     [] {
         static const uint16_t dims[] = {4, 3};
         object a = variable(2, kData + 0x10, kDeclArray | kDeclArray << 4);
         a.dims = dims;
         a.dim_count = 2;
         gen_load_value(&a);
         EXPECT_EQ(decl_level(a.declarator, 0), kDeclPointer);
         EXPECT_EQ(a.dims, dims + 1);
         EXPECT_FALSE(obj_flag(&a, addressInRegisters));
     },
     {"ld hl, 0x8010"}},
    {"address_of_global_into_de", 1,
     [] {
         object g = variable(4, kData + 8);
         MoveObject m(&g);
         m.load(kRidDE, true, false);
         EXPECT_TRUE(obj_flag(&g, addressInRegisters));
     },
     {"ld de, 0x8008"}},
    {"address_of_automatic", 1,
     [] {
         object a = automatic(2, 4);
         gen_load_address_hl(&a);
     },
     {"ld hl, 4", "add hl, sp"}},
    {"address_of_automatic_with_field_f", 1,
     [] {
         use_function(kFieldF);
         object a = automatic(2, 4);
         gen_load_address_hl(&a);
     },
     {"ld hl, 0", "add hl, sp", "push de", "ld de, 4", "add hl, de", "pop de"}},
    {"address_of_automatic_into_bc", 1,
     [] {
         object a = automatic(2, 6);
         MoveObject(&a).load_address(kRidBC);
     },
     {"ld hl, 6", "add hl, sp", "ld b, h", "ld c, l"}},
    {"stacked_address_popped", 1,
     [] {
         object s;
         obj_set(&s, 254, 2, 0, true);
         MoveObject(&s).load_address(kRidDE);
     },
     {"pop de"}},
    {"long_pushed_high_word_first_popped_in_order", 1,
     [] {
         object l = held(5);
         gen_push_value(&l);
         EXPECT_EQ(stack_offset(), -4);
         MoveObject(&l).pop(kRidNone);
         EXPECT_EQ(stack_offset(), 0);
     },
     {"push bc", "push de", "pop de", "pop bc"}},
    {"char_in_a_pushed_as_int", 1,
     [] {
         object c = held(1, 0, true);
         gen_push_value(&c);
         EXPECT_EQ(c.type, 2);
     },
     {"ld l, a", "ld h, 0", "push hl"}},
    {"held_address_pushed", 1, [] { object a = held_address(5); gen_push_value(&a); },
     {"push hl"}},
    {"char_stored_from_l", 1,
     [] {
         object c = variable(1, kData);
         gen_store_registers(&c);
         EXPECT_TRUE(obj_flag(&c, inByteRegister));
         EXPECT_EQ(c.kind, 255);
     },
     {"ld a, l"}},
    {"store_through_stacked_address_f80", 1,
     [] {
         object p;
         obj_set(&p, 254, 2, 0, true);
         gen_store_registers(&p);
         EXPECT_EQ(stack_offset(), 2);
     },
     {"pop iy", "ld (iy+0), hl"}},
    // the Z180 has no "ld (iy+d), hl"
    {"store_through_stacked_address_z180", 0,
     [] {
         object p;
         obj_set(&p, 254, 3, 0, true);
         gen_store_registers(&p);
     },
     {"pop iy", "ld (iy+0), l", "ld (iy+1), h"}},
    {"int_automatic_beyond_displacement_through_bc", 1,
     [] {
         object a = automatic(2, 300);
         gen_store_registers(&a);
     },
     {"ld b, h", "ld c, l", "ld hl, 300", "add hl, sp", "ld h, b", "ld l, c"}},
    {"store_suppressed_only_clears_its_bits", 1,
     [] {
         object g = variable(2, kData);
         set_obj_flag(&g, storeSuppressed, true);
         set_obj_flag(&g, noLoadNeeded, true);
         gen_store_registers(&g);
         EXPECT_FALSE(obj_flag(&g, storeSuppressed));
         EXPECT_FALSE(obj_flag(&g, noLoadNeeded));
         EXPECT_EQ(g.kind, 1);
     },
     {}},
    {"no_code_node_emits_nothing", 1,
     [] {
         object g = variable(2, kData);
         set_obj_flag(&g, noCode, true);
         gen_load_value(&g);
         gen_store_registers(&g);
     },
     {}},
    {"no_load_needed", 1,
     [] {
         object g = variable(2, kData);
         set_obj_flag(&g, noLoadNeeded, true);
         gen_load_value(&g);
         EXPECT_EQ(g.kind, 1);
     },
     {}},
    {"void_value_needs_no_load", 1, [] { object v = variable(12, kData); gen_load_value(&v); },
     {}},
    {"value_as_int_char_in_hl_retyped", 1,
     [] {
         object c = held(1);
         gen_load_value_as_int(&c);
         EXPECT_EQ(c.type, 2);
         object a = held(1, 0, true);
         gen_load_value_as_int(&a);
         EXPECT_EQ(a.type, 1);
         object g = variable(1, kData);
         gen_load_value_as_int(&g);
         EXPECT_TRUE(obj_flag(&g, inByteRegister));
     },
     {"ld a, (0x8000)"}},
    {"fresh_constants", 1,
     [] {
         object pending = held(2);
         defer_load(&pending, false);
         set_condition_state(true, true);
         gen_load_register_const(kRidDE, 7);
         EXPECT_EQ(pending_value(), &pending) << "DE leaves HL alone";
         gen_load_new_value(42);
         EXPECT_EQ(pending.kind, 254);
         EXPECT_FALSE(comparison_result_in_registers());
     },
     {"ld de, 0x7", "push hl", "ld hl, 0x2a"}},
};

class MoveLines : public CodegenTest, public ::testing::WithParamInterface<LinesCase> {};

TEST_P(MoveLines, AreWritten)
{
    (void)select_target_cpu(0, GetParam().cpu == 1 ? 0 : 1);
    GetParam().emit();
    EXPECT_EQ(lines(), GetParam().lines);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
}

INSTANTIATE_TEST_SUITE_P(All, MoveLines, ::testing::ValuesIn(kLineCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, PopToRegistersPopsAStackedValueAndTellsWhetherMemoryFollows)
{
    object s;
    obj_set(&s, 254, 4, 0, false);
    EXPECT_FALSE(MoveObject(&s).pop_to_registers());
    EXPECT_EQ(s.kind, 255);
    EXPECT_EQ(lines(), (std::vector<std::string>{"pop de", "pop bc"}));
    object g = variable(2, kData);
    EXPECT_TRUE(MoveObject(&g).pop_to_registers());
    object h = held(2);
    EXPECT_FALSE(MoveObject(&h).pop_to_registers());
    object c = constant(2, 1);
    EXPECT_FALSE(MoveObject(&c).pop_to_registers());
}

// ---- runs of addresses, pushes and the stores that go through HL -----------------------------------

TEST_F(CodegenTest, AddressOfAnAutomaticIsItsAddressEitherWay)
{
    for (const uint32_t options : {0u, kFieldF}) {
        use_function(options);
        const uint32_t start = here();
        gen_push_register(kRidBC);  // the stack offset counts it
        object a = automatic(2, 4);
        gen_load_address_hl(&a);
        vsim::CpuState initial = fresh_cpu();
        initial.sp = kSp;
        initial.set_de(0x1357);
        const RunResult r = run(start, addr_offset(here()), &initial);
        ASSERT_TRUE(r.stopped);
        EXPECT_EQ(r.cpu.hl(), kSp - 2 + 2 + 4) << "options " << options;
        EXPECT_EQ(r.cpu.de(), 0x1357);
        EXPECT_EQ(r.cpu.sp, kSp - 2);
        gen_pop_register(kRidBC);
    }
}

TEST_F(CodegenTest, LongPushedLeavesItsLowWordAtTheStackPointer)
{
    const uint32_t start = here();
    object l = held(4);
    gen_push_value(&l);
    vsim::CpuState initial = fresh_cpu();
    initial.sp = kSp;
    initial.set_bc(0x1234);
    initial.set_de(0x5678);
    const RunResult r = run(start, addr_offset(here()), &initial);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.sp, kSp - 4);
    const std::vector<uint8_t> stacked = {ram(kSp - 4), ram(kSp - 3), ram(kSp - 2), ram(kSp - 1)};
    EXPECT_EQ(stacked, (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
}

struct StoreRun {
    const char *name;
    int cpu;
    std::function<object()> lvalue;  // its bytes end at kTarget
    std::function<void()> emit_value;
    std::vector<uint8_t> stored;
};
void PrintTo(const StoreRun &c, std::ostream *os) { *os << c.name; }

// Where the stores through HL put their value: automatic variables are placed there by SP or IX.
constexpr uint16_t kStoreAt = kData + 0x200;

object pushed_address()
{
    gen_load_new_value(kStoreAt);
    object p = held_address(2);
    gen_push_value(&p);
    return p;
}

const StoreRun kStoreRuns[] = {
    {"int_through_stacked_address_f80", 1, [] {
         object p = pushed_address();
         p.type = 2;
         return p;
     },
     [] { gen_load_new_value(0x4321); }, {0x21, 0x43}},
    {"int_through_stacked_address_z180", 0, [] {
         object p = pushed_address();
         p.type = 2;
         return p;
     },
     [] { gen_load_new_value(0x4321); }, {0x21, 0x43}},
    {"char_through_stacked_address", 1, [] {
         object p = pushed_address();
         p.type = 1;
         return p;
     },
     [] { gen_load_new_value(0x7F); }, {0x7F}},
    {"long_through_stacked_address", 1, [] {
         object p = pushed_address();
         p.type = 5;
         return p;
     },
     [] {
         object c = constant(5, 0xCAFEF00D);
         gen_load_value(&c);
     },
     {0x0D, 0xF0, 0xFE, 0xCA}},
    {"int_automatic_beyond_displacement", 1, [] { return automatic(2, 300); },
     [] { gen_load_new_value(0x0BAD); }, {0xAD, 0x0B}},
    {"char_automatic", 1, [] { return automatic(1, 5); },
     [] { gen_load_new_value(0x1C3); }, {0xC3}},
    {"long_automatic_beyond_frame", 1, [] {
         use_function(0, true);
         return automatic(4, 200);
     },
     [] {
         object c = constant(4, 0x01020304);
         gen_load_value(&c);
     },
     {0x04, 0x03, 0x02, 0x01}},
};

class StoreThrough : public CodegenTest, public ::testing::WithParamInterface<StoreRun> {};

TEST_P(StoreThrough, PutsTheValueInMemory)
{
    const StoreRun &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    const uint32_t start = here();
    object lvalue = c.lvalue();
    const bool pushed = lvalue.kind == 254;
    c.emit_value();
    gen_store_registers(&lvalue);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
    EXPECT_EQ(stack_offset(), 0);
    for (int i = 0; i < 5; ++i)
        data[static_cast<uint16_t>(kStoreAt + i)] = 0xEE;
    vsim::CpuState initial = fresh_cpu();
    // An automatic at offset d lies at SP + d (or IX + d): both put it at kStoreAt.
    const CodegenFunctionContext &function = codegen_function_context();
    const bool ix = function.ix_frame && function.ix_frame();
    const int16_t d = pushed ? 0 : static_cast<int16_t>(lvalue.value);
    initial.sp = pushed || ix ? kStoreAt : static_cast<uint16_t>(kStoreAt - d);
    initial.ix = static_cast<uint16_t>(kStoreAt - d);
    const RunResult r = run(start, addr_offset(here()), &initial);
    ASSERT_TRUE(r.stopped);
    for (size_t i = 0; i < c.stored.size(); ++i)
        EXPECT_EQ(ram(static_cast<uint16_t>(kStoreAt + i)), c.stored[i]) << "byte " << i;
    EXPECT_EQ(ram(static_cast<uint16_t>(kStoreAt + c.stored.size())), 0xEE) << "a byte too many";
    EXPECT_EQ(r.cpu.sp, initial.sp);
}

INSTANTIATE_TEST_SUITE_P(All, StoreThrough, ::testing::ValuesIn(kStoreRuns),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, WordStoredThroughBcIsStillTheResultInHl)
{
    const uint32_t start = here();
    gen_load_new_value(0x2468);
    object a = automatic(2, 300);
    gen_store_registers(&a);
    vsim::CpuState initial = fresh_cpu();
    initial.sp = kData;
    const RunResult r = run(start, addr_offset(here()), &initial);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.hl(), 0x2468);
    EXPECT_EQ(a.kind, 255);
    EXPECT_FALSE(obj_flag(&a, addressInRegisters));
}

// ---- constants stored ----------------------------------------------------------------------------------

struct ConstantStoreCase {
    const char *name;
    int cpu;
    uint32_t options;
    std::function<object()> lvalue;  // reaches kTarget
    object value;
    std::vector<std::string> lines;
    std::vector<uint8_t> stored;
};
void PrintTo(const ConstantStoreCase &c, std::ostream *os) { *os << c.name; }

const ConstantStoreCase kConstantStores[] = {
    {"char_global", 1, 0, [] { return variable(1, kTarget); }, constant(1, 0xA5),
     {"ld a, 165"}, {0xA5}},
    {"char_through_hl", 1, 0, [] { return held_address(1); }, constant(1, 0x5A), {}, {0x5A}},
    {"char_in_frame", 1, 0, [] {
         use_function(0, true);
         return automatic(1, 3);
     },
     constant(1, 0x3C), {}, {0x3C}},
    {"int_global", 1, 0, [] { return variable(2, kTarget); }, constant(2, 0xBEEF),
     {"ld hl, 0xbeef"}, {0xEF, 0xBE}},
    {"int_through_hl", 1, 0, [] { return held_address(3); }, constant(3, 0x1234), {},
     {0x34, 0x12}},
    {"int_in_z180_frame", 0, 0, [] {
         use_function(0, true);
         return automatic(2, -4);
     },
     constant(2, 0x7788), {}, {0x88, 0x77}},
    {"shared_int_through_hl_f80", 1, 0, [] {
         object o = held_address(2);
         set_storage_code(o, 1);
         return o;
     },
     constant(2, 0x6655), {"push hl", "ld hl, 0x6655", "pop iy", "ld (iy+0), hl"},
     {0x55, 0x66}},
    {"protected_int_through_hl_z180", 0, 0, [] {
         object o = held_address(2);
         set_storage_code(o, 2);
         return o;
     },
     constant(2, 0x6655),
     {"push hl", "ld hl, 0x6655", "pop iy", "ld (iy+0), l", "ld (iy+1), h"}, {0x55, 0x66}},
    {"long_global_inline", 1, 0, [] { return variable(5, kTarget); }, constant(5, 0x89ABCDEF),
     {"ld de, 0xcdef", "ld bc, 0x89ab"}, {0xEF, 0xCD, 0xAB, 0x89}},
    {"float_through_hl", 1, 0, [] { return held_address(7); }, constant(7, 0x3FC00000),
     {"ld de, 0x0", "ld bc, 0x3fc0"}, {0x00, 0x00, 0xC0, 0x3F}},
};

class ConstantStore : public CodegenTest,
                      public ::testing::WithParamInterface<ConstantStoreCase> {};

TEST_P(ConstantStore, WritesTheConstantLowByteFirst)
{
    const ConstantStoreCase &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    use_function(c.options);
    object lvalue = c.lvalue();
    object value = c.value;
    const uint32_t start = here();
    gen_store(&lvalue, &value);
    EXPECT_EQ(lines(), c.lines);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
    EXPECT_EQ(stack_offset(), 0);
    for (int i = 0; i < 5; ++i)
        data[static_cast<uint16_t>(kTarget + i)] = 0xEE;
    vsim::CpuState initial = fresh_cpu();
    initial.sp = kSp;
    initial.set_hl(kTarget);
    initial.ix = static_cast<uint16_t>(kTarget - static_cast<int16_t>(lvalue.value));
    const RunResult r = run(start, addr_offset(here()), &initial);
    ASSERT_TRUE(r.stopped);
    for (size_t i = 0; i < c.stored.size(); ++i)
        EXPECT_EQ(ram(static_cast<uint16_t>(kTarget + i)), c.stored[i]) << "byte " << i;
    EXPECT_EQ(ram(static_cast<uint16_t>(kTarget + c.stored.size())), 0xEE) << "a byte too many";
}

INSTANTIATE_TEST_SUITE_P(All, ConstantStore, ::testing::ValuesIn(kConstantStores),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- 4-byte values through the runtime routines -----------------------------------------------------

struct RoutineCase {
    const char *name;
    uint8_t storage_code;
    uint32_t options;
    const char *load;
    const char *store;
};
void PrintTo(const RoutineCase &c, std::ostream *os) { *os << c.name; }

const RoutineCase kRoutines[] = {
    {"size_flag", 0, kSizeFlag, "llong_", "slong_"},
    {"shared", 1, 0, "llong_s", "slong_s"},
    {"protected", 2, 0, "llong_ss", "slong_ss"},
};

class LongRoutine : public RuntimeCodegenTest,
                    public ::testing::WithParamInterface<RoutineCase> {};

TEST_P(LongRoutine, LoadsAndStoresWithTheAddressInHl)
{
    const RoutineCase &c = GetParam();
    use_function(c.options);
    object from = variable(5, kData);
    object to = variable(5, kData + 8);
    set_storage_code(from, c.storage_code);
    set_storage_code(to, c.storage_code);
    const uint32_t start = here();
    gen_load_value(&from);
    const uint32_t store_at = here();
    gen_store_registers(&to);
    EXPECT_EQ(lines(), (std::vector<std::string>{"ld hl, 0x8000", "ld hl, 0x8008"}));
    std::vector<uint8_t> load = {0x21, 0x00, 0x80};
    for (uint8_t b : call_bytes(c.load))
        load.push_back(b);
    EXPECT_EQ(bytes(start, 6), load);
    std::vector<uint8_t> store = {0x21, 0x08, 0x80};
    for (uint8_t b : call_bytes(c.store))
        store.push_back(b);
    EXPECT_EQ(bytes(store_at, 6), store);
    EXPECT_TRUE(summaries().empty()) << summaries().front();

    data = {{kData, 0x11}, {kData + 1, 0x22}, {kData + 2, 0x33}, {kData + 3, 0x44}};
    const RunResult r = run(start, addr_offset(here()));
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.bc(), 0x4433);
    EXPECT_EQ(r.cpu.de(), 0x2211);
    const std::vector<uint8_t> stored = {ram(kData + 8), ram(kData + 9), ram(kData + 10),
                                         ram(kData + 11)};
    EXPECT_EQ(stored, (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44}));
}

INSTANTIATE_TEST_SUITE_P(All, LongRoutine, ::testing::ValuesIn(kRoutines),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(RuntimeCodegenTest, LongConstantWithTheSizeFlagGoesThroughBcDeOnTheF80)
{
    use_function(kSizeFlag);
    object to = variable(4, kData + 4);
    object value = constant(4, 0x12345678);
    const uint32_t start = here();
    gen_store(&to, &value);
    EXPECT_EQ(lines(), (std::vector<std::string>{"ld hl, 0x8004", "ld de, 0x5678", "ld bc, 0x1234"}));
    EXPECT_EQ(bytes(addr_add(start, 9), 3), call_bytes("slong_"));
    const RunResult r = run(start, addr_offset(here()));
    ASSERT_TRUE(r.stopped);
    const std::vector<uint8_t> stored = {ram(kData + 4), ram(kData + 5), ram(kData + 6),
                                         ram(kData + 7)};
    EXPECT_EQ(stored, (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));
}

// The Z180 routine takes the constant from behind its call.
TEST_F(CodegenTest, LongConstantWithTheSizeFlagFollowsTheCallOnTheZ180)
{
    (void)select_target_cpu(0, 1);
    use_function(kSizeFlag);
    define_label("st4_", 0x3000, kLabelGlobal);
    object to = variable(5, kData + 4);
    object value = constant(5, 0x12345678);
    const uint32_t start = here();
    gen_store(&to, &value);
    EXPECT_EQ(lines(), std::vector<std::string>{"ld hl, 0x8004"});
    EXPECT_EQ(emitted(root_code_cache(), addr_add(start, 3)),
              (std::vector<uint8_t>{0xCD, 0x00, 0x30, 0x78, 0x56, 0x34, 0x12}));
}

TEST_F(CodegenTest, LongStoreToAnIoObjectTakesNoRoutine)
{
    use_function(kSizeFlag);
    object io = variable(4, 0x0040);
    set_obj_flag(&io, externalIo, true);
    gen_store_registers(&io);
    // ioe ld (mn), de ; ioe ld (mn), bc
    EXPECT_EQ(emitted(root_code_cache(), kRootCode),
              (std::vector<uint8_t>{0xDB, 0xED, 0x53, 0x40, 0x00, 0xDB, 0xED, 0x43, 0x42, 0x00}));
}

// ---- the pending value ------------------------------------------------------------------------------

TEST_F(CodegenTest, PendingValueIsPushedBeforeALoadIntoItsRegisters)
{
    object a = held(2);
    defer_load(&a, false);
    EXPECT_EQ(pending_value(), &a);
    object b = variable(2, kData + 2);
    gen_load_value(&b);
    EXPECT_EQ(lines(), (std::vector<std::string>{"push hl", "ld hl, (0x8002)"}));
    EXPECT_EQ(pending_value(), nullptr);
    EXPECT_EQ(last_flushed_value(), &a);
    EXPECT_EQ(claim_pending_value(&a), nullptr);
    EXPECT_EQ(a.kind, 254) << "flushed: on the stack";
}

TEST_F(CodegenTest, PendingValueNeverFlushedIsClaimedInRegisters)
{
    object a = held(2);
    defer_load(&a, false);
    object b = variable(4, kData);
    gen_load_value(&b);  // BC:DE leave HL alone
    EXPECT_EQ(claim_pending_value(&a), &a);
    EXPECT_EQ(a.kind, 255);
    EXPECT_EQ(pending_value(), nullptr);
    EXPECT_EQ(lines(), (std::vector<std::string>{"ld de, (0x8000)", "ld bc, (0x8002)"}));
}

TEST_F(CodegenTest, DeferringAnotherValueFlushesTheFirst)
{
    object a = held(4), b = held(2), c = variable(2, kData);
    defer_load(&a, false);
    defer_load(&b, false);
    EXPECT_EQ(a.kind, 254);
    EXPECT_EQ(pending_value(), &b);
    defer_load(&c, false);  // not in registers: nothing changes
    EXPECT_EQ(pending_value(), &b);
    EXPECT_EQ(lines(), (std::vector<std::string>{"push bc", "push de"}));
}

TEST_F(CodegenTest, PendingAddressIsKeptOrDereferencedWhenFlushed)
{
    object kept = held_address(2);
    defer_load(&kept, true);
    object other = variable(2, kData);
    MoveObject into_de(&other);
    into_de.load(kRidDE, false, false);
    EXPECT_EQ(pending_value(), &kept) << "a kept address only collides on its own registers";
    flush_pending_value();
    EXPECT_TRUE(obj_flag(&kept, addressInRegisters));

    object value = held_address(2);
    defer_load(&value, false);
    object third = variable(4, kData);
    gen_load_value(&third);  // a held address that is not kept always makes room
    EXPECT_FALSE(obj_flag(&value, addressInRegisters));
    EXPECT_EQ(lines(), (std::vector<std::string>{"ld de, (0x8000)", "push hl", "ld hl, (hl)",
                                                 "push hl", "ld de, (0x8000)",
                                                 "ld bc, (0x8002)"}));
}

TEST_F(CodegenTest, PushingWhileAnotherValueIsPendingReports603)
{
    object a = held(2), b = held(4);
    defer_load(&a, false);
    gen_push_value(&b);
    EXPECT_EQ(lines(), (std::vector<std::string>{"push bc", "push de"}));
    EXPECT_EQ(summaries(), std::vector<std::string>{"Cannot push object, report to Brantel."});
}

// ---- refusals ----------------------------------------------------------------------------------------

struct RefusalCase {
    const char *name;
    int cpu;
    std::function<void()> emit;
    std::vector<std::string> summaries;
};
void PrintTo(const RefusalCase &c, std::ostream *os) { *os << c.name; }

const RefusalCase kRefusals[] = {
    {"struct_value", 1, [] { object s = variable(16, kData); gen_load_value(&s); },
     {"Structure with address expected."}},
    {"address_of_array", 1,
     [] {
         object a = variable(2, kData, kDeclArray);
         gen_load_address_hl(&a);
     },
     {"Array with address expected.", "Invalid class storage."}},
    {"automatic_without_frame_on_z180", 0, [] { object a = automatic(2, 4); gen_load_value(&a); },
     {"Internal error: load value of unknown storage class."}},
    {"address_of_constant", 1,
     [] {
         object c = constant(2, 5);
         MoveObject(&c).load_address(kRidHL);
     },
     {"Internal error: attempt to address constant."}},
    {"address_of_unknown_kind", 1,
     [] {
         object o;
         obj_set(&o, 7, 2, 0, true);
         MoveObject(&o).load_address(kRidHL);
     },
     {"Internal error: load address of unknown storage class."}},
    {"char_reload_into_ix", 1,
     [] {
         object c = held(1, 0, true);
         MoveObject(&c).load(kRidIX, false, false);
     },
     {"Internal error: Invalid char reload."}},
    {"int_reload_into_iy", 1,
     [] {
         object c = held(2);
         MoveObject(&c).load(kRidIY, false, false);
     },
     {"Internal error: Invalid int reload."}},
    {"reload_of_unknown_type", 1,
     [] {
         object c = held(6);
         MoveObject(&c).load(kRidHL, false, false);
     },
     {"Internal error: Reload of unknown type."}},
    {"assignment_of_struct", 1,
     [] {
         object s = variable(17, kData);
         gen_store_registers(&s);
     },
     {"Internal error: Unknown assignment type."}},
    {"long_into_constant", 1,
     [] {
         object c = constant(4, 0);
         gen_store_registers(&c);
     },
     {"Internal error: Invalid storage class when storing long variable."}},
    {"struct_automatic_store", 1,
     [] {
         object s = automatic(16, 2);
         gen_store_registers(&s);
     },
     {"Internal error: Unknown type when storing value."}},
    {"constant_into_struct", 1,
     [] {
         object s = variable(16, kData);
         object c = constant(2, 1);
         gen_store(&s, &c);
     },
     {"Internal error: Unable to store constant value."}},
    {"push_not_in_registers", 1, [] { object g = variable(2, kData); gen_push_value(&g); },
     {"Cannot push object, report to Brantel."}},
    {"pop_not_on_stack", 1, [] { object h = held(2); MoveObject(&h).pop(kRidNone); },
     {"Cannot load object, report to Brantel."}},
    {"io_word_through_stacked_address", 1,
     [] {
         object p;
         obj_set(&p, 254, 2, 0, true);
         set_obj_flag(&p, internalIo, true);
         gen_store_registers(&p);
     },
     {"Operands and/or operator incompatible."}},
};

class MoveRefusal : public CodegenTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(MoveRefusal, ReportsAndEmitsNothing)
{
    (void)select_target_cpu(0, GetParam().cpu == 1 ? 0 : 1);
    GetParam().emit();
    EXPECT_EQ(summaries(), GetParam().summaries);
    EXPECT_EQ(lines(), std::vector<std::string>{});
    EXPECT_EQ(here(), kRootCode);
}

INSTANTIATE_TEST_SUITE_P(All, MoveRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- the joins ---------------------------------------------------------------------------------------

TEST_F(CodegenTest, FreshValueIsLoadedAndPushedByTheCompileJoins)
{
    install_compiler_joins();
    set_parser_seam(&recorder);
    set_obj_host(&value_model_obj_host());
    gen_push_new_value(2);
    EXPECT_EQ(lines(), (std::vector<std::string>{"ld hl, 0x0", "push hl"}));
    EXPECT_EQ(stack_offset(), -2);
}

}  // namespace
