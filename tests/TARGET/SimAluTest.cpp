// Arithmetic, logic, shift and rotate instructions: results and flags, one row per form.
// Flags: S 0x80, Z 0x40, L/V 0x04, C 0x01. Logic results set L when any of the top four bits
// is set; arithmetic sets V on signed overflow.
#include "SimMachine.h"

#include <gtest/gtest.h>

using namespace vsim;
using namespace simtest;

namespace {

struct Regs {
    uint8_t a = 0, f = 0;
    uint16_t bc = 0, de = 0, hl = 0;
};

struct AluCase {
    const char *name;
    std::vector<uint8_t> bytes;
    Regs in;
    Regs out;
    uint8_t mem_in = 0;  // byte at kData ((hl) with hl = kData, (ix+2) with ix = kData - 2)
    uint8_t mem_out = 0;
};
// Test output names the case, not its bytes.
void PrintTo(const AluCase &c, std::ostream *os) { *os << c.name; }

constexpr uint16_t H = kData;

const AluCase kAluCases[] = {
    // 8-bit arithmetic
    {"add_a_b", {0x80}, {0x0F, 0, 0x0100}, {0x10, 0x00, 0x0100}},
    {"add_a_b_overflow", {0x80}, {0x7F, 0, 0x0100}, {0x80, 0x84, 0x0100}},
    {"add_a_b_carry_zero", {0x80}, {0xFF, 0, 0x0100}, {0x00, 0x41, 0x0100}},
    {"add_a_n", {0xC6, 0x22}, {0x11, 0x01}, {0x33, 0x00}},
    {"adc_a_n_carry_in", {0xCE, 0x20}, {0x10, 0x01}, {0x31, 0x00}},
    {"adc_a_c_carry_out", {0x89}, {0xF0, 0x01, 0x000F}, {0x00, 0x41, 0x000F}},
    {"sub_n_borrow", {0xD6, 0x20}, {0x10, 0}, {0xF0, 0x81}},
    {"sub_n_overflow", {0xD6, 0x01}, {0x80, 0}, {0x7F, 0x04}},
    {"sub_d", {0x92}, {0x30, 0, 0, 0x1000}, {0x20, 0x00, 0, 0x1000}},
    {"sbc_a_hl_mem", {0x9E}, {0x05, 0x01, 0, 0, H}, {0xFF, 0x81, 0, 0, H}, 0x05, 0x05},
    {"sbc_a_n_no_carry", {0xDE, 0x05}, {0x05, 0}, {0x00, 0x40}},
    {"add_a_ix_disp", {0xDD, 0x86, 0x02}, {0x01, 0}, {0x03, 0x00}, 0x02, 0x02},
    {"cp_n_equal", {0xFE, 0x10}, {0x10, 0}, {0x10, 0x40}},
    {"cp_n_less", {0xFE, 0x11}, {0x10, 0}, {0x10, 0x81}},
    {"cp_e_overflow", {0xBB}, {0x80, 0, 0, 0x0001}, {0x80, 0x04, 0, 0x0001}},
    {"neg_one", {0xED, 0x44}, {0x01, 0}, {0xFF, 0x81}},
    {"neg_0x80", {0xED, 0x44}, {0x80, 0}, {0x80, 0x85}},
    {"neg_zero", {0xED, 0x44}, {0x00, 0x01}, {0x00, 0x40}},
    // 8-bit logic
    {"and_n_high_nibble", {0xE6, 0x3C}, {0xF0, 0x01}, {0x30, 0x04}},
    {"and_n_low_nibble", {0xE6, 0x3C}, {0x0F, 0x01}, {0x0C, 0x00}},
    {"and_iy_disp", {0xFD, 0xA6, 0x02}, {0xFF, 0}, {0x81, 0x84}, 0x81, 0x81},
    {"xor_a_clears", {0xAF}, {0x55, 0x01}, {0x00, 0x40}},
    {"xor_n", {0xEE, 0x0F}, {0xFF, 0}, {0xF0, 0x84}},
    {"or_n", {0xF6, 0x01}, {0x80, 0}, {0x81, 0x84}},
    {"or_l", {0xB5}, {0x00, 0x01, 0, 0, 0x0000}, {0x00, 0x40, 0, 0, 0x0000}},
    {"cpl_no_flags", {0x2F}, {0x5A, 0x41}, {0xA5, 0x41}},
    // inc/dec keep C
    {"inc_a_overflow_keeps_carry", {0x3C}, {0x7F, 0x01}, {0x80, 0x85}},
    {"dec_a_zero", {0x3D}, {0x01, 0x00}, {0x00, 0x40}},
    {"dec_a_overflow", {0x3D}, {0x80, 0x00}, {0x7F, 0x04}},
    {"inc_hl_mem_wraps", {0x34}, {0, 0x01, 0, 0, H}, {0, 0x41, 0, 0, H}, 0xFF, 0x00},
    {"dec_ix_mem", {0xDD, 0x35, 0x02}, {0, 0}, {0, 0x40}, 0x01, 0x00},
    {"inc_bc_no_flags", {0x03}, {0, 0x41, 0xFFFF}, {0, 0x41, 0x0000}},
    // accumulator rotates: only C
    {"rlca", {0x07}, {0x81, 0x40}, {0x03, 0x41}},
    {"rrca", {0x0F}, {0x01, 0x00}, {0x80, 0x01}},
    {"rla_carry_in", {0x17}, {0x00, 0x01}, {0x01, 0x00}},
    {"rra", {0x1F}, {0x01, 0x00}, {0x00, 0x01}},
    // 0xCB shifts: S Z L C
    {"rlc_a", {0xCB, 0x07}, {0x80, 0}, {0x01, 0x01}},
    {"rrc_b", {0xCB, 0x08}, {0, 0, 0x0100}, {0, 0x85, 0x8000}},
    {"rl_hl_mem", {0xCB, 0x16}, {0, 0x01, 0, 0, H}, {0, 0x01, 0, 0, H}, 0x80, 0x01},
    {"rr_c", {0xCB, 0x19}, {0, 0x00, 0x0001}, {0, 0x41, 0x0000}},
    {"sla_a", {0xCB, 0x27}, {0x40, 0}, {0x80, 0x84}},
    {"sra_a", {0xCB, 0x2F}, {0x81, 0}, {0xC0, 0x85}},
    {"srl_a", {0xCB, 0x3F}, {0x01, 0}, {0x00, 0x41}},
    {"srl_ix_disp", {0xDD, 0xCB, 0x02, 0x3E}, {0, 0}, {0, 0x05}, 0x81, 0x40},
    {"bit_7_a_set", {0xCB, 0x7F}, {0x80, 0x01}, {0x80, 0x01}},
    {"bit_0_a_clear", {0xCB, 0x47}, {0x80, 0x01}, {0x80, 0x41}},
    {"bit_3_hl_mem", {0xCB, 0x5E}, {0, 0x40, 0, 0, H}, {0, 0x00, 0, 0, H}, 0x08, 0x08},
    {"res_7_hl_mem", {0xCB, 0xBE}, {0, 0, 0, 0, H}, {0, 0, 0, 0, H}, 0xFF, 0x7F},
    {"set_0_e", {0xCB, 0xC3}, {0, 0, 0, 0x0000}, {0, 0, 0, 0x0001}},
    {"set_4_iy_disp", {0xFD, 0xCB, 0x02, 0xE6}, {0, 0}, {0, 0}, 0x00, 0x10},
    // 16-bit arithmetic
    {"add_hl_de_carry_keeps_z", {0x19}, {0, 0x40, 0, 0x0001, 0xFFFF}, {0, 0x41, 0, 0x0001, 0}},
    {"add_hl_hl", {0x29}, {0, 0x01, 0, 0, 0x4000}, {0, 0x00, 0, 0, 0x8000}},
    {"adc_hl_bc_overflow", {0xED, 0x4A}, {0, 0x01, 0, 0, 0x7FFF}, {0, 0x84, 0, 0, 0x8000}},
    {"sbc_hl_de_borrow", {0xED, 0x52}, {0, 0, 0, 0x0001, 0}, {0, 0x81, 0, 0x0001, 0xFFFF}},
    {"sbc_hl_de_zero", {0xED, 0x52}, {0, 0, 0, 0x1234, 0x1234}, {0, 0x40, 0, 0x1234, 0}},
    {"sbc_hl_hl_carry", {0xED, 0x62}, {0, 0x01, 0, 0, 0x5555}, {0, 0x81, 0, 0, 0xFFFF}},
    // 16-bit logic and rotates
    {"and_hl_de", {0xDC}, {0, 0x01, 0, 0x0FF0, 0xF0F0}, {0, 0x00, 0, 0x0FF0, 0x00F0}},
    {"or_hl_de", {0xEC}, {0, 0, 0, 0x0001, 0x1000}, {0, 0x04, 0, 0x0001, 0x1001}},
    {"bool_hl_nonzero", {0xCC}, {0, 0x41, 0, 0, 0x1234}, {0, 0x00, 0, 0, 0x0001}},
    {"bool_hl_zero", {0xCC}, {0, 0x01, 0, 0, 0x0000}, {0, 0x40, 0, 0, 0x0000}},
    {"rr_hl", {0xFC}, {0, 0x01, 0, 0, 0x0001}, {0, 0x85, 0, 0, 0x8000}},
    {"rl_de", {0xF3}, {0, 0x00, 0, 0x8000}, {0, 0x41, 0, 0x0000}},
    {"rr_de", {0xFB}, {0, 0x00, 0, 0x0002}, {0, 0x00, 0, 0x0001}},
    {"mul_signed", {0xF7}, {0, 0, 0xFFFE, 0x0003}, {0, 0, 0xFFFA, 0x0003, 0xFFFF}},
    {"mul_positive", {0xF7}, {0, 0, 0x1234, 0x0100}, {0, 0, 0x3400, 0x0100, 0x0012}},
    {"scf", {0x37}, {0, 0x40}, {0, 0x41}},
    {"ccf", {0x3F}, {0, 0x41}, {0, 0x40}},
};

class Alu : public ::testing::TestWithParam<AluCase> {};

TEST_P(Alu, ResultAndFlags)
{
    const AluCase &c = GetParam();
    Machine m;
    m.code(c.bytes, 0x0100);
    m.s.main[rA] = c.in.a;
    m.s.main[rF] = c.in.f;
    m.s.set_bc(c.in.bc);
    m.s.set_de(c.in.de);
    m.s.set_hl(c.in.hl);
    m.s.ix = kData - 2;
    m.s.iy = kData - 2;
    m.poke_logical(kData, {c.mem_in});
    cpu_step(m.s, m.board);
    ASSERT_EQ(m.s.fault, CpuFault::none);
    EXPECT_EQ(m.s.pc, m.code_end);
    EXPECT_EQ(m.s.main[rA], c.out.a) << "A";
    EXPECT_EQ(m.s.main[rF], c.out.f) << "F";
    EXPECT_EQ(m.s.bc(), c.out.bc) << "BC";
    EXPECT_EQ(m.s.de(), c.out.de) << "DE";
    EXPECT_EQ(m.s.hl(), c.out.hl) << "HL";
    EXPECT_EQ(m.peek_logical(kData), c.mem_out) << "memory";
    EXPECT_EQ(m.s.af2(), 0) << "the alternate set stays untouched";
}

INSTANTIATE_TEST_SUITE_P(All, Alu, ::testing::ValuesIn(kAluCases),
                         [](const auto &i) { return std::string(i.param.name); });

// Conditions of jp cc: nz z nc c lz lo p m, against F.
struct CondCase {
    const char *name;
    uint8_t cc;
    uint8_t f;
    bool taken;
};
// Test output names the case, not its bytes.
void PrintTo(const CondCase &c, std::ostream *os) { *os << c.name; }
const CondCase kCondCases[] = {
    {"nz_taken", 0, 0x00, true}, {"nz_not", 0, 0x40, false}, {"z_taken", 1, 0x40, true},
    {"z_not", 1, 0x00, false},   {"nc_taken", 2, 0x00, true}, {"nc_not", 2, 0x01, false},
    {"c_taken", 3, 0x01, true},  {"c_not", 3, 0x00, false},  {"lz_taken", 4, 0x00, true},
    {"lz_not", 4, 0x04, false},  {"lo_taken", 5, 0x04, true}, {"lo_not", 5, 0x00, false},
    {"p_taken", 6, 0x00, true},  {"p_not", 6, 0x80, false},  {"m_taken", 7, 0x80, true},
    {"m_not", 7, 0x00, false},
};

class Condition : public ::testing::TestWithParam<CondCase> {};

TEST_P(Condition, JpRetAndJrFollowTheFlags)
{
    const CondCase &c = GetParam();
    // jp cc,0x0200
    Machine jp;
    jp.code({uint8_t(0xC2 | c.cc << 3), 0x00, 0x02}, 0x0100);
    jp.s.main[rF] = c.f;
    cpu_step(jp.s, jp.board);
    EXPECT_EQ(jp.s.pc, c.taken ? 0x0200 : 0x0103);

    // ret cc: 8 cycles when taken, 2 when not
    Machine ret;
    ret.code({uint8_t(0xC0 | c.cc << 3)}, 0x0100);
    ret.s.main[rF] = c.f;
    ret.s.sp = 0xDFF0;
    ret.poke_logical(0xDFF0, {0x34, 0x12});
    uint32_t cycles = cpu_step(ret.s, ret.board);
    EXPECT_EQ(ret.s.pc, c.taken ? 0x1234 : 0x0101);
    EXPECT_EQ(ret.s.sp, c.taken ? 0xDFF2 : 0xDFF0);
    EXPECT_EQ(cycles, c.taken ? 8u : 2u);

    if (c.cc < 4) { // jr cc,+0x10
        Machine jr;
        jr.code({uint8_t(0x20 | c.cc << 3), 0x10}, 0x0100);
        jr.s.main[rF] = c.f;
        cpu_step(jr.s, jr.board);
        EXPECT_EQ(jr.s.pc, c.taken ? 0x0112 : 0x0102);
    }
}

INSTANTIATE_TEST_SUITE_P(All, Condition, ::testing::ValuesIn(kCondCases),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
