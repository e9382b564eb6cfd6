// One cycle table: what the disassembly window's cycle column shows for an instruction is what
// the simulator spends on it, the block moves by their "base+per-byte n" notation included.
#include <gtest/gtest.h>

#include "debugger/DB_DA.h"
#include "debugger/DB_ML.h"
#include "SimMachine.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using simtest::Machine;

struct ColumnCase {
    const char *name;
    std::vector<uint8_t> bytes;
    const char *mnemonic;
    const char *column;  // the line's last four characters
};
void PrintTo(const ColumnCase &c, std::ostream *os) { *os << c.name; }

const ColumnCase kColumns[] = {
    {"ldir", {0xED, 0xB0}, "ldir", "6+7n"},
    {"lddr", {0xED, 0xB8}, "lddr", "6+7n"},
    {"ioi_ldir", {0xD3, 0xED, 0xB0}, "ioi ldir", "8+6n"},
    {"ioi_lddr", {0xD3, 0xED, 0xB8}, "ioi lddr", "8+6n"},
    {"ioe_ldir", {0xDB, 0xED, 0xB0}, "ioe ldir", "8+7n"},
    {"and_ix_de", {0xDD, 0xDC}, "and ix,de", "   4"},
    {"and_iy_de", {0xFD, 0xDC}, "and iy,de", "   4"},
    {"or_ix_de", {0xDD, 0xEC}, "or ix,de", "   4"},
    {"or_iy_de", {0xFD, 0xEC}, "or iy,de", "   4"},
    {"call", {0xCD, 0x00, 0x10}, "call 0x1000", "  12"},
    {"ld_a_n", {0x3E, 0x12}, "ld a,0x12", "   4"},
};

// The cycles a column stands for when the instruction moves `n` bytes.
uint32_t column_cycles(const std::string &column, uint32_t n)
{
    if (column.find('n') != std::string::npos)
        return uint32_t(column[0] - '0') + uint32_t(column[2] - '0') * n;
    return uint32_t(std::atoi(column.c_str()));
}

class CycleColumn : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(CycleColumn, IsWhatTheSimulatorSpends)
{
    const ColumnCase &c = GetParam();
    selectDisasmPageSet(DisasmPageSet::A);
    std::string line;
    (void)formatInstructionLine(0x0100, c.bytes, uint16_t(c.bytes.size()), c.mnemonic, line);
    const std::string column = line.substr(line.size() - 4);
    EXPECT_EQ(column, c.column);
    for (const uint32_t n : {1u, 3u}) {
        Machine m;
        m.code(c.bytes, 0x0100);
        m.s.set_bc(uint16_t(n));
        m.s.set_hl(simtest::kData);
        m.s.set_de(uint16_t(simtest::kData + 0x40));
        EXPECT_EQ(m.finish_instruction(), column_cycles(column, n)) << "n = " << n;
        ASSERT_EQ(m.s.fault, vsim::CpuFault::none);
    }
    selectDisasmTables();
}

INSTANTIATE_TEST_SUITE_P(All, CycleColumn, ::testing::ValuesIn(kColumns),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
