// TCOptions: the communication settings record `TCOptionsType`, the one record that carries the
// user's link settings from the settings side (the project's "COMM" section, the options
// dialog) to the compile-and-load sequence, the request layer, the transports and the main
// window's poll timer. Each holder keeps its own copy, taken whole.
// Std-only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Fields in their stored order: seventeen 32-bit words, the network address, the control port
// and the controller name; then the serial line's device path, which this system adds: a
// device path ("/dev/ttyUSB0", a pseudo-terminal) names the line, and the COM number stays
// for the record and for the projects that name their port "COM"+number only. The defaults are
// those of a project file without "COMM".
struct TCOptionsType {
    uint32_t serial_response_timeout = 200;  // 1  ms
    uint32_t tcp_response_timeout = 8000;    // 2  ms
    uint32_t serial_poll_period = 3000;      // 3  ms between polls of a running program
    uint32_t tcp_poll_period = 30000;        // 4  ms
    uint32_t serial_retry_count = 10;        // 5
    uint32_t tcp_retry_count = 0;            // 6
    uint32_t com_port = 1;                   // 7  1 is "COM1"
    uint32_t baud_rate = 115200;             // 8  the rate the serial port opens at
    uint32_t dtr_control = 0;                // 9  0 off, 1 on, 2 handshake
    uint32_t rts_control = 0;                // 10 0 off, 1 on, 2 handshake, 3 toggle
    uint32_t stop_bits = 2;                  // 11 0 one, 1 one and a half, 2 two
    uint32_t max_download_baud = 460800;     // 12 upper bound of the baud negotiation
    uint32_t disable_baud_negotiation = 0;   // 13
    uint32_t pilot_bios_address = 0x4000;    // 14 first field of the pilot BIOS header
    uint32_t flash_erase_timeout = 10000;    // 15 ms
    uint32_t link_kind = 0;                  // 16 non-zero: a TCP/IP connection, else serial
    uint32_t verify_dsr = 1;                 // 17 the serial cold load checks the DSR line
    std::array<char, 16> network_address{};  // 18 dotted IPv4 text, NUL-terminated
    uint16_t control_port = 0;               // 19 TCP port of the target's loader
    std::array<char, 256> controller_name{}; // 20 NUL-terminated
    std::array<char, 256> serial_device{};   // 21 the serial line's device; empty: COM port's

    bool operator==(const TCOptionsType &) const = default;
};

// A text field's text, up to its NUL or the end of the field, whichever comes first.
template <std::size_t N>
std::string comm_text(const std::array<char, N> &field)
{
    std::size_t n = 0;
    while (n < N && field[n] != '\0')
        ++n;
    return std::string(field.data(), n);
}

// Puts the text into the field with its NUL. A text that does not fit (N - 1 characters) or
// holds a NUL is refused: false, and the field is unchanged. Never cut.
template <std::size_t N>
[[nodiscard]] bool set_comm_text(std::array<char, N> &field, const std::string &text)
{
    if (text.size() >= N || text.find('\0') != std::string::npos)
        return false;
    field.fill('\0');
    text.copy(field.data(), text.size());
    return true;
}

// Copies a record field by field. Each text is copied up to its NUL and at most 15 (address)
// or 255 (name) characters, and always ends in a NUL in the copy, so an unterminated text in
// the source never runs past its field. Copying a record onto itself changes nothing.
void copy_comm_settings(TCOptionsType &to, const TCOptionsType &from);

// True when a link opened with `a` may serve `b` as it stands: the same kind of link and, for
// a serial link, the same COM port and device path, baud rate, DTR and RTS control and stop bits; for a TCP/IP
// link, the same network address, control port and controller name.
bool comm_settings_same_link(const TCOptionsType &a, const TCOptionsType &b);

// The serial port as the user names it: the device path, else "COM"+number.
std::string serial_port_text(const TCOptionsType &settings);
