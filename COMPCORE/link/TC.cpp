// TC: the target-communication operations and the handlers of the target's own messages (see
// TC.h).
//
// Register payload (REGDATA, WRITEREGDATA; 27 bytes, words little-endian):
//   0 SP | 2 XPC | 3 0 | 4 AF' BC' DE' HL' | 12 AF BC DE HL | 20 IX IY | 24 status | 25 PC
#include "TC.h"

#include "TcRequestScope.h"
#include "debugger/TcTrace.h"
#include "core/guiInterface.h"
#include "settings/guiKXPreferences.h"

#include <filesystem>

TargetRegisterSet gTargetRegisters;

namespace {

// --- message ids ---
constexpr uint32_t kMsgNoWatches = 7600;
constexpr uint32_t kMsgNoInstructionStep = 7601;
constexpr uint32_t kMsgNoBreakpoints = 7602;
constexpr uint32_t kMsgTargetError = 7616;
constexpr uint32_t kMsgSystemNak = 7620;
constexpr uint32_t kMsgLinkNak = 7621;
constexpr uint32_t kMsgLinkNoCallback = 7622;
constexpr uint32_t kMsgLinkBadPacket = 7623;
constexpr uint32_t kMsgLinkDropped = 7624;
constexpr uint32_t kMsgReadException = 7625;
constexpr uint32_t kMsgBoxCaption = 7626; // "error"
constexpr uint32_t kMsgCommunicationError = 7627;
constexpr uint32_t kMsgNoDebuggerCore = 7152;

// Status texts.
enum StatusText : uint32_t {
    kReading = 7630,
    kWriting = 7631,
    kWritingPackets = 7632,
    kResetting = 7633,
    kPolling = 7634,
    kStarting = 7635,
    kStopping = 7636,
    kRunning = 7637,
    kReadingRegisters = 7638,
    kWritingRegisters = 7639,
    kStepping = 7640,
    kGettingOptions = 7641,
    kTogglingBreakpoint = 7642,
    kRemovingBreakpoints = 7643,
    kAddingWatch = 7644,
    kRunningWatches = 7645,
    kDeletingWatches = 7646,
    kSendingChar = 7647,
    kSendingCharCount = 7648,
    kSettingTraceFlags = 7649,
    kSettingSendFlags = 7650,
    kGettingTag = 7651,
    kSettingTag = 7652,
    kInitDiscovery = 7653,
    kDiscovering = 7654,
    kEndDiscovery = 7655,
    kReadingBoardInfo = 7656,
    kSendingFlashParameters = 7657,
    kSettingBaud = 7658,
    kSendingPilot = 7659,
    kOpening = 7662,
    kClosing = 7663,
};

// The result codes with a message of their own.
struct CodeMessage {
    int code;
    uint32_t id;
};
constexpr CodeMessage kCodeMessages[] = {
    {kLinkPortOpenFailed, 7603}, {kLinkPortSetupFailed, 7604}, {kLinkTimeout, 7605},
    {kLinkNoProcessor, 7606},    {kLinkColdLoaderFile, 7607},  {6000, 7608},
    {6001, 7609},                {6002, 7610},                 {6003, 7611},
    {6004, 7612},                {6005, 7613},                 {6006, 7614},
    {kLinkPilotFile, 7615},      {kLinkPilotTooLarge, 7617},
};

// Codes that are notes, not failures.
constexpr int kNoWatchSupport = 253;
constexpr int kNoInstructionStepSupport = 254;
constexpr int kNoBreakpointSupport = 255;

constexpr uint8_t kInitialSendFlags = 0x08; // SendRegisterData
constexpr size_t kRegisterPayload = 27;
constexpr size_t kWatchEntry = 18;
constexpr size_t kWatchEntries = 256;
constexpr size_t kWatchValue = 12;
constexpr size_t kInfoProbeReply = 140;
constexpr size_t kIdBlockOffset = 8;
constexpr size_t kTextOffset = 4; // SYS 63: u16 (unused), u16 buffer size, the text

// --- state ---
bool g_open = false;
bool g_opening = false;
bool g_running = false;
bool g_starting = false;
bool g_watches_running = false;
bool g_stdio_pending = false;
uint8_t g_send_flags = 0;
uint8_t g_trace_flags = 0;
uint16_t g_stop_reason = 0;
std::array<uint8_t, kWatchEntry * kWatchEntries> g_watch_results{};
size_t g_watch_result_count = 0;  // entries the last WATCHDATA brought

void set_status(const std::string &text)
{
    if (TMainWindowHost *host = gMainWindowInterface->Host())
        host->SetStatusText(text);
}

void show_box(const std::string &text)
{
    ShowAppMessageBox(text, GetResString(kMsgBoxCaption), kMbOk | kMbIconError);
}

uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }

// One operation: its status text for its duration, the request, a failure's exception.
template <class F>
void op(uint32_t status, F request)
{
    set_status(GetResString(status));
    try {
        request();
    } catch (const xConnectionErr &e) {
        TcThrowError(e.code());
    }
    set_status("");
}

void send_byte(uint8_t type, uint8_t subtype, uint8_t value)
{
    const uint8_t p[1] = {value};
    SendRequest(type, subtype, p);
}

// --- the built-in debugger events ----------------------------------------------------------------

class BuiltInEvents : public TcDebuggerEvents {
public:
    void onTargetStopped(uint16_t) override { missing(); }
    void onStatusByte(uint8_t status) override { IdePreferences().tracing = (status & 0x80) != 0; }
    void onStackData(const uint8_t *, uint16_t) override { missing(); }
    void onAsmData(const uint8_t *, uint16_t) override { missing(); }
    void onStdio(const uint8_t *data, uint16_t length) override
    {
        StdioWrite(reinterpret_cast<const char *>(data), length);
    }
    void onTracePacket(const uint8_t *, uint16_t) override { missing(); }
    void onSendChar() override
    {
        char c = 0;
        if (StdioReadChar(c) != 0)
            TcSendStdioChar(c);
    }

private:
    [[noreturn]] static void missing() { throw xErr(kMsgNoDebuggerCore, KX_HERE); }
};

BuiltInEvents g_builtin_events;
TcDebuggerEvents *g_events = &g_builtin_events;

// --- handlers of the target's messages ---------------------------------------------------------
// Each runs on the GUI thread while the reader waits; what it hands on may fail with an xErr,
// which is shown here: nothing escapes into the event loop.

using Handler = void (*)(const uint8_t *p, uint16_t n);

template <Handler H>
uint32_t handle(const uint8_t *p, uint16_t n, uintptr_t)
{
    try {
        H(p, n);
    } catch (xErr &e) {
        e.ShowError();
    }
    return 0;
}

void on_system_nak(const uint8_t *p, uint16_t n)
{
    auto byte = [&](uint16_t i) -> unsigned { return i < n ? p[i] : 0; };
    show_box(GetResString(kMsgSystemNak, byte(0), byte(1), byte(2)));
}

// The text ends at its zero, at the end of its buffer, or at the end of the payload, whichever
// comes first.
void on_text(const uint8_t *p, uint16_t n)
{
    TcCancelRequest();
    if (n < kTextOffset)
        return;
    const size_t size = le16(p + 2);
    const size_t end = std::min<size_t>(n, kTextOffset + size);
    size_t at = kTextOffset;
    while (at < end && p[at] != 0)
        ++at;
    show_box(std::string(reinterpret_cast<const char *>(p + kTextOffset), at - kTextOffset));
}

void on_at_breakpoint(const uint8_t *, uint16_t)
{
    g_running = false;
    TConnection::ReplyMessage();
    g_events->onTargetStopped(g_stop_reason);
}

void on_start_program(const uint8_t *, uint16_t)
{
    g_running = false;
    g_starting = false;
    TConnection::ReplyMessage();
    g_events->onTargetStopped(g_stop_reason);
}

// A status byte, or the 27-byte register block; any other length is a bad packet.
void on_register_data(const uint8_t *p, uint16_t n)
{
    if (n == 1) {
        g_events->onStatusByte(p[0]);
        return;
    }
    if (n != kRegisterPayload) {
        TcRecordLinkError(kLinkErrorBadPacket, kLinkDbg, kDbgRegData);
        return;
    }
    TargetRegisterSet &r = gTargetRegisters;
    r.SP = le16(p);
    r.AF2 = le16(p + 4);
    r.BC2 = le16(p + 6);
    r.DE2 = le16(p + 8);
    r.HL2 = le16(p + 10);
    r.AF = le16(p + 12);
    r.BC = le16(p + 14);
    r.DE = le16(p + 16);
    r.HL = le16(p + 18);
    r.IX = le16(p + 20);
    r.IY = le16(p + 22);
    r.PC = uint32_t(p[2]) << 16 | le16(p + 25);
    g_stop_reason = p[24];
}

// Whole entries only, as many as the result area holds.
void on_watch_data(const uint8_t *p, uint16_t n)
{
    const size_t bytes = std::min<size_t>(n, g_watch_results.size()) / kWatchEntry * kWatchEntry;
    std::copy(p, p + bytes, g_watch_results.begin());
    g_watch_result_count = bytes / kWatchEntry;
    if (!g_starting && g_watches_running) {
        g_watches_running = false;
        TConnection::ReplyMessage();
    }
}

void on_send_char(const uint8_t *, uint16_t) { g_events->onSendChar(); }
void on_asm_data(const uint8_t *p, uint16_t n) { g_events->onAsmData(p, n); }
void on_stack_data(const uint8_t *p, uint16_t n) { g_events->onStackData(p, n); }

void on_stdio(const uint8_t *p, uint16_t n)
{
    g_events->onStdio(p, n);
    g_stdio_pending = true;
}

void on_trace(const uint8_t *p, uint16_t n)
{
    g_events->onTracePacket(p, n);
    if (!IsRequestInProgress())
        TcSendFrame(kLinkDbg, kDbgStdio | kLinkAck, nullptr, 0);
    TConnection::ReplyMessage();
}

void on_loader_dropped(const uint8_t *, uint16_t)
{
    TcRecordLinkError(kLinkErrorDropped, kLinkDbg, kDbgLoaderDropped);
}

// The message table's registrations: a callback, or none; whether requests wait; whether the
// answer is kept as the request's reply.
struct Registration {
    uint8_t type;
    uint8_t subtype;
    MessageCallback (*callback)();
    bool waits;
    bool keep_reply;
};

template <Handler H>
MessageCallback cb()
{
    return handle<H>;
}
constexpr MessageCallback (*kNone)() = nullptr;

constexpr Registration kRegistrations[] = {
    {kLinkSys, kSysNak, cb<on_system_nak>, true, false},
    {kLinkSys, kSysNoop, kNone, true, true},
    {kLinkSys, kSysRead, kNone, true, true},
    {kLinkSys, kSysWrite, kNone, true, true},
    {kLinkSys, kSysInfoProbe, kNone, true, true},
    {kLinkSys, kSysStartBios, kNone, false, true},
    {kLinkSys, kSysSetBaudRate, kNone, true, true},
    {kLinkSys, kSysEraseFlash, kNone, true, true},
    {kLinkSys, kSysFlashData, kNone, true, true},
    {kLinkSys, kSysText, cb<on_text>, true, false},
    {kLinkDbg, kDbgSingleStep, kNone, true, true},
    {kLinkDbg, kDbgToggleBp, kNone, true, true},
    {kLinkDbg, kDbgClearBps, kNone, true, true},
    {kLinkDbg, kDbgAtBp, cb<on_at_breakpoint>, false, false},
    {kLinkDbg, kDbgStartProgram, cb<on_start_program>, true, false},
    {kLinkDbg, kDbgRunProgram, kNone, true, true},
    {kLinkDbg, kDbgStopProgram, kNone, true, true},
    {kLinkDbg, kDbgAddWatch, kNone, true, true},
    {kLinkDbg, kDbgDeleteWatch, kNone, true, true},
    {kLinkDbg, kDbgDeleteAllWatches, kNone, true, true},
    {kLinkDbg, kDbgExecWatch, kNone, true, true},
    {kLinkDbg, kDbgExecAllWatches, kNone, true, true},
    {kLinkDbg, kDbgSendChar, cb<on_send_char>, false, false},
    {kLinkDbg, kDbgReset, kNone, true, true},
    {kLinkDbg, kDbgSetSendFlags, kNone, true, true},
    {kLinkDbg, kDbgRegData, cb<on_register_data>, true, false},
    {kLinkDbg, kDbgWatchData, cb<on_watch_data>, false, false},
    {kLinkDbg, kDbgAsmData, cb<on_asm_data>, false, false},
    {kLinkDbg, kDbgStackData, cb<on_stack_data>, false, false},
    {kLinkDbg, kDbgStdio, cb<on_stdio>, false, false},
    {kLinkDbg, kDbgWriteRegData, kNone, true, true},
    {kLinkDbg, kDbgCharReady, kNone, true, true},
    {kLinkDbg, kDbgNoop, kNone, true, true},
    {kLinkDbg, kDbgEnabledOptions, kNone, true, true},
    {kLinkDbg, kDbgSetDebugTag, kNone, true, true},
    {kLinkDbg, kDbgGetDebugTag, kNone, true, true},
    {kLinkDbg, kDbgTrace, cb<on_trace>, false, false},
    {kLinkDbg, kDbgSetTraceFlags, kNone, true, true},
    {kLinkDbg, kDbgSetTargetBaud, kNone, true, true},
    {kLinkDbg, kDbgPilotHeader, kNone, true, true},
    {kLinkDbg, kDbgResetWithMode, kNone, true, true},
    {kLinkDbg, kDbgLoaderDropped, cb<on_loader_dropped>, false, false},
    {kLinkDbg, 58, kNone, true, true},
    {kLinkDbg, 59, kNone, true, true},
    {kLinkDbg, kDbgPilotImage, kNone, true, true},
    {kLinkDbg, kDbgColdLoader, kNone, false, true},
    {kLinkDbg, kDbgChallengeResponse, kNone, false, true},
};

void set_mask_bit(uint8_t &mask, int bit, bool on)
{
    if (bit < 0 || bit > 7)
        return;
    if (on)
        mask = uint8_t(mask | 1u << bit);
    else
        mask = uint8_t(mask & ~(1u << bit));
}

} // namespace

void TcSetDebuggerEvents(TcDebuggerEvents *events) { g_events = events ? events : &g_builtin_events; }

// --- errors --------------------------------------------------------------------------------------

void TcThrowError(int code)
{
    switch (code) {
    case kNoWatchSupport:
        show_box(GetResString(kMsgNoWatches));
        return;
    case kNoInstructionStepSupport:
        show_box(GetResString(kMsgNoInstructionStep));
        return;
    case kNoBreakpointSupport:
        show_box(GetResString(kMsgNoBreakpoints));
        return;
    case kLinkUserCancel:
        set_status("");
        throw xUserCancel(KX_HERE);
    default:
        break;
    }
    uint32_t id = kMsgTargetError;
    for (const CodeMessage &m : kCodeMessages)
        if (m.code == code)
            id = m.id;
    set_status(GetResString(kMsgCommunicationError));
    throw xTCErr(id, KX_HERE);
}

void TcShowLinkError(uint8_t kind, uint8_t type, uint8_t subtype)
{
    switch (kind) {
    case kLinkErrorNak:
        show_box(GetResString(kMsgLinkNak, unsigned(type), unsigned(subtype)));
        return;
    case kLinkErrorNoHandler:
        show_box(GetResString(kMsgLinkNoCallback, unsigned(type), unsigned(subtype)));
        return;
    case kLinkErrorBadPacket:
        show_box(GetResString(kMsgLinkBadPacket, unsigned(type), unsigned(subtype)));
        return;
    case kLinkErrorDropped:
        show_box(GetResString(kMsgLinkDropped));
        return;
    default:
        return;
    }
}

LinkErrorRecord TcGetLinkError()
{
    TConnection *c = CurrentConnection();
    return c ? c->TakeLinkError() : LinkErrorRecord{};
}

void TcRecordLinkError(uint8_t kind, uint8_t type, uint8_t subtype)
{
    if (TConnection *c = CurrentConnection())
        c->RecordLinkError(kind, type, subtype);
}

// --- opening and closing -------------------------------------------------------------------------

void TcOpenConnection(const TCOptionsType &settings, ReaderMode mode,
                      TcPassPhraseCallback pass_phrase)
{
    set_status(GetResString(kOpening));
    g_opening = true;
    // The trace opens first, so that the open itself is traced.
    if (IdePreferences().tc_logging && TcOpenTraceFile())
        SetLinkTraceCallbacks(TcTraceWriters());
    try {
        OpenLink(settings, mode, std::move(pass_phrase));
    } catch (const xConnectionErr &e) {
        g_opening = false;
        TcThrowError(e.code());
    }
    g_opening = false;
    g_send_flags = kInitialSendFlags;
    g_watch_results.fill(0);
    g_watch_result_count = 0;
    g_open = true;
    g_running = g_starting = g_watches_running = false;
    set_status("");
}

void TcCloseConnection()
{
    set_status(GetResString(kClosing));
    if (CloseLink() == kLinkCloseInRequest) {
        TcCancelRequest();
        set_status("");
        return;
    }
    g_open = false;
    TcCloseTraceFile();
    set_status("");
}

void TcRegisterHandlers()
{
    TConnection *c = CurrentConnection();
    if (!c)
        return;
    for (const Registration &r : kRegistrations)
        c->RegisterHandler(r.type, r.subtype, r.callback ? r.callback() : MessageCallback{}, 0,
                           r.waits, r.keep_reply);
}

void TcRegisterTraceCallbacks()
{
    SetLinkReadExceptionHandler([] { show_box(GetResString(kMsgReadException)); });
    if (IdePreferences().tc_logging)
        SetLinkTraceCallbacks(TcTraceWriters());
}

bool TcIsConnectionOpen() { return g_open; }
void TcCancelRequest() { RequestCancel(); }

bool TcProgramRunning() { return g_running; }
bool TcProgramStarting() { return g_starting; }
bool TcWatchesRunning() { return g_watches_running; }
bool TcStdioPending() { return g_stdio_pending; }
uint16_t TcStopReason() { return g_stop_reason; }
uint8_t TcSendFlags() { return g_send_flags; }
uint8_t TcTraceFlags() { return g_trace_flags; }

// --- memory --------------------------------------------------------------------------------------

void TcReadPhysicalMemory(uint32_t physical, uint32_t length, uint8_t *buffer)
{
    op(kReading, [&] { ReadPhysicalMemory(physical, length, buffer); });
}

void TcReadMemory(uint32_t address_word, uint32_t length, uint8_t *buffer)
{
    op(kReading, [&] {
        ReadLogicalMemory(uint8_t(address_word >> 16), uint16_t(address_word), length, buffer);
    });
}

void TcWritePhysicalMemory(uint32_t physical, uint32_t length, const uint8_t *data)
{
    op(kWriting, [&] { WritePhysicalMemory(physical, length, data); });
}

void TcWriteMemory(uint32_t address_word, uint32_t length, const uint8_t *data)
{
    op(kWriting, [&] {
        WriteLogicalMemory(uint8_t(address_word >> 16), uint16_t(address_word), length, data);
    });
}

void TcDownloadFile(const std::string &file, const std::string &extension, uint32_t start,
                    uint32_t address_offset, uint32_t length, const DownloadFilter &filter,
                    uint16_t argument, uint32_t file_offset)
{
    std::filesystem::path image(file);
    image.replace_extension(extension);
    op(kWritingPackets, [&] {
        SendFilePackets(image.string(), start, address_offset, length, filter, argument,
                        file_offset, set_status);
    });
}

// --- program control -----------------------------------------------------------------------------

void TcResetTarget()
{
    op(kResetting, [] { ResetTarget(); });
}

void TcResetTargetWithMode()
{
    op(kResetting, [] { send_byte(kLinkDbg, kDbgResetWithMode, 4); });
}

void TcSendSysPoll()
{
    op(kPolling, [] { SendRequest(kLinkSys, kSysNoop); });
}

void TcSendDbgPoll()
{
    if (IsRequestInProgress())
        return;
    op(kPolling, [] { SendRequest(kLinkDbg, kDbgNoop); });
}

// The flags rise before the request: the target's answer, which lowers them, may come inside it.
void TcStartProgram()
{
    g_running = g_starting = true;
    op(kStarting, [] { SendRequest(kLinkDbg, kDbgStartProgram); });
}

void TcStopProgram()
{
    g_running = true;
    op(kStopping, [] { SendRequest(kLinkDbg, kDbgStopProgram); });
}

void TcRunProgram()
{
    op(kRunning, [] { SendRequest(kLinkDbg, kDbgRunProgram); });
}

void TcSingleStep(int bit_a, int bit_b)
{
    g_running = true;
    op(kStepping, [&] {
        send_byte(kLinkDbg, kDbgSingleStep, uint8_t((1u << (bit_a & 7)) | (1u << (bit_b & 7))));
    });
}

void TcReadRegisters()
{
    op(kReadingRegisters, [] { SendRequest(kLinkDbg, kDbgRegData); });
}

void TcWriteRegisters(const TargetRegisterSet &r)
{
    std::array<uint8_t, kRegisterPayload> p{};
    tcreq::put16(&p[0], r.SP);
    p[2] = uint8_t(gTargetRegisters.PC >> 16);
    const uint16_t words[] = {r.AF2, r.BC2, r.DE2, r.HL2, r.AF, r.BC, r.DE, r.HL, r.IX, r.IY};
    for (size_t i = 0; i < std::size(words); ++i)
        tcreq::put16(&p[4 + 2 * i], words[i]);
    p[24] = uint8_t(g_stop_reason);
    tcreq::put16(&p[25], uint16_t(gTargetRegisters.PC));
    op(kWritingRegisters, [&] { SendRequest(kLinkDbg, kDbgWriteRegData, p); });
}

void TcGetEnabledOptions(uint8_t &options, uint8_t &max_watches, uint8_t &max_breakpoints)
{
    op(kGettingOptions, [&] {
        std::array<uint8_t, 3> reply{};
        if (SendRequestForReply(kLinkDbg, kDbgEnabledOptions, reply, reply.size()) < reply.size())
            throw xConnectionErr(kLinkShortReply);
        options = reply[0];
        max_watches = reply[1];
        max_breakpoints = reply[2];
    });
}

void TcToggleBreakpoint(uint32_t address_word, uint8_t flags, uint16_t value)
{
    std::array<uint8_t, 7> p{};
    tcreq::put32(&p[0], address_word);
    p[4] = flags;
    tcreq::put16(&p[5], value);
    op(kTogglingBreakpoint, [&] { SendRequest(kLinkDbg, kDbgToggleBp, p); });
}

void TcRemoveAllBreakpoints()
{
    op(kRemovingBreakpoints, [] { SendRequest(kLinkDbg, kDbgClearBps); });
}

// --- watches -------------------------------------------------------------------------------------

void TcAddWatch(uint8_t xpc, uint16_t offset, uint8_t size)
{
    std::array<uint8_t, 5> p{};
    tcreq::put32(&p[0], uint32_t(xpc) << 16 | offset);
    p[4] = size;
    op(kAddingWatch, [&] { SendRequest(kLinkDbg, kDbgAddWatch, p); });
}

void TcGetWatchResult(int index, uint8_t out[12])
{
    if (index < 0 || size_t(index) >= kWatchEntries)
        return;
    const auto from = g_watch_results.begin() + long(size_t(index) * kWatchEntry);
    std::copy(from, from + long(kWatchValue), out);
}

bool TcGetWatchEntry(int index, uint8_t out[kWatchEntrySize])
{
    if (index < 0 || size_t(index) >= g_watch_result_count)
        return false;
    const auto from = g_watch_results.begin() + long(size_t(index) * kWatchEntry);
    std::copy(from, from + long(kWatchEntry), out);
    return true;
}

void TcRunWatches()
{
    if (g_watches_running)
        return;
    g_watches_running = true;
    try {
        op(kRunningWatches, [] { RunWatches(); });
    } catch (...) {
        g_watches_running = false;
        throw;
    }
}

void TcDeleteAllWatches()
{
    op(kDeletingWatches, [] { SendRequest(kLinkDbg, kDbgDeleteAllWatches); });
    // The results of the watches gone belong to none of the watches added from now on.
    g_watch_result_count = 0;
}

// --- stdio ---------------------------------------------------------------------------------------

void TcSendStdioChar(char c)
{
    op(kSendingChar, [&] { send_byte(kLinkDbg, kDbgSendChar, uint8_t(c)); });
}

void TcSendStdioCharCount(uint8_t count)
{
    op(kSendingCharCount, [&] { send_byte(kLinkDbg, kDbgCharReady, count); });
}

void TcAckStdio()
{
    if (!g_stdio_pending || IsRequestInProgress())
        return;
    TcSendFrame(kLinkDbg, kDbgStdio | kLinkAck, nullptr, 0);
    g_stdio_pending = false;
}

// --- flags and tag -------------------------------------------------------------------------------

void TcClearTraceFlags() { g_trace_flags = 0; }

void TcSetTraceFlag(int bit, bool on)
{
    set_mask_bit(g_trace_flags, bit, on);
    op(kSettingTraceFlags, [] { send_byte(kLinkDbg, kDbgSetTraceFlags, g_trace_flags); });
}

void TcSetSendFlag(int bit, bool on)
{
    set_mask_bit(g_send_flags, bit, on);
    op(kSettingSendFlags, [] { send_byte(kLinkDbg, kDbgSetSendFlags, g_send_flags); });
}

void TcGetDebugTag(uint16_t &tag)
{
    set_status(GetResString(kGettingTag));
    try {
        std::array<uint8_t, 2> reply{};
        if (SendRequestForReply(kLinkDbg, kDbgGetDebugTag, reply, reply.size()) >= reply.size())
            tag = le16(reply.data());
    } catch (const xConnectionErr &) {
        // Not reported: a tag that cannot be read stays as it was, which tells the caller the
        // target may not hold the BIOS it loaded.
    }
    set_status("");
}

void TcSetDebugTag(uint16_t tag)
{
    uint8_t p[2];
    tcreq::put16(p, tag);
    op(kSettingTag, [&] { SendRequest(kLinkDbg, kDbgSetDebugTag, p); });
}

// --- transport values ----------------------------------------------------------------------------

void TcSetRetryCount(uint32_t count)
{
    if (TConnection *c = CurrentConnection())
        c->SetRetryCount(count);
}

uint32_t TcGetRetryCount()
{
    TConnection *c = CurrentConnection();
    return c ? c->GetRetryCount() : 0;
}

void TcSetResponseTimeout(uint32_t ms)
{
    if (TConnection *c = CurrentConnection())
        c->SetResponseTimeout(ms);
}

uint32_t TcGetResponseTimeout()
{
    TConnection *c = CurrentConnection();
    return c ? c->GetResponseTimeout() : 0;
}

// --- discovery -----------------------------------------------------------------------------------

void TcInitDiscovery(uint16_t port)
{
    op(kInitDiscovery, [&] { StartDiscovery(port, IdePreferences().discovery_address); });
}

bool TcDiscoverLoaders(DiscoveryReply &reply)
{
    bool found = false;
    op(kDiscovering, [&] { found = PollDiscovery(reply); });
    return found;
}

void TcEndDiscovery()
{
    op(kEndDiscovery, [] { EndDiscovery(); });
}

void TcSendFrame(uint8_t type, uint8_t subtype, const uint8_t *payload, size_t length)
{
    TConnection *c = CurrentConnection();
    if (!c)
        return;
    try {
        c->SendFrame(type, subtype, payload, length);
    } catch (const xConnectionErr &e) {
        TcThrowError(e.code());
    }
}

// --- loaders -------------------------------------------------------------------------------------

void TcSetUsbSerialDelay(bool use_converter, uint32_t delay_ms)
{
    SetUsbSerialDelay(use_converter, delay_ms);
}

void TcGetUsbSerialDelay(bool &use_converter, uint32_t &delay_ms)
{
    GetUsbSerialDelay(use_converter, delay_ms);
}

// INFOPROBE reply: u16 flash id | RAM size code | frequency divider | u16 CPU id | 2 unused |
// the 132-byte ID block, whose productID (bytes 2-3) is the board type.
TcBoardInfo TcReadBoardInfo()
{
    TcBoardInfo info;
    op(kReadingBoardInfo, [&] {
        std::array<uint8_t, kInfoProbeReply> reply{};
        if (SendRequestForReply(kLinkSys, kSysInfoProbe, reply, 0) < reply.size())
            throw xConnectionErr(kLinkShortReply);
        info.flash_id = le16(&reply[0]);
        info.ram_size_code = reply[2];
        info.freq_divider = reply[3];
        info.cpu_id = le16(&reply[4]);
        std::copy(reply.begin() + kIdBlockOffset, reply.end(), info.id_block.begin());
        info.board_type = le16(&info.id_block[2]);
    });
    return info;
}

void TcSendFlashParameters(uint16_t flash_size, uint16_t sector_size, uint16_t sector_count,
                           uint16_t write_mode)
{
    std::array<uint8_t, 8> p{};
    tcreq::put16(&p[0], sector_size);
    tcreq::put16(&p[2], sector_count);
    tcreq::put16(&p[4], flash_size);
    tcreq::put16(&p[6], write_mode);
    op(kSendingFlashParameters, [&] { SendRequest(kLinkSys, kSysFlashData, p); });
}

bool TcSetBaudRate(uint32_t rate)
{
    bool accepted = true;
    uint8_t p[4];
    tcreq::put32(p, rate);
    op(kSettingBaud, [&] {
        try {
            SendRequest(kLinkSys, kSysSetBaudRate, p);
        } catch (const xConnectionErr &e) {
            if (e.code() != kLinkRefused)
                throw;
            accepted = false;
        }
    });
    return accepted;
}

bool TcValidateIdBlock(const std::array<uint8_t, 132> &id_block) { return id_block_is_valid(id_block); }

bool TcEraseFlash(uint32_t value)
{
    try {
        EraseFlash(value);
    } catch (const xConnectionErr &) {
        return true;
    }
    return false;
}

void TcSendPilotBios(const std::string &file, uint32_t bios_baud)
{
    op(kSendingPilot, [&] { SendPilotBios(file, bios_baud); });
}

bool TcSendColdLoader(const std::string &file, uint32_t cold_loader_baud)
{
    try {
        SendColdLoader(file, cold_loader_baud);
    } catch (const xConnectionErr &e) {
        TcThrowError(e.code());
        return false;
    }
    return true;
}

void TcStartBios(uint8_t mode)
{
    try {
        send_byte(kLinkSys, kSysStartBios, mode);
    } catch (const xConnectionErr &e) {
        TcThrowError(e.code());
    }
}

void TcSetTargetBaud(uint32_t rate)
{
    uint8_t p[4];
    tcreq::put32(p, rate);
    try {
        SendRequest(kLinkDbg, kDbgSetTargetBaud, p);
    } catch (const xConnectionErr &e) {
        TcThrowError(e.code());
    }
}
