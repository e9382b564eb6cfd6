// TSerialConnection: the serial line on POSIX (see TSerialConnection.h).
#include "TSerialConnection.h"

#include "debugger/MsTimer.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <mutex>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// What the line's output queue may hold before a raw write waits.
constexpr int kOutputQueueLimit = 65584;

std::mutex g_devices_mutex;
std::map<uint32_t, std::string> g_devices;
ModemStatusService g_modem_status;

// A deadline `ms` from now.
MsTimer after(uint32_t ms)
{
    MsTimer t(ms);
    t.MsTimerStart();
    return t;
}

// The speeds a line can be set to; 0 for one it cannot.
speed_t speed_of(uint32_t baud)
{
    struct Speed {
        uint32_t baud;
        speed_t code;
    };
    static constexpr Speed kSpeeds[] = {
        {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
        {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
        {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const Speed &s : kSpeeds)
        if (s.baud == baud)
            return s.code;
    return 0;
}

[[noreturn]] void setup_failed() { throw xConnectionErr(kLinkPortSetupFailed); }

// Raises or drops one modem line. A device without modem lines (a pseudo-terminal answers
// "Inappropriate ioctl for device") is left as it is.
void set_line(int fd, int line, bool on)
{
    int bits = line;
    if (::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) != 0 && errno != ENOTTY && errno != EINVAL)
        setup_failed();
}

} // namespace

std::string SerialDeviceName(uint32_t com_port)
{
    if (com_port == 0)
        return {};
    std::lock_guard<std::mutex> lock(g_devices_mutex);
    if (auto it = g_devices.find(com_port); it != g_devices.end())
        return it->second;
    return "/dev/ttyS" + std::to_string(com_port - 1);
}

void SetSerialDevice(uint32_t com_port, const std::string &path)
{
    std::lock_guard<std::mutex> lock(g_devices_mutex);
    if (path.empty())
        g_devices.erase(com_port);
    else
        g_devices[com_port] = path;
}

std::string SerialDevicePath(const TCOptionsType &settings)
{
    const std::string path = comm_text(settings.serial_device);
    return path.empty() ? SerialDeviceName(settings.com_port) : path;
}

namespace {

// A built-in serial port the kernel lists answers when it opens as a line and reports a UART
// behind it; one without (type PORT_UNKNOWN) fails every read and write.
bool serial_line_answers(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    termios t{};
    bool answers = ::tcgetattr(fd, &t) == 0;
    serial_struct info{};
    if (answers && ::ioctl(fd, TIOCGSERIAL, &info) == 0)
        answers = info.type != PORT_UNKNOWN;
    ::close(fd);
    return answers;
}

// The entries of `folder` whose names begin with `prefix` (every one for an empty prefix),
// sorted; none when the folder is missing.
std::vector<std::string> entries_of(const std::filesystem::path &folder, const std::string &prefix)
{
    std::vector<std::string> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0)
            found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

std::vector<std::string> SerialPortsPresent(const std::string &dev)
{
    std::vector<std::string> ports;
    for (const std::string &path : entries_of(dev, "ttyS"))
        if (serial_line_answers(path))
            ports.push_back(path);
    for (const char *prefix : {"ttyUSB", "ttyACM"})
        for (const std::string &path : entries_of(dev, prefix))
            ports.push_back(path);
    for (const std::string &path : entries_of(std::filesystem::path(dev) / "serial" / "by-id", ""))
        ports.push_back(path);
    return ports;
}

void SetModemStatusService(ModemStatusService service)
{
    std::lock_guard<std::mutex> lock(g_devices_mutex);
    g_modem_status = std::move(service);
}

TSerialConnection::TSerialConnection() : TConnection(true) {}

TSerialConnection::~TSerialConnection() { Close(); }

SerialLineSettings TSerialConnection::line() const
{
    const TCOptionsType &o = Options();
    return {o.baud_rate, o.dtr_control, o.rts_control, o.stop_bits};
}

// Line set-up: raw 8N1 bytes at the settings' rate and stop bits, no software flow control,
// reads that return at once with what is queued; DTR on unless its control is 0; RTS on for
// control 1 and 3, the kernel's handshake for 2. The line has no one and a half stop bits here,
// and DTR has no handshake of its own (it stays raised). The queues must answer their counts,
// which the reads and raw writes rely on.
void TSerialConnection::set_up_line()
{
    const TCOptionsType &o = Options();
    termios t{};
    if (::tcgetattr(m_fd, &t) != 0)
        setup_failed();
    ::cfmakeraw(&t);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK);
    if (o.stop_bits == 2)
        t.c_cflag |= CSTOPB;
    else if (o.stop_bits != 0)
        setup_failed();
    if (o.rts_control == 2)
        t.c_cflag |= CRTSCTS;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const speed_t speed = speed_of(o.baud_rate);
    if (speed == 0 || ::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0)
        setup_failed();
    if (::tcsetattr(m_fd, TCSANOW, &t) != 0)
        setup_failed();
    set_line(m_fd, TIOCM_DTR, o.dtr_control != 0);
    if (o.rts_control != 2)
        set_line(m_fd, TIOCM_RTS, o.rts_control != 0);
    int count = 0;
    if (::ioctl(m_fd, FIONREAD, &count) != 0 || ::ioctl(m_fd, TIOCOUTQ, &count) != 0)
        setup_failed();
}

void TSerialConnection::openSerialPort(ReaderMode mode)
{
    ClearClosing();
    const uint32_t port = Options().com_port;
    if (m_fd < 0) {
        const std::string path = SerialDevicePath(Options());
        if (path.empty())
            throw xConnectionErr(kLinkPortOpenFailed);
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            throw xConnectionErr(kLinkPortOpenFailed);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) { // another program has the port
            ::close(fd);
            throw xConnectionErr(kLinkPortOpenFailed);
        }
        m_fd = fd;
    }
    try {
        set_up_line();
    } catch (const xConnectionErr &) {
        TracePortOpened(line(), port, false);
        StopReader();
        SetMode(ReaderMode::initial);
        ::close(m_fd);
        m_fd = -1;
        throw;
    }
    SetReaderMode(mode);
    TracePortOpened(line(), port, true);
}

void TSerialConnection::SetReaderMode(ReaderMode mode)
{
    // A reader that ended on its own is started again by the same mode.
    if (mode == GetReaderMode() && (mode != ReaderMode::threaded || ReaderRunning()))
        return;
    if (mode == ReaderMode::threaded) {
        if (m_fd < 0)
            throw xConnectionErr(kLinkNoReader);
        StartReader(true);
    } else {
        StopReader();
    }
    SetMode(mode);
}

void TSerialConnection::Close()
{
    MarkClosing();
    StopReader();
    SetMode(ReaderMode::initial);
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    TracePortClosed();
}

// --- Writing ------------------------------------------------------------------------------------

void TSerialConnection::WriteBytes(const uint8_t *bytes, size_t count)
{
    if (m_fd < 0)
        throw xConnectionErr(kLinkWriteStartFailed);
    const auto deadline = after(link_timings().send_ms);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_fd, bytes + done, count - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw xConnectionErr(kLinkWriteStartFailed);
        if (!WaitWritable(m_fd, deadline.MsTimerLeft()))
            throw xConnectionErr(kLinkWriteWaitFailed);
    }
}

void TSerialConnection::WriteRaw(const uint8_t *bytes, size_t count)
{
    if (GetReaderMode() != ReaderMode::synchronous || m_fd < 0)
        throw xConnectionErr(kLinkRawInThreadedMode);
    const auto deadline = after(link_timings().send_ms);
    for (;;) {
        int queued = 0;
        if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued < kOutputQueueLimit)
            break;
        if (deadline.MsTimerExpired())
            throw xConnectionErr(kLinkWriteWaitFailed);
        WaitPumping(link_timings().sync_poll_ms);
    }
    WriteBytes(bytes, count);
    if (LogNonPacketWrites()) {
        TraceBytes(TraceKind::sent, {bytes, count}, false);
    }
}

void TSerialConnection::PurgeInput()
{
    if (m_fd >= 0)
        ::tcflush(m_fd, TCIFLUSH);
}

void TSerialConnection::WaitOutputEmpty()
{
    const auto deadline = after(link_timings().send_ms);
    for (;;) {
        int queued = 0;
        if (m_fd < 0 || ::ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued == 0)
            return;
        if (deadline.MsTimerExpired())
            throw xConnectionErr(kLinkWriteWaitFailed);
        WaitPumping(link_timings().sync_poll_ms);
    }
}

std::optional<uint32_t> TSerialConnection::ModemStatus() const
{
    ModemStatusService service;
    {
        std::lock_guard<std::mutex> lock(g_devices_mutex);
        service = g_modem_status;
    }
    if (m_fd < 0)
        return std::nullopt;
    if (service)
        return service(Options().com_port);
    int bits = 0;
    if (::ioctl(m_fd, TIOCMGET, &bits) != 0)
        return std::nullopt;
    return uint32_t(bits);
}

void TSerialConnection::WaitMs(uint32_t ms) { WaitPumping(ms); }

// --- Reading ------------------------------------------------------------------------------------

size_t TSerialConnection::queued_input() const
{
    int count = 0;
    if (m_fd < 0 || ::ioctl(m_fd, FIONREAD, &count) != 0 || count < 0)
        return 0;
    return size_t(count);
}

// Reader thread: a line event (bytes, or the line going away) ends the wait. A line that went
// away (the far end of a pseudo-terminal closed, a USB adapter unplugged) stays readable with
// nothing to read, and its queue cannot even be counted: once what was queued is read, the
// reader ends instead of waking for it again and again.
void TSerialConnection::WaitForInput()
{
    const short events = WaitReadable(m_fd);
    if (!(events & (POLLHUP | POLLERR | POLLNVAL)))
        return;
    if (!(events & POLLIN) || queued_input() == 0)
        EndReader(kLinkLineWaitFailed);
}

// Reader thread: what is queued, or 0 when nothing is.
size_t TSerialConnection::ReadBytes()
{
    size_t queued = 0;
    for (int check = 0; check < 3 && queued == 0; ++check)
        queued = queued_input();
    if (queued == 0)
        return 0;
    const ssize_t n = ::read(m_fd, m_input.data(), std::min(queued, m_input.size()));
    if (n > 0)
        return size_t(n);
    if (n < 0 && errno != EAGAIN && errno != EINTR)
        EndReader(kLinkNothingReceived);
    return 0;
}

// GUI thread, no reader: `wanted` bytes into the input buffer.
size_t TSerialConnection::read_synchronous(size_t wanted)
{
    const TLinkTimings &timing = link_timings();
    const auto deadline = after(timing.sync_read_ms);
    size_t queued = 0;
    for (int check = 0; check < 3; ++check) {
        queued = queued_input();
        if (queued != 0)
            break;
        if (check < 2)
            WaitPumping(timing.sync_poll_ms);
    }
    if (queued == 0)
        throw xConnectionErr(kLinkNothingReceived);
    if (m_input.size() < wanted)
        m_input.resize(wanted);
    size_t have = 0;
    while (have < wanted) {
        const ssize_t n = ::read(m_fd, m_input.data() + have, wanted - have);
        if (n > 0) {
            have += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw xConnectionErr(kLinkNothingReceived);
        const uint32_t left = deadline.MsTimerLeft();
        if (left == 0)
            throw xConnectionErr(kLinkNothingReceived);
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, int(left)) > 0 && !(p.revents & POLLIN))
            throw xConnectionErr(kLinkNothingReceived); // the line went away
    }
    return have;
}

void TSerialConnection::ReadRaw(uint8_t *buffer, size_t count)
{
    if (GetReaderMode() != ReaderMode::synchronous || m_fd < 0)
        throw xConnectionErr(kLinkRawInThreadedMode);
    if (count == 0)
        return;
    read_synchronous(count);
    if (LogNonPacketReads()) {
        TraceBytes(TraceKind::received, {m_input.data(), count}, false);
    }
    std::copy(m_input.begin(), m_input.begin() + long(count), buffer);
}
