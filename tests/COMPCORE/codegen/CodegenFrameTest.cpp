// Function frames: the exact lines of prologues, epilogues and interrupt entries, and functions of
// every frame form run on the simulated CPU (inline frames and the runtime library's frame
// routines), with automatics, register variables and int or long results.
#include "CodegenFixture.h"

#include "codegen/CC_Z80FUNC.h"

#include <functional>

namespace {

using namespace codegen_test;

constexpr uint32_t kDebug = 0x10;          // option bit 4: debugging code
constexpr uint32_t kOptionForms = 0x02;    // option bit 1
constexpr uint32_t kSize = 1u << 12;       // compiled for size
constexpr uint32_t kXmem = 1u << 21;       // an xmem function
constexpr uint32_t priority(int p) { return static_cast<uint32_t>(p) << 8; }

// One register variable: its type and where it lives.
struct RegVar {
    uint16_t type;
    uint16_t address;
};

class FrameTest : public CodegenTest {
protected:
    uint32_t options = 0;
    bool ix = false;
    uint16_t area_end = 0;

    void SetUp() override
    {
        CodegenTest::SetUp();
        allocate_symbol_tables(256);
        set_local_scope(true);
        clear_local_symbols();
        use_context();
    }
    void TearDown() override
    {
        set_local_scope(false);
        set_function_frame_context({});
        reset_function_frames();
        CodegenTest::TearDown();
    }

    void use_context()
    {
        CodegenFunctionContext c;
        c.function_options = [this] { return options; };
        c.ix_frame = [this] { return ix; };
        set_codegen_function_context(c);
        FunctionFrameContext f;
        f.set_function_options = [this](uint32_t o) { options = o; };
        f.register_area_end = [this] { return area_end; };
        set_function_frame_context(f);
    }

    // Local register variables (kind 4) at their addresses, in declaration order; the area ends
    // behind the last one.
    uint16_t declare(const std::vector<RegVar> &vars)
    {
        uint16_t bytes = 0;
        int n = 0;
        for (const RegVar &v : vars) {
            const std::string name = "rv" + std::to_string(n++);
            symbol *s = add_symbol(name.c_str(), 0, v.type, 0, 4, nullptr, 0);
            s->address[0] = make_addr(0, v.address);
            bytes = static_cast<uint16_t>(bytes + type_size(v.type));
            area_end = static_cast<uint16_t>(v.address + type_size(v.type));
        }
        return bytes;
    }

    // A caller with IX 0x1357 that calls the function the test emits next; returns where the
    // call returns to.
    uint16_t caller()
    {
        outasm("ld ix, 0x1357");
        outasm("call framed");
        const uint16_t back = addr_offset(here());
        outasm("nop");
        define_label("framed", here(), kLabelLocal);
        return back;
    }
};

// ---- exact lines ------------------------------------------------------------------------------------

struct LineCase {
    const char *name;
    int cpu;  // 1 F80, 0 Z180
    uint32_t options;
    bool ix;
    uint16_t autos, registers;
    bool returns_value;
    std::vector<std::string> prolog;
    std::vector<std::string> epilog;
};

const LineCase kLineCases[] = {
    {"ix_frame", 1, 0, true, 4, 0, true,
     {"push ix", "ld ix, 0", "add ix, sp", "add sp, -4"},
     {"ld sp, ix", "pop ix", "ret"}},
    {"no_ix_frame", 1, 0, false, 4, 0, true,
     {"add sp, -4"},
     {"exx", "add sp, 4", "exx", "ret"}},
    {"no_ix_frame_z180", 0, 0, false, 4, 0, true,
     {"push af", "push af"},
     {"exx", "pop af", "pop af", "exx", "ret"}},
    {"no_ix_frame_no_value", 1, 0, false, 4, 0, false,
     {"add sp, -4"},
     {"add sp, 4", "ret"}},
    {"empty_frame", 1, 0, false, 0, 0, true, {}, {"ret"}},
    {"size_ix_registers_k25", 1, kSize, true, 4, 8, true,
     {"exx", "ld hl, -12", "ld de, 36856", "ld bc, 8", "call sspixrffw_"},
     {"exx", "ld hl, 12", "ld de, 36856", "ld bc, 8", "call rspixrff_", "ret"}},
    {"debug_ix", 1, kDebug, true, 6, 0, true,
     {"exx", "ld hl, -6", "call sspixff_"},
     {"exx", "ld hl, 6", "call rspixff_", "ret"}},
    {"debug_no_ix", 1, kDebug, false, 6, 0, false,
     {"exx", "ld hl, -6", "call sspixffn_"},
     {"exx", "ld hl, 6", "call rspixffn_", "ret"}},
    {"option_forms", 1, kOptionForms, true, 2, 0, true,
     {"exx", "ld hl, -2", "call sspixf_"},
     {"exx", "ld hl, 2", "call rspixf_", "ret"}},
    {"xmem_debug_ix_ends_lret", 1, kDebug | kXmem, true, 2, 0, true,
     {"exx", "ld hl, -2", "call sspixff_"},
     {"exx", "ld hl, 2", "call rspixff_", "lret"}},
    {"xmem_inline_ends_lret", 1, kXmem, false, 0, 0, true, {}, {"lret"}},
    {"z180_routine_is_jumped_to", 0, kDebug, true, 2, 0, true,
     {"exx", "ld hl, -2", "call sspixff_"},
     {"exx", "ld hl, 2", "jp rspixff_"}},
    {"z180_option_forms_call", 0, kDebug | kOptionForms, true, 2, 0, true,
     {"exx", "ld hl, -2", "call sspixf_"},
     {"exx", "ld hl, 2", "call rspixf_", "ret"}},
    {"interrupt_priority_3", 1, priority(3), false, 0, 0, false,
     {"push af", "push hl", "call entint_", "ld hl, intr3", "push hl"},
     {"ret"}},
    {"interrupt_priority_1", 1, priority(1), false, 0, 0, false,
     {"push af", "push hl", "call entint_", "ld hl, intr1", "push hl"},
     {"ret"}},
    {"interrupt_priority_5_uses_intr2", 1, priority(5), false, 0, 0, false,
     {"push af", "push hl", "call entint_", "ld hl, intr2", "push hl"},
     {"ret"}},
    {"size_flag_empty_frame_has_no_routine", 1, kSize, false, 0, 0, true, {}, {"ret"}},
    {"size_flag_with_frame", 1, kSize, false, 4, 0, true,
     {"exx", "ld hl, -4", "call sspixffn_"},
     {"exx", "ld hl, 4", "call rspixffn_", "ret"}},
};

class FrameLines : public FrameTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(FrameLines, AreEmittedAsDescribed)
{
    const LineCase &c = GetParam();
    (void)select_target_cpu(0, c.cpu == 1 ? 0 : 1);
    options = c.options;
    ix = c.ix;
    area_end = 0x9000;
    if (c.options & kXmem)
        set_current_code_cache(xmem_code_cache());
    { FunctionProlog p(c.autos, c.registers); }
    const std::vector<std::string> prolog = lines();
    recorder.lines.clear();
    { FunctionEpilog e(c.returns_value); }
    EXPECT_EQ(prolog, c.prolog);
    EXPECT_EQ(lines(), c.epilog);
    EXPECT_TRUE(summaries().empty()) << summaries().front();
}

INSTANTIATE_TEST_SUITE_P(All, FrameLines, ::testing::ValuesIn(kLineCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FrameTest, APrologueWithoutIxFrameClearsTheIxOption)
{
    options = 1u << 11 | kDebug;
    { FunctionProlog p(2, 0); }
    EXPECT_EQ(options, kDebug);
    ix = true;
    options = 1u << 11;
    { FunctionProlog p(2, 0); }
    EXPECT_EQ(options, 1u << 11);
}

TEST_F(FrameTest, FrameKindsOffTheTableAreRefusedAndEmitNothingFurther)
{
    for (uint8_t kind : {0x02, 0x12, 0x18, 0x20, 0x7F}) {
        EXPECT_FALSE(frame_routines(kind).has_value()) << int(kind);
        FunctionFrameState s;
        s.kind = kind;
        s.autos = s.total = 4;
        set_function_frame_state(s);
        reset_errors();
        recorder.lines.clear();
        { FunctionEpilog e(false); }
        EXPECT_EQ(lines(), std::vector<std::string>{"exx"}) << int(kind);
        EXPECT_EQ(summaries(),
                  std::vector<std::string>{"Internal error: Unsupported function epilog subroutine."});
    }
}

TEST_F(FrameTest, EveryKindOfTheTableHasBothRoutines)
{
    struct Row {
        uint8_t kind;
        const char *enter, *leave;
    };
    const Row rows[] = {
        {16, "sspixffn_", "rspixffn_"}, {64, "sspixffn_", "rspixffn_"}, {80, "sspixffn_", "rspixffn_"},
        {17, "sspixff_", "rspixff_"},   {65, "sspixff_", "rspixff_"},   {81, "sspixff_", "rspixff_"},
        {22, "sspixfn_", "rspixfn_"},   {70, "sspixfn_", "rspixfn_"},   {86, "sspixfn_", "rspixfn_"},
        {23, "sspixf_", "rspixf_"},     {71, "sspixf_", "rspixf_"},     {87, "sspixf_", "rspixf_"},
        {25, "sspixrffw_", "rspixrff_"}, {73, "sspixrff_", "rspixrff_"}, {89, "sspixrff_", "rspixrff_"},
        {31, "sspixrf_", "rspixrf_"},   {79, "sspixrf_", "rspixrf_"},   {95, "sspixrf_", "rspixrf_"}};
    for (const Row &row : rows) {
        const auto r = frame_routines(row.kind);
        ASSERT_TRUE(r.has_value()) << int(row.kind);
        EXPECT_STREQ(r->first, row.enter) << int(row.kind);
        EXPECT_STREQ(r->second, row.leave) << int(row.kind);
    }
}

TEST_F(FrameTest, ReturnInstructionByPlaceAndKind)
{
    gen_return_instruction(false);
    gen_return_instruction(true);
    set_current_code_cache(xmem_code_cache());
    gen_return_instruction(false);
    gen_return_instruction(true);
    set_watch_code_generation(true, true);
    gen_return_instruction(false);
    set_watch_code_generation(false, false);
    (void)select_target_cpu(0, 1);
    gen_return_instruction(false);
    EXPECT_EQ(lines(), (std::vector<std::string>{"ret", "reti", "lret", "reti", "ret", "ret"}));
}

// ---- runs ----------------------------------------------------------------------------------------------

struct RunCase {
    const char *name;
    uint32_t options;
    bool ix;
    uint16_t autos;
    std::vector<RegVar> vars;  // with their sizes adding up to R; empty: none
    uint16_t block;            // R of a block copy (7 or more) when `vars` is empty
    bool long_result;
};

const RunCase kRunCases[] = {
    {"ix_autos", 0, true, 6, {}, 0, false},
    {"no_ix_autos", 0, false, 6, {}, 0, false},
    {"no_ix_autos_long", 0, false, 4, {}, 0, true},
    {"ix_registers_small", 0, true, 4, {{2, 0x8010}, {2, 0x8012}}, 0, false},
    {"ix_registers_small_long", 0, true, 2, {{4, 0x8010}, {2, 0x8014}}, 0, true},
    {"no_ix_registers_small_char", 0, false, 0, {{1, 0x8010}, {2, 0x8011}, {1, 0x8013}}, 0, false},
    {"no_ix_registers_block", 0, false, 4, {}, 8, false},
    {"ix_registers_block_long", 0, true, 2, {}, 10, true},
    {"debug_ix", kDebug, true, 6, {}, 0, false},
    {"debug_no_ix", kDebug, false, 6, {}, 0, true},
    {"debug_ix_registers_small", kDebug, true, 4, {{2, 0x8010}, {2, 0x8012}}, 0, false},
    {"debug_no_ix_registers_small", kDebug, false, 4, {{2, 0x8010}, {4, 0x8012}}, 0, true},
    {"debug_ix_registers_block", kDebug, true, 2, {}, 8, true},
    {"size_ix_registers_block", kSize, true, 2, {}, 8, false},
    {"option_forms_ix", kOptionForms, true, 4, {}, 0, false},
};

class FrameRuns : public FrameTest, public ::testing::WithParamInterface<RunCase> {};

// The body writes every automatic byte and every register-variable byte, then loads its result;
// afterwards SP, IX and the register area are as before the call and the result is intact.
TEST_P(FrameRuns, LeaveTheCallerAsTheyFoundIt)
{
    const RunCase &c = GetParam();
    options = c.options;
    ix = c.ix;
    uint16_t registers = declare(c.vars);
    if (c.vars.empty() && c.block) {
        registers = c.block;
        area_end = static_cast<uint16_t>(0x8010 + c.block);
    }
    for (uint16_t a = 0x8010; a < 0x8010 + registers; ++a)
        data[a] = static_cast<uint8_t>(0xA0 + a - 0x8010);
    load_runtime_library();
    const uint16_t back = caller();
    { FunctionProlog p(c.autos, registers); }
    // Every automatic byte: IX frames below IX, the others from SP up.
    if (c.ix) {
        for (int d = 1; d <= c.autos; ++d)
            outasm("ld (ix-%d), 0x55", d);
    } else {
        // Below the automatics: the pushed register variables, or the copied block.
        int below = c.block;
        for (const RegVar &v : c.vars)
            below += type_size(v.type) < 2 ? 2 : type_size(v.type);
        outasm("ld hl, %d", below);
        outasm("add hl, sp");
        for (int d = 0; d < c.autos; ++d) {
            outasm("ld (hl), 0x55");
            outasm("inc hl");
        }
    }
    for (uint16_t a = 0x8010; a < 0x8010 + registers; ++a) {
        outasm("ld a, 0x%02x", 0x11 + a - 0x8010);
        outasm("ld (0x%04x), a", a);
    }
    if (c.long_result) {
        outasm("ld bc, 0x1122");
        outasm("ld de, 0x3344");
    } else {
        outasm("ld hl, 0x4321");
    }
    { FunctionEpilog e(true); }
    EXPECT_TRUE(summaries().empty()) << summaries().front();

    const RunResult r = run(kRootCode, back);
    ASSERT_TRUE(r.stopped) << "PC: " << std::hex << r.cpu.pc;
    EXPECT_EQ(r.cpu.sp, kStackTop);
    EXPECT_EQ(r.cpu.ix, 0x1357);
    if (c.long_result) {
        EXPECT_EQ(r.cpu.bc(), 0x1122);
        EXPECT_EQ(r.cpu.de(), 0x3344);
    } else {
        EXPECT_EQ(r.cpu.hl(), 0x4321);
    }
    for (uint16_t a = 0x8010; a < 0x8010 + registers; ++a)
        EXPECT_EQ(ram(a), 0xA0 + a - 0x8010) << "register area byte 0x" << std::hex << a;
}

INSTANTIATE_TEST_SUITE_P(All, FrameRuns, ::testing::ValuesIn(kRunCases),
                         [](const auto &i) { return std::string(i.param.name); });

// An interrupt function entered as the acknowledge enters it (the priority raised, the
// interrupted code's registers live) leaves every register and the priority as they were.
TEST_F(FrameTest, InterruptFunctionRestoresTheInterruptedCode)
{
    options = priority(1);
    load_runtime_library();
    const uint16_t back = caller();
    { FunctionProlog p(0, 0); }
    outasm("ld hl, 0x0F0F");
    outasm("ld bc, 0x0E0E");
    outasm("exx");
    outasm("ld hl, 0x0D0D");
    outasm("exx");
    { FunctionEpilog e(false); }
    vsim::CpuState initial = fresh_cpu();
    initial.set_hl(0x1111);
    initial.set_bc(0x2222);
    initial.set_de(0x3333);
    initial.ip = 0x01;  // the acknowledge raised the priority
    const RunResult r = run(kRootCode, back, &initial);
    ASSERT_TRUE(r.stopped);
    EXPECT_EQ(r.cpu.hl(), 0x1111);
    EXPECT_EQ(r.cpu.bc(), 0x2222);
    EXPECT_EQ(r.cpu.de(), 0x3333);
    EXPECT_EQ(r.cpu.ix, 0x1357);
    EXPECT_EQ(r.cpu.sp, kStackTop);
    EXPECT_EQ(r.cpu.ip & 3, 0) << "the priority before the acknowledge";
}

}  // namespace
