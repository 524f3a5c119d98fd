#include "app/StartupBannerDlg.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QRandomGenerator>
#include <QScreen>
#include <QStyle>

CStartupBannerDlg::CStartupBannerDlg(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Tool),
      m_show([] { return int(QRandomGenerator::global()->bounded(0x8000)); }) {
    setObjectName("250");
    auto* h = new QHBoxLayout(this);
    h->setContentsMargins(6, 2, 6, 2);
    m_text = new QLabel(this);
    m_text->setObjectName("1463");
    QFont f("Arial Narrow");
    f.setPointSize(18);
    m_text->setFont(f);
    m_text->setAutoFillBackground(true);
    h->addWidget(m_text);
    resize(560, 40);
    if (QScreen* s = QApplication::primaryScreen()) {
        const QRect r = s->availableGeometry();
        m_centre = QPoint((r.width() - width()) / 2, (r.height() - height()) / 2);
    }
    connect(&m_timer, &QTimer::timeout, this, &CStartupBannerDlg::Tick);
}

CStartupBannerDlg::~CStartupBannerDlg() { qApp->removeEventFilter(this); }

void CStartupBannerDlg::RunBanner(int stepMs) {
    qApp->installEventFilter(this);
    m_closed = false;
    show();
    ShowNextQuip();
    m_timer.start(stepMs);
}

QString CStartupBannerDlg::CurrentText() const { return m_text->text(); }

void CStartupBannerDlg::Close() {
    m_closed = true;
    m_timer.stop();
    qApp->removeEventFilter(this);
    hide();
}

bool CStartupBannerDlg::eventFilter(QObject* o, QEvent* e) {
    if (!m_closed && (e->type() == QEvent::KeyPress || e->type() == QEvent::MouseButtonPress))
        Close();
    return QDialog::eventFilter(o, e);
}

void CStartupBannerDlg::ShowNextQuip() {
    m_step = m_show.Next();
    ++m_shown;
    m_phase = 0;
    move(m_centre + QPoint(m_step.dx, m_step.dy));
    const QColor dark(m_step.dark[0], m_step.dark[1], m_step.dark[2]);
    const QColor light(m_step.light[0], m_step.light[1], m_step.light[2]);
    QPalette p = m_text->palette();
    p.setColor(QPalette::Window, m_step.darkText ? light : dark);
    p.setColor(QPalette::WindowText, m_step.darkText ? dark : light);
    m_text->setPalette(p);
    m_text->setText(QString::fromUtf8(g_Quips[m_step.quip].first));
}

void CStartupBannerDlg::Tick() {
    if (m_closed) return;
    if (m_phase == 0) {
        m_text->setText(QString::fromUtf8(g_Quips[m_step.quip].second));
        m_phase = 1;
        return;
    }
    if (m_shown >= 10) {
        m_timer.stop();
        qApp->removeEventFilter(this);
        hide();
        return;
    }
    ShowNextQuip();
}
