#include "settings/ui/InlineUpdateDlg.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "model/Globals.h"
#include "model/SafeFile.h"
#include "platform/Prompter.h"
#include "settings/UpdateCheck.h"

QString CInlineUpdateDlg::s_programFolder;
std::function<void()> CInlineUpdateDlg::s_saveProgramData;

namespace {
constexpr int kCheckRange = 2100;
constexpr int kDownloadRange = 1800;

QLabel* Link(QWidget* parent, const char* id, const QString& text, const QString& url) {
    auto* l = new QLabel(parent);
    l->setObjectName(id);
    l->setText(url.isEmpty() ? text : "<a href=\"" + url.toHtmlEscaped() + "\">" + text + "</a>");
    l->setOpenExternalLinks(true);
    return l;
}
}  // namespace

CInlineUpdateDlg::CInlineUpdateDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Inline Update");
    setObjectName("1975");
    m_net = new QNetworkAccessManager(this);
    Build();
    m_ticker.setInterval(100);
    connect(&m_ticker, &QTimer::timeout, this, [this] { Animate(); });
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (!m_reply) return;
        m_failure = "the transfer took longer than " + std::to_string(m_deadline.interval() / 1000) + " seconds";
        m_reply->abort();
    });
}

CInlineUpdateDlg::~CInlineUpdateDlg() {
    // A download still under way ends without reporting to a closed dialog;
    // its temporary file goes with it.
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
    if (m_writer) m_writer->Abort();
}

void CInlineUpdateDlg::Watch(QNetworkReply* reply, std::size_t cap, int ms,
                             const std::function<bool(const QByteArray&)>& sink) {
    m_reply = reply;
    // The network thread holds at most this much ahead of the reads below:
    // without a bound a fast endless body piles up there faster than the
    // window takes it.
    reply->setReadBufferSize(1 << 20);
    m_received = 0;
    m_failure.clear();
    m_sink = sink;
    m_deadline.start(ms);
    // The bytes are taken as they come, so the reply never holds more than
    // one read's worth, and counted against the cap.
    connect(reply, &QNetworkReply::readyRead, this, [this, reply, cap] {
        if (!m_failure.empty()) return;
        const QByteArray part = reply->readAll();
        m_received += std::size_t(part.size());
        if (m_received > cap) {
            m_failure = "the server sent more than " + std::to_string(cap) + " bytes";
            reply->abort();
        } else if (!m_sink(part)) {
            m_failure = "the file could not be written";
            reply->abort();
        }
    });
}

void CInlineUpdateDlg::StopWatch(QNetworkReply* reply) {
    m_deadline.stop();
    reply->disconnect(this);
    // What came with the end of the reply.
    if (m_failure.empty() && reply->bytesAvailable() > 0) {
        const QByteArray part = reply->readAll();
        m_received += std::size_t(part.size());
        if (!m_sink(part)) m_failure = "the file could not be written";
    }
    m_sink = nullptr;
}

void CInlineUpdateDlg::Build() {
    auto* grid = new QGridLayout(this);
    m_version = new QTextEdit(this);
    m_version->setObjectName("1840");
    m_version->setReadOnly(true);
    m_version->setPlainText(QString(kProgramVersion) + " " + kProgramBuildDate);
    m_version->setStyleSheet("background: white;");
    QFont f("Verdana", 8);
    m_version->setFont(f);
    m_version->setFixedHeight(m_version->fontMetrics().height() * 2 + 8);
    grid->addWidget(m_version, 0, 0, 1, 3);

    const QString base = QString::fromStdString(UpdateBaseUrl());
    auto* links = new QHBoxLayout;
    links->addWidget(Link(this, "1702", "Home", base.isEmpty() ? QString() : base));
    links->addWidget(Link(this, "1700", "Email", QString()));
    links->addWidget(Link(this, "1703", "Modification History",
                          base.isEmpty() ? QString() : base + "history.html"));
    links->addStretch(1);
    grid->addLayout(links, 1, 0, 1, 3);

    m_check = new QPushButton("Check for Latest", this);
    m_check->setObjectName("1383");
    m_checkBar = new QProgressBar(this);
    m_checkBar->setObjectName("1787");
    m_checkBar->setRange(0, kCheckRange);
    m_checkBar->setTextVisible(false);
    grid->addWidget(m_check, 2, 0);
    grid->addWidget(m_checkBar, 2, 1, 1, 2);

    m_get = new QPushButton("Get Latest", this);
    m_get->setObjectName("1368");
    m_get->setEnabled(false);
    m_downloadBar = new QProgressBar(this);
    m_downloadBar->setObjectName("1788");
    m_downloadBar->setRange(0, kDownloadRange);
    m_downloadBar->setTextVisible(false);
    grid->addWidget(m_get, 3, 0);
    grid->addWidget(m_downloadBar, 3, 1, 1, 2);

    m_log = new QPlainTextEdit(this);
    m_log->setObjectName("1635");
    m_log->setReadOnly(true);
    m_log->setMinimumSize(420, 140);
    grid->addWidget(m_log, 4, 0, 1, 3);

    auto* close = new QPushButton("Close", this);
    close->setObjectName("1");
    close->setAutoDefault(false);
    grid->addWidget(close, 5, 2, Qt::AlignRight);

    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_check, &QPushButton::clicked, this, [this] { CheckForLatest(); });
    connect(m_get, &QPushButton::clicked, this, [this] { GetLatest(); });
}

QString CInlineUpdateDlg::LogText() const { return m_logText; }

void CInlineUpdateDlg::SetLog(const QString& text) {
    m_logText = text;
    m_log->setPlainText(QString(text).replace("\r\n", "\n"));
}

void CInlineUpdateDlg::AppendLog(const QString& line) {
    SetLog(m_logText.isEmpty() ? line : m_logText + "\r\n" + line);
}

void CInlineUpdateDlg::Animate() {
    if (m_checking) m_checkBar->setValue((m_checkBar->value() + 10) % kCheckRange);
    if (m_downloading) m_downloadBar->setValue((m_downloadBar->value() + 10) % kDownloadRange);
    if (!m_checking && !m_downloading) m_ticker.stop();
}

QString CInlineUpdateDlg::UpdaterPath() const {
    const QString folder =
        s_programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : s_programFolder;
    return QDir(folder).absoluteFilePath(kUpdaterFileName);
}

void CInlineUpdateDlg::CheckForLatest() {
    if (m_checking || m_downloading) return;
    const std::string base = UpdateBaseUrl();
    SetLog(QString::fromStdString(CheckStartLog(base.empty() ? "(none)" : base)));
    if (base.empty()) {
        Prompter().Message(kRetrieveFailed, MsgIcon::Stop);
        return;
    }
    m_checking = true;
    m_checkBar->setValue(0);
    m_ticker.start();
    QNetworkRequest request(QUrl(QString::fromStdString(VersionFileUrl(base))));
    // Always the server's current file, never a cached one.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(60000);
    QNetworkReply* reply = m_net->get(request);
    m_versionBody.clear();
    const UpdateLimits& limits = UpdateLimitValues();
    Watch(reply, limits.maxVersionBytes, limits.versionMs, [this](const QByteArray& part) {
        m_versionBody += part;
        return true;
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { OnVersionReply(reply); });
}

void CInlineUpdateDlg::OnVersionReply(QNetworkReply* reply) {
    StopWatch(reply);
    reply->deleteLater();
    m_checking = false;
    m_checkBar->setValue(kCheckRange);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!m_failure.empty() || reply->error() != QNetworkReply::NoError || (status != 0 && status != 200)) {
        AppendLog(kRetrieveFailed);
        Prompter().Message(kRetrieveFailed, MsgIcon::Stop);
        return;
    }
    const QByteArray body = m_versionBody;
    const auto latest = ParseVersionFile(std::string(body.constData(), std::size_t(body.size())));
    if (!latest) {
        AppendLog(kVersionFileInvalid);
        Prompter().Message(kVersionFileInvalid, MsgIcon::Stop);
        return;
    }
    const CheckVerdict v = MakeCheckVerdict(*latest, kProgramVersion);
    SetLog(QString::fromStdString(v.log));
    if (!v.newer) {
        Prompter().Message(v.message, MsgIcon::Info);
        return;
    }
    m_check->setEnabled(false);
    m_get->setEnabled(true);
    if (Prompter().AskOkCancel(v.message, MsgIcon::Question)) GetLatest();
}

void CInlineUpdateDlg::GetLatest() {
    if (m_downloading || m_checking) return;
    m_logText.clear();
    SetLog(QString());
    m_get->setEnabled(false);
    const QString path = UpdaterPath();
    // An updater already in the program's folder is run as it is. Only a
    // complete download is ever put there; anything else found there (such
    // as a page an older download saved) is removed and fetched anew.
    if (QFileInfo::exists(path)) {
        QFile existing(path);
        const bool program = QFileInfo(path).isFile() && existing.open(QIODevice::ReadOnly) &&
                             LooksLikeProgram(existing.read(4).toStdString());
        existing.close();
        if (program) {
            RunUpdater(path);
            return;
        }
        if (!QFileInfo(path).isFile() || !QFile::remove(path)) {
            const std::string text = "Failed to execute the command: " + path.toStdString();
            Prompter().Message(text, MsgIcon::Stop);
            m_get->setEnabled(true);
            return;
        }
        AppendLog(QString("Removed ") + kUpdaterFileName + ": it is not a program.");
    }
    const std::string base = UpdateBaseUrl();
    if (base.empty()) {
        Prompter().Message(kRetrieveFailed, MsgIcon::Stop);
        m_get->setEnabled(true);
        return;
    }
    // The download is written under a temporary name as it comes and takes
    // the updater's name only once it is complete.
    m_writer = std::make_unique<CSafeWriter>();
    m_writer->SetFlushToDisk(false);
    std::string error;
    if (!m_writer->Open(path.toStdString(), 0755, error)) {
        m_writer.reset();
        const std::string text = std::string("Failed to download ") + kUpdaterFileName + ": " + error;
        AppendLog(QString::fromStdString(text));
        Prompter().Message(text, MsgIcon::Stop);
        m_get->setEnabled(true);
        return;
    }
    AppendLog(QString("\r\nDownloading ") + kUpdaterFileName + "...");
    m_downloading = true;
    m_downloadBar->setValue(0);
    m_ticker.start();
    QNetworkRequest request(QUrl(QString::fromStdString(UpdaterUrl(base))));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(120000);
    QNetworkReply* reply = m_net->get(request);
    m_head.clear();
    const UpdateLimits& limits = UpdateLimitValues();
    Watch(reply, limits.maxUpdaterBytes, limits.updaterMs, [this](const QByteArray& part) {
        if (m_head.size() < 4) m_head += part.left(4 - m_head.size());
        return m_writer->Write(part.constData(), std::size_t(part.size()));
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { OnUpdaterReply(reply); });
}

void CInlineUpdateDlg::OnUpdaterReply(QNetworkReply* reply) {
    StopWatch(reply);
    reply->deleteLater();
    m_downloading = false;
    m_downloadBar->setValue(kDownloadRange);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString path = UpdaterPath();
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    std::string error;
    bool saved = false;
    // Only a whole program is kept: the length the server announced (or a
    // clean end where it announced none), and the start of a program.
    if (!m_failure.empty()) {
        error = m_failure;
    } else if (reply->error() != QNetworkReply::NoError || (status != 0 && status != 200)) {
        error = reply->errorString().toStdString();
    } else if (announced.isValid() && announced.toULongLong() != m_received) {
        error = "the download is incomplete (" + std::to_string(m_received) + " of " +
                std::to_string(announced.toULongLong()) + " bytes)";
    } else if (!LooksLikeProgram(m_head.toStdString())) {
        error = "the downloaded file is not a program";
    } else {
        saved = m_writer->Commit(error);
        if (!saved && error.empty()) error = "write failed";
    }
    if (!saved) m_writer->Abort();
    m_writer.reset();
    if (!saved) {
        const std::string text = std::string("Failed to download ") + kUpdaterFileName + ": " + error;
        AppendLog(QString::fromStdString(text));
        Prompter().Message(text, MsgIcon::Stop);
        m_get->setEnabled(true);
        return;
    }
    AppendLog("Download complete.");
    RunUpdater(path);
}

void CInlineUpdateDlg::RunUpdater(const QString& path) {
    if (s_saveProgramData) s_saveProgramData();
    m_get->setEnabled(false);
    if (!QProcess::startDetached(path, {}, QFileInfo(path).absolutePath())) {
        Prompter().Message("Failed to execute the command: " + path.toStdString(), MsgIcon::Stop);
        m_get->setEnabled(true);
        return;
    }
    m_updaterStarted = true;
    accept();
}
