// SimBoard: the memory unit and I/O of the board stand-in; implements the CPU's `Bus`.
// A 20-bit physical space of flash and RAM, the MMU that maps the 16-bit logical space onto
// it (root segment, data segment, stack segment, and the XPC window at 0xE000), and the two
// I/O spaces. The MMU registers are internal I/O ports so programs set them with `ioi`:
// STACKSEG 0x11, DATASEG 0x12, SEGSIZE 0x13. Plain CPU stores into flash are ignored, as on a
// board whose flash needs programming sequences; the firmware side writes flash through
// `flash_write`. Used by the CPU core, tools/kxrun and the stand-in's firmware side.
#pragma once

#include "SimCpu.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace vsim {

struct BoardConfig {
    uint32_t flash_base = 0x00000;
    uint32_t flash_size = 512 * 1024;
    // The flash chip's id as the board reports it (a section of TARGET/Flash.ini): 0x01A4 for
    // 512 KB, 0x01A3 for 256 KB.
    uint16_t flash_id = 0x01A4;
    uint32_t ram_base = 0x80000;
    uint32_t ram_size = 512 * 1024;
};

// Internal I/O ports of the MMU.
inline constexpr uint16_t kPortStackSeg = 0x11;
inline constexpr uint16_t kPortDataSeg = 0x12;
inline constexpr uint16_t kPortSegSize = 0x13;
// The xmem window: logical 0xE000-0xFFFF, physical = logical + XPC * 4096 (20 bits).
inline constexpr uint16_t kXmemWindowStart = 0xE000;
// Value of unmapped physical memory.
inline constexpr uint8_t kOpenBus = 0xFF;

// The program's console and exit trap: three ports of the external I/O space (`ioe`) that
// nothing else on the board decodes. Our runtime library's console routines and `__xexit`
// use them; the board stand-in's debug kernel and `kxrun --console` serve them.
//   kPortConsoleData   write: one character of program output.
//                      read: the next input character (0 when none is waiting).
//   kPortConsoleStatus read: bit 0 an input character is waiting, bit 1 output is ready
//                      (always set). A read that finds no input asks the console for a
//                      character; the reader polls the status port until bit 0 is set.
//   kPortExit          write (any value): the program has ended. The writing instruction is
//                      the exit trap: its address is `__xexit__`, and a stop there reports
//                      the PC at its first byte, with the registers as `__xexit` left them.
inline constexpr uint16_t kPortConsoleData = 0xFFF0;
inline constexpr uint16_t kPortConsoleStatus = 0xFFF1;
inline constexpr uint16_t kPortExit = 0xFFF2;
inline constexpr uint8_t kConsoleInputReady = 0x01;
inline constexpr uint8_t kConsoleOutputReady = 0x02;

// Whoever serves the console ports. Without one attached the ports are plain I/O registers.
class ConsoleDevice {
public:
    virtual ~ConsoleDevice() = default;
    virtual uint8_t console_read(uint16_t port) = 0;
    virtual void console_write(uint16_t port, uint8_t value) = 0;
};

class SimBoard : public Bus {
public:
    // Sizes and bases must be multiples of 4 KB inside the 1 MB space and must not overlap;
    // an invalid configuration falls back to the default one (see `config()`).
    explicit SimBoard(const BoardConfig &config = {});

    const BoardConfig &config() const { return m_config; }

    // Power-on state of the board side: MMU registers reset (SEGSIZE 0xFF, DATASEG 0,
    // STACKSEG 0), I/O spaces cleared. Memory contents stay.
    void reset();

    // --- Bus ---
    uint8_t read(uint16_t logical, uint8_t xpc) override;
    void write(uint16_t logical, uint8_t xpc, uint8_t value) override;
    uint8_t read_physical(uint32_t physical) override;
    void write_physical(uint32_t physical, uint8_t value) override;
    uint8_t io_read(IoSpace space, uint16_t port) override;
    void io_write(IoSpace space, uint16_t port, uint8_t value) override;

    // The MMU: the 20-bit physical address of a logical one.
    uint32_t to_physical(uint16_t logical, uint8_t xpc) const;

    // Direct access for loaders, the firmware side and tests (no flash protection, no MMU).
    // Addresses outside flash and RAM read kOpenBus and are not written; the result says
    // whether every byte landed.
    uint8_t peek(uint32_t physical) const;
    [[nodiscard]] bool poke(uint32_t physical, uint8_t value);
    [[nodiscard]] bool load(uint32_t physical, std::span<const uint8_t> bytes);
    [[nodiscard]] bool flash_write(uint32_t physical, uint8_t value);
    bool is_flash(uint32_t physical) const;
    bool is_ram(uint32_t physical) const;

    // Routes the three console ports to `device` (null: plain registers again).
    void attach_console(ConsoleDevice *device) { m_console = device; }

    uint8_t segsize() const { return m_segsize; }
    uint8_t dataseg() const { return m_dataseg; }
    uint8_t stackseg() const { return m_stackseg; }

private:
    void remap();

    BoardConfig m_config;
    std::vector<uint8_t> m_flash;
    std::vector<uint8_t> m_ram;
    // Per 4 KB physical page: its bytes (null when unmapped) and whether CPU stores land.
    std::array<uint8_t *, 256> m_page{};
    std::array<bool, 256> m_page_writable{};
    uint8_t m_segsize = 0xFF, m_dataseg = 0, m_stackseg = 0;
    // Physical offset added to a logical address, per 4 KB logical page below the xmem window.
    std::array<uint32_t, 14> m_page_offset{};
    std::vector<uint8_t> m_io_internal; // 64 KB each: registers read back what was written
    std::vector<uint8_t> m_io_external;
    ConsoleDevice *m_console = nullptr;
};

} // namespace vsim
