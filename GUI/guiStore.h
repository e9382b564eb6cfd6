// guiStore: the settings store, the project file and the recently-used file list as the IDE
// shell reaches them: one narrow interface, so that the shell stands before those units do and
// tests can see and script what it asks of them. The settings values themselves live in the one
// settings object (`IdePreferences`), which the shell reads and writes directly; this interface
// carries only the operations that load, store or look something up.
#pragma once

#include <optional>
#include <string>

// What the recently-used list keeps of an editor window: its file, placement, caret and scroll
// position. Lines and columns count from 0.
struct EditorState {
    std::string path;
    int left = 0, top = 0, height = 0, width = 0;
    int window_state = 0; // 0 normal, 1 minimized, 2 maximized
    int caret_line = 0, caret_column = 0;
    int top_line = 0, left_column = 0;
};

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
    // and recording an editor that closes.
    virtual int MruFindFile(const std::string &path) = 0;
    virtual std::optional<EditorState> MruGetEntry(int index) = 0;
    virtual void MruRemoveEntry(int index) = 0;
    virtual void MruAddEditor(const EditorState &state) = 0;
};

// The store in use: the program's own until another is installed.
TIdeStore &ide_store();
void set_ide_store(TIdeStore *store); // not owned; null restores the program's own
