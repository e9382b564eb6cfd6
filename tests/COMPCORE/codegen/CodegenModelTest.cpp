// The register and value model: register lists, addressing modes, the step loop for loads, stores
// and constant stores (exact lines or bytes, and what they do on the simulated CPU), the HL watch,
// the zero-HL load, the pending value's collisions and the stack state the node queries read.
#include "CodegenFixture.h"

#include <functional>

namespace {

using namespace codegen_test;

// ---- register lists -------------------------------------------------------------------------------

struct TakeCase {
    const char *name;
    uint8_t set;
    uint16_t type;
    uint8_t promote;
    int step;
    std::vector<uint8_t> taken;
};

const TakeCase kTakes[] = {
    {"int_whole", kRidNone, 2, 1, 2, {kRidHL, kRidHL}},
    {"int_bytes_low_then_high", kRidNone, 3, 1, 1, {kRidL, kRidH, kRidL}},
    {"long_words_de_then_bc", kRidNone, 5, 1, 2, {kRidDE, kRidBC, kRidDE}},
    {"long_bytes", kRidNone, 4, 1, 1, {kRidE, kRidD, kRidC, kRidB}},
    {"float_like_long", kRidNone, 7, 1, 2, {kRidDE, kRidBC}},
    {"char_promoted_to_hl", kRidNone, 1, 1, 2, {kRidHL}},
    {"char_kept_in_a", kRidNone, 1, 0, 2, {kRidA, kRidA}},
    {"address_in_hl", kRidNone, 12, 1, 2, {kRidHL}},
    {"explicit_bc", kRidBC, 5, 1, 1, {kRidC, kRidB}},
};

class Take : public ::testing::TestWithParam<TakeCase> {};

TEST_P(Take, GivesTheRegistersInOrder)
{
    const TakeCase &c = GetParam();
    PrimaryRegister r;
    r.promote_char = c.promote;
    r.request(c.set, c.type);
    std::vector<uint8_t> got;
    for (size_t i = 0; i < c.taken.size(); ++i)
        got.push_back(r.take(c.step));
    EXPECT_EQ(got, c.taken);
}

INSTANTIATE_TEST_SUITE_P(All, Take, ::testing::ValuesIn(kTakes),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(PrimaryRegisterList, ExplicitSetLocksTheListAgainstRequestsByType)
{
    PrimaryRegister r;
    r.request(kRidBC, 0);
    r.request(kRidNone, 2);
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.current_set(), kRidBC);
    EXPECT_EQ(r.total, 2);
}

// ---- constant sizes ---------------------------------------------------------------------------------

struct SizeCase {
    const char *name;
    int32_t value;
    int size;
};

const SizeCase kSizes[] = {
    {"zero", 0, 1},           {"plus_128", 128, 1},        {"minus_127", -127, 1},
    {"minus_128", -128, 2},   {"plus_32768", 32768, 2},    {"minus_32768", -32768, 3},
    {"plus_32769", 32769, 3}, {"plus_8388608", 8388608, 3}, {"plus_8388609", 8388609, 4},
    {"minus_8388608", -8388608, 4},
};

class ConstantSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ConstantSize, CountsTheBytes) { EXPECT_EQ(constant_size(GetParam().value), GetParam().size); }

INSTANTIATE_TEST_SUITE_P(All, ConstantSize, ::testing::ValuesIn(kSizes),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- addressing modes --------------------------------------------------------------------------------

struct ModeCase {
    const char *name;
    int cpu;       // 1 F80, 0 Z180
    bool ix;       // IX frame
    int16_t offset;
    uint16_t type;
    uint32_t options;  // function options (field F in bits 14-19)
    uint8_t mode;
};

const ModeCase kModes[] = {
    {"frame_minus_128", 1, true, -128, 1, 0, kModeFrame},
    {"frame_127_byte", 1, true, 127, 1, 0, kModeFrame},
    // the second byte would need displacement 128: through HL instead
    {"frame_127_word_through_hl", 1, true, 127, 2, 0, kModeIndirect},
    {"frame_minus_129_through_hl", 1, true, -129, 1, 0, kModeIndirect},
    {"stack_word", 1, false, 4, 2, 0, kModeStack},
    {"stack_word_254", 1, false, 254, 2, 0, kModeStack},
    {"stack_word_255_through_hl", 1, false, 255, 2, 0, kModeIndirect},
    {"stack_long_through_hl", 1, false, 4, 4, 0, kModeIndirect},
    {"field_f_through_hl", 1, false, 4, 2, 1u << 14, kModeIndirect},
    {"z180_frame", 0, true, -6, 2, 0, kModeFrame},
    {"z180_frame_too_far_through_hl", 0, true, 200, 2, 0, kModeIndirect},
    {"z180_without_frame_none", 0, false, 4, 2, 0, kModeNone},
};

class Mode : public CodegenTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(Mode, IsChosenForAnAutomaticVariable)
{
    const ModeCase &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    set_codegen_function_context({[&] { return c.options; }, [&] { return c.ix; }, {}, {}, {}});
    object v;
    obj_set(&v, 2, c.type, 0, true);
    v.value = static_cast<uint32_t>(static_cast<int32_t>(c.offset));
    MoveObject m(&v);
    EXPECT_EQ(m.select_mode(type_size(c.type)), c.mode);
}

INSTANTIATE_TEST_SUITE_P(All, Mode, ::testing::ValuesIn(kModes),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, ModesOfTheOtherKinds)
{
    object c, g, pushed, held, address, label;
    obj_set_int_const(&c, 5);
    g = global_at(kData, 2);
    obj_set(&pushed, 254, 2, 0, true);
    obj_set(&held, 255, 2, 0, false);
    obj_set(&address, 255, 2, 0, true);
    obj_set(&label, 252, 2, 0, true);
    const std::pair<object *, uint8_t> cases[] = {
        {&c, kModeImmediate}, {&g, kModeDirect},      {&pushed, kModeIndirect},
        {&held, kModeRegisters}, {&address, kModeIndirect}, {&label, kModeDirect},
    };
    for (const auto &[node, mode] : cases) {
        MoveObject m(node);
        EXPECT_EQ(m.select_mode(2), mode) << "kind " << int(node->kind);
    }
}

// ---- loads ------------------------------------------------------------------------------------------

struct LoadCase {
    const char *name;
    int cpu;  // 1 F80, 0 Z180
    std::function<object()> node;
    uint8_t set;      // kRidNone: by type
    uint8_t promote;
    bool ix;
    std::vector<std::string> lines;
    std::function<void(vsim::CpuState &)> before;  // registers at the start of the run
    std::function<void(const vsim::CpuState &)> check;
};

const LoadCase kLoads[] = {
    {"unsigned_long_global", 1, [] { return global_at(kData, 5); }, kRidNone, 1, false,
     {"ld de, (0x8000)", "ld bc, (0x8002)"}, {},
     [](const vsim::CpuState &s) {
         EXPECT_EQ(s.de(), 0x5678) << "low word";
         EXPECT_EQ(s.bc(), 0x1234) << "high word";
     }},
    {"int_constant", 1, [] { return constant(2, 0x1234); }, kRidNone, 1, false,
     {"ld hl, 0x1234"}, {}, [](const vsim::CpuState &s) { EXPECT_EQ(s.hl(), 0x1234); }},
    {"long_constant", 1, [] { return constant(4, 0x89ABCDEF); }, kRidNone, 1, false,
     {"ld de, 0xcdef", "ld bc, 0x89ab"}, {},
     [](const vsim::CpuState &s) {
         EXPECT_EQ(s.de(), 0xCDEF);
         EXPECT_EQ(s.bc(), 0x89AB);
     }},
    {"char_constant_in_a", 1, [] { return constant(1, 200); }, kRidNone, 0, false, {"ld a, 200"},
     {}, [](const vsim::CpuState &s) { EXPECT_EQ(s.main[vsim::rA], 200); }},
    {"char_global_in_a", 1, [] { return global_at(kData, 1); }, kRidNone, 0, false,
     {"ld a, (0x8000)"}, {}, [](const vsim::CpuState &s) { EXPECT_EQ(s.main[vsim::rA], 0x78); }},
    {"z180_int_through_hl_bytewise", 0, [] { return held_address(2); }, kRidNone, 1, false,
     {"ld a, (hl)", "inc hl", "ld h, (hl)", "ld l, a"},
     [](vsim::CpuState &s) { s.set_hl(kData); },
     [](const vsim::CpuState &s) { EXPECT_EQ(s.hl(), 0x5678); }},
    {"f80_int_through_hl_word", 1, [] { return held_address(2); }, kRidNone, 1, false,
     {"ld hl, (hl)"}, [](vsim::CpuState &s) { s.set_hl(kData + 2); },
     [](const vsim::CpuState &s) { EXPECT_EQ(s.hl(), 0x1234); }},
    {"long_through_hl_bytewise", 1, [] { return held_address(5); }, kRidNone, 1, false,
     {"ld e, (hl)", "inc hl", "ld d, (hl)", "inc hl", "ld c, (hl)", "inc hl", "ld b, (hl)"},
     [](vsim::CpuState &s) { s.set_hl(kData); },
     [](const vsim::CpuState &s) {
         EXPECT_EQ(s.de(), 0x5678);
         EXPECT_EQ(s.bc(), 0x1234);
     }},
    {"frame_word", 1, [] { return automatic(2, -4); }, kRidNone, 1, true, {"ld hl, (ix+-4)"},
     [](vsim::CpuState &s) { s.ix = kData + 4; },
     [](const vsim::CpuState &s) { EXPECT_EQ(s.hl(), 0x5678); }},
    {"z180_frame_word_bytewise", 0, [] { return automatic(2, -2); }, kRidNone, 1, true,
     {"ld a, (ix+-2)", "ld h, (ix+-1)", "ld l, a"}, [](vsim::CpuState &s) { s.ix = kData + 4; },
     [](const vsim::CpuState &s) { EXPECT_EQ(s.hl(), 0x1234); }},
    {"stack_word", 1, [] { return automatic(2, 2); }, kRidNone, 1, false, {"ld hl, (sp+2)"},
     [](vsim::CpuState &s) { s.sp = kData; },
     [](const vsim::CpuState &s) { EXPECT_EQ(s.hl(), 0x1234); }},
    {"stack_word_into_de", 1, [] { return automatic(2, 0); }, kRidDE, 1, false,
     {"ld hl, (sp+0)", "ex de, hl"}, [](vsim::CpuState &s) { s.sp = kData; },
     [](const vsim::CpuState &s) { EXPECT_EQ(s.de(), 0x5678); }},
    {"stack_word_into_bc", 1, [] { return automatic(2, 2); }, kRidBC, 1, false,
     {"ld hl, (sp+2)", "ld b, h", "ld c, l"}, [](vsim::CpuState &s) { s.sp = kData; },
     [](const vsim::CpuState &s) { EXPECT_EQ(s.bc(), 0x1234); }},
};

class Load : public CodegenTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(Load, EmitsTheLinesAndLoadsTheValue)
{
    const LoadCase &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    set_codegen_function_context({{}, [&] { return c.ix; }, {}, {}, {}});
    object node = c.node();
    const uint32_t start = here();
    move(node, kOpLoad, type_size(node.type), c.set, c.promote);
    EXPECT_EQ(lines(), c.lines);
    EXPECT_TRUE(summaries().empty());

    data = {{kData, 0x78}, {kData + 1, 0x56}, {kData + 2, 0x34}, {kData + 3, 0x12}};
    vsim::CpuState initial = fresh_cpu();
    if (c.before)
        c.before(initial);
    const RunResult r = run(start, addr_offset(here()), &initial);
    ASSERT_TRUE(r.stopped);
    c.check(r.cpu);
}

INSTANTIATE_TEST_SUITE_P(All, Load, ::testing::ValuesIn(kLoads),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, CharLoadedIntoAIsMarkedAsHeldInA)
{
    object byte = global_at(kData, 1);
    move(byte, kOpLoad, 1, kRidNone, 0);
    EXPECT_TRUE(obj_flag(&byte, inByteRegister));

    // A passes the low byte of HL on: the value ends in HL, not in A.
    (void)select_target_cpu(0, 1);
    object word = held_address(2);
    move(word, kOpLoad, 2);
    EXPECT_FALSE(obj_flag(&word, inByteRegister));
}

// ---- stores -----------------------------------------------------------------------------------------

struct StoreCase {
    const char *name;
    int cpu;
    std::function<object()> node;
    uint8_t set;
    uint16_t count;
    bool ix;
    std::vector<uint8_t> bytes;
    std::function<void(vsim::CpuState &)> before;
    std::vector<std::pair<uint16_t, uint8_t>> memory;  // expected after the run
};

const StoreCase kStores[] = {
    {"hl_direct", 1, [] { return global_at(kData, 2); }, kRidHL, 2, false, {0x22, 0x00, 0x80},
     [](vsim::CpuState &s) { s.set_hl(0x1234); }, {{kData, 0x34}, {kData + 1, 0x12}}},
    {"long_direct", 1, [] { return global_at(kData + 4, 5); }, kRidNone, 4, false,
     {0xED, 0x53, 0x04, 0x80, 0xED, 0x43, 0x06, 0x80},
     [](vsim::CpuState &s) {
         s.set_de(0x5678);
         s.set_bc(0x1234);
     },
     {{kData + 4, 0x78}, {kData + 5, 0x56}, {kData + 6, 0x34}, {kData + 7, 0x12}}},
    {"a_direct", 1, [] { return global_at(kData + 1, 1); }, kRidA, 1, false, {0x32, 0x01, 0x80},
     [](vsim::CpuState &s) { s.main[vsim::rA] = 0x99; }, {{kData + 1, 0x99}}},
    {"long_through_hl", 0, [] { return held_address(4); }, kRidNone, 4, false,
     {0x73, 0x23, 0x72, 0x23, 0x71, 0x23, 0x70},
     [](vsim::CpuState &s) {
         s.set_hl(kData + 8);
         s.set_de(0x5678);
         s.set_bc(0x1234);
     },
     {{kData + 8, 0x78}, {kData + 9, 0x56}, {kData + 10, 0x34}, {kData + 11, 0x12}}},
    // one displacement byte 0x80 for -128, and nothing after it
    {"frame_byte_minus_128", 1, [] { return automatic(1, -128); }, kRidA, 1, true,
     {0xDD, 0x77, 0x80}, [](vsim::CpuState &s) {
         s.ix = kData + 0x80;
         s.main[vsim::rA] = 0x42;
     },
     {{kData, 0x42}, {kData + 1, 0x00}}},
    {"frame_word_f80", 1, [] { return automatic(2, 6); }, kRidHL, 2, true, {0xF4, 0x06},
     [](vsim::CpuState &s) {
         s.ix = kData;
         s.set_hl(0xBEEF);
     },
     {{kData + 6, 0xEF}, {kData + 7, 0xBE}}},
    {"frame_word_z180", 0, [] { return automatic(2, 6); }, kRidHL, 2, true,
     {0xDD, 0x75, 0x06, 0xDD, 0x74, 0x07},
     [](vsim::CpuState &s) {
         s.ix = kData;
         s.set_hl(0xBEEF);
     },
     {{kData + 6, 0xEF}, {kData + 7, 0xBE}}},
    {"stack_word_f80", 1, [] { return automatic(2, 2); }, kRidHL, 2, false, {0xD4, 0x02},
     [](vsim::CpuState &s) {
         s.sp = kData + 0x10;
         s.set_hl(0xCAFE);
     },
     {{kData + 0x12, 0xFE}, {kData + 0x13, 0xCA}}},
};

class Store : public CodegenTest, public ::testing::WithParamInterface<StoreCase> {};

TEST_P(Store, WritesTheBytesThatStoreTheRegisters)
{
    const StoreCase &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    set_codegen_function_context({{}, [&] { return c.ix; }, {}, {}, {}});
    object node = c.node();
    const uint32_t start = here();
    move(node, kOpStore, c.count, c.set);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
    EXPECT_EQ(emitted(root_code_cache(), start), c.bytes);

    vsim::CpuState initial = fresh_cpu();
    c.before(initial);
    data = {{kData, 0}, {kData + 1, 0}};
    const RunResult r = run(start, addr_offset(here()), &initial);
    ASSERT_TRUE(r.stopped);
    for (const auto &[addr, value] : c.memory)
        EXPECT_EQ(ram(addr), value) << "at 0x" << std::hex << addr;
}

INSTANTIATE_TEST_SUITE_P(All, Store, ::testing::ValuesIn(kStores),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, ConstantStoresThroughHlAndTheFrame)
{
    object through_hl = held_address(2);
    MoveObject m(&through_hl);
    m.select_mode(2);
    m.set_immediate(0x1234, 2);
    uint32_t start = here();
    m.transfer(kOpConstantStore, 2);
    EXPECT_EQ(emitted(root_code_cache(), start), (std::vector<uint8_t>{0x36, 0x34, 0x23, 0x36, 0x12}));

    set_codegen_function_context({{}, [] { return true; }, {}, {}, {}});
    object frame = automatic(2, -2);
    MoveObject f(&frame);
    f.select_mode(2);
    f.set_immediate(0xBEEF, 2);
    const uint32_t second = here();
    f.transfer(kOpConstantStore, 2);
    EXPECT_EQ(emitted(root_code_cache(), second),
              (std::vector<uint8_t>{0xDD, 0x36, 0xFE, 0xEF, 0xDD, 0x36, 0xFF, 0xBE}));

    vsim::CpuState initial = fresh_cpu();
    initial.set_hl(kData);
    initial.ix = kData + 4;
    const RunResult r = run(start, addr_offset(here()), &initial);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(ram(kData), 0x34);
    EXPECT_EQ(ram(kData + 1), 0x12);
    EXPECT_EQ(ram(kData + 2), 0xEF);
    EXPECT_EQ(ram(kData + 3), 0xBE);
}

// ---- refused transfers ---------------------------------------------------------------------------

struct RefusalCase {
    const char *name;
    std::function<void()> act;
    const char *message;
};

const RefusalCase kRefusals[] = {
    {"registers_mode_4",
     [] {
         object held;
         obj_set(&held, 255, 2, 0, false);
         move(held, kOpLoad, 2);
     },
     "Invalid operation for an object."},
    {"load_in_mode_6",
     [] {
         object odd;
         obj_set(&odd, 7, 2, 0, true);
         move(odd, kOpLoad, 2);
     },
     "Internal error: load value of unknown storage class."},
    {"unknown_operation",
     [] {
         object g = global_at(kData, 2);
         move(g, 99, 2);
     },
     "Internal error: Invalid operation on object."},
    {"constant_of_a_structure",
     [] {
         object s = constant(16, 0);
         move(s, kOpLoad, 2, kRidHL);
     },
     "Internal error: invalid operand data type."},
    {"register_list_of_a_structure", [] { PrimaryRegister r; r.request(kRidNone, 16); },
     "Internal error: Invalid primary register load type."},
    {"constant_store_direct",
     [] {
         object g = global_at(kData, 2);
         move(g, kOpConstantStore, 2);
     },
     "Invalid operation for an object."},
    {"store_b_direct",
     [] {
         object g = global_at(kData, 1);
         move(g, kOpStore, 1, kRidB);
     },
     "Internal error: Invalid register store."},
    {"load_template_mode_4",
     [] {
         OpcodeOperand o;
         gen_load_register(kRidHL, kModeRegisters, o);
     },
     "Internal error: Invalid register load address mode."},
    {"store_mode_0_f80", [] { (void)gen_store_register(kRidHL, kModeImmediate); },
     "Internal error: Invalid register load address mode."},
    {"constant_store_template", [] { (void)gen_store_constant(1, kModeDirect); },
     "Internal error: Invalid constant store address mode."},
};

class Refused : public CodegenTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refused, ReportsAndEmitsNothing)
{
    const uint32_t start = here();
    EXPECT_NO_THROW(GetParam().act());
    EXPECT_EQ(summaries(), std::vector<std::string>{GetParam().message});
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(here(), start);
}

INSTANTIATE_TEST_SUITE_P(All, Refused, ::testing::ValuesIn(kRefusals),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- the HL watch -----------------------------------------------------------------------------------

// Stores HL to the global, emits `between`, loads the global into HL.
void store_then_load(const std::vector<std::string> &between)
{
    object g = global_at(kData, 2);
    move(g, kOpStore, 2, kRidHL);
    for (const std::string &line : between)
        outasm("%s", line.c_str());
    object again = global_at(kData, 2);
    move(again, kOpLoad, 2);
}

struct WatchCase {
    const char *name;
    bool watch;
    std::vector<std::string> between;
    bool reloaded;
};

const WatchCase kWatch[] = {
    {"watch_on_right_after", true, {}, false},
    {"watch_off", false, {}, true},
    {"a_untouched_in_between", true, {"ld a, 3"}, false},
    {"hl_written_in_between", true, {"ld hl, 5"}, true},
    {"l_written_in_between", true, {"inc l"}, true},
    {"hl_swapped_in_between", true, {"ex de, hl"}, true},
    {"memory_written_in_between", true, {"ld (0x8000), a"}, true},
    {"control_transfer_in_between", true, {"rst 0x28"}, true},
};

class HlWatch : public CodegenTest, public ::testing::WithParamInterface<WatchCase> {};

TEST_P(HlWatch, SkipsTheReloadOnlyWhenHlStillHoldsTheValue)
{
    set_hl_watch(GetParam().watch);
    store_then_load(GetParam().between);
    std::vector<std::string> expected = GetParam().between;
    if (GetParam().reloaded)
        expected.push_back("ld hl, (0x8000)");
    EXPECT_EQ(lines(), expected);
}

INSTANTIATE_TEST_SUITE_P(All, HlWatch, ::testing::ValuesIn(kWatch),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, HlWatchComparesTheAddress)
{
    set_hl_watch(true);
    object g = global_at(kData, 2);
    move(g, kOpStore, 2, kRidHL);
    object other = global_at(kData + 2, 2);
    move(other, kOpLoad, 2);
    EXPECT_EQ(lines(), std::vector<std::string>{"ld hl, (0x8002)"});
}

// ---- zero into HL -------------------------------------------------------------------------------------

TEST_F(CodegenTest, ZeroHlLoadUsesBoolOnceThenPlainLoads)
{
    set_zero_hl(true);
    for (int i = 0; i < 2; ++i) {
        object zero = constant(2, 0);
        move(zero, kOpLoad, 2);
    }
    EXPECT_EQ(lines(), (std::vector<std::string>{"bool hl", "ld l, h", "ld hl, 0x0"}));
    EXPECT_FALSE(zero_hl());
}

TEST_F(CodegenTest, ZeroHlLoadOnTheZ180IsAPlainLoad)
{
    (void)select_target_cpu(0, 1);
    set_zero_hl(true);
    object zero = constant(2, 0);
    const uint32_t start = here();
    move(zero, kOpLoad, 2);
    EXPECT_EQ(lines(), std::vector<std::string>{"ld hl, 0"});
    EXPECT_EQ(emitted(root_code_cache(), start), (std::vector<uint8_t>{0x21, 0x00, 0x00}));
}

// ---- I/O prefixes ---------------------------------------------------------------------------------------

TEST_F(CodegenTest, IoObjectsGetTheirPrefixBeforeEachStep)
{
    object in = global_at(0x40, 1);
    set_obj_flag(&in, internalIo, true);
    uint32_t start = here();
    move(in, kOpLoad, 1, kRidNone, 0);
    EXPECT_EQ(emitted(root_code_cache(), start), (std::vector<uint8_t>{0xD3, 0x3A, 0x40, 0x00}));

    object out = global_at(0x42, 2);
    set_obj_flag(&out, externalIo, true);
    start = here();
    move(out, kOpStore, 2, kRidDE);
    EXPECT_EQ(emitted(root_code_cache(), start),
              (std::vector<uint8_t>{0xDB, 0xED, 0x53, 0x42, 0x00}));
}

TEST_F(CodegenTest, IoObjectOnTheZ180IsAnErrorWithoutPrefix)
{
    (void)select_target_cpu(0, 1);
    object in = global_at(0x40, 1);
    set_obj_flag(&in, internalIo, true);
    const uint32_t start = here();
    move(in, kOpLoad, 1, kRidA);
    EXPECT_EQ(summaries(), std::vector<std::string>{"Unknown opcode for target CPU."});
    EXPECT_EQ(emitted(root_code_cache(), start), (std::vector<uint8_t>{0x3A, 0x40, 0x00}));
}

// ---- the pending value ----------------------------------------------------------------------------------

struct CollisionCase {
    const char *name;
    std::function<object()> pending;
    bool keep;
    uint8_t requested;
    bool collides;
};

const CollisionCase kCollisions[] = {
    {"int_in_hl_against_hl", [] { return held(2); }, false, kRidHL, true},
    {"int_in_hl_against_de", [] { return held(2); }, false, kRidDE, false},
    {"long_against_bc", [] { return held(5); }, false, kRidBC, true},
    {"long_against_hl", [] { return held(5); }, false, kRidHL, false},
    {"char_in_a_against_hl",
     [] {
         object o = held(1);
         set_obj_flag(&o, inByteRegister, true);
         return o;
     },
     false, kRidHL, false},
    {"char_in_hl_against_hl", [] { return held(1); }, false, kRidHL, true},
    {"pointer_against_hl", [] { return held(2, kDeclPointer); }, false, kRidHL, true},
    {"held_address_always", [] { return held_address(2); }, false, kRidDE, true},
    {"held_address_kept", [] { return held_address(2); }, true, kRidDE, false},
    {"global_not_in_registers", [] { return global_at(kData, 2); }, false, kRidHL, false},
};

class Collision : public CodegenTest, public ::testing::WithParamInterface<CollisionCase> {};

TEST_P(Collision, PushesThePendingValueOnlyWhenItsRegistersAreNeeded)
{
    object pending = GetParam().pending();
    set_pending_value(&pending, GetParam().keep);
    int pushed = 0;
    set_pending_pusher([&] { ++pushed; });
    PrimaryRegister wanted;
    wanted.request(GetParam().requested, 2);
    PreventRegisterCollision guard(wanted);
    EXPECT_EQ(guard.flag, GetParam().collides ? 1 : 0);
    EXPECT_EQ(pushed, GetParam().collides ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(All, Collision, ::testing::ValuesIn(kCollisions),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(CodegenTest, CollisionWithoutAnInstalledPusherFlushesThePendingValue)
{
    object pending = held(2);
    set_pending_value(&pending, false);
    PrimaryRegister hl;
    hl.request(kRidHL, 12);
    PreventRegisterCollision guard(hl);
    EXPECT_EQ(guard.flag, 1);
    EXPECT_EQ(lines(), std::vector<std::string>{"push hl"});
    EXPECT_EQ(pending_value(), nullptr);
    EXPECT_EQ(pending.kind, 254);
}

TEST_F(CodegenTest, StackLoadIntoDeMakesRoomInHlAndFollowsTheMovedStack)
{
    object pending = held(2);
    set_pending_value(&pending, false);
    set_pending_pusher([] {
        gen_push_register(kRidHL);
        clear_pending_value();
    });
    object v = automatic(2, 2);
    move(v, kOpLoad, 2, kRidDE);
    EXPECT_EQ(lines(), (std::vector<std::string>{"push hl", "ld hl, (sp+4)", "ex de, hl"}));
}

// ---- stack state ---------------------------------------------------------------------------------------

TEST_F(CodegenTest, PushesAndPopsMoveTheOffsetThatNodesAndAtSpRead)
{
    gen_push_register(kRidHL);
    gen_push_register(kRidDE);
    EXPECT_EQ(stack_offset(), -4);
    EXPECT_EQ(stack_depth_bytes(), 4);
    object v = automatic(2, 2);
    EXPECT_EQ(obj_stack_offset(&v), 6);
    const uint32_t start = here();
    outasm("ld hl, @SP");
    EXPECT_EQ(emitted(root_code_cache(), start), (std::vector<uint8_t>{0x21, 0x04, 0x00}));
    gen_pop_register(kRidDE);
    EXPECT_EQ(stack_offset(), -2);
    gen_stack_adjust_tracked(2);
    EXPECT_EQ(stack_offset(), 0);
    EXPECT_EQ(lines().back(), "add sp, 2");
}

TEST_F(CodegenTest, KeepPrimaryAdjustmentKeepsHlOnlyForAValueInHl)
{
    object in_hl = held(2);
    CodeGenForObject a(&in_hl);
    a.gen_stack_adjust_keep_primary(400);
    object in_de = held(4);
    CodeGenForObject b(&in_de);
    b.gen_stack_adjust_keep_primary(400);
    EXPECT_EQ(lines(), (std::vector<std::string>{"exx", "ld hl, 400", "add hl, sp", "ld sp, hl",
                                                 "exx", "ld hl, 400", "add hl, sp", "ld sp, hl"}));
}

}  // namespace
