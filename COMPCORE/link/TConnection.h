// TConnection: the abstract transport of the target link, which the serial link
// (TSerialConnection) and the TCP/IP link (TEthernetConnection) derive from. It owns the
// handler table of the SYS and DBG messages, builds and reads frames with compcore's codec
// (LinkFrame), runs the reader thread's receive-and-dispatch loop, and sends requests, the
// waiting ones in a nested event loop of their own with time-out, retries and user cancel.
//
// Threads. Every public call belongs to the GUI thread, the one that made the connection,
// except `Cancel`, which any thread may call. One reader thread per open connection receives
// and never touches GUI state: it hands each frame to the GUI thread, in arrival order, and
// waits until the frame's callback has returned or released it early (`ReplyMessage`); a
// `Close` releases it at once. Callbacks therefore run on the GUI thread, one at a time: a
// frame for a callback that arrives while another callback runs waits until that one has
// returned, but replies still reach the requests waiting for them, so a request sent inside a
// callback completes. A request made inside a callback releases the reader as `ReplyMessage`
// would. The port or socket is one POSIX descriptor: the reader reads it while the GUI thread
// writes it, which Qt's thread-affine port and socket classes cannot express; Qt provides the
// threads, the nested event loops, their timers and the hand-over to the GUI thread.
//
// Failures are thrown as `xConnectionErr` with the result codes of LinkResult.h. A bad or
// unhandled incoming frame is not thrown: it becomes the pending link error record
// (`TakeLinkError`).
#pragma once

#include "debugger/LinkFrame.h"
#include "debugger/LinkResult.h"
#include "debugger/TCOptions.h"
#include "debugger/TcTrace.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

class QObject;
class QThread;

// Every fixed wait of the transports, in milliseconds. The defaults are the link's own; tests
// shorten them.
struct TLinkTimings {
    uint32_t connect_ms = 60000;  // a TCP connect
    uint32_t send_ms = 60000;     // one frame or raw byte run written out
    uint32_t sync_read_ms = 5000; // a synchronous read whose bytes stop coming
    uint32_t sync_poll_ms = 10;   // between the checks of a synchronous read for bytes
    // The serial cold load: each DTR level is held this long, the modem lines are read this
    // long after the start and the end sequences, and the line drains this long at the end.
    uint32_t cold_dtr_ms = 500;
    uint32_t cold_start_ms = 30;
    uint32_t cold_end_ms = 100;
    uint32_t cold_drain_ms = 250;
    // Waited before the serial pilot BIOS load opens the port, when a USB-to-serial converter
    // is in use (set with the converter flag).
    uint32_t usb_serial_delay_ms = 0;
    // Network discovery sends its request again after this long, twice.
    uint32_t discovery_interval_ms = 1000;
    // After STARTBIOS the BIOS is given this long before the link opens at the debug rate.
    uint32_t bios_start_ms = 250;
};
// The one timing record of the process.
TLinkTimings &link_timings();

// How a connection reads: synchronous (no reader thread; the caller reads raw bytes), threaded
// (a reader thread runs and dispatches frames), or initial (neither, before the first open).
enum class ReaderMode : uint8_t { synchronous = 0, threaded = 1, initial = 2 };

// A message callback: (payload, payload length, the registered context) -> a word.
using MessageCallback = std::function<uint32_t(const uint8_t *payload, uint16_t length,
                                               uintptr_t context)>;

// One entry per type (SYS, DBG) and subtype (0-63).
struct MessageHandlerEntry {
    MessageCallback callback;
    uintptr_t context = 0;
    // Where a reply's payload is copied, and how many bytes fit there. A longer reply is a bad
    // packet and is not copied; `reply_length` keeps the length of the last one copied.
    uint8_t *reply_buffer = nullptr;
    size_t reply_capacity = 0;
    size_t reply_length = 0;
    // The payload handed to the callback that runs (valid while it runs).
    const uint8_t *payload = nullptr;
    uint16_t payload_length = 0;
    bool arrived = false;    // a reply or callback message of this entry was delivered
    bool keep_reply = false; // incoming messages of this entry answer a host request
    bool registered = false;
    bool waits = false;      // requests of this entry wait for their answer
};

// Link errors found by the reader.
enum LinkErrorKind : uint8_t {
    kLinkErrorNak = 0,        // a NAK arrived
    kLinkErrorNoHandler = 1,  // no handler or no callback for a frame
    kLinkErrorBadPacket = 2,  // a spoiled frame, or a reply longer than its buffer
    kLinkErrorDropped = 3,    // the loader dropped the connection
};
struct LinkErrorRecord {
    uint8_t kind = 0;
    uint8_t type = 0;
    uint8_t subtype = 0;
    bool pending = false;
};

class TConnection {
public:
    // A connection may be destroyed inside one of its own callbacks, not while one of its
    // requests waits.
    virtual ~TConnection();
    TConnection(const TConnection &) = delete;
    TConnection &operator=(const TConnection &) = delete;

    // --- handlers ---
    // Fills the entry: callback, context, no reply buffer, not arrived, registered, and the two
    // flags. A type other than SYS and DBG or a subtype above 63 is refused
    // (std::invalid_argument).
    void RegisterHandler(uint8_t type, uint8_t subtype, MessageCallback callback,
                         uintptr_t context, bool waits, bool keep_reply);
    MessageHandlerEntry GetHandlerEntry(uint8_t type, uint8_t subtype) const;
    // Puts back an entry taken with GetHandlerEntry (registered or not), as a request that
    // borrowed the entry leaves it.
    void SetHandlerEntry(uint8_t type, uint8_t subtype, const MessageHandlerEntry &e);
    void SetReplyBuffer(uint8_t type, uint8_t subtype, bool keep_reply, uint8_t *buffer,
                        size_t capacity);
    void SetArrived(uint8_t type, uint8_t subtype, bool value);
    bool GetArrived(uint8_t type, uint8_t subtype) const;

    // --- link errors, cancel, trace ---
    void RecordLinkError(uint8_t kind, uint8_t type, uint8_t subtype);
    // Copies the record out (with its pending flag) and clears the pending flag.
    LinkErrorRecord TakeLinkError();
    // Makes the request waiting now fail with 4124; with none waiting it does nothing. Any
    // thread may call it.
    void Cancel();
    void ClearCancel();
    void SetTraceCallbacks(const TcTraceCallbacks &callbacks);
    // Called on the GUI thread when a callback lets an exception out.
    void SetReadExceptionHandler(std::function<void()> handler);
    // From inside a callback: lets the reader go on receiving before the callback returns.
    static void ReplyMessage();
    // True while a message callback runs.
    static bool InCallback();

    // --- settings ---
    // Takes the record (bounded copy), unless it is the connection's own.
    void SetOptions(const TCOptionsType &settings);
    const TCOptionsType &Options() const { return m_options; }

    // --- requests ---
    // The entry point of every request: fails with the reader's exit code when no reader runs,
    // 4099 for a type and subtype without handler, 4100 for more than 16,384 bytes. When the
    // entry keeps replies, the reply overwrites the request in `payload`, which holds
    // `capacity` bytes (at least `length`). A waiting entry's request waits for its answer.
    void Send(uint8_t type, uint8_t subtype, uint8_t *payload, size_t length,
              size_t capacity = 0);
    // Builds one frame (the subtype byte as given, flags included) and writes it.
    void SendFrame(uint8_t type, uint8_t subtype, const uint8_t *payload, size_t length);
    // Sends (unless `no_send`) and waits for this entry's answer: at most 1 + retry count
    // sends, each waited for a response time-out. Ends only on its own answer (4122 when it
    // carries the NAK bit), the time-out (4105), a cancel (4124), the application quitting
    // (4125), the reader ending (its exit code), or the connection closing (4097).
    void SendAndWait(uint8_t type, uint8_t subtype, const uint8_t *payload, size_t length,
                     bool no_send);

    // --- the transport ---
    virtual void SetReaderMode(ReaderMode mode) = 0;
    ReaderMode GetReaderMode() const { return m_mode; }
    // Bytes outside frames, synchronous mode only (else 4098).
    virtual void WriteRaw(const uint8_t *bytes, size_t count) = 0;
    virtual void ReadRaw(uint8_t *buffer, size_t count) = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // The retry count and the response time-out (ms) of the link's kind in the settings copy.
    void SetRetryCount(uint32_t count);
    uint32_t GetRetryCount() const;
    uint32_t GetResponseTimeout() const;
    void SetResponseTimeout(uint32_t ms);

    // True while a request is in progress.
    bool IsBusy() const { return m_busy > 0; }
    bool ReaderRunning() const { return m_reader_running; }
    // The exit code of the reader that ran last (0: it was stopped).
    int ReaderExitCode() const { return m_exit_code; }

protected:
    // `serial`: frames go with flag and escapes, and are read by the serial rules.
    explicit TConnection(bool serial);

    // Transport slots. WriteBytes runs on the GUI thread; WaitForInput and ReadBytes on the
    // reader thread, where they end it with `EndReader`.
    virtual void WriteBytes(const uint8_t *bytes, size_t count) = 0;
    virtual void WaitForInput() = 0;
    // Fills the input buffer from its start; returns the count (0: nothing more for now).
    virtual size_t ReadBytes() = 0;

    // The reader's pass: waits for input, reads it, and dispatches every frame that ends.
    void ReceiveStep();

    // Starts the reader thread; 4097 when it cannot start.
    void StartReader(bool time_critical);
    // Asks the reader to stop, releases it from a hand-over, and waits until it has ended.
    // Frames not yet delivered are dropped.
    void StopReader();
    // GUI thread: the link broke under a write. The reader is asked to end (without waiting
    // for it), and requests fail with `code` from now on.
    void AbortReader(int code);
    // Ends the reader thread with a code; reader thread only.
    [[noreturn]] static void EndReader(int code);
    bool StopRequested() const { return m_stop; }
    // The descriptor a reader's poll waits on beside its port: readable once a stop is asked.
    int StopDescriptor() const { return m_stop_fd; }
    // Waits until `fd` is readable or a stop is asked (which ends the reader with 0); returns
    // the poll events of `fd`.
    short WaitReadable(int fd);

    // Runs the event loop for `ms` milliseconds (the GUI stays alive); a cancel ends it with
    // 4124, the connection closing with 4097, the application quitting with 4125.
    void WaitPumping(uint32_t ms);
    // Waits until `fd` is writable, at most `ms` milliseconds; true when it is. Inside a
    // callback no other event is dispatched meanwhile. A cancel is thrown as 4124.
    bool WaitWritable(int fd, uint32_t ms);

    // Sets the closing flag and wakes every wait of this connection.
    void MarkClosing();
    void ClearClosing() { m_closing = false; }
    void SetMode(ReaderMode mode) { m_mode = mode; }
    bool Serial() const { return m_serial; }

    // Trace events, each written whole under the trace's event lock: the time stamp, then the
    // direction (a spoiled frame has none) and the bytes, a frame (`frame`) or a raw byte run;
    // or the time stamp and a port event. Each call does nothing without its callbacks.
    enum class TraceKind : uint8_t { sent, received, spoiled };
    void TraceBytes(TraceKind kind, std::span<const uint8_t> bytes, bool frame);
    void TracePortOpened(const SerialLineSettings &line, uint32_t port, bool ok);
    void TracePortClosed();
    bool LogNonPacketWrites() const;
    bool LogNonPacketReads() const;

    // The input buffer of ReadBytes and ReadRaw.
    std::vector<uint8_t> m_input = std::vector<uint8_t>(16384);

    // Busy counter of requests and writes in progress.
    int m_busy = 0;

private:
    class LocalWait;
    struct Delivery {
        uint64_t seq = 0;
        uint8_t type = 0;
        uint8_t subtype = 0; // as received, flags included
        bool reply = false;
        std::vector<uint8_t> payload;
    };
    struct ReaderEnd {
        int code;
    };

    void reader_main();
    // 0 while a reader runs; otherwise the code requests fail with.
    int reader_failure() const;
    void frame_ended(LinkFrameReader::Event event, uint8_t type, uint8_t subtype,
                     const std::vector<uint8_t> &payload, const std::vector<uint8_t> &raw);
    void hand_over(Delivery delivery);
    void release(uint64_t seq);
    void drain();
    void deliver_reply(const Delivery &d);
    void run_callback(const Delivery &d);
    void wake_waiters(uint8_t type, uint8_t subtype);
    void wake_all();
    void post(std::function<void()> f);
    MessageHandlerEntry &entry(uint8_t type, uint8_t subtype);
    const MessageHandlerEntry &entry(uint8_t type, uint8_t subtype) const;
    std::shared_ptr<const TcTraceCallbacks> trace_callbacks() const;
    template <class F>
    void trace_event(F write) const;

    const bool m_serial;
    ReaderMode m_mode = ReaderMode::initial;
    TCOptionsType m_options;

    // Handler table, shared with the reader (which only reads the flags).
    mutable std::mutex m_table_mutex;
    std::array<std::array<MessageHandlerEntry, 64>, 2> m_table;

    mutable std::mutex m_error_mutex;
    LinkErrorRecord m_link_error;

    mutable std::mutex m_trace_mutex;
    std::shared_ptr<const TcTraceCallbacks> m_trace;
    std::function<void()> m_read_exception;

    // The reader.
    QThread *m_thread = nullptr;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_reader_running{false};
    std::atomic<int> m_exit_code{kLinkNoReader};
    std::atomic<int> m_abort_code{0};
    int m_stop_fd = -1;
    std::mutex m_parse_mutex; // the frame reader, shared with a retry's drop
    LinkFrameReader m_frames;

    // Hand-over from the reader to the GUI thread.
    std::mutex m_queue_mutex;
    std::condition_variable m_released;
    std::deque<Delivery> m_replies;
    std::deque<Delivery> m_callbacks;
    uint64_t m_next_seq = 0;
    uint64_t m_waiting_seq = 0; // the delivery the reader waits on (0: none)

    // GUI thread.
    std::unique_ptr<QObject> m_context; // lives on the GUI thread; reader posts go to it
    std::vector<LocalWait *> m_waits;   // nested waits, innermost last
    std::atomic<int> m_wait_count{0};
    std::atomic<bool> m_cancel{false};
    bool m_closing = false;
    std::shared_ptr<char> m_alive = std::make_shared<char>(0);
    int m_draining = 0; // deliveries running now, further up this thread's stack
};
