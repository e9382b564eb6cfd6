// BoardStandIn: the board's links and thread (see BoardStandIn.h). One loop: ppoll over the
// wake event, the pty master, the TCP listener and client and the UDP socket; then, under the
// lock, read what came, run a slice of the program when it runs, write what is queued, and
// tell waiting tests that something changed.
#include "BoardStandIn.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace vsim {

namespace {

constexpr size_t kReadSize = 16384;
constexpr size_t kPacedChunk = 64;     // bytes the paced line hands over at a time
constexpr size_t kDiscoveryRequest = 84;
constexpr size_t kDiscoveryReply = 86;
constexpr size_t kShortDiscoveryReply = 40;

void close_fd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool set_nonblocking(int fd)
{
    int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// The termios speed constants the host may set, 2400 to 460800 and the common ones below.
uint32_t speed_value(speed_t s)
{
    switch (s) {
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    default: return 0;
    }
}

// Time the line takes for n bytes of 10 bits at `baud`.
std::chrono::nanoseconds line_time(size_t n, uint32_t baud)
{
    return std::chrono::nanoseconds(int64_t(n) * 10 * 1000000000LL / int64_t(baud));
}

// A socket bound to 127.0.0.1 (or every address) on `port`; its bound port in `port`.
int bound_socket(int type, bool any_address, uint16_t &port, std::string &error)
{
    int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return -1;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(any_address ? INADDR_ANY : INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0 || !set_nonblocking(fd)) {
        error = std::string("cannot bind ") + (any_address ? "0.0.0.0:" : "127.0.0.1:") +
                std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

} // namespace

BoardStandIn::BoardStandIn(const StandInConfig &config)
    : m_config(config), m_firmware(std::make_unique<BoardFirmware>(config.firmware, static_cast<FirmwareOutput &>(*this)))
{
}

BoardStandIn::~BoardStandIn() { stop(); }

bool BoardStandIn::start(std::string &error)
{
    if (m_started) {
        error = "the board stand-in runs already";
        return false;
    }
    m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wake < 0) {
        error = std::string("cannot create an event: ") + std::strerror(errno);
        return false;
    }
    if (m_config.serial) {
        if (openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
            error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
            stop();
            return false;
        }
        fcntl(m_master, F_SETFD, FD_CLOEXEC);
        fcntl(m_slave, F_SETFD, FD_CLOEXEC);
        termios t{};
        tcgetattr(m_slave, &t);
        cfmakeraw(&t);
        tcsetattr(m_slave, TCSANOW, &t);
        set_nonblocking(m_master);
        set_nonblocking(m_slave);
        m_pty_path = ttyname(m_slave) ? ttyname(m_slave) : "";
    }
    if (m_config.tcp) {
        m_tcp_port = m_config.tcp_port;
        m_listen = bound_socket(SOCK_STREAM, false, m_tcp_port, error);
        if (m_listen < 0 || ::listen(m_listen, 4) != 0) {
            if (m_listen >= 0)
                error = std::string("cannot listen: ") + std::strerror(errno);
            stop();
            return false;
        }
    }
    if (m_config.udp) {
        m_discovery_port = m_config.discovery_port;
        m_udp = bound_socket(SOCK_DGRAM, m_config.discovery_any_address, m_discovery_port, error);
        if (m_udp < 0) {
            stop();
            return false;
        }
    }
    m_stop = false;
    m_started = true;
    m_thread = std::thread([this] { loop(); });
    return true;
}

void BoardStandIn::stop()
{
    m_stop = true;
    if (m_thread.joinable()) {
        wake();
        m_thread.join();
    }
    m_started = false;
    close_fd(m_client);
    close_fd(m_listen);
    close_fd(m_udp);
    close_fd(m_master);
    close_fd(m_slave);
    close_fd(m_wake);
}

void BoardStandIn::wake()
{
    if (m_wake < 0)
        return;
    uint64_t one = 1;
    ssize_t n = ::write(m_wake, &one, sizeof one);
    (void)n; // a full counter already wakes the loop
}

bool BoardStandIn::wait_until(const std::function<bool(const BoardFirmware &)> &pred)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, m_config.wait_timeout, [&] { return pred(*m_firmware); });
}

void BoardStandIn::short_discovery_reply()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_short_reply = true;
}

// --- output queues ----------------------------------------------------------------------------

void BoardStandIn::link_write(LinkKind link, std::vector<uint8_t> bytes, uint32_t rate)
{
    std::deque<Chunk> &queue = link == LinkKind::serial ? m_serial_out : m_tcp_out;
    size_t &queued = link == LinkKind::serial ? m_serial_queued : m_tcp_queued;
    bool no_line = link == LinkKind::serial ? m_master < 0 : m_client < 0;
    if (no_line || queued + bytes.size() > m_config.output_limit) {
        m_dropped += bytes.size();
        return;
    }
    queued += bytes.size();
    queue.push_back({std::move(bytes), 0, rate});
}

void BoardStandIn::link_close_tcp() { close_client(); }

// The host went away (or another took its place): the firmware hears of it.
void BoardStandIn::drop_client()
{
    close_client();
    m_firmware->tcp_closed();
}

void BoardStandIn::close_client()
{
    if (m_client >= 0)
        ::shutdown(m_client, SHUT_RDWR);
    close_fd(m_client);
    m_tcp_out.clear();
    m_tcp_queued = 0;
}

// --- the loop ---------------------------------------------------------------------------------

uint32_t BoardStandIn::line_baud() const
{
    termios t{};
    if (m_slave < 0 || tcgetattr(m_slave, &t) != 0)
        return 0;
    return speed_value(cfgetospeed(&t));
}

void BoardStandIn::loop()
{
    std::vector<pollfd> fds;
    while (!m_stop) {
        fds.clear();
        bool infinite = true;
        Clock::duration timeout{};
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            Clock::time_point now = Clock::now();
            bool paced = m_config.paced && line_baud() != 0;
            fds.push_back({m_wake, POLLIN, 0});
            if (m_master >= 0) {
                short events = 0;
                if (!paced || now >= m_in_next)
                    events |= POLLIN;
                else
                    infinite = false, timeout = m_in_next - now;
                if (!m_serial_out.empty()) {
                    if (!paced || now >= m_out_next)
                        events |= POLLOUT;
                    else if (infinite || m_out_next - now < timeout)
                        infinite = false, timeout = m_out_next - now;
                }
                fds.push_back({m_master, events, 0});
            }
            if (m_listen >= 0)
                fds.push_back({m_listen, POLLIN, 0});
            if (m_client >= 0)
                fds.push_back({m_client, short(POLLIN | (m_tcp_out.empty() ? 0 : POLLOUT)), 0});
            if (m_udp >= 0)
                fds.push_back({m_udp, POLLIN, 0});
            if (m_firmware->wants_cpu())
                infinite = false, timeout = Clock::duration::zero();
        }
        timespec ts{};
        if (!infinite) {
            auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout).count();
            ts.tv_sec = time_t(ns / 1000000000);
            ts.tv_nsec = long(ns % 1000000000);
        }
        int ready = ppoll(fds.data(), fds.size(), infinite ? nullptr : &ts, nullptr);
        if (m_stop)
            break;
        if (ready < 0 && errno != EINTR)
            break;

        std::lock_guard<std::mutex> lock(m_mutex);
        Clock::time_point now = Clock::now();
        for (const pollfd &p : fds) {
            if (!p.revents || (p.revents & POLLNVAL))
                continue;
            if (p.fd == m_wake) {
                uint64_t count;
                ssize_t n = ::read(m_wake, &count, sizeof count);
                (void)n;
            } else if (p.fd == m_master && (p.revents & POLLIN)) {
                read_serial(now);
            } else if (p.fd == m_listen) {
                accept_client();
            } else if (p.fd == m_client && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
                read_client();
            } else if (p.fd == m_udp) {
                answer_discovery();
            }
        }
        if (m_firmware->wants_cpu())
            m_firmware->run_slice();
        write_serial(Clock::now());
        write_client();
        m_changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_changed.notify_all();
}

void BoardStandIn::read_serial(Clock::time_point now)
{
    uint32_t baud = line_baud();
    bool paced = m_config.paced && baud != 0;
    uint8_t buffer[kReadSize];
    ssize_t n = ::read(m_master, buffer, paced ? kPacedChunk : sizeof buffer);
    if (n <= 0)
        return; // nothing yet (the slave side held open keeps EIO away)
    if (paced) // a late wake-up may catch up one run, as a UART's FIFO would
        m_in_next = std::max(m_in_next, now - line_time(kPacedChunk, baud)) + line_time(size_t(n), baud);
    m_firmware->serial_input(std::span<const uint8_t>(buffer, size_t(n)), baud);
}

// In strict mode a chunk sent at another speed than the host's line now runs at is lost.
void BoardStandIn::write_serial(Clock::time_point now)
{
    if (m_master < 0)
        return;
    uint32_t baud = line_baud();
    bool paced = m_config.paced && baud != 0;
    while (!m_serial_out.empty()) {
        Chunk &c = m_serial_out.front();
        size_t left = c.bytes.size() - c.sent;
        if (m_config.firmware.strict_line_speed && c.rate != 0 && c.rate != baud) {
            m_dropped += left;
            m_serial_queued -= left;
            m_serial_out.pop_front();
            continue;
        }
        if (paced) {
            if (now < m_out_next)
                return;
            left = std::min(left, kPacedChunk);
        }
        ssize_t n = ::write(m_master, c.bytes.data() + c.sent, left);
        if (n <= 0)
            return; // the line is full: the rest goes when it drains
        c.sent += size_t(n);
        m_serial_queued -= size_t(n);
        if (paced)
            m_out_next = std::max(m_out_next, now - line_time(kPacedChunk, baud)) + line_time(size_t(n), baud);
        if (c.sent == c.bytes.size())
            m_serial_out.pop_front();
    }
}

// One host at a time: a new connection replaces the old one.
void BoardStandIn::accept_client()
{
    int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    if (m_client >= 0)
        drop_client();
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    m_client = fd;
    m_firmware->tcp_connected();
}

void BoardStandIn::read_client()
{
    uint8_t buffer[kReadSize];
    ssize_t n = ::recv(m_client, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) {
        drop_client();
        return;
    }
    m_firmware->tcp_input(std::span<const uint8_t>(buffer, size_t(n)));
}

void BoardStandIn::write_client()
{
    while (m_client >= 0 && !m_tcp_out.empty()) {
        Chunk &c = m_tcp_out.front();
        ssize_t n = ::send(m_client, c.bytes.data() + c.sent, c.bytes.size() - c.sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (n <= 0) {
            drop_client();
            return;
        }
        c.sent += size_t(n);
        m_tcp_queued -= size_t(n);
        if (c.sent == c.bytes.size())
            m_tcp_out.pop_front();
    }
}

// Reply (86 bytes): 2 bytes not read by the host, status (u16), name (40, zero-terminated),
// IPv4 address (first octet first), MAC (6), TCP port (u16), 30 zero bytes.
void BoardStandIn::answer_discovery()
{
    uint8_t request[512];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = ::recvfrom(m_udp, request, sizeof request, 0, reinterpret_cast<sockaddr *>(&from), &len);
    if (n != ssize_t(kDiscoveryRequest))
        return; // not a discovery request
    ++m_discovery_requests;
    uint8_t reply[kDiscoveryReply] = {};
    reply[1] = 1;
    reply[2] = uint8_t(m_config.discovery_status);
    reply[3] = uint8_t(m_config.discovery_status >> 8);
    std::memcpy(reply + 4, m_config.board_name.data(), std::min<size_t>(39, m_config.board_name.size()));
    std::memcpy(reply + 44, m_config.board_address.data(), 4);
    std::memcpy(reply + 48, m_config.firmware.mac.data(), 6);
    reply[54] = uint8_t(m_tcp_port);
    reply[55] = uint8_t(m_tcp_port >> 8);
    uint16_t port = m_config.discovery_reply_port ? m_config.discovery_reply_port
                                                  : uint16_t(m_discovery_port + 1);
    from.sin_port = htons(port);
    size_t size = m_short_reply ? kShortDiscoveryReply : kDiscoveryReply;
    m_short_reply = false;
    ::sendto(m_udp, reply, size, 0, reinterpret_cast<sockaddr *>(&from), sizeof from);
}

} // namespace vsim
