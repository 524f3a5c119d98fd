// The File Diff window: one diff result shown as two or three synchronised
// panes with markers, line numbers and texts, with stepping from
// difference to difference, search, go to line, copy and the two-line
// comparison. The program keeps three of them for its whole run: Input
// against Output, two files, three files.
#pragma once

#include <QDialog>
#include <QFont>
#include <optional>
#include <functional>
#include <string>
#include <vector>

#include "model/DiffResult.h"
#include "compare/DiffRows.h"

class CProgramData;
class CDiffListCtrl;
class CDiffPaneModel;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;

class CFileDiffDlg : public QDialog {
    Q_OBJECT
public:
    explicit CFileDiffDlg(QWidget* parent = nullptr);
    ~CFileDiffDlg() override;

    // Once at start: the window number (0 Input/Output, 1 two files, 2 three
    // files), its caption and its panes.
    void SetDiffMode(CProgramData* data, int mode);
    int Mode() const { return m_mode; }
    // Shows a result (its rows are read where they stand; the result must
    // stay alive while shown). nullptr: "This should not be null.".
    void LoadDiffResult(CDiffResult* result);

    // Panes by index 0 left, 1 right, 2 middle.
    CDiffListCtrl* Pane(int pane) const;
    CDiffPaneModel* Model(int pane) const;
    QLabel* Label(int pane) const;
    int PaneCount() const { return m_mode == kDiffWindowThreeWay ? 3 : 2; }
    const std::vector<int>& Selection(int pane) const;
    int ActivePane() const { return m_activePane; }
    int RowCount() const;

    // First selected row of the active pane, or the largest first selected
    // row of the panes when none is active; -1 when nothing is selected.
    int CurrentRow() const;
    void NextDifference();
    void PreviousDifference();
    // Makes row the only selected row of a pane.
    void SelectRow(int pane, int row);
    // Brings a row to about the middle of every pane.
    void ScrollRowIntoView(int row);
    void UpdateLabels(int row);

    // What a click, double click or right click on a pane does.
    void ClickPane(int pane);
    void SelectAllRows(int pane);
    // Searches a pane from its selected row on.
    void SearchPane(int pane, const std::string& text, bool partial);
    // The Find Text dialog on the last-active pane.
    void FindText();
    void GoToLine();
    void CopyRows(int pane);
    void CompareTwoLinesHere();
    void ShowIconLegend();
    // Sends the selected rows of a pane to the master palette (added, or
    // overriding the palette's selected lines) and marks them exported.
    void ExportToPalette(int pane, bool override);

    // The main window's commands the pane menu sends, and whether each is
    // available.
    std::function<void(int)> sendCommand;
    std::function<bool(int)> commandEnabled;
    // The master palette's add (false) and override (true) operations; false
    // when the palette refused the lines.
    std::function<bool(const std::vector<std::string>&, int origin, bool override)> exportLines;
    // The master palette's search, when a palette exists.
    std::function<void(const std::string&, bool)> findInPalette;

    // The pane popup menu of the last right click (tests read it).
    QMenu* PopupMenu() const { return m_menu; }

    // Where the two-pane windows open: set at start, then taken from any diff
    // window the user moves (left, top) or resizes (width, height).
    static QRect& TwoPanePlacement();

    // The font of the three file labels; every load sets it again.
    void SetLabelFont(const QFont& font);

protected:
    void done(int r) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SyncFrom(int pane, int top);
    void StartRowDrag(int pane);
    std::string LabelText(int pane, int row) const;
    void ShowPopup(int pane, const QPoint& at);
    const DiffRows& RowsOf(int pane) const;

    CProgramData* m_data = nullptr;
    int m_mode = 0;
    int m_activePane = -1;
    CDiffResult* m_result = nullptr;
    CDiffListCtrl* m_panes[3] = {};
    CDiffPaneModel* m_models[3] = {};
    QLabel* m_labels[3] = {};
    QWidget* m_columns[3] = {};
    QSplitter* m_splitter = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_prev = nullptr;
    QPushButton* m_legend = nullptr;
    QMenu* m_menu = nullptr;
    std::vector<int> m_selection[3];
    std::string m_names[3];
    std::string m_numbers[3];
    int m_lastDifference[3] = {0, 0, 0};
    bool m_syncing = false;
    std::optional<QFont> m_labelFont;
};
