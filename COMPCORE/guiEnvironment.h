// guiEnvironment: the settings kept between runs. The typed registry operations that every
// settings loader and saver uses (`ReadRegString` and its kin, `WriteRegString` and its kin, the
// two-value font record), the per-version settings key, and `LoadEnvironment` /
// `SaveEnvironment`, which move the whole settings tree between the store (PLATFORM's
// RegistryStore) and the settings object `IdePreferences`.
//
// Keys: base path "Software\Brantel\KXW\Vireon\", then the version key (`SettingsVersionKey`,
// "8.51\" or with "-c Lab" "8.51Lab\"), then the section. The targetless store lies directly
// below the base path, shared by every version.
//
// What the main window and the editor contribute (the four values the save takes from the main
// window, the editor's option adjustment at the end of the load) comes through
// `TSettingsWindowHost`, which the IDE installs before it loads the settings.
// Std-only; GUI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "RegistryStore.h"
#include "guiKXPreferences.h"

// ---- keys --------------------------------------------------------------------------------------

inline constexpr const char *kSettingsBasePath = "Software\\Brantel\\KXW\\Vireon\\";
inline constexpr const char *kSectionDebugWindows = "Debug Windows\\";
inline constexpr const char *kSectionCommunications = "Communications";
inline constexpr const char *kSectionCompiler = "Compiler";
inline constexpr const char *kSectionEnvironment = "Environment";
inline constexpr const char *kSectionPersonality = "Personality";
inline constexpr const char *kSectionToolBars = "ToolBars\\";
inline constexpr const char *kSectionDefaultToolBars = "Default ";
inline constexpr const char *kSectionPrintSetup = "Print Setup\\";
inline constexpr const char *kSectionTextOptions = "Text Options\\";
inline constexpr const char *kTargetlessKey = "Targetless Compiler";

// The version key, "%d.%d%d%s%s\" of the compiler's version values and the "-c" text; set once
// at start-up before any setting is read. Empty until then.
extern std::string SettingsVersionKey;
// Largest version key, the terminating zero included.
inline constexpr std::size_t kSettingsKeyBuffer = 260;

// Sets SettingsVersionKey from the "-c" text (empty without the switch). A text that would
// make the key longer than its buffer, or that holds a path separator or a control byte, is
// refused: the plain key is used and the result is the message to show.
[[nodiscard]] std::optional<std::string> set_settings_version_key(const std::string &c_text);

// base path + version key + section: the full path of a section key.
std::string settings_key(const std::string &section);

// ---- the store ---------------------------------------------------------------------------------

// The store's file: the one given here, or default_registry_path() at the time of use.
void set_settings_registry_path(const std::string &path);  // empty: back to the default
std::string settings_registry_path();

// The registry object of one load or save: the store, and what the write operations need to
// report a failed save once.
class TKXRegistry : public RegistryStore {
public:
    explicit TKXRegistry(const std::string &path = settings_registry_path())
        : RegistryStore(path)
    {
    }
    // The write-failure message of the first value written since the last flush.
    std::optional<std::string> first_write;
    // A write failure was shown: later ones of this object go unreported.
    bool failure_shown = false;
    // Flushes; when that fails, shows the first value's write-failure message unless a failure
    // was shown already. A damaged file found on the way is reported too.
    bool save();
};

// Shows "The settings file ... could not be read ..." once when the store found its file
// damaged or unreadable.
void report_settings_damage(TKXRegistry &reg);

// ---- typed operations on the open key ------------------------------------------------------

// Writes never throw. A write that fails shows "Could not write %s to %s" (the integer, float
// and bool forms with %d, %lf, %d) in an "Error" box, only for the first failure of the registry
// object; the rest go on quietly.
void WriteRegString(TKXRegistry &reg, const std::string &name, const std::string &text);
void WriteRegInteger(TKXRegistry &reg, const std::string &name, int32_t value);
void WriteRegFloat(TKXRegistry &reg, const std::string &name, double value);
void WriteRegBool(TKXRegistry &reg, const std::string &name, bool value);
// A failed binary write is not shown.
void WriteRegBinary(TKXRegistry &reg, const std::string &name, const void *buffer,
                    std::size_t size);

// Reads give the default when the value is missing or holds another type. ReadRegString also
// gives it for a stored empty text.
std::string ReadRegString(TKXRegistry &reg, const std::string &name, const std::string &def);
int32_t ReadRegInteger(TKXRegistry &reg, const std::string &name, int32_t def);
double ReadRegFloat(TKXRegistry &reg, const std::string &name, double def);
bool ReadRegBool(TKXRegistry &reg, const std::string &name, bool def);
// Fills the buffer only when the stored value is binary of exactly `size` bytes.
void ReadRegBinary(TKXRegistry &reg, const std::string &name, void *buffer, std::size_t size);

// The window font record as two values: "Font Name" (string) and "Font" (binary, 20 bytes,
// little-endian):
//   0 colour (4) | 4 height (4) | 8 pitch (1) | 9 zero (3) | 12 size (4) |
//   16 bold | 17 italic | 18 underline | 19 strikeout (1 each)
inline constexpr std::size_t kFontRecordBytes = 20;
void SaveFontValues(TKXRegistry &reg, TFontProperties font);
// A missing or unreadable "Font" leaves colour, height, pitch, size and style as they were.
void LoadFontValues(TKXRegistry &reg, TFontProperties &font);

// ---- the main window and the editor, as the settings need them ------------------------------

class TSettingsWindowHost {
public:
    virtual ~TSettingsWindowHost() = default;
    virtual bool MenuButtonsVisible() = 0;        // saved as "Show Menu Buttons"
    virtual bool ConsolidateChecked() = 0;        // saved as "Consolidate Buttons"
    virtual std::string OpenDialogInitDir() = 0;  // saved as "Open InitDir"
    virtual std::string SaveDialogInitDir() = 0;  // saved as "Save InitDir"
    // The end of the load: the editor's global options as the settings want them.
    virtual void AdjustEditorOptions() = 0;
};
// Not owned; null removes it. Without a host the load and the save refuse with one message.
void set_settings_window_host(TSettingsWindowHost *host);
TSettingsWindowHost *settings_window_host();

// ---- loading and saving all settings ------------------------------------------------------

// Reads the whole tree into IdePreferences (every missing or unusable value keeps the field's
// current value, or the fixed default where one is given) and the prototype-table size.
void LoadEnvironment();
// Writes the tree from IdePreferences, the prototype-table size and the window host.
void SaveEnvironment();

// Start-up as far as the settings go, after the command line is read: the version key from the
// "-c" text (a refused text is shown and the plain key used), the program directory (the folder
// start-up took from the program's own path; the default documentation addresses lie below it),
// LoadEnvironment, then SetSourceExtensions with "Syntax File Types".
void LoadSettingsAtStartUp(const std::string &program_dir, const std::string &c_text);
