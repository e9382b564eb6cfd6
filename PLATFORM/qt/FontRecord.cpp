// FontRecord: window font records onto Qt fonts and back.
#include "FontRecord.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace {

// Dots per inch that convert between points and pixels: the primary screen's, else 96.
double screen_dpi()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const double dpi = screen->logicalDotsPerInchY();
        if (dpi > 0)
            return dpi;
    }
    return 96.0;
}

} // namespace

// The record is the whole font: a fresh Qt font takes its fields, so nothing the record does not
// say (a pitch asked for earlier, say) stays behind from the font it replaces.
void ApplyFontRecord(TFont &target, TFontProperties record)
{
    QFont font;
    target.colour = record.colour;
    if (record.height != 0)
        font.setPixelSize(std::abs(record.height));
    font.setFamily(QString::fromStdString(record.name));
    switch (record.pitch) {
    case fpFixed:
        font.setFixedPitch(true);
        break;
    case fpVariable:
        font.setFixedPitch(false);
        break;
    default:  // the font's own pitch: no request
        break;
    }
    if (record.size > 0)
        font.setPointSize(record.size);
    font.setBold(record.bold);
    font.setItalic(record.italic);
    font.setUnderline(record.underline);
    font.setStrikeOut(record.strikeout);
    target.font = font;
}

void ReadFontRecord(TFontProperties &record, const TFont &source)
{
    const QFont &font = source.font;
    const double dpi = screen_dpi();
    record.colour = source.colour;
    if (font.pixelSize() > 0)
        record.height = -font.pixelSize();
    else
        record.height = -static_cast<int32_t>(std::lround(font.pointSizeF() * dpi / 72.0));
    record.name = font.family().toStdString();
    if (font.resolveMask() & QFont::FixedPitchResolved)
        record.pitch = font.fixedPitch() ? fpFixed : fpVariable;
    else
        record.pitch = fpDefault;
    if (font.pointSize() > 0)
        record.size = font.pointSize();
    else
        record.size = static_cast<int32_t>(std::lround(font.pixelSize() * 72.0 / dpi));
    record.bold = font.bold();
    record.italic = font.italic();
    record.underline = font.underline();
    record.strikeout = font.strikeOut();
}
