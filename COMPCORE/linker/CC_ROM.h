// CC_ROM: the download writer and the image files. Every code and constant byte that leaves the
// emit caches passes through `ui_send`, which sends it to the target or writes it as text
// records into the object trace file (".rom"), and marks the 128-byte blocks it touched. After
// the compile the image builder turns the trace file into a flat image of physical memory
// (".bdl", ".bin" or ".bpf") with its Intel HEX twin (".hdl", ".hex"), optionally cut into
// pieces at origins marked "splitbin".
// Reads the compile state of the compile sequence (CC_FIOZ8: output flags and conditions), the
// compile mode (CC_IN) and the settings; sends and reads target memory through the target
// operations. Called by the emit caches (through the compile frame's cache host), the compile
// sequence and the listing writer (list_files). Std-only.
#pragma once

#include "core/CC_ADDR.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// ---- touched-block bitmap --------------------------------------------------------------------
// One bit per 128-byte block of the 20-bit physical space (8192 blocks in 1024 bytes): bit b is
// bit (b mod 8) of byte (b div 8).

void clear_flash_sector_map();
// Marks every block that one of the bytes [physical, physical + count) lies in.
void mark_flash_sectors(uint32_t physical, uint32_t count);
// Whether the bit of block (physical div block_size) is set (block_size 128: the bitmap's own).
[[nodiscard]] bool flash_sector_marked(uint32_t physical, uint32_t block_size);
// Number of marked blocks.
uint32_t count_flash_sectors();

// ---- download segment list -----------------------------------------------------------------------

struct DLSegment {
    uint32_t start = 0;   // physical
    uint32_t length = 0;
    bool operator==(const DLSegment &) const = default;
};

// The downloaded ranges in address order; ranges that overlap or adjoin are one segment.
class DLSegmentList {
public:
    void insert(uint32_t start, uint32_t length);
    void clear() { m_segments.clear(); }
    [[nodiscard]] uint16_t count() const { return static_cast<uint16_t>(m_segments.size()); }
    [[nodiscard]] const std::vector<DLSegment> &segments() const { return m_segments; }

private:
    std::vector<DLSegment> m_segments;
};

// ---- download records ----------------------------------------------------------------------------

// One record of the object trace file read back, and the unit of the BIOS image kept in memory.
struct DownloadRecord {
    uint16_t xpc = 0;
    uint16_t offset = 0;
    uint16_t count = 0;  // at most 512
    uint8_t data[512] = {};
    uint16_t sum = 0;    // 16-bit sum of the data bytes
    [[nodiscard]] uint32_t physical() const { return (uint32_t(xpc) * 0x1000u + offset) & kPhysicalMask; }
};

// The BIOS records kept in memory (the download block vector), in the order they were written.
// A BIOS compile that keeps its image starts them anew.
const std::vector<DownloadRecord> &kept_bios_records();
void clear_kept_bios_records();

// ---- values the start-up block supplies -----------------------------------------------------------

// What the writer reads of the memory map that only the start-up block generator knows: the
// interrupt vector base for the trace file's trailer, the page limit (4 KB pages) below which a
// mode-2 compile writes straight to the target, and where the image CRC (2 bytes) and the
// 4-byte field it leaves out lie (physical addresses). Without both fields no CRC is written.
struct ImageLayout {
    uint16_t interrupt_vector_base = 0;
    uint16_t direct_write_page_limit = 0;
    std::optional<uint32_t> crc_field;
    std::optional<uint32_t> excluded_field;
};
void set_image_layout(const ImageLayout &layout);
const ImageLayout &image_layout();

// ---- the download writer ---------------------------------------------------------------------------

// Sends count bytes at an address word: to the target, or as records of at most 400 bytes into
// the object trace file (marking their blocks), by the output flags and the compile mode.
void ui_send(uint16_t count, uint32_t addr, const uint8_t *bytes);
// The same for any count, in pieces of at most 65535 bytes, each at the xmem form of its
// physical address. What the emit caches' write-out calls.
void ui_send_block(uint32_t count, uint32_t addr, const uint8_t *bytes);

// Opens "<path>.rom" for the records (closing one still open); copies the BIOS's root region
// into it first when the output flags ask for that. 0 on success or when no output is wanted,
// 1 when the file cannot be opened (the compile then ends with "Unable to Open Object File.").
[[nodiscard]] int open_object_file(const std::string &path, bool from_file);
// Writes the trailer lines and closes the file.
void close_object_file();
// Whether the object trace file is open (tests).
bool object_file_open();

// ---- image files ------------------------------------------------------------------------------------

// One step of CRC-16 over a byte: polynomial `polynomial`, most significant bit first, no
// reflection, no final XOR (with 0x1021 and an initial 0: the CRC-16/XMODEM).
uint16_t crc16_update(uint8_t byte, uint16_t polynomial, uint16_t crc);

// Builds "<path>.<image_ext>" and "<path>.<hex_ext>" from "<path>.<object_ext>". Every record's
// range goes into `segments` when one is given. 0 on success with the image's low sector (1024
// bytes each; the image's first byte is physical low * 1024 unless it is a "bin" image, whose
// first byte is the lowest address written) in *low_sector; 1 when a file cannot be opened or
// the trace file is malformed (nothing is then left that looks like a finished image).
[[nodiscard]] int build_rom_image(const std::string &path, const std::string &object_ext,
                                  const std::string &hex_ext, const std::string &image_ext,
                                  DLSegmentList *segments, uint32_t *low_sector);

// What the last successful build made (cleared by `open_object_file`).
struct BuiltImage {
    std::string image_path;
    uint32_t low_sector = 0;
    uint32_t sector_count = 0;    // sectors of the image file
    uint32_t lowest_address = 0;  // physical address of the lowest record
    uint32_t first_address = 0;   // physical address of the image file's first byte
};
std::optional<BuiltImage> last_built_image();

// Writes one Intel HEX data record of `count` bytes (1 to 255) at `offset` of the current
// 32 KB window; at offset 0 the window's extended segment address record goes first.
void WriteHexRecord(std::FILE *hex, uint16_t segment, uint16_t offset, const uint8_t *bytes,
                    uint8_t count);
// Writes the whole image (read from its start) as Intel HEX, 32 bytes a record (a short last
// read makes a short record), then the end record. False when a read or write failed.
[[nodiscard]] bool write_hex_end(std::FILE *image, std::FILE *hex);
// Writes (last - first) sectors of 0xFF at the stream's position. False when a write failed.
[[nodiscard]] bool pad_bin_file(std::FILE *bin, uint32_t first_sector, uint32_t last_sector);

// Cuts "<path>.bin" (whose byte 0 is the physical address `bin_base`) at the origins whose
// follower is marked "splitbin" into "<path>N.bin" with "<path>N.hex". Nothing without such an
// origin. False when a piece could not be written.
[[nodiscard]] bool write_bin_hex_files(const std::string &path, uint32_t bin_base);

// Message ids of this unit.
enum : uint32_t {
    kMsgImproperUiSend = 7400,
    kMsgDownloadingLibrary = 7401,
};
