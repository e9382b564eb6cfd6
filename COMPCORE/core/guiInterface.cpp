// guiInterface: message texts, the message box, status box, pass phrase, adapters and the
// window-less hosts behind them. The IDE installs its own windows through the setters; until it
// does, every call lands in a host that needs no window.
#include "guiInterface.h"

#include <cctype>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <ostream>
#include <random>
#include <sstream>
#include <system_error>

#include "BoundedFormat.h"
#include "driver/CC_GO.h"
#include "input/CC_GLINE.h"
#include "CC_MISC.h"
#include "FileReplace.h"
#include "SEAM_SETTINGS.h"
#include "SEAM_TARGET.h"
#include "StringResources.h"

// ================================ Message text by id ==========================================

uint32_t LoadResString(uint32_t id, char *buf, uint32_t size)
{
    if (!buf || size == 0)
        return 0;
    std::string_view text = string_resource(id);
    std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    if (n > 0)
        std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return static_cast<uint32_t>(n);
}

uint32_t LoadShownResString(uint32_t id, char *buf, uint32_t size)
{
    uint32_t n = LoadResString(id, buf, size);
    if (n > 0 || !buf || size == 0)
        return n;
    return static_cast<uint32_t>(
        bounded_format_to(buf, size, "Message %u has no text.", static_cast<unsigned>(id)));
}

std::string GetResString(uint32_t id)
{
    char text[kBoundedFormatMax];
    uint32_t n = LoadResString(id, text, sizeof text);
    return std::string(text, n);
}

std::string GetResStringFormatted(uint32_t id, ...)
{
    char format[kBoundedFormatMax];
    LoadResString(id, format, sizeof format);
    va_list args;
    va_start(args, id);
    std::string text = bounded_vformat(format, args);
    va_end(args);
    return text;
}

// ================================ Message box and splash ======================================

namespace {
TMessageBoxHost *g_box_host = nullptr;
TSplashHost *g_splash_host = nullptr;

class WindowlessSplashHost : public TSplashHost {
public:
    bool IsVisible() const override { return false; }
    void Hide() override {}
    void SetText(const std::string &) override {}
    void Repaint() override {}
};
} // namespace

int unattended_answer(unsigned flags)
{
    switch (flags & kMbButtonsMask) {
    case kMbOk:
        return kIdOk;
    case kMbYesNo:
        return kIdNo;
    default:
        return kIdCancel;
    }
}

int WindowlessMessageBoxHost::ShowMessageBox(const std::string &text, const std::string &caption,
                                             unsigned flags)
{
    std::cerr << (caption.empty() ? std::string() : caption + ": ") << text << '\n';
    return unattended_answer(flags);
}

TMessageBoxHost &message_box_host()
{
    static WindowlessMessageBoxHost windowless;
    return g_box_host ? *g_box_host : windowless;
}

void set_message_box_host(TMessageBoxHost *host) { g_box_host = host; }

int ShowAppMessageBox(const std::string &text, const std::string &caption, unsigned flags)
{
    return message_box_host().ShowMessageBox(text, caption, flags);
}

TSplashHost &splash_host()
{
    static WindowlessSplashHost windowless;
    return g_splash_host ? *g_splash_host : windowless;
}
void set_splash_host(TSplashHost *host) { g_splash_host = host; }

// ================================ Status box ==================================================

cDialogControl gDialogControl;
bool gStatusBoxShown = false;

// Grows the tail component by component while "head...tail" still fits.
std::string fit_path_in_characters(const std::string &path, int width, int char_width,
                                   int &result_width)
{
    auto fits = [&](const std::string &s) {
        return static_cast<int>(s.size()) * char_width <= width;
    };
    std::string result = path;
    if (!fits(path)) {
        std::size_t first = path.find_first_of("/\\", path.find_first_not_of("/\\"));
        std::string head = first == std::string::npos ? "" : path.substr(0, first + 1);
        std::size_t last = path.find_last_of("/\\");
        std::string tail = last == std::string::npos ? path : path.substr(last);
        result.clear();
        std::size_t cut = last;
        while (cut != std::string::npos && cut > first && first != std::string::npos) {
            std::size_t prev = path.find_last_of("/\\", cut - 1);
            if (prev == std::string::npos || prev < first)
                break;
            std::string candidate = head + "..." + path.substr(prev);
            if (!fits(candidate))
                break;
            tail = path.substr(prev);
            cut = prev;
        }
        std::string candidate = head + "..." + tail;
        if (fits(candidate)) {
            result = candidate;
        } else {
            std::size_t room =
                width > 0 && char_width > 0 ? static_cast<std::size_t>(width / char_width) : 0;
            std::string name = last == std::string::npos ? path : path.substr(last + 1);
            if (room <= 3)
                result = std::string("...").substr(0, room);
            else
                result = "..." + name.substr(name.size() > room - 3 ? name.size() - (room - 3) : 0);
        }
    }
    result_width = static_cast<int>(result.size()) * char_width;
    return result;
}

void WindowlessStatusBox::MeasureText(const std::string &text, int &width, int &height) const
{
    width = static_cast<int>(text.size()) * 8;
    height = 16;
}

std::string WindowlessStatusBox::FitPath(const std::string &path, int width,
                                         int &result_width) const
{
    return fit_path_in_characters(path, width, 8, result_width);
}

cDialogControl::cDialogControl() = default;
cDialogControl::~cDialogControl() = default;

void cDialogControl::SetBoxFactory(StatusBoxFactory factory) { m_factory = std::move(factory); }

void cDialogControl::ShowStatusBox(bool show_cancel, const std::string &title,
                                   const std::string &prefix)
{
    if (m_splash_mode)
        return;
    if (!m_box)
        m_box = m_factory ? m_factory() : std::make_unique<WindowlessStatusBox>();
    if (!m_box)
        return; // the factory could not make a box: status output goes nowhere
    m_prefix = prefix;
    gStatusBoxShown = true;
    m_box->SetTitle(title);
    m_box->SetCancelVisible(show_cancel);
    m_box->Show();
}

void cDialogControl::SizeStatusBoxToText(const std::string &text)
{
    if (m_splash_mode) {
        std::string line = (!text.empty() && text[0] == ' ') ? text : " " + text;
        splash_host().SetText(line);
        splash_host().Repaint();
        return;
    }
    if (!m_box)
        return;
    int panel_width = m_box->PanelWidth();
    int panel_height = m_box->PanelHeight();
    if (!m_prefix.empty()) {
        m_box->SetMessageLabel(m_prefix + "\n" + text, 0, 0, panel_width, panel_height);
    } else {
        int text_width = 0, text_height = 0;
        m_box->MeasureText(text, text_width, text_height);
        int width = std::min(text_width, panel_width);
        int lines = panel_width > 0 ? text_width / panel_width + 1 : 1;
        int height = lines * text_height;
        m_box->SetMessageLabel(text, (panel_width - width) / 2, (panel_height - height) / 2,
                               width, height);
    }
    m_box->Repaint();
}

void cDialogControl::SetStatusBoxPathText(const std::string &text)
{
    if (!m_box)
        return;
    int width = 0;
    std::string fitted = m_box->FitPath(text, m_box->PanelWidth(), width);
    m_box->SetFileNameLabel(fitted, width);
}

void cDialogControl::SetStatusBoxText(const std::string &title)
{
    if (m_splash_mode) {
        SizeStatusBoxToText(title);
        return;
    }
    if (m_box)
        m_box->SetTitle(title);
}

void cDialogControl::PumpStatusBoxMessages()
{
    m_pumping = true;
    if (m_box)
        m_box->ProcessOneMessage();
    if (m_box && m_box->ClosedByUser()) {
        const std::exception_ptr kept = m_box->TakeCancelError();
        m_box->Close();
        m_box.reset();
        gStatusBoxShown = false;
        m_pumping = false;
        if (kept)
            std::rethrow_exception(kept);
        throw xUserCancel(KX_HERE);
    }
    m_pumping = false;
}

void cDialogControl::CloseStatusBox()
{
    gStatusBoxShown = false;
    if (!m_box)
        return;
    if (m_box->IsVisible())
        m_box->Close();
    m_box.reset();
}

// ================================ Pass phrase =================================================

cTCPPassPhraseControl gTCPPassPhraseControl;

void cTCPPassPhraseControl::Ask()
{
    if (m_remember || m_dialog)
        return;
    m_accepted = false;
    if (!m_factory)
        return;
    m_dialog = m_factory();
    if (!m_dialog)
        return;
    if (m_dialog->Execute()) {
        bounded_copy(m_phrase.data(), m_phrase.size(), m_dialog->Phrase().c_str());
        m_accepted = true;
    }
}

void cTCPPassPhraseControl::Close()
{
    if (!m_dialog)
        return;
    m_remember = m_dialog->Remember();
    m_dialog.reset();
}

void cTCPPassPhraseControl::Reset()
{
    m_phrase.fill('\0');
    m_accepted = false;
    m_remember = false;
    m_dialog.reset();
}

// ================================ Adapters ====================================================

void TGuiInterface::AddLine(const char *) {}
void TGuiInterface::BeginUpdate() {}
void TGuiInterface::EndUpdate() {}
uint32_t TGuiInterface::GetNextPosition(uint32_t packed) { return packed; }
void TGuiInterface::SetWindow(TGuiWindow *window) { m_window = window; }

TEditorInterface::TEditorInterface() = default;
TEditorInterface::~TEditorInterface() = default;

void TEditorInterface::SetWindow(TGuiWindow *window)
{
    TGuiInterface::SetWindow(window);
    m_editor = dynamic_cast<TEditWindow *>(window);
}

uint32_t TEditorInterface::GetNextPosition(uint32_t packed)
{
    return m_editor ? m_editor->GetNextPosition(packed) : packed;
}

bool TEditorInterface::IsModified() { return m_editor && m_editor->IsModified(); }

// The whole name: a path cut to a fixed buffer would name another file.
const char *TEditorInterface::GetFileName()
{
    m_file_name = m_editor ? m_editor->FileName() : std::string();
    return m_file_name.c_str();
}

uint32_t TEditorInterface::GetCaretPosition() { return m_editor ? m_editor->GetCaretPosition() : 0; }

void TEditorInterface::ClearExecutionPoint()
{
    if (m_editor)
        m_editor->ClearExecutionPoint();
}

void TEditorInterface::SetLineMark(uint32_t packed, const TMarkKind &kind)
{
    if (m_editor)
        m_editor->SetLineMark(packed, kind);
}

const char *TEditorInterface::GetLineText(int line)
{
    std::string text = m_editor ? m_editor->GetLineText(line) : std::string();
    m_line_text = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(m_line_text.get(), text.c_str(), text.size() + 1);
    m_line_length = text.size();
    return m_line_text.get();
}

void TEditorInterface::FreeLineText()
{
    m_line_text.reset();
    m_line_length = 0;
}

void TEditorInterface::WriteText(std::ostream &out)
{
    if (m_editor)
        m_editor->WriteText(out);
}

bool TEditorInterface::Save() { return m_editor && m_editor->Save(); }

bool TEditWindow::Save()
{
    std::ostringstream text;
    WriteText(text);
    std::string reason;
    return replace_file_contents(FileName(), text.str(), reason);
}

void TEditorInterface::UpdateMarkers(uint32_t packed)
{
    if (m_editor)
        m_editor->ClearLineMark(packed);
}

TEditorInterface *TEditorInterface::GetWindowInterface()
{
    return m_editor ? m_editor->GetTextEdit() : nullptr;
}

namespace {
template <class W> W *window_as(TGuiWindow *window) { return dynamic_cast<W *>(window); }
} // namespace

void cTextRegister::AddLine(const char *text)
{
    if (auto *w = window_as<TRegistersWindow>(m_window))
        w->AddLine(text ? text : "");
}
void cTextRegister::BeginUpdate()
{
    if (auto *w = window_as<TRegistersWindow>(m_window))
        w->BeginUpdate();
}
void cTextRegister::EndUpdate()
{
    if (auto *w = window_as<TRegistersWindow>(m_window))
        w->EndUpdate();
}

void cTextAssembly::AddLine(const char *text)
{
    if (auto *w = window_as<TDisassemblyWindow>(m_window))
        w->AddDisassemblyLines(text ? text : "");
}
void cTextAssembly::BeginUpdate()
{
    if (auto *w = window_as<TDisassemblyWindow>(m_window))
        w->BeginUpdate();
}
void cTextAssembly::EndUpdate()
{
    if (auto *w = window_as<TDisassemblyWindow>(m_window))
        w->EndUpdate();
}
void cTextAssembly::MarkExecutionLine(uint32_t packed)
{
    if (auto *w = window_as<TDisassemblyWindow>(m_window))
        w->MarkExecutionLine(static_cast<int>(packed & 0xFFFFu), static_cast<int>(packed >> 16));
}
void cTextAssembly::Clear()
{
    if (auto *w = window_as<TDisassemblyWindow>(m_window))
        w->Clear();
}

void cTextStack::AddLine(const char *text)
{
    if (auto *w = window_as<TStackWindow>(m_window))
        w->AddLine(text ? text : "");
}

void cTextDump::AddDumpLine(const char *line)
{
    if (auto *w = window_as<TMemoryDumpWindow>(m_window))
        w->AddDumpLine(line ? line : "");
}

// ================================ Main window =================================================

uint8_t comm_state_for_run_state(int state, bool polling)
{
    switch (state) {
    case 1:
        return 7;
    case 2:
        return polling ? 6 : 7;
    default:
        return 0;
    }
}

cMainWindow::cMainWindow(TMainWindowHost *host) : m_host(host)
{
    SetWindow(host);
}

void cMainWindow::SetHost(TMainWindowHost *host)
{
    m_host = host;
    SetWindow(host);
}

void cMainWindow::SetCurrentSourceFile(const QBString &file)
{
    m_current_file = file;
    if (m_host)
        m_host->SetCurrentFile(file.c_str());
}

int cMainWindow::GetSourceLineCount() { return m_host ? m_host->GetSourceLineCount() : 0; }

std::string cMainWindow::GetSourceLine(int line)
{
    return m_host ? m_host->GetSourceLine(line) : std::string();
}

TEditorInterface *cMainWindow::GetEditorInterface(const std::string &file, int flags)
{
    TEditWindow *editor = m_host ? m_host->GetEditorForFile(file, flags) : nullptr;
    return editor ? editor->GetTextEdit() : nullptr;
}

TEditorInterface *cMainWindow::FindEditorInterface(const std::string &file)
{
    TEditWindow *editor = m_host ? m_host->FindEditor(file) : nullptr;
    return editor ? editor->GetEditFrame() : nullptr;
}

TRegisterInterface *cMainWindow::GetRegisterInterface(bool force)
{
    return m_host ? m_host->ShowRegistersWindow(force) : nullptr;
}
TAssemblyInterface *cMainWindow::GetAssemblyInterface(bool force)
{
    return m_host ? m_host->ShowDisassemblyWindow(force) : nullptr;
}
TStackInterface *cMainWindow::GetStackInterface(bool force)
{
    return m_host ? m_host->ShowStackWindow(force) : nullptr;
}
TWatchInterface *cMainWindow::GetWatchInterface(bool force)
{
    return m_host ? m_host->ShowWatchesWindow(force) : nullptr;
}
TDumpInterface *cMainWindow::GetDumpInterface()
{
    return m_host ? m_host->ShowDumpWindow(false) : nullptr;
}

void cMainWindow::RefreshDumpWindows()
{
    if (m_host)
        m_host->RefreshDumpWindows();
}

void cMainWindow::RefreshWatches(int argument)
{
    if (!m_host)
        return;
    if (TWatchesWindow *w = m_host->WatchesWindow())
        w->UpdateResults(argument);
}

bool cMainWindow::IsStopped() { return m_host && m_host->IsStopped(); }

void cMainWindow::SetRunState(int state)
{
    if (m_host)
        m_host->SetRunState(state);
    if (!IdePreferences().enable_tracing)
        return;
    if (state == 2 && IdePreferences().trace_capture_on_run)
        target_operations().TraceStartCapture();
    else if (state == 0)
        target_operations().TraceStopCapture();
}

void cMainWindow::ShowIP(uint8_t ip)
{
    m_shown_ip = ip;
    if (m_host)
        m_host->SetStatusPanelText(bounded_format("IP = %02x", ip), 6);
}

bool cMainWindow::IsPollingEnabled() { return m_host && m_host->IsPolling(); }

void cMainWindow::ResumePolling()
{
    if (m_host)
        m_host->ResumePolling();
}

void cMainWindow::PausePolling()
{
    if (m_host)
        m_host->PausePolling();
}

// --- The window-less main window ----------------------------------------------------------------

const std::vector<std::string> &SourceFileLines::Lines(const std::string &path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path p(normalize_separators(path));
    const std::uintmax_t size = fs::file_size(p, ec);
    if (ec) {
        Forget();
        return m_lines;
    }
    const auto time = fs::last_write_time(p, ec).time_since_epoch().count();
    if (ec) {
        Forget();
        return m_lines;
    }
    if (m_valid && m_path == path && m_size == size && m_time == time)
        return m_lines;
    Forget();
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return m_lines;
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    ++m_loads;
    m_lines = split_source_lines(text);
    m_path = path;
    m_size = size;
    m_time = static_cast<std::int64_t>(time);
    m_valid = true;
    return m_lines;
}

void SourceFileLines::Forget()
{
    m_valid = false;
    m_path.clear();
    m_lines.clear();
}

int WindowlessMainWindow::GetSourceLineCount()
{
    return static_cast<int>(m_lines.Lines(m_file).size());
}

std::string WindowlessMainWindow::GetSourceLine(int line)
{
    const std::vector<std::string> &lines = m_lines.Lines(m_file);
    if (line < 1 || static_cast<std::size_t>(line) > lines.size())
        return {};
    return lines[static_cast<std::size_t>(line) - 1];
}

void WindowlessMainWindow::SetRunState(int state)
{
    m_run_state = state;
    gTCState = comm_state_for_run_state(state, false);
}

namespace {
std::unique_ptr<WindowlessMainWindow> g_windowless_main = std::make_unique<WindowlessMainWindow>();
cMainWindow g_windowless_adapter(g_windowless_main.get());
FileDialogFactory g_file_dialogs;
FlyOverWatchFactory g_flyover_watches;
} // namespace

cMainWindow *gMainWindowInterface = &g_windowless_adapter;

void set_main_window_interface(cMainWindow *main)
{
    gMainWindowInterface = main ? main : &g_windowless_adapter;
}

void restore_windowless_hosts()
{
    gDialogControl.CloseStatusBox();
    gDialogControl.SetSplashMode(false);
    gDialogControl.SetBoxFactory(nullptr);
    gTCPPassPhraseControl.Reset();
    gTCPPassPhraseControl.SetDialogFactory(nullptr);
    g_windowless_main = std::make_unique<WindowlessMainWindow>();
    g_windowless_adapter.SetHost(g_windowless_main.get());
    g_windowless_adapter.SetCurrentSourceFile(QBString());
    g_windowless_adapter.GetSourcePosition() = 0;
    gMainWindowInterface = &g_windowless_adapter;
    set_message_box_host(nullptr);
    set_splash_host(nullptr);
    g_file_dialogs = nullptr;
    g_flyover_watches = nullptr;
}

// ================================ Free functions ==============================================

TEditorInterface *GetEditorInterfaceForFile(const std::string &file)
{
    return gMainWindowInterface->FindEditorInterface(file);
}

namespace {
TStdioWindow *stdio_window(int flags)
{
    TMainWindowHost *host = gMainWindowInterface->Host();
    return host ? host->ShowStdioWindow(flags) : nullptr;
}
} // namespace

void StdioWrite(const char *text, uint16_t length)
{
    if (TStdioWindow *w = stdio_window(0))
        w->StdioOutput(text, length);
}

void StdioReset()
{
    TMainWindowHost *host = gMainWindowInterface->Host();
    if (!host)
        return;
    if (TStdioWindow *w = host->ShowStdioWindow(0))
        w->StdioBeginSession();
}

char StdioReadChar(char &c)
{
    c = 0;
    TMainWindowHost *host = gMainWindowInterface->Host();
    TStdioWindow *w = host ? host->ShowStdioWindow(0) : nullptr;
    if (!w || !w->StdioInputChar(c))
        c = 0;
    return c;
}

void EmptyWatchHook() {}
void NullHook() {}

uint8_t GetTargetOutputMode() { return static_cast<uint8_t>(IdePreferences().output_mode); }
uint8_t IsWatchCodeRestricted() { return IdePreferences().restrict_watch_expressions; }

void BringMainWindowToFront()
{
    if (TMainWindowHost *host = gMainWindowInterface->Host())
        host->BringToFront();
}

namespace {
CompilerOptionsGetter g_options_getter = nullptr;
} // namespace

void set_compiler_options_getter(CompilerOptionsGetter getter) { g_options_getter = getter; }

void SaveCompileSettings(CompileSettings &record)
{
    const TIdePreferences &prefs = IdePreferences();
    record.compiler_options = g_options_getter ? g_options_getter() : std::array<int32_t, 15>{};
    record.option_word = prefs.compile_option_word;
    record.option_bytes = {static_cast<uint8_t>(prefs.output_mode),
                           static_cast<uint8_t>(prefs.restrict_watch_expressions ? 1 : 0),
                           static_cast<uint8_t>(prefs.include_bios ? 1 : 0),
                           static_cast<uint8_t>(prefs.include_rst28 ? 1 : 0),
                           gTargetlessCompile};
    record.text1 = bios_file();
    record.text2 = libraries_file();
    const ProjectDefines &defines = project_defines();
    record.defines.assign(defines.begin(), defines.end());
    record.debug_kernel = debug_kernel_defines();
}

bool CompileSettingsChanged(const CompileSettings &record)
{
    CompileSettings now;
    SaveCompileSettings(now);
    if (now.compiler_options != record.compiler_options)
        return true;
    if (now.option_word != record.option_word || now.option_bytes != record.option_bytes)
        return true;
    if (now.defines != record.defines || now.debug_kernel != record.debug_kernel)
        return true;
    return !equal_ignoring_case(now.text1, record.text1) ||
           !equal_ignoring_case(now.text2, record.text2);
}

namespace {
// Without windows there is nobody to choose a file.
class WindowlessFileDialog : public TFileDialog {
public:
    bool Execute() override { return false; }
    std::string FileName() const override { return {}; }
    std::vector<std::string> FileNames() const override { return {}; }
};
} // namespace

void set_file_dialog_factory(FileDialogFactory factory) { g_file_dialogs = std::move(factory); }

std::unique_ptr<TFileDialog> make_file_dialog(const FileDialogRequest &request)
{
    std::unique_ptr<TFileDialog> dialog = g_file_dialogs ? g_file_dialogs(request) : nullptr;
    return dialog ? std::move(dialog) : std::make_unique<WindowlessFileDialog>();
}

namespace {
constexpr uint32_t kMsgNoDebuggerCore = 7152; // "The debugger core is not part of this build."

// Until the watches are built, every evaluation is refused.
class MissingFlyOverWatch : public TFlyOverWatch {
public:
    std::string Evaluate(const std::string &, bool) override
    {
        throw xErr(kMsgNoDebuggerCore, KX_HERE);
    }
};
} // namespace

void set_flyover_watch_factory(FlyOverWatchFactory factory)
{
    g_flyover_watches = std::move(factory);
}

std::unique_ptr<TFlyOverWatch> make_flyover_watch()
{
    std::unique_ptr<TFlyOverWatch> watch = g_flyover_watches ? g_flyover_watches() : nullptr;
    return watch ? std::move(watch) : std::make_unique<MissingFlyOverWatch>();
}

bool ProbeDialogDirectory(TFileDialog &dialog)
{
    if (!dialog.Execute())
        return false;
    // Check that the chosen directory can be written: make a scratch sub-directory with a file
    // in it, list it, and remove both. The outcome is not reported; the result is the dialog's.
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path dir = fs::path(dialog.FileName()).parent_path();
    if (dir.empty())
        dir = fs::current_path(ec);
    std::random_device rd;
    std::mt19937 gen(rd());
    fs::path probe;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = dir / std::to_string(gen() % 1000000000u);
        if (!fs::exists(candidate, ec)) {
            probe = candidate;
            break;
        }
    }
    if (probe.empty() || !fs::create_directory(probe, ec))
        return true;
    {
        std::ofstream f(probe / "probe.tmp", std::ios::binary | std::ios::trunc);
    }
    for (auto it = fs::directory_iterator(probe, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
    }
    fs::remove(probe / "probe.tmp", ec);
    fs::remove(probe, ec);
    return true;
}
