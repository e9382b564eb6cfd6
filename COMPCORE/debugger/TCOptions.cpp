// TCOptions: copy and comparison of the communication settings record (see TCOptions.h).
#include "TCOptions.h"

namespace {

// Copies up to the NUL, at most N - 1 characters, and fills the rest of the field with NULs.
template <std::size_t N>
void copy_text(std::array<char, N> &to, const std::array<char, N> &from)
{
    std::array<char, N> copy{};
    for (std::size_t i = 0; i + 1 < N && from[i] != '\0'; ++i)
        copy[i] = from[i];
    to = copy;
}

} // namespace

void copy_comm_settings(TCOptionsType &to, const TCOptionsType &from)
{
    if (&to == &from)
        return;
    to.serial_response_timeout = from.serial_response_timeout;
    to.tcp_response_timeout = from.tcp_response_timeout;
    to.serial_poll_period = from.serial_poll_period;
    to.tcp_poll_period = from.tcp_poll_period;
    to.serial_retry_count = from.serial_retry_count;
    to.tcp_retry_count = from.tcp_retry_count;
    to.com_port = from.com_port;
    to.baud_rate = from.baud_rate;
    to.dtr_control = from.dtr_control;
    to.rts_control = from.rts_control;
    to.stop_bits = from.stop_bits;
    to.max_download_baud = from.max_download_baud;
    to.disable_baud_negotiation = from.disable_baud_negotiation;
    to.pilot_bios_address = from.pilot_bios_address;
    to.flash_erase_timeout = from.flash_erase_timeout;
    to.link_kind = from.link_kind;
    to.verify_dsr = from.verify_dsr;
    copy_text(to.network_address, from.network_address);
    to.control_port = from.control_port;
    copy_text(to.controller_name, from.controller_name);
    copy_text(to.serial_device, from.serial_device);
}

bool comm_settings_same_link(const TCOptionsType &a, const TCOptionsType &b)
{
    if ((a.link_kind != 0) != (b.link_kind != 0))
        return false;
    if (a.link_kind == 0)
        return a.com_port == b.com_port &&
               comm_text(a.serial_device) == comm_text(b.serial_device) && a.baud_rate == b.baud_rate &&
               a.dtr_control == b.dtr_control && a.rts_control == b.rts_control &&
               a.stop_bits == b.stop_bits;
    return comm_text(a.network_address) == comm_text(b.network_address) &&
           a.control_port == b.control_port &&
           comm_text(a.controller_name) == comm_text(b.controller_name);
}

std::string serial_port_text(const TCOptionsType &settings)
{
    const std::string device = comm_text(settings.serial_device);
    return device.empty() ? "COM" + std::to_string(settings.com_port) : device;
}
