// guiKXPreferences: the one program-wide settings object `IdePreferences` with its defaults, the
// window font record `TFontProperties`, and the source-extension set.
//
// The object exists with every field at its default before start-up runs; `LoadEnvironment`
// (guiEnvironment) overlays what the settings store holds, the project overlays its choices, and
// from then on the windows, the dialogs, the compiler core and the target link read and change
// the fields directly. There is no change notification: a reader takes the current value when it
// needs it. Qt stays out of this header: the font record is plain data, and the conversions to
// and from a Qt font live in PLATFORM/qt (FontRecord). Std-only; GUI thread only.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <utility>

// A colour: 0x00BBGGRR, or a system colour when the top bit is set.
using TColor = uint32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clAppWorkSpace = 0x8000000C; // the application workspace colour
inline constexpr TColor clWindowText = 0x80000008;   // the system's window-text colour

// Font pitch, one byte.
using TFontPitch = uint8_t;
inline constexpr TFontPitch fpDefault = 0;
inline constexpr TFontPitch fpVariable = 1;
inline constexpr TFontPitch fpFixed = 2;

// The font of one window.
struct TFontProperties {
    TColor colour = clBlack;
    int32_t height = -11;   // pixels; a negative value is a character height
    std::string name;
    TFontPitch pitch = fpDefault;
    int32_t size = 8;       // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;

    TFontProperties() = default;
    TFontProperties(TColor colour_, int32_t height_, std::string name_, TFontPitch pitch_,
                    int32_t size_, bool bold_, bool italic_, bool underline_, bool strikeout_)
        : colour(colour_), height(height_), name(std::move(name_)), pitch(pitch_), size(size_),
          bold(bold_), italic(italic_), underline(underline_), strikeout(strikeout_)
    {
    }
    bool operator==(const TFontProperties &) const = default;
};

// A font as the print setup keeps it: the window font's values and a character set. Height and
// size describe one font at the screen's 96 pixels per inch, so setting one sets the other: a
// negative height is the character height in pixels, a positive one the cell height.
inline constexpr uint8_t kDefaultCharset = 1;
inline constexpr int32_t kScreenPixelsPerInch = 96;
struct TPrinterFont {
    uint8_t charset = kDefaultCharset;
    TColor colour = clWindowText;
    int32_t height = -13;
    std::string name = "Courier New";
    TFontPitch pitch = fpDefault;
    int32_t size = 10;  // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;

    void SetHeight(int32_t pixels);
    void SetSize(int32_t points);
    bool operator==(const TPrinterFont &) const = default;
};
// A font of this name and height (the size follows), no style.
TPrinterFont printer_font(std::string name, int32_t height);

// Main window state: what "Window State" stores (0, 1, 2).
enum class TWindowState : uint8_t { Normal = 0, Minimized = 1, Maximized = 2 };

// The fields every debug window has, in the order the editor options dialog shows them.
struct DebugWindowSettings {
    std::string window_name;
    bool show = false;
    TFontProperties font;
    TColor background_colour = clWhite;
    bool dockable = false;
    bool child = true;  // opens as a child of the main window

    DebugWindowSettings(const char *name, const char *font_name)
        : window_name(name), font(clBlack, -11, font_name, fpDefault, 8, false, false, false, false)
    {
    }
    bool operator==(const DebugWindowSettings &) const = default;
};

struct StdioWindowSettings : DebugWindowSettings {
    StdioWindowSettings() : DebugWindowSettings("Stdio", "Terminal") {}
    // The largest counts the editor options dialog accepts (never stored).
    static constexpr int32_t kMaxColumns = 512;
    static constexpr int32_t kMaxRows = 10000;
    bool log_stdio = false;   // also write stdio output to log_file
    std::string log_file = "kx.out";
    bool append = false;      // always append to the log, else the first write replaces it
    bool horizontal_scroll = false;
    bool vertical_scroll = true;
    bool auto_open = true;    // opened at the first target output after a stdio reset
    int32_t columns = 80;
    int32_t rows = 10000;
    int32_t spaces_in_tab = 8;
    bool operator==(const StdioWindowSettings &) const = default;
};

struct AssemblyWindowSettings : DebugWindowSettings {
    AssemblyWindowSettings() : DebugWindowSettings("Assembly", "Courier New") {}
    bool show_address = true;
    bool show_machine = true;
    bool show_assembly = true;
    bool show_cycles = true;
    bool sum_cycles = true;
    bool show_source = true;
    bool show_file_name_in_source = true;
    bool syntax_highlight = true;
    bool operator==(const AssemblyWindowSettings &) const = default;
};

struct StackWindowSettings : DebugWindowSettings {
    StackWindowSettings() : DebugWindowSettings("Stack", "Courier New") {}
    bool operator==(const StackWindowSettings &) const = default;
};

struct RegisterWindowSettings : DebugWindowSettings {
    RegisterWindowSettings() : DebugWindowSettings("Registers", "Courier New") {}
    int32_t float_main_width = 169;  // main register pane width when floating
    int32_t child_main_width = 169;  // ... and when a child window
    bool show_editable = true;
    bool show_history = false;
    // Read by the registers window when it is created; never stored.
    int32_t window_value_1 = -1;
    int32_t window_value_2 = -1;
    bool operator==(const RegisterWindowSettings &) const = default;
};

struct DumpWindowSettings : DebugWindowSettings {
    DumpWindowSettings() : DebugWindowSettings("Memory Dump", "Courier New") {}
    std::string dump_file;    // last file of the dump-to-file dialog
    bool data_space = true;
    bool save_flash = false;
    bool save_to_file = false;
    bool apply_to_all = true;
    bool allow_updates = true;
    // Display flags of the memory dump window, indexed by the kDump* constants below; never
    // stored.
    std::array<bool, 5> display_flags{true, true, true, true, false};
    // The xpc:offset range of new dump windows: 0 a 4 KB page, 1 the 64 KB logical space, 2 every
    // XPC value; never stored.
    int32_t range = 0;
    bool enable_diffs = false;
    int32_t format = 0;       // 0 bytes, 1 words, 2 double words
    bool operator==(const DumpWindowSettings &) const = default;
};

// What the memory dump window's display flags hold.
inline constexpr std::size_t kDumpShowAddressInHint = 0; // the row address beside the scroll bar
inline constexpr std::size_t kDumpShowByteInHint = 1;    // the value under the mouse in a hint
inline constexpr std::size_t kDumpShowByteInCaption = 2; // ... after the caption
inline constexpr std::size_t kDumpShowToolBar = 3;

struct WatchWindowSettings : DebugWindowSettings {
    WatchWindowSettings() : DebugWindowSettings("Watch", "Courier New") {}
    bool watches_in_flyover = true;  // editor hints show watch values
    bool errors_in_flyover = false;
    bool operator==(const WatchWindowSettings &) const = default;
};

struct TraceWindowSettings : DebugWindowSettings {
    TraceWindowSettings() : DebugWindowSettings("Trace", "Courier New") {}
    bool auto_scroll = true;
    bool full_path = true;
    int32_t hc_action_width = 80;  // header column widths in pixels
    int32_t hc_func_width = 100;
    int32_t hc_file_width = 200;
    int32_t hc_rowcol_width = 80;
    int32_t hc_time_width = 80;
    int32_t hc_repeat_width = 80;
    int32_t window_value = 1;      // the trace window's own; never stored
    bool operator==(const TraceWindowSettings &) const = default;
};

struct MessageWindowSettings : DebugWindowSettings {
    MessageWindowSettings() : DebugWindowSettings("Messages", "Courier New") {}
    bool operator==(const MessageWindowSettings &) const = default;
};

// The help the program ships in its resources folder ("docs/" beside "Lib.dir"): the user
// guide (Contents; Keystrokes opens "keystrokes.html" beside it), the instruction-set
// reference and the documentation pages.
inline constexpr const char *kDefaultHelpFile = "docs/guide.html";
inline constexpr const char *kDefaultHelpIRFile = "docs/instructions.html";
inline constexpr const char *kDefaultDocumentationUrl = "docs/index.html";
inline constexpr const char *kDefaultKeywordUrl = "docs/language.html";
inline constexpr const char *kDefaultFunctionUrl = "docs/functions/index.html";
inline constexpr const char *kDefaultOperatorUrl = "docs/operators.html";

// The settings object. Groups follow the order in which the settings are described: opening
// policy, debug windows, file locations, communications, project-backed choices, environment and
// personality, print setup, run-time texts, and the switches of the compiler core and the target
// link that the settings load and save.
struct TIdePreferences {
    // ---- which debug windows open when debugging starts (one of the four is set) -------------
    bool open_none = false;
    bool open_last = true;
    bool open_all = false;
    bool open_selected = false;

    // ---- debug windows -------------------------------------------------------------------------
    StdioWindowSettings stdio;
    AssemblyWindowSettings assembly;
    StackWindowSettings stack;
    RegisterWindowSettings registers;
    DumpWindowSettings memory_dump;
    WatchWindowSettings watch;
    TraceWindowSettings trace;
    MessageWindowSettings messages;

    // ---- file locations (relative to the program directory) -----------------------------------
    std::string lib_dir_file = "Lib.dir";            // "DefaultLibDir"
    std::string default_bios = "Vireonbios.c";       // "DefaultBIOS"
    std::string default_project = "Default.kxp";     // "DefaultProject"
    std::string factory_project = "Factory.kxp";     // "FactoryProject"
    std::string project;                             // "Project": opened again at start-up
    std::string cold_loader_file = "bios\\coldload.bin";
    std::string pilot_bios_file = "bios\\pilot.bin";
    std::string flash_info_file = "Flash.ini";       // "Flash Table"
    std::string default_h = "default.h";             // "DefaultH"
    // The help pages staged with the program, relative to the program directory; the load
    // keeps what the store holds (a relative or absolute path, or a web address).
    std::string help_file = kDefaultHelpFile;                  // "HelpFile"
    std::string help_ir_file = kDefaultHelpIRFile;             // "HelpIRFile"
    std::string default_url = kDefaultDocumentationUrl;        // "DefaultURL"
    std::string default_keyword_url = kDefaultKeywordUrl;      // "DefaultKeywordURL"
    std::string default_function_url = kDefaultFunctionUrl;   // "DefaultFunctionURL"
    std::string default_operator_url = kDefaultOperatorUrl;   // "DefaultOperatorURL"

    // ---- communications kept in the settings store ------------------------------------------
    bool tcp_download_only = false;  // "TCP Download Only"
    bool tcp_all_in_one = false;     // "TCP all in one": the flash parameters are always sent
    int32_t port = 1;                // "Port": the serial port a new project file receives
    std::string discovery_address = "255.255.255.255"; // "Discovery Address": where network
                                                         // discovery sends its request

    // ---- project-backed choices (the project file and its dialogs own them) -----------------
    bool warn_all = true;            // warning level as three radio flags
    bool warn_serious = false;
    bool warn_none = false;
    bool function_prototypes = true;
    bool type_demotion = true;
    bool pointer_checks = true;
    bool optimize_size = false;
    bool rtc_indices = true;         // run-time checking of array indices
    bool rtc_pointers = true;        // ... and of pointers
    bool compile_to_target = true;   // default compile mode, one of three
    bool compile_targetless_to_bin = false;
    bool compile_to_bin_with_target = false;
    uint16_t output_mode = 0;        // 0 flash, 1 RAM, 2 flash and then run in RAM
    bool include_bios = true;        // "Include BIOS"
    bool include_rst28 = true;       // "Include RST 28": debug kernel with breakpoint support
    bool restrict_watch_expressions = false;
    bool use_bios_file = false;      // the project's own BIOS file
    bool use_lib_file = false;       // the project's own libraries list file
    bool use_default_source_file = false;
    std::string bios_file_name;      // five names of the project's file list and advanced options
    std::string lib_file_name;
    std::string default_source_file;
    std::string file_name_4;
    std::string file_name_5;
    bool use_tcpip = true;
    bool verify_dsr = true;
    bool disable_baud_negotiation = false;
    bool use_usb_serial = false;
    std::string network_address;
    std::string tcp_name;
    std::string tcp_port;
    std::string serial_port = "COM2";
    std::string serial_port_list = "COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8";
    std::string bios_baud_rate = "115200";
    std::string max_baud_rate = "460800";
    std::string stop_bits = "1";
    std::string serial_timeout = "300";      // response time-outs (ms)
    std::string network_timeout = "8000";
    std::string serial_poll_interval = "3000";  // poll intervals (ms)
    std::string network_poll_interval = "30000";
    std::string serial_retries = "10";
    std::string network_retries = "0";
    std::string comm_text_1;
    std::string comm_text_2;
    bool enable_breakpoints = true;
    bool asm_single_step = true;
    bool enable_watch_expressions = true;
    bool enable_tracing = true;      // "Enable Tracing"
    bool enable_trace_functions = true;
    bool enable_trace_rst = true;
    bool enable_trace_buf_wrap = true;
    bool trace_info_func = true;
    bool trace_info_action = true;
    bool trace_info_time = true;
    bool trace_info_file = true;
    bool trace_info_line_col = true;
    bool trace_info_repeat = true;
    bool trace_info_reg = true;
    bool tracing = false;            // tracing runs on the target (run control sets it)
    bool trace_capture_on_run = false;  // the trace store starts capturing when a run starts
    int32_t max_breakpoints = 32;
    int32_t max_watches = 8;
    int32_t watch_memory = 512;
    int32_t trace_buf_size = 512;    // megabytes ("Trace Buf Size")
    int32_t trace_value = 0;
    std::string trace_auto_save_file;   // "Trace Auto Save File"
    bool enable_trace_auto_save = false;
    bool root_stubs = false;         // xmem functions entered through root stubs
    uint16_t compile_option_word = 0;  // a value of the compile-settings record

    // ---- environment and personality ---------------------------------------------------------
    TColor line_number_color = clBlack;
    TColor line_number_background_color = clWhite;
    bool show_splash_screen = false;
    bool undo_after_save = false;
    std::string distribution;        // the main window's title; the load fills it
    std::string syntax_file_types = "c;lib;h;hh";
    int32_t mru_file_limit = 10;
    bool show_menu_buttons = true;
    int32_t ct_left = 346;           // code-template page layout of the editor options dialog
    int32_t ct_top = 106;
    int32_t ct_name_width = 100;
    int32_t ct_code_panel_height = 123;
    int32_t env_options_pg = 0;      // last page of the Project Options dialog
    int32_t edit_options_pg = 0;     // last page of the editor options dialog
    uint8_t consolidate_buttons = 0;
    int32_t top = 0;                 // main window bounds and state
    int32_t left = 0;
    int32_t height = 100;
    int32_t width = 100;
    TWindowState window_state = TWindowState::Maximized;
    TColor workspace_color = clAppWorkSpace;
    bool grep_directories = true;
    bool grep_sub_directories = false;
    bool grep_case_sensitive = false;
    bool grep_whole_words = false;
    bool show_tips = true;
    bool print_tips = false;
    bool tips_help = false;
    int32_t tips_index = 0;
    bool flash_after_compile = false;
    bool beep_after_compile = false;
    bool detect_outside_changes = true;
    bool confirm_lib_compile = true;
    bool create_backup_file = true;
    bool auto_save = false;

    // ---- print setup (its own load and save; the print font joins with them) ----------------
    // The font source text is printed in. Held by value: until the first print-setup load it is
    // the editor's default font, so a save before any load writes usable values.
    TPrinterFont PrintFont;
    bool PrintLineNumbers = false;
    uint8_t PrintPagePosition = 0;  // 0 or 1: where page numbers go when switched on again

    // ---- run-time texts, never stored --------------------------------------------------------
    std::string open_file_dir;       // last directories of the IDE's file dialogs
    std::string project_dir;
    std::string adv_bios_dir;
    std::string adv_lib_dir;
    std::string adv_source_dir;
    std::string board_file_dir;
    std::string stdio_log_dir;
    std::string trace_save_filter = "Trace (*.trc) | *.trc | All (*.*) | *.*";
    std::string trace_save_dir;      // last folder and file of the trace-file browser
    std::string trace_save_file;

    // ---- switches of the compiler core and the target link -----------------------------------
    bool no_bouncers = true;          // "No Bouncers": xmem calls without root bouncers
    bool string_literal_optimization = true;  // equal literals share one pool entry
    bool storage_class_warning = false;       // warning 561 for locals in libraries
    bool zero_pad_bin_file = true;    // "bin" files keep the image's offsets
    bool include_time_stamp = true;   // else the compile's time stamp is 0xFFFFFFFF
    bool tc_logging = false;          // "Enable TC Logging": the communication trace
    bool tc_log_verbose = false;
    bool tc_log_non_packet_writes = false;
    bool tc_log_non_packet_reads = true;
    bool tc_log_packet_data = true;

    // ---- source extensions (without the dot) --------------------------------------------------
    std::set<std::string> SourceExtensions;

    bool operator==(const TIdePreferences &) const = default;
};

// The one settings object.
TIdePreferences &IdePreferences();

// Every field back to its default (tests; the program never recreates the object).
void reset_preferences_to_defaults();

// The eight debug-window blocks in the editor options dialog's order: stdio, assembly, stack,
// registers, memory dump, watch, trace, messages.
std::array<DebugWindowSettings *, 8> debug_window_blocks(TIdePreferences &prefs);

// Replaces SourceExtensions from a ';'-separated list. An empty piece before a ';' is kept
// ("c;;h" gives {"", "c", "h"}); an empty remainder after the last ';' is not ("c;h;" gives
// {"c", "h"}); the empty text gives the empty set.
void SetSourceExtensions(const std::string &list);
