#define BIG 0x10000
#define NEG -1
#if 10 / 0
division_by_zero_is_active
#endif
#if 1 ? 1 : 0
conditional_not_taken
#else
conditional_is_no_constant
#endif
#if NOPE
undeclared_not_taken
#else
undeclared_is_zero
#endif
#if BIG
all_32_bits_count
#endif
#if 70000 == 4464
not_taken
#elif 70000 > 65535
long_constants_compare_whole
#endif
#if 08
not_taken
#else
octal_digit_8_reported
#endif
#if 1 $ 0
stray_character_reported
#endif
#if 1 +
operand_missing
#endif
#if NEG < 0 && !0 && ~0 == NEG && -8 >> 1 == -4
signs_and_unary_operators
#endif
#if 2 * (3 + 4) == 14 && 7 % 4 == 3 && 1 << 4 == 16 && (6 & 3 | 8) == 10 && (5 ^ 1) == 4
arithmetic_and_bitwise
#endif
#if 0xFFFF > 0 && 0x8000 > 0 && 65535U == 0xFFFF
unsigned_constants
#endif
#if 'a' == 97 && '\x41' == 65 && '\101' == 65 && '\B101' == 5
character_constants
#endif
#if 0 || 0
not_taken
#elif 1 && 2
logical_operators_give_truth
#endif
#if "text"
not_taken
#else
string_is_no_constant
#endif
#if (1
unclosed_parenthesis
#endif
#if 0.0
not_taken
#elif 2.5 > 2
floating_constants
#endif
