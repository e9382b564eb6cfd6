// QBSpinEdit: `TQBSpinEdit`, the numeric edit box with an up/down button at its right edge that
// the option dialogs use for counts and sizes. The value is never stored: it is always the text
// read as an integer. The rules (range, step, which typed characters are taken) live in a small
// model without Qt, `TSpinEditModel`; the widget is a QLineEdit that asks it.
#pragma once

#include <QLineEdit>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The range, step and typing rules of a spin edit.
struct TSpinEditModel {
    int32_t MinValue = 0;
    int32_t MaxValue = 0; // equal to MinValue: no range
    int32_t Increment = 1;
    bool EditorEnabled = true; // the text may be typed into

    // The value kept inside the range; unchanged when there is no range.
    int32_t CheckValue(int32_t value) const;
    // The value one step up (or down), saturated at the 32-bit limits, then kept in the range.
    int32_t Step(int32_t value, bool up) const;
    // Whether a typed character is taken: "+" and "-" only into an empty or wholly selected
    // text; else digits, Enter, Tab and Backspace. With the editor disabled, only the control
    // characters below 32 other than Backspace.
    bool IsValidChar(char32_t c, bool empty_or_all_selected) const;
};

// Optional blanks, an optional sign, decimal digits, within 32 bits; nothing else.
std::optional<int32_t> spin_edit_integer(std::string_view text);

class QToolButton;

class TQBSpinEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TQBSpinEdit(QWidget *parent = nullptr);

    int32_t MinValue() const { return m_model.MinValue; }
    int32_t MaxValue() const { return m_model.MaxValue; }
    int32_t Increment() const { return m_model.Increment; }
    bool EditorEnabled() const { return m_model.EditorEnabled; }
    void SetMinValue(int32_t value) { m_model.MinValue = value; }
    void SetMaxValue(int32_t value) { m_model.MaxValue = value; }
    void SetIncrement(int32_t value) { m_model.Increment = value; }
    void SetEditorEnabled(bool enabled) { m_model.EditorEnabled = enabled; }
    // Entering by keyboard selects the whole text (on at construction).
    bool AutoSelect() const { return m_auto_select; }
    void SetAutoSelect(bool on) { m_auto_select = on; }
    const TSpinEditModel &Model() const { return m_model; }

    // The text as an integer; a text that is none is replaced by MinValue, which is returned.
    int32_t GetValue();
    // The text becomes the value, kept in the range.
    void SetValue(int32_t value);
    int32_t CheckValue(int32_t value) const { return m_model.CheckValue(value); }
    // The button's clicks and the arrow keys: a read-only control beeps; else one step.
    void UpClick();
    void DownClick();
    bool IsValidChar(char32_t c) const;

    QToolButton *UpButton() const { return m_up; }
    QToolButton *DownButton() const { return m_down; }
    QSize sizeHint() const override;

signals:
    // A refused key, paste or click: the control beeped.
    void beeped();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void Beep();
    void PlaceButton();

    TSpinEditModel m_model;
    bool m_auto_select = true;
    QWidget *m_button = nullptr; // the up/down pair
    QToolButton *m_up = nullptr;
    QToolButton *m_down = nullptr;
};
