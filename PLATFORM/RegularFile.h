// RegularFile: reading a whole data file that must be an ordinary file. Opening never waits:
// a FIFO, a device or a directory is refused before a byte is read, and a file is read only up
// to a limit, so one that grows while it is read (or is simply too large) cannot take more
// memory than the caller allows. Std + POSIX.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
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

// Reads at most `limit` bytes from the start of the file: a longer file is not refused but cut,
// and `cut` tells so. For files whose head is worth having (histories, logs).
[[nodiscard]] RegularFileStatus read_regular_file_head(const std::string &path, std::size_t limit,
                                                       std::vector<uint8_t> &bytes, bool &cut);

// The whole file as text, at most `limit` bytes, as read_regular_file.
[[nodiscard]] RegularFileStatus read_regular_text(const std::string &path, std::size_t limit,
                                                  std::string &text);

// Why the file was not read, to follow its name in a message ("x.c: it is a folder"):
// "it is a folder", "it is not an ordinary file (a FIFO, socket or device)", "it is larger
// than 4 MB", "it is missing", "it cannot be read: <reason>". Empty for Read.
[[nodiscard]] std::string regular_file_refusal(const std::string &path, RegularFileStatus status,
                                               std::size_t limit);

// Opens an ordinary file for writing, made when missing, emptied unless `append`: never waits,
// and refuses a FIFO, socket or device (neither written into nor replaced) and a folder. The
// descriptor, or -1 with `why` ("it is a folder", "it is not an ordinary file (...)", or the
// system's reason).
[[nodiscard]] int open_regular_for_writing(const std::string &path, bool append, std::string &why);

// Opens an ordinary file for reading in pieces (a search through files, a window around a
// match): never waits, and gives nothing for a folder, FIFO, socket or device.
[[nodiscard]] std::FILE *open_regular_file_stream(const std::string &path);

// True when the path names an ordinary file (a symbolic link is followed).
[[nodiscard]] bool is_regular_file_path(const std::string &path);
