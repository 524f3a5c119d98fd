// The "Batch Text Conversion" window: input files with their output names,
// convert at once or build Find-Rep instances, inspect them and commit; and
// its two companions, the "Find and Replace Preview" and "Output Filenames"
// windows.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "convert_ui/BatchRows.h"

class QCheckBox;
class QLabel;
class QMenu;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTableView;
class QTimer;
class QTreeWidget;
class CFileItem;
class CProgramData;

extern bool g_bBatchShown;
extern bool g_bOutputFilenamesShown;
extern bool g_bFindReplacePreviewShown;

// The instances of one row, read from the live rows on every request.
class CInstanceModel : public QAbstractTableModel {
public:
    explicit CInstanceModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void SetSource(CLibraryList* libs) { m_libs = libs; }
    void ShowRow(int row);
    void RefreshInstance(int j);
    int Row() const { return m_row; }
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& = {}) const override { return 4; }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    const CFindRepPreview* Rec() const;
    CLibraryList* m_libs = nullptr;
    int m_row = -1;
};

class CFindAndReplacePreviewDlg : public QDialog {
public:
    explicit CFindAndReplacePreviewDlg(QWidget* parent = nullptr);
    void ShowTexts(const std::string& found, const std::string& replacement);
    std::string Replacement() const;
    QPlainTextEdit* Upper() const { return m_upper; }
    QPlainTextEdit* Lower() const { return m_lower; }
    void ShowWindow();
    void accept() override;
    void reject() override;

private:
    QPlainTextEdit* m_upper;
    QPlainTextEdit* m_lower;
};

class CBatchTextConversionDlg;

class COutputFilenamesDlg : public QDialog {
public:
    COutputFilenamesDlg(CBatchTextConversionDlg& batch, QWidget* parent = nullptr);
    void ShowGroup(int group);  // 1 Batch Naming, 2 Customize, 3 Redirect
    void ShowWindow();
    NamingFlags Flags() const;
    void reject() override;

    std::string m_strPrefix = "_", m_strSuffix, m_strLocation, m_strExt;
    bool m_bEnumPrefix = true, m_bEnumSuffix = false, m_bPreserveExt = true;
    int m_nBaseNaming = 0;

private:
    void OnApplyRedirect();
    CBatchTextConversionDlg& m_batch;
    QGroupBox* m_group;
    QLabel* m_description;
    QCheckBox *m_same, *m_fromOutput, *m_enumPrefix, *m_enumSuffix, *m_preserve;
    QLineEdit *m_prefix, *m_suffix, *m_ext, *m_location;
    std::vector<QWidget*> m_groups[4];
};

class CBatchTextConversionDlg : public QDialog {
public:
    explicit CBatchTextConversionDlg(QWidget* parent = nullptr);
    ~CBatchTextConversionDlg() override;

    void SetProgramData(CProgramData* data);
    CFindAndReplacePreviewDlg& Preview() { return *m_preview; }
    COutputFilenamesDlg& OutputFilenames() { return *m_outputNames; }
    CBatchRunner& Runner() { return *m_runner; }
    QTreeWidget* InputList() const { return m_inputs; }
    QTableView* InstanceList() const { return m_instances; }
    CInstanceModel& Instances() { return *m_model; }
    QCheckBox* SourceAccessTable() const { return m_sourceTable; }

    // Hooks of the window: the items of the file list, the library manager,
    // the selected library's name and the source of an instance.
    std::function<std::vector<CFileItem>()> selectedFileItems;
    std::function<std::vector<CFileItem>()> basketFileItems;
    std::function<void()> onShowLibrary;
    std::function<std::string()> selectedLibraryName;
    std::function<std::string()> outputWindowText;
    std::function<void(const std::string& source, int line, int start, int end)> onJumpToSource;
    // The input list's pop-up menu sends its commands to the main window.
    std::function<void(int command)> onCommand;

    void ShowWindow();
    void SetPreviewLayout(bool preview);
    bool IsPreview() const { return m_bPreview; }

    void LoadSelectedFileItems();
    void OnDelInput();
    void OnDelOutput();
    void SpecifyOutputName();
    void SelectAllInputFiles();
    void OpenInputInEditor();
    bool HasSelectedInputs();
    void SetOutputNames(int scheme, const std::string& text);
    void ApplyCustomNaming(int base, const std::string& prefix, const std::string& suffix, const std::string& ext);
    void RedirectOutputNames(const std::string& dir) { SetOutputNames(4, dir); }

    bool OnConvertListedFiles();
    bool OnCreateFindRepInstances();
    bool OnCommitWriting();
    void OnStop();
    void OnReset();
    void OnSkipInstance();
    void OnSaveChanges();
    void ShowCurrentRow(int row);
    void OnInstanceClicked(bool jump);
    // The input list's pop-up menu: false (and nothing added) when no row is selected.
    bool BuildInputContextMenu(QMenu& menu);
    void ShowInputContextMenu(const QPoint& global);

    void accept() override;
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<CFindRepPreview>& Rows();
    std::vector<int> SelectedInputs() const;
    std::vector<int> SelectedInstances() const;
    void AddRowItem(const CFindRepPreview& p);
    void FillInputList();
    void RefreshOutputColumn();
    void SelectListItem(int row);
    void SetInputRowImage(int row, int image);
    void ShowInstance(int j);
    void NoInstanceState();
    void RunFinished(BatchMode mode, int failed);
    void AddItems(const std::vector<CFileItem>& items, bool report);
    bool ValidateListNotEmpty();
    bool Validate(bool convertRun);

    CProgramData* m_data = nullptr;
    std::unique_ptr<CBatchRunner> m_runner;
    bool m_bPreview = true;
    bool m_columnsSized = false;
    int m_nCurRow = -1;
    qint64 m_startMs = 0;
    QTreeWidget* m_inputs;
    QTableView* m_instances;
    CInstanceModel* m_model;
    QSplitter* m_splitter;
    QLineEdit* m_status;
    QLineEdit* m_hint;
    QPushButton* m_skip;
    QPushButton* m_previewButton;
    QCheckBox* m_sourceTable;
    QTimer* m_ticker;
    CFindAndReplacePreviewDlg* m_preview;
    COutputFilenamesDlg* m_outputNames;
};
