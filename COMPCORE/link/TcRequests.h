// TcRequests: the request layer of the target link, under the target-communication operations
// (TC). It owns the current connection (one serial object, reused; one TCP object, made anew
// at every TCP open), opens it (keeping an equal one), closes it, lets the user cancel the
// request in progress, builds the payload of every host request, sends it and unpacks the
// reply. It also holds the memory reads and writes with their address modes and 128-byte
// chunks, the TCP challenge with its MD5 answer, the program download (SendFilePackets), the
// cold loader and pilot BIOS stages, and network discovery.
//
// Every request begins (nesting count + 1, the transport's and the layer's cancel cleared)
// and ends (nesting count - 1), also when it fails. Failures are thrown as `xConnectionErr`
// with the codes of LinkResult.h; TC turns them into messages. Without a connection a request
// sends nothing; one whose reply is used then fails like a short reply (4001), a target reset
// with 4000. A reply shorter than what its request reads fails with 4001, so no stale bytes
// pass for target data.
// GUI thread only, like the connections.
#pragma once

#include "TConnection.h"
#include "TEthernetConnection.h"
#include "TSerialConnection.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

// Hands the challenge handler the 16-byte MD5 digest of the pass phrase (method 1).
using TcPassPhraseCallback = std::function<std::array<uint8_t, 16>()>;

// --- connection management ---

// Opens the link of `settings` in `mode`, keeping the open one when it serves (the same link
// and, on a serial link, the same reader mode; a reader mode of 0 always opens afresh). A TCP
// open connects, answers the target's challenge and sends the link request (DBG 56, byte 3).
void OpenLink(const TCOptionsType &settings, ReaderMode mode, TcPassPhraseCallback pass_phrase);
// Closes the current connection: 0; or 4004 when a request is in progress, and then the port
// is closed but the object kept (the waiting request ends).
[[nodiscard]] int CloseLink();
// Closes and destroys everything, discovery included (program end, tests).
void ShutdownLink();
// Makes the request in progress fail with 4124 (a raw stage, a download or a waiting request).
void RequestCancel();
bool IsRequestInProgress();
// The current connection's reader mode; initial when there is none.
ReaderMode GetReaderMode();
// The current connection, or null.
TConnection *CurrentConnection();
// The settings of the last open.
const TCOptionsType &LinkSettings();
// 1 between a TCP connect and the challenge's answer; 3 when the link is ready.
int LinkState();
// The trace callbacks and the read-exception handler every connection gets (the current one
// at once, and each one made later).
void SetLinkTraceCallbacks(const TcTraceCallbacks &callbacks);
void SetLinkReadExceptionHandler(std::function<void()> handler);

// --- requests ---
// Memory payload (SYS READ and WRITE): mode (0 physical, 1 XPC window, 3 logical), u16 count,
// then mode 0: u32 physical address; modes 1 and 3: u16 address, XPC, XPC; WRITE: the data.
// A READ reply carries the data from offset 6.
void ReadPhysicalMemory(uint32_t physical, uint32_t count, uint8_t *buffer);
void ReadLogicalMemory(uint8_t xpc, uint16_t address, uint32_t count, uint8_t *buffer);
void WritePhysicalMemory(uint32_t physical, uint32_t count, const uint8_t *data);
void WriteLogicalMemory(uint8_t xpc, uint16_t address, uint32_t count, const uint8_t *data);
// A request with the payload as given (a copy), whose reply, if any, is not used.
void SendRequest(uint8_t type, uint8_t subtype, std::span<const uint8_t> payload = {});
// A request whose reply comes back in `reply` (at most its size); the reply's length.
size_t SendRequestForReply(uint8_t type, uint8_t subtype, std::span<uint8_t> reply,
                           size_t request_length);
// DBG RESET; 4000 without a connection.
void ResetTarget();
// DBG EXECALLWATCHES, then DBG WATCHDATA waited for, so that the watch data arrives through
// its callback before the request ends. Retry count, time-out and registration are put back.
void RunWatches();
// SYS ERASEFLASH with the settings' flash erase time-out as the response time-out, sent once.
void EraseFlash(uint32_t value);

// --- program download ---
// Sends `length` bytes of the file from `file_offset` as SYS WRITE packets of 128 bytes (the
// block at start + 128 n goes to address_offset + start + 128 n) for the blocks the filter
// accepts, without waiting for each answer, then waits until every packet is acknowledged:
// at most sent x the TCP response time-out. 4000: no connection to load into; 4003: the
// file cannot be opened or is shorter than asked; 4122: a packet was refused (sending stops); 4105: acknowledgements missing;
// 4124: cancelled; 4125: the application quit. SYS WRITE's registration is put back on every
// path.
using DownloadFilter = std::function<bool(uint32_t block_address, uint16_t argument)>;
void SendFilePackets(const std::string &file, uint32_t start, uint32_t address_offset,
                     uint32_t length, const DownloadFilter &filter, uint16_t argument,
                     uint32_t file_offset, const std::function<void(const std::string &)> &progress);

// --- loaders ---
// The cold loader: over TCP in DBG 61; on a serial line as raw three-byte records to the
// bootstrap port, with the DSR check. 5001 (serial) or 4003 (TCP): no file; 5000: no DSR
// change with processor verification on; 4124: cancelled (the port is closed then).
void SendColdLoader(const std::string &file, uint32_t baud);
// The pilot BIOS: over TCP in DBG 54 and 60; on a serial line as the raw header, its echo,
// the image and its check. 6007 (serial) or 4003 (TCP): no file; 6007: no 0xCC in it; 6009:
// the image does not fit its length field or one frame; 6008: wrong echo or check or a line
// failure; 4124: cancelled.
void SendPilotBios(const std::string &file, uint32_t baud);
// The USB-to-serial converter: with the flag set the serial pilot load waits the delay
// (kept in the timing record) before it opens the port.
void SetUsbSerialDelay(bool use_converter, uint32_t delay_ms);
void GetUsbSerialDelay(bool &use_converter, uint32_t &delay_ms);

// --- discovery, on an object of its own ---
void StartDiscovery(uint16_t port, const std::string &broadcast);
[[nodiscard]] bool PollDiscovery(DiscoveryReply &reply);
void EndDiscovery();
