// Lb_encr: the library container. A library file is either plain text or protected: a header
// text ending in a zero byte, a 16-byte block, then one stored byte for every byte of library
// text. The container opens a library for the index scanner and the module readers (LB_CAT),
// tells whether it is protected, and hands out its text line by line. It also keeps the table of
// protected files through which the listing, the map file and the debugger hide protected code.
// How a protected file is recognised and deciphered belongs to an installable scheme; none is
// installed, so every library file is plain.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

// What the table of protected files records of one file.
struct EncryptValInfo {
    uint16_t kind = 0;             // protection kind (never 0 in the table)
    uint32_t file_length = 0;      // bytes of the stored file
    uint32_t header_length = 0;    // bytes of the header text with its zero byte
    std::array<uint8_t, 16> block{};
};

// The cipher of protected library files. `kind_of` decides from the header text and the block
// whether a file is protected (0: plain); `decode` turns one stored byte into a byte of library
// text, given the stored byte before it.
class LibraryProtection {
public:
    virtual ~LibraryProtection() = default;
    [[nodiscard]] virtual uint16_t kind_of(const std::string &header,
                                           const std::array<uint8_t, 16> &block) = 0;
    [[nodiscard]] virtual uint8_t decode(const EncryptValInfo &file, uint8_t stored,
                                         uint8_t previous_stored) = 0;
};
// Installs the scheme (not owned); null: every file is plain.
void set_library_protection(LibraryProtection *scheme);
LibraryProtection *library_protection();

// Header texts are looked for within this many bytes of the start.
inline constexpr uint32_t kMaxLibraryHeader = 4100;

// One opened library file. A plain file gives kind 0 and no open file: callers read it as a
// plain file. Positions are positions in the stored file.
class LibContainer {
public:
    LibContainer() = default;
    LibContainer(const LibContainer &) = delete;
    LibContainer &operator=(const LibContainer &) = delete;
    virtual ~LibContainer();

    // The next line into `buffer` (at most size - 1 bytes, then a zero byte), ending after the
    // byte that decodes to a line feed; nullptr at the end of the file. When the position was
    // moved since the last line, the stored byte before it is read again as the decoder's
    // previous byte.
    char *GetLine(char *buffer, std::size_t size);
    // Moves the read position (a stored-file position).
    void Seek(uint32_t position) { m_position = position; }
    [[nodiscard]] uint32_t Tell() const { return m_position; }
    [[nodiscard]] uint16_t Kind() const { return m_info.kind; }
    [[nodiscard]] bool IsOpen() const { return m_file != nullptr; }
    // The first content byte (header length + 16).
    [[nodiscard]] uint32_t ContentStart() const { return m_content_start; }
    [[nodiscard]] uint32_t FileLength() const { return m_info.file_length; }
    // Closes the file; the container is then at kind 0 with nothing open.
    void Close();

protected:
    virtual uint8_t DecodeByte(uint8_t stored);

private:
    friend bool open_library_container(LibContainer &container, const std::string &path);

    std::FILE *m_file = nullptr;
    EncryptValInfo m_info;
    uint32_t m_content_start = 0;
    uint32_t m_position = 0;
    uint32_t m_after_last_line = 0;
    uint8_t m_last_stored = 0;
};

// Fills the container: a protected file is opened read-only at its first content byte; any other
// file leaves the container at kind 0 with nothing open. True when the file is protected.
bool open_library_container(LibContainer &container, const std::string &path);

// True when the table of protected files holds the path (the answer of the last examination;
// the file is not read again).
[[nodiscard]] bool is_encrypted_file(const std::string &path);

// Whether the file is protected: from the table unless `refresh` is set or the file is not in
// it; otherwise the file is read (header within 4100 bytes, then the block) and the table is
// brought up to date. A file that cannot be read, whose header does not end in time, or that is
// too short for the block, is plain.
bool examine_library_file(const std::string &path, bool refresh);

// Empties the table (the library index is rebuilt from scratch).
void clear_protected_files();
std::size_t protected_file_count();

// The path with its last component's extension replaced by `extension` (with or without its
// "."), or added when it has none; a "." in a directory name is not an extension.
std::string change_extension(const std::string &path, const std::string &extension);
