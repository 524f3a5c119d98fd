// "Attributes": the flags of the current macro beside the WorkPad, the
// wild-card symbol of the current library, and the "Knobs..." link to the
// "Knobs for Find and Replace" dialog, whose links open the rules viewer.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class CHyperLink;
class CMacro;
class CProgramData;

extern bool g_bAttributesShown;

class CAttributesDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAttributesDlg(QWidget* parent = nullptr);

    void SetProgramData(CProgramData* data) { m_data = data; }
    // Shows the seven flags of a macro (IsActive is not shown).
    void SetMacroAttributes(const CMacro& macro);
    // The checks and pictures again from the dialog's flags.
    void RefreshControls();
    // Right edge against the left edge of the window, tops level, size kept.
    void MoveBesideWindow(const QWidget& window);
    // The current library's wild-card symbol (a default library is added
    // when there is none).
    void ShowWildCardSymbol();
    void ShowAttributes();

    QCheckBox* Check(int id) const;
    CHyperLink* KnobsLink() const { return m_knobs; }
    QLineEdit* SymbolBox() const { return m_symbol; }

protected:
    void reject() override;

private:
    void OnFindWild(bool on);
    void SetPicturePair(int k, bool on);
    void RefreshChecks();

    CProgramData* m_data = nullptr;
    // The dialog's flags, in the macro's meaning.
    bool m_matchCase = true, m_findWild = false, m_repWild = false;
    bool m_perLine = false, m_compConst = false, m_subFilter = false, m_delimParse = false;
    QCheckBox* m_checkMatch = nullptr;
    QCheckBox* m_checkFindWild = nullptr;
    QCheckBox* m_checkRepWild = nullptr;
    QCheckBox* m_checkPerLine = nullptr;
    QCheckBox* m_checkComp = nullptr;
    QCheckBox* m_checkFilter = nullptr;
    QCheckBox* m_checkDelim = nullptr;
    QPushButton* m_delimiters = nullptr;
    QPushButton* m_wildManager = nullptr;
    QLabel* m_delimLabel = nullptr;
    QLineEdit* m_symbol = nullptr;
    CHyperLink* m_knobs = nullptr;
    QLabel* m_pictures[8] = {};
};

class CKnobsForFindAndReplaceDlg : public QDialog {
    Q_OBJECT
public:
    explicit CKnobsForFindAndReplaceDlg(QWidget* parent = nullptr);
};

// The picture of a knob (0 Per-line search, 1 Compact construct, 2 Filter
// processed text, 3 Delimiter parse), on or off.
QPixmap KnobPicture(int knob, bool on);
