// SEAM_CODEGEN: what the compiler driver uses of the code generator: processor selection, the
// BIOS/program compile switches, the current code address, the run-time symbol placement and the
// pending call stubs. The code generator answers by default (CC_Z80CPU); what its units not yet
// built would answer is refused by throwing `xErr` "The code generator is not part of this
// build." (the refusal keeps no state, so its resets do nothing). Tests install a recording
// double.
// Std-only.
#pragma once

#include <cstdint>

class CodegenSeam {
public:
    virtual ~CodegenSeam() = default;
    // 0 the Vireon family, 1 the Z180; other values do nothing. Returns `word` unchanged.
    virtual uint16_t select_target_cpu(uint16_t word, uint8_t cpu) = 0;
    // 1 for the processor with "ipset"/"ipres" and the jump-around-call conditional call.
    virtual uint8_t cpu_flag() const = 0;
    virtual void set_bios_compile(uint8_t *bios_marker) = 0;
    virtual void set_program_compile(uint8_t *program_flag) = 0;
    virtual void select_cache_set(int program_flag) = 0;
    // Makes the code cache for the address current and moves its emit address there.
    virtual void set_code_address(uint32_t address_word) = 0;
    virtual uint32_t xmem_cache_address() const = 0;
    virtual uint16_t root_code_size() const = 0;
    // After a program compile: checks the run-time symbols and writes the start-up block; false
    // on failure (the messages recorded). `mode`: the vector flag of the block.
    [[nodiscard]] virtual bool link_required_symbols(int mode) = 0;
    // Before a program compile: the start-up block's size (the second block's in `second_size`),
    // without looking a symbol up.
    virtual uint16_t measure_start_up_block(uint16_t *second_size) = 0;
    // Before the compile's label scope closes: keeps the addresses of the names the block calls.
    virtual void note_required_symbols() = 0;
    // Before a program compile, after the block was measured: the routines the block calls are
    // wanted, so that the libraries' modules that define them come in even when the program's
    // own code calls none of them. Nothing by default (a stand-in writes no block).
    virtual void want_start_up_routines() {}
    // Emits the pending xmem call stubs (and at the end of a compile the pooled literals).
    virtual void output_pending_stubs(int flag) = 0;
    // Compile teardown: deletes a pending inline-assembler object.
    virtual void delete_pending_asm_object() = 0;
    // Start of every compile: clears the data-wait flag and the last defined code label.
    virtual void reset_compile_state() = 0;
};

CodegenSeam &codegen_seam();
// Not owned; null restores the code generator.
void set_codegen_seam(CodegenSeam *seam);
// The built-in refusal for every service: what the code generator hands on for its units that
// are not built yet.
CodegenSeam &unbuilt_codegen_seam();

// The built-in refusal of a code-generator service: throws `xErr` "The code generator is not
// part of this build."
[[noreturn]] void refuse_missing_codegen();
