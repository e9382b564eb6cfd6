// RegistryStore: our typed registry tree, kept in one file under the user's configuration
// directory ($XDG_CONFIG_HOME/korvex/registry.kxreg unless a path is given).
//
// A tree of keys; each key holds named values of three types: string, 32-bit integer and binary
// (a float is an 8-byte binary double, a bool an integer). Key and value names compare without
// regard to ASCII case but keep the case they were created with; the empty value name is a name
// like any other. Values enumerate in creation order, and rewriting a value keeps its place.
//
// Every change is made in memory and also noted in a journal. `flush` writes the file: under an
// exclusive lock on "<file>.lock" it reads the file as it is now (another process may have saved
// since), replays the journal onto it, writes the result to a temporary file and renames that
// over the file. Two processes therefore keep each other's values, and a reader always sees a
// whole file. A write that cannot happen leaves the old file as it was.
//
// A file that cannot be understood (truncated, binary, an unknown type tag) is renamed aside to
// "<file>.damaged" (".damaged.1", ... when taken) and the store starts empty; `damage()` says so,
// once, for the caller to report. A path that is no ordinary file (a folder, FIFO or device) or
// a file past kRegMaxFileBytes is never read nor replaced: the store starts empty, reports it,
// and refuses to flush. When the file is a symbolic link, a flush replaces the link's target
// and the link stays. The store never throws for bad input.
//
// The file, text, one record a line:
//   "KXREG 1"                             first line
//   K "name" "name" ...                   a key: its path from the root, one quoted name each
//   S "name" "text"                       a string value of the key above
//   I "name" -123                         an integer value (decimal, 32-bit signed)
//   B "name" 0a1bff                       a binary value (hex, two digits a byte)
//   "END"                                 last line
// Lines may also end with CR LF; a flush writes LF. Keys follow their parent; values follow
// their key. Inside quotes every byte below 0x20, 0x7F,
// '"' and '\' is written as \xHH; other bytes stand for themselves.
// Std-only (and POSIX for the lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class RegType : uint8_t { String, Integer, Binary };

struct RegValue {
    std::string name;
    RegType type = RegType::String;
    std::string text;             // String
    int32_t integer = 0;          // Integer
    std::vector<uint8_t> data;    // Binary
};

// Limits: longer names and larger values are refused on writing and read as missing.
inline constexpr std::size_t kRegMaxKeyName = 255;
inline constexpr std::size_t kRegMaxValueName = 16383;
inline constexpr std::size_t kRegMaxValueBytes = 1u << 20;
// Keys lie at most this many levels below the root: a deeper path is refused on opening, and a
// file that holds one is damaged.
inline constexpr std::size_t kRegMaxKeyDepth = 512;
// A settings file larger than this is not read (nor written over: the store reports it).
inline constexpr std::size_t kRegMaxFileBytes = std::size_t(256) << 20;

// The file a store uses when it is given no path.
std::string default_registry_path();

class RegistryStore {
public:
    // Reads the file (a missing file is an empty tree).
    explicit RegistryStore(std::string path = default_registry_path());
    ~RegistryStore();
    RegistryStore(const RegistryStore &) = delete;
    RegistryStore &operator=(const RegistryStore &) = delete;

    const std::string &path() const { return m_path; }

    // A damaged file found when the store was made or flushed: what was wrong and where the file
    // went. Cleared by take_damage, so a caller reports it once.
    struct Damage {
        std::string file;     // the store's file
        std::string kept_as;  // where it was moved (empty when it could not be moved)
        std::string reason;
    };
    const std::optional<Damage> &damage() const { return m_damage; }
    std::optional<Damage> take_damage();

    // ---- keys: paths from the root, names separated by '\' (empty names are skipped) -------
    // Makes the key current. Without `can_create` a missing key fails and nothing changes.
    [[nodiscard]] bool open_key(std::string_view path, bool can_create);
    void close_key();
    bool has_current_key() const { return m_current_open; }
    const std::string &current_path() const { return m_current_text; }
    bool key_exists(std::string_view path) const;
    // Removes the key and everything below it; false when it does not exist or is the root.
    bool delete_key(std::string_view path);
    // Subkeys of the current key, in creation order.
    std::vector<std::string> key_names() const;

    // ---- values of the current key ----------------------------------------------------------
    std::vector<std::string> value_names() const;  // creation order
    bool value_exists(std::string_view name) const;
    std::optional<RegType> value_type(std::string_view name) const;
    // The value when it exists and has the asked-for type (a float: binary of 8 bytes);
    // nothing otherwise, also for a value beyond the limits.
    std::optional<std::string> read_string(std::string_view name) const;
    std::optional<int32_t> read_integer(std::string_view name) const;
    std::optional<double> read_float(std::string_view name) const;
    std::optional<bool> read_bool(std::string_view name) const;
    std::optional<std::vector<uint8_t>> read_binary(std::string_view name) const;
    // False (and nothing changes) without a current key, or for a name or value beyond the
    // limits; `last_error` says why.
    [[nodiscard]] bool write_string(std::string_view name, std::string_view text);
    [[nodiscard]] bool write_integer(std::string_view name, int32_t value);
    [[nodiscard]] bool write_float(std::string_view name, double value);
    [[nodiscard]] bool write_bool(std::string_view name, bool value);
    [[nodiscard]] bool write_binary(std::string_view name, const void *data, std::size_t size);
    bool delete_value(std::string_view name);

    // ---- the file -----------------------------------------------------------------------------
    // Merges the changes since the last flush into the file, as described above. True when
    // there was nothing to write or the file was written; false leaves the file as it was and
    // keeps the changes for another try.
    [[nodiscard]] bool flush();
    bool has_changes() const;
    const std::string &last_error() const { return m_last_error; }

    // The whole tree as text in the file's format (tests and tools).
    std::string serialize() const;

    struct Key;     // one key of the tree
    struct Change;  // one journal entry

private:
    Key *resolve(const std::vector<std::string> &path) const;
    const RegValue *current_value(std::string_view name) const;
    bool set_value(RegValue value);
    void fail(std::string why);

    std::string m_path;
    std::unique_ptr<Key> m_root;
    std::vector<Change> m_journal;
    std::vector<std::string> m_current;
    std::string m_current_text;
    bool m_current_open = false;
    std::optional<Damage> m_damage;
    std::string m_last_error;
};
