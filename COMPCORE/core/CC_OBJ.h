// CC_OBJ: the expression node `object` and the `ObjectPool` that hands nodes out.
// Every operand the one-pass expression parser and the code generator handle is a node taken
// from a pool and given back in groups with marks, so that an expression costs no heap
// allocation once the pool has grown. Also the small queries on a node that the parser, the
// code generator and the assembler ask: sizes, value type, storage, function tests, stack
// offset and target address. Label references and the stack state come through ObjHost.
#pragma once

#include "CC_ADDR.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

struct symbol;

struct object {
    uint16_t type = 0;          // 1 char 2 int 3 uint 4 long 5 ulong 7 float 12 address, 16+ tag
    uint8_t kind = 0;           // 0 value; 1 3 4 stored; 252 label; 254 255 reference (255: held)
    uint32_t declarator = 0;    // one 4-bit group per level, first level lowest
    symbol *sym = nullptr;      // entry, none, or the placeholder symbol
    uint32_t value = 0;         // constant (float: its bits) or offset
    const uint16_t *dims = nullptr; // the symbol's dimension list
    uint8_t dim_count = 0;
    uint8_t flags[4] = {0, 0, 0, 0};
    uint8_t address_of = 0;     // "&" made an address constant
    uint8_t computed = 0;       // value computed by a call or post-increment
    uint8_t dereferenced = 0;
    uint8_t builtin_id = 0;
    uint16_t work[3] = {0, 0, 0};
    const char *name = nullptr; // with the placeholder symbol
    const char *literal = nullptr;
};

// Declarator levels.
enum : uint32_t { kDeclNone = 0, kDeclArray = 1, kDeclPointer = 2, kDeclFunction = 3 };
inline uint32_t decl_level(uint32_t declarator, int level) { return (declarator >> (4 * level)) & 3; }

// ---- the node's flag bits, one mapping for the parser and the code generator ------------------
// Where each named bit sits in object::flags (byte, bit). `set_object` fills bytes 0, 1 and 3
// from the symbol and clears byte 2, so every code-generator bit of byte 2 starts clear.
//   [0] bit 0  addressInRegisters: a kind-255 node whose registers hold its address (the lvalue
//              flag: set_object's plain-or-pointer argument)
//   [0] bit 1  inByteRegister: the value sits in A (set_object's second flag)
//   [0] bits 2-3 storage-space code (copied from bits 2-3 of the symbol's first flag byte)
//   [1] bit 4  value-not-needed mark, [1] bit 5 address-kept mark, [1] bit 6 writable (parser)
//   [2] bit 0  copied from bit 7 of the symbol's second flag byte
//   [2] bit 1  noLoadNeeded: a load returns at once
//   [2] bit 2  storeSuppressed: the next store only clears this bit and noLoadNeeded
//   [2] bit 3  noCode: loads, pushes and stores of the node emit nothing
//   [2] bit 4  internalIo: every access gets the internal I/O prefix (0xD3)
//   [2] bit 5  externalIo: every access gets the external I/O prefix (0xDB)
struct ObjFlag {
    uint8_t byte;
    uint8_t mask;
};
inline constexpr ObjFlag addressInRegisters{0, 0x01};
inline constexpr ObjFlag inByteRegister{0, 0x02};
inline constexpr ObjFlag noLoadNeeded{2, 0x02};
inline constexpr ObjFlag storeSuppressed{2, 0x04};
inline constexpr ObjFlag noCode{2, 0x08};
inline constexpr ObjFlag internalIo{2, 0x10};
inline constexpr ObjFlag externalIo{2, 0x20};

inline bool obj_flag(const object *node, ObjFlag f) { return (node->flags[f.byte] & f.mask) != 0; }
inline void set_obj_flag(object *node, ObjFlag f, bool on)
{
    node->flags[f.byte] = static_cast<uint8_t>(on ? (node->flags[f.byte] | f.mask)
                                                  : (node->flags[f.byte] & ~f.mask));
}
// The node's own two-bit storage-space code (0 ordinary; 1 and 2 the "_s"/"_ss" routines).
inline uint8_t obj_storage_bits(const object *node) { return (node->flags[0] >> 2) & 3; }

// The condition state of a value, in work words 1 and 2 (cleared by every fill): whether the
// zero flag, respectively the carry flag, already holds the value's truth; 0 not known,
// positive as is, negative inverted. The comparison generators set it, a conditional jump
// reads and clears it.
inline int16_t obj_zero_state(const object *node) { return static_cast<int16_t>(node->work[1]); }
inline int16_t obj_carry_state(const object *node) { return static_cast<int16_t>(node->work[2]); }
inline void set_obj_condition_state(object *node, int16_t zero, int16_t carry)
{
    node->work[1] = static_cast<uint16_t>(zero);
    node->work[2] = static_cast<uint16_t>(carry);
}

class ObjectPool {
public:
    explicit ObjectPool(std::size_t nodes);
    ~ObjectPool();
    ObjectPool(const ObjectPool &) = delete;
    ObjectPool &operator=(const ObjectPool &) = delete;

    object *new_object();
    void push_mark();
    void pop_mark(); // without a mark: gives back nothing (a bug of the caller; asserted)
    void reset();

    std::size_t capacity() const { return m_nodes.size(); }
    std::size_t index() const { return m_next; }
    std::size_t mark_depth() const { return m_marks.size(); }

private:
    void grow();
    std::vector<object *> m_nodes;
    std::deque<uint32_t> m_marks;
    std::size_t m_next = 0;
};

extern ObjectPool gObjectPool; // 64 nodes

// The placeholder symbol: a name without an entry (the name is then in the node).
symbol *placeholder_symbol();

// ---- fills --------------------------------------------------------------------------------
void set_object(object *node, uint8_t kind, uint16_t type, uint32_t declarator, symbol *sym,
                uint32_t value, const uint16_t *dims, uint8_t dim_count, bool plain_flag,
                bool second_flag);
void obj_set(object *node, uint8_t kind, uint16_t type, uint32_t declarator, bool flag);
void obj_set_short_const(object *node, int16_t value);
void obj_set_int_const(object *node, int32_t value);
void obj_set_uint_const(object *node, uint32_t value);
void obj_set_long_const(object *node, int32_t value);
void obj_set_ulong_const(object *node, uint32_t value);
void obj_set_address_value(object *node, uint32_t value);
void obj_from_symbol(object *node, symbol *sym);
// A data symbol's I/O space (bits 0-1 of its third flag byte: 1 internal, 2 external; the
// definer's I/O attribute) as the node's internalIo / externalIo; a function's bits there mean
// something else and are left alone.
void obj_take_io_space(object *node, const symbol *sym);

// ---- queries --------------------------------------------------------------------------------
const char *obj_name(const object *node);
uint16_t type_size(int32_t type);
uint16_t obj_type_size(const object *node);
// Bytes of the whole array a node names (its dimensions times the element size); 0 when a
// dimension is missing.
uint32_t obj_array_size(const object *node);
uint32_t obj_size(const object *node, int mode);
uint16_t obj_value_type(const object *node, int mode);
bool obj_kind_has_storage(const object *node, uint8_t kind);
bool obj_is_function(const object *node);
bool obj_is_function_pointer(const object *node);
bool obj_address_known(const object *node);
int16_t obj_short_offset(const object *node);
int32_t obj_stack_offset(const object *node);
bool obj_const_equals(const object *node, double number);
ADDR24 obj_address(const object *node, int32_t offset, uint32_t flags);

// ---- what the queries need from the code generator and the linker -----------------------------
class ObjHost {
public:
    virtual ~ObjHost() = default;
    // Label reference into the code (or, with `data_cache`, the data) cache; returns the label's
    // address or a placeholder that the fix-up pass fills later.
    virtual ADDR24 reference_label(const char *name, uint32_t flags, bool data_cache) = 0;
    // Whether a label of that name is defined in the local or global label table.
    virtual bool label_defined(const char *name) = 0;
    virtual bool short_displacement_option() = 0;
    virtual int16_t stack_depth() = 0;
    virtual bool frame_option_bits() = 0;           // the function's frame option bits set
    virtual int16_t pending_adjust_1() = 0;
    virtual int16_t pending_adjust_2() = 0;
    virtual uint16_t compile_kind() = 0;            // the compile sequence's compile-kind word
};
// nullptr restores the built-in host: labels from the label tables (CC_RELOC; a label not yet
// defined answers kDummyAddress), the compile kind from the compile mode word (CC_IN),
// options off and stack state 0 until the code generator installs its own host.
void set_obj_host(ObjHost *host);
// The built-in host, whose label and compile-kind answers an installed host may pass on.
ObjHost &builtin_obj_host();
