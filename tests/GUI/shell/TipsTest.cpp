// The tip of the day: the tips file as shipped and as a user's disk may hold it (missing, empty,
// binary, far too large), and the dialog: Next and Previous round the list, the check box that
// writes "Show Tips" at once, and the links.
#include "GuiHarness.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QImage>
#include <QTest>
#include <QTextBrowser>

#include <filesystem>
#include <functional>
#include <fstream>

#include "settings/guiKXPreferences.h"
#include "core/guiExceptions.h"
#include "shell/frmKXTips.h"
#include "shell/guiHelpHost.h"

namespace {

namespace fs = std::filesystem;

const std::string kShipped = std::string(KX_TEST_DATA) + "/../../TARGET/resources/Tips.dat";

TEST(TipsFile, TheShippedFileHoldsTwentyTipsEachWithATitleAndText)
{
    std::string reason;
    const std::optional<std::vector<TTip>> tips = load_tips_file(kShipped, reason);
    ASSERT_TRUE(tips) << reason;
    EXPECT_GE(tips->size(), 20u);
    for (const TTip &tip : *tips) {
        EXPECT_FALSE(tip.title.empty());
        EXPECT_GT(tip.text.size(), 40u) << tip.title;
        EXPECT_EQ(tip.title.front() == '#', false) << "a comment taken as a tip";
    }
}

TEST(TipsFile, ParagraphsWithTitlesCommentsAndLineEnds)
{
    std::string reason;
    const auto tips = parse_tips("# comment\r\n\r\nFirst\r\nline one\r\nline two\r\n\r\n\r\n"
                                 "Second\n  indented text  \n# not a comment here\n",
                                 reason);
    ASSERT_TRUE(tips) << reason;
    ASSERT_EQ(tips->size(), 2u);
    EXPECT_EQ((*tips)[0].title, "First");
    EXPECT_EQ((*tips)[0].text, "line one line two");
    EXPECT_EQ((*tips)[1].title, "Second");
    EXPECT_EQ((*tips)[1].text, "indented text # not a comment here");
}

struct BadTipsCase {
    const char *name;
    std::function<void(const fs::path &)> make; // leaves nothing at the path for "missing"
    const char *why;
};

const BadTipsCase kBadTips[] = {
    {"Missing", [](const fs::path &) {}, "missing"},
    {"Empty", [](const fs::path &p) { std::ofstream(p, std::ios::binary); }, "no tip"},
    {"OnlyComments", [](const fs::path &p) { std::ofstream(p) << "# one\n# two\n\n"; }, "no tip"},
    {"Binary",
     [](const fs::path &p) {
         std::ofstream(p, std::ios::binary) << std::string("Ti\0\x01\x02ps\n\nx\n", 11);
     },
     "not a text file"},
    {"TenMegabytes",
     [](const fs::path &p) {
         std::ofstream out(p, std::ios::binary);
         const std::string line(1023, 'a');
         for (int i = 0; i < 10 * 1024; ++i)
             out << line << '\n';
     },
     "larger than"},
    {"Folder", [](const fs::path &p) { fs::create_directory(p); }, "not an ordinary file"},
};

class BadTipsFile : public GuiTest, public ::testing::WithParamInterface<BadTipsCase> {};

// No tip window opens; the reason names the file and says why.
TEST_P(BadTipsFile, IsRefusedNamingTheFileAndWhy)
{
    const fs::path path = m_dir / "Tips.dat";
    GetParam().make(path);
    std::string reason;
    EXPECT_FALSE(load_tips_file(path.string(), reason));
    EXPECT_NE(reason.find(path.string()), std::string::npos) << reason;
    EXPECT_NE(reason.find(GetParam().why), std::string::npos) << reason;
}

INSTANTIATE_TEST_SUITE_P(All, BadTipsFile, ::testing::ValuesIn(kBadTips),
                         [](const auto &info) { return std::string(info.param.name); });

class TipsDialog : public GuiTest {
protected:
    std::vector<TTip> m_tips{{"One", "first"}, {"Two", "second"}, {"Three", "third"}};
};

TEST_F(TipsDialog, NextAndPreviousGoRoundTheList)
{
    TfrmTips dialog(m_tips, 7, nullptr); // 7 is tip 1 round a list of three
    EXPECT_EQ(dialog.Index(), 1);
    EXPECT_EQ(dialog.lblTitle->text(), "Two");
    EXPECT_EQ(dialog.memTip->toPlainText(), "second");
    dialog.btnNext->click();
    dialog.btnNext->click();
    EXPECT_EQ(dialog.Index(), 0);
    EXPECT_EQ(dialog.lblTitle->text(), "One");
    dialog.btnPrevious->click();
    EXPECT_EQ(dialog.Index(), 2);
    EXPECT_EQ(dialog.memTip->toPlainText(), "third");
}

// The first shipped tip as the dialog shows it, kept in build/screenshots/ for a look: its
// title and text drawn, nothing blank.
TEST_F(TipsDialog, TheFirstShippedTipIsDrawn)
{
    std::string reason;
    std::optional<std::vector<TTip>> tips = load_tips_file(kShipped, reason);
    ASSERT_TRUE(tips) << reason;
    TfrmTips dialog(*tips, 0, nullptr);
    dialog.show();
    QTest::qWait(50);
    const QImage picture = dialog.grab().toImage();
    EXPECT_GT(count_pixels_near(picture, qRgb(0, 0, 255), 60), 30) << "the blue title";
    EXPECT_EQ(dialog.memTip->toPlainText().toStdString(), (*tips)[0].text);
    const fs::path kept = fs::path(KX_TOOLS_DIR).parent_path() / "screenshots";
    std::error_code ec;
    fs::create_directories(kept, ec);
    picture.save(QString::fromStdString((kept / "tip_of_the_day.png").string()), "PNG");
}

TEST_F(TipsDialog, TheCheckBoxWritesShowTipsAtOnce)
{
    IdePreferences().show_tips = true;
    TfrmTips dialog(m_tips, 0, nullptr);
    EXPECT_TRUE(dialog.chkShowTips->isChecked());
    const int saves = m_store.saves;
    dialog.chkShowTips->click();
    EXPECT_FALSE(IdePreferences().show_tips);
    EXPECT_EQ(m_store.saves, saves + 1) << "written without waiting for the dialog to close";
}

TEST_F(TipsDialog, EachLinkOpensItsPage)
{
    std::vector<TfrmTips::Link> opened;
    TfrmTips dialog(m_tips, 0, [&](TfrmTips::Link link) { opened.push_back(link); });
    for (const char *link : {"korvex", "vireon", "support", "elsewhere"})
        emit dialog.lblLinks->linkActivated(QString::fromLatin1(link));
    EXPECT_EQ(opened, (std::vector<TfrmTips::Link>{TfrmTips::Link::KorvexHome,
                                                   TfrmTips::Link::VireonHome,
                                                   TfrmTips::Link::Support}));
    EXPECT_TRUE(dialog.lblLinks->text().contains("Tech Support"));
}

// The program's own help windows load "Tips.dat" from the program directory; a file that cannot
// be used shows no dialog and says why.
TEST_F(TipsDialog, TheProgramsOwnWindowRefusesABadFileWithoutADialog)
{
    Write("Tips.dat", std::string("\0\0\0", 3));
    set_help_windows(nullptr);
    Main();
    try {
        help_windows().ShowTipOfTheDay(0);
        ADD_FAILURE() << "a binary tips file was taken";
    } catch (xErr &e) {
        EXPECT_NE(e.GetText().find("not a text file"), std::string::npos);
    }
}

} // namespace
