#include "remote/ui/LoginInformationDlg.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/Prompter.h"
#include "remote/LoginInformation.h"
#include "widgets/SharedDialogs.h"

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }
}  // namespace

CLoginInformationDlg::CLoginInformationDlg(const std::string& host, const std::string& user,
                                           const std::string& password, bool editable,
                                           QWidget* parent)
    : QDialog(parent), m_strHost(host), m_strUser(user), m_strPassword(password) {
    setWindowTitle("Login Information");
    setObjectName("LoginInformation");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Enter valid login information:", this));
    auto* form = new QFormLayout;
    m_pHost = new QLineEdit(Q(host), this);
    m_pHost->setObjectName("1626");
    m_pHost->setEnabled(editable);
    m_pUser = new QLineEdit(Q(user), this);
    m_pUser->setObjectName("1693");
    m_pUser->setEnabled(editable);
    m_pPassword = new QLineEdit(Q(password), this);
    m_pPassword->setObjectName("1642");
    // Masked, and never shown as a tool tip either.
    m_pPassword->setEchoMode(QLineEdit::Password);
    form->addRow("Hostname or\nIP Address:", m_pHost);
    form->addRow("Username:", m_pUser);
    form->addRow("Password: ", m_pPassword);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("IDOK");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("IDCANCEL");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CLoginInformationDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pHost, &QLineEdit::textChanged, this, [this](const QString& t) { m_strHost = S(t); });
    connect(m_pUser, &QLineEdit::textChanged, this, [this](const QString& t) { m_strUser = S(t); });
    connect(m_pPassword, &QLineEdit::textChanged, this,
            [this](const QString& t) { m_strPassword = S(t); });
}

void CLoginInformationDlg::accept() {
    LoginCheck check = CheckLoginInformation(m_strHost, m_strUser, m_strPassword);
    if (!check.ok) {
        Prompter().Message(check.message, MsgIcon::Stop);
        if (QWidget* w = findChild<QWidget*>(QString::number(check.focusId))) w->setFocus();
        return;
    }
    QDialog::accept();
}
