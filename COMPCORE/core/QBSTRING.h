// QBSTRING: interned, reference-counted strings and the unique-key hash table under them.
// Every distinct text lives once in one program-wide pool (`gStringPool`); a `QBString` is a
// handle that shares that copy and counts as one reference to it. `TaDUniqueHash` is the pool's
// container and is reused with other key and value types (the linker's fix-up table and
// library index). Single-threaded: the pool is used on the GUI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

// ---------------------------------------------------------------------------------------------
// QBSZ: owns one zero-terminated text, either a private heap copy or the shared empty sentinel
// (never freed). Copies are deep.
class QBSZ {
public:
    QBSZ() noexcept;
    explicit QBSZ(const char *text);            // null or "" gives the sentinel
    explicit QBSZ(std::string_view text);
    QBSZ(const QBSZ &other);
    QBSZ(QBSZ &&other) noexcept;
    QBSZ &operator=(const QBSZ &other);
    QBSZ &operator=(QBSZ &&other) noexcept;
    ~QBSZ();

    // Frees the old copy (unless it is the sentinel) and takes a private copy of the text.
    void assign(std::string_view text);
    const char *c_str() const noexcept { return m_text; }
    bool is_sentinel() const noexcept;

private:
    void free_text() noexcept;
    const char *m_text;
};

// Unsigned byte-wise comparison (the order of std::strcmp / memcmp over unsigned char).
int compare_unsigned(const char *a, const char *b) noexcept;

// Hash of a text: h = (h << 2) ^ c over its unsigned bytes, 32-bit. The empty text hashes to 0.
uint32_t hashQBSZ(const char *text) noexcept;
inline uint32_t hashQBSZ(const QBSZ &key) noexcept { return hashQBSZ(key.c_str()); }

// ---------------------------------------------------------------------------------------------
// TaDUniqueHash: a hash table with a fixed number of buckets (from a prime table, never grows),
// each bucket a singly linked chain kept in ascending key order. The table owns its entries and
// the values they point at; `remove` hands the value back to the caller.

// Key traits: hash and three-way compare. Specialise for other key types.
template <class K> struct TaHashKeyTraits;
template <> struct TaHashKeyTraits<QBSZ> {
    static uint32_t hash(const QBSZ &k) noexcept { return hashQBSZ(k); }
    static int compare(const QBSZ &a, const QBSZ &b) noexcept
    {
        return compare_unsigned(a.c_str(), b.c_str());
    }
};

// A pool entry: the key first, then the value pointer.
template <class K, class V> struct TaPAssoc {
    K key;
    V *value = nullptr;
};

// Bucket count for a requested count: the first prime of the table not below the request; a
// request above 65521 becomes the count itself.
uint32_t ta_hash_bucket_count(uint32_t requested) noexcept;
// Bucket index of a hash: ((h & 0xFFFF) * 65521) % buckets.
inline uint32_t ta_hash_bucket_index(uint32_t h, uint32_t buckets) noexcept
{
    return ((h & 0xFFFFu) * 65521u) % buckets;
}

template <class K, class V, class Traits = TaHashKeyTraits<K>> class TaDUniqueHash {
public:
    using Entry = TaPAssoc<K, V>;
    using Visitor = void (*)(Entry *entry, void *context);

    explicit TaDUniqueHash(uint32_t requested_buckets, float load_factor = 0.8f,
                           bool allow_duplicates = false)
        : m_load_factor(load_factor), m_bucket_count(ta_hash_bucket_count(requested_buckets)),
          m_buckets(new Node *[m_bucket_count]()), m_allow_duplicates(allow_duplicates)
    {
        m_threshold = static_cast<uint32_t>(static_cast<float>(m_bucket_count) * load_factor);
    }
    TaDUniqueHash(const TaDUniqueHash &) = delete;
    TaDUniqueHash &operator=(const TaDUniqueHash &) = delete;

    virtual ~TaDUniqueHash()
    {
        for (uint32_t b = 0; b < m_bucket_count; ++b) {
            Node *n = m_buckets[b];
            while (n) {
                Node *next = n->next;
                delete n->entry->value;
                delete n->entry;
                delete n;
                n = next;
            }
        }
        delete[] m_buckets;
    }

    // The entry with this key, or null. Stops at the first greater key of the sorted chain.
    Entry *find(const K &key) const
    {
        for (Node *n = m_buckets[bucket_of(key)]; n; n = n->next) {
            int c = Traits::compare(n->entry->key, key);
            if (c == 0)
                return n->entry;
            if (c > 0)
                return nullptr;
        }
        return nullptr;
    }
    bool contains(const K &key) const { return find(key) != nullptr; }

    // Takes ownership of the entry when it returns true; false (nothing changed, the caller
    // keeps the entry) when the key is present and duplicates are not allowed.
    bool insert(Entry *entry)
    {
        uint32_t b = bucket_of(entry->key);
        if (!m_allow_duplicates && find(entry->key))
            return false;
        // Walk past every smaller key (and, with duplicates allowed, past equal ones too so
        // that equal keys keep their insertion order).
        Node **link = &m_buckets[b];
        while (*link) {
            int c = Traits::compare((*link)->entry->key, entry->key);
            if (c > 0 || (c == 0 && !m_allow_duplicates))
                break;
            link = &(*link)->next;
        }
        *link = new Node{entry, *link};
        ++m_entries;
        after_insert(entry);
        return true;
    }

    // Unlinks and frees the entry with this key; returns its value (the caller owns it), or
    // null when the key is absent.
    V *remove(const K &key)
    {
        Node **link = &m_buckets[bucket_of(key)];
        while (*link) {
            int c = Traits::compare((*link)->entry->key, key);
            if (c > 0)
                return nullptr;
            if (c == 0)
                break;
            link = &(*link)->next;
        }
        if (!*link)
            return nullptr;
        Node *n = *link;
        before_remove(n->entry);
        --m_entries;
        *link = n->next;
        V *value = n->entry->value;
        delete n->entry;
        delete n;
        return value;
    }

    // Every entry, bucket by bucket in index order, each chain in ascending key order. The
    // visitor must not insert or remove.
    void forEach(Visitor visit, void *context) const
    {
        for (uint32_t b = 0; b < m_bucket_count; ++b)
            for (Node *n = m_buckets[b]; n; n = n->next)
                visit(n->entry, context);
    }

    uint32_t bucket_count() const noexcept { return m_bucket_count; }
    uint32_t entry_count() const noexcept { return m_entries; }
    uint32_t threshold() const noexcept { return m_threshold; }
    float load_factor() const noexcept { return m_load_factor; }
    uint32_t bucket_of(const K &key) const noexcept
    {
        return ta_hash_bucket_index(Traits::hash(key), m_bucket_count);
    }
    // Number of entries chained in one bucket (for tests and statistics).
    uint32_t chain_length(uint32_t bucket) const noexcept
    {
        uint32_t count = 0;
        if (bucket < m_bucket_count)
            for (Node *n = m_buckets[bucket]; n; n = n->next)
                ++count;
        return count;
    }

protected:
    virtual void after_insert(Entry *) {}
    virtual void before_remove(Entry *) {}

private:
    struct Node {
        Entry *entry;
        Node *next;
    };
    float m_load_factor;
    uint32_t m_threshold = 0;
    uint32_t m_entries = 0;
    uint32_t m_bucket_count;
    Node **m_buckets;
    bool m_allow_duplicates;
};

// ---------------------------------------------------------------------------------------------
// The string pool and its handle.

struct QBStrRec {
    uint32_t count = 0;
};
using QBStringPool = TaDUniqueHash<QBSZ, QBStrRec>;
using QBStringEntry = TaPAssoc<QBSZ, QBStrRec>;

class QBString;

// The program-wide pool and the empty-text handle. Both are made by `createStringPool`, or on
// first use of a `QBString` when start-up has not run (tests); they are never destroyed.
extern QBStringPool *gStringPool;
extern QBString *gEmptyString;

// Start-up: makes the pool (2000 buckets requested: 2039; load factor 0.8; no duplicates) and
// `gEmptyString`. A second call does nothing.
void createStringPool();
// Removes every pool entry whose count is 0.
void purgeStringPool();

class QBString {
public:
    QBString();                                   // shares the empty text
    QBString(const char *text);                   // NOLINT: implicit, as names come as C texts
    QBString(std::string_view text);              // NOLINT
    QBString(const std::string &text) : QBString(std::string_view(text)) {} // NOLINT
    explicit QBString(const QBSZ &key);
    QBString(const QBString &other);
    QBString(QBString &&other) noexcept;
    QBString &operator=(const QBString &other);
    QBString &operator=(QBString &&other) noexcept;
    ~QBString();

    // Drops this handle's reference; the entry leaves the pool when its count reaches 0. The
    // handle is null afterwards (its text reads as empty).
    void release();

    const char *c_str() const noexcept { return m_entry ? m_entry->key.c_str() : ""; }
    std::string_view view() const noexcept { return c_str(); }
    std::size_t length() const noexcept { return std::strlen(c_str()); }
    bool empty() const noexcept { return c_str()[0] == '\0'; }
    bool is_null() const noexcept { return m_entry == nullptr; }
    // The pool entry's reference count (0 for a null handle).
    uint32_t ref_count() const noexcept { return m_entry ? m_entry->value->count : 0; }
    const QBStringEntry *entry() const noexcept { return m_entry; }

    // Unsigned byte order of the texts; equal texts share one entry.
    friend bool operator==(const QBString &a, const QBString &b) noexcept
    {
        return a.m_entry == b.m_entry || std::strcmp(a.c_str(), b.c_str()) == 0;
    }
    friend bool operator<(const QBString &a, const QBString &b) noexcept
    {
        return compare_unsigned(a.c_str(), b.c_str()) < 0;
    }
    friend bool operator!=(const QBString &a, const QBString &b) noexcept { return !(a == b); }
    friend bool operator>(const QBString &a, const QBString &b) noexcept { return b < a; }
    friend bool operator<=(const QBString &a, const QBString &b) noexcept { return !(b < a); }
    friend bool operator>=(const QBString &a, const QBString &b) noexcept { return !(a < b); }

private:
    void attach(QBStringEntry *entry) noexcept;
    QBStringEntry *m_entry = nullptr;
};

uint32_t hashQBSZ(const QBString &s) noexcept;

template <> struct std::hash<QBString> {
    std::size_t operator()(const QBString &s) const noexcept { return hashQBSZ(s); }
};
