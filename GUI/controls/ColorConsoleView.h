// ColorConsoleView: `TColorConsoleView`, the widget that draws a console model (`TColorConsole`)
// in a scroll area: one fixed-width cell per character in its colours, the selection inverted,
// the cursor as a bar under its cell. The mouse selects; a key goes to the owner's handlers
// (`onKeyPress` with the typed byte, `onKeyDown` with the key and its modifiers) and nowhere
// else. With the tracking options the view follows the cursor after each write.
#pragma once

#include <QAbstractScrollArea>

#include <functional>

#include "ColorConsole.h"

class TColorConsoleView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TColorConsoleView(QWidget *parent = nullptr);

    TColorConsole &Model() { return m_model; }
    const TColorConsole &Model() const { return m_model; }

    // Writes through the model, then brings the view up to date.
    void WriteString(const uint8_t *bytes, std::size_t count);
    // After any other change of the model: extent, tracking and a repaint.
    void Refresh();
    // The selected text on the clipboard (Latin-1 bytes as their characters).
    void Copy();
    // The font the cells are drawn in (its colours are the model's).
    void ChangeFontTo(const QFont &font);

    // A typed character (its byte): the handler may set it to 0 to swallow it.
    std::function<void(uint8_t &key)> onKeyPress;
    std::function<void(int key, Qt::KeyboardModifiers modifiers)> onKeyDown;

    // The cell under a point of the viewport.
    TConsolePoint CellAt(QPoint at) const;
    QSize CellSize() const { return {m_char_width, m_line_height}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool focusNextPrevChild(bool) override { return false; }

private:
    void UpdateExtent();
    void Track();

    TColorConsole m_model;
    int m_char_width = 8;
    int m_line_height = 16;
    int m_ascent = 12;
    bool m_selecting = false;
    TConsolePoint m_anchor;
};
