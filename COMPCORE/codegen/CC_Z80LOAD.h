// CC_Z80LOAD: the code generator's loads, stores, pushes and pops of value nodes, and the one
// pending value that keeps the primary registers while another operand is computed.
// The operations of a move (`CodeGenForObject::load`, `store`, `push`, ... declared with the
// model in CC_Z80.h) are defined here; the short entry points below build one `MoveObject` per
// call. The parser, the operator and conversion code and the built-ins call them.
//
// Where values are once loaded: 16-bit values, pointers and chars widened to int in HL; a char
// that is not widened in A (`inByteRegister`); 32-bit values and floats in BC:DE (BC the high
// word). A store takes the value from those registers in the lvalue's own type (a char from A,
// or from L, which it first copies into A).
//
// 4-byte values go through the runtime routines "llong_" and "slong_" (address in HL, value in
// BC:DE) when the function is compiled for size, and through "llong_s"/"slong_s" and
// "llong_ss"/"slong_ss" for storage-space codes 1 and 2; on the Z180 a 4-byte constant is stored
// by "st4_" (and "st4_s", "st4_ss"), with the constant's four bytes behind the call. Their
// contract is TARGET/lib/RuntimeContract.h.
#pragma once

#include "core/CC_OBJ.h"

#include <cstdint>

// ---- loads and stores -----------------------------------------------------------------------------

// The value into the primary registers, by its type.
void gen_load_value(object *node);
// The node's address into HL.
void gen_load_address_hl(object *node);
// A value as an int: a char held in HL only becomes an int, a char in A stays there, anything
// else is loaded with a byte request (so a plain char goes to A).
void gen_load_value_as_int(object *node);
// Stores the primary registers into the lvalue, which is then the register-held result (kind
// 255). A `storeSuppressed` lvalue only loses that bit and `noLoadNeeded`.
void gen_store_registers(object *lvalue);
// Stores a constant node into the lvalue.
void gen_store(object *lvalue, object *constant);
// A plain long, unsigned long or float.
bool is_long_or_float_type(const object *node);
// A fresh int constant into a register set (HL: the pending value is pushed first and the
// comparison state forgotten afterwards); `gen_load_new_value` is its HL form.
void gen_load_register_const(uint8_t set, int32_t value);
void gen_load_new_value(int32_t value);

// ---- the pending value ------------------------------------------------------------------------------

// Makes a register-held value (kind 255) the pending value, flushing any other first; other
// kinds are left alone. With `keep_as_address` a held address is kept as the address.
void defer_load(object *node, bool keep_as_address);
// Pushes the pending value (loading it first when it is not in registers as it is to be kept)
// and empties the slot.
void flush_pending_value();
// When `node` is the pending value the slot is emptied. Returns what the slot held (nullptr
// when empty). A claimed value that was never flushed is still in registers (kind 255); one that
// was flushed is on the stack (kind 254).
object *claim_pending_value(object *node);
// The value the last flush pushed.
object *last_flushed_value();
// Pushes a register-held value by its type; 603 "Cannot push object, report to Brantel." for a
// value not in registers, and when a value other than this one is still pending afterwards.
void gen_push_value(object *node);

// Start of a compile: no value flushed yet.
void reset_value_loads();

// Message ids of these operations.
enum : uint32_t {
    kMsgCgIncompatible = 401,       // "Operands and/or operator incompatible."
    kMsgCgStructAddress = 402,      // "Structure with address expected."
    kMsgCgArrayAddress = 403,       // "Array with address expected."
    kMsgCgCannotLoad = 602,         // "Cannot load object, report to Brantel."
    kMsgCgCannotPush = 603,         // "Cannot push object, report to Brantel."
    kMsgCgInvalidClass = 619,       // "Invalid class storage."
    kMsgCgNothingToPush = 624,
    kMsgCgNothingToPop = 625,
    kMsgCgAddressConstant = 628,
    kMsgCgAddressUnknownClass = 630,
    kMsgCgCharReload = 648,
    kMsgCgIntReload = 649,
    kMsgCgUnknownReload = 650,
    kMsgCgAssignmentType = 651,
    kMsgCgLongStoreClass = 652,
    kMsgCgStoreType = 653,
    kMsgCgConstantStore = 654,
};
