// CC_OBJ: the expression node `object`, the `ObjectPool` with marks, and the node queries.
// Nodes are allocated one by one when the pool grows (by doubling) and live until the pool
// dies, so pointers handed out stay valid; marks give back everything taken after them.
#include "CC_OBJ.h"

#include "CC_ADDR.h"
#include "CC_ER.h"
#include "input/CC_IN.h"
#include "linker/CC_RELOC.h"
#include "CC_STAB.h"
#include "StringResources.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

// ---- the pool -----------------------------------------------------------------------------------

ObjectPool gObjectPool(64);

ObjectPool::ObjectPool(std::size_t nodes) {
    m_nodes.reserve(nodes ? nodes : 1);
    for (std::size_t i = 0; i < (nodes ? nodes : 1); ++i)
        m_nodes.push_back(new object{});
}

ObjectPool::~ObjectPool() {
    for (object *n : m_nodes)
        delete n;
}

void ObjectPool::grow() {
    const std::size_t old = m_nodes.size();
    m_nodes.reserve(old * 2);
    for (std::size_t i = old; i < old * 2; ++i)
        m_nodes.push_back(new object{});
}

// Grows when fewer than 13 slots remain after the index; skips nodes held with kind 255.
object *ObjectPool::new_object() {
    for (;;) {
        if (m_nodes.size() - m_next < 13)
            grow();
        if (m_nodes[m_next]->kind != 255)
            break;
        ++m_next;
    }
    object *n = m_nodes[m_next++];
    *n = object{};
    return n;
}

void ObjectPool::push_mark() { m_marks.push_back(static_cast<uint32_t>(m_next)); }

void ObjectPool::pop_mark() {
    assert(!m_marks.empty() && "pop_mark without push_mark");
    if (m_marks.empty())
        return;
    std::size_t mark = m_marks.back();
    m_marks.pop_back();
    for (std::size_t i = mark; i < m_next && i < m_nodes.size(); ++i)
        m_nodes[i]->kind = 0;
    if (mark < m_next)
        m_next = mark;
}

void ObjectPool::reset() {
    m_marks.clear();
    for (std::size_t i = 0; i < m_next; ++i)
        m_nodes[i]->kind = 0;
    m_next = 0;
}

// ---- host -----------------------------------------------------------------------------------------

namespace {

// The host until the code generator installs its own: labels come from the label tables
// (CC_RELOC) and the compile kind from the compile mode word; the stack state and the frame
// options, which only the code generator keeps, read as 0 and off.
// A label that is not yet defined answers the placeholder address: the code generator knows the
// site that will hold the reference and queues the fix-up when it emits it.
class BuiltinObjHost : public ObjHost {
public:
    ADDR24 reference_label(const char *name, uint32_t flags, bool) override {
        const QBFixupRec *label = find_label(name, flags);
        return label && label->defined ? label->address : kDummyAddress;
    }
    bool label_defined(const char *name) override {
        const QBFixupRec *label = find_label(name, kLabelLocal | kLabelGlobal);
        return label && label->defined;
    }
    bool short_displacement_option() override { return false; }
    int16_t stack_depth() override { return 0; }
    bool frame_option_bits() override { return false; }
    int16_t pending_adjust_1() override { return 0; }
    int16_t pending_adjust_2() override { return 0; }
    uint16_t compile_kind() override { return compile_mode_word(); }
};

BuiltinObjHost g_builtin_host;
ObjHost *g_host = &g_builtin_host;

symbol g_placeholder;

bool bit(uint32_t word, int n) { return (word >> n) & 1; }

} // namespace

void set_obj_host(ObjHost *host) { g_host = host ? host : &g_builtin_host; }
ObjHost &builtin_obj_host() { return g_builtin_host; }

symbol *placeholder_symbol() { return &g_placeholder; }

// ---- fills ----------------------------------------------------------------------------------------

// Node flag bytes from the symbol's flag bytes (all copied bits 0 without a symbol):
//   [0] bit 0 plain-or-pointer, bit 1 second flag, bits 2-3 <- sym[0] bits 2-3,
//   word([0],[1]) bits 4-9 <- word(sym[0],sym[1]) bits 7-12
//   [1] bit 2 <- sym[0] bit 6, bit 3 <- sym[0] bit 5, bits 4-5 clear, bit 6 writable,
//       bit 7 <- sym[1] bit 6
//   [2] bit 0 <- sym[1] bit 7
//   [3] copy of the plain-or-pointer flag
void set_object(object *node, uint8_t kind, uint16_t type, uint32_t declarator, symbol *sym,
                uint32_t value, const uint16_t *dims, uint8_t dim_count, bool plain_flag,
                bool second_flag) {
    node->type = type;
    node->kind = kind;
    node->declarator = declarator;
    node->sym = sym;
    node->value = value;
    node->dims = dims;
    node->dim_count = dim_count;
    node->address_of = 0;
    node->computed = 0;
    node->dereferenced = 0;
    node->work[0] = node->work[1] = node->work[2] = 0;

    const uint32_t s0 = sym ? sym->flags[0] : 0;
    const uint32_t s1 = sym ? sym->flags[1] : 0;
    const uint32_t sword = s0 | (s1 << 8);

    uint32_t word = (plain_flag ? 1u : 0u) | (second_flag ? 2u : 0u) | (s0 & 0x0C);
    word |= ((sword >> 7) & 0x3F) << 4;
    uint8_t f1 = static_cast<uint8_t>((word >> 8) & 0x03);
    f1 |= static_cast<uint8_t>(bit(s0, 6) << 2);
    f1 |= static_cast<uint8_t>(bit(s0, 5) << 3);
    if (kind != 0 && sym != &g_placeholder)
        f1 |= 0x40;
    f1 |= static_cast<uint8_t>(bit(s1, 6) << 7);

    node->flags[0] = static_cast<uint8_t>(word & 0xFF);
    node->flags[1] = f1;
    node->flags[2] = static_cast<uint8_t>(bit(s1, 7));
    node->flags[3] = plain_flag ? 1 : 0;
}

void obj_set(object *node, uint8_t kind, uint16_t type, uint32_t declarator, bool flag) {
    set_object(node, kind, type, declarator, nullptr, 0, nullptr, 0, flag, false);
}

// A constant node of a basic type (2 int, 3 unsigned, 4 long, 5 unsigned long); a signed value
// is kept sign-extended to 32 bits.
static void set_constant(object *node, uint16_t type, uint32_t value) {
    obj_set(node, 0, type, 0, true);
    node->value = value;
}
void obj_set_short_const(object *node, int16_t value) {
    set_constant(node, 2, static_cast<uint32_t>(static_cast<int32_t>(value)));
}
void obj_set_int_const(object *node, int32_t value) {
    set_constant(node, 2, static_cast<uint32_t>(value));
}
void obj_set_uint_const(object *node, uint32_t value) { set_constant(node, 3, value); }
void obj_set_long_const(object *node, int32_t value) {
    set_constant(node, 4, static_cast<uint32_t>(value));
}
void obj_set_ulong_const(object *node, uint32_t value) { set_constant(node, 5, value); }
void obj_set_address_value(object *node, uint32_t value) {
    obj_set(node, 0, 12, kDeclPointer, true);
    node->value = value;
}

void obj_from_symbol(object *node, symbol *sym) {
    uint8_t kind = sym->kind == 4 || sym->kind == 5 ? 3 : sym->kind;
    uint32_t first = decl_level(sym->declarator, 0);
    bool plain = first != kDeclArray && first != kDeclFunction;
    set_object(node, kind, static_cast<uint16_t>(sym->type), sym->declarator, sym,
               static_cast<uint32_t>(static_cast<int32_t>(sym->value)), sym->dims, sym->dim_count,
               plain, false);
    node->flags[1] = static_cast<uint8_t>((node->flags[1] & ~0x40) | (bit(sym->flags[1], 5) << 6));
    obj_take_io_space(node, sym);
}

void obj_take_io_space(object *node, const symbol *sym)
{
    if (!sym || decl_level(sym->declarator, 0) == kDeclFunction)
        return;
    set_obj_flag(node, internalIo, (sym->flags[2] & 3) == 1);
    set_obj_flag(node, externalIo, (sym->flags[2] & 3) == 2);
}

// ---- queries ------------------------------------------------------------------------------------

const char *obj_name(const object *node) {
    if (node->sym == &g_placeholder)
        return node->name;
    if (node->kind != 0 && node->sym)
        return node->sym->name;
    return nullptr;
}

uint16_t type_size(int32_t type) {
    switch (type) {
    case 1: return 1;
    case 2: case 3: return 2;
    case 4: case 5: case 7: return 4;
    default: break;
    }
    if (type < 16)
        return 0;
    int32_t size = tag_size(type);
    return size < 0 ? 0 : static_cast<uint16_t>(size);
}

uint16_t obj_type_size(const object *node) {
    uint16_t size = type_size(node->type);
    if (node->kind == 254 && node->declarator == 0 && size < 2)
        return 2;
    return size;
}

// Walk from a pointer level over the node's levels: an array level multiplies by its dimension,
// a pointer or function level ends with two bytes, no level with the element size.
uint32_t obj_array_size(const object *node) {
    uint32_t product = 1;
    int dim = 0;
    for (int level = 0; level < 8; ++level) {
        uint32_t kind = level < 7 ? decl_level(node->declarator, level) : kDeclNone;
        if (kind == kDeclNone)
            return product * type_size(node->type);
        if (kind == kDeclPointer || kind == kDeclFunction)
            return product * 2;
        uint32_t n = 0;
        if (node->dims && dim < node->dim_count)
            n = node->dims[dim];
        else if (node->sym == &g_placeholder && node->literal)
            n = static_cast<uint32_t>(std::strlen(node->literal) + 1);
        ++dim;
        product *= n;
    }
    return product;
}

uint32_t obj_size(const object *node, int mode) {
    uint32_t first = decl_level(node->declarator, 0);
    if ((first == kDeclArray || first == kDeclPointer) && mode != 2)
        return mode == 0 ? 2 : obj_array_size(node);
    return obj_type_size(node);
}

uint16_t obj_value_type(const object *node, int mode) {
    if (decl_level(node->declarator, 0) == kDeclNone)
        return node->type;
    if (mode == 2)
        return node->type;
    if (mode == 0)
        return 12;
    return decl_level(node->declarator, 1) == kDeclNone ? node->type : 12;
}

static bool kind_has_storage(const object *node, uint8_t kind, int depth) {
    switch (kind) {
    case 1: case 3: case 4: case 252: return true;
    default: break;
    }
    if (kind < 254)
        return false;
    if (node->sym == &g_placeholder)
        return true;
    if (!node->sym || depth > 0)
        return false;
    return kind_has_storage(node, node->sym->kind, depth + 1);
}

bool obj_kind_has_storage(const object *node, uint8_t kind) { return kind_has_storage(node, kind, 0); }

bool obj_is_function(const object *node) {
    return obj_kind_has_storage(node, node->kind) && node->sym &&
           decl_level(node->sym->declarator, 0) == kDeclFunction;
}

bool obj_is_function_pointer(const object *node) {
    uint32_t first = decl_level(node->declarator, 0);
    return (first == kDeclArray || first == kDeclPointer) &&
           decl_level(node->declarator, 1) == kDeclFunction;
}

static bool symbol_is_function(const symbol *sym) {
    return sym && sym != &g_placeholder && decl_level(sym->declarator, 0) == kDeclFunction;
}

bool obj_address_known(const object *node) {
    if (node->sym == &g_placeholder)
        return false;
    if (symbol_is_function(node->sym))
        return addr_offset(node->sym->address[0]) != 0;
    if (node->kind == 252)
        return g_host->label_defined(obj_name(node) ? obj_name(node) : "");
    return true;
}

int16_t obj_short_offset(const object *node) {
    if (!g_host->short_displacement_option() || node->kind != 2)
        return 0;
    auto offset = static_cast<int16_t>(node->value & 0xFFFF);
    return offset >= -128 && offset <= 125 ? offset : 0;
}

int32_t obj_stack_offset(const object *node) {
    int32_t offset = static_cast<int16_t>(node->value & 0xFFFF);
    offset += g_host->stack_depth();
    if (!g_host->frame_option_bits())
        offset += std::abs(static_cast<int32_t>(g_host->pending_adjust_1())) +
                  std::abs(static_cast<int32_t>(g_host->pending_adjust_2()));
    return offset;
}

bool obj_const_equals(const object *node, double number) {
    if (node->kind != 0)
        return false;
    if (node->type < 6)
        return static_cast<double>(static_cast<int32_t>(node->value)) == number;
    if (node->type == 7) {
        float f;
        std::memcpy(&f, &node->value, sizeof f);
        return f == static_cast<float>(number);
    }
    return false;
}

// Flag bit 16 selects the data cache; bits 0 and 1 mark a reference that wants the address
// itself; bit 6 marks references made outside a program or function compile.
ADDR24 obj_address(const object *node, int32_t offset, uint32_t flags) {
    const uint16_t compile_kind = g_host->compile_kind();
    if (compile_kind != 0 && compile_kind != 2)
        flags |= 0x40;
    const bool data_cache = (flags & 0x10000) != 0;
    ADDR24 address = kDummyAddress;
    int32_t displacement = offset;

    if (node->sym == &g_placeholder) {
        displacement = static_cast<int32_t>(node->value & 0xFFFF) + offset;
        address = g_host->reference_label(node->name ? node->name : "", flags | 2, data_cache);
    } else if (symbol_is_function(node->sym)) {
        // An xmem function is called through its root entry stub (address[1]): a pointer to it
        // holds the stub's address, which a plain call through the pointer reaches.
        const ADDR24 stub = node->sym->address[1];
        if (addr_offset(node->sym->address[0]) >= window_start() && stub != kDummyAddress)
            address = stub;
        else if (addr_offset(node->sym->address[0]) != 0)
            address = node->sym->address[0];
        else
            address = g_host->reference_label(node->sym->name, flags | 3, data_cache);
    } else if (node->kind != 0) {
        displacement = static_cast<int32_t>(node->value & 0xFFFF) + offset;
        if (obj_address_known(node) && node->sym)
            address = node->sym->address[0];
        else
            address = g_host->reference_label(obj_name(node) ? obj_name(node) : "", flags | 3,
                                              data_cache);
    } else {
        if (errors_seen() == 0) {
            std::string_view text = string_resource(635);
            error_here("%s", text.empty() ? "Internal error: attempt to address a constant value."
                                          : text.data());
        }
        return kDummyAddress;
    }
    return addr_add(address, static_cast<int16_t>(displacement));
}
