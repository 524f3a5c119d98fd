// The conversion and text commands of the main window: the WorkPad and its Input and Output windows, the library runs, find and replace next, and the text tools.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

class CMainFrame;
class CMacro;
class CInteractiveWorker;
class CInteractiveTextConversionDlg;
class CAttributesDlg;
class CTextConversionRulesDlg;
class CDefinedMacrosDlg;
class CBatchTextConversionDlg;

class CConversionCommands {
public:
    explicit CConversionCommands(CMainFrame& frame);
    ~CConversionCommands();
    CConversionCommands(const CConversionCommands&) = delete;
    CConversionCommands& operator=(const CConversionCommands&) = delete;

    // Gives the frame's commands their handlers.
    void Wire();

    CInteractiveTextConversionDlg& WorkPad() { return *m_workPad; }
    CInteractiveWorker& Worker() { return *m_worker; }
    CAttributesDlg* Attributes() { return m_attributes; }
    CTextConversionRulesDlg* Rules() { return m_rules; }
    CDefinedMacrosDlg* Library() { return m_library; }
    CBatchTextConversionDlg* Batch() { return m_batch; }

    // Runs a modal dialog of these commands (through g_runModalHook when a
    // test installed one).
    static int RunModal(QDialog& dlg);

    // ---- the commands
    void ShowWorkPad();
    void ClearText();
    void ChangeCase(bool upper);
    void TextToLeft();
    void AppendRight();
    void SortText();
    void ClearDuplicates();
    void ClearMultiBreaks();
    void CountFrequencyOfLines();
    void ClearAllTabs();
    void ViewLineBreaksOfActiveWindow();
    void TabulateOrSql(bool sql);
    void ShowLibrary();
    // After a load: the manager's lists and symbol show the loaded libraries.
    void FillLibraryLists();
    // The active library over the Input window text, on the worker.
    void ExecuteLibrary();
    // "Convert files": the batch window of the conversion work mode.
    void ConvertFiles();
    // "Open Text Conversion dialog": with Ctrl held hides the conversion windows.
    void OpenTextConversionDialog(bool hideAll);
    // The WorkPad's "To library": shows the manager; with add, appends the current macro.
    void ExportMacro(bool add);
    // The manager's "Export selected macro to Workpad".
    void MacroToWorkPad(const CMacro& macro);

private:
    void ShowInOutputWindow(const std::string& text);
    void ShowAttributesBeside();

    CMainFrame& m_frame;
    std::unique_ptr<CInteractiveWorker> m_worker;
    CInteractiveTextConversionDlg* m_workPad = nullptr;
    CAttributesDlg* m_attributes = nullptr;
    CTextConversionRulesDlg* m_rules = nullptr;
    CDefinedMacrosDlg* m_library = nullptr;
    CBatchTextConversionDlg* m_batch = nullptr;
    std::function<void(int)> m_previousUsageHandler;
};
