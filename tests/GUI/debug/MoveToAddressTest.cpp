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

} // namespace
