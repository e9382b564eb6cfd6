// Checks of one runtime routine call against its contract row: the registers the row keeps
// are unchanged, the stack holds what the row says, the result registers are read as the row
// places them. Used by every runtime library test.
#pragma once

#include "RuntimeLibrary.h"
#include "lib/RuntimeContract.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rtlib {

// The row of a name (asserts it exists).
const runtime::Routine &row(const std::string &name);

// The label of a row's routine: its name, except the C functions whose names are mnemonics.
std::string label_of(const runtime::Routine &r);

// The registers the row's result occupies.
uint16_t result_registers(const runtime::Routine &r);

// The first register the row keeps that changed, as "DE: 0x1234 (expected 0x5678)", or "".
// `also` adds registers the caller does not hold to the row's (for example a result).
std::string changed_kept_register(const runtime::Routine &r, const vsim::CpuState &before,
                                  const vsim::CpuState &after, uint16_t also = 0);

// Calls the routine of the row with the operands placed as the row says (`left`, `right`
// as its In shape reads them; stacked operands built from them) on registers patterned by
// `seed`, and checks that it returned with the stack as the row leaves it and every kept
// register unchanged. `problem` gets the first thing that is wrong, else stays empty.
struct RowCall {
    CallResult result;
    std::string problem;
    uint16_t hl() const { return result.after.hl(); }
    uint16_t de() const { return result.after.de(); }
    uint32_t bcde() const { return uint32_t(result.after.bc()) << 16 | result.after.de(); }
    bool zero_flag() const { return result.after.main[vsim::rF] & vsim::kFlagZ; }
};
RowCall call_row(Machine &m, const runtime::Routine &r, uint32_t left, uint32_t right,
                 uint32_t seed);

// "L_add(0x00000001, 0xFFFFFFFF)" and the like, for failure messages.
std::string call_text(const runtime::Routine &r, uint32_t left, uint32_t right);
std::string hex(uint32_t v, int digits);

} // namespace rtlib
