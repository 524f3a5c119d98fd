#include "app/QtPrompter.h"

#include <QApplication>
#include <QDialog>
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

bool QtPrompter::EndRun() {
    m_ending = true;
    bool closed = false;
    // Menus open over one another; each close leaves the one below it.
    for (int i = 0; i < 16; ++i) {
        QWidget* popup = QApplication::activePopupWidget();
        if (!popup) break;
        popup->close();
        closed = true;
    }
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (!dialog || !dialog->isVisible() || !dialog->isModal()) continue;
        dialog->reject();
        closed = true;
    }
    return closed;
}

void QtPrompter::Message(const std::string& text, MsgIcon icon) {
    if (m_ending) return m_quiet.Message(text, icon);
    OnGuiThread([&] {
        if (m_ending) {
            m_quiet.Message(text, icon);
            return 0;
        }
        CMessageBox box(ToQtIcon(icon), QApplication::applicationName(), Q(text),
                        QMessageBox::Ok, m_parent);
        box.exec();
        return 0;
    });
}

bool QtPrompter::AskOkCancel(const std::string& text, MsgIcon icon) {
    if (m_ending) return m_quiet.AskOkCancel(text, icon);
    return OnGuiThread([&] {
        if (m_ending) return m_quiet.AskOkCancel(text, icon);
        CMessageBox box(ToQtIcon(icon), QApplication::applicationName(), Q(text),
                        QMessageBox::Ok | QMessageBox::Cancel, m_parent);
        const int r = box.exec();
        if (m_ending) return m_quiet.AskOkCancel(text, icon);
        return r == QMessageBox::Ok;
    });
}

Answer QtPrompter::Ask(const std::string& text, MsgIcon icon, bool allowCancel) {
    return AskYesNo(text, icon, allowCancel, false);
}

Answer QtPrompter::AskDefaultNo(const std::string& text, MsgIcon icon) {
    return AskYesNo(text, icon, false, true);
}

Answer QtPrompter::AskYesNo(const std::string& text, MsgIcon icon, bool allowCancel, bool defaultNo) {
    if (m_ending) return m_quiet.Ask(text, icon, allowCancel);
    return OnGuiThread([&] {
        if (m_ending) return m_quiet.Ask(text, icon, allowCancel);
        auto buttons = QMessageBox::Yes | QMessageBox::No;
        if (allowCancel) buttons |= QMessageBox::Cancel;
        CMessageBox box(ToQtIcon(icon), QApplication::applicationName(), Q(text), buttons,
                        m_parent);
        if (defaultNo) box.setDefaultButton(QMessageBox::No);
        int r = box.exec();
        if (m_ending) return m_quiet.Ask(text, icon, allowCancel);
        if (r == QMessageBox::Yes) return Answer::Yes;
        if (r == QMessageBox::Cancel) return Answer::Cancel;
        return Answer::No;
    });
}

std::optional<std::string> QtPrompter::AskText(const std::string& title, const std::string& prompt,
                                               const std::string& initial) {
    if (m_ending) return std::nullopt;
    return OnGuiThread([&]() -> std::optional<std::string> {
        if (m_ending) return std::nullopt;
        CTextPromptDlg dlg(Q(title), Q(prompt), Q(initial), m_parent);
        if (dlg.exec() != QDialog::Accepted || m_ending) return std::nullopt;
        return dlg.TextBytes();
    });
}

std::optional<std::string> QtPrompter::AskTextBrowse(const std::string& title, const std::string& prompt,
                                                     const std::string& initial, int browseMode,
                                                     const std::string& startFolder) {
    if (m_ending) return std::nullopt;
    return OnGuiThread([&]() -> std::optional<std::string> {
        if (m_ending) return std::nullopt;
        CTextPromptDlg dlg(Q(title), Q(prompt), Q(initial), 0, true, browseMode, Q(startFolder), m_parent);
        if (dlg.exec() != QDialog::Accepted || m_ending) return std::nullopt;
        return dlg.TextBytes();
    });
}

std::optional<std::string> QtPrompter::PickFolder(const std::string& title,
                                                  const std::string& start) {
    if (m_ending) return std::nullopt;
    return OnGuiThread([&]() -> std::optional<std::string> {
        if (m_ending) return std::nullopt;
        QString d = QFileDialog::getExistingDirectory(m_parent, Q(title), Q(start));
        if (d.isEmpty() || m_ending) return std::nullopt;
        return S(d);
    });
}

std::optional<LoginData> QtPrompter::AskLogin(const LoginData& start) {
    if (m_ending) return std::nullopt;
    return OnGuiThread([&]() -> std::optional<LoginData> {
        if (m_ending) return std::nullopt;
        CLoginInformationDlg dlg(start.host, start.user, start.password, true, m_parent);
        if (dlg.exec() != QDialog::Accepted || m_ending) return std::nullopt;
        LoginData d = start;
        d.host = dlg.m_strHost;
        d.user = dlg.m_strUser;
        d.password = dlg.m_strPassword;
        return d;
    });
}

void QtPrompter::SetWaitCursor(bool on) {
    // The window's loop may be gone already: a worker does not wait for it.
    if (m_ending && QThread::currentThread() != thread()) return;
    OnGuiThread([&] {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
        return 0;
    });
}
