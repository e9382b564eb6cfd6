// The binary operators run on the simulated F80 with the runtime library: every operator of
// every arithmetic type over its edge values, each operation compiled with its operands in
// memory, constant and in registers in every combination, against the answer of C on the
// target's types (shift counts modulo 32, the runtime's documented division results); floats
// against the compile-time fold of the same constants, bit for bit. The stack pointer ends
// where it began and the tracked stack offset is back at 0 after every statement.
#include "OperatorRun.h"

#include <cmath>
#include <limits>
#include <ostream>

namespace {

using namespace codegen_test;

// ---- what C gives on the target's types ------------------------------------------------------------

// 16-bit operations; shift counts modulo 32 (a count of 16 to 31 shifts everything out).
uint32_t word_answer(const std::string &op, uint32_t a, uint32_t b, bool is_signed)
{
    const int64_t x = is_signed ? int64_t(int16_t(a)) : int64_t(uint16_t(a));
    const int64_t y = is_signed ? int64_t(int16_t(b)) : int64_t(uint16_t(b));
    const uint32_t count = b & 31;
    int64_t r = 0;
    if (op == "+") r = x + y;
    else if (op == "-") r = x - y;
    else if (op == "*") r = x * y;
    else if (op == "/") r = x / y;
    else if (op == "%") r = x % y;
    else if (op == "<<") r = count >= 16 ? 0 : x << count;
    else if (op == ">>") r = count >= 16 ? (x < 0 ? -1 : 0) : x >> count;
    else if (op == "&") r = x & y;
    else if (op == "|") r = x | y;
    else if (op == "^") r = x ^ y;
    else if (op == "<") r = x < y;
    else if (op == "<=") r = x <= y;
    else if (op == ">") r = x > y;
    else if (op == ">=") r = x >= y;
    else if (op == "==") r = x == y;
    else if (op == "!=") r = x != y;
    return static_cast<uint32_t>(r) & 0xFFFF;
}

// 32-bit operations; the most negative value divided by -1 is itself, remainder 0.
uint32_t long_answer(const std::string &op, uint32_t a, uint32_t b, bool is_signed)
{
    const int64_t x = is_signed ? int64_t(int32_t(a)) : int64_t(a);
    const int64_t y = is_signed ? int64_t(int32_t(b)) : int64_t(b);
    const uint32_t count = b & 31;
    int64_t r = 0;
    if (op == "+") r = x + y;
    else if (op == "-") r = x - y;
    else if (op == "*") r = static_cast<int64_t>(static_cast<uint64_t>(x) * static_cast<uint64_t>(y));
    else if (op == "/") r = x / y;
    else if (op == "%") r = x % y;
    else if (op == "<<") r = static_cast<int64_t>(static_cast<uint64_t>(x) << count);
    else if (op == ">>") r = x >> count;
    else if (op == "&") r = x & y;
    else if (op == "|") r = x | y;
    else if (op == "^") r = x ^ y;
    else if (op == "<") return x < y;
    else if (op == "<=") return x <= y;
    else if (op == ">") return x > y;
    else if (op == ">=") return x >= y;
    else if (op == "==") return x == y;
    else if (op == "!=") return x != y;
    return static_cast<uint32_t>(r);
}

// ---- int and unsigned int --------------------------------------------------------------------------------

struct Pair {
    uint32_t a;
    uint32_t b;
};
struct WordCase {
    const char *name;
    const char *op;
    uint16_t type;  // 2 int, 3 unsigned
    std::vector<Pair> pairs;
};
void PrintTo(const WordCase &c, std::ostream *os) { *os << c.name; }

constexpr uint32_t s(int32_t v) { return static_cast<uint32_t>(v); }

const WordCase kWordCases[] = {
    {"int_add", "+", 2, {{32767, 1}, {s(-32768), s(-1)}, {s(-1), 1}, {100, s(-200)}, {7, 3},
                         {7, s(-3)}, {s(-32768), 2}, {0, 5}, {5, 0}}},
    {"int_subtract", "-", 2, {{s(-32768), 1}, {0, 1}, {5, 3}, {3, 5}, {s(-1), s(-1)},
                              {100, s(-4)}, {32767, s(-1)}, {0, 9}}},
    {"int_multiply", "*", 2, {{200, 200}, {s(-3), 7}, {77, 10}, {123, s(-4)}, {3, 64},
                              {s(-5), 40}, {0, 5}, {1, 5}, {s(-1), 32767}, {9, 12}}},
    {"int_divide", "/", 2, {{s(-7), 2}, {7, s(-2)}, {32767, s(-1)}, {s(-32768), s(-1)},
                            {s(-9), 8}, {s(-9), s(-8)}, {100, 3}, {0, 5}, {5, 1},
                            {s(-32768), 2}, {1000, s(-32768)}, {s(-32767), s(-32768)}}},
    {"int_modulo", "%", 2, {{s(-7), 2}, {7, s(-2)}, {s(-32768), s(-1)}, {100, 7}, {0, 3},
                            {5, 1}, {s(-9), 8}}},
    {"int_shift_left", "<<", 2, {{1, 0}, {1, 1}, {1, 15}, {1, 16}, {1, 17}, {1, 255},
                                 {s(-3), 4}}},
    {"int_shift_right", ">>", 2, {{s(-32768), 0}, {s(-32768), 1}, {s(-32768), 15},
                                  {s(-32768), 16}, {s(-32768), 17}, {s(-32768), 255},
                                  {12345, 3}}},
    {"int_and", "&", 2, {{0x1234, 0x0FF0}, {s(-1), 0x5555}, {0, s(-32768)}}},
    {"int_or", "|", 2, {{0x1234, 0x0FF0}, {s(-1), 0x5555}, {0, s(-32768)}}},
    {"int_xor", "^", 2, {{0x1234, 0x0FF0}, {s(-1), 0x5555}, {0, s(-32768)}}},
    {"unsigned_add", "+", 3, {{65535, 1}, {32767, 1}, {65535, 65535}, {7, 2}}},
    {"unsigned_subtract", "-", 3, {{0, 1}, {32768, 1}, {5, 3}, {3, 5}}},
    {"unsigned_multiply", "*", 3, {{65535, 65535}, {300, 300}, {1000, 10}, {7, 7}}},
    {"unsigned_divide", "/", 3, {{65535, 2}, {65535, 8}, {65535, 32768}, {40000, 3},
                                 {65535, 65535}, {0, 9}, {9, 1}}},
    {"unsigned_modulo", "%", 3, {{65535, 2}, {65535, 10}, {40000, 3}, {7, 65535}}},
    {"unsigned_shift_left", "<<", 3, {{1, 0}, {1, 15}, {1, 16}, {1, 17}, {65535, 255}}},
    {"unsigned_shift_right", ">>", 3, {{65535, 0}, {65535, 1}, {32768, 15}, {65535, 16},
                                       {65535, 17}, {65535, 255}}},
    {"unsigned_xor", "^", 3, {{0xFFFF, 0x8001}, {0x1234, 0x4321}}},
};

class WordOperators : public OperatorRun, public ::testing::WithParamInterface<WordCase> {};

TEST_P(WordOperators, AnswerAsC)
{
    const WordCase &c = GetParam();
    for (const Pair &p : c.pairs)
        for (const auto &[wl, wr] : all_shapes())
            operation(c.op, c.type, p.a, c.type, p.b, wl, wr);
    run_all();
    size_t i = 0;
    for (const Pair &p : c.pairs)
        for (size_t n = 0; n < all_shapes().size(); ++n, ++i)
            EXPECT_EQ(result(slots()[i]), word_answer(c.op, p.a, p.b, c.type == 2))
                << slots()[i].what;
}

INSTANTIATE_TEST_SUITE_P(All, WordOperators, ::testing::ValuesIn(kWordCases),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- comparisons of int and unsigned int ------------------------------------------------------------------

struct ComparisonCase {
    const char *name;
    const char *op;
    uint16_t type;
    bool as_condition;
};
void PrintTo(const ComparisonCase &c, std::ostream *os) { *os << c.name; }

std::vector<ComparisonCase> comparison_cases()
{
    static const std::pair<const char *, const char *> kOps[] = {
        {"less", "<"}, {"less_equal", "<="}, {"greater", ">"}, {"greater_equal", ">="},
        {"equal", "=="}, {"not_equal", "!="}};
    std::vector<ComparisonCase> cases;
    static std::vector<std::string> names;
    names.reserve(48);
    for (uint16_t type : {uint16_t(2), uint16_t(3)})
        for (const auto &[name, op] : kOps)
            for (bool condition : {false, true}) {
                names.push_back(std::string(type == 2 ? "int_" : "unsigned_") + name +
                                (condition ? "_as_condition" : "_as_value"));
                cases.push_back({names.back().c_str(), op, type, condition});
            }
    return cases;
}

class WordComparisons : public OperatorRun,
                        public ::testing::WithParamInterface<ComparisonCase> {};

TEST_P(WordComparisons, AnswerAsC)
{
    const ComparisonCase &c = GetParam();
    const std::vector<uint32_t> values =
        c.type == 2 ? std::vector<uint32_t>{s(-32768), s(-1), 0, 1, 32766, 32767}
                    : std::vector<uint32_t>{0, 1, 32768, 65535};
    const std::pair<Where, Where> shapes[] = {{Where::memory, Where::memory},
                                              {Where::memory, Where::constant},
                                              {Where::constant, Where::memory}};
    std::vector<Pair> done;
    for (uint32_t a : values)
        for (uint32_t b : values)
            for (const auto &[wl, wr] : shapes) {
                operation(c.op, c.type, a, c.type, b, wl, wr, c.as_condition);
                done.push_back({a, b});
            }
    run_all();
    for (size_t i = 0; i < done.size(); ++i)
        EXPECT_EQ(result(slots()[i]), word_answer(c.op, done[i].a, done[i].b, c.type == 2))
            << slots()[i].what;
}

INSTANTIATE_TEST_SUITE_P(All, WordComparisons, ::testing::ValuesIn(comparison_cases()),
                         [](const auto &i) { return std::string(i.param.name); });

// Values computed into registers take every arrangement of a comparison too.
TEST_F(OperatorRun, ComparisonsOfComputedValues)
{
    std::vector<std::pair<std::string, Pair>> done;
    for (const char *op : {"<", "<=", ">", ">=", "==", "!="})
        for (const Pair &p : {Pair{s(-5), 3}, Pair{3, s(-5)}, Pair{7, 7}})
            for (const auto &[wl, wr] : all_shapes()) {
                if (wl != Where::registers && wr != Where::registers)
                    continue;
                operation(op, 2, p.a, 2, p.b, wl, wr);
                done.push_back({op, p});
            }
    run_all();
    for (size_t i = 0; i < done.size(); ++i)
        EXPECT_EQ(result(slots()[i]), word_answer(done[i].first, done[i].second.a,
                                                  done[i].second.b, true))
            << slots()[i].what;
}

// ---- long and unsigned long ------------------------------------------------------------------------------

struct LongCase {
    const char *name;
    uint16_t type;  // 4 long, 5 unsigned long
    std::vector<const char *> ops;
    std::vector<Pair> pairs;
};
void PrintTo(const LongCase &c, std::ostream *os) { *os << c.name; }

const LongCase kLongCases[] = {
    {"long_additive", 4, {"+", "-"},
     {{0x7FFFFFFF, 1}, {0x80000000, s(-1)}, {0x80000000, 1}, {s(-1), 1}, {0x10000, s(-1)}}},
    {"long_multiplicative", 4, {"*", "/", "%"},
     {{0x80000000, s(-1)}, {s(-7), 2}, {7, s(-2)}, {65536, 65536}, {0x7FFFFFFF, 3},
      {s(-100000), 7}}},
    {"long_shifts", 4, {"<<", ">>"},
     {{1, 31}, {1, 32}, {1, 33}, {0x80000000, 31}, {0x80000000, 32}, {0x80000000, 33},
      {s(-12345), 4}}},
    {"long_bitwise", 4, {"&", "|", "^"}, {{0x12345678, 0x0F0F0F0F}, {s(-1), 0x80000001}}},
    {"long_comparisons", 4, {"<", "<=", ">", ">=", "==", "!="},
     {{0x7FFFFFFF, 0x80000000}, {0x80000000, 0x7FFFFFFF}, {s(-1), 0}, {5, 5}}},
    {"unsigned_long_arithmetic", 5, {"+", "-", "*", "/", "%"},
     {{0xFFFFFFFF, 1}, {0x80000000, 3}, {0xFFFFFFFF, 0xFFFFFFFF}, {0, 7}}},
    {"unsigned_long_shifts", 5, {"<<", ">>"},
     {{0xFFFFFFFF, 31}, {0xFFFFFFFF, 32}, {0x80000000, 33}}},
    {"unsigned_long_comparisons", 5, {"<", "<=", ">", ">=", "==", "!="},
     {{0x7FFFFFFF, 0x80000000}, {0xFFFFFFFF, 0}, {9, 9}}},
};

class LongOperators : public OperatorRun, public ::testing::WithParamInterface<LongCase> {};

TEST_P(LongOperators, AnswerAsC)
{
    const LongCase &c = GetParam();
    const std::pair<Where, Where> shapes[] = {
        {Where::memory, Where::memory},    {Where::memory, Where::constant},
        {Where::constant, Where::memory},  {Where::registers, Where::registers},
        {Where::memory, Where::registers}, {Where::registers, Where::constant}};
    std::vector<std::pair<const char *, Pair>> done;
    for (const char *op : c.ops)
        for (const Pair &p : c.pairs)
            for (const auto &[wl, wr] : shapes) {
                operation(op, c.type, p.a, c.type, p.b, wl, wr);
                done.push_back({op, p});
            }
    run_all();
    for (size_t i = 0; i < done.size(); ++i) {
        const std::string op = done[i].first;
        const uint32_t expected = long_answer(op, done[i].second.a, done[i].second.b, c.type == 4);
        EXPECT_EQ(result(slots()[i]), is_comparison(op) ? expected & 0xFFFF : expected)
            << slots()[i].what;
    }
}

INSTANTIATE_TEST_SUITE_P(All, LongOperators, ::testing::ValuesIn(kLongCases),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- float ----------------------------------------------------------------------------------------------

// The run gives what the compile-time fold of the same two constants gives.
struct FloatCase {
    const char *name;
    std::vector<const char *> ops;
};
void PrintTo(const FloatCase &c, std::ostream *os) { *os << c.name; }

const FloatCase kFloatCases[] = {
    {"additive", {"+", "-"}},
    {"multiplicative", {"*", "/"}},
    {"order", {"<", "<=", ">", ">="}},
    {"equality", {"==", "!="}},
};

class FloatOperators : public OperatorRun, public ::testing::WithParamInterface<FloatCase> {};

TEST_P(FloatOperators, AgreeWithTheFold)
{
    const float kInf = std::numeric_limits<float>::infinity();
    const std::vector<std::pair<float, float>> pairs = {
        {1.5f, 2.25f}, {-0.0f, 0.0f}, {3.0f, -7.0f}, {1e30f, 1e30f}, {1.0f, 3.0f},
        {-kInf, 2.0f}, {16777216.0f, 1.0f}, {1e-40f, 2.0f}};
    const std::pair<Where, Where> shapes[] = {{Where::memory, Where::memory},
                                              {Where::constant, Where::memory},
                                              {Where::registers, Where::registers}};
    std::vector<std::pair<std::string, object>> folded;
    for (const char *op : GetParam().ops)
        for (const auto &[x, y] : pairs)
            for (const auto &[wl, wr] : shapes) {
                if (std::string(op) == "/" && y == 0.0f)
                    continue;  // a constant divisor 0 is refused at compile time
                operation(op, 7, float_bits(x), 7, float_bits(y), wl, wr);
                object a = constant(7, float_bits(x));
                object b = constant(7, float_bits(y));
                gen_binary_operation(op, &a, &b);
                folded.emplace_back(op, a);
            }
    run_all();
    for (size_t i = 0; i < folded.size(); ++i) {
        const object &f = folded[i].second;
        // A comparison folds to an int, as it runs.
        if (is_comparison(folded[i].first)) {
            EXPECT_EQ(f.type, 2) << folded[i].first << ": " << slots()[i].what;
        }
        EXPECT_EQ(result(slots()[i]), f.value) << slots()[i].what;
    }
}

INSTANTIATE_TEST_SUITE_P(All, FloatOperators, ::testing::ValuesIn(kFloatCases),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- char operands, pointers --------------------------------------------------------------------------------

// A char operand is widened: the sum of two chars, and a char and a small constant, are ints.
TEST_F(OperatorRun, CharOperandsGiveInts)
{
    operation("+", 1, 200, 1, 100, Where::memory, Where::memory);
    operation("+", 1, 255, 2, 1, Where::memory, Where::constant);
    operation("-", 1, 0, 2, 2, Where::memory, Where::constant);
    operation("*", 1, 200, 1, 2, Where::registers, Where::memory);
    operation("<", 1, 200, 1, 100, Where::memory, Where::memory);
    run_all();
    const uint32_t expected[] = {300, 256, 0xFFFE, 400, 0};
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(result(slots()[i]), expected[i]) << slots()[i].what;
}

// Pointer arithmetic counts elements of the pointed-to type: 2 bytes for int, 7 for an array
// of 7 chars; the difference of two pointers counts elements, negative when the first is below.
TEST_F(OperatorRun, PointerArithmeticScales)
{
    constexpr uint32_t kIntPointer = kDeclPointer;
    constexpr uint32_t kRowPointer = kDeclPointer | (kDeclArray << 4);  // char (*)[7]
    static const uint16_t kRow[] = {7};
    const uint16_t p_at = variable_at(2, 0x8200);  // p == 0x8200
    const uint16_t q_at = variable_at(2, 0x81F0);
    auto pointer = [](uint16_t at, uint32_t declarator) {
        object o = variable(2, at, declarator);
        return o;
    };
    const uint16_t out0 = next_slot();
    {
        object p = pointer(p_at, kIntPointer);
        object three = constant(2, 3);
        gen_binary_operation("+", &p, &three);  // p + 3
        store(p, out0);
    }
    object p3 = pointer(p_at, kIntPointer);
    object three = constant(2, 3);
    gen_binary_operation("+", &p3, &three);
    defer_load(&p3, false);
    object p = pointer(p_at, kIntPointer);
    (void)claim_pending_value(&p3);
    gen_binary_operation("-", &p3, &p);  // (p + 3) - p
    const uint16_t out1 = next_slot();
    store(p3, out1);
    object q = pointer(q_at, kIntPointer);
    object p2 = pointer(p_at, kIntPointer);
    gen_binary_operation("-", &q, &p2);  // q - p, q 16 bytes below
    const uint16_t out2 = next_slot();
    store(q, out2);
    object row = variable(1, p_at, kRowPointer);
    row.dims = kRow;
    row.dim_count = 1;
    object i = variable(2, variable_at(2, 2));
    gen_binary_operation("+", &row, &i);  // row + i, i == 2
    const uint16_t out3 = next_slot();
    store(row, out3);
    // 3 + p with both computed: the 3 lies on the stack under p when the scaling needs it.
    object ic = variable(2, variable_at(2, 3));
    gen_load_value(&ic);
    defer_load(&ic, false);
    object pc = pointer(p_at, kIntPointer);
    gen_load_value(&pc);
    (void)claim_pending_value(&ic);
    gen_binary_operation("+", &ic, &pc);
    const uint16_t out4 = next_slot();
    store(ic, out4);
    EXPECT_EQ(stack_offset(), 0);
    run_all();
    auto word = [this](uint16_t at) { return uint16_t(ram(at) | ram(uint16_t(at + 1)) << 8); };
    EXPECT_EQ(word(out0), 0x8206);
    EXPECT_EQ(word(out1), 3);
    EXPECT_EQ(word(out2), 0xFFF8) << "-8 elements";
    EXPECT_EQ(word(out3), 0x8200 + 14);
    EXPECT_EQ(word(out4), 0x8206);
}

// A char left in A and an int computed into HL after it: the char goes below the int on the
// stack as an int, and both arrive.
TEST_F(OperatorRun, ByteInAAndWordInRegisters)
{
    for (const char *op : {"+", "-", "<"}) {
        object c = variable(1, variable_at(1, 200));
        gen_load_value_as_int(&c);
        ASSERT_TRUE(obj_flag(&c, inByteRegister));
        defer_load(&c, false);
        object i = variable(2, variable_at(2, s(-1000)));
        gen_load_value(&i);
        (void)claim_pending_value(&c);
        gen_binary_operation(op, &c, &i);
        const uint16_t out = next_slot(2);
        store(c, out);
    }
    run_all();
    const uint16_t expected[] = {static_cast<uint16_t>(200 - 1000), 1200, 0};
    for (size_t n = 0; n < std::size(expected); ++n) {
        const auto at = static_cast<uint16_t>(kData + 0x100 + 2 * n);
        EXPECT_EQ(ram(at) | ram(static_cast<uint16_t>(at + 1)) << 8, expected[n]) << n;
    }
}

// ---- the edges of division ------------------------------------------------------------------------------

// Dividing by a variable 0 ends the program through the runtime's error exit with code 240
// ("Integer divide by zero"), within the budget.
TEST_F(OperatorRun, DivisionByAVariableZeroEndsWithTheRuntimeError)
{
    const uint32_t start = here();
    object x = variable(2, variable_at(2, 5));
    object zero = variable(2, variable_at(2, 0));
    gen_binary_operation("/", &x, &zero);
    const uint16_t trap = rtlib::runtime_image().at("__xexit__");
    const RunResult r = run(start, trap, nullptr, 100000);
    ASSERT_TRUE(r.stopped) << "the division did not reach the error exit";
    EXPECT_EQ(r.cpu.main[vsim::rL], 240);
}

}  // namespace
