// The transports' test harness (see LinkHarness.h).
#include "LinkHarness.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <filesystem>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace linktest {

namespace {

int g_argc = 1;
char g_name[] = "test_link";
char *g_argv[] = {g_name, nullptr};

class LinkEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!QCoreApplication::instance())
            new QCoreApplication(g_argc, g_argv);
    }
};

[[maybe_unused]] ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(new LinkEnvironment);

size_t entries(const char *folder)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

} // namespace

bool pump_until(const std::function<bool()> &pred, int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + Ms(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(Ms(1));
    }
    return true;
}

void pump_for(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + Ms(ms);
    pump_until([&] { return std::chrono::steady_clock::now() >= deadline; }, ms + 1000);
}

int code_of(const std::function<void()> &f)
{
    try {
        f();
    } catch (const xConnectionErr &e) {
        return e.code();
    }
    return 0;
}

int64_t elapsed_ms(const std::function<void()> &f)
{
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start).count();
}

std::unique_ptr<TSerialConnection> open_serial_on(const std::string &device, const TCOptionsType &o,
                                                  ReaderMode mode)
{
    SetSerialDevice(o.com_port, device);
    auto c = std::make_unique<TSerialConnection>();
    c->SetOptions(o);
    EXPECT_EQ(code_of([&] { c->openSerialPort(mode); }), 0);
    register_requests(*c);
    return c;
}

size_t open_descriptors() { return entries("/proc/self/fd"); }
size_t thread_count() { return entries("/proc/self/task"); }

// --- the peer -------------------------------------------------------------------------------

RawPeer::RawPeer(bool serial) : m_serial(serial), m_reader(serial)
{
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

std::unique_ptr<RawPeer> RawPeer::serial()
{
    std::unique_ptr<RawPeer> p(new RawPeer(true));
    char name[256] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&p->m_master, &p->m_slave, name, &raw, nullptr) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return nullptr;
    }
    ::fcntl(p->m_master, F_SETFL, ::fcntl(p->m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(p->m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(p->m_slave, F_SETFD, FD_CLOEXEC);
    p->m_device = name;
    p->m_thread = std::thread([q = p.get()] { q->loop(); });
    return p;
}

std::unique_ptr<RawPeer> RawPeer::tcp()
{
    std::unique_ptr<RawPeer> p(new RawPeer(false));
    p->m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    if (::bind(p->m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        ::listen(p->m_listen, 4) != 0 ||
        ::getsockname(p->m_listen, reinterpret_cast<sockaddr *>(&a), &size) != 0) {
        ADD_FAILURE() << "no listener";
        return nullptr;
    }
    p->m_port = ntohs(a.sin_port);
    p->m_thread = std::thread([q = p.get()] { q->loop(); });
    return p;
}

RawPeer::~RawPeer()
{
    m_stop = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_wake, &one, sizeof one);
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : {m_master, m_slave, m_listen, m_client, m_wake})
        if (fd >= 0)
            ::close(fd);
}

void RawPeer::respond(Responder responder)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_responder = std::move(responder);
}

void RawPeer::write(const Bytes &bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int fd = m_serial ? m_master : m_client;
    size_t done = 0;
    while (fd >= 0 && done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 100);
    }
}

void RawPeer::hang_up()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int *fd : {&m_client, &m_master, &m_slave}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

std::vector<PeerFrame> RawPeer::frames()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
}

size_t RawPeer::frame_count()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames.size();
}

Bytes RawPeer::received()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

bool RawPeer::client_connected()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_client >= 0;
}

bool RawPeer::wait_frames(size_t n, int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + Ms(ms);
    while (frame_count() < n) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(Ms(1));
    }
    return true;
}

RawPeer::Responder RawPeer::ack_all() const
{
    const bool serial = m_serial;
    return [serial](const PeerFrame &f) {
        if (!f.good || (f.subtype & (kLinkAck | kLinkNak)))
            return Bytes{};
        return build_link_frame(f.type, f.subtype | kLinkAck, {}, serial);
    };
}

// Called with the mutex held.
void RawPeer::take(const uint8_t *bytes, size_t count)
{
    m_received.insert(m_received.end(), bytes, bytes + count);
    for (size_t i = 0; i < count; ++i) {
        auto event = m_reader.take(bytes[i]);
        if (event == LinkFrameReader::Event::none)
            continue;
        PeerFrame f;
        f.type = m_reader.type();
        f.subtype = m_reader.subtype();
        f.payload.assign(m_reader.payload().begin(), m_reader.payload().end());
        f.good = event == LinkFrameReader::Event::good;
        f.raw.assign(m_reader.raw().begin(), m_reader.raw().end());
        m_frames.push_back(f);
        if (!m_responder)
            continue;
        Bytes answer = m_responder(f);
        const int fd = m_serial ? m_master : m_client;
        size_t done = 0;
        while (fd >= 0 && done < answer.size()) {
            ssize_t n = ::write(fd, answer.data() + done, answer.size() - done);
            if (n > 0)
                done += size_t(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
        }
    }
}

void RawPeer::loop()
{
    uint8_t buf[4096];
    while (!m_stop) {
        int fd;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            fd = m_serial ? m_master : m_client;
        }
        pollfd p[3] = {{m_wake, POLLIN, 0}, {fd, POLLIN, 0}, {m_listen, POLLIN, 0}};
        if (::poll(p, 3, 20) <= 0)
            continue;
        if (p[2].revents & POLLIN) {
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (client >= 0) {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_client >= 0)
                    ::close(m_client);
                m_client = client;
                m_reader.reset();
            }
        }
        if (fd < 0 || !(p[1].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (n > 0) {
            take(buf, size_t(n));
        } else if (n == 0 && !m_serial && m_client == fd) {
            ::close(m_client);
            m_client = -1;
        }
    }
}

void register_requests(TConnection &c)
{
    c.RegisterHandler(kLinkSys, kSysNoop, nullptr, 0, true, true);
    c.RegisterHandler(kLinkDbg, kDbgNoop, nullptr, 0, true, true);
    c.RegisterHandler(kLinkSys, kSysRead, nullptr, 0, true, true);
    c.RegisterHandler(kLinkSys, kSysStartBios, nullptr, 0, false, true);
}

} // namespace linktest
