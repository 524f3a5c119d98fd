// The editor of one macro: its Find and Replace texts and its seven
// attribute flags, in new-macro, one-macro and flags-only modes.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class CMacro;

class CDefineMacroDlg : public QDialog {
public:
    // A new macro: empty texts, Match case on, every other flag off.
    CDefineMacroDlg(const std::string& wildSymbol, bool editTexts, QWidget* parent = nullptr);
    // Texts and flags from macro; with editTexts false the boxes stay empty and read-only.
    CDefineMacroDlg(const std::string& wildSymbol, const CMacro& macro, bool editTexts,
                    QWidget* parent = nullptr);

    // The edited texts and flags, valid after Accepted.
    std::string m_strFind;
    std::string m_strReplace;
    int m_bMatchCase = 1, m_bFindWild = 0, m_bRepWild = 0, m_bPerLine = 0, m_bCompConst = 0,
        m_bSubFilter = 0, m_bDelimParse = 0;
    // The flags as a macro (IsActive 1), texts included.
    CMacro Result() const;

    void accept() override;

private:
    void Build();
    void OnFindWild();
    void RefreshWildControls();

    std::string m_strWildSymbol;
    bool m_bEditTexts = true;
    QPlainTextEdit* m_find = nullptr;
    QPlainTextEdit* m_replace = nullptr;
    QLineEdit* m_symbol = nullptr;
    QCheckBox *m_checkMatch = nullptr, *m_checkFindWild = nullptr, *m_checkRepWild = nullptr,
              *m_checkPerLine = nullptr, *m_checkComp = nullptr, *m_checkFilter = nullptr,
              *m_checkDelim = nullptr;
};
