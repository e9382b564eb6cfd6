// guiIcons: the pictures of the commands on the toolbars and in the Customize palette. A command
// shows the desktop icon theme's picture where the freedesktop names have one that fits
// (document-new, edit-find, media-playback-start, ...), else a small picture of our own from the
// program's resources (compile to the target, step over, breakpoints, watches, ...); our own also
// stands in whenever the theme is missing or lacks the name, so no button is ever blank.
#pragma once

#include <QIcon>

#include <string_view>

class QAction;

struct TCommandIcon {
    const char *action;  // the action's object name
    const char *theme;   // freedesktop icon name, or nullptr where none fits
    const char *own;     // our picture in the resources, ":/icons/<own>.svg"
};

// One row per command that a toolbar or the palette can show.
extern const TCommandIcon kCommandIcons[];
extern const std::size_t kCommandIconCount;

// The row of the action's name; nullptr for a command without a picture.
const TCommandIcon *find_command_icon(std::string_view action);
// The theme "Adwaita" (which ./kx installs) when the desktop names none; our resources loaded.
void prepare_command_icons();
// Our own picture of the row (never null when the resources are in the program).
QIcon own_command_icon(const TCommandIcon &row);
// The theme's picture, falling back to ours.
QIcon command_icon(const TCommandIcon &row);
// Gives the action its picture (by its object name) and its hint as the tooltip; false when the
// table has no row for it.
bool apply_command_icon(QAction *action);
