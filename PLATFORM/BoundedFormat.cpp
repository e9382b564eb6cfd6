// BoundedFormat: a small printf of our own with the host's message-formatting rules. Every
// character goes through one bounded sink, so no argument or format can write past the limit.
#include "BoundedFormat.h"

#include <cstdint>
#include <cstring>

namespace {

// Appends characters up to a fixed capacity (excluding the terminating zero) and drops the rest.
class Sink {
public:
    Sink(char *buf, std::size_t capacity) : m_buf(buf), m_cap(capacity) {}
    void put(char c)
    {
        if (m_len < m_cap)
            m_buf[m_len++] = c;
    }
    void put(const char *s, std::size_t n)
    {
        for (std::size_t i = 0; i < n && m_len < m_cap; ++i)
            m_buf[m_len++] = s[i];
    }
    void pad(char c, std::size_t n)
    {
        for (std::size_t i = 0; i < n && m_len < m_cap; ++i)
            m_buf[m_len++] = c;
    }
    bool full() const { return m_len >= m_cap; }
    std::size_t length() const { return m_len; }

private:
    char *m_buf;
    std::size_t m_cap;
    std::size_t m_len = 0;
};

// One conversion of a format: its flags, field width and precision.
struct Conversion {
    bool left = false;     // '-'
    bool zero = false;     // '0'
    bool alt = false;      // '#'
    bool plus = false;     // '+'
    bool space = false;    // ' '
    std::size_t width = 0;
    bool has_precision = false;
    std::size_t precision = 0;
};

// A width or precision is at most this (larger values are absurd and would only waste time).
constexpr std::size_t kMaxField = kBoundedFormatMax;

std::size_t read_number(const char *&p)
{
    std::size_t n = 0;
    while (*p >= '0' && *p <= '9') {
        n = n * 10 + static_cast<std::size_t>(*p - '0');
        if (n > kMaxField)
            n = kMaxField;
        ++p;
    }
    return n;
}

// Writes a field's text with padding by the conversion's width and side.
void emit_padded(Sink &out, const Conversion &conv, const char *prefix, std::size_t prefix_len,
                 const char *body, std::size_t body_len, std::size_t zeros)
{
    std::size_t len = prefix_len + zeros + body_len;
    std::size_t fill = conv.width > len ? conv.width - len : 0;
    if (!conv.left && !conv.zero)
        out.pad(' ', fill);
    out.put(prefix, prefix_len);
    if (!conv.left && conv.zero)
        out.pad('0', fill);
    out.pad('0', zeros);
    out.put(body, body_len);
    if (conv.left)
        out.pad(' ', fill);
}

void emit_integer(Sink &out, const Conversion &conv, uint64_t magnitude, bool negative,
                  unsigned base, bool upper)
{
    char digits[24];
    std::size_t n = 0;
    const char *set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    if (magnitude == 0 && !(conv.has_precision && conv.precision == 0))
        digits[n++] = '0';
    while (magnitude != 0) {
        digits[n++] = set[magnitude % base];
        magnitude /= base;
    }
    char body[24];
    for (std::size_t i = 0; i < n; ++i)
        body[i] = digits[n - 1 - i];

    char prefix[3];
    std::size_t prefix_len = 0;
    if (negative)
        prefix[prefix_len++] = '-';
    else if (conv.plus && base == 10)
        prefix[prefix_len++] = '+';
    else if (conv.space && base == 10)
        prefix[prefix_len++] = ' ';
    if (conv.alt && base == 16 && n > 0 && !(n == 1 && body[0] == '0')) {
        prefix[prefix_len++] = '0';
        prefix[prefix_len++] = upper ? 'X' : 'x';
    }
    std::size_t zeros = conv.has_precision && conv.precision > n ? conv.precision - n : 0;
    Conversion s = conv;
    if (conv.has_precision)
        s.zero = false; // a precision turns zero padding off, as in C
    emit_padded(out, s, prefix, prefix_len, body, n, zeros);
}

std::size_t format_into(char *buf, std::size_t size, const char *format, va_list args)
{
    if (size == 0 || buf == nullptr)
        return 0;
    if (size > kBoundedFormatMax)
        size = kBoundedFormatMax;
    Sink out(buf, size - 1);
    if (format == nullptr) {
        buf[0] = '\0';
        return 0;
    }

    for (const char *p = format; *p && !out.full(); ++p) {
        if (*p != '%') {
            out.put(*p);
            continue;
        }
        ++p;
        if (*p == '\0')
            break; // a lone '%' at the end is dropped

        Conversion conv;
        for (;; ++p) {
            if (*p == '-')
                conv.left = true;
            else if (*p == '0')
                conv.zero = true;
            else if (*p == '#')
                conv.alt = true;
            else if (*p == '+')
                conv.plus = true;
            else if (*p == ' ')
                conv.space = true;
            else
                break;
        }
        if (*p == '*') {
            // Widened first: negating the smallest int would overflow.
            long long w = va_arg(args, int);
            if (w < 0) {
                conv.left = true;
                w = -w;
            }
            conv.width = static_cast<unsigned long long>(w) > kMaxField
                             ? kMaxField
                             : static_cast<std::size_t>(w);
            ++p;
        } else {
            conv.width = read_number(p);
        }
        if (*p == '.') {
            ++p;
            conv.has_precision = true;
            if (*p == '*') {
                int pr = va_arg(args, int);
                if (pr < 0)
                    conv.has_precision = false;
                else
                    conv.precision = static_cast<std::size_t>(pr) > kMaxField
                                         ? kMaxField
                                         : static_cast<std::size_t>(pr);
                ++p;
            } else {
                conv.precision = read_number(p);
            }
        }

        // Size prefix: 0 int, 1 short, 2 long (32-bit), 3 64-bit.
        int size_kind = 0;
        if (*p == 'h') {
            size_kind = 1;
            ++p;
        } else if (*p == 'l') {
            ++p;
            size_kind = 2;
            if (*p == 'l') {
                size_kind = 3;
                ++p;
            }
        } else if (*p == 'L' || *p == 'q') {
            size_kind = 3;
            ++p;
        } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
            size_kind = 3;
            p += 3;
        }
        if (*p == '\0')
            break;

        switch (*p) {
        case '%':
            out.put('%');
            break;
        case 'c':
        case 'C': {
            char c = static_cast<char>(va_arg(args, int));
            emit_padded(out, conv, "", 0, &c, 1, 0);
            break;
        }
        case 'd':
        case 'i': {
            int64_t v;
            if (size_kind == 3)
                v = va_arg(args, long long);
            else if (size_kind == 1)
                v = static_cast<short>(va_arg(args, int));
            else
                v = static_cast<int32_t>(va_arg(args, int));
            uint64_t mag = v < 0 ? static_cast<uint64_t>(0) - static_cast<uint64_t>(v)
                                 : static_cast<uint64_t>(v);
            emit_integer(out, conv, mag, v < 0, 10, false);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            uint64_t v;
            if (size_kind == 3)
                v = va_arg(args, unsigned long long);
            else if (size_kind == 1)
                v = static_cast<unsigned short>(va_arg(args, unsigned));
            else
                v = static_cast<uint32_t>(va_arg(args, unsigned));
            emit_integer(out, conv, v, false, *p == 'u' ? 10 : 16, *p == 'X');
            break;
        }
        case 'p': {
            void *ptr = va_arg(args, void *);
            Conversion s;
            s.has_precision = true;
            s.precision = 8;
            s.width = conv.width;
            s.left = conv.left;
            emit_integer(out, s, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ptr)), false,
                         16, true);
            break;
        }
        case 's':
        case 'S': {
            const char *s = va_arg(args, const char *);
            if (s == nullptr)
                s = "(null)";
            std::size_t n = 0;
            std::size_t limit = conv.has_precision ? conv.precision : kBoundedFormatMax;
            while (n < limit && s[n] != '\0')
                ++n;
            Conversion sp = conv;
            sp.zero = false;
            emit_padded(out, sp, "", 0, s, n, 0);
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            // No floating-point conversions: consume the double, write nothing.
            (void)va_arg(args, double);
            break;
        case 'n':
            // Refused: never write through an argument.
            (void)va_arg(args, void *);
            break;
        default:
            out.put(*p); // unknown conversion: copied as it stands
            break;
        }
    }
    std::size_t len = out.length();
    buf[len] = '\0';
    return len;
}

} // namespace

std::size_t bounded_vformat_to(char *buf, std::size_t size, const char *format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    std::size_t n = format_into(buf, size, format, copy);
    va_end(copy);
    return n;
}

std::size_t bounded_format_to(char *buf, std::size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::size_t n = format_into(buf, size, format, args);
    va_end(args);
    return n;
}

std::string bounded_vformat(const char *format, va_list args)
{
    char buf[kBoundedFormatMax];
    std::size_t n = bounded_vformat_to(buf, sizeof buf, format, args);
    return std::string(buf, n);
}

std::string bounded_format(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::string s = bounded_vformat(format, args);
    va_end(args);
    return s;
}

std::size_t bounded_copy(char *buf, std::size_t size, const char *text)
{
    if (size == 0 || buf == nullptr)
        return 0;
    std::size_t n = 0;
    if (text)
        while (n + 1 < size && text[n] != '\0') {
            buf[n] = text[n];
            ++n;
        }
    buf[n] = '\0';
    return n;
}

std::size_t bounded_append(char *buf, std::size_t size, const char *text)
{
    if (size == 0 || buf == nullptr)
        return 0;
    std::size_t len = strnlen(buf, size);
    if (len >= size) { // not terminated within size: terminate at the end
        buf[size - 1] = '\0';
        return size - 1;
    }
    return len + bounded_copy(buf + len, size - len, text);
}
