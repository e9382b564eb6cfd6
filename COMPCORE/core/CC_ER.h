// CC_ER: compiler message records. Diagnostics are not thrown: each is formatted into an `sError`
// record and kept in one program-wide list (`gMessageList`), grouped by file and ordered by line,
// which the messages window shows after a compile. Recording stops at 1000 records, after a
// fatal error, and for warnings at the warning maximum plus one. While a watch expression is
// compiled, a diagnostic is thrown as xWatch instead.
//
// Formats follow the bounded formatting rules (PLATFORM/BoundedFormat.h).
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <utility>

// A message text may hold a summary, two BEL characters and a detail.
inline constexpr const char *kNoFurtherInformation = "No further information available.";
inline constexpr int kMaxMessageRecords = 1000;
inline constexpr std::size_t kMaxSummaryBytes = 179;
inline constexpr std::size_t kMaxErrorFileName = 259;

// Record kinds.
enum : int16_t { kMsgKindNote = -1, kMsgKindError = 0, kMsgKindTrivial = 1, kMsgKindSerious = 2 };

struct sError {
    int32_t line = 1;   // at least 1: the real line, whatever the position tables keep
    uint16_t column = 1; // at least 1; long lines keep their true column (up to 65535)
    uint8_t flags = 0;  // bit 0: the file flag given with the current file name
    int16_t kind = 0;   // kMsgKind...
    std::string summary; // at most 179 bytes
    std::string detail;
    std::string file;    // empty: no file
    sError *next = nullptr;
};

// Head of the message list (read only outside this unit; records live until reset_errors).
extern sError *gMessageList;

// --- Reporters --------------------------------------------------------------------------------

// Records an error; 1 when not recorded because of a limit (or the fatal flag), else 0.
int report_error(int line, int column, const char *format, ...);
int report_error_v(int line, int column, const char *format, va_list args);
// level 0 trivial, 1 serious; 1 when stopped by the record limit or the fatal flag, else 0.
int report_warning(int level, int line, int column, const char *format, ...);
int report_warning_v(int level, int line, int column, const char *format, va_list args);
// report_error with the given name as the current file name for that one call.
int report_error_in_file(int line, int column, const char *file, const char *format, ...);
// Formats the text, builds one record of the kind and appends it; returns 0.
int new_message_record(int kind, int line, int column, const char *format, ...);

// Splits a message at its first BEL pair: summary up to the pair (at most 1023 bytes); the detail
// behind it, or "No further information available." when there is none. detail may be null.
void split_message(const char *text, std::string &summary, std::string *detail);
// Links the record (allocated with new; the list takes it) into the list in order and counts it.
void append_message_record(sError *record);

// --- Current file name ------------------------------------------------------------------------

// Sets the current file name ("ERROR" when null), cut to 259 bytes, and the file flag; appends it
// to the file-name list; redefines "__FILE__" and closes an open "#pragma nowarn" region of
// another file through the hooks below.
void set_error_file_name(const char *name, uint8_t file_flag);
const char *get_error_file_name();
uint8_t get_error_file_flag();
// The tail of the file-name list: the file being compiled ("" when the list is empty).
const char *get_compiled_file_name();
std::size_t error_file_name_count();
void free_error_file_names();

// --- List state -------------------------------------------------------------------------------

// Empties the list and every count; current file name "ERROR" with flag 1; tells the messages
// window to forget the list (hook below).
void reset_errors();
// Bit 0: the list holds records; bit 1: it holds records that are not warnings.
uint16_t get_error_status();
// Trims to "Max Errors Shown" / the warning maximum and appends the closing note.
void TrimMessageList();

int message_record_count();
int warning_count();
int trivial_warning_count();
int serious_warning_count();

// Bumped by every report_error call and by the other reporters.
int errors_seen();
void note_error_seen();
// The per-compile reset clears the fatal flag and the error-seen count.
void reset_error_seen_and_fatal();

// Set by the fatal reporter once it has recorded a fatal error; nothing more is recorded.
void set_fatal_error_flag(bool on);
bool fatal_error_flag();
// Lets report_error record past 1000 records (bracket matching sets it around its reports).
void set_always_record(bool on);
bool always_record();
// Set while a watch expression is compiled: diagnostics throw xWatch.
void set_watch_compile(bool on);
bool watch_compile();

// User maximums ("Max Errors Shown", "Max Warnings Shown"; 10 each). The warning maximum is held
// as two halves whose sum is the limit.
void set_max_errors_shown(int max_errors);
void set_max_warnings_shown(int max_warnings);
int max_errors_shown();
int max_warnings_shown();
// The two halves of the warning maximum: value / 2, and the rest.
std::pair<int, int> max_warnings_shown_halves();

// --- Hooks filled by other units --------------------------------------------------------------

// Called after the current file name changed: redefine "__FILE__" from the compiled file name.
using FileMacroHook = void (*)(const char *compiled_file_name);
// Queries the open "#pragma nowarn" region: true when one is open, with its start position.
using NowarnQueryHook = bool (*)(std::string &file, int &line, int &column);
// Closes the open "#pragma nowarn" region.
using NowarnCloseHook = void (*)();
// The messages window forgets the list head it was filled from.
using MessageListResetHook = void (*)();

struct ErrorFileHooks {
    FileMacroHook redefine_file_macro = nullptr;
    NowarnQueryHook nowarn_region = nullptr;
    NowarnCloseHook close_nowarn_region = nullptr;
};
void set_error_file_hooks(const ErrorFileHooks &hooks);
void set_message_list_reset_hook(MessageListResetHook hook);
