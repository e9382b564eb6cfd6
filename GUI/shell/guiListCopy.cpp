// guiListCopy: the Copy command of a list window.
#include "guiListCopy.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>

#include "guiHosts.h"

TListCopyActions AddListCopyActions(QWidget *owner, QListWidget *list,
                                    std::function<bool()> can_copy, std::function<void()> copy)
{
    TListCopyActions made;
    made.copy = new QAction(QObject::tr("&Copy"), owner);
    made.copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    made.copy_old_style = new QAction(owner);
    made.copy_old_style->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
    for (QAction *action : {made.copy, made.copy_old_style}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        list->addAction(action);
        QObject::connect(action, &QAction::triggered, owner, [can_copy, copy] {
            guarded([&] {
                if (can_copy())
                    copy();
            });
        });
    }
    made.popup = new QMenu(owner);
    made.popup->addAction(made.copy);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    QAction *item = made.copy;
    QMenu *popup = made.popup;
    QObject::connect(list, &QWidget::customContextMenuRequested, owner,
                     [list, item, popup, can_copy](const QPoint &at) {
                         guarded([&] {
                             item->setEnabled(can_copy());
                             popup->popup(list->viewport()->mapToGlobal(at));
                         });
                     });
    return made;
}
