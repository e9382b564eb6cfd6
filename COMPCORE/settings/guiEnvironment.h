// guiEnvironment: the settings kept between runs. The typed registry operations that every
// settings loader and saver uses (`ReadRegString` and its kin, `WriteRegString` and its kin, the
// two-value font record), the per-version settings key, and `LoadEnvironment` /
// `SaveEnvironment`, which move the whole settings tree between the store (PLATFORM's
// RegistryStore) and the settings object `IdePreferences`. Beside them, the smaller stores
// that windows call with their own objects: watch histories (files beside the sources), combo
// box histories, toolbar layouts and dock states (guiEnvironmentHistories.cpp), and the print
// setup and the editor's text-style colours (guiEnvironmentPrint.cpp).
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
#include <vector>

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

// ==== histories, toolbars and dock states ====================================================

// ---- help locations ------------------------------------------------------------------------------
// "HelpFile", "HelpIRFile" and the documentation addresses hold a path relative to the program
// directory (their defaults), an absolute path or a web address ("scheme:...").

// True for a web address: a scheme of two or more characters and ":" ("C:\\..." is no scheme).
bool is_web_address(const std::string &text);
// Where the location leads: a relative path below the program directory ("\\" read as "/"),
// anything else as it is.
std::string help_location_path(const std::string &location);
// The stored location, or the default in its place when the stored one is an absolute path
// that no longer exists, or a page earlier versions named that is missing below the program
// directory (their "kxw.hlp", "kx_asm.chm", "docs\\default.htm", ...).
std::string help_location_or_default(const std::string &stored, const std::string &def);

// ---- watch histories: a text file beside each source file ---------------------------------
//
// "<folder>/<base name>.DBG" of a source file (its extension, if any, replaced): lines
// "Watch0=..." "Watch1=..." for the watch list, then "cbWatch0=..." ... for the expression
// history. The entries are opaque texts; a line break inside one is stored as a blank, so that
// every entry stays one line.
std::string WatchHistoryFile(const std::string &source_file);
// Appends the stored watch list (up to the first gap in the numbering) and, when `history` is
// given, the stored expression history. A missing or unreadable file loads nothing; of a very
// large file only the first kWatchHistoryReadLimit bytes are read; lines without "=" hold no
// entry.
inline constexpr std::size_t kWatchHistoryReadLimit = 1u << 20;
void LoadWatchHistory(const std::string &source_file, std::vector<std::string> &watches,
                      std::vector<std::string> *history);
// Replaces the file with the two lists; with both empty the file is removed, so that cleared
// watches stay cleared. A file that cannot be written or removed is left whole and reported
// once per file and run.
void SaveWatchHistory(const std::string &source_file, const std::vector<std::string> &watches,
                      const std::vector<std::string> &history);

// The text's lines: a CR, an LF or the pair ends a line; a last line without an end counts.
std::vector<std::string> SplitTextLines(const std::string &text);

// ---- combo box histories, in the key "Personality" ------------------------------------------
//
// One history is the value <name> (the entries, each followed by CR LF, most recent first) and
// the value "<name> Index" (the selected entry, -1 for none). The combo boxes themselves are
// Qt's; GUI/ puts these values on them.
struct ComboHistory {
    std::vector<std::string> items;
    int index = -1;  // -1, or an index into items
};
// The stored history; nothing when the key "Personality" does not exist (the box then keeps
// what it has). A missing value gives no items, an index outside the items none selected.
std::optional<ComboHistory> ReadComboHistory(const std::string &name);
// The box's list after its text was used: the first entry equal to the text without regard to
// case goes, and the text (as typed) becomes entry 0, unless it is blank (only blanks and
// control characters); then the list is cut to `maximum` entries (0: no limit). Returns the
// index of the entry equal to the text, or -1.
int PushComboHistory(std::vector<std::string> &items, const std::string &text, int maximum);
// Stores the history (creating the key); a failure is reported once.
void WriteComboHistory(const std::string &name, const ComboHistory &history);

// ---- toolbar layouts: base + prefix + "ToolBars\" + the toolbar's name ---------------------
//
// The prefix is empty for the user's layout and "Default " for the built-in one. The values
// "ComponentString" (the toolbar's own description, GUI/ writes and reads it), "visible",
// "width", "Floating", "X", "Y". A toolbar name that is empty or holds a "\" has no key.
struct ToolbarValues {
    std::string component;  // empty: none stored
    bool visible = false;
    int32_t width = 0;
    bool floating = false;
    int32_t x = 0, y = 0;  // floating: the window's top-left; docked: the place in the dock
};
bool ToolbarKeyExists(const std::string &prefix, const std::string &toolbar_name);
// Nothing when the key does not exist; else every value, missing ones as their defaults.
std::optional<ToolbarValues> ReadToolbarValues(const std::string &prefix,
                                               const std::string &toolbar_name);
// Writes "ComponentString" (only when `with_component`), "visible", "width", "Floating", "X"
// and "Y". False, reported once, when the values could not be stored.
[[nodiscard]] bool WriteToolbarValues(const std::string &prefix, const std::string &toolbar_name,
                                      const ToolbarValues &values, bool with_component);

// ---- dock states: base + "Debug Windows\" + the window's section ---------------------------

// The placement fields of a dockable debug window.
struct TDockPlacement {
    int float_left = 0, float_top = 0, float_width = 0, float_height = 0;
    int child_left = 0, child_top = 0, child_width = 0, child_height = 0;
    bool child = false;    // last placed as a child window of the main window
    bool visible = false;
    int window_state = 0;  // 0 normal, 1 minimized, 2 maximized
    bool operator==(const TDockPlacement &) const = default;
};

// A dockable debug window as its placement is loaded and saved.
class TDockableWindowHost {
public:
    virtual ~TDockableWindowHost() = default;
    virtual std::string Name() const = 0;  // the window's component name
    virtual TDockPlacement &Placement() = 0;
    // The main window has been shown (its show handler has run).
    virtual bool MainWindowShown() const = 0;
    virtual void ShowWindow() = 0;
};

// The section of a window name ("frmMessages" -> "Message Window", any name holding
// "frmMemoryDump" -> "Dump Window"); empty for other names.
std::string DockStateSection(const std::string &window_name);
// Reads the section's values over `placement`, whose values are the defaults ("Window State"
// defaults to normal; 1 gives minimized, any other value but 0 maximized). False, changing
// nothing, for an empty section.
bool ReadDockState(const std::string &section, TDockPlacement &placement);
// Writes every value ("Window State" as 0, 1 or 2); a failure is reported once.
void WriteDockState(const std::string &section, const TDockPlacement &placement);
// The window's placement from its section; a window stored visible is shown once the main
// window has been shown. A window without a section reads nothing.
void LoadDockState(TDockableWindowHost *window);
// The window's placement into its section; a window without a section writes nothing.
void SaveDockState(TDockableWindowHost *window);

// ==== print setup and text-style colours ====================================================

// The print preview component's page setup and text options, as a plain model: printing and
// the preview window read it. The numbers of the enumerators are what the settings store.
enum class TPrintUnits : uint8_t { unInches = 0, unMillimeters = 1 };
enum class TPrintOrientation : uint8_t { poPortrait = 0, poLandscape = 1 };
enum class TZoomOption : uint8_t { zoFitToPage = 0, zoFitToWidth = 1, zoFitToHeight = 2,
                                   zoPercent = 3 };
enum class TDrawStyle : uint8_t { dsStandard = 0, dsFrame = 1, dsShadow = 2 };
enum class TTextAlign : uint8_t { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };
// 2: no page number.
enum class TPageNumberPosition : uint8_t { pnBottom = 0, pnTop = 1, pnNone = 2 };

struct TTextOptions {
    TDrawStyle DrawStyle = TDrawStyle::dsStandard;
    bool UseHeader = true, UseFooter = true, UsePageNumbers = true;
    bool UseMarginLeft = true, UseMarginRight = true, UseMarginTop = true, UseMarginBottom = true;
    double MarginLeft = 1, MarginTop = 1, MarginRight = 1, MarginBottom = 1;  // in Units
    double HeaderMargin = 0.5, FooterMargin = 0.75;
    TTextAlign HeaderAlign = TTextAlign::taCenter;
    TTextAlign FooterAlign = TTextAlign::taCenter;
    TTextAlign PageNumAlign = TTextAlign::taRightJustify;
    TPageNumberPosition PrintPageNumber = TPageNumberPosition::pnBottom;
    std::string PageNumText = "Page %d";
    std::string Header, Footer;
    bool WrapLines = false;
    bool ColorSyntax = true;
    TPrinterFont BodyFont = printer_font("Arial", -13);
    TPrinterFont HeaderFont = bold_font(printer_font("Times New Roman", -24));
    TPrinterFont FooterFont = italic_font(printer_font("Times New Roman", -13));
    TPrinterFont PageNumFont = italic_font(printer_font("Times New Roman", -13));
    bool operator==(const TTextOptions &) const = default;

private:
    static TPrinterFont bold_font(TPrinterFont f) { f.bold = true; return f; }
    static TPrinterFont italic_font(TPrinterFont f) { f.italic = true; return f; }
};

// The main window's one print preview component; its initial values are the form's.
class TPreviewPrinter {
public:
    TPrintUnits Units() const { return m_units; }
    // The margins keep their numbers: they count in the new unit from now on.
    void SetUnits(TPrintUnits units) { m_units = units; }
    TPrintOrientation Orientation = TPrintOrientation::poPortrait;
    TZoomOption ZoomOption = TZoomOption::zoFitToPage;
    int32_t ZoomVal = 100;  // per cent
    TTextOptions TextOptions;
    bool operator==(const TPreviewPrinter &) const = default;

private:
    TPrintUnits m_units = TPrintUnits::unInches;
};

// The editor's global font, the print font's defaults.
TPrinterFont &GlobalMemoFont();

// The page setup, the text options with their four fonts, and the settings' print font,
// print-line-numbers flag and page-number position, from key "Print Setup\" and below. A value
// that is missing, of another type or unusable (an empty text, a zoom of 0 or less, a margin
// that is negative or not a finite number, a font height or size of 0 or beyond 1638 points)
// keeps what the component holds. Nothing happens for a null component.
void LoadPrintSetup(TPreviewPrinter *printer);
// Writes every value. Nothing happens for a null component.
void SavePrintSetup(TPreviewPrinter *printer);

// The colours of one syntax element as the Environment Options dialog holds them.
struct TTextStyle {
    std::string Name;            // names the registry key
    TColor Color = clWhite;      // background
    TColor FontColor = clBlack;  // text
    bool Bold = false, Italic = false, Underline = false;
    bool UseMemoColor = false;   // the background is the editor's own
    bool operator==(const TTextStyle &) const = default;
};

class TTextStyleWrapper {
public:
    TTextStyleWrapper() = default;
    // As the dialog lists an element: both background colours from the style's colour, both
    // text colours from its font colour, both use-default flags set.
    explicit TTextStyleWrapper(TTextStyle *style);

    TTextStyle *Style = nullptr;  // not owned
    bool UseDefaultBackColor = true;
    bool UseDefaultForeColor = true;
    TColor CustomBackColor = clWhite;
    TColor DefaultBackColor = clWhite;
    TColor CustomForeColor = clBlack;
    TColor DefaultForeColor = clBlack;
};

// Key "Environment\TextStyles\<style name>": "UseDefaultBackColor", "UseDefaultForeColor",
// "DefaultBackColor", "DefaultForeColor", "CustomBackColor", "CustomForeColor". The load
// creates the key; a missing value, or one that is not an integer, keeps the wrapper's value.
// Neither touches the store for a null wrapper, one without a style, or a style whose name is
// empty or holds a "\". A failed save is reported once.
void LoadEnvironmentFlags(TTextStyleWrapper *wrapper);
void SaveEnvironmentFlags(TTextStyleWrapper *wrapper);
