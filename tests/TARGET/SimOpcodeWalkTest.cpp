// Walks every instruction that the disassembler decodes, on both page sets, through the
// simulator: each must execute (not stop as undefined), take as many bytes as the disassembler
// says (for instructions that do not branch), and count the cycles the debug windows show.
#include "SimBoard.h"
#include "SimCpu.h"
#include "SimCycles.h"

#include "debugger/DB_DA.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

using namespace vsim;

namespace {

struct WalkCase {
    std::string name;
    DisasmPageSet set;
    std::vector<uint8_t> bytes;
};

void PrintTo(const WalkCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string hex_name(const std::vector<uint8_t> &bytes)
{
    std::string n;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        n += buf;
    }
    return n;
}

std::vector<WalkCase> all_instructions()
{
    std::vector<WalkCase> cases;
    for (DisasmPageSet set : {DisasmPageSet::A, DisasmPageSet::B}) {
        const char *prefix = set == DisasmPageSet::A ? "A_" : "B_";
        for (auto &bytes : enumerateInstructions(set)) {
            // A prefix alone is walked in front of ld a,(hl), the instruction it modifies.
            if (bytes.size() == 1 && (bytes[0] == 0x76 || bytes[0] == 0xD3 || bytes[0] == 0xDB))
                bytes.push_back(0x7E);
            cases.push_back({prefix + hex_name(bytes), set, bytes});
        }
    }
    return cases;
}

// Mnemonics that repeat until BC is 0: their cycles depend on the count.
bool repeats(const std::string &text)
{
    static const char *const kRepeat[] = {"ldir", "lddr", "lsir", "lsdr", "ldisr", "lddsr",
                                          "lsidr", "lsddr", "uma", "ums"};
    for (const char *m : kRepeat) {
        std::string mn(m);
        if (text.compare(0, mn.size(), mn) == 0 && (text.size() == mn.size() || text[mn.size()] == ' '))
            return true;
    }
    return false;
}

// Mnemonics whose next PC is not the following instruction.
bool branches(const std::string &text)
{
    static const char *const kFlow[] = {"jp ", "jr ", "djnz", "call", "lcall", "ljp", "ret",
                                        "reti", "lret", "rst", "syscall"};
    for (const char *m : kFlow) {
        std::string mn(m);
        if (text.compare(0, mn.size(), mn) == 0)
            return true;
    }
    return false;
}

class OpcodeWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(OpcodeWalk, ExecutesWithDecodedLength)
{
    const WalkCase &c = GetParam();
    selectDisasmPageSet(c.set);
    uint16_t length = 0;
    std::string text;
    disassembleOne(0x1000, c.bytes, length, text);
    if (text.compare(0, 4, "altd") == 0 || text.compare(0, 3, "ioi") == 0 ||
        text.compare(0, 3, "ioe") == 0 || c.bytes[0] == 0x76)
        text = text.substr(text.find(' ') + 1); // judge the prefixed instruction
    ASSERT_EQ(length, c.bytes.size()) << text;

    SimBoard board;
    ASSERT_TRUE(board.load(0x1000, c.bytes));
    CpuState s;
    cpu_reset(s, c.set == DisasmPageSet::B ? CpuModel::r3000 : CpuModel::r2000);
    s.pc = 0x1000;
    s.sp = 0x9000;
    s.set_bc(1); // block moves and uma/ums take one step
    uint32_t cycles = cpu_step(s, board);
    ASSERT_EQ(s.fault, CpuFault::none) << "undefined: " << text;
    if (!branches(text)) {
        EXPECT_EQ(s.pc, 0x1000 + length) << text;
    }
    uint32_t shown = instruction_cycle_value(c.bytes);
    if (!repeats(text) && shown != kCyclesCondReturn) {
        EXPECT_EQ(cycles, shown) << text;
    }
    EXPECT_GT(cycles, 0u) << text;
}

INSTANTIATE_TEST_SUITE_P(All, OpcodeWalk, ::testing::ValuesIn(all_instructions()),
                         [](const auto &i) { return i.param.name; });

// The simulator counts the figures that the disassembly window shows for each instruction.
TEST(SimCycleFigures, MatchTheDisassemblyWindow)
{
    for (const WalkCase &c : all_instructions()) {
        selectDisasmPageSet(c.set);
        uint16_t length = 0;
        std::string text;
        disassembleOne(0x1000, c.bytes, length, text);
        EXPECT_EQ(int(instruction_cycle_value(c.bytes)), instructionCycles(c.bytes))
            << c.name << " " << text;
    }
}

} // namespace
