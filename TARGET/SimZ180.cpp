// SimZ180: the Z180 instruction set (see SimZ180.h).
// One `Core` lives for one instruction: it takes an index prefix (0xDD/0xFD), decodes the
// opcode and executes it. Whether an opcode is defined is decided before anything changes,
// so an undefined one leaves the state as it was (the caller puts PC back).
// The cycle figures are the Z180's own (they differ from the Z80's and the Vireon's).
#include "SimZ180.h"

#include <array>
#include <utility>

namespace vsim {

namespace {

constexpr uint8_t kFlagH = 0x10;
constexpr uint8_t kFlagN = 0x02;
constexpr uint8_t kFlagP = kFlagV; // parity and overflow share the bit

constexpr std::array<bool, 256> make_parity()
{
    std::array<bool, 256> p{};
    for (int v = 0; v < 256; ++v) {
        int ones = 0;
        for (int b = 0; b < 8; ++b)
            ones += (v >> b) & 1;
        p[v] = (ones & 1) == 0;
    }
    return p;
}
constexpr std::array<bool, 256> kEvenParity = make_parity();

// Opcodes of the main page that an index prefix may stand in front of (HL, (HL) or the
// 0xCB page); every other one is undefined after 0xDD/0xFD on the Z180.
constexpr std::array<bool, 256> make_index_valid()
{
    std::array<bool, 256> v{};
    const uint8_t ops[] = {0x09, 0x19, 0x21, 0x22, 0x23, 0x29, 0x2A, 0x2B, 0x34, 0x35, 0x36,
                           0x39, 0x46, 0x4E, 0x56, 0x5E, 0x66, 0x6E, 0x7E, 0x70, 0x71, 0x72,
                           0x73, 0x74, 0x75, 0x77, 0x86, 0x8E, 0x96, 0x9E, 0xA6, 0xAE, 0xB6,
                           0xBE, 0xCB, 0xE1, 0xE3, 0xE5, 0xE9, 0xF9};
    for (uint8_t op : ops)
        v[op] = true;
    return v;
}
constexpr std::array<bool, 256> kIndexValid = make_index_valid();

// Cycles of a main-page opcode without prefix. Conditional jumps, calls, returns and djnz
// hold the taken figure; the not-taken one is in `kNotTaken*` below.
constexpr uint8_t main_cycles(int op)
{
    if (op == 0x76)
        return 3; // halt
    if (op >= 0x40 && op < 0x80)
        return (op & 7) == 6 ? 6 : ((op >> 3) & 7) == 6 ? 7 : 4;
    if (op >= 0x80 && op < 0xC0)
        return (op & 7) == 6 ? 6 : 4;
    if (op < 0x40) {
        switch (op & 0x0F) {
        case 0x01: return 9;                              // ld dd,nn
        case 0x03: case 0x0B: return 4;                   // inc/dec dd
        case 0x04: case 0x05: case 0x0C: case 0x0D:       // inc/dec r, (hl)
            return op == 0x34 || op == 0x35 ? 10 : 4;
        case 0x06: case 0x0E: return op == 0x36 ? 9 : 6;  // ld r,n ; ld (hl),n
        case 0x09: return 7;                              // add hl,ss
        default: break;
        }
        switch (op) {
        case 0x00: return 3;  case 0x02: return 7;  case 0x07: return 3;  case 0x08: return 4;
        case 0x0A: return 6;  case 0x0F: return 3;  case 0x10: return 9;  case 0x12: return 7;
        case 0x17: return 3;  case 0x18: return 8;  case 0x1A: return 6;  case 0x1F: return 3;
        case 0x20: return 8;  case 0x22: return 16; case 0x27: return 4;  case 0x28: return 8;
        case 0x2A: return 15; case 0x2F: return 3;  case 0x30: return 8;  case 0x32: return 13;
        case 0x37: return 3;  case 0x38: return 8;  case 0x3A: return 12; case 0x3F: return 3;
        default: return 0;
        }
    }
    switch (op & 7) {
    case 0: return 10;                                           // ret cc
    case 1: return op == 0xC9 ? 9 : op == 0xD9 ? 3 : op == 0xE9 ? 3 : op == 0xF9 ? 4 : 9;
    case 2: return 9;                                            // jp cc,nn
    case 3:
        switch (op) {
        case 0xC3: return 9;  case 0xD3: return 10; case 0xDB: return 9; case 0xE3: return 16;
        case 0xEB: return 3;  case 0xF3: return 3;  case 0xFB: return 3; default: return 0;
        }
    case 4: return 16;                                           // call cc,nn
    case 5: return op == 0xCD ? 16 : 11;                         // call ; push
    case 6: return 6;                                            // alu a,n
    default: return 11;                                          // rst
    }
}
constexpr std::array<uint8_t, 256> make_main_cycles()
{
    std::array<uint8_t, 256> c{};
    for (int op = 0; op < 256; ++op)
        c[op] = main_cycles(op);
    return c;
}
constexpr std::array<uint8_t, 256> kMainCycles = make_main_cycles();
static_assert(kMainCycles[0x00] == 3 && kMainCycles[0x7E] == 6 && kMainCycles[0x77] == 7 &&
              kMainCycles[0xCD] == 16 && kMainCycles[0xC5] == 11 && kMainCycles[0xE3] == 16);

constexpr uint32_t kNotTakenJp = 6, kNotTakenJr = 6, kNotTakenCall = 6, kNotTakenRet = 5,
                   kDjnzLast = 7;
// Repeating instructions: every iteration but the last, and the last.
constexpr uint32_t kRepeatCycles = 14, kRepeatLastCycles = 12;

// Cycles of an index-prefixed instruction of the main page (0xDD/0xFD included).
constexpr uint32_t index_cycles(uint8_t op)
{
    switch (op) {
    case 0x21: return 12;                                   // ld ix,nn
    case 0x22: return 19;                                   // ld (nn),ix
    case 0x2A: return 18;                                   // ld ix,(nn)
    case 0x23: case 0x2B: return 7;                         // inc/dec ix
    case 0x09: case 0x19: case 0x29: case 0x39: return 10;  // add ix,ss
    case 0x34: case 0x35: return 18;                        // inc/dec (ix+d)
    case 0x36: return 15;                                   // ld (ix+d),n
    case 0xE1: return 12;                                   // pop ix
    case 0xE5: return 14;                                   // push ix
    case 0xE3: return 19;                                   // ex (sp),ix
    case 0xE9: return 6;                                    // jp (ix)
    case 0xF9: return 7;                                    // ld sp,ix
    default: return (op & 0xF8) == 0x70 ? 15 : 14;          // ld (ix+d),r ; ld r,(ix+d), alu
    }
}

// Cycles of the 0xED page (the figure of one plain or last iteration for the block forms).
constexpr uint32_t ed_cycles(uint8_t op)
{
    if (op < 0x40) {
        switch (op & 7) {
        case 0: return 12;                    // in0 r,(n)
        case 1: return 13;                    // out0 (n),r
        default: return op == 0x34 ? 10 : 7;  // tst (hl) ; tst r
        }
    }
    if (op < 0x80) {
        if ((op & 0x0F) == 0x0C)
            return 17; // mlt
        switch (op & 7) {
        case 0: return 9;                                  // in r,(c)
        case 1: return 10;                                 // out (c),r
        case 2: return 10;                                 // sbc/adc hl,ss
        case 3: return (op & 8) ? 18 : 19;                 // ld dd,(nn) ; ld (nn),dd
        case 4: return op == 0x64 ? 9 : op == 0x74 ? 12 : 6; // tst n ; tstio n ; neg
        case 5: return op == 0x4D ? 22 : 12;               // reti ; retn
        case 6: return op == 0x76 ? 8 : 6;                 // slp ; im
        default: return op == 0x67 || op == 0x6F ? 16 : 6; // rrd rld ; ld i/r
        }
    }
    if (op == 0x83 || op == 0x8B || op == 0x93 || op == 0x9B)
        return 14; // otim otdm, the last iteration of otimr otdmr
    return 12;     // ldi cpi ini outi and the rest of the block group
}

class Core {
public:
    Core(CpuState &s, Bus &bus) : s(s), bus(bus) {}

    bool step();
    uint32_t cycles = 0;
    bool again = false;

private:
    // --- memory and I/O ---
    uint8_t rd(uint16_t a) { return bus.read_physical(z180_physical(s, a)); }
    void wr(uint16_t a, uint8_t v) { bus.write_physical(z180_physical(s, a), v); }
    uint16_t rd16(uint16_t a) { return uint16_t(rd(a) | rd(uint16_t(a + 1)) << 8); }
    void wr16(uint16_t a, uint16_t v)
    {
        wr(a, uint8_t(v));
        wr(uint16_t(a + 1), uint8_t(v >> 8));
    }
    uint8_t fetch() { return rd(s.pc++); }
    uint8_t fetch_opcode()
    {
        s.r = uint8_t((s.r & 0x80) | ((s.r + 1) & 0x7F));
        return fetch();
    }
    uint16_t fetch16()
    {
        uint8_t lo = fetch();
        return uint16_t(lo | fetch() << 8);
    }
    void push16(uint16_t v)
    {
        s.sp = uint16_t(s.sp - 1);
        wr(s.sp, uint8_t(v >> 8));
        s.sp = uint16_t(s.sp - 1);
        wr(s.sp, uint8_t(v));
    }
    uint16_t pop16()
    {
        uint8_t lo = rd(s.sp);
        s.sp = uint16_t(s.sp + 1);
        uint8_t hi = rd(s.sp);
        s.sp = uint16_t(s.sp + 1);
        return uint16_t(lo | hi << 8);
    }
    uint8_t in(uint16_t port)
    {
        return port < 0x40 ? s.z180_io[port] : bus.io_read(IoSpace::external, port);
    }
    void out(uint16_t port, uint8_t v)
    {
        if (port < 0x40)
            s.z180_io[port] = v;
        else
            bus.io_write(IoSpace::external, port, v);
    }

    // --- registers ---
    uint8_t &reg(int r) { return s.main[r]; } // r != 6
    uint8_t &f() { return s.main[rF]; }
    uint8_t &a() { return s.main[rA]; }
    bool carry() const { return s.main[rF] & kFlagC; }
    uint16_t hlx() const { return idx == 0 ? s.hl() : idx == 1 ? s.ix : s.iy; }
    void set_hlx(uint16_t v)
    {
        if (idx == 0)
            s.set_hl(v);
        else if (idx == 1)
            s.ix = v;
        else
            s.iy = v;
    }
    uint16_t pair_ss(int p) const
    {
        switch (p) {
        case 0: return s.bc();
        case 1: return s.de();
        case 2: return hlx();
        default: return s.sp;
        }
    }
    void set_pair_ss(int p, uint16_t v)
    {
        switch (p) {
        case 0: s.set_bc(v); break;
        case 1: s.set_de(v); break;
        case 2: set_hlx(v); break;
        default: s.sp = v; break;
        }
    }
    // Address of the "(hl)" operand: HL, or IX/IY plus the displacement byte.
    uint16_t mem_addr() { return idx == 0 ? s.hl() : uint16_t(hlx() + int8_t(fetch())); }
    bool condition(int cc) const
    {
        uint8_t fl = s.main[rF];
        switch (cc) {
        case 0: return !(fl & kFlagZ);
        case 1: return fl & kFlagZ;
        case 2: return !(fl & kFlagC);
        case 3: return fl & kFlagC;
        case 4: return !(fl & kFlagP); // po
        case 5: return fl & kFlagP;    // pe
        case 6: return !(fl & kFlagS); // p
        default: return fl & kFlagS;   // m
        }
    }

    // --- flags ---
    static uint8_t sz(uint8_t r) { return uint8_t((r & 0x80) | (r == 0 ? kFlagZ : 0)); }
    static uint8_t szp(uint8_t r) { return uint8_t(sz(r) | (kEvenParity[r] ? kFlagP : 0)); }
    uint8_t add8(uint8_t x, uint8_t y, unsigned c)
    {
        unsigned r = x + y + c;
        uint8_t res = uint8_t(r);
        f() = uint8_t(sz(res) | (((x & 0x0F) + (y & 0x0F) + c) > 0x0F ? kFlagH : 0) |
                      (((x ^ res) & (y ^ res) & 0x80) ? kFlagV : 0) | (r > 0xFF ? kFlagC : 0));
        return res;
    }
    uint8_t sub8(uint8_t x, uint8_t y, unsigned c)
    {
        int r = int(x) - int(y) - int(c);
        uint8_t res = uint8_t(r);
        f() = uint8_t(sz(res) | kFlagN | ((int(x & 0x0F) - int(y & 0x0F) - int(c)) < 0 ? kFlagH : 0) |
                      (((x ^ y) & (x ^ res) & 0x80) ? kFlagV : 0) | (r < 0 ? kFlagC : 0));
        return res;
    }
    // alu a,v : add adc sub sbc and xor or cp
    void alu(int op, uint8_t v)
    {
        switch (op) {
        case 0: a() = add8(a(), v, 0); break;
        case 1: a() = add8(a(), v, carry()); break;
        case 2: a() = sub8(a(), v, 0); break;
        case 3: a() = sub8(a(), v, carry()); break;
        case 4: a() &= v; f() = uint8_t(szp(a()) | kFlagH); break;
        case 5: a() ^= v; f() = szp(a()); break;
        case 6: a() |= v; f() = szp(a()); break;
        default: sub8(a(), v, 0); break;
        }
    }
    uint8_t inc8(uint8_t v)
    {
        uint8_t r = uint8_t(v + 1);
        f() = uint8_t((f() & kFlagC) | sz(r) | ((v & 0x0F) == 0x0F ? kFlagH : 0) |
                      (r == 0x80 ? kFlagV : 0));
        return r;
    }
    uint8_t dec8(uint8_t v)
    {
        uint8_t r = uint8_t(v - 1);
        f() = uint8_t((f() & kFlagC) | sz(r) | kFlagN | ((v & 0x0F) == 0 ? kFlagH : 0) |
                      (r == 0x7F ? kFlagV : 0));
        return r;
    }
    uint16_t add16(uint16_t x, uint16_t y)
    {
        uint32_t r = uint32_t(x) + y;
        f() = uint8_t((f() & (kFlagS | kFlagZ | kFlagP)) |
                      (((x & 0x0FFF) + (y & 0x0FFF)) > 0x0FFF ? kFlagH : 0) |
                      (r > 0xFFFF ? kFlagC : 0));
        return uint16_t(r);
    }
    uint16_t adc16(uint16_t x, uint16_t y, unsigned c)
    {
        uint32_t r = uint32_t(x) + y + c;
        uint16_t res = uint16_t(r);
        f() = uint8_t(((res >> 8) & 0x80) | (res == 0 ? kFlagZ : 0) |
                      (((x & 0x0FFF) + (y & 0x0FFF) + c) > 0x0FFF ? kFlagH : 0) |
                      (((x ^ res) & (y ^ res) & 0x8000) ? kFlagV : 0) | (r > 0xFFFF ? kFlagC : 0));
        return res;
    }
    uint16_t sbc16(uint16_t x, uint16_t y, unsigned c)
    {
        int32_t r = int32_t(x) - int32_t(y) - int32_t(c);
        uint16_t res = uint16_t(r);
        f() = uint8_t(((res >> 8) & 0x80) | (res == 0 ? kFlagZ : 0) | kFlagN |
                      ((int(x & 0x0FFF) - int(y & 0x0FFF) - int(c)) < 0 ? kFlagH : 0) |
                      (((x ^ y) & (x ^ res) & 0x8000) ? kFlagV : 0) | (r < 0 ? kFlagC : 0));
        return res;
    }
    // Shifts and rotates of the 0xCB page: rlc rrc rl rr sla sra (6: sll, undefined) srl.
    uint8_t shift(int op, uint8_t v)
    {
        unsigned c = 0;
        const uint8_t r = shift_rotate(op, v, carry(), c);
        f() = uint8_t(szp(r) | (c ? kFlagC : 0));
        return r;
    }
    // tst: A and the operand, flags as "and", A kept.
    void test(uint8_t v) { f() = uint8_t(szp(uint8_t(a() & v)) | kFlagH); }
    // Flags of the block I/O instructions: B's sign and zero, N set, carry kept.
    void block_io_flags() { f() = uint8_t(sz(s.main[rB]) | kFlagN | (f() & kFlagC)); }
    void repeat_while(bool more)
    {
        again = more;
        cycles = more ? kRepeatCycles : kRepeatLastCycles;
    }

    bool exec_main(uint8_t op);
    bool exec_cb();
    bool exec_ed(uint8_t op);

    CpuState &s;
    Bus &bus;
    int idx = 0; // 0 hl, 1 ix, 2 iy
};

bool Core::step()
{
    uint8_t op = fetch_opcode();
    if (op == 0xCB) {
        cycles = 0;
        return exec_cb();
    }
    if (op == 0xED)
        return exec_ed(fetch_opcode());
    if (op == 0xDD || op == 0xFD) {
        idx = op == 0xDD ? 1 : 2;
        uint8_t next = fetch_opcode();
        if (!kIndexValid[next])
            return false;
        if (next == 0xCB)
            return exec_cb();
        cycles = index_cycles(next);
        return exec_main(next);
    }
    cycles = kMainCycles[op];
    return exec_main(op);
}

// The main page, also under an index prefix (then "hl" is ix/iy and "(hl)" is (ix+d)).
bool Core::exec_main(uint8_t op)
{
    // ld r,r' : 01ddd sss (01110110 is halt)
    if (op >= 0x40 && op < 0x80) {
        if (op == 0x76) { // halt: no interrupt comes, so it stays
            s.pc = uint16_t(s.pc - 1);
            return true;
        }
        int d = (op >> 3) & 7, src = op & 7;
        if (src == 6)
            reg(d) = rd(mem_addr());
        else if (d == 6)
            wr(mem_addr(), reg(src));
        else
            reg(d) = reg(src);
        return true;
    }
    // alu a,r : 10ooo sss
    if (op >= 0x80 && op < 0xC0) {
        int src = op & 7;
        alu((op >> 3) & 7, src == 6 ? rd(mem_addr()) : reg(src));
        return true;
    }
    switch (op) {
    case 0x00: return true;                                        // nop
    case 0x01: case 0x11: case 0x21: case 0x31:                    // ld dd,nn
        set_pair_ss(op >> 4, fetch16());
        return true;
    case 0x02: wr(s.bc(), a()); return true;                       // ld (bc),a
    case 0x12: wr(s.de(), a()); return true;                       // ld (de),a
    case 0x0A: a() = rd(s.bc()); return true;                      // ld a,(bc)
    case 0x1A: a() = rd(s.de()); return true;                      // ld a,(de)
    case 0x22: wr16(fetch16(), hlx()); return true;                // ld (nn),hl
    case 0x2A: set_hlx(rd16(fetch16())); return true;              // ld hl,(nn)
    case 0x32: wr(fetch16(), a()); return true;                    // ld (nn),a
    case 0x3A: a() = rd(fetch16()); return true;                   // ld a,(nn)
    case 0x03: case 0x13: case 0x23: case 0x33:                    // inc dd
        set_pair_ss(op >> 4, uint16_t(pair_ss(op >> 4) + 1));
        return true;
    case 0x0B: case 0x1B: case 0x2B: case 0x3B:                    // dec dd
        set_pair_ss(op >> 4, uint16_t(pair_ss(op >> 4) - 1));
        return true;
    case 0x09: case 0x19: case 0x29: case 0x39:                    // add hl,ss
        set_hlx(add16(hlx(), pair_ss(op >> 4)));
        return true;
    case 0x04: case 0x0C: case 0x14: case 0x1C: case 0x24: case 0x2C: case 0x3C: // inc r
        reg(op >> 3) = inc8(reg(op >> 3));
        return true;
    case 0x05: case 0x0D: case 0x15: case 0x1D: case 0x25: case 0x2D: case 0x3D: // dec r
        reg(op >> 3) = dec8(reg(op >> 3));
        return true;
    case 0x34: { uint16_t ad = mem_addr(); wr(ad, inc8(rd(ad))); return true; } // inc (hl)
    case 0x35: { uint16_t ad = mem_addr(); wr(ad, dec8(rd(ad))); return true; } // dec (hl)
    case 0x06: case 0x0E: case 0x16: case 0x1E: case 0x26: case 0x2E: case 0x3E: // ld r,n
        reg(op >> 3) = fetch();
        return true;
    case 0x36: { uint16_t ad = mem_addr(); wr(ad, fetch()); return true; } // ld (hl),n
    case 0x07: {                                                   // rlca
        uint8_t v = a();
        a() = uint8_t(v << 1 | v >> 7);
        f() = uint8_t((f() & (kFlagS | kFlagZ | kFlagP)) | (v >> 7));
        return true;
    }
    case 0x0F: {                                                   // rrca
        uint8_t v = a();
        a() = uint8_t(v >> 1 | v << 7);
        f() = uint8_t((f() & (kFlagS | kFlagZ | kFlagP)) | (v & 1));
        return true;
    }
    case 0x17: {                                                   // rla
        uint8_t v = a();
        a() = uint8_t(v << 1 | (carry() ? 1 : 0));
        f() = uint8_t((f() & (kFlagS | kFlagZ | kFlagP)) | (v >> 7));
        return true;
    }
    case 0x1F: {                                                   // rra
        uint8_t v = a();
        a() = uint8_t(v >> 1 | (carry() ? 0x80 : 0));
        f() = uint8_t((f() & (kFlagS | kFlagZ | kFlagP)) | (v & 1));
        return true;
    }
    case 0x08:                                                     // ex af,af'
        std::swap(s.main[rA], s.alt[rA]);
        std::swap(s.main[rF], s.alt[rF]);
        return true;
    case 0x10: {                                                   // djnz e
        int8_t e = int8_t(fetch());
        reg(rB) = uint8_t(reg(rB) - 1);
        if (reg(rB) != 0)
            s.pc = uint16_t(s.pc + e);
        else
            cycles = kDjnzLast;
        return true;
    }
    case 0x18: { int8_t e = int8_t(fetch()); s.pc = uint16_t(s.pc + e); return true; } // jr e
    case 0x20: case 0x28: case 0x30: case 0x38: {                  // jr cc,e
        int8_t e = int8_t(fetch());
        if (condition((op >> 3) & 3))
            s.pc = uint16_t(s.pc + e);
        else
            cycles = kNotTakenJr;
        return true;
    }
    case 0x27: {                                                   // daa
        uint8_t v = a(), fl = f(), adjust = 0;
        bool c = fl & kFlagC;
        if ((fl & kFlagH) || (v & 0x0F) > 9)
            adjust |= 0x06;
        if (c || v > 0x99) {
            adjust |= 0x60;
            c = true;
        }
        bool h = (fl & kFlagN) ? (fl & kFlagH) && (v & 0x0F) < 6 : (v & 0x0F) > 9;
        uint8_t r = (fl & kFlagN) ? uint8_t(v - adjust) : uint8_t(v + adjust);
        a() = r;
        f() = uint8_t(szp(r) | (fl & kFlagN) | (h ? kFlagH : 0) | (c ? kFlagC : 0));
        return true;
    }
    case 0x2F: a() = uint8_t(~a()); f() |= kFlagH | kFlagN; return true;    // cpl
    case 0x37: f() = uint8_t((f() & (kFlagS | kFlagZ | kFlagP)) | kFlagC); return true; // scf
    case 0x3F:                                                     // ccf
        f() = uint8_t((f() & (kFlagS | kFlagZ | kFlagP)) | (carry() ? kFlagH : kFlagC));
        return true;
    case 0xC0: case 0xC8: case 0xD0: case 0xD8: case 0xE0: case 0xE8: case 0xF0: case 0xF8:
        if (condition((op >> 3) & 7))                              // ret cc
            s.pc = pop16();
        else
            cycles = kNotTakenRet;
        return true;
    case 0xC9: s.pc = pop16(); return true;                        // ret
    case 0xC1: case 0xD1: case 0xE1: {                             // pop qq
        uint16_t v = pop16();
        set_pair_ss(op >> 4 & 3, v);
        return true;
    }
    case 0xF1: s.set_af(pop16()); return true;                     // pop af
    case 0xC5: case 0xD5: case 0xE5: push16(pair_ss(op >> 4 & 3)); return true; // push qq
    case 0xF5: push16(s.af()); return true;                        // push af
    case 0xC2: case 0xCA: case 0xD2: case 0xDA: case 0xE2: case 0xEA: case 0xF2: case 0xFA: {
        uint16_t nn = fetch16();                                   // jp cc,nn
        if (condition((op >> 3) & 7))
            s.pc = nn;
        else
            cycles = kNotTakenJp;
        return true;
    }
    case 0xC3: s.pc = fetch16(); return true;                      // jp nn
    case 0xC4: case 0xCC: case 0xD4: case 0xDC: case 0xE4: case 0xEC: case 0xF4: case 0xFC: {
        uint16_t nn = fetch16();                                   // call cc,nn
        if (condition((op >> 3) & 7)) {
            push16(s.pc);
            s.pc = nn;
        } else {
            cycles = kNotTakenCall;
        }
        return true;
    }
    case 0xCD: {                                                   // call nn
        uint16_t nn = fetch16();
        push16(s.pc);
        s.pc = nn;
        return true;
    }
    case 0xC6: case 0xCE: case 0xD6: case 0xDE: case 0xE6: case 0xEE: case 0xF6: case 0xFE:
        alu((op >> 3) & 7, fetch());                               // alu a,n
        return true;
    case 0xC7: case 0xCF: case 0xD7: case 0xDF: case 0xE7: case 0xEF: case 0xF7: case 0xFF:
        push16(s.pc);                                              // rst p
        s.pc = uint16_t(op & 0x38);
        return true;
    case 0xD3: {                                                   // out (n),a
        uint8_t n = fetch();
        out(uint16_t(a() << 8 | n), a());
        return true;
    }
    case 0xDB: {                                                   // in a,(n)
        uint8_t n = fetch();
        a() = in(uint16_t(a() << 8 | n));
        return true;
    }
    case 0xD9:                                                     // exx
        for (int r = rB; r <= rL; ++r)
            std::swap(s.main[r], s.alt[r]);
        return true;
    case 0xE3: {                                                   // ex (sp),hl
        uint16_t v = rd16(s.sp);
        wr16(s.sp, hlx());
        set_hlx(v);
        return true;
    }
    case 0xEB: {                                                   // ex de,hl
        uint16_t de = s.de();
        s.set_de(s.hl());
        s.set_hl(de);
        return true;
    }
    case 0xE9: s.pc = hlx(); return true;                          // jp (hl)
    case 0xF9: s.sp = hlx(); return true;                          // ld sp,hl
    case 0xF3: s.iff1 = s.iff2 = false; return true;               // di
    case 0xFB: s.iff1 = s.iff2 = true; return true;                // ei
    default: return false;
    }
}

// The 0xCB page: [0xDD/0xFD d] 0xCB op.
//   00ooo rrr shifts (o = 6, sll, not defined)   01bbb rrr bit   10bbb rrr res   11bbb rrr set
bool Core::exec_cb()
{
    uint16_t addr = 0;
    if (idx != 0)
        addr = uint16_t(hlx() + int8_t(fetch()));
    uint8_t op = idx != 0 ? fetch() : fetch_opcode();
    int r = op & 7, group = op >> 6, n = (op >> 3) & 7;
    if (group == 0 && n == 6)
        return false;
    if (idx != 0 && r != 6)
        return false;
    if (idx == 0 && r == 6)
        addr = s.hl();
    if (idx != 0)
        cycles = group == 1 ? 15 : 19;
    else if (r == 6)
        cycles = group == 1 ? 9 : 13;
    else
        cycles = group == 1 ? 6 : 7;
    uint8_t v = r == 6 ? rd(addr) : reg(r);
    uint8_t result = 0;
    switch (group) {
    case 0: result = shift(n, v); break;
    case 1: {
        // S is not defined by bit and stays; P/V follows Z.
        bool zero = !((v >> n) & 1);
        f() = uint8_t((f() & (kFlagS | kFlagC)) | kFlagH | (zero ? kFlagZ | kFlagP : 0));
        return true;
    }
    case 2: result = uint8_t(v & ~(1u << n)); break;
    default: result = uint8_t(v | (1u << n)); break;
    }
    if (r == 6)
        wr(addr, result);
    else
        reg(r) = result;
    return true;
}

// The 0xED page.
bool Core::exec_ed(uint8_t op)
{
    cycles = ed_cycles(op);
    const int r = (op >> 3) & 7;
    if (op < 0x40) {
        switch (op & 7) {
        case 0: {                                                  // in0 r,(n)
            if (r == 6)
                return false;
            uint8_t v = in(fetch());
            reg(r) = v;
            f() = uint8_t(szp(v) | (f() & kFlagC));
            return true;
        }
        case 1:                                                    // out0 (n),r
            if (r == 6)
                return false;
            out(fetch(), reg(r));
            return true;
        case 4:                                                    // tst r ; tst (hl)
            test(r == 6 ? rd(s.hl()) : reg(r));
            return true;
        default: return false;
        }
    }
    if (op < 0x80) {
        switch (op & 0x0F) {
        case 0x0C: {                                               // mlt ss
            int p = (op >> 4) & 3;
            uint16_t v = pair_ss(p);
            set_pair_ss(p, uint16_t((v >> 8) * (v & 0xFF)));
            return true;
        }
        case 0x02: s.set_hl(sbc16(s.hl(), pair_ss((op >> 4) & 3), carry())); return true;
        case 0x0A: s.set_hl(adc16(s.hl(), pair_ss((op >> 4) & 3), carry())); return true;
        case 0x03: wr16(fetch16(), pair_ss((op >> 4) & 3)); return true;   // ld (nn),dd
        case 0x0B: set_pair_ss((op >> 4) & 3, rd16(fetch16())); return true; // ld dd,(nn)
        default: break;
        }
        switch (op & 7) {
        case 0: {                                                  // in r,(c)
            if (r == 6)
                return false;
            uint8_t v = in(s.bc());
            reg(r) = v;
            f() = uint8_t(szp(v) | (f() & kFlagC));
            return true;
        }
        case 1:                                                    // out (c),r
            if (r == 6)
                return false;
            out(s.bc(), reg(r));
            return true;
        default: break;
        }
        switch (op) {
        case 0x44: a() = sub8(0, a(), 0); return true;             // neg
        case 0x45: s.iff1 = s.iff2; s.pc = pop16(); return true;   // retn
        case 0x4D: s.pc = pop16(); return true;                    // reti
        case 0x46: s.im = 0; return true;                          // im 0
        case 0x56: s.im = 1; return true;                          // im 1
        case 0x5E: s.im = 2; return true;                          // im 2
        case 0x47: s.i = a(); return true;                         // ld i,a
        case 0x4F: s.r = a(); return true;                         // ld r,a
        case 0x57: case 0x5F:                                      // ld a,i ; ld a,r
            a() = op == 0x57 ? s.i : s.r;
            f() = uint8_t(sz(a()) | (s.iff2 ? kFlagP : 0) | (f() & kFlagC));
            return true;
        case 0x67: {                                               // rrd
            uint8_t m = rd(s.hl());
            wr(s.hl(), uint8_t(a() << 4 | m >> 4));
            a() = uint8_t((a() & 0xF0) | (m & 0x0F));
            f() = uint8_t(szp(a()) | (f() & kFlagC));
            return true;
        }
        case 0x6F: {                                               // rld
            uint8_t m = rd(s.hl());
            wr(s.hl(), uint8_t(m << 4 | (a() & 0x0F)));
            a() = uint8_t((a() & 0xF0) | m >> 4);
            f() = uint8_t(szp(a()) | (f() & kFlagC));
            return true;
        }
        case 0x64: test(fetch()); return true;                     // tst n
        case 0x74: {                                               // tstio n: (00:C) and n
            const uint8_t n = fetch();
            f() = uint8_t(szp(uint8_t(in(s.main[rC]) & n)) | kFlagH);
            return true;
        }
        case 0x76: s.pc = uint16_t(s.pc - 2); return true;         // slp: sleeps on
        default: return false;
        }
    }
    // Block group: bits 0-1 ld/cp/in/out, bit 3 decrement, bit 4 repeat. Plus otim/otdm(r).
    switch (op) {
    case 0x83: case 0x8B: case 0x93: case 0x9B: {                  // otim otdm otimr otdmr
        out(s.main[rC], rd(s.hl()));
        int step = (op & 0x08) ? -1 : 1;
        s.set_hl(uint16_t(s.hl() + step));
        s.main[rC] = uint8_t(s.main[rC] + step);
        s.main[rB] = uint8_t(s.main[rB] - 1);
        block_io_flags();
        if (op & 0x10) {
            again = s.main[rB] != 0;
            cycles = again ? 16 : 14;
        }
        return true;
    }
    default: break;
    }
    if (op < 0xA0 || (op & 0x07) > 3 || (op & 0x20) == 0 || op > 0xBB || (op & 0x04))
        return false;
    const int step = (op & 0x08) ? -1 : 1;
    const bool repeat = op & 0x10;
    switch (op & 3) {
    case 0: {                                                      // ldi ldd ldir lddr
        wr(s.de(), rd(s.hl()));
        s.set_hl(uint16_t(s.hl() + step));
        s.set_de(uint16_t(s.de() + step));
        s.set_bc(uint16_t(s.bc() - 1));
        f() = uint8_t((f() & (kFlagS | kFlagZ | kFlagC)) | (s.bc() != 0 ? kFlagP : 0));
        if (repeat)
            repeat_while(s.bc() != 0);
        return true;
    }
    case 1: {                                                      // cpi cpd cpir cpdr
        uint8_t m = rd(s.hl());
        uint8_t res = uint8_t(a() - m);
        s.set_hl(uint16_t(s.hl() + step));
        s.set_bc(uint16_t(s.bc() - 1));
        f() = uint8_t(sz(res) | kFlagN | ((a() & 0x0F) < (m & 0x0F) ? kFlagH : 0) |
                      (s.bc() != 0 ? kFlagP : 0) | (f() & kFlagC));
        if (repeat)
            repeat_while(s.bc() != 0 && res != 0);
        return true;
    }
    case 2: {                                                      // ini ind inir indr
        wr(s.hl(), in(s.bc()));
        s.main[rB] = uint8_t(s.main[rB] - 1);
        s.set_hl(uint16_t(s.hl() + step));
        block_io_flags();
        if (repeat)
            repeat_while(s.main[rB] != 0);
        return true;
    }
    default: {                                                     // outi outd otir otdr
        uint8_t v = rd(s.hl());
        s.main[rB] = uint8_t(s.main[rB] - 1);
        out(s.bc(), v);
        s.set_hl(uint16_t(s.hl() + step));
        block_io_flags();
        if (repeat)
            repeat_while(s.main[rB] != 0);
        return true;
    }
    }
}

} // namespace

uint32_t z180_physical(const CpuState &s, uint16_t logical)
{
    const uint8_t cbar = s.z180_io[kZ180PortCbar];
    const unsigned page = logical >> 12;
    if (page >= unsigned(cbar >> 4))
        return (logical + (uint32_t(s.z180_io[kZ180PortCbr]) << 12)) & 0xFFFFF;
    if (page >= unsigned(cbar & 0x0F))
        return (logical + (uint32_t(s.z180_io[kZ180PortBbr]) << 12)) & 0xFFFFF;
    return logical;
}

void z180_reset(CpuState &s)
{
    s.z180_io.fill(0);
    s.z180_io[kZ180PortCbar] = kZ180ResetCbar;
    s.i = s.r = s.im = 0;
    s.iff1 = s.iff2 = false;
}

bool z180_execute(CpuState &s, Bus &bus, uint32_t &cycles, bool &again)
{
    Core core(s, bus);
    const CpuState before = s;
    if (!core.step()) {
        s = before; // nothing an undefined opcode did may stay (R, fetched operands)
        return false;
    }
    cycles = core.cycles;
    again = core.again;
    return true;
}

} // namespace vsim
