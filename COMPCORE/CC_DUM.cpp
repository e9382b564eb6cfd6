// CC_DUM: the compiler core's status-line and message-box output.
#include "CC_DUM.h"

#include <cstdarg>

#include "BoundedFormat.h"
#include "guiInterface.h"

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
