// frmKXDumpAtAddress: the Memory Dump Setup dialog (see frmKXDumpAtAddress.h).
#include "frmKXDumpAtAddress.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <vector>

#include "FileReplace.h"
#include "controls/guiComboHistory.h"
#include "core/CC_ADDR.h"
#include "core/guiInterface.h"
#include "debug/guiDebugger.h"
#include "debugger/ParseAddressText.h"
#include "driver/CC_DUM.h"
#include "driver/CC_GO.h"
#include "core/CC_MISC.h"
#include "debugger/DumpRows.h"
#include "settings/guiKXPreferences.h"
#include "shell/frmKXMain.h"
#include "shell/guiHosts.h"

namespace {

constexpr uint32_t kMsgUnableToOpen = 782; // "Unable to open file %s"
constexpr int kHelpContext = 5;
constexpr int kHistoryMaximum = 10;
constexpr const char *kHistory = "DumpAt addresses";
constexpr uint32_t kFlashChunk = 4096;
constexpr uint32_t kMaxCount = 1048576; // the whole physical space

constexpr const char *kBadAddress =
    "Bad Address\nFormat should be either:\n[0x]nnnn\t(logical address) or\nmm:nnnn\t(xpc:offset) "
    "or\n[0x]nnnnn (physical address)";
constexpr const char *kNeedsXpc = "Logical addresses above 0xe000 require an XPC value (mm:nnnn).";

std::string trimmed(const QString &text) { return text.trimmed().toStdString(); }

// The hourglass for a scope.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

} // namespace

TfrmDumpAtAddress::TfrmDumpAtAddress(QWidget *owner, TfrmMainWindow *main)
    : QDialog(owner), m_main(main)
{
    setObjectName(QStringLiteral("frmDumpAtAddress"));
    setWindowTitle(QStringLiteral("Memory Dump Setup"));
    gboxMemoryDump = named_control<QGroupBox>(this, "gboxMemoryDump", " Memory Dump ");
    lblDumpAddress = named_control<QLabel>(gboxMemoryDump, "lblDumpAddress", "&Dump Address");
    cboDumpAddress = named_control<QComboBox>(gboxMemoryDump, "cboDumpAddress");
    cboDumpAddress->setEditable(true);
    cboDumpAddress->setInsertPolicy(QComboBox::NoInsert);
    lblDumpAddress->setBuddy(cboDumpAddress);
    pnlSeparateID = named_control<QWidget>(gboxMemoryDump, "pnlSeparateID");
    rdbDataSpace = named_control<QRadioButton>(pnlSeparateID, "rdbDataSpace", "D&ata Space");
    rdbCodeSpace = named_control<QRadioButton>(pnlSeparateID, "rdbCodeSpace", "Cod&e Space");
    chkSaveFlash = named_control<QCheckBox>(gboxMemoryDump, "chkSaveFlash",
                                            "&Save entire flash to file");
    chkSaveToFile = named_control<QCheckBox>(gboxMemoryDump, "chkSaveToFile", "Save to &file");
    pnlSaveToFile = named_control<QWidget>(gboxMemoryDump, "pnlSaveToFile");
    lblNumBytes = named_control<QLabel>(pnlSaveToFile, "lblNumBytes", "Number of &bytes");
    edtNumBytes = named_control<QLineEdit>(pnlSaveToFile, "edtNumBytes");
    lblNumBytes->setBuddy(edtNumBytes);
    lblFileName = named_control<QLabel>(pnlSaveToFile, "lblFileName", "File &name");
    edtFileName = named_control<QLineEdit>(pnlSaveToFile, "edtFileName");
    lblFileName->setBuddy(edtFileName);
    btnFileName = named_control<QPushButton>(pnlSaveToFile, "btnFileName", "...");
    btnOK = named_control<QPushButton>(this, "btnOK", "&OK");
    btnCancel = named_control<QPushButton>(this, "btnCancel", "&Cancel");
    btnHelp = named_control<QPushButton>(this, "btnHelp", "&Help");
    btnOK->setDefault(true);

    auto *spaces = new QHBoxLayout(pnlSeparateID);
    spaces->setContentsMargins(0, 0, 0, 0);
    spaces->addWidget(rdbDataSpace);
    spaces->addWidget(rdbCodeSpace);
    auto *file_row = new QHBoxLayout;
    file_row->addWidget(edtFileName, 1);
    file_row->addWidget(btnFileName);
    auto *file_form = new QFormLayout(pnlSaveToFile);
    file_form->setContentsMargins(0, 0, 0, 0);
    file_form->addRow(lblNumBytes, edtNumBytes);
    file_form->addRow(lblFileName, file_row);
    auto *group = new QVBoxLayout(gboxMemoryDump);
    auto *address_row = new QHBoxLayout;
    address_row->addWidget(lblDumpAddress);
    address_row->addWidget(cboDumpAddress, 1);
    group->addLayout(address_row);
    group->addWidget(pnlSeparateID);
    group->addWidget(chkSaveFlash);
    group->addWidget(chkSaveToFile);
    group->addWidget(pnlSaveToFile);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnHelp);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(gboxMemoryDump);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(chkSaveToFile, &QCheckBox::clicked, this, [this] { guarded([this] { chkSaveToFileClick(); }); });
    connect(chkSaveFlash, &QCheckBox::clicked, this, [this] { guarded([this] { chkSaveFlashClick(); }); });
    for (QRadioButton *space : {rdbDataSpace, rdbCodeSpace})
        connect(space, &QRadioButton::clicked, this, [this] {
            IdePreferences().memory_dump.data_space = rdbDataSpace->isChecked();
        });
    connect(cboDumpAddress, &QComboBox::editTextChanged, this, [this] { cboDumpAddressChange(); });
    connect(btnFileName, &QPushButton::clicked, this, [this] { guarded([this] { btnFileNameClick(); }); });
    connect(btnOK, &QPushButton::clicked, this, [this] { guarded([this] { btnOKClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this, [this] {
        guarded([this] {
            if (m_main)
                m_main->ShowHelpContext(kHelpContext);
        });
    });
}

TfrmDumpAtAddress::~TfrmDumpAtAddress() = default;

bool TfrmDumpAtAddress::DataSpace() const { return rdbDataSpace->isChecked(); }
std::string TfrmDumpAtAddress::GetDumpAddress() const
{
    return cboDumpAddress->currentText().toStdString();
}

void TfrmDumpAtAddress::FormShow()
{
    m_showing = true;
    const DumpWindowSettings &prefs = IdePreferences().memory_dump;
    chkSaveToFile->setChecked(prefs.save_to_file || prefs.save_flash);
    chkSaveFlash->setChecked(prefs.save_flash);
    pnlSaveToFile->setVisible(chkSaveToFile->isChecked());
    const bool separate = compiler_options().separate_id;
    pnlSeparateID->setVisible(separate);
    rdbDataSpace->setChecked(!separate || prefs.data_space);
    rdbCodeSpace->setChecked(separate && !prefs.data_space);
    edtFileName->setText(QString::fromStdString(prefs.dump_file));
    m_flash_size = get_flash_size();
    chkSaveFlashClick();
    LoadComboHistory(cboDumpAddress, kHistory);
    if (cboDumpAddress->count() > 0)
        cboDumpAddress->setCurrentIndex(0);
    cboDumpAddress->setFocus();
    m_showing = false;
}

void TfrmDumpAtAddress::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { FormShow(); });
}

void TfrmDumpAtAddress::done(int result)
{
    SaveComboHistory(cboDumpAddress, kHistory, kHistoryMaximum);
    QDialog::done(result);
}

// ---- handlers --------------------------------------------------------------------------------

void TfrmDumpAtAddress::chkSaveToFileClick()
{
    pnlSaveToFile->setVisible(chkSaveToFile->isChecked());
    if (!m_showing)
        IdePreferences().memory_dump.save_to_file = chkSaveToFile->isChecked();
}

void TfrmDumpAtAddress::chkSaveFlashClick()
{
    const bool flash = chkSaveFlash->isChecked();
    if (flash) {
        if (edtNumBytes->isEnabled())
            m_kept_count = edtNumBytes->text();
        edtNumBytes->setText(QString::number(m_flash_size));
        chkSaveToFile->setChecked(true);
        pnlSaveToFile->setVisible(true);
    } else if (!edtNumBytes->isEnabled()) {
        edtNumBytes->setText(m_kept_count);
    }
    chkSaveToFile->setEnabled(!flash);
    for (QWidget *w : std::initializer_list<QWidget *>{edtNumBytes, lblNumBytes, cboDumpAddress,
                                                       lblDumpAddress})
        w->setEnabled(!flash);
    if (!m_showing) {
        IdePreferences().memory_dump.save_flash = flash;
        IdePreferences().memory_dump.save_to_file = chkSaveToFile->isChecked();
    }
}

void TfrmDumpAtAddress::cboDumpAddressChange()
{
    uint32_t address = 0;
    TAddressParseResult result;
    ParseAddressText(cboDumpAddress->currentText().toStdString(), address, true, result, true,
                     true);
    switch (result.kind) {
    case 1:
    case 2:
    case 4:
        rdbDataSpace->setEnabled(true);
        rdbCodeSpace->setEnabled(true);
        break;
    case 3:
        rdbCodeSpace->setChecked(true);
        rdbDataSpace->setEnabled(false);
        rdbCodeSpace->setEnabled(false);
        break;
    default:
        break;
    }
}

void TfrmDumpAtAddress::btnFileNameClick()
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.must_exist = false;
    request.file_name = edtFileName->text().toStdString();
    request.filter = "Output file (*.out)|*.out|";
    std::unique_ptr<TFileDialog> dialog = make_file_dialog(request);
    if (dialog && dialog->Execute())
        edtFileName->setText(QString::fromStdString(dialog->FileName()));
}

void TfrmDumpAtAddress::btnOKClick()
{
    if (ValidateDumpRequest())
        accept();
}

// ---- validation ------------------------------------------------------------------------------

int TfrmDumpAtAddress::ParseAddress()
{
    uint32_t address = 0;
    TAddressParseResult result;
    ParseAddressText(cboDumpAddress->currentText().toStdString(), address, true, result, true,
                     true);
    m_kind = result.kind;
    m_address = address;
    if (m_kind == 3) {
        // The physical form is the number typed, not the address word made from it.
        m_physical = addr_to_physical(address) & kPhysicalMask;
        uint32_t typed = 0;
        const std::string text = result.text;
        const char *digits = text.c_str() + (text.rfind("0x", 0) == 0 ? 2 : 0);
        if (std::from_chars(digits, text.c_str() + text.size(), typed, 16).ec == std::errc())
            m_physical = typed & kPhysicalMask;
    } else {
        m_physical = (uint32_t(addr_xpc(address)) * 4096 + addr_offset(address)) & kPhysicalMask;
        if (m_kind == 2)
            m_physical = addr_to_physical(address);
    }
    return m_kind;
}

bool TfrmDumpAtAddress::Refuse(const std::string &text, unsigned icon, QWidget *focus)
{
    ShowAppMessageBox(text, "Error", kMbOk | icon);
    if (focus)
        focus->setFocus();
    return false;
}

std::optional<uint32_t> TfrmDumpAtAddress::ByteCount()
{
    const std::string text = trimmed(edtNumBytes->text());
    long long value = 0;
    const char *end = text.c_str() + text.size();
    const auto parsed = std::from_chars(text.c_str() + (text.rfind('+', 0) == 0 ? 1 : 0), end, value);
    if (text.empty() || parsed.ec == std::errc::invalid_argument || parsed.ptr != end) {
        Refuse("'" + edtNumBytes->text().toStdString() + "' is not a valid integer value",
               kMbIconError, edtNumBytes);
        return std::nullopt;
    }
    // Nothing to write, or more than the physical space (a read of minutes no one can stop).
    if (parsed.ec == std::errc::result_out_of_range || value < 1 || value > kMaxCount) {
        Refuse("The number of bytes must be between 1 and " + std::to_string(kMaxCount) + ".",
               kMbIconError, edtNumBytes);
        return std::nullopt;
    }
    return uint32_t(value);
}

bool TfrmDumpAtAddress::ValidateDumpRequest()
{
    m_written_to_file = false;
    const std::string address_text = trimmed(cboDumpAddress->currentText());
    const std::string file = trimmed(edtFileName->text());
    if (!chkSaveToFile->isChecked()) {
        if (address_text.empty())
            return Refuse("Start address cannot be blank", kMbIconError, cboDumpAddress);
        const int kind = ParseAddress();
        if (kind == 4)
            return Refuse(kNeedsXpc, kMbIconExclamation, cboDumpAddress);
        if (kind == 0)
            return Refuse(kBadAddress, kMbIconExclamation, cboDumpAddress);
        if (m_main) {
            m_main->SetDumpPhysical(kind == 3);
            m_main->SetDumpXpcOffset(kind == 1);
            m_main->SetDumpDataSpace(rdbDataSpace->isChecked());
        }
        return true;
    }
    if (chkSaveFlash->isChecked()) {
        if (file.empty())
            return Refuse("Filename cannot be blank", kMbIconError, edtFileName);
        const std::optional<uint32_t> count = ByteCount();
        if (!count)
            return false;
        IdePreferences().memory_dump.dump_file = file;
        m_written_to_file = true;
        if (m_main)
            m_main->SetDumpDataSpace(rdbDataSpace->isChecked());
        return WriteFlash(file, *count);
    }
    const int kind = ParseAddress();
    if (kind == 0)
        return Refuse(kBadAddress, kMbIconExclamation, cboDumpAddress);
    if (trimmed(edtNumBytes->text()).empty())
        return Refuse("Must specify number of bytes to dump", kMbIconError, edtNumBytes);
    if (file.empty())
        return Refuse("Filename cannot be blank", kMbIconError, edtFileName);
    if (kind == 4)
        return Refuse(kNeedsXpc, kMbIconExclamation, cboDumpAddress);
    const std::optional<uint32_t> count = ByteCount();
    if (!count)
        return false;
    IdePreferences().memory_dump.dump_file = file;
    m_written_to_file = true;
    if (m_main) {
        m_main->SetDumpPhysical(kind == 3);
        m_main->SetDumpXpcOffset(kind == 1);
        m_main->SetDumpDataSpace(rdbDataSpace->isChecked());
    }
    return WriteRange(file, *count);
}

// ---- writing ---------------------------------------------------------------------------------

bool TfrmDumpAtAddress::MayWrite(const std::string &file)
{
    const std::filesystem::path path(normalize_separators(file));
    std::error_code ec;
    const std::filesystem::path folder =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    // A folder, FIFO or device at the name is no file to replace: none is asked about.
    const bool other = std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec);
    if (other || !std::filesystem::is_directory(folder, ec)) {
        ShowAppMessageBox(GetResString(kMsgUnableToOpen, file.c_str()), "Error",
                          kMbOk | kMbIconError);
        return false;
    }
    if (std::filesystem::exists(path, ec))
        return ShowAppMessageBox(file + " already exists, do you want to replace it?", "Save File",
                                 kMbYesNo | kMbIconQuestion) == kIdYes;
    return true;
}

bool TfrmDumpAtAddress::Store(const std::string &file, const std::string &bytes)
{
    std::string reason;
    if (replace_file_contents(normalize_separators(file), bytes, reason))
        return true;
    ShowAppMessageBox(GetResString(kMsgUnableToOpen, file.c_str()), "Error", kMbOk | kMbIconError);
    return false;
}

bool TfrmDumpAtAddress::WriteFlash(const std::string &file, uint32_t count)
{
    if (!MayWrite(file))
        return false;
    if (!gDialogControl.SplashMode())
        gDialogControl.ShowStatusBox(false, "Memory Dump", "");
    struct CloseBox {
        ~CloseBox() { gDialogControl.CloseStatusBox(); }
    } close_box;
    BusyCursor busy;
    std::string bytes;
    bytes.reserve(count);
    std::vector<uint8_t> chunk(kFlashChunk);
    for (uint32_t done = 0; done < count;) {
        const uint32_t length = std::min(kFlashChunk, count - done);
        debugger_operations().TcReadPhysicalMemory(done, length, chunk.data());
        bytes.append(reinterpret_cast<const char *>(chunk.data()), length);
        done += length;
        ShowMessageLine(false, "Writing %ld of %ld bytes to %s", long(done), long(count),
                        file.c_str());
    }
    return Store(file, bytes);
}

bool TfrmDumpAtAddress::WriteRange(const std::string &file, uint32_t count)
{
    if (!MayWrite(file))
        return false;
    BusyCursor busy;
    const int blocks = int((count + kDumpBlockBytes - 1) / kDumpBlockBytes);
    std::ostringstream text;
    debugger_operations().fillMemoryDumpToFile(m_physical & ~uint32_t(0xF), blocks, text);
    if (!Store(file, text.str()))
        return false;
    if (m_main)
        m_main->SetDumpAddress(addr_add(m_address, int32_t(blocks) * int32_t(kDumpBlockBytes)));
    return true;
}
