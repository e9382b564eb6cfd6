// BiosCache: the BIOS compile's output sets under the user's cache folder (see the header).
#include "BiosCache.h"

#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

namespace fs = std::filesystem;

// A compile's own folder, and a replaced set on its way out, beside the sets of the source.
constexpr const char kCompilePrefix[] = ".compile-";
constexpr const char kOldPrefix[] = ".old-";
// Folders of those kinds older than this were left by a program that ended mid-compile.
constexpr auto kLeftoverAge = std::chrono::hours(1);

std::string g_root_override;
std::string g_last_set;

// FNV-1a over the path: two sources of one name in different folders get different sets.
uint64_t path_hash(const std::string &path)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : path) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

std::string absolute_source(const std::string &bios_source)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(bios_source, ec);
    return (ec ? fs::path(bios_source) : absolute).lexically_normal().string();
}

// Every folder from the root down to `folder` is made; the first one that cannot be is named.
bool make_folders(const fs::path &folder, std::string &failed_folder, std::string &reason)
{
    fs::path made;
    for (const fs::path &part : folder) {
        made /= part;
        std::error_code ec;
        const fs::file_status status = fs::status(made, ec);
        if (fs::is_directory(status))
            continue;
        failed_folder = made.string();
        if (fs::exists(status)) {
            reason = "something that is not a folder has its name";
            return false;
        }
        if (fs::create_directory(made, ec) || fs::is_directory(made))
            continue;
        reason = ec ? ec.message() : std::string("it cannot be made");
        return false;
    }
    return true;
}

void remove_leftovers(const fs::path &source_folder)
{
    std::error_code ec;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(source_folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kCompilePrefix, 0) != 0 && name.rfind(kOldPrefix, 0) != 0)
            continue;
        std::error_code time_ec;
        const auto written = fs::last_write_time(it->path(), time_ec);
        if (!time_ec && now - written > kLeftoverAge) {
            std::error_code ignored;
            fs::remove_all(it->path(), ignored);
        }
    }
}

// A fresh, empty folder named after the prefix below `parent`; empty when none can be made.
std::string fresh_folder(const fs::path &parent, const char *prefix)
{
    std::string pattern = (parent / (std::string(prefix) + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
        return {};
    return pattern;
}

} // namespace

std::string user_cache_folder()
{
    std::string base;
    if (const char *cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/')
        base = cache;
    else if (const char *home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.cache";
    else
        base = fs::temp_directory_path().string();
    return (fs::path(base) / "korvex").string();
}

std::string bios_cache_root()
{
    if (!g_root_override.empty())
        return g_root_override;
    return (fs::path(user_cache_folder()) / "bios").string();
}

void set_bios_cache_root(const std::string &folder) { g_root_override = folder; }

std::string bios_cache_source_folder(const std::string &bios_source)
{
    const std::string source = absolute_source(bios_source);
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(path_hash(source)));
    const std::string stem = fs::path(source).stem().string();
    return (fs::path(bios_cache_root()) / (stem + "-" + hash)).string();
}

std::string bios_cache_set_folder(const std::string &bios_source, uint16_t board_type)
{
    char board[8];
    std::snprintf(board, sizeof board, "%04x", static_cast<unsigned>(board_type));
    return (fs::path(bios_cache_source_folder(bios_source)) / board).string();
}

bool bios_cache_set_complete(const std::string &set_folder, const std::string &bios_source)
{
    if (set_folder.empty())
        return false;
    const std::string stem = fs::path(bios_source).stem().string();
    std::error_code ec;
    for (const char *extension : {".brk", ".map"})
        if (!fs::is_regular_file(fs::path(set_folder) / (stem + extension), ec))
            return false;
    return true;
}

const std::string &last_bios_cache_set() { return g_last_set; }
void forget_last_bios_cache_set() { g_last_set.clear(); }

BiosCompileOutputs::~BiosCompileOutputs() { discard(); }

bool BiosCompileOutputs::open(const std::string &bios_source, std::string &failed_folder,
                              std::string &reason)
{
    discard();
    m_source = bios_source;
    const fs::path source_folder = bios_cache_source_folder(bios_source);
    if (!make_folders(source_folder, failed_folder, reason))
        return false;
    remove_leftovers(source_folder);
    m_folder = fresh_folder(source_folder, kCompilePrefix);
    if (m_folder.empty()) {
        failed_folder = (source_folder / (std::string(kCompilePrefix) + "XXXXXX")).string();
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

bool BiosCompileOutputs::publish(uint16_t board_type)
{
    if (m_folder.empty())
        return false;
    const fs::path set = bios_cache_set_folder(m_source, board_type);
    // Another program may put its own set there between the two renames: the old one is moved
    // aside again, a few times at most.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::error_code ec;
        std::string old;
        if (fs::exists(fs::symlink_status(set, ec))) {
            old = fresh_folder(set.parent_path(), kOldPrefix);
            if (old.empty())
                break;
            fs::rename(set, old, ec);  // onto the empty folder just made
            if (ec) {
                std::error_code ignored;
                fs::remove_all(old, ignored);
                continue;
            }
        }
        fs::rename(m_folder, set, ec);
        if (!old.empty()) {
            std::error_code ignored;
            fs::remove_all(old, ignored);
        }
        if (!ec) {
            m_folder.clear();
            g_last_set = set.string();
            return true;
        }
    }
    discard();
    return false;
}

void BiosCompileOutputs::discard()
{
    if (m_folder.empty())
        return;
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
    m_folder.clear();
}
