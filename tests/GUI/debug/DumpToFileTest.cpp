// The Memory Dump Setup dialog: its checks of the address, the count and the file name, the
// space buttons, the whole flash written in 4 KB reads with its progress lines, a range written
// as dump lines, the replace question, and files that are never left half written.
#include "GuiHarness.h"
#include "DebuggerDoubles.h"
#include "HostDoubles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "debug/frmKXDumpAtAddress.h"
#include "settings/guiEnvironment.h"
#include "settings/guiKXPreferences.h"

namespace {

namespace fs = std::filesystem;

// Keeps every status line of every box.
class LineBox : public HeadlessStatusBox {
public:
    explicit LineBox(std::vector<std::string> &lines) : m_lines(lines) {}
    void SetMessageLabel(const std::string &text, int, int, int, int) override
    {
        m_lines.push_back(text);
    }

private:
    std::vector<std::string> &m_lines;
};

class DumpToFile : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        set_debugger_operations(&m_dbg);
        Main(); // the IDE installs its own status box first
        gDialogControl.SetBoxFactory([this] { return std::make_unique<LineBox>(m_status); });
        m_dialog = std::make_unique<TfrmDumpAtAddress>(nullptr, &Main());
        m_dialog->FormShow();
    }
    void TearDown() override
    {
        m_dialog.reset();
        gDialogControl.CloseStatusBox();
        gDialogControl.SetBoxFactory(nullptr);
        set_debugger_operations(nullptr);
        GuiTest::TearDown();
    }
    // The dialog filled as the user would.
    void Fill(const char *address, bool to_file, bool flash, const char *count,
              const std::string &file)
    {
        m_dialog->chkSaveToFile->setChecked(to_file);
        m_dialog->chkSaveFlash->setChecked(flash);
        if (flash)
            m_dialog->chkSaveFlash->click(), m_dialog->chkSaveFlash->click();
        m_dialog->cboDumpAddress->setEditText(QString::fromLatin1(address));
        m_dialog->edtNumBytes->setText(QString::fromLatin1(count));
        m_dialog->edtFileName->setText(QString::fromStdString(file));
    }
    std::string LastBox() const { return m_boxes.shown.empty() ? "" : m_boxes.shown.back().text; }

    DebuggerJournal m_journal;
    RecordingDebugger m_dbg{m_journal};
    std::vector<std::string> m_status;
    std::unique_ptr<TfrmDumpAtAddress> m_dialog;
};

struct RefusalCase {
    const char *name;
    const char *address;
    bool to_file;
    const char *count;
    const char *file;
    const char *message;
    const char *focus; // object name of the control given the focus
};
const char *const kBadAddress =
    "Bad Address\nFormat should be either:\n[0x]nnnn\t(logical address) or\nmm:nnnn\t(xpc:offset) "
    "or\n[0x]nnnnn (physical address)";
const RefusalCase kRefusals[] = {
    {"blank_address", "  ", false, "", "", "Start address cannot be blank", "cboDumpAddress"},
    {"needs_xpc", "E000", false, "", "", "Logical addresses above 0xe000 require an XPC value (mm:nnnn).",
     "cboDumpAddress"},
    {"bad_address", "12", false, "", "", kBadAddress, "cboDumpAddress"},
    {"range_bad_address", "0x12", true, "10", "f.out", kBadAddress, "cboDumpAddress"},
    {"range_no_count", "2340", true, "", "f.out", "Must specify number of bytes to dump",
     "edtNumBytes"},
    {"range_no_file", "2340", true, "10", "", "Filename cannot be blank", "edtFileName"},
    {"range_needs_xpc", "E000", true, "10", "f.out",
     "Logical addresses above 0xe000 require an XPC value (mm:nnnn).", "cboDumpAddress"},
    {"count_not_a_number", "2340", true, "abc", "f.out", "'abc' is not a valid integer value",
     "edtNumBytes"},
    {"count_zero", "2340", true, "0", "f.out", "The number of bytes must be between 1 and 1048576.",
     "edtNumBytes"},
    {"count_negative", "2340", true, "-5", "f.out",
     "The number of bytes must be between 1 and 1048576.", "edtNumBytes"},
    {"count_huge", "2340", true, "99999999999", "f.out",
     "The number of bytes must be between 1 and 1048576.", "edtNumBytes"},
};
class DumpRefusal : public DumpToFile, public ::testing::WithParamInterface<RefusalCase> {};
TEST_P(DumpRefusal, ShowsTheMessageAndWritesNothing)
{
    const RefusalCase &c = GetParam();
    m_dialog->show();
    Fill(c.address, c.to_file, false, c.count, c.file[0] ? Path(c.file) : std::string());
    EXPECT_FALSE(m_dialog->ValidateDumpRequest());
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, c.message);
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    QWidget *focus = m_dialog->focusWidget();
    ASSERT_NE(focus, nullptr);
    // The combo's line edit has the focus for the combo.
    const QString name = focus->objectName().isEmpty() && focus->parentWidget()
                             ? focus->parentWidget()->objectName()
                             : focus->objectName();
    EXPECT_EQ(name.toStdString(), c.focus);
    EXPECT_FALSE(fs::exists(Path("f.out")));
    EXPECT_TRUE(m_journal.calls.empty());
    EXPECT_FALSE(m_dialog->WrittenToFile());
}
INSTANTIATE_TEST_SUITE_P(All, DumpRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto &i) { return std::string(i.param.name); });

TEST_F(DumpToFile, WindowDumpSetsTheRequestFlags)
{
    Fill("0e:e000", false, false, "", "");
    ASSERT_TRUE(m_dialog->ValidateDumpRequest());
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_EQ(Main().GetDumpXpcOffset(), 1);
    EXPECT_EQ(Main().GetDumpPhysical(), 0);
    EXPECT_EQ(m_dialog->Physical(), 0x1C000u);
    EXPECT_FALSE(m_dialog->WrittenToFile());
    Fill("1A2B0", false, false, "", "");
    ASSERT_TRUE(m_dialog->ValidateDumpRequest());
    EXPECT_EQ(Main().GetDumpPhysical(), 1);
    EXPECT_EQ(m_dialog->Physical(), 0x1A2B0u);
}

TEST_F(DumpToFile, APhysicalAddressChoosesCodeSpaceAndLocksTheButtons)
{
    m_dialog->cboDumpAddress->setEditText(QStringLiteral("12345"));
    EXPECT_TRUE(m_dialog->rdbCodeSpace->isChecked());
    EXPECT_FALSE(m_dialog->rdbDataSpace->isEnabled());
    EXPECT_FALSE(m_dialog->rdbCodeSpace->isEnabled());
    m_dialog->cboDumpAddress->setEditText(QStringLiteral("zz"));  // bad: nothing changes
    EXPECT_FALSE(m_dialog->rdbCodeSpace->isEnabled());
    m_dialog->cboDumpAddress->setEditText(QStringLiteral("2340"));
    EXPECT_TRUE(m_dialog->rdbDataSpace->isEnabled());
}

TEST_F(DumpToFile, WholeFlashIsReadInFourKilobyteChunksAndWrittenByteExact)
{
    m_dialog->chkSaveFlash->click();
    EXPECT_TRUE(m_dialog->chkSaveToFile->isChecked());
    EXPECT_FALSE(m_dialog->chkSaveToFile->isEnabled());
    EXPECT_FALSE(m_dialog->cboDumpAddress->isEnabled());
    EXPECT_FALSE(m_dialog->edtNumBytes->isEnabled());
    m_dialog->cboDumpAddress->setEditText(QStringLiteral("not an address"));
    m_dialog->edtNumBytes->setText(QStringLiteral("5000"));
    const std::string file = Path("f.out");
    m_dialog->edtFileName->setText(QString::fromStdString(file));
    ASSERT_TRUE(m_dialog->ValidateDumpRequest()) << LastBox();
    EXPECT_TRUE(m_dialog->WrittenToFile());
    EXPECT_EQ(m_journal.calls, (std::vector<std::string>{"TcReadPhysicalMemory 0x0 4096",
                                                         "TcReadPhysicalMemory 0x1000 904"}));
    EXPECT_EQ(m_status, (std::vector<std::string>{"Writing 4096 of 5000 bytes to " + file,
                                                  "Writing 5000 of 5000 bytes to " + file}));
    const std::string bytes = Read(file);
    ASSERT_EQ(bytes.size(), 5000u);
    for (uint32_t i = 0; i < 5000; ++i)
        ASSERT_EQ(uint8_t(bytes[i]), m_dbg.flash(i)) << "byte " << i;
    EXPECT_EQ(IdePreferences().memory_dump.dump_file, file);
}

TEST_F(DumpToFile, AReadErrorMidwayLeavesTheOldFileWhole)
{
    const std::string file = Write("f.out", "old contents");
    m_boxes.answers.push_back(kIdYes);
    m_journal.fail = [](const std::string &call) {
        if (call == "TcReadPhysicalMemory 0x1000 904")
            throw xTCErr(5033, KX_HERE);
    };
    m_dialog->chkSaveFlash->click();
    m_dialog->edtNumBytes->setText(QStringLiteral("5000"));
    m_dialog->edtFileName->setText(QString::fromStdString(file));
    EXPECT_THROW((void)m_dialog->ValidateDumpRequest(), xTCErr);
    EXPECT_EQ(Read(file), "old contents");
    EXPECT_EQ(gDialogControl.Box(), nullptr); // the status box went with the error
    for (const auto &entry : fs::directory_iterator(m_dir))
        EXPECT_TRUE(entry.path().filename() == "f.out" ||
                    entry.path().filename().string().find("f.out") == std::string::npos)
            << "a scratch file stayed: " << entry.path();
}

TEST_F(DumpToFile, OneByteWritesOneBlockOfEightLines)
{
    const std::string file = Path("range.out");
    Fill("0x2345", true, false, "1", file);
    ASSERT_TRUE(m_dialog->ValidateDumpRequest()) << LastBox();
    EXPECT_EQ(m_journal.calls, (std::vector<std::string>{"fillMemoryDumpToFile 0x2340 1"}));
    std::ifstream in(file);
    int lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    EXPECT_EQ(lines, 8);
    // The start moves on past what was written.
    EXPECT_EQ(Main().GetDumpAddress(), 0x23C5u);
}

TEST_F(DumpToFile, NoToReplaceKeepsTheOldFile)
{
    const std::string file = Write("f.out", "old");
    m_boxes.answers.push_back(kIdNo);
    Fill("2340", true, false, "16", file);
    EXPECT_FALSE(m_dialog->ValidateDumpRequest());
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, file + " already exists, do you want to replace it?");
    EXPECT_EQ(m_boxes.shown[0].caption, "Save File");
    EXPECT_EQ(Read(file), "old");
    EXPECT_TRUE(m_journal.calls.empty());
}

// Each address the dialog closes with goes to the top of "DumpAt addresses", which keeps ten;
// the next dialog starts with the latest.
TEST_F(DumpToFile, AddressHistoryKeepsTheLatestTen)
{
    m_dialog.reset();
    for (int i = 0; i < 12; ++i) {
        TfrmDumpAtAddress dialog(nullptr, &Main());
        dialog.FormShow();
        dialog.cboDumpAddress->setEditText(QString::number(0x2000 + i * 0x10, 16));
        ASSERT_TRUE(dialog.ValidateDumpRequest()) << LastBox();
        dialog.accept();
    }
    TfrmDumpAtAddress dialog(nullptr, &Main());
    dialog.FormShow();
    ASSERT_EQ(dialog.cboDumpAddress->count(), 10);
    EXPECT_EQ(dialog.GetDumpAddress(), "20b0");
    EXPECT_EQ(dialog.cboDumpAddress->itemText(9).toStdString(), "2020");
    const std::optional<ComboHistory> stored = ReadComboHistory("DumpAt addresses");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->items.front(), "20b0");
}

struct PlaceCase {
    const char *name;
    const char *file; // under the test folder
};
const PlaceCase kPlaces[] = {
    {"missing_folder", "no/such/f.out"},
    {"a_folder", "folder"},
    {"read_only_folder", "locked/f.out"},
};
class DumpPlace : public DumpToFile, public ::testing::WithParamInterface<PlaceCase> {};
TEST_P(DumpPlace, AMessageAndNoFile)
{
    if (std::string(GetParam().name) == "read_only_folder" && ::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop the superuser";
    fs::create_directories(Path("folder"));
    fs::create_directories(Path("locked"));
    ::chmod(Path("locked").c_str(), 0555);
    const std::string file = Path(GetParam().file);
    Fill("2340", true, false, "16", file);
    EXPECT_FALSE(m_dialog->ValidateDumpRequest());
    ::chmod(Path("locked").c_str(), 0755);
    EXPECT_EQ(LastBox(), "Unable to open file " + file);
    EXPECT_FALSE(fs::is_regular_file(file));
    EXPECT_TRUE(fs::is_empty(Path("locked")));
}
INSTANTIATE_TEST_SUITE_P(All, DumpPlace, ::testing::ValuesIn(kPlaces),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
