#include "remote/ui/GlobalPasswordUpdateDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "model/ProgramData.h"
#include "platform/Prompter.h"
#include "remote/Socket.h"

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }
}  // namespace

CGlobalPasswordUpdateDlg::CGlobalPasswordUpdateDlg(CProgramData& data, QWidget* parent)
    : QDialog(parent), m_data(data) {
    setWindowTitle("Global Password Update");
    resize(420, 360);
    auto* top = new QVBoxLayout(this);
    auto* userRow = new QHBoxLayout;
    userRow->addWidget(new QLabel("User:"));
    m_users = new QComboBox;
    m_users->setObjectName("1536");
    userRow->addWidget(m_users, 1);
    top->addLayout(userRow);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(new QLabel("Has an account on:"));
    listRow->addStretch(1);
    m_count = new QLabel("0 / 0 selected");
    m_count->setObjectName("1866");
    listRow->addWidget(m_count);
    top->addLayout(listRow);
    m_list = new QTreeWidget;
    m_list->setObjectName("1717");
    m_list->setHeaderLabels({"C#", "H#", "Machine"});
    m_list->setColumnWidth(0, 30);
    m_list->setColumnWidth(1, 30);
    m_list->setColumnWidth(2, 150);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->installEventFilter(this);
    top->addWidget(m_list, 1);
    top->addWidget(new QLabel("Enter new password for selected machines:"));
    m_pPassword = new QLineEdit;
    m_pPassword->setObjectName("1642");
    m_pPassword->setEchoMode(QLineEdit::Password);
    top->addWidget(m_pPassword);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* update = new QPushButton("Update");
    update->setObjectName("1449");
    auto* close = new QPushButton("Close");
    close->setObjectName("1");
    buttons->addWidget(update);
    buttons->addWidget(close);
    top->addLayout(buttons);

    for (const std::string& u : data.m_Vault.GetUserNames()) m_users->addItem(Q(u));
    if (m_users->count() > 0) FillMachineList(S(m_users->itemText(0)));

    connect(m_users, &QComboBox::activated, this, [this](int i) { FillMachineList(S(m_users->itemText(i))); });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CGlobalPasswordUpdateDlg::OnSelectionChanged);
    connect(m_pPassword, &QLineEdit::textChanged, this, [this](const QString& t) { m_strPassword = S(t); });
    connect(update, &QPushButton::clicked, this, &CGlobalPasswordUpdateDlg::OnUpdate);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void CGlobalPasswordUpdateDlg::FillMachineList(const std::string& user) {
    m_list->blockSignals(true);
    m_list->clear();
    m_rows = AccountsOfUser(m_data.m_Vault, user);
    m_count->setText("...");
    m_strPassword.clear();
    m_pPassword->clear();
    // "C#" and "H#": the account's cluster and its place in it, from 1.
    for (const MachineRow& r : m_rows) {
        const CHost h = m_data.GetHost(r.cluster, r.host);
        new QTreeWidgetItem(m_list, {QString::number(r.cluster + 1), QString::number(r.host + 1), Q(h.m_strHost)});
    }
    m_list->blockSignals(false);
    if (!user.empty()) m_count->setText(Q(SelectionCountText(0, static_cast<int>(m_rows.size()))));
}

void CGlobalPasswordUpdateDlg::OnSelectionChanged() {
    std::vector<MachineRow> chosen;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        if (m_list->topLevelItem(i)->isSelected()) chosen.push_back(m_rows[static_cast<size_t>(i)]);
    m_count->setText(Q(SelectionCountText(static_cast<int>(chosen.size()), static_cast<int>(m_rows.size()))));
    m_strPassword = CommonPassword(m_data.m_Vault, chosen);
    const QSignalBlocker block(m_pPassword);
    m_pPassword->setText(Q(m_strPassword));
}

bool CGlobalPasswordUpdateDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_A && (k->modifiers() & Qt::ControlModifier)) {
            m_list->selectAll();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CGlobalPasswordUpdateDlg::OnUpdate() {
    // No login could send it.
    if (HasLineBreakOrNul(m_strPassword)) {
        m_pPassword->setFocus();
        Prompter().Message("Invalid password. Cannot have line breaks.", MsgIcon::Stop);
        return;
    }
    if (m_strPassword.empty() &&
        Prompter().AskDefaultNo("Empty password. Are you sure?", MsgIcon::Question) != Answer::Yes)
        return;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        if (!m_list->topLevelItem(i)->isSelected()) continue;
        const MachineRow& r = m_rows[static_cast<size_t>(i)];
        if (CHost* h = m_data.GetHostPtr(r.cluster, r.host)) h->SetPassword(m_strPassword);
    }
    Prompter().Message("Completed.", MsgIcon::None);
}
