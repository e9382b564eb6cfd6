// The loader stages and requests: the cold loader on the serial line (records, the DSR check,
// files that end badly, a cancel) and over TCP; the pilot BIOS on both links (header, echo,
// image, check, files without an image or too large); board information and the ID block
// check; the baud-rate change; the flash erase.
#include "TcHarness.h"

#include <algorithm>

#include <QTimer>

#include <sys/file.h>
#include <sys/ioctl.h>

using namespace tctest;

namespace {

using Record = std::array<uint8_t, 3>;

const Bytes kBootstrap = {0x80, 0x50, 0x40, 0x80, 0x0E, 0x20};
const Record kEndSequence = {0x80, 0x0E, 0x30};
const Record kEndRecord = {0x80, 0x24, 0x80};

Bytes records(std::initializer_list<Record> rs)
{
    Bytes b;
    for (const Record &r : rs)
        b.insert(b.end(), r.begin(), r.end());
    return b;
}

// Everything the board's serial line received, and the speeds it came at.
std::pair<Bytes, std::set<uint32_t>> serial_bytes(BoardStandIn &board)
{
    return board.with_firmware([](BoardFirmware &f) {
        std::pair<Bytes, std::set<uint32_t>> out;
        for (const auto &r : f.raw()) {
            out.first.insert(out.first.end(), r.bytes.begin(), r.bytes.end());
            out.second.insert(r.baud);
        }
        return out;
    });
}

// --- cold loader on the serial line ---------------------------------------------------------------

struct ColdCase {
    const char *name;
    Bytes file;
    std::vector<Record> logged; // the records the bootstrap port got
};

const Record kA = {0x00, 0x01, 0x31};
const Record kB = {0x00, 0x02, 0x18};

const ColdCase kColdFiles[] = {
    {"ends_with_its_end_record", records({kA, kB, kEndRecord}), {kA, kB, kEndSequence, kEndRecord}},
    {"bytes_after_the_end_record_stay", records({kA, kEndRecord, kB}), {kA, kEndSequence, kEndRecord}},
    {"empty", {}, {}},
    {"without_end_record_repeats_its_last", records({kA, kB}), {kA, kB, kB}},
    {"partial_last_record_is_not_sent", [] {
         Bytes b = records({kA});
         b.push_back(0x77);
         b.push_back(0x66);
         return b;
     }(), {kA, kA}},
};

class ColdLoader : public TcTest, public ::testing::WithParamInterface<ColdCase> {};

TEST_P(ColdLoader, RecordsOnTheBootstrapPort)
{
    const ColdCase &c = GetParam();
    auto board = start_board(BoardPhase::cold);
    TcOpenConnection(serial_settings(), ReaderMode::synchronous);
    EXPECT_TRUE(TcSendColdLoader(write_file("cold.bin", c.file), 2400));

    Bytes expected = kBootstrap;
    for (const Record &r : c.logged)
        expected.insert(expected.end(), r.begin(), r.end());
    board->wait_until([&](const BoardFirmware &f) {
        size_t n = 0;
        for (const auto &r : f.raw())
            n += r.bytes.size();
        return n >= expected.size();
    });
    const auto [bytes, speeds] = serial_bytes(*board);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(speeds, std::set<uint32_t>{2400});
    auto log = board->with_firmware([](BoardFirmware &f) { return f.loader(); });
    EXPECT_EQ(log.cold_records, c.logged);
}

INSTANTIATE_TEST_SUITE_P(All, ColdLoader, ::testing::ValuesIn(kColdFiles),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(TcTest, TheColdLoaderOfTheBuildReachesThePilotStage)
{
    auto board = start_board(BoardPhase::cold);
    TcOpenConnection(serial_settings(), ReaderMode::synchronous);
    EXPECT_TRUE(TcSendColdLoader(KX_TARGET_BIOS "/coldload.bin", 2400));
    EXPECT_TRUE(board->wait_until(
        [](const BoardFirmware &f) { return f.phase() == BoardPhase::pilot_load; }));
}

TEST_F(TcTest, ProcessorVerificationNeedsADsrChange)
{
    auto board = start_board(BoardPhase::cold);
    TCOptionsType o = serial_settings();
    o.verify_dsr = 1;
    const std::string file = write_file("cold.bin", records({kA, kEndRecord}));

    // A pseudo-terminal has no modem-status lines: the load says so once and goes on.
    status_history().clear();
    TcOpenConnection(o, ReaderMode::synchronous);
    EXPECT_EQ(failure_of([&] { EXPECT_TRUE(TcSendColdLoader(file, 2400)); }), "");
    const std::string unverifiable = SerialDevicePath(o) +
        ": the port has no modem-status lines; the processor cannot be verified through DSR.";
    EXPECT_EQ(std::count(status_history().begin(), status_history().end(), unverifiable), 1);

    // A line that reports modem status but whose DSR stays as it was: no processor ran it.
    SetModemStatusService([](uint32_t) -> uint32_t { return TIOCM_CTS; });
    TcOpenConnection(o, ReaderMode::synchronous);
    EXPECT_EQ(failure_of([&] { (void)TcSendColdLoader(file, 2400); }), "No Vireon Processor Detected.");
    EXPECT_EQ(status_history().back(), "Communication error");

    int readings = 0;
    SetModemStatusService([&](uint32_t port) -> uint32_t {
        EXPECT_EQ(port, kComPort);
        return ++readings == 2 ? TIOCM_DSR : 0;
    });
    TcOpenConnection(o, ReaderMode::synchronous);
    EXPECT_EQ(failure_of([&] { EXPECT_TRUE(TcSendColdLoader(file, 2400)); }), "");
    EXPECT_EQ(readings, 2) << "after the start sequence and after the end sequence";
}

TEST_F(TcTest, AMissingColdLoaderFile)
{
    auto board = start_board(BoardPhase::cold);
    TcOpenConnection(serial_settings(), ReaderMode::synchronous);
    EXPECT_EQ(failure_of([&] { (void)TcSendColdLoader((folder / "none.bin").string(), 2400); }),
              "Could not open cold loader file.");
}

TEST_F(TcTest, ACancelInARawStageReleasesPortAndFile)
{
    auto board = start_board(BoardPhase::cold);
    TcOpenConnection(serial_settings(), ReaderMode::synchronous);
    Bytes big;
    for (int i = 0; i < 2000; ++i)
        big.insert(big.end(), kA.begin(), kA.end());
    const std::string file = write_file("cold.bin", big);
    const size_t descriptors = linktest::open_descriptors();
    QTimer::singleShot(0, [] { TcCancelRequest(); });
    EXPECT_EQ(failure_of([&] { (void)TcSendColdLoader(file, 2400); }), "cancel");
    EXPECT_EQ(status_history().back(), "");
    EXPECT_FALSE(CurrentConnection()->IsOpen());
    EXPECT_EQ(linktest::open_descriptors(), descriptors - 1) << "the port is closed, the file too";
    const int fd = ::open(board->pty_path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << "another program may take the port";
    ::close(fd);
    const size_t sent = serial_bytes(*board).first.size();
    EXPECT_LT(sent, kBootstrap.size() + big.size());
}

// --- pilot BIOS on the serial line ------------------------------------------------------------------

Bytes pilot_header(uint16_t length)
{
    Bytes h = {0x00, 0x40, 0x00, 0x00, uint8_t(length), uint8_t(length >> 8)};
    uint8_t sum = 0;
    for (uint8_t b : h)
        sum = uint8_t(sum + b);
    h.push_back(sum);
    return h;
}

struct PilotCase {
    const char *name;
    Bytes file;
    size_t image_from; // where the 0xCC lies
};

const PilotCase kPilots[] = {
    {"file_starting_with_its_image", {0xCC, 0x3E, 0x55, 0x7E, 0x7D, 0x18, 0xFE}, 0},
    {"bytes_before_the_image", {0x01, 0x02, 0x03, 0xCC, 0x00, 0xCC, 0x11}, 3},
};

class PilotBios : public TcTest, public ::testing::WithParamInterface<PilotCase> {};

TEST_P(PilotBios, HeaderEchoImageAndCheck)
{
    const PilotCase &c = GetParam();
    auto board = start_board(BoardPhase::pilot_load);
    TcOpenConnection(serial_settings(), ReaderMode::synchronous);
    status_history().clear();
    TcSendPilotBios(write_file("pilot.bin", c.file), 57600);
    const Bytes image(c.file.begin() + long(c.image_from), c.file.end());
    auto log = board->with_firmware([](BoardFirmware &f) { return f.loader(); });
    EXPECT_EQ(log.pilot_header, pilot_header(uint16_t(image.size())));
    EXPECT_EQ(log.pilot_image, image) << "the 0xCC, then length - 1 bytes";
    EXPECT_TRUE(log.pilot_complete);
    EXPECT_EQ(log.pilot_baud, 57600u);
    EXPECT_EQ(board->with_firmware([](BoardFirmware &f) { return f.phase(); }), BoardPhase::pilot);
    EXPECT_EQ(status_history().front(), "Sending pilot bios");
    EXPECT_EQ(status_history().back(), "");
}

INSTANTIATE_TEST_SUITE_P(All, PilotBios, ::testing::ValuesIn(kPilots),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(TcTest, ThePilotOfTheBuildAnswersFramesAfterwards)
{
    auto board = start_board(BoardPhase::pilot_load);
    TcOpenConnection(serial_settings(), ReaderMode::synchronous);
    TcSendPilotBios(KX_TARGET_BIOS "/pilot.bin", 57600);
    TCOptionsType o = serial_settings();
    o.baud_rate = 57600;
    TcOpenConnection(o, ReaderMode::threaded);
    TcRegisterHandlers();
    EXPECT_TRUE(TcSetBaudRate(115200));
}

struct BadPilotCase {
    const char *name;
    std::function<Bytes()> file; // empty: no file
    const char *message;
};

const BadPilotCase kBadPilots[] = {
    {"missing_file", {}, "Could not open pilot bios file."},
    {"no_image_start", [] { return Bytes{1, 2, 3, 4}; }, "Could not open pilot bios file."},
    {"image_over_65535_bytes", [] { return Bytes(65536, 0xCC); },
     "The pilot bios image is too large to send."},
};

class BadPilot : public TcTest, public ::testing::WithParamInterface<BadPilotCase> {};

TEST_P(BadPilot, RefusedBeforeAnythingIsSent)
{
    const BadPilotCase &c = GetParam();
    auto board = start_board(BoardPhase::pilot_load);
    TcOpenConnection(serial_settings(), ReaderMode::synchronous);
    const std::string file =
        c.file ? write_file("pilot.bin", c.file()) : (folder / "none.bin").string();
    EXPECT_EQ(failure_of([&] { TcSendPilotBios(file, 57600); }), c.message);
    EXPECT_TRUE(serial_bytes(*board).first.empty());
}

INSTANTIATE_TEST_SUITE_P(All, BadPilot, ::testing::ValuesIn(kBadPilots),
                         [](const auto &i) { return std::string(i.param.name); });

// A raw peer answers the pilot's header with `echo` and its image with `check`.
struct PilotAnswerCase {
    const char *name;
    int echo_delta;  // added to the right echo
    int check_delta; // added to the right check
};

const PilotAnswerCase kPilotAnswers[] = {
    {"wrong_echo", 1, 0},
    {"wrong_check", 0, 1},
};

class PilotAnswer : public TcTest, public ::testing::WithParamInterface<PilotAnswerCase> {};

TEST_P(PilotAnswer, Fails)
{
    const PilotAnswerCase &c = GetParam();
    auto peer = linktest::RawPeer::serial();
    SetSerialDevice(kComPort, peer->device());
    TcOpenConnection(serial_settings(), ReaderMode::synchronous);
    const Bytes image = {0xCC, 0x10, 0x20, 0x30};
    const Bytes header = pilot_header(uint16_t(image.size()));
    const uint16_t check = uint16_t(ComputeCheck(Bytes(image.begin() + 1, image.end()), 0xCCCC) + c.check_delta);
    RawAnswer echo(*peer, 7, {uint8_t(header[6] + c.echo_delta)});
    RawAnswer sum(*peer, 7 + image.size(), {uint8_t(check), uint8_t(check >> 8)});
    EXPECT_EQ(failure_of([&] { TcSendPilotBios(write_file("p.bin", image), 57600); }),
              "Target communication error.");
    EXPECT_FALSE(CurrentConnection()->IsOpen()) << "the line is given back";
}

INSTANTIATE_TEST_SUITE_P(All, PilotAnswer, ::testing::ValuesIn(kPilotAnswers),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(TcTest, TheUsbConverterDelayComesBeforeThePortOpens)
{
    auto board = start_board(BoardPhase::pilot_load);
    TcOpenConnection(serial_settings(), ReaderMode::synchronous);
    TcSetUsbSerialDelay(true, 5);
    bool converter = false;
    uint32_t delay = 0;
    TcGetUsbSerialDelay(converter, delay);
    EXPECT_TRUE(converter);
    EXPECT_EQ(delay, 5u);
    TcSendPilotBios(KX_TARGET_BIOS "/pilot.bin", 57600);
    EXPECT_TRUE(board->with_firmware([](BoardFirmware &f) { return f.loader().pilot_complete; }));
}

// --- both stages over TCP ----------------------------------------------------------------------

TEST_F(TcTest, LoadersOverTcp)
{
    StandInConfig config;
    config.serial = false;
    auto board = start_board(BoardPhase::cold, config);
    TcOpenConnection(tcp_settings(board->tcp_port()), ReaderMode::synchronous);
    TcRegisterHandlers();
    const Bytes cold = records({kA, kEndRecord});
    EXPECT_TRUE(TcSendColdLoader(write_file("cold.bin", cold), 2400));
    const Bytes pilot = {0x00, 0xCC, 0x01, 0x02, 0x03};
    TcSendPilotBios(write_file("pilot.bin", pilot), 57600);
    auto log = board->with_firmware([](BoardFirmware &f) { return f.loader(); });
    EXPECT_EQ(log.tcp_cold_loader, cold);
    EXPECT_EQ(log.tcp_pilot_header, pilot_header(4));
    EXPECT_EQ(log.tcp_pilot_image, Bytes(pilot.begin() + 1, pilot.end()));
    EXPECT_EQ(log.tcp_pilot_baud, 57600u);
    auto header = frames_of(*board, kLinkDbg, kDbgPilotHeader);
    ASSERT_EQ(header.size(), 1u);
    EXPECT_EQ(header[0].payload.size(), 14u);
    EXPECT_EQ(TcGetRetryCount(), 0u);
    EXPECT_EQ(CurrentConnection()->GetRetryCount(), tcp_settings(0).tcp_retry_count)
        << "the retry count is back";

    const std::string too_big = write_file("big.bin", Bytes(16379, 0xCC));
    board->with_firmware([](BoardFirmware &f) { f.clear_log(); });
    EXPECT_EQ(failure_of([&] { TcSendPilotBios(too_big, 57600); }),
              "The pilot bios image is too large to send.");
    EXPECT_TRUE(frames_of(*board, kLinkDbg, kDbgPilotHeader).empty()) << "refused, never sent";
}

// --- board information, baud rate, flash erase ----------------------------------------------------

TEST_F(TcTest, BoardInfoFromTheInfoProbe)
{
    StandInConfig config;
    config.firmware.freq_divider = 18;
    config.firmware.cpu_id = 0x0101;
    auto board = start_board(BoardPhase::pilot, config);
    TcOpenConnection(serial_settings(), ReaderMode::threaded);
    TcRegisterHandlers();
    const TcBoardInfo info = TcReadBoardInfo();
    const auto block = vsim::default_id_block(board->config().firmware);
    EXPECT_EQ(Bytes(info.id_block.begin(), info.id_block.end()), Bytes(block.begin(), block.end()));
    EXPECT_EQ(info.board_type, 0x2A00);
    EXPECT_EQ(info.flash_id, 0x01A4);
    EXPECT_EQ(info.ram_size_code, 512 / 32);
    EXPECT_EQ(info.freq_divider, 18);
    EXPECT_EQ(info.cpu_id, 0x0101);
    EXPECT_TRUE(TcValidateIdBlock(info.id_block));
}

struct IdBlockCase {
    const char *name;
    size_t byte;
    uint8_t flip;
    bool valid;
};

const IdBlockCase kIdBlocks[] = {
    {"marker_byte", 129, 0x01, false},
    {"crc_bit", 124, 0x80, false},
    {"covered_byte", 61, 0x04, false},
    {"reserved_byte_115", 115, 0xFF, true},
};

class IdBlock : public TcTest, public ::testing::WithParamInterface<IdBlockCase> {};

TEST_P(IdBlock, Check)
{
    const IdBlockCase &c = GetParam();
    vsim::FirmwareConfig config;
    std::array<uint8_t, 132> block = vsim::default_id_block(config);
    ASSERT_TRUE(TcValidateIdBlock(block));
    block[c.byte] ^= c.flip;
    EXPECT_EQ(TcValidateIdBlock(block), c.valid);
}

INSTANTIATE_TEST_SUITE_P(All, IdBlock, ::testing::ValuesIn(kIdBlocks),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(TcTest, BaudRateAcceptedRefusedOrUnanswered)
{
    auto board = start_board(BoardPhase::pilot);
    TcOpenConnection(serial_settings(200), ReaderMode::threaded);
    TcRegisterHandlers();
    EXPECT_TRUE(TcSetBaudRate(115200));
    EXPECT_FALSE(TcSetBaudRate(921600)) << "above the board's maximum: a NAK";
    EXPECT_EQ(status_history().back(), "");
    board->with_firmware([](BoardFirmware &f) { f.stay_silent(1); });
    EXPECT_EQ(failure_of([] { (void)TcSetBaudRate(57600); }),
              "Timeout while waiting for response from target.");
    auto requests = frames_of(*board, kLinkSys, kSysSetBaudRate);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].payload, (Bytes{0x00, 0x10, 0x0E, 0x00}));
}

TEST_F(TcTest, TheFlashEraseWaitsItsOwnTime)
{
    auto peer = linktest::RawPeer::serial();
    SetSerialDevice(kComPort, peer->device());
    TCOptionsType o = serial_settings(10);
    o.flash_erase_timeout = 3000;
    TcOpenConnection(o, ReaderMode::threaded);
    TcRegisterHandlers();
    // The answer comes long after a response time-out would have ended the wait.
    QTimer::singleShot(100, [&] { peer->write(peer->frame(kLinkSys, kSysEraseFlash | kLinkAck)); });
    EXPECT_FALSE(TcEraseFlash(0x40000)) << "false: no failure";
    EXPECT_EQ(TcGetResponseTimeout(), 10u) << "the response time-out is back";
    auto frames = peer->frames();
    ASSERT_EQ(frames.size(), 1u) << "sent once";
    EXPECT_EQ(frames[0].payload, (Bytes{0x00, 0x00, 0x04, 0x00}));

    peer->respond([&](const linktest::PeerFrame &f) {
        return peer->frame(f.type, uint8_t(f.subtype | kLinkNak));
    });
    EXPECT_TRUE(TcEraseFlash(0x40000)) << "true: the erase failed";
}

} // namespace
