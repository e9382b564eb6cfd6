// SimCpu: the Vireon 2000/3000 CPU core of the board stand-in.
// A plain state struct, `cpu_reset` and `cpu_step` (one instruction, returns its clock cycles),
// and `cpu_run` for a bounded run. Memory and I/O go through the `Bus` that the board owns
// (SimBoard implements it); the CPU only knows logical addresses, the XPC register, the
// physical accesses of `ldp` and the two I/O spaces that the `ioi`/`ioe` prefixes select.
// Called by the board stand-in, tools/kxrun and the tests. Standard library only.
//
// Effects worth knowing when reading a stack or a trace:
//   lcall  pushes the caller's XPC (one byte) and then the return address; lret pops both.
//   reti   pops IP (one byte) and then the return address.
//   rst v  calls IIR * 256 + 2 * v (the internal vector table); syscall calls IIR * 256 + 0x60.
//   ioi/ioe apply to the data accesses of the next instruction ((hl), (ix+d), (mn), (bc),
//          (de), (sp+n) operands); fetches, push/pop, call/ret and ex (sp) stay memory. On
//          ldi/ldd/ldir/lddr both sides become I/O; on the r3000 ldisr/lddsr (destination
//          fixed) and lsidr/lsddr (source fixed) only the fixed side does.
//   Repeating block moves (ldir, lddr, the r3000 lsir/lsdr/ldisr/lddsr/lsidr/lsddr) and
//          uma/ums do one iteration per step and stay at their address (prefixes included)
//          until BC is 0, as the CPU does. The first step costs the base and one iteration,
//          every later one its iteration alone, so the cycles of the whole move stay the
//          window's 6+7n, 8+6n or 8+7n; each step counts as one instruction, so a step budget
//          bounds the real time of a run.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vsim {

// The instruction sets. r3000 adds the page-set-B instructions (idet, uma, ums, the lsxxr/ldxsr
// block moves, push/pop su, setusr, sures, rdmode, syscall) to r2000. z180 is the Z180 set
// (SimZ180): the Z80 instructions with the Z180's additions, its cycle counts and its MMU.
enum class CpuModel : uint8_t { r2000, r3000, z180 };

// Index of an 8-bit register in `CpuState::main`/`alt`: the opcode's 3-bit register field,
// with slot 6 (the "(hl)" field) holding F.
enum Reg8 : uint8_t { rB = 0, rC = 1, rD = 2, rE = 3, rH = 4, rL = 5, rF = 6, rA = 7 };

// Flag bits of F. The family keeps sign, zero, logical/overflow and carry; the other bits
// are left clear by every flag-writing instruction here.
inline constexpr uint8_t kFlagS = 0x80;
inline constexpr uint8_t kFlagZ = 0x40;
inline constexpr uint8_t kFlagV = 0x04; // "L/V": overflow for arithmetic, logical for logic ops
inline constexpr uint8_t kFlagC = 0x01;

// Why a step or a run ended abnormally.
enum class CpuFault : uint8_t { none, undefined_opcode };

struct CpuState {
    std::array<uint8_t, 8> main{}; // b c d e h l f a
    std::array<uint8_t, 8> alt{};  // b' c' d' e' h' l' f' a'
    uint16_t ix = 0, iy = 0, sp = 0, pc = 0;
    uint8_t xpc = 0;
    uint8_t ip = 0;  // interrupt priority stack (2 bits per level, current in bits 0-1)
    uint8_t iir = 0; // internal interrupt vector base (high byte of the rst/syscall vectors)
    uint8_t eir = 0; // external interrupt vector base
    uint8_t su = 0;  // system/user mode stack of the r3000 (current mode in bits 0-1)
    CpuModel model = CpuModel::r2000;
    CpuFault fault = CpuFault::none;
    uint16_t fault_pc = 0;  // logical address of the undefined opcode (its first prefix byte)
    uint8_t fault_xpc = 0;  // XPC at that moment
    uint64_t cycles = 0;    // clock cycles since reset
    uint64_t instructions = 0;
    // The repeating instruction in progress: its address and XPC. The next step at that place
    // continues it (without the base cycles); a step anywhere else starts afresh.
    bool repeating = false;
    uint16_t repeat_pc = 0;
    uint8_t repeat_xpc = 0;
    // The Z180's own state (unused by the Vireon sets): the interrupt vector and refresh
    // registers, the interrupt mode and enables, and the on-chip I/O registers 0x00-0x3F, the
    // MMU's CBR (0x38), BBR (0x39) and CBAR (0x3A) among them.
    uint8_t i = 0, r = 0;
    uint8_t im = 0;
    bool iff1 = false, iff2 = false;
    std::array<uint8_t, 64> z180_io{};

    uint16_t pair(Reg8 hi) const { return uint16_t(main[hi] << 8 | main[hi + 1]); }
    uint16_t bc() const { return pair(rB); }
    uint16_t de() const { return pair(rD); }
    uint16_t hl() const { return pair(rH); }
    uint16_t af() const { return uint16_t(main[rA] << 8 | main[rF]); }
    uint16_t alt_pair(Reg8 hi) const { return uint16_t(alt[hi] << 8 | alt[hi + 1]); }
    uint16_t bc2() const { return alt_pair(rB); }
    uint16_t de2() const { return alt_pair(rD); }
    uint16_t hl2() const { return alt_pair(rH); }
    uint16_t af2() const { return uint16_t(alt[rA] << 8 | alt[rF]); }
    void set_pair(Reg8 hi, uint16_t v) { main[hi] = uint8_t(v >> 8); main[hi + 1] = uint8_t(v); }
    void set_bc(uint16_t v) { set_pair(rB, v); }
    void set_de(uint16_t v) { set_pair(rD, v); }
    void set_hl(uint16_t v) { set_pair(rH, v); }
    void set_af(uint16_t v) { main[rA] = uint8_t(v >> 8); main[rF] = uint8_t(v); }
};

// The two I/O spaces of the `ioi` (internal peripherals, MMU) and `ioe` (external) prefixes.
enum class IoSpace : uint8_t { internal, external };

// What the CPU sees of the board. Logical accesses go through the board's MMU with the
// current XPC; physical ones (ldp) take a 20-bit address.
class Bus {
public:
    virtual ~Bus() = default;
    virtual uint8_t read(uint16_t logical, uint8_t xpc) = 0;
    virtual void write(uint16_t logical, uint8_t xpc, uint8_t value) = 0;
    virtual uint8_t read_physical(uint32_t physical) = 0;
    virtual void write_physical(uint32_t physical, uint8_t value) = 0;
    virtual uint8_t io_read(IoSpace space, uint16_t port) = 0;
    virtual void io_write(IoSpace space, uint16_t port, uint8_t value) = 0;
};

// Power-on state: every register 0 except SP 0 and IP 0xFF (all interrupts masked);
// keeps the model. Clears the fault and the counters. On the Z180 CBAR is 0xF0 (the whole
// logical space maps to physical 0x00000-0x0FFFF) and interrupts are disabled.
void cpu_reset(CpuState &s, CpuModel model = CpuModel::r2000);

// Executes one instruction (with its prefixes) and returns its clock cycles. An undefined
// opcode executes nothing: PC stays on it, `fault` becomes undefined_opcode with its address
// in fault_pc/fault_xpc, and the result is 0. A state already in fault does not step (0).
uint32_t cpu_step(CpuState &s, Bus &bus);

// Why a run ended.
enum class StopReason : uint8_t { limit, breakpoint, undefined_opcode };

// A breakpoint: a logical PC, optionally only with one XPC value (for xmem addresses).
struct Breakpoint {
    uint16_t pc = 0;
    int xpc = -1; // -1: any XPC
};

struct RunResult {
    StopReason reason = StopReason::limit;
    uint64_t instructions = 0; // executed in this run
    uint64_t cycles = 0;       // clock cycles of this run
};

// Runs at most max_instructions steps; stops before executing an instruction at a breakpoint
// (except the first one, so a run can continue from a breakpoint, and a repeating instruction
// in progress, which finishes first) and at an undefined opcode.
RunResult cpu_run(CpuState &s, Bus &bus, uint64_t max_instructions,
                  const std::vector<Breakpoint> &breakpoints = {});

} // namespace vsim
