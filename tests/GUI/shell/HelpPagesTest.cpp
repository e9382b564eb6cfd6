// The help pages the build stages in <build>/korvex/docs, seen from the IDE: the keystrokes page
// lists exactly the shortcuts of the main window's commands, and the instruction-set
// reference's first page renders on a real X server (Xvfb), shown by QTextBrowser.
#include "GuiHarness.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTextBrowser>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

#include "shell/frmKXMain.h"

namespace fs = std::filesystem;

namespace {

fs::path staged_docs() { return fs::path(KX_TOOLS_DIR).parent_path() / "korvex" / "docs"; }

std::string read_file(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

QString html_escaped(const QString &text) { return text.toHtmlEscaped(); }

// A caption as the menu shows it: the mnemonic marks taken out ("&&" is one "&").
QString plain_caption(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove('&');
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

// One row of the keystrokes page: key, menu (submenus joined by ", "), command.
using KeyRow = std::tuple<QString, QString, QString>;

void collect_keys(QMenu *menu, const QString &path, std::set<KeyRow> &rows)
{
    for (QAction *action : menu->actions()) {
        if (QMenu *sub = action->menu()) {
            collect_keys(sub, path + ", " + plain_caption(sub->title()), rows);
            continue;
        }
        if (action->isSeparator() || action->shortcut().isEmpty())
            continue;
        rows.insert({action->shortcut().toString(QKeySequence::PortableText), path,
                     plain_caption(action->text())});
    }
}

QString row_html(const KeyRow &row)
{
    return QStringLiteral("<tr><td class=\"key\">%1</td><td>%2</td><td>%3</td></tr>")
        .arg(html_escaped(std::get<0>(row)), html_escaped(std::get<1>(row)),
             html_escaped(std::get<2>(row)));
}

class HelpPages : public GuiTest {};

// The page is written by hand; this keeps it from drifting from the commands: every shortcut
// of the menus is a row, and every row is a shortcut. On a difference the rows the page needs
// are printed.
TEST_F(HelpPages, TheKeystrokesPageListsEveryShortcutOfTheMenus)
{
    std::set<KeyRow> actual;
    for (QAction *top : Main().menuBar()->actions())
        if (QMenu *menu = top->menu())
            collect_keys(menu, plain_caption(menu->title()), actual);
    ASSERT_GT(actual.size(), 30u);

    const QString page = QString::fromStdString(read_file(staged_docs() / "keystrokes.html"));
    ASSERT_FALSE(page.isEmpty()) << (staged_docs() / "keystrokes.html").string();
    std::set<QString> listed;
    const QRegularExpression row(
        QStringLiteral("<tr><td class=\"key\">[^<]*</td><td>[^<]*</td><td>[^<]*</td></tr>"));
    for (auto it = row.globalMatch(page); it.hasNext();)
        listed.insert(it.next().captured(0));
    std::set<QString> wanted;
    for (const KeyRow &r : actual)
        wanted.insert(row_html(r));

    std::string missing, extra;
    for (const QString &r : wanted)
        if (!listed.count(r))
            missing += r.toStdString() + "\n";
    for (const QString &r : listed)
        if (!wanted.count(r))
            extra += r.toStdString() + "\n";
    EXPECT_TRUE(missing.empty()) << "rows the page lacks:\n" << missing;
    EXPECT_TRUE(extra.empty()) << "rows of no command:\n" << extra;
}

class InstructionReferenceScreenshotChild : public GuiTest {};

TEST_F(InstructionReferenceScreenshotChild, DISABLED_CaptureTheFirstPage)
{
    const QString out = qEnvironmentVariable("KX_SCREENSHOT");
    if (out.isEmpty())
        GTEST_SKIP() << "runs as the child of InstructionReferenceUnderX only";
    const fs::path page = staged_docs() / "instructions.html";
    ASSERT_TRUE(fs::is_regular_file(page)) << page.string();
    QTextBrowser browser;
    browser.setWindowTitle(QStringLiteral("Vireon instruction set reference"));
    browser.setSource(QUrl::fromLocalFile(QString::fromStdString(page.string())));
    browser.setGeometry(0, 0, 1000, 740);
    browser.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&browser));
    QTest::qWait(300);
    const QPixmap shot = browser.screen()->grabWindow(0);
    ASSERT_TRUE(shot.save(out, "PNG"));
}

TEST(InstructionReferenceUnderX, TheFirstPageRenders)
{
    const XScreenshot shot = screenshot_under_x(
        "InstructionReferenceScreenshotChild.DISABLED_CaptureTheFirstPage",
        "instruction_reference.png");
    if (shot.skipped)
        GTEST_SKIP() << "Xvfb is not installed (./kx installs it): no screenshot taken";
    ASSERT_TRUE(shot.failure.empty()) << shot.failure;
    // Text in black on white, and the shaded header cells of the field table.
    EXPECT_GT(count_pixels_near(shot.image, qRgb(0, 0, 0), 60), 2000);
    EXPECT_GT(count_pixels(shot.image, qRgb(0xE8, 0xEE, 0xF6)), 1000);
}

} // namespace
