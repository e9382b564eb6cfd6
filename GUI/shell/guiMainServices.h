// guiMainServices: what the main window's printing and its after-compile signal stand on.
// `TKorvexPrinter` prints an editor's text as the editor colours it (or black on white, as the
// print setup says), with the document's name above and the page number below each page;
// `TAttentionSignals` is how a finished compile draws the user's eye while the IDE is in the
// background (the program's own uses the application's alert and beep; tests record).
#pragma once

#include <Qsci/qsciprinter.h>

#include <string>

#include "settings/guiEnvironment.h"

class QWidget;
class QsciScintilla;

class TKorvexPrinter : public QsciPrinter {
public:
    TKorvexPrinter();
    // The page setup and text options in force (orientation, margins, header, page numbers,
    // wrapping, colours).
    void SetSetup(const TPreviewPrinter &setup) { m_setup = setup; }
    const TPreviewPrinter &Setup() const { return m_setup; }
    // Prints the whole text of the memo, in the print colours, as the document `title`; the
    // number of pages printed (0 when nothing could be printed).
    int PrintText(QsciScintilla *memo, const std::string &title);
    // The same onto a painter of the caller's (one page's worth is drawn on it), as the
    // preview of a page would show it.
    int PrintText(QsciScintilla *memo, const std::string &title, QPainter &painter);
    void formatPage(QPainter &painter, bool drawing, QRect &area, int pagenr) override;

private:
    int Print(QsciScintilla *memo, const std::string &title, QPainter *painter);

    TPreviewPrinter m_setup;
    int m_pages = 0;
};

class TAttentionSignals {
public:
    virtual ~TAttentionSignals() = default;
    virtual bool ApplicationActive() = 0;
    // Flashes the window's task bar entry for the time given.
    virtual void Alert(QWidget *window, int milliseconds) = 0;
    virtual void Beep() = 0;
};
TAttentionSignals &attention_signals();
void set_attention_signals(TAttentionSignals *attention); // not owned; null: the program's own

// After a compile: nothing while the application is in front; else, as the settings "Flash
// After Compile" and "Beep After Compile" say, three flashes 500 ms apart and one beep.
void FlashAndBeepAfterCompile(QWidget *main_window);
