// ColorConsoleView: drawing, scrolling, selecting and keys of the console widget.
#include "ColorConsoleView.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace {

// A model colour (0x00BBGGRR) as drawn; the system colours are resolved by the window before
// they reach the model, so the top bits are ignored here.
QColor cell_colour(TColor colour)
{
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

} // namespace

TColorConsoleView::TColorConsoleView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter);
    ChangeFontTo(font);
}

void TColorConsoleView::ChangeFontTo(const QFont &font)
{
    QFont fixed = font;
    fixed.setFixedPitch(true);
    setFont(fixed);
    viewport()->setFont(fixed);
    const QFontMetrics metrics(fixed);
    m_char_width = std::max(metrics.horizontalAdvance(QLatin1Char('M')), 1);
    m_line_height = std::max(metrics.height(), 1);
    m_ascent = metrics.ascent();
    Refresh();
}

void TColorConsoleView::WriteString(const uint8_t *bytes, std::size_t count)
{
    m_model.WriteString(bytes, count);
    Refresh();
}

void TColorConsoleView::Refresh()
{
    UpdateExtent();
    Track();
    viewport()->update();
}

void TColorConsoleView::UpdateExtent()
{
    const QSize area = viewport()->size();
    const int rows = m_model.UsedRows();
    const int visible_rows = std::max(area.height() / m_line_height, 1);
    verticalScrollBar()->setRange(0, std::max(rows - visible_rows, 0));
    verticalScrollBar()->setPageStep(visible_rows);
    verticalScrollBar()->setSingleStep(1);
    const int width = m_model.Cols() * m_char_width;
    horizontalScrollBar()->setRange(0, std::max(width - area.width(), 0));
    horizontalScrollBar()->setPageStep(std::max(area.width(), 1));
    horizontalScrollBar()->setSingleStep(m_char_width);
}

void TColorConsoleView::Track()
{
    const TConsolePoint cursor = m_model.GetCursor();
    const QSize area = viewport()->size();
    if (m_model.Options() & coAutoTrackingY) {
        const int visible_rows = std::max(area.height() / m_line_height, 1);
        QScrollBar *bar = verticalScrollBar();
        if (cursor.Y < bar->value())
            bar->setValue(cursor.Y);
        else if (cursor.Y >= bar->value() + visible_rows)
            bar->setValue(cursor.Y - visible_rows + 1);
    }
    if (m_model.Options() & coAutoTrackingX) {
        QScrollBar *bar = horizontalScrollBar();
        const int left = cursor.X * m_char_width;
        if (left < bar->value())
            bar->setValue(left);
        else if (left + m_char_width > bar->value() + area.width())
            bar->setValue(left + m_char_width - area.width());
    }
}

void TColorConsoleView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const TConsoleCell blank = m_model.Cell(m_model.Cols(), 0);
    painter.fillRect(viewport()->rect(), cell_colour(blank.bk_color));
    const int first_row = verticalScrollBar()->value();
    const int x_offset = horizontalScrollBar()->value();
    const int rows = viewport()->height() / m_line_height + 1;
    const int first_col = x_offset / m_char_width;
    const int cols = std::min(viewport()->width() / m_char_width + 2, m_model.Cols() - first_col);
    for (int r = 0; r < rows && first_row + r < m_model.Rows(); ++r) {
        const int row = first_row + r;
        const int y = r * m_line_height;
        for (int c = 0; c < cols; ++c) {
            const int col = first_col + c;
            const TConsoleCell cell = m_model.Cell(col, row);
            QColor fore = cell_colour(cell.color), back = cell_colour(cell.bk_color);
            if (m_model.IsSelected(col, row))
                std::swap(fore, back);
            const QRect box(col * m_char_width - x_offset, y, m_char_width, m_line_height);
            painter.fillRect(box, back);
            if (cell.ch != ' ') {
                painter.setPen(fore);
                painter.drawText(box.left(), y + m_ascent, QString(QChar(cell.ch)));
            }
        }
    }
    const TConsolePoint cursor = m_model.GetCursor();
    if (hasFocus() && cursor.Y >= first_row && cursor.Y < first_row + rows) {
        const QRect bar(cursor.X * m_char_width - x_offset,
                        (cursor.Y - first_row) * m_line_height + m_line_height - 2, m_char_width,
                        2);
        painter.fillRect(bar, cell_colour(m_model.Font().Color));
    }
}

void TColorConsoleView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateExtent();
}

TConsolePoint TColorConsoleView::CellAt(QPoint at) const
{
    const int col = (at.x() + horizontalScrollBar()->value()) / m_char_width;
    const int row = at.y() / m_line_height + verticalScrollBar()->value();
    return {std::clamp(col, 0, m_model.Cols() - 1), std::clamp(row, 0, m_model.Rows() - 1)};
}

void TColorConsoleView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_selecting = true;
    m_anchor = CellAt(event->position().toPoint());
    m_model.ClearSelection();
    viewport()->update();
}

void TColorConsoleView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting)
        return;
    m_model.SetSelection(m_anchor, CellAt(event->position().toPoint()));
    viewport()->update();
}

void TColorConsoleView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_selecting = false;
}

void TColorConsoleView::Copy()
{
    if (!m_model.HasSelection())
        return;
    const std::string text = m_model.SelectedText();
    QGuiApplication::clipboard()->setText(
        QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void TColorConsoleView::keyPressEvent(QKeyEvent *event)
{
    if (onKeyDown)
        onKeyDown(event->key(), event->modifiers());
    const QString text = event->text();
    if (text.size() == 1 && text[0].unicode() < 0x100) {
        auto key = static_cast<uint8_t>(text[0].unicode());
        if (onKeyPress)
            onKeyPress(key);
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}
