// A guard for tests that hand a reader or a writer a FIFO: one that waits for the other end must
// fail the test, not hang it. While the guard stands, a watchdog thread waits for it to end;
// when the time-out passes first, the watchdog takes both ends of the FIFO, drains it and lets
// go, again and again until the guard ends, so a reader blocked in open() or read() gets
// end-of-file and a blocked writer gets rid of its bytes, and the guard records that it had to.
// The time-out is generous: code that does not wait returns at once, and the guard ends
// without the watchdog ever waking.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

class FifoGuard {
public:
    explicit FifoGuard(std::string fifo, std::chrono::milliseconds timeout = std::chrono::seconds(30))
        : m_fifo(std::move(fifo)), m_watchdog([this, timeout] { Watch(timeout); })
    {
    }
    ~FifoGuard() { Stop(); }
    FifoGuard(const FifoGuard &) = delete;
    FifoGuard &operator=(const FifoGuard &) = delete;

    // Ends the guard; true when the reader returned by itself, false when it had waited on the
    // FIFO until the watchdog let it go.
    bool Stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        if (m_watchdog.joinable())
            m_watchdog.join();
        return !m_released;
    }

private:
    void Watch(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        if (m_wake.wait_for(lock, timeout, [this] { return m_done; }))
            return;
        m_released = true;
        // A writer let go may write once more after the last reader left.
        std::signal(SIGPIPE, SIG_IGN);
        while (!m_done) {
            lock.unlock();
            const int fd = ::open(m_fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                char sink[4096];
                while (::read(fd, sink, sizeof sink) > 0) {
                }
                ::close(fd);
            }
            lock.lock();
            m_wake.wait_for(lock, std::chrono::milliseconds(10), [this] { return m_done; });
        }
    }

    std::string m_fifo;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic<bool> m_released{false};
    std::thread m_watchdog;
};
