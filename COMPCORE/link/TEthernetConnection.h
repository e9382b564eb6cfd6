// TEthernetConnection: the TConnection of a board reached over TCP/IP. It connects from the GUI
// thread while the event loop runs, sends frames from the GUI thread (without flag and without
// escapes: the frames lie back to back in the stream), and receives on a reader thread at
// normal priority. Raw bytes have no place on this link. The digest challenge the loader sends
// after the connect (DBG 63) is answered by the request layer.
// On POSIX: one non-blocking socket, watched by poll on the reader thread and by a socket
// notifier on the GUI thread.
#pragma once

#include "TConnection.h"

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

protected:
    // Sends the whole frame, waiting (at most the send time) while the socket is full. A
    // time-out (4105), a cancel (4124) or a send error (its error number) leaves part of a
    // frame in the stream: the connection is given up and every later request fails so.
    void WriteBytes(const uint8_t *bytes, size_t count) override;
    void WaitForInput() override;
    // 3007 when the target closed the connection.
    size_t ReadBytes() override;

private:
    int m_socket = -1;
};
