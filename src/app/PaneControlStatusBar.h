// The main window's status bar: text panes plus hosted controls that follow
// their panes; panes may be inserted and removed at run time.
#pragma once

#include <QStatusBar>
#include <vector>

#include "app/PaneModel.h"

class QLabel;

class CPaneControlStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit CPaneControlStatusBar(QWidget* parent = nullptr);
    ~CPaneControlStatusBar() override;

    // One stretching pane (id 0) to begin with.
    void SetIndicators(const std::vector<std::uint32_t>& ids);

    bool AddIndicator(std::uint32_t id, int position);
    bool RemoveIndicator(std::uint32_t id);
    bool AddPaneControl(QWidget* window, std::uint32_t id, bool autoDestroy);
    bool GetPaneInfoEx(int index, PaneSettings& out) const;
    bool SetPaneInfoEx(int index, const PaneSettings& in);
    void SetPaneWidth(int index, int width);
    void SetPaneText(int index, const QString& text);
    QString PaneText(int index) const;
    int PaneCount() const { return int(m_model.panes.size()); }
    // Lays the panes and their controls out again.
    void RepositionControls();

private:
    QWidget* ControlOf(std::uint32_t id) const;
    CPaneModel m_model;
    std::vector<QLabel*> m_labels;
};
