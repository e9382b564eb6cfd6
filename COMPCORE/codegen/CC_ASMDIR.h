// CC_ASMDIR: the named emit-cache table and the two address directories that pair the root
// entry address of each function placed in xmem with its xmem address. The assembler's operand
// expressions, the branch emitter and the label layer translate root addresses through them; the
// disassembler translates xmem addresses back. Std-only.
#pragma once

#include "input/CC_IN.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>

class EmitCache;

// A hash table of owned objects by name (31 buckets, chained entries), hashed as the macro
// table hashes its names. Destroying an entry destroys its object through its virtual
// destructor. The named emit-cache table is one of these.
template <typename T>
class NamedObjectTable {
public:
    explicit NamedObjectTable(uint16_t buckets = 31) : m_buckets(buckets) {}
    NamedObjectTable(const NamedObjectTable &) = delete;
    NamedObjectTable &operator=(const NamedObjectTable &) = delete;

    // Adds or replaces the object of a name.
    void add(const std::string &name, std::unique_ptr<T> object)
    {
        Entry *&head = m_table[bucket(name)];
        for (Entry *e = head; e; e = e->next.get()) {
            if (e->name == name) {
                e->object = std::move(object);
                return;
            }
        }
        auto fresh = std::make_unique<Entry>();
        fresh->name = name;
        fresh->object = std::move(object);
        fresh->next = std::unique_ptr<Entry>(head);
        head = fresh.release();
        ++m_count;
    }
    T *find(const std::string &name) const
    {
        auto it = m_table.find(bucket(name));
        if (it == m_table.end()) return nullptr;
        for (Entry *e = it->second; e; e = e->next.get())
            if (e->name == name) return e->object.get();
        return nullptr;
    }
    // Empties the table, destroying every object.
    void clear()
    {
        for (auto &[b, head] : m_table) delete head;
        m_table.clear();
        m_count = 0;
    }
    int count() const { return m_count; }
    uint16_t bucket_count() const { return m_buckets; }
    ~NamedObjectTable() { clear(); }

private:
    struct Entry {
        std::string name;
        std::unique_ptr<T> object;
        std::unique_ptr<Entry> next;
    };
    uint16_t bucket(const std::string &name) const
    {
        return static_cast<uint16_t>(macro_name_hash(name) % m_buckets);
    }
    uint16_t m_buckets;
    std::map<uint16_t, Entry *> m_table;
    int m_count = 0;
};

// Pairs of address words under entry numbers; lookup visits them in entry order.
template <typename A>
class CCAddrDirectory {
public:
    void add(A from, A to)
    {
        uint32_t n = m_from.empty() ? 0 : m_from.rbegin()->first + 1;
        m_from[n] = from;
        m_to[n] = to;
        ++m_count;
    }
    // The "to" address of the first entry whose "from" address equals the address, or the
    // address itself.
    A lookup(A address, bool (*equal)(A, A)) const
    {
        for (const auto &[n, from] : m_from)
            if (equal(from, address)) return m_to.at(n);
        return address;
    }
    int count() const { return m_count; }
    void clear()
    {
        m_from.clear();
        m_to.clear();
        m_count = 0;
    }

private:
    std::map<uint32_t, A> m_from, m_to;
    int m_count = 0;
};

// The program-wide table of emit caches by name: made empty with 31 buckets at start-up and
// destroyed at the end with every cache it owns.
NamedObjectTable<EmitCache> &emit_cache_table();

// The root directory (root entry -> xmem address) and the xmem directory (xmem -> root).
CCAddrDirectory<uint32_t> &root_address_directory();
CCAddrDirectory<uint32_t> &xmem_address_directory();
// Records one root entry stub of an xmem function in both directories.
void record_xmem_stub(uint32_t root_address, uint32_t xmem_address);

// A root address (offset below the xmem window) found in the root directory becomes its xmem
// address; anything else is returned unchanged.
uint32_t translate_root_address(uint32_t address);
// An xmem address found in the xmem directory becomes its root address.
uint32_t translate_xmem_address(uint32_t address);
