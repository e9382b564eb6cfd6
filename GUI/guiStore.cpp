// guiStore: the program's own store. Each operation goes to its unit: the settings to
// guiEnvironment, the project to the current project (guiProjects); an operation whose unit is
// not built yet (the recently-used list) does nothing and says so once, on the standard error
// stream, so the shell runs and nobody mistakes the silence for a saved file.
#include "guiStore.h"

#include <iostream>
#include <set>

#include "guiEnvironment.h"
#include "guiKXPreferences.h"
#include "guiProjects.h"

namespace {

void not_built(const char *unit)
{
    static std::set<std::string> told;
    if (told.insert(unit).second)
        std::cerr << "kxw: " << unit << " is not part of this build.\n";
}

class ProgramStore : public TIdeStore {
public:
    void LoadEnvironment() override { ::LoadEnvironment(); }
    void SaveEnvironment() override { ::SaveEnvironment(); }
    void SetSourceExtensions(const std::string &list) override { ::SetSourceExtensions(list); }
    void SaveProject() override
    {
        if (gProject)
            gProject->Save();
    }
    int MruFindFile(const std::string &) override
    {
        not_built("The recently-used file list");
        return -1;
    }
    std::optional<EditorState> MruGetEntry(int) override
    {
        not_built("The recently-used file list");
        return std::nullopt;
    }
    void MruRemoveEntry(int) override { not_built("The recently-used file list"); }
    void MruAddEditor(const EditorState &) override { not_built("The recently-used file list"); }
};

TIdeStore *g_store = nullptr;

} // namespace

TIdeStore &ide_store()
{
    static ProgramStore program_store;
    return g_store ? *g_store : program_store;
}

void set_ide_store(TIdeStore *store) { g_store = store; }
