#include "filelist/ui/DragAndDropDlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/Icons.h"
#include "filelist/AddFileItems.h"
#include "model/Globals.h"

CDragAndDropDlg::CDragAndDropDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("1996");
    setWindowTitle("Drag-and-Drop");
    setModal(false);
    setWindowIcon(CommandIcon(32556, "BL"));
    m_stop = new QPushButton;
    m_stop->setObjectName("1349");
    m_stop->setIcon(CommandIcon(32620, "Stop"));
    m_stop->setIconSize(QSize(16, 16));
    m_stop->setToolTip("Stop");
    m_stop->setAutoDefault(false);
    m_suppress = new QCheckBox(
        "Suppress Scrolling file-list.\nHelps performance when working with large number of files.\n"
        "(Click on Basket to refresh after the process.)");
    m_suppress->setObjectName("1521");
    m_wait = new QLabel("Please wait...");
    m_wait->setObjectName("1866");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_stop, 0, Qt::AlignLeft);
    layout->addWidget(m_suppress);
    layout->addWidget(m_wait);
    m_wait->hide();
    connect(m_stop, &QPushButton::clicked, this, &CDragAndDropDlg::OnStop);
    connect(m_suppress, &QCheckBox::clicked, this, &CDragAndDropDlg::OnSuppressScrolling);
}

void CDragAndDropDlg::ResetForNewRun() {
    m_wait->hide();
    m_bSuppressScrolling = 0;
    g_bSuppressListScrolling = false;
    m_suppress->setEnabled(true);
    m_suppress->setChecked(false);
}

void CDragAndDropDlg::OnStop() {
    g_bAddFilesBreak = true;
    m_wait->show();
}

void CDragAndDropDlg::OnSuppressScrolling() {
    m_bSuppressScrolling = !m_bSuppressScrolling;
    m_suppress->setChecked(m_bSuppressScrolling);
    g_bSuppressListScrolling = m_bSuppressScrolling != 0;
    if (m_bSuppressScrolling) m_suppress->setEnabled(false);
}
