// CC_ARGREV: the argument list of a call read again from its last argument to its first.
// Arguments are pushed last to first, but the one-pass compiler generates code while it reads;
// so at the "(" of a call the whole list is read, a new text holding the arguments in reverse
// order is built, and the lexer reads that text instead. Every character of the new text keeps
// the source line and column it came from, so diagnostics point into the source file. Used by
// the bit and port-I/O built-ins of the code generator (CC_Z80BLT) and by the calls.
#pragma once

#include "input/CC_IN.h"

#include <cstdint>
#include <memory>
#include <string>

// A guard created at the input pointer just behind a call's "(". Active when the list could be
// read: the lexer then reads "last, ..., first)" (an empty list: ")"), and the destructor puts
// it back behind the list's ")" with the source's line and column maps. Inactive after error
// 489 (more than 50 arguments) or 610 (more than kMaxCallNesting lists open at once): the list
// has been read over and the input stands behind it.
// Guards nest (an argument that holds a call); each is destroyed before the one outside it.
class ReverseFunctionArguments {
public:
    ReverseFunctionArguments();
    ~ReverseFunctionArguments();
    ReverseFunctionArguments(const ReverseFunctionArguments &) = delete;
    ReverseFunctionArguments &operator=(const ReverseFunctionArguments &) = delete;

    [[nodiscard]] bool active() const { return m_active; }
    // The text the lexer reads while the guard is active.
    [[nodiscard]] const std::string &text() const { return m_text; }

private:
    LexerPlace m_saved;
    std::string m_text;
    std::unique_ptr<ExpandableBuffer<unsigned short>> m_lines, m_columns;
    bool m_active = false;
};

// The number of arguments of the last list read (0 for an empty list).
int reversed_argument_count();
// Guards active right now.
int reversed_argument_depth();
// Puts back a count saved before a nested list was read.
void set_reversed_argument_count(int count);

// The argument list at the input pointer ("(" ... ")", across lines) read once and kept, the
// arguments in their own order and every character at its source position: while the copy
// lives the lexer reads it, from its "(" and again after `rewind`, and never beyond its ")";
// afterwards the input stands behind the list. A built-in's checking pass and its expansion so
// read the same characters. Inactive (nothing read) when no "(" stands at the input pointer.
class ArgumentListCopy {
public:
    ArgumentListCopy();
    ~ArgumentListCopy();
    ArgumentListCopy(const ArgumentListCopy &) = delete;
    ArgumentListCopy &operator=(const ArgumentListCopy &) = delete;

    [[nodiscard]] bool active() const { return m_active; }
    void rewind();

private:
    struct Text;
    std::unique_ptr<Text> m_copy;
    LexerPlace m_saved;
    bool m_saved_no_crossing = false;
    bool m_active = false;
};

inline constexpr int kMaxCallArguments = 50;
inline constexpr int kMaxCallNesting = 18;

enum : uint32_t {
    kMsgCallTooLong = 489,      // "Function call too long."
    kMsgCallsTooDeep = 610,     // "Internal limit: Calls nested too deep."
};
