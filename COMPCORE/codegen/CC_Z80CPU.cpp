// CC_Z80CPU: CPU selection, code-address and cache-set selection, the BIOS/program switches, the
// memory configurations of the two CPUs, and the code generator's side of `CodegenSeam`.
#include "CC_Z80CPU.h"

#include "CC_ASM.h"
#include "CC_ASMTAB.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_IN.h"
#include "CC_Z80.h"
#include "CC_Z80FUNC.h"
#include "CC_Z80START.h"
#include "CC_Z80GEN.h"
#include "CC_Z80LOAD.h"
#include "debugger/DB_DA.h"
#include "core/SEAM_CODEGEN.h"

#include <algorithm>

namespace {

// The BIOS marker points at one of these.
constexpr uint8_t kMarkerBytes[2] = {0, 1};
const uint8_t *g_bios_marker = &kMarkerBytes[0];

std::vector<uint8_t> g_cpu_tables[2];

MemoryConfigurationInputs g_memory_inputs;
F80MemoryConfiguration g_f80_config;
Z180MemoryConfiguration g_z180_config;
MemoryConfiguration *g_memory_config = &g_f80_config;

// With memory option bit 0: the smaller of the address and the limit word, on a 4 KB boundary.
uint16_t adjusted(uint32_t address)
{
    const uint16_t offset = addr_offset(address);
    if (!g_memory_inputs.option_bit0)
        return offset;
    return static_cast<uint16_t>(std::min(offset, g_memory_inputs.limit_word) & 0xF000);
}

}  // namespace

// ---- CPU selection ---------------------------------------------------------------------------------

uint16_t select_target_cpu(uint16_t word, uint8_t kind)
{
    if (kind > 1)
        return word;
    const bool f80 = kind == 0;
    set_asm_target(f80 ? 1 : 0, asm_target().revision);
    g_memory_config = f80 ? static_cast<MemoryConfiguration *>(&g_f80_config) : &g_z180_config;
    set_origin_switch(f80 ? 1 : 0);
    undefine_macro("TARGETCPU");
    (void)define_macro("TARGETCPU", f80 ? "F80" : "Z180");
    // "#if TARGETCPU == Z180" compares the processors' names: a compile without a BIOS before it
    // (whose predefined macros name them) has them too.
    if (!find_macro_value("Z180"))
        (void)define_macro("Z180", "0");
    if (!find_macro_value("F80"))
        (void)define_macro("F80", "1");
    init_asm_mnemonics();  // with the disassembler's page set and length tables of the F80
    if (!f80)
        selectDisasmPageSet(DisasmPageSet::Z180);
    g_cpu_tables[0].assign(f80 ? 16 : 128, 0);
    g_cpu_tables[1].assign(f80 ? 2 : 0, 0);
    return word;
}

const std::vector<uint8_t> &cpu_table(int which) { return g_cpu_tables[which == 1 ? 1 : 0]; }

// ---- code addresses and cache sets -------------------------------------------------------------------

uint32_t set_code_address(uint32_t address)
{
    EmitCache *cache = nullptr;
    if (watch_code_generation())
        cache = &watch_code_cache();
    else if (addr_offset(address) < window_start())
        cache = &root_code_cache();
    else
        cache = &xmem_code_cache();
    set_current_code_cache(*cache);
    if (cache->positioned && !cache->is_null_cache())
        cache->SetAddress(address);
    return address;
}

void select_cache_set(int mode)
{
    if (mode == 0) {
        point_caches_at_live_set(separate_instruction_data());
        g_bios_marker = &kMarkerBytes[0];
    } else if (mode == 1) {
        g_bios_marker = &kMarkerBytes[1];
    }
}

uint8_t bios_marker() { return *g_bios_marker; }

void set_bios_compile(uint8_t *flag)
{
    if (flag)
        *flag = 1;
    select_cache_set(0);
    (void)define_macro("BIOSCODE", "");
}

void set_program_compile(uint8_t *flag)
{
    if (flag)
        *flag = 0;
}

// ---- memory configurations ---------------------------------------------------------------------------

void set_memory_configuration_inputs(const MemoryConfigurationInputs &inputs)
{
    g_memory_inputs = inputs;
}

F80MemoryConfiguration &f80_memory_configuration() { return g_f80_config; }
Z180MemoryConfiguration &z180_memory_configuration() { return g_z180_config; }
MemoryConfiguration &current_memory_configuration() { return *g_memory_config; }

// The far end of the data origin: up from its start for an upward cache, down otherwise.
uint16_t F80MemoryConfiguration::area_end()
{
    EmitCache &data = data_cache();
    data.CheckOrigin();
    const EmitOriginExtent &origin = data.GetOrigin();
    const int32_t reach = origin.size ? static_cast<int32_t>(origin.size) - 1 : 0;
    return addr_offset(addr_add(origin.start, data.direction > 0 ? reach : -reach));
}

uint16_t F80MemoryConfiguration::data_address() { return adjusted(data_cache().current); }

uint8_t F80MemoryConfiguration::separate_data()
{
    if (flag == 0)
        return 0;
    return g_memory_inputs.option_bit0 ? 0 : 1;
}

uint16_t Z180MemoryConfiguration::area_end()
{
    const uint16_t end = adjusted(root_code_cache().current);
    return g_memory_inputs.option_bit0 ? static_cast<uint16_t>(end + 4096) : end;
}

uint16_t Z180MemoryConfiguration::data_address() { return adjusted(data_cache().current); }
uint8_t Z180MemoryConfiguration::separate_data() { return 0; }

// ---- the compile sequence's view -------------------------------------------------------------------

namespace {

class Z80CodegenSeam : public CodegenSeam {
public:
    uint16_t select_target_cpu(uint16_t word, uint8_t kind) override
    {
        return ::select_target_cpu(word, kind);
    }
    uint8_t cpu_flag() const override { return static_cast<uint8_t>(::cpu_flag()); }
    void set_bios_compile(uint8_t *marker) override { ::set_bios_compile(marker); }
    void set_program_compile(uint8_t *flag) override { ::set_program_compile(flag); }
    void select_cache_set(int mode) override { ::select_cache_set(mode); }
    void set_code_address(uint32_t address) override { (void)::set_code_address(address); }
    uint32_t xmem_cache_address() const override { return ::xmem_cache_address(); }
    void reset_compile_state() override
    {
        reset_code_generator();
        unbuilt_codegen_seam().reset_compile_state();
    }

    uint16_t root_code_size() const override { return start_up_block_size(); }
    bool link_required_symbols(int mode) override { return ::link_required_symbols(mode); }
    uint16_t measure_start_up_block(uint16_t *second_size) override
    {
        return ::measure_start_up_block(second_size);
    }
    void note_required_symbols() override { ::note_required_symbols(); }
    void want_start_up_routines() override { ::want_start_up_routines(); }

    // Services of units that are not built yet.
    void output_pending_stubs(int flag) override { unbuilt_codegen_seam().output_pending_stubs(flag); }
    void delete_pending_asm_object() override { unbuilt_codegen_seam().delete_pending_asm_object(); }
} g_seam;

}  // namespace

CodegenSeam &code_generator_seam() { return g_seam; }

void reset_code_generator()
{
    reset_value_model();
    reset_branch_state();
    reset_function_frames();
    reset_start_up_state();
    reset_value_loads();
}
