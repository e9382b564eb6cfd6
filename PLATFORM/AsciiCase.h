// Names that the stores compare without case (registry keys and values, name=value lines) fold
// ASCII letters only: a byte of a UTF-8 sequence never matches another by folding.
#pragma once

#include <cstddef>
#include <string_view>

inline char fold_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool same_ascii_without_case(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold_ascii(a[i]) != fold_ascii(b[i]))
            return false;
    return true;
}
