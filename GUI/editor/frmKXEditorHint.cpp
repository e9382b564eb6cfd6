// frmKXEditor: the fly-over hint. While a program is stopped under the debugger, the mouse
// resting on a word (or inside the selection) of the focused editor starts the hint timer; its
// tick evaluates the text as a watch expression and shows the value just below the mouse.
// The evaluation talks to the target and pumps messages, so keys and mouse moves can arrive
// during it: no second evaluation starts meanwhile, and a hide request that arrives then keeps
// the finished evaluation's hint from showing and drops the next tick.
#include "frmKXEditor.h"

#include <QCursor>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>

#include "core/SEAM_TARGET.h"
#include "shell/frmKXMain.h"
#include "shell/guiHosts.h"
#include "settings/guiKXPreferences.h"

namespace {

constexpr const char *kEvaluationFailed =
    "An error occurred while attempting to evaluate the expression";

// Where the hint goes below the mouse cursor.
constexpr int kHintBelowCursor = 20;

// Shared by every editor window: the expression the hint is for, and the mouse handler's
// guard against running inside itself.
std::string g_hint_expression;
bool g_in_mouse_move = false;

} // namespace

const std::string &TfrmEdit::HintExpression() const { return g_hint_expression; }

// Only with "Watches in Flyover" on, a program under the debugger and the focus in the memo. A
// move right after the hint showed or went is the hint's own doing and is passed over.
void TfrmEdit::EditorMouseMove(const QPoint &at, bool left_button)
{
    if (!IdePreferences().watch.watches_in_flyover || m_main->IsEditMode() || !m_editor->hasFocus())
        return;
    if (left_button) {
        m_watch_hint->stop();
        return;
    }
    if (m_hint_just_hidden) {
        m_hint_just_hidden = false;
        return;
    }
    if (m_hint_just_shown) {
        m_hint_just_shown = false;
        return;
    }
    if (g_in_mouse_move || m_evaluating)
        return;
    TFlagScope guard(g_in_mouse_move);
    const std::string word = m_editor->wordAtPoint(at).toLatin1().toStdString();
    const bool selected = m_editor->hasSelectedText();
    if (!selected && word.empty()) {
        g_hint_expression.clear();
        HideHint();
        m_watch_hint->stop();
        return;
    }
    std::string candidate = word;
    if (selected) {
        // Inside the selection: over one of its characters.
        const long from = m_editor->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART);
        const long to = m_editor->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONEND);
        const long under = m_editor->SendScintilla(
            QsciScintillaBase::SCI_CHARPOSITIONFROMPOINTCLOSE, static_cast<unsigned long>(at.x()),
            static_cast<long>(at.y()));
        if (under < from || under >= to) {
            g_hint_expression.clear();
            HideHint();
            m_watch_hint->stop();
            return;
        }
        candidate = m_editor->selectedText().toLatin1().toStdString();
        while (!candidate.empty() && (candidate.back() == '\r' || candidate.back() == '\n'))
            candidate.pop_back();
    }
    if (candidate == g_hint_expression)
        return;
    HideHint();
    g_hint_expression = candidate;
    m_watch_hint->start();
}

void TfrmEdit::tmrWatchHintTimer()
{
    if (!m_main->IsStopped()) {
        m_watch_hint->stop();
        return;
    }
    if (m_skip_tick) {
        m_skip_tick = false;
        return;
    }
    TFlagScope evaluating(m_evaluating);
    m_hide_while_evaluating = false;
    m_watch_hint->stop();
    m_main->PausePolling();
    const bool keep_error = IdePreferences().watch.errors_in_flyover;
    std::string result;
    try {
        // A watches window evaluates with its own list, unless that holds all the watches the
        // target keeps; without one a watch list of its own does.
        if (TWatchesWindow *watches = m_main->WatchesWindow()) {
            if (watches->WatchCount() < target_operations().getMaxWatches()) {
                m_main->LockStatusPanel(7, true);
                result = watches->EvaluateExpression(g_hint_expression, keep_error);
            }
        } else {
            std::unique_ptr<TFlyOverWatch> watch = make_flyover_watch();
            m_main->LockStatusPanel(7, true);
            result = watch->Evaluate(g_hint_expression, keep_error);
        }
    } catch (...) {
        result = kEvaluationFailed;
    }
    m_main->LockStatusPanel(7, false);
    m_main->ResumePolling();
    if (!result.empty() && !m_hide_while_evaluating)
        ShowHint(result);
}

void TfrmEdit::ShowHint(const std::string &text)
{
    // The watch's line stands on one line, as the watches window shows it; only a text wider
    // than the hint's limit wraps.
    const QString line = QString::fromLatin1(text.c_str());
    const int margins = 2 * (m_hint_window->margin() + m_hint_window->frameWidth());
    m_hint_window->setWordWrap(
        m_hint_window->fontMetrics().horizontalAdvance(line) + margins > m_hint_window->maximumWidth());
    m_hint_window->setText(line);
    m_hint_window->adjustSize();
    m_hint_window->move(QCursor::pos() + QPoint(0, kHintBelowCursor));
    m_hint_just_shown = true;
    m_hint_window->show();
}

void TfrmEdit::HideHint()
{
    if (m_hint_window->isVisible()) {
        m_hint_window->hide();
        m_hint_just_hidden = true;
    }
    if (m_evaluating) {
        m_skip_tick = true;
        m_hide_while_evaluating = true;
    } else {
        m_watch_hint->stop();
    }
}

// The memo's keys and its viewport's mouse moves and leaving.
bool TfrmEdit::eventFilter(QObject *watched, QEvent *event)
{
    guarded([&] {
        if (watched == m_editor && event->type() == QEvent::KeyPress) {
            HideHint();
        } else if (watched == m_editor->viewport()) {
            if (event->type() == QEvent::MouseMove) {
                const auto *mouse = static_cast<QMouseEvent *>(event);
                EditorMouseMove(mouse->position().toPoint(),
                                mouse->buttons() & Qt::LeftButton);
            } else if (event->type() == QEvent::Leave) {
                HideHint();
            }
        }
    });
    return QMdiSubWindow::eventFilter(watched, event);
}
