// TSerialConnection: the TConnection of a serial line. It opens and sets up the line, runs the
// reader thread at time-critical priority in threaded mode, writes frames from the GUI thread,
// and in synchronous mode (no reader) writes and reads raw bytes for the cold loader and pilot
// BIOS stages. The port services those stages need sit here too.
// The line is the settings' device path when they hold one ("/dev/ttyUSB0", a pseudo-terminal);
// else their COM port number names a device through one table (`SetSerialDevice`), and
// without an entry COMn is /dev/ttyS(n-1), the machine's n-th port.
// On POSIX: termios, poll and ioctl on one non-blocking descriptor.
#pragma once

#include "TConnection.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// The device of a COM port: the table's entry, else /dev/ttyS(n-1); empty for port 0.
std::string SerialDeviceName(uint32_t com_port);
// Enters (or, with an empty path, removes) the device of a COM port.
void SetSerialDevice(uint32_t com_port, const std::string &path);
// The device a link with these settings opens: their device path, else their COM port's.
std::string SerialDevicePath(const TCOptionsType &settings);
// The serial devices present below `dev` (normally "/dev"), sorted within each kind: the
// "ttyS*" that answer as a line (the kernel makes them whether or not a UART is behind them),
// then every "ttyUSB*", "ttyACM*" and "serial/by-id/*".
std::vector<std::string> SerialPortsPresent(const std::string &dev = "/dev");

// Where the modem status lines come from: by default the line itself (TIOCMGET). A device
// without modem lines (a pseudo-terminal) shows none, so tests enter a scripted service that
// is asked with the port's COM number; an empty function restores the line.
using ModemStatusService = std::function<uint32_t(uint32_t com_port)>;
void SetModemStatusService(ModemStatusService service);

class TSerialConnection : public TConnection {
public:
    TSerialConnection();
    ~TSerialConnection() override;

    // Opens the device of the settings' COM port (unless open) and sets the line up from the
    // settings: baud rate, 8 data bits, no parity, the stop bits, DTR and RTS control, reads
    // that return at once; then takes the reader mode. 2000: the device cannot be opened (or is
    // in use); 2001: the line cannot be set up, and the port stays closed. A device without
    // modem lines (a pseudo-terminal) is no set-up failure.
    void openSerialPort(ReaderMode mode);

    // Mode 0 stops the reader, mode 1 starts it (4097 when it cannot start).
    void SetReaderMode(ReaderMode mode) override;
    // Synchronous mode only (else 4098). Waits while the output queue is full (a cancel: 4124).
    void WriteRaw(const uint8_t *bytes, size_t count) override;
    // Synchronous mode only (else 4098): exactly `count` bytes, or 2002 when none come within
    // three checks a poll interval apart, or when they stop coming before the synchronous read
    // time has passed since the start.
    void ReadRaw(uint8_t *buffer, size_t count) override;
    bool IsOpen() const override { return m_fd >= 0; }
    // Stops the reader (releasing it from a hand-over at once), closes the port.
    void Close() override;

    // --- port services of the loader stages ---
    // Drops whatever waits in the input queue.
    void PurgeInput();
    // Waits until the output queue is empty (4104 after the send time; a cancel: 4124).
    void WaitOutputEmpty();
    // The modem status lines (TIOCM_* bits, TIOCM_DSR among them) from the modem-status
    // service; none for a device without modem lines (a pseudo-terminal) or a closed port.
    std::optional<uint32_t> ModemStatus() const;
    // Waits while the event loop runs; a cancel: 4124.
    void WaitMs(uint32_t ms);

protected:
    void WriteBytes(const uint8_t *bytes, size_t count) override;
    void WaitForInput() override;
    size_t ReadBytes() override;

private:
    void set_up_line();
    size_t read_synchronous(size_t wanted);
    size_t queued_input() const;
    SerialLineSettings line() const;

    int m_fd = -1;
};
