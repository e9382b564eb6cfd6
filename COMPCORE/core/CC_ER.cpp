// CC_ER: the compiler's message list. Reporters format a diagnostic, stamp it with the current
// file name and link it into the list in file-then-line order; the messages window trims the list
// to the user's maximums before it shows it. Formatting is bounded (1024 bytes per message).
#include "CC_ER.h"

#include <cctype>
#include <string>
#include <vector>

#include "BoundedFormat.h"
#include "CC_MISC.h"
#include "guiExceptions.h"
#include "guiInterface.h"

sError *gMessageList = nullptr;

namespace {

// Message ids of this unit.
constexpr uint32_t kMsgNoFileName = 739;      // "ERROR"
constexpr uint32_t kMsgErrorLine = 809;       // "ERROR %-10s   : %s"
constexpr uint32_t kMsgWarningLine = 743;     // "WARNING %-10s   : %s"
constexpr uint32_t kMsgUnclosedNowarn = 2160; // summary, BEL pair, detail
constexpr uint32_t kMsgBothSuppressed = 4018;
constexpr uint32_t kMsgErrorsSuppressed = 4019;
constexpr uint32_t kMsgWarningsSuppressed = 4020;

int g_record_count = 0;
int g_warning_count = 0;
int g_trivial_warnings = 0;
int g_serious_warnings = 0;
int g_errors_seen = 0;
bool g_fatal = false;
bool g_always_record = false;
bool g_watch_compile = false;

std::string g_current_name = "ERROR";
uint8_t g_current_flag = 1;
std::vector<std::string> g_file_names; // the file-name list; its tail is the compiled file

int g_max_errors = 10;

// Ends a variadic argument list however the report leaves (a watch compile throws).
struct VaListEnd {
    va_list &args;
    ~VaListEnd() { va_end(args); }
};
int g_max_warnings_low = 5;  // the warning maximum is held as two halves
int g_max_warnings_high = 5;

ErrorFileHooks g_hooks;
MessageListResetHook g_reset_hook = nullptr;

int max_warnings() { return g_max_warnings_low + g_max_warnings_high; }

std::string cut(std::string_view text, std::size_t max)
{
    return std::string(text.substr(0, std::min(text.size(), max)));
}

// The current file name as a record stamp: "ERROR" stands for no file.
bool current_is_real_file() { return g_current_name != "ERROR"; }

// The file name with its extension: the text after the last separator of either kind.
std::string base_name(const std::string &path)
{
    std::size_t pos = path.find_last_of("/\\:");
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

// Builds "ERROR name : message" / "WARNING name : message" from the current file name.
std::string finished_line(uint32_t line_format_id, const char *format, va_list args)
{
    std::string message = bounded_vformat(format, args);
    std::string name = base_name(g_current_name);
    return GetResString(line_format_id, name.c_str(), message.c_str());
}

[[noreturn]] void throw_watch(const std::string &line)
{
    std::string summary;
    split_message(line.c_str(), summary, nullptr);
    throw xWatch(summary.c_str(), KX_HERE);
}

// Builds and appends one record from a finished text.
void record_text(int kind, int line, int column, const std::string &text)
{
    if (line < 1)
        line = 1;
    if (column < 1)
        column = 1;
    if (column > 65535)
        column = 65535; // columns of long lines are kept whole, never cut to a wrong (or zero) column
    auto *r = new sError;
    r->line = line;
    r->column = static_cast<uint16_t>(column);
    r->flags = g_current_flag & 1u;
    r->kind = static_cast<int16_t>(kind);
    std::string summary;
    split_message(text.c_str(), summary, &r->detail);
    r->summary = cut(summary, kMaxSummaryBytes);
    r->file = g_current_name; // "" stays "": no file
    append_message_record(r);
}

// Restores the current file name when report_error_in_file leaves, also by exception.
struct CurrentNameGuard {
    std::string name;
    uint8_t flag;
    CurrentNameGuard() : name(g_current_name), flag(g_current_flag) {}
    ~CurrentNameGuard()
    {
        g_current_name = name;
        g_current_flag = flag;
    }
};

void free_list()
{
    sError *r = gMessageList;
    while (r) {
        sError *next = r->next;
        delete r;
        r = next;
    }
    gMessageList = nullptr;
}

} // namespace

// --- Reporters --------------------------------------------------------------------------------

int report_error_v(int line, int column, const char *format, va_list args)
{
    ++g_errors_seen;
    if ((g_record_count >= kMaxMessageRecords && !g_always_record) || g_fatal)
        return 1;
    std::string text = finished_line(kMsgErrorLine, format, args);
    if (g_watch_compile)
        throw_watch(text);
    record_text(kMsgKindError, line, column, text);
    return 0;
}

int report_error(int line, int column, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    VaListEnd end{args};
    return report_error_v(line, column, format, args);
}

int report_warning_v(int level, int line, int column, const char *format, va_list args)
{
    if (g_record_count >= kMaxMessageRecords || g_fatal)
        return 1;
    if (g_warning_count >= max_warnings() + 1)
        return 0;
    if (level == 0)
        ++g_trivial_warnings;
    else
        ++g_serious_warnings;
    ++g_warning_count;
    std::string text = finished_line(kMsgWarningLine, format, args);
    if (g_watch_compile)
        throw_watch(text);
    record_text(level == 0 ? kMsgKindTrivial : kMsgKindSerious, line, column, text);
    return 0;
}

int report_warning(int level, int line, int column, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    VaListEnd end{args};
    return report_warning_v(level, line, column, format, args);
}

int report_error_in_file(int line, int column, const char *file, const char *format, ...)
{
    // Only the current name changes for this one report: the file-name list and "__FILE__"
    // stay as they are, so the report cannot set off the file-change checks again.
    CurrentNameGuard guard;
    g_current_name = cut(file ? file : "ERROR", kMaxErrorFileName);
    va_list args;
    va_start(args, format);
    VaListEnd end{args};
    return report_error_v(line, column, format, args);
}

int new_message_record(int kind, int line, int column, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = bounded_vformat(format, args);
    va_end(args);
    record_text(kind, line, column, text);
    return 0;
}

void split_message(const char *text, std::string &summary, std::string *detail)
{
    constexpr std::size_t kLimit = 1023;
    std::string_view t = text ? text : "";
    std::size_t n = 0;
    while (n < t.size() && n < kLimit && !(t[n] == '\a' && n + 1 < t.size() && t[n + 1] == '\a'))
        ++n;
    summary.assign(t.substr(0, n));
    if (!detail)
        return;
    bool at_pair = n < t.size() && n < kLimit;
    if (!at_pair) {
        *detail = kNoFurtherInformation;
        return;
    }
    std::size_t start = n + 2;
    std::size_t end = std::min(t.size(), kLimit - 1);
    if (start >= end)
        *detail = kNoFurtherInformation;
    else
        detail->assign(t.substr(start, end - start));
}

void append_message_record(sError *record)
{
    if (!record)
        return;
    record->next = nullptr;
    ++g_record_count;
    if (!gMessageList) {
        gMessageList = record;
        return;
    }
    if (!current_is_real_file()) {
        sError *tail = gMessageList;
        while (tail->next)
            tail = tail->next;
        tail->next = record;
        return;
    }
    // Records of one file stay together in ascending line order; a file's first record goes to
    // the end. The new record goes before the first record of its file whose line is not
    // smaller, else right behind the last record of its file.
    const std::string &name = g_current_name;
    sError *prev = nullptr;       // record before the insertion point
    sError *last_of_file = nullptr;
    bool placed = false;
    for (sError *r = gMessageList; r; prev = r, r = r->next) {
        if (!equal_ignoring_case(r->file, name))
            continue;
        if (r->line < record->line) {
            last_of_file = r;
            continue;
        }
        placed = true;
        break;
    }
    if (placed) {
        if (!prev) {
            record->next = gMessageList;
            gMessageList = record;
        } else {
            record->next = prev->next;
            prev->next = record;
        }
        return;
    }
    sError *after = last_of_file;
    if (!after) {
        after = gMessageList;
        while (after->next)
            after = after->next;
    }
    record->next = after->next;
    after->next = record;
}

// --- Current file name ------------------------------------------------------------------------

void set_error_file_name(const char *name, uint8_t file_flag)
{
    g_current_name = cut(name ? name : "ERROR", kMaxErrorFileName);
    g_current_flag = file_flag;
    g_file_names.push_back(g_current_name);
    if (g_hooks.redefine_file_macro)
        g_hooks.redefine_file_macro(g_file_names.back().c_str());

    std::string region_file;
    int region_line = 0, region_column = 0;
    if (g_hooks.nowarn_region && g_hooks.nowarn_region(region_file, region_line, region_column) &&
        region_file != g_current_name) {
        // Close first: the report must not find the region open again.
        if (g_hooks.close_nowarn_region)
            g_hooks.close_nowarn_region();
        std::string text = GetResString(kMsgUnclosedNowarn);
        report_error_in_file(region_line, region_column, region_file.c_str(), "%s",
                             text.c_str());
    }
}

const char *get_error_file_name() { return g_current_name.c_str(); }
uint8_t get_error_file_flag() { return g_current_flag; }

const char *get_compiled_file_name()
{
    return g_file_names.empty() ? "" : g_file_names.back().c_str();
}

std::size_t error_file_name_count() { return g_file_names.size(); }
void free_error_file_names() { g_file_names.clear(); }

// --- List state -------------------------------------------------------------------------------

void reset_errors()
{
    free_list();
    g_record_count = 0;
    g_warning_count = 0;
    g_trivial_warnings = 0;
    g_serious_warnings = 0;
    g_current_name = "ERROR";
    g_current_flag = 1;
    if (g_reset_hook)
        g_reset_hook();
}

uint16_t get_error_status()
{
    uint16_t status = 0;
    for (const sError *r = gMessageList; r; r = r->next) {
        status |= 1;
        if (r->kind != kMsgKindTrivial && r->kind != kMsgKindSerious)
            status |= 2;
    }
    return status;
}

void TrimMessageList()
{
    if (!gMessageList)
        return;
    int errors = 0, warnings = 0;
    bool dropped_errors = false, dropped_warnings = false;
    sError *prev = nullptr;
    for (sError *r = gMessageList; r;) {
        sError *next = r->next;
        bool drop = false;
        if (r->kind == kMsgKindError) {
            drop = ++errors > g_max_errors;
            dropped_errors |= drop;
        } else if (r->kind == kMsgKindTrivial || r->kind == kMsgKindSerious) {
            drop = ++warnings > max_warnings();
            dropped_warnings |= drop;
        }
        if (drop && prev) { // the head is never removed
            prev->next = next;
            --g_record_count;
            if (r->kind != kMsgKindError) {
                --g_warning_count;
                if (r->kind == kMsgKindTrivial)
                    --g_trivial_warnings;
                else
                    --g_serious_warnings;
            }
            delete r;
        } else {
            prev = r;
        }
        r = next;
    }

    std::string note;
    if (dropped_errors && dropped_warnings)
        note = GetResString(kMsgBothSuppressed, g_max_errors, max_warnings());
    else if (dropped_errors)
        note = GetResString(kMsgErrorsSuppressed, g_max_errors);
    else if (dropped_warnings)
        note = GetResString(kMsgWarningsSuppressed, max_warnings());
    if (note.empty())
        return;

    sError *last = gMessageList;
    while (last->next)
        last = last->next;
    if (last->summary == note)
        return; // a second trim adds no second note
    auto *r = new sError;
    r->kind = kMsgKindNote;
    r->summary = cut(note, kMaxSummaryBytes);
    r->column = 0;
    r->line = last->line;
    last->next = r;
    ++g_record_count;
}

int message_record_count() { return g_record_count; }
int warning_count() { return g_warning_count; }
int trivial_warning_count() { return g_trivial_warnings; }
int serious_warning_count() { return g_serious_warnings; }

int errors_seen() { return g_errors_seen; }
void note_error_seen() { ++g_errors_seen; }
void reset_error_seen_and_fatal()
{
    g_errors_seen = 0;
    g_fatal = false;
}

void set_fatal_error_flag(bool on) { g_fatal = on; }
bool fatal_error_flag() { return g_fatal; }
void set_always_record(bool on) { g_always_record = on; }
bool always_record() { return g_always_record; }
void set_watch_compile(bool on) { g_watch_compile = on; }
bool watch_compile() { return g_watch_compile; }

void set_max_errors_shown(int max_errors) { g_max_errors = max_errors < 0 ? 0 : max_errors; }

void set_max_warnings_shown(int max_warnings_value)
{
    if (max_warnings_value < 0)
        max_warnings_value = 0;
    g_max_warnings_low = max_warnings_value / 2;
    g_max_warnings_high = max_warnings_value - g_max_warnings_low;
}

int max_errors_shown() { return g_max_errors; }
int max_warnings_shown() { return max_warnings(); }
std::pair<int, int> max_warnings_shown_halves()
{
    return {g_max_warnings_low, g_max_warnings_high};
}

void set_error_file_hooks(const ErrorFileHooks &hooks) { g_hooks = hooks; }
void set_message_list_reset_hook(MessageListResetHook hook) { g_reset_hook = hook; }
