// CC_Z80LOAD: loads, stores, pushes and pops of value nodes (the operations of a move) and the
// pending value. Moves in memory go through the step loop of the model (CC_Z80); register
// shuffles, address loads and routine calls are written here as assembly lines.
#include "CC_Z80LOAD.h"

#include "driver/CC_FIOZ8.h"
#include "CC_STUBS.h"
#include "CC_Z80.h"
#include "CC_Z80CALL.h"
#include "CC_Z80GEN.h"

#include <string>

namespace {

object *g_last_flushed = nullptr;

bool suppressed()
{
    const CodegenFunctionContext &c = codegen_function_context();
    return c.suppressed && c.suppressed();
}

uint32_t first_level(const object *node) { return decl_level(node->declarator, 0); }
bool held_address(const object *node)
{
    return node->kind == 255 && obj_flag(node, addressInRegisters);
}
bool io_object(const object *node) { return obj_flag(node, internalIo) || obj_flag(node, externalIo); }
bool fixed_address(const object *node)
{
    return node->kind == 1 || node->kind == 3 || node->kind == 4 || node->kind == 252;
}

// Bytes of the value a node stands for: pointers, arrays and functions 2, then by type; 0 for
// a type without a value size (structures, unknown codes).
int value_bytes(const object *node)
{
    if (first_level(node) != kDeclNone)
        return 2;
    switch (node->type) {
    case 1: return 1;
    case 2:
    case 3:
    case 12: return 2;
    case 4:
    case 5:
    case 7: return 4;
    default: return 0;
    }
}

// The runtime routine that moves a 4-byte value of this node ("llong_" or "slong_" as `base`),
// or "" for the inline steps: storage-space code 1 the "_s" form, 2 the "_ss" form; an I/O object
// inline; a function compiled for size the plain routine.
std::string long_routine(const object *node, const char *base)
{
    switch (storage_space_code(node)) {
    case 1: return std::string(base) + "s";
    case 2: return std::string(base) + "ss";
    default: break;
    }
    if (io_object(node) || !function_size_flag())
        return {};
    return base;
}

// Has the pending value pushed when it would be overwritten by a load into the pair `set` (not
// when the node is the pending value itself: its registers hold what is wanted).
void guard_pair(const object *node, uint8_t set)
{
    if (!pending_value() || pending_value() == node)
        return;
    PrimaryRegister wanted;
    wanted.request(set, 12);
    PreventRegisterCollision guard(wanted);
}

// The node's address (plus `member_offset`) into a register pair; the node itself is left as it
// is. False after reporting when it has no address or the set is no pair.
bool emit_address_load(object *node, uint8_t set, uint32_t member_offset)
{
    if (set != kRidBC && set != kRidDE && set != kRidHL) {
        cg_error(kMsgCgIntReload);
        return false;
    }
    switch (node->kind) {
    case 0:
        cg_error(kMsgCgAddressConstant);
        return false;
    case 2: {
        guard_pair(node, kRidHL);
        const CodegenFunctionContext &function = codegen_function_context();
        const bool ix = function.ix_frame && function.ix_frame();
        // After the guard: a pushed pending value has moved the stack.
        const int32_t offset =
            (ix ? static_cast<int16_t>(node->value & 0xFFFF) : obj_stack_offset(node)) +
            static_cast<int32_t>(member_offset);
        if (!ix && function_field_f() == 0) {
            outasm("ld hl, %d", offset);
            gen_add_hl_sp();
        } else {
            // The frame base (IX, or SP while the field is set), then the offset through DE.
            if (ix) {
                outasm("push ix");
                outasm("pop hl");
            } else {
                outasm("ld hl, 0");
                gen_add_hl_sp();
            }
            outasm("push de");
            outasm("ld de, %d", offset);
            gen_add_hl_de();
            outasm("pop de");
        }
        if (set == kRidBC) {
            outasm("ld b, h");
            outasm("ld c, l");
        } else if (set == kRidDE) {
            gen_exchange_de_hl();
        }
        return true;
    }
    case 254:
        guard_pair(node, set);
        gen_pop_register(set);
        return true;
    case 255:
        return true;
    default:
        break;
    }
    if (!fixed_address(node)) {
        cg_error(kMsgCgAddressUnknownClass);
        return false;
    }
    guard_pair(node, set);
    OpcodeOperand address;
    if (!address.set_from_object(node, kModeDirect, static_cast<int32_t>(member_offset)))
        return false;
    outasm("ld %s, %s", register_name(set), address.operand_text(2).c_str());
    return true;
}

// Reloads a value already in registers into `set` (A for a byte).
void reload(object *node, uint8_t set)
{
    const bool plain = first_level(node) == kDeclNone;
    const uint16_t type = plain ? node->type : uint16_t(12);
    if (type == 1 && obj_flag(node, inByteRegister)) {
        static constexpr struct {
            uint8_t set;
            const char *low;
            const char *high;
        } kWiden[] = {{kRidBC, "c", "b"}, {kRidDE, "e", "d"}, {kRidHL, "l", "h"}};
        if (set == kRidA)
            return;
        for (const auto &w : kWiden) {
            if (w.set != set)
                continue;
            outasm("ld %s, a", w.low);
            outasm("ld %s, %d", w.high, 0);
            set_obj_flag(node, inByteRegister, false);
            return;
        }
        cg_error(kMsgCgCharReload);
        return;
    }
    if (type == 1 || type == 2 || type == 3 || type == 12) {
        // A char not in A is held in L (widened in HL).
        switch (set) {
        case kRidA:
            gen_ld_a_l();
            set_obj_flag(node, inByteRegister, true);
            return;
        case kRidBC:
            outasm("ld b, h");
            outasm("ld c, l");
            return;
        case kRidDE: gen_exchange_de_hl(); return;
        case kRidHL: return;
        default: cg_error(kMsgCgIntReload); return;
        }
    }
    if (type == 4 || type == 5 || type == 7)
        return;  // they stay in BC:DE
    cg_error(kMsgCgUnknownReload);
}

// "pop iy" and the word in HL stored at (iy+0): one instruction on the F80, a byte at a time on
// the Z180, which has no such form.
void store_hl_through_stacked_address()
{
    gen_pop_register(kRidIY);
    if (cpu_is_f80()) {
        outasm("ld (iy+0), hl");
    } else {
        outasm("ld (iy+0), l");
        outasm("ld (iy+1), h");
    }
}

}  // namespace

// ---- the operations of a move ---------------------------------------------------------------------

void CodeGenForObject::load(uint8_t set, bool as_address, bool byte_request)
{
    if (suppressed() || obj_flag(node, noCode))
        return;
    if (node->kind != 255 && obj_flag(node, noLoadNeeded))
        return;
    const bool structure = node->type >= 16 && first_level(node) == kDeclNone;
    if (structure && !as_address) {
        cg_error(kMsgCgStructAddress);
        return;
    }
    if (held_address(node) && (as_address || obj_flag(node, noLoadNeeded) || structure))
        return;
    bool decayed = false;
    if (first_level(node) == kDeclArray) {
        if (as_address) {
            cg_error(kMsgCgArrayAddress);
            cg_error(kMsgCgInvalidClass);
            return;
        }
        // The array stands for its first element's address.
        if (node->dims && node->dim_count > 0) {
            ++node->dims;
            --node->dim_count;
        }
        node->declarator = (node->declarator & ~3u) | kDeclPointer;
        as_address = decayed = true;
    } else if (first_level(node) == kDeclFunction) {
        as_address = decayed = true;  // a function designator stands for its address
    }
    const uint16_t own_type = node->type;
    const bool pointer_value = !as_address && first_level(node) == kDeclPointer;
    if (!as_address && !pointer_value && node->type == 12 && !held_address(node))
        return;  // an address-typed value without declarator has nothing to load
    if (pointer_value)
        node->type = 12;
    struct RestoreType {
        object *node;
        bool on;
        uint16_t type;
        ~RestoreType()
        {
            if (on)
                node->type = type;
        }
    } restore{node, pointer_value, own_type};

    const uint16_t load_type = as_address ? uint16_t(12) : node->type;
    if (set == kRidNone) {
        registers.promote_char = (byte_request && registers.count == 0) ? 0 : 1;
        registers.request(kRidNone, load_type);
    } else {
        byte_request = set == kRidA;
        registers.request(set, load_type);
    }
    if (registers.count == 0)
        return;  // the request reported the type
    const uint8_t target = registers.entries[0].set;
    if (pending_value() && pending_value() != node)
        PreventRegisterCollision guard(registers);

    if (as_address) {
        if (!emit_address_load(node, target, member_offset))
            return;
    } else if (node->kind == 254) {
        for (int i = 0; i < registers.count; ++i)
            gen_pop_register(registers.entries[i].set == kRidA ? int(kRidHL)
                                                               : int(registers.entries[i].set));
        if (target == kRidA)
            gen_ld_a_l();
    } else if (node->kind == 255 && !held_address(node)) {
        reload(node, target);
        note_last_transfer();
        return;
    } else if (!load_from_memory(target)) {
        return;
    }
    set_obj_flag(node, addressInRegisters, as_address && !decayed);
    set_obj_flag(node, inByteRegister, !as_address && target == kRidA);
    node->kind = 255;
    note_last_transfer();
}

bool CodeGenForObject::load_from_memory(uint8_t target)
{
    const int bytes = value_bytes(node);
    if (bytes == 0) {
        cg_error(kMsgCgInvalidOperandType);
        return false;
    }
    if (bytes == 4 && node->kind != 0) {
        const std::string routine = long_routine(node, "llong_");
        if (!routine.empty()) {
            if (!emit_address_load(node, kRidHL, member_offset))
                return false;
            (void)gen_call_named(routine.c_str());
            return true;
        }
    }
    // A char into a pair is widened: two bytes moved and the high register cleared. An I/O
    // byte is read alone (its neighbour is another port) and widened from A.
    const bool widen = bytes == 1 && target != kRidA;
    if (widen && io_object(node)) {
        MoveObject byte(node);
        byte.member_offset = member_offset;
        byte.registers.request(kRidA, 1);
        if (!byte.load_from_memory(kRidA))
            return false;
        const PrimaryRegister::Entry pair = registers.entries[0];
        outasm("ld %s, a", register_name(pair.low));
        outasm("ld %s, %d", register_name(pair.high), 0);
        return true;
    }
    const uint16_t count = static_cast<uint16_t>(widen ? 2 : bytes);
    if (widen)
        node->type = 3;
    if (select_mode(count) == kModeNone) {
        cg_error(kMsgCgUnknownStorage);
        return false;
    }
    if (mode == kModeIndirect && node->kind != 255 &&
        !emit_address_load(node, kRidHL, member_offset))
        return false;
    transfer(kOpLoad, count);
    if (widen)
        outasm("ld %s, %d", register_name(registers.entries[0].high), 0);
    return true;
}

void CodeGenForObject::load_address(uint8_t set)
{
    if (obj_flag(node, noCode))
        return;
    if (!emit_address_load(node, set == kRidNone ? uint8_t(kRidHL) : set, member_offset))
        return;
    set_obj_flag(node, addressInRegisters, true);
    set_obj_flag(node, inByteRegister, false);
    node->kind = 255;
    note_last_transfer();
}

namespace {
// The type a register-held or stacked node moves as: 12 for addresses.
uint16_t moved_type(const object *node)
{
    if (obj_flag(node, addressInRegisters) || first_level(node) != kDeclNone || node->type >= 16)
        return 12;
    return node->type;
}
}  // namespace

void CodeGenForObject::push(uint8_t set)
{
    if (obj_flag(node, noCode))
        return;
    if (node->kind != 255) {
        cg_error(kMsgCgCannotPush);
        return;
    }
    if (node->type == 1 && moved_type(node) == 1 && obj_flag(node, inByteRegister)) {
        gen_widen_a_to_hl();
        node->type = 2;
        set_obj_flag(node, inByteRegister, false);
    }
    registers.request(set == kRidA ? uint8_t(kRidHL) : set, moved_type(node));
    if (registers.count == 0) {
        cg_error(kMsgCgNothingToPush);
        return;
    }
    // The high word of a 32-bit value goes first, so the low word ends at the lower address.
    for (int i = registers.count - 1; i >= 0; --i)
        gen_push_register(registers.entries[i].set);
    node->kind = 254;
    note_last_transfer();
}

void CodeGenForObject::pop(uint8_t set)
{
    if (obj_flag(node, noCode))
        return;
    if (node->kind != 254) {
        cg_error(kMsgCgCannotLoad);
        return;
    }
    registers.request(set == kRidA ? uint8_t(kRidHL) : set, moved_type(node));
    if (registers.count == 0) {
        cg_error(kMsgCgNothingToPop);
        return;
    }
    for (int i = 0; i < registers.count; ++i)
        gen_pop_register(registers.entries[i].set);
    node->kind = 255;
    note_last_transfer();
}

bool CodeGenForObject::pop_to_registers()
{
    if (node->kind == 254) {
        pop(kRidNone);
        return false;
    }
    const uint8_t m = select_mode(static_cast<uint16_t>(value_bytes(node)));
    return m == kModeDirect || m == kModeIndirect || m == kModeFrame || m == kModeStack;
}

void CodeGenForObject::store()
{
    if (obj_flag(node, noCode))
        return;
    const int bytes = value_bytes(node);
    const bool word = bytes == 2;
    if (bytes == 0) {
        cg_error(fixed_address(node) ? kMsgCgAssignmentType : kMsgCgStoreType);
        return;
    }
    if (bytes == 4 && !fixed_address(node) && node->kind != 2 && node->kind != 254 &&
        node->kind != 255) {
        cg_error(kMsgCgLongStoreClass);
        return;
    }
    // A char is stored from A.
    if (bytes == 1 && !obj_flag(node, inByteRegister)) {
        gen_ld_a_l();
        set_obj_flag(node, inByteRegister, true);
    }
    registers = PrimaryRegister{};
    registers.promote_char = 0;
    registers.request(kRidNone, first_level(node) != kDeclNone ? uint16_t(12) : node->type);

    if (bytes == 4) {
        const std::string routine = long_routine(node, "slong_");
        if (!routine.empty()) {
            if (!emit_address_load(node, kRidHL, member_offset))
                return;
            (void)gen_call_named(routine.c_str());
            note_last_transfer();
            return;
        }
    }
    if (node->kind == 254) {
        // The lvalue's address lies on the stack.
        if (word) {
            if (io_object(node)) {
                cg_error(kMsgCgIncompatible);
                return;
            }
            store_hl_through_stacked_address();
            note_last_transfer();
            return;
        }
        gen_pop_register(kRidHL);
        mode = kModeIndirect;
        transfer(kOpStore, static_cast<uint16_t>(bytes));
        return;
    }
    if (select_mode(static_cast<uint16_t>(bytes)) == kModeIndirect && node->kind == 2) {
        if (!word) {
            if (emit_address_load(node, kRidHL, member_offset))
                transfer(kOpStore, static_cast<uint16_t>(bytes));
            return;
        }
        // HL takes the address: the word goes through BC and comes back as the result.
        outasm("ld b, h");
        outasm("ld c, l");
        if (!emit_address_load(node, kRidHL, member_offset))
            return;
        registers.request(kRidBC, 2);
        transfer(kOpStore, 2);
        outasm("ld h, b");
        outasm("ld l, c");
        return;
    }
    transfer(kOpStore, static_cast<uint16_t>(bytes));
}

void CodeGenForObject::store_value(object *constant)
{
    if (obj_flag(node, noCode))
        return;
    const int bytes = value_bytes(node);
    const uint32_t v = constant->value;
    set_immediate(v, bytes > 0 && bytes <= 4 ? bytes : 4);
    // The constant as a value of the lvalue's size, for loading it into registers.
    object value;
    obj_set(&value, 0, bytes == 1 ? 1 : bytes == 2 ? 2 : node->type, 0, false);
    value.value = v;
    // The address into HL for an indirect store (already there for a held address).
    auto address_to_hl = [this] {
        return node->kind == 255 || emit_address_load(node, kRidHL, member_offset);
    };
    // The constant store instructions, a byte a step, through HL or IX.
    auto constant_steps = [&](uint8_t m) {
        if (m == kModeIndirect && !address_to_hl())
            return;
        mode = m;
        transfer(kOpConstantStore, static_cast<uint16_t>(bytes));
    };
    switch (bytes) {
    case 1: {
        const uint8_t m = select_mode(1);
        if (m != kModeIndirect && m != kModeFrame)
            break;
        constant_steps(m);
        return;
    }
    case 2: {
        const uint8_t m = select_mode(2);
        if (m != kModeIndirect && !(m == kModeFrame && cpu_is_z180()))
            break;
        if (storage_space_code(node) == 1 || storage_space_code(node) == 2) {
            // A shared or protected word is written by one instruction: the address waits on
            // the stack while the constant goes into HL.
            if (!address_to_hl())
                return;
            const uint8_t kind = node->kind;
            const uint8_t flags0 = node->flags[0];
            node->kind = 255;
            set_obj_flag(node, addressInRegisters, true);
            defer_load(node, true);
            gen_load_register_const(kRidHL, static_cast<int32_t>(v));
            (void)claim_pending_value(node);
            store_hl_through_stacked_address();
            node->kind = kind;
            node->flags[0] = flags0;
            note_last_transfer();
            return;
        }
        constant_steps(m);
        return;
    }
    case 4: {
        const bool z180 = cpu_is_z180();
        const std::string routine = long_routine(node, z180 ? "st4_" : "slong_");
        if (routine.empty())
            break;
        if (!fixed_address(node) && node->kind != 2 && node->kind != 254 && node->kind != 255) {
            cg_error(kMsgCgLongStoreClass);
            return;
        }
        if (!address_to_hl())
            return;
        if (z180) {
            // The routine reads the constant from behind its call and returns past it.
            (void)gen_call_named(routine.c_str());
            operands[1].emit_bytes(4);
        } else {
            MoveObject load(&value);
            load.load(kRidNone, false, false);
            (void)gen_call_named(routine.c_str());
        }
        note_last_transfer();
        return;
    }
    default:
        cg_error(kMsgCgConstantStore);
        return;
    }
    // No constant form: the constant goes into registers and is stored from there.
    {
        MoveObject load(&value);
        load.load(kRidNone, false, bytes == 1);
    }
    set_obj_flag(node, inByteRegister, obj_flag(&value, inByteRegister));
    store();
}

// ---- entry points --------------------------------------------------------------------------------

void gen_load_value(object *node)
{
    MoveObject m(node);
    m.load(kRidNone, false, false);
}

void gen_load_address_hl(object *node)
{
    MoveObject m(node);
    m.load(kRidHL, true, false);
}

void gen_load_value_as_int(object *node)
{
    if (node->kind == 255 && node->type == 1 && first_level(node) == kDeclNone &&
        !obj_flag(node, addressInRegisters)) {
        if (!obj_flag(node, inByteRegister))
            node->type = 2;
        return;
    }
    MoveObject m(node);
    m.load(kRidNone, false, true);
}

void gen_store_registers(object *lvalue)
{
    if (obj_flag(lvalue, storeSuppressed)) {
        set_obj_flag(lvalue, storeSuppressed, false);
        set_obj_flag(lvalue, noLoadNeeded, false);
        return;
    }
    const bool pointer = first_level(lvalue) == kDeclPointer;
    const uint16_t own_type = lvalue->type;
    if (pointer)
        lvalue->type = 12;
    {
        MoveObject m(lvalue);
        m.store();
    }
    if (pointer)
        lvalue->type = own_type;
    lvalue->kind = 255;
    set_obj_flag(lvalue, addressInRegisters, false);
}

void gen_store(object *lvalue, object *constant)
{
    MoveObject m(lvalue);
    m.store_value(constant);
}

bool is_long_or_float_type(const object *node)
{
    return first_level(node) == kDeclNone && (node->type == 4 || node->type == 5 || node->type == 7);
}

void gen_load_register_const(uint8_t set, int32_t value)
{
    object constant;
    obj_set_int_const(&constant, value);
    if (set == kRidHL)
        flush_pending_value();
    MoveObject m(&constant);
    m.load(set, false, false);
    if (set == kRidHL)
        (void)clear_condition_state();
}

void gen_load_new_value(int32_t value) { gen_load_register_const(kRidHL, value); }

// ---- the pending value ------------------------------------------------------------------------------

void defer_load(object *node, bool keep_as_address)
{
    if (!node || node->kind != 255)
        return;
    if (pending_value() != node)
        flush_pending_value();
    set_pending_value(node, keep_as_address);
}

void flush_pending_value()
{
    object *value = pending_value();
    if (!value)
        return;
    const bool keep = pending_keep_as_address();
    clear_pending_value();
    g_last_flushed = value;
    if (value->kind != 255 || (held_address(value) && !keep)) {
        MoveObject m(value);
        m.load(kRidNone, keep, false);
    }
    gen_push_value(value);
}

object *claim_pending_value(object *node)
{
    object *held = pending_value();
    if (held && held == node)
        clear_pending_value();
    return held;
}

object *last_flushed_value() { return g_last_flushed; }

void gen_push_value(object *node)
{
    {
        MoveObject m(node);
        m.push(kRidNone);
    }
    if (pending_value() && pending_value() != node)
        cg_error(kMsgCgCannotPush);
}

void reset_value_loads() { g_last_flushed = nullptr; }
