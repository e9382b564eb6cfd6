// CC_HIER: the one-pass expression parser. A hand-written descent over the text at the lexer's
// input pointer (CC_IN), one routine per precedence level, that fills value nodes (`object`,
// CC_OBJ) and hands every binary operator to the code generator's operator dispatch, which folds
// constants or emits code while the text is read. Constant expressions are the same parse whose
// result node turned out constant.
// This file holds the bottom of the descent: numbers, character constants, escapes, string
// literals and the literal pool; and the bundle that runs the generated C parser (cparser/) over
// the same text for its look-ahead tree, the hints the code generator reads, and the expression
// state that other units read (the automatic-reference count, the condition-inversion count).
// Diagnostics go through CC_IN's reporters at the current position; the parse goes on after each.
#pragma once

#include "CC_OBJ.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class AST;
class CParserSet;

// ---- characters ---------------------------------------------------------------------------------

// "a" to "z" become "A" to "Z"; anything else is returned unchanged.
char to_upper_char(char c);
// A decimal digit, or a letter A to F in either case.
bool is_number_digit(char c);
// 0 to 9 for a decimal digit, else the upper-cased letter minus 55 (so "A" is 10).
int digit_value(char c);

// ---- numbers and character constants ------------------------------------------------------------
// Each consumes what it reads (noting brackets, advancing the column) and fills the node with a
// constant: kind 0, the type by the number's form and suffix (1 char, 2 int, 3 unsigned int,
// 4 long, 5 unsigned long, 7 float holding its single-precision bits).
//
//   number    = digits [ suffix ] | "0" ( "x" | "X" ) hexdigits [ suffix ]
//             | digits "." digits [ exponent ] | "." digits [ exponent ] | digits exponent
//   suffix    = "F" | "L" [ "U" ] | "U" [ "L" ]          (either case)
//   exponent  = ( "e" | "E" ) [ "+" | "-" ] digits
//   character = "'" char-or-escape "'"

// A number or a character constant: 1 when one was read, else 0 (nothing consumed).
int scan_number_or_char(object *node);
// 0 when the input holds neither a digit nor ".".
int scan_number(object *node);
// 0 when the input holds no "'".
int scan_char_constant(object *node);
// The digits at the input pointer appended to the number text being read; returns the first
// character that is not a digit.
char scan_digits();
// One character of a character constant or string literal with its escape resolved, consumed.
// At the end of the text: 0, nothing consumed.
//   "\" letter: the escape table (a b f n r t v as in C, "u" gives "x", other letters themselves)
//   "\" digit {digit}: octal, at most four digits, 8 bits kept (454 for 8 and 9)
//   "\x" hex [hex] (2021 without one), "\B" binary digits (2022 without one)
char parse_char_escape();

// ---- string literals and the literal pool ---------------------------------------------------------

// Reads literal text up to `delimiter` (0: up to the next blank) or the end of the line into
// `out`, escapes resolved, and consumes the closing delimiter. At most `size` - 1 bytes are kept:
// the rest of a longer text is read and dropped with the serious warning 455. Brackets inside
// are not noted. Returns the bytes kept.
std::size_t read_literal_text(std::string &out, std::size_t size, char delimiter);

// The longest literal: a literal's length plus its terminating zero must fit a signed 16-bit
// size. Longer ones are cut to this with 455.
inline constexpr std::size_t kMaxLiteralLength = 32766;

// A string literal at the input pointer: 0 when the input holds no double quote, else the
// literal's length plus one. The node becomes a char array of that dimension, with its own copy
// of the text (`object::literal`, `literal_length`) and its "__STR" label (`object::name`):
//   - without `pool`: a constant char array under a fresh label (the caller places the text);
//   - with `pool`, in a program compile: a static char array whose label names the pooled copy
//     that the code generator writes into the constant area (`output_pending_stubs`); with
//     "String Literal Optimization" on, equal texts (every byte, zeros included) share one entry.
uint16_t parse_string_literal(object *node, bool pool);
// The text of the last string literal read (escapes resolved; it may hold zero bytes).
const std::string &current_literal();
// The length of a literal node's text (0 for any other node).
uint16_t literal_length(const object *node);

// ---- the generated parser's look-ahead tree --------------------------------------------------------

// The five objects through which an expression entry runs the generated lexer and parser over
// the text at the input pointer: string input, lexer, token template, token buffer, parser
// (`CParserSet`). While it lives it is the current parser set, and the previous one is current
// again when it ends, also when an exception ends it; its destructor frees all five.
class StringParserBlackBox {
public:
    StringParserBlackBox();
    ~StringParserBlackBox();
    StringParserBlackBox(const StringParserBlackBox &) = delete;
    StringParserBlackBox &operator=(const StringParserBlackBox &) = delete;

    // The tree of the expression that starts at `text`, or nullptr when the generated parser
    // found none (the parse never moves the input pointer). Valid until the next parse or the
    // end of the bundle.
    AST *parse(const char *text);
    CParserSet &set() { return *m_set; }

private:
    std::unique_ptr<CParserSet> m_set;
    CParserSet *m_previous = nullptr;
};

// True when the tree's top token is a comparison ("==" "!=" "<" ">" "<=" ">=").
bool is_comparison_tree(const AST *tree);

// ---- expression state read by other units --------------------------------------------------------

// The comparison hint: the whole expression is one comparison whose value is only needed as a
// condition. The assignment hint: the expression is a simple assignment of a number.
bool comparison_hint();
bool assignment_hint();
// Assignment levels open right now (0 between expressions).
uint16_t expression_nesting_count();

// The condition-inversion count: -1 while a condition is compiled until its first operator is
// read, 0 otherwise. The emit caches make no room reservations while it is -1.
int16_t condition_inversion_count();
void set_condition_inversion_count(int16_t count);

// Goes from 0 to 1 the first time in a compile that an automatic variable is referred to.
uint16_t automatic_reference_count();
// While set, a reference to an automatic variable reports 451 (the function-definition parser
// sets it while no frame exists).
void block_auto_references(bool blocked);

// The expression flag byte: set by `parse_expression` from its flag argument; with it set a
// string literal is not pooled (the extended-data declarations place their own text).
uint8_t expression_flag();

// Start of every compile: empties the literal pool and the literal copies, clears the counts,
// hints and flags.
void reset_expression_parser();

// Message ids of this unit.
enum : uint32_t {
    kMsgExprAutoNotAllowed = 451,
    kMsgExprInvalid = 452,
    kMsgExprFloatRange = 453,
    kMsgExprNotOctal = 454,
    kMsgExprLiteralCut = 455,
    kMsgExprNotDeclared = 493,
    kMsgExprNotAName = 520,
    kMsgExprBadHex = 2021,
    kMsgExprBadBinary = 2022,
    kMsgExprMissingCharacter = 2051,
};
