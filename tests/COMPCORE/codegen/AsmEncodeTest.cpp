// The inline assembler: instruction bytes per CPU, numbers, labels and fix-ups, directives,
// prefixes, the debug stepping byte, and the diagnostics of bad lines (which emit nothing).
#include "AsmTestSupport.h"
#include "codegen/CC_ASM.h"
#include "codegen/CC_ASMDIR.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

enum Cpu { kF2000, kF3000, kZ180 };

void select(Cpu cpu)
{
    set_asm_target(cpu == kZ180 ? 0 : 1, cpu == kF3000 ? 257 : 0);
    init_asm_mnemonics();
}

// Assembles the lines at `org` and returns the host for inspection.
struct AsmRun {
    AsmImageHost host;
    explicit AsmRun(Cpu cpu, const std::vector<std::string> &lines, uint32_t org = 0x1000,
                 bool debug = false)
        : host(org)
    {
        select(cpu);
        set_asm_host(&host);
        for (const auto &l : lines) {
            assemble_line(l.c_str(), debug);
            ++host.line;
        }
        host.finish();
        set_asm_host(nullptr);
    }
    std::string bytes(uint32_t from) const { return asm_hex(host.bytes(from, host.address)); }
    std::string errors() const
    {
        std::string s;
        for (const auto &m : host.messages)
            if (m.error) s += (s.empty() ? "" : " | ") + m.text;
        return s;
    }
};

// Every test leaves the assembler's target, host and switches as it found them.
class AsmTest : public ::testing::Test {
    AsmStateGuard m_guard;
};
using AsmLabels = AsmTest;
using AsmDebug = AsmTest;
using AsmIoWatch = AsmTest;
using AsmVocabulary = AsmTest;
using AsmDirectories = AsmTest;

// ---- bytes of single lines -----------------------------------------------------------------------

struct EncodeCase {
    const char *name;
    Cpu cpu;
    const char *line;
    const char *bytes;
};

const EncodeCase kEncode[] = {
    {"ld_a_b", kF2000, "ld a,b", "78"},
    {"upper_case", kF2000, "LD A,B", "78"},
    {"mixed_mnemonic", kF2000, "Ld a,b", "78"},
    {"altd_prefix", kF2000, "altd ld a,b", "76 78"},
    {"apostrophe_destination", kF2000, "ld a',b", "76 78"},
    {"backquote", kF2000, "add` a,b", "76 80"},
    {"ioi_memory", kF2000, "ioi ld a,(hl)", "D3 7E"},
    {"ioe_memory", kF2000, "ioe ld (0x4000),a", "DB 32 00 40"},
    {"ld_hl_sp_disp", kF2000, "ld hl,(sp+5)", "C4 05"},
    {"ld_ix_sp_disp", kF2000, "ld ix,(sp+5)", "DD C4 05"},
    {"ld_sp_disp_hl", kF2000, "ld (sp+3),hl", "D4 03"},
    {"ld_hl_ix", kF2000, "ld hl,ix", "DD 7C"},
    {"ld_hl_iy", kF2000, "ld hl,iy", "FD 7C"},
    {"ld_ix_hl", kF2000, "ld ix,hl", "DD 7D"},
    {"ld_iy_hl", kF2000, "ld iy,hl", "FD 7D"},
    {"ld_hl_ix_disp", kF2000, "ld hl,(ix+5)", "E4 05"},
    {"ld_hl_iy_disp", kF2000, "ld hl,(iy-5)", "FD E4 FB"},
    {"ld_hl_hl_disp", kF2000, "ld hl,(hl+2)", "DD E4 02"},
    {"ld_hl_hl_is_disp0", kF2000, "ld hl,(hl)", "DD E4 00"},
    {"ld_ix_disp_hl", kF2000, "ld (ix+1),hl", "F4 01"},
    {"ljp_page", kF2000, "ljp 0x123456", "C7 56 34 12"},
    {"lcall_page_offset", kF2000, "lcall 0x12,0x3456", "CF 56 34 12"},
    {"lcall_xmem_physical", kF2000, "lcall xmem 0x12345", "CF 45 E3 04"},
    {"lcall_root", kF2000, "lcall root 0x1234", "CF 34 12 00"},
    {"lret", kF2000, "lret", "ED 45"},
    {"ipset0", kF2000, "ipset 0", "ED 46"},
    {"ipset1", kF2000, "ipset 1", "ED 56"},
    {"ipset2", kF2000, "ipset 2", "ED 4E"},
    {"ipset3", kF2000, "ipset 3", "ED 5E"},
    {"ipres", kF2000, "ipres", "ED 5D"},
    {"bool_hl", kF2000, "bool hl", "CC"},
    {"bool_iy", kF2000, "bool iy", "FD CC"},
    {"and_hl_de", kF2000, "and hl,de", "DC"},
    {"or_hl_de", kF2000, "or hl,de", "EC"},
    {"rr_hl", kF2000, "rr hl", "FC"},
    {"rr_ix", kF2000, "rr ix", "DD FC"},
    {"rl_de", kF2000, "rl de", "F3"},
    {"rr_de", kF2000, "rr de", "FB"},
    {"add_sp_n", kF2000, "add sp,-2", "27 FE"},
    {"mul", kF2000, "mul", "F7"},
    {"ex_de_alt_hl", kF2000, "ex de',hl", "E3"},
    {"ex_de_hl_alt", kF2000, "ex de,hl'", "76 EB"},
    {"ex_af", kF2000, "ex af,af'", "08"},
    {"ex_sp_hl_f80", kF2000, "ex (sp),hl", "ED 54"},
    {"ex_sp_ix", kF2000, "ex (sp),ix", "DD E3"},
    {"push_ip", kF2000, "push ip", "ED 76"},
    {"pop_ip", kF2000, "pop IP", "ED 7E"},
    {"ld_alt_bc_de", kF2000, "ld bc',de", "ED 41"},
    {"ld_alt_hl_bc", kF2000, "ld hl',bc", "ED 69"},
    {"ld_xpc_a", kF2000, "ld xpc,a", "ED 67"},
    {"ld_a_xpc", kF2000, "ld a,xpc", "ED 77"},
    {"ld_a_iir", kF2000, "ld a,iir", "ED 5F"},
    {"ld_a_eir", kF2000, "ld a,eir", "ED 57"},
    {"ld_a_r", kF2000, "ld a,r", "ED 57"},
    {"ld_iir_a", kF2000, "ld iir,a", "ED 4F"},
    {"ld_eir_a", kF2000, "ld eir,a", "ED 47"},
    {"ldp_hl_ind", kF2000, "ldp (hl),hl", "ED 64"},
    {"ldp_ix_ind", kF2000, "ldp (ix),hl", "DD 64"},
    {"ldp_mem_iy", kF2000, "ldp (0x1234),iy", "FD 65 34 12"},
    {"ldp_hl_mem", kF2000, "ldp hl,(0x1234)", "ED 6D 34 12"},
    {"ldp_hl_iy_ind", kF2000, "ldp hl,(iy)", "FD 6C"},
    {"rst_28", kF2000, "rst 0x28", "EF"},
    {"rst_38_f80", kF2000, "rst 0x38", "FF"},
    {"rst_38_z180", kZ180, "rst 0x38", "FF"},
    {"rst_0_z180", kZ180, "rst 0", "C7"},
    {"ex_sp_hl_z180", kZ180, "ex (sp),hl", "E3"},
    {"call_cc_z180", kZ180, "call nz,0x1234", "C4 34 12"},
    {"and_z180_reg", kZ180, "and b", "A0"},
    {"or_z180_reg", kZ180, "or a,c", "B1"},
    {"xor_z180_mem", kZ180, "xor (hl)", "AE"},
    {"cp_z180_ix", kZ180, "cp (ix+2)", "DD BE 02"},
    {"and_z180_imm", kZ180, "and 0x0F", "E6 0F"},
    // the Z180's own forms
    {"ld_i_a_z180", kZ180, "ld i,a", "ED 47"},
    {"ld_a_i_z180", kZ180, "ld a,I", "ED 57"},
    {"ld_r_a_z180", kZ180, "ld r,a", "ED 4F"},
    {"ld_a_r_z180", kZ180, "ld a,r", "ED 5F"},
    {"out_c_a_z180", kZ180, "out (c),a", "ED 79"},
    {"out_c_l_z180", kZ180, "out (c),l", "ED 69"},
    {"in_b_c_z180", kZ180, "in b,(c)", "ED 40"},
    {"out_n_a_z180", kZ180, "out (0x40),a", "D3 40"},
    {"in_a_n_z180", kZ180, "in a,(0x41)", "DB 41"},
    {"out0_z180", kZ180, "out0 (0x38),a", "ED 39 38"},
    {"in0_z180", kZ180, "in0 l,(0x3A)", "ED 28 3A"},
    {"mlt_hl_z180", kZ180, "mlt hl", "ED 6C"},
    {"mlt_sp_z180", kZ180, "mlt sp", "ED 7C"},
    {"tst_r_z180", kZ180, "tst b", "ED 04"},
    {"tst_hl_z180", kZ180, "tst (hl)", "ED 34"},
    {"tst_n_z180", kZ180, "tst 0x12", "ED 64 12"},
    {"tstio_z180", kZ180, "tstio 3", "ED 74 03"},
    {"im0_z180", kZ180, "im 0", "ED 46"},
    {"im1_z180", kZ180, "im 1", "ED 56"},
    {"im2_z180", kZ180, "im 2", "ED 5E"},
    {"ei_z180", kZ180, "ei", "FB"},
    {"di_z180", kZ180, "di", "F3"},
    {"halt_z180", kZ180, "halt", "76"},
    {"slp_z180", kZ180, "slp", "ED 76"},
    {"retn_z180", kZ180, "retn", "ED 45"},
    {"otim_z180", kZ180, "otim", "ED 83"},
    {"otimr_z180", kZ180, "otimr", "ED 93"},
    {"otdm_z180", kZ180, "otdm", "ED 8B"},
    {"otdmr_z180", kZ180, "otdmr", "ED 9B"},
    {"or_z180_imm", kZ180, "or 0x80", "F6 80"},
    {"xor_z180_imm", kZ180, "xor 1", "EE 01"},
    {"cp_z180_imm", kZ180, "cp 'A'", "FE 41"},
    {"bit_ix", kF2000, "bit 3,(ix+5)", "DD CB 05 5E"},
    {"set_hl", kF2000, "set 7,(hl)", "CB FE"},
    {"res_a", kF2000, "res 0,a", "CB 87"},
    {"srl_iy", kF2000, "srl (iy-1)", "FD CB FF 3E"},
    {"ld_ix_n", kF2000, "ld (ix+5),7", "DD 36 05 07"},
    {"ld_hl_n", kF2000, "ld (hl),255", "36 FF"},
    {"ld_b_ix", kF2000, "ld b,(ix+127)", "DD 46 7F"},
    {"ld_iy_c", kF2000, "ld (iy-128),c", "FD 71 80"},
    {"add_ix_ix", kF2000, "add ix,ix", "DD 29"},
    {"add_hl_sp", kF2000, "add hl,sp", "39"},
    {"adc_hl_de", kF2000, "adc hl,de", "ED 5A"},
    {"sbc_hl_bc", kF2000, "sbc hl,bc", "ED 42"},
    {"sbc_a_n", kF2000, "sbc a,3", "DE 03"},
    {"sub_a_b", kF2000, "sub a,b", "90"},
    {"inc_ix", kF2000, "inc ix", "DD 23"},
    {"dec_iy_disp", kF2000, "dec (iy+2)", "FD 35 02"},
    {"push_af", kF2000, "push af", "F5"},
    {"pop_iy", kF2000, "pop iy", "FD E1"},
    {"jp_hl", kF2000, "jp (hl)", "E9"},
    {"jp_iy", kF2000, "jp (iy)", "FD E9"},
    {"jp_cc", kF2000, "jp lo,0x1234", "EA 34 12"},
    {"jp_nv_synonym", kF2000, "jp nv,0x1234", "E2 34 12"},
    {"sjp", kF2000, "sjp 0x1234", "C3 34 12"},
    {"ret_cc", kF2000, "ret m", "F8"},
    {"ld_a_mem", kF2000, "ld a,(0x1234)", "3A 34 12"},
    {"ld_de_mem", kF2000, "ld de,(0x1234)", "ED 5B 34 12"},
    {"ld_mem_sp", kF2000, "ld (0x1234),sp", "ED 73 34 12"},
    {"ld_mem_ix", kF2000, "ld (0x1234),ix", "DD 22 34 12"},
    {"ld_bc_de_ind", kF2000, "ld a,(de)", "1A"},
    {"ld_sp_iy", kF2000, "ld sp,iy", "FD F9"},
    {"ldir", kF2000, "ldir", "ED B0"},
    {"uma_3000", kF3000, "uma", "ED C0"},
    {"idet_3000", kF3000, "idet", "5B"},
    {"ld_e_e_2000", kF2000, "ld e,e", "5B"},
    {"push_su_3000", kF3000, "push su", "ED 66"},
    {"syscall_3000", kF3000, "syscall", "ED 75"},
    {"hex_suffix", kF2000, "ld a,0FFh", "3E FF"},
    {"binary", kF2000, "ld a,11111111b", "3E FF"},
    {"c_hex", kF2000, "ld hl,0x00FF", "21 FF 00"},
    {"hex_cut_16", kF2000, "ld hl,0FFFFFh", "21 FF FF"},
    {"octal", kF2000, "ld a,010", "3E 08"},
    {"char_pair", kF2000, "ld hl,'AB'", "21 42 41"},
    {"expression", kF2000, "ld hl,2*(3+4)-1", "21 0D 00"},
    {"negate_after_operator", kF2000, "ld hl,5*-3", "21 F1 FF"},
    {"shift_binds_loosest", kF2000, "ld hl,3|1<<8", "21 00 03"},
    {"complement", kF2000, "ld a,~0xF0&0xFF", "3E 0F"},
    {"comment_semicolon", kF2000, "nop ; ld a,b", "00"},
    {"comment_slashes", kF2000, "nop // ld a,b", "00"},
    {"two_statements", kF2000, "nop $ inc a", "00 3C"},
    {"db_items", kF2000, "db \"hi\",1,-1", "68 69 01 FF"},
    {"dw_items", kF2000, "dw 0x1234,5", "34 12 05 00"},
    {"align_even", kF2000, "nop $ align even", "00 00"},
    {"align_4", kF2000, "nop $ align 4", "00 00 00 00"},
    {"at_pc", kF2000, "ld hl,@pc", "21 00 10"},
};

class Encode : public ::testing::TestWithParam<EncodeCase> {
    AsmStateGuard m_guard;
};

TEST_P(Encode, Bytes)
{
    const EncodeCase &c = GetParam();
    AsmRun r(c.cpu, {c.line});
    EXPECT_EQ(r.errors(), "");
    EXPECT_EQ(r.bytes(0x1000), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(Forms, Encode, ::testing::ValuesIn(kEncode),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- bad lines: a clear message, no bytes, the next line assembles -------------------------------

struct ErrorCase {
    const char *name;
    Cpu cpu;
    const char *line;
    const char *message;
};

const ErrorCase kErrors[] = {
    {"unknown_mnemonic", kF2000, "frob: blah", "Bad or Missing Opcode"},
    {"label_without_colon", kF2000, "frob a", "Missing ':'"},
    {"uma_on_2000", kF2000, "uma", "Missing ':'"},
    {"unknown_register", kF2000, "push qq", "Register Name Expected"},
    {"wrong_class", kF2000, "ld a,bc", "Invalid Register Usage"},
    {"add_ix_hl", kF2000, "add ix,hl", "Invalid Register Usage"},
    {"ex_af_no_apostrophe", kF2000, "ex af,af", "Invalid Register Usage"},
    {"imm_too_big", kF2000, "ld a,256", "Byte Out of Range"},
    {"mem_imm_too_big", kF2000, "ld (hl),256", "Byte Out of Range"},
    {"cp_too_big", kF2000, "cp 256", "Byte Out of Range"},
    {"char_pair_in_byte", kF2000, "ld a,'AB'", "Byte Out of Range"},
    {"word_too_big", kF2000, "ld hl,0x12345", "Byte Out of Range"},
    {"disp_out_of_range", kF2000, "ld a,(ix+128)", "Index Out of Range"},
    {"sp_negative", kF2000, "ld hl,(sp-2)", "Index Out of Range"},
    {"rst_0_f80", kF2000, "rst 0", "Invalid RST Address"},
    {"rst_bad", kZ180, "rst 5", "Invalid RST Address"},
    {"rst_not_number", kF2000, "rst x", "Integer Constant Expected"},
    {"bit_8", kF2000, "bit 8,a", "Missing or Bad Bit Number (0 - 7)"},
    {"ipset_4", kF2000, "ipset 4", "Byte Out of Range"},
    {"jr_bad_flag", kF2000, "jr m,0x1000", "Invalid Flag"},
    {"div_zero", kF2000, "ld a,5/0", "Division by zero in an operand expression."},
    {"mod_zero", kF2000, "ld a,5%0", "Division by zero in an operand expression."},
    {"unclosed_paren", kF2000, "ld a,(2+3", "Missing ')'"},
    {"ends_in_operator", kF2000, "ld a,2+", "Invalid expression."},
    {"single_less", kF2000, "ld a,2<3", "Unsupported operator."},
    {"two_undefined", kF2000, "ld hl,a1+a2", "Only One Undefined Label per Parameter"},
    {"bad_at", kF2000, "ld hl,@foo", "Bad Use of @ operator"},
    {"unterminated_string", kF2000, "db \"abc", "Invalid String Constant"},
    // Longer than two characters: reported without the value overflowing on the way (the
    // sanitizer build stops on such an overflow).
    {"long_char_constant", kF2000, "ld a,'ABCDE'", "Invalid String Constant"},
    {"very_long_char_constant", kF2000, "ld hl,'ABCDEFGHIJKLMNOPQRSTUVWXYZ'", "Invalid String Constant"},
    {"empty_char_constant", kF2000, "ld a,''", "Invalid String Constant"},
    {"long_word", kF2000, "ld hl,abcdefghijabcdefghijabcdefghijabcdef", "Word or string longer than 33 characters."},
    {"long_string", kF2000, "db \"abcdefghijabcdefghijabcdefghijabcdef\"", "Word or string longer than 33 characters."},
    {"error_after_label_reference", kF2000, "ld (ix+later),a", "Invalid expression."},
    {"range_after_reference", kF2000, "dw later,0x12345", "Byte Out of Range"},
    {"garbage", kF2000, "ld a,b c", "Syntax error - or garbage at end of program."},
    {"missing_comma", kF2000, "ld a", "Missing ','"},
    {"ioi_no_memory", kF2000, "ioi nop", "Memory mapped I/O not allowed."},
    {"two_io_prefixes", kF2000, "ioi ioe ld a,(hl)", "Multiple prefixes not permitted."},
    {"altd_no_destination", kF2000, "altd nop", "Alternate destination register not allowed."},
    {"altd_sp", kF2000, "ld sp',hl", "Invalid Register Usage"},
    {"f80_only_on_z180", kZ180, "ioi ld a,(hl)", "Bad or Missing Opcode"},
    {"mul_on_z180", kZ180, "mul", "Bad or Missing Opcode"},
    {"bool_on_z180", kZ180, "bool hl", "Bad or Missing Opcode"},
    {"apostrophe_on_z180", kZ180, "ld a',b", "Invalid Register Usage"},
    {"out_c_hl_z180", kZ180, "out (c),(hl)", "Invalid Register Usage"},
    {"in0_hl_z180", kZ180, "in0 (hl),(3)", "Invalid Register Usage"},
    {"im3_z180", kZ180, "im 3", "Byte Out of Range"},
    {"z180_only_on_f80", kF2000, "out0 (0x38),a", "Missing ':'"},  // a label there
    {"i_is_a_name_on_f80", kF2000, "ld i,a", "Invalid Register Usage"},
    {"lcall_needs_keyword", kF2000, "lcall 0x1234",
     "Must specify destination as logical or physical address using root or xmem keyword."},
    {"align_zero", kF2000, "align 0", "Alignment value must be positive."},
    {"ldp_bad", kF2000, "ldp de,(0x1234)", "Invalid operand."},
    {"unrecognized_token", kF2000, "ld a,\x01", "Unrecognized Token"},
};

class BadLine : public ::testing::TestWithParam<ErrorCase> {
    AsmStateGuard m_guard;
};

TEST_P(BadLine, ReportsAndEmitsNothing)
{
    const ErrorCase &c = GetParam();
    AsmRun r(c.cpu, {c.line, "nop"});
    ASSERT_GE(r.host.error_count(), 1) << "no error for: " << c.line;
    if (*c.message) {
        EXPECT_EQ(r.host.messages.front().text, c.message);
    }
    EXPECT_EQ(r.host.messages.front().line, 1);
    EXPECT_EQ(r.bytes(0x1000), "00") << "the bad line emitted bytes, or the next line did not assemble";
    for (const auto &m : r.host.messages)
        EXPECT_EQ(m.text.find("Undefined (but used)"), std::string::npos) << "the bad line left a fix-up behind";
}

INSTANTIATE_TEST_SUITE_P(Errors, BadLine, ::testing::ValuesIn(kErrors),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- labels, fix-ups and jumps ----------------------------------------------------------------------

TEST_F(AsmLabels, ForwardReferencesArePatchedWithTheirAddend)
{
    AsmRun r(kF2000, {"ld hl,table + 2*3", "jr later", "later: nop", "table: db 1"});
    EXPECT_EQ(r.errors(), "");
    // table = 0x1006: 0x100C; jr from 0x1003 to 0x1005: d = 0
    EXPECT_EQ(r.bytes(0x1000), "21 0C 10 18 00 00 01");
}

TEST_F(AsmLabels, ForwardReferenceQueuesFixupWithAddend)
{
    select(kF2000);
    AsmImageHost host(0x1000);
    set_asm_host(&host);
    assemble_line("ld hl,table + 2*3");
    set_asm_host(nullptr);
    ASSERT_EQ(host.fixups.size(), 1u);
    EXPECT_EQ(host.fixups[0].name, "table");
    EXPECT_EQ(host.fixups[0].addend, 6);
    EXPECT_EQ(host.fixups[0].address, 0x1001u);
}

TEST_F(AsmLabels, BackwardDjnzOnTheSameLine)
{
    AsmRun r(kF2000, {"loop: djnz loop"});
    EXPECT_EQ(r.bytes(0x1000), "10 FE");
}

TEST_F(AsmLabels, GlobalLabelThenTwoStatements)
{
    AsmRun r(kF2000, {"start:: nop $ nop"});
    EXPECT_EQ(r.errors(), "");
    EXPECT_EQ(r.host.labels.at("start"), 0x1000u);
    EXPECT_EQ(r.bytes(0x1000), "00 00");
}

TEST_F(AsmLabels, JumpRangeEdges)
{
    // d = -128 is accepted; 128 bytes past the end is not
    std::vector<std::string> back = {"back: nop"};
    for (int i = 0; i < 125; ++i) back.push_back("nop");
    back.push_back("jr back");  // at 0x107E: d = 0x1000 - 0x1080 = -128
    AsmRun ok(kF2000, back);
    EXPECT_EQ(ok.errors(), "");
    EXPECT_EQ(asm_hex(ok.host.bytes(0x107E, 0x1080)), "18 80");

    AsmRun far(kF2000, {"jr 0x1082"});  // d = 0x1082 - 0x1002 = 128
    EXPECT_EQ(far.errors(), "Jump out of Range");
    EXPECT_EQ(far.bytes(0x1000), "");

    std::vector<std::string> fwd = {"jr ahead"};
    for (int i = 0; i < 128; ++i) fwd.push_back("nop");
    fwd.push_back("ahead: nop");
    AsmRun late(kF2000, fwd);
    EXPECT_EQ(late.errors(), "Jump out of Range");
}

TEST_F(AsmLabels, UndefinedAndDoublyDefined)
{
    AsmRun undefined(kF2000, {"jp nowhere", "nop"});
    EXPECT_EQ(undefined.errors(), "Undefined (but used) local symbol nowhere");

    AsmRun twice(kF2000, {"here: nop", "here: nop"});
    EXPECT_EQ(twice.errors(), "here previously defined.");
    EXPECT_EQ(twice.bytes(0x1000), "00");
}

TEST_F(AsmLabels, EquWithAndWithoutColon)
{
    AsmRun with(kF2000, {"x: equ 5", "ld a,x"});
    EXPECT_EQ(with.errors(), "");
    EXPECT_EQ(with.bytes(0x1000), "3E 05");

    AsmRun without(kF2000, {"x equ 5", "ld a,x"});
    EXPECT_EQ(without.errors(), "Missing ':'");
    EXPECT_EQ(without.host.labels.at("x"), 5u);
}

// ---- debug stepping and the I/O-prefix watch --------------------------------------------------------

TEST_F(AsmDebug, SteppingBytePrecedesInstructionsNotData)
{
    AsmRun r(kF2000, {"ld a,b", "db 1", "altd ld a,b"}, 0x1000, true);
    EXPECT_EQ(r.bytes(0x1000), "EF 78 01 EF 76 78");
    // every statement that produced bytes is a source position, data included
    EXPECT_EQ(r.host.line_entries, (std::vector<uint32_t>{0x1000, 0x1002, 0x1003}));
}

TEST_F(AsmDebug, GeneratedLinesGetNoSteppingByte)
{
    set_asm_generated_line(true);
    AsmRun r(kF2000, {"ld a,b"}, 0x1000, true);
    set_asm_generated_line(false);
    EXPECT_EQ(r.bytes(0x1000), "78");
}

TEST_F(AsmIoWatch, ArmedAfterAnIoStatementForTheNextByteOnly)
{
    select(kF2000);
    AsmImageHost host(0);
    set_asm_host(&host);
    EXPECT_FALSE(check_emitted_io_prefix(0x7E));
    assemble_line("ioi ld a,(hl)");
    EXPECT_TRUE(check_emitted_io_prefix(0x34));   // inc (hl)
    EXPECT_FALSE(check_emitted_io_prefix(0x7E));  // disarmed
    assemble_line("ioe ld (0x10),a");
    EXPECT_TRUE(check_emitted_io_prefix(0x46));   // ld b,(hl)
    // Only the first byte after the statement is looked at: a byte further on (an operand, data)
    // that reads like one of the opcodes is left alone.
    assemble_line("ioi ld a,(hl)");
    EXPECT_FALSE(check_emitted_io_prefix(0x21));  // ld hl,nn
    EXPECT_FALSE(check_emitted_io_prefix(0x7E));  // its operand's high byte
    set_asm_host(nullptr);
}

// ---- vocabulary ---------------------------------------------------------------------------------------

TEST_F(AsmVocabulary, RegistersAreExactCaseAndConditionsToo)
{
    select(kF2000);
    AsmImageHost host(0);
    set_asm_host(&host);
    asm_scan_begin("HL Hl nz NZ Nz nv v");
    next_asm_token();
    EXPECT_EQ(asm_register_code(), kRegHL);
    next_asm_token();
    EXPECT_EQ(asm_register_code(), -1);
    next_asm_token();
    EXPECT_EQ(condition_number(), 0);
    next_asm_token();
    EXPECT_EQ(condition_number(), 0);
    next_asm_token();
    EXPECT_FALSE(is_condition_word());
    next_asm_token();
    EXPECT_EQ(condition_number(), 4);
    next_asm_token();
    EXPECT_EQ(condition_number(), 5);
    set_asm_host(nullptr);
}

TEST_F(AsmVocabulary, NumberForms)
{
    select(kF2000);
    AsmImageHost host(0);
    set_asm_host(&host);
    struct { const char *text; int32_t value; int next; } cases[] = {
        {"0FFh", 255, kTokEnd}, {"0x00FF", 255, kTokEnd}, {"255", 255, kTokEnd},
        {"11111111b", 255, kTokEnd}, {"0FFFFFh", 0xFFFF, kTokEnd}, {"100000", 100000, kTokEnd},
        {"12ab", 12, kTokWord}, {"7u", 7, kTokEnd},
    };
    for (const auto &c : cases) {
        asm_scan_begin(c.text);
        EXPECT_EQ(next_asm_token(), kTokNumber) << c.text;
        EXPECT_EQ(asm_token_value(), c.value) << c.text;
        EXPECT_EQ(next_asm_token(), c.next) << c.text;
    }
    set_asm_host(nullptr);
}

TEST_F(AsmVocabulary, KeywordHashCollisionIsReported)
{
    KeywordHash h;
    // "a" + 17 * "\x01"... two texts with one hash: h("bA") == h("c0")
    EXPECT_EQ(KeywordHash::keyword_hash_value("bA"), KeywordHash::keyword_hash_value("c0"));
    EXPECT_FALSE(h.build({"bA", "c0"}));
    EXPECT_TRUE(h.build({"ld", "add"}));
    EXPECT_EQ(h.keyword_index("add"), 1);
    EXPECT_EQ(h.keyword_index("ADD"), -1);
}

TEST_F(AsmVocabulary, MnemonicTableSizeFollowsRevision)
{
    select(kF2000);
    EXPECT_EQ(asm_active_mnemonic_count(), 61);
    select(kF3000);
    EXPECT_EQ(asm_active_mnemonic_count(), 74);
    select(kZ180);
    EXPECT_EQ(asm_active_mnemonic_count(), 61 + 17);  // the base rows and the Z180's own
}

// ---- address directories ----------------------------------------------------------------------------

// Both targets enter an xmem function through its root stub, so both translate.
TEST_F(AsmDirectories, TranslateOnBothTargetsAndFirstEntryWins)
{
    select(kF2000);
    set_asm_xmem_window_start(0xE000);
    root_address_directory().clear();
    xmem_address_directory().clear();
    record_xmem_stub(0x0200, 0x05E100);
    record_xmem_stub(0x0200, 0x06E200);
    EXPECT_EQ(translate_root_address(0x0200), 0x05E100u);
    EXPECT_EQ(translate_root_address(0x0300), 0x0300u);
    EXPECT_EQ(translate_xmem_address(0x06E200), 0x0200u);
    select(kZ180);
    EXPECT_EQ(translate_root_address(0x0200), 0x05E100u);
    EXPECT_EQ(translate_root_address(0x0300), 0x0300u);
    EXPECT_EQ(translate_xmem_address(0x06E200), 0x0200u);
    root_address_directory().clear();
    xmem_address_directory().clear();
}

}  // namespace
