// CC_CONV: conversions of a value between char, int, unsigned int, long, unsigned long, float and
// pointers: for assignments, arguments, returns, casts and the usual conversions of operators.
// A conversion is an object on the host stack around one value node and a target type: its
// constructor classifies source and target and runs one cell of an 8 x 8 table chosen by the
// node's place (a constant is converted at compile time; a value on the target stack or in
// registers gets code); its destructor writes the new type back and reports (401 for refused
// types, the trivial warning 807 for lost digits). `ConvertCCObject` is the one entry.
// Also the two code emitters the tables use: the conversion of the value on top of the stack
// and of the value in the primary registers, inline on the F80 set where a short sequence
// exists and through the runtime routines ("I__F", "Hi_Bf", ...; TARGET/lib/RuntimeContract.h)
// otherwise.
#pragma once

#include "core/CC_OBJ.h"

#include <cstdint>

// Classes of types: the rows and columns of every table.
enum TypeClass : uint8_t {
    kClassChar = 0, kClassInt = 1, kClassUnsigned = 2, kClassLong = 3, kClassUnsignedLong = 4,
    kClassFloat = 5, kClassPointer = 6, kClassInvalid = 7,
};
// 1 char, 2 int, 3 unsigned, 4 long, 5 unsigned long, 7 float, 12 address; any other invalid.
int type_class(int type);

// Options of a conversion.
enum : uint8_t {
    kConvWarnLostDigits = 1,  // warn (807) when digits may be lost
    kConvMaskChar = 2,        // a char result in registers gets its high byte cleared
};

class ConvertAValue {
public:
    ConvertAValue(object *node, int target_type, bool as_pointer, uint8_t options);
    // Writes the type back and reports; reports nothing while an exception unwinds.
    virtual ~ConvertAValue() noexcept(false);
    ConvertAValue(const ConvertAValue &) = delete;
    ConvertAValue &operator=(const ConvertAValue &) = delete;

    uint8_t write_back = 1;
    uint8_t as_pointer = 0;
    object *node;
    int source_class = kClassInvalid;
    int target_class = kClassInvalid;
    int source_type = 0;
    int target_type = 0;
    uint8_t state = 2;        // 0: incompatible
    uint8_t options = 0;
    uint32_t declarator = 0;  // what the first declarator level becomes
    uint8_t lost_digits = 0;
    uint16_t write_type = 0;  // the type written back (a pointer target keeps the node's own)

    using Cell = void (ConvertAValue::*)();

    // Cells every table shares.
    void same();          // the same class: nothing, not even the write back
    void incompatible();  // refused: no write back, reported by the destructor
    void keep();          // nothing to do: the write back is the conversion
    void digits();        // may lose digits

protected:
    // The cell of the check table (lost digits and refusals) for this pair.
    void run_check_cell();
    static const Cell kCheckTable[8][8];

private:
    int m_exceptions;
};

// Runs the table of `T` once `T` is built: the cell [source class][target class], while the
// state is 2.
template <class T> class DoConversion : public T {
public:
    DoConversion(object *node, int target_type, bool as_pointer, uint8_t options)
        : T(node, target_type, as_pointer, options)
    {
        if (this->state == 2)
            (this->*T::kTable[this->source_class][this->target_class])();
    }
};

// Checks only (lost digits, refusals); the type is still written back. Run as
// DoConversion<ConvertCheck>.
class ConvertCheck : public ConvertAValue {
public:
    using ConvertAValue::ConvertAValue;
    static constexpr const Cell (&kTable)[8][8] = kCheckTable;
};

// As ConvertCheck, but int and unsigned int, and long and unsigned long, keep the node's type.
class ConvertValue : public ConvertCheck {
public:
    ConvertValue(object *node, int target_type, bool as_pointer, uint8_t options);
};

// A constant: its value is rewritten.
class ConvertConstantValue : public ConvertAValue {
public:
    using ConvertAValue::ConvertAValue;
    using Cell = void (ConvertConstantValue::*)();
    static const Cell kTable[8][8];

private:
    void low8();
    void low8_digits();
    void sign16();
    void sign16_digits();
    void zero16();
    void zero16_digits();
    void float_of_low8();
    void float_of_sign16();
    void float_of_signed();
    void float_of_unsigned();
    void float_to_char();
    void float_to_int();
    void float_to_unsigned();
    void float_to_long();
    void float_to_unsigned_long();
    void set_float(float f);
    void float_to_integer(double limit);
};

// A value on top of the target stack: the check cell first, then code where the stacked size or
// representation changes.
class ConvertValueOnStack : public ConvertAValue {
public:
    ConvertValueOnStack(object *node, int target_type, bool as_pointer, uint8_t options);
    using Cell = void (ConvertValueOnStack::*)();
    static const Cell kTable[8][8];

private:
    void stacked();
};

// Any other value: the check cell first, then the value is loaded where the cell needs it in
// registers, and converted there.
class ConvertValueInRegisters : public ConvertAValue {
public:
    ConvertValueInRegisters(object *node, int target_type, bool as_pointer, uint8_t options);
    using Cell = void (ConvertValueInRegisters::*)();
    static const Cell kTable[8][8];

private:
    void prepare();
    void mask();
    void load();
    void load_mask();
    void word_to_long();
    void long_to_long();
    void long_to_word();
    void exchange();
    void exchange_mask();
};

// Converts a node to a type in place: a constant at compile time, a stacked value on the stack,
// anything else in registers. `as_pointer` asks for a pointer (a cast to an address type).
void ConvertCCObject(object *node, int target_type, bool as_pointer, uint8_t options);

// The value on top of the stack (its node's type, a pointer as unsigned int) to the target type
// (12 counts as int); the stack offset follows the change of size. 404 for a type above 9.
void gen_stack_conversion(object *node, int target_type);
// Register forms of `gen_register_conversion`: bit 1 the source is in BC:DE, bit 0 the target
// goes there; else HL.
enum : uint8_t { kFormTargetLong = 1, kFormSourceLong = 2 };
// The value in the primary registers to the target type; the node takes the type. 404 for a
// type above 9.
void gen_register_conversion(object *node, int target_type, uint8_t forms);

enum : uint32_t {
    kMsgCgConversion = 404,        // "Conversion between these types cannot be performed."
    kMsgCgDemotion = 807,          // "Demotion of value may lose digits."
};
