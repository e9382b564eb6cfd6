// guiMru: the most-recently-used list of source editor windows. One program-wide list of
// `sEditInfo` records, front = most recent, at most 30 entries. A project load empties and
// refills it (guiProjects), a closing editor window adds itself at the front (`MruAddEditor`),
// opening a file takes the file's entry off (the main window), and the File menu shows the first
// ten entries as numbered items after its last separator (the menu itself is built in GUI/ from
// `MruMenuPaths` and `MruMenuCaption`).
//
// Indices: the operations the main window uses count in File-menu indices, the item right after
// the separator being the front entry; `MruSeparatorIndex` is that separator's index (-1 while
// no main window has set it, so that menu indices are then list positions).
//
// The File menu is rebuilt from the list every time it opens, so removing or trimming an entry
// leaves the menu's items alone: an item can be the one whose click is being handled, and the
// next opening of the menu shows the list as it is then.
// Std-only; GUI thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One remembered editor window. The rectangle is the window's normal (restored) rectangle, so a
// maximized or minimized window still records where it goes when restored. Lines and columns as
// the editor counts them.
struct sEditInfo {
    std::string path;
    int32_t left = 0, top = 0, height = 0, width = 0;
    int32_t window_state = 0;  // 0 normal, 1 minimized, 2 maximized
    int32_t caret_line = 0, caret_column = 0;
    int32_t top_line = 0, left_column = 0;
    bool operator==(const sEditInfo &) const = default;
};

inline constexpr int kMruMaxEntries = 30;
inline constexpr int kMruMenuItems = 10;

// The File menu's separator index (the main window sets it when it builds its File menu).
void SetMruSeparatorIndex(int index);
int MruSeparatorIndex();

int16_t MruCount();
// The File-menu index of the first entry whose path equals `path` without regard to case (and
// to the kind of path separator), or -1.
int MruFindFile(const std::string &path);
// A copy of the entry at `index`: a File-menu index when `from_menu` is set, else a list
// position. Nothing for an index outside the list.
std::optional<sEditInfo> MruGetEntry(int index, bool from_menu);
// Removes the entry at the File-menu index; an index at or before the separator, or past the
// list, removes nothing.
void MruRemoveEntry(int index);
void MruClear();
// A record read from a project file goes to the front; an older entry of the same file goes.
void MruAddEntry(sEditInfo record);
// A closing editor window: its older entry goes, and when its file still exists it comes back
// at the front with the window's placement, caret and scroll position.
void MruAddEditor(const sEditInfo &editor);

// The paths of the File menu's numbered items, front first, at most ten.
std::vector<std::string> MruMenuPaths();
// The caption of numbered item n (1 to 10): "&1 path" ... "&9 path", "1&0 path".
std::string MruMenuCaption(int n, const std::string &path);
