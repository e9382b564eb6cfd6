// CC_Z80CALL: named calls and jumps, conditional jumps and the pending jumps to numbered labels.
// Branches are written as bytes by the branch emitters of CC_Z80GEN; the tests that set the zero
// flag are assembly lines.
#include "CC_Z80CALL.h"

#include "driver/CC_FIOZ8.h"
#include "parser/CC_LABELS.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "CC_STUBS.h"
#include "CC_Z80.h"
#include "CC_Z80LOAD.h"

#include <string>
#include <vector>

namespace {

std::function<bool()> g_flag_tracking;

// Jump opcodes by condition: jp nz, jp z, jp nc, jp c, jr nz, jr z, jr nc, jr c.
constexpr uint8_t kJumpOpcodes[8] = {0xC2, 0xCA, 0xD2, 0xDA, 0x20, 0x28, 0x30, 0x38};

uint32_t here() { return current_code_cache().current; }

std::string underscored(const char *name)
{
    std::string out = name ? name : "";
    for (char &c : out)
        if (c == '.')
            c = '_';
    return out;
}

// The global symbol of a name, when the name can be one.
symbol *global_symbol(const std::string &name)
{
    if (name.empty() || name.size() > kMaxIdentifier)
        return nullptr;
    return find_symbol(name.c_str(), false, kGlobalTable);
}

BranchRecord branch_written(uint32_t operand)
{
    return {operand ? peek_code_byte(addr_add(operand, -1)) : uint8_t(0), operand};
}

}  // namespace

// ---- named labels, calls and jumps ----------------------------------------------------------------

int fixup_kind_from_flags(bool forced, uint32_t flags)
{
    if (forced || (flags & (0x800 | 0x1000)) == 0)
        return 1;
    return (flags & 0x1000) ? 3 : 2;
}

uint32_t fixup_flags_for_kind(int kind)
{
    switch (kind) {
    case 1: return 0;
    case 2: return 0x800;
    case 3: return 0x1000;
    default: cg_error(kMsgCgFixupFlags); return 0;
    }
}

uint32_t fixup_flags_for_opcode(uint8_t opcode, uint32_t flags)
{
    return fixup_flags_for_kind(fixup_kind_from_flags(opcode != 0, flags));
}

uint32_t resolve_label_address(const char *name, uint32_t flags, uint8_t kind)
{
    const std::string label = underscored(name);
    if (const symbol *s = global_symbol(label); s && s->address[0] != kDummyAddress)
        return s->address[0];
    return reference_label(label.c_str(), addr_add(here(), kind), flags | kLabelGlobal);
}

BranchRecord gen_call_named(const char *name)
{
    flush_pending_value();
    return gen_call_routine(name);
}

BranchRecord gen_call_routine(const char *name)
{
    const std::string label = underscored(name);
    const symbol *function = global_symbol(label);
    const uint32_t target = resolve_label_address(
        label.c_str(), kFixOpcodeFollows, static_cast<uint8_t>(fixup_kind_from_flags(true, 0)));
    uint32_t operand = 0;
    emit_branch_instruction(target, kOpCall, &operand, function);
    return branch_written(operand);
}

void gen_indirect_call(object *function_pointer)
{
    PrimaryRegister hl;
    hl.request(kRidHL, 12);
    const bool was_pending = pending_value() == function_pointer;
    const PreventRegisterCollision guard(hl);
    const std::string back = make_unique_label("KXLAB");
    if (guard.flag && was_pending) {
        gen_pop_register(kRidIY);  // the pointer the guard just pushed
        outasm("ld de, %s", back.c_str());
        gen_push_register(kRidDE);
        outasm("jp (iy)");
    } else {
        if (function_pointer->kind != 254) {
            (void)claim_pending_value(function_pointer);
            gen_load_value(function_pointer);
            gen_push_value(function_pointer);
        }
        outasm("ld hl, %s", back.c_str());
        outasm("ex (sp), hl");
        outasm("jp (hl)");
    }
    add_stack_offset(2);  // the callee's return takes the word that replaced the pointer
    define_label(back.c_str(), here(), kLabelLocal);
    function_pointer->kind = 255;  // consumed: what the callee returns is in the registers
}

BranchRecord gen_jump_named(const char *name)
{
    const uint32_t target = resolve_label_address(
        name, kFixOpcodeFollows, static_cast<uint8_t>(fixup_kind_from_flags(true, 0)));
    return gen_jump(target, kOpJp);
}

// ---- conditional jumps ------------------------------------------------------------------------------

void set_flag_tracking(std::function<bool()> tracking) { g_flag_tracking = std::move(tracking); }
bool flag_tracking() { return g_flag_tracking && g_flag_tracking(); }

void gen_zero_flag_test(object *value)
{
    gen_load_value_as_int(value);
    const bool address = decl_level(value->declarator, 0) != kDeclNone ||
                         (value->kind == 255 && obj_flag(value, addressInRegisters));
    const uint16_t type = address ? uint16_t(12) : value->type;
    if (type == 1) {
        outasm("or a");  // a char left in A
        return;
    }
    const bool f80 = cpu_is_f80();
    if (type == 4 || type == 5 || type == 7) {
        if (!f80) {
            (void)gen_call_named(type == 7 ? "flt_0" : "long_0");
            return;
        }
        if (type == 7)
            outasm("res 7, b");  // minus zero is zero
        outasm("ld h, b");
        outasm("ld l, c");
        outasm("or hl, de");
        return;
    }
    if (f80) {
        outasm("bool hl");
    } else {
        outasm("ld a, h");
        outasm("or l");
    }
}

BranchRecord gen_conditional_jump(object *value, uint32_t target, int condition, bool relative)
{
    if (value->type == 12 && decl_level(value->declarator, 0) == kDeclNone) {
        cg_error(kMsgCgVoidUse);
        return {};
    }
    int16_t zero = obj_zero_state(value);
    int16_t carry = obj_carry_state(value);
    if (!flag_tracking())
        carry = 0;
    else if (zero != 0)
        condition ^= 1;
    if (condition < 0 || condition >= 8) {
        cg_error(kMsgCgJumpCondition);
        return {};
    }
    if (carry == 0) {
        if (zero == 0) {
            const uint32_t before = here();
            gen_zero_flag_test(value);
            if (relative)
                target -= static_cast<uint32_t>(addr_diff(here(), before));
        } else if (zero < 0) {
            condition ^= 1;
        }
    } else {
        if (carry < 0)
            condition ^= 1;
        condition += 2;
    }
    set_obj_condition_state(value, 0, 0);
    (void)clear_condition_state();
    if (relative) {
        const uint8_t distance = static_cast<uint8_t>(target & 0xFF);
        if (distance & 0x80)
            condition += 4;
        else
            target = addr_add(here(), distance + 2);
    }
    return gen_jump(target, kJumpOpcodes[condition]);
}

// ---- jumps to numbered labels -------------------------------------------------------------------------

void add_jump_fixup(int16_t label, const BranchRecord &branch)
{
    if (JumpFixupTable *table = jump_fixups())
        table->emplace(static_cast<uint16_t>(label),
                       JumpFixup{branch.opcode, addr_add(branch.operand, -1)});
}

void resolve_jump_fixups(int16_t label)
{
    JumpFixupTable *table = jump_fixups();
    if (!table)
        return;
    const auto [first, last] = table->equal_range(static_cast<uint16_t>(label));
    std::vector<JumpFixup> due;
    for (auto it = first; it != last; ++it)
        due.push_back(it->second);
    table->erase(first, last);
    const uint32_t target = here();
    for (const JumpFixup &f : due)
        patch_jump({f.opcode, addr_add(f.site, 1)}, target);
}

// ---- other --------------------------------------------------------------------------------------------

void set_root_data_address(uint32_t address) { root_variable_cache().SetAddress(address); }

uint8_t peek_code_byte(uint32_t address) { return current_code_cache().PeekByte(address); }

