// The TCP/IP pass-phrase form and the holder that shows it: the keys and buttons, what reaches
// the caller's buffer, and a phrase that is asked for only once when it is to be remembered.
#include "GuiHarness.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <array>
#include <cstring>
#include <string>

#include "options/frmKXPassPhrase.h"

namespace {

// What the buffer holds before the form is shown, so that a change shows.
constexpr const char *kBefore = "earlier phrase";

struct EndCase {
    const char *name;
    const char *typed;
    bool remember;
    enum { OkButton, EnterKey, CancelButton, EscapeKey } how;
    bool accepted;
    std::string buffer;  // afterwards
};
void PrintTo(const EndCase &c, std::ostream *os) { *os << c.name; }

const EndCase kEnds[] = {
    {"OkTakesThePhrase", "secret", false, EndCase::OkButton, true, "secret"},
    {"EnterInTheEditBoxAccepts", "s3cr3t phrase", true, EndCase::EnterKey, true, "s3cr3t phrase"},
    {"OkWithNothingTypedGivesTheEmptyPhrase", "", false, EndCase::OkButton, true, ""},
    {"CancelLeavesTheBuffer", "typed", true, EndCase::CancelButton, false, kBefore},
    {"EscapeLeavesTheBuffer", "typed", false, EndCase::EscapeKey, false, kBefore},
    {"PhraseOf255Fits", nullptr, false, EndCase::OkButton, true, std::string(255, 'p')},
};

class PassPhraseForm : public GuiTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(PassPhraseForm, EndsAsTheUserChose)
{
    const EndCase &c = GetParam();
    std::array<char, kPassPhraseBufferSize> buffer{};
    std::strcpy(buffer.data(), kBefore);
    TfrmPassPhrase form(nullptr, buffer.data());
    form.show();
    QTest::keyClicks(form.edtPassPhrase,
                     QString::fromStdString(c.typed ? std::string(c.typed) : c.buffer));
    form.chkPassPhrase->setChecked(c.remember);
    switch (c.how) {
    case EndCase::OkButton: QTest::mouseClick(form.btnOK, Qt::LeftButton); break;
    case EndCase::EnterKey: QTest::keyClick(form.edtPassPhrase, Qt::Key_Return); break;
    case EndCase::CancelButton: QTest::mouseClick(form.btnCancel, Qt::LeftButton); break;
    case EndCase::EscapeKey: QTest::keyClick(form.edtPassPhrase, Qt::Key_Escape); break;
    }
    EXPECT_EQ(form.Accepted(), c.accepted);
    EXPECT_EQ(form.Remember(), c.accepted && c.remember);
    EXPECT_EQ(std::string(buffer.data()), c.buffer);
    EXPECT_FALSE(form.isVisible()) << "the form closes";
    EXPECT_EQ(form.result(), c.accepted ? QDialog::Accepted : QDialog::Rejected);
}
INSTANTIATE_TEST_SUITE_P(All, PassPhraseForm, ::testing::ValuesIn(kEnds),
                         [](const auto &i) { return std::string(i.param.name); });

// The digest reads the buffer as a zero-terminated text: a longer phrase is cut to 255 bytes
// and never runs into the bytes after the buffer.
TEST_F(GuiTest, PassPhraseOf256OrMoreIsCutTo255)
{
    struct Guarded {
        std::array<char, kPassPhraseBufferSize> buffer;
        std::array<char, 8> after;
    } memory;
    memory.buffer.fill('x');
    memory.after.fill('!');
    TfrmPassPhrase form(nullptr, memory.buffer.data());
    form.edtPassPhrase->setText(QString(300, QChar('q')));
    form.btnOKClick();
    EXPECT_EQ(std::strlen(memory.buffer.data()), 255u);
    EXPECT_EQ(memory.buffer[255], '\0');
    EXPECT_EQ(std::string(memory.after.data(), 8), "!!!!!!!!");
}

TEST_F(GuiTest, PassPhraseFormLooksAsTheUserKnowsIt)
{
    std::array<char, kPassPhraseBufferSize> buffer{};
    TfrmPassPhrase form(nullptr, buffer.data());
    EXPECT_EQ(form.windowTitle(), "TCP/IP Pass Phrase Required");
    EXPECT_EQ(form.lblPassPhrase->text(), "&Pass Phrase");
    EXPECT_EQ(form.lblPassPhrase->buddy(), form.edtPassPhrase);
    EXPECT_EQ(form.chkPassPhrase->text(), "&Remember Pass Phrase");
    EXPECT_EQ(form.btnOK->text(), "&OK");
    EXPECT_EQ(form.btnCancel->text(), "&Cancel");
    EXPECT_EQ(form.edtPassPhrase->echoMode(), QLineEdit::Normal);
    EXPECT_FALSE(form.chkPassPhrase->isChecked());
    EXPECT_FALSE(form.Accepted());
    EXPECT_FALSE(form.Remember());
    EXPECT_EQ(form.edtPassPhrase->nextInFocusChain(), form.chkPassPhrase);
    EXPECT_EQ(form.chkPassPhrase->nextInFocusChain(), form.btnOK);
    EXPECT_EQ(form.btnOK->nextInFocusChain(), form.btnCancel);
}

// The holder over the IDE's form: each Ask shows the form unless the phrase is remembered.
class PassPhraseHolder : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        gTCPPassPhraseControl.Reset();
        gTCPPassPhraseControl.SetDialogFactory(
            qt_pass_phrase_dialogs(nullptr, [this](QDialog &dialog) {
                ++shown;
                dialog.show();
                auto &form = static_cast<TfrmPassPhrase &>(dialog);
                form.edtPassPhrase->setText(QString::fromStdString(typed));
                form.chkPassPhrase->setChecked(remember);
                QTest::keyClick(form.edtPassPhrase, cancel ? Qt::Key_Escape : Qt::Key_Return);
                return dialog.result();
            }));
    }
    void TearDown() override
    {
        gTCPPassPhraseControl.Reset();
        gTCPPassPhraseControl.SetDialogFactory(nullptr);
        GuiTest::TearDown();
    }
    // One connection's question: the holder asks, the caller takes the phrase, the holder
    // closes the form.
    std::string connect()
    {
        gTCPPassPhraseControl.Ask();
        std::string phrase = gTCPPassPhraseControl.Accepted() ? gTCPPassPhraseControl.Phrase()
                                                               : "<none>";
        gTCPPassPhraseControl.Close();
        return phrase;
    }
    int shown = 0;
    std::string typed = "open sesame";
    bool remember = false;
    bool cancel = false;
};

TEST_F(PassPhraseHolder, RememberedPhraseIsAskedOnce)
{
    remember = true;
    EXPECT_EQ(connect(), "open sesame");
    typed = "another";
    EXPECT_EQ(connect(), "open sesame") << "the next open keeps the phrase";
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(gTCPPassPhraseControl.Remembered());
}

TEST_F(PassPhraseHolder, PhraseNotRememberedIsAskedEachTime)
{
    EXPECT_EQ(connect(), "open sesame");
    typed = "another";
    EXPECT_EQ(connect(), "another");
    EXPECT_EQ(shown, 2);
}

TEST_F(PassPhraseHolder, CancelAcceptsNothingAndKeepsThePhraseHeld)
{
    EXPECT_EQ(connect(), "open sesame");
    cancel = true;
    remember = true;
    EXPECT_EQ(connect(), "<none>");
    EXPECT_STREQ(gTCPPassPhraseControl.Phrase(), "open sesame");
    EXPECT_FALSE(gTCPPassPhraseControl.Remembered()) << "a cancelled form remembers nothing";
    cancel = false;
    EXPECT_EQ(connect(), "open sesame");
    EXPECT_EQ(shown, 3);
}

}  // namespace
