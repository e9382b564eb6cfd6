// TC: the target-communication operations, the one door through which the compile-and-load
// sequence, the debugger core and the debug windows talk to the target. Each operation shows
// what it does in the main window's status bar, calls the request layer (TcRequests), turns a
// failure's result code into an exception with the user's message (`TcThrowError`), and clears
// the status text. The unit also registers the message handlers of the link, takes the
// target's own messages (stops, register data, stdio, watch data, trace packets, texts) and
// hands them to the debugger core, opens the communication trace with the connection, and
// shows link errors.
// GUI thread only.
#pragma once

#include "core/SEAM_TARGET.h"
#include "TcRequests.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The registers last read from the target (`TargetRegisterSet` is SEAM_TARGET's).
extern TargetRegisterSet gTargetRegisters;

// Where the target's own messages go: run control, the stdio window and the trace store
// install theirs. The built-in one writes stdio output to the stdio window, answers the
// target's request for a character from it, keeps the tracing state of a status byte, and
// refuses the rest with "The debugger core is not part of this build.".
class TcDebuggerEvents {
public:
    virtual ~TcDebuggerEvents() = default;
    // ATBP (the target stopped) and STARTPROGRAM (the program was started).
    virtual void onTargetStopped(uint16_t stop_reason) = 0;
    // A one-byte REGDATA.
    virtual void onStatusByte(uint8_t status) = 0;
    virtual void onStackData(const uint8_t *data, uint16_t length) = 0;
    virtual void onAsmData(const uint8_t *data, uint16_t length) = 0;
    virtual void onStdio(const uint8_t *data, uint16_t length) = 0;
    virtual void onTracePacket(const uint8_t *data, uint16_t length) = 0;
    // SENDCHAR: the target waits for one stdio character.
    virtual void onSendChar() = 0;
};
// Installs the debugger's events (not owned); null restores the built-in ones.
void TcSetDebuggerEvents(TcDebuggerEvents *events);

// --- errors ---

// Codes 253-255 show their note and return; 4124 clears the status text and throws
// xUserCancel; every other code sets the status text "Communication error" and throws
// xTCErr with the code's message ("Target communication error." for codes without one).
void TcThrowError(int code);
// Shows a link error of the reader (kind 0 NAK, 1 no callback, 2 bad packet, 3 dropped).
void TcShowLinkError(uint8_t kind, uint8_t type, uint8_t subtype);
LinkErrorRecord TcGetLinkError();
void TcRecordLinkError(uint8_t kind, uint8_t type, uint8_t subtype);

// --- opening and closing ---

// Opens the link (the open one is kept when its settings serve), with the communication trace
// first when "Enable TC Logging" is on; then the send flags are 0x08, the watch results
// zeroed, and the running, starting and watch flags cleared.
void TcOpenConnection(const TCOptionsType &settings, ReaderMode mode,
                      TcPassPhraseCallback pass_phrase = {});
// Closes the link and the trace; a close during a request cancels that request instead.
void TcCloseConnection();
// Registers every message of the link on the current connection, with this unit's handlers.
void TcRegisterHandlers();
// The read-exception handler ("Read exception.") and, with logging on, the trace writers.
void TcRegisterTraceCallbacks();
bool TcIsConnectionOpen();
void TcCancelRequest();

// --- state the debugger reads ---
bool TcProgramRunning();
bool TcProgramStarting();
bool TcWatchesRunning();
bool TcStdioPending();
uint16_t TcStopReason();
uint8_t TcSendFlags();
uint8_t TcTraceFlags();

// --- operations ---
void TcReadPhysicalMemory(uint32_t physical, uint32_t length, uint8_t *buffer);
void TcReadMemory(uint32_t address_word, uint32_t length, uint8_t *buffer);
void TcWritePhysicalMemory(uint32_t physical, uint32_t length, const uint8_t *data);
void TcWriteMemory(uint32_t address_word, uint32_t length, const uint8_t *data);
// Downloads the file of `file`'s folder and name with `extension` (see SendFilePackets).
void TcDownloadFile(const std::string &file, const std::string &extension, uint32_t start,
                    uint32_t address_offset, uint32_t length, const DownloadFilter &filter,
                    uint16_t argument, uint32_t file_offset);
void TcResetTarget();
void TcResetTargetWithMode();
void TcSendSysPoll();
// Nothing while another request is in progress.
void TcSendDbgPoll();
void TcStartProgram();
void TcStopProgram();
void TcRunProgram();
void TcReadRegisters();
// The argument's registers, but XPC, PC and the status byte of the last register data.
void TcWriteRegisters(const TargetRegisterSet &registers);
void TcSingleStep(int bit_a, int bit_b);
void TcGetEnabledOptions(uint8_t &options, uint8_t &max_watches, uint8_t &max_breakpoints);
void TcToggleBreakpoint(uint32_t address_word, uint8_t flags, uint16_t value);
void TcRemoveAllBreakpoints();
void TcAddWatch(uint8_t xpc, uint16_t offset, uint8_t size);
// The first 12 bytes of entry `index` (0-255) of the watch results.
void TcGetWatchResult(int index, uint8_t out[12]);
// The whole 18-byte entry `index` of the last WATCHDATA: the 12 result bytes, the status (0
// the watch returned; 1 it ran too long, 2 an undefined opcode, 3 the exit trap), 0, HL, 0, 0.
// False when the last WATCHDATA brought no entry of that index.
inline constexpr std::size_t kWatchEntrySize = 18;
bool TcGetWatchEntry(int index, uint8_t out[kWatchEntrySize]);
// Nothing while a watch run is pending.
void TcRunWatches();
void TcDeleteAllWatches();
void TcSendStdioChar(char c);
void TcSendStdioCharCount(uint8_t count);
void TcClearTraceFlags();
void TcSetTraceFlag(int bit, bool on);
void TcSetSendFlag(int bit, bool on);
// A failure is not reported: the tag is left as it was.
void TcGetDebugTag(uint16_t &tag);
void TcSetDebugTag(uint16_t tag);
void TcSetRetryCount(uint32_t count);
uint32_t TcGetRetryCount();
void TcSetResponseTimeout(uint32_t ms);
uint32_t TcGetResponseTimeout();
// Discovery: the request goes to the settings' discovery address.
void TcInitDiscovery(uint16_t port);
[[nodiscard]] bool TcDiscoverLoaders(DiscoveryReply &reply);
void TcEndDiscovery();
void TcSendFrame(uint8_t type, uint8_t subtype, const uint8_t *payload, size_t length);
// Acknowledges stdio data (DBG STDIO with the ACK bit) when some is pending and no request is
// in progress.
void TcAckStdio();
void TcSetUsbSerialDelay(bool use_converter, uint32_t delay_ms);
void TcGetUsbSerialDelay(bool &use_converter, uint32_t &delay_ms);
// The ID block and the four values before it.
TcBoardInfo TcReadBoardInfo();
void TcSendFlashParameters(uint16_t flash_size, uint16_t sector_size, uint16_t sector_count,
                           uint16_t write_mode);
// True when the target accepts the rate, false when it refuses it.
bool TcSetBaudRate(uint32_t rate);
bool TcValidateIdBlock(const std::array<uint8_t, 132> &id_block);
// True on failure; throws nothing.
bool TcEraseFlash(uint32_t value);
void TcSendPilotBios(const std::string &file, uint32_t bios_baud);
// True on success.
bool TcSendColdLoader(const std::string &file, uint32_t cold_loader_baud);
void TcStartBios(uint8_t mode);
void TcSetTargetBaud(uint32_t rate);
