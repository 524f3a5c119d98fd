// The window road's prompter: message boxes and dialogs on the GUI thread.
// Called from another thread, it hands the question to the GUI thread and
// waits for the answer.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>

#include "platform/Prompter.h"

class QtPrompter : public QObject, public IPrompter {
    Q_OBJECT
public:
    explicit QtPrompter(QObject* parent = nullptr);
    void SetParentWindow(QWidget* w) { m_parent = w; }

    void Message(const std::string& text, MsgIcon icon) override;
    Answer Ask(const std::string& text, MsgIcon icon, bool allowCancel) override;
    Answer AskDefaultNo(const std::string& text, MsgIcon icon) override;
    bool AskOkCancel(const std::string& text, MsgIcon icon) override;
    std::optional<std::string> AskText(const std::string& title, const std::string& prompt,
                                       const std::string& initial) override;
    std::optional<std::string> AskTextBrowse(const std::string& title, const std::string& prompt,
                                             const std::string& initial, int browseMode,
                                             const std::string& startFolder) override;
    std::optional<std::string> PickFolder(const std::string& title,
                                          const std::string& start) override;
    std::optional<LoginData> AskLogin(const LoginData& start) override;
    void SetWaitCursor(bool on) override;

    // The run is to end (a signal, a logout): every modal box or dialog that
    // is up, and any open menu, is closed unanswered, and from then on
    // nothing waits for the user: messages go to standard error and every
    // question gets the answer the quiet prompter gives, on any thread.
    // True when something was closed (the caller is then inside its loop).
    bool EndRun();
    bool Ending() const { return m_ending; }

private:
    Answer AskYesNo(const std::string& text, MsgIcon icon, bool allowCancel, bool defaultNo);
    template <class F>
    auto OnGuiThread(F&& f) -> decltype(f());
    QPointer<QWidget> m_parent;
    std::atomic<bool> m_ending{false};
    StderrPrompter m_quiet;
};
