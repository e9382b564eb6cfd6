// CC_IEXPR: the compile-time layer of the binary operators: dispatch by text, folding,
// identities, operand order and pointer scaling.
#include "CC_IEXPR.h"

#include "codegen/CC_CONV.h"
#include "input/CC_IN.h"
#include "codegen/CC_Z80.h"
#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80EX.h"
#include "codegen/CC_Z80LOAD.h"

#include <cassert>
#include <cstring>

namespace {

bool plain(const object *node) { return decl_level(node->declarator, 0) == kDeclNone; }
bool is_constant(const object *node) { return node->kind == 0; }
bool is_zero(const object *node) { return obj_const_equals(node, 0.0); }
bool is_one(const object *node) { return obj_const_equals(node, 1.0); }

// The node becomes the constant 0 of its own type.
void make_zero(object *node)
{
    const uint16_t type = node->type;
    obj_set(node, 0, type, 0, true);
    node->value = 0;
}

}  // namespace

// ---- node queries -------------------------------------------------------------------------------------

uint32_t array_object_size(const object *node)
{
    const uint32_t first = decl_level(node->declarator, 0);
    if (first != kDeclArray && first != kDeclPointer)
        return 0;
    int dim = first == kDeclArray ? 1 : 0;
    uint32_t product = 1;
    for (int level = 1; level < 8; ++level) {
        const uint32_t kind = level < 7 ? decl_level(node->declarator, level) : kDeclNone;
        if (kind == kDeclNone)
            return product * type_size(node->type);
        if (kind == kDeclPointer || kind == kDeclFunction)
            return product * 2;
        // A dimension of 0 is one that was never given ("extern int v[];").
        if (node->dims && dim < node->dim_count && node->dims[dim] != 0) {
            product *= node->dims[dim++];
        } else if (node->sym == placeholder_symbol() && node->literal) {
            product = static_cast<uint32_t>(std::strlen(node->literal) + 1);
        } else {
            cg_error(kMsgCgCannotComputeSize);
            return 0;
        }
    }
    return product * type_size(node->type);
}

bool check_not_void(const object *node)
{
    if (node->type != 12 || !plain(node))
        return true;
    cg_error(kMsgCgVoidUse);
    return false;
}

// ---- dispatch ---------------------------------------------------------------------------------------------

// "+" "-" "*" "/" "%"; "<<" "<=" "<"; ">>" ">=" ">"; "==" "!="; "|" "^" "&". "||" and "&&"
// reach the bitwise operations (the logical levels hand them 0/1 constants only).
void ExpressionHandling::dispatch(const char *op)
{
    (void)check_not_void(right);
    (void)check_not_void(left);
    const char first = op[0];
    const char second = first ? op[1] : '\0';
    switch (first) {
    case '+': add(); return;
    case '-':
        subtract();
        if (pointer_difference) {
            auto *handling = dynamic_cast<IMDExpressionHandling *>(this);
            assert(handling && "every handling derives from IMDExpressionHandling");
            if (handling)
                scale_pointer_difference(handling);
        }
        return;
    case '*': multiply(); return;
    case '/': divide(); return;
    case '%': modulo(); return;
    case '<':
        if (second == '<') shift_left();
        else if (second == '=') less_equal();
        else less();
        return;
    case '>':
        if (second == '>') shift_right();
        else if (second == '=') greater_equal();
        else greater();
        return;
    case '=':
        if (second == '=')
            equal();
        return;
    case '!':
        if (second == '=')
            not_equal();
        return;
    case '|': bit_or(); return;
    case '^': bit_xor(); return;
    case '&': bit_and(); return;
    default: error_here(msg(kMsgCgUnknownOperator), op); return;
    }
}

// ---- the operators -----------------------------------------------------------------------------------------

bool IMDExpressionHandling::divisor_is_zero(ExpressionHandling *, const object *node)
{
    return is_zero(node);
}

void IMDExpressionHandling::add()
{
    if (!check_add())
        return;
    if (!plain(right))
        exchange_operands();
    if (plain(left) && fold_constant_operation(this, left, right, "+"))
        return;
    if (is_constant(left) && !is_constant(right))
        exchange_operands();
    if (!plain(left))
        scale_pointer_operand(this, "+");
    if (is_zero(right))
        state = kStateLeft;
    else if (state == kStateUndecided)
        state = kStateCode;
}

void IMDExpressionHandling::subtract()
{
    if (!check_subtract())
        return;
    if (plain(left) && fold_constant_operation(this, left, right, "-"))
        return;
    if (!plain(left)) {
        if (plain(right)) {
            if (right->type < 6)
                scale_pointer_operand(this, "-");
        } else {
            if (obj_is_function(left) || obj_is_function(right) || left->type == 12 ||
                right->type == 12 || left->type != right->type) {
                state = kStateIncompatible;
                return;
            }
            if (!pointer_difference) {
                pointer_difference = 1;
                result_type = 12;
                saved_pointer = *left;
            }
        }
    }
    if (is_zero(right))
        state = kStateLeft;
    else if (state == kStateUndecided)
        state = kStateCode;
}

void IMDExpressionHandling::multiply()
{
    if (!check_multiplicative())
        return;
    if (fold_constant_operation(this, left, right, "*"))
        return;
    if (is_constant(left))
        exchange_operands();
    if (is_zero(right)) {
        discard_operand(left);
        *left = *right;
        state = kStateLeft;
    } else if (is_one(right)) {
        state = kStateLeft;
    } else {
        state = kStateCode;
    }
}

void IMDExpressionHandling::divide()
{
    if (!check_multiplicative())
        return;
    if (divisor_is_zero(this, right)) {
        state = kStateDivideByZero;
        return;
    }
    if (fold_constant_operation(this, left, right, "/"))
        return;
    if (is_zero(left)) {
        discard_operand(right);
        state = kStateLeft;
    } else if (is_one(right)) {
        state = kStateLeft;
    } else {
        state = kStateCode;
    }
}

void IMDExpressionHandling::modulo()
{
    if (!check_multiplicative())
        return;
    // A float remainder: two constants are refused here; for a value the operator's code
    // reports that "%" takes no float, once.
    if (operand_in_class(kOperandFloat, left) || operand_in_class(kOperandFloat, right)) {
        state = is_constant(left) && is_constant(right) ? kStateIncompatible : kStateCode;
        return;
    }
    if (divisor_is_zero(this, right)) {
        state = kStateDivideByZero;
        return;
    }
    if (fold_constant_operation(this, left, right, "%"))
        return;
    if (is_zero(left)) {
        discard_operand(right);
        state = kStateLeft;
    } else if (is_one(right)) {
        discard_operand(left);
        make_zero(left);
        state = kStateLeft;
    } else {
        state = kStateCode;
    }
}

void IMDExpressionHandling::integral(const char *op)
{
    if (!check_integral())
        return;
    if (fold_constant_operation(this, left, right, op))
        return;
    state = kStateCode;
}

void IMDExpressionHandling::comparison_operation(const char *op)
{
    if (!check_comparison())
        return;
    if (fold_constant_operation(this, left, right, op))
        return;
    state = kStateCode;
}

void IMDExpressionHandling::shift_left() { integral("<<"); }
void IMDExpressionHandling::shift_right() { integral(">>"); }
void IMDExpressionHandling::bit_or() { integral("|"); }
void IMDExpressionHandling::bit_xor() { integral("^"); }
void IMDExpressionHandling::bit_and() { integral("&"); }
void IMDExpressionHandling::equal() { comparison_operation("=="); }
void IMDExpressionHandling::not_equal() { comparison_operation("!="); }
void IMDExpressionHandling::less() { comparison_operation("<"); }
void IMDExpressionHandling::less_equal() { comparison_operation("<="); }
void IMDExpressionHandling::greater() { comparison_operation(">"); }
void IMDExpressionHandling::greater_equal() { comparison_operation(">="); }

// ---- pointer scaling -----------------------------------------------------------------------------------------

void scale_pointer_operand(IMDExpressionHandling *handling, const char *op)
{
    object *pointer = handling->left;
    if (pointer->kind == 255 && pending_value() != pointer)
        defer_load(pointer, false);
    const uint32_t size = array_object_size(pointer);
    if (size == 0) {
        cg_error(kMsgCgSizeUnknown);
        handling->state = kStateNoSize;
    }
    object element{};
    obj_set(&element, 0, 2, 0, true);
    element.value = size;
    {
        TargetExpressionHandling scale(handling->right, &element);
        scale.multiply();
    }
    (void)claim_pending_value(pointer);
    object *offset = handling->right;
    const bool address_constant =
        decl_level(pointer->declarator, 0) == kDeclArray || is_constant(pointer);
    if (address_constant && pointer->kind != 255 && is_constant(offset)) {
        const auto bytes = static_cast<uint32_t>(static_cast<int32_t>(
            static_cast<int16_t>(offset->value & 0xFFFF)));
        pointer->value = op[0] == '-' ? pointer->value - bytes : pointer->value + bytes;
        handling->state = kStateOffsetFolded;
    }
    handling->result_type = 12;
}

// The difference counts elements: the byte difference divided by the element size as signed
// ints, so that a pointer below the other gives a negative count.
void scale_pointer_difference(IMDExpressionHandling *handling)
{
    handling->pointer_difference = 0;
    object *difference = handling->left;
    ConvertCCObject(difference, 2, false, 0);
    handling->result_type = 2;
    const uint32_t size = array_object_size(&handling->saved_pointer);
    if (size == 0) {
        cg_error(kMsgCgSizeUnknown);
        return;
    }
    defer_load(difference, false);
    object element{};
    obj_set(&element, 0, 2, 0, true);
    element.value = size;
    {
        TargetExpressionHandling scale(difference, &element);
        scale.divide();
    }
    (void)claim_pending_value(difference);
}
