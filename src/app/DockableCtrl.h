// A resizable docking bar that keeps three sizes (docked horizontally, docked
// vertically, floating) and saves them per bar in the section
// "<profile>-SCBar-<id>" with the keys "sizeHorzCX" ... "sizeFloatCY".
#pragma once

#include <QDockWidget>
#include <QSize>
#include <string>
#include <vector>

class QMainWindow;

// The section name of a bar's sizes.
std::string BarSizeSection(const std::string& profile, int id);

class CDockableCtrl : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int kMinCx = 33;
    static constexpr int kMinCy = 32;

    explicit CDockableCtrl(QWidget* parent = nullptr);
    ~CDockableCtrl() override;

    // Title, frame, first size of all three kinds, gripper, control id.
    bool Create(const QString& title, QMainWindow* parent, int cx, int cy, bool gripper, int id);
    int ControlId() const { return m_id; }

    void LoadState(const std::string& profile);
    void SaveState(const std::string& profile);
    static void GlobalLoadState(const std::string& profile);
    static void GlobalSaveState(const std::string& profile);
    static const std::vector<CDockableCtrl*>& Bars();

    bool IsFloating() const { return isFloating(); }
    bool IsHorzDocked() const;
    bool IsVertDocked() const;

    QSize SizeHorz() const { return m_szHorz; }
    QSize SizeVert() const { return m_szVert; }
    QSize SizeFloat() const { return m_szFloat; }
    void SetSizes(QSize horz, QSize vert, QSize flt);
    // Gives the docked bar its stored size in the frame.
    void ApplyStoredSize();

    QSize sizeHint() const override;
    // Sizes are recorded from resizes only once the frame has given the bar
    // its stored size.
    void SetTrackSizes(bool on) { m_track = on; }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    int m_id = 0;
    bool m_gripper = true;
    bool m_track = false;
    QSize m_szHorz{200, 200};
    QSize m_szVert{200, 200};
    QSize m_szFloat{200, 200};
};
