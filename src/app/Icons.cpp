#include "app/Icons.h"

#include <QFile>
#include <QHash>

static void InitResources() {
    static bool done = false;
    if (!done) {
        Q_INIT_RESOURCE(quorvellian);
        done = true;
    }
}

QIcon ListIcon(const std::string& set, int index) {
    InitResources();
    static QHash<QString, QIcon> cache;
    const QString path = QString(":/icons/%1/%2.svg").arg(QString::fromStdString(set)).arg(index);
    auto it = cache.find(path);
    if (it != cache.end()) return *it;
    QIcon icon;
    if (QFile::exists(path)) icon = QIcon(path);
    cache.insert(path, icon);
    return icon;
}

QString CommandIconPath(int commandId) { return QString(":/icons/cmd/%1.svg").arg(commandId); }

QIcon CommandIcon(int commandId, const QString&) {
    InitResources();
    const QString path = CommandIconPath(commandId);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}
