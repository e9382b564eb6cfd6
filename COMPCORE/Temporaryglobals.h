// Temporaryglobals: start-up values of a few program-wide globals.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// Project and source names given on the command line (empty until start-up reads them).
extern std::string gCmdLineProject;
extern std::string gCmdLineSource;

// The per-version settings key segment, formatted at start-up before the settings load.
extern std::string gSettingsVersionKey;
// "%d.%d%d%s%s\": the three version numbers, the version suffix and the value of the command
// line's "-c" (empty without it), which selects a separate settings tree for the same version.
std::string format_settings_version_key(const std::string &c_value);

// The folder of the program's read-only resources ("kxw.cfg", "Lib.dir", bios/, lib/), ending in
// "/"; set at start-up before the settings load.
extern std::string gProgramDirectory;
// The resource folder of a program file: the folder "korvex" beside the program's own folder
// when it exists (where the build stages it for every program it makes), else the program's
// folder.
std::string resource_directory_of(const std::string &program_path);

// The message-list capacity: base count + maximum errors shown + maximum warnings shown + 2,
// computed once by the first call; later calls return the first result.
int message_list_capacity(int base_count, int max_errors, int max_warnings);
// The capacity computed, or 0 before the first call.
int message_list_capacity();

// Four (flag, colour) pairs; colours in blue-green-red byte order: blue, green, red, blue.
struct FlagColour {
    uint8_t flag;
    uint32_t colour;
};
extern std::array<FlagColour, 4> gFlagColours;

// Back to the start-up values (tests).
void reset_temporary_globals();
