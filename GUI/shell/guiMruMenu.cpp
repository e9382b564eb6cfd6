// guiMruMenu: the numbered recently-used items of the File menu.
#include "guiMruMenu.h"

#include <QAction>
#include <QMenu>

#include "guiHosts.h"
#include "settings/guiMru.h"

int MruSeparatorIndexOf(const QMenu *menu)
{
    const QList<QAction *> items = menu->actions();
    for (int i = static_cast<int>(items.size()) - 1; i >= 0; --i)
        if (items[i]->isSeparator())
            return i;
    return -1;
}

void MruBuildMenu(QMenu *menu, int separator_index, const std::vector<std::string> &paths,
                  const std::function<void(const std::string &path)> &open)
{
    // The items go later: the one being chosen may be the caller's sender.
    QList<QAction *> items = menu->actions();
    for (int i = static_cast<int>(items.size()) - 1; i > separator_index; --i) {
        menu->removeAction(items[i]);
        items[i]->deleteLater();
    }
    int n = 0;
    for (const std::string &path : paths) {
        if (++n > kMruMenuItems)
            break;
        QAction *item = menu->addAction(QString::fromLocal8Bit(MruMenuCaption(n, path).c_str()));
        QObject::connect(item, &QAction::triggered, menu, [open, path] {
            guarded([&] { open(path); });
        });
    }
}
