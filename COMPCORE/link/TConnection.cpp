// TConnection: handler table, requests, the reader's receive-and-dispatch loop and the
// hand-over of frames to the GUI thread (see TConnection.h).
#include "TConnection.h"

#include "debugger/MsTimer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

TLinkTimings &link_timings()
{
    static TLinkTimings timings;
    return timings;
}

namespace {

// The callback that runs now (GUI thread): its connection and the delivery it came in, so that
// `ReplyMessage` can release that connection's reader.
bool g_in_callback = false;
TConnection *g_callback_connection = nullptr;
uint64_t g_callback_seq = 0;

} // namespace

// --- Nested waits on the GUI thread -----------------------------------------------------------

// One nested event loop that a request, a connect, a write or a port service waits in. It ends
// when it is woken (its own answer, or the reader ending), at its time-out, on a cancel, when
// the connection closes, or when the application quits (Qt ends every running loop then, and
// each later one at once).
class TConnection::LocalWait {
public:
    enum class End : uint8_t { woken, timeout, cancel, closed, quit };

    LocalWait(TConnection &c, int type = -1, int subtype = -1)
        : m_c(c), m_type(type), m_subtype(subtype)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_timed_out = true;
            m_loop.exit();
        });
        c.m_waits.push_back(this);
        ++c.m_wait_count;
    }
    ~LocalWait()
    {
        auto &w = m_c.m_waits;
        w.erase(std::remove(w.begin(), w.end(), this), w.end());
        --m_c.m_wait_count;
    }
    LocalWait(const LocalWait &) = delete;
    LocalWait &operator=(const LocalWait &) = delete;

    End run(uint32_t ms)
    {
        if (!m_woken && !m_c.m_cancel && !m_c.m_closing) {
            m_timed_out = false;
            m_timer.start(int(std::min<uint32_t>(ms, INT32_MAX)));
            m_loop.exec();
            m_timer.stop();
        }
        if (m_c.m_cancel)
            return End::cancel;
        if (m_c.m_closing)
            return End::closed;
        if (m_woken) {
            m_woken = false;
            return End::woken;
        }
        return m_timed_out ? End::timeout : End::quit;
    }
    void wake()
    {
        m_woken = true;
        m_loop.exit();
    }
    bool waits_for(uint8_t type, uint8_t subtype) const
    {
        return m_type == type && m_subtype == subtype;
    }

private:
    TConnection &m_c;
    int m_type, m_subtype;
    QEventLoop m_loop;
    QTimer m_timer;
    bool m_woken = false;
    bool m_timed_out = false;
};

// --- Construction -------------------------------------------------------------------------------

TConnection::TConnection(bool serial) : m_serial(serial), m_frames(serial)
{
    m_stop_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_context = std::make_unique<QObject>();
}

TConnection::~TConnection()
{
    StopReader();
    if (m_stop_fd >= 0)
        ::close(m_stop_fd);
    // Inside a delivery the context object is the receiver of the event being handled: it
    // goes once that event is done. Deliveries still queued for it find the connection gone.
    if (m_draining > 0)
        m_context.release()->deleteLater();
}

// --- Handler table ------------------------------------------------------------------------------

MessageHandlerEntry &TConnection::entry(uint8_t type, uint8_t subtype)
{
    assert(type <= kLinkDbg && "a message type is SYS or DBG");
    return m_table[type & 1][subtype & kLinkSubtypeMask];
}

const MessageHandlerEntry &TConnection::entry(uint8_t type, uint8_t subtype) const
{
    assert(type <= kLinkDbg && "a message type is SYS or DBG");
    return m_table[type & 1][subtype & kLinkSubtypeMask];
}

void TConnection::RegisterHandler(uint8_t type, uint8_t subtype, MessageCallback callback,
                                  uintptr_t context, bool waits, bool keep_reply)
{
    // A wrong number would quietly take the entry of another message.
    if (type > kLinkDbg)
        throw std::invalid_argument("message type " + std::to_string(type) +
                                    " is neither SYS (0) nor DBG (1)");
    if (subtype > kLinkSubtypeMask)
        throw std::invalid_argument("message subtype " + std::to_string(subtype) +
                                    " is above 63");
    std::lock_guard<std::mutex> lock(m_table_mutex);
    MessageHandlerEntry &e = entry(type, subtype);
    e = MessageHandlerEntry{};
    e.callback = std::move(callback);
    e.context = context;
    e.registered = true;
    e.waits = waits;
    e.keep_reply = keep_reply;
}

MessageHandlerEntry TConnection::GetHandlerEntry(uint8_t type, uint8_t subtype) const
{
    std::lock_guard<std::mutex> lock(m_table_mutex);
    return entry(type, subtype);
}

void TConnection::SetHandlerEntry(uint8_t type, uint8_t subtype, const MessageHandlerEntry &e)
{
    if (type > kLinkDbg || subtype > kLinkSubtypeMask)
        throw std::invalid_argument("no handler entry for message " + std::to_string(type) + "/" +
                                    std::to_string(subtype));
    std::lock_guard<std::mutex> lock(m_table_mutex);
    MessageHandlerEntry &to = entry(type, subtype);
    to = e;
    to.payload = nullptr;
    to.payload_length = 0;
}

void TConnection::SetReplyBuffer(uint8_t type, uint8_t subtype, bool keep_reply, uint8_t *buffer,
                                 size_t capacity)
{
    std::lock_guard<std::mutex> lock(m_table_mutex);
    MessageHandlerEntry &e = entry(type, subtype);
    e.keep_reply = keep_reply;
    e.reply_buffer = buffer;
    e.reply_capacity = buffer ? capacity : 0;
}

void TConnection::SetArrived(uint8_t type, uint8_t subtype, bool value)
{
    std::lock_guard<std::mutex> lock(m_table_mutex);
    entry(type, subtype).arrived = value;
}

bool TConnection::GetArrived(uint8_t type, uint8_t subtype) const
{
    std::lock_guard<std::mutex> lock(m_table_mutex);
    return entry(type, subtype).arrived;
}

// --- Link errors, cancel, trace -------------------------------------------------------------

void TConnection::RecordLinkError(uint8_t kind, uint8_t type, uint8_t subtype)
{
    std::lock_guard<std::mutex> lock(m_error_mutex);
    m_link_error = LinkErrorRecord{kind, type, subtype, true};
}

LinkErrorRecord TConnection::TakeLinkError()
{
    std::lock_guard<std::mutex> lock(m_error_mutex);
    LinkErrorRecord r = m_link_error;
    m_link_error.pending = false;
    return r;
}

void TConnection::Cancel()
{
    if (m_wait_count == 0)
        return; // nothing in progress: the next request is not touched
    m_cancel = true;
    auto wake_innermost = [this] {
        if (!m_waits.empty())
            m_waits.back()->wake();
    };
    if (QThread::currentThread() == m_context->thread())
        wake_innermost();
    else
        post(wake_innermost);
}

void TConnection::ClearCancel() { m_cancel = false; }

void TConnection::SetTraceCallbacks(const TcTraceCallbacks &callbacks)
{
    std::lock_guard<std::mutex> lock(m_trace_mutex);
    m_trace = std::make_shared<const TcTraceCallbacks>(callbacks);
}

std::shared_ptr<const TcTraceCallbacks> TConnection::trace_callbacks() const
{
    std::lock_guard<std::mutex> lock(m_trace_mutex);
    return m_trace;
}

void TConnection::SetReadExceptionHandler(std::function<void()> handler)
{
    m_read_exception = std::move(handler);
}

// One trace event, whole: under the trace's event lock, the time stamp and then `write`.
template <class F>
void TConnection::trace_event(F write) const
{
    auto t = trace_callbacks();
    if (!t)
        return;
    std::unique_lock<std::recursive_mutex> event;
    if (t->event_lock)
        event = std::unique_lock<std::recursive_mutex>(*t->event_lock);
    if (t->time_stamp)
        t->time_stamp();
    write(*t);
}

void TConnection::TraceBytes(TraceKind kind, std::span<const uint8_t> bytes, bool frame)
{
    trace_event([&](const TcTraceCallbacks &t) {
        if (kind != TraceKind::spoiled)
            if (const auto &direction = kind == TraceKind::sent ? t.send_header : t.receive_header)
                direction();
        if (t.dump)
            t.dump(bytes, frame, m_serial);
    });
}

void TConnection::TracePortOpened(const SerialLineSettings &line, uint32_t port, bool ok)
{
    trace_event([&](const TcTraceCallbacks &t) {
        if (t.port_opened)
            t.port_opened(line, port, ok);
    });
}

void TConnection::TracePortClosed()
{
    trace_event([&](const TcTraceCallbacks &t) {
        if (t.port_closed)
            t.port_closed();
    });
}

bool TConnection::LogNonPacketWrites() const
{
    auto t = trace_callbacks();
    return t && t->log_non_packet_writes;
}

bool TConnection::LogNonPacketReads() const
{
    auto t = trace_callbacks();
    return t && t->log_non_packet_reads;
}

void TConnection::SetOptions(const TCOptionsType &settings) { copy_comm_settings(m_options, settings); }

void TConnection::SetRetryCount(uint32_t count)
{
    (m_serial ? m_options.serial_retry_count : m_options.tcp_retry_count) = count;
}

uint32_t TConnection::GetRetryCount() const
{
    return m_serial ? m_options.serial_retry_count : m_options.tcp_retry_count;
}

uint32_t TConnection::GetResponseTimeout() const
{
    return m_serial ? m_options.serial_response_timeout : m_options.tcp_response_timeout;
}

void TConnection::SetResponseTimeout(uint32_t ms)
{
    (m_serial ? m_options.serial_response_timeout : m_options.tcp_response_timeout) = ms;
}

void TConnection::ReplyMessage()
{
    if (g_in_callback && g_callback_connection)
        g_callback_connection->release(g_callback_seq);
}

bool TConnection::InCallback() { return g_in_callback; }

// --- Requests -----------------------------------------------------------------------------------

int TConnection::reader_failure() const
{
    if (m_reader_running && !m_stop)
        return 0;
    if (m_abort_code != 0)
        return m_abort_code;
    return m_exit_code != 0 ? int(m_exit_code) : kLinkNoReader;
}

void TConnection::Send(uint8_t type, uint8_t subtype, uint8_t *payload, size_t length,
                       size_t capacity)
{
    if (int failure = reader_failure())
        throw xConnectionErr(failure);
    if (type > kLinkDbg)
        throw xConnectionErr(kLinkNoHandler);
    MessageHandlerEntry e = GetHandlerEntry(type, subtype);
    if (!e.registered)
        throw xConnectionErr(kLinkNoHandler);
    if (length > kLinkMaxSendPayload)
        throw xConnectionErr(kLinkPayloadTooLarge);

    // The reply goes over the request in the caller's buffer for as long as the request runs;
    // afterwards the entry has its own buffer (none, mostly) back, so a late reply never
    // lands in a buffer its owner has given up.
    if (e.keep_reply)
        SetReplyBuffer(type, subtype, true, payload, std::max(capacity, length));
    auto restore = [&] {
        if (e.keep_reply)
            SetReplyBuffer(type, subtype, e.keep_reply, e.reply_buffer, e.reply_capacity);
    };
    try {
        if (e.waits)
            SendAndWait(type, subtype, payload, length, false);
        else
            SendFrame(type, subtype, payload, length);
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

void TConnection::SendFrame(uint8_t type, uint8_t subtype, const uint8_t *payload, size_t length)
{
    if (length > kLinkMaxSendPayload)
        throw xConnectionErr(kLinkPayloadTooLarge);
    std::vector<uint8_t> frame =
        build_link_frame(type, subtype, std::span<const uint8_t>(payload, length), m_serial);
    // Traced before it goes: once written, its answer may be traced by the reader at once,
    // and the trace must show the request first.
    TraceBytes(TraceKind::sent, frame, true);
    WriteBytes(frame.data(), frame.size());
}

void TConnection::SendAndWait(uint8_t type, uint8_t subtype, const uint8_t *payload,
                              size_t length, bool no_send)
{
    if (int failure = reader_failure())
        throw xConnectionErr(failure);
    const uint8_t sub = subtype & kLinkSubtypeMask;
    uint32_t retries = GetRetryCount();
    m_closing = false;
    struct Busy {
        int &count;
        explicit Busy(int &c) : count(c) { ++count; }
        ~Busy() { --count; }
    } busy(m_busy);
    SetArrived(type, sub, false);
    // Inside a callback the reader waits for it; the answer can only come once it goes on.
    if (g_in_callback)
        ReplyMessage();

    LocalWait wait(*this, type, sub);
    if (!no_send)
        SendFrame(type, subtype, payload, length);
    LocalWait::End end = LocalWait::End::woken;
    while (!GetArrived(type, sub) && reader_failure() == 0) {
        end = wait.run(GetResponseTimeout());
        if (end == LocalWait::End::woken)
            continue;
        if (end != LocalWait::End::timeout)
            break;
        if (retries == 0)
            break;
        --retries;
        if (no_send || GetArrived(type, sub))
            continue;
        {
            // The answer to the last send may be coming in now: it is forgotten, and the
            // request goes out again.
            std::lock_guard<std::mutex> lock(m_parse_mutex);
            if (m_frames.receiving(type, sub))
                m_frames.drop();
        }
        SendFrame(type, subtype, payload, length);
    }
    const bool arrived = GetArrived(type, sub);
    SetArrived(type, sub, false);

    if (end == LocalWait::End::cancel) {
        m_cancel = false;
        throw xConnectionErr(kLinkUserCancel);
    }
    if (!arrived) {
        switch (end) {
        case LocalWait::End::timeout: throw xConnectionErr(kLinkTimeout);
        case LocalWait::End::quit: throw xConnectionErr(kLinkQuit);
        case LocalWait::End::closed: throw xConnectionErr(kLinkNoReader);
        case LocalWait::End::woken:
        case LocalWait::End::cancel: break;
        }
        // The reader ended under the request.
        throw xConnectionErr(reader_failure() != 0 ? reader_failure() : kLinkNoReader);
    }
    std::lock_guard<std::mutex> lock(m_error_mutex);
    if (m_link_error.pending && m_link_error.kind == kLinkErrorNak && m_link_error.type == type &&
        m_link_error.subtype == sub) {
        m_link_error.pending = false;
        throw xConnectionErr(kLinkRefused);
    }
}

// --- The reader thread ----------------------------------------------------------------------------

void TConnection::StartReader(bool time_critical)
{
    StopReader();
    uint64_t drained = 0;
    while (::read(m_stop_fd, &drained, sizeof drained) > 0) {
    }
    m_stop = false;
    m_abort_code = 0;
    {
        std::lock_guard<std::mutex> lock(m_parse_mutex);
        m_frames.reset();
    }
    m_exit_code = 0;
    m_reader_running = true;
    m_thread = QThread::create([this] { reader_main(); });
    if (!m_thread) {
        m_reader_running = false;
        m_exit_code = kLinkNoReader;
        throw xConnectionErr(kLinkNoReader);
    }
    m_thread->start(time_critical ? QThread::TimeCriticalPriority : QThread::NormalPriority);
}

void TConnection::StopReader()
{
    if (!m_thread)
        return;
    m_stop = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_stop_fd, &one, sizeof one);
    {
        std::lock_guard<std::mutex> lock(m_queue_mutex);
        m_released.notify_all();
    }
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    std::lock_guard<std::mutex> lock(m_queue_mutex);
    m_replies.clear();
    m_callbacks.clear();
    m_waiting_seq = 0;
}

void TConnection::AbortReader(int code)
{
    m_abort_code = code;
    m_stop = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_stop_fd, &one, sizeof one);
    std::lock_guard<std::mutex> lock(m_queue_mutex);
    m_released.notify_all();
}

void TConnection::EndReader(int code) { throw ReaderEnd{code}; }

void TConnection::reader_main()
{
    int code = 0;
    try {
        for (;;)
            ReceiveStep();
    } catch (const ReaderEnd &end) {
        code = end.code;
    } catch (...) {
        code = kLinkNoReader;
    }
    if (m_stop)
        code = m_abort_code;
    if (code != 0) {
        // A link that went away in the middle of a frame spoiled that frame.
        std::lock_guard<std::mutex> lock(m_parse_mutex);
        if (m_frames.abandon() == LinkFrameReader::Event::bad)
            RecordLinkError(kLinkErrorBadPacket, m_frames.type(),
                            m_frames.subtype() & kLinkSubtypeMask);
    }
    m_exit_code = code;
    m_reader_running = false;
    if (code != 0)
        post([this] { wake_all(); }); // requests waiting for an answer learn it will not come
}

short TConnection::WaitReadable(int fd)
{
    pollfd p[2] = {{fd, POLLIN, 0}, {m_stop_fd, POLLIN, 0}};
    for (;;) {
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            EndReader(kLinkLineWaitFailed);
        }
        if (m_stop || p[1].revents)
            EndReader(0);
        return p[0].revents;
    }
}

void TConnection::ReceiveStep()
{
    if (m_stop)
        EndReader(0);
    WaitForInput();
    for (;;) {
        const size_t count = ReadBytes();
        if (count == 0)
            return;
        for (size_t i = 0; i < count; ++i) {
            LinkFrameReader::Event event;
            uint8_t type, subtype;
            std::vector<uint8_t> payload, raw;
            {
                std::lock_guard<std::mutex> lock(m_parse_mutex);
                event = m_frames.take(m_input[i]);
                if (event == LinkFrameReader::Event::none)
                    continue;
                type = m_frames.type();
                subtype = m_frames.subtype();
                payload.assign(m_frames.payload().begin(), m_frames.payload().end());
                raw.assign(m_frames.raw().begin(), m_frames.raw().end());
            }
            frame_ended(event, type, subtype, payload, raw);
        }
        if (m_stop)
            EndReader(0);
    }
}

// Dispatch of one frame, on the reader thread: a bad frame is recorded; a frame without a
// handler (or a callback where it needs one) is recorded and ends the reader; every other one
// goes to the GUI thread.
void TConnection::frame_ended(LinkFrameReader::Event event, uint8_t type, uint8_t subtype,
                              const std::vector<uint8_t> &payload, const std::vector<uint8_t> &raw)
{
    if (m_stop)
        EndReader(0);
    const uint8_t sub = subtype & kLinkSubtypeMask;
    if (event == LinkFrameReader::Event::bad) {
        TraceBytes(TraceKind::spoiled, raw, true);
        RecordLinkError(kLinkErrorBadPacket, type, sub);
        return;
    }
    TraceBytes(TraceKind::received, raw, true);
    bool registered = false, keep = false, callback = false;
    if (type <= kLinkDbg) {
        std::lock_guard<std::mutex> lock(m_table_mutex);
        const MessageHandlerEntry &e = entry(type, sub);
        registered = e.registered;
        keep = e.keep_reply;
        callback = bool(e.callback);
    }
    if (!registered || (!keep && !callback)) {
        RecordLinkError(kLinkErrorNoHandler, type, sub);
        EndReader(kLinkNoHandler);
    }
    if (subtype & kLinkNak)
        RecordLinkError(kLinkErrorNak, type, sub);
    hand_over(Delivery{0, type, subtype, keep, payload});
}

void TConnection::post(std::function<void()> f)
{
    std::weak_ptr<char> alive = m_alive;
    QMetaObject::invokeMethod(
        m_context.get(),
        [alive, f = std::move(f)] {
            if (!alive.expired())
                f();
        },
        Qt::QueuedConnection);
}

// Queues the frame for the GUI thread and waits until it is released there (delivered, its
// callback returned or let it go) or a stop is asked.
void TConnection::hand_over(Delivery delivery)
{
    uint64_t seq;
    {
        std::lock_guard<std::mutex> lock(m_queue_mutex);
        seq = delivery.seq = ++m_next_seq;
        m_waiting_seq = seq;
        (delivery.reply ? m_replies : m_callbacks).push_back(std::move(delivery));
    }
    post([this] { drain(); });
    std::unique_lock<std::mutex> lock(m_queue_mutex);
    m_released.wait(lock, [&] { return m_waiting_seq != seq || m_stop; });
    if (m_stop)
        EndReader(0);
}

void TConnection::release(uint64_t seq)
{
    std::lock_guard<std::mutex> lock(m_queue_mutex);
    if (seq != 0 && m_waiting_seq == seq) {
        m_waiting_seq = 0;
        m_released.notify_all();
    }
}

// --- Delivery on the GUI thread -------------------------------------------------------------------

// Replies first, in order: they run no code of anyone's. Callbacks in order, one at a time:
// while one runs (further up this thread's stack), the others wait in the queue and the reader
// is let go, so that the reply a request inside that callback waits for can come in.
void TConnection::drain()
{
    std::weak_ptr<char> alive = m_alive;
    ++m_draining;
    struct Draining {
        TConnection *c;
        std::weak_ptr<char> &alive;
        ~Draining()
        {
            if (!alive.expired())
                --c->m_draining;
        }
    } draining{this, alive};
    for (;;) {
        Delivery d;
        {
            std::lock_guard<std::mutex> lock(m_queue_mutex);
            if (!m_replies.empty()) {
                d = std::move(m_replies.front());
                m_replies.pop_front();
            } else if (!m_callbacks.empty() && !g_in_callback) {
                d = std::move(m_callbacks.front());
                m_callbacks.pop_front();
            } else {
                if (!m_callbacks.empty() && m_waiting_seq != 0) {
                    m_waiting_seq = 0;
                    m_released.notify_all();
                }
                return;
            }
        }
        if (d.reply)
            deliver_reply(d);
        else
            run_callback(d);
        if (alive.expired())
            return; // a callback destroyed the connection
    }
}

void TConnection::deliver_reply(const Delivery &d)
{
    const uint8_t sub = d.subtype & kLinkSubtypeMask;
    bool too_long = false, delivered = false;
    {
        std::lock_guard<std::mutex> lock(m_table_mutex);
        MessageHandlerEntry &e = entry(d.type, sub);
        if (e.registered) {
            too_long = e.reply_buffer && d.payload.size() > e.reply_capacity;
            if (!too_long) {
                if (e.reply_buffer && !d.payload.empty())
                    std::memcpy(e.reply_buffer, d.payload.data(), d.payload.size());
                e.reply_length = d.payload.size();
                e.arrived = true;
                delivered = true;
            }
        }
    }
    if (too_long)
        RecordLinkError(kLinkErrorBadPacket, d.type, sub);
    if (delivered)
        wake_waiters(d.type, sub);
    release(d.seq);
}

void TConnection::run_callback(const Delivery &d)
{
    const uint8_t sub = d.subtype & kLinkSubtypeMask;
    MessageCallback callback;
    uintptr_t context = 0;
    {
        std::lock_guard<std::mutex> lock(m_table_mutex);
        MessageHandlerEntry &e = entry(d.type, sub);
        if (e.registered && e.callback) {
            callback = e.callback;
            context = e.context;
            e.payload = d.payload.data();
            e.payload_length = uint16_t(d.payload.size());
        }
    }
    if (!callback) {
        release(d.seq);
        return;
    }
    std::weak_ptr<char> alive = m_alive;
    g_in_callback = true;
    g_callback_connection = this;
    g_callback_seq = d.seq;
    bool failed = false;
    try {
        callback(d.payload.data(), uint16_t(d.payload.size()), context);
    } catch (...) {
        failed = true;
    }
    g_in_callback = false;
    g_callback_connection = nullptr;
    g_callback_seq = 0;
    if (alive.expired())
        return;
    if (failed && m_read_exception) {
        try {
            m_read_exception();
        } catch (...) {
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_table_mutex);
        MessageHandlerEntry &e = entry(d.type, sub);
        e.payload = nullptr;
        e.payload_length = 0;
        e.arrived = true;
    }
    wake_waiters(d.type, sub);
    release(d.seq);
}

void TConnection::wake_waiters(uint8_t type, uint8_t subtype)
{
    for (LocalWait *w : m_waits)
        if (w->waits_for(type, subtype))
            w->wake();
}

void TConnection::wake_all()
{
    for (LocalWait *w : m_waits)
        w->wake();
}

void TConnection::MarkClosing()
{
    m_closing = true;
    wake_all();
}

// --- Waits of the transports ----------------------------------------------------------------------

void TConnection::WaitPumping(uint32_t ms)
{
    LocalWait wait(*this);
    switch (wait.run(ms)) {
    case LocalWait::End::woken:
    case LocalWait::End::timeout:
        return;
    case LocalWait::End::cancel:
        m_cancel = false;
        throw xConnectionErr(kLinkUserCancel);
    case LocalWait::End::closed:
        throw xConnectionErr(kLinkNoReader);
    case LocalWait::End::quit:
        throw xConnectionErr(kLinkQuit);
    }
}

bool TConnection::WaitWritable(int fd, uint32_t ms)
{
    if (g_in_callback) {
        // Nothing else may run inside a callback: watch the descriptor alone.
        ++m_wait_count;
        struct Count {
            std::atomic<int> &n;
            ~Count() { --n; }
        } count{m_wait_count};
        MsTimer deadline(ms);
        deadline.MsTimerStart();
        for (;;) {
            if (m_cancel) {
                m_cancel = false;
                throw xConnectionErr(kLinkUserCancel);
            }
            pollfd p{fd, POLLOUT, 0};
            const uint32_t slice = std::min(deadline.MsTimerLeft(), link_timings().sync_poll_ms);
            if (::poll(&p, 1, int(slice)) > 0)
                return true;
            if (deadline.MsTimerExpired())
                return false;
        }
    }
    LocalWait wait(*this);
    QSocketNotifier notifier(fd, QSocketNotifier::Write);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&wait] { wait.wake(); });
    switch (wait.run(ms)) {
    case LocalWait::End::woken:
        return true;
    case LocalWait::End::timeout:
        return false;
    case LocalWait::End::cancel:
        m_cancel = false;
        throw xConnectionErr(kLinkUserCancel);
    case LocalWait::End::closed:
        throw xConnectionErr(kLinkNoReader);
    case LocalWait::End::quit:
        throw xConnectionErr(kLinkQuit);
    }
    return false;
}
