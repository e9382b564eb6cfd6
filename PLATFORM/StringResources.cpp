// StringResources: lookup over the message table of StringTable.cpp.
#include "StringResources.h"

#include <algorithm>

extern const StringResource kStringTable[];
extern const std::size_t kStringTableSize;

const StringResource *string_table_begin() { return kStringTable; }
const StringResource *string_table_end() { return kStringTable + kStringTableSize; }

std::string_view string_resource(uint32_t id)
{
    // The table is sorted by id (a test checks it), so a binary search finds the row.
    const StringResource *end = string_table_end();
    const StringResource *it = std::lower_bound(
        string_table_begin(), end, id,
        [](const StringResource &row, uint32_t key) { return row.id < key; });
    if (it == end || it->id != id)
        return {};
    return it->text;
}
