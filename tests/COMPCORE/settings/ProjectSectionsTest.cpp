// The sections of a project file, read and written back: "COMM" with the communication record
// handed whole to the target link, "Targetless Compile" through the board-parameter string, the
// compiler and debugger sections, the file locations, and the compiler half of the hand-over.
#include "ProjectFixture.h"

#include <filesystem>
#include <fstream>

#include "core/CC_ER.h"
#include "driver/CC_GO.h"
#include "core/guiInterface.h"

namespace fs = std::filesystem;

namespace {

class ProjectSections : public ProjectFixture {};

// A record whose every field differs from the defaults, so a load must set each.
TCOptionsType scrambled_record()
{
    TCOptionsType r;
    r.serial_response_timeout = r.tcp_response_timeout = r.serial_poll_period = 77;
    r.tcp_poll_period = r.serial_retry_count = r.tcp_retry_count = r.com_port = 77;
    r.baud_rate = r.stop_bits = r.max_download_baud = r.disable_baud_negotiation = 77;
    r.pilot_bios_address = r.flash_erase_timeout = r.link_kind = r.verify_dsr = 77;
    (void)set_comm_text(r.network_address, "9.9.9.9");
    r.control_port = 77;
    (void)set_comm_text(r.controller_name, "old");
    return r;
}

}  // namespace

// ---- "COMM" -------------------------------------------------------------------------------------

TEST_F(ProjectSections, NoCommSectionGivesTheDefaultsSentWhole)
{
    gProjectCommDefaults = scrambled_record();
    target.settings = scrambled_record();
    target.settings.dtr_control = 5;
    load_text("[Other]\nx=1\n");
    EXPECT_TRUE(target.settings == TCOptionsType{}) << "the whole record, line controls included";
    EXPECT_EQ(target.settings.com_port, 1u);
    EXPECT_EQ(target.settings.pilot_bios_address, 0x4000u);
    EXPECT_EQ(target.loader_rates, (std::array<uint32_t, 3>{2400, 57600, 115200}));
    EXPECT_EQ(target.usb_serial, 0);
    EXPECT_EQ(target.usb_serial_delay, 2000u);
    const TIdePreferences &p = IdePreferences();
    EXPECT_EQ(p.serial_port, "COM1");
    EXPECT_EQ(p.bios_baud_rate, "115200");
    EXPECT_EQ(p.stop_bits, "2");
    EXPECT_EQ(p.serial_timeout, "200");
    EXPECT_EQ(p.network_timeout, "8000");
    EXPECT_EQ(p.serial_poll_interval, "3000");
    EXPECT_EQ(p.network_poll_interval, "30000");
    EXPECT_EQ(p.serial_retries, "10");
    EXPECT_EQ(p.network_retries, "0");
    EXPECT_EQ(p.max_baud_rate, "460800");
    EXPECT_EQ(p.tcp_port, "0");
    EXPECT_FALSE(p.use_tcpip);
    EXPECT_TRUE(p.verify_dsr);
    EXPECT_EQ(p.comm_text_1, "0");
    EXPECT_EQ(p.serial_port_list, "COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8");
}

TEST_F(ProjectSections, CommValuesReachTheTargetLinkAndTheSettings)
{
    load_text("[COMM]\nport=3\nbios baud=57600\ncoldload baud=9600\nuse TCP=1\nTCP Port=4244\n"
              "Net Address=10.0.0.2\nTCP Name=bench board\nUse USB to Serial Converter=5\n"
              "USB to Serial Delay=300\nport list=COM3,COM9\nVerify DSR=0\n");
    EXPECT_EQ(target.settings.com_port, 3u);
    EXPECT_EQ(target.settings.baud_rate, 57600u);
    EXPECT_EQ(target.settings.control_port, 4244);
    EXPECT_EQ(comm_text(target.settings.network_address), "10.0.0.2");
    EXPECT_EQ(comm_text(target.settings.controller_name), "bench board");
    EXPECT_EQ(target.loader_rates, (std::array<uint32_t, 3>{9600, 57600, 57600}))
        << "\"bios baud\" is also the third loader rate";
    EXPECT_EQ(target.usb_serial, 1);
    EXPECT_EQ(target.usb_serial_delay, 300u);
    const TIdePreferences &p = IdePreferences();
    EXPECT_EQ(p.serial_port, "COM3");
    EXPECT_TRUE(p.use_tcpip);
    EXPECT_FALSE(p.verify_dsr);
    EXPECT_EQ(p.network_address, "10.0.0.2");
    EXPECT_EQ(p.tcp_name, "bench board");
    EXPECT_EQ(p.tcp_port, "4244");
    EXPECT_EQ(p.serial_port_list, "COM3,COM9");
}

namespace {

struct CommKeyCase {
    const char *name;
    const char *key;
    const char *text;
    uint32_t TCOptionsType::*field;
    uint32_t read;
    const char *written;
};

const CommKeyCase kCommKeys[] = {
    {"one_stop_bit_is_code_0", "stop bits", "1", &TCOptionsType::stop_bits, 0, "0"},
    {"two_stop_bits", "stop bits", "2", &TCOptionsType::stop_bits, 2, "2"},
    {"pilot_address_in_hex", "Pilot Bios Physical Address", "0x8000",
     &TCOptionsType::pilot_bios_address, 32768, "0x8000"},
    {"pilot_address_in_decimal", "Pilot Bios Physical Address", "16384",
     &TCOptionsType::pilot_bios_address, 16384, "0x4000"},
    {"port", "port", "3", &TCOptionsType::com_port, 3, "3"},
    {"not_a_number_is_the_default", "Serial Response Timeout", "12abc",
     &TCOptionsType::serial_response_timeout, 200, "200"},
    {"erase_time_out", "Flash erase timeout", "20000", &TCOptionsType::flash_erase_timeout, 20000,
     "20000"},
};

class CommKey : public ProjectFixture, public ::testing::WithParamInterface<CommKeyCase> {};

}  // namespace

TEST_P(CommKey, ReadsAndWritesBack)
{
    const CommKeyCase &c = GetParam();
    const std::string path = write("p.kxp", crlf("[COMM]\n" + std::string(c.key) + "=" + c.text +
                                                 "\n"));
    load(path);
    EXPECT_EQ(gProjectCommDefaults.*c.field, c.read);
    EXPECT_EQ(target.settings.*c.field, c.read);
    EXPECT_TRUE(gProject->WriteComm());
    EXPECT_EQ(key(path, "COMM", c.key), c.written);
}

INSTANTIATE_TEST_SUITE_P(All, CommKey, ::testing::ValuesIn(kCommKeys),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ProjectSections, WriteCommWritesWhatTheTargetLinkHolds)
{
    const std::string path = write("p.kxp", crlf("[COMM]\nport=1\n"));
    load(path);
    target.settings.com_port = 4;
    (void)set_comm_text(target.settings.controller_name, "new name");
    target.loader_rates = {1200, 2400, 4800};
    target.usb_serial = 1;
    target.usb_serial_delay = 150;
    EXPECT_TRUE(gProject->WriteComm());
    EXPECT_EQ(key(path, "COMM", "port"), "4");
    EXPECT_EQ(key(path, "COMM", "TCP Name"), "new name");
    EXPECT_EQ(key(path, "COMM", "coldload baud"), "1200");
    EXPECT_EQ(key(path, "COMM", "bios baud"), "4800");
    EXPECT_EQ(key(path, "COMM", "Use USB to Serial Converter"), "1");
    EXPECT_EQ(key(path, "COMM", "USB to Serial Delay"), "150");
}

namespace {

struct RefusedCommCase {
    const char *name;
    const char *key;
    std::string text;
    const char *reason;
};

const RefusedCommCase kRefusedComm[] = {
    {"port_beyond_16_bits", "TCP Port", "70000", "a TCP port lies between 0 and 65535."},
    {"negative_port", "TCP Port", "-1", "a TCP port lies between 0 and 65535."},
    {"address_of_16_characters", "Net Address", "192.168.100.1000",
     "a network address has at most 15 characters."},
    {"name_of_256_characters", "TCP Name", std::string(256, 'n'),
     "a controller name has at most 255 characters."},
};

class RefusedComm : public ProjectFixture,
                    public ::testing::WithParamInterface<RefusedCommCase> {};

}  // namespace

// Never cut or wrapped: the default is used, the user is told, and the file keeps the text
// until the setting is changed.
TEST_P(RefusedComm, IsReportedAndKeptInTheFile)
{
    const RefusedCommCase &c = GetParam();
    std::string lines;
    for (const char *k : {"TCP Port", "Net Address", "TCP Name"})
        lines += std::string(k) + "=" + (k == std::string(c.key) ? c.text : "1") + "\n";
    const std::string path = write("p.kxp", crlf("[COMM]\n" + lines));
    load(path);
    const std::string used = std::string(c.key) == "TCP Port" ? "0" : "";
    ASSERT_EQ(boxes().size(), 1u) << box_texts();
    EXPECT_EQ(boxes()[0].caption, "Warning");
    EXPECT_EQ(boxes()[0].text, "The project file " + path + " holds \"" + c.text + "\" for \"" +
                                   c.key + "\" in section \"COMM\", which cannot be used: " +
                                   c.reason + "\nThe project uses \"" + used +
                                   "\" instead; the file keeps its text until the setting is "
                                   "changed.");
    const TCOptionsType &r = target.settings;
    const std::string now = std::string(c.key) == "TCP Port" ? std::to_string(r.control_port)
                            : std::string(c.key) == "Net Address" ? comm_text(r.network_address)
                                                                  : comm_text(r.controller_name);
    EXPECT_EQ(now, used);

    gProject->Save();
    EXPECT_EQ(key(path, "COMM", c.key), c.text) << "kept while unchanged";
    EXPECT_EQ(boxes().size(), 1u);
    const std::string copy = (dir / "copy.kxp").string();
    gProject->SaveAs(copy);
    EXPECT_EQ(key(copy, "COMM", c.key), used) << "another file gets the value in use";
    EXPECT_EQ(key(path, "COMM", c.key), c.text);
    gProject = std::make_unique<TKXProject>(path);
    ASSERT_TRUE(gProject->CheckWritable());
    target.settings.control_port = 80;
    (void)set_comm_text(target.settings.network_address, "10.1.1.1");
    (void)set_comm_text(target.settings.controller_name, "renamed");
    gProject->Save();
    EXPECT_NE(key(path, "COMM", c.key), c.text) << "a changed setting is written";
}

INSTANTIATE_TEST_SUITE_P(All, RefusedComm, ::testing::ValuesIn(kRefusedComm),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ProjectSections, TextsThatJustFitAreTaken)
{
    const std::string name(255, 'n');
    load_text("[COMM]\nNet Address=192.168.100.100\nTCP Name=" + name + "\nTCP Port=65535\n");
    EXPECT_EQ(comm_text(target.settings.network_address), "192.168.100.100");
    EXPECT_EQ(comm_text(target.settings.controller_name), name);
    EXPECT_EQ(target.settings.control_port, 65535);
    EXPECT_EQ(box_texts(), "");
}

// ---- "Targetless Compile" -----------------------------------------------------------------------

TEST_F(ProjectSections, NoTargetlessSectionGivesTheDefaultBoard)
{
    gBoardParameters = {1, 2, 3, 4, 5, "x"};
    load_text("[COMM]\n");
    EXPECT_EQ(gBoardParameters.boardType, 257u);
    EXPECT_EQ(gBoardParameters.cpuId, 0);
    EXPECT_EQ(gBoardParameters.crystalSpeed, 29491200u);
    EXPECT_EQ(gBoardParameters.ramSize, 128);
    EXPECT_EQ(gBoardParameters.flashSize, 256);
    EXPECT_EQ(gBoardParameters.description, kDefaultBoardDescription);
}

namespace {

struct TargetlessCase {
    const char *name;
    const char *keys;  // lines of the section
    BoardParameters read;
    const char *written;  // the section's keys after WriteTargetless, one per line
};

const TargetlessCase kTargetless[] = {
    {"hex_board_id", "Board ID=0x0a10\n", {2576, 0, 29491200, 128, 256, kDefaultBoardDescription},
     "Board ID=0x0a10\nCPU ID=2000\nCPU Revision=0\nCrystal Speed MHz=29.4912\n"
     "RAM Size KBytes=128\nFlash Size KBytes=256\n"},
    {"v3000_revision_1", "CPU ID=3000\nCPU Revision=1\n",
     {257, 0x101, 29491200, 128, 256, kDefaultBoardDescription},
     "Board ID=0x0101\nCPU ID=3000\nCPU Revision=1\nCrystal Speed MHz=29.4912\n"
     "RAM Size KBytes=128\nFlash Size KBytes=256\n"},
    {"crystal_22_1184", "Crystal Speed MHz=22.1184\nRAM Size KBytes=512\nDescription=mine\n",
     {257, 0, 22118400, 512, 256, "mine"},
     "Board ID=0x0101\nCPU ID=2000\nCPU Revision=0\nCrystal Speed MHz=22.1184\n"
     "RAM Size KBytes=512\nFlash Size KBytes=256\n"},
    {"crystal_rounds_to_hz", "Crystal Speed MHz=  7.37280049\n",
     {257, 0, 7372800, 128, 256, kDefaultBoardDescription},
     "Board ID=0x0101\nCPU ID=2000\nCPU Revision=0\nCrystal Speed MHz=7.3728\n"
     "RAM Size KBytes=128\nFlash Size KBytes=256\n"},
};

class Targetless : public ProjectFixture, public ::testing::WithParamInterface<TargetlessCase> {};

}  // namespace

TEST_P(Targetless, ReadsAndWritesBack)
{
    const TargetlessCase &c = GetParam();
    const std::string path = write("p.kxp", crlf("[Targetless Compile]\n" + std::string(c.keys)));
    load(path);
    EXPECT_EQ(gBoardParameters.boardType, c.read.boardType);
    EXPECT_EQ(gBoardParameters.cpuId, c.read.cpuId);
    EXPECT_EQ(gBoardParameters.crystalSpeed, c.read.crystalSpeed);
    EXPECT_EQ(gBoardParameters.ramSize, c.read.ramSize);
    EXPECT_EQ(gBoardParameters.flashSize, c.read.flashSize);
    EXPECT_EQ(gBoardParameters.description, c.read.description);
    gProject->WriteTargetless();
    std::string written;
    for (const char *k : {"Board ID", "CPU ID", "CPU Revision", "Crystal Speed MHz",
                          "RAM Size KBytes", "Flash Size KBytes"})
        written += std::string(k) + "=" + key(path, "Targetless Compile", k) + "\n";
    EXPECT_EQ(written, c.written);
    EXPECT_EQ(box_texts(), "");
}

INSTANTIATE_TEST_SUITE_P(All, Targetless, ::testing::ValuesIn(kTargetless),
                         [](const auto &i) { return std::string(i.param.name); });

namespace {

struct BadBoardCase {
    const char *name;
    const char *key;
    const char *text;
    const char *used;
    const char *reason;
};

constexpr const char *kBadCrystal = "a crystal frequency is a number of MHz from 0 to 4294.967295.";
constexpr const char *kBadNumber = "it is not a number the board record can hold.";

const BadBoardCase kBadBoards[] = {
    {"crystal_of_letters", "Crystal Speed MHz", "fast", "29.4912", kBadCrystal},
    {"crystal_beyond_32_bits_of_hz", "Crystal Speed MHz", "4294.9673", "29.4912", kBadCrystal},
    {"crystal_below_0", "Crystal Speed MHz", "-1", "29.4912", kBadCrystal},
    {"crystal_infinite", "Crystal Speed MHz", "inf", "29.4912", kBadCrystal},
    {"negative_board_id", "Board ID", "-5", "0x0101", kBadNumber},
    {"ram_beyond_32_bits", "RAM Size KBytes", "0xFFFFFFFF", "128", kBadNumber},
    // Text after the number: the board string would read it as the separator and blame the next
    // field, which once made the load retry without end.
    {"crystal_with_a_letter_after", "Crystal Speed MHz", "29.4912x", "29.4912", kBadCrystal},
    {"board_id_of_letters", "Board ID", "abc", "0x0101", kBadNumber},
    // Saved back as 9000: the record holds model numbers in steps of 1000.
    {"cpu_id_not_a_model_number", "CPU ID", "9999", "2000", kBadNumber},
    {"cpu_id_below_2000", "CPU ID", "1000", "2000", kBadNumber},
    {"cpu_revision_past_a_byte", "CPU Revision", "300", "0", kBadNumber},
    {"flash_of_letters", "Flash Size KBytes", "lots", "256", kBadNumber},
};

class BadBoard : public ProjectFixture, public ::testing::WithParamInterface<BadBoardCase> {};

}  // namespace

// A field that cannot be used takes the default board's value; the other fields keep the file's
// values (no board mixed from two projects), the user is told, the file keeps the text.
TEST_P(BadBoard, TakesTheDefaultForThatFieldAlone)
{
    const BadBoardCase &c = GetParam();
    gBoardParameters = {9, 9, 9, 9, 9, "old"};
    std::string lines;
    for (const auto &[k, v] : {std::pair<std::string, const char *>{"Board ID", "0x2100"},
                               {"CPU ID", "3000"}, {"CPU Revision", "1"},
                               {"Crystal Speed MHz", "22.1184"}, {"RAM Size KBytes", "512"},
                               {"Flash Size KBytes", "1024"}})
        lines += k + "=" + (k == c.key ? c.text : v) + "\n";
    const std::string path = write("p.kxp", crlf("[Targetless Compile]\n" + lines));
    ::testing::internal::CaptureStdout();
    load(path);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "") << "each key is checked before the board string is made";
    BoardParameters want{0x2100, 0x101, 22118400, 512, 1024, kDefaultBoardDescription};
    const std::string key_name = c.key;
    if (key_name == "Crystal Speed MHz")
        want.crystalSpeed = 29491200;
    if (key_name == "Board ID")
        want.boardType = 257;
    if (key_name == "CPU ID")
        want.cpuId = 0x001;  // 2000 with the file's revision 1
    if (key_name == "CPU Revision")
        want.cpuId = 0x100;  // 3000 with revision 0
    if (key_name == "RAM Size KBytes")
        want.ramSize = 128;
    if (key_name == "Flash Size KBytes")
        want.flashSize = 256;
    EXPECT_TRUE(gBoardParameters == want)
        << gBoardParameters.boardType << " " << gBoardParameters.cpuId << " "
        << gBoardParameters.crystalSpeed << " " << gBoardParameters.ramSize << " "
        << gBoardParameters.flashSize;
    ASSERT_EQ(boxes().size(), 1u) << box_texts();
    EXPECT_EQ(boxes()[0].text, "The project file " + path + " holds \"" + c.text + "\" for \"" +
                                   c.key + "\" in section \"Targetless Compile\", which cannot be "
                                   "used: " + c.reason + "\nThe project uses \"" + c.used +
                                   "\" instead; the file keeps its text until the setting is "
                                   "changed.");
    gProject->Save();
    EXPECT_EQ(key(path, "Targetless Compile", c.key), c.text);
}

INSTANTIATE_TEST_SUITE_P(All, BadBoard, ::testing::ValuesIn(kBadBoards),
                         [](const auto &i) { return std::string(i.param.name); });

// Every key bad at once: the default board, and each key named once in the one box.
TEST_F(ProjectSections, EveryBoardKeyBadIsEachReportedOnceByItsOwnName)
{
    const std::string path = write(
        "p.kxp", crlf("[Targetless Compile]\nBoard ID=x\nCPU ID=y\nCPU Revision=z\n"
                      "Crystal Speed MHz=1x\nRAM Size KBytes=r\nFlash Size KBytes=f\n"));
    load(path);
    EXPECT_TRUE(gBoardParameters ==
                (BoardParameters{257, 0, 29491200, 128, 256, kDefaultBoardDescription}));
    ASSERT_EQ(boxes().size(), 1u) << box_texts();
    const std::string &text = boxes()[0].text;
    for (const char *k : {"Board ID", "CPU ID", "CPU Revision", "Crystal Speed MHz",
                          "RAM Size KBytes", "Flash Size KBytes"}) {
        const std::string named = "\" for \"" + std::string(k) + "\" in section";
        const std::size_t first = text.find(named);
        EXPECT_NE(first, std::string::npos) << k << "\n" << text;
        EXPECT_EQ(text.find(named, first + 1), std::string::npos) << k << " twice\n" << text;
    }
}

namespace {

struct BoardStringCase {
    const char *name;
    const char *text;
    const char *bad;  // "" when the parse succeeds
    BoardParameters parsed;
};

const BoardParameters kBefore{1, 2, 3, 4, 5, "before"};

const BoardStringCase kBoardStrings[] = {
    {"defaults", "257:2000r0:29.4912:128:256", "", {257, 0, 29491200, 128, 256, "before"}},
    {"hex_board_type", "0x101:3000r1:22.1184:512:1024", "",
     {257, 0x101, 22118400, 512, 1024, "before"}},
    {"upper_revision_letter", "5:3000R2:1:2:3", "", {5, 0x102, 1000000, 2, 3, "before"}},
    {"no_revision", "5:3000:1:2:3", "", {5, 0x100, 1000000, 2, 3, "before"}},
    {"any_separator", "5/2000r1 1.5,2;3", "", {5, 1, 1500000, 2, 3, "before"}},
    {"board_without_digits", "x:2000r0:1:2:3", "boardType", kBefore},
    {"ends_before_the_cpu", "257", "cpuId", kBefore},
    {"crystal_of_letters", "257:2000r0:abc:128:256", "crystalSpeed", kBefore},
    {"empty_ram", "257:2000r0:29.4912::256", "ramSize", kBefore},
    {"ends_before_the_flash", "257:2000r0:29.4912:128", "flashSize", kBefore},
    {"cpu_number_beyond_32_bits", "257:99999999999r0:1:2:3", "cpuId", kBefore},
};

class BoardString : public ::testing::TestWithParam<BoardStringCase> {};

}  // namespace

TEST_P(BoardString, ParsesIntoTheRecordOrLeavesIt)
{
    const BoardStringCase &c = GetParam();
    BoardParameters record = kBefore;
    std::string bad;
    ::testing::internal::CaptureStdout();
    const bool ok = ParseBoardParameters(c.text, record, &bad);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(ok, *c.bad == '\0');
    EXPECT_EQ(bad, c.bad);
    EXPECT_EQ(out, ok ? "" : "RTI PARAMETERS ERROR: " + std::string(c.bad) + "\n");
    EXPECT_TRUE(record == c.parsed) << record.boardType << " " << record.cpuId << " "
                                    << record.crystalSpeed << " " << record.ramSize << " "
                                    << record.flashSize;
}

INSTANTIATE_TEST_SUITE_P(All, BoardString, ::testing::ValuesIn(kBoardStrings),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- "Compiler Options" and the compiler half of the hand-over ----------------------------------

namespace {

constexpr const char *kBadMaximum = "a maximum of messages shown is a number from 0 to 32767.";
constexpr const char *kBadLetter =
    "the warning level is \"A\" (all warnings), \"S\" (serious only) or \"N\" (none).";

// Values that a save would once have rewritten without a word (-1 as 0, ZZZ as N).
const BadBoardCase kBadCompilerValues[] = {
    {"max_errors_negative", "Max Errors Shown", "-1", "10", kBadMaximum},
    {"max_errors_past_16_bits", "Max Errors Shown", "40000", "10", kBadMaximum},
    {"max_warnings_of_letters", "Max Warnings Shown", "many", "10", kBadMaximum},
    {"warning_letter_unknown", "All Serious None", "ZZZ", "N", kBadLetter},
};

class BadCompilerValue : public ProjectFixture,
                         public ::testing::WithParamInterface<BadBoardCase> {};

}  // namespace

TEST_P(BadCompilerValue, IsReportedOnceAndTheFileKeepsItsText)
{
    const BadBoardCase &c = GetParam();
    const std::string path = write(
        "p.kxp", crlf("[Compiler Options]\n" + std::string(c.key) + "=" + c.text + "\n"));
    load(path);
    ASSERT_EQ(boxes().size(), 1u) << box_texts();
    EXPECT_EQ(boxes()[0].text, "The project file " + path + " holds \"" + c.text + "\" for \"" +
                                   c.key + "\" in section \"Compiler Options\", which cannot be "
                                   "used: " + c.reason + "\nThe project uses \"" + c.used +
                                   "\" instead; the file keeps its text until the setting is "
                                   "changed.");
    gProject->Save();
    EXPECT_EQ(key(path, "Compiler Options", c.key), c.text);
}

INSTANTIATE_TEST_SUITE_P(All, BadCompilerValue, ::testing::ValuesIn(kBadCompilerValues),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ProjectSections, WarningMaximumIsHeldInTwoHalves)
{
    const std::string path =
        write("p.kxp", crlf("[Compiler Options]\nMax Errors Shown=4\nMax Warnings Shown=7\n"));
    load(path);
    EXPECT_EQ(max_errors_shown(), 4);
    EXPECT_EQ(max_warnings_shown_halves(), (std::pair<int, int>{3, 4}));
    write("p.kxp", "");
    gProject->WriteMaxErrors();
    EXPECT_EQ(key(path, "Compiler Options", "Max Warnings Shown"), "7");
    EXPECT_EQ(key(path, "Compiler Options", "Max Errors Shown"), "4");
}

namespace {

struct WarningCase {
    const char *name;
    const char *line;  // "" for a missing key
    int level;
};

const WarningCase kWarnings[] = {
    {"serious", "All Serious None=S\n", 1}, {"serious_lower", "All Serious None=s\n", 1},
    {"all_lower", "All Serious None=a\n", 2}, {"other_letter_is_none", "All Serious None=X\n", 0},
    {"none", "All Serious None=None\n", 0}, {"missing_is_all", "", 2},
    {"empty_is_all", "All Serious None=\n", 2},
};

class WarningLetter : public ProjectFixture, public ::testing::WithParamInterface<WarningCase> {};

}  // namespace

TEST_P(WarningLetter, GivesTheLevelAndOneFlag)
{
    load_text("[Compiler Options]\n" + std::string(GetParam().line));
    const int level = GetParam().level;
    EXPECT_EQ(compiler_options().warning_level, level);
    EXPECT_EQ(IdePreferences().warn_all, level == 2);
    EXPECT_EQ(IdePreferences().warn_serious, level == 1);
    EXPECT_EQ(IdePreferences().warn_none, level == 0);
}

INSTANTIATE_TEST_SUITE_P(All, WarningLetter, ::testing::ValuesIn(kWarnings),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ProjectSections, OptionsTheProjectDoesNotOwnKeepTheCompilersValues)
{
    CompilerOptions &o = compiler_options();
    o.option4 = 1;
    o.lit = 1234;
    o.mac = 56;
    o.sym = 789;
    o.hex_output = 1;
    load_text("[Compiler Options]\nGenerate List Files=1\nOptimize For Size=1\nRTC Pointers=0\n"
              "Demotion=0\nSeparate Instruction and Data=1\nInline Internal IO Functions=0\n");
    EXPECT_EQ(o.option4, 1);
    EXPECT_EQ(o.lit, 1234);
    EXPECT_EQ(o.mac, 56);
    EXPECT_EQ(o.sym, 789);
    EXPECT_EQ(o.hex_output, 1);
    EXPECT_EQ(o.list_files, 1);
    EXPECT_EQ(o.optimize_size, 1);
    EXPECT_EQ(o.rtc_indices, 1);
    EXPECT_EQ(o.rtc_pointers, 0);
    EXPECT_EQ(o.type_check.prototypes, 1);
    EXPECT_EQ(o.type_check.pointers, 1);
    EXPECT_EQ(o.type_check.demotion, 0);
    EXPECT_EQ(o.separate_id, 1);
    EXPECT_EQ(o.inline_io, 0);
    EXPECT_TRUE(IdePreferences().optimize_size);
    EXPECT_FALSE(IdePreferences().rtc_pointers);
    EXPECT_FALSE(IdePreferences().type_demotion);
}

TEST_F(ProjectSections, CompilerOptionsAreWrittenFromTheCompiler)
{
    const std::string path = write("p.kxp", crlf("[Compiler Options]\nDefault Compile Mode=5\n"
                                                 "Generate List Files=1\n"));
    load(path);
    const TIdePreferences &p = IdePreferences();
    EXPECT_FALSE(p.compile_to_target || p.compile_targetless_to_bin || p.compile_to_bin_with_target)
        << "an unknown mode selects none";
    compiler_options().warning_level = 1;
    compiler_options().type_check.pointers = 7;
    gProject->WriteCompilerOptions();
    EXPECT_EQ(key(path, "Compiler Options", "All Serious None"), "S");
    EXPECT_EQ(key(path, "Compiler Options", "Default Compile Mode"), "2");
    EXPECT_EQ(key(path, "Compiler Options", "Generate List Files"), "1");
    EXPECT_EQ(key(path, "Compiler Options", "Pointers"), "1");
    EXPECT_EQ(key(path, "Compiler Options", "Max Warnings Shown"), "10")
        << "the maximums, BIOS memory mode, watch restriction and files follow";
    EXPECT_EQ(key(path, "Compiler Options", "BIOS Memory Mode"), "0");
    EXPECT_EQ(key(path, "Korvex Files", "Use BIOS File"), "0");
}

namespace {

struct CompileModeCase {
    const char *name;
    int mode;
    bool to_target, targetless_to_bin, to_bin_with_target;
};

const CompileModeCase kModes[] = {
    {"to_target", 0, true, false, false},
    {"targetless_to_bin", 1, false, true, false},
    {"to_bin_with_target", 2, false, false, true},
};

class CompileMode : public ProjectFixture, public ::testing::WithParamInterface<CompileModeCase> {};

}  // namespace

TEST_P(CompileMode, SelectsOneFlagAndIsWrittenBack)
{
    const CompileModeCase &c = GetParam();
    const std::string path = write("p.kxp", crlf("[Compiler Options]\nDefault Compile Mode=" +
                                                 std::to_string(c.mode) + "\n"));
    load(path);
    const TIdePreferences &p = IdePreferences();
    EXPECT_EQ(p.compile_to_target, c.to_target);
    EXPECT_EQ(p.compile_targetless_to_bin, c.targetless_to_bin);
    EXPECT_EQ(p.compile_to_bin_with_target, c.to_bin_with_target);
    write("p.kxp", "");
    gProject->WriteCompilerOptions();
    EXPECT_EQ(key(path, "Compiler Options", "Default Compile Mode"), std::to_string(c.mode));
}

INSTANTIATE_TEST_SUITE_P(All, CompileMode, ::testing::ValuesIn(kModes),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- "Debug Options" and the one-key sections --------------------------------------------------

TEST_F(ProjectSections, AFileOfTheProgramsOwnGivesTheTraceDefaults)
{
    TIdePreferences &p = IdePreferences();
    p.enable_tracing = p.tracing = p.trace_info_repeat = p.enable_trace_buf_wrap = true;
    p.watch_memory = 99;
    p.trace_buf_size = 99;
    p.trace_info_func = false;
    p.trace_auto_save_file = "old.trc";
    const std::string path = (dir / "p.kxp").string();
    gProject = std::make_unique<TKXProject>(path);
    ASSERT_TRUE(gProject->Update());
    EXPECT_FALSE(p.enable_tracing);
    EXPECT_FALSE(p.tracing);
    EXPECT_FALSE(p.trace_info_repeat);
    EXPECT_FALSE(p.enable_trace_buf_wrap);
    EXPECT_TRUE(p.trace_info_func);
    EXPECT_EQ(p.watch_memory, 512);
    EXPECT_EQ(p.trace_buf_size, 8);
    EXPECT_EQ(p.trace_auto_save_file, "");
    EXPECT_EQ(std::count(target.calls.begin(), target.calls.end(), "SetTraceOptions"), 0);
}

TEST_F(ProjectSections, DebugOptionsReadAndWritten)
{
    const std::string path =
        write("p.kxp", crlf("[Debug Options]\nEnable Breakpoints=7\nMax Breakpoints=40\n"
                            "Enable Watch Expressions=0\nEnable Tracing=1\nTrace Buf Size=2\n"
                            "Trace Info Line/Col=0\nTrace Auto Save File=run.trc\n"));
    load(path);
    const TIdePreferences &p = IdePreferences();
    EXPECT_TRUE(p.enable_breakpoints);
    EXPECT_FALSE(p.enable_watch_expressions);
    EXPECT_EQ(p.max_breakpoints, 40);
    EXPECT_TRUE(p.enable_tracing);
    EXPECT_EQ(p.trace_buf_size, 2);
    EXPECT_FALSE(p.trace_info_line_col);
    EXPECT_EQ(p.trace_auto_save_file, "run.trc");
    EXPECT_EQ(std::count(target.calls.begin(), target.calls.end(), "SetTraceOptions"), 1)
        << "tracing on: the trace store takes its options";
    gProject->WriteDebugOptions();
    EXPECT_EQ(key(path, "Debug Options", "Enable Breakpoints"), "1");
    EXPECT_EQ(key(path, "Debug Options", "Enable Watch Expressions"), "0");
    EXPECT_EQ(key(path, "Debug Options", "Trace Buf Size"), "2") << "trace keys are never written";
}

TEST_F(ProjectSections, OneKeySectionsAndTheFactoryProject)
{
    const std::string path = write("p.kxp", crlf("[Include RST 28]\nInclude RST=0\n[Include BIOS]\n"
                                                 "Include BIOS=0\n[Poll Target]\n"
                                                 "Poll target while running=0\n"));
    load(path);
    EXPECT_FALSE(IdePreferences().include_rst28);
    EXPECT_FALSE(IdePreferences().include_bios);
    EXPECT_FALSE(gPollEnabled);
    IdePreferences().include_bios = true;
    gPollEnabled = true;
    gProject->WriteIncludeBIOS();
    gProject->WritePollTarget();
    EXPECT_EQ(key(path, "Include BIOS", "Include BIOS"), "1");
    EXPECT_EQ(key(path, "Poll Target", "Poll target while running"), "1");

    gFactoryProjectPath = path;  // the same file as the factory project: never written
    IdePreferences().include_rst28 = true;
    gPollEnabled = false;
    gProject->WriteIncludeRST();
    gProject->WritePollTarget();
    EXPECT_EQ(key(path, "Include RST 28", "Include RST"), "0");
    EXPECT_EQ(key(path, "Poll Target", "Poll target while running"), "1");
}

// ---- files --------------------------------------------------------------------------------------

TEST_F(ProjectSections, LibrariesAndBiosFilesHandedToTheCompiler)
{
    set_program_directory(dir.string());
    write("mylib.dir", "");
    const std::string long_bios = "/very/" + std::string(300, 'b') + "/bios.c";
    const std::string path =
        write("p.kxp", crlf("[Korvex Files]\nUse Lib File=1\nLIB File=mylib.dir\n"
                            "Use BIOS File=1\nBIOS File=" + long_bios + "\n"));
    load(path);
    EXPECT_EQ(libraries_file(), (dir / "mylib.dir").string()) << "resolved in the program folder";
    EXPECT_EQ(IdePreferences().lib_file_name, "mylib.dir") << "the settings keep the text";
    EXPECT_EQ(bios_file(), long_bios) << "never cut";
    gProject->WriteFiles();
    EXPECT_EQ(key(path, "Korvex Files", "LIB File"), "mylib.dir");
}

namespace {

struct FileChoiceCase {
    const char *name;
    const char *lines;
    const char *libraries;  // below the program directory, or absolute
    const char *bios;
};

const FileChoiceCase kFileChoices[] = {
    {"defaults", "", "Lib.dir", "bios/Vireonbios.c"},
    {"use_bios_file_without_a_name", "Use BIOS File=1\nBIOS File=\n", "Lib.dir",
     "bios/Vireonbios.c"},
    {"names_without_use", "LIB File=/x/l.dir\nBIOS File=/x/b.c\n", "Lib.dir", "bios/Vireonbios.c"},
    {"both_used", "Use Lib File=1\nLIB File=/x/l.dir\nUse BIOS File=1\nBIOS File=/x/b.c\n",
     "/x/l.dir", "/x/b.c"},
    {"backslashes_in_a_name", "Use BIOS File=1\nBIOS File=C:\\bios\\b.c\n", "Lib.dir",
     "C:\\bios\\b.c"},
};

class FileChoice : public ProjectFixture, public ::testing::WithParamInterface<FileChoiceCase> {};

}  // namespace

TEST_P(FileChoice, PicksTheLibrariesListAndTheBiosFile)
{
    const FileChoiceCase &c = GetParam();
    load_text("[Korvex Files]\n" + std::string(c.lines));
    const auto where = [](const std::string &name) {
        return name[0] == '/' || name.find(':') != std::string::npos ? name
                                                                     : "/opt/korvex/" + name;
    };
    EXPECT_EQ(libraries_file(), where(c.libraries));
    EXPECT_EQ(bios_file(), where(c.bios));
}

INSTANTIATE_TEST_SUITE_P(All, FileChoice, ::testing::ValuesIn(kFileChoices),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(ProjectSections, LoaderImagesAndTheCompressionUtility)
{
    set_program_directory(dir.string());
    fs::create_directories(dir / "bios");
    write("bios/pilot2.bin", "");
    const std::string path =
        write("p.kxp", crlf("[Korvex Files]\nCold Loader File=\nPilot BIOS File=bios\\pilot2.bin\n"
                            "[Compression Utility]\nZimport External Utility=squeeze\n"));
    load(path);
    EXPECT_EQ(IdePreferences().cold_loader_file, "bios\\coldload.bin");
    EXPECT_EQ(IdePreferences().pilot_bios_file, "bios\\pilot2.bin");
    EXPECT_EQ(gZimportUtility, "squeeze");
    gZimportUtility = "other";
    gProject->WriteCompression();
    gProject->WriteFiles();
    EXPECT_EQ(key(path, "Compression Utility", "Zimport External Utility"), "other");
    EXPECT_EQ(key(path, "Korvex Files", "Cold Loader File"), "bios\\coldload.bin")
        << "named below the program directory, wherever that is";
}

// A loader image stored with the program directory of an earlier run: a path into the
// program directory is taken back to the name below it; an absolute path that names no file
// (the program moved) gives the default; a file of the user's elsewhere is kept.
TEST_F(ProjectSections, LoaderImagesKeepNoProgramFolder)
{
    set_program_directory(dir.string());
    fs::create_directories(dir / "bios");
    fs::create_directories(dir / "mine");
    write("mine/pilot.bin", "");
    const fs::path users = dir.parent_path() / (dir.filename().string() + "-users.bin");
    std::ofstream(users) << "";
    struct Case {
        std::string stored, read;
    };
    const Case cases[] = {
        {(dir / "bios" / "coldload.bin").string(), "bios/coldload.bin"},
        {(dir / "mine" / "pilot.bin").string(), "mine/pilot.bin"},
        {"/nowhere/moved/korvex/bios/coldload.bin", "bios\\coldload.bin"},
        {users.string(), users.string()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored);
        const std::string path =
            write("p.kxp", crlf("[Korvex Files]\nCold Loader File=" + c.stored + "\n"));
        load(path);
        EXPECT_EQ(IdePreferences().cold_loader_file, c.read);
    }
    fs::remove(users);
}
