// CC_Z80GEN: the lowest emitters of the code generator: single-line instructions, the stack
// adjuster, the primary/stack swap, block moves, and the branch emitters that write jumps and
// calls as bytes, choosing short or long forms by address and building root bouncers for xmem
// targets in another page. Also the back-patcher that completes a branch once its target is
// known (the label layer calls it for jump and call fix-ups).
// Called by the value model (CC_Z80), the operator, frame and built-in code, and the inline
// assembler, whose "jp"/"call"/"ljp"/"lcall" with an address target come here through its host.
//
// The runtime routines these emitters call ("swap4_", "doldir_s", "ldir_func", and "lddr_func"
// for the assembler's replacement) take their operands as the runtime contract of
// TARGET/lib/RuntimeContract.h says: block moves with the source in HL, the destination in DE
// and the count in BC, "swap4_" exchanging BC:DE with the 4 bytes at SP+2.
#pragma once

#include "core/CC_OBJ.h"

#include <cstdint>
#include <string>

struct symbol;

// ---- single lines ------------------------------------------------------------------------------

void gen_ipset(int level);  // "ipset %d" for 0..3, else 794 "Range error" and no line
void gen_ipres();           // "ipres"
void gen_exchange_de_hl();  // "ex de, hl"
void gen_add_hl_sp();       // "add hl, sp"
void gen_add_hl_hl();       // "add hl, hl"
void gen_add_hl_de();       // "add hl, de"
void gen_sub_hl_de();       // "or a", "sbc hl, de"
void gen_ld_a_l();          // "ld a, l"
void gen_debug_rst();       // "rst 0x28"
void gen_widen_a_to_hl();   // "ld l, a", "ld h, 0"

// 2-byte types (and 12): "ex (sp), hl"; 4-byte types: "call swap4_"; others 638.
void gen_swap_primary_with_stack(uint16_t type);

// Copies `count` bytes from (HL) to (DE), count in BC: "call doldir_s" for storage-space code 1;
// I/O destinations with their prefix; with "DATAWAITSUSED" on an "ldi" loop for 1..25 bytes and
// "call ldir_func" for more; otherwise "ldir".
void gen_block_move(const object *destination, uint16_t count);

// Moves SP by n bytes (positive releases); with `keep_hl` HL survives. F80: "add sp, d" steps up
// to 381 bytes; Z180: "push af"/"pop af" for a few words; else "ld hl, n", "add hl, sp",
// "ld sp, hl" ("exx" around it to keep HL). Clears the flags-valid marker.
void gen_adjust_stack(int16_t n, bool keep_hl);

// The two-bit storage-space code of a node, or of its symbol when the node's is 0.
uint8_t storage_space_code(const object *node);

// ---- branches ----------------------------------------------------------------------------------

// Branch opcodes.
enum : uint8_t { kOpJp = 0xC3, kOpCall = 0xCD, kOpLjp = 0xC7, kOpLcall = 0xCF };

// A branch as emitted: the opcode written and the address of its operand.
struct BranchRecord {
    uint8_t opcode = 0;
    uint32_t operand = 0;
};

// A jump (or relative branch: the caller passes the displacement in the low byte of `target`)
// to an address word. An xmem target in another page is reached through "ljp": directly from
// root code, through a root bouncer from xmem code. Returns the opcode written and the operand
// address to back-patch.
BranchRecord gen_jump(uint32_t target, uint8_t opcode);
// A call (or jump) written as bytes with the call rules: "lcall" for long-call functions and in
// xmem under "No Bouncers"; `operand` receives the operand address.
void emit_branch_instruction(uint32_t target, uint8_t opcode, uint32_t *operand,
                             const symbol *function);
// opcode, offset, and the page byte of "ljp"/"lcall" (F80).
void emit_far_branch(uint32_t target, uint8_t opcode, uint32_t *operand, const symbol *function);
// A call of a named routine taken only under condition cc (nz z nc c lz lo p m). Returns the
// code address of the call instruction.
uint32_t gen_conditional_call(const char *name, int cc);
// Completes an emitted branch whose target became known.
void patch_jump(const BranchRecord &branch, uint32_t target);
// The same as the label layer's jump patcher (`set_jump_patcher`): the operand at `position`.
void patch_jump_fixup(uint32_t position, uint8_t opcode, uint32_t target, uint32_t flags);

// The xmem code cache's emit address; the address just behind the last branch.
uint32_t xmem_cache_address();
uint32_t last_instruction_address();

// The "No Bouncers" option (a setting).
bool no_bouncers();

// The inline assembler's jumps and calls with an address target: written by the emitters
// above. While a block is measured, no bouncer is written into the root code.
bool assemble_branch(uint8_t opcode, uint32_t target, const std::string &name, bool call);

// Start of a compile.
void reset_branch_state();
