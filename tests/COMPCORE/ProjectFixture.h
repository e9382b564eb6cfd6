// The project-file fixture: a test gets its own settings store and configuration folder (a
// SettingsSandbox: the factory and default projects lie in <folder>/korvex), a recording target
// link of its own, the program directory "/opt/korvex/" and no current project; the compiler
// values a project load sets (options, libraries list and BIOS files, message maximums) go back
// to what they were afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "driver/CC_GO.h"
#include "HostDoubles.h"
#include "SeamDoubles.h"
#include "SettingsDoubles.h"
#include "settings/guiProjects.h"

class ProjectFixture : public ::testing::Test {
protected:
    std::unique_ptr<SettingsSandbox> sandbox;
    HeadlessTargetOperations target;
    std::filesystem::path dir;  // the test's own projects

    void SetUp() override;
    void TearDown() override;

    // Writes the bytes as dir/name; the path.
    std::string write(const std::string &name, const std::string &bytes) const;
    static std::string bytes(const std::string &path);
    // The file's value of a key ("(missing)" when it has none).
    static std::string key(const std::string &path, const char *section, const char *key);
    // The file becomes the current project and is loaded (CheckWritable must hold).
    TKXProject &load(const std::string &path);
    // A project file of these sections (LF lines, written with CR LF) becomes the current
    // project and is loaded.
    TKXProject &load_text(const std::string &sections);
    std::vector<HeadlessMessageBoxHost::Shown> &boxes()
    {
        return headless_message_box_host().shown;
    }
    // The boxes' texts, one per line.
    std::string box_texts() const;

private:
    CompilerOptions m_options;
    std::string m_libraries_file, m_bios_file;
};

// Text of LF lines as CR LF lines.
std::string crlf(const std::string &text);
