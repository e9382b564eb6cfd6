// guiListCopy: the Copy command of a list window (messages, stack): Ctrl+C and Ctrl+Insert on
// the list, and a pop-up menu holding Copy, enabled only while there is something to copy.
#pragma once

#include <functional>

class QAction;
class QListWidget;
class QMenu;
class QWidget;

struct TListCopyActions {
    QAction *copy = nullptr;           // "&Copy", Ctrl+C; the pop-up menu's item
    QAction *copy_old_style = nullptr; // Ctrl+Insert
    QMenu *popup = nullptr;            // the list's pop-up menu, holding `copy`
};

// Makes the actions and the menu (owned by `owner`) on `list`. `can_copy` says whether Copy
// may run; `copy` copies. Both keys run `copy` only while `can_copy` holds; the menu's item is
// enabled by `can_copy` when the menu pops up. Errors are reported as every command's are.
TListCopyActions AddListCopyActions(QWidget *owner, QListWidget *list,
                                    std::function<bool()> can_copy, std::function<void()> copy);
