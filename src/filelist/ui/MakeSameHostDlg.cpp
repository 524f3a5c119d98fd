#include "filelist/ui/MakeSameHostDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "filelist/ui/SessionFilesPalettes.h"

CMakeSameHostDlg::CMakeSameHostDlg(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setObjectName("2029");
    setWindowTitle("Make Same Host");
    auto* picture = new QLabel;
    picture->setObjectName("1125");
    picture->setPixmap(DrawPalettePicture(3, 300, 64));
    picture->setAlignment(Qt::AlignCenter);
    auto* cancel = new QPushButton("Cancel");
    cancel->setObjectName("2");
    connect(cancel, &QPushButton::clicked, this, &CMakeSameHostDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    auto* root = new QVBoxLayout(this);
    root->addWidget(picture);
    root->addLayout(buttons);
}

void CMakeSameHostDlg::accept() { reject(); }

void CMakeSameHostDlg::reject() {
    hide();
    if (onCancel) onCancel();
}
