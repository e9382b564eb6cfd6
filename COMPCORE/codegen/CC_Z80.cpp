// CC_Z80: the register and value model, the step loop that moves a value, the register load and
// store emitters with their instruction templates, and the program-wide state of the model
// (pending value, stack offset, remembered HL contents). The model is explained in CC_Z80.h.
#include "CC_Z80.h"

#include "CC_ASM.h"
#include "CC_ASMTAB.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_IN.h"
#include "parser/CC_LABELS.h"
#include "linker/CC_RELOC.h"
#include "core/CC_STAB.h"
#include "CC_Z80GEN.h"
#include "CC_Z80LOAD.h"
#include "debugger/DB_DA.h"

#include <cstdio>
#include <string_view>

namespace {

// ---- state (reset at the start of every compile) ------------------------------------------------

int16_t g_stack_offset = 0;
int16_t g_pending_adjust[2] = {0, 0};
object *g_pending = nullptr;
bool g_pending_keep = false;
std::function<void()> g_pending_pusher;

bool g_hl_watch = false;
bool g_zero_hl = false;
// What HL was last stored to: mode 1 (address) or 5 (stack offset), and the code address right
// after that store, from where the HL watch looks at the instructions emitted since.
struct HlContents {
    EmitCache *cache = nullptr;
    uint8_t mode = kModeNone;
    int32_t where = 0;
    uint32_t after = 0;
    bool known = false;
} g_hl;

uint32_t g_last_transfer = 0;
int g_step_size = 0;        // of the step being emitted (`transfer_step_size`)
int g_template_immediate = 0;

CodegenFunctionContext g_context;

// The store templates chosen for the next step: the instruction, the part run after a step with
// bytes left, and the part run at the end.
Template g_store;
Template g_first_part;
Template g_second_part;

constexpr Template kIncHl{{0x01, 0x23, 0, 0}};

// ---- store templates ------------------------------------------------------------------------------
// Columns by mode: F80 6,0,1,2,6,3,6 and Z180 6,0,1,2,6,6,6 for modes 0..6 (6: no form).
constexpr int kF80Column[7] = {6, 0, 1, 2, 6, 3, 6};
constexpr int kZ180Column[7] = {6, 0, 1, 2, 6, 6, 6};

// Z180 (and common) forms by register id 0..9: ld (mn),r | ld (hl),r | ld (ix+d),r
//   ld (hl),r  : 0111 0rrr        ld (ix+d),r : DD 0111 0rrr d
//   ld (mn),a  : 32 mn            ld (mn),hl  : 22 mn         ld (mn),bc/de : ED 43/53 mn
constexpr Template kZ180Store[10][3] = {
    {{}, {{0x01, 0x70}}, {{0x02, 0xDD, 0x70}}},              // b
    {{}, {{0x01, 0x71}}, {{0x02, 0xDD, 0x71}}},              // c
    {{}, {{0x01, 0x72}}, {{0x02, 0xDD, 0x72}}},              // d
    {{}, {{0x01, 0x73}}, {{0x02, 0xDD, 0x73}}},              // e
    {{}, {{0x01, 0x74}}, {{0x02, 0xDD, 0x74}}},              // h
    {{}, {{0x01, 0x75}}, {{0x02, 0xDD, 0x75}}},              // l
    {{{0x01, 0x32}}, {{0x01, 0x77}}, {{0x02, 0xDD, 0x77}}},  // a
    {{{0x02, 0xED, 0x43}}, {}, {}},                          // bc
    {{{0x02, 0xED, 0x53}}, {}, {}},                          // de
    {{{0x01, 0x22}}, {}, {}},                                // hl
};
// F80 forms beyond those: ld (ix+d),hl F4 d; ld (sp+n),hl D4 n.
constexpr Template kF80Store[10][4] = {
    {}, {}, {}, {}, {}, {}, {}, {}, {},
    {{}, {}, {{0x01, 0xF4}}, {{0x01, 0xD4}}},  // hl
};
// Constant stores by operand size / 2 and mode: ld (hl),n 36 n; ld (ix+d),n DD 36 d n.
constexpr Template kConstantStore[3][7] = {
    {{}, {}, {{0x11, 0x36}}, {{0x12, 0xDD, 0x36}}, {}, {}, {}},
    {},
    {},
};

// The load templates by mode.
constexpr const char *kLoadTemplates[7] = {"ld %s, %s", "ld %s, (%s)", "ld %s, (hl)",
                                           "ld %s, (ix+%s)", nullptr, "ld %s, (sp+%s)", nullptr};

constexpr const char *kRegisterNames[13] = {"b", "c", "d", "e", "h", "l", "a",
                                            "bc", "de", "hl", "af", "ix", "iy"};

std::string format(const char *fmt, int32_t a)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, fmt, a);
    return buf;
}

// ---- the HL watch ---------------------------------------------------------------------------------

// Whether an instruction, by its disassembly text, may change HL, the stack pointer or memory,
// or transfer control. Anything not known to leave them alone counts as changing them.
bool may_disturb_hl(std::string_view text)
{
    const size_t blank = text.find(' ');
    const std::string_view mnemonic = text.substr(0, blank);
    std::string_view operands = blank == std::string_view::npos ? "" : text.substr(blank);
    while (!operands.empty() && operands.front() == ' ')
        operands.remove_prefix(1);
    const std::string_view first = operands.substr(0, operands.find(','));
    static constexpr std::string_view kDisturbing[] = {
        "???", "jp", "jr", "djnz", "call", "ret", "reti", "retn", "rst", "ljp", "lcall",
        "lret", "syscall", "ex", "exx", "push", "pop", "ldi", "ldd", "ldir", "lddr", "lsdr",
        "lsir", "lsddr", "lsidr", "ldisr", "lddsr", "mul", "uma", "ums", "rld", "rrd", "altd",
        "ioi", "ioe", "ldp",
    };
    for (std::string_view m : kDisturbing)
        if (mnemonic == m)
            return true;
    return first == "h" || first == "l" || first == "hl" || first == "sp" ||
           (!first.empty() && first.front() == '(');
}

// Walks the instructions emitted since HL was stored; true when none of them disturbs HL.
bool hl_undisturbed_since_store()
{
    EmitCache &cache = current_code_cache();
    if (g_hl.cache != &cache)
        return false;
    uint32_t at = g_hl.after;
    const uint32_t end = cache.current;
    if (addr_diff(end, at) < 0)
        return false;
    int guard = 0;
    while (addr_diff(end, at) > 0) {
        if (++guard > 64)
            return false;
        uint8_t bytes[8];
        for (int i = 0; i < 8; ++i) {
            const uint32_t a = addr_add(at, i);
            bytes[i] = addr_diff(end, a) > 0 ? cache.PeekByte(a) : 0;
        }
        uint16_t length = 0;
        std::string text;
        disassembleOne(at, bytes, length, text);
        if (length == 0 || may_disturb_hl(text))
            return false;
        at = addr_add(at, length);
    }
    return addr_diff(end, at) == 0;
}

// The identity of what a node names in mode 1 (its address) or mode 5 (its stack offset).
bool hl_identity(object *node, uint8_t mode, uint32_t member_offset, int32_t &where)
{
    if (mode == kModeDirect) {
        if (!obj_address_known(node))
            return false;
        where = static_cast<int32_t>(obj_address(node, static_cast<int32_t>(member_offset), 0));
        return true;
    }
    if (mode == kModeStack) {
        where = obj_stack_offset(node) + static_cast<int32_t>(member_offset);
        return true;
    }
    return false;
}

// ---- node host --------------------------------------------------------------------------------------

class ValueModelObjHost : public ObjHost {
public:
    ADDR24 reference_label(const char *name, uint32_t flags, bool data_cache) override
    {
        return builtin_obj_host().reference_label(name, flags, data_cache);
    }
    bool label_defined(const char *name) override
    {
        return builtin_obj_host().label_defined(name);
    }
    bool short_displacement_option() override { return g_context.ix_frame && g_context.ix_frame(); }
    int16_t stack_depth() override { return stack_depth_bytes(); }
    bool frame_option_bits() override { return function_field_f() != 0; }
    int16_t pending_adjust_1() override { return g_pending_adjust[0]; }
    int16_t pending_adjust_2() override { return g_pending_adjust[1]; }
    uint16_t compile_kind() override { return builtin_obj_host().compile_kind(); }
} g_obj_host;

}  // namespace

// ---- messages and small queries -----------------------------------------------------------------------

void cg_error(uint32_t id) { error_here("%s", msg(id)); }

int cpu_flag() { return asm_target().cpu_flag; }

int register_size(int id)
{
    if (id >= kRidB && id <= kRidA)
        return 1;
    if (id >= kRidBC && id <= kRidIY)
        return 2;
    return 0;
}

const char *register_name(int id) { return id >= 0 && id <= kRidIY ? kRegisterNames[id] : ""; }

int constant_size(int32_t v)
{
    if (v >= -127 && v <= 128)
        return 1;
    if (v >= -32767 && v <= 32768)
        return 2;
    if (v > 8388608 || v < -8388607)
        return 4;
    return 3;
}

// ---- PrimaryRegister -----------------------------------------------------------------------------------

namespace {
PrimaryRegister::Entry entry_of(uint8_t set)
{
    switch (set) {
    case kRidA: return {kRidA, kRidA, kRidA, 1};
    case kRidBC: return {kRidBC, kRidB, kRidC, 2};
    case kRidDE: return {kRidDE, kRidD, kRidE, 2};
    case kRidHL: return {kRidHL, kRidH, kRidL, 2};
    default: return {set, kRidNone, kRidNone, static_cast<uint16_t>(register_size(set))};
    }
}
}  // namespace

void PrimaryRegister::request(uint8_t set, uint16_t type, uint8_t address_set)
{
    if (set != kRidNone) {
        *this = PrimaryRegister{};
        entries[0] = entry_of(set);
        count = 1;
        total = static_cast<int16_t>(entries[0].size);
        locked = 1;
        return;
    }
    if (locked)
        return;
    const uint8_t keep_promote = promote_char;
    *this = PrimaryRegister{};
    promote_char = keep_promote;
    switch (type) {
    case 1: entries[0] = entry_of(promote_char ? kRidHL : kRidA); count = 1; break;
    case 2:
    case 3: entries[0] = entry_of(kRidHL); count = 1; break;
    case 4:
    case 5:
    case 7:
        entries[0] = entry_of(kRidDE);
        entries[1] = entry_of(kRidBC);
        count = 2;
        break;
    case 12: entries[0] = entry_of(address_set); count = 1; break;
    default: cg_error(kMsgCgInvalidPrimaryType); return;
    }
    for (int i = 0; i < count; ++i)
        total = static_cast<int16_t>(total + entries[i].size);
}

uint8_t PrimaryRegister::take(int n)
{
    if (count <= 0)
        return kRidNone;
    const Entry &e = entries[cursor_entry];
    if (n >= e.size) {
        cursor_byte = 0;
        cursor_entry = static_cast<int16_t>((cursor_entry + 1) % count);
        if (n > e.size)
            cursor_entry = 0;
        return e.set;
    }
    const uint8_t reg = (cursor_byte % 2 == 0) ? e.low : e.high;
    cursor_byte = static_cast<int16_t>(cursor_byte + (e.size / 2 ? e.size / 2 : 1));
    if (cursor_byte >= e.size) {
        cursor_byte = 0;
        cursor_entry = static_cast<int16_t>((cursor_entry + 1) % count);
    }
    return reg;
}

bool PrimaryRegister::contains(uint8_t set) const
{
    for (int i = 0; i < count; ++i)
        if (entries[i].set == set)
            return true;
    return false;
}

uint8_t PrimaryRegister::current_set() const
{
    return count > 0 ? entries[cursor_entry].set : static_cast<uint8_t>(kRidNone);
}

void PrimaryRegister::rewind() { cursor_entry = cursor_byte = 0; }

// ---- collisions ---------------------------------------------------------------------------------------

PrimaryRegister registers_of_value(const object *value)
{
    PrimaryRegister r;
    const uint32_t first = decl_level(value->declarator, 0);
    uint16_t type = value->type;
    // A held address lies in HL whatever the type it reaches.
    if (first != kDeclNone || type >= 16 ||
        (value->kind == 255 && obj_flag(value, addressInRegisters)))
        type = 12;
    else if (type == 1)
        r.promote_char = obj_flag(value, inByteRegister) ? 0 : 1;
    if (type == 1 || type == 2 || type == 3 || type == 4 || type == 5 || type == 7 || type == 12)
        r.request(kRidNone, type);
    else
        r.request(kRidHL, 12);  // any other value occupies the primary register
    return r;
}

ARegisterCollision value_collides(const object *value, bool keep_as_address,
                                  const PrimaryRegister &requested)
{
    ARegisterCollision out;
    out.registers = registers_of_value(value);
    if (value->kind != 255) {
        // Only a function designator (not an address-typed value with a plain second level)
        // has to make room.
        out.collision = obj_is_function(value) &&
                        !(value->type == 12 && decl_level(value->declarator, 1) == kDeclNone);
        return out;
    }
    if (obj_flag(value, addressInRegisters) && !keep_as_address) {
        out.collision = 1;
        return out;
    }
    for (int i = 0; i < out.registers.count; ++i)
        if (requested.contains(out.registers.entries[i].set))
            out.collision = 1;
    return out;
}

PreventRegisterCollision::PreventRegisterCollision(const PrimaryRegister &registers)
    : requested(registers)
{
    if (!g_pending)
        return;
    against = value_collides(g_pending, g_pending_keep, requested);
    flag = against.collision;
    if (!flag)
        return;
    if (g_pending_pusher)
        g_pending_pusher();
    else
        flush_pending_value();
}

// ---- operand items ---------------------------------------------------------------------------------------

void OpcodeOperand::put_byte(uint8_t b) { emit_code_byte(b); }

int GenericItem::emit_bytes(int n)
{
    int done = 0;
    while (done < n && cursor < 4 && count > 0) {
        put_byte(bytes[cursor++]);
        --count;
        ++done;
    }
    return done;
}

void GenericItem::clear()
{
    count = 0;
    for (uint8_t &b : bytes)
        b = 0;
    label.clear();
    base = 0;
    node = nullptr;
    mode = kModeNone;
    cursor = 0;
}

void GenericItem::set_value(uint32_t value, int n)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = i < n ? static_cast<uint8_t>(value >> (8 * i)) : 0;
    count = static_cast<uint16_t>(n);
    cursor = 0;
}

std::string GenericItem::operand_text(int size)
{
    std::string text;
    const int32_t consumed = cursor;
    if (!label.empty()) {
        text = format("%d", base + consumed) + " + " + label;
    } else if (mode == kModeDirect) {
        text = format("0x%hx", static_cast<uint16_t>(base + consumed));
    } else if (mode == kModeFrame || mode == kModeStack) {
        text = format("%d", base + consumed);
    } else {
        uint32_t v = 0;
        for (int i = 0; i < size && cursor + i < 4; ++i)
            v |= static_cast<uint32_t>(bytes[cursor + i]) << (8 * i);
        if (size == 1)
            text = format("%d", static_cast<int32_t>(v));
        else if (size == 2)
            text = format("0x%hx", static_cast<int32_t>(v));
        else
            text = format("0x%x", static_cast<int32_t>(v));
    }
    cursor = static_cast<uint16_t>(cursor + size);
    return text;
}

bool GenericItem::set_from_object(object *value, uint8_t m, int32_t member_offset)
{
    node = value;
    mode = m;
    cursor = 0;
    label.clear();
    base = 0;
    switch (m) {
    case kModeImmediate: {
        int n = 0;
        const uint32_t first = decl_level(value->declarator, 0);
        if (first == kDeclPointer || first == kDeclArray)
            n = 2;
        else if (value->type == 1)
            n = 1;
        else if (value->type == 2 || value->type == 3 || value->type == 12)
            n = 2;
        else if (value->type == 4 || value->type == 5 || value->type == 7)
            n = 4;
        if (n == 0) {
            cg_error(kMsgCgInvalidOperandType);
            return false;
        }
        set_value(value->value, n);
        if (const char *name = obj_name(value)) {
            label = name;
            base = static_cast<int32_t>(value->value);
        }
        return true;
    }
    case kModeDirect:
        if (obj_address_known(value)) {
            base = addr_offset(obj_address(value, member_offset, 0));
        } else if (const char *name = obj_name(value)) {
            label = name;
            base = static_cast<int16_t>(value->value & 0xFFFF) + member_offset;
        }
        return true;
    case kModeFrame:
        base = static_cast<int16_t>(value->value & 0xFFFF) + member_offset;
        return true;
    case kModeStack:
        base = obj_stack_offset(value) + member_offset;
        return true;
    default:
        return true;
    }
}

// ---- templates ------------------------------------------------------------------------------------------

void template_emit(const Template &t)
{
    const int n = t.b[0] & 0x0F;
    for (int i = 1; i <= n && i < 4; ++i)
        emit_code_byte(t.b[i]);
    g_template_immediate = t.immediate_bytes();
}

const Template &current_store_template() { return g_store; }

bool gen_store_register(int reg, int mode)
{
    g_store = g_first_part = g_second_part = Template{};
    if (mode < 0 || mode > 6 || reg < 0 || reg > kRidHL) {
        cg_error(kMsgCgStoreRegister);
        return false;
    }
    if (cpu_is_f80()) {
        const int column = kF80Column[mode];
        if (column == 6) {
            cg_error(kMsgCgLoadMode);
            return false;
        }
        g_store = kF80Store[reg][column];
    }
    const int z180_column = kZ180Column[mode];
    if (z180_column != 6 && g_store.empty())
        g_store = kZ180Store[reg][z180_column];
    if (mode == kModeIndirect && register_size(reg) == 1)
        g_first_part = kIncHl;
    if (g_store.empty()) {
        cg_error(kMsgCgStoreRegister);
        return false;
    }
    return true;
}

bool gen_store_constant(int size, int mode)
{
    g_store = g_first_part = g_second_part = Template{};
    const int row = size / 2;
    if (row < 0 || row > 2 || mode < 0 || mode > 6 || kConstantStore[row][mode].empty()) {
        cg_error(kMsgCgConstantStoreMode);
        return false;
    }
    g_store = kConstantStore[row][mode];
    if (mode == kModeIndirect)
        g_first_part = kIncHl;
    return true;
}

// ---- register loads -------------------------------------------------------------------------------------

void gen_load_register(int reg, int mode, GenericItem &operand)
{
    if (mode < 0 || mode > 6 || !kLoadTemplates[mode]) {
        cg_error(kMsgCgLoadMode);
        return;
    }
    if (mode == kModeStack && reg != kRidHL) {
        // Only HL loads from (sp+n): claim it from the pending value, then move the word on.
        PrimaryRegister hl;
        hl.request(kRidHL, 12);
        const int16_t before = g_stack_offset;
        PreventRegisterCollision guard(hl);
        operand.base += before - g_stack_offset;  // the pushed value moved the stack
        outasm("ld hl, (sp+%s)", operand.operand_text(2).c_str());
        if (reg == kRidBC) {
            outasm("ld b, h");
            outasm("ld c, l");
        } else if (reg == kRidDE) {
            outasm("ex de, hl");
        } else {
            cg_error(kMsgCgLoadMode);
        }
        return;
    }
    const std::string text = operand.operand_text(register_size(reg));
    outasm(kLoadTemplates[mode], register_name(reg), text.c_str());
    if (mode == kModeIndirect && operand.cursor < operand.count)
        outasm("inc hl");
}

void gen_push_register(int id)
{
    g_stack_offset = static_cast<int16_t>(g_stack_offset - 2);
    if (id < kRidBC || id > kRidIY) {
        cg_error(kMsgCgPushInvalid);
        return;
    }
    outasm("push %s", register_name(id));
}

void gen_pop_register(int id)
{
    g_stack_offset = static_cast<int16_t>(g_stack_offset + 2);
    if (id < kRidBC || id > kRidIY) {
        cg_error(kMsgCgPopInvalid);
        return;
    }
    outasm("pop %s", register_name(id));
}

// ---- CodeGenForObject -------------------------------------------------------------------------------------

CodeGenForObject::CodeGenForObject(object *value) : node(value) { g_step_size = 0; }

uint8_t CodeGenForObject::select_mode(uint16_t bytes)
{
    mode = kModeNone;
    if (!node)
        return mode;
    const int32_t last = bytes ? bytes - 1 : 0;
    switch (node->kind) {
    case 0: mode = kModeImmediate; break;
    case 1:
    case 3:
    case 4:
    case 252: mode = kModeDirect; break;
    case 254: mode = kModeIndirect; break;
    case 255:
        mode = obj_flag(node, addressInRegisters) ? kModeIndirect : kModeRegisters;
        break;
    case 2: {
        const bool ix = g_context.ix_frame && g_context.ix_frame();
        const int32_t d = static_cast<int16_t>(node->value & 0xFFFF) +
                          static_cast<int32_t>(member_offset);
        if (ix && d >= -128 && d + last <= 127) {
            mode = kModeFrame;
            break;
        }
        if (cpu_is_f80() && !ix && function_field_f() == 0 && bytes == 2) {
            const int32_t s = obj_stack_offset(node) + static_cast<int32_t>(member_offset);
            if (s >= 0 && s + last <= 255) {
                mode = kModeStack;
                break;
            }
        }
        // Too far for one displacement byte: the address goes through HL.
        if (cpu_is_f80() || ix)
            mode = kModeIndirect;
        break;
    }
    default: break;
    }
    return mode;
}

void CodeGenForObject::set_immediate(uint32_t value, int bytes)
{
    operands[1].clear();
    operands[1].set_value(value, bytes);
    address_ready = 1;
}

void CodeGenForObject::prepare_operands(uint8_t step_mode, object *value)
{
    switch (step_mode) {
    case kModeDirect: {
        OpcodeOperand &a = operands[2];
        a.clear();
        a.node = value;
        a.mode = kModeDirect;
        if (obj_address_known(value)) {
            resolved_address = obj_address(value, static_cast<int32_t>(member_offset), 0);
            a.set_value(addr_offset(resolved_address), 2);
        } else {
            // The label service patches the word once the address is known.
            const char *name = obj_name(value);
            const int32_t addend = static_cast<int16_t>(value->value & 0xFFFF) +
                                   static_cast<int32_t>(member_offset);
            resolved_address = kDummyAddress;
            a.label = name ? name : "";
            a.base = addend;
            a.set_value(0, 2);
        }
        break;
    }
    case kModeFrame:
    case kModeStack: {
        displacement = static_cast<int16_t>(
            (step_mode == kModeFrame ? static_cast<int16_t>(value->value & 0xFFFF)
                                     : obj_stack_offset(value)) +
            static_cast<int32_t>(member_offset));
        operands[3].clear();
        operands[3].set_value(static_cast<uint16_t>(displacement), 1);
        break;
    }
    default: break;
    }
}

void CodeGenForObject::emit_operands(uint8_t step_mode)
{
    if (step_mode == kModeDirect) {
        OpcodeOperand &a = operands[2];
        if (!a.label.empty())
            a.set_value(addr_offset(reference_label(a.label.c_str(), current_code_cache(),
                                                    kLabelLocal | kLabelGlobal,
                                                    static_cast<uint16_t>(a.base))),
                        2);
        a.emit_bytes(2);
    } else if (step_mode == kModeFrame || step_mode == kModeStack) {
        operands[3].emit_bytes(1);
    }
    if (g_template_immediate > 0)
        operands[1].emit_bytes(g_template_immediate);
    g_template_immediate = 0;
}

void CodeGenForObject::gen_stack_adjust_keep_primary(int16_t n)
{
    PrimaryRegister hl;
    hl.request(kRidHL, 12);
    const bool keep = node && node->kind == 255 && value_collides(node, false, hl).collision;
    gen_adjust_stack(n, keep);
}

// One load step into `reg`; `restore_l` asks for "ld l,a" at the end of the transfer.
void CodeGenForObject::load_step(uint8_t reg, int step, int remaining, bool &restore_l)
{
    OpcodeOperand &value = operands[0];
    // HL is loaded byte by byte through itself: the low byte waits in A until the end.
    if (reg == kRidL && remaining - step > 0) {
        reg = kRidA;
        restore_l = true;
    } else if (reg == kRidA) {
        set_obj_flag(node, inByteRegister, true);
    }
    if (g_hl_watch && reg == kRidHL && g_hl.known && (mode == kModeDirect || mode == kModeStack)) {
        int32_t where = 0;
        if (hl_identity(node, mode, member_offset, where) && where == g_hl.where &&
            mode == g_hl.mode && hl_undisturbed_since_store()) {
            value.cursor = static_cast<uint16_t>(value.cursor + step);
            return;
        }
    }
    if (g_zero_hl && reg == kRidHL && step == 2 && mode == kModeImmediate &&
        value.label.empty() && value.cursor + 1 < 4 && value.bytes[value.cursor] == 0 &&
        value.bytes[value.cursor + 1] == 0) {
        if (cpu_is_f80()) {
            outasm("bool hl");
            outasm("ld l, h");
        } else {
            outasm("ld hl, 0");  // the Z180 has no "bool"
        }
        g_zero_hl = false;
        value.cursor = static_cast<uint16_t>(value.cursor + 2);
        return;
    }
    gen_load_register(reg, mode, value);
}

void CodeGenForObject::transfer(uint8_t op, uint16_t count)
{
    int step = 0;
    const bool hl_pair = cpu_is_f80() && registers.current_set() == kRidHL;
    if (op == kOpLoad || op == kOpStore) {
        switch (mode) {
        case kModeImmediate:
        case kModeDirect:
        case kModeStack: step = 2; break;
        case kModeIndirect:
        case kModeFrame: step = hl_pair ? 2 : 1; break;
        default: step = 0; break;
        }
    } else if (op == kOpConstantStore) {
        step = (mode == kModeIndirect || mode == kModeFrame) ? 1 : 0;
    } else {
        cg_error(kMsgCgInvalidOperation);
        return;
    }
    if (step == 0) {
        cg_error(op == kOpLoad && mode == kModeNone ? kMsgCgUnknownStorage
                                                    : kMsgCgInvalidObjectOperation);
        return;
    }

    operands[0].clear();
    if (!operands[0].set_from_object(node, mode, static_cast<int32_t>(member_offset)))
        return;
    operands[0].count = count;
    int remaining = count;
    bool restore_l = false;
    bool stored_hl = false;
    while (remaining > 0) {
        g_step_size = step;
        if (op == kOpLoad) {
            before_step();
            load_step(registers.take(step), step, remaining, restore_l);
            remaining -= step;
            continue;
        }
        // A store without a form emits nothing of the step, not even its prefix.
        const uint8_t reg = op == kOpStore ? registers.take(step) : uint8_t(kRidNone);
        if (!(op == kOpStore ? gen_store_register(reg, mode) : gen_store_constant(step, mode)))
            break;
        before_step();
        prepare_operands(mode, node);
        template_emit(g_store);
        emit_operands(mode);
        if (reg == kRidHL) {
            int32_t where = 0;
            g_hl.known = hl_identity(node, mode, member_offset, where);
            g_hl.mode = mode;
            g_hl.where = where;
            stored_hl = g_hl.known;
        }
        if (mode == kModeDirect || mode == kModeFrame || mode == kModeStack)
            member_offset += static_cast<uint32_t>(step);
        remaining -= step;
        after_step(remaining);
    }
    if (restore_l)
        outasm("ld l, a");
    finish();
    g_step_size = 0;
    g_last_transfer = current_code_cache().current;
    if (stored_hl) {
        g_hl.after = g_last_transfer;
        g_hl.cache = &current_code_cache();
    }
}

// ---- MoveObject: the emission layer's three operations ---------------------------------------------

void MoveObject::finish()
{
    if (!g_second_part.empty())
        template_emit(g_second_part);
    g_second_part = Template{};
}

void MoveObject::before_step()
{
    const bool internal = obj_flag(node, internalIo);
    const bool external = obj_flag(node, externalIo);
    if (!internal && !external)
        return;
    const bool plain = decl_level(node->declarator, 0) == kDeclNone;
    const bool held_address = node->kind == 255 && obj_flag(node, addressInRegisters) &&
                              decl_level(node->declarator, 2) == kDeclNone;
    if (!plain && !held_address)
        return;
    if (!cpu_is_f80()) {
        // The Z180 reads 0xD3/0xDB as I/O instructions: there is no I/O space to prefix.
        cg_error(kMsgCgUnknownOpcode);
        set_obj_flag(node, internalIo, false);
        set_obj_flag(node, externalIo, false);
        return;
    }
    emit_code_byte(internal ? 0xD3 : 0xDB);
}

void MoveObject::after_step(int left)
{
    if (left < 1) {
        g_first_part = Template{};
        return;
    }
    if (!g_first_part.empty())
        template_emit(g_first_part);
    g_template_immediate = 0;
}

// ---- program-wide state ---------------------------------------------------------------------------------

int16_t stack_offset() { return g_stack_offset; }
void set_stack_offset(int16_t offset) { g_stack_offset = offset; }
void add_stack_offset(int16_t bytes) { g_stack_offset = static_cast<int16_t>(g_stack_offset + bytes); }
int16_t stack_depth_bytes() { return static_cast<int16_t>(-g_stack_offset); }

void set_pending_stack_adjustments(int16_t first, int16_t second)
{
    g_pending_adjust[0] = first;
    g_pending_adjust[1] = second;
}

void gen_stack_adjust_tracked(int16_t n)
{
    gen_adjust_stack(n, false);
    add_stack_offset(n);
}

object *pending_value() { return g_pending; }
bool pending_keep_as_address() { return g_pending_keep; }
void set_pending_value(object *value, bool keep_as_address)
{
    g_pending = value;
    g_pending_keep = value && keep_as_address;
}
void clear_pending_value() { set_pending_value(nullptr, false); }
void set_pending_pusher(std::function<void()> push) { g_pending_pusher = std::move(push); }

void set_hl_watch(bool on) { g_hl_watch = on; }
bool hl_watch() { return g_hl_watch; }
void set_zero_hl(bool on) { g_zero_hl = on; }
bool zero_hl() { return g_zero_hl; }
void forget_hl_contents() { g_hl = HlContents{}; }
uint32_t last_transfer_address() { return g_last_transfer; }
void note_last_transfer() { g_last_transfer = current_code_cache().current; }

void set_codegen_function_context(CodegenFunctionContext context) { g_context = std::move(context); }
const CodegenFunctionContext &codegen_function_context() { return g_context; }

bool function_size_flag()
{
    return g_context.function_options && ((g_context.function_options() >> 12) & 1);
}

uint16_t function_field_f()
{
    return g_context.function_options
               ? static_cast<uint16_t>((g_context.function_options() >> 14) & 0x3F)
               : 0;
}

void reset_value_model()
{
    g_stack_offset = 0;
    g_pending_adjust[0] = g_pending_adjust[1] = 0;
    clear_pending_value();
    g_hl_watch = g_zero_hl = false;
    forget_hl_contents();
    g_last_transfer = 0;
    g_step_size = g_template_immediate = 0;
    g_store = g_first_part = g_second_part = Template{};
}

ObjHost &value_model_obj_host() { return g_obj_host; }
int transfer_step_size() { return g_step_size; }
