#include "convert_ui/ui/SortPropertiesDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "model/Globals.h"

CSortPropertiesDlg::CSortPropertiesDlg(int mode, QWidget* parent) : QDialog(parent) {
    setObjectName("2046");
    setWindowTitle("Sort Properties");
    m_asc = new QRadioButton("Ascending", this);
    m_asc->setObjectName("1834");
    m_desc = new QRadioButton("Descending", this);
    m_desc->setObjectName("1835");
    m_case = new QCheckBox("Match case", this);
    m_case->setObjectName("1495");
    m_dups = new QCheckBox("Remove duplicity", this);
    m_dups->setObjectName("1505");
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Ok)->setObjectName("1");
    box->button(QDialogButtonBox::Cancel)->setObjectName("2");
    auto* lay = new QVBoxLayout(this);
    for (QWidget* w : std::initializer_list<QWidget*>{m_asc, m_desc, m_case, m_dups}) lay->addWidget(w);
    lay->addWidget(box);
    // Its few short rows make a narrow window: leave the window frame room to
    // show the whole title beside its buttons.
    setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) * 3 / 2 + 120);

    m_asc->setChecked(g_bSortAscend);
    m_desc->setChecked(!g_bSortAscend);
    m_case->setChecked(g_bSortMatchCase);
    if (mode == 1) {
        // The item sorts keep every item: the next text sort starts without removal too.
        g_bSortRemDuplicity = false;
        m_dups->setEnabled(false);
    }
    m_dups->setChecked(g_bSortRemDuplicity);

    connect(m_asc, &QRadioButton::clicked, this, [] { g_bSortAscend = true; });
    connect(m_desc, &QRadioButton::clicked, this, [] { g_bSortAscend = false; });
    connect(m_case, &QCheckBox::clicked, this, [](bool on) { g_bSortMatchCase = on; });
    connect(m_dups, &QCheckBox::clicked, this, [](bool on) { g_bSortRemDuplicity = on; });
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
}
