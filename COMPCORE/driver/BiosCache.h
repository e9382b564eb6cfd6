// BiosCache: where the BIOS compile writes its own files (breakpoint dump ".brk", map, object
// trace ".rom", download image ".bdl" and its HEX twin ".hdl"). The BIOS source may lie in a
// folder nobody may write (the staged resources of an installed copy), so its outputs go under
// the user's cache folder, one set per BIOS source and board:
//   $XDG_CACHE_HOME/korvex/bios/<source stem>-<16 hex digits of the source's path>/<board>/
// ($XDG_CACHE_HOME unset or relative: ~/.cache). A compile writes into a fresh folder of its own
// beside the sets and the folder takes the set's place only when the compile succeeded, so a
// failed or cancelled compile leaves the set before it whole and two programs compiling the
// same BIOS at once never write into each other's files.
// Standard C++ and POSIX only. Called by the compile-and-load sequence (guiCompilerInterface)
// around the BIOS compile and by its BIOS reload decision.
#pragma once

#include <cstdint>
#include <string>

// The program's folder in the user's cache: $XDG_CACHE_HOME/korvex, else ~/.cache/korvex.
std::string user_cache_folder();

// The folder the sets lie in. `set_bios_cache_root` replaces it for this process (a tool that
// keeps everything in a work folder of its own); empty restores the user's cache folder.
std::string bios_cache_root();
void set_bios_cache_root(const std::string &folder);

// The folder of the sets of one BIOS source, and of its set for one board (board type, as
// "%04x").
std::string bios_cache_source_folder(const std::string &bios_source);
std::string bios_cache_set_folder(const std::string &bios_source, uint16_t board_type);

// True when the set holds the files every BIOS compile leaves: its breakpoint dump and map.
[[nodiscard]] bool bios_cache_set_complete(const std::string &set_folder,
                                           const std::string &bios_source);

// The set the last successful BIOS compile of this process left (empty before one).
const std::string &last_bios_cache_set();
void forget_last_bios_cache_set();  // tests

// One BIOS compile's outputs: `open` makes the compile's own folder, `publish` puts it in the
// place of the set for the board the compile learnt; what is not published is removed.
class BiosCompileOutputs {
public:
    BiosCompileOutputs() = default;
    ~BiosCompileOutputs();
    BiosCompileOutputs(const BiosCompileOutputs &) = delete;
    BiosCompileOutputs &operator=(const BiosCompileOutputs &) = delete;

    // False when a folder on the way cannot be made: `failed_folder` names the first one that
    // could not be, `reason` says why. Nothing is written then.
    [[nodiscard]] bool open(const std::string &bios_source, std::string &failed_folder,
                            std::string &reason);
    // The folder the compile writes into (empty until opened).
    const std::string &folder() const { return m_folder; }
    // Moves the compile's files into the set's place; false (the compile's folder removed) when
    // they cannot be moved there.
    [[nodiscard]] bool publish(uint16_t board_type);
    void discard();

private:
    std::string m_source;
    std::string m_folder;
};
