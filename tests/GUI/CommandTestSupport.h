// The fixture of the compile and debug command tests: a main window whose pauses and resumes
// of polling go into the journal of the recording debugger operations and command dialogs
// (tests/doubles/DebuggerDoubles.h), and the target link's recording double under it (leaving
// debug mode talks to the link).
#pragma once

#include "GuiHarness.h"

#include <algorithm>

#include "driver/CC_GO.h"
#include "DebuggerDoubles.h"
#include "core/SEAM_TARGET.h"
#include "SeamDoubles.h"
#include "settings/guiKXPreferences.h"
#include "settings/guiProjects.h"

class JournalMain : public TfrmMainWindow {
public:
    explicit JournalMain(DebuggerJournal &journal) : m_journal(journal) {}
    void PausePolling() override
    {
        m_journal.calls.push_back("PausePolling");
        TfrmMainWindow::PausePolling();
    }
    void ResumePolling() override
    {
        m_journal.calls.push_back("ResumePolling");
        TfrmMainWindow::ResumePolling();
    }

private:
    DebuggerJournal &m_journal;
};

class CommandTest : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        set_debugger_operations(&m_dbg);
        set_command_dialogs(&m_dialogs);
        set_target_operations(&m_link);
        gDebugRstState = 0;
        gPollEnabled = true;
        set_compile_mode(0);
        auto *main = new JournalMain(m_journal);
        main->FormCreate();
        set_main_window_interface(main->Adapter());
        main->show();
        m_main = main;
    }
    void TearDown() override
    {
        GuiTest::TearDown();
        set_debugger_operations(nullptr);
        set_command_dialogs(nullptr);
        install_seam_doubles();
        gDebugRstState = 0;
    }
    TfrmEdit *Open(const std::string &name, const std::string &text)
    {
        TfrmEdit *editor = Main().OpenFile(Write(name, text));
        EXPECT_NE(editor, nullptr);
        return editor;
    }
    // Debug mode in the run state, with the journal emptied.
    void Enter(int run_state)
    {
        Main().SetDebugMode(run_state);
        m_journal.calls.clear();
    }
    bool Called(const std::string &call) const { return m_journal.Count(call) > 0; }
    // The calls in the journal in this order (others may lie between them).
    ::testing::AssertionResult InOrder(const std::vector<std::string> &calls) const
    {
        int at = 0;
        for (const std::string &call : calls) {
            const int found = m_journal.Find(call, at);
            if (found < 0)
                return ::testing::AssertionFailure() << "\"" << call << "\" missing (in order) from "
                                                     << ::testing::PrintToString(m_journal.calls);
            at = found + 1;
        }
        return ::testing::AssertionSuccess();
    }
    std::vector<std::string> Captions() const
    {
        std::vector<std::string> captions;
        for (const auto &box : m_boxes.shown)
            captions.push_back(box.caption);
        return captions;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto &box : m_boxes.shown)
            texts.push_back(box.text);
        return texts;
    }

    DebuggerJournal m_journal;
    RecordingDebugger m_dbg{m_journal};
    RecordingCommandDialogs m_dialogs{m_journal};
    HeadlessTargetOperations m_link;
};
