// Recording doubles of the host services' windows: a message box, splash, status box, main
// window, editors and debug windows that record what they are asked and answer what the test
// scripts. Every test of this program runs with them installed (see HostDoubles.cpp);
// `reset_host_services` puts fresh ones in place.
#pragma once

#include "core/guiInterface.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Records every box and answers `answer`.
class HeadlessMessageBoxHost : public TMessageBoxHost {
public:
    struct Shown {
        std::string text, caption;
        unsigned flags;
    };
    std::vector<Shown> shown;
    int answer = kIdOk;
    int ShowMessageBox(const std::string &text, const std::string &caption,
                       unsigned flags) override
    {
        shown.push_back({text, caption, flags});
        return answer;
    }
};

class HeadlessSplashHost : public TSplashHost {
public:
    bool visible = false;
    std::string text;
    int repaints = 0;
    bool IsVisible() const override { return visible; }
    void Hide() override { visible = false; }
    void SetText(const std::string &t) override { text = t; }
    void Repaint() override { ++repaints; }
};

// Fixed character metrics (char_width x char_height per character), a scriptable panel, and a
// hook run by ProcessOneMessage (e.g. to press Cancel).
class HeadlessStatusBox : public TStatusBox {
public:
    std::string title;
    bool cancel_visible = false;
    bool visible = false;
    bool closed_by_user = false;
    int panel_width = 320;
    int panel_height = 64;
    int char_width = 8;
    int char_height = 16;
    std::string message_text;
    std::vector<std::string> message_history;  // every message text, in order
    int msg_left = 0, msg_top = 0, msg_width = 0, msg_height = 0;
    std::string file_name_text;
    int file_name_width = 0;
    int repaints = 0;
    int messages_processed = 0;
    std::function<void(HeadlessStatusBox &)> on_message;

    void SetTitle(const std::string &t) override { title = t; }
    void SetCancelVisible(bool v) override { cancel_visible = v; }
    void Show() override { visible = true; }
    bool IsVisible() const override { return visible; }
    void Close() override { visible = false; }
    bool ClosedByUser() const override { return closed_by_user; }
    int PanelWidth() const override { return panel_width; }
    int PanelHeight() const override { return panel_height; }
    void MeasureText(const std::string &text, int &width, int &height) const override
    {
        width = static_cast<int>(text.size()) * char_width;
        height = char_height;
    }
    void SetMessageLabel(const std::string &text, int left, int top, int width,
                         int height) override
    {
        message_text = text;
        message_history.push_back(text);
        msg_left = left;
        msg_top = top;
        msg_width = width;
        msg_height = height;
    }
    std::string FitPath(const std::string &path, int width, int &result_width) const override
    {
        return fit_path_in_characters(path, width, char_width, result_width);
    }
    void SetFileNameLabel(const std::string &text, int width) override
    {
        file_name_text = text;
        file_name_width = width;
    }
    void Repaint() override { ++repaints; }
    void ProcessOneMessage() override
    {
        ++messages_processed;
        if (on_message)
            on_message(*this);
    }
};

class HeadlessDebugWindow : public TRegistersWindow,
                            public TDisassemblyWindow,
                            public TStackWindow,
                            public TMemoryDumpWindow,
                            public TWatchesWindow,
                            public TStdioWindow {
public:
    std::vector<std::string> lines;
    int begin_updates = 0, end_updates = 0, clears = 0, refreshes = 0, sessions = 0;
    std::vector<std::pair<int, int>> marks;
    std::string output;
    std::string input; // characters handed out by StdioInputChar

    void AddLine(const std::string &text) override { lines.push_back(text); }
    void AddDisassemblyLines(const std::string &text) override { lines.push_back(text); }
    void AddDumpLine(const std::string &line) override { lines.push_back(line); }
    void BeginUpdate() override { ++begin_updates; }
    void EndUpdate() override { ++end_updates; }
    void MarkExecutionLine(int index, int second) override { marks.emplace_back(index, second); }
    void Clear() override { ++clears; }
    void UpdateResults(int) override { ++refreshes; }
    // Watches: `watch_count` held; each evaluation is recorded in `evaluated` and answered by
    // `evaluate` (which may throw), else by "<expression> = 1".
    int watch_count = 0;
    std::vector<std::string> evaluated;
    std::function<std::string(const std::string &expression, bool keep_error)> evaluate;
    int WatchCount() override { return watch_count; }
    std::string EvaluateExpression(const std::string &expression, bool keep_error) override;
    void StdioOutput(const char *text, int length) override;
    void StdioBeginSession() override { ++sessions; }
    bool StdioInputChar(char &c) override;
};

// An editor whose lines count from 0, as the real one's do.
class HeadlessEditWindow : public TEditWindow {
public:
    HeadlessEditWindow();
    std::string file_name;
    bool modified = false;
    std::vector<std::string> text_lines;
    uint32_t caret = 0;
    // Each mark set: the position and whether it is the execution point's.
    std::vector<std::pair<uint32_t, bool>> line_marks;
    int execution_point_clears = 0;
    cTextEdit text_edit;
    cEditFrame edit_frame;

    std::string FileName() const override { return file_name; }
    bool IsModified() const override { return modified; }
    void WriteText(std::ostream &out) const override;
    // Writes the text to the file, as the default does, and the text is no longer modified.
    bool Save() override;
    int saves = 0;
    uint32_t GetCaretPosition() const override { return caret; }
    uint32_t GetNextPosition(uint32_t packed) const override;
    std::string GetLineText(int line) const override;
    void SetLineMark(uint32_t packed, const TMarkKind &kind) override
    {
        line_marks.emplace_back(packed, same_mark_kind(kind, kExecutionPointMark));
    }
    void ClearLineMark(uint32_t packed) override;
    void ClearExecutionPoint() override { ++execution_point_clears; }
    TEditorInterface *GetTextEdit() override { return &text_edit; }
    TEditorInterface *GetEditFrame() override { return &edit_frame; }
};

class HeadlessMainWindow : public TMainWindowHost {
public:
    HeadlessMainWindow();
    std::string current_file;
    std::vector<std::string> source_lines; // lines of the current source file, from line 1
    std::vector<std::unique_ptr<HeadlessEditWindow>> editors;
    HeadlessDebugWindow debug_window;
    cTextRegister registers;
    cTextAssembly assembly;
    cTextStack stack;
    cTextDump dump;
    cTextWatch watches;
    bool auto_show = true; // the windows' auto-show options
    int run_state = 0;
    bool polling_enabled = true;
    bool polling = false;
    int dump_refreshes = 0;
    int brought_to_front = 0;
    std::vector<std::pair<int, std::string>> panel_texts;
    std::string status_text;
    std::vector<std::string> status_history; // every status text, in order
    std::vector<std::string> shown; // names of the windows shown

    // Opens a headless editor on a file (for GetEditorForFile and tests).
    HeadlessEditWindow &OpenEditor(const std::string &file);

    void SetCurrentFile(const std::string &file) override { current_file = file; }
    int GetSourceLineCount() override { return static_cast<int>(source_lines.size()); }
    std::string GetSourceLine(int line) override;
    TEditWindow *FindEditor(const std::string &file) override;
    TEditWindow *GetEditorForFile(const std::string &file, int flags) override;
    TRegisterInterface *ShowRegistersWindow(bool force) override;
    TAssemblyInterface *ShowDisassemblyWindow(bool force) override;
    TStackInterface *ShowStackWindow(bool force) override;
    TWatchInterface *ShowWatchesWindow(bool force) override;
    TDumpInterface *ShowDumpWindow(bool force) override;
    TStdioWindow *ShowStdioWindow(int flags) override;
    TWatchesWindow *WatchesWindow() override { return &debug_window; }
    void RefreshDumpWindows() override { ++dump_refreshes; }
    bool IsStopped() override { return run_state == 1; }
    void SetRunState(int state) override;
    bool IsPolling() override { return polling; }
    void PausePolling() override { polling = false; }
    void ResumePolling() override
    {
        if (polling_enabled)
            polling = true;
    }
    void SetStatusPanelText(const std::string &text, int panel) override
    {
        panel_texts.emplace_back(panel, text);
    }
    void SetStatusText(const std::string &text) override
    {
        status_text = text;
        status_history.push_back(text);
    }
    void BringToFront() override { ++brought_to_front; }
};

HeadlessMessageBoxHost &headless_message_box_host();
HeadlessSplashHost &headless_splash_host();
HeadlessMainWindow &headless_main_window();
// Back to the window-less hosts, then fresh recording doubles installed over them: a main
// window, message box, splash and a status box factory that makes HeadlessStatusBox.
void reset_host_services();
