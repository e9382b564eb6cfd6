// Host services: message texts, status box and pump, status lines, adapters, pass phrase,
// compile settings, version values and start-up globals.
#include "core/guiInterface.h"

#include <gtest/gtest.h>

#include "HostDoubles.h"

#include <sstream>
#include <string>

#include "driver/CC_DUM.h"
#include "driver/CC_GO.h"
#include "driver/CC_VER.h"
#include "core/SEAM_SETTINGS.h"
#include "core/SEAM_TARGET.h"
#include "SeamDoubles.h"
#include "SettingsDoubles.h"
#include "driver/Temporaryglobals.h"

namespace {

class FoundationHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_host_services();
        reset_settings_to_defaults();
        unmute_messages();
        gTCState = 0;
    }
    void TearDown() override
    {
        reset_host_services();
        reset_settings_to_defaults();
        unmute_messages();
        gTCState = 0;
    }
    static HeadlessStatusBox &box()
    {
        auto *b = dynamic_cast<HeadlessStatusBox *>(gDialogControl.Box());
        EXPECT_NE(b, nullptr);
        return *b;
    }
};

TEST_F(FoundationHost, ResourceTextsAreExactAndMissingIsEmpty)
{
    EXPECT_EQ(GetResString(5016), "Operation canceled by user.");
    EXPECT_EQ(GetResString(616), "Too many or fatal compilation error.");
    EXPECT_EQ(GetResString(4019, 10), "10 errors reached; further errors suppressed.");
    EXPECT_EQ(GetResString(123456789), "");
    // Without arguments a text with conversions comes back as it stands.
    EXPECT_EQ(GetResString(4019), "%d errors reached; further errors suppressed.");
    // Nested calls each keep their own text.
    std::string a = GetResString(5000), b = GetResString(5001);
    EXPECT_EQ(a + "/" + b, "Error/Warning");
}

TEST_F(FoundationHost, LoadResStringCutsToTheBuffer)
{
    char buf[48];
    std::memset(buf, '#', sizeof buf);
    uint32_t n = LoadResString(4018, buf, 40);
    EXPECT_EQ(n, 39u);
    EXPECT_EQ(std::string(buf), std::string(GetResString(4018)).substr(0, 39));
    for (std::size_t i = 40; i < sizeof buf; ++i)
        EXPECT_EQ(buf[i], '#');
    EXPECT_EQ(LoadResString(5000, buf, 0), 0u);
    EXPECT_EQ(LoadResString(424242, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "");
}

TEST_F(FoundationHost, PumpThrowsUserCancelAfterTheBoxWasClosed)
{
    gDialogControl.PumpStatusBoxMessages(); // no box: nothing happens
    EXPECT_FALSE(gDialogControl.Pumping());

    gDialogControl.ShowStatusBox(true, "Compiling", "");
    EXPECT_TRUE(gStatusBoxShown);
    EXPECT_TRUE(box().visible);
    EXPECT_TRUE(box().cancel_visible);
    EXPECT_EQ(box().title, "Compiling");
    gDialogControl.PumpStatusBoxMessages(); // not cancelled: nothing thrown
    EXPECT_EQ(box().messages_processed, 1);

    // The user presses Cancel while a message is being dispatched.
    box().on_message = [](HeadlessStatusBox &b) { b.closed_by_user = true; };
    try {
        gDialogControl.PumpStatusBoxMessages();
        FAIL() << "no xUserCancel";
    } catch (xUserCancel &e) {
        EXPECT_EQ(e.GetText(), "Operation canceled by user.");
    }
    EXPECT_EQ(gDialogControl.Box(), nullptr);
    EXPECT_FALSE(gStatusBoxShown);
    EXPECT_FALSE(gDialogControl.Pumping());
    gDialogControl.PumpStatusBoxMessages(); // the box is gone: no second throw
}

TEST_F(FoundationHost, CloseStatusBoxIsHarmlessWithoutBox)
{
    gDialogControl.CloseStatusBox();
    gDialogControl.ShowStatusBox(false, "t", "");
    EXPECT_FALSE(box().cancel_visible);
    gDialogControl.CloseStatusBox();
    EXPECT_EQ(gDialogControl.Box(), nullptr);
    EXPECT_FALSE(gStatusBoxShown);
}

TEST_F(FoundationHost, SplashModeMakesNoBoxAndTextGoesToSplash)
{
    gDialogControl.SetSplashMode(true);
    gDialogControl.ShowStatusBox(true, "t", "");
    EXPECT_EQ(gDialogControl.Box(), nullptr);
    gDialogControl.SizeStatusBoxToText("Loading...");
    EXPECT_EQ(headless_splash_host().text, " Loading...");
    gDialogControl.SizeStatusBoxToText(" Ready");
    EXPECT_EQ(headless_splash_host().text, " Ready");
    EXPECT_EQ(headless_splash_host().repaints, 2);
}

TEST_F(FoundationHost, SizeToTextWithPrefixAndWrapping)
{
    gDialogControl.ShowStatusBox(false, "t", "Compiling:");
    gDialogControl.SizeStatusBoxToText("main.c");
    EXPECT_EQ(box().message_text, "Compiling:\nmain.c");

    gDialogControl.CloseStatusBox();
    gDialogControl.ShowStatusBox(false, "t", "");
    // 80 characters of 8 pixels: twice the 320-pixel panel.
    gDialogControl.SizeStatusBoxToText(std::string(80, 'x'));
    EXPECT_EQ(box().msg_width, 320);
    EXPECT_EQ(box().msg_height, 3 * 16);
    EXPECT_EQ(box().msg_left, 0);
    EXPECT_EQ(box().msg_top, (64 - 48) / 2);
    // A short text is centred.
    gDialogControl.SizeStatusBoxToText("abcd");
    EXPECT_EQ(box().msg_width, 32);
    EXPECT_EQ(box().msg_left, (320 - 32) / 2);
    EXPECT_EQ(box().msg_height, 16);
}

TEST_F(FoundationHost, PathTextFitsThePanel)
{
    gDialogControl.ShowStatusBox(false, "t", "");
    gDialogControl.SetStatusBoxPathText("C:\\short\\a.c");
    EXPECT_EQ(box().file_name_text, "C:\\short\\a.c");
    std::string long_path = "C:\\" + std::string(60, 'd') + "\\sub\\file.c";
    gDialogControl.SetStatusBoxPathText(long_path);
    EXPECT_LE(box().file_name_width, 320);
    EXPECT_EQ(box().file_name_text, "C:\\...\\sub\\file.c");
}

TEST_F(FoundationHost, ShowMessageLineRespectsMuteAndTargets)
{
    gDialogControl.ShowStatusBox(false, "t", "");
    ShowMessageLine(false, "%d lines compiled", 42);
    EXPECT_EQ(box().message_text, "42 lines compiled");

    headless_splash_host().visible = true;
    ShowMessageLine(true, "Done %s", "now");
    EXPECT_FALSE(headless_splash_host().visible);
    auto &mb = headless_message_box_host();
    ASSERT_EQ(mb.shown.size(), 1u);
    EXPECT_EQ(mb.shown[0].caption, "Korvex");
    EXPECT_EQ(mb.shown[0].text, "Done now");
    EXPECT_EQ(mb.shown[0].flags, kMbOk);

    mute_messages();
    ShowMessageLine(true, "hidden");
    ShowMessageLine(false, "hidden");
    EXPECT_EQ(mb.shown.size(), 1u);
    EXPECT_EQ(box().message_text, "42 lines compiled");
    unmute_messages();
    EXPECT_FALSE(messages_muted());
}

TEST_F(FoundationHost, MainWindowAdapterForwards)
{
    HeadlessMainWindow &w = headless_main_window();
    w.source_lines = {"int x;", "main(){}"};
    EXPECT_EQ(gMainWindowInterface->GetSourceLineCount(), 2);
    EXPECT_EQ(gMainWindowInterface->GetSourceLine(2), "main(){}");
    EXPECT_EQ(gMainWindowInterface->GetSourceLine(3), "");
    // Two lines held at once keep their own texts.
    const std::string &first = gMainWindowInterface->GetSourceLine(1);
    const std::string &second = gMainWindowInterface->GetSourceLine(2);
    EXPECT_EQ(first + "|" + second, "int x;|main(){}");

    gMainWindowInterface->SetCurrentSourceFile(QBString("prog.c"));
    EXPECT_EQ(w.current_file, "prog.c");
    EXPECT_STREQ(gMainWindowInterface->GetCurrentSourceFile().c_str(), "prog.c");

    gMainWindowInterface->ShowIP(0x0A);
    ASSERT_EQ(w.panel_texts.size(), 1u);
    EXPECT_EQ(w.panel_texts[0], (std::pair<int, std::string>{6, "IP = 0a"}));

    w.polling = true;
    gMainWindowInterface->SetRunState(2);
    EXPECT_EQ(gTCState, 6);
    gMainWindowInterface->SetRunState(1);
    EXPECT_TRUE(gMainWindowInterface->IsStopped());
    EXPECT_EQ(gTCState, 7);
    gMainWindowInterface->PausePolling();
    EXPECT_FALSE(gMainWindowInterface->IsPollingEnabled());
    w.polling_enabled = false;
    gMainWindowInterface->ResumePolling();
    EXPECT_FALSE(gMainWindowInterface->IsPollingEnabled());
}

TEST_F(FoundationHost, RunStateSwitchesTraceCaptureWhenTracingEnabled)
{
    auto &ops = headless_target_operations();
    ops.calls.clear();
    gMainWindowInterface->SetRunState(2);
    EXPECT_TRUE(ops.calls.empty());
    IdePreferences().enable_tracing = true;
    IdePreferences().trace_capture_on_run = true;
    gMainWindowInterface->SetRunState(2);
    gMainWindowInterface->SetRunState(0);
    EXPECT_EQ(ops.calls, (std::vector<std::string>{"TraceStartCapture", "TraceStopCapture"}));
}

TEST_F(FoundationHost, DebugWindowSinksReachTheirWindows)
{
    HeadlessMainWindow &w = headless_main_window();
    TRegisterInterface *regs = gMainWindowInterface->GetRegisterInterface(false);
    ASSERT_NE(regs, nullptr);
    regs->BeginUpdate();
    regs->AddLine("AF: 0000");
    regs->EndUpdate();
    EXPECT_EQ(regs->GetLineWidth(), 40);
    gMainWindowInterface->GetStackInterface(true)->AddLine("stack line");
    TAssemblyInterface *dis = gMainWindowInterface->GetAssemblyInterface(false);
    dis->AddLine("nop");
    dis->MarkExecutionLine(0x00020005u);
    dis->Clear();
    gMainWindowInterface->GetDumpInterface()->AddDumpLine("0000 00 00");
    gMainWindowInterface->RefreshWatches(0);
    EXPECT_EQ(w.debug_window.lines,
              (std::vector<std::string>{"AF: 0000", "stack line", "nop", "0000 00 00"}));
    EXPECT_EQ(w.debug_window.begin_updates, 1);
    EXPECT_EQ(w.debug_window.end_updates, 1);
    EXPECT_EQ(w.debug_window.marks, (std::vector<std::pair<int, int>>{{5, 2}}));
    EXPECT_EQ(w.debug_window.clears, 1);
    EXPECT_EQ(w.debug_window.refreshes, 1);
    // A sink without a window does nothing.
    cTextRegister loose;
    loose.AddLine("nowhere");
}

TEST_F(FoundationHost, EditorAdaptersForwardAndOwnBuffers)
{
    HeadlessMainWindow &w = headless_main_window();
    EXPECT_EQ(GetEditorInterfaceForFile("Main.C"), nullptr);
    EXPECT_EQ(gMainWindowInterface->GetEditorInterface("main.c", 0), nullptr);
    TEditorInterface *edit = gMainWindowInterface->GetEditorInterface("main.c", 1);
    ASSERT_NE(edit, nullptr);
    HeadlessEditWindow &e = static_cast<HeadlessEditWindow &>(*w.FindEditor("MAIN.C"));
    e.text_lines = {"ab", "c"};
    e.modified = true;
    TEditorInterface *frame = GetEditorInterfaceForFile("Main.C");
    ASSERT_NE(frame, nullptr);
    EXPECT_NE(frame, edit);
    EXPECT_EQ(frame->GetWindowInterface(), edit);
    EXPECT_STREQ(frame->GetFileName(), "main.c");
    EXPECT_TRUE(frame->IsModified());
    EXPECT_STREQ(frame->GetLineText(0), "ab");
    frame->FreeLineText();
    EXPECT_EQ(frame->GetNextPosition(pack_position(0, 1)), pack_position(0, 2));
    EXPECT_EQ(frame->GetNextPosition(pack_position(0, 2)), pack_position(1, 0));
    EXPECT_EQ(frame->GetNextPosition(pack_position(1, 1)), pack_position(1, 1));
    frame->SetLineMark(pack_position(1, 0), kBreakpointMark);
    frame->UpdateMarkers(pack_position(1, 0));
    EXPECT_TRUE(e.line_marks.empty());
    std::ostringstream out;
    frame->WriteText(out);
    EXPECT_EQ(out.str(), "ab\nc\n");
    uint32_t zero = 99;
    frame->GetZeroPosition(zero);
    EXPECT_EQ(zero, 0u);
    // A long path reaches the debugger whole.
    e.file_name = "/" + std::string(400, 'f') + "/main.c";
    EXPECT_EQ(frame->GetFileName(), e.file_name);
}

TEST_F(FoundationHost, StdioGoesThroughTheStdioWindow)
{
    HeadlessMainWindow &w = headless_main_window();
    StdioReset();
    StdioWrite("hello", 5);
    StdioWrite("xyz", 2);
    EXPECT_EQ(w.debug_window.output, "helloxy");
    EXPECT_EQ(w.debug_window.sessions, 1);
    char c = 'q';
    EXPECT_EQ(StdioReadChar(c), 0);
    w.debug_window.input = "k";
    EXPECT_EQ(StdioReadChar(c), 'k');
    EXPECT_EQ(c, 'k');
}

class ScriptedPassPhrase : public TPassPhraseDialog {
public:
    ScriptedPassPhrase(bool accept, std::string phrase, bool remember)
        : m_accept(accept), m_phrase(std::move(phrase)), m_remember(remember)
    {
    }
    bool Execute() override { return m_accept; }
    std::string Phrase() const override { return m_phrase; }
    bool Remember() const override { return m_remember; }

private:
    bool m_accept;
    std::string m_phrase;
    bool m_remember;
};

TEST_F(FoundationHost, PassPhraseAskCloseAndRemember)
{
    int made = 0;
    gTCPPassPhraseControl.SetDialogFactory([&made] {
        ++made;
        return std::make_unique<ScriptedPassPhrase>(true, std::string(300, 'p'), true);
    });
    gTCPPassPhraseControl.Ask();
    EXPECT_TRUE(gTCPPassPhraseControl.Accepted());
    EXPECT_EQ(std::string(gTCPPassPhraseControl.Phrase()).size(), 255u);
    gTCPPassPhraseControl.Ask(); // the dialog is still up: no second one
    EXPECT_EQ(made, 1);
    gTCPPassPhraseControl.Close();
    EXPECT_TRUE(gTCPPassPhraseControl.Remembered());
    EXPECT_FALSE(gTCPPassPhraseControl.DialogUp());
    gTCPPassPhraseControl.Ask(); // remembered: not asked again
    EXPECT_EQ(made, 1);

    gTCPPassPhraseControl.Reset();
    gTCPPassPhraseControl.SetDialogFactory(
        [] { return std::make_unique<ScriptedPassPhrase>(false, "x", false); });
    gTCPPassPhraseControl.Ask();
    EXPECT_FALSE(gTCPPassPhraseControl.Accepted());
    gTCPPassPhraseControl.Close();
    EXPECT_FALSE(gTCPPassPhraseControl.Remembered());
}

std::array<int32_t, 15> g_options{};
std::array<int32_t, 15> options_getter() { return g_options; }

TEST_F(FoundationHost, CompileSettingsChangeDetection)
{
    g_options = {};
    set_compiler_options_getter(options_getter);
    set_bios_file("C:\\Bios\\BIOS.C");
    ScopedProjectDefines project(ProjectDefines{{"A", "1"}, {"B", "2"}});
    ProjectDefines &defines = ScopedProjectDefines::current();
    CompileSettings saved;
    SaveCompileSettings(saved);
    EXPECT_FALSE(CompileSettingsChanged(saved));

    set_bios_file("c:\\bios\\bios.c"); // texts compare without case
    EXPECT_FALSE(CompileSettingsChanged(saved));
    defines["B"] = "3";
    EXPECT_TRUE(CompileSettingsChanged(saved));
    defines["B"] = "2";
    g_options[0] = 2;
    EXPECT_TRUE(CompileSettingsChanged(saved));
    g_options[0] = 0;
    IdePreferences().output_mode = 1;
    EXPECT_TRUE(CompileSettingsChanged(saved));
    EXPECT_EQ(GetTargetOutputMode(), 1);
    IdePreferences().output_mode = 0;
    defines.erase("B");
    EXPECT_TRUE(CompileSettingsChanged(saved));
    set_compiler_options_getter(nullptr);
}

TEST(FoundationVersion, ValuesAndWord)
{
    EXPECT_EQ(version_word(), 0x851);
    EXPECT_EQ(version_major(), 8);
    EXPECT_EQ(version_minor(), 5);
    EXPECT_EQ(version_revision(), 1);
    EXPECT_STREQ(version_build(), "");
    EXPECT_STREQ(version_year(), "2004");
}

TEST(FoundationGlobals, StartValuesAndCapacityComputedOnce)
{
    reset_temporary_globals();
    EXPECT_TRUE(gCmdLineProject.empty());
    EXPECT_EQ(gFlagColours[0].colour, 0xFF0000u);
    EXPECT_EQ(gFlagColours[1].colour, 0x00FF00u);
    EXPECT_EQ(gFlagColours[2].colour, 0x0000FFu);
    EXPECT_EQ(gFlagColours[3].colour, 0xFF0000u);
    EXPECT_EQ(gFlagColours[2].flag, 0);
    EXPECT_EQ(message_list_capacity(100, 10, 10), 122);
    EXPECT_EQ(message_list_capacity(5, 5, 5), 122);
    reset_temporary_globals();
}

TEST(FoundationSettings, DefineProjectMacrosHandsDefinesInOrder)
{
    static std::vector<std::string> got;
    got.clear();
    // The compiler facade installs the macro table's definer once per process: keep it.
    const ProjectMacroDefiner installed = project_macro_definer();
    reset_settings_to_defaults();
    set_project_macro_definer(nullptr);
    DefineProjectMacros(); // no definer installed: nothing happens
    EXPECT_TRUE(got.empty());
    {
        // Map order: by the bytes of the names, whatever order they were given in.
        ScopedProjectDefines project(ProjectDefines{{"beta", ""}, {"ALPHA", "1"}, {"Beta", "2"}});
        IdePreferences().enable_watch_expressions = false;
        IdePreferences().max_watches = 12;
        set_project_macro_definer([](const char *n, const char *v) {
            got.push_back(std::string(n) + "=" + v);
        });
        DefineProjectMacros();
    }
    EXPECT_EQ(got, (std::vector<std::string>{
                       "ALPHA=1", "Beta=2", "beta=", "_DK_ENABLE_BREAKPOINTS_=1",
                       "_DK_ENABLE_ASMSINGLESTEP_=1", "_DK_ENABLE_WATCHEXPRESSIONS_=0",
                       "_DK_ENABLE_TRACING_=1", "_DK_MAX_BREAKPOINTS_=32", "_DK_MAX_WATCHES_=12",
                       "_DK_WATCH_MEM_=512"}));
    set_project_macro_definer(installed);
    reset_settings_to_defaults();
    EXPECT_TRUE(project_defines().empty());
    EXPECT_EQ(IdePreferences().flash_info_file, "Flash.ini");
}

TEST(FoundationTargetSeam, HeadlessOperationsRecordAndAnswer)
{
    HeadlessTargetOperations ops;
    set_target_operations(&ops);
    uint8_t bytes[3] = {1, 2, 3};
    target_operations().TcWritePhysicalMemory(0xFE000, bytes, 3);
    uint8_t back[3] = {};
    // XPC 0xF0 pages logical 0xE000 to physical (0xF0 << 12) + 0xE000 = 0xFE000.
    target_operations().TcReadMemory(0xF0E000, back, 3);
    EXPECT_EQ(back[2], 3);
    ops.erase_fails = true;
    EXPECT_TRUE(target_operations().TcEraseFlash(0x7FFFF));
    EXPECT_EQ(ops.calls.back(), "TcEraseFlash 0x7FFFF");
    install_seam_doubles();
    EXPECT_EQ(&target_operations(), &headless_target_operations());

    SetCompilingBios(1);
    EXPECT_TRUE(IsCompilingBios());
    SetCompilingBios(0);
    EXPECT_FALSE(IsCompilingBios());
}

} // namespace

#include "core/SEAM_CODEGEN.h"

namespace {

TEST(FoundationCodegenSeam, HeadlessDoubleRecordsAndAnswers)
{
    HeadlessCodegen cg;
    set_codegen_seam(&cg);
    EXPECT_EQ(codegen_seam().select_target_cpu(0x1234, 1), 0x1234);
    EXPECT_EQ(codegen_seam().cpu_flag(), 0);
    codegen_seam().select_target_cpu(0, 7); // unknown processor: nothing changes
    EXPECT_EQ(codegen_seam().cpu_flag(), 0);
    uint8_t marker = 0;
    codegen_seam().set_bios_compile(&marker);
    EXPECT_EQ(marker, 1);
    codegen_seam().set_code_address(0x12E000);
    EXPECT_EQ(codegen_seam().xmem_cache_address(), 0x12E000u);
    cg.link_ok = false;
    EXPECT_FALSE(codegen_seam().link_required_symbols(0));
    EXPECT_EQ(cg.calls.front(), "select_target_cpu 1");
    install_seam_doubles();
    EXPECT_EQ(&codegen_seam(), &headless_codegen());
}

} // namespace
