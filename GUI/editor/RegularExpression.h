// RegularExpression: the pattern matcher of Find in Files. Expressions are written in the
// POSIX-like syntax the find-in-files dialog documents ("\<" and "\>" word edges, "[[:alpha:]]"
// classes, "{m,n}" intervals, "\1" to "\9" back references, escapes inside sets, "." matching
// neither a line end nor NUL); `ParseExpression` checks one and translates it for
// QRegularExpression, reporting a syntax fault by its numbered code (`expression_error_text`).
// `Grep` matches one text; `GrepFiles` walks the files a path mask selects, reading each one in
// bounded pieces (never a whole file at once) and reporting every match with its position in
// the file. Texts are bytes: each byte is one Latin-1 character, so positions are byte offsets.
// Used by the find-in-files dialogs (frmKXGrepSetup, frmKXGrepProgress). GUI thread only.
#pragma once

#include <QRegularExpression>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

// The text shown for a parse result code (1 to 19); empty for 0 (valid).
std::string expression_error_text(int code);

class RegularExpression {
public:
    // One match in a file: its file, 1-based line, the byte offset of the match in the file,
    // the match's offset in its line and its length. Returns false to stop the walk.
    using FileMatch = std::function<bool(const std::string &file, uint32_t line,
                                         uint64_t position, uint32_t column, uint32_t length)>;
    // One match in the subject text (offset and length); returns false to stop.
    using TextMatch = std::function<bool(uint32_t position, uint32_t length)>;

    void SetExpression(const std::string &expression) { m_expression = expression; m_parsed = false; }
    const std::string &Expression() const { return m_expression; }
    // Whole words: the expression must stand between word edges on both sides. Shown as
    // "\<" expression "\>", but matched as one group, so that "a|b" means "\<a\>" or "\<b\>".
    void SetWholeWords(bool on) { m_whole_words = on; m_parsed = false; }
    bool WholeWords() const { return m_whole_words; }
    // The expression as the user reads it (with the word edges of whole words).
    std::string DisplayExpression() const;
    void SetIgnoreCase(bool on) { m_ignore_case = on; m_parsed = false; }
    bool IgnoreCase() const { return m_ignore_case; }
    void SetSubdirectories(bool on) { m_subdirectories = on; }
    bool Subdirectories() const { return m_subdirectories; }
    // "folder/mask"; either separator.
    void SetFileMask(const std::string &path_mask) { m_file_mask = path_mask; }
    const std::string &FileMask() const { return m_file_mask; }
    void SetSubject(const std::string &text) { m_subject = text; }
    // Takes every setting of the other one (not its subject).
    void CopySettings(const RegularExpression &other);

    // 0 when the expression is valid, else the code of its first fault.
    int ParseExpression();
    // The matches in the subject, each reported; the number of matches (an invalid expression
    // finds none).
    int Grep(const TextMatch &report);
    // Every regular file the mask selects (in its folder and, with subdirectories on, in every
    // folder below it, each folder once even through links), in name order; the number of
    // matches reported. Unreadable files and folders are passed over.
    int GrepFiles(const FileMatch &report);

    // The translated pattern (after a successful parse), for tests.
    QString TranslatedPattern() const { return m_regex.pattern(); }

private:
    std::string m_expression;
    std::string m_subject;
    std::string m_file_mask;
    bool m_whole_words = false;
    bool m_ignore_case = false;
    bool m_subdirectories = false;
    bool m_parsed = false;
    int m_parse_result = 0;
    QRegularExpression m_regex;
    [[nodiscard]] bool ready();
    // Matches in one file; false once the report asked to stop.
    bool grep_file(const std::string &path, const FileMatch &report, int &count);
};

// Translates an expression; 0 and the QRegularExpression pattern, or the fault's code.
int translate_expression(const std::string &expression, QString &pattern);
