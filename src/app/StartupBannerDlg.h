// The start-up banner: a small borderless window that shows two-line quips in
// random colours near the screen's centre, ten at most, and hides at once on
// any key or mouse button. It runs on timers, so start-up never waits for it.
#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>

#include "app/BannerQuips.h"

class QLabel;

class CStartupBannerDlg : public QDialog {
    Q_OBJECT
public:
    explicit CStartupBannerDlg(QWidget* parent = nullptr);
    ~CStartupBannerDlg() override;

    // Starts the show: ten quips of two lines, each line for stepMs.
    void RunBanner(int stepMs = 2000);
    bool IsClosed() const { return m_closed; }
    int QuipsShown() const { return m_show.Count(); }
    QString CurrentText() const;
    void Close();

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void ShowNextQuip();
    void Tick();
    CBannerShow m_show;
    QLabel* m_text = nullptr;
    QTimer m_timer;
    int m_phase = 0;  // 0 first line shown, 1 second line shown
    int m_shown = 0;
    bool m_closed = false;
    BannerStep m_step{};
    QPoint m_centre;
};
