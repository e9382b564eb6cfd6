// SimImage: "bin" and Intel HEX images into the board stand-in's memory (see SimImage.h).
// Both loaders check the whole image before they write a byte, so a bad image leaves memory
// as it was.
#include "SimImage.h"

#include "HexDigit.h"
#include "RegularFile.h"
#include "core/CC_MISC.h"

#include <cstdlib>
#include <sstream>
#include <vector>

namespace vsim {

namespace {

constexpr uint32_t kPhysicalSize = 0x100000;

struct Chunk {
    uint32_t address;
    std::vector<uint8_t> bytes;
};

LoadResult fail(std::string message)
{
    LoadResult r;
    r.error = std::move(message);
    return r;
}

// Every byte must land in flash or RAM.
bool fits(const SimBoard &board, uint32_t address, size_t size)
{
    if (address >= kPhysicalSize || size > kPhysicalSize - address)
        return false;
    for (size_t i = 0; i < size; ++i) {
        uint32_t a = uint32_t(address + i);
        if (!board.is_flash(a) && !board.is_ram(a))
            return false;
    }
    return true;
}

// The bytes of flash and RAM together.
uint64_t memory_bytes(const SimBoard &board)
{
    return uint64_t(board.config().flash_size) + board.config().ram_size;
}

std::string larger_than_memory(const SimBoard &board, uint64_t size)
{
    return "the image (" + std::to_string(size) + " bytes) is larger than flash and RAM (" +
           std::to_string(memory_bytes(board)) + " bytes)";
}

LoadResult write_chunks(SimBoard &board, const std::vector<Chunk> &chunks,
                        std::vector<std::string> warnings = {})
{
    LoadResult r;
    uint64_t total = 0;
    for (const Chunk &c : chunks)
        total += c.bytes.size();
    if (total > memory_bytes(board))
        return fail(larger_than_memory(board, total));
    for (const Chunk &c : chunks) {
        if (!fits(board, c.address, c.bytes.size())) {
            std::ostringstream m;
            m << "image bytes at physical 0x" << std::hex << c.address
              << " lie outside flash and RAM";
            return fail(m.str());
        }
    }
    for (const Chunk &c : chunks) {
        if (c.bytes.empty())
            continue;
        if (!board.load(c.address, c.bytes))
            return fail("image could not be written");
        uint32_t last = uint32_t(c.address + c.bytes.size() - 1);
        if (r.bytes == 0 || c.address < r.lowest)
            r.lowest = c.address;
        if (r.bytes == 0 || last > r.highest)
            r.highest = last;
        r.bytes += uint32_t(c.bytes.size());
    }
    r.ok = true;
    r.warnings = std::move(warnings);
    return r;
}

} // namespace

LoadResult load_bin_image(SimBoard &board, std::string_view bytes, uint32_t physical)
{
    std::vector<Chunk> chunks{{physical, std::vector<uint8_t>(bytes.begin(), bytes.end())}};
    return write_chunks(board, chunks);
}

bool looks_like_hex_image(std::string_view contents)
{
    if (contents.empty() || contents[0] != ':')
        return false;
    size_t digits = 0;
    size_t i = 1;
    for (; i < contents.size() && contents[i] != '\n' && contents[i] != '\r'; ++i) {
        if (hex_digit(contents[i]) < 0)
            return false;
        ++digits;
    }
    return digits >= 10;
}

// One record per line: ":" count(2) address(4) type(2) data(2*count) checksum(2); the sum of
// all record bytes including the checksum is 0 modulo 256.
LoadResult load_hex_image(SimBoard &board, std::string_view text)
{
    std::vector<Chunk> chunks;
    std::vector<std::string> warnings;
    // Which physical bytes a record already gave: a later record that gives one again wins,
    // and the user hears of it once per record.
    std::vector<bool> given(kPhysicalSize, false);
    uint32_t base = 0;
    bool ended = false;
    size_t line_no = 0;
    size_t pos = 0;
    while (pos < text.size() && !ended) {
        size_t eol = text.find('\n', pos);
        std::string_view line = text.substr(pos, eol == std::string_view::npos ? text.npos : eol - pos);
        pos = eol == std::string_view::npos ? text.size() : eol + 1;
        ++line_no;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        std::string where = "line " + std::to_string(line_no) + ": ";
        if (line[0] != ':')
            return fail(where + "record does not start with ':'");
        if ((line.size() - 1) % 2 != 0 || line.size() < 11)
            return fail(where + "record too short or odd number of digits");
        std::vector<uint8_t> rec;
        for (size_t i = 1; i + 1 < line.size(); i += 2) {
            int hi = hex_digit(line[i]), lo = hex_digit(line[i + 1]);
            if (hi < 0 || lo < 0)
                return fail(where + "not a hexadecimal digit");
            rec.push_back(uint8_t(hi << 4 | lo));
        }
        size_t count = rec[0];
        if (rec.size() != count + 5)
            return fail(where + "length does not match the byte count");
        uint8_t sum = 0;
        for (uint8_t b : rec)
            sum = uint8_t(sum + b);
        if (sum != 0)
            return fail(where + "checksum error");
        uint32_t offset = uint32_t(rec[1] << 8 | rec[2]);
        uint8_t type = rec[3];
        switch (type) {
        case 0x00: {
            // Data wrapping past a 64 KB boundary continues in the next segment; a writer that
            // meant it to wrap to the segment's start put it elsewhere, so the user is told.
            Chunk c{base + offset, {rec.begin() + 4, rec.end() - 1}};
            if (offset + count > 0x10000)
                warnings.push_back(where + "the record runs past the end of its 64 KB segment; "
                                           "its bytes continue at the next segment");
            bool overlaps = false;
            for (size_t i = 0; i < c.bytes.size(); ++i) {
                const uint64_t a = uint64_t(c.address) + i;
                if (a >= kPhysicalSize)
                    break;
                overlaps = overlaps || given[a];
                given[a] = true;
            }
            if (overlaps)
                warnings.push_back(where + "the record gives bytes an earlier record gave; "
                                           "the later bytes are loaded");
            chunks.push_back(std::move(c));
            break;
        }
        case 0x01: ended = true; break;
        case 0x02:
            if (count != 2)
                return fail(where + "bad extended segment address record");
            base = uint32_t(rec[4] << 8 | rec[5]) << 4;
            break;
        case 0x04:
            if (count != 2)
                return fail(where + "bad extended linear address record");
            base = uint32_t(rec[4] << 8 | rec[5]) << 16;
            break;
        case 0x03:
        case 0x05:
            break; // start addresses: the run's start comes from the caller
        default: return fail(where + "unknown record type");
        }
    }
    if (!ended)
        return fail("no end-of-file record");
    return write_chunks(board, chunks, std::move(warnings));
}

ReadStatus read_image_file(const std::string &path, std::string &contents)
{
    std::vector<uint8_t> bytes;
    const RegularFileStatus status = read_regular_file(path, kMaxImageFileBytes, bytes);
    contents.assign(bytes.begin(), bytes.end());
    switch (status) {
    case RegularFileStatus::Read: return ReadStatus::Read;
    case RegularFileStatus::NotOpened:
    case RegularFileStatus::ReadError: return ReadStatus::Unreadable;
    case RegularFileStatus::NotRegular: return ReadStatus::NotAFile;
    case RegularFileStatus::TooLarge: return ReadStatus::TooLarge;
    }
    return ReadStatus::Unreadable;
}

bool read_file(const std::string &path, std::string &contents)
{
    return read_image_file(path, contents) == ReadStatus::Read;
}

LoadResult load_image_argument(SimBoard &board, const std::string &argument)
{
    std::string path = argument;
    uint32_t at = 0;
    size_t sep = argument.rfind('@');
    if (sep != std::string::npos) {
        path = argument.substr(0, sep);
        std::string number = argument.substr(sep + 1);
        char *end = nullptr;
        unsigned long long value = std::strtoull(number.c_str(), &end, 0);
        if (number.empty() || number[0] == '-' || *end != '\0' || value >= kPhysicalSize)
            return fail("bad load address in '" + argument + "'");
        at = uint32_t(value);
    }
    std::string contents;
    switch (read_image_file(path, contents)) {
    case ReadStatus::Read: break;
    case ReadStatus::Unreadable: return fail("cannot read '" + path + "'");
    case ReadStatus::NotAFile: return fail("'" + path + "' is not a regular file");
    case ReadStatus::TooLarge:
        return fail(path + ": the image is larger than flash and RAM (" +
                    std::to_string(memory_bytes(board)) + " bytes)");
    }
    bool named_hex = path.size() >= 4 && equal_ignoring_case(path.substr(path.size() - 4), ".hex");
    bool hex = sep == std::string::npos && (named_hex || looks_like_hex_image(contents));
    LoadResult r = hex ? load_hex_image(board, contents) : load_bin_image(board, contents, at);
    if (!r.ok)
        r.error = path + ": " + r.error;
    for (std::string &warning : r.warnings)
        warning = path + ": " + warning;
    return r;
}

} // namespace vsim
