// CC_DECLR: the declaration reader, type specifiers, declarators and parameter lists.
// A declaration is read front to back: leading words (function attributes, storage class,
// qualifiers, memory words) in any order, the type, then the declarator list, which the definer
// (CC_DEFINE) reads one declarator at a time through `parse_declarator`. A declarator's levels
// are kept in one word, four bits per level with the outermost lowest, so that adding a level
// shifts the word up and puts the new level in the lowest group.
#include "CC_DECLR.h"

#include "CC_DECL.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "CC_HIER.h"
#include "CC_INASM.h"
#include "input/CC_IN.h"
#include "CC_LABELS.h"
#include "core/CC_OBJ.h"
#include "core/CC_STAB.h"
#include "CC_XDATA.h"
#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_DECL.h"
#include "settings/guiKXPreferences.h"

#include <cstring>

namespace {

DeclaratorResult g_result;

// The typedef named by the declaration being read: each declarator takes its levels and
// dimensions over.
const symbol *g_typedef = nullptr;
// The const flag of the declaration's type.
bool g_const = false;
// A declarator is being read: the results are program-wide, so a nested read would spoil them.
bool g_reading = false;

// Parentheses around inner declarators add no level, so their nesting is bounded on its own.
constexpr int kMaxDeclaratorNesting = 16;

LocalDeclarationScope g_local;

// The parameter list of a function whose declarator is nested ("int (*f(int a))(int)"): the
// declarator goes on past the list, so the list's text (with its closing ")") and the source
// positions of its characters are kept here for the definer to read.
AsmLineText g_held_parameters;

char peek()
{
    skip_blanks_across_lines();
    return *input_pointer();
}

bool is_ident_here() { return is_identifier_start(static_cast<unsigned char>(peek())); }

// ---- declarator states -------------------------------------------------------------------------

struct State {
    uint32_t word = 0;  // levels only: the base group is composed at the end
    int levels = 0;
    uint16_t dims[kMaxDimensions] = {};
    int dim_count = 0;
    bool too_complicated = false;  // reported once per declarator
    bool too_many_dims = false;
};

void report_too_complicated(State &s)
{
    if (!s.too_complicated)
        error_here("%s", msg(kMsgDeclTooComplicated));
    s.too_complicated = true;
}

void report_too_many_dims(State &s)
{
    if (!s.too_many_dims)
        error_here(msg(kMsgDeclTooManyDims), kMaxDimensions);
    s.too_many_dims = true;
}

// One level more, outermost: 416 when the state holds 7 already (nothing added).
bool add_level(State &s, uint32_t code, bool constant)
{
    if (s.levels >= kMaxDeclaratorLevels) {
        report_too_complicated(s);
        return false;
    }
    s.word = (s.word << 4) | code | (constant ? 4u : 0u);
    ++s.levels;
    return true;
}

// `outer` takes `inner` as its outermost levels, and the inner dimensions in front of its own.
void put_inside(State &outer, const State &inner)
{
    if (outer.dim_count + inner.dim_count > kMaxDimensions) {
        report_too_many_dims(outer);
        return;
    }
    if (outer.levels + inner.levels > kMaxDeclaratorLevels) {
        report_too_complicated(outer);
        return;
    }
    outer.word = (outer.word << (4 * inner.levels)) | inner.word;
    outer.levels += inner.levels;
    uint16_t dims[kMaxDimensions];
    std::memcpy(dims, inner.dims, sizeof(uint16_t) * inner.dim_count);
    std::memcpy(dims + inner.dim_count, outer.dims, sizeof(uint16_t) * outer.dim_count);
    outer.dim_count += inner.dim_count;
    std::memcpy(outer.dims, dims, sizeof(uint16_t) * outer.dim_count);
    outer.too_complicated |= inner.too_complicated;
    outer.too_many_dims |= inner.too_many_dims;
}

// Skips a group whose "(" was consumed, up to and with its ")".
void skip_parenthesised()
{
    int depth = 1;
    while (depth > 0) {
        const char c = peek();
        if (c == 0)
            return;
        if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        advance_input(1);
    }
}

// "[" constant-expression "]" or "[]": the dimension (0 for "[]"). A dimension outside 1 to
// 32767 is reported and taken as 1, so no size is computed from a wrapped value.
uint16_t read_dimension()
{
    if (peek() == ']') {
        advance_input(1);
        return 0;
    }
    int32_t value = 1;
    const int reports = errors_seen();
    const int32_t read = static_cast<int32_t>(parse_long_constant_expression());
    if (errors_seen() == reports) {
        if (read > kMaxDimension)
            error_here(msg(kMsgDeclDimensionTooLarge), kMaxDimension);
        else if (read < 1)
            error_here("%s", msg(kMsgDeclDimensionTooSmall));
        else
            value = read;
    }
    if (peek() == ']')
        advance_input(1);
    else
        error_here("%s", msg(kMsgDeclBracketExpected));
    return static_cast<uint16_t>(value);
}

// The instance count a cofunction takes from its first dimension: 1 to 62; anything else is
// reported and taken as 1 (63 would mean "not given", 64 would leave no count at all).
uint32_t instance_count(uint16_t dimension)
{
    if (dimension >= 1 && dimension <= 62)
        return dimension;
    error_here("%s", msg(kMsgDeclInstanceCount));
    return 1;
}

void set_cofunction_count(uint32_t count)
{
    uint32_t &word = current_decl_flags().word;
    word = (word & ~kDeclCofuncMask) | ((count & 0x3F) << kDeclCofuncShift);
}

// A parameter list whose "(" was consumed names parameters (not "()" or "(void)" alone).
bool has_parameters_here()
{
    const char *p = input_pointer();
    while (*p == ' ' || *p == '\t')
        ++p;
    return is_identifier_start(static_cast<unsigned char>(*p)) || std::strncmp(p, "...", 3) == 0;
}

// Reads a parameter list whose "(" was consumed up to and with its ")", keeping each character
// with its source line and column.
void hold_parameter_list()
{
    g_held_parameters = AsmLineText{};
    int depth = 1;
    while (depth > 0) {
        if (*input_pointer() == 0) {
            // The list goes on in the next line: a blank keeps its words apart.
            skip_blanks_across_lines();
            if (*input_pointer() == 0)
                return;
            g_held_parameters.text += ' ';
            g_held_parameters.lines.push_back(current_line());
            g_held_parameters.columns.push_back(current_column());
        }
        const char c = *input_pointer();
        if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        g_held_parameters.text += c;
        g_held_parameters.lines.push_back(current_line());
        g_held_parameters.columns.push_back(current_column());
        advance_input(1);
    }
}

// An abstract declarator's "(" opens an inner declarator when a "*", "(" or "[" follows it;
// otherwise it is a function's parameter list.
bool opens_inner_declarator()
{
    const char *p = input_pointer() + 1;
    while (*p == ' ' || *p == '\t')
        ++p;
    return *p && std::strchr("*([", *p);
}

struct Read {
    int result = 0;  // 1 "()" consumed, 2 the parameters start at the cursor
    bool function_outermost = false;
};

// declarator = { "*" [ "const" ] } ( name | "(" declarator ")" | nothing ) { "[" dim "]" }
//              [ "(" [ parameters ] ")" ]
Read read_declarator(State &s, bool with_name, int depth, char *name)
{
    Read r;
    for (;;) {
        if (peek() != '*')
            break;
        advance_input(1);
        bool constant = false;
        if (peek() && match_text("const"))
            constant = true;
        (void)add_level(s, kDeclPointer, constant);
    }

    State inner;
    bool has_inner = false;
    const char c = peek();
    if (with_name && is_identifier_start(static_cast<unsigned char>(c))) {
        (void)scan_identifier(name, true, false);
    } else if (c == '(' && (with_name || opens_inner_declarator())) {
        advance_input(1);
        if (depth >= kMaxDeclaratorNesting) {
            report_too_complicated(s);
            skip_parenthesised();
        } else {
            const int reports = errors_seen();
            const Read in = read_declarator(inner, with_name, depth + 1, name);
            has_inner = true;
            if (in.function_outermost)
                r = in;
            if (peek() == ')')
                advance_input(1);
            else if (errors_seen() == reports)  // a fault inside was reported already
                error_here("%s", msg(kMsgDeclParenExpected));
        }
    }

    const bool cofunction_pending =
        cofunction_count(current_decl_flags().word) == kCofuncCountPending;
    uint16_t indexes[kMaxDimensions];
    int index_count = 0;
    bool arrays = false;
    while (peek() == '[') {
        advance_input(1);
        const uint16_t dim = read_dimension();
        if (cofunction_pending) {
            if (index_count < kMaxDimensions)
                indexes[index_count++] = dim;
            continue;
        }
        arrays = true;
        if (s.dim_count >= kMaxDimensions) {
            report_too_many_dims(s);
            continue;
        }
        if (add_level(s, kDeclArray, g_const))
            s.dims[s.dim_count++] = dim;
    }
    if (cofunction_pending && index_count > 0 && peek() != '(') {
        // No function follows: the indexes were dimensions after all.
        for (int i = 0; i < index_count; ++i)
            if (add_level(s, kDeclArray, g_const) && s.dim_count < kMaxDimensions)
                s.dims[s.dim_count++] = indexes[i];
    }

    if (peek() == '(') {
        if (index_count > 0)
            set_cofunction_count(instance_count(indexes[0]));
        else if (arrays)
            error_here("%s", msg(kMsgDeclIndexedFunction));
        advance_input(1);
        const bool outermost = !arrays && !(has_inner && inner.levels > 0);
        (void)add_level(s, kDeclFunction, false);
        if (cofunction_count(current_decl_flags().word) == kCofuncCountPending)
            set_cofunction_count(1);
        if (peek() == ')') {
            advance_input(1);
            if (outermost && depth == 0)
                r = Read{1, true};
        } else if (outermost && depth == 0) {
            // The function-definition compiler reads the parameters.
            const char *p = input_pointer();
            const bool params = is_identifier_start(static_cast<unsigned char>(*p)) ||
                                std::strncmp(p, "...", 3) == 0;
            r = Read{params ? 2 : 1, true};
            if (!params)
                skip_parenthesised();
        } else if (outermost && with_name && has_parameters_here()) {
            // The name's own function inside parentheses: its parameters are the definition's,
            // but the declarator goes on after them, so they are kept for the definer.
            hold_parameter_list();
            r = Read{2, true};
        } else {
            // The parameters of a function that is not what the name declares (a pointer to a
            // function, say) describe nothing this parser keeps.
            skip_parenthesised();
            if (outermost)
                r = Read{1, true};
        }
    }
    if (has_inner)
        put_inside(s, inner);
    if (has_inner && inner.levels > 0 && r.function_outermost && decl_level(s.word, 0) != kDeclFunction)
        r = Read{};
    return r;
}

// The declaration's own base group: the const flag, with the typedef's levels below it.
bool compose_base(State &base)
{
    base.word = g_const ? 4u : 0u;
    if (!g_typedef)
        return true;
    const int levels = declarator_levels(g_typedef->declarator);
    base.word = (base.word << (4 * levels)) | g_typedef->declarator;
    base.levels = levels;
    // One dimension per array level of the typedef.
    int given = 0;
    for (int i = 0; i < levels; ++i) {
        if (decl_level(g_typedef->declarator, i) != kDeclArray)
            continue;
        if (base.dim_count >= kMaxDimensions)
            break;
        base.dims[base.dim_count++] = given < g_typedef->dim_count ? g_typedef->dims[given] : 0;
        ++given;
    }
    return true;
}

int read_into_results(int32_t type, bool with_name)
{
    if (g_reading) {
        error_here("%s", msg(kMsgDeclTooComplicated));
        return 0;
    }
    g_reading = true;
    struct Guard {
        ~Guard() { g_reading = false; }
    } guard;

    char name[kMaxIdentifier + 1] = {};
    g_result = DeclaratorResult{};
    g_held_parameters = AsmLineText{};
    State base;
    compose_base(base);
    State s;
    const Read r = read_declarator(s, with_name, 0, name);

    // The levels read are the outermost: those of the typedef, then the base group, lie
    // above them. A typedef merged past 7 levels or dimensions is reported as any declarator.
    base.too_complicated = s.too_complicated;
    base.too_many_dims = s.too_many_dims;
    put_inside(base, s);
    std::memcpy(g_result.name, name, sizeof name);
    g_result.word = base.word;
    g_result.dim_count = base.dim_count;
    std::memcpy(g_result.dims, base.dims, sizeof(uint16_t) * base.dim_count);
    g_result.result = r.function_outermost ? r.result : 0;
    // A function that returns a const value: const places data, and a function's result is none.
    if (with_name && r.function_outermost && declarator_levels(base.word) == 1 &&
        (base.word & (4u << 4)) != 0)
        error_here("%s", msg(kMsgDeclConstLocal));
    g_result.size = declarator_size(g_result.word, type, g_result.dims, g_result.dim_count,
                                    &g_result.element_size, true);
    return g_result.result;
}

}  // namespace

const DeclaratorResult &declarator_result() { return g_result; }
const AsmLineText &held_parameter_list() { return g_held_parameters; }
LocalDeclarationScope &local_declaration_scope() { return g_local; }

int declarator_levels(uint32_t word)
{
    int n = 0;
    while (n < kMaxDeclaratorLevels + 1 && decl_level(word, n) != kDeclNone)
        ++n;
    return n;
}

uint32_t declarator_size(uint32_t word, int32_t type, const uint16_t *dims, int dim_count,
                         uint32_t *element_size, bool report)
{
    uint32_t product = 1;
    int dim = 0;
    for (int level = 0; level <= kMaxDeclaratorLevels; ++level) {
        const uint32_t code = decl_level(word, level);
        if (code == kDeclArray) {
            const uint32_t d = dim < dim_count ? dims[dim] : 0;
            ++dim;
            product *= d;
            if (product > static_cast<uint32_t>(kMaxDimension)) {
                if (report)
                    error_here(msg(kMsgDeclProductTooLarge), kMaxDimension);
                product = 1;
            }
            continue;
        }
        const uint32_t element = code == kDeclNone ? type_size(type) : 2;
        if (element_size)
            *element_size = element;
        return product * element;
    }
    if (element_size)
        *element_size = 0;
    return 0;
}

int parse_declarator(int32_t type, bool with_name) { return read_into_results(type, with_name); }
int parse_abstract_declarator(int32_t type) { return read_into_results(type, false); }

// ---- type specifiers ------------------------------------------------------------------------------

int32_t parse_type_specifier()
{
    (void)peek();
    if (match_text("short")) {
        (void)peek();
        (void)match_text("int");
        return kTypeInt;
    }
    if (match_text("void"))
        return kTypeVoid;
    if (match_text("long")) {
        (void)peek();
        (void)match_text("int");
        return kTypeLong;
    }
    if (match_text("float") || match_text("double"))
        return kTypeFloat;
    if (match_text("unsigned")) {
        (void)peek();
        if (match_text("long")) {
            (void)peek();
            (void)match_text("int");
            return kTypeUnsignedLong;
        }
        if (match_text("short")) {
            (void)peek();
            (void)match_text("int");
            return kTypeUnsigned;
        }
        if (match_text("int"))
            return kTypeUnsigned;
        if (match_text("char"))
            return kTypeChar;
        return kTypeUnsigned;
    }
    if (match_text("char"))
        return kTypeChar;
    if (match_text("int"))
        return kTypeInt;
    if (match_text("struct"))
        return parse_struct_or_union(kTagStruct);
    if (match_text("union"))
        return parse_struct_or_union(kTagUnion);
    if (match_text("enum"))
        return parse_enum();
    return kTypeNone;
}

// A typedef name at the cursor (local table first): its entry, consumed; else nothing consumed.
static const symbol *read_typedef_name()
{
    if (!is_ident_here())
        return nullptr;
    const LexerPlace start = lexer_place();
    char name[kMaxIdentifier + 1];
    (void)scan_identifier(name, true, false);
    for (SymbolTableId table : {kLocalTable, kGlobalTable}) {
        if (table == kLocalTable && !local_scope())
            continue;
        const symbol *s = find_symbol(name, false, table);
        if (s && (s->kind == kStorageTypedefLocal || s->kind == kStorageTypedefGlobal))
            return s;
        if (s)
            break;
    }
    restore_lexer_place(start);
    return nullptr;
}

// The type of a declaration: a specifier or a typedef name (remembered for the declarators).
DeclarationFrontState save_declaration_front()
{
    DeclarationFrontState state{g_typedef, g_const};
    g_typedef = nullptr;
    g_const = false;
    return state;
}

void restore_declaration_front(const DeclarationFrontState &state)
{
    g_typedef = state.typedef_entry;
    g_const = state.constant;
}

DeclaratorContext save_declarator_context()
{
    DeclaratorContext context{g_result, save_declaration_front(), g_reading};
    g_reading = false;
    return context;
}

void restore_declarator_context(const DeclaratorContext &context)
{
    g_result = context.result;
    restore_declaration_front(context.front);
    g_reading = context.reading;
}

int32_t parse_type_or_typedef()
{
    const int32_t type = parse_type_specifier();
    if (type != kTypeNone)
        return type;
    if (const symbol *t = read_typedef_name()) {
        g_typedef = t;
        return t->type;
    }
    return kTypeNone;
}

void reset_declaration_parser()
{
    g_typedef = nullptr;
    g_const = false;
    g_reading = false;
    g_local = LocalDeclarationScope{};
}

// ---- declarations ----------------------------------------------------------------------------------

namespace {

struct Front {
    int32_t storage = 0;
    bool storage_written = false;  // "auto" or another class was written
    uint16_t sharing = kShareNone;
    bool protect = false;
    uint8_t io = kIoNone;   // "ioi", "ioe"
    bool anything = false;  // a leading word was read
};

// The memory word ("root", "xmem", "anymem") of the declaration being read; kPlaceNone.
uint16_t g_memory_word = kPlaceNone;

bool inside_library_or_bios()
{
    const LineInputState state = line_input_state();
    return state == LineInputState::module_bodies || state == LineInputState::pending_modules ||
           state == LineInputState::library_header || compile_conditions().bios_marker != 0;
}

// One leading word at the cursor, applied; false when none stands there.
bool leading_word(Front &f, bool global)
{
    uint32_t &word = current_decl_flags().word;
    if (!is_ident_here())
        return false;
    if (match_text("Typed")) {
        word |= kDeclTyped;
    } else if (match_text("firsttime")) {
        word |= kDeclFirstTime;
    } else if (match_text("debug")) {
        select_xmem_code_cache(current_decl_flags(), 1);
        word |= kDeclDebug;
    } else if (match_text("nodebug")) {
        select_xmem_code_cache(current_decl_flags(), 0);
        word &= ~kDeclDebug;
    } else if (match_text("step") || match_text("rst")) {
        word |= kDeclDebug;
    } else if (match_text("nostep") || match_text("norst")) {
        word &= ~kDeclDebug;
    } else if (match_text("useix")) {
        word |= kDeclUseIx;
    } else if (match_text("nouseix")) {
        if (cofunction_count(word) != 0)
            trivial_warning_here("%s", msg(kMsgDeclNouseixCofunc));
        else
            word &= ~kDeclUseIx;
    } else if (match_text("interrupt")) {
        uint32_t kind = 2;
        (void)skip_blanks();
        if (match_text("reti"))
            kind = 1;
        else if (codegen_seam().cpu_flag() == 0 && match_text("retn"))
            kind = 3;  // the Z180 set has "retn"; elsewhere the word is left to the type reader
        else
            (void)match_text("ret");
        word = (word & ~kDeclInterruptMask) | (kind << kDeclInterruptShift);
    } else if (const bool single = match_text("scofunc"); single || match_text("cofunc")) {
        if (word & kDeclLongCall)
            error_here("%s", msg(kMsgDeclLcallCofunc));
        word = (word & ~kDeclCofuncMask) | (kCofuncCountPending << kDeclCofuncShift) | kDeclUseIx;
        if (single)
            word |= kDeclSingleUser;
    } else if (match_text("__lcall__")) {
        if (cofunction_count(word) != 0)
            error_here("%s", msg(kMsgDeclLcallCofunc));
        word |= kDeclLongCall;
    } else if (match_text("speed")) {
        word &= ~kDeclSize;
    } else if (match_text("size")) {
        word |= kDeclSize;
    } else if (match_text("root")) {
        apply_placement(kPlaceRoot);
        g_memory_word = kPlaceRoot;
    } else if (match_text("xmem")) {
        apply_placement(kPlaceXmem);
        g_memory_word = kPlaceXmem;
    } else if (match_text("anymem")) {
        apply_placement(kPlaceAnymem);
        g_memory_word = kPlaceAnymem;
    } else if (match_text("volatile")) {
    } else if (match_text("ioi")) {
        f.io = kIoInternal;
    } else if (match_text("ioe")) {
        f.io = kIoExternal;
    } else if (match_text("shared")) {
        f.sharing = kShareShared;
    } else if (match_text("protected")) {
        f.sharing = kShareProtected;
        f.protect = true;
    } else if (match_text("extern")) {
        f.storage = kStorageExtern;
        f.storage_written = true;
    } else if (match_text("typedef")) {
        f.storage = global ? kStorageTypedefGlobal : kStorageTypedefLocal;
        f.storage_written = true;
    } else if (match_text("static")) {
        f.storage = global ? kStorageStaticGlobal : kStorageStaticLocal;
        f.storage_written = true;
    } else if (match_text("const")) {
        g_const = true;
    } else if (match_text("register")) {
        if (global) {
            error_here("%s", msg(kMsgDeclRegisterGlobal));
        } else {
            f.storage = kStorageRegister;
            f.storage_written = true;
        }
    } else if (match_text("auto")) {
        if (global) {
            error_here("%s", msg(kMsgDeclAutoGlobal));
        } else {
            f.storage = kStorageAuto;
            f.storage_written = true;
        }
    } else if (match_text("bbram")) {
        if (&battery_backed_cache() != &data_cache()) {
            if (f.storage == kStorageAuto) {
                error_here("%s", msg(kMsgDeclAutoBbram));
            } else {
                f.storage = global ? kStorageStaticGlobal : kStorageStaticLocal;
                f.storage_written = true;
                f.protect = true;
            }
        }
    } else {
        return false;
    }
    f.anything = true;
    return true;
}

// Something a declarator can start with.
bool declarator_can_start()
{
    const char c = peek();
    return c == '*' || c == '(' || is_identifier_start(static_cast<unsigned char>(c));
}

// One declaration: 1 read, 0 nothing that is a declaration stands here.
int one_declaration(bool global)
{
    const int reports = errors_seen();
    g_typedef = nullptr;
    g_const = false;
    skip_blanks_across_lines();
    if (*input_pointer() == 0 && end_of_input())
        return global ? 1 : 0;
    if (parse_xmem_declaration(!global))
        return 1;
    if (!global)
        current_decl_flags() = persistent_decl_flags();

    Front f;
    f.storage = global ? kStorageNoneGlobal : kStorageNoneLocal;
    g_memory_word = kPlaceNone;
    const LexerPlace start = lexer_place();
    while (leading_word(f, global)) {
    }
    int32_t type = parse_type_or_typedef();
    const uint32_t flag_word = current_decl_flags().word;
    const bool interrupt = (flag_word & kDeclInterruptMask) != 0;
    if (type == kTypeNone && interrupt)
        type = kTypeInt;

    if (!global && type != kTypeNone && !f.storage_written && inside_library_or_bios() &&
        cofunction_count(flag_word) == 0 && IdePreferences().storage_class_warning &&
        !watch_compile())
        trivial_warning_here("%s", msg(kMsgDeclClassWarning));

    if (type != kTypeNone && peek() && match_text("const")) {
        if (g_const)
            error_here("%s", msg(kMsgDeclDuplicateConst));
        g_const = true;
    }

    bool implicit = false;
    if (type == kTypeNone) {
        if (!global && f.storage == kStorageNoneLocal && !(flag_word & kDeclTyped) && !interrupt) {
            restore_lexer_place(start);
            return 0;
        }
        // Nothing of a declaration read and nothing a declarator starts with: garbage, which
        // the caller reports once.
        if (!f.anything && !g_const && !declarator_can_start()) {
            restore_lexer_place(start);
            return 0;
        }
        if (f.storage == kStorageNoneGlobal)
            implicit = true;
        if (f.storage == kStorageAuto && g_const)
            error_here("%s", msg(kMsgDeclConstLocal));
        type = kTypeInt;
    }

    if (type != kTypeBadStruct) {
        set_sharing_marker(f.sharing);
        set_io_attribute(f.io);
        const int32_t answer = define_declarators(type, f.storage,
                                                  global ? kContextGlobal : kContextLocal,
                                                  implicit, f.protect);
        g_typedef = nullptr;
        if (global) {
            if (answer == 1)
                return 1;
            if (answer == 2)
                return 0;
        }
    }
    g_typedef = nullptr;
    // A declaration that reported a fault already may have lost its ";" over it.
    skip_blanks_across_lines();
    if (!match_text(";") && errors_seen() == reports)
        report_missing(";");
    return 1;
}

}  // namespace

int parse_declarations(int global)
{
    if (global)
        return one_declaration(true);
    int read = 0;
    for (;;) {
        if (!one_declaration(false))
            return read;
        read = 1;
        const char c = peek();
        if (c == 0 || c == '#')
            return read;
    }
}

// ---- parameters -------------------------------------------------------------------------------------

int parse_parameter_list()
{
    int count = -1;
    const uint32_t flags = current_decl_flags().word;
    for (;;) {
        int32_t storage = 0;
        for (;;) {
            if (match_text("shared") || match_text("protected")) {
            } else if (match_text("register")) {
                storage = kStorageAuto;
            } else if (match_text("const")) {
                error_here("%s", msg(kMsgDeclConstLocal));
            } else {
                break;
            }
            (void)peek();
        }
        if (peek() == '.' && std::strncmp(input_pointer(), "...", 3) == 0) {
            advance_input(3);
            const uint32_t n = cofunction_count(flags);
            if (n >= 2 && n <= 62)
                error_here("%s", msg(kMsgDeclIndexedVarargs));
            count = 1;
        } else {
            if (!is_ident_here())
                return count;
            g_typedef = nullptr;
            g_const = false;
            int32_t type = parse_type_or_typedef();
            if (type != kTypeNone && match_text("const"))
                error_here("%s", msg(kMsgDeclConstLocal));
            if (type == kTypeNone) {
                if (count >= 1)
                    trivial_warning_here("%s", msg(kMsgDeclNonAnsiAfterAnsi));
                else
                    count = 0;
                type = kTypeInt;
            } else if (count == 0) {
                trivial_warning_here("%s", msg(kMsgDeclAnsiAfterNonAnsi));
            } else {
                count = (count < 0 ? -count : count) + 1;
            }
            (void)define_declarators(type, storage ? storage : kStorageParameter,
                                     kContextParameter, false, false);
            g_typedef = nullptr;
        }
        const char c = peek();
        if (c == ',') {
            advance_input(1);
            continue;
        }
        if (c == ')' || c == ';' || c == '{' || c == 0)
            return count;
        report_missing(",");
        return count;
    }
}

int parse_old_style_parameters()
{
    int read = 0;
    for (;;) {
        const char c = peek();
        if (c == 0 || c == '#' || c == '{')
            return read;
        for (;;) {
            if (match_text("shared") || match_text("protected") || match_text("register")) {
            } else if (match_text("const")) {
                error_here("%s", msg(kMsgDeclConstLocal));
            } else {
                break;
            }
            (void)peek();
        }
        g_typedef = nullptr;
        g_const = false;
        const int32_t type = parse_type_or_typedef();
        if (type == kTypeNone) {
            if (!read)
                error_here("%s", msg(kMsgDeclOldStyleMissing));
            return read;
        }
        (void)define_declarators(type, kStorageOldParameter, kContextOldParameter, false, false);
        g_typedef = nullptr;
        expect_text(";");
        read = 1;
    }
}

// ---- the declaration seam -----------------------------------------------------------------------------

namespace {

class DeclarationParser : public DeclarationSeam {
public:
    bool parse_external_declaration() override { return parse_declarations(1) != 0; }
};

DeclarationParser g_parser;

}  // namespace

DeclarationSeam &declaration_parser_seam() { return g_parser; }

uint16_t declared_memory_word() { return g_memory_word; }
