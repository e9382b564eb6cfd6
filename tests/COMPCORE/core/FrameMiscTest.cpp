// File utilities: path building with either separator, lookup with fallback, file times.
#include <gtest/gtest.h>

#include "core/CC_MISC.h"

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class FrameMisc : public ::testing::Test {
protected:
    fs::path dir, saved_cwd;
    void SetUp() override
    {
        saved_cwd = fs::current_path();
        dir = fs::temp_directory_path() /
              ("kx-frame-misc-" + std::string(
                   ::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::create_directories(dir / "sub");
        fs::current_path(dir);
    }
    void TearDown() override
    {
        fs::current_path(saved_cwd);
        fs::remove_all(dir);
    }
    void create(const fs::path &p) { std::ofstream(p) << "x"; }
};

struct PathCase {
    const char *name;
    const char *path;
    const char *reference;
    const char *ext;
    unsigned flags;
    const char *expected;  // "@" stands for the current directory
};

const PathCase kPaths[] = {
    {"RelativeGetsCwdAndExt", "prog", "", ".c", 0, "@/prog.c"},
    {"ExtWithoutDot", "prog", "", "c", 0, "@/prog.c"},
    {"ExistingExtKept", "prog.lib", "", ".c", 0, "@/prog.lib"},
    {"ExistingExtReplaced", "prog.lib", "", ".brk", kPathReplaceExt, "@/prog.brk"},
    {"BackslashesAccepted", "sub\\prog.c", "", "", 0, "@/sub/prog.c"},
    {"FromReferenceDir", "lib.c", "/opt/kx/src/main.c", "", kPathFromReference, "/opt/kx/src/lib.c"},
    {"ReferenceWithBackslashes", "lib", "\\opt\\kx\\main.c", ".c", kPathFromReference, "/opt/kx/lib.c"},
    {"ReferenceWithoutDirUsesCwd", "lib.c", "main.c", "", kPathFromReference, "@/lib.c"},
    {"AbsoluteKept", "/abs/x.c", "/opt/main.c", "", kPathFromReference, "/abs/x.c"},
};

class FrameMakePath : public FrameMisc, public ::testing::WithParamInterface<PathCase> {};

TEST_P(FrameMakePath, Builds)
{
    const PathCase &c = GetParam();
    std::string path = c.path;
    make_path(path, c.reference, c.ext, c.flags);
    std::string expected = c.expected;
    if (expected[0] == '@')
        expected = fs::current_path().string() + expected.substr(1);
    EXPECT_EQ(path, expected);
}

INSTANTIATE_TEST_SUITE_P(All, FrameMakePath, ::testing::ValuesIn(kPaths),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FrameMisc, OpenFallsBackToTheReferenceDirectory)
{
    create(dir / "sub" / "lib.c");
    const std::string reference = (dir / "sub" / "main.c").string();
    std::FILE *f = open_with_ext("lib", reference, ".c", "r", 0);
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(open_with_ext("nothere", reference, ".c", "r", 0), nullptr);
}

TEST_F(FrameMisc, FindTriesThePlainNameThenTheExtension)
{
    create(dir / "a");
    create(dir / "b.lib");
    EXPECT_EQ(find_file_with_ext("a", "", ".lib"), 0);
    EXPECT_EQ(find_file_with_ext("b", "", ".lib"), 0);
    EXPECT_EQ(find_file_with_ext("c", "", ".lib"), -1);
}

TEST_F(FrameMisc, FileTimesAreFullAndTouchMovesThem)
{
    EXPECT_EQ(file_write_time((dir / "missing").string()), 0);
    create(dir / "t.c");
    fs::last_write_time(dir / "t.c", fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
    const int64_t old_time = file_write_time((dir / "t.c").string());
    EXPECT_NE(old_time, 0);
    touch_file((dir / "t.c").string());
    EXPECT_GT(file_write_time((dir / "t.c").string()), old_time);
    touch_file((dir / "nothere.c").string());
    EXPECT_FALSE(fs::exists(dir / "nothere.c")) << "touch never creates a file";
}

// One comparison serves file, library and keyword names: letters match in either case, every
// other byte (separators, digits, bytes above 127) only as it is, and lengths must agree.
struct NameCase {
    const char *name;
    std::string_view a, b;
    bool equal;
};
const NameCase kNames[] = {
    {"SameText", "main.c", "main.c", true},
    {"LettersInEitherCase", "Lib\\Math.LIB", "LIB\\math.lib", true},
    {"BothEmpty", "", "", true},
    {"PrefixIsNotEqual", "math.lib", "math.li", false},
    {"SeparatorsDiffer", "lib/math.lib", "lib\\math.lib", false},
    {"DigitAgainstLetter", "a1", "aL", false},
    {"HighBytesOnlyAsTheyAre", "\xC4", "\xE4", false},
};
class FrameNames : public ::testing::TestWithParam<NameCase> {};
TEST_P(FrameNames, CompareWithoutCase)
{
    const NameCase &c = GetParam();
    EXPECT_EQ(equal_ignoring_case(c.a, c.b), c.equal);
    EXPECT_EQ(equal_ignoring_case(c.b, c.a), c.equal);
}
INSTANTIATE_TEST_SUITE_P(All, FrameNames, ::testing::ValuesIn(kNames),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(FrameNames, UpperAndLowerCaseTurnLettersOnly)
{
    EXPECT_EQ(upper_case("Lib\\m-1.c"), "LIB\\M-1.C");
    EXPECT_EQ(lower_case("EQU @SP"), "equ @sp");
}

TEST(FrameCountedMalloc, CountsEveryAllocation)
{
    const std::size_t before = counted_allocations();
    void *p = counted_malloc(16);
    char *s = counted_strdup("name");
    EXPECT_EQ(counted_allocations(), before + 2);
    EXPECT_STREQ(s, "name");
    std::free(p);
    std::free(s);
}

}  // namespace
