#include "filelist/ui/SelectByIconDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "widgets/Icons.h"
#include "filelist/SelectByIcon.h"
#include "platform/Prompter.h"

namespace {
QToolButton* IconButton(const QIcon& icon, const QString& text, int id) {
    auto* b = new QToolButton;
    b->setObjectName(QString::number(id));
    if (icon.isNull()) b->setText(text);
    else b->setIcon(icon);
    b->setToolTip(QString());
    b->setIconSize(QSize(16, 16));
    b->setFixedSize(26, 26);
    b->setAutoRaise(false);
    return b;
}
}  // namespace

CSelectByIconDlg::CSelectByIconDlg(int x, int y, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName("2036");
    setWindowTitle("Select by Icon");
    auto* root = new QVBoxLayout(this);

    root->addWidget(new QLabel("Mark by Icon:"));
    auto* markRow = new QGridLayout;
    for (int k = 1; k <= 8; ++k) {
        QToolButton* b = IconButton(ListIcon("file", k), QString::number(k), 1766 + 2 * (k - 1));
        connect(b, &QToolButton::clicked, this, [this, k] { OnMarkOrSelectIcon(true, k); });
        markRow->addWidget(b, 0, k - 1);
    }
    root->addLayout(markRow);
    auto* clear = new QPushButton("Clear Icon");
    clear->setObjectName("1342");
    clear->setAutoDefault(false);
    connect(clear, &QPushButton::clicked, this, [this] { OnMarkOrSelectIcon(m_bMark, kIconClear); });
    root->addWidget(clear, 0, Qt::AlignLeft);

    root->addWidget(new QLabel("Select by Icon:"));
    auto* selRow = new QGridLayout;
    for (int k = 1; k <= 8; ++k) {
        QToolButton* b = IconButton(ListIcon("file", k), QString::number(k), 1767 + 2 * (k - 1));
        connect(b, &QToolButton::clicked, this, [this, k] { OnMarkOrSelectIcon(false, k); });
        selRow->addWidget(b, 0, k - 1);
    }
    struct Extra {
        int id;
        const char* text;
        int picture;
        int code;
    };
    const Extra extras[] = {{1782, "*", 24, kIconModified},
                            {1785, "m", 26, kIconMissing},
                            {1784, "l", 9, kIconLocalNew},
                            {1786, "n", 10, kIconRemoteNew}};
    int col = 0;
    for (const Extra& e : extras) {
        QToolButton* b = IconButton(ListIcon("file", e.picture), e.text, e.id);
        const int code = e.code;
        connect(b, &QToolButton::clicked, this, [this, code] { OnMarkOrSelectIcon(false, code); });
        selRow->addWidget(b, 1, col++);
    }
    root->addLayout(selRow);

    root->addWidget(new QLabel("Select by file name:"));
    auto* nameRow = new QHBoxLayout;
    m_name = new QLineEdit;
    m_name->setObjectName("1614");
    auto* select = new QPushButton("Select");
    select->setObjectName("1783");
    select->setDefault(true);
    nameRow->addWidget(m_name, 1);
    nameRow->addWidget(select);
    root->addLayout(nameRow);
    auto* close = new QPushButton("Close");
    close->setObjectName("2");
    close->setAutoDefault(false);
    root->addWidget(close, 0, Qt::AlignRight);

    connect(m_name, &QLineEdit::textChanged, this, [this](const QString& t) { m_strName = t.toUtf8().toStdString(); });
    connect(select, &QPushButton::clicked, this, &CSelectByIconDlg::OnSelect);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    adjustSize();
    move(x, y);
}

void CSelectByIconDlg::OnMarkOrSelectIcon(bool mark, int code) {
    m_bMark = mark;
    m_nIconCode = code;
    accept();
}

void CSelectByIconDlg::OnSelect() {
    if (m_strName.empty()) {
        Prompter().Message("Empty extension. Enter an extension.", MsgIcon::Warning);
        m_name->setFocus();
        return;
    }
    m_bMark = false;
    m_nIconCode = kIconByName;
    accept();
}
