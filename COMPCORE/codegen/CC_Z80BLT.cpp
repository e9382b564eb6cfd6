// CC_Z80BLT: switch dispatch and the inline bit operations.
#include "CC_Z80BLT.h"

#include "CC_CONV.h"
#include "driver/CC_FIOZ8.h"
#include "parser/CC_HIER.h"
#include "input/CC_IN.h"
#include "parser/CC_LABELS.h"
#include "linker/CC_RELOC.h"
#include "CC_Z80CALL.h"
#include "CC_Z80GEN.h"
#include "CC_Z80LOAD.h"
#include "linker/EMITCACHE.h"

#include <string>

// Table entry: value (low, high), target offset (low, high), target page.
void gen_switch_dispatch(EmitCache &table, const SwitchCase *cases, int count)
{
    if (count <= 0)
        return;
    // A table in the code being run (xmem code, or root code where constants go with it) is
    // jumped over when no case matches.
    const bool inline_table = &table == &xmem_code_cache() || &table == &current_code_cache();
    if (inline_table)
        table.EnsureRoom(static_cast<uint32_t>(5 * count + 32), false);
    outasm("ld bc, %d", count);
    const std::string at_table = make_unique_label("KXLAB");
    outasm("ld de, %s", at_table.c_str());
    outasm("call _switch");
    std::string past_table;
    if (inline_table) {
        past_table = make_unique_label("KXLAB");
        outasm(cpu_is_f80() ? "ljp %s" : "jp %s", past_table.c_str());
    }
    const ADDR24 table_start = table.current;
    define_label(at_table.c_str(), table.current, kLabelLocal);
    for (int i = 0; i < count; ++i) {
        const uint16_t value = static_cast<uint16_t>(cases[i].value);
        const uint16_t offset = addr_offset(cases[i].target);
        const uint8_t entry[5] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                  static_cast<uint8_t>(offset), static_cast<uint8_t>(offset >> 8),
                                  addr_xpc(cases[i].target)};
        table.EmitBytes(entry, 5);
    }
    // The listing shows the table as the data it is, not as instructions.
    record_listing_range(table_start, table.current, kListData);
    if (inline_table)
        define_label(past_table.c_str(), table.current, kLabelLocal);
}

Z80BitOps::Z80BitOps(BitOperation operation, object *value, int bit, uint8_t operand_mode)
    : MoveObject(value)
{
    if (operand_mode == kModeNone)
        (void)select_mode(1);
    else
        mode = operand_mode;
    static constexpr const char *kMnemonics[3] = {"bit", "res", "set"};
    const char *mnemonic = kMnemonics[operation];
    switch (mode) {
    case kModeIndirect: outasm("%s %d, (hl)", mnemonic, bit); break;
    case kModeFrame:
        outasm("%s %d, (ix+%d)", mnemonic, bit,
               static_cast<int>(static_cast<int16_t>(value->value & 0xFFFF)));
        break;
    case kModeRegisters: outasm("%s %d, a", mnemonic, bit); break;
    default: cg_error(kMsgCgInvalidObjectOperation); break;
    }
}

void gen_constant_bit_operation(BitOperation operation, BitSpace space, int32_t bit)
{
    if (bit < 0 || bit > 31) {
        cg_error(kMsgCgBitTooLarge);
        return;
    }
    for (int32_t step = bit / 8; step > 0; --step)
        outasm("inc hl");  // the byte that holds the bit
    if (space != kBitMemory) {
        if (!cpu_is_f80()) {
            cg_error(kMsgCgUnknownOpcode);  // the Z180 has no I/O space to prefix
            return;
        }
        emit_code_byte(space == kBitInternalIo ? 0xD3 : 0xDB);
    }
    object byte{};
    Z80BitOps op(operation, &byte, bit % 8, kModeIndirect);
    if (operation != kBitTest)
        return;
    // HL becomes 1 when the bit is set: the load leaves the flags of "bit" alone.
    const std::string clear = make_unique_label("KXLAB");
    outasm("ld hl, 0");
    outasm("jr z, %s", clear.c_str());
    outasm("inc hl");
    define_label(clear.c_str(), current_code_cache().current, kLabelLocal);
}

// ---- the bit built-ins ---------------------------------------------------------------------------

BuiltinArguments::BuiltinArguments()
{
    (void)skip_blanks();
    if (!match_text("(")) {
        report_missing_char('(');
        return;
    }
    m_reversed = std::make_unique<ReverseFunctionArguments>();
    if (!m_reversed->active())
        return;  // too many arguments: reported, and the list read over
    flush_pending_value();
    m_ok = true;
}

bool BuiltinArguments::next()
{
    (void)skip_blanks();
    if (match_text(","))
        return true;
    report_missing_char(',');
    return false;
}

void BuiltinArguments::close()
{
    (void)skip_blanks();
    if (!match_text(")"))
        report_missing_char(')');
}

void gen_load_argument(object *node, int type, bool as_pointer)
{
    const uint32_t level = decl_level(node->declarator, 0);
    // An array or a function name loads as the address it stands for; a pointer as it is.
    if (level == kDeclNone || (as_pointer && level == kDeclPointer))
        ConvertCCObject(node, type, as_pointer, 0);
    gen_load_value(node);
}

void gen_bit_builtin(BitOperation operation, BitSpace space)
{
    static constexpr const char *kFunctions[3][3] = {
        {"BIT", "IBIT", "EBIT"}, {"RES", "IRES", "ERES"}, {"SET", "ISET", "ESET"}};
    BuiltinArguments args;
    if (!args.ok())
        return;
    object bit{};
    (void)parse_call_argument(&bit);
    // The Z180 has no I/O prefix: its I/O bits go through the functions whatever the number.
    const bool by_call = bit.kind != 0 || (space != kBitMemory && !cpu_is_f80());
    if (by_call) {
        gen_load_argument(&bit, 2, false);
        gen_push_value(&bit);
    }
    if (!args.next()) {
        if (by_call)
            gen_stack_adjust_tracked(2);  // the bit number goes again
        return;
    }
    object address{};
    (void)parse_call_argument(&address);
    gen_load_argument(&address, 2, false);
    args.close();
    if (by_call) {
        gen_push_value(&address);
        (void)gen_call_named(kFunctions[operation][space]);
        gen_adjust_stack(4, operation == kBitTest);
        add_stack_offset(4);
        return;
    }
    gen_constant_bit_operation(operation, space, static_cast<int32_t>(bit.value));
}

// ---- structure copies -------------------------------------------------------------------------------

namespace {

// The address a copy reads or writes into a register pair: a pointer's value, the address of
// anything else; a register-held node (HL) is moved, a stacked one popped.
void load_copy_address(object *node, uint8_t set)
{
    if (node->kind == 255) {
        if (set == kRidDE)
            gen_exchange_de_hl();
        return;
    }
    MoveObject m(node);
    if (node->kind != 254 && decl_level(node->declarator, 0) == kDeclPointer)
        m.load(set, false, false);
    else
        m.load_address(set);
}

}  // namespace

void gen_block_copy(object *source, object *destination, uint16_t count)
{
    if (obj_flag(source, internalIo) || obj_flag(source, externalIo))
        cg_error(kMsgCgIoSourceCopy);
    // A source held in HL waits (pushed if the destination's load needs HL) unless the
    // destination lies on the stack and is popped into DE without touching HL.
    if (destination->kind != 254)
        defer_load(source, true);
    load_copy_address(destination, kRidDE);
    (void)claim_pending_value(source);
    load_copy_address(source, kRidHL);
    gen_push_register(kRidDE);
    if (count != 0) {  // "ldir" with BC = 0 would move 64 KB
        gen_load_register_const(kRidBC, count);
        // The move writes the destination as shared or protected when either side is.
        object target = *destination;
        const uint8_t space = storage_space_code(source) | storage_space_code(destination);
        target.flags[0] = static_cast<uint8_t>((target.flags[0] & ~0x0C) | (space & 3) << 2);
        gen_block_move(&target, count);
    }
    gen_pop_register(kRidHL);
    destination->kind = 255;
    set_obj_flag(destination, addressInRegisters, true);
    set_obj_flag(destination, inByteRegister, false);
}
