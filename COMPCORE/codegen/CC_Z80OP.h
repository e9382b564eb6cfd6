// CC_Z80OP: the handling of one binary operator over its two operand nodes. An
// `ExpressionHandling` is built on the host stack for one operator: its type check sets the
// common result type and refuses operands the operator cannot take, `fold_constant_operation`
// computes two constants at compile time, and `arrange_operands` brings non-constant operands
// into the registers or onto the stack the operator's code needs. Its destructor completes the
// handling: it reports a refusal (401) or a constant division by zero (400), converts an
// identity result to the result type, makes a comparison's result an int and hands the result
// to the caller's left node.
//
// The two levels built on it: `IMDExpressionHandling` (CC_IEXPR) decides per operator whether
// the operands are refused, folded, reduced by an identity or left for code, and scales pointer
// arithmetic; `TargetExpressionHandling` (CC_Z80EX) emits the code. The expression parser calls
// `gen_binary_operation` (CC_Z80EX) with the operator's text.
//
// Where operands are while code is arranged: a constant or memory operand is used in place or
// loaded; a value in registers (kind 255) is the one the registers hold by its type (HL, or
// BC:DE for 32 bits; a char maybe in A); a value on the target stack (kind 254) is popped when
// needed. Before an operand is loaded, a left value in registers is made the pending value, so
// that the collision guard of the value model pushes it out of the way. A value on the stack is
// never popped from under another: when the registers it goes to are held by a pending value,
// the two are exchanged ("ex (sp), hl", "call swap4_").
#pragma once

#include "core/CC_OBJ.h"

#include <cstdint>

// Operand classes of the type checks (a mask).
enum : uint8_t {
    kOperandInteger = 1,   // a plain type below 6 (char .. unsigned long)
    kOperandFloat = 2,     // a plain float
    kOperandPointer = 4,   // a first declarator level: pointer, array or function
    kOperandFunction = 8,  // a function, or an array of or pointer to functions
};
// Whether the node is of any class in the mask.
bool operand_in_class(uint8_t mask, const object *node);

// Where an operator's code wants an operand.
enum Placement : uint8_t {
    kPlaceInPlace = 0,     // a constant (converted) or memory as it is; a stacked value popped
    kPlacePrimary = 1,     // the primary registers by the result type (a char widened to int)
    kPlaceSecondary = 2,   // DE (16-bit values)
    kPlaceStacked = 3,     // pushed on the target stack
    kPlacePrimaryByte = 4, // the primary registers, a char kept as a byte in A
    kPlaceAddressable = 5, // where an instruction reaches it (else its address in HL)
};

// What `arrange_operands` may do when the left operand must lie on the stack under the right
// one but the right one was computed first.
enum SwapOption : uint8_t {
    kSwapNone = 0,     // the operator is commutative: leave them reversed
    kSwapExchange = 1, // exchange the stacked value and the registers
    kSwapReverse = 2,  // leave them reversed and note it (`reversed_on_stack`)
};

// States of a handling.
enum HandlingState : uint8_t {
    kStateIncompatible = 0, // refused: 401 at the end
    kStateDivideByZero = 1, // a constant divisor 0: 400 at the end, no code
    kStateUndecided = 2,
    kStateCode = 3,         // code is needed
    kStateLeft = 4,         // the result is the left operand, converted at the end
    kStateOffsetFolded = 5, // a constant offset was folded into the left operand's address
    kStateNoSize = 6,       // the pointed-to type has no size (reported)
};

class ExpressionHandling {
public:
    // State 2, every flag clear. `left` receives the result.
    ExpressionHandling(object *left, object *right);
    // The completion (see the unit's head). Reports nothing while an exception unwinds.
    virtual ~ExpressionHandling() noexcept(false);
    ExpressionHandling(const ExpressionHandling &) = delete;
    ExpressionHandling &operator=(const ExpressionHandling &) = delete;

    // The operation for an operator text, by its first one or two characters (CC_IEXPR).
    void dispatch(const char *op);

    // One operation per operator, in slot order.
    virtual void add() = 0;
    virtual void subtract() = 0;
    virtual void multiply() = 0;
    virtual void divide() = 0;
    virtual void modulo() = 0;
    virtual void shift_left() = 0;
    virtual void shift_right() = 0;
    virtual void equal() = 0;
    virtual void not_equal() = 0;
    virtual void less() = 0;
    virtual void less_equal() = 0;
    virtual void greater() = 0;
    virtual void greater_equal() = 0;
    virtual void bit_or() = 0;
    virtual void bit_xor() = 0;
    virtual void bit_and() = 0;

    // Type checks: each sets the result type (the larger type code; a pointer counts as what
    // it points to), warns 2104 for function addresses (and 2107 for pointers where the
    // operator takes none), sets state 0 for refused operands and answers whether the
    // operation goes on. `check_comparison` never refuses; it marks the result a truth value
    // and compares pointers as unsigned int.
    bool check_add();
    bool check_subtract();
    bool check_multiplicative();  // *, / and %
    bool check_integral();        // <<, >>, |, ^ and &
    bool check_comparison();
    // Both operands in their classes.
    bool operands_in_classes(uint8_t left_mask, uint8_t right_mask) const;

    // Brings the left and right operands into the placements an operator's code needs; the
    // result is to be left in the left node.
    void arrange_operands(uint8_t left_placement, uint8_t right_placement, uint8_t swap_option);
    // Places one operand.
    void place_operand(object *node, uint8_t placement, uint32_t result_type);
    // The left operand lies in the primary registers and the right one on the stack: exchanges
    // the two values ("ex (sp), hl" for 2 bytes, "call swap4_" for 4, else 638), so that the
    // left one is stacked.
    void swap_operands();

    object *left;
    object *right;
    uint32_t result_type = 0;
    uint8_t state = kStateUndecided;
    uint8_t copy_back = 0;          // the nodes were exchanged: the result goes back at the end
    uint8_t swapped = 0;            // the operands were exchanged
    uint8_t reversed_on_stack = 0;  // the right operand lies on the stack, the left in registers
    uint8_t comparison = 0;         // the result is an int truth value
    uint8_t pointer_difference = 0; // a pointer difference waits for its scaling

protected:
    // Exchanges the two nodes (the compile-time reordering of the operands).
    void exchange_operands();
    // An operand whose value is not needed: taken from the pending slot, its stacked bytes
    // released.
    void discard_operand(object *node);

private:
    void complete();
    void normalise_registers();
    void make_pending(object *node);
    int m_exceptions;
};

// Folds two constant operands into the left one by the result type (integers in 32 bits,
// signed or unsigned; floats in single precision); true when both were constants. A zero
// divisor reports 400 and leaves the left value; a type that cannot be folded reports 620; a
// float operand of an integral operator reports "Invalid type for '%s' operator".
bool fold_constant_operation(ExpressionHandling *handling, object *left, object *right,
                             const char *op);

// 401 "Operands and/or operator incompatible.".
void report_incompatible_operands();
// The empty check of the logical operators.
int return_zero_stub();

// Message ids of the operator handling.
enum : uint32_t {
    kMsgCgDivideByZero = 400,       // "Division by constant zero."
    kMsgCgBadConstant = 620,        // "Internal error: invalid constant operand."
    kMsgCgFunctionArithmetic = 2104, // "Arithmetic expressions cannot contain function addresses."
    kMsgCgPointerArithmetic = 2107, // "Pointers or references to variables cannot be used ..."
};
