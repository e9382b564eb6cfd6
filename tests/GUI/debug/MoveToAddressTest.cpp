// The "Disassemble at Address" dialog: what it accepts, what it says about the rest while it
// stays open, and the history of typed addresses between runs.
#include "GuiHarness.h"

#include <QComboBox>
#include <QPushButton>

#include "core/CC_ADDR.h"
#include "debug/frmKXMoveToAddress.h"
#include "settings/guiEnvironment.h"

namespace {

constexpr const char *kBadAddress =
    "Bad Address\nFormat should be either:\n[0x]nnnn\t(logical address) or\n"
    "mm:nnnn\t(xpc:offset address) ";
constexpr const char *kNeedsXpc = "Logical addresses above 0xe000 require an XPC value (mm:nnnn).";

struct TypedCase {
    const char *name;
    const char *typed;
    const char *message; // null: accepted
    uint32_t address;
};

const TypedCase kTyped[] = {
    {"logical", " 0x1234 ", nullptr, make_addr(0, 0x1234)},
    {"xpc_offset", "1e:E123", nullptr, make_addr(0x1E, 0xE123)},
    {"empty", "", kBadAddress, 0},
    {"eight_characters", "12345678", kBadAddress, 0},
    {"colon_first", ":1234", kBadAddress, 0},
    {"prefix_alone", "0x", kBadAddress, 0},
    {"non_ascii", "\xC3\xA9\xC3\xA9", kBadAddress, 0},
    {"physical_refused", "12345", kBadAddress, 0},
    {"letters", "0xWXYZ", kBadAddress, 0},
    {"above_window_start", "E000", kNeedsXpc, 0},
};

class MoveToAddressTyped : public GuiTest, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(MoveToAddressTyped, AcceptsOrSaysWhyAndStaysOpen)
{
    const TypedCase &c = GetParam();
    uint32_t address = 0;
    TAddressParseResult result;
    TfrmMoveToAddress dialog(&Main(), address, result);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Disassemble at Address");
    dialog.edtJumpAddress->setEditText(QString::fromUtf8(c.typed));
    dialog.btnOK->click();
    if (!c.message) {
        EXPECT_TRUE(m_boxes.shown.empty());
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(address, c.address);
        EXPECT_NE(result.kind, kAddressBad);
        return;
    }
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, c.message);
    EXPECT_EQ(m_boxes.shown[0].caption, "Error");
    EXPECT_EQ(m_boxes.shown[0].flags & kMbIconMask, kMbIconExclamation);
    EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open";
    EXPECT_EQ(dialog.focusWidget(), dialog.edtJumpAddress);
    EXPECT_EQ(address, 0u);
    dialog.btnCancel->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

INSTANTIATE_TEST_SUITE_P(All, MoveToAddressTyped, ::testing::ValuesIn(kTyped),
                         [](const auto &i) { return std::string(i.param.name); });

class MoveToAddressHistory : public GuiTest {
protected:
    // One run of the dialog: `typed` and OK; the items it showed when it opened.
    std::vector<std::string> Run(const std::string &typed)
    {
        uint32_t address = 0;
        TAddressParseResult result;
        TfrmMoveToAddress dialog(&Main(), address, result);
        dialog.show();
        std::vector<std::string> items;
        for (int i = 0; i < dialog.edtJumpAddress->count(); ++i)
            items.push_back(dialog.edtJumpAddress->itemText(i).toStdString());
        dialog.edtJumpAddress->setEditText(QString::fromStdString(typed));
        dialog.btnOK->click();
        EXPECT_FALSE(dialog.isVisible()) << typed;
        return items;
    }
};

TEST_F(MoveToAddressHistory, KeepsTheTenMostRecent)
{
    for (int i = 0; i < 12; ++i) {
        char typed[8];
        std::snprintf(typed, sizeof typed, "%04x", 0x100 + i);
        Run(typed);
    }
    Run("0105"); // again: moves to the top, no second entry
    const std::vector<std::string> items = Run("0200");
    ASSERT_EQ(items.size(), 10u);
    EXPECT_EQ(items.front(), "0105");
    EXPECT_EQ(items[1], "010b");
    EXPECT_EQ(items.back(), "0103");
}

TEST_F(MoveToAddressHistory, ADamagedHistoryOpensWithWhatCanBeRead)
{
    {
        TKXRegistry reg;
        ASSERT_TRUE(reg.open_key(settings_key(kSectionPersonality), true));
        WriteRegString(reg, "Jump addresses", "0100\r\n\r\n\xFF\xFE\r0200");
        WriteRegString(reg, "Jump addresses Index", "not a number");
        reg.close_key();
    }
    const std::vector<std::string> items = Run("0300");
    EXPECT_NE(std::find(items.begin(), items.end(), "0100"), items.end());
    EXPECT_NE(std::find(items.begin(), items.end(), "0200"), items.end());
    EXPECT_EQ(Run("0400").front(), "0300");
}

} // namespace
