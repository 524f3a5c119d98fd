#include "filelist/ui/FileAttributesDlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "filelist/FileAttributes.h"
#include "filelist/ui/DialogText.h"
#include "model/Account.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "platform/Prompter.h"
#include "widgets/SharedDialogs.h"

using namespace filelist_ui;

CFileAttributesDlg::CFileAttributesDlg(CProgramData* data, QWidget* parent)
    : QDialog(parent), m_data(data) {
    setObjectName("1997");
    setWindowTitle("File Attributes");
    m_p = data->GetCurProject();
    m_s = data->GetCurSession();
    m_b = data->GetCurBasket();
    m_selection = data->GetSelection(m_p, m_s, m_b);

    m_host = Named(new QLineEdit, "1626");
    m_user = Named(new QLineEdit, "1693");
    m_password = Named(new QLineEdit, "1642");
    m_password->setEchoMode(QLineEdit::Password);
    m_remote = Named(new QLineEdit, "1587");
    m_local = Named(new QLineEdit, "1583");
    m_browseRemote = Named(new QPushButton("..."), "1586");
    m_browseLocal = Named(new QPushButton("..."), "1582");
    for (QPushButton* b : {m_browseRemote, m_browseLocal}) {
        b->setAutoDefault(false);
        b->setFixedWidth(28);
    }

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Hostname:"), 0, 0);
    grid->addWidget(m_host, 0, 1);
    grid->addWidget(new QLabel("Username:"), 1, 0);
    grid->addWidget(m_user, 1, 1);
    grid->addWidget(new QLabel("Password: "), 2, 0);
    grid->addWidget(m_password, 2, 1);
    auto* root = new QVBoxLayout(this);
    root->addLayout(grid);
    root->addWidget(new QLabel("Remote Directory:"));
    auto* remoteRow = new QHBoxLayout;
    remoteRow->addWidget(m_browseRemote);
    remoteRow->addWidget(m_remote, 1);
    root->addLayout(remoteRow);
    root->addWidget(new QLabel("Local Directory:"));
    auto* localRow = new QHBoxLayout;
    localRow->addWidget(m_browseLocal);
    localRow->addWidget(m_local, 1);
    root->addLayout(localRow);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    box->button(QDialogButtonBox::Ok)->setObjectName("1");
    box->button(QDialogButtonBox::Cancel)->setObjectName("2");
    connect(box, &QDialogButtonBox::accepted, this, &CFileAttributesDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &CFileAttributesDlg::reject);
    root->addWidget(box);

    // Wider as the user likes, never taller than the controls need.
    setMinimumWidth(212);
    setMaximumWidth(1200);
    resize(420, sizeHint().height());
    setFixedHeight(sizeHint().height());

    const FileAttributeValues v = GetCommonFileAttributes(*data, m_p, m_s, m_b, m_selection);
    m_strHost = v.host;
    m_strUser = v.user;
    m_strPassword = v.password;
    m_strRemoteDir = v.remoteDir;
    m_strLocalDir = v.localDir;
    m_strPasswordHost = v.passwordHost;
    m_strPasswordUser = v.passwordUser;
    ShowMembers(true);

    connect(m_host, &QLineEdit::textChanged, this, [this](const QString& t) {
        m_strHost = S(t);
        RefillPasswordForAccount();
    });
    connect(m_user, &QLineEdit::textChanged, this, [this](const QString& t) {
        m_strUser = S(t);
        RefillPasswordForAccount();
    });
    connect(m_password, &QLineEdit::textChanged, this, [this](const QString& t) {
        m_strPassword = S(t);
        m_strPasswordHost = m_strHost;
        m_strPasswordUser = m_strUser;
    });
    connect(m_remote, &QLineEdit::textChanged, this, [this](const QString& t) { m_strRemoteDir = S(t); });
    connect(m_local, &QLineEdit::textChanged, this, [this](const QString& t) { m_strLocalDir = S(t); });
    connect(m_browseRemote, &QPushButton::clicked, this, &CFileAttributesDlg::OnBrowseRemoteDirectory);
    connect(m_browseLocal, &QPushButton::clicked, this, &CFileAttributesDlg::OnBrowseLocalDirectory);
    m_remote->setFocus();
}

void CFileAttributesDlg::ShowMembers(bool withLocal) {
    m_host->setText(Q(m_strHost));
    m_user->setText(Q(m_strUser));
    m_password->setText(Q(m_strPassword));
    m_remote->setText(Q(m_strRemoteDir));
    if (withLocal) m_local->setText(Q(m_strLocalDir));
}

void CFileAttributesDlg::RefillPasswordForAccount() {
    if (IsSameAccount(m_strHost, m_strUser, m_strPasswordHost, m_strPasswordUser)) return;
    m_strPasswordHost = m_strHost;
    m_strPasswordUser = m_strUser;
    m_strPassword = m_data->GetVaultPassword(m_strHost, m_strUser);
    const QSignalBlocker quiet(m_password);
    m_password->setText(Q(m_strPassword));
}

void CFileAttributesDlg::OnBrowseRemoteDirectory() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    g_CurrentAccount.m_strHost = m_strHost;
    g_CurrentAccount.m_strUser = m_strUser;
    g_CurrentAccount.m_strPassword = m_strPassword;
    g_CurrentAccount.m_strLastFolder = m_strRemoteDir;
    if (!m_strLocalDir.empty()) g_sDefaultLocalDir = NormalizeLocalDir(m_strLocalDir);
    m_data->BrowseRemoteFolder();
    m_strHost = g_CurrentAccount.m_strHost;
    m_strUser = g_CurrentAccount.m_strUser;
    m_strPassword = g_CurrentAccount.m_strPassword;
    m_strRemoteDir = g_CurrentAccount.m_strLastFolder;
    QApplication::restoreOverrideCursor();
    ShowMembers(false);
    // The browser's login confirmed this password for this account.
    m_strPassword = g_CurrentAccount.m_strPassword;
    m_strPasswordHost = m_strHost;
    m_strPasswordUser = m_strUser;
    const QSignalBlocker quiet(m_password);
    m_password->setText(Q(m_strPassword));
}

void CFileAttributesDlg::OnBrowseLocalDirectory() {
    const std::string folder = BrowseForLocalFolder();
    if (folder.empty()) return;
    m_strLocalDir = folder;
    m_local->setText(Q(folder));
}

void CFileAttributesDlg::accept() {
    // No login could send it.
    if (m_strPassword.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        m_password->setFocus();
        Prompter().Message("Invalid password. Cannot have line breaks.", MsgIcon::Stop);
        return;
    }
    ApplyFileAttributes(*m_data, m_p, m_s, m_b, m_selection,
                        {m_strHost, m_strUser, m_strPassword, m_strRemoteDir, m_strLocalDir,
                         m_strPasswordHost, m_strPasswordUser});
    QDialog::accept();
}
