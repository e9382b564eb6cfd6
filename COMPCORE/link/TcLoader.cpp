// TcLoader: the cold loader and pilot BIOS stages (see TcRequests.h). A board without a
// running BIOS takes the cold loader at its bootstrap port as raw three-byte records, then the
// pilot BIOS as a raw header, an image and a check; over TCP/IP the network loader on the board
// takes both files in framed messages instead.
//
// Cold loader file: three-byte records in file order; 80 24 80 ends it.
// Pilot file: any bytes, then the image from the first 0xCC to the end of the file.
// Pilot header (7 bytes): u32 settings field 14 | u16 image length | 8-bit sum of bytes 0-5
#include "TcRequestScope.h"

#include "core/guiInterface.h"
#include "debugger/LinkFrame.h"

#include <QCoreApplication>

#include <fstream>
#include <vector>

#include <sys/ioctl.h>

namespace {

using Record = std::array<uint8_t, 3>;

constexpr Record kResetSequence = {0x80, 0x50, 0x40};
constexpr Record kStartSequence = {0x80, 0x0E, 0x20};
constexpr Record kEndSequence = {0x80, 0x0E, 0x30};
constexpr Record kEndRecord = {0x80, 0x24, 0x80};
constexpr size_t kMaxRecords = 16384;
constexpr uint8_t kPilotStart = 0xCC;
constexpr uint16_t kPilotCheckStart = 0xCCCC;
constexpr size_t kPilotHeaderSize = 7;
constexpr size_t kMaxPilotImage = 0xFFFF;   // what the header's length field holds
constexpr size_t kPilotFrameHeader = 6;     // DBG 54 and 60: u32 baud, u16 length
constexpr size_t kPilotHeaderFrameSize = 14; // DBG 54: baud, 7, the header, one spare byte
constexpr size_t kColdFrameHeader = 2;      // DBG 61: u16 length

bool g_usb_converter = false;

// Raw bytes go one at a time: each is written when the line's output queue has room, and then
// the events that came meanwhile are handled; a cancel among them ends the stage.
void send_raw(TSerialConnection &s, std::span<const uint8_t> bytes)
{
    for (uint8_t b : bytes) {
        s.WriteRaw(&b, 1);
        QCoreApplication::processEvents();
        if (tcreq::take_cancel_request())
            throw xConnectionErr(kLinkUserCancel);
    }
}

// One line in the status line: the port has no modem-status lines to verify the processor by.
void report_unverifiable(const std::string &device)
{
    if (TMainWindowHost *host = gMainWindowInterface->Host())
        host->SetStatusText(device + ": the port has no modem-status lines; "
                                     "the processor cannot be verified through DSR.");
}

// The settings the serial stages open the line with.
TCOptionsType stage_settings(uint32_t baud, uint32_t dtr, uint32_t rts)
{
    TCOptionsType o;
    copy_comm_settings(o, LinkSettings());
    o.link_kind = 0;
    o.baud_rate = baud;
    o.dtr_control = dtr;
    o.rts_control = rts;
    o.stop_bits = 0;
    return o;
}

// A raw stage that fails leaves nothing half done behind: the line is given back.
template <class F>
void raw_stage(F stage)
{
    tcreq::RequestScope scope;
    TSerialConnection &s = tcreq::serial_object();
    try {
        stage(s);
    } catch (const xConnectionErr &) {
        s.Close();
        throw;
    }
}

void cold_loader_serial(const std::string &file, uint32_t baud)
{
    raw_stage([&](TSerialConnection &s) {
        const TLinkTimings &t = link_timings();
        // DTR high, then low: the pulse that resets the board into its bootstrap.
        TCOptionsType o = stage_settings(baud, 1, 1);
        s.SetOptions(o);
        s.openSerialPort(ReaderMode::synchronous);
        s.WaitMs(t.cold_dtr_ms);
        o.dtr_control = 0;
        s.SetOptions(o);
        s.openSerialPort(ReaderMode::synchronous);
        s.WaitMs(t.cold_dtr_ms);
        send_raw(s, kResetSequence);
        s.PurgeInput();

        std::ifstream in(file, std::ios::binary);
        if (!in)
            throw xConnectionErr(kLinkColdLoaderFile);
        send_raw(s, kStartSequence);
        s.WaitMs(t.cold_start_ms);
        const std::optional<uint32_t> first = s.ModemStatus();
        std::optional<uint32_t> second = first;
        Record record{};
        bool have_record = false;
        for (size_t n = 0; n < kMaxRecords; ++n) {
            Record r;
            // A record cut short by the end of the file is no record: none of it is sent.
            if (!in.read(reinterpret_cast<char *>(r.data()), std::streamsize(r.size())))
                break;
            record = r;
            have_record = true;
            if (r == kEndRecord) {
                send_raw(s, kEndSequence);
                s.WaitMs(t.cold_end_ms);
                second = s.ModemStatus();
                break;
            }
            send_raw(s, r);
        }
        // The end record goes out here, its only sending; a file that ended otherwise sends
        // its last record once more, as the bootstrap port expects.
        if (have_record)
            send_raw(s, record);
        s.WaitMs(t.cold_drain_ms);
        s.WaitOutputEmpty();
        // A processor that ran the cold loader toggles DSR. A line without modem-status lines
        // (a pseudo-terminal, some adapters) cannot show it: that is said, and the load goes on,
        // for the pilot stage's echo still finds out whether a processor answers.
        if (LinkSettings().verify_dsr == 0)
            return;
        if (!first || !second) {
            report_unverifiable(SerialDevicePath(s.Options()));
            return;
        }
        if ((*first & TIOCM_DSR) == (*second & TIOCM_DSR))
            throw xConnectionErr(kLinkNoProcessor);
    });
}

void cold_loader_tcp(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw xConnectionErr(kLinkFileFailed);
    std::vector<uint8_t> payload(kColdFrameHeader);
    char c;
    while (in.get(c)) {
        if (payload.size() == kLinkMaxSendPayload)
            throw xConnectionErr(kLinkPayloadTooLarge);
        payload.push_back(uint8_t(c));
    }
    tcreq::put16(payload.data(), uint16_t(payload.size() - kColdFrameHeader));
    tcreq::RequestScope scope;
    TConnection *connection = CurrentConnection();
    if (!connection)
        return;
    tcreq::RetryGuard retries(*connection);
    connection->SetRetryCount(0);
    SendRequest(kLinkDbg, kDbgColdLoader, payload);
}

struct PilotImage {
    std::array<uint8_t, kPilotHeaderSize> header{};
    std::vector<uint8_t> image; // from the 0xCC on
};

// The image of a pilot file and its header. `missing`: the code for a file that cannot be
// opened. An image longer than `limit` is refused before anything is sent.
PilotImage read_pilot(const std::string &file, int missing, size_t limit)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw xConnectionErr(missing);
    PilotImage p;
    char c;
    while (in.get(c) && uint8_t(c) != kPilotStart) {
    }
    if (!in)
        throw xConnectionErr(kLinkPilotFile);
    p.image.push_back(kPilotStart);
    while (in.get(c)) {
        if (p.image.size() == limit)
            throw xConnectionErr(kLinkPilotTooLarge);
        p.image.push_back(uint8_t(c));
    }
    tcreq::put32(p.header.data(), LinkSettings().pilot_bios_address);
    tcreq::put16(p.header.data() + 4, uint16_t(p.image.size()));
    uint8_t sum = 0;
    for (size_t i = 0; i < 6; ++i)
        sum = uint8_t(sum + p.header[i]);
    p.header[6] = sum;
    return p;
}

void pilot_serial(const std::string &file, uint32_t baud)
{
    const PilotImage p = read_pilot(file, kLinkPilotFile, kMaxPilotImage);
    raw_stage([&](TSerialConnection &s) {
        s.SetOptions(stage_settings(baud, 0, 1));
        if (g_usb_converter)
            s.WaitMs(link_timings().usb_serial_delay_ms);
        s.openSerialPort(ReaderMode::synchronous);
        try {
            s.PurgeInput();
            send_raw(s, p.header);
            uint8_t echo = 0;
            s.ReadRaw(&echo, 1);
            if (echo != p.header[6])
                throw xConnectionErr(kLinkPilotFailed);
            const uint8_t start[1] = {kPilotStart};
            send_raw(s, start);
            const std::span<const uint8_t> rest(p.image.data() + 1, p.image.size() - 1);
            s.WriteRaw(rest.data(), rest.size());
            uint8_t check[2] = {};
            s.ReadRaw(check, 2);
            if (uint16_t(check[0] | check[1] << 8) != ComputeCheck(rest, kPilotCheckStart))
                throw xConnectionErr(kLinkPilotFailed);
            s.WaitOutputEmpty();
        } catch (const xConnectionErr &e) {
            if (e.code() == kLinkUserCancel)
                throw;
            throw xConnectionErr(kLinkPilotFailed);
        }
    });
}

void pilot_tcp(const std::string &file, uint32_t baud)
{
    const PilotImage p =
        read_pilot(file, kLinkFileFailed, kLinkMaxSendPayload - kPilotFrameHeader);
    tcreq::RequestScope scope;
    TConnection *c = CurrentConnection();
    if (!c)
        return;
    tcreq::RetryGuard retries(*c);
    c->SetRetryCount(0);
    std::vector<uint8_t> header(kPilotHeaderFrameSize);
    tcreq::put32(header.data(), baud);
    tcreq::put16(header.data() + 4, uint16_t(kPilotHeaderSize));
    std::copy(p.header.begin(), p.header.end(), header.begin() + kPilotFrameHeader);
    SendRequest(kLinkDbg, kDbgPilotHeader, header);
    std::vector<uint8_t> image(kPilotFrameHeader);
    tcreq::put32(image.data(), baud);
    tcreq::put16(image.data() + 4, uint16_t(p.image.size()));
    image.insert(image.end(), p.image.begin(), p.image.end());
    SendRequest(kLinkDbg, kDbgPilotImage, image);
}

} // namespace

void SendColdLoader(const std::string &file, uint32_t baud)
{
    if (LinkSettings().link_kind != 0)
        cold_loader_tcp(file);
    else
        cold_loader_serial(file, baud);
}

void SendPilotBios(const std::string &file, uint32_t baud)
{
    tcreq::RequestScope scope;
    if (LinkSettings().link_kind != 0)
        pilot_tcp(file, baud);
    else
        pilot_serial(file, baud);
}

void SetUsbSerialDelay(bool use_converter, uint32_t delay_ms)
{
    g_usb_converter = use_converter;
    link_timings().usb_serial_delay_ms = delay_ms;
}

void GetUsbSerialDelay(bool &use_converter, uint32_t &delay_ms)
{
    use_converter = g_usb_converter;
    delay_ms = link_timings().usb_serial_delay_ms;
}
