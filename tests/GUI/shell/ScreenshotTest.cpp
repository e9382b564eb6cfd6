// A screenshot of the IDE on a real X server (Xvfb): the main window with its caption and status
// panels and an editor with coloured source, a breakpoint mark and the execution point. The
// test starts Xvfb, runs this program again on it with only the capture case, then checks the
// picture. Without Xvfb it is skipped.
#include "GuiHarness.h"

#include <QImage>
#include <QLabel>
#include <QMdiArea>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <filesystem>

#include "settings/guiKXPreferences.h"
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
    editor->showMaximized();
    editor->Editor()->setCursorPosition(6, 8);
    Type(editor, "x");
    QTest::qWait(300);
    // A maximized child shows its caption in the main window's.
    EXPECT_EQ(editor->windowTitle(), "MAIN.C *");
    EXPECT_EQ(main->windowTitle(), "Korvex - [MAIN.C *]");
    EXPECT_EQ(main->StatusPanel(1)->text(), "Line: 7");
    EXPECT_EQ(main->StatusPanel(2)->text(), "Col: 10");
    EXPECT_EQ(main->StatusPanel(3)->text(), "Modified");
    for (int i = 0; i < TfrmMainWindow::kStatusPanels; ++i)
        EXPECT_TRUE(main->StatusPanel(i)->isVisible()) << "panel " << i;
    // The caption as the X server holds it.
    const QString xprop = QStandardPaths::findExecutable("xprop");
    if (!xprop.isEmpty()) {
        QProcess prop;
        prop.start(xprop, {"-id", QString::number(main->winId()), "WM_NAME"});
        ASSERT_TRUE(prop.waitForFinished(10000));
        EXPECT_TRUE(prop.readAllStandardOutput().contains("Korvex - [MAIN.C *]"))
            << "WM_NAME of the window";
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
    // coloured on screen.
    EXPECT_GT(count_pixels(image, qRgb(0, 0, 255)), 50);
    EXPECT_GT(count_pixels(image, qRgb(0, 128, 0)), 20);
    EXPECT_GT(count_pixels(image, qRgb(128, 128, 128)), 20);
    // The breakpoint's red and the execution point's lime behind one character each.
    EXPECT_GT(count_pixels(image, qRgb(255, 0, 0)), 40);
    EXPECT_LT(count_pixels(image, qRgb(255, 0, 0)), 400);
    EXPECT_GT(count_pixels(image, qRgb(0, 255, 0)), 40);
    EXPECT_LT(count_pixels(image, qRgb(0, 255, 0)), 400);
}

} // namespace
