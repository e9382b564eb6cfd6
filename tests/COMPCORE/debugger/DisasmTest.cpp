// The disassembler: texts and lengths of the special cases, the revision-dependent page set,
// flow classes and the cycle figures of the disassembly text.
#include "AsmTestSupport.h"
#include "codegen/CC_ASMTAB.h"
#include "debugger/DB_DA.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct DisCase {
    const char *name;
    DisasmPageSet set;
    uint32_t address;
    std::vector<uint8_t> bytes;
    const char *text;
    uint16_t length;
};

const DisCase kDis[] = {
    {"nop", DisasmPageSet::A, 0, {0x00}, "nop    ", 1},
    {"undefined_ed", DisasmPageSet::A, 0, {0xED, 0x75}, "???    ", 2},
    {"syscall_3000", DisasmPageSet::B, 0, {0xED, 0x75}, "syscall", 2},
    {"idet_3000", DisasmPageSet::B, 0, {0x5B}, "idet   ", 1},
    {"ld_e_e_2000", DisasmPageSet::A, 0, {0x5B}, "ld     e,e", 1},
    {"altd_ld", DisasmPageSet::A, 0, {0x76, 0x7F}, "ld     a',a", 2},
    {"altd_add", DisasmPageSet::A, 0, {0x76, 0x80}, "add`   a,b", 2},
    {"altd_memory_dest", DisasmPageSet::A, 0, {0x76, 0x77}, "altd   ld     (hl),a", 2},
    // A seven-letter mnemonic has no blank for the mark: the prefix stays in front.
    {"altd_syscall", DisasmPageSet::B, 0, {0x76, 0xED, 0x75}, "altd   syscall", 3},
    {"altd_setusr", DisasmPageSet::B, 0, {0x76, 0xED, 0x6F}, "setusr`", 3},
    {"ioi_ld", DisasmPageSet::A, 0, {0xD3, 0x3A, 0x00, 0xC0}, "ioi ld     a,(0xC000)", 4},
    {"ix_disp", DisasmPageSet::A, 0, {0xDD, 0x7E, 0x05}, "ld     a,(ix+5)", 3},
    {"iy_negative", DisasmPageSet::A, 0, {0xFD, 0x7E, 0xFB}, "ld     a,(iy-5)", 3},
    {"jr_self", DisasmPageSet::A, 0x1000, {0x18, 0xFE}, "jr     0x1000", 2},
    {"ld_hl_ix", DisasmPageSet::A, 0, {0xDD, 0x7C}, "ld     hl,ix", 2},
    {"ld_iy_hl", DisasmPageSet::A, 0, {0xFD, 0x7D}, "ld     iy,hl", 2},
    {"ipset_2", DisasmPageSet::A, 0, {0xED, 0x4E}, "ipset  2", 2},
    {"ipset_1", DisasmPageSet::A, 0, {0xED, 0x56}, "ipset  1", 2},
    {"ljp", DisasmPageSet::A, 0, {0xC7, 0x56, 0x34, 0x12}, "ljp    0x123456", 4},
    {"e4_no_prefix", DisasmPageSet::A, 0, {0xE4, 0x02}, "ld     hl,(ix+2)", 2},
    {"e4_dd", DisasmPageSet::A, 0, {0xDD, 0xE4, 0x02}, "ld     hl,(hl+2)", 3},
    {"ex_sp_ix", DisasmPageSet::A, 0, {0xDD, 0xE3}, "ex     (sp),ix", 2},
    {"ex_de_alt", DisasmPageSet::A, 0, {0xE3}, "ex     de',hl", 1},
    {"bit_ix", DisasmPageSet::A, 0, {0xDD, 0xCB, 0x05, 0x5E}, "bit    3,(ix+5)", 4},
    {"lone_prefix", DisasmPageSet::A, 0, {0xDD, 0x00}, "???    ", 1},
    {"z180_call_cc", DisasmPageSet::Z180, 0, {0xC4, 0x34, 0x12}, "call   nz,0x1234", 3},
    {"z180_ex_sp", DisasmPageSet::Z180, 0, {0xE3}, "ex     (sp),hl", 1},
    {"z180_rst_0", DisasmPageSet::Z180, 0, {0xC7}, "rst    0x00", 1},
};

// Every test leaves the page set and the target as it found them.
class DisasmTest : public ::testing::Test {
    AsmStateGuard m_guard;
};
using DisasmTables = DisasmTest;
using DisasmCycles = DisasmTest;

class Disassemble : public ::testing::TestWithParam<DisCase> {
    AsmStateGuard m_guard;
};

TEST_P(Disassemble, TextAndLength)
{
    const DisCase &c = GetParam();
    selectDisasmPageSet(c.set);
    uint16_t len = 0;
    std::string text;
    disassembleOne(c.address, c.bytes, len, text);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(len, c.length);
    EXPECT_EQ(instructionLength(c.bytes, true), c.length);
}

INSTANTIATE_TEST_SUITE_P(Cases, Disassemble, ::testing::ValuesIn(kDis),
                         [](const auto &i) { return std::string(i.param.name); });

// Symbol names: operands whose format asks for one show the name that the installed lookup
// gives their address; other operands, and addresses without a name, stay numbers.
std::optional<std::string> test_symbols(uint32_t address)
{
    switch (address) {
    case 0x1234: return "main";
    case 0x8100: return "counter";
    case 0x0AE345: return "xfunc";
    default: return std::nullopt;
    }
}

struct SymbolCase {
    const char *name;
    std::vector<uint8_t> bytes;
    const char *with_lookup;
    const char *without;
};

const SymbolCase kSymbolCases[] = {
    {"call", {0xCD, 0x34, 0x12}, "call   main", "call   0x1234"},
    {"jp", {0xC3, 0x34, 0x12}, "jp     main", "jp     0x1234"},
    {"jp_cc", {0xCA, 0x34, 0x12}, "jp     z,main", "jp     z,0x1234"},
    {"ld_pair_immediate", {0x21, 0x00, 0x81}, "ld     hl,counter", "ld     hl,0x8100"},
    {"ld_a_memory", {0x3A, 0x00, 0x81}, "ld     a,(counter)", "ld     a,(0x8100)"},
    {"ld_memory_hl", {0x22, 0x00, 0x81}, "ld     (counter),hl", "ld     (0x8100),hl"},
    {"lcall_page", {0xCF, 0x45, 0xE3, 0x0A}, "lcall  xfunc", "lcall  0x0AE345"},
    {"ljp_other_page", {0xC7, 0x45, 0xE3, 0x0B}, "ljp    0x0BE345", "ljp    0x0BE345"},
    {"no_name", {0xCD, 0x00, 0x20}, "call   0x2000", "call   0x2000"},
    {"byte_immediate", {0x3E, 0x34}, "ld     a,0x34", "ld     a,0x34"},
};

class DisassembleSymbols : public ::testing::TestWithParam<SymbolCase> {
    AsmStateGuard m_guard;

protected:
    void TearDown() override { setDisasmSymbolLookup(nullptr); }
};

TEST_P(DisassembleSymbols, NamesFromTheInstalledLookup)
{
    const SymbolCase &c = GetParam();
    selectDisasmPageSet(DisasmPageSet::A);
    uint16_t len = 0;
    std::string text;
    disassembleOne(0, c.bytes, len, text);
    EXPECT_EQ(text, c.without) << "no lookup installed";
    setDisasmSymbolLookup(&test_symbols);
    disassembleOne(0, c.bytes, len, text);
    EXPECT_EQ(text, c.with_lookup);
    EXPECT_EQ(len, c.bytes.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, DisassembleSymbols, ::testing::ValuesIn(kSymbolCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(DisasmTables, SelectionFollowsCpuFlagAndRevision)
{
    set_asm_target(1, 257);
    selectDisasmTables();
    EXPECT_EQ(currentDisasmPageSet(), DisasmPageSet::B);
    set_asm_target(1, 0);
    selectDisasmTables();
    EXPECT_EQ(currentDisasmPageSet(), DisasmPageSet::A);
    set_asm_target(0, 0);
    selectDisasmTables();  // the Z180 flag leaves the tables as they are
    EXPECT_EQ(currentDisasmPageSet(), DisasmPageSet::A);
    set_asm_target(1, 0);
}

TEST_F(DisasmTables, IndexPageDefinesEightOpcodes)
{
    const DisasmPages &p = disasmPages(DisasmPageSet::A);
    std::vector<int> defined;
    for (int op = 0; op < 256; ++op)
        if (p.index[op].mnemonic != kIndexPageUseMain) defined.push_back(op);
    EXPECT_EQ(defined, (std::vector<int>{0x64, 0x65, 0x6C, 0x6D, 0x7C, 0x7D, 0xE4, 0xF4}));
}

TEST_F(DisasmTables, FlowClassesOfTheVireonSet)
{
    selectDisasmPageSet(DisasmPageSet::A);
    const LengthTables &t = lengthTables(false);
    std::vector<int> jumps, returns, calls, restarts;
    for (int op = 0; op < 256; ++op) {
        switch (t.l0[op] >> 4) {
        case kFlowJump: jumps.push_back(op); break;
        case kFlowReturn: returns.push_back(op); break;
        case kFlowCall: calls.push_back(op); break;
        case kFlowRestart: restarts.push_back(op); break;
        default: break;
        }
    }
    EXPECT_EQ(jumps, (std::vector<int>{0x10, 0x18, 0x20, 0x28, 0x30, 0x38, 0xC2, 0xC3, 0xC7, 0xCA,
                                       0xD2, 0xDA, 0xE2, 0xE9, 0xEA, 0xF2, 0xFA}));
    EXPECT_EQ(returns, (std::vector<int>{0xC0, 0xC8, 0xC9, 0xD0, 0xD8, 0xE0, 0xE8, 0xF0, 0xF8}));
    EXPECT_EQ(calls, (std::vector<int>{0xCD, 0xCF}));
    EXPECT_EQ(restarts, (std::vector<int>{0xD7, 0xDF, 0xE7, 0xEF, 0xFF}));
    EXPECT_EQ(t.lx[0x65], 3);
    EXPECT_EQ(t.lx[0x6D], 3);
    std::vector<uint8_t> call{0xCD, 0, 0};
    EXPECT_EQ(instructionFlow(call), kFlowCall);
}

TEST_F(DisasmTables, BytesPastTheEndReadAsZero)
{
    selectDisasmPageSet(DisasmPageSet::A);
    std::vector<uint8_t> one{0xED};
    EXPECT_EQ(instructionLength(one, true), 2);  // ED 00: undefined, its table length
    uint16_t len = 0;
    std::string text;
    disassembleOne(0, std::span<const uint8_t>(one.data(), 1), len, text);
    EXPECT_EQ(text, "???    ");
}

struct CycleCase {
    const char *name;
    std::vector<uint8_t> bytes;
    int cycles;
};

const CycleCase kCycles[] = {
    {"nop", {0x00}, 2},         {"ld_bc_nn", {0x01, 0, 0}, 6}, {"ld_b_n", {0x06, 0}, 4},
    {"jr", {0x18, 0}, 5},       {"ld_hl_nn", {0x21, 0, 0}, 6}, {"ld_hl_n", {0x36, 0}, 7},
    {"ld_a_hl", {0x7E}, 5},     {"jp", {0xC3, 0, 0}, 7},       {"ret", {0xC9}, 8},
    {"call", {0xCD, 0, 0}, 12}, {"rst38", {0xFF}, 8},          {"ret_cc", {0xC0}, 255},
    {"bit_hl", {0xCB, 0x46}, 7}, {"rlc_hl", {0xCB, 0x06}, 10}, {"res_hl", {0xCB, 0x86}, 10},
    {"rlc_b", {0xCB, 0x00}, 4}, {"add_ix", {0xDD, 0x09}, 4},   {"ld_ix_nn", {0xDD, 0x21, 0, 0}, 8},
    {"ld_mem_ix", {0xDD, 0x22, 0, 0}, 15}, {"ld_ix_mem", {0xDD, 0x2A, 0, 0}, 13},
    {"inc_ixd", {0xDD, 0x34, 0}, 12}, {"ld_ixd_n", {0xFD, 0x36, 0, 0}, 11},
    {"ed43", {0xED, 0x43, 0, 0}, 15}, {"ed4b", {0xED, 0x4B, 0, 0}, 13}, {"reti", {0xED, 0x4D}, 12},
    {"neg", {0xED, 0x44}, 4},   {"ldir", {0xED, 0xB0}, 100},   {"ioi_ldir", {0xD3, 0xED, 0xB0}, 101},
    {"ioe_ldir", {0xDB, 0xED, 0xB0}, 102}, {"altd_ld", {0x76, 0x78}, 4},
    {"ioi_ld_mem_a", {0xD3, 0x32, 0, 0}, 11}, {"bit_ixd", {0xDD, 0xCB, 0x05, 0x46}, 10},
};

class Cycles : public ::testing::TestWithParam<CycleCase> {
    AsmStateGuard m_guard;
};

TEST_P(Cycles, Value)
{
    EXPECT_EQ(instructionCycles(GetParam().bytes), GetParam().cycles);
}

INSTANTIATE_TEST_SUITE_P(Table, Cycles, ::testing::ValuesIn(kCycles),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(DisasmCycles, PrefixBytesAreZeroInTheMainTable)
{
    const CycleTables &c = cycleTables();
    for (int op = 0; op < 256; ++op) {
        bool prefix = op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD;
        EXPECT_EQ(c.main[op] == 0, prefix) << std::hex << op;
    }
}

}  // namespace
