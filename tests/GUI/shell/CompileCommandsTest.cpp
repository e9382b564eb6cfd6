// The compile commands as the user meets them: the command runner's error policy, the order of
// the preparation, the compile and the after-compile step, the backup copy, the memory mode of
// one compile, the notes after a load, the library question, the default source file and the
// BIOS compile. The compile-and-load sequence and the link are recording doubles.
#include "CommandTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include <stdexcept>

#include "core/CC_ER.h"
#include "core/CC_MISC.h"
#include "shell/frmKXMessages.h"
#include "core/guiExceptions.h"
#include "settings/guiProjects.h"

namespace {

using CompileCommands = CommandTest;

// ---- the runner -------------------------------------------------------------------------------

struct RunnerCase {
    const char *name;
    bool tcp;
    // What the compile throws: "cancel", "error", "other".
    const char *thrown;
    // The link's pending error is raised when the cancel asks for it.
    bool pending_error;
    std::vector<std::string> calls;     // in this order
    std::vector<std::string> not_calls; // never
    std::vector<std::string> captions;  // of the boxes shown
    bool leaves_debug_mode;
};

const RunnerCase kRunnerCases[] = {
    {"CancelOnSerialLine", false, "cancel", false, {"CloseCompilerSource"},
     {"TcCheckPendingError", "TcCloseConnection"}, {}, false},
    {"CancelOverTcpClosesTheLink", true, "cancel", false,
     {"CloseCompilerSource", "TcCheckPendingError", "TcCloseConnection"}, {}, {}, false},
    {"PendingErrorAfterCancelIsAnErrorAndStillCloses", true, "cancel", true,
     {"TcCheckPendingError", "TcCloseConnection"}, {}, {"Error"}, true},
    {"OurErrorIsShownAndLeavesDebugMode", false, "error", false, {}, {"CloseCompilerSource"},
     {"Error"}, true},
    {"AnythingElseIsAnInternalError", false, "other", false, {}, {}, {"Error"}, false},
    {"AWindowNotShownIsOnlyTold", false, "window", false, {}, {"CloseCompilerSource"},
     {"Error"}, false},
};

class Runner : public CompileCommands, public ::testing::WithParamInterface<RunnerCase> {};

TEST_P(Runner, FollowsTheErrorPolicy)
{
    const RunnerCase &c = GetParam();
    m_dbg.tcp = c.tcp;
    Enter(1);
    if (c.pending_error)
        m_journal.fail = [](const std::string &call) {
            if (call == "TcCheckPendingError")
                throw xTCErr(5033, KX_HERE);
        };
    gDialogControl.ShowStatusBox(true, "Compiling", "");
    Main().RunCompileOperation([&] {
        const std::string thrown = c.thrown;
        if (thrown == "cancel")
            throw xUserCancel(KX_HERE);
        if (thrown == "error")
            throw xFileOpen(5023, "bios.c", KX_HERE);
        if (thrown == "window") {
            try {
                throw xFileOpen(5023, "stack.frm", KX_HERE);
            } catch (xErr &cause) {
                throw xWindowNotShown(cause);
            }
        }
        throw std::runtime_error("not ours");
    });
    EXPECT_TRUE(InOrder(c.calls));
    for (const std::string &call : c.not_calls)
        EXPECT_FALSE(Called(call)) << call;
    EXPECT_EQ(Captions(), c.captions);
    EXPECT_EQ(gDialogControl.Box(), nullptr) << "the status box is closed";
    EXPECT_EQ(Main().RunState(), c.leaves_debug_mode ? 0 : 1);
    if (std::string(c.thrown) == "error") {
        EXPECT_EQ(get_compile_mode(), 1) << "the BIOS is loaded again";
        EXPECT_EQ(Texts().front(), "Cannot open file 'bios.c'.");
    }
    if (std::string(c.thrown) == "window") {
        EXPECT_EQ(get_compile_mode(), 0) << "the loaded program stays";
        EXPECT_EQ(Texts().front(), "Cannot open file 'stack.frm'.") << "the cause's own text";
    }
    if (std::string(c.thrown) == "other") {
        EXPECT_EQ(Texts().front().rfind("Internal error.", 0), 0u) << Texts().front();
    }
}

INSTANTIATE_TEST_SUITE_P(Policy, Runner, ::testing::ValuesIn(kRunnerCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Leaving debug mode fails too (the TCP link will not close): both errors are shown, then the
// internal error; the runner itself throws nothing.
TEST_F(CompileCommands, SecondErrorWhileHandlingShowsBothThenInternalError)
{
    m_link.settings.link_kind = 1;
    Enter(1);
    m_link.fail = [](const std::string &call) {
        if (call == "TcCloseConnection")
            throw xTCErr(5033, KX_HERE);
    };
    Main().RunCompileOperation([] { throw xFileOpen(5023, "a.c", KX_HERE); });
    ASSERT_EQ(m_boxes.shown.size(), 3u) << ::testing::PrintToString(Texts());
    EXPECT_EQ(m_boxes.shown[0].text, "Cannot open file 'a.c'.");
    EXPECT_NE(m_boxes.shown[1].text.find("Target communication error."), std::string::npos);
    EXPECT_EQ(m_boxes.shown[2].text.rfind("Internal error.", 0), 0u);
}

// ---- the compile to the target --------------------------------------------------------------------

TEST_F(CompileCommands, CompileRunsPreparationSequenceAndAfterStepInOrder)
{
    TfrmEdit *editor = Open("a.c", "main(){}\n");
    Main().actCompileExecute();
    EXPECT_TRUE(InOrder({"PausePolling", "TcResetTarget", "Wait 250",
                         "CompileWithBiosCheck " + editor->FileName(), "readEnabledOptions",
                         "SetStartAfterLoad 1", "startLoadedProgram 1", "clearTargetBreakpoints",
                         "ResumePolling", "refreshAfterStop 0", "SetStartAfterLoad 0",
                         "ClearCompileFlags"}));
    EXPECT_EQ(Main().RunState(), 1) << "the loaded program waits in debug mode";
    EXPECT_EQ(Main().CurrentFile(), editor->FileName());
    EXPECT_TRUE(m_boxes.shown.empty());
}

struct ResetCase {
    const char *name;
    bool open, tcp, to_file, flash_write;
};

class ResetBeforeCompile : public CompileCommands,
                           public ::testing::WithParamInterface<ResetCase> {};

// Only an open serial link, not compiling to a file and not writing whole sectors, resets.
TEST_P(ResetBeforeCompile, OnlyOnAnOpenSerialLink)
{
    const ResetCase &c = GetParam();
    m_dbg.connection_open = c.open;
    m_dbg.tcp = c.tcp;
    m_dbg.to_file = c.to_file;
    m_dbg.flash_write_mode = c.flash_write;
    Open("a.c", "main(){}\n");
    (void)Main().PrepareCompile();
    const bool expected = c.open && !c.tcp && !c.to_file && !c.flash_write;
    EXPECT_EQ(Called("TcResetTarget"), expected);
    EXPECT_EQ(Called("Wait 250"), expected);
}

INSTANTIATE_TEST_SUITE_P(Link, ResetBeforeCompile,
                         ::testing::Values(ResetCase{"Serial", true, false, false, false},
                                           ResetCase{"Closed", false, false, false, false},
                                           ResetCase{"Tcp", true, true, false, false},
                                           ResetCase{"ToFile", true, false, true, false},
                                           ResetCase{"FlashWriteMode", true, false, false, true}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(CompileCommands, FailingResetStillCompiles)
{
    TfrmEdit *editor = Open("a.c", "main(){}\n");
    m_journal.fail = [](const std::string &call) {
        if (call == "TcResetTarget")
            throw xTCErr(5033, KX_HERE);
    };
    Main().actCompileExecute();
    EXPECT_TRUE(Called("CompileWithBiosCheck " + editor->FileName()));
    EXPECT_TRUE(m_boxes.shown.empty());
}

struct BinCase {
    const char *name;
    bool with_target;
    const char *compile;
};

class CompileToImage : public CompileCommands, public ::testing::WithParamInterface<BinCase> {};

TEST_P(CompileToImage, CompilesTheFileAndMarksTheBiosForReload)
{
    const BinCase &c = GetParam();
    TIdePreferences &prefs = IdePreferences();
    prefs.compile_to_target = false;
    prefs.compile_targetless_to_bin = !c.with_target;
    prefs.compile_to_bin_with_target = c.with_target;
    TfrmEdit *editor = Open("a.c", "main(){}\n");
    Main().actCompileExecute();
    EXPECT_TRUE(InOrder({"CompileFile " + editor->FileName() + c.compile, "ClearCompileFlags"}));
    EXPECT_FALSE(Called("startLoadedProgram 1")) << "an image is not started";
    EXPECT_EQ(get_compile_mode(), 1);
    EXPECT_EQ(Main().RunState(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, CompileToImage,
                         ::testing::Values(BinCase{"DefinedTarget", false, " alone"},
                                           BinCase{"AttachedTarget", true, " attached"}),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- the backup copy ------------------------------------------------------------------------------

TEST_F(CompileCommands, BackupFileIsTheEditorsTextAndTheEditorStaysModified)
{
    TfrmEdit *editor = Open("prog.c", "int a;\r\n");
    Type(editor, "xy\n");
    const std::string text = editor->Text();
    ASSERT_TRUE(editor->Editor()->isUndoAvailable());
    Main().actCompileExecute();
    EXPECT_EQ(Read(Path("prog.bak")), text);
    EXPECT_EQ(Read(Path("prog.c")), "int a;\r\n") << "the source itself is not saved";
    EXPECT_TRUE(editor->IsModified());
    Main().SetDebugMode(0); // a read-only editor offers no undo
    EXPECT_TRUE(editor->Editor()->isUndoAvailable());
}

TEST_F(CompileCommands, AutoSaveFirstMeansNoBackupFile)
{
    IdePreferences().auto_save = true;
    TfrmEdit *editor = Open("prog.c", "int a;\n");
    Type(editor, "b");
    Main().actCompileExecute();
    EXPECT_FALSE(std::filesystem::exists(Path("prog.bak")));
    EXPECT_EQ(Read(Path("prog.c")), editor->Text());
}

TEST_F(CompileCommands, NoBackupOfAnUnmodifiedEditor)
{
    Open("prog.c", "int a;\n");
    Main().actCompileExecute();
    EXPECT_FALSE(std::filesystem::exists(Path("prog.bak")));
}

// ---- the memory mode of one compile ---------------------------------------------------------------

struct RamCase {
    const char *name;
    const char *thrown; // "", "error", "other"
};

class CompileToRam : public CompileCommands, public ::testing::WithParamInterface<RamCase> {};

TEST_P(CompileToRam, CompilesInRamModeAndPutsTheSettingBack)
{
    const std::string thrown = GetParam().thrown;
    IdePreferences().output_mode = 0;
    Open("a.c", "main(){}\n");
    int mode_seen = -1, compile_mode_seen = -1;
    m_dbg.during_compile = [&] {
        mode_seen = IdePreferences().output_mode;
        compile_mode_seen = get_compile_mode();
        if (thrown == "error")
            throw xTCErr(5033, KX_HERE);
        if (thrown == "other")
            throw std::runtime_error("not ours");
    };
    Main().CompileToTargetMode(1);
    EXPECT_EQ(mode_seen, 1);
    EXPECT_EQ(compile_mode_seen, 1) << "a mode change reloads the BIOS";
    EXPECT_EQ(IdePreferences().output_mode, 0);
}

INSTANTIATE_TEST_SUITE_P(Endings, CompileToRam,
                         ::testing::Values(RamCase{"Compiled", ""}, RamCase{"OurError", "error"},
                                           RamCase{"OtherError", "other"}),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- after the compile ----------------------------------------------------------------------------

TEST_F(CompileCommands, WarningsOnlyStartTheProgramAndShowTheMessages)
{
    Open("a.c", "main(){}\n");
    new_message_record(0, 1, 1, "WARNING a.c: something");
    m_dbg.compile_status = 1;
    Main().actCompileExecute();
    EXPECT_TRUE(Called("startLoadedProgram 1"));
    ASSERT_TRUE(frmMessages);
    EXPECT_TRUE(frmMessages->IsShown());
    EXPECT_TRUE(Main().actToggleMessages->isEnabled());
}

TEST_F(CompileCommands, ErrorsStartNothingAndFocusTheMessages)
{
    Open("a.c", "main(){}\n");
    report_error(1, 1, "bad");
    m_dbg.compile_status = 3;
    Main().actCompileExecute();
    EXPECT_FALSE(Called("readEnabledOptions"));
    EXPECT_FALSE(Called("startLoadedProgram 1"));
    ASSERT_TRUE(frmMessages);
    EXPECT_TRUE(frmMessages->IsShown());
    EXPECT_EQ(Main().RunState(), 0);
}

TEST_F(CompileCommands, ErrorsOverTcpCloseTheLinkAndReloadTheBios)
{
    Open("a.c", "main(){}\n");
    m_dbg.tcp = true;
    m_dbg.compile_status = 2;
    Main().actCompileExecute();
    EXPECT_TRUE(InOrder({"TcCheckPendingError", "TcCloseConnection", "TcCloseConnection"}));
    EXPECT_EQ(get_compile_mode(), 1);
    EXPECT_FALSE(frmMessages && frmMessages->IsShown()) << "no message was recorded";
}

struct NoteCase {
    const char *name;
    uint8_t kernel_state;
    uint16_t memory_mode;
    bool to_image;
    const char *note; // empty: none
};

const NoteCase kNotes[] = {
    {"FlashWithoutKernel", 1, 0, false,
     "Program successfully compiled to flash.\nDisconnect target and toggle reset line to run."},
    {"FlashRunInRamWithoutKernel", 1, 2, false,
     "Program successfully compiled to flash.\nDisconnect target and toggle reset line to run."},
    {"RamWithoutKernel", 1, 1, false,
     "Program successfully compiled to RAM.\nWARNING: To run this program without the "
     "programming cable connected, you must compile to flash."},
    {"NoteAlreadyShown", 2, 0, false, ""},
    {"ImageForRam", 0, 1, true,
     "WARNING: This program was compiled to a .bin file for RAM.\nBin files are intended to "
     "program flash devices not RAM."},
    {"ImageForFlash", 0, 0, true, ""},
};

class AfterLoadNote : public CompileCommands, public ::testing::WithParamInterface<NoteCase> {};

TEST_P(AfterLoadNote, IsShownOnceAsTheCaseSays)
{
    const NoteCase &c = GetParam();
    gDebugRstState = c.kernel_state;
    IdePreferences().output_mode = c.memory_mode;
    IdePreferences().compile_to_target = !c.to_image;
    IdePreferences().compile_targetless_to_bin = c.to_image;
    Open("a.c", "main(){}\n");
    Main().actCompileExecute();
    Main().actCompileExecute();
    std::vector<std::string> expected;
    if (*c.note) {
        expected.push_back(c.note);
        if (c.to_image)
            expected.push_back(c.note); // every image compile for RAM warns
    }
    EXPECT_EQ(Texts(), expected);
    if (c.kernel_state == 1) {
        EXPECT_EQ(gDebugRstState, 2);
    }
    if (!expected.empty()) {
        EXPECT_EQ(m_boxes.shown.front().caption, "Korvex");
    }
    EXPECT_FALSE(Called("startLoadedProgram 1")) << "without the kernel nothing is started";
}

INSTANTIATE_TEST_SUITE_P(Notes, AfterLoadNote, ::testing::ValuesIn(kNotes),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(CompileCommands, TcpDownloadOnlyResetsIntoTheProgramAndSaysSo)
{
    IdePreferences().tcp_download_only = true;
    m_dbg.tcp = true;
    Open("a.c", "main(){}\n");
    Main().actCompileExecute();
    EXPECT_TRUE(InOrder({"readEnabledOptions", "TcResetTargetWithMode", "TcCloseConnection"}));
    EXPECT_FALSE(Called("startLoadedProgram 1"));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Program Successfully loaded and running on target"});
    EXPECT_EQ(Captions(), std::vector<std::string>{"Success"});
    EXPECT_EQ(get_compile_mode(), 1);
    EXPECT_EQ(Main().RunState(), 0);
}

TEST_F(CompileCommands, ProgramThatWillNotStartLeavesDebugMode)
{
    m_dbg.start_result = 0;
    Open("a.c", "main(){}\n");
    Main().actCompileExecute();
    EXPECT_EQ(Main().RunState(), 0);
    EXPECT_FALSE(Called("clearTargetBreakpoints"));
    EXPECT_TRUE(m_dbg.start_after_load) << "kept until the next load";
    EXPECT_TRUE(m_boxes.shown.empty()) << "the start told its own cause";
}

// ---- what is compiled -----------------------------------------------------------------------------

struct LibraryCase {
    const char *name;
    bool list_exists;
    const char *line; // the list's line naming the file ("%s" the file's full path)
    int answer;
    bool asked;
    bool compiled;
};

const LibraryCase kLibraryCases[] = {
    {"SameFileOtherCaseAskedOk", true, "upper", kIdOk, true, true},
    {"SameFileOtherCaseCancelled", true, "upper", kIdCancel, true, false},
    {"RelativeToProgramDirectory", true, "relative", kIdCancel, true, false},
    {"OtherFileNotAsked", true, "other", kIdCancel, false, true},
    {"MissingListNotAsked", false, "", kIdCancel, false, true},
};

class LibraryQuestion : public CompileCommands,
                        public ::testing::WithParamInterface<LibraryCase> {};

TEST_P(LibraryQuestion, AskedOnlyForAListedFile)
{
    const LibraryCase &c = GetParam();
    TfrmEdit *editor = Open("mylib.lib", "/*** BeginHeader */\n");
    const std::string line = std::string(c.line) == "upper"      ? upper_case(editor->FileName())
                             : std::string(c.line) == "relative" ? std::string("mylib.lib")
                                                                 : Path("other.lib");
    if (c.list_exists)
        Write("Lib.dir", "first.lib\r\n" + line + "\r\n");
    set_libraries_file(Path("Lib.dir"));
    m_boxes.answers = {c.answer};
    Main().actCompileExecute();
    ASSERT_EQ(m_boxes.shown.size(), c.asked ? 1u : 0u);
    if (c.asked) {
        EXPECT_EQ(m_boxes.shown[0].text, "The file being compiled is a library file. Would you "
                                         "like to proceed with the compilation?");
        EXPECT_EQ(m_boxes.shown[0].caption, "Library file compilation");
    }
    EXPECT_EQ(Called("CompileWithBiosCheck " + editor->FileName()), c.compiled);
}

INSTANTIATE_TEST_SUITE_P(List, LibraryQuestion, ::testing::ValuesIn(kLibraryCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(CompileCommands, MissingDefaultSourceYesLoopsThroughTheOptionsDialog)
{
    TIdePreferences &prefs = IdePreferences();
    prefs.use_default_source_file = true;
    prefs.default_source_file = "main.c";
    Open("front.c", "int f;\n");
    int dialogs = 0;
    m_dialogs.on_advanced = [&] {
        // The second time the user names a file that exists.
        if (++dialogs == 2)
            Write("main.c", "main(){}\n");
    };
    m_boxes.answers = {kIdYes, kIdYes};
    Main().actCompileExecute();
    EXPECT_EQ(dialogs, 2);
    ASSERT_EQ(m_boxes.shown.size(), 2u);
    EXPECT_EQ(m_boxes.shown[0].text,
              "Cannot find main.c.  Would you like to specify a default file for this project?");
    EXPECT_EQ(m_boxes.shown[0].caption, "File does not exist");
    EXPECT_TRUE(Called("CompileWithBiosCheck " + Path("main.c")));
}

struct DefaultSourceCase {
    const char *name;
    const char *default_source;
};

class DefaultSourceNo : public CompileCommands,
                        public ::testing::WithParamInterface<DefaultSourceCase> {};

TEST_P(DefaultSourceNo, CompilesTheFrontEditor)
{
    TIdePreferences &prefs = IdePreferences();
    prefs.use_default_source_file = true;
    prefs.default_source_file = GetParam().default_source;
    TfrmEdit *front = Open("front.c", "int f;\n");
    m_boxes.answers = {kIdNo};
    Main().actCompileExecute();
    EXPECT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_FALSE(Called("AdvancedCompilerOptions"));
    EXPECT_TRUE(Called("CompileWithBiosCheck " + front->FileName()));
}

// After a restart the project's editors come back; the user clicks into the one behind. F5
// compiles that one, and the status bar shows its caret, not the other's.
TEST_F(CompileCommands, F5CompilesTheEditorClickedAfterTheProjectReopened)
{
    std::string text;
    for (int line = 0; line < 40; ++line)
        text += "int v" + std::to_string(line) + ";\n";
    const std::string counter = Write("counter.c", text), forever_file = Write("forever.c", text);
    auto section = [](int k, const std::string &path, int caret_line) {
        const std::string s = numbered_section("OpenFile", k);
        return "[" + s + "]\r\n" + s + " Path=" + path + "\r\n" + s + " X=" +
               std::to_string(30 * k) + "\r\n" + s + " Y=" + std::to_string(30 * k) +
               "\r\n" + s + " W=300\r\n" + s + " H=200\r\n" + s +
               " Cursor Row=" + std::to_string(caret_line) + "\r\n";
    };
    const std::string project = Write("p.kxp", "[Open Files]\r\nNumber Open=2\r\n" +
                                                  section(1, counter, 30) +
                                                  section(2, forever_file, 7));
    reset_projects();
    gProject = std::make_unique<TKXProject>(project);
    gProject->ReadMruOpenFiles();
    Settle(); // the carets are reported when the memos update their views
    ASSERT_EQ(Main().Editors().size(), 2u);
    TfrmEdit *behind = Main().FindEditor(forever_file);
    ASSERT_NE(behind, nullptr);
    ASSERT_NE(Main().ActiveEditorWindow(), behind) << "counter.c is in front after the load";
    EXPECT_EQ(Main().StatusPanel(1)->text(), "Line: 31") << "the front editor's caret";

    QApplication::setActiveWindow(&Main());
    QWidget *text_area = behind->Editor()->viewport();
    QTest::mouseClick(text_area, Qt::LeftButton, {}, QPoint(40, 5));
    Settle();
    ASSERT_EQ(Main().ActiveEditorWindow(), behind) << "the click brought forever_file.c forward";
    EXPECT_EQ(Main().StatusPanel(1)->text().left(6), "Line: ");
    EXPECT_NE(Main().StatusPanel(1)->text(), "Line: 31") << "not the other editor's line";

    EXPECT_EQ(Main().actCompile->shortcut(), QKeySequence(Qt::Key_F5));
    Main().actCompile->trigger();
    EXPECT_TRUE(Called("CompileWithBiosCheck " + forever_file));
    EXPECT_FALSE(Called("CompileWithBiosCheck " + counter));
    reset_projects();
}

INSTANTIATE_TEST_SUITE_P(Names, DefaultSourceNo,
                         ::testing::Values(DefaultSourceCase{"Missing", "main.c"},
                                           DefaultSourceCase{"Empty", ""}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(CompileCommands, ExistingDefaultSourceIsOpenedAndCompiled)
{
    TIdePreferences &prefs = IdePreferences();
    prefs.use_default_source_file = true;
    prefs.default_source_file = "main.c";
    Write("main.c", "main(){}\n");
    Open("front.c", "int f;\n");
    Main().actCompileExecute();
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_TRUE(Called("CompileWithBiosCheck " + Path("main.c")));
    EXPECT_NE(Main().FindEditor(Path("main.c")), nullptr) << "opened in an editor";
}

// ---- the BIOS -------------------------------------------------------------------------------------

TEST_F(CompileCommands, BiosNoteStaysTwoAndAHalfSecondsWhenNoErrorsWereRecorded)
{
    Open("a.c", "main(){}\n");
    new_message_record(0, 1, 1, "WARNING bios: something");
    m_dbg.compile_status = 1;
    bool compiling_bios = false;
    m_dbg.during_compile = [&] { compiling_bios = Main().CompilingBios(); };
    Main().RunCompileOperation([this] { Main().CompileBios(); });
    EXPECT_TRUE(compiling_bios);
    EXPECT_TRUE(InOrder({"PausePolling", "ResetAndLoadBios", "Wait 2500"}));
    EXPECT_FALSE(Called("CompileWithBiosCheck " + Path("a.c")));
    EXPECT_FALSE(Called("startLoadedProgram 1"));
    EXPECT_EQ(gDialogControl.Box(), nullptr);
    EXPECT_FALSE(Main().CompilingBios());
}

struct BiosFailureCase {
    const char *name;
    int status;
    bool throws;
};

class BiosFailure : public CompileCommands,
                    public ::testing::WithParamInterface<BiosFailureCase> {};

TEST_P(BiosFailure, ShowsNoSuccessAndClearsTheBiosFlag)
{
    const BiosFailureCase &c = GetParam();
    m_dbg.compile_status = c.status;
    if (c.throws)
        m_journal.fail = [](const std::string &call) {
            if (call == "ResetAndLoadBios")
                throw xTCErr(5033, KX_HERE);
        };
    Main().RunCompileOperation([this] { Main().CompileBios(); });
    EXPECT_FALSE(Called("Wait 2500"));
    EXPECT_FALSE(Main().CompilingBios());
    if (c.status >= 0) {
        EXPECT_EQ(get_compile_mode(), 1) << "the BIOS is loaded again next time";
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, BiosFailure,
                         ::testing::Values(BiosFailureCase{"LoaderFailed", 2, false},
                                           BiosFailureCase{"Cancelled", -1, false},
                                           BiosFailureCase{"LinkError", 0, true}),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- enabled states -------------------------------------------------------------------------------

TEST_F(CompileCommands, CompileActionsFollowEditorBoardAndLink)
{
    auto enabled = [&](QAction *action) {
        Main().UpdateActions();
        return action->isEnabled();
    };
    EXPECT_FALSE(enabled(Main().actCompile)) << "no editor";
    EXPECT_TRUE(enabled(Main().actCompileBIOS));
    Open("a.c", "main(){}\n");
    EXPECT_TRUE(enabled(Main().actCompile));
    EXPECT_TRUE(enabled(Main().actCompileToTargetRAM));
    gBoardParameters.boardType = 0;
    EXPECT_FALSE(enabled(Main().actCompileToBinFlash)) << "no board for an image";
    IdePreferences().compile_to_target = false;
    EXPECT_FALSE(enabled(Main().actCompile));
    gBoardParameters.boardType = 0x1234;
    EXPECT_TRUE(enabled(Main().actCompileToBinFlash));
    EXPECT_TRUE(enabled(Main().actCompile));
    m_dbg.tcp = true;
    EXPECT_FALSE(enabled(Main().actCompileBIOS)) << "no BIOS compile over TCP/IP";
    gBoardParameters = BoardParameters{};
}

} // namespace

namespace {

// Without the compile-and-load sequence installed a compile refuses with its reason and
// nothing is reported as compiled or loaded.
TEST_F(CompileCommands, MissingSequenceRefusesClearly)
{
    set_debugger_operations(nullptr);
    Open("a.c", "main(){}\n");
    Main().actCompileExecute();
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "The target link is not part of this build.");
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    EXPECT_EQ(Main().RunState(), 0);
}

} // namespace
