#include "filelist/ui/SessionFilesPalettes.h"

#include <QHBoxLayout>
#include <algorithm>
#include <cmath>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

void DrawPage(QPainter& p, QRectF r, bool dashed) {
    QPainterPath path;
    const qreal fold = r.width() * 0.3;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    p.setBrush(Qt::white);
    QPen pen(QColor("#505a78"), 1.5);
    if (dashed) pen.setStyle(Qt::DashLine);
    p.setPen(pen);
    p.drawPath(path);
    p.setPen(QPen(QColor("#8a94a8"), 1));
    for (int i = 1; i <= 4; ++i) {
        const qreal y = r.top() + fold + i * (r.height() - fold) / 6;
        p.drawLine(QPointF(r.left() + 4, y), QPointF(r.right() - 4, y));
    }
}

void DrawArrow(QPainter& p, QPointF from, QPointF to, const QColor& color) {
    p.setPen(QPen(color, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const QPointF d = (to - from) / std::max(1.0, std::hypot((to - from).x(), (to - from).y()));
    const QPointF n(-d.y(), d.x());
    p.setBrush(color);
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygonF({to + d * 4, to - d * 8 + n * 6, to - d * 8 - n * 6}));
}

}  // namespace

QPixmap DrawPalettePicture(int kind, int width, int height) {
    QPixmap pm(width, height);
    pm.fill(QColor("#eef2f8"));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal h = height - 12, w = h * 0.75;
    const QRectF left(12, 6, w, h);
    const QRectF right(width - 12 - w, 6, w, h);
    const QPointF a(left.right() + 8, height / 2.0), b(right.left() - 8, height / 2.0);
    if (kind == 1) {  // cut: the page leaves its place
        DrawPage(p, left, true);
        DrawPage(p, right, false);
        DrawArrow(p, a, b, QColor("#c03030"));
    } else if (kind == 2) {  // copy: the page stays and appears again
        DrawPage(p, left, false);
        DrawPage(p, right, false);
        DrawArrow(p, a, b, QColor("#3a9a3a"));
    } else {  // the model's host goes to the waiting pages
        p.setBrush(QColor("#d8dde8"));
        p.setPen(QPen(QColor("#505a78"), 1.5));
        p.drawRoundedRect(left, 3, 3);
        for (int i = 1; i <= 3; ++i) {
            const qreal y = left.top() + i * left.height() / 4;
            p.drawLine(QPointF(left.left() + 4, y), QPointF(left.right() - 4, y));
        }
        DrawPage(p, right, false);
        DrawArrow(p, a, b, QColor("#3a6ad0"));
    }
    return pm;
}

CSessionFilesPalette::CSessionFilesPalette(const char* id, const QString& title, const char* pictureId,
                                           bool cut, QWidget* parent)
    : QDialog(parent, Qt::Tool) {
    setObjectName(id);
    setWindowTitle(title);
    auto* picture = new QLabel;
    picture->setObjectName(pictureId);
    picture->setPixmap(DrawPalettePicture(cut ? 1 : 2, 300, 64));
    picture->setAlignment(Qt::AlignCenter);
    m_paste = new QPushButton("Paste");
    m_paste->setObjectName("1395");
    m_paste->setDefault(true);
    auto* cancel = new QPushButton("Cancel");
    cancel->setObjectName("2");
    cancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_paste);
    buttons->addWidget(cancel);
    auto* root = new QVBoxLayout(this);
    root->addWidget(picture);
    root->addLayout(buttons);
    connect(m_paste, &QPushButton::clicked, this, [this] {
        if (onPaste) onPaste();
    });
    connect(cancel, &QPushButton::clicked, this, &CSessionFilesPalette::reject);
}

void CSessionFilesPalette::accept() {
    // Enter presses the default button, which pastes.
    if (onPaste) onPaste();
}

void CSessionFilesPalette::reject() {
    hide();
    if (onCancel) onCancel();
}

CCopySessionFilesDlg::CCopySessionFilesDlg(QWidget* parent)
    : CSessionFilesPalette("2027", "Copy Session Files", "1152", false, parent) {}

CCutSessionFilesDlg::CCutSessionFilesDlg(QWidget* parent)
    : CSessionFilesPalette("2028", "Cut Session Files", "1153", true, parent) {}
