// The value of one hexadecimal digit, for the readers of escaped text and hex records (the
// settings store, the code templates file, Intel HEX images). Std only.
#pragma once

// 0..15 for 0-9, a-f and A-F; -1 for any other byte.
constexpr int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
