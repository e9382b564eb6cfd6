// The folder of the read-only resources every program of the build shares.
#include "driver/Temporaryglobals.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "driver/CC_INIT.h"

namespace {

namespace fs = std::filesystem;

class ResourceFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("kx_resources_" + std::to_string(getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "GUI");
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

TEST_F(ResourceFolder, StagedFolderBesideTheProgramsFolderElseTheProgramsFolder)
{
    EXPECT_EQ(resource_directory_of((m_dir / "GUI" / "kxw").string()),
              (m_dir / "GUI").string() + "/");
    fs::create_directories(m_dir / "korvex");
    EXPECT_EQ(resource_directory_of((m_dir / "GUI" / "kxw").string()),
              (m_dir / "korvex").string() + "/");
    EXPECT_EQ(resource_directory_of((m_dir / "tools" / "kxcc").string()),
              (m_dir / "korvex").string() + "/");
}

// The staged configuration sets every key to its default without a complaint.
TEST(StagedResources, ConfigurationReadsCleanly)
{
    const fs::path cfg = fs::path(KX_TEST_DATA).parent_path().parent_path() / "TARGET" /
                         "resources" / "kxw.cfg";
    ASSERT_TRUE(fs::exists(cfg)) << cfg;
    ReadCompilerConfig(cfg.string());
    EXPECT_TRUE(config_problems().empty()) << config_problems().front().text;
    const CompilerConfig defaults;
    EXPECT_EQ(compiler_config().lit, defaults.lit);
    EXPECT_EQ(compiler_config().rame, defaults.rame);
    EXPECT_EQ(compiler_config().logx, defaults.logx);
    ReadCompilerConfig((fs::temp_directory_path() / "kx_no_such.cfg").string());
}

} // namespace
