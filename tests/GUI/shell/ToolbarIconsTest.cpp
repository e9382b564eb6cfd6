// The commands' pictures: every toolbar button and every palette button shows one (the icon
// theme's where it has the name, else ours), with the command's hint as its tooltip; our own
// pictures are all in the resources and draw something; with the icon theme missing, ours
// stand in and no button is blank.
#include "GuiHarness.h"

#include <QAction>
#include <QImage>
#include <QPixmap>
#include <QToolBar>
#include <QToolButton>

#include "shell/frmKXCustomToolBars.h"
#include "shell/guiIcons.h"

namespace {

// The pixels of the picture at 16 x 16 that are not transparent.
int drawn_pixels(const QIcon &icon)
{
    const QImage image = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                ++drawn;
    return drawn;
}

class OwnIcon : public ::testing::TestWithParam<TCommandIcon> {};

TEST_P(OwnIcon, IsInTheResourcesAndDrawsSomething)
{
    prepare_command_icons();
    const QIcon icon = own_command_icon(GetParam());
    ASSERT_FALSE(icon.isNull()) << GetParam().own;
    EXPECT_GT(drawn_pixels(icon), 20) << GetParam().own;
}

INSTANTIATE_TEST_SUITE_P(All, OwnIcon,
                         ::testing::ValuesIn(kCommandIcons, kCommandIcons + kCommandIconCount),
                         [](const auto &info) { return std::string(info.param.action); });

class ToolbarIcons : public GuiTest {
protected:
    // Every command button of the main window's toolbars and of the palette.
    std::vector<std::pair<QToolBar *, QAction *>> Buttons()
    {
        std::vector<std::pair<QToolBar *, QAction *>> buttons;
        auto collect = [&](QToolBar *bar) {
            for (QAction *action : bar->actions())
                if (!action->isSeparator() && action != Main().actSeparator)
                    buttons.emplace_back(bar, action);
        };
        for (int group = 0; group < TfrmMainWindow::kToolBarCount; ++group)
            collect(Main().ToolBar(group));
        Main().actCustomizeToolBars->trigger();
        if (auto *palette = Main().findChild<TfrmCustomToolBars *>())
            for (QToolBar *bar : palette->Palettes())
                collect(bar);
        return buttons;
    }
    void ExpectEveryButtonHasAPicture()
    {
        const auto buttons = Buttons();
        ASSERT_GT(buttons.size(), 60u);
        for (const auto &[bar, action] : buttons) {
            const std::string name = action->objectName().toStdString();
            EXPECT_NE(find_command_icon(name), nullptr) << name << " has no row";
            EXPECT_GT(drawn_pixels(action->icon()), 20) << name << " is blank";
            auto *button = qobject_cast<QToolButton *>(bar->widgetForAction(action));
            ASSERT_NE(button, nullptr) << name;
            EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonIconOnly) << name;
            if (!action->statusTip().isEmpty()) {
                EXPECT_EQ(action->toolTip(), action->statusTip()) << name;
            }
        }
    }
};

TEST_F(ToolbarIcons, EveryButtonShowsAPictureWithItsHint)
{
    ExpectEveryButtonHasAPicture();
    // Where the installed theme has the name, its picture is used.
    const TCommandIcon *open = find_command_icon("actFileOpen");
    ASSERT_NE(open, nullptr);
    if (QIcon::hasThemeIcon(QString::fromLatin1(open->theme))) {
        EXPECT_EQ(Main().actFileOpen->icon().name(), QString::fromLatin1(open->theme));
    }
}

TEST_F(ToolbarIcons, WithoutTheIconThemeOurOwnStandIn)
{
    const QString before = QIcon::themeName();
    prepare_command_icons();
    QIcon::setThemeName(QStringLiteral("kx-no-such-theme"));
    ExpectEveryButtonHasAPicture();
    QIcon::setThemeName(before);
}

} // namespace
