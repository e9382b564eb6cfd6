// CC_IEXPR: the compile-time layer of every binary operator. Per operator it checks the
// operands (CC_Z80OP's checks), folds two constants (`fold_constant_operation`), reduces the
// identities (x + 0, x * 1, x * 0, x / 1, x % 1, 0 / x, 0 % x) to one operand without code,
// puts a constant left operand of "+" and "*" on the right, and scales pointer arithmetic by
// the size of what the pointer points to. What is left for code it marks with state 3; the
// code itself is CC_Z80EX's (`TargetExpressionHandling`, built on this class).
// Also the operator dispatch by text, and two node queries the expression levels share:
// `array_object_size` and `check_not_void`.
// Called through `gen_binary_operation` by the expression parser; the constant expressions use
// the same layer.
#pragma once

#include "codegen/CC_Z80OP.h"

class IMDExpressionHandling : public ExpressionHandling {
public:
    using ExpressionHandling::ExpressionHandling;

    // Each leaves its decision in `state` and a folded result in the left node.
    void add() override;
    void subtract() override;
    void multiply() override;
    void divide() override;
    void modulo() override;
    void shift_left() override;
    void shift_right() override;
    void equal() override;
    void not_equal() override;
    void less() override;
    void less_equal() override;
    void greater() override;
    void greater_equal() override;
    void bit_or() override;
    void bit_xor() override;
    void bit_and() override;

    // A constant divisor of 0 (integer or float).
    static bool divisor_is_zero(ExpressionHandling *handling, const object *node);

    // The left pointer of a pointer difference, kept for its element size.
    object saved_pointer{};

private:
    void integral(const char *op);
    void comparison_operation(const char *op);
};

// Pointer plus or minus an integer: the integer is multiplied by the element size (folded for
// a constant, code otherwise); an array or constant address plus a constant takes the offset
// into its address at once (state 5). The result type becomes 12. An element of no size
// reports 2024 (state 6).
void scale_pointer_operand(IMDExpressionHandling *handling, const char *op);
// After the code of a pointer difference: the byte difference divided (signed) by the element
// size, as an int.
void scale_pointer_difference(IMDExpressionHandling *handling);

// The size of what a pointer or array node points to: an array level's first dimension is
// skipped, the levels behind it multiply (an array level by its dimension; a pointer or
// function level ends with 2), the type's size ends a walk. 0 for a node that is neither; 450
// for an array without dimension that is not a string literal.
uint32_t array_object_size(const object *node);
// 399 for a void value (type 12 without a declarator level); true when the node is not void.
bool check_not_void(const object *node);

enum : uint32_t {
    kMsgCgCannotComputeSize = 450,   // "Cannot compute size."
    kMsgCgUnknownOperator = 632,     // "Internal error: unknown operator %s."
    kMsgCgSizeUnknown = 2024,        // "Size of type is unknown or zero."
};
