// guiMru: the most-recently-used list and its File-menu numbering.
#include "guiMru.h"

#include <filesystem>
#include <iterator>
#include <list>
#include <system_error>

#include "core/CC_MISC.h"

namespace {

// The list, front = most recent; it owns its records.
std::list<sEditInfo> gMruList;
int g_separator_index = -1;

// Two paths name one entry when they are equal without regard to case; "\" and "/" count as the
// same separator, as stored paths may hold either.
bool same_path(const std::string &a, const std::string &b)
{
    return equal_ignoring_case(normalize_separators(a), normalize_separators(b));
}

bool file_exists(const std::string &path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(normalize_separators(path), ec);
}

// Removes the first entry of the path, if any.
void remove_older_entry(const std::string &path)
{
    for (auto it = gMruList.begin(); it != gMruList.end(); ++it) {
        if (same_path(it->path, path)) {
            gMruList.erase(it);
            return;
        }
    }
}

void trim()
{
    while (gMruList.size() > static_cast<std::size_t>(kMruMaxEntries))
        gMruList.pop_back();
}

} // namespace

void SetMruSeparatorIndex(int index) { g_separator_index = index; }
int MruSeparatorIndex() { return g_separator_index; }

int16_t MruCount() { return static_cast<int16_t>(gMruList.size()); }

int MruFindFile(const std::string &path)
{
    int index = g_separator_index + 1;
    for (const sEditInfo &entry : gMruList) {
        if (same_path(entry.path, path))
            return index;
        ++index;
    }
    return -1;
}

std::optional<sEditInfo> MruGetEntry(int index, bool from_menu)
{
    const int position = from_menu ? index - g_separator_index - 1 : index;
    if (position < 0 || position >= static_cast<int>(gMruList.size()))
        return std::nullopt;
    return *std::next(gMruList.begin(), position);
}

void MruRemoveEntry(int index)
{
    const int position = index - g_separator_index - 1;
    if (position < 0 || position >= static_cast<int>(gMruList.size()))
        return;
    gMruList.erase(std::next(gMruList.begin(), position));
}

void MruClear() { gMruList.clear(); }

void MruAddEntry(sEditInfo record)
{
    remove_older_entry(record.path);
    gMruList.push_front(std::move(record));
    trim();
}

void MruAddEditor(const sEditInfo &editor)
{
    remove_older_entry(editor.path);
    if (file_exists(editor.path))
        gMruList.push_front(editor);
    trim();
}

std::vector<std::string> MruMenuPaths()
{
    std::vector<std::string> paths;
    for (const sEditInfo &entry : gMruList) {
        if (paths.size() == static_cast<std::size_t>(kMruMenuItems))
            break;
        paths.push_back(entry.path);
    }
    return paths;
}

std::string MruMenuCaption(int n, const std::string &path)
{
    if (n == 10)
        return "1&0 " + path;
    return "&" + std::to_string(n) + " " + path;
}
