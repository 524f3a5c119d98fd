// A clickable link label: link colours, underline while hovered, a hand
// cursor and its address as tooltip. A click opens the address (usage 0) or,
// by usage type, a help topic (1-4), the knobs dialog (5) or the program
// options (6) through the handler the owning parts install.
#pragma once

#include <QColor>
#include <QLabel>
#include <functional>

class CHyperLink : public QLabel {
    Q_OBJECT
public:
    explicit CHyperLink(QWidget* parent = nullptr);
    CHyperLink(const QString& text, QWidget* parent = nullptr);

    void SetURL(const QString& url);
    QString GetURL() const { return m_url; }
    void SetUsageType(int n) { m_usage = n; }
    int GetUsageType() const { return m_usage; }
    // A hover colour that is not valid means the system highlight colour.
    void SetColours(const QColor& link, const QColor& visited, const QColor& hover = QColor());
    QColor GetLinkColour() const { return m_link; }
    QColor GetVisitedColour() const { return m_visitedColour; }
    QColor GetHoverColour() const { return m_hover; }
    void SetVisited(bool v);
    bool GetVisited() const { return m_visited; }
    // 1 always underlined, 0 never, -1 while hovered.
    void SetUnderline(int mode);
    int GetUnderline() const { return m_underline; }
    void SetAutoSize(bool on);
    bool GetAutoSize() const { return m_autoSize; }
    bool IsOver() const { return m_over; }

    // Runs the click as the user would.
    void Click();

    // Opens an address; tests replace it. True on success.
    static std::function<bool(const QString&)> s_opener;
    // Usage types 1-6; installed by the parts that own those dialogs.
    static std::function<void(int)> s_usageHandler;

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void Init();
    void ApplyLook();
    void Fit();
    QString m_url;
    QColor m_link{0, 0, 238};
    QColor m_visitedColour{85, 26, 139};
    QColor m_hover{255, 0, 0};
    bool m_over = false;
    bool m_visited = false;
    int m_underline = -1;
    bool m_autoSize = true;
    int m_usage = 0;
};
