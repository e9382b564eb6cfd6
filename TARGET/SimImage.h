// SimImage: loads program images into the board stand-in's physical memory: a raw "bin"
// image at a chosen physical address, or an Intel HEX image at the addresses its records
// give (data, end-of-file, extended segment and extended linear address records).
// Loading writes flash directly (as the firmware side does). Used by tools/kxrun, tools/kxboard
// and tests. Standard library and compcore's name comparison.
#pragma once

#include "SimBoard.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vsim {

struct LoadResult {
    bool ok = false;
    std::string error;  // what went wrong, with the line for HEX images
    uint32_t bytes = 0; // data bytes written
    uint32_t lowest = 0, highest = 0; // physical range written (when bytes > 0)
    std::vector<std::string> warnings; // loaded, but worth telling (HEX: with the line)
};

// A "bin" image: every byte at physical + index. Fails (writing nothing) when the image does
// not fit into mapped memory.
[[nodiscard]] LoadResult load_bin_image(SimBoard &board, std::string_view bytes,
                                        uint32_t physical);

// An Intel HEX text. Checks every record's length, hexadecimal digits and checksum first;
// nothing is written unless the whole text is valid and every byte lands in mapped memory.
[[nodiscard]] LoadResult load_hex_image(SimBoard &board, std::string_view text);

// Whether a file's contents are an Intel HEX text, whatever its name (".hex", ".ihx", ".hdl"):
// the first line is one record, ":" and at least ten hexadecimal digits. A "bin" image whose
// first instruction is ld a,(mn) also begins with ':', but not with a line of digits.
[[nodiscard]] bool looks_like_hex_image(std::string_view contents);

// Image files are read whole, regular files only, and no larger than this: an image of more
// bytes (even as HEX text of one-byte records, 13 characters a byte) cannot fit into the 1 MB
// physical space.
inline constexpr size_t kMaxImageFileBytes = size_t(16) << 20;

enum class ReadStatus { Read, Unreadable, NotAFile, TooLarge };
// Reads a whole file: a FIFO, device or folder is refused without waiting, and a file past
// kMaxImageFileBytes is not read.
[[nodiscard]] ReadStatus read_image_file(const std::string &path, std::string &contents);
// The same; false for anything but a whole regular file.
[[nodiscard]] bool read_file(const std::string &path, std::string &contents);

// An image named on a command line: "FILE@PHYS" loads FILE as a "bin" image at PHYS (a number
// in C notation below 1 MB); a plain FILE loads as Intel HEX when it is named ".hex" or holds
// HEX text, else as a "bin" image at physical 0. The error names the argument or the file.
[[nodiscard]] LoadResult load_image_argument(SimBoard &board, const std::string &argument);

} // namespace vsim
