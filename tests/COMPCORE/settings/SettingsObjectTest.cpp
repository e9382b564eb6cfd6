// The settings object: its defaults, the debug-window blocks, and the source-extension set.
#include "settings/guiKXPreferences.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "driver/CC_INIT.h"
#include "core/SEAM_SETTINGS.h"

namespace {

class SettingsObject : public ::testing::Test {
protected:
    void SetUp() override { reset_settings_to_defaults(); }
    void TearDown() override { reset_settings_to_defaults(); }
};

struct ExtensionCase {
    const char *name;
    const char *list;
    std::set<std::string> expected;
};

const ExtensionCase kExtensionCases[] = {
    {"default_list", "c;lib;h;hh", {"c", "h", "hh", "lib"}},
    {"empty_piece_before_separator_is_kept", "c;;h", {"", "c", "h"}},
    {"trailing_empty_piece_is_dropped", "c;h;", {"c", "h"}},
    {"empty_text_gives_empty_set", "", {}},
    {"lone_separator_gives_the_empty_extension", ";", {""}},
    {"duplicates_collapse", "c;C;c", {"C", "c"}},
    {"single_extension", "kx", {"kx"}},
    {"blanks_are_part_of_a_piece", " c ;h", {" c ", "h"}},
};

class SourceExtensions : public SettingsObject,
                         public ::testing::WithParamInterface<ExtensionCase> {};

} // namespace

TEST_P(SourceExtensions, FromTheList)
{
    IdePreferences().SourceExtensions = {"stale"};
    SetSourceExtensions(GetParam().list);
    EXPECT_EQ(IdePreferences().SourceExtensions, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(All, SourceExtensions, ::testing::ValuesIn(kExtensionCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(SettingsObject, DebugWindowBlocksInTheDialogsOrder)
{
    const char *names[] = {"Stdio", "Assembly", "Stack", "Registers",
                           "Memory Dump", "Watch", "Trace", "Messages"};
    const char *fonts[] = {"Terminal", "Courier New", "Courier New", "Courier New",
                           "Courier New", "Courier New", "Courier New", "Courier New"};
    auto blocks = debug_window_blocks(IdePreferences());
    for (size_t i = 0; i < blocks.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(blocks[i]->window_name, names[i]);
        EXPECT_EQ(blocks[i]->font, TFontProperties(clBlack, -11, fonts[i], fpDefault, 8, false,
                                                   false, false, false));
        EXPECT_FALSE(blocks[i]->show);
        EXPECT_EQ(blocks[i]->background_colour, 0xFFFFFFu);
        EXPECT_FALSE(blocks[i]->dockable);
        EXPECT_TRUE(blocks[i]->child);
    }
    // The blocks are the object's own fields, not copies.
    blocks[4]->show = true;
    EXPECT_TRUE(IdePreferences().memory_dump.show);
}

// The switches the compiler core reads take the defaults the settings give them.
TEST_F(SettingsObject, CompilerSwitchesStartAtTheirDefaults)
{
    const TIdePreferences &p = IdePreferences();
    EXPECT_TRUE(p.zero_pad_bin_file);
    EXPECT_TRUE(p.include_time_stamp);
    EXPECT_TRUE(p.no_bouncers);
    EXPECT_TRUE(p.string_literal_optimization);
    EXPECT_FALSE(p.storage_class_warning);
    EXPECT_FALSE(p.tc_logging);
    EXPECT_FALSE(p.tc_log_verbose);
    EXPECT_FALSE(p.tc_log_non_packet_writes);
    EXPECT_TRUE(p.tc_log_non_packet_reads);
    EXPECT_TRUE(p.tc_log_packet_data);
    EXPECT_EQ(prototype_table_size(), 8192u);
    EXPECT_EQ(p.window_state, TWindowState::Maximized);
    EXPECT_EQ(p.workspace_color, 0x8000000Cu);
}

TEST_F(SettingsObject, ResetPutsBackEveryDefault)
{
    IdePreferences().stdio.columns = 3;
    IdePreferences().no_bouncers = false;
    IdePreferences().SourceExtensions = {"x"};
    set_prototype_table_size(12);
    reset_settings_to_defaults();
    EXPECT_EQ(IdePreferences().stdio.columns, 80);
    EXPECT_TRUE(IdePreferences().no_bouncers);
    EXPECT_TRUE(IdePreferences().SourceExtensions.empty());
    EXPECT_EQ(prototype_table_size(), 8192u);
}
