// The compile entry and the compile sequence, with the parser and linker replaced by doubles:
// the order of the passes, the status word, the values restored on failure, the ".brk" file,
// the libraries-list check and the "kxw.cfg" search.
#include <gtest/gtest.h>

#include "FifoGuard.h"
#include "FrameDoubles.h"
#include "HostDoubles.h"
#include "SettingsDoubles.h"

#include "codegen/CC_ASMDIR.h"
#include "parser/CC_DECLR.h"
#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "input/CC_IN.h"
#include "driver/CC_INIT.h"
#include "core/CC_STAB.h"
#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_DECL.h"
#include "core/SEAM_LINKER.h"
#include "core/SEAM_SETTINGS.h"
#include "core/SEAM_TARGET.h"
#include "SeamDoubles.h"
#include "core/guiExceptions.h"
#include "core/guiInterface.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include <sys/stat.h>

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
        install_compiler_joins();  // an earlier test may have replaced one of them
        reset_host_services();
        reset_settings_to_defaults();
        install_seam_doubles();
        headless_target_operations() = HeadlessTargetOperations();
        headless_codegen() = HeadlessCodegen();
        set_download_mode(0);
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
        install_seam_doubles();
        set_emit_cache_host(nullptr);
        compiler_config() = CompilerConfig{};
        reset_errors();
        reset_host_services();
        reset_settings_to_defaults();
        headless_target_operations() = HeadlessTargetOperations();
        headless_codegen() = HeadlessCodegen();
        compile_conditions() = CompileConditions{};
        gTCState = 0;
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
    // Every step was called, each after the one before it.
    void expect_in_order(const std::vector<std::string> &steps) const
    {
        size_t last = 0;
        for (const std::string &step : steps) {
            const size_t at = position(step);
            ASSERT_NE(at, std::string::npos) << step;
            EXPECT_GE(at, last) << step << " out of order";
            last = at;
        }
    }
};

TEST_F(FrameCompile, SuccessfulCompileRunsThePassesInOrder)
{
    parser.functions = 2;
    const uint16_t status = compile_file();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(parser.programs_parsed, 1);
    expect_in_order({"lib_index_register_all", "load_library_index", "open_object_file",
                     "resolve_origins", "label main", "reset_labels 3", "write_map_file",
                     "close_object_file", "build_rom_image", "clear_list_records"});
    EXPECT_TRUE(called("build_rom_image rom hdl bdl")) << "one spelling: written as read";
    EXPECT_FALSE(called("write_bin_hex_files")) << "a compile to the target writes no bin file";
    EXPECT_TRUE(fs::exists(dir / "prog" / "main.brk"));
    EXPECT_EQ(output_flags(), 0x31);
    EXPECT_EQ(memory_summary().entry_point, 0x1234u);
}

// Every compile's set-up opens the map and clears the library index's marks; the index records
// what "#use" enters for a program, not for the BIOS.
TEST_F(FrameCompile, SetUpOpensTheMapAndClearsTheLibraryMarks)
{
    for (const bool bios : {false, true}) {
        linker.calls.clear();
        SetCompilingBios(bios ? 1 : 0);
        EXPECT_EQ(compile_file() & 2, 0);
        SetCompilingBios(0);
        expect_in_order({"init_map_file", "lib_index_unmark_all", "lib_index_reset",
                         bios ? "library index BIOS-owned" : "library index program-owned",
                         "write_map_file"});
    }
}

// The process keeps its working folder: a libraries file named relative to the program
// directory is found there, from any working folder, and a compile (of the program and of the
// BIOS) leaves the folder where it was.
TEST_F(FrameCompile, TheWorkingFolderStaysAndRelativeNamesMeanTheProgramDirectory)
{
    const fs::path elsewhere = dir / "prog";
    fs::current_path(elsewhere);
    set_libraries_file("lib.dir");
    for (const int bios : {0, 1}) {
        SetCompilingBios(bios);
        EXPECT_EQ(compile_file() & 2, 0) << (bios ? "BIOS" : "program");
        EXPECT_EQ(save_edited_bios_libraries(), 0);
        SetCompilingBios(0);
        EXPECT_EQ(fs::current_path(), elsewhere);
    }
    std::ofstream(elsewhere / "lib.dir") << "";
    fs::remove(dir / "lib.dir");
    EXPECT_EQ(compile_file(), 2) << "a libraries file in the working folder is not the one meant";
    EXPECT_EQ(fs::current_path(), elsewhere);
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

// A FIFO, a folder or a device as the libraries list: the compile neither waits for a writer
// nor reads without end; one box names the list and why, and nothing else is touched.
TEST_F(FrameCompile, LibrariesListThatIsNoFileFailsWithStatus2)
{
    ASSERT_EQ(::mkfifo((dir / "pipe.dir").c_str(), 0600), 0);
    fs::create_directory(dir / "folder.dir");
    fs::create_symlink("/dev/zero", dir / "zero.dir");
    const std::string not_ordinary = "it is not an ordinary file (a FIFO, socket or device).";
    const std::pair<std::string, std::string> kLists[] = {
        {"pipe.dir", not_ordinary}, {"folder.dir", "it is a folder."}, {"zero.dir", not_ordinary}};
    for (const auto &[name, why] : kLists) {
        headless_message_box_host().shown.clear();
        set_libraries_file((dir / name).string());
        FifoGuard guard((dir / "pipe.dir").string());
        EXPECT_EQ(compile_file(), 2) << name;
        EXPECT_TRUE(guard.Stop()) << name << ": the compile waited for a writer";
        ASSERT_EQ(headless_message_box_host().shown.size(), 1u) << name;
        EXPECT_EQ(headless_message_box_host().shown[0].text,
                  "Cannot read the libraries file " + (dir / name).string() + ": " + why);
    }
    EXPECT_EQ(parser.programs_parsed, 0);
    EXPECT_TRUE(linker.calls.empty()) << "nothing else is touched";
    EXPECT_EQ(fs::symlink_status(dir / "pipe.dir").type(), fs::file_type::fifo);
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

// A compile whose code generator or target link is not part of the build fails with that unit's one message, thrown to the caller. It never ends as a
// success.
struct MissingUnit {
    const char *name;
    void (*remove)();
    const char *text;
    bool thrown;
};

const MissingUnit kMissingUnits[] = {
    {"CodeGenerator", [] { set_codegen_seam(&unbuilt_codegen_seam()); },
     "The code generator is not part of this build.", true},
    {"TargetLink", [] { set_target_operations(nullptr); },
     "The target link is not part of this build.", true},
};

class FrameCompileWithout : public FrameCompile,
                            public ::testing::WithParamInterface<MissingUnit> {};

TEST_P(FrameCompileWithout, FailsWithTheUnitsMessage)
{
    set_exception_debug_mode(false);
    GetParam().remove();
    if (GetParam().thrown) {
        try {
            const uint16_t status = compile_file();
            FAIL() << "status " << status << " instead of the refusal";
        } catch (xErr &e) {
            EXPECT_EQ(e.GetText(), GetParam().text);
        }
        return;
    }
    EXPECT_EQ(compile_file(), 3) << "failed, with messages";
    ASSERT_NE(gMessageList, nullptr);
    EXPECT_EQ(gMessageList->summary, GetParam().text);
    EXPECT_EQ(parser.programs_parsed, 0);
}

INSTANTIATE_TEST_SUITE_P(All, FrameCompileWithout, ::testing::ValuesIn(kMissingUnits),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FrameCompile, UnwritableDumpFileThrowsFileOpen)
{
    fs::permissions(dir / "prog", fs::perms::owner_read | fs::perms::owner_exec);
    if (std::ofstream(dir / "prog" / "probe")) {
        GTEST_SKIP() << "running with rights that ignore directory permissions";
    }
    EXPECT_THROW(compile_file(), xFileOpen);
    EXPECT_EQ(compiler_config().rams, 0x80);
}

// A directory where the dump file belongs cannot be opened for writing by anyone, so this case
// runs whatever rights the tests have: the compile throws with the folder's text and still puts
// the RAM/ROM values back.
TEST_F(FrameCompile, DumpFilePathTakenByAFolderThrowsFileOpenNamingTheFolder)
{
    fs::create_directories(dir / "prog" / "main.brk");
    compiler_config().rams = 0x80;
    try {
        compile_file();
        FAIL() << "no xFileOpen";
    } catch (xFileOpen &e) {
        EXPECT_EQ(e.message_id(), 7135u);
        EXPECT_NE(e.argument().find("prog"), std::string::npos) << e.argument();
        const std::string text = e.GetText();
        EXPECT_EQ(text.rfind("Unable to create temporary files in '", 0), 0u) << text;
        EXPECT_NE(text.find("You might not have access rights to this folder."),
                  std::string::npos)
            << text;
    }
    EXPECT_EQ(compiler_config().rams, 0x80);
    EXPECT_FALSE(called("build_rom_image")) << "nothing is built after the failure";
}

// A BIOS compile's predefined macros name the processor the compile is for and whether the BIOS
// is part of the image; the code generator is switched to that processor's family.
struct PredefinedInputs {
    const char *name;
    int selector;
    bool bios_present;
    const char *target_cpu;
    const char *no_bios;
    const char *cpu_call;
};

const PredefinedInputs kPredefinedInputs[] = {
    {"VireonWithBios", 1, true, "F80", "0", "select_target_cpu 0"},
    {"VireonWithoutBios", 1, false, "F80", "1", "select_target_cpu 0"},
    {"Z180", 0, true, "Z180", "0", "select_target_cpu 1"},
};

class FramePredefined : public FrameCompile,
                        public ::testing::WithParamInterface<PredefinedInputs> {
protected:
    void TearDown() override
    {
        set_processor_selector(1);
        FrameCompile::TearDown();
    }
};

TEST_P(FramePredefined, MacrosTakeTheProcessorAndTheBiosPresence)
{
    const PredefinedInputs &c = GetParam();
    set_processor_selector(c.selector);
    compile_conditions().bios_present = c.bios_present;
    SetCompilingBios(1);
    std::string target_cpu, no_bios;
    static std::string *seen_cpu, *seen_no_bios;
    seen_cpu = &target_cpu;
    seen_no_bios = &no_bios;
    parser.during_parse = [] {
        *seen_cpu = find_macro_value("TARGETCPU")->text;
        *seen_no_bios = find_macro_value("NO_BIOS")->text;
    };
    EXPECT_EQ(compile_file() & 2, 0);
    SetCompilingBios(0);
    EXPECT_EQ(target_cpu, c.target_cpu);
    EXPECT_EQ(no_bios, c.no_bios);
    const std::vector<std::string> &calls = headless_codegen().calls;
    const auto cpu = std::find_if(calls.begin(), calls.end(), [](const std::string &call) {
        return call.rfind("select_target_cpu", 0) == 0;
    });
    ASSERT_NE(cpu, calls.end());
    EXPECT_EQ(*cpu, c.cpu_call) << "the first processor selection of the compile";
}

INSTANTIATE_TEST_SUITE_P(All, FramePredefined, ::testing::ValuesIn(kPredefinedInputs),
                         [](const auto &i) { return std::string(i.param.name); });

// Before a BIOS recompile every edited library of the BIOS is saved, not only the first; a
// library the BIOS does not use is left alone. Names are compared after the last separator of
// either kind, without case.
TEST_F(FrameCompile, EveryEditedBiosLibraryIsSaved)
{
    record_bios_library_name("one.lib");
    record_bios_library_name("TWO.LIB");
    linker.libraries = {(dir / "lib" / "ONE.LIB").string(), "C:\\libs\\two.lib",
                        (dir / "lib" / "other.lib").string()};
    EXPECT_EQ(save_edited_bios_libraries(), 1);
    EXPECT_EQ(linker.saved, (std::vector<std::string>{(dir / "lib" / "ONE.LIB").string(),
                                                      "C:\\libs\\two.lib"}));
}

// The memory words of the layout come from the configuration's ROM and RAM keys.
TEST_F(FrameCompile, MemoryWordsComeFromTheConfiguration)
{
    std::ofstream(dir / "kxw.cfg") << "roms  = 3\nromx  = 10\nrome  = 1F\nrams  = 90\n"
                                      "logx  = E\nlogr  = 4\nrame  = B0\nramg  = 7A\n";
    EXPECT_EQ(compile_file() & 2, 0);
    const MemoryWords &w = memory_words();
    EXPECT_EQ(w.data_segment, 0x7A);
    EXPECT_EQ(w.xmem_code_base, (0x3u + 0x10u) * 0x1000u);
    EXPECT_EQ(w.code_limit, 0x1F000u);
    EXPECT_EQ(w.ram_base, (0x90u + 0xEu - 0x4u) * 0x1000u);
    EXPECT_EQ(w.xmem_data_bound, 0xB0000u);
}

// The memory map's root code starts a page after the BIOS's root code (0x100 for the BIOS,
// which gives no address), and the code limits bound the gap between root code and data.
TEST_F(FrameCompile, MapDefaultsAndCodeLimitsFollowTheCompile)
{
    SetCompilingBios(1);
    parser.during_parse = [] {
        root_code_cache().EmitRepeat(0, 0x234);
        data_cache().SetAddress(0xC000);
        (void)emit_zero_bytes(0x10, false);
    };
    EXPECT_EQ(compile_file() & 2, 0);
    EXPECT_EQ(memory_map().root_code_start, 0x100);
    EXPECT_EQ(memory_map().code_limit_low, 0x233u) << "the last root code byte";
    EXPECT_EQ(memory_map().code_limit_high, 0xBFF1u) << "the lowest data byte";
    SetCompilingBios(0);
    parser.during_parse = [] { root_code_cache().EmitRepeat(0, 0x10); };
    EXPECT_EQ(compile_file() & 2, 0);
    EXPECT_EQ(memory_map().root_code_start, 0x400) << "0x234 + 0x100, up to the next page";
    EXPECT_EQ(memory_map().code_limit_low, 0x243u);
}

// Every compile starts with empty address directories: stubs of an earlier compile translate
// nothing in this one.
TEST_F(FrameCompile, AddressDirectoriesStartEmpty)
{
    record_xmem_stub(0x4000, 0x0EE010);
    EXPECT_EQ(compile_file() & 2, 0);
    EXPECT_EQ(root_address_directory().count(), 0);
    EXPECT_EQ(xmem_address_directory().count(), 0);
}

// The jump-fixup table lives for one compile, and goes however the compile ends.
TEST_F(FrameCompile, JumpFixupTableLivesForTheCompile)
{
    static std::size_t depth;
    static bool table;
    parser.during_parse = [] {
        depth = jump_fixup_depth();
        table = jump_fixups() != nullptr;
        jump_fixups()->insert({7, JumpFixup{0xC3, 0x1234}});
    };
    EXPECT_EQ(compile_file() & 2, 0);
    EXPECT_EQ(depth, 1u);
    EXPECT_TRUE(table);
    EXPECT_EQ(jump_fixup_depth(), 0u);
    EXPECT_EQ(jump_fixups(), nullptr);
    parser.during_parse = [] { throw xUserCancel(KX_HERE); };
    EXPECT_THROW(compile_file(), xUserCancel);
    EXPECT_EQ(jump_fixup_depth(), 0u);
}

// A BIOS compile places "prog_param" and "kx_timestamp" behind its constants in code, where the
// start-up block keeps the program information record and the time stamp; the program compile
// that follows starts its constants and its second data cache where the BIOS left them.
TEST_F(FrameCompile, BiosPlacesTheStartUpSymbolsAndTheProgramGoesOnBehindThem)
{
    set_start_up_record_offsets(StartUpRecordOffsets{0x10, 0x70});
    SetCompilingBios(1);
    parser.during_parse = [] {
        (void)add_symbol("prog_param", 0, 2, 0, 7, nullptr, 0);
        (void)add_symbol("kx_timestamp", 0, 5, 0, 7, nullptr, 0);
        root_code_cache().EmitRepeat(0, 0x300);
        data_cache().SetAddress(0xC000);
        (void)emit_zero_bytes(0x20, false);
    };
    EXPECT_EQ(compile_file() & 2, 0);
    set_start_up_record_offsets(std::nullopt);
    EXPECT_EQ(find_symbol("prog_param", false, kGlobalTable)->address[0], 0x310u);
    EXPECT_EQ(find_symbol("kx_timestamp", false, kGlobalTable)->address[0], 0x370u);
    for (const char *name : {"prog_param", "kx_timestamp"}) {
        const symbol *placed = find_symbol(name, false, kGlobalTable);
        EXPECT_TRUE(placed->flags[kSymDefined.byte] & kSymDefined.mask) << name;
    }
    EXPECT_EQ(linker.defined, (std::map<std::string, uint32_t>{{"kx_timestamp", 0x370},
                                                               {"prog_param", 0x310}}));
    EXPECT_EQ(memory_map().program_constant_start, 0x300u);
    EXPECT_EQ(memory_map().program_second_data_start, 0xBFE0u);

    SetCompilingBios(0);
    static uint32_t second_data;
    parser.during_parse = [] { second_data = root_variable_cache().current; };
    EXPECT_EQ(compile_file() & 2, 0);
    EXPECT_EQ(second_data, 0xBFE0u);
}

// Without the start-up block's layout (no code generator has measured it) nothing is placed at a
// made-up address: the compile refuses.
TEST_F(FrameCompile, StartUpSymbolsWithoutTheBlockLayoutAreRefused)
{
    set_start_up_record_offsets(std::nullopt);
    set_exception_debug_mode(false);
    SetCompilingBios(1);
    parser.during_parse = [] { (void)add_symbol("prog_param", 0, 2, 0, 7, nullptr, 0); };
    try {
        (void)compile_file();
        FAIL() << "placed without the block's layout";
    } catch (xErr &e) {
        EXPECT_EQ(e.GetText(), "The code generator is not part of this build.");
    }
    SetCompilingBios(0);
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
    // Only the tables are set up again (the map and the library marks with them).
    for (const std::string &call : linker.calls)
        EXPECT_TRUE(call.find("library_index") == std::string::npos)
            << "a finished start-up does nothing more: " << call;
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

// ---- the download of the built image ------------------------------------------------------------

namespace {

// The status box's texts, in the order they were shown.
class RecordingStatusBox : public HeadlessStatusBox {
public:
    static std::vector<std::string> *texts;
    static bool cancel;
    void SetMessageLabel(const std::string &text, int left, int top, int width,
                         int height) override
    {
        HeadlessStatusBox::SetMessageLabel(text, left, top, width, height);
        texts->push_back(text);
    }
    bool ClosedByUser() const override { return cancel; }
};
std::vector<std::string> *RecordingStatusBox::texts = nullptr;
bool RecordingStatusBox::cancel = false;

class FrameDownload : public FrameCompile {
protected:
    std::vector<std::string> status;
    HeadlessTargetOperations &target = headless_target_operations();

    void SetUp() override
    {
        FrameCompile::SetUp();
        RecordingStatusBox::texts = &status;
        RecordingStatusBox::cancel = false;
        gDialogControl.SetBoxFactory([] { return std::make_unique<RecordingStatusBox>(); });
    }
    void TearDown() override
    {
        RecordingStatusBox::cancel = false;
        FrameCompile::TearDown();
        RecordingStatusBox::texts = nullptr;
    }
    std::vector<std::string> target_calls(const std::string &prefix) const
    {
        std::vector<std::string> out;
        for (const std::string &c : target.calls)
            if (c.rfind(prefix, 0) == 0)
                out.push_back(c);
        return out;
    }
    bool shown(const std::string &text) const
    {
        return std::find(status.begin(), status.end(), text) != status.end();
    }
    std::string image_path() const { return (dir / "prog" / "main.bdl").string(); }
};

struct DownloadCase {
    const char *name;
    uint16_t link_kind;  // 0 serial
    uint8_t mode;        // 0 flash, 1 RAM, 2 flash then run in RAM
    bool erase, one_piece;
    std::vector<std::string> writes;  // TcWritePhysicalMemory calls, in order
    std::string file_transfer;        // the TcDownloadFile call, or "" for none
    bool erased;
    const char *loading_text;
};

// The image is 300 bytes (blocks of 128, 128 and 44); every block is marked.
const DownloadCase kDownloads[] = {
    {"serial_flash_blocks_to_low_memory", 0, 0, false, false,
     {"TcWritePhysicalMemory 0x0 128", "TcWritePhysicalMemory 0x80 128",
      "TcWritePhysicalMemory 0x100 44"},
     "", false, "Loading to flash"},
    {"serial_erase_first_then_blocks_into_flash", 0, 0, true, false,
     {"TcWritePhysicalMemory 0x80000 128", "TcWritePhysicalMemory 0x80080 128",
      "TcWritePhysicalMemory 0x80100 44"},
     "", true, "Loading to flash"},
    {"network_ram_as_one_file", 1, 1, false, false, {},
     "bdl 0x0 0x12C 0x0 128", false, "Loading to RAM"},
    {"network_erase_as_one_file_into_flash", 1, 0, true, false, {},
     "bdl 0x80000 0x12C 0x0 128", true, "Loading to flash"},
    {"one_piece_flash_run_in_ram", 1, 2, true, true, {},
     "bdl 0x80000 0x12C 0x0 128", true, "Loading to flash to run in RAM"},
    {"one_piece_ram_is_not_erased", 1, 1, true, true, {},
     "bdl 0x0 0x12C 0x0 128", false, "Loading to RAM"},
};

class FrameDownloadPlan : public FrameDownload,
                          public ::testing::WithParamInterface<DownloadCase> {};

}  // namespace

TEST_P(FrameDownloadPlan, SendsTheImageWhereTheBoardAndLinkSay)
{
    const DownloadCase &c = GetParam();
    target.settings.link_kind = c.link_kind;
    IdePreferences().output_mode = c.mode;
    compile_conditions().erase = c.erase;
    compile_conditions().one_piece = c.one_piece;
    linker.highest_code = make_addr(0, 0x1FFF);
    target.retry_count = 3;

    const uint16_t status = compile_file();

    EXPECT_EQ(status, 0);
    EXPECT_EQ(target_calls("TcWritePhysicalMemory"), c.writes);
    const std::vector<std::string> transfers = target_calls("TcDownloadFile");
    if (!c.file_transfer.empty()) {
        ASSERT_EQ(transfers.size(), 1u);
        EXPECT_EQ(transfers[0], "TcDownloadFile " + source + " " + c.file_transfer);
        EXPECT_TRUE(shown("Sending Program: 0/384"));
        EXPECT_FALSE(target_calls("ReconnectAtDebugBaud").empty());
    } else {
        EXPECT_TRUE(transfers.empty());
    }
    const std::vector<std::string> erases = target_calls("TcEraseFlash");
    if (c.erased) {
        ASSERT_EQ(erases.size(), 1u);
        EXPECT_EQ(erases[0], "TcEraseFlash 0x81FFF") << "up to the end of the code in flash";
        EXPECT_TRUE(shown("Erasing flash..."));
    } else {
        EXPECT_TRUE(erases.empty());
    }
    EXPECT_EQ(target.retry_count, 3u) << "the transport's retries are put back";
    EXPECT_TRUE(shown(c.loading_text));
    EXPECT_TRUE(shown("384/384")) << "progress over the marked sectors";
    EXPECT_EQ(gTCState, 4) << "the communication state of a user program";
    EXPECT_TRUE(called("clear_flash_sector_map"));
}

INSTANTIATE_TEST_SUITE_P(All, FrameDownloadPlan, ::testing::ValuesIn(kDownloads),
                         [](const auto &i) { return std::string(i.param.name); });

// An image that begins above physical 0: every block goes to its physical address, the
// bitmap is asked by physical address, and the listing learns where the image begins.
TEST_F(FrameDownload, BlocksGoToTheirPhysicalAddressesAboveTheImageStart)
{
    compiler_options().list_files = 1;
    linker.image_low_sector = 0x40;  // the image's byte 0 is physical 0x10000
    linker.marked_from = 0x10080;
    linker.marked_to = 0x10100;
    linker.marked_sectors = 1;
    EXPECT_EQ(compile_file(), 0);
    compiler_options().list_files = 0;
    EXPECT_EQ(target_calls("TcWritePhysicalMemory"),
              std::vector<std::string>{"TcWritePhysicalMemory 0x10080 128"});
    EXPECT_EQ(target.memory[0x10080], 0x5A);
    EXPECT_EQ(linker.list_image_start, 0x10000u);
}

TEST_F(FrameDownload, OnlyMarkedBlocksAreWritten)
{
    linker.marked_from = 128;
    linker.marked_to = 256;
    linker.marked_sectors = 1;
    EXPECT_EQ(compile_file(), 0);
    EXPECT_EQ(target_calls("TcWritePhysicalMemory"),
              std::vector<std::string>{"TcWritePhysicalMemory 0x80 128"});
    EXPECT_TRUE(shown("128/128"));
    EXPECT_EQ(target.memory[0x80], 0x5A);
}

TEST_F(FrameDownload, BiosOverANetworkLinkIsSentAsOneFile)
{
    SetCompilingBios(1);
    target.settings.link_kind = 1;
    // The whole image lies within the BIOS's code: it goes in one piece into flash.
    parser.during_parse = [] { root_code_cache().EmitRepeat(0, 0x200); };
    EXPECT_EQ(compile_file() & 2, 0);
    const std::vector<std::string> transfers = target_calls("TcDownloadFile");
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_EQ(transfers[0], "TcDownloadFile " + source + " bdl 0x80000 0x12C 0x0 128");
    EXPECT_TRUE(shown("Sending Bios: 0/384"));
}

TEST_F(FrameDownload, SerialBiosReconnectsAfterTheBiosBlocks)
{
    SetCompilingBios(1);
    linker.image = std::vector<uint8_t>(0x200, 0x11);
    compile_conditions() = CompileConditions{};
    // The BIOS's root code ends at 0x100: the first block beyond it goes at the debug baud rate.
    parser.during_parse = [] { root_code_cache().EmitRepeat(0, 0x100); };
    EXPECT_EQ(compile_file() & 2, 0);
    std::vector<std::string> seen;
    for (const std::string &c : target.calls)
        if (c.rfind("TcWritePhysicalMemory", 0) == 0 || c == "ReconnectAtDebugBaud")
            seen.push_back(c);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "TcWritePhysicalMemory 0x80000 128", "TcWritePhysicalMemory 0x80080 128",
                        "TcWritePhysicalMemory 0x80100 128", "ReconnectAtDebugBaud",
                        "TcWritePhysicalMemory 0x180 128"}));
}

TEST_F(FrameDownload, CompileToFileWritesTheBinFileAndNothingToTheTarget)
{
    compile_conditions().to_file = true;
    IdePreferences().zero_pad_bin_file = false;
    linker.image.assign(300, 0);
    for (size_t i = 0; i < linker.image.size(); ++i)
        linker.image[i] = static_cast<uint8_t>(i);
    linker.marked_from = 128;  // the image begins at its second block
    EXPECT_EQ(compile_file(), 0);
    EXPECT_TRUE(target_calls("TcWrite").empty());
    EXPECT_TRUE(target_calls("TcDownloadFile").empty());
    EXPECT_TRUE(called("write_hex_end"));
    EXPECT_TRUE(called("pad_bin_file 0 1")) << "with the BIOS the file opens as erased flash";
    EXPECT_TRUE(called("write_bin_hex_files 128")) << "the bin file begins at its first block";
    std::ifstream bin(dir / "prog" / "main.bin", std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(bin)),
                                     std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 172u) << "from the image's start offset, cut at its end";
    EXPECT_EQ(bytes.front(), 128);
    EXPECT_EQ(bytes.back(), static_cast<uint8_t>(299));
    ASSERT_FALSE(headless_message_box_host().shown.empty());
    EXPECT_EQ(headless_message_box_host().shown.back().text, "Object file created successfully");
}

TEST_F(FrameDownload, ZeroPadKeepsTheImageOffsetsInTheBinFile)
{
    compile_conditions().to_file = true;
    IdePreferences().zero_pad_bin_file = true;
    linker.marked_from = 128;
    EXPECT_EQ(compile_file(), 0);
    EXPECT_EQ(fs::file_size(dir / "prog" / "main.bin"), 300u);
}

// The output switches and the prototype-table size come from the loaded settings.
namespace {
struct LoadedSwitchCase {
    const char *name;
    const char *value;      // a "Compiler" value stored before the load, or "" for none
    int32_t stored;
    uintmax_t bin_size;     // of a 300-byte image that begins at its second block
    bool stamp_cleared;     // the compile's time stamp is 0xFFFFFFFF
};
const LoadedSwitchCase kLoadedSwitches[] = {
    {"defaults_pad_and_stamp", "", 0, 300, false},
    {"zero_pad_off_cuts_to_the_image", "Zero Pad Bin File", 0, 172, false},
    {"zero_pad_on", "Zero Pad Bin File", 1, 300, false},
    {"time_stamp_off", "Include Time Stamp", 0, 300, true},
    {"time_stamp_on", "Include Time Stamp", 1, 300, false},
};
class FrameLoadedSwitches : public FrameDownload,
                            public ::testing::WithParamInterface<LoadedSwitchCase> {};

// Stores one "Compiler" value, loads the settings, and keeps the test's own program directory.
void load_with_compiler_value(const char *value, int32_t stored, const std::string &program_dir)
{
    if (*value) {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key("Compiler"), true));
        WriteRegInteger(reg, value, stored);
        ASSERT_TRUE(reg.save());
    }
    LoadEnvironment();
    set_program_directory(program_dir);
}
}  // namespace

TEST_P(FrameLoadedSwitches, ShapeTheBinFileAndTheTimeStamp)
{
    const LoadedSwitchCase &c = GetParam();
    SettingsSandbox settings(c.name);
    load_with_compiler_value(c.value, c.stored, dir.string());
    compile_conditions().to_file = true;
    linker.marked_from = 128;
    EXPECT_EQ(compile_file(), 0);
    EXPECT_EQ(fs::file_size(dir / "prog" / "main.bin"), c.bin_size);
    EXPECT_EQ(memory_summary().compile_time_stamp == 0xFFFFFFFFu, c.stamp_cleared);
}

INSTANTIATE_TEST_SUITE_P(All, FrameLoadedSwitches, ::testing::ValuesIn(kLoadedSwitches),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FrameCompile, PrototypeTableIsSizedFromTheLoadedValue)
{
    struct ReleaseTables {
        ~ReleaseTables() { release_compiler_tables(); }
    } release;
    const std::pair<int32_t, uint32_t> cases[] = {{1000, 1000}, {40000, 8192}, {0, 8192}};
    for (const auto &[stored, entries] : cases) {
        SCOPED_TRACE(stored);
        SettingsSandbox settings("prototypes" + std::to_string(stored));
        load_with_compiler_value("Function Prototype Table Size", stored, dir.string());
        release_compiler_tables();
        reset_start_up_stage();
        EXPECT_EQ(compile_file(), 0);
        EXPECT_EQ(allocated_table_sizes().prototype_entries, entries);
    }
}

TEST_F(FrameDownload, EraseWithBiosMarkerSendsNothing)
{
    SetCompilingBios(1);
    compile_conditions().erase = true;
    EXPECT_EQ(compile_file() & 2, 0);
    EXPECT_TRUE(target_calls("Tc").empty());
    EXPECT_FALSE(called("write_bin_hex_files")) << "an erased board gets no bin and hex files";
}

// Bad input: nothing is ever reported as loaded that was not.
TEST_F(FrameDownload, MissingImageFailsTheCompileWithAMessage)
{
    linker.write_image = false;
    EXPECT_EQ(compile_file() & 2, 2);
    ASSERT_FALSE(headless_message_box_host().shown.empty());
    EXPECT_EQ(headless_message_box_host().shown.back().text,
              "Cannot open file '" + image_path() + "'.");
    EXPECT_TRUE(target_calls("TcWrite").empty());
}

TEST_F(FrameDownload, UnopenableBinOutputFailsTheCompile)
{
    compile_conditions().to_file = true;
    fs::create_directories(dir / "prog" / "main.bin");  // a folder where the file should go
    EXPECT_EQ(compile_file() & 2, 2);
    ASSERT_FALSE(headless_message_box_host().shown.empty());
    EXPECT_EQ(headless_message_box_host().shown.back().text,
              "Cannot open file '" + (dir / "prog" / "main.bin").string() + "'.");
}

// A "bin" file that cannot take the whole image (here: a device that is always full) fails the
// compile with a message naming it; a short image never passes as written.
TEST_F(FrameDownload, ShortWriteOfTheBinFileFailsTheCompile)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no always-full device on this system";
    compile_conditions().to_file = true;
    fs::create_symlink("/dev/full", dir / "prog" / "main.bin");
    EXPECT_EQ(compile_file() & 2, 2);
    ASSERT_FALSE(headless_message_box_host().shown.empty());
    EXPECT_EQ(headless_message_box_host().shown.back().text,
              "Unable to write file '" + (dir / "prog" / "main.bin").string() + "'.");
}

TEST_F(FrameDownload, FailedEraseStopsTheDownloadAndRestoresTheTransport)
{
    compile_conditions().erase = true;
    target.erase_fails = true;
    target.retry_count = 5;
    EXPECT_THROW(compile_file(), xTCErr);
    EXPECT_TRUE(target_calls("TcWrite").empty());
    EXPECT_EQ(target.retry_count, 5u);
    EXPECT_EQ(compiler_config().rams, 0x80) << "memory values restored";
}

TEST_F(FrameDownload, ClosingTheStatusBoxCancelsTheDownload)
{
    RecordingStatusBox::cancel = true;
    EXPECT_THROW(compile_file(), xUserCancel);
    EXPECT_TRUE(shown("Loading to flash")) << "the download had begun";
    EXPECT_TRUE(target_calls("TcWrite").empty());
}

TEST_F(FrameCompile, UnopenableObjectFileFailsTheCompileWithAMessage)
{
    struct NoObjectFile : RecordingLinker {
        int open_object_file(const std::string &s, bool f) override
        {
            RecordingLinker::open_object_file(s, f);
            return 1;
        }
    } no_object;
    set_linker_seam(&no_object);
    EXPECT_EQ(compile_file() & 2, 2);
    EXPECT_EQ(parser.programs_parsed, 0);
    ASSERT_FALSE(headless_message_box_host().shown.empty());
    EXPECT_EQ(headless_message_box_host().shown.back().text, "Unable to Open Object File.");
}
