// A screenshot of the IDE on a real X server (Xvfb): the main window with its caption and status
// panels and an editor with coloured source, a breakpoint mark and the execution point. The
// test starts Xvfb, runs this program again on it with only the capture case, then checks the
// picture. Without Xvfb it is skipped.
#include "GuiHarness.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMdiArea>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <filesystem>

#include <Qsci/qscilexer.h>

#include "editor/KorvexLexer.h"
#include "settings/guiKXPreferences.h"
#include "settings/guiProjects.h"
#include "shell/kxwStartup.h"

namespace {

namespace fs = std::filesystem;

constexpr const char *kSource =
    "/* Blink the board's light. */\n"
    "#use \"vireon.lib\"\n"
    "int count;\n"
    "main()\n"
    "{\n"
    "    while (1) {\n"
    "        count = count + 1;\n"
    "    }\n"
    "}\n";

// The editor drawn in the font ./kx installs, without antialiasing: the picture's colours are
// the styles' own whatever other fonts the machine has.
void fix_editor_font(TfrmEdit *editor)
{
    QsciLexer *lexer = editor->Editor()->lexer();
    if (!lexer)
        return;
    for (int style = 0; style < kKorvexStyleCount; ++style) {
        QFont font(QString::fromLatin1(kScreenshotFont), 10);
        font.setStyleStrategy(QFont::NoAntialias);
        const TTextStyle &info = korvex_style(style);
        font.setBold(info.Bold);
        font.setItalic(info.Italic);
        lexer->setFont(font, style);
    }
    editor->Editor()->recolor();
}

// WM_NAME of the window as the X server holds it; empty without xprop.
QString x_window_name(QWidget *window)
{
    const QString xprop = QStandardPaths::findExecutable("xprop");
    if (xprop.isEmpty())
        return {};
    QProcess prop;
    prop.start(xprop, {"-id", QString::number(window->winId()), "WM_NAME"});
    if (!prop.waitForFinished(10000))
        return {};
    return QString::fromUtf8(prop.readAllStandardOutput()).trimmed();
}

// Runs only as the child of the test below, on the X server it started.
class ScreenshotChild : public GuiTest {};

TEST_F(ScreenshotChild, DISABLED_CaptureMainWindow)
{
    const QString out = qEnvironmentVariable("KX_SCREENSHOT");
    if (out.isEmpty())
        GTEST_SKIP() << "runs as the child of ScreenshotUnderX only";
    IdePreferences().window_state = TWindowState::Normal;
    IdePreferences().left = 0;
    IdePreferences().top = 0;
    IdePreferences().width = 900;
    IdePreferences().height = 600;
    IdePreferences().distribution = "Korvex";
    Write("main.c", kSource);
    TfrmMainWindow *main = StartIde({"kxw", "main.c"}, Path("kxw"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
    ASSERT_EQ(main->Editors().size(), 1u);
    TfrmEdit *editor = main->Editors()[0];
    fix_editor_font(editor);
    editor->showMaximized();
    editor->Editor()->setCursorPosition(6, 8);
    Type(editor, "x");
    QTest::qWait(300);
    // A maximized child keeps its caption, spelled as the file is, in its own title bar; the
    // main window's is the project's alone.
    EXPECT_EQ(editor->windowTitle(), "main.c *");
    EXPECT_EQ(main->windowTitle(), "Korvex");
    EXPECT_EQ(main->StatusPanel(1)->text(), "Line: 7");
    EXPECT_EQ(main->StatusPanel(2)->text(), "Col: 10");
    EXPECT_EQ(main->StatusPanel(3)->text(), "Modified");
    for (int i = 0; i < TfrmMainWindow::kStatusPanels; ++i)
        EXPECT_TRUE(main->StatusPanel(i)->isVisible()) << "panel " << i;
    // The caption as the X server holds it: once, nothing appended.
    const QString name = x_window_name(main);
    if (!name.isEmpty()) {
        EXPECT_TRUE(name.endsWith("= \"Korvex\"")) << name.toStdString();
    }
    // A breakpoint on the typed "x", the execution point on the "i" of "int", a bookmark on
    // the line of "main".
    editor->Editor()->setCursorPosition(3, 0);
    editor->ToggleBookmarkClick(1);
    editor->GetTextEdit()->SetLineMark(pack_position(6, 8), kBreakpointMark);
    editor->GetTextEdit()->SetLineMark(pack_position(2, 0), kExecutionPointMark);
    QTest::qWait(300);
    const QPixmap shot = main->screen()->grabWindow(0);
    ASSERT_TRUE(shot.save(out, "PNG"));
    main->close();
}

TEST(ScreenshotUnderX, MainWindowWithColouredSource)
{
    const XScreenshot shot =
        screenshot_under_x("ScreenshotChild.DISABLED_CaptureMainWindow", "main_window.png");
    if (shot.skipped)
        GTEST_SKIP() << "Xvfb is not installed (./kx installs it): no screenshot taken";
    ASSERT_TRUE(shot.failure.empty()) << shot.failure;
    const QImage &image = shot.image;
    EXPECT_EQ(image.size(), QSize(1024, 768));
    // Reserved words are blue, numbers and directives green, comments gray: the source is
    // coloured on screen (within a tolerance: the picture is what the X server drew).
    EXPECT_GT(count_pixels_near(image, qRgb(0, 0, 255), 40), 50);
    EXPECT_GT(count_pixels_near(image, qRgb(0, 128, 0), 40), 20);
    EXPECT_GT(count_pixels_near(image, qRgb(128, 128, 128), 24), 20);
    // The breakpoint's red and the execution point's lime behind one character each.
    EXPECT_GT(count_pixels(image, qRgb(255, 0, 0)), 40);
    EXPECT_LT(count_pixels(image, qRgb(255, 0, 0)), 400);
    EXPECT_GT(count_pixels(image, qRgb(0, 255, 0)), 40);
    EXPECT_LT(count_pixels(image, qRgb(0, 255, 0)), 400);
}

// A new user's windows after a restart: a project brings back counter.c and forever_file.c, the user
// clicks into forever_file.c (behind), maximizes it, a compile error marks a line, a new editor
// opens. What F5 would compile, the captions, the error line's colour, the new editor's state
// and every toolbar button's picture are checked on the real window.
TEST_F(ScreenshotChild, DISABLED_CaptureNewUserWindows)
{
    const QString out = qEnvironmentVariable("KX_SCREENSHOT");
    if (out.isEmpty())
        GTEST_SKIP() << "runs as the child of ScreenshotUnderX only";
    IdePreferences().window_state = TWindowState::Normal;
    IdePreferences().left = 0;
    IdePreferences().top = 0;
    IdePreferences().width = 1000;
    IdePreferences().height = 740;
    IdePreferences().distribution = "Korvex";
    std::string text = "/* Counts for ever. */\n";
    for (int line = 1; line < 30; ++line)
        text += "int value" + std::to_string(line) + " = " + std::to_string(line) + ";\n";
    const std::string counter = Write("counter.c", text), forever_file = Write("Forever.c", text);
    auto section = [](int k, const std::string &path) {
        const std::string s = numbered_section("OpenFile", k);
        return "[" + s + "]\r\n" + s + " Path=" + path + "\r\n" + s + " X=" +
               std::to_string(40 * k) + "\r\n" + s + " Y=" + std::to_string(30 * k) + "\r\n" +
               s + " W=520\r\n" + s + " H=300\r\n";
    };
    const std::string project = Write("p.kxp", "[Open Files]\r\nNumber Open=2\r\n" +
                                                  section(1, counter) + section(2, forever_file));
    TfrmMainWindow *main = StartIde({"kxw"}, Path("kxw"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
    QTest::qWait(200);
    gProject = std::make_unique<TKXProject>(project);
    gProject->ReadMruOpenFiles();
    ASSERT_EQ(main->Editors().size(), 2u);
    TfrmEdit *behind = main->FindEditor(forever_file);
    ASSERT_NE(behind, nullptr);
    for (TfrmEdit *editor : main->Editors())
        fix_editor_font(editor);
    QTest::qWait(200);

    // Item: the click brings it forward, and it is what F5 compiles. (No window manager gives
    // the window the focus here.)
    main->activateWindow();
    QApplication::setActiveWindow(main);
    QTest::qWait(100);
    QTest::mouseClick(behind->Editor()->viewport(), Qt::LeftButton, {}, QPoint(60, 8));
    QTest::qWait(200);
    EXPECT_EQ(main->ActiveEditorWindow(), behind);
    EXPECT_EQ(main->GetCompileEditor(), behind) << "F5 compiles the editor clicked into";

    // Item: maximized, the caption is the name as spelled; the main window's stays its own.
    behind->showMaximized();
    QTest::qWait(200);
    EXPECT_EQ(behind->windowTitle(), "Forever.c");
    EXPECT_EQ(main->windowTitle(), "Korvex");
    const QString name = x_window_name(main);
    if (!name.isEmpty()) {
        EXPECT_TRUE(name.endsWith("= \"Korvex\"")) << name.toStdString();
    }

    // Item: a compile error's mark leaves the editor maximized and its text readable.
    behind->SetErrorLine(3);
    main->ShowMessagesWindow();
    QTest::qWait(200);
    EXPECT_TRUE(behind->isMaximized()) << "the error mark un-maximized the editor";

    // Item: a new editor takes the maximized state.
    TfrmEdit *fresh = main->OpenFile(Write("fresh.c", "int fresh;\n"));
    ASSERT_NE(fresh, nullptr);
    QTest::qWait(200);
    EXPECT_TRUE(fresh->isMaximized());
    main->Workspace()->setActiveSubWindow(behind);
    QTest::qWait(300);

    // Item: every visible toolbar button shows a picture, not text.
    int buttons = 0;
    for (int group = 0; group < TfrmMainWindow::kToolBarCount; ++group) {
        QToolBar *bar = main->ToolBar(group);
        if (!bar || !bar->isVisible())
            continue;
        for (QAction *action : bar->actions()) {
            auto *button = qobject_cast<QToolButton *>(bar->widgetForAction(action));
            if (!button || action->isSeparator())
                continue;
            ++buttons;
            EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonIconOnly)
                << action->objectName().toStdString();
            EXPECT_FALSE(action->icon().isNull()) << action->objectName().toStdString();
        }
    }
    EXPECT_GT(buttons, 10);
    const QPixmap shot = main->screen()->grabWindow(0);
    ASSERT_TRUE(shot.save(out, "PNG"));
    main->close();
}

TEST(ScreenshotUnderX, NewUserWindowsAfterARestart)
{
    const XScreenshot shot =
        screenshot_under_x("ScreenshotChild.DISABLED_CaptureNewUserWindows", "new_user_windows.png");
    if (shot.skipped)
        GTEST_SKIP() << "Xvfb is not installed (./kx installs it): no screenshot taken";
    ASSERT_TRUE(shot.failure.empty()) << shot.failure;
    const QImage &image = shot.image;
    // The error line's band is the light tint, and dark text stands on it.
    const QRgb paper = TfrmEdit::ErrorLinePaper().rgb();
    EXPECT_GT(count_pixels_near(image, paper, 8), 2000) << "the error line's band";
    EXPECT_EQ(count_pixels(image, qRgb(0x80, 0, 0)) > 2000, false) << "a dark red band";
}

} // namespace
