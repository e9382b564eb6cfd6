// The built-in seams that stand in for units not yet part of the build: every call that would
// have to answer, record, send or write something throws one clear "... is not part of this
// build." error, and the resets and teardowns (which have nothing to reset) do nothing.
#include <gtest/gtest.h>

#include "core/CC_OBJ.h"
#include "debugger/DB_SRC.h"
#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_DECL.h"
#include "core/SEAM_LINKER.h"
#include "core/SEAM_PARSER.h"
#include "core/SEAM_TARGET.h"
#include "SeamDoubles.h"
#include "core/guiExceptions.h"
#include "core/guiInterface.h"

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr const char *kCodegen = "The code generator is not part of this build.";
constexpr const char *kTarget = "The target link is not part of this build.";
constexpr const char *kDebugger = "The debugger core is not part of this build.";

// Puts the built-in seams in place for one test and the shared doubles back after it.
class BuiltInSeams : public ::testing::Test {
protected:
    void SetUp() override
    {
        set_exception_debug_mode(false);
        set_codegen_seam(nullptr);
        set_target_operations(nullptr);
        set_breakpoint_tables(nullptr);
        set_linker_seam(nullptr);
        set_parser_seam(nullptr);
        set_declaration_seam(nullptr);
        set_function_definition_seam(nullptr);
    }
    void TearDown() override { install_seam_doubles(); }
};

struct Refusal {
    const char *name;
    std::function<void()> call;
    const char *text;
};

const Refusal kRefusals[] = {
    {"RuntimeSymbols", [] { (void)unbuilt_codegen_seam().link_required_symbols(0); }, kCodegen},
    {"StartUpBlockSize",
     [] { (void)unbuilt_codegen_seam().measure_start_up_block(nullptr); }, kCodegen},
    {"PendingStubs", [] { codegen_seam().output_pending_stubs(0); }, kCodegen},
    {"RootCodeSize", [] { (void)unbuilt_codegen_seam().root_code_size(); }, kCodegen},
    {"EraseFlash", [] { (void)target_operations().TcEraseFlash(0x7FFFF); }, kTarget},
    {"CommSettings", [] { (void)target_operations().GetCommSettings(); }, kTarget},
    {"ReadMemory",
     [] {
         uint8_t b[2];
         target_operations().TcReadMemory(0, b, 2);
     },
     kTarget},
    {"WriteMemory",
     [] {
         const uint8_t b[2] = {1, 2};
         target_operations().TcWritePhysicalMemory(0x80000, b, 2);
     },
     kTarget},
    {"DownloadFile",
     [] { target_operations().TcDownloadFile("a.bdl", "bdl", 0, 0, 0, 128); },
     kTarget},
    {"TraceCapture", [] { target_operations().TraceStartCapture(); }, kTarget},
    {"LinkError", [] { (void)target_operations().TcGetLinkError(); }, kTarget},
    {"ShowLinkError", [] { target_operations().TcShowLinkError(2, 1, 3); }, kTarget},
    {"SysPoll", [] { target_operations().TcSendSysPoll(); }, kTarget},
    {"DbgPoll", [] { target_operations().TcSendDbgPoll(); }, kTarget},
    {"CloseConnection", [] { target_operations().TcCloseConnection(); }, kTarget},
    {"ResetTarget", [] { target_operations().TcResetTarget(); }, kTarget},
    {"TraceFlag", [] { target_operations().TcSetTraceFlag(7, true); }, kTarget},
    {"ClearTraceFlags", [] { target_operations().TcClearTraceFlags(); }, kTarget},
    {"BreakpointOptions", [] { (void)target_operations().areBreakpointsEnabled(); }, kDebugger},
    {"WatchLimit", [] { (void)target_operations().getMaxWatches(); }, kDebugger},
    {"ToggleBreakpoint",
     [] {
         cTextEdit editor;
         (void)target_operations().toggleBreakpoint(editor);
     },
     kDebugger},
    {"ToggleHardBreakpoint",
     [] {
         cTextEdit editor;
         (void)target_operations().toggleHardBreakpoint(editor);
     },
     kDebugger},
    {"ForgetBreakpoints", [] { target_operations().forgetBreakpoints(); }, kDebugger},
    {"FlyOverWatch",
     [] {
         set_flyover_watch_factory(nullptr);
         (void)make_flyover_watch()->Evaluate("count", true);
     },
     kDebugger},
};

class Refuses : public BuiltInSeams, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Refuses, WithTheMissingUnitsMessage)
{
    try {
        GetParam().call();
        FAIL() << "answered instead of refusing";
    } catch (xErr &e) {
        EXPECT_EQ(e.GetText(), GetParam().text);
    }
}

INSTANTIATE_TEST_SUITE_P(All, Refuses, ::testing::ValuesIn(kRefusals),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(BuiltInSeams, ResetsAndTeardownsHaveNothingToDo)
{
    codegen_seam().reset_compile_state();
    codegen_seam().delete_pending_asm_object();
    linker_seam().create_library_index();
    linker_seam().lib_index_reset();
    linker_seam().origins_clear();
    linker_seam().reset_labels(7);
    linker_seam().close_object_file(false);
    linker_seam().clear_list_records();
    linker_seam().clear_flash_sector_map();
    parser_seam().web_reset();
    parser_seam().reset_declaration_defaults();
    // No link, so no request in progress: a Cancel of the status box finds nothing to fetch.
    target_operations().TcCheckPendingError();
}

TEST_F(BuiltInSeams, NullPutsTheRefusalBackAfterAnInstalledUnit)
{
    install_seam_doubles();
    EXPECT_NO_THROW((void)codegen_seam().link_required_symbols(0));
    EXPECT_NO_THROW((void)target_operations().GetCommSettings());
    set_codegen_seam(nullptr);
    set_target_operations(nullptr);
    set_breakpoint_tables(nullptr);
    EXPECT_THROW(codegen_seam().output_pending_stubs(0), xErr);
    EXPECT_THROW((void)target_operations().GetCommSettings(), xErr);
}

// The position tables are part of every build: without a double the seam serves the debugger
// core's own.
TEST_F(BuiltInSeams, BreakpointTablesAreTheDebuggerCores)
{
    EXPECT_EQ(&breakpoint_tables(), &db_source_tables());
    install_seam_doubles();
    EXPECT_NE(&breakpoint_tables(), &db_source_tables());
    set_breakpoint_tables(nullptr);
    EXPECT_EQ(&breakpoint_tables(), &db_source_tables());
}

}  // namespace
