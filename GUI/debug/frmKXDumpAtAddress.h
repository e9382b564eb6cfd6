// frmKXDumpAtAddress: `TfrmDumpAtAddress`, the "Memory Dump Setup" dialog of the Dump at
// Address command. It asks where a memory dump starts and whether it goes to a new memory dump
// window or to a file: a range of target memory as the dump window's text lines, or the whole
// flash as raw bytes. A file is written only whole: the bytes are read first, then they take
// the file's place (a failed read or write leaves an old file as it was). The main window shows
// it modally and opens the dump window on OK without a file write.
#pragma once

#include <QDialog>

#include <cstdint>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;
class TfrmMainWindow;

class TfrmDumpAtAddress : public QDialog {
    Q_OBJECT
public:
    // `main` receives the dump request flags and the advanced start (may be null).
    explicit TfrmDumpAtAddress(QWidget *owner, TfrmMainWindow *main = nullptr);
    ~TfrmDumpAtAddress() override;

    // The show step: the choices and the history from the settings.
    void FormShow();
    // Validates and, in file mode, writes the file; true when the dialog may close with OK.
    [[nodiscard]] bool ValidateDumpRequest();
    std::string GetDumpAddress() const;

    // What the caller reads after OK.
    uint32_t Address() const { return m_address; }   // ADDR24
    uint32_t Physical() const { return m_physical; } // 20 bits
    bool WrittenToFile() const { return m_written_to_file; }
    bool PhysicalKind() const { return m_kind == 3; }
    bool XpcOffsetKind() const { return m_kind == 1; }
    bool DataSpace() const;

    QGroupBox *gboxMemoryDump = nullptr;
    QLabel *lblDumpAddress = nullptr, *lblNumBytes = nullptr, *lblFileName = nullptr;
    QComboBox *cboDumpAddress = nullptr;
    QWidget *pnlSeparateID = nullptr, *pnlSaveToFile = nullptr;
    QRadioButton *rdbDataSpace = nullptr, *rdbCodeSpace = nullptr;
    QCheckBox *chkSaveFlash = nullptr, *chkSaveToFile = nullptr;
    QLineEdit *edtNumBytes = nullptr, *edtFileName = nullptr;
    QPushButton *btnFileName = nullptr, *btnOK = nullptr, *btnCancel = nullptr,
                *btnHelp = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    void chkSaveToFileClick();
    void chkSaveFlashClick();
    void cboDumpAddressChange();
    void btnFileNameClick();
    void btnOKClick();
    int ParseAddress();
    bool Refuse(const std::string &text, unsigned icon, QWidget *focus);
    // The count of bytes from its box; a message and none when it does not convert or lies
    // outside 1 .. 1 MB.
    std::optional<uint32_t> ByteCount();
    // Asks before an existing file is replaced; refuses a name that is a folder or lies in no
    // folder. True when the write may go on.
    bool MayWrite(const std::string &file);
    bool WriteFlash(const std::string &file, uint32_t count);
    bool WriteRange(const std::string &file, uint32_t count);
    bool Store(const std::string &file, const std::string &bytes);

    TfrmMainWindow *m_main;
    uint32_t m_address = 0;
    uint32_t m_physical = 0;
    int m_kind = 0;
    uint32_t m_flash_size = 0;
    QString m_kept_count;
    bool m_showing = false;
    bool m_written_to_file = false;
};
