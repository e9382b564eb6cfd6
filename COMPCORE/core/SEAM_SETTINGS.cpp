// SEAM_SETTINGS: the project values the compiler reads, with their defaults, and the hand-over
// of the project's macros and the debug-kernel macros to the macro table.
#include "SEAM_SETTINGS.h"

#include "driver/CC_INIT.h"
#include "SEAM_TARGET.h"

BoardParameters gBoardParameters;
std::string gZimportUtility = kDefaultZimportUtility;

namespace {
ProjectDefinesProvider g_provider = nullptr;
ProjectMacroDefiner g_definer = nullptr;
} // namespace

void set_project_defines_provider(ProjectDefinesProvider provider) { g_provider = provider; }
ProjectDefinesProvider project_defines_provider() { return g_provider; }

const ProjectDefines &project_defines()
{
    static const ProjectDefines none;
    const ProjectDefines *defines = g_provider ? g_provider() : nullptr;
    return defines ? *defines : none;
}

void reset_settings_to_defaults()
{
    reset_preferences_to_defaults();
    set_prototype_table_size(kDefaultPrototypeTableSize);
    gBoardParameters = BoardParameters{};
    gZimportUtility = kDefaultZimportUtility;
    gTargetlessCompile = 0;
}

void set_project_macro_definer(ProjectMacroDefiner definer) { g_definer = definer; }
ProjectMacroDefiner project_macro_definer() { return g_definer; }

std::vector<std::pair<std::string, std::string>> debug_kernel_defines()
{
    const TIdePreferences &p = IdePreferences();
    const auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    return {{"_DK_ENABLE_BREAKPOINTS_", flag(p.enable_breakpoints)},
            {"_DK_ENABLE_ASMSINGLESTEP_", flag(p.asm_single_step)},
            {"_DK_ENABLE_WATCHEXPRESSIONS_", flag(p.enable_watch_expressions)},
            {"_DK_ENABLE_TRACING_", flag(p.enable_tracing)},
            {"_DK_MAX_BREAKPOINTS_", std::to_string(p.max_breakpoints)},
            {"_DK_MAX_WATCHES_", std::to_string(p.max_watches)},
            {"_DK_WATCH_MEM_", std::to_string(p.watch_memory)}};
}

void DefineProjectMacros()
{
    if (!g_definer)
        return;
    for (const auto &[name, value] : project_defines())
        g_definer(name.c_str(), value.c_str());
    for (const auto &[name, value] : debug_kernel_defines())
        g_definer(name.c_str(), value.c_str());
}
