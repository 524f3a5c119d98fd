#include "remote/ui/SessionAttributesDlg.h"

#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/Globals.h"
#include "model/ProgramData.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"
#include "remote/Socket.h"
#include "widgets/SharedDialogs.h"

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }
QLineEdit* Edit(const char* id) {
    auto* e = new QLineEdit;
    e->setObjectName(id);
    return e;
}
}  // namespace

CSessionAttributesDlg::CSessionAttributesDlg(CProgramData& data, QWidget* parent)
    : QDialog(parent), m_data(data), m_refill(std::string(), std::string()) {
    const int p = data.GetCurProject(), s = data.GetCurSession();
    data.SelectSessionHost(p, s);
    m_strHost = g_CurrentAccount.m_strHost;
    m_strUser = g_CurrentAccount.m_strUser;
    m_strPassword = g_CurrentAccount.m_strPassword;
    m_strRemoteDir = g_CurrentAccount.m_strLastFolder;
    m_strLocalDir = g_sDefaultLocalDir;
    m_strFileName = data.GetBoxFileName(p, s);
    m_strLocation = g_strSessionInfoDir;
    m_refill = PasswordRefill(m_strHost, m_strUser);

    setWindowTitle("Session Attributes");
    setMinimumWidth(460);
    auto* top = new QVBoxLayout(this);
    auto* fileBox = new QGroupBox("Leaf file where session information is saved:");
    auto* fileForm = new QFormLayout(fileBox);
    auto* fileName = Edit("1577");
    fileName->setReadOnly(true);
    fileName->setText(Q(m_strFileName));
    auto* location = Edit("1578");
    location->setReadOnly(true);
    location->setText(Q(m_strLocation));
    fileForm->addRow("File name:", fileName);
    fileForm->addRow("Location:", location);
    top->addWidget(fileBox);

    auto* attrBox = new QGroupBox("Default Session Attributes:");
    auto* form = new QFormLayout(attrBox);
    m_pHost = Edit("1626");
    m_pUser = Edit("1693");
    m_pPassword = Edit("1642");
    m_pPassword->setEchoMode(QLineEdit::Password);
    m_pPassword->installEventFilter(this);
    m_pLocalDir = Edit("1583");
    m_pRemoteDir = Edit("1587");
    form->addRow("Hostname:", m_pHost);
    form->addRow("Username:", m_pUser);
    form->addRow("Password: ", m_pPassword);
    auto* localRow = new QHBoxLayout;
    localRow->addWidget(m_pLocalDir, 1);
    auto* browseLocal = new QPushButton("...");
    browseLocal->setFixedWidth(32);
    browseLocal->setObjectName("1582");
    localRow->addWidget(browseLocal);
    form->addRow("Default Local Directory:", localRow);
    auto* remoteRow = new QHBoxLayout;
    remoteRow->addWidget(m_pRemoteDir, 1);
    auto* browseRemote = new QPushButton("...");
    browseRemote->setFixedWidth(32);
    browseRemote->setObjectName("1586");
    remoteRow->addWidget(browseRemote);
    form->addRow("Default Remote Directory:", remoteRow);
    top->addWidget(attrBox);

    auto* okRow = new QHBoxLayout;
    okRow->addStretch(1);
    auto* ok = new QPushButton("OK");
    ok->setObjectName("1");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel");
    cancel->setObjectName("2");
    okRow->addWidget(ok);
    okRow->addWidget(cancel);
    top->addLayout(okRow);
    FillEdits();

    connect(ok, &QPushButton::clicked, this, &CSessionAttributesDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(browseLocal, &QPushButton::clicked, this, &CSessionAttributesDlg::OnBrowseLocalDirectory);
    connect(browseRemote, &QPushButton::clicked, this, &CSessionAttributesDlg::OnBrowseRemoteDirectory);
    connect(m_pHost, &QLineEdit::textChanged, this, [this](const QString& t) { m_strHost = S(t); });
    connect(m_pUser, &QLineEdit::textChanged, this, [this](const QString& t) { m_strUser = S(t); });
    connect(m_pPassword, &QLineEdit::textChanged, this, [this](const QString& t) { m_strPassword = S(t); });
    connect(m_pLocalDir, &QLineEdit::textChanged, this, [this](const QString& t) { m_strLocalDir = S(t); });
    connect(m_pRemoteDir, &QLineEdit::textChanged, this, [this](const QString& t) { m_strRemoteDir = S(t); });
}

void CSessionAttributesDlg::FillEdits() {
    m_pHost->setText(Q(m_strHost));
    m_pUser->setText(Q(m_strUser));
    m_pPassword->setText(Q(m_strPassword));
    m_pLocalDir->setText(Q(m_strLocalDir));
    m_pRemoteDir->setText(Q(m_strRemoteDir));
}

bool CSessionAttributesDlg::eventFilter(QObject* watched, QEvent* event) {
    // The password follows the vault when the host or user was changed; a
    // password typed for the same account stays.
    if (watched == m_pPassword && event->type() == QEvent::FocusIn && m_refill.NeedsRefill(m_strHost, m_strUser)) {
        m_strPassword = m_data.GetVaultPassword(m_strHost, m_strUser);
        m_pPassword->setText(Q(m_strPassword));
    }
    return QDialog::eventFilter(watched, event);
}

void CSessionAttributesDlg::ApplyToCurrentAccount() {
    g_CurrentAccount.m_strHost = m_strHost;
    g_CurrentAccount.m_strUser = m_strUser;
    g_CurrentAccount.m_strPassword = m_strPassword;
    g_CurrentAccount.m_strLastFolder = m_strRemoteDir;
    if (!m_strLocalDir.empty() && m_strLocalDir.back() != '/') m_strLocalDir += '/';
    g_sDefaultLocalDir = m_strLocalDir;
}

void CSessionAttributesDlg::ReloadFromCurrentAccount() {
    m_strHost = g_CurrentAccount.m_strHost;
    m_strUser = g_CurrentAccount.m_strUser;
    m_strPassword = g_CurrentAccount.m_strPassword;
    m_strRemoteDir = g_CurrentAccount.m_strLastFolder;
    m_strLocalDir = g_sDefaultLocalDir;
}

void CSessionAttributesDlg::OnBrowseRemoteDirectory() {
    ApplyToCurrentAccount();
    m_data.BrowseRemoteFolder();
    ReloadFromCurrentAccount();
    m_refill = PasswordRefill(m_strHost, m_strUser);
    FillEdits();
}

void CSessionAttributesDlg::OnBrowseLocalDirectory() {
    const std::string folder = BrowseForLocalFolder();
    if (folder.empty()) return;
    m_strLocalDir = folder;
    m_pLocalDir->setText(Q(folder));
}

void CSessionAttributesDlg::accept() {
    auto refuse = [this](const char* text, QLineEdit* edit) {
        Prompter().Message(text, MsgIcon::Stop);
        edit->setFocus();
    };
    if (m_strHost.empty()) return refuse("Empty host.", m_pHost);
    if (m_strUser.empty()) return refuse("Empty user.", m_pUser);
    if (m_strLocalDir.empty()) return refuse("Empty local location.", m_pLocalDir);
    // No login could send it.
    if (HasLineBreakOrNul(m_strPassword)) return refuse("Invalid password. Cannot have line breaks.", m_pPassword);
    ApplyToCurrentAccount();
    const int p = m_data.GetCurProject(), s = m_data.GetCurSession();
    m_data.ApplyCurrentHostToSession(p, s);
    m_data.FillEmptyItemDirs(p, s);
    m_data.UpdateVaultFromSession(m_strHost, m_strUser, m_strPassword, "", m_strRemoteDir, false);
    QDialog::accept();
}
