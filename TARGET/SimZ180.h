// SimZ180: the Z180 instruction set of the CPU core, the third set beside the two Vireon ones.
// `cpu_step` hands a state whose model is z180 to `z180_execute`; the Vireon decoder never
// sees it. The Z180 keeps the Z80's instructions (the ones the Vireon sets dropped or reused:
// ex (sp),hl, djnz, in/out, im, halt, di/ei, the ED block I/O, daa, rld/rrd, cpi/cpir...), adds
// mlt, tst, in0, out0, otim(r), otdm(r), tstio and slp, and has its own cycle counts and MMU.
// Standard library only.
//
// Effects worth knowing:
//   Memory goes through the on-chip MMU to the bus's physical accesses (1 MB). A logical page
//          (4 KB) at or above CBAR's high nibble (common area 1) adds CBR * 4096; one at or
//          above its low nibble (bank area) adds BBR * 4096; below both it is common area 0,
//          physical = logical. The Vireon XPC plays no part.
//   I/O addresses are 16 bits: "in a,(n)"/"out (n),a" put A on the high byte, the (c) forms
//          take BC, in0/out0/tstio/otim* take 00:n or 00:C. Addresses 0x0000-0x003F are the
//          on-chip registers (`CpuState::z180_io`, the MMU's among them); every other one goes
//          to the bus's external I/O space, where the board decodes the console ports.
//   Flags are the Z80's S Z H P/V N C; bits 3 and 5 stay clear.
//   An opcode the Z180 does not define (the Vireon-only ioi/ioe are out (n),a and in a,(n)
//          here, altd is halt, but ldp, mul, lcall... and the undocumented Z80 forms such as
//          the index-register halves and sll) is the undefined-opcode fault: the Z180 would trap.
//   halt and slp stay on their address (no interrupt source wakes them): each step costs
//          their cycles and counts as an instruction.
//   Repeating instructions (ldir, lddr, cpir, cpdr, inir, indr, otir, otdr, otimr, otdmr) do
//          one iteration per step and stay at their address while they repeat: every
//          iteration but the last costs 14 cycles (otimr/otdmr 16), the last 12 (14).
#pragma once

#include "SimCpu.h"

#include <cstdint>

namespace vsim {

// On-chip I/O registers of the MMU and their values after reset.
inline constexpr uint8_t kZ180PortCbr = 0x38;
inline constexpr uint8_t kZ180PortBbr = 0x39;
inline constexpr uint8_t kZ180PortCbar = 0x3A;
inline constexpr uint8_t kZ180ResetCbar = 0xF0;

// The 20-bit physical address of a logical one under the state's MMU registers.
uint32_t z180_physical(const CpuState &s, uint16_t logical);

// The shifts and rotates of the 0xCB page, shared by the Vireon and the Z180 cores: op 0-7 is
// rlc rrc rl rr sla sra (6) srl, 6 shifting as srl. Returns the result and leaves the bit that
// goes into the carry in `carry_out`; each core sets its own flags from them.
inline uint8_t shift_rotate(int op, uint8_t v, bool carry_in, unsigned &carry_out)
{
    switch (op) {
    case 0: carry_out = v >> 7; return uint8_t(v << 1 | carry_out);
    case 1: carry_out = v & 1; return uint8_t(v >> 1 | carry_out << 7);
    case 2: carry_out = v >> 7; return uint8_t(v << 1 | (carry_in ? 1 : 0));
    case 3: carry_out = v & 1; return uint8_t(v >> 1 | (carry_in ? 0x80 : 0));
    case 4: carry_out = v >> 7; return uint8_t(v << 1);
    case 5: carry_out = v & 1; return uint8_t(v >> 1 | (v & 0x80));
    default: carry_out = v & 1; return uint8_t(v >> 1);
    }
}

// Executes one instruction (one iteration of a repeating one) on a z180 state. Returns false,
// with the state as it was (the caller reports the fault), when the opcode is not defined.
// Sets `again` when the instruction must run once more at the same address.
[[nodiscard]] bool z180_execute(CpuState &s, Bus &bus, uint32_t &cycles, bool &again);

// Fills the Z180 part of a reset state (MMU registers, interrupts off).
void z180_reset(CpuState &s);

} // namespace vsim
