// CC_ASMTAB: the instruction forms, the assembler's mnemonic, register and condition tables,
// and the target selection they are read against. Only data and two small helpers live here.
#include "CC_ASMTAB.h"

namespace {
AsmTargetConfig g_target;
}

const AsmTargetConfig &asm_target() { return g_target; }

void set_asm_target(int cpu_flag, int revision)
{
    g_target.cpu_flag = cpu_flag;
    g_target.revision = revision;
}

void set_asm_xmem_window_start(uint16_t logical) { g_target.xmem_window_start = logical; }

const std::array<std::string_view, kDisasmMnemonicCount> kDisasmMnemonics = {
    "adc", "add", "and", "bit", "call", "ccf", "cp", "in", "out", "in0",             // 0-9
    "out0", "cpl", "bool", "dec", "mul", "djnz", "ioi", "ex", "exx", "ioe",          // 10-19
    "altd", "ldp", "ei", "inc", "ipset", "ipres", "di", "im", "jp", "jr",            // 20-29
    "ld", "ldd", "lddr", "ldi", "ldir", "mlt", "neg", "nop", "or", "halt",           // 30-39
    "lret", "lcall", "ljp", "tst", "otim", "otimr", "otdm", "otdmr", "tstio", "pop", // 40-49
    "push", "res", "ret", "reti", "slp", "rl", "rla", "rlc", "rlca", "rld",          // 50-59
    "rr", "rra", "rrc", "rrca", "retn", "rst", "sbc", "scf", "set", "sla",           // 60-69
    "---", "sra", "srl", "sub", "---", "---", "xor", "uma", "ums", "lddsr",          // 70-79
    "ldisr", "lsdr", "lsir", "lsddr", "lsidr", "setusr", "sures", "rdmode", "syscall", "idet",
    "???",                                                                           // 90
};

std::string_view asm_mnemonic_name(int mn)
{
    if (mn < 0 || mn >= kDisasmMnemonicCount)
        return "???";
    return kDisasmMnemonics[static_cast<size_t>(mn)];
}

bool asm_form_available(const AsmForm &form, int cpu_flag, int revision)
{
    if (cpu_flag == 0)
        return (form.cpus & kCpuZ180) != 0;
    if (form.cpus & kCpuF80)
        return true;
    return (form.cpus & kCpuF80Ext) != 0 && revision == 257;
}

// Shorthands for the rows below.
namespace {
constexpr AsmPage M = AsmPage::Main, ED = AsmPage::ED, CB = AsmPage::CB, IX = AsmPage::Index;
constexpr uint8_t Z = kCpuZ180, F = kCpuF80, R = kCpuF80Ext, ZF = kCpuBoth;
constexpr uint16_t N = kFmtNone;
constexpr uint16_t R8H = kFmtR8Hi | kFmtIndexed, R8L = kFmtR8Lo | kFmtIndexed;
constexpr uint16_t W = kFmtImm16 | kFmtSymbol, MEM = kFmtMem | kFmtSymbol;
constexpr uint8_t ALL = 0xFF, NOHL = 0x0B /* bc de sp */, ALTS = 0x07 /* bc de hl */;
constexpr uint8_t NOM = 0xBF;  // b c d e h l a: every 8-bit register but (hl)
}  // namespace

// mnemonic, page, opcode, operand 1, operand 2, cpus, indexable, field mask, cycles, index cycles
const AsmForm kAsmForms[] = {
    // --- one-byte rows that own their slot before the generic register rows ---
    {kMnAltd, M, 0x76, N, N, F, false, ALL, 2, 0},
    {kMnHalt, M, 0x76, N, N, Z, false, ALL, 3, 0},
    {kMnIdet, M, 0x5B, N, N, R, false, ALL, 2, 0},
    {kMnIoi, M, 0xD3, N, N, F, false, ALL, 2, 0},
    {kMnIoe, M, 0xDB, N, N, F, false, ALL, 2, 0},
    {kMnLjp, M, 0xC7, W, N, F, false, ALL, 10, 0},
    {kMnLcall, M, 0xCF, W, N, F, false, ALL, 19, 0},
    {kMnMul, M, 0xF7, N, N, F, false, ALL, 12, 0},

    // --- main page ---
    {kMnNop, M, 0x00, N, N, ZF, false, ALL, 2, 0},
    {kMnLd, M, 0x01, kFmtPair, W, ZF, true, ALL, 6, 8},
    {kMnLd, M, 0x02, kFmtBcDeInd, kFmtA, ZF, false, ALL, 7, 0},
    {kMnInc, M, 0x03, kFmtPair, N, ZF, true, ALL, 2, 4},
    {kMnInc, M, 0x04, R8H, N, ZF, true, ALL, 2, 12},
    {kMnDec, M, 0x05, R8H, N, ZF, true, ALL, 2, 12},
    {kMnLd, M, 0x06, R8H, kFmtImm8, ZF, true, ALL, 4, 11},
    {kMnRlca, M, 0x07, N, N, ZF, false, ALL, 2, 0},
    {kMnEx, M, 0x08, kFmtAF, kFmtAFAlt, ZF, false, ALL, 2, 0},
    {kMnAdd, M, 0x09, kFmtHLX, kFmtPair, ZF, true, ALL, 2, 4},
    {kMnLd, M, 0x0A, kFmtA, kFmtBcDeInd, ZF, false, ALL, 6, 0},
    {kMnDec, M, 0x0B, kFmtPair, N, ZF, true, ALL, 2, 4},
    {kMnRrca, M, 0x0F, N, N, ZF, false, ALL, 2, 0},
    {kMnDjnz, M, 0x10, kFmtRel, N, ZF, false, ALL, 5, 0},
    {kMnRla, M, 0x17, N, N, ZF, false, ALL, 2, 0},
    {kMnJr, M, 0x18, kFmtRel, N, ZF, false, ALL, 5, 0},
    {kMnRra, M, 0x1F, N, N, ZF, false, ALL, 2, 0},
    {kMnJr, M, 0x20, kFmtCond4, kFmtRel, ZF, false, ALL, 5, 0},
    {kMnLd, M, 0x22, MEM, kFmtHLX, ZF, true, ALL, 13, 15},
    {kMnAdd, M, 0x27, kFmtSP, kFmtImm8, F, false, ALL, 4, 0},
    {kMnLd, M, 0x2A, kFmtHLX, MEM, ZF, true, ALL, 11, 13},
    {kMnCpl, M, 0x2F, N, N, ZF, false, ALL, 2, 0},
    {kMnLd, M, 0x32, MEM, kFmtA, ZF, false, ALL, 10, 0},
    {kMnScf, M, 0x37, N, N, ZF, false, ALL, 2, 0},
    {kMnLd, M, 0x3A, kFmtA, MEM, ZF, false, ALL, 9, 0},
    {kMnCcf, M, 0x3F, N, N, ZF, false, ALL, 2, 0},
    {kMnLd, M, 0x40, R8H, R8L, ZF, true, ALL, 2, 9},
    {kMnAdd, M, 0x80, kFmtA, R8L, ZF, true, ALL, 2, 9},
    {kMnAdc, M, 0x88, kFmtA, R8L, ZF, true, ALL, 2, 9},
    {kMnSub, M, 0x90, R8L, N, ZF, true, ALL, 2, 9},
    {kMnSbc, M, 0x98, kFmtA, R8L, ZF, true, ALL, 2, 9},
    {kMnAnd, M, 0xA0, R8L, N, ZF, true, ALL, 2, 9},
    {kMnXor, M, 0xA8, R8L, N, ZF, true, ALL, 2, 9},
    {kMnOr, M, 0xB0, R8L, N, ZF, true, ALL, 2, 9},
    {kMnCp, M, 0xB8, R8L, N, ZF, true, ALL, 2, 9},
    {kMnRet, M, 0xC0, kFmtCond8, N, ZF, false, ALL, 255, 0},
    {kMnPop, M, 0xC1, kFmtPushPair, N, ZF, true, ALL, 7, 9},
    {kMnJp, M, 0xC2, kFmtCond8, W, ZF, false, ALL, 7, 0},
    {kMnJp, M, 0xC3, W, N, ZF, false, ALL, 7, 0},
    {kMnLd, M, 0xC4, kFmtHLX, kFmtSPDisp, F, true, ALL, 9, 11},
    {kMnCall, M, 0xC4, kFmtCond8, W, Z, false, ALL, 12, 0},
    {kMnPush, M, 0xC5, kFmtPushPair, N, ZF, true, ALL, 10, 12},
    {kMnAdd, M, 0xC6, kFmtA, kFmtImm8, ZF, false, ALL, 4, 0},
    {kMnRst, M, 0xC7, kFmtRst, N, ZF, false, ALL, 8, 0},
    {kMnRet, M, 0xC9, N, N, ZF, false, ALL, 8, 0},
    {kMnBool, M, 0xCC, kFmtHLX, N, F, true, ALL, 2, 4},
    {kMnCall, M, 0xCD, W, N, ZF, false, ALL, 12, 0},
    {kMnAdc, M, 0xCE, kFmtA, kFmtImm8, ZF, false, ALL, 4, 0},
    {kMnLd, M, 0xD4, kFmtSPDisp, kFmtHLX, F, true, ALL, 11, 13},
    {kMnSub, M, 0xD6, kFmtImm8, N, ZF, false, ALL, 4, 0},
    {kMnExx, M, 0xD9, N, N, ZF, false, ALL, 2, 0},
    {kMnAnd, M, 0xDC, kFmtHLX, kFmtDE, F, true, ALL, 2, 4},
    {kMnSbc, M, 0xDE, kFmtA, kFmtImm8, ZF, false, ALL, 4, 0},
    {kMnEx, M, 0xE3, kFmtDEAlt, kFmtHLX, F, true, ALL, 2, 15},
    {kMnEx, M, 0xE3, kFmtSPInd, kFmtHLX, Z, true, ALL, 16, 19},
    {kMnLd, M, 0xE4, kFmtHL, kFmtDispSwap, F, false, ALL, 9, 0},
    {kMnAnd, M, 0xE6, kFmtImm8, N, ZF, false, ALL, 4, 0},
    {kMnJp, M, 0xE9, kFmtHLXInd, N, ZF, true, ALL, 4, 6},
    {kMnEx, M, 0xEB, kFmtDE, kFmtHL, ZF, false, ALL, 2, 0},
    {kMnOr, M, 0xEC, kFmtHLX, kFmtDE, F, true, ALL, 2, 4},
    {kMnXor, M, 0xEE, kFmtImm8, N, ZF, false, ALL, 4, 0},
    {kMnRl, M, 0xF3, kFmtDE, N, F, false, ALL, 2, 0},
    {kMnLd, M, 0xF4, kFmtDispSwap, kFmtHL, F, false, ALL, 11, 0},
    {kMnOr, M, 0xF6, kFmtImm8, N, ZF, false, ALL, 4, 0},
    {kMnLd, M, 0xF9, kFmtSP, kFmtHLX, ZF, true, ALL, 2, 4},
    {kMnRr, M, 0xFB, kFmtDE, N, F, false, ALL, 2, 0},
    {kMnDi, M, 0xF3, N, N, Z, false, ALL, 3, 0},
    {kMnEi, M, 0xFB, N, N, Z, false, ALL, 3, 0},
    {kMnOut, M, 0xD3, kFmtPortN, kFmtA, Z, false, ALL, 10, 0},
    {kMnIn, M, 0xDB, kFmtA, kFmtPortN, Z, false, ALL, 9, 0},
    {kMnRr, M, 0xFC, kFmtHLX, N, F, true, ALL, 2, 4},
    {kMnCp, M, 0xFE, kFmtImm8, N, ZF, false, ALL, 4, 0},

    // --- index page: defined only after 0xDD/0xFD ---
    {kMnLdp, IX, 0x64, kFmtHLXInd, kFmtHL, F, false, ALL, 0, 12},
    {kMnLdp, IX, 0x65, MEM, kFmtHLX, F, false, ALL, 0, 15},
    {kMnLdp, IX, 0x6C, kFmtHL, kFmtHLXInd, F, false, ALL, 0, 10},
    {kMnLdp, IX, 0x6D, kFmtHLX, MEM, F, false, ALL, 0, 13},
    {kMnLd, IX, 0x7C, kFmtHL, kFmtHLX, F, false, ALL, 0, 4},
    {kMnLd, IX, 0x7D, kFmtHLX, kFmtHL, F, false, ALL, 0, 4},
    {kMnLd, IX, 0xE4, kFmtHL, kFmtDispSwap, F, false, ALL, 0, 11},
    {kMnLd, IX, 0xF4, kFmtDispSwap, kFmtHL, F, false, ALL, 0, 13},

    // --- 0xED page ---
    {kMnSbc, ED, 0x42, kFmtHL, kFmtPair, ZF, false, ALL, 4, 0},
    {kMnLd, ED, 0x43, MEM, kFmtPair, ZF, false, NOHL, 15, 0},
    {kMnNeg, ED, 0x44, N, N, ZF, false, ALL, 4, 0},
    {kMnLret, ED, 0x45, N, N, F, false, ALL, 13, 0},
    {kMnIpset, ED, 0x46, kFmtIpset, N, F, false, ALL, 4, 0},
    {kMnLd, ED, 0x47, kFmtEirIir, kFmtA, F, false, ALL, 4, 0},
    {kMnAdc, ED, 0x4A, kFmtHL, kFmtPair, ZF, false, ALL, 4, 0},
    {kMnLd, ED, 0x4B, kFmtPair, MEM, ZF, false, NOHL, 13, 0},
    {kMnReti, ED, 0x4D, N, N, ZF, false, ALL, 12, 0},
    {kMnLd, ED, 0x41, kFmtPairAlt, kFmtDE, F, false, ALTS, 4, 0},
    {kMnLd, ED, 0x49, kFmtPairAlt, kFmtBC, F, false, ALTS, 4, 0},
    {kMnEx, ED, 0x54, kFmtSPInd, kFmtHL, F, false, ALL, 15, 0},
    {kMnLd, ED, 0x57, kFmtA, kFmtEirIir, F, false, ALL, 4, 0},
    {kMnIpres, ED, 0x5D, N, N, F, false, ALL, 4, 0},
    {kMnLdp, ED, 0x64, kFmtHLXInd, kFmtHL, F, false, ALL, 12, 0},
    {kMnLdp, ED, 0x65, MEM, kFmtHL, F, false, ALL, 15, 0},
    {kMnPush, ED, 0x66, kFmtSU, N, R, false, ALL, 9, 0},
    {kMnLd, ED, 0x67, kFmtXPC, kFmtA, F, false, ALL, 4, 0},
    {kMnLdp, ED, 0x6C, kFmtHL, kFmtHLXInd, F, false, ALL, 10, 0},
    {kMnLdp, ED, 0x6D, kFmtHL, MEM, F, false, ALL, 13, 0},
    {kMnPop, ED, 0x6E, kFmtSU, N, R, false, ALL, 7, 0},
    {kMnSetusr, ED, 0x6F, N, N, R, false, ALL, 4, 0},
    {kMnSyscall, ED, 0x75, N, N, R, false, ALL, 10, 0},
    {kMnPush, ED, 0x76, kFmtIP, N, F, false, ALL, 9, 0},
    {kMnLd, ED, 0x77, kFmtA, kFmtXPC, F, false, ALL, 4, 0},
    {kMnSures, ED, 0x7D, N, N, R, false, ALL, 4, 0},
    {kMnPop, ED, 0x7E, kFmtIP, N, F, false, ALL, 7, 0},
    {kMnRdmode, ED, 0x7F, N, N, R, false, ALL, 4, 0},
    {kMnLdisr, ED, 0x90, N, N, R, false, ALL, 6, 0},
    {kMnLddsr, ED, 0x98, N, N, R, false, ALL, 6, 0},
    {kMnLdi, ED, 0xA0, N, N, ZF, false, ALL, 10, 0},
    {kMnLdd, ED, 0xA8, N, N, ZF, false, ALL, 10, 0},
    {kMnLdir, ED, 0xB0, N, N, ZF, false, ALL, 100, 0},
    {kMnLddr, ED, 0xB8, N, N, ZF, false, ALL, 100, 0},
    {kMnUma, ED, 0xC0, N, N, R, false, ALL, 8, 0},
    {kMnUms, ED, 0xC8, N, N, R, false, ALL, 8, 0},
    {kMnLsidr, ED, 0xD0, N, N, R, false, ALL, 6, 0},
    {kMnLsddr, ED, 0xD8, N, N, R, false, ALL, 6, 0},
    {kMnLsir, ED, 0xF0, N, N, R, false, ALL, 6, 0},
    {kMnLsdr, ED, 0xF8, N, N, R, false, ALL, 6, 0},

    // the Z180's own rows of the 0xED page
    {kMnIn0, ED, 0x00, kFmtR8Hi, kFmtPortN, Z, false, NOM, 12, 0},
    {kMnOut0, ED, 0x01, kFmtPortN, kFmtR8Hi, Z, false, NOM, 13, 0},
    {kMnTst, ED, 0x04, kFmtR8Hi, N, Z, false, ALL, 7, 0},
    {kMnIn, ED, 0x40, kFmtR8Hi, kFmtCInd, Z, false, NOM, 9, 0},
    {kMnOut, ED, 0x41, kFmtCInd, kFmtR8Hi, Z, false, NOM, 10, 0},
    {kMnRetn, ED, 0x45, N, N, Z, false, ALL, 12, 0},
    {kMnIm, ED, 0x46, kFmtImMode, N, Z, false, ALL, 6, 0},
    {kMnLd, ED, 0x47, kFmtI, kFmtA, Z, false, ALL, 6, 0},
    {kMnMlt, ED, 0x4C, kFmtPair, N, Z, false, ALL, 17, 0},
    {kMnLd, ED, 0x4F, kFmtR, kFmtA, Z, false, ALL, 6, 0},
    {kMnLd, ED, 0x57, kFmtA, kFmtI, Z, false, ALL, 6, 0},
    {kMnLd, ED, 0x5F, kFmtA, kFmtR, Z, false, ALL, 6, 0},
    {kMnTst, ED, 0x64, kFmtImm8, N, Z, false, ALL, 9, 0},
    {kMnTstio, ED, 0x74, kFmtImm8, N, Z, false, ALL, 12, 0},
    {kMnSlp, ED, 0x76, N, N, Z, false, ALL, 8, 0},
    {kMnOtim, ED, 0x83, N, N, Z, false, ALL, 14, 0},
    {kMnOtdm, ED, 0x8B, N, N, Z, false, ALL, 14, 0},
    {kMnOtimr, ED, 0x93, N, N, Z, false, ALL, 16, 0},
    {kMnOtdmr, ED, 0x9B, N, N, Z, false, ALL, 16, 0},

    // --- 0xCB page ---
    {kMnRlc, CB, 0x00, R8L, N, ZF, true, ALL, 4, 13},
    {kMnRrc, CB, 0x08, R8L, N, ZF, true, ALL, 4, 13},
    {kMnRl, CB, 0x10, R8L, N, ZF, true, ALL, 4, 13},
    {kMnRr, CB, 0x18, R8L, N, ZF, true, ALL, 4, 13},
    {kMnSla, CB, 0x20, R8L, N, ZF, true, ALL, 4, 13},
    {kMnSra, CB, 0x28, R8L, N, ZF, true, ALL, 4, 13},
    {kMnSrl, CB, 0x38, R8L, N, ZF, true, ALL, 4, 13},
    {kMnBit, CB, 0x40, kFmtBitNo, R8L, ZF, true, ALL, 4, 10},
    {kMnRes, CB, 0x80, kFmtBitNo, R8L, ZF, true, ALL, 4, 13},
    {kMnSet, CB, 0xC0, kFmtBitNo, R8L, ZF, true, ALL, 4, 13},
};
const int kAsmFormCount = static_cast<int>(sizeof(kAsmForms) / sizeof(kAsmForms[0]));

// Row, mnemonic, code, first, second, encoder, the two reserved words, flags.
const ia_sym kAsmMnemonicTable[kAsmMnemonicRows] = {
    {"ret", 223, 0x00, 0x00, AsmEncoder::Ret, 0, 0, 0},
    {"reti", 193, 0xED, 0x4D, AsmEncoder::Implied, 0, 0, 0},
    {"cp", 205, 0x38, 0x00, AsmEncoder::Alu8, 0, 0, 3},
    {"cpl", 192, 0x2F, 0x00, AsmEncoder::Implied, 0, 0, 3},
    {"equ", 240, 0x00, 0x00, AsmEncoder::Implied, 0, 0, 3},
    {"inc", 209, 0x03, 0x04, AsmEncoder::IncDec, 0, 0, 3},
    {"dec", 210, 0x0B, 0x05, AsmEncoder::IncDec, 0, 0, 3},
    {"jp", 219, 0x00, 0x00, AsmEncoder::Jp, 0, 0, 0},
    {"jr", 220, 0x18, 0x00, AsmEncoder::Jr, 0, 0, 0},
    {"sjp", 248, 0x00, 0x00, AsmEncoder::Sjp, 0, 0, 0},
    {"ex", 200, 0x00, 0x00, AsmEncoder::Ex, 0, 0, 3},
    {"exx", 192, 0xD9, 0x00, AsmEncoder::Implied, 0, 0, 0},
    {"mul", 192, 0xF7, 0x00, AsmEncoder::Implied, 0, 0, 0},
    {"nop", 192, 0x00, 0x00, AsmEncoder::Implied, 0, 0, 0},
    {"or", 203, 0x30, 0x00, AsmEncoder::Alu16, 0, 0, 3},
    {"pop", 199, 0x00, 0x00, AsmEncoder::PushPop, 0, 0, 3},
    {"push", 198, 0x00, 0x00, AsmEncoder::PushPop, 0, 0, 0},
    {"rl", 213, 0x10, 0x00, AsmEncoder::ShiftRotate, 0, 0, 3},
    {"rla", 192, 0x17, 0x00, AsmEncoder::Implied, 0, 0, 3},
    {"rlc", 212, 0x00, 0x00, AsmEncoder::ShiftRotate, 0, 0, 3},
    {"rlca", 192, 0x07, 0x00, AsmEncoder::Implied, 0, 0, 3},
    {"rr", 215, 0x18, 0x00, AsmEncoder::ShiftRotate, 0, 0, 3},
    {"rra", 192, 0x1F, 0x00, AsmEncoder::Implied, 0, 0, 3},
    {"rrc", 214, 0x08, 0x00, AsmEncoder::ShiftRotate, 0, 0, 3},
    {"rrca", 192, 0x0F, 0x00, AsmEncoder::Implied, 0, 0, 3},
    {"rst", 224, 0x00, 0x00, AsmEncoder::Rst, 0, 0, 0},
    {"sbc", 208, 0x42, 0x18, AsmEncoder::Alu16, 0, 0, 3},
    {"scf", 192, 0x37, 0x00, AsmEncoder::Implied, 0, 0, 3},
    {"set", 195, 0xC0, 0x00, AsmEncoder::Bit, 0, 0, 0},
    {"sla", 216, 0x20, 0x00, AsmEncoder::ShiftRotate, 0, 0, 3},
    {"call", 222, 0x00, 0x00, AsmEncoder::Call, 0, 0, 0},
    {"add", 206, 0x09, 0x00, AsmEncoder::Alu16, 0, 0, 3},
    {"ccf", 192, 0x3F, 0x00, AsmEncoder::Implied, 0, 0, 3},
    {"sra", 217, 0x28, 0x00, AsmEncoder::ShiftRotate, 0, 0, 3},
    {"srl", 218, 0x38, 0x00, AsmEncoder::ShiftRotate, 0, 0, 3},
    {"sub", 201, 0x10, 0x00, AsmEncoder::Alu8, 0, 0, 3},
    {"xor", 204, 0x28, 0x00, AsmEncoder::Alu8, 0, 0, 3},
    {"adc", 207, 0x4A, 0x08, AsmEncoder::Alu16, 0, 0, 3},
    {"bit", 194, 0x40, 0x00, AsmEncoder::Bit, 0, 0, 3},
    {"ld", 197, 0x00, 0x00, AsmEncoder::Ld, 0, 0, 1},
    {"djnz", 221, 0x10, 0x00, AsmEncoder::Jr, 0, 0, 3},
    {"ldd", 194, 0xED, 0xA8, AsmEncoder::BlockMove, 0, 0, 0},
    {"lddr", 194, 0xED, 0xB8, AsmEncoder::BlockMove, 0, 0, 0},
    {"ldi", 194, 0xED, 0xA0, AsmEncoder::BlockMove, 0, 0, 0},
    {"ldir", 194, 0xED, 0xB0, AsmEncoder::BlockMove, 0, 0, 0},
    {"and", 202, 0x20, 0x00, AsmEncoder::Alu16, 0, 0, 3},
    {"neg", 193, 0xED, 0x44, AsmEncoder::Implied, 0, 0, 3},
    {"res", 196, 0x80, 0x00, AsmEncoder::Bit, 0, 0, 3},
    {"bool", 232, 0x00, 0x00, AsmEncoder::Alu16, 0, 0, 3},
    {"ipres", 193, 0xED, 0x5D, AsmEncoder::Implied, 0, 0, 0},
    {"ipset", 233, 0xED, 0x00, AsmEncoder::Ipset, 0, 0, 0},
    {"ioi", 192, 0xD3, 0x00, AsmEncoder::Implied, 0, 0, 0},
    {"ioe", 192, 0xDB, 0x00, AsmEncoder::Implied, 0, 0, 0},
    {"altd", 192, 0x76, 0x00, AsmEncoder::Implied, 0, 0, 0},
    {"ldp", 245, 0x00, 0x00, AsmEncoder::Ldp, 0, 0, 0},
    {"ljp", 247, 0x00, 0x00, AsmEncoder::Jp, 0, 0, 0},
    {"lcall", 246, 0x00, 0x00, AsmEncoder::Call, 0, 0, 0},
    {"lret", 193, 0xED, 0x45, AsmEncoder::Implied, 0, 0, 0},
    {"dw", 242, 0x00, 0x00, AsmEncoder::Dw, 0, 0, 0},
    {"db", 241, 0x00, 0x00, AsmEncoder::Db, 0, 0, 0},
    {"align", 249, 0x00, 0x00, AsmEncoder::Align, 0, 0, 0},
    {"uma", 193, 0xED, 0xC0, AsmEncoder::Implied, 0, 0, 0},
    {"ums", 193, 0xED, 0xC8, AsmEncoder::Implied, 0, 0, 0},
    {"lddsr", 194, 0xED, 0x98, AsmEncoder::BlockMove, 0, 0, 0},
    {"ldisr", 194, 0xED, 0x90, AsmEncoder::BlockMove, 0, 0, 0},
    {"lsdr", 194, 0xED, 0xF8, AsmEncoder::BlockMove, 0, 0, 0},
    {"lsir", 194, 0xED, 0xF0, AsmEncoder::BlockMove, 0, 0, 0},
    {"lsddr", 194, 0xED, 0xD8, AsmEncoder::BlockMove, 0, 0, 0},
    {"lsidr", 194, 0xED, 0xD0, AsmEncoder::BlockMove, 0, 0, 0},
    {"setusr", 193, 0xED, 0x6F, AsmEncoder::Implied, 0, 0, 0},
    {"sures", 193, 0xED, 0x7D, AsmEncoder::Implied, 0, 0, 0},
    {"rdmode", 193, 0xED, 0x7F, AsmEncoder::Implied, 0, 0, 0},
    {"syscall", 193, 0xED, 0x75, AsmEncoder::Implied, 0, 0, 0},
    {"idet", 192, 0x5B, 0x00, AsmEncoder::Implied, 0, 0, 0},
    // the Z180's own rows
    {"in", 197, 0x00, 0x00, AsmEncoder::Ld, 0, 0, 0},
    {"out", 197, 0x00, 0x00, AsmEncoder::Ld, 0, 0, 0},
    {"in0", 197, 0x00, 0x00, AsmEncoder::Ld, 0, 0, 0},
    {"out0", 197, 0x00, 0x00, AsmEncoder::Ld, 0, 0, 0},
    {"tst", 197, 0x00, 0x00, AsmEncoder::Alu8, 0, 0, 0},
    {"tstio", 197, 0x00, 0x00, AsmEncoder::Alu8, 0, 0, 0},
    {"mlt", 197, 0x00, 0x00, AsmEncoder::IncDec, 0, 0, 0},
    {"im", 197, 0x00, 0x00, AsmEncoder::Implied, 0, 0, 0},
    {"ei", 192, 0xFB, 0x00, AsmEncoder::Implied, 0, 0, 0},
    {"di", 192, 0xF3, 0x00, AsmEncoder::Implied, 0, 0, 0},
    {"halt", 193, 0x76, 0x00, AsmEncoder::Implied, 0, 0, 0},
    {"retn", 193, 0xED, 0x45, AsmEncoder::Implied, 0, 0, 0},
    {"slp", 193, 0xED, 0x76, AsmEncoder::Implied, 0, 0, 0},
    {"otim", 193, 0xED, 0x83, AsmEncoder::Implied, 0, 0, 0},
    {"otimr", 193, 0xED, 0x93, AsmEncoder::Implied, 0, 0, 0},
    {"otdm", 193, 0xED, 0x8B, AsmEncoder::Implied, 0, 0, 0},
    {"otdmr", 193, 0xED, 0x9B, AsmEncoder::Implied, 0, 0, 0},
};

const reg_type kAsmRegisterTable[kAsmRegisterRows] = {
    {"b", 0},   {"c", 1},   {"d", 2},   {"e", 3},   {"h", 4},   {"l", 5},  {"a", 7},
    {"r", 9},   {"iir", 8}, {"eir", 9}, {"bc", 10}, {"de", 11}, {"hl", 12}, {"sp", 13},
    {"ix", 14}, {"iy", 15}, {"af", 16}, {"xpc", 17}, {"i", 18},
    {"B", 0},   {"C", 1},   {"D", 2},   {"E", 3},   {"H", 4},   {"L", 5},  {"A", 7},
    {"R", 9},   {"IIR", 8}, {"EIR", 9}, {"BC", 10}, {"DE", 11}, {"HL", 12}, {"SP", 13},
    {"IX", 14}, {"IY", 15}, {"AF", 16}, {"XPC", 17}, {"I", 18},
    {"", -1},
};

const char kAsmConditionText[] = "*nz|*NZ|*z| *Z| *nc|*NC|*c| *C| *lz|*LZ|*lo|*LO|*p| *P| *m| *M| ";

const std::array<uint8_t, 10> kIoPrefixCheckBytes = {0x8E, 0x86, 0xA6, 0xBE, 0xB6,
                                                     0x9E, 0x96, 0xAE, 0x35, 0x34};
