// CC_Z80FUNC: function prologues, epilogues and interrupt entries, the register-variable save and
// restore, and the return instruction. The function-definition parser constructs a
// `FunctionProlog` at the start of a body and a `FunctionEpilog` at its end and destroys each at
// once: construction emits the interrupt entry and the inline parts of the frame, destruction the
// call of a shared frame routine when the function's frame kind asks for one.
// What it reads of the function comes through `CodegenFunctionContext` (CC_Z80): the option word
// (bits 0, 1 and 4 the frame kind, 8-10 the interrupt priority, 11 the IX-frame option, 12 the
// size flag, 21 xmem) and the IX-frame flag, and through `FunctionFrameContext` below; the
// function's register variables are its local symbols of kinds 4 and 5.
//
// The frame routines ("sspix..._" on entry, "rspix..._" on exit), "entint_" and "intr1".."intr3"
// are the runtime library's (TARGET/lib/RuntimeContract.h): HL the frame size (negative on
// entry), DE and BC the register-variable block for the forms that copy it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

// Frame kind bits.
enum : uint8_t {
    kFrameRoutineIx = 0x01,      // the frame routine builds the IX frame
    kFrameOptionForms = 0x16,    // option bit 1: the "f"/"fn" forms
    kFrameRegisters = 0x08,      // the frame routine also copies the register variables
    kFrameSize = 0x10,           // compiled for size
    kFrameDebug = 0x40,          // compiled with debugging code
};

// What the frame code reads beyond `CodegenFunctionContext`: the option word written back (the
// prologue clears the IX-frame option of a function without an IX frame) and the end of the
// static register-variable area. Installed by the function-definition parser; unset entries
// write nothing and read 0.
struct FunctionFrameContext {
    std::function<void(uint32_t)> set_function_options;
    std::function<uint16_t()> register_area_end;
};
void set_function_frame_context(FunctionFrameContext context);

// The frame state of the function being compiled (one function at a time): automatic bytes L,
// register-variable bytes R, T = L + R, the frame kind, the deferred-save bits and the
// epilogue's "exx" flag.
struct FunctionFrameState {
    uint16_t autos = 0;
    uint16_t registers = 0;
    uint16_t total = 0;
    uint8_t kind = 0;
    uint8_t deferred = 0;
    uint8_t epilogue_exx = 0;
};
const FunctionFrameState &function_frame_state();
void set_function_frame_state(const FunctionFrameState &state);
// The frame size: T when the kind has kFrameRegisters; otherwise L when R (signed) is below 7,
// else T.
uint16_t function_frame_size();
// The frame routines of a kind (entry, exit), or nothing for a kind without one.
std::optional<std::pair<const char *, const char *>> frame_routines(uint8_t kind);

// The seven operations of a prologue or an epilogue, in slot order.
class FunctionCallInfo {
public:
    virtual ~FunctionCallInfo() = default;
    virtual void ix_frame() = 0;            // 0
    virtual void reserved_1() = 0;          // 1
    virtual void reserved_2() = 0;          // 2
    virtual void reserved_3() = 0;          // 3
    virtual void reserved_4() = 0;          // 4
    virtual void frame_without_ix() = 0;    // 5
    virtual void register_variables() = 0;  // 6
};

// The order in which a prologue runs its slots: 4 (interrupt functions); 0 with an IX frame,
// else 5 when the frame is not empty; 6 with register variables; 1 and 2 (option bit 1); 3
// (debugging code).
class GenericFunctionProlog : public FunctionCallInfo {
protected:
    void run_slots();
};

// The epilogue's order: 3; 1 and 2; 6; 0 or 5; 4.
class GenericFunctionEpilog : public FunctionCallInfo {
protected:
    void run_slots();
};

class FunctionProlog : public GenericFunctionProlog {
public:
    // `autos` L and `registers` R: records the frame, computes its kind, emits the interrupt
    // entry of an interrupt function and the inline frame.
    FunctionProlog(uint16_t autos, uint16_t registers);
    // The frame routine's call (with "exx" and its operands), and a deferred register save.
    ~FunctionProlog() override;

    void ix_frame() override;
    void reserved_1() override {}
    void reserved_2() override {}
    void reserved_3() override {}
    void reserved_4() override {}
    void frame_without_ix() override;
    void register_variables() override;
};

class FunctionEpilog : public GenericFunctionEpilog {
public:
    // `returns_value`: the primary registers hold the function's result, which must survive.
    explicit FunctionEpilog(bool returns_value);
    // The frame routine (or the closing "exx") and the return instruction.
    ~FunctionEpilog() override;

    void ix_frame() override;
    void reserved_1() override {}
    void reserved_2() override {}
    void reserved_3() override {}
    void reserved_4() override {}
    void frame_without_ix() override;
    void register_variables() override;
};

// "lret" for an ordinary function on the F80 whose code lies in the xmem window or that is an
// xmem function (not while a watch expression is compiled); else "reti" for `interrupt`, "ret".
void gen_return_instruction(bool interrupt);

// Message ids of this unit.
enum : uint32_t {
    kMsgCgPrologRoutine = 655,  // "Internal error: Unsupported function prolog subroutine."
    kMsgCgEpilogRoutine = 656,  // "Internal error: Unsupported function epilog subroutine."
};

// Start of a compile.
void reset_function_frames();
