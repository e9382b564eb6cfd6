// The library container: plain files are kind 0 and read as plain files; protected files
// (under the tests' own protection scheme) are read line by line through the container, also
// after the reader moved; the table of protected files answers without reading again.
#include "LibraryTestSupport.h"

#include "linker/Lb_encr.h"

#include <string>
#include <vector>

namespace {

using namespace library_test;

std::vector<std::string> all_lines(LibContainer &c, std::size_t size = 512)
{
    std::vector<std::string> lines;
    std::vector<char> buffer(size);
    while (c.GetLine(buffer.data(), buffer.size()))
        lines.emplace_back(buffer.data());
    return lines;
}

// A protected file of the text, examined and opened in `c`.
class ProtectedContainer : public ::testing::Test {
protected:
    TempFolder dir{"container"};
    ProtectionScope protection;
    LibContainer c;

    void open_protected(const std::string &text)
    {
        dir.write("p.lib", protect(text));
        ASSERT_TRUE(examine_library_file(dir / "p.lib", true));
        ASSERT_TRUE(open_library_container(c, dir / "p.lib"));
    }
};

TEST(LibraryContainer, PlainFileIsKindZeroWithNothingOpen)
{
    TempFolder dir("container");
    ProtectionScope protection;
    dir.write("plain.lib", "int a;\nint b;\n");
    EXPECT_FALSE(examine_library_file(dir / "plain.lib", true));
    LibContainer c;
    EXPECT_FALSE(open_library_container(c, dir / "plain.lib"));
    EXPECT_EQ(c.Kind(), 0);
    EXPECT_FALSE(c.IsOpen());
    char buffer[16];
    EXPECT_EQ(c.GetLine(buffer, sizeof buffer), nullptr) << "a plain file is read by the caller";
}

TEST(LibraryContainer, EveryFileIsPlainWithoutAProtectionScheme)
{
    TempFolder dir("container");
    clear_protected_files();
    dir.write("p.lib", protect("int a;\n"));
    EXPECT_FALSE(examine_library_file(dir / "p.lib", true));
    EXPECT_FALSE(is_encrypted_file(dir / "p.lib"));
}

TEST_F(ProtectedContainer, GivesItsLinesWithTheirLineFeeds)
{
    open_protected("first line\nsecond\nno line end");
    EXPECT_EQ(c.Kind(), 7);
    EXPECT_EQ(c.Tell(), c.ContentStart());
    EXPECT_EQ(all_lines(c), (std::vector<std::string>{"first line\n", "second\n", "no line end"}));
}

TEST_F(ProtectedContainer, SeekingBackReadsTheFirstLineAgain)
{
    open_protected("alpha beta\ngamma\n");
    char buffer[64];
    const uint32_t first = c.Tell();
    ASSERT_NE(c.GetLine(buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "alpha beta\n");
    ASSERT_NE(c.GetLine(buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "gamma\n");
    c.Seek(first);
    ASSERT_NE(c.GetLine(buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "alpha beta\n");
    // Into the middle of a line: the byte before it is read again for the decoder.
    c.Seek(first + 6);
    ASSERT_NE(c.GetLine(buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "beta\n");
}

TEST_F(ProtectedContainer, ALineLongerThanTheBufferComesInPieces)
{
    open_protected("abcdefghij\nk\n");
    EXPECT_EQ(all_lines(c, 5), (std::vector<std::string>{"abcd", "efgh", "ij\n", "k\n"}));
}

struct HeadCase {
    const char *name;
    std::string bytes;
    bool is_protected;
};

std::string header_without_zero(std::size_t n) { return "KXTEST" + std::string(n - 6, 'x'); }

const HeadCase kHeads[] = {
    {"Protected", protect("int a;\n"), true},
    {"OtherHeader", [] {
         std::string s = protect("int a;\n");
         s[0] = 'Q';
         return s;
     }(), false},
    {"NoZeroWithin4100Bytes", header_without_zero(4100) + std::string(40, '\0'), false},
    {"ZeroJustPastTheLimit", header_without_zero(4100) + std::string(1, '\0') + std::string(16, 'b'),
     false},
    {"ZeroAtTheLastPlace", header_without_zero(4099) + std::string(1, '\0') + std::string(16, 'b'),
     true},
    {"TooShortForTheBlock", std::string("KXTEST") + '\0' + std::string(15, 'b'), false},
    {"BlockAndNoContent", std::string("KXTEST") + '\0' + std::string(16, 'b'), true},
    {"Empty", "", false},
};

class ContainerHead : public ::testing::TestWithParam<HeadCase> {};

TEST_P(ContainerHead, DecidesWhetherTheFileIsProtected)
{
    TempFolder dir("container");
    ProtectionScope protection;
    dir.write("f.lib", GetParam().bytes);
    EXPECT_EQ(examine_library_file(dir / "f.lib", true), GetParam().is_protected);
    EXPECT_EQ(is_encrypted_file(dir / "f.lib"), GetParam().is_protected);
}

INSTANTIATE_TEST_SUITE_P(All, ContainerHead, ::testing::ValuesIn(kHeads),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(LibraryContainer, TheTableAnswersUntilTheFileIsExaminedAgain)
{
    TempFolder dir("container");
    ProtectionScope protection;
    dir.write("p.lib", protect("int a;\n"));
    ASSERT_TRUE(examine_library_file(dir / "p.lib", true));
    EXPECT_TRUE(is_encrypted_file(dir / "P.LIB")) << "paths compare without case";
    dir.write("p.lib", "int a;\n");
    EXPECT_TRUE(is_encrypted_file(dir / "p.lib")) << "the stored answer, not the file";
    EXPECT_TRUE(examine_library_file(dir / "p.lib", false)) << "known: answered from the table";
    EXPECT_FALSE(examine_library_file(dir / "p.lib", true));
    EXPECT_FALSE(is_encrypted_file(dir / "p.lib")) << "no longer protected: taken out";
    EXPECT_EQ(protected_file_count(), 0u);
}

TEST(LibraryContainer, AMissingFileIsPlain)
{
    TempFolder dir("container");
    ProtectionScope protection;
    EXPECT_FALSE(examine_library_file(dir / "none.lib", true));
    LibContainer c;
    EXPECT_FALSE(open_library_container(c, dir / "none.lib"));
}

struct ExtensionCase {
    const char *name;
    const char *path;
    const char *extension;
    const char *expected;
};

const ExtensionCase kExtensions[] = {
    {"Replaced", "prog/main.c", "map", "prog/main.map"},
    {"Added", "prog/main", "map", "prog/main.map"},
    {"DottedFolderKeepsItsName", "a.b/prog", "map", "a.b/prog.map"},
    {"BackslashFolder", "a.b\\prog", ".map", "a.b\\prog.map"},
    {"LastDotOnly", "x/lib.v2.c", "map", "x/lib.v2.map"},
};

class ChangeExtension : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(ChangeExtension, ReplacesTheLastComponentsExtensionOnly)
{
    EXPECT_EQ(change_extension(GetParam().path, GetParam().extension), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(All, ChangeExtension, ::testing::ValuesIn(kExtensions),
                         [](const auto &i) { return std::string(i.param.name); });

}  // namespace
