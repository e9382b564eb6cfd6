// DumpRows: the row layout of a memory dump window (see DumpRows.h).
#include "debugger/DumpRows.h"

#include <cstdio>

#include "core/CC_ADDR.h"
#include "debugger/ParseAddressText.h"

namespace {

// A column of hexadecimal digits as a value.
bool hex_value(std::string_view text, uint32_t &value)
{
    const std::optional<uint32_t> read = HexDigitsValue(text);
    value = read.value_or(0);
    return read.has_value();
}

// What each value width shows: digits of a group, groups in a line.
struct ValueWidth {
    int digits;
    int groups;
};
constexpr ValueWidth kValueWidths[] = {{2, 16}, {4, 8}, {8, 4}};

const ValueWidth &value_width_of(int value_width)
{
    return kValueWidths[value_width >= 0 && value_width <= 2 ? value_width : 0];
}

} // namespace

int64_t dump_row_limit(const DumpLayout &layout)
{
    switch (layout.mode) {
    case DumpMode::Physical:
        return 65536;
    case DumpMode::Logical:
        return 4096;
    case DumpMode::XpcOffset:
        return layout.range == 0 ? 256 : layout.range == 1 ? 4096 : 1048576;
    }
    return 0;
}

std::optional<DumpLineAddress> parse_dump_line_address(std::string_view line)
{
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos)
        return std::nullopt;
    const std::string_view column = line.substr(0, blank);
    DumpLineAddress out;
    out.column_width = int(column.size());
    uint32_t value = 0;
    switch (column.size()) {
    case 4:
        if (!hex_value(column, value))
            return std::nullopt;
        out.address = make_addr(0, uint16_t(value));
        out.physical = addr_to_physical(out.address);
        return out;
    case 6:
        if (!hex_value(column, value) || value > kPhysicalMask)
            return std::nullopt;
        out.address = value;
        out.physical = value;
        return out;
    case 7: {
        uint32_t xpc = 0, offset = 0;
        if (column[2] != ':' || !hex_value(column.substr(0, 2), xpc) ||
            !hex_value(column.substr(3), offset))
            return std::nullopt;
        out.address = make_addr(uint8_t(xpc), uint16_t(offset));
        out.physical = addr_to_physical(out.address);
        return out;
    }
    default:
        return std::nullopt;
    }
}

int64_t dump_row_of(const DumpLayout &layout, const DumpLineAddress &line)
{
    const uint16_t offset = addr_offset(line.address);
    switch (layout.mode) {
    case DumpMode::Physical:
        return line.physical >> 4;
    case DumpMode::Logical:
        return offset >> 4;
    case DumpMode::XpcOffset:
        if (layout.range == 0)
            return (offset & 0xFFF) >> 4;
        if (layout.range == 1)
            return offset >> 4;
        return int64_t(addr_xpc(line.address)) * 4096 + (offset >> 4);
    }
    return 0;
}

uint32_t dump_address_of_row(const DumpLayout &layout, int64_t row)
{
    const uint64_t bytes = uint64_t(row < 0 ? 0 : row) * kDumpRowBytes;
    switch (layout.mode) {
    case DumpMode::Physical:
        return uint32_t(bytes) & kPhysicalMask;
    case DumpMode::Logical:
        return make_addr(0, uint16_t(bytes));
    case DumpMode::XpcOffset:
        if (layout.range == 0)
            return make_addr(layout.xpc, uint16_t(bytes % 4096 + layout.page_base));
        if (layout.range == 1)
            return make_addr(layout.xpc, uint16_t(bytes % 65536));
        return make_addr(uint8_t(bytes >> 16), uint16_t(bytes % 65536));
    }
    return 0;
}

uint32_t dump_physical_of_row(const DumpLayout &layout, int64_t row)
{
    const uint32_t address = dump_address_of_row(layout, row);
    if (layout.mode == DumpMode::Physical)
        return address;
    return (uint32_t(addr_xpc(address)) * 4096 + addr_offset(address)) & kPhysicalMask;
}

std::string dump_address_text(DumpMode mode, uint32_t address)
{
    char text[16];
    switch (mode) {
    case DumpMode::Physical:
        std::snprintf(text, sizeof text, "%05X", unsigned(address & kPhysicalMask));
        break;
    case DumpMode::XpcOffset:
        std::snprintf(text, sizeof text, "%02X:%04X", unsigned(addr_xpc(address)),
                      unsigned(addr_offset(address)));
        break;
    case DumpMode::Logical:
        std::snprintf(text, sizeof text, "%04X", unsigned(addr_offset(address)));
        break;
    }
    return text;
}

int dump_group_count(int value_width) { return value_width_of(value_width).groups; }
int dump_group_digits(int value_width) { return value_width_of(value_width).digits; }
int dump_group_bytes(int value_width) { return value_width_of(value_width).digits / 2; }

int dump_group_column(int address_width, int value_width, int index)
{
    return address_width + 1 + index * (dump_group_digits(value_width) + 1);
}

std::optional<int> dump_group_at(int address_width, int value_width, int column)
{
    const int first = dump_group_column(address_width, value_width, 0);
    if (column < first)
        return std::nullopt;
    const int index = (column - first) / (dump_group_digits(value_width) + 1);
    if (index >= dump_group_count(value_width))
        return std::nullopt;
    return index;
}
