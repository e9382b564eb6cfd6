// IniFile: profile (INI) files as the compiler and the settings read them. Section and key
// names are compared without regard to case; a key is "name = value" (blanks around "=" and at
// the ends dropped); lines starting with ";" or "#", and text above the first section, are
// comments. The lines are kept as read, in order, so the file's layout is never lost.
// Read-only for now: the settings store will add writing here (one class for both).
// Standard library only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class IniFile {
public:
    // Reads the file; false (and nothing kept) when it cannot be opened.
    [[nodiscard]] bool load(const std::string &path);
    // Uses the text as the file's contents.
    void load_text(std::string_view text);

    // True when the section holds at least one key.
    [[nodiscard]] bool section_has_keys(std::string_view section) const;
    // The value of a key (the first line of that key), or nothing when it is missing.
    [[nodiscard]] std::optional<std::string> read_string(std::string_view section,
                                                         std::string_view key) const;
    const std::vector<std::string> &lines() const { return m_lines; }

private:
    std::vector<std::string> m_lines;
};

// An integer key's text: optional sign, then decimal digits or "0x" and hexadecimal digits,
// nothing else. Nothing when the text is no such number or does not fit 32 bits.
std::optional<int64_t> parse_ini_integer(std::string_view text);
