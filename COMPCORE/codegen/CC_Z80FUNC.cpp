// CC_Z80FUNC: prologues, epilogues, interrupt entries, register-variable saves and the return
// instruction. The frame kind decides between the inline frame (kind 0) and a frame routine of
// the runtime library; the prologue and the epilogue of one function share the state below.
#include "CC_Z80FUNC.h"

#include "driver/CC_FIOZ8.h"
#include "core/CC_OBJ.h"
#include "core/CC_STAB.h"
#include "CC_Z80.h"
#include "CC_Z80GEN.h"

#include <vector>

namespace {

FunctionFrameState g_frame;
FunctionFrameContext g_frame_context;

// The option word's bytes: byte 0 the frame-kind bits, byte 1 the priority (bits 0-2), the
// IX-frame option (bit 3) and the size flag (bit 4), byte 2 the xmem bit (0x20).
uint32_t options()
{
    const CodegenFunctionContext &c = codegen_function_context();
    return c.function_options ? c.function_options() : 0;
}
uint8_t option_byte(int n) { return static_cast<uint8_t>(options() >> (8 * n)); }
int interrupt_priority() { return option_byte(1) & 7; }
bool uses_ix_frame()
{
    const CodegenFunctionContext &c = codegen_function_context();
    return c.ix_frame && c.ix_frame();
}
uint16_t register_area_end()
{
    return g_frame_context.register_area_end ? g_frame_context.register_area_end() : 0;
}
bool xmem_function() { return (option_byte(2) & 0x20) != 0; }

// The block of the register variables: DE its start, BC its size.
void load_register_block()
{
    outasm("ld de, %d", static_cast<int>(static_cast<uint16_t>(register_area_end() - g_frame.registers)));
    outasm("ld bc, %d", static_cast<int>(g_frame.registers));
}

// The register variables in the order the function declared them, up to R bytes.
std::vector<symbol *> register_variables_in_order()
{
    std::vector<symbol *> out;
    int bytes = 0;
    for (std::size_t i = 0; symbol *s = symbol_entry(kLocalTable, i); ++i) {
        if (bytes >= g_frame.registers)
            break;
        if (s->kind != 4 && s->kind != 5)
            continue;
        out.push_back(s);
        object node;
        obj_from_symbol(&node, s);
        bytes += obj_type_size(&node) ? obj_type_size(&node) : 2;
    }
    return out;
}

// The type a register variable moves as: pointers and arrays as addresses.
uint16_t move_type(const object &node)
{
    return decl_level(node.declarator, 0) != kDeclNone ? 12 : node.type;
}
bool four_bytes(uint16_t type) { return type == 4 || type == 5 || type == 7; }

// A small block (below 7 bytes) is pushed variable by variable on entry and popped back on exit;
// a larger one is copied between the register area and the bottom of the frame.
void save_register_variables()
{
    if (watch_code_generation() || g_frame.registers == 0)
        return;
    if (static_cast<int16_t>(g_frame.registers) >= 7) {
        outasm("ld hl, 0");
        gen_add_hl_sp();
        load_register_block();
        gen_exchange_de_hl();  // from the register area to the stack
        object stack{};
        gen_block_move(&stack, g_frame.registers);
        return;
    }
    for (symbol *s : register_variables_in_order()) {
        object node;
        obj_from_symbol(&node, s);
        const uint16_t type = move_type(node);
        MoveObject load(&node);
        load.registers.request(kRidNone, type);
        load.select_mode(four_bytes(type) ? 4 : static_cast<uint16_t>(obj_type_size(&node)));
        load.transfer(kOpLoad, four_bytes(type) ? 4 : obj_type_size(&node));
        if (four_bytes(type)) {
            gen_push_register(kRidBC);  // high word first
            gen_push_register(kRidDE);
        } else {
            gen_push_register(kRidHL);
        }
        set_stack_offset(0);
    }
}

// The reverse of the pushes: the last variable pushed is popped first.
void restore_register_variables()
{
    if (watch_code_generation() || g_frame.registers == 0)
        return;
    if (static_cast<int16_t>(g_frame.registers) >= 7) {
        outasm("ld hl, 0");
        gen_add_hl_sp();
        load_register_block();
        object area{};
        gen_block_move(&area, g_frame.registers);
        return;
    }
    const std::vector<symbol *> saved = register_variables_in_order();
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
        object node;
        obj_from_symbol(&node, *it);
        const uint16_t type = move_type(node);
        const uint16_t size = four_bytes(type) ? 4 : obj_type_size(&node);
        MoveObject store(&node);
        if (four_bytes(type)) {
            gen_pop_register(kRidDE);
            gen_pop_register(kRidBC);
            store.registers.request(kRidNone, type);
        } else if (size == 1) {
            gen_pop_register(kRidHL);
            gen_ld_a_l();  // a char is stored from A
            store.registers.request(kRidA, type);
        } else {
            gen_pop_register(kRidHL);
            store.registers.request(kRidNone, type);
        }
        store.select_mode(size);
        store.transfer(kOpStore, size);
        set_stack_offset(0);
    }
}

// Whether the epilogue restores the register variables inline (and so overwrites the primary
// registers).
bool restores_inline()
{
    return g_frame.kind == 0 && g_frame.registers != 0 && !watch_code_generation();
}

}  // namespace

// ---- state ------------------------------------------------------------------------------------------

const FunctionFrameState &function_frame_state() { return g_frame; }
void set_function_frame_state(const FunctionFrameState &state) { g_frame = state; }
void reset_function_frames() { g_frame = FunctionFrameState{}; }
void set_function_frame_context(FunctionFrameContext context) { g_frame_context = std::move(context); }

uint16_t function_frame_size()
{
    if (g_frame.kind & kFrameRegisters)
        return g_frame.total;
    return static_cast<int16_t>(g_frame.registers) < 7 ? g_frame.autos : g_frame.total;
}

// Frame routines by kind: entry / exit.
std::optional<std::pair<const char *, const char *>> frame_routines(uint8_t kind)
{
    struct Row {
        uint8_t kinds[3];
        const char *enter;
        const char *leave;
    };
    static constexpr Row kRows[] = {
        {{16, 64, 80}, "sspixffn_", "rspixffn_"},
        {{17, 65, 81}, "sspixff_", "rspixff_"},
        {{22, 70, 86}, "sspixfn_", "rspixfn_"},
        {{23, 71, 87}, "sspixf_", "rspixf_"},
        {{25, 25, 25}, "sspixrffw_", "rspixrff_"},
        {{73, 89, 89}, "sspixrff_", "rspixrff_"},
        {{31, 79, 95}, "sspixrf_", "rspixrf_"},
    };
    for (const Row &row : kRows)
        for (uint8_t k : row.kinds)
            if (k == kind)
                return std::make_pair(row.enter, row.leave);
    return std::nullopt;
}

// ---- the slot drivers ---------------------------------------------------------------------------------

void GenericFunctionProlog::run_slots()
{
    if (interrupt_priority() != 0)
        reserved_4();
    if (uses_ix_frame()) {
        ix_frame();
    } else {
        if (g_frame_context.set_function_options)
            g_frame_context.set_function_options(options() & ~(1u << 11));
        if (g_frame.total != 0)
            frame_without_ix();
    }
    if (g_frame.registers != 0)
        register_variables();
    if (option_byte(0) & 0x02) {
        reserved_1();
        reserved_2();
    }
    if (option_byte(0) & 0x10)
        reserved_3();
}

void GenericFunctionEpilog::run_slots()
{
    if (option_byte(0) & 0x10)
        reserved_3();
    if (option_byte(0) & 0x02) {
        reserved_1();
        reserved_2();
    }
    if (g_frame.registers != 0)
        register_variables();
    if (uses_ix_frame())
        ix_frame();
    else if (g_frame.total != 0)
        frame_without_ix();
    if (interrupt_priority() != 0)
        reserved_4();
}

// ---- the prologue -------------------------------------------------------------------------------------

FunctionProlog::FunctionProlog(uint16_t autos, uint16_t registers)
{
    g_frame = FunctionFrameState{};
    g_frame.autos = autos;
    g_frame.registers = registers;
    g_frame.total = static_cast<uint16_t>(autos + registers);

    const uint8_t b0 = option_byte(0);
    const bool size_flag = (option_byte(1) & 0x10) != 0;
    if (size_flag && ((b0 & 0x10) || uses_ix_frame() || function_frame_size() != 0))
        g_frame.kind |= kFrameSize;
    if (b0 & 0x10)
        g_frame.kind |= kFrameDebug;
    if (b0 & 0x02)
        g_frame.kind |= kFrameOptionForms;

    if (const int priority = interrupt_priority()) {
        // The function's final return enters the exit code pushed here.
        static constexpr const char *kExits[4] = {"intr2", "intr1", "intr2", "intr3"};
        gen_push_register(kRidAF);
        gen_push_register(kRidHL);
        outasm("call entint_");
        outasm("ld hl, %s", priority <= 3 ? kExits[priority] : "intr2");
        gen_push_register(kRidHL);
    }
    run_slots();
}

FunctionProlog::~FunctionProlog()
{
    if (g_frame.kind == 0)
        return;
    const auto routines = frame_routines(g_frame.kind);
    if (!routines) {
        cg_error(kMsgCgPrologRoutine);
        return;
    }
    outasm("exx");
    outasm("ld hl, %d", -static_cast<int>(function_frame_size()));
    if (g_frame.kind & kFrameRegisters)
        load_register_block();
    outasm("call %s", routines->first);
    if (g_frame.deferred & kFrameRegisters)
        save_register_variables();
}

void FunctionProlog::ix_frame()
{
    if (g_frame.kind != 0) {
        g_frame.kind |= kFrameRoutineIx;
        return;
    }
    gen_push_register(kRidIX);
    outasm("ld ix, 0");
    outasm("add ix, sp");
    gen_adjust_stack(static_cast<int16_t>(-function_frame_size()), true);
}

void FunctionProlog::frame_without_ix()
{
    if (g_frame.kind == 0)
        gen_adjust_stack(static_cast<int16_t>(-function_frame_size()), true);
}

void FunctionProlog::register_variables()
{
    if (g_frame.kind & kFrameRoutineIx)
        g_frame.kind |= kFrameRegisters;
    else if (g_frame.kind == 0)
        save_register_variables();
    else
        g_frame.deferred |= kFrameRegisters;
}

// ---- the epilogue -------------------------------------------------------------------------------------

FunctionEpilog::FunctionEpilog(bool returns_value)
{
    // The result moves to the alternate registers whenever what follows overwrites the primary
    // ones: a frame routine, a stack move through HL, or register variables restored inline.
    if (g_frame.kind != 0)
        g_frame.epilogue_exx = 1;
    else if (!returns_value)
        g_frame.epilogue_exx = 0;
    else
        g_frame.epilogue_exx =
            (!uses_ix_frame() && function_frame_size() != 0) || restores_inline() ? 1 : 0;
    if (g_frame.epilogue_exx)
        outasm("exx");
    run_slots();
}

FunctionEpilog::~FunctionEpilog()
{
    if (g_frame.kind == 0) {
        if (g_frame.epilogue_exx)
            outasm("exx");
        gen_return_instruction(false);
        return;
    }
    const auto routines = frame_routines(g_frame.kind);
    if (!routines) {
        cg_error(kMsgCgEpilogRoutine);
        return;
    }
    if (g_frame.deferred & kFrameRegisters)
        restore_register_variables();
    outasm("ld hl, %d", static_cast<int>(function_frame_size()));
    if (g_frame.kind & kFrameRegisters)
        load_register_block();
    if (cpu_is_f80()) {
        outasm("call %s", routines->second);
        if ((option_byte(0) & 0x01) || xmem_function())
            outasm("lret");
        else
            gen_return_instruction(false);
        return;
    }
    // The Z180 jumps to the routine, whose return is the function's, unless option bit 1 asks
    // for a call.
    if (option_byte(0) & 0x02) {
        outasm("call %s", routines->second);
        gen_return_instruction(false);
    } else {
        outasm("jp %s", routines->second);
    }
}

void FunctionEpilog::ix_frame()
{
    if (g_frame.kind != 0)
        return;
    outasm("ld sp, ix");
    gen_pop_register(kRidIX);
}

void FunctionEpilog::frame_without_ix()
{
    if (g_frame.kind == 0)
        gen_adjust_stack(static_cast<int16_t>(function_frame_size()), false);
}

void FunctionEpilog::register_variables()
{
    if (g_frame.kind == 0)
        restore_register_variables();
}

// ---- the return instruction ---------------------------------------------------------------------------

void gen_return_instruction(bool interrupt)
{
    if (!interrupt && cpu_is_f80() && !watch_code_generation() &&
        (!addr_is_root(current_code_cache().current) || xmem_function())) {
        outasm("lret");
        return;
    }
    outasm(interrupt ? "reti" : "ret");
}
