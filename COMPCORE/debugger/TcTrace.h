// TcTrace: the communication trace. While "Enable TC Logging" is on, every frame and every raw
// byte run that crosses the target link is written to the text file "tcout.txt": a time stamp,
// the direction, in verbose mode a decoded line per message, and a hex dump. The transports
// call six writers through the callbacks they are given (`TcTraceWriters`); the connection's
// open and close open and close the file. The file lies in the user's state folder
// ($XDG_STATE_HOME/korvex, by default ~/.local/state/korvex), never in the current folder.
// The writers run on the reader thread (received frames) and on the GUI thread (sent frames,
// port events); one recursive lock keeps the lines of one event together.
// Std-only.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>

// The line settings a serial open applied, for the port-opened writer.
struct SerialLineSettings {
    uint32_t baud_rate = 0;
    uint32_t dtr_control = 0;
    uint32_t rts_control = 0;
    uint32_t stop_bits = 0; // 0 one, 1 one and a half, 2 two
};

// What a transport calls, each when set: the time stamp first, before every other event; the
// direction before the dump of a sent or received frame or raw byte run; the dump itself
// (`frame`: the bytes are a frame, else a raw byte run of the synchronous mode; `escaped`: a
// serial frame, flag and escapes included); the port events of a serial open and close. The
// two switches tell the transports whether to trace raw byte runs at all. A transport holds
// `event_lock`, when set, around the calls of one event, so that the lines of an event written
// on the reader thread never land between those of one written on the GUI thread; the writers
// take it again on the same thread.
struct TcTraceCallbacks {
    std::function<void()> time_stamp;
    std::function<void()> send_header;
    std::function<void()> receive_header;
    std::function<void(std::span<const uint8_t> bytes, bool frame, bool escaped)> dump;
    std::function<void(const SerialLineSettings &line, uint32_t port, bool ok)> port_opened;
    std::function<void()> port_closed;
    bool log_non_packet_writes = false;
    bool log_non_packet_reads = false;
    std::recursive_mutex *event_lock = nullptr;
};

// The folder of the trace file and the file's full path.
std::string TcTraceFolder();
std::string TcTraceFilePath();

// With "Enable TC Logging" on and no trace open: creates the folder and the file anew and takes
// the switches ("Log Verbose", "Log Non-packet Writes", "Log Non-packet Reads", "Log Packet
// Data") as they stand. False when logging is on and the file cannot be created (nothing is
// traced then); true otherwise. With logging off nothing is created.
[[nodiscard]] bool TcOpenTraceFile();
// Closes the trace; harmless when none is open.
void TcCloseTraceFile();
bool TcTraceFileIsOpen();

// The six writers and the two switches, for a connection's trace callbacks. Each writer does
// nothing while no trace is open.
TcTraceCallbacks TcTraceWriters();

// The decoded lines of one frame: the message name with " (ACK)" or " (NAK)", then the fields
// of the messages that have them. An escaped frame (serial) loses its flag and escapes first.
// Only fields that lie wholly inside the frame's payload are printed; types other than SYS and
// DBG, and frames shorter than a header, give nothing.
std::string TcTraceDecode(std::span<const uint8_t> frame, bool escaped);
