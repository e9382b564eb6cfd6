// CC_XDATA: the xmem code-space allocator and the separate xdata area.
// Every reservation starts where the xmem code cache stands, so data and the xmem code that
// follows share one running end; only the origin decides whether there is room.
#include "CC_XDATA.h"

#include "CC_DECLR.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "CC_HIER.h"
#include "input/CC_IN.h"
#include "CC_LABELS.h"
#include "core/CC_OBJ.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "codegen/CC_Z80GEN.h"
#include "linker/EMITCACHE.h"
#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_LINKER.h"

#include <algorithm>
#include <vector>

namespace {

uint32_t g_xmem_pointer = 0;  // physical start of the last reservation
uint32_t g_xdata_pointer = 0;  // next free physical address of the separate xdata area
uint32_t g_xdata_bound = 0;
bool g_separate = false;

// True when `count` bytes from the physical address `at` lie inside the origin. Data always
// grows upward; an origin that a falling cache fills has no room for it.
bool origin_has_room(const EmitOriginExtent &o, int direction, uint32_t at, uint32_t count)
{
    if (o.size == 0 || direction < 0)
        return false;
    const uint64_t low = addr_to_physical(o.start);
    const uint64_t end = low + o.size;  // one past the last byte
    return at >= low && uint64_t(at) + count <= end;
}

}  // namespace

void init_xdata_allocator(uint32_t bound, std::optional<uint32_t> separate_start)
{
    g_xdata_bound = bound;
    g_separate = separate_start.has_value();
    g_xmem_pointer = addr_to_physical(xmem_code_cache().current);
    g_xdata_pointer = g_separate ? (*separate_start & kPhysicalMask) : g_xmem_pointer;
}

uint32_t next_xdata_address()
{
    return g_separate ? g_xdata_pointer : addr_to_physical(xmem_code_cache().current);
}

std::optional<ADDR24> allocCodeSpace(uint32_t count)
{
    EmitCache &cache = xmem_code_cache();
    EmitOriginTable *table = emit_origin_table();
    // A chain of followers that leads back to an origin already tried has no room either.
    std::vector<int32_t> tried;
    for (;;) {
        g_xmem_pointer = addr_to_physical(cache.current);
        const EmitOriginExtent *origin = table ? table->origin_at(cache.origin_index) : nullptr;
        if (origin && origin_has_room(*origin, cache.direction, g_xmem_pointer, count)) {
            const ADDR24 at = physical_to_addr(g_xmem_pointer);
            codegen_seam().set_code_address(at);
            return at;
        }
        tried.push_back(cache.origin_index);
        const int32_t next = origin ? origin->follower : -1;
        if (!table || !table->origin_at(next) ||
            std::find(tried.begin(), tried.end(), next) != tried.end())
            break;
        table->select_origin(next);
    }
    error_here("%s", msg(kMsgOutOfXmemCode));
    return std::nullopt;
}

std::optional<uint32_t> reserve_xdata_space(uint32_t count)
{
    if (!g_separate) {
        const std::optional<ADDR24> at = allocCodeSpace(count);
        if (!at)
            return std::nullopt;
        return addr_to_physical(*at);
    }
    if (uint64_t(g_xdata_pointer) + count > g_xdata_bound) {
        error_here("%s", msg(kMsgOutOfXmemRam));
        return std::nullopt;
    }
    const uint32_t at = g_xdata_pointer;
    g_xdata_pointer += count;
    return at;
}

uint32_t xmem_allocation_pointer() { return g_xmem_pointer; }
uint32_t xdata_bound() { return g_xdata_bound; }
bool separate_xdata_mode() { return g_separate; }

void emit_xmem_bytes(EmitCache &cache, const uint8_t *bytes, std::size_t count)
{
    const uint32_t page_last = uint32_t(window_start()) + 0x0FFF;
    for (std::size_t i = 0; i < count; ++i) {
        if (addr_offset(cache.current) < page_last) {
            cache.EmitByte(bytes[i]);
            continue;
        }
        const ADDR24 next = addr_add(cache.current, 1);
        cache.EmitByte(bytes[i]);
        cache.SetAddress(next);
    }
}

// ---- xstring and xdata --------------------------------------------------------------------------

namespace {

using Bytes = std::vector<uint8_t>;

char peek_across_lines()
{
    skip_blanks_across_lines();
    return *input_pointer();
}

bool at_end_of_input() { return peek_across_lines() == '\0' && end_of_input(); }

void append_le(Bytes &out, uint32_t value, uint32_t size)
{
    for (uint32_t i = 0; i < size; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Steps over a token no list item starts with: a run of identifier characters (a word or a
// number), else one character. Brackets are not matched: the list is being read over.
void step_over_token()
{
    const char *before = input_pointer();
    char word[kMaxIdentifier + 1];
    if (!scan_identifier(word, false, true) && input_pointer() == before)
        advance_input(1);
}

// Whether a value can start with the character: no closing bracket or separator does.
bool value_can_start(char c)
{
    return c != ')' && c != ']' && c != '}' && c != ',' && c != ';' && c != ':' && c != '?' &&
           c != '\0';
}

// Writes bytes to the space `reserve_xdata_space` gave them: in xmem code space through the
// xmem code cache (which then stands behind them), in the separate xdata area straight to the
// target.
void write_placed(uint32_t at, const Bytes &bytes)
{
    if (bytes.empty())
        return;
    const ADDR24 start = physical_to_addr(at);
    if (separate_xdata_mode()) {
        linker_seam().ui_send_block(static_cast<uint32_t>(bytes.size()), start, bytes.data());
        return;
    }
    EmitCache &cache = xmem_code_cache();
    cache.SetAddress(start);
    emit_xmem_bytes(cache, bytes.data(), bytes.size());
    record_listing_range(start, cache.current, kListData);
}

// A list's end: "}" consumed (true). At the end of the input, or at a ";" (the list lost its
// "}", the declaration ends there), one 492, `broken` set and true without consuming.
bool list_ends(bool &broken)
{
    if (at_end_of_input() || peek_across_lines() == ';') {
        report_missing("}");
        broken = true;
        return true;
    }
    if (peek_across_lines() != '}')
        return false;
    advance_input(1);
    return true;
}

// "{" string {"," string} "}" after its "{": the strings, then the table of their physical
// addresses, placed in one piece. The table's physical address, or 0 when nothing was placed.
uint32_t xstring_body()
{
    Bytes text;
    std::vector<uint32_t> offsets;
    bool first = true;
    bool limit_reported = false;
    bool broken = false;  // what was read is placed all the same
    while (!list_ends(broken)) {
        if (!first) {
            if (peek_across_lines() == ',') {
                advance_input(1);
                if (list_ends(broken))  // a "," before the "}" ends nothing more
                    break;
            } else {
                report_missing(",");
            }
        }
        first = false;
        if (peek_across_lines() != '"') {
            report_missing("\"");
            // A token no string starts with is stepped over, else the next pass would stop on it
            // (the list's end was looked for before).
            step_over_token();
            continue;
        }
        advance_input(1);
        std::string literal;
        (void)read_literal_text(literal, 256, '"');
        if (offsets.size() >= kMaxXstrings) {
            if (!limit_reported)
                error_here("%s", msg(kMsgTooManyXstrings));
            limit_reported = true;
            continue;
        }
        offsets.push_back(static_cast<uint32_t>(text.size()));
        text.insert(text.end(), literal.begin(), literal.end());
        text.push_back(0);
    }

    // The table's entries are known once the strings have their place: both are reserved at
    // once, so that either all of it is placed or nothing.
    const std::size_t table = text.size();
    Bytes block = std::move(text);
    block.resize(table + 4 * offsets.size());
    const std::optional<uint32_t> at = reserve_xdata_space(static_cast<uint32_t>(block.size()));
    if (!at)
        return 0;
    for (std::size_t i = 0; i < offsets.size(); ++i)
        for (int b = 0; b < 4; ++b)
            block[table + 4 * i + b] = static_cast<uint8_t>((*at + offsets[i]) >> (8 * b));
    write_placed(*at, block);
    return *at + static_cast<uint32_t>(table);
}

// Bytes of a constant of a basic type; 0 for every other type.
uint32_t basic_type_size(uint16_t type)
{
    switch (type) {
    case kTypeChar:
        return 1;
    case kTypeInt:
    case kTypeUnsigned:
        return 2;
    case kTypeLong:
    case kTypeUnsignedLong:
    case kTypeFloat:
        return 4;
    default:
        return 0;
    }
}

// One value of an xdata list, appended to the block; false after its report.
bool xdata_value(const object &v, Bytes &block, std::vector<xFixInfo> &fixups)
{
    const bool named = v.sym && v.sym != placeholder_symbol();
    const uint32_t first = decl_level(v.declarator, 0);
    if (v.literal && v.sym == placeholder_symbol()) {
        const char *text = v.literal;
        block.insert(block.end(), text, text + literal_length(&v));
        block.push_back(0);
        return true;
    }
    // A function's name stands for its address, whatever levels the expression gave it.
    if (named && decl_level(v.sym->declarator, 0) == kDeclFunction) {
        const ADDR24 at = v.sym->address[0];
        if (at == kDummyAddress) {
            const bool xmem = (v.sym->flags[0] & 1) != 0;  // placed in xmem
            fixups.push_back({v.sym->name, static_cast<uint32_t>(block.size()),
                              xmem ? (kLabelLocal | kLabelGlobal | kLabelRepeatable)
                                   : (kLabelLocal | kLabelGlobal),
                              0});
        }
        append_le(block, addr_offset(at), 2);
        return true;
    }
    if (named && (v.address_of || first == kDeclArray)) {
        const uint16_t addend = static_cast<uint16_t>(v.value);
        if (v.sym->kind == kStorageExtern)
            fixups.push_back({v.sym->name, static_cast<uint32_t>(block.size()),
                              kLabelLocal | kLabelGlobal, addend});
        append_le(block, static_cast<uint16_t>(addr_offset(v.sym->address[0]) + addend), 2);
        return true;
    }
    const uint32_t size = v.declarator == 0 ? basic_type_size(v.type) : 0;
    if (size == 0) {
        error_here("%s", msg(kMsgXdataTypeNotAllowed));
        return false;
    }
    if (v.kind != 0) {
        error_here("%s", msg(kMsgDeclConstantExpected));
        return false;
    }
    append_le(block, v.value, size);
    return true;
}

// "{" value {"," value} "}" after its "{". The block's physical address, or 0 when a value
// failed (then nothing is placed).
uint32_t xdata_body()
{
    Bytes block;
    std::vector<xFixInfo> fixups;
    bool failed = false;
    while (!list_ends(failed)) {
        const char *before = input_pointer();  // at the value: list_ends skipped the blanks
        if (!value_can_start(peek_across_lines())) {
            report_missing(", / {");
            failed = true;
            step_over_token();
            continue;
        }
        {
            gObjectPool.push_mark();
            object *value = gObjectPool.new_object();
            const LiteralPool pool = literal_pool();
            {
                // The values are data: code a non-constant one makes is thrown away, and a
                // string lies in the block, not among the pooled literals.
                DiscardedCode discard;
                parse_expression(value, 1, 0, 0);
            }
            restore_literal_pool(pool);
            if (input_pointer() != before && !xdata_value(*value, block, fixups))
                failed = true;
            gObjectPool.pop_mark();
        }
        const char c = peek_across_lines();
        if (c == ',') {
            advance_input(1);
            continue;
        }
        if (c == '}' || c == ';' || c == '\0')
            continue;  // the loop's test ends the list
        report_missing(", / {");
        failed = true;
        // A token no value consumed is stepped over, else the next pass would stop on it.
        if (input_pointer() == before)
            step_over_token();
    }
    if (failed)
        return 0;
    const std::optional<uint32_t> at = reserve_xdata_space(static_cast<uint32_t>(block.size()));
    if (!at)
        return 0;
    for (const xFixInfo &f : fixups) {
        const ADDR24 position = physical_to_addr(*at + f.offset);
        const ADDR24 label = reference_label(f.name.c_str(), position, f.kind, f.addend);
        if (label != kDummyAddress) {
            const uint16_t word = static_cast<uint16_t>(addr_offset(label) + f.addend);
            block[f.offset] = static_cast<uint8_t>(word);
            block[f.offset + 1] = static_cast<uint8_t>(word >> 8);
        }
    }
    write_placed(*at, block);
    return *at;
}

// After a failed ";": the rest of the declaration up to and with its ";" on this line.
void skip_to_semicolon()
{
    for (const char *p = input_pointer(); *p; ++p) {
        if (*p == ';') {
            advance_input(static_cast<int>(p - input_pointer()) + 1);
            return;
        }
    }
    clear_line();
}

// The name as a 4-byte root variable holding `address`, in root code space. Nothing when the
// name is defined already (reported by the symbol table).
void define_xmem_name(const char *name, uint32_t address)
{
    const symbol *known = find_symbol(name, false, kGlobalTable);
    const bool completes_extern = known && known->kind == kStorageExtern &&
                                  known->type == kTypeUnsignedLong && known->declarator == 0;
    if (known && !completes_extern) {
        report_previously_defined(name);
        return;
    }
    symbol *s = add_symbol(name, 0, kTypeUnsignedLong, 0, kStorageNoneGlobal, nullptr, 0);
    EmitCache &root = root_code_cache();
    codegen_seam().set_code_address(root.current);
    s->kind = kStorageNoneGlobal;
    s->address[0] = root.current;
    s->size = 4;
    define_label(name, root.current, kLabelGlobal);
    const ADDR24 start = root.current;
    for (int b = 0; b < 4; ++b)
        root.EmitByte(static_cast<uint8_t>(address >> (8 * b)));
    record_listing_range(start, root.current, kListData);
}

}  // namespace

int parse_xmem_declaration(bool in_function_body)
{
    skip_blanks_across_lines();
    const bool xstring = match_text("xstring") != 0;
    if (!xstring && !match_text("xdata"))
        return 0;
    const bool began_in_xmem = addr_offset(current_code_cache().current) >= window_start();

    // In a function body what is placed lies in the function's path (the name's 4 bytes in root
    // code, the data in xmem code): the code jumps over it.
    BranchRecord over{};
    if (in_function_body)
        over = gen_jump(kDummyAddress, kOpJp);

    char name[kMaxIdentifier + 1];
    const bool named = scan_identifier(name, true, true) != 0;
    if (!named)
        report_missing("identifier");
    uint32_t address = 0;
    bool ended = false;  // the declaration was read up to and with its ";"
    if (peek_across_lines() == '{') {
        advance_input(1);
        address = xstring ? xstring_body() : xdata_body();
    } else if (!xstring && peek_across_lines() == '[') {
        error_here("%s", msg(kMsgXdataNotConstant));
    } else {
        report_missing(xstring ? "{...}" : "{...} / [...]");
        skip_to_semicolon();  // what stands there instead is no part of a list: one report
        ended = true;
    }
    if (ended || at_end_of_input()) {
        // at the end of the input the open list was the one report
    } else if (peek_across_lines() == ';') {
        advance_input(1);
    } else {
        report_missing(";");
        skip_to_semicolon();
    }

    if (named)
        define_xmem_name(name, address);
    EmitCache &back = began_in_xmem ? xmem_code_cache() : root_code_cache();
    codegen_seam().set_code_address(back.current);
    if (in_function_body)
        patch_jump(over, current_code_cache().current);
    return 1;
}
