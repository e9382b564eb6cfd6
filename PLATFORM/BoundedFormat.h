// BoundedFormat: printf-style formatting with the host's message-formatting rules, bounded.
// Every message text of the system is formatted here. The rules:
//  - Output is at most 1023 characters and a terminating zero (1024 bytes); longer output is
//    cut, never written past the end. Into a caller buffer the limit is also the buffer size.
//  - Conversions: %c %d %i %u %x %X %s %% with flags '-' '0' '#' and width/precision given as
//    digits or '*'. Prefixes: 'h' (16-bit), 'l' (32-bit, the host's "long"), 'll' (64-bit).
//    'l' reads a 32-bit argument: pass int/uint32_t values (a wider argument is cut to 32 bits).
//  - %s with a null pointer shows "(null)"; a precision limits the characters taken.
//  - Floating-point conversions (%f %F %e %E %g %G %a %A) produce no text at all: their double
//    argument is consumed so the arguments after it stay in step, and nothing is written.
//  - %p shows the pointer as 8 upper-case hex digits of its low 32 bits (an address of ours).
//  - %n is refused: it consumes its pointer argument and writes nothing anywhere.
//  - Any other character after '%' is copied as it stands (no argument is consumed); a '%' at
//    the very end of the format is dropped.
// Std-only.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// Largest output, terminating zero included.
inline constexpr std::size_t kBoundedFormatMax = 1024;

// Formats into a std::string of at most 1023 characters.
// (No printf format checking: the 'l' prefix here is 32 bits, unlike the host C library's.)
std::string bounded_format(const char *format, ...);
std::string bounded_vformat(const char *format, va_list args);

// Formats into buf (size bytes, terminating zero included, at most 1024 bytes used); returns the
// number of characters written before the zero. A size of 0 writes nothing and returns 0; a null
// format gives the empty text.
std::size_t bounded_format_to(char *buf, std::size_t size, const char *format, ...);
std::size_t bounded_vformat_to(char *buf, std::size_t size, const char *format, va_list args);

// Copies text into buf, cut to size - 1 characters and terminated; returns the length copied.
// Size 0 writes nothing. A null text copies as the empty text.
std::size_t bounded_copy(char *buf, std::size_t size, const char *text);
// Appends text behind the zero-terminated contents of buf without passing size; returns the new
// length.
std::size_t bounded_append(char *buf, std::size_t size, const char *text);
