// frmKXFunctionDesc: the function description window (see the header).
#include "frmKXFunctionDesc.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <Qsci/qsciscintilla.h>

#include <optional>
#include <vector>

#include "AsciiCase.h"
#include "core/guiExceptions.h"
#include "editor/KorvexLexer.h"
#include "editor/frmKXEditor.h"
#include "editor/frmKXLibraryLookup.h"
#include "linker/LB_CAT.h"
#include "options/guiOptionsHost.h"
#include "shell/frmKXMain.h"
#include "shell/guiHosts.h"

namespace {

constexpr uint32_t kMsgCannotOpenFile = 5023; // "Cannot open file '%s'."
constexpr const char *kHeader = "/* START FUNCTION DESCRIPTION";

// Every open description window, the newest last.
std::vector<QPointer<TfrmFunctionDesc>> &open_descriptions()
{
    static std::vector<QPointer<TfrmFunctionDesc>> windows;
    return windows;
}

bool blank(const std::string &line)
{
    return line.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Whether the line's first word is the name, without regard to case: "BIT" is no match for
// a line that starts "BitWrPortI".
bool first_word_is(const std::string &line, const std::string &name)
{
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos)
        return false;
    std::size_t end = line.find_first_of(" \t\r\n", start);
    if (end == std::string::npos)
        end = line.size();
    return same_ascii_without_case(std::string_view(line).substr(start, end - start), name);
}

} // namespace

TfrmFunctionDesc::TfrmFunctionDesc(TfrmMainWindow *main, const ZModEntry *entry,
                                   const std::string &name, QWidget *owner)
    : QDialog(owner), m_main(main), FEntry(entry), FName(name)
{
    if (!FEntry && !lib_find_function(name, &FEntry, nullptr))
        FEntry = nullptr;
    setObjectName(QStringLiteral("frmFunctionDesc"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowTitle(QString::fromLocal8Bit(name.c_str()));
    resize(560, 340);

    auto *panel = named_control<QLabel>(this, "Panel2", " Function Description:");
    FncDescBig = new QsciScintilla(this);
    FncDescBig->setObjectName(QStringLiteral("FncDescBig"));
    m_lexer = new TKorvexLexer(FncDescBig);
    FncDescBig->setLexer(m_lexer);
    FncDescBig->setFont(m_lexer->defaultFont(kStyleWhitespace));
    FncDescBig->setTabWidth(3);
    FncDescBig->setIndentationWidth(3);
    FncDescBig->setMarginWidth(1, 0);
    FncDescBig->setContextMenuPolicy(Qt::CustomContextMenu);

    actCancel = new QAction(tr("Cancel"), this);
    actCancel->setShortcut(Qt::CTRL | Qt::Key_X);
    actEdit = new QAction(tr("&Edit"), this);
    actEdit->setToolTip(tr("Edit library file"));
    actEdit->setStatusTip(tr("Edit library file"));
    actCopy = new QAction(tr("Copy"), this);
    actCopy->setToolTip(tr("Copy"));
    actCopy->setShortcut(Qt::CTRL | Qt::Key_C);
    for (QAction *action : {actCancel, actEdit, actCopy}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    }
    connect(actCancel, &QAction::triggered, this, &QWidget::close);
    connect(actEdit, &QAction::triggered, this, [this] { guarded([this] { actEditExecute(); }); });
    connect(actCopy, &QAction::triggered, this, [this] {
        if (FncDescBig->hasSelectedText())
            FncDescBig->copy();
    });
    connect(FncDescBig, &QsciScintilla::selectionChanged, this, [this] { actCopyUpdate(); });
    auto *popup = new QMenu(this);
    popup->addAction(actCopy);
    popup->addSeparator();
    popup->addAction(actEdit);
    popup->addSeparator();
    popup->addAction(actCancel);
    connect(FncDescBig, &QWidget::customContextMenuRequested, this,
            [this, popup](const QPoint &at) { popup->popup(FncDescBig->mapToGlobal(at)); });

    btnEdit = named_control<QPushButton>(this, "btnEdit", "&Edit");
    btnEdit->setToolTip(tr("Edit library file"));
    btnBrowse = named_control<QPushButton>(this, "btnBrowse", "&Browse");
    btnPrint = named_control<QPushButton>(this, "btnPrint", "&Print");
    btnHelp = named_control<QPushButton>(this, "btnHelp", "&Help");
    btnOk = named_control<QPushButton>(this, "btnOk", "&Close");
    connect(btnEdit, &QPushButton::clicked, actEdit, &QAction::trigger);
    connect(btnBrowse, &QPushButton::clicked, this, [this] { guarded([this] { btnBrowseClick(); }); });
    connect(btnPrint, &QPushButton::clicked, this, [this] { guarded([this] { btnPrintClick(); }); });
    connect(btnOk, &QPushButton::clicked, this, &QWidget::close);
    for (QWidget *control : std::initializer_list<QWidget *>{FncDescBig, btnEdit, btnBrowse, btnPrint, btnHelp, btnOk})
        control->installEventFilter(this);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *button : {btnEdit, btnBrowse, btnPrint, btnHelp})
        buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(FncDescBig, 1);
    layout->addLayout(buttons);

    FormCreate();
    open_descriptions().push_back(this);
}

TfrmFunctionDesc::~TfrmFunctionDesc() = default;

TfrmFunctionDesc *TfrmFunctionDesc::Active()
{
    auto &windows = open_descriptions();
    std::erase_if(windows, [](const QPointer<TfrmFunctionDesc> &w) { return w.isNull(); });
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if ((*it)->isActiveWindow())
            return it->data();
    return nullptr;
}

std::string TfrmFunctionDesc::LibraryPath() const
{
    return FEntry && FEntry->library ? FEntry->library->path : std::string();
}

// The description as the library holds it (LB_CAT's reader, which the function reference
// pages share); each line shown whole, whatever its length and line end.
void TfrmFunctionDesc::FormCreate()
{
    if (!FEntry || !FEntry->library)
        throw xFileOpen(kMsgCannotOpenFile, FName.c_str(), KX_HERE);
    const std::optional<std::string> text = lib_description_text(*FEntry);
    if (!text)
        throw xFileOpen(kMsgCannotOpenFile, LibraryPath().c_str(), KX_HERE);
    FncDescBig->setText(QString::fromLatin1(text->data(), static_cast<qsizetype>(text->size())));
    FncDescBig->setReadOnly(true);
    actCopyUpdate();
}

void TfrmFunctionDesc::actCopyUpdate()
{
    actCopy->setEnabled(FncDescBig->hasSelectedText());
}

std::string TfrmFunctionDesc::WordAtCaret() const
{
    int line = 0, index = 0;
    FncDescBig->getCursorPosition(&line, &index);
    return FncDescBig->wordAtLineIndex(line, index).toLocal8Bit().toStdString();
}

void TfrmFunctionDesc::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FncDescBig->setFocus();
    // The lookup window that opened this one has done its work.
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *lookup = qobject_cast<TfrmLibraryLookup *>(widget); lookup && lookup->isVisible())
            lookup->close();
}

void TfrmFunctionDesc::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

// The memo takes Esc for itself (it would cancel a completion list), so the window never saw it:
// the memo and the buttons hand it over here.
bool TfrmFunctionDesc::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmFunctionDesc::actEditExecute()
{
    if (!m_main)
        return;
    const std::string path = LibraryPath();
    TfrmEdit *editor = m_main->FindEditor(path);
    if (!editor)
        editor = m_main->OpenFile(path);
    if (!editor)
        return;
    QsciScintilla *memo = editor->Editor();
    if (editor->IsModified()) {
        // Unsaved edits may have moved the description: find it by its header and name.
        const std::size_t in = FName.find(" in ");
        const std::string function = in == std::string::npos ? FName : FName.substr(0, in);
        const int lines = memo->lines();
        for (int at = 0; at < lines; ++at) {
            if (!memo->text(at).startsWith(QLatin1String(kHeader)))
                continue;
            int below = at + 1;
            while (below < lines && blank(memo->text(below).toLocal8Bit().toStdString()))
                ++below;
            if (below < lines && first_word_is(memo->text(below).toLocal8Bit().toStdString(), function)) {
                memo->setFirstVisibleLine(below);
                memo->setCursorPosition(below, 0);
                break;
            }
        }
    } else {
        const ZModEntry *entry = FEntry;
        if (lib_find_function(FName, &entry, nullptr) && entry) {
            // The caret line is the count of lines before the description's start.
            int count = 0;
            const QByteArray bytes = memo->text().toLatin1();
            const int limit = std::min<int>(bytes.size(), static_cast<int>(entry->body_start));
            for (int i = 0; i < limit; ++i)
                if (bytes[i] == '\n')
                    ++count;
            memo->setCursorPosition(count, 0);
            memo->setFirstVisibleLine(std::max(0, count - 2));
        }
    }
    editor->UpdateCaretStatus();
    close();
    if (QMdiArea *area = m_main->Workspace())
        area->setActiveSubWindow(editor);
    editor->raise();
    memo->setFocus();
}

void TfrmFunctionDesc::btnBrowseClick()
{
    TfrmLibraryLookup lookup(m_main, parentWidget());
    lookup.Populate(std::string());
    options_shell().ExecModal(lookup);
}

void TfrmFunctionDesc::btnPrintClick()
{
    if (m_main)
        m_main->PrintMemo(FncDescBig, "Function Description");
}
