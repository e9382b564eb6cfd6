// The Advanced Compiler Options dialog: opened from the Compiler page, its file checks against
// the program directory, what OK stores and hands to the compiler, and what Cancel leaves.
#include "OptionsDoubles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <filesystem>
#include <memory>

#include "options/frmKXAdvCompilerOpt.h"
#include "options/frmKXEnvOptions.h"
#include "settings/guiEnvironment.h"

namespace {

class AdvancedOptions : public OptionsTest {
protected:
    std::unique_ptr<TfrmAdvCompilerOpt> dialog;

    // The program directory is a folder of its own below the current one, so that a name found
    // only in the current folder is told apart.
    void SetUp() override
    {
        OptionsTest::SetUp();
        std::filesystem::create_directories(Path("prog"));
        set_program_directory(Path("prog") + "/");
    }
    TfrmAdvCompilerOpt &Open()
    {
        dialog = std::make_unique<TfrmAdvCompilerOpt>(nullptr);
        dialog->show();
        journal.clear();
        return *dialog;
    }
};

TEST_F(AdvancedOptions, CompilingToTheTargetForcesTheBios)
{
    struct Case {
        const char *name;
        QRadioButton *TfrmEnvOptions::*mode;
        bool include_bios;  // stored
        bool checked, enabled;
    };
    const Case cases[] = {
        {"ToTarget", &TfrmEnvOptions::rdbCompileToTarget, false, true, false},
        {"ToFile", &TfrmEnvOptions::rdbCompileToFile, false, false, true},
        {"ToFileUsingTarget", &TfrmEnvOptions::rdbCompileToFileUseTarget, false, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        IdePreferences().include_bios = c.include_bios;
        TfrmEnvOptions options(nullptr, &gBoardParameters);
        options.show();
        (options.*c.mode)->setChecked(true);
        bool checked = false, enabled = false;
        shell.modal = [&](QDialog &shown) {
            auto &advanced = dynamic_cast<TfrmAdvCompilerOpt &>(shown);
            checked = advanced.chkIncludeBIOS->isChecked();
            enabled = advanced.chkIncludeBIOS->isEnabled();
        };
        options.btnAdvanced->click();
        EXPECT_EQ(checked, c.checked);
        EXPECT_EQ(enabled, c.enabled);
        options.btnCancel->click();
    }
}

TEST_F(AdvancedOptions, TheSourceListHoldsEachFileOnceSorted)
{
    IdePreferences().default_source_file = "/w/main.c";
    shell.open_files = {"/w/util.c", "/w/alpha.c", "/w/util.c", "/w/main.c"};
    TfrmAdvCompilerOpt &d = Open();
    QStringList items;
    for (int i = 0; i < d.cboDefaultSource->count(); ++i)
        items << d.cboDefaultSource->itemText(i);
    EXPECT_EQ(items, (QStringList{"/w/alpha.c", "/w/main.c", "/w/util.c"}));
    EXPECT_EQ(d.cboDefaultSource->currentText(), "/w/main.c");
}

TEST_F(AdvancedOptions, UseBoxesEnableTheirPathsAndButtons)
{
    TfrmAdvCompilerOpt &d = Open();
    EXPECT_FALSE(d.edtUserBIOSPath->isEnabled());
    EXPECT_TRUE(d.edtUserBIOSPath->isReadOnly());
    EXPECT_FALSE(d.btnUserBIOS->isEnabled());
    d.chkUseUserBIOS->setChecked(true);
    EXPECT_TRUE(d.edtUserBIOSPath->isEnabled());
    EXPECT_FALSE(d.edtUserBIOSPath->isReadOnly());
    EXPECT_TRUE(d.btnUserBIOS->isEnabled());
    d.chkDefaultSource->setChecked(true);
    EXPECT_TRUE(d.cboDefaultSource->isEnabled());
    EXPECT_TRUE(d.btnDefaultSource->isEnabled());
    EXPECT_FALSE(d.btnUserLib->isEnabled());
}

struct FileCheck {
    const char *name;
    bool use_bios;
    const char *bios;
    bool use_lib;
    const char *lib;
    const char *refusal;  // nullptr: accepted
    const char *focus;
};
void PrintTo(const FileCheck &c, std::ostream *out) { *out << c.name; }
const FileCheck kFileChecks[] = {
    {"EmptyBios", true, "", false, "", "Error: Invalid User BIOS filename", "edtUserBIOSPath"},
    {"EmptyLib", false, "", true, "", "Error: Invalid Library Directory filename",
     "edtUserLibPath"},
    // The current folder is not the program directory: a file only there is no file.
    {"BiosOnlyInTheCurrentFolder", true, "here.c", false, "",
     "Error: Invalid User BIOS filename", "edtUserBIOSPath"},
    {"BiosFirstThenLib", true, "none.c", true, "none.dir", "Error: Invalid User BIOS filename",
     "edtUserBIOSPath"},
    {"RelativeInTheProgramDirectory", true, "mybios.c", true, "sub/my.dir", nullptr, nullptr},
    {"UnusedPathsAreNotChecked", false, "none.c", false, "none.dir", nullptr, nullptr},
};
class AdvancedFileCheck : public AdvancedOptions,
                          public ::testing::WithParamInterface<FileCheck> {};

TEST_P(AdvancedFileCheck, LooksInTheProgramDirectory)
{
    const FileCheck &c = GetParam();
    Write("here.c", "");
    Write("prog/mybios.c", "");
    Write("prog/sub/my.dir", "");
    const std::filesystem::path cwd = std::filesystem::current_path();
    TfrmAdvCompilerOpt &d = Open();
    d.chkUseUserBIOS->setChecked(c.use_bios);
    d.edtUserBIOSPath->setText(c.bios);
    d.chkUseUserLib->setChecked(c.use_lib);
    d.edtUserLibPath->setText(c.lib);
    d.btnOK->click();
    EXPECT_EQ(std::filesystem::current_path(), cwd) << "the current folder stays where it was";
    if (c.refusal) {
        EXPECT_EQ(TakeBoxes(), Journal{c.refusal});
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.focusWidget(), d.findChild<QWidget *>(c.focus));
        EXPECT_TRUE(journal.empty());
        return;
    }
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_FALSE(d.isVisible());
}
INSTANTIATE_TEST_SUITE_P(All, AdvancedFileCheck, ::testing::ValuesIn(kFileChecks),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(AdvancedOptions, OkStoresAsTypedAndHandsTheCompilerJoinedPaths)
{
    Write("prog/mybios.c", "");
    TIdePreferences &p = IdePreferences();
    TfrmAdvCompilerOpt &d = Open();
    d.chkUseUserBIOS->setChecked(true);
    d.edtUserBIOSPath->setText("mybios.c");
    d.chkUseUserLib->setChecked(false);
    d.edtUserLibPath->setText("kept.dir");
    d.chkDefaultSource->setChecked(true);
    d.cboDefaultSource->setEditText("/w/main.c");
    d.rdbRestrictWatches->setChecked(true);
    d.chkIncludeBIOS->setChecked(false);
    d.chkIncludeRST28->setChecked(false);
    d.btnOK->click();

    const std::string program = Path("prog") + "/";
    EXPECT_EQ(journal, (Journal{"WriteIncludeBIOS", "SetLibrariesFile " + program + "Lib.dir",
                                "SetBiosFile " + program + "mybios.c", "WriteIncludeRST"}));
    EXPECT_EQ(p.bios_file_name, "mybios.c");
    EXPECT_TRUE(p.use_bios_file);
    EXPECT_EQ(p.lib_file_name, "kept.dir");
    EXPECT_FALSE(p.use_lib_file);
    EXPECT_EQ(p.default_source_file, "/w/main.c");
    EXPECT_TRUE(p.use_default_source_file);
    EXPECT_TRUE(p.restrict_watch_expressions);
    EXPECT_FALSE(p.include_bios);
    EXPECT_FALSE(p.include_rst28);
    EXPECT_EQ(ProjectValue(kSectionIncludeBios, "Include BIOS"), "0");
    EXPECT_EQ(ProjectValue(kSectionIncludeRst, "Include RST"), "0");
}

TEST_F(AdvancedOptions, WithoutItsOwnBiosTheCompilerTakesTheDefaultOne)
{
    IdePreferences().bios_file_name = "/somewhere/else.c";
    TfrmAdvCompilerOpt &d = Open();
    d.btnOK->click();
    EXPECT_EQ(compiler.bios_file, Path("prog") + "/bios/Vireonbios.c");
    EXPECT_EQ(IdePreferences().bios_file_name, "/somewhere/else.c");
}

TEST_F(AdvancedOptions, CancelChangesNothing)
{
    const TIdePreferences before = IdePreferences();
    TfrmAdvCompilerOpt &d = Open();
    d.chkUseUserBIOS->setChecked(true);
    d.edtUserBIOSPath->setText("x.c");
    d.chkIncludeRST28->setChecked(false);
    d.btnCancel->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(journal.empty());
    EXPECT_EQ(IdePreferences(), before);
    EXPECT_EQ(compiler.bios_file, "unchanged.c");
    EXPECT_EQ(compiler.libraries_file, "unchanged.dir");
}

TEST_F(AdvancedOptions, BrowsingRemembersTheFolderAndFillsThePath)
{
    TIdePreferences &p = IdePreferences();
    p.adv_lib_dir = "/start";
    TfrmAdvCompilerOpt &d = Open();
    d.chkUseUserLib->setChecked(true);
    m_dialogs.choices.push_back({"/libs/board.dir"});
    d.btnUserLib->click();
    ASSERT_EQ(m_dialogs.requests.size(), 1u);
    EXPECT_EQ(m_dialogs.requests[0].title, "Choose a Library Directory file");
    EXPECT_EQ(m_dialogs.requests[0].filter, "Library Directory files (*.dir)|*.dir");
    EXPECT_EQ(m_dialogs.requests[0].directory, "/start");
    EXPECT_EQ(d.edtUserLibPath->text(), "/libs/board.dir");
    EXPECT_EQ(p.adv_lib_dir, "/libs");
    // A cancelled browser changes nothing.
    d.btnUserLib->click();
    EXPECT_EQ(d.edtUserLibPath->text(), "/libs/board.dir");
    EXPECT_EQ(p.adv_lib_dir, "/libs");
}

} // namespace
