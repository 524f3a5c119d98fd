#include "remote/ui/SelectHostDlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>

CSelectHostDlg::CSelectHostDlg(int x, int y, int selected, const std::vector<std::string>& entries,
                               int mode, QWidget* parent)
    : QDialog(parent), m_nSelected(selected) {
    setWindowTitle("Select Host");
    auto* layout = new QHBoxLayout(this);
    m_combo = new QComboBox(this);
    m_combo->setObjectName("1535");
    m_combo->setMinimumWidth(240);
    for (const std::string& e : entries) m_combo->addItem(QString::fromStdString(e));
    if (selected >= 0 && selected < m_combo->count()) m_combo->setCurrentIndex(selected);
    auto* ok = new QPushButton(mode == 0 ? "Telnet" : "Browse", this);
    ok->setObjectName("1");
    ok->setDefault(true);
    layout->addWidget(m_combo, 1);
    layout->addWidget(ok);
    connect(m_combo, &QComboBox::currentIndexChanged, this, [this](int i) { m_nSelected = i; });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    move(x, y);
    m_combo->setFocus();
}
