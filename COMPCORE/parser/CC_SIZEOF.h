// CC_SIZEOF: the type evaluator for the operand of "sizeof". A descent over the text at the
// lexer's input pointer with the precedence levels of the one-pass expression parser (CC_HIER),
// that fills the result node with the type the code-generating parser would give the same text
// (type code, declarator levels, dimensions, member, return type) and never emits code: no
// operand runs, no call is made, nothing is stored. It reads names, members, type names, numbers
// and literals through CC_HIER's own helpers and reports what that parser reports for the same
// faults (missing brackets, bad subscripts and members, calls against their prototypes, read-
// only targets, cofunction forms). Called by CC_HIER's "sizeof" operand reader, for the
// statements and declarations and for the assembler's "sizeof" in operands alike.
#pragma once

#include "CC_PARSE.h"

#include <cstdint>
#include <vector>

struct object;

//   comma        = assignment { "," assignment }
//   assignment   = conditional [ assignment-operator assignment ]
//   conditional  = logical-or [ "?" conditional ":" conditional ]
//   logical-or .. bitwise-and (levels 0 "||", 1 "&&", 2 "|", 3 "^", 4 "&"), then equality,
//   relational, shift, additive, multiplicative, unary, postfix and primary as in CC_HIER.
// Each evaluates its level into `node` and returns it; scratch nodes come from the node pool.

// The entry: a comma expression. `flag` 1 at the start of an operand (the condition state of
// the code generator is cleared, as at the start of any expression), 0 for a nested one.
object *sizeof_comma_expression(object *node, int flag);
// `flag`: the assignments already open in the chain to the right (0 at the start); a chain of
// more than 100 is refused (7175). The result keeps the target's type; 2103, 439 and 442 as
// the assignment checks give them.
object *sizeof_assignment(object *node, int flag);
// The branches decide the type: equal declarator levels, a constant 0 against a pointer, or
// the larger of two plain types; anything else 401.
object *sizeof_conditional(object *node);
// Levels 0 to 4; 5 and above is the equality level. Any operator makes the result an int;
// a constant left operand of "||" or "&&" that decides alone keeps the right one out.
object *sizeof_logical_level(object *node, int level);
// A comparison is an int, as the code generator makes it; two constants fold as it folds them.
object *sizeof_equality(object *node);
object *sizeof_relational(object *node);
object *sizeof_shift(object *node);
object *sizeof_additive(object *node);
object *sizeof_multiplicative(object *node);

using SizeofLevel = object *(*)(object *node);
// The right operand of `op` by `level` into a scratch node (returned): two plain types give the
// larger type code; pointer arithmetic keeps the pointer; a pointer difference is an int.
object *sizeof_widening_operand(const char *op, SizeofLevel level, object *node);

// Prefix operators, casts, "sizeof", "waitfordone" and "waitforfirstdone" (consumed; they change
// nothing). The declarator context of a declaration being read is kept around it.
object *sizeof_unary(object *node);
// `flag` 1: the "(" of a parenthesised expression was consumed by the unary level.
object *sizeof_postfix(object *node, int flag);
object *sizeof_primary(object *node, int flag);
// Drops the first pointer or array level (an array moves to its next dimension); 459 for any
// other first level.
void sizeof_dereference(object *node);
// The arguments of a call up to its ")" (492 when missing), each an assignment expression;
// counted into `count` and checked against the prototype (entries up to the terminator; empty:
// none): 715 (serious) for too many unless variadic, 716 (trivial) for too few, while the
// prototype warnings are on.
void sizeof_call_arguments(const std::vector<PrototypeEntry> &prototype, int &count);

// Start of every compile: the dimension lists "&" made are given back.
void reset_sizeof_evaluator();

// Message ids of this unit.
enum : uint32_t {
    kMsgSizeofNeedCall = 445,
    kMsgSizeofInvalidCall = 488,
    kMsgSizeofTooManyArguments = 715,
    kMsgSizeofTooFewArguments = 716,
    kMsgSizeofCofuncMaxInstance = 2016,
    kMsgSizeofCofunctionCall = 2049,
    kMsgSizeofIndirectStructure = 2050,
};
