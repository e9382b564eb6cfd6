// CC_MISC: small file and memory services shared by the compiler driver, the output writers and
// the IDE: full file paths from a name, a reference path and an extension; opening and finding
// files with a fallback to the reference directory; file times for out-of-date checks; and the
// counting allocator of the compiler's tables. Paths may use "\" or "/"; built paths use "/".
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

// Memory from the heap (release with std::free); counts every allocation first. Throws
// std::bad_alloc when the heap has no room.
void *counted_malloc(std::size_t size);
// A copy of a text through the counting allocator (release with std::free).
char *counted_strdup(const char *text);
// Allocations made through the counting allocator so far.
std::size_t counted_allocations();

// make_path flags
inline constexpr unsigned kPathFromReference = 1;  // bit 0: resolve against the reference's directory
inline constexpr unsigned kPathReplaceExt = 2;     // bit 1: the extension replaces the path's own

// Rewrites `path` in place into an absolute path. The extension (with or without its leading
// ".") replaces the path's extension with kPathReplaceExt, or is added when the path has none.
// A relative directory is resolved against the reference path's directory with
// kPathFromReference (when the reference has one), else against the current directory.
void make_path(std::string &path, const std::string &reference, const std::string &extension,
               unsigned flags);

// Opens the path built without, then with kPathFromReference; nullptr when neither opens.
std::FILE *open_with_ext(const std::string &path, const std::string &reference,
                         const std::string &extension, const char *mode, unsigned flags);

// 0 when the file exists as named or with the extension, -1 otherwise.
int find_file_with_ext(const std::string &path, const std::string &reference,
                       const std::string &extension);

// The largest libraries list ("Lib.dir") read: a list names a few dozen libraries, and one
// that is larger (or a device read without end) is no list.
inline constexpr std::size_t kLibrariesListMaxBytes = std::size_t(1) << 20;

// The regular file a name stands for, each component matched without regard to case (an exact
// match first) so that a name written in another case still finds its file, which keeps its own
// case. A relative name is looked for in `directory`; a name whose last component has no
// extension is tried as given, then with `default_extension` (without its "."). Nothing when no
// such file exists.
std::optional<std::string> find_file_ignoring_case(const std::string &name,
                                                   const std::string &directory,
                                                   const std::string &default_extension);

// The file's last-write time as a full count of nanoseconds (so times compare exactly);
// 0 when the file does not exist.
int64_t file_write_time(const std::string &file_name);

// Sets an existing file's last-write time to now; a missing file is left alone (not created).
void touch_file(const std::string &file_name);

// The path with every "\" turned into "/".
std::string normalize_separators(const std::string &path);

// Names (file names, library names, keywords) compared without regard to the case of their
// letters; every other byte must match as it is.
[[nodiscard]] bool equal_ignoring_case(std::string_view a, std::string_view b);
// The text with its letters turned to upper case, or to lower case.
[[nodiscard]] std::string upper_case(std::string text);
[[nodiscard]] std::string lower_case(std::string text);
