// The option dialogs' rules without windows: port texts, the change test of the link settings,
// the link record the page builds, the TCP/IP entries, the counts as the trace page shows them,
// and the connection panel's text.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "settings/guiEnvOptions.h"

namespace {

struct PortCase {
    const char *name;
    const char *text;
    std::optional<int32_t> number;
};
void PrintTo(const PortCase &c, std::ostream *out) { *out << c.name; }
const PortCase kPorts[] = {
    {"Com4", "COM4", 4},
    {"LowerCase", "com9", 9},
    {"BareNumber", "4", 4},
    {"Blanks", "  COM12 ", 12},
    {"SixDigits", "COM123456", 123456},
    {"SevenDigitsAreNotCut", "COM1234567", std::nullopt},
    {"Letter", "COMx", std::nullopt},
    {"Zero", "COM0", std::nullopt},
    {"BareZero", "0", std::nullopt},
    {"Negative", "COM-1", std::nullopt},
    {"Empty", "", std::nullopt},
    {"PrefixAlone", "COM", std::nullopt},
    {"TrailingLetter", "COM4a", std::nullopt},
};
class ComPort : public ::testing::TestWithParam<PortCase> {};
TEST_P(ComPort, Number) { EXPECT_EQ(com_port_number(GetParam().text), GetParam().number); }
INSTANTIATE_TEST_SUITE_P(All, ComPort, ::testing::ValuesIn(kPorts),
                         [](const auto &i) { return std::string(i.param.name); });

// The page as it stands when nothing changed against this snapshot.
TCOptionsType snapshot()
{
    TCOptionsType s;
    s.com_port = 2;
    s.baud_rate = 115200;
    s.max_download_baud = 460800;
    s.stop_bits = 0;
    s.verify_dsr = 1;
    s.link_kind = 1;
    s.disable_baud_negotiation = 0;
    s.control_port = 4244;
    EXPECT_TRUE(set_comm_text(s.network_address, "10.0.0.7"));
    EXPECT_TRUE(set_comm_text(s.controller_name, "Lab"));
    return s;
}
CommPageValues unchanged_page()
{
    CommPageValues v;
    v.use_tcp = true;
    v.network_address = "10.0.0.7";
    v.controller_name = "Lab";
    v.control_port = "4244";
    v.port_number = "2";
    v.debug_baud = "115200";
    v.max_baud = "460800";
    v.stop_bits = "1";
    v.verify_dsr = true;
    return v;
}

struct ChangeCase {
    const char *name;
    std::function<void(CommPageValues &)> change;
    bool port_changed;
};
void PrintTo(const ChangeCase &c, std::ostream *out) { *out << c.name; }
const ChangeCase kChanges[] = {
    {"Port", [](CommPageValues &v) { v.port_number = "3"; }, true},
    {"DevicePath", [](CommPageValues &v) { v.device = "/dev/ttyUSB0"; }, true},
    {"DebugBaud", [](CommPageValues &v) { v.debug_baud = "57600"; }, false},
    {"MaxBaud", [](CommPageValues &v) { v.max_baud = "230400"; }, false},
    {"StopBits", [](CommPageValues &v) { v.stop_bits = "2"; }, false},
    {"Verification", [](CommPageValues &v) { v.verify_dsr = false; }, false},
    {"ConnectionType", [](CommPageValues &v) { v.use_tcp = false; }, false},
    {"Negotiation", [](CommPageValues &v) { v.disable_baud = true; }, false},
    {"Address", [](CommPageValues &v) { v.network_address = "10.0.0.70"; }, false},
    {"ControlPortText", [](CommPageValues &v) { v.control_port = "04244"; }, false},
    {"Usb", [](CommPageValues &v) { v.use_usb = true; }, false},
    {"ControllerNameLetterCase", [](CommPageValues &v) { v.controller_name = "lab"; }, false},
};
class CommChange : public ::testing::TestWithParam<ChangeCase> {};
TEST_P(CommChange, IsSeen)
{
    const TCOptionsType s = snapshot();
    EXPECT_FALSE(comm_settings_changed(unchanged_page(), s, false));
    CommPageValues page = unchanged_page();
    GetParam().change(page);
    EXPECT_TRUE(comm_settings_changed(page, s, false));
    EXPECT_EQ(comm_port_changed(page.port_number, s, page.device), GetParam().port_changed);
}
INSTANTIATE_TEST_SUITE_P(All, CommChange, ::testing::ValuesIn(kChanges),
                         [](const auto &i) { return std::string(i.param.name); });

// The Serial Port entry: "COM"+number, or the path of a character device; while TCP/IP is
// chosen nothing in the box is looked at.
struct SerialPortCase {
    const char *name;
    bool use_tcp;
    const char *text;
    std::optional<std::string> refusal;
};
void PrintTo(const SerialPortCase &c, std::ostream *out) { *out << c.name; }
const SerialPortCase kSerialPorts[] = {
    {"Com2", false, "COM2", std::nullopt},
    {"CharacterDevice", false, " /dev/null ", std::nullopt},
    {"Missing", false, "/dev/ttyKX404", "Serial port \"/dev/ttyKX404\" does not exist"},
    {"Folder", false, "/dev", "\"/dev\" is not a serial device (a character device)"},
    {"RegularFile", false, "/etc/hostname",
     "\"/etc/hostname\" is not a serial device (a character device)"},
    {"NeitherComNorPath", false, "ttyUSB0", "Expecting \"COM\"+number or a device path"},
    {"ControlCharacter", false, "/dev/null\n",
     "The serial port may hold no line break or other control character"},
    {"TooLong", false, nullptr, "The serial port's path is too long: at most 255 characters"},
    {"TcpIgnoresTheBox", true, "/dev/ttyKX404", std::nullopt},
    {"TcpIgnoresBadText", true, "COMx", std::nullopt},
};
class SerialPortEntry : public ::testing::TestWithParam<SerialPortCase> {};
TEST_P(SerialPortEntry, IsCheckedAsTyped)
{
    const SerialPortCase &c = GetParam();
    const std::string text = c.text ? c.text : "/dev/" + std::string(256, 'x');
    const std::optional<OptionsRefusal> refused = check_serial_port(c.use_tcp, text);
    ASSERT_EQ(refused.has_value(), c.refusal.has_value()) << (refused ? refused->text : "");
    if (refused) {
        EXPECT_EQ(refused->text, *c.refusal);
        EXPECT_EQ(refused->field, OptionsField::SerialPort);
    }
}
INSTANTIATE_TEST_SUITE_P(All, SerialPortEntry, ::testing::ValuesIn(kSerialPorts),
                         [](const auto &i) { return std::string(i.param.name); });

// A device path on the page names the line; the COM number stays as it was. A COM port clears
// the path.
TEST(CommRecord, ADevicePathKeepsTheComNumberForTheRecord)
{
    TCOptionsType current = snapshot();
    CommPageValues page = unchanged_page();
    page.device = "/dev/ttyACM0";
    page.port_number = "9";
    TCOptionsType r = comm_settings_from_page(page, current);
    EXPECT_EQ(comm_text(r.serial_device), "/dev/ttyACM0");
    EXPECT_EQ(r.com_port, 2u);
    EXPECT_EQ(serial_port_text(r), "/dev/ttyACM0");
    page.device.clear();
    r = comm_settings_from_page(page, r);
    EXPECT_EQ(comm_text(r.serial_device), "");
    EXPECT_EQ(r.com_port, 9u);
}

TEST(CommRecord, ThePageReplacesItsFieldsAndKeepsTheRest)
{
    TCOptionsType current = snapshot();
    current.serial_response_timeout = 321;
    current.pilot_bios_address = 0x5000;
    CommPageValues page = unchanged_page();
    page.port_number = "7";
    page.stop_bits = "2";
    page.control_port = "";
    page.controller_name = std::string(255, 'n');
    page.network_address = "192.168.100.200";
    const TCOptionsType r = comm_settings_from_page(page, current);
    EXPECT_EQ(r.com_port, 7u);
    EXPECT_EQ(r.stop_bits, 2u);
    EXPECT_EQ(r.control_port, 0);
    EXPECT_EQ(comm_text(r.controller_name), std::string(255, 'n'));
    EXPECT_EQ(comm_text(r.network_address), "192.168.100.200");
    EXPECT_EQ(r.serial_response_timeout, 321u);
    EXPECT_EQ(r.pilot_bios_address, 0x5000u);
}

struct TcpCase {
    const char *name;
    bool tcp;
    const char *address, *port, *controller;
    std::optional<OptionsField> refused;
};
void PrintTo(const TcpCase &c, std::ostream *out) { *out << c.name; }
const TcpCase kTcp[] = {
    {"Complete", true, "10.0.0.7", "4244", "Lab", std::nullopt},
    {"HighestPort", true, "10.0.0.7", "65535", "", std::nullopt},
    {"PortZeroOverTcp", true, "10.0.0.7", "0", "", OptionsField::ControlPort},
    {"PortZeroOverSerial", false, "", "0", "", std::nullopt},
    {"EmptyOverSerial", false, "", "", "", std::nullopt},
    {"PortBeyond", false, "", "65536", "", OptionsField::ControlPort},
    {"PortNegative", false, "", "-1", "", OptionsField::ControlPort},
    {"AddressFifteen", false, "255.255.255.255", "", "", std::nullopt},
    {"AddressSixteen", false, "255.255.255.2550", "", "", OptionsField::NetworkAddress},
    {"TabInName", false, "", "", "a\tb", OptionsField::ControllerName},
};
class TcpEntries : public ::testing::TestWithParam<TcpCase> {};
TEST_P(TcpEntries, Refusal)
{
    const TcpCase &c = GetParam();
    const auto refused = check_tcp_entries(c.tcp, c.address, c.port, c.controller);
    EXPECT_EQ(refused ? std::optional(refused->field) : std::nullopt, c.refused);
}
INSTANTIATE_TEST_SUITE_P(All, TcpEntries, ::testing::ValuesIn(kTcp),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(EnvOptionsCounts, ThousandsAndBreakpointSteps)
{
    EXPECT_EQ(group_thousands(0), "0");
    EXPECT_EQ(group_thousands(999), "999");
    EXPECT_EQ(group_thousands(1000), "1,000");
    EXPECT_EQ(group_thousands(64246723), "64,246,723");
    EXPECT_EQ(group_thousands(4294967295u), "4,294,967,295");

    // Every power of two walked up and back down, by one step at a time.
    TBreakpointSteps steps(2);
    for (int32_t expected = 4; expected <= 256; expected *= 2)
        EXPECT_EQ(steps.Change(steps.Value() + 1), expected);
    EXPECT_EQ(steps.Change(257), 256);
    for (int32_t expected = 128; expected >= 2; expected /= 2)
        EXPECT_EQ(steps.Change(steps.Value() - 1), expected);
    EXPECT_EQ(steps.Change(1), 2);
    EXPECT_EQ(steps.Change(2), 2) << "an unchanged value stays";
}

TEST(EnvOptionsCounts, ConnectionPanel)
{
    TCOptionsType s = snapshot();
    EXPECT_EQ(connection_panel_text(s), "10.0.0.7: 4244");
    s.link_kind = 0;
    EXPECT_EQ(connection_panel_text(s), "COM2: 115200");
    ASSERT_TRUE(set_comm_text(s.serial_device, "/dev/pts/3"));
    EXPECT_EQ(connection_panel_text(s), "/dev/pts/3: 115200");
}

} // namespace
