#include "filelist/ui/DirectoryUsageDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "filelist/ui/DialogText.h"
#include "model/Globals.h"
#include "model/ProgramData.h"
#include "platform/Prompter.h"
#include "widgets/SharedDialogs.h"

using namespace filelist_ui;

CDirectoryUsageDlg::CDirectoryUsageDlg(CProgramData* data, int mode, const std::string& remoteDir,
                                       const std::string& localDir, QWidget* parent)
    : QDialog(parent), m_strLocalDir(localDir), m_strRemoteDir(remoteDir), m_data(data), m_mode(mode) {
    setObjectName("2037");
    setWindowTitle("Directory Usage");
    // The tree choice is the program's option from the start; the radios and
    // the derive boxes write it as they change, whether or not OK follows.
    g_bAutoBasketCreate = true;

    m_flatten = Named(new QRadioButton("Flatten the tree view to place all files in one list"), "1501");
    m_message = Named(new QLabel("Remote vs. Local Msg..."), "1890");
    m_message->setWordWrap(true);
    m_value = Named(new QLabel("Value:"), "1907");
    m_value->setWordWrap(true);
    m_locale = Named(new QLabel("Locale:"), "1906");
    m_exclude = Named(new QLineEdit, "1618");
    m_keep = Named(new QLineEdit, "1617");
    m_autoCreate = Named(
        new QRadioButton("Auto-create baskets based on directory tree to show virtual directory view."), "1500");
    m_remLabel = Named(new QLabel("Rem:"), "1925");
    m_locLabel = Named(new QLabel("Loc:"), "1905");
    m_remoteEdit = Named(new QLineEdit, "1655");
    m_localEdit = Named(new QLineEdit, "1629");
    m_browseLocal = Named(new QPushButton("..."), "1389");
    m_browseRemote = Named(new QPushButton("..."), "1403");
    m_deriveLocal = Named(new QCheckBox("Derive Local directories based on remote paths"), "1502");
    m_deriveRemote = Named(new QCheckBox("Derive Remote directories based on local paths"), "1503");
    m_keep->setToolTip("Keep files which have these strings");
    m_exclude->setToolTip("Exclude files which have these strings");
    for (QPushButton* b : {m_browseLocal, m_browseRemote}) b->setAutoDefault(false);

    auto* root = new QVBoxLayout(this);
    root->addWidget(m_locale);
    root->addWidget(m_value);
    root->addWidget(m_message);

    auto* dirs = new QGridLayout;
    dirs->addWidget(m_deriveRemote, 0, 0, 1, 2);
    dirs->addWidget(m_remLabel, 1, 0, 1, 2);
    dirs->addWidget(m_remoteEdit, 2, 0);
    dirs->addWidget(m_browseRemote, 2, 1);
    dirs->addWidget(m_deriveLocal, 3, 0, 1, 2);
    dirs->addWidget(m_locLabel, 4, 0, 1, 2);
    dirs->addWidget(m_localEdit, 5, 0);
    dirs->addWidget(m_browseLocal, 5, 1);
    root->addLayout(dirs);
    root->addWidget(m_autoCreate);
    root->addWidget(m_flatten);

    auto* filter = new QGroupBox("Filter:");
    auto* fl = new QGridLayout(filter);
    fl->addWidget(new QLabel("Keep:"), 0, 0);
    fl->addWidget(m_keep, 0, 1);
    fl->addWidget(new QLabel("Exclude:"), 1, 0);
    fl->addWidget(m_exclude, 1, 1);
    root->addWidget(filter);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    box->button(QDialogButtonBox::Ok)->setObjectName("1");
    box->button(QDialogButtonBox::Cancel)->setObjectName("2");
    connect(box, &QDialogButtonBox::accepted, this, &CDirectoryUsageDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &CDirectoryUsageDlg::reject);
    root->addWidget(box);

    // What the dialog shows at the start.
    m_locLabel->setText("Local root directory:");
    m_remLabel->setText("Remote root directory: (must exist)");
    m_deriveRemote->setChecked(m_bDeriveRemote);
    m_deriveLocal->setChecked(m_bDeriveLocal);
    m_localEdit->setText(Q(m_strLocalDir));
    m_remoteEdit->setText(Q(m_strRemoteDir));
    m_autoCreate->setChecked(m_bAutoCreateBaskets);
    m_keep->setText(Q(m_strKeep));
    m_exclude->setText(Q(m_strExclude));
    if (m_mode == 1) {
        for (QWidget* w : std::initializer_list<QWidget*>{m_deriveLocal, m_browseLocal, m_localEdit, m_locLabel})
            w->hide();
        m_message->setText("This will place all the files in one single folder in the REMOTE area, after being FTP-ed.");
        m_locale->setText("Local root directory in use:");
        std::string shown = m_strLocalDir;
        if (shown.empty() || shown.back() != '/') shown += '/';
        m_value->setText(Q(shown));
    } else {
        for (QWidget* w :
             std::initializer_list<QWidget*>{m_deriveRemote, m_browseRemote, m_remoteEdit, m_remLabel})
            w->hide();
        m_message->setText("This will place all the files in one single folder in the LOCAL area, after being FTP-ed.");
        m_locale->setText("Remote root directory in use:");
        m_value->setText(Q(m_strRemoteDir));
    }
    m_message->hide();

    connect(m_deriveRemote, &QCheckBox::clicked, this, &CDirectoryUsageDlg::OnDeriveRemote);
    connect(m_deriveLocal, &QCheckBox::clicked, this, &CDirectoryUsageDlg::OnDeriveLocal);
    connect(m_autoCreate, &QRadioButton::clicked, this, &CDirectoryUsageDlg::OnAutoCreateBaskets);
    connect(m_flatten, &QRadioButton::clicked, this, &CDirectoryUsageDlg::OnFlattenTree);
    connect(m_browseRemote, &QPushButton::clicked, this, &CDirectoryUsageDlg::OnBrowseRemoteRoot);
    connect(m_browseLocal, &QPushButton::clicked, this, &CDirectoryUsageDlg::OnBrowseLocalRoot);
    connect(m_localEdit, &QLineEdit::textChanged, this, [this](const QString& t) { m_strLocalDir = S(t); });
    connect(m_remoteEdit, &QLineEdit::textChanged, this, [this](const QString& t) { m_strRemoteDir = S(t); });
    connect(m_keep, &QLineEdit::textChanged, this, [this](const QString& t) { m_strKeep = S(t); });
    connect(m_exclude, &QLineEdit::textChanged, this, [this](const QString& t) { m_strExclude = S(t); });
}

void CDirectoryUsageDlg::OnDeriveRemote() {
    m_bDeriveRemote = !m_bDeriveRemote;
    m_deriveRemote->setChecked(m_bDeriveRemote);
    m_remLabel->setText(m_bDeriveRemote ? "Remote root directory: (must exist)"
                                        : "Remote directory for all files: (must exist)");
    UpdateTreeChoice();
}

void CDirectoryUsageDlg::OnDeriveLocal() {
    m_bDeriveLocal = !m_bDeriveLocal;
    m_deriveLocal->setChecked(m_bDeriveLocal);
    m_locLabel->setText(m_bDeriveLocal ? "Local root directory:" : "Local directory for all files:");
    UpdateTreeChoice();
}

void CDirectoryUsageDlg::OnAutoCreateBaskets() {
    m_bAutoCreateBaskets = 1;
    g_bAutoBasketCreate = true;
    m_autoCreate->setChecked(true);
    m_flatten->setChecked(false);
}

void CDirectoryUsageDlg::OnFlattenTree() {
    m_bAutoCreateBaskets = 0;
    g_bAutoBasketCreate = false;
    m_autoCreate->setChecked(false);
    m_flatten->setChecked(true);
}

void CDirectoryUsageDlg::OnBrowseRemoteRoot() {
    if (!m_data) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_strRemoteDir = m_data->BrowseRemoteFolder();
    QApplication::restoreOverrideCursor();
    m_remoteEdit->setText(Q(m_strRemoteDir));
}

void CDirectoryUsageDlg::OnBrowseLocalRoot() {
    const std::string folder = BrowseForLocalFolder();
    if (folder.empty()) return;
    m_strLocalDir = folder;
    m_localEdit->setText(Q(folder));
}

void CDirectoryUsageDlg::UpdateTreeChoice() {
    m_bAutoCreateBaskets = (m_bDeriveRemote && m_bDeriveLocal) ? 1 : 0;
    g_bAutoBasketCreate = m_bAutoCreateBaskets != 0;
    m_autoCreate->setChecked(m_bAutoCreateBaskets);
    // Radios of one group: switching one off needs the other switched on.
    if (!m_bAutoCreateBaskets) m_flatten->setChecked(true);
    m_autoCreate->setVisible(m_bAutoCreateBaskets);
    m_flatten->setVisible(m_bAutoCreateBaskets);
    m_message->setVisible(!m_bAutoCreateBaskets);
}

void CDirectoryUsageDlg::accept() {
    const std::string again = "Are you sure you want to leave it empty for now?";
    if (m_strRemoteDir.empty() &&
        Prompter().Ask("Remote directory should not be empty.\r\n" + again, MsgIcon::Question, false) != Answer::Yes) {
        m_remoteEdit->setFocus();
        return;
    }
    if (m_strLocalDir.empty() &&
        Prompter().Ask("Local directory should not be empty.\r\n" + again, MsgIcon::Question, false) != Answer::Yes) {
        m_localEdit->setFocus();
        return;
    }
    QDialog::accept();
}
