// The small icon buttons of the library manager and its editors.
#pragma once

#include <QPushButton>
#include <QStyle>

// A button with a standard icon, or a short text where no icon fits
// (SP_CustomBase), its id as object name and its tip.
inline QPushButton* MakeIconButton(QWidget* parent, const char* id, QStyle::StandardPixmap icon,
                                   const QString& text, const QString& tip) {
    auto* b = new QPushButton(parent);
    b->setObjectName(id);
    if (icon != QStyle::SP_CustomBase) b->setIcon(parent->style()->standardIcon(icon));
    else b->setText(text);
    b->setToolTip(tip);
    b->setFixedWidth(30);
    b->setAutoDefault(false);
    return b;
}
