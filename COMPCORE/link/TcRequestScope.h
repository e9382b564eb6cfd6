// TcRequestScope: what the request layer's units (TcRequests, TcDownload, TcLoader) share of
// its state: the request bracket, the layer's cancel flag, and the serial object the loader
// stages drive directly. Not for callers of the request layer.
#pragma once

#include "TcRequests.h"

namespace tcreq {

// One request: raises the nesting count and, for the outermost request, forgets a cancel
// given before it; clears the transport's cancel; lowers the count again when it ends.
class RequestScope {
public:
    RequestScope();
    ~RequestScope();
    RequestScope(const RequestScope &) = delete;
    RequestScope &operator=(const RequestScope &) = delete;
};

// Set by RequestCancel while a request is in progress; taken (cleared) by the stage that
// ends on it.
bool cancel_requested();
bool take_cancel_request();

// Called by RequestCancel after the transport was told, so that a wait of the layer's own
// (the download's) ends at once.
std::function<void()> &cancel_listener();

// The serial object, made when none exists, as the current connection.
TSerialConnection &serial_object();

// Puts the connection's retry count (and response time-out) back when the scope ends.
class RetryGuard {
public:
    explicit RetryGuard(TConnection &c)
        : m_c(c), m_retries(c.GetRetryCount()), m_timeout(c.GetResponseTimeout())
    {
    }
    ~RetryGuard()
    {
        m_c.SetRetryCount(m_retries);
        m_c.SetResponseTimeout(m_timeout);
    }
    RetryGuard(const RetryGuard &) = delete;
    RetryGuard &operator=(const RetryGuard &) = delete;

private:
    TConnection &m_c;
    uint32_t m_retries;
    uint32_t m_timeout;
};

// Puts a handler entry back as it was when the scope ends.
class EntryGuard {
public:
    EntryGuard(TConnection &c, uint8_t type, uint8_t subtype)
        : m_c(c), m_type(type), m_subtype(subtype), m_saved(c.GetHandlerEntry(type, subtype))
    {
    }
    ~EntryGuard() { m_c.SetHandlerEntry(m_type, m_subtype, m_saved); }
    const MessageHandlerEntry &saved() const { return m_saved; }
    EntryGuard(const EntryGuard &) = delete;
    EntryGuard &operator=(const EntryGuard &) = delete;

private:
    TConnection &m_c;
    uint8_t m_type, m_subtype;
    MessageHandlerEntry m_saved;
};

inline void put16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void put32(uint8_t *p, uint32_t v)
{
    put16(p, uint16_t(v));
    put16(p + 2, uint16_t(v >> 16));
}

} // namespace tcreq
