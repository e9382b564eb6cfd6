// CC_Z80EX: the code generators of the binary operators.
#include "CC_Z80EX.h"

#include "CC_CONV.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_IN.h"
#include "CC_STUBS.h"
#include "CC_Z80.h"
#include "CC_Z80CALL.h"
#include "CC_Z80GEN.h"
#include "CC_Z80LOAD.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <string>

namespace {

bool plain(const object *node) { return decl_level(node->declarator, 0) == kDeclNone; }
bool is_constant(const object *node) { return node->kind == 0; }

// A constant's value as a whole number, read by its own type.
int64_t integer_value(const object *node)
{
    switch (node->type) {
    case 1: return node->value & 0xFF;
    case 2: return static_cast<int16_t>(node->value & 0xFFFF);
    case 3: return node->value & 0xFFFF;
    case 7: {
        float f = 0;
        std::memcpy(&f, &node->value, sizeof f);
        return f > -1e9f && f < 1e9f ? static_cast<int64_t>(f) : 1000000000;
    }
    default: return static_cast<int32_t>(node->value);
    }
}

// Multiplying HL by a constant with "add hl, hl" (A) and the triple T = "push hl", A,
// "pop de", "add hl, de" (x3) and the quintuple F = "push hl", A, A, "pop de", "add hl, de" (x5).
struct ShiftAdd {
    uint16_t factor;
    const char *steps;
};
constexpr ShiftAdd kShiftAdd[] = {
    {1, ""},     {2, "A"},      {3, "T"},    {4, "AA"},    {5, "F"},
    {6, "AT"},   {8, "AAA"},    {10, "AF"},  {12, "AAT"},  {16, "AAAA"},
    {20, "AAF"}, {32, "AAAAA"}, {40, "AAAF"}, {64, "AAAAAA"},
};

const char *shift_add_steps(int64_t factor)
{
    for (const ShiftAdd &row : kShiftAdd)
        if (row.factor == factor)
            return row.steps;
    return nullptr;
}

void emit_shift_add(const char *steps)
{
    for (const char *step = steps; *step; ++step) {
        if (*step == 'A') {
            gen_add_hl_hl();
            continue;
        }
        outasm("push hl");
        gen_add_hl_hl();
        if (*step == 'F')
            gen_add_hl_hl();
        outasm("pop de");
        gen_add_hl_de();
    }
}

// Sign flips of HL and DE, and the 0/1 value from the carry.
void flip_hl_sign()
{
    if (cpu_is_f80()) {
        gen_add_hl_hl();
        outasm("ccf");
        outasm("rr hl");
    } else {
        outasm("ld a, h");
        outasm("xor 0x80");
        outasm("ld h, a");
    }
}
void flip_de_sign()
{
    if (cpu_is_f80()) {
        outasm("rl de");
        outasm("ccf");
        outasm("rr de");
    } else {
        outasm("ld a, d");
        outasm("xor 0x80");
        outasm("ld d, a");
    }
}
// HL = 1 when the truth holds, else 0: true when the carry is set for a negative truth, when
// it is clear for a positive one.
void carry_to_value(int16_t truth)
{
    if (truth > 0)
        outasm("ccf");
    if (cpu_is_f80()) {
        outasm("sbc hl, hl");
        outasm("bool hl");
    } else {
        outasm("ld hl, 0");
        outasm("adc hl, hl");
    }
}

}  // namespace

bool is_power_of_two(uint32_t value) { return value >= 2 && std::has_single_bit(value); }

void report_invalid_operator_type(const char *op)
{
    error_here("Invalid type for '%s' operator", op);
}

void gen_binary_operation(const char *op, object *left, object *right)
{
    TargetExpressionHandling handling(left, right);
    handling.dispatch(op);
}

// ---- helpers ---------------------------------------------------------------------------------------------

uint32_t TargetExpressionHandling::code_type()
{
    m_char_result = result_type == 1;
    if (m_char_result)
        result_type = 2;
    return result_type;
}

void TargetExpressionHandling::set_result(uint32_t type)
{
    left->kind = 255;
    set_obj_flag(left, addressInRegisters, false);
    set_obj_flag(left, inByteRegister, false);
    if (type != 12 || plain(left)) {
        left->type = static_cast<uint16_t>(type == 12 ? 2 : type);
        left->declarator = 0;
    }
    set_obj_condition_state(left, 0, 0);
    (void)clear_condition_state();
}

void TargetExpressionHandling::stacked_routine(const char *routine, uint8_t swap_option,
                                               uint32_t type, bool caller_releases)
{
    arrange_operands(kPlaceStacked, kPlacePrimary, swap_option);
    call_with_stacked(routine, caller_releases);
    set_result(type);
}

void TargetExpressionHandling::word_routine(const char *routine, uint32_t type)
{
    arrange_operands(kPlaceSecondary, kPlacePrimary, kSwapExchange);
    (void)gen_call_named(routine);
    set_result(type);
}

void TargetExpressionHandling::call_with_stacked(const char *routine, bool caller_releases)
{
    (void)gen_call_named(routine);
    int16_t bytes = 0;
    for (object *node : {left, right}) {
        if (node->kind != 254)
            continue;
        bytes = static_cast<int16_t>(bytes + (obj_type_size(node) < 2 ? 2 : obj_type_size(node)));
        node->kind = 255;
    }
    if (caller_releases && bytes != 0)
        gen_adjust_stack(bytes, false);
    add_stack_offset(bytes);
}

bool TargetExpressionHandling::add_small_constant(const char *op)
{
    if (!is_constant(right))
        return false;
    int64_t amount = integer_value(right);
    if (amount <= -4 || amount >= 4)
        return false;
    if (op[0] == '-')
        amount = -amount;
    (void)claim_pending_value(left);
    if (m_char_result && left->type == 1 && plain(left)) {
        gen_load_value_as_int(left);
    } else {
        place_operand(left, kPlacePrimary, result_type);
    }
    const bool byte = left->kind == 255 && obj_flag(left, inByteRegister);
    const char *step = amount > 0 ? (byte ? "inc a" : "inc hl") : (byte ? "dec a" : "dec hl");
    for (int64_t i = 0; i < std::llabs(amount); ++i)
        outasm("%s", step);
    if (byte) {
        left->kind = 255;
        set_obj_condition_state(left, 0, 0);
        (void)clear_condition_state();
    } else {
        set_result(result_type);
    }
    return true;
}

// ---- arithmetic ------------------------------------------------------------------------------------------

void TargetExpressionHandling::add()
{
    IMDExpressionHandling::add();
    if (state != kStateCode)
        return;
    const uint32_t type = code_type();
    switch (type) {
    case 2: case 3: case 12:
        if (add_small_constant("+"))
            return;
        arrange_operands(kPlacePrimary, kPlaceSecondary, kSwapNone);
        gen_add_hl_de();
        set_result(type);
        return;
    case 4: case 5:
        stacked_routine("L_add", kSwapNone, type);
        return;
    case 7:
        stacked_routine("F_add", kSwapNone, type, true);
        return;
    default:
        report_invalid_operator_type("+");
        return;
    }
}

void TargetExpressionHandling::subtract()
{
    IMDExpressionHandling::subtract();
    if (state != kStateCode)
        return;
    const uint32_t type = code_type();
    switch (type) {
    case 2: case 3: case 12:
        if (add_small_constant("-"))
            return;
        arrange_operands(kPlacePrimary, kPlaceSecondary, kSwapExchange);
        gen_sub_hl_de();
        set_result(type);
        return;
    case 4: case 5:
        stacked_routine("L_sub", kSwapExchange, type);
        return;
    case 7:
        stacked_routine("F_sub", kSwapExchange, type, true);
        return;
    default:
        report_invalid_operator_type("-");
        return;
    }
}

void TargetExpressionHandling::multiply()
{
    IMDExpressionHandling::multiply();
    if (state != kStateCode)
        return;
    const uint32_t type = code_type();
    switch (type) {
    case 2: case 3: {
        if (is_constant(right)) {
            ConvertCCObject(right, static_cast<int>(type), false, 0);
            const int64_t factor = integer_value(right);
            if (const char *steps = shift_add_steps(std::llabs(factor))) {
                arrange_operands(kPlacePrimary, kPlaceInPlace, kSwapNone);
                emit_shift_add(steps);
                if (factor < 0)
                    (void)gen_call_named("c_neg");
                set_result(type);
                return;
            }
        }
        arrange_operands(kPlacePrimary, kPlaceSecondary, kSwapNone);
        if (cpu_is_f80()) {
            // mul: HL:BC = BC * DE; the low word is the product.
            outasm("ld b, h");
            outasm("ld c, l");
            outasm("mul");
            outasm("ld h, b");
            outasm("ld l, c");
        } else {
            (void)gen_call_named("c_mult");
        }
        set_result(type);
        return;
    }
    case 4: case 5:
        stacked_routine("G_mul", kSwapNone, type);
        return;
    case 7:
        stacked_routine("F_mul", kSwapNone, type, true);
        return;
    default:
        report_invalid_operator_type("*");
        return;
    }
}

void TargetExpressionHandling::divide()
{
    IMDExpressionHandling::divide();
    if (state != kStateCode)
        return;
    const uint32_t type = code_type();
    switch (type) {
    case 2: case 3: {
        const bool is_signed = type == 2;
        if (cpu_is_f80() && is_constant(right)) {
            ConvertCCObject(right, static_cast<int>(type), false, 0);
            const int64_t divisor = integer_value(right);
            const auto magnitude = static_cast<uint32_t>(std::llabs(divisor));
            if (is_power_of_two(magnitude)) {
                const int k = std::countr_zero(magnitude);
                if (!is_signed) {
                    right->value = static_cast<uint32_t>(k);
                    word_routine("c_usr", type);
                    return;
                }
                arrange_operands(kPlacePrimary, kPlaceInPlace, kSwapExchange);
                outasm("ld b, 0x%x", divisor < 0 ? 0x80 : 0);
                outasm("ld a, %d", k);
                (void)gen_call_named("c_divt");
                set_result(type);
                return;
            }
        }
        word_routine(is_signed ? "c_div" : "c_udv", type);
        return;
    }
    case 4: case 5:
        stacked_routine(type == 4 ? "L_div" : "G_div", kSwapExchange, type);
        return;
    case 7:
        stacked_routine("F_div", kSwapExchange, type, true);
        return;
    default:
        report_invalid_operator_type("/");
        return;
    }
}

void TargetExpressionHandling::modulo()
{
    IMDExpressionHandling::modulo();
    if (state != kStateCode)
        return;
    const uint32_t type = code_type();
    switch (type) {
    case 2: case 3:
        arrange_operands(kPlaceSecondary, kPlacePrimary, kSwapExchange);
        (void)gen_call_named(type == 2 ? "c_div" : "c_udv");
        gen_exchange_de_hl();  // the remainder
        set_result(type);
        return;
    case 4: case 5:
        stacked_routine(type == 4 ? "L_mod" : "G_mod", kSwapExchange, type);
        return;
    default:
        report_invalid_operator_type("%");
        return;
    }
}

void TargetExpressionHandling::shift_left()
{
    IMDExpressionHandling::shift_left();
    if (state != kStateCode)
        return;
    const uint32_t type = code_type();
    switch (type) {
    case 2: case 3:
        word_routine("c_asl", type);
        return;
    case 4: case 5:
        stacked_routine("L_asl", kSwapExchange, type);
        return;
    default:
        report_invalid_operator_type("<<");
        return;
    }
}

void TargetExpressionHandling::shift_right()
{
    IMDExpressionHandling::shift_right();
    if (state != kStateCode)
        return;
    const uint32_t type = code_type();
    switch (type) {
    case 2: case 3:
        word_routine(type == 2 ? "c_asr" : "c_usr", type);
        return;
    case 4: case 5:
        stacked_routine(type == 4 ? "L_asr" : "G_asr", kSwapExchange, type);
        return;
    default:
        report_invalid_operator_type(">>");
        return;
    }
}

// ---- bitwise -----------------------------------------------------------------------------------------------

void TargetExpressionHandling::inline_bitwise(const char *op)
{
    const uint32_t type = code_type();
    const bool f80 = cpu_is_f80();
    switch (type) {
    case 2: case 3:
        if (op[0] == '^' && (codegen_options_byte() & kOptionXorRoutine)) {
            stacked_routine("x_", kSwapNone, type);
            return;
        }
        if (op[0] == '^') {
            arrange_operands(kPlaceSecondary, kPlacePrimary, kSwapNone);
            outasm("ld a, l");
            outasm("xor e");
            outasm("ld l, a");
            outasm("ld a, h");
            outasm("xor d");
            outasm("ld h, a");
        } else if (f80) {
            arrange_operands(kPlaceSecondary, kPlacePrimary, kSwapNone);
            outasm(op[0] == '|' ? "or hl, de" : "and hl, de");
        } else {
            stacked_routine(op[0] == '|' ? "o_" : "a_", kSwapNone, type);
            return;
        }
        set_result(type);
        return;
    case 4: case 5:
        stacked_routine(op[0] == '|' ? "L_or" : op[0] == '^' ? "L_xor" : "L_and", kSwapNone, type);
        return;
    default:
        report_invalid_operator_type(op);
        return;
    }
}

void TargetExpressionHandling::bit_or()
{
    IMDExpressionHandling::bit_or();
    if (state == kStateCode)
        inline_bitwise("|");
}

void TargetExpressionHandling::bit_xor()
{
    IMDExpressionHandling::bit_xor();
    if (state == kStateCode)
        inline_bitwise("^");
}

void TargetExpressionHandling::bit_and()
{
    IMDExpressionHandling::bit_and();
    if (state == kStateCode)
        inline_bitwise("&");
}

// ---- comparisons -------------------------------------------------------------------------------------------

// The two markers of the code generator tell what the primary registers hold afterwards: HL
// the 0/1 truth, and the zero flag set from it. A comparison that stops with its truth in the
// flags sets neither (HL holds no truth then).
void TargetExpressionHandling::word_equality(bool equal)
{
    const bool tracking = flag_tracking();
    arrange_operands(kPlaceSecondary, kPlacePrimary, kSwapNone);
    gen_sub_hl_de();
    if (!tracking) {
        outasm("bool hl");
        if (equal) {
            outasm("dec hl");
            outasm("bool hl");
        }
    }
    set_result(2);
    // "==" under flag tracking: Z set when equal; otherwise HL is the truth.
    set_obj_condition_state(left, equal ? 1 : 0, 0);
    set_condition_state(!tracking, !tracking || !equal);
}

void TargetExpressionHandling::equality(bool equal)
{
    const uint32_t type = code_type();
    const char *op = equal ? "==" : "!=";
    switch (type) {
    case 2: case 3: case 12:
        if (cpu_is_f80()) {
            word_equality(equal);
            return;
        }
        stacked_routine(equal ? "e_" : "n_", kSwapNone, 2);
        break;
    case 4: case 5:
        stacked_routine(equal ? "eq_4" : "neq_4", kSwapNone, 2);
        break;
    case 7:
        stacked_routine(equal ? "cf_eq" : "cf_ne", kSwapNone, 2);
        break;
    default:
        report_invalid_operator_type(op);
        (void)clear_condition_state();
        return;
    }
    set_condition_state(true, true);
}

void TargetExpressionHandling::equal()
{
    IMDExpressionHandling::equal();
    if (state == kStateCode)
        equality(true);
}

void TargetExpressionHandling::not_equal()
{
    IMDExpressionHandling::not_equal();
    if (state == kStateCode)
        equality(false);
}

namespace {

// One row per operator of the 16-bit order comparisons: the arrangement and carry truth of
// each form. B flips the constant's sign bit at compile time; B+ adds 1 more, or, when the
// flipped constant is 0xFFFF, takes the edge form: "scf" before the subtraction (always a
// borrow). The form without constants flips both signs at run time.
struct OrderForm {
    bool hl_left;         // (1, 2): left in HL, right in DE; else (2, 1)
    int16_t truth;
    bool plus;            // B+ rather than B (constant forms)
};
struct OrderRow {
    const char *op;
    OrderForm neither, left_constant, right_constant, unsigned_form;
    bool unsigned_scf;    // unsigned: "scf" rather than "or a" before "sbc hl, de"
};
constexpr OrderRow kOrderRows[] = {
    {"<",  {true, -1, false},  {false, 1, true},   {true, -1, false},  {true, -1, false},  false},
    {">",  {false, -1, false}, {false, -1, false}, {true, 1, true},    {false, -1, false}, false},
    {"<=", {false, 1, false},  {false, 1, false},  {true, -1, true},   {true, -1, false},  true},
    {">=", {true, 1, false},   {false, -1, true},  {true, 1, false},   {false, -1, false}, true},
};

}  // namespace

void TargetExpressionHandling::word_order(Order which, bool is_signed)
{
    const OrderRow &row = kOrderRows[static_cast<int>(which)];
    const bool tracking = flag_tracking();
    const bool left_constant = is_constant(left);
    const bool right_constant = is_constant(right);
    const OrderForm &form = !is_signed       ? row.unsigned_form
                            : left_constant  ? row.left_constant
                            : right_constant ? row.right_constant
                                             : row.neither;
    bool edge = false;
    if (is_signed && (left_constant || right_constant)) {
        object *k = left_constant ? left : right;
        ConvertCCObject(k, 2, false, 0);
        k->value += 0x8000;
        if (form.plus) {
            if ((k->value & 0xFFFF) == 0xFFFF)
                edge = true;
            else
                k->value += 1;
        }
    }
    if (form.hl_left)
        arrange_operands(kPlacePrimary, kPlaceSecondary, kSwapReverse);
    else
        arrange_operands(kPlaceSecondary, kPlacePrimary, kSwapReverse);
    if (!is_signed) {
        outasm(row.unsigned_scf ? "scf" : "or a");
    } else {
        if (!left_constant && !right_constant)
            flip_de_sign();
        flip_hl_sign();
        if (edge)
            outasm("scf");
    }
    outasm("sbc hl, de");
    if (!tracking)
        carry_to_value(form.truth);
    set_result(2);
    set_obj_condition_state(left, 0, form.truth);
    set_condition_state(!tracking, !tracking);
}

void TargetExpressionHandling::order(Order which)
{
    static constexpr const char *kOperators[] = {"<", ">", "<=", ">="};
    // The routine that compares the stacked operand with the registers: when the right one
    // lies on the stack, the operator's mirror.
    static constexpr const char *kRoutines[4][2] = {
        {"lt", "gt"}, {"gt", "lt"}, {"le", "ge"}, {"ge", "le"}};
    const uint32_t type = code_type();
    const char *prefix = nullptr;
    switch (type) {
    case 2: word_order(which, true); return;
    case 3: case 12: word_order(which, false); return;
    case 4: prefix = "cl_"; break;
    case 5: prefix = "cg_"; break;
    case 7: prefix = "cf_"; break;
    default:
        report_invalid_operator_type(kOperators[static_cast<int>(which)]);
        (void)clear_condition_state();
        return;
    }
    arrange_operands(kPlaceStacked, kPlacePrimary, kSwapReverse);
    const std::string routine =
        std::string(prefix) + kRoutines[static_cast<int>(which)][reversed_on_stack ? 1 : 0];
    call_with_stacked(routine.c_str(), false);
    set_result(2);
    set_condition_state(true, true);
}

void TargetExpressionHandling::less()
{
    IMDExpressionHandling::less();
    if (state == kStateCode)
        order(Order::less);
}

void TargetExpressionHandling::less_equal()
{
    IMDExpressionHandling::less_equal();
    if (state == kStateCode)
        order(Order::less_equal);
}

void TargetExpressionHandling::greater()
{
    IMDExpressionHandling::greater();
    if (state == kStateCode)
        order(Order::greater);
}

void TargetExpressionHandling::greater_equal()
{
    IMDExpressionHandling::greater_equal();
    if (state == kStateCode)
        order(Order::greater_equal);
}
