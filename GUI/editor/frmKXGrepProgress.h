// frmKXGrepProgress: `TfrmGrepProgress`, the "Progress" window of Find in Files, and the search
// itself (`RunFindInFiles`, the main window's Find in Files command): each entry of the search
// list is searched in the files it selects, or the text of every open editor once, and every
// match is listed in the results window (frmKXGrepResults). "Cancel " or closing a window stops
// the listing. GUI thread; pending events are processed after each match, so the buttons
// work during a long search.
#pragma once

#include <QDialog>
#include <QPointer>

#include <cstdint>
#include <string>

#include "editor/RegularExpression.h"
#include "editor/frmKXGrepResults.h"

class QLabel;
class QPushButton;
class TfrmGrepSetup;
class TfrmMainWindow;

class TfrmGrepProgress : public QDialog {
    Q_OBJECT
public:
    TfrmGrepProgress(TfrmMainWindow *main, const std::string &text, QWidget *owner = nullptr);

    // The search with the setup's choices and list; returns the number of matches listed.
    int Search(TfrmGrepSetup &setup);
    TfrmGrepResults *Results() const { return m_results.data(); }
    bool Cancelled() const { return m_cancel; }
    // The results window stopped the reporting (it was closed).
    bool Detached() const { return m_detached; }
    void Detach();

    RegularExpression Regex;
    QLabel *lblSearchText = nullptr, *lblFile = nullptr, *lblMatches = nullptr;
    QPushButton *btnCancel = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // One match in a file; false to stop.
    bool FileMatch(const std::string &file, uint32_t line, uint64_t position, uint32_t column,
                   uint32_t length);
    void ListMatch(const std::string &text, const TgrepListItem &item);
    int SearchEditors();

    TfrmMainWindow *m_main;
    bool m_cancel = false;
    bool m_detached = false;
    uint32_t m_matches = 0;
    QPointer<TfrmGrepResults> m_results;
};

// Find in Files from the main window: setup, search, the caption of the results or the word
// that nothing was found.
void RunFindInFiles(TfrmMainWindow *main);
