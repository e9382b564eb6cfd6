// TEthernetConnection: the TConnection of a board reached over TCP/IP. It connects from the GUI
// thread while the event loop runs, sends frames from the GUI thread (without flag and without
// escapes: the frames lie back to back in the stream), and receives on a reader thread at
// normal priority. Raw bytes have no place on this link. The digest challenge the loader sends
// after the connect (DBG 63) is answered by the request layer.
// On POSIX: one non-blocking socket, watched by poll on the reader thread and by a socket
// notifier on the GUI thread.
#pragma once

#include "TConnection.h"

#include <string>

// One board's answer to network discovery, as the discovery dialog lists it.
struct DiscoveryReply {
    std::string name;    // at most 40 characters
    std::string address; // "10.0.0.7"
    std::string port;    // the loader's TCP port, "%d"
    std::string status;  // "Running", "Programmed", "Waiting", "Error" or "unknown status"
    std::string mac;     // "%02x:%02x:%02x:%02x:%02x:%02x"
};

class TEthernetConnection : public TConnection {
public:
    TEthernetConnection();
    ~TEthernetConnection() override;

    // Connects to the settings' network address and control port and starts the reader.
    // 3002: no socket; 3004: a bad address, or the connect was refused or failed; 4105: no
    // connection within the connect time; 4124: cancelled; 4125: the application quit; 4097:
    // the reader cannot start. On failure nothing stays open.
    void connectTcp(ReaderMode mode);

    // Stores the mode only: the reader runs while the connection stands.
    void SetReaderMode(ReaderMode mode) override;
    // Always refused (4098).
    void WriteRaw(const uint8_t *bytes, size_t count) override;
    void ReadRaw(uint8_t *buffer, size_t count) override;
    bool IsOpen() const override { return m_socket >= 0; }
    // Stops the reader (releasing it from a hand-over at once) and closes the socket.
    void Close() override;

    // --- network discovery, on an object made for it alone (it never connects) ---
    // Binds the reply socket to port + 1 on every local address, sends the 84-byte request to
    // `broadcast` on `port`, and arms two more sends one discovery interval apart. 3002: no
    // socket; 3009: the reply port cannot be bound; 3010: the request cannot be sent (or the
    // address is not a dotted IPv4 address).
    void startDiscovery(uint16_t port, const std::string &broadcast);
    // Sends the request again when its time has come, then takes one waiting datagram: true
    // with `reply` filled for an 86-byte reply; false, `reply` untouched, when none waits or
    // the datagram is shorter (a part of a reply is no reply). 3011: the receive failed.
    [[nodiscard]] bool pollDiscoveryReply(DiscoveryReply &reply);
    // Closes the reply socket; harmless when discovery is not running.
    void endDiscovery();

protected:
    // Sends the whole frame, waiting (at most the send time) while the socket is full. A
    // time-out (4105), a cancel (4124) or a send error (its error number) leaves part of a
    // frame in the stream: the connection is given up and every later request fails so.
    void WriteBytes(const uint8_t *bytes, size_t count) override;
    void WaitForInput() override;
    // 3007 when the target closed the connection.
    size_t ReadBytes() override;

private:
    void broadcastDiscovery();

    int m_socket = -1;
    // Discovery.
    int m_udp = -1;
    uint16_t m_discovery_port = 0;
    std::string m_broadcast;
    int m_rebroadcasts = 0;
    uint32_t m_next_broadcast = 0;
};
