// frmKXFind: the find and replace dialog and the search on an editor's bytes.
#include "frmKXFind.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <Qsci/qsciscintilla.h>

#include "shell/guiHosts.h"
#include "core/guiInterface.h"

namespace {

constexpr const char *kFindCaption = "Find";

QRegularExpression expression_of(const TSearchRequest &request)
{
    QString pattern = request.regular_expression ? request.text
                                                 : QRegularExpression::escape(request.text);
    // A word may not go on before or after the match; an end of a plain text that is no word
    // character needs no such edge ("+=" is a whole word in "a+=b").
    if (request.whole_words) {
        auto word_char = [](QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); };
        const bool plain = !request.regular_expression && !request.text.isEmpty();
        const bool edge_before = !plain || word_char(request.text.front());
        const bool edge_after = !plain || word_char(request.text.back());
        pattern = (edge_before ? QStringLiteral("(?<!\\w)") : QString()) +
                  QStringLiteral("(?:") + pattern + QStringLiteral(")") +
                  (edge_after ? QStringLiteral("(?!\\w)") : QString());
    }
    QRegularExpression::PatternOptions options = QRegularExpression::NoPatternOption;
    if (!request.case_sensitive)
        options |= QRegularExpression::CaseInsensitiveOption;
    return QRegularExpression(pattern, options);
}

// The memo's bytes, one character each.
QString memo_text(QsciScintilla *memo)
{
    const long length = memo->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    QByteArray bytes(static_cast<qsizetype>(length) + 1, '\0');
    memo->SendScintilla(QsciScintillaBase::SCI_GETTEXT, static_cast<unsigned long>(length + 1),
                        bytes.data());
    bytes.resize(static_cast<qsizetype>(length));
    return QString::fromLatin1(bytes);
}

// An invalid pattern (or an empty one) is told; true when the request can be searched.
bool usable(const TSearchRequest &request)
{
    if (request.text.isEmpty())
        return false;
    const QRegularExpression expression = expression_of(request);
    if (expression.isValid())
        return true;
    ShowAppMessageBox("'" + request.text.toStdString() + "' is not a valid regular expression: " +
                          expression.errorString().toStdString(),
                      kFindCaption, kMbOk | kMbIconError);
    return false;
}

void tell_not_found(const TSearchRequest &request)
{
    ShowAppMessageBox("Search string '" + request.text.toStdString() + "' not found",
                      kFindCaption, kMbOk | kMbIconInformation);
}

void select_match(QsciScintilla *memo, const TSearchMatch &match)
{
    memo->SendScintilla(QsciScintillaBase::SCI_SETSEL, match.start, match.start + match.length);
    memo->SendScintilla(QsciScintillaBase::SCI_SCROLLCARET);
}

// The selection as a match, when it is one exactly.
std::optional<TSearchMatch> selected_match(QsciScintilla *memo, const QString &text,
                                           const TSearchRequest &request)
{
    const long from = memo->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART);
    const long to = memo->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONEND);
    if (to <= from)
        return std::nullopt;
    const std::optional<TSearchMatch> match = find_match(text, from, request);
    if (!match || match->start != from || match->start + match->length != to)
        return std::nullopt;
    return match;
}

} // namespace

std::optional<TSearchMatch> find_match(const QString &text, long from,
                                       const TSearchRequest &request, QString *error)
{
    const QRegularExpression expression = expression_of(request);
    if (!expression.isValid()) {
        if (error)
            *error = expression.errorString();
        return std::nullopt;
    }
    if (request.text.isEmpty() || from < 0 || from > text.size())
        return std::nullopt;
    QRegularExpressionMatchIterator it = expression.globalMatch(text, from);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (match.capturedLength() > 0)
            return TSearchMatch{match.capturedStart(), match.capturedLength()};
    }
    return std::nullopt;
}

QString replacement_for(const QString &text, const TSearchMatch &match,
                        const TSearchRequest &request)
{
    if (!request.regular_expression)
        return request.replacement;
    const QRegularExpressionMatch found =
        expression_of(request).match(text, match.start, QRegularExpression::NormalMatch,
                                     QRegularExpression::AnchorAtOffsetMatchOption);
    QString out;
    const QString &with = request.replacement;
    for (qsizetype i = 0; i < with.size(); ++i) {
        if (with[i] != QLatin1Char('\\') || i + 1 == with.size()) {
            out += with[i];
            continue;
        }
        const QChar next = with[i + 1];
        if (next.isDigit() && next.unicode() <= '9') {
            out += found.captured(next.unicode() - '0');
            ++i;
        } else if (next == QLatin1Char('\\')) {
            out += next;
            ++i;
        } else {
            out += with[i];
        }
    }
    return out;
}

bool search_next(QsciScintilla *memo, const TSearchRequest &request)
{
    if (!usable(request))
        return false;
    const long from = memo->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONEND);
    const std::optional<TSearchMatch> match = find_match(memo_text(memo), from, request);
    if (!match) {
        tell_not_found(request);
        return false;
    }
    select_match(memo, *match);
    return true;
}

bool replace_and_search_next(QsciScintilla *memo, const TSearchRequest &request)
{
    if (!usable(request) || memo->isReadOnly())
        return false;
    const QString text = memo_text(memo);
    if (const std::optional<TSearchMatch> match = selected_match(memo, text, request)) {
        const QByteArray with = replacement_for(text, *match, request).toLatin1();
        memo->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, with.constData());
    }
    return search_next(memo, request);
}

// Replaced from the end backwards, so that the offsets found stay true.
int replace_all(QsciScintilla *memo, const TSearchRequest &request)
{
    if (!usable(request))
        return -1;
    if (memo->isReadOnly())
        return 0;
    const QString text = memo_text(memo);
    std::vector<TSearchMatch> matches;
    for (long from = 0;;) {
        const std::optional<TSearchMatch> match = find_match(text, from, request);
        if (!match)
            break;
        matches.push_back(*match);
        from = match->start + match->length;
    }
    if (matches.empty())
        return 0;
    memo->beginUndoAction();
    for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
        const QByteArray with = replacement_for(text, *it, request).toLatin1();
        memo->SendScintilla(QsciScintillaBase::SCI_SETTARGETRANGE, it->start,
                            it->start + it->length);
        memo->SendScintilla(QsciScintillaBase::SCI_REPLACETARGET,
                            static_cast<unsigned long>(with.size()), with.constData());
    }
    memo->endUndoAction();
    return static_cast<int>(matches.size());
}

// ---- the dialog ------------------------------------------------------------------------------

TfrmFindText::TfrmFindText(QWidget *owner, bool replace, const TSearchRequest &start)
    : QDialog(owner)
{
    setWindowTitle(replace ? tr("Replace Text") : tr("Find Text"));
    setModal(true);
    cbxFind = new QComboBox(this);
    cbxFind->setEditable(true);
    // Room for a search text of a few words, and the field grows with the dialog.
    cbxFind->setMinimumContentsLength(32);
    cbxFind->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbxFind->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    cbxFind->setEditText(start.text);
    edtReplace = new QLineEdit(start.replacement, this);
    chkCase = new QCheckBox(tr("&Case sensitive"), this);
    chkCase->setChecked(start.case_sensitive);
    chkWholeWords = new QCheckBox(tr("&Whole words only"), this);
    chkWholeWords->setChecked(start.whole_words);
    chkRegularExpression = new QCheckBox(tr("Regular e&xpression"), this);
    chkRegularExpression->setChecked(start.regular_expression);
    btnFindNext = new QPushButton(tr("&Find Next"), this);
    btnReplace = new QPushButton(tr("&Replace"), this);
    btnReplaceAll = new QPushButton(tr("Replace &All"), this);
    btnCancel = new QPushButton(tr("Cancel"), this);
    btnFindNext->setDefault(true);
    connect(btnFindNext, &QPushButton::clicked, this, [this] { Choose(Command::FindNext); });
    connect(btnReplace, &QPushButton::clicked, this, [this] { Choose(Command::Replace); });
    connect(btnReplaceAll, &QPushButton::clicked, this, [this] { Choose(Command::ReplaceAll); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *fields = new QGridLayout;
    auto *find_label = new QLabel(tr("&Text to find:"), this);
    find_label->setBuddy(cbxFind);
    fields->addWidget(find_label, 0, 0);
    fields->addWidget(cbxFind, 0, 1);
    auto *replace_label = new QLabel(tr("Replace &with:"), this);
    replace_label->setBuddy(edtReplace);
    fields->addWidget(replace_label, 1, 0);
    fields->addWidget(edtReplace, 1, 1);
    fields->setColumnStretch(1, 1);
    auto *options = new QVBoxLayout;
    options->addWidget(chkCase);
    options->addWidget(chkWholeWords);
    options->addWidget(chkRegularExpression);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton *button : {btnFindNext, btnReplace, btnReplaceAll, btnCancel})
        buttons->addWidget(button);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(options);
    layout->addLayout(buttons);
    for (QWidget *part : {static_cast<QWidget *>(replace_label),
                          static_cast<QWidget *>(edtReplace),
                          static_cast<QWidget *>(btnReplace),
                          static_cast<QWidget *>(btnReplaceAll)})
        part->setVisible(replace);
}

TSearchRequest TfrmFindText::Request() const
{
    TSearchRequest request;
    request.text = cbxFind->currentText();
    request.replacement = edtReplace->text();
    request.case_sensitive = chkCase->isChecked();
    request.whole_words = chkWholeWords->isChecked();
    request.regular_expression = chkRegularExpression->isChecked();
    return request;
}

void TfrmFindText::Choose(Command command)
{
    m_chosen = command;
    accept();
}
