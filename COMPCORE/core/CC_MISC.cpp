// CC_MISC: path building, file lookup with fallback, file times and the counting allocator.
// Stored paths may carry "\" separators; every path is normalised to "/" before it is split.
// A path that begins with a drive ("C:") keeps it as part of its directory text.
#include "CC_MISC.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

namespace fs = std::filesystem;

namespace {
std::size_t g_allocations = 0;

// path = [directory "/"] name ["." extension]
struct PathParts {
    std::string directory;  // without the final "/"; "/" alone for the root
    bool has_directory = false;
    std::string name;
    std::string extension;  // with its "."
};

PathParts split(const std::string &raw)
{
    const std::string path = normalize_separators(raw);
    PathParts p;
    std::string file = path;
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos) {
        p.has_directory = true;
        p.directory = slash == 0 ? "/" : path.substr(0, slash);
        file = path.substr(slash + 1);
    }
    const std::size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot != 0) {
        p.name = file.substr(0, dot);
        p.extension = file.substr(dot);
    } else {
        p.name = file;
    }
    return p;
}

bool is_absolute_dir(const std::string &dir) { return !dir.empty() && dir[0] == '/'; }

std::string current_directory()
{
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    return ec ? std::string("/") : cwd.string();
}

std::string join(const std::string &base, const std::string &rest)
{
    if (rest.empty())
        return base;
    if (!base.empty() && base.back() == '/')
        return base + rest;
    return base + "/" + rest;
}
}  // namespace

void *counted_malloc(std::size_t size)
{
    ++g_allocations;
    void *p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    return p;
}

char *counted_strdup(const char *text)
{
    const std::size_t n = std::strlen(text) + 1;
    char *copy = static_cast<char *>(counted_malloc(n));
    std::memcpy(copy, text, n);
    return copy;
}

std::size_t counted_allocations() { return g_allocations; }

std::string normalize_separators(const std::string &path)
{
    std::string out = path;
    for (char &c : out)
        if (c == '\\')
            c = '/';
    return out;
}

namespace {

// The entry of `dir` whose name is `component`, exactly or else without regard to case.
std::optional<fs::path> find_component(const fs::path &dir, const std::string &component)
{
    std::error_code ec;
    if (fs::exists(dir / component, ec))
        return dir / component;
    for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (equal_ignoring_case(entry, component))
            return dir / entry;
    }
    return std::nullopt;
}

std::optional<std::string> find_path_ignoring_case(const std::string &path)
{
    const bool absolute = !path.empty() && path[0] == '/';
    fs::path found = absolute ? fs::path("/") : fs::path();
    std::size_t pos = absolute ? 1 : 0;
    while (pos <= path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string component = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (component.empty() || component == ".")
            continue;
        if (component == "..") {
            found /= "..";
            continue;
        }
        std::optional<fs::path> next = find_component(found, component);
        if (!next)
            return std::nullopt;
        found = *next;
    }
    std::error_code ec;
    if (!fs::is_regular_file(found, ec))
        return std::nullopt;
    return found.string();
}

}  // namespace

std::optional<std::string> find_file_ignoring_case(const std::string &name,
                                                   const std::string &directory,
                                                   const std::string &default_extension)
{
    std::string path = normalize_separators(name);
    if (path.empty())
        return std::nullopt;
    if (path[0] != '/' && !directory.empty())
        path = join(normalize_separators(directory), path);
    if (std::optional<std::string> found = find_path_ignoring_case(path))
        return found;
    const PathParts parts = split(path);
    if (!parts.extension.empty() || default_extension.empty())
        return std::nullopt;
    return find_path_ignoring_case(path + "." + default_extension);
}

bool equal_ignoring_case(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string upper_case(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string lower_case(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void make_path(std::string &path, const std::string &reference, const std::string &extension,
               unsigned flags)
{
    PathParts p = split(path);
    std::string ext = extension;
    if (!ext.empty() && ext[0] != '.')
        ext = "." + ext;
    if ((flags & kPathReplaceExt) || (!ext.empty() && p.extension.empty()))
        p.extension = ext;

    if (!is_absolute_dir(p.directory)) {
        std::string base;
        const PathParts ref = split(reference);
        if ((flags & kPathFromReference) && ref.has_directory) {
            base = is_absolute_dir(ref.directory) ? ref.directory
                                                  : join(current_directory(), ref.directory);
        } else {
            base = current_directory();
        }
        p.directory = join(base, p.directory);
    }
    path = join(p.directory, p.name + p.extension);
}

std::FILE *open_with_ext(const std::string &path, const std::string &reference,
                         const std::string &extension, const char *mode, unsigned flags)
{
    std::string first = path;
    make_path(first, reference, extension, flags & ~kPathFromReference);
    if (std::FILE *f = std::fopen(first.c_str(), mode))
        return f;
    std::string second = path;
    make_path(second, reference, extension, flags | kPathFromReference);
    return std::fopen(second.c_str(), mode);
}

int find_file_with_ext(const std::string &path, const std::string &reference,
                       const std::string &extension)
{
    std::error_code ec;
    std::string plain = path;
    make_path(plain, reference, "", 0);
    if (fs::exists(plain, ec))
        return 0;
    std::string with_ext = path;
    make_path(with_ext, reference, extension, 0);
    return fs::exists(with_ext, ec) ? 0 : -1;
}

int64_t file_write_time(const std::string &file_name)
{
    std::error_code ec;
    const auto t = fs::last_write_time(normalize_separators(file_name), ec);
    if (ec)
        return 0;
    return static_cast<int64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count());
}

void touch_file(const std::string &file_name)
{
    std::error_code ec;
    const std::string name = normalize_separators(file_name);
    if (!fs::is_regular_file(name, ec))
        return;
    fs::last_write_time(name, fs::file_time_type::clock::now(), ec);
}
