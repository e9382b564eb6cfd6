// guiTCBoards: the targetless key of the settings store, the built-in CPU revisions, the board
// catalogue and the default lists, and the seeding that writes what is missing.
#include "guiTCBoards.h"

#include "core/guiInterface.h"

namespace {

// The page reads these lists as comma text; the crystal speeds are written quoted.
constexpr std::array<const char *, 17> kCrystalSpeeds = {
    "1.8432",  "3.6864",  "5.5296",  "7.3728",  "9.2160",  "11.0592",
    "12.9024", "14.7456", "16.5888", "18.4320", "20.2752", "22.1184",
    "23.9616", "24.5760", "25.8048", "27.6480", "29.4912"};

struct RtiField {
    const char *code;
    const char *key;
};
constexpr std::array<RtiField, 8> kRtiFields = {{
    {"FS", "Flash Size (KBytes)"},
    {"RS", "RAM Size (KBytes)"},
    {"CS", "Crystal Speed (MHz)"},
    {"CN", "CPU Name"},
    {"CI", "CPU ID"},
    {"CV", "CPU Revision"},
    {"BN", "Board Name"},
    {"BI", "Board ID"},
}};

std::string with_separator(std::string text, char decimal_separator)
{
    for (char &c : text)
        if (c == '.')
            c = decimal_separator;
    return text;
}

} // namespace

// ---- the store ---------------------------------------------------------------------------------

TTargetlessStore::TTargetlessStore(std::string base_path, const std::string &file)
    : m_base(std::move(base_path)), m_reg(file)
{
    report_settings_damage(m_reg);
}

std::string TTargetlessStore::key_path(std::string_view sub_key) const
{
    std::string path = m_base + kTargetlessKey;
    if (!sub_key.empty())
        path += "\\" + std::string(sub_key);
    return path;
}

std::string TTargetlessStore::read(std::string_view sub_key, std::string_view name)
{
    if (!m_reg.open_key(key_path(sub_key), false))
        return {};
    std::string text = m_reg.read_string(name).value_or("");
    m_reg.close_key();
    return text;
}

bool TTargetlessStore::write(std::string_view sub_key, std::string_view name,
                             std::string_view value)
{
    if (!m_reg.open_key(key_path(sub_key), true) || !m_reg.write_string(name, value)) {
        m_error = m_reg.last_error();
        m_reg.close_key();
        return false;
    }
    m_reg.close_key();
    ++m_changes;
    return true;
}

std::vector<std::string> TTargetlessStore::list(std::string_view sub_key)
{
    if (!m_reg.open_key(key_path(sub_key), false))
        return {};
    std::vector<std::string> names = m_reg.value_names();
    m_reg.close_key();
    return names;
}

bool TTargetlessStore::remove(std::string_view sub_key, std::string_view name)
{
    if (!m_reg.open_key(key_path(sub_key), false))
        return false;
    const bool removed = m_reg.delete_value(name);
    m_reg.close_key();
    if (removed)
        ++m_changes;
    return removed;
}

bool TTargetlessStore::save()
{
    const bool ok = m_reg.flush();
    report_settings_damage(m_reg);
    if (!ok)
        m_error = m_reg.last_error();
    return ok;
}

std::string ReadTargetlessValue(TTargetlessStore &store, std::string_view sub_key,
                                std::string_view name)
{
    return store.read(sub_key, name);
}

bool WriteTargetlessValue(TTargetlessStore &store, std::string_view sub_key,
                          std::string_view name, std::string_view value)
{
    return store.write(sub_key, name, value);
}

void ListTargetlessValueNames(TTargetlessStore &store, std::string_view sub_key,
                              std::vector<std::string> &names)
{
    names = store.list(sub_key);
}

void report_store_failure(const TTargetlessStore &store, const std::string &what)
{
    ShowAppMessageBox(what + "\n" + store.error(), "Error", kMbOk | kMbIconError);
}

// ---- built-in CPU revisions --------------------------------------------------------------------

const std::array<CpuRevisionRow, 6> kCpuRevisions = {{
    {"2000r0", "0x00", "Vireon 2000 revision A"},
    {"2000r1", "0x01", "Vireon 2000 revision B"},
    {"2000r2", "0x02", "Vireon 2000 revision C"},
    {"2000r3", "0x03", "Vireon 2000 revision D"},
    {"3000r0", "0x100", "Vireon 3000 revision A"},
    {"3000r1", "0x101", "Vireon 3000 revision B"},
}};

TStringList cpu_revision_record(const CpuRevisionRow &row)
{
    TStringList record;
    record.add(kCpuIdent, row.ident);
    record.add(kCpuRevision, row.revision);
    record.add(kCpuName, row.name);
    return record;
}

bool BuildCpuRevisionTable(TTargetlessStore &store)
{
    for (const CpuRevisionRow &row : kCpuRevisions) {
        if (!ReadTargetlessValue(store, kCpusSubKey, row.ident).empty())
            continue;
        if (!WriteTargetlessValue(store, kCpusSubKey, row.ident,
                                  cpu_revision_record(row).comma_text()))
            return false;
    }
    return true;
}

// ---- the built-in board catalogue --------------------------------------------------------------

// ID, description, CPU, crystal whole MHz and fraction, RAM KB, flash KB. The IDs that share a
// high byte stand together; the description names the CPU clock (twice the crystal, or the
// crystal itself on four boards) and the memory as the board is sold, which need not be the
// sizes the compiler uses.
const std::array<CatalogueRow, kCatalogueRows> kBoardCatalogue = {{
    {"0x0101", "29MHz Starter Board 01-01, 128K SRAM, 256K Flash", "2000r3", "29", "4912", "128", "256"},
    {"0x0100", "14MHz Starter Board 01-00, 128K SRAM, 128K Flash", "2000r3", "7", "3728", "128", "128"},
    {"0x0102", "14MHz Starter Board 01-02, 128K SRAM, 128K Flash", "2000r3", "7", "3728", "128", "128"},
    {"0x0800", "22MHz Core Module 08-00, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0806", "22MHz Core Module 08-06, 512K SRAM, 512K Flash", "2000r3", "11", "0592", "512", "512"},
    {"0x0801", "22MHz Core Module 08-01, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0802", "22MHz Core Module 08-02, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0803", "22MHz Core Module 08-03, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0804", "22MHz, Core Module 08-04, 256K SRAM, 256K Flash", "2000r3", "11", "0592", "256", "256"},
    {"0x0B00", "22MHz Ethernet Core 0B-00, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0B01", "22MHz Ethernet Core 0B-01, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0B02", "22MHz Ethernet Core 0B-02, 512K SRAM, 512K Flash", "2000r3", "11", "0592", "512", "512"},
    {"0x0B03", "22MHz Ethernet Core 0B-03, 512K Flash, 512K SRAM", "2000r3", "11", "0592", "512", "512"},
    {"0x1500", "29MHz Network Core 15-00, 128K SRAM, 256K Flash", "3000r0", "14", "7456", "128", "256"},
    {"0x1502", "29MHz Network Core 15-02, 128K SRAM, 256K Flash", "3000r0", "14", "7456", "128", "256"},
    {"0x1504", "29MHz Network Core 15-04, 512K SRAM, 256K Flash", "3000r0", "14", "7456", "512", "256"},
    {"0x1501", "29MHz Network Core 15-01, 256K+256K SRAM, 256K Flash", "3000r0", "14", "7456", "512", "256"},
    {"0x1503", "29MHz Network Core 15-03, 512K SRAM, 256K Flash", "3000r0", "14", "7456", "512", "256"},
    {"0x1700", "29MHz Network Core Plus 17-00, 128K SRAM, 256K Flash", "3000r0", "14", "7456", "128", "256"},
    {"0x1701", "29MHz Network Core Plus 17-01, 128K SRAM, 256K Flash", "3000r0", "14", "7456", "128", "256"},
    {"0x1704", "29MHz Network Core Plus 17-04, 128K SRAM, 256K Flash", "3000r0", "14", "7456", "128", "256"},
    {"0x1702", "29MHz Network Core Plus 17-02, 512K SRAM, 512K Flash", "3000r0", "14", "7456", "512", "512"},
    {"0x1705", "29MHz Network Core Plus 17-05, 512K SRAM, 512K Flash, battery-backed clock", "3000r0", "14", "7456", "512", "512"},
    {"0x1200", "7MHz Low-Power Core 12-00, 512K SRAM, 256K Flash", "3000r0", "3", "6864", "512", "256"},
    {"0x1201", "7MHz Low-Power Core 12-01, 512K SRAM, 256K Flash", "3000r0", "3", "6864", "512", "256"},
    {"0x0202", "22MHz Controller Board 02-02, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0201", "22MHz Controller Board 02-01, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0200", "22MHz Controller Board 02-00, 128K SRAM, 128K Flash", "2000r3", "11", "0592", "128", "128"},
    {"0x0700", "22MHz Operator Panel 07-00, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0701", "22MHz Operator Panel 07-01, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0702", "22MHz Operator Panel 07-02, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0703", "22MHz Operator Panel 07-03, 128K+128K SRAM, 256K Flash", "2000r3", "11", "0592", "256", "256"},
    {"0x0900", "12MHz Relay Controller 09-00, 128K SRAM, 256K Flash", "2000r3", "12", "9024", "128", "256"},
    {"0x0E00", "12MHz Data Logger 0E-00, 128K SRAM, 256K Flash", "2000r3", "12", "9024", "128", "256"},
    {"0x0A00", "9MHz Serial Terminal 0A-00, 128K SRAM, 256K Flash", "2000r3", "9", "2160", "128", "256"},
    {"0x0F00", "25MHz I/O Controller 0F-00, 128K SRAM, 256K Flash", "2000r3", "12", "9024", "128", "256"},
    {"0x0F01", "22MHz, I/O Controller 0F-01, 256K SRAM, 256K Flash", "2000r3", "11", "0592", "256", "256"},
    {"0x1000", "22MHz Motion Controller 10-00, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x1001", "22MHz Motion Controller 10-01, 256K SRAM, 256K Flash", "2000r3", "11", "0592", "256", "256"},
    {"0x1300", "29MHz Wireless Core 13-00, 128K SRAM, 256K Flash", "3000r0", "14", "7456", "128", "256"},
    {"0x1301", "29MHz Wireless Core 13-01, 128K SRAM, 256K Flash", "3000r0", "14", "7456", "128", "256"},
    {"0x1302", "29MHz Wireless Core 13-02, 512K SRAM, 512K Flash, radio", "3000r0", "14", "7456", "512", "512"},
    {"0x1400", "44MHz High-Speed Core 14-00, 512K SRAM, 512K Flash", "3000r1", "22", "1184", "512", "512"},
    {"0x1402", "44MHz High-Speed Core 14-02, 512K Flash, 512K SRAM", "3000r1", "22", "1184", "512", "512"},
    {"0x1600", "36MHz Fieldbus Gateway 16-00, 128K SRAM, 256K Flash", "3000r0", "18", "4320", "128", "256"},
    {"0x1610", "36MHz Fieldbus Gateway 16-10, 512K SRAM, 256K Flash, 2 serial ports", "3000r0", "18", "4320", "512", "256"},
    {"0x1E00", "44MHz Display Controller 1E-00, 128K SRAM, 256K Flash", "3000r0", "22", "1184", "128", "256"},
    {"0x1E01", "44MHz Display Controller 1E-01, 512K SRAM, 512K+512K Flash", "3000r0", "22", "1184", "512", "512"},
    {"0x1F00", "44MHz Display Controller Plus 1F-00, 128K SRAM, 256K Flash", "3000r0", "22", "1184", "128", "256"},
    {"0x1F01", "44MHz Display Controller Plus 1F-01, 512K SRAM, 512K Flash", "3000r0", "22", "1184", "512", "512"},
    {"0x0301", "22MHz Prototyping Board 03-01, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0300", "22MHz Prototyping Board 03-00, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0302", "22MHz Prototyping Board 03-02, 256K SRAM, 256K Flash", "2000r3", "11", "0592", "256", "256"},
    {"0x0D00", "22MHz Keypad Terminal 0D-00, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0D01", "22MHz, Keypad Terminal 0D-01, 512K SRAM, 256K Flash", "2000r3", "11", "0592", "512", "256"},
    {"0x1100", "29MHz Industrial Core 11-00, 128K SRAM, 256K Flash", "3000r0", "14", "7456", "128", "256"},
    {"0x1102", "29MHz Industrial Core 11-02, 512K SRAM, 256K Flash", "3000r0", "14", "7456", "512", "256"},
    {"0x1101", "36MHz Industrial Core 11-01, 128K SRAM, 256K Flash", "3000r0", "18", "4320", "128", "256"},
    {"0x1103", "22MHz Industrial Core 11-03, 512K SRAM, 256K Flash, isolated inputs", "3000r0", "11", "0592", "512", "256"},
    {"0x0502", "22MHz Sensor Board 05-02, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0C00", "22MHz Compact Core 0C-00, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0C01", "22MHz Compact Core 0C-01, 256K Flash, 256K SRAM", "2000r3", "11", "0592", "256", "256"},
    {"0x0601", "22MHz Modem Board 06-01, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
    {"0x0603", "22MHz Modem Board 06-03, 128K SRAM, 256K Flash", "2000r3", "11", "0592", "128", "256"},
}};

TStringList catalogue_record(const CatalogueRow &row, char decimal_separator)
{
    TStringList record;
    record.add(kBoardId, row.id);
    record.add(kBoardName, row.description);
    record.add(kBoardCpu, row.cpu);
    record.add(kBoardCrystal, std::string(row.mhz) + decimal_separator + row.fraction);
    record.add(kBoardRam, row.ram_kb);
    record.add(kBoardFlash, row.flash_kb);
    return record;
}

bool BuildBoardCatalogue(TTargetlessStore &store, char decimal_separator)
{
    for (const CatalogueRow &row : kBoardCatalogue) {
        if (!ReadTargetlessValue(store, kBoardsSubKey, row.id).empty())
            continue;
        if (!WriteTargetlessValue(store, kBoardsSubKey, row.id,
                                  catalogue_record(row, decimal_separator).comma_text()))
            return false;
    }
    return true;
}

// ---- default lists -----------------------------------------------------------------------------

std::string default_crystal_speeds(char decimal_separator)
{
    std::string text;
    for (const char *speed : kCrystalSpeeds) {
        if (!text.empty())
            text += ',';
        text += '"' + with_separator(speed, decimal_separator) + '"';
    }
    return text;
}

TStringList default_rti_fields()
{
    TStringList fields;
    for (const RtiField &field : kRtiFields)
        fields.add(field.code, field.key);
    return fields;
}

bool seed_targetless_store(TTargetlessStore &store, char decimal_separator)
{
    const std::pair<const char *, std::string> lists[] = {
        {kCrystalSpeedsValue, default_crystal_speeds(decimal_separator)},
        {kRamSizesValue, kDefaultRamSizes},
        {kFlashSizesValue, kDefaultFlashSizes},
        {kRtiFieldsValue, default_rti_fields().comma_text()},
    };
    bool written = BuildBoardCatalogue(store, decimal_separator) && BuildCpuRevisionTable(store);
    for (const auto &[name, text] : lists) {
        if (!written)
            break;
        if (ReadTargetlessValue(store, "", name).empty())
            written = WriteTargetlessValue(store, "", name, text);
    }
    if (!written)
        report_store_failure(store, "The board store could not be filled.");
    if (store.changes() == 0)
        return written;
    if (!store.save()) {
        report_store_failure(store, "The board store could not be saved.");
        return false;
    }
    return written;
}
