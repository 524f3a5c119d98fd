#include "widgets/HyperLink.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPalette>
#include <QUrl>

#include "widgets/DialogRules.h"
#include "platform/Prompter.h"

std::function<bool(const QString&)> CHyperLink::s_opener;
std::function<void(int)> CHyperLink::s_usageHandler;

CHyperLink::CHyperLink(QWidget* parent) : QLabel(parent) { Init(); }
CHyperLink::CHyperLink(const QString& text, QWidget* parent) : QLabel(text, parent) { Init(); }

void CHyperLink::Init() {
    if (m_url.isEmpty()) m_url = text();
    if (text().isEmpty()) setText(m_url);
    setCursor(Qt::PointingHandCursor);
    setToolTip(m_url);
    ApplyLook();
    Fit();
}

void CHyperLink::SetURL(const QString& url) {
    m_usage = 0;
    m_url = url;
    if (text().isEmpty()) setText(url);
    setToolTip(url);
    Fit();
}

void CHyperLink::SetColours(const QColor& link, const QColor& visited, const QColor& hover) {
    m_link = link;
    m_visitedColour = visited;
    m_hover = hover.isValid() ? hover : QApplication::palette().color(QPalette::Highlight);
    ApplyLook();
}

void CHyperLink::SetVisited(bool v) {
    m_visited = v;
    ApplyLook();
}

void CHyperLink::SetUnderline(int mode) {
    m_underline = mode;
    ApplyLook();
}

void CHyperLink::SetAutoSize(bool on) {
    m_autoSize = on;
    Fit();
}

void CHyperLink::ApplyLook() {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, m_over ? m_hover : (m_visited ? m_visitedColour : m_link));
    setPalette(p);
    QFont f = font();
    f.setUnderline(m_underline == 1 || (m_underline == -1 && m_over));
    setFont(f);
    update();
}

void CHyperLink::Fit() {
    if (m_autoSize) adjustSize();
}

void CHyperLink::enterEvent(QEnterEvent* e) {
    QLabel::enterEvent(e);
    m_over = true;
    ApplyLook();
}

void CHyperLink::leaveEvent(QEvent* e) {
    QLabel::leaveEvent(e);
    m_over = false;
    ApplyLook();
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) Click();
}

void CHyperLink::Click() {
    if (m_usage == 0) {
        const bool ok = s_opener ? s_opener(m_url) : QDesktopServices::openUrl(QUrl::fromUserInput(m_url));
        if (ok) {
            SetVisited(true);
        } else {
            QApplication::beep();
            // The desktop's opener gives no reason; report "no application associated".
            Prompter().Message(HyperLinkErrorText(31), MsgIcon::Warning);
        }
        return;
    }
    if (m_usage >= 1 && m_usage <= 6) {
        if (s_usageHandler) s_usageHandler(m_usage);
        return;
    }
    Prompter().Message("No usage type set. Code error.", MsgIcon::Stop);
}
