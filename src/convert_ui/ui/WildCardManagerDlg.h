// The editor of the current library's wild-card symbol and type-cards. List
// operations change the live library at once; OK stores the symbol and the
// shown type-card.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QTreeWidget;
class CProgramData;
class CWildTypeManager;

class CWildCardManagerDlg : public QDialog {
public:
    explicit CWildCardManagerDlg(CProgramData* data, QWidget* parent = nullptr);

    QTreeWidget* List() const { return m_list; }

    void RefreshTypeCards();
    void ShowTypeCard(int r);
    void OnAdd();
    bool ModifySelectedItem();
    void OnDelete();
    void OnMove(int step);
    void OnSkipItem();
    void OnLoad();
    void OnRestoreDefault();
    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    // The store of the current library, looked up afresh on every use.
    CWildTypeManager& Store();
    std::vector<int> SelectedRows() const;
    void SetRow(int r);
    bool ShowRefusal(const std::string& message, int focus);

    CProgramData* m_data;
    QLineEdit* m_symbol = nullptr;
    QLineEdit* m_name = nullptr;
    QPlainTextEdit* m_primary = nullptr;
    QLineEdit* m_aux = nullptr;
    QLineEdit* m_comment = nullptr;
    QCheckBox* m_skip = nullptr;
    QTreeWidget* m_list = nullptr;
};
