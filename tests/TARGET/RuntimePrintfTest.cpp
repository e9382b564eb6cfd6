// printf and sprintf of the runtime library on the simulator against the host's C library:
// each format of the table is run through sprintf (into a buffer) and printf (to the console
// port) with C arguments on the stack as generated code pushes them, and must give exactly
// what the host's snprintf gives for the same values (int16, int32, float promoted to double).
#include "RuntimeCheck.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstring>

using namespace rtlib;

namespace {

// One argument: a 2-byte int, a 4-byte long, a float (4 bytes) or a string (its address).
struct Arg {
    enum Kind { i16, i32, f32, str, null } kind;
    uint32_t value = 0;
    const char *text = nullptr;
};
Arg I(int v) { return {Arg::i16, uint32_t(uint16_t(v)), nullptr}; }
Arg L(long long v) { return {Arg::i32, uint32_t(v), nullptr}; }
Arg F(float v) { return {Arg::f32, std::bit_cast<uint32_t>(v), nullptr}; }
Arg FB(uint32_t bits) { return {Arg::f32, bits, nullptr}; }
Arg S(const char *s) { return {Arg::str, 0, s}; }
Arg N() { return {Arg::null, 0, nullptr}; }

struct PrintfCase {
    const char *name;
    const char *format;
    std::vector<Arg> args;
};
void PrintTo(const PrintfCase &c, std::ostream *os) { *os << c.name; }

const PrintfCase kCases[] = {
    {"plain_text", "hello, world\n", {}},
    {"percent", "100%% sure", {}},
    {"int_edges", "%d %d %d %d %i", {I(0), I(1), I(-1), I(32767), I(-32768)}},
    {"unsigned_and_hex", "%u %x %X %u %x", {I(65535), I(0xBEEF), I(0xBEEF), I(0), I(0)}},
    {"widths", "[%5d][%-5d][%05d][%5u][%-5x]", {I(42), I(42), I(-42), I(7), I(255)}},
    {"signs", "[%+d][% d][%+d][% d][%+05d]", {I(5), I(5), I(-5), I(-5), I(42)}},
    {"alternate_hex", "[%#x][%#X][%#x][%#06x]", {I(255), I(255), I(0), I(255)}},
    {"int_precision", "[%.3d][%.0d][%5.3d][%-6.4d][%05.3d]", {I(5), I(0), I(-5), I(12), I(7)}},
    {"longs", "%ld %ld %lu %lx %lX %li", {L(-70000), L(2147483647), L(4000000000LL), L(0xDEADBEEF),
                                         L(0xDEADBEEF), L(-2147483647LL - 1)}},
    {"long_widths", "[%12ld][%-12lu][%012lx]", {L(-123456789), L(123456789), L(0xABCDEF)}},
    {"chars", "[%c][%5c][%-3c][%05c]", {I('a'), I('b'), I('c'), I('d')}},
    {"strings", "[%s][%8s][%-8s][%.2s][%8.3s][%s]", {S("abc"), S("abc"), S("abc"), S("hello"), S("hello"), S("")}},
    {"null_string", "[%s][%.3s][%8.6s][%-7s]", {N(), N(), N(), N()}},
    {"star_width_and_precision", "[%*d][%-*d][%*d][%.*f][%*.*f]",
     {I(5), I(42), I(5), I(42), I(-4), I(7), I(2), F(3.14159f), I(8), I(1), F(2.75f)}},
    {"float_default", "%f %f %f %f %f", {F(0.0f), F(1.0f), F(-2.5f), F(3.14159f), F(1.0e-7f)}},
    {"float_negative_zero", "%f %.0f %+f", {FB(0x80000000), FB(0x80000000), F(0.0f)}},
    {"float_ties", "%.0f %.0f %.0f %.0f %.1f %.1f %.2f", {F(0.5f), F(1.5f), F(2.5f), F(-2.5f), F(0.25f),
                                                          F(0.75f), F(1.005f)}},
    {"float_widths", "[%10.3f][%-10.2f][%010.4f][%+.2f][% .1f][%#.0f]",
     {F(-3.14159f), F(2.5f), F(-1.5f), F(2.0f), F(9.96f), F(3.0f)}},
    {"float_large", "%f %f %.0f", {F(1.0e30f), FB(0x7F7FFFFF), F(16777217.0f)}},
    {"float_small", "%.10f %.30f %.60f", {F(1.0e-5f), F(1.0e-30f), FB(0x00000001)}},
    {"float_precision_carry", "%.2f %.3f %.1f %.0f", {F(9.999f), F(0.9995f), F(99.95f), F(999.5f)}},
    {"float_integers", "%.0f %.0f %.0f", {F(4294967296.0f), F(1.0e10f), F(123456.0f)}},
    {"float_infinities_and_nans", "[%f][%f][%8f][%-8f][%+f][%08f]",
     {FB(0x7F800000), FB(0xFF800000), FB(0x7F800000), FB(0xFF800000), FB(0x7F800000), FB(0x7FC00000)}},
    {"float_nan_sign", "%f %f", {FB(0x7FC00000), FB(0xFFC00000)}},
    {"unknown_conversions", "[%y][%5y][%-q][%", {}},
    {"length_h_ignored", "%hd %hu", {I(-3), I(3)}},
};

// What the host's snprintf gives: each conversion formatted on its own with its arguments.
std::string host_format(const char *format, const std::vector<Arg> &args)
{
    std::string out;
    size_t next = 0;
    const char *p = format;
    while (*p) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        const char *start = p++;
        while (*p && std::strchr("-0+ #", *p))
            ++p;
        std::vector<int> stars;
        auto read_number = [&] {
            if (*p == '*') {
                stars.push_back(int(int16_t(args.at(next++).value)));
                ++p;
            } else {
                while (*p >= '0' && *p <= '9')
                    ++p;
            }
        };
        read_number();
        if (*p == '.') {
            ++p;
            read_number();
        }
        bool is_long = false;
        while (*p == 'h' || *p == 'l')
            is_long |= *p++ == 'l';
        const char conv = *p;
        if (conv)
            ++p;
        std::string conversion(start, p);
        if (!std::strchr("diuxXcsf%", conv) || conv == 0) {
            out += conversion;  // our printf writes an unknown conversion as it stands
            continue;
        }
        char buf[512];
        auto print = [&](auto value) {
            if (stars.size() == 2)
                std::snprintf(buf, sizeof buf, conversion.c_str(), stars[0], stars[1], value);
            else if (stars.size() == 1)
                std::snprintf(buf, sizeof buf, conversion.c_str(), stars[0], value);
            else
                std::snprintf(buf, sizeof buf, conversion.c_str(), value);
        };
        if (conv == '%') {
            std::snprintf(buf, sizeof buf, "%%");
        } else {
            const Arg &a = args.at(next++);
            switch (conv) {
            case 'd': case 'i':
                if (is_long) print(long(int32_t(a.value)));
                else print(int(int16_t(a.value)));
                break;
            case 'u': case 'x': case 'X':
                if (is_long) print((unsigned long)(a.value));
                else print(unsigned(uint16_t(a.value)));
                break;
            case 'c': print(int(uint8_t(a.value))); break;
            case 's': print(a.kind == Arg::null ? (const char *)nullptr : a.text); break;
            case 'f': print(double(std::bit_cast<float>(a.value))); break;
            default: break;
            }
        }
        out += buf;
    }
    return out;
}

constexpr uint16_t kFormat = 0x8200, kStrings = 0x8400, kBuffer = 0x8800;

// Writes the format and the strings to RAM and returns the arguments' stacked bytes.
std::vector<uint8_t> place(Machine &m, const PrintfCase &c)
{
    std::vector<uint8_t> fmt(c.format, c.format + std::strlen(c.format) + 1);
    m.poke(kFormat, fmt);
    std::vector<uint8_t> stacked = le16(kFormat);
    uint16_t strings = kStrings;
    for (const Arg &a : c.args) {
        std::vector<uint8_t> bytes;
        switch (a.kind) {
        case Arg::i16: bytes = le16(uint16_t(a.value)); break;
        case Arg::i32:
        case Arg::f32: bytes = le32(a.value); break;
        case Arg::null: bytes = le16(0); break;
        case Arg::str: {
            std::vector<uint8_t> text(a.text, a.text + std::strlen(a.text) + 1);
            m.poke(strings, text);
            bytes = le16(strings);
            strings = uint16_t(strings + text.size());
            break;
        }
        }
        stacked.insert(stacked.end(), bytes.begin(), bytes.end());
    }
    return stacked;
}

class RuntimePrintf : public ::testing::TestWithParam<PrintfCase> {};

TEST_P(RuntimePrintf, SprintfGivesWhatTheHostGives)
{
    Machine m;
    const std::string expected = host_format(GetParam().format, GetParam().args);
    std::vector<uint8_t> stacked = le16(kBuffer);
    const std::vector<uint8_t> rest = place(m, GetParam());
    stacked.insert(stacked.end(), rest.begin(), rest.end());
    const CallResult c = m.call("sprintf", Machine::pattern(1), stacked, 5000000);
    ASSERT_EQ(c.end, End::returned);
    std::string got;
    for (uint16_t a = kBuffer; m.peek(a) != 0 && got.size() < 2000; ++a)
        got += char(m.peek(a));
    EXPECT_EQ(got, expected);
    EXPECT_EQ(c.after.hl(), expected.size());
    EXPECT_EQ(c.after.sp, c.entry_sp - stacked.size()) << "the caller removes the arguments";
    EXPECT_EQ(c.after.ix, c.before.ix);
}

TEST_P(RuntimePrintf, PrintfWritesItToTheConsole)
{
    Machine m;
    const std::string expected = host_format(GetParam().format, GetParam().args);
    const CallResult c = m.call("printf", Machine::pattern(2), place(m, GetParam()), 5000000);
    ASSERT_EQ(c.end, End::returned);
    EXPECT_EQ(m.console.output, expected);
    EXPECT_EQ(c.after.hl(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(All, RuntimePrintf, ::testing::ValuesIn(kCases),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
