// The print setup and the editor's text-style colours in the settings store: the form's values
// when nothing is stored, stored numbers of enumerations and font styles, values of the wrong
// type or out of use, a save that loads back whole, and the colours of one syntax element.
#include "settings/guiEnvironment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "SettingsDoubles.h"

namespace {

constexpr const char *kPrint = "Print Setup\\";
constexpr const char *kText = "Print Setup\\Text Options\\";

class PrintSetup : public ::testing::Test {
protected:
    std::unique_ptr<SettingsSandbox> sandbox;
    TPreviewPrinter printer;  // the form's values

    void SetUp() override
    {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        sandbox = std::make_unique<SettingsSandbox>("print-" + name);
        GlobalMemoFont() = TPrinterFont{};
    }
    void TearDown() override
    {
        GlobalMemoFont() = TPrinterFont{};
        sandbox.reset();
    }
    static void store(const std::string &key, const std::function<void(TKXRegistry &)> &write)
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key(key), true));
        write(reg);
        ASSERT_TRUE(reg.flush());
    }
    static std::string store_text() { return TKXRegistry().serialize(); }
    std::vector<HeadlessMessageBoxHost::Shown> &boxes()
    {
        return headless_message_box_host().shown;
    }
};

TEST_F(PrintSetup, WithNothingStoredTheFormsValuesStayAndTheKeysAreCreated)
{
    IdePreferences().PrintPagePosition = 1;
    GlobalMemoFont().name = "Editor Mono";
    GlobalMemoFont().bold = true;
    LoadPrintSetup(&printer);
    EXPECT_TRUE(printer == TPreviewPrinter{});
    EXPECT_EQ(printer.TextOptions.PageNumText, "Page %d");
    EXPECT_EQ(IdePreferences().PrintPagePosition, 0) << "not the current value";
    TPrinterFont expected_font = GlobalMemoFont();
    expected_font.bold = false;
    EXPECT_EQ(IdePreferences().PrintFont, expected_font) << "the editor's font without style";
    TKXRegistry reg;
    for (const char *key : {"Print Setup\\", "Print Setup\\Text Options\\",
                            "Print Setup\\Text Options\\Body Font\\",
                            "Print Setup\\Text Options\\Footer Font\\",
                            "Print Setup\\Text Options\\Header Font\\",
                            "Print Setup\\Text Options\\Page Number Font\\"}) {
        ASSERT_TRUE(reg.open_key(settings_key(key), false)) << key;
        EXPECT_TRUE(reg.value_names().empty()) << key << ": nothing stored";
    }
}

// One stored value and what the load makes of it.
struct ValueCase {
    const char *name;
    const char *key;
    std::function<void(TKXRegistry &)> write;
    std::function<bool(const TPreviewPrinter &, const TIdePreferences &)> check;
};

const ValueCase kValues[] = {
    {"units_1", kPrint, [](TKXRegistry &r) { (void)r.write_integer("Units", 1); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.Units() == TPrintUnits::unMillimeters;
     }},
    {"units_7_gives_0", kPrint,
     [](TKXRegistry &r) { (void)r.write_integer("Units", 7); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.Units() == TPrintUnits::unInches;
     }},
    {"orientation_landscape", kPrint,
     [](TKXRegistry &r) { (void)r.write_integer("Orientation", 1); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.Orientation == TPrintOrientation::poLandscape;
     }},
    {"zoom_option_3_stays", kPrint, [](TKXRegistry &r) { (void)r.write_integer("Zoom Option", 3); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.ZoomOption == TZoomOption::zoPercent;
     }},
    {"zoom_option_4_gives_0", kPrint,
     [](TKXRegistry &r) { (void)r.write_integer("Zoom Option", 4); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.ZoomOption == TZoomOption::zoFitToPage;
     }},
    {"zoom_value_250", kPrint, [](TKXRegistry &r) { (void)r.write_integer("Zoom Value", 250); },
     [](const TPreviewPrinter &p, const TIdePreferences &) { return p.ZoomVal == 250; }},
    {"zoom_value_0_keeps", kPrint, [](TKXRegistry &r) { (void)r.write_integer("Zoom Value", 0); },
     [](const TPreviewPrinter &p, const TIdePreferences &) { return p.ZoomVal == 100; }},
    {"zoom_value_negative_keeps", kPrint,
     [](TKXRegistry &r) { (void)r.write_integer("Zoom Value", -40); },
     [](const TPreviewPrinter &p, const TIdePreferences &) { return p.ZoomVal == 100; }},
    {"boolean_any_number_but_0", kPrint,
     [](TKXRegistry &r) {
         (void)r.write_integer("Wrap Lines", 7);
         (void)r.write_integer("Use Header", 0);
         (void)r.write_integer("Print Line Numbers", -1);
     },
     [](const TPreviewPrinter &p, const TIdePreferences &s) {
         return p.TextOptions.WrapLines && !p.TextOptions.UseHeader && s.PrintLineNumbers;
     }},
    {"margin_as_float", kPrint, [](TKXRegistry &r) { (void)r.write_float("Margin Left", 2.5); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.MarginLeft == 2.5;
     }},
    {"header_margin_as_integer_ignored", kPrint,
     [](TKXRegistry &r) { (void)r.write_integer("Header Margin", 3); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.HeaderMargin == 0.5;
     }},
    {"margin_nan_keeps", kPrint,
     [](TKXRegistry &r) {
         (void)r.write_float("Margin Top", std::numeric_limits<double>::quiet_NaN());
     },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.MarginTop == 1;
     }},
    {"margin_infinite_keeps", kPrint,
     [](TKXRegistry &r) {
         (void)r.write_float("Margin Right", std::numeric_limits<double>::infinity());
     },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.MarginRight == 1;
     }},
    {"margin_negative_keeps", kPrint,
     [](TKXRegistry &r) { (void)r.write_float("Margin Bottom", -0.25); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.MarginBottom == 1;
     }},
    {"footer_margin_nan_keeps", kText,
     [](TKXRegistry &r) {
         (void)r.write_float("Footer Margin", std::numeric_limits<double>::quiet_NaN());
     },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.FooterMargin == 0.75;
     }},
    {"print_font_style_5_bold_underline", kPrint,
     [](TKXRegistry &r) { (void)r.write_integer("Print Font Style", 5); },
     [](const TPreviewPrinter &, const TIdePreferences &s) {
         const TPrinterFont &f = s.PrintFont;
         return f.bold && !f.italic && f.underline && !f.strikeout;
     }},
    {"print_font_style_16_none", kPrint,
     [](TKXRegistry &r) { (void)r.write_integer("Print Font Style", 16); },
     [](const TPreviewPrinter &, const TIdePreferences &s) {
         const TPrinterFont &f = s.PrintFont;
         return !f.bold && !f.italic && !f.underline && !f.strikeout;
     }},
    {"empty_page_number_text_is_missing", kText,
     [](TKXRegistry &r) { (void)r.write_string("Page Number Text", ""); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.PageNumText == "Page %d";
     }},
    {"empty_print_font_name_is_the_editors", kPrint,
     [](TKXRegistry &r) { (void)r.write_string("Print Font Name", ""); },
     [](const TPreviewPrinter &, const TIdePreferences &s) {
         return s.PrintFont.name == GlobalMemoFont().name;
     }},
    {"alignment_3_gives_0", kText, [](TKXRegistry &r) { (void)r.write_integer("Header Align", 3); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.HeaderAlign == TTextAlign::taLeftJustify;
     }},
    {"draw_style_2", kText, [](TKXRegistry &r) { (void)r.write_integer("Draw Style", 2); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.DrawStyle == TDrawStyle::dsShadow;
     }},
    {"no_page_number", kText,
     [](TKXRegistry &r) { (void)r.write_integer("Print Page Number", 2); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.PrintPageNumber == TPageNumberPosition::pnNone;
     }},
    {"body_font_style_16_none", "Print Setup\\Text Options\\Header Font\\",
     [](TKXRegistry &r) { (void)r.write_integer("Style", 16); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return !p.TextOptions.HeaderFont.bold;
     }},
    {"font_pitch_3_gives_default", "Print Setup\\Text Options\\Body Font\\",
     [](TKXRegistry &r) { (void)r.write_integer("Pitch", 3); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.BodyFont.pitch == fpDefault;
     }},
    {"font_size_decides_over_height", "Print Setup\\Text Options\\Body Font\\",
     [](TKXRegistry &r) {
         (void)r.write_integer("Height", -13);
         (void)r.write_integer("Size", 18);
     },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.BodyFont.size == 18 && p.TextOptions.BodyFont.height == -24;
     }},
    {"font_height_0_keeps", "Print Setup\\Text Options\\Footer Font\\",
     [](TKXRegistry &r) { (void)r.write_integer("Height", 0); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.FooterFont.height == -13 && p.TextOptions.FooterFont.size == 10;
     }},
    {"font_size_huge_keeps", "Print Setup\\Text Options\\Footer Font\\",
     [](TKXRegistry &r) { (void)r.write_integer("Size", 2000000000); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.FooterFont.size == 10;
     }},
    {"charset_300_keeps", "Print Setup\\Text Options\\Page Number Font\\",
     [](TKXRegistry &r) { (void)r.write_integer("Charset", 300); },
     [](const TPreviewPrinter &p, const TIdePreferences &) {
         return p.TextOptions.PageNumFont.charset == kDefaultCharset;
     }},
};

class PrintValue : public PrintSetup, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(PrintValue, Loads)
{
    store(GetParam().key, GetParam().write);
    LoadPrintSetup(&printer);
    EXPECT_TRUE(GetParam().check(printer, IdePreferences()));
    EXPECT_TRUE(boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(All, PrintValue, ::testing::ValuesIn(kValues),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(PrintSetup, ASavedSetupLoadsBackWhole)
{
    LoadPrintSetup(&printer);
    printer.SetUnits(TPrintUnits::unMillimeters);
    printer.Orientation = TPrintOrientation::poLandscape;
    printer.ZoomOption = TZoomOption::zoFitToHeight;
    printer.ZoomVal = 175;
    TTextOptions &t = printer.TextOptions;
    t.DrawStyle = TDrawStyle::dsFrame;
    t.UseHeader = false;
    t.UseMarginRight = false;
    t.MarginLeft = 25.4;
    t.MarginBottom = 0;
    t.HeaderMargin = 12.125;
    t.FooterMargin = 7.5;
    t.HeaderAlign = TTextAlign::taLeftJustify;
    t.FooterAlign = TTextAlign::taRightJustify;
    t.PageNumAlign = TTextAlign::taCenter;
    t.PrintPageNumber = TPageNumberPosition::pnTop;
    t.PageNumText = "- %d -";
    t.Header = "Korvex: main.c";
    t.Footer = "draft";
    t.WrapLines = true;
    t.ColorSyntax = false;
    t.BodyFont = printer_font("Mono", -14);  // a height whose size rounds up
    t.BodyFont.colour = clWindowText;
    t.BodyFont.pitch = fpFixed;
    t.BodyFont.charset = 0;
    t.HeaderFont.SetSize(30);
    t.HeaderFont.italic = true;
    t.HeaderFont.strikeout = true;
    t.FooterFont.colour = 0x80000005;  // the window colour
    t.PageNumFont.underline = true;
    t.PageNumFont.italic = false;
    TIdePreferences &s = IdePreferences();
    s.PrintLineNumbers = true;
    s.PrintPagePosition = 1;
    s.PrintFont = printer_font("Print Face", -19);
    s.PrintFont.colour = 0x00123456;
    s.PrintFont.bold = s.PrintFont.italic = s.PrintFont.underline = s.PrintFont.strikeout = true;
    const TPreviewPrinter saved = printer;
    const TPrinterFont saved_font = s.PrintFont;
    SavePrintSetup(&printer);
    EXPECT_TRUE(boxes().empty());

    TPreviewPrinter fresh;
    s.PrintLineNumbers = false;
    s.PrintPagePosition = 0;
    s.PrintFont = TPrinterFont{};
    LoadPrintSetup(&fresh);
    EXPECT_TRUE(fresh == saved);
    EXPECT_EQ(fresh.TextOptions.BodyFont.height, -14);
    EXPECT_EQ(fresh.TextOptions.FooterFont.colour, 0x80000005u);
    EXPECT_EQ(s.PrintFont, saved_font);
    EXPECT_TRUE(s.PrintLineNumbers);
    EXPECT_EQ(s.PrintPagePosition, 1);
}

TEST_F(PrintSetup, ValuesGoUnderTheirKeysWithTheirOwnNumbers)
{
    printer.SetUnits(TPrintUnits::unMillimeters);
    printer.TextOptions.HeaderFont.underline = true;  // bold too, from the form
    printer.TextOptions.FooterMargin = 0.5;
    SavePrintSetup(&printer);
    TKXRegistry reg;
    ASSERT_TRUE(reg.open_key(settings_key(kPrint), false));
    EXPECT_EQ(reg.read_integer("Units"), 1);
    EXPECT_EQ(reg.read_float("Header Margin"), 0.5);
    EXPECT_FALSE(reg.value_exists("Footer Margin"));
    EXPECT_EQ(reg.read_integer("Print Font Size"), 10);
    const std::vector<std::string> names = reg.value_names();
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names[0], "Units");
    EXPECT_EQ(names[1], "Print Line Numbers");
    EXPECT_EQ(names[2], "Orientation");
    ASSERT_TRUE(reg.open_key(settings_key(kText), false));
    EXPECT_EQ(reg.read_float("Footer Margin"), 0.5);
    EXPECT_EQ(reg.read_integer("Page Number Align"), 1);
    EXPECT_EQ(reg.read_integer("Print Page Number"), 0);
    ASSERT_TRUE(reg.open_key(settings_key("Print Setup\\Text Options\\Header Font\\"), false));
    EXPECT_EQ(reg.read_integer("Style"), 5);
    EXPECT_EQ(reg.read_integer("Height"), -24);
    EXPECT_EQ(reg.read_string("Name"), "Times New Roman");
    EXPECT_EQ(reg.read_integer("Color"), static_cast<int32_t>(clWindowText));
    EXPECT_EQ(reg.read_integer("Charset"), 1);
}

// A close before any load: the print font is the editor's default, never missing.
TEST_F(PrintSetup, ASaveBeforeAnyLoadWritesTheDefaults)
{
    SavePrintSetup(&printer);
    TKXRegistry reg;
    ASSERT_TRUE(reg.open_key(settings_key(kPrint), false));
    EXPECT_EQ(reg.read_string("Print Font Name"), TPrinterFont{}.name);
    EXPECT_EQ(reg.read_integer("Print Font Height"), TPrinterFont{}.height);
    EXPECT_EQ(reg.read_integer("Print Font Style"), 0);
    TPreviewPrinter fresh;
    LoadPrintSetup(&fresh);
    EXPECT_TRUE(fresh == printer);
}

TEST_F(PrintSetup, ANullComponentTouchesNothing)
{
    store(kPrint, [](TKXRegistry &r) { (void)r.write_string("Print Font Name", "Stored"); });
    const std::string before = store_text();
    IdePreferences().PrintFont.name = "Mine";
    LoadPrintSetup(nullptr);
    SavePrintSetup(nullptr);
    EXPECT_EQ(IdePreferences().PrintFont.name, "Mine");
    EXPECT_EQ(store_text(), before);
}

// ---- text-style colours -----------------------------------------------------------------------

constexpr const char *kStyleKey = "Environment\\TextStyles\\Comment";

TEST_F(PrintSetup, TheFirstListingCreatesAnEmptyKeyAndKeepsTheStylesColours)
{
    TTextStyle style{"Comment", 0x00EEDDCC, 0x00008000};
    TTextStyleWrapper wrapper(&style);
    LoadEnvironmentFlags(&wrapper);
    EXPECT_TRUE(wrapper.UseDefaultBackColor);
    EXPECT_TRUE(wrapper.UseDefaultForeColor);
    EXPECT_EQ(wrapper.DefaultBackColor, 0x00EEDDCCu);
    EXPECT_EQ(wrapper.CustomBackColor, 0x00EEDDCCu);
    EXPECT_EQ(wrapper.DefaultForeColor, 0x00008000u);
    EXPECT_EQ(wrapper.CustomForeColor, 0x00008000u);
    TKXRegistry reg;
    ASSERT_TRUE(reg.open_key(settings_key(kStyleKey), false));
    EXPECT_TRUE(reg.value_names().empty());
}

TEST_F(PrintSetup, TextStyleColoursLoadBackAndAStringColourIsIgnored)
{
    TTextStyle style{"Comment", clWhite, clBlack};
    TTextStyleWrapper saved(&style);
    saved.UseDefaultBackColor = false;
    saved.CustomBackColor = 0x00102030;
    saved.DefaultForeColor = clWindowText;
    saved.CustomForeColor = 0x000000FF;
    SaveEnvironmentFlags(&saved);
    TKXRegistry reg;
    ASSERT_TRUE(reg.open_key(settings_key(kStyleKey), false));
    EXPECT_EQ(reg.value_names(),
              (std::vector<std::string>{"UseDefaultBackColor", "UseDefaultForeColor",
                                        "DefaultBackColor", "DefaultForeColor",
                                        "CustomBackColor", "CustomForeColor"}));
    EXPECT_EQ(reg.read_integer("UseDefaultBackColor"), 0);

    TTextStyleWrapper loaded(&style);
    LoadEnvironmentFlags(&loaded);
    EXPECT_FALSE(loaded.UseDefaultBackColor);
    EXPECT_TRUE(loaded.UseDefaultForeColor);
    EXPECT_EQ(loaded.CustomBackColor, 0x00102030u);
    EXPECT_EQ(loaded.DefaultForeColor, clWindowText);
    EXPECT_EQ(loaded.CustomForeColor, 0x000000FFu);

    store(kStyleKey, [](TKXRegistry &r) { (void)r.write_string("DefaultBackColor", "255"); });
    TTextStyle other{"Comment", 0x00ABCDEF, clBlack};
    TTextStyleWrapper kept(&other);
    LoadEnvironmentFlags(&kept);
    EXPECT_EQ(kept.DefaultBackColor, 0x00ABCDEFu);
}

TEST_F(PrintSetup, AWrapperWithoutAStyleOrWithABadNameTouchesNothing)
{
    const std::string before = store_text();
    TTextStyleWrapper bare;
    LoadEnvironmentFlags(&bare);
    SaveEnvironmentFlags(&bare);
    LoadEnvironmentFlags(nullptr);
    SaveEnvironmentFlags(nullptr);
    for (const char *name : {"", "a\\b"}) {
        TTextStyle style{name, clWhite, clBlack};
        TTextStyleWrapper wrapper(&style);
        LoadEnvironmentFlags(&wrapper);
        SaveEnvironmentFlags(&wrapper);
    }
    EXPECT_EQ(store_text(), before);
}

} // namespace
