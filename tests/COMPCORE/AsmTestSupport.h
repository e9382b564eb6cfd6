// Shared by the assembler and disassembler tests: a guard that leaves the assembler as a test
// found it (target CPU and revision, xmem window, host, module switches, statement state and
// the disassembler's page set), so the tests pass in one process in any order.
#pragma once

#include "codegen/CC_ASM.h"
#include "debugger/DB_DA.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Bytes as "3E FF".
inline std::string asm_hex(const std::vector<uint8_t> &bytes)
{
    std::string s;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%s%02X", s.empty() ? "" : " ", b);
        s += buf;
    }
    return s;
}

class AsmStateGuard {
public:
    AsmStateGuard() : m_target(asm_target()), m_set(currentDisasmPageSet()), m_host(asm_host())
    {
        reset_asm_state();
    }
    ~AsmStateGuard()
    {
        set_asm_host(m_host);
        set_asm_generated_line(false);
        set_asm_dry_run_depth(0);
        set_asm_block_move_replacement(false);
        set_asm_redefinition_allowed(false);
        reset_asm_state();
        set_asm_target(m_target.cpu_flag, m_target.revision);
        set_asm_xmem_window_start(m_target.xmem_window_start);
        init_asm_mnemonics();
        selectDisasmPageSet(m_set);
    }
    AsmStateGuard(const AsmStateGuard &) = delete;
    AsmStateGuard &operator=(const AsmStateGuard &) = delete;

private:
    AsmTargetConfig m_target;
    DisasmPageSet m_set;
    AsmHost *m_host;
};
