// Temporaryglobals: start-up values of program-wide globals.
#include "Temporaryglobals.h"

#include <filesystem>
#include <system_error>

namespace {
constexpr std::array<FlagColour, 4> kStartColours = {
    {{0, 0xFF0000}, {0, 0x00FF00}, {0, 0x0000FF}, {0, 0xFF0000}}};
int g_capacity = 0;
bool g_capacity_set = false;
} // namespace

std::string gCmdLineProject;
std::string gCmdLineSource;
std::array<FlagColour, 4> gFlagColours = kStartColours;

std::string resource_directory_of(const std::string &program_path)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(program_path).parent_path();
    std::error_code ec;
    const fs::path staged = folder.parent_path() / "korvex";
    const fs::path chosen = fs::is_directory(staged, ec) ? staged : folder;
    std::string text = chosen.lexically_normal().string();
    if (text.empty())
        return "./";
    if (text.back() != '/')
        text.push_back('/');
    return text;
}

int message_list_capacity(int base_count, int max_errors, int max_warnings)
{
    if (!g_capacity_set) {
        g_capacity = base_count + max_errors + max_warnings + 2;
        g_capacity_set = true;
    }
    return g_capacity;
}

int message_list_capacity() { return g_capacity; }

void set_message_list_capacity(int capacity)
{
    g_capacity = capacity;
    g_capacity_set = true;
}

void reset_temporary_globals()
{
    gCmdLineProject.clear();
    gCmdLineSource.clear();
    gFlagColours = kStartColours;
    g_capacity = 0;
    g_capacity_set = false;
}
