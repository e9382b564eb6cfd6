// guiExceptions: the `xErr` family. Every failure that must reach the user is thrown by value as
// one of these and caught at the user-interface boundary, which calls ShowError or ShowWarning
// (a message box through the host services). An exception carries a message id, the throwing
// source file and line, and a millisecond time stamp; the first 20 exceptions made since the
// history was last emptied are kept for the debug text.
//
//     throw xUserCancel(KX_HERE);
//     throw xFileOpen(5023, path.c_str(), KX_HERE);
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The throw site, for the constructors' (file, line) arguments.
#define KX_HERE __FILE__, static_cast<uint32_t>(__LINE__)

// Message ids of the family.
inline constexpr uint32_t kMsgErrorCaption = 5000;   // "Error"
inline constexpr uint32_t kMsgWarningCaption = 5001; // "Warning"
inline constexpr uint32_t kMsgUserCancel = 5016;     // "Operation canceled by user."
inline constexpr uint32_t kMsgInternalError = 5017;  // "Internal error."
inline constexpr uint32_t kMsgCompileOverflow = 616; // "Too many or fatal compilation error."

// Sizes of the texts the family builds (terminating zero included).
inline constexpr std::size_t kErrBoxTextSize = 512;
inline constexpr std::size_t kErrCaptionSize = 40;
inline constexpr std::size_t kFileOpenFormatSize = 256;
inline constexpr std::size_t kWatchTextSize = 160;
inline constexpr std::size_t kErrHistorySlots = 20;

class xErr {
public:
    xErr(uint32_t id, const char *file, uint32_t line);
    virtual ~xErr();
    xErr(const xErr &) = default;
    xErr &operator=(const xErr &) = default;

    // Message box captioned "Error" / "Warning" with the text of GetMessage; empties the
    // history. Returns the box's result.
    virtual int ShowError();
    virtual int ShowWarning();
    // The full text into buf (size bytes, terminated, never passed).
    virtual void GetMessage(char *buf, std::size_t size) const;

    // The full text (as GetMessage into 512 bytes); empties the history.
    std::string GetText();

    uint32_t message_id() const noexcept { return m_id; }
    const char *source_file() const noexcept { return m_file; }
    uint32_t source_line() const noexcept { return m_line; }
    uint32_t time_stamp() const noexcept { return m_stamp; }

protected:
    // Loads the id's text, then in debug mode the throw site and the history lines.
    void base_message(char *buf, std::size_t size) const;
    // "\nFile: %s, Line: %d" appended within size.
    void append_site(char *buf, std::size_t size) const;
    int show_box(uint32_t caption_id, const char *prefix);

private:
    uint32_t m_id;
    const char *m_file;
    uint32_t m_line;
    uint32_t m_stamp;
};

class xUserCancel : public xErr {
public:
    xUserCancel(const char *file, uint32_t line);
};

class xInternal : public xErr {
public:
    xInternal(const char *file, uint32_t line);
    // The text, then always the throw site; no history lines.
    void GetMessage(char *buf, std::size_t size) const override;
};

class xCCErrOvflo : public xErr {
public:
    xCCErrOvflo(const char *file, uint32_t line);
};

class xSystem : public xErr {
public:
    xSystem(uint32_t id, const char *file, uint32_t line);
};

// The id's text is a format with one text argument (e.g. 5023 "Cannot open file '%s'.").
// The argument is copied, so a temporary's text may be passed.
class xFileOpen : public xSystem {
public:
    xFileOpen(uint32_t id, const char *argument, const char *file, uint32_t line);
    void GetMessage(char *buf, std::size_t size) const override;
    const std::string &argument() const noexcept { return m_argument; }

private:
    std::string m_argument;
};

// Target-communication failure: its box text opens with a phrase for the communication state.
class xTCErr : public xErr {
public:
    xTCErr(uint32_t id, const char *file, uint32_t line);
    int ShowError() override;   // history unchanged
    int ShowWarning() override; // history unchanged
};

// An error while a watch expression is compiled: a message id, or 0 with a free text kept in the
// program-wide 160-byte watch text.
class xWatch : public xErr {
public:
    xWatch(uint32_t id, const char *file, uint32_t line);
    xWatch(const char *text, const char *file, uint32_t line);
    int ShowError() override; // history unchanged
    void GetMessage(char *buf, std::size_t size) const override;
};

// The phrase that opens an xTCErr text for a communication state ("" for idle and others).
const char *tc_state_phrase(uint8_t state);

// --- Program-wide state of the family -----------------------------------------------------

struct xErrHistoryEntry {
    const char *file;
    uint32_t line;
    uint32_t stamp;
};
std::size_t xerr_history_count();
xErrHistoryEntry xerr_history_entry(std::size_t index); // 0 = oldest
void xerr_clear_history();

// The "/debug" switch: adds the throw site and the history to the texts.
void set_exception_debug_mode(bool on);
bool exception_debug_mode();

// The last free text of an xWatch (at most 159 bytes); empty until the first one.
const char *xwatch_text();
