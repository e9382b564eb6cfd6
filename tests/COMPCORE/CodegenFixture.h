// Fixture of the code-generator tests: generated lines go the real way (`outasm`, the assembly-line
// reader, the inline assembler and its branch emitter) into the live emit caches, whose written
// blocks a recording host keeps; a recorder on the parser seam notes the text of every generated
// line. `run` loads what was emitted into the board stand-in as the compile-and-run fixture does
// (data and stack in RAM) and runs the code on the simulated CPU. `RuntimeCodegenTest` also
// places our runtime library (assembled as the library tests assemble it) below the code and
// defines its routines as global labels, so generated calls of "llong_", "I__F", ... run.
#pragma once

#include <gtest/gtest.h>

#include "CompileRunFixture.h"
#include "FrameDoubles.h"
#include "InputHarness.h"
#include "RuntimeLibrary.h"

#include "codegen/CC_ASM.h"
#include "codegen/CC_ASMTAB.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "input/CC_IN.h"
#include "parser/CC_INASM.h"
#include "parser/CC_LABELS.h"
#include "core/CC_OBJ.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "codegen/CC_Z80.h"
#include "codegen/CC_Z80CPU.h"
#include "codegen/CC_Z80GEN.h"
#include "core/SEAM_PARSER.h"
#include "core/SEAM_SETTINGS.h"
#include "SimBoard.h"
#include "SimCpu.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace codegen_test {

// The text of every generated line, in order; everything else goes on to the assembly-line path.
class OutasmRecorder : public ParserSeam {
public:
    std::vector<std::string> lines;

    void parse_asm_block(int asm_flag, int single_line, int root) override
    {
        asm_path_parser_seam().parse_asm_block(asm_flag, single_line, root);
    }
    void parse_program() override { asm_path_parser_seam().parse_program(); }
    void web_reset() override {}
    void reset_declaration_defaults() override {}
    int function_count() const override { return 0; }
    LexerInputPointers save_input() override { return asm_path_parser_seam().save_input(); }
    void point_input_at(const char *text) override
    {
        lines.emplace_back(text);
        asm_path_parser_seam().point_input_at(text);
    }
    void restore_input(const LexerInputPointers &saved) override
    {
        asm_path_parser_seam().restore_input(saved);
    }
    void error_here(const char *text) override { asm_path_parser_seam().error_here(text); }
    void fatal_here(const char *text) override { asm_path_parser_seam().fatal_here(text); }
};

// Where the tests put code and data.
constexpr uint32_t kRootCode = 0x4000;
constexpr uint8_t kPageA = 0x10;  // xmem pages (physical 0x1E000, 0x2E000: flash)
constexpr uint8_t kPageB = 0x20;
constexpr uint32_t kXmemA = make_addr(kPageA, 0xE000);
constexpr uint32_t kXmemB = make_addr(kPageB, 0xE000);
constexpr uint16_t kData = 0x8000;  // data segment (RAM)
constexpr uint16_t kDataSize = 0x400;  // what `ram` reads back after a run
constexpr uint16_t kStackTop = 0xE000;

// The outcome of a run.
struct RunResult {
    vsim::CpuState cpu;
    bool stopped = false;  // reached the stop address
};

class CodegenTest : public ::testing::Test {
protected:
    RecordingCacheHost host;
    OutasmRecorder recorder;
    std::map<uint32_t, uint8_t> data;  // logical data/stack address -> byte, loaded before a run
    std::map<uint16_t, uint8_t> io;    // internal I/O register -> byte, set before a run

    void SetUp() override
    {
        set_emit_cache_host(&host);
        set_emit_origin_table(nullptr);
        host.placement = 1;
        reset_errors();
        reset_error_seen_and_fatal();
        set_compile_mode_word(0);
        set_warning_switches(1, 1);
        set_reporting(true);
        set_parser_seam(&recorder);
        set_listing_recorder(nullptr);
        set_codegen_options_byte(0);
        set_watch_code_generation(false, false);
        point_caches_at_live_set(false);
        for (EmitCache *c : {&root_code_cache(), &xmem_code_cache(), &watch_code_cache()}) {
            c->Unbind();
            c->Reset();
            c->positioned = 0;
        }
        root_code_cache().SetAddress(kRootCode);
        xmem_code_cache().SetAddress(kXmemA);
        set_current_code_cache(root_code_cache());
        reset_asm_path_state();
        reset_asm_state();
        init_label_tables();
        reset_labels(kCloseLocal | kCloseGlobal | kCloseSilent);
        set_label_recording(true);
        set_jump_patcher(&patch_jump_fixup);
        set_asm_block_move_replacement(false);
        reset_settings_to_defaults();
        set_data_wait_flag(0);
        set_codegen_function_context({});
        set_obj_host(&value_model_obj_host());
        (void)select_target_cpu(0, 0);
        reset_code_generator();
        set_input_pointer("");
    }

    void TearDown() override
    {
        install_asm_path(nullptr);
        set_codegen_function_context({});
        set_pending_pusher(nullptr);
        set_obj_host(nullptr);
        set_data_wait_flag(0);
        reset_settings_to_defaults();
        set_asm_target(1, 0);
        (void)select_target_cpu(0, 0);
        reset_code_generator();
        for (EmitCache *c : {&root_code_cache(), &xmem_code_cache(), &watch_code_cache()}) {
            c->Unbind();
            c->Reset();
            c->positioned = 0;
        }
        set_current_code_cache(root_code_cache());
        set_emit_cache_host(nullptr);
        reset_labels(kCloseLocal | kCloseGlobal | kCloseSilent);
        reset_errors();
        install_compiler_joins();  // the listing recorder and node host of a compile
    }

    const std::vector<std::string> &lines() const { return recorder.lines; }
    std::vector<std::string> summaries() const
    {
        std::vector<std::string> out;
        for (const input_test::Message &m : input_test::collect_messages())
            out.push_back(m.summary);
        return out;
    }

    // Everything written so far, by address word.
    std::map<uint32_t, uint8_t> image()
    {
        for (EmitCache *c : {&root_code_cache(), &xmem_code_cache(), &watch_code_cache()})
            if (c->positioned)
                c->Flush();
        std::map<uint32_t, uint8_t> out;
        for (const SentBlock &b : host.sent)
            for (size_t i = 0; i < b.bytes.size(); ++i)
                out[addr_add(b.addr, static_cast<int32_t>(i))] = b.bytes[i];
        return out;
    }
    std::vector<uint8_t> bytes(uint32_t from, size_t n)
    {
        const auto img = image();
        std::vector<uint8_t> v;
        for (size_t i = 0; i < n; ++i) {
            auto it = img.find(addr_add(from, static_cast<int32_t>(i)));
            v.push_back(it == img.end() ? 0xFF : it->second);
        }
        return v;
    }
    // The bytes emitted into a cache since `from`.
    std::vector<uint8_t> emitted(EmitCache &cache, uint32_t from)
    {
        const uint32_t end = cache.current;
        return bytes(from, static_cast<size_t>(addr_diff(end, from)));
    }

    // Loads the emitted code and `data` into a board prepared as for every run, and runs from
    // `start` (with its XPC) until `stop` (logical, any XPC) or the budget.
    RunResult run(uint32_t start, uint16_t stop, const vsim::CpuState *initial = nullptr,
                  uint64_t budget = 10000)
    {
        std::vector<uint8_t> physical(1u << 20, 0xFF);
        if (with_runtime) {
            const rtlib::Image &runtime = rtlib::runtime_image();
            std::copy(runtime.bytes.begin(), runtime.bytes.end(),
                      physical.begin() + runtime.origin);
        }
        for (const auto &[addr, b] : image())
            physical[addr_to_physical(addr)] = b;
        vsim::SimBoard board;
        compile_run::prepare_board(board, physical);
        for (const auto &[addr, b] : data)
            EXPECT_TRUE(board.poke(board.to_physical(static_cast<uint16_t>(addr), 0), b));
        for (const auto &[port, b] : io)
            board.io_write(vsim::IoSpace::internal, port, b);
        RunResult r;
        vsim::cpu_reset(r.cpu);
        if (initial)
            r.cpu = *initial;
        r.cpu.pc = addr_offset(start);
        r.cpu.xpc = addr_xpc(start);
        if (!initial)
            r.cpu.sp = kStackTop;
        const vsim::RunResult done = vsim::cpu_run(r.cpu, board, budget, {{stop, -1}});
        r.stopped = done.reason == vsim::StopReason::breakpoint && r.cpu.pc == stop;
        m_board_ram.clear();
        for (uint16_t a = kData; a < kData + kDataSize; ++a)
            m_board_ram[a] = board.read(a, 0);
        for (uint32_t a = 0xDF00; a < kStackTop; ++a)
            m_board_ram[static_cast<uint16_t>(a)] = board.read(static_cast<uint16_t>(a), 0);
        for (uint16_t port = 0; port < 0x100; ++port)
            m_board_io[port] = board.io_read(vsim::IoSpace::internal, port);
        return r;
    }
    // An internal I/O register (0x00..0xFF) after the last run.
    uint8_t io_register(uint16_t port) const
    {
        auto it = m_board_io.find(port);
        return it == m_board_io.end() ? 0xFF : it->second;
    }
    // A data or stack byte after the last run.
    uint8_t ram(uint16_t logical) const
    {
        auto it = m_board_ram.find(logical);
        return it == m_board_ram.end() ? 0xFF : it->second;
    }

    // The current code address.
    uint32_t here() const { return current_code_cache().current; }

    // The runtime library (the BIOS and every library, assembled as the library tests assemble
    // them) below the test code: loaded with every later run, its routines named as global
    // labels. The first assembly sets the assembler up for itself: a fixture that needs the
    // library from the start assembles it before its own set-up (RuntimeCodegenTest).
    void load_runtime_library()
    {
        const rtlib::Image &runtime = rtlib::runtime_image();
        ASSERT_TRUE(runtime.messages.empty()) << runtime.messages.front();
        ASSERT_LT(runtime.origin + runtime.bytes.size(), size_t{kRootCode});
        for (const auto &[name, address] : runtime.globals)
            define_label(name.c_str(), make_addr(0, address), kLabelGlobal);
        with_runtime = true;
    }

private:
    std::map<uint16_t, uint8_t> m_board_ram;
    std::map<uint16_t, uint8_t> m_board_io;
    bool with_runtime = false;  // the runtime library's bytes go into every run
};

// The code-generator fixture with the runtime library in every run: its routines are global
// labels at their addresses in the library image (root code from 0, below kRootCode).
class RuntimeCodegenTest : public CodegenTest {
protected:
    void SetUp() override
    {
        (void)rtlib::runtime_image();  // assembled before the fixture sets the assembler up
        CodegenTest::SetUp();
        load_runtime_library();
    }
    // The name of the routine at an address, or "" when none starts there.
    static std::string routine_at(uint32_t address)
    {
        for (const auto &[name, at] : rtlib::runtime_image().globals)
            if (at == address)
                return name;
        return "";
    }
};

// One move of `count` bytes of a node: the registers by `set` (kRidNone: by the node's type, a
// char in A when `promote` is 0), the mode the node asks for, then the step loop.
inline void move(object &node, uint8_t op, uint16_t count, uint8_t set = kRidNone,
                 uint8_t promote = 1)
{
    MoveObject m(&node);
    m.registers.promote_char = promote;
    m.registers.request(set, node.type);
    m.select_mode(count);
    m.transfer(op, count);
}

// The CPU as a run starts it: reset, the stack at the top of its segment.
inline vsim::CpuState fresh_cpu()
{
    vsim::CpuState s;
    vsim::cpu_reset(s);
    s.sp = kStackTop;
    return s;
}

// A node for data at a fixed address (kind 1, no symbol), with a declarator for a pointer
// variable or an array.
inline object variable(uint16_t type, uint16_t address, uint32_t declarator = 0)
{
    object o;
    obj_set(&o, 1, type, declarator, true);
    o.value = address;
    return o;
}
inline object global_at(uint16_t address, uint16_t type) { return variable(type, address); }

// An automatic variable at a frame offset.
inline object automatic(uint16_t type, int16_t offset, uint32_t declarator = 0)
{
    object o;
    obj_set(&o, 2, type, declarator, true);
    o.value = static_cast<uint32_t>(static_cast<int32_t>(offset));
    return o;
}

inline object constant(uint16_t type, uint32_t value, uint32_t declarator = 0)
{
    object o;
    obj_set(&o, 0, type, declarator, true);
    o.value = value;
    return o;
}

// A value already in the primary registers (a char in A with `in_a`).
inline object held(uint16_t type, uint32_t declarator = 0, bool in_a = false)
{
    object o;
    obj_set(&o, 255, type, declarator, false);
    set_obj_flag(&o, inByteRegister, in_a);
    return o;
}

// The registers hold the node's address.
inline object held_address(uint16_t type)
{
    object o;
    obj_set(&o, 255, type, 0, true);
    return o;
}

// A value pushed on the target stack.
inline object stacked(uint16_t type, uint32_t declarator = 0)
{
    object o;
    obj_set(&o, 254, type, declarator, false);
    return o;
}

// The node's own storage-space code (1 shared, 2 protected).
inline void set_storage_code(object &o, uint8_t code)
{
    o.flags[0] = static_cast<uint8_t>((o.flags[0] & ~0x0C) | code << 2);
}

// "call routine" as bytes, to the routine's address in the runtime library image.
inline std::vector<uint8_t> call_bytes(const char *routine)
{
    const uint16_t at = rtlib::runtime_image().at(routine);
    return {0xCD, static_cast<uint8_t>(at), static_cast<uint8_t>(at >> 8)};
}

}  // namespace codegen_test
