// SEAM_TARGET: shared flags of the compile-and-load sequence, the millisecond clock, the
// built-in target operations used until the target link installs its own, and the breakpoint
// tables in use (the debugger core's, DB_SRC, unless a test installs others). The built-in
// operations throw for every call, so nothing is ever reported as erased, loaded or read that
// was not.
#include "SEAM_TARGET.h"

#include "debugger/DB_SRC.h"
#include "debugger/LinkFrame.h"

#include "guiExceptions.h"

#include <chrono>

uint8_t gTCState = 0;
uint8_t gDebugRstState = 0;
uint8_t gTargetlessCompile = 0;
uint8_t gBiosLoadFlag = 0;
uint8_t gBiosCompileFlag = 0;

namespace {
uint8_t g_compiling_bios = 0;
MillisecondClockFn g_clock = nullptr;

uint32_t steady_milliseconds()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

constexpr uint32_t kMsgNoTargetLink = 7151;    // "The target link is not part of this build."
constexpr uint32_t kMsgNoDebuggerCore = 7152;  // "The debugger core is not part of this build."

[[noreturn]] void missing(uint32_t id) { throw xErr(id, KX_HERE); }

class MissingTargetOperations : public TargetOperations {
public:
    TCOptionsType GetCommSettings() override { missing(kMsgNoTargetLink); }
    void SetCommSettings(TCOptionsType) override { missing(kMsgNoTargetLink); }
    std::array<uint32_t, 3> GetLoaderBaudRates() override { missing(kMsgNoTargetLink); }
    void SetLoaderBaudRates(const std::array<uint32_t, 3> &) override { missing(kMsgNoTargetLink); }
    void TcGetUsbSerialDelay(uint8_t &, uint32_t &) override { missing(kMsgNoTargetLink); }
    void TcSetUsbSerialDelay(uint8_t, uint32_t) override { missing(kMsgNoTargetLink); }
    void SetTraceOptions() override { missing(kMsgNoDebuggerCore); }
    uint32_t TcGetRetryCount() override { missing(kMsgNoTargetLink); }
    void TcSetRetryCount(uint32_t) override { missing(kMsgNoTargetLink); }
    uint32_t TcGetResponseTimeout() override { missing(kMsgNoTargetLink); }
    void TcSetResponseTimeout(uint32_t) override { missing(kMsgNoTargetLink); }
    TcBoardInfo TcReadBoardInfo() override { missing(kMsgNoTargetLink); }
    bool TcValidateIdBlock(const std::array<uint8_t, 132> &) override { missing(kMsgNoTargetLink); }
    void TcSendFlashParameters(uint32_t, uint32_t, uint32_t, uint32_t) override
    {
        missing(kMsgNoTargetLink);
    }
    bool TcEraseFlash(uint32_t) override { missing(kMsgNoTargetLink); }
    void TcDownloadFile(const std::string &, const std::string &, uint32_t, uint32_t, uint32_t,
                        uint32_t) override
    {
        missing(kMsgNoTargetLink);
    }
    void TcWritePhysicalMemory(uint32_t, const uint8_t *, uint32_t) override
    {
        missing(kMsgNoTargetLink);
    }
    void TcReadMemory(uint32_t, uint8_t *, uint32_t) override { missing(kMsgNoTargetLink); }
    void ShowCompileStatusCaption() override { missing(kMsgNoTargetLink); }
    void ReconnectAtDebugBaud() override { missing(kMsgNoTargetLink); }
    void TraceStartCapture() override { missing(kMsgNoTargetLink); }
    void TraceStopCapture() override { missing(kMsgNoTargetLink); }
    bool areBreakpointsEnabled() override { missing(kMsgNoDebuggerCore); }
    uint8_t getMaxWatches() override { missing(kMsgNoDebuggerCore); }
    bool toggleBreakpoint(TEditorInterface &) override { missing(kMsgNoDebuggerCore); }
    bool toggleHardBreakpoint(TEditorInterface &) override { missing(kMsgNoDebuggerCore); }
    TcLinkError TcGetLinkError() override { missing(kMsgNoTargetLink); }
    void TcShowLinkError(uint8_t, uint8_t, uint8_t) override { missing(kMsgNoTargetLink); }
    void TcSendSysPoll() override { missing(kMsgNoTargetLink); }
    void TcSendDbgPoll() override { missing(kMsgNoTargetLink); }
    // Without a link no request can be in progress: there is nothing to fetch. (The status
    // box's Cancel asks this of every operation, a compile included.)
    void TcCheckPendingError() override {}
    void TcCloseConnection() override { missing(kMsgNoTargetLink); }
    void TcResetTarget() override { missing(kMsgNoTargetLink); }
    void TcClearTraceFlags() override { missing(kMsgNoTargetLink); }
    void TcSetTraceFlag(uint8_t, bool) override { missing(kMsgNoTargetLink); }
    void forgetBreakpoints() override { missing(kMsgNoDebuggerCore); }
};

MissingTargetOperations g_missing_ops;
TargetOperations *g_ops = &g_missing_ops;
BreakpointTables *g_tables = nullptr;  // null: the debugger core's own tables
} // namespace

bool IsCompilingBios() { return g_compiling_bios != 0; }
void SetCompilingBios(uint8_t flag) { g_compiling_bios = flag; }

uint32_t GetMillisecondClock() { return g_clock ? g_clock() : steady_milliseconds(); }
void SetMillisecondClock(MillisecondClockFn clock) { g_clock = clock; }

// --- Installed units --------------------------------------------------------------------------

TargetOperations &target_operations() { return *g_ops; }
void set_target_operations(TargetOperations *ops) { g_ops = ops ? ops : &g_missing_ops; }

BreakpointTables &breakpoint_tables() { return g_tables ? *g_tables : db_source_tables(); }
void set_breakpoint_tables(BreakpointTables *tables) { g_tables = tables; }

// ---- ID block check -----------------------------------------------------------------------

uint16_t id_block_crc(const std::array<uint8_t, 132> &id_block)
{
    return ::id_block_crc(std::span<const uint8_t, kIdBlockSize>(id_block));
}

bool id_block_is_valid(const std::array<uint8_t, 132> &id_block)
{
    static constexpr uint8_t kMarker[6] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
    for (std::size_t i = 0; i < 6; ++i)
        if (id_block[126 + i] != kMarker[i])
            return false;
    return id_block_crc(id_block) == uint16_t(id_block[124] | id_block[125] << 8);
}
