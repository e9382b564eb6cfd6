// CC_STUBS: pending xmem call stubs, literal pool output and small emit operations.
// `output_pending_stubs` writes a root entry stub for every xmem function whose address assembly
// text took, and writes the pooled string literals into the constant area; the parser calls it
// after each function definition and from its top-level loop. Also: forgetting the comparison
// state, emitting a 16-bit word, and pushing a fresh value.
// Compile state that belongs to the parser and the code generator (stub-call mode, watch
// compile, the value loader) is read through `StubOutputContext`, installed by its owners.
#pragma once

#include "core/CC_ADDR.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct symbol;
struct object;

// ---- pending stubs ------------------------------------------------------------------------------

// Function symbols: name, address[0] the function's address, address[1] its root-stub address
// (kDummyAddress until a stub is made).
inline constexpr int kFunctionAddressSlot = 0;
inline constexpr int kRootStubAddressSlot = 1;

// Queued by the assembler's expression evaluator for a defined xmem function without a root
// stub that assembly text uses as a value. Last in, first out.
void push_pending_stub(symbol *function);
std::size_t pending_stub_count();

struct StubOutputContext {
    std::function<bool()> stub_call_mode;        // references go through root entry stubs
    std::function<bool()> watch_compile;         // a watch expression is being compiled
    std::function<bool()> watch_code_constants;  // literals of watch code go to the watch cache
    // Loads a fresh value node into HL (register set 9) and pushes it (the code generator's
    // load-and-push); `gen_push_new_value` refuses to run without it.
    std::function<void(object *node, int register_set)> load_and_push;
};
void set_stub_output_context(StubOutputContext context);

// The code generator's stub-call mode: on (the default), references from assembly text to xmem
// functions go through root entry stubs. The compile frame's context reads it.
void set_stub_call_mode(bool on);
bool stub_call_mode();

// Writes the pending root stubs (stub-call mode, not in a watch compile) and the literal pool.
void output_pending_stubs();

// ---- literal pool -------------------------------------------------------------------------------
// String literals that the expression parser pooled, ordered by their text (compared byte for
// byte, zero bytes included). With "String Literal Optimization" off equal texts are pooled once
// each, every copy under its own label.

struct lit_map_entry {
    uint8_t emitted = 0;            // written to the target
    ADDR24 address = kDummyAddress; // where it was written
    std::string label;              // the "__STR" label that names it in assembly text
};
using LiteralPool = std::multimap<std::string, lit_map_entry>;
using lit_pair = LiteralPool::value_type;

// Adds a literal under its label; the entry added.
lit_map_entry &pool_literal(const std::string &label, const std::string &text);
// The first entry of an equal text, or nullptr.
lit_map_entry *find_pooled_literal(const std::string &text);
const LiteralPool &literal_pool();
// Puts back the pool as it stood before a reading whose code is thrown away: the literals that
// reading pooled would otherwise be written with the program, beside their copies of the real
// reading.
void restore_literal_pool(const LiteralPool &pool);

// Start of a compile: empties the stack and the pool.
void reset_pending_output();

// ---- small emit operations ----------------------------------------------------------------------

// The two comparison flags of the code generator: result in registers, flags set from it.
int clear_condition_state();  // clears both; 0
void set_condition_state(bool result_in_registers, bool flags_set);
bool comparison_result_in_registers();
bool comparison_flags_set();

// Low byte, then high byte, through the code-byte emitter.
void emit_word(uint16_t value);

// A fresh node of the type from the object pool, loaded into HL and pushed.
void gen_push_new_value(uint16_t type);
