// One column of a diff window: a table model that shows the rows of a diff
// result where they stand (no copy of the texts, no item per row) and the
// list control that shows it, scrolls with its sibling columns and refuses
// dropped files.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <QUrl>
#include <string>
#include <vector>

#include "compare/DiffRows.h"

class CDiffPaneModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CDiffPaneModel(bool middle, QObject* parent = nullptr);

    // Shows the rows (nullptr: none). The rows must outlive the model's use
    // of them; the exported marks start cleared.
    void SetRows(const DiffRows* rows, bool traceFillers);
    const DiffRows& Rows() const;

    // The marker icon index of a row: the result's marker, plus the export
    // step (4, or 9 in the middle pane) once the row went to the palette.
    int Marker(int row) const;
    int ExportStep() const { return m_middle ? 9 : 4; }
    // Marks a row as exported unless it is a filler or marked already.
    void MarkExported(int row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    bool m_middle;
    bool m_traceFillers = false;
    const DiffRows* m_rows = nullptr;
    std::vector<unsigned char> m_exported;
};

// The marker pictures: 8 of 16x16 for the outer panes, 18 of 32x16 for the
// middle pane (the second half marked as exported).
QPixmap DiffMarkerPixmap(int marker, bool middle);

// The type of the drag data of diff rows: "window,pane".
inline constexpr const char* kDiffRowsMime = "application/x-quorvellian-diff-rows";

class CDiffListCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CDiffListCtrl(QWidget* parent = nullptr);

    int paneIndex = 0;  // 0 left, 1 right, 2 middle, 3 the master palette's list
    int windowNo = -1;  // diff window 0-2, -1 the master palette

    // Index of the first visible row and the number of rows a page holds.
    int TopRow() const;
    int RowsPerPage() const;
    // Scrolls so that row top is the first visible row.
    void ScrollToTop(int top);
    // Brings the row into view; the columns stay where they are.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    // What a drop of files does: on a diff column only a trace line, on the
    // master palette's list the files are handed on.
    void HandleDroppedUrls(const QList<QUrl>& urls);
    // Rows of a diff pane dropped on the master palette's list at row
    // (-1 below the rows): the row becomes the palette's selection, then the
    // rows are added, or override it when Ctrl was held.
    void HandleDroppedRows(int window, int pane, int row, bool override);

signals:
    void TopRowChanged(int top);
    // Files dropped on the master palette's list.
    void FilesDropped(const std::vector<std::string>& paths);
    // A drag of this diff pane's rows begins (the window builds the drag).
    void RowDragStarted();
    // Diff rows dropped on the master palette's list.
    void RowsDropped(int window, int pane, int row, bool override);
    // A key moved the highlight to other rows (the owner takes them as a
    // click takes its rows).
    void KeySelected();

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void keyPressEvent(QKeyEvent* e) override;
};
