// CC_COSTATE: the cooperative-multitasking statements of function bodies (part of the
// function-definition compiler, CC_PARSE): "costate" (also "funcblk"), "slice", "waitfor",
// "yield", "abort" and "waitfordone", the epilogue and prologue of cofunctions with their
// "everytime" and "abandon" blocks, and the start-up table that sets every costatement's state
// block before main runs.
//
// Each costatement, slice and cofunction instance owns a state block of the library type
// "FuncBlk" (COSTATE.LIB); the generated code keeps its resume point there and calls the runtime
// routines of that library, whose protocol is written down beside them. Offsets the compiler
// writes: 0 the status, 1-2 the resume address, 3 its XPC page, 4 the check byte (the exclusive
// or of the three bytes before it), 5 set to 1 by a waitfor, 10 the value of a waitfordone.
#pragma once

#include "core/CC_ADDR.h"

#include <cstdint>

struct object;
struct symbol;

// Start of every compile: no context, an empty record table, the waitfordone state cleared.
void init_costate_tables();

// The statements, each after its keyword was read. `kind` 0 a costatement, 1 a slice (whose
// header gave `state_address`). They return the statement kind of CC_PARSE.
int parse_costate_statement(int kind, ADDR24 state_address);
int parse_slice_statement();
int parse_waitfor_statement();
int parse_yield_statement();
int parse_abort_statement();

// "waitfordone" (or "waitforfirstdone") at the unary level, the keyword read: leaves the int
// value of the construct in the primary registers and marks `result` so. `assignment` 1: a
// call's assignment form jumps straight to the construct's end once it assigned.
void parse_waitfordone(object *result, int assignment);

// Loads the current context's state block address into HL; false (reported) without one.
bool load_state_block_address();
// Writes `count` bytes at `offset` of the current state block.
void store_state_bytes(int offset, int count, const uint8_t *bytes);
// Writes a resume point (address + 1 with `cofunction`, and the waitfor byte with `waitfor`);
// 0 (reported with the construct's name) when no costatement, slice or cofunction encloses it.
int store_resume_point(const char *construct, ADDR24 address, bool cofunction, bool waitfor);

// Inside the "everytime" block of a cofunction: return, yield, abort, waitfor, waitfordone and
// goto are refused there. True after reporting.
bool refuse_in_everytime();

// Whether the function being compiled is a cofunction ("cofunc", "scofunc").
bool compiling_cofunction();

// ---- cofunction definitions (called by CC_PARSE while it compiles a cofunction's body) --------
// A cofunction instance: its automatics, 4 bytes the runtime keeps, its parameters, 2 spare
// bytes and its state block (the last 13 of its 19 extra bytes). IX points at the 4 bytes while
// the body runs, so automatics lie below IX and parameters from IX+4.

// Start of a cofunction's body, its flag word given (instance count, single-user bit).
void begin_cofunction(uint32_t flag_word);
// "everytime" and "abandon" blocks in front of the body's statements (compiled in root code,
// ended by "ret"); true when one was read.
bool parse_cofunction_segment();
// The instances' data, zeroed, and the descriptor the runtime reads; false (reported) when the
// instances do not fit in the data area. An indexed cofunction's are placed at its end, once
// its blocks' automatics are known (`end_cofunction`).
bool place_cofunction_instances(uint16_t automatic_bytes, uint16_t parameter_bytes);
// The prologue at the function's address: "push ix", the room of the frame, the everytime and
// descriptor words, the call of "cofprolog_" ("scofprolog_") and "jp cofr%04lx".
void gen_cofunction_prologue(bool xmem);
// The epilogue at the first return; every later return jumps to it.
void gen_cofunction_epilogue(bool single_user);
// End of the body: the context and record pointers of before.
void end_cofunction();
// An automatic variable of a nested block inside a cofunction: the stack does not outlive a
// yield. In a simple cofunction (one instance) the variable gets storage of its own (true);
// in an indexed one it stays an automatic, lying in each instance below the function's own
// (false), and the instances grow by the deepest blocks' bytes (`note_cofunction_block_bytes`).
bool place_cofunction_block_variable(symbol *variable);
// Inside a costatement (not a slice, which keeps a stack of its own, nor a cofunction): a
// suspended costatement resumes at the function's own stack depth, so a nested block's
// automatics cannot lie on the stack across a yield or waitfor; they get storage of their own
// (`place_cofunction_block_variable`).
bool costatement_block();
void note_cofunction_block_bytes(uint16_t bytes);

// ---- the start-up table ------------------------------------------------------------------------

// Whether any costatement or shared cofunction needs its block set at start-up.
bool costate_records_pending();
// Writes the call of "funcblk_init" with its table (called while "_GLOBAL_INIT" is written).
void emit_funcblk_init_table();

// Messages.
enum : uint32_t {
    kMsgCoNoEnclosing = 481,        // "No enclosing costate, construct %s not valid."
    kMsgCoDataSpace = 407,          // "Insufficent free memory for declarations."
    kMsgCoCloseParen = 2006,        // "')' expected."
    kMsgCoExpectsSemicolon = 7817,  // "Expects ';'."
    kMsgCoSliceTooSmall = 7838,
    kMsgCoIndexedCofunction = 7840,
    kMsgCoReservedName = 7841,
    kMsgCoNoCoData = 7842,
    kMsgCoCannotBeLocal = 7843,
    kMsgCoArrayName = 7844,
    kMsgCoTooManyCalls = 7176,  // "Too many calls in one waitfordone. ..." (the limit, %d)
    kMsgCoNotOfType = 7845,
    kMsgCoShouldBeVariable = 7846,
    kMsgCoUnknownSymbol = 7847,
    kMsgCoOpenParen = 7848,
    kMsgCoBufferSize = 7849,
    kMsgCoStaticBuffer = 7850,
    kMsgCoComma = 7851,
    kMsgCoInEverytime = 7852,
    kMsgCoCloseBrace = 7853,
    kMsgCoSecondEverytime = 7854,
    kMsgCoSecondAbandon = 7855,
    kMsgCoUndefinedSymbol = 7856,
    kMsgCoNotCofunction = 7857,
    kMsgCoInvalidBlock = 7858,
};
