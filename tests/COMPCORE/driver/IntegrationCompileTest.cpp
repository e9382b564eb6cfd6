// The compile entry with the real front end joined to it: a program and its libraries in a
// temporary folder (with a libraries list and a "kxw.cfg") are compiled through `compile_file`
// and read by the whole-program parse. Only what does not exist yet stands in (the fixture's
// doubles): the declaration parser, which records the lines it is given, and the parts of the
// linker not built yet. Libraries without modules are read whole by "#use".
#include "CompileRunFixture.h"
#include "SettingsDoubles.h"

#include "codegen/CC_ASMTAB.h"
#include "core/CC_ER.h"
#include "input/CC_GLINE.h"
#include "driver/CC_GO.h"
#include "input/CC_IN.h"
#include "parser/CC_INASM.h"
#include "driver/CC_INIT.h"
#include "core/CC_STAB.h"
#include "core/SEAM_SETTINGS.h"
#include "core/SEAM_TARGET.h"
#include "core/guiExceptions.h"
#include "core/guiInterface.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using compile_run::Message;
using compile_run::messages;
using compile_run::messages_text;

class IntegrationCompile : public CompileRun {
protected:
    void SetUp() override
    {
        CompileRun::SetUp();
        write("lib/default.h", "#define ANSWER 42\nint lib_default = ANSWER;\n");
        add_library("mylib.lib", "#define TWICE(x) ((x) * 2)\nint lib_value = TWICE(ANSWER);\n");
    }
    bool called(const std::string &call) const
    {
        for (const std::string &c : linker.calls)
            if (c.rfind(call, 0) == 0)
                return true;
        return false;
    }
};

TEST_F(IntegrationCompile, PreambleAndUsedLibrariesArriveInOrderWithMacrosExpanded)
{
    write("prog/main.c",
          "#use \"mylib.lib\"\n"
          "int main_value = TWICE(3);\n"
          "#ifdef ANSWER\n"
          "int seen = ANSWER;\n"
          "#else\n"
          "int not_seen;\n"
          "#endif\n");
    const uint16_t status = compile_file();
    EXPECT_EQ(status, 0) << (messages().empty() ? "" : messages()[0].summary);
    ASSERT_EQ(declarations.lines.size(), 4u) << ::testing::PrintToString(declarations.texts());
    EXPECT_EQ(declarations.lines[0].text, "int lib_default = 42;");
    EXPECT_EQ(declarations.lines[0].file, path("lib/default.h"));
    EXPECT_EQ(declarations.lines[0].line, 2);
    EXPECT_EQ(declarations.lines[1].text, "int lib_value = ((42) * 2);");
    EXPECT_EQ(declarations.lines[1].file, path("lib/mylib.lib"));
    EXPECT_EQ(declarations.lines[1].line, 2);
    EXPECT_EQ(declarations.lines[2].text, "int main_value = ((3) * 2);");
    EXPECT_EQ(declarations.lines[2].file, source);
    EXPECT_EQ(declarations.lines[2].line, 2);
    EXPECT_EQ(declarations.lines[3].text, "int seen = 42;");
    EXPECT_EQ(declarations.lines[3].line, 4);
    EXPECT_TRUE(fs::exists(dir / "prog" / "main.brk"));
}

TEST_F(IntegrationCompile, PreprocessorErrorsNameTheirFileAndLine)
{
    write("lib/mylib.lib", "int a;\n#endif\n");
    write("prog/main.c", "int x;\n#use \"mylib.lib\"\n#undef __DATE__\n#use \"nothere.lib\"\n");
    const uint16_t status = compile_file();
    EXPECT_EQ(status & 3, 3) << "errors recorded: the compile failed";
    const std::vector<Message> got = messages();
    ASSERT_EQ(got.size(), 3u);
    // The list is grouped by file: the library's first, then the program's in line order.
    EXPECT_EQ(got[0].file, path("lib/mylib.lib"));
    EXPECT_EQ(got[0].line, 2);
    EXPECT_EQ(got[0].summary, "No matching #if, #ifdef, or #ifndef.");
    EXPECT_EQ(got[1].file, source);
    EXPECT_EQ(got[1].line, 3);
    EXPECT_EQ(got[1].summary, "The builtin macro __DATE__ cannot be undefined.");
    EXPECT_EQ(got[2].file, source);
    EXPECT_EQ(got[2].line, 4);
    EXPECT_EQ(got[2].summary, "'NOTHERE.LIB' cannot be found.");
}

TEST_F(IntegrationCompile, SymLimitFromTheConfigurationSizesTheRealSymbolTables)
{
    write("kxw.cfg", "sym = 100\n");
    write("prog/main.c", "int x;\n");
    int added = 0;
    declarations.on_line = [&added](const std::string &) {
        char name[16];
        for (added = 0; added < 100; ++added) {
            std::snprintf(name, sizeof name, "g%d", added);
            add_symbol(name, 0, 2, 0, 1, nullptr, 0);  // global variables
        }
    };
    const uint16_t status = compile_file();
    EXPECT_EQ(symbol_area_size(), 100u);
    EXPECT_EQ(name_area_size(), 3300u);
    EXPECT_EQ(symbol_table_info(kGlobalTable).slot_count, 125u);
    EXPECT_EQ(symbol_table_info(kLocalTable).slot_count, 128u);
    EXPECT_EQ(symbol_table_info(kLocalTable).entry_start, 75u);
    EXPECT_EQ(allocated_table_sizes().symbol_records, 100u);
    // The compile used those tables: its globals ran out at three quarters of 100 (one entry
    // kept in reserve) and ended the compile cleanly.
    EXPECT_EQ(added, 74);
    EXPECT_EQ(status & 2, 2);
    const std::vector<Message> got = messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].summary, "Hash table full, increase symbol table size.");
    ASSERT_EQ(headless_message_box_host().shown.size(), 1u);
    EXPECT_EQ(headless_message_box_host().shown[0].text,
              "Global symbol table overflow, increase symbol table size.");
}

TEST_F(IntegrationCompile, FailedCompileRestoresTheMemoryWordsAndWritesTheDump)
{
    write("prog/main.c", "int x;\n#error \"stop here\"\n");
    declarations.on_line = [](const std::string &) {
        compiler_config().rams = 0x11;
        compiler_config().rame = 0x22;
        compiler_config().ramg = 0x33;
        compiler_config().rome = 0x44;
    };
    const uint16_t status = compile_file();
    EXPECT_EQ(status & 2, 2);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].summary, "stop here");
    EXPECT_EQ(messages()[0].line, 2);
    EXPECT_EQ(compiler_config().rams, 0x80);
    EXPECT_EQ(compiler_config().rame, 0xA0);
    EXPECT_EQ(compiler_config().ramg, 0);
    EXPECT_EQ(compiler_config().rome, 0xF);
    EXPECT_TRUE(fs::exists(dir / "prog" / "main.brk"));
    EXPECT_FALSE(called("build_rom_image")) << "a failed compile builds no image";
}

TEST_F(IntegrationCompile, MissingLibrariesListFailsWithStatus2)
{
    write("prog/main.c", "int x;\n");
    set_libraries_file(path("nothere.dir"));
    EXPECT_EQ(compile_file(), 2);
    ASSERT_EQ(headless_message_box_host().shown.size(), 1u);
    EXPECT_EQ(headless_message_box_host().shown[0].text,
              "Could not find Libraries file: " + path("nothere.dir"));
    EXPECT_TRUE(declarations.lines.empty()) << "nothing was parsed";
}

// A BIOS compile leaves its globals and macros to every program compile; what one program
// compile adds is gone in the next.
TEST_F(IntegrationCompile, ProgramCompilesStartFromTheBiosState)
{
    const std::string bios = path("prog/bios.c");
    write("prog/bios.c", "#define BIOS_VALUE 7\nint bios_global;\n");
    write("prog/main.c", "#define PROG_ONLY 1\nint v = BIOS_VALUE + CC_VER;\n");
    set_current_source(bios);
    SetCompilingBios(1);
    declarations.on_line = [](const std::string &) {
        add_symbol("bios_fn", 0, 2, 0, 1, nullptr, 0);
    };
    EXPECT_EQ(compile_file() & 2, 0) << messages_text();
    EXPECT_EQ(declarations.texts(), std::vector<std::string>{"int bios_global;"})
        << "a BIOS compile reads no default header";

    SetCompilingBios(0);
    set_current_source(source);
    bool bios_symbol_seen = false;
    declarations.on_line = [&bios_symbol_seen](const std::string &text) {
        if (text.rfind("int v", 0) != 0)
            return;
        bios_symbol_seen = find_symbol("bios_fn", false, kGlobalTable) != nullptr;
        add_symbol("prog_global", 0, 2, 0, 1, nullptr, 0);
    };
    EXPECT_EQ(compile_file() & 2, 0) << (messages().empty() ? "" : messages()[0].summary);
    EXPECT_TRUE(bios_symbol_seen);
    ASSERT_FALSE(declarations.lines.empty());
    EXPECT_EQ(declarations.lines.back().text, "int v = 7 + 0x851;");

    write("prog/main.c", "int w;\n");
    bool program_symbol_left = true;
    declarations.on_line = [&program_symbol_left](const std::string &text) {
        if (text == "int w;")
            program_symbol_left = find_symbol("prog_global", false, kGlobalTable) != nullptr;
    };
    EXPECT_EQ(compile_file() & 2, 0) << (messages().empty() ? "" : messages()[0].summary);
    EXPECT_FALSE(program_symbol_left);
    EXPECT_EQ(find_macro_value("PROG_ONLY"), nullptr) << "the first program's macro is gone";
    EXPECT_NE(find_macro_value("BIOS_VALUE"), nullptr);
}

TEST_F(IntegrationCompile, ProjectDefinesAndTheOpenEditorTextReachTheCompile)
{
    write("prog/main.c", "int from_file;\n");
    ScopedProjectDefines project(ProjectDefines{{"FROM_PROJECT", "5"}});
    headless_main_window().OpenEditor(source).text_lines = {"int from_editor = FROM_PROJECT;"};
    EXPECT_EQ(compile_file(), 0) << (messages().empty() ? "" : messages()[0].summary);
    ASSERT_FALSE(declarations.lines.empty());
    EXPECT_EQ(declarations.lines.back().text, "int from_editor = 5;");
    EXPECT_EQ(declarations.lines.back().file, source);
    EXPECT_EQ(declarations.lines.back().line, 1);
}

// ---- "#asm" blocks near the end of an xmem segment, through the compile entry -------------------

// The xmem code cache is bound to a segment that has `left` bytes before its end and a
// follow-on origin; every block is an "#asm xmem" block.
class IntegrationAsmBlock : public IntegrationCompile {
protected:
    uint32_t left = 0;
    uint32_t segment_start = 0;
    // Physical 0x20000 and 0x26000: clear of the layout's origins.
    static constexpr uint32_t kSegment = make_addr(0x12, 0xE000);
    static constexpr uint32_t kFollower = make_addr(0x18, 0xE000);

    void SetUp() override
    {
        IntegrationCompile::SetUp();
        set_asm_target(1, 0);  // the Vireon set, with "ljp"
        parser.layout = [this](OriginContainer &origins) {
            EmitCache &xmem = xmem_code_cache();
            const int32_t next = compile_run::add_origin("next", kOriginXmemCode, kFollower, 0x1000, xmem);
            const int32_t seg = compile_run::add_origin("seg", kOriginXmemCode, kSegment, 0x400, xmem, next);
            origins.at(seg)->end = addr_add(kSegment, int32_t(0x400 - left));
            origins.select_origin(seg);
            segment_start = xmem_code_cache().current;
        };
    }
    void TearDown() override
    {
        set_c_statement_compiler(nullptr);
        IntegrationCompile::TearDown();
    }
    static std::string block(int lines_of_ten_bytes, const std::string &extra = "")
    {
        std::string text = "#asm xmem\n" + extra;
        for (int i = 0; i < lines_of_ten_bytes; ++i)
            text += " db 1,2,3,4,5,6,7,8,9,10\n";
        return text + "#endasm\n";
    }
};

// The frame's host lets a measured block move to the follow-on origin from the address where the
// block reader reserved room: a long jump closes the old segment and the block lies whole in the
// new one.
TEST_F(IntegrationAsmBlock, BlockThatDoesNotFitMovesWholeToTheFollowOnOrigin)
{
    left = 100;
    write("prog/main.c", block(20));
    const uint16_t status = compile_file();
    EXPECT_EQ(status, 0) << (messages().empty() ? "" : messages()[0].summary);
    const uint32_t s = segment_start;
    ASSERT_EQ(sent_at(s, 1), std::vector<uint8_t>{0xC7}) << "ljp to the follower";
    EXPECT_EQ(sent_at(addr_add(s, 4), 1), std::vector<uint8_t>{0xFF}) << "no trial byte left";
    EXPECT_EQ(sent_at(kFollower, 10),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(sent_at(addr_add(kFollower, 190), 10),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

// A C statement inside a block near the segment end: its generated line is measured with the
// block, and the block, that line included, moves whole to the follow-on origin.
TEST_F(IntegrationAsmBlock, GeneratedLinesInsideAMovedBlockMoveWithIt)
{
    left = 16;
    int c_statements = 0;
    set_c_statement_compiler([&c_statements] {
        ++c_statements;
        outasm("nop");
    });
    write("prog/main.c", block(2, " c x++;\n"));
    const uint16_t status = compile_file();
    for (const Message &m : messages())
        ADD_FAILURE() << m.line << ": " << m.summary;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(c_statements, 2) << "once measured, once assembled";
    const uint32_t s = segment_start;
    EXPECT_EQ(sent_at(s, 1), std::vector<uint8_t>{0xC7}) << "one ljp to the follower";
    EXPECT_EQ(sent_at(kFollower, 3), (std::vector<uint8_t>{0x00, 1, 2}))
        << "the block, its generated nop first, whole in the follower";
}

// A C statement in a measured block is compiled twice: in the trial pass from the input, then
// from the recorded line. Both times what it reports carries its own line and column, and the
// input goes on after the block where the block ended.
TEST_F(IntegrationAsmBlock, CStatementInAMovedBlockReportsAtItsOwnPosition)
{
    left = 100;
    std::vector<std::pair<int, int>> positions;
    set_c_statement_compiler([&positions] {
        while (*input_pointer() == '{' || is_blank_char(*input_pointer()))
            advance_input(1);
        positions.emplace_back(current_line(), current_column());
        error_here("undefined name");
    });
    write("prog/main.c", block(20, "  c   x++;\n") +  // lines 1-23: the C statement on line 2
                             "#asm xmem\n ld q,1\n#endasm\n");  // 24-26: an error on line 25
    EXPECT_NE(compile_file(), 0);
    EXPECT_EQ(positions, (std::vector<std::pair<int, int>>{{2, 7}, {2, 7}}))
        << "measured, then compiled from the record";
    std::vector<int> lines;
    for (const sError *e = gMessageList; e; e = e->next)
        lines.push_back(e->line);
    EXPECT_EQ(lines, (std::vector<int>{2, 25}))
        << "one report each, the second block read from the input after the first";
    ASSERT_NE(gMessageList, nullptr);
    EXPECT_EQ(gMessageList->column, 7);
    EXPECT_EQ(sent_at(kFollower, 2), (std::vector<uint8_t>{1, 2}));
}

// Every "#asm" block of the source reaches the linker's code-block list as one program-code
// range: where it was assembled, a moved block at the follow-on origin.
TEST_F(IntegrationAsmBlock, BlocksReachTheListingAsProgramCodeRanges)
{
    left = 100;
    write("prog/main.c", block(5) + block(20));  // 50 bytes fit; 200 more do not
    EXPECT_EQ(compile_file(), 0) << (messages().empty() ? "" : messages()[0].summary);
    const uint32_t s = segment_start;
    const uint32_t f = kFollower;
    using R = RecordingLinker::ListRecord;
    EXPECT_EQ(linker.list_records,
              (std::vector<R>{{ListTable::CodeBlocks, s, addr_add(s, 50), 4},
                              {ListTable::CodeBlocks, f, addr_add(f, 200), 4}}));
}

// The frame's host reads bytes that already left the compiler back from the target.
TEST_F(IntegrationAsmBlock, PeekAtFlushedCodeReadsTheTarget)
{
    HeadlessTargetOperations &target = headless_target_operations();
    EmitCache &cache = root_code_cache();
    cache.SetAddress(0x4000);
    cache.EmitByte(0x12);
    cache.Flush();
    target.memory[0x4000] = 0x34;
    EXPECT_EQ(cache.PeekByte(0x4000), 0x34);
    EXPECT_EQ(target.calls.back(), "TcReadMemory 0x4000 1");
}

}  // namespace
