// The Targetless page's widget: its tabs and controls, and the user's clicks and typing reaching
// the board store, the board record and RTI files, under a point and a comma locale.
#include "GuiHarness.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <memory>

#include "core/SEAM_SETTINGS.h"
#include "options/frmKXTargetless.h"
#include "settings/guiEnvironment.h"

namespace {

struct Locale {
    const char *name;
    QLocale locale;
    const char *separator;
};
void PrintTo(const Locale &locale, std::ostream *out) { *out << locale.name; }
const Locale kLocales[] = {
    {"Point", QLocale(QLocale::English, QLocale::UnitedStates), "."},
    {"Comma", QLocale(QLocale::German, QLocale::Germany), ","},
};

class TargetlessWidget : public GuiTest, public ::testing::WithParamInterface<Locale> {
protected:
    std::unique_ptr<TTargetlessPage> page;
    QLocale m_saved_locale;

    void SetUp() override
    {
        GuiTest::SetUp();
        QLocale::setDefault(GetParam().locale);
        set_settings_registry_path(Path("registry.kxreg"));
        gBoardParameters = BoardParameters();
        page = std::make_unique<TTargetlessPage>(nullptr, &gBoardParameters);
        page->show();
        page->Startup();
    }
    void TearDown() override
    {
        page.reset();
        gBoardParameters = BoardParameters();
        set_settings_registry_path("");
        QLocale::setDefault(m_saved_locale);
        GuiTest::TearDown();
    }
    // The text with its points as the locale's separator.
    QString dec(const char *text) const
    {
        return QString::fromUtf8(text).replace('.', GetParam().separator);
    }
    static int item_of(QComboBox *box, const char *text)
    {
        return box->findText(QString::fromUtf8(text));
    }
    std::string stored(const char *id) const
    {
        TTargetlessStore store;
        return store.read("BoardsV2", id);
    }
    // Types a user board into the Specify page.
    void specify(const char *id, const char *name, const char *cpu, const char *mhz,
                 const char *ram)
    {
        page->pcSpecify->setCurrentWidget(page->tsSpecify);
        page->ID->clear();
        QTest::keyClicks(page->ID, id);
        page->Name->clear();
        QTest::keyClicks(page->Name, name);
        page->CPUId->setCurrentIndex(item_of(page->CPUId, cpu));
        page->BaseFreq->setEditText(dec(mhz));
        page->RAMSize->setEditText(ram);
    }
};

TEST_P(TargetlessWidget, ShowsTheTabsAndTheProjectsBoard)
{
    ASSERT_EQ(page->pcSpecify->count(), 3);
    EXPECT_EQ(page->pcSpecify->tabText(0), "RTI File");
    EXPECT_EQ(page->pcSpecify->tabText(1), "Specify Parameters");
    EXPECT_EQ(page->pcSpecify->tabText(2), "Board Selection");
    EXPECT_EQ(page->pcSpecify->currentWidget(), page->tsSelect);
    EXPECT_EQ(page->btnRtiOpen->text(), "Open &RTI File");
    EXPECT_EQ(page->btnRTIUpdate->text(), "&Update Board Selection");
    EXPECT_EQ(page->Label2->text(), "&ID Code (0xFF00 - 0xFFFF):");
    EXPECT_EQ(page->BaseFreq->toolTip(), "Not a floating number");
    EXPECT_EQ(page->btnRTISave->toolTip(), "Save board configuration to a file");
    EXPECT_FALSE(page->btnRtiSaveChanges->isVisibleTo(page.get()));

    EXPECT_EQ(page->lbBoardType->count(), 64);
    EXPECT_EQ(page->lbBoardType->currentRow(), 0);
    EXPECT_EQ(page->lblID->text(), "0x0101");
    EXPECT_EQ(page->lblBaseFreq->text(), dec("29.4912"));
    EXPECT_EQ(page->lblRAM->text(), "128");
    EXPECT_EQ(page->lblFlashPrim->text(), "256");
    EXPECT_EQ(page->cboCPUId->count(), 4);
    EXPECT_EQ(page->cboCPUId->currentText(), "Vireon 2000 revision D");
    EXPECT_EQ(page->CPUId->count(), 6);
    EXPECT_EQ(page->BaseFreq->count(), 17);
    EXPECT_EQ(page->BaseFreq->itemText(16), dec("29.4912"));
    EXPECT_EQ(page->BaseFreq->currentText(), dec("29.4912"));
    EXPECT_EQ(page->RAMSize->count(), 4);
    EXPECT_EQ(page->lbBoardType->contextMenuPolicy(), Qt::NoContextMenu);

    // Another board shows its values; the dialog's page change goes back to Board Selection.
    page->lbBoardType->setCurrentRow(23);  // 0x1200
    EXPECT_EQ(page->lblID->text(), "0x1200");
    EXPECT_EQ(page->lblBaseFreq->text(), dec("3.6864"));
    EXPECT_EQ(page->cboCPUId->count(), 2);
    page->pcSpecify->setCurrentWidget(page->tsRTI);
    page->ShowBoardSelection();
    EXPECT_EQ(page->pcSpecify->currentWidget(), page->tsSelect);
    EXPECT_TRUE(m_boxes.shown.empty());
}

// Enter in the description adds the typed board; OK hands it to the record and the store.
TEST_P(TargetlessWidget, TypedBoardIsAddedAndAcceptedOnOk)
{
    page->pcSpecify->setCurrentWidget(page->tsSpecify);
    EXPECT_EQ(page->ID->text(), "0xFF");
    specify("0xFF01", "Typed board", "Vireon 3000 revision B", "29.4912", "33");
    QTest::keyClick(page->Name, Qt::Key_Return);
    ASSERT_TRUE(m_boxes.shown.empty()) << m_boxes.shown[0].text;
    EXPECT_EQ(page->lbBoardType->count(), 65);
    EXPECT_EQ(page->lbBoardType->currentItem()->text(), "Typed board");
    EXPECT_EQ(page->lblID->text(), "0xFF01");
    EXPECT_EQ(page->RAMSize->itemText(1), "33");
    EXPECT_EQ(page->lbBoardType->contextMenuPolicy(), Qt::CustomContextMenu);

    ASSERT_TRUE(page->FillBoardParameters());
    EXPECT_EQ(gBoardParameters.boardType, 0xFF01u);
    EXPECT_EQ(gBoardParameters.cpuId, 0x101);
    EXPECT_EQ(gBoardParameters.crystalSpeed, 29491200u);
    EXPECT_EQ(gBoardParameters.ramSize, 33);
    EXPECT_EQ(gBoardParameters.description, "Typed board");
    ASSERT_TRUE(page->SaveTargetlessLists());
    EXPECT_NE(stored("0xFF01").find("BN=Typed board"), std::string::npos);
}

TEST_P(TargetlessWidget, BadEntryIsRefusedWithTheLocalesMessage)
{
    specify("0xFF02", "Bad crystal", "Vireon 2000 revision A", "fast", "128");
    QTest::mouseClick(page->btnSpecifyUpdate, Qt::LeftButton);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].caption, "Crystal Speed Error");
    EXPECT_EQ(QString::fromStdString(m_boxes.shown[0].text),
              "Enter crystal speed in MHz, " + dec("29.4912") + " etc.");
    EXPECT_EQ(page->lbBoardType->count(), 64);
}

TEST_P(TargetlessWidget, DeleteMenuRemovesAUserBoard)
{
    specify("0xFF03", "Short-lived", "Vireon 2000 revision A", "11.0592", "128");
    QTest::mouseClick(page->btnSpecifyUpdate, Qt::LeftButton);
    ASSERT_TRUE(page->SaveTargetlessLists());
    ASSERT_NE(stored("0xFF03"), "");
    page->BoardIDMenuPopup(QPoint(1, 1));
    EXPECT_EQ(page->Delete1->text(), "Delete: Short-lived");
    page->BoardIDMenu->hide();
    m_boxes.answers.push_back(kIdYes);
    page->Delete1->trigger();
    EXPECT_EQ(page->lbBoardType->count(), 64);
    EXPECT_EQ(page->lbBoardType->currentRow(), 0);
    EXPECT_EQ(stored("0xFF03"), "");
    EXPECT_EQ(page->lbBoardType->contextMenuPolicy(), Qt::NoContextMenu);
}

// An opened board file shows in the memo; "&Save Changes" appears once the text is edited and
// writes it back to that file.
TEST_P(TargetlessWidget, EditedBoardFileIsSavedBack)
{
    const std::string file = Write("board.rti", "[Parameters]\r\nBoard ID=0xFF04\r\n");
    page->pcSpecify->setCurrentWidget(page->tsRTI);
    m_dialogs.choices.push_back({file});
    QTest::mouseClick(page->btnRtiOpen, Qt::LeftButton);
    EXPECT_EQ(page->rtiMemo->toPlainText(), "[Parameters]\nBoard ID=0xFF04\n");
    EXPECT_FALSE(page->btnRtiSaveChanges->isVisibleTo(page.get()));
    page->rtiMemo->moveCursor(QTextCursor::End);
    QTest::keyClicks(page->rtiMemo, "Board Name=Edited");
    EXPECT_TRUE(page->btnRtiSaveChanges->isVisibleTo(page.get()));
    QTest::mouseClick(page->btnRtiSaveChanges, Qt::LeftButton);
    EXPECT_EQ(Read(file), "[Parameters]\r\nBoard ID=0xFF04\r\nBoard Name=Edited\r\n");
    EXPECT_FALSE(page->btnRtiSaveChanges->isVisibleTo(page.get()));
    EXPECT_TRUE(m_boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Locales, TargetlessWidget, ::testing::ValuesIn(kLocales),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
