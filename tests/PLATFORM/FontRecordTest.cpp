// Window font records on Qt fonts: what ApplyFontRecord sets, what ReadFontRecord reads, and
// that reading then applying gives the same font back.
#include "FontRecord.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

class FontRecordTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (QGuiApplication::instance())
            return;
        if (!std::getenv("QT_QPA_PLATFORM"))
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "test_platform";
        static char *argv[] = {name, nullptr};
        static QGuiApplication app(argc, argv);
    }
};

struct ApplyCase {
    const char *name;
    TFontProperties record;
    int point_size;   // -1: set by pixels
    int pixel_size;   // -1: set by points
    bool bold, italic, underline, strikeout;
};

const ApplyCase kApply[] = {
    {"size_decides_over_height", {0, -11, "Courier New", fpDefault, 10, false, false, false, false},
     10, -1, false, false, false, false},
    {"height_alone_sets_pixels", {0, -16, "Courier New", fpDefault, 0, false, false, false, false},
     -1, 16, false, false, false, false},
    {"positive_height_alone", {0, 14, "Terminal", fpDefault, 0, false, false, false, false},
     -1, 14, false, false, false, false},
    {"every_style", {0, -11, "Terminal", fpDefault, 9, true, true, true, true},
     9, -1, true, true, true, true},
    {"bold_only", {0, -11, "Terminal", fpDefault, 8, true, false, false, false},
     8, -1, true, false, false, false},
    {"underline_and_strikeout", {0, -11, "Terminal", fpDefault, 8, false, false, true, true},
     8, -1, false, false, true, true},
};

class ApplyFont : public FontRecordTest, public ::testing::WithParamInterface<ApplyCase> {};

} // namespace

TEST_P(ApplyFont, SetsTheRecordsFields)
{
    const ApplyCase &c = GetParam();
    TFont target;
    // A styled font beforehand: the record's style replaces it.
    target.font = QFont("Other", 30, QFont::Bold, true);
    target.font.setUnderline(true);
    target.font.setStrikeOut(true);
    ApplyFontRecord(target, c.record);
    EXPECT_EQ(target.font.family().toStdString(), c.record.name);
    EXPECT_EQ(target.font.pointSize(), c.point_size);
    EXPECT_EQ(target.font.pixelSize(), c.pixel_size);
    EXPECT_EQ(target.font.bold(), c.bold);
    EXPECT_EQ(target.font.italic(), c.italic);
    EXPECT_EQ(target.font.underline(), c.underline);
    EXPECT_EQ(target.font.strikeOut(), c.strikeout);
}

INSTANTIATE_TEST_SUITE_P(All, ApplyFont, ::testing::ValuesIn(kApply),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(FontRecordTest, ColourTravelsBesideTheFont)
{
    TFont target;
    ApplyFontRecord(target, {0x00FF8000, -11, "Terminal", fpDefault, 8, false, false, false, false});
    EXPECT_EQ(target.colour, 0x00FF8000u);
    TFontProperties back;
    ReadFontRecord(back, target);
    EXPECT_EQ(back.colour, 0x00FF8000u);
}

TEST_F(FontRecordTest, PitchIsAskedForOnlyWhenTheRecordSaysSo)
{
    TFont target;
    ApplyFontRecord(target, {0, -11, "Courier New", fpFixed, 8, false, false, false, false});
    EXPECT_TRUE(target.font.fixedPitch());
    EXPECT_TRUE(target.font.resolveMask() & QFont::FixedPitchResolved);
    ApplyFontRecord(target, {0, -11, "Courier New", fpVariable, 8, false, false, false, false});
    EXPECT_FALSE(target.font.fixedPitch());
    EXPECT_TRUE(target.font.resolveMask() & QFont::FixedPitchResolved);
    ApplyFontRecord(target, {0, -11, "Courier New", fpDefault, 8, false, false, false, false});
    EXPECT_FALSE(target.font.resolveMask() & QFont::FixedPitchResolved);
    TFontProperties back;
    ReadFontRecord(back, target);
    EXPECT_EQ(back.pitch, fpDefault);
}

TEST_F(FontRecordTest, ReadGivesHeightAndSizeFromEitherUnit)
{
    const double dpi = QGuiApplication::primaryScreen()
                           ? QGuiApplication::primaryScreen()->logicalDotsPerInchY()
                           : 96.0;
    TFont points{QFont("Terminal", 10), 0};
    TFontProperties record;
    ReadFontRecord(record, points);
    EXPECT_EQ(record.size, 10);
    EXPECT_EQ(record.height, -static_cast<int32_t>(std::lround(10 * dpi / 72)));
    EXPECT_EQ(record.name, "Terminal");

    TFont pixels;
    pixels.font.setPixelSize(20);
    ReadFontRecord(record, pixels);
    EXPECT_EQ(record.height, -20);
    EXPECT_EQ(record.size, static_cast<int32_t>(std::lround(20 * 72 / dpi)));
}

namespace {
TFont styled(const char *family, int points, bool bold, bool italic, bool underline,
             bool strikeout, TColor colour)
{
    TFont f{QFont(family, points, bold ? QFont::Bold : QFont::Normal, italic), colour};
    f.font.setUnderline(underline);
    f.font.setStrikeOut(strikeout);
    return f;
}
TFont pitched(const char *family, int points, bool fixed)
{
    TFont f{QFont(family, points), 0x123456};
    f.font.setFixedPitch(fixed);
    return f;
}
// Fonts need the application object: each case makes its font when it runs.
struct RoundCase {
    const char *name;
    TFont (*make)();
};
const RoundCase kRound[] = {
    {"plain", [] { return styled("Terminal", 8, false, false, false, false, 0); }},
    {"bold_italic", [] { return styled("Courier New", 12, true, true, false, false, 0xFF); }},
    {"underline_strikeout",
     [] { return styled("Courier New", 9, false, false, true, true, 0x80000005); }},
    {"fixed_pitch", [] { return pitched("Courier New", 11, true); }},
    {"variable_pitch", [] { return pitched("Arial", 7, false); }},
};
class RoundTrip : public FontRecordTest, public ::testing::WithParamInterface<RoundCase> {};
} // namespace

TEST_P(RoundTrip, ReadThenApplyReproducesTheFont)
{
    const TFont original = GetParam().make();
    TFontProperties record;
    ReadFontRecord(record, original);
    TFont copy;
    copy.font = QFont("Something Else", 40, QFont::Bold, true);
    copy.font.setFixedPitch(true);
    ApplyFontRecord(copy, record);
    EXPECT_TRUE(copy.font == original.font)
        << copy.font.toString().toStdString() << " (expected "
        << original.font.toString().toStdString() << ")";
    EXPECT_EQ(copy.colour, original.colour);
    TFontProperties again;
    ReadFontRecord(again, copy);
    EXPECT_EQ(again, record);
}

INSTANTIATE_TEST_SUITE_P(All, RoundTrip, ::testing::ValuesIn(kRound),
                         [](const auto &i) { return std::string(i.param.name); });
