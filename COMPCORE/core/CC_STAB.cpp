// CC_STAB: symbol tables, keywords, character classes, the identifier scanner and tag tables.
// Both symbol tables are open-addressing hash tables of entry indexes into one shared symbol
// area; names live in one shared name area. A slot whose entry lies outside its table's live
// range [entry start, next free entry) is a leftover of an emptied scope: it ends a lookup and
// may be reused by an insertion. Every insertion leaves at least one empty slot, so a lookup
// always ends. Overflow of the slots, the symbol area or the name area ends the compile with
// xCCErrOvflo before anything is written.
#include "CC_STAB.h"

#include "CC_ER.h"
#include "input/CC_IN.h"
#include "CC_OBJ.h"
#include "guiExceptions.h"
#include "guiInterface.h"
#include "StringResources.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cctype>
#include <cstring>
#include <memory>
#include <set>
#include <string>

// ---- character classes ------------------------------------------------------------------------

namespace {

constexpr std::array<uint8_t, 256> make_char_classes() {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        uint8_t k = 0;
        bool ascii_alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (ascii_alpha)
            k = kClassLetter;
        else if (c >= '0' && c <= '9')
            k = kClassDigit;
        else if (c == ' ' || c == 9 || c == 12 || c == 26)
            k = kClassBlank;
        else if (c == 10 || c == 13)
            k = kClassLineEnd;
        else if (c == '_')
            k = kClassUnderscore;
        else if (c == '.')
            k = kClassPeriod;
        else if (c > 127 || (c >= 1 && c <= 31 && c != 27))
            k = kClassLetter;
        t[static_cast<std::size_t>(c)] = k;
    }
    return t;
}

constexpr std::array<uint8_t, 256> kCharClasses = make_char_classes();
static_assert(kCharClasses['_'] == kClassUnderscore && kCharClasses[0] == 0 && kCharClasses[27] == 0);

} // namespace

void build_char_classes() {} // the table is built at compile time

uint8_t char_class(unsigned char c) { return kCharClasses[c]; }

// ---- keywords ---------------------------------------------------------------------------------

namespace {

constexpr const char *kKeywords[kKeywordCount] = {
    "abandon", "abort", "align", "always_on", "anymem", "asm", "auto", "bbram", "break", "case",
    "char", "cofunc", "const", "continue", "costate", "debug", "default", "do", "else", "enum",
    "extern", "firsttime", "float", "for", "goto", "if", "init_on", "int", "interrupt",
    "interrupt_vector", "__lcall__", "long", "nodebug", "norst", "nouseix", "protected", "ret",
    "return", "root", "segchain", "shared", "short", "size", "sizeof", "speed", "static",
    "struct", "switch", "typedef", "union", "unsigned", "useix", "waitfor", "waitfordone",
    "while", "xdata", "xmem", "xmemok", "xstring", "yield",
};

constexpr uint16_t keyword_hash_of(const char *text) {
    uint16_t h = 0;
    for (int i = 0; i < 16 && text[i]; ++i)
        h = static_cast<uint16_t>(h * 17 + static_cast<signed char>(text[i]));
    return h;
}

struct KeywordSet {
    std::array<uint64_t, 65536 / 64> bits{};
    std::array<uint16_t, kKeywordCount> hashes{};
    bool collision = false;
    KeywordSet() {
        for (int i = 0; i < kKeywordCount; ++i) {
            uint16_t h = keyword_hash_of(kKeywords[i]);
            uint64_t &word = bits[h / 64];
            uint64_t bit = uint64_t{1} << (h % 64);
            collision = collision || (word & bit);
            word |= bit;
            hashes[static_cast<std::size_t>(i)] = h;
        }
        assert(!collision && "keyword hash collision");
    }
};

const KeywordSet &keyword_set() {
    static const KeywordSet set;
    return set;
}

} // namespace

uint16_t keyword_hash_value(const char *text) { return keyword_hash_of(text); }

int keyword_index(const char *name) {
    const KeywordSet &ks = keyword_set();
    uint16_t h = keyword_hash_of(name);
    if (!(ks.bits[h / 64] & (uint64_t{1} << (h % 64))))
        return -1;
    for (int i = 0; i < kKeywordCount; ++i)
        if (ks.hashes[static_cast<std::size_t>(i)] == h)
            return std::strcmp(kKeywords[i], name) == 0 ? i : -1;
    return -1;
}

bool is_keyword(const char *name) { return keyword_index(name) >= 0; }

const char *keyword_text(int index) {
    return index >= 0 && index < kKeywordCount ? kKeywords[index] : nullptr;
}

// ---- the identifier scanner ---------------------------------------------------------------------

int scan_identifier(char *buffer, bool across_lines, bool accept_other) {
    buffer[0] = 0;
    if (!across_lines) {
        while (char_class(static_cast<unsigned char>(*input_pointer())) & kClassBlank)
            advance_input(1);
    } else if (static_cast<unsigned char>(*input_pointer()) < 33) {
        skip_blanks_across_lines();
    }
    int found = is_identifier_start(static_cast<unsigned char>(*input_pointer())) ? 1 : 0;
    if (!found && !accept_other)
        return 0;
    std::size_t kept = 0;
    while (is_identifier_char(static_cast<unsigned char>(*input_pointer()))) {
        char c = next_char(); // noted for bracket matching, column advanced
        if (found && kept < kMaxIdentifier)
            buffer[kept++] = c;
    }
    buffer[kept] = 0;
    return found;
}

// ---- symbol tables ------------------------------------------------------------------------------

namespace {

constexpr std::size_t kNameBytesPerSymbol = 33;
constexpr int32_t kNoEntry = -1;

struct Table {
    std::vector<int32_t> slots; // entry index or kNoEntry
    std::size_t used_slots = 0; // slots that are not kNoEntry
    std::size_t entry_start = 0, entry_limit = 0, next_entry = 0;
    int32_t last_entry = kNoEntry;
    std::size_t name_start = 0, name_limit = 0, next_name = 0;
};

struct HashfixSlot {
    SymbolTableId table;
    std::size_t slot;
};

std::vector<symbol> g_area;          // the symbol area
std::vector<char> g_names;           // the name area
Table g_tables[2];                   // global, local
std::vector<HashfixSlot> g_hashfix;  // capacity: the global slot count
std::size_t g_global_mark = 0;
symbol *g_last_found = nullptr;
bool g_local_scope = false;
std::vector<std::size_t> g_block_marks; // local entry index where each open block began
bool g_placement_xmem = false;
bool g_at_sign_names = false;
std::set<std::string, std::less<>> g_decl_files; // stable texts for symbol::file
const char kNoFile[] = "";

Table &table_of(SymbolTableId id) { return g_tables[id]; }

bool live(const Table &t, int32_t idx) {
    return idx >= 0 && static_cast<std::size_t>(idx) >= t.entry_start &&
           static_cast<std::size_t>(idx) < t.next_entry;
}

// The stored form of a name: identifier characters only, at most 32 (with the at-sign option a
// name starting with "@" is that one character).
void make_key(const char *name, char key[kMaxIdentifier + 1]) {
    std::size_t n = 0;
    if (g_at_sign_names && name[0] == '@') {
        key[n++] = '@';
    } else {
        while (n < kMaxIdentifier && (is_identifier_char(static_cast<unsigned char>(name[n])) ||
                                      name[n] == '`')) { // "`" comes from mangle_local_name
            key[n] = name[n];
            ++n;
        }
    }
    key[n] = 0;
}

std::size_t hash_slot(const char *key, std::size_t slot_count) {
    uint32_t s = 0, t = 0;
    for (const char *p = key; *p; ++p) {
        auto c = static_cast<unsigned char>(*p);
        s += c;
        t = 2 * t + c;
    }
    return (s + 3 * t) % slot_count;
}

const char *const kHashFull = "Hash table full, increase symbol table size.";

[[noreturn]] void stop_compile(const char *error, const char *box) {
    error_here("%s", error);
    if (box)
        ShowAppMessageBox(box, std::string(string_resource(16)), 0);
    throw xCCErrOvflo(KX_HERE);
}

symbol *find_in(SymbolTableId id, const char *key, bool kind_filter) {
    Table &t = table_of(id);
    const std::size_t n = t.slots.size();
    if (n == 0)
        return nullptr;
    std::size_t slot = hash_slot(key, n);
    for (std::size_t probes = 0; probes < n; ++probes, slot = (slot + 1) % n) {
        int32_t idx = t.slots[slot];
        if (!live(t, idx))
            return nullptr;
        symbol &e = g_area[static_cast<std::size_t>(idx)];
        if (std::strcmp(e.name, key) == 0 && (!kind_filter || e.kind == 253 || e.kind == 255))
            return &e;
    }
    error_here("%s", kHashFull); // unreachable while one slot stays empty
    return nullptr;
}

void insert_at_hash(SymbolTableId id, int32_t idx, const char *key) {
    Table &t = table_of(id);
    const std::size_t n = t.slots.size();
    std::size_t slot = hash_slot(key, n);
    for (std::size_t probes = 0; probes < n; ++probes, slot = (slot + 1) % n) {
        int32_t old = t.slots[slot];
        if (live(t, old))
            continue;
        if (old == kNoEntry) {
            if (t.used_slots + 1 >= n) // keep one empty slot so every lookup ends
                break;
            ++t.used_slots;
        }
        t.slots[slot] = idx;
        if (compile_mode_word() != 0) {
            if (g_hashfix.size() < g_hashfix.capacity())
                g_hashfix.push_back(HashfixSlot{id, slot});
            else
                error_here("%s", "Internal limit: Hashfix table overflow.");
        }
        return;
    }
    stop_compile(kHashFull, nullptr);
}

const char *stable_file_name() {
    const char *f = get_error_file_name();
    if (!f || !*f)
        return kNoFile;
    return g_decl_files.emplace(f).first->c_str();
}

void report_previously_defined_name(const char *name) {
    std::string_view text = string_resource(491);
    error_here(text.empty() ? "%s previously defined." : text.data(), name);
}

std::size_t symbol_index(const symbol *e) { return static_cast<std::size_t>(e - g_area.data()); }

uint16_t computed_size(symbol *e) {
    object node;
    obj_from_symbol(&node, e);
    uint32_t size = obj_size(&node, 1);
    return static_cast<uint16_t>(std::min<uint32_t>(size, 0xFFFF));
}

symbol *make_entry(SymbolTableId id, const char *key, uint32_t declarator, int32_t type,
                   int16_t value, uint8_t kind, const uint16_t *dims, int dim_count) {
    Table &t = table_of(id);
    if (t.entry_limit < t.next_entry + 2)
        stop_compile(kHashFull, id == kGlobalTable
                                    ? "Global symbol table overflow, increase symbol table size."
                                    : "Local symbol table overflow, increase symbol table size.");
    std::size_t len = std::strlen(key);
    if (t.next_name + len + 1 > t.name_limit)
        stop_compile("Symbol ID space exhausted, use shorter names.",
                     "Symbol ID space exhausted, use shorter names.");

    std::size_t idx = t.next_entry;
    symbol &e = g_area[idx];
    e = symbol{};
    e.name = &g_names[t.next_name];
    std::memcpy(e.name, key, len + 1);
    t.next_name += len + 1;
    e.end_offset = static_cast<uint32_t>(idx + 1);
    e.flags[0] = (g_placement_xmem && kind != 1 && kind != 252) ? 1 : 0;
    e.flags[1] = 0x20;
    e.attribute = 4;
    e.type = static_cast<int16_t>(type);
    e.kind = kind;
    e.declarator = declarator;
    e.value = value;
    e.line = current_line();
    e.column = current_column();
    e.file = stable_file_name();
    assert(dim_count >= 0 && dim_count <= symbol::kMaxDims && "at most 7 array dimensions");
    e.dim_count = static_cast<uint8_t>(std::clamp(dim_count, 0, symbol::kMaxDims));
    for (int i = 0; i < e.dim_count; ++i)
        e.dims[i] = dims ? dims[i] : 0;
    e.size = computed_size(&e);
    insert_at_hash(id, static_cast<int32_t>(idx), key);
    t.next_entry = idx + 1;
    return &e;
}

bool is_function_declarator(uint32_t declarator) { return (declarator & 3) == 3; }

// The slot of the local hash table that holds entry `idx` of `key`.
std::size_t local_slot_of(const char *key, int32_t idx) {
    const Table &t = table_of(kLocalTable);
    const std::size_t n = t.slots.size();
    std::size_t slot = hash_slot(key, n);
    for (std::size_t probes = 0; probes < n && t.slots[slot] != idx; ++probes)
        slot = (slot + 1) % n;
    return slot;
}

// A block's own entry for a name declared outside the block: it takes the older entry's place
// in the probe sequence, so lookups meet it first, and the older entry moves to the new slot.
symbol *shadow_entry(symbol *outer, const char *key, uint32_t declarator, int32_t type,
                     int16_t value, uint8_t kind, const uint16_t *dims, int dim_count) {
    const auto outer_index = static_cast<int32_t>(symbol_index(outer));
    symbol *inner = make_entry(kLocalTable, key, declarator, type, value, kind, dims, dim_count);
    const auto inner_index = static_cast<int32_t>(symbol_index(inner));
    Table &t = table_of(kLocalTable);
    std::swap(t.slots[local_slot_of(key, outer_index)], t.slots[local_slot_of(key, inner_index)]);
    return inner;
}

// What the name of an entry that left scope becomes: no key holds its control character, so
// lookups pass over the entry while probe sequences through its slot stay unbroken.
char g_out_of_scope_name[] = "\x01";

} // namespace

void allocate_symbol_tables(uint16_t sym_limit) {
    std::size_t n = std::max<std::size_t>(sym_limit, 16);
    g_area.assign(n, symbol{});
    g_names.assign(n * kNameBytesPerSymbol, 0);
    g_tables[kGlobalTable].slots.assign(n + n / 4, kNoEntry);
    g_tables[kLocalTable].slots.assign(std::max<std::size_t>(n / 4, 128), kNoEntry);
    g_hashfix.clear();
    g_hashfix.reserve(n + n / 4);
    reset_global_symbols();
    place_local_symbol_table();
}

// Locals begin at three quarters of the areas, or behind the globals when these have grown past
// that point (the boundary slides up at global scope): live global entries and names are never
// handed to the local table.
void place_local_symbol_table() {
    Table &g = g_tables[kGlobalTable];
    Table &l = g_tables[kLocalTable];
    const std::size_t n = g_area.size();
    l.entry_start = l.next_entry = std::max(3 * n / 4, std::min(g.next_entry, n));
    l.entry_limit = n;
    l.name_start = l.next_name = std::max(3 * g_names.size() / 4, std::min(g.next_name, g_names.size()));
    l.name_limit = g_names.size();
    g.entry_limit = l.entry_start;
    g.name_limit = l.name_start;
    std::fill(l.slots.begin(), l.slots.end(), kNoEntry);
    l.used_slots = 0;
    l.last_entry = kNoEntry;
    g_block_marks.clear();
}

void reset_global_symbols() {
    Table &g = g_tables[kGlobalTable];
    std::fill(g.slots.begin(), g.slots.end(), kNoEntry);
    g.used_slots = 0;
    g.entry_start = g.next_entry = 0;
    g.entry_limit = 3 * g_area.size() / 4;
    g.name_start = g.next_name = 1; // names begin one byte into the area
    g.name_limit = 3 * g_names.size() / 4;
    g.last_entry = kNoEntry;
    g_hashfix.clear();
    g_global_mark = 0;
    g_last_found = nullptr;
    g_decl_files.clear();
}

void clear_local_symbols() {
    Table &l = g_tables[kLocalTable];
    std::fill(l.slots.begin(), l.slots.end(), kNoEntry);
    l.used_slots = 0;
    l.last_entry = kNoEntry;
    l.next_entry = l.entry_start;
    l.next_name = l.name_start;
    g_block_marks.clear();
    if (g_last_found && symbol_index(g_last_found) >= l.entry_start &&
        symbol_index(g_last_found) < g_area.size())
        g_last_found = nullptr;
}

// The boundary slides only while the local table is empty: its entries never move under it.
void reserve_symbol_areas() {
    if (g_local_scope)
        return;
    Table &g = g_tables[kGlobalTable];
    Table &l = g_tables[kLocalTable];
    if (l.next_entry != l.entry_start || l.next_name != l.name_start)
        return;
    const std::size_t n = g_area.size();
    if (n - g.next_entry > 512) {
        l.entry_start = l.next_entry = g.next_entry + 256;
        g.entry_limit = l.entry_start;
        l.entry_limit = n;
    }
    const std::size_t names = g_names.size();
    if (names - g.next_name > 512 * kNameBytesPerSymbol) {
        l.name_start = l.next_name = g.next_name + 256 * kNameBytesPerSymbol;
        g.name_limit = l.name_start;
        l.name_limit = names;
    }
}

symbol *find_symbol(const char *name, bool kind_filter, SymbolTableId table) {
    char key[kMaxIdentifier + 1];
    make_key(name, key);
    symbol *e = find_in(table, key, kind_filter);
    if (e)
        g_last_found = e;
    return e;
}

symbol *last_symbol_found() { return g_last_found; }

symbol *add_symbol(const char *name, uint32_t declarator, int32_t type, int16_t value,
                   uint8_t kind, const uint16_t *dims, int dim_count) {
    assert(!g_area.empty() && "allocate_symbol_tables runs before any declaration");
    char key[kMaxIdentifier + 1];
    make_key(name, key);
    if (!g_local_scope)
        reserve_symbol_areas();
    if (is_keyword(key))
        serious_warning_here("%s is a keyword and should not be used as an identifier.", key);

    SymbolTableId id = kLocalTable;
    bool filter = false;
    switch (kind) {
    case 1: case 7: case 9: case 252: case 254: id = kGlobalTable; break;
    case 255: id = kGlobalTable; filter = true; break;
    case 253: filter = true; break;
    default: break;
    }
    const uint8_t stored_kind = kind == 254 ? 3 : kind;
    Table &t = table_of(id);

    symbol *e = find_in(id, key, filter);
    if (!e) {
        e = make_entry(id, key, declarator, type, value, stored_kind, dims, dim_count);
        t.last_entry = static_cast<int32_t>(symbol_index(e));
        return e;
    }
    if (id == kLocalTable && !g_block_marks.empty() && symbol_index(e) < g_block_marks.back() &&
        stored_kind != 11 && e->kind != 11) {
        e = shadow_entry(e, key, declarator, type, value, stored_kind, dims, dim_count);
        t.last_entry = static_cast<int32_t>(symbol_index(e));
        return e;
    }

    if (is_function_declarator(declarator) && is_function_declarator(e->declarator)) {
        if (declarator == e->declarator && type == e->type) {
            if (e->value == 0)
                e->value = value;
            else if (value != 0)
                report_previously_defined_name(key);
        } else {
            error_here("%s", "Return type (re)declared differently after use.");
        }
    } else if (((kind == 1 && e->kind == 252) || (kind == 252 && (e->kind == 1 || e->kind == 252))) &&
               type == e->type && declarator == e->declarator) {
        const int count = std::clamp(std::max<int>(dim_count, e->dim_count), 0, symbol::kMaxDims);
        bool mismatch = false;
        for (int i = 0; i < count; ++i) {
            uint16_t old_dim = i < e->dim_count ? e->dims[i] : 0;
            uint16_t new_dim = (dims && i < dim_count) ? dims[i] : 0;
            if (old_dim && new_dim && old_dim != new_dim)
                mismatch = true;
        }
        if (mismatch)
            error_here("Type does not match declaration on line %d of file %s.", e->line,
                       e->file ? e->file : kNoFile);
        for (int i = 0; i < count; ++i) {
            uint16_t new_dim = (dims && i < dim_count) ? dims[i] : 0;
            if (kind == 252 && i < e->dim_count && e->dims[i] != 0)
                continue;
            e->dims[i] = new_dim;
        }
        e->dim_count = static_cast<uint8_t>(count);
        const char *current = get_error_file_name();
        if (current && *current) {
            e->file = stable_file_name();
            e->line = current_line();
            e->column = current_column();
        }
    } else {
        if (kind == 1)
            e->value = value;
        if (kind == 253 || kind == 255) {
            std::string shown(key);
            shown.resize(shown.size() > 3 ? shown.size() - 3 : 0);
            report_previously_defined_name(shown.c_str());
        } else if (kind != 252) {
            report_previously_defined_name(key);
        }
    }
    t.last_entry = static_cast<int32_t>(symbol_index(e));
    return e;
}

// name[0..28] then "_", "`"+(n>>4) and "A"+(n&15); a longer name keeps its last character at 28.
// Numbers up to 431 give "`".."z"; larger ones continue with bytes 128..255 (letters), so the
// suffix never holds a byte that ends an identifier.
static char mangle_high_letter(unsigned number) {
    unsigned k = number >> 4;
    if (k <= 26)
        return static_cast<char>(96 + k);
    return static_cast<char>(128 + (k - 27) % 128);
}

int mangle_local_name(char *name, unsigned number) {
    if (is_keyword(name))
        serious_warning_here("%s is a keyword and should not be used as an identifier.", name);
    std::size_t len = std::strlen(name);
    if (len > 29) {
        name[28] = name[len - 1];
        len = 29;
    }
    name[len++] = '_';
    name[len++] = mangle_high_letter(number);
    name[len++] = static_cast<char>(65 + (number & 15));
    name[len] = 0;
    return 1;
}

symbol *symbol_entry(SymbolTableId table, std::size_t n) {
    const Table &t = table_of(table);
    if (n >= t.next_entry - t.entry_start)
        return nullptr;
    return &g_area[t.entry_start + n];
}

void set_local_scope(bool local) { g_local_scope = local; }
bool local_scope() { return g_local_scope; }
void set_placement_switch(bool xmem) { g_placement_xmem = xmem; }
void set_at_sign_names(bool on) { g_at_sign_names = on; }

void open_local_block() { g_block_marks.push_back(table_of(kLocalTable).next_entry); }

void close_local_block() {
    if (g_block_marks.empty())
        return;
    const std::size_t mark = g_block_marks.back();
    g_block_marks.pop_back();
    const Table &t = table_of(kLocalTable);
    for (std::size_t i = std::max(mark, t.entry_start); i < t.next_entry; ++i) {
        symbol &e = g_area[i];
        if (e.kind != 11 && e.kind != 253)
            e.name = g_out_of_scope_name;
    }
}

std::vector<symbol *> local_block_symbols() {
    std::vector<symbol *> out;
    if (g_block_marks.empty())
        return out;
    const Table &t = table_of(kLocalTable);
    for (std::size_t i = std::max(g_block_marks.back(), t.entry_start); i < t.next_entry; ++i)
        out.push_back(&g_area[i]);
    return out;
}

void set_global_symbol_mark() { g_global_mark = g_tables[kGlobalTable].next_entry; }

void rollback_global_symbols() {
    for (const HashfixSlot &h : g_hashfix) {
        Table &t = table_of(h.table);
        if (t.slots[h.slot] != kNoEntry) {
            t.slots[h.slot] = kNoEntry;
            --t.used_slots;
        }
    }
    g_hashfix.clear();
    Table &g = g_tables[kGlobalTable];
    if (g_global_mark < g.next_entry) {
        g.next_entry = g_global_mark;
        // names of the dropped entries go back too
        std::size_t name_end = g.name_start;
        for (std::size_t i = g.entry_start; i < g.next_entry; ++i)
            name_end = std::max(name_end, static_cast<std::size_t>(g_area[i].name - g_names.data()) +
                                              std::strlen(g_area[i].name) + 1);
        g.next_name = name_end;
    }
    if (g_last_found && symbol_index(g_last_found) >= g_global_mark &&
        symbol_index(g_last_found) < g_tables[kLocalTable].entry_start)
        g_last_found = nullptr;
}

void clear_hashfix_list() { g_hashfix.clear(); }
std::size_t hashfix_count() { return g_hashfix.size(); }

SymbolTableInfo symbol_table_info(SymbolTableId table) {
    const Table &t = table_of(table);
    return SymbolTableInfo{t.slots.size(), t.entry_start, t.entry_limit, t.next_entry,
                           t.name_start, t.name_limit, t.next_name};
}
std::size_t symbol_area_size() { return g_area.size(); }
std::size_t name_area_size() { return g_names.size(); }

// ---- tag tables ---------------------------------------------------------------------------------

namespace {

struct TagTable {
    std::vector<TagRecord> tags;
    std::vector<TagMember> members;
};

TagTable g_tags[2]; // global, local

TagTable &new_tag_table(TagTable &t, std::size_t tags, std::size_t members) {
    t.tags.clear();
    t.members.clear();
    t.tags.reserve(tags);
    t.members.reserve(members);
    return t;
}

// The record a type code names, with its table; nullptr when the code is no tag.
TagRecord *tag_record(int32_t code, TagTable **table = nullptr) {
    if (code < 16)
        return nullptr;
    std::size_t i = static_cast<std::size_t>(code - 16);
    const std::size_t globals = g_tags[0].tags.size();
    TagTable *t = nullptr;
    if (i < globals) {
        t = &g_tags[0];
    } else if (i - globals < g_tags[1].tags.size()) {
        t = &g_tags[1];
        i -= globals;
    } else {
        return nullptr;
    }
    if (table)
        *table = t;
    return &t->tags[i];
}

int32_t find_in_scope(int scope, const char *cut) {
    const TagTable &t = g_tags[scope];
    for (std::size_t i = 0; i < t.tags.size(); ++i)
        if (cut[0] && std::strcmp(t.tags[i].name, cut) == 0)
            return static_cast<int32_t>(16 + (scope ? g_tags[0].tags.size() : 0) + i);
    return -1;
}

void cut_tag_name(const char *name, char out[kMaxIdentifier + 1]) {
    std::size_t n = 0;
    while (name && name[n] && n < kMaxIdentifier) {
        out[n] = name[n];
        ++n;
    }
    out[n] = 0;
}

} // namespace

int32_t add_tag(int kind, const char *name) {
    if (kind < kTagStruct || kind > kTagEnum)
        return kTagRefused;
    const int scope = g_local_scope ? 1 : 0;
    char cut[kMaxIdentifier + 1];
    cut_tag_name(name, cut);
    if (find_in_scope(scope, cut) >= 0)
        return -1;
    const std::size_t total = g_tags[0].tags.size() + g_tags[1].tags.size();
    if (16 + total >= 0x8000) // type codes are signed 16-bit
        return kTagRefused;
    TagRecord r;
    r.kind = static_cast<int16_t>(kind);
    std::memcpy(r.name, cut, sizeof r.name);
    g_tags[scope].tags.push_back(r);
    return static_cast<int32_t>(16 + (scope ? g_tags[0].tags.size() : 0) + g_tags[scope].tags.size() - 1);
}

int32_t find_tag(const char *name) {
    char cut[kMaxIdentifier + 1];
    cut_tag_name(name, cut);
    if (g_local_scope) {
        int32_t code = find_in_scope(1, cut);
        if (code >= 0)
            return code;
    }
    return find_in_scope(0, cut);
}

int tag_scope(int32_t code) {
    TagTable *t = nullptr;
    if (!tag_record(code, &t))
        return -1;
    return t == &g_tags[0] ? 0 : 1;
}

int tag_kind(int32_t code) {
    const TagRecord *r = tag_record(code);
    return r ? r->kind : -1;
}

int32_t tag_size(int32_t code) {
    const TagRecord *r = tag_record(code);
    return r ? r->size : -1;
}

const char *tag_name(int32_t code) {
    const TagRecord *r = tag_record(code);
    return r ? r->name : nullptr;
}

int tag_defined(int32_t code) {
    const TagRecord *r = tag_record(code);
    return r ? r->defined : 0;
}

int set_tag_size(int32_t code, uint16_t size) {
    TagRecord *r = tag_record(code);
    if (!r || r->kind == kTagEnum)
        return -1;
    r->size = size;
    return 0;
}

int set_tag_defined(int32_t code, uint8_t defined) {
    TagRecord *r = tag_record(code);
    if (!r || r->kind == kTagEnum)
        return -1;
    r->defined = defined;
    return 0;
}

int add_tag_member(int32_t code, symbol *member) {
    TagTable *t = nullptr;
    TagRecord *r = tag_record(code, &t);
    if (!r || r->kind == kTagEnum)
        return -1;
    auto idx = static_cast<int32_t>(t->members.size());
    t->members.push_back(TagMember{member, -1});
    if (r->last_member >= 0)
        t->members[static_cast<std::size_t>(r->last_member)].next = idx;
    else
        r->first_member = idx;
    r->last_member = idx;
    return 0;
}

symbol *next_tag_member(int32_t code, int32_t &cursor) {
    TagTable *t = nullptr;
    const TagRecord *r = tag_record(code, &t);
    if (!r)
        return nullptr;
    int32_t next;
    if (cursor < 0)
        next = r->first_member;
    else if (static_cast<std::size_t>(cursor) < t->members.size())
        next = t->members[static_cast<std::size_t>(cursor)].next;
    else
        next = -1;
    if (next < 0)
        return nullptr;
    cursor = next;
    return t->members[static_cast<std::size_t>(next)].member;
}

bool is_tag_type(int32_t code) {
    return code >= 16 &&
           static_cast<std::size_t>(code) < 16 + g_tags[0].tags.size() + g_tags[1].tags.size();
}

void clear_local_tags() { new_tag_table(g_tags[1], 128, 256); }
void clear_global_tags() { new_tag_table(g_tags[0], 512, 1024); }

void save_global_tags(TagTableSnapshot &out) {
    out.tags = g_tags[0].tags;
    out.members = g_tags[0].members;
}

void restore_global_tags(const TagTableSnapshot &in) {
    g_tags[0].tags = in.tags;
    g_tags[0].members = in.members;
}

// ---- the global table saved with the BIOS compile state -------------------------------------------

struct GlobalSymbolSnapshot {
    std::size_t area_size = 0;          // geometry the snapshot belongs to
    std::size_t name_area_size = 0;
    Table table;                        // the global table's slots and bounds
    std::vector<symbol> entries;        // [entry start, next entry)
    std::vector<std::size_t> name_offsets;
    std::vector<std::string> files;
    std::vector<char> names;            // [0, next name)
    std::size_t global_mark = 0;
};

std::shared_ptr<const GlobalSymbolSnapshot> save_global_symbols() {
    auto snap = std::make_shared<GlobalSymbolSnapshot>();
    const Table &g = g_tables[kGlobalTable];
    snap->area_size = g_area.size();
    snap->name_area_size = g_names.size();
    snap->table = g;
    snap->entries.assign(g_area.begin() + static_cast<std::ptrdiff_t>(g.entry_start),
                         g_area.begin() + static_cast<std::ptrdiff_t>(g.next_entry));
    for (const symbol &e : snap->entries) {
        snap->name_offsets.push_back(e.name ? static_cast<std::size_t>(e.name - g_names.data()) : 0);
        snap->files.emplace_back(e.file ? e.file : "");
    }
    snap->names.assign(g_names.begin(), g_names.begin() + static_cast<std::ptrdiff_t>(g.next_name));
    snap->global_mark = g_global_mark;
    return snap;
}

bool restore_global_symbols(const GlobalSymbolSnapshot &snap) {
    if (snap.area_size != g_area.size() || snap.name_area_size != g_names.size())
        return false;
    Table &g = g_tables[kGlobalTable];
    g = snap.table;
    std::copy(snap.names.begin(), snap.names.end(), g_names.begin());
    for (std::size_t i = 0; i < snap.entries.size(); ++i) {
        symbol &e = g_area[g.entry_start + i];
        e = snap.entries[i];
        // the copies point into the live areas, never into the snapshot
        e.name = e.name ? g_names.data() + snap.name_offsets[i] : nullptr;
        e.file = snap.files[i].empty() ? kNoFile : g_decl_files.emplace(snap.files[i]).first->c_str();
    }
    g_global_mark = snap.global_mark;
    g_hashfix.clear();
    g_last_found = nullptr;
    place_local_symbol_table();
    return true;
}
