// The Message Window: the program's log pane, a docking bar holding one text
// box (control 1638). AppendLine may be called from any thread: lines from
// other threads are queued to the GUI thread in call order.
#pragma once

#include <string>

#include "app/DockableCtrl.h"
#include "platform/Prompter.h"

class CTextRichEdit;

class CMessageWindowBar : public CDockableCtrl, public ITraceSink {
    Q_OBJECT
public:
    explicit CMessageWindowBar(QWidget* parent = nullptr);
    ~CMessageWindowBar() override;

    bool Create(const QString& title, QMainWindow* parent, int cx, int cy, bool gripper, int id);

    // Adds the line after a CR LF (none before the first line) and scrolls
    // so that the end shows.
    void AppendLine(const std::string& line) override;
    // The text with CR LF line breaks.
    std::string GetText() const;
    void SetText(const std::string& text);
    void Clear();
    CTextRichEdit* GetRichEdit() const { return m_edit; }

signals:
    void contextMenuAt(QWidget* window, const QPoint& screenPoint);

private:
    void AppendOnGuiThread(const std::string& line);
    CTextRichEdit* m_edit = nullptr;
    bool m_empty = true;
};

// The program-wide Message Window; null until the main frame creates it.
extern CMessageWindowBar* g_wndMessageWindow;
