// guiTCBoards: the board store for compiling without a target, and what the program puts into it
// by itself: the built-in board catalogue, the built-in CPU revisions and the default lists.
//
// The store is the key "Targetless Compiler" directly below the settings base path (no version
// key: every settings tree shares it), in the settings store of guiEnvironment:
//   "Targetless Compiler"   "Crystal Speeds", "RAM Sizes", "Flash Sizes", "RTI Fields V2"
//     \ "BoardsV2"          one value per board, named by its ID text ("BI"), holding the
//                           board record in comma text (StringList)
//     \ "CPUsV2"            one value per CPU revision, named by its identifier ("CI")
// All values are strings. A board record is six name=value lines: "BI" ID text, "BN"
// description, "BCI" CPU identifier, "BCS" crystal MHz with the locale's decimal separator,
// "BRS" RAM KB, "BFS" flash KB. A CPU revision record: "CI" identifier (model number, "r",
// revision), "CR" revision ID ("0x" hex: bits 8-12 the family, 0-7 the revision), "CN" the text
// the CPU lists show.
//
// Seeding writes only what is missing or empty: a value the user changed stays as it is.
// The Targetless page (guiTargetless) calls the seeding each time the dialog is shown.
// Std-only; GUI thread only.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "StringList.h"
#include "guiEnvironment.h"

// ---- names -------------------------------------------------------------------------------------

inline constexpr const char *kBoardsSubKey = "BoardsV2";
inline constexpr const char *kCpusSubKey = "CPUsV2";
inline constexpr const char *kCrystalSpeedsValue = "Crystal Speeds";
inline constexpr const char *kRamSizesValue = "RAM Sizes";
inline constexpr const char *kFlashSizesValue = "Flash Sizes";
inline constexpr const char *kRtiFieldsValue = "RTI Fields V2";

// Lines of a board record, in the order they are written.
inline constexpr const char *kBoardId = "BI";
inline constexpr const char *kBoardName = "BN";
inline constexpr const char *kBoardCpu = "BCI";
inline constexpr const char *kBoardCrystal = "BCS";
inline constexpr const char *kBoardRam = "BRS";
inline constexpr const char *kBoardFlash = "BFS";
// Lines of a CPU revision record.
inline constexpr const char *kCpuIdent = "CI";
inline constexpr const char *kCpuRevision = "CR";
inline constexpr const char *kCpuName = "CN";

// Board IDs from here up are the user's own; the catalogue's lie below.
inline constexpr long long kFirstUserBoardId = 0xFF00;
inline constexpr long long kLastBoardId = 0xFFFF;

// ---- the store ---------------------------------------------------------------------------------

// The targetless key of one settings store file, read once when made. Changes are made in
// memory; `save` merges them into the file (see RegistryStore).
class TTargetlessStore {
public:
    // `base_path` is the settings base path without a version key.
    explicit TTargetlessStore(std::string base_path = kSettingsBasePath,
                              const std::string &file = settings_registry_path());

    // The full key of a sub-key ("" for the targetless key itself).
    std::string key_path(std::string_view sub_key) const;
    // A string value; empty when the key or the value is missing or holds another type.
    std::string read(std::string_view sub_key, std::string_view name);
    // Writes a string value, making the key when it is missing. False, with the reason in
    // error(), for a name or value the store cannot hold.
    [[nodiscard]] bool write(std::string_view sub_key, std::string_view name,
                             std::string_view value);
    // The value names of the key in the store's order (none when the key is missing).
    std::vector<std::string> list(std::string_view sub_key);
    // Removes a value; false when there was none.
    bool remove(std::string_view sub_key, std::string_view name);
    // Writes the changes to the file. False, with the reason in error(), when the file could
    // not be written; the changes are kept for another try.
    [[nodiscard]] bool save();

    // Values written or removed since the store was made.
    int changes() const { return m_changes; }
    const std::string &error() const { return m_error; }

private:
    std::string m_base;
    TKXRegistry m_reg;
    int m_changes = 0;
    std::string m_error;
};

// The store operations under the names the pages use. A missing key or value reads as empty.
std::string ReadTargetlessValue(TTargetlessStore &store, std::string_view sub_key,
                                std::string_view name);
[[nodiscard]] bool WriteTargetlessValue(TTargetlessStore &store, std::string_view sub_key,
                                        std::string_view name, std::string_view value);
void ListTargetlessValueNames(TTargetlessStore &store, std::string_view sub_key,
                              std::vector<std::string> &names);

// Shows the store's error in an "Error" box (what failed, then why).
void report_store_failure(const TTargetlessStore &store, const std::string &what);

// ---- built-in CPU revisions --------------------------------------------------------------------

struct CpuRevisionRow {
    const char *ident;     // "CI"
    const char *revision;  // "CR"
    const char *name;      // "CN"
};
extern const std::array<CpuRevisionRow, 6> kCpuRevisions;

// The record of a row: "CI", "CR", "CN".
TStringList cpu_revision_record(const CpuRevisionRow &row);
// Writes every built-in revision whose identifier has no value (or an empty one) in the CPU
// store. False at the first write the store refuses (the rows before it stay written).
[[nodiscard]] bool BuildCpuRevisionTable(TTargetlessStore &store);

// ---- the built-in board catalogue --------------------------------------------------------------

// One built-in board; the decimal separator of the crystal is decided when it is written.
struct CatalogueRow {
    const char *id;           // "0x" and four upper-case hex digits
    const char *description;
    const char *cpu;          // a built-in CPU identifier
    const char *mhz;          // whole MHz of the crystal
    const char *fraction;     // its four fraction digits
    const char *ram_kb;
    const char *flash_kb;
};
inline constexpr std::size_t kCatalogueRows = 64;
extern const std::array<CatalogueRow, kCatalogueRows> kBoardCatalogue;

// The six-line record of a catalogue row, with the given decimal separator.
TStringList catalogue_record(const CatalogueRow &row, char decimal_separator);
// Writes every catalogue board whose ID has no value (or an empty one) in the board store, in
// catalogue order. A stored value, whatever it holds, is never changed. False at the first write
// the store refuses (the rows before it stay written).
[[nodiscard]] bool BuildBoardCatalogue(TTargetlessStore &store, char decimal_separator);

// ---- default lists -----------------------------------------------------------------------------

// The 17 crystal speeds (MHz, multiples of 1.8432), each quoted, with the separator.
std::string default_crystal_speeds(char decimal_separator);
inline constexpr const char *kDefaultRamSizes = "32,128,256,512";
inline constexpr const char *kDefaultFlashSizes = "0,128,256,512";
// The eight RTI field lines, code=key name.
TStringList default_rti_fields();

// The seeding the page's start-up runs: the catalogue, the CPU revisions, then each of the four
// list values that reads empty. A store write that fails ends it (reported once) and leaves what
// was written before; then the changes are saved (a failure is reported). False on a failure.
bool seed_targetless_store(TTargetlessStore &store, char decimal_separator);
