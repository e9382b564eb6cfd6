// CC_DUM: status lines and message boxes of the compiler core, and two small driver services.
// Output goes through the host services (status box, splash, message box); a mute flag drops it
// while the compile entry wants silence.
#pragma once

#include <cstdint>
#include <string>

class TGuiWindow;

// The application's message box, owned by the given window (may be null); returns the button.
int ShowCompilerMessageBox(TGuiWindow *owner, const char *text, const char *caption,
                           unsigned flags);

// One line of compiler status, formatted (bounded, 1024 bytes). box false: into the status box,
// which is fitted to it; box true: a message box captioned "Korvex" with only OK, after the
// splash window is hidden. Nothing while messages are muted.
void ShowMessageLine(bool box, const char *format, ...);

void unmute_messages();
void mute_messages();
bool messages_muted();

// Reports ""#include" not supported. Please use "#use" instead." at the current position.
void refuse_include();
// The flash size in bytes from the board macros ("FLASH_SIZE" counts 4096-byte units); 0 when
// no numeric value is found.
uint32_t get_flash_size();
