// Test support of the library index, the library container and the map file: a protection
// scheme of our own (there is no cipher in the build) and a way to write protected libraries
// under it, and a temporary folder with a libraries list.
#pragma once

#include <gtest/gtest.h>

#include "linker/Lb_encr.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace library_test {

namespace fs = std::filesystem;

// A file is protected when its header text begins with "KXTEST"; each stored byte is the text
// byte XOR the stored byte before it XOR the first block byte. Decoding a byte needs the stored
// byte before it, so a reader that moved must read that byte again.
class TestProtection : public LibraryProtection {
public:
    uint16_t kind_of(const std::string &header, const std::array<uint8_t, 16> &) override
    {
        return header.rfind("KXTEST", 0) == 0 ? 7 : 0;
    }
    uint8_t decode(const EncryptValInfo &file, uint8_t stored, uint8_t previous) override
    {
        return static_cast<uint8_t>(stored ^ previous ^ file.block[0]);
    }
};

// The stored form of a text under TestProtection.
inline std::string protect(const std::string &text, uint8_t key = 0x5A)
{
    std::string out = "KXTEST protected library";
    out += '\0';
    std::array<uint8_t, 16> block{};
    block[0] = key;
    block[15] = 0x33;
    out.append(reinterpret_cast<const char *>(block.data()), block.size());
    uint8_t previous = block[15];
    for (char c : text) {
        const uint8_t stored = static_cast<uint8_t>(static_cast<uint8_t>(c) ^ previous ^ key);
        out += static_cast<char>(stored);
        previous = stored;
    }
    return out;
}

// Installs TestProtection for the life of the object; the table of protected files is emptied
// before and after.
class ProtectionScope {
public:
    ProtectionScope()
    {
        clear_protected_files();
        set_library_protection(&m_scheme);
    }
    ~ProtectionScope()
    {
        set_library_protection(nullptr);
        clear_protected_files();
    }

private:
    TestProtection m_scheme;
};

// A temporary folder, removed at the end.
class TempFolder {
public:
    explicit TempFolder(const std::string &tag)
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "-" + info->name();
        for (char &c : name)
            if (c == '/')
                c = '-';
        m_path = fs::temp_directory_path() /
                 ("kx-" + tag + "-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~TempFolder()
    {
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    const fs::path &path() const { return m_path; }
    std::string operator/(const std::string &name) const { return (m_path / name).string(); }

    void write(const std::string &name, const std::string &bytes) const
    {
        fs::create_directories((m_path / name).parent_path());
        std::ofstream(m_path / name, std::ios::binary) << bytes;
    }
    std::string read(const std::string &name) const
    {
        std::ifstream in(m_path / name, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

private:
    fs::path m_path;
};

// Sets a file's modification time to a number of seconds since the epoch.
inline void set_file_time(const std::string &path, int64_t seconds)
{
    using namespace std::chrono;
    const auto system = system_clock::time_point(std::chrono::seconds(seconds));
    fs::last_write_time(path, fs::file_time_type::clock::from_sys(system));
}

}  // namespace library_test
