// RegularFile: opened without blocking, checked on the open descriptor (so nothing can be
// swapped in between the check and the read), read in pieces up to one byte past the limit.
#include "RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes the descriptor on every way out.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Reads the file up to `limit` bytes; a longer one is refused, or cut at the limit when `cut`
// is given.
RegularFileStatus read_up_to(const std::string &path, std::size_t limit,
                             std::vector<uint8_t> &bytes, bool *cut)
{
    bytes.clear();
    if (cut)
        *cut = false;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0)
        return RegularFileStatus::NotOpened;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        return RegularFileStatus::ReadError;
    if (!S_ISREG(st.st_mode))
        return RegularFileStatus::NotRegular;
    if (!cut && st.st_size > 0 && static_cast<unsigned long long>(st.st_size) > limit)
        return RegularFileStatus::TooLarge;

    // One byte past the limit tells a file that grew beyond it from one that fits exactly.
    const std::size_t wanted = limit + 1;
    bytes.resize(std::min(wanted, st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 4096));
    std::size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (bytes.size() >= wanted)
                break;
            bytes.resize(std::min(wanted, bytes.size() * 2));
        }
        const ssize_t got = ::read(file.fd, bytes.data() + have, bytes.size() - have);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            bytes.clear();
            return RegularFileStatus::ReadError;
        }
        if (got == 0)
            break;
        have += static_cast<std::size_t>(got);
    }
    if (have > limit && cut) {
        *cut = true;
        have = limit;
    } else if (have > limit) {
        bytes.clear();
        return RegularFileStatus::TooLarge;
    }
    bytes.resize(have);
    return RegularFileStatus::Read;
}

// "4 MB", "64 KB" or "100 bytes".
std::string size_text(std::size_t bytes)
{
    if (bytes >= (std::size_t(1) << 20) && bytes % (std::size_t(1) << 20) == 0)
        return std::to_string(bytes >> 20) + " MB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes >> 10) + " KB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace

RegularFileStatus read_regular_file(const std::string &path, std::size_t limit,
                                    std::vector<uint8_t> &bytes)
{
    return read_up_to(path, limit, bytes, nullptr);
}

RegularFileStatus read_regular_file_head(const std::string &path, std::size_t limit,
                                         std::vector<uint8_t> &bytes, bool &cut)
{
    return read_up_to(path, limit, bytes, &cut);
}

RegularFileStatus read_regular_text(const std::string &path, std::size_t limit, std::string &text)
{
    std::vector<uint8_t> bytes;
    const RegularFileStatus status = read_regular_file(path, limit, bytes);
    text.assign(bytes.begin(), bytes.end());
    return status;
}

std::string regular_file_refusal(const std::string &path, RegularFileStatus status,
                                 std::size_t limit)
{
    const int error = errno;
    struct stat st {};
    switch (status) {
    case RegularFileStatus::Read:
        return {};
    case RegularFileStatus::NotOpened:
        if (::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR))
            return "it is missing";
        return std::string("it cannot be read: ") + std::strerror(error ? error : EACCES);
    case RegularFileStatus::NotRegular:
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return "it is a folder";
        return "it is not an ordinary file (a FIFO, socket or device)";
    case RegularFileStatus::TooLarge:
        return "it is larger than " + size_text(limit);
    case RegularFileStatus::ReadError:
        return std::string("it cannot be read: ") + std::strerror(error ? error : EIO);
    }
    return {};
}
int open_regular_for_writing(const std::string &path, bool append, std::string &why)
{
    static const char *const kNotOrdinary = "it is not an ordinary file (a FIFO, socket or device)";
    // O_NONBLOCK: opening a FIFO for writing would otherwise wait for a reader.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY |
                              (append ? O_APPEND : 0),
                          0666);
    if (fd < 0) {
        why = errno == EISDIR ? "it is a folder" : errno == ENXIO ? kNotOrdinary : std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = kNotOrdinary;
        return -1;
    }
    if (!append && ::ftruncate(fd, 0) != 0) {
        why = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    // Writes wait as an ordinary file's do.
    (void)::fcntl(fd, F_SETFL, append ? O_APPEND : 0);
    return fd;
}

std::FILE *open_regular_file_stream(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    (void)::fcntl(fd, F_SETFL, 0);
    std::FILE *file = ::fdopen(fd, "rb");
    if (!file)
        ::close(fd);
    return file;
}

bool is_regular_file_path(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
