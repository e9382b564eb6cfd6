// Contract checks of runtime routine calls (see the header).
#include "RuntimeCheck.h"

#include <cassert>
#include <cstdio>

using runtime::In;
using runtime::Out;
using runtime::Routine;

namespace rtlib {

const Routine &row(const std::string &name)
{
    const Routine *r = runtime::find_routine(name);
    assert(r && "a routine the contract does not have");
    return *r;
}

std::string label_of(const Routine &r)
{
    if (r.name == "BIT")
        return "bit_test_";
    if (r.name == "SET")
        return "bit_set_";
    if (r.name == "RES")
        return "bit_res_";
    return std::string(r.name);
}

uint16_t result_registers(const Routine &r)
{
    switch (r.out) {
    case Out::hl: return runtime::kHL;
    case Out::hl_de: return runtime::kHL | runtime::kDE;
    case Out::bcde: return runtime::kBCDE;
    case Out::truth_hl: return runtime::kHL;
    case Out::swapped: return runtime::kBCDE;
    case Out::moved: return runtime::kHL | runtime::kDE | runtime::kBC;
    case Out::none:
    case Out::stack_value:
    case Out::memory:
    case Out::jump:
    case Out::frame:
    case Out::resume:
    case Out::behind_table:
    case Out::slice_run:
    case Out::slice_leave:
    case Out::cofunction:
    case Out::zero_flag:
    case Out::no_return: return 0;
    }
    return 0;
}

std::string hex(uint32_t v, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, v);
    return buf;
}

std::string changed_kept_register(const Routine &r, const vsim::CpuState &before,
                                  const vsim::CpuState &after, uint16_t also)
{
    using namespace runtime;
    const uint16_t free = static_cast<uint16_t>(r.changes | result_registers(r) | also);
    struct Byte {
        uint16_t bit;
        const char *name;
        vsim::Reg8 reg;
    };
    static const Byte bytes[] = {
        {kA, "A", vsim::rA}, {kF, "F", vsim::rF}, {kB, "B", vsim::rB}, {kC, "C", vsim::rC},
        {kD, "D", vsim::rD}, {kE, "E", vsim::rE}, {kH, "H", vsim::rH}, {kL, "L", vsim::rL},
    };
    for (const Byte &b : bytes)
        if (!(free & b.bit) && before.main[b.reg] != after.main[b.reg])
            return std::string(b.name) + ": " + hex(after.main[b.reg], 2) + " (expected " +
                   hex(before.main[b.reg], 2) + ")";
    if (!(free & kIX) && before.ix != after.ix)
        return "IX: " + hex(after.ix, 4) + " (expected " + hex(before.ix, 4) + ")";
    if (!(free & kIY) && before.iy != after.iy)
        return "IY: " + hex(after.iy, 4) + " (expected " + hex(before.iy, 4) + ")";
    if (!(free & kAlternates)) {
        static const char *names[] = {"B'", "C'", "D'", "E'", "H'", "L'", "F'", "A'"};
        for (int i = 0; i < 8; ++i)
            if (before.alt[i] != after.alt[i])
                return std::string(names[i]) + ": " + hex(after.alt[i], 2) + " (expected " +
                       hex(before.alt[i], 2) + ")";
    }
    if (before.xpc != after.xpc)
        return "XPC: " + hex(after.xpc, 2) + " (expected " + hex(before.xpc, 2) + ")";
    if (before.ip != after.ip)
        return "IP: " + hex(after.ip, 2) + " (expected " + hex(before.ip, 2) + ")";
    return "";
}

std::string call_text(const Routine &r, uint32_t left, uint32_t right)
{
    const int digits = runtime::stack_size(r.left) == 4 ? 8 : 4;
    std::string text = std::string(r.name) + "(" + hex(left, digits);
    if (r.right != runtime::Ty::none)
        text += ", " + hex(right, runtime::stack_size(r.right) == 4 ? 8 : 4);
    return text + ")";
}

RowCall call_row(Machine &m, const Routine &r, uint32_t left, uint32_t right, uint32_t seed)
{
    RowCall out;
    vsim::CpuState regs = Machine::pattern(seed);
    std::vector<uint8_t> stacked;
    switch (r.in) {
    case In::hl: regs.set_hl(static_cast<uint16_t>(left)); break;
    case In::de_hl:
        regs.set_de(static_cast<uint16_t>(left));
        regs.set_hl(static_cast<uint16_t>(right));
        break;
    case In::hl_a_b:
        regs.set_hl(static_cast<uint16_t>(left));
        regs.main[vsim::rA] = static_cast<uint8_t>(right);
        regs.main[vsim::rB] = static_cast<uint8_t>(right >> 8);
        break;
    case In::stack2_hl:
        stacked = le16(static_cast<uint16_t>(left));
        regs.set_hl(static_cast<uint16_t>(right));
        break;
    case In::bcde:
        regs.set_bc(static_cast<uint16_t>(left >> 16));
        regs.set_de(static_cast<uint16_t>(left));
        break;
    case In::stack4_bcde:
    case In::swap4:
        stacked = le32(left);
        regs.set_bc(static_cast<uint16_t>(right >> 16));
        regs.set_de(static_cast<uint16_t>(right));
        break;
    case In::stack_value:
        stacked = runtime::stack_size(r.left) == 4 ? le32(left) : le16(static_cast<uint16_t>(left));
        break;
    default:
        out.problem = "call_row does not place the operands of " + std::string(r.name);
        return out;
    }
    out.result = m.call(label_of(r), regs, stacked);
    const CallResult &c = out.result;
    if (c.end != End::returned) {
        out.problem = c.end == End::exited ? "ended the program with code " + std::to_string(c.exit_code())
                                           : "did not return";
        return out;
    }
    int expected_sp = c.entry_sp - static_cast<int>(stacked.size()) + r.pops;
    if (r.in == In::stack_value)
        expected_sp = c.entry_sp - runtime::stack_size(r.result);
    if (c.after.sp != static_cast<uint16_t>(expected_sp)) {
        out.problem = "SP: " + hex(c.after.sp, 4) + " (expected " + hex(uint16_t(expected_sp), 4) + ")";
        return out;
    }
    out.problem = changed_kept_register(r, c.before, c.after);
    return out;
}

} // namespace rtlib
