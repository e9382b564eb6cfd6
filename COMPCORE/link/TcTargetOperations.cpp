// TcTargetOperations: the target operations over TC and the compile-and-load sequence.
#include "TcTargetOperations.h"

#include "DB_BP.h"
#include "DB_GO.h"
#include "core/SEAM_LINKER.h"
#include "TC.h"
#include "guiCompilerInterface.h"
#include "core/guiExceptions.h"
#include "guiTrace.h"

namespace {

TcTargetOperations g_target_link;

} // namespace

void install_target_link()
{
    set_target_operations(&g_target_link);
    install_debugger_core();
}

TCOptionsType TcTargetOperations::GetCommSettings()
{
    TCOptionsType settings;
    ::GetCommSettings(settings);
    return settings;
}

void TcTargetOperations::SetCommSettings(TCOptionsType settings) { ::SetCommSettings(settings); }

std::array<uint32_t, 3> TcTargetOperations::GetLoaderBaudRates()
{
    std::array<uint32_t, 3> rates{};
    ::GetLoaderBaudRates(rates[0], rates[1], rates[2]);
    return rates;
}

void TcTargetOperations::SetLoaderBaudRates(const std::array<uint32_t, 3> &rates)
{
    ::SetLoaderBaudRates(rates[0], rates[1], rates[2]);
}

void TcTargetOperations::TcGetUsbSerialDelay(uint8_t &use_converter, uint32_t &delay_ms)
{
    bool use = false;
    ::TcGetUsbSerialDelay(use, delay_ms);
    use_converter = use ? 1 : 0;
}

void TcTargetOperations::TcSetUsbSerialDelay(uint8_t use_converter, uint32_t delay_ms)
{
    ::TcSetUsbSerialDelay(use_converter != 0, delay_ms);
}

void TcTargetOperations::SetTraceOptions() { trace_buf().SetTraceOptions(); }
uint32_t TcTargetOperations::TcGetRetryCount() { return ::TcGetRetryCount(); }
void TcTargetOperations::TcSetRetryCount(uint32_t count) { ::TcSetRetryCount(count); }
uint32_t TcTargetOperations::TcGetResponseTimeout() { return ::TcGetResponseTimeout(); }
void TcTargetOperations::TcSetResponseTimeout(uint32_t ms) { ::TcSetResponseTimeout(ms); }
TcBoardInfo TcTargetOperations::TcReadBoardInfo() { return ::TcReadBoardInfo(); }

bool TcTargetOperations::TcValidateIdBlock(const std::array<uint8_t, 132> &id_block)
{
    return ::TcValidateIdBlock(id_block);
}

// The four values travel as 16-bit words; the flash information file gives no more.
void TcTargetOperations::TcSendFlashParameters(uint32_t flash_size, uint32_t sector_size,
                                               uint32_t sector_count, uint32_t write_mode)
{
    ::TcSendFlashParameters(uint16_t(flash_size), uint16_t(sector_size), uint16_t(sector_count),
                            uint16_t(write_mode));
}

bool TcTargetOperations::TcEraseFlash(uint32_t physical_end) { return ::TcEraseFlash(physical_end); }

// The download from the file's first byte: block addresses are file offsets, which the sector
// map knows above the image's start.
void TcTargetOperations::TcDownloadFile(const std::string &path, const std::string &extension,
                                        uint32_t address_offset, uint32_t length,
                                        uint32_t image_start, uint32_t block_size)
{
    const DownloadFilter marked = [image_start, block_size](uint32_t block, uint16_t) {
        return linker_seam().flash_sector_marked(image_start + block, block_size);
    };
    ::TcDownloadFile(path, extension, 0, address_offset, length, marked, 0, 0);
}

void TcTargetOperations::TcWritePhysicalMemory(uint32_t physical, const uint8_t *bytes,
                                               uint32_t count)
{
    ::TcWritePhysicalMemory(physical, count, bytes);
}

void TcTargetOperations::TcReadMemory(uint32_t address_word, uint8_t *buffer, uint32_t count)
{
    ::TcReadMemory(address_word, count, buffer);
}

void TcTargetOperations::ShowCompileStatusCaption() { ::ShowCompileStatusCaption(); }
void TcTargetOperations::ReconnectAtDebugBaud() { ::ReconnectAtDebugBaud(); }

// A run starts a trace run when the store waits for one; edit mode ends it, and tells the target
// to stop tracing while a link is there to tell.
void TcTargetOperations::TraceStartCapture()
{
    if (trace_buf().Idle())
        trace_buf().EnableTrace(true);
}

void TcTargetOperations::TraceStopCapture()
{
    trace_buf().EndTraceForEditMode();
    if (TcIsConnectionOpen())
        trace_buf().UpdateTraceActions(false);
}

bool TcTargetOperations::areBreakpointsEnabled() { return ::areBreakpointsEnabled(); }
uint8_t TcTargetOperations::getMaxWatches() { return ::getMaxWatches(); }
bool TcTargetOperations::toggleBreakpoint(TEditorInterface &editor) { return ::toggleBreakpoint(&editor); }
bool TcTargetOperations::toggleHardBreakpoint(TEditorInterface &editor)
{
    return ::toggleHardBreakpoint(&editor);
}
void TcTargetOperations::forgetBreakpoints() { ::forgetBreakpoints(); }

TcLinkError TcTargetOperations::TcGetLinkError()
{
    const LinkErrorRecord e = ::TcGetLinkError();
    return {e.kind, e.type, e.subtype, e.pending};
}

void TcTargetOperations::TcShowLinkError(uint8_t kind, uint8_t type, uint8_t subtype)
{
    ::TcShowLinkError(kind, type, subtype);
}

void TcTargetOperations::TcSendSysPoll() { ::TcSendSysPoll(); }
void TcTargetOperations::TcSendDbgPoll() { ::TcSendDbgPoll(); }

// The status box's Cancel: the request in progress ends as cancelled, and the wait that the
// box pumps for reports the cancel.
void TcTargetOperations::TcCheckPendingError()
{
    if (IsRequestInProgress())
        ::TcCancelRequest();
}

void TcTargetOperations::TcCloseConnection() { ::TcCloseConnection(); }
void TcTargetOperations::TcResetTarget() { ::TcResetTarget(); }
void TcTargetOperations::TcClearTraceFlags() { ::TcClearTraceFlags(); }
void TcTargetOperations::TcSetTraceFlag(uint8_t bit, bool on) { ::TcSetTraceFlag(bit, on); }
