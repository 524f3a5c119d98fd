// The two panes of the main window's splitter: the "File Baskets" list above
// and the file-item list below. They hold no data: they draw the rows of the
// main presenter and hand clicks, keys, drops and header clicks to the frame.
#pragma once

#include <QLineEdit>
#include <QProgressBar>
#include <QTreeWidget>
#include <functional>
#include <vector>

class CMainPresenter;
class CMainFrame;

class CQuorvellianViewTop : public QTreeWidget {
    Q_OBJECT
public:
    CQuorvellianViewTop(CMainFrame* frame, QWidget* parent = nullptr);
    void Render(const CMainPresenter& p);
    void RenderRow(const CMainPresenter& p, int row);
    std::vector<int> SelectedRows() const;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    CMainFrame* m_frame;
};

class CQuorvellianViewBot : public QTreeWidget {
    Q_OBJECT
public:
    CQuorvellianViewBot(CMainFrame* frame, QWidget* parent = nullptr);
    void Render(const CMainPresenter& p);
    void RenderRow(const CMainPresenter& p, int row);
    std::vector<int> SelectedRows() const;

    // Adds the dropped paths to the current basket (the add-files worker).
    static std::function<bool(const std::vector<std::string>&)> s_addDroppedFiles;

signals:
    // A click on a column header (the column), a click and a double click on a row.
    void headerClicked(int column);
    void rowClicked();
    void rowDoubleClicked();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    QStringList mimeTypes() const override;

private:
    CMainFrame* m_frame;
};

// The read-only text pane and the progress pane of the status bar.
class CStatusTimeEdit : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
};
class CStatusProgressCtrl : public QProgressBar {
    Q_OBJECT
public:
    using QProgressBar::QProgressBar;
};

extern CQuorvellianViewTop* g_pViewTop;
extern CQuorvellianViewBot* g_pViewBot;
