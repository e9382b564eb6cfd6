// CC_WEB: the "#web" extension (see the header for the directives and the target format).
#include "CC_WEB.h"

#include "CC_DECL.h"
#include "CC_DECLR.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "CC_HIER.h"
#include "input/CC_IN.h"
#include "CC_LABELS.h"
#include "CC_PARSE.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "codegen/CC_Z80.h"
#include "codegen/CC_Z80GEN.h"
#include "codegen/CC_Z80LOAD.h"
#include "linker/EMITCACHE.h"
#include "core/SEAM_CODEGEN.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

ObjectPool gWebPool(64);

namespace {

std::map<std::string, WebVariable> gWebVariables;
uint16_t gWebVarCount = 0;
std::map<std::string, uint16_t> gWebGroups;
uint16_t gWebGroupBit = 1;
uint16_t gWebUpdateCount = 0;
bool gWebDebug = false;

// The guard being compiled: "$" is allowed only there.
bool g_in_guard = false;

enum : uint8_t { kAuthNone = 1, kAuthBasic = 2, kAuthDigest = 4, kAuthSsl = 8 };
// Basic type codes of the tables beside the compiler's own.
enum : uint16_t { kWebText = 9, kWebPointer = 12 };

// A member's scope-unique name ends in "_" and two letters: its own name is the rest.
std::string member_own_name(const symbol *sym)
{
    std::string name = sym->name ? sym->name : "";
    if (sym->kind == 253 || sym->kind == 255)
        name.resize(name.size() >= 3 ? name.size() - 3 : 0);
    return name;
}

// The leading array levels of a declarator word.
int array_levels(uint32_t declarator)
{
    int n = 0;
    while (n < 8 && decl_level(declarator, n) == kDeclArray)
        ++n;
    return n;
}

// A structure held by value, or an array of them: one that has a descriptor. A pointer level
// anywhere makes it a pointer, whose target the tables do not describe (a structure may point to
// its own type).
bool described_structure(const symbol *sym)
{
    if (sym->type < kTypeFirstTag)
        return false;
    const int arrays = array_levels(sym->declarator);
    return (sym->declarator >> (4 * arrays)) == 0;
}

bool is_text(const symbol *sym)
{
    return sym->type == kTypeChar && decl_level(sym->declarator, 0) == kDeclArray;
}

// The type field of a table entry whose symbol has no descriptor laid down.
uint16_t basic_type(const symbol *sym)
{
    if (is_text(sym))
        return kWebText;
    if (sym->type >= kTypeFirstTag)
        return kWebPointer;
    return static_cast<uint16_t>(sym->type);
}

// ---- the constant area -------------------------------------------------------------------------

EmitCache &area() { return constant_cache(); }
uint16_t area_address() { return addr_offset(area().current); }

void lay_byte(uint8_t b) { area().EmitByte(b); }
void lay_word(uint16_t w)
{
    lay_byte(static_cast<uint8_t>(w));
    lay_byte(static_cast<uint8_t>(w >> 8));
}
void lay_long(uint32_t v)
{
    lay_word(static_cast<uint16_t>(v));
    lay_word(static_cast<uint16_t>(v >> 16));
}

// A word naming a label: its address when known, else 0 patched when the label is defined.
void lay_label_word(const char *name)
{
    const ADDR24 at = reference_label(name, area(), kLabelGlobal);
    lay_word(at == kDummyAddress ? 0 : addr_offset(at));
}

// The address of a variable: known once it was allocated, else through its label.
void lay_symbol_address(const symbol *sym)
{
    if (sym->address[0] != kDummyAddress)
        lay_word(addr_offset(sym->address[0]));
    else
        lay_label_word(sym->name);
}

// The address of a pooled literal's text, which output_pending_stubs has written.
void lay_literal_address(const object *literal)
{
    if (literal->kind == 0 && literal->sym != placeholder_symbol()) {
        lay_word(static_cast<uint16_t>(literal->value));
        return;
    }
    lay_label_word(literal->name ? literal->name : "");
}

// ---- small scanners ----------------------------------------------------------------------------

char peek_across_lines()
{
    skip_blanks_across_lines();
    return *input_pointer();
}

// A character of the syntax: consumed (its bracket noted) when it stands there.
bool take(char c)
{
    const char text[2] = {c, 0};
    return match_text(text) != 0;
}

// A closing ")" or "]" the syntax needs: consumed, else reported and taken as read.
void expect_closing(char c)
{
    if (take(c))
        return;
    report_missing_char(c);
    note_bracket(c, current_line(), current_column());
}

// A signed constant: its value with the type's sign (int and char as 16 and 8 bits).
bool constant_value(int32_t &value)
{
    const int reports = errors_seen();
    const uint32_t raw = parse_long_constant_expression();
    if (errors_seen() != reports)
        return false;
    switch (last_constant_type()) {
    case kTypeChar: value = static_cast<int32_t>(raw & 0xFF); break;
    case kTypeInt: value = static_cast<int16_t>(raw); break;
    case kTypeUnsigned: value = static_cast<int32_t>(raw & 0xFFFF); break;
    default: value = static_cast<int32_t>(raw); break;
    }
    return true;
}

// ---- references --------------------------------------------------------------------------------

// The node of a name: the local table, then the global one; nullptr when neither has it.
bool name_node(object *node)
{
    char name[kMaxIdentifier + 1] = {};
    skip_blanks();
    if (!scan_identifier(name, false, false))
        return false;
    symbol *sym = find_symbol(name, false, kLocalTable);
    if (!sym)
        sym = find_symbol(name, false, kGlobalTable);
    if (!sym)
        return false;
    obj_from_symbol(node, sym);
    return true;
}

// "." member: the node moves to the member; false after 449.
bool member_step(WebPath &path, object *node)
{
    char name[kMaxIdentifier + 1] = {};
    symbol *member = nullptr;
    if (node->type >= kTypeFirstTag && node->declarator == 0 && scan_identifier(name, false, false))
        member = find_member(name, node->type);
    if (!member) {
        error_here("%s", msg(kMsgWebBadMember));
        return false;
    }
    node->value += static_cast<uint32_t>(static_cast<int32_t>(member->value));
    node->type = static_cast<uint16_t>(member->type);
    node->declarator = member->declarator;
    node->dims = member->dims;
    node->dim_count = member->dim_count;
    node->flags[0] = static_cast<uint8_t>((node->flags[0] & ~0x0C) | (member->flags[0] & 0x0C) | 1);
    path.push_back(WebPathElement{member, {}});
    return true;
}

// Bytes of one element of the array level the node has first.
uint32_t element_size(const object *node)
{
    object element = *node;
    element.declarator >>= 4;
    if (element.dims && element.dim_count) {
        ++element.dims;
        --element.dim_count;
    }
    switch (decl_level(element.declarator, 0)) {
    case kDeclArray: return obj_array_size(&element);
    case kDeclPointer: return 2;
    default: return type_size(element.type);
    }
}

// "[" subscript "]", the "[" consumed: false after a report.
bool subscript_step(WebPath &path, object *node, bool allow_offset, bool &wildcard)
{
    std::vector<int32_t> &subscripts = path.back().subscripts;
    bool ok = true;
    if (subscripts.size() >= kMaxWebSubscripts) {
        error_here(msg(kMsgWebTooManyDimensions), static_cast<int>(kMaxWebSubscripts));
        ok = false;
    }
    const bool array = decl_level(node->declarator, 0) == kDeclArray;
    int32_t subscript = -1;
    skip_blanks_across_lines();
    if (take('@')) {
        wildcard = true;
        if (allow_offset) {
            subscript = -2;
            skip_blanks();
            if (take('[')) {
                int32_t n = 0;
                if (constant_value(n) && n >= 0)
                    subscript = -2 - n;
                else
                    ok = false;
                skip_blanks();
                expect_closing(']');
            }
        }
    } else {
        int32_t index = 0;
        if (!constant_value(index)) {
            ok = false;
        } else if (!array) {
            // A fixed element of what is no array lies nowhere the tables could name.
            const char *name = obj_name(node);
            error_here(msg(kMsgWebCannotSubscript), name ? name : "unknown",
                       format_type_name(node->type, node->declarator, nullptr).c_str());
            ok = false;
        } else {
            const uint16_t dimension = node->dims && node->dim_count ? node->dims[0] : 0;
            // A negative index would read as a wildcard, one past the end names nothing.
            if (index < 0 || (dimension != 0 && index >= dimension)) {
                error_here("%s", msg(kMsgWebIndexOutOfBounds));
                ok = false;
            } else if (ok) {
                node->value += static_cast<uint32_t>(index) * element_size(node);
            }
        }
        subscript = index;
    }
    if (ok)
        subscripts.push_back(subscript);
    if (array) {
        node->declarator >>= 4;
        if (node->dims && node->dim_count) {
            ++node->dims;
            --node->dim_count;
        }
    }
    skip_blanks_across_lines();
    expect_closing(']');
    return ok;
}

}  // namespace

bool parse_web_reference(WebPath &path, object *node, bool allow_offset, bool &wildcard)
{
    gWebPool.push_mark();
    struct PopMark {
        ~PopMark() { gWebPool.pop_mark(); }
    } pop_mark;
    flush_emit_caches();
    if (!node)
        node = gWebPool.new_object();
    wildcard = false;
    if (!name_node(node)) {
        error_here("%s", msg(kMsgWebNameExpected));
        return false;
    }
    path.push_back(WebPathElement{node->sym, {}});
    bool ok = true;
    for (;;) {
        const char c = *input_pointer();
        if (c == '.') {
            advance_input(1);
            if (!member_step(path, node))
                return false;  // nothing after it can be matched any more
        } else if (c == '[') {
            (void)take('[');
            ok = subscript_step(path, node, allow_offset, wildcard) && ok;
        } else {
            break;
        }
    }
    return ok;
}

void append_path_element_text(std::string &text, const WebPathElement &element, bool not_last)
{
    text += member_own_name(element.sym);
    for (const int32_t s : element.subscripts) {
        if (s >= 0)
            text += "[" + std::to_string(s) + "]";
        else if (s == -1)
            text += "[@]";
        else
            text += "[@[" + std::to_string(-2 - s) + "]]";
    }
    if (not_last && element.sym->type >= kTypeFirstTag)
        text += ".";
}

void web_reference_text(std::string &text, const WebPath &path)
{
    text.clear();
    for (std::size_t i = 0; i < path.size(); ++i)
        append_path_element_text(text, path[i], i + 1 < path.size());
}

object *web_string_literal(const std::string &text)
{
    const std::string quoted = "\"" + text + "\"";
    const LexerPlace place = lexer_place();
    set_input_pointer(quoted.c_str());
    object *node = gWebPool.new_object();
    (void)parse_string_literal(node, true);
    restore_lexer_place(place);
    return node;
}

// ---- declarations ------------------------------------------------------------------------------

namespace {

// The guard expression, the "(" consumed; its entry is listed with the variable.
void compile_guard(WebVariable &record, bool wildcard)
{
    struct InGuard {
        InGuard() { g_in_guard = true; }
        ~InGuard() { g_in_guard = false; }
    } in_guard;
    const ADDR24 entry = compile_web_guard(gWebDebug, wildcard);
    record.guards.push_back(addr_offset(entry));
    skip_blanks_across_lines();
    if (!take(')')) {
        error_here("%s", msg(kMsgWebUnmatchedParen));
        note_bracket(')', current_line(), current_column());
    }
}

// The methods after "auth".
void parse_auth_list(WebVariable &record)
{
    do {
        skip_blanks_across_lines();
        if (match_keyword("none"))
            record.auth |= kAuthNone;
        else if (match_keyword("basic"))
            record.auth |= kAuthBasic;
        else if (match_keyword("digest"))
            record.auth |= kAuthDigest;
        else if (match_keyword("ssl"))
            record.auth |= kAuthSsl;
        else {
            error_here("%s", msg(kMsgWebAuthMissing));
            skip_token();  // the word that is no method goes with its report
        }
    } while (peek_across_lines() == ',' && take(','));
}

// "(ro)" or "(rw)" after a group item: 0 read only, 1 read and write, -1 none given (or a
// reported other text).
int parse_permission()
{
    skip_blanks();
    if (!take('('))
        return -1;
    skip_blanks_across_lines();
    int permission = -1;
    if (match_keyword("ro"))
        permission = 0;
    else if (match_keyword("rw"))
        permission = 1;
    else if (*input_pointer() != ')') {
        error_here("%s", msg(kMsgWebPermissionExpected));
        skip_token();
    } else {
        error_here("%s", msg(kMsgWebPermissionExpected));
    }
    skip_blanks_across_lines();
    expect_closing(')');
    return permission;
}

// The items after "groups".
void parse_group_list(WebVariable &record)
{
    do {
        skip_blanks_across_lines();
        if (match_keyword("all")) {
            record.groups = 0xFFFF;
            const int permission = parse_permission();
            if (permission == 0)
                record.write = 0;
            else if (permission == 1)
                record.write = 0xFFFF;
            continue;
        }
        char name[kMaxIdentifier + 1] = {};
        if (!scan_identifier(name, false, false)) {
            error_here("%s", msg(kMsgWebGroupMissing));
            skip_token();
            return;
        }
        const auto group = gWebGroups.find(name);
        if (group == gWebGroups.end()) {
            error_here(msg(kMsgWebGroupUnknown), name);
            (void)parse_permission();
            continue;
        }
        const uint16_t bit = group->second;
        record.groups |= bit;
        const int permission = parse_permission();
        if (permission == 0)
            record.write = static_cast<uint16_t>(record.write & ~bit);
        else
            record.write |= bit;  // "rw", or no permission given
    } while (peek_across_lines() == ',' && take(','));
}

}  // namespace

void parse_web_clauses(const std::string &key, WebVariable &record, bool is_new)
{
    const uint16_t groups = record.groups;
    const uint16_t write = record.write;
    const uint8_t auth = record.auth;
    for (;;) {
        skip_blanks_across_lines();
        if (match_keyword("auth")) {
            skip_blanks_across_lines();
            (void)take('=');
            parse_auth_list(record);
        } else if (match_keyword("groups")) {
            skip_blanks_across_lines();
            (void)take('=');
            parse_group_list(record);
        } else {
            break;
        }
    }
    if (is_new)
        return;
    if (record.groups != groups)
        error_here(msg(kMsgWebGroupsDiffer), key.c_str());
    if (record.write != write)
        error_here(msg(kMsgWebPermissionsDiffer), key.c_str());
    if (record.auth != auth)
        error_here(msg(kMsgWebAuthDiffer), key.c_str());
}

uint16_t parse_select_list(int32_t type_code)
{
    const bool wide = type_code == kTypeLong || type_code == kTypeUnsignedLong;
    if (!wide && type_code != kTypeInt && type_code != kTypeUnsigned)
        error_here("%s", msg(kMsgWebSelectType));
    skip_blanks_across_lines();
    if (*input_pointer() != '(') {
        error_here("%s", msg(kMsgWebExpectingParen));
        return area_address();
    }
    struct Option {
        object *label;
        uint32_t value;
    };
    std::vector<Option> options;
    uint32_t running = 0;
    gWebPool.push_mark();
    struct PopMark {
        ~PopMark() { gWebPool.pop_mark(); }
    } pop_mark;
    // The list is taken whole before anything is laid down: the option texts go to the pool
    // first, so that the list can name where they lie.
    while (take(options.empty() ? '(' : ',')) {
        skip_blanks_across_lines();
        object *label = gWebPool.new_object();
        if (!parse_string_literal(label, true)) {
            report_missing_char('"');
            break;
        }
        skip_blanks();
        uint32_t value = running;
        if (take('=')) {
            int32_t given = 0;
            if (constant_value(given))
                value = static_cast<uint32_t>(given);
        }
        options.push_back(Option{label, value});
        running = value + 1;
        skip_blanks_across_lines();
    }
    output_pending_stubs();
    const uint16_t list = area_address();
    for (const Option &o : options) {
        lay_literal_address(o.label);
        if (wide)
            lay_long(o.value);
        else
            lay_word(static_cast<uint16_t>(o.value));
    }
    lay_word(0);
    skip_blanks_across_lines();
    expect_closing(')');
    return list;
}

void parse_web_declaration()
{
    skip_blanks();
    if (match_keyword("debug")) {
        gWebDebug = true;
        return;
    }
    if (match_keyword("nodebug")) {
        gWebDebug = false;
        return;
    }
    WebPath path;
    bool wildcard = false;
    if (!parse_web_reference(path, nullptr, false, wildcard)) {
        clear_line();  // what follows a reference that names nothing cannot be read
        return;
    }
    std::string key;
    web_reference_text(key, path);
    auto [it, is_new] = gWebVariables.try_emplace(key);
    WebVariable &record = it->second;
    record.path = path;
    if (is_new)
        record.index = gWebVarCount++;
    skip_blanks();
    record.selection = 0;
    if (match_keyword("select")) {
        record.selection = parse_select_list(path.back().sym->type);
    } else if (take('(')) {
        compile_guard(record, wildcard);
    }
    record.guard_table = 0;
    parse_web_clauses(key, record, is_new);
}

void web_reset()
{
    gWebVariables.clear();
    gWebVarCount = 0;
    gWebGroups.clear();
    gWebGroupBit = 1;
    // One compile's stubs and debug choice must not carry into the next one's tables and guards.
    gWebUpdateCount = 0;
    gWebDebug = false;
    g_in_guard = false;
    gWebPool.reset();
}

// ---- groups and update stubs -------------------------------------------------------------------

void parse_web_groups()
{
    do {
        char name[kMaxIdentifier + 1] = {};
        if (!scan_identifier(name, false, false)) {
            error_here("%s", msg(kMsgWebGroupExpected));
            clear_line();
            return;
        }
        if (gWebGroupBit == 0) {
            error_here(msg(kMsgWebTooManyGroups), kMaxWebGroups);
        } else {
            // The name stands for its bit in the program, as an enumeration constant does.
            (void)add_symbol(name, 4, kTypeInt, static_cast<int16_t>(gWebGroupBit), 9, nullptr, 0);
            (void)gWebGroups.try_emplace(name, gWebGroupBit);
            gWebGroupBit = static_cast<uint16_t>(gWebGroupBit << 1);
        }
    } while (peek_across_lines() == ',' && take(','));
}

void parse_web_update()
{
    CodegenSeam &codegen = codegen_seam();
    const bool from_xmem = &current_code_cache() == &xmem_code_cache();
    if (from_xmem)
        codegen.set_code_address(root_code_cache().current);
    gObjectPool.push_mark();
    // Whatever ends the line, the code goes back to where it was and the nodes are given back.
    struct Restore {
        bool from_xmem;
        CodegenSeam &codegen;
        ~Restore()
        {
            gObjectPool.pop_mark();
            if (from_xmem)
                codegen.set_code_address(xmem_code_cache().current);
        }
    } restore{from_xmem, codegen};
    const uint16_t stub = addr_offset(current_code_cache().current);
    for (;;) {
        WebPath path;
        bool wildcard = false;
        if (!parse_web_reference(path, nullptr, false, wildcard)) {
            clear_line();
            return;
        }
        std::string key;
        web_reference_text(key, path);
        const auto it = gWebVariables.find(key);
        if (it == gWebVariables.end()) {
            error_here(msg(kMsgWebNotDeclared), key.c_str());
            clear_line();
            return;
        }
        it->second.updates.push_back(stub);
        skip_blanks();
        if (!take(','))
            break;
    }
    object *function = gObjectPool.new_object();
    if (!name_node(function) || !obj_is_function(function)) {
        error_here("%s", msg(kMsgWebNoUpdateFunction));
        clear_line();
        return;
    }
    const symbol *fn = function->sym;
    outasm("ld hl, _web_update_entry_ary+%d", gWebUpdateCount);
    outasm("bit %d, (hl)", 0);
    outasm("set %d, (hl)", 0);
    outasm("ret nz");
    // An xmem function is entered through its root entry stub: its own address needs its page.
    if (fn->address[kRootStubAddressSlot] != kDummyAddress)
        outasm("ld hl, %d", addr_offset(fn->address[kRootStubAddressSlot]));
    else
        outasm("ld hl, %s", fn->name);
    outasm("jp (hl)");
    ++gWebUpdateCount;
}

// ---- new values in guards ----------------------------------------------------------------------

namespace {

// The declared variable a "$" reference reaches: its key ("[@[n]]" read as "[@]"), else the
// longest declared prefix along "." and "[...]" steps, the first found from the left.
bool declared_reference(const std::string &text)
{
    std::string key;
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, 3, "[@[") == 0) {
            const std::size_t close = text.find("]]", i);
            key += "[@]";
            i = close == std::string::npos ? text.size() : close + 2;
        } else {
            key += text[i++];
        }
    }
    if (gWebVariables.count(key))
        return true;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] != '.' && key[i] != '[')
            continue;
        if (gWebVariables.count(key.substr(0, i)))
            return true;
        if (key[i] == '[') {
            const std::size_t close = key.find(']', i);
            if (close == std::string::npos)
                break;
            i = close;
        }
    }
    return false;
}

// The type code the library receives: the element's, 9 for text.
uint16_t fetched_type(const object *node)
{
    const uint32_t first = decl_level(node->declarator, 0);
    if (node->type == kTypeChar && (first == kDeclArray || first == kDeclPointer))
        return kWebText;
    return node->type;
}

}  // namespace

void compile_web_value_reference(object *node)
{
    if (!g_in_guard)
        error_here("%s", msg(kMsgWebInvalidExpression));
    flush_pending_value();
    WebPath path;
    bool wildcard = false;
    gWebPool.push_mark();
    struct PopMark {
        ~PopMark() { gWebPool.pop_mark(); }
    } pop_mark;
    if (!parse_web_reference(path, node, true, wildcard)) {
        obj_set_int_const(node, 0);
        return;
    }
    std::string text;
    web_reference_text(text, path);
    const object *name = web_string_literal(text);
    if (!declared_reference(text))
        error_here(msg(kMsgWebNotDeclared), text.c_str());
    if (!g_in_guard) {
        obj_set_int_const(node, 0);
        return;
    }
    const char *label = name->name ? name->name : "";
    if (!wildcard) {
        const uint16_t type = fetched_type(node);
        object address = *node;
        address.declarator = (address.declarator << 4) | kDeclArray;
        gen_load_value(&address);
        gen_push_value(&address);
        outasm("ld hl, %d", type);
        outasm("push hl");
        outasm("ld hl, %s", label);
        outasm("push hl");
        outasm("call _web_getnewval");
        gen_adjust_stack(6, true);
        add_stack_offset(2);
    } else {
        symbol *parameter = find_symbol("@", false, kLocalTable);
        object index{};
        if (parameter) {
            obj_from_symbol(&index, parameter);
            gen_load_value(&index);
        } else {
            outasm("ld hl, 0");
        }
        outasm("push hl");
        outasm("ld hl, %s", label);
        outasm("push hl");
        outasm("call _web_getwildval");
        gen_adjust_stack(4, true);
    }
    // HL points at the new value: the node becomes what it points at.
    const uint16_t type = node->type;
    const uint32_t declarator = (node->declarator << 4) | kDeclPointer;
    const uint16_t *dims = node->dims;
    const uint8_t dim_count = node->dim_count;
    set_object(node, 255, type, declarator, nullptr, 0, dims, dim_count, false, false);
    dereference_node(node);
}

// ---- tables ------------------------------------------------------------------------------------

uint16_t emit_address_list(std::vector<uint16_t> &list)
{
    if (list.empty())
        return 0;
    const uint16_t at = area_address();
    for (const uint16_t a : list)
        lay_word(a);
    lay_word(0);
    list.clear();
    return at;
}

uint16_t emit_dimension_list(const symbol *sym)
{
    const int levels = array_levels(sym->declarator);
    if (levels == 0)
        return 0;
    const uint16_t at = area_address();
    for (int i = 0; i < levels; ++i)
        lay_word(i < sym->dim_count ? sym->dims[i] : 0);
    lay_word(0);
    return at;
}

namespace {

struct MemberEntry {
    object *name;
    uint16_t offset;
    uint16_t type;
    uint16_t dimensions;
};

void lay_member_records(const std::vector<MemberEntry> &members)
{
    for (const MemberEntry &m : members) {
        lay_literal_address(m.name);
        lay_word(m.offset);
        lay_word(m.type);
        lay_word(m.dimensions);
    }
    lay_word(0);
}

}  // namespace

uint16_t emit_struct_descriptor(const symbol *sym)
{
    if (!described_structure(sym))
        return 0;
    std::vector<MemberEntry> members;
    int32_t cursor = -1;
    while (const symbol *m = next_tag_member(sym->type, cursor)) {
        MemberEntry e{web_string_literal(member_own_name(m)), static_cast<uint16_t>(m->value), 0, 0};
        e.type = described_structure(m) ? emit_struct_descriptor(m) : basic_type(m);
        e.dimensions = emit_dimension_list(m);
        members.push_back(e);
    }
    output_pending_stubs();
    const uint16_t list = area_address();
    lay_member_records(members);
    const uint16_t head = area_address();
    lay_word(type_size(sym->type));
    lay_word(list);
    return head;
}

uint16_t emit_path_descriptor(const WebPath &path)
{
    if (path.empty())
        return 0;
    const std::size_t n = path.size();
    uint16_t d = emit_struct_descriptor(path[n - 1].sym);
    for (std::size_t i = n - 1; i >= 1; --i) {
        const symbol *sym = path[i].sym;
        std::string text;
        append_path_element_text(text, path[i], i < n - 1);
        MemberEntry e{web_string_literal(text), static_cast<uint16_t>(sym->value), 0, 0};
        e.type = i < n - 1 || described_structure(sym) ? d : basic_type(sym);
        e.dimensions = emit_dimension_list(sym);
        output_pending_stubs();
        const uint16_t list = area_address();
        lay_member_records({e});
        d = area_address();
        lay_word(type_size(path[i - 1].sym->type));
        lay_word(list);
    }
    return d;
}

void emit_web_tables()
{
    struct ResetPool {
        ~ResetPool() { gWebPool.reset(); }
    } reset_pool;
    if (compile_conditions().bios_marker != 0 || watch_compile() || gWebVariables.empty())
        return;
    struct Clear {
        ~Clear()
        {
            gWebVariables.clear();
            gWebVarCount = 0;
            gWebGroups.clear();
            gWebGroupBit = 1;
        }
    } clear;

    if (symbol *flags = find_symbol("_web_update_entry_ary", false, kGlobalTable)) {
        const ADDR24 at = emit_zero_bytes(static_cast<uint32_t>(gWebUpdateCount) + 1, false);
        flags->address[0] = at;
        define_label("_web_update_entry_ary", at, kLabelGlobal);
        if (symbol *size = find_symbol("_web_update_entry_ary_sz", false, kGlobalTable)) {
            size->address[0] = area().current;
            define_label("_web_update_entry_ary_sz", area().current, kLabelGlobal);
            lay_word(gWebUpdateCount);
        }
        gWebUpdateCount = 0;
    }

    symbol *info = find_symbol("_web_var_info", false, kGlobalTable);
    if (!info)
        return;
    std::vector<WebVariable *> ordered(gWebVariables.size());
    for (auto &[key, v] : gWebVariables)
        ordered[v.index] = &v;
    for (WebVariable *v : ordered) {
        v->guard_table = emit_address_list(v->guards);
        v->update_table = emit_address_list(v->updates);
    }
    for (WebVariable *v : ordered) {
        v->type_descriptor = emit_path_descriptor(v->path);
        v->dimension_list = emit_dimension_list(v->path.front().sym);
    }
    std::vector<object *> names;
    for (WebVariable *v : ordered) {
        std::string text;
        append_path_element_text(text, v->path.front(), v->path.size() > 1);
        names.push_back(web_string_literal(text));
    }
    output_pending_stubs();
    info->address[0] = area().current;
    define_label("_web_var_info", area().current, kLabelGlobal);
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        const WebVariable &v = *ordered[i];
        const symbol *base = v.path.front().sym;
        lay_literal_address(names[i]);
        lay_symbol_address(base);
        if (v.type_descriptor != 0)
            lay_word(v.type_descriptor);
        else
            lay_word(basic_type(base));
        lay_word(v.dimension_list);
        lay_word(v.guard_table);
        lay_word(v.update_table);
        lay_byte(v.auth);
        lay_word(v.groups);
        lay_word(v.write);
        lay_word(v.selection);
    }
    lay_word(0);
}
