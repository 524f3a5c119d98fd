#include "app/SplitterBar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <algorithm>

SplitterRange ComputeSplitterRange(int clientLow, int clientHigh, int firstMargin, int secondMargin,
                                   const std::vector<int>& firstSideLows,
                                   const std::vector<int>& secondSideHighs) {
    SplitterRange r{clientLow + firstMargin, clientHigh - secondMargin};
    for (int v : firstSideLows) r.low = std::max(r.low, v + firstMargin);
    for (int v : secondSideHighs) r.high = std::min(r.high, v - secondMargin);
    return r;
}

CSplitterBarBase::CSplitterBarBase(bool vertical, QWidget* parent)
    : QFrame(parent), m_vertical(vertical) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setCursor(vertical ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    setFocusPolicy(Qt::ClickFocus);
}

bool CSplitterBarBase::Create(QWidget* parent) {
    if (parent && parent != parentWidget()) setParent(parent);
    setCursor(m_vertical ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    return true;
}

void CSplitterBarBase::SetRange(int firstMargin, int secondMargin) {
    m_firstMargin = firstMargin;
    m_secondMargin = secondMargin;
}

bool CSplitterBarBase::AddFirstControl(QWidget* w) {
    m_first.emplace_back(w);
    return true;
}

bool CSplitterBarBase::AddSecondControl(QWidget* w) {
    m_second.emplace_back(w);
    return true;
}

void CSplitterBarBase::Detach() {
    m_first.clear();
    m_second.clear();
}

SplitterRange CSplitterBarBase::Range() const {
    QWidget* p = parentWidget();
    const QRect client = p ? p->rect() : QRect();
    std::vector<int> lows, highs;
    for (const auto& w : m_first)
        if (w) lows.push_back(m_vertical ? w->geometry().left() : w->geometry().top());
    for (const auto& w : m_second)
        if (w) highs.push_back(m_vertical ? w->geometry().right() : w->geometry().bottom());
    return ComputeSplitterRange(m_vertical ? client.left() : client.top(),
                                m_vertical ? client.right() : client.bottom(), m_firstMargin,
                                m_secondMargin, lows, highs);
}

void CSplitterBarBase::AttachControls() {
    const QRect bar = geometry();
    for (const auto& w : m_first) {
        if (!w) continue;
        QRect g = w->geometry();
        if (m_vertical)
            g.setRight(bar.left() - 4);
        else
            g.setBottom(bar.top() - 4);
        w->setGeometry(g);
    }
    for (const auto& w : m_second) {
        if (!w) continue;
        QRect g = w->geometry();
        if (m_vertical)
            g.setLeft(bar.right() + 3);
        else
            g.setTop(bar.bottom() + 3);
        w->setGeometry(g);
    }
    if (parentWidget()) parentWidget()->update();
}

void CSplitterBarBase::MoveBy(int delta) {
    const SplitterRange r = Range();
    if (!r.Usable() || delta == 0) return;
    const QRect g = geometry();
    const int start = m_vertical ? g.left() : g.top();
    const int length = m_vertical ? g.width() : g.height();
    int target = std::clamp(start + delta, r.low, std::max(r.low, r.high - length + 1));
    delta = target - start;
    if (delta == 0) return;
    move(m_vertical ? QPoint(g.left() + delta, g.top()) : QPoint(g.left(), g.top() + delta));
    AttachControls();
    emit moved(delta, objectName().toInt());
}

void CSplitterBarBase::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || QWidget::mouseGrabber()) return;
    m_range = Range();
    if (!m_range.Usable()) return;
    m_dragging = true;
    m_delta = 0;
    m_pressPos = m_vertical ? int(e->position().x()) : int(e->position().y());
    if (!m_band) m_band = new QRubberBand(QRubberBand::Rectangle, parentWidget());
    m_band->setGeometry(geometry());
    m_band->show();
    grabMouse();
    setFocus();
}

void CSplitterBarBase::mouseMoveEvent(QMouseEvent* e) {
    if (!m_dragging) return;
    const int pos = m_vertical ? int(e->position().x()) : int(e->position().y());
    const QRect g = geometry();
    const int start = m_vertical ? g.left() : g.top();
    const int length = m_vertical ? g.width() : g.height();
    const int target = std::clamp(start + pos - m_pressPos, m_range.low,
                                  std::max(m_range.low, m_range.high - length + 1));
    m_delta = target - start;
    m_band->setGeometry(g.translated(m_vertical ? m_delta : 0, m_vertical ? 0 : m_delta));
}

void CSplitterBarBase::mouseReleaseEvent(QMouseEvent*) {
    if (m_dragging) EndDrag();
}

void CSplitterBarBase::keyPressEvent(QKeyEvent* e) {
    if (m_dragging && e->key() == Qt::Key_Escape) {
        EndDrag();
        return;
    }
    QFrame::keyPressEvent(e);
}

void CSplitterBarBase::EndDrag() {
    m_dragging = false;
    if (m_band) m_band->hide();
    releaseMouse();
    const int d = m_delta;
    m_delta = 0;
    if (d != 0) MoveBy(d);
}
