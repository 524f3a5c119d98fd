// The "Inline Update" dialog: compares this program's version with the
// update server's version file and, on request, downloads the updater and
// starts it. Downloads run in the network layer; every message box, file
// write and start happens on the GUI thread when a download has finished.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class CSafeWriter;
class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTextEdit;

class CInlineUpdateDlg : public QDialog {
    Q_OBJECT
public:
    explicit CInlineUpdateDlg(QWidget* parent = nullptr);
    ~CInlineUpdateDlg() override;

    // Set once the updater has really started; the program then closes.
    bool UpdaterStarted() const { return m_updaterStarted; }
    bool Checking() const { return m_checking; }
    bool Downloading() const { return m_downloading; }
    QString LogText() const;

    void CheckForLatest();
    void GetLatest();

    // Where the updater is saved: the program's folder unless a test sets it.
    static QString s_programFolder;
    // The main window's save step before the updater starts.
    static std::function<void()> s_saveProgramData;

private:
    void Build();
    void OnVersionReply(QNetworkReply* reply);
    void OnUpdaterReply(QNetworkReply* reply);
    void RunUpdater(const QString& path);
    void AppendLog(const QString& line);
    void SetLog(const QString& text);
    void Animate();
    QString UpdaterPath() const;
    // Watches a reply: its bytes go to sink as they come; the reply is
    // aborted with a reason at the size cap or the deadline.
    void Watch(QNetworkReply* reply, std::size_t cap, int ms,
               const std::function<bool(const QByteArray&)>& sink);
    void StopWatch(QNetworkReply* reply);

    QNetworkAccessManager* m_net = nullptr;
    QPointer<QNetworkReply> m_reply;  // the download under way
    QProgressBar* m_checkBar = nullptr;
    QProgressBar* m_downloadBar = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QPushButton* m_check = nullptr;
    QPushButton* m_get = nullptr;
    QTextEdit* m_version = nullptr;
    QString m_logText;
    bool m_updaterStarted = false;
    bool m_checking = false;
    bool m_downloading = false;
    QTimer m_ticker;
    QTimer m_deadline;            // the whole transfer under way
    std::size_t m_received = 0;   // its bytes so far
    std::function<bool(const QByteArray&)> m_sink;
    std::string m_failure;        // why it was cut short
    QByteArray m_versionBody;
    QByteArray m_head;            // the updater's first bytes
    std::unique_ptr<CSafeWriter> m_writer;  // the updater under its temporary name
};
