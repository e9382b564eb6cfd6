// BoardSession: the fixture of the debugging sessions on the board stand-in, over the whole
// build: the real library catalogue, linker, target link and debugger core, our BIOS compiled
// from a copy in the test's folder (its compile writes its map and tables beside it, never into
// the staged resources other programs share), the cold and pilot loaders, and the stand-in cold
// on a pseudo-terminal, or on loopback TCP where its challenge asks for a pass phrase that the
// user types into the IDE's form. The link's waits are shortened for the test and put back
// after it; the next test's compile starts without this test's BIOS.
#pragma once

#include "GuiHarness.h"

#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QTest>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "BoardStandIn.h"
#include "SeamDoubles.h"
#include "core/SEAM_CODEGEN.h"
#include "core/SEAM_LINKER.h"
#include "core/SEAM_TARGET.h"
#include "debug/guiDebugger.h"
#include "debugger/TCOptions.h"
#include "driver/CC_GO.h"
#include "link/TConnection.h"
#include "link/TSerialConnection.h"
#include "link/TcRequests.h"
#include "link/TcTargetOperations.h"
#include "link/guiCompilerInterface.h"
#include "options/frmKXPassPhrase.h"
#include "settings/guiKXPreferences.h"

class BoardSession : public GuiTest {
protected:
    // The serial port number the session's link opens (each test program's own).
    explicit BoardSession(uint32_t com_port) : m_com_port(com_port) {}

    void SetUp() override
    {
        namespace fs = std::filesystem;
        GuiTest::SetUp();
        set_linker_seam(nullptr);
        set_codegen_seam(nullptr);
        set_breakpoint_tables(nullptr);
        ShutdownLink();
        install_target_link();
        install_debugger_link();
        m_saved_timings = link_timings();
        TLinkTimings &t = link_timings();
        t.cold_dtr_ms = t.cold_start_ms = t.cold_end_ms = t.cold_drain_ms = 1;
        t.usb_serial_delay_ms = 0;
        t.sync_poll_ms = 100;
        t.bios_start_ms = 0;

        const fs::path resources = fs::path(KX_TOOLS_DIR).parent_path() / "korvex";
        const fs::path target = fs::path(KX_TEST_DATA) / ".." / ".." / "TARGET" / "bios";
        TIdePreferences &p = IdePreferences();
        p.cold_loader_file = (target / "coldload.bin").string();
        p.pilot_bios_file = (target / "pilot.bin").string();
        p.output_mode = 0;
        p.enable_tracing = false;
        p.include_bios = true;
        p.include_rst28 = true;
        set_compiler_directories(resources.string(), "", {});
        set_libraries_file((resources / p.lib_dir_file).string());
        fs::create_directories(m_dir / "bios");
        fs::copy_file(resources / "bios" / "Vireonbios.c", m_dir / "bios" / "Vireonbios.c",
                      fs::copy_options::overwrite_existing);
        set_bios_file((m_dir / "bios" / "Vireonbios.c").string());

        StartBoard();
        SetLoaderBaudRates(2400, 57600, 115200);
        gPilotLoad = 1;
        gBiosTimeStamp = 0;
        ClearCompileFlags();
        set_compile_mode(1);
    }
    void TearDown() override
    {
        if (m_main)
            m_main->SetDebugMode(0);
        ShutdownLink();
        gTCPPassPhraseControl.Reset();
        gTCPPassPhraseControl.SetDialogFactory(nullptr);
        m_board.reset();
        SetSerialDevice(m_com_port, "");
        link_timings() = m_saved_timings;
        ClearCompileFlags();
        // This test's BIOS was compiled with its own debug-kernel settings: the next test's
        // compile starts without it.
        bios_compile_info_cache().forget();
        GuiTest::TearDown();
        set_debugger_operations(nullptr);
        install_seam_doubles();
    }

    // Over loopback TCP the board asks for the pass phrase with a challenge of method 1; the
    // user types it into the IDE's form and presses Enter.
    virtual bool OverTcp() const { return false; }

    // The stand-in, cold, on the link the test asks for, and the link's settings to reach it.
    void StartBoard()
    {
        vsim::StandInConfig config;
        config.firmware.initial_phase = vsim::BoardPhase::cold;
        config.wait_timeout = std::chrono::milliseconds(3000);
        config.serial = !OverTcp();
        if (OverTcp()) {
            config.firmware.challenge_method = 1;
            config.firmware.pass_phrase = kPassPhrase;
        }
        m_board = std::make_unique<vsim::BoardStandIn>(config);
        std::string error;
        ASSERT_TRUE(m_board->start(error)) << error;
        TCOptionsType o;
        o.com_port = m_com_port;
        o.serial_response_timeout = 1000;
        o.serial_retry_count = 0;
        o.verify_dsr = 0;
        o.max_download_baud = 460800;
        if (OverTcp()) {
            o.link_kind = 1;
            ASSERT_TRUE(set_comm_text(o.network_address, "127.0.0.1"));
            o.control_port = m_board->tcp_port();
            o.tcp_response_timeout = 2000;
            o.tcp_retry_count = 0;
            gTCPPassPhraseControl.Reset();
            gTCPPassPhraseControl.SetDialogFactory(
                qt_pass_phrase_dialogs(nullptr, [this](QDialog &dialog) {
                    ++m_phrases_asked;
                    dialog.show();
                    auto &form = static_cast<TfrmPassPhrase &>(dialog);
                    form.edtPassPhrase->setText(kPassPhrase);
                    QTest::keyClick(form.edtPassPhrase, Qt::Key_Return);
                    return dialog.result();
                }));
        } else {
            SetSerialDevice(m_com_port, m_board->pty_path());
        }
        target_operations().SetCommSettings(o);
    }

    // As the user presses a command's key: its enabled state is the one the window shows.
    void Press(QAction *action)
    {
        Main().UpdateActions();
        ASSERT_TRUE(action->isEnabled()) << action->text().toStdString();
        action->trigger();
    }

    // Waits, running events, until the target has stopped and run control took the stop.
    bool UntilStopped()
    {
        for (int i = 0; i < 300 && Main().RunState() != 1; ++i)
            QTest::qWait(10);
        return Main().RunState() == 1;
    }

    // The watches the board holds.
    std::size_t BoardWatches()
    {
        return m_board->with_firmware([](vsim::BoardFirmware &f) { return f.watches().size(); });
    }

    static constexpr const char *kPassPhrase = "open sesame";
    std::unique_ptr<vsim::BoardStandIn> m_board;
    TLinkTimings m_saved_timings;
    int m_phrases_asked = 0;

private:
    const uint32_t m_com_port;
};
