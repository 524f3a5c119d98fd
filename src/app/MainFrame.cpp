#include "app/MainFrame.h"

#include <QCloseEvent>
#include <QLabel>

#include "model/Trace.h"

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setObjectName("MainFrame");
    setWindowTitle("Quorvellian");
    auto* placeholder = new QLabel(this);
    placeholder->setObjectName("ClientArea");
    setCentralWidget(placeholder);
    resize(900, 640);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::closeEvent(QCloseEvent* event) {
    WriteTrace("Closing...");
    event->accept();
}
