// CC_DEFINE: the definer of declarators and the writer of initialised data.
// Each declarator of a declaration becomes a symbol: an auto gets its frame offset, a global or
// static its place (initialised data among the constants, in code space; uninitialised data
// zeroed in the variable area), an extern or typedef the placeholder address until a definition
// arrives. A function declarator at global scope goes on to the function-definition compiler.
// Globals and statics are listed for the map file.
#include "CC_DECLR.h"

#include "core/CC_ADDR.h"
#include "codegen/CC_CONV.h"
#include "CC_DECL.h"
#include "core/CC_ER.h"
#include "driver/CC_FIOZ8.h"
#include "CC_HIER.h"
#include "input/CC_IN.h"
#include "CC_INASM.h"
#include "CC_LABELS.h"
#include "core/CC_OBJ.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"
#include "linker/EMITCACHE.h"
#include "core/SEAM_DECL.h"
#include "core/SEAM_LINKER.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

// An element: braces of its own or values of the enclosing list.
int fill_element(uint32_t word, int32_t type, uint16_t *dims, int dim_count, int mode, bool protect);

namespace {

// Brace lists open while initialised data is written: inside one a "," after an element goes on
// with the list, outside it the next declarator follows.
int g_brace_depth = 0;
// Where the last outer call placed its object.
ADDR24 g_data_address = kDummyAddress;
// The autos of one block are counted in a signed 16-bit frame.
constexpr int32_t kMaxFrame = 32767;

char peek()
{
    skip_blanks_across_lines();
    return *input_pointer();
}

bool bios_compile() { return compile_conditions().bios_marker != 0; }

EmitCache &constants() { return constant_cache(); }

void emit_zeros(uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i)
        constants().EmitByte(0);
}

void emit_value(uint32_t value, uint32_t size)
{
    for (uint32_t i = 0; i < size; ++i)
        constants().EmitByte(static_cast<uint8_t>(value >> (8 * i)));
}

// After one element inside a brace list: "," goes on with the list (-1) unless "}" follows.
int continuation()
{
    if (g_brace_depth == 0 || peek() != ',')
        return 0;
    advance_input(1);
    const char c = peek();
    return c == '}' || c == 0 ? 0 : -1;
}

// Reads over the rest of a brace list whose "{" was consumed (the values it holds have no
// element left to go to), and its "}".
void close_brace_list()
{
    if (peek() == ',')
        advance_input(1);
    if (peek() == '}') {
        advance_input(1);
        return;
    }
    report_missing("}");
    int depth = 1;
    for (;;) {
        const char c = peek();
        if (c == 0 || c == ';')
            return;
        advance_input(1);
        if (c == '{')
            ++depth;
        else if (c == '}' && --depth == 0)
            return;
    }
}

// Pointers to string literals in the object being written: the literal's text is placed behind
// the object (not inside it) and the pointer completed then.
struct LiteralPointer {
    ADDR24 at;
    uint32_t size;
    std::string text;
};
std::vector<LiteralPointer> g_literal_pointers;

// Writes the texts the object's pointers name (a pooled text already written is shared) and
// completes the pointers.
void complete_literal_pointers()
{
    for (const LiteralPointer &p : g_literal_pointers) {
        lit_map_entry *entry = find_pooled_literal(p.text);
        if (!entry) {
            error_here("%s", msg(kMsgDeclUnsupportedInit));
            continue;
        }
        if (!entry->emitted) {
            entry->address = constants().current;
            entry->emitted = 1;
            define_label(entry->label.c_str(), entry->address, kLabelGlobal);
            const ADDR24 start = constants().current;
            for (const char c : p.text)
                constants().EmitByte(static_cast<uint8_t>(c));
            constants().EmitByte(0);
            record_listing_range(start, constants().current, kListData);
        }
        for (uint32_t i = 0; i < p.size && i < 4; ++i)
            constants().EmitByteAt(addr_add(p.at, static_cast<int32_t>(i)),
                                   static_cast<uint8_t>(entry->address >> (8 * i)));
    }
    g_literal_pointers.clear();
}

// An address constant: a string literal, or a static object whose place is known, plus its
// offset. kDummyAddress for any other form.
ADDR24 address_constant(const object &node)
{
    const bool named = node.sym && node.sym != placeholder_symbol() &&
                       (node.kind == 1 || node.kind == 3 || node.kind == 252);
    const uint32_t first = decl_level(node.declarator, 0);
    const bool is_address = node.address_of || first == kDeclArray || first == kDeclFunction;
    if (!named || !is_address || node.sym->address[0] == kDummyAddress)
        return kDummyAddress;
    // A pointer to a function in xmem holds its root entry stub (address[1]), which a plain
    // call through the pointer reaches.
    const bool function = decl_level(node.sym->declarator, 0) == kDeclFunction;
    if (function && addr_offset(node.sym->address[0]) >= window_start() &&
        node.sym->address[1] != kDummyAddress)
        return node.sym->address[1];
    return addr_add(node.sym->address[0], static_cast<int32_t>(node.value));
}

// One scalar of the given level and type: a constant converted to it, or an address constant.
int emit_scalar(uint32_t word, int32_t type, int mode)
{
    const bool pointer = decl_level(word, 0) == kDeclPointer;
    const uint32_t size = pointer ? 2 : type_size(type);
    if (mode == 0) {
        emit_zeros(size);
        return 0;
    }
    object *value = gObjectPool.new_object();
    {
        // An initialiser is data: whatever code a faulty one makes is thrown away.
        DiscardedCode discard;
        parse_expression(value, 1, 0, 0);
    }
    object *target = gObjectPool.new_object();
    set_object(target, 1, static_cast<uint16_t>(type), word, nullptr, 0, nullptr, 0, true, false);
    // The value is checked as if it were assigned to the object.
    report_assignment_mismatch(classify_assignment(target->type, value->type, target->declarator,
                                                   value->declarator),
                               target, value);

    const ADDR24 start = constants().current;
    if (value->kind == 0 && !value->literal) {
        if (!pointer && type_class(type) == kClassInvalid) {
            error_here("%s", msg(kMsgDeclBadOperandType));
            emit_zeros(size);
        } else {
            if (!pointer)
                ConvertCCObject(value, type, false, kConvWarnLostDigits);
            emit_value(value->value, size);
        }
    } else if (value->literal && value->sym == placeholder_symbol()) {
        g_literal_pointers.push_back(
            {constants().current, size, std::string(value->literal, literal_length(value))});
        emit_zeros(size);
    } else if (const ADDR24 at = address_constant(*value); at != kDummyAddress) {
        const ADDR24 here = constants().current;
        emit_value(at, std::min<uint32_t>(size, 4));
        if (size > 4)
            emit_zeros(size - 4);
        record_listing_range(here, constants().current, kListData);
        return continuation();
    } else if (value->literal || value->address_of ||
               (value->sym && value->sym != placeholder_symbol() &&
                decl_level(value->declarator, 0) == kDeclArray)) {
        error_here("%s", msg(kMsgDeclUnsupportedInit));
        emit_zeros(size);
    } else {
        error_here("%s", msg(kMsgDeclConstantInitializer));
        emit_zeros(size);
    }
    record_listing_range(start, constants().current, kListData);
    return continuation();
}

// A char array from a string literal: its characters, a terminator when there is room (always
// for an unsized array), zeros up to the dimension.
int emit_string(uint16_t *dims)
{
    object *node = gObjectPool.new_object();
    (void)parse_string_literal(node, false);
    const std::string text = current_literal();
    const ADDR24 start = constants().current;
    if (node->name)
        define_label(node->name, start, kLabelGlobal);
    const uint32_t length = static_cast<uint32_t>(text.size());
    uint32_t dim = dims[0];
    if (dim == 0) {
        dim = std::min<uint32_t>(length + 1, kMaxDimension);
        dims[0] = static_cast<uint16_t>(dim);
    }
    if (length > dim)
        error_here("%s", msg(kMsgDeclStringTooLong));
    else if (length == dim && !watch_compile())
        trivial_warning_here("%s", msg(kMsgDeclNotTerminated));
    const uint32_t written = std::min(length, dim);
    for (uint32_t i = 0; i < written; ++i)
        constants().EmitByte(static_cast<uint8_t>(text[i]));
    emit_zeros(dim - written);
    record_listing_range(start, constants().current, kListData);
    return continuation();
}

int fill(uint32_t word, int32_t type, uint16_t *dims, int dim_count, int mode, bool protect);
// One object's initialiser: braces of its own, or values of the enclosing list.
int initialise(uint32_t word, int32_t type, uint16_t *dims, int dim_count, int mode, bool protect);

// The members of a structure in turn; a union takes its first member and pads to its size.
int fill_members(int32_t type, int mode, bool protect)
{
    int state = mode;
    int32_t cursor = -1;
    const bool is_union = tag_kind(type) == kTagUnion;
    const ADDR24 start = constants().current;
    while (symbol *m = next_tag_member(type, cursor)) {
        uint16_t dims[kMaxDimensions] = {};
        std::memcpy(dims, m->dims, sizeof(uint16_t) * std::min<int>(m->dim_count, kMaxDimensions));
        state = emit_initialized_data(m->declarator, m->type, dims, m->dim_count,
                                      state == 0 ? 0 : mode, true, protect);
        if (is_union)
            break;
    }
    const uint32_t written = static_cast<uint32_t>(addr_diff(constants().current, start));
    const uint32_t size = type_size(type);
    if (written < size)
        emit_zeros(size - written);
    return state;
}

int fill_array(uint32_t word, int32_t type, uint16_t *dims, int dim_count, int mode, bool protect)
{
    const uint32_t element_word = word >> 4;
    uint16_t *element_dims = dim_count > 1 ? dims + 1 : nullptr;
    const int element_dim_count = std::max(0, dim_count - 1);
    if (decl_level(element_word, 0) == kDeclNone && type == kTypeChar && peek() == '"')
        return emit_string(dims);

    int state = mode;
    if (dims[0] == 0) {
        // Unsized: as many elements as the list gives.
        uint32_t count = 0;
        do {
            state = fill_element(element_word, type, element_dims, element_dim_count, state,
                                 protect);
            ++count;
        } while (state != 0 && count < static_cast<uint32_t>(kMaxDimension));
        if (state != 0) {
            error_here(msg(kMsgDeclUnsizedTooLarge), kMaxDimension);
            count = 1;
        }
        dims[0] = static_cast<uint16_t>(count);
        return state;
    }
    for (uint32_t i = 0; i < dims[0]; ++i)
        state = fill_element(element_word, type, element_dims, element_dim_count,
                             state == 0 ? 0 : mode, protect);
    return state;
}

int fill(uint32_t word, int32_t type, uint16_t *dims, int dim_count, int mode, bool protect)
{
    switch (decl_level(word, 0)) {
    case kDeclArray:
        return fill_array(word, type, dims, dim_count, mode, protect);
    case kDeclFunction:
        return 0;
    case kDeclPointer:
        return emit_scalar(word, type, mode);
    default:
        if (type >= kTypeFirstTag && is_tag_type(type))
            return fill_members(type, mode, protect);
        return emit_scalar(word, type, mode);
    }
}

}  // namespace

int fill_element(uint32_t word, int32_t type, uint16_t *dims, int dim_count, int mode, bool protect)
{
    return emit_initialized_data(word, type, dims, dim_count, mode, true, protect);
}

int emit_initialized_data(uint32_t word, int32_t type, uint16_t *dims, int dim_count, int mode,
                          bool initialised, bool protect)
{
    if (!initialised) {
        const char c = peek();
        if (mode == 2 && (c == ',' || c == ';' || c == '}')) {
            const uint32_t size = declarator_size(word, type, dims, dim_count);
            g_data_address = emit_zero_bytes(size, protect);
            return 0;
        }
        error_here("%s", msg(kMsgDeclBadDeclaration));
        // What stands there is no declarator: the declaration ends at its ";".
        while (*input_pointer() && *input_pointer() != ';')
            advance_input(1);
        return 0;
    }
    if (mode == 2) {
        g_data_address = constants().current;
        g_brace_depth = 0;
        g_literal_pointers.clear();
        const int state = initialise(word, type, dims, dim_count, mode, protect);
        complete_literal_pointers();
        return state;
    }
    return initialise(word, type, dims, dim_count, mode, protect);
}

namespace {

int initialise(uint32_t word, int32_t type, uint16_t *dims, int dim_count, int mode, bool protect)
{
    if (mode == 0)
        return fill(word, type, dims, dim_count, 0, protect);
    if (peek() != '{')
        return fill(word, type, dims, dim_count, mode == 2 ? 1 : mode, protect);

    advance_input(1);
    ++g_brace_depth;
    const ADDR24 start = constants().current;
    // "{}" gives no value: the object is zeros (an unsized array stays without elements).
    (void)fill(word, type, dims, dim_count, peek() == '}' ? 0 : -1, protect);
    close_brace_list();
    --g_brace_depth;
    record_listing_range(start, constants().current,
                         bios_compile() ? kListBiosCode : kListProgramCode);
    return mode == 2 ? 0 : continuation();
}

}  // namespace

// ---- the definer ----------------------------------------------------------------------------------

namespace {

uint16_t g_sharing = kShareNone;
uint8_t g_io = kIoNone;

bool base_const(uint32_t word)
{
    return ((word >> (4 * declarator_levels(word))) & 4) != 0;
}

// After a declarator: "," goes on with the next one.
bool next_declarator()
{
    if (peek() != ',')
        return false;
    advance_input(1);
    return true;
}

// The rest of a declarator that cannot be defined, up to the "," or ";" after it (not consumed)
// or the end of the line.
void skip_declarator_rest()
{
    int depth = 0;
    for (;;) {
        const char c = *input_pointer();
        if (c == 0 || ((c == ',' || c == ';') && depth == 0))
            return;
        if (c == '(' || c == '[' || c == '{')
            ++depth;
        else if ((c == ')' || c == ']' || c == '}') && depth > 0)
            --depth;
        advance_input(1);
    }
}

// Reads over a parameter list that starts at the cursor, up to and with its ")".
void skip_parameter_list()
{
    int depth = 1;
    for (;;) {
        const char c = peek();
        if (c == 0 || c == ';' || c == '{')
            return;
        advance_input(1);
        if (c == '(')
            ++depth;
        else if (c == ')' && --depth == 0)
            return;
    }
}

// The text a nameless declarator stands on (at most 250 characters), read over.
std::string offending_text()
{
    const char *from = input_pointer();
    skip_declarator_rest();
    std::string text(from, static_cast<std::size_t>(input_pointer() - from));
    if (text.size() > 250)
        text.resize(250);
    if (text.empty() && *input_pointer())
        text = std::string(1, *input_pointer());
    return text;
}

void set_flag(symbol *s, SymbolFlagBit bit, bool on)
{
    s->flags[bit.byte] = static_cast<uint8_t>(on ? (s->flags[bit.byte] | bit.mask)
                                                 : (s->flags[bit.byte] & ~bit.mask));
}

uint16_t sharing_of(const symbol *s) { return (s->flags[0] >> kSymSharingShift) & 3; }

// The map's list of global and static data. A static local is listed under "function:name";
// the map reads bits 3-4 of a record's flags as an import's kind, which a variable is not.
void list_global_data(const symbol &entry, bool static_local)
{
    symbol copy = entry;
    std::string name = entry.name ? entry.name : "";
    if (static_local)
        name = local_declaration_scope().function + ":" + name;
    copy.name = name.data();
    copy.flags[0] = static_cast<uint8_t>(copy.flags[0] & ~0x18);
    if (!copy.file)
        copy.file = "";
    linker_seam().mapfile_add_symbol(copy);
}

struct Definition {
    DeclaratorResult r;
    int32_t type;
    int32_t storage;
    bool protect;
    uint8_t io;  // the declaration's I/O attribute
};

// The port address after "@": a constant in the I/O space; nothing after a fault (reported).
std::optional<ADDR24> read_port_address(bool pointer)
{
    gObjectPool.push_mark();
    struct Mark {
        ~Mark() { gObjectPool.pop_mark(); }
    } mark;
    object *value = gObjectPool.new_object();
    {
        DiscardedCode discard;
        parse_expression(value, 1, 0, 0);
    }
    if (value->kind != 0 || value->literal) {
        error_here("%s", msg(kMsgDeclIoConstant));
        return std::nullopt;
    }
    if (pointer) {
        error_here("%s", msg(kMsgDeclIoPointer));
        return std::nullopt;
    }
    return make_addr(0, static_cast<uint16_t>(value->value));
}

// A global, static, register, extern or typedef name.
void define_static(Definition &d)
{
    DeclaratorResult &r = d.r;
    const bool pointer = decl_level(r.word, 0) == kDeclPointer;
    const bool function = decl_level(r.word, 0) == kDeclFunction;
    const bool constant = base_const(r.word);
    bool initialised = false;
    uint8_t io = function ? uint8_t(kIoNone) : d.io;
    std::optional<ADDR24> port;
    if (io != kIoNone && peek() == '@') {
        advance_input(1);
        port = read_port_address(pointer);
        if (!port)
            io = kIoNone;  // an ordinary object then, so that nothing else goes wrong
        else if (d.storage == kStorageExtern)
            d.storage = kStorageNoneGlobal;  // an extern with its address is its definition
    } else if (peek() == '=') {
        advance_input(1);
        initialised = true;
        if (d.storage == kStorageRegister) {
            error_here("%s", msg(kMsgDeclAutoInit));
            skip_declarator_rest();  // a register variable has no data of its own to take it
        } else if (io != kIoNone) {
            // A port's value is the device's: the data goes among the constants as for an
            // ordinary object.
            error_here("%s", msg(kMsgDeclIoInitializer));
            io = kIoNone;
        } else if (!watch_compile() && !constant) {
            trivial_warning_here("%s", msg(kMsgDeclInitializedInFlash));
            if (pointer)
                trivial_warning_here("%s", msg(kMsgDeclConstPointer));
        }
        if (d.storage == kStorageExtern)
            d.storage = kStorageNoneGlobal;  // an extern with its data is its definition
    } else if (constant && d.storage != kStorageExtern && d.storage != kStorageTypedefGlobal &&
               d.storage != kStorageTypedefLocal && !function) {
        error_here("%s", msg(kMsgDeclConstNeedsInit));
    }

    // Register variables are placed by the function, all in one area, once its declarations
    // are read.
    const bool placed = !function && d.storage != kStorageExtern &&
                        d.storage != kStorageTypedefGlobal &&
                        d.storage != kStorageTypedefLocal && d.storage != kStorageRegister;
    if (placed && io != kIoNone && !port && !initialised) {
        // A port defined without its address would be accessed at some address of the variable
        // area in the I/O space.
        error_here("%s", msg(kMsgDeclIoConstant));
        io = kIoNone;
    }
    ADDR24 address = kDummyAddress;
    if (placed && port) {
        address = *port;
        r.size = declarator_size(r.word, d.type, r.dims, r.dim_count);
    } else if (placed) {
        gObjectPool.push_mark();
        struct Mark {
            ~Mark() { gObjectPool.pop_mark(); }
        } mark;
        (void)emit_initialized_data(r.word, d.type, r.dims, r.dim_count, 2, initialised,
                                    d.protect);
        address = g_data_address;
        r.size = declarator_size(r.word, d.type, r.dims, r.dim_count);
    }

    const bool local_table = d.storage == kStorageStaticLocal || d.storage == kStorageRegister ||
                             d.storage == kStorageTypedefLocal;
    symbol *known = find_symbol(r.name, false, local_table ? kLocalTable : kGlobalTable);
    const bool was_extern = known && known->kind == kStorageExtern;
    symbol *s = add_symbol(r.name, r.word, d.type, 0, static_cast<uint8_t>(d.storage), r.dims,
                           r.dim_count);
    if (placed) {
        if (was_extern) {
            s->address[0] = address;
            s->kind = d.storage == kStorageStaticGlobal ? 3 : static_cast<uint8_t>(d.storage);
            define_label(r.name, address, kLabelGlobal);
        } else if (s->address[0] == kDummyAddress) {
            s->address[0] = address;
            // "#asm" written before the definition named it: its references get the address.
            const QBFixupRec *wanted = find_label(r.name, kLabelGlobal);
            if (!local_table && wanted && !wanted->defined)
                define_label(r.name, address, kLabelGlobal);
        }
        s->size = static_cast<uint16_t>(r.size);
    } else if (d.storage == kStorageRegister) {
        s->size = static_cast<uint16_t>(r.size);
    }
    set_flag(s, kSymNotInitialised, !initialised);
    const bool global = d.storage == kStorageNoneGlobal || d.storage == kStorageStaticGlobal ||
                        d.storage == kStorageExtern;
    if (d.storage == kStorageNoneGlobal || d.storage == kStorageStaticGlobal)
        set_flag(s, kSymDefined, true);
    if (global || pointer) {
        // `known` is the entry this declaration completed, still with its own marker.
        if (known && (was_extern || known->kind == kStorageNoneGlobal) &&
            sharing_of(known) != g_sharing)
            error_here(msg(kMsgDeclSharedInconsistent), r.name);
        s->flags[0] = static_cast<uint8_t>((s->flags[0] & ~(3u << kSymSharingShift)) |
                                           (g_sharing << kSymSharingShift));
    } else if (g_sharing != kShareNone) {
        error_here("%s", msg(kMsgDeclSharedPlacement));
    }
    set_flag(s, kSymTyped, (current_decl_flags().word & kDeclTyped) != 0);
    s->flags[2] = static_cast<uint8_t>((s->flags[2] & ~(3u << kSymIoShift)) | (io << kSymIoShift));
    if (io != kIoNone && g_sharing != kShareNone)
        error_here("%s", msg(kMsgDeclSharedPlacement));

    if (!placed)
        return;
    if (r.size == 0 && !(d.type == kTypeVoid && decl_level(r.word, 0) == kDeclNone)) {
        if (is_tag_type(d.type) && !tag_defined(d.type) && decl_level(r.word, 0) == kDeclNone)
            error_here("%s", msg(kMsgDeclStructBeforeDefinition));
        else
            error_here("%s", msg(kMsgDeclDimensionMissing));
    }
    if (d.storage == kStorageNoneGlobal || d.storage == kStorageStaticGlobal ||
        d.storage == kStorageStaticLocal)
        list_global_data(*s, d.storage == kStorageStaticLocal);
}

// An automatic variable: its frame offset, counted downward from the block base.
void define_auto(Definition &d, bool written)
{
    LocalDeclarationScope &scope = local_declaration_scope();
    const int32_t frame = scope.frame - static_cast<int32_t>(d.r.size);
    if (frame < -kMaxFrame) {
        error_here(msg(kMsgDeclFrameTooLarge), kMaxFrame);
    } else {
        scope.frame = static_cast<int16_t>(frame);
        symbol *s = add_symbol(d.r.name, d.r.word, d.type, scope.frame, kStorageAuto, d.r.dims,
                               d.r.dim_count);
        s->size = static_cast<uint16_t>(d.r.size);
        if (decl_level(d.r.word, 0) == kDeclPointer)
            s->flags[0] = static_cast<uint8_t>((s->flags[0] & ~(3u << kSymSharingShift)) |
                                               (g_sharing << kSymSharingShift));
    }
    if (peek() == '=') {
        error_here("%s", msg(written ? kMsgDeclAutoInit : kMsgDeclClassAutoInit));
        skip_declarator_rest();
    }
}

// A parameter: an array is passed as a pointer. Its frame offset is the function's to give.
void define_parameter(Definition &d, int context)
{
    DeclaratorResult &r = d.r;
    if (decl_level(r.word, 0) == kDeclArray) {
        r.word = (r.word & ~0xFu) | kDeclPointer;
        r.size = 2;
        if (r.dim_count > 0) {
            std::memmove(r.dims, r.dims + 1, sizeof(uint16_t) * (r.dim_count - 1));
            --r.dim_count;
        }
    }
    if (context == kContextOldParameter) {
        symbol *s = find_symbol(r.name, false, kLocalTable);
        if (!s) {
            error_here(msg(kMsgDeclImproperArgument), r.name);
            return;
        }
        s->type = d.type;
        s->declarator = r.word;
        s->size = static_cast<uint16_t>(r.size);
        return;
    }
    symbol *s = add_symbol(r.name, r.word, d.type, 0, kStorageAuto, r.dims, r.dim_count);
    s->size = static_cast<uint16_t>(r.size);
}

}  // namespace

void set_sharing_marker(uint16_t marker) { g_sharing = marker; }
void set_io_attribute(uint8_t space) { g_io = space; }

int32_t define_declarators(int32_t type, int32_t storage, int context, bool implicit, bool protect)
{
    const bool parameter = context == kContextParameter || context == kContextOldParameter;
    const auto answer = [&]() -> int32_t {
        return context == kContextLocal ? local_declaration_scope().frame : 0;
    };
    for (;;) {
        if (peek() == ';')
            return answer();
        const int reports = errors_seen();
        const int result = parse_declarator(type, true);
        Definition d{declarator_result(), type, storage, protect,
                     parameter ? uint8_t(kIoNone) : g_io};
        DeclaratorResult &r = d.r;
        const bool function = decl_level(r.word, 0) == kDeclFunction;

        if (function && context == kContextGlobal) {
            current_decl_flags().word |= kDeclTopAsm;  // a function being defined
            if (function_definition_seam().parse_function_definition(result, type, storage,
                                                                   declared_memory_word()))
                return 1;
            if (!next_declarator())
                return answer();
            continue;
        }
        if (function && result == 2 && held_parameter_list().text.empty()) {
            // A function declared here (not defined): its parameters describe nothing kept.
            skip_parameter_list();
        }
        if (implicit && !function) {
            error_here("%s", msg(kMsgDeclNeedFunction));
            return 2;
        }
        if (!r.name[0]) {
            if (context == kContextParameter) {
                const std::string unique = make_unique_label("___");
                std::strncpy(r.name, unique.c_str(), kMaxIdentifier);
            } else {
                const std::string text = offending_text();
                // A declarator whose fault was reported while it was read loses its name too.
                if (errors_seen() == reports)
                    error_here(msg(kMsgDeclIllegalName), text.c_str());
                if (!next_declarator() || parameter)
                    return answer();
                continue;
            }
        } else if (type == kTypeVoid && decl_level(r.word, 0) == kDeclNone) {
            error_here("%s", msg(kMsgDeclVoidObject));
        }

        int32_t cls = storage;
        if (cls == kStorageAuto && base_const(r.word))
            error_here("%s", msg(kMsgDeclConstLocal));
        if (function && cls != kStorageStaticGlobal && cls != kStorageStaticLocal)
            cls = cls == kStorageTypedefLocal ? kStorageTypedefGlobal : kStorageExtern;
        if (cls == kStorageNoneLocal && !parameter)
            cls = local_declaration_scope().cofunction ? kStorageAuto
                                                       : (current_storage_class() == kClassStatic
                                                              ? kStorageStaticLocal
                                                              : kStorageAuto);
        if (d.io != kIoNone && !parameter && (cls == kStorageAuto || cls == kStorageRegister))
            cls = kStorageStaticLocal;  // a port has one fixed address
        d.storage = cls;

        if (cls == kStorageRegister) {
            if (r.size != 2)
                error_here(msg(kMsgDeclRegisterSize), static_cast<int>(r.size));
            if (!local_declaration_scope().registers)
                d.storage = cls = kStorageAuto;
        }
        if (parameter)
            define_parameter(d, context);
        else if (cls == kStorageAuto)
            define_auto(d, storage == kStorageAuto || storage == kStorageRegister);
        else
            define_static(d);
        if (context == kContextParameter || !next_declarator())
            return answer();
    }
}
