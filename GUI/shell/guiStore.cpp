// guiStore: the program's own store. Each operation goes to its unit: the settings to
// guiEnvironment, the project to the current project (guiProjects), the recently-used list to
// guiMru.
#include "guiStore.h"

#include "settings/guiEnvironment.h"
#include "settings/guiKXPreferences.h"
#include "settings/guiProjects.h"

namespace {

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
    int MruFindFile(const std::string &path) override { return ::MruFindFile(path); }
    std::optional<EditorState> MruGetEntry(int index) override
    {
        return ::MruGetEntry(index, true);
    }
    void MruRemoveEntry(int index) override { ::MruRemoveEntry(index); }
    void MruAddEditor(const EditorState &state) override { ::MruAddEditor(state); }
    void MruSetSeparatorIndex(int index) override { ::SetMruSeparatorIndex(index); }
    std::vector<std::string> MruMenuPaths() override { return ::MruMenuPaths(); }
};

TIdeStore *g_store = nullptr;

} // namespace

TIdeStore &ide_store()
{
    static ProgramStore program_store;
    return g_store ? *g_store : program_store;
}

void set_ide_store(TIdeStore *store) { g_store = store; }
