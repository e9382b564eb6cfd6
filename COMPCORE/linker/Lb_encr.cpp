// Lb_encr: the library container and the table of protected library files.
// Protected file layout:
//   header text, zero byte      (shorter than 4100 bytes)
//   16-byte block               (read by the protection scheme)
//   stored content              (one stored byte per byte of library text)
// Called by the library index (LB_CAT) and, through `is_encrypted_file`, by every part that
// shows code or source.
#include "Lb_encr.h"

#include "core/CC_MISC.h"

#include <algorithm>
#include <map>
#include <vector>

namespace {

LibraryProtection *g_scheme = nullptr;

// Keyed by the lower-cased path with "/" separators.
std::map<std::string, EncryptValInfo> g_protected;

std::string table_key(const std::string &path) { return lower_case(normalize_separators(path)); }

// The header and block of a file, or nothing when the file cannot hold them.
struct FileHead {
    std::string header;
    std::array<uint8_t, 16> block{};
    uint32_t header_length = 0;  // with the zero byte
    uint32_t file_length = 0;
};

bool read_file_head(const std::string &path, FileHead &head)
{
    std::FILE *f = std::fopen(normalize_separators(path).c_str(), "rb");
    if (!f)
        return false;
    std::vector<uint8_t> start(kMaxLibraryHeader + 16);
    const std::size_t got = std::fread(start.data(), 1, start.size(), f);
    long length = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        length = std::ftell(f);
    std::fclose(f);
    if (length < 0)
        return false;
    std::size_t zero = 0;
    const std::size_t limit = std::min<std::size_t>(got, kMaxLibraryHeader);
    while (zero < limit && start[zero] != 0)
        ++zero;
    if (zero >= limit)
        return false;  // no header text ends within its limit
    if (zero + 1 + 16 > got)
        return false;  // too short for the block
    head.header.assign(reinterpret_cast<const char *>(start.data()), zero);
    std::copy_n(start.begin() + static_cast<long>(zero + 1), 16, head.block.begin());
    head.header_length = static_cast<uint32_t>(zero + 1);
    head.file_length = static_cast<uint32_t>(length);
    return true;
}

}  // namespace

void set_library_protection(LibraryProtection *scheme) { g_scheme = scheme; }
LibraryProtection *library_protection() { return g_scheme; }

// ---- the table ----------------------------------------------------------------------------------

bool is_encrypted_file(const std::string &path)
{
    return !g_protected.empty() && g_protected.count(table_key(path)) != 0;
}

bool examine_library_file(const std::string &path, bool refresh)
{
    const std::string key = table_key(path);
    auto known = g_protected.find(key);
    if (known != g_protected.end() && !refresh)
        return true;
    FileHead head;
    uint16_t kind = 0;
    if (g_scheme && read_file_head(path, head))
        kind = g_scheme->kind_of(head.header, head.block);
    if (kind == 0) {
        if (known != g_protected.end())
            g_protected.erase(known);
        return false;
    }
    EncryptValInfo &info = g_protected[key];
    info.kind = kind;
    info.file_length = head.file_length;
    info.header_length = head.header_length;
    info.block = head.block;
    return true;
}

void clear_protected_files() { g_protected.clear(); }
std::size_t protected_file_count() { return g_protected.size(); }

// ---- the container ------------------------------------------------------------------------------

LibContainer::~LibContainer() { Close(); }

void LibContainer::Close()
{
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
    m_info = EncryptValInfo{};
}

uint8_t LibContainer::DecodeByte(uint8_t stored)
{
    return g_scheme ? g_scheme->decode(m_info, stored, m_last_stored) : stored;
}

bool open_library_container(LibContainer &c, const std::string &path)
{
    c.Close();
    c.m_info = EncryptValInfo{};
    c.m_content_start = c.m_position = c.m_after_last_line = 0;
    c.m_last_stored = 0;
    if (!is_encrypted_file(path))
        return false;
    const EncryptValInfo &info = g_protected.at(table_key(path));
    std::FILE *f = std::fopen(normalize_separators(path).c_str(), "rb");
    if (!f)
        return false;
    c.m_file = f;
    c.m_info = info;
    c.m_content_start = info.header_length + 16;
    c.m_position = c.m_after_last_line = c.m_content_start;
    c.m_last_stored = info.block[15];
    return true;
}

char *LibContainer::GetLine(char *buffer, std::size_t size)
{
    if (!m_file || size == 0)
        return nullptr;
    if (m_position < m_content_start)
        m_position = m_content_start;
    if (m_position != m_after_last_line) {
        // The caller moved: the decoder continues from the stored byte before the position.
        int before = -1;
        if (std::fseek(m_file, static_cast<long>(m_position) - 1, SEEK_SET) == 0)
            before = std::fgetc(m_file);
        m_last_stored = before < 0 ? 0 : static_cast<uint8_t>(before);
    }
    if (std::fseek(m_file, static_cast<long>(m_position), SEEK_SET) != 0)
        return nullptr;
    std::size_t n = 0;
    while (n + 1 < size) {
        const int stored = std::fgetc(m_file);
        if (stored < 0)
            break;
        const uint8_t text = DecodeByte(static_cast<uint8_t>(stored));
        m_last_stored = static_cast<uint8_t>(stored);
        buffer[n++] = static_cast<char>(text);
        if (text == '\n')
            break;
    }
    buffer[n] = '\0';
    m_position += static_cast<uint32_t>(n);
    m_after_last_line = m_position;
    return n == 0 ? nullptr : buffer;
}

// ---- paths --------------------------------------------------------------------------------------

std::string change_extension(const std::string &path, const std::string &extension)
{
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < name)
        dot = path.size();
    const std::string ext = extension.empty() || extension[0] == '.' ? extension : "." + extension;
    return path.substr(0, dot) + ext;
}
