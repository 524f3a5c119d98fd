// "Drag-and-Drop": the small modeless window shown while files are being
// added by the add-files worker, with its Stop button and the switch that
// keeps the lists still until the run ends.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

class CDragAndDropDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDragAndDropDlg(QWidget* parent = nullptr);

    // A new run: "Please wait..." hidden, the switch enabled and off.
    void ResetForNewRun();
    // Stop (1349): raises the add-files break flag and shows "Please wait...".
    void OnStop();
    // The switch (1521): once on it stays on for the run.
    void OnSuppressScrolling();

    int m_bSuppressScrolling = 0;

private:
    QPushButton* m_stop;      // 1349
    QCheckBox* m_suppress;    // 1521
    QLabel* m_wait;           // 1866
};
