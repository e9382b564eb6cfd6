// The code-block map: what a recording stores, the normalisation into disjoint ranges where the
// lower kind wins, and the look-ups (5 for an empty map, 6 between blocks).
#include <gtest/gtest.h>

#include "core/CC_ADDR.h"
#include "core/SEAM_TARGET.h"
#include "linker/list_files.h"

#include <algorithm>
#include <ostream>
#include <random>
#include <vector>

namespace {

struct Range {
    uint32_t start, end;
    uint8_t kind;
    bool operator==(const Range &) const = default;
};
std::ostream &operator<<(std::ostream &os, const Range &r)
{
    return os << "[" << std::hex << r.start << "," << r.end << ")k" << std::dec << int(r.kind);
}

class CodeBlockMap : public ::testing::Test {
protected:
    CodeBlockList map;

    void SetUp() override
    {
        (void)set_xmem_window(0xE);
        SetCompilingBios(0);
        set_protected_file_test(nullptr);
    }
    void TearDown() override
    {
        SetCompilingBios(0);
        set_protected_file_test(nullptr);
    }
    // Kind 1 is what any recording of a protected file stores; the others go in as given.
    void record(const Range &r)
    {
        if (r.kind != 1) {
            add_list_record(map, r.start, r.end, r.kind);
            return;
        }
        set_protected_file_test([](const std::string &) { return true; });
        add_list_record(map, r.start, r.end, 2);
        set_protected_file_test(nullptr);
    }
    std::vector<Range> blocks()
    {
        map.normalise();
        std::vector<Range> out;
        for (const CodeBlock &b : map.blocks())
            out.push_back({b.start, b.end, b.kind});
        return out;
    }
};

struct NormaliseCase {
    const char *name;
    std::vector<Range> recorded;
    std::vector<Range> expected;
};
void PrintTo(const NormaliseCase &c, std::ostream *os) { *os << c.name; }

const NormaliseCase kNormalise[] = {
    {"empty_range_adds_nothing", {{0x100, 0x100, 4}}, {}},
    {"inverted_range_adds_nothing", {{0x200, 0x100, 4}}, {}},
    {"data_at_the_start_of_code",
     {{0x100, 0x200, 4}, {0x100, 0x140, 2}},
     {{0x100, 0x140, 2}, {0x140, 0x200, 4}}},
    {"data_over_the_end_of_code",
     {{0x100, 0x200, 4}, {0x180, 0x280, 2}},
     {{0x100, 0x180, 4}, {0x180, 0x280, 2}}},
    {"data_inside_code_splits_it",
     {{0x100, 0x200, 4}, {0x140, 0x160, 2}},
     {{0x100, 0x140, 4}, {0x140, 0x160, 2}, {0x160, 0x200, 4}}},
    {"adjoining_code_joins", {{0x100, 0x120, 4}, {0x120, 0x130, 4}}, {{0x100, 0x130, 4}}},
    {"code_inside_data_is_dropped", {{0x100, 0x200, 2}, {0x140, 0x160, 4}}, {{0x100, 0x200, 2}}},
    {"code_over_the_end_of_data_is_cut",
     {{0x100, 0x200, 2}, {0x180, 0x280, 4}},
     {{0x100, 0x200, 2}, {0x200, 0x280, 4}}},
    {"same_kind_overlapping_joins", {{0x100, 0x200, 4}, {0x180, 0x280, 4}}, {{0x100, 0x280, 4}}},
    {"recorded_out_of_order",
     {{0x300, 0x310, 4}, {0x100, 0x110, 2}, {0x200, 0x210, 3}},
     {{0x100, 0x110, 2}, {0x200, 0x210, 3}, {0x300, 0x310, 4}}},
    {"equal_starts_keep_their_order_and_the_lower_kind_wins",
     {{0x100, 0x140, 4}, {0x100, 0x140, 2}},
     {{0x100, 0x140, 2}}},
    {"two_holes_in_one_block",
     {{0x100, 0x200, 4}, {0x120, 0x130, 2}, {0x160, 0x170, 2}},
     {{0x100, 0x120, 4}, {0x120, 0x130, 2}, {0x130, 0x160, 4}, {0x160, 0x170, 2},
      {0x170, 0x200, 4}}},
    {"hole_spanning_into_a_later_block",
     {{0x0, 0x100, 4}, {0x10, 0x20, 2}, {0x15, 0x30, 3}},
     {{0x0, 0x10, 4}, {0x10, 0x20, 2}, {0x20, 0x30, 3}, {0x30, 0x100, 4}}},
    {"protected_code_wins_everywhere",
     {{0x100, 0x200, 2}, {0x150, 0x160, 1}},
     {{0x100, 0x150, 2}, {0x150, 0x160, 1}, {0x160, 0x200, 2}}},
};

class CodeBlockNormalise : public CodeBlockMap,
                           public ::testing::WithParamInterface<NormaliseCase> {};

TEST_P(CodeBlockNormalise, GivesDisjointRangesInOrder)
{
    for (const Range &r : GetParam().recorded)
        record(r);
    EXPECT_EQ(blocks(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(All, CodeBlockNormalise, ::testing::ValuesIn(kNormalise),
                         [](const auto &i) { return std::string(i.param.name); });

// Random recordings, normalised, answer every address with the lowest kind that claimed it
// (or "no block"), and come out disjoint, in order, with no touching neighbours of one kind.
TEST_F(CodeBlockMap, RandomRecordingsResolveToTheLowestKindEverywhere)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 200; ++round) {
        clear_list_records(map);
        std::vector<Range> recorded;
        const int n = 1 + int(random() % 12);
        for (int i = 0; i < n; ++i) {
            const uint32_t start = random() % 64, length = random() % 24;
            const uint8_t kind = static_cast<uint8_t>(1 + random() % 4);
            recorded.push_back({start, start + length, kind});
            record(recorded.back());
        }
        const std::vector<Range> result = blocks();
        for (std::size_t i = 0; i + 1 < result.size(); ++i) {
            EXPECT_LE(result[i].end, result[i + 1].start) << "round " << round;
            EXPECT_FALSE(result[i].end == result[i + 1].start && result[i].kind == result[i + 1].kind)
                << "round " << round;
        }
        for (uint32_t a = 0; a < 100; ++a) {
            uint8_t want = 6;
            for (const Range &r : recorded)
                if (a >= r.start && a < r.end)
                    want = std::min(want, r.kind);
            EXPECT_EQ(map.kind_at(a), result.empty() ? 5 : want)
                << "round " << round << " address " << a;
        }
    }
}

TEST_F(CodeBlockMap, EmptyMapAnswersFiveAndAGapSix)
{
    map.normalise();
    EXPECT_EQ(map.kind_at(0x100), 5);
    add_list_record(map, 0x100, 0x110, 4);
    add_list_record(map, 0x200, 0x210, 2);
    map.normalise();
    EXPECT_EQ(map.kind_at(0x10F), 4);
    EXPECT_EQ(map.kind_at(0x110), 6) << "the end is not part of a block";
    EXPECT_EQ(map.kind_at(0x180), 6);
    EXPECT_EQ(map.kind_at(0x200), 2);
    EXPECT_EQ(map.kind_at(0x100), 4) << "a look-up behind the last one searches again";
    clear_list_records(map);
    EXPECT_EQ(map.kind_at(0x100), 5);
}

// Addresses compare by their physical addresses: an xmem block answers for its xmem words.
TEST_F(CodeBlockMap, XmemBlocksAnswerByPhysicalAddress)
{
    add_list_record(map, make_addr(2, 0xE000), make_addr(2, 0xE100), 4);
    map.normalise();
    EXPECT_EQ(map.kind_at(make_addr(2, 0xE080)), 4);
    EXPECT_EQ(map.kind_at(make_addr(1, 0xF080)), 4) << "the same physical address";
    EXPECT_EQ(map.kind_at(make_addr(3, 0xE080)), 6);
}

TEST_F(CodeBlockMap, BiosCompileStoresProgramCodeAsBiosCode)
{
    SetCompilingBios(1);
    add_list_record(map, 0x100, 0x110, 4);
    add_list_record(map, 0x200, 0x210, 2);
    EXPECT_EQ(blocks(), (std::vector<Range>{{0x100, 0x110, 3}, {0x200, 0x210, 2}}));
}

TEST_F(CodeBlockMap, ProtectedSourceStoresEveryKindAsOne)
{
    set_protected_file_test([](const std::string &) { return true; });
    add_list_record(map, 0x100, 0x110, 2);
    add_list_record(map, 0x110, 0x120, 4);
    EXPECT_EQ(blocks(), (std::vector<Range>{{0x100, 0x120, 1}}));
}

}  // namespace
