// The compile entry with the real front end joined to it: a program and its libraries in a
// temporary folder (with a libraries list and a "kxw.cfg") are compiled through `compile_file`.
// Only what does not exist yet is a stand-in: the whole-program parse (a double that reads the
// lines through the real source input, as the top-level loop does, and records them) and the
// linker with its library index (which reads the libraries list into the catalogue).
#include <gtest/gtest.h>

#include "FrameDoubles.h"
#include "HostDoubles.h"

#include "CC_ER.h"
#include "CC_GLINE.h"
#include "CC_GO.h"
#include "CC_IN.h"
#include "CC_INASM.h"
#include "CC_INIT.h"
#include "CC_ASMTAB.h"
#include "CC_STAB.h"
#include "SEAM_SETTINGS.h"
#include "SEAM_TARGET.h"
#include "SeamDoubles.h"
#include "guiExceptions.h"
#include "guiInterface.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A library's lines, read from its file when the header stream opens.
class FileLines : public InThread {
public:
    explicit FileLines(std::string path) : m_path(std::move(path)) {}
    void Open() override
    {
        m_lines.clear();
        std::ifstream in(m_path);
        for (std::string l; std::getline(in, l);)
            m_lines.push_back(l);
        line = 0;
    }
    bool HasLine() override { return line < m_lines.size(); }
    bool ReadLine(std::string &out) override
    {
        if (!HasLine())
            return false;
        out = m_lines[line++];
        return true;
    }

private:
    std::string m_path;
    std::vector<std::string> m_lines;
};

class NoLines : public InThread {
public:
    void Open() override {}
    bool HasLine() override { return false; }
    bool ReadLine(std::string &) override { return false; }
};

// The library catalogue as the library index will build it from the libraries list: one entry
// per listed file. A library's headers are its whole text here; module bodies do not exist yet.
class ListedLibraries : public LibraryIndex {
public:
    std::vector<LibraryEntry> entries;
    NoLines bodies;
    uint16_t pending = 0;

    void load(const std::string &list_path)
    {
        entries.clear();
        std::ifstream in(list_path);
        for (std::string l; std::getline(in, l);)
            if (!l.empty())
                entries.push_back({l, 0});
    }
    std::size_t entry_count() override { return entries.size(); }
    LibraryEntry &entry(std::size_t i) override { return entries.at(i); }
    void add_modules(std::size_t i) override { entries.at(i).flags |= 1; }
    std::unique_ptr<InThread> open_header_stream(std::size_t i) override
    {
        auto stream = std::make_unique<FileLines>(entries.at(i).path);
        stream->Open();
        return stream;
    }
    InThread &module_bodies() override { return bodies; }
    uint16_t pending_item_count() override { return pending; }
    void set_pending_item_count(uint16_t n) override { pending = n; }
};

// The linker stand-in loads the catalogue from the libraries list, as the index load will.
class CatalogueLinker : public RecordingLinker {
public:
    ListedLibraries catalogue;
    int load_library_index(const std::string &dir, bool register_modules) override
    {
        RecordingLinker::load_library_index(dir, register_modules);
        catalogue.load(libraries_file());
        set_library_index(&catalogue);
        return index_result;
    }
};

struct ReadLine {
    std::string text;
    int line;
    std::string file;
};

// The whole-program parse: reads every line as the top-level loop does (directives run, macros
// expanded), records it with its source position, then runs the test's own step.
class ReadingParser : public RecordingParser {
public:
    std::vector<ReadLine> lines;
    std::function<void()> after_reading;

    void parse_program() override
    {
        ++programs_parsed;
        lines.clear();
        read_all_lines([this](const char *line) {
            lines.push_back({line, current_line(), input_file_name()});
        });
        if (after_reading)
            after_reading();
    }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const ReadLine &l : lines)
            out.push_back(l.text);
        return out;
    }
};

struct Message {
    int16_t kind;
    int line;
    std::string summary;
    std::string file;
};

std::vector<Message> messages()
{
    std::vector<Message> out;
    for (const sError *e = gMessageList; e; e = e->next) {
        std::string s = e->summary;
        const std::size_t p = s.find("   : ");  // the summary follows the "ERROR name   : " prefix
        out.push_back({e->kind, e->line, p == std::string::npos ? s : s.substr(p + 5), e->file});
    }
    return out;
}

class IntegrationCompile : public ::testing::Test {
protected:
    CatalogueLinker linker;
    ReadingParser parser;
    RecordingCacheHost host;
    fs::path dir, saved_cwd;
    std::string source, lib_list;

    void SetUp() override
    {
        saved_cwd = fs::current_path();
        dir = fs::temp_directory_path() /
              ("kx-integration-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "prog");
        fs::create_directories(dir / "lib");
        write("lib/default.h", "#define ANSWER 42\nint lib_default = ANSWER;\n");
        write("lib/mylib.lib", "#define TWICE(x) ((x) * 2)\nint lib_value = TWICE(ANSWER);\n");
        lib_list = (dir / "lib.dir").string();
        write("lib.dir", (dir / "lib" / "default.h").string() + "\n" +
                             (dir / "lib" / "mylib.lib").string() + "\n");
        source = (dir / "prog" / "main.c").string();

        set_compiler_directories(dir.string(), "", {});
        set_libraries_file(lib_list);
        set_current_source(source);
        set_linker_seam(&linker);
        set_parser_seam(&parser);
        set_emit_cache_host(&host);
        install_compiler_joins();  // an earlier test may have replaced one of them
        headless_target_operations() = HeadlessTargetOperations();
        reset_start_up_stage();
        release_compiler_tables();
        reset_settings_to_defaults();
        SetCompilingBios(0);
        compile_conditions() = CompileConditions{};
        reset_host_services();
        reset_errors();  // the compile-and-load sequence empties the list before a compile
    }
    void TearDown() override
    {
        set_library_index(nullptr);
        set_linker_seam(nullptr);
        set_parser_seam(nullptr);
        set_emit_cache_host(nullptr);
        compiler_config() = CompilerConfig{};
        reset_start_up_stage();
        release_compiler_tables();
        SetCompilingBios(0);
        reset_errors();
        reset_host_services();
        reset_settings_to_defaults();
        fs::current_path(saved_cwd);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void write(const std::string &name, const std::string &text)
    {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    std::string path(const std::string &name) const { return (dir / name).string(); }
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
    ASSERT_EQ(parser.lines.size(), 4u) << ::testing::PrintToString(parser.texts());
    EXPECT_EQ(parser.lines[0].text, "int lib_default = 42;");
    EXPECT_EQ(parser.lines[0].file, path("lib/default.h"));
    EXPECT_EQ(parser.lines[0].line, 2);
    EXPECT_EQ(parser.lines[1].text, "int lib_value = ((42) * 2);");
    EXPECT_EQ(parser.lines[1].file, path("lib/mylib.lib"));
    EXPECT_EQ(parser.lines[1].line, 2);
    EXPECT_EQ(parser.lines[2].text, "int main_value = ((3) * 2);");
    EXPECT_EQ(parser.lines[2].file, source);
    EXPECT_EQ(parser.lines[2].line, 2);
    EXPECT_EQ(parser.lines[3].text, "int seen = 42;");
    EXPECT_EQ(parser.lines[3].line, 4);
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
    parser.after_reading = [&added] {
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
    parser.after_reading = [] {
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
    EXPECT_EQ(parser.programs_parsed, 0);
}

// A BIOS compile leaves its globals and macros to every program compile; what one program
// compile adds is gone in the next.
TEST_F(IntegrationCompile, ProgramCompilesStartFromTheBiosState)
{
    const std::string bios = path("prog/bios.c");
    write("prog/bios.c", "#define BIOS_VALUE 7\n");
    write("prog/main.c", "#define PROG_ONLY 1\nint v = BIOS_VALUE + CC_VER;\n");
    set_current_source(bios);
    SetCompilingBios(1);
    parser.after_reading = [] { add_symbol("bios_fn", 0, 2, 0, 1, nullptr, 0); };
    EXPECT_EQ(compile_file() & 2, 0) << (messages().empty() ? "" : messages()[0].summary);
    ASSERT_EQ(parser.lines.size(), 0u) << ::testing::PrintToString(parser.texts());

    SetCompilingBios(0);
    set_current_source(source);
    bool bios_symbol_seen = false;
    parser.after_reading = [&bios_symbol_seen] {
        bios_symbol_seen = find_symbol("bios_fn", false, kGlobalTable) != nullptr;
        add_symbol("prog_global", 0, 2, 0, 1, nullptr, 0);
    };
    EXPECT_EQ(compile_file() & 2, 0) << (messages().empty() ? "" : messages()[0].summary);
    EXPECT_TRUE(bios_symbol_seen);
    ASSERT_FALSE(parser.lines.empty());
    EXPECT_EQ(parser.lines.back().text, "int v = 7 + 0x851;");

    write("prog/main.c", "int w;\n");
    bool program_symbol_left = true;
    parser.after_reading = [&program_symbol_left] {
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
    KXProject().defines = {{"FROM_PROJECT", "5"}};
    headless_main_window().OpenEditor(source).text_lines = {"int from_editor = FROM_PROJECT;"};
    EXPECT_EQ(compile_file(), 0) << (messages().empty() ? "" : messages()[0].summary);
    ASSERT_FALSE(parser.lines.empty());
    EXPECT_EQ(parser.lines.back().text, "int from_editor = 5;");
    EXPECT_EQ(parser.lines.back().file, source);
    EXPECT_EQ(parser.lines.back().line, 1);
}

// ---- "#asm" blocks near the end of an xmem segment, through the compile entry -------------------

// What the download writer received, by address.
class SendingLinker : public CatalogueLinker {
public:
    std::map<uint32_t, uint8_t> sent;
    void ui_send_block(uint32_t count, uint32_t addr, const uint8_t *bytes) override
    {
        for (uint32_t i = 0; i < count; ++i)
            sent[addr_add(addr, static_cast<int32_t>(i))] = bytes[i];
    }
};

// The top-level loop as far as blocks go: every "#asm" block is assembled into the xmem code
// cache, which is bound to a segment that has `left` bytes before its end and a follow-on origin.
class XmemBlockParser : public RecordingParser {
public:
    TestOrigins origins;
    uint32_t left = 0;
    uint32_t segment_start = 0;
    static constexpr uint32_t kSegment = make_addr(0xF2, 0xE000);
    static constexpr uint32_t kFollower = make_addr(0xF8, 0xE000);

    void parse_program() override
    {
        ++programs_parsed;
        origins = TestOrigins{};
        const int32_t next = origins.add(kFollower, 0x1000, &xmem_code_cache());
        const int32_t seg = origins.add(kSegment, 0x400, &xmem_code_cache(), next);
        set_emit_origin_table(&origins);
        origins.entries[size_t(seg)].extent.end = addr_add(kSegment, int32_t(0x400 - left));
        origins.select_origin(seg);
        set_current_code_cache(xmem_code_cache());
        segment_start = xmem_code_cache().current;
        // A generated line has just ended here: the caches may move on from this address.
        set_last_reserve_address(segment_start);
        struct Unbind {
            ~Unbind()
            {
                xmem_code_cache().Flush();
                xmem_code_cache().Unbind();
                set_emit_origin_table(nullptr);
                set_current_code_cache(root_code_cache());
            }
        } unbind;
        for (;;) {
            fetch_next_line();
            dispatch_directive();
            while (is_blank_char(*input_pointer()))
                advance_input(1);
            if (std::strncmp(input_pointer(), "#asm", 4) == 0) {
                match_bracket(10, current_line(), current_column());
                advance_input(4);
                ::parse_asm_block(0, 0, 0);
            }
            if (end_of_input())
                return;
        }
    }
};

class IntegrationAsmBlock : public IntegrationCompile {
protected:
    SendingLinker sending;
    XmemBlockParser blocks;

    void SetUp() override
    {
        IntegrationCompile::SetUp();
        set_linker_seam(&sending);
        set_emit_cache_host(nullptr);  // the compile frame's own host
        install_asm_path(&blocks);
        set_parser_seam(nullptr);
        set_asm_target(1, 0);  // the Vireon set, with "ljp"
    }
    void TearDown() override
    {
        set_c_statement_compiler(nullptr);
        install_asm_path(nullptr);
        IntegrationCompile::TearDown();
    }
    std::vector<uint8_t> sent_at(uint32_t from, size_t n) const
    {
        std::vector<uint8_t> v;
        for (size_t i = 0; i < n; ++i) {
            auto it = sending.sent.find(addr_add(from, static_cast<int32_t>(i)));
            v.push_back(it == sending.sent.end() ? 0xFF : it->second);
        }
        return v;
    }
    static std::string block(int lines_of_ten_bytes, const std::string &extra = "")
    {
        std::string text = "#asm\n" + extra;
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
    blocks.left = 100;
    write("prog/main.c", block(20));
    const uint16_t status = compile_file();
    EXPECT_EQ(status, 0) << (messages().empty() ? "" : messages()[0].summary);
    const uint32_t s = blocks.segment_start;
    ASSERT_EQ(sent_at(s, 1), std::vector<uint8_t>{0xC7}) << "ljp to the follower";
    EXPECT_EQ(sent_at(addr_add(s, 4), 1), std::vector<uint8_t>{0xFF}) << "no trial byte left";
    EXPECT_EQ(sent_at(XmemBlockParser::kFollower, 10),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(sent_at(addr_add(XmemBlockParser::kFollower, 190), 10),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

// A C statement inside a block near the segment end: its generated line is measured with the
// block, and the block, that line included, moves whole to the follow-on origin.
TEST_F(IntegrationAsmBlock, GeneratedLinesInsideAMovedBlockMoveWithIt)
{
    blocks.left = 16;
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
    const uint32_t s = blocks.segment_start;
    EXPECT_EQ(sent_at(s, 1), std::vector<uint8_t>{0xC7}) << "one ljp to the follower";
    EXPECT_EQ(sent_at(XmemBlockParser::kFollower, 3), (std::vector<uint8_t>{0x00, 1, 2}))
        << "the block, its generated nop first, whole in the follower";
}

// A C statement in a measured block is compiled twice: in the trial pass from the input, then
// from the recorded line. Both times what it reports carries its own line and column, and the
// input goes on after the block where the block ended.
TEST_F(IntegrationAsmBlock, CStatementInAMovedBlockReportsAtItsOwnPosition)
{
    blocks.left = 100;
    std::vector<std::pair<int, int>> positions;
    set_c_statement_compiler([&positions] {
        while (*input_pointer() == '{' || is_blank_char(*input_pointer()))
            advance_input(1);
        positions.emplace_back(current_line(), current_column());
        error_here("undefined name");
    });
    write("prog/main.c", block(20, "  c   x++;\n") +  // lines 1-23: the C statement on line 2
                             "#asm\n ld q,1\n#endasm\n");  // 24-26: an error on line 25
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
    EXPECT_EQ(sent_at(XmemBlockParser::kFollower, 2), (std::vector<uint8_t>{1, 2}));
}

// Every "#asm" block of the source reaches the linker's code-block list as one program-code
// range: where it was assembled, a moved block at the follow-on origin.
TEST_F(IntegrationAsmBlock, BlocksReachTheListingAsProgramCodeRanges)
{
    blocks.left = 100;
    write("prog/main.c", block(5) + block(20));  // 50 bytes fit; 200 more do not
    EXPECT_EQ(compile_file(), 0) << (messages().empty() ? "" : messages()[0].summary);
    const uint32_t s = blocks.segment_start;
    const uint32_t f = XmemBlockParser::kFollower;
    using R = RecordingLinker::ListRecord;
    EXPECT_EQ(sending.list_records,
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
