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
inline constexpr int kLinkDiscoveryBindFailed = 3009;   // the discovery reply port is taken
inline constexpr int kLinkDiscoverySendFailed = 3010;   // the discovery request cannot go out
inline constexpr int kLinkDiscoveryReceiveFailed = 3011;

// Request layer.
inline constexpr int kLinkNoConnection = 4000;     // a target reset without a connection
inline constexpr int kLinkShortReply = 4001;       // a reply shorter than its request needs
inline constexpr int kLinkFileFailed = 4003;       // an image file cannot be opened or read
inline constexpr int kLinkCloseInRequest = 4004;   // a close while a request is in progress

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

// The loaders.
inline constexpr int kLinkNoProcessor = 5000;      // the cold load saw no DSR change
inline constexpr int kLinkColdLoaderFile = 5001;   // the cold-loader file cannot be opened
inline constexpr int kLinkPilotFile = 6007;        // the pilot file is missing or has no 0xCC
inline constexpr int kLinkPilotFailed = 6008;      // wrong echo, wrong check, or the line failed
inline constexpr int kLinkPilotTooLarge = 6009;    // the pilot image does not fit its length
                                                   // field or one frame

class xConnectionErr {
public:
    explicit xConnectionErr(int code) : m_code(code) {}
    int code() const noexcept { return m_code; }

private:
    int m_code;
};
