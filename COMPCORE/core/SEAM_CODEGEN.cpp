// SEAM_CODEGEN: the code generator as the driver reaches it. By default the code generator
// itself (CC_Z80CPU) answers; the services of its units that are not built yet go to the built-in
// refusal below, which keeps no state (so the reset and the teardown have nothing to do) and
// throws for every call that would have to answer or emit something, so a compile fails with one
// clear message instead of going on with made-up answers.
#include "SEAM_CODEGEN.h"

#include "codegen/CC_Z80CPU.h"
#include "guiExceptions.h"

namespace {

constexpr uint32_t kMsgNoCodeGenerator = 7150;  // "The code generator is not part of this build."

class MissingCodegen : public CodegenSeam {
public:
    uint16_t select_target_cpu(uint16_t, uint8_t) override { refuse_missing_codegen(); }
    uint8_t cpu_flag() const override { refuse_missing_codegen(); }
    void set_bios_compile(uint8_t *) override { refuse_missing_codegen(); }
    void set_program_compile(uint8_t *) override { refuse_missing_codegen(); }
    void select_cache_set(int) override { refuse_missing_codegen(); }
    void set_code_address(uint32_t) override { refuse_missing_codegen(); }
    uint32_t xmem_cache_address() const override { refuse_missing_codegen(); }
    uint16_t root_code_size() const override { refuse_missing_codegen(); }
    bool link_required_symbols(int) override { refuse_missing_codegen(); }
    uint16_t measure_start_up_block(uint16_t *) override { refuse_missing_codegen(); }
    void note_required_symbols() override {}
    void output_pending_stubs(int) override { refuse_missing_codegen(); }
    void delete_pending_asm_object() override {}
    void reset_compile_state() override {}
};

MissingCodegen g_missing;
CodegenSeam *g_seam = nullptr;  // the code generator itself

}  // namespace

[[noreturn]] void refuse_missing_codegen() { throw xErr(kMsgNoCodeGenerator, KX_HERE); }

CodegenSeam &codegen_seam() { return g_seam ? *g_seam : code_generator_seam(); }
void set_codegen_seam(CodegenSeam *seam) { g_seam = seam; }
CodegenSeam &unbuilt_codegen_seam() { return g_missing; }
