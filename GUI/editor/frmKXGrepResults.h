// frmKXGrepResults: `TfrmGrepResults`, the "Search Results" window of Find in Files: one line
// per match ("file(line): " and the line's text, tabs as three blanks), the match drawn bold. A
// click on a result shows its place in an open editor; a double click opens the file when it is
// not open. An MDI child of the main window, made at the first match of a search. GUI thread
// only.
#pragma once

#include <QMdiSubWindow>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QListWidget;
class TfrmMainWindow;

// One listed match: where the match stands in the shown line (from 1), its line and column in
// the file (from 1) and the file.
struct TgrepListItem {
    uint32_t start = 0;
    uint32_t length = 0;
    uint32_t line = 0;
    uint32_t column = 0;
    std::string file;
};

// The line shown for a match: "file(line): ", the text before the match (the caller keeps at
// most its last 360 characters), the match and the rest of the line, each NUL a blank and each
// tab three blanks. `item` gets the match's start and length in the shown text.
std::string grep_display_line(const std::string &file, uint32_t line, const std::string &before,
                              const std::string &match, const std::string &after,
                              TgrepListItem &item);

class TfrmGrepResults : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TfrmGrepResults(TfrmMainWindow *main);
    ~TfrmGrepResults() override;

    void AddResult(const std::string &text, const TgrepListItem &item);
    const TgrepListItem *Item(int row) const;
    int Count() const;
    // A click (or a double click) on the result in that row.
    void OpenResult(int row, bool double_click);

    QListWidget *lbxResults = nullptr;
    // Called once when the window closes (the search stops reporting).
    std::function<void()> on_close;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    TfrmMainWindow *m_main;
    std::vector<TgrepListItem> m_items;
};
