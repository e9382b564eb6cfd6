// SimCycles: clock-cycle figures of the Vireon instructions (see SimCycles.h).
// The tables are built at compile time from the opcode layout: one rule per instruction
// group, written in the order of the opcode map. Figures of the r3000 additions that repeat
// (uma, ums, the ldxsr/lsxxr block moves) are per byte; the core adds the block-move start.
#include "SimCycles.h"

namespace vsim {

namespace {

// Main page, unprefixed.
constexpr uint8_t main_cycles(unsigned op)
{
    if (op >= 0x40 && op < 0x80) {       // ld r,r' : 01ddd sss (0x76 is the altd prefix)
        if (op == 0x76)
            return 2;
        if ((op & 7) == 6)
            return 5;                    // ld r,(hl)
        if (((op >> 3) & 7) == 6)
            return 6;                    // ld (hl),r
        return 2;
    }
    if (op >= 0x80 && op < 0xC0)         // alu a,r : 10ooo sss
        return (op & 7) == 6 ? 5 : 2;
    if (op < 0x40) {
        switch (op & 0x0F) {
        case 0x01: return 6;                                      // ld dd,mn
        case 0x03: case 0x0B: return 2;                           // inc/dec dd
        case 0x09: return 2;                                      // add hl,ss
        default: break;
        }
        switch (op & 0x07) {
        case 0x04: case 0x05: return op == 0x34 || op == 0x35 ? 8 : 2; // inc/dec r
        case 0x06: return op == 0x36 ? 7 : 4;                          // ld r,n
        default: break;
        }
        switch (op) {
        case 0x00: return 2;                                      // nop
        case 0x02: case 0x12: return 7;                           // ld (bc),a  ld (de),a
        case 0x0A: case 0x1A: return 6;                           // ld a,(bc)  ld a,(de)
        case 0x07: case 0x0F: case 0x17: case 0x1F: return 2;     // rlca rrca rla rra
        case 0x08: return 2;                                      // ex af,af'
        case 0x10: return 5;                                      // djnz
        case 0x18: case 0x20: case 0x28: case 0x30: case 0x38: return 5; // jr
        case 0x22: return 13;                                     // ld (mn),hl
        case 0x2A: return 11;                                     // ld hl,(mn)
        case 0x32: return 10;                                     // ld (mn),a
        case 0x3A: return 9;                                      // ld a,(mn)
        case 0x27: return 4;                                      // add sp,d
        case 0x2F: case 0x37: case 0x3F: return 2;                // cpl scf ccf
        default: return 0;
        }
    }
    if ((op & 0xC7) == 0xC0)
        return 255;                                               // ret cc
    if ((op & 0xCF) == 0xC1)
        return 7;                                                 // pop
    if ((op & 0xCF) == 0xC5)
        return 10;                                                // push
    if ((op & 0xC7) == 0xC2)
        return 7;                                                 // jp cc,mn
    if ((op & 0xC7) == 0xC6)
        return 4;                                                 // alu a,n
    switch (op) {
    case 0xC3: return 7;                                          // jp mn
    case 0xC4: case 0xE4: return 9;                               // ld hl,(sp+n)  ld hl,(ix+d)
    case 0xD4: case 0xF4: return 11;                              // ld (sp+n),hl  ld (ix+d),hl
    case 0xC7: return 10;                                         // ljp
    case 0xCF: return 19;                                         // lcall
    case 0xC9: return 8;                                          // ret
    case 0xCD: return 12;                                         // call
    case 0xCC: case 0xDC: case 0xEC: return 2;                    // bool hl, and/or hl,de
    case 0xD3: case 0xDB: return 2;                               // ioi ioe
    case 0xD7: case 0xDF: case 0xE7: case 0xEF: case 0xFF: return 8; // rst
    case 0xD9: case 0xE3: case 0xEB: return 2;                    // exx, ex de',hl, ex de,hl
    case 0xE9: return 4;                                          // jp (hl)
    case 0xF3: case 0xFB: case 0xFC: return 2;                    // rl de, rr de, rr hl
    case 0xF7: return 12;                                         // mul
    case 0xF9: return 2;                                          // ld sp,hl
    default: return 0;                                            // CB DD ED FD prefixes
    }
}

// After 0xCB: shifts, bit, res, set.
constexpr uint8_t cb_cycles(unsigned op)
{
    if (op >= 0x30 && op < 0x38)
        return 0;                         // not defined on this family
    if ((op & 7) != 6)
        return 4;
    return op >= 0x40 && op < 0x80 ? 7 : 10;
}

// After 0xDD or 0xFD: the index-register forms.
constexpr uint8_t index_cycles(unsigned op)
{
    if (op >= 0x40 && op < 0x80 && op != 0x76) {
        if ((op & 7) == 6 && op != 0x76)
            return 9;                     // ld r,(ix+d)
        if (((op >> 3) & 7) == 6)
            return 10;                    // ld (ix+d),r
    }
    if (op >= 0x80 && op < 0xC0 && (op & 7) == 6)
        return 9;                         // alu a,(ix+d)
    switch (op) {
    case 0x09: case 0x19: case 0x29: case 0x39: return 4;         // add ix,ss
    case 0x21: return 8;
    case 0x22: return 15;
    case 0x2A: return 13;
    case 0x23: case 0x2B: return 4;
    case 0x34: case 0x35: return 12;
    case 0x36: return 11;
    case 0x64: return 12;                                         // ldp (ix),hl
    case 0x65: return 15;                                         // ldp (mn),ix
    case 0x6C: return 10;                                         // ldp hl,(ix)
    case 0x6D: return 13;                                         // ldp ix,(mn)
    case 0x7C: case 0x7D: return 4;                               // ld hl,ix  ld ix,hl
    case 0xCB: return 13;                                         // shifts/res/set (ix+d)
    case 0xC4: return 11;                                         // ld ix,(sp+n)
    case 0xD4: return 13;                                         // ld (sp+n),ix
    case 0xE4: return 11;                                         // ld hl,(hl+d)/(iy+d)
    case 0xF4: return 13;                                         // ld (hl+d)/(iy+d),hl
    case 0xCC: case 0xDC: case 0xEC: case 0xFC: return 4;         // bool/and/or/rr ix
    case 0xE1: return 9;
    case 0xE5: return 12;
    case 0xE3: return 15;                                         // ex (sp),ix
    case 0xE9: return 6;                                          // jp (ix)
    case 0xF9: return 4;                                          // ld sp,ix
    default: return 0;
    }
}

// After 0xED.
constexpr uint8_t ed_cycles(unsigned op)
{
    switch (op) {
    case 0x41: case 0x49: case 0x51: case 0x59: case 0x61: case 0x69: return 4; // ld dd',bc/de
    case 0x42: case 0x52: case 0x62: case 0x72: return 4;         // sbc hl,ss
    case 0x4A: case 0x5A: case 0x6A: case 0x7A: return 4;         // adc hl,ss
    case 0x43: case 0x53: case 0x73: return 15;                   // ld (mn),ss
    case 0x4B: case 0x5B: case 0x7B: return 13;                   // ld ss,(mn)
    case 0x44: return 4;                                          // neg
    case 0x45: return 13;                                         // lret
    case 0x4D: return 12;                                         // reti
    case 0x46: case 0x4E: case 0x56: case 0x5E: case 0x5D: return 4; // ipset, ipres
    case 0x47: case 0x4F: case 0x57: case 0x5F: return 4;         // eir/iir moves
    case 0x54: return 15;                                         // ex (sp),hl
    case 0x64: return 12;                                         // ldp (hl),hl
    case 0x65: return 15;                                         // ldp (mn),hl
    case 0x6C: return 10;                                         // ldp hl,(hl)
    case 0x6D: return 13;                                         // ldp hl,(mn)
    case 0x67: case 0x77: return 4;                               // ld xpc,a  ld a,xpc
    case 0x76: return 9;                                          // push ip
    case 0x7E: return 7;                                          // pop ip
    case 0xA0: case 0xA8: return 10;                              // ldi ldd
    case 0xB0: case 0xB8: return 7;                               // ldir lddr, per byte
    // r3000 additions
    case 0x66: return 9;                                          // push su
    case 0x6E: return 7;                                          // pop su
    case 0x6F: case 0x7D: case 0x7F: return 4;                    // setusr sures rdmode
    case 0x75: return 10;                                         // syscall
    case 0xC0: case 0xC8: return 8;                               // uma ums, per byte
    case 0x90: case 0x98: case 0xD0: case 0xD8: case 0xF0: case 0xF8: return 6; // per byte
    default: return 0;
    }
}

template <uint8_t (*Rule)(unsigned)>
constexpr CycleTable build()
{
    CycleTable t{};
    for (unsigned op = 0; op < 256; ++op)
        t[op] = Rule(op);
    return t;
}

constexpr CycleTables kTables{build<main_cycles>(), build<cb_cycles>(), build<index_cycles>(),
                              build<ed_cycles>()};

// Figures the debug windows are known to show.
static_assert(kTables.main[0x00] == 2 && kTables.main[0x01] == 6 && kTables.main[0x06] == 4);
static_assert(kTables.main[0x18] == 5 && kTables.main[0x21] == 6 && kTables.main[0x36] == 7);
static_assert(kTables.main[0x7E] == 5 && kTables.main[0xC3] == 7 && kTables.main[0xC9] == 8);
static_assert(kTables.main[0xCD] == 12 && kTables.main[0xFF] == 8);
static_assert(kTables.main[0xCB] == 0 && kTables.main[0xDD] == 0 && kTables.main[0xED] == 0 &&
              kTables.main[0xFD] == 0);
static_assert(kTables.main[0xC0] == 255 && kTables.main[0xF8] == 255);
static_assert(kTables.cb[0x46] == 7 && kTables.cb[0x06] == 10 && kTables.cb[0x86] == 10 &&
              kTables.cb[0x00] == 4);
static_assert(kTables.dd[0x09] == 4 && kTables.dd[0x21] == 8 && kTables.dd[0x22] == 15 &&
              kTables.dd[0x2A] == 13 && kTables.dd[0x34] == 12 && kTables.dd[0x36] == 11);
static_assert(kTables.ed[0x43] == 15 && kTables.ed[0x4B] == 13 && kTables.ed[0x4D] == 12 &&
              kTables.ed[0x44] == 4);

// (required, forbidden) bit patterns over the four bytes after an ioi prefix.
struct IoiPattern {
    uint32_t required, forbidden;
};
constexpr IoiPattern kIoiPatterns[] = {
    {0x30000000, 0xC8000000}, {0xDD300000, 0x02C00000}, {0x02000000, 0x0D000000},
    {0x70000000, 0x88000000}, {0xDD700000, 0x02880000}, {0xF4000000, 0x0B000000},
    {0x22000000, 0xCD000000}, {0xDD220000, 0x02DD0000}, {0xED430000, 0x128C0000},
    {0xED800000, 0x12470000}, {0xDDCB0000, 0x02340040}, {0xCB000000, 0x00400000},
};

} // namespace

const CycleTables &cycle_tables()
{
    return kTables;
}

uint32_t ioi_extra_cycles(uint32_t next4)
{
    for (const IoiPattern &p : kIoiPatterns)
        if ((next4 & p.required) == p.required && (next4 & p.forbidden) == 0)
            return 1;
    return 2;
}

uint32_t instruction_cycle_value(std::span<const uint8_t> bytes)
{
    auto at = [&](size_t i) -> uint32_t { return i < bytes.size() ? bytes[i] : 0; };
    size_t k = 0;
    uint32_t extra = 0;
    uint32_t first = at(0);
    if (first == 0xD3 || first == 0xDB || first == 0x76) {
        k = 1;
        if (first == 0xD3)
            extra = ioi_extra_cycles(at(1) << 24 | at(2) << 16 | at(3) << 8 | at(4));
        else
            extra = 2;
    }
    uint32_t op = at(k);
    uint32_t value = kTables.main[op];
    if (value != 0 && op != 0x76)
        return value + extra;
    uint32_t next = at(k + 1);
    switch (op) {
    case 0xED: value = next == 0xB0 || next == 0xB8 ? kCyclesBlockMove : kTables.ed[next]; break;
    case 0xDD:
    case 0xFD:
        value = next == 0xCB && at(k + 3) >= 0x40 && at(k + 3) <= 0x7F ? 10 : kTables.dd[next];
        break;
    case 0xCB: value = kTables.cb[next]; break;
    case 0x76: value = next == 0xE3 ? 4 : kTables.main[0x76]; break;
    default: break;
    }
    return value + extra;
}

} // namespace vsim
