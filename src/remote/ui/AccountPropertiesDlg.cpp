#include "remote/ui/AccountPropertiesDlg.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "model/Globals.h"
#include "model/ProgramData.h"
#include "platform/Prompter.h"
#include "remote/AccountRules.h"
#include "remote/FtpConnections.h"
#include "remote/Socket.h"
#include "widgets/Icons.h"
#include "widgets/SharedDialogs.h"

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }

template <class T>
T* Named(T* w, const char* id, const char* tip = nullptr) {
    w->setObjectName(id);
    if (tip) w->setToolTip(tip);
    return w;
}
}  // namespace

CAccountPropertiesDlg::CAccountPropertiesDlg(const CHost& account, CProgramData& data, QWidget* parent)
    : QDialog(parent), m_host(account), m_strHost(account.m_strHost), m_strUser(account.m_strUser),
      m_strPassword(account.m_strPassword), m_strStartHost(account.m_strHost),
      m_strStartUser(account.m_strUser), m_data(data) {
    setWindowTitle("Account Properties");
    setMinimumSize(427, 265);
    setMaximumSize(1200, 800);
    move(250, 200);
    auto* top = new QVBoxLayout(this);
    m_tabs = Named(new QTabWidget(this), "1947");
    top->addWidget(m_tabs, 1);

    // Page 0: the account.
    auto* page0 = new QWidget;
    auto* form = new QFormLayout(page0);
    m_pHost = Named(new QLineEdit(Q(m_strHost)), "1626");
    m_pUser = Named(new QLineEdit(Q(m_strUser)), "1693");
    // Masked, and never shown as a tool tip.
    m_pPassword = Named(new QLineEdit(Q(m_strPassword)), "1642");
    m_pPassword->setEchoMode(QLineEdit::Password);
    form->addRow(Named(new QLabel("Host:"), "1866"), m_pHost);
    form->addRow(Named(new QLabel("User:"), "1870"), m_pUser);
    form->addRow(Named(new QLabel("Password: "), "1871"), m_pPassword);
    m_status = Named(new QLabel, "1937");
    m_status->setWordWrap(true);
    form->addRow(m_status);
    auto* connRow = new QHBoxLayout;
    m_connect = Named(new QPushButton("Connect"), "1419", "Connect host");
    m_disconnect = Named(new QPushButton("Disconnect"), "1420", "Disconnect host");
    for (QPushButton* b : {m_connect, m_disconnect}) ShowButtonPicture(b, "acctprop", 16);
    connRow->addWidget(m_connect);
    connRow->addWidget(m_disconnect);
    connRow->addStretch(1);
    form->addRow(connRow);
    m_tabs->addTab(page0, "    Account Properties    ");

    // Page 1: the bookmarks (shown; this dialog does not edit them).
    auto* page1 = new QWidget;
    auto* p1 = new QVBoxLayout(page1);
    p1->addWidget(Named(new QLabel("Drop currently selected files to this locale without chaging their attributes."),
                        "1887"));
    auto* edit = Named(new QLineEdit, "1658", "Selected remote dir/bookmark");
    p1->addWidget(edit);
    m_bookmarks = Named(new QTreeWidget, "1718", "Bookmarks for the selected client");
    m_bookmarks->setHeaderLabels({"Name", "Bookmark"});
    m_bookmarks->setRootIsDecorated(false);
    m_bookmarks->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const CRemoteBookmark& b : m_host.m_Bookmarks)
        new QTreeWidgetItem(m_bookmarks, {Q(b.RemName), Q(b.RemDir)});
    m_bookmarks->setColumnWidth(0, 120);
    p1->addWidget(m_bookmarks, 1);
    auto* bookRow = new QHBoxLayout;
    // The quick-drop controls have no work in this dialog: they stay disabled.
    const std::pair<const char*, const char*> quick[] = {{"1369", "One time drop to the selected host"},
                                                         {"1842", "Browse remote directory"},
                                                         {"1421", "Add new bookmark"},
                                                         {"1428", "Modify bookmark"},
                                                         {"1423", "Remove bookmark"},
                                                         {"1430", "Move up"},
                                                         {"1425", "Move down"}};
    const char* texts[] = {"Drop \nfiles here...", "...", "Add", "Modify", "Remove", "Up", "Down"};
    int i = 0;
    for (const auto& [id, tip] : quick) {
        auto* b = Named(new QPushButton(texts[i++]), id, tip);
        b->setEnabled(false);
        ShowButtonPicture(b, "acctprop", 16);  // the bookmark buttons; the drop and "..." keep their captions
        bookRow->addWidget(b);
    }
    auto* usage = Named(new QPushButton("Usage"), "1427", "View mapped sessions");
    ShowButtonPicture(usage, "acctprop", 16);
    usage->hide();
    bookRow->addWidget(usage);
    p1->addLayout(bookRow);
    m_tabs->addTab(page1, "    Quick Drop   ");

    auto* okRow = new QHBoxLayout;
    okRow->addStretch(1);
    auto* ok = Named(new QPushButton("OK"), "1");
    ok->setDefault(true);
    auto* cancel = Named(new QPushButton("Cancel"), "2");
    okRow->addWidget(ok);
    okRow->addWidget(cancel);
    top->addLayout(okRow);

    if (m_host.m_nStatus >= 4) {
        m_pHost->setEnabled(false);
        m_pUser->setEnabled(false);
    }
    m_status->setText(m_host.m_nStatus == 2 ? QString("***Never*** connected.")
                                            : Q(UpdateConnectionStatus(m_strHost, m_strUser)));
    ShowConnectButton();

    connect(ok, &QPushButton::clicked, this, &CAccountPropertiesDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_connect, &QPushButton::clicked, this, &CAccountPropertiesDlg::OnConnect);
    connect(m_disconnect, &QPushButton::clicked, this, &CAccountPropertiesDlg::OnDisconnect);
    connect(m_pHost, &QLineEdit::textChanged, this, [this](const QString& t) { m_host.m_strHost = m_strHost = S(t); });
    connect(m_pUser, &QLineEdit::textChanged, this, [this](const QString& t) { m_host.m_strUser = m_strUser = S(t); });
    connect(m_pPassword, &QLineEdit::textChanged, this,
            [this](const QString& t) { m_host.m_strPassword = m_strPassword = S(t); });
    connect(edit, &QLineEdit::textChanged, this, [this](const QString& t) { m_strBookmark = S(t); });
    connect(m_tabs, &QTabWidget::currentChanged, this, &CAccountPropertiesDlg::ShowPage);
}

QString CAccountPropertiesDlg::StatusText() const { return m_status->text(); }

void CAccountPropertiesDlg::ShowPage(int page) {
    if (page == 0) ShowConnectButton();
}

void CAccountPropertiesDlg::ShowConnectButton() {
    const bool open = FindOpenConnection(m_strHost, m_strUser) >= 0;
    m_connect->setVisible(!open);
    m_disconnect->setVisible(open);
}

void CAccountPropertiesDlg::OnConnect() {
    // A worker owns the connections while it runs.
    if (!g_bFtpIdle) {
        Prompter().Message("Cannot connect while an FTP session is on.", MsgIcon::Stop);
        return;
    }
    if (FindOpenConnection(m_strHost, m_strUser) >= 0) {
        Prompter().Message("Already connected.", MsgIcon::None);
        return;
    }
    // No login could send it: refused here, where it was typed.
    if (HasLineBreakOrNul(m_strPassword)) {
        m_pPassword->setFocus();
        Prompter().Message("Invalid password. Cannot have line breaks.", MsgIcon::Stop);
        return;
    }
    g_CurrentAccount = m_host;
    SetFtpAccount(m_host);
    std::string host = m_strHost, user = m_strUser;
    if (!ConnectHost(m_data, host, user, true)) return;
    m_host = GetFtpAccount();
    m_host.m_Bookmarks = g_CurrentAccount.m_Bookmarks;
    m_host.m_nStatus = 6;
    m_strHost = m_host.m_strHost;
    m_strUser = m_host.m_strUser;
    m_strPassword = m_host.m_strPassword;
    m_status->setText(Q(UpdateConnectionStatus(m_strHost, m_strUser)));
    if (onStatus) onStatus(6);
    ShowConnectButton();
    const QSignalBlocker b1(m_pHost), b2(m_pUser), b3(m_pPassword);
    m_pHost->setText(Q(m_strHost));
    m_pUser->setText(Q(m_strUser));
    m_pPassword->setText(Q(m_strPassword));
    m_pHost->setEnabled(false);
    m_pUser->setEnabled(false);
}

void CAccountPropertiesDlg::OnDisconnect() {
    if (!g_bFtpIdle) {
        Prompter().Message("Cannot disconnect while an FTP session is on.", MsgIcon::Stop);
        return;
    }
    if (FindOpenConnection(m_strHost, m_strUser) < 0) {
        Prompter().Message("Not connected.", MsgIcon::None);
        return;
    }
    if (Prompter().Ask("This will disconnect the connection to " + m_strHost + "\r\n" + "Ok to disconnect?",
                       MsgIcon::Question, false) != Answer::Yes)
        return;
    DropOpenConnection(m_strHost, m_strUser);
    m_status->setText("Disconnected upon request");
    m_host.m_nStatus = 4;
    if (onStatus) onStatus(4);
    ShowConnectButton();
}

void CAccountPropertiesDlg::accept() {
    const AccountCheck check = CheckAccountEdit(m_data.m_Vault, m_strHost, m_strUser, m_strStartHost, m_strStartUser,
                                                m_strPassword);
    if (!check.message.empty()) {
        if (QWidget* w = findChild<QWidget*>(QString::number(check.focusId))) w->setFocus();
        Prompter().Message(check.message, MsgIcon::Stop);
        return;
    }
    m_host.m_strHost = m_strHost;
    m_host.m_strUser = m_strUser;
    m_host.m_strPassword = m_strPassword;
    QDialog::accept();
}
