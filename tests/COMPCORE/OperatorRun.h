// The harness of the operator runs: many operations compiled one after the other into one
// block, as the expression parser compiles them (a left value in registers is made pending
// while the right one is computed, then claimed back), each storing its result in its own slot;
// one run on the simulated CPU with the runtime library; the slots read back afterwards.
#pragma once

#include "CodegenFixture.h"

#include "codegen/CC_STUBS.h"
#include "codegen/CC_Z80CALL.h"
#include "codegen/CC_Z80EX.h"
#include "codegen/CC_Z80LOAD.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace codegen_test {

inline uint32_t float_bits(float f)
{
    uint32_t b = 0;
    std::memcpy(&b, &f, sizeof b);
    return b;
}
inline float bits_float(uint32_t b)
{
    float f = 0;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

// Where an operand is when its operator is compiled.
enum class Where : uint8_t {
    memory,    // a variable at a fixed address
    constant,
    registers, // computed into the primary registers (a left one is pushed by a right one)
};
inline const char *where_name(Where w)
{
    return w == Where::memory ? "var" : w == Where::constant ? "const" : "reg";
}

// The shapes every operation is compiled in.
inline const std::vector<std::pair<Where, Where>> &all_shapes()
{
    static const std::vector<std::pair<Where, Where>> shapes = {
        {Where::memory, Where::memory},       {Where::memory, Where::constant},
        {Where::constant, Where::memory},     {Where::registers, Where::memory},
        {Where::memory, Where::registers},    {Where::registers, Where::registers},
        {Where::registers, Where::constant},  {Where::constant, Where::registers},
    };
    return shapes;
}

class OperatorRun : public RuntimeCodegenTest {
protected:
    // What one operation left, for the checks after the run.
    struct Slot {
        std::string what;
        uint16_t address;
        uint16_t type;
        int16_t stack_after;  // the tracked stack offset after the statement
    };

    void SetUp() override
    {
        RuntimeCodegenTest::SetUp();
        m_start = here();
    }
    void TearDown() override
    {
        set_flag_tracking(nullptr);
        RuntimeCodegenTest::TearDown();
    }

    // A variable holding the value (one per type and value).
    uint16_t variable_at(uint16_t type, uint32_t value)
    {
        const auto key = std::make_pair(type, value);
        auto it = m_variables.find(key);
        if (it != m_variables.end())
            return it->second;
        const auto address = static_cast<uint16_t>(kData + 4 * m_variables.size());
        EXPECT_LT(address, kData + 0x100) << "too many operand values for one run";
        for (int b = 0; b < 4; ++b)
            data[static_cast<uint16_t>(address + b)] = static_cast<uint8_t>(value >> (8 * b));
        m_variables.emplace(key, address);
        return address;
    }

    object operand(uint16_t type, uint32_t value, Where where)
    {
        if (where == Where::constant)
            return constant(type, value);
        object o = variable(type, variable_at(type, value));
        if (where == Where::registers)
            gen_load_value(&o);
        return o;
    }

    // Room for a result of `bytes` bytes.
    uint16_t next_slot(uint16_t bytes = 4)
    {
        const auto address = static_cast<uint16_t>(kData + 0x100 + m_used);
        m_used = static_cast<uint16_t>(m_used + bytes);
        EXPECT_LE(address + bytes, kData + kDataSize) << "too many results for one run";
        return address;
    }

    // Compiles `a op b` (types ta, tb) in the given shape and stores the value in a slot.
    // As a condition, the comparison runs with flag tracking on and a jump on its flags
    // decides whether 1 or 0 is stored.
    void operation(const char *op, uint16_t ta, uint32_t a, uint16_t tb, uint32_t b, Where wl,
                   Where wr, bool as_condition = false)
    {
        const uint16_t result_type = std::max(ta, tb);
        const uint16_t out =
            next_slot(as_condition || is_comparison(op) || type_size(result_type) < 4 ? 2 : 4);
        object left = operand(ta, a, wl);
        if (left.kind == 255)
            defer_load(&left, false);
        object right = operand(tb, b, wr);
        (void)claim_pending_value(&left);
        std::string what = std::string(where_name(wl)) + " " + std::to_string(a) + " " + op +
                           " " + where_name(wr) + " " + std::to_string(b);
        if (as_condition) {
            what += " as a condition";
            object zero = constant(2, 0);
            object slot = variable(2, out);
            gen_store(&slot, &zero);
            set_flag_tracking([] { return true; });
            gen_binary_operation(op, &left, &right);
            const BranchRecord jump = gen_conditional_jump(&left, kDummyAddress, 1, false);
            set_flag_tracking(nullptr);
            object one = constant(2, 1);
            object slot1 = variable(2, out);
            gen_store(&slot1, &one);
            patch_jump(jump, here());
            m_slots.push_back({what, out, 2, stack_offset()});
            return;
        }
        gen_binary_operation(op, &left, &right);
        store(left, out);
        m_slots.push_back({what, out, left.type, stack_offset()});
    }

    void store(object &result, uint16_t out)
    {
        object slot = variable(result.type, out, result.declarator);
        if (result.kind == 0) {
            gen_store(&slot, &result);
            return;
        }
        if (result.kind != 255)
            gen_load_value(&result);
        gen_store_registers(&slot);
    }

    // Runs everything compiled since the start; the stack pointer must end where it began.
    void run_all(uint64_t budget = 4000000)
    {
        ASSERT_TRUE(summaries().empty()) << summaries().front();
        const RunResult r = run(m_start, addr_offset(here()), nullptr, budget);
        ASSERT_TRUE(r.stopped) << "stopped at 0x" << std::hex << r.cpu.pc;
        EXPECT_EQ(r.cpu.sp, kStackTop) << "SP after the statements";
        for (const Slot &s : m_slots)
            EXPECT_EQ(s.stack_after, 0) << s.what << ": tracked stack offset";
    }

    // The value a slot holds after the run, in its type's size.
    uint32_t result(const Slot &s) const
    {
        const int size = type_size(s.type) == 0 ? 2 : type_size(s.type);
        uint32_t v = 0;
        for (int b = 0; b < size; ++b)
            v |= uint32_t(ram(static_cast<uint16_t>(s.address + b))) << (8 * b);
        return v;
    }

    const std::vector<Slot> &slots() const { return m_slots; }

    static bool is_comparison(const std::string &op)
    {
        return op == "<" || op == "<=" || op == ">" || op == ">=" || op == "==" || op == "!=";
    }

private:
    uint32_t m_start = 0;
    uint16_t m_used = 0;
    std::map<std::pair<uint16_t, uint32_t>, uint16_t> m_variables;
    std::vector<Slot> m_slots;
};

}  // namespace codegen_test
