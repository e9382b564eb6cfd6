// The profile-file class: sections and keys without regard to case, comments, blanks, line
// ends, missing files and keys, integer values; writes that change one line and keep every other
// byte, files replaced at once, read-only files, and names and values a file cannot hold.
#include <gtest/gtest.h>

#include "IniFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

IniFile from(const char *text)
{
    IniFile ini;
    ini.load_text(text);
    return ini;
}

}  // namespace

TEST(IniFile, FindsKeysOfTheirSectionWithoutRegardToCase)
{
    const IniFile ini = from("text above the first section = ignored\r\n"
                             "[01a4]\r\n"
                             "; a comment = no key\r\n"
                             "  Sector Size   =  4096  \r\n"
                             "num sectors=64\r\n"
                             "[0100]\n"
                             "sector size = 128\n");
    EXPECT_EQ(ini.read_string("01A4", "sector size"), "4096");
    EXPECT_EQ(ini.read_string("01a4", "NUM SECTORS"), "64");
    EXPECT_EQ(ini.read_string("0100", "sector size"), "128");
    EXPECT_EQ(ini.read_string("01a4", "flash size"), std::nullopt);
    EXPECT_EQ(ini.read_string("01a4", "; a comment"), std::nullopt);
    EXPECT_EQ(ini.read_string("missing", "sector size"), std::nullopt);
    EXPECT_TRUE(ini.section_has_keys("01a4"));
    EXPECT_FALSE(ini.section_has_keys("missing"));
    EXPECT_EQ(ini.lines().size(), 7u) << "the lines are kept as read";
}

TEST(IniFile, SectionWithoutKeysHoldsNothing)
{
    const IniFile ini = from("[empty]\n; only a comment\n\n[next]\na=1\n");
    EXPECT_FALSE(ini.section_has_keys("empty"));
    EXPECT_TRUE(ini.section_has_keys("next"));
}

TEST(IniFile, FirstLineOfAKeyWins)
{
    EXPECT_EQ(from("[s]\nk = 1\nk = 2\n").read_string("s", "k"), "1");
}

TEST(IniFile, MissingFileLoadsNothing)
{
    IniFile ini;
    EXPECT_FALSE(ini.load("/nonexistent/folder/Flash.ini"));
    EXPECT_TRUE(ini.lines().empty());
}

TEST(IniFile, LoadsAFile)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("kx-ini-" + std::to_string(::getpid()) + ".ini");
    std::ofstream(path) << "[a]\nb = c\n";
    IniFile ini;
    ASSERT_TRUE(ini.load(path.string()));
    EXPECT_EQ(ini.read_string("A", "B"), "c");
    std::filesystem::remove(path);
}

struct IntegerCase {
    const char *name;
    const char *text;
    std::optional<int64_t> value;
};

const IntegerCase kIntegers[] = {
    {"decimal", "4096", 4096},
    {"blanks", "  12 ", 12},
    {"hexadecimal", "0x1A4", 0x1A4},
    {"upper_hex", "0XFF", 255},
    {"negative", "-5", -5},
    {"plus", "+7", 7},
    {"word", "abc", std::nullopt},
    {"trailing_text", "12kb", std::nullopt},
    {"empty", "", std::nullopt},
    {"bare_prefix", "0x", std::nullopt},
    {"too_large", "99999999999", std::nullopt},
};

class IniInteger : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IniInteger, Parses)
{
    EXPECT_EQ(parse_ini_integer(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(All, IniInteger, ::testing::ValuesIn(kIntegers),
                         [](const auto &i) { return std::string(i.param.name); });

// ---- writing ------------------------------------------------------------------------------------

namespace {

namespace fs = std::filesystem;

// A fresh folder for the test's files, removed afterwards.
class IniWrite : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              ("kx-ini-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    std::string file(const std::string &name, const std::string &bytes)
    {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    static std::string bytes(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (const auto &entry : fs::directory_iterator(dir))
            out.push_back(entry.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

// The text after a write to a text of LF lines, in CR LF.
std::string crlf(std::string text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

struct EditCase {
    const char *name;
    const char *before;  // LF line ends; written out with CR LF
    const char *section, *key, *value;
    const char *after;
};

const EditCase kEdits[] = {
    {"value_in_place_keeps_spelling_and_blanks", "top\n[Sec]\n  Key =  old ; x\nz=1\n",
     "sec", "KEY", "new", "top\n[Sec]\n  Key =  new\nz=1\n"},
    {"empty_value_in_place", "[s]\nk=\nm=2\n", "s", "k", "7", "[s]\nk=7\nm=2\n"},
    {"new_key_after_the_last_key", "[s]\na=1\n; note\n\n[t]\nb=2\n", "s", "c", "3",
     "[s]\na=1\nc=3\n; note\n\n[t]\nb=2\n"},
    {"new_key_in_a_section_without_keys", "[s]\n\n[t]\n", "s", "k", "v", "[s]\nk=v\n\n[t]\n"},
    {"new_section_at_the_end_after_a_blank", "[s]\na=1\n", "New", "k", "v",
     "[s]\na=1\n\n[New]\nk=v\n"},
    {"new_section_after_an_empty_line", "head\n\n", "COMM", "port", "1",
     "head\n\n[COMM]\nport=1\n"},
    {"new_section_in_an_empty_file", "", "s", "k", "v", "[s]\nk=v\n"},
    {"first_of_two_sections", "[s]\na=1\n[S]\na=2\nb=3\n", "s", "b", "4",
     "[s]\na=1\nb=4\n[S]\na=2\nb=3\n"},
    {"first_of_two_keys", "[s]\nk=1\nk=2\n", "s", "k", "9", "[s]\nk=9\nk=2\n"},
    {"line_without_equals_is_no_key", "[s]\njust text\n", "s", "just text", "1",
     "[s]\njust text=1\njust text\n"},
};

class IniEdit : public IniWrite, public ::testing::WithParamInterface<EditCase> {};

}  // namespace

TEST_P(IniEdit, ChangesOneLineAndKeepsTheRest)
{
    const EditCase &c = GetParam();
    IniFile ini;
    ini.load_text(c.before);
    ASSERT_TRUE(ini.write_string(c.section, c.key, c.value)) << ini.error();
    EXPECT_EQ(ini.text(), crlf(c.after));
    EXPECT_EQ(ini.read_string(c.section, c.key), c.value);
}

INSTANTIATE_TEST_SUITE_P(All, IniEdit, ::testing::ValuesIn(kEdits),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(IniWrite, AFileKeepsEveryOtherByteAndGetsCrLf)
{
    const std::string nul_line("x=a\0b", 5);
    const std::string path = file("p.ini", "header text\n----\n\n[COMM]\r\nport=1\n" + nul_line +
                                               "\n; mine\nunknown = kept \n[Other]\nq=1");
    IniFile ini(path);
    ASSERT_TRUE(ini.write_string("comm", "PORT", "3")) << ini.error();
    EXPECT_EQ(bytes(path), "header text\r\n----\r\n\r\n[COMM]\r\nport=3\r\n" + nul_line +
                               "\r\n; mine\r\nunknown = kept \r\n[Other]\r\nq=1\r\n");
    EXPECT_EQ(ini.read_string("COMM", "x"), "a") << "a value ends at a NUL byte";
    EXPECT_EQ(names(), std::vector<std::string>{"p.ini"}) << "no scratch file is left";
}

TEST_F(IniWrite, AMissingFileIsCreatedByTheFirstWrite)
{
    const std::string path = (dir / "new.ini").string();
    IniFile ini;
    EXPECT_FALSE(ini.load(path));
    ASSERT_TRUE(ini.write_integer("s", "n", -12)) << ini.error();
    EXPECT_EQ(bytes(path), "[s]\r\nn=-12\r\n");
}

TEST_F(IniWrite, EachWriteStartsFromTheFileAsItIsNow)
{
    const std::string path = file("p.ini", "[s]\na=1\n");
    IniFile first(path);
    IniFile second(path);
    ASSERT_TRUE(second.write_string("s", "b", "2"));
    ASSERT_TRUE(first.write_string("s", "a", "5"));
    EXPECT_EQ(bytes(path), "[s]\r\na=5\r\nb=2\r\n") << "the other object's key is kept";
}

// Held writes change the lines and the file stays as it was until the commit writes them all
// at once; a read-only file refuses them, and a commit that cannot write leaves the file whole.
TEST_F(IniWrite, HeldWritesReachTheFileTogetherAtTheCommit)
{
    const std::string path = file("p.ini", "[s]\na=1\n");
    IniFile ini(path);
    ini.hold_writes();
    ASSERT_TRUE(ini.write_string("s", "a", "2"));
    ASSERT_TRUE(ini.write_string("t", "b", "3"));
    EXPECT_EQ(bytes(path), "[s]\na=1\n") << "nothing written before the commit";
    EXPECT_EQ(ini.read_string("t", "b"), "3");
    ASSERT_TRUE(ini.commit()) << ini.error();
    EXPECT_EQ(bytes(path), "[s]\r\na=2\r\n\r\n[t]\r\nb=3\r\n");
    ASSERT_TRUE(ini.write_string("s", "a", "4")) << "after the commit writes are immediate";
    EXPECT_EQ(bytes(path), "[s]\r\na=4\r\n\r\n[t]\r\nb=3\r\n");

    fs::permissions(path, fs::perms::owner_read, fs::perm_options::replace);
    IniFile read_only(path);
    read_only.hold_writes();
    EXPECT_FALSE(read_only.write_string("s", "a", "5"));
    EXPECT_EQ(read_only.error(), "The file is read-only.");
    EXPECT_TRUE(read_only.commit()) << "nothing was held";
    EXPECT_EQ(bytes(path), "[s]\r\na=4\r\n\r\n[t]\r\nb=3\r\n");

    const std::string long_name = file(std::string(250, 'p') + ".ini", "[s]\na=1\n");
    IniFile unwritable(long_name);
    unwritable.hold_writes();
    ASSERT_TRUE(unwritable.write_string("s", "a", "2"));
    EXPECT_FALSE(unwritable.commit());
    EXPECT_EQ(unwritable.error().rfind("The file cannot be written: ", 0), 0u)
        << unwritable.error();
    EXPECT_EQ(bytes(long_name), "[s]\na=1\n");
}

TEST_F(IniWrite, AReadOnlyFileIsNeverWritten)
{
    const std::string path = file("p.ini", "[s]\na=1\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read,
                    fs::perm_options::replace);
    IniFile ini(path);
    EXPECT_TRUE(file_is_read_only(path));
    EXPECT_FALSE(ini.write_string("s", "a", "2"));
    EXPECT_EQ(ini.error(), "The file is read-only.");
    EXPECT_EQ(bytes(path), "[s]\na=1\n");
    EXPECT_EQ(ini.read_string("s", "a"), "1");

    ASSERT_TRUE(clear_read_only(path));
    EXPECT_EQ(fs::status(path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
        << "only the owner's write permission is added";
    EXPECT_TRUE(ini.write_string("s", "a", "2")) << ini.error();
}

TEST_F(IniWrite, KeepsPermissionsAndLinks)
{
    const std::string path = file("real.ini", "[s]\na=1\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace);
    fs::create_symlink(path, dir / "link.ini");
    IniFile ini((dir / "link.ini").string());
    ASSERT_TRUE(ini.write_string("s", "a", "2")) << ini.error();
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(bytes(path), "[s]\r\na=2\r\n");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

namespace {

// What can stand at a profile's path besides a file: none of it is read (a FIFO without a writer
// would wait, a device would be read without end) or replaced.
struct NotAFileCase {
    const char *name;
    void (*make)(const fs::path &path);
};

const NotAFileCase kNotAFile[] = {
    {"folder", [](const fs::path &p) { fs::create_directory(p); }},
    {"fifo", [](const fs::path &p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
    {"link_to_dev_zero", [](const fs::path &p) { fs::create_symlink("/dev/zero", p); }},
};

class IniNotAFile : public IniWrite, public ::testing::WithParamInterface<NotAFileCase> {};

} // namespace

TEST_P(IniNotAFile, IsNeverReadNorReplaced)
{
    const fs::path path = dir / "p.kxp";
    GetParam().make(path);
    const fs::file_type before = fs::symlink_status(path).type();
    IniFile ini;
    EXPECT_FALSE(ini.load(path.string()));
    EXPECT_TRUE(ini.lines().empty());
    EXPECT_FALSE(ini.write_string("s", "k", "v"));
    EXPECT_EQ(ini.error(), "The file cannot be read.");
    EXPECT_EQ(fs::symlink_status(path).type(), before);
}

INSTANTIATE_TEST_SUITE_P(All, IniNotAFile, ::testing::ValuesIn(kNotAFile),
                         [](const auto &i) { return std::string(i.param.name); });

// The scratch file cannot be made beside a file whose name already has the longest length a
// name may have: the write fails, whoever runs it, and the file stays as it was.
TEST_F(IniWrite, AFileThatCannotBeReplacedStaysAsItWas)
{
    const std::string path = file(std::string(250, 'p') + ".ini", "[s]\na=1\n");
    IniFile ini(path);
    EXPECT_FALSE(ini.write_string("s", "a", "2"));
    EXPECT_EQ(ini.error().rfind("The file cannot be written: ", 0), 0u) << ini.error();
    EXPECT_EQ(bytes(path), "[s]\na=1\n");
    EXPECT_EQ(ini.read_string("s", "a"), "1");
}

namespace {

struct RefusedCase {
    const char *name;
    std::string section, key, value;
};

const RefusedCase kRefused[] = {
    {"empty_section", "", "k", "v"},
    {"blank_section", "  ", "k", "v"},
    {"bracket_in_section", "a]b", "k", "v"},
    {"line_break_in_section", "a\nb", "k", "v"},
    {"empty_key", "s", "", "v"},
    {"equals_in_key", "s", "a=b", "v"},
    {"comment_key", "s", ";k", "v"},
    {"section_like_key", "s", "[k]", "v"},
    {"line_break_in_key", "s", "a\rb", "v"},
    {"line_break_in_value", "s", "k", "one\r\ntwo"},
    {"nul_in_value", "s", "k", std::string("a\0b", 3)},
};

class IniRefuses : public ::testing::TestWithParam<RefusedCase> {};

}  // namespace

TEST_P(IniRefuses, NamesAndValuesThatBreakTheFile)
{
    IniFile ini;
    ini.load_text("[s]\nk=1\n");
    EXPECT_FALSE(ini.write_string(GetParam().section, GetParam().key, GetParam().value));
    EXPECT_FALSE(ini.error().empty());
    EXPECT_EQ(ini.text(), "[s]\r\nk=1\r\n");
}

INSTANTIATE_TEST_SUITE_P(All, IniRefuses, ::testing::ValuesIn(kRefused),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(IniFile, IntegersWithTheirDefaults)
{
    const IniFile ini = from("[s]\ndec=12\nhex=0x8000\nbad=12abc\nempty=\n");
    EXPECT_EQ(ini.read_integer("s", "dec", 5), 12);
    EXPECT_EQ(ini.read_integer("s", "hex", 5), 0x8000);
    EXPECT_EQ(ini.read_integer("s", "bad", 5), 5);
    EXPECT_EQ(ini.read_integer("s", "empty", 5), 5);
    EXPECT_EQ(ini.read_integer("s", "missing", 5), 5);
    EXPECT_EQ(ini.read_string("s", "missing", "x"), "x");
}

TEST(IniFile, LastLineWithoutLineEnd)
{
    const IniFile ini = from("[s]\r\nk=last");
    EXPECT_EQ(ini.read_string("s", "k"), "last");
    EXPECT_EQ(ini.text(), "[s]\r\nk=last\r\n");
}
