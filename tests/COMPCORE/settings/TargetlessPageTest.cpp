// The Targetless page without its windows: the board list the store gives, adding user boards on
// the Specify page with their checks and messages, deleting them, the result on OK, and RTI board
// files. Every test runs under a point and a comma decimal separator.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include "FifoGuard.h"
#include "ProjectFixture.h"
#include "settings/guiTargetless.h"

namespace fs = std::filesystem;

namespace {

constexpr const char *kBoardsKey =
    "Software\\Brantel\\KXW\\Vireon\\Targetless Compiler\\BoardsV2";

// A file dialog that chooses the scripted path (an empty one is a cancel) and remembers what it
// was asked.
struct ScriptedDialog : TFileDialog {
    std::string path;
    bool Execute() override { return !path.empty(); }
    std::string FileName() const override { return path; }
};

class TargetlessPage : public ProjectFixture, public ::testing::WithParamInterface<char> {
protected:
    std::unique_ptr<TTargetlessModel> page;
    std::string chosen_file;                  // what the next file dialog chooses
    std::vector<FileDialogRequest> requests;  // what the file dialogs were asked

    void SetUp() override
    {
        ProjectFixture::SetUp();
        page = std::make_unique<TTargetlessModel>(sep());
        set_file_dialog_factory([this](const FileDialogRequest &request) {
            requests.push_back(request);
            auto dialog = std::make_unique<ScriptedDialog>();
            dialog->path = chosen_file;
            return dialog;
        });
    }
    void TearDown() override
    {
        page.reset();
        set_file_dialog_factory(nullptr);
        headless_message_box_host().answer = kIdOk;
        ProjectFixture::TearDown();
    }

    char sep() const { return GetParam(); }
    // The text with its points as the separator.
    std::string dec(std::string text) const
    {
        std::replace(text.begin(), text.end(), '.', sep());
        return text;
    }
    void start(uint32_t board_type = 257)
    {
        gBoardParameters.boardType = board_type;
        page->Startup(gBoardParameters);
    }
    // A fresh page on the same store, as at the dialog's next show.
    void restart(uint32_t board_type = 257)
    {
        page = std::make_unique<TTargetlessModel>(sep());
        start(board_type);
    }
    // The CPUId entry with this identifier.
    int cpu(const std::string &ident) const
    {
        const auto &cpus = page->cpus();
        for (std::size_t i = 0; i < cpus.size(); ++i)
            if (cpus[i].record.value("CI") == ident)
                return static_cast<int>(i);
        ADD_FAILURE() << "no CPU " << ident;
        return -1;
    }
    // Fills the Specify page (frequency with points, turned into the separator) and presses
    // "&Update Board Selection".
    void specify(const std::string &id, const std::string &name, const std::string &cpu_ident,
                 const std::string &mhz, const std::string &ram, const std::string &flash)
    {
        page->SetTab(TargetlessTab::Specify);
        page->SetIdText(id);
        page->SetNameText(name);
        page->CPUIdChange(CpuCombo::CPUId, cpu(cpu_ident));
        page->SetComboText(SizeCombo::BaseFreq, dec(mhz));
        page->SetComboText(SizeCombo::RAMSize, ram);
        page->SetComboText(SizeCombo::FlashSize, flash);
        page->btnUpdateClick();
    }
    int select(const std::string &id_text)
    {
        const int row = page->row_of_id(*parse_id(id_text));
        EXPECT_GE(row, 0) << id_text;
        page->SetTab(TargetlessTab::Select);
        page->SelectRow(row);
        page->lbBoardTypeChange();
        return row;
    }
    const TBoardRow &selected() const
    {
        return page->rows().at(static_cast<std::size_t>(page->selected_row()));
    }
    // The board store as the file holds it now.
    static std::string stored(const std::string &sub_key, const std::string &name)
    {
        TTargetlessStore store;
        return store.read(sub_key, name);
    }
    static std::vector<std::string> stored_names(const std::string &sub_key)
    {
        TTargetlessStore store;
        return store.list(sub_key);
    }
    static std::string file_bytes(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string last_box() const
    {
        const auto &shown = headless_message_box_host().shown;
        return shown.empty() ? "(none)" : shown.back().caption + ": " + shown.back().text;
    }
    void answer(int id) { headless_message_box_host().answer = id; }
    // Opens a file of these lines (LF, written with CR LF) on the RTI page.
    void open_rti(const std::string &lines)
    {
        chosen_file = write("open.rti", crlf(lines));
        page->SetTab(TargetlessTab::Rti);
        page->btnRtiOpenClick();
    }
};

// ---- start-up ----------------------------------------------------------------------------------

TEST_P(TargetlessPage, StartsOnTheProjectsBoardOrTheFirst)
{
    start();
    ASSERT_EQ(page->rows().size(), 64u);
    EXPECT_EQ(page->selected_row(), 0);
    EXPECT_EQ(page->lblID(), "0x0101");
    EXPECT_EQ(page->lblBaseFreq(), dec("29.4912"));
    EXPECT_EQ(page->lblRAM(), "128");
    EXPECT_EQ(page->lblFlashPrim(), "256");
    EXPECT_EQ(page->current_cpu_revision(), "0x03");
    // The Board Selection CPU list holds the board's family, its revision chosen.
    ASSERT_EQ(page->select_cpus().size(), 4u);
    EXPECT_EQ(page->cpus()[page->select_cpus()[page->select_cpu_index()]].record.value("CI"),
              "2000r3");
    // The Specify page shows the same board.
    EXPECT_EQ(page->combo(SizeCombo::BaseFreq).text, dec("29.4912"));
    EXPECT_EQ(page->combo(SizeCombo::RAMSize).text, "128");
    EXPECT_EQ(page->cpus()[page->cpu_index()].record.value("CI"), "2000r3");
    EXPECT_FALSE(page->board_menu());

    restart(0x1400);
    EXPECT_EQ(selected().record.value("BI"), "0x1400");
    EXPECT_EQ(page->current_cpu_revision(), "0x101");
    ASSERT_EQ(page->select_cpus().size(), 2u);  // the 3000 family

    restart(0xFF77);  // no such board
    EXPECT_EQ(page->selected_row(), 0);
    EXPECT_TRUE(headless_message_box_host().shown.empty()) << last_box();
}

// The list follows the store's order; records that cannot be read, or hold no lines, are left
// out; a "BI" that is no number gives a row without the delete menu.
TEST_P(TargetlessPage, ListsTheStoreInItsOrderAndSkipsBadRecords)
{
    {
        TTargetlessStore store;
        ASSERT_TRUE(store.write("BoardsV2", "0xFF10", "BI=0xFF10,\"BN=First of mine\",BCI=2000r0,"
                                                      "BCS=7.3728,BRS=32,BFS=0"));
        ASSERT_TRUE(store.write("BoardsV2", "0xFF11", "\"BI=0xFF11,BN=unclosed"));
        ASSERT_TRUE(store.write("BoardsV2", "0xFF12", "\"\""));
        ASSERT_TRUE(store.write("BoardsV2", "0xFF13", "   "));
        ASSERT_TRUE(store.write("BoardsV2", "junk", "BI=junk,BN=Unnumbered,BCI=2000r0"));
        ASSERT_TRUE(store.save());
    }
    start();
    ASSERT_EQ(page->rows().size(), 64u + 3u);  // "" is one empty line
    EXPECT_EQ(page->rows()[0].text, "First of mine");
    EXPECT_EQ(page->rows()[0].record.value("BCS"), dec("7.3728"));
    EXPECT_EQ(page->rows()[2].text, "Unnumbered");
    EXPECT_EQ(page->rows()[3].record.value("BI"), "0x0101");
    EXPECT_EQ(page->selected_row(), 3);

    page->SelectRow(2);
    page->lbBoardTypeChange();
    EXPECT_FALSE(page->board_menu());
    EXPECT_EQ(page->lblID(), "");
    page->SelectRow(0);
    page->lbBoardTypeChange();
    EXPECT_TRUE(page->board_menu());
}

// Neither a second show nor an OK without changes writes the store.
TEST_P(TargetlessPage, SecondShowAndPlainOkWriteNothing)
{
    start();
    const std::string before = file_bytes(sandbox->store_file());
    restart();
    EXPECT_EQ(file_bytes(sandbox->store_file()), before);
    ASSERT_TRUE(page->SaveTargetlessLists());
    EXPECT_EQ(file_bytes(sandbox->store_file()), before);
}

TEST_P(TargetlessPage, ThousandsOfUserBoards)
{
    {
        TTargetlessStore store;
        for (int i = 0; i < 3000; ++i) {
            const std::string id = FormatHexId(1, 0x2000 + i);
            ASSERT_TRUE(store.write("BoardsV2", id,
                                    "BI=" + id + ",BN=b" + std::to_string(i) +
                                        ",BCI=2000r0,BCS=7.3728,BRS=32,BFS=0"));
        }
        ASSERT_TRUE(store.save());
    }
    start(0x2000 + 2999);
    EXPECT_EQ(page->rows().size(), 3064u);
    EXPECT_EQ(selected().text, "b2999");
    EXPECT_EQ(page->row_of_id(0x2000 + 1500), 1500);
}

// ---- the Specify page --------------------------------------------------------------------------

TEST_P(TargetlessPage, AddsAUserBoardAndSavesItOnOk)
{
    start();
    page->tsSpecifyShow();
    EXPECT_EQ(page->id_text(), "0xFF");
    specify(" 0xFF01 ", "Test board", "3000r1", "29.4912", "512", "256");
    EXPECT_TRUE(headless_message_box_host().shown.empty()) << last_box();
    ASSERT_EQ(page->rows().size(), 65u);
    EXPECT_EQ(page->selected_row(), 64);
    EXPECT_EQ(page->lblID(), "0xFF01");
    EXPECT_EQ(page->current_cpu_revision(), "0x101");
    EXPECT_TRUE(page->board_menu());
    EXPECT_EQ(page->row_of_id(0xFF01), 64);
    EXPECT_EQ(stored("BoardsV2", "0xFF01"), "");  // only in the dialog until OK

    ASSERT_TRUE(page->SaveTargetlessLists());
    const std::string bcs = sep() == ',' ? "\"BCS=29,4912\"" : "BCS=29.4912";
    EXPECT_EQ(stored("BoardsV2", "0xFF01"),
              "BI=0xFF01,\"BN=Test board\",BCI=3000r1,BRS=512," + bcs + ",BFS=256");
}

TEST_P(TargetlessPage, IdOutsideTheUserRangeAfterTheQuestion)
{
    start();
    answer(kIdNo);
    specify("0x5", "Five", "2000r0", "11.0592", "128", "256");
    ASSERT_EQ(headless_message_box_host().shown.size(), 1u);
    const auto &question = headless_message_box_host().shown[0];
    EXPECT_EQ(question.text, "User defined ID Codes are in the format 0xFFnn\nUse this anyway?");
    EXPECT_EQ(question.caption, "Board ID: 0x0005");
    EXPECT_EQ(question.flags, kMbYesNo);
    EXPECT_EQ(page->rows().size(), 64u);
    EXPECT_EQ(page->take_focus(), PageFocus::ID);

    answer(kIdYes);
    specify("0x5", "Five", "2000r0", "11.0592", "128", "256");
    ASSERT_EQ(page->rows().size(), 65u);
    EXPECT_EQ(selected().record.value("BI"), "0x5");
    EXPECT_EQ(page->lblID(), "0x0005");
    ASSERT_TRUE(page->SaveTargetlessLists());
    EXPECT_NE(stored("BoardsV2", "0x5").find("BI=0x5,"), std::string::npos);
}

struct Refused {
    const char *name;
    const char *id, *description, *mhz, *ram, *flash;
    const char *caption, *text;  // "%" in the text stands for the decimal separator
    PageFocus focus;
};

// Each bad entry is refused with its message and adds nothing.
const Refused kRefused[] = {
    {"id_not_numeric", "0xFG01", "B", "11.0592", "128", "256", "Board ID Code",
     "Enter a numeric code, user defined ID codes are in the format 0xFFnn", PageFocus::ID},
    {"id_empty", "", "B", "11.0592", "128", "256", "Board ID Code",
     "Enter a numeric code, user defined ID codes are in the format 0xFFnn", PageFocus::ID},
    // The compiler keeps 16 bits of the ID: 0x1FF01 would compile as 0xFF01.
    {"id_above_16_bits", "0x1FF01", "B", "11.0592", "128", "256", "Board ID Code",
     "Enter a numeric code, user defined ID codes are in the format 0xFFnn", PageFocus::ID},
    {"id_negative", "-1", "B", "11.0592", "128", "256", "Board ID Code",
     "Enter a numeric code, user defined ID codes are in the format 0xFFnn", PageFocus::ID},
    {"no_description", "0xFF02", "", "11.0592", "128", "256", "Board ID: 0xFF02",
     "Enter a board description", PageFocus::Name},
    {"crystal_not_a_number", "0xFF02", "B", "fast", "128", "256", "Crystal Speed Error",
     "Enter crystal speed in MHz, 29%4912 etc.", PageFocus::None},
    {"crystal_zero", "0xFF02", "B", "0", "128", "256", "Crystal Speed Error",
     "Enter crystal speed in MHz, 29%4912 etc.", PageFocus::None},
    {"ram_not_a_number", "0xFF02", "B", "11.0592", "12K", "256", "RAM Size Error",
     "Enter RAM size in KBytes, 128 etc.", PageFocus::None},
    {"ram_negative", "0xFF02", "B", "11.0592", "-32", "256", "RAM Size Error",
     "Enter RAM size in KBytes, 128 etc.", PageFocus::None},
    {"flash_not_a_number", "0xFF02", "B", "11.0592", "128", "", "Flash Size Error",
     "Enter Flash size in KBytes, 128 etc.", PageFocus::None},
};

TEST_P(TargetlessPage, RefusesBadEntries)
{
    start();
    for (const Refused &c : kRefused) {
        SCOPED_TRACE(c.name);
        headless_message_box_host().shown.clear();
        (void)page->take_focus();
        specify(c.id, c.description, "2000r0", c.mhz, c.ram, c.flash);
        ASSERT_EQ(headless_message_box_host().shown.size(), 1u);
        std::string text = c.text;
        std::replace(text.begin(), text.end(), '%', sep());
        EXPECT_EQ(headless_message_box_host().shown[0].text, text);
        EXPECT_EQ(headless_message_box_host().shown[0].caption, c.caption);
        EXPECT_EQ(page->take_focus(), c.focus);
        EXPECT_EQ(page->rows().size(), 64u);
    }
}

TEST_P(TargetlessPage, FrequencyWithTheOtherSeparatorIsRefused)
{
    start();
    const std::string other = sep() == '.' ? "11,0592" : "11.0592";
    page->SetTab(TargetlessTab::Specify);
    page->SetIdText("0xFF03");
    page->SetNameText("Other separator");
    page->SetComboText(SizeCombo::BaseFreq, other);
    page->btnUpdateClick();
    EXPECT_EQ(last_box(), "Crystal Speed Error: Enter crystal speed in MHz, 29" +
                              std::string(1, sep()) + "4912 etc.");
    EXPECT_EQ(page->rows().size(), 64u);
}

TEST_P(TargetlessPage, DuplicateIdNamesTheRowThatHasIt)
{
    start();
    specify("0xFF04", "Mine", "2000r0", "11.0592", "128", "256");
    ASSERT_EQ(page->rows().size(), 65u);
    specify("0xff04", "Again", "2000r0", "11.0592", "128", "256");
    EXPECT_EQ(last_box(), "Board ID: 0xFF04: Mine already has this board ID");
    // A catalogue ID, accepted after the question, is taken as well.
    answer(kIdYes);
    specify("0x0806", "Again", "2000r0", "11.0592", "128", "256");
    EXPECT_EQ(last_box(), "Board ID: 0x0806: " + page->rows()[4].text + " already has this board ID");
    EXPECT_EQ(page->rows().size(), 65u);
}

// A new size goes before the first greater entry; without one the list stays as it is.
TEST_P(TargetlessPage, NewSizesJoinTheirListsInOrder)
{
    start();
    specify("0xFF05", "Odd sizes", "2000r0", "11.0592", "33", "600");
    EXPECT_TRUE(headless_message_box_host().shown.empty()) << last_box();
    EXPECT_EQ(page->combo(SizeCombo::RAMSize).items,
              (std::vector<std::string>{"32", "33", "128", "256", "512"}));
    EXPECT_EQ(page->combo(SizeCombo::FlashSize).items,
              (std::vector<std::string>{"0", "128", "256", "512"}));
    EXPECT_EQ(selected().record.value("BFS"), "600");
    specify("0xFF06", "Odd crystal", "2000r0", "10.0", "128", "256");
    const auto &crystals = page->combo(SizeCombo::BaseFreq).items;
    const auto at = std::find(crystals.begin(), crystals.end(), dec("10.0"));
    ASSERT_NE(at, crystals.end());
    EXPECT_EQ(*std::prev(at), dec("9.2160"));
    EXPECT_EQ(*std::next(at), dec("11.0592"));

    ASSERT_TRUE(page->SaveTargetlessLists());
    EXPECT_EQ(stored("", "RAM Sizes"), "32,33,128,256,512");
    restart();
    EXPECT_EQ(page->combo(SizeCombo::RAMSize).items.size(), 5u);
}

TEST_P(TargetlessPage, EnterInTheDescriptionAddsTheBoard)
{
    start();
    page->SetTab(TargetlessTab::Specify);
    page->SetIdText("0xFF07");
    page->SetNameText("Entered");
    page->CPUIdChange(CpuCombo::CPUId, cpu("2000r1"));
    page->SetComboText(SizeCombo::BaseFreq, dec("11.0592"));
    page->SetComboText(SizeCombo::RAMSize, "128");
    page->SetComboText(SizeCombo::FlashSize, "256");
    EXPECT_FALSE(page->NameKeyPress('a'));
    EXPECT_EQ(page->rows().size(), 64u);
    EXPECT_TRUE(page->NameKeyPress('\r'));
    ASSERT_EQ(page->rows().size(), 65u);
    EXPECT_EQ(selected().record.value("BCI"), "2000r1");
}

// ---- deleting ----------------------------------------------------------------------------------

TEST_P(TargetlessPage, DeletesUserBoardsAtOnce)
{
    start();
    for (const char *id : {"0xFF21", "0xFF22", "0xFF23"})
        specify(id, std::string("Board ") + id, "2000r0", "11.0592", "128", "256");
    ASSERT_TRUE(page->SaveTargetlessLists());

    select("0x0800");
    EXPECT_FALSE(page->board_menu());
    select("0xFF22");
    ASSERT_TRUE(page->board_menu());
    page->BoardIDMenuPopup();
    EXPECT_EQ(page->delete_caption(), "Delete: Board 0xFF22");

    answer(kIdNo);
    page->Delete1Click();
    EXPECT_EQ(last_box(), "Delete Item From Boards List: Permanently Delete: Board 0xFF22?");
    EXPECT_EQ(page->rows().size(), 67u);

    answer(kIdYes);
    page->Delete1Click();
    EXPECT_EQ(page->rows().size(), 66u);
    EXPECT_EQ(page->selected_row(), 0);
    EXPECT_EQ(page->row_of_id(0xFF22), -1);
    EXPECT_EQ(stored("BoardsV2", "0xFF22"), "");  // gone without OK
    select("0xFF23");
    EXPECT_EQ(selected().text, "Board 0xFF23");
    EXPECT_EQ(page->lblID(), "0xFF23");

    page.reset();  // the dialog cancelled
    restart();
    EXPECT_EQ(page->row_of_id(0xFF22), -1);
    EXPECT_GE(page->row_of_id(0xFF21), 0);
}

// ---- OK ----------------------------------------------------------------------------------------

struct Chosen {
    const char *id;
    uint32_t hz;
    int32_t cpu_id, ram, flash;
};
const Chosen kChosen[] = {
    {"0x0101", 29491200, 0x03, 128, 256},
    {"0x1200", 3686400, 0x100, 512, 256},
    {"0x1400", 22118400, 0x101, 512, 512},
    {"0x0806", 11059200, 0x03, 512, 512},
};

TEST_P(TargetlessPage, OkFillsTheBoardRecordAndTheProject)
{
    const std::string project = write("board.kxp", crlf("[Targetless Compile]\n"));
    load(project);
    start();
    for (const Chosen &c : kChosen) {
        SCOPED_TRACE(c.id);
        select(c.id);
        ASSERT_TRUE(page->FillBoardParameters(gBoardParameters));
        EXPECT_EQ(gBoardParameters.boardType, static_cast<uint32_t>(*parse_id(c.id)));
        EXPECT_EQ(gBoardParameters.crystalSpeed, c.hz);
        EXPECT_EQ(gBoardParameters.cpuId, c.cpu_id);
        EXPECT_EQ(gBoardParameters.ramSize, c.ram);
        EXPECT_EQ(gBoardParameters.flashSize, c.flash);
        EXPECT_EQ(gBoardParameters.description, selected().text);
        EXPECT_EQ(key(project, "Targetless Compile", "Board ID"),
                  "0x" + std::string(c.id + 2));
    }
    EXPECT_EQ(key(project, "Targetless Compile", "Crystal Speed MHz"), "11.0592");
    EXPECT_TRUE(headless_message_box_host().shown.empty()) << last_box();
}

TEST_P(TargetlessPage, LongDescriptionIsCutTo255)
{
    start();
    specify("0xFF30", std::string(300, 'd'), "2000r0", "11.0592", "128", "256");
    ASSERT_TRUE(page->FillBoardParameters(gBoardParameters));
    EXPECT_EQ(gBoardParameters.description, std::string(255, 'd'));
    EXPECT_EQ(gBoardParameters.boardType, 0xFF30u);
}

// A crystal stored under the other separator is read, shown with this one, used, and written
// back corrected.
TEST_P(TargetlessPage, CrystalOfAnotherLocaleIsCorrected)
{
    const char other = sep() == '.' ? ',' : '.';
    start();
    const std::string mine = std::string("11") + sep() + "0592";
    const std::string theirs = std::string("11") + other + "0592";
    TStringList record = *TStringList::from_comma_text(stored("BoardsV2", "0x0800"));
    ASSERT_EQ(record.value("BCS"), mine);
    record.set_value("BCS", theirs);
    {
        TTargetlessStore store;
        ASSERT_TRUE(store.write("BoardsV2", "0x0800", record.comma_text()));
        ASSERT_TRUE(store.save());
    }

    restart();
    select("0x0800");
    EXPECT_EQ(page->lblBaseFreq(), mine);
    ASSERT_TRUE(page->FillBoardParameters(gBoardParameters));
    EXPECT_EQ(gBoardParameters.crystalSpeed, 11059200u);
    ASSERT_TRUE(page->SaveTargetlessLists());
    EXPECT_EQ(TStringList::from_comma_text(stored("BoardsV2", "0x0800"))->value("BCS"), mine);
}

TEST_P(TargetlessPage, ChangedCpuOfABuiltInBoardIsKept)
{
    start();
    select("0x0800");
    const auto &family = page->select_cpus();
    int revision_b = -1;
    for (std::size_t k = 0; k < family.size(); ++k)
        if (page->cpus()[family[k]].record.value("CI") == "2000r1")
            revision_b = static_cast<int>(k);
    ASSERT_GE(revision_b, 0);
    page->CPUIdChange(CpuCombo::cboCPUId, revision_b);
    EXPECT_EQ(page->current_cpu_revision(), "0x01");
    ASSERT_TRUE(page->FillBoardParameters(gBoardParameters));
    EXPECT_EQ(gBoardParameters.cpuId, 0x01);
    ASSERT_TRUE(page->SaveTargetlessLists());
    EXPECT_NE(stored("BoardsV2", "0x0800").find("BCI=2000r1"), std::string::npos);

    restart(0x0800);
    EXPECT_EQ(selected().record.value("BCI"), "2000r1");
    EXPECT_EQ(page->current_cpu_revision(), "0x01");
}

// A board whose CPU is no known revision, or whose sizes are no numbers, leaves the record as
// it was and says why.
TEST_P(TargetlessPage, OkWithAnUnusableBoardKeepsTheRecord)
{
    {
        TTargetlessStore store;
        ASSERT_TRUE(store.write("BoardsV2", "0xFF40", "BI=0xFF40,BN=Ghost,BCI=9000r9,BCS=7.3728,"
                                                      "BRS=32,BFS=0"));
        ASSERT_TRUE(store.write("BoardsV2", "0xFF41", "BI=0xFF41,BN=Roomy,BCI=2000r0,BCS=7.3728,"
                                                      "BRS=lots,BFS=0"));
        ASSERT_TRUE(store.save());
    }
    start();
    const BoardParameters before = gBoardParameters;
    select("0xFF40");
    EXPECT_FALSE(page->FillBoardParameters(gBoardParameters));
    EXPECT_EQ(last_box(), "CPU Error: The CPU \"9000r9\" is not one of the CPU revisions.");
    EXPECT_EQ(gBoardParameters, before);
    select("0xFF41");
    EXPECT_FALSE(page->FillBoardParameters(gBoardParameters));
    EXPECT_EQ(last_box(), "RAM Size Error: Enter RAM size in KBytes, 128 etc.");
    EXPECT_EQ(gBoardParameters, before);
}

// ---- RTI board files ---------------------------------------------------------------------------

TEST_P(TargetlessPage, SavesTheExampleFileFromTheSpecifyPage)
{
    start();
    page->SetTab(TargetlessTab::Specify);
    page->SetIdText("0xFF01");
    page->SetNameText("Test board");
    page->CPUIdChange(CpuCombo::CPUId, cpu("3000r1"));
    page->SetComboText(SizeCombo::BaseFreq, dec("29.4912"));
    page->SetComboText(SizeCombo::RAMSize, "512");
    page->SetComboText(SizeCombo::FlashSize, "256");
    chosen_file = (dir / "test.rti").string();
    page->btnRTISaveClick();
    EXPECT_TRUE(headless_message_box_host().shown.empty()) << last_box();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(requests[0].filter.rfind("RTI Files|*.RTI|", 0), 0u);
    EXPECT_EQ(IdePreferences().board_file_dir, dir.string() + "/");
    EXPECT_EQ(file_bytes(chosen_file), crlf("[Parameters]\n"
                                            "Board ID=0xFF01\n"
                                            "Board Name=Test board\n"
                                            "CPU Name=Vireon 3000 revision B\n"
                                            "CPU ID=3000\n"
                                            "CPU Revision=1\n"
                                            "Crystal Speed (MHz)=" + dec("29.4912") + "\n"
                                            "RAM Size (KBytes)=512\n"
                                            "Flash Size (KBytes)=256\n"));
}

TEST_P(TargetlessPage, SavesABuiltInBoardFromTheSelectionPage)
{
    start();
    for (const auto &[id, revision] : {std::pair{"0x0101", "3"}, std::pair{"0x1400", "1"}}) {
        select(id);
        chosen_file = (dir / (std::string(id) + ".rti")).string();
        page->btnRTISaveClick();
        EXPECT_EQ(rti_value(file_bytes(chosen_file), "Board ID"), id);
        EXPECT_EQ(rti_value(file_bytes(chosen_file), "CPU Revision"), revision);
    }
}

TEST_P(TargetlessPage, SaveWithoutACpuOrToAnUnwritablePlaceWritesNothing)
{
    start();
    page->SetTab(TargetlessTab::Specify);
    page->CPUIdChange(CpuCombo::CPUId, -1);
    chosen_file = (dir / "no-cpu.rti").string();
    page->btnRTISaveClick();
    EXPECT_EQ(last_box(), "CPU Error: Choose the board's CPU.");
    EXPECT_TRUE(requests.empty());
    EXPECT_FALSE(fs::exists(chosen_file));

    page->SetTab(TargetlessTab::Select);
    const std::string blocker = write("blocker", "a file");
    chosen_file = blocker + "/board.rti";
    page->btnRTISaveClick();
    EXPECT_EQ(headless_message_box_host().shown.back().caption, "File Save Error");
    EXPECT_NE(last_box().find(chosen_file), std::string::npos);
    EXPECT_EQ(file_bytes(blocker), "a file");
    EXPECT_EQ(page->lblID(), "0x0101");
}

// An existing file keeps its other lines; the eight keys are replaced.
TEST_P(TargetlessPage, SavingOverAFileKeepsItsOtherLines)
{
    start();
    chosen_file = write("old.rti", crlf("; mine\n[Notes]\nWho=me\n[Parameters]\nBoard ID=0x1\n"
                                        "Extra=kept\n"));
    page->btnRTISaveClick();
    const std::string text = file_bytes(chosen_file);
    EXPECT_EQ(rti_value(text, "Board ID"), "0x0101");
    EXPECT_EQ(rti_value(text, "Who"), "me");
    EXPECT_EQ(rti_value(text, "Extra"), "kept");
    EXPECT_NE(text.find("; mine"), std::string::npos);
}


TEST_P(TargetlessPage, AppliesABoardFile)
{
    start();
    open_rti("[Parameters]\nBoard ID= 0xff50 \nboard name=From a file\nCPU Name=x\nCPU ID=2000\n"
             "Crystal Speed (MHz)=29,4912\nRAM Size (KBytes)=256\nFlash Size (KBytes)=512\n");
    EXPECT_EQ(requests.at(0).filter, "RTI  (*.rti)|*.rti|Text (*.txt)|*.txt|All (*.*)|*.*|");
    EXPECT_FALSE(page->save_changes_visible());
    page->btnUpdateClick();
    EXPECT_TRUE(headless_message_box_host().shown.empty()) << last_box();
    ASSERT_EQ(page->rows().size(), 65u);
    const TStringList &record = selected().record;
    EXPECT_EQ(record.value("BI"), "0xFF50");
    EXPECT_EQ(record.value("BN"), "From a file");
    EXPECT_EQ(record.value("BCI"), "2000r0");  // no "CPU Revision" line
    EXPECT_EQ(record.value("BCS"), dec("29.4912"));
    EXPECT_EQ(record.value("BRS"), "256");
    EXPECT_EQ(record.value("BFS"), "512");
    EXPECT_EQ(page->lblID(), "0xFF50");
    // The Specify page took the file's values.
    EXPECT_EQ(page->id_text(), "0xff50");
    EXPECT_EQ(page->combo(SizeCombo::BaseFreq).text, dec("29.4912"));
    EXPECT_EQ(page->combo(SizeCombo::BaseFreq).index, 16);
    EXPECT_EQ(page->cpus()[page->cpu_index()].record.value("CI"), "2000r0");
}

struct BadFile {
    const char *name;
    const char *lines;
    const char *box;  // caption: text; "%" stands for the separator
};
const BadFile kBadFiles[] = {
    {"no_equals_sign", "just some text\nand more\n",
     "Board ID Code: Enter a numeric code, user defined ID codes are in the format 0xFFnn"},
    {"no_board_name", "Board ID=0xFF51\nRAM Size (KBytes)=128\n",
     "Board ID: 0xFF51: Enter a board description"},
    {"ram_not_a_number", "Board ID=0xFF51\nBoard Name=B\nCPU ID=2000\nRAM Size (KBytes)=lots\n",
     "RAM Size Error: Not a valid entry"},
    {"crystal_missing", "Board ID=0xFF51\nBoard Name=B\nCPU ID=2000\nRAM Size (KBytes)=128\n",
     "Crystal Speed Error: Enter crystal speed in MHz, 29%4912 etc."},
    {"flash_missing",
     "Board ID=0xFF51\nBoard Name=B\nCPU ID=2000\nRAM Size (KBytes)=128\n"
     "Crystal Speed (MHz)=11.0592\n",
     "Flash Size Error: Not a valid entry"},
    {"unknown_cpu",
     "Board ID=0xFF51\nBoard Name=B\nCPU ID=9000\nRAM Size (KBytes)=128\n"
     "Crystal Speed (MHz)=11.0592\nFlash Size (KBytes)=256\n",
     "CPU Error: The CPU \"9000r0\" is not one of the CPU revisions."},
    {"id_above_16_bits",
     "Board ID=0x1FF51\nBoard Name=B\nCPU ID=2000\nRAM Size (KBytes)=128\n"
     "Crystal Speed (MHz)=11.0592\nFlash Size (KBytes)=256\n",
     "Board ID Code: Enter a numeric code, user defined ID codes are in the format 0xFFnn"},
};

TEST_P(TargetlessPage, RefusesBadBoardFiles)
{
    start();
    for (const BadFile &c : kBadFiles) {
        SCOPED_TRACE(c.name);
        headless_message_box_host().shown.clear();
        open_rti(c.lines);
        page->btnUpdateClick();
        std::string box = c.box;
        std::replace(box.begin(), box.end(), '%', sep());
        EXPECT_EQ(last_box(), box);
        EXPECT_EQ(page->rows().size(), 64u);
    }
}

// A file without the section is read all the same: the keys are looked for on every line.
TEST_P(TargetlessPage, FileWithoutTheSectionIsRead)
{
    start();
    open_rti("Board ID=0xFF52\nBoard Name=B\nCPU ID=3000\nCPU Revision=1\n"
             "Crystal Speed (MHz)=14.7456\nRAM Size (KBytes)=128\nFlash Size (KBytes)=256\n");
    page->btnUpdateClick();
    EXPECT_TRUE(headless_message_box_host().shown.empty()) << last_box();
    EXPECT_EQ(selected().record.value("BCI"), "3000r1");
}

TEST_P(TargetlessPage, UpdateWithAnEmptyMemoAsksForANumber)
{
    start();
    page->SetTab(TargetlessTab::Rti);
    page->btnUpdateClick();
    EXPECT_EQ(last_box(),
              "Board ID Code: Enter a numeric code, user defined ID codes are in the format 0xFFnn");
    chosen_file.clear();  // the open dialog cancelled
    page->btnRtiOpenClick();
    page->btnUpdateClick();
    EXPECT_EQ(headless_message_box_host().shown.size(), 2u);
    EXPECT_EQ(page->rows().size(), 64u);
}

TEST_P(TargetlessPage, BinaryFileIsNotOpened)
{
    start();
    open_rti("Board ID=0xFF53\n");
    chosen_file = write("binary.rti", std::string("MZ\0\x01\x02\xFF Board ID=0xFF53", 22));
    page->btnRtiOpenClick();
    EXPECT_EQ(last_box(), "File Open Error: \"" + chosen_file + "\" is not a text file.");
    EXPECT_EQ(page->memo(), "");
    EXPECT_EQ(page->rti_file(), "");
}

// A FIFO or a device chosen as the board file is named in one box and neither waited on nor
// read without end; a file past the limit is refused before it is read.
TEST_P(TargetlessPage, FifoDeviceOrHugeFileIsNotOpened)
{
    start();
    const std::string fifo = (dir / "pipe.rti").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "zero.rti");
    const std::string huge = write("huge.rti", "Board ID=0xFF53\n");
    std::filesystem::resize_file(huge, std::size_t(64) << 20);
    const std::string not_ordinary = "\": it is not an ordinary file (a FIFO, socket or device).";
    const std::pair<std::string, std::string> kChoices[] = {
        {fifo, "File Open Error: \"" + fifo + not_ordinary},
        {(dir / "zero.rti").string(),
         "File Open Error: \"" + (dir / "zero.rti").string() + not_ordinary},
        {huge, "File Open Error: \"" + huge + "\" is too large for a board file."},
    };
    for (const auto &[file, box] : kChoices) {
        chosen_file = file;
        FifoGuard guard(fifo);
        page->btnRtiOpenClick();
        EXPECT_TRUE(guard.Stop()) << file << ": the open waited for a writer";
        EXPECT_EQ(last_box(), box);
        EXPECT_EQ(page->memo(), "");
        EXPECT_EQ(page->rti_file(), "");
    }
    EXPECT_EQ(std::filesystem::symlink_status(fifo).type(), std::filesystem::file_type::fifo);
}

// Another key name for "BN" moves the board name in the files written and read.
TEST_P(TargetlessPage, RemappedFieldNamesAreUsedBothWays)
{
    {
        TTargetlessStore store;
        TStringList fields = default_rti_fields();
        fields.set_value("BN", "Model");
        ASSERT_TRUE(store.write("", "RTI Fields V2", fields.comma_text()));
        ASSERT_TRUE(store.save());
    }
    start();
    chosen_file = (dir / "remapped.rti").string();
    page->btnRTISaveClick();
    const std::string text = file_bytes(chosen_file);
    EXPECT_EQ(rti_value(text, "Model"), page->rows()[0].text);
    EXPECT_EQ(rti_value(text, "Board Name"), "");

    open_rti("Board ID=0xFF54\nBoard Name=Old key\nModel=New key\nCPU ID=2000\n"
             "Crystal Speed (MHz)=11.0592\nRAM Size (KBytes)=128\nFlash Size (KBytes)=256\n");
    page->btnUpdateClick();
    EXPECT_EQ(selected().text, "New key");
}

// A user board saved to a file, deleted, then applied from the file comes back the same.
TEST_P(TargetlessPage, SavedUserBoardComesBackFromItsFile)
{
    start();
    answer(kIdYes);
    specify("0xFF60", "Round trip", "3000r1", "22.1184", "512", "128");
    specify("0xFF61", "Round trip too", "2000r2", "9.2160", "32", "0");
    ASSERT_TRUE(page->SaveTargetlessLists());
    for (const char *id : {"0xFF60", "0xFF61"}) {
        SCOPED_TRACE(id);
        select(id);
        const TStringList original = selected().record;
        const std::string original_stored = stored("BoardsV2", id);
        chosen_file = (dir / (std::string(id) + ".rti")).string();
        page->btnRTISaveClick();
        page->BoardIDMenuPopup();
        page->Delete1Click();
        ASSERT_EQ(page->row_of_id(*parse_id(id)), -1);
        ASSERT_EQ(stored("BoardsV2", id), "");
        page->SetTab(TargetlessTab::Rti);
        page->btnRtiOpenClick();  // the file just saved
        page->btnUpdateClick();
        EXPECT_EQ(selected().record, original);
        ASSERT_TRUE(page->SaveTargetlessLists());
        EXPECT_EQ(stored("BoardsV2", id), original_stored);
    }
}

// "&Save Changes" appears when the text of an opened file changes and saves to that file only.
TEST_P(TargetlessPage, SaveChangesWritesTheOpenedFile)
{
    start();
    page->SetMemoText("Board ID=0xFF70\n");  // no file yet
    EXPECT_FALSE(page->save_changes_visible());
    page->btnRtiSaveChangesClick();
    EXPECT_TRUE(headless_message_box_host().shown.empty()) << last_box();

    open_rti("Board ID=0xFF71\n");
    const std::string opened = chosen_file;
    EXPECT_EQ(page->memo(), "Board ID=0xFF71\n");
    EXPECT_FALSE(page->save_changes_visible());
    page->SetMemoText("Board ID=0xFF72\nBoard Name=Edited\n");
    EXPECT_TRUE(page->save_changes_visible());
    page->btnRtiSaveChangesClick();
    EXPECT_FALSE(page->save_changes_visible());
    EXPECT_EQ(file_bytes(opened), crlf("Board ID=0xFF72\nBoard Name=Edited\n"));

    // A file that cannot be written is reported; the text stays to be saved again.
    fs::remove(opened);
    fs::create_directory(opened);
    page->SetMemoText("Board ID=0xFF73\n");
    page->btnRtiSaveChangesClick();
    EXPECT_EQ(headless_message_box_host().shown.back().caption, "File Save Error");
    EXPECT_TRUE(page->save_changes_visible());
    EXPECT_EQ(page->memo(), "Board ID=0xFF73\n");
    EXPECT_TRUE(fs::is_directory(opened));
}

INSTANTIATE_TEST_SUITE_P(Separators, TargetlessPage, ::testing::Values('.', ','),
                         [](const auto &i) { return i.param == '.' ? "Point" : "Comma"; });

// ---- support operations ------------------------------------------------------------------------

TEST(TargetlessSupport, IdTexts)
{
    EXPECT_EQ(FormatHexId(4, 0x101), "0x0101");
    EXPECT_EQ(FormatHexId(1, 0xff01), "0xFF01");
    EXPECT_EQ(FormatHexId(4, 0x12345), "0x12345");
    EXPECT_EQ(FormatIdText("257", 4), "0x0101");
    EXPECT_EQ(FormatIdText(" 0x5 ", 4), "0x0005");
    EXPECT_EQ(FormatIdText("0xFG", 4), "");
    EXPECT_EQ(FormatIdText("", 4), "");
}

struct Frequency {
    const char *name;
    const char *text;
    char sep;
    bool read;
    double mhz;
    const char *after;  // the caller's text afterwards
};
const Frequency kFrequencies[] = {
    {"point_under_point", "29.4912", '.', true, 29.4912, "29.4912"},
    {"comma_under_comma", "29,4912", ',', true, 29.4912, "29,4912"},
    {"comma_under_point_is_mended", "29,4912", '.', true, 29.4912, "29.4912"},
    {"point_under_comma_is_mended", "11.0592", ',', true, 11.0592, "11,0592"},
    {"whole_number", "22", '.', true, 22.0, "22"},
    {"other_first_non_digit", "7x3728", '.', true, 7.3728, "7.3728"},
    {"letters", "fast", '.', false, 0, "fast"},
    {"two_separators", "1.2.3", '.', false, 0, "1.2.3"},
    {"empty", "", '.', false, 0, ""},
};
class FrequencyTexts : public ::testing::TestWithParam<Frequency> {};
TEST_P(FrequencyTexts, ParseFrequency)
{
    const Frequency &c = GetParam();
    std::string text = c.text;
    const std::optional<double> mhz = ParseFrequency(text, c.sep);
    ASSERT_EQ(mhz.has_value(), c.read);
    if (c.read) {
        EXPECT_DOUBLE_EQ(*mhz, c.mhz);
    }
    EXPECT_EQ(text, c.after);
}
INSTANTIATE_TEST_SUITE_P(All, FrequencyTexts, ::testing::ValuesIn(kFrequencies),
                         [](const auto &i) { return std::string(i.param.name); });

TEST(TargetlessSupport, FrequencyInHz)
{
    EXPECT_EQ(frequency_hz(29.4912), 29491200u);
    EXPECT_EQ(frequency_hz(3.6864), 3686400u);
    EXPECT_EQ(frequency_hz(0.0), std::nullopt);
    EXPECT_EQ(frequency_hz(-1.0), std::nullopt);
    EXPECT_EQ(frequency_hz(5000.0), std::nullopt);  // beyond 32 bits of Hz
}

} // namespace
