// The status box, the about box and the slot guard.
#include "GuiHarness.h"
#include "SeamDoubles.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "shell/frmKXAbout.h"
#include "controls/frmKXMessageBox.h"
#include "core/guiExceptions.h"
#include "shell/guiHosts.h"

namespace {

class StatusBox : public GuiTest {
protected:
    TfrmMessageBox *Form()
    {
        auto *box = dynamic_cast<TQtStatusBox *>(gDialogControl.Box());
        return box ? box->Form() : nullptr;
    }
};

struct CancelKey {
    const char *name;
    Qt::Key key;
};
const CancelKey kCancelKeys[] = {
    {"Escape", Qt::Key_Escape}, {"Return", Qt::Key_Return}, {"Enter", Qt::Key_Enter}};

class StatusBoxKeys : public StatusBox, public ::testing::WithParamInterface<CancelKey> {};

// The key cancels wherever the focus is; the next pump throws xUserCancel and the box goes.
TEST_P(StatusBoxKeys, CancelWithoutFocusThenThePumpThrows)
{
    Main();
    gDialogControl.ShowStatusBox(true, "Compiling", "");
    QPointer<TfrmMessageBox> form = Form();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->btnCancel->hasFocus());
    gDialogControl.PumpStatusBoxMessages(); // nothing pressed yet: no throw
    QTest::keyClick(form.data(), GetParam().key);
    EXPECT_TRUE(form->Cancelled());
    EXPECT_TRUE(form->isVisible()); // only the holder closes it
    EXPECT_THROW(gDialogControl.PumpStatusBoxMessages(), xUserCancel);
    EXPECT_EQ(gDialogControl.Box(), nullptr);
    EXPECT_FALSE(gStatusBoxShown);
    Settle();
    EXPECT_TRUE(form.isNull()); // released through the event loop
}
INSTANTIATE_TEST_SUITE_P(All, StatusBoxKeys, ::testing::ValuesIn(kCancelKeys),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(StatusBox, CancelButtonCancels)
{
    Main();
    gDialogControl.ShowStatusBox(true, "Loading", "");
    ASSERT_NE(Form(), nullptr);
    EXPECT_TRUE(Form()->btnCancel->isVisible());
    QTest::mouseClick(Form()->btnCancel, Qt::LeftButton);
    EXPECT_THROW(gDialogControl.PumpStatusBoxMessages(), xUserCancel);
}

// Cancel asks the link to end a request in progress; when that request failed, its error (not
// the cancel) is what the next pump throws, and the click itself shows nothing.
TEST_F(StatusBox, CancelWhileARequestFailsKeepsItsErrorForThePump)
{
    HeadlessTargetOperations link;
    link.fail = [](const std::string &call) {
        if (call == "TcCheckPendingError")
            throw xTCErr(5033, KX_HERE);
    };
    set_target_operations(&link);
    Main();
    gDialogControl.ShowStatusBox(true, "Loading", "");
    ASSERT_NE(Form(), nullptr);
    QTest::mouseClick(Form()->btnCancel, Qt::LeftButton);
    EXPECT_EQ(link.calls, std::vector<std::string>{"TcCheckPendingError"});
    EXPECT_TRUE(m_boxes.shown.empty());
    try {
        gDialogControl.PumpStatusBoxMessages();
        ADD_FAILURE() << "the pump did not throw";
    } catch (xUserCancel &) {
        ADD_FAILURE() << "the request's error was lost";
    } catch (xTCErr &e) {
        EXPECT_EQ(e.message_id(), 5033u);
    }
    EXPECT_EQ(gDialogControl.Box(), nullptr);
    // The next box starts without it.
    link.fail = nullptr;
    gDialogControl.ShowStatusBox(true, "Loading", "");
    QTest::mouseClick(Form()->btnCancel, Qt::LeftButton);
    EXPECT_THROW(gDialogControl.PumpStatusBoxMessages(), xUserCancel);
    install_seam_doubles();
}

// Application-modal without a nested loop: ShowStatusBox returns at once and the box is what
// Qt blocks the other windows for; a second show reuses the box.
TEST_F(StatusBox, ModalWithoutExecAndReusedOnTheSecondShow)
{
    Main();
    gDialogControl.ShowStatusBox(false, "First", "");
    TfrmMessageBox *form = Form();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(QApplication::activeModalWidget(), form);
    EXPECT_FALSE(form->btnCancel->isVisible());
    EXPECT_EQ(form->windowTitle(), "First");
    TStatusBox *box = gDialogControl.Box();
    gDialogControl.ShowStatusBox(true, "Second", "");
    EXPECT_EQ(gDialogControl.Box(), box);
    EXPECT_EQ(Form(), form);
    EXPECT_EQ(form->windowTitle(), "Second");
    gDialogControl.SizeStatusBoxToText("42 lines compiled");
    EXPECT_EQ(form->lblMessage->text(), "42 lines compiled");
    gDialogControl.SetStatusBoxPathText("/very/long/" + std::string(200, 'd') + "/main.c");
    EXPECT_LE(form->lblFileName->fontMetrics().horizontalAdvance(form->lblFileName->text()),
              form->lblPanel->width());
    EXPECT_TRUE(form->lblFileName->text().endsWith("main.c"));
    gDialogControl.CloseStatusBox();
    EXPECT_EQ(gDialogControl.Box(), nullptr);
    Settle();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

class About : public GuiTest {};

TEST_F(About, ProductAndVersionLinesThenBuiltOnRequest)
{
    TfrmAbout about;
    about.show();
    EXPECT_EQ(about.ProductName->text(), "Korvex 8.51");
    EXPECT_EQ(about.Version->text(), "Version  8.51 - English");
    EXPECT_FALSE(about.lblBuilt->isVisible());
    QTest::mouseClick(&about, Qt::RightButton, Qt::ControlModifier);
    EXPECT_FALSE(about.lblBuilt->isVisible());
    QTest::mouseClick(&about, Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(about.lblBuilt->isVisible());
    QTest::mouseClick(&about, Qt::RightButton, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(about.lblBuilt->isVisible());
    EXPECT_TRUE(about.lblBuilt->text().startsWith("Built on "));
    EXPECT_TRUE(about.lblBuilt->text().contains(" at "));
}

class Guard : public GuiTest {};

TEST_F(Guard, ErrorsAreShownAndNothingEscapes)
{
    EXPECT_NO_THROW(guarded([] { throw xUserCancel(KX_HERE); }));
    EXPECT_NO_THROW(guarded([] { throw std::runtime_error("boom"); }));
    EXPECT_NO_THROW(guarded([] { throw 42; }));
    ASSERT_EQ(m_boxes.shown.size(), 3u);
    EXPECT_EQ(m_boxes.shown[0].text, "Operation canceled by user.");
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    EXPECT_NE(m_boxes.shown[1].text.find("Internal error."), std::string::npos);
    EXPECT_NE(m_boxes.shown[1].text.find("DialogsTest.cpp"), std::string::npos);
    EXPECT_NE(m_boxes.shown[2].text.find("Internal error."), std::string::npos);
}

// The filters of the file dialogs in Qt's form.
TEST(FileDialogFilters, PairsBecomeQtFilters)
{
    QString selected;
    const QString filters = qt_name_filters(GetResString(21), 3, &selected);
    EXPECT_EQ(filters.split(";;").size(), 6);
    EXPECT_EQ(filters.split(";;")[0], "C Source (*.c)");
    EXPECT_EQ(selected, "Source Files (*.c *.lib)");
    EXPECT_EQ(qt_name_filters(GetResString(23, ".kxp", ".kxp"), 1, &selected),
              "Project Files (*.kxp)");
}

} // namespace
