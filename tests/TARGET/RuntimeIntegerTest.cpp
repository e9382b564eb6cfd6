// The runtime library's integer routines on the simulator against a host model (int16_t,
// uint16_t, int32_t, uint32_t): every routine over a table of edge operands and a spread of
// others, each call checked against its contract row (kept registers, stack) and its result
// against the model. Division by zero must end the program with its run-time error at the call.
#include "RuntimeCheck.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>

using namespace rtlib;

namespace {

// The library assembles without a message, and has every routine of the contract.
TEST(RuntimeImage, AssemblesWithoutMessages)
{
    const Image &image = runtime_image();
    for (const std::string &m : image.messages)
        ADD_FAILURE() << m;
    EXPECT_LT(image.bytes.size(), 0x6000u) << "the runtime must fit the root code below 0x6000";
}

TEST(RuntimeImage, DefinesEveryRoutineOfTheContract)
{
    const Image &image = runtime_image();
    for (const runtime::Routine &r : runtime::kRoutines)
        EXPECT_TRUE(image.globals.count(label_of(r))) << r.name;
    EXPECT_TRUE(image.globals.count("__xexit__"));
    EXPECT_TRUE(image.globals.count("biosmain"));
}

// Operands: the edges every routine must get right, then a deterministic spread.
std::vector<uint32_t> operands16()
{
    std::vector<uint32_t> v = {0,      1,      2,      3,      7,      10,     15,     16,
                               17,     31,     32,     33,     255,    256,    1000,   0x1234,
                               0x7FFE, 0x7FFF, 0x8000, 0x8001, 0xEDCC, 0xFC18, 0xFF00, 0xFFF0,
                               0xFFF9, 0xFFFE, 0xFFFF};
    uint32_t x = 12345;
    for (int i = 0; i < 13; ++i) {
        x = x * 1103515245u + 12345u;
        v.push_back((x >> 8) & 0xFFFF);
    }
    return v;
}

std::vector<uint32_t> operands32()
{
    std::vector<uint32_t> v = {0u,          1u,          2u,          3u,          7u,
                               10u,         15u,         16u,         31u,         32u,
                               33u,         63u,         255u,        256u,        0x0000FFFFu,
                               0x00010000u, 0x00012345u, 1000000u,    0x12345678u, 0x7FFFFFFEu,
                               0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0xEDCBA988u, 0xFFF0BDC0u,
                               0xFFFF0000u, 0xFFFFFFF9u, 0xFFFFFFFEu, 0xFFFFFFFFu};
    uint32_t x = 67890;
    for (int i = 0; i < 11; ++i) {
        x = x * 1664525u + 1013904223u;
        v.push_back(x);
    }
    return v;
}

int16_t s16(uint32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }
int32_t s32(uint32_t v) { return static_cast<int32_t>(v); }

// A model's answer: the result, or the run-time error the routine must end the program with.
struct Expect {
    uint32_t value = 0;
    uint32_t second = 0;  // the remainder of c_div and c_udv
    int error = 0;
};

using Model = std::function<Expect(uint32_t left, uint32_t right)>;

struct Case {
    const char *name;
    Model model;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

Expect value(uint32_t v) { return {v, 0, 0}; }
Expect error(int code) { return {0, 0, code}; }

Expect div16(int32_t l, int32_t r, bool is_signed)
{
    if (r == 0)
        return error(runtime::kErrDivide);
    if (is_signed && l == -32768 && r == -1)
        return {0x8000, 0, 0};
    return {static_cast<uint16_t>(l / r), static_cast<uint16_t>(l % r), 0};
}

Expect div32(uint32_t l, uint32_t r, bool is_signed, bool remainder)
{
    if (r == 0)
        return error(remainder ? runtime::kErrLongModulus : runtime::kErrLongDivide);
    if (!is_signed)
        return value(remainder ? l % r : l / r);
    if (l == 0x80000000u && r == 0xFFFFFFFFu)
        return value(remainder ? 0 : 0x80000000u);
    return value(static_cast<uint32_t>(remainder ? s32(l) % s32(r) : s32(l) / s32(r)));
}

uint16_t shl16(uint32_t v, uint32_t n)
{
    n &= 31;
    return n >= 16 ? 0 : static_cast<uint16_t>(v << n);
}

const Case kInt16Cases[] = {
    {"c_div", [](uint32_t l, uint32_t r) { return div16(s16(l), s16(r), true); }},
    {"c_udv", [](uint32_t l, uint32_t r) { return div16(uint16_t(l), uint16_t(r), false); }},
    {"c_asl", [](uint32_t l, uint32_t r) { return value(shl16(l, r)); }},
    {"c_asr",
     [](uint32_t l, uint32_t r) {
         const uint32_t n = r & 31;
         return value(static_cast<uint16_t>(s16(l) >> (n >= 16 ? 15 : n)));
     }},
    {"c_usr",
     [](uint32_t l, uint32_t r) {
         const uint32_t n = r & 31;
         return value(n >= 16 ? 0 : static_cast<uint16_t>(uint16_t(l) >> n));
     }},
    {"x_", [](uint32_t l, uint32_t r) { return value(uint16_t(l ^ r)); }},
    {"c_neg", [](uint32_t l, uint32_t) { return value(static_cast<uint16_t>(-l)); }},
    {"c_com", [](uint32_t l, uint32_t) { return value(static_cast<uint16_t>(~l)); }},
};

const Case kInt32Cases[] = {
    {"L_add", [](uint32_t l, uint32_t r) { return value(l + r); }},
    {"L_sub", [](uint32_t l, uint32_t r) { return value(l - r); }},
    {"G_mul", [](uint32_t l, uint32_t r) { return value(l * r); }},
    {"L_div", [](uint32_t l, uint32_t r) { return div32(l, r, true, false); }},
    {"G_div", [](uint32_t l, uint32_t r) { return div32(l, r, false, false); }},
    {"L_mod", [](uint32_t l, uint32_t r) { return div32(l, r, true, true); }},
    {"G_mod", [](uint32_t l, uint32_t r) { return div32(l, r, false, true); }},
    {"L_asl", [](uint32_t l, uint32_t r) { return value(l << (r & 31)); }},
    {"L_asr", [](uint32_t l, uint32_t r) { return value(static_cast<uint32_t>(s32(l) >> (r & 31))); }},
    {"G_asr", [](uint32_t l, uint32_t r) { return value(l >> (r & 31)); }},
    {"L_and", [](uint32_t l, uint32_t r) { return value(l & r); }},
    {"L_or", [](uint32_t l, uint32_t r) { return value(l | r); }},
    {"L_xor", [](uint32_t l, uint32_t r) { return value(l ^ r); }},
    {"L_com", [](uint32_t l, uint32_t) { return value(~l); }},
    {"L_neg", [](uint32_t l, uint32_t) { return value(0u - l); }},
    {"L_not", [](uint32_t l, uint32_t) { return value(l == 0); }},
    {"eq_4", [](uint32_t l, uint32_t r) { return value(l == r); }},
    {"neq_4", [](uint32_t l, uint32_t r) { return value(l != r); }},
    {"cl_lt", [](uint32_t l, uint32_t r) { return value(s32(l) < s32(r)); }},
    {"cl_gt", [](uint32_t l, uint32_t r) { return value(s32(l) > s32(r)); }},
    {"cl_le", [](uint32_t l, uint32_t r) { return value(s32(l) <= s32(r)); }},
    {"cl_ge", [](uint32_t l, uint32_t r) { return value(s32(l) >= s32(r)); }},
    {"cg_lt", [](uint32_t l, uint32_t r) { return value(l < r); }},
    {"cg_gt", [](uint32_t l, uint32_t r) { return value(l > r); }},
    {"cg_le", [](uint32_t l, uint32_t r) { return value(l <= r); }},
    {"cg_ge", [](uint32_t l, uint32_t r) { return value(l >= r); }},
};

// Runs one routine over the operand table (left only for one-operand routines) and reports
// at most a few failures, each with its operands.
void run_model(const Case &c, const std::vector<uint32_t> &operands)
{
    Machine m;
    const runtime::Routine &r = row(c.name);
    const bool unary = r.right == runtime::Ty::none;
    int failures = 0;
    uint32_t seed = 1;
    for (uint32_t left : operands) {
        for (uint32_t right : operands) {
            if (failures >= 5)
                return;
            const Expect e = c.model(left, right);
            const std::string what = call_text(r, left, right);
            if (e.error) {
                vsim::CpuState regs = Machine::pattern(seed++);
                std::vector<uint8_t> stacked;
                if (r.in == runtime::In::de_hl) {
                    regs.set_de(uint16_t(left));
                    regs.set_hl(uint16_t(right));
                } else {
                    stacked = le32(left);
                    regs.set_bc(uint16_t(right >> 16));
                    regs.set_de(uint16_t(right));
                }
                const CallResult res = m.call(label_of(r), regs, stacked);
                if (res.end != End::exited || res.exit_code() != e.error ||
                    res.fault() != Machine::kReturn - 3 || res.after.main[vsim::rH] != 0) {
                    ADD_FAILURE() << what << ": expected run-time error " << e.error
                                  << " at the call " << hex(Machine::kReturn - 3, 4) << ", got "
                                  << (res.end == End::exited ? "code " + std::to_string(res.exit_code()) +
                                                                   " at " + hex(res.fault(), 4)
                                                             : std::string("no exit"));
                    ++failures;
                }
                continue;
            }
            const RowCall call = call_row(m, r, left, right, seed++);
            if (!call.problem.empty()) {
                ADD_FAILURE() << what << ": " << call.problem;
                ++failures;
                continue;
            }
            uint32_t got = 0;
            switch (r.out) {
            case runtime::Out::hl:
            case runtime::Out::truth_hl: got = call.hl(); break;
            case runtime::Out::hl_de: got = call.hl(); break;
            case runtime::Out::bcde: got = call.bcde(); break;
            default: break;
            }
            const int digits = r.out == runtime::Out::bcde ? 8 : 4;
            if (got != e.value) {
                ADD_FAILURE() << what << ": " << hex(got, digits) << " (expected " << hex(e.value, digits) << ")";
                ++failures;
            } else if (r.out == runtime::Out::hl_de && call.de() != e.second) {
                ADD_FAILURE() << what << ": remainder DE " << hex(call.de(), 4) << " (expected "
                              << hex(e.second, 4) << ")";
                ++failures;
            } else if (r.out == runtime::Out::truth_hl && call.zero_flag() != (got == 0)) {
                ADD_FAILURE() << what << ": the Z flag does not follow HL " << got;
                ++failures;
            }
            if (unary)
                break;
        }
    }
}

class Int16Routine : public ::testing::TestWithParam<Case> {};
TEST_P(Int16Routine, MatchesTheHostModel) { run_model(GetParam(), operands16()); }
INSTANTIATE_TEST_SUITE_P(All, Int16Routine, ::testing::ValuesIn(kInt16Cases),
                         [](const auto &i) { return std::string(i.param.name); });

class Int32Routine : public ::testing::TestWithParam<Case> {};
TEST_P(Int32Routine, MatchesTheHostModel) { run_model(GetParam(), operands32()); }
INSTANTIATE_TEST_SUITE_P(All, Int32Routine, ::testing::ValuesIn(kInt32Cases),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
