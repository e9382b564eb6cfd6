// TcRequests: connection management, the requests and their payloads, memory access, the TCP
// challenge and discovery (see TcRequests.h). The download and the loader stages are in
// TcDownload.cpp and TcLoader.cpp.
#include "TcRequests.h"

#include "linker/MD5.h"
#include "TcRequestScope.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<TSerialConnection> g_serial;
std::unique_ptr<TEthernetConnection> g_tcp;
std::unique_ptr<TEthernetConnection> g_discovery;
TConnection *g_current = nullptr;

TCOptionsType g_settings;
ReaderMode g_mode = ReaderMode::initial;
int g_link_state = 0;
int g_nesting = 0;
bool g_cancel = false;
bool g_read_in_progress = false;
TcPassPhraseCallback g_pass_phrase;

std::shared_ptr<const TcTraceCallbacks> g_trace;
std::function<void()> g_read_exception;

constexpr size_t kChunk = 128;         // bytes of one memory read
constexpr size_t kMemoryHeader = 7;    // mode, count, address (and XPC twice)
constexpr size_t kReadReplyOffset = 6; // a READ reply's data start here
constexpr uint16_t kWindowStart = 0xE000;
constexpr uint32_t kWindowEnd = 0xF000;
constexpr uint8_t kModePhysical = 0;
constexpr uint8_t kModeWindow = 1;
constexpr uint8_t kModeLogical = 3;
constexpr uint8_t kLinkRequestByte = 3; // DBG 56 after a TCP connect
constexpr size_t kChallengeSize = 16;
constexpr uint8_t kChallengeDigest = 1; // method 1: MD5(challenge || MD5(pass phrase))

// Gives a new connection what every connection of the layer gets.
void configure(TConnection &c)
{
    if (g_trace)
        c.SetTraceCallbacks(*g_trace);
    c.SetReadExceptionHandler(g_read_exception);
}

// The request: sends, and for an entry that keeps replies returns the reply's length (the
// reply lies in `buffer`, at most `capacity` bytes). Without a connection nothing is sent.
size_t transact(uint8_t type, uint8_t subtype, uint8_t *buffer, size_t length, size_t capacity)
{
    tcreq::RequestScope scope;
    TConnection *c = g_current;
    if (!c)
        return 0;
    c->Send(type, subtype, buffer, length, capacity);
    const MessageHandlerEntry e = c->GetHandlerEntry(type, subtype);
    return e.keep_reply && e.waits ? e.reply_length : 0;
}

void need_reply(size_t got, size_t needed)
{
    if (got < needed)
        throw xConnectionErr(kLinkShortReply);
}

// The memory payload's first seven bytes.
void memory_header(uint8_t *p, uint8_t mode, uint16_t count, uint32_t physical, uint8_t xpc,
                   uint16_t logical)
{
    p[0] = mode;
    tcreq::put16(p + 1, count);
    if (mode == kModePhysical) {
        tcreq::put32(p + 3, physical);
        return;
    }
    tcreq::put16(p + 3, logical);
    p[5] = xpc;
    p[6] = xpc;
}

uint8_t logical_mode(uint16_t address) { return address < kWindowStart ? kModeLogical : kModeWindow; }

void read_chunk(uint8_t *p, uint8_t *out, size_t n)
{
    std::array<uint8_t, kReadReplyOffset + kChunk> reply{};
    std::copy(p, p + kMemoryHeader, reply.begin());
    need_reply(transact(kLinkSys, kSysRead, reply.data(), kMemoryHeader, reply.size()),
               kReadReplyOffset + n);
    std::copy(reply.begin() + kReadReplyOffset, reply.begin() + long(kReadReplyOffset + n), out);
}

struct ReadInProgress {
    ReadInProgress() { g_read_in_progress = true; }
    ~ReadInProgress() { g_read_in_progress = false; }
};

void write_memory(const uint8_t header[kMemoryHeader], uint32_t count, const uint8_t *data)
{
    if (count > kLinkMaxSendPayload - kMemoryHeader)
        throw xConnectionErr(kLinkPayloadTooLarge);
    std::vector<uint8_t> p(header, header + kMemoryHeader);
    p.insert(p.end(), data, data + count);
    SendRequest(kLinkSys, kSysWrite, p);
}

// DBG 63: byte 0 the method, bytes 1-16 the challenge. The answer goes in DBG 62: method 1
// MD5 over the challenge and the pass phrase's digest, every other method 16 zero bytes.
uint32_t answer_challenge(TConnection &c, const uint8_t *p, uint16_t length)
{
    std::array<uint8_t, kChallengeSize> response{};
    if (length >= 1 + kChallengeSize && p[0] == kChallengeDigest && g_pass_phrase) {
        const std::array<uint8_t, 16> phrase = g_pass_phrase();
        std::array<uint8_t, 2 * kChallengeSize> both{};
        std::copy(p + 1, p + 1 + kChallengeSize, both.begin());
        std::copy(phrase.begin(), phrase.end(), both.begin() + kChallengeSize);
        response = md5_digest(both);
    }
    c.RegisterHandler(kLinkDbg, kDbgChallengeResponse, {}, 0, false, true);
    c.Send(kLinkDbg, kDbgChallengeResponse, response.data(), response.size(), response.size());
    g_link_state = 3;
    return 0;
}

void open_serial(const TCOptionsType &settings, ReaderMode mode)
{
    g_link_state = 3;
    g_tcp.reset(); // one link at a time
    // The object keeps its port open across opens; another device needs its own open.
    if (g_serial && g_serial->IsOpen() &&
        SerialDevicePath(g_serial->Options()) != SerialDevicePath(settings))
        g_serial->Close();
    TSerialConnection &s = tcreq::serial_object();
    s.SetOptions(settings);
    s.openSerialPort(mode);
}

void open_tcp(const TCOptionsType &settings, ReaderMode mode, TcPassPhraseCallback pass_phrase)
{
    g_link_state = 1;
    if (g_serial)
        g_serial->Close();
    g_current = nullptr;
    g_tcp.reset();
    g_tcp = std::make_unique<TEthernetConnection>();
    configure(*g_tcp);
    g_current = g_tcp.get();
    g_pass_phrase = std::move(pass_phrase);
    TEthernetConnection &c = *g_tcp;
    c.RegisterHandler(
        kLinkDbg, kDbgChallenge,
        [&c](const uint8_t *p, uint16_t n, uintptr_t) { return answer_challenge(c, p, n); }, 0,
        true, false);
    c.SetOptions(settings);
    c.connectTcp(mode);
    c.SendAndWait(kLinkDbg, kDbgChallenge, nullptr, 0, true);
    c.RegisterHandler(kLinkDbg, kDbgLinkRequest, {}, 0, true, true);
    try {
        const uint8_t link_request[1] = {kLinkRequestByte};
        SendRequest(kLinkDbg, kDbgLinkRequest, link_request);
    } catch (const xConnectionErr &) {
        // A target that refused the answer has dropped the link: the next request says so.
    }
}

} // namespace

// --- shared with the layer's other units ---------------------------------------------------------

namespace tcreq {

RequestScope::RequestScope()
{
    if (g_nesting++ == 0)
        g_cancel = false;
    if (g_current)
        g_current->ClearCancel();
}

RequestScope::~RequestScope() { g_nesting = std::max(0, g_nesting - 1); }

bool cancel_requested() { return g_cancel; }

bool take_cancel_request()
{
    const bool was = g_cancel;
    g_cancel = false;
    return was;
}

TSerialConnection &serial_object()
{
    if (!g_serial) {
        g_serial = std::make_unique<TSerialConnection>();
        configure(*g_serial);
    }
    g_current = g_serial.get();
    return *g_serial;
}

std::function<void()> &cancel_listener()
{
    static std::function<void()> listener;
    return listener;
}

} // namespace tcreq

// --- connection management -----------------------------------------------------------------------

void OpenLink(const TCOptionsType &settings, ReaderMode mode, TcPassPhraseCallback pass_phrase)
{
    g_nesting = 0;
    g_cancel = false;
    tcreq::RequestScope scope;
    const bool tcp = settings.link_kind != 0;
    // A link that died under the last open (a closed port, an ended reader) is opened again.
    const bool alive = g_current && g_current->IsOpen() &&
                       (g_current->GetReaderMode() != ReaderMode::threaded ||
                        g_current->ReaderRunning());
    const bool fresh = !alive || mode == ReaderMode::synchronous ||
                       !comm_settings_same_link(g_settings, settings) ||
                       (!tcp && mode != g_mode);
    if (!fresh) {
        g_current->SetOptions(settings); // time-outs and retries may have changed
        if (tcp && mode != g_mode)
            g_current->SetReaderMode(mode);
    } else if (tcp) {
        open_tcp(settings, mode, std::move(pass_phrase));
    } else {
        open_serial(settings, mode);
    }
    copy_comm_settings(g_settings, settings);
    g_mode = mode;
}

int CloseLink()
{
    TConnection *c = g_current;
    if (!c)
        return 0;
    c->Close();
    // A request waits on the object: it stays until that request has ended.
    if (g_nesting > 0)
        return kLinkCloseInRequest;
    g_current = nullptr;
    g_serial.reset();
    g_tcp.reset();
    return 0;
}

void ShutdownLink()
{
    g_discovery.reset();
    g_current = nullptr;
    g_serial.reset();
    g_tcp.reset();
    g_settings = TCOptionsType{};
    g_mode = ReaderMode::initial;
    g_link_state = 0;
    g_nesting = 0;
    g_cancel = false;
    g_read_in_progress = false;
    g_pass_phrase = {};
    g_trace.reset();
    g_read_exception = {};
}

void RequestCancel()
{
    if (!g_current || !(g_nesting > 0 || g_current->IsBusy()))
        return;
    g_current->Cancel();
    g_cancel = true;
    if (auto &listener = tcreq::cancel_listener())
        listener();
}

bool IsRequestInProgress() { return g_read_in_progress || (g_current && g_current->IsBusy()); }

ReaderMode GetReaderMode() { return g_current ? g_current->GetReaderMode() : ReaderMode::initial; }

TConnection *CurrentConnection() { return g_current; }

const TCOptionsType &LinkSettings() { return g_settings; }

int LinkState() { return g_link_state; }

void SetLinkTraceCallbacks(const TcTraceCallbacks &callbacks)
{
    g_trace = std::make_shared<const TcTraceCallbacks>(callbacks);
    for (TConnection *c : {static_cast<TConnection *>(g_serial.get()),
                           static_cast<TConnection *>(g_tcp.get())})
        if (c)
            c->SetTraceCallbacks(callbacks);
}

void SetLinkReadExceptionHandler(std::function<void()> handler)
{
    g_read_exception = std::move(handler);
    for (TConnection *c : {static_cast<TConnection *>(g_serial.get()),
                           static_cast<TConnection *>(g_tcp.get())})
        if (c)
            c->SetReadExceptionHandler(g_read_exception);
}

// --- requests ------------------------------------------------------------------------------------

void SendRequest(uint8_t type, uint8_t subtype, std::span<const uint8_t> payload)
{
    // Room for any answer a frame can carry: an answer is never refused for its size here.
    std::vector<uint8_t> buffer(std::max(payload.size(), kLinkMaxReceivePayload));
    std::copy(payload.begin(), payload.end(), buffer.begin());
    transact(type, subtype, buffer.data(), payload.size(), buffer.size());
}

size_t SendRequestForReply(uint8_t type, uint8_t subtype, std::span<uint8_t> reply,
                           size_t request_length)
{
    return transact(type, subtype, reply.data(), request_length, reply.size());
}

void ReadPhysicalMemory(uint32_t physical, uint32_t count, uint8_t *buffer)
{
    ReadInProgress reading;
    tcreq::RequestScope scope;
    for (uint32_t done = 0; done < count;) {
        const auto n = uint16_t(std::min<uint32_t>(kChunk, count - done));
        uint8_t p[kMemoryHeader];
        memory_header(p, kModePhysical, n, physical + done, 0, 0);
        read_chunk(p, buffer + done, n);
        done += n;
    }
}

// The window 0xE000-0xEFFF goes on at 0xE000 of the next 4 KB page: a chunk that would reach
// 0xF000 wraps with the XPC one higher.
void ReadLogicalMemory(uint8_t xpc, uint16_t address, uint32_t count, uint8_t *buffer)
{
    ReadInProgress reading;
    tcreq::RequestScope scope;
    uint32_t at = address;
    for (uint32_t done = 0; done < count;) {
        const auto n = uint16_t(std::min<uint32_t>(kChunk, count - done));
        uint8_t p[kMemoryHeader];
        memory_header(p, logical_mode(uint16_t(at)), n, 0, xpc, uint16_t(at));
        read_chunk(p, buffer + done, n);
        done += n;
        const uint32_t next = at + kChunk;
        if (next >= kWindowEnd) {
            if (at >= kWindowStart)
                ++xpc;
            at = next & 0xEFFF;
        } else {
            at = next;
        }
    }
}

void WritePhysicalMemory(uint32_t physical, uint32_t count, const uint8_t *data)
{
    uint8_t p[kMemoryHeader];
    memory_header(p, kModePhysical, uint16_t(count), physical, 0, 0);
    write_memory(p, count, data);
}

void WriteLogicalMemory(uint8_t xpc, uint16_t address, uint32_t count, const uint8_t *data)
{
    uint8_t p[kMemoryHeader];
    memory_header(p, logical_mode(address), uint16_t(count), 0, xpc, address);
    write_memory(p, count, data);
}

void ResetTarget()
{
    if (!g_current)
        throw xConnectionErr(kLinkNoConnection);
    SendRequest(kLinkDbg, kDbgReset);
}

void RunWatches()
{
    tcreq::RequestScope scope;
    TConnection *c = g_current;
    if (!c)
        return;
    tcreq::RetryGuard retries(*c);
    tcreq::EntryGuard watch_data(*c, kLinkDbg, kDbgWatchData);
    SendRequest(kLinkDbg, kDbgExecAllWatches);
    const MessageHandlerEntry &e = watch_data.saved();
    c->RegisterHandler(kLinkDbg, kDbgWatchData, e.callback, e.context, true, e.keep_reply);
    SendRequest(kLinkDbg, kDbgWatchData);
}

void EraseFlash(uint32_t value)
{
    tcreq::RequestScope scope;
    TConnection *c = g_current;
    if (!c)
        return;
    tcreq::RetryGuard retries(*c);
    c->SetResponseTimeout(g_settings.flash_erase_timeout);
    c->SetRetryCount(0); // an erase sent again would only wait again
    uint8_t p[4];
    tcreq::put32(p, value);
    SendRequest(kLinkSys, kSysEraseFlash, p);
}

// --- discovery -----------------------------------------------------------------------------------

void StartDiscovery(uint16_t port, const std::string &broadcast)
{
    if (!g_discovery)
        g_discovery = std::make_unique<TEthernetConnection>();
    g_discovery->startDiscovery(port, broadcast);
}

bool PollDiscovery(DiscoveryReply &reply) { return g_discovery && g_discovery->pollDiscoveryReply(reply); }

void EndDiscovery() { g_discovery.reset(); }
