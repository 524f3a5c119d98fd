// The conversion library manager "Text Conversion Library": the libraries
// on the left, the macros of the active library on the right. Every edit acts
// on the live program data at once.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;
class QTreeWidget;
class CMacro;
class CProgramData;
class CLibraryList;

extern bool g_bDefinedMacrosShown;

class CDefinedMacrosDlg : public QDialog {
public:
    explicit CDefinedMacrosDlg(QWidget* parent = nullptr);

    void SetProgramData(CProgramData* data) { m_data = data; }

    // Called by the window after the first load, and by the commands.
    void ShowManager();
    void ShowWildCardSymbol();
    void FillMacroList();
    void RefillLibraryList();
    void AppendMacro(const CMacro& macro);
    std::string GetSelectedLibraryName() const;

    // Hooks of the window: the Attributes dialog refreshes its symbol; a
    // macro goes to the WorkPad.
    std::function<void()> onWildSymbolChanged;
    std::function<void(const CMacro&)> onToFindRep;
    // The Output window's text, and the library run over the Input window.
    std::function<std::string()> outputWindowText;
    std::function<void()> onExecuteLibrary;

    // ---- library exchange and run
    void OnImportLibrary();
    void OnExportLibrary();
    void NewLibraryFromOutput();
    void MakeLibraryFromOutput();
    void ExecuteLibrary();

    QTreeWidget* LibraryList() const { return m_libs; }
    QTreeWidget* MacroList() const { return m_macros; }

    // ---- library operations
    void OnClickLibraryList();
    void OnAddLibrary();
    void OnRenameLibrary();
    void OnDeleteLibrary();
    void OnMoveLibrary(int step);
    void OnImportMacros();
    void OnDelimiters();
    void OnWildCardManager();
    // ---- macro operations
    void OnAddMacro();
    void OnModifyMacro();
    void OnModifyMultipleMacros();
    void OnDuplicateMacro();
    void OnDeleteMacro();
    void OnMoveMacros(int step);
    void OnActivate(bool active);
    void OnHeaderItemClick(int column);
    void OnToFindRep();

    void accept() override;
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CLibraryList& Libs();
    // The macros of the active library, looked up on every use; null without one.
    std::vector<CMacro>* Macros();
    std::string CurrentSymbol();
    void SetActiveLibrary(int i);
    void InsertMacroRow(int row, const CMacro& m);
    void UpdateMacroRow(int row, const CMacro& m, bool deselect);
    std::vector<int> SelectedMacros() const;
    std::vector<int> SelectedLibraries() const;
    void SelectLibraryRow(int row);
    void ShowNewLibrary(int pos, const std::string& name);
    void RefreshSymbols();
    bool EnsureLibraryListed();

    CProgramData* m_data = nullptr;
    QTreeWidget* m_libs = nullptr;
    QTreeWidget* m_macros = nullptr;
    QLineEdit* m_symbol = nullptr;
    bool m_columnsSized = false;
};
