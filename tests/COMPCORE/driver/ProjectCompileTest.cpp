// A loaded project reaches the compile: its definitions and the debug-kernel macros through
// `compile_file`, the list-file choice, and the targetless board of a compile without a target.
#include "CompileRunFixture.h"
#include "ProjectFixture.h"

#include <algorithm>

#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "input/CC_IN.h"
#include "core/SEAM_TARGET.h"
#include "settings/guiProjects.h"

using namespace compile_run;

namespace {

std::string macro(const char *name)
{
    const macroinfo *m = find_macro_value(name);
    return m ? m->text : "(undefined)";
}

class ProjectCompile : public CompileRun {
protected:
    CompilerOptions saved_options;

    void SetUp() override
    {
        CompileRun::SetUp();
        saved_options = compiler_options();
    }
    void TearDown() override
    {
        reset_projects();
        compiler_options() = saved_options;
        set_max_errors_shown(10);
        set_max_warnings_shown(10);
        CompileRun::TearDown();
    }
    // The project file (its libraries list is the fixture's), loaded as the current project.
    void load_project(const std::string &sections)
    {
        write("proj.kxp", crlf("[Korvex Files]\nUse Lib File=1\nLIB File=lib.dir\n" + sections));
        gProject = std::make_unique<TKXProject>(path("proj.kxp"));
        ASSERT_TRUE(gProject->CheckWritable());
        ASSERT_EQ(libraries_file(), path("lib.dir"));
    }
    bool linker_called(const std::string &call) const
    {
        return std::find(linker.calls.begin(), linker.calls.end(), call) != linker.calls.end();
    }
};

}  // namespace

TEST_F(ProjectCompile, DefinitionsAndDebugKernelMacrosReachTheSource)
{
    load_project("[DEFINES]\nDefines=P=5\n[Debug Options]\nEnable Breakpoints=0\n"
                 "Max Breakpoints=32\n");
    ASSERT_EQ(compile("int a = P + _DK_MAX_BREAKPOINTS_ + _DK_ENABLE_BREAKPOINTS_;\n"), 0)
        << messages_text();
    ASSERT_FALSE(declarations.lines.empty());
    EXPECT_EQ(declarations.lines.back().text, "int a = 5 + 32 + 0;");
    EXPECT_EQ(macro("_DK_ENABLE_ASMSINGLESTEP_"), "1");
    EXPECT_EQ(macro("_DK_ENABLE_TRACING_"), "0");
    EXPECT_EQ(macro("_DK_WATCH_MEM_"), "512");
}

TEST_F(ProjectCompile, AnAsmBlockLoadsTheWatchLimit)
{
    load_project("");
    ASSERT_EQ(compile("#asm\n ld a,_DK_MAX_WATCHES_\n#endasm\n"), 0) << messages_text();
    run(kRootCode);
    EXPECT_TRUE(reg("A", 8));
}

// The project's definition comes first; the macro table keeps the first definition of a name and
// reports the second.
TEST_F(ProjectCompile, AUserDefinitionOfADebugKernelNameKeepsTheFirst)
{
    load_project("[DEFINES]\nDefines=_DK_MAX_WATCHES_=3\n");
    EXPECT_EQ(compile("#asm\n ld a,_DK_MAX_WATCHES_\n#endasm\n") & 2, 0) << messages_text();
    run(kRootCode);
    EXPECT_TRUE(reg("A", 3));
    EXPECT_NE(messages_text().find("Invalid redefinition of macro '_DK_MAX_WATCHES_'."),
              std::string::npos)
        << messages_text();
}

TEST_F(ProjectCompile, TheListFileChoiceAsksTheLinkerForOne)
{
    load_project("[Compiler Options]\nGenerate List Files=0\n");
    ASSERT_EQ(compile("int a;\n"), 0) << messages_text();
    EXPECT_FALSE(linker_called("write_list_file"));
    linker.calls.clear();
    load_project("[Compiler Options]\nGenerate List Files=1\n");
    ASSERT_EQ(compile("int a;\n"), 0) << messages_text();
    EXPECT_TRUE(linker_called("write_list_file"));
}

TEST_F(ProjectCompile, TheDefaultBoardReachesACompileWithoutATarget)
{
    write("proj.kxp", "");
    gProject = std::make_unique<TKXProject>(path("proj.kxp"));
    ASSERT_TRUE(gProject->Update());
    set_libraries_file(path("lib.dir"));
    gTargetlessCompile = 1;
    ASSERT_EQ(compile_bios(""), 0) << messages_text();
    EXPECT_EQ(macro("_BOARD_TYPE_"), "257");
    EXPECT_EQ(macro("_CPU_ID_"), "0");
    EXPECT_EQ(macro("_RAM_SIZE_"), std::to_string(4 * 8)) << "128 KB: 4 units of 32 KB";
    EXPECT_EQ(macro("_FLASH_SIZE_"), "64") << "256 KB: 64 units of 4 KB";
    EXPECT_EQ(macro("_FREQ_DIV_19200_"), "48") << "29491200 Hz / 614400";
    EXPECT_EQ(macro("_TARGETLESS_COMPILE_"), "1");
}
