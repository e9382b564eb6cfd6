// RegularFile: opened without blocking, checked on the open descriptor (so nothing can be
// swapped in between the check and the read), read in pieces up to one byte past the limit.
#include "RegularFile.h"

#include <algorithm>
#include <cerrno>
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

}  // namespace

RegularFileStatus read_regular_file(const std::string &path, std::size_t limit,
                                    std::vector<uint8_t> &bytes)
{
    bytes.clear();
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0)
        return RegularFileStatus::NotOpened;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        return RegularFileStatus::ReadError;
    if (!S_ISREG(st.st_mode))
        return RegularFileStatus::NotRegular;
    if (st.st_size > 0 && static_cast<unsigned long long>(st.st_size) > limit)
        return RegularFileStatus::TooLarge;

    // One byte past the limit tells a file that grew beyond it from one that fits exactly.
    const std::size_t wanted = limit + 1;
    bytes.resize(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 4096);
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
    if (have > limit) {
        bytes.clear();
        return RegularFileStatus::TooLarge;
    }
    bytes.resize(have);
    return RegularFileStatus::Read;
}

bool is_regular_file_path(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
