#include "app/QtPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include "widgets/SharedDialogs.h"
#include "remote/ui/LoginInformationDlg.h"

namespace {
QMessageBox::Icon ToQtIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Info: return QMessageBox::Information;
        case MsgIcon::Warning: return QMessageBox::Warning;
        case MsgIcon::Stop: return QMessageBox::Critical;
        case MsgIcon::Question: return QMessageBox::Question;
        default: return QMessageBox::NoIcon;
    }
}
QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }
}  // namespace

QtPrompter::QtPrompter(QObject* parent) : QObject(parent) {}

template <class F>
auto QtPrompter::OnGuiThread(F&& f) -> decltype(f()) {
    using R = decltype(f());
    if (QThread::currentThread() == thread()) return f();
    R result{};
    QMetaObject::invokeMethod(
        this, [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
}

void QtPrompter::Message(const std::string& text, MsgIcon icon) {
    OnGuiThread([&] {
        QMessageBox box(ToQtIcon(icon), QApplication::applicationName(), Q(text),
                        QMessageBox::Ok, m_parent);
        box.exec();
        return 0;
    });
}

bool QtPrompter::AskOkCancel(const std::string& text, MsgIcon icon) {
    return OnGuiThread([&] {
        QMessageBox box(ToQtIcon(icon), QApplication::applicationName(), Q(text),
                        QMessageBox::Ok | QMessageBox::Cancel, m_parent);
        return box.exec() == QMessageBox::Ok;
    });
}

Answer QtPrompter::Ask(const std::string& text, MsgIcon icon, bool allowCancel) {
    return AskYesNo(text, icon, allowCancel, false);
}

Answer QtPrompter::AskDefaultNo(const std::string& text, MsgIcon icon) {
    return AskYesNo(text, icon, false, true);
}

Answer QtPrompter::AskYesNo(const std::string& text, MsgIcon icon, bool allowCancel, bool defaultNo) {
    return OnGuiThread([&] {
        auto buttons = QMessageBox::Yes | QMessageBox::No;
        if (allowCancel) buttons |= QMessageBox::Cancel;
        QMessageBox box(ToQtIcon(icon), QApplication::applicationName(), Q(text), buttons,
                        m_parent);
        if (defaultNo) box.setDefaultButton(QMessageBox::No);
        int r = box.exec();
        if (r == QMessageBox::Yes) return Answer::Yes;
        if (r == QMessageBox::Cancel) return Answer::Cancel;
        return Answer::No;
    });
}

std::optional<std::string> QtPrompter::AskText(const std::string& title, const std::string& prompt,
                                               const std::string& initial) {
    return OnGuiThread([&]() -> std::optional<std::string> {
        CTextPromptDlg dlg(Q(title), Q(prompt), Q(initial), m_parent);
        if (dlg.exec() != QDialog::Accepted) return std::nullopt;
        return dlg.TextBytes();
    });
}

std::optional<std::string> QtPrompter::AskTextBrowse(const std::string& title, const std::string& prompt,
                                                     const std::string& initial, int browseMode,
                                                     const std::string& startFolder) {
    return OnGuiThread([&]() -> std::optional<std::string> {
        CTextPromptDlg dlg(Q(title), Q(prompt), Q(initial), 0, true, browseMode, Q(startFolder), m_parent);
        if (dlg.exec() != QDialog::Accepted) return std::nullopt;
        return dlg.TextBytes();
    });
}

std::optional<std::string> QtPrompter::PickFolder(const std::string& title,
                                                  const std::string& start) {
    return OnGuiThread([&]() -> std::optional<std::string> {
        QString d = QFileDialog::getExistingDirectory(m_parent, Q(title), Q(start));
        if (d.isEmpty()) return std::nullopt;
        return S(d);
    });
}

std::optional<LoginData> QtPrompter::AskLogin(const LoginData& start) {
    return OnGuiThread([&]() -> std::optional<LoginData> {
        CLoginInformationDlg dlg(start.host, start.user, start.password, true, m_parent);
        if (dlg.exec() != QDialog::Accepted) return std::nullopt;
        LoginData d = start;
        d.host = dlg.m_strHost;
        d.user = dlg.m_strUser;
        d.password = dlg.m_strPassword;
        return d;
    });
}

void QtPrompter::SetWaitCursor(bool on) {
    OnGuiThread([&] {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
        return 0;
    });
}
