// StringList: an ordered list of text lines, with access to lines of the form name=value and
// the comma-text form in which such a list is stored as one string (the board and CPU records
// of the targetless store, its value lists). Standard library only.
//
// Comma text: the lines joined by commas; a line that holds a byte up to the blank (control
// bytes included), a comma or a double quote is enclosed in double quotes, each double quote in
// it doubled. A list of one empty line is written as "" (two quotes), so it does not read back
// as no lines.
//
// Reading comma text: blanks and control bytes around lines are skipped; outside double quotes
// a blank or a comma ends a line; a comma at the very end adds an empty last line. A quoted line
// ends at its closing quote ("" inside stands for one quote); text right after the closing
// quote starts the next line. A quote that is never closed makes the whole text unreadable.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Whether two line names are the same: ASCII letters compared without regard to case, every
// other byte as it is.
bool same_line_name(std::string_view a, std::string_view b);

class TStringList {
public:
    std::vector<std::string> lines;

    TStringList() = default;
    explicit TStringList(std::vector<std::string> l) : lines(std::move(l)) {}

    // The lines in comma text.
    std::string comma_text() const;
    // The lines of a comma text; nothing when a quote is not closed.
    static std::optional<TStringList> from_comma_text(std::string_view text);

    // The first line whose part before its first "=" equals the name (ASCII letters compared
    // without regard to case); -1 when there is none.
    int index_of_name(std::string_view name) const;
    // The text after the first "=" of that line; empty when there is none.
    std::string value(std::string_view name) const;
    // Replaces the value of the name's line, or adds "name=value" at the end. An empty value is
    // kept as "name=".
    void set_value(std::string_view name, std::string_view value);
    // Adds "name=value" at the end.
    void add(std::string_view name, std::string_view value);

    bool empty() const { return lines.empty(); }
    bool operator==(const TStringList &) const = default;
};
