// FileReplace: whole-file replacement through a scratch file, or in place with a way back.
#include "FileReplace.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

namespace {

namespace fs = std::filesystem;

std::string errno_text(int error) { return std::generic_category().message(error); }

// Writes all bytes to a new or truncated file; the reason when that failed, and whether the
// file could not even be opened because we may not.
bool write_all(const fs::path &path, std::string_view bytes, std::string &reason,
               bool *refused = nullptr)
{
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        const int error = errno ? errno : EIO;
        reason = errno_text(error);
        if (refused)
            *refused = error == EACCES || error == EPERM;
        return false;
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
        reason = errno_text(errno ? errno : EIO);
        return false;
    }
    out.close();
    if (!out) {
        reason = errno_text(errno ? errno : EIO);
        return false;
    }
    return true;
}

bool read_all(const fs::path &path, std::string &bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A name beside the file that nothing uses yet.
fs::path scratch_beside(const fs::path &target)
{
    std::random_device seed;
    std::mt19937 gen(seed());
    std::error_code ec;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = target;
        candidate += ".kxsave" + std::to_string(gen() % 1000000u);
        if (!fs::exists(candidate, ec))
            return candidate;
    }
    return {};
}

// For a file with other hard links: the links must keep seeing one file, so it is rewritten
// where it is, and its old bytes go back when the new ones could not be written.
bool rewrite_in_place(const fs::path &target, std::string_view bytes, std::string &reason)
{
    std::string old;
    if (!read_all(target, old)) {
        reason = errno_text(errno ? errno : EIO);
        return false;
    }
    if (write_all(target, bytes, reason))
        return true;
    std::string ignored;
    (void)write_all(target, old, ignored);
    return false;
}

} // namespace

bool replace_file_contents(const std::string &path, std::string_view bytes, std::string &reason)
{
    std::error_code ec;
    fs::path target(path);
    if (fs::is_symlink(target, ec)) {
        target = fs::canonical(target, ec);
        if (ec) {
            reason = ec.message();
            return false;
        }
    }
    const fs::file_status status = fs::status(target, ec);
    const bool exists = fs::exists(status);
    if (exists && fs::is_directory(status)) {
        reason = errno_text(EISDIR);
        return false;
    }
    // A FIFO, socket or device at the path stays what it is: renaming a scratch file over it
    // would replace it, and writing into it could wait for a reader or never end.
    if (exists && !fs::is_regular_file(status)) {
        reason = "it is not an ordinary file (a FIFO, socket or device)";
        return false;
    }
    if (exists && fs::hard_link_count(target, ec) > 1)
        return rewrite_in_place(target, bytes, reason);

    const fs::path scratch = scratch_beside(target);
    bool refused = false;
    if (scratch.empty() || !write_all(scratch, bytes, reason, &refused)) {
        fs::remove(scratch, ec);
        // The folder may refuse new files while the file itself may be written.
        if (exists && (refused || scratch.empty()))
            return rewrite_in_place(target, bytes, reason);
        if (scratch.empty())
            reason = errno_text(EEXIST);
        return false;
    }
    if (exists) {
        fs::permissions(scratch, status.permissions(), fs::perm_options::replace, ec);
        ec.clear();
    }
    fs::rename(scratch, target, ec);
    if (ec) {
        reason = ec.message();
        fs::remove(scratch, ec);
        return false;
    }
    return true;
}
