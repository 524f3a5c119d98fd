#include "widgets/Icons.h"

#include <QFile>
#include <QHash>
#include <QAbstractButton>
#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QWidget>
#include <memory>

static void InitResources() {
    static bool done = false;
    if (!done) {
        Q_INIT_RESOURCE(quorvellian);
        done = true;
    }
}

namespace {

// Stands for the real icon until a picture, a size or a name is asked of it;
// then makes the real icon once (shared by the copies) and hands over to it.
class CDeferredIconEngine : public QIconEngine {
public:
    explicit CDeferredIconEngine(std::function<QIcon()> make)
        : m_state(std::make_shared<State>()) { m_state->make = std::move(make); }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        Real().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Real().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Real().pixmap(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        // The size comes in device pixels; the icon is asked in its own.
        if (scale <= 0) scale = 1.0;
        QPixmap pm = Real().pixmap(size / scale, scale, mode, state);
        return pm;
    }
    void addPixmap(const QPixmap& pixmap, QIcon::Mode mode, QIcon::State state) override {
        Real().addPixmap(pixmap, mode, state);
    }
    void addFile(const QString& fileName, const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        Real().addFile(fileName, size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return Real().availableSizes(mode, state);
    }
    QString iconName() override { return Real().name(); }
    bool isNull() override { return Real().isNull(); }
    QString key() const override { return QStringLiteral("deferred"); }
    QIconEngine* clone() const override {
        // A copy about to be changed gets an icon of its own.
        auto* copy = new CDeferredIconEngine(*this);
        copy->m_state = std::make_shared<State>(*m_state);
        return copy;
    }

private:
    struct State {
        std::function<QIcon()> make;
        QIcon real;
        bool made = false;
    };

    QIcon& Real() {
        if (!m_state->made) {
            m_state->made = true;
            if (m_state->make) m_state->real = m_state->make();
            m_state->make = nullptr;
        }
        return m_state->real;
    }

    std::shared_ptr<State> m_state;
};

}  // namespace

QIcon DeferredIcon(std::function<QIcon()> make) { return QIcon(new CDeferredIconEngine(std::move(make))); }

QIcon StandardIcon(QWidget* widget, QStyle::StandardPixmap which) {
    QPointer<QWidget> owner(widget);
    return DeferredIcon([owner, which] {
        QStyle* style = owner ? owner->style() : QApplication::style();
        return style ? style->standardIcon(which) : QIcon();
    });
}

namespace {

// The application's style with its standard icons deferred and shared: the
// same picture in the same direction is read once.
class CDeferredIconStyle : public QProxyStyle {
public:
    explicit CDeferredIconStyle(const QString& key) : QProxyStyle(key) {}

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option, const QWidget* widget) const override {
        if (option) return QProxyStyle::standardIcon(which, option, widget);
        const bool rtl = widget ? widget->isRightToLeft() : QGuiApplication::isRightToLeft();
        const int key = int(which) * 2 + (rtl ? 1 : 0);
        auto it = m_icons.find(key);
        if (it != m_icons.end()) return *it;
        QPointer<QStyle> base(baseStyle());
        QPointer<const QWidget> owner(widget);
        const QIcon icon = DeferredIcon([base, which, owner] {
            return base ? base->standardIcon(which, nullptr, owner.data()) : QIcon();
        });
        m_icons.insert(key, icon);
        return icon;
    }

private:
    mutable QHash<int, QIcon> m_icons;
};

}  // namespace

void DeferStandardIcons() {
    QStyle* style = QApplication::style();
    if (!style || dynamic_cast<CDeferredIconStyle*>(style)) return;
    // Only a style the factory can make again is wrapped; any other stays as it is.
    if (!QStyleFactory::keys().contains(style->name(), Qt::CaseInsensitive)) return;
    QApplication::setStyle(new CDeferredIconStyle(style->name()));
}

QIcon ListIcon(const std::string& set, int index) {
    InitResources();
    static QHash<QString, QIcon> cache;
    const QString path = QString(":/icons/%1/%2.svg").arg(QString::fromStdString(set)).arg(index);
    auto it = cache.find(path);
    if (it != cache.end()) return *it;
    QIcon icon;
    if (QFile::exists(path)) icon = DeferredIcon([path] { return QIcon(path); });
    cache.insert(path, icon);
    return icon;
}

void ShowButtonPicture(QAbstractButton* button, const std::string& set, int size) {
    if (!button) return;
    const QIcon icon = ListIcon(set, button->objectName().toInt());
    if (icon.isNull()) return;
    const QString name = button->text().replace('\n', ' ').replace("&", "");
    button->setAccessibleName(name);
    if (button->toolTip().isEmpty()) button->setToolTip(name);
    button->setIcon(icon);
    button->setIconSize(QSize(size, size));
    button->setText(QString());
}

QString CommandIconPath(int commandId) { return QString(":/icons/cmd/%1.svg").arg(commandId); }

QIcon CommandIcon(int commandId, const QString&) {
    InitResources();
    const QString path = CommandIconPath(commandId);
    return QFile::exists(path) ? DeferredIcon([path] { return QIcon(path); }) : QIcon();
}
