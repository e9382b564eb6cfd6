// guiEnvironment: the typed registry operations, the version key, and the load and save of the
// whole settings tree. Called by the IDE's start-up (load) and by the main window's accepted
// close (save); the other loaders (print setup, histories, toolbars, dock states) use the typed
// operations on keys of their own.
#include "guiEnvironment.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <utility>

#include "BoundedFormat.h"
#include "driver/CC_GO.h"
#include "driver/CC_INIT.h"
#include "driver/CC_VER.h"
#include "core/guiInterface.h"
#include "RegistryValueIo.h"

std::string SettingsVersionKey;

namespace {

std::string g_registry_path;
TSettingsWindowHost *g_window_host = nullptr;

void show_error(const std::string &text) { ShowAppMessageBox(text, "Error", kMbOk | kMbIconError); }

} // namespace

// ---- keys --------------------------------------------------------------------------------------

std::optional<std::string> set_settings_version_key(const std::string &c_text)
{
    auto format = [](const std::string &suffix) {
        return bounded_format("%d.%d%d%s%s\\", static_cast<int>(version_major()),
                              static_cast<int>(version_minor()),
                              static_cast<int>(version_revision()), version_build(),
                              suffix.c_str());
    };
    SettingsVersionKey = format("");
    if (c_text.empty())
        return std::nullopt;
    const bool separator_or_control =
        std::any_of(c_text.begin(), c_text.end(), [](char ch) {
            const auto c = static_cast<unsigned char>(ch);
            return c == '\\' || c == '/' || c < 0x20 || c == 0x7F;
        });
    if (separator_or_control)
        return "The settings name after -c may not hold a separator: the plain settings key is "
               "used.";
    if (SettingsVersionKey.size() + c_text.size() > kSettingsKeyBuffer - 1)
        return "The settings name after -c is longer than " +
               std::to_string(kSettingsKeyBuffer - 1 - SettingsVersionKey.size()) +
               " characters: the plain settings key is used.";
    SettingsVersionKey = format(c_text);
    return std::nullopt;
}

std::string settings_key(const std::string &section)
{
    return std::string(kSettingsBasePath) + SettingsVersionKey + section;
}

// ---- the store ---------------------------------------------------------------------------------

void set_settings_registry_path(const std::string &path) { g_registry_path = path; }

std::string settings_registry_path()
{
    return g_registry_path.empty() ? default_registry_path() : g_registry_path;
}

void report_settings_damage(TKXRegistry &reg)
{
    const std::optional<RegistryStore::Damage> damage = reg.take_damage();
    if (!damage)
        return;
    std::string text = "The settings file " + damage->file + " could not be read (" +
                       damage->reason + ")";
    if (!damage->kept_as.empty())
        text += "; it was kept as " + damage->kept_as;
    show_error(text + ". The settings start from their defaults.");
}

bool TKXRegistry::save()
{
    const bool ok = flush();
    report_settings_damage(*this);
    if (!ok && !failure_shown && first_write) {
        failure_shown = true;
        show_error(*first_write);
    }
    if (ok)
        first_write.reset();
    return ok;
}

// ---- typed operations --------------------------------------------------------------------------

namespace {

// Notes the first value written since the last flush, and reports a write that failed at once.
void wrote(TKXRegistry &reg, bool ok, const std::string &message)
{
    if (!reg.first_write)
        reg.first_write = message;
    if (ok || reg.failure_shown)
        return;
    reg.failure_shown = true;
    show_error(message);
}

} // namespace

void WriteRegString(TKXRegistry &reg, const std::string &name, const std::string &text)
{
    const bool ok = reg.write_string(name, text);
    wrote(reg, ok, bounded_format("Could not write %s to %s", text.c_str(), name.c_str()));
}

void WriteRegInteger(TKXRegistry &reg, const std::string &name, int32_t value)
{
    const bool ok = reg.write_integer(name, value);
    wrote(reg, ok, bounded_format("Could not write %d to %s", value, name.c_str()));
}

void WriteRegFloat(TKXRegistry &reg, const std::string &name, double value)
{
    const bool ok = reg.write_float(name, value);
    // The bounded formatting writes no floating-point text: the number is formatted here.
    char number[64];
    std::snprintf(number, sizeof number, "%lf", value);
    wrote(reg, ok, bounded_format("Could not write %s to %s", number, name.c_str()));
}

void WriteRegBool(TKXRegistry &reg, const std::string &name, bool value)
{
    const bool ok = reg.write_bool(name, value);
    wrote(reg, ok, bounded_format("Could not write %d to %s", value ? 1 : 0, name.c_str()));
}

void WriteRegBinary(TKXRegistry &reg, const std::string &name, const void *buffer,
                    std::size_t size)
{
    if (!reg.write_binary(name, buffer, size))
        return;
    if (!reg.first_write)
        reg.first_write = "Could not write " + std::to_string(size) + " bytes to " + name;
}

std::string ReadRegString(TKXRegistry &reg, const std::string &name, const std::string &def)
{
    const std::optional<std::string> text = reg.read_string(name);
    return text && !text->empty() ? *text : def;
}

int32_t ReadRegInteger(TKXRegistry &reg, const std::string &name, int32_t def)
{
    return reg.read_integer(name).value_or(def);
}

double ReadRegFloat(TKXRegistry &reg, const std::string &name, double def)
{
    return reg.read_float(name).value_or(def);
}

bool ReadRegBool(TKXRegistry &reg, const std::string &name, bool def)
{
    return reg.read_bool(name).value_or(def);
}

void ReadRegBinary(TKXRegistry &reg, const std::string &name, void *buffer, std::size_t size)
{
    const std::optional<std::vector<uint8_t>> data = reg.read_binary(name);
    if (data && data->size() == size && size > 0)
        std::memcpy(buffer, data->data(), size);
}

// ---- the font record ---------------------------------------------------------------------------

namespace {

void put32(uint8_t *at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get32(const uint8_t *at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

std::array<uint8_t, kFontRecordBytes> font_bytes(const TFontProperties &font)
{
    std::array<uint8_t, kFontRecordBytes> b{};
    put32(&b[0], font.colour);
    put32(&b[4], static_cast<uint32_t>(font.height));
    b[8] = font.pitch;
    put32(&b[12], static_cast<uint32_t>(font.size));
    b[16] = font.bold ? 1 : 0;
    b[17] = font.italic ? 1 : 0;
    b[18] = font.underline ? 1 : 0;
    b[19] = font.strikeout ? 1 : 0;
    return b;
}

void font_from_bytes(TFontProperties &font, const std::array<uint8_t, kFontRecordBytes> &b)
{
    font.colour = get32(&b[0]);
    font.height = static_cast<int32_t>(get32(&b[4]));
    font.pitch = b[8];
    font.size = static_cast<int32_t>(get32(&b[12]));
    font.bold = b[16] != 0;
    font.italic = b[17] != 0;
    font.underline = b[18] != 0;
    font.strikeout = b[19] != 0;
}

} // namespace

void SaveFontValues(TKXRegistry &reg, TFontProperties font)
{
    WriteRegString(reg, "Font Name", font.name);
    const std::array<uint8_t, kFontRecordBytes> bytes = font_bytes(font);
    WriteRegBinary(reg, "Font", bytes.data(), bytes.size());
}

void LoadFontValues(TKXRegistry &reg, TFontProperties &font)
{
    std::array<uint8_t, kFontRecordBytes> bytes = font_bytes(font);
    font.name = ReadRegString(reg, "Font Name", font.name);
    ReadRegBinary(reg, "Font", bytes.data(), bytes.size());
    font_from_bytes(font, bytes);
}

// ---- the window host ---------------------------------------------------------------------------

void set_settings_window_host(TSettingsWindowHost *host) { g_window_host = host; }
TSettingsWindowHost *settings_window_host() { return g_window_host; }

// ---- help locations ----------------------------------------------------------------------------

bool is_web_address(const std::string &text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon < 2)
        return false;
    if (!std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon),
                       [](char ch) {
                           const auto c = static_cast<unsigned char>(ch);
                           return std::isalnum(c) || c == '+' || c == '-' || c == '.';
                       });
}

std::string help_location_path(const std::string &location)
{
    if (location.empty() || is_web_address(location))
        return location;
    std::string path = location;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.front() == '/')
        return path;
    std::string dir = program_directory();
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir + path;
}

std::string help_location_or_default(const std::string &stored, const std::string &def)
{
    // The pages of earlier versions, which this one does not ship.
    static constexpr const char *kFormerPages[] = {
        "kxw.hlp", "kx_asm.chm", "docs\\default.htm", "docs\\kx\\9keyword.htm",
        "docs\\kx\\11functn.htm", "docs\\kx\\10operat.htm",
    };
    if (stored.empty() || is_web_address(stored))
        return stored;
    std::error_code ec;
    const std::string path = help_location_path(stored);
    if (std::filesystem::exists(path, ec))
        return stored;
    const bool absolute = stored.front() == '/';
    const bool former = std::find(std::begin(kFormerPages), std::end(kFormerPages), stored) !=
                        std::end(kFormerPages);
    return absolute || former ? def : stored;
}

// ---- the tree ----------------------------------------------------------------------------------

namespace {

// One direction of the tree: the same walk reads every value into its field or writes it from
// the field, so a key whose load and save orders agree is written down once.
class SettingsIo : public RegistryValueIo {
public:
    using RegistryValueIo::RegistryValueIo;

    void open(const std::string &section)
    {
        // A missing key is created; the outcome of the open is not used: reads of a key that
        // could not be opened give their defaults, writes report.
        (void)m_reg.open_key(settings_key(section), true);
    }
    void colour(const char *name, TColor &field)
    {
        int32_t value = static_cast<int32_t>(field);
        integer(name, value);
        field = static_cast<TColor>(value);
    }
    void font(TFontProperties &field)
    {
        if (m_saving)
            SaveFontValues(m_reg, field);
        else
            LoadFontValues(m_reg, field);
    }
    // Values that only the load reads.
    void load_boolean(const char *name, bool &field)
    {
        if (!m_saving)
            boolean(name, field);
    }
    void load_integer(const char *name, int32_t &field)
    {
        if (!m_saving)
            integer(name, field);
    }
    void load_text(const char *name, std::string &field)
    {
        if (!m_saving)
            text(name, field);
    }
    // Values whose load default is another than the field's own.
    void boolean_defaulting(const char *name, bool &field, bool def)
    {
        if (m_saving)
            WriteRegBool(m_reg, name, field);
        else
            field = ReadRegBool(m_reg, name, def);
    }
    void text_defaulting(const char *name, std::string &field, const std::string &def)
    {
        if (m_saving)
            WriteRegString(m_reg, name, field);
        else
            field = ReadRegString(m_reg, name, def);
    }
};

// The common head of a window's key. The load reads the font first; the save writes it after
// "Show" (or after "Background Color" where the key has no "Show").
void window_head(SettingsIo &io, DebugWindowSettings &w, bool with_show)
{
    if (!io.saving())
        io.font(w.font);
    io.text("Window Name", w.window_name);
    io.colour("Background Color", w.background_colour);
    if (with_show)
        io.boolean("Show", w.show);
    if (io.saving())
        io.font(w.font);
}

void window_tail(SettingsIo &io, DebugWindowSettings &w)
{
    io.boolean("Dockable", w.dockable);
    io.boolean("Child", w.child);
}

// A stored count outside 1..largest takes its default.
void limit(int32_t &value, int32_t largest, int32_t def)
{
    if (value < 1 || value > largest)
        value = def;
}

void stdio_window(SettingsIo &io, StdioWindowSettings &w)
{
    io.open(std::string(kSectionDebugWindows) + "Stdio Window");
    window_head(io, w, true);
    io.boolean("Log Stdio", w.log_stdio);
    io.text("Log File", w.log_file);
    io.boolean("Append", w.append);
    io.boolean("Horizontal Scroll", w.horizontal_scroll);
    io.boolean("Vertical Scroll", w.vertical_scroll);
    io.boolean("Auto Open", w.auto_open);
    io.integer("Columns", w.columns);
    io.integer("Rows", w.rows);
    io.integer("Spaces In Tab", w.spaces_in_tab);
    window_tail(io, w);
    io.close();
    // The console sizes its buffer from these; the options dialog allows no more.
    const StdioWindowSettings defaults;
    limit(w.columns, StdioWindowSettings::kMaxColumns, defaults.columns);
    limit(w.rows, StdioWindowSettings::kMaxRows, defaults.rows);
    if (w.spaces_in_tab < 1)
        w.spaces_in_tab = defaults.spaces_in_tab;
}

void assembly_window(SettingsIo &io, AssemblyWindowSettings &w)
{
    io.open(std::string(kSectionDebugWindows) + "Assembly Window");
    window_head(io, w, true);
    io.boolean("Show Address", w.show_address);
    io.boolean("Show Machine", w.show_machine);
    io.boolean("Show Assembly", w.show_assembly);
    io.boolean("Show Cycles", w.show_cycles);
    io.boolean("Sum Cycles", w.sum_cycles);
    io.boolean("Show Source", w.show_source);
    io.boolean("Show File Name in Source", w.show_file_name_in_source);
    io.boolean("Syntax Highlight", w.syntax_highlight);
    window_tail(io, w);
    io.close();
}

void stack_window(SettingsIo &io, StackWindowSettings &w)
{
    io.open(std::string(kSectionDebugWindows) + "Stack Window");
    window_head(io, w, true);
    window_tail(io, w);
    io.close();
}

void trace_window(SettingsIo &io, TraceWindowSettings &w)
{
    io.open(std::string(kSectionDebugWindows) + "Trace Window");
    window_head(io, w, true);
    window_tail(io, w);
    io.boolean("AutoScroll", w.auto_scroll);
    io.boolean("FullPath", w.full_path);
    io.integer("HC Action Width", w.hc_action_width);
    io.integer("HC Func Width", w.hc_func_width);
    io.integer("HC File Width", w.hc_file_width);
    io.integer("HC RowCol Width", w.hc_rowcol_width);
    io.integer("HC Time Width", w.hc_time_width);
    io.integer("HC Repeat Width", w.hc_repeat_width);
    io.close();
}

void register_window(SettingsIo &io, RegisterWindowSettings &w)
{
    io.open(std::string(kSectionDebugWindows) + "Register Window");
    window_head(io, w, true);
    if (io.saving()) {
        io.boolean("Show Editable", w.show_editable);
        io.boolean("Show History", w.show_history);
        io.integer("Float Main Width", w.float_main_width);
        io.integer("Child Main Width", w.child_main_width);
    } else {
        io.integer("Float Main Width", w.float_main_width);
        io.integer("Child Main Width", w.child_main_width);
        io.boolean("Show Editable", w.show_editable);
        io.boolean("Show History", w.show_history);
    }
    window_tail(io, w);
    io.close();
}

// The dump window's "Show" is never stored.
void dump_window(SettingsIo &io, DumpWindowSettings &w)
{
    io.open(std::string(kSectionDebugWindows) + "Dump Window");
    window_head(io, w, false);
    io.text("Dump File", w.dump_file);
    io.boolean("Data Space", w.data_space);
    io.boolean("Save Flash", w.save_flash);
    io.boolean("Save To File", w.save_to_file);
    io.boolean("Apply to All", w.apply_to_all);
    io.boolean("Allow Updates", w.allow_updates);
    io.load_boolean("Enable Diffs", w.enable_diffs);
    io.load_integer("Format", w.format);
    window_tail(io, w);
    io.close();
}

void watch_window(SettingsIo &io, WatchWindowSettings &w)
{
    io.open(std::string(kSectionDebugWindows) + "Watch Window");
    if (io.saving()) {
        io.text("Window Name", w.window_name);
        io.colour("Background Color", w.background_colour);
        io.boolean("Show", w.show);
        io.boolean("Watches in Flyover", w.watches_in_flyover);
        io.boolean("Errors in Flyover", w.errors_in_flyover);
        io.font(w.font);
    } else {
        io.font(w.font);
        io.text("Window Name", w.window_name);
        io.colour("Background Color", w.background_colour);
        io.boolean("Watches in Flyover", w.watches_in_flyover);
        io.boolean("Errors in Flyover", w.errors_in_flyover);
        io.boolean("Show", w.show);
    }
    window_tail(io, w);
    io.close();
}

// The save writes only "Dockable" and "Child" of the message window; the rest comes back only
// when something else stored it.
void message_window(SettingsIo &io, MessageWindowSettings &w)
{
    io.open(std::string(kSectionDebugWindows) + "Message Window");
    if (!io.saving())
        window_head(io, w, true);
    window_tail(io, w);
    io.close();
}

void debug_windows(SettingsIo &io, TIdePreferences &p)
{
    io.open(kSectionDebugWindows);
    io.boolean("None", p.open_none);
    io.boolean("Last", p.open_last);
    io.boolean("All", p.open_all);
    io.boolean("Selected", p.open_selected);
    io.close();
    stdio_window(io, p.stdio);
    assembly_window(io, p.assembly);
    stack_window(io, p.stack);
    trace_window(io, p.trace);
    register_window(io, p.registers);
    dump_window(io, p.memory_dump);
    watch_window(io, p.watch);
    message_window(io, p.messages);
}

// The five trace switches load with their fixed defaults, whatever the switches hold now.
void communications(SettingsIo &io, TIdePreferences &p)
{
    io.open(kSectionCommunications);
    io.boolean("TCP Download Only", p.tcp_download_only);
    io.boolean("TCP all in one", p.tcp_all_in_one);
    io.load_integer("Port", p.port);
    io.text("Discovery Address", p.discovery_address);
    io.boolean_defaulting("Enable TC Logging", p.tc_logging, false);
    io.boolean_defaulting("Log Verbose", p.tc_log_verbose, false);
    io.boolean_defaulting("Log Non-packet Writes", p.tc_log_non_packet_writes, false);
    io.boolean_defaulting("Log Non-packet Reads", p.tc_log_non_packet_reads, true);
    io.boolean_defaulting("Log Packet Data", p.tc_log_packet_data, true);
    io.close();
}

// The prototype table is sized from this value: a stored value outside 1..32767 (what a 16-bit
// signed limit can hold) takes the default instead of an empty or a huge table.
void compiler(SettingsIo &io, TIdePreferences &p)
{
    io.open(kSectionCompiler);
    io.text("DefaultLibDir", p.lib_dir_file);
    io.load_text("DefaultBIOS", p.default_bios);
    io.text("DefaultProject", p.default_project);
    io.text("FactoryProject", p.factory_project);
    io.text("Project", p.project);
    io.boolean("No Bouncers", p.no_bouncers);
    io.boolean("String Literal Optimization", p.string_literal_optimization);
    io.boolean("Storage Class Warning", p.storage_class_warning);
    io.boolean("Zero Pad Bin File", p.zero_pad_bin_file);
    io.boolean("Include Time Stamp", p.include_time_stamp);
    int32_t prototypes = static_cast<int32_t>(prototype_table_size());
    io.integer("Function Prototype Table Size", prototypes);
    io.close();
    if (prototypes < 1 || prototypes > 32767)
        prototypes = static_cast<int32_t>(kDefaultPrototypeTableSize);
    set_prototype_table_size(static_cast<uint32_t>(prototypes));
}

void environment(SettingsIo &io, TIdePreferences &p)
{
    io.open(kSectionEnvironment);
    io.colour("Line Number Color", p.line_number_color);
    io.colour("Line Number Background Color", p.line_number_background_color);
    io.close();
}

// A help location: kept as stored (relative paths stay relative, so the settings follow the
// program when it moves); an empty, stale or former one loads the default.
void help_location(SettingsIo &io, const char *name, std::string &field, const char *def)
{
    io.text_defaulting(name, field, def);
    if (!io.saving())
        field = help_location_or_default(field, def);
}

// The tip-of-the-day values: before "Flash After Compile" in the load, after "Auto save" in the
// save.
void tips(SettingsIo &io, TIdePreferences &p)
{
    io.boolean("Show Tips", p.show_tips);
    io.boolean("Print Tips", p.print_tips);
    io.boolean("Tips Help", p.tips_help);
    io.integer("Tips Index", p.tips_index);
}

// "Personality". Load and save orders differ where the branches say. The menu buttons, the
// consolidate switch and the two dialog folders are written from the main window (the host);
// "Distribution" loads with a default built here, the help locations with theirs.
void personality(SettingsIo &io, TIdePreferences &p, TSettingsWindowHost &host)
{
    io.open(kSectionPersonality);
    io.load_text("Flash Table", p.flash_info_file);
    io.boolean("Show Splash Screen", p.show_splash_screen);
    io.boolean("Undo After Save", p.undo_after_save);
    if (io.saving()) {
        std::string open_dir = host.OpenDialogInitDir(), save_dir = host.SaveDialogInitDir();
        io.text("Open InitDir", open_dir);
        io.text("Save InitDir", save_dir);
    }
    std::string key = SettingsVersionKey;
    if (!key.empty() && key.back() == '\\')
        key.pop_back();
    io.text_defaulting("Distribution", p.distribution, "Korvex Dist. " + key);
    io.text("DefaultH", p.default_h);
    help_location(io, "HelpFile", p.help_file, kDefaultHelpFile);
    help_location(io, "HelpIRFile", p.help_ir_file, kDefaultHelpIRFile);
    help_location(io, "DefaultURL", p.default_url, kDefaultDocumentationUrl);
    if (!io.saving()) {
        io.integer("MRU File Limit", p.mru_file_limit);
        p.mru_file_limit = std::max(1, std::min(30, p.mru_file_limit));
    }
    help_location(io, "DefaultKeywordURL", p.default_keyword_url, kDefaultKeywordUrl);
    help_location(io, "DefaultFunctionURL", p.default_function_url, kDefaultFunctionUrl);
    help_location(io, "DefaultOperatorURL", p.default_operator_url, kDefaultOperatorUrl);
    if (io.saving()) {
        bool visible = host.MenuButtonsVisible();
        io.boolean("Show Menu Buttons", visible);
        io.integer("MRU File Limit", p.mru_file_limit);
    } else {
        io.boolean("Show Menu Buttons", p.show_menu_buttons);
    }
    io.integer("CT Left", p.ct_left);
    io.integer("CT Top", p.ct_top);
    io.integer("CT Name Width", p.ct_name_width);
    io.integer("CT Code Panel Height", p.ct_code_panel_height);
    io.integer("EnvOptionsPg", p.env_options_pg);
    io.integer("EditOptionsPg", p.edit_options_pg);
    // Read into a one-byte flag: its low byte.
    int32_t consolidate = io.saving() ? (host.ConsolidateChecked() ? 1 : 0) : p.consolidate_buttons;
    io.integer("Consolidate Buttons", consolidate);
    if (!io.saving())
        p.consolidate_buttons = static_cast<uint8_t>(consolidate);
    io.integer("Top", p.top);
    io.integer("Left", p.left);
    io.integer("Height", p.height);
    io.integer("Width", p.width);
    // 0 normal, 1 minimized, anything else maximized (written as 2).
    int32_t state = static_cast<int32_t>(p.window_state);
    io.integer("Window State", state);
    p.window_state = state == 0 ? TWindowState::Normal
                     : state == 1 ? TWindowState::Minimized
                                  : TWindowState::Maximized;
    io.colour("Workspace Color", p.workspace_color);
    io.boolean("GrepDirectories", p.grep_directories);
    io.boolean("GrepSubDirectories", p.grep_sub_directories);
    io.boolean("GrepCaseSensitive", p.grep_case_sensitive);
    io.boolean("GrepWholeWords", p.grep_whole_words);
    if (!io.saving())
        tips(io, p);
    io.boolean("Flash After Compile", p.flash_after_compile);
    io.boolean("Beep After Compile", p.beep_after_compile);
    io.boolean("Detect Outside Changes", p.detect_outside_changes);
    io.boolean("Confirm Lib Compile", p.confirm_lib_compile);
    io.boolean("Create Backup File", p.create_backup_file);
    io.boolean("Auto save", p.auto_save);
    if (io.saving())
        tips(io, p);
    io.text("Syntax File Types", p.syntax_file_types);
    io.close();
}

// Load and save visit the sections in one order.
void walk_sections(SettingsIo &io, TIdePreferences &p, TSettingsWindowHost &host)
{
    debug_windows(io, p);
    communications(io, p);
    compiler(io, p);
    environment(io, p);
    personality(io, p, host);
}

bool refuse_without_host()
{
    if (g_window_host)
        return false;
    show_error("The main window is not part of this build.");
    return true;
}

} // namespace

void LoadEnvironment()
{
    if (refuse_without_host())
        return;
    TKXRegistry reg;
    report_settings_damage(reg);
    TIdePreferences &p = IdePreferences();
    SettingsIo io(reg, false);
    walk_sections(io, p, *g_window_host);
    // The keys the load created: written quietly, the save reports what cannot be written.
    (void)reg.flush();
    g_window_host->AdjustEditorOptions();
}

void SaveEnvironment()
{
    if (refuse_without_host())
        return;
    TKXRegistry reg;
    report_settings_damage(reg);
    TIdePreferences &p = IdePreferences();
    SettingsIo io(reg, true);
    walk_sections(io, p, *g_window_host);
    (void)reg.save();
}

void LoadSettingsAtStartUp(const std::string &program_dir, const std::string &c_text)
{
    if (const std::optional<std::string> refused = set_settings_version_key(c_text))
        show_error(*refused);
    set_program_directory(program_dir);
    LoadEnvironment();
    SetSourceExtensions(IdePreferences().syntax_file_types);
}
