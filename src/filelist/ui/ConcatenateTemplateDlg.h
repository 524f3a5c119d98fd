// "Concatenate Template": the final file's name and the template each file
// is written through, with the four placeholders offered. Both are
// remembered for the rest of the run; the caller joins the files after OK.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "model/FileItem.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

class CConcatenateTemplateDlg : public QDialog {
    Q_OBJECT
public:
    CConcatenateTemplateDlg(const CFileItem& item, QWidget* parent = nullptr);

    std::string m_strFinalName;
    std::string m_strTemplate;

    // The file chooser of "..." (title, start folder); "" when cancelled.
    static std::function<std::string(const std::string& title, const std::string& folder)> s_browseForFile;

public slots:
    void accept() override;

private:
    void ShowPlaceholderHelp(int index);
    void OnEnter();
    void OnReset();
    void OnBrowse();

    CFileItem m_item;
    QComboBox* m_placeholders;   // 1532
    QLabel* m_description;       // 1866
    QPlainTextEdit* m_template;  // 1663
    QLineEdit* m_finalName;      // 1622
};
