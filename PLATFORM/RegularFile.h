// RegularFile: reading a whole data file that must be an ordinary file. Opening never waits:
// a FIFO, a device or a directory is refused before a byte is read, and a file is read only up
// to a limit, so one that grows while it is read (or is simply too large) cannot take more
// memory than the caller allows. Std + POSIX.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class RegularFileStatus {
    Read,        // bytes hold the whole file
    NotOpened,   // missing, or not ours to read
    NotRegular,  // a directory, FIFO, socket or device
    TooLarge,    // more than the limit (bytes is left empty)
    ReadError,   // opened, but reading failed
};

// Reads the file (a symbolic link is followed) into `bytes`, at most `limit` bytes.
[[nodiscard]] RegularFileStatus read_regular_file(const std::string &path, std::size_t limit,
                                                  std::vector<uint8_t> &bytes);

// True when the path names an ordinary file (a symbolic link is followed).
[[nodiscard]] bool is_regular_file_path(const std::string &path);
