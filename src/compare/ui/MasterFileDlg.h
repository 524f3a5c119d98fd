// The "Master File" window: the master palette as a list with its origin
// icons, and the "Edit Master Palette" dialog for the selected lines.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compare/MasterPalette.h"

class CProgramData;
class CDiffListCtrl;
class QLabel;
class QMenu;
class QPlainTextEdit;

// The file picker of "Load file onto Master palette", given the folder it
// starts in; tests replace it.
extern std::function<std::optional<std::string>(const std::string& startDir)> g_pickPaletteFile;

class CPaletteModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CPaletteModel(CMasterPalette& palette, QObject* parent = nullptr)
        : QAbstractTableModel(parent), m_palette(palette) {}
    void Reload() {
        beginResetModel();
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    CMasterPalette& m_palette;
};

// The origin icons of the palette, 0-16.
QPixmap PaletteOriginPixmap(int origin);

class CMasterFileDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMasterFileDlg(CProgramData& data, QWidget* parent = nullptr);
    ~CMasterFileDlg() override;

    CMasterPalette& Palette() { return *m_palette; }
    CDiffListCtrl* List() const { return m_list; }
    std::string StatusText() const;

    void SetLines(const std::vector<std::string>& texts);
    void AddLines(const std::vector<std::string>& texts, int origin);
    // Replaces the rows selected in the list; false when none is.
    bool OverrideLines(const std::vector<std::string>& texts, int origin);
    void SetSelectedRow(int row);
    void LoadFile();
    // Loads a file (dropped, or picked): false with a message when it cannot be read.
    bool LoadPath(const std::string& path);
    void EditSelectedLines();
    void DeleteSelectedLines();
    void Clear();
    void InsertBlankLine();
    void GoToLine();
    void FindText(const std::string& text, bool partial);
    void ConvertUsingLibrary();
    void NextBlock();
    void PreviousBlock();
    void ShowIconLegend();
    // Dropped paths (only the first counts).
    void DropFiles(const std::vector<std::string>& paths);
    // Rebuilds the selection record from the list's selected rows.
    void RecordListSelection();
    std::vector<int> ListSelection() const;

    std::function<void()> save;
    // Rows of a diff window's pane dropped on the list (override with Ctrl).
    std::function<void(int window, int pane, bool override)> dropRows;
    std::function<void(int)> sendCommand;
    std::function<bool(int)> commandEnabled;
    QMenu* PopupMenu() const { return m_menu; }
    // The font of the status label.
    void SetLabelFont(const QFont& font);
    // The status label anew, after the palette's file name changed.
    void UpdateStatus();

protected:
    void done(int r) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Refresh();
    void ShowRecord(bool scroll);
    void ShowPopup(const QPoint& at);

    CProgramData& m_data;
    std::unique_ptr<CMasterPalette> m_palette;
    CPaletteModel* m_model;
    CDiffListCtrl* m_list;
    QLabel* m_status;
    QMenu* m_menu;
};

class CEditMasterPaletteDlg : public QDialog {
    Q_OBJECT
public:
    CEditMasterPaletteDlg(const std::vector<std::string>& lines, QWidget* parent = nullptr);
    const std::vector<std::string>& EditedLines() const { return m_edited; }
    int ApplyMode() const { return m_mode; }
    int ApplyCount() const { return m_count; }
    QString Summary() const;
    void accept() override;

private:
    QPlainTextEdit* m_edit;
    QLabel* m_summary;
    std::string m_text;
    std::vector<std::string> m_edited;
    int m_mode = 0;
    int m_count = 0;
    int m_startLines = 0;
};
