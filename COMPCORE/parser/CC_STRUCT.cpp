// CC_STRUCT: structures, unions and enumerations, after the word that names them.
// A tag reference names (or forward-declares) a tag; a definition enters the tag of the current
// scope, lays its members out without padding (a union's all at offset 0) and marks it defined.
// Members are symbols under a name made unique for their tag; enumeration constants are int
// constants of the scope.
#include "CC_DECLR.h"

#include "core/CC_ER.h"
#include "CC_HIER.h"
#include "input/CC_IN.h"
#include "CC_LABELS.h"
#include "core/CC_OBJ.h"
#include "core/CC_STAB.h"

#include <cstring>
#include <string>

namespace {

// Definitions nested in member declarations are read recursively: their depth is bounded.
constexpr int kMaxStructNesting = 16;
int g_struct_depth = 0;
// Reports when the outermost definition began: a "}" missing at the end of the input is
// reported only when nothing inside was (one fault, one message).
int g_reports_at_start = 0;

// The largest structure: its size is kept in 16 bits.
constexpr uint32_t kMaxStructSize = 0xFFFF;

char peek()
{
    skip_blanks_across_lines();
    return *input_pointer();
}

const char *kind_word(int kind)
{
    switch (kind) {
    case kTagUnion: return "union";
    case kTagEnum: return "enum";
    default: return "struct";
    }
}

// An optional tag name at the cursor (empty when none).
std::string read_tag_name()
{
    char name[kMaxIdentifier + 1] = {};
    if (is_identifier_start(static_cast<unsigned char>(peek())))
        (void)scan_identifier(name, true, false);
    return name;
}

void report_missing_close()
{
    if (errors_seen() == g_reports_at_start)
        report_missing("}");
}

// Skips to the "}" that closes a list whose "{" was consumed, and past it.
void skip_to_close()
{
    int depth = 1;
    for (;;) {
        const char c = peek();
        if (c == 0) {
            report_missing_close();
            return;
        }
        advance_input(1);
        if (c == '{')
            ++depth;
        else if (c == '}' && --depth == 0)
            return;
    }
}

bool at_scope(int32_t code) { return tag_scope(code) == (local_scope() ? 1 : 0); }

// A tag of the current scope for a definition: a fresh one unless this scope has it already.
int32_t definition_tag(int kind, const std::string &name, bool &redefined)
{
    redefined = false;
    if (!name.empty()) {
        const int32_t known = find_tag(name.c_str());
        if (known >= 0 && at_scope(known)) {
            if (tag_defined(known)) {
                error_here(msg(kMsgDeclPreviouslyDefined), name.c_str());
                redefined = true;
            }
            return known;
        }
    }
    // An unnamed tag gets a name no source can write, so that every one is a tag of its own.
    const std::string entered = name.empty() ? make_unique_label(".") : name;
    return add_tag(kind, entered.c_str());
}

// A member whose type is a structure not yet defined (its own, say) must be reached through a
// pointer: true when the declarator holds one before the base type.
bool reaches_through_pointer(uint32_t word)
{
    for (int level = 0; level <= kMaxDeclaratorLevels; ++level) {
        const uint32_t code = decl_level(word, level);
        if (code == kDeclPointer || code == kDeclFunction)
            return true;
        if (code == kDeclNone)
            return false;
    }
    return false;
}

struct Layout {
    int32_t code;
    bool is_union;
    bool redefined;
    uint32_t offset = 0;  // the next member's offset (structure)
    uint32_t size = 0;    // the largest member (union)
};

// One member declarator, read: left out after 422 or when the structure would grow too large.
void enter_member(Layout &l, int32_t type, uint16_t sharing)
{
    const DeclaratorResult &r = declarator_result();
    if (is_tag_type(type) && !tag_defined(type) && !reaches_through_pointer(r.word)) {
        error_here("%s", msg(kMsgDeclContainsItself));
        return;
    }
    if (r.size == 0)
        error_here("%s", msg(kMsgDeclDimensionMissing));
    const uint32_t offset = l.is_union ? 0 : l.offset;
    if (offset + r.size > kMaxStructSize) {
        error_here(msg(kMsgDeclStructTooLarge), kMaxStructSize);
        return;
    }
    char name[kMaxIdentifier + 1];
    std::memcpy(name, r.name, sizeof name);
    (void)mangle_local_name(name, static_cast<unsigned>(l.code));
    const bool local = local_scope();
    const uint8_t kind = local ? 253 : 255;
    symbol *known = find_symbol(name, true, local ? kLocalTable : kGlobalTable);
    if (known) {
        const bool same = static_cast<uint16_t>(known->value) == static_cast<uint16_t>(offset) &&
                          known->declarator == r.word && known->type == type;
        if (!same)
            error_here(msg(kMsgDeclPreviouslyDefined), r.name);
    } else {
        symbol *m = add_symbol(name, r.word, type, static_cast<int16_t>(offset), kind, r.dims,
                               r.dim_count);
        m->flags[0] = static_cast<uint8_t>((m->flags[0] & ~(3u << kSymSharingShift)) |
                                           (sharing << kSymSharingShift));
        m->size = static_cast<uint16_t>(r.size);
        if (!l.redefined)
            (void)add_tag_member(l.code, m);
    }
    if (l.is_union)
        l.size = std::max(l.size, r.size);
    else
        l.offset = offset + r.size;
}

// member-declaration = [ "shared" | "protected" ] type declarator { "," declarator } ";"
// false after a bad type (reported; the list is read over).
bool member_declaration(Layout &l)
{
    uint16_t sharing = kShareNone;
    if (match_text("shared"))
        sharing = kShareShared;
    else if (match_text("protected"))
        sharing = kShareProtected;
    (void)peek();
    const DeclarationFrontState front = save_declaration_front();
    (void)match_text("const");
    (void)peek();
    const int32_t type = parse_type_or_typedef();
    if (type == kTypeNone || type == kTypeBadStruct) {
        if (type == kTypeNone) {
            char name[kMaxIdentifier + 1] = {};
            (void)scan_identifier(name, true, true);
            error_here(msg(kMsgDeclBadType), name);
        }
        restore_declaration_front(front);
        return false;
    }
    for (;;) {
        (void)parse_declarator(type, true);
        enter_member(l, type, sharing);
        if (peek() != ',')
            break;
        advance_input(1);
    }
    restore_declaration_front(front);
    expect_text(";");
    return true;
}

}  // namespace

int32_t parse_struct_or_union(int kind)
{
    const std::string name = read_tag_name();
    if (peek() != '{') {
        if (name.empty()) {
            report_missing("{");
            return kTypeBadStruct;
        }
        const int32_t known = find_tag(name.c_str());
        if (known < 0)
            return add_tag(kind, name.c_str());
        if (tag_kind(known) != kind)
            error_here(msg(kMsgDeclTagKind), name.c_str(), kind_word(tag_kind(known)),
                       kind_word(kind));
        return known;
    }
    advance_input(1);
    if (g_struct_depth == 0)
        g_reports_at_start = errors_seen();
    if (g_struct_depth >= kMaxStructNesting) {
        error_here("%s", msg(kMsgDeclTooComplicated));
        skip_to_close();
        return kTypeBadStruct;
    }
    ++g_struct_depth;
    struct Depth {
        ~Depth() { --g_struct_depth; }
    } depth;

    Layout l{0, kind == kTagUnion, false};
    l.code = definition_tag(kind, name, l.redefined);
    if (l.code < 0 || l.code == kTagRefused) {
        skip_to_close();
        return kTypeBadStruct;
    }
    for (;;) {
        const char c = peek();
        if (c == '}') {
            advance_input(1);
            break;
        }
        if (c == 0) {
            report_missing_close();
            break;
        }
        if (!member_declaration(l)) {
            (void)set_tag_defined(l.code, 1);
            skip_to_close();
            return kTypeBadStruct;
        }
    }
    if (!l.redefined) {
        (void)set_tag_size(l.code, static_cast<uint16_t>(l.is_union ? l.size : l.offset));
        (void)set_tag_defined(l.code, 1);
    }
    return l.code;
}

int32_t parse_enum()
{
    const std::string name = read_tag_name();
    if (peek() != '{') {
        if (name.empty()) {
            report_missing("{");
            return kTypeInt;
        }
        const int32_t known = find_tag(name.c_str());
        if (known < 0)
            error_here(msg(kMsgDeclEnumUndefined), name.c_str(), name.c_str());
        else if (tag_kind(known) != kTagEnum)
            error_here(msg(kMsgDeclTagKind), name.c_str(), kind_word(tag_kind(known)), "enum");
        return kTypeInt;
    }
    advance_input(1);
    g_reports_at_start = errors_seen();
    if (!name.empty()) {
        const int32_t known = find_tag(name.c_str());
        if (known >= 0 && at_scope(known))
            error_here(msg(kMsgDeclPreviouslyDefined), name.c_str());
        else
            (void)add_tag(kTagEnum, name.c_str());
    }
    if (parse_enumerator_list())
        advance_input(1);  // the "}"
    return kTypeInt;
}

int parse_enumerator_list()
{
    int32_t value = 0;
    for (;;) {
        const char c = peek();
        if (c == '}')
            return 1;
        if (c == 0) {
            report_missing_close();
            return 0;
        }
        if (!is_identifier_start(static_cast<unsigned char>(c))) {
            error_here("%s", msg(kMsgDeclEnumName));
            skip_to_close();
            return 0;
        }
        char name[kMaxIdentifier + 1];
        (void)scan_identifier(name, true, false);
        if (peek() == '=') {
            advance_input(1);
            value = static_cast<int16_t>(parse_constant_expression());
            const uint16_t type = last_constant_type();
            if (type == kTypeUnsigned || type == kTypeLong || type == kTypeUnsignedLong)
                trivial_warning_here("%s", msg(kMsgDeclEnumTypeWarning));
            else if (type != kTypeInt && type != kTypeChar)
                error_here("%s", msg(kMsgDeclEnumType));
        }
        (void)add_symbol(name, 4, kTypeInt, static_cast<int16_t>(value),
                         local_scope() ? 8 : 9, nullptr, 0);
        const char next = peek();
        if (next == ',') {
            advance_input(1);
        } else if (next != '}') {
            error_here("%s", msg(kMsgDeclEnumSeparator));
            skip_to_close();
            return 0;
        }
        value = static_cast<int16_t>(value + 1);
    }
}
