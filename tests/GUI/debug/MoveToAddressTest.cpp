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

// Each opening offers what was typed before, newest first, once each, at most ten; a new
// program run reads them from the settings store.
TEST_F(GuiTest, MoveToAddressKeepsTypedAddressesNewestFirst)
{
    const auto type_and_ok = [this](const QString &typed) {
        uint32_t address = 0;
        TAddressParseResult result;
        TfrmMoveToAddress dialog(&Main(), address, result);
        dialog.show();
        dialog.edtJumpAddress->setEditText(typed);
        dialog.btnOK->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << typed.toStdString();
    };
    const auto offered = [this] {
        uint32_t address = 0;
        TAddressParseResult result;
        TfrmMoveToAddress dialog(&Main(), address, result);
        dialog.show();
        QStringList items;
        for (int i = 0; i < dialog.edtJumpAddress->count(); ++i)
            items << dialog.edtJumpAddress->itemText(i);
        const QString current = dialog.edtJumpAddress->currentText();
        dialog.btnCancel->click();
        return std::make_pair(items, current);
    };
    type_and_ok("0105");
    type_and_ok("1e:E123");
    type_and_ok("0105");
    auto [items, current] = offered();
    EXPECT_EQ(items, QStringList({"0105", "1e:E123"}));
    EXPECT_EQ(current, "0105") << "the last address is offered again";

    for (int i = 0; i < 12; ++i)
        type_and_ok(QString::asprintf("%04x", 0x200 + i));
    std::tie(items, current) = offered();
    ASSERT_EQ(items.size(), 10);
    EXPECT_EQ(items.front(), "020b");
    EXPECT_EQ(items.back(), "0202");

    const std::optional<ComboHistory> stored = ReadComboHistory(kJumpAddressHistory);
    ASSERT_TRUE(stored.has_value()) << "the history is kept in the settings store";
    EXPECT_EQ(stored->items.front(), "020b");
}

} // namespace
