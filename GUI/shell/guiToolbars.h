// guiToolbars: the layout of one toolbar of the main window kept between runs: its buttons and
// where it stands. The values live under base + prefix + "ToolBars\" + the toolbar's name
// (guiEnvironment's `ReadToolbarValues` / `WriteToolbarValues`); the prefix is empty for the
// user's layout and "Default " for the built-in one, which the main window stores once so that
// the user can go back to it.
//
// "ComponentString" is our own description of the toolbar, one line each:
//   component = "ToolBar" name { line-end item }
//   item      = "Button" command | "DropDown" command | "Separator"
// The commands are the names of the main window's actions; names hold no blank and no control
// character.
//
// Docked toolbars stand in the main window's control bar (its `ToolBarControl`) or, for a main
// window without one, in its top toolbar area; "X" and "Y" are their place in it, counted from
// its top-left corner. A floating toolbar is a
// window of its own, and "X" and "Y" are that window's position.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class QAction;
class QMainWindow;
class QToolBar;
class QWidget;

// What a toolbar needs of the main window.
class TToolbarHost {
public:
    virtual ~TToolbarHost() = default;
    // The owner of the toolbars.
    virtual QMainWindow *MainWindow() = 0;
    // The action of a command; null for a command the main window does not know.
    virtual QAction *CommandAction(const std::string &command) = 0;
    // The number the main window's command map holds for the command; -1 for none.
    virtual int CommandNumber(const std::string &command) = 0;
    // The main window's own set-up of a toolbar that was just built: its handlers, its popup
    // menu.
    virtual void SetUpToolbar(QToolBar *toolbar) = 0;
    // The main window's own bar for docked toolbars, where "X" and "Y" are a toolbar's place
    // in it; none: the main window's top toolbar area.
    virtual QWidget *ControlBar() { return nullptr; }
};

// One toolbar as the main window keeps it.
struct TToolbarEntry {
    bool visible = false;
    int32_t width = 0;
    QToolBar *toolbar = nullptr;
};

// The name of the main window's toolbar that gathers the visible buttons: its buttons are
// never stored.
inline constexpr const char *kConsolidatedToolbar = "Consolidated";

// The button's tag: (index << 16) + ((command number & 0xFF) << 8) + kind, kind 2 for a
// drop-down button, 3 for a separator, 0 for any other; kept as the property "tag" of the
// button's widget.
inline constexpr const char *kToolButtonTagProperty = "tag";

// The toolbar's description; nothing for a toolbar or action without a usable name.
std::optional<std::string> ToolbarComponentString(const QToolBar *toolbar);

// Restores the entry from the stored layout under `prefix`. Without a stored key nothing
// changes. A stored description is built into a new toolbar first: when it does not parse or
// names a command the main window does not know, the toolbar stays as it is and one box says
// why; otherwise the new toolbar takes the old one's place and the entry points at it. Then
// the entry's visible flag and width come from the store, and the toolbar goes to its stored
// place: floating at X, Y (the "Consolidated" toolbar also takes the entry's width), or docked
// at X, Y in the top area.
void LoadToolbarLayout(TToolbarEntry &entry, const std::string &prefix, TToolbarHost &host);
// Stores the toolbar's description (not for "Consolidated"; nor for a toolbar with an action
// that has no usable name, whose buttons the next load then leaves as built), the visible
// flag, the width, whether it floats and its place. A value that cannot be written is reported
// once; a toolbar without a usable name stores nothing.
void SaveToolbarLayout(const std::string &prefix, bool visible, int32_t width, QToolBar *toolbar);
