// The code template file: what it keeps of each template, what a damaged file still gives, and
// that a damaged or unwritable file loses nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "FifoGuard.h"
#include "editor/MemoCodeTemplates.h"

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class CodeTemplatesFile : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / ("kx_ctx_" + std::string(info->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }
};

TCodeTemplate fori()
{
    return {"fori", "for loop", "for (i = 0; i < 10; i++)\n{\n   sum += i;\n}\n"};
}

// ---- what a template keeps ---------------------------------------------------------------------

struct RoundTripRow {
    const char *name;
    TCodeTemplate item;
};

const RoundTripRow kRoundTrips[] = {
    {"Plain", fori()},
    {"QuotesSemicolonsTabs", {"a \"b\"; c\td", "x;y \"z\"\t", "printf(\"%d;\\n\", i);"}},
    {"BlanksOnly", {"   ", "", ""}},
    {"NulAndCrOnlyEnds", {"n", "d", std::string("a\0b\rc\r\nd\n", 9)}},
    {"Backslashes", {"\\n", "\\", "\"\\x41\\\\\""}},
    {"ControlAndHighBytes", {"\x01\x7f", "\xe9t\xe9", "\x1b[0m\xff"}},
    {"LongTexts", {std::string(10000, 'n'), std::string(10000, ';'), std::string(1 << 20, 'c')}},
};

class CodeTemplatesRoundTrip : public ::testing::TestWithParam<RoundTripRow> {};

TEST_P(CodeTemplatesRoundTrip, ReadsBackExactlyWhatWasWritten)
{
    TMemoCodeTemplates list;
    list.Items = {GetParam().item, fori()};
    const std::string text = code_templates_text(list);
    const TCodeTemplateLoad load = parse_code_templates(text, "kxwd.ctx");
    EXPECT_EQ(load.Problem, "");
    EXPECT_TRUE(load.Templates == list);
}

INSTANTIATE_TEST_SUITE_P(, CodeTemplatesRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto &row) { return std::string(row.param.name); });

// ---- damaged files -----------------------------------------------------------------------------

std::string two_templates()
{
    TMemoCodeTemplates list;
    list.Items = {fori(), {"whilei", "while loop", "while (i)\n   i--;\n"}};
    return code_templates_text(list);
}

struct DamageRow {
    const char *name;
    std::string text;
    std::vector<std::string> names; // the templates it still gives
    std::string problem;            // "" for a sound file
};

const DamageRow kDamage[] = {
    {"Empty", "", {}, ""},
    {"TruncatedInTheSecond", two_templates().substr(0, two_templates().size() - 10), {"fori"},
     "kxwd.ctx(8): the file ends inside a template"},
    {"TruncatedAfterAField", two_templates().substr(0, two_templates().find("code", 60)),
     {"fori"}, "kxwd.ctx(7): the file ends inside a template"},
    {"Binary", std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10), {}, "kxwd.ctx(1): not a code template file"},
    {"RawNulInAField", "Korvex code templates 1\ntemplate a\ndescription b\ncode c" + std::string(1, '\0') +
                           "d\nend\n" + two_templates().substr(24),
     {"fori", "whilei"}, "kxwd.ctx(4): damaged text"},
    {"CrOnlyLineEnds", "Korvex code templates 1\rtemplate a\rdescription b\rcode c\\rd\rend\r", {"a"}, ""},
    {"CrLfLineEnds", "Korvex code templates 1\r\ntemplate a\r\ndescription b\r\ncode c\r\nend\r\n",
     {"a"}, ""},
    {"UnknownLineBetween", "Korvex code templates 1\nversion 7\n" + two_templates().substr(24),
     {"fori", "whilei"}, "kxwd.ctx(2): unknown line"},
    {"UnknownLineInside",
     "Korvex code templates 1\ntemplate a\ncolour red\ndescription b\ncode c\nend\n" +
         two_templates().substr(24),
     {"fori", "whilei"}, "kxwd.ctx(3): unknown line"},
    {"DuplicateNames", two_templates() + two_templates().substr(24), {"fori", "whilei", "fori", "whilei"}, ""},
    {"BrokenEscape", "Korvex code templates 1\ntemplate a\\q\ndescription b\ncode c\nend\n", {},
     "kxwd.ctx(2): damaged text"},
    {"NoHeader", two_templates().substr(24), {"fori", "whilei"}, "kxwd.ctx(1): not a code template file"},
};

class CodeTemplatesDamage : public ::testing::TestWithParam<DamageRow> {};

TEST_P(CodeTemplatesDamage, EveryTemplateReadWholeLoadsAndTheFirstFaultIsNamed)
{
    const DamageRow &row = GetParam();
    const TCodeTemplateLoad load = parse_code_templates(row.text, "kxwd.ctx");
    std::vector<std::string> names;
    for (const TCodeTemplate &item : load.Templates.Items)
        names.push_back(item.Name);
    EXPECT_EQ(names, row.names);
    EXPECT_EQ(load.Problem, row.problem);
}

INSTANTIATE_TEST_SUITE_P(, CodeTemplatesDamage, ::testing::ValuesIn(kDamage),
                         [](const auto &row) { return std::string(row.param.name); });

// ---- the file ----------------------------------------------------------------------------------

TEST_F(CodeTemplatesFile, SeededFromTheProgramDirectoryThenKeptInItsOwnFile)
{
    const fs::path seed = dir / "program" / "kxwd.ctx";
    fs::create_directories(seed.parent_path());
    write_file(seed, two_templates());
    const fs::path own = dir / "config" / "korvex" / "kxwd.ctx";

    TTemplatesSource source;
    EXPECT_EQ(source.Load(own.string(), seed.string()), "");
    ASSERT_EQ(source.CodeTemplates.Count(), 2);
    source.CodeTemplates.Items.push_back({"added", "", "x"});
    std::string message;
    ASSERT_TRUE(source.Save(message)) << message;
    EXPECT_EQ(read_file(seed), two_templates()) << "the program directory's file stays";

    TTemplatesSource again;
    EXPECT_EQ(again.Load(own.string(), seed.string()), "");
    EXPECT_EQ(again.CodeTemplates.Count(), 3) << "its own file wins over the seed";
    EXPECT_EQ(again.CodeTemplates.Items[2].Name, "added");
}

TEST_F(CodeTemplatesFile, MissingFileIsAnEmptyList)
{
    TTemplatesSource source;
    EXPECT_EQ(source.Load((dir / "none.ctx").string(), (dir / "nor.ctx").string()), "");
    EXPECT_EQ(source.CodeTemplates.Count(), 0);
}

TEST_F(CodeTemplatesFile, DamagedFileIsSetAsideBeforeTheFirstWrite)
{
    const fs::path file = dir / "kxwd.ctx";
    const std::string damaged = two_templates() + "garbage\ntemplate half\n";
    write_file(file, damaged);
    TTemplatesSource source;
    EXPECT_EQ(source.Load(file.string()), file.string() + "(10): unknown line");
    EXPECT_EQ(source.CodeTemplates.Count(), 2);
    EXPECT_FALSE(fs::exists(file.string() + ".bak")) << "nothing is written by reading";

    std::string message;
    ASSERT_TRUE(source.Save(message)) << message;
    EXPECT_EQ(read_file(file.string() + ".bak"), damaged);
    EXPECT_EQ(read_file(file), two_templates());

    // Only the damaged file's bytes are set aside, once.
    source.CodeTemplates.Items.pop_back();
    ASSERT_TRUE(source.Save(message)) << message;
    EXPECT_EQ(read_file(file.string() + ".bak"), damaged);
}

TEST_F(CodeTemplatesFile, UnwritableFolderIsToldAndTheListKept)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const fs::path folder = dir / "locked";
    fs::create_directories(folder);
    const fs::path file = folder / "kxwd.ctx";
    write_file(file, two_templates());
    TTemplatesSource source;
    ASSERT_EQ(source.Load(file.string()), "");
    source.CodeTemplates.Items.push_back({"new", "", "y"});
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    std::string message;
    EXPECT_FALSE(source.Save(message));
    EXPECT_NE(message.find(file.string()), std::string::npos) << message;
    EXPECT_EQ(source.CodeTemplates.Count(), 3);
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(read_file(file), two_templates()) << "the old file is whole";
}

// What can stand at the templates file's path besides a list: none of it is read (a FIFO
// without a writer would hold the IDE at start-up, a device would be read without end), the
// one message names it and why, and a save leaves it as it is.
struct NotAListRow {
    const char *name;
    void (*make)(const fs::path &path);
    const char *why;
};

const NotAListRow kNotAList[] = {
    {"Folder", [](const fs::path &p) { fs::create_directory(p); }, "it is a folder"},
    {"Fifo", [](const fs::path &p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
     "it is not an ordinary file (a FIFO, socket or device)"},
    {"LinkToDevZero", [](const fs::path &p) { fs::create_symlink("/dev/zero", p); },
     "it is not an ordinary file (a FIFO, socket or device)"},
    {"TooLarge",
     [](const fs::path &p) {
         write_file(p, "x");
         fs::resize_file(p, kCodeTemplatesMaxFileBytes + 1);
     },
     "it is larger than 16 MB"},
};

class CodeTemplatesNotAList : public CodeTemplatesFile,
                              public ::testing::WithParamInterface<NotAListRow> {};

TEST_P(CodeTemplatesNotAList, IsNamedOnceNeitherReadNorReplaced)
{
    const fs::path file = dir / "kxwd.ctx";
    GetParam().make(file);
    const fs::file_type before = fs::symlink_status(file).type();
    TTemplatesSource source;
    FifoGuard guard(file.string());
    const std::string problem = source.Load(file.string());
    EXPECT_TRUE(guard.Stop()) << "the load waited for a writer";
    EXPECT_EQ(problem, "Cannot read the code templates file " + file.string() + ": " +
                           GetParam().why + ".");
    EXPECT_EQ(source.CodeTemplates.Count(), 0);

    source.CodeTemplates.Items.push_back(fori());
    std::string message;
    EXPECT_FALSE(source.Save(message));
    EXPECT_NE(message.find(file.string()), std::string::npos) << message;
    EXPECT_EQ(fs::symlink_status(file).type(), before);
    EXPECT_FALSE(fs::exists(file.string() + ".bak"));
    if (before == fs::file_type::regular) {
        EXPECT_EQ(fs::file_size(file), kCodeTemplatesMaxFileBytes + 1);
    }
}

INSTANTIATE_TEST_SUITE_P(, CodeTemplatesNotAList, ::testing::ValuesIn(kNotAList),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
