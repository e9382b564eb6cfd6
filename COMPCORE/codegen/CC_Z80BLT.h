// CC_Z80BLT: the code of built-in operations: switch dispatch through the runtime library's
// "_switch", the bit built-ins (inline for a constant bit number, through the runtime library's
// bit functions otherwise) with the bit instructions on a byte whose address is in HL
// (`Z80BitOps`), and structure copies.
// Called by the statement parser (switch), the call level of the expression compiler (the
// built-ins, whose argument list stands at the input pointer) and the assignments.
#pragma once

#include "parser/CC_ARGREV.h"
#include "CC_Z80.h"

#include <cstdint>
#include <memory>

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

// A bit built-in at the input pointer: "(" address "," bit ")". The bit number is read first
// (the list is read in reverse). A constant bit number compiles inline (the address in HL, as
// above); any other, and on the Z180 one in an I/O space, pushes bit number and address and calls
// the runtime library's function ("BIT", "SET", "RES"; "IBIT" ... for internal, "EBIT" ... for
// external I/O), releasing both afterwards. The test leaves 1 or 0 in HL.
void gen_bit_builtin(BitOperation operation, BitSpace space);

// The argument list of a built-in at the input pointer: "(" (else 2051), the list read in
// reverse order (CC_ARGREV), the pending value pushed. `next` reads the "," between two
// arguments, `close` the ")" behind the last.
class BuiltinArguments {
public:
    BuiltinArguments();
    [[nodiscard]] bool ok() const { return m_ok; }
    [[nodiscard]] bool next();
    void close();

private:
    bool m_ok = false;
    std::unique_ptr<ReverseFunctionArguments> m_reversed;
};

// An argument of a built-in into HL as `type` (2 int; 1 with `as_pointer` a char pointer): an
// array or a function name as its address, a pointer as it is.
void gen_load_argument(object *node, int type, bool as_pointer);

// Copies `count` bytes of a structure: the destination's address into DE, the source's into HL
// (a pointer's value where the node is a pointer), the block move, and the destination's address
// in HL as the result (the node becomes that register-held address). A source in an I/O space
// is reported (2057); no bytes copy nothing.
void gen_block_copy(object *source, object *destination, uint16_t count);

enum : uint32_t { kMsgCgBitTooLarge = 487, kMsgCgIoSourceCopy = 2057 };
