// SimCpu: the Vireon 2000/3000 CPU core (see SimCpu.h).
// One `Core` object lives for one instruction: it collects the prefixes (altd, ioi, ioe,
// then an index prefix 0xDD/0xFD), decodes the opcode and executes it.
//   - altd sends the destination register (and the flags) of the instruction to the
//     alternate set; sources are always the main registers.
//   - ioi/ioe turn the data memory accesses of the instruction into internal/external I/O
//     accesses at the same 16-bit address (fetches and stack accesses stay memory).
//   - An opcode that is not defined is found before anything is changed, so the core only
//     has to put PC back on it.
// Cycle counts come from SimCycles, the figures the debug windows show.
#include "SimCpu.h"

#include "SimCycles.h"
#include "SimZ180.h"

#include <utility>

namespace vsim {

namespace {

// Opcodes that exist after 0xDD/0xFD (the index forms of the main page and the index page).
constexpr std::array<bool, 256> make_index_valid()
{
    std::array<bool, 256> v{};
    const uint8_t ops[] = {0x09, 0x19, 0x29, 0x39, 0x21, 0x22, 0x23, 0x2A, 0x2B, 0x34, 0x35,
                           0x36, 0x46, 0x4E, 0x56, 0x5E, 0x66, 0x6E, 0x7E, 0x70, 0x71, 0x72,
                           0x73, 0x74, 0x75, 0x77, 0x86, 0x8E, 0x96, 0x9E, 0xA6, 0xAE, 0xB6,
                           0xBE, 0xCB, 0xE1, 0xE3, 0xE5, 0xE9, 0xF9, 0xC4, 0xD4, 0xCC, 0xDC,
                           0xEC, 0xFC, 0xE4, 0xF4, 0x64, 0x65, 0x6C, 0x6D, 0x7C, 0x7D};
    for (uint8_t op : ops)
        v[op] = true;
    return v;
}
constexpr std::array<bool, 256> kIndexValid = make_index_valid();

// Flags of a logical result: sign, zero, L set when any of the four top bits is set, C clear.
inline uint8_t logic8(uint8_t r)
{
    return uint8_t((r & 0x80) | (r == 0 ? kFlagZ : 0) | ((r & 0xF0) ? kFlagV : 0));
}
inline uint8_t logic16(uint16_t r)
{
    return uint8_t(((r >> 8) & 0x80) | (r == 0 ? kFlagZ : 0) | ((r & 0xF000) ? kFlagV : 0));
}

class Core {
public:
    Core(CpuState &s, Bus &bus, bool continuing)
        : s(s), bus(bus), dst(s.main.data()), continuing(continuing)
    {
    }

    // Executes one instruction (one iteration of a repeating one); false when its opcode is
    // not defined.
    bool step(uint32_t &cycles);
    // Set by an iteration after which BC is not 0 yet: the instruction runs again.
    bool again = false;

private:
    // --- memory ---
    uint8_t fetch() { return bus.read(s.pc++, s.xpc); }
    uint16_t fetch16()
    {
        uint8_t lo = fetch();
        return uint16_t(lo | fetch() << 8);
    }
    uint8_t rd(uint16_t a)
    {
        return io ? bus.io_read(io_space, a) : bus.read(a, s.xpc);
    }
    void wr(uint16_t a, uint8_t v)
    {
        if (io)
            bus.io_write(io_space, a, v);
        else
            bus.write(a, s.xpc, v);
    }
    uint16_t rd16(uint16_t a) { return uint16_t(rd(a) | rd(uint16_t(a + 1)) << 8); }
    void wr16(uint16_t a, uint16_t v)
    {
        wr(a, uint8_t(v));
        wr(uint16_t(a + 1), uint8_t(v >> 8));
    }
    // The stack is always memory.
    void push8(uint8_t v) { bus.write(--s.sp, s.xpc, v); }
    uint8_t pop8() { return bus.read(s.sp++, s.xpc); }
    void push16(uint16_t v)
    {
        push8(uint8_t(v >> 8));
        push8(uint8_t(v));
    }
    uint16_t pop16()
    {
        uint8_t lo = pop8();
        return uint16_t(lo | pop8() << 8);
    }

    // --- registers ---
    uint8_t r8(int r) const { return s.main[r]; }
    void set8(int r, uint8_t v) { dst[r] = v; }
    uint8_t flags() const { return s.main[rF]; }
    uint8_t dflags() const { return dst[rF]; }
    void set_flags(uint8_t f) { dst[rF] = f; }
    bool carry() const { return s.main[rF] & kFlagC; }
    // "hl" of the instruction: HL, or IX/IY under an index prefix.
    uint16_t hlx() const { return idx == 0 ? s.hl() : idx == 1 ? s.ix : s.iy; }
    void set_hlx(uint16_t v)
    {
        if (idx == 0)
            set_dpair(rH, v);
        else if (idx == 1)
            s.ix = v;
        else
            s.iy = v;
    }
    void set_dpair(int hi, uint16_t v)
    {
        dst[hi] = uint8_t(v >> 8);
        dst[hi + 1] = uint8_t(v);
    }
    // Register pair by the 2-bit field: bc de hl(x) sp.
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
        case 0: set_dpair(rB, v); break;
        case 1: set_dpair(rD, v); break;
        case 2: set_hlx(v); break;
        default: s.sp = v; break;
        }
    }
    // Address of the "(hl)" operand: HL, or IX/IY plus the displacement byte.
    uint16_t mem_addr()
    {
        if (idx == 0)
            return s.hl();
        return uint16_t(hlx() + int8_t(fetch()));
    }
    bool condition(int cc) const
    {
        uint8_t f = flags();
        switch (cc) {
        case 0: return !(f & kFlagZ);
        case 1: return f & kFlagZ;
        case 2: return !(f & kFlagC);
        case 3: return f & kFlagC;
        case 4: return !(f & kFlagV); // lz
        case 5: return f & kFlagV;    // lo
        case 6: return !(f & kFlagS); // p
        default: return f & kFlagS;   // m
        }
    }

    // --- arithmetic ---
    uint8_t add8(uint8_t a, uint8_t b, unsigned c)
    {
        unsigned r = a + b + c;
        uint8_t res = uint8_t(r);
        uint8_t f = uint8_t((res & 0x80) | (res == 0 ? kFlagZ : 0) |
                            (((a ^ res) & (b ^ res) & 0x80) ? kFlagV : 0) | (r > 0xFF ? kFlagC : 0));
        set_flags(f);
        return res;
    }
    uint8_t sub8(uint8_t a, uint8_t b, unsigned c)
    {
        int r = int(a) - int(b) - int(c);
        uint8_t res = uint8_t(r);
        uint8_t f = uint8_t((res & 0x80) | (res == 0 ? kFlagZ : 0) |
                            (((a ^ b) & (a ^ res) & 0x80) ? kFlagV : 0) | (r < 0 ? kFlagC : 0));
        set_flags(f);
        return res;
    }
    // alu a,v : add adc sub sbc and xor or cp
    void alu(int op, uint8_t v)
    {
        uint8_t a = r8(rA);
        switch (op) {
        case 0: set8(rA, add8(a, v, 0)); break;
        case 1: set8(rA, add8(a, v, carry())); break;
        case 2: set8(rA, sub8(a, v, 0)); break;
        case 3: set8(rA, sub8(a, v, carry())); break;
        case 4: set8(rA, a & v); set_flags(logic8(a & v)); break;
        case 5: set8(rA, a ^ v); set_flags(logic8(a ^ v)); break;
        case 6: set8(rA, a | v); set_flags(logic8(a | v)); break;
        default: sub8(a, v, 0); break;
        }
    }
    uint8_t inc8(uint8_t v)
    {
        uint8_t r = uint8_t(v + 1);
        set_flags(uint8_t((dflags() & kFlagC) | (r & 0x80) | (r == 0 ? kFlagZ : 0) |
                          (r == 0x80 ? kFlagV : 0)));
        return r;
    }
    uint8_t dec8(uint8_t v)
    {
        uint8_t r = uint8_t(v - 1);
        set_flags(uint8_t((dflags() & kFlagC) | (r & 0x80) | (r == 0 ? kFlagZ : 0) |
                          (r == 0x7F ? kFlagV : 0)));
        return r;
    }
    uint16_t adc16(uint16_t a, uint16_t b, unsigned c)
    {
        uint32_t r = uint32_t(a) + b + c;
        uint16_t res = uint16_t(r);
        set_flags(uint8_t(((res >> 8) & 0x80) | (res == 0 ? kFlagZ : 0) |
                          (((a ^ res) & (b ^ res) & 0x8000) ? kFlagV : 0) |
                          (r > 0xFFFF ? kFlagC : 0)));
        return res;
    }
    uint16_t sbc16(uint16_t a, uint16_t b, unsigned c)
    {
        int32_t r = int32_t(a) - int32_t(b) - int32_t(c);
        uint16_t res = uint16_t(r);
        set_flags(uint8_t(((res >> 8) & 0x80) | (res == 0 ? kFlagZ : 0) |
                          (((a ^ b) & (a ^ res) & 0x8000) ? kFlagV : 0) | (r < 0 ? kFlagC : 0)));
        return res;
    }
    // Shifts and rotates of the 0xCB page: rlc rrc rl rr sla sra (none) srl.
    uint8_t shift(int op, uint8_t v)
    {
        unsigned c = 0;
        const uint8_t r = shift_rotate(op, v, carry(), c);
        set_flags(uint8_t(logic8(r) | (c ? kFlagC : 0)));
        return r;
    }
    // 16-bit rotates through carry: rl de, rr de/hl/ix/iy.
    uint16_t rl16(uint16_t v)
    {
        uint16_t r = uint16_t(v << 1 | (carry() ? 1 : 0));
        set_flags(uint8_t(logic16(r) | ((v & 0x8000) ? kFlagC : 0)));
        return r;
    }
    uint16_t rr16(uint16_t v)
    {
        uint16_t r = uint16_t(v >> 1 | (carry() ? 0x8000 : 0));
        set_flags(uint8_t(logic16(r) | ((v & 1) ? kFlagC : 0)));
        return r;
    }

    // --- pages ---
    bool exec_main(uint8_t op, uint32_t &cycles);
    bool exec_cb(uint32_t &cycles);
    bool exec_ed(uint8_t op, uint32_t &cycles);
    uint32_t block_cycles(uint32_t per_byte) const;
    void block_move(uint8_t op, uint32_t &cycles);
    void multiply_accumulate(bool subtract);

    CpuState &s;
    Bus &bus;
    uint8_t *dst;          // destination register file: main, or alternate under altd
    bool io = false;       // ioi/ioe in force
    IoSpace io_space = IoSpace::internal;
    uint8_t io_prefix = 0; // the prefix byte (0xD3 or 0xDB), 0 without one
    int idx = 0;           // 0 hl, 1 ix, 2 iy
    uint32_t extra = 0;    // prefix cycles
    bool continuing;       // a later iteration of the repeating instruction at this address
};

bool Core::step(uint32_t &cycles)
{
    const CycleTables &t = cycle_tables();
    uint8_t op = fetch();
    for (;;) {
        if (op == 0x76) {
            dst = s.alt.data();
            extra += 2;
        } else if (op == 0xD3 || op == 0xDB) {
            io = true;
            io_prefix = op;
            io_space = op == 0xD3 ? IoSpace::internal : IoSpace::external;
            if (op == 0xD3) {
                uint32_t next4 = 0;
                for (int i = 0; i < 4; ++i)
                    next4 = next4 << 8 | bus.read(uint16_t(s.pc + i), s.xpc);
                extra += ioi_extra_cycles(next4);
            } else {
                extra += 2;
            }
        } else {
            break;
        }
        op = fetch();
    }
    switch (op) {
    case 0xCB:
        return exec_cb(cycles);
    case 0xED:
        return exec_ed(fetch(), cycles);
    case 0xDD:
    case 0xFD: {
        idx = op == 0xDD ? 1 : 2;
        uint8_t next = fetch();
        if (!kIndexValid[next])
            return false;
        if (next == 0xCB)
            return exec_cb(cycles);
        cycles = t.dd[next] + extra;
        return exec_main(next, cycles);
    }
    default:
        cycles = t.main[op] + extra;
        return exec_main(op, cycles);
    }
}

// The main page, also under an index prefix (then "hl" is ix/iy and "(hl)" is (ix+d)).
bool Core::exec_main(uint8_t op, uint32_t &cycles)
{
    // ld r,r' : 01ddd sss
    if (op >= 0x40 && op < 0x80) {
        if (idx != 0) {
            switch (op) {
            case 0x64: { // ldp (ix),hl
                uint32_t p = uint32_t(s.main[rA] & 0x0F) << 16;
                uint16_t a = hlx();
                bus.write_physical(p | a, s.main[rL]);
                bus.write_physical(p | uint16_t(a + 1), s.main[rH]);
                return true;
            }
            case 0x6C: { // ldp hl,(ix)
                uint32_t p = uint32_t(s.main[rA] & 0x0F) << 16;
                uint16_t a = hlx();
                uint8_t lo = bus.read_physical(p | a);
                set_dpair(rH, uint16_t(lo | bus.read_physical(p | uint16_t(a + 1)) << 8));
                return true;
            }
            case 0x65: { // ldp (mn),ix
                uint32_t p = uint32_t(s.main[rA] & 0x0F) << 16;
                uint16_t a = fetch16();
                uint16_t v = hlx();
                bus.write_physical(p | a, uint8_t(v));
                bus.write_physical(p | uint16_t(a + 1), uint8_t(v >> 8));
                return true;
            }
            case 0x6D: { // ldp ix,(mn)
                uint32_t p = uint32_t(s.main[rA] & 0x0F) << 16;
                uint16_t a = fetch16();
                uint8_t lo = bus.read_physical(p | a);
                set_hlx(uint16_t(lo | bus.read_physical(p | uint16_t(a + 1)) << 8));
                return true;
            }
            case 0x7C: set_dpair(rH, hlx()); return true; // ld hl,ix
            case 0x7D: set_hlx(s.hl()); return true;      // ld ix,hl
            default: break;
            }
        }
        int d = (op >> 3) & 7, src = op & 7;
        if (src == 6)
            set8(d, rd(mem_addr()));
        else if (d == 6)
            wr(mem_addr(), r8(src));
        else
            set8(d, r8(src));
        return true;
    }
    // alu a,r : 10ooo sss
    if (op >= 0x80 && op < 0xC0) {
        int src = op & 7;
        alu((op >> 3) & 7, src == 6 ? rd(mem_addr()) : r8(src));
        return true;
    }
    switch (op) {
    case 0x00: return true;                                        // nop
    case 0x01: case 0x11: case 0x21: case 0x31:                    // ld dd,mn
        set_pair_ss(op >> 4, fetch16());
        return true;
    case 0x02: wr(s.bc(), r8(rA)); return true;                    // ld (bc),a
    case 0x12: wr(s.de(), r8(rA)); return true;                    // ld (de),a
    case 0x0A: set8(rA, rd(s.bc())); return true;                  // ld a,(bc)
    case 0x1A: set8(rA, rd(s.de())); return true;                  // ld a,(de)
    case 0x03: case 0x13: case 0x23: case 0x33:                    // inc dd
        set_pair_ss(op >> 4, uint16_t(pair_ss(op >> 4) + 1));
        return true;
    case 0x0B: case 0x1B: case 0x2B: case 0x3B:                    // dec dd
        set_pair_ss(op >> 4, uint16_t(pair_ss(op >> 4) - 1));
        return true;
    case 0x04: case 0x0C: case 0x14: case 0x1C: case 0x24: case 0x2C: case 0x3C: // inc r
        set8(op >> 3, inc8(r8(op >> 3)));
        return true;
    case 0x05: case 0x0D: case 0x15: case 0x1D: case 0x25: case 0x2D: case 0x3D: // dec r
        set8(op >> 3, dec8(r8(op >> 3)));
        return true;
    case 0x34: { uint16_t a = mem_addr(); wr(a, inc8(rd(a))); return true; } // inc (hl)
    case 0x35: { uint16_t a = mem_addr(); wr(a, dec8(rd(a))); return true; } // dec (hl)
    case 0x06: case 0x0E: case 0x16: case 0x1E: case 0x26: case 0x2E: case 0x3E: // ld r,n
        set8(op >> 3, fetch());
        return true;
    case 0x36: { uint16_t a = mem_addr(); wr(a, fetch()); return true; } // ld (hl),n
    case 0x07: {                                                   // rlca
        uint8_t a = r8(rA);
        set8(rA, uint8_t(a << 1 | a >> 7));
        set_flags(uint8_t((dflags() & ~kFlagC) | (a >> 7)));
        return true;
    }
    case 0x0F: {                                                   // rrca
        uint8_t a = r8(rA);
        set8(rA, uint8_t(a >> 1 | a << 7));
        set_flags(uint8_t((dflags() & ~kFlagC) | (a & 1)));
        return true;
    }
    case 0x17: {                                                   // rla
        uint8_t a = r8(rA);
        set8(rA, uint8_t(a << 1 | (carry() ? 1 : 0)));
        set_flags(uint8_t((dflags() & ~kFlagC) | (a >> 7)));
        return true;
    }
    case 0x1F: {                                                   // rra
        uint8_t a = r8(rA);
        set8(rA, uint8_t(a >> 1 | (carry() ? 0x80 : 0)));
        set_flags(uint8_t((dflags() & ~kFlagC) | (a & 1)));
        return true;
    }
    case 0x08: {                                                   // ex af,af'
        std::swap(s.main[rA], s.alt[rA]);
        std::swap(s.main[rF], s.alt[rF]);
        return true;
    }
    case 0x09: case 0x19: case 0x29: case 0x39: {                  // add hl,ss
        uint32_t r = uint32_t(hlx()) + pair_ss(op >> 4);
        set_hlx(uint16_t(r));
        set_flags(uint8_t((dflags() & ~kFlagC) | (r > 0xFFFF ? kFlagC : 0)));
        return true;
    }
    case 0x10: {                                                   // djnz e
        // Under altd the count goes to B' (B' = B - 1), and the jump tests that new count.
        int8_t e = int8_t(fetch());
        uint8_t b = uint8_t(r8(rB) - 1);
        set8(rB, b);
        if (b != 0)
            s.pc = uint16_t(s.pc + e);
        return true;
    }
    case 0x18: { int8_t e = int8_t(fetch()); s.pc = uint16_t(s.pc + e); return true; } // jr
    case 0x20: case 0x28: case 0x30: case 0x38: {                  // jr cc,e
        int8_t e = int8_t(fetch());
        if (condition((op >> 3) & 3))
            s.pc = uint16_t(s.pc + e);
        return true;
    }
    case 0x22: wr16(fetch16(), hlx()); return true;                // ld (mn),hl
    case 0x2A: set_hlx(rd16(fetch16())); return true;              // ld hl,(mn)
    case 0x32: wr(fetch16(), r8(rA)); return true;                 // ld (mn),a
    case 0x3A: set8(rA, rd(fetch16())); return true;               // ld a,(mn)
    case 0x27: {                                                   // add sp,d
        uint16_t d = uint16_t(int16_t(int8_t(fetch())));
        uint32_t r = uint32_t(s.sp) + d;
        s.sp = uint16_t(r);
        set_flags(uint8_t((dflags() & ~kFlagC) | (r > 0xFFFF ? kFlagC : 0)));
        return true;
    }
    case 0x2F: set8(rA, uint8_t(~r8(rA))); return true;            // cpl
    case 0x37: set_flags(uint8_t(dflags() | kFlagC)); return true; // scf
    case 0x3F:                                                     // ccf
        set_flags(uint8_t((dflags() & ~kFlagC) | (carry() ? 0 : kFlagC)));
        return true;
    case 0xC0: case 0xC8: case 0xD0: case 0xD8: case 0xE0: case 0xE8: case 0xF0: case 0xF8:
        if (condition((op >> 3) & 7)) {                            // ret cc
            s.pc = pop16();
            cycles = 8 + extra;
        } else {
            cycles = 2 + extra;
        }
        return true;
    case 0xC1: case 0xD1: case 0xE1: {                             // pop bc/de/hl
        uint16_t v = pop16();
        set_pair_ss(op == 0xC1 ? 0 : op == 0xD1 ? 1 : 2, v);
        return true;
    }
    case 0xF1: {                                                   // pop af
        uint16_t v = pop16();
        dst[rA] = uint8_t(v >> 8);
        dst[rF] = uint8_t(v);
        return true;
    }
    case 0xC5: push16(s.bc()); return true;                        // push
    case 0xD5: push16(s.de()); return true;
    case 0xE5: push16(hlx()); return true;
    case 0xF5: push16(s.af()); return true;
    case 0xC2: case 0xCA: case 0xD2: case 0xDA: case 0xE2: case 0xEA: case 0xF2: case 0xFA: {
        uint16_t mn = fetch16();                                   // jp cc,mn
        if (condition((op >> 3) & 7))
            s.pc = mn;
        return true;
    }
    case 0xC3: s.pc = fetch16(); return true;                      // jp mn
    case 0xC4: set_hlx(rd16(uint16_t(s.sp + fetch()))); return true; // ld hl,(sp+n)
    case 0xD4: wr16(uint16_t(s.sp + fetch()), hlx()); return true; // ld (sp+n),hl
    case 0xE4: {                                                   // ld hl,(ix+d)
        int8_t d = int8_t(fetch());
        uint16_t base = idx == 0 ? s.ix : idx == 1 ? s.hl() : s.iy;
        set_dpair(rH, rd16(uint16_t(base + d)));
        return true;
    }
    case 0xF4: {                                                   // ld (ix+d),hl
        int8_t d = int8_t(fetch());
        uint16_t base = idx == 0 ? s.ix : idx == 1 ? s.hl() : s.iy;
        wr16(uint16_t(base + d), s.hl());
        return true;
    }
    case 0xC6: case 0xCE: case 0xD6: case 0xDE: case 0xE6: case 0xEE: case 0xF6: case 0xFE:
        alu((op >> 3) & 7, fetch());                               // alu a,n
        return true;
    case 0xC7: {                                                   // ljp xpc,mn
        uint16_t mn = fetch16();
        s.xpc = fetch();
        s.pc = mn;
        return true;
    }
    case 0xCF: {                                                   // lcall xpc,mn
        uint16_t mn = fetch16();
        uint8_t page = fetch();
        push8(s.xpc);
        push16(s.pc);
        s.xpc = page;
        s.pc = mn;
        return true;
    }
    case 0xC9: s.pc = pop16(); return true;                        // ret
    case 0xCD: {                                                   // call mn
        uint16_t mn = fetch16();
        push16(s.pc);
        s.pc = mn;
        return true;
    }
    case 0xCC: {                                                   // bool hl
        uint16_t r = hlx() != 0 ? 1 : 0;
        set_hlx(r);
        set_flags(r == 0 ? kFlagZ : 0);
        return true;
    }
    case 0xDC: {                                                   // and hl,de
        uint16_t r = uint16_t(hlx() & s.de());
        set_hlx(r);
        set_flags(logic16(r));
        return true;
    }
    case 0xEC: {                                                   // or hl,de
        uint16_t r = uint16_t(hlx() | s.de());
        set_hlx(r);
        set_flags(logic16(r));
        return true;
    }
    case 0xFC: set_hlx(rr16(hlx())); return true;                  // rr hl
    case 0xF3: set_dpair(rD, rl16(s.de())); return true;           // rl de
    case 0xFB: set_dpair(rD, rr16(s.de())); return true;           // rr de
    case 0xD7: case 0xDF: case 0xE7: case 0xEF: case 0xFF:         // rst v
        push16(s.pc);
        s.pc = uint16_t(s.iir << 8 | (op & 0x38) << 1);
        return true;
    case 0xD9:                                                     // exx
        for (int r = rB; r <= rL; ++r)
            std::swap(s.main[r], s.alt[r]);
        return true;
    case 0xE3: {
        if (idx != 0) {                                            // ex (sp),ix
            uint16_t v = uint16_t(bus.read(s.sp, s.xpc) | bus.read(uint16_t(s.sp + 1), s.xpc) << 8);
            uint16_t x = hlx();
            bus.write(s.sp, s.xpc, uint8_t(x));
            bus.write(uint16_t(s.sp + 1), s.xpc, uint8_t(x >> 8));
            set_hlx(v);
            return true;
        }
        // ex de',hl ; under altd ex de',hl'
        uint16_t de2 = s.de2();
        uint16_t h = dst == s.main.data() ? s.hl() : s.hl2();
        s.alt[rD] = uint8_t(h >> 8);
        s.alt[rE] = uint8_t(h);
        set_dpair(rH, de2);
        return true;
    }
    case 0xEB: {                                                   // ex de,hl ; altd: ex de,hl'
        uint16_t de = s.de();
        uint16_t h = dst == s.main.data() ? s.hl() : s.hl2();
        s.set_de(h);
        set_dpair(rH, de);
        return true;
    }
    case 0xE9: s.pc = hlx(); return true;                          // jp (hl)
    case 0xF7: {                                                   // mul: hl:bc = bc * de
        int32_t r = int32_t(int16_t(s.bc())) * int32_t(int16_t(s.de()));
        set_dpair(rH, uint16_t(uint32_t(r) >> 16));
        set_dpair(rB, uint16_t(r));
        return true;
    }
    case 0xF9: s.sp = hlx(); return true;                          // ld sp,hl
    case 0x76: case 0xD3: case 0xDB: case 0xCB: case 0xDD: case 0xED: case 0xFD:
        return false; // prefixes are taken before; here only after an index prefix
    default:
        return false;
    }
}

// The 0xCB page: [0xDD/0xFD d] 0xCB op.
//   00ooo rrr shifts (o = 6 not defined)   01bbb rrr bit   10bbb rrr res   11bbb rrr set
bool Core::exec_cb(uint32_t &cycles)
{
    const CycleTables &t = cycle_tables();
    uint16_t addr = 0;
    if (idx != 0)
        addr = uint16_t(hlx() + int8_t(fetch()));
    uint8_t op = fetch();
    int r = op & 7, group = op >> 6, n = (op >> 3) & 7;
    if (group == 0 && n == 6)
        return false;
    if (idx != 0) {
        if (r != 6)
            return false;
        cycles = (group == 1 ? 10 : t.dd[0xCB]) + extra;
    } else {
        cycles = t.cb[op] + extra;
        if (r == 6)
            addr = s.hl();
    }
    uint8_t v = r == 6 ? rd(addr) : r8(r);
    uint8_t out = 0;
    switch (group) {
    case 0: out = shift(n, v); break;
    case 1:
        set_flags(uint8_t((dflags() & ~kFlagZ) | ((v >> n) & 1 ? 0 : kFlagZ)));
        return true;
    case 2: out = uint8_t(v & ~(1u << n)); break;
    default: out = uint8_t(v | (1u << n)); break;
    }
    if (r == 6)
        wr(addr, out);
    else
        set8(r, out);
    return true;
}

// The cycles of one iteration of a repeating instruction. The whole move costs 6 + 7 per byte;
// with ioi whose access pattern is served at once 8 + 6 per byte; with another prefix 8 + 7 per
// byte (the debug windows' 6+7n, 8+6n, 8+7n): the first iteration carries the base.
uint32_t Core::block_cycles(uint32_t per_byte) const
{
    uint32_t base = 6;
    if (io_prefix == 0xD3 && extra == 1) {
        base = 8;
        per_byte -= 1;
    } else if (extra != 0) {
        base = 8;
    }
    return continuing ? per_byte : base + per_byte;
}

// ldi ldd ldir lddr and the r3000 block moves. The I/O prefix applies to both sides of
// ldi/ldd/ldir/lddr; of the r3000 moves, to the side whose address stays fixed (the I/O
// register), and to both sides of lsir/lsdr.
void Core::block_move(uint8_t op, uint32_t &cycles)
{
    int src_step = 0, dst_step = 0;
    bool repeat = true;
    bool src_io = io, dst_io = io;
    switch (op) {
    case 0xA0: src_step = 1; dst_step = 1; repeat = false; break;  // ldi
    case 0xA8: src_step = -1; dst_step = -1; repeat = false; break; // ldd
    case 0xB0: case 0xF0: src_step = 1; dst_step = 1; break;       // ldir lsir
    case 0xB8: case 0xF8: src_step = -1; dst_step = -1; break;     // lddr lsdr
    case 0x90: src_step = 1; src_io = false; break;                // ldisr
    case 0x98: src_step = -1; src_io = false; break;               // lddsr
    case 0xD0: dst_step = 1; dst_io = false; break;                // lsidr
    case 0xD8: dst_step = -1; dst_io = false; break;               // lsddr
    default: break;
    }
    uint16_t hl = s.hl(), de = s.de();
    uint8_t v = src_io ? bus.io_read(io_space, hl) : bus.read(hl, s.xpc);
    if (dst_io)
        bus.io_write(io_space, de, v);
    else
        bus.write(de, s.xpc, v);
    s.set_hl(uint16_t(hl + src_step));
    s.set_de(uint16_t(de + dst_step));
    s.set_bc(uint16_t(s.bc() - 1));
    set_flags(uint8_t((dflags() & ~kFlagV) | (s.bc() != 0 ? kFlagV : 0)));
    if (repeat) {
        again = s.bc() != 0;
        cycles = block_cycles(op == 0xB0 || op == 0xB8 ? 7 : cycle_tables().ed[op]);
    }
}

// uma/ums: multiple-precision multiply and add/subtract, one byte per step until BC is 0:
//   uma: t = (ix) + (iy) * DE + DE'   ums: t = (ix) - (iy) * DE - DE' (borrow kept in DE')
//   (hl) = low byte of t, DE' = the rest; ix, iy, hl step up, BC steps down.
void Core::multiply_accumulate(bool subtract)
{
    int64_t x = rd(s.ix), y = rd(s.iy);
    int64_t carry_in = s.de2();
    int64_t t = subtract ? x - y * s.de() - carry_in : x + y * s.de() + carry_in;
    wr(s.hl(), uint8_t(t));
    int64_t rest = subtract ? -((t - (t & 0xFF)) / 256) : t >> 8;
    s.alt[rD] = uint8_t(rest >> 8);
    s.alt[rE] = uint8_t(rest);
    s.ix = uint16_t(s.ix + 1);
    s.iy = uint16_t(s.iy + 1);
    s.set_hl(uint16_t(s.hl() + 1));
    s.set_bc(uint16_t(s.bc() - 1));
    again = s.bc() != 0;
}

// The 0xED page.
bool Core::exec_ed(uint8_t op, uint32_t &cycles)
{
    const CycleTables &t = cycle_tables();
    bool r3000 = s.model == CpuModel::r3000;
    cycles = t.ed[op] + extra;
    switch (op) {
    case 0x41: case 0x49: case 0x51: case 0x59: case 0x61: case 0x69: { // ld dd',bc / dd',de
        uint16_t v = (op & 0x08) ? s.bc() : s.de();
        int hi = ((op >> 4) & 3) * 2; // 4x bc', 5x de', 6x hl'
        s.alt[hi] = uint8_t(v >> 8);
        s.alt[hi + 1] = uint8_t(v);
        return true;
    }
    case 0x42: case 0x52: case 0x62: case 0x72:                    // sbc hl,ss
        set_dpair(rH, sbc16(s.hl(), pair_ss((op >> 4) & 3), carry()));
        return true;
    case 0x4A: case 0x5A: case 0x6A: case 0x7A:                    // adc hl,ss
        set_dpair(rH, adc16(s.hl(), pair_ss((op >> 4) & 3), carry()));
        return true;
    case 0x43: case 0x53: case 0x73:                               // ld (mn),ss
        wr16(fetch16(), pair_ss((op >> 4) & 3));
        return true;
    case 0x4B: case 0x5B: case 0x7B:                               // ld ss,(mn)
        set_pair_ss((op >> 4) & 3, rd16(fetch16()));
        return true;
    case 0x44: set8(rA, sub8(0, r8(rA), 0)); return true;          // neg
    case 0x45: {                                                   // lret
        uint16_t pc = pop16();
        s.xpc = pop8();
        s.pc = pc;
        return true;
    }
    case 0x4D: {                                                   // reti
        s.ip = pop8();
        s.pc = pop16();
        return true;
    }
    case 0x46: case 0x56: case 0x4E: case 0x5E: {                  // ipset 0..3
        uint8_t n = op == 0x46 ? 0 : op == 0x56 ? 1 : op == 0x4E ? 2 : 3;
        s.ip = uint8_t(s.ip << 2 | n);
        return true;
    }
    case 0x5D: s.ip = uint8_t(s.ip >> 2 | s.ip << 6); return true; // ipres
    case 0x47: s.eir = r8(rA); return true;                        // ld eir,a
    case 0x4F: s.iir = r8(rA); return true;                        // ld iir,a
    case 0x57: set8(rA, s.eir); return true;                       // ld a,eir
    case 0x5F: set8(rA, s.iir); return true;                       // ld a,iir
    case 0x54: {                                                   // ex (sp),hl
        uint16_t v = uint16_t(bus.read(s.sp, s.xpc) | bus.read(uint16_t(s.sp + 1), s.xpc) << 8);
        uint16_t h = s.hl();
        bus.write(s.sp, s.xpc, uint8_t(h));
        bus.write(uint16_t(s.sp + 1), s.xpc, uint8_t(h >> 8));
        set_dpair(rH, v);
        return true;
    }
    case 0x64: case 0x65: case 0x6C: case 0x6D: {                  // ldp with hl
        uint32_t p = uint32_t(s.main[rA] & 0x0F) << 16;
        uint16_t a = (op & 1) ? fetch16() : s.hl();
        if (op & 0x08) {
            uint8_t lo = bus.read_physical(p | a);
            set_dpair(rH, uint16_t(lo | bus.read_physical(p | uint16_t(a + 1)) << 8));
        } else {
            bus.write_physical(p | a, s.main[rL]);
            bus.write_physical(p | uint16_t(a + 1), s.main[rH]);
        }
        return true;
    }
    case 0x67: s.xpc = r8(rA); return true;                        // ld xpc,a
    case 0x77: set8(rA, s.xpc); return true;                       // ld a,xpc
    case 0x76: push8(s.ip); return true;                           // push ip
    case 0x7E: s.ip = pop8(); return true;                         // pop ip
    case 0xA0: case 0xA8: case 0xB0: case 0xB8:
        block_move(op, cycles);
        return true;
    default: break;
    }
    if (!r3000)
        return false;
    switch (op) {
    case 0x66: push8(s.su); return true;                           // push su
    case 0x6E: s.su = pop8(); return true;                         // pop su
    case 0x6F: s.su = uint8_t(s.su << 2 | 1); return true;         // setusr
    case 0x7D: s.su = uint8_t(s.su >> 2 | s.su << 6); return true; // sures
    case 0x7F:                                                     // rdmode: C = user mode
        set_flags(uint8_t((dflags() & ~kFlagC) | (s.su & 1)));
        return true;
    case 0x75:                                                     // syscall
        push16(s.pc);
        s.su = uint8_t(s.su << 2);
        s.pc = uint16_t(s.iir << 8 | 0x60);
        return true;
    case 0xC0: case 0xC8:                                          // uma ums
        multiply_accumulate(op == 0xC8);
        cycles = block_cycles(t.ed[op]);
        return true;
    case 0x90: case 0x98: case 0xD0: case 0xD8: case 0xF0: case 0xF8:
        block_move(op, cycles);
        return true;
    default:
        return false;
    }
}

} // namespace

void cpu_reset(CpuState &s, CpuModel model)
{
    s = CpuState{};
    s.model = model;
    s.ip = 0xFF;
    if (model == CpuModel::z180)
        z180_reset(s);
}

uint32_t cpu_step(CpuState &s, Bus &bus)
{
    if (s.fault != CpuFault::none)
        return 0;
    uint16_t start = s.pc;
    const bool continuing = s.repeating && s.repeat_pc == start && s.repeat_xpc == s.xpc;
    uint32_t cycles = 0;
    bool again = false;
    bool defined = false;
    if (s.model == CpuModel::z180) {
        defined = z180_execute(s, bus, cycles, again);
    } else {
        Core core(s, bus, continuing);
        defined = core.step(cycles);
        again = core.again;
    }
    if (!defined) {
        s.pc = start;
        s.repeating = false;
        s.fault = CpuFault::undefined_opcode;
        s.fault_pc = start;
        s.fault_xpc = s.xpc;
        return 0;
    }
    // A repeating instruction with bytes left stays where it is, prefixes included.
    s.repeating = again;
    if (again) {
        s.pc = start;
        s.repeat_pc = start;
        s.repeat_xpc = s.xpc;
    }
    s.cycles += cycles;
    ++s.instructions;
    return cycles;
}

RunResult cpu_run(CpuState &s, Bus &bus, uint64_t max_instructions,
                  const std::vector<Breakpoint> &breakpoints)
{
    RunResult result;
    for (uint64_t i = 0; i < max_instructions; ++i) {
        const bool in_progress = s.repeating && s.repeat_pc == s.pc && s.repeat_xpc == s.xpc;
        if (i > 0 && !in_progress && !breakpoints.empty()) {
            for (const Breakpoint &b : breakpoints) {
                if (b.pc == s.pc && (b.xpc < 0 || b.xpc == s.xpc)) {
                    result.reason = StopReason::breakpoint;
                    return result;
                }
            }
        }
        uint32_t cycles = cpu_step(s, bus);
        if (s.fault != CpuFault::none) {
            result.reason = StopReason::undefined_opcode;
            return result;
        }
        result.cycles += cycles;
        ++result.instructions;
    }
    return result;
}

} // namespace vsim
