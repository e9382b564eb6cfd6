// SimCycles: clock-cycle figures of the Vireon instructions (see SimCycles.h). They are the
// disassembler's cycle table (DB_DA), expanded from the assembler's instruction forms: the one
// table that the debug windows show and the CPU core counts by. The core adds the per-byte
// figures of the repeating block moves itself.
#include "SimCycles.h"

#include "debugger/DB_DA.h"

namespace vsim {

const CycleTables &cycle_tables()
{
    static const CycleTables tables = [] {
        const ::CycleTables &shown = ::cycleTables();
        return CycleTables{shown.main, shown.cb, shown.dd, shown.ed};
    }();
    return tables;
}

uint32_t ioi_extra_cycles(uint32_t next4)
{
    return static_cast<uint32_t>(ioiExtraCycles(next4));
}

uint32_t instruction_cycle_value(std::span<const uint8_t> bytes)
{
    return static_cast<uint32_t>(instructionCycles(bytes));
}

} // namespace vsim
