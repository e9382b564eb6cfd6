// RuntimeContract: the calling contract of every runtime routine that generated code may call,
// one row per routine: where its operands are, what it leaves where, how many stacked bytes it
// removes, and which registers it changes. The routines themselves are assembly in the
// libraries beside this file (TARGET/lib/*.LIB); CONTRACT.md tells the conventions that hold for
// every row. The code generator follows these rows; the runtime library's tests run every
// routine through them (operands placed, results read and untouched registers checked as the
// row says), so a row and its routine cannot drift apart.
// Standard library only; header only.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace runtime {

// Registers as bits of a mask. F is the flags; kAlternates stands for AF', BC', DE', HL'.
enum RegBit : uint16_t {
    kA = 1u << 0, kF = 1u << 1, kB = 1u << 2, kC = 1u << 3, kD = 1u << 4, kE = 1u << 5,
    kH = 1u << 6, kL = 1u << 7, kIX = 1u << 8, kIY = 1u << 9, kAlternates = 1u << 10,
};
inline constexpr uint16_t kAF = kA | kF;
inline constexpr uint16_t kBC = kB | kC;
inline constexpr uint16_t kDE = kD | kE;
inline constexpr uint16_t kHL = kH | kL;
inline constexpr uint16_t kBCDE = kBC | kDE;
inline constexpr uint16_t kMain = kAF | kBC | kDE | kHL;

// The value types the rows speak of. char is unsigned 8 bits; float is IEEE single.
enum class Ty : uint8_t { none, u8, i16, u16, i32, u32, f32, address };

// Where the operands are when the routine is called (after the "call").
//   SP+0 is the return address; a stacked operand starts at SP+2, least significant byte
//   first. A 32-bit left operand is pushed high word first, so SP+2 holds its low word.
enum class In : uint8_t {
    none,
    hl,            // one 16-bit operand in HL
    de_hl,         // left operand in DE, right operand in HL
    hl_a_b,        // c_divt: dividend in HL, k in A, B = 0x80 when the divisor is -2^k, else 0
    stack2_hl,     // left operand stacked (2 bytes), right operand in HL
    bcde,          // one 32-bit operand in BC:DE (BC the high word)
    stack4_bcde,   // left operand stacked (4 bytes), right operand in BC:DE
    stack_value,   // stack conversion: the value at SP+2 (2 bytes for char, int and unsigned,
                   // 4 for long, unsigned long and float)
    swap4,         // swap4_: BC:DE and the 4 bytes at SP+2
    address_hl,    // the address of a 4-byte value in HL
    address_hl_bcde, // the address in HL, the 32-bit value in BC:DE
    block_move,    // source address in HL, destination in DE, byte count in BC
    switch_table,  // value in HL, entry count in BC, table address in DE
    frame_enter,   // after the function's "exx": HL = minus the frame size; for the register
                   // forms DE = start of the register-variable area, BC = its size
    frame_leave,   // after the epilogue's "exx": HL = the frame size; register forms as above
    interrupt_entry, // "push af", "push hl", "call entint_"
    interrupt_exit,  // reached by the interrupt function's return
    c_args,        // a C function: arguments pushed last to first, 2 bytes each, the caller
                   // removes them after the call
    start_table,   // funcblk_init: the start-up table of the state blocks follows the call
                   // (under separate instruction and data: HL the table, in constant data)
    state_block,   // HL the state block of a costatement (funcblk_exit: B the status it leaves)
    slice_frame,   // __slice_entry: SP+2 the slice's time, SP+4 its buffer's size, SP+6 the
                   // buffer; the "jp" past the slice follows the call
    cofunction_entry, // cofprolog_: the cofunction's frame and its caller's words stacked
                      // (CONTRACT.md, "Cofunctions")
    cofunction_exit,  // cofepilog_: A the reason the body left, HL its state block, the stack
                      // as cofprolog_ had it
    abandon_check,    // __scofabandon, by "lcall": SP+3 the state block, +5 the abandon
                      // block's page, +7 its address, +9 the instance
    inline_constant,  // st4_: HL the address; the 4 bytes of the value follow the call in the
                      // code, and the routine returns behind them
};

// What the routine leaves, and where.
enum class Out : uint8_t {
    none,
    hl,            // 16-bit result in HL
    hl_de,         // quotient in HL, remainder in DE
    bcde,          // 32-bit result in BC:DE
    truth_hl,      // HL = 1 (true) or 0 (false), and Z set exactly when HL is 0
    stack_value,   // the converted value replaces the stacked one (2 or 4 bytes by its type)
    swapped,       // BC:DE holds what was stacked and the stack what was in BC:DE
    memory,        // stored at the address; every register kept
    moved,         // as ldir/lddr leave them: HL and DE past the block, BC 0
    jump,          // switch: jumps to the matching entry's target, else returns
    frame,         // the frame built or taken down (see CONTRACT.md)
    no_return,     // ends the program through the run-time error exit
    resume,        // funcblk_entry: returns (Z set: passed over; Z clear: runs from the top),
                   // or drops its return address and enters the block's resume point
    behind_table,  // funcblk_init: the blocks set, returns behind the table's end mark (under
                   // separate instruction and data: to its caller)
    slice_run,     // __slice_entry: returns to the "jp" past the slice (passed over), enters the
                   // body behind that jump, or its resume point on the SP it was suspended on
    slice_leave,   // __slice_yield, __slice_waitfor, __slice_abort: the slice is left on the SP
                   // of its entry to the "jp" past it
    zero_flag,     // Z set exactly when the value is zero; the value's registers kept
    cofunction,    // cofprolog_: enters the body (from the top or at its resume point) with IX
                   // the instance, or returns A = 0x20 when the call is not run; cofepilog_:
                   // AF' and the main registers as the caller's call sequence reads them
};

struct Routine {
    std::string_view name;
    In in;
    Ty left;           // type of the (left) operand or the source of a conversion
    Ty right;          // type of the right operand, or none
    Out out;
    Ty result;         // type of the result, or none
    uint8_t pops;      // stacked bytes the routine removes before it returns
    uint16_t changes;  // registers changed besides the result (F is always listed)
    uint8_t error;     // run-time error code it may end the program with, or 0
    std::string_view what;
};

// Run-time error codes the routines use (the exit routine's code byte; the debugger names them).
inline constexpr uint8_t kErrPointer = 228;      // "Erroneous pointer assignment"
inline constexpr uint8_t kErrIndex = 229;        // "Array index out of bounds"
inline constexpr uint8_t kErrLongDivide = 237;   // "Long divide by zero"
inline constexpr uint8_t kErrLongModulus = 238;  // "Long zero modulus error"
inline constexpr uint8_t kErrIoParameter = 239;  // "Bad parameter passed to I/O function"
inline constexpr uint8_t kErrDivide = 240;       // "Integer divide by zero"

// The routines. Rows are grouped as CONTRACT.md groups them.
inline constexpr Routine kRoutines[] = {
    // ---- 16-bit integers ------------------------------------------------------------------
    {"c_div", In::de_hl, Ty::i16, Ty::i16, Out::hl_de, Ty::i16, 0, kF, kErrDivide,
     "DE / HL signed: quotient truncated toward zero, remainder with the dividend's sign; "
     "-32768 / -1 = -32768 rem 0"},
    {"c_udv", In::de_hl, Ty::u16, Ty::u16, Out::hl_de, Ty::u16, 0, kF, kErrDivide,
     "DE / HL unsigned: quotient and remainder"},
    {"c_divt", In::hl_a_b, Ty::i16, Ty::none, Out::hl, Ty::i16, 0, kF, 0,
     "HL / 2^A, negated when B is 0x80; truncated toward zero; k of 16 or more gives 0"},
    {"c_usr", In::de_hl, Ty::u16, Ty::u16, Out::hl, Ty::u16, 0, kF, 0,
     "DE >> (HL & 31) logical; counts 16..31 give 0"},
    {"c_asl", In::de_hl, Ty::i16, Ty::u16, Out::hl, Ty::i16, 0, kF, 0,
     "DE << (HL & 31); counts 16..31 give 0"},
    {"c_asr", In::de_hl, Ty::i16, Ty::u16, Out::hl, Ty::i16, 0, kF, 0,
     "DE >> (HL & 31) arithmetic; counts 16..31 give 0 or -1"},
    {"c_neg", In::hl, Ty::i16, Ty::none, Out::hl, Ty::i16, 0, kF, 0, "-HL"},
    {"c_com", In::hl, Ty::i16, Ty::none, Out::hl, Ty::i16, 0, kF, 0, "~HL"},
    {"x_", In::stack2_hl, Ty::i16, Ty::i16, Out::hl, Ty::i16, 2, kF, 0, "left ^ HL"},

    // ---- 32-bit integers ------------------------------------------------------------------
    {"L_add", In::stack4_bcde, Ty::i32, Ty::i32, Out::bcde, Ty::i32, 4, kF, 0, "left + right"},
    {"L_sub", In::stack4_bcde, Ty::i32, Ty::i32, Out::bcde, Ty::i32, 4, kF, 0, "left - right"},
    {"G_mul", In::stack4_bcde, Ty::u32, Ty::u32, Out::bcde, Ty::u32, 4, kF, 0,
     "left * right, low 32 bits (signed and unsigned alike)"},
    {"L_div", In::stack4_bcde, Ty::i32, Ty::i32, Out::bcde, Ty::i32, 4, kF, kErrLongDivide,
     "left / right signed, truncated toward zero; 0x80000000 / -1 = 0x80000000"},
    {"G_div", In::stack4_bcde, Ty::u32, Ty::u32, Out::bcde, Ty::u32, 4, kF, kErrLongDivide,
     "left / right unsigned"},
    {"L_mod", In::stack4_bcde, Ty::i32, Ty::i32, Out::bcde, Ty::i32, 4, kF, kErrLongModulus,
     "left % right signed, with the dividend's sign; 0x80000000 % -1 = 0"},
    {"G_mod", In::stack4_bcde, Ty::u32, Ty::u32, Out::bcde, Ty::u32, 4, kF, kErrLongModulus,
     "left % right unsigned"},
    {"L_asl", In::stack4_bcde, Ty::i32, Ty::u32, Out::bcde, Ty::i32, 4, kF, 0,
     "left << (E & 31)"},
    {"L_asr", In::stack4_bcde, Ty::i32, Ty::u32, Out::bcde, Ty::i32, 4, kF, 0,
     "left >> (E & 31) arithmetic"},
    {"G_asr", In::stack4_bcde, Ty::u32, Ty::u32, Out::bcde, Ty::u32, 4, kF, 0,
     "left >> (E & 31) logical"},
    {"L_and", In::stack4_bcde, Ty::u32, Ty::u32, Out::bcde, Ty::u32, 4, kF, 0, "left & right"},
    {"L_or", In::stack4_bcde, Ty::u32, Ty::u32, Out::bcde, Ty::u32, 4, kF, 0, "left | right"},
    {"L_xor", In::stack4_bcde, Ty::u32, Ty::u32, Out::bcde, Ty::u32, 4, kF, 0, "left ^ right"},
    {"L_com", In::bcde, Ty::u32, Ty::none, Out::bcde, Ty::u32, 0, kF, 0, "~BC:DE"},
    {"L_neg", In::bcde, Ty::i32, Ty::none, Out::bcde, Ty::i32, 0, kF, 0, "-BC:DE"},
    {"L_not", In::bcde, Ty::u32, Ty::none, Out::truth_hl, Ty::i16, 0, kF, 0, "BC:DE == 0"},
    {"eq_4", In::stack4_bcde, Ty::u32, Ty::u32, Out::truth_hl, Ty::i16, 4, kF, 0, "left == right"},
    {"neq_4", In::stack4_bcde, Ty::u32, Ty::u32, Out::truth_hl, Ty::i16, 4, kF, 0, "left != right"},
    {"cl_lt", In::stack4_bcde, Ty::i32, Ty::i32, Out::truth_hl, Ty::i16, 4, kF, 0, "left < right"},
    {"cl_gt", In::stack4_bcde, Ty::i32, Ty::i32, Out::truth_hl, Ty::i16, 4, kF, 0, "left > right"},
    {"cl_le", In::stack4_bcde, Ty::i32, Ty::i32, Out::truth_hl, Ty::i16, 4, kF, 0, "left <= right"},
    {"cl_ge", In::stack4_bcde, Ty::i32, Ty::i32, Out::truth_hl, Ty::i16, 4, kF, 0, "left >= right"},
    {"cg_lt", In::stack4_bcde, Ty::u32, Ty::u32, Out::truth_hl, Ty::i16, 4, kF, 0, "left < right"},
    {"cg_gt", In::stack4_bcde, Ty::u32, Ty::u32, Out::truth_hl, Ty::i16, 4, kF, 0, "left > right"},
    {"cg_le", In::stack4_bcde, Ty::u32, Ty::u32, Out::truth_hl, Ty::i16, 4, kF, 0, "left <= right"},
    {"cg_ge", In::stack4_bcde, Ty::u32, Ty::u32, Out::truth_hl, Ty::i16, 4, kF, 0, "left >= right"},
    {"swap4_", In::swap4, Ty::u32, Ty::u32, Out::swapped, Ty::u32, 0, kF, 0,
     "exchanges BC:DE with the 4 bytes at SP+2"},
    {"llong_", In::address_hl, Ty::address, Ty::none, Out::bcde, Ty::u32, 0, kF, 0,
     "BC:DE = the 4 bytes at HL"},
    {"llong_s", In::address_hl, Ty::address, Ty::none, Out::bcde, Ty::u32, 0, kF, 0,
     "llong_ of a shared value: interrupts held off while it reads"},
    {"llong_ss", In::address_hl, Ty::address, Ty::none, Out::bcde, Ty::u32, 0, kF, 0,
     "llong_ of a protected value: as llong_s"},
    {"slong_", In::address_hl_bcde, Ty::address, Ty::u32, Out::memory, Ty::none, 0, kF, 0,
     "the 4 bytes at HL = BC:DE"},
    {"slong_s", In::address_hl_bcde, Ty::address, Ty::u32, Out::memory, Ty::none, 0, kF, 0,
     "slong_ of a shared value: interrupts held off while it writes"},
    {"slong_ss", In::address_hl_bcde, Ty::address, Ty::u32, Out::memory, Ty::none, 0, kF, 0,
     "slong_ of a protected value: as slong_s"},

    // ---- IEEE single float ----------------------------------------------------------------
    {"F_add", In::stack4_bcde, Ty::f32, Ty::f32, Out::bcde, Ty::f32, 0, kF, 0,
     "left + right; the caller releases the 4 stacked bytes"},
    {"F_sub", In::stack4_bcde, Ty::f32, Ty::f32, Out::bcde, Ty::f32, 0, kF, 0,
     "left - right; the caller releases the 4 stacked bytes"},
    {"F_mul", In::stack4_bcde, Ty::f32, Ty::f32, Out::bcde, Ty::f32, 0, kF, 0,
     "left * right; the caller releases the 4 stacked bytes"},
    {"F_div", In::stack4_bcde, Ty::f32, Ty::f32, Out::bcde, Ty::f32, 0, kF, 0,
     "left / right (x / 0 is a signed infinity); the caller releases the 4 stacked bytes"},
    {"F_neg", In::bcde, Ty::f32, Ty::none, Out::bcde, Ty::f32, 0, kF, 0,
     "-BC:DE (the sign bit flipped, NaN too)"},
    {"F_not", In::bcde, Ty::f32, Ty::none, Out::truth_hl, Ty::i16, 0, kF, 0,
     "BC:DE == 0.0 (true for +0 and -0 only)"},
    {"cf_eq", In::stack4_bcde, Ty::f32, Ty::f32, Out::truth_hl, Ty::i16, 4, kF, 0, "left == right"},
    {"cf_ne", In::stack4_bcde, Ty::f32, Ty::f32, Out::truth_hl, Ty::i16, 4, kF, 0, "left != right"},
    {"cf_lt", In::stack4_bcde, Ty::f32, Ty::f32, Out::truth_hl, Ty::i16, 4, kF, 0, "left < right"},
    {"cf_gt", In::stack4_bcde, Ty::f32, Ty::f32, Out::truth_hl, Ty::i16, 4, kF, 0, "left > right"},
    {"cf_le", In::stack4_bcde, Ty::f32, Ty::f32, Out::truth_hl, Ty::i16, 4, kF, 0, "left <= right"},
    {"cf_ge", In::stack4_bcde, Ty::f32, Ty::f32, Out::truth_hl, Ty::i16, 4, kF, 0, "left >= right"},

    // ---- conversions of a stacked value (the routine named "@..@": source, target) -------------
    {"C__L", In::stack_value, Ty::u8, Ty::none, Out::stack_value, Ty::i32, 0, kF, 0, "zero-extends"},
    {"C__G", In::stack_value, Ty::u8, Ty::none, Out::stack_value, Ty::u32, 0, kF, 0, "zero-extends"},
    {"C__F", In::stack_value, Ty::u8, Ty::none, Out::stack_value, Ty::f32, 0, kF, 0, "exact"},
    {"I__L", In::stack_value, Ty::i16, Ty::none, Out::stack_value, Ty::i32, 0, kF, 0, "sign-extends"},
    {"I__G", In::stack_value, Ty::i16, Ty::none, Out::stack_value, Ty::u32, 0, kF, 0, "sign-extends"},
    {"I__F", In::stack_value, Ty::i16, Ty::none, Out::stack_value, Ty::f32, 0, kF, 0, "exact"},
    {"U__L", In::stack_value, Ty::u16, Ty::none, Out::stack_value, Ty::i32, 0, kF, 0, "zero-extends"},
    {"U__G", In::stack_value, Ty::u16, Ty::none, Out::stack_value, Ty::u32, 0, kF, 0, "zero-extends"},
    {"U__F", In::stack_value, Ty::u16, Ty::none, Out::stack_value, Ty::f32, 0, kF, 0, "exact"},
    {"L__F", In::stack_value, Ty::i32, Ty::none, Out::stack_value, Ty::f32, 0, kF, 0, "rounded to nearest even"},
    {"G__F", In::stack_value, Ty::u32, Ty::none, Out::stack_value, Ty::f32, 0, kF, 0, "rounded to nearest even"},
    {"F__C", In::stack_value, Ty::f32, Ty::none, Out::stack_value, Ty::u8, 0, kF, 0, "truncated, low 8 bits"},
    {"F__I", In::stack_value, Ty::f32, Ty::none, Out::stack_value, Ty::i16, 0, kF, 0, "truncated, low 16 bits"},
    {"F__U", In::stack_value, Ty::f32, Ty::none, Out::stack_value, Ty::u16, 0, kF, 0, "truncated, low 16 bits"},
    {"F__L", In::stack_value, Ty::f32, Ty::none, Out::stack_value, Ty::i32, 0, kF, 0, "truncated, low 32 bits"},
    {"F__G", In::stack_value, Ty::f32, Ty::none, Out::stack_value, Ty::u32, 0, kF, 0, "truncated, low 32 bits"},

    // ---- conversions in registers (H: HL, B: BC:DE; then the type letter) -------------------
    {"Hi_Bl", In::hl, Ty::i16, Ty::none, Out::bcde, Ty::i32, 0, kF, 0, "sign-extends"},
    {"Hc_Bf", In::hl, Ty::u8, Ty::none, Out::bcde, Ty::f32, 0, kF, 0, "exact (L only)"},
    {"Hi_Bf", In::hl, Ty::i16, Ty::none, Out::bcde, Ty::f32, 0, kF, 0, "exact"},
    {"Hu_Bf", In::hl, Ty::u16, Ty::none, Out::bcde, Ty::f32, 0, kF, 0, "exact"},
    {"Bl_Bf", In::bcde, Ty::i32, Ty::none, Out::bcde, Ty::f32, 0, kF, 0, "rounded to nearest even"},
    {"Bg_Bf", In::bcde, Ty::u32, Ty::none, Out::bcde, Ty::f32, 0, kF, 0, "rounded to nearest even"},
    {"Bf_Hc", In::bcde, Ty::f32, Ty::none, Out::hl, Ty::u8, 0, kF, 0, "truncated, low 8 bits, H = 0"},
    {"Bf_Hi", In::bcde, Ty::f32, Ty::none, Out::hl, Ty::i16, 0, kF, 0, "truncated, low 16 bits"},
    {"Bf_Hu", In::bcde, Ty::f32, Ty::none, Out::hl, Ty::u16, 0, kF, 0, "truncated, low 16 bits"},
    {"Bf_Bl", In::bcde, Ty::f32, Ty::none, Out::bcde, Ty::i32, 0, kF, 0, "truncated, low 32 bits"},
    {"Bf_Bg", In::bcde, Ty::f32, Ty::none, Out::bcde, Ty::u32, 0, kF, 0, "truncated, low 32 bits"},

    // ---- block moves and switch -------------------------------------------------------------
    {"ldir_func", In::block_move, Ty::address, Ty::u16, Out::moved, Ty::none, 0, kF, 0,
     "as ldir (a count of 0 moves 65,536 bytes)"},
    {"lddr_func", In::block_move, Ty::address, Ty::u16, Out::moved, Ty::none, 0, kF, 0,
     "as lddr (a count of 0 moves 65,536 bytes)"},
    {"doldir_s", In::block_move, Ty::address, Ty::u16, Out::moved, Ty::none, 0, kF, 0,
     "as ldir into a shared object: interrupts held off while it copies"},
    {"_switch", In::switch_table, Ty::i16, Ty::u16, Out::jump, Ty::none, 0, kMain, 0,
     "jumps to the target of the entry whose value equals HL (its return address dropped); "
     "returns when none matches"},

    // ---- function frames (see CONTRACT.md) ----------------------------------------------------
    {"sspixffn_", In::frame_enter, Ty::none, Ty::none, Out::frame, Ty::none, 0, kF | kAlternates, 0,
     "reserves the frame (SP += HL), then exx"},
    {"sspixfn_", In::frame_enter, Ty::none, Ty::none, Out::frame, Ty::none, 0, kF | kAlternates, 0,
     "as sspixffn_"},
    {"sspixff_", In::frame_enter, Ty::none, Ty::none, Out::frame, Ty::none, 0,
     kF | kIX | kAlternates, 0,
     "push ix, ix = sp, reserves the frame, then exx"},
    {"sspixf_", In::frame_enter, Ty::none, Ty::none, Out::frame, Ty::none, 0,
     kF | kIX | kAlternates, 0, "as sspixff_"},
    {"sspixrff_", In::frame_enter, Ty::none, Ty::none, Out::frame, Ty::none, 0,
     kF | kIX | kAlternates, 0,
     "as sspixff_, and copies the register variables (BC bytes from DE) to the frame's bottom"},
    {"sspixrffw_", In::frame_enter, Ty::none, Ty::none, Out::frame, Ty::none, 0,
     kF | kIX | kAlternates, 0, "as sspixrff_"},
    {"sspixrf_", In::frame_enter, Ty::none, Ty::none, Out::frame, Ty::none, 0,
     kF | kIX | kAlternates, 0, "as sspixrff_"},
    {"rspixffn_", In::frame_leave, Ty::none, Ty::none, Out::frame, Ty::none, 0, kF | kAlternates, 0,
     "releases the frame (SP += HL), then exx"},
    {"rspixfn_", In::frame_leave, Ty::none, Ty::none, Out::frame, Ty::none, 0, kF | kAlternates, 0,
     "as rspixffn_"},
    {"rspixff_", In::frame_leave, Ty::none, Ty::none, Out::frame, Ty::none, 0,
     kF | kIX | kAlternates, 0, "sp = ix, pop ix, then exx"},
    {"rspixf_", In::frame_leave, Ty::none, Ty::none, Out::frame, Ty::none, 0,
     kF | kIX | kAlternates, 0, "as rspixff_"},
    {"rspixrff_", In::frame_leave, Ty::none, Ty::none, Out::frame, Ty::none, 0,
     kF | kIX | kAlternates, 0,
     "copies the register variables back (BC bytes to DE) from the frame's bottom, then as "
     "rspixff_"},
    {"rspixrf_", In::frame_leave, Ty::none, Ty::none, Out::frame, Ty::none, 0,
     kF | kIX | kAlternates, 0, "as rspixrff_"},

    // ---- interrupt functions --------------------------------------------------------------
    {"entint_", In::interrupt_entry, Ty::none, Ty::none, Out::frame, Ty::none, 0, kHL, 0,
     "saves BC, DE, IX, IY and the alternate registers under its return address (HL, which "
     "the function pushed before the call, changes)"},
    {"intr1", In::interrupt_exit, Ty::none, Ty::none, Out::frame, Ty::none, 0, 0, 0,
     "restores what entint_ saved, pops HL and AF, ipres, ret"},
    {"intr2", In::interrupt_exit, Ty::none, Ty::none, Out::frame, Ty::none, 0, 0, 0, "as intr1"},
    {"intr3", In::interrupt_exit, Ty::none, Ty::none, Out::frame, Ty::none, 0, 0, 0, "as intr1"},

    // ---- run-time checks --------------------------------------------------------------------
    {"bound_e", In::none, Ty::none, Ty::none, Out::no_return, Ty::none, 0, 0, kErrPointer,
     "called when a checked store's page may not be written"},
    {"abound_e", In::none, Ty::none, Ty::none, Out::no_return, Ty::none, 0, 0, kErrIndex,
     "called when a checked index is at or above its dimension"},

    // ---- bit functions and port I/O as C functions ------------------------------------------
    {"BIT", In::c_args, Ty::address, Ty::u16, Out::truth_hl, Ty::i16, 0, kMain, 0,
     "BIT(address, bit): bit (bit & 7) of the byte at address + bit / 8"},
    {"SET", In::c_args, Ty::address, Ty::u16, Out::none, Ty::none, 0, kMain, 0,
     "SET(address, bit): sets that bit"},
    {"RES", In::c_args, Ty::address, Ty::u16, Out::none, Ty::none, 0, kMain, 0,
     "RES(address, bit): clears that bit"},
    {"IBIT", In::c_args, Ty::address, Ty::u16, Out::truth_hl, Ty::i16, 0, kMain, 0,
     "BIT on an internal I/O port"},
    {"ISET", In::c_args, Ty::address, Ty::u16, Out::none, Ty::none, 0, kMain, 0,
     "SET on an internal I/O port"},
    {"IRES", In::c_args, Ty::address, Ty::u16, Out::none, Ty::none, 0, kMain, 0,
     "RES on an internal I/O port"},
    {"EBIT", In::c_args, Ty::address, Ty::u16, Out::truth_hl, Ty::i16, 0, kMain, 0,
     "BIT on an external I/O port"},
    {"ESET", In::c_args, Ty::address, Ty::u16, Out::none, Ty::none, 0, kMain, 0,
     "SET on an external I/O port"},
    {"ERES", In::c_args, Ty::address, Ty::u16, Out::none, Ty::none, 0, kMain, 0,
     "RES on an external I/O port"},
    {"WrPortI", In::c_args, Ty::address, Ty::address, Out::none, Ty::none, 0, kMain, 0,
     "WrPortI(port, shadow, value): writes the internal port, and the shadow byte unless it "
     "is null, with interrupts held off"},
    {"RdPortI", In::c_args, Ty::address, Ty::none, Out::hl, Ty::u16, 0, kMain, 0,
     "RdPortI(port): the internal port's byte, zero-extended"},
    {"BitWrPortI", In::c_args, Ty::address, Ty::address, Out::none, Ty::none, 0, kMain,
     kErrIoParameter,
     "BitWrPortI(port, shadow, value, bit): sets (value != 0) or clears bit (bit & 7) in the "
     "shadow and writes it to the port; a null shadow ends the program with error 239"},
    {"BitRdPortI", In::c_args, Ty::address, Ty::u16, Out::truth_hl, Ty::i16, 0, kMain, 0,
     "BitRdPortI(port, bit): bit (bit & 7) of the internal port"},

    // ---- published variables ("#web") -------------------------------------------------------
    {"_web_getnewval", In::c_args, Ty::address, Ty::i16, Out::hl, Ty::address, 0, kA | kF, 0,
     "guard code's fetch of a new value: stacked name, type code (9 text), address; HL the "
     "address of the new value (no value is pending: the variable's own)"},
    {"_web_getwildval", In::c_args, Ty::address, Ty::i16, Out::hl, Ty::address, 0, kF, 0,
     "guard code's fetch for a wildcard element: stacked name (\"tbl[@[n]]\"), the guard's "
     "index; HL the address of the new value (none is pending: a word 0)"},

    // ---- start-up and exit ------------------------------------------------------------------
    {"dkStartup", In::none, Ty::none, Ty::none, Out::none, Ty::none, 0, kMain, 0,
     "debug kernel start-up; returns"},
    {"dkInitDebug", In::none, Ty::none, Ty::none, Out::none, Ty::none, 0, kMain, 0,
     "debug kernel set-up before premain; returns"},
    {"premain", In::none, Ty::none, Ty::none, Out::none, Ty::none, 0, kMain | kIY | kAlternates, 0,
     "runs the _GLOBAL_INIT chain, then main; returns"},
    {"__xexit", In::c_args, Ty::i16, Ty::none, Out::no_return, Ty::none, 0, 0, 0,
     "ends the program with the stacked code (exit)"},

    // ---- costatements (see CONTRACT.md) --------------------------------------------------------
    {"funcblk_init", In::start_table, Ty::none, Ty::none, Out::behind_table, Ty::none, 0,
     kMain, 0,
     "sets each listed block's status byte (2 run from the top, 3 stopped); the table is "
     "address (2 bytes) and status records ended by three zero bytes"},
    {"funcblk_entry", In::state_block, Ty::address, Ty::none, Out::resume, Ty::none, 0,
     kAF | kB | kDE | kHL, 0,
     "stopped: Z set; to start: marked running, no resume point, Z clear; running: enters the "
     "resume point whose check byte matches (else starts from the top)"},
    {"funcblk_exit", In::state_block, Ty::address, Ty::u8, Out::memory, Ty::none, 0, kF, 0,
     "the status byte = B: 2 to run again from the top, 3 to stay stopped"},
    {"__slice_entry", In::slice_frame, Ty::address, Ty::none, Out::slice_run, Ty::none, 0,
     kAF | kBC | kDE | kHL, 0,
     "notes the exit and its SP in the buffer; stopped: passed over; to start: runs the body from "
     "the top; running: the resume point on its SP (when its check byte matches)"},
    {"__slice_exit", In::state_block, Ty::address, Ty::u8, Out::memory, Ty::none, 0, kF, 0,
     "the status byte = B (2: the slice runs from the top at its next entry)"},
    {"__slice_yield", In::state_block, Ty::address, Ty::none, Out::slice_leave, Ty::none, 0,
     kAF | kDE | kHL, 0,
     "stores the resume point behind the call and leaves the slice"},
    {"__slice_waitfor", In::state_block, Ty::address, Ty::none, Out::slice_leave, Ty::none, 0,
     kAF | kDE | kHL, 0,
     "leaves the slice; its resume point (the waitfor's test) was stored by the compiled code"},
    {"__slice_abort", In::state_block, Ty::address, Ty::none, Out::slice_leave, Ty::none, 0,
     kAF | kDE | kHL, 0,
     "marks the slice to run from the top (status 2) and leaves it"},

    // ---- cofunctions (see CONTRACT.md) ---------------------------------------------------------
    {"cofprolog_", In::cofunction_entry, Ty::none, Ty::none, Out::cofunction, Ty::none, 0,
     kMain | kIX, kErrIndex,
     "sets IX to the instance; starts the body (arguments copied) while the caller's status bit 7 "
     "is set, else resumes it; runs the everytime block; an instance at or above the count: 229"},
    {"cofepilog_", In::cofunction_exit, Ty::u8, Ty::none, Out::cofunction, Ty::none, 0,
     kMain | kAlternates, 0,
     "tells the caller's block what happened (offsets 0, 10, 11); AF' carry: no arguments to "
     "remove, A 0 returned, negative aborted, else positive; exx brings the value back"},
    {"scofprolog_", In::cofunction_entry, Ty::none, Ty::none, Out::cofunction, Ty::none, 0,
     kMain | kIX, kErrIndex,
     "as cofprolog_, the caller's lock byte address stacked under its state block: a free "
     "instance is taken and started, its holder resumes it, another caller's call is not run"},
    {"scofepilog_", In::cofunction_exit, Ty::u8, Ty::none, Out::cofunction, Ty::none, 0,
     kMain | kAlternates, 0,
     "as cofepilog_; a call that returned or was aborted frees the instance"},
    {"__scofabandon", In::abandon_check, Ty::none, Ty::none, Out::none, Ty::none, 0, kMain, 0,
     "marks a held instance not called; one not called since the last loop head is freed, "
     "stopped, and its abandon block run with IX the instance"},
};

// The routine of a name, or null.
// The routines of the Z180 set only (Z180.LIB): what the Vireon set does with an instruction.
// The same conventions; the code generator's Z180 branches call them.
inline constexpr Routine kZ180Routines[] = {
    {"c_mult", In::de_hl, Ty::i16, Ty::i16, Out::hl, Ty::i16, 0, kA | kF, 0,
     "DE * HL, the low 16 bits"},
    {"c_not", In::hl, Ty::i16, Ty::none, Out::truth_hl, Ty::i16, 0, kA | kF, 0, "!HL"},
    {"e_", In::stack2_hl, Ty::i16, Ty::i16, Out::truth_hl, Ty::i16, 2, kA | kF, 0,
     "stacked == HL"},
    {"n_", In::stack2_hl, Ty::i16, Ty::i16, Out::truth_hl, Ty::i16, 2, kA | kF, 0,
     "stacked != HL"},
    {"o_", In::stack2_hl, Ty::i16, Ty::i16, Out::hl, Ty::i16, 2, kA | kF, 0, "stacked | HL"},
    {"a_", In::stack2_hl, Ty::i16, Ty::i16, Out::hl, Ty::i16, 2, kA | kF, 0, "stacked & HL"},
    {"Hc_Bl", In::hl, Ty::u8, Ty::none, Out::bcde, Ty::i32, 0, kF, 0, "zero-extends (L only)"},
    {"Hc_Bg", In::hl, Ty::u8, Ty::none, Out::bcde, Ty::u32, 0, kF, 0, "zero-extends (L only)"},
    {"Hu_Bl", In::hl, Ty::u16, Ty::none, Out::bcde, Ty::i32, 0, kF, 0, "zero-extends"},
    {"Hu_Bg", In::hl, Ty::u16, Ty::none, Out::bcde, Ty::u32, 0, kF, 0, "zero-extends"},
    {"Hi_Bg", In::hl, Ty::i16, Ty::none, Out::bcde, Ty::u32, 0, kF, 0, "sign-extends"},
    {"L__C", In::stack_value, Ty::i32, Ty::none, Out::stack_value, Ty::u8, 0, kF, 0, "low byte"},
    {"L__I", In::stack_value, Ty::i32, Ty::none, Out::stack_value, Ty::i16, 0, kF, 0, "low word"},
    {"L__U", In::stack_value, Ty::i32, Ty::none, Out::stack_value, Ty::u16, 0, kF, 0, "low word"},
    {"G__C", In::stack_value, Ty::u32, Ty::none, Out::stack_value, Ty::u8, 0, kF, 0, "low byte"},
    {"G__I", In::stack_value, Ty::u32, Ty::none, Out::stack_value, Ty::i16, 0, kF, 0, "low word"},
    {"G__U", In::stack_value, Ty::u32, Ty::none, Out::stack_value, Ty::u16, 0, kF, 0, "low word"},
    {"long_0", In::bcde, Ty::i32, Ty::none, Out::zero_flag, Ty::none, 0, kA | kF, 0,
     "Z when BC:DE is 0"},
    {"flt_0", In::bcde, Ty::f32, Ty::none, Out::zero_flag, Ty::none, 0, kA | kF, 0,
     "Z when BC:DE is +0 or -0"},
    {"st4_", In::inline_constant, Ty::u32, Ty::none, Out::memory, Ty::none, 0, kF, 0,
     "the 4 bytes behind the call to (HL)"},
    {"st4_s", In::inline_constant, Ty::u32, Ty::none, Out::memory, Ty::none, 0, kF, 0,
     "as st4_, interrupts held off"},
    {"st4_ss", In::inline_constant, Ty::u32, Ty::none, Out::memory, Ty::none, 0, kF, 0,
     "as st4_, interrupts held off"},
};

constexpr const Routine *find_routine(std::string_view name)
{
    for (const Routine &r : kRoutines)
        if (r.name == name)
            return &r;
    return nullptr;
}

// Bytes a value of the type takes on the stack (a char as 2).
constexpr int stack_size(Ty t)
{
    switch (t) {
    case Ty::i32: case Ty::u32: case Ty::f32: return 4;
    case Ty::u8: case Ty::i16: case Ty::u16: case Ty::address: return 2;
    case Ty::none: return 0;
    }
    return 0;
}

} // namespace runtime
