// guiDebugger: the built-in refusals, the adapter over the compile-and-load sequence and the
// target link, and the program's own command dialogs.
#include "guiDebugger.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>

#include <chrono>
#include <thread>

#include "driver/CC_FIOZ8.h"
#include "input/CC_GLINE.h"
#include "link/DB_BP.h"
#include "link/DB_GO.h"
#include "debugger/DB_ML.h"
#include "debugger/MsTimer.h"
#include "core/SEAM_TARGET.h"
#include "link/TC.h"
#include "frmKXAddWatch.h"
#include "frmKXEvalExpression.h"
#include "frmKXWatches.h"
#include "frmKXRegisters.h"
#include "frmKXStdio.h"
#include "options/frmKXAdvCompilerOpt.h"
#include "shell/frmKXMain.h"
#include "frmKXDisassembly.h"
#include "frmKXMoveToAddress.h"
#include "guiDebugWindows.h"
#include "link/guiCompilerInterface.h"
#include "core/guiExceptions.h"
#include "core/guiInterface.h"
#include "options/guiOptionsHost.h"
#include "link/guiTrace.h"
#include "frmKXDumpAtAddress.h"
#include "frmKXMemoryDump.h"
#include "core/CC_ADDR.h"

namespace {

constexpr uint32_t kMsgNoTargetLink = 7151;   // "The target link is not part of this build."
constexpr uint32_t kMsgNoDebuggerCore = 7152; // "The debugger core is not part of this build."
constexpr uint32_t kMsgNoDebugWindows = 7159; // "The debug windows are not part of this build."

[[noreturn]] void missing(uint32_t id) { throw xErr(id, KX_HERE); }
[[noreturn]] void no_debugger_core() { missing(kMsgNoDebuggerCore); }

// Every call refuses: nothing is ever reported as compiled, loaded or started that was not.
class MissingDebuggerOperations : public TDebuggerOperations {
public:
    int CompileWithBiosCheck(const std::string &) override { missing(kMsgNoTargetLink); }
    int CompileFile(const std::string &, bool) override { missing(kMsgNoTargetLink); }
    int ResetAndLoadBios() override { missing(kMsgNoTargetLink); }
    void ClearCompileFlags() override { missing(kMsgNoTargetLink); }
    bool CompilingToFile() override { missing(kMsgNoTargetLink); }
    bool FlashWriteMode() override { missing(kMsgNoTargetLink); }
    void CloseCompilerSource() override {}
    bool TcIsConnectionOpen() override { missing(kMsgNoTargetLink); }
    bool LinkIsTcp() override { missing(kMsgNoTargetLink); }
    void TcCheckPendingError() override { missing(kMsgNoTargetLink); }
    void TcCloseConnection() override { missing(kMsgNoTargetLink); }
    void TcResetTarget() override { missing(kMsgNoTargetLink); }
    void TcResetTargetWithMode() override { missing(kMsgNoTargetLink); }
    void TcRunWatches() override { missing(kMsgNoTargetLink); }
    void readEnabledOptions() override { no_debugger_core(); }
    bool areWatchesEnabled() override { no_debugger_core(); }
    bool canStepInstructions() override { no_debugger_core(); }
    int getMaxWatches() override { no_debugger_core(); }
    int startLoadedProgram(bool) override { no_debugger_core(); }
    void runProgram() override { no_debugger_core(); }
    void stopProgram() override { no_debugger_core(); }
    void clearTargetBreakpoints() override { no_debugger_core(); }
    void refreshAfterStop(bool) override { no_debugger_core(); }
    void toggleInterruptPriority() override { no_debugger_core(); }
    void removeAllBreakpoints() override { no_debugger_core(); }
    int userBreakpointCount() override { return 0; }
    void startStep(int, int) override { no_debugger_core(); }
    bool StepPending() override { return false; }
    void SetStepPending(bool) override {}
    void SetStartAfterLoad(bool) override {}
    bool TraceRunning() override { return false; }
    void ResetTrace(bool) override { no_debugger_core(); }
    void disassembleAtCursor(TEditorInterface *) override { no_debugger_core(); }
    void disassembleAtAddress(uint32_t) override { no_debugger_core(); }
    void fillMemoryDump(uint32_t, int, bool) override { no_debugger_core(); }
    void fillMemoryDumpToFile(uint32_t, int, std::ostream &) override { no_debugger_core(); }
    void TcReadPhysicalMemory(uint32_t, uint32_t, uint8_t *) override { missing(kMsgNoTargetLink); }
    void refreshWatchWindow() override { no_debugger_core(); }
    void showExecutionPoint() override { no_debugger_core(); }
    void TcSetSendFlag(int, bool) override { missing(kMsgNoTargetLink); }
    void fillDisassemblyView() override { missing(kMsgNoTargetLink); }
    void fillStackView() override { missing(kMsgNoTargetLink); }
    void formatRegisterLines() override { missing(kMsgNoTargetLink); }
    void TcReadRegisters() override { missing(kMsgNoTargetLink); }
    void TcWriteRegisters(const TargetRegisterSet &) override { missing(kMsgNoTargetLink); }
    void TcSendStdioCharCount(uint8_t) override { missing(kMsgNoTargetLink); }
    bool isWaitingForStdioChar() override { return false; }
    void Wait(uint32_t) override { missing(kMsgNoTargetLink); }
    void Sleep(uint32_t) override { missing(kMsgNoTargetLink); }
};

// The disassembly window while it exists.
TfrmDisassembly *disassembly_window()
{
    TGuiInterface *adapter = debug_windows().Adapter(DebugWindow::Disassembly);
    return adapter ? dynamic_cast<TfrmDisassembly *>(adapter->Window()) : nullptr;
}

MissingDebuggerOperations g_missing_operations;
TDebuggerOperations *g_operations = &g_missing_operations;
LinkDebuggerOperations g_link_operations;

// The dialogs over the debug windows that exist; one over a window not built refuses.
class ProgramCommandDialogs : public TCommandDialogs {
public:
    void AdvancedCompilerOptions(QWidget *owner) override
    {
        TfrmAdvCompilerOpt advanced(owner);
        options_shell().ExecModal(advanced);
    }
    bool AddWatch(const std::string &expression) override
    {
        if (!frmWatches)
            missing(kMsgNoDebugWindows);
        frmWatches->BringToFront();
        TfrmAddWatch dialog(frmMainWindow);
        dialog.cboWatchExpression->setCurrentText(QString::fromStdString(expression));
        return options_shell().ExecModal(dialog) == QDialog::Accepted;
    }
    void EvaluateExpression(const std::string &expression) override
    {
        // Modeless; it frees itself when closed.
        auto *dialog = new TfrmEvalExpression(frmMainWindow, frmMainWindow);
        dialog->cboExpression->setCurrentText(QString::fromStdString(expression));
        dialog->show();
    }
    bool MoveToAddress(uint32_t &address) override
    {
        TAddressParseResult result;
        TfrmMoveToAddress dialog(QApplication::activeWindow(), address, result);
        return options_shell().ExecModal(dialog) == QDialog::Accepted;
    }
    bool DumpAtAddress(DumpRequest &request) override;
    int OpenMemoryDump(uint8_t data_space, uint8_t xpc_offset, uint8_t physical) override;
    void BeginDumpUpdate() override;
    void EndDumpUpdate() override;
    void ShowMemoryDump(const std::string &caption) override;
    int WatchCount() override { return frmWatches ? frmWatches->WatchCount() : 0; }
    bool HasSelectedWatch() override { return frmWatches && frmWatches->HasSelectedWatch(); }
    void DeleteSelectedWatch() override
    {
        if (frmWatches)
            frmWatches->DeleteSelectedWatch();
    }
    void DeleteAllWatches() override
    {
        if (frmWatches)
            frmWatches->DeleteAllWatches(true);
    }
    void ShowWatchLimitMessage() override { ::ShowWatchLimitMessage(); }
    void FocusWatches() override
    {
        if (!frmWatches)
            return;
        frmWatches->BringToFront();
        frmWatches->lbxWatches->setFocus();
    }
    void SaveRegistersPosition() override
    {
        if (auto *registers = qobject_cast<TfrmRegisters *>(window(DebugWindow::Registers)))
            registers->SavePosition();
    }
    void ResetCycleSumStatus() override
    {
        if (TfrmDisassembly *disassembly = disassembly_window())
            disassembly->ResetCycleSumStatus();
    }
    void ClearStdioScreen() override
    {
        if (auto *stdio = qobject_cast<TfrmStdio *>(window(DebugWindow::Stdio)))
            stdio->ClearScreen();
    }

private:
    // The program's window while it exists (none when another table is installed).
    static TfrmDockable *window(DebugWindow which)
    {
        auto *table = dynamic_cast<ProgramDebugWindows *>(&debug_windows());
        return table ? table->Window(which) : nullptr;
    }
};

TfrmMainWindow &main_window()
{
    if (!frmMainWindow)
        missing(kMsgNoDebugWindows);
    return *frmMainWindow;
}

// The Memory Dump Setup dialog, modally; a file it wrote ends the command.
bool ProgramCommandDialogs::DumpAtAddress(DumpRequest &request)
{
    TfrmMainWindow &main = main_window();
    TfrmDumpAtAddress dialog(&main, &main);
    if (options_shell().ExecModal(dialog) != QDialog::Accepted)
        return false;
    request.to_file = dialog.WrittenToFile();
    request.physical = dialog.Physical();
    request.logical = addr_offset(dialog.Address());
    request.xpc = addr_xpc(dialog.Address());
    request.address_text = dialog.GetDumpAddress();
    return true;
}

// The new window is shown at once: its visible rows decide how much is read.
int ProgramCommandDialogs::OpenMemoryDump(uint8_t data_space, uint8_t xpc_offset,
                                          uint8_t physical)
{
    TfrmMainWindow &main = main_window();
    auto *window = new TfrmMemoryDump(&main, physical, xpc_offset, data_space);
    main.SetCurrentDumpWindow(window);
    main.AddDumpWindow(window);
    window->ShowWindow();
    window->BringToFront();
    return window->BlockCountForView();
}

void ProgramCommandDialogs::BeginDumpUpdate()
{
    if (TfrmMemoryDump *window = main_window().CurrentDumpWindow())
        window->lbxMemoryDump->setUpdatesEnabled(false);
}

void ProgramCommandDialogs::EndDumpUpdate()
{
    if (TfrmMemoryDump *window = main_window().CurrentDumpWindow())
        window->lbxMemoryDump->setUpdatesEnabled(true);
}

void ProgramCommandDialogs::ShowMemoryDump(const std::string &caption)
{
    TfrmMainWindow &main = main_window();
    TfrmMemoryDump *window = main.CurrentDumpWindow();
    if (!window)
        return;
    window->DumpShown(caption);
    main.AddDumpWindow(window);
}

ProgramCommandDialogs g_program_dialogs;
TCommandDialogs *g_dialogs = &g_program_dialogs;

} // namespace

TDebuggerOperations &debugger_operations() { return *g_operations; }
void set_debugger_operations(TDebuggerOperations *operations)
{
    g_operations = operations ? operations : &g_missing_operations;
}
void install_debugger_link() { set_debugger_operations(&g_link_operations); }

TCommandDialogs &command_dialogs() { return *g_dialogs; }
void set_command_dialogs(TCommandDialogs *dialogs)
{
    g_dialogs = dialogs ? dialogs : &g_program_dialogs;
}

// ---- the adapter over the sequence and the link ---------------------------------------------------

int LinkDebuggerOperations::CompileWithBiosCheck(const std::string &file)
{
    return ::CompileWithBiosCheck(file);
}
int LinkDebuggerOperations::CompileFile(const std::string &file, bool use_attached_target)
{
    return ::CompileFile(file, use_attached_target);
}
int LinkDebuggerOperations::ResetAndLoadBios() { return ::ResetAndLoadBios(); }
void LinkDebuggerOperations::ClearCompileFlags() { ::ClearCompileFlags(); }
bool LinkDebuggerOperations::CompilingToFile() { return gCompileToFile != 0; }
bool LinkDebuggerOperations::FlashWriteMode() { return compile_conditions().erase; }

void LinkDebuggerOperations::CloseCompilerSource()
{
    try {
        if (reading_input())
            close_line_input();
    } catch (...) {
        // The compile is abandoned either way; a source that will not close changes nothing.
    }
}

bool LinkDebuggerOperations::TcIsConnectionOpen() { return ::TcIsConnectionOpen(); }
bool LinkDebuggerOperations::LinkIsTcp()
{
    return target_operations().GetCommSettings().link_kind != 0;
}
void LinkDebuggerOperations::TcCheckPendingError() { target_operations().TcCheckPendingError(); }
void LinkDebuggerOperations::TcCloseConnection() { target_operations().TcCloseConnection(); }
void LinkDebuggerOperations::TcResetTarget() { target_operations().TcResetTarget(); }
void LinkDebuggerOperations::TcResetTargetWithMode() { ::TcResetTargetWithMode(); }
void LinkDebuggerOperations::TcRunWatches() { ::TcRunWatches(); }

void LinkDebuggerOperations::readEnabledOptions() { ::readEnabledOptions(); }
bool LinkDebuggerOperations::areWatchesEnabled() { return ::areWatchesEnabled(); }
bool LinkDebuggerOperations::canStepInstructions() { return ::canStepInstructions(); }
int LinkDebuggerOperations::getMaxWatches() { return ::getMaxWatches(); }
int LinkDebuggerOperations::startLoadedProgram(bool) { return ::startLoadedProgram(); }
void LinkDebuggerOperations::runProgram() { ::runProgram(); }
void LinkDebuggerOperations::stopProgram() { ::stopProgram(); }
void LinkDebuggerOperations::clearTargetBreakpoints() { ::clearTargetBreakpoints(); }
void LinkDebuggerOperations::refreshAfterStop(bool flag) { ::refreshAfterStop(flag); }
void LinkDebuggerOperations::toggleInterruptPriority()
{
    // The status bar shows the priority the target stopped with; the toggle starts from it.
    ::toggleInterruptPriority(gMainWindowInterface->ShownIP());
}
void LinkDebuggerOperations::removeAllBreakpoints() { ::removeAllBreakpoints(); }
int LinkDebuggerOperations::userBreakpointCount() { return int(breakpointList().size()); }
void LinkDebuggerOperations::startStep(int kind, int over) { ::startStep(kind, over); }
bool LinkDebuggerOperations::StepPending() { return gStepPending; }
void LinkDebuggerOperations::SetStepPending(bool pending) { gStepPending = pending; }
void LinkDebuggerOperations::SetStartAfterLoad(bool on) { gStartAfterLoad = on; }
bool LinkDebuggerOperations::TraceRunning() { return trace_buf().StateBit0(); }
void LinkDebuggerOperations::ResetTrace(bool save) { trace_buf().ResetTrace(save); }
void LinkDebuggerOperations::disassembleAtCursor(TEditorInterface *editor)
{
    ::disassembleAtCursor(editor);
}
void LinkDebuggerOperations::disassembleAtAddress(uint32_t address)
{
    ::disassembleAtAddress(address);
}
namespace {

// The address word the dump lines are formatted from: the physical address itself in the
// physical form, the request's XPC with the offset that makes up the physical address in the
// xpc:offset form, the low 16 bits as a logical address otherwise.
uint32_t dump_address_word(uint32_t physical)
{
    const cMainWindow &main = *gMainWindowInterface;
    physical &= kPhysicalMask;
    if (main.dump_physical)
        return physical_to_addr(physical);
    if (main.dump_xpc_offset) {
        const uint8_t xpc = addr_xpc(main.dump_start);
        return make_addr(xpc, uint16_t(physical - uint32_t(xpc) * kPageSize));
    }
    return make_addr(0, uint16_t(physical));
}

} // namespace

void LinkDebuggerOperations::fillMemoryDump(uint32_t physical, int blocks, bool change_marking)
{
    ::fillMemoryDump(dump_address_word(physical), blocks, nullptr, change_marking);
}
void LinkDebuggerOperations::fillMemoryDumpToFile(uint32_t physical, int blocks,
                                                  std::ostream &file)
{
    ::fillMemoryDump(dump_address_word(physical), blocks, &file, false);
}
void LinkDebuggerOperations::TcReadPhysicalMemory(uint32_t physical, uint32_t length,
                                                  uint8_t *buffer)
{
    ::TcReadPhysicalMemory(physical, length, buffer);
}
void LinkDebuggerOperations::refreshWatchWindow() { ::refreshWatchWindow(); }
void LinkDebuggerOperations::showExecutionPoint() { ::showExecutionPoint(); }

void LinkDebuggerOperations::TcSetSendFlag(int bit, bool on) { ::TcSetSendFlag(bit, on); }

// The windows are asked for without showing them: the toggle has just shown the one it fills.
void LinkDebuggerOperations::fillDisassemblyView()
{
    if (TAssemblyInterface *view = gMainWindowInterface->GetAssemblyInterface(false))
        ::fillDisassemblyView(gTargetRegisters.PC, 0, *view, gTargetRegisters.PC);
}
void LinkDebuggerOperations::fillStackView()
{
    constexpr uint16_t kStackWords = 16;
    if (TStackInterface *view = gMainWindowInterface->GetStackInterface(false))
        ::fillStackView(*view, gTargetRegisters, kStackWords);
}
void LinkDebuggerOperations::formatRegisterLines()
{
    if (TRegisterInterface *view = gMainWindowInterface->GetRegisterInterface(false))
        ::formatRegisterLines(*view, gTargetRegisters);
}

void LinkDebuggerOperations::TcReadRegisters() { ::TcReadRegisters(); }
void LinkDebuggerOperations::TcWriteRegisters(const TargetRegisterSet &registers)
{
    ::TcWriteRegisters(registers);
    gTargetRegisters = registers;
}
void LinkDebuggerOperations::TcSendStdioCharCount(uint8_t count) { ::TcSendStdioCharCount(count); }
bool LinkDebuggerOperations::isWaitingForStdioChar() { return ::isWaitingForStdioChar(); }

void LinkDebuggerOperations::Wait(uint32_t milliseconds) { MsTimerWait(milliseconds); }
void LinkDebuggerOperations::Sleep(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
