// RegistryStore: the typed registry tree in one file, merged under a lock on every flush.
// The file format and the merge are described in the header.
#include "RegistryStore.h"

#include "AsciiCase.h"
#include "HexDigit.h"
#include "RegularFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace fs = std::filesystem;

// ---- the tree ----------------------------------------------------------------------------------

struct RegistryStore::Key {
    std::string name;
    std::vector<RegValue> values;                // creation order
    std::vector<std::unique_ptr<Key>> subkeys;   // creation order
    // Folded name -> place in `values` / `subkeys`: a key with many values or subkeys is
    // searched in constant time, so loading a large file stays linear.
    std::unordered_map<std::string, std::size_t> value_index;
    std::unordered_map<std::string, std::size_t> subkey_index;
};

struct RegistryStore::Change {
    enum class Kind : uint8_t { CreateKey, SetValue, DeleteValue, DeleteKey };
    Kind kind;
    std::vector<std::string> path;
    RegValue value;  // SetValue: the value; DeleteValue: its name
};

namespace {

using Key = RegistryStore::Key;

std::vector<std::string> split_path(std::string_view path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string join_path(const std::vector<std::string> &parts)
{
    std::string text;
    for (const std::string &p : parts) {
        if (!text.empty())
            text += '\\';
        text += p;
    }
    return text;
}

std::string folded(std::string_view name)
{
    std::string text(name);
    for (char &c : text)
        c = fold_ascii(c);
    return text;
}

Key *find_subkey(const Key &key, std::string_view name)
{
    const auto at = key.subkey_index.find(folded(name));
    return at == key.subkey_index.end() ? nullptr : key.subkeys[at->second].get();
}

Key *walk(Key &root, const std::vector<std::string> &path)
{
    Key *key = &root;
    for (const std::string &part : path) {
        key = find_subkey(*key, part);
        if (!key)
            return nullptr;
    }
    return key;
}

Key &walk_creating(Key &root, const std::vector<std::string> &path)
{
    Key *key = &root;
    for (const std::string &part : path) {
        Key *next = find_subkey(*key, part);
        if (!next) {
            key->subkey_index.emplace(folded(part), key->subkeys.size());
            key->subkeys.push_back(std::make_unique<Key>());
            next = key->subkeys.back().get();
            next->name = part;
        }
        key = next;
    }
    return *key;
}

RegValue *find_value(Key &key, std::string_view name)
{
    const auto at = key.value_index.find(folded(name));
    return at == key.value_index.end() ? nullptr : &key.values[at->second];
}

// A rewrite keeps the value's place and the case its name was created with.
void put_value(Key &key, RegValue value)
{
    const auto [at, added] = key.value_index.emplace(folded(value.name), key.values.size());
    if (!added) {
        RegValue &old = key.values[at->second];
        value.name = old.name;
        old = std::move(value);
        return;
    }
    key.values.push_back(std::move(value));
}

// Removes the entry at `place` of a list and moves the places after it down by one.
template <class Item>
void erase_indexed(std::vector<Item> &items, std::unordered_map<std::string, std::size_t> &index,
                   std::unordered_map<std::string, std::size_t>::iterator at)
{
    const std::size_t place = at->second;
    index.erase(at);
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(place));
    for (auto &entry : index)
        if (entry.second > place)
            --entry.second;
}

bool remove_value(Key &key, std::string_view name)
{
    const auto at = key.value_index.find(folded(name));
    if (at == key.value_index.end())
        return false;
    erase_indexed(key.values, key.value_index, at);
    return true;
}

bool remove_key(Key &root, const std::vector<std::string> &path)
{
    if (path.empty())
        return false;
    Key *parent = walk(root, std::vector<std::string>(path.begin(), path.end() - 1));
    if (!parent)
        return false;
    const auto at = parent->subkey_index.find(folded(path.back()));
    if (at == parent->subkey_index.end())
        return false;
    erase_indexed(parent->subkeys, parent->subkey_index, at);
    return true;
}

std::vector<uint8_t> double_bytes(double value)
{
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    std::vector<uint8_t> bytes(8);
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
    return bytes;
}

double bytes_double(const std::vector<uint8_t> &bytes)
{
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    return std::bit_cast<double>(bits);
}

// ---- the file format ---------------------------------------------------------------------------

constexpr std::string_view kHeader = "KXREG 1";
constexpr std::string_view kTrailer = "END";
constexpr char kHex[] = "0123456789abcdef";

void put_quoted(std::string &out, std::string_view text)
{
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    out += '"';
}

// One key's own lines: its path, then its values.
void put_key(std::string &out, const Key &key, const std::vector<std::string> &path)
{
    out += 'K';
    for (const std::string &p : path) {
        out += ' ';
        put_quoted(out, p);
    }
    out += '\n';
    for (const RegValue &v : key.values) {
        switch (v.type) {
        case RegType::String:
            out += "S ";
            put_quoted(out, v.name);
            out += ' ';
            put_quoted(out, v.text);
            break;
        case RegType::Integer:
            out += "I ";
            put_quoted(out, v.name);
            out += ' ';
            out += std::to_string(v.integer);
            break;
        case RegType::Binary:
            out += "B ";
            put_quoted(out, v.name);
            out += " x";
            for (const uint8_t b : v.data) {
                out += kHex[b >> 4];
                out += kHex[b & 15];
            }
            break;
        }
        out += '\n';
    }
}

// The keys in depth-first order, each after its parent. The walk keeps its own stack: how deep
// the tree goes is the file's business, not the call stack's.
std::string serialize_tree(const Key &root)
{
    std::string out(kHeader);
    out += '\n';
    std::vector<std::string> path;
    // The root's own line only when it holds values: its subkeys carry their whole paths.
    if (!root.values.empty())
        put_key(out, root, path);
    struct Level {
        const Key *key;
        std::size_t next;  // the subkey to write next
    };
    std::vector<Level> stack{{&root, 0}};
    while (!stack.empty()) {
        Level &top = stack.back();
        if (top.next == top.key->subkeys.size()) {
            stack.pop_back();
            if (!path.empty())
                path.pop_back();
            continue;
        }
        const Key &sub = *top.key->subkeys[top.next++];
        path.push_back(sub.name);
        put_key(out, sub, path);
        stack.push_back({&sub, 0});
    }
    out += kTrailer;
    out += '\n';
    return out;
}

// Reads the records of one line. Every malformation is reported with its line number.
class Parser {
public:
    Parser(std::string_view line, std::size_t number) : m_line(line), m_number(number) {}

    bool at_end() const { return m_pos == m_line.size(); }
    bool blank()
    {
        if (m_pos < m_line.size() && m_line[m_pos] == ' ') {
            ++m_pos;
            return true;
        }
        return false;
    }
    std::optional<std::string> quoted()
    {
        if (m_pos >= m_line.size() || m_line[m_pos] != '"')
            return std::nullopt;
        std::string text;
        for (++m_pos; m_pos < m_line.size(); ++m_pos) {
            const char ch = m_line[m_pos];
            if (ch == '"') {
                ++m_pos;
                return text;
            }
            if (ch == '\\') {
                if (m_pos + 3 >= m_line.size() || m_line[m_pos + 1] != 'x')
                    return std::nullopt;
                const int hi = hex_digit(m_line[m_pos + 2]), lo = hex_digit(m_line[m_pos + 3]);
                if (hi < 0 || lo < 0)
                    return std::nullopt;
                text += static_cast<char>(hi * 16 + lo);
                m_pos += 3;
                continue;
            }
            text += ch;
        }
        return std::nullopt;  // no closing quote
    }
    std::optional<int32_t> integer()
    {
        const std::string_view rest = m_line.substr(m_pos);
        if (rest.empty())
            return std::nullopt;
        std::size_t i = rest[0] == '-' ? 1 : 0;
        if (i == rest.size() || rest.size() - i > 10)
            return std::nullopt;
        int64_t value = 0;
        for (std::size_t k = i; k < rest.size(); ++k) {
            if (rest[k] < '0' || rest[k] > '9')
                return std::nullopt;
            value = value * 10 + (rest[k] - '0');
        }
        if (i)
            value = -value;
        if (value < INT32_MIN || value > INT32_MAX)
            return std::nullopt;
        m_pos = m_line.size();
        return static_cast<int32_t>(value);
    }
    std::optional<std::vector<uint8_t>> hex()
    {
        const std::string_view rest = m_line.substr(m_pos);
        if (rest.empty() || rest[0] != 'x' || (rest.size() - 1) % 2 != 0)
            return std::nullopt;
        std::vector<uint8_t> bytes;
        bytes.reserve((rest.size() - 1) / 2);
        for (std::size_t k = 1; k < rest.size(); k += 2) {
            const int hi = hex_digit(rest[k]), lo = hex_digit(rest[k + 1]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
        }
        m_pos = m_line.size();
        return bytes;
    }
    std::string error(const std::string &what) const
    {
        return "line " + std::to_string(m_number) + ": " + what;
    }

private:
    std::string_view m_line;
    std::size_t m_number;
    std::size_t m_pos = 0;
};

// Parses the whole file into root; on failure `why` says what was wrong.
bool parse_tree(const std::string &content, Key &root, std::string &why)
{
    // A file that went through an editor or a copy that ends lines with CR LF reads as LF.
    for (std::size_t i = 0; i < content.size(); ++i) {
        const auto c = static_cast<unsigned char>(content[i]);
        const bool line_end = c == '\n' || (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n');
        if ((c < 0x20 && !line_end) || c == 0x7F) {
            why = "control bytes in the file (not a settings file)";
            return false;
        }
    }
    std::size_t start = 0, number = 0;
    bool header = false, trailer = false;
    Key *key = nullptr;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            why = "line " + std::to_string(number + 1) + ": the file ends inside a line";
            return false;
        }
        std::string_view line(content.data() + start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        start = end + 1;
        ++number;
        if (trailer) {
            why = "line " + std::to_string(number) + ": text after the end marker";
            return false;
        }
        if (!header) {
            if (line != kHeader) {
                why = "line 1: not a settings file";
                return false;
            }
            header = true;
            continue;
        }
        if (line == kTrailer) {
            trailer = true;
            continue;
        }
        Parser p(line.substr(line.empty() ? 0 : 1), number);
        const char tag = line.empty() ? '\0' : line[0];
        if (tag == 'K') {
            std::vector<std::string> path;
            while (!p.at_end()) {
                std::optional<std::string> name;
                if (!p.blank() || !(name = p.quoted()) || name->empty() ||
                    name->find('\\') != std::string::npos) {
                    why = p.error("a key path that cannot be read");
                    return false;
                }
                if (path.size() == kRegMaxKeyDepth) {
                    why = p.error("a key path deeper than " + std::to_string(kRegMaxKeyDepth) +
                                  " levels");
                    return false;
                }
                path.push_back(std::move(*name));
            }
            key = &walk_creating(root, path);
            continue;
        }
        if (tag != 'S' && tag != 'I' && tag != 'B') {
            why = p.error("an unknown record type");
            return false;
        }
        if (!key) {
            why = p.error("a value before any key");
            return false;
        }
        RegValue value;
        std::optional<std::string> name;
        if (!p.blank() || !(name = p.quoted()) || !p.blank()) {
            why = p.error("a value name that cannot be read");
            return false;
        }
        value.name = std::move(*name);
        if (tag == 'S') {
            std::optional<std::string> text = p.quoted();
            if (!text || !p.at_end()) {
                why = p.error("a string that cannot be read");
                return false;
            }
            value.type = RegType::String;
            value.text = std::move(*text);
        } else if (tag == 'I') {
            std::optional<int32_t> n = p.integer();
            if (!n) {
                why = p.error("an integer that cannot be read");
                return false;
            }
            value.type = RegType::Integer;
            value.integer = *n;
        } else {
            std::optional<std::vector<uint8_t>> bytes = p.hex();
            if (!bytes) {
                why = p.error("binary data that cannot be read");
                return false;
            }
            value.type = RegType::Binary;
            value.data = std::move(*bytes);
        }
        put_value(*key, std::move(value));
    }
    if (!header) {
        why = "the file is empty";
        return false;
    }
    if (!trailer) {
        why = "the file is cut short (no end marker)";
        return false;
    }
    return true;
}

enum class FileState : uint8_t { Missing, Read, Damaged, Unreadable };

FileState read_tree(const std::string &path, Key &root, std::string &why)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return FileState::Missing;
    std::vector<uint8_t> bytes;
    switch (read_regular_file(path, kRegMaxFileBytes, bytes)) {
    case RegularFileStatus::Read:
        break;
    case RegularFileStatus::NotOpened:
        why = std::string("cannot open the file: ") + std::strerror(errno ? errno : EIO);
        return FileState::Unreadable;
    case RegularFileStatus::NotRegular:
        why = S_ISDIR(st.st_mode) ? "it is a folder, not a file"
                                  : "it is not an ordinary file (a FIFO, socket or device)";
        return FileState::Unreadable;
    case RegularFileStatus::TooLarge:
        why = "the file is larger than " + std::to_string(kRegMaxFileBytes >> 20) + " MB";
        return FileState::Unreadable;
    case RegularFileStatus::ReadError:
        why = std::string("cannot read the file: ") + std::strerror(errno ? errno : EIO);
        return FileState::Unreadable;
    }
    if (!parse_tree(std::string(bytes.begin(), bytes.end()), root, why)) {
        root = Key{};
        return FileState::Damaged;
    }
    return FileState::Read;
}

// The file a path names at last: a symbolic link (or a chain of them) is followed, even to a
// target that does not exist yet, so that saving replaces the target and keeps the link.
std::string resolved_file(const std::string &path)
{
    fs::path file(path);
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(file, ec); ++hops) {
        const fs::path target = fs::read_symlink(file, ec);
        if (ec)
            break;
        file = target.is_absolute() ? target : file.parent_path() / target;
    }
    return file.string();
}

// An exclusive advisory lock on "<file>.lock" for as long as the object lives.
class FileLock {
public:
    explicit FileLock(const std::string &path)
    {
        m_fd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            m_error = std::strerror(errno);
            return;
        }
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno == EINTR)
                continue;
            m_error = std::strerror(errno);
            ::close(m_fd);
            m_fd = -1;
            return;
        }
    }
    ~FileLock()
    {
        if (m_fd >= 0) {
            ::flock(m_fd, LOCK_UN);
            ::close(m_fd);
        }
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    bool locked() const { return m_fd >= 0; }
    const std::string &error() const { return m_error; }

private:
    int m_fd = -1;
    std::string m_error;
};

// Moves a damaged file to the first free "<file>.damaged[.N]"; the new name, or empty.
std::string set_aside(const std::string &path)
{
    std::error_code ec;
    for (int n = 0; n < 1000; ++n) {
        std::string target = path + ".damaged";
        if (n > 0)
            target += "." + std::to_string(n);
        if (fs::exists(target, ec))
            continue;
        fs::rename(path, target, ec);
        return ec ? std::string() : target;
    }
    return std::string();
}

// Writes the text to a temporary file beside the target, syncs it and renames it over the
// target; the old file stays whole when anything fails.
bool write_atomically(const std::string &path, const std::string &text, std::string &why)
{
    const std::string temp = path + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            why = std::strerror(n < 0 ? errno : ENOSPC);
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) {
        why = std::strerror(errno);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        why = std::strerror(errno);
        ok = false;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        why = std::strerror(errno);
        ok = false;
    }
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

// The journal's replay: each change made again, to the tree of the file as it is now.
void apply_change(Key &root, const RegistryStore::Change &change)
{
    using Kind = RegistryStore::Change::Kind;
    switch (change.kind) {
    case Kind::CreateKey:
        walk_creating(root, change.path);
        return;
    case Kind::SetValue:
        put_value(walk_creating(root, change.path), change.value);
        return;
    case Kind::DeleteValue:
        if (Key *key = walk(root, change.path))
            remove_value(*key, change.value.name);
        return;
    case Kind::DeleteKey:
        remove_key(root, change.path);
        return;
    }
}
} // namespace

// ---- the store ---------------------------------------------------------------------------------

std::string default_registry_path()
{
    std::string base;
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char *home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = ".";
    return base + "/korvex/registry.kxreg";
}

RegistryStore::RegistryStore(std::string path) : m_path(std::move(path)), m_root(new Key)
{
    std::string why;
    FileState state = read_tree(m_path, *m_root, why);
    if (state == FileState::Damaged) {
        // Look again under the lock: another process may just have written a whole file.
        FileLock lock(m_path);
        *m_root = Key{};
        state = read_tree(m_path, *m_root, why);
        if (state == FileState::Damaged)
            m_damage = Damage{m_path, set_aside(resolved_file(m_path)), why};
    }
    if (state == FileState::Unreadable)
        m_damage = Damage{m_path, std::string(), why};
}

RegistryStore::~RegistryStore() = default;

std::optional<RegistryStore::Damage> RegistryStore::take_damage()
{
    std::optional<Damage> d = std::move(m_damage);
    m_damage.reset();
    return d;
}

void RegistryStore::fail(std::string why) { m_last_error = std::move(why); }

RegistryStore::Key *RegistryStore::resolve(const std::vector<std::string> &path) const
{
    return walk(*m_root, path);
}

bool RegistryStore::open_key(std::string_view path, bool can_create)
{
    std::vector<std::string> parts = split_path(path);
    if (parts.size() > kRegMaxKeyDepth) {
        fail("a key path deeper than " + std::to_string(kRegMaxKeyDepth) + " levels");
        return false;
    }
    for (const std::string &p : parts)
        if (p.size() > kRegMaxKeyName) {
            fail("a key name longer than " + std::to_string(kRegMaxKeyName) + " bytes");
            return false;
        }
    if (!resolve(parts)) {
        if (!can_create) {
            fail("no key " + join_path(parts));
            return false;
        }
        walk_creating(*m_root, parts);
        m_journal.push_back(Change{Change::Kind::CreateKey, parts, {}});
    }
    m_current = std::move(parts);
    m_current_text = join_path(m_current);
    m_current_open = true;
    return true;
}

void RegistryStore::close_key()
{
    m_current.clear();
    m_current_text.clear();
    m_current_open = false;
}

bool RegistryStore::key_exists(std::string_view path) const
{
    return resolve(split_path(path)) != nullptr;
}

bool RegistryStore::delete_key(std::string_view path)
{
    std::vector<std::string> parts = split_path(path);
    if (!remove_key(*m_root, parts))
        return false;
    m_journal.push_back(Change{Change::Kind::DeleteKey, parts, {}});
    if (m_current_open && !resolve(m_current))
        close_key();
    return true;
}

std::vector<std::string> RegistryStore::key_names() const
{
    std::vector<std::string> names;
    if (const Key *key = m_current_open ? resolve(m_current) : nullptr)
        for (const auto &k : key->subkeys)
            names.push_back(k->name);
    return names;
}

std::vector<std::string> RegistryStore::value_names() const
{
    std::vector<std::string> names;
    if (const Key *key = m_current_open ? resolve(m_current) : nullptr)
        for (const RegValue &v : key->values)
            names.push_back(v.name);
    return names;
}

const RegValue *RegistryStore::current_value(std::string_view name) const
{
    Key *key = m_current_open ? resolve(m_current) : nullptr;
    return key ? find_value(*key, name) : nullptr;
}

bool RegistryStore::value_exists(std::string_view name) const
{
    return current_value(name) != nullptr;
}

std::optional<RegType> RegistryStore::value_type(std::string_view name) const
{
    const RegValue *v = current_value(name);
    if (!v)
        return std::nullopt;
    return v->type;
}

std::optional<std::string> RegistryStore::read_string(std::string_view name) const
{
    const RegValue *v = current_value(name);
    if (!v || v->type != RegType::String || v->text.size() > kRegMaxValueBytes)
        return std::nullopt;
    return v->text;
}

std::optional<int32_t> RegistryStore::read_integer(std::string_view name) const
{
    const RegValue *v = current_value(name);
    if (!v || v->type != RegType::Integer)
        return std::nullopt;
    return v->integer;
}

std::optional<double> RegistryStore::read_float(std::string_view name) const
{
    const RegValue *v = current_value(name);
    if (!v || v->type != RegType::Binary || v->data.size() != 8)
        return std::nullopt;
    return bytes_double(v->data);
}

std::optional<bool> RegistryStore::read_bool(std::string_view name) const
{
    const std::optional<int32_t> n = read_integer(name);
    if (!n)
        return std::nullopt;
    return *n != 0;
}

std::optional<std::vector<uint8_t>> RegistryStore::read_binary(std::string_view name) const
{
    const RegValue *v = current_value(name);
    if (!v || v->type != RegType::Binary || v->data.size() > kRegMaxValueBytes)
        return std::nullopt;
    return v->data;
}

bool RegistryStore::set_value(RegValue value)
{
    if (!m_current_open) {
        fail("no key is open");
        return false;
    }
    if (value.name.size() > kRegMaxValueName) {
        fail("a value name longer than " + std::to_string(kRegMaxValueName) + " bytes");
        return false;
    }
    if (value.text.size() > kRegMaxValueBytes || value.data.size() > kRegMaxValueBytes) {
        fail("a value larger than " + std::to_string(kRegMaxValueBytes) + " bytes");
        return false;
    }
    Key *key = resolve(m_current);
    if (!key) {
        fail("the open key no longer exists");
        return false;
    }
    put_value(*key, value);
    m_journal.push_back(Change{Change::Kind::SetValue, m_current, std::move(value)});
    return true;
}

namespace {
RegValue named(std::string_view name, RegType type)
{
    RegValue v;
    v.name = name;
    v.type = type;
    return v;
}
} // namespace

bool RegistryStore::write_string(std::string_view name, std::string_view text)
{
    RegValue v = named(name, RegType::String);
    v.text = text;
    return set_value(std::move(v));
}

bool RegistryStore::write_integer(std::string_view name, int32_t value)
{
    RegValue v = named(name, RegType::Integer);
    v.integer = value;
    return set_value(std::move(v));
}

bool RegistryStore::write_float(std::string_view name, double value)
{
    RegValue v = named(name, RegType::Binary);
    v.data = double_bytes(value);
    return set_value(std::move(v));
}

bool RegistryStore::write_bool(std::string_view name, bool value)
{
    return write_integer(name, value ? 1 : 0);
}

bool RegistryStore::write_binary(std::string_view name, const void *data, std::size_t size)
{
    if (size > kRegMaxValueBytes) {
        fail("a value larger than " + std::to_string(kRegMaxValueBytes) + " bytes");
        return false;
    }
    RegValue v = named(name, RegType::Binary);
    const auto *bytes = static_cast<const uint8_t *>(data);
    v.data.assign(bytes, bytes + (bytes ? size : 0));
    return set_value(std::move(v));
}

bool RegistryStore::delete_value(std::string_view name)
{
    Key *key = m_current_open ? resolve(m_current) : nullptr;
    if (!key || !remove_value(*key, name))
        return false;
    RegValue v;
    v.name = name;
    m_journal.push_back(Change{Change::Kind::DeleteValue, m_current, std::move(v)});
    return true;
}

bool RegistryStore::has_changes() const { return !m_journal.empty(); }

std::string RegistryStore::serialize() const { return serialize_tree(*m_root); }

bool RegistryStore::flush()
{
    if (m_journal.empty())
        return true;
    std::error_code ec;
    const fs::path parent = fs::path(m_path).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec)) {
        fs::create_directories(parent, ec);
        if (ec) {
            fail("cannot make the folder " + parent.string() + ": " + ec.message());
            return false;
        }
    }
    FileLock lock(m_path);
    if (!lock.locked()) {
        fail("cannot lock " + m_path + ": " + lock.error());
        return false;
    }
    auto merged = std::make_unique<Key>();
    std::string why;
    switch (read_tree(m_path, *merged, why)) {
    case FileState::Missing:
    case FileState::Read:
        break;
    case FileState::Damaged:
        m_damage = Damage{m_path, set_aside(resolved_file(m_path)), why};
        if (m_damage->kept_as.empty()) {
            fail("cannot move the damaged file " + m_path + " aside");
            return false;
        }
        break;
    case FileState::Unreadable:
        fail(m_path + ": " + why);
        return false;
    }
    for (const Change &change : m_journal)
        apply_change(*merged, change);
    if (!write_atomically(resolved_file(m_path), serialize_tree(*merged), why)) {
        fail("cannot write " + m_path + ": " + why);
        return false;
    }
    m_root = std::move(merged);
    m_journal.clear();
    if (m_current_open && !resolve(m_current))
        close_key();
    return true;
}
