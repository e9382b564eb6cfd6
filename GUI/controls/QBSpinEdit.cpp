// QBSpinEdit: the spin edit and its model.
#include "QBSpinEdit.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <limits>

#include "shell/guiHosts.h"

namespace {

// The button pair's width, as the platform's spin button had it.
constexpr int kButtonWidth = 15;

constexpr char32_t kBackspace = 8, kTab = 9, kEnter = 13;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

} // namespace

int32_t TSpinEditModel::CheckValue(int32_t value) const
{
    if (MinValue == MaxValue)
        return value;
    if (value < MinValue)
        return MinValue;
    if (value > MaxValue)
        return MaxValue;
    return value;
}

int32_t TSpinEditModel::Step(int32_t value, bool up) const
{
    const int64_t next = up ? int64_t{value} + Increment : int64_t{value} - Increment;
    const int64_t lowest = std::numeric_limits<int32_t>::min();
    const int64_t highest = std::numeric_limits<int32_t>::max();
    return CheckValue(static_cast<int32_t>(next < lowest ? lowest : next > highest ? highest : next));
}

bool TSpinEditModel::IsValidChar(char32_t c, bool empty_or_all_selected) const
{
    bool valid = false;
    if (c == U'+' || c == U'-')
        valid = empty_or_all_selected;
    else
        valid = (c >= U'0' && c <= U'9') || c == kEnter || c == kTab || c == kBackspace;
    if (valid && !EditorEnabled)
        valid = c < 32 && c != kBackspace;
    return valid;
}

std::optional<int32_t> spin_edit_integer(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

TQBSpinEdit::TQBSpinEdit(QWidget *parent) : QLineEdit(parent)
{
    m_button = new QWidget(this);
    auto *column = new QVBoxLayout(m_button);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_up = new QToolButton(m_button);
    m_down = new QToolButton(m_button);
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton *button : {m_up, m_down}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(true);
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        column->addWidget(button);
    }
    connect(m_up, &QToolButton::clicked, this, [this] { guarded([&] { UpClick(); }); });
    connect(m_down, &QToolButton::clicked, this, [this] { guarded([&] { DownClick(); }); });
    setTextMargins(0, 0, kButtonWidth + 2, 0);
    setText(QStringLiteral("0"));
    PlaceButton();
}

void TQBSpinEdit::Beep()
{
    QApplication::beep();
    emit beeped();
}

int32_t TQBSpinEdit::GetValue()
{
    if (const std::optional<int32_t> value = spin_edit_integer(text().toStdString()))
        return *value;
    setText(QString::number(m_model.MinValue));
    return m_model.MinValue;
}

void TQBSpinEdit::SetValue(int32_t value) { setText(QString::number(CheckValue(value))); }

void TQBSpinEdit::UpClick()
{
    if (isReadOnly()) {
        Beep();
        return;
    }
    setText(QString::number(m_model.Step(GetValue(), true)));
}

void TQBSpinEdit::DownClick()
{
    if (isReadOnly()) {
        Beep();
        return;
    }
    setText(QString::number(m_model.Step(GetValue(), false)));
}

bool TQBSpinEdit::IsValidChar(char32_t c) const
{
    const bool all_selected = text().isEmpty() || selectedText().size() == text().size();
    return m_model.IsValidChar(c, all_selected);
}

// The arrow keys step, then the line edit sees them as usual. Paste and cut are swallowed while
// the text may not change. Every key that would put a character in (Backspace included) is
// checked; a refused one beeps and goes no further. Delete edits the text as Backspace does,
// so it is refused with the editor disabled too. Other keys (Escape, shortcuts, caret moves)
// go on, so a dialog still sees Escape and its default button Enter.
void TQBSpinEdit::keyPressEvent(QKeyEvent *event)
{
    guarded([&] {
        const bool locked = !m_model.EditorEnabled || isReadOnly();
        if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
            event->key() == Qt::Key_Up ? UpClick() : DownClick();
        } else if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) {
            if (locked) {
                event->accept();
                return;
            }
        } else if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
            if (!m_model.EditorEnabled) {
                Beep();
                event->accept();
                return;
            }
        } else {
            char32_t c = 0;
            if (event->key() == Qt::Key_Backspace)
                c = kBackspace;
            else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
                c = kEnter;
            else if (event->key() == Qt::Key_Tab)
                c = kTab;
            else if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
                     event->text().size() == 1 && event->text().at(0).unicode() >= 32)
                c = event->text().at(0).unicode();
            if (c != 0 && !IsValidChar(c)) {
                Beep();
                event->accept();
                return;
            }
        }
        QLineEdit::keyPressEvent(event);
    });
}

// The standard menu without the items that would change a text that may not change.
void TQBSpinEdit::contextMenuEvent(QContextMenuEvent *event)
{
    guarded([&] {
        QMenu *menu = createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        if (!m_model.EditorEnabled || isReadOnly())
            for (QAction *action : menu->actions())
                if (action->objectName() == QLatin1String("edit-paste") ||
                    action->objectName() == QLatin1String("edit-cut") ||
                    action->objectName() == QLatin1String("edit-delete"))
                    action->setEnabled(false);
        menu->popup(event->globalPos());
    });
}

void TQBSpinEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    if (m_auto_select && !(QGuiApplication::mouseButtons() & Qt::LeftButton))
        selectAll();
}

// Leaving keeps the text in the range.
void TQBSpinEdit::focusOutEvent(QFocusEvent *event)
{
    guarded([&] {
        const int32_t value = GetValue();
        if (CheckValue(value) != value)
            SetValue(value);
    });
    QLineEdit::focusOutEvent(event);
}

void TQBSpinEdit::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    PlaceButton();
}

void TQBSpinEdit::PlaceButton()
{
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    m_button->setGeometry(width() - kButtonWidth - frame, frame, kButtonWidth,
                          height() - 2 * frame);
}

QSize TQBSpinEdit::sizeHint() const
{
    const QSize hint = QLineEdit::sizeHint();
    return {hint.width() + kButtonWidth, hint.height()};
}
