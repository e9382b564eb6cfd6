// IniFile: profile (INI) files as the compiler, the settings and the project read and write
// them. Section and key names are compared without regard to case; a key is "name = value"
// (blanks around "=" and at the ends dropped); lines starting with ";" or "#", lines without
// "=", and text above the first section are kept but hold no key. Where a section or a key
// appears twice, the first one counts, for reading and for writing.
//
// The lines are kept as read, in order, so the file's layout is never lost: a write changes the
// value of the key's line in place (the text up to "=" and the blanks after it stay), puts a new
// key after the last key of its section and a new section at the end. Lines are read with LF or
// CR LF and written with CR LF; every other byte of every other line is written back unchanged.
//
// A file-backed object writes at once: each write reads the file again (so writes of another
// object in between are kept), changes the one line and replaces the whole file atomically
// (FileReplace). An object that holds its writes (hold_writes) changes only its lines and
// replaces the file once, at commit, with all of them. A file without owner write permission is
// read-only: writing it fails, and nothing changes. Standard library only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A profile larger than this, or one that is no ordinary file (a folder, FIFO or device), cannot
// be read: it is never waited for, and never written over.
inline constexpr std::size_t kIniMaxFileBytes = std::size_t(16) << 20;

class IniFile {
public:
    IniFile() = default;
    // The file at `path`; read at once (see load). Writes go to that file.
    explicit IniFile(std::string path);

    // Binds the object to the file and reads it; false (and no lines) when it cannot be read.
    // A missing file is created by the first write; a file that exists but cannot be read is
    // never written.
    [[nodiscard]] bool load(const std::string &path);
    // Uses the text as the contents; the object has no file and writes change only the lines.
    void load_text(std::string_view text);

    // True when the section holds at least one key.
    [[nodiscard]] bool section_has_keys(std::string_view section) const;
    // The value of a key (up to a NUL byte, should the line hold one), or nothing when the key
    // is missing.
    [[nodiscard]] std::optional<std::string> read_string(std::string_view section,
                                                         std::string_view key) const;
    std::string read_string(std::string_view section, std::string_view key,
                            std::string_view fallback) const;
    // The key's value as parse_ini_integer reads it; the fallback when the key is missing or
    // its text is no such number.
    int64_t read_integer(std::string_view section, std::string_view key, int64_t fallback) const;

    // Sets the key's value, then writes the file (when the object has one). False, with the
    // reason in error(), when the names or the value cannot be written (empty names, a line
    // break or NUL byte, "=" in a key, "]" in a section name) or the file cannot be written;
    // neither the file nor the lines change then.
    [[nodiscard]] bool write_string(std::string_view section, std::string_view key,
                                    std::string_view value);
    // The value in decimal.
    [[nodiscard]] bool write_integer(std::string_view section, std::string_view key,
                                     int64_t value);
    const std::string &error() const { return m_error; }

    // From now on writes check the file as it was last read and change only the lines; commit()
    // then replaces the file once with all of them (many keys saved together cost one write and
    // never leave the file half saved).
    void hold_writes() { m_holding = true; }
    // Writes what was held, when anything changed, and ends the holding; false, with the reason
    // in error(), when the file cannot be written (the old file stays whole then).
    [[nodiscard]] bool commit();

    const std::vector<std::string> &lines() const { return m_lines; }
    // The contents as written: every line ended by CR LF.
    std::string text() const;
    const std::string &path() const { return m_path; }

private:
    enum class FileState { None, Missing, Read, Unreadable };
    FileState read_file();
    bool fail(std::string why);

    std::string m_path;
    std::vector<std::string> m_lines;
    std::string m_error;
    FileState m_state = FileState::None;  // what the last read of the file found
    bool m_holding = false;
    bool m_held_changes = false;
};

// An integer key's text: optional sign, then decimal digits or "0x" and hexadecimal digits,
// nothing else. Nothing when the text is no such number or does not fit 32 bits.
std::optional<int64_t> parse_ini_integer(std::string_view text);

// Whether the file lacks owner write permission (the read-only attribute of a profile file).
[[nodiscard]] bool file_is_read_only(const std::string &path);
// Gives the file owner write permission and keeps its other permissions; false when that failed.
[[nodiscard]] bool clear_read_only(const std::string &path);
