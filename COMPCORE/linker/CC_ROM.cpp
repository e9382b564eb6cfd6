// CC_ROM: the download writer, the object trace file and the image files (see the header).
#include "CC_ROM.h"

#include "driver/CC_DUM.h"
#include "driver/CC_FIOZ8.h"
#include "input/CC_IN.h"
#include "driver/CC_INIT.h"
#include "core/CC_MISC.h"
#include "EMITCACHE.h"
#include "ORIGINS.h"
#include "core/SEAM_TARGET.h"
#include "StringResources.h"
#include "core/guiExceptions.h"
#include "core/guiInterface.h"
#include "settings/guiKXPreferences.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <fstream>
#include <sstream>

namespace {

constexpr uint32_t kMsgCannotOpenFile = 5023;  // "Cannot open file '%s'."

constexpr uint32_t kBlockSize = 128;       // the bitmap's granule: the download block size
constexpr uint32_t kSectorSize = 1024;     // the image builder's unit
constexpr uint32_t kMaxSectors = 1024;     // 1 MB of physical memory
constexpr uint32_t kRecordPiece = 400;     // bytes per trace record (one write request)
constexpr uint32_t kMaxSendPiece = 65535;  // bytes per `ui_send` call
constexpr uint32_t kMaxRecordBytes = 512;  // a record read back holds at most this many
constexpr const char *kVersionText = "kxw";

std::array<uint8_t, 1024> g_bitmap{};
std::FILE *g_object_file = nullptr;
std::vector<DownloadRecord> g_kept_bios = [] {
    std::vector<DownloadRecord> v;
    v.reserve(128);
    return v;
}();
ImageLayout g_layout;
std::optional<BuiltImage> g_built;

std::string text_of(uint32_t id) { return std::string(string_resource(id)); }

std::string with_extension(const std::string &path, const std::string &extension)
{
    std::string out = path;
    make_path(out, "", extension, kPathReplaceExt);
    return out;
}

bool writes_output(uint8_t flags) { return (flags & 0x30) != 0; }

}  // namespace

// ---- touched-block bitmap ------------------------------------------------------------------------

void clear_flash_sector_map() { g_bitmap.fill(0); }

void mark_flash_sectors(uint32_t physical, uint32_t count)
{
    if (count == 0)
        return;
    const uint64_t end = uint64_t(physical) + count;
    for (uint64_t b = physical / kBlockSize * kBlockSize; b < end; b += kBlockSize) {
        const uint32_t bit = static_cast<uint32_t>(b / kBlockSize) & 8191u;
        g_bitmap[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
    }
}

bool flash_sector_marked(uint32_t physical, uint32_t block_size)
{
    if (block_size == 0)
        return false;
    const uint32_t bit = physical / block_size;
    if (bit >= g_bitmap.size() * 8)
        return false;
    return (g_bitmap[bit / 8] >> (bit % 8)) & 1u;
}

uint32_t count_flash_sectors()
{
    uint32_t n = 0;
    for (uint8_t byte : g_bitmap)
        n += static_cast<uint32_t>(std::popcount(byte));
    return n;
}

// ---- download segment list -------------------------------------------------------------------------

void DLSegmentList::insert(uint32_t start, uint32_t length)
{
    uint64_t lo = start, hi = uint64_t(start) + length;  // [lo, hi)
    // The first segment that ends at or after the new start overlaps or adjoins it when it does
    // not begin after the new end; every later one that does the same is merged in.
    auto first = std::find_if(m_segments.begin(), m_segments.end(), [&](const DLSegment &s) {
        return uint64_t(s.start) + s.length >= lo;
    });
    auto last = first;
    while (last != m_segments.end() && last->start <= hi) {
        lo = std::min<uint64_t>(lo, last->start);
        hi = std::max<uint64_t>(hi, uint64_t(last->start) + last->length);
        ++last;
    }
    const DLSegment merged{static_cast<uint32_t>(lo), static_cast<uint32_t>(hi - lo)};
    first = m_segments.erase(first, last);
    m_segments.insert(first, merged);
}

// ---- layout and kept records ------------------------------------------------------------------------

const std::vector<DownloadRecord> &kept_bios_records() { return g_kept_bios; }
void clear_kept_bios_records() { g_kept_bios.clear(); }
void set_image_layout(const ImageLayout &layout) { g_layout = layout; }
const ImageLayout &image_layout() { return g_layout; }
std::optional<BuiltImage> last_built_image() { return g_built; }

// ---- the download writer ----------------------------------------------------------------------------

namespace {

// One trace record:
//   "%02x:%04x[%3x] -> "   xpc byte, offset, byte count
//   "%02x " per byte, 16 to a line; a continuation line opens with 16 blanks
//   "\n"
void write_trace_record(uint32_t addr, uint32_t count, const uint8_t *bytes)
{
    std::FILE *f = g_object_file;
    std::fprintf(f, "%02x:%04x[%3x] -> ", addr_xpc(addr), addr_offset(addr), count);
    for (uint32_t i = 0; i < count; ++i) {
        std::fprintf(f, "%02x ", bytes[i]);
        if ((i + 1) % 16 == 0 && i + 1 < count)
            std::fprintf(f, "\n%16s", "");
    }
    std::fputc('\n', f);
}

}  // namespace

void ui_send(uint16_t count, uint32_t addr, const uint8_t *bytes)
{
    if (code_suppression_counter() != 0)
        error_here("%s", msg(kMsgImproperUiSend));
    const uint8_t flags = output_flags();
    if (!writes_output(flags))
        return;
    const uint16_t mode = compile_mode_word();
    const uint32_t physical = addr_to_physical(addr);
    const bool direct = ((flags & 0x30) == 0x20 && mode == 0) ||
                        (mode == 2 && (flags & 0x30) == 0x30 &&
                         (physical >> 12) < g_layout.direct_write_page_limit);
    if (direct) {
        target_operations().TcWritePhysicalMemory(physical, bytes, count);
        return;
    }
    uint32_t left = count;
    while (left > 0) {
        gDialogControl.PumpStatusBoxMessages();
        const uint32_t piece = std::min(left, kRecordPiece);
        if (mode == 0 && (flags & 0x10)) {
            if (g_object_file)
                write_trace_record(addr, piece, bytes);
            mark_flash_sectors(addr_to_physical(addr), piece);
        } else if (mode == 0 || mode == 2) {
            target_operations().TcWritePhysicalMemory(addr_to_physical(addr), bytes, piece);
        }
        addr = addr_add(addr, static_cast<int32_t>(kRecordPiece));
        bytes += piece;
        left -= piece;
    }
}

void ui_send_block(uint32_t count, uint32_t addr, const uint8_t *bytes)
{
    uint32_t physical = addr_to_physical(addr);
    while (count > 0) {
        const uint32_t piece = std::min(count, kMaxSendPiece);
        ui_send(static_cast<uint16_t>(piece), physical_to_addr(physical), bytes);
        physical = (physical + piece) & kPhysicalMask;
        bytes += piece;
        count -= piece;
    }
}

bool object_file_open() { return g_object_file != nullptr; }

int open_object_file(const std::string &path, bool)
{
    const uint8_t flags = output_flags();
    if (!writes_output(flags))
        return 0;
    if (g_object_file)
        std::fclose(g_object_file);
    g_built.reset();  // a listing reads only the image that this compile builds
    const CompileConditions &conditions = compile_conditions();
    if (conditions.bios_kept_in_memory)
        clear_kept_bios_records();  // this BIOS compile's records replace an earlier one's
    g_object_file = std::fopen(with_extension(path, "rom").c_str(), "w");
    if (!g_object_file)
        return 1;  // the compile sequence says "Unable to Open Object File." and ends
    if ((flags & 0x11) != 0x11 || (flags & 0x22) != 0)
        return 0;
    // The BIOS's root region goes first, read back from the target: from 0 up to and including
    // the first byte of the program's root code.
    ShowMessageLine(false, "%s", text_of(kMsgDownloadingLibrary).c_str());
    if (!conditions.bios_present)
        return 0;
    const uint32_t code_start = addr_offset(bios_root_code_end());
    uint8_t piece[33];
    for (uint32_t at = 0; at <= code_start;) {
        const uint32_t distance = code_start - at;
        const uint32_t n = distance <= 32 ? distance + 1 : 32;
        target_operations().TcReadMemory(make_addr(0, static_cast<uint16_t>(at)), piece, n);
        ui_send_block(n, make_addr(0, static_cast<uint16_t>(at)), piece);
        at += n;
    }
    return 0;
}

void close_object_file()
{
    if (!writes_output(output_flags()) || !g_object_file)
        return;
    std::FILE *f = g_object_file;
    std::fprintf(f, "*%04Xivec_base\n", g_layout.interrupt_vector_base);
    std::fprintf(f, "*%04Xscod_base\n", addr_offset(bios_root_code_end()));
    std::fprintf(f, "*%04Xroms\n", compiler_config().roms);
    std::fprintf(f, "*0000version=%s\n", kVersionText);
    std::fprintf(f, "*0000library=%s\n", kVersionText);
    std::fclose(f);
    g_object_file = nullptr;
}

// ---- reading the trace file back ------------------------------------------------------------------

namespace {

class TraceReader {
public:
    explicit TraceReader(std::string text) : m_text(std::move(text)) {}

    // The next record into `r`: true when one was read, false at the end of the file. A record
    // that is malformed, cut short or longer than 512 bytes sets `bad`.
    bool next(DownloadRecord &r)
    {
        for (;;) {
            skip_space();
            if (m_pos >= m_text.size())
                return false;
            if (m_text[m_pos] != '*')
                break;
            m_pos = m_text.find('\n', m_pos);  // a trailer line
            if (m_pos == std::string::npos)
                m_pos = m_text.size();
        }
        uint32_t xpc = 0, offset = 0, count = 0;
        if (!hex(xpc, 2) || !expect(':') || !hex(offset, 4) || !expect('[') ||
            (skip_blanks(), !hex(count, 4)) || !expect(']') || (skip_blanks(), !expect('-')) ||
            !expect('>') || count > kMaxRecordBytes)
            return fail();
        r.xpc = static_cast<uint16_t>(xpc);
        r.offset = static_cast<uint16_t>(offset);
        r.count = static_cast<uint16_t>(count);
        r.sum = 0;
        for (uint32_t i = 0; i < count; ++i) {
            skip_space();
            uint32_t byte = 0;
            if (!hex(byte, 2))
                return fail();
            r.data[i] = static_cast<uint8_t>(byte);
            r.sum = static_cast<uint16_t>(r.sum + byte);
        }
        // What follows the last byte is the record's line end, never more data.
        skip_blanks();
        if (m_pos < m_text.size() && m_text[m_pos] != '\n' && m_text[m_pos] != '\r')
            return fail();
        return true;
    }
    bool bad = false;

private:
    std::string m_text;
    std::size_t m_pos = 0;

    bool fail()
    {
        bad = true;
        return false;
    }
    void skip_space()
    {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }
    void skip_blanks()
    {
        while (m_pos < m_text.size() && m_text[m_pos] == ' ')
            ++m_pos;
    }
    bool expect(char c)
    {
        if (m_pos >= m_text.size() || m_text[m_pos] != c)
            return false;
        ++m_pos;
        return true;
    }
    // One to `digits` hexadecimal digits.
    bool hex(uint32_t &value, int digits)
    {
        value = 0;
        int n = 0;
        while (n < digits && m_pos < m_text.size() &&
               std::isxdigit(static_cast<unsigned char>(m_text[m_pos]))) {
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(m_text[m_pos])));
            value = value * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
            ++m_pos;
            ++n;
        }
        return n > 0;
    }
};

std::optional<std::string> read_whole_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The CRC of the image with both fields counted as zero bytes, written at the CRC field (or
// 0xFF, 0xFF without a time stamp). Only when both fields lie wholly inside the image.
void put_image_crc(std::vector<uint8_t> &image, uint32_t first_address)
{
    if (!g_layout.crc_field || !g_layout.excluded_field)
        return;
    const auto inside = [&](uint32_t address, uint32_t size) {
        return address >= first_address && address - first_address + size <= image.size();
    };
    const uint32_t a1 = *g_layout.crc_field, a2 = *g_layout.excluded_field;
    if (!inside(a1, 2) || !inside(a2, 4))
        return;
    const uint32_t p1 = a1 - first_address, p2 = a2 - first_address;
    uint16_t crc = 0;
    for (uint32_t p = 0; p < image.size(); ++p) {
        const bool left_out = (p >= p1 && p < p1 + 2) || (p >= p2 && p < p2 + 4);
        crc = crc16_update(left_out ? 0 : image[p], 0x1021, crc);
    }
    const bool stamped = IdePreferences().include_time_stamp;
    image[p1] = stamped ? static_cast<uint8_t>(crc) : 0xFF;
    image[p1 + 1] = stamped ? static_cast<uint8_t>(crc >> 8) : 0xFF;
}

// Lays a record's bytes into the image at physical address - first (the part before the
// image's first byte is skipped).
void lay_record(std::vector<uint8_t> &image, uint32_t first_address, const DownloadRecord &r)
{
    const uint32_t physical = r.physical();
    for (uint32_t i = 0; i < r.count; ++i) {
        const uint32_t a = physical + i;
        if (a < first_address || a - first_address >= image.size())
            continue;
        image[a - first_address] = r.data[i];
    }
}

struct FileCloser {
    std::FILE *f;
    ~FileCloser()
    {
        if (f)
            std::fclose(f);
    }
};

}  // namespace

// ---- image files ----------------------------------------------------------------------------------

uint16_t crc16_update(uint8_t byte, uint16_t polynomial, uint16_t crc)
{
    uint16_t value = static_cast<uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit) {
        const bool top = ((value ^ crc) & 0x8000) != 0;
        crc = static_cast<uint16_t>(crc << 1);
        if (top)
            crc ^= polynomial;
        value = static_cast<uint16_t>(value << 1);
    }
    return crc;
}

// An image of the physical range [first, first + sectors * 1024): 0xFF where nothing was
// written, the kept BIOS records when the BIOS is part of the image and this is not the BIOS
// compile that keeps them, then the records of the trace file; then the CRC.
int build_rom_image(const std::string &path, const std::string &object_ext,
                    const std::string &hex_ext, const std::string &image_ext,
                    DLSegmentList *segments, uint32_t *low_sector)
{
    if (path.empty())
        throw xInternal(KX_HERE);
    g_built.reset();
    const std::string object_path = with_extension(path, object_ext);
    const std::string image_path = with_extension(path, image_ext);
    const std::string hex_path = with_extension(path, hex_ext);

    const std::optional<std::string> text = read_whole_file(object_path);
    if (!text)
        return 1;
    std::vector<DownloadRecord> records;
    TraceReader reader(*text);
    for (DownloadRecord r; reader.next(r);) {
        if (uint64_t(r.physical()) + r.count > kPhysicalMask + 1)
            return 1;  // runs past the end of the physical space
        records.push_back(r);
    }
    if (reader.bad)
        return 1;

    const CompileConditions &conditions = compile_conditions();
    const bool kept = conditions.bios_kept_in_memory;
    const bool lay_bios = conditions.bios_present && !kept;

    // The extent: every record that goes into the image, the kept BIOS records included, with
    // four spare sectors above the last byte (never beyond the 1 MB).
    uint32_t high = 0, low = kMaxSectors, lowest = kPhysicalMask;
    const auto scan = [&](const DownloadRecord &r) {
        if (r.count == 0)
            return;
        const uint32_t start = r.physical(), last = start + r.count - 1u;
        lowest = std::min(lowest, start);
        if (last >= high * kSectorSize)
            high = std::min((last >> 10) + 4, kMaxSectors);
        low = std::min(low, start >> 10);
    };
    for (const DownloadRecord &r : records) {
        scan(r);
        if (segments)
            segments->insert(r.physical(), r.count);
    }
    if (lay_bios)
        for (const DownloadRecord &r : g_kept_bios)
            scan(r);
    if (high == 0)
        low = lowest = 0;  // nothing written: an empty image
    // Kept for a later image, or for a board that takes whole sectors: the image begins at 0.
    if (kept || conditions.flash_info || target_operations().GetCommSettings().link_kind != 0)
        low = lowest = 0;
    const bool bin_mode = image_ext.size() >= 3 && equal_ignoring_case(image_ext.substr(0, 3), "bin");
    const bool zero_base = IdePreferences().zero_pad_bin_file;
    if (bin_mode)
        low = 0;
    const uint32_t sectors = high - low;
    const uint32_t first_address = bin_mode && !zero_base ? lowest : low * kSectorSize;

    std::vector<uint8_t> image(std::size_t(sectors) * kSectorSize -
                                   (first_address - low * kSectorSize),
                               0xFF);
    if (lay_bios) {
        for (const DownloadRecord &r : g_kept_bios) {
            lay_record(image, first_address, r);
            mark_flash_sectors(r.physical(), r.count);
        }
    }
    for (const DownloadRecord &r : records) {
        lay_record(image, first_address, r);
        if (kept)
            g_kept_bios.push_back(r);
    }
    if (lay_bios)
        put_image_crc(image, first_address);

    std::FILE *image_file = std::fopen(image_path.c_str(), "w+b");
    const FileCloser close_image{image_file};
    std::FILE *hex_file = image_file ? std::fopen(hex_path.c_str(), "w") : nullptr;
    const FileCloser close_hex{hex_file};
    if (!image_file || !hex_file)
        return 1;
    // An empty image writes nothing (its data pointer may be null, which fwrite may not take).
    if ((!image.empty() && std::fwrite(image.data(), 1, image.size(), image_file) != image.size()) ||
        !write_hex_end(image_file, hex_file) || std::fflush(image_file) != 0 ||
        std::fflush(hex_file) != 0)
        return 1;
    *low_sector = low;
    g_built = BuiltImage{image_path, low, sectors, lowest, first_address};
    return 0;
}

void WriteHexRecord(std::FILE *hex, uint16_t segment, uint16_t offset, const uint8_t *bytes,
                    uint8_t count)
{
    // Extended segment address record ":02000002SS00CC": the 32 KB window 0xSS000.
    if (offset == 0)
        std::fprintf(hex, ":02000002%02X00%02X\n", segment, (-(segment + 4)) & 0xFF);
    // Data record ":LLAAAA00" + data + check, the check making the record's bytes sum to 0.
    unsigned sum = count + (offset & 0xFF) + (offset >> 8);
    std::fprintf(hex, ":%02X%04X00", count, offset);
    for (uint8_t i = 0; i < count; ++i) {
        std::fprintf(hex, "%02X", bytes[i]);
        sum += bytes[i];
    }
    std::fprintf(hex, "%02X\n", (-sum) & 0xFF);
}

bool write_hex_end(std::FILE *image, std::FILE *hex)
{
    std::rewind(image);
    uint16_t segment = 0, offset = 0;
    uint8_t piece[32];
    for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, image)) > 0;) {
        WriteHexRecord(hex, segment, offset, piece, static_cast<uint8_t>(n));
        offset = static_cast<uint16_t>(offset + 32);
        if (offset > 0x7FFF) {
            segment = static_cast<uint16_t>(segment + 8);
            offset = 0;
        }
    }
    std::fprintf(hex, ":00000001FF\n");
    return !std::ferror(image) && !std::ferror(hex);
}

bool pad_bin_file(std::FILE *bin, uint32_t first_sector, uint32_t last_sector)
{
    static const std::array<uint8_t, kSectorSize> kErased = [] {
        std::array<uint8_t, kSectorSize> a;
        a.fill(0xFF);
        return a;
    }();
    for (uint32_t s = first_sector; s < last_sector; ++s)
        if (std::fwrite(kErased.data(), 1, kErased.size(), bin) != kErased.size())
            return false;
    return true;
}

bool write_bin_hex_files(const std::string &path, uint32_t bin_base)
{
    const OriginContainer &table = origin_table();
    const auto split_after = [&](const OriginDirective &o) {
        const OriginDirective *next =
            o.follower >= 0 && static_cast<std::size_t>(o.follower) < table.origins.size()
                ? &table.origins[static_cast<std::size_t>(o.follower)]
                : nullptr;
        return next && next->splitbin ? next : nullptr;
    };
    std::vector<const OriginDirective *> sorted;
    for (const OriginDirective &o : table.origins)
        sorted.push_back(&o);
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto *a, const auto *b) {
        return addr_to_physical(origin_low_end(*a)) < addr_to_physical(origin_low_end(*b));
    });
    if (std::none_of(sorted.begin(), sorted.end(),
                     [&](const OriginDirective *o) { return split_after(*o) != nullptr; }))
        return true;

    const std::string bin_path = with_extension(path, "bin");
    const std::string stem = bin_path.substr(0, bin_path.size() - 4);
    std::FILE *bin = std::fopen(bin_path.c_str(), "rb");
    const FileCloser close_bin{bin};
    if (!bin)
        return true;  // no image to cut
    std::fseek(bin, 0, SEEK_END);
    const long size = std::ftell(bin);
    const uint32_t bin_end = bin_base + static_cast<uint32_t>(size > 0 ? size : 0);

    const auto open_piece = [](const std::string &piece_path, const char *mode) {
        std::FILE *f = std::fopen(piece_path.c_str(), mode);
        if (!f)
            ShowMessageLine(true, text_of(kMsgCannotOpenFile).c_str(), piece_path.c_str());
        return f;
    };
    // Each piece runs from its start to the high end of the origin after which the next one
    // begins (that byte included); the next piece begins at that follower's low end.
    std::size_t cursor = 0;
    uint32_t start = bin_base;
    for (int piece = 0; piece <= table.split_count && start < bin_end; ++piece) {
        uint32_t end = kPhysicalMask;
        std::optional<uint32_t> next_start;
        for (; cursor < sorted.size(); ++cursor) {
            if (const OriginDirective *next = split_after(*sorted[cursor])) {
                end = addr_to_physical(origin_high_end(*sorted[cursor]));
                next_start = addr_to_physical(origin_low_end(*next));
                ++cursor;
                break;
            }
        }
        std::FILE *out = open_piece(stem + std::to_string(piece) + ".bin", "w+b");
        const FileCloser close_out{out};
        if (!out)
            return false;
        uint8_t block[512];
        for (uint32_t at = start; at <= end && at < bin_end;) {
            const uint32_t n = std::min<uint32_t>({512, end - at + 1, bin_end - at});
            if (std::fseek(bin, static_cast<long>(at - bin_base), SEEK_SET) != 0 ||
                std::fread(block, 1, n, bin) != n || std::fwrite(block, 1, n, out) != n)
                return false;
            at += n;
        }
        std::FILE *hex = open_piece(stem + std::to_string(piece) + ".hex", "w");
        const FileCloser close_hex{hex};
        if (!hex || !write_hex_end(out, hex))
            return false;
        if (!next_start)
            break;
        start = *next_start;
    }
    return true;
}
