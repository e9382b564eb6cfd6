// LinkResult: the result codes of the target link's transports and `xConnectionErr`, the small
// exception that carries one from the transports to the target-communication operations, which
// turn each code into a message for the user. A code outside the table below is an operating
// system error number of a socket call.
// Std-only.
#pragma once

#include <cstdint>

// Serial port.
inline constexpr int kLinkPortOpenFailed = 2000;   // the device cannot be opened
inline constexpr int kLinkPortSetupFailed = 2001;  // the line cannot be set up
inline constexpr int kLinkNothingReceived = 2002;  // a read brought nothing, or failed
inline constexpr int kLinkReadCompletionFailed = 2003;
inline constexpr int kLinkReadWaitFailed = 2004;
inline constexpr int kLinkLineWaitFailed = 42;     // the reader's wait for line events failed

// Sockets.
inline constexpr int kLinkNoSocket = 3002;
inline constexpr int kLinkConnectFailed = 3004;    // refused, unreachable, bad address, or a
                                                   // failed write notification
inline constexpr int kLinkPeerClosed = 3007;       // the target closed the connection

// Link layer.
inline constexpr int kLinkNoReader = 4097;         // no reader thread runs (not started or
                                                   // stopped): framed traffic is impossible
inline constexpr int kLinkRawInThreadedMode = 4098;
inline constexpr int kLinkNoHandler = 4099;        // a frame or request without a handler
inline constexpr int kLinkPayloadTooLarge = 4100;
inline constexpr int kLinkWriteStartFailed = 4102;
inline constexpr int kLinkWriteWaitFailed = 4104;  // a write did not finish in time
inline constexpr int kLinkTimeout = 4105;          // no reply within the retries, or no
                                                   // connection within the connect time
inline constexpr int kLinkRefused = 4122;          // the target answered with a NAK
inline constexpr int kLinkUserCancel = 4124;
inline constexpr int kLinkQuit = 4125;             // the application quit while waiting

class xConnectionErr {
public:
    explicit xConnectionErr(int code) : m_code(code) {}
    int code() const noexcept { return m_code; }

private:
    int m_code;
};
