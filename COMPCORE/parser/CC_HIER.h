// CC_HIER: the one-pass expression parser. A hand-written descent over the text at the lexer's
// input pointer (CC_IN), one routine per precedence level, that fills value nodes (`object`,
// CC_OBJ) and hands every binary operator to the code generator's operator dispatch
// (`gen_binary_operation`, CC_Z80EX), which folds constants (CC_IEXPR) or emits code while the
// text is read. Constant expressions are the same parse whose result node turned out constant.
// Optionally the generated C parser (cparser/) reads the same text first; its tree only gives
// the code generator two hints (a comparison used as a condition, an assignment of a number).
// Diagnostics go through CC_IN's reporters at the current position; the parse goes on after each.
// Called by the statements and declarations, the "#if" conditions and the directives that take
// a constant (CC_IN, CC_DIRECT), and the built-ins of the code generator.
#pragma once

#include "core/CC_OBJ.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class AST;
class CParserSet;

// ---- entries ------------------------------------------------------------------------------------
// `mode` 1: the value is used; 0: the expression is compiled for its effects. `flag` goes to the
// expression flag byte. `lookahead` (with mode 1) asks for the generated parser's tree.

// One assignment expression (no comma operator at the top) into `result`.
object *parse_expression(object *result, uint16_t mode, uint8_t flag, uint8_t lookahead);
// One argument of a call (an assignment expression, its value used). It is a part of the
// expression that holds the call: the hints and the flag of that expression stay, and the stack
// check at the end of an outermost expression leaves it alone (the call's pushes are still
// there).
object *parse_call_argument(object *result);
// A comma list.
object *parse_expression_list(object *result, uint16_t mode, uint8_t flag, uint8_t lookahead);
// A loop or costatement condition: a full expression whose value (not a structure) is loaded
// into the primary registers as an int when `mode` is set or it is not a constant.
void parse_value_expression(uint16_t mode);
// An expression statement: a full expression whose value, unless its outermost operator was an
// assignment, is materialised (loaded; a structure's address into HL, or popped when it lies on
// the stack).
void parse_expression_statement();
// Pops a structure value lying on the stack and marks the node free.
void discard_stack_value(object *node);

// ---- condition jumps ------------------------------------------------------------------------------
// The condition of an "if", a loop or a costatement up to its closing text (")" or ";", reported
// when missing) and one conditional jump on it: taken when the condition is false for
// `condition` 0 and when it is true for 1. A known target close enough behind the jump (on the
// same XPC page) is reached with "jr"; a placeholder (the dummy address) or anything farther with
// an absolute jump. The jump written (opcode 0 when none could be).
struct BranchRecord;
BranchRecord compile_condition_jump(uint32_t target, int condition, const char *closing);

// ---- constant expressions -----------------------------------------------------------------------
// The expression at the input pointer compiled as any other; constant when the result node is.
// Otherwise 427 "Constant expression expected." and 0.

// The low 16 bits of the value; the type and the whole value are kept.
uint16_t parse_constant_expression();
// All 32 bits; the type is kept.
uint32_t parse_long_constant_expression();
// Of the last constant expression read: its type code, and (16-bit entry only) its whole value.
uint16_t last_constant_type();
uint32_t last_constant_value();

// ---- the levels -----------------------------------------------------------------------------------
// Each compiles its level at the input pointer into `node` and returns it. `tree` is the part of
// the look-ahead tree that stands for the text (nullptr without one).
//
//   comma       = assignment { "," assignment }
//   assignment  = conditional [ assignment-operator assignment ]
//   conditional = logical-or [ "?" conditional ":" conditional ]
//   logical-or  = logical-and { "||" logical-and }     ... through "&&" "|" "^" "&"
//   equality    = relational { ( "==" | "!=" ) relational }
//   relational  = shift { ( "<=" | ">=" | "<" | ">" ) shift }
//   shift       = additive { ( "<<" | ">>" ) additive }
//   additive    = multiplicative { ( "+" | "-" ) multiplicative }
//   multiplicative = unary { ( "*" | "/" | "%" ) unary }
object *parse_comma_level(object *node, uint16_t mode, AST *tree);
// The assignment level: the conditional level, and when an assignment operator follows, the
// assignment (`gen_assignment`); the nesting count, and the stack check at the end of an
// outermost expression.
object *parse_assignment(object *node, uint16_t mode, AST *tree);
object *parse_conditional(object *node, AST *tree);
// Levels 0 "||", 1 "&&", 2 "|", 3 "^", 4 "&"; 5 and above is the equality level.
object *parse_logical_level(object *node, int level, AST *tree);
object *parse_equality(object *node, AST *tree);
object *parse_relational(object *node, AST *tree);
object *parse_shift(object *node, AST *tree);
object *parse_additive(object *node, AST *tree);
object *parse_multiplicative(object *node, AST *tree);
//   unary   = ( "++" | "--" ) unary | ( "*" | "&" | "+" | "-" | "~" | "!" ) unary
//           | "(" type-name abstract-declarator ")" unary
//           | "sizeof" ( "(" type-name abstract-declarator ")" | "(" expression ")" | unary )
//           | postfix [ "++" | "--" ]
//   postfix = primary { "[" expression "]" | "." member | "->" member | "(" arguments ")" }
// Constants fold; everything else becomes code as it is read. The declarator context of a
// declaration being read survives a cast or "sizeof" inside it. A call is compiled by CC_CALL;
// "waitfordone" and "waitforfirstdone" by CC_COSTATE; "$" is a web
// reference's new value inside a guard (CC_WEB).
object *parse_unary_expression(object *node, AST *tree);
object *parse_postfix_expression(object *node, uint16_t already_open, AST *tree);

// ---- node operations shared by the levels --------------------------------------------------------

// Removes the first declarator level ("*" and "[]"): 459 when it is neither an array nor a
// pointer (then taken as an array). A constant address is loaded first. The result is an lvalue
// unless it is still an array.
void dereference_node(object *node);
// 1 for an lvalue: a node held in registers as its address, or a stored node (kinds 1, 2, 3, 4
// and 252) that carries the lvalue flag or is a scalar or a pointer. Else 458 and 0.
int require_lvalue(const object *node);
// 1 when an increment or a store can address the operand where it lies (the stored kinds, and
// an automatic one within reach of a short displacement).
int is_directly_addressable(const object *node);
// `op` applied to the node and a fresh int (char) constant through the operator dispatch.
void add_int_constant(const char *op, object *node, int32_t value);
void add_char_constant(const char *op, object *node, int32_t value);
// 1 when the text at the input pointer is a name, "++" or "--", then ")", ";" or the end of the
// text: an increment whose value nobody reads. Consumes nothing.
int is_bare_increment();
// The bare-increment hint: set by a statement whose whole text is such an increment, read and
// cleared by the increment.
void set_bare_increment_hint(bool on);
bool bare_increment_hint();

// The C spelling of a type: the base name ("char", "int", ... "void", "struct" for tags, with
// the tag after it for codes 17 and above), "const " before it when the base is const, and the
// declarator levels from the first: "[]" and "*" ("* const ") put before the text so far, a
// function level "(" before it and ")" after it (")()" after a pointer level). Each call returns
// its own text.
std::string format_type_name(uint16_t type, uint32_t declarator, const char *tag);

// The number of index stubs of indexed cofunction accesses so far in this compile: the call
// that follows an access enters the latest at "cofif_%04x_1" and is sent back to "cofif_%04x_2".
uint16_t cofunction_index_counter();

// The operand of "sizeof" at the input pointer (the word already read): its size as an
// unsigned int constant in `node`, or nullopt after an error. Code is never emitted.
std::optional<uint16_t> parse_sizeof_operand(object *node);
// The bytes of what an evaluated operand of "sizeof" describes (an address made by "&" is 2);
// 0 with 2132 when it has no size (a function, an array without its dimension), 0 with 399
// for a void value.
uint32_t operand_size(const object *node);
// A parenthesised expression, a built-in's name, a name, a number, a character constant or a
// string literal. `already_open`: the caller consumed the "(".
object *parse_primary(object *node, uint16_t already_open, AST *tree);

// ---- what the sizeof type evaluator (CC_SIZEOF) shares with the levels --------------------------

// The node of a name: the local table, then the global one; an unknown name followed by "(" is
// declared as a function returning int, any other unknown name reports 493 and gives the
// unsigned int 0. Enumeration constants are int constants.
object *name_primary(object *node, const char *name);
// The member `name` of the structure type `type` (the local table first), or nullptr.
symbol *find_member(const char *name, uint16_t type);
// The six-bit cofunction instance count a node copied from its symbol.
uint32_t cofunction_instances(const object *node);
// The writable mark of a node (the parser's; a name takes it from its symbol).
void set_writable(object *node);
bool is_writable(const object *node);
// A function name left without a call stands for the function's address (an array level of one
// element in front); 446 for an xmem function that is not "indirect". Without `address_taken`
// (a type is all that is asked) the function is not marked as one whose address is used.
void finish_function_designator(object *node, bool address_taken);
// The closer of a bracket the level opened; a missing one is reported (2051) and taken as read,
// so that the bracket count at the end of the input does not report it again.
void require_closing(char c);
// After a refused nesting: the rest of the operand, brackets and all, up to where the enclosing
// expression can go on.
void skip_operand();
// One level of nesting (a parenthesis, a unary operator, a cast, a subscript) while it lives:
// past the bound (7160, reported once per expression) it is not entered and the level leaves
// its operand unread.
class NestedOperand {
public:
    NestedOperand();
    ~NestedOperand();
    NestedOperand(const NestedOperand &) = delete;
    NestedOperand &operator=(const NestedOperand &) = delete;
    bool entered() const { return m_entered; }

private:
    bool m_entered;
};
// Set once a nesting was refused, until the next expression starts.
bool nesting_refused();

// One binary operator whose text was consumed: the right operand by `next`, then the dispatch;
// the left operand waits as the pending value unless the operator is commutative and the left is
// not held in registers.
using LevelRoutine = object *(*)(object *node, AST *tree);
void binary_step(const char *op, LevelRoutine next, object *left, AST *tree);

// ---- assignment ------------------------------------------------------------------------------------
//   assignment-operator = "=" | "*=" | "/=" | "%=" | "+=" | "-=" | "<<=" | ">>=" | "&=" | "^=" | "|="

// One assignment whose operator was consumed (`op`: the operator part of a compound one, empty
// for "="): the target must be an lvalue (458); the right side is compiled (assignments group to
// the right) and combined with the target for a compound operator (folded where the operator
// allows); the types are checked; a target that is not writable reports 442 unless it is reached
// through a pointer. Then the store: with `mode` 0 a constant is stored as it is; otherwise the
// value, converted to the target's type, from the primary registers, where it stays. An equal-
// sized structure is copied byte by byte; a structure against anything else is stored nowhere.
// With run-time pointer checks a store through an address held in HL is checked first. More
// than 100 assignments open inside one another are refused. Returns the target, which holds the
// assignment's value.
object *gen_assignment(object *target, const char *op, uint16_t mode, AST *tree);
// The right operand of a compound assignment: the assignment level with its value used.
object *parse_assignment_value(object *node, AST *tree);

// Mismatch classes of an assignment.
enum : int {
    kAssignCompatible = 0,
    kAssignStructure = 1,     // a structure and anything else, or two structures of other tags
    kAssignLevels = 2,        // one type with other declarator levels (array and pointer match)
    kAssignVoid = 3,          // a void object
    kAssignScalarPointer = 4, // other scalar types, one of them with a declarator level
};
// The class of storing a value of one type (code, declarator word) into a target of another.
// Two pointers (or arrays) always match when either points to void or the pointer type check of
// the compiler options is off; const flags are never compared.
int classify_assignment(int32_t target_type, int32_t value_type, uint32_t target_word,
                        uint32_t value_word);
// Reports a mismatch class: 436 and 437 (value's type, then the target's) and 519 (target's,
// then the value's) as trivial warnings, 438 as an error; nothing for class 0.
void report_assignment_mismatch(int mismatch, const object *target, const object *value);

// The run-time check of a store whose address is in HL, against the write-permission table
// (the start-up layout's page map): "bound_e" is called for a page that may not be written.
// Vireon set only; on the Z180 nothing is emitted.
void gen_pointer_check();
// The program-wide switch of the run-time pointer check (on until set otherwise). The check runs
// only while it is on, the item is compiled with the checks and with debug code, and the store
// is not to a named variable.
void set_pointer_checking(bool on);
bool pointer_checking();

// The length (2 or 3) of a compound assignment operator at the input pointer, else 0.
int compound_assignment_length();
// The operator characters before the "=" of a compound assignment at the input pointer ("%",
// "&", "*", "+", "-", "/", "^", "|", "<<", ">>") copied into `buffer` (room for 3); their count.
// Consumes nothing.
int scan_operator_chars(char *buffer);
// An assignment operator at the input pointer, consumed: 1, with the operator part of a compound
// one in `buffer` (empty for "="); 0 and nothing consumed when there is none.
int scan_assignment_operator(char *buffer);
// "++" or "--" at the input pointer, consumed: "+" or "-"; nullptr and nothing consumed.
const char *scan_increment_operator();
// Skips the input after an expression error, up to where the parse can go on: a ";", ",", ")",
// "]" or "}" (not consumed), or the end of the line.
void error_recovery();

// Code compiled while one of these lives (and `active`) is thrown away: nothing of it leaves the
// caches, its label references record nothing, and the code cache and the stack offset go back to
// where they were. A value waiting in the registers is pushed first, for real: a push inside the
// discarded code would be gone while the value is taken for stacked. Used for the operand that a
// constant left operand of "||" or "&&" already decided, and for the constants of directives.
class EmitCache;
class DiscardedCode {
public:
    explicit DiscardedCode(bool active = true);
    ~DiscardedCode();
    DiscardedCode(const DiscardedCode &) = delete;
    DiscardedCode &operator=(const DiscardedCode &) = delete;

private:
    bool m_active;
    EmitCache *m_cache = nullptr;
    uint32_t m_start = 0;
    int16_t m_stack = 0;
};

// ---- built-in functions ---------------------------------------------------------------------------

// True (the name consumed) when the name stands at the input pointer followed by "(", is no local
// name, and is a global function that was declared and never defined; else nothing is consumed.
bool is_builtin_call(const char *name);
// The code of the built-in whose name stands at the input pointer (consumed), else 0:
//   1 "CofuncMaxInstance"; 4 "BIT"/"bit"; 5 "SET"/"set"; 6 "RES"/"res";
//   with the built-in I/O option: 32 "WrPortI", 33 "RdPortI", 34 "BitRdPortI", 35 "BitWrPortI";
//   on the processor with "ipset": 17 "ipset", 18 "ipres".
// The postfix level hands a node that carries the code to `compile_builtin_call`.
int builtin_function_code();
// Compiles the built-in whose code the node carries (the code is cleared) at the input pointer
// and makes the node its value: "CofuncMaxInstance" an int constant; the bit and port built-ins
// (CC_Z80BLT, CC_Z80PIO) a value in the registers, their arguments first read once as a check
// whose code is thrown away (668 when it made any), then read again for the expansion (none
// when their number is wrong);
// "ipset"/"ipres" the instruction. False, with nothing read, when no "(" follows.
bool compile_builtin_call(object *node);
// The checking pass of a bit or port built-in at its "(": the arguments against the prototype
// named for the code ("bit", "set", "res", "WrPortI", ...; 2154 when it or its parameter list is
// missing and prototypes are checked), and their number against the built-in's (2155). True
// when the number is right.
bool check_builtin_arguments(object *node, int code);

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

// Set when the outermost operator of the last assignment level was an assignment.
bool last_was_assignment();

// The end of every outermost expression checks the temporary stack: the code generator's stack
// offset must be minus (the function's own allowance plus a structure value the expression leaves
// on the stack); the first pending stack adjustment must not be negative. A mismatch is an error
// (660, 661) and is corrected. A load or store that leaves the stack as it cannot tell asks for a
// reset instead of the check.
void request_stack_tracking_reset();
// 2 while the function being compiled keeps 2 bytes on the stack below every expression; the
// automatics of the nested blocks open at the statement add theirs.
void set_expression_stack_allowance(uint16_t bytes);
uint16_t expression_stack_allowance();

// The comparison hint: the whole expression is one comparison whose value is only needed as a
// condition. The assignment hint: the expression is a simple assignment of a number.
bool comparison_hint();
bool assignment_hint();
// Whether a comparison compiled now, and the jump on the condition's value after it, work on the
// flags alone: under the comparison hint, for the comparison at the top of the condition (not
// one nested in parentheses or serving as another operator's operand).
bool condition_flag_tracking();
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
    kMsgExprNotConstant = 427,
    kMsgExprTemporaryStack = 660,
    kMsgExprAutomaticStack = 661,
    kMsgExprTooDeep = 7160,
    kMsgExprNotBuilt = 7161,
    kMsgExprMissingCharacter = 2051,
    kMsgExprReadOnly = 442,
    kMsgExprTooManyDimensions = 444,
    kMsgExprXmemFunction = 446,
    kMsgExprCannotSubscript = 447,
    kMsgExprIndexOutOfBounds = 448,
    kMsgExprBadStructReference = 449,
    kMsgExprNeedLvalue = 458,
    kMsgExprNeedFunction = 445,
    kMsgExprBuiltinCode = 668,
    kMsgExprCofuncMaxInstance = 2016,
    kMsgExprBuiltinPrototype = 2154,
    kMsgExprBuiltinArguments = 2155,
    kMsgExprNotAPointer = 459,
    kMsgExprIndexedSimpleCofunc = 2017,
    kMsgExprSimpleIndexedCofunc = 2018,
    kMsgExprSizeUnknown = 2132,
    kMsgExprSizeTooLarge = 2148,
};

// Message ids of the assignment level.
enum : uint32_t {
    kMsgAssignStructType = 436,
    kMsgAssignTypeMismatch = 437,
    kMsgAssignVoid = 438,
    kMsgAssignStructSize = 439,
    kMsgAssignIncompatible = 519,
    kMsgAssignCofunction = 2103,
    kMsgAssignChainTooLong = 7175,
};
