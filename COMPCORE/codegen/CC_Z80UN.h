// CC_Z80UN: the code of the unary operators and of truth values. The operand is in the primary
// registers (HL for 16-bit values, BC:DE for 32-bit values and floats). The F80 set negates and
// complements an int inline unless the function is compiled for size; the Z180 set, and every
// long and float, call runtime routines ("c_neg", "c_com", "c_not", "L_neg", "L_com",
// "L_not", "F_neg", "F_not"; TARGET/lib/RuntimeContract.h).
// `gen_truth_test` turns any value into the int 0/1 in HL. The two markers of the code
// generator (CC_STUBS: truth-ready, HL holds 0/1; flags-valid, the zero flag is set from it)
// let it skip what is already done: a logical not leaves both set.
// Called by the unary level of the expression parser and by its logical operators.
#pragma once

#include "core/CC_OBJ.h"

void gen_negate_int();        // -HL
void gen_complement_int();    // ~HL
void gen_logical_not_int();   // !HL: 1 or 0, both markers set
void gen_negate_long();       // "call L_neg"
void gen_complement_long();   // "call L_com"
void gen_logical_not_long();  // "call L_not": 1 or 0 in HL, both markers set
void gen_negate_float();      // "call F_neg"
void gen_logical_not_float(); // "call F_not": 1 or 0 in HL, both markers set

// HL from the zero flag: with `sense` 1 when the flag is clear. F80: "bool hl" (HL is the value
// the flag was set from); Z180: HL = 0, then a jump over "inc hl" to a fresh ".KXLAB" label.
void gen_bool_from_flags(bool sense);

// Makes the value an int 0/1 in HL: nothing when HL holds the truth already, the flags turned
// into 0/1 when they were set from it, else the value loaded as an int and tested by its type
// (a float's sign is cleared first, so -0.0 is false). The node becomes a plain int.
void gen_truth_test(object *value);
