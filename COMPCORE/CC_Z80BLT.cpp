// CC_Z80BLT: switch dispatch and the inline bit operations.
#include "CC_Z80BLT.h"

#include "CC_FIOZ8.h"
#include "CC_LABELS.h"
#include "CC_RELOC.h"
#include "CC_Z80GEN.h"
#include "EMITCACHE.h"

#include <string>

// Table entry: value (low, high), target offset (low, high), target page.
void gen_switch_dispatch(EmitCache &table, const SwitchCase *cases, int count)
{
    if (count <= 0)
        return;
    const bool inline_table = &table == &xmem_code_cache();
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
    define_label(at_table.c_str(), table.current, kLabelLocal);
    for (int i = 0; i < count; ++i) {
        const uint16_t value = static_cast<uint16_t>(cases[i].value);
        const uint16_t offset = addr_offset(cases[i].target);
        const uint8_t entry[5] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                  static_cast<uint8_t>(offset), static_cast<uint8_t>(offset >> 8),
                                  addr_xpc(cases[i].target)};
        table.EmitBytes(entry, 5);
    }
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
