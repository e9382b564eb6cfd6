// Round trip over the whole instruction set: every opcode of each page set is disassembled, the
// text is assembled again, and the bytes, the text and the instruction length must agree.
#include "AsmTestSupport.h"
#include "codegen/CC_ASM.h"
#include "debugger/DB_DA.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct CpuCase {
    const char *name;
    DisasmPageSet set;
    int cpu_flag, revision;
};

// lcall prints one 24-bit value; assembly spells a numeric target as page,offset.
std::string assembly_spelling(std::string text)
{
    if (text.rfind("lcall", 0) == 0) {
        size_t x = text.find("0x");
        std::string v = text.substr(x + 2);
        text = text.substr(0, x) + "0x" + v.substr(0, 2) + ",0x" + v.substr(2);
    }
    return text;
}

class RoundTrip : public ::testing::TestWithParam<CpuCase> {
    AsmStateGuard m_guard;
};

TEST_P(RoundTrip, EveryOpcodeAssemblesBackToItsBytes)
{
    const CpuCase &c = GetParam();
    set_asm_target(c.cpu_flag, c.revision);
    init_asm_mnemonics();
    selectDisasmPageSet(c.set);
    const uint32_t org = 0x4000;
    auto all = enumerateInstructions(c.set);
    ASSERT_GT(all.size(), 500u);
    for (const auto &bytes : all) {
        uint16_t len = 0;
        std::string text;
        disassembleOne(org, bytes, len, text);
        SCOPED_TRACE(asm_hex(bytes) + "-> " + text);
        EXPECT_EQ(len, bytes.size());
        EXPECT_EQ(instructionLength(bytes, true), bytes.size());
        EXPECT_EQ(text.find("???"), std::string::npos);

        AsmImageHost host(org);
        set_asm_host(&host);
        assemble_line(assembly_spelling(text).c_str());
        set_asm_host(nullptr);
        ASSERT_EQ(host.error_count(), 0) << host.messages.front().text;
        EXPECT_EQ(asm_hex(host.bytes(org, host.address)), asm_hex(bytes));

        uint16_t len2 = 0;
        std::string again;
        disassembleOne(org, host.bytes(org, host.address), len2, again);
        EXPECT_EQ(again, text);
    }
}

// The walk covers the whole instruction set: on the Vireon sets every byte of the main page
// but the four prefixes starts an instruction, and so does every byte after 0xCB but the eight
// of the shift the family lacks (0x30-0x37).
using RoundTripCoverage = RoundTrip;

TEST_P(RoundTripCoverage, WalkCoversEveryOpcodeOfTheMainAndBitPages)
{
    const CpuCase &c = GetParam();
    std::vector<bool> main(256, false), cb(256, false);
    for (const auto &bytes : enumerateInstructions(c.set)) {
        if (bytes.size() >= 2 && bytes[0] == 0xCB)
            cb[bytes[1]] = true;
        else if (bytes[0] != 0xED && bytes[0] != 0xDD && bytes[0] != 0xFD)
            main[bytes[0]] = true;
    }
    for (int op = 0; op < 256; ++op) {
        const bool prefix = op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD;
        EXPECT_EQ(main[op], !prefix) << "main page " << std::hex << op;
        EXPECT_EQ(cb[op], op < 0x30 || op > 0x37) << "bit page " << std::hex << op;
    }
}

INSTANTIATE_TEST_SUITE_P(Cpus, RoundTrip,
                         ::testing::Values(CpuCase{"Vireon2000", DisasmPageSet::A, 1, 0},
                                           CpuCase{"Vireon3000", DisasmPageSet::B, 1, 257},
                                           CpuCase{"Z180", DisasmPageSet::Z180, 0, 0}),
                         [](const auto &i) { return std::string(i.param.name); });

// The Z180 set holds only the assembler's subset of that processor's instructions.
INSTANTIATE_TEST_SUITE_P(Vireon, RoundTripCoverage,
                         ::testing::Values(CpuCase{"Vireon2000", DisasmPageSet::A, 1, 0},
                                           CpuCase{"Vireon3000", DisasmPageSet::B, 1, 257}),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
