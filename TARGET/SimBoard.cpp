// SimBoard: the memory unit and I/O of the board stand-in (see SimBoard.h).
// Physical memory is looked up per 4 KB page; the MMU keeps a per-page offset for the 14
// logical pages below the xmem window and recomputes it whenever SEGSIZE, DATASEG or
// STACKSEG is written.
#include "SimBoard.h"

#include <algorithm>

namespace vsim {

namespace {

constexpr uint32_t kPhysicalSize = 0x100000;
constexpr uint32_t kPageSize = 0x1000;

bool valid_region(uint32_t base, uint32_t size)
{
    return size > 0 && base % kPageSize == 0 && size % kPageSize == 0 && base < kPhysicalSize &&
           size <= kPhysicalSize - base;
}

bool valid_config(const BoardConfig &c)
{
    if (!valid_region(c.flash_base, c.flash_size) || !valid_region(c.ram_base, c.ram_size))
        return false;
    bool apart = c.flash_base + c.flash_size <= c.ram_base || c.ram_base + c.ram_size <= c.flash_base;
    return apart;
}

bool is_console_port(uint16_t port)
{
    return port == kPortConsoleData || port == kPortConsoleStatus || port == kPortExit;
}

} // namespace

SimBoard::SimBoard(const BoardConfig &config)
    : m_config(valid_config(config) ? config : BoardConfig{}),
      m_flash(m_config.flash_size, kOpenBus), m_ram(m_config.ram_size, 0),
      m_io_internal(0x10000, 0), m_io_external(0x10000, 0)
{
    for (uint32_t page = 0; page < 256; ++page) {
        uint32_t phys = page * kPageSize;
        if (is_flash(phys)) {
            m_page[page] = m_flash.data() + (phys - m_config.flash_base);
            m_page_writable[page] = false;
        } else if (is_ram(phys)) {
            m_page[page] = m_ram.data() + (phys - m_config.ram_base);
            m_page_writable[page] = true;
        }
    }
    reset();
}

void SimBoard::reset()
{
    std::fill(m_io_internal.begin(), m_io_internal.end(), uint8_t(0));
    std::fill(m_io_external.begin(), m_io_external.end(), uint8_t(0));
    m_segsize = 0xFF;
    m_dataseg = 0;
    m_stackseg = 0;
    m_io_internal[kPortSegSize] = m_segsize;
    remap();
}

// SEGSIZE: bits 4-7 the first logical page of the stack segment, bits 0-3 the first page of
// the data segment. Pages below the data segment are root (physical = logical); data pages
// add DATASEG * 4 KB, stack pages (up to the xmem window) add STACKSEG * 4 KB.
void SimBoard::remap()
{
    uint32_t data_start = m_segsize & 0x0F;
    uint32_t stack_start = m_segsize >> 4;
    for (uint32_t page = 0; page < m_page_offset.size(); ++page) {
        if (page < data_start)
            m_page_offset[page] = 0;
        else if (page < stack_start)
            m_page_offset[page] = uint32_t(m_dataseg) << 12;
        else
            m_page_offset[page] = uint32_t(m_stackseg) << 12;
    }
}

uint32_t SimBoard::to_physical(uint16_t logical, uint8_t xpc) const
{
    uint32_t page = logical >> 12;
    uint32_t offset = page >= 14 ? uint32_t(xpc) << 12 : m_page_offset[page];
    return (logical + offset) & (kPhysicalSize - 1);
}

uint8_t SimBoard::read(uint16_t logical, uint8_t xpc)
{
    return read_physical(to_physical(logical, xpc));
}

void SimBoard::write(uint16_t logical, uint8_t xpc, uint8_t value)
{
    write_physical(to_physical(logical, xpc), value);
}

uint8_t SimBoard::read_physical(uint32_t physical)
{
    physical &= kPhysicalSize - 1;
    const uint8_t *page = m_page[physical >> 12];
    return page ? page[physical & (kPageSize - 1)] : kOpenBus;
}

void SimBoard::write_physical(uint32_t physical, uint8_t value)
{
    physical &= kPhysicalSize - 1;
    uint32_t index = physical >> 12;
    if (m_page_writable[index])
        m_page[index][physical & (kPageSize - 1)] = value;
}

uint8_t SimBoard::io_read(IoSpace space, uint16_t port)
{
    if (space == IoSpace::external && m_console && is_console_port(port))
        return m_console->console_read(port);
    return space == IoSpace::internal ? m_io_internal[port] : m_io_external[port];
}

void SimBoard::io_write(IoSpace space, uint16_t port, uint8_t value)
{
    if (space == IoSpace::external) {
        if (m_console && is_console_port(port)) {
            m_console->console_write(port, value);
            return;
        }
        m_io_external[port] = value;
        return;
    }
    m_io_internal[port] = value;
    switch (port) {
    case kPortStackSeg: m_stackseg = value; remap(); break;
    case kPortDataSeg: m_dataseg = value; remap(); break;
    case kPortSegSize: m_segsize = value; remap(); break;
    default: break;
    }
}

bool SimBoard::is_flash(uint32_t physical) const
{
    return physical >= m_config.flash_base && physical - m_config.flash_base < m_config.flash_size;
}

bool SimBoard::is_ram(uint32_t physical) const
{
    return physical >= m_config.ram_base && physical - m_config.ram_base < m_config.ram_size;
}

uint8_t SimBoard::peek(uint32_t physical) const
{
    if (physical >= kPhysicalSize)
        return kOpenBus;
    const uint8_t *page = m_page[physical >> 12];
    return page ? page[physical & (kPageSize - 1)] : kOpenBus;
}

bool SimBoard::poke(uint32_t physical, uint8_t value)
{
    if (physical >= kPhysicalSize || !m_page[physical >> 12])
        return false;
    m_page[physical >> 12][physical & (kPageSize - 1)] = value;
    return true;
}

bool SimBoard::load(uint32_t physical, std::span<const uint8_t> bytes)
{
    if (physical >= kPhysicalSize || bytes.size() > kPhysicalSize - physical)
        return false;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (!m_page[(physical + i) >> 12])
            return false;
    for (size_t i = 0; i < bytes.size(); ++i)
        (void)poke(uint32_t(physical + i), bytes[i]);
    return true;
}

bool SimBoard::flash_write(uint32_t physical, uint8_t value)
{
    if (!is_flash(physical))
        return false;
    m_flash[physical - m_config.flash_base] = value;
    return true;
}

} // namespace vsim
