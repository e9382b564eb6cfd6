// FontRecord: a window font record (`TFontProperties`, kept in the settings) put onto a Qt font
// and read back from one. The record's colour is not part of a Qt font: it travels beside it in
// `TFont`. Used by the debug windows when they are created or their options change, and by the
// editor options dialog around its font chooser. Needs a QGuiApplication (fonts do).
#pragma once

#include <QFont>

#include "settings/guiKXPreferences.h"

// A window's font as the windows use it: the Qt font and the text colour.
struct TFont {
    QFont font;
    TColor colour = clBlack;
};

// Replaces the font by the record's: colour, height, name, pitch and size in this order, then
// bold, italic, underline and strikeout as the record says (nothing of the old font stays). The
// size is set after the height, so the record's size decides the font's size; a height alone
// (size 0 or less) sets the pixel size. Pitch: fixed or variable is asked for; default leaves
// the choice to the font.
void ApplyFontRecord(TFont &target, TFontProperties record);

// The reverse: colour, height (negative: the character height in pixels at the screen's
// resolution), name, pitch, size in points, and the four style flags.
void ReadFontRecord(TFontProperties &record, const TFont &source);
