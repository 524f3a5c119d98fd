#include "platform/Prompter.h"

#include <atomic>
#include <cstdio>

namespace {
DefaultPrompter g_defaultPrompter;
std::atomic<IPrompter*> g_prompter{nullptr};
std::atomic<void (*)(const std::string&)> g_defaultPrompterLines{nullptr};
thread_local IPrompter* t_threadPrompter = nullptr;

void WriteDefaultPrompterLine(const std::string& text) {
    if (auto write = g_defaultPrompterLines.load()) {
        write(text);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }
}
}  // namespace

void SetDefaultPrompterLines(void (*write)(const std::string& line)) {
    g_defaultPrompterLines.store(write);
}

void DefaultPrompter::Message(const std::string& text, MsgIcon) {
    WriteDefaultPrompterLine(text);
}

Answer DefaultPrompter::Ask(const std::string& text, MsgIcon, bool allowCancel) {
    WriteDefaultPrompterLine(text);
    return allowCancel ? Answer::Cancel : Answer::No;
}

IPrompter& Prompter() {
    if (t_threadPrompter) return *t_threadPrompter;
    IPrompter* p = g_prompter.load();
    return p ? *p : g_defaultPrompter;
}

IPrompter* SetPrompter(IPrompter* prompter) {
    return g_prompter.exchange(prompter);
}

IPrompter* SetThreadPrompter(IPrompter* prompter) {
    IPrompter* previous = t_threadPrompter;
    t_threadPrompter = prompter;
    return previous;
}

void StderrPrompter::Message(const std::string& text, MsgIcon) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

void RecordingPrompter::Message(const std::string& text, MsgIcon icon) {
    entries.push_back({"message", text, icon, {}});
}

Answer RecordingPrompter::Ask(const std::string& text, MsgIcon icon, bool allowCancel) {
    entries.push_back({"ask", text, icon, {}});
    if (answers.empty()) return Answer::No;
    Answer a = answers.front();
    answers.erase(answers.begin());
    if (a == Answer::Cancel && !allowCancel) a = Answer::No;
    return a;
}

std::optional<std::string> RecordingPrompter::AskText(const std::string& title,
                                                      const std::string& prompt,
                                                      const std::string& initial) {
    entries.push_back({"text", title + "|" + prompt, MsgIcon::None, initial});
    if (texts.empty()) return std::nullopt;
    auto t = texts.front();
    texts.erase(texts.begin());
    return t;
}

std::optional<std::string> RecordingPrompter::PickFolder(const std::string& title,
                                                         const std::string&) {
    entries.push_back({"folder", title, MsgIcon::None, {}});
    if (folders.empty()) return std::nullopt;
    auto f = folders.front();
    folders.erase(folders.begin());
    return f;
}

std::optional<LoginData> RecordingPrompter::AskLogin(const LoginData& start) {
    entries.push_back({"login", start.host + "|" + start.user, MsgIcon::None, {}});
    if (logins.empty()) return std::nullopt;
    auto l = logins.front();
    logins.erase(logins.begin());
    return l;
}

void RecordingPrompter::SetWaitCursor(bool on) {
    entries.push_back({"cursor", on ? "on" : "off", MsgIcon::None, {}});
}

std::vector<std::string> RecordingPrompter::Messages() const {
    std::vector<std::string> out;
    for (const auto& e : entries)
        if (e.kind == "message") out.push_back(e.text);
    return out;
}

std::vector<std::string> RecordingPrompter::Questions() const {
    std::vector<std::string> out;
    for (const auto& e : entries)
        if (e.kind == "ask") out.push_back(e.text);
    return out;
}
