// Test doubles of the settings: a window host that records what the load and the save ask of
// the main window and the editor, and a sandbox that gives a test its own settings store.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "driver/CC_GO.h"
#include "core/SEAM_SETTINGS.h"
#include "settings/guiEnvironment.h"
#include "HostDoubles.h"
#include "core/guiInterface.h"

// Serves these definitions as the current project's for the life of the object, then puts the
// project unit's provider back.
class ScopedProjectDefines {
public:
    explicit ScopedProjectDefines(ProjectDefines defines) : m_saved(project_defines_provider())
    {
        current() = std::move(defines);
        set_project_defines_provider([]() -> const ProjectDefines * { return &current(); });
    }
    ~ScopedProjectDefines()
    {
        set_project_defines_provider(m_saved);
        current().clear();
    }
    ScopedProjectDefines(const ScopedProjectDefines &) = delete;
    ScopedProjectDefines &operator=(const ScopedProjectDefines &) = delete;
    static ProjectDefines &current()
    {
        static ProjectDefines defines;
        return defines;
    }

private:
    ProjectDefinesProvider m_saved;
};

class RecordingSettingsHost : public TSettingsWindowHost {
public:
    bool menu_buttons_visible = true;
    bool consolidate_checked = false;
    std::string open_init_dir = "/home/user/open";
    std::string save_init_dir = "/home/user/save";
    int editor_adjustments = 0;

    bool MenuButtonsVisible() override { return menu_buttons_visible; }
    bool ConsolidateChecked() override { return consolidate_checked; }
    std::string OpenDialogInitDir() override { return open_init_dir; }
    std::string SaveDialogInitDir() override { return save_init_dir; }
    void AdjustEditorOptions() override { ++editor_adjustments; }
};

// For the life of the object: XDG_CONFIG_HOME is a fresh temporary folder (so the store's file
// is <folder>/korvex/registry.kxreg), the program directory is "/opt/korvex/", the version key
// is the plain one, the recording host is installed, no message box has been shown and the
// settings are at their defaults. Everything goes back afterwards.
class SettingsSandbox {
public:
    RecordingSettingsHost host;
    std::filesystem::path config;

    explicit SettingsSandbox(const std::string &name)
    {
        const char *xdg = std::getenv("XDG_CONFIG_HOME");
        m_had_xdg = xdg != nullptr;
        if (xdg)
            m_saved_xdg = xdg;
        m_saved_program_dir = program_directory();
        config = std::filesystem::temp_directory_path() /
                 ("kx-settings-" + std::to_string(::getpid()) + "-" + name);
        std::filesystem::remove_all(config);
        std::filesystem::create_directories(config);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        set_settings_registry_path("");
        set_program_directory("/opt/korvex/");
        EXPECT_FALSE(set_settings_version_key(""));
        reset_settings_to_defaults();
        headless_message_box_host().shown.clear();
        set_settings_window_host(&host);
    }
    ~SettingsSandbox()
    {
        set_settings_window_host(nullptr);
        reset_settings_to_defaults();
        headless_message_box_host().shown.clear();
        set_program_directory(m_saved_program_dir);
        SettingsVersionKey.clear();
        if (m_had_xdg)
            ::setenv("XDG_CONFIG_HOME", m_saved_xdg.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        std::error_code ec;
        std::filesystem::remove_all(config, ec);
    }
    SettingsSandbox(const SettingsSandbox &) = delete;
    SettingsSandbox &operator=(const SettingsSandbox &) = delete;

    std::string store_file() const { return (config / "korvex" / "registry.kxreg").string(); }

private:
    bool m_had_xdg = false;
    std::string m_saved_xdg;
    std::string m_saved_program_dir;
};
