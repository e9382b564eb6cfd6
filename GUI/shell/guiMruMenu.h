// guiMruMenu: the recently-used files as numbered items at the end of the main window's File
// menu. The list itself is guiMru's; the main window rebuilds the items every time the File
// menu opens (`MruBuildMenu`) and opens a file when one is chosen.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QMenu;

// The index of the menu's last separator, -1 when it has none: the numbered items follow it.
int MruSeparatorIndexOf(const QMenu *menu);

// Removes every item after the separator, then appends one item per path (at most ten):
// "&1 path" ... "&9 path", "1&0 path". Choosing an item calls `open` with a copy of its path, so
// that the item stays usable whatever becomes of the list meanwhile.
void MruBuildMenu(QMenu *menu, int separator_index, const std::vector<std::string> &paths,
                  const std::function<void(const std::string &path)> &open);
