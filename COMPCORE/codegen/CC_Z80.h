// CC_Z80: the register and value model of the code generator, and the register moves built on it.
//
// The model, for those who build loads, stores, operators and frames on it:
//
//   * Every operand is an expression node (`object`, CC_OBJ). Where its value lives is read from
//     the node: kind 0 a constant, kinds 1/3/4/252 data at a fixed address, kind 2 an automatic
//     variable, kind 254 a value pushed on the target stack, kind 255 a value in registers (with
//     `addressInRegisters` the registers hold its address). The node's code-generator bits
//     (`inByteRegister`, `noLoadNeeded`, `storeSuppressed`, `noCode`, `internalIo`,
//     `externalIo`) sit in its flag bytes as CC_OBJ maps them; test and set them with
//     `obj_flag`/`set_obj_flag`, never by bit number.
//   * One load, store, push or pop of a node is one `MoveObject` on the host stack. Its
//     `select_mode` computes the addressing mode (AddrMode) from the node, its `registers`
//     (a `PrimaryRegister`) name the target registers (by type with `request`, or an explicit
//     set), and `transfer` emits the move step by step: a byte or a 16-bit word per step, each
//     step taking the next register of the list (pairs whole, or single bytes low then high).
//     Loads are written as assembly lines through `outasm` (the load templates); stores and
//     constant stores as bytes through instruction templates (`template_emit` and
//     `emit_operands`). A derived class (the bit operations) overrides the three virtual
//     operations `finish`, `before_step` and `after_step`; the defaults emit the I/O prefix
//     before each step, "inc hl" between the bytes of an indirect store, and nothing at the end.
//   * The operand slots of a `CodeGenForObject` are `OpcodeOperand`s (a `GenericItem` that emits
//     into the code): [0] the bytes being moved (also the text of load operands), [1] an
//     immediate value (set by the caller with `set_immediate` before a constant store), [2] the
//     direct address of the current step, [3] its displacement.
//   * Program-wide state owned here: the pending value (the one register-held value that must
//     survive while another operand is computed: `set_pending_value`; before a load that would
//     overwrite its registers `PreventRegisterCollision` has it pushed: `flush_pending_value`
//     of CC_Z80LOAD, or a pusher a test installs),
//     the stack offset (follows SP inside a function: -2 per push, +2 per pop; `@SP` and the
//     stack-relative offsets of nodes read the bytes pushed, its negation), the remembered HL
//     contents of the HL watch, and the two parser switches that this model reads (HL watch,
//     zero-HL).
//   * The CPU flag is the assembler's (`asm_target().cpu_flag`): 1 the F80 set, 0 the Z180 set.
//     The CPU selection (CC_Z80CPU) sets it for the code generator, the assembler and the
//     disassembler at once.
//
// What the model reads of the function being compiled and of the parser comes through
// `CodegenFunctionContext`, installed by the function-definition parser (unset entries read as
// 0/off). Branches, stack adjustment, block moves and the single-line emitters are CC_Z80GEN.
#pragma once

#include "core/CC_OBJ.h"

#include <cstdint>
#include <functional>
#include <string>

struct symbol;

// ---- CPU flag ------------------------------------------------------------------------------------

// 1 the F80 instruction set, 0 the Z180 set (any other value: neither).
int cpu_flag();
inline bool cpu_is_f80() { return cpu_flag() == 1; }
inline bool cpu_is_z180() { return cpu_flag() == 0; }

// ---- registers, modes, operations -------------------------------------------------------------------

// Register ids of the emitters; the ids 6..12 are also the register set ids of the model.
enum RegId : uint8_t {
    kRidB = 0, kRidC = 1, kRidD = 2, kRidE = 3, kRidH = 4, kRidL = 5, kRidA = 6,
    kRidBC = 7, kRidDE = 8, kRidHL = 9, kRidAF = 10, kRidIX = 11, kRidIY = 12,
    kRidNone = 13,    // also: "chosen by the value's type" in a register request
};
// Bytes of a register (0 for none).
int register_size(int id);
// Its assembly name ("b" .. "iy"), or "" for none.
const char *register_name(int id);

// Addressing modes of a value.
enum AddrMode : uint8_t {
    kModeImmediate = 0, // a constant
    kModeDirect = 1,    // (mn)
    kModeIndirect = 2,  // (hl): the address is in HL
    kModeFrame = 3,     // (ix+d)
    kModeRegisters = 4, // already in registers
    kModeStack = 5,     // (sp+n), F80 word access
    kModeNone = 6,
};

// Operations of `transfer`.
enum TransferOp : uint8_t { kOpLoad = 10, kOpStore = 11, kOpConstantStore = 12 };

// 1 for -127..128, 2 for -32767..32768, 4 above 8388608 or below -8388607, else 3.
int constant_size(int32_t v);

// ---- the register list of one transfer -----------------------------------------------------------

struct PrimaryRegister {
    struct Entry {
        uint8_t set = kRidNone;  // register set id
        uint8_t high = kRidNone; // single registers of the pair (A: both kRidA)
        uint8_t low = kRidNone;
        uint16_t size = 0;
    };
    Entry entries[2];
    int16_t count = 0;
    int16_t cursor_entry = 0;
    int16_t cursor_byte = 0;
    uint8_t locked = 0;
    int16_t total = 0;
    uint8_t promote_char = 1;  // 0: a char goes to A

    // Register set 13 (or a type): the list by type, unless locked. Type 1 A (promote_char 0)
    // or HL; 2, 3 HL; 4, 5, 7 DE then BC; 12 `address_set`; others report 637 and leave the
    // list empty. Any other set replaces the list by that one entry and locks it.
    void request(uint8_t set, uint16_t type, uint8_t address_set = kRidHL);
    // The next register for a step of n bytes: a whole entry when n covers it, else its low
    // byte register first, then the high one.
    uint8_t take(int n);
    bool contains(uint8_t set) const;
    // The set id of the entry the cursor stands on (kRidNone when empty).
    uint8_t current_set() const;
    void rewind();
};

// A `PrimaryRegister` with the verdict of a collision test against a value's registers.
struct ARegisterCollision {
    PrimaryRegister registers;
    uint8_t collision = 0;
};

// The registers a value node occupies: type 12 for pointers, arrays, functions and structure
// values; a char in A as char (A), other chars as int; the rest by type.
PrimaryRegister registers_of_value(const object *value);
// Whether a value (made pending with `keep_as_address` or not) would be overwritten by a load
// into `requested`.
ARegisterCollision value_collides(const object *value, bool keep_as_address,
                                  const PrimaryRegister &requested);

// Before a load into `requested`: tests the pending value and, on a collision, has it pushed out
// of the way (`flush_pending_value`, or the pusher of `set_pending_pusher`). `flag` tells
// whether it was.
struct PreventRegisterCollision {
    PrimaryRegister requested;
    ARegisterCollision against;
    uint8_t flag = 0;
    explicit PreventRegisterCollision(const PrimaryRegister &registers);
};

// ---- operand items --------------------------------------------------------------------------------

// The bytes of one instruction operand: a value (little-endian), or an address/displacement base
// that each consumed byte moves on, or a label name with an offset.
class GenericItem {
public:
    virtual ~GenericItem() = default;
    virtual void put_byte(uint8_t b) = 0;

    // Emits up to n bytes from the cursor; returns the count emitted.
    int emit_bytes(int n);
    // The operand as assembly text for `size` bytes, consuming them: "%d + %s" (offset, name)
    // for a label, "%d" / "0x%hx" / "0x%x" (1, 2, 4 bytes) for a value; for the address modes
    // the base moved by the bytes consumed so far ("0x%hx" direct, "%d" displacements).
    std::string operand_text(int size);
    void clear();
    // Fills the item from a value node for a mode (0 by type, 1 address or label, 3 frame
    // displacement, 5 stack offset; 2 and others only the node). A constant of a type without a
    // size reports 623 (false).
    [[nodiscard]] bool set_from_object(object *node, uint8_t mode, int32_t member_offset);
    void set_value(uint32_t value, int bytes);

    uint16_t count = 0;           // bytes still to move (or to emit)
    uint8_t bytes[4] = {0, 0, 0, 0};
    std::string label;            // name whose address the operand holds (fixed up later)
    int32_t base = 0;             // address or displacement of the address modes, label offset
    object *node = nullptr;
    uint8_t mode = kModeNone;
    uint16_t cursor = 0;          // bytes consumed
};

// Emits into the code through `emit_code_byte`.
class OpcodeOperand : public GenericItem {
public:
    void put_byte(uint8_t b) override;
};

// ---- instruction templates ------------------------------------------------------------------------

// Byte 0: bits 0-3 the opcode bytes that follow, bits 4-6 the immediate bytes the operand
// emitter adds after the address or displacement. Byte 0 = 0: no template.
//   {0x01, 0x23}        inc hl
//   {0x12, 0xDD, 0x36}  ld (ix+d), n
struct Template {
    uint8_t b[4] = {0, 0, 0, 0};
    bool empty() const { return (b[0] & 0x0F) == 0; }
    int immediate_bytes() const { return (b[0] >> 4) & 7; }
};
// Emits the opcode bytes and publishes the immediate count for `emit_operands`.
void template_emit(const Template &t);

// ---- the value in one move -----------------------------------------------------------------------

class CodeGenInfo {
public:
    uint8_t mode = kModeNone;
};

class CodeGenForObject : public CodeGenInfo {
public:
    explicit CodeGenForObject(object *node);
    virtual ~CodeGenForObject() = default;

    // The addressing mode for moving `bytes` bytes of the node (stored in `mode`). Frame and
    // stack-relative modes are chosen only when every byte's displacement fits one byte.
    uint8_t select_mode(uint16_t bytes);
    // The step loop: kOpLoad, kOpStore, kOpConstantStore over `count` bytes.
    void transfer(uint8_t op, uint16_t count);
    // Operand slots for a step in `mode`: [2] the direct address, [3] the displacement, [1] the
    // immediate value (once); and their bytes after an opcode.
    void prepare_operands(uint8_t step_mode, object *node);
    void emit_operands(uint8_t step_mode);
    // The bytes of a constant store, least significant first.
    void set_immediate(uint32_t value, int bytes);
    // Moves SP by n, keeping HL when this node's value occupies it.
    void gen_stack_adjust_keep_primary(int16_t n);

    // The loads, stores, pushes and pops of the node (CC_Z80LOAD). `set` is a register set id
    // (kRidNone: by the node's type). Each reports its own errors and stops; none throws.
    // The value (or with `as_address` its address) into the registers; a char goes to A when
    // `byte_request` is set and no registers were chosen yet.
    void load(uint8_t set, bool as_address, bool byte_request);
    // The node's address into a register pair.
    void load_address(uint8_t set);
    // A register-held value onto the stack (kind 254), high word first; back (kind 255).
    void push(uint8_t set);
    void pop(uint8_t set);
    // Pops a stacked value, or chooses the mode of any other; true when a memory access follows.
    bool pop_to_registers();
    // The primary registers into the node (an lvalue); a constant node into it.
    void store();
    void store_value(object *constant);

    // The three operations of a move, called by `transfer`: after the last step, before each
    // step, after each store step with the bytes left. Nothing here; `MoveObject` emits.
    virtual void finish() {}
    virtual void before_step() {}
    virtual void after_step(int) {}

    OpcodeOperand operands[4];
    uint8_t byte_request = 0;
    int16_t displacement = 0;
    object *node;
    uint32_t member_offset = 0;
    PrimaryRegister registers;
    uint32_t resolved_address = 0;
    uint8_t address_ready = 0;

protected:
    void load_step(uint8_t reg, int step, int remaining, bool &restore_l);
    // A value in memory (or a constant) into `target` (CC_Z80LOAD); false after reporting.
    bool load_from_memory(uint8_t target);
};

class MoveObject : public CodeGenForObject {
public:
    explicit MoveObject(object *node) : CodeGenForObject(node) {}
    // After the last step: the second-part template.
    void finish() override;
    // Before each step: the I/O prefix of I/O-space nodes.
    void before_step() override;
    // After each store step, with the bytes left: "inc hl" between indirect bytes.
    void after_step(int left) override;
};

// ---- register moves (the load and store emitters) ------------------------------------------------

// One register load as an assembly line: "ld %s, %s", "ld %s, (%s)", "ld %s, (hl)",
// "ld %s, (ix+%s)", "ld %s, (sp+%s)" for modes 0, 1, 2, 3, 5 (the operand from `operand`); mode
// 5 for BC or DE goes through HL. A mode without a template reports 641.
void gen_load_register(int reg, int mode, GenericItem &operand);
// Choose the store template of a register (641 for a mode without a column, 643 for no form)
// and of a constant of `size` bytes (644), for the next `template_emit`.
[[nodiscard]] bool gen_store_register(int reg, int mode);
[[nodiscard]] bool gen_store_constant(int size, int mode);
// The chosen templates: the instruction, and the parts run after a step and at the end.
const Template &current_store_template();

// "push bc" .. "push iy" for ids 7..12 (640 otherwise, no line); the stack offset moves by 2
// either way. "pop ..." likewise (639).
void gen_push_register(int id);
void gen_pop_register(int id);

// ---- program-wide state ---------------------------------------------------------------------------

// The stack offset: -2 per push, +2 per pop, plus what callers release.
int16_t stack_offset();
void set_stack_offset(int16_t offset);
void add_stack_offset(int16_t bytes);
// Bytes pushed inside the function (-stack offset): "@SP" and the nodes' stack offsets.
int16_t stack_depth_bytes();
// The two stack adjustments still pending in the expression parser (added to stack offsets of
// nodes unless the function's frame option bits are set).
void set_pending_stack_adjustments(int16_t first, int16_t second);
// Emits the adjustment and adds n to the stack offset.
void gen_stack_adjust_tracked(int16_t n);

// The pending value and its keep-as-address flag.
object *pending_value();
bool pending_keep_as_address();
void set_pending_value(object *node, bool keep_as_address);
void clear_pending_value();
// Pushes the pending value out of the way instead of `flush_pending_value` (tests record with
// it); nullptr restores the flush.
void set_pending_pusher(std::function<void()> push);

// The HL watch (the parser turns it on around one statement form) and the zero-HL switch.
void set_hl_watch(bool on);
bool hl_watch();
void set_zero_hl(bool on);
bool zero_hl();
// Forget what HL was stored to.
void forget_hl_contents();
// The code address after the last load, store, push or pop (the moves record it).
uint32_t last_transfer_address();
void note_last_transfer();
// The bytes of the step being emitted (0 outside a transfer): for the operations of a move.
int transfer_step_size();

// What the model reads of the function being compiled and of the parser.
struct CodegenFunctionContext {
    std::function<uint32_t()> function_options;   // bit 12 size flag, bits 14-19 field F
    std::function<bool()> ix_frame;               // short frame displacements (IX) in use
    std::function<int()> long_call_nesting;       // > 0: calls are "lcall"
    std::function<bool(const symbol *)> long_call_function; // "__lcall__" functions
    std::function<bool()> suppressed;             // code generation suppressed
};
void set_codegen_function_context(CodegenFunctionContext context);
const CodegenFunctionContext &codegen_function_context();
bool function_size_flag();
uint16_t function_field_f();

// Start of a compile: stack offset, pending value, HL watch and switches back to their start.
void reset_value_model();
// The stack state the node queries read (ObjHost), installed by the compile joins.
ObjHost &value_model_obj_host();

// Message ids of the code generator.
enum : uint32_t {
    kMsgCgInvalidOperandType = 623,     // "Internal error: invalid operand data type."
    kMsgCgUnknownStorage = 627,         // "Internal error: load value of unknown storage class."
    kMsgCgInvalidPrimaryType = 637,     // "Internal error: Invalid primary register load type."
    kMsgCgUnableToSwap = 638,
    kMsgCgPopInvalid = 639,
    kMsgCgPushInvalid = 640,
    kMsgCgLoadMode = 641,
    kMsgCgStoreRegister = 643,
    kMsgCgConstantStoreMode = 644,
    kMsgCgInvalidOperation = 647,
    kMsgCgRangeError = 794,
    kMsgCgInvalidObjectOperation = 2001,
    kMsgCgUnknownOpcode = 2056,
};
// Reports a message by id at the current position (its summary and detail).
void cg_error(uint32_t id);
