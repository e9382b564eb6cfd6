// CC_CONV: the conversion tables and the stack and register conversion emitters.
#include "CC_CONV.h"

#include "driver/CC_FIOZ8.h"
#include "driver/CC_GO.h"
#include "input/CC_IN.h"
#include "CC_Z80.h"
#include "CC_Z80CALL.h"
#include "CC_Z80GEN.h"
#include "CC_Z80LOAD.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <string>

namespace {

uint32_t first_level(const object *node) { return decl_level(node->declarator, 0); }

// Letters of the types in routine names, by type code.
constexpr char kTypeLetters[] = "?ciulgbfd";
char type_letter(int type) { return type >= 0 && type < 9 ? kTypeLetters[type] : '?'; }

// Bytes a value of the type takes on the stack (a char as 2).
int stacked_size(int type) { return type == 4 || type == 5 || type == 7 ? 4 : 2; }

// Whether {x, y} is {a, b} in either order.
bool either_way(int x, int y, int a, int b) { return (x == a && y == b) || (x == b && y == a); }

}  // namespace

int type_class(int type)
{
    // 0 1 char 2 int 3 unsigned 4 long 5 unsigned long 6 7 float 8-11 12 address
    static constexpr uint8_t kClasses[13] = {
        kClassChar, kClassChar, kClassInt, kClassUnsigned, kClassLong, kClassUnsignedLong,
        kClassInvalid, kClassFloat, kClassInvalid, kClassInvalid, kClassInvalid, kClassInvalid,
        kClassPointer,
    };
    return type >= 0 && type < 13 ? int(kClasses[type]) : int(kClassInvalid);
}

// ---- ConvertAValue ----------------------------------------------------------------------------------

ConvertAValue::ConvertAValue(object *value, int target, bool pointer, uint8_t opts)
    : as_pointer(pointer ? 1 : 0), node(value), source_type(value->type), target_type(target),
      options(opts), declarator(value->declarator), m_exceptions(std::uncaught_exceptions())
{
    const bool plain = first_level(node) == kDeclNone;
    const bool bit0 = obj_flag(node, addressInRegisters);
    const bool in_registers = node->kind == 255;
    if (plain && !(in_registers && bit0)) {
        if (as_pointer) {
            target_type = 12;
            declarator = kDeclPointer;
        } else if (target_type == 12) {
            target_type = 2;
        }
        write_type = static_cast<uint16_t>(target_type);
    } else {
        // A pointer, an array, or an address in registers.
        const uint32_t first = first_level(node);
        if (first == kDeclPointer || first == kDeclArray)
            source_type = 12;
        write_type = static_cast<uint16_t>(target_type == 12 ? node->type : target_type);
        if (as_pointer) {
            source_type = target_type = 12;
        } else if (((in_registers || node->kind == 254) && !bit0) || (!in_registers && bit0)) {
            source_type = 12;
            declarator = 0;
        }
    }
    source_class = type_class(source_type);
    target_class = type_class(target_type);
}

ConvertAValue::~ConvertAValue() noexcept(false)
{
    if (write_back) {
        node->type = write_type;
        // An arithmetic result is a plain value whatever the source's declarator was.
        if (declarator == 0 || target_class < kClassPointer)
            node->declarator = 0;
        else
            node->declarator = (node->declarator & ~0xFu) | (declarator & 0xFu);
    }
    if (std::uncaught_exceptions() > m_exceptions)
        return;  // the diagnostics of an abandoned conversion would only follow the real one
    if (!write_back && state == 0) {
        state = 2;
        cg_error(kMsgCgIncompatible);
    }
    if (lost_digits && (options & kConvWarnLostDigits) &&
        compiler_options().type_check.demotion != 0)
        trivial_warning_here("%s", msg(kMsgCgDemotion));
}

void ConvertAValue::same() { write_back = 0; }
void ConvertAValue::incompatible()
{
    write_back = 0;
    state = 0;
}
void ConvertAValue::keep() {}
void ConvertAValue::digits() { lost_digits = 1; }

void ConvertAValue::run_check_cell()
{
    if (state == 2)
        (this->*kCheckTable[source_class][target_class])();
}

// Rows: source class; columns: target class (char int unsigned long ulong float pointer
// invalid).
#define S &ConvertAValue::same
#define X &ConvertAValue::incompatible
#define K &ConvertAValue::keep
#define D &ConvertAValue::digits
const ConvertAValue::Cell ConvertAValue::kCheckTable[8][8] = {
    {S, K, K, K, K, K, K, X},  // char
    {K, S, K, K, K, K, K, X},  // int
    {K, K, S, K, K, K, K, X},  // unsigned
    {D, D, D, S, K, K, K, X},  // long
    {D, D, D, K, S, K, K, X},  // unsigned long
    {D, D, D, D, D, S, X, X},  // float
    {K, K, K, K, K, X, S, X},  // pointer
    {X, X, X, X, X, X, X, X},  // invalid
};

ConvertValue::ConvertValue(object *value, int target, bool pointer, uint8_t opts)
    : ConvertCheck(value, target, pointer, opts)
{
    if (either_way(source_class, target_class, kClassInt, kClassUnsigned) ||
        either_way(source_class, target_class, kClassLong, kClassUnsignedLong))
        write_back = 0;
}

// ---- constants ----------------------------------------------------------------------------------------
// The 32-bit value is compared without sign for lost digits.

void ConvertConstantValue::low8() { node->value &= 0xFF; }
void ConvertConstantValue::low8_digits()
{
    if (node->value > 255)
        lost_digits = 1;
    low8();
}
void ConvertConstantValue::sign16()
{
    node->value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(node->value)));
}
void ConvertConstantValue::sign16_digits()
{
    if (node->value > 32767)
        lost_digits = 1;
    sign16();
}
void ConvertConstantValue::zero16() { node->value &= 0xFFFF; }
void ConvertConstantValue::zero16_digits()
{
    if (node->value > 65535)
        lost_digits = 1;
    zero16();
}
void ConvertConstantValue::set_float(float f)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    node->value = bits;
}
void ConvertConstantValue::float_of_low8() { set_float(static_cast<float>(node->value & 0xFF)); }
void ConvertConstantValue::float_of_sign16()
{
    set_float(static_cast<float>(static_cast<int16_t>(node->value)));
}
void ConvertConstantValue::float_of_signed()
{
    set_float(static_cast<float>(static_cast<int32_t>(node->value)));
}
void ConvertConstantValue::float_of_unsigned() { set_float(static_cast<float>(node->value)); }

// Truncated toward zero and cut to 32 bits. A value the 64-bit truncation cannot hold (beyond
// 9e18 either way, an infinity, a NaN) becomes 0 and loses its digits.
void ConvertConstantValue::float_to_integer(double limit)
{
    float f = 0;
    std::memcpy(&f, &node->value, sizeof f);
    if (f > limit)
        lost_digits = 1;
    if (std::isnan(f) || f > 9e18 || f < -9.2e18) {
        lost_digits = 1;
        node->value = 0;
        return;
    }
    node->value = static_cast<uint32_t>(static_cast<int64_t>(f));
}
void ConvertConstantValue::float_to_char()
{
    float_to_integer(4294967296.0);
    low8_digits();
}
void ConvertConstantValue::float_to_int()
{
    float_to_integer(2147483648.0);
    sign16_digits();
}
void ConvertConstantValue::float_to_unsigned()
{
    float_to_integer(4294967296.0);
    zero16_digits();
}
void ConvertConstantValue::float_to_long() { float_to_integer(2147483648.0); }
void ConvertConstantValue::float_to_unsigned_long() { float_to_integer(4294967296.0); }

#define C(f) &ConvertConstantValue::f
const ConvertConstantValue::Cell ConvertConstantValue::kTable[8][8] = {
    {S, C(low8), C(low8), C(low8), C(low8), C(float_of_low8), C(low8), X},
    {C(low8_digits), S, C(zero16), C(sign16), C(sign16), C(float_of_sign16), C(zero16), X},
    {C(low8_digits), C(sign16), S, C(zero16), C(zero16), C(float_of_unsigned), K, X},
    {C(low8_digits), C(sign16_digits), C(zero16_digits), S, K, C(float_of_signed),
     C(zero16_digits), X},
    {C(low8_digits), C(sign16_digits), C(zero16_digits), K, S, C(float_of_unsigned),
     C(zero16_digits), X},
    {C(float_to_char), C(float_to_int), C(float_to_unsigned), C(float_to_long),
     C(float_to_unsigned_long), S, X, X},
    {C(low8_digits), C(sign16), K, C(zero16), C(zero16), X, S, X},
    {X, X, X, X, X, X, X, X},
};
#undef C

// ---- values on the stack ----------------------------------------------------------------------------

ConvertValueOnStack::ConvertValueOnStack(object *value, int target, bool pointer, uint8_t opts)
    : ConvertAValue(value, target, pointer, opts)
{
    run_check_cell();
}

void ConvertValueOnStack::stacked() { gen_stack_conversion(node, target_type); }

#define T &ConvertValueOnStack::stacked
const ConvertValueOnStack::Cell ConvertValueOnStack::kTable[8][8] = {
    {S, K, K, T, T, T, K, X},  // char
    {K, S, K, T, T, T, T, X},  // int
    {K, K, S, T, T, T, T, X},  // unsigned
    {T, T, T, S, K, T, T, X},  // long
    {T, T, T, K, S, T, T, X},  // unsigned long
    {T, T, T, T, T, S, X, X},  // float
    {K, T, T, T, T, X, S, X},  // pointer
    {X, X, X, X, X, X, X, X},
};
#undef T

// ---- values in registers ----------------------------------------------------------------------------

ConvertValueInRegisters::ConvertValueInRegisters(object *value, int target, bool pointer,
                                                 uint8_t opts)
    : ConvertAValue(value, target, pointer, opts)
{
    run_check_cell();
}

// The value into the primary registers by its type, and room for the result's registers.
void ConvertValueInRegisters::prepare()
{
    if (!obj_flag(node, noCode))
        gen_load_value(node);
    object *pending = pending_value();
    if (!pending || pending == node)
        return;
    PrimaryRegister result;
    result.request(kRidNone, static_cast<uint16_t>(as_pointer ? 12 : target_type));
    PreventRegisterCollision guard(result);
}

void ConvertValueInRegisters::mask()
{
    if ((options & kConvMaskChar) && node->kind == 255 && !obj_flag(node, addressInRegisters))
        outasm("ld h, %d", 0);
}
void ConvertValueInRegisters::load() { prepare(); }
void ConvertValueInRegisters::load_mask()
{
    prepare();
    mask();
}
void ConvertValueInRegisters::word_to_long()
{
    prepare();
    gen_register_conversion(node, target_type, kFormTargetLong);
}
void ConvertValueInRegisters::long_to_long()
{
    prepare();
    gen_register_conversion(node, target_type, kFormSourceLong | kFormTargetLong);
}
void ConvertValueInRegisters::long_to_word()
{
    prepare();
    gen_register_conversion(node, target_type, kFormSourceLong);
}
// The low word of BC:DE into HL, which the pending value must leave first.
void ConvertValueInRegisters::exchange()
{
    prepare();
    flush_pending_value();
    gen_exchange_de_hl();
}
void ConvertValueInRegisters::exchange_mask()
{
    exchange();
    mask();
}

#define R(f) &ConvertValueInRegisters::f
const ConvertValueInRegisters::Cell ConvertValueInRegisters::kTable[8][8] = {
    {S, R(load), R(load), R(word_to_long), R(word_to_long), R(word_to_long), R(load), X},
    {R(mask), S, K, R(word_to_long), R(word_to_long), R(word_to_long), K, X},
    {R(mask), K, S, R(word_to_long), R(word_to_long), R(word_to_long), K, X},
    {R(exchange_mask), R(exchange), R(exchange), S, K, R(long_to_long), R(exchange), X},
    {R(exchange_mask), R(exchange), R(exchange), K, S, R(long_to_long), R(exchange), X},
    {R(long_to_word), R(long_to_word), R(long_to_word), R(long_to_long), R(long_to_long), S, X,
     X},
    {R(load_mask), R(load), R(load), R(word_to_long), R(word_to_long), X, S, X},
    {X, X, X, X, X, X, X, X},
};
#undef R
#undef S
#undef X
#undef K
#undef D

// ---- the entry ----------------------------------------------------------------------------------------

void ConvertCCObject(object *node, int target_type, bool as_pointer, uint8_t options)
{
    if (node->kind == 0) {
        DoConversion<ConvertConstantValue> c(node, target_type, as_pointer, options);
    } else if (node->kind == 254) {
        DoConversion<ConvertValueOnStack> c(node, target_type, as_pointer, options);
    } else {
        DoConversion<ConvertValueInRegisters> c(node, target_type, as_pointer, options);
    }
}

// ---- the emitters ---------------------------------------------------------------------------------------

void gen_stack_conversion(object *node, int target_type)
{
    // A pointer is an unsigned int here, as in registers, so it is widened without sign.
    int source = node->type;
    if (first_level(node) == kDeclPointer || first_level(node) == kDeclArray || source == 12)
        source = 3;
    const int target = target_type == 12 ? 2 : target_type;
    if (source == target || either_way(source, target, 2, 3) || either_way(source, target, 4, 5))
        return;
    if (source > 9 || target > 9) {
        cg_error(kMsgCgConversion);
        return;
    }
    char routine[5] = {'@', '.', '.', '@', 0};
    routine[0] = static_cast<char>(type_letter(source) - 'a' + 'A');
    routine[3] = static_cast<char>(type_letter(target) - 'a' + 'A');
    const bool to_long = target == 4 || target == 5;
    const bool from_long = source == 4 || source == 5;
    const bool narrow = from_long && (target == 1 || target == 2 || target == 3);
    if (cpu_is_f80() && !function_size_flag() && to_long && (source == 1 || source == 3)) {
        // The high word of zeros under the stacked low word; the main registers kept.
        outasm("exx");
        outasm("pop de");
        outasm("bool hl");
        outasm("rr hl");
        outasm("push hl");
        outasm("push de");
        outasm("exx");
    } else if (cpu_is_f80() && !function_size_flag() && to_long && source == 2) {
        // int to long and to unsigned long alike: the sign fills the high word.
        outasm("exx");
        outasm("pop de");
        outasm("ld a, d");
        outasm("rla");
        outasm("sbc hl, hl");
        outasm("push hl");
        outasm("push de");
        outasm("exx");
    } else if (cpu_is_f80() && narrow) {
        // The low word over the high one.
        outasm("exx");
        outasm("pop hl");
        outasm("ld (sp+0), hl");
        outasm("exx");
    } else {
        (void)gen_call_named(routine);
    }
    add_stack_offset(static_cast<int16_t>(stacked_size(source) - stacked_size(target)));
}

void gen_register_conversion(object *node, int target_type, uint8_t forms)
{
    if (obj_flag(node, noCode))
        return;
    int source = node->type;
    if (first_level(node) == kDeclPointer || first_level(node) == kDeclArray)
        source = 3;
    const int target = target_type;
    if (source > 9 || target > 9) {
        cg_error(kMsgCgConversion);
        return;
    }
    if (source == target)
        return;
    node->type = static_cast<uint16_t>(target);
    const bool word = source == 1 || source == 2 || source == 3;
    const bool to_word = target == 1 || target == 2 || target == 3;
    if (forms == 0 && word && to_word)
        return;  // all of them live in HL alike
    const std::string routine = std::string{(forms & kFormSourceLong) ? 'B' : 'H', type_letter(source),
                                            '_', (forms & kFormTargetLong) ? 'B' : 'H',
                                            type_letter(target)};
    if (!cpu_is_f80()) {
        (void)gen_call_named(routine.c_str());
        return;
    }
    const bool to_long = target == 4 || target == 5;
    const bool from_long = source == 4 || source == 5;
    if (forms == kFormTargetLong && to_long && source == 1) {
        outasm("ld h, %d", 0);
        outasm("ld b, h");
        outasm("ld c, h");
        gen_exchange_de_hl();
    } else if (forms == kFormTargetLong && source == 2 &&
               (target == 5 || (target == 4 && !function_size_flag()))) {
        // int to unsigned long is sign-extended as int to long is.
        gen_exchange_de_hl();
        outasm("ld a, d");
        outasm("rla");
        outasm("sbc hl, hl");
        outasm("ld b, h");
        outasm("ld c, l");
    } else if (forms == kFormTargetLong && source == 3 && to_long) {
        gen_exchange_de_hl();
        outasm("ld bc, %d", 0);
    } else if (forms == kFormSourceLong && from_long && target == 1) {
        gen_exchange_de_hl();
        outasm("ld h, %d", 0);
    } else if (forms == kFormSourceLong && from_long && to_word) {
        gen_exchange_de_hl();
    } else {
        (void)gen_call_named(routine.c_str());
    }
}
