// CC_Z80UN: unary operators and truth values.
#include "CC_Z80UN.h"

#include "driver/CC_FIOZ8.h"
#include "parser/CC_LABELS.h"
#include "linker/CC_RELOC.h"
#include "CC_STUBS.h"
#include "CC_Z80.h"
#include "CC_Z80CALL.h"
#include "CC_Z80LOAD.h"
#include "linker/EMITCACHE.h"

#include <string>

namespace {

bool inline_int_forms() { return cpu_is_f80() && !function_size_flag(); }

// A result that is no truth value: HL holds neither 0/1 nor what the flags say.
void forget_truth() { (void)clear_condition_state(); }
void truth_in_hl() { set_condition_state(true, true); }

}  // namespace

// "bool hl" leaves H 0 and the carry clear: HL - DE with HL = 0 is the negation.
void gen_negate_int()
{
    if (inline_int_forms()) {
        outasm("ex de, hl");
        outasm("bool hl");
        outasm("ld l, h");
        outasm("sbc hl, de");
    } else {
        (void)gen_call_named("c_neg");
    }
    forget_truth();
}

// 0 - DE - 1 is the complement: "bool hl", "rr hl" make HL 0, "scf" the borrow.
void gen_complement_int()
{
    if (inline_int_forms()) {
        outasm("ex de, hl");
        outasm("bool hl");
        outasm("rr hl");
        outasm("scf");
        outasm("sbc hl, de");
    } else {
        (void)gen_call_named("c_com");
    }
    forget_truth();
}

void gen_logical_not_int()
{
    if (cpu_is_f80()) {
        outasm("bool hl");
        outasm("dec hl");
        outasm("bool hl");
    } else {
        (void)gen_call_named("c_not");
    }
    truth_in_hl();
}

void gen_negate_long()
{
    (void)gen_call_named("L_neg");
    forget_truth();
}

void gen_complement_long()
{
    (void)gen_call_named("L_com");
    forget_truth();
}

void gen_logical_not_long()
{
    (void)gen_call_named("L_not");
    truth_in_hl();
}

void gen_negate_float()
{
    (void)gen_call_named("F_neg");
    forget_truth();
}

void gen_logical_not_float()
{
    (void)gen_call_named("F_not");
    truth_in_hl();
}

void gen_bool_from_flags(bool sense)
{
    if (cpu_is_f80()) {
        outasm("bool hl");
        return;
    }
    // The load leaves the flags alone.
    OpcodeOperand zero;
    zero.set_value(0, 2);
    gen_load_register(kRidHL, kModeImmediate, zero);
    const std::string past = make_unique_label("KXLAB");
    outasm(sense ? "jr z, %s" : "jr nz, %s", past.c_str());
    outasm("inc hl");
    define_label(past.c_str(), current_code_cache().current, kLabelLocal);
}

void gen_truth_test(object *value)
{
    if (comparison_result_in_registers()) {
        // nothing to do
    } else if (comparison_flags_set()) {
        gen_bool_from_flags(true);
        set_condition_state(true, comparison_flags_set());
    } else {
        gen_load_value_as_int(value);
        const bool address = decl_level(value->declarator, 0) != kDeclNone ||
                             (value->kind >= 255 && obj_flag(value, addressInRegisters));
        const uint16_t type = address ? uint16_t(12) : value->type;
        if (!cpu_is_f80()) {
            if (type == 1)
                outasm("or a");
            else if (type == 4 || type == 5)
                (void)gen_call_named("long_0");
            else if (type == 7)
                (void)gen_call_named("flt_0");
            else {
                outasm("ld a, h");
                outasm("or l");
            }
        } else if (type == 1) {
            outasm("bool hl");  // H = 0
            outasm("ld l, a");
        } else if (type == 4 || type == 5 || type == 7) {
            if (type == 7)
                outasm("res 7, b");  // minus zero is zero
            outasm("ld h, b");
            outasm("ld l, c");
            outasm("or hl, de");
        }
        gen_bool_from_flags(true);
        truth_in_hl();
        value->kind = 255;
        set_obj_flag(value, addressInRegisters, false);
    }
    value->type = 2;
    value->declarator = 0;
    set_obj_flag(value, inByteRegister, false);
}
