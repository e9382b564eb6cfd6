// The BIOS compile's output sets under the user's cache folder: where they lie, one per BIOS
// source and board, a compile's folder that takes the set's place only when published, what a
// cache folder that cannot be made says, and what a program that ended mid-compile left.
#include "driver/BiosCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// XDG_CACHE_HOME and HOME as the test sets them, restored after it.
class EnvironmentValue {
public:
    explicit EnvironmentValue(const char *name) : m_name(name)
    {
        if (const char *value = std::getenv(name))
            m_saved = value;
    }
    ~EnvironmentValue()
    {
        if (m_saved)
            ::setenv(m_name, m_saved->c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    void set(const std::string &value) { ::setenv(m_name, value.c_str(), 1); }
    void unset() { ::unsetenv(m_name); }

private:
    const char *m_name;
    std::optional<std::string> m_saved;
};

class BiosCache : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("kx_bios_cache_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "resources" / "bios");
        source = (dir / "resources" / "bios" / "Vireonbios.c").string();
        std::ofstream(source) << "/* BIOS */\n";
        cache.set((dir / "cache").string());
        set_bios_cache_root("");
        forget_last_bios_cache_set();
    }
    void TearDown() override
    {
        forget_last_bios_cache_set();
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    // What a compile writes: its breakpoint dump and map, named after the source.
    static void write_outputs(const std::string &folder, const std::string &text)
    {
        for (const char *extension : {".brk", ".map", ".bdl"})
            std::ofstream(fs::path(folder) / (std::string("Vireonbios") + extension)) << text;
    }
    static std::string read(const fs::path &file)
    {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::vector<std::string> names_in(const fs::path &folder)
    {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    EnvironmentValue cache{"XDG_CACHE_HOME"};
    EnvironmentValue home{"HOME"};
    fs::path dir;
    std::string source;
};

TEST_F(BiosCache, SetsLieUnderTheUsersCacheFolderBySourceAndBoard)
{
    const std::string root = (dir / "cache" / "korvex" / "bios").string();
    EXPECT_EQ(bios_cache_root(), root);
    const std::string folder = bios_cache_source_folder(source);
    EXPECT_EQ(fs::path(folder).parent_path().string(), root);
    const std::string name = fs::path(folder).filename().string();
    ASSERT_EQ(name.size(), std::string("Vireonbios-").size() + 16) << name;
    EXPECT_EQ(name.rfind("Vireonbios-", 0), 0u) << name;
    EXPECT_EQ(bios_cache_set_folder(source, 0x1a2b), folder + "/1a2b");

    // Another BIOS of the same name elsewhere has sets of its own; the same one named by a
    // relative path is the same source.
    fs::create_directories(dir / "mine");
    const std::string other = (dir / "mine" / "Vireonbios.c").string();
    EXPECT_NE(bios_cache_source_folder(other), folder);
    const fs::path relative = fs::relative(dir / "resources" / "bios" / ".." / "bios") /
                              "Vireonbios.c";
    ASSERT_TRUE(relative.is_relative()) << relative;
    EXPECT_EQ(bios_cache_source_folder(relative.string()), folder);
}

TEST_F(BiosCache, WithoutAnAbsoluteXdgCacheHomeTheHomesCacheFolder)
{
    home.set((dir / "home").string());
    for (const char *value : {"", "relative/cache"}) {
        SCOPED_TRACE(value);
        cache.set(value);
        EXPECT_EQ(bios_cache_root(), (dir / "home" / ".cache" / "korvex" / "bios").string());
    }
    cache.unset();
    EXPECT_EQ(user_cache_folder(), (dir / "home" / ".cache" / "korvex").string());
    set_bios_cache_root((dir / "work").string());
    EXPECT_EQ(bios_cache_root(), (dir / "work").string()) << "a tool's own folder";
    set_bios_cache_root("");
}

// A compile writes into a folder of its own; published, that folder is the set, the set before
// it gone whole; nothing else stays beside the sets.
TEST_F(BiosCache, APublishedCompileReplacesTheSetWhole)
{
    const std::string set = bios_cache_set_folder(source, 0x0100);
    for (const char *text : {"first", "second"}) {
        SCOPED_TRACE(text);
        BiosCompileOutputs outputs;
        std::string failed, reason;
        ASSERT_TRUE(outputs.open(source, failed, reason)) << failed << ": " << reason;
        EXPECT_EQ(fs::path(outputs.folder()).parent_path().string(),
                  bios_cache_source_folder(source));
        EXPECT_NE(outputs.folder(), set);
        write_outputs(outputs.folder(), text);
        if (std::string(text) == "first")
            std::ofstream(fs::path(outputs.folder()) / "only_in_the_first") << "x";
        ASSERT_TRUE(outputs.publish(0x0100));
        EXPECT_TRUE(outputs.folder().empty());
        EXPECT_EQ(read(fs::path(set) / "Vireonbios.brk"), text);
        EXPECT_EQ(last_bios_cache_set(), set);
        EXPECT_TRUE(bios_cache_set_complete(set, source));
    }
    EXPECT_FALSE(fs::exists(fs::path(set) / "only_in_the_first")) << "the old set went whole";
    EXPECT_EQ(names_in(bios_cache_source_folder(source)), std::vector<std::string>{"0100"});
    EXPECT_EQ(names_in(dir / "resources" / "bios"), std::vector<std::string>{"Vireonbios.c"});
}

// A compile that is not published (it failed, or was cancelled) leaves the set before it as it
// was and nothing of its own.
TEST_F(BiosCache, AnUnpublishedCompileLeavesTheSetBeforeIt)
{
    {
        BiosCompileOutputs outputs;
        std::string failed, reason;
        ASSERT_TRUE(outputs.open(source, failed, reason));
        write_outputs(outputs.folder(), "good");
        ASSERT_TRUE(outputs.publish(7));
    }
    std::string compile_folder;
    {
        BiosCompileOutputs outputs;
        std::string failed, reason;
        ASSERT_TRUE(outputs.open(source, failed, reason));
        compile_folder = outputs.folder();
        write_outputs(outputs.folder(), "half");
    }
    EXPECT_FALSE(fs::exists(compile_folder));
    EXPECT_EQ(read(fs::path(bios_cache_set_folder(source, 7)) / "Vireonbios.map"), "good");
    EXPECT_EQ(names_in(bios_cache_source_folder(source)), std::vector<std::string>{"0007"});
}

TEST_F(BiosCache, ASetWithoutItsDumpOrMapIsNotComplete)
{
    const std::string set = bios_cache_set_folder(source, 1);
    EXPECT_FALSE(bios_cache_set_complete("", source));
    EXPECT_FALSE(bios_cache_set_complete(set, source)) << "no folder";
    fs::create_directories(set);
    write_outputs(set, "x");
    EXPECT_TRUE(bios_cache_set_complete(set, source));
    fs::remove(fs::path(set) / "Vireonbios.map");
    EXPECT_FALSE(bios_cache_set_complete(set, source));
}

// A file where a folder must go: open fails naming the first folder it could not make, and
// nothing is written anywhere.
TEST_F(BiosCache, ACacheFolderThatCannotBeMadeIsNamed)
{
    std::ofstream(dir / "cache") << "a file, not a folder";
    BiosCompileOutputs outputs;
    std::string failed, reason;
    EXPECT_FALSE(outputs.open(source, failed, reason));
    EXPECT_EQ(failed, (dir / "cache").string());
    EXPECT_EQ(reason, "something that is not a folder has its name");
    EXPECT_TRUE(outputs.folder().empty());
    EXPECT_EQ(read(dir / "cache"), "a file, not a folder");
    EXPECT_EQ(names_in(dir / "resources" / "bios"), std::vector<std::string>{"Vireonbios.c"});
}

// A compile's folder or a replaced set that a program ended mid-compile left is removed by the
// next compile once it is an hour old; a younger one may be another program's compile.
TEST_F(BiosCache, AFolderNobodyMayWriteIsNamedWithTheReason)
{
    fs::create_directories(dir / "cache");
    fs::permissions(dir / "cache", fs::perms::owner_read | fs::perms::owner_exec);
    if (::access((dir / "cache").c_str(), W_OK) == 0)
        GTEST_SKIP() << "this user writes any folder";
    BiosCompileOutputs outputs;
    std::string failed, reason;
    EXPECT_FALSE(outputs.open(source, failed, reason));
    EXPECT_EQ(failed, (dir / "cache" / "korvex").string());
    EXPECT_EQ(reason, std::strerror(EACCES));
}

TEST_F(BiosCache, LeftoversOfAnEndedProgramGoAfterAnHour)
{
    const fs::path folder = bios_cache_source_folder(source);
    fs::create_directories(folder / ".compile-old111");
    fs::create_directories(folder / ".old-old222");
    fs::create_directories(folder / ".compile-new333");
    const auto long_ago = fs::file_time_type::clock::now() - std::chrono::hours(2);
    fs::last_write_time(folder / ".compile-old111", long_ago);
    fs::last_write_time(folder / ".old-old222", long_ago);
    BiosCompileOutputs outputs;
    std::string failed, reason;
    ASSERT_TRUE(outputs.open(source, failed, reason));
    EXPECT_FALSE(fs::exists(folder / ".compile-old111"));
    EXPECT_FALSE(fs::exists(folder / ".old-old222"));
    EXPECT_TRUE(fs::exists(folder / ".compile-new333"));
}

} // namespace
