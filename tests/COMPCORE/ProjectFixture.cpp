// The project-file fixture.
#include "ProjectFixture.h"

#include <fstream>
#include <iterator>

#include "core/CC_ER.h"
#include "IniFile.h"
#include "core/guiInterface.h"

namespace fs = std::filesystem;

std::string crlf(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

void ProjectFixture::SetUp()
{
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string safe;
    for (char c : name)
        safe += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    sandbox = std::make_unique<SettingsSandbox>("project-" + safe);
    dir = sandbox->config / "projects";
    fs::create_directories(dir);
    m_options = compiler_options();
    m_libraries_file = libraries_file();
    m_bios_file = bios_file();
    reset_projects();
    set_target_operations(&target);
    gDialogControl.CloseStatusBox();
}

void ProjectFixture::TearDown()
{
    reset_projects();
    install_seam_doubles();
    gDialogControl.CloseStatusBox();
    compiler_options() = m_options;
    set_libraries_file(m_libraries_file);
    set_bios_file(m_bios_file);
    set_max_errors_shown(10);
    set_max_warnings_shown(10);
    std::error_code ec;
    for (const auto &entry : fs::recursive_directory_iterator(sandbox->config, ec))
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    sandbox.reset();
}

std::string ProjectFixture::write(const std::string &name, const std::string &bytes) const
{
    const fs::path path = dir / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

std::string ProjectFixture::bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ProjectFixture::key(const std::string &path, const char *section, const char *key)
{
    return IniFile(path).read_string(section, key).value_or("(missing)");
}

TKXProject &ProjectFixture::load(const std::string &path)
{
    gProject = std::make_unique<TKXProject>(path);
    EXPECT_TRUE(gProject->CheckWritable()) << path;
    return *gProject;
}

TKXProject &ProjectFixture::load_text(const std::string &sections)
{
    return load(write("test.kxp", crlf(sections)));
}

std::string ProjectFixture::box_texts() const
{
    std::string out;
    for (const auto &box : headless_message_box_host().shown)
        out += box.caption + ": " + box.text + "\n";
    return out;
}
