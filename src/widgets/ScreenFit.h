// Windows stay on the screen: every window and dialog of the program is
// moved, when it is shown, to lie inside its screen's free area (the area
// without panels and docks); one larger than that area is made smaller
// first, as far as its smallest size lets it.
#pragma once

#include <QMargins>
#include <QObject>

class QWidget;

// The frame the window manager puts around the window: its own once it
// shows with one, else that of the window it belongs to or of the main
// window; none where no window has one yet.
QMargins FrameMargins(const QWidget* window);

// Shrinks (within its size limits) and moves a top-level window so that
// its frame lies inside its screen's available area; its left and top
// edges win when it cannot fit. Without move, only shrinks it.
void FitOnScreen(QWidget* window, bool move = true);

// Moves a shown window that overlaps another one to where it lies clear of
// it, whole on the screen: right of it, else left, below or above; where the
// screen has room for none of these, it stays.
void PlaceClearOf(QWidget* window, const QWidget* other);

// Fits every top-level window of the program on the screen as it is shown.
class CScreenFitter : public QObject {
public:
    explicit CScreenFitter(QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
