// The compile-and-run fixture with the IDE's main window as the host of the source: the real
// compile entry reads an open editor's text, and its messages reach the IDE's windows. Boxes are
// scripted and the settings-and-project store is the recording double.
#pragma once

#include "CompileRunFixture.h"
#include "GuiHarness.h"

#include "core/CC_ER.h"
#include "settings/guiKXPreferences.h"

class IdeCompileRun : public CompileRun {
protected:
    void SetUp() override
    {
        CompileRun::SetUp();
        reset_preferences_to_defaults();
        SetSourceExtensions(IdePreferences().syntax_file_types);
        set_ide_store(&m_store);
        set_message_box_host(&m_boxes);
        m_main = new TfrmMainWindow;
        m_main->FormCreate();
        set_main_window_interface(m_main->Adapter());
        m_main->show();
    }
    void TearDown() override
    {
        delete m_main;
        set_main_window_interface(nullptr);
        reset_host_services();
        set_ide_store(nullptr);
        reset_errors();
        CompileRun::TearDown();
    }
    ScriptedBoxes m_boxes;
    RecordingStore m_store;
    TfrmMainWindow *m_main = nullptr;
};
