#include "app/ControlPanelBar.h"

#include <QApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

#include "widgets/Icons.h"
#include "app/MainFrame.h"

CControlPanelBar* g_wndControlPanel = nullptr;

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
constexpr int kRefRole = Qt::UserRole + 1;
}  // namespace

CPanelTree::CPanelTree(bool sessions, QWidget* parent) : QTreeWidget(parent), m_sessions(sessions) {
    setObjectName(sessions ? "1971" : "1970");
    setHeaderHidden(true);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setContextMenuPolicy(Qt::CustomContextMenu);
    QPalette p = palette();
    p.setColor(QPalette::Base, sessions ? QColor(250, 250, 200) : QColor(210, 220, 240));
    setPalette(p);
}

TreeRef CPanelTree::RefOf(const QTreeWidgetItem* item) {
    if (!item) return TreeRef{};
    const QList<QVariant> v = item->data(0, kRefRole).toList();
    if (v.size() != 3) return TreeRef{};
    return TreeRef{v[0].toInt(), v[1].toInt(), v[2].toInt()};
}

QTreeWidgetItem* CPanelTree::ItemOf(const TreeRef& r) const {
    if (r.kind < 0 || topLevelItemCount() == 0) return nullptr;
    QTreeWidgetItem* root = topLevelItem(0);
    if (r.kind == 0) return root;
    if (r.parent < 0 || r.parent >= root->childCount()) return nullptr;
    QTreeWidgetItem* p = root->child(r.parent);
    if (r.kind == 1) return p;
    if (r.child < 0 || r.child >= p->childCount()) return nullptr;
    return p->child(r.child);
}

void CPanelTree::Render(const TreeMirror& tree) {
    QSignalBlocker block(this);
    clear();
    const char* set = m_sessions ? "session" : "account";
    auto* root = new QTreeWidgetItem(QStringList{Q(tree.root.label)});
    root->setIcon(0, ListIcon(set, tree.root.image));
    root->setData(0, kRefRole, QList<QVariant>{0, 0, -1});
    root->setFlags(root->flags() & ~Qt::ItemIsDragEnabled);
    for (std::size_t i = 0; i < tree.root.children.size(); ++i) {
        const TreeNode& pn = tree.root.children[i];
        auto* pi = new QTreeWidgetItem(root, QStringList{Q(pn.label)});
        pi->setIcon(0, ListIcon(set, pn.image));
        pi->setData(0, kRefRole, QList<QVariant>{1, int(i), 0});
        for (std::size_t j = 0; j < pn.children.size(); ++j) {
            const TreeNode& ln = pn.children[j];
            auto* li = new QTreeWidgetItem(pi, QStringList{Q(ln.label)});
            li->setIcon(0, ListIcon(set, ln.image));
            li->setData(0, kRefRole, QList<QVariant>{2, int(i), int(j)});
        }
    }
    addTopLevelItem(root);
    root->setExpanded(tree.root.expanded);
    for (int i = 0; i < root->childCount(); ++i)
        root->child(i)->setExpanded(tree.root.children[std::size_t(i)].expanded);
    ShowSelected(tree.selected);
}

void CPanelTree::ShowSelected(const TreeRef& r) {
    QSignalBlocker block(this);
    QTreeWidgetItem* item = ItemOf(r);
    if (!item) {
        clearSelection();
        return;
    }
    setCurrentItem(item);
    item->setSelected(true);
}

void CPanelTree::dragMoveEvent(QDragMoveEvent* e) {
    // Only an item of this tree may be dropped on it.
    if (e->source() != this) {
        e->ignore();
        return;
    }
    QTreeWidget::dragMoveEvent(e);
    if (itemAt(e->position().toPoint())) e->accept();
}

void CPanelTree::dropEvent(QDropEvent* e) {
    if (!HandleDrop(e->source(), e->position().toPoint())) {
        e->ignore();
        return;
    }
    // The tree is drawn again from the model; the view itself moves nothing.
    e->setDropAction(Qt::IgnoreAction);
    e->accept();
}

void CPanelTree::keyPressEvent(QKeyEvent* e) {
    // Keys do nothing in the trees: only a click makes an item current, so
    // a key never highlights an item other than the one the window shows.
    e->ignore();
}

bool CPanelTree::HandleDrop(const QObject* source, const QPoint& pos) {
    // Only an item of this tree may be dropped on it.
    if (source != this) return false;
    // The model decides; the tree is drawn again from it afterwards.
    emit dropped(RefOf(currentItem()), RefOf(itemAt(pos)));
    return true;
}

CControlPanelBar::CControlPanelBar(CMainFrame* frame, CControlPanelPresenter& presenter, QWidget* parent)
    : CDockableCtrl(parent), m_frame(frame), m_presenter(presenter) {}

bool CControlPanelBar::Create(const QString& title, QMainWindow* parent, int cx, int cy, bool gripper,
                              int id) {
    if (!CDockableCtrl::Create(title, parent, cx, cy, gripper, id)) return false;
    auto* body = new QWidget(this);
    auto* v = new QVBoxLayout(body);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(2);
    m_stack = new QStackedWidget(body);
    m_sessionTree = new CPanelTree(true, m_stack);
    m_accountTree = new CPanelTree(false, m_stack);
    m_stack->addWidget(m_sessionTree);
    m_stack->addWidget(m_accountTree);
    v->addWidget(m_stack, 1);
    m_tabs = new QTabBar(body);
    m_tabs->setObjectName("1972");
    m_tabs->addTab(" Projects ");
    m_tabs->addTab(" Accounts ");
    QFont f("Verdana");
    f.setBold(true);
    f.setPixelSize(12);
    m_tabs->setFont(f);
    v->addWidget(m_tabs);
    setWidget(body);
    connect(m_tabs, &QTabBar::currentChanged, m_stack, &QStackedWidget::setCurrentIndex);

    connect(m_sessionTree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* it) {
        m_presenter.OnSessionClick(CPanelTree::RefOf(it));
    });
    connect(m_accountTree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* it) {
        m_presenter.OnAccountClick(CPanelTree::RefOf(it));
    });
    connect(m_sessionTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QTreeWidgetItem* it = m_sessionTree->itemAt(pos);
        if (!it) return;
        int menu = m_presenter.OnSessionRightClick(CPanelTree::RefOf(it));
        if (menu >= 0) ShowMenu(true, menu, m_sessionTree->viewport()->mapToGlobal(pos));
    });
    connect(m_accountTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QTreeWidgetItem* it = m_accountTree->itemAt(pos);
        if (!it) return;
        int menu = m_presenter.OnAccountRightClick(CPanelTree::RefOf(it));
        if (menu >= 0) ShowMenu(false, menu, m_accountTree->viewport()->mapToGlobal(pos));
    });
    connect(m_sessionTree, &CPanelTree::dropped, this, [this](TreeRef d, TreeRef t) {
        if (!m_presenter.DropSessionItem(d, t)) QApplication::beep();
        Render();
    });
    connect(m_accountTree, &CPanelTree::dropped, this, [this](TreeRef d, TreeRef t) {
        if (!m_presenter.DropAccountItem(d, t)) QApplication::beep();
        Render();
    });
    return true;
}

void CControlPanelBar::Render() {
    m_sessionTree->Render(m_presenter.SessionTree());
    m_accountTree->Render(m_presenter.AccountTree());
}

void CControlPanelBar::ShowMenu(bool sessions, int menu, const QPoint& global) {
    struct Entry {
        int id;
        const char* text;
    };
    std::vector<Entry> entries;
    switch (menu) {
        case 163: entries = {{32676, "Add Project"}, {0, nullptr}, {32679, "Clean My Vault..."}}; break;
        case 162:
            entries = {{32676, "Add Project"}, {32678, "Rename Project"}, {32677, "Delete Project"},
                       {0, nullptr},           {32671, "Add Session"},    {32673, "Load Session"}};
            break;
        case 161:
            entries = {{32671, "Add Session"}, {32675, "Rename Session"}, {32672, "Delete Session"},
                       {32673, "Load Session"}, {0, nullptr},             {32674, "Properties..."}};
            break;
        case 160:
            entries = {{32666, "Add Cluster"}, {0, nullptr}, {32670, "Modify passwords globally..."}};
            break;
        case 159:
            entries = {{32666, "Add Cluster"}, {32669, "Rename Cluster"}, {32668, "Delete Cluster"},
                       {0, nullptr},           {32661, "Add Account"},    {32667, "Connect all..."}};
            break;
        case 158:
            entries = {{32661, "Add Account"}, {32663, "Delete Account"}, {0, nullptr},
                       {32662, "Browse..."},   {32665, "Telnet..."},      {0, nullptr},
                       {32664, "Properties..."}};
            break;
        default: return;
    }
    QMenu m(this);
    m.setObjectName(QString::number(menu));
    for (const auto& e : entries) {
        if (!e.text) {
            m.addSeparator();
            continue;
        }
        QAction* a = m.addAction(e.text);
        a->setObjectName(QString::number(e.id));
        a->setEnabled(m_frame->IsCommandEnabled(e.id));
        const int id = e.id;
        connect(a, &QAction::triggered, this, [this, id] { m_frame->ExecuteCommand(id); });
    }
    m.exec(global);
    // The right-click only named the item the menu works on: once the menu
    // is gone, with or without a command, the highlight is on the item the
    // window works on again.
    if (sessions) m_sessionTree->ShowSelected(m_presenter.SessionTree().selected);
    else m_accountTree->ShowSelected(m_presenter.AccountTree().selected);
}
