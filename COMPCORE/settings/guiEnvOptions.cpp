// guiEnvOptions: the rules of the Project Options and Advanced Compiler Options dialogs.
#include "guiEnvOptions.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "core/CC_MISC.h"
#include "core/guiInterface.h"
#include "guiProjects.h"

namespace {

constexpr uint32_t kMsgProductName = 16;  // "Korvex"
constexpr uint32_t kMsgEnterRange = 4027; // "Enter %s from %d to %d"

constexpr std::size_t kAddressChars = 15;     // the link record's field less its NUL
constexpr std::size_t kControllerChars = 255;
constexpr int64_t kHighestPort = 65535;
constexpr int kPortDigits = 6;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool has_control_character(const std::string &text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 32 || c == 0x7F; });
}

// One to `max_digits` decimal digits and nothing else.
std::optional<int64_t> digits_only(std::string_view text, int max_digits)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(max_digits))
        return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

OptionsRefusal error(OptionsField field, std::string text)
{
    return {field, std::move(text), GetResString(kMsgErrorCaption)};
}

OptionsRefusal limit_refusal(OptionsField field, const char *name, int low, int high)
{
    return {field, GetResString(kMsgEnterRange, name, low, high), GetResString(kMsgProductName)};
}

uint32_t stop_bits_code(const std::string &text) { return text == "2" ? 2 : 0; }

uint32_t whole_u32(const std::string &text)
{
    const std::optional<int64_t> value = whole_integer(text);
    assert(value && *value >= 0 && *value <= UINT32_MAX && "the page's numbers were checked");
    return static_cast<uint32_t>(value.value_or(0));
}

} // namespace

// ---- the Communications page -----------------------------------------------------------------

std::optional<int64_t> whole_integer(std::string_view text)
{
    text = trimmed(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const std::optional<int64_t> value = digits_only(text, 18);
    if (!value)
        return std::nullopt;
    return negative ? -*value : *value;
}

std::optional<OptionsRefusal> check_tcp_entries(bool use_tcp, const std::string &address,
                                                const std::string &control_port,
                                                const std::string &controller_name)
{
    if (use_tcp && address.empty())
        return error(OptionsField::NetworkAddress, "Network address not specified");
    if (use_tcp && control_port.empty())
        return error(OptionsField::ControlPort, "Control port not specified");
    if (has_control_character(address))
        return error(OptionsField::NetworkAddress,
                     "The network address may hold no line break or other control character");
    if (address.size() > kAddressChars)
        return error(OptionsField::NetworkAddress,
                     "The network address is too long: at most 15 characters");
    if (!control_port.empty()) {
        const std::optional<int64_t> port = whole_integer(control_port);
        const int64_t lowest = use_tcp ? 1 : 0;
        if (!port || *port < lowest || *port > kHighestPort)
            return error(OptionsField::ControlPort,
                         "The control port must be a number from 1 to 65535");
    }
    if (has_control_character(controller_name))
        return error(OptionsField::ControllerName,
                     "The controller name may hold no line break or other control character");
    if (controller_name.size() > kControllerChars)
        return error(OptionsField::ControllerName,
                     "The controller name is too long: at most 255 characters");
    return std::nullopt;
}

std::optional<int32_t> com_port_number(std::string_view port_text)
{
    const std::string_view text = trimmed(port_text);
    std::optional<int64_t> number;
    if (text.size() > 3)
        number = digits_only(text.substr(3), kPortDigits);
    if (!number)
        number = digits_only(text, kPortDigits);
    if (!number || *number == 0)
        return std::nullopt;
    return static_cast<int32_t>(*number);
}

OptionsRefusal com_port_refusal()
{
    return error(OptionsField::SerialPort, "Expecting \"COM\"+number or a device path");
}

std::optional<std::string> serial_device_path(std::string_view port_text)
{
    const std::string_view text = trimmed(port_text);
    if (text.empty() || text.front() != '/')
        return std::nullopt;
    return std::string(text);
}

std::optional<OptionsRefusal> check_serial_port(bool use_tcp, std::string_view port_text)
{
    if (use_tcp)
        return std::nullopt;
    const std::optional<std::string> path = serial_device_path(port_text);
    if (!path)
        return com_port_number(port_text) ? std::nullopt
                                          : std::optional<OptionsRefusal>(com_port_refusal());
    if (has_control_character(*path))
        return error(OptionsField::SerialPort,
                     "The serial port may hold no line break or other control character");
    if (path->size() >= sizeof(TCOptionsType{}.serial_device))
        return error(OptionsField::SerialPort,
                     "The serial port's path is too long: at most 255 characters");
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(*path, ec);
    if (!std::filesystem::exists(st))
        return error(OptionsField::SerialPort, "Serial port \"" + *path + "\" does not exist");
    if (!std::filesystem::is_character_file(st))
        return error(OptionsField::SerialPort,
                     "\"" + *path + "\" is not a serial device (a character device)");
    return std::nullopt;
}

std::optional<OptionsRefusal> check_baud_rates(const std::string &debug_baud,
                                               const std::string &max_baud)
{
    const auto usable = [](const std::string &text) {
        const std::optional<int64_t> rate = whole_integer(text);
        return rate && *rate > 0 && *rate <= UINT32_MAX;
    };
    if (!usable(debug_baud))
        return error(OptionsField::DebugBaud, "Debug baud rate not specified");
    if (!usable(max_baud))
        return error(OptionsField::MaxBaud, "Max download baud rate not specified");
    return std::nullopt;
}

bool comm_port_changed(const std::string &port_number, const TCOptionsType &snapshot,
                       const std::string &device)
{
    if (device != comm_text(snapshot.serial_device))
        return true;
    return whole_integer(port_number) != std::optional<int64_t>(snapshot.com_port);
}

bool comm_settings_changed(const CommPageValues &page, const TCOptionsType &s, bool usb_at_show)
{
    const auto number = [](const std::string &text) { return whole_integer(text); };
    const auto differs = [&](const std::string &text, uint32_t value) {
        return number(text) != std::optional<int64_t>(value);
    };
    return differs(page.port_number, s.com_port) || page.device != comm_text(s.serial_device) ||
           differs(page.debug_baud, s.baud_rate) ||
           differs(page.max_baud, s.max_download_baud) ||
           stop_bits_code(page.stop_bits) != s.stop_bits ||
           uint32_t(page.verify_dsr) != s.verify_dsr || uint32_t(page.use_tcp) != s.link_kind ||
           uint32_t(page.disable_baud) != s.disable_baud_negotiation ||
           page.network_address != comm_text(s.network_address) ||
           page.control_port != std::to_string(s.control_port) || page.use_usb != usb_at_show ||
           page.controller_name != comm_text(s.controller_name);
}

TCOptionsType comm_settings_from_page(const CommPageValues &page, TCOptionsType r)
{
    if (page.device.empty())
        r.com_port = whole_u32(page.port_number);
    r.disable_baud_negotiation = page.disable_baud ? 1 : 0;
    r.max_download_baud = whole_u32(page.max_baud);
    r.baud_rate = whole_u32(page.debug_baud);
    r.stop_bits = stop_bits_code(page.stop_bits);
    r.verify_dsr = page.verify_dsr ? 1 : 0;
    r.link_kind = page.use_tcp ? 1 : 0;
    r.control_port =
        page.control_port.empty() ? 0 : static_cast<uint16_t>(whole_u32(page.control_port));
    const bool name_fits = set_comm_text(r.controller_name, page.controller_name);
    const bool address_fits = set_comm_text(r.network_address, page.network_address);
    const bool device_fits = set_comm_text(r.serial_device, page.device);
    assert(name_fits && address_fits && device_fits && "the page's texts were checked");
    (void)name_fits;
    (void)address_fits;
    (void)device_fits;
    return r;
}

// ---- the Compiler page -----------------------------------------------------------------------

std::optional<OptionsRefusal> check_message_limits(const std::string &errors,
                                                   const std::string &warnings)
{
    const std::optional<int64_t> e = whole_integer(errors);
    if (!e || *e < 1 || *e > 100)
        return limit_refusal(OptionsField::MaxErrors, "Errors", 1, 100);
    const std::optional<int64_t> w = whole_integer(warnings);
    if (!w || *w < 2 || *w > 100)
        return limit_refusal(OptionsField::MaxWarnings, "Warnings", 2, 100);
    return std::nullopt;
}

MessageLimits split_message_limits(int errors, int warnings)
{
    MessageLimits limits;
    limits.errors = static_cast<int16_t>(errors);
    limits.warnings_low = static_cast<int16_t>(warnings / 2);
    limits.warnings_high = static_cast<int16_t>(warnings - warnings / 2);
    limits.total = static_cast<int16_t>(errors + warnings + 2);
    return limits;
}

// ---- the Debugger page -----------------------------------------------------------------------

TBreakpointSteps::TBreakpointSteps(int32_t stored)
    : m_last(std::clamp(stored, kLowest, kHighest))
{
    m_exponent = static_cast<float>(std::log2(static_cast<double>(m_last)));
}

int32_t TBreakpointSteps::Change(int32_t shown)
{
    if (shown > m_last)
        m_exponent += 1;
    else if (shown < m_last)
        m_exponent -= 1;
    m_exponent = std::clamp(m_exponent, 1.0f, 8.0f);
    // A hair above the power, so that 2^6.64... (a stored 100) stays 100 and is not cut to 99.
    m_last = static_cast<int32_t>(std::pow(2.0, static_cast<double>(m_exponent)) + 1e-3);
    return m_last;
}

std::string group_thousands(uint64_t value)
{
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    return digits;
}

uint32_t env_options_help_context(int page)
{
    static constexpr uint32_t kContexts[] = {16780544, 16779264, 16779520, 519, 8};
    if (page < 0 || page >= static_cast<int>(std::size(kContexts)))
        return 0;
    return kContexts[page];
}

// ---- the Advanced Compiler Options dialog ---------------------------------------------------------

bool names_program_file(const std::string &text)
{
    if (text.empty())
        return false;
    const std::string local = normalize_separators(text);
    const std::string path =
        std::filesystem::path(local).is_absolute() ? local : program_directory_path(text);
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// ---- the main window ---------------------------------------------------------------------------

std::string connection_panel_text(const TCOptionsType &settings)
{
    if (settings.link_kind != 0)
        return comm_text(settings.network_address) + ": " + std::to_string(settings.control_port);
    return serial_port_text(settings) + ": " + std::to_string(settings.baud_rate);
}
