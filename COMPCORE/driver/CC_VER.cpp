// CC_VER: version values of the compiler.
#include "CC_VER.h"

uint16_t version_word()
{
    return static_cast<uint16_t>((kVersionMajor << 8) | (kVersionMinor << 4) | kVersionRevision);
}
uint16_t version_major() { return kVersionMajor; }
uint16_t version_minor() { return kVersionMinor; }
uint16_t version_revision() { return kVersionRevision; }
const char *version_build() { return ""; }
const char *version_year() { return "2004"; }
