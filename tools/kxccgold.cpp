// kxccgold: the host model of the programs in tests/data/cc: prints what the program CASE
// (CASE.c there) must print on the board, computed on the host with the target's types (int
// and unsigned of 16 bits, long of 32, char unsigned, IEEE single float) and the results our
// runtime library documents where C leaves them open (TARGET/lib/CONTRACT.md: the most
// negative value divided by -1 is itself; shift counts are taken modulo 32, and a 16-bit value
// shifted by 16 or more gives 0, or -1 for a negative one shifted right; float to an integer
// truncates, then keeps the low bits). The golden files (CASE.out) are its output; a test
// checks that they still are.
//   kxccgold CASE
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using i16 = int16_t;
using u16 = uint16_t;
using i32 = int32_t;
using u32 = uint32_t;

// ---- the target's operators ----------------------------------------------------------------

i16 add16(i16 a, i16 b) { return static_cast<i16>(static_cast<u16>(a + b)); }
i16 sub16(i16 a, i16 b) { return static_cast<i16>(static_cast<u16>(a - b)); }
i16 mul16(i16 a, i16 b) { return static_cast<i16>(static_cast<u16>(static_cast<u32>(a) * static_cast<u32>(b))); }
i16 div16(i16 a, i16 b) { return (a == INT16_MIN && b == -1) ? a : static_cast<i16>(a / b); }
i16 mod16(i16 a, i16 b) { return (a == INT16_MIN && b == -1) ? 0 : static_cast<i16>(a % b); }
i16 shl16(i16 a, int count)
{
    const int k = count & 31;
    return k >= 16 ? 0 : static_cast<i16>(static_cast<u16>(static_cast<u16>(a) << k));
}
i16 sar16(i16 a, int count)
{
    const int k = count & 31;
    return k >= 16 ? (a < 0 ? -1 : 0) : static_cast<i16>(a >> k);
}
u16 shr16(u16 a, int count)
{
    const int k = count & 31;
    return k >= 16 ? 0 : static_cast<u16>(a >> k);
}

i32 add32(i32 a, i32 b) { return static_cast<i32>(static_cast<u32>(a) + static_cast<u32>(b)); }
i32 sub32(i32 a, i32 b) { return static_cast<i32>(static_cast<u32>(a) - static_cast<u32>(b)); }
i32 mul32(i32 a, i32 b) { return static_cast<i32>(static_cast<u32>(a) * static_cast<u32>(b)); }
i32 div32(i32 a, i32 b) { return (a == INT32_MIN && b == -1) ? a : a / b; }
i32 mod32(i32 a, i32 b) { return (a == INT32_MIN && b == -1) ? 0 : a % b; }
i32 shl32(i32 a, int count) { return static_cast<i32>(static_cast<u32>(a) << (count & 31)); }
i32 sar32(i32 a, int count) { return a >> (count & 31); }
u32 shr32(u32 a, int count) { return a >> (count & 31); }

// Float to an integer of `bits`: truncated toward zero, then the low bits (NaN and the
// infinities give 0).
u32 float_bits(float f, int bits)
{
    if (std::isnan(f) || std::isinf(f))
        return 0;
    const int64_t whole = static_cast<int64_t>(std::trunc(static_cast<double>(f)));
    const uint64_t mask = bits == 32 ? 0xFFFFFFFFull : (1ull << bits) - 1;
    return static_cast<u32>(static_cast<uint64_t>(whole) & mask);
}

// %d of an int, %u of an unsigned, %ld of a long, %lu of an unsigned long, %f of a float.
int d(i16 v) { return v; }
unsigned u(u16 v) { return v; }
long ld(i32 v) { return v; }
unsigned long lu(u32 v) { return v; }
double f(float v) { return v; }

// ---- the programs ------------------------------------------------------------------------------

void int16_case()
{
    const i16 values[8] = {7, -7, 100, -100, 32767, -32768, 1, -1};
    const i16 divisors[5] = {3, -3, 7, -1, 2};
    const int counts[7] = {0, 1, 3, 15, 16, 31, 32};
    for (i16 a : values) {
        for (i16 b : divisors)
            std::printf("%d %d: %d %d %d %d %d\n", d(a), d(b), d(add16(a, b)), d(sub16(a, b)),
                        d(mul16(a, b)), d(div16(a, b)), d(mod16(a, b)));
        std::printf("%d: %d %d %d %d %d\n", d(a), d(mul16(a, 3)), d(mul16(a, 10)),
                    d(mul16(a, -5)), d(mul16(a, 256)), 0);
        const u16 w = static_cast<u16>(a);
        std::printf("%u: %u %u %u %u %x %X\n", u(w), u(w / 7), u(w % 7),
                    u(static_cast<u16>(w * 5u)), u(static_cast<u16>(w + 4000u)), u(w), u(w));
        for (int c : counts)
            std::printf("<<%d %d %d %u\n", c, d(shl16(a, c)), d(sar16(a, c)), u(shr16(w, c)));
    }
}

void long_case()
{
    const i32 values[7] = {7, -7, 100000, -100000, 2147483647, INT32_MIN, -1};
    const i32 divisors[4] = {3, -70000, -1, 65536};
    const int counts[8] = {0, 1, 15, 16, 31, 32, 33, 255};
    for (i32 a : values) {
        const u32 ua = static_cast<u32>(a);
        for (i32 b : divisors) {
            const u32 ub = static_cast<u32>(b);
            std::printf("%ld %ld: %ld %ld %ld %ld %ld\n", ld(a), ld(b), ld(add32(a, b)),
                        ld(sub32(a, b)), ld(mul32(a, b)), ld(div32(a, b)), ld(mod32(a, b)));
            std::printf("%lu %lu: %lu %lu %lx\n", lu(ua), lu(ub), lu(ua / ub), lu(ua % ub),
                        lu(ua * ub));
            std::printf("%d%d%d%d%d%d %d%d%d%d\n", a < b, a > b, a <= b, a >= b, a == b, a != b,
                        ua < ub, ua > ub, ua <= ub, ua >= ub);
        }
        for (int c : counts)
            std::printf("<<%d %ld %ld %lu\n", c, ld(shl32(a, c)), ld(sar32(a, c)),
                        lu(shr32(ua, c)));
    }
}

void float_case()
{
    const float values[6] = {1.5f, -2.25f, 0.1f, 1000000.0f, 0.0f, 3.0f};
    for (float a : values) {
        for (float b : values) {
            const float quotient = b == 0 ? 0.0f : a / b;
            std::printf("%f %f: %f %f %f %f", f(a), f(b), f(a + b), f(a - b), f(a * b),
                        f(quotient));
            std::printf(" %d%d%d%d%d%d\n", a < b, a > b, a <= b, a >= b, a == b, a != b);
        }
    }
}

void convert_case()
{
    const i32 sources[6] = {0, 65, 300, -2, 70000, -123456};
    for (i32 l : sources) {
        const uint8_t c = static_cast<uint8_t>(l);
        const i16 n = static_cast<i16>(l);
        std::printf("%ld: %d %d %u %lu %f\n", ld(l), c, d(n), u(static_cast<u16>(l)),
                    lu(static_cast<u32>(l)), f(static_cast<float>(l)));
        const uint8_t c7 = static_cast<uint8_t>(n & 0x7F);
        std::printf(" c %d %u %ld %lu %f\n", c7, u(c7), ld(c7), lu(c7), f(c7));
        std::printf(" i %u %ld %lu %f %d\n", u(static_cast<u16>(n)), ld(n),
                    lu(static_cast<u32>(static_cast<i32>(n))), f(static_cast<float>(n)), c7);
        const u16 w = static_cast<u16>(l);
        std::printf(" u %d %ld %lu %f\n", d(static_cast<i16>(w)), ld(w), lu(w),
                    f(static_cast<float>(w)));
        const u32 ul = static_cast<u32>(l);
        std::printf(" ul %d %u %ld %f\n", d(static_cast<i16>(ul)), u(static_cast<u16>(ul)),
                    ld(static_cast<i32>(ul)), f(static_cast<float>(ul)));
        const float x = static_cast<float>(l) * 1.25f;
        std::printf(" f %f %d %d %u %ld %lu\n", f(x), static_cast<int>(float_bits(x, 8)),
                    d(static_cast<i16>(float_bits(x, 16))), u(static_cast<u16>(float_bits(x, 16))),
                    ld(static_cast<i32>(float_bits(x, 32))), lu(float_bits(x, 32)));
    }
}

void program_case()
{
    struct point {
        i16 x, y;
        i32 weight;
    };
    const point a{3, -4, 100000};
    point b = a;
    b.x = add16(b.x, 5);
    b.weight = mul32(b.weight, 2);
    std::printf("%d %d %ld / %d %d %ld\n", d(a.x), d(a.y), ld(a.weight), d(b.x), d(b.y),
                ld(b.weight));
    const u32 word = 0x12345678;  // stored least significant byte first
    std::printf("%x %x %x %x\n", word & 0xFF, (word >> 8) & 0xFF, (word >> 16) & 0xFF, word >> 24);
    const i16 squares[6] = {0, 1, 4, 9, 16, 25};
    i16 total = 0;
    for (i16 v : squares)
        total = add16(total, v);
    const char name[] = "korvex";
    std::printf("%s %d %d\n", name, d(total), static_cast<int>(sizeof name));
    i16 (*op)(i16) = [](i16 v) { return mul16(v, 2); };
    std::printf("%d", d(op(21)));
    op = [](i16 v) { return sub16(0, v); };
    std::printf(" %d\n", d(op(21)));
    i16 fact7 = 1;
    for (i16 k = 2; k <= 7; ++k)
        fact7 = mul16(fact7, k);
    std::printf("%d %d\n", d(fact7), 1);
    static i16 calls = 10;
    const auto counter = [] { return ++calls; };
    const i16 first = counter(), second = counter();
    std::printf("%d %d %d\n", d(first), d(second), d(counter()));
    const char *dense[] = {"zero", "one", "two", "three", "four"};
    for (int i = -1; i < 7; ++i)
        std::printf("%s ", i >= 0 && i <= 4 ? dense[i] : "many");
    const auto sparse = [](int k) {
        switch (k) {
        case -1000: return 1;
        case 7: return 2;
        case 300: return 3;
        case 30000: return 4;
        default: return 0;
        }
    };
    std::printf("\n%d %d %d %d %d\n", sparse(-1000), sparse(7), sparse(300), sparse(30000),
                sparse(8));
    int i = 0;
    do
        ++i;
    while (i < 5);
    std::printf("goto %d\n", i);
}

void printf_case()
{
    std::printf("[%d] [%i] [%u] [%x] [%X] [%c] [%s] [%%]\n", -42, 42, 65000u, 0xBEEFu, 0xBEEFu,
                'k', "text");
    std::printf("[%6d] [%-6d] [%06d] [%+d] [% d] [%+d]\n", 42, 42, -42, 42, 42, -42);
    std::printf("[%8x] [%-8X] [%08x] [%#x] [%#X]\n", 0x1Fu, 0x1Fu, 0x1Fu, 255u, 255u);
    std::printf("[%10s] [%-10s] [%.2s] [%5c]\n", "abc", "abc", "abc", 'z');
    std::printf("[%ld] [%lu] [%lx] [%12ld] [%-12lu] [%012lx]\n", -100000L, 4000000000UL,
                0xDEADBEEFUL, -7L, 7UL, 0xABCUL);
    std::printf("[%f] [%.2f] [%10.3f] [%-10.1f] [%+.0f] [%#.0f] [%f]\n", f(3.14159f), f(2.5f),
                f(-1.0625f), f(0.5f), f(2.5f), f(3.0f), f(1234567.0f));
    std::printf("[%*d] [%-*d] [%.*f]\n", 5, 1, 5, 1, 3, f(1.5f));
    char buffer[40];
    const int n = std::snprintf(buffer, sizeof buffer, "%s-%d-%x", "id", 12, 255u);
    std::printf("%s %d %d\n", buffer, n, static_cast<int>(std::strlen(buffer)));
}

// xmemcall.c: functions in extended memory reached every way (direct, forward, pointers,
// "#asm", a chain).
i32 xmem_later(int n, i32 v)
{
    for (; n > 0; --n)
        v = add32(mul32(v, 3), n);
    return v;
}

i32 xmem_mixed(int n, i32 v)
{
    i32 acc = v;
    for (int i = 0; i < n; ++i) {
        switch (i & 3) {
        case 0: acc = sub32(mul32(acc, 7), i); break;
        case 1: acc = add32(acc, mul32(mul16(static_cast<i16>(i), 3), 1000)); break;
        case 2: acc = acc ^ 0x5A5A; break;
        default: acc = div32(acc, 3); break;
        }
    }
    return acc;
}

void xmemcall_case()
{
    const i16 triple14 = mul16(14, 3);
    std::printf("%d %d\n", d(triple14), d(add16(mul16(4, 3), sub16(4, 100))));
    std::printf("%ld %ld\n", ld(xmem_later(5, 2)), ld(xmem_mixed(9, 100)));
    std::printf("%ld %ld\n", ld(xmem_mixed(6, -40)), ld(add32(xmem_mixed(5, 1), 1)));
    std::printf("%ld %ld\n", ld(sub32(xmem_later(3, 10), 1)), ld(add32(xmem_later(4, -3), 1)));
    std::printf("%d: %ld\n", 0, ld(xmem_later(2, 50)));
    std::printf("%d: %ld\n", 1, ld(xmem_mixed(3, 50)));
    std::printf("%d: %ld\n", 2, ld(xmem_later(4, 50)));
    std::printf("%d\n", d(mul16(21, 3)));
    std::printf("%d\n", 10);
}

// compare.c: comparisons and logical operators are ints, folded or not.
void compare_case()
{
    std::printf("1 7\n");
    std::printf("2 2 2 2 2\n");
    std::printf("%d %d %d\n", 0.5f == 1.0f / 2.0f, 1, 0);
    std::printf("0 1 1 1\n");
    std::printf("1 0 2\n");
    std::printf("40 3 -1\n");
}

// asmfwd.c: forward references of "#asm" in a function body.
void asmfwd_case() { std::printf("%d %d %d\n", 42, d(mul16(5, 3)), 1234); }

// builtins.c: ipset/ipres and CofuncMaxInstance from C.
void builtins_case() { std::printf("3 7\n"); }

// octal.c: %o as the host's printf gives it, NULL a null pointer (2 bytes).
void octal_case()
{
    std::printf("[%o] [%o] [%5o] [%-5o] [%05o] [%#o] [%#o] [%.3o] [%#5o]\n", 0u, 8u, 64u, 7u, 9u,
                8u, 0u, 5u, 8u);
    std::printf("[%lo] [%12lo] [%#lo] [%o] [%-8lo]\n", 2147483647UL, 65536UL, 8UL, 65535u, 9UL);
    std::printf("1 1 2\n");
}

// fnreturn.c: functions returning pointers to functions, picked and called.
void fnreturn_case()
{
    std::printf("%d %d %d %d %d\n", add16(30, 12), sub16(30, 12), add16(5, 6), 1,
                sub16(100, 1));
}

// xmemread.c: the import of xmemread.txt (its length, then its first line), an xdata table of
// ints, a root buffer written through its physical address (the lowest byte first), the same
// across a 64 KB boundary, and two spans outside the 1 MB physical space refused.
void xmemread_case()
{
    const std::string text = "first line of the import\nsecond line\n";
    std::printf("%zu [%s]\n", text.size(), text.substr(0, text.find('\n')).c_str());
    std::printf("%d %d\n", 10, 40);
    const u16 word = 0x1234;
    const u32 value = 0x56789ABCu;
    std::printf("%x %x %x %" PRIx32 "\n", word & 0xFF, word >> 8, word, value);
    std::printf("kx\n");
    const u32 across = 0x11223344u;
    std::printf("%" PRIx32 " %x %x\n", across, (across >> 8) & 0xFF, (across >> 16) & 0xFF);
    std::printf("-1 -1 z\n");
}

// xmempages.c: 16-bit mixing rounds (acc * 5 + k, then acc ^ (acc >> 3), k counting up from a
// base), spread over long xmem functions that call each other.
u16 mix64(u16 acc, int base)
{
    for (int j = 0; j < 64; ++j) {
        acc = static_cast<u16>(acc * 5u + static_cast<u16>(base + j));
        acc = static_cast<u16>(acc ^ (acc >> 3));
    }
    return acc;
}

u16 mix_a(u16 acc, int rounds)
{
    for (int r = 0; r < rounds; ++r)
        acc = mix64(mix64(acc, r), r + 64);
    return acc;
}

u16 mix_b(u16 acc, int rounds)
{
    for (int r = 0; r < rounds; ++r) {
        acc = mix64(mix64(acc, r * 2), r * 3);
        acc = static_cast<u16>(acc + mix_a(acc, 1));
    }
    return acc;
}

i32 mix_c(u16 (*f)(u16, int), u16 acc)
{
    i32 total = 0;
    for (int r = 0; r < 3; ++r) {
        acc = mix64(mix64(acc, r + 7), r + 9);
        total = static_cast<i32>(static_cast<u32>(total) + f(acc, 2));
    }
    return total;
}

void xmempages_case()
{
    std::printf("%u %u\n", mix_a(1, 1), mix_a(12345, 3));
    std::printf("%u\n", mix_b(7, 2));
    std::printf("%" PRId32 " %" PRId32 "\n", mix_c(mix_a, 3), mix_c(mix_b, 99));
}

// cofunc.c: main's loop of 8 passes. A cofunction that yields y times returns y passes after
// the one it was called in (an abort at once, with -1 as the waitfordone's value); a waitfordone
// goes on to what follows it in the pass its last call returns. The unnamed costatement starts
// again the pass after it ends; the named one ("init_on") runs once.
void cofunc_case()
{
    for (int pass = 0; pass < 8; ++pass) {
        if (pass % 2 == 1)  // twice yields once: called at even passes, back at odd ones
            std::printf("%d: twice %d %d\n", pass, add16(21, 21), 1);
        if (pass == 2)  // acc yields twice, each instance with its own local
            std::printf("%d: acc %d %d\n", pass, add16(10, 1), add16(20, 1));
        if (pass == 4) {  // outer: inner's yield, then its own
            std::printf("%d: outer %d\n", pass, mul16(add16(3, 1), 2));
            std::printf("%d: stop %d %d\n", pass, -1, 7);
        }
        if (pass == 5)
            std::printf("%d: far %d\n", pass, add16(5, 100));
    }
}

struct Case {
    const char *name;
    void (*print)();
};

constexpr Case kCases[] = {
    {"int16", int16_case},     {"long", long_case},       {"float", float_case},
    {"convert", convert_case}, {"program", program_case}, {"printf", printf_case},
    {"xmemcall", xmemcall_case}, {"compare", compare_case}, {"asmfwd", asmfwd_case},
    {"builtins", builtins_case}, {"octal", octal_case}, {"fnreturn", fnreturn_case},
    {"xmemread", xmemread_case}, {"xmempages", xmempages_case}, {"cofunc", cofunc_case},
};

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 2)
        for (const Case &c : kCases)
            if (std::strcmp(argv[1], c.name) == 0) {
                c.print();
                return 0;
            }
    std::fprintf(stderr, "usage: kxccgold CASE (one of:");
    for (const Case &c : kCases)
        std::fprintf(stderr, " %s", c.name);
    std::fprintf(stderr, ")\n");
    return 1;
}
