// The Project menu's commands on the IDE as a new user starts it: the project files, the
// current project, the title and the status panel follow; an editor that refuses to close
// stops a command before anything changes.
#include "GuiHarness.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

#include "driver/CC_GO.h"
#include "SeamDoubles.h"
#include "settings/guiKXPreferences.h"
#include "settings/guiProjects.h"
#include "shell/kxwStartup.h"

namespace {

namespace fs = std::filesystem;

class ProjectCommands : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        m_config = Path("home-config");
        setenv("XDG_CONFIG_HOME", m_config.c_str(), 1);
        set_ide_store(nullptr);
        set_settings_registry_path("");
        m_main = StartIde({"kxw"}, Path("kxw"));
        TfrmMainWindow *main = m_main;
        [&] { QTRY_VERIFY(!main->FirstTimeOnly()->isActive()); }();
        m_default = gProject->FileName();
        m_boxes.shown.clear();
    }
    void TearDown() override
    {
        GuiTest::TearDown();
        install_seam_doubles();
        setenv("XDG_CONFIG_HOME", test_config_home().c_str(), 1);
    }
    std::string Panel(int panel) { return m_main->StatusPanel(panel)->text().toStdString(); }
    std::string Title() { return m_main->windowTitle().toStdString(); }
    const std::string &Distribution() { return IdePreferences().distribution; }
    // An editor with unsaved text, whose close the next box answer decides.
    TfrmEdit *ModifiedEditor()
    {
        TfrmEdit *editor = m_main->OpenFile(Write("keep.c", "k\n"));
        Type(editor, "x");
        return editor;
    }
    // A project file written with the factory settings.
    std::string ProjectFile(const std::string &name)
    {
        const std::string path = Path(name);
        EXPECT_TRUE(TKXProject(path).Update());
        return path;
    }
    std::string m_config;
    std::string m_default;
};

TEST_F(ProjectCommands, CreateOnAnExistingFileAsksAndOnlyYesGoesOn)
{
    const std::string file = Write("board.kxp", "not a project\n");
    for (int answer : {kIdNo, kIdCancel}) {
        m_boxes.shown.clear();
        m_boxes.answers = {answer};
        m_dialogs.choices = {{file}};
        m_main->actProjectCreate->trigger();
        ASSERT_EQ(m_boxes.shown.size(), 1u);
        EXPECT_EQ(m_boxes.shown[0].text, file + "Exists. Overwrite?");
        EXPECT_EQ(m_boxes.shown[0].caption, "");
        EXPECT_EQ(m_boxes.shown[0].flags, kMbYesNoCancel | kMbIconExclamation);
        EXPECT_EQ(Read(file), "not a project\n");
        EXPECT_EQ(gProject->FileName(), m_default);
    }
    const FileDialogRequest &asked = m_dialogs.requests.back();
    EXPECT_EQ(asked.kind, FileDialogRequest::Kind::Save) << "a new project file can be named";
    EXPECT_EQ(asked.title, "Create");
    EXPECT_FALSE(asked.must_exist);
    EXPECT_FALSE(asked.multi_select);

    set_compile_mode(0);
    m_boxes.answers = {kIdYes};
    m_dialogs.choices = {{file}};
    m_main->actProjectCreate->trigger();
    EXPECT_EQ(gProject->FileName(), file);
    EXPECT_EQ(IdePreferences().project, file);
    EXPECT_EQ(Read(file), Read(gFactoryProjectPath)) << "written with the factory settings";
    EXPECT_EQ(get_compile_mode(), 1) << "the BIOS is to be loaded again";
    EXPECT_EQ(Panel(0), "board");
    EXPECT_EQ(Title(), "board - " + Distribution());
}

TEST_F(ProjectCommands, CreateNamesANewFile)
{
    m_dialogs.choices = {{Path("fresh.kxp")}};
    m_main->actProjectCreate->trigger();
    EXPECT_TRUE(m_boxes.shown.empty()) << "nothing to overwrite, nothing asked";
    EXPECT_EQ(gProject->FileName(), Path("fresh.kxp"));
    EXPECT_TRUE(fs::is_regular_file(Path("fresh.kxp")));
    EXPECT_EQ(Panel(0), "fresh");
}

TEST_F(ProjectCommands, OpenThenCloseComesBackToTheDefaultProject)
{
    const std::string file = ProjectFile("work.kxp");
    m_dialogs.choices = {{file}};
    m_main->actProjectOpen->trigger();
    EXPECT_EQ(gProject->FileName(), m_default) << "the project opens on a queued call";
    Settle();
    EXPECT_EQ(gProject->FileName(), file);
    EXPECT_EQ(Panel(0), "work");
    EXPECT_EQ(Title(), "work - " + Distribution());
    EXPECT_EQ(m_main->LastProjectDir(), fs::path(file).parent_path().string());
    const FileDialogRequest &asked = m_dialogs.requests.back();
    EXPECT_EQ(asked.title, "Open");
    EXPECT_TRUE(asked.must_exist);

    m_main->actProjectClose->trigger();
    Settle();
    EXPECT_EQ(gProject->FileName(), m_default);
    EXPECT_EQ(Panel(0), "Default");
    EXPECT_EQ(Title(), Distribution()) << "the default project: the text alone";
}

TEST_F(ProjectCommands, SaveAsRenamesTheProject)
{
    m_dialogs.choices = {{Path("copy.kxp")}};
    m_main->actProjectSaveAs->trigger();
    EXPECT_EQ(gProject->FileName(), Path("copy.kxp"));
    EXPECT_TRUE(fs::is_regular_file(Path("copy.kxp")));
    EXPECT_EQ(Panel(0), "copy");
    EXPECT_EQ(Title(), "copy - " + Distribution());
}

// The chosen file is gone by the time it is opened: the user is told and the default project
// is what title, settings and the next save speak of.
TEST_F(ProjectCommands, AProjectThatCannotBeUsedGivesWayToTheDefault)
{
    const std::string file = ProjectFile("work.kxp");
    m_dialogs.choices = {{file}};
    m_main->actProjectOpen->trigger();
    fs::remove(file);
    Settle();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "The path specified\n" + file + "\nis invalid.");
    EXPECT_EQ(gProject->FileName(), m_default);
    EXPECT_EQ(IdePreferences().project, m_default);
    EXPECT_EQ(Panel(0), "Default");
    EXPECT_EQ(Title(), Distribution());
}

// Create, Open and Close each stop at an editor that keeps its text (Cancel).
TEST_F(ProjectCommands, AnEditorThatRefusesToCloseStopsTheCommand)
{
    const std::string other = ProjectFile("other.kxp");
    TfrmEdit *editor = ModifiedEditor();
    struct Step {
        const char *name;
        std::function<void()> run;
    };
    const Step steps[] = {
        {"Create", [&] { m_dialogs.choices = {{Path("new.kxp")}}; m_main->actProjectCreate->trigger(); }},
        {"Open", [&] { m_dialogs.choices = {{other}}; m_main->actProjectOpen->trigger(); }},
        {"Close", [&] { m_main->actProjectClose->trigger(); }},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        m_boxes.answers = {kIdCancel};
        step.run();
        Settle();
        EXPECT_EQ(gProject->FileName(), m_default);
        EXPECT_EQ(IdePreferences().project, m_default);
        ASSERT_EQ(m_main->Editors().size(), 1u);
        EXPECT_TRUE(editor->IsModified());
    }
    EXPECT_FALSE(fs::exists(Path("new.kxp")));
}

} // namespace
