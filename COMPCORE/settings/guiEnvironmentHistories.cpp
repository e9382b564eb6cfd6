// guiEnvironment, part two: the watch histories beside the source files, the combo box
// histories, the stored toolbar values and the dock states of the debug windows. Called by the
// watches window and the evaluate dialog (watch histories), the address and find dialogs (combo
// histories, through GUI/), the main window (toolbars, through GUI/) and the dockable windows.
#include "guiEnvironment.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string_view>
#include <system_error>

#include "core/CC_MISC.h"
#include "FileReplace.h"
#include "RegularFile.h"
#include "core/guiInterface.h"

namespace fs = std::filesystem;

namespace {

enum : uint32_t {
    kMsgWatchHistoryNotSaved = 7350,
};

// ---- lines of name=value -------------------------------------------------------------------

// The name part of a line (before its first "="); empty for a line without one.
std::string name_of(const std::string &line)
{
    const std::size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

// The value part (after the first "="), up to a NUL byte should the line hold one.
std::string value_of(const std::string &line)
{
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos)
        return {};
    const std::string value = line.substr(eq + 1);
    return value.substr(0, value.find('\0'));
}

// An entry as one line: CR and LF become blanks.
std::string one_line(std::string entry)
{
    std::replace(entry.begin(), entry.end(), '\r', ' ');
    std::replace(entry.begin(), entry.end(), '\n', ' ');
    return entry;
}

// At most `limit` bytes of the file; of a longer file the last, cut line is dropped. Nothing
// for what is no ordinary file: a FIFO would wait for a writer, a device never end.
std::optional<std::string> read_head(const std::string &path, std::size_t limit)
{
    std::vector<uint8_t> bytes;
    bool cut = false;
    if (read_regular_file_head(path, limit, bytes, cut) != RegularFileStatus::Read)
        return std::nullopt;
    std::string text(bytes.begin(), bytes.end());
    if (cut) {
        const std::size_t end = text.find_last_of("\r\n");
        text.resize(end == std::string::npos ? 0 : end + 1);
    }
    return text;
}

// A key path of one name below a section; nothing for a name that is empty or would reach
// another key.
std::optional<std::string> key_below(const std::string &section, const std::string &name)
{
    if (name.empty() || name.find('\\') != std::string::npos)
        return std::nullopt;
    return settings_key(section + name);
}

} // namespace

std::vector<std::string> SplitTextLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        lines.push_back(std::move(line));
        line.clear();
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return lines;
}

// ---- watch histories ------------------------------------------------------------------------

std::string WatchHistoryFile(const std::string &source_file)
{
    fs::path path(normalize_separators(source_file));
    path.replace_extension(".DBG");
    return path.string();
}

void LoadWatchHistory(const std::string &source_file, std::vector<std::string> &watches,
                      std::vector<std::string> *history)
{
    const std::string file = WatchHistoryFile(source_file);
    const std::optional<std::string> text = read_head(file, kWatchHistoryReadLimit);
    if (!text)
        return;
    const std::vector<std::string> lines = SplitTextLines(*text);
    std::size_t n = 0;
    while (n < lines.size() && name_of(lines[n]) == "Watch" + std::to_string(n)) {
        watches.push_back(value_of(lines[n]));
        ++n;
    }
    if (!history)
        return;
    for (std::size_t m = 0; n + m < lines.size(); ++m) {
        if (name_of(lines[n + m]) == "cbWatch" + std::to_string(m))
            history->push_back(value_of(lines[n + m]));
    }
}

void SaveWatchHistory(const std::string &source_file, const std::vector<std::string> &watches,
                      const std::vector<std::string> &history)
{
    static std::set<std::string> reported;
    const std::string file = WatchHistoryFile(source_file);
    std::string reason;
    bool ok = true;
    if (watches.empty() && history.empty()) {
        std::error_code ec;
        fs::remove(file, ec);
        ok = !ec;
        if (!ok)
            reason = ec.message();
    } else {
        std::string text;
        for (std::size_t n = 0; n < watches.size(); ++n)
            text += "Watch" + std::to_string(n) + "=" + one_line(watches[n]) + "\r\n";
        for (std::size_t m = 0; m < history.size(); ++m)
            text += "cbWatch" + std::to_string(m) + "=" + one_line(history[m]) + "\r\n";
        ok = replace_file_contents(file, text, reason);
    }
    if (ok || !reported.insert(file).second)
        return;
    ShowAppMessageBox(GetResString(kMsgWatchHistoryNotSaved, file.c_str(), reason.c_str()),
                      GetResString(kMsgErrorCaption), kMbOk | kMbIconError);
}

// ---- combo box histories --------------------------------------------------------------------

std::optional<ComboHistory> ReadComboHistory(const std::string &name)
{
    TKXRegistry reg;
    report_settings_damage(reg);
    if (!reg.open_key(settings_key(kSectionPersonality), false))
        return std::nullopt;
    ComboHistory history;
    history.items = SplitTextLines(ReadRegString(reg, name, ""));
    const int32_t index = ReadRegInteger(reg, name + " Index", -1);
    history.index = index >= 0 && static_cast<std::size_t>(index) < history.items.size()
                        ? index
                        : -1;
    reg.close_key();
    return history;
}

int PushComboHistory(std::vector<std::string> &items, const std::string &text, int maximum)
{
    const auto equal = [&](const std::string &item) { return equal_ignoring_case(item, text); };
    const bool blank = std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) <= ' ';
    });
    if (!blank) {
        const auto first = std::find_if(items.begin(), items.end(), equal);
        if (first != items.end())
            items.erase(first);
        if (std::find_if(items.begin(), items.end(), equal) == items.end())
            items.insert(items.begin(), text);
    }
    if (maximum > 0 && items.size() > static_cast<std::size_t>(maximum))
        items.resize(static_cast<std::size_t>(maximum));
    const auto selected = std::find_if(items.begin(), items.end(), equal);
    return selected == items.end() ? -1 : static_cast<int>(selected - items.begin());
}

void WriteComboHistory(const std::string &name, const ComboHistory &history)
{
    TKXRegistry reg;
    report_settings_damage(reg);
    (void)reg.open_key(settings_key(kSectionPersonality), true);
    std::string entries;
    for (const std::string &item : history.items)
        entries += item + "\r\n";
    WriteRegString(reg, name, entries);
    WriteRegInteger(reg, name + " Index", history.index);
    reg.close_key();
    (void)reg.save();
}

// ---- toolbar values -------------------------------------------------------------------------

namespace {

std::optional<std::string> toolbar_key(const std::string &prefix, const std::string &name)
{
    return key_below(prefix + kSectionToolBars, name);
}

} // namespace

bool ToolbarKeyExists(const std::string &prefix, const std::string &toolbar_name)
{
    const std::optional<std::string> key = toolbar_key(prefix, toolbar_name);
    if (!key)
        return false;
    TKXRegistry reg;
    report_settings_damage(reg);
    return reg.key_exists(*key);
}

std::optional<ToolbarValues> ReadToolbarValues(const std::string &prefix,
                                               const std::string &toolbar_name)
{
    const std::optional<std::string> key = toolbar_key(prefix, toolbar_name);
    if (!key)
        return std::nullopt;
    TKXRegistry reg;
    report_settings_damage(reg);
    if (!reg.open_key(*key, false))
        return std::nullopt;
    ToolbarValues values;
    values.component = reg.read_string("ComponentString").value_or("");
    values.visible = ReadRegInteger(reg, "visible", 0) != 0;
    values.width = ReadRegInteger(reg, "width", 0);
    values.x = ReadRegInteger(reg, "X", 0);
    values.y = ReadRegInteger(reg, "Y", 0);
    values.floating = ReadRegBool(reg, "Floating", false);
    reg.close_key();
    return values;
}

bool WriteToolbarValues(const std::string &prefix, const std::string &toolbar_name,
                        const ToolbarValues &values, bool with_component)
{
    const std::optional<std::string> key = toolbar_key(prefix, toolbar_name);
    if (!key)
        return false;
    TKXRegistry reg;
    report_settings_damage(reg);
    (void)reg.open_key(*key, true);
    if (with_component)
        WriteRegString(reg, "ComponentString", values.component);
    WriteRegInteger(reg, "visible", values.visible ? 1 : 0);
    WriteRegInteger(reg, "width", values.width);
    WriteRegBool(reg, "Floating", values.floating);
    WriteRegInteger(reg, "X", values.x);
    WriteRegInteger(reg, "Y", values.y);
    reg.close_key();
    return reg.save() && !reg.failure_shown;
}

// ---- dock states ----------------------------------------------------------------------------

namespace {

struct DockSection {
    const char *window;
    const char *section;
};
constexpr DockSection kDockSections[] = {
    {"frmDisassembly", "Assembly Window"}, {"frmMemoryDump", "Dump Window"},
    {"frmStack", "Stack Window"},          {"frmTrace", "Trace Window"},
    {"frmStdio", "Stdio Window"},          {"frmWatches", "Watch Window"},
    {"frmMessages", "Message Window"},     {"frmRegisters", "Register Window"},
};

std::string dock_key(const std::string &section)
{
    return settings_key(std::string(kSectionDebugWindows) + section);
}

} // namespace

// Names are compared exactly, in the table's order; the memory dump windows carry a number
// after their name ("frmMemoryDump2"), so theirs is found inside the name.
std::string DockStateSection(const std::string &window_name)
{
    for (const DockSection &s : kDockSections) {
        const std::string_view name(s.window);
        const bool match = name == "frmMemoryDump" ? window_name.find(name) != std::string::npos
                                                   : window_name == name;
        if (match)
            return s.section;
    }
    return {};
}

bool ReadDockState(const std::string &section, TDockPlacement &placement)
{
    if (section.empty())
        return false;
    TKXRegistry reg;
    report_settings_damage(reg);
    // A missing key leaves the open fail: every read below then gives its default.
    (void)reg.open_key(dock_key(section), false);
    TDockPlacement &p = placement;
    p.float_left = ReadRegInteger(reg, "Float Left", p.float_left);
    p.float_top = ReadRegInteger(reg, "Float Top", p.float_top);
    p.float_width = ReadRegInteger(reg, "Float Width", p.float_width);
    p.float_height = ReadRegInteger(reg, "Float Height", p.float_height);
    p.child_left = ReadRegInteger(reg, "Child Left", p.child_left);
    p.child_top = ReadRegInteger(reg, "Child Top", p.child_top);
    p.child_width = ReadRegInteger(reg, "Child Width", p.child_width);
    p.child_height = ReadRegInteger(reg, "Child Height", p.child_height);
    p.child = ReadRegBool(reg, "Child", p.child);
    p.visible = ReadRegBool(reg, "Visible", p.visible);
    const int32_t state = ReadRegInteger(reg, "Window State", 0);
    p.window_state = state == 0 ? 0 : state == 1 ? 1 : 2;
    reg.close_key();
    return true;
}

void WriteDockState(const std::string &section, const TDockPlacement &placement)
{
    if (section.empty())
        return;
    TKXRegistry reg;
    report_settings_damage(reg);
    (void)reg.open_key(dock_key(section), true);
    const TDockPlacement &p = placement;
    WriteRegInteger(reg, "Float Left", p.float_left);
    WriteRegInteger(reg, "Float Top", p.float_top);
    WriteRegInteger(reg, "Float Width", p.float_width);
    WriteRegInteger(reg, "Float Height", p.float_height);
    WriteRegInteger(reg, "Child Left", p.child_left);
    WriteRegInteger(reg, "Child Top", p.child_top);
    WriteRegInteger(reg, "Child Width", p.child_width);
    WriteRegInteger(reg, "Child Height", p.child_height);
    WriteRegBool(reg, "Child", p.child);
    WriteRegBool(reg, "Visible", p.visible);
    WriteRegInteger(reg, "Window State", p.window_state == 0 ? 0 : p.window_state == 1 ? 1 : 2);
    reg.close_key();
    (void)reg.save();
}

void LoadDockState(TDockableWindowHost *window)
{
    if (!window)
        return;
    if (!ReadDockState(DockStateSection(window->Name()), window->Placement()))
        return;
    if (window->Placement().visible && window->MainWindowShown())
        window->ShowWindow();
}

void SaveDockState(TDockableWindowHost *window)
{
    if (window)
        WriteDockState(DockStateSection(window->Name()), window->Placement());
}
