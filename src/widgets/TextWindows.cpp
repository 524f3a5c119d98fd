#include "widgets/TextWindows.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <map>

#include "widgets/LineTextBox.h"
#include "compare/TextAccess.h"
#include "remote/FtpWorker.h"

CLineTextBox* g_pInputWindow = nullptr;
CLineTextBox* g_pOutputWindow = nullptr;
bool g_bInputShowsTitle = true;
bool g_bOutputShowsTitle = true;

namespace {
// Runs f on the GUI thread and waits for it.
template <class F>
void OnGui(F&& f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(app, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

std::map<int, std::function<void()>>& Observers() {
    static std::map<int, std::function<void()>> observers;
    return observers;
}

void TellObservers() {
    const auto copy = Observers();  // an observer may remove itself
    for (const auto& [id, f] : copy)
        if (f) f();
}

std::string ReadBox(CLineTextBox** box, bool* flag) {
    std::string text;
    OnGui([&] {
        *flag = false;
        if (*box) text = (*box)->GetText();
    });
    return text;
}

void WriteBox(CLineTextBox** box, bool* flag, const std::string& text) {
    OnGui([&] {
        *flag = false;
        if (*box) (*box)->SetWindowTextFromString(text);
    });
}
}  // namespace

void SetTextWindows(CLineTextBox* input, CLineTextBox* output) {
    g_pInputWindow = input;
    g_pOutputWindow = output;
    if (!input && !output) {
        SetTextWindowReaders(nullptr, nullptr);
        SetInputTextSink(nullptr);
        TellObservers();
        return;
    }
    SetTextWindowReaders([] { return ReadBox(&g_pInputWindow, &g_bInputShowsTitle); },
                         [] { return ReadBox(&g_pOutputWindow, &g_bOutputShowsTitle); });
    SetInputTextSink([](const std::string& text) { WriteBox(&g_pInputWindow, &g_bInputShowsTitle, text); });
    TellObservers();
}

int AddTextWindowsObserver(std::function<void()> observer) {
    static int next = 0;
    Observers()[++next] = std::move(observer);
    return next;
}

void RemoveTextWindowsObserver(int id) { Observers().erase(id); }

void SetOutputWindowText(const std::string& text) {
    WriteBox(&g_pOutputWindow, &g_bOutputShowsTitle, text);
}
