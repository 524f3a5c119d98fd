// The "Diff Two Lines" / "Find Text" dialog and the "Icon Descriptions"
// legend of the diff windows.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class CDiffTwoLinesDlg : public QDialog {
    Q_OBJECT
public:
    CDiffTwoLinesDlg(const std::string& firstLine, const std::string& secondLine, const std::string& status,
                     const std::string& firstLabel, const std::string& secondLabel, bool findMode,
                     QWidget* parent = nullptr);

    // Whether the "Master palette" target can be chosen (a palette exists).
    void SetPaletteAvailable(bool available);

    // After OK: the selected text of the first box, or all of it.
    std::string ResultText() const { return m_result; }
    const std::string& FirstText() const { return m_first; }
    const std::string& SecondText() const { return m_second; }
    const std::string& Status() const { return m_status; }
    const std::string& MarkerLine() const { return m_markers; }

    void accept() override;

private:
    void CompareLines();

    std::string m_first, m_second, m_status, m_markers, m_result;
    bool m_findMode;
    QPlainTextEdit* m_edit1;
    QPlainTextEdit* m_edit2;
    QLabel* m_statusLabel;
    QLabel* m_markerLabel;
    QCheckBox* m_partial;
    QRadioButton* m_here;
    QRadioButton* m_palette;
    QPushButton* m_ok;
};

class CIconDescriptionsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CIconDescriptionsDlg(QWidget* parent = nullptr);
};
