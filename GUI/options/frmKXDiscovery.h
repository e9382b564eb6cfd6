// frmKXDiscovery: `TfrmDiscovery`, the modal "Discovery" dialog of the Communications page. While
// it is shown it runs the target link's network discovery for a fixed number of polls, lists one
// row per board that answers (a board is known by its IP address), and on "&Select" hands the
// chosen board's IP address, name and control port back to its caller.
//
// While discovery runs the dialog is busy: neither button, nor Esc, nor the close box ends it. A
// failure of the link is shown, ends discovery and leaves the busy state, so the dialog can
// always be closed. The link is reached through guiOptionsHost's `discovery_link`.
#pragma once

#include <QDialog>

#include <cstdint>
#include <string>

class QAction;
class QPushButton;
class QTimer;
class QTreeWidget;
class xErr;

// The time between two polls of the link and the UDP port the boards listen on; tests change
// them (a test's stand-in listens on a free port).
struct DiscoveryDialogSettings {
    int poll_interval_ms = 100;
    uint16_t port = 4242;
};
DiscoveryDialogSettings &discovery_dialog_settings();

class TfrmDiscovery : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPolls = 50;

    explicit TfrmDiscovery(QWidget *owner);
    ~TfrmDiscovery() override;

    void FormShow();
    void tmrDiscoveryTimer();
    void btnSelectClick();
    void btnCancelClick();
    // Select and Cancel are enabled exactly while discovery is not running.
    void actUpdate();
    [[nodiscard]] bool FormCloseQuery() const { return !m_busy; }

    bool Busy() const { return m_busy; }
    int PollsLeft() const { return m_polls_left; }
    // The chosen board (empty until Select).
    const std::string &ResultAddress() const { return m_address; }
    const std::string &ResultName() const { return m_name; }
    const std::string &ResultPort() const { return m_port; }

    QTreeWidget *lvDiscovery = nullptr;
    QAction *actSelect = nullptr;
    QAction *actCancel = nullptr;
    QPushButton *btnSelect = nullptr;
    QPushButton *btnCancel = nullptr;
    QTimer *tmrDiscovery = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void done(int result) override;

private:
    // Discovery ends: the link closes its socket, the dialog is no longer busy.
    void EndDiscovery();
    // A failure of the link: shown, then discovery ends.
    void Fail(xErr &error);
    void SetBusy(bool busy);

    bool m_busy = false;
    bool m_shown = false;
    bool m_cursor_set = false;
    int m_polls_left = kPolls;
    std::string m_address, m_name, m_port;
};
