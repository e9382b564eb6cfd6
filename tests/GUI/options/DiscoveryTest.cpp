// The discovery dialog on a scripted link: rows per board, the busy lock, the end after the last
// poll, a failing link, and Select handing the board to the Communications page. The polls are
// run by the test, one tick at a time; the dialog's own timer is set never to fire. Last, the
// dialog on the target link's own discovery, answered by the board stand-in on 127.0.0.1.
#include "OptionsDoubles.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include <memory>

#include "BoardStandIn.h"

#include "options/frmKXDiscovery.h"
#include "options/frmKXEnvOptions.h"

namespace {

DiscoveredBoard board(const char *name, const char *address)
{
    return {name, address, "4244", "Waiting", "00:90:c2:00:00:01"};
}

class Discovery : public OptionsTest {
protected:
    std::unique_ptr<TfrmDiscovery> dialog;

    void SetUp() override
    {
        OptionsTest::SetUp();
        discovery_dialog_settings().poll_interval_ms = 24 * 3600 * 1000;
    }
    void TearDown() override
    {
        dialog.reset();
        discovery_dialog_settings() = DiscoveryDialogSettings();
        OptionsTest::TearDown();
    }
    TfrmDiscovery &Open()
    {
        dialog = std::make_unique<TfrmDiscovery>(nullptr);
        dialog->show();
        return *dialog;
    }
    static void Ticks(TfrmDiscovery &d, int count)
    {
        for (int i = 0; i < count; ++i)
            d.tmrDiscoveryTimer();
    }
    static QStringList Row(const TfrmDiscovery &d, int row)
    {
        QStringList texts;
        for (int column = 0; column < 5; ++column)
            texts << d.lvDiscovery->topLevelItem(row)->text(column);
        return texts;
    }
};

TEST_F(Discovery, ListsEachBoardOnceByItsAddress)
{
    discovery.answers = {board("Lab", "10.0.0.7"), std::nullopt, board("Lab", "10.0.0.7"),
                         board("Twin", "10.0.0.8"), board("Twin", "10.0.0.9"),
                         board("Lab", "10.0.0.7")};
    TfrmDiscovery &d = Open();
    EXPECT_EQ(discovery.started, std::vector<uint16_t>{4242});
    Ticks(d, 6);
    ASSERT_EQ(d.lvDiscovery->topLevelItemCount(), 3);
    EXPECT_EQ(Row(d, 0),
              (QStringList{"Lab", "10.0.0.7", "4244", "Waiting", "00:90:c2:00:00:01"}));
    EXPECT_EQ(Row(d, 1)[1], "10.0.0.8");
    EXPECT_EQ(Row(d, 2)[0], "Twin");
    EXPECT_EQ(Row(d, 2)[1], "10.0.0.9");
}

TEST_F(Discovery, NothingEndsTheDialogWhileItIsBusy)
{
    discovery.answers = {board("Lab", "10.0.0.7")};
    TfrmDiscovery &d = Open();
    Ticks(d, 1);
    d.lvDiscovery->setCurrentItem(d.lvDiscovery->topLevelItem(0));
    EXPECT_TRUE(d.Busy());
    EXPECT_FALSE(d.btnSelect->isEnabled());
    EXPECT_FALSE(d.btnCancel->isEnabled());
    d.btnSelect->click();
    d.btnCancel->click();
    QTest::keyClick(&d, Qt::Key_Escape);
    d.close();
    d.reject();
    EXPECT_TRUE(d.isVisible());

    // Fifty polls, then the next tick ends discovery; the rows stay.
    Ticks(d, TfrmDiscovery::kPolls - 1);
    EXPECT_TRUE(d.Busy());
    EXPECT_EQ(discovery.polls, TfrmDiscovery::kPolls);
    Ticks(d, 1);
    EXPECT_FALSE(d.Busy());
    EXPECT_EQ(discovery.ended, 1);
    EXPECT_EQ(discovery.polls, TfrmDiscovery::kPolls);
    EXPECT_TRUE(d.btnSelect->isEnabled());
    EXPECT_EQ(d.lvDiscovery->topLevelItemCount(), 1);
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Rejected);
}

TEST_F(Discovery, SelectNeedsARow)
{
    discovery.answers = {board("Lab", "10.0.0.7"), board("Bench", "10.0.0.12")};
    TfrmDiscovery &d = Open();
    Ticks(d, TfrmDiscovery::kPolls + 1);
    d.btnSelect->click();
    EXPECT_TRUE(d.isVisible());
    d.lvDiscovery->setCurrentItem(d.lvDiscovery->topLevelItem(1));
    d.btnSelect->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.ResultAddress(), "10.0.0.12");
    EXPECT_EQ(d.ResultName(), "Bench");
    EXPECT_EQ(d.ResultPort(), "4244");
}

TEST_F(Discovery, AFailingLinkIsReportedAndLeavesTheDialogFreeToClose)
{
    struct Case {
        const char *name;
        bool fail_start;
        int fail_at_poll;
        int rows;
    };
    for (const Case &c : {Case{"AtStart", true, -1, 0}, Case{"AtThirdPoll", false, 3, 1}}) {
        SCOPED_TRACE(c.name);
        discovery = FakeDiscovery();
        discovery.fail_start = c.fail_start;
        discovery.fail_at_poll = c.fail_at_poll;
        discovery.answers = {board("Lab", "10.0.0.7")};
        TfrmDiscovery &d = Open();
        Ticks(d, 5);
        EXPECT_EQ(TakeBoxes(), Journal{"Error: The target link is not part of this build."});
        EXPECT_FALSE(d.Busy());
        EXPECT_EQ(discovery.ended, 1);
        EXPECT_EQ(d.lvDiscovery->topLevelItemCount(), c.rows);
        EXPECT_LE(discovery.polls, 3) << "no poll after the failure";
        d.btnCancel->click();
        EXPECT_FALSE(d.isVisible());
    }
}

TEST_F(Discovery, SelectFillsTheCommunicationsPage)
{
    discovery.answers = {board("Lab", "10.0.0.7")};
    TfrmEnvOptions options(nullptr, &gBoardParameters);
    options.show();
    options.rdbUseTCP->click();
    shell.modal = [&](QDialog &shown) {
        auto &d = dynamic_cast<TfrmDiscovery &>(shown);
        Ticks(d, TfrmDiscovery::kPolls + 1);
        d.lvDiscovery->setCurrentItem(d.lvDiscovery->topLevelItem(0));
        d.btnSelect->click();
    };
    options.btnDiscovery->click();
    EXPECT_EQ(options.edtNetworkAddress->text(), "10.0.0.7");
    EXPECT_EQ(options.edtControllerName->text(), "Lab");
    EXPECT_EQ(options.edtControlPort->text(), "4244");

    // Cancelled, the page keeps what it shows.
    shell.modal = [&](QDialog &shown) {
        auto &d = dynamic_cast<TfrmDiscovery &>(shown);
        Ticks(d, TfrmDiscovery::kPolls + 1);
        d.btnCancel->click();
    };
    options.btnDiscovery->click();
    EXPECT_EQ(options.edtNetworkAddress->text(), "10.0.0.7");
    options.btnCancel->click();
}

TEST_F(Discovery, TheStandInAnswersTheTargetLinksBroadcastOnLoopback)
{
    set_discovery_link(nullptr);
    IdePreferences().discovery_address = "127.0.0.1";
    discovery_dialog_settings().poll_interval_ms = 100;
    // The stand-in listens on a free port; the link's reply port above it may be taken by
    // someone else on this machine, and then another pair is tried.
    std::unique_ptr<vsim::BoardStandIn> stand_in;
    for (int attempt = 0; attempt < 5 && !stand_in; ++attempt) {
        vsim::StandInConfig config;
        config.serial = config.tcp = false;
        config.udp = true;
        config.discovery_status = 1;
        config.board_name = "Bench board";
        config.board_address = {10, 0, 0, 7};
        config.firmware.mac = {0x02, 0x4B, 0x58, 0xA0, 0x0B, 0xFF};
        auto board = std::make_unique<vsim::BoardStandIn>(config);
        std::string error;
        ASSERT_TRUE(board->start(error)) << error;
        discovery_dialog_settings().port = board->discovery_port();
        TfrmDiscovery &d = Open();
        if (d.Busy()) {
            stand_in = std::move(board);
            break;
        }
        TakeBoxes();
        dialog.reset();
    }
    ASSERT_TRUE(stand_in) << "no free discovery port pair";
    TfrmDiscovery &d = *dialog;
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.lvDiscovery->topLevelItemCount() > 0; }, 10000));
    // The rest of the polls at once; the board, answering each broadcast, stays one row.
    Ticks(d, TfrmDiscovery::kPolls + 1);
    EXPECT_FALSE(d.Busy());
    ASSERT_EQ(d.lvDiscovery->topLevelItemCount(), 1);
    EXPECT_EQ(Row(d, 0), (QStringList{"Bench board", "10.0.0.7",
                                      QString::number(stand_in->tcp_port()), "Programmed",
                                      "02:4b:58:a0:0b:ff"}));
    d.lvDiscovery->setCurrentItem(d.lvDiscovery->topLevelItem(0));
    d.btnSelect->click();
    EXPECT_EQ(d.ResultAddress(), "10.0.0.7");
    EXPECT_EQ(d.ResultName(), "Bench board");
    EXPECT_TRUE(TakeBoxes().empty());
}

} // namespace
