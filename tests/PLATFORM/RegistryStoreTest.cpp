// The registry store: typed values that survive a new store object, names without case,
// creation order, keys, the file's format, damaged files set aside, merging saves, atomic writes.
#include "RegistryStore.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const fs::path &p, const std::string &text)
{
    std::ofstream(p, std::ios::binary) << text;
}

class RegistryStoreTest : public ::testing::Test {
protected:
    fs::path dir;
    std::string file;

    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("kx-registry-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        file = (dir / "registry.kxreg").string();
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

// ---- typed values survive a new store object -------------------------------------------------

struct ValueCase {
    const char *name;
    std::string value_name;
    RegValue value;
};

RegValue str(std::string t)
{
    RegValue v;
    v.type = RegType::String;
    v.text = std::move(t);
    return v;
}
RegValue num(int32_t n)
{
    RegValue v;
    v.type = RegType::Integer;
    v.integer = n;
    return v;
}
RegValue bin(std::vector<uint8_t> d)
{
    RegValue v;
    v.type = RegType::Binary;
    v.data = std::move(d);
    return v;
}

const ValueCase kValues[] = {
    {"plain_string", "Log File", str("kx.out")},
    {"empty_string", "Project", str("")},
    {"string_with_escapes", "Text", str(std::string("a\"b\\c\nd\te\x7f" "f\0g", 13))},
    {"string_with_high_bytes", "Name", str("caf\xc3\xa9 \xff")},
    {"backslash_path", "Dump File", str("C:\\dump\\x.bin")},
    {"integer", "Columns", num(80)},
    {"negative_integer", "Window State", num(-1)},
    {"smallest_integer", "Min", num(INT32_MIN)},
    {"largest_integer", "Max", num(INT32_MAX)},
    {"system_colour", "Workspace Color", num(static_cast<int32_t>(0x8000000Cu))},
    {"binary", "Font", bin({0, 1, 2, 0xFE, 0xFF})},
    {"empty_binary", "Nothing", bin({})},
    {"empty_value_name", "", str("the key's own value")},
    {"name_with_control_bytes", std::string("a\x01" "b\n\"\\", 6), num(7)},
    {"name_with_blanks", "  spaced  name  ", num(1)},
};

class RegistryValue : public RegistryStoreTest, public ::testing::WithParamInterface<ValueCase> {};

} // namespace

TEST_P(RegistryValue, SurvivesANewStoreObject)
{
    const ValueCase &c = GetParam();
    {
        RegistryStore store(file);
        ASSERT_TRUE(store.open_key("Software\\Test\\Key", true));
        bool ok = false;
        switch (c.value.type) {
        case RegType::String: ok = store.write_string(c.value_name, c.value.text); break;
        case RegType::Integer: ok = store.write_integer(c.value_name, c.value.integer); break;
        case RegType::Binary:
            ok = store.write_binary(c.value_name, c.value.data.data(), c.value.data.size());
            break;
        }
        ASSERT_TRUE(ok) << store.last_error();
        ASSERT_TRUE(store.flush()) << store.last_error();
    }
    RegistryStore again(file);
    EXPECT_FALSE(again.damage().has_value());
    ASSERT_TRUE(again.open_key("Software\\Test\\Key", false));
    EXPECT_EQ(again.value_names(), std::vector<std::string>{c.value_name});
    EXPECT_EQ(again.value_type(c.value_name), c.value.type);
    switch (c.value.type) {
    case RegType::String: EXPECT_EQ(again.read_string(c.value_name), c.value.text); break;
    case RegType::Integer: EXPECT_EQ(again.read_integer(c.value_name), c.value.integer); break;
    case RegType::Binary: EXPECT_EQ(again.read_binary(c.value_name), c.value.data); break;
    }
}

INSTANTIATE_TEST_SUITE_P(All, RegistryValue, ::testing::ValuesIn(kValues),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(RegistryStoreTest, FloatsAreEightByteBinariesAndBoolsIntegers)
{
    {
        RegistryStore store(file);
        ASSERT_TRUE(store.open_key("K", true));
        ASSERT_TRUE(store.write_float("Margin", 0.75));
        ASSERT_TRUE(store.write_float("Negative", -1e300));
        ASSERT_TRUE(store.write_bool("On", true));
        ASSERT_TRUE(store.write_bool("Off", false));
        ASSERT_TRUE(store.flush());
    }
    RegistryStore store(file);
    ASSERT_TRUE(store.open_key("K", false));
    EXPECT_EQ(store.value_type("Margin"), RegType::Binary);
    EXPECT_EQ(store.read_binary("Margin")->size(), 8u);
    EXPECT_EQ(store.read_float("Margin"), 0.75);
    EXPECT_EQ(store.read_float("Negative"), -1e300);
    EXPECT_EQ(store.read_integer("On"), 1);
    EXPECT_EQ(store.read_bool("On"), true);
    EXPECT_EQ(store.read_bool("Off"), false);
}

// A value of another type than the read asks for is no value at all.
TEST_F(RegistryStoreTest, ReadsOfAnotherTypeGiveNothing)
{
    RegistryStore store(file);
    ASSERT_TRUE(store.open_key("K", true));
    ASSERT_TRUE(store.write_string("Columns", "80"));
    ASSERT_TRUE(store.write_integer("Margin", 1));
    const uint8_t seven[7] = {};
    ASSERT_TRUE(store.write_binary("Short", seven, sizeof seven));
    EXPECT_FALSE(store.read_integer("Columns"));
    EXPECT_FALSE(store.read_bool("Columns"));
    EXPECT_FALSE(store.read_float("Margin"));
    EXPECT_FALSE(store.read_string("Margin"));
    EXPECT_FALSE(store.read_float("Short")) << "a float is exactly 8 bytes";
    EXPECT_FALSE(store.read_string("Missing"));
    EXPECT_TRUE(store.read_binary("Short"));
}

TEST_F(RegistryStoreTest, NamesCompareWithoutCaseAndKeepTheirCase)
{
    RegistryStore store(file);
    ASSERT_TRUE(store.open_key("Software\\Debug Windows\\Stdio Window", true));
    ASSERT_TRUE(store.write_integer("Columns", 80));
    ASSERT_TRUE(store.write_integer("Rows", 10));
    ASSERT_TRUE(store.write_integer("COLUMNS", 81)) << "the same value";
    EXPECT_EQ(store.value_names(), (std::vector<std::string>{"Columns", "Rows"}))
        << "a rewrite keeps its place and the name's first case";
    EXPECT_EQ(store.read_integer("columns"), 81);
    store.close_key();
    EXPECT_TRUE(store.key_exists("SOFTWARE\\debug windows\\STDIO WINDOW"));
    ASSERT_TRUE(store.open_key("software\\DEBUG WINDOWS", false));
    EXPECT_EQ(store.key_names(), std::vector<std::string>{"Stdio Window"});
}

TEST_F(RegistryStoreTest, ValuesAndKeysEnumerateInCreationOrder)
{
    {
        RegistryStore store(file);
        ASSERT_TRUE(store.open_key("P", true));
        for (const char *n : {"Zeta", "Alpha", "Mid", ""})
            ASSERT_TRUE(store.write_bool(n, true));
        for (const char *k : {"P\\Window", "P\\Alpha", "P\\Mid"})
            ASSERT_TRUE(store.open_key(k, true));
        ASSERT_TRUE(store.flush());
    }
    RegistryStore store(file);
    ASSERT_TRUE(store.open_key("P", false));
    EXPECT_EQ(store.value_names(), (std::vector<std::string>{"Zeta", "Alpha", "Mid", ""}));
    EXPECT_EQ(store.key_names(), (std::vector<std::string>{"Window", "Alpha", "Mid"}));
}

TEST_F(RegistryStoreTest, OpeningWithoutCreatingAMissingKeyChangesNothing)
{
    RegistryStore store(file);
    ASSERT_TRUE(store.open_key("A", true));
    EXPECT_FALSE(store.open_key("A\\B", false));
    EXPECT_TRUE(store.has_current_key()) << "the open key stays";
    EXPECT_EQ(store.current_path(), "A");
    EXPECT_FALSE(store.key_exists("A\\B"));
    EXPECT_TRUE(store.open_key("\\A\\\\B\\", true)) << "empty names between separators skip";
    EXPECT_EQ(store.current_path(), "A\\B");
    store.close_key();
    EXPECT_FALSE(store.write_integer("X", 1)) << "no key open";
    EXPECT_FALSE(store.last_error().empty());
}

TEST_F(RegistryStoreTest, DeletesValuesAndWholeKeys)
{
    {
        RegistryStore store(file);
        ASSERT_TRUE(store.open_key("A\\B\\C", true));
        ASSERT_TRUE(store.write_integer("v", 1));
        ASSERT_TRUE(store.open_key("A", true));
        ASSERT_TRUE(store.write_integer("keep", 1));
        ASSERT_TRUE(store.write_integer("drop", 2));
        ASSERT_TRUE(store.flush());
    }
    {
        RegistryStore store(file);
        ASSERT_TRUE(store.open_key("A", false));
        EXPECT_TRUE(store.delete_value("DROP"));
        EXPECT_FALSE(store.delete_value("never there"));
        ASSERT_TRUE(store.open_key("A\\B\\C", false));
        EXPECT_TRUE(store.delete_key("a\\b"));
        EXPECT_FALSE(store.has_current_key()) << "the open key went with it";
        EXPECT_FALSE(store.delete_key("a\\b"));
        EXPECT_FALSE(store.delete_key("")) << "the root stays";
        ASSERT_TRUE(store.flush());
    }
    RegistryStore store(file);
    EXPECT_FALSE(store.key_exists("A\\B"));
    ASSERT_TRUE(store.open_key("A", false));
    EXPECT_EQ(store.value_names(), std::vector<std::string>{"keep"});
}

// The file is text in a documented form.
TEST_F(RegistryStoreTest, FileFormat)
{
    RegistryStore store(file);
    ASSERT_TRUE(store.open_key("Software\\Empty", true));
    ASSERT_TRUE(store.open_key("Software\\Vals", true));
    ASSERT_TRUE(store.write_string("Name", "a\"b\\c\n"));
    ASSERT_TRUE(store.write_integer("", -5));
    const uint8_t bytes[] = {0x0A, 0xFF};
    ASSERT_TRUE(store.write_binary("Font", bytes, 2));
    ASSERT_TRUE(store.flush());
    EXPECT_EQ(slurp(file), "KXREG 1\n"
                           "K \"Software\"\n"
                           "K \"Software\" \"Empty\"\n"
                           "K \"Software\" \"Vals\"\n"
                           "S \"Name\" \"a\\x22b\\x5cc\\x0a\"\n"
                           "I \"\" -5\n"
                           "B \"Font\" x0aff\n"
                           "END\n");
    EXPECT_EQ(store.serialize(), slurp(file));
}

TEST_F(RegistryStoreTest, NothingChangedWritesNothing)
{
    RegistryStore store(file);
    EXPECT_TRUE(store.flush());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(store.open_key("", false)) << "the root always exists";
    EXPECT_FALSE(store.has_changes());
}

TEST_F(RegistryStoreTest, LimitsRefuseWritesAndHugeStoredValuesReadAsMissing)
{
    RegistryStore store(file);
    ASSERT_TRUE(store.open_key("K", true));
    EXPECT_FALSE(store.write_string(std::string(kRegMaxValueName + 1, 'n'), "x"));
    EXPECT_FALSE(store.write_string("big", std::string(kRegMaxValueBytes + 1, 'x')));
    EXPECT_FALSE(store.write_binary("big", std::vector<uint8_t>(kRegMaxValueBytes + 1).data(),
                                    kRegMaxValueBytes + 1));
    EXPECT_FALSE(store.open_key(std::string(kRegMaxKeyName + 1, 'k'), true));
    EXPECT_TRUE(store.value_names().empty());
    EXPECT_TRUE(store.write_string(std::string(kRegMaxValueName, 'n'), "x"));

    // A file written by someone else with a string beyond the limit.
    spit(file, "KXREG 1\nK \"K\"\nS \"Huge\" \"" + std::string(kRegMaxValueBytes + 10, 'h') +
                   "\"\nI \"Small\" 3\nEND\n");
    RegistryStore other(file);
    EXPECT_FALSE(other.damage());
    ASSERT_TRUE(other.open_key("K", false));
    EXPECT_TRUE(other.value_exists("Huge"));
    EXPECT_FALSE(other.read_string("Huge"));
    EXPECT_EQ(other.read_integer("Small"), 3);
}

// ---- damaged files -----------------------------------------------------------------------------

namespace {

struct DamageCase {
    const char *name;
    std::string content;
};

const std::string kGood = "KXREG 1\nK \"A\"\nI \"n\" 5\nEND\n";

const DamageCase kDamaged[] = {
    {"cut_inside_a_line", kGood.substr(0, 20)},
    {"cut_after_a_line", "KXREG 1\nK \"A\"\n"},
    {"empty_file", ""},
    {"binary_bytes", std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10)},
    {"other_text", "[Section]\nkey=value\n"},
    {"unknown_type_tag", "KXREG 1\nK \"A\"\nQ \"n\" 5\nEND\n"},
    {"text_after_end", kGood + "I \"x\" 1\n"},
    {"value_before_key", "KXREG 1\nI \"n\" 5\nEND\n"},
    {"integer_overflow", "KXREG 1\nK \"A\"\nI \"n\" 2147483648\nEND\n"},
    {"integer_with_letters", "KXREG 1\nK \"A\"\nI \"n\" 12a\nEND\n"},
    {"odd_hex", "KXREG 1\nK \"A\"\nB \"n\" xabc\nEND\n"},
    {"bad_escape", "KXREG 1\nK \"A\"\nS \"n\" \"\\q\"\nEND\n"},
    {"open_quote", "KXREG 1\nK \"A\nEND\n"},
    {"raw_tab_in_text", "KXREG 1\nK \"A\"\nS \"n\" \"a\tb\"\nEND\n"},
    {"lone_carriage_return", "KXREG 1\nK \"A\"\rI \"n\" 5\nEND\n"},
    {"key_path_past_the_depth_limit",
     "KXREG 1\nK" + [] {
         std::string path;
         for (std::size_t i = 0; i <= kRegMaxKeyDepth; ++i)
             path += " \"k\"";
         return path;
     }() + "\nEND\n"},
    {"blank_line", "KXREG 1\n\nEND\n"},
    {"empty_key_name", "KXREG 1\nK \"\"\nEND\n"},
    {"other_version", "KXREG 2\nEND\n"},
};

class DamagedFile : public RegistryStoreTest, public ::testing::WithParamInterface<DamageCase> {};

} // namespace

TEST_P(DamagedFile, IsKeptAsideAndTheStoreStartsEmpty)
{
    spit(file, GetParam().content);
    RegistryStore store(file);
    ASSERT_TRUE(store.damage().has_value());
    EXPECT_EQ(store.damage()->file, file);
    EXPECT_EQ(store.damage()->kept_as, file + ".damaged");
    EXPECT_FALSE(store.damage()->reason.empty());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(slurp(file + ".damaged"), GetParam().content) << "kept byte for byte";
    EXPECT_FALSE(store.open_key("A", false));

    // Reported once; the next save writes a fresh file and leaves the kept one alone.
    EXPECT_TRUE(store.take_damage().has_value());
    EXPECT_FALSE(store.damage().has_value());
    ASSERT_TRUE(store.open_key("A", true));
    ASSERT_TRUE(store.write_integer("n", 6));
    ASSERT_TRUE(store.flush());
    EXPECT_EQ(slurp(file + ".damaged"), GetParam().content);
    RegistryStore again(file);
    EXPECT_FALSE(again.damage());
    ASSERT_TRUE(again.open_key("A", false));
    EXPECT_EQ(again.read_integer("n"), 6);
}

INSTANTIATE_TEST_SUITE_P(All, DamagedFile, ::testing::ValuesIn(kDamaged),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(RegistryStoreTest, ASecondDamagedFileDoesNotReplaceTheFirstKeptOne)
{
    spit(file, "first");
    { RegistryStore store(file); }
    spit(file, "second");
    RegistryStore store(file);
    ASSERT_TRUE(store.damage());
    EXPECT_EQ(store.damage()->kept_as, file + ".damaged.1");
    EXPECT_EQ(slurp(file + ".damaged"), "first");
    EXPECT_EQ(slurp(file + ".damaged.1"), "second");
}

TEST_F(RegistryStoreTest, AGoodFileIsReadWhole)
{
    spit(file, kGood);
    RegistryStore store(file);
    EXPECT_FALSE(store.damage());
    ASSERT_TRUE(store.open_key("A", false));
    EXPECT_EQ(store.read_integer("n"), 5);
}

TEST_F(RegistryStoreTest, CrLfLinesReadAsLfAndASaveWritesLf)
{
    spit(file, "KXREG 1\r\nK \"A\"\r\nS \"s\" \"text\"\r\nI \"n\" 5\r\nEND\r\n");
    RegistryStore store(file);
    EXPECT_FALSE(store.damage());
    ASSERT_TRUE(store.open_key("A", false));
    EXPECT_EQ(store.read_integer("n"), 5);
    EXPECT_EQ(store.read_string("s"), "text");
    ASSERT_TRUE(store.write_integer("m", 1));
    ASSERT_TRUE(store.flush());
    EXPECT_EQ(slurp(file), "KXREG 1\nK \"A\"\nS \"s\" \"text\"\nI \"n\" 5\nI \"m\" 1\nEND\n");
}

// A key path from a hostile file 20,000 levels deep: reported as damage (the file is set aside,
// so the next start is clean), never a crash.
TEST_F(RegistryStoreTest, AKeyPathFarPastTheDepthLimitIsDamage)
{
    std::string text = "KXREG 1\nK";
    for (int i = 0; i < 20000; ++i)
        text += " \"k\"";
    spit(file, text + "\nI \"n\" 1\nEND\n");
    {
        RegistryStore store(file);
        ASSERT_TRUE(store.damage());
        EXPECT_NE(store.damage()->reason.find("deeper than " + std::to_string(kRegMaxKeyDepth)),
                  std::string::npos)
            << store.damage()->reason;
        EXPECT_EQ(store.damage()->kept_as, file + ".damaged");
    }
    RegistryStore next(file);
    EXPECT_FALSE(next.damage());
}

TEST_F(RegistryStoreTest, KeysAtTheDepthLimitAreWrittenAndReadBackOneLevelMoreIsRefused)
{
    std::string path;
    for (std::size_t i = 0; i < kRegMaxKeyDepth; ++i)
        path += (i ? "\\" : "") + std::string("k") + std::to_string(i % 10);
    {
        RegistryStore store(file);
        ASSERT_TRUE(store.open_key(path, true)) << store.last_error();
        ASSERT_TRUE(store.write_integer("n", 7));
        EXPECT_FALSE(store.open_key(path + "\\one-more", true));
        EXPECT_NE(store.last_error().find("deeper than"), std::string::npos) << store.last_error();
        EXPECT_EQ(store.current_path(), path) << "the refused open changed nothing";
        ASSERT_TRUE(store.flush()) << store.last_error();
    }
    RegistryStore reader(file);
    EXPECT_FALSE(reader.damage());
    ASSERT_TRUE(reader.open_key(path, false));
    EXPECT_EQ(reader.read_integer("n"), 7);
}

// Values and subkeys are found through an index by folded name: deleting from the middle must
// leave every other name finding its own entry, in creation order.
TEST_F(RegistryStoreTest, DeletingFromTheMiddleKeepsEveryOtherNameAndTheOrder)
{
    RegistryStore store(file);
    ASSERT_TRUE(store.open_key("K", true));
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(store.write_integer("v" + std::to_string(i), i));
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(store.open_key("K\\sub" + std::to_string(i), true));
    ASSERT_TRUE(store.open_key("K", false));
    EXPECT_TRUE(store.delete_value("V2"));
    EXPECT_TRUE(store.delete_value("v0"));
    EXPECT_TRUE(store.delete_key("k\\SUB1"));
    ASSERT_TRUE(store.write_integer("V4", 40)) << "a rewrite keeps the place and the case";
    ASSERT_TRUE(store.write_integer("v2", 20)) << "a name deleted before comes back at the end";
    EXPECT_EQ(store.value_names(), (std::vector<std::string>{"v1", "v3", "v4", "v5", "v2"}));
    EXPECT_EQ(store.key_names(), (std::vector<std::string>{"sub0", "sub2", "sub3"}));
    const std::pair<const char *, int> expected[] = {{"v1", 1}, {"V3", 3}, {"v4", 40},
                                                     {"v5", 5}, {"V2", 20}};
    for (const auto &[name, value] : expected)
        EXPECT_EQ(store.read_integer(name), value) << name;
    EXPECT_FALSE(store.value_exists("v0"));
    EXPECT_TRUE(store.key_exists("K\\Sub3"));
    EXPECT_FALSE(store.key_exists("K\\sub1"));
    ASSERT_TRUE(store.flush());
    EXPECT_EQ(slurp(file), "KXREG 1\nK \"K\"\nI \"v1\" 1\nI \"v3\" 3\nI \"v4\" 40\nI \"v5\" 5\n"
                           "I \"v2\" 20\nK \"K\" \"sub0\"\nK \"K\" \"sub2\"\nK \"K\" \"sub3\"\nEND\n");
}

// ---- what stands at the file's path --------------------------------------------------------------

namespace {

struct NotAFileCase {
    const char *name;
    void (*make)(const std::string &path);
    const char *reason;  // part of the damage report
};

const NotAFileCase kNotAFile[] = {
    {"folder", [](const std::string &p) { fs::create_directory(p); }, "it is a folder"},
    {"fifo", [](const std::string &p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
     "not an ordinary file"},
    {"link_to_dev_zero", [](const std::string &p) { fs::create_symlink("/dev/zero", p); },
     "not an ordinary file"},
};

class NotAFile : public RegistryStoreTest, public ::testing::WithParamInterface<NotAFileCase> {};

} // namespace

// Made at once (no wait for a FIFO's writer, no endless read of a device), reported once by the
// path with what stands there, and nothing there is moved, replaced or written.
TEST_P(NotAFile, IsReportedAndNeverReadNorReplaced)
{
    GetParam().make(file);
    const fs::file_type before = fs::symlink_status(file).type();
    RegistryStore store(file);
    ASSERT_TRUE(store.damage());
    EXPECT_EQ(store.damage()->file, file);
    EXPECT_TRUE(store.damage()->kept_as.empty());
    EXPECT_NE(store.damage()->reason.find(GetParam().reason), std::string::npos)
        << store.damage()->reason;
    ASSERT_TRUE(store.open_key("K", true));
    ASSERT_TRUE(store.write_integer("n", 1));
    EXPECT_FALSE(store.flush());
    EXPECT_NE(store.last_error().find(file), std::string::npos) << store.last_error();
    EXPECT_EQ(fs::symlink_status(file).type(), before);
    EXPECT_FALSE(fs::exists(file + ".damaged"));
}

INSTANTIATE_TEST_SUITE_P(All, NotAFile, ::testing::ValuesIn(kNotAFile),
                         [](const auto &i) { return std::string(i.param.name); });

// A settings file kept elsewhere and linked in: a save writes the link's target, the link stays.
TEST_F(RegistryStoreTest, ASymbolicLinkStaysALinkAndItsTargetIsWritten)
{
    fs::create_directories(dir / "kept");
    spit(dir / "kept" / "real.kxreg", kGood);
    fs::create_symlink(fs::path("kept") / "real.kxreg", file);
    {
        RegistryStore store(file);
        EXPECT_FALSE(store.damage());
        ASSERT_TRUE(store.open_key("A", false));
        EXPECT_EQ(store.read_integer("n"), 5);
        ASSERT_TRUE(store.write_integer("n", 6));
        ASSERT_TRUE(store.flush()) << store.last_error();
    }
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(fs::read_symlink(file), fs::path("kept") / "real.kxreg");
    EXPECT_EQ(slurp(dir / "kept" / "real.kxreg"), "KXREG 1\nK \"A\"\nI \"n\" 6\nEND\n");
}

// ---- saving: merge, lock, atomic write -------------------------------------------------------

TEST_F(RegistryStoreTest, TwoStoresOnOneFileKeepEachOthersValues)
{
    RegistryStore first(file), second(file);
    ASSERT_TRUE(first.open_key("Shared\\One", true));
    ASSERT_TRUE(first.write_string("a", "from first"));
    ASSERT_TRUE(first.write_integer("both", 1));
    ASSERT_TRUE(second.open_key("Shared\\Two", true));
    ASSERT_TRUE(second.write_string("b", "from second"));
    ASSERT_TRUE(second.open_key("Shared\\One", true));
    ASSERT_TRUE(second.write_integer("both", 2));
    ASSERT_TRUE(first.flush());
    ASSERT_TRUE(second.flush());

    // The second flush also brought the first one's values into the second store.
    ASSERT_TRUE(second.open_key("Shared\\One", false));
    EXPECT_EQ(second.read_string("a"), "from first");

    RegistryStore reader(file);
    ASSERT_TRUE(reader.open_key("Shared\\One", false));
    EXPECT_EQ(reader.read_string("a"), "from first");
    EXPECT_EQ(reader.read_integer("both"), 2) << "the later save wins a value both wrote";
    ASSERT_TRUE(reader.open_key("Shared\\Two", false));
    EXPECT_EQ(reader.read_string("b"), "from second");
}

TEST_F(RegistryStoreTest, ADeletionIsMergedToo)
{
    {
        RegistryStore store(file);
        ASSERT_TRUE(store.open_key("K", true));
        ASSERT_TRUE(store.write_integer("old", 1));
        ASSERT_TRUE(store.flush());
    }
    RegistryStore first(file), second(file);
    ASSERT_TRUE(first.open_key("K", false));
    EXPECT_TRUE(first.delete_value("old"));
    ASSERT_TRUE(second.open_key("K", false));
    ASSERT_TRUE(second.write_integer("new", 2));
    ASSERT_TRUE(first.flush());
    ASSERT_TRUE(second.flush());
    RegistryStore reader(file);
    ASSERT_TRUE(reader.open_key("K", false));
    EXPECT_EQ(reader.value_names(), std::vector<std::string>{"new"})
        << "the second save does not bring back what the first deleted";
}

TEST_F(RegistryStoreTest, AFailedWriteLeavesTheOldFileAndKeepsTheChanges)
{
    {
        RegistryStore store(file);
        ASSERT_TRUE(store.open_key("K", true));
        ASSERT_TRUE(store.write_integer("n", 1));
        ASSERT_TRUE(store.flush());
    }
    const std::string before = slurp(file);
    RegistryStore store(file);
    ASSERT_TRUE(store.open_key("K", false));
    ASSERT_TRUE(store.write_integer("n", 2));
    // A folder where the temporary file would go: the write cannot happen.
    const fs::path blocker = file + ".tmp." + std::to_string(::getpid());
    fs::create_directories(blocker);
    EXPECT_FALSE(store.flush());
    EXPECT_NE(store.last_error().find(file), std::string::npos) << store.last_error();
    EXPECT_EQ(slurp(file), before);
    EXPECT_TRUE(store.has_changes());
    fs::remove(blocker);
    ASSERT_TRUE(store.flush()) << store.last_error();
    RegistryStore reader(file);
    ASSERT_TRUE(reader.open_key("K", false));
    EXPECT_EQ(reader.read_integer("n"), 2);
    EXPECT_FALSE(fs::exists(blocker));
}

TEST_F(RegistryStoreTest, AFolderThatCannotBeMadeFailsTheFlush)
{
    spit(dir / "plain-file", "x");
    RegistryStore store((dir / "plain-file" / "korvex" / "registry.kxreg").string());
    EXPECT_FALSE(store.damage());
    ASSERT_TRUE(store.open_key("K", true));
    ASSERT_TRUE(store.write_integer("n", 1));
    EXPECT_FALSE(store.flush());
    EXPECT_FALSE(store.last_error().empty());
}

TEST(RegistryPath, UnderTheConfigurationDirectory)
{
    const char *old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/kx-config", 1);
    EXPECT_EQ(default_registry_path(), "/tmp/kx-config/korvex/registry.kxreg");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/root", 1);
    EXPECT_EQ(default_registry_path(), std::string(std::getenv("HOME")) +
                                           "/.config/korvex/registry.kxreg")
        << "a relative XDG_CONFIG_HOME is ignored";
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}
