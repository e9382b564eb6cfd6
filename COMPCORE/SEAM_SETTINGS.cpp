// SEAM_SETTINGS: the project values the compiler reads, with their defaults, and the hand-over
// of the project defines to the macro table.
#include "SEAM_SETTINGS.h"

#include "CC_INIT.h"

namespace {
TKXProjectView g_project;
ProjectMacroDefiner g_definer = nullptr;
} // namespace

TKXProjectView &KXProject() { return g_project; }

void reset_settings_to_defaults()
{
    reset_preferences_to_defaults();
    set_prototype_table_size(kDefaultPrototypeTableSize);
    g_project = TKXProjectView{};
}

void set_project_macro_definer(ProjectMacroDefiner definer) { g_definer = definer; }
ProjectMacroDefiner project_macro_definer() { return g_definer; }

void DefineProjectMacros()
{
    if (!g_definer)
        return;
    for (const auto &[name, value] : g_project.defines)
        g_definer(name.c_str(), value.c_str());
}
