// The Control panel: a docking bar with the session tree (control 1971) and
// the account tree (1970) and the tab strip (1972) that switches them. It
// draws the trees of the Control panel presenter and hands clicks, menus
// and drags to it.
#pragma once

#include <QTreeWidget>

#include "app/ControlPanelPresenter.h"
#include "app/DockableCtrl.h"

class QTabBar;
class QStackedWidget;
class CMainFrame;

class CPanelTree : public QTreeWidget {
    Q_OBJECT
public:
    CPanelTree(bool sessions, QWidget* parent);
    void Render(const TreeMirror& tree);
    static TreeRef RefOf(const QTreeWidgetItem* item);
    QTreeWidgetItem* ItemOf(const TreeRef& r) const;
    // Highlights the item alone (none when r names no item).
    void ShowSelected(const TreeRef& r);
    // A drop at a point of the viewport: the current item on the item there.
    // False (nothing happens) when the drag did not start in this tree.
    bool HandleDrop(const QObject* source, const QPoint& pos);

signals:
    void dropped(TreeRef dragged, TreeRef target);

protected:
    void dropEvent(QDropEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    bool m_sessions;
};

class CControlPanelBar : public CDockableCtrl {
    Q_OBJECT
public:
    CControlPanelBar(CMainFrame* frame, CControlPanelPresenter& presenter, QWidget* parent = nullptr);
    bool Create(const QString& title, QMainWindow* parent, int cx, int cy, bool gripper, int id);

    void Render();
    bool CheckSessionSelected() { return m_presenter.CheckSessionSelected(); }
    CPanelTree* SessionTree() const { return m_sessionTree; }
    CPanelTree* AccountTree() const { return m_accountTree; }
    QTabBar* Tabs() const { return m_tabs; }

private:
    void ShowMenu(bool sessions, int menu, const QPoint& global);
    CMainFrame* m_frame;
    CControlPanelPresenter& m_presenter;
    CPanelTree* m_sessionTree = nullptr;
    CPanelTree* m_accountTree = nullptr;
    QTabBar* m_tabs = nullptr;
    QStackedWidget* m_stack = nullptr;
};

extern CControlPanelBar* g_wndControlPanel;
