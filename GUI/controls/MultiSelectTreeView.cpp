// MultiSelectTreeView: the tree view whose picked nodes carry data.
#include "MultiSelectTreeView.h"

#include <QMouseEvent>
#include <QTreeWidgetItemIterator>

#include "shell/guiHosts.h"

namespace {
constexpr int kDataRole = Qt::UserRole;
} // namespace

TMultiSelectTreeView::TMultiSelectTreeView(QWidget *parent) : QTreeWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHeaderHidden(true);
}

void TMultiSelectTreeView::SetNodeData(QTreeWidgetItem *node, void *data)
{
    node->setData(0, kDataRole, data ? QVariant::fromValue(data) : QVariant());
}

void *TMultiSelectTreeView::NodeData(const QTreeWidgetItem *node)
{
    const QVariant data = node->data(0, kDataRole);
    return data.isValid() ? data.value<void *>() : nullptr;
}

int TMultiSelectTreeView::GetSelCount() const
{
    int count = 0;
    for (QTreeWidgetItemIterator it(const_cast<TMultiSelectTreeView *>(this)); *it; ++it)
        if (NodeData(*it))
            ++count;
    return count;
}

QTreeWidgetItem *TMultiSelectTreeView::Selected() const
{
    QTreeWidgetItem *current = currentItem();
    if (current && current->isSelected())
        return current;
    const QList<QTreeWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

int TMultiSelectTreeView::GetItemLevel0Index() const
{
    QTreeWidgetItem *node = Selected();
    if (!node)
        return 0;
    while (node->parent())
        node = node->parent();
    return indexOfTopLevelItem(node);
}

int TMultiSelectTreeView::GetItemIndex() const
{
    const QTreeWidgetItem *selected = Selected();
    if (!selected)
        return -1;
    int index = 0;
    for (QTreeWidgetItemIterator it(const_cast<TMultiSelectTreeView *>(this)); *it; ++it, ++index)
        if (*it == selected)
            return index;
    return -1;
}

// The right button never reaches the tree (its context menu comes by its own event).
void TMultiSelectTreeView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::RightButton) {
        QTreeWidget::mousePressEvent(event);
        return;
    }
    guarded([&] {
        if (!Selected() && topLevelItemCount() > 0)
            setCurrentItem(topLevelItem(0));
    });
    event->accept();
}
