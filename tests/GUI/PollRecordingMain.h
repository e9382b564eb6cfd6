// A main window that counts how often polling is paused and resumed (and still does what the
// main window does), made in place of the fixture's own.
#pragma once

#include "GuiHarness.h"

class PollRecordingMain : public TfrmMainWindow {
public:
    int pauses = 0;
    int resumes = 0;
    void PausePolling() override
    {
        ++pauses;
        TfrmMainWindow::PausePolling();
    }
    void ResumePolling() override
    {
        ++resumes;
        TfrmMainWindow::ResumePolling();
    }

    // Made and shown as GuiTest::Main makes its window; the fixture's teardown ends it.
    static PollRecordingMain &Make(TfrmMainWindow *&fixture_main)
    {
        auto *main = new PollRecordingMain;
        main->FormCreate();
        set_main_window_interface(main->Adapter());
        main->show();
        fixture_main = main;
        return *main;
    }
};
