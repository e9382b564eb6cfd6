// TcTargetOperations: the target link behind SEAM_TARGET's `TargetOperations`. Every operation
// the compiler core and the IDE ask of the target goes to the target-communication operations
// (TC) and the compile-and-load sequence (guiCompilerInterface); breakpoints, enabled options and
// the trace capture go to the debugger core (DB_BP, DB_GO, guiTrace). The IDE installs it at
// start-up, with run control as the link's debugger events; end-to-end tests install it over the
// board stand-in.
// GUI thread only.
#pragma once

#include "core/SEAM_TARGET.h"

class TcTargetOperations : public TargetOperations {
public:
    TCOptionsType GetCommSettings() override;
    void SetCommSettings(TCOptionsType settings) override;
    std::array<uint32_t, 3> GetLoaderBaudRates() override;
    void SetLoaderBaudRates(const std::array<uint32_t, 3> &rates) override;
    void TcGetUsbSerialDelay(uint8_t &use_converter, uint32_t &delay_ms) override;
    void TcSetUsbSerialDelay(uint8_t use_converter, uint32_t delay_ms) override;
    void SetTraceOptions() override;
    uint32_t TcGetRetryCount() override;
    void TcSetRetryCount(uint32_t count) override;
    uint32_t TcGetResponseTimeout() override;
    void TcSetResponseTimeout(uint32_t ms) override;
    TcBoardInfo TcReadBoardInfo() override;
    bool TcValidateIdBlock(const std::array<uint8_t, 132> &id_block) override;
    void TcSendFlashParameters(uint32_t flash_size, uint32_t sector_size, uint32_t sector_count,
                               uint32_t write_mode) override;
    bool TcEraseFlash(uint32_t physical_end) override;
    void TcDownloadFile(const std::string &path, const std::string &extension,
                        uint32_t address_offset, uint32_t length, uint32_t image_start,
                        uint32_t block_size) override;
    void TcWritePhysicalMemory(uint32_t physical, const uint8_t *bytes, uint32_t count) override;
    void TcReadMemory(uint32_t address_word, uint8_t *buffer, uint32_t count) override;
    void ShowCompileStatusCaption() override;
    void ReconnectAtDebugBaud() override;
    void TraceStartCapture() override;
    void TraceStopCapture() override;
    bool areBreakpointsEnabled() override;
    uint8_t getMaxWatches() override;
    bool toggleBreakpoint(TEditorInterface &editor) override;
    bool toggleHardBreakpoint(TEditorInterface &editor) override;
    TcLinkError TcGetLinkError() override;
    void TcShowLinkError(uint8_t kind, uint8_t type, uint8_t subtype) override;
    void TcSendSysPoll() override;
    void TcSendDbgPoll() override;
    void TcCheckPendingError() override;
    void TcCloseConnection() override;
    void TcResetTarget() override;
    void TcClearTraceFlags() override;
    void TcSetTraceFlag(uint8_t bit, bool on) override;
    void forgetBreakpoints() override;
};

// The one adapter of the process, installed as the target operations; run control becomes the
// link's debugger events.
void install_target_link();
