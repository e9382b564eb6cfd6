// CC_Z80BLT: the code of built-in operations: switch dispatch through the runtime library's
// "_switch", the bit operations on a byte whose address is in HL (`Z80BitOps`), and the part of
// the bit built-ins that a constant bit number compiles inline.
// Called by the statement parser (switch) and the call level of the expression compiler (the
// built-ins), which reads the arguments.
#pragma once

#include "CC_Z80.h"

#include <cstdint>

class EmitCache;

// One case of a switch: its value and the code address of its label.
struct SwitchCase {
    int16_t value = 0;
    uint32_t target = 0;
};

// "ld bc, n", "ld de, TABLE", "call _switch", then the table of 5-byte entries (value low and
// high, target offset low and high, target page) in `table`. In the xmem code cache the table
// lies inline, skipped by "ljp" ("jp" on the Z180). No cases: nothing. The code behind the
// dispatch (the jump to the default) runs when no entry matches.
void gen_switch_dispatch(EmitCache &table, const SwitchCase *cases, int count);

// Bit operations and spaces of the bit built-ins.
enum BitOperation : uint8_t { kBitTest = 0, kBitReset = 1, kBitSet = 2 };
enum BitSpace : uint8_t { kBitMemory = 0, kBitInternalIo = 1, kBitExternalIo = 2 };

// A bit instruction on a node: "bit %d, %s", "res %d, %s" or "set %d, %s" with the operand of
// the mode: 2 "(hl)", 3 "(ix+%d)", 4 "a" (mode 6: the mode the node asks for).
class Z80BitOps : public MoveObject {
public:
    Z80BitOps(BitOperation operation, object *node, int bit, uint8_t operand_mode);
};

// The inline form of a bit built-in with a constant bit number, the byte's address in HL: bits
// above 7 move the address on by bit / 8; I/O spaces get their prefix (F80 only); the test leaves
// 1 or 0 in HL. A bit number outside 0..31 is reported (487) and nothing is emitted.
void gen_constant_bit_operation(BitOperation operation, BitSpace space, int32_t bit);

enum : uint32_t { kMsgCgBitTooLarge = 487 };
