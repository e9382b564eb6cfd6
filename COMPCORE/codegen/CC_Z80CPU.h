// CC_Z80CPU: the code generator's set-up services: the target CPU (one selection switches the
// code generator, the assembler's mnemonic table and the disassembler's tables), the emit cache
// for a code address, the BIOS and program sets of emit caches, and the memory configurations
// of the two CPUs. Also the code generator as the compile sequence sees it (`CodegenSeam`).
// Called by the compile sequence, the "#pragma" handling and the parser.
#pragma once

#include <cstdint>
#include <vector>

class CodegenSeam;

// ---- CPU selection ---------------------------------------------------------------------------------

// Kind 0: the F80 set (CPU flag 1, "TARGETCPU" "F80"); kind 1: the Z180 set (CPU flag 0,
// "TARGETCPU" "Z180"); any other kind changes nothing. Activates the assembler's mnemonic table
// and the disassembler and length tables for the CPU and clears the per-CPU tables. Returns
// `word` unchanged.
uint16_t select_target_cpu(uint16_t word, uint8_t kind);
// The two per-CPU tables, zero after every selection: 16 bytes on the F80 (128 on the Z180),
// and a second one of 2 bytes on the F80 only.
const std::vector<uint8_t> &cpu_table(int which);

// ---- code addresses and cache sets -------------------------------------------------------------------

// Makes the code cache for the address current and moves it there: the watch cache while a watch
// expression is compiled, else the root code cache below the xmem window and the xmem code cache
// from it. A cache that is not positioned is made current but not moved. Returns the address.
uint32_t set_code_address(uint32_t address);
// Mode 0: the cache roles point at the live caches and the BIOS marker at 0; mode 1: the BIOS
// marker points at 1; other modes do nothing.
void select_cache_set(int mode);
uint8_t bios_marker();
// The BIOS compile: the flag becomes 1, cache set 0, "BIOSCODE" defined empty.
void set_bios_compile(uint8_t *flag);
void set_program_compile(uint8_t *flag);  // the flag becomes 0

// ---- memory configurations ---------------------------------------------------------------------------

// What the configurations read of the memory layout: memory option bit 0 and the limit word.
struct MemoryConfigurationInputs {
    bool option_bit0 = false;
    uint16_t limit_word = 0;
};
void set_memory_configuration_inputs(const MemoryConfigurationInputs &inputs);

class MemoryConfiguration {
public:
    virtual ~MemoryConfiguration() = default;
    // Virtual operations in slot order.
    virtual uint16_t area_end() = 0;       // F80: far end of the data area; Z180: root code end
    virtual uint16_t data_address() = 0;   // the data cache's address, adjusted
    virtual uint8_t separate_data() = 0;   // F80: the separate-data mode; Z180: 0
    uint8_t flag = 0;
};
class F80MemoryConfiguration : public MemoryConfiguration {
public:
    uint16_t area_end() override;
    uint16_t data_address() override;
    uint8_t separate_data() override;
};
class Z180MemoryConfiguration : public MemoryConfiguration {
public:
    uint16_t area_end() override;
    uint16_t data_address() override;
    uint8_t separate_data() override;
};
F80MemoryConfiguration &f80_memory_configuration();
Z180MemoryConfiguration &z180_memory_configuration();
// The configuration of the selected CPU.
MemoryConfiguration &current_memory_configuration();

// ---- the compile sequence's view -------------------------------------------------------------------

// The code generator behind `codegen_seam()` (unless a test installs another): CPU selection,
// cache sets, BIOS switches and code addresses are served here; the services of units not built
// yet go to `unbuilt_codegen_seam()`.
CodegenSeam &code_generator_seam();

// Start of a compile: the code generator's own state (value model, branches).
void reset_code_generator();
