// The stack window over the debugger core's stack lines, and what it tells the target when it
// is hidden or closed.
#include "CommandTestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QListWidget>
#include <QScrollBar>

#include "debug/frmKXStack.h"
#include "debugger/DB_ML.h"
#include "link/TC.h"

namespace {

class StackWindow : public CommandTest {
protected:
    void SetUp() override
    {
        CommandTest::SetUp();
        m_link.memory.assign(0x100000, 0);
        m_window = new TfrmStack(&Main(), false, true);
        m_window->ShowWindow();
    }
    void TearDown() override
    {
        delete m_window;
        CommandTest::TearDown();
    }
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        for (int i = 0; i < m_window->lbxStack->count(); ++i)
            lines.push_back(m_window->lbxStack->item(i)->text().toStdString());
        return lines;
    }
    TfrmStack *m_window = nullptr;
};

TEST_F(StackWindow, ShowsTheCoreLinesNewestInView)
{
    // Words 0x1111, 0x2222, 0x3333 at SP 0xDFF0 (little-endian).
    const uint8_t words[] = {0x11, 0x11, 0x22, 0x22, 0x33, 0x33};
    std::copy(std::begin(words), std::end(words), m_link.memory.begin() + 0xDFF0);
    TargetRegisterSet registers;
    registers.SP = 0xDFF0;
    registers.PC = 0x0100;
    fillStackView(*m_window->Adapter(), registers, 3);
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
              (std::vector<std::string>{"DFF0: 1111", "DFF2: 2222", "DFF4: 3333"}));

    m_window->Host()->resize(200, 120);
    for (int i = 0; i < 10; ++i)
        fillStackView(*m_window->Adapter(), registers, 16);
    QScrollBar *bar = m_window->lbxStack->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum()) << "the last line stays in view";
}

TEST_F(StackWindow, CopiesTheSelectedLinesInListOrder)
{
    for (const char *line : {"DFF0: 1111", "DFF2: 2222", "DFF4: 3333"})
        m_window->AddLine(line);
    EXPECT_FALSE(m_window->actCopyUpdate());
    EXPECT_FALSE(m_window->actCopy->isEnabled());
    m_window->lbxStack->item(2)->setSelected(true);
    m_window->lbxStack->item(0)->setSelected(true);
    EXPECT_TRUE(m_window->actCopy->isEnabled());
    m_window->actCopy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "DFF0: 1111\nDFF4: 3333\n");
}

struct SendCase {
    const char *name;
    int debug_mode;
    bool close; // else hide
    bool send_fails;
    bool sent;
};

const SendCase kSends[] = {
    {"hidden_while_debugging", 1, false, false, true},
    {"closed_while_debugging", 1, true, false, true},
    {"send_fails_on_close", 1, true, true, true},
    {"send_fails_on_hide", 1, false, true, true},
    {"closed_in_edit_mode", 0, true, false, false},
    {"hidden_in_edit_mode", 0, false, false, false},
};

class StackWindowGoes : public StackWindow, public ::testing::WithParamInterface<SendCase> {};

TEST_P(StackWindowGoes, StopsTheStackReportsOnlyWhileDebugging)
{
    const SendCase &c = GetParam();
    if (c.debug_mode)
        Enter(c.debug_mode);
    Main().SetAutoShow(DebugWindow::Stack, true);
    m_journal.calls.clear();
    if (c.send_fails)
        m_journal.fail = [](const std::string &call) {
            if (call.rfind("TcSetSendFlag", 0) == 0)
                throw xTCErr(7151, KX_HERE);
        };
    if (c.close)
        m_window->CloseWindow();
    else
        m_window->Host()->hide();
    m_journal.fail = nullptr;
    EXPECT_EQ(Called("TcSetSendFlag 0 off"), c.sent);
    EXPECT_FALSE(Called("TcSetSendFlag 0 on"));
    EXPECT_FALSE(m_window->IsShown());
    EXPECT_FALSE(Main().AutoShow(DebugWindow::Stack));
    EXPECT_TRUE(m_boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(All, StackWindowGoes, ::testing::ValuesIn(kSends),
                         [](const auto &i) { return std::string(i.param.name); });

} // namespace
