// The project's macro definitions: the defines text and its parse, the check with its question,
// the two maps, the text in the file, and what the compile-settings snapshot makes of a change.
#include "ProjectFixture.h"

#include "driver/CC_GO.h"
#include "core/guiInterface.h"

namespace {

struct DefinesCase {
    const char *name;
    std::string text;
    ProjectDefines defines;
    const char *invalid;
};

const DefinesCase kDefines[] = {
    {"empty", "", {}, ""},
    {"two_lines", "A=1\r\nB", {{"A", "1"}, {"B", ""}}, ""},
    {"last_definition_wins", "X=1;X=2", {{"X", "2"}}, ""},
    {"escaped_semicolon", "V=a\\;b", {{"V", "a;b"}}, ""},
    {"other_backslashes_stay", "P=c:\\dir\\x", {{"P", "c:\\dir\\x"}}, ""},
    {"blanks_around_equals_and_at_the_end", "  N \t=  v w \t\r\nM", {{"M", ""}, {"N", "v w"}}, ""},
    {"value_on_a_later_line", "A=\r\n\r\n  5", {{"A", "5"}}, ""},
    {"name_alone_with_semicolon", "A;B;", {{"A", ""}, {"B", ""}}, ""},
    {"name_then_blank_then_line_end", "A \r\nB=2", {{"A", ""}, {"B", "2"}}, ""},
    {"lone_line_feeds", "A\nB=2\nC", {{"A", ""}, {"B", "2"}, {"C", ""}}, ""},
    {"names_differ_in_case", "abc=1;ABC=2;Abc", {{"ABC", "2"}, {"Abc", ""}, {"abc", "1"}}, ""},
    {"underscore_and_digits", "_x9=1", {{"_x9", "1"}}, ""},
    {"equals_at_the_very_end_defines_it_empty", "A=1;B=", {{"A", "1"}, {"B", ""}}, ""},
    {"lone_backslash_at_the_end_stays", "A=x\\", {{"A", "x\\"}}, ""},
    {"semicolon_first_in_a_value", "A=;B", {{"A", ";B"}}, ""},
    {"text_ends_at_a_nul", std::string("A=1\0B=2", 7), {{"A", "1"}}, ""},
    {"name_starting_with_a_digit", "9X=1", {}, "9"},
    {"hyphen_in_a_name", "AB-C=1", {}, "AB-"},
    {"definitions_before_the_invalid_name_stay", "A=1\r\nB=2\r\n-C", {{"A", "1"}, {"B", "2"}}, "-"},
    {"two_words", "A B=1", {}, "A B"},
    {"byte_above_127", "A\xE9=1", {}, "A\xE9"},
};

class DefinesParse : public ProjectFixture, public ::testing::WithParamInterface<DefinesCase> {};

}  // namespace

TEST_P(DefinesParse, FillsTheParsedMapUpToTheFirstInvalidName)
{
    const DefinesCase &c = GetParam();
    TKXProject project((dir / "p.kxp").string());
    std::string invalid = "stale";
    project.ParseDefines(c.text, invalid);
    EXPECT_EQ(project.ParsedDefines(), c.defines);
    EXPECT_EQ(invalid, c.invalid);
    EXPECT_TRUE(project.CommittedDefines().empty()) << "only a commit reaches the compiler";
}

INSTANTIATE_TEST_SUITE_P(All, DefinesParse, ::testing::ValuesIn(kDefines),
                         [](const auto &i) { return std::string(i.param.name); });

namespace {

struct CheckCase {
    const char *name;
    const char *text;
    bool status_box_up;
    int answer;
    bool asked, result;
};

const CheckCase kChecks[] = {
    {"all_valid", "A=1", false, kIdYes, false, true},
    {"invalid_yes_corrects_now", "A=1;9", false, kIdYes, true, false},
    {"invalid_no_goes_on", "A=1;9", false, kIdNo, true, true},
    {"status_box_up_takes_them_without_a_question", "A=1;9", true, kIdYes, false, true},
};

class DefinesCheck : public ProjectFixture, public ::testing::WithParamInterface<CheckCase> {};

}  // namespace

TEST_P(DefinesCheck, AsksAboutTheInvalidName)
{
    const CheckCase &c = GetParam();
    TKXProject project((dir / "p.kxp").string());
    headless_message_box_host().answer = c.answer;
    if (c.status_box_up)
        gDialogControl.ShowStatusBox(false, "", "");
    EXPECT_EQ(project.CheckDefines(c.text), c.result);
    ASSERT_EQ(boxes().size(), c.asked ? 1u : 0u) << box_texts();
    if (c.asked) {
        EXPECT_EQ(boxes()[0].caption, "Macro Define Input Error");
        EXPECT_EQ(boxes()[0].text, "9 is an invalid macro name\n\nMake correction now?");
        EXPECT_EQ(boxes()[0].flags, kMbYesNo | kMbIconError);
    }
    EXPECT_EQ(project.ParsedDefines(), (ProjectDefines{{"A", "1"}}))
        << "the definitions before the invalid name stay parsed";
}

INSTANTIATE_TEST_SUITE_P(All, DefinesCheck, ::testing::ValuesIn(kChecks),
                         [](const auto &i) { return std::string(i.param.name); });

namespace {

class ProjectDefinesFile : public ProjectFixture {};

}  // namespace

// The load commits only definitions that passed the check.
TEST_F(ProjectDefinesFile, TheLoadCommitsWhatPassesTheCheck)
{
    headless_message_box_host().answer = kIdYes;
    TKXProject &corrected = load_text("[DEFINES]\nDefines=A=1\xFF" "9\n");
    EXPECT_TRUE(corrected.CommittedDefines().empty());
    EXPECT_TRUE(project_defines().empty());

    headless_message_box_host().answer = kIdNo;
    TKXProject &taken = load_text("[DEFINES]\nDefines=A=1\xFF" "9\n");
    EXPECT_EQ(taken.CommittedDefines(), (ProjectDefines{{"A", "1"}}));
    EXPECT_EQ(project_defines(), (ProjectDefines{{"A", "1"}})) << "the compiler takes them";
    EXPECT_EQ(taken.DefinesText(), "A=1\r\n9");
}

TEST_F(ProjectDefinesFile, LineBreaksAreOneByteInTheFile)
{
    const std::string path = write("p.kxp", "");
    gProject = std::make_unique<TKXProject>(path);
    gProject->SetDefines("A=1\r\nB=2\r\n\r\nC\nD");
    EXPECT_EQ(bytes(path), "[DEFINES]\r\nDefines=A=1\xFF" "B=2\xFF\xFF" "C\xFF" "D\r\n");
    TKXProject again(path);
    again.ReadDefines();
    EXPECT_EQ(again.DefinesText(), "A=1\r\nB=2\r\n\r\nC\r\nD");
    EXPECT_EQ(gProject->CommittedDefines(),
              (ProjectDefines{{"A", "1"}, {"B", "2"}, {"C", ""}, {"D", ""}}));
}

// The dialog checks the text when its defines page loses the focus; a text that reaches SetDefines
// without that (OK pressed from the page) is still what the compiler gets.
TEST_F(ProjectDefinesFile, SetDefinesCommitsItsOwnText)
{
    TKXProject &project = load_text("[DEFINES]\nDefines=A=1\n");
    project.CheckDefines("OLD=1");
    project.SetDefines("NEW=2");
    EXPECT_EQ(project.CommittedDefines(), (ProjectDefines{{"NEW", "2"}}));
}

TEST_F(ProjectDefinesFile, CompileSettingsNoticeChangedDefinesAndBiosChoice)
{
    const std::string path = write("p.kxp", crlf("[DEFINES]\nDefines=A=1\n"));
    load(path);
    save_compile_settings();
    EXPECT_FALSE(compile_settings_changed());
    ASSERT_TRUE(gProject->CheckWritable());
    EXPECT_FALSE(compile_settings_changed()) << "reloading the same project changes nothing";

    gProject->SetDefines("A=1");
    EXPECT_FALSE(compile_settings_changed()) << "the same definitions";
    gProject->SetDefines("A=2");
    EXPECT_TRUE(compile_settings_changed());
    ASSERT_TRUE(gProject->CheckWritable());
    save_compile_settings();
    IdePreferences().include_bios = !IdePreferences().include_bios;
    EXPECT_TRUE(compile_settings_changed());
    ASSERT_TRUE(gProject->CheckWritable());
    EXPECT_FALSE(compile_settings_changed()) << "the file's choice is back";
}
