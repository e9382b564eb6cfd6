// CC_Z80GEN: single-line emitters, stack adjustment, block moves, and the branch emitters with
// the back-patcher. Plain instructions go through `outasm` as text; branches are written as bytes
// (`emit_code_byte`, `emit_word`) because their form depends on where the target lies and their
// operand address is handed back for back-patching.
#include "CC_Z80GEN.h"

#include "CC_ASM.h"
#include "CC_ASMDIR.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_IN.h"
#include "parser/CC_INASM.h"
#include "parser/CC_LABELS.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "CC_STUBS.h"
#include "CC_Z80.h"
#include "core/SEAM_LINKER.h"
#include "core/SEAM_SETTINGS.h"

#include <algorithm>
#include <cstdlib>

namespace {

uint32_t g_last_instruction = 0;
bool g_patching = false;  // a branch is being rewritten in place: no room reservations

uint16_t window() { return window_start(); }
bool in_root(uint32_t a) { return addr_offset(a) < window(); }
bool relative(uint8_t op) { return (op & 0xC0) == 0; }
// jp cc: 11ccc010
bool conditional_jump(uint8_t op) { return (op & 0xC7) == 0xC2; }

// A jump or call written while a block is measured (trial pass or dry run) must leave every other
// cache alone: the real pass writes it again.
bool measuring() { return asm_trial_depth() > 0 || asm_dry_run_depth() > 0; }

void emit_offset(uint32_t target) { emit_word(addr_offset(target)); }

// After every branch: where it ended, and room for 32 more bytes of xmem code.
void finish_branch()
{
    g_last_instruction = current_code_cache().current;
    if (!g_patching)
        xmem_code_cache().EnsureRoom(0x20, false);
}

void record_code_range(uint32_t start, uint32_t end)
{
    if (!measuring())
        record_listing_range(start, end, kListProgramCode);
}

}  // namespace

// ---- single lines ------------------------------------------------------------------------------

void gen_ipset(int level)
{
    if (level < 0 || level > 3) {
        cg_error(kMsgCgRangeError);
        return;
    }
    outasm("ipset %d", level);
}

void gen_ipres() { outasm("ipres"); }
void gen_exchange_de_hl() { outasm("ex de, hl"); }
void gen_add_hl_sp() { outasm("add hl, sp"); }
void gen_add_hl_hl() { outasm("add hl, hl"); }
void gen_add_hl_de() { outasm("add hl, de"); }

void gen_sub_hl_de()
{
    outasm("or a");
    outasm("sbc hl, de");
}

void gen_ld_a_l() { outasm("ld a, l"); }
void gen_debug_rst() { outasm("rst 0x28"); }

void gen_widen_a_to_hl()
{
    outasm("ld l, a");
    outasm("ld %s, %d", register_name(kRidH), 0);
}

void gen_swap_primary_with_stack(uint16_t type)
{
    const uint16_t size = type == 12 ? 2 : type_size(type);
    if (size == 2)
        outasm("ex (sp), hl");
    else if (size == 4)
        outasm("call swap4_");
    else
        cg_error(kMsgCgUnableToSwap);
}

uint8_t storage_space_code(const object *node)
{
    const uint8_t own = obj_storage_bits(node);
    if (own || !node->sym)
        return own;
    return (node->sym->flags[0] >> 2) & 3;
}

void gen_block_move(const object *destination, uint16_t count)
{
    if (storage_space_code(destination) == 1) {
        outasm("call doldir_s");
        return;
    }
    const bool internal = obj_flag(destination, internalIo);
    const bool external = obj_flag(destination, externalIo);
    if (internal || external) {
        if (!cpu_is_f80()) {
            cg_error(kMsgCgUnknownOpcode);  // no I/O space on the Z180
            return;
        }
        // The prefix goes with the instruction, so the assembler never replaces this "ldir".
        outasm(internal ? "ioi ldir" : "ioe ldir");
        return;
    }
    if (data_wait_flag()) {
        if (count >= 1 && count <= 25) {
            // ldi until BC is 0: "jp lo" loops while the logical flag says BC is not yet 0.
            const std::string label = make_unique_label("KXLAB");
            define_label(label.c_str(), current_code_cache().current, kLabelLocal);
            outasm("ldi");
            outasm("jp lo, %s", label.c_str());
        } else {
            outasm("call ldir_func");
        }
        return;
    }
    outasm("ldir");
}

void gen_adjust_stack(int16_t n, bool keep_hl)
{
    const int flag = cpu_flag();
    if (n == 0 || (flag != 0 && flag != 1))
        return;
    set_condition_state(comparison_result_in_registers(), false);
    int remaining = n;
    if (flag == 0 && n % 2 == 0) {
        const int words = std::abs(n) / 2;
        const bool by_words = function_size_flag() ? words <= (keep_hl ? 7 : 5)
                                                   : 10 * words <= (keep_hl ? 26 : 20);
        if (by_words) {
            for (int i = 0; i < words; ++i)
                outasm(n < 0 ? "push af" : "pop af");
            return;
        }
    }
    if (flag == 1) {
        while (remaining != 0 && std::abs(remaining) <= 381) {
            const int step = std::clamp(remaining, -128, 127);
            outasm("add sp, %d", step);
            remaining -= step;
        }
        if (remaining == 0)
            return;
    }
    if (keep_hl)
        outasm("exx");
    outasm("ld hl, %d", remaining);
    outasm("add hl, sp");
    outasm("ld sp, hl");
    if (keep_hl)
        outasm("exx");
}

// ---- branches ----------------------------------------------------------------------------------

bool no_bouncers() { return IdePreferences().no_bouncers; }

uint32_t xmem_cache_address() { return xmem_code_cache().current; }
uint32_t last_instruction_address() { return g_last_instruction; }

void emit_far_branch(uint32_t target, uint8_t op, uint32_t *operand, const symbol *)
{
    const bool f80 = cpu_is_f80();
    if (!f80 && (op == kOpLjp || op == kOpLcall)) {
        // 0xC7/0xCF are restarts on the Z180: an xmem target it cannot reach is an error.
        cg_error(kMsgCgUnknownOpcode);
        op = op == kOpLjp ? kOpJp : kOpCall;
    }
    emit_code_byte(op);
    if (operand)
        *operand = current_code_cache().current;
    emit_offset(target);
    if (f80 && (op == kOpLjp || op == kOpLcall))
        emit_code_byte(addr_xpc(target));
    else if (f80 && no_bouncers() && op == kOpCall && target == kDummyAddress)
        emit_code_byte(0);  // room for the page byte should the call become an "lcall"
    finish_branch();
}

// The branch itself, in the code being generated, to a root bouncer that reaches the target.
static void branch_to_bouncer(EmitCache &here_cache, uint8_t op, uint32_t bouncer)
{
    const uint32_t start = here_cache.current;
    emit_code_byte(op);
    emit_offset(bouncer);
    finish_branch();
    record_code_range(start, here_cache.current);
}

// The Z180 reaches xmem code in another page (a loop's head left behind by a page crossing, a
// jump from root) through a root bouncer that maps the target's page into the window (CBR) and
// jumps, keeping every register and flag; the branch, with its condition, goes to the bouncer.
// With the BIOS's "_b_jump" the bouncer is its call and the target behind it:
//   call _b_jump; page; offset
// else it does the work itself:
//   push af; ld a, page; out0 (0x38), a; pop af; jp offset
static BranchRecord gen_z180_page_bouncer(uint32_t target, uint8_t op)
{
    EmitCache &here_cache = current_code_cache();
    EmitCache &root = root_code_cache();
    const uint32_t bouncer = root.current;
    BranchRecord out{kOpJp, 0};
    if (!measuring()) {
        set_current_code_cache(root);
        // Bytes, not lines: a branch may be assembled from inside a line already.
        if (const std::optional<uint32_t> jump = linker_seam().global_label_address("_b_jump")) {
            emit_code_byte(kOpCall);
            emit_offset(*jump);
            emit_code_byte(addr_xpc(target));
            out.operand = current_code_cache().current;
            emit_offset(target);
        } else {
            const uint8_t map_page[] = {0xF5, 0x3E, addr_xpc(target), 0xED, 0x39, 0x38, 0xF1};
            for (const uint8_t b : map_page)
                emit_code_byte(b);
            emit_code_byte(kOpJp);
            out.operand = current_code_cache().current;
            emit_offset(target);
        }
        finish_branch();
        record_code_range(bouncer, root.current);
        set_current_code_cache(here_cache);
    }
    branch_to_bouncer(here_cache, op, bouncer);
    return out;
}

BranchRecord gen_jump(uint32_t target, uint8_t op)
{
    EmitCache &here_cache = current_code_cache();
    const uint32_t here = here_cache.current;
    const bool here_xmem = !in_root(here);
    BranchRecord out{op, 0};

    if (relative(op) || in_root(target) || (here_xmem && addr_xpc(here) == addr_xpc(target))) {
        emit_code_byte(op);
        out.operand = current_code_cache().current;
        if (relative(op)) {
            emit_code_byte(static_cast<uint8_t>(target & 0xFF));
        } else {
            emit_offset(target);
            if (op == kOpLjp)
                emit_code_byte(addr_xpc(target));
        }
        finish_branch();
        return out;
    }
    out.opcode = kOpLjp;
    if (cpu_is_f80() && op == kOpLjp) {
        emit_far_branch(target, kOpLjp, &out.operand, nullptr);
        return out;
    }
    if (!cpu_is_f80()) {
        if (op == kOpCall) {
            // A call returns with "ret" into the page it came from: no bouncer can keep that.
            emit_far_branch(target, kOpLcall, &out.operand, nullptr);
            return out;
        }
        return gen_z180_page_bouncer(target, op);
    }
    if (!here_xmem) {
        // From root: the long form. A condition skips it on its inverse (jp ncc over the "ljp"),
        // and a call stays a call.
        const uint32_t start = here;
        if (conditional_jump(op)) {
            emit_code_byte(static_cast<uint8_t>(op ^ 0x08));
            emit_offset(addr_add(current_code_cache().current, 2 + 4));
        }
        const uint8_t far = op == kOpCall ? kOpLcall : kOpLjp;
        emit_far_branch(target, far, &out.operand, nullptr);
        out.opcode = far;
        record_code_range(start, current_code_cache().current);
        return out;
    }
    // From xmem code in another page: a root bouncer "ljp" and the branch to it.
    EmitCache &root = root_code_cache();
    const uint32_t bouncer = root.current;
    if (!measuring()) {
        set_current_code_cache(root);
        emit_far_branch(target, kOpLjp, &out.operand, nullptr);
        record_code_range(bouncer, root.current);
        set_current_code_cache(here_cache);
    }
    branch_to_bouncer(here_cache, op, bouncer);
    return out;
}

void emit_branch_instruction(uint32_t target, uint8_t op, uint32_t *operand, const symbol *function)
{
    const CodegenFunctionContext &context = codegen_function_context();
    const bool f80 = cpu_is_f80();
    const bool long_function = function && context.long_call_function &&
                               context.long_call_function(function);
    const bool nested_long = context.long_call_nesting && context.long_call_nesting() > 0;
    // An xmem function's frame counts the return address of its root stub, so a plain call of
    // the function's own entry (written in "#asm", or by the start-up, chain or library code
    // that names it) goes to that stub, whichever code it comes from.
    if (op == kOpCall && target != kDummyAddress && !in_root(target) &&
        in_root(translate_xmem_address(target)))
        target = translate_xmem_address(target);
    if (f80 && op == kOpCall && (long_function || nested_long)) {
        op = kOpLcall;
    } else if (target != kDummyAddress && f80) {
        const bool c_in_asm = asm_context() == 2;
        if (!in_root(current_code_cache().current)) {
            // Only an xmem target is called long: a root function returns with "ret".
            if (op == kOpCall && !in_root(target) && (no_bouncers() || c_in_asm))
                op = kOpLcall;
        } else if (c_in_asm && op == kOpCall) {
            // A root stub address of an xmem function: call the function itself.
            const uint32_t xmem = translate_root_address(target);
            if (!in_root(xmem)) {
                if (no_bouncers()) {
                    emit_far_branch(xmem, kOpLcall, operand, function);
                } else {
                    outasm("add sp, -2");
                    emit_far_branch(xmem, kOpLcall, operand, function);
                    outasm("add sp, 2");
                }
                return;
            }
        } else if (op == kOpLcall) {
            target = translate_root_address(target);
        }
    }
    emit_far_branch(target, op, operand, function);
}

uint32_t gen_conditional_call(const char *name, int cc)
{
    static constexpr const char *kConditions[8] = {"nz", "z", "nc", "c", "lz", "lo", "p", "m"};
    const int flag = cpu_flag();
    cc &= 7;
    if (flag == 0) {
        const uint32_t at = current_code_cache().current;
        outasm("call %s, %s", kConditions[cc], name);
        return at;
    }
    if (flag != 1) {
        cg_error(kMsgCgUnknownOpcode);
        return current_code_cache().current;
    }
    // The F80 has no conditional call: skip the call on the inverse condition, with "jr" for
    // nz z nc c and "jp" for the others.
    const int inverse = cc ^ 1;
    uint32_t skip_operand = 0;
    if (cc < 4) {
        emit_code_byte(static_cast<uint8_t>(0x20 | inverse << 3));
        skip_operand = current_code_cache().current;
        emit_code_byte(0);
    } else {
        emit_code_byte(static_cast<uint8_t>(0xC2 | inverse << 3));
        skip_operand = current_code_cache().current;
        emit_word(0);
    }
    const uint32_t call_at = current_code_cache().current;
    outasm("call %s", name);
    const uint32_t end = current_code_cache().current;
    if (cc < 4)
        patch_code_byte(skip_operand, static_cast<uint8_t>(addr_diff(end, addr_add(skip_operand, 1))));
    else
        patch_code_word(skip_operand, addr_offset(end));
    return call_at;
}

void patch_jump(const BranchRecord &branch, uint32_t target)
{
    const uint32_t operand = branch.operand;
    const bool f80 = cpu_is_f80();
    EmitCache &root = root_code_cache();
    EmitCache &xmem = xmem_code_cache();
    // The opcode stands one byte before its operand, in the operand's own page: code in the
    // window's second 4 KB runs with the page it was entered with, so a branch there is judged
    // from that page (only at the window's start does the byte before lie in the page before).
    const uint32_t at = !in_root(operand) && addr_offset(operand) > window_start()
                            ? make_addr(addr_xpc(operand), static_cast<uint16_t>(addr_offset(operand) - 1))
                            : addr_add(operand, -1);
    EmitCache &site = in_root(at) ? root : xmem;
    uint8_t op = branch.opcode ? branch.opcode : site.PeekByte(at);
    // A call placed before its function turned out to lie in xmem enters the function's root
    // stub, as a call placed after it does: the function's frame counts the stub's return.
    if (op == kOpCall && !in_root(target) && in_root(translate_xmem_address(target)))
        target = translate_xmem_address(target);
    if (in_root(target)) {
        patch_code_word(operand, addr_offset(target));
        if (f80 && (op == kOpLjp || op == kOpLcall))
            patch_code_byte(addr_add(operand, 2), addr_xpc(target));
        return;
    }
    EmitCache &was = current_code_cache();
    const uint32_t saved_root = root.current;
    const uint32_t saved_xmem = xmem.current;
    if (relative(op)) {
        // A relative branch keeps its form: only a displacement that reaches is written.
        const int32_t d = addr_diff(target, addr_add(operand, 1));
        if (d < -128 || d > 127 || in_root(operand) != in_root(target)) {
            cg_error(kMsgJumpRange);
            return;
        }
        patch_code_byte(operand, static_cast<uint8_t>(d));
        return;
    }
    const bool call = op == kOpCall || (f80 && op == kOpLcall);
    if (f80 && no_bouncers() && op == kOpCall)
        op = kOpLcall;

    g_patching = true;
    struct Restore {
        ~Restore() { g_patching = false; }
    } restore;
    site.SetAddress(at);
    set_current_code_cache(site);
    bool bouncer = false;
    if (in_root(operand) && !call && op != kOpLjp) {
        // The root site jumps to a bouncer at the end of the root code.
        emit_code_byte(kOpJp);
        emit_offset(saved_root);
        root.SetAddress(saved_root);
        bouncer = true;
    }
    uint32_t written = 0;
    if (call)
        emit_branch_instruction(target, op, &written, nullptr);
    else
        (void)gen_jump(target, op);
    if (bouncer && op != kOpJp) {
        // A branch that may fall through goes on behind the site.
        emit_code_byte(kOpJp);
        emit_offset(addr_add(operand, 2));
    }
    // The bouncer stays where it was written: root code goes on behind it.
    if (&site == &root && !bouncer)
        root.SetAddress(saved_root);
    if (&site == &xmem)
        xmem.SetAddress(saved_xmem);
    set_current_code_cache(was);
}

// ---- the inline assembler's branches ------------------------------------------------------------

bool assemble_branch(uint8_t opcode, uint32_t target, const std::string &name, bool call)
{
    if (call) {
        const symbol *function =
            name.empty() || name.size() > kMaxIdentifier
                ? nullptr
                : find_symbol(name.c_str(), false, kGlobalTable);
        uint32_t operand = 0;
        emit_branch_instruction(target, opcode, &operand, function);
    } else {
        (void)gen_jump(target, opcode);
    }
    return true;
}

void patch_jump_fixup(uint32_t position, uint8_t opcode, uint32_t target, uint32_t)
{
    patch_jump({opcode, position}, target);
}

void reset_branch_state()
{
    g_last_instruction = 0;
    g_patching = false;
}
