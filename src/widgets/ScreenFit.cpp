#include "widgets/ScreenFit.h"

#include <algorithm>

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMainWindow>
#include <QMargins>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "widgets/DialogPlacement.h"

// The frame a window manager puts around a window: its own once it has been
// shown with one, else that of the window it belongs to or of the main
// window, as the window manager will give it one alike.
QMargins FrameMargins(const QWidget* window) {
    auto margins = [](const QWidget* w) {
        const QRect g = w->geometry(), f = w->frameGeometry();
        return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
    };
    QMargins own = margins(window);
    if (!own.isNull()) return own;
    if (const QWidget* p = window->parentWidget(); p && p->window()->isVisible()) {
        own = margins(p->window());
        if (!own.isNull()) return own;
    }
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w != window && w->isVisible() && qobject_cast<const QMainWindow*>(w)) return margins(w);
    return {};
}

namespace {

bool IsFittedWindow(const QWidget* w) {
    if (!w->isWindow()) return false;
    switch (w->windowType()) {
        case Qt::Window:
        case Qt::Dialog:
        case Qt::Tool:
        case Qt::Sheet: return true;
        default: return false;
    }
}

}  // namespace

void FitOnScreen(QWidget* window, bool move) {
    if (!window || !window->isWindow() || window->isMaximized() || window->isFullScreen()) return;
    QScreen* screen = QGuiApplication::screenAt(window->geometry().center());
    if (!screen) screen = window->screen();
    if (!screen) return;
    const QRect avail = screen->availableGeometry();
    const QMargins m = FrameMargins(window);
    const QSize frame(m.left() + m.right(), m.top() + m.bottom());
    const QSize room = avail.size() - frame;
    if (window->width() > room.width() || window->height() > room.height()) {
        const QSize smaller = window->size().boundedTo(room).expandedTo(window->minimumSize());
        if (smaller != window->size()) window->resize(smaller);
    }
    if (!move) return;
    const QPoint at = window->geometry().topLeft() - QPoint(m.left(), m.top());
    const QSize outer = window->size() + frame;
    const PlacePoint p = KeepOnScreen({at.x(), at.y()}, outer.width(), outer.height(),
                                      {avail.left(), avail.top(), avail.right(), avail.bottom()});
    if (p.x == at.x() && p.y == at.y()) return;
    // A window the window manager has not framed yet is placed by its inside,
    // which the frame then surrounds.
    const bool framed = window->frameGeometry() != window->geometry();
    window->move(framed ? QPoint(p.x, p.y) : QPoint(p.x + m.left(), p.y + m.top()));
}

void PlaceClearOf(QWidget* window, const QWidget* other) {
    if (!window || !other || !window->isWindow()) return;
    const QRect busy = other->frameGeometry();
    if (!window->frameGeometry().intersects(busy)) return;
    QScreen* screen = other->screen();
    if (!screen) return;
    const QRect avail = screen->availableGeometry();
    const QMargins m = FrameMargins(window);
    const QSize outer = window->size() + QSize(m.left() + m.right(), m.top() + m.bottom());
    const auto clampX = [&](int x) { return std::clamp(x, avail.left(), std::max(avail.left(), avail.right() + 1 - outer.width())); };
    const auto clampY = [&](int y) { return std::clamp(y, avail.top(), std::max(avail.top(), avail.bottom() + 1 - outer.height())); };
    // Right of it, left of it, below it, above it: the first place the
    // screen has room for.
    const QPoint places[] = {{busy.right() + 1, clampY(busy.top())},
                             {busy.left() - outer.width(), clampY(busy.top())},
                             {clampX(busy.left()), busy.bottom() + 1},
                             {clampX(busy.left()), busy.top() - outer.height()}};
    for (const QPoint& at : places) {
        const QRect r(at, outer);
        if (avail.contains(r) && !r.intersects(busy)) {
            window->move(at);
            return;
        }
    }
}

CScreenFitter::CScreenFitter(QObject* parent) : QObject(parent) {}

bool CScreenFitter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (IsFittedWindow(w)) {
            // A dialog nobody placed is centred on its parent by its own
            // show event, after this one: only a size too large for the
            // screen is mended before, the place once it has one.
            if (qobject_cast<QDialog*>(w) && !w->testAttribute(Qt::WA_Moved))
                FitOnScreen(w, false);
            else
                FitOnScreen(w);
            // A window manager frames a window only once it is on the
            // screen; the frame may then reach past the edge.
            for (int ms : {0, 300})
                QTimer::singleShot(ms, w, [w] {
                    if (w->isVisible()) FitOnScreen(w);
                });
        }
    }
    return QObject::eventFilter(watched, event);
}
