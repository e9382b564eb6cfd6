// CC_STUBS: root entry stubs for xmem functions used as values by assembly text, the literal
// pool's output, and three small emit operations. Stubs are written as generated assembly lines
// (`outasm`), literals straight into the constant area's cache.
#include "CC_STUBS.h"

#include "CC_ASMDIR.h"
#include "driver/CC_FIOZ8.h"
#include "parser/CC_LABELS.h"
#include "core/CC_OBJ.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "core/SEAM_CODEGEN.h"

namespace {

std::vector<symbol *> g_pending;
LiteralPool g_literals;
StubOutputContext g_context;
bool g_stub_call_mode = true;

bool g_result_in_registers = false;
bool g_flags_set = false;

bool ask(const std::function<bool()> &f) { return f && f(); }

// Makes a cache current at its own address (reopening its window there).
void make_current_at_own_address(EmitCache &cache)
{
    set_current_code_cache(cache);
    cache.SetAddress(cache.current);
}

// A root entry stub: the caller's return address comes off the stack, the caller's XPC goes
// below it, and the function is entered by a long jump (it returns with "lret").
//   pop de / ld a,xpc / ld b, a / push bc / inc sp / push de / ljp <function>
void write_root_stub(symbol *fn)
{
    const ADDR24 stub = current_code_cache().current;
    fn->address[kRootStubAddressSlot] = stub;
    outasm("pop de");
    outasm("ld a,xpc");
    outasm("ld b, a");
    outasm("push bc");
    outasm("inc sp");
    outasm("push de");
    outasm("ljp %d", static_cast<int>(fn->address[kFunctionAddressSlot]));
    // The pair goes into the address directories, so that the root entry and the function's
    // xmem address translate into each other.
    record_xmem_stub(stub, fn->address[kFunctionAddressSlot]);
    define_label(fn->name ? fn->name : "", stub, kLabelGlobal | kLabelRepeatable);
    // The listing shows the stub: a call of its root address is seen to reach the function.
    record_listing_range(stub, current_code_cache().current, kListProgramCode);
}

void write_literal_pool()
{
    const bool watch = ask(g_context.watch_compile);
    EmitCache &area = (watch && ask(g_context.watch_code_constants)) ? watch_code_cache()
                                                                     : constant_cache();
    const ADDR24 start = area.current;
    bool wrote = false;
    for (auto &[text, lit] : g_literals) {
        if (lit.emitted)
            continue;
        lit.address = area.current;
        lit.emitted = 1;
        define_label(lit.label.c_str(), lit.address, kLabelGlobal);
        for (char c : text)
            area.EmitByte(static_cast<uint8_t>(c));
        area.EmitByte(0);
        wrote = true;
    }
    // Only what this flush wrote: earlier flushes listed theirs.
    if (wrote && !watch)
        record_listing_range(start, area.current, kListData);
}

}  // namespace

void push_pending_stub(symbol *function)
{
    if (function)
        g_pending.push_back(function);
}

std::size_t pending_stub_count() { return g_pending.size(); }
void set_stub_output_context(StubOutputContext context) { g_context = std::move(context); }
void set_stub_call_mode(bool on) { g_stub_call_mode = on; }
bool stub_call_mode() { return g_stub_call_mode; }

void output_pending_stubs()
{
    const bool switched = &current_code_cache() == &xmem_code_cache();
    if (switched)
        make_current_at_own_address(root_code_cache());

    if (ask(g_context.stub_call_mode) && !ask(g_context.watch_compile)) {
        while (!g_pending.empty()) {
            symbol *fn = g_pending.back();
            g_pending.pop_back();
            if (fn->address[kRootStubAddressSlot] == kDummyAddress)
                write_root_stub(fn);
        }
    }
    g_pending.clear();  // a flush always leaves the stack empty

    write_literal_pool();

    if (switched)
        make_current_at_own_address(xmem_code_cache());
}

lit_map_entry &pool_literal(const std::string &label, const std::string &text)
{
    return g_literals.emplace(text, lit_map_entry{0, kDummyAddress, label})->second;
}

lit_map_entry *find_pooled_literal(const std::string &text)
{
    const auto it = g_literals.find(text);
    return it == g_literals.end() ? nullptr : &it->second;
}

const LiteralPool &literal_pool() { return g_literals; }
void restore_literal_pool(const LiteralPool &pool) { g_literals = pool; }

void reset_pending_output()
{
    g_pending.clear();
    g_literals.clear();
    g_result_in_registers = g_flags_set = false;
}

int clear_condition_state()
{
    g_result_in_registers = false;
    g_flags_set = false;
    return 0;
}

void set_condition_state(bool result_in_registers, bool flags_set)
{
    g_result_in_registers = result_in_registers;
    g_flags_set = flags_set;
}

bool comparison_result_in_registers() { return g_result_in_registers; }
bool comparison_flags_set() { return g_flags_set; }

void emit_word(uint16_t value)
{
    emit_code_byte(static_cast<uint8_t>(value & 0xFF));
    emit_code_byte(static_cast<uint8_t>(value >> 8));
}

void gen_push_new_value(uint16_t type)
{
    if (!g_context.load_and_push)
        refuse_missing_codegen();
    object *node = gObjectPool.new_object();
    node->type = type;
    g_context.load_and_push(node, 9);
}
