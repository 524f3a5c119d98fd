// The core's only ways to reach the user: a prompter for questions and
// messages, a trace sink for log lines and a progress sink for long runs.
// The window road installs implementations that run on the GUI thread;
// the command-line road answers from the job log; tests install fakes.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Icon of a message box: a refusal uses Stop, a Yes/No question Question.
enum class MsgIcon { None, Info, Warning, Stop, Question };

enum class Answer { Yes, No, Cancel };

struct LoginData {
    std::string host;
    std::string user;
    std::string password;
    std::string hostType;  // "UNIX" or "VMS"
    bool saveInVault = false;
};

class IPrompter {
public:
    virtual ~IPrompter() = default;
    // A message box with an OK button.
    virtual void Message(const std::string& text, MsgIcon icon) = 0;
    // A Yes/No question; Cancel only where allowCancel is set.
    virtual Answer Ask(const std::string& text, MsgIcon icon, bool allowCancel) = 0;
    // A Yes/No question whose Yes would lose or delete something (a file,
    // a basket, unsaved work): No is the default button, so that Enter
    // keeps it.
    virtual Answer AskDefaultNo(const std::string& text, MsgIcon icon) { return Ask(text, icon, false); }
    // A question with OK and Cancel buttons; true for OK. Without a window it
    // is the Yes/No question, Yes standing for OK.
    virtual bool AskOkCancel(const std::string& text, MsgIcon icon) { return Ask(text, icon, false) == Answer::Yes; }
    // A one-line prompt (title, prompt, start text); nullopt when cancelled.
    virtual std::optional<std::string> AskText(const std::string& title, const std::string& prompt,
                                               const std::string& initial) = 0;
    // The same prompt with a browse button: mode 2 picks a folder, 3 a file,
    // 4 a file to write (a new name may be given), starting in startFolder.
    // Without a window it is the plain prompt.
    virtual std::optional<std::string> AskTextBrowse(const std::string& title, const std::string& prompt,
                                                     const std::string& initial, int browseMode,
                                                     const std::string& startFolder) {
        return AskText(title, prompt, initial);
    }
    // The folder picker; nullopt when cancelled.
    virtual std::optional<std::string> PickFolder(const std::string& title,
                                                  const std::string& start) = 0;
    // Login data for a host; nullopt when cancelled.
    virtual std::optional<LoginData> AskLogin(const LoginData& start) = 0;
    // The wait cursor during long model work.
    virtual void SetWaitCursor(bool on) = 0;
};

// Answers every question with its default: No, cancel, nothing picked.
// What it would say goes to the lines set by SetDefaultPrompterLines (the
// trace; standard error until they are set). Used until a window exists
// and in batch mode.
class DefaultPrompter : public IPrompter {
public:
    void Message(const std::string& text, MsgIcon icon) override;
    Answer Ask(const std::string& text, MsgIcon icon, bool allowCancel) override;
    std::optional<std::string> AskText(const std::string&, const std::string&,
                                       const std::string&) override { return std::nullopt; }
    std::optional<std::string> PickFolder(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<LoginData> AskLogin(const LoginData&) override { return std::nullopt; }
    void SetWaitCursor(bool) override {}
};

// Writes messages to standard error; the command-line road's prompter.
class StderrPrompter : public DefaultPrompter {
public:
    void Message(const std::string& text, MsgIcon icon) override;
};

// Where the default prompter writes the messages and questions it is
// given; set once, before main, by the trace.
void SetDefaultPrompterLines(void (*write)(const std::string& line));

// The prompter of the run; never null (a DefaultPrompter until one is set).
IPrompter& Prompter();
// Installs a prompter; nullptr restores the default. Returns the previous one.
IPrompter* SetPrompter(IPrompter* prompter);
// A prompter of the calling thread alone, which answers there before the
// run's: a worker that must not reach the user gathers what it would say,
// and the window thread says it. nullptr: the run's again. Returns the
// previous one of this thread.
IPrompter* SetThreadPrompter(IPrompter* prompter);

// Where log lines go when the program is not in batch mode (the Message Window).
class ITraceSink {
public:
    virtual ~ITraceSink() = default;
    // May be called from any thread.
    virtual void AppendLine(const std::string& line) = 0;
};

// Progress of a long run; may be called from any thread.
class IProgressSink {
public:
    virtual ~IProgressSink() = default;
    virtual void Step() = 0;
    virtual void Reset() = 0;
};

// A prompter that records everything and answers from a script; for tests.
class RecordingPrompter : public IPrompter {
public:
    struct Entry {
        std::string kind;  // "message", "ask", "text", "folder", "login", "cursor"
        std::string text;
        MsgIcon icon = MsgIcon::None;
        std::string initial;  // the text a "text" prompt proposed
    };
    std::vector<Entry> entries;
    std::vector<Answer> answers;                 // taken in order; default No
    std::vector<std::optional<std::string>> texts;   // AskText answers in order
    std::vector<std::optional<std::string>> folders; // PickFolder answers in order
    std::vector<std::optional<LoginData>> logins;    // AskLogin answers in order

    void Message(const std::string& text, MsgIcon icon) override;
    Answer Ask(const std::string& text, MsgIcon icon, bool allowCancel) override;
    std::optional<std::string> AskText(const std::string& title, const std::string& prompt,
                                       const std::string& initial) override;
    std::optional<std::string> PickFolder(const std::string& title,
                                          const std::string& start) override;
    std::optional<LoginData> AskLogin(const LoginData& start) override;
    void SetWaitCursor(bool on) override;

    std::vector<std::string> Messages() const;  // texts of "message" entries
    std::vector<std::string> Questions() const; // texts of "ask" entries
};

// Installs a prompter for the lifetime of the object.
class ScopedPrompter {
public:
    explicit ScopedPrompter(IPrompter& p) : m_prev(SetPrompter(&p)) {}
    ~ScopedPrompter() { SetPrompter(m_prev); }
    ScopedPrompter(const ScopedPrompter&) = delete;
    ScopedPrompter& operator=(const ScopedPrompter&) = delete;
private:
    IPrompter* m_prev;
};
