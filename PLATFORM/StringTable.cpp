// StringTable: every user-visible message text of the system, by id, in ascending id order.
// Add a row where its id belongs; a test checks order and uniqueness. Texts are exact: keep
// their spelling, punctuation and escapes (BEL pairs "\a\a" split a summary from its detail).
#include "StringResources.h"

#include <cstddef>

extern const StringResource kStringTable[] = {
    // id, text
    {16, "Korvex"},
    {616, "Too many or fatal compilation error."},
    {5000, "Error"},
    {5001, "Warning"},
    {5016, "Operation canceled by user."},
    {5017, "Internal error."},
};

extern const std::size_t kStringTableSize = sizeof(kStringTable) / sizeof(kStringTable[0]);
