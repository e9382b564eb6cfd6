// frmKXAdvCompilerOpt: the Advanced Compiler Options dialog.
#include "frmKXAdvCompilerOpt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/CC_MISC.h"
#include "settings/guiEnvOptions.h"
#include "shell/guiHosts.h"
#include "core/guiInterface.h"
#include "settings/guiKXPreferences.h"
#include "guiOptionsHost.h"
#include "settings/guiProjects.h"

namespace {


QPushButton *browse_button(QWidget *parent, const char *name)
{
    QPushButton *b = named_control<QPushButton>(parent, name, "...");
    b->setAutoDefault(false);
    b->setEnabled(false);
    return b;
}

// A path control in use takes the window colour and, as an edit, may be typed into; out of use
// it takes the inactive-border colour and is read-only.
void set_path_in_use(QWidget *path, QPushButton *browse, bool on)
{
    path->setEnabled(on);
    browse->setEnabled(on);
    QPalette palette = path->palette();
    palette.setColor(QPalette::Base, on ? path->style()->standardPalette().color(QPalette::Base)
                                        : path->style()->standardPalette().color(QPalette::Button));
    path->setPalette(palette);
    if (auto *edit = qobject_cast<QLineEdit *>(path))
        edit->setReadOnly(!on);
}

// A "Use" row of a group: the box, the path control, the "..." button.
void use_row(QGroupBox *box, QWidget *use, QWidget *path, QWidget *browse)
{
    auto *layout = new QHBoxLayout(box);
    layout->addWidget(use);
    layout->addWidget(path, 1);
    layout->addWidget(browse);
}

// Runs the shared open-file dialog from the remembered folder; the chosen path (the folder then
// remembered), or nothing when the user cancelled.
std::string browse(const char *filter, const char *title, std::string &folder)
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.title = title;
    request.directory = folder;
    request.filter = filter;
    request.must_exist = true;
    std::unique_ptr<TFileDialog> dialog = make_file_dialog(request);
    if (!dialog->Execute() || dialog->FileName().empty())
        return {};
    const std::string chosen = dialog->FileName();
    folder = std::filesystem::path(normalize_separators(chosen)).parent_path().string();
    return chosen;
}

} // namespace

TfrmAdvCompilerOpt::TfrmAdvCompilerOpt(QWidget *owner) : QDialog(owner)
{
    setObjectName("frmAdvCompilerOpt");
    setWindowTitle("Advanced Compiler Options");

    gbxDefaultSource = named_control<QGroupBox>(this, "gbxDefaultSource", " Default &Project Source File ");
    chkDefaultSource = named_control<QCheckBox>(gbxDefaultSource, "chkDefaultSource", "Use");
    cboDefaultSource = named_control<QComboBox>(gbxDefaultSource, "cboDefaultSource");
    cboDefaultSource->setEditable(true);
    cboDefaultSource->setInsertPolicy(QComboBox::NoInsert);
    btnDefaultSource = browse_button(gbxDefaultSource, "btnDefaultSource");
    use_row(gbxDefaultSource, chkDefaultSource, cboDefaultSource, btnDefaultSource);

    gbxUserBIOS = named_control<QGroupBox>(this, "gbxUserBIOS", " &User Defined BIOS File ");
    chkUseUserBIOS = named_control<QCheckBox>(gbxUserBIOS, "chkUseUserBIOS", "Use");
    edtUserBIOSPath = named_control<QLineEdit>(gbxUserBIOS, "edtUserBIOSPath");
    btnUserBIOS = browse_button(gbxUserBIOS, "btnUserBIOS");
    use_row(gbxUserBIOS, chkUseUserBIOS, edtUserBIOSPath, btnUserBIOS);

    GroupBox1 = named_control<QGroupBox>(this, "GroupBox1", " User &Defined Lib Directory File ");
    chkUseUserLib = named_control<QCheckBox>(GroupBox1, "chkUseUserLib", "Use");
    edtUserLibPath = named_control<QLineEdit>(GroupBox1, "edtUserLibPath");
    btnUserLib = browse_button(GroupBox1, "btnUserLib");
    use_row(GroupBox1, chkUseUserLib, edtUserLibPath, btnUserLib);
    set_path_in_use(cboDefaultSource, btnDefaultSource, false);
    set_path_in_use(edtUserBIOSPath, btnUserBIOS, false);
    set_path_in_use(edtUserLibPath, btnUserLib, false);

    gbxWatchCode = named_control<QGroupBox>(this, "gbxWatchCode", " W&atch Code ");
    rdbAllowAllWatches = named_control<QRadioButton>(gbxWatchCode, "rdbAllowAllWatches",
                                                 "Allow any expressions in watch expressions");
    rdbRestrictWatches = named_control<QRadioButton>(
        gbxWatchCode, "rdbRestrictWatches", "Restrict watch expressions (May save root code space)");
    auto *watch = new QVBoxLayout(gbxWatchCode);
    watch->addWidget(rdbAllowAllWatches);
    watch->addWidget(rdbRestrictWatches);

    GroupBox4 = named_control<QGroupBox>(this, "GroupBox4", " Debu&g Instructions and BIOS Inclusion ");
    chkIncludeBIOS = named_control<QCheckBox>(GroupBox4, "chkIncludeBIOS", "Include BIOS");
    chkIncludeRST28 = named_control<QCheckBox>(GroupBox4, "chkIncludeRST28", "Include RST 28 instructions");
    auto *debug = new QVBoxLayout(GroupBox4);
    debug->addWidget(chkIncludeBIOS);
    debug->addWidget(chkIncludeRST28);

    btnOK = named_control<QPushButton>(this, "btnOK", "&OK");
    btnOK->setDefault(true);
    btnCancel = named_control<QPushButton>(this, "btnCancel", "&Cancel");
    btnCancel->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    for (QWidget *w : {gbxDefaultSource, gbxUserBIOS, GroupBox1, gbxWatchCode, GroupBox4})
        layout->addWidget(w);
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(chkUseUserBIOS, &QCheckBox::toggled, this,
            [this] { guarded([&] { chkUseUserBIOSClick(); }); });
    connect(chkUseUserLib, &QCheckBox::toggled, this,
            [this] { guarded([&] { chkUseUserLibClick(); }); });
    connect(chkDefaultSource, &QCheckBox::toggled, this,
            [this] { guarded([&] { chkDefaultSourceClick(); }); });
    connect(btnUserBIOS, &QPushButton::clicked, this,
            [this] { guarded([&] { btnUserBIOSClick(); }); });
    connect(btnUserLib, &QPushButton::clicked, this,
            [this] { guarded([&] { btnUserLibClick(); }); });
    connect(btnDefaultSource, &QPushButton::clicked, this,
            [this] { guarded([&] { btnDefaultSourceClick(); }); });

    // Loading: the stored default source file and every open file once each, sorted.
    const TIdePreferences &p = IdePreferences();
    std::vector<std::string> sources = options_shell().OpenFileNames();
    if (!p.default_source_file.empty())
        sources.push_back(p.default_source_file);
    std::sort(sources.begin(), sources.end());
    sources.erase(std::unique(sources.begin(), sources.end()), sources.end());
    for (const std::string &source : sources)
        cboDefaultSource->addItem(qpath(source));
    cboDefaultSource->setCurrentIndex(cboDefaultSource->findText(qpath(p.default_source_file)));
    cboDefaultSource->setEditText(qpath(p.default_source_file));
    chkUseUserBIOS->setChecked(p.use_bios_file);
    chkUseUserLib->setChecked(p.use_lib_file);
    chkDefaultSource->setChecked(p.use_default_source_file);
    edtUserBIOSPath->setText(qpath(p.bios_file_name));
    edtUserLibPath->setText(qpath(p.lib_file_name));
    rdbAllowAllWatches->setChecked(!p.restrict_watch_expressions);
    rdbRestrictWatches->setChecked(p.restrict_watch_expressions);
    chkIncludeRST28->setChecked(p.include_rst28);
    chkIncludeBIOS->setChecked(p.include_bios);
}

void TfrmAdvCompilerOpt::chkUseUserBIOSClick()
{
    set_path_in_use(edtUserBIOSPath, btnUserBIOS, chkUseUserBIOS->isChecked());
}

void TfrmAdvCompilerOpt::chkUseUserLibClick()
{
    set_path_in_use(edtUserLibPath, btnUserLib, chkUseUserLib->isChecked());
}

void TfrmAdvCompilerOpt::chkDefaultSourceClick()
{
    set_path_in_use(cboDefaultSource, btnDefaultSource, chkDefaultSource->isChecked());
}

void TfrmAdvCompilerOpt::btnUserBIOSClick()
{
    const std::string chosen = browse("BIOS files (*.c)|*.c", "Choose a BIOS to compile",
                                      IdePreferences().adv_bios_dir);
    if (!chosen.empty())
        edtUserBIOSPath->setText(qpath(chosen));
}

void TfrmAdvCompilerOpt::btnUserLibClick()
{
    const std::string chosen = browse("Library Directory files (*.dir)|*.dir",
                                      "Choose a Library Directory file",
                                      IdePreferences().adv_lib_dir);
    if (!chosen.empty())
        edtUserLibPath->setText(qpath(chosen));
}

void TfrmAdvCompilerOpt::btnDefaultSourceClick()
{
    const std::string chosen =
        browse("Source files (*.c)|*.c", "Choose a source file to set as project default",
               IdePreferences().adv_source_dir);
    if (chosen.empty())
        return;
    if (cboDefaultSource->findText(qpath(chosen), Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        cboDefaultSource->addItem(qpath(chosen));
    cboDefaultSource->setEditText(qpath(chosen));
}

// A relative name is looked for in the program directory; the current folder stays as it is.
bool TfrmAdvCompilerOpt::FormCloseQuery()
{
    const struct {
        QCheckBox *use;
        QLineEdit *path;
        const char *refusal;
    } kChecks[] = {
        {chkUseUserBIOS, edtUserBIOSPath, "Invalid User BIOS filename"},
        {chkUseUserLib, edtUserLibPath, "Invalid Library Directory filename"},
    };
    for (const auto &check : kChecks) {
        if (!check.use->isChecked() || names_program_file(spath(check.path->text())))
            continue;
        ShowAppMessageBox(check.refusal, GetResString(kMsgErrorCaption), kMbOk | kMbIconError);
        check.path->setFocus();
        return false;
    }
    return true;
}

void TfrmAdvCompilerOpt::FormClose(int result)
{
    if (result != QDialog::Accepted)
        return;
    TIdePreferences &p = IdePreferences();
    p.use_lib_file = chkUseUserLib->isChecked();
    p.use_bios_file = chkUseUserBIOS->isChecked();
    p.use_default_source_file = chkDefaultSource->isChecked();
    p.restrict_watch_expressions = rdbRestrictWatches->isChecked();
    p.lib_file_name = spath(edtUserLibPath->text());
    p.bios_file_name = spath(edtUserBIOSPath->text());
    p.default_source_file = spath(cboDefaultSource->currentText());
    p.include_rst28 = chkIncludeRST28->isChecked();
    p.include_bios = chkIncludeBIOS->isChecked();
    if (gProject)
        guarded([] { gProject->WriteIncludeBIOS(); });
    TOptionsCompiler &compiler = options_compiler();
    compiler.SetLibrariesFile(libraries_file_in_use(p));
    compiler.SetBiosFile(bios_file_in_use(p));
    if (gProject)
        guarded([] { gProject->WriteIncludeRST(); });
}

void TfrmAdvCompilerOpt::done(int result)
{
    if (option_dialog_closes(result, [this] { return FormCloseQuery(); },
                             [this](int r) { FormClose(r); }))
        QDialog::done(result);
}
