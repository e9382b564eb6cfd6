// guiKXPreferences: the settings object with its defaults, and the source-extension set.
// The object is built before start-up with the defaults of its fields; the settings load
// (guiEnvironment) and the project fill it in.
#include "guiKXPreferences.h"

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
