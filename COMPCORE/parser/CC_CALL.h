// CC_CALL: function and cofunction calls. When the postfix level of the expression compiler
// (CC_HIER) has read a function (or a value that points to one) and the "(" behind it, the call
// is compiled here: the space of a structure result, the arguments read in reverse order from
// the reversed argument text (CC_ARGREV) so that the last is pushed first, their checks and
// conversions against the callee's prototype (CC_PARSE), the call itself, and the release of
// what was pushed. Calls of cofunctions get the words the cofunction runtime reads; names
// beginning with "FPUSH" or "FNULL" only push their arguments.
//
// Calling convention: the caller reserves a structure result first, pushes the arguments last to
// first, each at least 2 bytes (a char as 2), calls, and removes the pushed bytes afterwards
// while the result stays in the primary registers (HL, or BC:DE for 4-byte values). A structure
// result is left on the stack where the caller reserved it.
#pragma once

#include "core/CC_ADDR.h"
#include "CC_PARSE.h"

#include <cstdint>
#include <functional>
#include <vector>

struct object;
struct symbol;

// Compiles a call: `callee` is the called node, the input stands just behind the "(". Kinds:
// 1, 3, 252 a function called by name; 254 a function pointer already pushed; 255 a function
// pointer in the primary registers; any other a function pointer variable. The node is left as
// it was; the caller makes it the result.
void gen_function_call(object *callee);

// The callee's prototype (its parameter entries up to and with the terminator) after the count
// of the list just reversed was checked against it: 715 for too many arguments (unless the list
// is variadic; the arguments then go unchecked: nothing is returned), 716 for too few. Empty
// without a prototype (no function record, or a pointer already pushed when not pushing).
std::vector<PrototypeEntry> checked_prototype(object *callee, bool push);

// Checks the argument count against the callee's prototype (715, 716), then reads (and with
// `push` pushes) the arguments; the new count of bytes pushed. Without `push` the arguments are
// read and checked only: nothing of them is loaded or pushed.
uint16_t push_call_arguments(object *callee, uint16_t pushed, object *node, bool push);

// The argument loop over the reversed text up to its ")" (492 when another character stands
// there). `prototype`: the callee's parameter entries up to and with the terminator (empty: no
// prototype). Adds each argument's bytes to `bytes`; returns the number of arguments read.
int push_argument_list(const std::vector<PrototypeEntry> &prototype, object *callee, object *node,
                       uint16_t &bytes, bool push);

// Converts one argument to its parameter's type (`entry` null: no parameter to convert to) and,
// when pushing, loads it; the compatibility class of the argument with the parameter (0, 2 or 4
// are converted; -1 without a parameter).
int convert_argument(object *node, const PrototypeEntry *entry, bool push);

// 716 "Insufficient arguments." (while prototype checks are on) when fewer arguments than
// parameters were given.
void check_argument_count(int arguments, int parameters);

// The call of a function by name (nothing for "FPUSH..." and "FNULL...", whose result flag is
// then 0). `known`: the function's address, or the dummy address. A function in xmem is called
// through its root entry stub. `counter` gains the bytes pushed for a "firsttime" function.
// Returns the result flag (1 a call was made).
int emit_call_instruction(const char *name, uint16_t &counter, ADDR24 known,
                          const symbol *function);

// ---- what the waitfordone statement hands to the calls inside it -------------------------------
// The cofunction calls of one "waitfordone" statement: its header address (the dummy address
// outside any such statement), the index of the call inside it, the lock bytes of its shared
// cofunctions and the jump the statement completes.
struct WaitfordoneCalls {
    ADDR24 header = kDummyAddress;
    int index = 0;
    uint32_t lock_address = 0;
    int lock_count = 0;
    uint32_t pending_jump = 0;  // operand address of the open "jp nz" of a shared cofunction
};
WaitfordoneCalls &waitfordone_calls();

// Loads the address of the enclosing costatement's or cofunction's context into HL. The
// costatement compiler installs the loader; without one there is no enclosing context: 636.
void set_cofunction_context_loader(std::function<bool()> loader);
void load_cofunction_context();

// Start of every compile.
void reset_call_state();

enum : uint32_t {
    kMsgCallNeedFunction = 445,      // "Need a function call."
    kMsgCallNoCostate = 481,         // "No enclosing costate, construct %s not valid."
    kMsgCallInvalid = 488,           // "Invalid function call."
    kMsgCallMissing = 492,           // "%s is missing/expected."
    kMsgCallNoContext = 636,
    kMsgCallTooManyArguments = 715,  // "Too many arguments versus prototype."
    kMsgCallTooFewArguments = 716,   // "Insufficient arguments."
    kMsgCallCofuncOutside = 2049,    // "Cofunctions must be called from a waitfordone statement."
    kMsgCallIndirectStruct = 2050,
};
