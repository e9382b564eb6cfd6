// CC_CHAIN: function chains. A chain is a named routine that calls, one after the other, every
// function ("#funcchain") and code segment ("#GLOBAL_INIT", "segchain") a program attached to
// its name; "#makechain" declares one with no members. The chains are collected during the
// whole-program parse and turned into code once at its end (`emit_function_chains`, called by
// CC_DECL), one routine per chain in ascending name order, each defining its name as a label.
//
// A chain the BIOS defined is joined instead: the BIOS routine's end is overwritten on the target
// with a long jump into the program's routine, behind its two saving instructions. A program
// without a part in a BIOS chain writes that chain's own end back, so that a jump left there by
// an earlier program never leads into stale code.
//
// Called by the chain directives (CC_DIRECT), the function-definition compiler (CC_PARSE) and
// the compile joins (CC_GO), which reset the tables and carry the BIOS's chains into programs.
#pragma once

#include "core/CC_ADDR.h"

#include <string>
#include <vector>

// Appends a code segment's address to the chain (declaring the chain).
void add_chain_address(const std::string &chain, ADDR24 address);
// Appends a function to the chain (declaring the chain) and asks for the function's label so
// that the library module defining it is compiled; the function's address (the dummy address
// while it is not defined yet).
ADDR24 add_chain_function(const std::string &chain, const std::string &function);
// Declares the chain: it gets its routine even without members.
void declare_chain(const std::string &chain);
// Whether a "#makechain" may name the chain: a name the program gave to anything but a
// declared (not defined) function is taken.
bool chain_name_free(const std::string &chain);
// Emits every chain's routine at the current code address (root code) and empties the tables.
void emit_function_chains();
// Empties the tables (start of every compile).
void free_chain_tables();

// Whether chains may be added here: not in a program that made itself a BIOS with
// "#pragma CompileBIOS" (the BIOS compile itself may).
bool chains_allowed();

// The BIOS's chains as a program compile sees them. A BIOS compile starts with none and
// records the chains it defines; `save_function_chain_state` keeps them with the BIOS compile
// state, a program compile starts from what was kept, `forget_function_chain_state` drops it.
void reset_function_chains(bool bios_compile);
void save_function_chain_state();
void forget_function_chain_state();
const std::vector<std::string> &bios_chain_names();

// The BIOS routine's last four bytes as the BIOS wrote them: "pop af", "ld xpc, a", "ret".
inline constexpr std::uint8_t kChainEnd[4] = {0xF1, 0xED, 0x67, 0xC9};
// Bytes from a chain's start to its body: "ld a, xpc" and "push af".
inline constexpr int kChainSaveBytes = 3;
// The Z180 has no XPC: a chain keeps the bank of common area 1 (CBR, the on-chip register
// 0x38, which maps the xmem window as XPC does). It starts "in0 a, (0x38)", "push af" and ends
// "pop af", "out0 (0x38), a", "ret"; the first four bytes of that end are the BIOS's.
inline constexpr std::uint8_t kChainEndZ180[4] = {0xF1, 0xED, 0x39, 0x38};
inline constexpr int kChainSaveBytesZ180 = 4;
