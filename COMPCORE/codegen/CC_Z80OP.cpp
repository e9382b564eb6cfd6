// CC_Z80OP: the handling of one binary operator: type checks, constant folding, the arranging
// of operands for the operator's code, and the completion that hands the result back.
#include "CC_Z80OP.h"

#include "CC_CONV.h"
#include "input/CC_IN.h"
#include "CC_Z80.h"
#include "CC_Z80EX.h"
#include "CC_Z80GEN.h"
#include "CC_Z80LOAD.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

namespace {

uint32_t first_level(const object *node) { return decl_level(node->declarator, 0); }
bool plain(const object *node) { return first_level(node) == kDeclNone; }
bool is_constant(const object *node) { return node->kind == 0; }
bool in_registers(const object *node) { return node->kind == 255; }
bool on_stack(const object *node) { return node->kind == 254; }
bool holds_address(const object *node)
{
    return in_registers(node) && obj_flag(node, addressInRegisters);
}

uint8_t classes_of(const object *node)
{
    const uint32_t level = first_level(node);
    if (level != kDeclNone) {
        const bool function =
            level == kDeclFunction || decl_level(node->declarator, 1) == kDeclFunction;
        return static_cast<uint8_t>(kOperandPointer | (function ? kOperandFunction : 0));
    }
    if (node->type < 6)
        return kOperandInteger;
    return node->type == 7 ? kOperandFloat : 0;
}

// The usual conversion of an operand to the operation's type (in pointer arithmetic, type 12,
// a pointer keeps its own type and an integer stays an integer).
void to_result_type(object *node, uint32_t result_type)
{
    ConvertCCObject(node, static_cast<int>(result_type), false, 0);
}

// A value that goes into DE unchanged: a constant, or a 16-bit integer or pointer variable,
// for a 16-bit operation.
bool loads_unchanged(const object *node, uint32_t result_type)
{
    if (result_type != 2 && result_type != 3 && result_type != 12)
        return false;
    if (is_constant(node))
        return true;
    if (first_level(node) == kDeclPointer)
        return true;
    return plain(node) && (node->type == 2 || node->type == 3);
}

void retype_word(object *node, uint32_t result_type)
{
    if (plain(node) && result_type != 12)
        node->type = static_cast<uint16_t>(result_type);
}

// A value into the primary registers. A stacked value is popped unless a pending value holds
// those registers: then the two are exchanged, and the pending value is the one on the stack.
void load_primary(object *node, bool byte)
{
    (void)claim_pending_value(node);
    if (on_stack(node)) {
        object *pending = pending_value();
        if (pending && pending != node) {
            PrimaryRegister wanted;
            wanted.request(kRidNone, plain(node) ? node->type : uint16_t(12));
            if (value_collides(pending, pending_keep_as_address(), wanted).collision) {
                gen_swap_primary_with_stack(plain(node) ? node->type : uint16_t(12));
                clear_pending_value();
                pending->kind = 254;
                node->kind = 255;
                return;
            }
        }
        gen_load_value(node);
        return;
    }
    if (in_registers(node) && !obj_flag(node, addressInRegisters))
        return;
    if (byte)
        gen_load_value_as_int(node);
    else
        gen_load_value(node);
}

}  // namespace

bool operand_in_class(uint8_t mask, const object *node) { return (classes_of(node) & mask) != 0; }

void report_incompatible_operands() { cg_error(kMsgCgIncompatible); }

int return_zero_stub() { return 0; }

// ---- the handling -----------------------------------------------------------------------------------

ExpressionHandling::ExpressionHandling(object *left_node, object *right_node)
    : left(left_node), right(right_node), m_exceptions(std::uncaught_exceptions())
{
}

ExpressionHandling::~ExpressionHandling() noexcept(false)
{
    if (std::uncaught_exceptions() > m_exceptions)
        return;
    complete();
}

void ExpressionHandling::complete()
{
    (void)claim_pending_value(left);
    (void)claim_pending_value(right);
    if (state == kStateIncompatible) {
        report_incompatible_operands();
        return;
    }
    if (state == kStateDivideByZero) {
        cg_error(kMsgCgDivideByZero);
        return;
    }
    if (state == kStateLeft && left->type != result_type)
        ConvertCCObject(left, static_cast<int>(result_type), !plain(left),
                        kConvWarnLostDigits | kConvMaskChar);
    // A folded comparison keeps the type the fold gave it; a computed one is an int.
    if (comparison && !is_constant(left)) {
        left->type = 2;
        left->declarator = 0;
        set_obj_flag(left, inByteRegister, false);
    }
    if (copy_back)
        *right = *left;
}

void ExpressionHandling::exchange_operands()
{
    std::swap(left, right);
    copy_back ^= 1;
    swapped = 1;
}

void ExpressionHandling::discard_operand(object *node)
{
    (void)claim_pending_value(node);
    if (on_stack(node)) {
        // HL may hold a value still pending: it survives the release.
        const auto bytes = static_cast<int16_t>(std::max<uint16_t>(obj_type_size(node), 2));
        gen_adjust_stack(bytes, true);
        add_stack_offset(bytes);
        node->kind = 255;
    }
}

// ---- type checks --------------------------------------------------------------------------------------

bool ExpressionHandling::operands_in_classes(uint8_t left_mask, uint8_t right_mask) const
{
    return operand_in_class(left_mask, left) && operand_in_class(right_mask, right);
}

namespace {

// The shared part of the checks: the result type and the warnings.
void check_common(ExpressionHandling &h, bool pointers_forbidden)
{
    h.result_type = std::max(h.left->type, h.right->type);
    if (operand_in_class(kOperandFunction, h.left) || operand_in_class(kOperandFunction, h.right))
        serious_warning_here("%s", msg(kMsgCgFunctionArithmetic));
    if (pointers_forbidden &&
        (operand_in_class(kOperandPointer, h.left) || operand_in_class(kOperandPointer, h.right)))
        serious_warning_here("%s", msg(kMsgCgPointerArithmetic));
}

}  // namespace

bool ExpressionHandling::check_add()
{
    check_common(*this, false);
    if (operands_in_classes(kOperandPointer, kOperandPointer | kOperandFloat) ||
        operands_in_classes(kOperandFloat, kOperandPointer))
        state = kStateIncompatible;
    return state == kStateUndecided;
}

bool ExpressionHandling::check_subtract()
{
    check_common(*this, false);
    if (!operand_in_class(kOperandPointer, left) && operand_in_class(kOperandPointer, right))
        state = kStateIncompatible;
    return state == kStateUndecided;
}

bool ExpressionHandling::check_multiplicative()
{
    check_common(*this, true);
    if (operands_in_classes(kOperandPointer, kOperandPointer))
        state = kStateIncompatible;
    return state == kStateUndecided;
}

bool ExpressionHandling::check_integral()
{
    check_common(*this, true);
    if (operands_in_classes(kOperandFloat | kOperandPointer, kOperandFloat | kOperandPointer))
        state = kStateIncompatible;
    return state == kStateUndecided;
}

bool ExpressionHandling::check_comparison()
{
    check_common(*this, false);
    comparison = 1;
    if (operand_in_class(kOperandPointer, left) || operand_in_class(kOperandPointer, right))
        result_type = 3;
    return state == kStateUndecided;
}

// ---- constant folding ---------------------------------------------------------------------------------

namespace {

float float_of(uint32_t bits)
{
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
uint32_t bits_of(float f)
{
    uint32_t b = 0;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

void make_truth(object *node, bool truth)
{
    node->type = 2;
    node->declarator = 0;
    node->value = truth ? 1 : 0;
}

bool fold_float(object *left, uint32_t right_bits, std::string_view op)
{
    const float x = float_of(left->value);
    const float y = float_of(right_bits);
    if (op == "+") { left->value = bits_of(x + y); return true; }
    if (op == "-") { left->value = bits_of(x - y); return true; }
    if (op == "*") { left->value = bits_of(x * y); return true; }
    if (op == "/") {
        if (y == 0.0f)
            cg_error(kMsgCgDivideByZero);
        else
            left->value = bits_of(x / y);
        return true;
    }
    // A comparison is an int whatever its operands' type, folded or not.
    if (op == "==") { make_truth(left, x == y); return true; }
    if (op == "!=") { make_truth(left, x != y); return true; }
    if (op == "<") { make_truth(left, x < y); return true; }
    if (op == "<=") { make_truth(left, x <= y); return true; }
    if (op == ">") { make_truth(left, x > y); return true; }
    if (op == ">=") { make_truth(left, x >= y); return true; }
    if (op == "&&") { make_truth(left, x != 0.0f && y != 0.0f); return true; }
    if (op == "||") { make_truth(left, x != 0.0f || y != 0.0f); return true; }
    // "%", "<<", ">>", "&", "|", "^": no float form, at compile time as at run time.
    report_invalid_operator_type(std::string(op).c_str());
    return true;
}

// 32-bit integer folding: wrap-around arithmetic, shift counts modulo 32, the most negative
// value divided by -1 is itself with remainder 0 (as the runtime's division gives them).
void fold_integer(object *left, uint32_t b, bool is_signed, std::string_view op)
{
    const uint32_t a = left->value;
    const auto sa = static_cast<int32_t>(a);
    const auto sb = static_cast<int32_t>(b);
    const uint32_t count = b & 31;
    uint32_t r = a;
    if (op == "+") {
        r = a + b;
    } else if (op == "-") {
        r = a - b;
    } else if (op == "*") {
        r = a * b;
    } else if (op == "/" || op == "%") {
        if (b == 0) {
            cg_error(kMsgCgDivideByZero);
            return;
        }
        const bool division = op == "/";
        if (!is_signed)
            r = division ? a / b : a % b;
        else if (sb == -1)
            r = division ? 0u - a : 0u;  // no overflow on the host for the most negative value
        else
            r = static_cast<uint32_t>(division ? sa / sb : sa % sb);
    } else if (op == "<<") {
        r = a << count;
    } else if (op == ">>") {
        r = is_signed ? static_cast<uint32_t>(sa >> count) : a >> count;
    } else if (op == "<" || op == "<=" || op == ">" || op == ">=") {
        const bool less = is_signed ? sa < sb : a < b;
        const bool equal = a == b;
        bool truth = false;
        if (op == "<") truth = less;
        else if (op == "<=") truth = less || equal;
        else if (op == ">") truth = !less && !equal;
        else truth = !less;
        make_truth(left, truth);
        return;
    } else if (op == "==" || op == "!=") {
        make_truth(left, (a == b) == (op == "=="));
        return;
    } else if (op == "&") {
        r = a & b;
    } else if (op == "|") {
        r = a | b;
    } else if (op == "^") {
        r = a ^ b;
    } else if (op == "&&" || op == "||") {
        make_truth(left, op == "&&" ? (a != 0 && b != 0) : (a != 0 || b != 0));
        return;
    }
    left->value = r;
}

}  // namespace

bool fold_constant_operation(ExpressionHandling *handling, object *left, object *right,
                             const char *op)
{
    if (!is_constant(left) || !is_constant(right))
        return false;
    const uint32_t type = handling->result_type;
    const bool known = type <= 5 || type == 7;
    if (!known) {
        cg_error(kMsgCgBadConstant);
        return true;
    }
    if (type != 0) {
        ConvertCCObject(left, static_cast<int>(type), false, kConvWarnLostDigits | kConvMaskChar);
        ConvertCCObject(right, static_cast<int>(type), false, kConvWarnLostDigits | kConvMaskChar);
    }
    if (type == 7)
        return fold_float(left, right->value, op);
    fold_integer(left, right->value, !(type == 1 || type == 3 || type == 5), op);
    return true;
}

// ---- arranging the operands -------------------------------------------------------------------------

void ExpressionHandling::make_pending(object *node)
{
    if (in_registers(node) && pending_value() != node)
        defer_load(node, false);
}

// Both operands in registers (the right one was computed into registers the left one does not
// use): the left one, computed first, goes onto the stack.
void ExpressionHandling::normalise_registers()
{
    if (!in_registers(left) || !in_registers(right))
        return;
    (void)claim_pending_value(left);
    (void)claim_pending_value(right);
    if (pending_value())
        flush_pending_value();
    const bool left_in_a = left->type == 1 && obj_flag(left, inByteRegister) && plain(left);
    const bool right_in_hl = right->type == 2 || right->type == 3 || right->type == 1 ||
                             !plain(right) || obj_flag(right, addressInRegisters);
    if (left_in_a && right_in_hl && !obj_flag(right, inByteRegister)) {
        // The byte in A moves into HL, which the right one holds: push that first.
        gen_push_register(kRidHL);
        gen_widen_a_to_hl();
        gen_swap_primary_with_stack(2);
        left->type = 2;
        set_obj_flag(left, inByteRegister, false);
        left->kind = 254;
        return;
    }
    gen_push_value(left);
}

void ExpressionHandling::place_operand(object *node, uint8_t placement, uint32_t type)
{
    (void)claim_pending_value(node);
    switch (placement) {
    case kPlaceInPlace:
        if (on_stack(node)) {
            load_primary(node, false);
            to_result_type(node, type);
        } else if (is_constant(node)) {
            to_result_type(node, type);
        }
        return;
    case kPlacePrimary:
    case kPlacePrimaryByte:
        load_primary(node, placement == kPlacePrimaryByte);
        to_result_type(node, type);
        return;
    case kPlaceSecondary: {
        if (on_stack(node) || (!in_registers(node) && loads_unchanged(node, type))) {
            if (is_constant(node))
                to_result_type(node, type);
            MoveObject move(node);  // with the I/O prefix of a port
            move.load(kRidDE, false, false);
            retype_word(node, type);
            return;
        }
        load_primary(node, false);
        to_result_type(node, type);
        PrimaryRegister de;
        de.request(kRidDE, 12);
        if (pending_value() && pending_value() != node)
            PreventRegisterCollision guard(de);
        gen_exchange_de_hl();
        return;
    }
    case kPlaceStacked:
        if (on_stack(node)) {
            to_result_type(node, type);
            return;
        }
        load_primary(node, false);
        to_result_type(node, type);
        if (pending_value() && pending_value() != node)
            flush_pending_value();
        gen_push_value(node);
        return;
    case kPlaceAddressable: {
        const bool fixed = node->kind == 1 || node->kind == 3 || node->kind == 4 ||
                           node->kind == 252;
        if (fixed || (node->kind == 2 && obj_short_offset(node) == 0))
            gen_load_address_hl(node);
        else if (on_stack(node))
            load_primary(node, false);
        return;
    }
    default:
        assert(false && "no such placement");
        return;
    }
}

void ExpressionHandling::swap_operands()
{
    gen_swap_primary_with_stack(static_cast<uint16_t>(result_type == 1 ? 2 : result_type));
    left->kind = 254;
    right->kind = 255;
}

// The order of the steps keeps every value where the next load cannot overwrite it: a left value
// in registers is pending while the right one is placed (the collision guard pushes it when the
// registers are needed), a value meant for DE is placed before the one meant for HL when the
// other one is still in memory, and stacked values are taken from the top down.
void ExpressionHandling::arrange_operands(uint8_t left_placement, uint8_t right_placement,
                                          uint8_t swap_option)
{
    const uint32_t type = result_type;
    // An address held in registers becomes the value it points to.
    if (holds_address(left)) {
        (void)claim_pending_value(left);
        if (left_placement == kPlacePrimaryByte)
            gen_load_value_as_int(left);
        else
            gen_load_value(left);
    }
    const bool right_in_place =
        right_placement == kPlaceInPlace || right_placement == kPlaceAddressable;
    if (!right_in_place && holds_address(right)) {
        (void)claim_pending_value(right);
        gen_load_value(right);
    }
    if (right_in_place && is_constant(right))
        to_result_type(right, type);
    normalise_registers();

    if (left_placement == kPlaceStacked) {
        if (on_stack(left)) {
            // The left value lies below: the right one comes off the stack (or stays in the
            // registers) first, then the left one is converted where it lies.
            if (in_registers(right) || on_stack(right)) {
                place_operand(right, right_placement, type);
                place_operand(left, kPlaceStacked, type);
            } else {
                place_operand(left, kPlaceStacked, type);
                place_operand(right, right_placement, type);
            }
            return;
        }
        if (!in_registers(right) && !on_stack(right)) {
            place_operand(left, kPlaceStacked, type);
            place_operand(right, right_placement, type);
            return;
        }
        // The right value came first: it goes onto the stack when the left one is loaded.
        if (on_stack(right)) {
            to_result_type(right, type);
        } else {
            place_operand(right, kPlacePrimary, type);
            make_pending(right);
        }
        place_operand(left, kPlacePrimary, type);
        (void)claim_pending_value(right);
        if (in_registers(right)) {
            // Nothing pushed it (their registers differ): the left one goes below it.
            gen_push_value(left);
            return;
        }
        if (swap_option == kSwapExchange)
            swap_operands();
        else if (swap_option == kSwapReverse)
            reversed_on_stack = 1;
        return;
    }
    if (right_placement == kPlaceSecondary) {
        make_pending(left);
        place_operand(right, kPlaceSecondary, type);
        place_operand(left, left_placement, type);
        return;
    }
    if (left_placement == kPlaceSecondary) {
        if (in_registers(right)) {
            make_pending(right);
            place_operand(left, kPlaceSecondary, type);
            place_operand(right, right_placement, type);
        } else if (on_stack(right) && on_stack(left)) {
            place_operand(right, right_placement, type);
            place_operand(left, kPlaceSecondary, type);
        } else {
            place_operand(left, kPlaceSecondary, type);
            place_operand(right, right_placement, type);
        }
        return;
    }
    make_pending(left);
    place_operand(right, right_placement, type);
    place_operand(left, left_placement, type);
}
