// guiEnvironment, part three: the print setup (the print preview component's page setup and
// text options, and the settings' print font) and the editor's text-style colours. The main
// window loads the print setup when it is first shown and saves it when it closes, after the
// other settings; the Environment Options dialog loads and saves the text-style colours.
#include "guiEnvironment.h"
#include "RegistryValueIo.h"

#include <cmath>
#include <cstdlib>

namespace {

// A stored enumerator: its own number when it lies in 0..last, else enumerator 0.
template <class E>
E enum_of(int32_t stored, int last)
{
    return stored >= 0 && stored <= last ? static_cast<E>(stored) : static_cast<E>(0);
}

template <class E>
int32_t number_of(E value)
{
    return static_cast<int32_t>(value);
}

bool usable_margin(double value) { return std::isfinite(value) && value >= 0; }

// The largest font a print can use: 1638 points, 2184 pixels at 96 per inch.
constexpr int64_t kMaxFontPoints = 1638;
bool usable_size(int32_t points)
{
    const int64_t magnitude = std::llabs(static_cast<int64_t>(points));
    return magnitude >= 1 && magnitude <= kMaxFontPoints;
}
bool usable_height(int32_t pixels)
{
    const int64_t magnitude = std::llabs(static_cast<int64_t>(pixels));
    return magnitude >= 1 && magnitude <= kMaxFontPoints * kScreenPixelsPerInch / 72;
}

// Style bits: 1 bold, 2 italic, 4 underline, 8 strike-out.
int32_t style_bits(const TPrinterFont &font)
{
    return (font.bold ? 1 : 0) | (font.italic ? 2 : 0) | (font.underline ? 4 : 0) |
           (font.strikeout ? 8 : 0);
}

void set_style(TPrinterFont &font, int32_t bits)
{
    font.bold = (bits & 1) != 0;
    font.italic = (bits & 2) != 0;
    font.underline = (bits & 4) != 0;
    font.strikeout = (bits & 8) != 0;
}

// One direction of the print setup: the load reads every value into its place, the save writes
// it from there; where their orders differ, the functions below say so.
class PrintIo : public RegistryValueIo {
public:
    using RegistryValueIo::RegistryValueIo;

    void open(const std::string &path)
    {
        m_reg.close_key();
        // A key that can neither be opened nor created leaves no key current: the reads then
        // give their defaults and the writes fail, so no other key is touched.
        (void)m_reg.open_key(settings_key(path), true);
    }
    // A margin keeps its value unless the stored one is a usable distance.
    void margin(const char *name, double &field)
    {
        if (m_saving) {
            WriteRegFloat(m_reg, name, field);
            return;
        }
        const double value = ReadRegFloat(m_reg, name, field);
        if (usable_margin(value))
            field = value;
    }
    template <class E>
    void enumeration(const char *name, E &field, int last)
    {
        int32_t value = number_of(field);
        integer(name, value);
        field = enum_of<E>(value, last);
    }
    // The seven values of a font, each name after `prefix`; `defaults` gives the load's
    // defaults of all but the style, `style_default` that of the style. Applied in the order
    // charset, colour, height, name, pitch, size, style: where the two disagree, the size
    // decides over the height.
    void font(const std::string &prefix, TPrinterFont &font, const TPrinterFont &defaults,
              int32_t style_default)
    {
        const auto key = [&](const char *name) { return prefix + name; };
        if (m_saving) {
            WriteRegInteger(m_reg, key("Charset"), font.charset);
            WriteRegInteger(m_reg, key("Color"), static_cast<int32_t>(font.colour));
            WriteRegInteger(m_reg, key("Height"), font.height);
            WriteRegString(m_reg, key("Name"), font.name);
            WriteRegInteger(m_reg, key("Pitch"), font.pitch <= fpFixed ? font.pitch : fpDefault);
            WriteRegInteger(m_reg, key("Size"), font.size);
            WriteRegInteger(m_reg, key("Style"), style_bits(font));
            return;
        }
        const int32_t charset = ReadRegInteger(m_reg, key("Charset"), defaults.charset);
        font.charset = charset >= 0 && charset <= 255 ? static_cast<uint8_t>(charset)
                                                      : defaults.charset;
        font.colour = static_cast<TColor>(
            ReadRegInteger(m_reg, key("Color"), static_cast<int32_t>(defaults.colour)));
        const int32_t height = ReadRegInteger(m_reg, key("Height"), defaults.height);
        font.SetHeight(usable_height(height) ? height : defaults.height);
        font.name = ReadRegString(m_reg, key("Name"), defaults.name);
        font.pitch = static_cast<TFontPitch>(
            enum_of<uint8_t>(ReadRegInteger(m_reg, key("Pitch"), defaults.pitch), fpFixed));
        // A size that the height already gives leaves the height alone: a height such as -14
        // gives 11 points, which would make it -15.
        const int32_t size = ReadRegInteger(m_reg, key("Size"), defaults.size);
        if (usable_size(size) && size != font.size)
            font.SetSize(size);
        set_style(font, ReadRegInteger(m_reg, key("Style"), style_default));
    }
};

// The main part of "Print Setup\": after the units, the load reads "Orientation" and then
// "Print Line Numbers", the save writes them the other way round.
void page_setup(PrintIo &io, TPreviewPrinter &printer, TIdePreferences &p)
{
    io.open(kSectionPrintSetup);
    TPrintUnits units = printer.Units();
    io.enumeration("Units", units, 1);
    // The unit first: the margins read below count in it.
    printer.SetUnits(units);
    if (io.saving())
        io.boolean("Print Line Numbers", p.PrintLineNumbers);
    io.enumeration("Orientation", printer.Orientation, 1);
    if (!io.saving())
        io.boolean("Print Line Numbers", p.PrintLineNumbers);
    TTextOptions &t = printer.TextOptions;
    io.boolean("Wrap Lines", t.WrapLines);
    io.boolean("Use Left Margin", t.UseMarginLeft);
    io.boolean("Use Right Margin", t.UseMarginRight);
    io.boolean("Use Top Margin", t.UseMarginTop);
    io.boolean("Use Bottom Margin", t.UseMarginBottom);
    io.boolean("Use Header", t.UseHeader);
    io.boolean("Use Footer", t.UseFooter);
    io.boolean("Use Page Numbers", t.UsePageNumbers);
    io.boolean("Color Syntax", t.ColorSyntax);
    io.margin("Header Margin", t.HeaderMargin);
    io.margin("Margin Bottom", t.MarginBottom);
    io.margin("Margin Left", t.MarginLeft);
    io.margin("Margin Right", t.MarginRight);
    io.margin("Margin Top", t.MarginTop);
    io.enumeration("Zoom Option", printer.ZoomOption, 3);
    int32_t zoom = printer.ZoomVal;
    io.integer("Zoom Value", zoom);
    if (zoom > 0)
        printer.ZoomVal = zoom;
    // The print font starts afresh at every load: the editor font's values, no style.
    if (!io.saving())
        p.PrintFont = TPrinterFont{};
    io.font("Print Font ", p.PrintFont, GlobalMemoFont(), 0);
    io.close();
}

// "Print Setup\Text Options\" and its four font keys.
void text_options(PrintIo &io, TPreviewPrinter &printer, TIdePreferences &p)
{
    const std::string key = std::string(kSectionPrintSetup) + kSectionTextOptions;
    io.open(key);
    TTextOptions &t = printer.TextOptions;
    io.enumeration("Draw Style", t.DrawStyle, 2);
    io.text("Footer", t.Footer);
    io.enumeration("Footer Align", t.FooterAlign, 2);
    io.margin("Footer Margin", t.FooterMargin);
    io.text("Header", t.Header);
    io.enumeration("Header Align", t.HeaderAlign, 2);
    io.enumeration("Page Number Align", t.PageNumAlign, 2);
    io.text("Page Number Text", t.PageNumText);
    io.enumeration("Print Page Number", t.PrintPageNumber, 2);
    // Loaded with 0 as its default, whatever the field holds.
    TPageNumberPosition position = io.saving() ? enum_of<TPageNumberPosition>(
                                                     p.PrintPagePosition, 2)
                                               : TPageNumberPosition::pnBottom;
    io.enumeration("Print Page Position", position, 2);
    p.PrintPagePosition = static_cast<uint8_t>(position);
    const std::pair<const char *, TPrinterFont *> fonts[] = {
        {"Body Font\\", &t.BodyFont},
        {"Footer Font\\", &t.FooterFont},
        {"Header Font\\", &t.HeaderFont},
        {"Page Number Font\\", &t.PageNumFont},
    };
    for (const auto &[name, font] : fonts) {
        io.open(key + name);
        const TPrinterFont current = *font;
        io.font("", *font, current, style_bits(current));
    }
    io.close();
}

void walk_print_setup(TPreviewPrinter &printer, bool saving)
{
    TKXRegistry reg;
    report_settings_damage(reg);
    PrintIo io(reg, saving);
    TIdePreferences &p = IdePreferences();
    page_setup(io, printer, p);
    text_options(io, printer, p);
    if (saving)
        (void)reg.save();
    else
        (void)reg.flush();  // the keys the load created; the save reports what cannot be written
}

// The key of a style; nothing for a name that is empty or would reach another key.
std::optional<std::string> style_key(const TTextStyleWrapper *wrapper)
{
    if (!wrapper || !wrapper->Style)
        return std::nullopt;
    const std::string &name = wrapper->Style->Name;
    if (name.empty() || name.find('\\') != std::string::npos)
        return std::nullopt;
    return settings_key(std::string(kSectionEnvironment) + "\\TextStyles\\" + name);
}

} // namespace

TPrinterFont &GlobalMemoFont()
{
    static TPrinterFont font;
    return font;
}

void LoadPrintSetup(TPreviewPrinter *printer)
{
    if (printer)
        walk_print_setup(*printer, false);
}

void SavePrintSetup(TPreviewPrinter *printer)
{
    if (printer)
        walk_print_setup(*printer, true);
}

// ---- text-style colours -----------------------------------------------------------------------

TTextStyleWrapper::TTextStyleWrapper(TTextStyle *style) : Style(style)
{
    if (!style)
        return;
    CustomBackColor = DefaultBackColor = style->Color;
    CustomForeColor = DefaultForeColor = style->FontColor;
}

void LoadEnvironmentFlags(TTextStyleWrapper *wrapper)
{
    const std::optional<std::string> key = style_key(wrapper);
    if (!key)
        return;
    TKXRegistry reg;
    report_settings_damage(reg);
    (void)reg.open_key(*key, true);
    TTextStyleWrapper &w = *wrapper;
    const auto colour = [&](const char *name, TColor &field) {
        field = static_cast<TColor>(ReadRegInteger(reg, name, static_cast<int32_t>(field)));
    };
    w.UseDefaultBackColor = ReadRegInteger(reg, "UseDefaultBackColor", w.UseDefaultBackColor) != 0;
    w.UseDefaultForeColor = ReadRegInteger(reg, "UseDefaultForeColor", w.UseDefaultForeColor) != 0;
    colour("DefaultBackColor", w.DefaultBackColor);
    colour("DefaultForeColor", w.DefaultForeColor);
    colour("CustomBackColor", w.CustomBackColor);
    colour("CustomForeColor", w.CustomForeColor);
    reg.close_key();
    (void)reg.flush();  // the key the load created
}

void SaveEnvironmentFlags(TTextStyleWrapper *wrapper)
{
    const std::optional<std::string> key = style_key(wrapper);
    if (!key)
        return;
    TKXRegistry reg;
    report_settings_damage(reg);
    (void)reg.open_key(*key, true);
    const TTextStyleWrapper &w = *wrapper;
    WriteRegInteger(reg, "UseDefaultBackColor", w.UseDefaultBackColor ? 1 : 0);
    WriteRegInteger(reg, "UseDefaultForeColor", w.UseDefaultForeColor ? 1 : 0);
    WriteRegInteger(reg, "DefaultBackColor", static_cast<int32_t>(w.DefaultBackColor));
    WriteRegInteger(reg, "DefaultForeColor", static_cast<int32_t>(w.DefaultForeColor));
    WriteRegInteger(reg, "CustomBackColor", static_cast<int32_t>(w.CustomBackColor));
    WriteRegInteger(reg, "CustomForeColor", static_cast<int32_t>(w.CustomForeColor));
    reg.close_key();
    (void)reg.save();
}
