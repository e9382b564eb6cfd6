// SEAM_CODEGEN: the code generator as the driver sees it, with a recording headless double.
#include "SEAM_CODEGEN.h"

namespace {
CodegenSeam *g_seam = nullptr;
}

HeadlessCodegen &headless_codegen()
{
    static HeadlessCodegen codegen;
    return codegen;
}

CodegenSeam &codegen_seam() { return g_seam ? *g_seam : headless_codegen(); }
void set_codegen_seam(CodegenSeam *seam) { g_seam = seam; }

uint16_t HeadlessCodegen::select_target_cpu(uint16_t word, uint8_t cpu_id)
{
    calls.push_back("select_target_cpu " + std::to_string(cpu_id));
    // The Vireon family has the "ipset"/"ipres" instructions; the Z180 does not.
    if (cpu_id == 0)
        cpu = 1;
    else if (cpu_id == 1)
        cpu = 0;
    return word;
}

void HeadlessCodegen::set_bios_compile(uint8_t *bios_marker)
{
    calls.push_back("set_bios_compile");
    if (bios_marker)
        *bios_marker = 1;
}

void HeadlessCodegen::set_program_compile(uint8_t *program_flag)
{
    calls.push_back("set_program_compile");
    if (program_flag)
        *program_flag = 0;
}

void HeadlessCodegen::select_cache_set(int program_flag)
{
    calls.push_back("select_cache_set " + std::to_string(program_flag));
}

void HeadlessCodegen::set_code_address(uint32_t address_word)
{
    calls.push_back("set_code_address " + std::to_string(address_word));
    code_address = address_word;
}

bool HeadlessCodegen::link_required_symbols(int mode)
{
    calls.push_back("link_required_symbols " + std::to_string(mode));
    return link_ok;
}

void HeadlessCodegen::output_pending_stubs(int flag)
{
    calls.push_back("output_pending_stubs " + std::to_string(flag));
}

void HeadlessCodegen::delete_pending_asm_object() { calls.push_back("delete_pending_asm_object"); }
void HeadlessCodegen::reset_compile_state() { calls.push_back("reset_compile_state"); }
