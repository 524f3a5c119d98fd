#include "app/PaneControlStatusBar.h"

#include <QLabel>

CPaneControlStatusBar::CPaneControlStatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(true);
}

CPaneControlStatusBar::~CPaneControlStatusBar() {
    for (auto& c : m_model.controls) {
        auto* w = static_cast<QWidget*>(c.window);
        if (!w) continue;
        w->hide();
        if (c.autoDestroy) w->deleteLater();
    }
}

void CPaneControlStatusBar::SetIndicators(const std::vector<std::uint32_t>& ids) {
    m_model.panes.clear();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        PaneSettings p;
        p.id = ids[i];
        p.style = i == 0 ? kPaneStretch : 0;
        m_model.panes.push_back(p);
    }
    RepositionControls();
}

QWidget* CPaneControlStatusBar::ControlOf(std::uint32_t id) const {
    for (const auto& c : m_model.controls)
        if (c.paneId == id) return static_cast<QWidget*>(c.window);
    return nullptr;
}

bool CPaneControlStatusBar::AddIndicator(std::uint32_t id, int position) {
    if (!m_model.AddIndicator(id, position)) return false;
    RepositionControls();
    return true;
}

bool CPaneControlStatusBar::RemoveIndicator(std::uint32_t id) {
    PaneControl removed;
    if (!m_model.RemoveIndicator(id, &removed)) return false;
    if (auto* w = static_cast<QWidget*>(removed.window)) {
        removeWidget(w);
        w->hide();
        if (removed.autoDestroy) w->deleteLater();
    }
    RepositionControls();
    return true;
}

bool CPaneControlStatusBar::AddPaneControl(QWidget* window, std::uint32_t id, bool autoDestroy) {
    if (!m_model.AddPaneControl(window, id, autoDestroy)) return false;
    RepositionControls();
    return true;
}

bool CPaneControlStatusBar::GetPaneInfoEx(int index, PaneSettings& out) const {
    if (!m_model.GetPaneInfoEx(index, out)) return false;
    if (index < int(m_labels.size()) && m_labels[std::size_t(index)])
        out.text = m_labels[std::size_t(index)]->text().toStdString();
    return true;
}

bool CPaneControlStatusBar::SetPaneInfoEx(int index, const PaneSettings& in) {
    if (!m_model.SetPaneInfoEx(index, in)) return false;
    if (QWidget* w = ControlOf(in.id)) w->setEnabled(!(in.style & kPaneDisabled));
    RepositionControls();
    return true;
}

void CPaneControlStatusBar::SetPaneWidth(int index, int width) {
    if (index < 0 || index >= PaneCount()) return;
    m_model.panes[std::size_t(index)].width = width;
    RepositionControls();
}

void CPaneControlStatusBar::SetPaneText(int index, const QString& text) {
    if (index < 0 || index >= PaneCount()) return;
    m_model.panes[std::size_t(index)].text = text.toStdString();
    if (index < int(m_labels.size()) && m_labels[std::size_t(index)])
        m_labels[std::size_t(index)]->setText(text);
}

QString CPaneControlStatusBar::PaneText(int index) const {
    if (index < 0 || index >= int(m_labels.size()) || !m_labels[std::size_t(index)]) return QString();
    return m_labels[std::size_t(index)]->text();
}

void CPaneControlStatusBar::RepositionControls() {
    for (auto* l : m_labels)
        if (l) {
            removeWidget(l);
            l->deleteLater();
        }
    m_labels.clear();
    for (const auto& c : m_model.controls)
        if (auto* w = static_cast<QWidget*>(c.window)) removeWidget(w);
    for (std::size_t i = 0; i < m_model.panes.size(); ++i) {
        const PaneSettings& p = m_model.panes[i];
        const bool stretch = p.style & kPaneStretch;
        if (QWidget* w = ControlOf(p.id)) {
            if (p.width > 0) w->setFixedWidth(p.width);
            addPermanentWidget(w, stretch ? 1 : 0);
            w->show();
            m_labels.push_back(nullptr);
            continue;
        }
        auto* l = new QLabel(QString::fromStdString(p.text), this);
        l->setObjectName(QString("pane%1").arg(p.id));
        if (p.width > 0) l->setMinimumWidth(p.width);
        if (!(p.style & kPaneNoBorders)) l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        addPermanentWidget(l, stretch ? 1 : 0);
        m_labels.push_back(l);
    }
}
