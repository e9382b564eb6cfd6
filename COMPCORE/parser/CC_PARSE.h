// CC_PARSE: function definitions and the statements of their bodies.
// A function declarator at global scope comes here from the declaration parser (CC_DEFINE,
// through SEAM_DECL's `FunctionDefinitionSeam`): the function is entered or checked, its
// prototype recorded or compared, and a body is compiled statement by statement straight into
// code (there is no statement tree): prologue, statements, the one epilogue every return reaches,
// the root entry stub of an xmem function, a function record for the debugger and its map entry.
// Forward jumps go out with the dummy address and are patched once their target is known.
// Conditions are compiled by `compile_condition_jump` (CC_HIER); expressions by CC_HIER; frames
// and returns by the code generator (CC_Z80FUNC). The C statements inside "#asm" blocks come here
// through the block reader (`set_c_statement_compiler`).
#pragma once

#include "core/CC_ADDR.h"

#include <cstdint>
#include <string>
#include <vector>

struct object;
struct symbol;

// ---- function definitions ---------------------------------------------------------------------

// Placement codes of `parse_function_definition`.
enum : int { kFnPlaceRoot = 0, kFnPlaceXmem = 2, kFnPlaceNone = 128 };

// The declarator just read names a function (CC_DECLR `declarator_result`). `list_follows` 2:
// the parameter list starts at the input pointer. `kind`: the storage class of the symbol (3 is
// entered as 254). Returns 0 for a declaration without a body that declares parameters (or has no
// list at all), 1 otherwise; a body is compiled before it returns.
int parse_function_definition(int list_follows, int32_t return_type, int kind, int placement);

// Records the prototype of a function that has none, or compares the parameters declared now
// (the first `parameter_count` local symbols) with it. Non-zero when the declaration is unusable.
// `new_style`: the parameters were typed inside the parentheses.
int check_prototype(int parameter_count, bool new_style, symbol *function, bool has_body);

// One argument of a call checked against a prototype without leaving code: reads the argument
// expression into `value` (its code thrown away unless `no_code` says there is none to throw),
// and with a prototype (`list` non-zero) checks it against the entry counted from the end
// (arguments are read last first). 1 when the argument list is already at its end, else 0.
int check_call_argument(uint16_t list, int argument_index, int entry_count, object *value,
                        bool no_code);

// Gives every parameter its frame offset and every automatic variable its final one, and leaves
// the debugger's local-variable records ("function:name").
void assign_parameter_offsets();
// A place on the stack, `offset` bytes from the frame's bottom as the stack depth counts it (a
// value a call left there): its frame offset as a local's, IX-relative in an IX frame.
int32_t frame_offset_of_stack_place(int32_t offset);

// The frame offset of the first parameter of the function being compiled: 2 for root functions
// and cofunctions; an xmem function 2 + 3 (Vireon) or 2 + 4 (Z180) called through its entry
// stub, 3 and 4 under the root-stub option; plus 2 with an IX frame.
int first_parameter_offset();

// The root entry stub of an xmem function (or of one asking for a stub): a long call and a
// return (Vireon), the restart form (Z180), or under the root-stub option the lines that move
// the return address above the caller's XPC.
void gen_xmem_call_stub(symbol *function);

// "GLOBAL" outside any function.
const std::string &current_function_name();
// Function definitions open right now (0 at top level).
int function_nesting();
// Function bodies compiled since the compile started.
int compiled_function_count();

// One parameter entry of a prototype: passing class, type code, declarator word.
struct PrototypeEntry {
    uint8_t passing = 0;  // 2 word-sized, 4 long, 253 other; 254 "..." ends, 255 ends
    uint16_t type = 0;
    uint32_t word = 0;
};
// The list of a function (up to and with its terminator); empty when none was recorded.
std::vector<PrototypeEntry> function_prototype(const char *name);
// Start of the list of a function; 0 when none.
uint16_t prototype_offset(const char *name);
// The declaration flags a function keeps from its first declaration (CC_DECLR: "Typed",
// "firsttime", the cofunction instance count, "scofunc", "__lcall__"); 0 for an unknown name.
uint32_t function_flag_word(const char *name);

// What the debugger's watch lookup finds of a local variable: "function:name", its frame offset
// (raised by the automatic bytes when the function has no IX frame: then it counts from SP), the
// source file and whether the function keeps an IX frame.
struct LocalVariableRecord {
    std::string name;
    int16_t offset = 0;
    int32_t type = 0;
    uint32_t word = 0;
    std::string file;
    bool ix_frame = false;
};
const std::vector<LocalVariableRecord> &local_variable_records();

// A web guard: an int function without declared parameters whose body is the expression at the
// input pointer (its "(" consumed; the closing ")" is left to the caller), returned as an int.
// With `wildcard` the function takes one int parameter, named "@" (the wildcard's index the
// library passes). Placed as the item's placement says, with debug code when `debug` asks for
// it. Returns the address callers enter it at: its root entry stub when it lies in xmem.
ADDR24 compile_web_guard(bool debug, bool wildcard);

// ---- watch expressions ---------------------------------------------------------------------------
// A watch compile reads one line, "dkDoWatchExpression(expr);". Its code, in the watch-code area,
// evaluates the expression where the program stopped and calls the debug kernel's
// dkDoWatchExpression with the 12-byte result block (word 0, type code, declarator word, value)
// as its arguments; the routine returns HL at the block.

// The function whose locals (recorded by the program's compile) the next watch expression may
// read; empty: globals only.
void set_watch_scope(const std::string &function);
// The top-level parser's entry after the name: compiles the call and its function.
void compile_watch_expression();
// Of the last watch compile: 0 no watch call compiled, 1 only globals read, 2 a local of the
// scope function read.
int watch_expression_result();
void reset_watch_expression_result();

// ---- statements -------------------------------------------------------------------------------

// The kind of a statement: what ended it.
enum StatementKind : int {
    kStatementEnd = 0,       // the input ended
    kStatementOrdinary = 2,
    kStatementReturn = 3,    // a return
    kStatementJump = 4,      // goto, break or continue
};

int parse_statement();
// After its "{": the statements up to the closing "}". The last statement's kind.
int parse_compound_statement();
void expect_semicolon();
int parse_if_statement();
// mode 0 while, 1 for (the form with debug hooks), 2 do.
int parse_loop_statement(int mode);
// The for statement without debug hooks: condition and increment are compiled again after the
// body from their saved text.
int parse_for_statement();
int parse_switch_statement();
void parse_case_label();
void parse_default_label();
// 1 when a label was defined at the input pointer; else 0 with the input untouched.
int parse_label_definition();
int parse_goto_statement();
// `is_break` 1 break, 0 continue. Returns 4.
int parse_break_continue(int is_break);
// `explicit_return` 0: the implicit return at the end of a body.
int parse_return_statement(int explicit_return);

// Bytes a statement pushed before its body and drops behind it (a slice's context words): while
// the body is compiled they count as held by a block, so a jump out of the body releases them
// and the body's expressions find the automatics below them. `hold_statement_bytes` is called
// after the pushes; `release_statement_bytes` emits the drop where the statement ends.
struct HeldStatementBytes {
    uint16_t bytes = 0;
    uint16_t outer_block = 0;
    uint16_t outer_allowance = 0;
};
HeldStatementBytes hold_statement_bytes(uint16_t bytes);
void release_statement_bytes(const HeldStatementBytes &held);

// Limits of one compile.
inline constexpr int kMaxCases = 4096;
inline constexpr int kMaxBreaks = 512;     // pending breaks, and (apart) pending continues

// ---- the compile around it ------------------------------------------------------------------------

// Start of every compile: a BIOS compile begins with an empty prototype area and no local-variable
// records; a program compile with those the BIOS compile left.
void reset_function_parser(bool bios_compile);
// End of a BIOS compile's parse: what a program compile starts from.
void save_function_parser_state();
// No BIOS state: a program compile starts from nothing.
void forget_function_parser_state();
// The function-definition compiler as the declaration parser reaches it (SEAM_DECL).
class FunctionDefinitionSeam;
FunctionDefinitionSeam &function_definition_compiler();
// Installs the function context the code generator, the statement marks and the "#asm" block
// reader read (at compiler start-up).
void install_function_parser();

// Message ids of this unit.
enum : uint32_t {
    kMsgParseMisplacedCase = 7800,
    kMsgParseDuplicateCase = 7801,
    kMsgParseCaseTooWide = 7802,
    kMsgParseSecondDefault = 7803,
    kMsgParseBadGotoLabel = 7804,
    kMsgParseShouldReturn = 7805,
    kMsgParseVoidReturns = 7806,
    kMsgParseInvalidArgumentName = 7807,
    kMsgParseXmemInAsm = 7808,
    kMsgParseTooManyCases = 7809,
    kMsgParseTooManyBreaks = 7810,
    kMsgParseTooManyPrototypes = 7811,
    kMsgParseParameterDiffers = 7812,
    kMsgParsePrototypeDiffers = 7813,
    kMsgParseMemmapPrefix = 7814,
    kMsgParseNotTyped = 7815,
    kMsgParseOldStyleCofunction = 7816,
    kMsgParseExpectsSemicolon = 7817,
    kMsgParseIsrParameters = 7818,
    kMsgParseTemporariesLeft = 7819,
    kMsgParseTemporariesRemoved = 7820,
    kMsgParseVoidArgumentList = 7821,
    kMsgParseWrongParameterType = 7822,
    kMsgParseWrongParameterModifier = 7823,
    kMsgParseVoidParameter = 7824,
    kMsgParseReturnIncompatible = 7825,
    kMsgParseIsrReturnsValue = 7826,
    kMsgParseNotStructFunction = 7827,
    kMsgParseVarargsStruct = 7828,
    kMsgParsePrecompilingDebug = 7829,
    kMsgParseOpenAtEnd = 7831,
    kMsgParseStatementsTooDeep = 7832,
};

// Statements open inside one another at most (blocks, branches, loops, costatements): the
// parser descends once per level, so a deeper program is stopped with 7832 before the stack is.
inline constexpr int kMaxStatementNesting = 256;
