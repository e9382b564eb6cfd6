// guiHelpHost: what the Help menu and Function Lookup reach outside the main window, each
// behind an interface that tests replace with a recording double.
//
// `TDocumentOpener`: hands a document file or a web address to the desktop. The program's own
// passes the text to Qt's desktop services as one URL (never through a shell), so blanks,
// quotes and ";" stay part of it. The help it is handed by default is the HTML the build stages
// in the resources folder's "docs/" (the user guide, the keystrokes, the language pages and the
// generated instruction-set and function references); the settings may name others.
//
// `THelpWindows`: the library function lookup window, the function description window and the
// tip of the day. The program's own shows the tip of the day (frmKXTips, over "Tips.dat" in the
// program directory) and the lookup and description windows of editor/ over the main window.
// GUI thread only.
#pragma once

#include <optional>
#include <string>
#include <vector>

class TDocumentOpener {
public:
    virtual ~TDocumentOpener() = default;
    // False when the desktop could not open it.
    virtual bool OpenFile(const std::string &path) = 0;
    virtual bool OpenUrl(const std::string &url) = 0;
};

TDocumentOpener &document_opener();
// Not owned; null restores the program's own.
void set_document_opener(TDocumentOpener *opener);

class THelpWindows {
public:
    virtual ~THelpWindows() = default;
    // The word at the cursor of the active function description window; nothing when no such
    // window is active.
    virtual std::optional<std::string> DescriptionWord() = 0;
    // The description of one library function, modeless.
    virtual void ShowDescription(const std::string &name) = 0;
    // The lookup window over the sorted function names, with the word in its name field and
    // the entry `selected` (-1 for none) chosen, modally.
    virtual void ShowLookup(const std::vector<std::string> &names, const std::string &word,
                            int selected) = 0;
    // The tip-of-the-day dialog, starting at the tip `index`, modally; the index of the tip on
    // show when it closed. A tips file that cannot be used throws (its text names the file and
    // why) and shows nothing.
    virtual int ShowTipOfTheDay(int index) = 0;
};

THelpWindows &help_windows();
// Not owned; null restores the program's own.
void set_help_windows(THelpWindows *windows);
