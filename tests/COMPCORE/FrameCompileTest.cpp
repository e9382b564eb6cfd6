// The compile entry and the compile sequence, with the parser and linker replaced by doubles:
// the order of the passes, the status word, the values restored on failure, the ".brk" file,
// the libraries-list check and the "kxw.cfg" search.
#include <gtest/gtest.h>

#include "FrameDoubles.h"

#include "CC_ER.h"
#include "CC_GO.h"
#include "CC_INIT.h"
#include "SEAM_LINKER.h"
#include "SEAM_TARGET.h"
#include "guiExceptions.h"
#include "guiInterface.h"

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

RecordingLinker *g_linker = nullptr;

class FrameCompile : public ::testing::Test {
protected:
    RecordingLinker linker;
    RecordingParser parser;
    RecordingCacheHost host;
    fs::path dir, saved_cwd;
    std::string source;

    void SetUp() override
    {
        saved_cwd = fs::current_path();
        dir = fs::temp_directory_path() /
              ("kx-frame-compile-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir / "prog");
        source = (dir / "prog" / "main.c").string();
        std::ofstream(source) << "main(){}\n";
        std::ofstream(dir / "lib.dir") << "";
        set_compiler_directories(dir.string(), "", {});
        set_libraries_file((dir / "lib.dir").string());
        set_current_source(source);
        set_linker_seam(&linker);
        set_parser_seam(&parser);
        set_emit_cache_host(&host);
        g_linker = &linker;
        reset_start_up_stage();
        reset_errors();
        SetCompilingBios(0);
        compile_conditions() = CompileConditions{};
        headless_message_box_host().shown.clear();
    }
    void TearDown() override
    {
        set_linker_seam(nullptr);
        set_parser_seam(nullptr);
        set_emit_cache_host(nullptr);
        compiler_config() = CompilerConfig{};
        reset_errors();
        g_linker = nullptr;
        fs::current_path(saved_cwd);
        std::error_code ec;
        fs::permissions(dir / "prog", fs::perms::owner_all, ec);
        fs::remove_all(dir, ec);
    }
    size_t position(const std::string &call) const
    {
        for (size_t i = 0; i < linker.calls.size(); ++i)
            if (linker.calls[i].rfind(call, 0) == 0)
                return i;
        return std::string::npos;
    }
    bool called(const std::string &call) const { return position(call) != std::string::npos; }
};

TEST_F(FrameCompile, SuccessfulCompileRunsThePassesInOrder)
{
    parser.functions = 2;
    const uint16_t status = compile_file();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(parser.programs_parsed, 1);
    const char *order[] = {"lib_index_register_all", "load_library_index", "open_object_file",
                           "resolve_origins",        "label main",         "reset_labels 3",
                           "write_map_file",         "close_object_file",  "build_rom_image",
                           "clear_list_records",     "write_bin_hex_files"};
    size_t last = 0;
    for (const char *step : order) {
        const size_t at = position(step);
        ASSERT_NE(at, std::string::npos) << step;
        EXPECT_GE(at, last) << step << " out of order";
        last = at;
    }
    EXPECT_TRUE(called("build_rom_image ROM HDL BDL"));
    EXPECT_TRUE(fs::exists(dir / "prog" / "main.brk"));
    EXPECT_EQ(output_flags(), 0x31);
    EXPECT_EQ(memory_summary().entry_point, 0x1234u);
}

TEST_F(FrameCompile, MissingLibrariesListFailsWithStatus2)
{
    set_libraries_file((dir / "nothere.dir").string());
    EXPECT_EQ(compile_file(), 2);
    ASSERT_EQ(headless_message_box_host().shown.size(), 1u);
    EXPECT_EQ(headless_message_box_host().shown[0].text,
              "Could not find Libraries file: " + (dir / "nothere.dir").string());
    EXPECT_EQ(headless_message_box_host().shown[0].caption, "Error");
    EXPECT_EQ(parser.programs_parsed, 0);
    EXPECT_TRUE(linker.calls.empty()) << "nothing else is touched";
}

TEST_F(FrameCompile, EmptyLibrariesListPassesTheCheck)
{
    EXPECT_EQ(compile_file() & 2, 0);
}

void change_memory_values_and_fail()
{
    compiler_config().rams = 0x11;
    compiler_config().rame = 0x22;
    compiler_config().ramg = 0x33;
    compiler_config().rome = 0x44;
    report_error(3, 1, "bad statement\a\adetail");
}

TEST_F(FrameCompile, RecordedErrorsFailButRestoreAndWriteTheDumpAndMap)
{
    parser.during_parse = change_memory_values_and_fail;
    const uint16_t status = compile_file();
    EXPECT_EQ(status & 2, 2);
    EXPECT_EQ(status & 1, 1) << "messages were recorded";
    EXPECT_EQ(compiler_config().rams, 0x80);
    EXPECT_EQ(compiler_config().rame, 0xA0);
    EXPECT_EQ(compiler_config().ramg, 0);
    EXPECT_EQ(compiler_config().rome, 0xF);
    EXPECT_TRUE(fs::exists(dir / "prog" / "main.brk"));
    EXPECT_TRUE(called("write_map_file"));
    EXPECT_TRUE(called("reset_labels 7")) << "unresolved references are reported";
    EXPECT_FALSE(called("build_rom_image")) << "a failed compile builds no image";
}

TEST_F(FrameCompile, FatalOverflowFailsTheCompile)
{
    parser.during_parse = [] {
        compiler_config().rams = 0x55;
        throw xCCErrOvflo(KX_HERE);
    };
    EXPECT_EQ(compile_file() & 2, 2);
    EXPECT_EQ(compiler_config().rams, 0x80);
    EXPECT_TRUE(fs::exists(dir / "prog" / "main.brk"));
    EXPECT_FALSE(called("build_rom_image"));
}

TEST_F(FrameCompile, OtherExceptionsPassThroughAfterTheCleanUp)
{
    parser.during_parse = [] {
        compiler_config().rame = 0x01;
        throw xUserCancel(KX_HERE);
    };
    EXPECT_THROW(compile_file(), xUserCancel);
    EXPECT_EQ(compiler_config().rame, 0xA0);
    EXPECT_TRUE(fs::exists(dir / "prog" / "main.brk"));
    EXPECT_TRUE(called("write_map_file"));
}

TEST_F(FrameCompile, ImageNotBuiltIsAFailureNeverASuccess)
{
    linker.build_result = 1;
    EXPECT_EQ(compile_file() & 2, 2);
    EXPECT_FALSE(called("write_bin_hex_files"));
}

TEST_F(FrameCompile, LibraryIndexFailureFails)
{
    linker.index_result = 1;
    EXPECT_EQ(compile_file() & 2, 2);
    EXPECT_EQ(parser.programs_parsed, 0);
}

TEST_F(FrameCompile, UnwritableDumpFileThrowsFileOpen)
{
    fs::permissions(dir / "prog", fs::perms::owner_read | fs::perms::owner_exec);
    if (std::ofstream(dir / "prog" / "probe")) {
        GTEST_SKIP() << "running with rights that ignore directory permissions";
    }
    EXPECT_THROW(compile_file(), xFileOpen);
    EXPECT_EQ(compiler_config().rams, 0x80);
}

TEST_F(FrameCompile, BiosCompileSavesTheStateAProgramCompileStartsFrom)
{
    SetCompilingBios(1);
    parser.during_parse = [] {
        root_code_cache().EmitRepeat(0, 0x40);
    };
    compile_conditions().bios_marker = true;
    EXPECT_EQ(compile_file() & 2, 0);
    EXPECT_TRUE(called("origins_clear"));
    const uint32_t bios_end = bios_root_code_end();
    EXPECT_EQ(bios_end, 0x40u);
    EXPECT_TRUE(bios_compile_info_cache().saved());
    SetCompilingBios(0);
    compile_conditions().bios_marker = false;
    parser.during_parse = [] {
        EXPECT_EQ(root_code_cache().current, bios_root_code_end())
            << "program root code starts at the BIOS's root code end";
    };
    EXPECT_EQ(compile_file() & 2, 0);
}

// ---- start-up ----------------------------------------------------------------------------------

class FrameStartUp : public FrameCompile {};

TEST_F(FrameStartUp, ConfigSearchSkipsReadOnlyFilesAndFallsBackToTheProgramDirectory)
{
    fs::create_directories(dir / "start");
    fs::create_directories(dir / "sys");
    std::ofstream(dir / "start" / "kxw.cfg") << "sym = 111\n";
    fs::permissions(dir / "start" / "kxw.cfg", fs::perms::owner_read);
    std::ofstream(dir / "sys" / "kxw.cfg") << "sym = 222\n";
    set_compiler_directories(dir.string(), (dir / "start").string(), {(dir / "sys").string()});
    const bool read_only_honoured = !std::ofstream(dir / "start" / "kxw.cfg", std::ios::app);
    EXPECT_EQ(start_compiler(), 0);
    if (read_only_honoured) {
        EXPECT_EQ(config_path(), (dir / "sys" / "kxw.cfg").string());
        EXPECT_EQ(compiler_config().sym, 222);
    }

    reset_start_up_stage();
    set_compiler_directories(dir.string(), "", {});
    EXPECT_EQ(start_compiler(), 0);
    EXPECT_EQ(config_path(), (dir / "kxw.cfg").string());
    EXPECT_EQ(compiler_config().sym, 4000);
}

TEST_F(FrameStartUp, FailedIndexLoadStaysAtStageOneAndRetries)
{
    linker.index_result = 1;
    EXPECT_EQ(start_compiler(), 1);
    EXPECT_EQ(start_up_stage(), 1);
    linker.index_result = 0;
    EXPECT_EQ(start_compiler(), 0);
    EXPECT_EQ(start_up_stage(), 3);
    linker.calls.clear();
    EXPECT_EQ(start_compiler(), 0);
    EXPECT_TRUE(linker.calls.empty()) << "a finished start-up does nothing more";
}

TEST(FrameOptions, SetAlwaysResetsTheOutputMode)
{
    compiler_options().output_mode = 2;
    const uint16_t hex = 1;
    const TypeCheckOptions tc{1, 0, 1};
    set_compiler_options(1, 1, 0, 1, 1, 100, 5, 300, 9, &hex, &tc, 1, 0, 1);
    uint16_t w, ri, rp, o4, os, lit, mac, sym, hx, om;
    TypeCheckOptions got;
    uint8_t sid, lf, io;
    get_compiler_options(&w, &ri, &rp, &o4, &os, &lit, &mac, &sym, nullptr, &hx, &got, &om, &sid,
                         &lf, &io);
    EXPECT_EQ(om, 0);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(sym, 300);
    EXPECT_EQ(hx, 1);
    EXPECT_EQ(got.demotion, 1);
    EXPECT_EQ(sid, 1);
    EXPECT_EQ(io, 1);
    // index checks, option 4, size, warnings wanted; not all warnings (level 1)
    EXPECT_EQ(pack_compile_options(), 0x02 | 0x08 | 0x10 | 0x20);
    compiler_options() = CompilerOptions{};
}

}  // namespace

namespace {

TEST_F(FrameStartUp, BadConfigLineBecomesACompilerMessage)
{
    std::ofstream(dir / "kxw.cfg") << "sym = 100\nsym = -1\n";
    EXPECT_EQ(start_compiler(), 0);
    EXPECT_EQ(compiler_config().sym, 100);
    EXPECT_EQ(message_record_count(), 1);
    EXPECT_EQ(get_error_status() & 2, 0) << "a warning, not an error";
}

}  // namespace
