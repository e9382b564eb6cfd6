// Whole-file replacement: what a save keeps of the old file, and what a failed save leaves.
#include "FileReplace.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

class FileReplace : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("kx_replace_" + std::to_string(getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string Write(const std::string &name, const std::string &bytes)
    {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
        return (m_dir / name).string();
    }
    static std::string Read(const fs::path &path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    int Entries() const
    {
        int n = 0;
        for ([[maybe_unused]] const auto &e : fs::directory_iterator(m_dir))
            ++n;
        return n;
    }
    fs::path m_dir;
};

TEST_F(FileReplace, NewFileIsCreatedWithEveryByte)
{
    const std::string bytes("a\0b\r\n\xFF", 6);
    std::string reason;
    ASSERT_TRUE(replace_file_contents((m_dir / "n.c").string(), bytes, reason)) << reason;
    EXPECT_EQ(Read(m_dir / "n.c"), bytes);
    EXPECT_EQ(Entries(), 1);
}

TEST_F(FileReplace, PermissionsAreKept)
{
    const std::string path = Write("p.c", "old");
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write |
                           fs::perms::group_read | fs::perms::others_exec;
    fs::permissions(path, mode);
    std::string reason;
    ASSERT_TRUE(replace_file_contents(path, "new", reason)) << reason;
    EXPECT_EQ(Read(path), "new");
    EXPECT_EQ(fs::status(path).permissions(), mode);
}

TEST_F(FileReplace, SymbolicLinkStaysALink)
{
    const std::string target = Write("t.c", "old");
    fs::create_symlink("t.c", m_dir / "l.c");
    std::string reason;
    ASSERT_TRUE(replace_file_contents((m_dir / "l.c").string(), "new", reason)) << reason;
    EXPECT_TRUE(fs::is_symlink(m_dir / "l.c"));
    EXPECT_EQ(Read(target), "new");
}

TEST_F(FileReplace, HardLinksStayOneFile)
{
    const std::string first = Write("h1.c", "old");
    fs::create_hard_link(first, m_dir / "h2.c");
    std::string reason;
    ASSERT_TRUE(replace_file_contents(first, "new", reason)) << reason;
    EXPECT_EQ(Read(m_dir / "h2.c"), "new");
    EXPECT_EQ(fs::hard_link_count(first), 2u);
}

TEST_F(FileReplace, FolderIsRefusedWithAReason)
{
    fs::create_directories(m_dir / "d.c");
    std::string reason;
    EXPECT_FALSE(replace_file_contents((m_dir / "d.c").string(), "x", reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(fs::is_directory(m_dir / "d.c"));
}

// A FIFO, or a link to a device, at the path is neither written into (which could wait for a
// reader, or never end) nor replaced by a file.
TEST_F(FileReplace, FifoOrDeviceIsRefusedAndStays)
{
    ASSERT_EQ(::mkfifo((m_dir / "p.c").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", m_dir / "null.c");
    for (const char *name : {"p.c", "null.c"}) {
        const fs::file_type before = fs::symlink_status(m_dir / name).type();
        std::string reason;
        EXPECT_FALSE(replace_file_contents((m_dir / name).string(), "x", reason)) << name;
        EXPECT_EQ(reason, "it is not an ordinary file (a FIFO, socket or device)") << name;
        EXPECT_EQ(fs::symlink_status(m_dir / name).type(), before) << name;
    }
    EXPECT_EQ(fs::symlink_status("/dev/null").type(), fs::file_type::character);
    EXPECT_EQ(Entries(), 2);
}

// A write that fails part-way (the file-size limit stands in for a full disk) leaves the old
// file whole and nothing beside it, whether it was replaced or rewritten in place.
TEST_F(FileReplace, FailedWriteLeavesTheOldFileWhole)
{
    const std::string single = Write("s.c", "old single");
    const std::string linked = Write("k.c", "old linked");
    fs::create_hard_link(linked, m_dir / "k2.c");
    const std::string big(4096, 'x');
    struct rlimit old_limit {};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit;
    small.rlim_cur = 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    std::string reason_single, reason_linked;
    const bool single_ok = replace_file_contents(single, big, reason_single);
    const bool linked_ok = replace_file_contents(linked, big, reason_linked);
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(single_ok);
    EXPECT_FALSE(linked_ok);
    EXPECT_FALSE(reason_single.empty());
    EXPECT_FALSE(reason_linked.empty());
    EXPECT_EQ(Read(single), "old single");
    EXPECT_EQ(Read(linked), "old linked");
    EXPECT_EQ(Entries(), 3);
}

} // namespace
