// "Make Same Host": stays on screen while the program waits for a click on
// the item whose remote host, user and folder the chosen items take over.
// Its only button ends the wait.
#pragma once

#include <QDialog>
#include <functional>

class CMakeSameHostDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMakeSameHostDlg(QWidget* parent = nullptr);
    std::function<void()> onCancel;

public slots:
    // Enter, Esc, Cancel and the close box all end the wait.
    void accept() override;
    void reject() override;
};
