// ColorCombo: the colour drop-down of the option dialogs.
#include "ColorCombo.h"

#include <QPainter>
#include <QPixmap>
#include <QSignalBlocker>

#include "shell/guiHosts.h"

namespace {

struct NamedColour {
    const char *name;
    TColor colour; // 0x00BBGGRR
};
constexpr NamedColour kStandardColours[] = {
    {"Black", 0x000000}, {"Maroon", 0x000080}, {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000},  {"Purple", 0x800080}, {"Teal", 0x808000},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},   {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},  {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00}, {"White", 0xFFFFFF},
};

QIcon swatch(TColor colour)
{
    QPixmap pixmap(16, 12);
    pixmap.fill(colour_of(colour));
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, 15, 11);
    return QIcon(pixmap);
}

} // namespace

TColorCombo::TColorCombo(QWidget *parent) : QComboBox(parent)
{
    for (const NamedColour &entry : kStandardColours)
        addItem(swatch(entry.colour), QString::fromLatin1(entry.name), entry.colour);
    connect(this, &QComboBox::activated, this,
            [this](int) { emit colorChanged(SelectedColor()); });
}

TColor TColorCombo::SelectedColor() const
{
    const QVariant data = currentData();
    return data.isValid() ? static_cast<TColor>(data.toUInt()) : clBlack;
}

void TColorCombo::SetCustom(TColor colour)
{
    const QString name = QStringLiteral("Custom");
    if (m_custom_index < 0) {
        addItem(swatch(colour), name, colour);
        m_custom_index = count() - 1;
    } else {
        setItemIcon(m_custom_index, swatch(colour));
        setItemData(m_custom_index, colour);
    }
}

void TColorCombo::SetSelectedColor(TColor colour)
{
    if (colour == 0xFFFFFFFFu)
        colour = clBlack;
    const QSignalBlocker quiet(this);
    for (int i = 0; i < count(); ++i) {
        if (i != m_custom_index && itemData(i).toUInt() == colour) {
            setCurrentIndex(i);
            return;
        }
    }
    SetCustom(colour);
    setCurrentIndex(m_custom_index);
}

void TColorCombo::ChooseColor(TColor colour)
{
    SetSelectedColor(colour);
    emit colorChanged(SelectedColor());
}
