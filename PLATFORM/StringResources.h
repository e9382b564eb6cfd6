// StringResources: the program's message texts, addressed by numeric id.
// Stands in for the host's string-resource table. Texts are the system's own, byte for byte;
// the host services (LoadResString, GetResString) format and cut them. Std-only.
#pragma once

#include <cstdint>
#include <string_view>

struct StringResource {
    uint32_t id;
    const char *text;
};

// The text of a message id, or an empty view when the id has no text.
std::string_view string_resource(uint32_t id);

// The whole table, in ascending id order (for tests and tools).
const StringResource *string_table_begin();
const StringResource *string_table_end();
