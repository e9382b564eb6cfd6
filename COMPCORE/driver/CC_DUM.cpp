// CC_DUM: the compiler core's status-line and message-box output.
#include "CC_DUM.h"

#include <cstdarg>

#include "BoundedFormat.h"
#include "core/guiInterface.h"

namespace {
bool g_muted = false;
constexpr uint32_t kMsgProductName = 16; // "Korvex"
} // namespace

int ShowCompilerMessageBox(TGuiWindow *, const char *text, const char *caption, unsigned flags)
{
    return ShowAppMessageBox(text ? text : "", caption ? caption : "", flags);
}

void ShowMessageLine(bool box, const char *format, ...)
{
    if (g_muted)
        return;
    va_list args;
    va_start(args, format);
    std::string line = bounded_vformat(format, args);
    va_end(args);
    if (!box) {
        gDialogControl.SizeStatusBoxToText(line);
        return;
    }
    if (splash_host().IsVisible())
        splash_host().Hide();
    ShowCompilerMessageBox(nullptr, line.c_str(), GetResString(kMsgProductName).c_str(), kMbOk);
}

void unmute_messages() { g_muted = false; }
void mute_messages() { g_muted = true; }
bool messages_muted() { return g_muted; }

// --- refuse_include / get_flash_size: defined with the macro table ---
// (bodies kept by the source-input unit)
#include "input/CC_IN.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

void refuse_include() { error_here(msg(2128)); }

// Follows "FLASH_SIZE" from macro to macro until a name is no macro; a name met twice ends the
// walk, so "#define FLASH_SIZE FLASH_SIZE" and longer cycles terminate.
uint32_t get_flash_size() {
    std::string name = "FLASH_SIZE";
    std::vector<std::string> seen;
    unsigned long value = 0;
    bool numeric = false;
    while (macroinfo *info = find_macro_value(name)) {
        if (std::find(seen.begin(), seen.end(), name) != seen.end())
            break;
        seen.push_back(name);
        name = info->text;
        if (!name.empty() && std::isdigit(static_cast<unsigned char>(name[0]))) {
            value = std::strtoul(name.c_str(), nullptr, 0);
            numeric = true;
        }
    }
    return numeric ? static_cast<uint32_t>(value * 4096u) : 0;
}
// --- end of the source-input block ---
