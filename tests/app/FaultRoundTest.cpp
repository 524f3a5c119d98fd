// The running window against things going wrong around it: the FTP server
// dying in the middle of a basket, a full local disk, a local file nobody may
// read and a work area that cannot be written. Each time the user is told,
// nothing local is lost or left half-written, and the window goes on working.
#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

#include "FtpWindowFixture.h"
#include "widgets/LineTextBox.h"
#include "app/CompareCommands.h"
#include "app/ConversionCommands.h"
#include "app/ItemCommands.h"
#include "compare/ui/FileDiffDlg.h"
#include "convert_ui/ui/BatchTextConversionDlg.h"
#include "widgets/TextRichEdit.h"
#include "widgets/TextWindows.h"
#include "convert/ConversionRun.h"
#include "support/FileAccess.h"
#include "support/RunProgram.h"
#include "ProgramUnderXFixture.h"
#include "ThrottledFtpServer.h"
#include "support/XServer.h"

namespace fs = std::filesystem;

namespace {

// The names in a folder (no dot entries), sorted.
std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Bytes(size_t size, char seed) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + (i * 7 + i / 4096) % 61);
    return s;
}

// A local disk of one megabyte: a tmpfs mounted for the test where the test
// may mount one, else a limit on the size of the files this process writes.
// Fill() leaves no room at all; Free() gives the room back.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& path) : m_path(path) {
        fs::create_directories(path);
        if (::mount("tmpfs", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m,mode=0755") == 0) {
            m_mounted = true;
            return;
        }
        // No mount here: files written by this process stop growing at one
        // megabyte (the write fails with EFBIG instead of a signal).
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_oldLimit);
        m_limited = SetLimit(1 << 20);
    }
    ~SmallDisk() {
        Free();
        if (m_mounted) ::umount2(m_path.c_str(), MNT_DETACH);
        if (m_limited) {
            ::setrlimit(RLIMIT_FSIZE, &m_oldLimit);
            std::signal(SIGXFSZ, m_oldHandler);
        }
    }
    bool ok() const { return m_mounted || m_limited; }
    // A real full disk (not only a limit on the size of one file).
    bool mounted() const { return m_mounted; }
    // How the system says that a write did not fit.
    const char* FullText() const { return m_mounted ? "No space left on device" : "File too large"; }
    const std::string& path() const { return m_path; }

    void Fill() {
        if (m_limited) {
            SetLimit(0);
            return;
        }
        std::ofstream f(m_path + "/.filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (f.write(block.data(), block.size())) {}
        // A full disk refuses a file's first byte, but a tmpfs still has
        // room for a new (empty) name: leave that as it is.
    }
    void Free() {
        if (m_limited) {
            SetLimit(1 << 20);
            return;
        }
        std::error_code ec;
        fs::remove(m_path + "/.filler", ec);
    }
    // The names in the folder besides the filler.
    std::vector<std::string> Names() const {
        std::vector<std::string> n = ::Names(m_path);
        n.erase(std::remove(n.begin(), n.end(), ".filler"), n.end());
        return n;
    }

private:
    static bool SetLimit(rlim_t size) {
        rlimit l{};
        ::getrlimit(RLIMIT_FSIZE, &l);
        l.rlim_cur = std::min(size, l.rlim_max);
        return ::setrlimit(RLIMIT_FSIZE, &l) == 0;
    }
    std::string m_path;
    bool m_mounted = false;
    bool m_limited = false;
    rlimit m_oldLimit{};
    void (*m_oldHandler)(int) = SIG_DFL;
};

class FaultRoundTest : public FtpWindowTest {
protected:
    void TearDown() override {
        if (frame) frame->close();
        JoinFtpWorker(10000);
        frame.reset();
        throttled.reset();
        g_TextBuffer.clear();
        FtpWindowTest::TearDown();
    }

    // A fresh, unthrottled server on the same folder (after the old one died).
    void RestartServer() {
        throttled.reset();
        server = std::make_unique<qvltest::PyFtpServer>(ServerRoot());
        ASSERT_TRUE(server->ok()) << server->why();
        port.reset();
        port = std::make_unique<ScopedEnv>("QVL_FTP_PORT", std::to_string(server->port()).c_str());
    }

    // Appends items to the current basket "One" and shows them.
    void AddItems(const std::vector<CFileItem>& items) {
        CProgramData& d = frame->Data();
        for (const CFileItem& it : items) {
            CFileItem copy = it;
            copy.RefreshLocalTime();
            d.InsertFileItems(0, 0, 0, d.GetFileItemCount(0, 0, 0), copy);
        }
        frame->Presenter().ShowSession(0, 0, 0);
    }
    std::vector<int> AllRows() {
        std::vector<int> rows;
        for (int r = 0; r < frame->FileList()->topLevelItemCount(); ++r) rows.push_back(r);
        return rows;
    }
    // The worker's end, as the window shows it: FTP idle, the stop command
    // marked idle again and the progress bar back at its start.
    void ExpectFtpSettled() {
        EXPECT_TRUE(g_bFtpIdle);
        EXPECT_FALSE(g_bFtpBreak);
        EXPECT_EQ(g_nProgressPos, 0);
        // The bar follows the worker's count on its timer.
        auto* bar = frame->findChild<QProgressBar*>("2174");
        ASSERT_NE(bar, nullptr);
        EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() == 0; }, 10000));
        EXPECT_EQ(bar->value(), 0);
        EXPECT_TRUE(frame->Action(32567)->isChecked());
    }
    // Converts the row's file over itself in the batch window, "cat" to "dog".
    void ConvertInPlace(int row) {
        UseOneMacroLibrary(frame->Data().m_LibraryList, "Animals", "cat", "dog");
        SelectRows({row});
        g_nWorkMode = 1;
        frame->ExecuteCommand(32629);
        CBatchTextConversionDlg* batch = frame->ConversionCommands().Batch();
        ASSERT_NE(batch, nullptr);
        const auto press = [](QWidget& w, const char* id) { w.findChild<QAbstractButton*>(id)->click(); };
        press(*batch, "1510");  // convert, not preview
        press(*batch, "1737");  // the selected file
        ASSERT_EQ(batch->InputList()->topLevelItemCount(), 1);
        press(*batch, "1855");
        batch->SelectAllInputFiles();
        press(batch->OutputFilenames(), "1822");  // written over itself
        prompter.answers = {Answer::Yes};          // asked about that
        press(*batch, "1348");
        EXPECT_TRUE(QTest::qWaitFor([&] { return !batch->Runner().IsRunning(); }, 10000));
    }
    std::string Status(int row) { return frame->Data().GetFileItem(0, 0, 0, row).IsFTPed; }
    bool Logged(const std::string& part) { return Log().find(part) != std::string::npos; }
    bool Said(const std::string& part) {
        for (const std::string& m : prompter.Messages())
            if (m.find(part) != std::string::npos) return true;
        return false;
    }

};

// ------------------------------------------------------------------ the server dies

TEST_F(FaultRoundTest, TheServerDyingInABasketPutFailsWhatIsLeftAndTheNextPutWorks) {
    MakeFtpArea();
    UseThrottledServer(512 * 1024);
    Open();
    std::vector<CFileItem> big;
    std::map<std::string, std::string> local;
    for (int i = 1; i <= 4; ++i) {
        const std::string name = "big" + std::to_string(i) + ".bin";
        local[name] = Bytes(3 << 20, char('a' + i));
        WriteFile(Local() + name, local[name]);
        big.push_back(Item(name, Local(), true));
    }
    AddItems(big);
    const std::vector<std::string> before = Names(Local());
    SelectRows(AllRows());
    frame->ExecuteCommand(32564);  // F5
    ASSERT_TRUE(qvltest::WaitFor([&] { return fs::exists(ServerRoot() + "/big1.bin"); }, 10000)) << Log();
    throttled->Kill();
    Finish();
    Tick();

    ExpectFtpSettled();
    EXPECT_TRUE(Logged("-?- ")) << Log();
    EXPECT_EQ(Count("--- FTP "), 1) << Log();
    // Every item that failed is named, whatever step it failed at.
    for (int i = 1; i <= 4; ++i) EXPECT_GE(Count("big" + std::to_string(i) + ".bin"), 1) << Log();
    // The three small files went before the server died; the big ones failed.
    for (int r = 0; r < 3; ++r) EXPECT_EQ(Status(r), "Yes") << r;
    for (int r = 3; r < 7; ++r) EXPECT_EQ(Status(r), "failed") << r;
    // Nothing local changed.
    EXPECT_EQ(Names(Local()), before);
    for (const auto& [name, bytes] : local) EXPECT_TRUE(ReadFile(Local() + name) == bytes) << name;

    // A new server: the window sends again.
    RestartServer();
    SelectRows({3});
    frame->ExecuteCommand(32564);
    Finish();
    Tick();
    EXPECT_EQ(Status(3), "Yes") << Log();
    EXPECT_TRUE(ReadFile(ServerRoot() + "/big1.bin") == local["big1.bin"]);
    // A new file went straight: the part the dead server kept is replaced
    // whole, and no other name was made.
    for (const auto& e : fs::directory_iterator(ServerRoot()))
        EXPECT_EQ(e.path().filename().string().find(".qvl-part"), std::string::npos) << e.path();
    ExpectFtpSettled();
}

TEST_F(FaultRoundTest, TheServerDyingInABasketGetLeavesEveryLocalFileAsItWas) {
    MakeFtpArea();
    std::vector<CFileItem> big;
    std::map<std::string, std::string> remote;
    for (int i = 1; i <= 3; ++i) {
        const std::string name = "big" + std::to_string(i) + ".bin";
        remote[name] = Bytes(3 << 20, char('k' + i));
        WriteFile(ServerRoot() + "/" + name, remote[name]);
        WriteFile(Local() + name, "the local copy of " + name + "\n");
        big.push_back(Item(name, Local(), true));
    }
    UseThrottledServer(512 * 1024);
    Open();
    AddItems(big);
    const std::vector<std::string> before = Names(Local());
    SelectRows({3, 4, 5});
    // No transfer of the local copies is on record: each get asks before
    // it replaces them, and is let.
    prompter.answers = {Answer::Yes, Answer::Yes};
    frame->ExecuteCommand(32557);  // F4
    // The first download is under way once its temporary file is there.
    ASSERT_TRUE(qvltest::WaitFor([&] { return Names(Local()).size() > before.size(); }, 10000)) << Log();
    throttled->Kill();
    Finish();
    Tick();

    ExpectFtpSettled();
    EXPECT_TRUE(Logged("-?- ")) << Log();
    // No temporary file stays, and no name holds part of a download.
    EXPECT_EQ(Names(Local()), before);
    for (int i = 1; i <= 3; ++i) {
        const std::string name = "big" + std::to_string(i) + ".bin";
        EXPECT_TRUE(ReadFile(Local() + name) == "the local copy of " + name + "\n") << name;
        EXPECT_EQ(Status(2 + i), "failed") << name;
    }

    RestartServer();
    SelectRows({3});
    frame->ExecuteCommand(32557);
    Finish();
    Tick();
    EXPECT_EQ(Status(3), "Yes") << Log();
    EXPECT_TRUE(ReadFile(Local() + "big1.bin") == remote["big1.bin"]);
    EXPECT_EQ(Names(Local()), before);
}

// A fetch into a hard-linked file of session "T" was cut by a crash while it
// copied the new text in: the file holds a part of each, the whole new text
// waits beside it. The next start shows session "S"; back in "T", F5 must
// send the whole new text, not the cut file over the server's good copy.
TEST_F(FaultRoundTest, ACopyCutInASessionNotShownAtTheStartIsFinishedBeforeItsFileIsSent) {
    MakeFtpArea();
    const std::string other = Files() + "/other/";
    fs::create_directories(other);
    const std::string oldText = Bytes(3 << 20, 'o'), newText = Bytes(3 << 20, 'n');
    const std::string big = other + "big.txt", leftover = big + ".qvl-part-linked";
    WriteFile(leftover, newText);
    WriteFile(big, newText.substr(0, 1 << 20) + oldText.substr(1 << 20));
    ASSERT_EQ(::link(big.c_str(), (other + "big-too.txt").c_str()), 0);
    struct stat cut {};
    ASSERT_EQ(::stat(big.c_str(), &cut), 0);
    const timespec marked[2] = {cut.st_mtim, cut.st_mtim};  // the copy's last mark
    ASSERT_EQ(::utimensat(AT_FDCWD, leftover.c_str(), marked, 0), 0);
    WriteFile(ServerRoot() + "/big.txt", newText);
    {
        CProgramData d;
        d.LoadMasterFile();
        ASSERT_TRUE(d.InsertSession("T", 0, 1));
        d.GetSessionPtr(0, 1)->IsLoaded = true;
        d.InsertBasket("One", 0, 1, 0);
        CFileItem it = Item("big.txt", other);
        it.IsFTPed = "Yes";
        it.RefreshLocalTime();
        d.InsertFileItems(0, 1, 0, 0, it);
        d.SetCurSession(0, 0);
        ASSERT_TRUE(d.SaveMasterFile(g_strSessionInfoDir + kMasterFileName));
    }
    Open();
    ASSERT_EQ(frame->Data().GetCurSession(), 0);
    frame->PanelPresenter().OnSessionClick(TreeRef::Leaf(0, 1));
    ASSERT_EQ(frame->Data().GetCurSession(), 1);
    EXPECT_FALSE(fs::exists(leftover));
    SelectRows({0});
    frame->ExecuteCommand(32564);  // F5
    Finish();
    Tick();
    EXPECT_TRUE(ReadFile(ServerRoot() + "/big.txt") == newText);
    EXPECT_TRUE(ReadFile(big) == newText);
    EXPECT_TRUE(ReadFile(other + "big-too.txt") == newText);
    EXPECT_TRUE(Logged("The file " + big + " was left part-written by an unfinished save; its new text")) << Log();
}

TEST_F(FaultRoundTest, ACopyCutInAFileNoSweepReachedIsFinishedBeforeItIsSentComparedConvertedOrOpened) {
    // The session shown at start: 300 items in folders of their own in its
    // first basket, more folders than the start looks at; its second
    // basket's files had the copies of their new texts cut by a crash.
    MakeFtpArea(false);
    const std::string later = Files() + "/later/";
    fs::create_directories(later);
    const std::vector<std::string> names{"send.txt", "cmp.txt", "conv.txt", "open.txt"};
    const auto newText = [](const std::string& name) { return "the new text of " + name + ", a cat\n"; };
    for (const std::string& name : names) {
        const std::string file = later + name, leftover = file + ".qvl-part-linked";
        WriteFile(file, "the new tthe old text\n");
        ASSERT_EQ(::link(file.c_str(), (file + "-too").c_str()), 0);
        WriteFile(leftover, newText(name));
    }
    WriteFile(later + "same.txt", newText("cmp.txt"));
    {
        CProgramData d;
        d.LoadMasterFile();
        for (int i = 0; i < 300; ++i) {
            const std::string folder = Files() + "/f" + std::to_string(i) + "/";
            fs::create_directories(folder);
            d.InsertFileItems(0, 0, 0, i, Item("a.txt", folder));
        }
        for (const std::string& name : names) d.InsertFileItems(0, 0, 1, d.GetFileItemCount(0, 0, 1), Item(name, later));
        d.InsertFileItems(0, 0, 1, 4, Item("same.txt", later));
        d.SetCurrentBasket(0, 0, 1);
        ASSERT_TRUE(d.SaveMasterFile(g_strSessionInfoDir + kMasterFileName));
    }
    Open();
    ASSERT_EQ(frame->Data().GetCurBasket(), 1);
    ASSERT_EQ(frame->FileList()->topLevelItemCount(), 5);
    for (const std::string& name : names) ASSERT_TRUE(fs::exists(later + name + ".qvl-part-linked")) << name;
    const auto whole = [&](const std::string& name) {
        return ReadFile(later + name) == newText(name) && ReadFile(later + name + "-too") == newText(name) &&
               !fs::exists(later + name + ".qvl-part-linked");
    };

    SelectRows({0});
    frame->ExecuteCommand(32564);  // F5
    Finish();
    Tick();
    EXPECT_EQ(ReadFile(ServerRoot() + "/send.txt"), newText("send.txt"));
    EXPECT_TRUE(whole("send.txt"));
    EXPECT_TRUE(Logged("The file " + later + "send.txt was left part-written by an unfinished save; its new text"))
        << Log();

    SelectRows({1, 4});
    frame->ExecuteCommand(32548);  // the quick diff of two files
    EXPECT_TRUE(whole("cmp.txt"));
    EXPECT_TRUE(frame->CompareCommands().DiffWindow(1).Label(0)->text().endsWith("(ok/0)"))
        << frame->CompareCommands().DiffWindow(1).Label(0)->text().toStdString();

    std::string opened = "not opened";
    CItemCommands::s_openFile = [&](const std::string& path) { opened = ReadFile(path); };
    SelectRows({3});
    frame->ExecuteCommand(32517);
    CItemCommands::s_openFile = nullptr;
    EXPECT_EQ(opened, newText("open.txt"));
    EXPECT_TRUE(whole("open.txt"));

    ConvertInPlace(2);
    EXPECT_EQ(ReadFile(later + "conv.txt"), "the new text of conv.txt, a dog\n");
    EXPECT_EQ(ReadFile(later + "conv.txt-too"), "the new text of conv.txt, a dog\n");
    EXPECT_FALSE(fs::exists(later + "conv.txt.qvl-part-linked"));
}

// ------------------------------------------------------------------ a full disk

TEST_F(FaultRoundTest, AGetIntoAFullDiskKeepsTheOldFileAndTheNextItemStillComes) {
    MakeFtpArea();
    WriteFile(ServerRoot() + "/huge.bin", Bytes(3 << 20, 'h'));
    WriteFile(ServerRoot() + "/small.txt", "small on the server\n");
    WriteFile(ServerRoot() + "/new.bin", Bytes(3 << 20, 'n'));
    SmallDisk disk(tmp / "small");
    if (!disk.ok()) GTEST_SKIP() << "neither a tmpfs nor a file-size limit can be had here";
    const std::string dir = disk.path() + "/";
    WriteFile(dir + "huge.bin", "the old huge.bin\n");
    // A local file with a second name is written in place: its new text
    // fits on the disk once (as the temporary file) but not twice.
    const bool linked = disk.mounted();
    if (linked) {
        WriteFile(ServerRoot() + "/linked.bin", Bytes(700 << 10, 'l'));
        WriteFile(dir + "linked.bin", Bytes(100 << 10, 'o'));
        fs::create_hard_link(dir + "linked.bin", dir + "linked-too.bin");
    }
    Open();
    AddItems({Item("huge.bin", dir, true), Item("new.bin", dir, true), Item("small.txt", dir),
              Item("linked.bin", dir, true)});
    SelectRows(linked ? std::vector<int>{3, 4, 5, 6} : std::vector<int>{3, 4, 5});
    // No transfer of the old copies is on record: each get asks before it
    // replaces them, and is let.
    prompter.answers = {Answer::Yes, Answer::Yes};
    frame->ExecuteCommand(32557);
    Finish();
    Tick();

    EXPECT_EQ(Count("-?- Unable to write local file."), linked ? 3 : 2) << Log();
    EXPECT_TRUE(ReadFile(dir + "huge.bin") == "the old huge.bin\n");
    // No part of the new file under its name, no temporary file left.
    EXPECT_EQ(disk.Names(), linked ? (std::vector<std::string>{"huge.bin", "linked-too.bin", "linked.bin",
                                                               "small.txt"})
                                   : (std::vector<std::string>{"huge.bin", "small.txt"}));
    // The connection stayed in step: the next item came whole.
    EXPECT_TRUE(ReadFile(dir + "small.txt") == "small on the server\n");
    EXPECT_EQ(Status(3), "failed");
    EXPECT_EQ(Status(4), "failed");
    EXPECT_EQ(Status(5), "Yes");
    if (linked) {
        // Both names keep the old text whole, not its start overwritten.
        EXPECT_EQ(Status(6), "failed");
        EXPECT_TRUE(ReadFile(dir + "linked.bin") == Bytes(100 << 10, 'o'));
        EXPECT_TRUE(ReadFile(dir + "linked-too.bin") == Bytes(100 << 10, 'o'));
    }
    ExpectFtpSettled();

    // With room again the same get works.
    WriteFile(ServerRoot() + "/huge.bin", Bytes(200 << 10, 'h'));
    SelectRows({3});
    frame->ExecuteCommand(32557);
    Finish();
    Tick();
    EXPECT_EQ(Status(3), "Yes") << Log();
    EXPECT_TRUE(ReadFile(dir + "huge.bin") == Bytes(200 << 10, 'h'));
}

TEST_F(FaultRoundTest, SaveTextIntoAFullDiskSaysSoAndKeepsThePreviousFile) {
    SmallDisk disk(tmp / "small");
    if (!disk.ok()) GTEST_SKIP() << "neither a tmpfs nor a file-size limit can be had here";
    MakeFtpArea();
    Open();
    const std::string target = disk.path() + "/kept.log";
    WriteFile(target, "the previous text\n");
    disk.Fill();
    g_nActiveTextWindow = 3;
    CMainPresenter::LogMessage("a line the user wants to keep");
    frame->Data().SetSelection(0, 0, 0, {});
    prompter.entries.clear();
    prompter.texts = {target};
    prompter.answers = {Answer::Yes};
    frame->ExecuteCommand(32649);  // Save text

    ASSERT_TRUE(Said("Failed to write: " + target)) << ::testing::PrintToString(prompter.Messages());
    EXPECT_EQ(ReadFile(target), "the previous text\n");
    EXPECT_EQ(disk.Names(), std::vector<std::string>{"kept.log"});
    // Nor does a new name appear.
    prompter.entries.clear();
    prompter.texts = {disk.path() + "/new.log"};
    frame->ExecuteCommand(32649);
    EXPECT_TRUE(Said("Failed to write: " + disk.path() + "/new.log"));
    EXPECT_EQ(disk.Names(), std::vector<std::string>{"kept.log"});

    disk.Free();
    prompter.entries.clear();
    prompter.texts = {target};
    prompter.answers = {Answer::Yes};
    frame->ExecuteCommand(32649);
    EXPECT_TRUE(prompter.Messages().empty()) << prompter.Messages().front();
    EXPECT_NE(ReadFile(target).find("a line the user wants to keep"), std::string::npos);
    EXPECT_EQ(disk.Names(), std::vector<std::string>{"kept.log"});
}

// The work area's own files, by name, with their bytes.
std::map<std::string, std::string> AreaFiles() {
    std::map<std::string, std::string> files;
    for (const std::string& dir : {g_strSessionInfoDir, g_strSessionBackUpDir, g_strLibraryInfoDir})
        for (const std::string& n : Names(dir))
            if (fs::is_regular_file(dir + n)) files[dir + n] = ReadFile(dir + n);
    return files;
}

TEST_F(FaultRoundTest, AFullDiskUnderTheWorkAreaKeepsItsFilesThroughSaveAutosaveAndClosing) {
    SmallDisk disk(tmp / "smallarea");
    if (!disk.ok()) GTEST_SKIP() << "neither a tmpfs nor a file-size limit can be had here";
    ScopedEnv area("QVL_ROOT", disk.path().c_str());
    ASSERT_TRUE(CreateWorkAreaFolders().empty());
    MakeFtpArea();
    Open();
    frame->ExecuteCommand(32580);  // a first good save fills the backup folder too
    const auto saved = AreaFiles();
    ASSERT_EQ(saved.size(), 4u);  // the work file and master file twice, the library file
    // A change the next saves cannot keep.
    frame->Data().InsertBasket("Three", 0, 0, 2);

    disk.Fill();
    prompter.entries.clear();
    frame->ExecuteCommand(32580);  // Ctrl+S
    EXPECT_TRUE(Said("Failed to save the master data file")) << ::testing::PrintToString(prompter.Messages());
    EXPECT_TRUE(Logged("-?- Saving user-information failed.")) << Log();
    EXPECT_EQ(AreaFiles(), saved);

    prompter.entries.clear();
    Tick(600);  // the autosave
    EXPECT_TRUE(Said("Failed to save the master data file"));
    EXPECT_EQ(AreaFiles(), saved);
    // A following command works.
    SelectRows({2});
    frame->ExecuteCommand(32564);
    Finish();
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\n");

    // Closing also writes the text buffer out: it cannot either.
    g_TextBuffer = {"a text in the buffer\r\n"};
    prompter.entries.clear();
    // Asked whether to close unsaved, No keeps the window and the change.
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(Said("Failed to save the master data file"));
    ASSERT_EQ(prompter.Questions().size(), 1u);
    EXPECT_NE(prompter.Questions()[0].find("Close anyway?"), std::string::npos);
    EXPECT_EQ(frame->Data().GetBasketCount(0, 0), 3);
    EXPECT_TRUE(frame->Timer().isActive());
    EXPECT_EQ(AreaFiles(), saved);
    prompter.entries.clear();
    prompter.answers = {Answer::Yes};
    EXPECT_TRUE(frame->close());
    EXPECT_TRUE(Said("Failed to save the master data file"));
    EXPECT_TRUE(Said("Failed to write..."));
    frame.reset();
    g_TextBuffer.clear();
    EXPECT_EQ(AreaFiles(), saved);
    EXPECT_TRUE(Names(g_strBufferTextDir).empty()) << Names(g_strBufferTextDir).front();

    // The next start finds the work area as it was last saved.
    disk.Free();
    Open();
    EXPECT_EQ(frame->FileList()->topLevelItemCount(), 3);
    EXPECT_EQ(frame->Data().GetBasketCount(0, 0), 2);
    frame->close();
    frame.reset();
}

TEST(FaultRoundJob, AConversionJobIntoAFullDiskFailsAndKeepsTheOldOutput) {
    TempDir tmp;
    std::string block = ReadFile(std::string(QVL_TEST_DATA) + "/convert/sample_library_block.txt");
    block.replace(block.find("x\n---x---\n"), 10, "cat\ndog\n");
    const std::string libfile = tmp / "lib.txt";
    WriteFile(libfile, "~*~ Library option: Version=1.0.735.0, WorkMode=0, FR_LibIndex=0, \n" + block);
    std::string text;
    for (int i = 0; i < 120000; ++i) text += "a cat and line " + std::to_string(i) + "\n";
    // One file converted whole, one large enough to go in parts.
    for (int copies : {1, 3}) {
        std::string all;
        for (int c = 0; c < copies; ++c) all += text;
        WriteFile(tmp / ("in" + std::to_string(copies) + ".txt"), all);
    }
    SmallDisk disk(tmp / "small");
    if (!disk.ok()) GTEST_SKIP() << "neither a tmpfs nor a file-size limit can be had here";
    for (int copies : {1, 3}) {
        const std::string in = tmp / ("in" + std::to_string(copies) + ".txt");
        const std::string out = disk.path() + "/out.txt";
        WriteFile(out, "the previous output\n");
        JobRun r = RunJob({"-input=" + in + ",", "-output=" + out + ",", "-libfile=" + libfile + ",",
                           "-default=y"},
                          tmp / "root", tmp / "stderr.txt", tmp.path());
        EXPECT_NE(r.exitCode, 0) << copies;
        EXPECT_NE((r.err + r.log).find(disk.FullText()), std::string::npos) << r.err << r.log;
        EXPECT_TRUE(ReadFile(out) == "the previous output\n") << copies;
        EXPECT_EQ(disk.Names(), std::vector<std::string>{"out.txt"}) << copies;
    }
}

TEST(FaultRoundJob, AnOutputThatIsAddedToKeepsItsEndWhenTheDiskFillsUp) {
    TempDir tmp;
    SmallDisk disk(tmp / "small");
    if (!disk.ok()) GTEST_SKIP() << "neither a tmpfs nor a file-size limit can be had here";
    const std::string out = disk.path() + "/collected.txt";
    WriteFile(out, "the first file's text\n");
    std::string reason;
    // A conversion run that adds its result to an output file: the
    // result does not fit.
    EXPECT_FALSE(WriteFileReplacing(out, std::string(2 << 20, 'x') + "\r\n", true, reason, true));
    EXPECT_NE(reason.find(disk.FullText()), std::string::npos) << reason;
    EXPECT_TRUE(ReadFile(out) == "the first file's text\n");
    EXPECT_EQ(disk.Names(), std::vector<std::string>{"collected.txt"});
    // What fits is added.
    EXPECT_TRUE(WriteFileReplacing(out, "more\r\n", true, reason, true)) << reason;
    EXPECT_EQ(ReadFile(out), "the first file's text\nmore\n");
}

namespace {
// A library file for the job, in the folder: one macro that turns `find`
// into `replace`.
std::string OneMacroLibrary(const TempDir& tmp, const std::string& find, const std::string& replace) {
    std::string block = ReadFile(std::string(QVL_TEST_DATA) + "/convert/sample_library_block.txt");
    block.replace(block.find("x\n---x---\n"), 10, find + "\n" + replace + "\n");
    const std::string libfile = tmp / "lib.txt";
    WriteFile(libfile, "~*~ Library option: Version=1.0.735.0, WorkMode=0, FR_LibIndex=0, \n" + block);
    return libfile;
}

std::string NumberedLines(const std::string& word, int count) {
    std::string text;
    char number[16];
    for (int i = 0; i < count; ++i) {
        std::snprintf(number, sizeof number, " %07d", i);
        text += word + number + " of the text\n";
    }
    return text;
}

// The temporary files of replacing writes in a folder.
std::vector<std::string> PartFiles(const std::string& dir) {
    std::vector<std::string> parts;
    for (const std::string& name : Names(dir))
        if (name.find(".qvl-part-") != std::string::npos) parts.push_back(name);
    return parts;
}
}  // namespace

// A file with other hard links is written in place, so that every name shows
// the new text. A job killed while it copies the new text in leaves that text
// whole under a name the next job knows, and the next job puts it in place
// before it reads the file.
TEST(FaultRoundJob, AJobKilledWhileCopyingIntoAHardLinkedFileIsFinishedByTheNextJob) {
    TempDir tmp;
    const std::string libfile = OneMacroLibrary(tmp, "old", "newer");
    const std::string dir = tmp / "files";
    fs::create_directories(dir);
    const std::string big = dir + "/big.txt", big2 = dir + "/big2.txt";
    const std::string oldText = NumberedLines("old", 200000), newText = NumberedLines("newer", 200000);
    WriteFile(big, oldText);
    ASSERT_EQ(::link(big.c_str(), big2.c_str()), 0);
    struct stat st {};
    ASSERT_EQ(::stat(big.c_str(), &st), 0);
    const std::vector<std::string> job{"-input=" + big + ",", "-libfile=" + libfile + ",", "-default=y"};
    // Killed once a megabyte of the new text is in the file.
    auto killAtWrite = [](const struct stat& file) {
        const char* asan = std::getenv("ASAN_OPTIONS");
        return std::vector<std::string>{
            std::string("LD_PRELOAD=") + QVL_KILL_AT_WRITE,
            "QVL_KILL_AT_WRITE=" + std::to_string(file.st_dev) + ":" + std::to_string(file.st_ino) + ":" +
                std::to_string(1 << 20),
            "ASAN_OPTIONS=" + (asan ? std::string(asan) + ":" : std::string()) + "verify_asan_link_order=0"};
    };
    JobRun r = RunJob(job, tmp / "root", tmp / "stderr.txt", tmp.path(), killAtWrite(st));
    ASSERT_EQ(r.signal, SIGKILL) << r.exitCode << r.err << r.log;
    const std::string cut = ReadFile(big);
    EXPECT_TRUE(cut != oldText && cut != newText);  // the kill came in the middle of the copy
    const std::vector<std::string> parts = PartFiles(dir);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_TRUE(ReadFile(dir + "/" + parts[0]) == newText);

    // The same job again: the new text is put in place first, so there is
    // nothing left to convert.
    r = RunJob(job, tmp / "root", tmp / "stderr.txt", tmp.path());
    EXPECT_EQ(r.exitCode, 0) << r.err << r.log;
    EXPECT_TRUE(ReadFile(big) == newText);
    EXPECT_TRUE(ReadFile(big2) == newText);
    EXPECT_TRUE(PartFiles(dir).empty());
    EXPECT_NE(r.log.find("The file " + big + " was left part-written by an unfinished save; its new text"),
              std::string::npos)
        << r.log;

    // Killed again; a minute later the user saves the file under its other
    // name. The next job keeps that save, and the new text of the cut copy
    // under a name of its own, and says so.
    WriteFile(big, oldText);
    ASSERT_EQ(::stat(big.c_str(), &st), 0);
    r = RunJob(job, tmp / "root", tmp / "stderr.txt", tmp.path(), killAtWrite(st));
    ASSERT_EQ(r.signal, SIGKILL) << r.exitCode << r.err << r.log;
    const std::string mine = "the user's own words\n";
    WriteFile(big2, mine);
    const std::time_t later = std::time(nullptr) + 60;
    const timespec saved[2] = {{later, 0}, {later, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, big2.c_str(), saved, 0), 0);
    r = RunJob(job, tmp / "root", tmp / "stderr.txt", tmp.path());
    EXPECT_EQ(r.exitCode, 0) << r.err << r.log;
    EXPECT_EQ(ReadFile(big2), mine);
    EXPECT_TRUE(ReadFile(big + ".unfinished") == newText);
    EXPECT_TRUE(PartFiles(dir).empty());
    EXPECT_NE(r.log.find("it was changed since, so it stays as it is, and the new text of that save is kept in " +
                         big + ".unfinished."),
              std::string::npos)
        << r.log;
}

// A hard-linked output whose new text fits on the disk once (as the
// temporary file) but not twice: the job fails before it changes a byte.
TEST(FaultRoundJob, AJobIntoAHardLinkedFileOnAFullDiskKeepsItsOldText) {
    TempDir tmp;
    SmallDisk disk(tmp / "small");
    if (!disk.mounted()) GTEST_SKIP() << "needs a tmpfs (root)";
    const std::string libfile = OneMacroLibrary(tmp, "old", std::string(150, 'n'));
    const std::string out = disk.path() + "/out.txt", out2 = disk.path() + "/out2.txt";
    const std::string oldText = NumberedLines("old", 4000);  // about 100 KB, 700 KB new
    WriteFile(out, oldText);
    ASSERT_EQ(::link(out.c_str(), out2.c_str()), 0);
    JobRun r = RunJob({"-input=" + out + ",", "-libfile=" + libfile + ",", "-default=y"}, tmp / "root",
                      tmp / "stderr.txt", tmp.path());
    EXPECT_EQ(r.exitCode, 2) << r.err << r.log;
    EXPECT_NE((r.err + r.log).find("No space left on device"), std::string::npos) << r.err << r.log;
    EXPECT_TRUE(ReadFile(out) == oldText);
    EXPECT_TRUE(ReadFile(out2) == oldText);
    EXPECT_EQ(disk.Names(), (std::vector<std::string>{"out.txt", "out2.txt"}));
}

// ------------------------------------------------------------------ a file nobody may read

TEST_F(FaultRoundTest, AFileNobodyMayTouchIsNamedInAPutAGetADiffAndADropAndTheRestGoesOn) {
    MakeFtpArea();
    Open();
    ScopedFilePermissionsApply asUser;
    ASSERT_TRUE(asUser.ok());
    const std::string locked = Local() + "notes.txt";
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);

    // F5: the other two go, the unreadable one fails without an empty copy
    // on the server.
    SelectRows({0, 1, 2});
    frame->ExecuteCommand(32564);
    Finish();
    Tick();
    EXPECT_TRUE(Logged("-?- Unable to open local file for reading!")) << Log();
    EXPECT_EQ(Status(0), "Yes");
    EXPECT_EQ(Status(1), "Yes");
    EXPECT_EQ(Status(2), "failed");
    EXPECT_FALSE(fs::exists(ServerRoot() + "/notes.txt"));
    ExpectFtpSettled();

    // F4 does not replace a file its user may not touch: with no transfer
    // on record it cannot be compared with the server's, so it is asked
    // about (No) and named with why.
    WriteFile(ServerRoot() + "/notes.txt", "notes on the server\n");
    SelectRows({2});
    frame->ExecuteCommand(32557);
    Finish();
    Tick();
    EXPECT_TRUE(Logged("   1. notes.txt (the local file could not be compared with the server's: Unable to read local "
                       "file. Permission denied (" + locked + "); no transfer of it is on record; not fetched)"))
        << Log();
    EXPECT_EQ(Status(2), "failed");
    EXPECT_EQ(Names(Local()), (std::vector<std::string>{"my file.txt", "notes.txt", "other.txt", "pic.bin"}));
    fs::remove(ServerRoot() + "/notes.txt");

    // A diff of it with a readable file.
    frame->Data().SetSelection(0, 0, 0, {0, 2});
    prompter.entries.clear();
    frame->ExecuteCommand(32548);
    EXPECT_TRUE(Said("Failed to read the file: " + locked)) << ::testing::PrintToString(prompter.Messages());

    // Dropped on the Input window: its text stays, the log says why.
    frame->ExecuteCommand(32642);  // the WorkPad with the Input window
    ASSERT_NE(g_pInputWindow, nullptr);
    g_pInputWindow->SetWindowTextFromString("text before the drop");
    EXPECT_FALSE(g_pInputWindow->LoadDroppedFiles({locked}));
    EXPECT_EQ(g_pInputWindow->GetText(), "text before the drop");
    EXPECT_TRUE(Logged("Permission denied (" + locked + ")")) << Log();

    // The file itself is untouched; readable again, all three work.
    ASSERT_EQ(::chmod(locked.c_str(), 0644), 0);
    EXPECT_EQ(ReadFile(locked), "notes\n");
    EXPECT_TRUE(g_pInputWindow->LoadDroppedFiles({locked}));
    EXPECT_EQ(g_pInputWindow->GetText(), "notes\r\n");
    prompter.entries.clear();
    frame->ExecuteCommand(32548);
    EXPECT_TRUE(prompter.Messages().empty()) << prompter.Messages().front();
    SelectRows({2});
    frame->ExecuteCommand(32564);
    Finish();
    EXPECT_EQ(ReadFile(ServerRoot() + "/notes.txt"), "notes\n");
}

// ------------------------------------------------------------------ a read-only work area

TEST_F(FaultRoundTest, AReadOnlyWorkAreaStartsSaysWhySavesFailAndLosesNothing) {
    MakeFtpArea();
    {
        // One good run first, so that every file of the area is there.
        Open();
        frame->ExecuteCommand(32580);
        frame->close();
        frame.reset();
    }
    const auto saved = AreaFiles();
    ScopedFilePermissionsApply asUser;
    ASSERT_TRUE(asUser.ok());
    for (const std::string& dir : {g_strSessionInfoDir, g_strSessionBackUpDir, g_strLibraryInfoDir})
        ASSERT_EQ(::chmod(dir.c_str(), 0500), 0);

    prompter.entries.clear();
    Open();  // start-up reads the area as it is
    EXPECT_EQ(frame->FileList()->topLevelItemCount(), 3);
    EXPECT_TRUE(prompter.Messages().empty()) << prompter.Messages().front();

    frame->Data().InsertBasket("Three", 0, 0, 2);
    frame->ExecuteCommand(32580);
    EXPECT_TRUE(Said("Failed to save the master data file")) << ::testing::PrintToString(prompter.Messages());
    EXPECT_TRUE(Logged("Permission denied")) << Log();
    EXPECT_TRUE(Logged("-?- Saving user-information failed.")) << Log();
    EXPECT_EQ(AreaFiles(), saved);

    prompter.entries.clear();
    Tick(600);
    EXPECT_TRUE(Said("Failed to save the master data file"));
    EXPECT_EQ(AreaFiles(), saved);

    SelectRows({0});
    frame->ExecuteCommand(32564);
    Finish();
    EXPECT_TRUE(fs::exists(ServerRoot() + "/my file.txt"));

    prompter.entries.clear();
    prompter.answers = {Answer::Yes};  // close without saving
    EXPECT_TRUE(frame->close());
    EXPECT_TRUE(Said("Failed to save the master data file"));
    frame.reset();
    EXPECT_EQ(AreaFiles(), saved);

    for (const std::string& dir : {g_strSessionInfoDir, g_strSessionBackUpDir, g_strLibraryInfoDir})
        ::chmod(dir.c_str(), 0700);
}

TEST_F(FaultRoundTest, AFirstStartUnderARootNobodyMayWriteNamesEachFolderAndStillOpens) {
    const std::string root = tmp / "locked";
    fs::create_directories(root);
    ScopedEnv area("QVL_ROOT", root.c_str());
    ScopedFilePermissionsApply asUser;
    ASSERT_TRUE(asUser.ok());
    ASSERT_EQ(::chmod(root.c_str(), 0500), 0);
    prompter.entries.clear();
    EXPECT_EQ(CreateWorkAreaFolders(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    // One message, naming each folder and why.
    ASSERT_EQ(prompter.Messages().size(), 1u);
    const std::string said = prompter.Messages()[0];
    for (const std::string* folder : {&g_strWorkFilesDir, &g_strLoadingAreaDir, &g_strLoadingBackUpDir,
                                      &g_strCmdAreaDir, &g_strLoadingTempDir, &g_strBufferTextDir,
                                      &g_strSessionInfoDir, &g_strDeprecatedDir, &g_strSessionBackUpDir,
                                      &g_strLibraryInfoDir})
        EXPECT_NE(said.find("\r\n" + *folder + "  (Permission denied)"), std::string::npos) << said;

    Open();
    prompter.entries.clear();
    frame->ExecuteCommand(32580);
    EXPECT_TRUE(Said("Failed to save the master data file")) << ::testing::PrintToString(prompter.Messages());
    EXPECT_TRUE(Logged("-?- Saving user-information failed.")) << Log();
    prompter.answers = {Answer::Yes};
    EXPECT_TRUE(frame->close());
    frame.reset();
    EXPECT_TRUE(Names(root).empty());
    ::chmod(root.c_str(), 0700);
}

// ------------------------------------------------------------------ the real window

using qvltest::Xdo;

// The built program on a real X server, its work area on a full disk.
class FaultRoundUnderX : public ProgramUnderXTest {
protected:
    // The program's message boxes (they bear its name, as its window does).
    std::vector<std::string> Boxes(const std::string& mainWindow) {
        std::vector<std::string> ids;
        const std::string out = Xdo("search --onlyvisible --name '^Quorvellian$'");
        for (size_t at = 0; at < out.size();) {
            const size_t end = out.find('\n', at);
            const std::string id = out.substr(at, end - at);
            if (!id.empty() && id != mainWindow && id.find_first_not_of("0123456789") == std::string::npos)
                ids.push_back(id);
            at = end == std::string::npos ? out.size() : end + 1;
        }
        return ids;
    }
    // Answers every box that comes up until none has come for a while; how
    // many. Return takes a question's default; with `yes` a question is
    // answered Yes (Alt+Y) and a message OK.
    int AnswerBoxes(const std::string& mainWindow, bool yes = false) {
        int answered = 0;
        for (int quiet = 0; quiet < 10 && answered < 20;) {
            const std::vector<std::string> boxes = Boxes(mainWindow);
            if (boxes.empty()) {
                ++quiet;
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                continue;
            }
            quiet = 0;
            Xdo("windowfocus --sync " + boxes.front());
            if (yes) {
                Xdo("key alt+y");
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                const std::vector<std::string> left = Boxes(mainWindow);
                if (std::find(left.begin(), left.end(), boxes.front()) == left.end()) {
                    ++answered;
                    continue;
                }
            }
            Xdo("key Return");
            ++answered;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return answered;
    }
};

TEST_F(FaultRoundUnderX, EveryFailedSaveIsABoxTheUserAnswersAndTheWindowStillCloses) {
    SmallDisk disk(tmp / "xarea");
    if (!disk.ok() || std::string(disk.FullText()) != "No space left on device")
        GTEST_SKIP() << "needs a tmpfs (root)";
    ScopedEnv area("QVL_ROOT", disk.path().c_str());
    ASSERT_TRUE(CreateWorkAreaFolders().empty());
    MakeSampleArea();
    {
        // One save by the program itself, so that every file of the area is there.
        program = std::make_unique<qvltest::Child>(std::vector<std::string>{QVL_BINARY});
        const std::string out = Xdo("search --sync --onlyvisible --name '^Quorvellian$'");
        const std::string id = out.substr(0, out.find('\n'));
        ASSERT_FALSE(id.empty());
        Xdo("windowfocus --sync " + id);
        Xdo("key Escape");
        Xdo("key --clearmodifiers shift+Escape");
        ASSERT_TRUE(qvltest::WaitFor([&] { return !program->Running(); }, 15000));
    }
    const auto saved = AreaFiles();
    ASSERT_GE(saved.size(), 3u);  // the work file, the master file, the library file
    disk.Fill();

    program = std::make_unique<qvltest::Child>(std::vector<std::string>{QVL_BINARY});
    const std::string out = Xdo("search --sync --onlyvisible --name '^Quorvellian$'");
    const std::string id = out.substr(0, out.find('\n'));
    ASSERT_FALSE(id.empty()) << "the main window did not appear";
    Xdo("windowfocus --sync " + id);
    Xdo("key Escape");
    Xdo("key --clearmodifiers ctrl+s");
    // Each file that could not be written is said in its own box.
    EXPECT_GE(AnswerBoxes(id), 4);
    EXPECT_TRUE(program->Running());
    EXPECT_EQ(AreaFiles(), saved);

    // Closing tries once more, says so and asks whether to close unsaved:
    // Return takes No, and the window stays...
    Xdo("windowfocus --sync " + id);
    Xdo("key --clearmodifiers shift+Escape");
    EXPECT_GE(AnswerBoxes(id), 2);
    EXPECT_FALSE(qvltest::WaitFor([&] { return !program->Running(); }, 1000)) << "Return closed unsaved";
    // ...until the user says Yes.
    Xdo("windowfocus --sync " + id);
    Xdo("key --clearmodifiers shift+Escape");
    EXPECT_GE(AnswerBoxes(id, true), 1);
    EXPECT_TRUE(qvltest::WaitFor([&] { return !program->Running(); }, 15000));
    EXPECT_EQ(AreaFiles(), saved);
}

}  // namespace
