// DB_ML: the text of the debug windows (see the header).
#include "DB_ML.h"

#include "core/CC_ADDR.h"
#include "driver/CC_GO.h"
#include "DB_DA.h"
#include "core/guiInterface.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <ostream>
#include <vector>

std::string formatCodeAddress(uint32_t address)
{
    char text[16];
    if (addr_offset(address) >= window_start())
        std::snprintf(text, sizeof text, "%02x:%04x ", addr_xpc(address), addr_offset(address));
    else
        std::snprintf(text, sizeof text, "   %04x ", addr_offset(address));
    return text;
}

int computeCycles(std::string_view line)
{
    // Bytes 0-3 of the line's byte column (characters 8-15).
    std::array<uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t at = 8 + 2 * i;
        if (at + 1 >= line.size())
            break;
        uint8_t value = 0;
        const auto [end, error] = std::from_chars(line.data() + at, line.data() + at + 2, value, 16);
        if (error == std::errc() && end == line.data() + at + 2)
            bytes[i] = value;
    }
    return instructionCycles(bytes);
}

int formatInstructionLine(uint32_t address, std::span<const uint8_t> bytes, uint16_t length,
                          std::string_view mnemonic, std::string &text)
{
    text = formatCodeAddress(address);
    char cell[8];
    for (std::size_t i = 0; i < 4; ++i) {
        if (i < length && i < bytes.size()) {
            std::snprintf(cell, sizeof cell, "%02X", bytes[i]);
            text += cell;
        } else {
            text += "  ";
        }
    }
    std::string name(mnemonic.substr(0, 23));
    name.resize(23, ' ');
    text += ' ';
    text += name;
    const int cycles = computeCycles(text);
    switch (cycles) {
    case 100: text += "6+7n"; return 0;
    case 101: text += "8+6n"; return 0;
    case 102: text += "8+7n"; return 0;
    default: break;
    }
    if ((cycles & 0xFF) == 255) {
        text += " 8/2";
        return 0;
    }
    std::snprintf(cell, sizeof cell, "%4d", cycles);
    text += cell;
    return cycles;
}

// ---- registers and stack ------------------------------------------------------------------

namespace {

// A line as the windows get it: built in a buffer of the adapter's width plus one.
void add_line(TGuiInterface &adapter, std::string text, int width)
{
    if (width >= 0 && text.size() > std::size_t(width))
        text.resize(std::size_t(width));
    adapter.AddLine(text.c_str());
}

std::string printed(const char *format, unsigned a, unsigned b)
{
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

void list_stack_words(TStackInterface &adapter, const TargetRegisterSet &registers,
                      const uint8_t *data, std::size_t words)
{
    formatPositionLine(registers.PC, adapter);
    adapter.BeginUpdate();
    for (std::size_t i = 0; i < words; ++i) {
        const unsigned address = uint16_t(registers.SP + 2 * i);
        const unsigned word = data[2 * i] | data[2 * i + 1] << 8;
        add_line(adapter, printed("%04X: %04X", address, word), adapter.GetLineWidth());
    }
    adapter.EndUpdate();
}

}  // namespace

std::string formatFlags(uint8_t f)
{
    std::string text = "SZXHXVNC";
    for (int bit = 7; bit >= 0; --bit)
        if (!(f & (1u << bit)))
            text[std::size_t(7 - bit)] = ' ';
    return text;
}

void formatPositionLine(uint32_t address, TGuiInterface &adapter)
{
    std::string text = "----------";
    source_item at;
    if (breakpoint_tables().lookupBreakpointByAddress(address, SourceTable::Line, at))
        text += printed("L: %u  C:%u", at.line, at.column);
    else if (addr_offset(address) >= window_start())
        text += printed("PC@%02x:%04x", addr_xpc(address), addr_offset(address));
    else
        text += printed("PC@%04x", addr_offset(address), 0);
    adapter.AddLine(text.c_str());
}

void formatRegisterLines(TRegisterInterface &adapter, const TargetRegisterSet &r)
{
    const int width = adapter.GetLineWidth();
    adapter.BeginUpdate();
    formatPositionLine(r.PC, adapter);
    add_line(adapter, formatFlags(uint8_t(r.AF)) + printed("  XPC %02X", addr_xpc(r.PC), 0),
             width);
    add_line(adapter, printed("A   %02X    AF' %04X", r.AF >> 8, r.AF2), width);
    add_line(adapter, printed("BC  %04X  BC' %04X", r.BC, r.BC2), width);
    add_line(adapter, printed("DE  %04X  DE' %04X", r.DE, r.DE2), width);
    add_line(adapter, printed("HL  %04X  HL' %04X", r.HL, r.HL2), width);
    add_line(adapter, printed("IX  %04X  IY  %04X", r.IX, r.IY), width);
    add_line(adapter, printed("PC  %04X  SP  %04X", addr_offset(r.PC), r.SP), width);
    adapter.EndUpdate();
}

void fillStackView(TStackInterface &adapter, const TargetRegisterSet &registers, uint16_t count)
{
    std::vector<uint8_t> data(2u * count);
    if (count)
        target_operations().TcReadMemory(make_addr(0, registers.SP), data.data(),
                                         uint32_t(data.size()));
    list_stack_words(adapter, registers, data.data(), count);
}

void fillStackFromData(TStackInterface &adapter, const TargetRegisterSet &registers,
                       const uint8_t *data, int16_t length)
{
    const int words = length / 2;  // toward zero
    list_stack_words(adapter, registers, data, words > 0 && data ? std::size_t(words) : 0);
}

// ---- disassembly ----------------------------------------------------------------------------

namespace {

// The code read last and the instructions listed from it.
struct DisassemblyCache {
    std::array<uint8_t, kDisassemblyBytes> code{};
    std::array<uint32_t, kDisassemblyLines + 1> starts{};  // the last: the end address
    int lines = 0;
    uint32_t last_pc = 0;

    bool holds(uint32_t address) const
    {
        const uint32_t p = addr_to_physical(address);
        return lines > 0 && p >= addr_to_physical(starts[0]) &&
               p < addr_to_physical(starts[std::size_t(lines)]);
    }
    // The listed line whose instruction holds the address, or -1.
    int line_of(uint32_t address) const
    {
        const uint32_t p = addr_to_physical(address);
        for (int i = 0; i < lines; ++i)
            if (p >= addr_to_physical(starts[std::size_t(i)]) &&
                p < addr_to_physical(starts[std::size_t(i) + 1]))
                return i;
        return -1;
    }
};
DisassemblyCache g_disassembly;

}  // namespace

void forgetDisassemblyView() { g_disassembly = DisassemblyCache{}; }

void fillDisassemblyView(uint32_t address, int mode, TAssemblyInterface &adapter, uint32_t pc)
{
    DisassemblyCache &c = g_disassembly;
    if ((mode & 1) || !c.holds(address)) {
        const uint32_t from = compiler_options().separate_id
                                  ? physical_to_addr(addr_to_physical(address))
                                  : address;
        c.lines = 0;
        target_operations().TcReadMemory(from, c.code.data(), kDisassemblyBytes);
        adapter.BeginUpdate();
        adapter.Clear();
        adapter.cycles.clear();
        uint32_t at = address;
        while (c.lines < kDisassemblyLines) {
            const uint32_t offset = uint32_t(addr_diff(at, address));
            if (offset >= kDisassemblyBytes)
                break;
            const std::span<const uint8_t> rest(c.code.data() + offset, kDisassemblyBytes - offset);
            uint16_t length = 0;
            std::string mnemonic, line;
            (void)disassembleOne(at, rest, length, mnemonic);
            length = std::max<uint16_t>(length, 1);
            // Bytes beyond those read are not the target's: an instruction that needs them
            // waits for the next read, which starts at it.
            if (length > rest.size())
                break;
            adapter.cycles.push_back(formatInstructionLine(at, rest, length, mnemonic, line));
            adapter.AddLine(line.c_str());
            c.starts[std::size_t(c.lines++)] = at;
            const uint32_t next = addr_add(at, length);
            at = next;
            if (addr_offset(next) == 0 || addr_to_physical(next) <= addr_to_physical(
                                              c.starts[std::size_t(c.lines - 1)]))
                break;
        }
        c.starts[std::size_t(c.lines)] = at;
        adapter.MarkExecutionLine(0);
        adapter.EndUpdate();
    }
    const int line = c.line_of((mode & 2) ? address : pc);
    if (line >= 0)
        adapter.MarkExecutionLine(uint32_t(line));
    c.last_pc = pc;
}

// ---- memory dump ----------------------------------------------------------------------------

namespace {

constexpr int kDumpBlock = 128;
constexpr int kDumpLine = 16;

// The values of one line by the display width: bytes, little-endian words or double words.
std::string dump_values(const uint8_t *bytes, int format)
{
    std::string text;
    char cell[16];
    for (int i = 0; i < kDumpLine;) {
        switch (format) {
        case 1:
            std::snprintf(cell, sizeof cell, "%04X ", unsigned(bytes[i] | bytes[i + 1] << 8));
            i += 2;
            break;
        case 2:
            std::snprintf(cell, sizeof cell, "%08lX ",
                          static_cast<unsigned long>(uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8 |
                                                     uint32_t(bytes[i + 2]) << 16 |
                                                     uint32_t(bytes[i + 3]) << 24));
            i += 4;
            break;
        default:
            std::snprintf(cell, sizeof cell, "%02X ", bytes[i]);
            i += 1;
            break;
        }
        text += cell;
    }
    return text;
}

}  // namespace

void fillMemoryDumpView(uint32_t address, TDumpInterface *adapter, int chunk_count,
                        std::ostream *file, bool highlight_changes)
{
    const int blocks = std::max(chunk_count, 0);
    const std::size_t lines = std::size_t(blocks) * (kDumpBlock / kDumpLine);
    if (adapter) {
        adapter->start_column = uint8_t(address & 0x0F);
        // A larger view always gets room for its new lines, which count as unchanged until
        // they have been shown once; without change marking a smaller one is cut to fit.
        const std::size_t have = adapter->previous_shown.size();
        if (lines > have || (!highlight_changes && lines != have)) {
            adapter->previous.resize(lines * kDumpLine);
            adapter->previous_shown.resize(lines, false);
        }
        adapter->changed.clear();
    }
    const cMainWindow &main = *gMainWindowInterface;
    const bool physical_mode = main.dump_physical != 0;
    const bool xmem_form = compiler_options().separate_id && main.dump_data_space != 0;
    const int format = IdePreferences().memory_dump.format;
    uint32_t physical = addr_to_physical(address);
    std::size_t line_index = 0;
    std::array<uint8_t, kDumpBlock> block{};
    for (int b = 0; b < blocks; ++b) {
        const uint32_t from = physical_mode ? physical_to_addr(physical)
                              : xmem_form   ? physical_to_addr(addr_to_physical(address))
                                            : address;
        target_operations().TcReadMemory(from, block.data(), kDumpBlock);
        uint32_t line_address = address;
        uint32_t line_physical = physical;
        for (int l = 0; l < kDumpBlock / kDumpLine; ++l, ++line_index) {
            const uint8_t *bytes = block.data() + l * kDumpLine;
            char column[24];
            if (physical_mode)
                std::snprintf(column, sizeof column, "%06lx ",
                              static_cast<unsigned long>(line_physical & kPhysicalMask));
            else if (main.dump_xpc_offset)
                std::snprintf(column, sizeof column, "%02x:%04x ", addr_xpc(line_address),
                              addr_offset(line_address));
            else
                std::snprintf(column, sizeof column, "%04x ", addr_offset(line_address));
            std::string text = column + dump_values(bytes, format);
            for (int i = 0; i < kDumpLine; ++i)
                text += bytes[i] <= 0x20 ? ' ' : char(bytes[i]);
            if (adapter) {
                uint8_t *before = adapter->previous.data() + line_index * kDumpLine;
                if (highlight_changes && adapter->previous_shown[line_index])
                    for (int i = 0; i < kDumpLine; ++i)
                        if (before[i] != bytes[i])
                            adapter->changed.insert((line_physical + uint32_t(i)) & kPhysicalMask);
                std::copy(bytes, bytes + kDumpLine, before);
                adapter->previous_shown[line_index] = true;
                adapter->AddDumpLineAt(text.c_str(), line_address);
            }
            if (file)
                *file << text << '\n';
            line_address = addr_add(line_address, kDumpLine);
            line_physical += kDumpLine;
        }
        address = addr_add(address, kDumpBlock);
        physical += kDumpBlock;
    }
}
