// A state folder of its own for a test that writes the communication trace: XDG_STATE_HOME
// points into the temporary folder while the sandbox lives; the trace is closed and the
// settings object is back at its defaults at both ends.
#pragma once

#include "debugger/TcTrace.h"
#include "settings/guiKXPreferences.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

class TraceSandbox {
public:
    TraceSandbox()
    {
        reset_preferences_to_defaults();
        const char *old = std::getenv("XDG_STATE_HOME");
        m_had_old = old != nullptr;
        m_old = old ? old : "";
        dir = std::filesystem::temp_directory_path() /
              ("kx-trace-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        setenv("XDG_STATE_HOME", dir.c_str(), 1);
    }
    ~TraceSandbox()
    {
        TcCloseTraceFile();
        reset_preferences_to_defaults();
        if (m_had_old)
            setenv("XDG_STATE_HOME", m_old.c_str(), 1);
        else
            unsetenv("XDG_STATE_HOME");
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    TraceSandbox(const TraceSandbox &) = delete;
    TraceSandbox &operator=(const TraceSandbox &) = delete;

    // The trace file as it stands (the trace is closed first, so everything is in it).
    std::string text() const
    {
        TcCloseTraceFile();
        std::ifstream in(TcTraceFilePath(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::filesystem::path dir;

private:
    std::string m_old;
    bool m_had_old = false;
};
