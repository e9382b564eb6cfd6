// SEAM_SETTINGS: what the compiler core reads of the IDE settings object and the project.
// The settings store, the project file and their dialogs are built with the settings subsystem;
// until then the core reads plain records with the documented defaults, which that subsystem
// (and tests) fill in.
// Std-only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The settings values that the compiler and the host services read.
struct IdePreferencesView {
    uint8_t output_mode = 0;           // 0 flash, 1 RAM, 2 flash and then run in RAM
    bool tcp_all_in_one = false;       // "TCP all in one"
    bool include_time_stamp = false;   // "Include Time Stamp"
    bool zero_pad_bin_file = false;    // "Zero Pad Bin File"
    uint32_t function_prototype_table_size = 0; // "Function Prototype Table Size" (0: default)
    bool include_bios = true;          // "Include BIOS"
    uint8_t restrict_watch_expressions = 0;
    bool enable_tracing = false;
    bool trace_capture_on_run = false; // the trace store's capture option
    bool storage_class_warning = false; // "Storage Class Warning"
    std::string flash_info_file = "Flash.ini";
    bool root_stubs = false;           // xmem functions entered through root stubs
    // Targetless board settings.
    uint8_t targetless_compile = 0;    // 8-bit switch: compiling for a board chosen without target
    uint32_t board_type = 0;
    uint32_t cpu_id = 0;
    uint32_t crystal_hz = 0;
    uint32_t ram_size_kb = 0;
    uint32_t flash_size_kb = 0;
    // Values of the compile-settings snapshot beyond those above.
    uint16_t compile_option_word = 0;
    uint8_t include_rst28 = 1;         // debug kernel with breakpoint support
    std::string bios_file;             // BIOS source path
    std::string libraries_file;        // libraries list file path
};

// The project keys that reach the compiler.
struct TKXProjectView {
    int max_errors_shown = 10;   // "Max Errors Shown"
    int max_warnings_shown = 10; // "Max Warnings Shown"
    std::string compression_utility; // "Compression Utility"
    // Project defines: name and value pairs in key order.
    std::vector<std::pair<std::string, std::string>> defines;
};

// The program-wide settings and project values (defaults until the settings subsystem loads).
IdePreferencesView &IdePreferences();
TKXProjectView &KXProject();
// Back to the defaults (tests).
void reset_settings_to_defaults();

// Hands the project's defines and the debug-kernel option macros to the compiler's macro table
// at the start of a compile. The macro table installs the definer; without one this does nothing.
using ProjectMacroDefiner = void (*)(const char *name, const char *value);
void set_project_macro_definer(ProjectMacroDefiner definer);
ProjectMacroDefiner project_macro_definer();
void DefineProjectMacros();
