// The small controls the library manager and its editors share.
#pragma once

#include <QCheckBox>
#include <QFontDatabase>
#include <QLineEdit>
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

// A check box with its id as object name.
inline QCheckBox* MakeCheck(QWidget* parent, const char* text, const char* id) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(id);
    return c;
}

// The read-only box that shows the wild-card symbol, large and in red on
// pale yellow, as wide as the dialog's layout wants it.
inline QLineEdit* MakeWildSymbolBox(QWidget* parent, int width, const QString& symbol = QString()) {
    auto* box = new QLineEdit(symbol, parent);
    box->setObjectName("1694");
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignCenter);
    QFont big = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    big.setPointSize(14);
    box->setFont(big);
    box->setFixedWidth(width);
    box->setStyleSheet("QLineEdit { background: rgb(255, 255, 200); color: rgb(255, 10, 0); }");
    return box;
}
