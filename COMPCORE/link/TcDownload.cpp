// TcDownload: the program download (see TcRequests.h). The image goes out as SYS WRITE
// packets, back to back, without waiting for each answer: SYS WRITE's entry is borrowed for
// the download, with a callback that counts the answers, and the download waits at the end
// until every packet sent has been answered.
//
// Packet: mode 0 | u16 length (at most 128) | u32 physical address | the data
#include "TcRequestScope.h"

#include "debugger/MsTimer.h"
#include "core/guiInterface.h"

#include <QEventLoop>
#include <QTimer>

#include <fstream>
#include <optional>
#include <vector>

namespace {

constexpr uint32_t kBlock = 128;
constexpr size_t kPacketHeader = 7;
constexpr uint32_t kMsgPacketsSent = 7660;  // "%d of %d packets sent"
constexpr uint32_t kMsgPacketsAcked = 7661; // "%d of %d packets acknowledged"

// How the wait's event loop was left.
constexpr int kWake = 1;
constexpr int kDeadline = 2;

int g_acks = 0;
QEventLoop *g_wait = nullptr;

uint32_t count_answer(const uint8_t *, uint16_t, uintptr_t)
{
    ++g_acks;
    if (g_wait)
        g_wait->exit(kWake);
    return 0;
}

void report(const std::function<void(const std::string &)> &progress, uint32_t id, int done,
            int of)
{
    if (progress)
        progress(GetResString(id, done, of));
}

// Clears the wait's hooks on every path.
struct WaitHooks {
    explicit WaitHooks(QEventLoop &loop)
    {
        g_wait = &loop;
        tcreq::cancel_listener() = [] {
            if (g_wait)
                g_wait->exit(kWake);
        };
    }
    ~WaitHooks()
    {
        g_wait = nullptr;
        tcreq::cancel_listener() = {};
    }
};

} // namespace

void SendFilePackets(const std::string &file, uint32_t start, uint32_t address_offset,
                     uint32_t length, const DownloadFilter &filter, uint16_t argument,
                     uint32_t file_offset, const std::function<void(const std::string &)> &progress)
{
    tcreq::RequestScope scope;
    g_acks = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw xConnectionErr(kLinkFileFailed);
    in.seekg(std::streamoff(file_offset));
    if (!in)
        throw xConnectionErr(kLinkFileFailed);

    TConnection *c = CurrentConnection();
    std::optional<tcreq::EntryGuard> write_entry;
    if (c) {
        write_entry.emplace(*c, kLinkSys, kSysWrite);
        c->RegisterHandler(kLinkSys, kSysWrite, count_answer, 0, false, false);
    }
    auto accepts = [&](uint32_t block) { return !filter || filter(block, argument); };

    int total = 0;
    for (uint32_t done = 0; done < length; done += kBlock)
        total += accepts(start + done) ? 1 : 0;
    // Without a connection nothing would be loaded: that is no download.
    if (!c && total > 0)
        throw xConnectionErr(kLinkNoConnection);

    int sent = 0;
    std::vector<uint8_t> packet(kPacketHeader + kBlock);
    for (uint32_t done = 0; done < length; done += kBlock) {
        const uint32_t block = start + done;
        const uint32_t n = std::min(kBlock, length - done);
        packet[0] = 0;
        tcreq::put16(&packet[1], uint16_t(n));
        tcreq::put32(&packet[3], address_offset + block);
        // Every block is read, sent or not, so that the file stays in step; a file that ends
        // early never sends what the buffer held before.
        if (!in.read(reinterpret_cast<char *>(&packet[kPacketHeader]), std::streamsize(n)))
            throw xConnectionErr(kLinkFileFailed);
        if (!accepts(block))
            continue;
        c->Send(kLinkSys, kSysWrite, packet.data(), kPacketHeader + n, packet.size());
        ++sent;
        report(progress, kMsgPacketsSent, sent, total);
        const LinkErrorRecord e = c->TakeLinkError();
        if (e.pending && e.kind == kLinkErrorNak)
            throw xConnectionErr(kLinkRefused);
    }

    // The answers still to come.
    QEventLoop loop;
    WaitHooks hooks(loop);
    MsTimer deadline(uint32_t(sent) * LinkSettings().tcp_response_timeout);
    deadline.MsTimerStart();
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&loop] { loop.exit(kDeadline); });
    int reported = 0;
    bool timed_out = false, quit = false;
    for (;;) {
        if (g_acks != reported) {
            reported = g_acks;
            report(progress, kMsgPacketsAcked, g_acks, sent);
        }
        if (g_acks >= sent || tcreq::cancel_requested())
            break;
        if (deadline.MsTimerExpired()) {
            timed_out = true;
            break;
        }
        timer.start(int(std::min<uint32_t>(deadline.MsTimerLeft(), INT32_MAX)));
        const int how = loop.exec();
        timer.stop();
        if (how != kWake && how != kDeadline) {
            // The application is quitting: Qt ends every loop from now on, so the quit goes
            // on by itself; the packets not yet answered are not taken as loaded.
            quit = true;
            report(progress, kMsgPacketsAcked, g_acks, sent);
            break;
        }
    }
    if (tcreq::take_cancel_request())
        throw xConnectionErr(kLinkUserCancel);
    if (quit)
        throw xConnectionErr(kLinkQuit);
    if (timed_out)
        throw xConnectionErr(kLinkTimeout);
    // A refusal of the last packets arrives after the sending: it is no acknowledgement.
    if (c) {
        const LinkErrorRecord e = c->TakeLinkError();
        if (e.pending && e.kind == kLinkErrorNak)
            throw xConnectionErr(kLinkRefused);
    }
}
