// Dialog splitter bars: a bar between two groups of controls that the user
// drags; on release it moves, stretches its neighbours and reports the move
// (distance, its control id) through moved().
#pragma once

#include <QFrame>
#include <QPointer>
#include <vector>

class QRubberBand;

// Drag limits of a vertical bar in parent coordinates: low is raised by each
// first-side control's left + margin, high lowered by each second-side
// control's right - margin. No drag when low >= high.
struct SplitterRange {
    int low;
    int high;
    bool Usable() const { return low < high; }
};
SplitterRange ComputeSplitterRange(int clientLow, int clientHigh, int firstMargin,
                                   int secondMargin, const std::vector<int>& firstSideLows,
                                   const std::vector<int>& secondSideHighs);

class CSplitterBarBase : public QFrame {
    Q_OBJECT
public:
    CSplitterBarBase(bool vertical, QWidget* parent);

    bool Create(QWidget* parent);
    void SetRange(int firstMargin, int secondMargin);
    bool AddFirstControl(QWidget* w);
    bool AddSecondControl(QWidget* w);
    void Detach();
    void AttachControls();
    // Moves the bar by delta as a finished drag would (clamped to the range).
    void MoveBy(int delta);
    SplitterRange Range() const;

signals:
    void moved(int delta, int id);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

    bool m_vertical;
    int m_firstMargin = 0;
    int m_secondMargin = 0;
    std::vector<QPointer<QWidget>> m_first, m_second;

private:
    void EndDrag();
    bool m_dragging = false;
    int m_pressPos = 0;
    int m_delta = 0;
    SplitterRange m_range{0, 0};
    QRubberBand* m_band = nullptr;
};

class CVertSplitterBar : public CSplitterBarBase {
    Q_OBJECT
public:
    explicit CVertSplitterBar(QWidget* parent = nullptr) : CSplitterBarBase(true, parent) {}
    bool Create(QWidget* parent) {
        CSplitterBarBase::Create(parent);
        SetRange(10, 10);
        return true;
    }
    bool AddLeftControl(QWidget* w) { return AddFirstControl(w); }
    bool AddRightControl(QWidget* w) { return AddSecondControl(w); }
};

class CHorzSplitterBar : public CSplitterBarBase {
    Q_OBJECT
public:
    explicit CHorzSplitterBar(QWidget* parent = nullptr) : CSplitterBarBase(false, parent) {}
    bool AddTopControl(QWidget* w) { return AddFirstControl(w); }
    bool AddBottomControl(QWidget* w) { return AddSecondControl(w); }
};
