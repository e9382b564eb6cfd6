// Loading and saving all settings: one table over the whole tree (names, types, save order,
// fields), the defaults of an empty store, the version key, clamps, wrong types, the font
// record, failed writes, damaged files and the window host.
#include "settings/guiEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver/CC_INIT.h"
#include "SettingsDoubles.h"

namespace fs = std::filesystem;

namespace {

// ---- the tree as a table -------------------------------------------------------------------

enum class Kind : uint8_t { Bool, Int, Colour, Text, Font, Byte, State, Prototypes };
// Both: read and written. Load: only read. Host: written from the window host, read into the
// field. HostOnly: written from the window host, never read.
enum class Dir : uint8_t { Both, Load, Host, HostOnly };

struct TreeRow {
    const char *key;   // section, below the version key
    const char *name;  // for a font: the pair "Font Name", "Font"
    Kind kind;
    Dir dir;
    void *(*field)(TIdePreferences &);
    int32_t value;     // the test's value for integers and colours
};

// The field a row stands for.
#define F(member) [](TIdePreferences &p) -> void * { return &p.member; }

constexpr const char *kStdio = "Debug Windows\\Stdio Window";
constexpr const char *kAsm = "Debug Windows\\Assembly Window";
constexpr const char *kStack = "Debug Windows\\Stack Window";
constexpr const char *kTrace = "Debug Windows\\Trace Window";
constexpr const char *kRegs = "Debug Windows\\Register Window";
constexpr const char *kDump = "Debug Windows\\Dump Window";
constexpr const char *kWatch = "Debug Windows\\Watch Window";
constexpr const char *kMsg = "Debug Windows\\Message Window";
constexpr const char *kComm = "Communications";
constexpr const char *kComp = "Compiler";
constexpr const char *kEnv = "Environment";
constexpr const char *kPers = "Personality";

// Every value of the tree; within a key the written values in save order.
const TreeRow kTree[] = {
    {"Debug Windows\\", "None", Kind::Bool, Dir::Both, F(open_none), 0},
    {"Debug Windows\\", "Last", Kind::Bool, Dir::Both, F(open_last), 0},
    {"Debug Windows\\", "All", Kind::Bool, Dir::Both, F(open_all), 0},
    {"Debug Windows\\", "Selected", Kind::Bool, Dir::Both, F(open_selected), 0},

    {kStdio, "Window Name", Kind::Text, Dir::Both, F(stdio.window_name), 0},
    {kStdio, "Background Color", Kind::Colour, Dir::Both, F(stdio.background_colour), 0x102030},
    {kStdio, "Show", Kind::Bool, Dir::Both, F(stdio.show), 0},
    {kStdio, "Font", Kind::Font, Dir::Both, F(stdio.font), 1},
    {kStdio, "Log Stdio", Kind::Bool, Dir::Both, F(stdio.log_stdio), 0},
    {kStdio, "Log File", Kind::Text, Dir::Both, F(stdio.log_file), 0},
    {kStdio, "Append", Kind::Bool, Dir::Both, F(stdio.append), 0},
    {kStdio, "Horizontal Scroll", Kind::Bool, Dir::Both, F(stdio.horizontal_scroll), 0},
    {kStdio, "Vertical Scroll", Kind::Bool, Dir::Both, F(stdio.vertical_scroll), 0},
    {kStdio, "Auto Open", Kind::Bool, Dir::Both, F(stdio.auto_open), 0},
    {kStdio, "Columns", Kind::Int, Dir::Both, F(stdio.columns), 132},
    {kStdio, "Rows", Kind::Int, Dir::Both, F(stdio.rows), 500},
    {kStdio, "Spaces In Tab", Kind::Int, Dir::Both, F(stdio.spaces_in_tab), 4},
    {kStdio, "Dockable", Kind::Bool, Dir::Both, F(stdio.dockable), 0},
    {kStdio, "Child", Kind::Bool, Dir::Both, F(stdio.child), 0},

    {kAsm, "Window Name", Kind::Text, Dir::Both, F(assembly.window_name), 0},
    {kAsm, "Background Color", Kind::Colour, Dir::Both, F(assembly.background_colour), 0x203040},
    {kAsm, "Show", Kind::Bool, Dir::Both, F(assembly.show), 0},
    {kAsm, "Font", Kind::Font, Dir::Both, F(assembly.font), 2},
    {kAsm, "Show Address", Kind::Bool, Dir::Both, F(assembly.show_address), 0},
    {kAsm, "Show Machine", Kind::Bool, Dir::Both, F(assembly.show_machine), 0},
    {kAsm, "Show Assembly", Kind::Bool, Dir::Both, F(assembly.show_assembly), 0},
    {kAsm, "Show Cycles", Kind::Bool, Dir::Both, F(assembly.show_cycles), 0},
    {kAsm, "Sum Cycles", Kind::Bool, Dir::Both, F(assembly.sum_cycles), 0},
    {kAsm, "Show Source", Kind::Bool, Dir::Both, F(assembly.show_source), 0},
    {kAsm, "Show File Name in Source", Kind::Bool, Dir::Both,
     F(assembly.show_file_name_in_source), 0},
    {kAsm, "Syntax Highlight", Kind::Bool, Dir::Both, F(assembly.syntax_highlight), 0},
    {kAsm, "Dockable", Kind::Bool, Dir::Both, F(assembly.dockable), 0},
    {kAsm, "Child", Kind::Bool, Dir::Both, F(assembly.child), 0},

    {kStack, "Window Name", Kind::Text, Dir::Both, F(stack.window_name), 0},
    {kStack, "Background Color", Kind::Colour, Dir::Both, F(stack.background_colour), 0x304050},
    {kStack, "Show", Kind::Bool, Dir::Both, F(stack.show), 0},
    {kStack, "Font", Kind::Font, Dir::Both, F(stack.font), 3},
    {kStack, "Dockable", Kind::Bool, Dir::Both, F(stack.dockable), 0},
    {kStack, "Child", Kind::Bool, Dir::Both, F(stack.child), 0},

    {kTrace, "Window Name", Kind::Text, Dir::Both, F(trace.window_name), 0},
    {kTrace, "Background Color", Kind::Colour, Dir::Both, F(trace.background_colour), 0x405060},
    {kTrace, "Show", Kind::Bool, Dir::Both, F(trace.show), 0},
    {kTrace, "Font", Kind::Font, Dir::Both, F(trace.font), 4},
    {kTrace, "Dockable", Kind::Bool, Dir::Both, F(trace.dockable), 0},
    {kTrace, "Child", Kind::Bool, Dir::Both, F(trace.child), 0},
    {kTrace, "AutoScroll", Kind::Bool, Dir::Both, F(trace.auto_scroll), 0},
    {kTrace, "FullPath", Kind::Bool, Dir::Both, F(trace.full_path), 0},
    {kTrace, "HC Action Width", Kind::Int, Dir::Both, F(trace.hc_action_width), 11},
    {kTrace, "HC Func Width", Kind::Int, Dir::Both, F(trace.hc_func_width), 12},
    {kTrace, "HC File Width", Kind::Int, Dir::Both, F(trace.hc_file_width), 13},
    {kTrace, "HC RowCol Width", Kind::Int, Dir::Both, F(trace.hc_rowcol_width), 14},
    {kTrace, "HC Time Width", Kind::Int, Dir::Both, F(trace.hc_time_width), 15},
    {kTrace, "HC Repeat Width", Kind::Int, Dir::Both, F(trace.hc_repeat_width), 16},

    {kRegs, "Window Name", Kind::Text, Dir::Both, F(registers.window_name), 0},
    {kRegs, "Background Color", Kind::Colour, Dir::Both, F(registers.background_colour), 0x5060},
    {kRegs, "Show", Kind::Bool, Dir::Both, F(registers.show), 0},
    {kRegs, "Font", Kind::Font, Dir::Both, F(registers.font), 5},
    {kRegs, "Show Editable", Kind::Bool, Dir::Both, F(registers.show_editable), 0},
    {kRegs, "Show History", Kind::Bool, Dir::Both, F(registers.show_history), 0},
    {kRegs, "Float Main Width", Kind::Int, Dir::Both, F(registers.float_main_width), 201},
    {kRegs, "Child Main Width", Kind::Int, Dir::Both, F(registers.child_main_width), 202},
    {kRegs, "Dockable", Kind::Bool, Dir::Both, F(registers.dockable), 0},
    {kRegs, "Child", Kind::Bool, Dir::Both, F(registers.child), 0},

    {kDump, "Window Name", Kind::Text, Dir::Both, F(memory_dump.window_name), 0},
    {kDump, "Background Color", Kind::Colour, Dir::Both, F(memory_dump.background_colour), 0x60},
    {kDump, "Font", Kind::Font, Dir::Both, F(memory_dump.font), 6},
    {kDump, "Dump File", Kind::Text, Dir::Both, F(memory_dump.dump_file), 0},
    {kDump, "Data Space", Kind::Bool, Dir::Both, F(memory_dump.data_space), 0},
    {kDump, "Save Flash", Kind::Bool, Dir::Both, F(memory_dump.save_flash), 0},
    {kDump, "Save To File", Kind::Bool, Dir::Both, F(memory_dump.save_to_file), 0},
    {kDump, "Apply to All", Kind::Bool, Dir::Both, F(memory_dump.apply_to_all), 0},
    {kDump, "Allow Updates", Kind::Bool, Dir::Both, F(memory_dump.allow_updates), 0},
    {kDump, "Dockable", Kind::Bool, Dir::Both, F(memory_dump.dockable), 0},
    {kDump, "Child", Kind::Bool, Dir::Both, F(memory_dump.child), 0},
    {kDump, "Enable Diffs", Kind::Bool, Dir::Load, F(memory_dump.enable_diffs), 0},
    {kDump, "Format", Kind::Int, Dir::Load, F(memory_dump.format), 2},

    {kWatch, "Window Name", Kind::Text, Dir::Both, F(watch.window_name), 0},
    {kWatch, "Background Color", Kind::Colour, Dir::Both, F(watch.background_colour), 0x7080},
    {kWatch, "Show", Kind::Bool, Dir::Both, F(watch.show), 0},
    {kWatch, "Watches in Flyover", Kind::Bool, Dir::Both, F(watch.watches_in_flyover), 0},
    {kWatch, "Errors in Flyover", Kind::Bool, Dir::Both, F(watch.errors_in_flyover), 0},
    {kWatch, "Font", Kind::Font, Dir::Both, F(watch.font), 7},
    {kWatch, "Dockable", Kind::Bool, Dir::Both, F(watch.dockable), 0},
    {kWatch, "Child", Kind::Bool, Dir::Both, F(watch.child), 0},

    {kMsg, "Dockable", Kind::Bool, Dir::Both, F(messages.dockable), 0},
    {kMsg, "Child", Kind::Bool, Dir::Both, F(messages.child), 0},
    {kMsg, "Font", Kind::Font, Dir::Load, F(messages.font), 8},
    {kMsg, "Window Name", Kind::Text, Dir::Load, F(messages.window_name), 0},
    {kMsg, "Background Color", Kind::Colour, Dir::Load, F(messages.background_colour), 0x8090},
    {kMsg, "Show", Kind::Bool, Dir::Load, F(messages.show), 0},

    {kComm, "TCP Download Only", Kind::Bool, Dir::Both, F(tcp_download_only), 0},
    {kComm, "TCP all in one", Kind::Bool, Dir::Both, F(tcp_all_in_one), 0},
    {kComm, "Port", Kind::Int, Dir::Load, F(port), 3},
    {kComm, "Discovery Address", Kind::Text, Dir::Both, F(discovery_address), 0},
    {kComm, "Enable TC Logging", Kind::Bool, Dir::Both, F(tc_logging), 0},
    {kComm, "Log Verbose", Kind::Bool, Dir::Both, F(tc_log_verbose), 0},
    {kComm, "Log Non-packet Writes", Kind::Bool, Dir::Both, F(tc_log_non_packet_writes), 0},
    {kComm, "Log Non-packet Reads", Kind::Bool, Dir::Both, F(tc_log_non_packet_reads), 0},
    {kComm, "Log Packet Data", Kind::Bool, Dir::Both, F(tc_log_packet_data), 0},

    {kComp, "DefaultLibDir", Kind::Text, Dir::Both, F(lib_dir_file), 0},
    {kComp, "DefaultBIOS", Kind::Text, Dir::Load, F(default_bios), 0},
    {kComp, "DefaultProject", Kind::Text, Dir::Both, F(default_project), 0},
    {kComp, "FactoryProject", Kind::Text, Dir::Both, F(factory_project), 0},
    {kComp, "Project", Kind::Text, Dir::Both, F(project), 0},
    {kComp, "No Bouncers", Kind::Bool, Dir::Both, F(no_bouncers), 0},
    {kComp, "String Literal Optimization", Kind::Bool, Dir::Both,
     F(string_literal_optimization), 0},
    {kComp, "Storage Class Warning", Kind::Bool, Dir::Both, F(storage_class_warning), 0},
    {kComp, "Zero Pad Bin File", Kind::Bool, Dir::Both, F(zero_pad_bin_file), 0},
    {kComp, "Include Time Stamp", Kind::Bool, Dir::Both, F(include_time_stamp), 0},
    {kComp, "Function Prototype Table Size", Kind::Prototypes, Dir::Both, nullptr, 4000},

    {kEnv, "Line Number Color", Kind::Colour, Dir::Both, F(line_number_color), 0x0000FF},
    {kEnv, "Line Number Background Color", Kind::Colour, Dir::Both,
     F(line_number_background_color), 0x00FF00},

    {kPers, "Flash Table", Kind::Text, Dir::Load, F(flash_info_file), 0},
    {kPers, "Show Splash Screen", Kind::Bool, Dir::Both, F(show_splash_screen), 0},
    {kPers, "Undo After Save", Kind::Bool, Dir::Both, F(undo_after_save), 0},
    {kPers, "Open InitDir", Kind::Text, Dir::HostOnly, nullptr, 0},
    {kPers, "Save InitDir", Kind::Text, Dir::HostOnly, nullptr, 0},
    {kPers, "Distribution", Kind::Text, Dir::Both, F(distribution), 0},
    {kPers, "DefaultH", Kind::Text, Dir::Both, F(default_h), 0},
    {kPers, "HelpFile", Kind::Text, Dir::Both, F(help_file), 0},
    {kPers, "HelpIRFile", Kind::Text, Dir::Both, F(help_ir_file), 0},
    {kPers, "DefaultURL", Kind::Text, Dir::Both, F(default_url), 0},
    {kPers, "DefaultKeywordURL", Kind::Text, Dir::Both, F(default_keyword_url), 0},
    {kPers, "DefaultFunctionURL", Kind::Text, Dir::Both, F(default_function_url), 0},
    {kPers, "DefaultOperatorURL", Kind::Text, Dir::Both, F(default_operator_url), 0},
    {kPers, "Show Menu Buttons", Kind::Bool, Dir::Host, F(show_menu_buttons), 0},
    {kPers, "MRU File Limit", Kind::Int, Dir::Both, F(mru_file_limit), 25},
    {kPers, "CT Left", Kind::Int, Dir::Both, F(ct_left), 21},
    {kPers, "CT Top", Kind::Int, Dir::Both, F(ct_top), 22},
    {kPers, "CT Name Width", Kind::Int, Dir::Both, F(ct_name_width), 23},
    {kPers, "CT Code Panel Height", Kind::Int, Dir::Both, F(ct_code_panel_height), 24},
    {kPers, "EnvOptionsPg", Kind::Int, Dir::Both, F(env_options_pg), 3},
    {kPers, "EditOptionsPg", Kind::Int, Dir::Both, F(edit_options_pg), 4},
    {kPers, "Consolidate Buttons", Kind::Byte, Dir::Host, F(consolidate_buttons), 1},
    {kPers, "Top", Kind::Int, Dir::Both, F(top), 31},
    {kPers, "Left", Kind::Int, Dir::Both, F(left), 32},
    {kPers, "Height", Kind::Int, Dir::Both, F(height), 633},
    {kPers, "Width", Kind::Int, Dir::Both, F(width), 834},
    {kPers, "Window State", Kind::State, Dir::Both, F(window_state), 1},
    {kPers, "Workspace Color", Kind::Colour, Dir::Both, F(workspace_color), 0x00ABCDEF},
    {kPers, "GrepDirectories", Kind::Bool, Dir::Both, F(grep_directories), 0},
    {kPers, "GrepSubDirectories", Kind::Bool, Dir::Both, F(grep_sub_directories), 0},
    {kPers, "GrepCaseSensitive", Kind::Bool, Dir::Both, F(grep_case_sensitive), 0},
    {kPers, "GrepWholeWords", Kind::Bool, Dir::Both, F(grep_whole_words), 0},
    {kPers, "Flash After Compile", Kind::Bool, Dir::Both, F(flash_after_compile), 0},
    {kPers, "Beep After Compile", Kind::Bool, Dir::Both, F(beep_after_compile), 0},
    {kPers, "Detect Outside Changes", Kind::Bool, Dir::Both, F(detect_outside_changes), 0},
    {kPers, "Confirm Lib Compile", Kind::Bool, Dir::Both, F(confirm_lib_compile), 0},
    {kPers, "Create Backup File", Kind::Bool, Dir::Both, F(create_backup_file), 0},
    {kPers, "Auto save", Kind::Bool, Dir::Both, F(auto_save), 0},
    {kPers, "Show Tips", Kind::Bool, Dir::Both, F(show_tips), 0},
    {kPers, "Print Tips", Kind::Bool, Dir::Both, F(print_tips), 0},
    {kPers, "Tips Help", Kind::Bool, Dir::Both, F(tips_help), 0},
    {kPers, "Tips Index", Kind::Int, Dir::Both, F(tips_index), 17},
    {kPers, "Syntax File Types", Kind::Text, Dir::Both, F(syntax_file_types), 0},
};

#undef F

bool written(const TreeRow &row) { return row.dir != Dir::Load; }
bool read_into_field(const TreeRow &row) { return row.dir != Dir::HostOnly; }

// The keys of the tree in load (and save) order.
const std::vector<std::string> &tree_keys()
{
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> k;
        for (const TreeRow &row : kTree)
            if (std::find(k.begin(), k.end(), row.key) == k.end())
                k.push_back(row.key);
        return k;
    }();
    return keys;
}

TFontProperties test_font(int32_t n)
{
    return TFontProperties(0x010203u * static_cast<uint32_t>(n), -12 - n, "Face " + std::to_string(n),
                           fpFixed, 9 + n, n % 2 == 1, true, n % 3 == 0, false);
}

std::string test_text(const TreeRow &row) { return std::string(row.name) + " (" + row.key + ")"; }

// The row's test value in its field (or in the unit that owns it).
void set_test_value(TIdePreferences &p, const TreeRow &row)
{
    TIdePreferences defaults;
    void *f = row.field ? row.field(p) : nullptr;
    switch (row.kind) {
    case Kind::Bool: *static_cast<bool *>(f) = !*static_cast<bool *>(row.field(defaults)); return;
    case Kind::Int: *static_cast<int32_t *>(f) = row.value; return;
    case Kind::Colour: *static_cast<TColor *>(f) = static_cast<TColor>(row.value); return;
    case Kind::Text: *static_cast<std::string *>(f) = test_text(row); return;
    case Kind::Font: *static_cast<TFontProperties *>(f) = test_font(row.value); return;
    case Kind::Byte: *static_cast<uint8_t *>(f) = static_cast<uint8_t>(row.value); return;
    case Kind::State: *static_cast<TWindowState *>(f) = static_cast<TWindowState>(row.value); return;
    case Kind::Prototypes: set_prototype_table_size(static_cast<uint32_t>(row.value)); return;
    }
}

// Whether the field holds the row's test value; the message names the row when not.
::testing::AssertionResult holds_test_value(TIdePreferences &p, const TreeRow &row)
{
    TIdePreferences probe;
    set_test_value(probe, row);
    bool same = false;
    void *f = row.field ? row.field(p) : nullptr;
    switch (row.kind) {
    case Kind::Bool: same = *static_cast<bool *>(f) == *static_cast<bool *>(row.field(probe)); break;
    case Kind::Int: same = *static_cast<int32_t *>(f) == row.value; break;
    case Kind::Colour: same = *static_cast<TColor *>(f) == static_cast<TColor>(row.value); break;
    case Kind::Text: same = *static_cast<std::string *>(f) == test_text(row); break;
    case Kind::Font: same = *static_cast<TFontProperties *>(f) == test_font(row.value); break;
    case Kind::Byte: same = *static_cast<uint8_t *>(f) == static_cast<uint8_t>(row.value); break;
    case Kind::State: same = static_cast<int32_t>(*static_cast<TWindowState *>(f)) == row.value; break;
    case Kind::Prototypes: same = prototype_table_size() == static_cast<uint32_t>(row.value); break;
    }
    if (same)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << row.key << " / " << row.name << " does not hold the value";
}

// Writes a row's test value straight into the store (for the values the save never writes).
void store_test_value(TKXRegistry &reg, const TreeRow &row)
{
    TIdePreferences probe;
    set_test_value(probe, row);
    ASSERT_TRUE(reg.open_key(settings_key(row.key), true));
    switch (row.kind) {
    case Kind::Bool: WriteRegBool(reg, row.name, *static_cast<bool *>(row.field(probe))); break;
    case Kind::Int:
    case Kind::Colour: WriteRegInteger(reg, row.name, row.value); break;
    case Kind::Text: WriteRegString(reg, row.name, test_text(row)); break;
    case Kind::Font: SaveFontValues(reg, test_font(row.value)); break;
    case Kind::Byte:
    case Kind::State:
    case Kind::Prototypes: WriteRegInteger(reg, row.name, row.value); break;
    }
    reg.close_key();
}

class SettingsEnvironment : public ::testing::Test {
protected:
    std::unique_ptr<SettingsSandbox> sandbox;
    void SetUp() override
    {
        sandbox = std::make_unique<SettingsSandbox>(
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { sandbox.reset(); }

    RecordingSettingsHost &host() { return sandbox->host; }
    std::vector<HeadlessMessageBoxHost::Shown> &boxes() { return headless_message_box_host().shown; }

    // Opens a section key of a store on the sandbox's file.
    static void open(TKXRegistry &reg, const std::string &section)
    {
        ASSERT_TRUE(reg.open_key(settings_key(section), false)) << section;
    }
    static std::string slurp(const std::string &file)
    {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

} // namespace

// ---- the whole tree ----------------------------------------------------------------------------

TEST_F(SettingsEnvironment, EmptyStoreLoadsEveryDefault)
{
    LoadEnvironment();
    TIdePreferences expected;
    expected.distribution = "Korvex Dist. 8.51";
    EXPECT_TRUE(IdePreferences() == expected);
    EXPECT_EQ(IdePreferences().distribution, expected.distribution);
    // The help stays relative to the program directory: the settings follow the program.
    EXPECT_EQ(IdePreferences().help_file, "docs/guide.html");
    EXPECT_EQ(IdePreferences().help_ir_file, "docs/instructions.html");
    EXPECT_EQ(IdePreferences().default_url, "docs/index.html");
    EXPECT_EQ(IdePreferences().default_keyword_url, "docs/language.html");
    EXPECT_EQ(IdePreferences().default_function_url, "docs/functions/index.html");
    EXPECT_EQ(IdePreferences().default_operator_url, "docs/operators.html");
    EXPECT_EQ(prototype_table_size(), 8192u);
    EXPECT_EQ(host().editor_adjustments, 1);
    EXPECT_TRUE(boxes().empty());

    // Every key exists, and holds no value until the save.
    TKXRegistry reg;
    for (const std::string &key : tree_keys()) {
        SCOPED_TRACE(key);
        ASSERT_TRUE(reg.open_key(settings_key(key), false));
        EXPECT_TRUE(reg.value_names().empty());
    }
    ASSERT_TRUE(reg.open_key(settings_key(""), false));
    EXPECT_EQ(reg.key_names(), (std::vector<std::string>{"Debug Windows", "Communications",
                                                          "Compiler", "Environment",
                                                          "Personality"}));
    ASSERT_TRUE(reg.open_key(settings_key("Debug Windows"), false));
    EXPECT_EQ(reg.key_names(),
              (std::vector<std::string>{"Stdio Window", "Assembly Window", "Stack Window",
                                        "Trace Window", "Register Window", "Dump Window",
                                        "Watch Window", "Message Window"}));
}

// A fresh save writes each key's values, and only those, in the save order, with their types.
TEST_F(SettingsEnvironment, FreshSaveWritesEveryKeyInSaveOrder)
{
    LoadEnvironment();
    SaveEnvironment();
    EXPECT_TRUE(boxes().empty());
    TKXRegistry reg;
    for (const std::string &key : tree_keys()) {
        SCOPED_TRACE(key);
        std::vector<std::string> names;
        for (const TreeRow &row : kTree) {
            if (row.key != key || !written(row))
                continue;
            if (row.kind == Kind::Font)
                names.push_back("Font Name");
            names.push_back(row.name);
        }
        open(reg, key);
        EXPECT_EQ(reg.value_names(), names);
        for (const TreeRow &row : kTree) {
            if (row.key != key || !written(row))
                continue;
            const RegType type = row.kind == Kind::Text ? RegType::String
                                 : row.kind == Kind::Font ? RegType::Binary
                                                          : RegType::Integer;
            EXPECT_EQ(reg.value_type(row.name), type) << row.name;
        }
    }
    open(reg, kMsg);
    EXPECT_EQ(reg.value_names(), (std::vector<std::string>{"Dockable", "Child"}));
}

// Save, then load into a fresh object: every value comes back into its own field; values only
// the load reads come back from what another writer stored.
TEST_F(SettingsEnvironment, EveryValueRoundTripsThroughItsField)
{
    TIdePreferences &p = IdePreferences();
    for (const TreeRow &row : kTree)
        if (row.dir == Dir::Both)
            set_test_value(p, row);
    host().menu_buttons_visible = false;
    host().consolidate_checked = true;
    host().open_init_dir = "/work/open";
    host().save_init_dir = "/work/save";
    SaveEnvironment();
    ASSERT_TRUE(boxes().empty());

    // What the save wrote: each field under its own name.
    {
        TKXRegistry reg;
        for (const TreeRow &row : kTree) {
            SCOPED_TRACE(std::string(row.key) + " / " + row.name);
            open(reg, row.key);
            if (!written(row)) {
                EXPECT_FALSE(reg.value_exists(row.name));
                continue;
            }
            switch (row.kind) {
            case Kind::Bool: {
                TIdePreferences probe;
                set_test_value(probe, row);
                const bool expected = row.dir == Dir::Host ? host().menu_buttons_visible
                                                           : *static_cast<bool *>(row.field(probe));
                EXPECT_EQ(reg.read_bool(row.name), expected);
                break;
            }
            case Kind::Int:
            case Kind::Colour:
            case Kind::State:
            case Kind::Prototypes:
            case Kind::Byte:
                EXPECT_EQ(reg.read_integer(row.name), row.value);
                break;
            case Kind::Text:
                if (row.dir == Dir::HostOnly) {
                    EXPECT_EQ(reg.read_string(row.name), std::string(row.name) == "Open InitDir"
                                                             ? host().open_init_dir
                                                             : host().save_init_dir);
                } else {
                    EXPECT_EQ(reg.read_string(row.name), test_text(row));
                }
                break;
            case Kind::Font: {
                TFontProperties font;
                LoadFontValues(reg, font);
                EXPECT_EQ(font, test_font(row.value));
                break;
            }
            }
        }
        // The values only the load reads, as another writer would have stored them.
        for (const TreeRow &row : kTree)
            if (row.dir == Dir::Load)
                store_test_value(reg, row);
        ASSERT_TRUE(reg.save());
    }

    reset_settings_to_defaults();
    LoadEnvironment();
    for (const TreeRow &row : kTree) {
        if (read_into_field(row)) {
            EXPECT_TRUE(holds_test_value(p, row));
        }
    }
    EXPECT_TRUE(boxes().empty());

    // The next save leaves the values it never writes as the other writer stored them.
    reset_settings_to_defaults();
    SaveEnvironment();
    TKXRegistry reg;
    for (const TreeRow &row : kTree) {
        if (row.dir != Dir::Load || row.kind == Kind::Font || row.kind == Kind::Bool)
            continue;
        open(reg, row.key);
        if (row.kind == Kind::Text) {
            EXPECT_EQ(reg.read_string(row.name), test_text(row)) << row.name;
        } else {
            EXPECT_EQ(reg.read_integer(row.name), row.value) << row.name;
        }
    }
    open(reg, kDump);
    EXPECT_EQ(reg.read_bool("Enable Diffs"), true);
}

// ---- the version key ---------------------------------------------------------------------------

TEST_F(SettingsEnvironment, VersionKeysKeepSeparateTreesInOneFile)
{
    EXPECT_EQ(SettingsVersionKey, "8.51\\");
    // The targetless store lies below the base path, beside the version trees.
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(std::string(kSettingsBasePath) + kTargetlessKey, true));
        WriteRegString(reg, "Board", "shared by every version");
        ASSERT_TRUE(reg.save());
    }
    IdePreferences().stdio.columns = 100;
    SaveEnvironment();

    ASSERT_FALSE(set_settings_version_key("Lab"));
    EXPECT_EQ(SettingsVersionKey, "8.51Lab\\");
    reset_settings_to_defaults();
    LoadEnvironment();
    EXPECT_EQ(IdePreferences().stdio.columns, 80) << "the Lab tree starts from the defaults";
    EXPECT_EQ(IdePreferences().distribution, "Korvex Dist. 8.51Lab");
    IdePreferences().stdio.columns = 120;
    SaveEnvironment();

    ASSERT_FALSE(set_settings_version_key(""));
    reset_settings_to_defaults();
    LoadEnvironment();
    EXPECT_EQ(IdePreferences().stdio.columns, 100);

    TKXRegistry reg;
    ASSERT_TRUE(reg.open_key(kSettingsBasePath, false));
    EXPECT_EQ(reg.key_names(), (std::vector<std::string>{kTargetlessKey, "8.51", "8.51Lab"}));
    ASSERT_TRUE(reg.open_key(std::string(kSettingsBasePath) + "8.51Lab\\Debug Windows\\Stdio Window",
                             false));
    EXPECT_EQ(reg.read_integer("Columns"), 120);
    ASSERT_TRUE(reg.open_key(std::string(kSettingsBasePath) + kTargetlessKey, false));
    EXPECT_EQ(reg.read_string("Board"), "shared by every version");
}

namespace {
struct KeyTextCase {
    const char *name;
    std::string text;
    bool accepted;
};
const KeyTextCase kKeyTexts[] = {
    {"plain", "Lab", true},
    {"blank_inside", "My Lab", true},
    {"longest_that_fits", std::string(260 - 1 - 5, 'x'), true},
    {"one_too_long", std::string(260 - 5, 'x'), false},
    {"huge", std::string(100000, 'x'), false},
    {"backslash", "a\\b", false},
    {"slash", "a/b", false},
    {"trailing_backslash", "Lab\\", false},
    {"control_byte", "La\x01" "b", false},
    {"new_line", "Lab\n", false},
};
class SettingsKeyText : public SettingsEnvironment,
                        public ::testing::WithParamInterface<KeyTextCase> {};
} // namespace

TEST_P(SettingsKeyText, RefusedTextsKeepThePlainKey)
{
    const KeyTextCase &c = GetParam();
    const std::optional<std::string> refused = set_settings_version_key(c.text);
    EXPECT_EQ(!refused.has_value(), c.accepted);
    EXPECT_EQ(SettingsVersionKey, c.accepted ? "8.51" + c.text + "\\" : "8.51\\");
    EXPECT_LE(SettingsVersionKey.size(), kSettingsKeyBuffer - 1);
    if (refused) {
        EXPECT_NE(refused->find("-c"), std::string::npos) << *refused;
    }
}

INSTANTIATE_TEST_SUITE_P(All, SettingsKeyText, ::testing::ValuesIn(kKeyTexts),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(SettingsEnvironment, StartUpFormsTheKeyLoadsAndSetsTheExtensions)
{
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(std::string(kSettingsBasePath) + "8.51Lab\\Personality", true));
        WriteRegString(reg, "Syntax File Types", "c;kx");
        ASSERT_TRUE(reg.save());
    }
    LoadSettingsAtStartUp("/usr/lib/korvex", "Lab");
    EXPECT_EQ(program_directory(), "/usr/lib/korvex");
    EXPECT_EQ(SettingsVersionKey, "8.51Lab\\");
    EXPECT_EQ(IdePreferences().syntax_file_types, "c;kx");
    EXPECT_EQ(IdePreferences().SourceExtensions, (std::set<std::string>{"c", "kx"}));
    EXPECT_EQ(IdePreferences().default_url, "docs/index.html");
    EXPECT_TRUE(boxes().empty());

    reset_settings_to_defaults();
    LoadSettingsAtStartUp("/usr/lib/korvex/", "bad\\name");
    EXPECT_EQ(SettingsVersionKey, "8.51\\");
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].caption, "Error");
    EXPECT_EQ(IdePreferences().SourceExtensions, (std::set<std::string>{"c", "h", "hh", "lib"}));
}

// ---- values the load corrects ----------------------------------------------------------------

namespace {
struct ClampCase {
    const char *name;
    const char *key;
    const char *value;
    int32_t stored;
    int32_t loaded;
    int32_t saved;
};
// What the load makes of a stored value, and what the next save writes.
const ClampCase kClamps[] = {
    {"mru_zero_gives_one", kPers, "MRU File Limit", 0, 1, 1},
    {"mru_99_gives_30", kPers, "MRU File Limit", 99, 30, 30},
    {"mru_negative_gives_one", kPers, "MRU File Limit", -5, 1, 1},
    {"mru_30_stays", kPers, "MRU File Limit", 30, 30, 30},
    {"window_state_7_is_maximized", kPers, "Window State", 7, 2, 2},
    {"window_state_minus_1_is_maximized", kPers, "Window State", -1, 2, 2},
    {"window_state_0_is_normal", kPers, "Window State", 0, 0, 0},
    {"window_state_1_is_minimized", kPers, "Window State", 1, 1, 1},
    {"columns_0_take_default", kStdio, "Columns", 0, 80, 80},
    {"columns_513_take_default", kStdio, "Columns", 513, 80, 80},
    {"columns_512_stay", kStdio, "Columns", 512, 512, 512},
    {"columns_1_stay", kStdio, "Columns", 1, 1, 1},
    {"rows_negative_take_default", kStdio, "Rows", -1, 10000, 10000},
    {"rows_10001_take_default", kStdio, "Rows", 10001, 10000, 10000},
    {"rows_1_stay", kStdio, "Rows", 1, 1, 1},
    {"spaces_in_tab_0_take_8", kStdio, "Spaces In Tab", 0, 8, 8},
    {"spaces_in_tab_2_stay", kStdio, "Spaces In Tab", 2, 2, 2},
    {"prototypes_40000_take_8192", kComp, "Function Prototype Table Size", 40000, 8192, 8192},
    {"prototypes_0_take_8192", kComp, "Function Prototype Table Size", 0, 8192, 8192},
    {"prototypes_negative_take_8192", kComp, "Function Prototype Table Size", -1, 8192, 8192},
    {"prototypes_32767_stay", kComp, "Function Prototype Table Size", 32767, 32767, 32767},
    {"prototypes_1_stay", kComp, "Function Prototype Table Size", 1, 1, 1},
    {"consolidate_keeps_the_low_byte", kPers, "Consolidate Buttons", 0x101, 1, 0},
};
class SettingsClamp : public SettingsEnvironment,
                      public ::testing::WithParamInterface<ClampCase> {};

int32_t loaded_value(const ClampCase &c)
{
    const TIdePreferences &p = IdePreferences();
    const std::string name = c.value;
    if (name == "MRU File Limit") return p.mru_file_limit;
    if (name == "Window State") return static_cast<int32_t>(p.window_state);
    if (name == "Columns") return p.stdio.columns;
    if (name == "Rows") return p.stdio.rows;
    if (name == "Spaces In Tab") return p.stdio.spaces_in_tab;
    if (name == "Consolidate Buttons") return p.consolidate_buttons;
    return static_cast<int32_t>(prototype_table_size());
}
} // namespace

TEST_P(SettingsClamp, LoadsAndSavesTheCorrectedValue)
{
    const ClampCase &c = GetParam();
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key(c.key), true));
        WriteRegInteger(reg, c.value, c.stored);
        ASSERT_TRUE(reg.save());
    }
    LoadEnvironment();
    EXPECT_EQ(loaded_value(c), c.loaded);
    SaveEnvironment();
    TKXRegistry reg;
    open(reg, c.key);
    EXPECT_EQ(reg.read_integer(c.value), c.saved);
}

INSTANTIATE_TEST_SUITE_P(All, SettingsClamp, ::testing::ValuesIn(kClamps),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(SettingsEnvironment, StoredEmptyTextsLoadTheirDefaults)
{
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key(kPers), true));
        WriteRegString(reg, "Syntax File Types", "");
        WriteRegString(reg, "Distribution", "");
        WriteRegString(reg, "DefaultURL", "");
        ASSERT_TRUE(reg.save());
    }
    LoadEnvironment();
    EXPECT_EQ(IdePreferences().syntax_file_types, "c;lib;h;hh");
    EXPECT_EQ(IdePreferences().distribution, "Korvex Dist. 8.51");
    EXPECT_EQ(IdePreferences().default_url, "docs/index.html");
}

TEST_F(SettingsEnvironment, StoredUrlsReplaceTheDefaultWhole)
{
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key(kPers), true));
        WriteRegString(reg, "DefaultOperatorURL", "http://example.invalid/op.htm");
        ASSERT_TRUE(reg.save());
    }
    LoadEnvironment();
    EXPECT_EQ(IdePreferences().default_operator_url, "http://example.invalid/op.htm");
}

// A help location that no longer leads anywhere loads the default: an absolute path that is
// gone (the program moved), or a page of earlier versions missing below the program directory.
// Anything else is kept as stored.
struct HelpLocationCase {
    const char *name;
    const char *value;
    const char *stored;   // "@" stands for an existing file's absolute path
    const char *loaded;   // "@" the same; "=" the stored text
};

const HelpLocationCase kHelpLocations[] = {
    {"GoneAbsolute", "DefaultURL", "/kx-gone/build/korvex/docs/default.htm", "docs/index.html"},
    {"GoneAbsoluteHelpFile", "HelpFile", "/kx-gone/korvex/docs/guide.html", "docs/guide.html"},
    {"ExistingAbsolute", "DefaultKeywordURL", "@", "@"},
    {"FormerHelpFile", "HelpFile", "kxw.hlp", "docs/guide.html"},
    {"FormerReference", "HelpIRFile", "kx_asm.chm", "docs/instructions.html"},
    {"FormerOperators", "DefaultOperatorURL", "docs\\kx\\10operat.htm", "docs/operators.html"},
    {"OwnRelative", "DefaultFunctionURL", "own/functions.html", "="},
    {"WebAddress", "DefaultURL", "https://example.invalid/kx/", "="},
};

class HelpLocations : public SettingsEnvironment,
                      public ::testing::WithParamInterface<HelpLocationCase> {};

TEST_P(HelpLocations, LoadAsStoredUnlessTheyLeadNowhere)
{
    const HelpLocationCase &c = GetParam();
    const std::string existing = (sandbox->config / "page.html").string();
    std::ofstream(existing) << "<html></html>";
    const auto resolve = [&](const char *text) {
        return std::string(text) == "@" ? existing
               : std::string(text) == "=" ? std::string(c.stored)
                                          : std::string(text);
    };
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key(kPers), true));
        WriteRegString(reg, c.value, resolve(c.stored));
        ASSERT_TRUE(reg.save());
    }
    LoadEnvironment();
    const TIdePreferences &p = IdePreferences();
    const std::map<std::string, std::string> loaded = {
        {"HelpFile", p.help_file},
        {"HelpIRFile", p.help_ir_file},
        {"DefaultURL", p.default_url},
        {"DefaultKeywordURL", p.default_keyword_url},
        {"DefaultFunctionURL", p.default_function_url},
        {"DefaultOperatorURL", p.default_operator_url}};
    EXPECT_EQ(loaded.at(c.value), resolve(c.loaded));
}

INSTANTIATE_TEST_SUITE_P(All, HelpLocations, ::testing::ValuesIn(kHelpLocations),
                         [](const auto &i) { return std::string(i.param.name); });

// After a run the store holds the help as it came: no path of the program directory, so a
// program that moves (or a new build folder) finds its help again.
TEST_F(SettingsEnvironment, TheSavedHelpLocationsHoldNoPathOfTheProgramDirectory)
{
    LoadSettingsAtStartUp("/opt/kx-build-folder/korvex/", "");
    SaveEnvironment();
    const std::string store = slurp(sandbox->store_file());
    ASSERT_NE(store.find("DefaultURL"), std::string::npos);
    EXPECT_EQ(store.find("/opt/kx-build-folder"), std::string::npos) << store;
    EXPECT_EQ(help_location_path("docs/guide.html"), "/opt/kx-build-folder/korvex/docs/guide.html");
    EXPECT_EQ(help_location_path("docs\\kx\\a.htm"), "/opt/kx-build-folder/korvex/docs/kx/a.htm");
    EXPECT_EQ(help_location_path("/srv/help.html"), "/srv/help.html");
    EXPECT_EQ(help_location_path("http://127.0.0.1/x"), "http://127.0.0.1/x");
    EXPECT_FALSE(is_web_address("C:\\help\\kxw.hlp"));
    EXPECT_FALSE(is_web_address("docs/a:b.html"));
    EXPECT_TRUE(is_web_address("file:///srv/help.html"));
}

// The five trace switches load with their fixed defaults whatever the switches held before.
TEST_F(SettingsEnvironment, TraceSwitchesLoadFixedDefaults)
{
    TIdePreferences &p = IdePreferences();
    p.tc_logging = p.tc_log_verbose = p.tc_log_non_packet_writes = true;
    p.tc_log_non_packet_reads = p.tc_log_packet_data = false;
    p.tcp_all_in_one = true;  // an ordinary value keeps the field's value as its default
    LoadEnvironment();
    EXPECT_FALSE(p.tc_logging);
    EXPECT_FALSE(p.tc_log_verbose);
    EXPECT_FALSE(p.tc_log_non_packet_writes);
    EXPECT_TRUE(p.tc_log_non_packet_reads);
    EXPECT_TRUE(p.tc_log_packet_data);
    EXPECT_TRUE(p.tcp_all_in_one);
}

// ---- wrong types -------------------------------------------------------------------------------

TEST_F(SettingsEnvironment, WrongTypesLoadDefaultsAndTheNextSaveRewritesThem)
{
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key(kStdio), true));
        WriteRegString(reg, "Columns", "100");        // an integer stored as text
        WriteRegInteger(reg, "Log File", 5);          // a text stored as an integer
        WriteRegString(reg, "Horizontal Scroll", "1");
        const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        WriteRegBinary(reg, "Font", eight, sizeof eight);  // a font record of 8 bytes
        WriteRegString(reg, "Font Name", "Fixed");
        WriteRegBool(reg, "Auto Open", false);        // after the bad ones: still read
        ASSERT_TRUE(reg.open_key(settings_key(kComp), true));
        WriteRegString(reg, "Function Prototype Table Size", "9000");
        ASSERT_TRUE(reg.save());
    }
    LoadEnvironment();
    const StdioWindowSettings &w = IdePreferences().stdio;
    EXPECT_EQ(w.columns, 80);
    EXPECT_EQ(w.log_file, "kx.out");
    EXPECT_FALSE(w.horizontal_scroll);
    EXPECT_FALSE(w.auto_open) << "a bad value does not end the load";
    EXPECT_EQ(w.font, TFontProperties(clBlack, -11, "Fixed", fpDefault, 8, false, false, false,
                                      false))
        << "the name is read, the other font fields stay";
    EXPECT_EQ(prototype_table_size(), 8192u);
    EXPECT_TRUE(boxes().empty());

    SaveEnvironment();
    TKXRegistry reg;
    open(reg, kStdio);
    EXPECT_EQ(reg.read_integer("Columns"), 80);
    EXPECT_EQ(reg.read_string("Log File"), "kx.out");
    EXPECT_EQ(reg.read_bool("Horizontal Scroll"), false);
    EXPECT_EQ(reg.read_binary("Font")->size(), kFontRecordBytes);
    open(reg, kComp);
    EXPECT_EQ(reg.read_integer("Function Prototype Table Size"), 8192);
}

TEST_F(SettingsEnvironment, TypedReadsGiveTheDefaultForAnotherType)
{
    TKXRegistry reg;
    ASSERT_TRUE(reg.open_key("Test", true));
    WriteRegInteger(reg, "Margin", 3);
    WriteRegString(reg, "Count", "12");
    WriteRegString(reg, "Empty", "");
    WriteRegFloat(reg, "Ratio", 0.5);
    EXPECT_EQ(ReadRegFloat(reg, "Margin", 1.25), 1.25) << "a float stored as an integer";
    EXPECT_EQ(ReadRegFloat(reg, "Ratio", 1.25), 0.5);
    EXPECT_EQ(ReadRegInteger(reg, "Count", 7), 7);
    EXPECT_EQ(ReadRegBool(reg, "Count", true), true);
    EXPECT_EQ(ReadRegString(reg, "Margin", "def"), "def");
    EXPECT_EQ(ReadRegString(reg, "Empty", "def"), "def");
    EXPECT_EQ(ReadRegString(reg, "Missing", "def"), "def");
    uint8_t buffer[4] = {9, 9, 9, 9};
    ReadRegBinary(reg, "Ratio", buffer, sizeof buffer);
    EXPECT_EQ(buffer[0], 9) << "a binary of another size leaves the buffer";
    WriteRegFloat(reg, "Margin", 2.5);
    EXPECT_EQ(reg.value_type("Margin"), RegType::Binary) << "rewritten as a float";
    EXPECT_EQ(ReadRegFloat(reg, "Margin", 0), 2.5);
}

// ---- the font record ---------------------------------------------------------------------------

TEST_F(SettingsEnvironment, FontRecordIsTwentyLittleEndianBytesAfterItsName)
{
    TKXRegistry reg;
    ASSERT_TRUE(reg.open_key("Test\\Font", true));
    SaveFontValues(reg, TFontProperties(0x11223344, -13, "Courier New", fpFixed, 10, true, false,
                                        true, false));
    EXPECT_EQ(reg.value_names(), (std::vector<std::string>{"Font Name", "Font"}));
    EXPECT_EQ(reg.read_string("Font Name"), "Courier New");
    const std::vector<uint8_t> expected = {0x44, 0x33, 0x22, 0x11, 0xF3, 0xFF, 0xFF, 0xFF, 2, 0, 0,
                                           0,    10,   0,    0,    0,    1,    0,    1,    0};
    EXPECT_EQ(reg.read_binary("Font"), expected);

    TFontProperties back;
    LoadFontValues(reg, back);
    EXPECT_EQ(back, TFontProperties(0x11223344, -13, "Courier New", fpFixed, 10, true, false,
                                    true, false));
}

TEST_F(SettingsEnvironment, FontPaddingIsIgnoredAndStyleBytesAreFlags)
{
    TKXRegistry reg;
    ASSERT_TRUE(reg.open_key("Test\\Font", true));
    const uint8_t bytes[20] = {1, 0, 0, 0, 20, 0, 0, 0, 1, 0xAA, 0xBB, 0xCC,
                               12, 0, 0, 0, 0, 7, 0, 0xFF};
    WriteRegBinary(reg, "Font", bytes, sizeof bytes);
    TFontProperties font;
    font.name = "kept";
    LoadFontValues(reg, font);
    EXPECT_EQ(font, TFontProperties(1, 20, "kept", fpVariable, 12, false, true, false, true));
}

// ---- failures ----------------------------------------------------------------------------------

// A store that cannot be written: one box for the first value of the save, nothing else.
TEST_F(SettingsEnvironment, UnwritableStoreShowsOneBoxPerSave)
{
    std::ofstream(sandbox->config / "korvex") << "a file where the folder belongs";
    LoadEnvironment();
    EXPECT_TRUE(boxes().empty()) << "the load writes no value and reports nothing";
    SaveEnvironment();
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "Could not write 0 to None");
    EXPECT_EQ(boxes()[0].caption, "Error");
    EXPECT_EQ(boxes()[0].flags & 0xF, kMbOk);
    SaveEnvironment();
    EXPECT_EQ(boxes().size(), 2u) << "once per save";
}

TEST_F(SettingsEnvironment, AFailedSaveLeavesTheOldFile)
{
    IdePreferences().stdio.columns = 99;
    SaveEnvironment();
    const std::string before = slurp(sandbox->store_file());
    ASSERT_FALSE(before.empty());
    IdePreferences().stdio.columns = 98;
    // A folder where the temporary file of the save would go.
    fs::create_directories(sandbox->store_file() + ".tmp." + std::to_string(::getpid()));
    SaveEnvironment();
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "Could not write 0 to None");
    EXPECT_EQ(slurp(sandbox->store_file()), before);
}

TEST_F(SettingsEnvironment, WriteFailuresAreShownOncePerRegistryObject)
{
    TKXRegistry reg;
    // No key open: every write fails.
    WriteRegString(reg, "Name", "text");
    WriteRegInteger(reg, "Count", -4);
    WriteRegBool(reg, "Flag", true);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "Could not write text to Name");
    TKXRegistry other;
    WriteRegFloat(other, "Margin", 1.5);
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes()[1].text, "Could not write 1.500000 to Margin");
    TKXRegistry third;
    WriteRegBinary(third, "Font", "x", 1);
    EXPECT_EQ(boxes().size(), 2u) << "a failed binary write is quiet";
    WriteRegBool(third, "Flag", true);
    ASSERT_EQ(boxes().size(), 3u);
    EXPECT_EQ(boxes()[2].text, "Could not write 1 to Flag");
    TKXRegistry fourth;
    WriteRegString(fourth, "Huge", std::string(kRegMaxValueBytes + 1, 'x'));
    ASSERT_EQ(boxes().size(), 4u);
    EXPECT_EQ(boxes()[3].text.rfind("Could not write xxx", 0), 0u);
    EXPECT_LE(boxes()[3].text.size(), 1023u) << "the message is cut, not the size of the value";
}

TEST_F(SettingsEnvironment, DamagedStoreLoadsDefaultsReportsOnceAndIsKept)
{
    fs::create_directories(sandbox->config / "korvex");
    std::ofstream(sandbox->store_file(), std::ios::binary) << "KXREG 1\nK \"Software\"\nZ";
    LoadEnvironment();
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_NE(boxes()[0].text.find(sandbox->store_file()), std::string::npos) << boxes()[0].text;
    EXPECT_EQ(boxes()[0].caption, "Error");
    EXPECT_EQ(IdePreferences().stdio.columns, 80);
    EXPECT_EQ(slurp(sandbox->store_file() + ".damaged"), "KXREG 1\nK \"Software\"\nZ");
    SaveEnvironment();
    EXPECT_EQ(boxes().size(), 1u) << "reported once";
    EXPECT_EQ(slurp(sandbox->store_file() + ".damaged"), "KXREG 1\nK \"Software\"\nZ");
    TKXRegistry reg;
    EXPECT_FALSE(reg.damage());
    open(reg, kStdio);
    EXPECT_EQ(reg.read_integer("Columns"), 80);
}

TEST_F(SettingsEnvironment, HugeAndOddStoredValuesLoseToTheDefaults)
{
    fs::create_directories(sandbox->config / "korvex");
    std::string file = "KXREG 1\n";
    file += "K \"Software\" \"Brantel\" \"KXW\" \"Vireon\" \"8.51\" \"Debug Windows\" \"Stdio Window\"\n";
    file += "S \"Log File\" \"" + std::string(kRegMaxValueBytes + 1, 'x') + "\"\n";
    file += "I \"Col\\x00umns\" 300\n";
    file += "B \"Font\" x0102\n";
    file += "I \"Rows\" 77\n";
    file += "END\n";
    std::ofstream(sandbox->store_file(), std::ios::binary) << file;
    LoadEnvironment();
    EXPECT_TRUE(boxes().empty());
    const StdioWindowSettings &w = IdePreferences().stdio;
    EXPECT_EQ(w.log_file, "kx.out");
    EXPECT_EQ(w.columns, 80) << "a name with a control byte is another name";
    EXPECT_EQ(w.font, StdioWindowSettings().font);
    EXPECT_EQ(w.rows, 77);
}

TEST_F(SettingsEnvironment, WithoutAWindowHostLoadAndSaveRefuse)
{
    set_settings_window_host(nullptr);
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key(kStdio), true));
        WriteRegInteger(reg, "Columns", 100);
        ASSERT_TRUE(reg.save());
    }
    LoadEnvironment();
    SaveEnvironment();
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes()[0].text, "The main window is not part of this build.");
    EXPECT_EQ(IdePreferences().stdio.columns, 80);
    TKXRegistry reg;
    open(reg, kStdio);
    EXPECT_EQ(reg.value_names(), std::vector<std::string>{"Columns"});
}

// Two IDE processes: each saves its own tree; a value written beside them by one survives the
// other's save.
TEST_F(SettingsEnvironment, TwoSavesKeepEachOthersValues)
{
    TKXRegistry other;
    ASSERT_TRUE(other.open_key(settings_key("Personality"), true));
    WriteRegString(other, "ComboHistory", "a;b");
    IdePreferences().stdio.columns = 90;
    SaveEnvironment();
    ASSERT_TRUE(other.save());
    TKXRegistry reg;
    open(reg, kPers);
    EXPECT_EQ(reg.read_string("ComboHistory"), "a;b");
    open(reg, kStdio);
    EXPECT_EQ(reg.read_integer("Columns"), 90);
}
