// Temporaryglobals: start-up values of a few program-wide globals.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// Project and source names given on the command line (empty until start-up reads them).
extern std::string gCmdLineProject;
extern std::string gCmdLineSource;

// The folder of a program's read-only resources ("kxw.cfg", "Lib.dir", bios/, lib/), ending in
// "/", which start-up makes the program directory: the folder "korvex" beside the program's own
// folder when it exists (where the build stages it for every program it makes), else the
// program's folder.
std::string resource_directory_of(const std::string &program_path);

// The message-list capacity: base count + maximum errors shown + maximum warnings shown + 2,
// computed once by the first call; later calls return the first result.
int message_list_capacity(int base_count, int max_errors, int max_warnings);
// The capacity computed, or 0 before the first call.
int message_list_capacity();
// The capacity from now on, whatever was computed before (the options dialog's new limits).
void set_message_list_capacity(int capacity);

// Four (flag, colour) pairs; colours in blue-green-red byte order: blue, green, red, blue.
struct FlagColour {
    uint8_t flag;
    uint32_t colour;
};
extern std::array<FlagColour, 4> gFlagColours;

// Back to the start-up values (tests).
void reset_temporary_globals();
