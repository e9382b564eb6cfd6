// The board store: its key in the settings store, the built-in catalogue and its constraints,
// the CPU revisions, and the seeding of an empty, a full and a user-edited store under a point
// and a comma decimal separator.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "HostDoubles.h"
#include "SettingsDoubles.h"
#include "settings/guiTCBoards.h"

namespace {

constexpr const char *kBoards = "Software\\Brantel\\KXW\\Vireon\\Targetless Compiler\\BoardsV2";
constexpr const char *kCpus = "Software\\Brantel\\KXW\\Vireon\\Targetless Compiler\\CPUsV2";
constexpr const char *kLists = "Software\\Brantel\\KXW\\Vireon\\Targetless Compiler";

std::string file_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The values of one key as the file holds them, in the store's order.
std::vector<std::pair<std::string, std::string>> stored(const std::string &file, const char *key)
{
    RegistryStore reg(file);
    std::vector<std::pair<std::string, std::string>> values;
    if (!reg.open_key(key, false))
        return values;
    for (const std::string &name : reg.value_names())
        values.emplace_back(name, reg.read_string(name).value_or("<not a string>"));
    return values;
}

std::vector<std::string> names_of(const std::vector<std::pair<std::string, std::string>> &values)
{
    std::vector<std::string> names;
    for (const auto &v : values)
        names.push_back(v.first);
    return names;
}

std::vector<std::string> lines_of(const std::string &comma_text)
{
    const std::optional<TStringList> list = TStringList::from_comma_text(comma_text);
    return list ? list->lines : std::vector<std::string>{"<unreadable>"};
}

std::vector<std::string> line_names(const std::string &comma_text)
{
    std::vector<std::string> names;
    for (const std::string &line : lines_of(comma_text))
        names.push_back(line.substr(0, line.find('=')));
    return names;
}

// The catalogue's IDs in the order it must write them.
const std::vector<std::string> kCatalogueIds = {
    "0x0101", "0x0100", "0x0102", "0x0800", "0x0806", "0x0801", "0x0802", "0x0803", "0x0804",
    "0x0B00", "0x0B01", "0x0B02", "0x0B03", "0x1500", "0x1502", "0x1504", "0x1501", "0x1503",
    "0x1700", "0x1701", "0x1704", "0x1702", "0x1705", "0x1200", "0x1201", "0x0202", "0x0201",
    "0x0200", "0x0700", "0x0701", "0x0702", "0x0703", "0x0900", "0x0E00", "0x0A00", "0x0F00",
    "0x0F01", "0x1000", "0x1001", "0x1300", "0x1301", "0x1302", "0x1400", "0x1402", "0x1600",
    "0x1610", "0x1E00", "0x1E01", "0x1F00", "0x1F01", "0x0301", "0x0300", "0x0302", "0x0D00",
    "0x0D01", "0x1100", "0x1102", "0x1101", "0x1103", "0x0502", "0x0C00", "0x0C01", "0x0601",
    "0x0603"};

// ---- the catalogue -----------------------------------------------------------------------------

// Every constraint the catalogue keeps: IDs and their order, CPUs, crystals, memory sizes, that
// every value is one the Specify page's default lists offer, and the descriptions' form.
TEST(BoardCatalogue, KeepsItsConstraints)
{
    std::vector<std::string> ids;
    std::map<std::string, int> cpus, crystals, rams, flashes;
    std::set<std::string> high_bytes_seen;
    std::string previous_high;
    int standard_descriptions = 0, clock_is_crystal = 0;

    const std::set<std::string> cpu_idents = [] {
        std::set<std::string> s;
        for (const CpuRevisionRow &row : kCpuRevisions)
            s.insert(row.ident);
        return s;
    }();
    const std::vector<std::string> crystal_list = lines_of(default_crystal_speeds('.'));
    const std::vector<std::string> ram_list = lines_of(kDefaultRamSizes);
    const std::vector<std::string> flash_list = lines_of(kDefaultFlashSizes);
    auto listed = [](const std::vector<std::string> &list, const std::string &value) {
        return std::find(list.begin(), list.end(), value) != list.end();
    };

    for (const CatalogueRow &row : kBoardCatalogue) {
        const std::string id = row.id;
        SCOPED_TRACE(id);
        ids.push_back(id);
        ASSERT_EQ(id.size(), 6u);
        EXPECT_EQ(id.substr(0, 2), "0x");
        EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF", 2), std::string::npos);
        EXPECT_LT(std::stoi(id.substr(2), nullptr, 16), 0xFF00);
        // IDs that share a high byte stand together.
        const std::string high = id.substr(2, 2);
        if (high != previous_high) {
            EXPECT_FALSE(high_bytes_seen.count(high)) << "high byte " << high << " split";
            high_bytes_seen.insert(high);
            previous_high = high;
        }
        EXPECT_TRUE(cpu_idents.count(row.cpu));
        ++cpus[row.cpu];
        const std::string crystal = std::string(row.mhz) + "." + row.fraction;
        EXPECT_EQ(std::string(row.fraction).size(), 4u);
        EXPECT_TRUE(listed(crystal_list, crystal)) << crystal;
        ++crystals[crystal];
        EXPECT_TRUE(listed(ram_list, row.ram_kb));
        EXPECT_TRUE(listed(flash_list, row.flash_kb));
        ++rams[row.ram_kb];
        ++flashes[row.flash_kb];

        const double mhz = std::stod(crystal);
        const std::string twice = std::to_string(static_cast<int>(2 * mhz)) + "MHz";
        const std::string itself = std::to_string(static_cast<int>(mhz)) + "MHz";
        const std::string description = row.description;
        const bool starts_twice = description.rfind(twice, 0) == 0;
        const bool starts_itself = description.rfind(itself, 0) == 0;
        EXPECT_TRUE(starts_twice || starts_itself) << description;
        if (!starts_twice)
            ++clock_is_crystal;
        const std::string clock = starts_twice ? twice : itself;
        const std::string tail = std::string(", ") + row.ram_kb + "K SRAM, " + row.flash_kb +
                                 "K Flash";
        if (description.size() > clock.size() + tail.size() + 1 &&
            description[clock.size()] == ' ' &&
            description.compare(description.size() - tail.size(), tail.size(), tail) == 0)
            ++standard_descriptions;
    }
    EXPECT_EQ(ids, kCatalogueIds);
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), 64u);
    EXPECT_EQ(high_bytes_seen.size(), 24u);
    EXPECT_EQ(cpus, (std::map<std::string, int>{{"2000r3", 37}, {"3000r0", 25}, {"3000r1", 2}}));
    EXPECT_EQ(crystals, (std::map<std::string, int>{{"3.6864", 2},
                                                    {"7.3728", 2},
                                                    {"9.2160", 1},
                                                    {"11.0592", 31},
                                                    {"12.9024", 3},
                                                    {"14.7456", 15},
                                                    {"18.4320", 3},
                                                    {"22.1184", 6},
                                                    {"29.4912", 1}}));
    EXPECT_EQ(rams, (std::map<std::string, int>{{"128", 39}, {"256", 6}, {"512", 19}}));
    EXPECT_EQ(flashes, (std::map<std::string, int>{{"128", 3}, {"256", 51}, {"512", 10}}));
    EXPECT_EQ(standard_descriptions, 51);
    EXPECT_EQ(clock_is_crystal, 4);
    // The revision IDs the CPU identifiers stand for.
    EXPECT_EQ(cpu_revision_record(kCpuRevisions[3]).value("CR"), "0x03");
    EXPECT_EQ(cpu_revision_record(kCpuRevisions[4]).value("CR"), "0x100");
    EXPECT_EQ(cpu_revision_record(kCpuRevisions[5]).value("CR"), "0x101");
}

struct TellingRow {
    const char *id, *cpu, *crystal, *ram, *flash;
};
const TellingRow kTellingRows[] = {
    {"0x0101", "2000r3", "29.4912", "128", "256"}, {"0x0100", "2000r3", "7.3728", "128", "128"},
    {"0x0806", "2000r3", "11.0592", "512", "512"}, {"0x0800", "2000r3", "11.0592", "128", "256"},
    {"0x1200", "3000r0", "3.6864", "512", "256"},  {"0x1400", "3000r1", "22.1184", "512", "512"},
};

TEST(BoardCatalogue, TellingRows)
{
    for (const TellingRow &t : kTellingRows) {
        const auto row = std::find_if(kBoardCatalogue.begin(), kBoardCatalogue.end(),
                                      [&](const CatalogueRow &r) { return r.id == std::string(t.id); });
        ASSERT_NE(row, kBoardCatalogue.end()) << t.id;
        const TStringList record = catalogue_record(*row, '.');
        EXPECT_EQ(record.value("BCI"), t.cpu) << t.id;
        EXPECT_EQ(record.value("BCS"), t.crystal) << t.id;
        EXPECT_EQ(record.value("BRS"), t.ram) << t.id;
        EXPECT_EQ(record.value("BFS"), t.flash) << t.id;
    }
}

// ---- seeding -----------------------------------------------------------------------------------

class Seeding : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override { reset_host_services(); }
    void TearDown() override { reset_host_services(); }
    char sep() const { return GetParam(); }
    std::string dec(std::string text) const
    {
        std::replace(text.begin(), text.end(), '.', sep());
        return text;
    }
    bool seed()
    {
        TTargetlessStore store;
        return seed_targetless_store(store, sep());
    }
    SettingsSandbox sandbox{"seeding"};
};

TEST_P(Seeding, EmptyStoreGetsEverythingInOrder)
{
    SettingsVersionKey = "8.51Lab\\"; // the store has no version key
    ASSERT_TRUE(seed());
    const std::string file = sandbox.store_file();

    const auto boards = stored(file, kBoards);
    EXPECT_EQ(names_of(boards), kCatalogueIds);
    for (const auto &[name, text] : boards) {
        SCOPED_TRACE(name);
        EXPECT_EQ(line_names(text),
                  (std::vector<std::string>{"BI", "BN", "BCI", "BCS", "BRS", "BFS"}));
        EXPECT_EQ(lines_of(text)[0], "BI=" + name);
        // The description line is always quoted, the crystal's under a comma separator too.
        EXPECT_EQ(text.rfind("BI=" + name + ",\"BN=", 0), 0u) << text;
    }
    EXPECT_EQ(boards[0].second, "BI=0x0101,\"BN=29MHz Starter Board 01-01, 128K SRAM, 256K "
                                "Flash\",BCI=2000r3," +
                                    std::string(sep() == ',' ? "\"BCS=29,4912\"" : "BCS=29.4912") +
                                    ",BRS=128,BFS=256");

    const auto cpus = stored(file, kCpus);
    EXPECT_EQ(names_of(cpus), (std::vector<std::string>{"2000r0", "2000r1", "2000r2", "2000r3",
                                                        "3000r0", "3000r1"}));
    EXPECT_EQ(cpus[5].second, "CI=3000r1,CR=0x101,\"CN=Vireon 3000 revision B\"");

    const auto lists = stored(file, kLists);
    EXPECT_EQ(names_of(lists), (std::vector<std::string>{"Crystal Speeds", "RAM Sizes",
                                                         "Flash Sizes", "RTI Fields V2"}));
    EXPECT_EQ(lists[0].second,
              dec("\"1.8432\",\"3.6864\",\"5.5296\",\"7.3728\",\"9.2160\",\"11.0592\","
                  "\"12.9024\",\"14.7456\",\"16.5888\",\"18.4320\",\"20.2752\",\"22.1184\","
                  "\"23.9616\",\"24.5760\",\"25.8048\",\"27.6480\",\"29.4912\""));
    EXPECT_EQ(lines_of(lists[0].second).size(), 17u);
    EXPECT_EQ(lists[1].second, "32,128,256,512");
    EXPECT_EQ(lists[2].second, "0,128,256,512");
    EXPECT_EQ(lines_of(lists[3].second),
              (std::vector<std::string>{"FS=Flash Size (KBytes)", "RS=RAM Size (KBytes)",
                                        "CS=Crystal Speed (MHz)", "CN=CPU Name", "CI=CPU ID",
                                        "CV=CPU Revision", "BN=Board Name", "BI=Board ID"}));
    EXPECT_TRUE(headless_message_box_host().shown.empty());
}

TEST_P(Seeding, SecondSeedingWritesNothing)
{
    ASSERT_TRUE(seed());
    const std::string before = file_bytes(sandbox.store_file());
    TTargetlessStore store;
    EXPECT_TRUE(seed_targetless_store(store, sep()));
    EXPECT_EQ(store.changes(), 0);
    EXPECT_EQ(file_bytes(sandbox.store_file()), before);
}

// What the user changed stays; what is gone or empty comes back.
TEST_P(Seeding, KeepsEditsAndRestoresWhatIsMissing)
{
    ASSERT_TRUE(seed());
    {
        TTargetlessStore store;
        ASSERT_TRUE(store.write("CPUsV2", "2000r1", "CI=2000r1,CR=0x01,\"CN=My own text\""));
        const std::string changed_cpu = ReadTargetlessValue(store, "BoardsV2", "0x0800");
        std::string edited = changed_cpu;
        edited.replace(edited.find("BCI=2000r3"), 10, "BCI=2000r1");
        ASSERT_TRUE(store.write("BoardsV2", "0x0800", edited));
        // A user's board accepted under a catalogue ID stays as it is.
        ASSERT_TRUE(store.write("BoardsV2", "0x0900", "BI=0x0900,BN=Mine"));
        ASSERT_TRUE(store.write("BoardsV2", "0x0B00", ""));
        ASSERT_TRUE(store.remove("BoardsV2", "0x0603"));
        ASSERT_TRUE(store.remove("CPUsV2", "3000r0"));
        ASSERT_TRUE(store.write("", "RAM Sizes", ""));
        ASSERT_TRUE(store.save());
    }
    ASSERT_TRUE(seed());
    TTargetlessStore store;
    EXPECT_EQ(store.read("CPUsV2", "2000r1"), "CI=2000r1,CR=0x01,\"CN=My own text\"");
    EXPECT_NE(store.read("BoardsV2", "0x0800").find("BCI=2000r1"), std::string::npos);
    EXPECT_EQ(store.read("BoardsV2", "0x0900"), "BI=0x0900,BN=Mine");
    const auto catalogue_text = [&](const char *id) {
        for (const CatalogueRow &row : kBoardCatalogue)
            if (row.id == std::string(id))
                return catalogue_record(row, sep()).comma_text();
        return std::string();
    };
    EXPECT_EQ(store.read("BoardsV2", "0x0B00"), catalogue_text("0x0B00"));
    EXPECT_EQ(store.read("BoardsV2", "0x0603"), catalogue_text("0x0603"));
    EXPECT_EQ(store.read("CPUsV2", "3000r0"), "CI=3000r0,CR=0x100,\"CN=Vireon 3000 revision A\"");
    EXPECT_EQ(store.read("", "RAM Sizes"), "32,128,256,512");
    EXPECT_EQ(store.list("BoardsV2").size(), 64u);
}

INSTANTIATE_TEST_SUITE_P(Separators, Seeding, ::testing::Values('.', ','),
                         [](const auto &i) { return i.param == '.' ? "Point" : "Comma"; });

// A store that cannot be written says so once and keeps the file as it was.
TEST(SeedingFailure, UnwritableStoreIsReported)
{
    reset_host_services();
    SettingsSandbox sandbox("seeding-fail");
    const std::filesystem::path blocker = sandbox.config / "not-a-folder";
    std::ofstream(blocker) << "a file";
    set_settings_registry_path((blocker / "registry.kxreg").string());
    TTargetlessStore store;
    EXPECT_FALSE(seed_targetless_store(store, '.'));
    const auto &shown = headless_message_box_host().shown;
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].text.rfind("The board store could not be saved.\n", 0), 0u);
    EXPECT_EQ(file_bytes(blocker.string()), "a file");
    set_settings_registry_path("");
    reset_host_services();
}

} // namespace
