// The runtime library's float routines on the simulator against the host's IEEE single
// arithmetic (round to nearest even): the four operators over every pair of a table of edge
// values (zeros, subnormals, the normal range's ends, infinities, NaNs, ties) and a spread of
// others, the comparisons, negation and not, and every conversion in both directions, each
// call checked against its contract row as well. Results must be bit-equal; a NaN result must
// be the NaN the contract names.
#include "RuntimeCheck.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>

using namespace rtlib;

namespace {

float f32(uint32_t bits) { return std::bit_cast<float>(bits); }
uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }
bool is_nan(uint32_t v) { return (v & 0x7F800000u) == 0x7F800000u && (v & 0x007FFFFFu); }

// The contract's NaN rule: a NaN operand comes back quieted, the left one first; an invalid
// operation gives 0xFFC00000.
uint32_t nan_rule(uint32_t left, uint32_t right, uint32_t host)
{
    if (is_nan(left))
        return left | 0x00400000u;
    if (is_nan(right))
        return right | 0x00400000u;
    return is_nan(host) ? 0xFFC00000u : host;
}

std::vector<uint32_t> float_operands()
{
    std::vector<uint32_t> v = {
        0x00000000, 0x80000000,                          // +0, -0
        0x00000001, 0x80000001, 0x00000003, 0x007FFFFF,  // subnormals
        0x807FFFFF, 0x00400000, 0x00800000, 0x80800000,  // the subnormals' top, smallest normals
        0x00800001, 0x01000000, 0x3F800000, 0xBF800000,  // 1, -1
        0x3F800001, 0x3F7FFFFF, 0x3FC00000, 0x40000000,  // 1 + ulp, 1 - ulp/2, 1.5, 2
        0xC0400000, 0x3DCCCCCD, 0x3EAAAAAB, 0x4B800000,  // -3, 0.1, 1/3, 2^24
        0x4B800001, 0x33800000, 0x34000000, 0x4F000000,  // 2^24 + 2, 2^-24, 2^-23, 2^31
        0x7F000000, 0x7F7FFFFF, 0xFF7FFFFF, 0x7E800000,  // near and at the largest
        0x7149F2CA, 0x0DA24260, 0x7F800000, 0xFF800000,  // 1e30, 1e-30, +inf, -inf
        0x7FC00000, 0x7F800001, 0xFFC00001, 0x7FBFFFFF,  // NaNs, quiet and signalling
    };
    uint32_t x = 2024;
    for (int i = 0; i < 24; ++i) {
        x = x * 1664525u + 1013904223u;
        uint32_t r = x;
        if (i % 3 == 0)  // a moderate exponent, so that operands meet and round
            r = (r & 0x807FFFFFu) | (uint32_t(120 + (r >> 24) % 16) << 23);
        v.push_back(r);
    }
    return v;
}

// Pairs that land exactly halfway between two floats, and a product that does.
const uint32_t kTies[][2] = {
    {0x3F800000, 0x33800000},  // 1 + 2^-24: a tie, stays even
    {0x3F800001, 0x33800000},  // (1 + ulp) + 2^-24: a tie, to the even above
    {0x3F800000, 0x34400000},  // 1 + 3 * 2^-24: above half
    {0x4B800000, 0x3F800000},  // 2^24 + 1: a tie
    {0x4B800001, 0x3F800000},  // 2^24 + 2 + 1: a tie, up
    {0x3F801000, 0x3F801000},  // (1 + 2^-11)^2 = 1 + 2^-10 + 2^-22
    {0x3F800800, 0x3F800800},  // (1 + 2^-12)^2 = 1 + 2^-11 + 2^-24: a tie in the product
    {0x00800000, 0x3F000000},  // the smallest normal / 2: subnormal, exact
    {0x00800001, 0x3F000000},  // an odd one halved: a tie in the subnormals
    {0x7F7FFFFF, 0x3F800001},  // overflow by rounding
};

struct FloatOp {
    const char *name;
    std::function<float(float, float)> host;
};
void PrintTo(const FloatOp &o, std::ostream *os) { *os << o.name; }

const FloatOp kOps[] = {
    {"F_add", [](float a, float b) { return a + b; }},
    {"F_sub", [](float a, float b) { return a - b; }},
    {"F_mul", [](float a, float b) { return a * b; }},
    {"F_div", [](float a, float b) { return a / b; }},
};

class FloatOperator : public ::testing::TestWithParam<FloatOp> {};
TEST_P(FloatOperator, IsBitEqualToTheHost)
{
    Machine m;
    const runtime::Routine &r = row(GetParam().name);
    std::vector<std::pair<uint32_t, uint32_t>> pairs;
    const std::vector<uint32_t> operands = float_operands();
    for (uint32_t a : operands)
        for (uint32_t b : operands)
            pairs.push_back({a, b});
    for (const auto &t : kTies) {
        pairs.push_back({t[0], t[1]});
        pairs.push_back({t[1], t[0]});
        pairs.push_back({t[0] ^ 0x80000000u, t[1]});
    }
    int failures = 0;
    uint32_t seed = 100;
    for (const auto &[a, b] : pairs) {
        const uint32_t expected = nan_rule(a, b, bits(GetParam().host(f32(a), f32(b))));
        const RowCall c = call_row(m, r, a, b, seed++);
        const std::string what = call_text(r, a, b);
        if (!c.problem.empty()) {
            ADD_FAILURE() << what << ": " << c.problem;
        } else if (c.bcde() != expected) {
            ADD_FAILURE() << what << " = " << hex(c.bcde(), 8) << " (expected " << hex(expected, 8) << ", "
                          << f32(a) << " and " << f32(b) << ")";
        } else {
            continue;
        }
        if (++failures >= 8)
            return;
    }
}
// Random operands of nearby magnitudes: every operator rounds, cancels and carries here.
TEST_P(FloatOperator, IsBitEqualToTheHostOnRandomNearbyOperands)
{
    Machine m;
    const runtime::Routine &r = row(GetParam().name);
    uint32_t x = 99991;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    int failures = 0;
    for (int i = 0; i < 1500; ++i) {
        const uint32_t a = (next() & 0x807FFFFFu) | (uint32_t(110 + next() % 36) << 23);
        const uint32_t b = (next() & 0x807FFFFFu) | (uint32_t(110 + next() % 36) << 23);
        const uint32_t expected = nan_rule(a, b, bits(GetParam().host(f32(a), f32(b))));
        const RowCall c = call_row(m, r, a, b, uint32_t(i));
        if (c.problem.empty() && c.bcde() == expected)
            continue;
        ADD_FAILURE() << call_text(r, a, b) << " = " << hex(c.bcde(), 8) << " (expected " << hex(expected, 8)
                      << ") " << c.problem;
        if (++failures >= 8)
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(All, FloatOperator, ::testing::ValuesIn(kOps),
                         [](const auto &i) { return std::string(i.param.name); });

struct FloatCompare {
    const char *name;
    std::function<bool(float, float)> host;
};
void PrintTo(const FloatCompare &o, std::ostream *os) { *os << o.name; }

const FloatCompare kCompares[] = {
    {"cf_eq", [](float a, float b) { return a == b; }}, {"cf_ne", [](float a, float b) { return a != b; }},
    {"cf_lt", [](float a, float b) { return a < b; }},  {"cf_gt", [](float a, float b) { return a > b; }},
    {"cf_le", [](float a, float b) { return a <= b; }}, {"cf_ge", [](float a, float b) { return a >= b; }},
};

class FloatComparison : public ::testing::TestWithParam<FloatCompare> {};
TEST_P(FloatComparison, MatchesTheHostWithNaNUnordered)
{
    Machine m;
    const runtime::Routine &r = row(GetParam().name);
    const std::vector<uint32_t> operands = float_operands();
    int failures = 0;
    uint32_t seed = 300;
    for (uint32_t a : operands)
        for (uint32_t b : operands) {
            const uint16_t expected = GetParam().host(f32(a), f32(b)) ? 1 : 0;
            const RowCall c = call_row(m, r, a, b, seed++);
            if (c.problem.empty() && c.hl() == expected && c.zero_flag() == (expected == 0))
                continue;
            ADD_FAILURE() << call_text(r, a, b) << ": " << (c.problem.empty() ? "HL " + std::to_string(c.hl()) : c.problem)
                          << " (expected " << expected << ")";
            if (++failures >= 8)
                return;
        }
}
INSTANTIATE_TEST_SUITE_P(All, FloatComparison, ::testing::ValuesIn(kCompares),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(FloatUnary, NegFlipsTheSignAndNotIsTrueForZerosOnly)
{
    Machine m;
    uint32_t seed = 400;
    for (uint32_t a : float_operands()) {
        const RowCall n = call_row(m, row("F_neg"), a, 0, seed++);
        ASSERT_TRUE(n.problem.empty()) << n.problem;
        EXPECT_EQ(n.bcde(), a ^ 0x80000000u) << hex(a, 8);
        const RowCall t = call_row(m, row("F_not"), a, 0, seed++);
        ASSERT_TRUE(t.problem.empty()) << t.problem;
        const uint16_t expected = (a & 0x7FFFFFFFu) == 0 ? 1 : 0;
        EXPECT_EQ(t.hl(), expected) << hex(a, 8);
        EXPECT_EQ(t.zero_flag(), expected == 0) << hex(a, 8);
    }
}

// ---- conversions -------------------------------------------------------------------------------

// The low 32 bits of a float truncated toward zero; 0 for NaN and the infinities (and, by
// the same rule, for every float of 2^55 and more, whose low 32 bits are 0).
uint32_t truncated(uint32_t v)
{
    const float f = f32(v);
    if (std::isnan(f) || std::isinf(f) || std::fabs(f) >= 9.0e18f)
        return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(std::trunc(f)));
}

std::vector<uint32_t> integer_operands()
{
    std::vector<uint32_t> v = {0,          1,          2,          3,          0x7F,       0x80,
                               0xFF,       0x100,      0x7FFF,     0x8000,     0xFFFF,     0x10000,
                               0x00FFFFFF, 0x01000000, 0x01000001, 0x01000002, 0x01000003, 0x02000005,
                               0x7FFFFF80, 0x7FFFFFC0, 0x7FFFFFFF, 0x80000000, 0x80000001, 0xFEFFFFFF,
                               0xFF000001, 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFF8000, 0x12345678, 0x9ABCDEF1};
    uint32_t x = 77;
    for (int i = 0; i < 20; ++i) {
        x = x * 1103515245u + 12345u;
        v.push_back(x ^ (x << 7));
    }
    return v;
}

std::vector<uint32_t> conversion_floats()
{
    std::vector<uint32_t> v = float_operands();
    for (float f : {0.5f, -0.5f, 0.999f, 1.5f, -1.5f, 2.5f, -2.5f, 127.9f, 255.5f, 256.0f, -129.0f,
                    32767.9f, 32768.0f, -32768.0f, -32769.0f, 65535.0f, 65536.5f, 2147483520.0f,
                    2147483648.0f, 4294967040.0f, 4294967296.0f, -2147483648.0f, -2147483904.0f,
                    1.0e10f, -1.0e10f, 3.6028797e16f, 9.2233720e18f, 1.0e19f, -1.0e19f})
        v.push_back(bits(f));
    return v;
}

struct Conversion {
    const char *name;
    bool from_float;
    std::function<uint32_t(uint32_t)> model;
};
void PrintTo(const Conversion &c, std::ostream *os) { *os << c.name; }

const Conversion kRegisterConversions[] = {
    {"Hi_Bl", false, [](uint32_t v) { return uint32_t(int32_t(int16_t(v))); }},
    {"Hc_Bf", false, [](uint32_t v) { return bits(float(uint8_t(v))); }},
    {"Hi_Bf", false, [](uint32_t v) { return bits(float(int16_t(v))); }},
    {"Hu_Bf", false, [](uint32_t v) { return bits(float(uint16_t(v))); }},
    {"Bl_Bf", false, [](uint32_t v) { return bits(float(int32_t(v))); }},
    {"Bg_Bf", false, [](uint32_t v) { return bits(float(v)); }},
    {"Bf_Hc", true, [](uint32_t v) { return truncated(v) & 0xFF; }},
    {"Bf_Hi", true, [](uint32_t v) { return truncated(v) & 0xFFFF; }},
    {"Bf_Hu", true, [](uint32_t v) { return truncated(v) & 0xFFFF; }},
    {"Bf_Bl", true, [](uint32_t v) { return truncated(v); }},
    {"Bf_Bg", true, [](uint32_t v) { return truncated(v); }},
};

// The stack forms: the same conversions reached through the stacked value.
const Conversion kStackConversions[] = {
    {"C__L", false, [](uint32_t v) { return v & 0xFF; }},
    {"C__G", false, [](uint32_t v) { return v & 0xFF; }},
    {"C__F", false, [](uint32_t v) { return bits(float(uint8_t(v))); }},
    {"I__L", false, [](uint32_t v) { return uint32_t(int32_t(int16_t(v))); }},
    {"I__G", false, [](uint32_t v) { return uint32_t(int32_t(int16_t(v))); }},
    {"I__F", false, [](uint32_t v) { return bits(float(int16_t(v))); }},
    {"U__L", false, [](uint32_t v) { return v & 0xFFFF; }},
    {"U__G", false, [](uint32_t v) { return v & 0xFFFF; }},
    {"U__F", false, [](uint32_t v) { return bits(float(uint16_t(v))); }},
    {"L__F", false, [](uint32_t v) { return bits(float(int32_t(v))); }},
    {"G__F", false, [](uint32_t v) { return bits(float(v)); }},
    {"F__C", true, [](uint32_t v) { return truncated(v) & 0xFF; }},
    {"F__I", true, [](uint32_t v) { return truncated(v) & 0xFFFF; }},
    {"F__U", true, [](uint32_t v) { return truncated(v) & 0xFFFF; }},
    {"F__L", true, [](uint32_t v) { return truncated(v); }},
    {"F__G", true, [](uint32_t v) { return truncated(v); }},
};

void run_conversion(const Conversion &c)
{
    Machine m;
    const runtime::Routine &r = row(c.name);
    const std::vector<uint32_t> values = c.from_float ? conversion_floats() : integer_operands();
    int failures = 0;
    uint32_t seed = 500;
    for (uint32_t raw : values) {
        // A 2-byte operand gets the value's low 16 bits; a char's high byte must not count.
        const uint32_t v = runtime::stack_size(r.left) == 4 ? raw : (raw & 0xFFFF);
        const uint32_t expected = c.model(v);
        const RowCall call = call_row(m, r, v, 0, seed++);
        uint32_t got = 0;
        if (call.problem.empty()) {
            if (r.out == runtime::Out::stack_value) {
                const uint16_t sp = call.result.after.sp;
                got = runtime::stack_size(r.result) == 4 ? uint32_t(m.peek16(uint16_t(sp + 2))) << 16 | m.peek16(sp)
                                                          : m.peek16(sp);
            } else {
                got = r.out == runtime::Out::hl ? call.hl() : call.bcde();
            }
            if (got == expected)
                continue;
        }
        ADD_FAILURE() << call_text(r, v, 0) << ": "
                      << (call.problem.empty() ? hex(got, 8) + " (expected " + hex(expected, 8) + ")"
                                               : call.problem);
        if (++failures >= 8)
            return;
    }
}

class RegisterConversion : public ::testing::TestWithParam<Conversion> {};
TEST_P(RegisterConversion, MatchesTheHost) { run_conversion(GetParam()); }
INSTANTIATE_TEST_SUITE_P(All, RegisterConversion, ::testing::ValuesIn(kRegisterConversions),
                         [](const auto &i) { return std::string(i.param.name); });

class StackConversion : public ::testing::TestWithParam<Conversion> {};
TEST_P(StackConversion, ReplacesTheStackedValue) { run_conversion(GetParam()); }
INSTANTIATE_TEST_SUITE_P(All, StackConversion, ::testing::ValuesIn(kStackConversions),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
