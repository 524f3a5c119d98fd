// The small controls the library manager and its editors share.
#pragma once

#include <QCheckBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include "widgets/Icons.h"

// A button with a standard icon, or a short text where no icon fits
// (SP_CustomBase), its id as object name and its tip.
inline QPushButton* MakeIconButton(QWidget* parent, const char* id, QStyle::StandardPixmap icon,
                                   const QString& text, const QString& tip) {
    auto* b = new QPushButton(parent);
    b->setObjectName(id);
    if (icon != QStyle::SP_CustomBase) b->setIcon(StandardIcon(parent, icon));
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

// The column of picture buttons beside an item list: move up, move down,
// add, modify and delete, stacked at the top.
struct ListEditButtons {
    QPushButton* up;
    QPushButton* down;
    QPushButton* add;
    QPushButton* modify;
    QPushButton* del;
    QVBoxLayout* column;
};

inline ListEditButtons MakeListEditButtons(QWidget* parent) {
    ListEditButtons b;
    b.up = MakeIconButton(parent, "1326", QStyle::SP_ArrowUp, "", "Move up");
    b.down = MakeIconButton(parent, "1324", QStyle::SP_ArrowDown, "", "Move down");
    b.add = MakeIconButton(parent, "1315", QStyle::SP_CustomBase, "Add", "Add");
    b.modify = MakeIconButton(parent, "1746", QStyle::SP_CustomBase, "Modify", "Modify");
    b.del = MakeIconButton(parent, "1556", QStyle::SP_CustomBase, "Delete", "Delete");
    // Their pictures in place of the captions, which stay their names.
    for (QPushButton* picture : {b.add, b.modify, b.del}) ShowButtonPicture(picture, "listedit", 16);
    b.up->setAccessibleName(b.up->toolTip());
    b.down->setAccessibleName(b.down->toolTip());
    b.column = new QVBoxLayout;
    for (QPushButton* button : {b.up, b.down, b.add, b.modify, b.del}) b.column->addWidget(button);
    b.column->addStretch(1);
    return b;
}

// A flat three-column item list in which several rows can be selected.
inline QTreeWidget* MakeItemList(QWidget* parent, const char* id, const QStringList& headers, int width0,
                                 int width1, int minWidth) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(id);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setHeaderLabels(headers);
    list->setColumnWidth(0, width0);
    list->setColumnWidth(1, width1);
    list->setMinimumWidth(minWidth);
    return list;
}
