// The code generator's set-up services: CPU selection for the code generator, the assembler and
// the disassembler at once; the emit cache for a code address; the cache sets and the BIOS
// switches; the memory configurations; and the code generator behind the driver's seam.
#include "CodegenFixture.h"

#include "debugger/DB_DA.h"
#include "core/SEAM_CODEGEN.h"
#include "SeamDoubles.h"
#include "core/guiExceptions.h"

namespace {

using namespace codegen_test;

std::string macro_text(const char *name)
{
    const macroinfo *m = find_macro_value(name);
    return m ? m->text : "(undefined)";
}

std::string disassembled(std::vector<uint8_t> code)
{
    uint16_t length = 0;
    std::string text;
    code.resize(4, 0);
    disassembleOne(0x4000, code, length, text);
    std::string squeezed;
    for (char ch : text)
        if (ch != ' ' || (!squeezed.empty() && squeezed.back() != ' '))
            squeezed += ch;
    return squeezed;
}

TEST_F(CodegenTest, SelectingTheF80SwitchesEveryTable)
{
    (void)select_target_cpu(0, 1);
    EXPECT_EQ(select_target_cpu(0x1234, 0), 0x1234);
    EXPECT_EQ(cpu_flag(), 1);
    EXPECT_EQ(macro_text("TARGETCPU"), "F80");
    EXPECT_EQ(origin_switch(), 1);
    const uint32_t start = here();
    outasm("ipset 1");
    outasm("bool hl");
    EXPECT_TRUE(summaries().empty());
    EXPECT_EQ(emitted(root_code_cache(), start), (std::vector<uint8_t>{0xED, 0x56, 0xCC}));
    EXPECT_EQ(disassembled({0xC7, 0x00, 0xE1, 0x20}).substr(0, 3), "ljp");
    EXPECT_EQ(cpu_table(0).size(), 16u);
    EXPECT_EQ(cpu_table(1).size(), 2u);
    EXPECT_EQ(&current_memory_configuration(), &f80_memory_configuration());
}

TEST_F(CodegenTest, SelectingTheZ180SwitchesEveryTable)
{
    EXPECT_EQ(select_target_cpu(0x1234, 1), 0x1234);
    EXPECT_EQ(cpu_flag(), 0);
    EXPECT_EQ(macro_text("TARGETCPU"), "Z180");
    EXPECT_EQ(origin_switch(), 0);
    const uint32_t start = here();
    outasm("bool hl");
    EXPECT_EQ(summaries(), std::vector<std::string>{"Bad or Missing Opcode"});
    EXPECT_EQ(here(), start);
    EXPECT_EQ(disassembled({0xC7}), "rst 0x00");
    EXPECT_EQ(cpu_table(0).size(), 128u);
    EXPECT_TRUE(cpu_table(1).empty());
    EXPECT_EQ(&current_memory_configuration(), &z180_memory_configuration());
}

TEST_F(CodegenTest, OtherCpuKindsChangeNothing)
{
    (void)select_target_cpu(0, 1);
    for (uint8_t kind : {2, 7, 255}) {
        EXPECT_EQ(select_target_cpu(0xBEEF, kind), 0xBEEF);
        EXPECT_EQ(cpu_flag(), 0);
        EXPECT_EQ(macro_text("TARGETCPU"), "Z180");
    }
}

TEST_F(CodegenTest, SelectionClearsThePerCpuTables)
{
    (void)select_target_cpu(0, 0);
    for (uint8_t b : cpu_table(0))
        EXPECT_EQ(b, 0);
    for (uint8_t b : cpu_table(1))
        EXPECT_EQ(b, 0);
}

// The "#pragma" words select through the driver's seam, which the code generator answers.
TEST_F(CodegenTest, PragmasSelectTheCpuOfTheAssembler)
{
    set_codegen_seam(nullptr);
    struct Back {
        ~Back() { install_seam_doubles(); }
    } back;
    set_input_pointer("#pragma Zilog180");
    dispatch_directive();
    EXPECT_EQ(cpu_flag(), 0);
    EXPECT_EQ(codegen_seam().cpu_flag(), 0);
    set_input_pointer("#pragma Vireon");
    dispatch_directive();
    EXPECT_EQ(cpu_flag(), 1);
    EXPECT_EQ(macro_text("TARGETCPU"), "F80");
}

// ---- code addresses and cache sets ----------------------------------------------------------------

TEST_F(CodegenTest, CodeAddressSelectsTheCacheByTheWindowStart)
{
    EXPECT_EQ(set_code_address(0x5000), 0x5000u);
    EXPECT_EQ(&current_code_cache(), &root_code_cache());
    EXPECT_EQ(root_code_cache().current, 0x5000u);
    const uint32_t xmem = make_addr(0x31, 0xE800);
    EXPECT_EQ(set_code_address(xmem), xmem);
    EXPECT_EQ(&current_code_cache(), &xmem_code_cache());
    EXPECT_EQ(xmem_code_cache().current, xmem);
    EXPECT_EQ(root_code_cache().current, 0x5000u) << "the other cache stays";
}

TEST_F(CodegenTest, CodeAddressInAWatchCompileIsTheWatchCache)
{
    watch_code_cache().SetAddress(0x7000);
    set_watch_code_generation(true, true);
    (void)set_code_address(0x7010);
    EXPECT_EQ(&current_code_cache(), &watch_code_cache());
    EXPECT_EQ(watch_code_cache().current, 0x7010u);
    set_watch_code_generation(false, false);
}

TEST_F(CodegenTest, CodeAddressLeavesAnUnpositionedCacheWhereItIs)
{
    watch_code_cache().Reset();
    watch_code_cache().positioned = 0;
    set_watch_code_generation(true, true);
    (void)set_code_address(0x7010);
    EXPECT_EQ(&current_code_cache(), &watch_code_cache());
    EXPECT_EQ(watch_code_cache().positioned, 0);
    set_watch_code_generation(false, false);
}

TEST_F(CodegenTest, CacheSetsAndBiosSwitches)
{
    select_cache_set(1);
    EXPECT_EQ(bios_marker(), 1);
    select_cache_set(7);
    EXPECT_EQ(bios_marker(), 1) << "other modes do nothing";
    set_current_code_cache(xmem_code_cache());
    uint8_t flag = 0;
    set_bios_compile(&flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(bios_marker(), 0);
    EXPECT_EQ(&current_code_cache(), &root_code_cache()) << "the cache roles point at the live set";
    EXPECT_EQ(macro_text("BIOSCODE"), "");
    set_program_compile(&flag);
    EXPECT_EQ(flag, 0);
}

// ---- memory configurations -------------------------------------------------------------------------

TEST_F(CodegenTest, MemoryConfigurationsAdjustByTheMemoryOption)
{
    root_variable_cache().SetAddress(0xB123);
    root_code_cache().SetAddress(0x4123);
    F80MemoryConfiguration &f80 = f80_memory_configuration();
    Z180MemoryConfiguration &z180 = z180_memory_configuration();
    set_memory_configuration_inputs({false, 0});
    EXPECT_EQ(f80.data_address(), 0xB123);
    EXPECT_EQ(z180.area_end(), 0x4123);
    f80.flag = 1;
    EXPECT_EQ(f80.separate_data(), 1);
    set_memory_configuration_inputs({true, 0x9800});
    EXPECT_EQ(f80.data_address(), 0x9000) << "the limit, on a 4 KB boundary";
    EXPECT_EQ(z180.data_address(), 0x9000);
    EXPECT_EQ(z180.area_end(), 0x5000) << "the root code address rounded down, plus 4096";
    EXPECT_EQ(f80.separate_data(), 0);
    EXPECT_EQ(z180.separate_data(), 0);
    f80.flag = 0;
    EXPECT_EQ(f80.separate_data(), 0);
    set_memory_configuration_inputs({});
    root_variable_cache().Unbind();
    root_variable_cache().Reset();
    root_variable_cache().positioned = 0;
}

TEST_F(CodegenTest, F80DataAreaEndsAtTheFarEndOfTheDataOrigin)
{
    TestOrigins origins;
    set_emit_origin_table(&origins);
    const int32_t data = origins.add(0x9000, 0x800, &root_variable_cache());
    origins.select_origin(data);
    // the data cache grows downward: its far end lies below the start
    EXPECT_EQ(f80_memory_configuration().area_end(), 0x8801);
    set_emit_origin_table(nullptr);
    root_variable_cache().Unbind();
    root_variable_cache().Reset();
    root_variable_cache().positioned = 0;
}

// ---- the driver's seam --------------------------------------------------------------------------------

TEST_F(CodegenTest, DriverSeamIsServedByTheCodeGenerator)
{
    set_codegen_seam(nullptr);
    struct Back {
        ~Back() { install_seam_doubles(); }
    } back;
    CodegenSeam &seam = codegen_seam();
    EXPECT_EQ(seam.select_target_cpu(0x42, 1), 0x42);
    EXPECT_EQ(seam.cpu_flag(), 0);
    EXPECT_EQ(seam.select_target_cpu(0x42, 0), 0x42);
    EXPECT_EQ(seam.cpu_flag(), 1);
    seam.set_code_address(0x5100);
    EXPECT_EQ(root_code_cache().current, 0x5100u);
    EXPECT_EQ(seam.xmem_cache_address(), xmem_code_cache().current);
    uint8_t marker = 0;
    seam.set_bios_compile(&marker);
    EXPECT_EQ(marker, 1);
    gen_push_register(kRidHL);
    seam.reset_compile_state();
    EXPECT_EQ(stack_offset(), 0) << "the code generator's state starts over";
    // what is not built yet is refused, not answered
    set_exception_debug_mode(false);
    try {
        seam.output_pending_stubs(0);
        FAIL() << "answered";
    } catch (xErr &e) {
        EXPECT_EQ(e.GetText(), "The code generator is not part of this build.");
    }
}

}  // namespace
