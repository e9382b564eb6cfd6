// Interned strings and the unique-key hash table under them.
#include "core/QBSTRING.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

uint32_t pool_entries()
{
    createStringPool();
    return gStringPool->entry_count();
}

TEST(FoundationQBString, SameTextSharesOneEntryAndCounts)
{
    uint32_t before = pool_entries();
    {
        QBString a("foundation-shared");
        QBString b(std::string("foundation-shared"));
        EXPECT_EQ(a.entry(), b.entry());
        EXPECT_EQ(a.ref_count(), 2u);
        EXPECT_EQ(pool_entries(), before + 1);

        b.release();
        EXPECT_TRUE(b.is_null());
        EXPECT_STREQ(b.c_str(), "");
        EXPECT_EQ(a.ref_count(), 1u);
        EXPECT_TRUE(gStringPool->contains(QBSZ("foundation-shared")));
    }
    // The last release took the entry out of the pool.
    EXPECT_FALSE(gStringPool->contains(QBSZ("foundation-shared")));
    EXPECT_EQ(pool_entries(), before);

    QBString again("foundation-shared");
    EXPECT_EQ(again.ref_count(), 1u);
}

TEST(FoundationQBString, CopyAssignAndSelfAssign)
{
    QBString a("fa-one");
    QBString b("fa-two");
    b = a;
    EXPECT_EQ(a.ref_count(), 2u);
    EXPECT_FALSE(gStringPool->contains(QBSZ("fa-two")));
    QBString &alias = b;
    b = alias;
    EXPECT_EQ(a.ref_count(), 2u);
    QBString c(a);
    EXPECT_EQ(a.ref_count(), 3u);
    QBString moved(std::move(c));
    EXPECT_EQ(a.ref_count(), 3u);
    EXPECT_EQ(moved, a);
}

TEST(FoundationQBString, DefaultHandleSharesTheEmptyEntry)
{
    QBString e;
    createStringPool();
    EXPECT_EQ(e.entry(), gEmptyString->entry());
    EXPECT_TRUE(e.empty());
    uint32_t count = gEmptyString->ref_count();
    {
        QBString f;
        QBString g("");
        EXPECT_EQ(gEmptyString->ref_count(), count + 2);
    }
    e.release();
    EXPECT_TRUE(gStringPool->contains(QBSZ("")));
    EXPECT_GE(gEmptyString->ref_count(), 1u);
}

TEST(FoundationQBString, OrderIsByUnsignedBytes)
{
    QBString high("ab\xE9");
    QBString low("abz");
    EXPECT_TRUE(low < high);
    EXPECT_FALSE(high < low);
    std::map<QBString, int> m{{high, 1}, {low, 2}, {QBString("ab"), 3}};
    std::vector<std::string> keys;
    for (const auto &[k, v] : m)
        keys.emplace_back(k.c_str());
    EXPECT_EQ(keys, (std::vector<std::string>{"ab", "abz", "ab\xE9"}));
}

TEST(FoundationQBString, PoolHas2039BucketsAndHashRule)
{
    createStringPool();
    EXPECT_EQ(gStringPool->bucket_count(), 2039u);
    EXPECT_EQ(hashQBSZ(""), 0u);
    // h = (h << 2) ^ c over unsigned bytes.
    EXPECT_EQ(hashQBSZ("ab"), ((uint32_t('a') << 2) ^ uint32_t('b')));
    EXPECT_EQ(hashQBSZ("\xFF"), 0xFFu);
    EXPECT_EQ(ta_hash_bucket_index(0x12345u, 2039), (0x2345u * 65521u) % 2039u);
}

struct BucketCase {
    const char *name;
    uint32_t requested;
    uint32_t expected;
};
const BucketCase kBucketCases[] = {
    {"tiny", 1, 13},         {"exact_prime", 127, 127}, {"pool", 2000, 2039},
    {"not_32749", 32000, 32719}, {"top_prime", 65521, 65521}, {"above_table", 65522, 65522},
    {"far_above", 100000, 100000},
};
class FoundationBucketCount : public ::testing::TestWithParam<BucketCase> {};
TEST_P(FoundationBucketCount, FromPrimeTable)
{
    EXPECT_EQ(ta_hash_bucket_count(GetParam().requested), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(All, FoundationBucketCount, ::testing::ValuesIn(kBucketCases),
                         [](const auto &i) { return std::string(i.param.name); });

// A table with another value type, as the linker uses it.
struct Fixup {
    int site;
};
using FixupTable = TaDUniqueHash<QBSZ, Fixup>;

TEST(FoundationHashTable, InsertFindRemoveAndDuplicates)
{
    FixupTable t(10);
    EXPECT_EQ(t.bucket_count(), 13u);
    EXPECT_TRUE(t.insert(new FixupTable::Entry{QBSZ("beta"), new Fixup{2}}));
    EXPECT_TRUE(t.insert(new FixupTable::Entry{QBSZ("alpha"), new Fixup{1}}));
    auto *dup = new FixupTable::Entry{QBSZ("beta"), new Fixup{3}};
    EXPECT_FALSE(t.insert(dup));
    EXPECT_EQ(t.entry_count(), 2u);
    delete dup->value;
    delete dup;

    ASSERT_NE(t.find(QBSZ("beta")), nullptr);
    EXPECT_EQ(t.find(QBSZ("beta"))->value->site, 2);
    EXPECT_EQ(t.find(QBSZ("gamma")), nullptr);

    Fixup *v = t.remove(QBSZ("alpha"));
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->site, 1);
    delete v;
    EXPECT_EQ(t.remove(QBSZ("alpha")), nullptr);
    EXPECT_EQ(t.entry_count(), 1u);
}

TEST(FoundationHashTable, ChainsStaySortedAndForEachVisitsInOrder)
{
    // With one bucket every key shares the chain, so the visit order is the key order.
    TaDUniqueHash<QBSZ, Fixup> t(1);
    ASSERT_EQ(t.bucket_count(), 13u);
    const char *keys[] = {"m", "b", "\xC0", "a", "z"};
    int n = 0;
    for (const char *k : keys)
        t.insert(new TaPAssoc<QBSZ, Fixup>{QBSZ(k), new Fixup{n++}});
    std::map<uint32_t, std::vector<std::string>> by_bucket;
    t.forEach(
        [](TaPAssoc<QBSZ, Fixup> *e, void *ctx) {
            auto &m = *static_cast<std::map<uint32_t, std::vector<std::string>> *>(ctx);
            m[ta_hash_bucket_index(hashQBSZ(e->key), 13)].push_back(e->key.c_str());
        },
        &by_bucket);
    std::size_t total = 0;
    for (auto &[bucket, list] : by_bucket) {
        total += list.size();
        for (std::size_t i = 1; i < list.size(); ++i)
            EXPECT_LT(compare_unsigned(list[i - 1].c_str(), list[i].c_str()), 0)
                << "bucket " << bucket;
    }
    EXPECT_EQ(total, 5u);
}

TEST(FoundationHashTable, DuplicatesAllowedKeepsBoth)
{
    TaDUniqueHash<QBSZ, Fixup> t(13, 0.8f, true);
    EXPECT_TRUE(t.insert(new TaPAssoc<QBSZ, Fixup>{QBSZ("x"), new Fixup{1}}));
    EXPECT_TRUE(t.insert(new TaPAssoc<QBSZ, Fixup>{QBSZ("x"), new Fixup{2}}));
    EXPECT_EQ(t.entry_count(), 2u);
    EXPECT_EQ(t.chain_length(t.bucket_of(QBSZ("x"))), 2u);
    // The first inserted is found first.
    EXPECT_EQ(t.find(QBSZ("x"))->value->site, 1);
}

TEST(FoundationQBString, PurgeRemovesOnlyZeroCountEntries)
{
    QBString keep("purge-keep");
    // An entry left at count 0 (as after an interrupted interning) is removed by the purge.
    gStringPool->insert(new QBStringEntry{QBSZ("purge-orphan"), new QBStrRec{}});
    uint32_t before = gStringPool->entry_count();
    purgeStringPool();
    EXPECT_EQ(gStringPool->entry_count(), before - 1);
    EXPECT_FALSE(gStringPool->contains(QBSZ("purge-orphan")));
    EXPECT_TRUE(gStringPool->contains(QBSZ("purge-keep")));
    purgeStringPool();
    EXPECT_EQ(gStringPool->entry_count(), before - 1);
}

} // namespace
