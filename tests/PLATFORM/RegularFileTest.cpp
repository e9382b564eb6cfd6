// Reading a whole regular file: what is read, what is refused before a byte is read (a FIFO
// must not make the reader wait for a writer), and the limit.
#include "RegularFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct ReadCase {
    const char *name;
    const char *path;  // below the test's folder; made by `make`
    std::size_t limit;
    RegularFileStatus status;
    std::string bytes;
    const char *refusal;  // what a message says after the file's name
};

void make(const fs::path &dir)
{
    std::ofstream(dir / "four.bin", std::ios::binary) << std::string("a\0\xFF\n", 4);
    std::ofstream(dir / "empty.bin", std::ios::binary);
    std::ofstream(dir / "name with blanks \"and quotes\"", std::ios::binary) << "q";
    fs::create_symlink(dir / "four.bin", dir / "link.bin");
    fs::create_directories(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
}

const ReadCase kReads[] = {
    {"whole_file", "four.bin", 100, RegularFileStatus::Read, std::string("a\0\xFF\n", 4), ""},
    {"exactly_the_limit", "four.bin", 4, RegularFileStatus::Read, std::string("a\0\xFF\n", 4), ""},
    {"one_past_the_limit", "four.bin", 3, RegularFileStatus::TooLarge, "",
     "it is larger than 3 bytes"},
    {"empty_file", "empty.bin", 0, RegularFileStatus::Read, "", ""},
    {"link_followed", "link.bin", 100, RegularFileStatus::Read, std::string("a\0\xFF\n", 4), ""},
    {"blanks_and_quotes", "name with blanks \"and quotes\"", 100, RegularFileStatus::Read, "q", ""},
    {"missing", "none.bin", 100, RegularFileStatus::NotOpened, "", "it is missing"},
    {"directory", "folder", 100, RegularFileStatus::NotRegular, "", "it is a folder"},
    {"fifo_without_writer", "fifo", 100, RegularFileStatus::NotRegular, "",
     "it is not an ordinary file (a FIFO, socket or device)"},
};

class RegularFileRead : public ::testing::TestWithParam<ReadCase> {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("kx_regular_" + std::to_string(::getpid()) + "_" +
                                             GetParam().name);
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        make(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

TEST_P(RegularFileRead, GivesTheBytesOrWhyNot)
{
    const ReadCase &c = GetParam();
    std::vector<uint8_t> bytes{1, 2, 3};  // whatever was there goes
    EXPECT_EQ(read_regular_file((m_dir / c.path).string(), c.limit, bytes), c.status);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes);
    EXPECT_EQ(is_regular_file_path((m_dir / c.path).string()),
              c.status == RegularFileStatus::Read || c.status == RegularFileStatus::TooLarge);
    EXPECT_EQ(regular_file_refusal((m_dir / c.path).string(), c.status, c.limit), c.refusal);

    // As text, the same bytes and the same answer.
    std::string text = "old";
    EXPECT_EQ(read_regular_text((m_dir / c.path).string(), c.limit, text), c.status);
    EXPECT_EQ(text, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(All, RegularFileRead, ::testing::ValuesIn(kReads),
                         [](const auto &i) { return std::string(i.param.name); });

// A device is not a data file, even one that reads like an endless one.
TEST(RegularFile, DeviceIsRefused)
{
    std::vector<uint8_t> bytes;
    EXPECT_EQ(read_regular_file("/dev/zero", 16, bytes), RegularFileStatus::NotRegular);
    EXPECT_FALSE(is_regular_file_path("/dev/null"));
}

// A file that holds more than its size says (as one that grows while it is read, or a kernel
// file of size 0) is read up to the limit and no further.
TEST(RegularFile, MoreThanItsSizeIsReadOnlyUpToTheLimit)
{
    std::vector<uint8_t> bytes;
    EXPECT_EQ(read_regular_file("/proc/self/status", 16, bytes), RegularFileStatus::TooLarge);
    EXPECT_TRUE(bytes.empty());
    ASSERT_EQ(read_regular_file("/proc/self/status", 1u << 20, bytes), RegularFileStatus::Read);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "Name:");
}

// The head of a file: a longer file is cut at the limit instead of refused, and says so; what
// is no ordinary file is refused all the same.
TEST(RegularFile, HeadIsCutAtTheLimit)
{
    const fs::path dir = fs::temp_directory_path() / ("kx_regular_head_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    make(dir);
    std::vector<uint8_t> bytes;
    bool cut = true;
    ASSERT_EQ(read_regular_file_head((dir / "four.bin").string(), 4, bytes, cut),
              RegularFileStatus::Read);
    EXPECT_EQ(bytes.size(), 4u);
    EXPECT_FALSE(cut);
    ASSERT_EQ(read_regular_file_head((dir / "four.bin").string(), 3, bytes, cut),
              RegularFileStatus::Read);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("a\0\xFF", 3));
    EXPECT_TRUE(cut);
    EXPECT_EQ(read_regular_file_head((dir / "fifo").string(), 3, bytes, cut),
              RegularFileStatus::NotRegular);
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(cut);
    EXPECT_EQ(read_regular_file_head("/dev/zero", 3, bytes, cut), RegularFileStatus::NotRegular);
    // A file longer than its size says is cut too.
    ASSERT_EQ(read_regular_file_head("/proc/self/status", 5, bytes, cut), RegularFileStatus::Read);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "Name:");
    EXPECT_TRUE(cut);
    fs::remove_all(dir);
}

TEST(RegularFile, RefusalSaysLargeLimitsInWholeUnits)
{
    EXPECT_EQ(regular_file_refusal("x", RegularFileStatus::TooLarge, std::size_t(4) << 20),
              "it is larger than 4 MB");
    EXPECT_EQ(regular_file_refusal("x", RegularFileStatus::TooLarge, 64 * 1024),
              "it is larger than 64 KB");
    EXPECT_EQ(regular_file_refusal("/dev/zero", RegularFileStatus::NotRegular, 1),
              "it is not an ordinary file (a FIFO, socket or device)");
}

}  // namespace
