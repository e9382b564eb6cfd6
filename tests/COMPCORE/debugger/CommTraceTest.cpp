// The communication trace: the decoded lines of each message, fields printed only where the
// frame holds them, and the file the six writers fill (or do not create) by the switches.
#include "debugger/TcTrace.h"

#include "debugger/LinkFrame.h"
#include "FifoGuard.h"
#include "TraceSandbox.h"
#include "settings/guiKXPreferences.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

using Bytes = std::vector<uint8_t>;

std::string decode(uint8_t type, uint8_t subtype, const Bytes &payload, bool serial = true)
{
    return TcTraceDecode(build_link_frame(type, subtype, payload, serial), serial);
}

struct DecodeCase {
    const char *name;
    uint8_t type, subtype;
    Bytes payload;
    const char *text;
};
void PrintTo(const DecodeCase &c, std::ostream *os) { *os << c.name; }

const DecodeCase kDecodeCases[] = {
    {"sys_noop", 0, 1, {}, "SYS/NOOP\r\n"},
    {"sys_noop_ack", 0, 0x81, {}, "SYS/NOOP (ACK)\r\n"},
    {"sys_noop_nak", 0, 0x41, {}, "SYS/NOOP (NAK)\r\n"},
    {"sys_read_physical", 0, 2, {0, 16, 0, 0x10, 0x00, 0x08, 0x00},
     "SYS/READ\r\n16 bytes from 0x80010\r\n"},
    {"sys_read_xpc_window", 0, 2, {1, 128, 0, 0x40, 0xE0, 0x12, 0x12},
     "SYS/READ\r\n128 bytes from 0x12:e040\r\n"},
    {"sys_read_logical", 0, 2, {3, 4, 0, 0x00, 0x90, 0, 0}, "SYS/READ\r\n4 bytes from 0x9000\r\n"},
    {"sys_read_unknown_mode", 0, 2, {2, 4, 0, 0, 0, 0, 0}, "SYS/READ\r\n"},
    {"sys_write_physical", 0, 3, {0, 2, 0, 0x00, 0x00, 0x08, 0x00, 0xAA, 0xBB},
     "SYS/WRITE\r\n2 bytes to 0x80000\r\n"},
    {"sys_startbios_ram", 0, 5, {1}, "SYS/STARTBIOS\r\nStart BIOS in ram\r\n"},
    {"sys_startbios_flash", 0, 5, {2}, "SYS/STARTBIOS\r\nStart BIOS in flash\r\n"},
    {"sys_setbaudrate", 0, 6, {0x00, 0x08, 0x07, 0x00}, "SYS/SETBAUDRATE\r\nBaudrate = 460800\r\n"},
    {"sys_setbaudrate_reply_has_no_field", 0, 0x86, {0x00, 0x08, 0x07, 0x00}, "SYS/SETBAUDRATE (ACK)\r\n"},
    {"sys_flashdata", 0, 10, {0x00, 0x10, 0x40, 0x00, 0x00, 0x01, 0x01, 0x00},
     "SYS/FLASHDATA\r\nsectorsize = 4096\r\nnumber of sectors = 64\r\nflashsize = 256\r\n"
     "write mode = 0x1\r\n"},
    {"sys_text_unnamed", 0, 63, {0, 0, 4, 0, 'h', 'i', 0}, "SYS/63\r\n"},
    {"dbg_singlestep_source_over", 1, 1, {0x0A}, "DBG/SINGLESTEP\r\nSource step over\r\n"},
    {"dbg_singlestep_instruction_into", 1, 1, {0x05}, "DBG/SINGLESTEP\r\nInstruction step into\r\n"},
    {"dbg_togglebp", 1, 2, {0x34, 0x12, 0x05, 0x00, 0x12, 0x00, 0x00},
     "DBG/TOGGLEBP\r\naddress = 0x51234\r\nflags = active hard\r\n"},
    {"dbg_addwatch", 1, 9, {0x00, 0xE0, 0x10, 0x00, 0x0C},
     "DBG/ADDWATCH\r\naddress = 0x10e000, size = 0x000c\r\n"},
    {"dbg_deletewatch", 1, 10, {3}, "DBG/DELETEWATCH\r\nindex = 3\r\n"},
    {"dbg_execwatch", 1, 12, {7}, "DBG/EXECWATCH\r\nindex = 7\r\n"},
    {"dbg_sendchar", 1, 14, {'k'}, "DBG/SENDCHAR\r\nchar = k\r\n"},
    {"dbg_setsendflags", 1, 16, {0x29}, "DBG/SETSENDFLAGS\r\nSet flags = SendStackData SendRegisterData SendAck \r\n"},
    {"dbg_settraceflags", 1, 29, {0x03}, "DBG/SETTRACEFLAGS\r\nSet flags = SendTraceRST SendTraceFunc \r\n"},
    {"dbg_stdio_text", 1, 21, {'o', 'k', '\n'}, "DBG/STDIO\r\nok\n\r\n"},
    {"dbg_stdio_ack_has_no_text", 1, 0x95, {}, "DBG/STDIO (ACK)\r\n"},
    {"dbg_charready", 1, 23, {2}, "DBG/CHARREADY\r\nchar count = 2\r\n"},
    {"dbg_enabledoptions_reply", 1, 0x99, {0x05, 16, 8},
     "DBG/ENABLEDOPTIONS (ACK)\r\nmax watches = 16, max breakpoints = 8\r\n"
     "options = breakpoints  watches\r\n"},
    {"dbg_enabledoptions_request_has_no_field", 1, 25, {0, 0, 0}, "DBG/ENABLEDOPTIONS\r\n"},
    {"dbg_setdebugtag", 1, 26, {0x34, 0x12}, "DBG/SETDEBUGTAG\r\ndebug tag = 0x1234\r\n"},
    {"dbg_getdebugtag_reply", 1, 0x9B, {0xFF, 0x7F}, "DBG/GETDEBUGTAG (ACK)\r\ndebug tag = 0x7fff\r\n"},
    {"dbg_trace_unnamed", 1, 28, {0x08}, "DBG/28\r\n"},
    {"escaped_bytes_in_fields", 1, 26, {0x7E, 0x7D}, "DBG/SETDEBUGTAG\r\ndebug tag = 0x7d7e\r\n"},
};

class TraceDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(TraceDecode, Lines)
{
    const DecodeCase &c = GetParam();
    EXPECT_EQ(decode(c.type, c.subtype, c.payload, true), c.text) << "serial";
    EXPECT_EQ(decode(c.type, c.subtype, c.payload, false), c.text) << "tcp";
}

INSTANTIATE_TEST_SUITE_P(Messages, TraceDecode, ::testing::ValuesIn(kDecodeCases),
                         [](const auto &i) { return std::string(i.param.name); });

// 7D 5E in a serial frame's payload is the byte 7E; over TCP the same bytes are themselves.
TEST(TraceDecode, EscapesAreUndoneOnlyOnTheSerialForm)
{
    Bytes serial = build_link_frame(1, 21, Bytes{0x7E, 'x'}, true);
    ASSERT_EQ(serial[9], 0x7D);
    ASSERT_EQ(serial[10], 0x5E);
    EXPECT_EQ(TcTraceDecode(serial, true), "DBG/STDIO\r\n~x\r\n");
    Bytes tcp = build_link_frame(1, 21, Bytes{0x7D, 0x5E}, false);
    EXPECT_EQ(TcTraceDecode(tcp, false), "DBG/STDIO\r\n}^\r\n");
}

TEST(TraceDecode, OtherTypesAndShortFramesGiveNothing)
{
    EXPECT_EQ(decode(2, 1, {}), "");
    Bytes f = build_link_frame(0, 1, Bytes{}, true);
    EXPECT_EQ(TcTraceDecode(std::span<const uint8_t>(f).first(8), true), "") << "7 header bytes";
    EXPECT_EQ(TcTraceDecode({}, true), "");
}

// A frame cut short, or one whose header announces more than it holds, prints only the fields
// that lie inside the bytes at hand.
TEST(TraceDecode, OnlyFieldsInsideTheFrame)
{
    Bytes f = build_link_frame(0, 10, Bytes{0x00, 0x10, 0x40, 0x00, 0x00, 0x01, 0x01, 0x00}, false);
    EXPECT_EQ(TcTraceDecode(std::span<const uint8_t>(f).first(8 + 5), false),
              "SYS/FLASHDATA\r\nsectorsize = 4096\r\nnumber of sectors = 64\r\n");
    Bytes read = build_link_frame(0, 2, Bytes{0, 16, 0, 0x10, 0x00}, false);
    EXPECT_EQ(TcTraceDecode(read, false), "SYS/READ\r\n") << "the address needs 4 bytes";
    // A header that announces 0 bytes: nothing of what follows is a field.
    Bytes tag = build_link_frame(1, 26, Bytes{}, false);
    tag.insert(tag.end() - 2, {0x34, 0x12});
    EXPECT_EQ(TcTraceDecode(tag, false), "DBG/SETDEBUGTAG\r\n");
}

Bytes info_probe_reply()
{
    Bytes p(8 + kIdBlockSize, 0);
    uint8_t *id = p.data() + 8;
    id[0] = 5;                // tableVersion
    id[2] = 0x00, id[3] = 0x2A; // productID 0x2A00
    id[19] = 0x00, id[20] = 0x04; // flashSize 1024
    id[51] = 0x00, id[52] = 0x80, id[53] = 0x51, id[54] = 0x01; // 22,118,400 Hz
    const char *name = "Stand-in";
    std::copy(name, name + 8, id + 85);
    std::array<uint8_t, kIdBlockSize> block;
    std::copy(id, id + kIdBlockSize, block.begin());
    seal_id_block(block);
    std::copy(block.begin(), block.end(), id);
    return p;
}

TEST(TraceDecode, InfoProbeReplyListsTheIdBlock)
{
    std::string text = decode(0, 0x84, info_probe_reply());
    std::istringstream lines(text);
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);)
        got.push_back(line);
    ASSERT_EQ(got.size(), 31u) << text;
    EXPECT_EQ(got[0], "SYS/INFOPROBE (ACK)\r");
    EXPECT_EQ(got[1], "tableVersion  = 5\r");
    EXPECT_EQ(got[2], "productID     = 0x2A00\r");
    EXPECT_EQ(got[7], "flashSize     = 1024\r");
    EXPECT_EQ(got[21], "crystalFreq   =  22.1184 MHz\r");
    EXPECT_EQ(got[24], "productName   = Stand-in\r");
    EXPECT_EQ(got[30], "marker        = 55 aa 55 aa 55 aa\r");
    EXPECT_EQ(decode(0, 4, {}), "SYS/INFOPROBE\r\n") << "the request carries no block";
    Bytes cut = info_probe_reply();
    cut.resize(8 + 30);
    const std::string short_text = decode(0, 0x84, cut);
    EXPECT_EQ(std::count(short_text.begin(), short_text.end(), '\n'), 11)
        << "the fields up to flashSpeed lie inside 30 bytes";
}

// Random byte strings and mutated frames: the decoder answers, and nothing it prints comes from
// behind the frame (the sanitizer build catches a read past it).
TEST(TraceDecodeFuzz, RandomAndMutatedFrames)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        Bytes payload(rng() % 160);
        for (uint8_t &b : payload)
            b = uint8_t(rng());
        bool serial = rng() % 2;
        Bytes f = build_link_frame(uint8_t(rng() % 3), uint8_t(rng()), payload, serial);
        if (rng() % 2)
            f.resize(rng() % (f.size() + 1));
        if (!f.empty() && rng() % 2)
            f[rng() % f.size()] = uint8_t(rng());
        std::string text = TcTraceDecode(f, serial);
        EXPECT_LE(text.size(), 4096u);
    }
}

// --- the file -------------------------------------------------------------------------------

class TraceFileTest : public ::testing::Test {
protected:
    std::string file_text() { return sandbox.text(); }
    TraceSandbox sandbox;
    const std::filesystem::path &m_dir = sandbox.dir;
};

TEST_F(TraceFileTest, FileLiesInTheStateFolder)
{
    EXPECT_EQ(TcTraceFolder(), (m_dir / "korvex").string());
    EXPECT_EQ(TcTraceFilePath(), (m_dir / "korvex" / "tcout.txt").string());
    setenv("XDG_STATE_HOME", "relative/path", 1);
    EXPECT_NE(TcTraceFolder().substr(0, 13), "relative/path") << "a relative setting is ignored";
}

TEST_F(TraceFileTest, LoggingOffCreatesNoFileAndWritesNothing)
{
    EXPECT_TRUE(TcOpenTraceFile());
    EXPECT_FALSE(TcTraceFileIsOpen());
    TcTraceCallbacks w = TcTraceWriters();
    w.time_stamp();
    w.send_header();
    Bytes f = build_link_frame(0, 1, Bytes{}, true);
    w.dump(f, true, true);
    EXPECT_FALSE(std::filesystem::exists(TcTraceFilePath()));
}

TEST_F(TraceFileTest, SentAndReceivedFramesWithVerboseDecoding)
{
    IdePreferences().tc_logging = true;
    IdePreferences().tc_log_verbose = true;
    ASSERT_TRUE(TcOpenTraceFile());
    ASSERT_TRUE(TcTraceFileIsOpen());
    TcTraceCallbacks w = TcTraceWriters();
    Bytes read = build_link_frame(0, 2, Bytes{0, 16, 0, 0x10, 0x00, 0x08, 0x00}, true);
    w.time_stamp();
    w.send_header();
    w.dump(read, true, true);
    Bytes reply = build_link_frame(0, 0x82, Bytes(22, 0x7E), true);
    w.time_stamp();
    w.receive_header();
    w.dump(reply, true, true);
    TcCloseTraceFile();

    std::string text = file_text();
    std::regex stamp(R"(\r\n\(\d\d:\d\d:\d\d:\d{2,3}\))");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), stamp), std::sregex_iterator()), 2)
        << text;
    EXPECT_NE(text.find(") send \r\nSYS/READ\r\n16 bytes from 0x80010\r\n"
                        "7e 02 00 00 02 07 00 20 0b 00 10 00 10 00 08 00 \r\n"
                        "ad 5e \r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(") receive\r\nSYS/READ (ACK)\r\n"), std::string::npos) << text;
    // Rows of 16 bytes, each "%02x ".
    std::regex row(R"(\r\n((?:[0-9a-f]{2} ){16})\r\n)");
    EXPECT_TRUE(std::regex_search(text, row));
}

struct DumpSwitchCase {
    const char *name;
    bool packet_data, non_packet_writes, non_packet_reads;
    bool frame;
    bool hex_written;
};
void PrintTo(const DumpSwitchCase &c, std::ostream *os) { *os << c.name; }

const DumpSwitchCase kDumpSwitchCases[] = {
    {"frame_with_packet_data", true, false, false, true, true},
    {"frame_without_packet_data", false, true, true, true, false},
    {"raw_with_non_packet_writes", false, true, false, false, true},
    {"raw_with_non_packet_reads", false, false, true, false, true},
    {"raw_without_either", true, false, false, false, false},
};

class TraceDumpSwitches : public TraceFileTest, public ::testing::WithParamInterface<DumpSwitchCase> {};

TEST_P(TraceDumpSwitches, DecideTheHexRows)
{
    const DumpSwitchCase &c = GetParam();
    IdePreferences().tc_logging = true;
    IdePreferences().tc_log_packet_data = c.packet_data;
    IdePreferences().tc_log_non_packet_writes = c.non_packet_writes;
    IdePreferences().tc_log_non_packet_reads = c.non_packet_reads;
    ASSERT_TRUE(TcOpenTraceFile());
    Bytes bytes = {0x80, 0x0E, 0x30};
    TcTraceWriters().dump(bytes, c.frame, true);
    TcCloseTraceFile();
    EXPECT_EQ(file_text(), c.hex_written ? "80 0e 30 \r\n" : "");
}

INSTANTIATE_TEST_SUITE_P(Switches, TraceDumpSwitches, ::testing::ValuesIn(kDumpSwitchCases),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(TraceFileTest, PortEventsAndAFileCreatedAnew)
{
    IdePreferences().tc_logging = true;
    ASSERT_TRUE(TcOpenTraceFile());
    TcTraceWriters().port_opened({57600, 1, 0, 2}, 3, true);
    TcCloseTraceFile();
    EXPECT_EQ(file_text(), " COM3 opened\r\n");

    IdePreferences().tc_log_verbose = true;
    ASSERT_TRUE(TcOpenTraceFile());
    TcTraceCallbacks w = TcTraceWriters();
    w.port_opened({2400, 0, 1, 1}, 12, false);
    w.port_closed();
    TcCloseTraceFile();
    EXPECT_EQ(file_text(), " COM12 not opened\r\nBaud rate: 2400\r\nDTR flow control type: 0\r\n"
                           "RTS flow control: 1\r\nStop Bits (0,1,2 = 1, 1.5, 2): 1\r\n"
                           " port closed \r\n");
}

TEST_F(TraceFileTest, AFileThatCannotBeCreatedIsReported)
{
    IdePreferences().tc_logging = true;
    std::filesystem::create_directories(m_dir);
    std::ofstream(m_dir / "korvex") << "a file where the folder should be";
    EXPECT_FALSE(TcOpenTraceFile());
    EXPECT_FALSE(TcTraceFileIsOpen());
    TcTraceWriters().send_header(); // nothing open: nothing happens
}

// A FIFO or a link to a device in the trace's place: the link neither waits for a reader nor
// writes into it, and it stays what it was.
TEST_F(TraceFileTest, AFifoOrDeviceInTheTracesPlaceIsNeitherWaitedOnNorReplaced)
{
    IdePreferences().tc_logging = true;
    std::filesystem::create_directories(TcTraceFolder());
    const std::string path = TcTraceFilePath();
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    {
        FifoGuard guard(path);
        EXPECT_FALSE(TcOpenTraceFile());
        EXPECT_TRUE(guard.Stop()) << "the trace waited for a reader";
    }
    EXPECT_FALSE(TcTraceFileIsOpen());
    EXPECT_EQ(std::filesystem::symlink_status(path).type(), std::filesystem::file_type::fifo);
    std::filesystem::remove(path);
    std::filesystem::create_symlink("/dev/null", path);
    EXPECT_FALSE(TcOpenTraceFile());
    EXPECT_EQ(std::filesystem::read_symlink(path), "/dev/null");
}

} // namespace
