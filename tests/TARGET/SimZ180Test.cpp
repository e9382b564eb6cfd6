// The Z180 instruction set of the simulator: one table of cases per opcode group (registers,
// flags, memory and cycles after the instruction), the MMU's mapping, the I/O address forms,
// undefined opcodes (the Vireon-only instructions among them), and agreement with the
// disassembler's Z180 lengths for every instruction it knows.
#include "SimZ180.h"

#include "debugger/DB_DA.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace vsim;

namespace {

// A 1 MB RAM bus with an I/O space that records writes and answers reads from a table.
class RamBus : public Bus {
public:
    std::vector<uint8_t> mem = std::vector<uint8_t>(0x100000, 0);
    std::map<uint16_t, uint8_t> in_values;
    std::vector<std::pair<uint16_t, uint8_t>> outs;

    uint8_t read(uint16_t, uint8_t) override { return 0xEE; } // the Z180 never asks
    void write(uint16_t, uint8_t, uint8_t) override {}
    uint8_t read_physical(uint32_t p) override { return mem[p & 0xFFFFF]; }
    void write_physical(uint32_t p, uint8_t v) override { mem[p & 0xFFFFF] = v; }
    uint8_t io_read(IoSpace space, uint16_t port) override
    {
        EXPECT_EQ(space, IoSpace::external);
        auto it = in_values.find(port);
        return it == in_values.end() ? 0 : it->second;
    }
    void io_write(IoSpace space, uint16_t port, uint8_t value) override
    {
        EXPECT_EQ(space, IoSpace::external);
        outs.emplace_back(port, value);
    }
};

struct Regs {
    uint16_t af = 0, bc = 0, de = 0, hl = 0, ix = 0, iy = 0, sp = 0x9000;
};

void load(CpuState &s, const Regs &r)
{
    s.set_af(r.af);
    s.set_bc(r.bc);
    s.set_de(r.de);
    s.set_hl(r.hl);
    s.ix = r.ix;
    s.iy = r.iy;
    s.sp = r.sp;
}

std::string hex4(unsigned v)
{
    char b[8];
    std::snprintf(b, sizeof b, "0x%04X", v);
    return b;
}

// Steps the instruction at 0x0100 to its end (every iteration of a repeating one).
uint32_t finish(CpuState &s, Bus &bus)
{
    uint32_t cycles = cpu_step(s, bus);
    while (s.repeating && s.fault == CpuFault::none)
        cycles += cpu_step(s, bus);
    return cycles;
}

// ---- opcode groups: one row per case ---------------------------------------------------------

struct Case {
    const char *name;
    std::vector<uint8_t> code;       // at 0x0100
    Regs in;
    Regs out;                        // every register compared; PC separately
    uint16_t pc;                     // PC afterwards
    uint32_t cycles;                 // whole instruction (all iterations)
    std::vector<uint8_t> memory = {}; // at 0x8000 before
    std::vector<uint8_t> after = {};  // at 0x8000 afterwards (when given)
};

// Flags: S 80 Z 40 H 10 P/V 04 N 02 C 01.
const Case kCases[] = {
    // loads
    {"ld_r_n", {0x06, 0x42}, {}, {.bc = 0x4200}, 0x102, 6},
    {"ld_r_r", {0x78}, {.bc = 0x1200}, {.af = 0x1200, .bc = 0x1200}, 0x101, 4},
    {"ld_r_hl", {0x7E}, {.hl = 0x8001}, {.af = 0x5500, .hl = 0x8001}, 0x101, 6, {0, 0x55}},
    {"ld_hl_r", {0x70}, {.bc = 0x9900, .hl = 0x8002}, {.bc = 0x9900, .hl = 0x8002}, 0x101, 7,
     {}, {0, 0, 0x99}},
    {"ld_r_ix_d", {0xDD, 0x46, 0xFF}, {.ix = 0x8002}, {.bc = 0x3300, .ix = 0x8002}, 0x103, 14,
     {0, 0x33}},
    {"ld_iy_d_n", {0xFD, 0x36, 0x01, 0x77}, {.iy = 0x8000}, {.iy = 0x8000}, 0x104, 15, {},
     {0, 0x77}},
    {"ld_a_nn", {0x3A, 0x01, 0x80}, {}, {.af = 0xAB00}, 0x103, 12, {0, 0xAB}},
    {"ld_nn_hl", {0x22, 0x00, 0x80}, {.hl = 0x1234}, {.hl = 0x1234}, 0x103, 16, {},
     {0x34, 0x12}},
    {"ld_de_nn_ed", {0xED, 0x5B, 0x00, 0x80}, {}, {.de = 0xBEEF}, 0x104, 18, {0xEF, 0xBE}},
    {"ld_nn_sp_ed", {0xED, 0x73, 0x00, 0x80}, {.sp = 0x4321}, {.sp = 0x4321}, 0x104, 19, {},
     {0x21, 0x43}},
    {"ld_ix_nn", {0xDD, 0x21, 0x34, 0x12}, {}, {.ix = 0x1234}, 0x104, 12},
    {"ld_sp_iy", {0xFD, 0xF9}, {.iy = 0x8800}, {.iy = 0x8800, .sp = 0x8800}, 0x102, 7},
    // exchanges and the stack
    {"ex_sp_hl", {0xE3}, {.hl = 0x1234, .sp = 0x8000}, {.hl = 0x2211, .sp = 0x8000}, 0x101, 16,
     {0x11, 0x22}, {0x34, 0x12}},
    {"ex_sp_ix", {0xDD, 0xE3}, {.ix = 0x5678, .sp = 0x8000}, {.ix = 0x2211, .sp = 0x8000},
     0x102, 19, {0x11, 0x22}, {0x78, 0x56}},
    {"push_bc", {0xC5}, {.bc = 0xA1B2, .sp = 0x8002}, {.bc = 0xA1B2, .sp = 0x8000}, 0x101, 11,
     {}, {0xB2, 0xA1}},
    {"pop_af", {0xF1}, {.sp = 0x8000}, {.af = 0x12D7, .sp = 0x8002}, 0x101, 9, {0xD7, 0x12}},
    {"ex_de_hl", {0xEB}, {.de = 1, .hl = 2}, {.de = 2, .hl = 1}, 0x101, 3},
    // 8-bit arithmetic and logic
    {"add_overflow_half", {0xC6, 0x7D}, {.af = 0x0500}, {.af = 0x8294}, 0x102, 6},
    {"add_carry_zero", {0x80}, {.af = 0x8000, .bc = 0x8000}, {.af = 0x0045, .bc = 0x8000},
     0x101, 4},
    {"adc_with_carry", {0xCE, 0x00}, {.af = 0xFF01}, {.af = 0x0051}, 0x102, 6},
    {"sub_borrow", {0xD6, 0x01}, {.af = 0x0000}, {.af = 0xFF93}, 0x102, 6},
    {"sbc_overflow", {0xDE, 0x00}, {.af = 0x8001}, {.af = 0x7F16}, 0x102, 6},
    {"and_parity", {0xE6, 0x0F}, {.af = 0x3300}, {.af = 0x0314}, 0x102, 6},
    {"xor_self", {0xAF}, {.af = 0x55FF}, {.af = 0x0044}, 0x101, 4},
    {"or_hl", {0xB6}, {.af = 0x0100, .hl = 0x8000}, {.af = 0x8184, .hl = 0x8000}, 0x101, 6,
     {0x80}},
    {"cp_equal", {0xFE, 0x42}, {.af = 0x4200}, {.af = 0x4242}, 0x102, 6},
    {"cp_ix_d", {0xDD, 0xBE, 0x01}, {.af = 0x1000, .ix = 0x8000}, {.af = 0x1083, .ix = 0x8000},
     0x103, 14, {0, 0x20}},
    {"inc_r_overflow", {0x3C}, {.af = 0x7F01}, {.af = 0x8095}, 0x101, 4},
    {"dec_r_zero", {0x05}, {.bc = 0x0100}, {.af = 0x0042}, 0x101, 4},
    {"inc_hl_mem", {0x34}, {.hl = 0x8000}, {.af = 0x0050, .hl = 0x8000}, 0x101, 10, {0xFF},
     {0x00}},
    {"dec_ix_d", {0xDD, 0x35, 0x00}, {.ix = 0x8000}, {.af = 0x0012, .ix = 0x8000}, 0x103, 18,
     {0x10}, {0x0F}},
    {"daa_after_add", {0x27}, {.af = 0x1B00}, {.af = 0x2114}, 0x101, 4},
    {"daa_after_sub", {0x27}, {.af = 0x0F12}, {.af = 0x0906}, 0x101, 4},
    {"cpl", {0x2F}, {.af = 0x5A00}, {.af = 0xA512}, 0x101, 3},
    {"neg", {0xED, 0x44}, {.af = 0x0100}, {.af = 0xFF93}, 0x102, 6},
    {"scf", {0x37}, {.af = 0x00D6}, {.af = 0x00C5}, 0x101, 3},
    {"ccf", {0x3F}, {.af = 0x0001}, {.af = 0x0010}, 0x101, 3},
    // 16-bit arithmetic
    {"add_hl_de_carry", {0x19}, {.af = 0x00C4, .de = 0x0001, .hl = 0xFFFF},
     {.af = 0x00D5, .de = 1, .hl = 0}, 0x101, 7},
    {"adc_hl_bc", {0xED, 0x4A}, {.af = 0x0001, .bc = 0x7FFF, .hl = 0x0000},
     {.af = 0x0094, .bc = 0x7FFF, .hl = 0x8000}, 0x102, 10},
    {"sbc_hl_de_zero", {0xED, 0x52}, {.de = 0x1234, .hl = 0x1234},
     {.af = 0x0042, .de = 0x1234}, 0x102, 10},
    {"add_ix_sp", {0xDD, 0x39}, {.ix = 0x0F00, .sp = 0x0100}, {.af = 0x0010, .ix = 0x1000, .sp = 0x0100},
     0x102, 10},
    {"inc_iy", {0xFD, 0x23}, {.iy = 0xFFFF}, {}, 0x102, 7},
    {"dec_bc", {0x0B}, {.af = 0x00FF}, {.af = 0x00FF, .bc = 0xFFFF}, 0x101, 4},
    // rotates, shifts and bits
    {"rlca", {0x07}, {.af = 0x81C4}, {.af = 0x03C5}, 0x101, 3},
    {"rra", {0x1F}, {.af = 0x0101}, {.af = 0x8001}, 0x101, 3},
    {"rlc_r", {0xCB, 0x00}, {.bc = 0x8000}, {.af = 0x0001, .bc = 0x0100}, 0x102, 7},
    {"sra_hl", {0xCB, 0x2E}, {.hl = 0x8000}, {.af = 0x0085, .hl = 0x8000}, 0x102, 13, {0x81},
     {0xC0}},
    {"srl_ix_d", {0xDD, 0xCB, 0x01, 0x3E}, {.ix = 0x8000}, {.af = 0x0045, .ix = 0x8000},
     0x104, 19, {0, 0x01}, {0, 0x00}},
    {"bit_7_set", {0xCB, 0x7F}, {.af = 0x8001}, {.af = 0x8011}, 0x102, 6},
    {"bit_0_clear_hl", {0xCB, 0x46}, {.hl = 0x8000}, {.af = 0x0054, .hl = 0x8000}, 0x102, 9,
     {0xFE}},
    {"set_iy_d", {0xFD, 0xCB, 0x00, 0xDE}, {.iy = 0x8000}, {.iy = 0x8000}, 0x104, 19, {0},
     {0x08}},
    {"res_r", {0xCB, 0x91}, {.bc = 0x00FF}, {.bc = 0x00FB}, 0x102, 7},
    {"rld", {0xED, 0x6F}, {.af = 0x1201, .hl = 0x8000}, {.af = 0x1301, .hl = 0x8000}, 0x102,
     16, {0x34}, {0x42}},
    {"rrd", {0xED, 0x67}, {.af = 0x8400, .hl = 0x8000}, {.af = 0x8080, .hl = 0x8000}, 0x102,
     16, {0x20}, {0x42}},
    // jumps, calls, returns
    {"jp_nn", {0xC3, 0x00, 0x20}, {}, {}, 0x2000, 9},
    {"jp_cc_not_taken", {0xCA, 0x00, 0x20}, {}, {}, 0x103, 6},
    {"jp_pe_taken", {0xEA, 0x00, 0x20}, {.af = 0x0004}, {.af = 0x0004}, 0x2000, 9},
    {"jr_back", {0x18, 0xFE}, {}, {}, 0x100, 8},
    {"jr_nc_not_taken", {0x30, 0x10}, {.af = 0x0001}, {.af = 0x0001}, 0x102, 6},
    {"djnz_taken", {0x10, 0x10}, {.bc = 0x0200}, {.bc = 0x0100}, 0x112, 9},
    {"djnz_last", {0x10, 0x10}, {.bc = 0x0100}, {}, 0x102, 7},
    {"jp_ix", {0xDD, 0xE9}, {.ix = 0x3000}, {.ix = 0x3000}, 0x3000, 6},
    {"call_nn", {0xCD, 0x00, 0x30}, {.sp = 0x8002}, {.sp = 0x8000}, 0x3000, 16, {},
     {0x03, 0x01}},
    {"call_cc_not_taken", {0xC4, 0x00, 0x30}, {.af = 0x0040}, {.af = 0x0040}, 0x103, 6},
    {"ret", {0xC9}, {.sp = 0x8000}, {.sp = 0x8002}, 0x1234, 9, {0x34, 0x12}},
    {"ret_cc_taken", {0xF8}, {.af = 0x0080, .sp = 0x8000}, {.af = 0x0080, .sp = 0x8002}, 0x1234,
     10, {0x34, 0x12}},
    {"ret_cc_not_taken", {0xF0}, {.af = 0x0080, .sp = 0x8000}, {.af = 0x0080, .sp = 0x8000},
     0x101, 5},
    {"reti", {0xED, 0x4D}, {.sp = 0x8000}, {.sp = 0x8002}, 0x1234, 22, {0x34, 0x12}},
    {"rst_00", {0xC7}, {.sp = 0x8002}, {.sp = 0x8000}, 0x0000, 11, {}, {0x01, 0x01}},
    {"rst_38", {0xFF}, {.sp = 0x8002}, {.sp = 0x8000}, 0x0038, 11, {}, {0x01, 0x01}},
    // block moves and searches
    {"ldir", {0xED, 0xB0}, {.af = 0x00C5, .bc = 3, .de = 0x8010, .hl = 0x8000},
     {.af = 0x00C1, .de = 0x8013, .hl = 0x8003}, 0x102, 14 + 14 + 12, {1, 2, 3}},
    {"ldd", {0xED, 0xA8}, {.bc = 2, .de = 0x8011, .hl = 0x8001},
     {.af = 0x0004, .bc = 1, .de = 0x8010, .hl = 0x8000}, 0x102, 12, {7, 8}},
    {"cpir_found", {0xED, 0xB1}, {.af = 0x0300, .bc = 5, .hl = 0x8000},
     {.af = 0x0346, .bc = 2, .hl = 0x8003}, 0x102, 14 + 14 + 12, {1, 2, 3, 4}},
    {"cpd_not_equal", {0xED, 0xA9}, {.af = 0x1001, .bc = 1, .hl = 0x8000},
     {.af = 0x1013, .hl = 0x7FFF}, 0x102, 12, {0x01}},
    // Z180 additions
    {"mlt_de", {0xED, 0x5C}, {.de = 0xFFFF}, {.de = 0xFE01}, 0x102, 17},
    {"mlt_sp", {0xED, 0x7C}, {.sp = 0x0C0D}, {.sp = 0x009C}, 0x102, 17},
    {"tst_r", {0xED, 0x04}, {.af = 0x0F01, .bc = 0xF000}, {.af = 0x0F54, .bc = 0xF000}, 0x102,
     7},
    {"tst_n", {0xED, 0x64, 0x81}, {.af = 0x8100}, {.af = 0x8194}, 0x103, 9},
    {"tst_hl", {0xED, 0x34}, {.af = 0x0300, .hl = 0x8000}, {.af = 0x0310, .hl = 0x8000}, 0x102,
     10, {0x01}},
    // interrupt control
    {"im_2", {0xED, 0x5E}, {}, {}, 0x102, 6},
    {"ei", {0xFB}, {}, {}, 0x101, 3},
    {"ld_i_a_and_back", {0xED, 0x47}, {.af = 0x4400}, {.af = 0x4400}, 0x102, 6},
};

class Z180Op : public ::testing::TestWithParam<Case> {};

TEST_P(Z180Op, RegistersFlagsMemoryCycles)
{
    const Case &c = GetParam();
    RamBus bus;
    CpuState s;
    cpu_reset(s, CpuModel::z180);
    for (size_t i = 0; i < c.code.size(); ++i)
        bus.mem[0x100 + i] = c.code[i];
    for (size_t i = 0; i < c.memory.size(); ++i)
        bus.mem[0x8000 + i] = c.memory[i];
    load(s, c.in);
    s.pc = 0x100;
    uint32_t cycles = finish(s, bus);
    ASSERT_EQ(s.fault, CpuFault::none);
    EXPECT_EQ(hex4(s.af()), hex4(c.out.af)) << "AF";
    EXPECT_EQ(hex4(s.bc()), hex4(c.out.bc)) << "BC";
    EXPECT_EQ(hex4(s.de()), hex4(c.out.de)) << "DE";
    EXPECT_EQ(hex4(s.hl()), hex4(c.out.hl)) << "HL";
    EXPECT_EQ(hex4(s.ix), hex4(c.out.ix)) << "IX";
    EXPECT_EQ(hex4(s.iy), hex4(c.out.iy)) << "IY";
    EXPECT_EQ(hex4(s.sp), hex4(c.out.sp)) << "SP";
    EXPECT_EQ(hex4(s.pc), hex4(c.pc)) << "PC";
    EXPECT_EQ(cycles, c.cycles);
    for (size_t i = 0; i < c.after.size(); ++i)
        EXPECT_EQ(bus.mem[0x8000 + i], c.after[i]) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Groups, Z180Op, ::testing::ValuesIn(kCases),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- state beyond the main registers ------------------------------------------------------------

TEST(Z180State, InterruptAndAlternateRegisters)
{
    RamBus bus;
    CpuState s;
    cpu_reset(s, CpuModel::z180);
    // ld a,0x44 ; ld i,a ; xor a ; ei ; ld a,i ; ex af,af' ; exx ; im 1 ; di
    const std::vector<uint8_t> code = {0x3E, 0x44, 0xED, 0x47, 0xAF, 0xFB, 0xED, 0x57,
                                       0x08, 0xD9, 0xED, 0x56, 0xF3};
    std::copy(code.begin(), code.end(), bus.mem.begin());
    s.set_bc(0x1111);
    for (int i = 0; i < 5; ++i)
        cpu_step(s, bus);
    EXPECT_EQ(s.i, 0x44);
    EXPECT_TRUE(s.iff1 && s.iff2);
    EXPECT_EQ(s.af(), 0x4404); // ld a,i: P/V is IFF2
    for (int i = 0; i < 4; ++i)
        cpu_step(s, bus);
    EXPECT_EQ(s.af2(), 0x4404);
    EXPECT_EQ(s.bc2(), 0x1111);
    EXPECT_EQ(s.bc(), 0);
    EXPECT_EQ(s.im, 1);
    EXPECT_FALSE(s.iff1);
    EXPECT_EQ(s.fault, CpuFault::none);
}

TEST(Z180State, HaltAndSleepStayOnTheirAddress)
{
    RamBus bus;
    CpuState s;
    cpu_reset(s, CpuModel::z180);
    bus.mem[0] = 0x76;                                // halt
    bus.mem[0x10] = 0xED;
    bus.mem[0x11] = 0x76;                             // slp
    EXPECT_EQ(cpu_step(s, bus), 3u);
    EXPECT_EQ(cpu_step(s, bus), 3u);
    EXPECT_EQ(s.pc, 0);
    s.pc = 0x10;
    EXPECT_EQ(cpu_step(s, bus), 8u);
    EXPECT_EQ(s.pc, 0x10);
    EXPECT_EQ(s.instructions, 3u);
}

// ---- the MMU ----------------------------------------------------------------------------------

struct MmuCase {
    const char *name;
    uint8_t cbar, cbr, bbr;
    uint16_t logical;
    uint32_t physical;
};
const MmuCase kMmu[] = {
    {"reset_identity_low", 0xF0, 0, 0, 0x1234, 0x01234},
    {"reset_common1_at_F000", 0xF0, 0x10, 0, 0xF123, 0x1F123},
    {"common0_below_bank", 0x84, 0x78, 0x20, 0x3FFF, 0x03FFF},
    {"bank_area", 0x84, 0x78, 0x20, 0x4000, 0x24000},
    {"bank_area_top", 0x84, 0x78, 0x20, 0x7FFF, 0x27FFF},
    {"common1", 0x84, 0x78, 0x20, 0x8000, 0x80000},
    {"common1_wraps_at_1MB", 0x84, 0xFF, 0x20, 0xF000, 0x0E000},
    {"bank_without_common0", 0x80, 0x78, 0x30, 0x0000, 0x30000},
};

class Z180Mmu : public ::testing::TestWithParam<MmuCase> {};

TEST_P(Z180Mmu, MapsLogicalToPhysical)
{
    const MmuCase &c = GetParam();
    CpuState s;
    cpu_reset(s, CpuModel::z180);
    s.z180_io[kZ180PortCbar] = c.cbar;
    s.z180_io[kZ180PortCbr] = c.cbr;
    s.z180_io[kZ180PortBbr] = c.bbr;
    EXPECT_EQ(z180_physical(s, c.logical), c.physical);
}

INSTANTIATE_TEST_SUITE_P(Areas, Z180Mmu, ::testing::ValuesIn(kMmu),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(Z180MmuProgram, Out0SetsTheMmuAndStoresLandInTheMappedPage)
{
    RamBus bus;
    CpuState s;
    cpu_reset(s, CpuModel::z180);
    EXPECT_EQ(s.z180_io[kZ180PortCbar], kZ180ResetCbar);
    // ld a,0x78 ; out0 (0x38),a ; ld a,0x88 ; out0 (0x3a),a ; ld a,0x5a ; ld (0x8010),a
    // ; in0 b,(0x3a)
    const std::vector<uint8_t> code = {0x3E, 0x78, 0xED, 0x39, 0x38, 0x3E, 0x88, 0xED, 0x39,
                                       0x3A, 0x3E, 0x5A, 0x32, 0x10, 0x80, 0xED, 0x00, 0x3A};
    std::copy(code.begin(), code.end(), bus.mem.begin());
    for (int i = 0; i < 7; ++i)
        cpu_step(s, bus);
    EXPECT_EQ(bus.mem[0x80010], 0x5A);
    EXPECT_EQ(bus.mem[0x08010], 0x00);
    EXPECT_EQ(s.main[rB], 0x88);
    EXPECT_TRUE(bus.outs.empty()); // on-chip registers never reach the board
    EXPECT_EQ(s.fault, CpuFault::none);
}

// ---- I/O address forms --------------------------------------------------------------------------

TEST(Z180Io, AddressFormsOfTheInAndOutInstructions)
{
    RamBus bus;
    CpuState s;
    cpu_reset(s, CpuModel::z180);
    bus.in_values[0xFFF1] = 0x03;
    bus.in_values[0x12F0] = 0x80;
    bus.mem[0x8000] = 'h';
    bus.mem[0x8001] = 'i';
    // ld bc,0xfff1 ; in a,(c) ; dec c ; out (c),a ; ld a,0x12 ; in a,(0xf0) ; out (0x44),a
    // ; ld hl,0x8000 ; ld bc,0x0250 ; otim ; otim ; ld c,0x50; ld b,2 ; ld hl,0x8000 ; otimr
    const std::vector<uint8_t> code = {
        0x01, 0xF1, 0xFF, 0xED, 0x78, 0x0D, 0xED, 0x79, 0x3E, 0x12, 0xDB, 0xF0, 0xD3, 0x44,
        0x21, 0x00, 0x80, 0x01, 0x50, 0x02, 0xED, 0x83, 0xED, 0x83,
        0x0E, 0x50, 0x06, 0x02, 0x21, 0x00, 0x80, 0xED, 0x93};
    std::copy(code.begin(), code.end(), bus.mem.begin());
    for (int i = 0; i < 11; ++i)
        cpu_step(s, bus);
    EXPECT_EQ(s.af() & 0xFF00, 0x8000);
    ASSERT_EQ(bus.outs.size(), 4u);
    EXPECT_EQ(bus.outs[0], (std::pair<uint16_t, uint8_t>{0xFFF0, 0x03}));
    EXPECT_EQ(bus.outs[1], (std::pair<uint16_t, uint8_t>{0x8044, 0x80})); // A on the high byte
    EXPECT_EQ(bus.outs[2], (std::pair<uint16_t, uint8_t>{0x0050, 'h'}));  // otim: 00:C
    EXPECT_EQ(bus.outs[3], (std::pair<uint16_t, uint8_t>{0x0051, 'i'}));
    EXPECT_EQ(s.bc(), 0x0052);
    EXPECT_TRUE(s.main[rF] & kFlagZ);
    for (int i = 0; i < 3; ++i)
        cpu_step(s, bus);
    EXPECT_EQ(finish(s, bus), 16u + 14u);
    EXPECT_EQ(bus.outs.size(), 6u);
    EXPECT_EQ(s.pc, uint16_t(code.size()));
}

// tstio n: the port 00:C and n, A kept; the flags of "and".
TEST(Z180Io, TstioTestsThePortAtCWithTheImmediate)
{
    RamBus bus;
    CpuState s;
    cpu_reset(s, CpuModel::z180);
    bus.in_values[0x0050] = 0x81;
    const std::vector<uint8_t> code = {0x0E, 0x50, 0xED, 0x74, 0x0F, 0xED, 0x74, 0x7E};
    std::copy(code.begin(), code.end(), bus.mem.begin());
    s.set_af(0x4200);
    cpu_step(s, bus);
    EXPECT_EQ(cpu_step(s, bus), 12u);
    EXPECT_EQ(s.pc, 5);
    EXPECT_EQ(s.af(), 0x4210); // 0x81 & 0x0F = 0x01: H, odd parity
    cpu_step(s, bus);
    EXPECT_EQ(s.pc, 8);
    EXPECT_EQ(s.af(), 0x4254); // 0x81 & 0x7E = 0: Z, H, P
}

// ---- undefined opcodes ----------------------------------------------------------------------------

struct UndefinedCase {
    const char *name;
    std::vector<uint8_t> code;
};
const UndefinedCase kUndefined[] = {
    {"vireon_ldp_hl", {0xED, 0x65, 0x00, 0x80}}, {"vireon_ldp_ix", {0xDD, 0x64}},
    {"vireon_ldp_hl_mn", {0xED, 0x6D, 0x00, 0x80}}, {"vireon_ldp_iy_mn", {0xFD, 0x65, 0x00, 0x80}},
    {"index_half_register", {0xDD, 0x44}},       {"index_before_plain_op", {0xFD, 0x00}},
    {"sll", {0xCB, 0x30}},                       {"index_cb_register_form", {0xDD, 0xCB, 0x00, 0x00}},
    {"ed_undocumented", {0xED, 0x80}},           {"in0_f", {0xED, 0x30, 0x00}},
    {"ed_out_c_0", {0xED, 0x71}},                {"ed_top", {0xED, 0xFF}},
};

class Z180Undefined : public ::testing::TestWithParam<UndefinedCase> {};

TEST_P(Z180Undefined, StopsOnTheOpcodeAndChangesNothing)
{
    RamBus bus;
    CpuState s;
    cpu_reset(s, CpuModel::z180);
    const auto &code = GetParam().code;
    std::copy(code.begin(), code.end(), bus.mem.begin() + 0x200);
    s.pc = 0x200;
    s.sp = 0x9000;
    s.set_hl(0x8000);
    const CpuState before = s;
    EXPECT_EQ(cpu_step(s, bus), 0u);
    EXPECT_EQ(s.fault, CpuFault::undefined_opcode);
    EXPECT_EQ(s.fault_pc, 0x200);
    EXPECT_EQ(s.pc, 0x200);
    EXPECT_EQ(s.hl(), before.hl());
    EXPECT_EQ(s.r, before.r);
    EXPECT_EQ(s.instructions, 0u);
}

INSTANTIATE_TEST_SUITE_P(Opcodes, Z180Undefined, ::testing::ValuesIn(kUndefined),
                         [](const auto &i) { return std::string(i.param.name); });

// The Vireon prefixes are Z80 instructions here, not prefixes: ioi is "out (n),a", ioe
// "in a,(n)", altd "halt"; the instruction behind them is not touched.
TEST(Z180Undefined, VireonPrefixesAreOtherInstructions)
{
    RamBus bus;
    CpuState s;
    cpu_reset(s, CpuModel::z180);
    const std::vector<uint8_t> code = {0xD3, 0x7E, 0xDB, 0x7E, 0x76};
    std::copy(code.begin(), code.end(), bus.mem.begin());
    s.set_af(0x4200);
    EXPECT_EQ(cpu_step(s, bus), 10u);
    EXPECT_EQ(s.pc, 2);
    ASSERT_EQ(bus.outs.size(), 1u);
    EXPECT_EQ(bus.outs[0].first, 0x427E);
    cpu_step(s, bus);
    EXPECT_EQ(s.pc, 4);
    cpu_step(s, bus);
    EXPECT_EQ(s.pc, 4); // halt
}

// ---- the disassembler's lengths -----------------------------------------------------------------

// Every instruction the Z180 disassembler knows executes on the simulator (defined) and, when it
// does not jump, advances PC by the disassembler's length.
TEST(Z180Disassembler, EveryKnownInstructionRunsWithTheSameLength)
{
    selectDisasmPageSet(DisasmPageSet::Z180);
    const auto all = enumerateInstructions(DisasmPageSet::Z180);
    ASSERT_GT(all.size(), 500u);
    int compared = 0;
    for (const auto &bytes : all) {
        if (bytes[0] == 0x76)
            continue; // halt stays
        if (bytes[0] == 0xED && (bytes[1] == 0x76 || bytes[1] == 0x93 || bytes[1] == 0x9B))
            continue; // slp stays; otimr and otdmr repeat until B is 0
        RamBus bus;
        CpuState s;
        cpu_reset(s, CpuModel::z180);
        std::copy(bytes.begin(), bytes.end(), bus.mem.begin() + 0x100);
        s.pc = 0x100;
        s.sp = 0x9000;
        s.set_bc(1);
        cpu_step(s, bus);
        std::string text;
        char hex[64] = {};
        for (size_t i = 0; i < bytes.size() && i < 8; ++i)
            std::snprintf(hex + 3 * i, 4, "%02X ", bytes[i]);
        ASSERT_EQ(s.fault, CpuFault::none) << hex;
        if (instructionFlow(bytes) != kFlowNone || bytes[0] == 0x10 || bytes[0] == 0x18 ||
            (bytes[0] & 0xE7) == 0x20 || (bytes.size() > 1 && bytes[1] == 0xE9) ||
            (bytes[0] == 0xED && (bytes[1] == 0x4D || bytes[1] == 0x45)))
            continue; // jumps; reti and retn have no flow class there
        const uint16_t length = instructionLength(bytes, false);
        EXPECT_EQ(s.pc, 0x100 + length) << hex;
        ++compared;
    }
    EXPECT_GT(compared, 400);
    selectDisasmPageSet(DisasmPageSet::A);
}

} // namespace
