// The pop-up menus of the compare windows: their entries are the window's
// commands, sent on to whoever runs them.
#pragma once

#include <QAction>
#include <QMenu>
#include <functional>

// An entry for command `id`, enabled as `enabled` says when the menu is
// built; choosing it hands the id to `send` (both belong to `owner`).
inline void AddCommandItem(QMenu* menu, QObject* owner, int id, const char* text,
                           const std::function<bool(int)>& enabled, const std::function<void(int)>& send) {
    QAction* a = menu->addAction(text);
    a->setObjectName(QString::number(id));
    a->setEnabled(enabled && enabled(id));
    QObject::connect(a, &QAction::triggered, owner, [&send, id] {
        if (send) send(id);
    });
}
