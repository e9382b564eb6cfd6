// CC_MOD: function records and the address-to-function lookups, the exit hook and the
// code-limit fields. Records are appended in compile order and freed at the start of the next
// compile; lookups compare addresses physically (addr_less, addr_equal).
#include "CC_MOD.h"

#include "input/CC_IN.h"
#include "linker/CC_RELOC.h"
#include "CC_STAB.h"

#include <optional>

namespace {

FunctionRecord *g_head = nullptr;
FunctionRecord *g_tail = nullptr;
uint32_t g_options[3] = {0, 0, 0};
uint8_t g_storage_class = 0;
uint16_t g_exit_hook = 0;
bool g_exit_hook_initialised = false;
bool g_runtime_library_missing = false;
std::vector<ADDR24> g_starts;

// start <= address <= end
bool holds(const FunctionRecord *r, ADDR24 address) {
    return !addr_less(address, r->start) && (addr_less(address, r->end) || addr_equal(address, r->end));
}

bool has_code(const FunctionRecord *r) { return !addr_equal(r->start, r->end); }

const FunctionRecord *first_with_code_at(ADDR24 address) {
    for (const FunctionRecord *r = g_head; r; r = r->next)
        if (has_code(r) && holds(r, address))
            return r;
    return nullptr;
}

} // namespace

FunctionRecord *add_function_record(uint16_t id16, uint8_t id8, uint32_t word_a, ADDR24 start,
                                    ADDR24 end, const uint32_t &word_b, uint32_t word_c,
                                    uint32_t word_d, const char *name) {
    auto *r = new FunctionRecord;
    r->name = name ? name : "";
    r->start = start;
    r->word_a = word_a;
    r->word_c = word_c;
    r->word_d = word_d;
    r->word_b = word_b;
    r->end = end;
    for (int i = 0; i < 3; ++i)
        r->options[i] = g_options[i];
    r->id16 = id16;
    r->id8 = id8;
    r->storage_class = g_storage_class;
    if (g_tail)
        g_tail->next = r;
    else
        g_head = r;
    g_tail = r;
    return r;
}

void set_function_record_context(const uint32_t options[3], uint8_t storage_class) {
    for (int i = 0; i < 3; ++i)
        g_options[i] = options ? options[i] : 0;
    g_storage_class = storage_class;
}

const FunctionRecord *function_records() { return g_head; }

void free_function_records() {
    while (g_head) {
        FunctionRecord *next = g_head->next;
        delete g_head;
        g_head = next;
    }
    g_tail = nullptr;
}

ADDR24 function_address(const char *name) {
    for (const FunctionRecord *r = g_head; r; r = r->next)
        if (has_code(r) && r->name == name)
            return r->start;
    return kDummyAddress;
}

const char *function_name_at(ADDR24 address) {
    const FunctionRecord *r = first_with_code_at(address);
    return r ? r->name.c_str() : nullptr;
}

bool function_ids_at(ADDR24 address, uint16_t *id16, uint8_t *id8) {
    const FunctionRecord *r = first_with_code_at(address);
    if (!r)
        return false;
    if (id16)
        *id16 = r->id16;
    if (id8)
        *id8 = r->id8;
    return true;
}

bool function_info_at(ADDR24 address, uint32_t *word_a, ADDR24 *start, uint32_t *word_b,
                      uint32_t *word_c, uint32_t *word_d, uint32_t *options,
                      uint8_t *storage_class) {
    const FunctionRecord *r = g_head;
    while (r && !holds(r, address))
        r = r->next;
    if (!r)
        return false;
    while (r->next && addr_equal(r->next->start, r->start) && holds(r->next, address))
        r = r->next;
    if (word_a)
        *word_a = r->word_a;
    if (start)
        *start = r->start;
    if (word_b)
        *word_b = r->word_b;
    if (word_c)
        *word_c = r->word_c;
    if (word_d)
        *word_d = r->word_d;
    if (options)
        for (int i = 0; i < 3; ++i)
            options[i] = r->options[i];
    if (storage_class)
        *storage_class = r->storage_class;
    return true;
}

namespace {
// An "#asm" entry point is a global label, not a C symbol: the compile's own global label, or,
// once its scope is closed, the label it left (the BIOS's labels among them).
std::optional<ADDR24> global_label_of(const char *name) {
    if (const QBFixupRec *label = find_label(name, kLabelGlobal); label && label->defined)
        return label->address;
    for (const CarriedLabel &label : last_closed_global_labels())
        if (label.name == name)
            return label.address;
    return std::nullopt;
}
} // namespace

bool resolve_target_symbol(const char *name, uint16_t &out) {
    if (symbol *s = find_symbol(name, false, kGlobalTable)) {
        out = addr_offset(logical_to_addr(addr_offset(s->address[1])));
        return true;
    }
    if (const std::optional<ADDR24> label = global_label_of(name)) {
        out = addr_offset(*label);
        return true;
    }
    serious_warning_here("%s is not defined; C statement debugging may not work correctly", name);
    return false;
}

void init_exit_hook() {
    g_exit_hook_initialised = true;
    uint16_t address = 0;
    if (resolve_target_symbol("__xexit__", address))
        g_exit_hook = address;
}

uint16_t exit_hook_address() { return g_exit_hook; }
void set_exit_hook(uint16_t address)
{
    g_exit_hook = address;
    g_exit_hook_initialised = true;
}
bool exit_hook_initialised() { return g_exit_hook_initialised; }

int runtime_library_missing() {
    g_runtime_library_missing = true;
    return 1;
}
bool runtime_library_missing_flag() { return g_runtime_library_missing; }

void set_compile_code_limits(uint32_t last_root_code, uint32_t first_free, bool watch_compile) {
    if (watch_compile)
        return;
    set_code_limits(last_root_code, first_free);
}

void add_function_start(ADDR24 start) { g_starts.push_back(start); }
const std::vector<ADDR24> &function_starts() { return g_starts; }
void clear_function_starts() { g_starts.clear(); }

int function_start_index(ADDR24 address) {
    const uint32_t physical = addr_to_physical(address);
    for (std::size_t i = 0; i + 1 < g_starts.size(); ++i)
        if (addr_to_physical(g_starts[i]) <= physical && addr_to_physical(g_starts[i + 1]) > physical)
            return static_cast<int>(i);
    return static_cast<int>(g_starts.size()) - 1;
}

void reset_function_records_state() {
    free_function_records();
    clear_function_starts();
    set_function_record_context(nullptr, 0);
    g_exit_hook = 0;
    g_exit_hook_initialised = false;
    g_runtime_library_missing = false;
}
