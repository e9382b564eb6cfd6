// ColorCombo: `TColorCombo`, a drop-down of the standard colours with a swatch before each name,
// and one custom entry for a colour chosen elsewhere (the colour dialog). The option dialogs
// use it for every colour they edit. Setting the colour from the program tells no one; a choice
// in the list sends `colorChanged`.
#pragma once

#include <QComboBox>

#include "settings/guiKXPreferences.h"

class TColorCombo : public QComboBox {
    Q_OBJECT
public:
    explicit TColorCombo(QWidget *parent = nullptr);
    // The selected colour (0x00BBGGRR).
    TColor SelectedColor() const;
    // Selects the colour's entry, making it the custom entry when it is not a standard one; a
    // colour of -1 (none) selects black. Sends nothing.
    void SetSelectedColor(TColor colour);
    // As the user picking it: selects it and sends colorChanged.
    void ChooseColor(TColor colour);

signals:
    void colorChanged(TColor colour);

private:
    void SetCustom(TColor colour);
    int m_custom_index = -1;
};
