// QBSTRING: the string pool behind `QBString`, and the out-of-line parts of `QBSZ` and the hash
// table. The pool is made by start-up (`createStringPool`) or on the first handle made before
// start-up ran (tests, static tables); it lives until the process ends.
#include "QBSTRING.h"

#include <cassert>
#include <vector>

namespace {

// The shared empty-text sentinel: never freed, never written.
char kSentinel[1] = {'\0'};

const char *copy_text(std::string_view text)
{
    if (text.empty())
        return kSentinel;
    char *p = new char[text.size() + 1];
    std::memcpy(p, text.data(), text.size());
    p[text.size()] = '\0';
    return p;
}

constexpr uint32_t kBucketPrimes[] = {13,   31,   61,    127,   251,   503,  1019,
                                      2039, 4093, 8191, 16381, 32719, 65521};

} // namespace

// --- QBSZ -----------------------------------------------------------------------------------

QBSZ::QBSZ() noexcept : m_text(kSentinel) {}
QBSZ::QBSZ(const char *text) : m_text(copy_text(text ? std::string_view(text) : "")) {}
QBSZ::QBSZ(std::string_view text) : m_text(copy_text(text)) {}
QBSZ::QBSZ(const QBSZ &other) : m_text(copy_text(other.m_text)) {}
QBSZ::QBSZ(QBSZ &&other) noexcept : m_text(other.m_text) { other.m_text = kSentinel; }

QBSZ &QBSZ::operator=(const QBSZ &other)
{
    if (this != &other)
        assign(other.m_text);
    return *this;
}

QBSZ &QBSZ::operator=(QBSZ &&other) noexcept
{
    if (this != &other) {
        free_text();
        m_text = other.m_text;
        other.m_text = kSentinel;
    }
    return *this;
}

QBSZ::~QBSZ() { free_text(); }

void QBSZ::assign(std::string_view text)
{
    const char *copy = copy_text(text); // copy first: text may point into our own copy
    free_text();
    m_text = copy;
}

bool QBSZ::is_sentinel() const noexcept { return m_text == kSentinel; }

void QBSZ::free_text() noexcept
{
    if (m_text != kSentinel)
        delete[] m_text;
    m_text = kSentinel;
}

int compare_unsigned(const char *a, const char *b) noexcept
{
    const auto *pa = reinterpret_cast<const unsigned char *>(a);
    const auto *pb = reinterpret_cast<const unsigned char *>(b);
    while (*pa && *pa == *pb) {
        ++pa;
        ++pb;
    }
    return static_cast<int>(*pa) - static_cast<int>(*pb);
}

uint32_t hashQBSZ(const char *text) noexcept
{
    uint32_t h = 0;
    if (text)
        for (const auto *p = reinterpret_cast<const unsigned char *>(text); *p; ++p)
            h = (h << 2) ^ *p;
    return h;
}

uint32_t hashQBSZ(const QBString &s) noexcept { return hashQBSZ(s.c_str()); }

uint32_t ta_hash_bucket_count(uint32_t requested) noexcept
{
    for (uint32_t prime : kBucketPrimes)
        if (prime >= requested)
            return prime;
    return requested;
}

// --- The pool -------------------------------------------------------------------------------

QBStringPool *gStringPool = nullptr;
QBString *gEmptyString = nullptr;

void createStringPool()
{
    if (gStringPool)
        return;
    gStringPool = new QBStringPool(2000, 0.8f, false);
    // Made right after the pool and never destroyed: its entry never leaves the pool.
    gEmptyString = new QBString(QBSZ(""));
}

namespace {

QBStringEntry *intern(const QBSZ &key)
{
    createStringPool();
    QBStringEntry *entry = gStringPool->find(key);
    if (entry)
        return entry;
    entry = new QBStringEntry{key, new QBStrRec{}};
    bool inserted = gStringPool->insert(entry);
    assert(inserted && "the key was absent a moment ago");
    (void)inserted;
    return entry;
}

} // namespace

void purgeStringPool()
{
    if (!gStringPool)
        return;
    // Collect first: nothing is removed while the table is walked.
    std::vector<QBSZ> dead;
    gStringPool->forEach(
        [](QBStringEntry *entry, void *context) {
            if (entry->value->count == 0)
                static_cast<std::vector<QBSZ> *>(context)->push_back(entry->key);
        },
        &dead);
    while (!dead.empty()) {
        delete gStringPool->remove(dead.back());
        dead.pop_back();
    }
}

// --- QBString -------------------------------------------------------------------------------

void QBString::attach(QBStringEntry *entry) noexcept
{
    m_entry = entry;
    if (m_entry)
        ++m_entry->value->count;
}

QBString::QBString()
{
    createStringPool();
    attach(gEmptyString->m_entry);
}

QBString::QBString(const char *text) : QBString(QBSZ(text)) {}

QBString::QBString(std::string_view text) : QBString(QBSZ(text)) {}

QBString::QBString(const QBSZ &key) { attach(intern(key)); }

QBString::QBString(const QBString &other) { attach(other.m_entry); }

QBString::QBString(QBString &&other) noexcept : m_entry(other.m_entry) { other.m_entry = nullptr; }

QBString &QBString::operator=(const QBString &other)
{
    if (m_entry == other.m_entry)
        return *this; // self-assignment (or the same entry): the count stays as it is
    release();
    attach(other.m_entry);
    return *this;
}

QBString &QBString::operator=(QBString &&other) noexcept
{
    if (this == &other)
        return *this;
    release();
    m_entry = other.m_entry;
    other.m_entry = nullptr;
    return *this;
}

QBString::~QBString() { release(); }

void QBString::release()
{
    if (!m_entry)
        return;
    QBStringEntry *entry = m_entry;
    m_entry = nullptr;
    if (entry->value->count > 0)
        --entry->value->count;
    if (entry->value->count == 0 && gStringPool)
        delete gStringPool->remove(entry->key);
}
