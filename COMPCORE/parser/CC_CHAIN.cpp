// CC_CHAIN: function chains, collected while the program is parsed and emitted at its end.
// The tables are this unit's: the chain names (ordered by text, which is the emission order),
// and per chain the segment addresses and the function names in the order added. A chain's
// label symbol in the global table holds its start (first address), its end (second address)
// and its definition state (the value): 0 not defined, 1 by the program, 2 by the BIOS.
#include "CC_CHAIN.h"

#include "CC_COSTATE.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_IN.h"
#include "CC_LABELS.h"
#include "linker/CC_RELOC.h"
#include "core/CC_OBJ.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "codegen/CC_Z80.h"
#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80GEN.h"
#include "core/SEAM_LINKER.h"
#include "core/SEAM_TARGET.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

// Definition states of a chain's symbol.
enum : int16_t { kChainUndefined = 0, kChainProgram = 1, kChainBios = 2 };

struct ChainTables {
    std::set<std::string> names;  // std::string orders by unsigned bytes, as the names must
    std::map<std::string, std::vector<ADDR24>> addresses;
    std::map<std::string, std::vector<std::string>> functions;
};
ChainTables g_tables;

std::vector<std::string> g_bios_chains;        // what this compile knows the BIOS defined
std::vector<std::string> g_saved_bios_chains;  // kept with the BIOS compile state

ADDR24 here() { return current_code_cache().current; }

// A symbol this unit made for a chain: a label of type int, no declarator.
bool is_chain_symbol(const symbol *s)
{
    return s->kind == 3 && s->type == 2 && s->declarator == 0;
}

symbol *bios_chain_symbol(const std::string &name)
{
    symbol *s = find_symbol(name.c_str(), false, kGlobalTable);
    return s && is_chain_symbol(s) && s->value == kChainBios ? s : nullptr;
}

// Four bytes over the end of a BIOS chain, on the target (or into the image being built).
void send_over_bios_end(const symbol &chain, const uint8_t (&bytes)[4])
{
    // Without origin directives (the Z180) the chain's end is a root address as it stands.
    const uint16_t offset = addr_offset(chain.address[1]);
    const ADDR24 end = origin_switch() != 0 ? logical_to_addr(offset) : make_addr(0, offset);
    linker_seam().ui_send_block(4, end, bytes);
}

// A segment in the xmem window is entered with its page loaded. Code in xmem returns with
// "lret" on the Vireon, so it is called long there: the call pushes the page the return pops.
void call_segment(ADDR24 address)
{
    if (addr_is_root(address)) {
        emit_code_byte(kOpCall);
        emit_word(addr_offset(address));
        return;
    }
    outasm("ld a, %d", static_cast<int>(addr_xpc(address)));
    outasm(cpu_is_f80() ? "ld xpc, a" : "out0 (0x38), a");
    if (cpu_is_f80()) {
        emit_code_byte(kOpLcall);
        emit_word(addr_offset(address));
        emit_code_byte(addr_xpc(address));
    } else {
        emit_code_byte(kOpCall);
        emit_word(addr_offset(address));
    }
}

// A function the program declared (a prototype, or the implicit declaration of a call) but
// never defined: the chain is what a call of that name runs.
bool is_declared_function(const symbol *s)
{
    return decl_level(s->declarator, 0) == kDeclFunction && s->address[0] == kDummyAddress;
}

// Whether the name is free for a chain: unknown, a chain not yet emitted, or a function that
// was only declared.
bool free_for_chain(const std::string &name)
{
    const symbol *s = find_symbol(name.c_str(), false, kGlobalTable);
    const QBFixupRec *label = find_label(name.c_str(), kLabelGlobal);
    if (label && label->defined)
        return false;
    return !s || (is_chain_symbol(s) && s->value == kChainUndefined) || is_declared_function(s);
}

// The chain's name as a label at its start, with its symbol; a name the program already gave
// to something else is reported (the routine stays, unnamed).
void define_program_chain(const std::string &name, ADDR24 start, ADDR24 end)
{
    symbol *s = find_symbol(name.c_str(), false, kGlobalTable);
    if (!free_for_chain(name)) {
        report_previously_defined(name.c_str());
        return;
    }
    define_label(name.c_str(), start, kLabelGlobal);
    if (!s)
        s = add_symbol(name.c_str(), 0, 2, 0, 254, nullptr, 0);
    const bool function = is_declared_function(s);
    s->address[0] = start;
    if (!function)
        s->address[1] = end;  // a function's second address is its root stub's
    if (IsCompilingBios()) {
        s->value = kChainBios;
        g_bios_chains.push_back(name);
    } else {
        s->value = kChainProgram;
    }
}

void emit_chain(const std::string &name)
{
    const ADDR24 start = here();
    const bool f80 = cpu_is_f80();
    outasm(f80 ? "ld a, xpc" : "in0 a, (0x38)");
    outasm("push af");
    if (auto it = g_tables.addresses.find(name); it != g_tables.addresses.end())
        for (const ADDR24 address : it->second)
            call_segment(address);
    if (auto it = g_tables.functions.find(name); it != g_tables.functions.end())
        for (const std::string &function : it->second)
            (void)gen_call_routine(function.c_str());
    // Every costatement's state block is set before anything of the program runs.
    if (name == "_GLOBAL_INIT")
        emit_funcblk_init_table();
    const ADDR24 end = here();
    outasm("pop af");
    outasm(f80 ? "ld xpc, a" : "out0 (0x38), a");
    outasm("ret");

    if (const symbol *bios = bios_chain_symbol(name)) {
        // ljp start + 3: the BIOS routine goes on into this one's body; its saving stays theirs.
        // The Z180 jumps in its root ("jp", then a nop in the fourth byte).
        const ADDR24 body = addr_add(start, f80 ? kChainSaveBytes : kChainSaveBytesZ180);
        const uint8_t lo = static_cast<uint8_t>(addr_offset(body) & 0xFF);
        const uint8_t hi = static_cast<uint8_t>(addr_offset(body) >> 8);
        const uint8_t jump[4] = {kOpLjp, lo, hi, addr_xpc(body)};
        const uint8_t jump_z180[4] = {kOpJp, lo, hi, 0x00};
        send_over_bios_end(*bios, f80 ? jump : jump_z180);
        return;
    }
    define_program_chain(name, start, end);
}

}  // namespace

void add_chain_address(const std::string &chain, ADDR24 address)
{
    g_tables.names.insert(chain);
    g_tables.addresses[chain].push_back(address);
}

ADDR24 add_chain_function(const std::string &chain, const std::string &function)
{
    g_tables.names.insert(chain);
    g_tables.functions[chain].push_back(function);
    // A disabled fix-up: it only makes the label wanted.
    return resolve_label_address(function.c_str(), kFixDisabled, 0);
}

void declare_chain(const std::string &chain) { g_tables.names.insert(chain); }

bool chain_name_free(const std::string &chain)
{
    return free_for_chain(chain) || bios_chain_symbol(chain) != nullptr;
}

void emit_function_chains()
{
    if (costate_records_pending())
        declare_chain("_GLOBAL_INIT");
    // A BIOS chain this program has no part in ends as the BIOS wrote it.
    for (const std::string &name : g_bios_chains) {
        if (g_tables.names.count(name) != 0)
            continue;
        if (const symbol *bios = bios_chain_symbol(name))
            send_over_bios_end(*bios, cpu_is_f80() ? kChainEnd : kChainEndZ180);
    }
    for (const std::string &name : g_tables.names)
        emit_chain(name);
    free_chain_tables();
}

void free_chain_tables() { g_tables = ChainTables{}; }

bool chains_allowed() { return !(compile_conditions().bios_marker && !IsCompilingBios()); }

void reset_function_chains(bool bios_compile)
{
    free_chain_tables();
    g_bios_chains = bios_compile ? std::vector<std::string>{} : g_saved_bios_chains;
}

void save_function_chain_state() { g_saved_bios_chains = g_bios_chains; }
void forget_function_chain_state() { g_saved_bios_chains.clear(); }
const std::vector<std::string> &bios_chain_names() { return g_bios_chains; }
