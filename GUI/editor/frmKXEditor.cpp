// frmKXEditor: the source editor window.
#include "frmKXEditor.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QStyle>
#include <QTimer>

#include <filesystem>
#include <sstream>
#include <ostream>

#include "BoundedFormat.h"
#include "RegularFile.h"
#include "driver/CC_GO.h"
#include "core/CC_MISC.h"
#include "KorvexLexer.h"
#include "MemoOptions.h"
#include "options/frmKXEditProperties.h"
#include "shell/frmKXMain.h"
#include "CodeTemplateList.h"
#include "shell/guiHosts.h"
#include "settings/guiKXPreferences.h"

namespace {

// The marker that draws the "Error line" style behind a line.
constexpr int kErrorLineMarker = 20;
constexpr int kSearchMatchMarker = 21;

// A line mark lies behind the line's own coloured text, so it is a light tint of its style's
// background (a quarter of it over white): the text stays readable on it.
QColor light_tint(const QColor &mark)
{
    const auto tint = [](int channel) { return 255 - (255 - channel) / 4; };
    return QColor(tint(mark.red()), tint(mark.green()), tint(mark.blue()));
}

std::string name_part(const std::string &path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_file(const std::string &path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(normalize_separators(path), ec);
}

// The program directory followed by the name, as the path buffers joined them.
std::string in_program_directory(const std::string &name)
{
    std::string dir = program_directory();
    if (!dir.empty() && dir.back() != '/')
        dir.push_back('/');
    return dir + name;
}

// The fly-over hint's timer interval and the widest hint.
constexpr int kWatchHintInterval = 1000;
constexpr int kHintMaxWidth = 1000;

constexpr int kPackedMax = static_cast<int>(kPackedPositionMax);

} // namespace

void TKorvexMemo::keyPressEvent(QKeyEvent *event)
{
    const bool before = overwriteMode();
    QsciScintilla::keyPressEvent(event);
    if (overwriteMode() != before)
        emit overwriteModeChanged(overwriteMode());
}

TfrmEdit::TfrmEdit(TfrmMainWindow *main, const std::string &file_name) : m_main(main)
{
    setAttribute(Qt::WA_DeleteOnClose);
    m_editor = new TKorvexMemo(this);
    setWidget(m_editor);
    SetFileName(file_name);
    SetShortName(name_part(file_name));
    FormCreate();
}

void TfrmEdit::ApplyPlacement(const EditorState &info)
{
    setGeometry(info.left, info.top, info.width, info.height);
    if (info.window_state == 2)
        showMaximized();
    else if (info.window_state == 1)
        showMinimized();
}

TfrmEdit::~TfrmEdit()
{
    m_tag->Detach(m_editor);
    m_edit_frame.SetWindow(nullptr);
    m_text_edit.SetWindow(nullptr);
    if (m_main) {
        m_main->SetStatusPanelText("", 1);
        m_main->SetStatusPanelText("", 2);
    }
}

void TfrmEdit::SetFileName(const std::string &file_name) { m_file_name = file_name; }
void TfrmEdit::SetShortName(const std::string &short_name) { m_short_name = short_name; }

// Set-up of the memo (tab characters, Latin-1 bytes; indentation, font, colours and the rest
// follow the program-wide editor options), the adapters and the actions.
void TfrmEdit::FormCreate()
{
    m_marking = false;
    m_editor->setUtf8(false);
    m_editor->setIndentationsUseTabs(true);
    m_editor->setEolMode(QsciScintilla::EolUnix);
    m_editor->setSelectionBackgroundColor(QColor(0x00, 0x00, 0x80));
    m_editor->setSelectionForegroundColor(Qt::white);
    m_lexer = new TKorvexLexer(this);
    m_color_syntax = GlobalMemoOptions().Options[moColorSyntax];
    SelectSyntaxParser();

    m_edit_frame.SetWindow(this);
    m_text_edit.SetWindow(this);
    m_tag = std::make_shared<TMemoSourceTag>();
    m_tag->Attach(m_editor);

    m_watch_hint = new QTimer(this);
    m_watch_hint->setInterval(kWatchHintInterval);
    connect(m_watch_hint, &QTimer::timeout, this,
            [this] { guarded([&] { tmrWatchHintTimer(); }); });
    m_hint_window = new QLabel(m_editor, Qt::ToolTip);
    m_hint_window->setForegroundRole(QPalette::ToolTipText);
    m_hint_window->setBackgroundRole(QPalette::ToolTipBase);
    m_hint_window->setAutoFillBackground(true);
    m_hint_window->setMaximumWidth(kHintMaxWidth);
    m_hint_window->setTextFormat(Qt::PlainText);
    m_hint_window->setWordWrap(true);
    m_hint_window->setMargin(2);
    m_hint_window->hide();
    m_editor->installEventFilter(this);
    m_editor->viewport()->installEventFilter(this);
    m_editor->viewport()->setMouseTracking(true);

    connect(m_editor, &QsciScintilla::modificationChanged, this,
            [this](bool modified) { guarded([&] { EditorStateChange(modified); }); });
    connect(m_editor, &QsciScintilla::cursorPositionChanged, this,
            [this](int, int) { guarded([&] { UpdateCaretStatus(); }); });
    connect(m_editor, &TKorvexMemo::overwriteModeChanged, this,
            [this](bool overwrite) { guarded([&] { OverwriteChanged(overwrite); }); });

    actOpenFileAtCursor = new QAction(tr("Op&en File at Cursor"), this);
    actOpenFileAtCursor->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return),
                                       QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    actOpenFileAtCursor->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(actOpenFileAtCursor, &QAction::triggered, this,
            [this] { guarded([&] { OpenFileAtCursor(); }); });
    addAction(actOpenFileAtCursor);

    actReadOnly = new QAction(tr("&Read Only"), this);
    actReadOnly->setStatusTip(tr("Toggle Read Only state for this edit window"));
    actReadOnly->setCheckable(true);
    connect(actReadOnly, &QAction::triggered, this,
            [this] { guarded([&] { SetReadOnly(!m_editor->isReadOnly()); }); });

    actUseSyntaxParser = new QAction(tr("Use &Syntax Highlighting"), this);
    actUseSyntaxParser->setStatusTip(tr("Use Syntax Parser"));
    actUseSyntaxParser->setCheckable(true);
    connect(actUseSyntaxParser, &QAction::triggered, this, [this] {
        guarded([&] {
            m_editor->setLexer(HasSyntaxParser() ? nullptr : m_lexer);
            if (m_options)
                m_options->Apply();
        });
    });

    actShowCodeTemplates = new QAction(tr("&Insert Code Template..."), this);
    connect(actShowCodeTemplates, &QAction::triggered, this,
            [this] { guarded([&] { ShowCodeTemplates(); }); });

    actEditorProperties = new QAction(tr("&Options..."), this);
    connect(actEditorProperties, &QAction::triggered, this, [this] {
        guarded([&] {
            if (m_main)
                actEnvOptionsExecute(m_main, m_editor, true);
        });
    });

    // The main window's commands join the editor's own (those it has made by now).
    auto main_action = [this](QAction *TfrmMainWindow::*action) {
        if (m_main && m_main->*action)
            m_popup->addAction(m_main->*action);
    };
    m_popup = new QMenu(this);
    main_action(&TfrmMainWindow::actFileNew);
    m_popup->addAction(actOpenFileAtCursor);
    main_action(&TfrmMainWindow::actFileClose);
    m_popup->addSeparator();
    m_popup->addAction(actShowCodeTemplates);
    BuildBookmarkMenus();
    m_popup->addSeparator();
    for (auto action : {&TfrmMainWindow::actEditCut, &TfrmMainWindow::actEditCopy,
                        &TfrmMainWindow::actEditPaste, &TfrmMainWindow::actFind,
                        &TfrmMainWindow::actEditMode})
        main_action(action);
    m_popup->addSeparator();
    main_action(&TfrmMainWindow::actAddWatch);
    m_popup->addSeparator();
    m_popup->addAction(actReadOnly);
    m_popup->addAction(actUseSyntaxParser);
    m_popup->addSeparator();
    m_popup->addAction(actEditorProperties);
    m_editor->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_editor, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { guarded([&] { PopupMenu(at); }); });

    m_editor->markerDefine(QsciScintilla::Background, kErrorLineMarker);
    // Typing on the error line takes its mark: the line is being mended.
    connect(m_editor, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int type, const char *, int, int, int, int, int, int, int) {
                guarded([&] { TextModified(position, type); });
            });
    // The "Search Match" look of a line that Find in Files went to, tinted as the error line is
    // (the memo leaves a translucent line marker undrawn while a margin shows markers).
    m_editor->markerDefine(QsciScintilla::Background, kSearchMatchMarker);
    m_editor->setMarkerBackgroundColor(SearchMatchPaper(), kSearchMatchMarker);
    m_options = std::make_unique<TMemoOptionsLink>(m_editor, m_lexer,
                                                   [this] { OptionsChanged(); });
    UpdateCaption();
}

void TfrmEdit::ShowCodeTemplates()
{
    if (m_editor->isReadOnly() || TemplatesSource().CodeTemplates.Items.empty())
        return;
    new TCodeTemplateList(m_editor, TemplatesSource().CodeTemplates);
}

// The error line's colour, and the colouring when the options switched it.
void TfrmEdit::OptionsChanged()
{
    m_editor->setMarkerBackgroundColor(ErrorLinePaper(), kErrorLineMarker);
    m_editor->setMarkerBackgroundColor(SearchMatchPaper(), kSearchMatchMarker);
    const bool color_syntax = GlobalMemoOptions().Options[moColorSyntax];
    if (color_syntax != m_color_syntax) {
        m_color_syntax = color_syntax;
        SelectSyntaxParser();
    }
}

// "Bookmark &0" carries 10, the others their own digit.
void TfrmEdit::BuildBookmarkMenus()
{
    ToggleBookmarkMenu = m_popup->addMenu(tr("To&ggle Bookmark"));
    GotoBookmarkMenu = m_popup->addMenu(tr("Go to Boo&kmark"));
    for (int digit = 0; digit <= 9; ++digit) {
        const int number = digit == 0 ? 10 : digit;
        const QString caption = tr("Bookmark &%1").arg(digit);
        QAction *toggle = ToggleBookmarkMenu->addAction(caption);
        toggle->setData(number);
        connect(toggle, &QAction::triggered, this,
                [this, number] { guarded([&] { ToggleBookmarkClick(number); }); });
        QAction *go = GotoBookmarkMenu->addAction(caption);
        go->setData(number);
        connect(go, &QAction::triggered, this,
                [this, number] { guarded([&] { GotoBookmarkClick(number); }); });
    }
}

void TfrmEdit::PopupMenu(const QPoint &at)
{
    HideHint();
    actReadOnly->setChecked(m_editor->isReadOnly());
    actUseSyntaxParser->setChecked(HasSyntaxParser());
    m_popup->popup(m_editor->mapToGlobal(at));
}

// The memo takes the options' read-only colour while it is read-only.
void TfrmEdit::SetReadOnly(bool read_only)
{
    m_editor->setReadOnly(read_only);
    if (m_options)
        m_options->Apply();
}

bool TfrmEdit::LoadFromFile(std::string &reason)
{
    // Only an ordinary file is opened, and only up to a limit: a FIFO would hold the IDE until
    // something wrote to it, and a device would be read until memory ran out.
    const std::string path = normalize_separators(m_file_name);
    std::string text;
    const RegularFileStatus status = read_regular_text(path, kEditorMaxFileBytes, text);
    if (status != RegularFileStatus::Read) {
        // As a sentence below the file's name: "It is a folder."
        reason = "I" + regular_file_refusal(path, status, kEditorMaxFileBytes).substr(1) + ".";
        return false;
    }
    const QByteArray bytes = QByteArray::fromStdString(text);
    const bool read_only = m_editor->isReadOnly();
    m_editor->setReadOnly(false);
    m_editor->SendScintilla(QsciScintillaBase::SCI_CLEARALL);
    m_editor->SendScintilla(QsciScintillaBase::SCI_APPENDTEXT,
                            static_cast<unsigned long>(bytes.size()), bytes.constData());
    m_editor->setReadOnly(read_only);
    // New lines typed take the file's own line end.
    const qsizetype eol = bytes.indexOf('\n');
    const qsizetype cr = bytes.indexOf('\r');
    if (cr >= 0 && (eol < 0 || cr < eol))
        m_editor->setEolMode(cr + 1 == eol ? QsciScintilla::EolWindows : QsciScintilla::EolMac);
    else
        m_editor->setEolMode(QsciScintilla::EolUnix);
    m_editor->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
    m_editor->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, 0UL);
    m_editor->setModified(false);
    m_file_time = file_write_time(m_file_name);
    return true;
}

std::string TfrmEdit::Text() const
{
    const long length = m_editor->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    if (length <= 0)
        return {};
    const char *bytes = static_cast<const char *>(
        m_editor->SendScintillaPtrResult(QsciScintillaBase::SCI_GETCHARACTERPOINTER));
    return std::string(bytes, static_cast<std::size_t>(length));
}

int TfrmEdit::SourceLineCount() const
{
    const int lines = m_editor->lines();
    if (lines <= 0)
        return 0;
    return m_editor->lineLength(lines - 1) == 0 ? lines - 1 : lines;
}

void TfrmEdit::MarkUnmodified() { m_editor->setModified(false); }

void TfrmEdit::MarkSaved()
{
    if (!IdePreferences().undo_after_save)
        m_editor->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
    m_editor->setModified(false);
    m_file_time = file_write_time(m_file_name);
}

bool TfrmEdit::IsModified() const { return m_editor->isModified(); }

EditorState TfrmEdit::State() const
{
    EditorState state;
    state.path = m_file_name;
    const QRect r = geometry();
    state.left = r.left();
    state.top = r.top();
    state.height = r.height();
    state.width = r.width();
    state.window_state = isMaximized() ? 2 : isMinimized() ? 1 : 0;
    m_editor->getCursorPosition(&state.caret_line, &state.caret_column);
    state.top_line = m_editor->firstVisibleLine();
    const long char_width = m_editor->SendScintilla(QsciScintillaBase::SCI_TEXTWIDTH,
                                                    QsciScintillaBase::STYLE_DEFAULT, "x");
    const long x = m_editor->SendScintilla(QsciScintillaBase::SCI_GETXOFFSET);
    state.left_column = char_width > 0 ? static_cast<int>(x / char_width) : 0;
    return state;
}

void TfrmEdit::RestoreCaret(const EditorState &info)
{
    m_editor->setCursorPosition(info.caret_line, info.caret_column);
    m_editor->setFirstVisibleLine(info.top_line);
    const long char_width = m_editor->SendScintilla(QsciScintillaBase::SCI_TEXTWIDTH,
                                                    QsciScintillaBase::STYLE_DEFAULT, "x");
    m_editor->SendScintilla(QsciScintillaBase::SCI_SETXOFFSET,
                            static_cast<unsigned long>(info.left_column * char_width));
}

// ext = the name's extension without its dot, lower-cased; coloured when the syntax file types
// hold it or "*", and the editor options colour sources at all.
void TfrmEdit::SelectSyntaxParser()
{
    const std::string name = name_part(m_file_name);
    const std::size_t dot = name.find_last_of('.');
    const std::string ext = lower_case(dot == std::string::npos ? "" : name.substr(dot + 1));
    const std::set<std::string> &types = IdePreferences().SourceExtensions;
    const bool coloured = (types.count("*") != 0 || types.count(ext) != 0) &&
                          GlobalMemoOptions().Options[moColorSyntax];
    m_editor->setLexer(coloured ? m_lexer : nullptr);
    if (m_options)
        m_options->Apply();
}

QSize TfrmEdit::TextAreaSize(int columns, int lines) const
{
    const auto text_width = [this](const char *sample) {
        return static_cast<int>(m_editor->SendScintilla(QsciScintillaBase::SCI_TEXTWIDTH,
                                                        QsciScintillaBase::STYLE_DEFAULT, sample));
    };
    const int char_width = std::max(1, text_width("M"));
    const int line_height = std::max(
        1, static_cast<int>(m_editor->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0UL)));
    int margins = 0;
    for (int margin = 0; margin < 5; ++margin)
        margins += m_editor->marginWidth(margin);
    const int scroll_bar = m_editor->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int frame = 2 * m_editor->frameWidth();
    return {margins + columns * char_width + scroll_bar + frame + 4,
            lines * line_height + scroll_bar + frame};
}

bool TfrmEdit::HasSyntaxParser() const { return m_editor->lexer() != nullptr; }

void TfrmEdit::UpdateCaretStatus()
{
    int line = 0, column = 0;
    m_editor->getCursorPosition(&line, &column);
    m_caret_line = line + 1;
    m_caret_column = column + 1;
    // An editor behind the current one (its caret placed while a project reopens it) keeps its
    // place for when it comes to the front; the panels belong to the editor in front.
    if (!IsCurrent())
        return;
    m_main->SetStatusPanelText(bounded_format("Line: %d", m_caret_line), 1);
    m_main->SetStatusPanelText(bounded_format("Col: %d", m_caret_column), 2);
}

bool TfrmEdit::IsCurrent() const { return m_main && m_main->ActiveEditorWindow() == this; }

void TfrmEdit::FormActivate()
{
    m_main->SetStatusPanelText(bounded_format("Line: %d", m_caret_line), 1);
    m_main->SetStatusPanelText(bounded_format("Col: %d", m_caret_column), 2);
    m_main->SetStatusPanelText(IsModified() && !m_marking ? "Modified" : "", 3);
}

void TfrmEdit::UpdateCaption()
{
    // The name as the file system spells it: on Linux an upper-cased path names another file.
    std::string caption = isMaximized() ? name_part(m_file_name) : m_file_name;
    if (IsModified() && !caption.empty() && !m_marking)
        caption += " *";
    setWindowTitle(qpath(caption));
}

void TfrmEdit::OverwriteChanged(bool overwrite)
{
    ApplyCaretStyle(m_editor);
    m_main->SetStatusPanelText(overwrite ? "Overwrite" : "Insert", 4);
}

// Panel 3 and the caption's " *" follow the modified flag, except while marks are changed.
void TfrmEdit::EditorStateChange(bool modified)
{
    QString caption = windowTitle();
    const bool current = IsCurrent();
    if (!modified || m_marking) {
        if (current)
            m_main->SetStatusPanelText("", 3);
        if (caption.endsWith(QStringLiteral(" *")))
            caption.chop(2);
    } else {
        if (current)
            m_main->SetStatusPanelText("Modified", 3);
        if (!caption.isEmpty() && !caption.endsWith('*'))
            caption += QStringLiteral(" *");
    }
    setWindowTitle(caption);
}

void TfrmEdit::resizeEvent(QResizeEvent *event)
{
    QMdiSubWindow::resizeEvent(event);
    guarded([&] { UpdateCaption(); });
}

void TfrmEdit::changeEvent(QEvent *event)
{
    QMdiSubWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        guarded([&] {
            UpdateCaption();
            if (m_main && !isMinimized())
                m_main->NoteEditorState(this);
        });
}

int TfrmEdit::AskToSave() const
{
    if (!IsModified())
        return kIdNo;
    return ShowAppMessageBox("Save changes to '" + m_file_name + "'?", "Korvex",
                             kMbYesNoCancel | kMbIconExclamation);
}

bool TfrmEdit::FormCloseQuery()
{
    if (!IsModified())
        return true;
    switch (AskToSave()) {
    case kIdYes:
        m_main->SaveFile(this);
        UpdateCaption();
        return !IsModified();
    case kIdNo:
        return true;
    default:
        return false;
    }
}

void TfrmEdit::FormClose()
{
    ide_store().MruAddEditor(State());
    SaveBookmarks();
    m_closing = true;
}

void TfrmEdit::CloseDecided()
{
    m_close_decided = true;
    close();
}

// A refused close, or any failure while deciding, keeps the window and its text.
void TfrmEdit::closeEvent(QCloseEvent *event)
{
    event->ignore();
    guarded([&] {
        if (!m_close_decided && !FormCloseQuery())
            return;
        FormClose();
        QMdiSubWindow::closeEvent(event);
        event->accept();
    });
}

// The text between double quotes around the caret names the file: the program directory's
// file of that name, else the libraries list's entry of that name (in whatever folder), else
// the name itself; with none of them the open dialog asks.
void TfrmEdit::OpenFileAtCursor()
{
    int line = 0, column = 0;
    m_editor->getCursorPosition(&line, &column);
    const std::string text = GetLineText(line);
    const std::size_t at = std::min<std::size_t>(static_cast<std::size_t>(column), text.size());
    const std::size_t open = at == 0 ? std::string::npos : text.rfind('"', at - 1);
    const std::size_t start = open == std::string::npos ? 0 : open + 1;
    const std::size_t close = text.find('"', at);
    const std::string word =
        text.substr(start, (close == std::string::npos ? text.size() : close) - start);

    if (!word.empty() && is_file(in_program_directory(word))) {
        m_main->OpenFile(in_program_directory(word));
        return;
    }
    if (!word.empty()) {
        std::string text;
        (void)read_regular_text(normalize_separators(libraries_file()), kLibrariesListMaxBytes,
                                text);
        std::istringstream list(text);
        for (std::string entry; std::getline(list, entry);) {
            while (!entry.empty() && (entry.back() == '\r' || entry.back() == '\n'))
                entry.pop_back();
            if (entry.empty() || !equal_ignoring_case(name_part(entry), word))
                continue;
            if (is_file(in_program_directory(entry))) {
                m_main->OpenFile(in_program_directory(entry));
                return;
            }
            if (is_file(entry)) {
                m_main->OpenFile(entry);
                return;
            }
        }
        if (is_file(word)) {
            m_main->OpenFile(word);
            return;
        }
    }
    m_main->actFileOpenExecute();
}

bool TfrmEdit::Save() { return m_main->SaveFile(this); }

void TfrmEdit::WriteText(std::ostream &out) const
{
    const std::string text = Text();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

uint32_t TfrmEdit::GetCaretPosition() const
{
    int line = 0, column = 0;
    m_editor->getCursorPosition(&line, &column);
    return pack_position(static_cast<uint32_t>(std::min(line, kPackedMax)),
                         static_cast<uint32_t>(std::min(column, kPackedMax)));
}

// The next byte of the line; at or past its end the start of the next line (a line end that
// ends the text starts none, as for the compiler); the position itself when there is no next
// line or the next column cannot be packed.
uint32_t TfrmEdit::GetNextPosition(uint32_t packed) const
{
    const int line = static_cast<int>(position_line(packed));
    const int column = static_cast<int>(position_column(packed));
    if (line >= m_editor->lines())
        return packed;
    if (static_cast<std::size_t>(column) < GetLineText(line).size())
        return column < kPackedMax ? pack_position(line, column + 1) : packed;
    if (line + 1 < SourceLineCount() && line < kPackedMax)
        return pack_position(line + 1, 0);
    return packed;
}

std::string TfrmEdit::GetLineText(int line) const
{
    if (line < 0 || line >= m_editor->lines())
        return {};
    const long from = m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
    const long to = m_editor->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, line);
    std::string text(static_cast<std::size_t>(to - from) + 1, '\0');
    m_editor->SendScintilla(QsciScintillaBase::SCI_GETTEXTRANGE, from, to, text.data());
    text.resize(static_cast<std::size_t>(to - from));
    return text;
}

// The "Error line" and "Search Match" colours behind the line's own coloured text.
QColor TfrmEdit::ErrorLinePaper()
{
    return light_tint(colour_of(korvex_style(kStyleErrorLine).Color));
}
QColor TfrmEdit::SearchMatchPaper()
{
    return light_tint(colour_of(korvex_style(kStyleSearchMatch).Color));
}

void TfrmEdit::TextModified(int position, int type)
{
    if (!(type & (QsciScintillaBase::SC_MOD_INSERTTEXT | QsciScintillaBase::SC_MOD_DELETETEXT)))
        return;
    const int marked = ErrorLine();
    if (marked < 0)
        return;
    const int line = static_cast<int>(
        m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, position));
    if (line == marked)
        SetErrorLine(-1);
}

void TfrmEdit::SetErrorLine(int line)
{
    m_editor->markerDeleteAll(kErrorLineMarker);
    if (line >= 0 && line < m_editor->lines())
        m_editor->markerAdd(line, kErrorLineMarker);
}

void TfrmEdit::SetSearchMatchLine(int line)
{
    m_editor->markerDeleteAll(kSearchMatchMarker);
    if (line >= 0 && line < m_editor->lines())
        m_editor->markerAdd(line, kSearchMatchMarker);
}

int TfrmEdit::SearchMatchLine() const
{
    return m_editor->markerFindNext(0, 1u << kSearchMatchMarker);
}

int TfrmEdit::ErrorLine() const
{
    return m_editor->markerFindNext(0, 1u << kErrorLineMarker);
}
