// CC_ASMTAB: the one description of the target instruction set, shared by the inline assembler
// (CC_ASM) and the disassembler (DB_DA): every instruction form with its mnemonic, operand
// formats, page and opcode, the CPUs that have it and its clock cycles. The assembler matches
// parsed operands against these rows; the disassembler's opcode pages and length tables are
// expanded from the same rows, so what one encodes the other decodes.
// Also the assembler's own vocabulary: mnemonic rows, register rows and condition words.
// Std-only.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// ---- target selection ---------------------------------------------------------------------------

// The CPU flag (0 the Z180 set, 1 the F80 set), the CPU revision word (257 enables the extended
// rows) and the logical start of the xmem window. The compiler's CPU selection sets them; the
// assembler and the disassembler read them.
struct AsmTargetConfig {
    int cpu_flag = 1;
    int revision = 0;
    uint16_t xmem_window_start = 0xE000;
};
const AsmTargetConfig &asm_target();
void set_asm_target(int cpu_flag, int revision);
void set_asm_xmem_window_start(uint16_t logical);

// ---- operand formats ------------------------------------------------------------------------------

// Operand format codes (low 12 bits of a format word). They say both what the disassembler
// prints and which operand the assembler accepts in that place; a code with a field puts the
// operand's value into the opcode byte at the bits named.
enum AsmFormat : uint16_t {
    kFmtNone = 0,
    kFmtAF = 1,          // af
    kFmtAFAlt = 2,       // af'
    kFmtDE = 3,          // de
    kFmtHLX = 4,         // hl, or ix/iy by the index prefix
    kFmtA = 5,           // a
    kFmtSPInd = 6,       // (sp)
    kFmtImm8 = 8,        // n
    kFmtRel = 10,        // relative target, one signed byte
    kFmtImm16 = 11,      // mn (ljp/lcall: mn and a page byte)
    kFmtMem = 12,        // (mn)
    kFmtEirIir = 13,     // eir (bit 3 clear) or iir (bit 3 set)
    kFmtR8Hi = 14,       // 8-bit register in bits 3-5 (6 = (hl))
    kFmtR8Lo = 15,       // 8-bit register in bits 0-2 (6 = (hl))
    kFmtPair = 16,       // bc de hl sp in bits 4-5
    kFmtPushPair = 17,   // bc de hl af in bits 4-5
    kFmtBcDeInd = 18,    // (bc) or (de) by bit 4
    kFmtRst = 19,        // restart vector, bits 3-5
    kFmtCond8 = 20,      // nz z nc c lz lo p m, bits 3-5
    kFmtCond4 = 21,      // nz z nc c, bits 3-4
    kFmtBitNo = 22,      // bit number, bits 3-5
    kFmtSP = 25,         // sp
    kFmtDEAlt = 26,      // de' ((sp) with an index prefix)
    kFmtIpset = 27,      // ipset level 0-3
    kFmtIP = 28,         // ip
    kFmtXPC = 29,        // xpc
    kFmtDisp = 30,       // (hl+d)/(ix+d)/(iy+d) by the prefix
    kFmtSPDisp = 31,     // (sp+n), n unsigned
    kFmtHL = 32,         // hl, whatever the prefix
    kFmtHLXInd = 33,     // (hl), (ix) or (iy) by the prefix
    kFmtPairAlt = 34,    // bc' de' hl' in bits 4-5
    kFmtBC = 35,         // bc
    kFmtDispSwap = 36,   // (ix+d) without prefix, (hl+d) with 0xDD, (iy+d) with 0xFD
    kFmtSU = 37,         // su
    kFmtPortN = 38,      // (n), an 8-bit port address (Z180)
    kFmtCInd = 39,       // (c), the port at BC (Z180)
    kFmtI = 40,          // i, the interrupt vector register (Z180)
    kFmtR = 41,          // r, the refresh register (Z180)
    kFmtImMode = 42,     // im 0, 1 or 2: 0x46, 0x56, 0x5E (Z180)
};
// Flags of a format word.
constexpr uint16_t kFmtCodeMask = 0x0FFF;
constexpr uint16_t kFmtNoAltFirst = 0x1000;  // first of two operands takes no alternate mark
constexpr uint16_t kFmtSymbol = 0x2000;      // show the symbol at this address
constexpr uint16_t kFmtIndexed = 0x4000;     // (hl) becomes (ix+d)/(iy+d) under a prefix
constexpr uint16_t kFmtNoAlt = 0x8000;       // single or second operand takes no alternate mark

// ---- mnemonics of the disassembler (index = the decoder's mnemonic number) --------------------

constexpr int kDisasmMnemonicCount = 91;
constexpr int kMnInvalid = 90;  // "???"
extern const std::array<std::string_view, kDisasmMnemonicCount> kDisasmMnemonics;

enum AsmMn : uint8_t {
    kMnAdc = 0, kMnAdd = 1, kMnAnd = 2, kMnBit = 3, kMnCall = 4, kMnCcf = 5, kMnCp = 6,
    kMnIn = 7, kMnOut = 8, kMnIn0 = 9, kMnOut0 = 10, kMnEi = 22, kMnDi = 26, kMnIm = 27,
    kMnHalt = 39, kMnTst = 43, kMnOtim = 44, kMnOtimr = 45, kMnOtdm = 46, kMnOtdmr = 47,
    kMnTstio = 48, kMnSlp = 54, kMnRetn = 64,
    kMnCpl = 11, kMnBool = 12, kMnDec = 13, kMnMul = 14, kMnDjnz = 15, kMnIoi = 16, kMnEx = 17,
    kMnExx = 18, kMnIoe = 19, kMnAltd = 20, kMnLdp = 21, kMnInc = 23, kMnIpset = 24,
    kMnIpres = 25, kMnJp = 28, kMnJr = 29, kMnLd = 30, kMnLdd = 31, kMnLddr = 32, kMnLdi = 33,
    kMnLdir = 34, kMnMlt = 35, kMnNeg = 36, kMnNop = 37, kMnOr = 38, kMnLret = 40,
    kMnLcall = 41, kMnLjp = 42, kMnPop = 49, kMnPush = 50, kMnRes = 51, kMnRet = 52,
    kMnReti = 53, kMnRl = 55, kMnRla = 56, kMnRlc = 57, kMnRlca = 58, kMnRld = 59, kMnRr = 60,
    kMnRra = 61, kMnRrc = 62, kMnRrca = 63, kMnRst = 65, kMnSbc = 66, kMnScf = 67, kMnSet = 68,
    kMnSla = 69, kMnSra = 71, kMnSrl = 72, kMnSub = 73, kMnXor = 76, kMnUma = 77, kMnUms = 78,
    kMnLddsr = 79, kMnLdisr = 80, kMnLsdr = 81, kMnLsir = 82, kMnLsddr = 83, kMnLsidr = 84,
    kMnSetusr = 85, kMnSures = 86, kMnRdmode = 87, kMnSyscall = 88, kMnIdet = 89,
};

// ---- instruction forms --------------------------------------------------------------------------

// CPU availability of a form.
constexpr uint8_t kCpuZ180 = 1;     // the Z180 set (CPU flag 0)
constexpr uint8_t kCpuF80 = 2;      // the F80 set, every revision
constexpr uint8_t kCpuF80Ext = 4;   // the F80 set with revision 257 only
constexpr uint8_t kCpuBoth = kCpuZ180 | kCpuF80;

// Where the opcode byte sits: the main page, after 0xED, after 0xCB, or in the index page
// (only after 0xDD/0xFD).
enum class AsmPage : uint8_t { Main, ED, CB, Index };

struct AsmForm {
    uint8_t mnemonic;     // AsmMn
    AsmPage page;
    uint8_t opcode;       // with every field zero
    uint16_t fmt1, fmt2;  // operand format words (kFmtNone for no operand)
    uint8_t cpus;         // kCpu* bits
    bool indexable;       // 0xDD/0xFD may stand in front, hl-type operands then name ix/iy
    uint8_t field_mask;   // allowed values of a pair field or an 8-bit register field of a
                          // form that is not indexable (bit per value), else 0xFF
    uint8_t cycles;       // clock cycles (without prefix)
    uint8_t index_cycles; // clock cycles of the 0xDD/0xFD form
};

// The forms, most specific first: when two rows produce the same opcode byte on one CPU, the
// earlier row owns it.
extern const AsmForm kAsmForms[];
extern const int kAsmFormCount;

// True when the form exists on the CPU (flag, revision).
bool asm_form_available(const AsmForm &form, int cpu_flag, int revision);

// ---- the assembler's vocabulary -----------------------------------------------------------------

// The encoder that a mnemonic row names.
enum class AsmEncoder : uint8_t {
    Implied, Ret, Alu8, Alu16, IncDec, Jp, Jr, Sjp, Ex, PushPop, ShiftRotate, Rst, Bit, Call,
    Ld, BlockMove, Ipset, Ldp, Dw, Db, Align,
};

// One mnemonic row.
struct ia_sym {
    const char *mnemonic;
    uint16_t code;       // 192..249
    uint8_t first, second;
    AsmEncoder encoder;
    uint32_t reserved1, reserved2;  // 0 in every row
    uint32_t flags;      // bit 0/1: alternate destination allowed; bit 1: ix'/iy' allowed
};
constexpr int kAsmMnemonicRows = 91;       // with the revision-257 rows and the Z180 rows
constexpr int kAsmBaseMnemonicRows = 61;   // always active
constexpr int kAsmF80MnemonicRows = 74;    // the base rows and the revision-257 rows
// The rows from kAsmF80MnemonicRows on are the Z180's own (in, out, in0, ...): active only
// while the Z180 set is selected, behind the base rows.
extern const ia_sym kAsmMnemonicTable[kAsmMnemonicRows];

// Mnemonic codes the statement driver tests.
constexpr uint16_t kCodeImplied1 = 192, kCodeImplied2 = 193, kCodeMemImplied2 = 194;
constexpr uint16_t kCodeEqu = 240, kCodeDb = 241, kCodeDw = 242, kCodeAlign = 249;

// One register row.
struct reg_type {
    const char *name;
    int32_t code;
};
constexpr int kAsmRegisterRows = 39;  // lower case, upper case, an empty row
extern const reg_type kAsmRegisterTable[kAsmRegisterRows];

// Register codes.
enum AsmReg : int {
    kRegB = 0, kRegC = 1, kRegD = 2, kRegE = 3, kRegH = 4, kRegL = 5, kRegMemHL = 6, kRegA = 7,
    kRegIIR = 8, kRegEIR = 9, kRegBC = 10, kRegDE = 11, kRegHL = 12, kRegSP = 13, kRegIX = 14,
    kRegIY = 15, kRegAF = 16, kRegXPC = 17,
    kRegI = 18,  // the Z180's interrupt vector register: a register name on the Z180 set only
};

// The condition slots: "*nz|*NZ|..."; condition number = slot offset / 8.
extern const char kAsmConditionText[];

// Opcodes of the read-modify-write instructions on (hl) that an I/O prefix affects.
extern const std::array<uint8_t, 10> kIoPrefixCheckBytes;

// The mnemonic text of the disassembler's number `mn` without padding.
std::string_view asm_mnemonic_name(int mn);
