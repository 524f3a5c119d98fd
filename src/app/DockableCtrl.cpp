#include "app/DockableCtrl.h"

#include <QMainWindow>
#include <QResizeEvent>
#include <QSettings>
#include <algorithm>
#include <cstdio>

namespace {
std::vector<CDockableCtrl*>& AllBars() {
    static std::vector<CDockableCtrl*> bars;
    return bars;
}
QSize AtLeastMin(QSize s) {
    return {std::max(s.width(), CDockableCtrl::kMinCx), std::max(s.height(), CDockableCtrl::kMinCy)};
}
}  // namespace

std::string BarSizeSection(const std::string& profile, int id) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "-SCBar-%d", id);
    return profile + buf;
}

CDockableCtrl::CDockableCtrl(QWidget* parent) : QDockWidget(parent) {}

CDockableCtrl::~CDockableCtrl() {
    auto& bars = AllBars();
    bars.erase(std::remove(bars.begin(), bars.end(), this), bars.end());
}

bool CDockableCtrl::Create(const QString& title, QMainWindow* parent, int cx, int cy, bool gripper,
                           int id) {
    setWindowTitle(title);
    setObjectName(QString::number(id));
    if (parent) setParent(parent);
    m_id = id;
    m_gripper = gripper;
    m_szHorz = m_szVert = m_szFloat = QSize(cx, cy);
    setMinimumSize(kMinCx, kMinCy);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                QDockWidget::DockWidgetFloatable);
    AllBars().push_back(this);
    return true;
}

const std::vector<CDockableCtrl*>& CDockableCtrl::Bars() { return AllBars(); }

bool CDockableCtrl::IsHorzDocked() const {
    auto* mw = qobject_cast<QMainWindow*>(parentWidget());
    if (!mw || isFloating()) return false;
    auto a = mw->dockWidgetArea(const_cast<CDockableCtrl*>(this));
    return a == Qt::TopDockWidgetArea || a == Qt::BottomDockWidgetArea;
}

bool CDockableCtrl::IsVertDocked() const {
    auto* mw = qobject_cast<QMainWindow*>(parentWidget());
    if (!mw || isFloating()) return false;
    auto a = mw->dockWidgetArea(const_cast<CDockableCtrl*>(this));
    return a == Qt::LeftDockWidgetArea || a == Qt::RightDockWidgetArea;
}

void CDockableCtrl::SetSizes(QSize horz, QSize vert, QSize flt) {
    m_szHorz = AtLeastMin(horz);
    m_szVert = AtLeastMin(vert);
    m_szFloat = AtLeastMin(flt);
}

QSize CDockableCtrl::sizeHint() const {
    if (isFloating()) return m_szFloat;
    return IsVertDocked() ? m_szVert : m_szHorz;
}

void CDockableCtrl::ApplyStoredSize() {
    auto* mw = qobject_cast<QMainWindow*>(parentWidget());
    if (!mw || isFloating() || !isVisible()) return;
    if (IsVertDocked())
        mw->resizeDocks({this}, {m_szVert.width()}, Qt::Horizontal);
    else if (IsHorzDocked())
        mw->resizeDocks({this}, {m_szHorz.height()}, Qt::Vertical);
}

void CDockableCtrl::resizeEvent(QResizeEvent* e) {
    QDockWidget::resizeEvent(e);
    if (!isVisible() || !m_track) return;
    const QSize s = AtLeastMin(e->size());
    if (isFloating())
        m_szFloat = s;
    else if (IsVertDocked())
        m_szVert = s;
    else if (IsHorzDocked())
        m_szHorz = s;
}

void CDockableCtrl::SaveState(const std::string& profile) {
    QSettings s;
    s.beginGroup(QString::fromStdString(BarSizeSection(profile, m_id)));
    s.setValue("sizeHorzCX", m_szHorz.width());
    s.setValue("sizeHorzCY", m_szHorz.height());
    s.setValue("sizeVertCX", m_szVert.width());
    s.setValue("sizeVertCY", m_szVert.height());
    s.setValue("sizeFloatCX", m_szFloat.width());
    s.setValue("sizeFloatCY", m_szFloat.height());
    s.endGroup();
}

void CDockableCtrl::LoadState(const std::string& profile) {
    QSettings s;
    s.beginGroup(QString::fromStdString(BarSizeSection(profile, m_id)));
    auto read = [&](const char* key, int current, int minimum) {
        return std::max(s.value(key, current).toInt(), minimum);
    };
    m_szHorz = QSize(read("sizeHorzCX", m_szHorz.width(), kMinCx),
                     read("sizeHorzCY", m_szHorz.height(), kMinCy));
    m_szVert = QSize(read("sizeVertCX", m_szVert.width(), kMinCx),
                     read("sizeVertCY", m_szVert.height(), kMinCy));
    m_szFloat = QSize(read("sizeFloatCX", m_szFloat.width(), kMinCx),
                      read("sizeFloatCY", m_szFloat.height(), kMinCy));
    s.endGroup();
}

void CDockableCtrl::GlobalLoadState(const std::string& profile) {
    for (auto* b : AllBars()) b->LoadState(profile);
}

void CDockableCtrl::GlobalSaveState(const std::string& profile) {
    for (auto* b : AllBars()) b->SaveState(profile);
}
