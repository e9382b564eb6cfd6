// guiExceptions: the `xErr` family's texts, history and message boxes. Texts are built in
// bounded buffers of the sizes the family fixes; nothing is written past a buffer.
#include "guiExceptions.h"

#include <array>
#include <string>

#include "BoundedFormat.h"
#include "SEAM_TARGET.h"
#include "guiInterface.h"

namespace {

std::array<xErrHistoryEntry, kErrHistorySlots> g_history{};
std::size_t g_history_count = 0;
bool g_debug_mode = false;
std::array<char, kWatchTextSize> g_watch_text{};

// Captions: the id's text as it stands.
void load_text(uint32_t id, char *buf, std::size_t size)
{
    LoadResString(id, buf, static_cast<uint32_t>(size));
}

// The exception's own message: an id without text still tells the user which message it was.
void load_message(uint32_t id, char *buf, std::size_t size)
{
    LoadShownResString(id, buf, static_cast<uint32_t>(size));
}

} // namespace

// --- Program-wide state -----------------------------------------------------------------------

std::size_t xerr_history_count() { return g_history_count; }

xErrHistoryEntry xerr_history_entry(std::size_t index)
{
    if (index >= g_history_count)
        return {nullptr, 0, 0};
    return g_history[index];
}

void xerr_clear_history() { g_history_count = 0; }
void set_exception_debug_mode(bool on) { g_debug_mode = on; }
bool exception_debug_mode() { return g_debug_mode; }
const char *xwatch_text() { return g_watch_text.data(); }

const char *tc_state_phrase(uint8_t state)
{
    switch (state) {
    case 1:
        return "While Sending Cold Loader:\n\n";
    case 2:
        return "While Sending Pilot BIOS:\n\n";
    case 3:
        return "While Sending/Compilng BIOS:\n\n";
    case 4:
        return "While Sending User Program:\n\n";
    case 6:
        return "While Polling:\n\n";
    case 7:
        return "While Debugging:\n\n";
    default:
        return "";
    }
}

// --- xErr -------------------------------------------------------------------------------------

xErr::xErr(uint32_t id, const char *file, uint32_t line)
    : m_id(id), m_file(file ? file : ""), m_line(line), m_stamp(GetMillisecondClock())
{
    if (g_history_count < kErrHistorySlots)
        g_history[g_history_count++] = {m_file, m_line, m_stamp};
}

xErr::~xErr() = default;

void xErr::append_site(char *buf, std::size_t size) const
{
    char line[kErrBoxTextSize];
    bounded_format_to(line, sizeof line, "\nFile: %s, Line: %d", m_file,
                      static_cast<int>(m_line));
    bounded_append(buf, size, line);
}

void xErr::base_message(char *buf, std::size_t size) const
{
    if (!buf || size == 0)
        return;
    load_message(m_id, buf, size);
    if (!g_debug_mode)
        return;
    append_site(buf, size);
    // History from the second newest down to the oldest (the newest is this exception, when it
    // was recorded at all), with each stamp taken relative to this exception's.
    if (g_history_count < 2)
        return;
    for (std::size_t i = g_history_count - 1; i-- > 0;) {
        const xErrHistoryEntry &e = g_history[i];
        char line[kErrBoxTextSize];
        bounded_format_to(line, sizeof line, "\n%s,%d,%ld", e.file, static_cast<int>(e.line),
                          static_cast<int32_t>(e.stamp - m_stamp));
        bounded_append(buf, size, line);
    }
}

void xErr::GetMessage(char *buf, std::size_t size) const { base_message(buf, size); }

int xErr::show_box(uint32_t caption_id, const char *prefix)
{
    char caption[kErrCaptionSize];
    load_text(caption_id, caption, sizeof caption);
    char text[kErrBoxTextSize];
    std::size_t used = bounded_copy(text, sizeof text, prefix);
    GetMessage(text + used, sizeof text - used);
    return ShowAppMessageBox(text, caption, kMbOk);
}

int xErr::ShowError()
{
    int result = show_box(kMsgErrorCaption, "");
    xerr_clear_history();
    return result;
}

int xErr::ShowWarning()
{
    int result = show_box(kMsgWarningCaption, "");
    xerr_clear_history();
    return result;
}

std::string xErr::GetText()
{
    char text[kErrBoxTextSize];
    text[0] = '\0';
    GetMessage(text, sizeof text);
    xerr_clear_history();
    return text;
}

// --- Subclasses -------------------------------------------------------------------------------

xUserCancel::xUserCancel(const char *file, uint32_t line) : xErr(kMsgUserCancel, file, line) {}

xInternal::xInternal(const char *file, uint32_t line) : xErr(kMsgInternalError, file, line) {}

void xInternal::GetMessage(char *buf, std::size_t size) const
{
    if (!buf || size == 0)
        return;
    load_message(message_id(), buf, size);
    append_site(buf, size);
}

xCCErrOvflo::xCCErrOvflo(const char *file, uint32_t line)
    : xErr(kMsgCompileOverflow, file, line)
{
}

xSystem::xSystem(uint32_t id, const char *file, uint32_t line) : xErr(id, file, line) {}

xFileOpen::xFileOpen(uint32_t id, const char *argument, const char *file, uint32_t line)
    : xSystem(id, file, line), m_argument(argument ? argument : "")
{
}

void xFileOpen::GetMessage(char *buf, std::size_t size) const
{
    if (!buf || size == 0)
        return;
    char format[kFileOpenFormatSize];
    load_message(message_id(), format, sizeof format);
    // The format takes one text argument. Only the first "%s" receives it and "%%" gives '%';
    // any other conversion is copied as it stands, so a format with more conversions than
    // arguments can never read a missing argument.
    std::string text;
    bool used = false;
    for (const char *p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            text += '%';
            ++p;
        } else if (p[0] == '%' && p[1] == 's' && !used) {
            text += m_argument;
            used = true;
            ++p;
        } else {
            text += *p;
        }
    }
    bounded_copy(buf, size, text.c_str());
    if (exception_debug_mode())
        append_site(buf, size);
}

xTCErr::xTCErr(uint32_t id, const char *file, uint32_t line) : xErr(id, file, line) {}

int xTCErr::ShowError() { return show_box(kMsgErrorCaption, tc_state_phrase(gTCState)); }
int xTCErr::ShowWarning() { return show_box(kMsgWarningCaption, tc_state_phrase(gTCState)); }

xWatch::xWatch(uint32_t id, const char *file, uint32_t line) : xErr(id, file, line) {}

xWatch::xWatch(const char *text, const char *file, uint32_t line) : xErr(0, file, line)
{
    bounded_copy(g_watch_text.data(), g_watch_text.size(), text);
}

int xWatch::ShowError() { return show_box(kMsgErrorCaption, ""); }

void xWatch::GetMessage(char *buf, std::size_t size) const
{
    if (!buf || size == 0)
        return;
    // A watch error made from a text shows the watch text; one made from an id shows the id's
    // text, even when an earlier free text is still held.
    if (message_id() == 0)
        bounded_copy(buf, size, g_watch_text.data());
    else
        load_message(message_id(), buf, size);
}
