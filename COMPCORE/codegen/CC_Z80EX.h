// CC_Z80EX: the code of the binary operators. Each operation first runs the compile-time one
// (CC_IEXPR: checks, folding, identities, pointer scaling); when code is still needed it picks,
// by the result type, an inline sequence (assembly lines through `outasm`) or a runtime routine
// (`gen_call_named`; their contract is TARGET/lib/RuntimeContract.h), and asks
// `arrange_operands` for the places the choice needs: 16-bit operations take the left operand
// in HL and the right one in DE (or the other way round for the routines "c_div", "c_udv",
// "c_asl", "c_asr", "c_usr"); 32-bit and float routines take the left one stacked and the right
// one in BC:DE. The F80 set gets inline forms ("mul", "bool hl", "or hl, de", ...) where the
// Z180 set calls routines. A char result is computed as an int.
//
// Comparisons leave the truth in the carry or zero flag with its sense recorded in the left
// node's condition state (CC_OBJ); while the parser's flag tracking is on (a condition that
// jumps on the flags) they stop there, otherwise they form the int 0/1 in HL.
//
// `gen_binary_operation` is the entry the expression parser calls for every binary operator.
#pragma once

#include "parser/CC_IEXPR.h"

class TargetExpressionHandling : public IMDExpressionHandling {
public:
    using IMDExpressionHandling::IMDExpressionHandling;

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

    // A right constant below 4 in size added ("+") or subtracted ("-") by that many
    // "inc hl"/"dec hl" ("inc a"/"dec a" for a char result held in A); false when the right
    // operand is no such constant.
    bool add_small_constant(const char *op);

private:
    enum class Order : uint8_t { less, greater, less_equal, greater_equal };
    // The result type the code is chosen by (a char result widened to int).
    uint32_t code_type();
    // The left node holds the result in the primary registers.
    void set_result(uint32_t type);
    // Calls a routine that takes a stacked operand: the stacked bytes leave the tracked depth
    // (with `caller_releases` the caller takes them off the stack after the call).
    void call_with_stacked(const char *routine, bool caller_releases);
    // The 32-bit and float form: the left operand stacked, the right one in BC:DE, a routine.
    void stacked_routine(const char *routine, uint8_t swap_option, uint32_t type,
                         bool caller_releases = false);
    // The 16-bit routine form: the left operand in DE, the right one in HL.
    void word_routine(const char *routine, uint32_t type);
    void word_equality(bool equal);
    void equality(bool equal);
    void order(Order order);
    void word_order(Order order, bool is_signed);
    void inline_bitwise(const char *op);

    bool m_char_result = false;
};

// Builds the handling over the two nodes, runs the operation of the operator text and
// completes it: the result is in `left` (kind 255 when code was emitted).
void gen_binary_operation(const char *op, object *left, object *right);

// 2, 4, 8, ... 2^31 (0 and 1 are not).
bool is_power_of_two(uint32_t value);

// "Invalid type for '%s' operator" with the operator's text.
void report_invalid_operator_type(const char *op);

// Bit 0x10 of the code generator's options byte: "^" on 16 bits through the routine "x_".
inline constexpr uint8_t kOptionXorRoutine = 0x10;
