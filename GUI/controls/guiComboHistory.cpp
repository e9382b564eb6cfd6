// guiComboHistory: combo box histories on Qt's combo box.
#include "guiComboHistory.h"

#include <QComboBox>

#include <optional>
#include <vector>

#include "settings/guiEnvironment.h"

namespace {

void fill(QComboBox *box, const std::vector<std::string> &items, int index)
{
    box->clear();
    for (const std::string &item : items)
        box->addItem(QString::fromLocal8Bit(item.c_str()));
    box->setCurrentIndex(index);
}

} // namespace

void LoadComboHistory(QComboBox *box, const std::string &name)
{
    if (!box)
        return;
    const std::optional<ComboHistory> stored = ReadComboHistory(name);
    if (stored)
        fill(box, stored->items, stored->index);
}

void SaveComboHistory(QComboBox *box, const std::string &name, int maximum)
{
    if (!box)
        return;
    ComboHistory history;
    for (int i = 0; i < box->count(); ++i)
        history.items.push_back(box->itemText(i).toLocal8Bit().toStdString());
    const std::string text = box->currentText().toLocal8Bit().toStdString();
    history.index = PushComboHistory(history.items, text, maximum);
    fill(box, history.items, history.index);
    WriteComboHistory(name, history);
}
