// SEAM_SETTINGS: what the compiler core reads of the settings side besides the settings object
// (guiKXPreferences' `IdePreferences`): the current project's macro definitions, the board a
// compile without a target is for, and the external compression utility; and the hand-over of
// the project's macros and the debug-kernel macros to the macro table at the start of a compile.
// The project unit (guiProjects) installs the provider of its definitions and fills the board.
// Std-only.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "settings/guiKXPreferences.h"

// Macro definitions, name to value text, ordered by the bytes of the names (names that differ
// only in letter case are two macros).
using ProjectDefines = std::map<std::string, std::string>;

// The current project's committed definitions; null when there is no project. Installed by the
// project unit; without it there are no project definitions.
using ProjectDefinesProvider = const ProjectDefines *(*)();
void set_project_defines_provider(ProjectDefinesProvider provider);
ProjectDefinesProvider project_defines_provider();
// The definitions the next compile receives (empty without a project).
const ProjectDefines &project_defines();

// The board a compile without a target is for (the project's "Targetless Compile" section).
inline constexpr const char *kDefaultBoardDescription =
    "Vireon 2000 board: 29.4912 MHz crystal, 128K SRAM, 256K flash";
struct BoardParameters {
    uint32_t boardType = 257;          // board ID
    int32_t cpuId = 0;                 // (CPU number / 1000 - 2) * 256 + revision
    uint32_t crystalSpeed = 29491200;  // Hz
    int32_t ramSize = 128;             // KB
    int32_t flashSize = 256;           // KB
    std::string description = kDefaultBoardDescription;
    bool operator==(const BoardParameters &) const = default;
};
extern BoardParameters gBoardParameters;

// The external program that compressed imports run.
inline constexpr const char *kDefaultZimportUtility = "kxcompress";
extern std::string gZimportUtility;

// The settings object, the board, the utility name, the targetless switch and the values the
// settings load sets in other units (the prototype-table size) back to their defaults (tests).
void reset_settings_to_defaults();

// Hands the project's definitions, in map order, and then the seven debug-kernel macros
// ("_DK_ENABLE_BREAKPOINTS_", "_DK_ENABLE_ASMSINGLESTEP_", "_DK_ENABLE_WATCHEXPRESSIONS_",
// "_DK_ENABLE_TRACING_", "_DK_MAX_BREAKPOINTS_", "_DK_MAX_WATCHES_", "_DK_WATCH_MEM_", from the
// settings) to the macro table at the start of a compile. A project definition of a "_DK_" name
// comes first, so the macro table keeps it and reports the redefinition. The macro table
// installs the definer; without one this does nothing.
// The debug-kernel macros as the settings give them now, in the order above. The BIOS is compiled
// with them, so a change of any of them is a change of the compile settings.
std::vector<std::pair<std::string, std::string>> debug_kernel_defines();
using ProjectMacroDefiner = void (*)(const char *name, const char *value);
void set_project_macro_definer(ProjectMacroDefiner definer);
ProjectMacroDefiner project_macro_definer();
void DefineProjectMacros();
