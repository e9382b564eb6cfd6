// MemoCodeTemplates: the code templates, named snippets of source text that an editor inserts at
// the caret ("&Insert Code Template..."). There is one program-wide list (`TemplatesSource`),
// loaded from "kxwd.ctx" when the main window is made, edited on the "Code Templates" page of
// the Environment Options dialog and written back whenever that dialog closes.
//
// The file is ours: a header line, then per template the lines "template <name>",
// "description <text>", "code <text>" and "end", each text escaped so that it stays on one
// line ("\\", "\n", "\r", "\t", "\0" and "\xHH" for the other control bytes). A template counts
// only when its "end" line was read, so a truncated or damaged file gives every template read
// whole and nothing half; the file's own bytes are then set aside as "kxwd.ctx.bak" before it is
// first written over. Std-only.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TCodeTemplate {
    std::string Name;
    std::string Description;
    std::string Code; // the lines as one text, line ends as typed

    bool operator==(const TCodeTemplate &) const = default;
};

// The list of templates (a template's index is its position).
struct TMemoCodeTemplates {
    std::vector<TCodeTemplate> Items;

    int Count() const { return static_cast<int>(Items.size()); }
    bool operator==(const TMemoCodeTemplates &) const = default;
};

// What reading a template file found.
struct TCodeTemplateLoad {
    TMemoCodeTemplates Templates;
    // Empty when the whole file was read; else "<file>(<line>): <what>" of the first fault.
    std::string Problem;
};

// The file's text for a list, and a list from a file's text (`file` names it in the problem).
std::string code_templates_text(const TMemoCodeTemplates &templates);
TCodeTemplateLoad parse_code_templates(std::string_view text, const std::string &file);

// The largest templates file read: far more than any list typed by hand.
inline constexpr std::size_t kCodeTemplatesMaxFileBytes = std::size_t(16) << 20;

// The program-wide list and the file it lives in.
class TTemplatesSource {
public:
    TMemoCodeTemplates CodeTemplates;

    // "$XDG_CONFIG_HOME/korvex/kxwd.ctx" (or "~/.config/korvex/kxwd.ctx").
    static std::string DefaultPath();

    // Reads the list from `path`; when that file does not exist, from `seed` (the program
    // directory's "kxwd.ctx") when given. A missing file is an empty list. The problem text
    // names the file and line of a damaged one (the templates read whole are kept); the file
    // is then set aside as "<path>.bak" by the next Save. A file that is not an ordinary one
    // (a folder, FIFO or device), or past kCodeTemplatesMaxFileBytes, is not read: the problem
    // names it and why, and Save leaves it as it is.
    std::string Load(const std::string &path, const std::string &seed = {});
    // Writes the whole list beside the file and moves it over; false with a message naming the
    // file when that failed (the list stays in memory, the old file as it was).
    bool Save(std::string &message);

    const std::string &Path() const { return m_path; }

private:
    std::string m_path;
    // The damaged file's bytes, kept until they are set aside.
    std::optional<std::string> m_damaged;
    // The file at m_path was there but not read: a save would lose it.
    bool m_unread = false;
};

// The one list every editor and the Environment Options dialog use.
TTemplatesSource &TemplatesSource();
