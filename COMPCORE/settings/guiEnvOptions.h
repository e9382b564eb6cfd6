// guiEnvOptions: the rules of the Project Options dialog and of the Advanced Compiler Options
// dialog that need no window: what the dialog refuses on OK and with which message, how a port
// text becomes a COM port number, whether the communication settings or the port changed, the
// link record the Communications page builds, the power-of-two steps of the breakpoint limit, the
// split of the message limits, the help topic of each page, the trace capacity as the page
// shows it, and the BIOS and libraries list files a project's choices give.
//
// The dialogs (GUI/frmKXEnvOptions, GUI/frmKXAdvCompilerOpt) read their controls into these
// values, call the rules, and show or apply what comes back.
// Std-only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "debugger/TCOptions.h"
#include "guiKXPreferences.h"

// ---- the Communications page -----------------------------------------------------------------

// The page's controls as texts and flags.
struct CommPageValues {
    bool use_tcp = false;
    std::string network_address;
    std::string controller_name;
    std::string control_port;
    std::string port_number;  // the port text without "COM" (the validation rewrote it)
    std::string device;       // a device path the port text gives; empty for a COM port
    std::string debug_baud;
    std::string max_baud;
    std::string stop_bits;
    bool verify_dsr = false;
    bool disable_baud = false;
    bool use_usb = false;
};

// The control a refusal puts the focus on.
enum class OptionsField {
    NetworkAddress,
    ControlPort,
    ControllerName,
    SerialPort,
    DebugBaud,
    MaxBaud,
    MaxErrors,
    MaxWarnings,
};

// A refused entry: the message, the caption of its box ("Error", or the product name for the
// limits) and the control to focus.
struct OptionsRefusal {
    OptionsField field;
    std::string text;
    std::string caption;
    bool operator==(const OptionsRefusal &) const = default;
};

// The TCP/IP entries, in the order the dialog tests them: with TCP/IP chosen an empty address
// ("Network address not specified") and then an empty control port ("Control port not
// specified"); then, whatever the connection type, what the link record could not hold: an
// address longer than its field (15 characters), a control port that is no number from 1 to
// 65535 (0 is taken for a serial connection, where it means no port), a controller name longer
// than 255 characters, and a line break or other control character in any of the three.
std::optional<OptionsRefusal> check_tcp_entries(bool use_tcp, const std::string &address,
                                                const std::string &control_port,
                                                const std::string &controller_name);

// The COM port number of a port text: the digits after its first three characters ("COM4",
// "com9"), else the whole text as a number ("4"); blanks around the text are dropped. Nothing
// when neither is a number of one to six digits, or the number is 0.
std::optional<int32_t> com_port_number(std::string_view port_text);
// "Expecting "COM"+number or a device path", for a port text that is neither.
OptionsRefusal com_port_refusal();

// A port text that begins with '/' names a device by its path ("/dev/ttyUSB0"); the trimmed
// path, else nothing (a "COM"+number text, or no text).
std::optional<std::string> serial_device_path(std::string_view port_text);
// The Serial Port entry: a "COM"+number text (COM n stays the machine's n-th port), or the path
// of a character device. A path that does not exist, or that names a regular file, a folder or
// anything but a character device, is refused naming it; any other text gets
// com_port_refusal(). While TCP/IP is chosen the disabled box is not looked at.
std::optional<OptionsRefusal> check_serial_port(bool use_tcp, std::string_view port_text);

// The two baud rate lists offer numbers only; an empty text (the stored rate was none of the
// items) is refused.
std::optional<OptionsRefusal> check_baud_rates(const std::string &debug_baud,
                                               const std::string &max_baud);

// The integer of a whole text, blanks around it allowed; nothing for anything else.
std::optional<int64_t> whole_integer(std::string_view text);

// True when the port number text (or, given one, the device path) names another port than the
// snapshot's.
bool comm_port_changed(const std::string &port_number, const TCOptionsType &snapshot,
                       const std::string &device = {});
// True at the first difference between the page and the snapshot (and the USB-to-serial flag
// the dialog captured when it was shown), tested in the link record's order of importance:
// port, debug baud rate, maximum baud rate, stop bits, processor verification, connection type,
// baud negotiation, network address, control port (the snapshot's as decimal text), the USB
// flag, the controller name. Texts compare exactly.
bool comm_settings_changed(const CommPageValues &page, const TCOptionsType &snapshot,
                           bool usb_at_show);
// The link record the page gives: `current` with the page's port (a device path, the COM
// number then kept as it was for the record; or a COM number, the device path cleared), rates, stop bits, switches,
// control port (0 for an empty text), controller name and address. The page has passed the
// checks above; a value the record could not hold is an assertion.
TCOptionsType comm_settings_from_page(const CommPageValues &page, TCOptionsType current);

// ---- the Compiler page -----------------------------------------------------------------------

// The limits of "Max Shown": errors from 1 to 100, then warnings from 2 to 100, each refused
// with message 4027 "Enter %s from %d to %d" in a box captioned with the product name. A text
// that is no integer is refused the same way (its range named). The warnings are not looked at
// while the errors are refused.
std::optional<OptionsRefusal> check_message_limits(const std::string &errors,
                                                   const std::string &warnings);

// The limits OK gives the compiler: the error limit, the warning limit as two halves (W / 2 and
// the rest), and the total of recorded messages, E + W + 2.
struct MessageLimits {
    int16_t errors = 0;
    int16_t warnings_low = 0;
    int16_t warnings_high = 0;
    int16_t total = 0;
    bool operator==(const MessageLimits &) const = default;
};
MessageLimits split_message_limits(int errors, int warnings);

// ---- the Debugger page -----------------------------------------------------------------------

// The breakpoint limit moves in powers of two: a value above the last one doubles it, a value
// below halves it, never below 2 nor above 256. The exponent is kept as a float, so a stored
// limit that is no power of two moves by factors of two from where it stands.
class TBreakpointSteps {
public:
    static constexpr int32_t kLowest = 2;
    static constexpr int32_t kHighest = 256;
    // A stored limit outside 2..256 (a negative one included) starts from the nearest end.
    explicit TBreakpointSteps(int32_t stored);
    // The value the spin edit shows.
    int32_t Value() const { return m_last; }
    // The spin edit now shows `shown`: the value it must show instead.
    int32_t Change(int32_t shown);

private:
    float m_exponent;
    int32_t m_last;
};

// A count with "," between groups of three digits from the right: "64,246,723", "999", "0".
std::string group_thousands(uint64_t value);

// The help topic of a page of the dialog (0 Communications, 1 Compiler, 2 Debugger, 3 Defines,
// 4 Targetless); 0 (help closed) for any other.
uint32_t env_options_help_context(int page);

// ---- the Advanced Compiler Options dialog ---------------------------------------------------------

// Whether a path text of the dialog names an existing file: a relative text is looked for in
// the program directory only (never the current folder), an absolute one where it says.
bool names_program_file(const std::string &text);

// ---- the main window ---------------------------------------------------------------------------

// The connection status panel's text: "%s: %d" with the network address and control port for a
// TCP/IP link, else "COM%d: %d" with the port number and the debug baud rate.
std::string connection_panel_text(const TCOptionsType &settings);
