// CC_Z80CALL: calls and jumps to named routines and labels, conditional jumps on a value's
// truth, and the forward jumps to numbered labels that the statement parser completes later.
// Names resolve through the global symbols and else through a label reference whose fix-up the
// label layer completes with the branch back-patcher (CC_Z80GEN). Called by the value moves,
// the conversions, the operator code, the statement parser and the inline assembler.
#pragma once

#include "core/CC_OBJ.h"
#include "CC_Z80GEN.h"

#include <cstdint>
#include <functional>

// ---- named labels, calls and jumps ----------------------------------------------------------------

// The fix-up kind: the distance from a branch's first byte to its address bytes. 1 when
// `forced` or without flags, 3 with 0x1000, 2 with 0x800.
int fixup_kind_from_flags(bool forced, uint32_t flags);
// The flags of a kind (1: 0, 2: 0x800, 3: 0x1000); any other kind reports 622 and gives 0.
uint32_t fixup_flags_for_kind(int kind);
// The flags of a branch opcode with the reference flags: a non-zero opcode is forced (so jumps
// and calls carry 0).
uint32_t fixup_flags_for_opcode(uint8_t opcode, uint32_t flags = 0);

// The target address word of a name ("." read as "_"): a global symbol's known address, else a
// label reference recorded at the current code address plus `kind` (with `flags` and the global
// scope), which answers the label's address or the placeholder until it is defined.
uint32_t resolve_label_address(const char *name, uint32_t flags, uint8_t kind);
// Flushes the pending value and calls the named routine through the branch emitter.
BranchRecord gen_call_named(const char *name);
// The call alone, for a caller whose registers are already set up for the routine (the
// assembler's block-move replacement).
BranchRecord gen_call_routine(const char *name);
// Jumps to the named label through the branch emitter.
BranchRecord gen_jump_named(const char *name);

// A call through a function pointer whose value lies on top of the target stack, above the
// arguments: the return address takes its place ("ld hl, back", "ex (sp), hl", "jp (hl)"), so
// the callee returns behind the jump with the arguments as a direct call leaves them. A pointer
// still waiting in HL as the pending value is pushed by the collision guard and taken into IY
// ("pop iy", "ld de, back", "push de", "jp (iy)"); a pointer anywhere else is loaded and pushed
// first. The stack offset loses the pointer's two bytes.
void gen_indirect_call(object *function_pointer);

// ---- conditional jumps ------------------------------------------------------------------------------

// Whether the comparison generators' flag tracking applies (the parser's condition context is
// on and not nested deeper than one level); unset reads off.
void set_flag_tracking(std::function<bool()> tracking);
bool flag_tracking();
// Loads the value as an int and sets the zero flag exactly when it is zero, by its type.
void gen_zero_flag_test(object *value);
// A jump on the value's truth: condition 0 jumps when it is true, 1 when it is false (a void
// value reports 399, a condition of 8 or more 621, and nothing is emitted). With `relative`,
// `target` holds a displacement: a forward one (bit 7 clear) becomes an absolute "jp" to where
// a "jr" here would land, a backward one a "jr". Returns the branch written (opcode 0 when none).
BranchRecord gen_conditional_jump(object *value, uint32_t target, int condition, bool relative);

// ---- jumps to numbered labels -------------------------------------------------------------------------
// They wait in the compile's jump-fixup table (CC_FIOZ8 `jump_fixups`), each with its opcode and
// the address of the jump instruction; outside a compile, without a table, nothing is recorded.

// Records a jump written toward a numbered label that is not placed yet.
void add_jump_fixup(int16_t label, const BranchRecord &branch);
// Patches every pending jump to the label to the current code address and forgets them.
void resolve_jump_fixups(int16_t label);

// ---- other --------------------------------------------------------------------------------------------

// Moves the root data cache (the root variable cache) to the address.
void set_root_data_address(uint32_t address);
// The byte already emitted at an address of the current code cache.
uint8_t peek_code_byte(uint32_t address);

enum : uint32_t {
    kMsgCgVoidUse = 399,            // "Illegal use of type void."
    kMsgCgJumpCondition = 621,      // "Internal error: invalid jump condition."
    kMsgCgFixupFlags = 622,         // "Internal error: Cannot set fixup flags."
};
