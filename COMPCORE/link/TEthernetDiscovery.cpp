// TEthernetConnection: network discovery (see TEthernetConnection.h). A UDP request goes to
// the broadcast address on the discovery port; boards answer on the port above it.
//
// Request (84 bytes):  00 01 | 00 01... | "myname" NUL | zeros to 84
//   0: 0x01 0x00, 2: 0x00 0x01, 4: "myname\0", 11-83: zeros
// Reply (86 bytes, multi-byte fields little-endian but the address):
//   0: not read | 2: status u16 | 4: name, 40 bytes, zero-terminated within them
//   44: IPv4 address, first octet first | 48: MAC, 6 bytes | 54: TCP port u16 | 56: not read
#include "TEthernetConnection.h"

#include "debugger/MsTimer.h"
#include "core/guiInterface.h"

#include <array>
#include <cerrno>
#include <cstdio>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t kRequestSize = 84;
constexpr size_t kReplySize = 86;
constexpr size_t kNameSize = 40;

// Message ids of the status texts, by status value.
constexpr uint32_t kMsgStatusRunning = 7680;
constexpr uint32_t kMsgStatusProgrammed = 7681;
constexpr uint32_t kMsgStatusWaiting = 7682;
constexpr uint32_t kMsgStatusError = 7683;
constexpr uint32_t kMsgStatusUnknown = 7684;

uint32_t status_text_id(uint16_t status)
{
    switch (status) {
    case 0: return kMsgStatusRunning;
    case 1: return kMsgStatusProgrammed;
    case 2: return kMsgStatusWaiting;
    case 255: return kMsgStatusError;
    default: return kMsgStatusUnknown;
    }
}

std::string format(const char *f, auto... args)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, f, args...);
    return buf;
}

} // namespace

void TEthernetConnection::startDiscovery(uint16_t port, const std::string &broadcast)
{
    endDiscovery();
    m_discovery_port = port;
    m_broadcast = broadcast;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw xConnectionErr(kLinkNoSocket);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(uint16_t(port + 1));
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        ::close(fd);
        throw xConnectionErr(kLinkDiscoveryBindFailed);
    }
    m_udp = fd;
    try {
        broadcastDiscovery();
    } catch (const xConnectionErr &) {
        endDiscovery();
        throw;
    }
    m_rebroadcasts = 2;
    m_next_broadcast = MsTimerNow() + link_timings().discovery_interval_ms;
}

void TEthernetConnection::broadcastDiscovery()
{
    std::array<uint8_t, kRequestSize> request{};
    request[0] = 0x01;
    request[3] = 0x01;
    static constexpr char kName[] = "myname";
    std::copy(kName, kName + sizeof kName, request.begin() + 4);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_discovery_port);
    if (::inet_pton(AF_INET, m_broadcast.c_str(), &to.sin_addr) != 1)
        throw xConnectionErr(kLinkDiscoverySendFailed);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw xConnectionErr(kLinkNoSocket);
    const int one = 1;
    const bool sent =
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one) == 0 &&
        ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr *>(&to),
                 sizeof to) == ssize_t(request.size());
    ::close(fd);
    if (!sent)
        throw xConnectionErr(kLinkDiscoverySendFailed);
}

bool TEthernetConnection::pollDiscoveryReply(DiscoveryReply &reply)
{
    if (m_udp < 0)
        return false;
    if (m_rebroadcasts > 0 && int32_t(MsTimerNow() - m_next_broadcast) >= 0) {
        --m_rebroadcasts;
        broadcastDiscovery();
        m_next_broadcast = MsTimerNow() + link_timings().discovery_interval_ms;
    }
    // One receive takes one datagram: a short one is dropped whole, never completed from the
    // next board's reply.
    std::array<uint8_t, kReplySize> r{};
    const ssize_t n = ::recv(m_udp, r.data(), r.size(), 0);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return false;
        throw xConnectionErr(kLinkDiscoveryReceiveFailed);
    }
    if (size_t(n) < kReplySize)
        return false;
    size_t name_length = 0;
    while (name_length < kNameSize && r[4 + name_length] != 0)
        ++name_length;
    reply.name.assign(reinterpret_cast<const char *>(r.data() + 4), name_length);
    reply.status = GetResString(status_text_id(uint16_t(r[2] | r[3] << 8)));
    reply.address = format("%d.%d.%d.%d", r[44], r[45], r[46], r[47]);
    reply.mac = format("%02x:%02x:%02x:%02x:%02x:%02x", r[48], r[49], r[50], r[51], r[52], r[53]);
    reply.port = format("%d", r[54] | r[55] << 8);
    return true;
}

void TEthernetConnection::endDiscovery()
{
    if (m_udp >= 0)
        ::close(m_udp);
    m_udp = -1;
    m_rebroadcasts = 0;
}
