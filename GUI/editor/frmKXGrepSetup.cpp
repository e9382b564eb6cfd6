// frmKXGrepSetup: the "Find Text" dialog of Find in Files (see the header).
#include "frmKXGrepSetup.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include "controls/guiComboHistory.h"
#include "driver/CC_GO.h"
#include "options/guiOptionsHost.h"
#include "settings/guiKXPreferences.h"
#include "shell/guiHosts.h"

namespace fs = std::filesystem;

namespace {

constexpr int kHistoryEntries = 10;
constexpr uint32_t kGrepHelpContext = 6;

TfrmGrepSetup::FolderChooser &folder_chooser()
{
    static TfrmGrepSetup::FolderChooser chooser;
    return chooser;
}

QString choose_folder(QWidget *owner, const QString &title, const QString &start)
{
    if (folder_chooser())
        return folder_chooser()(owner, title, start);
    return QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
}

bool is_directory(const std::string &path)
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

std::string with_slash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace

std::vector<std::string> BuildSearchList(const std::string &masks, const std::string &program_dir)
{
    std::vector<std::string> list;
    std::string text = masks;
    std::replace(text.begin(), text.end(), '\\', '/');
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t stop = text.find(';', from);
        if (stop == std::string::npos)
            stop = text.size();
        std::string piece = text.substr(from, stop - from);
        from = stop + 1;
        const std::size_t first = piece.find_first_not_of(" \t");
        if (first == std::string::npos)
            continue;
        piece = piece.substr(first, piece.find_last_not_of(" \t") - first + 1);
        const std::size_t slash = piece.rfind('/');
        std::string folder = slash == std::string::npos ? std::string() : piece.substr(0, slash + 1);
        const std::string file = slash == std::string::npos ? piece : piece.substr(slash + 1);
        // A relative folder (or none) that exists under the program directory is searched
        // there; an absolute one is never put behind it.
        const bool absolute = !folder.empty() && folder.front() == '/';
        if (!absolute && is_directory(with_slash(program_dir) + (folder.empty() ? "." : folder)))
            folder = with_slash(program_dir) + folder;
        if (is_directory(folder + file))
            list.push_back(with_slash(folder + file) + "*.c");
        else
            list.push_back(folder + file);
    }
    return list;
}

void TfrmGrepSetup::SetFolderChooser(FolderChooser chooser) { folder_chooser() = std::move(chooser); }

TfrmGrepSetup::TfrmGrepSetup(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmGrepSetup"));
    setWindowTitle(tr("Find Text"));

    cboSearch = named_control<QComboBox>(this, "cboSearch");
    cboSearch->setEditable(true);
    cboSearch->setMinimumContentsLength(40);
    cboSearch->setInsertPolicy(QComboBox::NoInsert);
    auto *search_label = named_control<QLabel>(this, "lblSearch", "&Text to Find:");
    search_label->setBuddy(cboSearch);
    chkCaseSensitive = named_control<QCheckBox>(this, "chkCaseSensitive", "Case &sensitive");
    chkWholeWords = named_control<QCheckBox>(this, "chkWholeWords", "&Whole words only");
    rdbSearchDirectories =
        named_control<QRadioButton>(this, "rdbSearchDirectories", "Search in &directories");
    rdbSearchOpen = named_control<QRadioButton>(this, "rdbSearchOpen", "Search in open &files");
    cboFileName = named_control<QComboBox>(this, "cboFileName");
    cboFileName->setEditable(true);
    cboFileName->setMinimumContentsLength(40);
    cboFileName->setInsertPolicy(QComboBox::NoInsert);
    auto *mask_label = named_control<QLabel>(this, "lblFileName", "File &Mask:");
    mask_label->setBuddy(cboFileName);
    chkRecurse = named_control<QCheckBox>(this, "chkRecurse", "&Include subdirectories");
    btnBrowse = named_control<QPushButton>(this, "btnBrowse", "...");
    btnSearch = named_control<QPushButton>(this, "btnSearch", "&OK");
    btnSearch->setDefault(true);
    btnCancel = named_control<QPushButton>(this, "btnCancel", "&Cancel");
    btnHelp = named_control<QPushButton>(this, "btnHelp", "&Help");

    auto *find_box = new QGroupBox(tr(" Find in Files "), this);
    auto *find_layout = new QGridLayout(find_box);
    find_layout->addWidget(search_label, 0, 0);
    find_layout->addWidget(cboSearch, 0, 1, 1, 2);
    find_layout->addWidget(chkCaseSensitive, 1, 1);
    find_layout->addWidget(rdbSearchDirectories, 1, 2);
    find_layout->addWidget(chkWholeWords, 2, 1);
    find_layout->addWidget(rdbSearchOpen, 2, 2);
    auto *dir_box = new QGroupBox(tr(" Directory Searching Options "), this);
    auto *dir_layout = new QGridLayout(dir_box);
    dir_layout->addWidget(mask_label, 0, 0);
    dir_layout->addWidget(cboFileName, 0, 1);
    dir_layout->addWidget(btnBrowse, 0, 2);
    dir_layout->addWidget(chkRecurse, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnSearch);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnHelp);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(find_box);
    layout->addWidget(dir_box);
    layout->addLayout(buttons);

    const TIdePreferences &prefs = IdePreferences();
    chkCaseSensitive->setChecked(prefs.grep_case_sensitive);
    chkWholeWords->setChecked(prefs.grep_whole_words);
    rdbSearchDirectories->setChecked(prefs.grep_directories);
    rdbSearchOpen->setChecked(!prefs.grep_directories);
    chkRecurse->setChecked(prefs.grep_sub_directories);
    LoadComboHistory(cboSearch, "GrepText");
    LoadComboHistory(cboFileName, "GrepDirectory");
    if (cboFileName->count() == 0)
        cboFileName->setEditText(qpath(with_slash(program_directory()) + "*.c"));
    else if (cboFileName->currentIndex() < 0)
        cboFileName->setCurrentIndex(0);
    EnableDirectoryControls(prefs.grep_directories);

    connect(rdbSearchDirectories, &QRadioButton::clicked, this, [this] { EnableDirectoryControls(true); });
    connect(rdbSearchOpen, &QRadioButton::clicked, this, [this] { EnableDirectoryControls(false); });
    connect(btnBrowse, &QPushButton::clicked, this, [this] { guarded([this] { btnBrowseClick(); }); });
    connect(btnSearch, &QPushButton::clicked, this, [this] {
        bool close = false;
        guarded([&] { close = btnSearchClick(); });
        if (close)
            accept();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this,
            [this] { guarded([this] { options_shell().ShowHelpContext(this, kGrepHelpContext); }); });
}

bool TfrmGrepSetup::SearchDirectories() const { return rdbSearchDirectories->isChecked(); }

void TfrmGrepSetup::EnableDirectoryControls(bool on)
{
    cboFileName->setEnabled(on);
    btnBrowse->setEnabled(on);
    chkRecurse->setEnabled(on);
    QPalette palette = cboFileName->palette();
    palette.setColor(QPalette::Base, on ? QApplication::palette().color(QPalette::Base)
                                        : QApplication::palette().color(QPalette::Window));
    cboFileName->setPalette(palette);
}

void TfrmGrepSetup::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    cboSearch->setFocus();
    if (cboSearch->lineEdit())
        cboSearch->lineEdit()->selectAll();
}

void TfrmGrepSetup::btnBrowseClick()
{
    std::string mask = spath(cboFileName->currentText());
    std::replace(mask.begin(), mask.end(), '\\', '/');
    const std::size_t slash = mask.rfind('/');
    const std::string start = slash == std::string::npos ? program_directory() : mask.substr(0, slash + 1);
    const QString folder = choose_folder(this, tr("Select directory to search"), qpath(start));
    if (folder.isEmpty())
        return;
    cboFileName->setEditText(qpath(with_slash(spath(folder)) + "*.c"));
}

bool TfrmGrepSetup::btnSearchClick()
{
    const std::string text = spath(cboSearch->currentText());
    // Emptiness is checked on the text itself: the word edges of whole words would make an
    // empty text look like an expression.
    Regex.SetExpression(text);
    Regex.SetWholeWords(chkWholeWords->isChecked());
    Regex.SetIgnoreCase(!chkCaseSensitive->isChecked());
    const int code = Regex.ParseExpression();
    if (code != 0) {
        ShowAppMessageBox(expression_error_text(code), "Expression error", kMbOk | kMbIconError);
        cboSearch->setFocus();
        return false;
    }
    const std::string masks = spath(cboFileName->currentText());
    if (SearchDirectories() && masks.find_first_not_of(" \t;") == std::string::npos) {
        ShowAppMessageBox("Directory path cannot be blank", "Error", kMbOk | kMbIconError);
        cboFileName->setFocus();
        return false;
    }
    SearchList = SearchDirectories() ? BuildSearchList(masks, program_directory())
                                     : std::vector<std::string>{};
    Regex.SetSubdirectories(chkRecurse->isChecked());
    TIdePreferences &prefs = IdePreferences();
    prefs.grep_directories = SearchDirectories();
    prefs.grep_sub_directories = chkRecurse->isChecked();
    prefs.grep_case_sensitive = chkCaseSensitive->isChecked();
    prefs.grep_whole_words = chkWholeWords->isChecked();
    SaveComboHistory(cboSearch, "GrepText", kHistoryEntries);
    SaveComboHistory(cboFileName, "GrepDirectory", kHistoryEntries);
    return true;
}
