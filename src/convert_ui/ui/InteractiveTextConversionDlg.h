// The WorkPad: the "Interactive Text Conversion" window. Its two large boxes
// are the program's Input and Output windows; its two small boxes edit the
// Find and Replace texts of the current macro. Convert applies the macro to
// the Input text on a worker; Find Next and Replace Next step through the
// matches in the Input window.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class CInteractiveWorker;
class CMacro;
class CProgramData;
class CLineTextBox;

extern bool g_bInteractiveShown;

class CInteractiveTextConversionDlg : public QDialog {
    Q_OBJECT
public:
    CInteractiveTextConversionDlg(CInteractiveWorker& worker, QWidget* parent = nullptr);
    ~CInteractiveTextConversionDlg() override;

    void SetProgramData(CProgramData* data) { m_data = data; }

    CLineTextBox* Input() const { return m_input; }
    CLineTextBox* Output() const { return m_output; }
    QPlainTextEdit* FindBox() const { return m_find; }
    QPlainTextEdit* ReplaceBox() const { return m_replace; }

    // The same as pressing "Convert": refused while a conversion runs.
    bool Convert();
    // "Find Next": selects, shows and colours the next match of the macro.
    bool FindNext();
    // Replaces the selected match and goes on to the next one; without a
    // selected match it finds the next one.
    bool ReplaceNext();
    // Makes a macro the current one and shows its texts and flags.
    void SetCurrentMacro(const CMacro& macro);
    // "x": empties the macro's Find and Replace texts.
    void ClearFind();
    // "Left": the Output text into the Input window when it is not empty.
    void TextToLeft();
    // "WP": the Find text from the selection of the active text window.
    void TakeFindFromSelection();
    // Puts a finished result into the Output window (the box takes the string over).
    void ShowOutputText(std::string&& result);
    // Takes the window's place as the start of the next move.
    void RememberPosition();
    // Shows the window (and its flag).
    void ShowPad();

    // Hooks of the window's other parts.
    std::function<void()> onShowAttributes;   // "WP"
    std::function<void()> onHideAttributes;   // Close
    std::function<void(const CMacro&)> onMacroShown;  // flags to the Attributes dialog
    std::function<void()> onHelp;             // "Help"
    std::function<void(bool)> onTextBuffer;   // "Buffer"
    std::function<void(bool add)> onToLibrary;  // "To library" (add: Ctrl or Shift held)

protected:
    void reject() override;
    void accept() override;
    void moveEvent(QMoveEvent* e) override;

signals:
    void moved(const QPoint& delta);

private:
    void Build();
    void ShowCaret(CLineTextBox* box, QLabel* label);
    void SetBoxText(QPlainTextEdit* box, const std::string& text);

    CInteractiveWorker& m_worker;
    CProgramData* m_data = nullptr;
    CLineTextBox* m_input = nullptr;
    CLineTextBox* m_output = nullptr;
    QPlainTextEdit* m_find = nullptr;
    QPlainTextEdit* m_replace = nullptr;
    QLabel* m_inputCaret = nullptr;
    QLabel* m_outputCaret = nullptr;
    bool m_restartSearch = false;
    bool m_settingText = false;
    QPoint m_lastPos;
    bool m_posKnown = false;
};
