// The assembler against the compiler's own tables: C symbols and their addresses or offsets,
// structure tags and members with "@LENGTH", numeric macros, root entry stubs of xmem functions
// taken as values, labels that override variables (3035) and placements that disagree with a
// prototype (2152); also the block-move replacement and the dry run.
#include "AsmTestSupport.h"
#include "codegen/CC_ASM.h"
#include "core/CC_ER.h"
#include "input/CC_IN.h"
#include "driver/CC_INIT.h"
#include "core/CC_STAB.h"
#include "codegen/CC_STUBS.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

class AsmTables : public ::testing::Test {
protected:
    AsmStateGuard m_guard;
    AsmImageHost host{0x1000};

    void SetUp() override
    {
        reset_errors();
        set_local_scope(false);
        allocate_symbol_tables(200);
        clear_global_tags();
        clear_local_tags();
        reset_pending_output();
        set_asm_target(1, 0);
        set_asm_xmem_window_start(0xE000);
        init_asm_mnemonics();
        host.use_compiler_tables = true;
        set_asm_host(&host);
    }
    void TearDown() override
    {
        set_asm_host(nullptr);
        undefine_macro("BITNO");
        undefine_macro("WORDS");
        reset_pending_output();
        clear_global_tags();
        clear_local_tags();
        set_local_scope(false);
        reset_errors();
        release_compiler_tables();
    }

    symbol *global(const char *name, uint8_t kind, int32_t type, uint32_t address, uint32_t declarator = 0)
    {
        symbol *s = add_symbol(name, declarator, type, 0, kind, nullptr, 0);
        s->address[kFunctionAddressSlot] = address;
        return s;
    }
    std::string assemble(const std::string &line)
    {
        const uint32_t from = host.address;
        assemble_line(line.c_str());
        return asm_hex(host.bytes(from, host.address));
    }
    std::string errors() const
    {
        std::string s;
        for (const auto &m : host.messages)
            s += (s.empty() ? "" : " | ") + m.text;
        return s;
    }
};

TEST_F(AsmTables, DataSymbolsGiveTheirAddresses)
{
    global("counter", 1, 2, 0x8000);
    EXPECT_EQ(assemble("ld hl,counter"), "21 00 80");
    EXPECT_EQ(assemble("ld hl,(counter+2)"), "2A 02 80");
    EXPECT_EQ(errors(), "");
    EXPECT_TRUE(host.fixups.empty());
}

TEST_F(AsmTables, AutomaticVariablesAndMembersGiveTheirOffsets)
{
    set_local_scope(true);
    symbol *x = add_symbol("x", 0, 2, 6, 2, nullptr, 0);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(assemble("ld hl,(sp+x)"), "C4 06");
    EXPECT_EQ(assemble("ld de,x+2"), "11 08 00");
    EXPECT_EQ(errors(), "");
}

TEST_F(AsmTables, StructureFieldsAndLength)
{
    const int32_t point = add_tag(kTagStruct, "point");
    ASSERT_GE(point, 16);
    symbol *px = add_symbol("px", 0, 2, 0, 253, nullptr, 0);
    symbol *py = add_symbol("py", 0, 2, 2, 253, nullptr, 0);
    add_tag_member(point, px);
    add_tag_member(point, py);
    ASSERT_EQ(set_tag_size(point, 4), 0);
    global("pt", 1, point, 0x9000);

    EXPECT_EQ(assemble("ld a,(ix+[pt]py)"), "DD 7E 02");
    EXPECT_EQ(assemble("ld hl,pt+py"), "21 02 90");          // a structure variable sets the tag
    EXPECT_EQ(assemble("ld hl,pt+@LENGTH"), "21 04 90");
    EXPECT_EQ(assemble("ld bc,point+@length"), "01 04 00");  // a tag name gives 0
    EXPECT_EQ(errors(), "");

    EXPECT_EQ(assemble("ld a,(ix+[nothing]py)"), "");
    EXPECT_EQ(errors(), "Bad or Missing structure Tag or Field");
}

TEST_F(AsmTables, NumericMacrosAreNumbers)
{
    ASSERT_TRUE(define_macro("BITNO", "3"));
    ASSERT_TRUE(define_macro("WORDS", "0x10 "));
    EXPECT_EQ(assemble("bit BITNO,a"), "CB 5F");
    EXPECT_EQ(assemble("ld a,WORDS+BITNO"), "3E 13");
    int32_t v = 0;
    EXPECT_TRUE(macro_numeric_value("WORDS", v));
    EXPECT_EQ(v, 0x10);
    EXPECT_EQ(errors(), "");

    replace_macro_text("WORDS", "12ab");
    EXPECT_FALSE(macro_numeric_value("WORDS", v));
    EXPECT_EQ(assemble("ld hl,WORDS"), "21 00 00");  // not a number: a label still to come
    ASSERT_EQ(host.fixups.size(), 1u);
    EXPECT_EQ(host.fixups[0].name, "WORDS");
}

TEST_F(AsmTables, XmemFunctionTakenAsValueGoesThroughItsRootStub)
{
    symbol *f = global("xf", 254, 2, 0x0AE100, 3);  // entered as a global function
    f->flags[0] |= 1;
    EXPECT_EQ(assemble("call xf"), "CD 00 E1");  // a call target needs no stub
    EXPECT_EQ(pending_stub_count(), 0u);

    EXPECT_EQ(assemble("ld hl,xf"), "21 00 00");
    EXPECT_EQ(pending_stub_count(), 1u);
    ASSERT_EQ(host.fixups.size(), 1u);  // patched when the stub defines the name
    EXPECT_EQ(host.fixups[0].name, "xf");

    EXPECT_EQ(assemble("x: equ xf"), "");  // equ asks for no stub
    EXPECT_EQ(pending_stub_count(), 1u);

    f->address[kRootStubAddressSlot] = 0x0400;
    EXPECT_EQ(assemble("ld hl,xf"), "21 00 04");
    EXPECT_EQ(pending_stub_count(), 1u);
    EXPECT_EQ(errors(), "");
}

TEST_F(AsmTables, LabelOverridingAVariableIsReported)
{
    symbol *s = global("counter", 1, 2, 0x8000);
    s->line = 12;
    s->file = "src/dir\\prog.c";
    EXPECT_EQ(assemble("counter: nop"), "");
    EXPECT_EQ(errors(), "Assembly label 'counter' overrides variable 'counter' on line 12 in prog.c.");

    host.messages.clear();
    global("later", 1, 2, 0);  // declared, not yet placed: the label places it
    EXPECT_EQ(assemble("later: nop"), "00");
    EXPECT_EQ(errors(), "");

    host.messages.clear();
    set_asm_redefinition_allowed(true);
    global("again", 1, 2, 0x8100);
    EXPECT_EQ(assemble("again: nop"), "00");
    EXPECT_EQ(errors(), "");
}

TEST_F(AsmTables, AssemblyFunctionPlacementMustMatchItsPrototype)
{
    global("rootfn", 254, 2, 0, 3);  // a root prototype
    host.address = 0xE100;
    EXPECT_EQ(assemble("rootfn:: nop"), "");
    EXPECT_EQ(errors(), "Memory mapping \"xmem\" for #asm function \"rootfn\" does not match its prototype.");

    host.messages.clear();
    symbol *x = global("xmemfn", 254, 2, 0, 3);
    x->flags[0] |= 1;
    host.address = 0x0200;
    EXPECT_EQ(assemble("xmemfn:: ret"), "C9");  // a serious warning only
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_FALSE(host.messages[0].error);
    EXPECT_EQ(host.messages[0].text,
              "Memory mapping \"root\" for #asm function \"xmemfn\" does not match its prototype.");
}

// ---- without the compiler's tables -------------------------------------------------------------

class AsmSwitches : public ::testing::Test {
protected:
    AsmStateGuard m_guard;
    AsmImageHost host{0x1000};
    void SetUp() override
    {
        set_asm_target(1, 0);
        init_asm_mnemonics();
        set_asm_host(&host);
    }
};

TEST_F(AsmSwitches, BlockMoveReplacementCallsTheLibraryRoutines)
{
    set_asm_block_move_replacement(true);
    assemble_line("ldir");
    assemble_line("lddr");
    assemble_line("ldi");
    assemble_line("ioi ldir");  // an I/O block move stays an instruction
    assemble_line("ldir_func:: ret");
    EXPECT_EQ(host.error_count(), 0);
    // ldir_func is patched in; lddr_func is never defined and its fix-up stays open
    EXPECT_EQ(asm_hex(host.bytes(0x1000, host.address)), "CD 0B 10 CD 00 00 ED A0 D3 ED B0 C9");
    ASSERT_EQ(host.fixups.size(), 1u);
    EXPECT_EQ(host.fixups[0].name, "lddr_func");
    EXPECT_EQ(host.fixups[0].address, 0x1004u);
    EXPECT_EQ(host.calls, (std::vector<std::string>{"ldir_func", "lddr_func"}));
}

TEST_F(AsmSwitches, DryRunMeasuresWithoutLabelsFixupsOrRangeChecks)
{
    set_asm_dry_run_depth(1);
    assemble_line("here: jr 0x3000", true);
    assemble_line("ld hl,later");
    set_asm_dry_run_depth(0);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.labels.empty());
    EXPECT_TRUE(host.fixups.empty());
    EXPECT_TRUE(host.line_entries.empty());
    EXPECT_EQ(host.address, 0x1000u + 3 + 3);  // the stepping byte, jr, and ld hl,nn
}

TEST_F(AsmSwitches, HostGeneratedLinesGetNoSteppingByteNorXmemRetWarning)
{
    struct GeneratedHost : AsmImageHost {
        using AsmImageHost::AsmImageHost;
        bool asm_generated_line() override { return true; }
    } generated(0xE000);
    set_asm_host(&generated);
    assemble_line("ret", true);
    EXPECT_EQ(asm_hex(generated.bytes(0xE000, generated.address)), "C9");
    EXPECT_TRUE(generated.messages.empty());

    set_asm_host(&host);
    host.address = 0xE000;
    assemble_line("ret", true);
    EXPECT_EQ(asm_hex(host.bytes(0xE000, host.address)), "EF C9");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Using ret instruction in #asm xmem block.");
}

}  // namespace
