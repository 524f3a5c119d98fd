#include "app/Icons.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPixmap>

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

QIcon CommandIcon(int commandId, const QString& text) {
    InitResources();
    const QString path = QString(":/icons/cmd/%1.svg").arg(commandId);
    if (QFile::exists(path)) return QIcon(path);
    // A badge with the first letters of the command's name.
    QString name = text.section(". ", 1).trimmed();
    if (name.isEmpty()) name = text;
    QString letters;
    for (const QString& w : name.split(' ', Qt::SkipEmptyParts))
        if (letters.size() < 2 && w[0].isLetterOrNumber()) letters += w[0].toUpper();
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor::fromHsv((commandId * 37) % 360, 120, 200));
    p.setPen(QColor(60, 60, 90));
    p.drawRoundedRect(QRectF(1.5, 1.5, 21, 21), 4, 4);
    QFont f = p.font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 0, 24, 24), Qt::AlignCenter, letters);
    return QIcon(pm);
}
