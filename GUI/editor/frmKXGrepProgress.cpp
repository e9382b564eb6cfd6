// frmKXGrepProgress: the progress window of Find in Files and the search (see the header).
#include "frmKXGrepProgress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QMdiArea>
#include <QPushButton>
#include <Qsci/qsciscintilla.h>

#include <cstdio>
#include <set>

#include "RegularFile.h"
#include "editor/frmKXEditor.h"
#include "editor/frmKXGrepSetup.h"
#include "options/guiOptionsHost.h"
#include "shell/frmKXMain.h"
#include "shell/guiHosts.h"

namespace {

// How far a shown line reaches back before its match, and on after it.
constexpr uint64_t kBackLimit = 360;
constexpr std::size_t kAfterLimit = 4096;

// The text around a match in a file, read there (never the whole file): back from the match to
// its line start or at most 360 characters, the match, on to the line end.
bool read_around(const std::string &file, uint64_t position, uint32_t length, std::string &before,
                 std::string &match, std::string &after)
{
    std::FILE *in = open_regular_file_stream(file);
    if (!in)
        return false;
    const uint64_t back = std::min(position, kBackLimit);
    std::string window(static_cast<std::size_t>(back) + length + kAfterLimit, '\0');
    bool ok = std::fseek(in, static_cast<long>(position - back), SEEK_SET) == 0;
    const std::size_t got = ok ? std::fread(window.data(), 1, window.size(), in) : 0;
    std::fclose(in);
    if (!ok || got < back + length)
        return false;
    window.resize(got);
    std::size_t start = static_cast<std::size_t>(back);
    while (start > 0 && window[start - 1] != '\n' && window[start - 1] != '\r')
        --start;
    before = window.substr(start, static_cast<std::size_t>(back) - start);
    match = window.substr(static_cast<std::size_t>(back), length);
    std::size_t end = static_cast<std::size_t>(back) + length;
    while (end < window.size() && window[end] != '\n' && window[end] != '\r')
        ++end;
    after = window.substr(static_cast<std::size_t>(back) + length,
                          end - static_cast<std::size_t>(back) - length);
    return true;
}

bool has_extension(const std::string &path_mask)
{
    const std::size_t slash = path_mask.find_last_of("/\\");
    const std::size_t dot = path_mask.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

} // namespace

TfrmGrepProgress::TfrmGrepProgress(TfrmMainWindow *main, const std::string &text, QWidget *owner)
    : QDialog(owner), m_main(main)
{
    setObjectName(QStringLiteral("frmGrepProgress"));
    setWindowTitle(tr("Progress"));
    lblSearchText = named_control<QLabel>(this, "lblSearchText");
    lblSearchText->setText(qpath(text));
    lblFile = named_control<QLabel>(this, "lblFile");
    lblMatches = named_control<QLabel>(this, "lblMatches");
    lblMatches->setText(QStringLiteral("0"));
    btnCancel = named_control<QPushButton>(this, "btnCancel", "&Cancel ");
    auto *layout = new QGridLayout(this);
    layout->addWidget(new QLabel(tr("Searching for:"), this), 0, 0);
    layout->addWidget(lblSearchText, 0, 1);
    layout->addWidget(new QLabel(tr("File:"), this), 1, 0);
    layout->addWidget(lblFile, 1, 1);
    layout->addWidget(new QLabel(tr("Matches:"), this), 2, 0);
    layout->addWidget(lblMatches, 2, 1);
    layout->addWidget(btnCancel, 3, 1, Qt::AlignRight);
    layout->setColumnStretch(1, 1);
    setMinimumWidth(420);
    connect(btnCancel, &QPushButton::clicked, this, [this] { m_cancel = true; });
}

void TfrmGrepProgress::Detach()
{
    m_detached = true;
    m_cancel = true;
}

void TfrmGrepProgress::closeEvent(QCloseEvent *event)
{
    Detach();
    event->ignore();
    hide();
}

void TfrmGrepProgress::ListMatch(const std::string &text, const TgrepListItem &item)
{
    ++m_matches;
    if (!m_results) {
        m_results = new TfrmGrepResults(m_main);
        m_results->on_close = [this] {
            Detach();
            hide();
        };
        if (m_main && m_main->Workspace())
            m_main->Workspace()->addSubWindow(m_results);
        m_results->show();
    }
    lblFile->setText(qpath(item.file));
    lblMatches->setText(QString::number(m_matches));
    m_results->AddResult(text, item);
    // Lets "Cancel " and the windows' close buttons work while the search goes on.
    QApplication::processEvents();
}

bool TfrmGrepProgress::FileMatch(const std::string &file, uint32_t line, uint64_t position,
                                 uint32_t column, uint32_t length)
{
    if (m_cancel)
        return false;
    std::string before, match, after;
    if (!read_around(file, position, length, before, match, after))
        return true; // the file changed under the search: this match is gone
    TgrepListItem item;
    item.line = line;
    item.column = column + 1;
    item.file = file;
    const std::string text = grep_display_line(file, line, before, match, after, item);
    ListMatch(text, item);
    return !m_cancel;
}

// Each open text once, however many masks were given and however many windows show it.
int TfrmGrepProgress::SearchEditors()
{
    if (!m_main)
        return 0;
    int count = 0;
    std::set<std::string> searched;
    for (TfrmEdit *editor : m_main->Editors()) {
        if (!searched.insert(editor->FileName()).second)
            continue;
        lblFile->setText(qpath(editor->FileName()));
        QPointer<TfrmEdit> guard(editor);
        const int lines = editor->Editor()->lines();
        for (int index = 0; index < lines && !m_cancel && guard; ++index) {
            std::string text = editor->GetLineText(index);
            Regex.SetSubject(text);
            count += Regex.Grep([&](uint32_t position, uint32_t length) {
                if (m_cancel)
                    return false;
                TgrepListItem item;
                item.line = static_cast<uint32_t>(index) + 1;
                item.column = position + 1;
                item.file = editor->FileName();
                const std::string shown = grep_display_line(
                    item.file, item.line, text.substr(0, position), text.substr(position, length),
                    text.substr(position + length), item);
                ListMatch(shown, item);
                return !m_cancel && !guard.isNull();
            });
        }
        if (m_cancel)
            break;
    }
    return count;
}

int TfrmGrepProgress::Search(TfrmGrepSetup &setup)
{
    if (!setup.SearchDirectories()) {
        Regex.CopySettings(setup.Regex);
        SearchEditors();
        return static_cast<int>(m_matches);
    }
    for (const std::string &entry : setup.SearchList) {
        if (m_cancel)
            break;
        setup.Regex.SetFileMask(entry);
        lblFile->setText(qpath(entry));
        QApplication::processEvents();
        Regex.CopySettings(setup.Regex);
        auto report = [this](const std::string &file, uint32_t line, uint64_t position,
                             uint32_t column, uint32_t length) {
            return FileMatch(file, line, position, column, length);
        };
        int found = Regex.GrepFiles(report);
        // A mask without an extension that found nothing is tried once more as a C file.
        if (found == 0 && !m_cancel && !has_extension(entry)) {
            Regex.SetFileMask(entry + ".c");
            found = Regex.GrepFiles(report);
        }
    }
    return static_cast<int>(m_matches);
}

void RunFindInFiles(TfrmMainWindow *main)
{
    TfrmGrepSetup setup(main);
    if (TfrmEdit *editor = main ? main->ActiveEditorWindow() : nullptr)
        if (editor->Editor()->hasSelectedText())
            setup.cboSearch->setEditText(editor->Editor()->selectedText());
    if (options_shell().ExecModal(setup) != QDialog::Accepted)
        return;
    auto *progress = new TfrmGrepProgress(main, setup.Regex.DisplayExpression(), main);
    progress->setAttribute(Qt::WA_DeleteOnClose, false);
    progress->show();
    QPointer<TfrmGrepProgress> alive(progress);
    const int matches = progress->Search(setup);
    if (!alive)
        return;
    TfrmGrepResults *results = progress->Results();
    if (results && !progress->Detached()) {
        if (results->isVisible())
            results->setWindowTitle(results->windowTitle() + " - " + QString::number(matches) +
                                    " Matches found");
    } else if (!results && !progress->Cancelled()) {
        ShowAppMessageBox("No matches found for " + setup.Regex.DisplayExpression(), "Grep Results",
                          kMbOk);
    }
    if (results)
        results->on_close = nullptr;
    progress->deleteLater();
    progress->hide();
}
