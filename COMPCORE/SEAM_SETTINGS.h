// SEAM_SETTINGS: what the compiler core reads of the project, and the settings object itself.
// The settings object is guiKXPreferences' `IdePreferences`; the project file is built with the
// settings subsystem, and until then the core reads a plain record with the documented defaults,
// which that subsystem (and tests) fill in.
// Std-only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "guiKXPreferences.h"

// The project keys that reach the compiler.
// ("Max Errors Shown" and "Max Warnings Shown" are the error recorder's own, CC_ER.)
struct TKXProjectView {
    std::string compression_utility; // "Compression Utility"
    // Project defines: name and value pairs in key order.
    std::vector<std::pair<std::string, std::string>> defines;
};

// The program-wide project values (defaults until the settings subsystem loads a project).
TKXProjectView &KXProject();
// The settings object, the project values and the values the settings load sets in other units
// (the prototype-table size) back to their defaults (tests).
void reset_settings_to_defaults();

// Hands the project's defines and the debug-kernel option macros to the compiler's macro table
// at the start of a compile. The macro table installs the definer; without one this does nothing.
using ProjectMacroDefiner = void (*)(const char *name, const char *value);
void set_project_macro_definer(ProjectMacroDefiner definer);
ProjectMacroDefiner project_macro_definer();
void DefineProjectMacros();
