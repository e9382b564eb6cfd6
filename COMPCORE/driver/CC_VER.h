// CC_VER: the compiler's version values. The version word becomes the predefined macro "CC_VER"
// and goes into the program's start-up code; the separate values feed the settings key and the
// about window.
#pragma once

#include <cstdint>

inline constexpr uint16_t kVersionMajor = 8;
inline constexpr uint16_t kVersionMinor = 5;
inline constexpr uint16_t kVersionRevision = 1;

// major << 8 | minor << 4 | revision: 0x851.
uint16_t version_word();
uint16_t version_major();
uint16_t version_minor();
uint16_t version_revision();
// The version suffix text (empty).
const char *version_build();
// "2004".
const char *version_year();
