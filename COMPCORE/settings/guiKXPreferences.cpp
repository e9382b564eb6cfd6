// guiKXPreferences: the settings object with its defaults, and the source-extension set.
// The object is built before start-up with the defaults of its fields; the settings load
// (guiEnvironment) and the project fill it in.
#include "guiKXPreferences.h"

#include <algorithm>
#include <climits>

namespace {
TIdePreferences g_preferences;
} // namespace

TIdePreferences &IdePreferences() { return g_preferences; }

void reset_preferences_to_defaults() { g_preferences = TIdePreferences{}; }

std::array<DebugWindowSettings *, 8> debug_window_blocks(TIdePreferences &prefs)
{
    return {&prefs.stdio, &prefs.assembly, &prefs.stack,  &prefs.registers,
            &prefs.memory_dump, &prefs.watch, &prefs.trace, &prefs.messages};
}

// list = { piece ";" } [ remainder ]: every piece goes in, even an empty one; the remainder only
// when it is not empty. Duplicates collapse.
void SetSourceExtensions(const std::string &list)
{
    std::set<std::string> &extensions = g_preferences.SourceExtensions;
    extensions.clear();
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type semicolon = list.find(';', start);
        if (semicolon == std::string::npos)
            break;
        extensions.insert(list.substr(start, semicolon - start));
        start = semicolon + 1;
    }
    if (start < list.size())
        extensions.insert(list.substr(start));
}

namespace {

// a * b / c rounded half away from zero, held to 32 bits.
int32_t mul_div(int32_t a, int32_t b, int32_t c)
{
    const int64_t product = static_cast<int64_t>(a) * b;
    const int64_t half = c / 2;
    const int64_t q = product >= 0 ? (product + half) / c : (product - half) / c;
    return static_cast<int32_t>(std::clamp<int64_t>(q, INT32_MIN, INT32_MAX));
}

} // namespace

void TPrinterFont::SetHeight(int32_t pixels)
{
    height = pixels;
    size = -mul_div(pixels, 72, kScreenPixelsPerInch);
}

void TPrinterFont::SetSize(int32_t points)
{
    size = points;
    height = -mul_div(points, kScreenPixelsPerInch, 72);
}

TPrinterFont printer_font(std::string name, int32_t height)
{
    TPrinterFont font;
    font.name = std::move(name);
    font.SetHeight(height);
    return font;
}
