// The disassembly window's text, shared with the listing: the address column, the instruction
// line with its byte column and its cycle column, and the cycle figure read back from a line.
#include <gtest/gtest.h>

#include "core/CC_ADDR.h"
#include "debugger/DB_DA.h"
#include "debugger/DB_ML.h"

#include <ostream>
#include <string>
#include <vector>

namespace {

struct LineCase {
    const char *name;
    uint32_t address;
    std::vector<uint8_t> bytes;
    const char *mnemonic;
    std::string expected;
    int cycles;  // returned
};
void PrintTo(const LineCase &c, std::ostream *os) { *os << c.name; }

std::string padded(const char *mnemonic) { return " " + (std::string(mnemonic) + std::string(23, ' ')).substr(0, 23); }

const LineCase kLines[] = {
    {"two_bytes_and_two_fillers", 0x1000, {0x3E, 0x12}, "ld a,0x12",
     "   1000 3E12    " + padded("ld a,0x12") + "   4", 4},
    {"call_right_aligned", 0x0123, {0xCD, 0x34, 0x12}, "call 0x1234",
     "   0123 CD3412  " + padded("call 0x1234") + "  12", 12},
    {"xmem_address_column", make_addr(0x12, 0xE345), {0x00}, "nop",
     "12:e345 00      " + padded("nop") + "   2", 2},
    {"block_move", 0x2000, {0xED, 0xB0}, "ldir", "   2000 EDB0    " + padded("ldir") + "6+7n", 0},
    {"block_move_after_ioi", 0x2000, {0xD3, 0xED, 0xB0}, "ioi ldir",
     "   2000 D3EDB0  " + padded("ioi ldir") + "8+6n", 0},
    {"block_move_after_ioe", 0x2000, {0xDB, 0xED, 0xB8}, "ioe lddr",
     "   2000 DBEDB8  " + padded("ioe lddr") + "8+7n", 0},
    {"conditional_return", 0x2000, {0xC0}, "ret nz", "   2000 C0      " + padded("ret nz") + " 8/2", 0},
    {"five_bytes_show_four", 0x2000, {0xDD, 0x36, 0x05, 0x12, 0x99}, "ld (ix+5),0x12",
     "   2000 DD360512" + padded("ld (ix+5),0x12") + "  11", 11},
    {"long_mnemonic_cut_at_23", 0x0, {0x00}, "abcdefghijklmnopqrstuvwxyz",
     "   0000 00      " + padded("abcdefghijklmnopqrstuvw") + "   2", 2},
    {"ioi_fast_pattern", 0x0, {0xD3, 0x77}, "ioi ld (hl),a",
     "   0000 D377    " + padded("ioi ld (hl),a") + "   7", 7},
    {"ioi_slow_pattern", 0x0, {0xD3, 0x7E}, "ioi ld a,(hl)",
     "   0000 D37E    " + padded("ioi ld a,(hl)") + "   7", 7},
    {"altd_prefix_adds_two", 0x0, {0x76, 0x3E, 0x01}, "altd ld a,1",
     "   0000 763E01  " + padded("altd ld a,1") + "   6", 6},
};

class InstructionLine : public ::testing::TestWithParam<LineCase> {
protected:
    void SetUp() override { (void)set_xmem_window(0xE); }
};

TEST_P(InstructionLine, ShowsAddressBytesMnemonicAndCycles)
{
    const LineCase &c = GetParam();
    std::string text;
    const int cycles = formatInstructionLine(c.address, c.bytes,
                                             static_cast<uint16_t>(c.bytes.size()), c.mnemonic, text);
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(cycles, c.cycles);
}

INSTANTIATE_TEST_SUITE_P(All, InstructionLine, ::testing::ValuesIn(kLines),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(CodeAddress, RootAndXmemForms)
{
    (void)set_xmem_window(0xE);
    EXPECT_EQ(formatCodeAddress(0x0000), "   0000 ");
    EXPECT_EQ(formatCodeAddress(make_addr(0x05, 0xDFFF)), "   dfff ") << "root: the XPC is not shown";
    EXPECT_EQ(formatCodeAddress(make_addr(0x05, 0xE000)), "05:e000 ");
    (void)set_xmem_window(0xD);
    EXPECT_EQ(formatCodeAddress(make_addr(0x05, 0xD000)), "05:d000 ") << "the window start decides";
    (void)set_xmem_window(0xE);
}

TEST(CycleColumn, IsReadFromTheLinesByteColumn)
{
    EXPECT_EQ(computeCycles("   0000 DD21    ld ix,0"), 8);
    EXPECT_EQ(computeCycles("   0000 CB46    bit 0,(hl)"), 7);
    EXPECT_EQ(computeCycles("   0000 CB06    rlc (hl)"), 10);
    EXPECT_EQ(computeCycles("   0000 ED44    neg"), 4);
    EXPECT_EQ(computeCycles("   0000 76E3    altd ex de',hl"), 4);
    EXPECT_EQ(computeCycles("   0000 "), 2) << "no bytes read as a nop";
}

// The figures come from the disassembler's one cycle table: every instruction of the page sets
// shows in its line the figure that table gives its bytes.
TEST(CycleColumn, AgreesWithTheCycleTableForEveryInstruction)
{
    for (DisasmPageSet set : {DisasmPageSet::A, DisasmPageSet::B}) {
        selectDisasmPageSet(set);
        for (const std::vector<uint8_t> &bytes : enumerateInstructions(set)) {
            if (bytes.size() > 4)
                continue;  // the line shows only four bytes
            std::string text;
            const int shown = formatInstructionLine(0x1000, bytes,
                                                    static_cast<uint16_t>(bytes.size()), "x", text);
            const int value = instructionCycles(bytes);
            EXPECT_EQ(computeCycles(text), value) << text;
            if (value < 100) {
                EXPECT_EQ(shown, value) << text;
            }
        }
    }
    selectDisasmTables();
}

}  // namespace
