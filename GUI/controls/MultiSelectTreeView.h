// MultiSelectTreeView: `TMultiSelectTreeView`, the tree view of the program's control set in
// which a node counts as picked while its data pointer is set (the caller sets and clears the
// pointers; the tree's own selection is the one current node). It answers how many nodes are
// picked and where the selected node lies, and a right-click with nothing selected selects the
// first node instead of reaching the tree.
#pragma once

#include <QTreeWidget>

class TMultiSelectTreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TMultiSelectTreeView(QWidget *parent = nullptr);

    // A node's data pointer (null: not picked).
    static void SetNodeData(QTreeWidgetItem *node, void *data);
    static void *NodeData(const QTreeWidgetItem *node);

    // The number of nodes, in the whole tree, whose data pointer is set.
    int GetSelCount() const;
    // The position among the top-level nodes of the one under which the selected node lies; 0
    // when nothing is selected or the tree is empty.
    int GetItemLevel0Index() const;
    // The selected node's absolute index (every node counted in tree order, collapsed ones
    // too), or -1 when nothing is selected.
    int GetItemIndex() const;
    // The selected node, or null.
    QTreeWidgetItem *Selected() const;

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
