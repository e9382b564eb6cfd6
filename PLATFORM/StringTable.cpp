// StringTable: every user-visible message text of the system, by id, in ascending id order.
// Add a row where its id belongs; a test checks order and uniqueness. Texts are exact: keep
// their spelling, punctuation and escapes (BEL pairs "\a\a" split a summary from its detail).
#include "StringResources.h"

#include <cstddef>

extern const StringResource kStringTable[] = {
    // id, text
    {16, "Korvex"},
    {433, "Out of xmem code space, use a larger ROM/RAM."},
    {616, "Too many or fatal compilation error."},
    {666, "Internal error: internal assembly buffer exceeded\a\aThe generated assembly line is too long. Please contact technical support."},
    {667, "Internal error: recursion on outasm"},
    {5000, "Error"},
    {5001, "Warning"},
    {5016, "Operation canceled by user."},
    {5017, "Internal error."},
    {5023, "Cannot open file '%s'."},
    {7101, "Out of code space."},
    {7102, "Out of root code space, try moving code to XMEM."},
    {7103, "Out of constant data space."},
    {7104, "Out of variable data space."},
    {7105, "Internal Error: %s"},
    {7106, "Using uninitialized cache."},
    {7107, "Emit outside cache boundary."},
    {7108, "Internal error: Peek beyond end of emitted code."},
    {7109, "Must define at least one %s origin directive."},
    {7110, "Internal Error: Cannot generate code around origin directive follows specifier. Please contact Brantel, Inc.\a\aMoving code around problem spot may help in removing this error."},
};

extern const std::size_t kStringTableSize = sizeof(kStringTable) / sizeof(kStringTable[0]);
