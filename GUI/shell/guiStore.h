// guiStore: the settings store, the project file and the recently-used file list as the IDE
// shell reaches them: one narrow interface, so that the shell stands before those units do and
// tests can see and script what it asks of them. The settings values themselves live in the one
// settings object (`IdePreferences`), which the shell reads and writes directly; this interface
// carries only the operations that load, store or look something up.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/guiMru.h"

// What the recently-used list keeps of an editor window: its file, placement, caret and scroll
// position (guiMru's record). Lines and columns count from 0.
using EditorState = sEditInfo;

class TIdeStore {
public:
    virtual ~TIdeStore() = default;
    // The whole settings object from and to the settings store.
    virtual void LoadEnvironment() = 0;
    virtual void SaveEnvironment() = 0;
    // The program-wide set of source extensions from a ';'-separated list.
    virtual void SetSourceExtensions(const std::string &list) = 0;
    // Writes the current project (`TKXProject::Save`).
    virtual void SaveProject() = 0;
    // The recently-used list: the index of a file's entry or -1, an entry, removing an entry,
    // and recording an editor that closes. Indices count File-menu items: the front entry is
    // the item after the separator that `MruSetSeparatorIndex` names.
    virtual int MruFindFile(const std::string &path) = 0;
    virtual std::optional<EditorState> MruGetEntry(int index) = 0;
    virtual void MruRemoveEntry(int index) = 0;
    virtual void MruAddEditor(const EditorState &state) = 0;
    virtual void MruSetSeparatorIndex(int index) = 0;
    // The paths of the File menu's numbered items, front first, at most ten.
    virtual std::vector<std::string> MruMenuPaths() = 0;
};

// The store in use: the program's own until another is installed.
TIdeStore &ide_store();
void set_ide_store(TIdeStore *store); // not owned; null restores the program's own
