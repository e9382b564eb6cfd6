// TEthernetConnection: the TCP/IP link on POSIX sockets (see TEthernetConnection.h).
#include "TEthernetConnection.h"

#include "debugger/MsTimer.h"

#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

TEthernetConnection::TEthernetConnection() : TConnection(false) {}

TEthernetConnection::~TEthernetConnection()
{
    Close();
    endDiscovery();
}

void TEthernetConnection::connectTcp(ReaderMode mode)
{
    Close();
    ClearClosing();
    ClearCancel();
    const TCOptionsType &o = Options();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw xConnectionErr(kLinkNoSocket);
    auto fail = [fd](int code) {
        ::close(fd);
        throw xConnectionErr(code);
    };
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(o.control_port);
    if (::inet_pton(AF_INET, comm_text(o.network_address).c_str(), &address.sin_addr) != 1)
        fail(kLinkConnectFailed);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS)
            fail(kLinkConnectFailed);
        bool connected = false;
        try {
            connected = WaitWritable(fd, link_timings().connect_ms);
        } catch (const xConnectionErr &e) {
            fail(e.code());
        }
        if (!connected)
            fail(kLinkTimeout);
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
            fail(kLinkConnectFailed);
    }
    const linger no_linger{0, 0};
    if (::setsockopt(fd, SOL_SOCKET, SO_LINGER, &no_linger, sizeof no_linger) != 0)
        fail(errno);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one); // requests are small
    m_socket = fd;
    SetMode(mode);
    try {
        StartReader(false);
    } catch (const xConnectionErr &) {
        Close();
        throw;
    }
}

void TEthernetConnection::SetReaderMode(ReaderMode mode) { SetMode(mode); }

void TEthernetConnection::WriteRaw(const uint8_t *, size_t)
{
    throw xConnectionErr(kLinkRawInThreadedMode);
}

void TEthernetConnection::ReadRaw(uint8_t *, size_t)
{
    throw xConnectionErr(kLinkRawInThreadedMode);
}

void TEthernetConnection::Close()
{
    MarkClosing();
    StopReader();
    SetMode(ReaderMode::initial);
    if (m_socket < 0)
        return;
    ::shutdown(m_socket, SHUT_WR);
    ::close(m_socket);
    m_socket = -1;
}

void TEthernetConnection::WriteBytes(const uint8_t *bytes, size_t count)
{
    if (m_socket < 0)
        throw xConnectionErr(kLinkConnectFailed);
    struct Busy {
        int &n;
        explicit Busy(int &c) : n(c) { ++n; }
        ~Busy() { --n; }
    } busy(m_busy);
    MsTimer deadline(link_timings().send_ms);
    deadline.MsTimerStart();
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::send(m_socket, bytes + done, count - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            const int error = errno;
            AbortReader(error);
            throw xConnectionErr(error);
        }
        bool writable = false;
        try {
            writable = WaitWritable(m_socket, deadline.MsTimerLeft());
        } catch (const xConnectionErr &e) {
            AbortReader(e.code());
            throw;
        }
        if (!writable) {
            AbortReader(kLinkTimeout);
            throw xConnectionErr(kLinkTimeout);
        }
    }
}

void TEthernetConnection::WaitForInput() { WaitReadable(m_socket); }

size_t TEthernetConnection::ReadBytes()
{
    const ssize_t n = ::recv(m_socket, m_input.data(), m_input.size(), MSG_DONTWAIT);
    if (n > 0)
        return size_t(n);
    if (n == 0)
        EndReader(kLinkPeerClosed);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return 0;
    EndReader(errno);
}
