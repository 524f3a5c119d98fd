// The built program under a real X server (Xvfb), driven with xdotool like a
// user: add three files through FTP > Browse local files and the file dialog
// (a picture among them that only its content marks binary),
// F5, a server copy changes, F4, Ctrl+S, close, start again, close again;
// then the work file and the local and server files tell what happened.
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "FtpWindowFixture.h"
#include "JourneyFixture.h"
#include "support/XServer.h"

namespace {

using namespace std::chrono_literals;

using qvltest::Xdo;

class FtpEndToEnd : public FtpWindowTest {
protected:
    void SetUp() override {
        FtpWindowTest::SetUp();
        if (IsSkipped()) return;
        std::string why;
        if (!x.Start(why, "1280x1024x24")) GTEST_SKIP() << why;
        ASSERT_EQ(::access("/usr/bin/xdotool", X_OK), 0) << "xdotool is not installed (run scripts/setup)";
        env = qvltest::ProgramEnvUnderX(x.Display(), tmp.path());
    }
    void TearDown() override {
        program.reset();
        env.clear();
        FtpWindowTest::TearDown();
    }

    // Starts the program and waits for its main window; the window id.
    std::string StartProgram() {
        program = std::make_unique<qvltest::Child>(std::vector<std::string>{QVL_BINARY});
        const std::string out = Xdo("search --sync --onlyvisible --name '^Quorvellian$'");
        std::string id = out.substr(0, out.find('\n'));
        return id.find_first_not_of("0123456789") == std::string::npos ? id : std::string();
    }
    // Closes it with its Exit key (Shift+Escape) and waits for the end.
    bool CloseProgram(const std::string& id) {
        Xdo("windowfocus --sync " + id);
        Xdo("key --clearmodifiers shift+Escape");
        if (qvltest::WaitFor([&] { return !program->Running(); }, 10000)) return true;
        Xdo("windowclose " + id);
        return qvltest::WaitFor([&] { return !program->Running(); }, 5000);
    }
    std::string WorkFile() { return g_strSessionInfoDir + "Box01-Ses01-S.txt"; }
    bool AllSent(const std::vector<std::string>& names) {
        const std::string work = ReadFile(WorkFile());
        for (const std::string& n : names) {
            const std::string name = "FileName=" + n + ",";
            const size_t at = work.find(name);
            if (at == std::string::npos) return false;
            const std::string line = work.substr(at, work.find('\n', at) - at);
            if (line.find("IsFTPed=Yes") == std::string::npos) return false;
        }
        return true;
    }
    bool SameFile(const std::string& a, const std::string& b) {
        std::error_code ec;
        return std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec) && ReadFile(a) == ReadFile(b);
    }

    qvltest::XServer x;
    std::vector<std::unique_ptr<ScopedEnv>> env;
    std::unique_ptr<qvltest::Child> program;
};

TEST_F(FtpEndToEnd, AddPutChangeGetSaveCloseAndStartAgain) {
    MakeFtpArea(false);
    // A picture whose extension is not on the binary list: its NUL byte
    // makes it a binary item when it is added.
    const std::string picture("\x89PNG\r\n\x1a\n\x00\n\x1a\r", 12);
    WriteFile(Local() + "pic.png", picture);
    const std::vector<std::string> names = {"my file.txt", "pic.png", "notes.txt"};
    const std::string id = StartProgram();
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    Xdo("windowfocus --sync " + id);
    Xdo("key Escape");

    // FTP > Browse local files: the menu title is found by trying the places
    // where it can stand in the menu bar, then the seventh row of the menu is
    // clicked; the file dialog tells when it opened.
    std::string dialog;
    for (int x = 260; x <= 300 && dialog.empty(); x += 10) {
        Xdo("mousemove --sync --window " + id + " " + std::to_string(x) + " 10 click 1");
        std::this_thread::sleep_for(300ms);
        Xdo("mousemove --sync --window " + id + " 350 161 click 1");
        for (int wait = 0; wait < 20 && dialog.empty(); ++wait) {
            const std::string out = Xdo("search --onlyvisible --name '^Browse Local File System$'");
            if (out.find_first_of("0123456789") == 0) dialog = out.substr(0, out.find('\n'));
            else std::this_thread::sleep_for(100ms);
        }
        if (dialog.empty()) Xdo("key Escape Escape");
    }
    ASSERT_FALSE(dialog.empty()) << "the file dialog did not open";
    Xdo("windowfocus --sync " + dialog);
    Xdo("type --delay 5 '\"" + Local() + "my file.txt\" \"" + Local() + "pic.png\" \"" + Local() + "notes.txt\"'");
    Xdo("key Return");

    // The three new rows are the selection: F5 sends them.
    const auto sent = [&] {
        for (const std::string& n : names)
            if (!SameFile(Local() + n, ServerRoot() + "/" + n)) return false;
        return true;
    };
    bool put = false;
    for (int attempt = 0; attempt < 3 && !put; ++attempt) {
        Xdo("windowfocus --sync " + id);
        Xdo("key F5");
        put = qvltest::WaitFor(sent, 8000);
        if (!put) Xdo("key Escape");
    }
    ASSERT_TRUE(put) << "F5 did not put the three added files on the server";
    std::this_thread::sleep_for(1500ms);  // the worker ends, a tick takes the results

    // A server copy changes; F4 fetches the three again.
    WriteFile(ServerRoot() + "/my file.txt", "changed on the server\n");
    bool got = false;
    for (int attempt = 0; attempt < 3 && !got; ++attempt) {
        Xdo("key F4");
        got = qvltest::WaitFor([&] { return ReadFile(Local() + "my file.txt") == "changed on the server\n"; },
                               8000);
        if (!got) Xdo("key Escape");
    }
    ASSERT_TRUE(got) << "F4 did not fetch the changed file";
    std::this_thread::sleep_for(2500ms);  // the next ticks take the results over

    std::filesystem::remove(WorkFile());
    bool saved = false;
    for (int attempt = 0; attempt < 3 && !saved; ++attempt) {
        Xdo("key ctrl+s");
        saved = qvltest::WaitFor([&] { return AllSent(names); }, 3000);
    }
    EXPECT_TRUE(saved) << ReadFile(WorkFile());
    ASSERT_TRUE(CloseProgram(id));

    // Started again on what it saved, and closed again: nothing is lost.
    const std::string again = StartProgram();
    ASSERT_FALSE(again.empty()) << "the main window did not appear the second time";
    ASSERT_TRUE(CloseProgram(again));
    EXPECT_TRUE(AllSent(names)) << ReadFile(WorkFile());
    EXPECT_EQ(ReadFile(Local() + "my file.txt"), "changed on the server\n");
    EXPECT_EQ(ReadFile(Local() + "pic.png"), picture);
    EXPECT_EQ(ReadFile(ServerRoot() + "/pic.png"), picture);
    EXPECT_EQ(ReadFile(Local() + "notes.txt"), "notes\n");
}

}  // namespace
